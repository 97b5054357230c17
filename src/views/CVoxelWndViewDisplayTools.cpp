// The overlays of the tools that adjust the display or a phase by eye: the PPM-centre
// pick (mode 1), the phase correction with its pivot (mode 2) and the zoom box (mode 3).
#include <QScrollBar>

#include <algorithm>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TSpectrum.h"
#include "model/TextHelpers.h"
#include "views/CVoxelWndView.h"

namespace {

constexpr float kDegreesPerRadian = 180.0f / std::numbers::pi_v<float>;

}  // namespace

void CVoxelWndView::DrawPPMCentreTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    const auto* tool = ToolAs<TPPMCentreTool>();
    if (!voxel || !tool)
        return;
    DrawFullPlot(dc, voxel, client);
    BeginMarks(dc);
    MarkPoint(dc, tool->m_fChosen);
    MarkPoint(dc, tool->m_fPointer);
    // The point index, whatever the view's unit.
    dc.Text(0, 0, "Current Position: " + FloatToString(tool->m_fPointer, 5));
}

void CVoxelWndView::DrawZoomTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    auto* tool = ToolAs<TZoomTool>();
    if (!voxel || !tool)
        return;
    DrawFullPlot(dc, voxel, client);
    if (!tool->m_bDragging)
        return;
    dc.SetPen(m_crMark, 1, vx::PenStyle::Solid);
    const int ax = tool->m_nAnchorX, ay = tool->m_nAnchorY, cx = tool->m_nCornerX, cy = tool->m_nCornerY;
    dc.Polyline({{ax, ay}, {ax, cy}, {cx, cy}, {cx, ay}, {ax, ay}});
    // The box in data units, each pair in ascending order.
    const TPoint2D anchor = m_plot.PixelToData(ax, ay), corner = m_plot.PixelToData(cx, cy);
    tool->m_fXFirst = std::min(anchor.x, corner.x);
    tool->m_fXLast = std::max(anchor.x, corner.x);
    tool->m_fYBottom = std::min(anchor.y, corner.y);
    tool->m_fYTop = std::max(anchor.y, corner.y);
}

void CVoxelWndView::DrawPhaseTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const auto* tool = ToolAs<TPhaseTool>();
    if (!tool || tool->m_display.empty())
        return;
    // One strip per copy, the first at the top; only the last carries the x axis, and
    // its bottom leaves room for it.
    const int n = static_cast<int>(tool->m_display.size());
    const int h = (client.bottom - client.top - 20) / n;
    const int left = client.left + 5, right = client.right - 20;
    for (int k = 0; k < n; ++k) {
        const TSpectrum* copy = tool->m_display[k].get();
        const bool last = k == n - 1;
        const int stripBottom = client.bottom - 20 - (n - 1 - k) * h;
        DrawPlotInRect(dc, copy, {left, stripBottom - h + 10, right, last ? client.bottom - 45 : stripBottom}, last,
                       false);
        const std::vector<float> zeros(static_cast<size_t>(std::max(copy->m_nPoints, 0)), 0.0f);
        const vx::TColor curve = m_plot.m_crCurve;
        m_plot.m_crCurve = m_crMark2;
        m_plot.DrawCurve(dc, zeros.data(), false);
        m_plot.m_crCurve = curve;
    }
    dc.SetTextColor(m_crText);
    dc.SetBackground(m_crBackground, true);
    dc.Text(0, 0, "Constant Phase: " + FloatToString(tool->m_fPhase0 * kDegreesPerRadian, 5) + " degrees");
    dc.Text(0, 20, "Linear Phase: " + FloatToString(tool->m_fPhase1 * kDegreesPerRadian, 5) + " degrees");
    dc.Text(0, 40, "Pivot at: " + FloatToString(static_cast<float>(tool->m_nPivot), 5));
    m_scrollV->setGeometry(client.right - 18, client.top, 15, client.bottom - client.top - 20);
    m_scrollV->show();
    m_scrollH1->setGeometry(client.left + 5, client.bottom - 18, client.right - client.left - 25, 15);
    m_scrollH1->show();

    const auto line = [&](int point, vx::TColor colour) {
        const int x = m_plot.DataToPixel(TPoint2D(static_cast<float>(point), 0.0f)).x;
        dc.SetPen(colour, 1, vx::PenStyle::Solid);
        dc.MoveTo(x, client.top);
        dc.LineTo(x, client.bottom - 45);
    };
    line(tool->m_nPivot, m_crMark2);
    if (tool->m_bHover) {
        line(tool->m_nHoverPoint, m_crMark);
        dc.Text(client.right - 250, 0, "Current Position: " + PositionText(tool->m_nHoverPoint));
    }
}
