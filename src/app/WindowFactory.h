#pragma once
// Makers of the child windows that the main frame creates on behalf of other parts
// of the program. The window classes install their makers at start-up; until a
// maker is installed, placeholder windows with the same behaviour towards the
// frame stand in.
#include <functional>
#include <memory>

class CAnalysisWindowBase;
class CChildFrame;
class CExplorerFrameBase;
class CInfoFrameBase;
class CMainFrame;
class QMdiSubWindow;
class TAnalysis;
class TAnalysisWndList;
class TRegionEstimate;
class TSpectrum;
class TVoxelWndList;
class CVoxelWindowBase;
class IImageFrameList;

namespace vx::app {

// The spectrum window of a voxel-window list.
CVoxelWindowBase* MakeVoxelWindow(TVoxelWndList* list, CChildFrame* frame, int kind);
CAnalysisWindowBase* MakePlaceholderAnalysisWindow(TAnalysisWndList* list, TAnalysis* analysis);

using ExplorerFactory = std::function<CExplorerFrameBase*(CMainFrame*)>;
using InfoFrameFactory = std::function<CInfoFrameBase*(CMainFrame*)>;
// The image child frame behind an MDI child, or null for any other kind of window.
// (Empty lookup: the window itself when it is a CChildFrame.)
using ImageFrameLookup = std::function<CChildFrame*(QMdiSubWindow*)>;

ExplorerFactory SetExplorerFactory(ExplorerFactory factory);
InfoFrameFactory SetInfoFrameFactory(InfoFrameFactory factory);
ImageFrameLookup SetImageFrameLookup(ImageFrameLookup lookup);
// Each project's own list of image frames (empty: the image windows' TImageFrameList).
using ImageFrameListFactory = std::function<std::unique_ptr<IImageFrameList>(CMainFrame*)>;
ImageFrameListFactory SetImageFrameListFactory(ImageFrameListFactory factory);
std::unique_ptr<IImageFrameList> MakeImageFrameList(CMainFrame* frame);

// After Select voxel, the image frames of the other two orientations move their slices
// through the voxel (empty hook: the clicked frame's list moves them).
using SyncSlicesHook = std::function<void(CChildFrame* clicked, TSpectrum* voxel)>;
SyncSlicesHook SetSyncSlicesHook(SyncSlicesHook hook);
void SyncSlicesToVoxel(CChildFrame* clicked, TSpectrum* voxel);
// The estimated spectrum that a region-estimate window shows: the estimate's result,
// unless a lookup is installed (tests).
using EstimateSpectrumLookup = std::function<TSpectrum*(TRegionEstimate*)>;
EstimateSpectrumLookup SetEstimateSpectrumLookup(EstimateSpectrumLookup lookup);
TSpectrum* EstimateSpectrum(TRegionEstimate* estimate);

CExplorerFrameBase* MakeExplorerFrame(CMainFrame* frame);
CInfoFrameBase* MakeInfoFrame(CMainFrame* frame);
CChildFrame* ImageFrameOf(QMdiSubWindow* window);

}  // namespace vx::app
