// The one-click commands of the control panel: they change the work set at once, each
// as one undoable step except the Fourier transform, and bring the other windows up to
// date.
#include <memory>

#include "app/CMainFrame.h"
#include "app/dialogs/CPeakRemovalDlg.h"
#include "app/dialogs/CWaterSupDlg.h"
#include "app/dialogs/DialogRunner.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "platform/Report.h"
#include "platform/WaitCursor.h"
#include "processing/TCosineWindowStep.h"
#include "processing/TFermiWindowStep.h"
#include "processing/THammingWindowStep.h"
#include "processing/TIndividualPhasingStep.h"
#include "processing/TLipidSuppressionStep.h"
#include "processing/TManualAlignmentStep.h"
#include "processing/TWaterSuppressionStep.h"
#include "processing/TZeroFillStep.h"
#include "views/spectrum/CVoxelWndView.h"

namespace {

// The extrapolations per time point of the lipid suppression.
constexpr int kLipidIterations = 20;

CMainFrame* MainFrameOf(const TProject& project) { return dynamic_cast<CMainFrame*>(project.m_pMainFrame); }

}  // namespace

TCSISet* CVoxelWndView::CommandSet() const
{
    const TSpectrum* voxel = GetCurrentVoxel();
    return g_pProject && voxel ? voxel->m_pDataSet : nullptr;
}

void CVoxelWndView::AfterCommand()
{
    AfterDataChange();
    if (CMainFrame* frame = MainFrameOf(*g_pProject)) {
        frame->RefreshVoxelWindows();
        frame->RefreshRegionWindows();
    }
}

void CVoxelWndView::EndToolForCommand()
{
    EndTool();
    m_nToolMode = 0;
}

void CVoxelWndView::OnFT()
{
    TCSISet* set = CommandSet();
    if (!set)
        return;
    EndToolForCommand();
    // Frequency-domain spectra are kept with their halves swapped; a transform that
    // fails (reported) leaves the set in its domain.
    if (set->m_bFrequencyDomain == 0) {
        if (!set->ToFrequencyDomain())
            return;
        set->FFTShiftSpectra();
    } else {
        set->FFTShiftSpectra();
        if (!set->ToTimeDomain()) {
            set->FFTShiftSpectra();
            return;
        }
    }
    set->UpdateDataRange();
    TProject& project = *g_pProject;
    project.ResetSpectrumDisplay(true);
    project.UpdateFrames(true, false, false, false, false);
    project.UpdateRegionEstimates();
    if (CMainFrame* frame = MainFrameOf(project)) {
        frame->RefreshVoxelWindows();
        frame->RefreshRegionWindows();
    }
}

void CVoxelWndView::OnZeroFill()
{
    TCSISet* set = CommandSet();
    if (!set)
        return;
    EndToolForCommand();
    vx::TWaitCursor wait;
    TProject& project = *g_pProject;
    if (!TProcessStep::Perform(new TZeroFillStep(project.m_bRecording, set), project, true))
        return;
    m_display.m_fYMax = set->m_fMagnitudeMax;
    m_display.m_fYMin = -set->m_fMagnitudeMax;
    m_display.m_nXStart = 0;
    m_display.m_nXEnd = set->m_nPoints - 1;
    project.SetSpectrumDisplay(m_display);
    if (CMainFrame* frame = MainFrameOf(project))
        frame->SetSpectrumDisplay(m_display);
    AfterCommand();
}

void CVoxelWndView::OnSpatialCosine()
{
    if (TCSISet* set = CommandSet())
        ApplySpatialWindow(std::make_unique<TCosineWindowStep>(g_pProject->m_bRecording, set));
}

void CVoxelWndView::OnSpatialHamming()
{
    if (TCSISet* set = CommandSet())
        ApplySpatialWindow(std::make_unique<THammingWindowStep>(g_pProject->m_bRecording, set));
}

void CVoxelWndView::OnSpatialFermi()
{
    if (TCSISet* set = CommandSet())
        ApplySpatialWindow(std::make_unique<TFermiWindowStep>(g_pProject->m_bRecording, set));
}

void CVoxelWndView::ApplySpatialWindow(std::unique_ptr<TProcessStep> step)
{
    TCSISet& set = *step->m_pDataSet;
    EndToolForCommand();
    vx::TWaitCursor wait;
    // The window weighs the grid of each frequency; the state saved before keeps the
    // domain, so an undo also brings the set back to the time domain.
    if (!step->SaveState())
        return;
    if (set.m_bFrequencyDomain == 0) {
        if (!set.ToFrequencyDomain())
            return;
        set.FFTShiftSpectra();
    }
    if (!step->Apply())
        return;  // the step read its state back
    g_pProject->RecordStep(step.release(), true);
    set.UpdateDataRange();
    AfterCommand();
}

void CVoxelWndView::OnLipidKSpace()
{
    TCSISet* set = CommandSet();
    if (!set)
        return;
    if (!set->HasSelectedVoxels()) {
        vx::Report("A lipid mask needs to be created first.", vx::ReportIcon::Exclamation);
        return;
    }
    if (vx::Ask("The lipid suppression should be applied to raw CSI data without preprocessing. Would you like to "
                "continue?",
                vx::ReportButtons::YesNo, vx::ReportAnswer::No, vx::ReportIcon::Question) != vx::ReportAnswer::Yes)
        return;
    vx::TWaitCursor wait;
    TProject& project = *g_pProject;
    if (!TProcessStep::Perform(new TLipidSuppressionStep(kLipidIterations, set), project, true))
        return;
    // The active tool stays open.
    AfterCommand();
    if (project.m_pMainFrame)
        project.m_pMainFrame->ShowProjectExplorer();
}

void CVoxelWndView::ApplyToVoxels()
{
    TCSISet* set = CommandSet();
    if (!set)
        return;
    TProject& project = *g_pProject;
    // The step's state is the set before this window's voxels change; it is recorded
    // without being applied.
    const auto record = [&](TProcessStep* step) {
        if (!step->SaveState()) {
            delete step;
            return false;
        }
        project.RecordStep(step, true);
        return true;
    };
    if (auto* phase = ToolAs<TPhaseTool>(); phase && m_nToolMode == 2) {
        float phase0 = 0.0f, phase1 = 0.0f;
        int pivot = 0;
        set->GetPhase(SliceOf(GetCurrentVoxel()), phase0, phase1, pivot);
        if (record(new TIndividualPhasingStep(project.m_bRecording, set))) {
            phase->m_bApplied = 1;
            // The voxels take the tool's phase in place of the stored one, which stays.
            if (!LivePhasing())
                for (TSpectrum* voxel : m_voxels) {
                    voxel->Phase(0.0f, -phase1, pivot);
                    voxel->Phase(phase->m_fPhase0 - phase0, phase->m_fPhase1, phase->m_nPivot);
                }
            AfterDataChange();
        }
    } else if (auto* zoom = ToolAs<TZoomTool>(); zoom && m_nToolMode == 3) {
        ZoomDisplay(*zoom);
    } else if (auto* move = ToolAs<TRegionTool>(); move && m_nToolMode == 17) {
        if (record(new TManualAlignmentStep(move->m_nStart, move->m_nEnd, set))) {
            for (TSpectrum* voxel : m_voxels)
                voxel->CircularShift(move->m_nStart - move->m_nEnd);
            AfterDataChange();
        }
    }
    EndToolForCommand();
    if (CMainFrame* frame = MainFrameOf(project)) {
        frame->RefreshVoxelWindows();
        frame->RefreshRegionWindows();
    }
    Refresh();
}

void CVoxelWndView::OnWater()
{
    TCSISet* set = CommandSet();
    if (!set)
        return;
    EndToolForCommand();
    // The kernel must fit into the spectrum; the dialog comes back until it does.
    const int largest = set->m_nPoints - 1;
    for (;;) {
        CWaterSupDlg dialog(this);
        if (vx::app::RunDialog(dialog) != QDialog::Accepted)
            return;
        const int length = CWaterSupDlg::Kept().m_nWindowLength;
        if (length <= 1)
            vx::Report("Filter length must be larger than 1.", vx::ReportIcon::Exclamation);
        else if (length > largest)
            vx::Report("Filter length must be smaller than " + FloatToString(static_cast<float>(largest), 5) + ".",
                       vx::ReportIcon::Exclamation);
        else
            break;
    }
    TWaterSuppressionParams params = CWaterSupDlg::Kept();
    if (params.m_nMethod == CWaterSupDlg::kHLSVDPro) {
        // The HLSVD fit needs the water band: its tool picks it.
        SetTool(19, static_cast<float>(params.m_nPeaks), params.m_fPeakAlignRange,
                static_cast<float>(params.m_bSelectedOnly));
        return;
    }
    vx::TWaitCursor wait;
    params.m_nMethod = 0;
    params.m_fWaterStart = params.m_fWaterEnd = 0.0f;
    TProject& project = *g_pProject;
    if (!TProcessStep::Perform(new TWaterSuppressionStep(params, project.m_bRecording, set), project, true))
        return;
    project.ResetSpectrumDisplay(false);
    AfterCommand();
}

void CVoxelWndView::OnPeakRemoval()
{
    const TCSISet* set = CommandSet();
    if (!set)
        return;
    EndToolForCommand();
    for (;;) {
        CPeakRemovalDlg dialog(this);
        dialog.SetMaxPeaks(set->m_nPoints);
        if (vx::app::RunDialog(dialog) != QDialog::Accepted)
            return;
        if (CPeakRemovalDlg::Kept().peaks > 0)
            break;
        vx::Report("Number of peaks must be positive.", vx::ReportIcon::Exclamation);
    }
    const CPeakRemovalDlg::TValues& values = CPeakRemovalDlg::Kept();
    SetTool(20, static_cast<float>(values.peaks), values.selectedOnly ? 1.0f : 0.0f);
}
