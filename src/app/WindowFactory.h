#pragma once
// Makers of the child windows that the main frame creates on behalf of other parts
// of the program. The window classes install their makers at start-up; until a
// maker is installed, placeholder windows with the same behaviour towards the
// frame stand in.
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
// The analysis window of the analysis list.
CAnalysisWindowBase* MakeAnalysisWindow(TAnalysisWndList* list, TAnalysis* analysis);

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

// Dialogs of other parts of the program that project commands show. Each runs its dialog
// modally and fills in the choice; false when the user did not confirm. A command whose
// dialog is not installed stays disabled.
// Add Exam: the chosen entries (file paths, "[folder]" for a folder) and the exam type.
using AddExamDialog = std::function<bool(CMainFrame*, std::vector<std::string>& entries, int& examType)>;
// View Slice: axis 0 x (sagittal), 1 y (coronal), 2 z (axial) and its position in mm.
using ViewSliceDialog = std::function<bool(CMainFrame*, int& axis, float& position)>;
// Batch Processing: the dialog runs the batch itself.
using BatchDialog = std::function<void(CMainFrame*)>;
AddExamDialog SetAddExamDialog(AddExamDialog dialog);
ViewSliceDialog SetViewSliceDialog(ViewSliceDialog dialog);
BatchDialog SetBatchDialog(BatchDialog dialog);
const AddExamDialog& GetAddExamDialog();
const ViewSliceDialog& GetViewSliceDialog();
const BatchDialog& GetBatchDialog();

CExplorerFrameBase* MakeExplorerFrame(CMainFrame* frame);
CInfoFrameBase* MakeInfoFrame(CMainFrame* frame);
CChildFrame* ImageFrameOf(QMdiSubWindow* window);

}  // namespace vx::app
