// The spectrum view's tools: opening one (its record and its bars), ending it, and Apply,
// which turns the picks into a processing step, a display range or an analysis.
#include <QScrollBar>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/dialogs/CCreateMapDlg.h"
#include "app/dialogs/DialogRunner.h"
#include "app/CMainFrame.h"
#include "app/TImageFrameList.h"
#include "model/TIntegralRegion.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TPeakSNRParams.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "views/analysis/CIntegralWnd.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "processing/TAnalysisNMF.h"
#include "processing/TAnalysisPCA.h"
#include "processing/TBaselineFitStep.h"
#include "processing/TBaselineStep.h"
#include "processing/TGaussFilterStep.h"
#include "processing/THLSVDPeakRemovalStep.h"
#include "processing/TInitialAlignmentStep.h"
#include "processing/TLorentzFilterStep.h"
#include "processing/TLorentzGaussFilterStep.h"
#include "processing/TManualAlignmentStep.h"
#include "processing/TPPMCenterStep.h"
#include "processing/TPhasingStep.h"
#include "processing/TSSPStep.h"
#include "processing/TWaterSuppressionStep.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/spectrum/CVoxelWndView.h"
#include "views/spectrum/TSharedToolParams.h"

namespace {

constexpr float kConvDiffWidth = 500.0f;

CMainFrame* MainFrame()
{
    return g_pProject ? dynamic_cast<CMainFrame*>(g_pProject->m_pMainFrame) : nullptr;
}

// A validation message: a plain box.
void Tell(const std::string& text)
{
    vx::Report(text, vx::ReportIcon::None);
}

bool Recording()
{
    return g_pProject && g_pProject->m_bRecording;
}

// Saves, applies and records a step on the project; a failed step is deleted.
bool Perform(TProcessStep* step)
{
    if (!g_pProject) {
        delete step;
        return false;
    }
    return TProcessStep::Perform(step, *g_pProject, true);
}

}  // namespace

int CVoxelWndView::SliceOf(const TSpectrum* voxel)
{
    if (!voxel || !voxel->m_pDataSet)
        return 0;
    const int index[3] = {voxel->m_nX, voxel->m_nY, voxel->m_nZ};
    return index[std::clamp(voxel->m_pDataSet->m_nSliceAxis, 0, 2)];
}

// ---- opening and ending a tool ----------------------------------------------------------

void CVoxelWndView::SetTool(int mode, float a, float b, float c, float d)
{
    if (mode == m_nToolMode)
        return;
    EndTool();
    m_nToolMode = mode;
    if (!GetCurrentVoxel())
        return;
    if (mode == 7) {
        RunMapDialog();
        return;
    }
    PrepareTool(mode, a, b, c, d);
    if (m_pFrame) {
        m_pFrame->EnableApplyCancel(true);
        const bool single = m_pFrame->GetKind() == CVoxelWindowBase::kSingleVoxel;
        m_pFrame->EnableVoxApply(mode == 3 || (single && ((mode == 2 && !LivePhasing()) || mode == 17)));
    }
    Refresh();
}

void CVoxelWndView::RunMapDialog()
{
    EnsureFrequencyDomain();
    const TCSISet* set = GetCurrentVoxel()->m_pDataSet;
    CCreateMapDlg dialog(g_pProject, set->m_nDim, this);
    // A refused name shows the dialog again with what was typed.
    for (;;) {
        if (vx::app::RunDialog(dialog) != QDialog::Accepted) {
            EndTool();
            m_nToolMode = 0;
            return;
        }
        std::string replace;
        if (AcceptMapName(dialog.GetParams().name, replace)) {
            OpenMapTool(dialog.GetParams(), replace);
            return;
        }
    }
}

bool CVoxelWndView::AcceptMapName(const std::string& peak, std::string& replace) const
{
    replace.clear();
    const bool plain = std::all_of(peak.begin(), peak.end(),
                                   [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
    if (!plain) {
        vx::Report("Peak name can only contain alphabet, number or underscore.", vx::ReportIcon::None);
        return false;
    }
    const TSpectrum* voxel = GetCurrentVoxel();
    const TCSISet* set = voxel ? voxel->m_pDataSet : nullptr;
    if (!set || !set->FindMap(peak + "_map"))
        return true;
    if (vx::Ask("Map of peak " + peak + " already exists, do you want to overwrite it?", vx::ReportButtons::YesNo,
                vx::ReportAnswer::Yes, vx::ReportIcon::Information) != vx::ReportAnswer::Yes)
        return false;
    replace = peak + "_map";
    return true;
}

void CVoxelWndView::OpenMapTool(const TMapParams& params, const std::string& replace)
{
    EndTool();
    m_nToolMode = 7;
    if (!GetCurrentVoxel())
        return;
    EnsureFrequencyDomain();
    auto tool = std::make_unique<TMapTool>();
    tool->m_params = params;
    tool->m_strReplace = replace;
    m_tool = std::move(tool);
    Refresh();
}

bool CVoxelWndView::EnsureFrequencyDomain()
{
    TSpectrum* voxel = GetCurrentVoxel();
    TCSISet* set = voxel ? voxel->m_pDataSet : nullptr;
    if (!set)
        return false;
    if (set->m_bFrequencyDomain)
        return true;
    if (!set->ToFrequencyDomain())
        return false;
    set->FFTShiftSpectra();
    set->UpdateDataRange();
    if (g_pProject)
        g_pProject->ResetSpectrumDisplay(false);
    Recompute();
    return true;
}

void CVoxelWndView::RangeBar(QScrollBar* bar, int low, int high, int position)
{
    {
        const QSignalBlocker block(bar);
        bar->setRange(low, high);
        bar->setValue(position);
    }
    // The vertical bar along the right edge, the horizontal ones along the bottom.
    if (bar == m_scrollV)
        bar->setGeometry(width() - 20, kTopMargin, 20, std::max(height() - 45, 20));
    else
        bar->setGeometry(kLeftMargin, height() - (bar == m_scrollH1 ? 20 : 40), std::max(width() - 61, 20), 20);
    bar->show();
}

std::unique_ptr<TLineWidthTool> CVoxelWndView::MakeLineWidthTool() const
{
    auto tool = std::make_unique<TLineWidthTool>();
    const TSpectrum* voxel = GetCurrentVoxel();
    tool->m_pSource = std::make_unique<TSpectrum>(*voxel);
    // The filters weight the free induction decay.
    if (voxel->m_pDataSet && voxel->m_pDataSet->m_bFrequencyDomain) {
        tool->m_pSource->FFTShift();
        tool->m_pSource->ToTimeDomain();
    }
    return tool;
}

void CVoxelWndView::PrepareTool(int mode, float a, float b, float c, float d)
{
    TSpectrum* voxel = GetCurrentVoxel();
    const int truncA = vx::TruncateToInt(a), truncB = vx::TruncateToInt(b), truncC = vx::TruncateToInt(c);
    switch (mode) {
    case 1: {
        EnsureFrequencyDomain();
        // The reference ppm's offset from 0 ppm in points; the pick starts where the
        // reference ppm lies now.
        const TCSISet& set = *voxel->m_pDataSet;
        auto tool = std::make_unique<TPPMCentreTool>();
        tool->m_fTyped = static_cast<float>(PPMToIndex(set.m_fPPMCentreValue, static_cast<float>(set.m_nSpectralWidth),
                                                       set.m_fFrequency, 0.0f, set.m_nPoints));
        tool->m_fChosen = tool->m_fPointer = tool->m_fTyped + set.m_fPPMCentrePoint;
        m_tool = std::move(tool);
        break;
    }
    case 2: {
        EnsureFrequencyDomain();
        auto tool = std::make_unique<TPhaseTool>();
        PreparePhase(*tool);
        m_tool = std::move(tool);
        break;
    }
    case 3: {
        auto tool = std::make_unique<TZoomTool>();
        tool->m_fXFirst = static_cast<float>(m_display.m_nXStart);
        tool->m_fXLast = static_cast<float>(m_display.m_nXEnd);
        tool->m_fYBottom = m_display.m_fYMin;
        tool->m_fYTop = m_display.m_fYMax;
        m_tool = std::move(tool);
        break;
    }
    case 4:
    case 5:
        m_tool = MakeLineWidthTool();
        RangeBar(m_scrollV, 0, 50, 0);
        break;
    case 6:
        m_tool = MakeLineWidthTool();
        RangeBar(m_scrollV, -50, 0, 0);
        RangeBar(m_scrollH1, 0, 50, 0);
        break;
    case 9: {
        auto tool = MakeLineWidthTool();
        tool->m_fWidth = kConvDiffWidth;
        tool->m_fFactor = 1.0f;
        tool->m_pDisplay = std::make_unique<TSpectrum>(*tool->m_pSource);
        ConvolutionDifference(*tool->m_pDisplay, tool->m_fWidth, tool->m_fFactor);
        m_tool = std::move(tool);
        RangeBar(m_scrollV, 0, 500, 500);
        break;
    }
    case 10:
    case 11: {
        EnsureFrequencyDomain();
        auto tool = std::make_unique<TPeakListTool>();
        tool->m_nOrder = mode == 10 ? 0 : 1;
        m_tool = std::move(tool);
        break;
    }
    case 12:
    case 13: {
        EnsureFrequencyDomain();
        auto tool = std::make_unique<TAnalysisPeakTool>();
        tool->m_nComponents = truncA;
        tool->m_bSelectedOnly = truncB != 0 ? 1 : 0;
        tool->m_nRuns = truncC;
        tool->m_fErrorThreshold = d;
        m_tool = std::move(tool);
        break;
    }
    case 15: {
        EnsureFrequencyDomain();
        auto tool = std::make_unique<TPeakFindTool>();
        tool->m_fNoiseFactor = a;
        m_tool = std::move(tool);
        break;
    }
    case 16: {
        EnsureFrequencyDomain();
        auto tool = std::make_unique<TIntegralTool>();
        const float largest = voxel->GetMaxMagnitude();
        tool->m_fOffsetStep = 0.2f * largest;
        tool->m_fSlopeStep = 0.1f * largest;
        m_tool = std::move(tool);
        RangeBar(m_scrollV, -100, 100, 0);
        RangeBar(m_scrollH1, -1000, 1000, 0);
        RangeBar(m_scrollH2, -1000, 1000, 0);
        break;
    }
    case 14:
    case 17:
    case 18:
    case 19:
    case 20: {
        EnsureFrequencyDomain();
        auto tool = std::make_unique<TRegionTool>();
        if (mode == 18)
            tool->m_nComponents = truncA;
        if (mode == 19 || mode == 20)
            tool->m_nPeaks = truncA;
        if (mode == 19) {
            tool->m_fAlignRange = b;
            tool->m_bSelectedOnly = truncC != 0 ? 1 : 0;
        }
        if (mode == 20)
            tool->m_bSelectedOnly = truncB != 0 ? 1 : 0;
        m_tool = std::move(tool);
        break;
    }
    default:
        break;
    }
}

void CVoxelWndView::PreparePhase(TPhaseTool& tool)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    const TCSISet* set = voxel->m_pDataSet;
    if (set)
        set->GetPhase(SliceOf(voxel), tool.m_fPhase0, tool.m_fPhase1, tool.m_nPivot);
    tool.m_fPhase1Origin = tool.m_fPhase1;
    // The base copies hold the constant phase only; the shown ones equal the voxels.
    for (const TSpectrum* spectrum : m_voxels) {
        auto base = std::make_unique<TSpectrum>(*spectrum);
        base->Phase(0.0f, -tool.m_fPhase1, tool.m_nPivot);
        auto shown = std::make_unique<TSpectrum>(*base);
        shown->Phase(0.0f, tool.m_fPhase1, tool.m_nPivot);
        tool.m_base.push_back(std::move(base));
        tool.m_display.push_back(std::move(shown));
    }
    if (LivePhasing() && set)
        for (size_t k = 0; k < set->VoxelCount(); ++k) {
            const TSpectrum* spectrum = set->GetVoxel(k);
            tool.m_setBefore.push_back(spectrum ? std::make_unique<TSpectrum>(*spectrum) : nullptr);
        }
    RangeBar(m_scrollV, -720, 720, 0);
    RangeBar(m_scrollH1, -180, 180, vx::TruncateToInt(tool.m_fPhase0 / kRadiansPerDegree));
}

void CVoxelWndView::EndTool()
{
    if (m_pFrame) {
        m_pFrame->EnableApplyCancel(false);
        m_pFrame->EnableVoxApply(false);
    }
    TSpectrum* voxel = GetCurrentVoxel();
    if (!voxel)
        return;
    if (auto* phase = ToolAs<TPhaseTool>(); phase && !phase->m_bApplied && !phase->m_setBefore.empty()) {
        // The work set gets back the samples it had: phasing back would leave rounding.
        TCSISet& set = *voxel->m_pDataSet;
        for (size_t k = 0; k < std::min(set.VoxelCount(), phase->m_setBefore.size()); ++k) {
            TSpectrum* spectrum = set.GetVoxel(k);
            const TSpectrum* before = phase->m_setBefore[k].get();
            if (spectrum && before && before->Data() && spectrum->Data() &&
                before->SampleCount() == spectrum->SampleCount())
                spectrum->SetComplexData(before->Data());
        }
        voxel->m_pDataSet->UpdateDataRange();
        if (g_pProject)
            g_pProject->UpdateFrames(true, false, false, false, false);
    }
    if (ToolAs<TIntegralTool>() && m_pFrame)
        m_pFrame->HideIntegralWindow();
    for (QScrollBar* bar : {m_scrollV, m_scrollH1, m_scrollH2})
        bar->hide();
    m_tool = std::make_unique<TReadoutTool>();
}

void CVoxelWndView::CancelTool()
{
    EndTool();
    m_nToolMode = 0;
    Refresh();
}

void CVoxelWndView::CloseTool()
{
    EndTool();
    m_nToolMode = 0;
}

// ---- Apply ------------------------------------------------------------------------------

void CVoxelWndView::Apply()
{
    TSpectrum* voxel = GetCurrentVoxel();
    if (!voxel || !voxel->m_pDataSet)
        return;
    TCSISet* set = voxel->m_pDataSet;
    switch (m_nToolMode) {
    case 1:
        if (auto* tool = ToolAs<TPPMCentreTool>())
            ApplyPPMCentre(*tool);
        break;
    case 2:
        if (auto* tool = ToolAs<TPhaseTool>())
            ApplyPhase(*tool);
        break;
    case 7:
        if (auto* tool = ToolAs<TMapTool>())
            ApplyMap(*tool);
        break;
    case 3:
        if (auto* tool = ToolAs<TZoomTool>())
            ApplyZoom(*tool);
        break;
    case 4:
    case 5:
    case 6:
    case 9:
        if (auto* tool = ToolAs<TLineWidthTool>()) {
            TProcessStep* step = nullptr;
            if (m_nToolMode == 4)
                step = new TGaussFilterStep(tool->m_fWidth, Recording(), set);
            else if (m_nToolMode == 5)
                step = new TLorentzFilterStep(tool->m_fWidth, Recording(), set);
            else if (m_nToolMode == 6)
                step = new TLorentzGaussFilterStep(tool->m_fWidth2, tool->m_fWidth, Recording(), set);
            else
                step = new TBaselineStep(tool->m_fWidth, tool->m_fFactor, Recording(), set);
            if (Perform(step))
                AfterDataChange();
        }
        break;
    case 10:
    case 11:
        if (auto* tool = ToolAs<TPeakListTool>())
            ApplyBaselineFit(*tool);
        break;
    case 12:
    case 13:
        if (auto* tool = ToolAs<TAnalysisPeakTool>())
            ApplyAnalysis(*tool);
        break;
    case 14:
    case 17:
    case 18:
    case 19:
    case 20:
        if (auto* tool = ToolAs<TRegionTool>())
            ApplyRegion(*tool);
        break;
    case 15:
        if (auto* tool = ToolAs<TPeakFindTool>())
            ApplyPeakFind(*tool);
        break;
    case 16:
        // The integral tool stays open for the next region.
        if (auto* tool = ToolAs<TIntegralTool>()) {
            if (!tool->m_bEndSet) {
                Tell("Select the region for integraion first.");
                return;
            }
            if (TIntegralRegion* region = MakeIntegral()) {
                CIntegralWnd* window = m_pFrame ? m_pFrame->IntegralWindow() : nullptr;
                if (window)
                    window->AddIntegral(region);
                else
                    delete region;
            }
            tool->m_bStartSet = tool->m_bEndSet = 0;
            tool->m_fOffset = tool->m_fSlope = 0.0f;
            tool->m_fCoarseOffset = tool->m_fCoarseSlope = 0.0f;
            tool->m_fScale = 1.0f;
            for (QScrollBar* bar : {m_scrollV, m_scrollH1, m_scrollH2})
                bar->setValue(0);
            if (g_pProject && g_pProject->m_pMainFrame)
                g_pProject->m_pMainFrame->RefreshVoxelWindows();
        }
        return;
    default:
        break;
    }
    EndTool();
    m_nToolMode = 0;
    if (g_pProject && g_pProject->m_pMainFrame) {
        g_pProject->m_pMainFrame->RefreshVoxelWindows();
        g_pProject->m_pMainFrame->RefreshRegionWindows();
    }
    Refresh();
}

void CVoxelWndView::AfterDataChange()
{
    TProject* project = g_pProject;
    if (!project)
        return;
    TSpectrum* voxel = GetCurrentVoxel();
    TCSISet* set = voxel ? voxel->m_pDataSet : nullptr;
    project->m_bModified = true;
    if (CMainFrame* frame = MainFrame())
        frame->UpdateAnalysisWindows(1, 1);
    const bool maps = set && set->HasMaps();
    if (maps)
        set->m_pMapList->UpdateAll();
    project->UpdateFrames(true, maps, false, false, false);
    project->UpdateRegionEstimates();
}

void CVoxelWndView::ApplyPhase(TPhaseTool& tool)
{
    TSpectrum* voxel = GetCurrentVoxel();
    TCSISet* set = voxel->m_pDataSet;
    const int slice = SliceOf(voxel), perSlice = set->m_bMultiSlice ? 1 : 0;
    float phase0 = 0.0f, phase1 = 0.0f;
    int pivot = 0;
    set->GetPhase(slice, phase0, phase1, pivot);
    auto* step = new TPhasingStep(phase0, tool.m_fPhase0, phase1, tool.m_fPhase1, pivot, tool.m_nPivot, perSlice,
                                  slice, Recording(), set);
    // With live phasing the set already holds the new phase: the step is only recorded.
    if (LivePhasing()) {
        if (!g_pProject || !step->SaveState()) {
            delete step;
            return;
        }
        g_pProject->RecordStep(step, true);
    } else if (!Perform(step)) {
        return;
    }
    tool.m_bApplied = 1;
    set->SetPhase0(tool.m_fPhase0, perSlice, slice);
    set->SetPhase1(tool.m_fPhase1, tool.m_nPivot, perSlice, slice);
    AfterDataChange();
}

void CVoxelWndView::ApplyZoom(const TZoomTool& tool)
{
    ZoomDisplay(tool);
    if (!g_pProject)
        return;
    g_pProject->SetSpectrumDisplay(m_display);
    if (g_pProject->m_pMainFrame)
        g_pProject->m_pMainFrame->SetSpectrumDisplay(m_display);
    g_pProject->UpdateFrames(true, false, false, false, false);
}

void CVoxelWndView::ZoomDisplay(const TZoomTool& tool)
{
    const TSpectrum* voxel = GetCurrentVoxel();
    const int last = voxel->m_nPoints - 1;
    if (!tool.m_bDragging && !tool.m_bTyped) {
        // No box: the whole spectrum.
        m_display.m_fYMax = voxel->GetMaxMagnitude();
        m_display.m_fYMin = -m_display.m_fYMax;
        m_display.m_nXStart = 0;
        m_display.m_nXEnd = last;
    } else {
        const float first = std::max(std::min(tool.m_fXFirst, tool.m_fXLast), 0.0f);
        const float end = std::min(std::max(tool.m_fXFirst, tool.m_fXLast), static_cast<float>(last));
        m_display.m_nXStart = vx::TruncateToInt(first);
        m_display.m_nXEnd = vx::TruncateToInt(end);
        m_display.m_fYMin = tool.m_fYBottom;
        m_display.m_fYMax = tool.m_fYTop;
    }
}

void CVoxelWndView::ApplyBaselineFit(const TPeakListTool& tool)
{
    if (tool.m_nCount < 1)
        return;
    const TSpectrum* voxel = GetCurrentVoxel();
    TCSISet* set = voxel->m_pDataSet;
    std::vector<float> ppm;
    for (int k = 0; k < tool.m_nCount; ++k)
        for (int side = 0; side < 2; ++side)
            ppm.push_back(static_cast<float>(IndexToPPM(static_cast<float>(tool.m_peaks[k][side]),
                                                        static_cast<float>(set->m_nSpectralWidth), set->m_fFrequency,
                                                        set->m_fPPMCentrePoint, set->m_nPoints)));
    if (Perform(new TBaselineFitStep(tool.m_nCount, tool.m_nOrder, ppm.data(), Recording(), set)))
        AfterDataChange();
}

void CVoxelWndView::ApplyAnalysis(TAnalysisPeakTool& tool)
{
    if (m_pFrame) {
        m_pFrame->ReadPanelParams(m_nToolMode);
        const TSharedToolParams& panel = SharedToolParams();
        tool.m_nComponents = panel.components;
        tool.m_bSelectedOnly = panel.selectedOnly != 0 ? 1 : 0;
        tool.m_nRuns = panel.runs;
        tool.m_fErrorThreshold = panel.errorThreshold;
    }
    if (tool.m_nCount < 1)
        return;
    TSpectrum* voxel = GetCurrentVoxel();
    TCSISet* set = voxel->m_pDataSet;
    const int last = voxel->m_nPoints - 1;
    std::vector<int32_t> pairs;
    int low = last, high = 0;
    for (int k = 0; k < tool.m_nCount; ++k) {
        const int a = std::clamp(tool.m_peaks[k][0], 0, last), b = std::clamp(tool.m_peaks[k][1], 0, last);
        pairs.push_back(std::min(a, b));
        pairs.push_back(std::max(a, b));
        low = std::min(low, pairs[pairs.size() - 2]);
        high = std::max(high, pairs.back());
    }
    const int span = high - low + 1;
    const bool pca = m_nToolMode == 12;
    const std::string method = pca ? "PCA" : "NMF";
    TAnalysis* analysis = nullptr;
    if (tool.m_nComponents <= 0) {
        Tell(pca ? "Number of PCs should be larger than zero." : "Number of Basis should be larger than zero.");
        return;
    }
    if (span < tool.m_nComponents) {
        Tell("Need to select a wider peak region for " + method + ".");
        return;
    }
    if (pca) {
        analysis = new TAnalysisPCA(low, high, tool.m_nComponents, pairs.data(), tool.m_nCount);
    } else {
        if (tool.m_nRuns <= 0) {
            Tell("Number of Runs should be larger than zero.");
            return;
        }
        if (!(tool.m_fErrorThreshold > 0.0f)) {
            Tell("The error threshold should be a very small positive number, for instance, 1.0e-6.");
            return;
        }
        analysis = new TAnalysisNMF(low, high, tool.m_nComponents, pairs.data(), tool.m_nCount, tool.m_nRuns,
                                    tool.m_fErrorThreshold);
    }
    if (!analysis->Prepare(set, tool.m_bSelectedOnly == 1)) {
        Tell("No voxels are selected.");
        delete analysis;
        return;
    }
    if (!analysis->Compute() || !g_pProject) {
        delete analysis;
        return;
    }
    g_pProject->m_analyses.push_back(analysis);
    // The project file holds the analyses.
    g_pProject->SetFileModified();
    if (CMainFrame* frame = MainFrame()) {
        frame->OpenAnalysisWindow(analysis);
        frame->SetAnalysisWindowsUnit(m_nUnit);
    }
}

void CVoxelWndView::ApplyRegion(TRegionTool& tool)
{
    const int mode = m_nToolMode;
    if (mode == 18 && m_pFrame) {
        m_pFrame->ReadPanelParams(mode);
        tool.m_nComponents = SharedToolParams().lipidComponents;
    }
    if (!tool.m_bEndSet) {
        Tell(mode == 14   ? "Peak region must be selected."
             : mode == 17 ? "New peak position must be selected."
             : mode == 18 ? "Lipid region must be selected."
             : mode == 19 ? "Water region must be selected."
                          : "The spectral region must be selected.");
        return;
    }
    TCSISet* set = GetCurrentVoxel()->m_pDataSet;
    const int low = std::min(tool.m_nStart, tool.m_nEnd), high = std::max(tool.m_nStart, tool.m_nEnd);
    auto hz = [&](int point) {
        return static_cast<float>(
            IndexToHz(static_cast<float>(point), static_cast<float>(set->m_nSpectralWidth), set->m_nPoints));
    };
    if ((mode == 14 || mode == 17) && !set->HasSelectedVoxels())
        Tell("No voxels are selected.");  // a warning only
    if (mode == 18 && (tool.m_nComponents < 1 || tool.m_nComponents > high - low + 1)) {
        Tell("Invalid number of components.");
        return;
    }
    if ((mode == 19 || mode == 20) && tool.m_nPeaks == 0) {
        Tell("Invalid number of peaks.");
        return;
    }
    TProcessStep* step = nullptr;
    switch (mode) {
    case 14:
        step = new TInitialAlignmentStep(low, high, set);
        break;
    case 17:
        step = new TManualAlignmentStep(tool.m_nStart, tool.m_nEnd, set);
        break;
    case 18:
        step = new TSSPStep(static_cast<uint32_t>(tool.m_nComponents), low, high, set);
        break;
    case 19: {
        TWaterSuppressionParams params;
        params.m_nMethod = 1;  // HLSVD
        params.m_nWindowLength = 17;
        params.m_nWindowType = 0;
        params.m_fPeakAlignRange = tool.m_fAlignRange;
        params.m_nPeaks = tool.m_nPeaks;
        params.m_fWaterStart = hz(low);
        params.m_fWaterEnd = hz(high);
        params.m_bSelectedOnly = tool.m_bSelectedOnly;
        step = new TWaterSuppressionStep(params, Recording(), set);
        break;
    }
    default:
        step = new THLSVDPeakRemovalStep(tool.m_nPeaks, hz(low), hz(high), tool.m_bSelectedOnly != 0, set);
        break;
    }
    if (Perform(step))
        AfterDataChange();
}

void CVoxelWndView::ApplyPeakFind(TPeakFindTool& tool)
{
    if (m_pFrame) {
        m_pFrame->ReadPanelParams(m_nToolMode);
        tool.m_fNoiseFactor = SharedToolParams().noiseFactor;
    }
    if (!tool.m_bNoiseEndSet) {
        Tell("Peak region and noise region must be selected.");
        return;
    }
    TCSISet* set = GetCurrentVoxel()->m_pDataSet;
    TPeakSNRParams params;
    params.peakFirst = std::min(tool.m_nStart, tool.m_nEnd);
    params.peakLast = std::max(tool.m_nStart, tool.m_nEnd);
    params.noiseFirst = std::min(tool.m_nNoiseStart, tool.m_nNoiseEnd);
    params.noiseLast = std::max(tool.m_nNoiseStart, tool.m_nNoiseEnd);
    params.k = tool.m_fNoiseFactor;
    if (!set->HasSelectedVoxels())
        Tell("No voxels are selected.");  // a warning only
    if (!set->TestPeakSNRAll(params))
        Tell("No peak is found.");
    if (g_pProject)
        g_pProject->UpdateFrames(true, false, false, false, false);
}

void CVoxelWndView::ApplyPPMCentre(const TPPMCentreTool& tool)
{
    // The picked point reads the reference ppm from now on.
    TCSISet* set = GetCurrentVoxel()->m_pDataSet;
    const float reference = static_cast<float>(
        IndexToPPM(tool.m_fTyped, static_cast<float>(set->m_nSpectralWidth), set->m_fFrequency, 0.0f, set->m_nPoints));
    auto* step = new TPPMCenterStep(set->m_fPPMCentrePoint, tool.m_fChosen - tool.m_fTyped, set->m_fPPMCentreValue,
                                    reference, Recording(), set);
    if (!g_pProject || !step->SaveState() || !step->Apply()) {
        delete step;
        return;
    }
    g_pProject->RecordStep(step, false);
    set->UpdateMaps();
    g_pProject->UpdateFrames(false, true, false, false, false);
}

void CVoxelWndView::ApplyMap(const TMapTool& tool)
{
    // A map is made only from a voxel picked in an image window, which then shows it.
    CChildFrame* frame = m_pFrame ? m_pFrame->GetChildFrame() : nullptr;
    if (!frame)
        return;
    const TSpectrum* voxel = GetCurrentVoxel();
    TCSISet* set = voxel->m_pDataSet;
    auto ppm = [&](int point) {
        return static_cast<float>(IndexToPPM(static_cast<float>(point), static_cast<float>(set->m_nSpectralWidth),
                                             set->m_fFrequency, set->m_fPPMCentrePoint, set->m_nPoints));
    };
    TMapParams params = tool.m_params;
    params.peakStartPPM = ppm(tool.m_bounds[0]);
    params.peakEndPPM = ppm(tool.m_bounds[1]);
    params.refPeakStartPPM = ppm(tool.m_bounds[2]);
    params.refPeakEndPPM = ppm(tool.m_bounds[3]);
    params.ratioOfPeaks = tool.m_nSelector;
    params.referenceVoxel[0] = voxel->m_nX;
    params.referenceVoxel[1] = voxel->m_nY;
    params.referenceVoxel[2] = voxel->m_nZ;
    auto map = std::make_unique<TMap>();
    if (!map->Create(set, params))
        return;  // Create has said why
    if (TMap* old = tool.m_strReplace.empty() ? nullptr : set->FindMap(tool.m_strReplace)) {
        // The image windows show overlays by map name: they take the new map below.
        if (auto* frames = g_pProject ? dynamic_cast<TImageFrameList*>(g_pProject->m_frameList.get()) : nullptr)
            for (CChildFrame* shown : frames->Frames())
                shown->RemoveMapOverlay(old);
        if (set->m_pMapList->Remove(old))
            delete old;
    }
    map->EnlargeTo(tool.m_params.size[0], tool.m_params.size[1], tool.m_params.size[2]);
    TMap* added = map.release();
    set->AddMap(added);
    // The new map is saved with the set's maps.
    set->SetModified();
    frame->ClearMapOverlays();
    if (const TMRImage* image = frame->GetImage())
        frame->AddMapOverlay(added, image->GetOrientation(), image->GetSlicePosition());
    else
        frame->AddMapOverlay(added, frame->m_nAxis, frame->m_position[frame->m_nAxis]);
    frame->UpdateView(false, true, false, false, false);
    frame->UpdateTitle();
}
