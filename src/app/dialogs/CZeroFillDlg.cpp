#include "app/dialogs/CZeroFillDlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"

CZeroFillDlg::CZeroFillDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Zero fill CSI set");
    for (QLineEdit*& edit : m_edits)
        edit = vx::app::MakeDigitEdit();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(vx::app::AxisGroup("New size:", m_edits[0], m_edits[1], m_edits[2], "x", "y", "z"));
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CZeroFillDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CZeroFillDlg::reject);
}

void CZeroFillDlg::SetAxisEnabled(int axis, bool enabled)
{
    bool* flags[3] = {&m_bEnableX, &m_bEnableY, &m_bEnableZ};
    if (axis >= 0 && axis < 3)
        *flags[axis] = enabled;
}

void CZeroFillDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    const int sizes[3] = {m_nSizeX, m_nSizeY, m_nSizeZ};
    const bool enabled[3] = {m_bEnableX, m_bEnableY, m_bEnableZ};
    for (int k = 0; k < 3; ++k) {
        m_edits[k]->setText(QString::number(sizes[k]));
        m_edits[k]->setEnabled(sizes[k] != 1 && enabled[k]);
    }
}

void CZeroFillDlg::accept()
{
    int sizes[3] = {};
    for (int k = 0; k < 3; ++k)
        if (!vx::app::ReadIntegerField(m_edits[k], sizes[k]))
            return;
    m_nSizeX = sizes[0];
    m_nSizeY = sizes[1];
    m_nSizeZ = sizes[2];
    QDialog::accept();
}
