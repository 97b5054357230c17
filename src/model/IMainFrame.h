#pragma once
// What the core asks of the main window. CMainFrame implements it; tests use recording
// fakes; a project without a main window (tests, batch helpers) skips these calls.
#include <memory>

#include "model/TSpectrumDisplayParams.h"

class TCSISet;
class IImageFrameList;
class IInfoFrame;

class IMainFrame {
public:
    virtual ~IMainFrame() = default;

    // Destroys every analysis, single-voxel, averaged-voxel and region-estimate window.
    virtual void CloseAllChildWindows() = 0;
    // Creates the project explorer on first use, else refreshes its tree and title.
    virtual void ShowProjectExplorer() = 0;
    // Removes the explorer item of a CSI set.
    virtual void RemoveCSISetItem(TCSISet* pSet) = 0;
    // Hands the project's display block to the spectrum views.
    virtual void SetSpectrumDisplay(const TSpectrumDisplayParams& display) = 0;
    virtual void RefreshVoxelWindows() = 0;
    virtual void RefreshRegionWindows() = 0;
    // The processing history gained, lost, undid or redid steps: the commands that
    // depend on it follow. Nothing to do by default.
    virtual void HistoryChanged() {}

    // The information window, or null while the main window holds none.
    virtual IInfoFrame* GetInfoFrame() = 0;
    // A new, empty list of image frames whose windows are children of this main window.
    // Every project makes its own in its constructor and owns it.
    virtual std::unique_ptr<IImageFrameList> CreateImageFrameList() = 0;
};
