#pragma once
// The project's list of open image windows: it makes them, knows them in the order of
// opening and, for each of the three orientations, the images that are on screen (the
// lines where they cut a plane are drawn in the other windows). Every project-wide redraw
// of the images goes through it. It owns neither the windows nor the images: a window
// takes itself out of the list when it closes.
#include <QPointer>

#include <list>
#include <vector>

#include "model/IImageFrameList.h"

class CChildFrame;
class CMainFrame;

class TImageFrameList : public IImageFrameList {
public:
    TImageFrameList() = default;
    ~TImageFrameList() override;
    TImageFrameList(const TImageFrameList&) = delete;
    TImageFrameList& operator=(const TImageFrameList&) = delete;

    void SetProject(TProject* pProject) override { m_pProject = pProject; }
    void SetMDIParent(IMainFrame* pMainFrame) override;
    TProject* GetProject() const { return m_pProject; }
    CMainFrame* GetMDIParent() const { return m_pMDIParent; }

    // A new window for the image, or for the work set's plane; null (nothing kept) when
    // it cannot be made. The shown image joins its orientation's list.
    CChildFrame* OpenImageFrame(TMRImage* pImage) override;
    CChildFrame* OpenSliceFrameByPosition(int axis, float position) override;
    CChildFrame* OpenSliceFrameByIndex(int axis, int index) override;
    // Forgets a closing window, then every other window rebuilds the orientation lists
    // and repaints its image-location layer.
    void RemoveFrame(CChildFrame* frame);
    void UpdateAll(bool reload, bool image, bool regions, bool voi, bool layer5) override;
    void RedrawVoxel(int x, int y, int z) override;
    void RedrawVoxelSet(const std::vector<TSpectrum*>& voxels) override;
    void ApplyMapScale(TMap* pMap) override;
    bool CloseImageFrame(TMRImage* pImage) override;
    void DestroyAll() override;
    bool IsEmpty() const override;
    int GetCount() const;
    // The open windows in the order of opening.
    std::vector<CChildFrame*> Frames() const;
    // A copy of the images on screen in the orientation (0..2; empty for another index).
    std::vector<TMRImage*> GetImagesOfOrientation(int orientation) const;
    void RebuildOrientationLists();
    void RefreshSliceFrameImages() override;
    // After a voxel was chosen in a plane of orientation o (p its centre, mm): the first
    // window of each of the two other orientations moves its slice through the voxel.
    void SyncSlicesToVoxel(int o, const float p[3]);

private:
    template <typename Create>
    CChildFrame* Open(Create create);
    // The image's orientation list, or null for an orientation without one.
    std::vector<TMRImage*>* ListOf(const TMRImage* pImage);

    std::list<QPointer<CChildFrame>> m_frames;
    TProject* m_pProject = nullptr;
    CMainFrame* m_pMDIParent = nullptr;
    std::vector<std::vector<TMRImage*>> m_images = std::vector<std::vector<TMRImage*>>(3);
    bool m_bDestroyingAll = false;
};
