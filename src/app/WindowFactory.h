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
class TVoxelWndList;
class CVoxelWindowBase;
class IImageFrameList;

namespace vx::app {

CVoxelWindowBase* MakePlaceholderVoxelWindow(TVoxelWndList* list, CChildFrame* frame, int kind);
CAnalysisWindowBase* MakePlaceholderAnalysisWindow(TAnalysisWndList* list, TAnalysis* analysis);

using ExplorerFactory = std::function<CExplorerFrameBase*(CMainFrame*)>;
using InfoFrameFactory = std::function<CInfoFrameBase*(CMainFrame*)>;
// The image child frame behind an MDI child, or null for any other kind of window.
using ImageFrameLookup = std::function<CChildFrame*(QMdiSubWindow*)>;

ExplorerFactory SetExplorerFactory(ExplorerFactory factory);
InfoFrameFactory SetInfoFrameFactory(InfoFrameFactory factory);
ImageFrameLookup SetImageFrameLookup(ImageFrameLookup lookup);
// Each project's own list of image frames (empty: a list that opens no frames).
using ImageFrameListFactory = std::function<std::unique_ptr<IImageFrameList>(CMainFrame*)>;
ImageFrameListFactory SetImageFrameListFactory(ImageFrameListFactory factory);
std::unique_ptr<IImageFrameList> MakeImageFrameList(CMainFrame* frame);

CExplorerFrameBase* MakeExplorerFrame(CMainFrame* frame);
CInfoFrameBase* MakeInfoFrame(CMainFrame* frame);
CChildFrame* ImageFrameOf(QMdiSubWindow* window);

}  // namespace vx::app
