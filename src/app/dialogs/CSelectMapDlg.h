#pragma once
// Map > Remove map (and the map text export): the work set's maps in a list of several
// choices. OK takes the chosen maps in list order; with none chosen it does nothing.
#include <QDialog>

#include <vector>

class QDialogButtonBox;
class QListWidget;
class TCSISet;
class TMap;

class CSelectMapDlg : public QDialog {
    Q_OBJECT
public:
    // One item per map of the set (none for a null set or one without maps).
    explicit CSelectMapDlg(const TCSISet* set, QWidget* parent = nullptr);

    // The chosen maps of the last OK, in list order.
    const std::vector<TMap*>& GetSelectedMaps() const { return m_selected; }
    QListWidget* MapList() const { return m_list; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

private:
    QListWidget* m_list = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    std::vector<TMap*> m_maps;  // in list order; owned by the set
    std::vector<TMap*> m_selected;
};
