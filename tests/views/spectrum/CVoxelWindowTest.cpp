// The voxel window: its panes and kinds, the minimum height, the voxel marks while it
// is active, closing, and the arrow keys' walk through the image window's slice.
#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTest>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/CExplorerFrameBase.h"
#include "app/CPrjExpFrame.h"
#include "app/CPrjExpTree.h"
#include "app/TVoxelWndList.h"
#include "app/WindowArrangement.h"
#include "model/TCSISlice.h"
#include "processing/TDrawnRegionRect.h"
#include "processing/TRegionEstimate.h"
#include "support/GuiGrab.h"
#include "views/picture/CMainPicView.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/picture/RegionPainters.h"
#include "views/VoxelWindowFixture.h"

using namespace vx::test;

namespace {

struct TIndex {
    int x, y;
};

class VoxelWindowKeysTest : public VoxelWindowTest {
protected:
    // The CSI plane of the sagittal window, which follows the walked voxel's x.
    CChildFrame* Sagittal() { return session->FrameTitled("(Sagittal) No image @ 100%"); }
};

TEST_F(VoxelWindowKeysTest, ArrowKeysWalkTheVoxelThroughTheSlice)
{
    const struct {
        const char* name;
        TIndex start;
        std::vector<Qt::Key> keys;
        TIndex end;
    } cases[] = {
        {"right", {3, 4}, {Qt::Key_Right}, {4, 4}},
        {"left", {3, 4}, {Qt::Key_Left}, {2, 4}},
        {"up", {3, 4}, {Qt::Key_Up}, {3, 3}},
        {"down", {3, 4}, {Qt::Key_Down}, {3, 5}},
        {"around", {3, 4}, {Qt::Key_Right, Qt::Key_Down, Qt::Key_Down, Qt::Key_Left}, {3, 6}},
        {"right on the last column", {7, 2}, {Qt::Key_Right}, {7, 2}},
        {"left on column 0", {0, 2}, {Qt::Key_Left}, {0, 2}},
        {"up on row 0", {5, 0}, {Qt::Key_Up}, {5, 0}},
        {"down on the last row", {5, 7}, {Qt::Key_Down}, {5, 7}},
        {"other keys", {3, 4}, {Qt::Key_A, Qt::Key_Home, Qt::Key_PageDown}, {3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CVoxelWindow* window = Open(c.start.x, c.start.y);
        ASSERT_NE(window, nullptr);
        CVoxelWndView& view = *window->View();
        for (Qt::Key key : c.keys)
            QTest::keyClick(&view, key);
        TSpectrum* current = window->GetCurrentSpectrum();
        ASSERT_EQ(window->GetVoxelCount(), 1);
        EXPECT_EQ(current, Voxel(c.end.x, c.end.y));
        EXPECT_EQ(current->m_bMark, 1);
        if (c.start.x != c.end.x || c.start.y != c.end.y) {
            EXPECT_EQ(current->m_bShown, 1);
            TSpectrum* start = Voxel(c.start.x, c.start.y);
            EXPECT_EQ(start->m_bShown, 0);
            EXPECT_EQ(start->m_bMark, 0);
            // The other planes move through the new voxel, and the view labels it.
            ASSERT_NE(Sagittal(), nullptr);
            EXPECT_EQ(Sagittal()->GetSlice()->GetSliceIndex(), c.end.x);
            const std::string label = "(" + std::to_string(c.end.x) + "," + std::to_string(c.end.y) + ",0)";
            EXPECT_TRUE(Contains(Record(view, 600, 200).Texts(), label)) << label;
        }
        window->close();
        QApplication::processEvents();
    }
}

TEST_F(VoxelWindowKeysTest, ArrowKeysMoveOnlyTheSingleVoxelOfASingleVoxelWindow)
{
    // Two voxels in one window.
    CVoxelWindow* two = Open(3, 4);
    Open(5, 5, TMouseEvent::kCtrl);
    ASSERT_EQ(two->GetVoxelCount(), 2);
    QTest::keyClick(two->View(), Qt::Key_Right);
    EXPECT_EQ(two->View()->GetVoxels(), std::vector<TSpectrum*>({Voxel(3, 4), Voxel(5, 5)}));
    two->close();

    // A window of another kind, which also shows no grid position, and one tied to no
    // image window.
    for (auto [kind, frame] : {std::pair{1, axial}, std::pair{2, axial}, std::pair{3, axial},
                               std::pair{0, (CChildFrame*)nullptr}}) {
        SCOPED_TRACE(kind);
        CVoxelWindow window(nullptr, frame, kind);
        window.SetVoxel(Voxel(3, 4));
        window.OnKeyDown(Qt::Key_Right);
        EXPECT_EQ(window.View()->GetVoxels(), std::vector<TSpectrum*>({Voxel(3, 4)}));
        EXPECT_EQ(Contains(Record(*window.View(), 600, 200).Texts(), "(3,4,0)"), kind == 0);
        window.ClearVoxels();
    }
}

TEST_F(VoxelWindowTest, SpectraOverThePanelAtLeast350PixelsHigh)
{
    CVoxelWindow* window = Open(7, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Single Voxel");
    EXPECT_TRUE(Frame().MdiArea()->subWindowList().contains(window));
    auto* splitter = qobject_cast<QSplitter*>(window->widget());
    ASSERT_NE(splitter, nullptr);
    ASSERT_EQ(splitter->count(), 2);
    EXPECT_EQ(splitter->widget(0), window->View());
    EXPECT_EQ(splitter->widget(1), window->Panel());
    const int form = CVoxelWndDlgView::DialogRect(0, 0, 0, CVoxelWndDlgView::kFormHeight).height();
    EXPECT_EQ(window->Panel()->height(), form);
    EXPECT_EQ(window->View()->GetDisplayParams(), session->Project()->m_display);

    window->resize(700, 200);
    EXPECT_EQ(window->height(), CVoxelWindow::kMinHeight);
    window->resize(700, 600);
    QApplication::processEvents();
    EXPECT_EQ(window->Panel()->height(), form) << "extra height goes to the spectra";
    EXPECT_EQ(window->GetPlotBitmap().size(), window->View()->size());

    // No window of an unknown kind.
    CVoxelWindow odd(nullptr, nullptr, 4);
    EXPECT_EQ(odd.View(), nullptr);
    EXPECT_FALSE(odd.Create(&Frame(), QRect(0, 0, 700, 440)));
}

TEST_F(VoxelWindowTest, ActiveWindowMarksItsVoxelsAndClosingLetsThemGo)
{
    CVoxelWindow* first = Open(1, 1);
    Open(2, 1, TMouseEvent::kCtrl);
    CVoxelWindow* second = Open(6, 6, TMouseEvent::kShift);
    ASSERT_NE(first, second);
    TVoxelWndList& list = Frame().SingleVoxelWindows();
    ASSERT_EQ(list.GetCount(), 2);

    Frame().MdiArea()->setActiveSubWindow(first);
    EXPECT_EQ(Voxel(1, 1)->m_bMark, 1);
    EXPECT_EQ(Voxel(2, 1)->m_bMark, 1);
    EXPECT_EQ(Voxel(6, 6)->m_bMark, 0);
    Frame().MdiArea()->setActiveSubWindow(second);
    EXPECT_EQ(Voxel(1, 1)->m_bMark, 0);
    EXPECT_EQ(Voxel(2, 1)->m_bMark, 0);
    EXPECT_EQ(Voxel(6, 6)->m_bMark, 1);

    Voxel(1, 1)->m_bShown = Voxel(2, 1)->m_bShown = 1;
    Frame().MdiArea()->setActiveSubWindow(first);
    first->close();
    QApplication::processEvents();
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetFirst(), second);
    for (TSpectrum* voxel : {Voxel(1, 1), Voxel(2, 1)}) {
        EXPECT_EQ(voxel->m_bShown, 0);
        EXPECT_EQ(voxel->m_bMark, 0);
    }

    // The unit reaches the panel's buttons without calling back.
    second->SetUnit(2);
    EXPECT_EQ(second->Panel()->CheckedUnit(), 2);
    EXPECT_EQ(second->View()->GetUnit(), 2);
    EXPECT_FALSE(GrabToPng(&Frame(), "mainroad_04_voxel_window").isEmpty());
}

TEST_F(VoxelWindowTest, EstimateWindowHighlightsItsRegionsAndTakesItsEstimateAlong)
{
    const CMainPicView::TRegionPainters old = InstallRegionPainters();
    TProject* project = session->Project();
    std::map<int, TDrawnRegion*> drawn;
    auto* rect = new TDrawnRegionRect;
    rect->AddPoint(10, 12);
    rect->AddPoint(30, 40);
    rect->SetImagePlane(*axial);
    drawn[0] = rect;
    auto* estimate = new TRegionEstimate;
    ASSERT_TRUE(estimate->SetRegions(drawn));
    ASSERT_TRUE(estimate->Estimate());
    project->m_regionEstimates.push_back(estimate);
    CVoxelWindow* single = Open(2, 2);

    Frame().OpenRegionEstimateWindow(estimate);
    QApplication::processEvents();
    auto* window = dynamic_cast<CVoxelWindow*>(Frame().EstimateWindows().GetLast());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Estimated Voxel");
    EXPECT_EQ(window->GetCurrentSpectrum(), estimate->GetResult());

    // The read-out's label: the volume with two decimals.
    const std::string title = window->GetEstimateTitle().toStdString();
    double volume = 0;
    char rest[8] = "";
    ASSERT_EQ(std::sscanf(title.c_str(), "Volume: %lf%7s", &volume, rest), 1) << title;
    EXPECT_EQ(title.size() - title.find('.'), 3u) << title;
    EXPECT_NEAR(volume, estimate->GetRegionSize(), 0.0051);
    EXPECT_GT(volume, 0);
    EXPECT_TRUE(single->GetEstimateTitle().isEmpty());

    // Its regions are drawn in the highlight pen while it is active.
    CMainPicView& picture = *axial->View();
    auto leftSide = [&] {
        return picture.LayerImage(CMainPicView::RegionLayer).pixelColor(picture.ZoomLength(10), picture.ZoomLength(20));
    };
    const QColor regionPen(0, 192, 192), highlightPen(255, 255, 0), none(0, 0, 0);
    ASSERT_EQ(Frame().MdiArea()->activeSubWindow(), window);
    EXPECT_EQ(leftSide(), highlightPen) << "a new window is active at once";
    Frame().MdiArea()->setActiveSubWindow(single);
    EXPECT_EQ(leftSide(), regionPen);
    Frame().MdiArea()->setActiveSubWindow(window);
    EXPECT_EQ(leftSide(), highlightPen);

    // Closing it deletes the estimate from the project and its outline from the images.
    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Frame().EstimateWindows().GetCount(), 0);
    EXPECT_TRUE(project->m_regionEstimates.empty());
    EXPECT_EQ(leftSide(), none);
    CMainPicView::SetRegionPainters(old);
}

// The Window menu's entry of that text.
QAction* WindowCommand(CMainFrame& frame, const QString& text)
{
    for (QAction* menu : frame.menuBar()->actions())
        if (menu->text() == "&Window" && menu->menu())
            for (QAction* action : menu->menu()->actions())
                if (action->text() == text)
                    return action;
    return nullptr;
}

// On each axis the window lies inside the visible area, or starts at its edge when it is
// larger: its title bar can be reached.
::testing::AssertionResult Reachable(const QMdiSubWindow* window, const QSize& area)
{
    const QRect g = window->geometry();
    const bool x = g.left() >= 0 && (g.right() < area.width() || g.left() == 0);
    const bool y = g.top() >= 0 && (g.bottom() < area.height() || g.top() == 0);
    if (x && y)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << window->windowTitle().toStdString() << " at " << g.x() << "," << g.y()
                                         << " " << g.width() << "x" << g.height() << " in " << area.width() << "x"
                                         << area.height();
}

// New voxel windows open in view, also in a small main window; after Tile and Cascade every
// window is reachable and a voxel window keeps its panel's width and its minimum height.
TEST_F(VoxelWindowTest, WindowsOpenInViewAndTileAndCascadeKeepTheirUsableSize)
{
    ASSERT_NE(Open(1, 1), nullptr);
    Frame().resize(560, 420);
    QApplication::processEvents();
    CVoxelWindow* second = Open(2, 2, TMouseEvent::kShift);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(Reachable(second, Frame().MdiArea()->viewport()->size()));

    Frame().resize(1280, 800);
    QApplication::processEvents();
    CVoxelWindow* third = Open(3, 3, TMouseEvent::kShift);
    ASSERT_NE(third, nullptr);
    const QSize area = Frame().MdiArea()->viewport()->size();
    EXPECT_TRUE(QRect(QPoint(0, 0), area).contains(third->geometry())) << "a window that fits opens whole";

    const auto check = [&](const char* command) {
        SCOPED_TRACE(command);
        QAction* action = WindowCommand(Frame(), command);
        ASSERT_NE(action, nullptr);
        action->trigger();
        QApplication::processEvents();
        std::set<std::pair<int, int>> corners;
        for (QMdiSubWindow* window : Frame().MdiArea()->subWindowList()) {
            EXPECT_TRUE(Reachable(window, area));
            EXPECT_TRUE(corners.insert({window->x(), window->y()}).second) << "no window hides another whole";
            if (auto* voxels = dynamic_cast<CVoxelWindow*>(window)) {
                EXPECT_GE(voxels->height(), CVoxelWindow::kMinHeight);
                EXPECT_GE(voxels->widget()->width(), voxels->Panel()->minimumWidth()) << "the control panel is not cut";
            }
        }
    };
    check("&Tile");
    EXPECT_FALSE(GrabToPng(&Frame(), "window_tile_with_voxel_windows").isEmpty());
    check("&Cascade");
    EXPECT_FALSE(GrabToPng(&Frame(), "window_cascade_with_voxel_windows").isEmpty());
}

// Window > Tile with the Project Explorer, the three image windows and a voxel window open
// in a main window a little narrower than its first size: the explorer stays at the size it
// opens at, each image window keeps room for a picture of 128 x 128 pixels beside its colour
// scale, the voxel window its panel, and every window stays reachable.
TEST_F(VoxelWindowTest, TileGivesImageWindowsRoomForTheirPicturesBesideTheExplorer)
{
    Frame().resize(900, 768);
    QApplication::processEvents();
    // The explorer first, then the image windows of the set double-clicked in it, as in a
    // new project.
    Frame().ShowProjectExplorer();
    session->Project()->CloseImageFrames();
    auto* explorer = dynamic_cast<CPrjExpFrame*>(Frame().ProjectExplorer());
    ASSERT_NE(explorer, nullptr);
    CPrjExpTree* tree = explorer->Tree();
    tree->expandAll();
    const auto found = tree->findItems(TGuiFixture::kSetName, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->ItemLabelRect(found.first()).center());
    QApplication::processEvents();
    axial = session->FrameTitled("(Axial) axial_1 @ 100%");
    ASSERT_NE(axial, nullptr);
    ASSERT_NE(Open(1, 1), nullptr);
    QAction* tile = WindowCommand(Frame(), "&Tile");
    ASSERT_NE(tile, nullptr);
    tile->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(GrabToPng(&Frame(), "window_tile_with_explorer").isEmpty());
    const QSize area = Frame().MdiArea()->viewport()->size();
    int images = 0;
    for (QMdiSubWindow* window : Frame().MdiArea()->subWindowList()) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        EXPECT_TRUE(Reachable(window, area));
        if (qobject_cast<CChildFrame*>(window)) {
            ++images;
            EXPECT_GE(window->widget()->width() - CMainPicView::kScaleWidth, 128);
            EXPECT_GE(window->widget()->height(), 128);
        } else if (auto* voxels = dynamic_cast<CVoxelWindow*>(window)) {
            EXPECT_GE(voxels->widget()->width(), voxels->Panel()->minimumWidth());
            EXPECT_GE(voxels->height(), CVoxelWindow::kMinHeight);
        } else if (qobject_cast<CExplorerFrameBase*>(window)) {
            EXPECT_EQ(window->size(), QSize(195, 197));
        }
    }
    EXPECT_EQ(images, 3);
}

}  // namespace
