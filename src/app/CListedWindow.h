#pragma once
// An MDI child kept in one of the main frame's window lists. The list does not own
// the window: the window takes itself out of its list when it is destroyed, and a
// user resize sets the size of the list's next new window.
#include <QMdiSubWindow>

class TWndList;

class CListedWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CListedWindow(TWndList* ownerList);
    ~CListedWindow() override;

    TWndList* OwnerList() const { return m_pOwnerList; }
    // The list forgets the window without destroying it (list going away).
    void DetachFromList() { m_pOwnerList = nullptr; }

protected:
    void resizeEvent(QResizeEvent* event) override;

    TWndList* m_pOwnerList = nullptr;
};
