// What the tools of the spectrum view draw over the current voxel: prompts, read-outs and
// summaries, lines at the pixels of the view's own plot mapping, the phase strips and the
// zoom box.
#include <gtest/gtest.h>

#include <QScrollBar>

#include <cmath>
#include <functional>
#include <numbers>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "model/TIntegralRegion.h"
#include "model/math/TextHelpers.h"
#include "views/spectrum/TToolRecords.h"
#include "views/VoxelWindowFixture.h"

using namespace vx;
using namespace vx::test;

namespace {

class SpectrumToolDrawingTest : public VoxelWindowTest {
protected:
    // The texts at the tools' lines, (0, 0), (0, 20) and (0, 40), in order.
    static std::vector<std::string> ToolTexts(const TRecordingCanvas& dc)
    {
        std::vector<std::string> texts;
        for (const TCanvasOp& op : dc.OpsOf("text"))
            if (op.args[0] == 0 && (op.args[1] == 0 || op.args[1] == 20 || op.args[1] == 40))
                texts.push_back(op.text);
        return texts;
    }
    // The x of every vertical line in the mark colour over the whole plot height.
    static std::vector<int> MarkLines(const TRecordingCanvas& dc, const CVoxelWndView& view)
    {
        const TPixelRect plot = view.m_plot.GetPixelRect();
        std::vector<int> xs;
        for (const TCanvasOp& op : dc.OpsOf("line"))
            if (op.color == view.m_crMark && op.args[0] == op.args[2] && op.args[1] == plot.top &&
                op.args[3] == plot.bottom)
                xs.push_back(op.args[0]);
        return xs;
    }
};

TEST_F(SpectrumToolDrawingTest, PositionToolsDrawPromptsLinesAndSummaries)
{
    CVoxelWindow* window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    CVoxelWndView& view = *window->View();
    const auto region = [](int start, int end, bool startSet, bool endSet) {
        auto tool = std::make_unique<TRegionTool>();
        tool->m_nStart = start;
        tool->m_nEnd = end;
        tool->m_bStartSet = startSet;
        tool->m_bEndSet = endSet;
        return tool;
    };
    const auto peakFind = [](int set) {
        auto tool = std::make_unique<TPeakFindTool>();
        tool->m_nStart = 100, tool->m_nEnd = 150, tool->m_nNoiseStart = 20, tool->m_nNoiseEnd = 40;
        tool->m_bStartSet = set > 0, tool->m_bEndSet = set > 1, tool->m_bNoiseStartSet = set > 2;
        tool->m_bNoiseEndSet = set > 3;
        return tool;
    };
    // Peaks 10..12, 30..32, ... completed, the pending one from 200 to 230, `cursor` under
    // the pointer; the record of a baseline fit or of an analysis.
    const auto peaks = [](bool analysis, int count, bool startFixed, int cursor) {
        std::unique_ptr<TPeakListTool> tool =
            analysis ? std::make_unique<TAnalysisPeakTool>() : std::make_unique<TPeakListTool>();
        for (int k = 0; k < count; ++k)
            tool->m_peaks[k][0] = 10 + 20 * k % 240, tool->m_peaks[k][1] = 12 + 20 * k % 240;
        if (count < TPeakListTool::kMaxPeaks)
            tool->m_peaks[count][0] = 200, tool->m_peaks[count][1] = 230;
        tool->m_nCount = count;
        tool->m_bStartFixed = startFixed || count == TPeakListTool::kMaxPeaks;
        tool->m_bFull = count == TPeakListTool::kMaxPeaks;
        tool->m_nCursor = cursor;
        return tool;
    };
    const auto value = [&](int point) { return ", val: " + FloatToStringG(view.DisplayedValue(Voxel(3, 4), point), 3); };
    std::vector<int> all;
    for (int k = 0; k < TPeakListTool::kMaxPeaks; ++k)
        all.insert(all.end(), {10 + 20 * k % 240, 12 + 20 * k % 240});
    // Map peaks: the first `set` ends of 100, 150, 20, 40 picked, the next under the pointer.
    const auto map = [](int selector, int set) {
        auto tool = std::make_unique<TMapTool>();
        tool->m_nSelector = selector;
        const int bounds[4] = {100, 150, 20, 40};
        for (int k = 0; k < 4; ++k)
            tool->m_bounds[k] = bounds[k], tool->m_bSet[k] = k < set;
        return tool;
    };
    const std::string at = "Current Position: ";
    // {mode, unit, record, texts with # for the position of the point that follows, lines}
    const struct {
        int mode;
        int unit;
        std::function<std::unique_ptr<TToolRecord>()> record;
        std::vector<std::pair<std::string, std::vector<int>>> texts;  // pieces and the points between them
        std::vector<int> lines;
    } cases[] = {
        {14, 0, [&] { return region(100, 0, false, false); },
         {{"Please select region start for peak alignment", {}}, {at + "#", {100}}}, {100}},
        {14, 2, [&] { return region(100, 150, true, false); },
         {{"Please select region end for peak alignment", {}}, {at + "#", {150}}}, {100, 150}},
        {14, 1, [&] { return region(100, 150, true, true); }, {{"Area start: #, area end: #", {100, 150}}}, {100, 150}},
        {17, 0, [&] { return region(100, 150, true, false); },
         {{"Please select the postion that you want to move the peak to", {}}, {at + "#", {150}}}, {100, 150}},
        {17, 3, [&] { return region(100, 150, true, true); },
         {{"Old position: #, New position: #", {100, 150}}}, {100, 150}},
        {18, 0, [&] { return region(30, 0, false, false); },
         {{"Please select the start of the lipid region", {}}, {at + "#", {30}}}, {30}},
        {19, 0, [&] { return region(30, 60, true, false); },
         {{"Please select the end of the water region", {}}, {at + "#", {60}}}, {30, 60}},
        {20, 2, [&] { return region(30, 60, true, true); }, {{"Area start: #, area end: #", {30, 60}}}, {30, 60}},
        {10, 0, [&] { return peaks(false, 0, false, 90); },
         {{"Please select the start of a peak, or click on Apply", {}}, {at + "#" + value(200), {200}}}, {200}},
        {11, 2, [&] { return peaks(false, 2, true, 90); },
         {{"Please select the end of a peak", {}}, {at + "#" + value(230), {230}}}, {10, 12, 30, 32, 200, 230}},
        {12, 0, [&] { return peaks(true, 0, false, 90); },
         {{"Please select the start of the peak", {}}, {at + "#", {90}}}, {90}},
        {13, 2, [&] { return peaks(true, 2, true, 220); },
         {{"Please select the end of the peak", {}}, {at + "#", {220}}}, {10, 12, 30, 32, 200, 220}},
        {10, 0, [&] { return peaks(false, 50, true, 220); },
         {{"Maximum number of peaks is reached. Click on Apply to apply.", {}}}, all},
        {7, 0, [&] { return map(0, 1); },
         {{"Please select the other end of the peak", {}}, {at + "#", {150}}}, {100, 150}},
        {7, 2, [&] { return map(0, 2); }, {{"Area start: #, Area end: #", {100, 150}}}, {100, 150}},
        {7, 0, [&] { return map(1, 0); }, {{"Please select one end of the first peak:", {}}, {at + "#", {100}}}, {100}},
        {7, 0, [&] { return map(1, 2); },
         {{"First peak start: #, end: #", {100, 150}}, {"Please select one end of the second peak:", {}},
          {at + "#", {20}}},
         {100, 150, 20}},
        {7, 0, [&] { return map(1, 3); },
         {{"First peak start: #, end: #", {100, 150}}, {"Please select the other end of the second peak", {}},
          {at + "#", {40}}},
         {100, 150, 20, 40}},
        {7, 1, [&] { return map(1, 4); },
         {{"First peak start: #, end: #", {100, 150}}, {"Second peak start: #, end: #", {20, 40}}},
         {100, 150, 20, 40}},
        {15, 0, [&] { return peakFind(0); }, {{"Please select region start for peak find", {}}, {at + "#", {100}}},
         {100}},
        {15, 0, [&] { return peakFind(2); },
         {{"Please select the start of noise region", {}}, {at + "#", {20}}}, {100, 150, 20}},
        {15, 2, [&] { return peakFind(3); },
         {{"Please select the end of noise region", {}}, {at + "#", {40}}}, {100, 150, 20, 40}},
        {15, 2, [&] { return peakFind(4); },
         {{"Area start: #, area end: #, noise start: #, noise end: #", {100, 150, 20, 40}}}, {100, 150, 20, 40}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", " << c.texts.front().first);
        view.SetUnit(c.unit);
        view.m_nToolMode = c.mode;
        view.m_tool = c.record();
        const TRecordingCanvas dc = Record(view, 600, 300);
        std::vector<std::string> texts;
        for (const auto& [pieces, points] : c.texts) {
            std::string text;
            size_t next = 0;
            for (char ch : pieces)
                text += ch == '#' ? set->FormatAxisValue(static_cast<float>(points.at(next++)), c.unit) : std::string(1, ch);
            texts.push_back(text);
        }
        EXPECT_EQ(ToolTexts(dc), texts);
        std::vector<int> lines;
        for (int point : c.lines)
            lines.push_back(view.m_plot.DataToPixel(TPoint2D(static_cast<float>(point), 0.0f)).x);
        EXPECT_EQ(MarkLines(dc, view), lines);
    }
}

TEST_F(SpectrumToolDrawingTest, DisplayToolsDrawTheirMarksAndPhaseStrips)
{
    CVoxelWindow* window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    CVoxelWndView& view = *window->View();
    const auto pixel = [&](float point) { return view.m_plot.DataToPixel(TPoint2D(point, 0.0f)).x; };

    // PPM centre: the chosen and the pointer's position, the latter as a point index.
    auto centre = std::make_unique<TPPMCentreTool>();
    centre->m_fChosen = 100.0f;
    centre->m_fPointer = 150.5f;
    view.SetUnit(2);
    view.m_nToolMode = 1;
    view.m_tool = std::move(centre);
    TRecordingCanvas dc = Record(view, 600, 300);
    EXPECT_EQ(ToolTexts(dc), std::vector<std::string>{"Current Position: 150.5"});
    EXPECT_EQ(MarkLines(dc, view), (std::vector<int>{pixel(100.0f), pixel(150.5f)}));

    // Zoom box dragged from the bottom right to the top left: its outline, and a range in
    // ascending order whose top-left corner maps back onto the corner pixel.
    auto zoom = std::make_unique<TZoomTool>();
    auto* box = zoom.get();
    box->m_bDragging = 1;
    box->m_nAnchorX = 400, box->m_nAnchorY = 200, box->m_nCornerX = 150, box->m_nCornerY = 60;
    view.m_nToolMode = 3;
    view.m_tool = std::move(zoom);
    dc = Record(view, 600, 300);
    const std::vector<TCanvasOp> outline = dc.OpsOf("polyline");
    ASSERT_FALSE(outline.empty());
    EXPECT_EQ(outline.back().args, (std::vector<int>{400, 200, 400, 60, 150, 60, 150, 200, 400, 200}));
    EXPECT_LT(box->m_fXFirst, box->m_fXLast);
    EXPECT_LT(box->m_fYBottom, box->m_fYTop);
    const TPointI topLeft = view.m_plot.DataToPixel(TPoint2D(box->m_fXFirst, box->m_fYTop));
    EXPECT_NEAR(topLeft.x, 150, 1);
    EXPECT_NEAR(topLeft.y, 60, 1);
    // A typed range draws no box.
    box->m_bDragging = 0;
    EXPECT_EQ(Record(view, 600, 300).OpsOf("polyline").size(), outline.size() - 1);

    // Phase over three copies: three zero lines, the texts, the pivot, the hover read-out
    // and the two bars beside and below the strips.
    auto phase = std::make_unique<TPhaseTool>();
    for (int k = 0; k < 3; ++k)
        phase->m_display.push_back(std::make_unique<TSpectrum>(*Voxel(k, 4)));
    phase->m_fPhase0 = std::numbers::pi_v<float> / 4;
    phase->m_fPhase1 = -std::numbers::pi_v<float>;
    phase->m_nPivot = 182;
    phase->m_bHover = 1;
    phase->m_nHoverPoint = 90;
    view.m_nToolMode = 2;
    view.m_tool = std::move(phase);
    dc = Record(view, 600, 300);
    std::set<int> zeroRows;
    for (const TCanvasOp& op : dc.OpsOf("line"))
        if (op.color == view.m_crMark2 && op.args[1] == op.args[3])
            zeroRows.insert(op.args[1]);
    EXPECT_EQ(zeroRows.size(), 3u);
    EXPECT_EQ(ToolTexts(dc), (std::vector<std::string>{"Constant Phase: 45 degrees", "Linear Phase: -180 degrees",
                                                       "Pivot at: 182"}));
    EXPECT_TRUE(Contains(dc.Texts(), "Current Position: " + set->FormatAxisValue(90.0f, 2)));
    std::vector<std::pair<int, TColor>> lines;
    for (const TCanvasOp& op : dc.OpsOf("line"))
        if (op.args[1] == 0 && op.args[3] == 300 - 45)
            lines.emplace_back(op.args[0], op.color);
    EXPECT_EQ(lines, (std::vector<std::pair<int, TColor>>{{pixel(182.0f), view.m_crMark2}, {pixel(90.0f), view.m_crMark}}));
    EXPECT_EQ(view.m_scrollV->geometry(), QRect(600 - 18, 0, 15, 300 - 20));
    EXPECT_EQ(view.m_scrollH1->geometry(), QRect(5, 300 - 18, 600 - 25, 15));
    EXPECT_FALSE(view.m_scrollV->isHidden());
}

TEST_F(SpectrumToolDrawingTest, LineWidthToolsPreviewTheFilterUnderItsWindow)
{
    CVoxelWindow* window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    CVoxelWndView& view = *window->View();
    const TSpectrum& voxel = *Voxel(3, 4);
    // {mode, widths, filter of the preview, first text}
    const struct {
        int mode;
        float width, width2;
        std::function<bool(TSpectrum&)> filter;
        std::string text;
    } cases[] = {
        {4, 12.5f, 0.0f, [](TSpectrum& s) { return s.ApodizeGaussian(12.5f); }, "Line Width: 12.5 Hz"},
        {5, 0.0f, 0.0f, [](TSpectrum& s) { return s.ApodizeExponential(0.0f); }, "Line Width: 0 Hz"},
        {6, 3.0f, 7.25f, [](TSpectrum& s) { return s.ApodizeLorentzGauss(3.0f, 7.25f); },
         "Lorentzian LineWidth: 3Hz, Gaussian LineWidth: 7.25Hz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto tool = std::make_unique<TLineWidthTool>();
        tool->m_pSource = std::make_unique<TSpectrum>(voxel);
        tool->m_fWidth = c.width;
        tool->m_fWidth2 = c.width2;
        auto* record = tool.get();
        view.m_nToolMode = c.mode;
        view.m_tool = std::move(tool);
        const TRecordingCanvas dc = Record(view, 600, 400);
        EXPECT_EQ(ToolTexts(dc), (std::vector<std::string>{c.text, "Existing LineWidth: Lorentzian: 0Hz, Gaussian: 0Hz"}));
        // The preview is the source through the filter and the transform.
        TSpectrum expected(voxel);
        ASSERT_TRUE(c.filter(expected) && expected.ToFrequencyDomain());
        expected.FFTShift();
        ASSERT_NE(record->m_pDisplay, nullptr);
        for (int i = 0; i < voxel.m_nPoints; ++i)
            ASSERT_EQ(record->m_pDisplay->Data()[i], expected.Data()[i]) << i;
        EXPECT_EQ(view.m_scrollH1->isHidden(), c.mode != 6);
        view.m_scrollH1->hide();
        if (c.width != 0.0f)
            continue;
        // No broadening: the window is flat at half the largest magnitude of the upper plot
        // (values from the largest magnitude down to its negative over rows 5 to the split).
        const int top = 5, split = 400 - 25 - (400 - 25 - 5) / 2 - 20;
        size_t flat = 0;
        for (const TCanvasOp& op : dc.OpsOf("line"))
            if (op.color == view.m_crMark) {
                EXPECT_NEAR(op.args[1], top + (split - top) / 4.0, 1.0);
                EXPECT_EQ(op.args[1], op.args[3]);
                ++flat;
            }
        EXPECT_GT(flat, 0u);
    }
    // The convolution difference shows only its preview, its width and the vertical bar.
    auto baseline = std::make_unique<TLineWidthTool>();
    baseline->m_pDisplay = std::make_unique<TSpectrum>(voxel);
    baseline->m_fWidth = 512.25f;
    view.m_nToolMode = 9;
    view.m_tool = std::move(baseline);
    EXPECT_EQ(ToolTexts(Record(view, 600, 400)), std::vector<std::string>{"Line Width: 512.25 Hz"});
    EXPECT_EQ(view.m_scrollV->geometry(), QRect(600 - 20, 5, 15, 400 - 10));
}

TEST_F(SpectrumToolDrawingTest, IntegralToolDrawsTheRunningIntegralAndMakesTheRegion)
{
    CVoxelWindow* window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    CVoxelWndView& view = *window->View();
    const TSpectrum& voxel = *Voxel(3, 4);
    auto tool = std::make_unique<TIntegralTool>();
    auto* record = tool.get();
    record->m_nStart = 170, record->m_nEnd = 195, record->m_nCursor = 182;
    record->m_bStartSet = 1;
    view.m_nToolMode = 16;
    view.m_tool = std::move(tool);
    // One end: the prompt and no region yet.
    TRecordingCanvas dc = Record(view, 600, 300);
    EXPECT_EQ(ToolTexts(dc), (std::vector<std::string>{"Please select region end for peak integral",
                                                       "Current Position: " + set->FormatAxisValue(195.0f, 0)}));
    EXPECT_EQ(view.MakeIntegral(), nullptr);

    record->m_bEndSet = 1;
    record->m_fOffset = 0.5f, record->m_fSlope = -0.25f, record->m_fScale = 2.0f;
    dc = Record(view, 600, 300);
    // The running sum of real part + i * slope + offset from the start, scaled, at the
    // shown points from x0 on.
    const int x0 = view.GetDisplayParams().m_nXStart;
    double sum = 0, atCursor = 0;
    for (int i = 0; i <= 25; ++i) {
        sum += voxel.GetReal(170 + i) + i * -0.25 + 0.5;
        ASSERT_NEAR(record->m_curve.at(170 + i - x0), 2 * sum, 1e-3 * std::abs(sum) + 1e-3) << i;
        atCursor = 170 + i == 182 ? sum : atCursor;
    }
    const std::vector<std::string> texts = ToolTexts(dc);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Area start: " + set->FormatAxisValue(170.0f, 0) + ", area end: " +
                            set->FormatAxisValue(195.0f, 0) + " Current Position: " +
                            set->FormatAxisValue(182.0f, 0) + " Integral: " +
                            FloatToStringG(static_cast<float>(atCursor), 3));
    EXPECT_EQ(texts[1], "Offset: .5, Slope: -.25, ZoomFactor: 2");
    EXPECT_EQ(view.m_scrollH2->geometry(), QRect(300, 300 - 15, 300, 15));

    std::unique_ptr<TIntegralRegion> region(view.MakeIntegral());
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region->m_fStart, set->PointToUnit(170.0f, kUnitPPM));
    EXPECT_EQ(region->m_fEnd, set->PointToUnit(195.0f, kUnitPPM));
    EXPECT_NEAR(region->m_fIntegral, sum, 1e-3 * std::abs(sum));
    EXPECT_EQ(region->m_fNormalized, region->m_fIntegral);
    EXPECT_EQ(region->m_fOffset, 0.5f);
    EXPECT_EQ(region->m_fSlope, -0.25f);
    EXPECT_EQ(region->m_strName, set->FormatAxisValue(182.5f, kUnitPPM));
    // Another tool makes none.
    view.m_nToolMode = 14;
    EXPECT_EQ(view.MakeIntegral(), nullptr);
}

}  // namespace
