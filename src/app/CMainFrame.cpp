#include "app/CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/CAnalysisWindowBase.h"
#include "app/CChildFrame.h"
#include "app/CExplorerFrameBase.h"
#include "app/CInfoFrameBase.h"
#include "app/dialogs/COptionsDlg.h"
#include "app/CVexaraApp.h"
#include "app/CVoxelWindowBase.h"
#include "app/CWindowingToolBar.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "app/ToolIcons.h"
#include "app/WindowArrangement.h"
#include "app/WindowFactory.h"
#include "model/IImageFrameList.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Report.h"

namespace {
// Distance of the first voxel window (and of the explorer) from the right edge of the
// client area, and of the first voxel window and the information window from its bottom.
constexpr int kRightGap = 35;
constexpr int kBottomGap = 70;

// A command and its prompt in the status bar.
struct TCommandPrompt {
    int command;
    const char* prompt;
};
// What each command of the menus and toolbars says in the status bar while the mouse is
// over it. The buttons that have no menu entry are named by their prompts.
constexpr TCommandPrompt kCommandPrompts[] = {
    {cmd::ModeSelectVoxel, "Select voxel"},
    {cmd::ModeMultiSelect, "Multiple selection mode"},
    {cmd::ModePolygonSelect, "Multiple selection mode using polygon"},
    {cmd::ModeZoomIn, "Zoom in "},
    {cmd::ModeZoomOut, "Zoom out"},
    {cmd::ModeMoveCenter, "Move the center of display"},
    {cmd::ModeVoxelShift, "Voxel shift"},
    {cmd::ModeAverageVoxels, "Average voxels"},
    {cmd::ModeSpectraRange, "Change the display range of the spectra"},
    {cmd::ModeUserRegion, "Estimate the spectrum for a user drawn region"},
    {cmd::FileNewProject, "Create a new project"},
    {cmd::FileOpenProject, "Open an existing project"},
    {cmd::FileSaveProject, "Save the project"},
    {cmd::FileSaveProjectAs, "Save the project under a new name"},
    {cmd::FileSaveProjectDeidentified, "Save the project without the patient's identifying data"},
    {cmd::FilePrint, "Print the active image window, one page per slice"},
    {cmd::FileBatchProcessing, "Run a macro over the studies of a folder"},
    {cmd::FileExit, "Quit the program"},
    {cmd::EditUndo, "Undo the last processing step"},
    {cmd::EditRedo, "Redo the processing step undone last"},
    {cmd::EditClearAll, "Undo every processing step, delete the work set's maps and close the windows"},
    {cmd::EditCopy, "Copy the active window's picture to the clipboard"},
    {cmd::ViewToolbar, "Show or hide the Standard toolbar"},
    {cmd::ViewStatusBar, "Show or hide the status bar"},
    {cmd::ViewProjectExplorer, "Show or hide the Project Explorer"},
    {cmd::ProjectAddExam, "Replace the project's exam by the images and CSI sets of an exam"},
    {cmd::ProjectAddImages, "Add MR images to the project"},
    {cmd::ProjectAddCSISet, "Add CSI data sets to the project"},
    {cmd::ProjectViewSlice, "Open the image windows at a slice position of the work set"},
    {cmd::ProjectCloseImages, "Close all the image windows"},
    {cmd::ProjectCloseVoxelWindows, "Close all the voxel and region estimate windows"},
    {cmd::ProjectInformation, "Show the information of the work set and the active image"},
    {cmd::ProjectOptions, "Change the display and processing settings"},
    {cmd::SurfaceCoilNormalization, "surface coil sensitivity normalization"},
    {cmd::MapGray, "Draw the maps in the Gray colour table"},
    {cmd::MapHot, "Draw the maps in the Hot colour table"},
    {cmd::MapCool, "Draw the maps in the Cool colour table"},
    {cmd::MapJet, "Draw the maps in the Jet colour table"},
    {cmd::MapOpacityHigh, "Blend the maps over the images at 70% opacity"},
    {cmd::MapOpacityMedium, "Blend the maps over the images at 50% opacity"},
    {cmd::MapOpacityLow, "Blend the maps over the images at 30% opacity"},
    {cmd::MapResize, "Change the size of a map of the work set"},
    {cmd::MapRemove, "Remove maps from the work set"},
    {cmd::MapSaveAsTxt, "Save maps of the work set as text tables"},
    {cmd::MacroStartRecording, "Start recording the processing steps into a macro"},
    {cmd::MacroEndRecording, "End the macro recording"},
    {cmd::MacroPauseRecording, "Pause the macro recording"},
    {cmd::MacroLoad, "Run the steps of a macro file on the work set"},
    {cmd::MacroSave, "Save the recorded steps as a macro file"},
    {cmd::ExportVoxels, "Export the spectra of the selected voxels to a file"},
    {cmd::ExportSelectionMask, "Save the voxel selection of the work set as a mask file"},
    {cmd::ExportKSpaceMask, "Save the k-space sample mask of the work set as a text file"},
    {cmd::ImportSelectionMask, "Select the voxels that a mask file lists"},
    {cmd::ShowGrid, "Show/hide the grid"},
    {cmd::ShowSpectra, "Show/hide the spectra"},
    {cmd::DisplayReal, "Display real part"},
    {cmd::DisplayImaginary, "Display imaginary part"},
    {cmd::DisplayMagnitude, "Display magnitude"},
    {cmd::DrawRectangle, "Draw a rectangle"},
    {cmd::DrawEllipse, "Draw an ellipse"},
    {cmd::DrawPolygon, "Draw a polygon"},
    {cmd::RunSpectralEstimation, "Run spectral estimation"},
    {cmd::ClearRegionEstimates, "Clear all the region estimates"},
    {cmd::FirstImage, "First image "},
    {cmd::PreviousImage, "Previous image "},
    {cmd::NextImage, "Next image "},
    {cmd::LastImage, "Last image "},
    {cmd::AutoscaleImages, "Autoscale all the images"},
    {cmd::ResetMapScale, "Reset the map display scale"},
    {cmd::HelpTopics, "Show the help"},
    {cmd::AppAbout, "Show the program's name and version"},
};
constexpr char kRecentPrompt[] = "Open this project";

QString PromptOf(int command)
{
    if (command >= cmd::FileMruFirst && command < cmd::FileMruFirst + 4)
        return kRecentPrompt;
    for (const TCommandPrompt& entry : kCommandPrompts)
        if (entry.command == command)
            return entry.prompt;
    return {};
}

// What the commands' states depend on.
struct TProjectUiState {
    bool hasWorkSet = false;
    bool workSetHasMaps = false;
    bool recording = false;
    bool canUndo = false;
    bool canRedo = false;
    bool folderWritable = true;
    int mapColormap = -1;
    int mapOpacity = -1;
};

TProjectUiState UiStateOf(const TProject* project)
{
    TProjectUiState state;
    if (!project)
        return state;
    state.hasWorkSet = project->m_pWorkSet != nullptr;
    state.workSetHasMaps = state.hasWorkSet && project->m_pWorkSet->HasMaps();
    state.recording = project->m_bRecording;
    state.folderWritable = project->FolderCanBeWritten();
    const TProcessingHooks& hooks = ProcessingHooks();
    if (project->m_history) {
        state.canUndo = hooks.cannotUndo && !hooks.cannotUndo(project->m_history);
        state.canRedo = hooks.canRedo && hooks.canRedo(project->m_history);
    }
    state.mapColormap = project->m_nMapColormap;
    state.mapOpacity = project->m_nMapOpacity;
    return state;
}

// Every image frame repaints the voxel's cell.
void RedrawVoxel(const TSpectrum* voxel)
{
    if (g_pProject)
        g_pProject->RedrawVoxel(voxel->m_nX, voxel->m_nY, voxel->m_nZ);
}
}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle("Vexara");
    // Child windows without an icon of their own show the program's.
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(vx::app::ToolIcon(cmd::ModeSelectVoxel));
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    m_mdiArea->viewport()->installEventFilter(this);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::UpdateCommandStates);
    m_singleVoxelWnds.SetMDIParent(this);
    m_estimateWnds.SetMDIParent(this);
    m_averageWnds.SetMDIParent(this);
    m_analysisWnds.SetMDIParent(this);
    resize(1024, 768);
}

CMainFrame::~CMainFrame()
{
    // The base class hides and deletes the MDI children after this object is gone;
    // none of their signals may reach it any more.
    m_bLoaded = false;
    m_mdiArea->viewport()->removeEventFilter(this);
    m_mdiArea->disconnect(this);
    if (m_pInfoFrame)
        m_pInfoFrame->disconnect(this);
    CloseAllChildWindows();
    // Image windows call back into this frame when they go: they go while its lists exist.
    for (QMdiSubWindow* window : m_mdiArea->subWindowList())
        if (qobject_cast<CChildFrame*>(window))
            delete window;
    // A project that outlives this frame no longer calls it, nor parents windows to it.
    if (g_pProject && g_pProject->m_pMainFrame == this) {
        g_pProject->m_pMainFrame = nullptr;
        if (g_pProject->m_frameList)
            g_pProject->m_frameList->SetMDIParent(nullptr);
    }
}

QAction* CMainFrame::MakeAction(int command, const QString& text, bool checkable)
{
    auto* action = new QAction(text, this);
    action->setCheckable(checkable);
    action->setStatusTip(PromptOf(command));
    const QIcon icon = vx::app::ToolIcon(command);
    if (!icon.isNull())
        action->setIcon(icon);
    // The states depend on what the command did; refresh them once it has run.
    connect(action, &QAction::triggered, this, &CMainFrame::UpdateCommandStates, Qt::QueuedConnection);
    m_actions.insert(command, action);
    return action;
}

bool CMainFrame::LoadFrame()
{
    if (m_bLoaded)
        return true;
    if (!CreateMenus() || !CreateToolBars() || !CreateCorrectionBar())
        return false;
    CreateStatusBar();
    // A toolbar the user floats is a window of its own, where its prompts would stop.
    for (QToolBar* bar : ToolBars())
        vx::app::ForwardPrompts(*bar, this);
    ConnectCommands();
    ConnectProjectCommands();
    ConnectImageCommands();
    m_bLoaded = true;
    UpdateCommandStates();
    return true;
}

bool CMainFrame::CreateMenus()
{
    QMenuBar* bar = menuBar();

    m_fileMenu = bar->addMenu("&File");
    m_fileMenu->addAction(MakeAction(cmd::FileNewProject, "&New Project"));
    m_fileMenu->addAction(MakeAction(cmd::FileOpenProject, "&Open Project..."));
    m_fileMenu->addAction(MakeAction(cmd::FileSaveProject, "&Save Project"));
    m_fileMenu->addAction(MakeAction(cmd::FileSaveProjectAs, "Save Project &As..."));
    m_fileMenu->addAction(MakeAction(cmd::FileSaveProjectDeidentified, "Save Project De-identified"));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(MakeAction(cmd::FilePrint, "Print..."));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(MakeAction(cmd::FileBatchProcessing, "&Batch Processing..."));
    m_recentSeparator = m_fileMenu->addSeparator();
    m_recentSeparator->setVisible(false);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(MakeAction(cmd::FileExit, "E&xit"));
    SetCommandHandler(cmd::FileExit, [this] { close(); });
    Action(cmd::FileNewProject)->setShortcut(QKeySequence::New);
    Action(cmd::FileOpenProject)->setShortcut(QKeySequence::Open);
    Action(cmd::FileSaveProject)->setShortcut(QKeySequence::Save);
    Action(cmd::FilePrint)->setShortcut(QKeySequence::Print);

    QMenu* edit = bar->addMenu("&Edit");
    edit->addAction(MakeAction(cmd::EditUndo, "&Undo"));
    edit->addAction(MakeAction(cmd::EditRedo, "&Redo"));
    edit->addAction(MakeAction(cmd::EditClearAll, "Clear all"));
    edit->addSeparator();
    edit->addAction(MakeAction(cmd::EditCopy, "&Copy"));
    Action(cmd::EditUndo)->setShortcut(QKeySequence::Undo);
    Action(cmd::EditRedo)->setShortcut(QKeySequence::Redo);
    Action(cmd::EditCopy)->setShortcuts({QKeySequence::Copy, QKeySequence(Qt::CTRL | Qt::Key_Insert)});

    QMenu* view = bar->addMenu("&View");
    QAction* toolbar = MakeAction(cmd::ViewToolbar, "&Toolbar", true);
    QAction* status = MakeAction(cmd::ViewStatusBar, "&Status Bar", true);
    view->addAction(toolbar);
    view->addAction(status);
    view->addAction(MakeAction(cmd::ViewProjectExplorer, "Project Explorer", true));
    SetCommandHandler(cmd::ViewToolbar, [this] {
        if (m_wndStandardBar)
            m_wndStandardBar->setVisible(Action(cmd::ViewToolbar)->isChecked());
    });
    SetCommandHandler(cmd::ViewStatusBar, [this] { statusBar()->setVisible(Action(cmd::ViewStatusBar)->isChecked()); });
    SetCommandHandler(cmd::ViewProjectExplorer, [this] {
        if (m_pPrjExpFrame && m_pPrjExpFrame->isVisible())
            m_pPrjExpFrame->hide();
        else
            ShowProjectExplorer();
    });

    QMenu* project = bar->addMenu("&Project");
    project->addAction(MakeAction(cmd::ProjectAddExam, "Add &Exam..."));
    project->addAction(MakeAction(cmd::ProjectAddImages, "Add I&mages..."));
    project->addAction(MakeAction(cmd::ProjectAddCSISet, "Add &CSI Set..."));
    project->addAction(MakeAction(cmd::ProjectViewSlice, "&View Slice..."));
    project->addSeparator();
    project->addAction(MakeAction(cmd::ProjectCloseImages, "Close Images"));
    project->addAction(MakeAction(cmd::ProjectCloseVoxelWindows, "Close Voxel Windows"));
    project->addSeparator();
    project->addAction(MakeAction(cmd::ProjectInformation, "&Information"));
    project->addAction(MakeAction(cmd::ProjectOptions, "&Options..."));
    SetCommandHandler(cmd::ProjectInformation, [this] { OnProjectInformation(); });
    SetCommandHandler(cmd::ProjectOptions, [this] { OnProjectOptions(); });
    SetCommandHandler(cmd::ProjectCloseVoxelWindows, [this] {
        CloseVoxelWindows();
        CloseRegionWindows();
    });

    QMenu* map = bar->addMenu("&Map");
    QMenu* colour = map->addMenu("Color");
    colour->menuAction()->setStatusTip("Choose the colour table of the maps");
    auto* colours = new QActionGroup(this);
    const char* colourNames[] = {"Gray", "Hot", "Cool", "Jet"};
    for (int k = 0; k < 4; ++k)
        colour->addAction(colours->addAction(MakeAction(cmd::MapGray + k, colourNames[k], true)));
    QMenu* opacity = map->addMenu("Opacity");
    opacity->menuAction()->setStatusTip("Choose how strongly the maps cover the images");
    auto* opacities = new QActionGroup(this);
    const char* opacityNames[] = {"High (70%)", "Medium (50%)", "Low (30%)"};
    for (int k = 0; k < 3; ++k)
        opacity->addAction(opacities->addAction(MakeAction(cmd::MapOpacityHigh + k, opacityNames[k], true)));
    map->addAction(MakeAction(cmd::MapResize, "Resize..."));
    map->addAction(MakeAction(cmd::MapRemove, "Remove map..."));
    map->addAction(MakeAction(cmd::MapSaveAsTxt, "Save as Txt..."));

    QMenu* macro = bar->addMenu("Ma&cro");
    macro->addAction(MakeAction(cmd::MacroStartRecording, "Start recording"));
    macro->addAction(MakeAction(cmd::MacroEndRecording, "End recording"));
    macro->addAction(MakeAction(cmd::MacroPauseRecording, "Pause macro recording"));
    macro->addSeparator();
    macro->addAction(MakeAction(cmd::MacroLoad, "Load macro..."));
    macro->addAction(MakeAction(cmd::MacroSave, "Save macro..."));

    QMenu* exchange = bar->addMenu("E&xport/Import");
    exchange->addAction(MakeAction(cmd::ExportVoxels, "Export voxels to text file"));
    exchange->addAction(MakeAction(cmd::ExportSelectionMask, "Export voxel selection mask"));
    exchange->addAction(MakeAction(cmd::ExportKSpaceMask, "Export k-space sample mask"));
    exchange->addSeparator();
    exchange->addAction(MakeAction(cmd::ImportSelectionMask, "Import voxel selection mask"));

    QMenu* window = bar->addMenu("&Window");
    window->addAction("&Cascade", this, [this] { vx::app::CascadeWindows(m_mdiArea); })
        ->setStatusTip("Arrange the windows one behind the other with every title in view");
    window->addAction("&Tile", this, [this] { vx::app::TileWindows(m_mdiArea); })
        ->setStatusTip("Arrange the windows side by side");

    QMenu* help = bar->addMenu("&Help");
    help->addAction(MakeAction(cmd::HelpTopics, "&Help Topics..."));
    help->addSeparator();
    help->addAction(MakeAction(cmd::AppAbout, "&About Vexara..."));
    Action(cmd::HelpTopics)->setShortcut(QKeySequence::HelpContents);

    // Commands that live on toolbars only, named by their prompts.
    for (int command : {cmd::SurfaceCoilNormalization, cmd::FirstImage, cmd::PreviousImage, cmd::NextImage,
                        cmd::LastImage, cmd::ResetMapScale, cmd::RunSpectralEstimation, cmd::ClearRegionEstimates})
        MakeAction(command, PromptOf(command));
    // Autoscale and the User Draw Toolbar's shapes are check boxes; that bar is made on first use.
    for (int command : {cmd::AutoscaleImages, cmd::DrawRectangle, cmd::DrawEllipse, cmd::DrawPolygon})
        MakeAction(command, PromptOf(command), true);
    connect(Action(cmd::AutoscaleImages), &QAction::toggled, this, [this](bool on) { m_bAutoscaleImages = on; });

    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
        vx::app::PromptDisabledEntries(*menu);
    }
    return true;
}

bool CMainFrame::CreateToolBars()
{
    auto makeBar = [this](const QString& title, const QString& name) {
        auto* bar = new QToolBar(title, this);
        bar->setObjectName(name);
        bar->setIconSize(QSize(24, 24));
        return bar;
    };

    m_wndStandardBar = makeBar("Standard", "StandardBar");
    for (int command : {cmd::FileNewProject, cmd::FileOpenProject, cmd::FileSaveProject})
        m_wndStandardBar->addAction(Action(command));
    m_wndStandardBar->addSeparator();
    m_wndStandardBar->addAction(Action(cmd::EditCopy));
    m_wndStandardBar->addAction(Action(cmd::FilePrint));
    m_wndStandardBar->addSeparator();
    m_wndStandardBar->addAction(Action(cmd::EditUndo));
    m_wndStandardBar->addAction(Action(cmd::EditRedo));
    m_wndStandardBar->addSeparator();
    m_wndStandardBar->addAction(Action(cmd::AppAbout));
    // Undo and Redo carry drop-down arrows; their lists are filled when opened.
    for (int command : {cmd::EditUndo, cmd::EditRedo}) {
        auto* button = qobject_cast<QToolButton*>(m_wndStandardBar->widgetForAction(Action(command)));
        if (!button)
            return false;
        button->setMenu(new QMenu(button));
        button->setPopupMode(QToolButton::MenuButtonPopup);
    }
    addToolBar(Qt::TopToolBarArea, m_wndStandardBar);

    m_wndNavigatorBar = makeBar("Image Navigator", "NavigatorBar");
    for (int command : {cmd::FirstImage, cmd::PreviousImage, cmd::NextImage, cmd::LastImage})
        m_wndNavigatorBar->addAction(Action(command));
    addToolBar(Qt::TopToolBarArea, m_wndNavigatorBar);

    m_wndProjectBar = makeBar("Project Toolbar", "ProjectBar");
    for (int command : {cmd::ProjectAddImages, cmd::ProjectAddCSISet, cmd::ProjectViewSlice,
                        cmd::ProjectInformation, cmd::ViewProjectExplorer, cmd::SurfaceCoilNormalization})
        m_wndProjectBar->addAction(Action(command));
    addToolBar(Qt::TopToolBarArea, m_wndProjectBar);

    m_wndMacroBar = makeBar("Macro Toolbar", "MacroBar");
    for (int command : {cmd::MacroStartRecording, cmd::MacroEndRecording, cmd::MacroPauseRecording,
                        cmd::MacroLoad, cmd::MacroSave})
        m_wndMacroBar->addAction(Action(command));
    addToolBar(Qt::TopToolBarArea, m_wndMacroBar);

    m_wndWorkModeBar = makeBar("Work mode Toolbar", "WorkModeBar");
    m_workModes = new QActionGroup(this);
    for (int mode : cmd::kWorkModes) {
        QAction* action = MakeAction(mode, PromptOf(mode), true);
        action->setToolTip(action->statusTip());
        m_workModes->addAction(action);
        m_wndWorkModeBar->addAction(action);
    }
    m_wndWorkModeBar->addSeparator();
    for (int command : {cmd::ShowGrid, cmd::ShowSpectra})
        m_wndWorkModeBar->addAction(MakeAction(command, PromptOf(command), true));
    m_wndWorkModeBar->addSeparator();
    m_displayParts = new QActionGroup(this);
    for (int command : {cmd::DisplayReal, cmd::DisplayImaginary, cmd::DisplayMagnitude}) {
        QAction* action = MakeAction(command, PromptOf(command), true);
        m_displayParts->addAction(action);
        m_wndWorkModeBar->addAction(action);
    }
    addToolBar(Qt::LeftToolBarArea, m_wndWorkModeBar);
    ResetWorkMode();

    // The windowing toolbar docks only at the top or the bottom, on a row of its own.
    m_wndWindowingBar = new CWindowingToolBar(this, Action(cmd::AutoscaleImages), Action(cmd::ResetMapScale));
    m_wndWindowingBar->setIconSize(QSize(24, 24));
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, m_wndWindowingBar);
    return true;
}

bool CMainFrame::CreateCorrectionBar()
{
    m_wndCorrectionBar = new QDockWidget("Image Correction Toolbar", this);
    m_wndCorrectionBar->setObjectName("CorrectionBar");
    m_wndCorrectionBar->setAllowedAreas(Qt::NoDockWidgetArea);
    m_wndCorrectionBar->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    auto addEdit = [&](const char* label, const char* name) {
        layout->addWidget(new QLabel(label));
        auto* edit = new QLineEdit;
        edit->setObjectName(name);
        layout->addWidget(edit);
    };
    addEdit("LineWidth", "LineWidthEdit");
    addEdit("Threshold", "ThresholdEdit");
    auto* apply = new QPushButton("Apply");
    apply->setObjectName("ApplyButton");
    auto* smooth = new QPushButton("Smooth");
    smooth->setObjectName("SmoothButton");
    layout->addWidget(apply);
    layout->addWidget(smooth);
    m_wndCorrectionBar->setWidget(body);
    addDockWidget(Qt::LeftDockWidgetArea, m_wndCorrectionBar);
    m_wndCorrectionBar->setFloating(true);
    m_wndCorrectionBar->move(pos() + QPoint(50, 80));
    m_wndCorrectionBar->hide();
    return true;
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(indicator);
        // Qt cannot read the lock keys' states on every platform; the panes stay greyed.
        label->setEnabled(false);
        bar->addPermanentWidget(label);
    }
    // The idle text is a normal widget of the bar: a menu's or a button's prompt hides
    // it only while that prompt is shown.
    auto* idle = new QLabel("Ready");
    idle->setObjectName("IdleText");
    bar->addWidget(idle, 1);
}

QList<QToolBar*> CMainFrame::ToolBars() const
{
    return {m_wndStandardBar, m_wndNavigatorBar, m_wndProjectBar,
            m_wndMacroBar,    m_wndWorkModeBar,  m_wndWindowingBar};
}

void CMainFrame::ResetWorkMode()
{
    if (!m_workModes)
        return;
    for (int command : cmd::kWorkModes)
        Action(command)->setChecked(command == cmd::ModeSelectVoxel);
    if (m_pUserDrawBar)
        m_pUserDrawBar->hide();
    Action(cmd::ShowGrid)->setChecked(true);
    Action(cmd::ShowSpectra)->setChecked(true);
    Action(cmd::DisplayReal)->setChecked(true);
}

QRect CMainFrame::ClientRect() const
{
    return m_mdiArea->viewport()->rect();
}

// ---- project explorer and information window -------------------------------------------

void CMainFrame::ResetProjectExplorer()
{
    if (m_pPrjExpFrame)
        m_pPrjExpFrame->ResetTree();
    // The windowing bar keeps its values while no image window is active, but not those of
    // a project that goes.
    if (m_wndWindowingBar)
        m_wndWindowingBar->ClearWindowing();
}

void CMainFrame::ShowProjectExplorer()
{
    if (!m_pPrjExpFrame) {
        m_pPrjExpFrame = vx::app::MakeExplorerFrame(this);
        if (!m_pPrjExpFrame)
            return;
        m_pPrjExpFrame->setWindowTitle("New Project");
        m_pPrjExpFrame->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                       Qt::WindowCloseButtonHint);
        m_mdiArea->addSubWindow(m_pPrjExpFrame);
        // The toolbar button follows the window when its close box hides it.
        connect(m_pPrjExpFrame, &CExplorerFrameBase::Hidden, this, &CMainFrame::UpdateCommandStates);
        const QRect client = ClientRect();
        const int right = client.right() + 1;
        m_pPrjExpFrame->setGeometry(QRect(QPoint(right - kRightGap - CExplorerFrameBase::kOpenSize.width(), 3),
                                          CExplorerFrameBase::kOpenSize));
    }
    m_pPrjExpFrame->RefreshTree();
    m_pPrjExpFrame->show();
    UpdateCommandStates();
}

void CMainFrame::RemoveCSISetItem(TCSISet* pSet)
{
    if (m_pPrjExpFrame)
        m_pPrjExpFrame->RemoveCSISetItem(pSet);
}

void CMainFrame::OnProjectInformation()
{
    if (!m_pInfoFrame) {
        m_pInfoFrame = vx::app::MakeInfoFrame(this);
        if (!m_pInfoFrame)
            return;
        m_pInfoFrame->setWindowTitle("Info");
        m_pInfoFrame->setAttribute(Qt::WA_ShowWithoutActivating);
        m_mdiArea->addSubWindow(m_pInfoFrame);
        m_pInfoFrame->adjustSize();
        m_pInfoFrame->move(0, ClientRect().bottom() + 1 - kBottomGap - m_pInfoFrame->height());
        connect(m_pInfoFrame, &CInfoFrameBase::Hidden, this, &CMainFrame::UpdateCommandStates);
    }
    RefreshInfoFrame();
    if (!m_pInfoFrame->isVisible())
        m_pInfoFrame->show();
    UpdateCommandStates();
}

void CMainFrame::HideInfoFrame()
{
    if (m_pInfoFrame)
        m_pInfoFrame->hide();
    UpdateCommandStates();
}

void CMainFrame::RefreshInfoFrame()
{
    if (m_pInfoFrame)
        m_pInfoFrame->UpdateFrom(g_pProject, ActiveImageFrame());
}

IInfoFrame* CMainFrame::GetInfoFrame()
{
    return m_pInfoFrame;
}

std::unique_ptr<IImageFrameList> CMainFrame::CreateImageFrameList()
{
    return vx::app::MakeImageFrameList(this);
}

void CMainFrame::SetProjectOpen(bool open)
{
    m_bProjectOpen = open;
    // The explorer shown last would stay active, leaving the bars that follow the active
    // image blank until a click: the image window in front becomes the active window.
    if (open && !ActiveImageFrame()) {
        const QList<QMdiSubWindow*> windows = m_mdiArea->subWindowList(QMdiArea::StackingOrder);
        for (auto it = windows.crbegin(); it != windows.crend(); ++it)
            if (vx::app::ImageFrameOf(*it)) {
                m_mdiArea->setActiveSubWindow(*it);
                break;
            }
    }
    // The information window shows what belonged to the project before.
    RefreshInfoFrame();
    UpdateCommandStates();
    for (QToolBar* bar : {m_wndStandardBar, m_wndNavigatorBar, m_wndWorkModeBar, m_wndProjectBar, m_wndMacroBar})
        if (bar)
            bar->update();
    update();
}

CChildFrame* CMainFrame::ActiveImageFrame() const
{
    return vx::app::ImageFrameOf(m_mdiArea->currentSubWindow());
}

// ---- child-window lists ----------------------------------------------------------------

void CMainFrame::OpenAnalysisWindow(TAnalysis* analysis)
{
    if (auto* window = static_cast<CAnalysisWindowBase*>(m_analysisWnds.GetFirst())) {
        window->SetAnalysis(analysis);
        window->UpdateViews(1, 0, 0);
        window->show();
        m_mdiArea->setActiveSubWindow(window);
        window->setFocus();
        return;
    }
    m_analysisWnds.OpenNew(analysis);
}

void CMainFrame::OpenVoxelWindow(TSpectrum* voxel, TMouseEvent event, CChildFrame* frame)
{
    if (!voxel)
        return;
    if (event.m_nKeys & TMouseEvent::kCtrl) {
        m_singleVoxelWnds.ShowVoxelWindow(voxel, CVoxelWindowBase::kSingleVoxel, false, false, frame, nullptr);
        RedrawVoxel(voxel);
    } else if (event.m_nKeys & TMouseEvent::kShift) {
        m_singleVoxelWnds.ShowVoxelWindow(voxel, CVoxelWindowBase::kSingleVoxel, true, false, frame, nullptr);
        RedrawVoxel(voxel);
    } else {
        m_singleVoxelWnds.ShowVoxelWindow(voxel, CVoxelWindowBase::kSingleVoxel, false, true, frame, nullptr);
        voxel->m_bMark = 1;  // the current voxel
        vx::app::SyncSlicesToVoxel(frame, voxel);
        RedrawVoxel(voxel);
        if (g_pProject)
            g_pProject->UpdateFrames(false, false, false, false, true);
    }
    UpdateCommandStates();
}

void CMainFrame::OpenAverageWindow(TSpectrum* voxel, TMouseEvent event)
{
    const bool newWindow = (event.m_nKeys & (TMouseEvent::kShift | TMouseEvent::kCtrl)) == 0;
    m_averageWnds.ShowVoxelWindow(voxel, CVoxelWindowBase::kAverageVoxel, newWindow, false, ActiveImageFrame(),
                                  nullptr);
    UpdateCommandStates();
}

void CMainFrame::OpenRegionEstimateWindow(TRegionEstimate* estimate)
{
    m_estimateWnds.ShowVoxelWindow(vx::app::EstimateSpectrum(estimate), CVoxelWindowBase::kEstimatedVoxel,
                                   true, false, nullptr, estimate);
    UpdateCommandStates();
}

void CMainFrame::CloseVoxelWindows()
{
    m_singleVoxelWnds.DestroyAll();
    m_averageWnds.DestroyAll();
}

void CMainFrame::RefreshVoxelWindows()
{
    m_singleVoxelWnds.RefreshAll();
    m_averageWnds.RefreshAll();
}

void CMainFrame::CloseRegionWindows()
{
    m_estimateWnds.DestroyAll();
}

void CMainFrame::RefreshRegionWindows()
{
    m_estimateWnds.RefreshAll();
}

void CMainFrame::CloseAllChildWindows()
{
    m_analysisWnds.DestroyAll();
    m_singleVoxelWnds.DestroyAll();
    m_averageWnds.DestroyAll();
    m_estimateWnds.DestroyAll();
}

void CMainFrame::CloseVoxelWindowsOfFrame(CChildFrame* frame)
{
    const int count = m_singleVoxelWnds.GetCount();
    for (int k = 0; k < count; ++k) {
        auto* window = static_cast<CVoxelWindowBase*>(m_singleVoxelWnds.PopFront());
        if (window->GetChildFrame() == frame) {
            window->DetachFromList();
            delete window;
        } else {
            m_singleVoxelWnds.Add(window);
        }
    }
    // The averaged and estimate windows stay, no longer tied to an image window.
    m_averageWnds.ForgetFrame(frame);
    m_estimateWnds.ForgetFrame(frame);
}

void CMainFrame::SetSpectrumDisplay(const TSpectrumDisplayParams& display)
{
    m_singleVoxelWnds.SetDisplayAll(display);
    m_averageWnds.SetDisplayAll(display);
    m_estimateWnds.SetDisplayAll(display);
}

void CMainFrame::UpdateAnalysisWindows(int a, int b)
{
    m_analysisWnds.UpdateAll(a, b);
}

void CMainFrame::SetAnalysisWindowsUnit(int unit)
{
    m_analysisWnds.SetUnit(unit);
}

// ---- layout, commands, closing ---------------------------------------------------------

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_mdiArea->viewport() && event->type() == QEvent::Resize)
        LayOutClient();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::LayOutClient()
{
    const QRect client = ClientRect();
    const int right = client.right() + 1;
    const int bottom = client.bottom() + 1;
    if (m_pPrjExpFrame)
        m_pPrjExpFrame->move(right - kRightGap - m_pPrjExpFrame->width(), client.top());
    if (!m_bProjectOpen)
        return;
    if (CListedWindow* first = m_singleVoxelWnds.GetFirst())
        first->move(right - kRightGap - first->width(), bottom - kBottomGap - first->height());
    if (m_pInfoFrame)
        m_pInfoFrame->move(client.left(), bottom - kBottomGap - m_pInfoFrame->height());
}

void CMainFrame::UpdateCommandStates()
{
    if (!m_bLoaded)
        return;
    const bool project = g_pProject != nullptr;
    const TProjectUiState state = UiStateOf(g_pProject);
    const bool workSet = project && state.hasWorkSet;
    const bool maps = workSet && state.workSetHasMaps;
    const bool imageFrame = ActiveImageFrame() != nullptr;
    auto enable = [this](int command, bool on) {
        if (QAction* action = Action(command))
            action->setEnabled(on);
    };
    // Commands that depend on nothing are offered once something handles them.
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it)
        it.value()->setEnabled(m_handledCommands.contains(it.key()));

    // A project whose folder cannot be written is kept through Save Project As only.
    const bool writable = project && state.folderWritable;
    enable(cmd::FileSaveProject, m_bProjectOpen && (!project || writable));
    // These two live in the menu that exists only while a project is shown.
    enable(cmd::FileSaveProjectAs, project);
    enable(cmd::FileSaveProjectDeidentified, writable);
    enable(cmd::FilePrint, imageFrame);
    enable(cmd::EditCopy, imageFrame || qobject_cast<CVoxelWindowBase*>(m_mdiArea->currentSubWindow()));
    for (int command : {cmd::FirstImage, cmd::PreviousImage, cmd::NextImage, cmd::LastImage, cmd::ResetMapScale})
        enable(command, imageFrame);

    // Commands that work on the project are offered only while one is open, and those
    // whose dialog another part of the program provides only once it is there.
    enable(cmd::ProjectAddExam, writable && vx::app::GetAddExamDialog());
    enable(cmd::ProjectViewSlice, workSet && vx::app::GetViewSliceDialog());
    enable(cmd::FileBatchProcessing, static_cast<bool>(vx::app::GetBatchDialog()));
    enable(cmd::ProjectAddImages, writable);
    enable(cmd::ProjectAddCSISet, writable);
    for (int command : {cmd::FileSaveProject, cmd::FileSaveProjectDeidentified, cmd::ProjectAddExam,
                        cmd::ProjectAddImages, cmd::ProjectAddCSISet, cmd::MapRemove})
        Action(command)->setStatusTip(FolderChangePrompt(PromptOf(command)));
    enable(cmd::ProjectCloseImages, project);
    enable(cmd::ClearRegionEstimates, project);
    enable(cmd::ProjectInformation, project && !(m_pInfoFrame && m_pInfoFrame->isVisible()));
    enable(cmd::SurfaceCoilNormalization, project);

    for (int k = 0; k < 4; ++k) {
        enable(cmd::MapGray + k, project);
        Action(cmd::MapGray + k)->setChecked(project && state.mapColormap == k);
    }
    for (int k = 0; k < 3; ++k) {
        enable(cmd::MapOpacityHigh + k, project);
        Action(cmd::MapOpacityHigh + k)->setChecked(project && state.mapOpacity == k);
    }
    enable(cmd::MapResize, maps);
    enable(cmd::MapRemove, maps && writable);
    enable(cmd::MapSaveAsTxt, maps);

    enable(cmd::MacroStartRecording, workSet && !state.recording);
    enable(cmd::MacroEndRecording, workSet && state.recording);
    enable(cmd::MacroPauseRecording, workSet && state.recording);
    // A macro file can be run only once the program can make its steps.
    enable(cmd::MacroLoad, workSet && ProcessingHooks().newMacroStep != nullptr);
    enable(cmd::MacroSave, workSet);
    for (int command : {cmd::ExportVoxels, cmd::ExportSelectionMask, cmd::ExportKSpaceMask, cmd::ImportSelectionMask})
        enable(command, workSet);

    enable(cmd::EditUndo, project && state.canUndo);
    enable(cmd::EditRedo, project && state.canRedo);
    enable(cmd::EditClearAll, project && state.canUndo);

    // Recent projects open only once the application listens for them.
    const bool recentOpens = isSignalConnected(QMetaMethod::fromSignal(&CMainFrame::RecentFileChosen));
    for (QAction* action : m_recentActions)
        action->setEnabled(recentOpens);
    // A command nobody handles is never offered.
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it)
        if (!m_handledCommands.contains(it.key()))
            it.value()->setEnabled(false);

    Action(cmd::ViewToolbar)->setChecked(m_wndStandardBar && !m_wndStandardBar->isHidden());
    Action(cmd::ViewStatusBar)->setChecked(!statusBar()->isHidden());
    Action(cmd::ViewProjectExplorer)->setChecked(m_pPrjExpFrame && m_pPrjExpFrame->isVisible());
    // The windowing toolbar follows the active image window.
    m_wndWindowingBar->FollowActiveImage();
}

QString CMainFrame::FolderChangePrompt(const QString& prompt)
{
    const std::string why = g_pProject ? g_pProject->WhyFolderCannotBeWritten() : std::string();
    if (why.empty())
        return prompt;
    return prompt + ". Not offered: no change of the project can be written, because " + QString::fromStdString(why) +
           ".";
}

void CMainFrame::connectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&CMainFrame::RecentFileChosen))
        UpdateCommandStates();
}

void CMainFrame::disconnectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&CMainFrame::RecentFileChosen))
        UpdateCommandStates();
}

void CMainFrame::SetRecentFiles(const QStringList& paths)
{
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        m_handledCommands.remove(m_actions.key(action));
        m_actions.remove(m_actions.key(action));
        action->deleteLater();
    }
    m_recentActions.clear();
    for (int k = 0; k < paths.size(); ++k) {
        // Full paths, except that a project in the program's current folder shows its name.
        const std::string path = paths[k].toStdString();
        const bool here = vx::FolderOf(path) == vx::CurrentFolder();
        const QString shown = here ? QString::fromStdString(vx::FileNameOf(path)) : paths[k];
        QAction* action = MakeAction(cmd::FileMruFirst + k, QString("&%1 %2").arg(k + 1).arg(shown));
        SetCommandHandler(cmd::FileMruFirst + k, [this, k] { emit RecentFileChosen(k); });
        m_fileMenu->insertAction(m_recentSeparator, action);
        m_recentActions.append(action);
    }
    m_recentSeparator->setVisible(!paths.isEmpty());
    UpdateCommandStates();
}

void CMainFrame::OnProjectOptions()
{
    CVexaraApp* app = CVexaraApp::Instance();
    if (!app)
        return;
    COptionsDlg dialog(this);
    int before[COptionsDlg::kSettingCount];
    for (int k = 0; k < COptionsDlg::kSettingCount; ++k) {
        before[k] = app->GetSetting(k) != 0 ? 1 : 0;
        dialog.SetChecked(k, before[k] != 0);
    }
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    bool changed[COptionsDlg::kSettingCount] = {};
    for (int k = 0; k < COptionsDlg::kSettingCount; ++k) {
        const int now = dialog.IsChecked(k) ? 1 : 0;
        if (now != before[k]) {
            app->SetSetting(k, now);
            changed[k] = true;
        }
    }
    if (changed[0]) {
        RefreshVoxelWindows();
        RefreshRegionWindows();
    }
    if (changed[1])
        UpdateAnalysisWindows(0, 0);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (vx::Ask("Are you sure you want to exit?", vx::ReportButtons::YesNo, vx::ReportAnswer::No,
                vx::ReportIcon::Question) != vx::ReportAnswer::Yes) {
        event->ignore();
        return;
    }
    // A save that failed has been reported; closing now would drop the only copy of
    // the changes, so the window stays and the next exit question offers the save again.
    if (g_pProject && !g_pProject->SaveIfModified()) {
        event->ignore();
        return;
    }
    CloseAllChildWindows();
    event->accept();
    emit Closed();
}
