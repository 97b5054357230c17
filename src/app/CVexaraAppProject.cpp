// The File menu's project commands and Project > Close Images.
#include "app/CMainFrame.h"
#include "app/dialogs/CNewProjectDlg.h"
#include "app/CVexaraApp.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "app/WindowFactory.h"
#include "model/TProject.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/WaitCursor.h"

namespace {
// A changed open project is offered for saving; false when the user wanted it saved and
// that failed, so that the command keeps the project.
bool SaveOpenProjectFirst()
{
    return !g_pProject || g_pProject->SaveIfModified();
}
}  // namespace

void CVexaraApp::ConnectProjectCommands()
{
    CMainFrame* frame = m_pMainFrame.get();
    const std::pair<int, void (CVexaraApp::*)()> commands[] = {
        {cmd::FileNewProject, &CVexaraApp::OnFileNewProject},
        {cmd::FileOpenProject, &CVexaraApp::OnFileOpenProject},
        {cmd::FileSaveProject, &CVexaraApp::OnFileSaveProject},
        {cmd::FileSaveProjectAs, &CVexaraApp::OnFileSaveProjectAs},
        {cmd::FileSaveProjectDeidentified, &CVexaraApp::OnFileSaveProjectDeidentified},
        {cmd::FileBatchProcessing, &CVexaraApp::OnFileBatchProcessing},
        {cmd::ProjectCloseImages, &CVexaraApp::OnProjectCloseImages},
    };
    for (const auto& [command, handler] : commands)
        frame->SetCommandHandler(command, [this, handler = handler] { (this->*handler)(); });
    connect(frame, &CMainFrame::RecentFileChosen, this, &CVexaraApp::OnOpenRecentProject);
}

void CVexaraApp::CloseProject()
{
    if (!g_pProject)
        return;
    g_pProject->CloseImageFrames();
    m_pMainFrame->CloseAllChildWindows();
    // The explorer lets go of the project's items before they are deleted.
    m_pMainFrame->ResetProjectExplorer();
    delete g_pProject;
    g_pProject = nullptr;
    SetProjectMenu(false);
}

void CVexaraApp::ShowNewProject()
{
    m_pMainFrame->ShowProjectExplorer();
    m_pMainFrame->ResetWorkMode();
    SetProjectMenu(true);
    g_pProject->SetModified(false);
}

void CVexaraApp::OnFileNewProject()
{
    if (!SaveOpenProjectFirst())
        return;
    CNewProjectDlg dialog(m_pMainFrame.get());
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    const std::string name = dialog.ProjectName().toStdString();
    const std::string folder = dialog.ProjectFolder();
    CloseProject();
    auto* project = new TProject(m_pMainFrame.get());
    if (!project->Create(folder, name)) {
        delete project;
        vx::Report("Error creating a new project", vx::ReportIcon::Exclamation);
        return;
    }
    g_pProject = project;
    ShowNewProject();
    AddToRecentFileList(project->GetProjectFilePath());
}

bool CVexaraApp::OpenProject(const std::string& path)
{
    // The open project stays when the chosen one cannot be opened or is no project.
    std::string refusal;
    if (!TProject::CheckProjectFile(path, &refusal)) {
        vx::Report(refusal, vx::ReportIcon::Exclamation);
        return false;
    }
    // A load that fails once the check has passed (a read failing further on) has said why
    // and given its folder back; the project that was open is then opened again from its
    // file, which holds what the user chose to keep when it was offered for saving, so that
    // the user is where they were. It is opened as any open is, with its folder's lock, and
    // heads the recent projects, so that the one that failed does not pass for it there.
    // Where that fails as well, its own message says why.
    const std::string earlier = g_pProject ? g_pProject->GetProjectFilePath() : std::string();
    CloseProject();
    if (!m_pMainFrame->OpenProjectFile(path)) {
        if (!earlier.empty() && m_pMainFrame->OpenProjectFile(earlier)) {
            vx::SetCurrentFolder(g_pProject->GetFolder());
            AddToRecentFileList(earlier);
        }
        return false;
    }
    vx::SetCurrentFolder(g_pProject->GetFolder());
    return true;
}

void CVexaraApp::OnFileOpenProject()
{
    if (!SaveOpenProjectFirst())
        return;
    vx::TFileRequest request;
    request.title = "Open Project File...";
    request.filter = "All Files (*.*)|*.*|Project Files(*.tpj)|*.TPJ";
    request.filterIndex = 1;
    request.folder = vx::CurrentFolder();
    const std::string path = vx::ChooseFile(request);
    if (!path.empty() && OpenProject(path))
        AddToRecentFileList(path);
}

void CVexaraApp::OnOpenRecentProject(int index)
{
    if (index < 0 || index >= m_recentFiles.size() || !SaveOpenProjectFirst())
        return;
    const QString entry = m_recentFiles[index];
    const std::string path = entry.toStdString();
    // The entry is looked up again: a project opened again after a failed open heads the list.
    if (OpenProject(path))
        AddToRecentFileList(path);
    else
        RemoveFromRecentFileList(m_recentFiles.indexOf(entry));
}

void CVexaraApp::OnFileSaveProject()
{
    if (g_pProject)
        g_pProject->SaveWorkSetAndProject(true);
}

void CVexaraApp::OnFileSaveProjectAs()
{
    if (!g_pProject)
        return;
    CNewProjectDlg dialog(m_pMainFrame.get(), true);
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    const std::string name = dialog.ProjectName().toStdString();
    bool saved = false;
    {
        vx::TWaitCursor wait;
        saved = g_pProject->SaveAs(g_strLastDir, name);
    }
    if (saved) {
        m_pMainFrame->ShowProjectExplorer();
        AddToRecentFileList(g_pProject->GetProjectFilePath());
    }
}

void CVexaraApp::OnFileSaveProjectDeidentified()
{
    if (g_pProject)
        g_pProject->SaveDeidentified();
}

void CVexaraApp::OnFileBatchProcessing()
{
    if (const vx::app::BatchDialog& dialog = vx::app::GetBatchDialog())
        dialog(m_pMainFrame.get());
}

void CVexaraApp::OnProjectCloseImages()
{
    if (g_pProject)
        g_pProject->CloseImageFrames();
}
