#pragma once
// A list of voxel windows of one kind (single, averaged or region estimate). New
// windows cascade from the bottom-right corner of the frame's client area.
#include <functional>

#include "app/TWndList.h"

class CChildFrame;
class CVoxelWindowBase;
class TRegionEstimate;
class TSpectrum;
struct TSpectrumDisplayParams;

class TVoxelWndList : public TWndList {
public:
    // Makes (does not yet place) a voxel window of a kind for a list and image frame.
    using Factory = std::function<CVoxelWindowBase*(TVoxelWndList*, CChildFrame*, int kind)>;

    // Redraws every window's view.
    void RefreshAll();
    // Gives the display block to every window.
    void SetDisplayAll(const TSpectrumDisplayParams& display);
    // Adds `object` to the newest window (emptied first when `clear`) unless
    // `newWindow` is set or the list is empty; otherwise makes a new window for it.
    void ShowVoxelWindow(TSpectrum* object, int kind, bool newWindow, bool clear,
                         CChildFrame* frame, TRegionEstimate* estimate);

    CVoxelWindowBase* Newest() const;
    // Windows tied to the image frame become tied to none (the frame is going).
    void ForgetFrame(const CChildFrame* frame);

    // Where the next new window goes. Shared by every voxel-window list.
    static int CascadeX();
    static int CascadeY();
    static void ResetCascade();  // back to 0, 0 as at program start

    // Installs the maker of voxel windows (empty: the spectrum windows).
    static Factory SetFactory(Factory factory);
};
