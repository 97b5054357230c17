#pragma once
// Map > Resize: one of the work set's maps and its new size. Choosing a map shows its
// size; an axis of size 1 cannot be changed. OK needs a chosen map (without one the
// dialog says so and stays open) and sizes from 1 to 1000 (whether they are powers of 2
// is the command's check).
#include <QDialog>

#include <vector>

class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class TCSISet;
class TMap;

class CResizeMapDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinSize = 1;
    static constexpr int kMaxSize = 1000;

    explicit CResizeMapDlg(const TCSISet* set, QWidget* parent = nullptr);

    // The map chosen at the last OK (null before) and the sizes taken with it (1 before).
    TMap* GetMap() const { return m_pMap; }
    const int* GetSizes() const { return m_size; }
    QListWidget* MapList() const { return m_list; }
    QLineEdit* SizeEdit(int axis) const { return axis >= 0 && axis < 3 ? m_edits[axis] : nullptr; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

private:
    void OnMapChosen();
    // The row of the selected map; -1 when none is chosen.
    int ChosenRow() const;

    QListWidget* m_list = nullptr;
    QLineEdit* m_edits[3] = {};
    QDialogButtonBox* m_buttons = nullptr;
    std::vector<TMap*> m_maps;  // in list order; owned by the set
    TMap* m_pMap = nullptr;
    int m_size[3] = {1, 1, 1};
};
