#include "views/analysis/CAnalysisCorView.h"

#include <QMenu>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include "app/dialogs/DialogRunner.h"
#include "model/TAnalysis.h"
#include "model/math/TextHelpers.h"
#include "processing/TAnalysisPCA.h"
#include "views/analysis/AnalysisPlotExports.h"
#include "views/analysis/CAnalysisWnd.h"
#include "views/TPainterCanvas.h"

namespace {

constexpr double kMapShare = 0.7;
// Margins of a curve's axes inside its half: left (room for the y labels beside their
// ticks), top, right, bottom.
constexpr int kCurveMargin[4] = {42, 30, 30, 30};
// Pixels between an axis and the first (or last) point of its curve, so that neither the
// first point nor its marker lies on the axis line, which has the curve's colour.
constexpr int kCurveInset = 8;

void Extremes(const TFloatMatrix& m, int c0, int c1, int r0, int r1, float& lowest, float& highest)
{
    lowest = 0.0f;
    highest = 0.0f;
    bool any = false;
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const float v = m.At(uint32_t(r), uint32_t(c));
            if (!std::isfinite(v))
                continue;
            lowest = any ? std::min(lowest, v) : v;
            highest = any ? std::max(highest, v) : v;
            any = true;
        }
}

}  // namespace

CAnalysisCorView::CAnalysisCorView(QWidget* parent) : CZoomView(parent) {}

CAnalysisCorView::~CAnalysisCorView() = default;

std::string CAnalysisCorView::RemoveRunText(int run)
{
    return "Remove run " + FloatToString(static_cast<float>(run), 5);
}

void CAnalysisCorView::SetAnalysis(TAnalysis* analysis, int slice)
{
    m_pAnalysis = analysis;
    m_nSlice = slice;
    m_first.reset();
    m_second.reset();
    m_bLowerCurve = false;
    if (!analysis)
        return;
    if (dynamic_cast<TAnalysisPCA*>(analysis)) {
        m_first = analysis->GetFrequencyCorrection(slice);
        m_second = analysis->GetPhaseCorrection(slice);
        m_strFirstTitle = "Frequency Correction";
        m_strSecondTitle = "Phase Correction";
        m_bNMF = false;
        // The rectangle of the analysed voxels.
        m_nFirstColumn = analysis->RectXMin();
        m_nLastColumn = analysis->RectXMax();
        m_nFirstRow = analysis->RectYMin();
        m_nLastRow = analysis->RectYMax();
    } else {
        m_first = analysis->GetErrorConvergence();
        m_second = analysis->GetChiSquarePerRun();
        m_strFirstTitle = "Error Convergence of Last Run";
        m_strSecondTitle = "Chi Square for Each Run";
        m_bNMF = true;
        m_nFirstColumn = 0;
        m_nLastColumn = m_first ? static_cast<int>(m_first->Columns()) - 1 : -1;
        m_nFirstRow = 0;
        m_nLastRow = m_first ? static_cast<int>(m_first->Rows()) - 1 : -1;
    }
    // The range stays inside both matrices.
    for (const TFloatMatrix* m : {m_first.get(), m_second.get()})
        if (m) {
            m_nLastColumn = std::min(m_nLastColumn, static_cast<int>(m->Columns()) - 1);
            m_nLastRow = std::min(m_nLastRow, static_cast<int>(m->Rows()) - 1);
        }
    if (m_bNMF && m_second) {
        // The chi-squares have their own length.
        m_nLastColumn = m_first ? static_cast<int>(m_first->Columns()) - 1 : -1;
        m_nLastRow = m_first ? static_cast<int>(m_first->Rows()) - 1 : -1;
    }
    m_nFirstColumn = std::max(0, m_nFirstColumn);
    m_nFirstRow = std::max(0, m_nFirstRow);
}

void CAnalysisCorView::Refresh()
{
    SetColourScheme(SchemeSetting());
    DrawWholePlot();
    UpdateScrollBars();
    DrawView();
    viewport()->repaint();
}

void CAnalysisCorView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    DrawView();
}

void CAnalysisCorView::UpdateScrollBars()
{
    const QSize client = viewport()->size();
    if (client.width() <= 0 || client.height() <= 0)
        return;
    const auto update = [this](QScrollBar* bar, int plotSize, int clientSize, int& scroll) {
        if (plotSize > clientSize) {
            scroll = SetBarRange(bar, plotSize, clientSize, scroll);
        } else {
            scroll = static_cast<int>((clientSize - plotSize) * -0.5);
            SetBarEmpty(bar);
        }
    };
    update(horizontalScrollBar(), m_nPlotWidth, client.width(), m_nScrollX);
    update(verticalScrollBar(), m_nPlotHeight, client.height(), m_nScrollY);
}

void CAnalysisCorView::DrawWholePlot()
{
    m_bLowerCurve = false;
    const QSize client = viewport()->size();
    if (!m_first || !m_second || !m_first->HasData() || !m_second->HasData()) {
        // A client-size grey picture and nothing else.
        m_nPlotWidth = std::max(1, client.width());
        m_nPlotHeight = std::max(1, client.height());
        MakePlotPicture(kGrey);
        return;
    }
    const int cols = m_nLastColumn - m_nFirstColumn + 1;
    const int rows = m_nLastRow - m_nFirstRow + 1;
    if (cols < 1 || rows < 1)
        return;
    if (rows <= 1) {
        m_nPlotHeight = std::max(m_nPlotHeight, 128);
        m_nPlotWidth = std::max(m_nPlotWidth, 66);
    } else {
        m_nPlotHeight = std::max(m_nPlotHeight, 2 * rows + 48);
        if ((m_nPlotWidth - 4) * kMapShare < cols)
            m_nPlotWidth = static_cast<int>(std::ceil(cols / kMapShare)) + 4;
    }
    if (!MakePlotPicture(kGrey))
        return;
    if (!((rows == 1 && m_nPlotHeight > 128 && m_nPlotWidth > 66) ||
          (rows != 1 && m_nPlotHeight > 48 && m_nPlotWidth > 4)))
        return;

    vx::TPainterCanvas dc(&m_plotPicture);
    DrawPlot(dc);
}

void CAnalysisCorView::DrawPlot(vx::TCanvas& dc)
{
    if (!m_first || !m_second || !m_first->HasData() || !m_second->HasData())
        return;
    m_plot.SetXUnit(0, 1.0f, 1.0f, 0.0f);
    m_plot.m_nColourTable = m_colours.colourTable;
    m_plot.m_crCurve = m_colours.foreground;
    m_plot.m_crAxis = m_colours.foreground;
    m_plot.m_bShowZeroLine = false;
    m_plot.m_crZeroLine = m_colours.zeroLine;
    // Both curves run over indices (updates of the last run, runs, voxel columns).
    m_plot.m_bWholeXTicks = true;
    DrawHalf(dc, *m_first, 22, m_nPlotHeight / 2 - 2, false);
    DrawHalf(dc, *m_second, m_nPlotHeight / 2 + 22, m_nPlotHeight - 2, true);
    dc.SetBackground(m_colours.background, true);
    dc.SetTextColor(m_colours.text);
    dc.Text(2, 2, m_strFirstTitle, vx::AlignLeft | vx::AlignTop);
    dc.Text(2, m_nPlotHeight / 2 + 2, m_strSecondTitle, vx::AlignLeft | vx::AlignTop);
}

void CAnalysisCorView::DrawHalf(vx::TCanvas& dc, const TFloatMatrix& m, int top, int bottom, bool lower)
{
    const int left = 2, right = m_nPlotWidth - 2;
    if (m.Rows() == 1) {
        dc.FillRect(left, top, right, bottom, m_colours.background);
        dc.SetTextColor(m_colours.text);
        m_plot.SetPixelRect(left + kCurveMargin[0], top + kCurveMargin[1], right - kCurveMargin[2],
                            bottom - kCurveMargin[3]);
        const int count = static_cast<int>(m.Columns());
        float lowest = 0.0f, highest = 0.0f;
        Extremes(m, 0, count - 1, 0, 0, lowest, highest);
        // A twentieth of the range above and below keeps the curve off the axis lines (it
        // is drawn in their colour); the runs' chi-squares of an NMF stand on zero.
        const double range = double(highest) - lowest;
        const double pad = range > 0.0 ? 0.05 * range : std::max(0.05 * std::fabs(double(highest)), 1e-6);
        const float top = static_cast<float>(highest + pad);
        const float bottom = lower && m_bNMF ? 0.0f : static_cast<float>(lowest - pad);
        const float yTop = std::isfinite(top) ? top : highest;
        const float yBottom = std::isfinite(bottom) ? bottom : lowest;
        // The curve runs over 0 .. last, kCurveInset pixels inside the axes on either side:
        // the y axis is drawn at the axes' left edge, the x axis's ticks under the curve's
        // points, and its line on to both axes' edges.
        const int last = lower ? count : count - 1;
        const TPixelRect axes = m_plot.GetPixelRect();
        TPixelRect curve = axes;
        if (last > 0 && axes.right - axes.left > 2 * kCurveInset + 1) {
            curve.left += kCurveInset;
            curve.right -= kCurveInset;
        }
        m_plot.SetYRange(yTop, yBottom, true);
        m_plot.SetXRange(0.0f, static_cast<float>(last), last + 1, false);
        m_plot.DrawAxes(dc);
        m_plot.SetPixelRect(curve.left, curve.top, curve.right, curve.bottom);
        m_plot.SetYRange(yTop, yBottom, false);
        m_plot.SetXRange(0.0f, static_cast<float>(last), last + 1, true);
        m_plot.DrawAxes(dc);
        dc.MoveTo(axes.left, axes.bottom);
        dc.LineTo(axes.right, axes.bottom);
        if (lower) {
            m_plot.DrawValues(dc, m.Data(), count, true);
            m_lowerCurve = m_plot.GetPixelRect();
            m_bLowerCurve = true;
        } else {
            m_plot.DrawCurve(dc, m.Data(), false);
        }
        return;
    }
    m_plot.SetPixelRect(left, top, right, bottom);
    const int c1 = std::min(m_nLastColumn, static_cast<int>(m.Columns()) - 1);
    const int r1 = std::min(m_nLastRow, static_cast<int>(m.Rows()) - 1);
    if (c1 < m_nFirstColumn || r1 < m_nFirstRow)
        return;
    float lowest = 0.0f, highest = 0.0f;
    Extremes(m, m_nFirstColumn, c1, m_nFirstRow, r1, lowest, highest);
    m_plot.SetYRange(highest, lowest, lower);
    m_plot.DrawColourMap(dc, &m, m_nFirstColumn, c1, m_nFirstRow, r1);
}

int CAnalysisCorView::RunAt(int x, int y) const
{
    if (!m_bNMF || !m_second || m_second->Columns() <= 1 || !m_bLowerCurve)
        return -1;
    const TPixelRect& r = m_lowerCurve;
    if (x < r.left - 32 || x > r.right + 30 || y < r.top - 30 || y > r.bottom + 30)
        return -1;
    // The chi-square curve's frame: runs 0 .. count over its width.
    const int count = static_cast<int>(m_second->Columns());
    const double w = r.right - r.left;
    if (w <= 0)
        return -1;
    const int run = static_cast<int>(std::floor((x - r.left) * double(count) / w + 0.5));
    return run >= 0 && run < count ? run : -1;
}

void CAnalysisCorView::OnSelectEvent(const TZoomMouseEvent& event)
{
    if (event.kind != 0)
        return;
    const int run = RunAt(event.x, event.y);
    if (run < 0)
        return;
    m_nRunToRemove = run;
    QMenu menu(this);
    QAction* remove = menu.addAction(QString::fromStdString(RemoveRunText(run)));
    remove->setStatusTip("Remove the result from this run");
    const QPoint at = viewport()->mapToGlobal(QPoint(event.x - m_nScrollX, event.y - m_nScrollY));
    if (vx::app::RunMenu(menu, at) == remove && m_pOwner)
        m_pOwner->RemoveRun(m_nRunToRemove);
}

void CAnalysisCorView::Export()
{
    if (!m_first || !m_second || !m_pAnalysis)
        return;
    if (m_bNMF)
        vx::views::SaveExportText(vx::views::NMFCorrectionExportText(*m_first, *m_second));
    else
        vx::views::SaveExportText(vx::views::PCACorrectionExportText(*m_first, *m_second, m_strFirstTitle,
                                                                     m_strSecondTitle, m_pAnalysis->SliceAxis(),
                                                                     m_nSlice));
}
