#pragma once
// An image window: an MDI child hosting one main picture view. It shows either one MR
// image of the project (an image frame) or one plane of the work CSI set chosen by axis
// and position or index (a slice frame, which shows the image nearest to that plane when
// there is one). Over the picture it keeps the CSI slice of the work set that cuts its
// plane and the map overlays (images made from metabolite maps for this plane).
//
// The project's TImageFrameList makes the frames and knows all of them; a frame takes
// itself out of the list, and lets go of its voxel windows, when it closes or is deleted.
#include <QMdiSubWindow>

#include <memory>
#include <string>
#include <vector>

#include "processing/IImagePlaneFrame.h"

class CMainFrame;
class CMainPicView;
class TCSISet;
class TCSISlice;
class TImageFrameList;
class TMap;
class TMRImage;
class TProject;
class TSpectrum;

class CChildFrame : public QMdiSubWindow, public IImagePlaneFrame {
    Q_OBJECT
public:
    enum Kind { kImageFrame = 0, kSliceFrame = 2 };

    explicit CChildFrame(TImageFrameList* owner);
    ~CChildFrame() override;

    // Make the window in the main frame's MDI area. A null image is refused with
    // "Invalid Image"; a work set that does not reach the plane makes no slice frame.
    bool CreateForImage(CMainFrame* parent, TMRImage* image);
    bool CreateForSliceByPosition(CMainFrame* parent, int axis, float position);
    bool CreateForSliceByIndex(CMainFrame* parent, int axis, int index);

    // The least size at which the window is of use: a picture of 128 x 128 pixels beside
    // the colour scale, with the frame and the title.
    static QSize UsableSize();

    // File > Close.
    void OnFileClose();

    // reload: the slice and the overlays are made again from the work set; then the view
    // repaints the named layers (reload stands for the CSI layer).
    void UpdateView(bool reload, bool image, bool regions, bool voi, bool layer5);
    void RedrawVoxel(int x, int y, int z);
    void RedrawVoxelSet(const std::vector<TSpectrum*>& voxels);
    void SetShowImage(bool show);
    void SetShowCSISlice(bool show);
    void SetShowUserRegions(bool show);

    // The slice after the work set or its data changed: from the image, or at the frame's
    // plane without one. Without a resulting slice the CSI layer is switched off and the
    // overlays go.
    void ReloadCSISlice();
    void SetCSISliceByPosition(TCSISet* set, int axis, float position);
    void SetCSISliceByIndex(TCSISet* set, int axis, int index);
    void SetCSISliceFromImage(TCSISet* set, TMRImage* image);

    // Map overlays, identified by the map's name.
    bool AddMapOverlay(TMap* map, int axis, float position);
    bool RemoveMapOverlay(TMap* map);
    bool HasMapOverlay(TMap* map) const;
    // Each overlay made again from the work set's map of its name; an overlay whose map
    // is gone is dropped.
    void ReloadMapOverlays();
    void ClearMapOverlays();
    // Every overlay of the map takes the map's display range.
    void ApplyMapScale(TMap* map);
    // Sums of the overlays' display windows; 0 without overlays.
    float GetMapDisplayMin() const;
    float GetMapDisplayMax() const;
    // A copy of the overlay list, in insertion order.
    std::vector<TMRImage*> GetMapOverlays() const;

    // "(Axial) " + image name + " @ " + zoom percent + "%", then "<map name>" per overlay.
    void UpdateTitle();
    // The title of an image or a slice without image at a zoom (the text UpdateTitle sets
    // without overlays). Orientation labels: "(Sagittal) ", "(Coronal) ", "(Axial) ", and
    // for images "(Unknown) " for any other value.
    static std::string TitleText(const TMRImage* image, const TCSISlice* slice, float zoom);

    TMRImage* GetImage() const override { return m_pImage; }
    // The plane a region drawn in this window lies in.
    int GetOrientation() const override { return m_nAxis; }
    void GetSlicePosition(float position[3]) const override;
    void SetImage(TMRImage* image) { m_pImage = image; }
    TCSISlice* GetSlice() const { return m_pSlice.get(); }
    CMainPicView* View() const { return m_pView; }
    TImageFrameList* Owner() const { return m_pOwner; }
    TProject* Project() const;
    CMainFrame* MainFrame() const { return m_pMainFrame; }
    // The windowing toolbar shows what the active window's image window now holds.
    void RefreshWindowingBar();

    TImageFrameList* m_pOwner;       // the list that made the frame; not owned
    TMRImage* m_pImage = nullptr;    // not owned (the project's image collection owns it)
    int m_nKind = kImageFrame;
    int m_nAxis = 0;                 // orientation index of the plane
    float m_position[3] = {0, 0, 0};  // the plane's centre (mm); [m_nAxis] is the slice position

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Creates the view as the window's widget.
    void OnCreateClient();
    // A slice frame's window once its slice is set: the nearest image, kind, size, title.
    bool CreateSliceWindow(CMainFrame* parent, int axis);
    // Window class, size (content + 110 x 40 pixels) and title; shows the window.
    bool CreateWindow(CMainFrame* parent, int contentWidth, int contentHeight, const std::string& title);
    // What closing does, once: the voxel windows of this frame close (the others forget
    // it), the list forgets the frame, the slice and the overlays go.
    void Detach();
    void OnMDIActivate(bool active);
    // Replaces the slice by a new one that place() sets; none when place() fails.
    template <typename Place>
    void PlaceSlice(TCSISet* set, Place place);

    std::unique_ptr<TCSISlice> m_pSlice;               // owned; null when the work set misses the plane
    std::vector<std::unique_ptr<TMRImage>> m_overlays;  // owned, in insertion order
    CMainPicView* m_pView = nullptr;
    CMainFrame* m_pMainFrame = nullptr;
    bool m_bDetached = false;
};
