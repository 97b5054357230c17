#include "app/dialogs/CPeakRemovalDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/dialogs/DialogFields.h"

CPeakRemovalDlg::TValues& CPeakRemovalDlg::Kept()
{
    static TValues kept;
    return kept;
}

CPeakRemovalDlg::CPeakRemovalDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Peak Removal");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_editPeaks = new QLineEdit(QString::number(Kept().peaks));
    form->addRow("Total number of peaks to fit in the spectrum:", m_editPeaks);
    layout->addLayout(form);
    m_chkSelected = new QCheckBox("Only apply to selected voxels");
    m_chkSelected->setChecked(Kept().selectedOnly);
    layout->addWidget(m_chkSelected);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CPeakRemovalDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
}

void CPeakRemovalDlg::accept()
{
    int peaks = 0;
    if (!vx::app::ReadIntegerField(m_editPeaks, peaks))
        return;
    // Too many peaks are refused with the range; 0 and below are the caller's to refuse.
    if (peaks > m_nMaxPeaks && !vx::app::ReadIntegerField(m_editPeaks, 1, m_nMaxPeaks, peaks))
        return;
    Kept().peaks = peaks;
    Kept().selectedOnly = m_chkSelected->isChecked();
    QDialog::accept();
}
