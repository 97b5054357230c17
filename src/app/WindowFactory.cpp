#include "app/WindowFactory.h"


#include <vector>

#include "app/CAnalysisWindowBase.h"
#include "app/CChildFrame.h"
#include "app/CExplorerFrameBase.h"
#include "app/CInfoFrameBase.h"
#include "app/CModelessInfoFrame.h"
#include "app/CPrjExpFrame.h"
#include "app/CVoxelWindowBase.h"
#include "app/TImageFrameList.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "platform/Globals.h"
#include "processing/TRegionEstimate.h"
#include "views/analysis/CAnalysisWnd.h"
#include "views/spectrum/CVoxelWindow.h"

namespace vx::app {
namespace {

// One installed maker of each kind, empty until installed.
template <class T>
T& Slot()
{
    static T maker;
    return maker;
}
template <class T>
T Swap(T& slot, T value)
{
    T old = std::move(slot);
    slot = std::move(value);
    return old;
}
}  // namespace

CVoxelWindowBase* MakeVoxelWindow(TVoxelWndList* list, CChildFrame* frame, int kind)
{
    return new CVoxelWindow(list, frame, kind);
}

CAnalysisWindowBase* MakeAnalysisWindow(TAnalysisWndList* list, TAnalysis* analysis)
{
    return new CAnalysisWnd(list, analysis);
}

ExplorerFactory SetExplorerFactory(ExplorerFactory factory) { return Swap(Slot<ExplorerFactory>(), std::move(factory)); }
InfoFrameFactory SetInfoFrameFactory(InfoFrameFactory factory) { return Swap(Slot<InfoFrameFactory>(), std::move(factory)); }
ImageFrameLookup SetImageFrameLookup(ImageFrameLookup lookup) { return Swap(Slot<ImageFrameLookup>(), std::move(lookup)); }
ImageFrameListFactory SetImageFrameListFactory(ImageFrameListFactory factory)
{
    return Swap(Slot<ImageFrameListFactory>(), std::move(factory));
}

std::unique_ptr<IImageFrameList> MakeImageFrameList(CMainFrame* frame)
{
    if (Slot<ImageFrameListFactory>())
        return Slot<ImageFrameListFactory>()(frame);
    return std::make_unique<TImageFrameList>();
}

SyncSlicesHook SetSyncSlicesHook(SyncSlicesHook hook) { return Swap(Slot<SyncSlicesHook>(), std::move(hook)); }

void SyncSlicesToVoxel(CChildFrame* clicked, TSpectrum* voxel)
{
    if (Slot<SyncSlicesHook>()) {
        Slot<SyncSlicesHook>()(clicked, voxel);
        return;
    }
    // The frames of the other two orientations move to the voxel.
    if (clicked && voxel && clicked->Owner())
        clicked->Owner()->SyncSlicesToVoxel(clicked->m_nAxis, voxel->m_fCentre);
}

EstimateSpectrumLookup SetEstimateSpectrumLookup(EstimateSpectrumLookup lookup)
{
    return Swap(Slot<EstimateSpectrumLookup>(), std::move(lookup));
}

TSpectrum* EstimateSpectrum(TRegionEstimate* estimate)
{
    if (!estimate)
        return nullptr;
    return Slot<EstimateSpectrumLookup>() ? Slot<EstimateSpectrumLookup>()(estimate) : estimate->GetResult();
}

AddExamDialog SetAddExamDialog(AddExamDialog dialog) { return Swap(Slot<AddExamDialog>(), std::move(dialog)); }
ViewSliceDialog SetViewSliceDialog(ViewSliceDialog dialog) { return Swap(Slot<ViewSliceDialog>(), std::move(dialog)); }
BatchDialog SetBatchDialog(BatchDialog dialog) { return Swap(Slot<BatchDialog>(), std::move(dialog)); }
const AddExamDialog& GetAddExamDialog() { return Slot<AddExamDialog>(); }
const ViewSliceDialog& GetViewSliceDialog() { return Slot<ViewSliceDialog>(); }
const BatchDialog& GetBatchDialog() { return Slot<BatchDialog>(); }

CExplorerFrameBase* MakeExplorerFrame(CMainFrame* frame)
{
    return Slot<ExplorerFactory>() ? Slot<ExplorerFactory>()(frame) : new CPrjExpFrame(frame);
}

CInfoFrameBase* MakeInfoFrame(CMainFrame* frame)
{
    return Slot<InfoFrameFactory>() ? Slot<InfoFrameFactory>()(frame) : new CModelessInfoFrame;
}

CChildFrame* ImageFrameOf(QMdiSubWindow* window)
{
    if (window && Slot<ImageFrameLookup>())
        return Slot<ImageFrameLookup>()(window);
    return qobject_cast<CChildFrame*>(window);
}

}  // namespace vx::app
