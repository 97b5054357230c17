// The image windows on the main road: the fixture project opened from the command line
// gives one slice window per axis, titled by its plane, whose composed pictures show the
// grid, the spectra, the image under them and the grey margins at the places the view's
// own millimetre conversion gives.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QMdiArea>

#include <cmath>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVexaraApp.h"
#include "app/TImageFrameList.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/GuiFixture.h"
#include "support/GuiGrab.h"
#include "support/GuiSessionTest.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "views/picture/CMainPicView.h"

using namespace vx::test;

namespace {

const QColor kBlue(0, 0, 255), kRed(255, 0, 0), kGrey(128, 128, 128), kBlack(0, 0, 0);

QColor At(const CMainPicView& view, vx::TPointI p)
{
    return view.Picture().pixelColor(p.x, p.y);
}

// True when a pixel of the colour lies within `radius` of p.
bool ColourNear(const CMainPicView& view, vx::TPointI p, const QColor& colour, int radius)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint q(p.x + dx, p.y + dy);
            if (view.Picture().rect().contains(q) && view.Picture().pixelColor(q) == colour)
                return true;
        }
    return false;
}

// Client pixel of a data point of a grid cell: point i across, value v upwards, in the
// cell (column, row) of a slice shown over `grid` (layer pixels), with the display block's
// ranges; an independent reading of how a cell's plot is laid out.
vx::TPointI CellPoint(const CMainPicView& view, const TCSISlice& slice, int column, int row, float i, float v,
                      const TSpectrumDisplayParams& display)
{
    const TPixelRect grid = view.GetSliceRect();
    const double cw = double(grid.right - grid.left) / slice.GetColumns();
    const double ch = double(grid.bottom - grid.top) / slice.GetRows();
    const double left = grid.left + column * cw, top = grid.top + row * ch;
    const double x = left + (i - display.m_nXStart) / double(display.m_nXEnd - display.m_nXStart) * cw;
    const double y = top + (display.m_fYMax - v) / double(display.m_fYMax - display.m_fYMin) * ch;
    return {int(x - view.m_ptScroll.x), int(y - view.m_ptScroll.y)};
}

class ImageWindowsTest : public ::testing::Test {
protected:
    void SetUp() override { vx::ResetGlobals(); }
    void TearDown() override { vx::ResetGlobals(); }
    TScriptedReport report;
};

TEST_F(ImageWindowsTest, CommandLineProjectOpensOneSliceWindowPerAxisTitledByPlane)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    TTempFolder programFolder;
    CVexaraApp app;
    app.SetProgramFolder(programFolder.Path());
    ASSERT_TRUE(app.InitInstance({QString::fromStdString(fixture.ProjectPath())}));
    CMainFrame* frame = app.MainFrame();
    frame->resize(1280, 800);
    QApplication::processEvents();
    ASSERT_NE(g_pProject, nullptr);
    auto* list = dynamic_cast<TImageFrameList*>(g_pProject->m_frameList.get());
    ASSERT_NE(list, nullptr);

    const std::vector<CChildFrame*> frames = list->Frames();
    ASSERT_EQ(frames.size(), 3u);
    const std::string titles[3] = {"(Sagittal) No image @ 100%", "(Coronal) No image @ 100%",
                                   "(Axial) axial_1 @ 100%"};
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(frames[axis]->windowTitle().toStdString(), titles[axis]);
        EXPECT_EQ(frames[axis]->m_nKind, CChildFrame::kSliceFrame);
        EXPECT_EQ(frames[axis]->m_nAxis, axis);
        ASSERT_NE(frames[axis]->GetSlice(), nullptr);
        EXPECT_TRUE(frames[axis]->isVisible());
    }
    for (CChildFrame* child : frames)
        EXPECT_TRUE(frame->MdiArea()->subWindowList().contains(child));
    // Only the axial window shows an image, so only the axial list holds one.
    ASSERT_EQ(list->GetImagesOfOrientation(2).size(), 1u);
    EXPECT_EQ(list->GetImagesOfOrientation(2)[0]->GetName(), "axial_1");
    EXPECT_TRUE(list->GetImagesOfOrientation(0).empty());
    EXPECT_TRUE(list->GetImagesOfOrientation(1).empty());
    EXPECT_EQ(report.Count(), 0u);

    EXPECT_FALSE(GrabToPng(frame, "mainroad_02_project_open").isEmpty());
    report.PlanAnswer(vx::ReportAnswer::Yes);
    frame->close();
    app.ExitInstance();
}

class OpenFixtureTest : public GuiSessionTest {
protected:
    CChildFrame* Frame(const std::string& title)
    {
        CChildFrame* frame = session->FrameTitled(title);
        EXPECT_NE(frame, nullptr) << title;
        return frame;
    }
};

TEST_F(OpenFixtureTest, CoronalPictureShowsGridSpectraScaleColumnAndMargins)
{
    CChildFrame* frame = Frame("(Coronal) No image @ 100%");
    ASSERT_NE(frame, nullptr);
    const CMainPicView& view = *frame->View();
    const TCSISlice& slice = *frame->GetSlice();
    const TSpectrumDisplayParams display = session->Project()->m_display;
    ASSERT_FALSE(view.Picture().isNull());
    EXPECT_EQ(view.Picture().size(), view.viewport()->size());

    // The picture (240 x 10 mm at one pixel per mm, plus its scale column) is smaller than
    // the window: it sits in the middle of grey margins.
    const vx::TPointI topLeft = view.MmToClient(slice.GetTopLeft());
    const vx::TPointI bottomRight = view.MmToClient(slice.GetBottomRight());
    EXPECT_EQ(bottomRight.x - topLeft.x, 240);
    EXPECT_EQ(bottomRight.y - topLeft.y, 10);
    EXPECT_LT(view.m_ptScroll.x, 0.0f);
    EXPECT_EQ(At(view, {topLeft.x - 2, topLeft.y + 5}), kGrey);
    EXPECT_EQ(At(view, {topLeft.x + 100, topLeft.y - 2}), kGrey);
    EXPECT_EQ(At(view, {topLeft.x + 100, bottomRight.y + 1}), kGrey);
    // The scale column without a map is plain grey.
    for (int dx : {1, 45, 60, 88})
        EXPECT_EQ(At(view, {bottomRight.x + dx, topLeft.y + 5}), kGrey) << dx;

    // The line between columns 3 and 4 lies at x = 0 mm, the left edge at -120 mm; the
    // plane's vertical axis (the set's z) runs from -5 to 5 mm.
    const float z = slice.GetTopLeft().y;
    for (float x : {-120.0f, 0.0f, 30.0f})
        EXPECT_EQ(At(view, view.MmToClient(TPoint2D(x, z + 2.0f))), kBlue) << x;
    // Inside cells there is no grid colour; the spectrum runs along the baseline far from
    // the line and rises at the line's point in every column.
    EXPECT_EQ(At(view, view.MmToClient(TPoint2D(-115.0f, z + 2.0f))), kBlack);
    for (int column = 0; column < 8; ++column) {
        EXPECT_TRUE(ColourNear(view, CellPoint(view, slice, column, 0, 30.0f, 0.0f, display), kRed, 1)) << column;
        const float peak = TGuiFixture::PeakHeight(column);
        EXPECT_TRUE(ColourNear(view, CellPoint(view, slice, column, 0, TGuiFixture::kPeakPoint, peak, display),
                               kRed, 1))
            << column;
    }
}

TEST_F(OpenFixtureTest, AxialPictureOrsTheGridOverTheImageAndDoublesAtZoomTwo)
{
    CChildFrame* frame = Frame("(Axial) axial_1 @ 100%");
    ASSERT_NE(frame, nullptr);
    CMainPicView& view = *frame->View();
    EXPECT_TRUE(view.m_bShowImage);
    EXPECT_TRUE(view.m_bShowCSISlice);
    EXPECT_EQ(view.m_strOrientLabels, "RA");

    // Grey level of a stored value in the image's window 0..1000, at full weight (no map).
    auto grey = [](int value) { return value * 255 / 1000; };
    const float cell = 30.0f;  // mm
    const TPoint2D corner = frame->GetSlice()->GetTopLeft();
    for (int row = 0; row < 8; ++row)
        for (int column = 1; column < 8; ++column) {
            const int value = TGuiFixture::ImageValue(8 * column, 8 * row);
            // A vertical grid line, then a pixel in the top part of the cell above the
            // spectrum: line colour OR image grey, and the image grey alone.
            const vx::TPointI line = view.MmToClient(TPoint2D(corner.x + column * cell, corner.y + row * cell + 12));
            const vx::TPointI inside =
                view.MmToClient(TPoint2D(corner.x + column * cell + 12, corner.y + row * cell + 6));
            EXPECT_EQ(At(view, line), QColor(grey(value), grey(value), 255)) << column << "," << row;
            EXPECT_EQ(At(view, inside), QColor(grey(value), grey(value), grey(value))) << column << "," << row;
        }
    // The image's colour scale: grey from black at the bottom to white at the top.
    const vx::TPointI bottomRight = view.MmToClient(frame->GetSlice()->GetBottomRight());
    const vx::TPointI topLeft = view.MmToClient(corner);
    const QColor top = At(view, {bottomRight.x + 56, topLeft.y + 1});
    const QColor bottom = At(view, {bottomRight.x + 56, bottomRight.y - 1});
    EXPECT_GT(top.red(), 240);
    EXPECT_EQ(top.red(), top.blue());
    EXPECT_LT(bottom.red(), 15);
    EXPECT_EQ(At(view, {bottomRight.x + 2, (topLeft.y + bottomRight.y) / 2}), kGrey);

    // At twice the size the grid spans twice the pixels, and the title says so.
    view.m_fZoom = 2.0f;
    view.RepaintAllLayers();
    frame->resize(2 * 64 + 110, 2 * 64 + 40 + 20);
    view.ComposeLayers();
    frame->UpdateTitle();
    QApplication::processEvents();
    EXPECT_EQ(frame->windowTitle().toStdString(), "(Axial) axial_1 @ 200%");
    const vx::TPointI zoomedTopLeft = view.MmToClient(corner);
    const vx::TPointI zoomedBottomRight = view.MmToClient(frame->GetSlice()->GetBottomRight());
    EXPECT_EQ(zoomedBottomRight.x - zoomedTopLeft.x, 128);
    EXPECT_EQ(zoomedBottomRight.y - zoomedTopLeft.y, 128);
    EXPECT_FALSE(GrabToPng(frame, "imagewindow_axial_200").isEmpty());
}

}  // namespace
