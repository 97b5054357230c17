// The main frame's commands that write the work set's maps, voxels and masks to files and
// read a selection mask back.
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/dialogs/CSelectMapDlg.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "model/SelectionMaskFile.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/TextExports.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/WaitCursor.h"

namespace {

TCSISet* WorkSet()
{
    return g_pProject ? g_pProject->m_pWorkSet : nullptr;
}

// The save dialog of the mask exports; "" when cancelled, else the path with ".txt".
std::string ChooseMaskPath()
{
    // An existing file is confirmed before it is replaced.
    return vx::ChooseFile(vx::TextFileSaveRequest("Save as...", "*.TXT"));
}

}  // namespace

void CMainFrame::ConnectExportCommands()
{
    SetCommandHandler(cmd::MapSaveAsTxt, [this] { OnMapSaveAsTxt(); });
    SetCommandHandler(cmd::ExportVoxels, [this] { OnExportVoxels(); });
    SetCommandHandler(cmd::ExportSelectionMask, [this] { OnExportSelectionMask(); });
    SetCommandHandler(cmd::ExportKSpaceMask, [this] { OnExportKSpaceMask(); });
    SetCommandHandler(cmd::ImportSelectionMask, [this] { OnImportSelectionMask(); });
}

void CMainFrame::OnMapSaveAsTxt()
{
    TCSISet* set = WorkSet();
    if (!set || !set->HasMaps())
        return;
    CSelectMapDlg dialog(set, this);
    if (vx::app::RunDialog(dialog) != QDialog::Accepted || dialog.GetSelectedMaps().empty())
        return;
    // The path with ".txt" added.
    const std::string path = vx::ChooseFile(vx::TextFileSaveRequest("Save as text file...", "*.TXT"));
    if (path.empty())
        return;
    const std::vector<TMap*>& chosenMaps = dialog.GetSelectedMaps();
    vx::TWaitCursor wait;
    WriteMapTables(std::vector<const TMap*>(chosenMaps.begin(), chosenMaps.end()), path);
}

void CMainFrame::OnExportVoxels()
{
    const TCSISet* set = WorkSet();
    if (!set)
        return;
    const std::vector<const TSpectrum*> voxels = SelectedVoxels(*set);
    if (voxels.empty()) {
        vx::Report("No voxels are selected.", vx::ReportIcon::Exclamation);
        return;
    }
    const int first = g_pProject->m_display.m_nXStart;
    const int last = g_pProject->m_display.m_nXEnd;

    constexpr int kTextFilter = 0;
    int chosenFilter = kTextFilter;
    vx::TFileRequest request;
    request.save = true;
    // The command asks its own question about an existing file.
    request.overwritePrompt = false;
    request.title = "Save as...";
    request.filter = "Text Files (*.txt)|*.txt|Binary Files(*.*)|*.*";
    request.filterIndex = kTextFilter;
    request.folder = vx::CurrentFolder();
    request.chosenFilter = &chosenFilter;
    const std::string chosen = vx::ChooseFile(request);
    if (chosen.empty())
        return;

    if (chosenFilter == kTextFilter) {
        const std::string path = vx::WithExtensionIfMissing(chosen, ".txt");
        bool append = false;
        if (vx::FileExists(path)) {
            const vx::ReportAnswer answer = vx::Ask(
                "The file already exists. Click Yes to overwrite, click No to append, and Cancel to cancel.",
                vx::ReportButtons::YesNoCancel, vx::ReportAnswer::Yes);
            if (answer == vx::ReportAnswer::Cancel)
                return;
            append = answer == vx::ReportAnswer::No;
        }
        vx::TWaitCursor wait;
        WriteVoxelText(*set, voxels, first, last, path, append);
        return;
    }
    if (vx::FileExists(chosen) &&
        vx::Ask("The file already exists. Click Yes to overwrite, click No to cancel.", vx::ReportButtons::YesNo,
                vx::ReportAnswer::Yes) != vx::ReportAnswer::Yes)
        return;
    vx::TWaitCursor wait;
    WriteVoxelBinary(*set, voxels, first, last, chosen);
}

void CMainFrame::OnExportSelectionMask()
{
    if (const TCSISet* set = WorkSet())
        if (const std::string path = ChooseMaskPath(); !path.empty())
            WriteSelectionMask(*set, path);
}

void CMainFrame::OnExportKSpaceMask()
{
    if (const TCSISet* set = WorkSet())
        if (const std::string path = ChooseMaskPath(); !path.empty())
            WriteKSpaceMask(*set, path);
}

void CMainFrame::OnImportSelectionMask()
{
    TCSISet* set = WorkSet();
    if (!set)
        return;
    vx::TFileRequest request;
    request.title = "Load Mask File...";
    request.filter = "All Files (*.*)|*.*|Text Files(*.txt)|*.txt";
    request.filterIndex = 1;
    request.folder = vx::CurrentFolder();
    const std::string path = vx::ChooseFile(request);
    if (path.empty() || !ReadSelectionMask(*set, path))
        return;
    // The grid shows the selection: the CSI layer is made again.
    g_pProject->UpdateFrames(true, false, false, false, false);
}
