#include "views/analysis/CAnalysisScoreView.h"

#include <QResizeEvent>

#include <algorithm>
#include <cmath>

#include "model/TAnalysis.h"
#include "model/math/TFloatMatrix.h"
#include "views/analysis/AnalysisPlotExports.h"
#include "views/TPainterCanvas.h"

namespace {

// The colour map keeps to 70% of its band's width.
constexpr double kMapShare = 0.7;

void Extremes(const TFloatMatrix& m, float& lowest, float& highest)
{
    lowest = 0.0f;
    highest = 0.0f;
    bool any = false;
    const float* v = m.Data();
    for (size_t i = 0; i < size_t(m.Rows()) * m.Columns(); ++i) {
        if (!std::isfinite(v[i]))
            continue;
        lowest = any ? std::min(lowest, v[i]) : v[i];
        highest = any ? std::max(highest, v[i]) : v[i];
        any = true;
    }
}

}  // namespace

CAnalysisScoreView::CAnalysisScoreView(QWidget* parent) : CZoomView(parent) {}

void CAnalysisScoreView::SetAnalysis(TAnalysis* analysis, int slice)
{
    m_pAnalysis = analysis;
    m_nSlice = slice;
    m_images.clear();
    if (!analysis)
        return;
    for (int c = 0; c < analysis->ComponentCount(); ++c)
        if (const TFloatMatrix* image = analysis->GetScoreImage(slice, c))
            m_images.push_back(image);
}

void CAnalysisScoreView::Refresh()
{
    SetColourScheme(SchemeSetting());
    DrawWholePlot();
    UpdateScrollBars();
    DrawView();
    viewport()->repaint();
}

void CAnalysisScoreView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    DrawView();
}

void CAnalysisScoreView::DrawWholePlot()
{
    if (m_images.empty() || viewport()->size().isEmpty())
        return;
    const int n = static_cast<int>(m_images.size());
    const int rows = static_cast<int>(m_images.front()->Rows());
    const int columns = static_cast<int>(m_images.front()->Columns());
    if ((m_nPlotWidth - 4) * kMapShare < columns)
        m_nPlotWidth = static_cast<int>(std::ceil(columns / kMapShare)) + 4;
    if (m_nPlotHeight < (rows + 4) * n)
        m_nPlotHeight = (rows + 4) * n;
    if (!MakePlotPicture(kGrey))
        return;
    vx::TPainterCanvas dc(&m_plotPicture);
    DrawPlot(dc);
}

void CAnalysisScoreView::DrawPlot(vx::TCanvas& dc)
{
    if (m_images.empty())
        return;
    const int n = static_cast<int>(m_images.size());
    const double band = static_cast<double>(m_nPlotHeight) / n;
    if (band <= 4.0 || m_nPlotWidth <= 4)
        return;

    m_plot.SetXUnit(0, 1.0f, 1.0f, 0.0f);
    m_plot.m_crCurve = 0x0000ff;
    m_plot.m_nColourTable = m_colours.colourTable;
    const int h = static_cast<int>(band);
    for (int i = 0; i < n; ++i) {
        const TFloatMatrix* image = m_images[size_t(i)];
        m_plot.SetPixelRect(2, h * i + 2, m_nPlotWidth - 2, h * (i + 1) - 2);
        float lowest = 0.0f, highest = 0.0f;
        Extremes(*image, lowest, highest);
        m_plot.SetYRange(highest, lowest, false);
        m_plot.DrawColourMap(dc, image, 0, static_cast<int>(image->Columns()) - 1, 0,
                             static_cast<int>(image->Rows()) - 1);
    }
}

void CAnalysisScoreView::Export()
{
    if (m_images.empty() || !m_pAnalysis)
        return;
    vx::views::SaveExportText(vx::views::ScoreExportText(m_images, m_pAnalysis->SliceAxis(), m_nSlice));
}
