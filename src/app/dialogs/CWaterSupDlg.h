#pragma once
// The water suppression parameters of the spectrum view's Water command: window type and
// filter length of the moving-average subtraction ("Sodano"), or the number of peaks of
// the HLSVD fit ("HLSVDPro"); the range searched for the water peak; and whether only
// the selected voxels are treated. The values accepted last are kept for the rest of
// the run and shown at the next opening.
#include <QDialog>

#include "model/TWaterSuppressionParams.h"

class CNumEdit;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;

class CWaterSupDlg : public QDialog {
    Q_OBJECT
public:
    enum { kSodano = 0, kHLSVDPro = 1 };

    explicit CWaterSupDlg(QWidget* parent = nullptr);

    // The values of the last OK in this run (method, window length and type, align range,
    // peaks, selected-only); the start values before the first. The water band is not
    // the dialog's and stays 0.
    static TWaterSuppressionParams& Kept();

    QComboBox* WindowType() const { return m_cmbWindow; }
    QLineEdit* FilterLength() const { return m_editLength; }
    QComboBox* Algorithm() const { return m_cmbAlgorithm; }
    CNumEdit* AlignRange() const { return m_editAlign; }
    QLineEdit* NumPeaks() const { return m_editPeaks; }
    QCheckBox* SelectedOnly() const { return m_chkSelected; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

private:
    // "HLSVDPro" fits peaks and needs no window; "Sodano" the opposite.
    void OnAlgorithmChanged(int algorithm);

    QComboBox* m_cmbWindow = nullptr;
    QLineEdit* m_editLength = nullptr;
    QComboBox* m_cmbAlgorithm = nullptr;
    CNumEdit* m_editAlign = nullptr;
    QLineEdit* m_editPeaks = nullptr;
    QCheckBox* m_chkSelected = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
