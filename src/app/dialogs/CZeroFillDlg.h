#pragma once
// "Zero fill CSI set": the new grid size along x, y and z. An axis of size 1, or one the
// caller disables (the slice axis of a multi-slice set), cannot be changed. The caller
// checks the sizes and fills the set.
#include <QDialog>

class QDialogButtonBox;
class QLineEdit;

class CZeroFillDlg : public QDialog {
    Q_OBJECT
public:
    explicit CZeroFillDlg(QWidget* parent = nullptr);

    // Axis 0, 1, 2; another axis changes nothing.
    void SetAxisEnabled(int axis, bool enabled);

    QLineEdit* SizeEdit(int axis) const { return axis >= 0 && axis < 3 ? m_edits[axis] : nullptr; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

    int m_nSizeX = 1;
    int m_nSizeY = 1;
    int m_nSizeZ = 1;
    bool m_bEnableX = true;
    bool m_bEnableY = true;
    bool m_bEnableZ = true;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_edits[3] = {};
    QDialogButtonBox* m_buttons = nullptr;
};
