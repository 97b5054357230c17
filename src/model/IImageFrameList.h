#pragma once
// What the core asks of a project's list of image child frames. The GUI's TImageFrameList
// implements it (the project owns its list, made by IMainFrame::CreateImageFrameList).
#include <vector>

class CChildFrame;
class IMainFrame;
class TMap;
class TMRImage;
class TProject;
class TSpectrum;

class IImageFrameList {
public:
    virtual ~IImageFrameList() = default;

    virtual void SetProject(TProject* pProject) = 0;
    virtual void SetMDIParent(IMainFrame* pMainFrame) = 0;

    // True when no frame is open.
    virtual bool IsEmpty() const = 0;
    // Destroys the window of every frame.
    virtual void DestroyAll() = 0;
    // Passes the five flags to every frame; a set rebuild flag first rebuilds the
    // per-orientation image lists.
    virtual void UpdateAll(bool reload, bool image, bool regions, bool voi, bool rebuild) = 0;
    // Repaint the cells of single voxels in every frame.
    virtual void RedrawVoxel(int x, int y, int z) = 0;
    virtual void RedrawVoxelSet(const std::vector<TSpectrum*>& voxels) = 0;
    // Destroys the first frame showing the image; false when none shows it.
    virtual bool CloseImageFrame(TMRImage* pImage) = 0;
    // Open a frame; null when it cannot be made.
    virtual CChildFrame* OpenImageFrame(TMRImage* pImage) = 0;
    virtual CChildFrame* OpenSliceFrameByIndex(int axis, int index) = 0;
    virtual CChildFrame* OpenSliceFrameByPosition(int axis, float position) = 0;
    // Every overlay of the map takes the map's display range.
    virtual void ApplyMapScale(TMap* pMap) = 0;
    // After the work set's grid moved: every frame that shows a CSI slice takes the
    // project's image nearest to its plane (within half the slice thickness), hides its
    // image layer when there is none, and updates its title.
    virtual void RefreshSliceFrameImages() = 0;
};
