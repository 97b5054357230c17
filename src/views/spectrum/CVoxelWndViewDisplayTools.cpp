// The overlays of the tools that adjust the display or a parameter by eye: the PPM-centre
// pick (mode 1), the phase correction with its pivot (mode 2), the zoom box (mode 3) and
// the line widths of the apodisation filters and of the convolution difference (modes 4
// to 6 and 9).
#include <QScrollBar>

#include <algorithm>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "model/math/ApodizationWindows.h"
#include "model/TCSISet.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "views/spectrum/CVoxelWndView.h"

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
        const int shown = std::clamp(m_display.m_nXEnd - m_display.m_nXStart + 1, 0, copy->m_nPoints);
        DrawCurveInColour(dc, std::vector<float>(static_cast<size_t>(shown), 0.0f), m_crMark2);
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

void CVoxelWndView::DrawCurveInColour(vx::TCanvas& dc, const std::vector<float>& values, vx::TColor colour)
{
    const vx::TColor curve = m_plot.m_crCurve;
    m_plot.m_crCurve = colour;
    m_plot.DrawValues(dc, values.data(), static_cast<int>(values.size()), false);
    m_plot.m_crCurve = curve;
}

void CVoxelWndView::DrawLineWidthTool(vx::TCanvas& dc, const TPixelRect& client)
{
    auto* tool = ToolAs<TLineWidthTool>();
    if (!tool || !tool->m_pSource || !tool->m_pSource->m_pDataSet)
        return;
    const TSpectrum& source = *tool->m_pSource;
    const TCSISet& set = *source.m_pDataSet;
    TTimeWindow window;
    window.kind = m_nToolMode == 4   ? TTimeWindow::Gaussian
                  : m_nToolMode == 5 ? TTimeWindow::Exponential
                                     : TTimeWindow::LorentzGauss;
    window.lorentzWidth = tool->m_fWidth;
    window.gaussWidth = m_nToolMode == 4 ? tool->m_fWidth : tool->m_fWidth2;

    // The preview: the source filtered and taken to the frequency domain.
    if (!tool->m_pDisplay)
        tool->m_pDisplay = std::make_unique<TSpectrum>(source);
    TSpectrum& preview = *tool->m_pDisplay;
    preview = source;
    if (preview.ApplyTimeWindow(window) && preview.ToFrequencyDomain())
        preview.FFTShift();
    tool->m_pSource->UpdateRange();

    const int top = client.top + 5, bottom = client.bottom - 25;
    const int h = bottom - top;
    const int split = bottom - h / 2 - 20;
    const int n = source.m_nPoints;
    const float largest = source.GetMaxMagnitude();
    // Both plots start where the wider labels of their y axes leave room.
    const int left = std::max(PlotLeft(dc, client, top, split, largest, -largest),
                              PlotLeft(dc, client, top + h / 2, bottom, m_display.m_fYMax, m_display.m_fYMin));
    const TPixelRect r{left, top, client.right - 20, bottom};
    DrawPlotOverRange(dc, &source, {r.left, r.top, r.right, split}, 0.0f, static_cast<float>(n - 1), largest,
                      -largest, true, true);
    std::vector<float> weights =
        TimeWindowWeights(window, n, static_cast<float>(set.m_nSpectralWidth), set.m_nEchoPosition);
    for (float& w : weights)
        w *= 0.5f * largest;
    DrawCurveInColour(dc, weights, m_crMark);
    DrawPlotInRect(dc, &preview, {r.left, r.top + h / 2, r.right, r.bottom}, true, true);

    dc.SetTextColor(m_crText);
    dc.SetBackground(m_crBackground, true);
    if (m_nToolMode == 6)
        dc.Text(0, 0,
                "Lorentzian LineWidth: " + FloatToString(tool->m_fWidth, 2) +
                    "Hz, Gaussian LineWidth: " + FloatToString(tool->m_fWidth2, 2) + "Hz");
    else
        dc.Text(0, 0, "Line Width: " + FloatToString(tool->m_fWidth, 2) + " Hz");
    dc.Text(0, 20,
            "Existing LineWidth: Lorentzian: " + FloatToString(set.m_fLorentzBroadening, 2) +
                "Hz, Gaussian: " + FloatToString(set.m_fGaussBroadening, 2) + "Hz");
    m_scrollV->setGeometry(r.right, r.top, 15, h);
    m_scrollV->show();
    if (m_nToolMode == 6) {
        m_scrollH1->setGeometry(r.left, r.bottom - 15, r.right - r.left, 15);
        m_scrollH1->show();
    }
}

void CVoxelWndView::DrawBaselineWidthTool(vx::TCanvas& dc, const TPixelRect& client)
{
    const auto* tool = ToolAs<TLineWidthTool>();
    if (!tool || !tool->m_pDisplay)
        return;
    const TSpectrum& preview = *tool->m_pDisplay;
    DrawPlotInRect(dc, &preview, {client.left + 5, client.top + 5, client.right - 20, client.bottom - 5}, false,
                   false);
    const int shown = std::clamp(m_display.m_nXEnd - m_display.m_nXStart + 1, 0, preview.m_nPoints);
    DrawCurveInColour(dc, std::vector<float>(static_cast<size_t>(shown), 0.0f), m_crMark2);
    dc.SetTextColor(m_crText);
    dc.SetBackground(m_crBackground, true);
    dc.Text(0, 0, "Line Width: " + FloatToString(tool->m_fWidth, 5) + " Hz");
    m_scrollV->setGeometry(client.right - 20, client.top + 5, 15, client.bottom - client.top - 10);
    m_scrollV->show();
}
