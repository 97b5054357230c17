#pragma once
// "Set Parameters...": the acquisition and geometry parameters of a CSI set. The caller
// fills the values before running the dialog and takes them back after OK. The number of
// points, the matrix size and the angulation are shown read-only: the set keeps them.
#include <QDialog>

class CNumEdit;
class QDialogButtonBox;
class QLineEdit;

class CSetParametersDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSetParametersDlg(QWidget* parent = nullptr);

    // The numeric edits: coil Q, gain, frequency, sweep width; per axis FOV, angulation,
    // off-centre.
    CNumEdit* CoilQEdit() const { return m_coilQ; }
    CNumEdit* GainEdit() const { return m_gain; }
    CNumEdit* FrequencyEdit() const { return m_frequency; }
    CNumEdit* SweepWidthEdit() const { return m_sweepWidth; }
    CNumEdit* FOVEdit(int axis) const { return m_fovEdits[axis]; }
    CNumEdit* AngulationEdit(int axis) const { return m_angulationEdits[axis]; }
    CNumEdit* OffCentreEdit(int axis) const { return m_offCentreEdits[axis]; }
    QLineEdit* MatrixEdit(int axis) const { return m_matrixEdits[axis]; }
    QLineEdit* PointsEdit() const { return m_pointsEdit; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

    float m_fCoilQ = 0.0f;
    float m_fGain = 0.0f;
    float m_fov[3] = {};         // mm
    float m_angulation[3] = {};  // degrees
    float m_offCentre[3] = {};   // mm
    float m_matrix[3] = {};
    float m_fFrequency = 0.0f;   // MHz
    float m_fSweepWidth = 0.0f;  // Hz
    int m_nPoints = 0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CNumEdit* m_coilQ = nullptr;
    CNumEdit* m_gain = nullptr;
    CNumEdit* m_frequency = nullptr;
    CNumEdit* m_sweepWidth = nullptr;
    CNumEdit* m_fovEdits[3] = {};
    CNumEdit* m_angulationEdits[3] = {};
    CNumEdit* m_offCentreEdits[3] = {};
    QLineEdit* m_matrixEdits[3] = {};
    QLineEdit* m_pointsEdit = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
