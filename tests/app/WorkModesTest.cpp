// The work modes of the image windows on the fixture project, driven with mouse events at
// client positions from the view's own millimetre conversion, and the main frame's
// Undo, Redo, Clear all and macro commands on the project's history.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMdiArea>
#include <QTest>
#include <QToolBar>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <list>
#include <string>
#include <utility>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVoxelWindowBase.h"
#include "app/CWindowingToolBar.h"
#include "app/dialogs/CNumEdit.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "model/TStateFile.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TTextFile.h"
#include "processing/MacroFile.h"
#include "processing/TPPMCenterStep.h"
#include "processing/TPhasingStep.h"
#include "processing/TDrawnRegionGroup.h"
#include "processing/TRegionEstimate.h"
#include "processing/TVoxelShiftStep.h"
#include "support/GuiFixture.h"
#include "support/GuiGrab.h"
#include "support/GuiMenu.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "views/picture/CMainPicView.h"
#include "views/picture/RegionPainters.h"
#include "AppSessionTest.h"

using namespace vx::test;

namespace {

constexpr float kCell = TGuiFixture::kFOV / TGuiFixture::kColumns;  // mm

// Centre (mm) of voxel (column, row) of the axial plane, which is centred on the origin.
TPoint2D VoxelCentre(int column, int row)
{
    return {(static_cast<float>(column) + 0.5f) * kCell - TGuiFixture::kFOV / 2,
            (static_cast<float>(row) + 0.5f) * kCell - TGuiFixture::kFOV / 2};
}

// Height of the line in every voxel of the set's first row.
std::vector<float> RowHeights(const TCSISet& set)
{
    std::vector<float> heights;
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        heights.push_back(set.GetVoxel(x, 0, 0)->GetReal(TGuiFixture::kPeakPoint));
    return heights;
}

// Voxels of the first slice whose selected flag is set, as (column, row), rows outer.
std::vector<std::pair<int, int>> Selected(const TCSISet& set)
{
    std::vector<std::pair<int, int>> cells;
    for (int y = 0; y < TGuiFixture::kRows; ++y)
        for (int x = 0; x < TGuiFixture::kColumns; ++x)
            if (set.GetVoxel(x, y, 0)->m_bSelected)
                cells.push_back({x, y});
    return cells;
}

class WorkModesTest : public AppSessionTest {
protected:
    WorkModesTest() : AppSessionTest(1, true) {}
    void SetUp() override
    {
        AppSessionTest::SetUp();
        frame = Frame("(Axial) axial_1 @ 100%");
        ASSERT_NE(frame, nullptr);
        view = frame->View();
    }

    void Mode(int command) { Main().Action(command)->trigger(); }
    QPoint At(const TPoint2D& mm) const
    {
        const vx::TPointI p = view->MmToClient(mm);
        return {p.x, p.y};
    }
    void Click(const QPoint& p, Qt::KeyboardModifiers keys = {}, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(view->viewport(), button, keys, p);
    }
    void Move(const QPoint& p) { QTest::mouseMove(view->viewport(), p); }
    void Drag(const QPoint& from, const QPoint& to, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(view->viewport(), button, {}, from);
        QTest::mouseMove(view->viewport(), to);
        QTest::mouseRelease(view->viewport(), button, {}, to);
    }
    // A bigger window, so that zoomed pictures and drags have room.
    void Enlarge(int width, int height)
    {
        frame->resize(width, height);
        QApplication::processEvents();
        view->ComposeLayers();
    }
    void SetZoom(float zoom)
    {
        view->m_fZoom = zoom;
        view->RepaintAllLayers();
        view->UpdateScrollBars();
        view->ComposeLayers();
    }

    CChildFrame* frame = nullptr;
    CMainPicView* view = nullptr;
};

TEST_F(WorkModesTest, SelectVoxelOpensSingleVoxelWindowsAndNamesTheVoxel)
{
    EXPECT_EQ(project->m_pfnMouseHandler, &CMainPicView::OnMouseSelectVoxel);
    // At four screen pixels an image pixel, where the voxel window will not cover it.
    Enlarge(4 * 64 + 110, 4 * 64 + 40);
    frame->move(60, 180);
    SetZoom(4.0f);
    frame->UpdateTitle();

    // The corner of image pixel (28, 36) lies at (-15, 15) mm, in voxel (3, 4); the
    // scanner frame of the fixture is the set's frame.
    Move(At(TPoint2D(-15.0f, 15.0f)));
    EXPECT_EQ(view->StatusText().toStdString(), "(-15mm, 15mm), (3,4)");
    // Over the colour scale right of the picture there is neither image nor grid.
    const QPoint outside = At(TPoint2D(120.0f, 0.0f)) + QPoint(20, 0);
    Move(outside);
    EXPECT_EQ(view->StatusText(), "");

    TVoxelWndList& windows = Main().SingleVoxelWindows();
    Move(At(VoxelCentre(3, 4)));
    EXPECT_TRUE(view->StatusText().endsWith(" (3,4)"));
    Click(At(VoxelCentre(3, 4)));
    ASSERT_EQ(windows.GetCount(), 1);
    auto* first = static_cast<CVoxelWindowBase*>(windows.GetLast());
    EXPECT_EQ(first->windowTitle(), "Single Voxel");
    EXPECT_EQ(first->GetVoxelCount(), 1);
    EXPECT_EQ(first->GetChildFrame(), frame);
    EXPECT_EQ(set->GetVoxel(3, 4, 0)->m_bShown, 1);
    EXPECT_EQ(set->GetVoxel(3, 4, 0)->m_bMark, 1);
    EXPECT_FALSE(GrabToPng(&Main(), "mainroad_03_voxel_selected").isEmpty());

    // Ctrl adds to the newest window, Shift opens another.
    Click(At(VoxelCentre(5, 4)), Qt::ControlModifier);
    EXPECT_EQ(windows.GetCount(), 1);
    EXPECT_EQ(first->GetVoxelCount(), 2);
    EXPECT_EQ(set->GetVoxel(5, 4, 0)->m_bShown, 1);
    Click(At(VoxelCentre(6, 6)), Qt::ShiftModifier);
    ASSERT_EQ(windows.GetCount(), 2);
    EXPECT_EQ(static_cast<CVoxelWindowBase*>(windows.GetLast())->GetVoxelCount(), 1);
    EXPECT_EQ(first->GetVoxelCount(), 2);
    EXPECT_EQ(set->GetVoxel(6, 6, 0)->m_bShown, 1);
    EXPECT_EQ(set->GetVoxel(4, 4, 0)->m_bShown, 0);

    // Outside the grid nothing opens; with the spectra hidden neither.
    Click(outside);
    Main().Action(cmd::ShowSpectra)->trigger();
    EXPECT_FALSE(view->m_bShowCSISlice);
    Click(At(VoxelCentre(1, 1)));
    EXPECT_EQ(windows.GetCount(), 2);
    EXPECT_EQ(set->GetVoxel(1, 1, 0)->m_bShown, 0);
}

TEST_F(WorkModesTest, OnlySelectVoxelGivesTheContextMenu)
{
    struct TCase {
        int mode;
        int menus;
    };
    const TCase cases[] = {{cmd::ModeSelectVoxel, 1}, {cmd::ModeZoomIn, 0}, {cmd::ModeMultiSelect, 0},
                           {cmd::ModeVoxelShift, 0},  {cmd::ModeMoveCenter, 0}};
    int menus = 0;
    vx::app::SetMenuRunner([&menus](QMenu&, const QPoint&) -> QAction* {
        ++menus;
        return nullptr;
    });
    // Clicked through the window, as the desktop delivers a click: the press that the
    // platform would turn into a context menu of its own opens none.
    QWidget* top = view->viewport()->window();
    const QPoint at = view->viewport()->mapTo(top, At(VoxelCentre(2, 2)));
    for (const TCase& c : cases) {
        menus = 0;
        Mode(c.mode);
        QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, at);
        EXPECT_EQ(menus, c.menus) << c.mode;
    }
    vx::app::SetMenuRunner({});
}

TEST_F(WorkModesTest, ZoomInByClickOrBandAndOutWithoutLimit)
{
    Enlarge(600, 500);
    const int clientWidth = view->viewport()->width();
    struct TCase {
        const char* name;
        int dx;  // band width; 0 clicks
        float zoom;
    };
    const TCase cases[] = {{"click", 0, 1.25f},
                           {"band of 20 pixels", 20, 1.25f},
                           {"band dragged to the left", -40, 1.25f},
                           {"band of 40 pixels", 40, static_cast<float>(clientWidth) / 40.0f}};
    Mode(cmd::ModeZoomIn);
    for (const TCase& c : cases) {
        SetZoom(1.0f);
        const QPoint start = At(VoxelCentre(2, 3));
        if (c.dx == 0)
            Click(start);
        else
            Drag(start, start + QPoint(c.dx, 10));
        EXPECT_FLOAT_EQ(view->m_fZoom, c.zoom) << c.name;
        EXPECT_EQ(view->Rubber(), CMainPicView::NoRubber) << c.name;
    }
    // The band's centre comes to the middle of the window (to one image pixel: the view
    // scrolls by whole image pixels).
    const QPoint centre = view->viewport()->rect().center();
    SetZoom(1.0f);
    const QPoint bandCentre = At(VoxelCentre(2, 3)) + QPoint(20, 5);
    const TPoint2D target = view->ClientToMm(bandCentre.x(), bandCentre.y());
    Drag(At(VoxelCentre(2, 3)), At(VoxelCentre(2, 3)) + QPoint(40, 10));
    const QPoint reached = At(target);
    const float pixel = view->m_fZoom;
    EXPECT_LE(std::abs(reached.x() - centre.x()), pixel);
    EXPECT_LE(std::abs(reached.y() - centre.y()), pixel);
    EXPECT_EQ(frame->windowTitle().toStdString(),
              "(Axial) axial_1 @ " + std::to_string(static_cast<int>(view->m_fZoom * 100)) + "%");

    SetZoom(1.0f);
    Mode(cmd::ModeZoomOut);
    for (int k = 0; k < 3; ++k)
        Click(At(VoxelCentre(4, 4)));
    EXPECT_FLOAT_EQ(view->m_fZoom, 0.8f * 0.8f * 0.8f);
    EXPECT_EQ(frame->windowTitle().toStdString(), "(Axial) axial_1 @ 51%");
    // Far below one pixel a picture the picture is gone, and clicks still do no harm.
    for (int k = 0; k < 40; ++k)
        Click(view->viewport()->rect().center());
    EXPECT_GT(view->m_fZoom, 0.0f);
    EXPECT_LT(view->m_fZoom, 0.001f);
    Move(view->viewport()->rect().center());
    EXPECT_EQ(view->StatusText(), "Left clk To Zoom Out");
}

// Zoomed out until the picture is too low for both end labels of its colour scale, the
// scale keeps the top one alone rather than writing the bottom one over it; at full size it
// has both. The labels are written in black left of the scale's bar, on the margin's grey.
TEST_F(WorkModesTest, AColourScaleTooLowForBothEndLabelsKeepsTheTopOne)
{
    Enlarge(600, 500);
    Mode(cmd::ModeZoomOut);
    const struct {
        int clicks;
        bool bottomLabel;
    } cases[] = {{0, true}, {4, false}};
    for (const auto& c : cases) {
        SetZoom(1.0f);
        for (int k = 0; k < c.clicks; ++k)
            Click(At(VoxelCentre(4, 4)));
        const vx::TPointI topLeft = view->MmToClient(frame->GetSlice()->GetTopLeft());
        const vx::TPointI bottomRight = view->MmToClient(frame->GetSlice()->GetBottomRight());
        const QImage& picture = view->Picture();
        const auto labelIn = [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y)
                for (int x = bottomRight.x + 11; x < bottomRight.x + 45; ++x)
                    if (picture.rect().contains(x, y) && picture.pixelColor(x, y).red() < 64)
                        return true;
            return false;
        };
        SCOPED_TRACE(bottomRight.y - topLeft.y);
        EXPECT_TRUE(labelIn(topLeft.y, topLeft.y + 8)) << c.clicks;
        EXPECT_EQ(labelIn(bottomRight.y - 8, bottomRight.y), c.bottomLabel) << c.clicks;
    }
    GrabToPng(frame, "colour_scale_of_a_low_picture");
}

// A map shown from the window's menu, its range -26268 .. 43692 typed into the windowing
// toolbar, the window maximised and the picture 600 pixels high: in the scale as drawn, the
// labels left of its bar (runs of rows with dark ink; the ticks are in the axis colour) are no
// two alike, and each between the ends is centred on a tick.
TEST_F(WorkModesTest, AMaximisedColourScaleWritesEachLabelOnceOnItsTick)
{
    AddRisingMap(*set, "NAA_map");
    ASSERT_TRUE(ChooseFromMenu(Main(), view->viewport(), Qt::RightButton, QPoint(20, 20), "NAA_map").found);
    CWindowingToolBar* bar = Main().WindowingBar();
    for (const auto& [edit, text] : {std::pair{bar->MapMinEdit(), "-26268"}, std::pair{bar->MapMaxEdit(), "43692"}}) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    frame->showMaximized();
    SetZoom(600.0f / TGuiFixture::kImageSide);
    GrabToPng(frame, "colour_scale_maximised");
    const QImage& picture = view->Picture();
    const int top = view->MmToClient(frame->GetSlice()->GetTopLeft()).y;
    const vx::TPointI bottomRight = view->MmToClient(frame->GetSlice()->GetBottomRight());
    const int pane = bottomRight.x;  // the scale's 90 pixels start at the picture's right edge
    const auto dark = [&](int x, int y) { return qGray(picture.pixel(x, y)) < 64; };
    std::vector<int> ticks;
    std::vector<std::pair<int, int>> labels;  // first and last row of each
    for (int y = top; y < bottomRight.y; ++y) {
        if (picture.pixel(pane + 42, y) != picture.pixel(pane + 2, y) && !dark(pane + 42, y))
            ticks.push_back(y);
        bool ink = false;
        for (int x = pane + 11; x < pane + 45; ++x)
            ink = ink || dark(x, y);
        if (ink && !labels.empty() && labels.back().second == y - 1)
            labels.back().second = y;
        else if (ink)
            labels.push_back({y, y});
    }
    ASSERT_GE(ticks.size(), 5u);
    ASSERT_GE(labels.size(), 4u);
    const auto offTick = [&](double y) {
        double nearest = picture.height();
        for (int tick : ticks)
            nearest = std::min(nearest, std::fabs(tick - y));
        return nearest;
    };
    std::vector<QImage> inks;
    for (const auto& [first, last] : labels) {
        inks.push_back(picture.copy(pane + 11, first, 34, last - first + 1));
        for (size_t j = 0; j + 1 < inks.size(); ++j)
            EXPECT_FALSE(inks[j] == inks.back()) << "labels alike at rows " << labels[j].first << " and " << first;
        if (first != labels.front().first && first != labels.back().first) {
            EXPECT_LE(offTick((first + last) / 2.0), 1.5) << "label at rows " << first << ".." << last;
        }
    }
}

TEST_F(WorkModesTest, VoxelShiftPreviewsThenCommitsOneUndoStep)
{
    const std::vector<float> before = RowHeights(*set);
    Mode(cmd::ModeVoxelShift);
    // Eight image pixels of 3.75 mm are one voxel to the right.
    const QPoint start = At(VoxelCentre(3, 0));
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, start);
    QTest::mouseMove(view->viewport(), start + QPoint(8, 0));
    EXPECT_EQ(view->StatusText(), "Voxel Shift by (30mm, 0mm)");
    EXPECT_TRUE(StepNames().empty());
    // The preview moves the plane's grid at once: each voxel shows its right neighbour.
    std::vector<float> preview = RowHeights(*set);
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        EXPECT_NEAR(preview[x], before[(x + 1) % TGuiFixture::kColumns], 1.0f) << x;
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, start + QPoint(8, 0));

    EXPECT_EQ(StepNames(), std::vector<std::string>({"voxel shift"}));
    EXPECT_NEAR(set->m_fOffCentre[0], 30.0f, 1e-3f);
    EXPECT_NEAR(set->m_fOffCentre[1], 0.0f, 1e-3f);
    EXPECT_EQ(set->m_fVoxelShift[0], 0.0f);
    const std::vector<float> shifted = RowHeights(*set);
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        EXPECT_NEAR(shifted[x], before[(x + 1) % TGuiFixture::kColumns], 1.0f) << x;
    ASSERT_TRUE(Main().Action(cmd::EditUndo)->isEnabled());

    Main().Action(cmd::EditUndo)->trigger();
    EXPECT_NEAR(set->m_fOffCentre[0], 0.0f, 1e-3f);
    const std::vector<float> restored = RowHeights(*set);
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        EXPECT_NEAR(restored[x], before[x], 1.0f) << x;
    EXPECT_TRUE(StepNames().empty());
    EXPECT_EQ(StepNames(false), std::vector<std::string>({"voxel shift"}));
    // The frames show the grid back in its place.
    EXPECT_NE(frame->GetSlice(), nullptr);
    EXPECT_NEAR(frame->GetSlice()->GetCentre().x, 0.0f, 1e-3f);
}

TEST_F(WorkModesTest, MultipleSelectionTogglesBandsAndClicksAndRightClickClears)
{
    Mode(cmd::ModeMultiSelect);
    for (int y = 0; y < TGuiFixture::kRows; ++y)
        for (int x = 0; x < TGuiFixture::kColumns; ++x)
            set->GetVoxel(x, y, 0)->m_bSelected = 0;

    // A band from voxel (3, 4) back to (2, 3) selects the four voxels it touches.
    Drag(At(VoxelCentre(3, 4)), At(VoxelCentre(2, 3)));
    EXPECT_EQ(Selected(*set), (std::vector<std::pair<int, int>>{{2, 3}, {3, 3}, {2, 4}, {3, 4}}));
    // A click toggles the one voxel: twice on (2, 3) deselects and selects it again.
    Click(At(VoxelCentre(2, 3)));
    EXPECT_EQ(Selected(*set), (std::vector<std::pair<int, int>>{{3, 3}, {2, 4}, {3, 4}}));
    Click(At(VoxelCentre(6, 0)));
    EXPECT_EQ(Selected(*set).size(), 4u);
    Click(At(VoxelCentre(0, 0)), {}, Qt::RightButton);
    EXPECT_TRUE(Selected(*set).empty());
    Move(At(VoxelCentre(0, 0)));
    EXPECT_EQ(view->StatusText(), "Click or drag to select, right click to deselect");
}

TEST_F(WorkModesTest, SpectraRangeMovesTheFirstPointLeftAndTheLastPointRight)
{
    set->SetPointRange(50, 200);
    Mode(cmd::ModeSpectraRange);
    const QPoint p = At(VoxelCentre(3, 3));
    Drag(p, p + QPoint(12, 0));
    int first = 0, last = 0;
    set->GetPointRange(first, last);
    EXPECT_EQ(first, 62);
    EXPECT_EQ(last, 200);
    Drag(p, p + QPoint(-30, 4), Qt::RightButton);
    set->GetPointRange(first, last);
    EXPECT_EQ(first, 62);
    EXPECT_EQ(last, 170);
    EXPECT_EQ(view->StatusText(), "Spec View Range: 62 to 170");
    EXPECT_EQ(project->m_display.m_nXStart, 62);
    EXPECT_EQ(project->m_display.m_nXEnd, 170);
}

TEST_F(WorkModesTest, ModeButtonsSetTheProjectsHandlerOrOnlyTheButtons)
{
    Mode(cmd::ModeAverageVoxels);
    EXPECT_EQ(project->m_pfnMouseHandler, &CMainPicView::OnMouseAverageVoxels);
    Click(At(VoxelCentre(1, 2)));
    Click(At(VoxelCentre(2, 2)), Qt::ControlModifier);
    ASSERT_EQ(Main().AverageWindows().GetCount(), 1);
    EXPECT_EQ(static_cast<CVoxelWindowBase*>(Main().AverageWindows().GetLast())->GetVoxelCount(), 2);
    EXPECT_EQ(project->m_pWorkSet->GetVoxel(2, 2, 0)->m_bAveraged, 1);

    // Move centre: a click shifts the image by the clicked point, a right click resets it.
    Mode(cmd::ModeMoveCenter);
    const QPoint p = At(TPoint2D(-15.0f, 15.0f));
    Click(p);
    EXPECT_FLOAT_EQ(frame->GetImage()->GetShift().x, -15.0f);
    EXPECT_FLOAT_EQ(frame->GetImage()->GetShift().y, 15.0f);
    Click(p, {}, Qt::RightButton);
    EXPECT_FLOAT_EQ(frame->GetImage()->GetShift().x, 0.0f);

    // Map colour and opacity stay as chosen.
    Main().Action(cmd::MapJet)->trigger();
    Main().Action(cmd::MapOpacityLow)->trigger();
    QApplication::processEvents();
    EXPECT_EQ(project->m_nMapColormap, 3);
    EXPECT_EQ(project->m_nMapOpacity, 2);
    EXPECT_TRUE(Main().Action(cmd::MapJet)->isChecked());
    EXPECT_TRUE(Main().Action(cmd::MapOpacityLow)->isChecked());

    // Without a project only the buttons change; the next project starts in Select voxel.
    g_pProject = nullptr;
    Mode(cmd::ModeZoomOut);
    EXPECT_TRUE(Main().Action(cmd::ModeZoomOut)->isChecked());
    EXPECT_EQ(project->m_pfnMouseHandler, &CMainPicView::OnMouseMoveCenter);
    g_pProject = project;
    Main().ResetWorkMode();
    EXPECT_TRUE(Main().Action(cmd::ModeSelectVoxel)->isChecked());
}

// ---- drawn shapes -------------------------------------------------------------------------

TEST_F(WorkModesTest, PolygonSelectionTogglesTheVoxelsItEnclosesAndRefusesTooFewPoints)
{
    for (int y = 0; y < TGuiFixture::kRows; ++y)
        for (int x = 0; x < TGuiFixture::kColumns; ++x)
            set->GetVoxel(x, y, 0)->m_bSelected = x == 0 ? 1 : 0;
    Mode(cmd::ModePolygonSelect);
    for (const auto& [column, row] : {std::pair{1, 1}, {5, 1}, {5, 5}})
        Click(At(VoxelCentre(column, row)));
    Move(At(VoxelCentre(2, 6)));
    EXPECT_EQ(view->Rubber(), CMainPicView::RubberPolyline);
    EXPECT_EQ(view->RubberPoints().size(), 4);
    Click(At(VoxelCentre(1, 5)), {}, Qt::RightButton);
    std::vector<std::pair<int, int>> expected;
    for (int y = 0; y < TGuiFixture::kRows; ++y)
        for (int x = 0; x < TGuiFixture::kColumns; ++x)
            if (x == 0 || (x <= 5 && y >= 1 && y <= 5))
                expected.push_back({x, y});
    EXPECT_EQ(Selected(*set), expected);
    EXPECT_EQ(view->Rubber(), CMainPicView::NoRubber);

    // Two points make no polygon: nothing changes.
    Click(At(VoxelCentre(6, 6)));
    Click(At(VoxelCentre(7, 7)), {}, Qt::RightButton);
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Invalid polygon."}));
    EXPECT_EQ(Selected(*set), expected);
    // A right click with no polygon under way clears the selection.
    Click(At(VoxelCentre(7, 7)), {}, Qt::RightButton);
    EXPECT_TRUE(Selected(*set).empty());
}

TEST_F(WorkModesTest, ShapeUnderWayGoesWithItsWindow)
{
    Mode(cmd::ModePolygonSelect);
    Click(At(VoxelCentre(1, 1)));
    Click(At(VoxelCentre(5, 1)));
    const CMainPicView* gone = view;
    EXPECT_TRUE(CMainPicView::HasMouseState(gone));
    delete frame;  // the window and its view go with the polygon's plane
    EXPECT_FALSE(CMainPicView::HasMouseState(gone));
    frame = session->FrameTitled("(Coronal) No image @ 100%");
    ASSERT_NE(frame, nullptr);
    view = frame->View();
    // A new polygon begins here; the old one is not closed in a plane it does not belong to.
    Click(At(TPoint2D(-100.0f, 0.0f)), {}, Qt::RightButton);
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_EQ(view->Rubber(), CMainPicView::NoRubber);
}

// After Window > Tile, the voxel window a click opens and the estimate window of drawn
// regions are active when Close Voxel Windows, Clear Region Estimates or Exit takes them.
// No call reaches a window once its destruction has begun; the sanitizer run checks each.
TEST_F(WorkModesTest, ActiveVoxelAndEstimateWindowsGoWithTheirCommandsAndExit)
{
    const CMainPicView::TRegionPainters before = InstallRegionPainters();
    QAction* tile = nullptr;
    for (QAction* menu : Main().menuBar()->actions())
        if (menu->text() == "&Window" && menu->menu())
            for (QAction* action : menu->menu()->actions())
                if (action->text() == "&Tile")
                    tile = action;
    ASSERT_NE(tile, nullptr);
    const auto press = [&](int command) {
        QAction* action = Main().Action(command);
        ASSERT_TRUE(action->isEnabled()) << command;
        action->trigger();
        QApplication::processEvents();
    };
    const auto openVoxel = [&] {
        tile->trigger();
        QApplication::processEvents();
        Click(At(VoxelCentre(3, 4)));
        QApplication::processEvents();
        ASSERT_EQ(Main().SingleVoxelWindows().GetCount(), 1);
        EXPECT_EQ(Main().MdiArea()->activeSubWindow(), Main().SingleVoxelWindows().GetLast());
    };
    const auto openEstimate = [&] {
        Mode(cmd::ModeUserRegion);
        Drag(At(VoxelCentre(2, 2)), At(VoxelCentre(4, 4)));
        press(cmd::RunSpectralEstimation);
        Mode(cmd::ModeSelectVoxel);
        ASSERT_EQ(Main().EstimateWindows().GetCount(), 1);
        EXPECT_EQ(Main().MdiArea()->activeSubWindow(), Main().EstimateWindows().GetLast());
    };

    openVoxel();
    press(cmd::ProjectCloseVoxelWindows);
    EXPECT_EQ(Main().SingleVoxelWindows().GetCount(), 0);
    EXPECT_EQ(set->GetVoxel(3, 4, 0)->m_bShown, 0);

    openEstimate();
    press(cmd::ClearRegionEstimates);
    EXPECT_EQ(Main().EstimateWindows().GetCount(), 0);
    EXPECT_TRUE(project->m_regionEstimates.empty());

    openEstimate();
    openVoxel();
    report.PlanAnswer(vx::ReportAnswer::Yes);
    report.PlanAnswer(vx::ReportAnswer::No);
    press(cmd::FileExit);
    EXPECT_FALSE(Main().isVisible());
    EXPECT_EQ(Main().SingleVoxelWindows().GetCount(), 0);
    EXPECT_EQ(Main().EstimateWindows().GetCount(), 0);
    CMainPicView::SetRegionPainters(before);
}

TEST_F(WorkModesTest, DrawnRegionsReplaceOrJoinAndBecomeAnEstimate)
{
    const CMainPicView::TRegionPainters before = InstallRegionPainters();
    Mode(cmd::ModeUserRegion);
    QToolBar* bar = Main().UserDrawBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->windowTitle(), "User Draw Toolbar");
    EXPECT_EQ(bar->pos(), Main().pos() + QPoint(50, 80));
    EXPECT_TRUE(Main().Action(cmd::DrawRectangle)->isChecked());
    EXPECT_EQ(project->m_pfnMouseHandler, &CMainPicView::OnMouseUserRegion);
    EXPECT_TRUE(view->m_bShowRegions);

    auto regionsOfTheImage = [&]() -> size_t {
        if (project->m_drawnRegions.size() != 1)
            return 0;
        auto* group = dynamic_cast<TDrawnRegionGroup*>(project->m_drawnRegions.begin()->second);
        return group && group->GetImage() == frame->GetImage() ? group->GetRegions().size() : 0;
    };
    // A rectangle from the centre of voxel (2, 2), image pixel (20, 20), to that of (4, 4).
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, At(VoxelCentre(2, 2)));
    QTest::mouseMove(view->viewport(), At(VoxelCentre(4, 4)));
    EXPECT_EQ(view->Rubber(), CMainPicView::RubberRect);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, At(VoxelCentre(4, 4)));
    EXPECT_EQ(regionsOfTheImage(), 1u);
    EXPECT_EQ(view->LayerImage(CMainPicView::RegionLayer).pixelColor(20, 20), QColor(0, 192, 192));
    // With Ctrl an ellipse joins the rectangle; without, a shape replaces them.
    Main().Action(cmd::DrawEllipse)->trigger();
    EXPECT_EQ(project->m_nDrawShape, 1);
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::ControlModifier, At(VoxelCentre(5, 5)));
    QTest::mouseMove(view->viewport(), At(VoxelCentre(6, 6)));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::ControlModifier, At(VoxelCentre(6, 6)));
    EXPECT_EQ(regionsOfTheImage(), 2u);
    Drag(At(VoxelCentre(3, 3)), At(VoxelCentre(5, 4)));
    EXPECT_EQ(regionsOfTheImage(), 1u);

    Main().Action(cmd::RunSpectralEstimation)->trigger();
    ASSERT_EQ(project->m_regionEstimates.size(), 1u);
    EXPECT_TRUE(project->m_drawnRegions.empty());
    EXPECT_EQ(project->m_regionEstimates.front()->m_bWindow, 1);
    EXPECT_EQ(Main().EstimateWindows().GetCount(), 1);

    // A polygon of two points cannot be estimated: it is reported and goes.
    Main().Action(cmd::DrawPolygon)->trigger();
    Click(At(VoxelCentre(1, 1)));
    Click(At(VoxelCentre(2, 3)), {}, Qt::RightButton);
    EXPECT_EQ(regionsOfTheImage(), 1u);
    Main().Action(cmd::RunSpectralEstimation)->trigger();
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Fail to estimate the spectra. Please try a different "
                                                           "region.\nThe region should be inside of both image and "
                                                           "CSI slice."}));
    EXPECT_EQ(project->m_regionEstimates.size(), 1u);
    EXPECT_TRUE(project->m_drawnRegions.empty());

    Main().Action(cmd::ClearRegionEstimates)->trigger();
    EXPECT_TRUE(project->m_regionEstimates.empty());
    EXPECT_EQ(Main().EstimateWindows().GetCount(), 0);
    Mode(cmd::ModeSelectVoxel);
    EXPECT_FALSE(bar->isVisible());
    CMainPicView::SetRegionPainters(before);
}

// ---- history and macro commands ----------------------------------------------------------

class HistoryCommandsTest : public WorkModesTest {
protected:
    // Steps of two kinds, in the order given: 'P' moves the PPM centre to `centre` + k,
    // 'H' phases by k degrees.
    void Perform(const std::string& kinds)
    {
        for (size_t k = 0; k < kinds.size(); ++k) {
            TProcessStep* step = nullptr;
            if (kinds[k] == 'P')
                step = new TPPMCenterStep(set->m_fPPMCentrePoint, 200.0f + k, 0.0f, 0.0f, false, set);
            else
                step = new TPhasingStep(0.0f, 0.01f * k, 0.0f, 0.0f, 0, 0, 0, 0, false, set);
            ASSERT_TRUE(TProcessStep::Perform(step, *project, true)) << k;
        }
        Main().UpdateCommandStates();
    }
    std::vector<std::string> MenuTexts(bool undo)
    {
        QMenu* menu = Main().HistoryMenu(undo);
        EXPECT_NE(menu, nullptr);
        emit menu->aboutToShow();
        std::vector<std::string> texts;
        for (QAction* entry : menu->actions())
            texts.push_back(entry->text().toStdString());
        return texts;
    }
};

TEST_F(HistoryCommandsTest, DropDownsListTheStepNamesAndUndoOrRedoSeveralAtOnce)
{
    Perform("PPHPHP");
    const std::vector<std::string> names = {"PPM referencing", "phase correction", "PPM referencing",
                                            "phase correction", "PPM referencing", "PPM referencing"};
    EXPECT_EQ(MenuTexts(true), names);
    EXPECT_TRUE(MenuTexts(false).empty());

    // The third entry undoes three steps: the centre is that of the third step again.
    QMenu* undo = Main().HistoryMenu(true);
    undo->actions().at(2)->trigger();
    EXPECT_FLOAT_EQ(project->m_pWorkSet->m_fPPMCentrePoint, 201.0f);
    EXPECT_EQ(MenuTexts(false), std::vector<std::string>(names.rbegin() + 3, names.rend()));
    EXPECT_EQ(MenuTexts(true), std::vector<std::string>(names.begin() + 3, names.end()));
    Main().HistoryMenu(false)->actions().at(1)->trigger();
    EXPECT_EQ(MenuTexts(false).size(), 1u);
    EXPECT_TRUE(Main().Action(cmd::EditRedo)->isEnabled());

    // However many steps there are, a list shows ten.
    Perform("PPPPPPPPPPPP");
    EXPECT_EQ(MenuTexts(true).size(), 10u);
}

TEST_F(HistoryCommandsTest, ClearAllAsksAndEmptiesTheHistoryUnlessNo)
{
    Perform("PH");
    report.PlanAnswer(vx::ReportAnswer::No);
    Main().Action(cmd::EditClearAll)->trigger();
    EXPECT_EQ(report.Questions(),
              std::vector<std::string>({"All the unsaved operations will be cleared. Do you want to continue?"}));
    EXPECT_EQ(StepNames().size(), 2u);

    report.PlanAnswer(vx::ReportAnswer::Yes);
    Main().Action(cmd::EditClearAll)->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(StepNames().empty());
    EXPECT_FALSE(Main().Action(cmd::EditUndo)->isEnabled());
    EXPECT_FALSE(Main().Action(cmd::EditClearAll)->isEnabled());
}

TEST_F(HistoryCommandsTest, AnUndoThatFailsOnAFullDiskCanBeTriedAgain)
{
    const std::vector<float> before = RowHeights(*set);
    const std::string stateFile = "Can not write CSI data set file " + project->StateFolder().Path() + "/vs";
    Mode(cmd::ModeVoxelShift);
    // A shift whose state cannot be kept is not done, and the message says so.
    vx::TFile::FailWritesAfter(0);
    Drag(At(VoxelCentre(3, 3)), At(VoxelCentre(3, 3)) + QPoint(8, 0));
    vx::TFile::FailWritesAfter(-1);
    QApplication::processEvents();
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({stateFile + "0.tmp.\r\nThe step was not done: the disk is full."}));
    EXPECT_EQ(RowHeights(*set), before);
    EXPECT_TRUE(StepNames().empty());
    report.Clear();

    Drag(At(VoxelCentre(3, 3)), At(VoxelCentre(3, 3)) + QPoint(8, 0));
    Perform("P");
    const std::vector<float> shifted = RowHeights(*set);
    ASSERT_NE(shifted, before);
    ASSERT_EQ(StepNames(), std::vector<std::string>({"PPM referencing", "voxel shift"}));

    // The PPM step needs no file; the shift's state exchange finds the disk full.
    vx::TFile::FailWritesAfter(0);
    Main().Action(cmd::EditUndo)->trigger();
    Main().Action(cmd::EditUndo)->trigger();
    vx::TFile::FailWritesAfter(-1);
    QApplication::processEvents();
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({stateFile + "1.tmp.\r\nThe undo was not done: the disk is full."}));
    EXPECT_EQ(RowHeights(*set), shifted);
    EXPECT_EQ(StepNames(), std::vector<std::string>({"voxel shift"}));
    EXPECT_TRUE(Main().Action(cmd::EditUndo)->isEnabled());

    Main().Action(cmd::EditUndo)->trigger();
    const std::vector<float> restored = RowHeights(*set);
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        EXPECT_NEAR(restored[x], before[x], 1.0f) << x;
    EXPECT_TRUE(StepNames().empty());
    EXPECT_EQ(StepNames(false), std::vector<std::string>({"voxel shift", "PPM referencing"}));
}

// Undo states are kept only in the work folder: where it cannot be made, a step that keeps
// one is not done, the message says why, and no state goes into the project folder itself.
TEST_F(HistoryCommandsTest, AStepWhoseWorkFolderCannotBeMadeIsNotDone)
{
    const std::string folder = project->GetFolder(), work = folder + "/.vexara";
    vx::RemoveFolderTree(work);
    WriteBytes(work, "a file where the work folder would be");
    const auto names = [&] {
        std::vector<std::string> out;
        for (const vx::TFolderEntry& entry : vx::test::ListedEntries(folder))
            out.push_back(entry.name);
        return out;
    };
    const std::vector<std::string> files = names();
    const std::vector<float> before = RowHeights(*set);
    Mode(cmd::ModeVoxelShift);
    Drag(At(VoxelCentre(3, 3)), At(VoxelCentre(3, 3)) + QPoint(8, 0));
    QApplication::processEvents();
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({"The work folder " + work + " is a file, not a folder, so the work set was "
                                        "not changed. Remove it to change the work set."}));
    EXPECT_EQ(RowHeights(*set), before);
    EXPECT_TRUE(StepNames().empty());
    EXPECT_EQ(names(), files);
    vx::RemoveFile(work);
}

TEST_F(HistoryCommandsTest, RecordedStepsGoToTheMacroFileAndAFailedWriteIsReported)
{
    Perform("P");  // before the recording: not in the macro
    Main().Action(cmd::MacroStartRecording)->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(project->m_bRecording);
    EXPECT_FALSE(Main().Action(cmd::MacroStartRecording)->isEnabled());
    Mode(cmd::ModeVoxelShift);
    Drag(At(VoxelCentre(3, 3)), At(VoxelCentre(3, 3)) + QPoint(8, 0));
    Main().Action(cmd::MacroEndRecording)->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(project->m_bRecording);

    TTempFolder folder;
    TScriptedFileChooser chooser(folder.File("steps"));
    Main().Action(cmd::MacroSave)->trigger();
    ASSERT_EQ(chooser.Requests().size(), 1u);
    EXPECT_EQ(chooser.Requests()[0].title, "Save macro file...");
    EXPECT_TRUE(chooser.Requests()[0].save);
    // The file reads back as the one recorded step: the shift of one voxel to the right.
    vx::TTextFile file;
    ASSERT_TRUE(file.Open(folder.File("steps.mcr"), vx::TTextFile::Mode::Read));
    std::string header;
    ASSERT_TRUE(file.ReadString(header));
    EXPECT_EQ(header, "#Vexara Macro File#");
    std::list<TProcessStep*> steps;
    EXPECT_TRUE(ReadMacroSteps(file, steps));
    ASSERT_EQ(steps.size(), 1u);
    auto* shift = dynamic_cast<TVoxelShiftStep*>(steps.front());
    ASSERT_NE(shift, nullptr);
    EXPECT_NEAR(shift->m_fNewCentre[0], 30.0f, 1e-3f);
    EXPECT_NEAR(shift->m_fNewCentre[1], 0.0f, 1e-3f);
    for (TProcessStep* step : steps)
        delete step;
    file.Close();

    // Loaded on the set as it was, the macro moves the grid the same way, as one step.
    Main().Action(cmd::EditUndo)->trigger();
    ASSERT_NEAR(set->m_fOffCentre[0], 0.0f, 1e-3f);
    const std::vector<float> before = RowHeights(*set);
    chooser.Answer(folder.File("steps.mcr"));
    QApplication::processEvents();
    ASSERT_TRUE(Main().Action(cmd::MacroLoad)->isEnabled());
    Main().Action(cmd::MacroLoad)->trigger();
    EXPECT_EQ(chooser.Requests().back().title, "Load Macro File...");
    EXPECT_NEAR(set->m_fOffCentre[0], 30.0f, 1e-3f);
    EXPECT_EQ(StepNames(), std::vector<std::string>({"macro", "PPM referencing"}));
    const std::vector<float> after = RowHeights(*set);
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        EXPECT_NEAR(after[x], before[(x + 1) % TGuiFixture::kColumns], 1.0f) << x;

    // A name that has the extension keeps it; a folder that is not there is reported.
    chooser.Answer(folder.File("again.MCR"));
    Main().Action(cmd::MacroSave)->trigger();
    EXPECT_TRUE(vx::FileExists(folder.File("again.MCR")));
    EXPECT_FALSE(vx::FileExists(folder.File("again.MCR.mcr")));
    const std::string missing = folder.File("missing") + "/steps.mcr";
    chooser.Answer(missing);
    Main().Action(cmd::MacroSave)->trigger();
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Can not write macro file " + missing}));
}

// Macro > Load of a file of another kind (a PAR-like text, the binary project file) says
// so; an empty file, like one of the header alone, is a macro of no steps, which does
// nothing without a word. The set and the history stay as they were.
TEST_F(HistoryCommandsTest, LoadingAFileThatIsNoMacroSaysSoAndAnEmptyOneDoesNothing)
{
    TTempFolder folder;
    const std::string text = folder.File("scan.PAR"), empty = folder.File("empty.mcr");
    const std::string header = folder.File("header.mcr");
    WriteBytes(text, "# === DATA DESCRIPTION FILE ===\r\n.    Patient name : x\r\n<action>?\r\n");
    WriteBytes(empty, "");
    WriteBytes(header, "#Vexara Macro File#\r\n\r\n");
    const std::vector<float> before = RowHeights(*set);
    TScriptedFileChooser chooser;
    for (const std::string& path : {text, fixture.ProjectPath(), empty, header}) {
        SCOPED_TRACE(path);
        report.Clear();
        chooser.Answer(path);
        ASSERT_TRUE(Main().Action(cmd::MacroLoad)->isEnabled());
        Main().Action(cmd::MacroLoad)->trigger();
        QApplication::processEvents();
        const bool macro = path == empty || path == header;
        EXPECT_EQ(report.Messages(),
                  macro ? std::vector<std::string>{}
                        : std::vector<std::string>({"Can not run macro file " + path + " because it is not a macro file."}));
        EXPECT_TRUE(StepNames().empty());
        EXPECT_EQ(RowHeights(*set), before);
    }
}

}  // namespace
