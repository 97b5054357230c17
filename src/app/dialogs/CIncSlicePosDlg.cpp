#include "app/dialogs/CIncSlicePosDlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogHelpers.h"

float CIncSlicePosDlg::s_start[3] = {0.0f, 0.0f, 0.0f};
float CIncSlicePosDlg::s_step[3] = {0.0f, 0.0f, 0.0f};

CIncSlicePosDlg::CIncSlicePosDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Increment Slice Pos.");
    for (int k = 0; k < 3; ++k) {
        m_start[k] = new CNumEdit;
        m_step[k] = new CNumEdit;
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(vx::app::AxisGroup("Starting At (mm)", m_start[0], m_start[1], m_start[2]));
    layout->addWidget(vx::app::AxisGroup("Step (mm)", m_step[0], m_step[1], m_step[2]));
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CIncSlicePosDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CIncSlicePosDlg::reject);
}

void CIncSlicePosDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    for (int k = 0; k < 3; ++k) {
        m_start[k]->SetText(vx::app::Text5(s_start[k]));
        m_step[k]->SetText(vx::app::Text5(s_step[k]));
    }
}

void CIncSlicePosDlg::accept()
{
    for (int k = 0; k < 3; ++k) {
        s_start[k] = vx::app::ValueOf(m_start[k]);
        s_step[k] = vx::app::ValueOf(m_step[k]);
    }
    QDialog::accept();
}
