#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QLabel>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <map>

#include "app/CExplorerFrameBase.h"
#include "app/CInfoFrameBase.h"
#include "app/CommandIds.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "support/GuiMenu.h"
#include "support/ScriptedReport.h"
#include "FakeShell.h"

using namespace vx::test;

namespace {

using Ids = std::vector<int>;

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vx::ResetGlobals();
        TVoxelWndList::ResetCascade();
        ASSERT_TRUE(frame.LoadFrame());
        frame.resize(1280, 960);
        frame.show();
        QApplication::processEvents();
        client = frame.MdiArea()->viewport()->rect();
    }
    void TearDown() override
    {
        if (project) {
            project->m_pWorkSet = nullptr;
            project->m_history = nullptr;
        }
        project.reset();
        vx::ResetGlobals();
        InstallProcessingHooks({});
    }

    // An open project the way the shell has it after a successful load.
    TProject* OpenProject()
    {
        project = std::make_unique<TProject>(&frame);
        g_pProject = project.get();
        frame.SetProjectOpen(true);
        return project.get();
    }

    bool Checked(int command) { return frame.Action(command)->isChecked(); }
    bool Enabled(int command) { return frame.Action(command)->isEnabled(); }
    // The commands of the list that are enabled, or checked, in list order.
    Ids Live(const Ids& commands) { return Having(commands, &MainFrameTest::Enabled); }
    Ids Ticked(const Ids& commands) { return Having(commands, &MainFrameTest::Checked); }
    Ids Having(const Ids& commands, bool (MainFrameTest::*state)(int))
    {
        Ids out;
        for (int command : commands)
            if ((this->*state)(command))
                out.push_back(command);
        return out;
    }
    TMouseEvent Keys(int keys)
    {
        TMouseEvent e;
        e.m_nKeys = keys;
        return e;
    }

    TShellRecorder shell;
    TFakeWindowFactories windows;
    CMainFrame frame;
    std::unique_ptr<TProject> project;  // goes before the frame it calls
    QRect client;
};

TEST_F(MainFrameTest, ToolbarsCarryTheirTitlesAndTheCorrectionBarFloatsHidden)
{
    QStringList titles;
    for (QToolBar* bar : frame.ToolBars()) {
        ASSERT_NE(bar, nullptr);
        titles << bar->windowTitle();
    }
    EXPECT_EQ(titles, QStringList({"Standard", "Image Navigator", "Project Toolbar", "Macro Toolbar",
                                   "Work mode Toolbar", "Image Windowing ToolBar"}));
    EXPECT_EQ(frame.toolBarArea(frame.ToolBars()[4]), Qt::LeftToolBarArea);
    for (int k : {0, 1, 2, 3, 5})
        EXPECT_EQ(frame.toolBarArea(frame.ToolBars()[k]), Qt::TopToolBarArea) << k;
    EXPECT_TRUE(frame.ToolBars()[5]->isAreaAllowed(Qt::BottomToolBarArea));
    EXPECT_FALSE(frame.ToolBars()[5]->isAreaAllowed(Qt::LeftToolBarArea));

    QDockWidget* correction = frame.CorrectionBar();
    ASSERT_NE(correction, nullptr);
    EXPECT_EQ(correction->windowTitle(), "Image Correction Toolbar");
    EXPECT_TRUE(correction->isFloating());
    EXPECT_FALSE(correction->isVisible());
    EXPECT_EQ(correction->allowedAreas(), Qt::NoDockWidgetArea);

    // View > Toolbar shows and hides the Standard bar.
    frame.Action(cmd::ViewToolbar)->trigger();
    EXPECT_FALSE(frame.StandardBar()->isVisible());
    frame.Action(cmd::ViewToolbar)->trigger();
    EXPECT_TRUE(frame.StandardBar()->isVisible());
}

TEST_F(MainFrameTest, WorkModeBarStartsInSelectVoxelWithGridSpectraAndRealPart)
{
    EXPECT_EQ(Ticked(Ids(std::begin(cmd::kWorkModes), std::end(cmd::kWorkModes))), Ids({cmd::ModeSelectVoxel}));
    EXPECT_EQ(Ticked({cmd::ShowGrid, cmd::ShowSpectra, cmd::DisplayReal, cmd::DisplayImaginary, cmd::DisplayMagnitude}),
              Ids({cmd::ShowGrid, cmd::ShowSpectra, cmd::DisplayReal}));
    EXPECT_EQ(frame.Action(cmd::ModeZoomIn)->toolTip(), "Zoom in ");

    // The modes and the three parts are radio groups; ResetWorkMode puts everything back.
    frame.Action(cmd::ModeZoomIn)->trigger();
    frame.Action(cmd::DisplayMagnitude)->trigger();
    frame.Action(cmd::ShowGrid)->trigger();
    const Ids watched = {cmd::ModeSelectVoxel, cmd::ModeZoomIn, cmd::ShowGrid, cmd::DisplayReal, cmd::DisplayMagnitude};
    EXPECT_EQ(Ticked(watched), Ids({cmd::ModeZoomIn, cmd::DisplayMagnitude}));
    frame.ResetWorkMode();
    EXPECT_EQ(Ticked(watched), Ids({cmd::ModeSelectVoxel, cmd::ShowGrid, cmd::DisplayReal}));
}

TEST_F(MainFrameTest, CommandsFollowTheProjectState)
{
    const Ids projectCommands = {cmd::ClearRegionEstimates, cmd::ProjectInformation, cmd::MapGray, cmd::MapOpacityLow};
    const Ids always = {cmd::ProjectOptions, cmd::ProjectCloseVoxelWindows, cmd::FileExit,
                        cmd::ShowGrid,       cmd::ModeZoomIn,                cmd::DisplayMagnitude};
    EXPECT_EQ(Live(projectCommands), Ids());
    EXPECT_EQ(Live(always), always);

    OpenProject();
    project->m_nMapColormap = 2;
    project->m_nMapOpacity = 0;
    frame.UpdateCommandStates();
    EXPECT_EQ(Live(projectCommands), projectCommands);
    // A command whose handler is not installed is never live, whatever the state says.
    EXPECT_EQ(Live({cmd::FileSaveProject, cmd::FileNewProject, cmd::ExportVoxels}), Ids());
    int saves = 0;
    frame.SetCommandHandler(cmd::FileSaveProject, [&] { ++saves; });
    EXPECT_TRUE(Enabled(cmd::FileSaveProject));
    frame.Action(cmd::FileSaveProject)->trigger();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Ticked({cmd::MapGray, cmd::MapGray + 1, cmd::MapGray + 2, cmd::MapGray + 3}), Ids({cmd::MapGray + 2}));
    EXPECT_EQ(Ticked({cmd::MapOpacityHigh, cmd::MapOpacityHigh + 1, cmd::MapOpacityHigh + 2}), Ids({cmd::MapOpacityHigh}));
    // Without a work set nothing that needs one is offered.
    EXPECT_EQ(Live({cmd::MacroStartRecording, cmd::MacroLoad, cmd::ExportVoxels, cmd::MapResize, cmd::MapSaveAsTxt,
                    cmd::EditUndo, cmd::EditRedo, cmd::EditClearAll}),
              Ids());

    // The history answers through the processing hooks.
    bool cannotUndo = true, canRedo = true;
    TProcessingHooks hooks;
    hooks.cannotUndo = [&](TProcessHistory*) { return cannotUndo; };
    hooks.canRedo = [&](TProcessHistory*) { return canRedo; };
    InstallProcessingHooks(hooks);
    project->m_history = reinterpret_cast<TProcessHistory*>(FakeVoxel(15));
    TCSISet workSet;
    project->m_pWorkSet = &workSet;
    frame.UpdateCommandStates();
    // Macro files run only once the program can make their steps.
    EXPECT_EQ(Live({cmd::MacroSave, cmd::MacroLoad}), Ids({cmd::MacroSave}));
    hooks.newMacroStep = [](bool, TCSISet*) { return nullptr; };
    InstallProcessingHooks(hooks);
    project->m_bRecording = true;
    frame.UpdateCommandStates();
    const Ids history = {cmd::MacroStartRecording, cmd::MacroEndRecording, cmd::MacroPauseRecording, cmd::MacroLoad,
                         cmd::MapRemove,           cmd::EditUndo,          cmd::EditRedo,            cmd::EditClearAll};
    EXPECT_EQ(Live(history), Ids({cmd::MacroEndRecording, cmd::MacroPauseRecording, cmd::MacroLoad, cmd::EditRedo}));

    project->m_bRecording = false;
    // An empty map list offers no map to remove; a list with one does.
    workSet.m_pMapList = new TMapList;  // the set owns it
    frame.UpdateCommandStates();
    EXPECT_FALSE(Enabled(cmd::MapRemove));
    workSet.m_pMapList->Add(new TMap);
    cannotUndo = false;
    canRedo = false;
    frame.UpdateCommandStates();
    EXPECT_EQ(Live(history),
              Ids({cmd::MacroStartRecording, cmd::MacroLoad, cmd::MapRemove, cmd::EditUndo, cmd::EditClearAll}));
    project->m_pWorkSet = nullptr;
    project->m_history = nullptr;

    g_pProject = nullptr;
    frame.SetProjectOpen(false);
    EXPECT_EQ(Live(projectCommands), Ids());
    EXPECT_FALSE(Checked(cmd::MapCool));
}

TEST_F(MainFrameTest, InformationIsGreyedWhileItsWindowIsVisible)
{
    OpenProject();
    ASSERT_TRUE(Enabled(cmd::ProjectInformation));
    frame.Action(cmd::ProjectInformation)->trigger();
    CInfoFrameBase* info = frame.InfoFrame();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->isVisible());
    EXPECT_EQ(info->windowTitle(), "Info");
    EXPECT_EQ(info->x(), 0);
    EXPECT_EQ(info->geometry().bottom() + 1, client.bottom() + 1 - 70);
    EXPECT_EQ(frame.GetInfoFrame(), static_cast<IInfoFrame*>(info));
    EXPECT_FALSE(Enabled(cmd::ProjectInformation));

    info->close();  // the user's close box only hides it
    EXPECT_FALSE(info->isVisible());
    EXPECT_TRUE(Enabled(cmd::ProjectInformation));
    frame.Action(cmd::ProjectInformation)->trigger();
    EXPECT_EQ(frame.InfoFrame(), info);
    EXPECT_TRUE(info->isVisible());
}

TEST_F(MainFrameTest, ExplorerIsMadeOnceTitledAndKeptAtTheRightEdge)
{
    EXPECT_EQ(frame.ProjectExplorer(), nullptr);
    frame.ResetProjectExplorer();  // nothing to reset yet
    OpenProject()->m_strName = "brain";
    frame.ShowProjectExplorer();
    CExplorerFrameBase* explorer = frame.ProjectExplorer();
    ASSERT_NE(explorer, nullptr);
    EXPECT_EQ(explorer->windowTitle(), "brain");
    EXPECT_EQ(explorer->geometry().right() + 1, client.right() + 1 - 35);
    EXPECT_TRUE(Checked(cmd::ViewProjectExplorer));

    frame.ResetProjectExplorer();
    EXPECT_EQ(explorer->windowTitle(), "");
    frame.Action(cmd::ViewProjectExplorer)->trigger();
    EXPECT_FALSE(explorer->isVisible());
    EXPECT_FALSE(Checked(cmd::ViewProjectExplorer));
    frame.Action(cmd::ViewProjectExplorer)->trigger();
    EXPECT_EQ(frame.ProjectExplorer(), explorer);
    EXPECT_TRUE(explorer->isVisible());

    // A wider frame moves it so that it keeps its distance from the right edge.
    frame.resize(1500, 960);
    QApplication::processEvents();
    const QRect wider = frame.MdiArea()->viewport()->rect();
    ASSERT_GT(wider.width(), client.width());
    EXPECT_EQ(explorer->geometry().right() + 1, wider.right() + 1 - 35);
    EXPECT_EQ(explorer->y(), 0);
}

TEST_F(MainFrameTest, VoxelWindowsCascadeFromTheBottomRightCorner)
{
    OpenProject();
    for (int k = 0; k < 3; ++k)
        frame.OpenVoxelWindow(FakeVoxel(k), Keys(TMouseEvent::kShift), FakeFrame(0));
    ASSERT_EQ(frame.SingleVoxelWindows().GetCount(), 3);
    const int right = client.width(), bottom = client.height();
    int k = 0;
    for (auto it = frame.SingleVoxelWindows().Begin(); it != frame.SingleVoxelWindows().End(); ++it, ++k) {
        const QRect g = (*it)->geometry();
        EXPECT_EQ(g.size(), QSize(700, 440)) << k;
        EXPECT_EQ(g.right() + 1, right - 35 - 10 * k) << k;
        EXPECT_EQ(g.bottom() + 1, bottom - 70 - 10 * k) << k;
        EXPECT_EQ((*it)->windowTitle(), "Single Voxel");
    }

    // A resized window sets the size of the next new window of its list only.
    (*frame.SingleVoxelWindows().Begin())->resize(500, 380);
    frame.OpenVoxelWindow(FakeVoxel(9), Keys(TMouseEvent::kShift), FakeFrame(0));
    const QRect fourth = frame.SingleVoxelWindows().GetLast()->geometry();
    EXPECT_EQ(fourth.size(), QSize(500, 380));
    EXPECT_EQ(fourth.topLeft(), QPoint(right - 35 - 700 - 30, bottom - 70 - 440 - 30));
    frame.OpenAverageWindow(FakeVoxel(1), Keys(0));
    EXPECT_EQ(frame.AverageWindows().GetLast()->size(), QSize(700, 440));
    EXPECT_EQ(frame.AverageWindows().GetLast()->windowTitle(), "Average Voxel");

    // An emptied list starts again at the corner with its own size.
    frame.CloseVoxelWindows();
    EXPECT_TRUE(frame.SingleVoxelWindows().IsEmpty());
    EXPECT_TRUE(frame.AverageWindows().IsEmpty());
    frame.OpenVoxelWindow(FakeVoxel(1), Keys(0), FakeFrame(0));
    const QRect again = frame.SingleVoxelWindows().GetFirst()->geometry();
    EXPECT_EQ(again.bottomRight() + QPoint(1, 1), QPoint(right - 35, bottom - 70));
    EXPECT_EQ(again.size(), QSize(500, 380));

    // A resized main frame keeps the first window and the information window at the corner.
    frame.Action(cmd::ProjectInformation)->trigger();
    frame.resize(1400, 1000);
    QApplication::processEvents();
    const QRect bigger = frame.MdiArea()->viewport()->rect();
    EXPECT_EQ(frame.SingleVoxelWindows().GetFirst()->geometry().bottomRight() + QPoint(1, 1),
              QPoint(bigger.width() - 35, bigger.height() - 70));
    EXPECT_EQ(frame.InfoFrame()->geometry().bottom() + 1, bigger.height() - 70);

    // Windows larger than the client area start at its top-left corner and stay there.
    frame.CloseVoxelWindows();
    frame.SingleVoxelWindows().SetWindowSize(bigger.width() + 100, bigger.height() + 100);
    for (int k = 0; k < 3; ++k)
        frame.OpenVoxelWindow(FakeVoxel(k), Keys(TMouseEvent::kShift), nullptr);
    for (auto it = frame.SingleVoxelWindows().Begin(); it != frame.SingleVoxelWindows().End(); ++it)
        EXPECT_EQ((*it)->pos(), QPoint(0, 0));
}

TEST_F(MainFrameTest, SelectVoxelKeysDecideBetweenReuseAndNewWindow)
{
    OpenProject();
    TVoxelWndList& list = frame.SingleVoxelWindows();
    for (int k : {1, 2})
        FakeVoxel(k)->m_nX = k;
    FakeVoxel(4)->m_nX = 4;
    FakeVoxel(4)->m_nY = 2;
    FakeVoxel(4)->m_nZ = 1;

    // Ctrl with no window open makes one; Ctrl again adds to it.
    frame.OpenVoxelWindow(FakeVoxel(1), Keys(TMouseEvent::kCtrl), FakeFrame(1));
    ASSERT_EQ(list.GetCount(), 1);
    frame.OpenVoxelWindow(FakeVoxel(2), Keys(TMouseEvent::kCtrl | TMouseEvent::kShift), FakeFrame(1));
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(FakeWindow(list.GetLast())->voxels, std::vector<TSpectrum*>({FakeVoxel(1), FakeVoxel(2)}));
    EXPECT_EQ(shell.log, std::vector<std::string>({"redraw 1,0,0", "redraw 2,0,0"}));

    // Shift opens a new window; a plain click replaces the newest window's voxels.
    frame.OpenVoxelWindow(FakeVoxel(3), Keys(TMouseEvent::kShift), FakeFrame(2));
    ASSERT_EQ(list.GetCount(), 2);
    shell.log.clear();
    FakeVoxel(4)->m_bMark = 0;
    frame.OpenVoxelWindow(FakeVoxel(4), Keys(0), FakeFrame(3));
    EXPECT_EQ(FakeVoxel(4)->m_bMark, 1);
    EXPECT_EQ(FakeVoxel(3)->m_bMark, 0);
    ASSERT_EQ(list.GetCount(), 2);
    CFakeVoxelWindow* newest = FakeWindow(list.GetLast());
    EXPECT_EQ(newest->voxels, std::vector<TSpectrum*>({FakeVoxel(4)}));
    EXPECT_EQ(newest->GetChildFrame(), FakeFrame(3));
    EXPECT_GE(newest->refreshes, 1);
    EXPECT_EQ(FakeWindow(list.GetFirst())->voxels.size(), 2u);
    EXPECT_EQ(shell.log, std::vector<std::string>({"sync", "redraw 4,2,1", "update 00001"}));

    // A null voxel changes nothing.
    frame.OpenVoxelWindow(nullptr, Keys(TMouseEvent::kShift), nullptr);
    EXPECT_EQ(list.GetCount(), 2);
}

TEST_F(MainFrameTest, AverageAndEstimateWindows)
{
    frame.OpenAverageWindow(FakeVoxel(1), Keys(0));
    frame.OpenAverageWindow(FakeVoxel(2), Keys(TMouseEvent::kShift));
    frame.OpenAverageWindow(FakeVoxel(3), Keys(TMouseEvent::kCtrl));
    ASSERT_EQ(frame.AverageWindows().GetCount(), 1);
    EXPECT_EQ(FakeWindow(frame.AverageWindows().GetLast())->voxels.size(), 3u);
    frame.OpenAverageWindow(FakeVoxel(4), Keys(0));
    EXPECT_EQ(frame.AverageWindows().GetCount(), 2);

    auto* estimate = reinterpret_cast<TRegionEstimate*>(FakeVoxel(7));
    frame.OpenRegionEstimateWindow(estimate);
    frame.OpenRegionEstimateWindow(estimate);
    ASSERT_EQ(frame.EstimateWindows().GetCount(), 2);
    auto* window = static_cast<CFakeVoxelWindow*>(frame.EstimateWindows().GetLast());
    EXPECT_EQ(window->GetKind(), CVoxelWindowBase::kEstimatedVoxel);
    EXPECT_EQ(window->windowTitle(), "Estimated Voxel");
    EXPECT_EQ(window->GetRegionEstimate(), estimate);
    EXPECT_EQ(window->GetChildFrame(), nullptr);

    // The display block reaches every voxel window; refreshes reach the right lists.
    TSpectrumDisplayParams display;
    display.m_nFlags = TSpectrumDisplayParams::kMagnitude;
    display.m_nXEnd = 511;
    frame.SetSpectrumDisplay(display);
    EXPECT_EQ(window->lastDisplay, display);
    EXPECT_EQ(FakeWindow(frame.AverageWindows().GetFirst())->lastDisplay, display);
    const int before = window->refreshes;
    frame.RefreshVoxelWindows();
    EXPECT_EQ(window->refreshes, before);
    frame.RefreshRegionWindows();
    EXPECT_EQ(window->refreshes, before + 1);
}

TEST_F(MainFrameTest, WindowsLeaveTheirListsWithTheirImageFrameTheirCloseBoxOrAFailedCreate)
{
    frame.OpenVoxelWindow(FakeVoxel(1), Keys(TMouseEvent::kShift), FakeFrame(1));
    frame.OpenVoxelWindow(FakeVoxel(2), Keys(TMouseEvent::kShift), FakeFrame(2));
    frame.OpenVoxelWindow(FakeVoxel(3), Keys(TMouseEvent::kShift), FakeFrame(1));
    frame.OpenVoxelWindow(FakeVoxel(4), Keys(TMouseEvent::kShift), FakeFrame(3));
    frame.OpenAverageWindow(FakeVoxel(5), Keys(0));
    const int destroyedBefore = windows.voxelLog.destroyed;

    frame.CloseVoxelWindowsOfFrame(FakeFrame(1));
    EXPECT_EQ(windows.voxelLog.destroyed, destroyedBefore + 2);
    ASSERT_EQ(frame.SingleVoxelWindows().GetCount(), 2);
    EXPECT_EQ(FakeWindow(frame.SingleVoxelWindows().GetFirst())->voxels[0], FakeVoxel(2));
    EXPECT_EQ(FakeWindow(frame.SingleVoxelWindows().GetLast())->voxels[0], FakeVoxel(4));
    EXPECT_EQ(frame.AverageWindows().GetCount(), 1);
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 3);

    // The user's close box destroys the window; a window that cannot be made leaves its list.
    frame.SingleVoxelWindows().GetFirst()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frame.SingleVoxelWindows().GetCount(), 1);
    EXPECT_EQ(windows.voxelLog.destroyed, destroyedBefore + 3);

    windows.voxelLog.failCreate = true;
    frame.OpenVoxelWindow(FakeVoxel(3), Keys(TMouseEvent::kShift), nullptr);
    EXPECT_EQ(frame.SingleVoxelWindows().GetCount(), 1);
    EXPECT_EQ(windows.voxelLog.made, 6);
    EXPECT_EQ(windows.voxelLog.destroyed, destroyedBefore + 4);

    windows.analysisLog.failCreate = true;
    frame.OpenAnalysisWindow(nullptr);
    EXPECT_TRUE(frame.AnalysisWindows().IsEmpty());
    EXPECT_EQ(windows.analysisLog.destroyed, 1);
}

TEST_F(MainFrameTest, AnalysisWindowIsReusedAndEveryChildWindowCloses)
{
    auto* first = reinterpret_cast<TAnalysis*>(FakeVoxel(1));
    auto* second = reinterpret_cast<TAnalysis*>(FakeVoxel(2));
    frame.OpenAnalysisWindow(first);
    frame.OpenVoxelWindow(FakeVoxel(3), Keys(TMouseEvent::kShift), nullptr);  // now the active one
    ASSERT_NE(frame.MdiArea()->currentSubWindow(), frame.AnalysisWindows().GetFirst());
    frame.OpenAnalysisWindow(second);
    ASSERT_EQ(frame.AnalysisWindows().GetCount(), 1);
    auto* window = static_cast<CFakeAnalysisWindow*>(frame.AnalysisWindows().GetFirst());
    EXPECT_EQ(window->GetAnalysis(), second);
    EXPECT_EQ(window->updates, std::vector<std::vector<int>>({{1, 0, 0}}));
    EXPECT_EQ(frame.MdiArea()->currentSubWindow(), window);
    frame.UpdateAnalysisWindows(1, 1);
    frame.SetAnalysisWindowsUnit(2);
    EXPECT_EQ(window->updates.back(), std::vector<int>({1, 1, 0}));
    EXPECT_EQ(window->unit, 2);

    frame.OpenVoxelWindow(FakeVoxel(1), Keys(0), nullptr);
    frame.OpenAverageWindow(FakeVoxel(2), Keys(0));
    frame.OpenRegionEstimateWindow(reinterpret_cast<TRegionEstimate*>(FakeVoxel(3)));
    frame.CloseAllChildWindows();
    EXPECT_TRUE(frame.AnalysisWindows().IsEmpty());
    EXPECT_TRUE(frame.SingleVoxelWindows().IsEmpty());
    EXPECT_TRUE(frame.AverageWindows().IsEmpty());
    EXPECT_TRUE(frame.EstimateWindows().IsEmpty());
    EXPECT_TRUE(frame.MdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(windows.voxelLog.destroyed, 3);
    EXPECT_EQ(windows.analysisLog.destroyed, 1);
}

// Alt with a letter reaches one entry of a menu: no two entries share an access letter.
TEST_F(MainFrameTest, EveryMenuGivesEachAccessLetterToOneEntry)
{
    for (QAction* top : frame.menuBar()->actions()) {
        ASSERT_NE(top->menu(), nullptr);
        std::map<QChar, QString> taken;
        for (const QAction* entry : top->menu()->actions()) {
            const QString text = entry->text();
            const qsizetype at = text.indexOf('&');
            if (at < 0 || at + 1 >= text.size())
                continue;
            const QChar letter = text[at + 1].toLower();
            const auto [first, added] = taken.emplace(letter, text);
            EXPECT_TRUE(added) << top->text().toStdString() << ": \"" << text.toStdString() << "\" and \""
                               << first->second.toStdString() << "\"";
        }
    }
}

TEST_F(MainFrameTest, IdleTextComesBackAfterAPromptOrAMessage)
{
    auto* idle = frame.statusBar()->findChild<QLabel*>("IdleText");
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(idle->text(), "Ready");
    EXPECT_TRUE(idle->isVisible());
    // A button's prompt replaces it while the mouse is over the button (a status tip),
    // and leaving the button clears the prompt.
    QStatusTipEvent over("Zoom in ");
    QApplication::sendEvent(&frame, &over);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Zoom in ");
    EXPECT_FALSE(idle->isVisible());
    QStatusTipEvent left("");
    QApplication::sendEvent(&frame, &left);
    EXPECT_TRUE(idle->isVisible());
    // A timed message goes the same way.
    frame.statusBar()->showMessage("Saved", 1);
    EXPECT_FALSE(idle->isVisible());
    // The message's timer may fire late on a busy machine.
    EXPECT_TRUE(QTest::qWaitFor([&] { return idle->isVisible(); }, 5000));
}

// Every menu entry and toolbar button says what it does in the status bar while the mouse
// is over it, as the user meets them: the menus opened from the menu bar, the buttons
// hovered, the User Draw Toolbar floating in a window of its own.
TEST_F(MainFrameTest, EveryMenuEntryAndToolbarButtonShowsItsPromptWhenHovered)
{
    OpenProject();
    frame.SetRecentFiles({"/tmp/old/old.tpj"});
    std::map<QString, QString> shown;
    for (const auto& [entry, prompt] : MenuBarPrompts(frame)) {
        EXPECT_FALSE(prompt.isEmpty()) << entry.toStdString();
        shown[entry] = prompt;
    }
    EXPECT_GT(shown.size(), 45u);
    EXPECT_EQ(shown["&File > &New Project"], "Create a new project");
    EXPECT_EQ(shown["&File > &1 /tmp/old/old.tpj"], "Open this project");
    EXPECT_EQ(shown["&Map > Color > Jet"], "Draw the maps in the Jet colour table");
    EXPECT_EQ(shown["&Window > &Tile"], "Arrange the windows side by side");
    EXPECT_EQ(shown["&Edit > Clear all"],
              "Undo every processing step, delete the work set's maps and close the windows");

    // The User Draw Toolbar comes with its work mode.
    QToolButton* userRegion = nullptr;
    for (QToolButton* button : frame.ToolBars()[4]->findChildren<QToolButton*>())
        if (button->defaultAction() == frame.Action(cmd::ModeUserRegion))
            userRegion = button;
    ASSERT_NE(userRegion, nullptr);
    QTest::mouseClick(userRegion, Qt::LeftButton);
    auto* userDraw = frame.findChild<QToolBar*>("UserDrawBar");
    ASSERT_NE(userDraw, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(userDraw));
    // Out beside the main window, where the offscreen platform, which knows no stacking of
    // windows, gives it the mouse.
    userDraw->move(frame.frameGeometry().topRight() + QPoint(20, 0));
    std::map<QString, QString> buttons;
    QList<QToolBar*> bars = frame.ToolBars();
    bars.push_back(userDraw);
    for (QToolBar* bar : bars)
        for (const auto& [text, prompt] : ToolBarPrompts(frame, *bar)) {
            EXPECT_FALSE(prompt.isEmpty()) << bar->windowTitle().toStdString() << ": " << text.toStdString();
            buttons[text] = prompt;
        }
    EXPECT_EQ(buttons["&Open Project..."], "Open an existing project");
    for (const char* navigation : {"First image ", "Previous image ", "Next image ", "Last image "})
        EXPECT_EQ(buttons[navigation], navigation);
    EXPECT_EQ(buttons["Reset the map display scale"], "Reset the map display scale");
    EXPECT_EQ(buttons["Zoom in "], "Zoom in ");
    EXPECT_EQ(buttons["Draw a polygon"], "Draw a polygon");
}

}  // namespace
