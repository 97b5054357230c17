#pragma once
// What the main frame needs of the project explorer window. The user's close box
// hides it; it is made once and then only shown, hidden, retitled and refilled.
#include <QCloseEvent>
#include <QMdiSubWindow>

class TCSISet;

class CExplorerFrameBase : public QMdiSubWindow {
    Q_OBJECT
public:
    using QMdiSubWindow::QMdiSubWindow;

    // The size the window opens at, and keeps when the windows are tiled.
    static constexpr QSize kOpenSize{195, 197};

    // Empty title and the tree back to its roots.
    virtual void ResetTree() = 0;
    // Title from the project's name and the tree filled from the project.
    virtual void RefreshTree() = 0;
    // Removes the item of a CSI set from the tree.
    virtual void RemoveCSISetItem(TCSISet* /*pSet*/) {}

signals:
    // The user's close box has hidden the window.
    void Hidden();

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        hide();
        emit Hidden();
    }
};
