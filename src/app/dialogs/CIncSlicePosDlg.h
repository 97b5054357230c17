#pragma once
// "Increment Slice Pos.": a start position and a step (mm, per axis) by which the Add Images
// dialog spaces the centres of the selected images. The values are kept for the rest of
// the run.
#include <QDialog>

class CNumEdit;
class QDialogButtonBox;

class CIncSlicePosDlg : public QDialog {
    Q_OBJECT
public:
    explicit CIncSlicePosDlg(QWidget* parent = nullptr);

    CNumEdit* StartEdit(int axis) const { return m_start[axis]; }
    CNumEdit* StepEdit(int axis) const { return m_step[axis]; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

    // The values of the last accepted dialog, 0 at start.
    static float s_start[3];
    static float s_step[3];

protected:
    void showEvent(QShowEvent* event) override;

private:
    CNumEdit* m_start[3] = {};
    CNumEdit* m_step[3] = {};
    QDialogButtonBox* m_buttons = nullptr;
};
