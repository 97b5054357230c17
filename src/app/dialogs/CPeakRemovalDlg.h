#pragma once
// The parameters of the spectrum view's peak removal: how many peaks the HLSVD fit models
// in each spectrum, and whether only the selected voxels are treated. Both are kept for
// the rest of the run and shown at the next opening.
#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;

class CPeakRemovalDlg : public QDialog {
    Q_OBJECT
public:
    struct TValues {
        int peaks = 10;
        bool selectedOnly = false;
    };

    explicit CPeakRemovalDlg(QWidget* parent = nullptr);

    // The values of the last OK in this run; the start values before the first.
    static TValues& Kept();

    // No more peaks than the spectra have points can be fitted.
    void SetMaxPeaks(int peaks) { m_nMaxPeaks = peaks; }

    QLineEdit* NumPeaks() const { return m_editPeaks; }
    QCheckBox* SelectedOnly() const { return m_chkSelected; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

private:
    QLineEdit* m_editPeaks = nullptr;
    QCheckBox* m_chkSelected = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    int m_nMaxPeaks = 1 << 30;
};
