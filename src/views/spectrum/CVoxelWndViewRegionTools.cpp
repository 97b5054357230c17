// The overlays of the tools that mark positions on the current voxel's spectrum: one
// interval or two positions (modes 14 and 17 to 20), the peak and noise intervals of the
// peak finding (mode 15), the peaks of a baseline fit or an analysis (modes 10 to 13), the
// one or two peaks of a map (mode 7) and the integral region with its running integral
// (mode 16). Unfixed positions follow the
// pointer; fixed ones stay as lines, and once the last is fixed a summary replaces the
// prompts.
#include <QScrollBar>

#include <algorithm>
#include <string>

#include "model/TCSISet.h"
#include "model/TIntegralRegion.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/spectrum/CVoxelWndView.h"

namespace {

struct TRegionTexts {
    const char* firstPrompt;
    const char* secondPrompt;
    const char* startLabel;
    const char* endLabel;
};

// The texts of modes 14, 17, 18, 19 and 20; null for any other mode.
const TRegionTexts* RegionTexts(int mode)
{
    static const TRegionTexts kTexts[] = {
        {"Please select region start for peak alignment", "Please select region end for peak alignment",
         "Area start: ", ", area end: "},
        {"Please select the peak that you want to move", "Please select the postion that you want to move the peak to",
         "Old position: ", ", New position: "},
        {"Please select the start of the lipid region", "Please select the end of the lipid region", "Area start: ",
         ", area end: "},
        {"Please select the start of the water region", "Please select the end of the water region", "Area start: ",
         ", area end: "},
        {"Please select region start for peak removal", "Please select region end for peak removal", "Area start: ",
         ", area end: "},
    };
    if (mode == 14)
        return &kTexts[0];
    if (mode >= 17 && mode <= 20)
        return &kTexts[mode - 16];
    return nullptr;
}

constexpr const char* kCurrentPosition = "Current Position: ";

}  // namespace

void CVoxelWndView::BeginMarks(vx::TCanvas& dc) const
{
    dc.SetPen(m_crMark, 1, vx::PenStyle::Solid);
    dc.SetTextColor(m_crText);
    dc.SetBackground(m_crBackground, true);
}

void CVoxelWndView::MarkPoint(vx::TCanvas& dc, float point) const
{
    const TPixelRect plot = m_plot.GetPixelRect();
    const int x = m_plot.DataToPixel(TPoint2D(point, 0.0f)).x;
    dc.MoveTo(x, plot.top);
    dc.LineTo(x, plot.bottom);
}

void CVoxelWndView::PickPrompt(vx::TCanvas& dc, const std::string& prompt, int point, int line) const
{
    dc.Text(0, line, prompt);
    MarkPoint(dc, static_cast<float>(point));
    dc.Text(0, line + 20, kCurrentPosition + PositionText(point));
}

std::string CVoxelWndView::PositionText(int point) const
{
    const TSpectrum* voxel = GetCurrentVoxel();
    return voxel && voxel->m_pDataSet ? voxel->m_pDataSet->FormatAxisValue(static_cast<float>(point), PlotUnit(voxel))
                                      : FloatToString(static_cast<float>(point), 0);
}

void CVoxelWndView::DrawRegionTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    const auto* tool = ToolAs<TRegionTool>();
    const TRegionTexts* texts = RegionTexts(m_nToolMode);
    if (!voxel || !tool || !texts)
        return;
    DrawFullPlot(dc, voxel, client);
    BeginMarks(dc);
    if (tool->m_bStartSet)
        MarkPoint(dc, tool->m_nStart);
    if (tool->m_bEndSet)
        MarkPoint(dc, tool->m_nEnd);
    if (!tool->m_bStartSet || !tool->m_bEndSet) {
        // The position being chosen follows the pointer.
        const int moving = tool->m_bStartSet ? tool->m_nEnd : tool->m_nStart;
        PickPrompt(dc, tool->m_bStartSet ? texts->secondPrompt : texts->firstPrompt, moving, 0);
    } else {
        dc.Text(0, 0,
                texts->startLabel + PositionText(tool->m_nStart) + texts->endLabel + PositionText(tool->m_nEnd));
    }
    dc.SetBackground(m_crBackground, false);
}

void CVoxelWndView::DrawPeakFindTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    const auto* tool = ToolAs<TPeakFindTool>();
    if (!voxel || !tool)
        return;
    DrawFullPlot(dc, voxel, client);
    BeginMarks(dc);
    // The four positions in the order they are chosen.
    const struct {
        int point;
        bool set;
        const char* prompt;
    } positions[] = {
        {tool->m_nStart, tool->m_bStartSet != 0, "Please select region start for peak find"},
        {tool->m_nEnd, tool->m_bEndSet != 0, "Please select region end for peak find"},
        {tool->m_nNoiseStart, tool->m_bNoiseStartSet != 0, "Please select the start of noise region"},
        {tool->m_nNoiseEnd, tool->m_bNoiseEndSet != 0, "Please select the end of noise region"},
    };
    for (const auto& p : positions)
        if (p.set)
            MarkPoint(dc, p.point);
    for (const auto& p : positions)
        if (!p.set) {
            PickPrompt(dc, p.prompt, p.point, 0);
            dc.SetBackground(m_crBackground, false);
            return;
        }
    dc.Text(0, 0,
            "Area start: " + PositionText(tool->m_nStart) + ", area end: " + PositionText(tool->m_nEnd) +
                ", noise start: " + PositionText(tool->m_nNoiseStart) + ", noise end: " +
                PositionText(tool->m_nNoiseEnd));
    dc.SetBackground(m_crBackground, false);
}

void CVoxelWndView::DrawPeakListTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    const auto* tool = ToolAs<TPeakListTool>();
    if (!voxel || !tool)
        return;
    // The baseline fit follows the pending boundary itself and reads its value; an
    // analysis follows the cursor.
    const bool analysis = m_nToolMode == 12 || m_nToolMode == 13;
    DrawFullPlot(dc, voxel, client);
    BeginMarks(dc);
    // The count comes from the mouse handlers; only pairs inside the table are read.
    const int count = std::clamp(tool->m_nCount, 0, TPeakListTool::kMaxPeaks);
    for (int k = 0; k < count; ++k) {
        MarkPoint(dc, tool->m_peaks[k][0]);
        MarkPoint(dc, tool->m_peaks[k][1]);
    }
    if (tool->m_bFull || count == TPeakListTool::kMaxPeaks) {
        dc.Text(0, 0, "Maximum number of peaks is reached. Click on Apply to apply.");
    } else {
        const int* pending = tool->m_peaks[count];
        if (tool->m_bStartFixed)
            MarkPoint(dc, pending[0]);
        const int moving = analysis ? tool->m_nCursor : pending[tool->m_bStartFixed ? 1 : 0];
        if (analysis)
            dc.Text(0, 0, tool->m_bStartFixed ? "Please select the end of the peak" : "Please select the start of the peak");
        else
            dc.Text(0, 0, tool->m_bStartFixed ? "Please select the end of a peak"
                                              : "Please select the start of a peak, or click on Apply");
        MarkPoint(dc, moving);
        std::string readout = kCurrentPosition + PositionText(moving);
        if (!analysis)
            readout += ", val: " + FloatToStringG(DisplayedValue(voxel, moving), 3);
        dc.Text(0, 20, readout);
    }
    dc.SetBackground(m_crBackground, false);
}

void CVoxelWndView::DrawIntegralTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    auto* tool = ToolAs<TIntegralTool>();
    if (!voxel || !tool)
        return;
    DrawPlotInRect(dc, voxel, client, false, false);
    BeginMarks(dc);
    if (tool->m_bStartSet)
        MarkPoint(dc, tool->m_nStart);
    if (tool->m_bEndSet)
        MarkPoint(dc, tool->m_nEnd);
    if (!tool->m_bStartSet || !tool->m_bEndSet) {
        const int moving = tool->m_bStartSet ? tool->m_nEnd : tool->m_nStart;
        PickPrompt(dc,
                   tool->m_bStartSet ? "Please select region end for peak integral"
                                     : "Please select region start for peak integral",
                   moving, 0);
    } else {
        // The running sum of the region's real parts with the baseline's offset and slope,
        // kept for the points shown; region points outside them have no element.
        const int x0 = static_cast<int>(m_plot.m_fX0);
        const int shown = std::max(static_cast<int>(m_plot.m_fX1 - m_plot.m_fX0 + 1.0f), 0);
        tool->m_curve.assign(static_cast<size_t>(shown), 0.0f);
        float sum = 0.0f;
        for (int i = 0; i <= tool->m_nEnd - tool->m_nStart; ++i) {
            sum += voxel->GetReal(tool->m_nStart + i) + static_cast<float>(i) * tool->m_fSlope + tool->m_fOffset;
            const int k = tool->m_nStart + i - x0;
            if (k >= 0 && k < shown)
                tool->m_curve[static_cast<size_t>(k)] = sum * tool->m_fScale;
        }
        DrawCurveInColour(dc, tool->m_curve, m_crMark3);
        const int cursor = tool->m_nCursor - x0;
        const float integral = cursor >= 0 && cursor < shown && tool->m_fScale != 0.0f
                                   ? tool->m_curve[static_cast<size_t>(cursor)] / tool->m_fScale
                                   : 0.0f;
        dc.Text(0, 0,
                "Area start: " + PositionText(tool->m_nStart) + ", area end: " + PositionText(tool->m_nEnd) +
                    " Current Position: " + PositionText(tool->m_nCursor) +
                    " Integral: " + FloatToStringG(integral, 3));
        dc.SetPen(m_crMark, 1, vx::PenStyle::Solid);
        MarkPoint(dc, tool->m_nCursor);
        dc.Text(0, 20,
                "Offset: " + FloatToString(tool->m_fOffset, 5) + ", Slope: " + FloatToString(tool->m_fSlope, 5) +
                    ", ZoomFactor: " + FloatToString(tool->m_fScale, 2));
    }
    dc.SetBackground(m_crBackground, false);
    const int width = client.right - client.left, height = client.bottom - client.top;
    m_scrollV->setGeometry(client.right - 15, client.top, 15, height - 15);
    m_scrollH1->setGeometry(client.left, client.bottom - 15, width / 2, 15);
    m_scrollH2->setGeometry(client.left + width / 2, client.bottom - 15, width / 2, 15);
    for (QScrollBar* bar : {m_scrollV, m_scrollH1, m_scrollH2})
        bar->show();
}

TIntegralRegion* CVoxelWndView::MakeIntegral() const
{
    const auto* tool = ToolAs<TIntegralTool>();
    const TCSISet* set = g_pProject ? g_pProject->m_pWorkSet : nullptr;
    if (m_nToolMode != 16 || !tool || !tool->m_bStartSet || !tool->m_bEndSet || !set)
        return nullptr;
    const float start = static_cast<float>(tool->m_nStart), end = static_cast<float>(tool->m_nEnd);
    // The integral up to the region's end, as the last drawing left it.
    const int k = tool->m_nEnd - static_cast<int>(m_plot.m_fX0);
    const float value = k >= 0 && static_cast<size_t>(k) < tool->m_curve.size() && tool->m_fScale != 0.0f
                            ? tool->m_curve[static_cast<size_t>(k)] / tool->m_fScale
                            : 0.0f;
    return new TIntegralRegion(set->PointToUnit(start, kUnitPPM), set->PointToUnit(end, kUnitPPM), tool->m_fOffset,
                               tool->m_fSlope, value, value, set->FormatAxisValue((start + end) / 2.0f, kUnitPPM));
}

void CVoxelWndView::DrawMapTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    const auto* tool = ToolAs<TMapTool>();
    if (!voxel || !tool)
        return;
    DrawFullPlot(dc, voxel, client);
    if (tool->m_nSelector != 0 && tool->m_nSelector != 1)
        return;
    BeginMarks(dc);
    const bool two = tool->m_nSelector == 1;
    // One peak's ends: prompts and read-out while they are picked (the read-out one line
    // below the prompt), else its summary; true when both are set.
    const auto peak = [&](int first, int line, const char* pickOne, const char* pickOther, const std::string& start,
                          const char* end) {
        const int a = tool->m_bounds[first], b = tool->m_bounds[first + 1];
        const bool aSet = tool->m_bSet[first] != 0, bSet = tool->m_bSet[first + 1] != 0;
        if (aSet)
            MarkPoint(dc, a);
        if (aSet && bSet) {
            MarkPoint(dc, b);
            dc.Text(0, line, start + PositionText(a) + end + PositionText(b));
            return true;
        }
        PickPrompt(dc, aSet ? pickOther : pickOne, aSet ? b : a, line);
        return false;
    };
    bool done = false;
    if (!two)
        done = peak(0, 0, "Please select one end of the peak", "Please select the other end of the peak", "Area start: ",
                    ", Area end: ");
    else if (peak(0, 0, "Please select one end of the first peak:", "Please select the other end of the first peak",
                  "First peak start: ", ", end: "))
        done = peak(2, 20, "Please select one end of the second peak:", "Please select the other end of the second peak",
                    "Second peak start: ", ", end: ");
    if (done && m_pFrame)
        m_pFrame->EnableApplyCancel(true);
    dc.SetBackground(m_crBackground, false);
}
