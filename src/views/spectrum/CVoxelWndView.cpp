#include "views/spectrum/CVoxelWndView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/CVexaraApp.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/TPainterCanvas.h"

namespace {

constexpr int kSpecBgColorSetting = 0;
constexpr int kPhaseModeSetting = 3;
constexpr float kDegree = CVoxelWndView::kRadiansPerDegree;

struct TColourScheme {
    vx::TColor background, curve, axis, text, mark2, mark, mark3;
};
// Black curves on white with blue marks.
constexpr TColourScheme kLightScheme{0xFFFFFF, 0x000000, 0x000000, 0xC00000, 0xFF0000, 0xC00000, 0xFF0000};
// Red curves on black with cyan and yellow marks.
constexpr TColourScheme kDarkScheme{0x000000, 0x0000FF, 0x0000FF, 0xFFFF00, 0x00C0C0, 0xFFFF00, 0x00FFFF};

int Setting(int index)
{
    const CVexaraApp* app = CVexaraApp::Instance();
    return app ? app->GetSetting(index) : 0;
}

// The nearest integer of a panel value; values beyond the int range are clamped and a
// NaN counts as 0, so that no conversion is undefined.
int NearestInt(float value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::lround(std::clamp(static_cast<double>(value), -2.0e9, 2.0e9)));
}

}  // namespace

CVoxelWndView::CVoxelWndView(QWidget* parent) : QWidget(parent), m_tool(std::make_unique<TReadoutTool>())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    resize(590, 100);
    SetColourScheme();
    m_scrollV = new QScrollBar(Qt::Vertical, this);
    m_scrollV->resize(20, 100);
    m_scrollH1 = new QScrollBar(Qt::Horizontal, this);
    m_scrollH1->resize(100, 20);
    m_scrollH2 = new QScrollBar(Qt::Horizontal, this);
    m_scrollH2->resize(100, 20);
    for (QScrollBar* bar : {m_scrollV, m_scrollH1, m_scrollH2}) {
        bar->setSingleStep(1);
        bar->setPageStep(10);
        bar->hide();
        // The program moves the bars with their signals blocked: this is the user.
        connect(bar, &QScrollBar::valueChanged, this, [this, bar](int position) { OnScroll(bar, position); });
    }
    setMouseTracking(true);
}

CVoxelWndView::~CVoxelWndView()
{
    for (TSpectrum* voxel : m_voxels)
        voxel->m_bShown = 0;
}

int CVoxelWndView::AddVoxel(TSpectrum* voxel)
{
    m_voxels.push_back(voxel);
    return static_cast<int>(m_voxels.size());
}

void CVoxelWndView::SetVoxelsMark(bool mark)
{
    for (TSpectrum* voxel : m_voxels)
        voxel->m_bMark = mark ? 1 : 0;
}

void CVoxelWndView::ClearVoxels()
{
    for (TSpectrum* voxel : m_voxels) {
        voxel->m_bShown = 0;
        voxel->m_bMark = 0;
    }
    if (g_pProject)
        g_pProject->RedrawVoxelSet(m_voxels);
    m_voxels.clear();
}

void CVoxelWndView::SetUnit(int unit)
{
    m_nUnit = unit;
    Refresh();
}

void CVoxelWndView::Refresh()
{
    SetColourScheme();
    Draw();
    repaint();
}

void CVoxelWndView::SetColourScheme()
{
    const TColourScheme& scheme = Setting(kSpecBgColorSetting) == 1 ? kLightScheme : kDarkScheme;
    m_crBackground = scheme.background;
    m_crCurve = scheme.curve;
    m_crAxis = scheme.axis;
    m_crText = scheme.text;
    m_crMark2 = scheme.mark2;
    m_crMark = scheme.mark;
    m_crMark3 = scheme.mark3;
}

void CVoxelWndView::Draw()
{
    if (width() < 1 || height() < 1 || m_voxels.empty())
        return;
    QImage picture(size(), QImage::Format_RGB32);
    if (picture.isNull())
        return;
    {
        vx::TPainterCanvas dc(&picture);
        DrawOn(dc, {0, 0, width(), height()});
    }
    m_pMemDC = std::move(picture);
}

void CVoxelWndView::DrawOn(vx::TCanvas& dc, const TPixelRect& client)
{
    dc.FillRect(client.left, client.top, client.right, client.bottom, m_crBackground);
    switch (m_nToolMode) {
    case 0:
        DrawReadout(dc, client);
        break;
    case 1:
        DrawPPMCentreTool(dc, client);
        break;
    case 2:
        DrawPhaseTool(dc, client);
        break;
    case 3:
        DrawZoomTool(dc, client);
        break;
    case 4:
    case 5:
    case 6:
        DrawLineWidthTool(dc, client);
        break;
    case 7:
        DrawMapTool(dc, client);
        break;
    case 9:
        DrawBaselineWidthTool(dc, client);
        break;
    case 16:
        DrawIntegralTool(dc, client);
        break;
    case 10:
    case 11:
    case 12:
    case 13:
        DrawPeakListTool(dc, client);
        break;
    case 14:
    case 17:
    case 18:
    case 19:
    case 20:
        DrawRegionTool(dc, client);
        break;
    case 15:
        DrawPeakFindTool(dc, client);
        break;
    default:
        // A tool shows the spectrum it works on, full size; its marks are the tool's own.
        if (const TSpectrum* shown = ToolSpectrum())
            DrawFullPlot(dc, shown, client);
        break;
    }
}

void CVoxelWndView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_pMemDC.isNull())
        painter.fillRect(rect(), vx::ToQColor(m_crBackground));
    else
        painter.drawImage(0, 0, m_pMemDC);
}

void CVoxelWndView::resizeEvent(QResizeEvent* event)
{
    Draw();
    QWidget::resizeEvent(event);
}

void CVoxelWndView::keyPressEvent(QKeyEvent* event)
{
    OnKeyDown(event->key());
}

void CVoxelWndView::OnKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Only the integral tool moves its baseline with these keys.
        if (auto* tool = ToolAs<TIntegralTool>(); tool && m_nToolMode == 16) {
            const bool slope = key == Qt::Key_PageUp || key == Qt::Key_PageDown;
            const float sign = key == Qt::Key_Home || key == Qt::Key_PageUp ? -1.0f : 1.0f;
            float& coarse = slope ? tool->m_fCoarseSlope : tool->m_fCoarseOffset;
            float& value = slope ? tool->m_fSlope : tool->m_fOffset;
            const float step = 2.0f * sign * (slope ? tool->m_fSlopeStep : tool->m_fOffsetStep);
            coarse += step;
            value += step;
            Refresh();
        }
        break;
    default:
        if (m_pFrame)
            m_pFrame->OnKeyDown(key);
        break;
    }
}

float CVoxelWndView::DisplayedValue(const TSpectrum* spectrum, int point) const
{
    if (m_display.m_nFlags & TSpectrumDisplayParams::kMagnitude)
        return spectrum->GetMagnitude(point);
    if (m_display.m_nFlags & TSpectrumDisplayParams::kReal)
        return spectrum->GetReal(point);
    if (m_display.m_nFlags & TSpectrumDisplayParams::kImaginary)
        return spectrum->GetImag(point);
    return 0.0f;
}

void CVoxelWndView::DrawPlotInRect(vx::TCanvas& dc, const TSpectrum* spectrum, const TPixelRect& rect,
                                   bool showXAxis, bool showYAxis)
{
    DrawPlotOverRange(dc, spectrum, rect, static_cast<float>(m_display.m_nXStart),
                      static_cast<float>(m_display.m_nXEnd), m_display.m_fYMax, m_display.m_fYMin, showXAxis,
                      showYAxis);
}

void CVoxelWndView::DrawPlotOverRange(vx::TCanvas& dc, const TSpectrum* spectrum, const TPixelRect& rect, float x0,
                                      float x1, float yTop, float yBottom, bool showXAxis, bool showYAxis)
{
    m_plot.SetXRange(x0, x1, spectrum->m_nPoints, showXAxis);
    m_plot.SetYRange(yTop, yBottom, showYAxis);
    m_plot.SetPixelRect(rect.left, rect.top, rect.right, rect.bottom);

    // The part the display flags choose; the flags are exclusive, magnitude wins.
    int part = 0;
    if (m_display.m_nFlags & TSpectrumDisplayParams::kMagnitude)
        part = TPlotFrame::kPartMagnitude;
    else if (m_display.m_nFlags & TSpectrumDisplayParams::kReal)
        part = TPlotFrame::kPartReal;
    else if (m_display.m_nFlags & TSpectrumDisplayParams::kImaginary)
        part = TPlotFrame::kPartImaginary;
    if (part != 0) {
        m_plot.m_nPartFlags = part;
        m_plot.DrawSpectrumInColour(dc, spectrum, m_crCurve);
    }

    SetPlotUnit(m_plot, spectrum);
    m_plot.m_crAxis = m_crAxis;
    m_plot.DrawAxes(dc);
}

int CVoxelWndView::PlotLeft(vx::TCanvas& dc, const TPixelRect& client, int top, int bottom, float yTop,
                            float yBottom)
{
    // Pixels kept between the window's edge and the widest label.
    constexpr int kLabelPad = 2;
    TPlotFrame frame;
    frame.SetYRange(yTop, yBottom, true);
    frame.SetPixelRect(0, top, 1, bottom);
    return client.left + std::max(kLeftMargin, frame.YAxisWidth(dc) + kLabelPad);
}

int CVoxelWndView::PlotUnit(const TSpectrum* spectrum) const
{
    const auto* filter = ToolAs<TLineWidthTool>();
    if (!spectrum || !spectrum->m_pDataSet || (filter && spectrum == filter->m_pDisplay.get()))
        return m_nUnit;
    return spectrum->m_pDataSet->AxisUnit(m_nUnit);
}

void CVoxelWndView::SetPlotUnit(TPlotFrame& frame, const TSpectrum* spectrum) const
{
    if (const TCSISet* set = spectrum->m_pDataSet)
        frame.SetXUnit(PlotUnit(spectrum), static_cast<float>(set->m_nSpectralWidth), set->m_fFrequency,
                       set->m_fPPMCentrePoint);
    else
        frame.SetXUnit(TPlotFrame::kUnitPoints, 1.0f, 1.0f, 0.0f);
}

int CVoxelWndView::PlotRight(vx::TCanvas& dc, const TSpectrum* spectrum, const TPixelRect& client, int left) const
{
    TPlotFrame frame;
    frame.SetXRange(static_cast<float>(m_display.m_nXStart), static_cast<float>(m_display.m_nXEnd),
                    spectrum->m_nPoints, true);
    SetPlotUnit(frame, spectrum);
    frame.SetPixelRect(left, 0, client.right - kRightMargin, 1);
    return client.right - std::max(kRightMargin, frame.XAxisOverhang(dc));
}

void CVoxelWndView::DrawFullPlot(vx::TCanvas& dc, const TSpectrum* spectrum, const TPixelRect& client)
{
    const int top = client.top + kTopMargin, bottom = client.bottom - kBottomMargin;
    const int left = PlotLeft(dc, client, top, bottom, m_display.m_fYMax, m_display.m_fYMin);
    DrawPlotInRect(dc, spectrum, {left, top, PlotRight(dc, spectrum, client, left), bottom}, true, true);
}

void CVoxelWndView::DrawReadout(vx::TCanvas& dc, const TPixelRect& client)
{
    if (!m_pFrame || m_voxels.empty())
        return;
    Recompute();
    const int n = static_cast<int>(m_voxels.size());
    const int h = (client.bottom - client.top - kBottomMargin) / n;
    if (h < kMinStripHeight)
        return;

    const int stripsBottom = client.bottom - kBottomMargin;
    // Every strip has the same height and ranges, so the same labels and edges.
    const int left = PlotLeft(dc, client, 0, h - kTopMargin, m_display.m_fYMax, m_display.m_fYMin);
    const int right = PlotRight(dc, m_voxels.back(), client, left);
    for (int k = 0; k < n; ++k) {
        const TSpectrum* voxel = m_voxels[k];
        const int bottom = stripsBottom - (n - 1 - k) * h;
        const int top = bottom - h + kTopMargin;
        const TPixelRect plot{left, top, right, bottom};
        DrawPlotInRect(dc, voxel, plot, k == n - 1, true);
        if (m_pFrame->GetKind() == CVoxelWindowBase::kSingleVoxel) {
            dc.SetTextColor(m_crText);
            dc.SetBackground(m_crBackground, true);
            std::string position = "(";
            for (int index : {voxel->m_nX, voxel->m_nY, voxel->m_nZ})
                position += FloatToString(static_cast<float>(index), 5) + ",";
            position.back() = ')';
            dc.Text(plot.right, plot.top, position, vx::AlignRight | vx::AlignTop);
        }
    }

    const auto* readout = ToolAs<TReadoutTool>();
    if (!readout || !readout->m_bValid)
        return;
    const int x = m_plot.DataToPixel(TPoint2D(static_cast<float>(readout->m_nPoint), 0.0f)).x;
    dc.SetPen(m_crMark, 1, vx::PenStyle::Solid);
    dc.MoveTo(x, client.top + kTopMargin);
    dc.LineTo(x, stripsBottom);
    dc.SetTextColor(m_crText);
    dc.SetBackground(m_crBackground, true);
    const std::string label = m_pFrame->GetEstimateTitle().toStdString();
    for (int k = 0; k < n; ++k) {
        const TSpectrum* voxel = m_voxels[k];
        std::string text = label;
        if (k == 0 && voxel->m_pDataSet)
            text += " Current Position: " +
                    voxel->m_pDataSet->FormatAxisValue(static_cast<float>(readout->m_nPoint), PlotUnit(voxel));
        text += " Value: " + FloatToStringG(DisplayedValue(voxel, readout->m_nPoint), 3);
        dc.Text(0, stripsBottom - (n - k) * h, text);
    }
}

void CVoxelWndView::SetScrollPosition(QScrollBar* bar, float value)
{
    // A position set by the program moves the bar only, as the user's scrolling does not.
    const QSignalBlocker block(bar);
    bar->setValue(NearestInt(value));
}

void CVoxelWndView::SetToolValues(float a, float b, float c, float d)
{
    switch (m_nToolMode) {
    case 1:
        if (auto* tool = ToolAs<TPPMCentreTool>()) {
            const TSpectrum* voxel = GetCurrentVoxel();
            if (voxel && voxel->m_pDataSet) {
                const TCSISet& set = *voxel->m_pDataSet;
                tool->m_fTyped = static_cast<float>(
                    PPMToIndex(a, static_cast<float>(set.m_nSpectralWidth), set.m_fFrequency, 0.0f, set.m_nPoints));
            }
        }
        break;
    case 2:
        if (auto* tool = ToolAs<TPhaseTool>())
            SetPhaseValues(*tool, a, b, c);
        break;
    case 3:
        if (auto* tool = ToolAs<TZoomTool>()) {
            tool->m_fXFirst = a;
            tool->m_fXLast = b;
            tool->m_fYTop = c;
            tool->m_fYBottom = d;
            tool->m_bDragging = 0;
            tool->m_bTyped = 1;
        }
        break;
    case 4:
    case 5:
        if (auto* tool = ToolAs<TLineWidthTool>()) {
            tool->m_fWidth = a;
            SetScrollPosition(m_scrollV, a);
        }
        break;
    case 6:
        if (auto* tool = ToolAs<TLineWidthTool>()) {
            tool->m_fWidth = a;
            tool->m_fWidth2 = b;
            SetScrollPosition(m_scrollV, a);
            SetScrollPosition(m_scrollH1, b);
        }
        break;
    case 12:
    case 13:
        if (auto* tool = ToolAs<TAnalysisPeakTool>()) {
            tool->m_nComponents = NearestInt(a);
            tool->m_bSelectedOnly = NearestInt(b) != 0 ? 1 : 0;
            if (m_nToolMode == 13) {
                tool->m_nRuns = NearestInt(c);
                tool->m_fErrorThreshold = d;
            }
        }
        break;
    case 15:
        if (auto* tool = ToolAs<TPeakFindTool>())
            tool->m_fNoiseFactor = a;
        break;
    case 18:
        if (auto* tool = ToolAs<TRegionTool>())
            tool->m_nComponents = NearestInt(a);
        break;
    default:
        break;
    }
    Refresh();
}

void CVoxelWndView::SetPhaseValues(TPhaseTool& tool, float phase0Degrees, float phase1Degrees, float pivot)
{
    MoveConstantPhase(tool, phase0Degrees * kDegree);
    SetScrollPosition(m_scrollH1, phase0Degrees);
    const float phase1 = phase1Degrees * kDegree;
    const int newPivot = NearestInt(pivot);
    if (!(std::fabs(phase1 - tool.m_fPhase1) <= 0.001f && newPivot == tool.m_nPivot)) {
        MoveLinearPhase(tool, phase1, newPivot);
        // The bar goes back to 0, which from now on stands for the typed phase.
        tool.m_fPhase1Origin = phase1;
        SetScrollPosition(m_scrollV, 0.0f);
    }
}

namespace {

// With live phasing ("PhaseMode" 1) every change reaches the work set at once: only the
// current voxel's slice of a multi-slice set. Null set: not live.
struct TLivePhase {
    TCSISet* set = nullptr;
    int perSlice = 0;
    int slice = 0;

    explicit TLivePhase(const TSpectrum* voxel)
    {
        if (!voxel || !voxel->m_pDataSet || !CVoxelWndView::LivePhasing())
            return;
        set = voxel->m_pDataSet;
        perSlice = set->m_bMultiSlice ? 1 : 0;
        slice = CVoxelWndView::SliceOf(voxel);
    }
    void Phase(float ph0, float ph1, int pivot) const
    {
        if (!set)
            return;
        set->Phase(ph0, ph1, pivot, perSlice, slice, false);
        if (g_pProject)
            g_pProject->UpdateFrames(true, false, false, false, false);
    }
};

}  // namespace

bool CVoxelWndView::LivePhasing()
{
    return Setting(kPhaseModeSetting) == 1;
}

const TSpectrum* CVoxelWndView::ToolSpectrum() const
{
    if (const auto* phase = ToolAs<TPhaseTool>(); phase && !phase->m_display.empty())
        return phase->m_display.front().get();
    if (const auto* filter = ToolAs<TLineWidthTool>(); filter && filter->m_pDisplay)
        return filter->m_pDisplay.get();
    return GetCurrentVoxel();
}

void CVoxelWndView::MoveConstantPhase(TPhaseTool& tool, float phase0)
{
    const float delta = phase0 - tool.m_fPhase0;
    if (delta != 0.0f) {
        for (auto* list : {&tool.m_display, &tool.m_base})
            for (auto& spectrum : *list)
                spectrum->Phase(delta, 0.0f, 0);
        TLivePhase(GetCurrentVoxel()).Phase(delta, 0.0f, 0);
    }
    tool.m_fPhase0 = phase0;
}

void CVoxelWndView::MoveLinearPhase(TPhaseTool& tool, float phase1, int pivot)
{
    const size_t count = std::min(tool.m_display.size(), tool.m_base.size());
    for (size_t k = 0; k < count; ++k) {
        *tool.m_display[k] = *tool.m_base[k];
        tool.m_display[k]->Phase(0.0f, phase1, pivot);
    }
    const TLivePhase live(GetCurrentVoxel());
    if (live.set) {
        live.set->Phase(0.0f, -tool.m_fPhase1, tool.m_nPivot, live.perSlice, live.slice, false);
        live.Phase(0.0f, phase1, pivot);
    }
    tool.m_fPhase1 = phase1;
    tool.m_nPivot = pivot;
}
