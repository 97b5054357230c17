#include "app/dialogs/CSetParametersDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QShowEvent>

#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"

using vx::app::Text5;
using vx::app::ValueOf;

CSetParametersDlg::CSetParametersDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Set Parameters...");
    auto make = [] { return new CNumEdit; };
    m_coilQ = make();
    m_gain = make();
    m_frequency = make();
    m_sweepWidth = make();
    for (int k = 0; k < 3; ++k) {
        m_fovEdits[k] = make();
        m_angulationEdits[k] = make();
        m_offCentreEdits[k] = make();
        m_matrixEdits[k] = vx::app::MakeDigitEdit();
        m_matrixEdits[k]->setReadOnly(true);
        m_angulationEdits[k]->setReadOnly(true);
    }
    m_pointsEdit = vx::app::MakeDigitEdit();
    m_pointsEdit->setReadOnly(true);

    auto* layout = new QGridLayout(this);
    auto* acquisition = new QGroupBox("CSI Acquision Parameters");
    auto* acquisitionForm = new QFormLayout(acquisition);
    acquisitionForm->addRow("Number of points in voxel:", m_pointsEdit);
    acquisitionForm->addRow("Sweep Width (Hz):", m_sweepWidth);
    acquisitionForm->addRow("Spectral frequency in MHz", m_frequency);
    auto* quantification = new QGroupBox("Absolute Quantification Parameters");
    auto* quantificationForm = new QFormLayout(quantification);
    quantificationForm->addRow("Receiver Gain:", m_gain);
    quantificationForm->addRow("Coil Q Factor:", m_coilQ);
    layout->addWidget(acquisition, 0, 0);
    layout->addWidget(quantification, 0, 1);
    layout->addWidget(vx::app::AxisGroup("Field Of View (mm)", m_fovEdits[0], m_fovEdits[1], m_fovEdits[2]), 1, 0);
    layout->addWidget(vx::app::AxisGroup("Angulation(degree)", m_angulationEdits[0], m_angulationEdits[1],
                                         m_angulationEdits[2]),
                      1, 1);
    layout->addWidget(vx::app::AxisGroup("Off Center (mm)", m_offCentreEdits[0], m_offCentreEdits[1],
                                         m_offCentreEdits[2]),
                      2, 0);
    layout->addWidget(vx::app::AxisGroup("Dimensions", m_matrixEdits[0], m_matrixEdits[1], m_matrixEdits[2]), 2, 1);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(m_buttons, 3, 0, 1, 2);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CSetParametersDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CSetParametersDlg::reject);
}

void CSetParametersDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_coilQ->SetText(Text5(m_fCoilQ));
    m_gain->SetText(Text5(m_fGain));
    m_frequency->SetText(Text5(m_fFrequency));
    m_sweepWidth->SetText(Text5(m_fSweepWidth));
    for (int k = 0; k < 3; ++k) {
        m_fovEdits[k]->SetText(Text5(m_fov[k]));
        m_angulationEdits[k]->SetText(Text5(m_angulation[k]));
        m_offCentreEdits[k]->SetText(Text5(m_offCentre[k]));
        m_matrixEdits[k]->setText(Text5(m_matrix[k]));
    }
    m_pointsEdit->setText(Text5(static_cast<float>(m_nPoints)));
}

void CSetParametersDlg::accept()
{
    // A frequency, sweep width or field of view of 0 or below keeps the dialog open, and
    // nothing is taken.
    float checked = 0.0f;
    for (CNumEdit* edit : {m_frequency, m_sweepWidth, m_fovEdits[0], m_fovEdits[1], m_fovEdits[2]})
        if (!vx::app::ReadNumberAbove(edit, 0.0, checked))
            return;
    m_fCoilQ = ValueOf(m_coilQ);
    m_fGain = ValueOf(m_gain);
    m_fFrequency = ValueOf(m_frequency);
    m_fSweepWidth = ValueOf(m_sweepWidth);
    for (int k = 0; k < 3; ++k) {
        m_fov[k] = ValueOf(m_fovEdits[k]);
        m_angulation[k] = ValueOf(m_angulationEdits[k]);
        m_offCentre[k] = ValueOf(m_offCentreEdits[k]);
    }
    QDialog::accept();
}
