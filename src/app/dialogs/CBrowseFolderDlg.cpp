#include "app/dialogs/CBrowseFolderDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/dialogs/CFolderList.h"
#include "platform/Files.h"

CBrowseFolderDlg::CBrowseFolderDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Browse the folders...");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Choose a folder:"));
    m_edit = new QLineEdit;
    m_edit->setReadOnly(true);
    layout->addWidget(m_edit);
    m_list = new CFolderList;
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CBrowseFolderDlg::reject);
    layout->addWidget(buttons);

    m_szStartDir = vx::CurrentFolder();
    auto show = [this](const QString& folder) {
        m_strFolder = folder.toStdString();
        m_edit->setText(folder);
    };
    m_list->ListStartFolder(m_szStartDir);
    show(QString::fromStdString(m_list->Folder()));
    connect(m_list, &CFolderList::FolderListed, this, show);
}

void CBrowseFolderDlg::reject()
{
    vx::SetCurrentFolder(m_szStartDir);
    QDialog::reject();
}
