#include "views/analysis/CAnalysisPCView.h"

#include <QResizeEvent>

#include <algorithm>
#include <cmath>

#include "model/TAnalysis.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "processing/TAnalysisNMF.h"
#include "views/analysis/AnalysisPlotExports.h"
#include "views/TPainterCanvas.h"

namespace {

// The set whose axis the plots label: the work set, else the analysed one.
const TCSISet* AxisSet(const TAnalysis* analysis)
{
    if (g_pProject && g_pProject->m_pWorkSet)
        return g_pProject->m_pWorkSet;
    return analysis ? analysis->GetCSISet() : nullptr;
}

}  // namespace

CAnalysisPCView::CAnalysisPCView(QWidget* parent) : CZoomView(parent) {}

void CAnalysisPCView::SetAnalysis(TAnalysis* analysis)
{
    m_pAnalysis = analysis;
    m_pComponents = analysis ? &analysis->Components() : nullptr;
    m_pValues = analysis ? &analysis->Weights() : nullptr;
    m_nFirstPoint = analysis ? analysis->FirstPoint() : 0;
    m_nLastPoint = analysis ? analysis->LastPoint() : 0;
}

void CAnalysisPCView::Refresh()
{
    SetColourScheme(SchemeSetting());
    UpdateScrollBars();
    DrawWholePlot();
    DrawView();
    viewport()->repaint();
}

void CAnalysisPCView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    DrawWholePlot();
    DrawView();
}

void CAnalysisPCView::DrawWholePlot()
{
    if (!m_pComponents || !m_pValues || !m_pComponents->HasData() || viewport()->size().isEmpty())
        return;
    if (!MakePlotPicture(m_colours.background))
        return;
    const int components = static_cast<int>(m_pComponents->Rows());
    const float band = static_cast<float>(m_nPlotHeight) / static_cast<float>(components);
    if (band <= 4.0f || m_nPlotWidth <= 4)
        return;

    float largest = 0.0f;
    const float* values = m_pComponents->Data();
    for (size_t i = 0; i < size_t(m_pComponents->Rows()) * m_pComponents->Columns(); ++i)
        if (std::isfinite(values[i]))
            largest = std::max(largest, std::fabs(values[i]));
    if (const TCSISet* set = AxisSet(m_pAnalysis))
        m_plot.SetXUnit(m_nUnit, static_cast<float>(set->m_nSpectralWidth), set->m_fFrequency,
                        set->m_fPPMCentrePoint);
    m_plot.SetYRange(largest, -largest, false);
    m_plot.SetXRange(static_cast<float>(m_nFirstPoint), static_cast<float>(m_nLastPoint),
                     m_nLastPoint - m_nFirstPoint + 1, false);
    m_plot.m_crCurve = m_colours.foreground;
    m_plot.m_crAxis = m_colours.foreground;
    m_plot.m_bShowZeroLine = true;
    m_plot.m_crZeroLine = m_colours.zeroLine;

    const std::string prefix = dynamic_cast<const TAnalysisNMF*>(m_pAnalysis) ? "TotalVar = " : "EigenVal = ";
    vx::TPainterCanvas dc(&m_plotPicture);
    dc.SetTextColor(m_colours.text);
    dc.SetBackground(m_colours.background, true);
    for (int i = 0; i < components; ++i) {
        m_plot.SetPixelRect(2, static_cast<int>(i * band + 2), m_nPlotWidth - 2, static_cast<int>((i + 1) * band - 2));
        m_plot.DrawAxes(dc);
        // The curve holds the columns of the range; a shorter row is not drawn.
        if (static_cast<int>(m_pComponents->Columns()) >= m_nLastPoint - m_nFirstPoint + 1)
            m_plot.DrawCurve(dc, m_pComponents->Data() + size_t(i) * m_pComponents->Columns(), false);
        const float share = uint32_t(i) < m_pValues->Columns() && m_pValues->Rows() > 0 ? m_pValues->At(0, uint32_t(i))
                                                                                         : 0.0f;
        dc.Text(0, static_cast<int>(i * band), prefix + FloatToString(share, 2) + "%", vx::AlignLeft | vx::AlignTop);
    }
}

void CAnalysisPCView::DrawOverClient(vx::TCanvas& dc)
{
    if (!m_pComponents || !m_pComponents->HasData())
        return;
    const QSize client = viewport()->size();
    const int x = m_lastDevicePoint.x();
    dc.SetPen(m_colours.marker, 1, vx::PenStyle::Solid);
    dc.MoveTo(x, 0);
    dc.LineTo(x, client.height());
    const QPoint plot = ToPlot(m_lastDevicePoint);
    const float point = m_plot.PixelToData(plot.x(), plot.y()).x;
    const TCSISet* set = AxisSet(m_pAnalysis);
    const std::string text = set ? set->FormatAxisValue(point, m_nUnit) : FloatToString(point, 1);
    dc.SetTextColor(m_colours.text);
    dc.SetBackground(m_colours.background, true);
    dc.Text(client.width() - 70, 0, text, vx::AlignLeft | vx::AlignTop);
}

void CAnalysisPCView::OnSelectEvent(const TZoomMouseEvent& event)
{
    if (event.kind != 4)
        return;
    DrawView();
    viewport()->repaint();
}

void CAnalysisPCView::Export()
{
    if (!m_pComponents || !m_pComponents->HasData())
        return;
    vx::views::SaveExportText(vx::views::ComponentExportText(*m_pComponents, m_nFirstPoint, AxisSet(m_pAnalysis)));
}
