#include "app/dialogs/CSaveCSISetAsDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/Paths.h"
#include "platform/Report.h"

CSaveCSISetAsDlg::CSaveCSISetAsDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Save CSI set as...");
    auto* layout = new QVBoxLayout(this);
    m_nameEdit = new QLineEdit;
    layout->addWidget(new QLabel("Enter the new CSI set name:"));
    layout->addWidget(m_nameEdit);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CSaveCSISetAsDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CSaveCSISetAsDlg::reject);
}

void CSaveCSISetAsDlg::accept()
{
    m_strName = m_nameEdit->text();
    if (m_strName.isEmpty()) {
        vx::Report("The new set name can not be empty.", vx::ReportIcon::None);
        return;
    }
    // A separator, a control character, "." or ".." would put the data-set file elsewhere.
    if (!vx::IsSafeFileComponent(m_strName.toStdString())) {
        vx::Report("Invalid CSI set name.", vx::ReportIcon::Exclamation);
        return;
    }
    QDialog::accept();
}
