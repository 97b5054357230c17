#include "app/dialogs/CWaterSupDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cmath>

#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"
#include "model/math/TextHelpers.h"

TWaterSuppressionParams& CWaterSupDlg::Kept()
{
    static TWaterSuppressionParams kept;
    return kept;
}

CWaterSupDlg::CWaterSupDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Water Suppression Parameters");
    const TWaterSuppressionParams& kept = Kept();
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_cmbAlgorithm = new QComboBox;
    m_cmbAlgorithm->addItems({"Sodano", "HLSVDPro"});
    m_cmbAlgorithm->setCurrentIndex(kept.m_nMethod);
    form->addRow("Algorithm", m_cmbAlgorithm);
    m_cmbWindow = new QComboBox;
    m_cmbWindow->addItems({"Gauss", "Rectangle", "Sine"});
    m_cmbWindow->setCurrentIndex(kept.m_nWindowType);
    form->addRow("Window Type", m_cmbWindow);
    m_editLength = new QLineEdit(QString::number(kept.m_nWindowLength));
    form->addRow("Filter Length", m_editLength);
    m_editPeaks = new QLineEdit(QString::number(kept.m_nPeaks));
    form->addRow("Num. of Peaks", m_editPeaks);
    m_editAlign = new CNumEdit;
    m_editAlign->SetText(QString::fromStdString(FloatToString(kept.m_fPeakAlignRange, 5)));
    form->addRow("Water Align Range (-x, x)ppm", m_editAlign);
    layout->addLayout(form);
    m_chkSelected = new QCheckBox("Only apply to selected voxels");
    m_chkSelected->setChecked(kept.m_bSelectedOnly != 0);
    layout->addWidget(m_chkSelected);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CWaterSupDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
    connect(m_cmbAlgorithm, &QComboBox::currentIndexChanged, this, &CWaterSupDlg::OnAlgorithmChanged);
    OnAlgorithmChanged(m_cmbAlgorithm->currentIndex());
}

void CWaterSupDlg::OnAlgorithmChanged(int algorithm)
{
    const bool hlsvd = algorithm == kHLSVDPro;
    m_editLength->setEnabled(!hlsvd);
    m_cmbWindow->setEnabled(!hlsvd);
    m_editPeaks->setEnabled(hlsvd);
}

void CWaterSupDlg::accept()
{
    int peaks = 0, length = 0;
    if (!vx::app::ReadIntegerField(m_editPeaks, peaks) || !vx::app::ReadIntegerField(m_editLength, length))
        return;
    TWaterSuppressionParams& kept = Kept();
    kept.m_nWindowType = m_cmbWindow->currentIndex();
    kept.m_nMethod = m_cmbAlgorithm->currentIndex();
    kept.m_nPeaks = peaks;
    kept.m_nWindowLength = length;
    kept.m_fPeakAlignRange = std::fabs(vx::app::ValueOf(m_editAlign));
    kept.m_bSelectedOnly = m_chkSelected->isChecked() ? 1 : 0;
    QDialog::accept();
}
