// The main frame's commands that change how the project is viewed and worked on: work
// modes, the display of the spectra, map colours, macro recording, Undo and Redo.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include <list>
#include <string>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVexaraApplication.h"
#include "app/dialogs/CResizeMapDlg.h"
#include "app/dialogs/CSelectMapDlg.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "app/TImageFrameList.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Report.h"
#include "platform/TTextFile.h"
#include "platform/WaitCursor.h"
#include "processing/MacroFile.h"
#include "processing/TProcessHistory.h"
#include "processing/TRegionEstimate.h"
#include "views/picture/CMainPicView.h"

namespace {

// What a work mode installs: the picture views' mouse handler and the analysis windows'
// mouse mode (1 plain, 2 zoom in, 3 zoom out).
struct TWorkModeHandler {
    int command;
    TMouseHandler handler;
    int analysisMode;
};
constexpr TWorkModeHandler kWorkModeHandlers[] = {
    {cmd::ModeSelectVoxel, &CMainPicView::OnMouseSelectVoxel, 1},
    {cmd::ModeMultiSelect, &CMainPicView::OnMouseMultiSelect, 1},
    {cmd::ModePolygonSelect, &CMainPicView::OnMousePolygonSelect, 1},
    {cmd::ModeZoomIn, &CMainPicView::OnMouseZoomIn, 2},
    {cmd::ModeZoomOut, &CMainPicView::OnMouseZoomOut, 3},
    {cmd::ModeMoveCenter, &CMainPicView::OnMouseMoveCenter, 1},
    {cmd::ModeVoxelShift, &CMainPicView::OnMouseVoxelShift, 1},
    {cmd::ModeAverageVoxels, &CMainPicView::OnMouseAverageVoxels, 1},
    {cmd::ModeSpectraRange, &CMainPicView::OnMouseSpectraRange, 1},
};

const TWorkModeHandler* WorkModeHandler(int command)
{
    for (const TWorkModeHandler& mode : kWorkModeHandlers)
        if (mode.command == command)
            return &mode;
    return nullptr;
}

std::vector<CChildFrame*> ImageFramesOf(TProject* project)
{
    auto* list = project ? dynamic_cast<TImageFrameList*>(project->m_frameList.get()) : nullptr;
    return list ? list->Frames() : std::vector<CChildFrame*>();
}

bool IsPowerOfTwo(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// A macro file name takes the extension unless it holds it in either case.
std::string WithMacroExtension(const std::string& chosen)
{
    if (chosen.find(".mcr") == std::string::npos && chosen.find(".MCR") == std::string::npos)
        return chosen + ".mcr";
    return chosen;
}

}  // namespace

void CMainFrame::SetCommandHandler(int command, std::function<void()> handler)
{
    QAction* action = Action(command);
    if (!action || !handler)
        return;
    disconnect(m_commandConnections.value(command));
    m_commandConnections.insert(command,
                                connect(action, &QAction::triggered, this,
                                        [handler = std::move(handler)] { CVexaraApplication::RunCommand(handler); }));
    m_handledCommands.insert(command);
    UpdateCommandStates();
}

void CMainFrame::ConnectCommands()
{
    // A project made or loaded from now on starts in Select voxel mode.
    SetSelectVoxelHandler(&CMainPicView::OnMouseSelectVoxel);
    ConnectImageWindowCommands();

    for (const TWorkModeHandler& mode : kWorkModeHandlers)
        SetCommandHandler(mode.command, [this, command = mode.command] { OnWorkMode(command); });
    SetCommandHandler(cmd::ModeUserRegion, [this] { OnUserRegionMode(); });
    SetCommandHandler(cmd::DrawRectangle, [this] { OnDrawShape(0); });
    SetCommandHandler(cmd::DrawEllipse, [this] { OnDrawShape(1); });
    SetCommandHandler(cmd::DrawPolygon, [this] { OnDrawShape(2); });
    SetCommandHandler(cmd::RunSpectralEstimation, [this] { OnRunSpectralEstimation(); });
    SetCommandHandler(cmd::ShowGrid, [this] { OnShowGrid(); });
    SetCommandHandler(cmd::ShowSpectra, [this] { OnShowSpectra(); });
    SetCommandHandler(cmd::DisplayReal, [this] { OnDisplayPart(TSpectrumDisplayParams::kReal); });
    SetCommandHandler(cmd::DisplayImaginary, [this] { OnDisplayPart(TSpectrumDisplayParams::kImaginary); });
    SetCommandHandler(cmd::DisplayMagnitude, [this] { OnDisplayPart(TSpectrumDisplayParams::kMagnitude); });
    for (int k = 0; k < 4; ++k)
        SetCommandHandler(cmd::MapGray + k, [this, k] { OnMapColour(k); });
    for (int k = 0; k < 3; ++k)
        SetCommandHandler(cmd::MapOpacityHigh + k, [this, k] { OnMapOpacity(k); });
    SetCommandHandler(cmd::MapRemove, [this] { OnMapRemove(); });
    SetCommandHandler(cmd::MapResize, [this] { OnMapResize(); });
    SetCommandHandler(cmd::MacroStartRecording, [this] { OnMacroStartRecording(); });
    SetCommandHandler(cmd::MacroEndRecording, [this] { OnMacroEndRecording(); });
    SetCommandHandler(cmd::MacroPauseRecording, [this] { OnMacroEndRecording(); });
    SetCommandHandler(cmd::MacroSave, [this] { OnMacroSave(); });
    SetCommandHandler(cmd::MacroLoad, [this] { OnMacroLoad(); });
    SetCommandHandler(cmd::EditUndo, [this] { OnUndo(1); });
    SetCommandHandler(cmd::EditRedo, [this] { OnRedo(1); });
    SetCommandHandler(cmd::EditClearAll, [this] { OnClearAll(); });
    SetCommandHandler(cmd::ClearRegionEstimates, [this] { OnClearRegionEstimates(); });
    ConnectExportCommands();
    for (bool undo : {true, false})
        if (QMenu* menu = HistoryMenu(undo))
            connect(menu, &QMenu::aboutToShow, this, [this, menu, undo] { FillHistoryMenu(menu, undo); });
}

// ---- work modes and the display of the spectra -------------------------------------------

void CMainFrame::OnWorkMode(int command)
{
    if (m_pUserDrawBar)
        m_pUserDrawBar->hide();
    const TWorkModeHandler* mode = WorkModeHandler(command);
    if (!mode || !g_pProject)
        return;
    g_pProject->m_pfnMouseHandler = mode->handler;
    m_analysisWnds.SetMouseMode(mode->analysisMode);
}

void CMainFrame::OnShowGrid()
{
    if (g_pProject)
        g_pProject->ToggleDisplayFlag(TSpectrumDisplayParams::kGrid);
}

void CMainFrame::OnShowSpectra()
{
    if (!g_pProject)
        return;
    const bool show = Action(cmd::ShowSpectra)->isChecked();
    for (CChildFrame* frame : ImageFramesOf(g_pProject))
        frame->SetShowCSISlice(show);
    g_pProject->UpdateFrames(false, false, false, false, false);
}

void CMainFrame::OnDisplayPart(int flag)
{
    if (!g_pProject)
        return;
    g_pProject->ToggleDisplayFlag(flag);
    SetSpectrumDisplay(g_pProject->m_display);
    RefreshVoxelWindows();
    RefreshRegionWindows();
}

void CMainFrame::OnMapColour(int colourTable)
{
    if (!g_pProject)
        return;
    g_pProject->m_nMapColormap = colourTable;
    g_pProject->UpdateFrames(false, true, false, false, false);
}

void CMainFrame::OnMapOpacity(int opacity)
{
    if (!g_pProject)
        return;
    g_pProject->m_nMapOpacity = opacity;
    g_pProject->UpdateFrames(false, true, false, false, false);
}

void CMainFrame::OnMapRemove()
{
    TProject* project = g_pProject;
    TCSISet* set = project ? project->m_pWorkSet : nullptr;
    if (!set || !set->HasMaps())
        return;
    CSelectMapDlg dialog(set, this);
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    for (TMap* map : dialog.GetSelectedMaps()) {
        // The map file goes with the project file that stops naming it, as one change; a
        // change that failed (reported) keeps this map and the ones after it.
        if (!project->RemoveWorkSetMap(map))
            break;
        for (CChildFrame* frame : ImageFramesOf(project))
            if (frame->RemoveMapOverlay(map)) {
                frame->UpdateView(false, true, false, false, false);
                frame->UpdateTitle();
            }
        delete map;
    }
    UpdateCommandStates();
}

void CMainFrame::OnMapResize()
{
    TProject* project = g_pProject;
    TCSISet* set = project ? project->m_pWorkSet : nullptr;
    if (!set || !set->m_pMapList)
        return;
    CResizeMapDlg dialog(set, this);
    TMap* map = nullptr;
    int size[3] = {1, 1, 1};
    for (;;) {
        if (vx::app::RunDialog(dialog) != QDialog::Accepted || !dialog.GetMap())
            return;
        map = dialog.GetMap();
        std::copy(dialog.GetSizes(), dialog.GetSizes() + 3, size);
        // An axis left at the map's own size, as the dialog fills it in, stays as it is.
        bool valid = true;
        for (int k = 0; k < 3; ++k)
            valid = valid && (IsPowerOfTwo(size[k]) || size[k] == map->size[k]);
        if (valid)
            break;
        vx::Report("The size must be power of 2.", vx::ReportIcon::Exclamation);
    }
    bool grows = true, shrinks = true;
    for (int k = 0; k < 3; ++k) {
        grows = grows && size[k] >= map->size[k];
        shrinks = shrinks && size[k] <= map->size[k];
    }
    // A size that grows on one axis and shrinks on another is no resize.
    if (grows)
        map->EnlargeTo(size[0], size[1], size[2]);
    else if (shrinks)
        map->ShrinkTo(size[0], size[1], size[2]);
    else
        return;
    // The map file is to be written again at the new size.
    set->SetModified();
    for (CChildFrame* frame : ImageFramesOf(project))
        if (frame->HasMapOverlay(map)) {
            frame->ReloadMapOverlays();
            frame->UpdateView(false, true, false, false, false);
        }
}

// ---- macros ------------------------------------------------------------------------------

void CMainFrame::OnMacroStartRecording()
{
    if (!g_pProject || !g_pProject->m_pWorkSet)
        return;
    // Only the steps performed from now on go into the macro.
    if (g_pProject->m_history)
        g_pProject->m_history->StartRecording();
    g_pProject->m_bRecording = true;
}

void CMainFrame::OnMacroEndRecording()
{
    if (g_pProject)
        g_pProject->m_bRecording = false;
}

void CMainFrame::OnMacroSave()
{
    if (!g_pProject || !g_pProject->m_pWorkSet || !g_pProject->m_history)
        return;
    vx::TFileRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.title = "Save macro file...";
    request.filter = "All Files (*.*)|*.*|Macro Files(*.mcr)|*.mcr";
    request.filterIndex = 1;
    request.folder = vx::CurrentFolder();
    request.finalPath = WithMacroExtension;
    const std::string path = vx::ChooseFile(request);
    if (path.empty())
        return;
    vx::TTextFile file;
    bool written = file.Open(path, vx::TTextFile::Mode::Write) && g_pProject->m_history->WriteMacro(file);
    written = file.Close() && written;
    // The recorded steps would be lost without a word: say so.
    if (!written)
        vx::Report("Can not write macro file " + path, vx::ReportIcon::Exclamation);
}

void CMainFrame::OnMacroLoad()
{
    if (!g_pProject || !g_pProject->m_pWorkSet)
        return;
    vx::TFileRequest request;
    request.title = "Load Macro File...";
    request.filter = "All Files (*.*)|*.*|Macro Files(*.mcr)|*.MCR";
    request.filterIndex = 1;
    request.folder = vx::CurrentFolder();
    const std::string path = vx::ChooseFile(request);
    if (path.empty())
        return;
    // Any other file would read as a macro of no steps and do nothing without a word.
    if (MacroFileKind(path) == TMacroFileKind::Other) {
        vx::Report(NotAMacroFileText(path), vx::ReportIcon::Exclamation);
        return;
    }
    g_pProject->RunMacroFile(path);
}

// ---- Undo, Redo and Clear all ------------------------------------------------------------

void CMainFrame::OnUndo(int count)
{
    if (!g_pProject)
        return;
    {
        vx::TWaitCursor wait;
        // A step that fails (reported) stops the run: the steps before it stay for another try.
        for (int k = 0; k < count && g_pProject->Undo(); ++k) {
        }
        RefreshAfterHistoryMove(count == 1);
    }
    UpdateCommandStates();
}

void CMainFrame::OnRedo(int count)
{
    if (!g_pProject)
        return;
    {
        vx::TWaitCursor wait;
        // A step that fails (reported) stops the run: the steps before it stay for another try.
        for (int k = 0; k < count && g_pProject->Redo(); ++k) {
        }
        RefreshAfterHistoryMove(count == 1);
    }
    UpdateCommandStates();
}

void CMainFrame::RefreshAfterHistoryMove(bool singleStep)
{
    TProject* project = g_pProject;
    if (!project || !project->m_pWorkSet)
        return;
    UpdateAnalysisWindows(1, 1);
    project->m_pWorkSet->UpdateMaps();
    project->UpdateFrames(true, true, true, true, true);
    project->UpdateRegionEstimates();
    RefreshVoxelWindows();
    RefreshRegionWindows();
    if (singleStep)
        project->ShowWorkSetInfo();
}

QMenu* CMainFrame::HistoryMenu(bool undo) const
{
    QAction* action = Action(undo ? cmd::EditUndo : cmd::EditRedo);
    auto* button = m_wndStandardBar ? qobject_cast<QToolButton*>(m_wndStandardBar->widgetForAction(action)) : nullptr;
    return button ? button->menu() : nullptr;
}

void CMainFrame::FillHistoryMenu(QMenu* menu, bool undo)
{
    menu->clear();
    if (!g_pProject || !g_pProject->m_history)
        return;
    std::list<std::string> names;
    g_pProject->m_history->GetStepNames(names, undo);
    int k = 0;
    for (const std::string& name : names) {
        if (k == cmd::kHistoryListSize)
            break;
        QAction* entry = menu->addAction(QString::fromStdString(name));
        entry->setData((undo ? cmd::UndoListFirst : cmd::RedoListFirst) + k);
        entry->setStatusTip(undo ? "Undo the steps down to this one" : "Redo the steps up to this one");
        const int steps = k + 1;
        connect(entry, &QAction::triggered, this, [this, undo, steps] { undo ? OnUndo(steps) : OnRedo(steps); });
        ++k;
    }
}

void CMainFrame::OnClearAll()
{
    if (!g_pProject)
        return;
    if (vx::Ask("All the unsaved operations will be cleared. Do you want to continue?", vx::ReportButtons::YesNo,
                vx::ReportAnswer::Yes, vx::ReportIcon::Question) == vx::ReportAnswer::No)
        return;
    g_pProject->ClearAllOperations();
    UpdateAnalysisWindows(1, 1);
}

void CMainFrame::OnUserRegionMode()
{
    if (!m_pUserDrawBar) {
        // A bar of its own that floats beside the frame and never docks.
        m_pUserDrawBar = new QToolBar("User Draw Toolbar", this);
        m_pUserDrawBar->setObjectName("UserDrawBar");
        m_pUserDrawBar->setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        m_pUserDrawBar->setOrientation(Qt::Vertical);
        m_pUserDrawBar->setAllowedAreas(Qt::NoToolBarArea);
        m_pUserDrawBar->setMovable(false);
        m_pUserDrawBar->setIconSize(QSize(24, 24));
        auto* shapes = new QActionGroup(m_pUserDrawBar);
        for (int command : {cmd::DrawRectangle, cmd::DrawEllipse, cmd::DrawPolygon})
            m_pUserDrawBar->addAction(shapes->addAction(Action(command)));
        m_pUserDrawBar->addAction(Action(cmd::RunSpectralEstimation));
        m_pUserDrawBar->addSeparator();
        m_pUserDrawBar->addAction(Action(cmd::ClearRegionEstimates));
        // A window of its own: its prompts would stop at it.
        vx::app::ForwardPrompts(*m_pUserDrawBar, this);
        m_pUserDrawBar->move(pos() + QPoint(50, 80));
    }
    Action(cmd::DrawRectangle)->setChecked(true);
    m_pUserDrawBar->show();
    if (!g_pProject)
        return;
    g_pProject->m_pfnMouseHandler = &CMainPicView::OnMouseUserRegion;
    g_pProject->m_nDrawShape = 0;
    m_analysisWnds.SetMouseMode(1);
    for (CChildFrame* frame : ImageFramesOf(g_pProject)) {
        frame->SetShowUserRegions(true);
        frame->UpdateView(false, false, true, false, false);
    }
}

void CMainFrame::OnDrawShape(int shape)
{
    if (g_pProject)
        g_pProject->m_nDrawShape = shape;
}

void CMainFrame::OnRunSpectralEstimation()
{
    TProject* project = g_pProject;
    if (!project || project->m_drawnRegions.empty())
        return;
    vx::TWaitCursor wait;
    auto* estimate = new TRegionEstimate;
    if (estimate->SetRegions(project->m_drawnRegions) && estimate->Estimate()) {
        project->m_regionEstimates.push_back(estimate);
        OpenRegionEstimateWindow(estimate);
        estimate->m_bWindow = 1;
    } else {
        vx::Report("Fail to estimate the spectra. Please try a different region.\nThe region should be inside of "
                   "both image and CSI slice.",
                   vx::ReportIcon::Exclamation);
        delete estimate;
    }
    // The drawn regions have gone to the estimate, or with it.
    project->UpdateFrames(false, false, true, false, false);
}

void CMainFrame::OnClearRegionEstimates()
{
    if (!g_pProject)
        return;
    CloseRegionWindows();
    g_pProject->ClearRegionEstimates();
    g_pProject->UpdateFrames(false, false, true, false, false);
}
