// The main frame's project commands and the operations the project explorer calls.
#include "app/dialogs/CAddCSISetDlg.h"
#include "app/dialogs/CAddImagesDlg.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "app/WindowFactory.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Report.h"
#include "model/TFolderHold.h"
#include "platform/TReasonCollector.h"
#include "platform/WaitCursor.h"

namespace {

// Add CSI Set's OK and Add Images, however closed, save the project, also when nothing was
// added. Where the dialog changed nothing and the folder is no longer the one held (moved,
// replaced), there is nothing to lose, and the user who closed the dialog is not told that
// nothing was written.
void SaveAfterAdding()
{
    if (g_pProject->IsFileModified() || g_pProject->HoldsItsFolder())
        g_pProject->Save();
}

}  // namespace

void CMainFrame::ConnectProjectCommands()
{
    SetCommandHandler(cmd::ProjectAddCSISet, [this] { AddCSISet(); });
    SetCommandHandler(cmd::ProjectAddImages, [this] { AddImages(); });
    SetCommandHandler(cmd::ProjectAddExam, [this] { AddExam(); });
    SetCommandHandler(cmd::ProjectViewSlice, [this] { ViewSlice(); });
}

void CMainFrame::AddCSISet()
{
    if (!g_pProject)
        return;
    CAddCSISetDlg dialog(this);
    dialog.m_params = g_lastReadParams;
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    g_lastReadParams = dialog.m_params;
    ShowProjectExplorer();
    SaveAfterAdding();
}

void CMainFrame::AddImages()
{
    if (!g_pProject)
        return;
    CAddImagesDlg dialog(this);
    vx::app::RunDialog(dialog);
    ShowProjectExplorer();
    SaveAfterAdding();
}

void CMainFrame::AddExam()
{
    const vx::app::AddExamDialog& dialog = vx::app::GetAddExamDialog();
    std::vector<std::string> entries;
    int examType = 0;
    // An exam of no entries would only empty the project (the dialog refuses one).
    if (!g_pProject || !dialog || !dialog(this, entries, examType) || entries.empty())
        return;
    // What the exam can bring is found first, without writing or asking anything: an exam
    // that brings nothing leaves the project as it is, unsaved work included.
    const TProject::TExamTrial trial = [&] {
        vx::TWaitCursor wait;
        return g_pProject->TryExam(entries, examType);
    }();
    if (!trial.anyAddable) {
        vx::Report(TProject::ExamBringsNothingMessage(examType, trial.failed, trial.notRead),
                   vx::ReportIcon::Exclamation);
        return;
    }
    // The exam replaces the project's content: unsaved changes are offered for saving
    // first, and a save that fails keeps the project as it is.
    if (!g_pProject->SaveIfModified())
        return;
    const std::string path = g_pProject->GetProjectFilePath();
    // The exam's files replace the project's as one change when the new project is saved;
    // until then the folder holds the project as it was. A folder moved or removed while
    // open is refused here, with the project kept.
    std::optional<TProject::TPlace> place = g_pProject->HandOverPlace();
    if (!place)
        return;
    // Windows that show the project's voxels or analyses go with it.
    CloseAllChildWindows();
    delete g_pProject;
    g_pProject = nullptr;
    ResetProjectExplorer();

    auto* project = new TProject(this);
    if (!project->CreateInPlaceOf(std::move(*place))) {
        delete project;
        SetProjectOpen(false);
        vx::Report("Error adding the new exam.", vx::ReportIcon::Exclamation);
        return;
    }
    g_pProject = project;
    // The files that could not be added are named in one message, each with its reasons.
    std::string failed;
    project->AddExam(entries, examType, &failed);
    if (project->m_pCSISetList->IsEmpty() && project->m_pImageSet->GetCount() == 0) {
        // Nothing of the exam came in after all (every set declined, or the files changed
        // since they were tried): unsaved, the new project leaves the folder as it was (its
        // staged files go with it), and the project there is opened again.
        ResetProjectExplorer();
        delete project;
        g_pProject = nullptr;
        vx::Report(TProject::ExamBringsNothingMessage(examType, failed, trial.notRead), vx::ReportIcon::Exclamation);
        OpenProjectFile(path);
        return;
    }
    if (!failed.empty())
        vx::Report(vx::FailedFilesMessage(failed), vx::ReportIcon::Exclamation);
    ShowProjectExplorer();
    ResetWorkMode();
    if (!project->m_pCSISetList->IsEmpty())
        project->SetWorkSet(*project->m_pCSISetList->begin());
    project->Save();
    RefreshInfoFrame();
    UpdateCommandStates();
}

bool CMainFrame::OpenProjectFile(const std::string& path)
{
    // The loaders read the project's file version through the global pointer.
    auto* project = new TProject(this);
    g_pProject = project;
    if (!project->Load(path)) {
        delete project;
        g_pProject = nullptr;
        SetProjectOpen(false);
        return false;
    }
    ShowProjectExplorer();
    ResetWorkMode();
    SetProjectOpen(true);
    project->SetModified(false);
    return true;
}

void CMainFrame::ViewSlice()
{
    const vx::app::ViewSliceDialog& dialog = vx::app::GetViewSliceDialog();
    int axis = 2;
    float position = 0.0f;
    if (!g_pProject || !g_pProject->m_pWorkSet || !dialog || !dialog(this, axis, position))
        return;
    g_pProject->OpenSliceFrameByPosition(axis, position);
    g_pProject->UpdateFrames(false, false, false, false, true);
}

void CMainFrame::ViewImage(TMRImage* pImage)
{
    if (!g_pProject || !pImage)
        return;
    g_pProject->OpenImageFrame(pImage);
    g_pProject->UpdateFrames(false, false, false, false, true);
}

void CMainFrame::SetWorkSet(TCSISet* pSet)
{
    if (g_pProject)
        g_pProject->SetWorkSet(pSet);
}

void CMainFrame::ZeroFillCSISet(TCSISet* pSet, const int size[3])
{
    if (g_pProject)
        g_pProject->ZeroFillCSISet(pSet, size);
}

void CMainFrame::RemoveImage(TMRImage* pImage)
{
    if (g_pProject)
        g_pProject->RemoveImage(pImage);
}

bool CMainFrame::RemoveCSISet(TCSISet* pSet)
{
    return g_pProject && g_pProject->RemoveCSISet(pSet);
}
