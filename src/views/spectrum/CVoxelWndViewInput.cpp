// The spectrum view's mouse and scroll-bar input: what each tool mode takes from a move,
// a click or a bar, and the integral's region sum.
#include <QMouseEvent>
#include <QScrollBar>

#include <cmath>
#include <vector>

#include "model/TCSISet.h"
#include "model/TSpectrum.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/spectrum/CVoxelWndView.h"

namespace {

bool Inside(const TPixelRect& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The first of the boundaries whose flag is clear, or null when all are set.
int* FirstUnset(std::initializer_list<std::pair<int*, uint8_t*>> boundaries, uint8_t** flag = nullptr)
{
    for (const auto& [value, set] : boundaries)
        if (!*set) {
            if (flag)
                *flag = set;
            return value;
        }
    return nullptr;
}

}  // namespace

int CVoxelWndView::PointAt(int x, int y) const
{
    return static_cast<int>(m_plot.PixelToData(x, y).x + 0.5f);
}

bool CVoxelWndView::InPlot(int x, int y) const
{
    return Inside(m_plot.GetPixelRect(), x, y);
}

void CVoxelWndView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    OnMouseMove(p.x(), p.y(), event->buttons() & Qt::LeftButton);
}

void CVoxelWndView::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        OnLButtonDown(p.x(), p.y());
    else if (event->button() == Qt::RightButton)
        OnRButtonDown();
}

void CVoxelWndView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonUp();
}

void CVoxelWndView::OnMouseMove(int x, int y, bool leftButton)
{
    const int point = PointAt(x, y);
    const bool inPlot = InPlot(x, y);
    switch (m_nToolMode) {
    case 0:
        if (auto* tool = ToolAs<TReadoutTool>()) {
            // The strips' edges are those they were drawn with.
            const TPixelRect strips = m_plot.GetPixelRect();
            const bool over = Inside({strips.left, kTopMargin, strips.right, height() - kBottomMargin}, x, y);
            tool->m_bValid = over ? 1 : 0;
            tool->m_nPoint = over ? point : 0;
        }
        break;
    case 1:
        if (auto* tool = ToolAs<TPPMCentreTool>())
            tool->m_fPointer = inPlot ? static_cast<float>(point) : tool->m_fChosen;
        break;
    case 2:
        if (auto* tool = ToolAs<TPhaseTool>()) {
            const bool over = Inside({5, 10, width() - 20, height() - 45}, x, y);
            tool->m_bHover = over ? 1 : 0;
            tool->m_nHoverPoint = over ? point : 0;
        }
        break;
    case 3:
        if (auto* tool = ToolAs<TZoomTool>()) {
            if (!leftButton)
                return;
            tool->m_nCornerX = x;
            tool->m_nCornerY = y;
        }
        break;
    case 7:
        if (auto* tool = ToolAs<TMapTool>(); tool && inPlot)
            for (int k = 0; k < 4; ++k)
                if (!tool->m_bSet[k]) {
                    tool->m_bounds[k] = point;
                    break;
                }
        break;
    case 10:
    case 11:
    case 12:
    case 13:
        if (auto* tool = ToolAs<TPeakListTool>(); tool && inPlot) {
            if (m_nToolMode >= 12)
                tool->m_nCursor = point;
            if (tool->m_nCount < TPeakListTool::kMaxPeaks) {
                if (!tool->m_bStartFixed)
                    tool->m_peaks[tool->m_nCount][0] = point;
                else if (!tool->m_bFull)
                    tool->m_peaks[tool->m_nCount][1] = point;
            }
        }
        break;
    case 14:
    case 17:
    case 18:
    case 19:
    case 20:
        if (auto* tool = ToolAs<TRegionTool>(); tool && inPlot) {
            if (int* b = FirstUnset({{&tool->m_nStart, &tool->m_bStartSet}, {&tool->m_nEnd, &tool->m_bEndSet}}))
                *b = point;
            tool->m_nCursor = point;
        }
        break;
    case 16:
        if (auto* tool = ToolAs<TIntegralTool>(); tool && inPlot) {
            if (int* b = FirstUnset({{&tool->m_nStart, &tool->m_bStartSet}, {&tool->m_nEnd, &tool->m_bEndSet}}))
                *b = point;
            tool->m_nCursor = point;
        }
        break;
    case 15:
        if (auto* tool = ToolAs<TPeakFindTool>(); tool && inPlot) {
            if (int* b = FirstUnset({{&tool->m_nStart, &tool->m_bStartSet},
                                     {&tool->m_nEnd, &tool->m_bEndSet},
                                     {&tool->m_nNoiseStart, &tool->m_bNoiseStartSet},
                                     {&tool->m_nNoiseEnd, &tool->m_bNoiseEndSet}}))
                *b = point;
            tool->m_nCursor = point;
        }
        break;
    default:
        // The line-width tools follow their bars only.
        return;
    }
    Refresh();
}

void CVoxelWndView::OnLButtonDown(int x, int y)
{
    if (!GetCurrentVoxel())
        return;
    const int point = PointAt(x, y);
    // Boundaries are picked on the plot only.
    const bool inPlot = InPlot(x, y);
    auto pick = [&](std::initializer_list<std::pair<int*, uint8_t*>> boundaries) {
        uint8_t* flag = nullptr;
        if (!inPlot)
            return;
        if (int* b = FirstUnset(boundaries, &flag)) {
            *b = point;
            *flag = 1;
        }
    };
    switch (m_nToolMode) {
    case 1:
        if (auto* tool = ToolAs<TPPMCentreTool>())
            tool->m_fChosen = tool->m_fPointer;
        break;
    case 3:
        if (auto* tool = ToolAs<TZoomTool>()) {
            tool->m_bDragging = 1;
            tool->m_nAnchorX = tool->m_nCornerX = x;
            tool->m_nAnchorY = tool->m_nCornerY = y;
            grabMouse();
        }
        break;
    case 7:
        // One peak takes two boundaries, two peaks four.
        if (auto* tool = ToolAs<TMapTool>(); tool && inPlot && (tool->m_nSelector == 0 || tool->m_nSelector == 1)) {
            const int count = tool->m_nSelector == 0 ? 2 : 4;
            for (int k = 0; k < count; ++k)
                if (!tool->m_bSet[k]) {
                    tool->m_bounds[k] = point;
                    tool->m_bSet[k] = 1;
                    // The last boundary makes the map ready to apply.
                    if (k == count - 1 && m_pFrame)
                        m_pFrame->EnableApplyCancel(true);
                    break;
                }
        }
        break;
    case 10:
    case 11:
    case 12:
    case 13:
        if (auto* tool = ToolAs<TPeakListTool>(); tool && inPlot && tool->m_nCount < TPeakListTool::kMaxPeaks) {
            int* pair = tool->m_peaks[tool->m_nCount];
            if (!tool->m_bStartFixed) {
                pair[0] = pair[1] = point;
                tool->m_bStartFixed = 1;
            } else if (!tool->m_bFull) {
                pair[1] = point;
                if (tool->m_nCount < TPeakListTool::kMaxPeaks - 1)
                    tool->m_peaks[tool->m_nCount + 1][0] = point;
                ++tool->m_nCount;
                // Full: both flags stay set and no pair is picked any more.
                if (tool->m_nCount == TPeakListTool::kMaxPeaks)
                    tool->m_bFull = 1;
                else
                    tool->m_bStartFixed = 0;
            }
        }
        break;
    case 14:
    case 17:
    case 18:
    case 19:
    case 20:
        if (auto* tool = ToolAs<TRegionTool>())
            pick({{&tool->m_nStart, &tool->m_bStartSet}, {&tool->m_nEnd, &tool->m_bEndSet}});
        break;
    case 15:
        if (auto* tool = ToolAs<TPeakFindTool>())
            pick({{&tool->m_nStart, &tool->m_bStartSet},
                  {&tool->m_nEnd, &tool->m_bEndSet},
                  {&tool->m_nNoiseStart, &tool->m_bNoiseStartSet},
                  {&tool->m_nNoiseEnd, &tool->m_bNoiseEndSet}});
        break;
    case 16:
        if (auto* tool = ToolAs<TIntegralTool>(); tool && inPlot) {
            if (!tool->m_bStartSet) {
                tool->m_nStart = point;
                tool->m_bStartSet = 1;
            } else if (tool->m_bEndSet) {
                // A new region begins.
                tool->m_nStart = point;
                tool->m_bEndSet = 0;
            } else {
                tool->m_nEnd = point;
                tool->m_bEndSet = 1;
                if (tool->m_nEnd < tool->m_nStart)
                    std::swap(tool->m_nStart, tool->m_nEnd);
                StartIntegralRegion(*tool);
                // The region can be applied, also after an earlier one was.
                if (m_pFrame)
                    m_pFrame->EnableApplyCancel(true);
            }
        }
        break;
    default:
        break;
    }
    Refresh();
}

void CVoxelWndView::StartIntegralRegion(TIntegralTool& tool)
{
    // Points outside the spectrum add nothing.
    const TSpectrum* voxel = GetCurrentVoxel();
    double sum = 0.0;
    for (int i = std::max(tool.m_nStart, 0); i <= std::min(tool.m_nEnd, voxel->m_nPoints - 1); ++i)
        sum += voxel->GetReal(i);
    sum = std::fabs(sum);
    const double count = tool.m_nEnd - tool.m_nStart + 1;
    tool.m_fOffsetStep = static_cast<float>(sum / count);
    tool.m_fSlopeStep = static_cast<float>(2.0 * sum / count / count);
    tool.m_fScale = tool.m_fDefaultScale = sum >= 1e-10 ? static_cast<float>(m_plot.m_fTop / sum * 0.5) : 1.0f;
    tool.m_fOffset = tool.m_fSlope = tool.m_fCoarseOffset = tool.m_fCoarseSlope = 0.0f;
    for (QScrollBar* bar : {m_scrollV, m_scrollH1, m_scrollH2})
        SetScrollPosition(bar, 0.0f);
}

void CVoxelWndView::OnLButtonUp()
{
    if (m_nToolMode != 3)
        return;
    releaseMouse();
    Refresh();
}

void CVoxelWndView::OnRButtonDown()
{
    if (m_nToolMode != 3)
        return;
    if (auto* tool = ToolAs<TZoomTool>())
        tool->m_bDragging = 0;
    Refresh();
}

void CVoxelWndView::OnScroll(QScrollBar* bar, int position)
{
    if (!GetCurrentVoxel())
        return;
    const float value = static_cast<float>(position);
    const bool vertical = bar == m_scrollV;
    switch (m_nToolMode) {
    case 2:
        if (auto* tool = ToolAs<TPhaseTool>()) {
            if (vertical) {
                MoveLinearPhase(*tool, value * kRadiansPerDegree + tool->m_fPhase1Origin, tool->m_nPivot);
            } else if (bar == m_scrollH1) {
                MoveConstantPhase(*tool, value * kRadiansPerDegree);
                ShowPanelValue(CVoxelWndDlgView::kPhase0, value);
            }
        }
        break;
    case 4:
    case 5:
    case 6:
        if (auto* tool = ToolAs<TLineWidthTool>()) {
            if (vertical) {
                tool->m_fWidth = value;
                ShowPanelValue(m_nToolMode == 4 ? CVoxelWndDlgView::kGaussLw : CVoxelWndDlgView::kLorenLw, value);
            } else if (m_nToolMode == 6 && bar == m_scrollH1) {
                tool->m_fWidth2 = value;
                ShowPanelValue(CVoxelWndDlgView::kGaussLw, value);
            }
        }
        break;
    case 9:
        if (auto* tool = ToolAs<TLineWidthTool>(); tool && vertical && tool->m_pSource) {
            tool->m_fWidth = value;
            tool->m_pDisplay = std::make_unique<TSpectrum>(*tool->m_pSource);
            ConvolutionDifference(*tool->m_pDisplay, tool->m_fWidth, tool->m_fFactor);
        }
        break;
    case 16:
        if (auto* tool = ToolAs<TIntegralTool>()) {
            if (vertical)
                tool->m_fScale = (1.0f - value * 0.01f) * tool->m_fDefaultScale;
            else if (bar == m_scrollH1)
                tool->m_fOffset = tool->m_fOffsetStep * value * 0.001f + tool->m_fCoarseOffset;
            else
                tool->m_fSlope = tool->m_fSlopeStep * value * 0.001f + tool->m_fCoarseSlope;
        }
        break;
    default:
        break;
    }
    Refresh();
}

void CVoxelWndView::ConvolutionDifference(TSpectrum& spectrum, float width, float factor)
{
    spectrum.ApplyConvolutionDifference(width, factor);
    spectrum.ToFrequencyDomain();
    spectrum.FFTShift();
    spectrum.UpdateRange();
}

void CVoxelWndView::ShowPanelValue(int id, float value)
{
    if (m_pFrame)
        m_pFrame->SetPanelValue(id, value);
}
