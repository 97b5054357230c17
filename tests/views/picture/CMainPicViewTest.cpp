// The picture view's layers: what repaints which layer, the composition with its margins
// and scrolling, the conversions between client pixels and millimetres, the grid's
// solid and dotted lines, unselected spectra, labels and the shrinking zoom.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "app/CChildFrame.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/GuiFixture.h"
#include "support/GuiGrab.h"
#include "support/ScriptedReport.h"
#include "views/picture/CMainPicView.h"

using namespace vx::test;

namespace {

const QColor kBlue(0, 0, 255), kRed(255, 0, 0), kGreen(0, 255, 0), kGrey(128, 128, 128), kBlack(0, 0, 0);

struct TPaintCounts {
    int counts[CMainPicView::LayerCount];
    explicit TPaintCounts(const CMainPicView& view)
    {
        for (int k = 0; k < CMainPicView::LayerCount; ++k)
            counts[k] = view.LayerPaintCount(CMainPicView::Layer(k));
    }
    bool operator==(const TPaintCounts& o) const { return std::equal(counts, counts + CMainPicView::LayerCount, o.counts); }
};

// Restores the layer size limit however a test ends.
struct TLayerLimitGuard {
    int64_t old = CMainPicView::MaxLayerPixels();
    ~TLayerLimitGuard() { CMainPicView::SetMaxLayerPixels(old); }
};

class PicViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vx::ResetGlobals();
        ASSERT_TRUE(fixture.Ok());
        session = std::make_unique<TGuiSession>(fixture);
        ASSERT_TRUE(session->Ok());
        axial = session->FrameTitled("(Axial) axial_1 @ 100%");
        coronal = session->FrameTitled("(Coronal) No image @ 100%");
        ASSERT_NE(axial, nullptr);
        ASSERT_NE(coronal, nullptr);
    }
    void TearDown() override
    {
        session.reset();
        vx::ResetGlobals();
    }
    static QColor At(const CMainPicView& view, vx::TPointI p) { return view.Picture().pixelColor(p.x, p.y); }
    // An 8 x 8 map "NAA_map" of the work set holding value(x, y), with its range and display
    // range 1 .. top, shown over the axial image; false when it cannot be.
    bool ShowMap(const std::function<float(int, int)>& value, float top)
    {
        TProject* project = session->Project();
        auto* map = new TMap(project->m_pWorkSet);
        const int dim[3] = {8, 8, 1};
        std::vector<TComplex> values;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                values.emplace_back(value(x, y), 0.0f);
        if (!map->SetGrid(dim, values)) {
            delete map;
            return false;
        }
        map->name = "NAA_map";
        std::copy(project->m_pWorkSet->m_fFOV, project->m_pWorkSet->m_fFOV + 3, map->fov);
        map->minReal = map->displayMin = 1.0f;
        map->maxReal = map->displayMax = top;
        project->m_pWorkSet->AddMap(map);
        return axial->AddMapOverlay(map, 2, 0.0f);
    }
    // Zooms the view and repaints every layer, as the zoom modes do.
    static void Zoom(CMainPicView& view, float zoom)
    {
        view.m_fZoom = zoom;
        view.RepaintAllLayers();
        view.ComposeLayers();
    }

    TScriptedReport report;
    TGuiFixture fixture;
    std::unique_ptr<TGuiSession> session;
    CChildFrame* axial = nullptr;
    CChildFrame* coronal = nullptr;
};

TEST_F(PicViewTest, HoveringAndScrollingNeverRepaintALayer)
{
    CMainPicView& view = *axial->View();
    Zoom(view, 6.0f);  // 384 x 384 pixels: larger than the window both ways
    QApplication::processEvents();
    ASSERT_TRUE(view.horizontalScrollBar()->isVisible());
    ASSERT_TRUE(view.verticalScrollBar()->isVisible());
    const TPaintCounts before(view);
    const QImage start = view.Picture();

    for (int k = 0; k < 20; ++k) {
        view.SetStatusText(QString("(%1mm, 0mm), (%2,0)").arg(k).arg(k / 4));
        view.viewport()->repaint();
    }
    EXPECT_EQ(view.StatusText(), "(19mm, 0mm), (4,0)");
    EXPECT_EQ(view.Picture(), start) << "the status text is not part of the picture";

    // Scrolling moves the picture by the bar's step: what was at (x + d) is now at x.
    const int dx = 7, dy = 5;
    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->value() + dx);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->value() + dy);
    EXPECT_EQ(view.m_ptScroll.x, float(view.horizontalScrollBar()->value()));
    EXPECT_EQ(view.m_ptScroll.y, float(view.verticalScrollBar()->value()));
    const QImage& moved = view.Picture();
    for (int y = 0; y + dy < moved.height(); y += 13)
        for (int x = 0; x + dx < moved.width(); x += 11)
            ASSERT_EQ(moved.pixel(x, y), start.pixel(x + dx, y + dy)) << x << "," << y;
    view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.m_ptScroll.y, float(view.verticalScrollBar()->value()));
    EXPECT_TRUE(TPaintCounts(view) == before);
}

TEST_F(PicViewTest, PictureSitsCentredOnGreyInAWiderWindow)
{
    CMainPicView& view = *axial->View();
    axial->resize(500, 400);
    QApplication::processEvents();
    const int cw = view.viewport()->width(), ch = view.viewport()->height();
    const int w = 64, h = 64;
    EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
    EXPECT_FALSE(view.verticalScrollBar()->isVisible());
    EXPECT_EQ(view.m_ptScroll.x, float(-((cw - w - 90) / 2)));
    EXPECT_EQ(view.m_ptScroll.y, float(-((ch - h) / 2)));
    const vx::TPointI topLeft = view.MmToClient(axial->GetSlice()->GetTopLeft());
    EXPECT_EQ(topLeft.x, (cw - w - 90) / 2);
    EXPECT_EQ(topLeft.y, (ch - h) / 2);
    EXPECT_EQ(At(view, {topLeft.x - 1, topLeft.y + 10}), kGrey);
    EXPECT_EQ(At(view, {topLeft.x + 10, topLeft.y - 1}), kGrey);
    EXPECT_EQ(At(view, {topLeft.x + w + 90, topLeft.y + 10}), kGrey);
    EXPECT_EQ(At(view, {topLeft.x + 10, topLeft.y + h}), kGrey);
    EXPECT_EQ(At(view, {topLeft.x + 2, topLeft.y + 1}), kBlack) << "a dark cell above its spectrum";
}

TEST_F(PicViewTest, ClientPixelsAndMillimetresConvertBothWays)
{
    const struct {
        bool image;
        float zoom;
        int scroll;  // bar positions when the picture is larger than the window
    } cases[] = {{true, 1.0f, 0}, {true, 2.5f, 0}, {true, 7.0f, 31}, {false, 1.0f, 0}, {false, 3.0f, 17}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.image) + " " + std::to_string(c.zoom));
        CChildFrame* frame = c.image ? axial : coronal;
        CMainPicView& view = *frame->View();
        Zoom(view, c.zoom);
        if (c.scroll) {
            view.horizontalScrollBar()->setValue(c.scroll);
            view.verticalScrollBar()->setValue(c.scroll / 2);
        }
        // One display pixel, in mm: an image pixel is 240 / 64 mm, else one mm.
        const float pixel = c.image ? 240.0f / 64.0f : 1.0f;
        const TCSISlice& slice = *frame->GetSlice();
        const TPoint2D corner = slice.GetTopLeft();
        for (float u : {0.0f, 0.3f, 0.77f})
            for (float v : {0.0f, 0.5f, 0.9f}) {
                const TPoint2D mm(corner.x + u * slice.GetFOVX(), corner.y + v * slice.GetFOVY());
                const vx::TPointI client = view.MmToClient(mm);
                const TPoint2D back = view.ClientToMm(client.x, client.y);
                EXPECT_NEAR(back.x, mm.x, pixel) << u << "," << v;
                EXPECT_NEAR(back.y, mm.y, pixel) << u << "," << v;
                // Independently: the corner's client pixel plus the zoomed display offset.
                const vx::TPointI origin = view.MmToClient(corner);
                EXPECT_NEAR(client.x - origin.x, std::floor(u * slice.GetFOVX() / pixel) * c.zoom, c.zoom + 1);
            }
        Zoom(view, 1.0f);
    }
}

TEST_F(PicViewTest, HidingTheGridRepaintsOnlyTheCSILayer)
{
    CMainPicView& view = *axial->View();
    const TPoint2D corner = axial->GetSlice()->GetTopLeft();
    // A vertical grid line over a dark image cell: blue with the grid, black without.
    const vx::TPointI line = view.MmToClient(TPoint2D(corner.x + 60.0f, corner.y + 12.0f));
    ASSERT_EQ(At(view, line), kBlue);
    const TPaintCounts before(view);
    view.m_bShowCSISlice = false;
    view.Redraw(true, false, false, false, false);
    EXPECT_EQ(At(view, line), kBlack);
    const TPaintCounts after(view);
    for (int k = 0; k < CMainPicView::LayerCount; ++k)
        EXPECT_EQ(after.counts[k], before.counts[k] + (k == CMainPicView::CSILayer ? 1 : 0)) << k;
}

TEST_F(PicViewTest, UnselectedSpectraVanishButTheGridStays)
{
    CMainPicView& view = *coronal->View();
    const TCSISlice& slice = *coronal->GetSlice();
    const float top = slice.GetTopLeft().y;
    // Column x's cell spans -120 + 30x .. -90 + 30x mm; its baseline lies at mid-height.
    auto baseline = [&](int column) { return view.MmToClient(TPoint2D(-120.0f + 30.0f * column + 4.0f, top + 5.0f)); };
    auto spectrumNear = [&](int column, const QColor& colour) {
        const vx::TPointI p = baseline(column);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (view.Picture().pixelColor(p.x + dx, p.y + dy) == colour)
                    return true;
        return false;
    };
    const vx::TPointI line = view.MmToClient(TPoint2D(0.0f, top + 2.0f));
    ASSERT_TRUE(spectrumNear(2, kRed));
    ASSERT_TRUE(spectrumNear(5, kRed));

    TSpectrum* chosen = slice.GetVoxel(5, 0);
    ASSERT_NE(chosen, nullptr);
    chosen->m_bSelected = 1;
    view.m_bShowUnselected = false;
    view.Redraw(true, false, false, false, false);
    EXPECT_FALSE(spectrumNear(2, kRed));
    EXPECT_FALSE(spectrumNear(2, kGreen));
    EXPECT_TRUE(spectrumNear(5, kGreen)) << "a selected voxel keeps its state colour";
    EXPECT_EQ(At(view, line), kBlue);

    // One voxel's cell repaints by itself: no whole layer is painted.
    const TPaintCounts before(view);
    chosen->m_bSelected = 0;
    TSpectrum* other = slice.GetVoxel(2, 0);
    other->m_bSelected = 1;
    session->Project()->RedrawVoxelSet({other});
    EXPECT_TRUE(spectrumNear(2, kGreen));
    EXPECT_TRUE(TPaintCounts(view) == before);
}

TEST_F(PicViewTest, GridIsDottedOnceTheImageLiesHalfAMillimetreAway)
{
    const struct {
        float offset;  // mm between the image and the plane's centre
        bool dotted;
    } cases[] = {{0.0f, false}, {0.4f, false}, {0.5f, true}, {-0.6f, true}, {3.0f, true}};
    TMRImage* image = axial->GetImage();
    CMainPicView& view = *axial->View();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        image->SetParameter(c.offset, TMRImage::ParamSlicePosition, false);
        axial->UpdateView(true, false, false, false, false);
        ASSERT_EQ(axial->GetSlice()->GetSlicePosition(), 0.0f);
        // Along the middle horizontal line of the CSI layer itself.
        const QImage& layer = view.LayerImage(CMainPicView::CSILayer);
        const TPixelRect grid = view.GetSliceRect();
        const int y = (grid.top + grid.bottom) / 2;
        // (The highest spectrum of the row below touches the line in one place.)
        int blue = 0, gaps = 0;
        for (int x = grid.left + 1; x < grid.right - 1; ++x) {
            blue += layer.pixelColor(x, y) == kBlue;
            gaps += layer.pixelColor(x, y) == kBlack;
        }
        EXPECT_GT(blue, 10);
        if (c.dotted)
            EXPECT_GT(gaps, 10);
        else
            EXPECT_EQ(gaps, 0);
    }
}

TEST_F(PicViewTest, LabelsAreWrittenOnlyForTwoLetters)
{
    CMainPicView& view = *axial->View();
    axial->resize(400, 300);
    QApplication::processEvents();
    auto labelPixels = [&] {
        int n = 0;
        for (int y = 0; y < view.Picture().height(); ++y)
            for (int x = 0; x < view.Picture().width(); ++x)
                n += view.Picture().pixelColor(x, y) == QColor(250, 250, 250);
        return n;
    };
    EXPECT_EQ(view.m_strOrientLabels, "RA");
    const int both = labelPixels();
    EXPECT_GT(both, 0);
    for (const char* labels : {"", "R", "RAH"}) {
        view.m_strOrientLabels = labels;
        view.ComposeLayers();
        EXPECT_EQ(labelPixels(), 0) << labels;
    }
}

TEST_F(PicViewTest, LayersThatCannotBeMadeShrinkTheZoomUntilTheyFit)
{
    TLayerLimitGuard guard;
    CMainPicView& view = *axial->View();
    // Room for a 100 x 100 layer only: 6 x 64 = 384 pixels must shrink below that.
    CMainPicView::SetMaxLayerPixels(100 * 100);
    view.m_fZoom = 6.0f;
    view.RepaintAllLayers();
    EXPECT_LT(view.m_fZoom, 6.0f);
    EXPECT_GT(view.m_fZoom, 0.0f);
    for (int k = 0; k < CMainPicView::LayerCount; ++k) {
        const QImage& layer = view.LayerImage(CMainPicView::Layer(k));
        if (layer.isNull())
            continue;
        EXPECT_LE(int64_t(layer.width()) * layer.height(), 100 * 100) << k;
    }
    // Every layer ends at the one zoom: the CSI layer covers the image layer's picture.
    const int w = view.LayerImage(CMainPicView::ImageLayer).width() - CMainPicView::kScaleWidth;
    EXPECT_EQ(view.LayerImage(CMainPicView::CSILayer).width(), w);

    // A picture shrunk to nothing paints nothing and is not an endless failure.
    CMainPicView::SetMaxLayerPixels(int64_t(1) << 25);
    view.m_fZoom = 1e-6f;
    view.RepaintAllLayers();
    view.ComposeLayers();
    EXPECT_TRUE(view.LayerImage(CMainPicView::CSILayer).isNull());
    EXPECT_TRUE(view.LayerImage(CMainPicView::ImageLayer).isNull());
    EXPECT_EQ(view.m_fZoom, 1e-6f);
    QApplication::processEvents();
    EXPECT_EQ(report.Count(), 0u);
}

// The "Hot" table written out: red rises first, then green, then blue.
QColor Hot(int v)
{
    const int r = v < 96 ? int(v * 2.65625) : 255;
    const int g = v < 96 ? 0 : v < 192 ? int((v - 96) * 2.65625) : 255;
    const int b = v < 192 ? 0 : int((v - 192) * 255 * 0.015625);
    return QColor(r, g, b);
}

TEST_F(PicViewTest, MapOverlayBlendsAtTheProjectOpacity)
{
    // A map of the grid whose column x holds x + 1 (display range 1 .. 8): grey level
    // trunc(x * 1000 / 7) * 255 / 1000 in the hot table.
    TProject* project = session->Project();
    ASSERT_TRUE(ShowMap([](int x, int) { return float(x + 1); }, 8.0f));
    project->m_nMapColormap = 1;

    CMainPicView& view = *axial->View();
    const TPoint2D corner = axial->GetSlice()->GetTopLeft();
    const struct {
        int opacity;
        float image, map;
    } cases[] = {{0, 0.3f, 0.7f}, {1, 0.5f, 0.5f}, {2, 0.7f, 0.3f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opacity);
        project->m_nMapOpacity = c.opacity;
        view.Redraw(false, true, false, false, false);
        for (int column = 1; column < 8; ++column) {
            const int row = column % 2 == 0 ? 1 : 0;  // a bright image cell
            const int imageGrey = TGuiFixture::ImageValue(8 * column, 8 * row) * 255 / 1000;
            const QColor hot = Hot(column * 1000 / 7 * 255 / 1000);
            const int base = int(imageGrey * c.image);
            auto blend = [&](int channel) { return std::min(255, int(channel * double(c.map) + base)); };
            const vx::TPointI p = view.MmToClient(TPoint2D(corner.x + column * 30 + 12, corner.y + row * 30 + 6));
            EXPECT_EQ(At(view, p), QColor(blend(hot.red()), blend(hot.green()), blend(hot.blue()))) << column;
        }
    }
    // Without the image the map alone fills the grid, at full strength.
    view.m_bShowImage = false;
    view.Redraw(false, true, false, false, false);
    for (int column = 1; column < 8; ++column) {
        const vx::TPointI p = view.MmToClient(TPoint2D(corner.x + column * 30 + 12, corner.y + 6));
        EXPECT_EQ(At(view, p), Hot(column * 1000 / 7 * 255 / 1000)) << column;
    }
    // The scale column runs through the hot table from the bottom to the top.
    const vx::TPointI bottomRight = view.MmToClient(axial->GetSlice()->GetBottomRight());
    const vx::TPointI topLeft = view.MmToClient(corner);
    const QColor top = At(view, {bottomRight.x + 56, topLeft.y});
    EXPECT_EQ(top.red(), 255);
    EXPECT_EQ(top.green(), 255);
    EXPECT_GT(top.blue(), 200);
    EXPECT_EQ(At(view, {bottomRight.x + 56, bottomRight.y - 1}), kBlack);
}

// A map over an image whose pixels do not fall on the CSI cells (FOV 250 mm against the
// grid's 240 mm): at every zoom each cell's colour reaches exactly to the grid lines around
// it (an overlay sampled per image pixel ends up to one image pixel away from them). The
// samples are taken inside neighbouring cells and along the line between them, found
// through the view's own conversion of millimetres to client pixels.
TEST_F(PicViewTest, MapCellsMeetTheGridLinesAtEveryZoom)
{
    TMRImage* image = axial->GetImage();
    ASSERT_NE(image, nullptr);
    image->SetParameter(250.0f, TMRImage::ParamFOVX, false);
    image->SetParameter(250.0f, TMRImage::ParamFOVY, false);
    image->SetStoredWindow(5000, 6000);  // the image black: only the map adds colour
    ASSERT_TRUE(ShowMap([](int x, int y) { return float(1 + x + 8 * y); }, 64.0f));
    CMainPicView& view = *axial->View();
    // The cells hold the map's colour and the grid lines, nothing else.
    view.m_bShowUnselected = false;
    view.m_strOrientLabels = "";
    axial->resize(400, 300);
    QApplication::processEvents();

    // A point inside a cell, off its middle where the (hidden) spectrum's baseline runs.
    const TPoint2D corner = axial->GetSlice()->GetTopLeft();
    const auto centre = [&](int column, int row) {
        return view.MmToClient(TPoint2D(corner.x + 30.0f * column + 10.0f, corner.y + 30.0f * row + 10.0f));
    };
    for (const float zoom : {1.0f, 2.0f, 3.0f, 4.0f, 6.5f}) {
        SCOPED_TRACE(zoom);
        Zoom(view, zoom);
        const QImage& picture = view.Picture();
        const auto inside = [&](vx::TPointI p) { return p.x >= 0 && p.y >= 0 && p.x < picture.width() && p.y < picture.height(); };
        int lines = 0;
        // From the centre of one cell to the centre of the next, across and down: the
        // first cell's colour, one grid line, the second cell's colour.
        for (int k = 0; k < 8; ++k)
            for (int i = 1; i < 8; ++i)
                for (const bool across : {true, false}) {
                    const vx::TPointI from = across ? centre(i - 1, k) : centre(k, i - 1);
                    const vx::TPointI to = across ? centre(i, k) : centre(k, i);
                    if (!inside(from) || !inside(to))
                        continue;
                    const QColor first = At(view, from), second = At(view, to);
                    ASSERT_NE(first, second);
                    std::string walk;
                    const int length = across ? to.x - from.x : to.y - from.y;
                    for (int d = 0; d <= length; ++d) {
                        const QColor c = At(view, across ? vx::TPointI{from.x + d, from.y} : vx::TPointI{from.x, from.y + d});
                        // The grid's blue goes over the layers below it; no map colour is
                        // that blue.
                        const char letter = c == first ? 'a' : c.blue() == 255 ? '|' : c == second ? 'b' : '?';
                        if (walk.empty() || walk.back() != letter)
                            walk += letter;
                    }
                    EXPECT_EQ(walk, "a|b") << (across ? "across" : "down") << " cell " << i << " of " << k;
                    ++lines;
                }
        EXPECT_GT(lines, 10);
        if (zoom == 4.0f) {
            EXPECT_FALSE(GrabToPng(axial, "map_overlay_on_grid_zoom400").isEmpty());
        }
    }
    EXPECT_EQ(report.Count(), 0u);
}

}  // namespace
