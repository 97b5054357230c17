#include "app/dialogs/CNewProjectDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>

#include "app/dialogs/CFolderList.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"

std::string g_strLastDir = [] {
    const std::string home = vx::HomeFolder();
    return home.back() == '/' ? home : home + "/";
}();

namespace {
// A project name becomes the name of the project's folder and file: it must be one file
// name ("." and ".." and names holding a separator or a control character would put the
// project elsewhere), and it may not begin with "~" (nor with "." for Save As).
bool IsValidProjectName(const std::string& name, bool refuseLeadingDot)
{
    if (!vx::IsSafeFileComponent(name) || name.front() == '~')
        return false;
    return !(refuseLeadingDot && name.front() == '.');
}

// The checks on the name and the location g_strLastDir: the project folder, or "" when
// refused (reported) or declined.
std::string ChooseProjectFolder(const std::string& name, bool refuseLeadingDot)
{
    if (!vx::FolderExists(g_strLastDir)) {
        vx::Report("Project path cannot be found", vx::ReportIcon::Exclamation);
        return {};
    }
    if (!IsValidProjectName(name, refuseLeadingDot)) {
        vx::Report("Invalid project name", vx::ReportIcon::Exclamation);
        return {};
    }
    const std::string folder = vx::JoinPath(g_strLastDir, name);
    // Overwriting replaces the saved project there: a stray Return must not answer Yes.
    if (vx::FolderExists(folder) &&
        vx::Ask("Project already exists, do you want to overwrite it?", vx::ReportButtons::YesNo,
                vx::ReportAnswer::No, vx::ReportIcon::Information) != vx::ReportAnswer::Yes)
        return {};
    return folder;
}
}  // namespace

CNewProjectDlg::CNewProjectDlg(QWidget* parent, bool saveAs) : QDialog(parent), m_bSaveAs(saveAs)
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
    // A location that has gone would leave the list empty with no way out of it.
    if (m_dirList->ListStartFolder(g_strLastDir))
        g_strLastDir = m_dirList->Folder();
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
    m_strFolder = ChooseProjectFolder(m_strName.toStdString(), m_bSaveAs);
    if (m_strFolder.empty()) {
        m_nameEdit->setFocus();
        m_nameEdit->selectAll();
        return;
    }
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
