#include "app/CNewProjectDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>

#include "app/CFolderList.h"
#include "platform/Files.h"

std::string g_strLastDir = [] {
    const std::string home = vx::HomeFolder();
    return home.back() == '/' ? home : home + "/";
}();

CNewProjectDlg::CNewProjectDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Create New Project...");
    auto* layout = new QGridLayout(this);
    m_nameEdit = new QLineEdit;
    m_locationEdit = new QLineEdit;
    // The location is chosen in the list; the edit only shows it.
    m_locationEdit->setReadOnly(true);
    m_dirList = new CFolderList;
    m_dirList->setMinimumHeight(160);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(new QLabel("Project Name:"), 0, 0);
    layout->addWidget(m_nameEdit, 0, 1);
    layout->addWidget(new QLabel("Location:"), 1, 0);
    layout->addWidget(m_locationEdit, 1, 1);
    layout->addWidget(m_dirList, 2, 1);
    layout->addWidget(m_buttons, 3, 0, 1, 2);
    setMinimumWidth(420);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CNewProjectDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CNewProjectDlg::reject);
    connect(m_dirList, &CFolderList::FolderListed, this, &CNewProjectDlg::OnFolderListed);
}

void CNewProjectDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_nameEdit->setText("New Project");
    m_bShown = true;
    m_strSavedLastDir = g_strLastDir;
    m_szSavedCurDir = vx::CurrentFolder();
    // A location that has gone stays shown; the command then reports it.
    m_dirList->ListFolder(g_strLastDir);
    m_locationEdit->setText(QString::fromStdString(g_strLastDir));
}

void CNewProjectDlg::OnFolderListed(const QString& folder)
{
    g_strLastDir = folder.toStdString();
    m_locationEdit->setText(folder);
}

void CNewProjectDlg::accept()
{
    m_strName = m_nameEdit->text();
    QDialog::accept();
}

void CNewProjectDlg::reject()
{
    if (m_bShown) {
        g_strLastDir = m_strSavedLastDir;
        vx::SetCurrentFolder(m_szSavedCurDir);
    }
    QDialog::reject();
}
