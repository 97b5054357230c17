#pragma once
// What the voxel-window lists need of a voxel window (single, multiple, averaged
// or estimated voxels). The spectrum window (CVoxelWindow) derives from it; tests
// install makers of their own windows.
#include <QString>

#include "app/CListedWindow.h"

class CChildFrame;
class CMainFrame;
class TRegionEstimate;
class TSpectrum;
struct TSpectrumDisplayParams;
class TVoxelWndList;

class CVoxelWindowBase : public CListedWindow {
    Q_OBJECT
public:
    enum Kind { kSingleVoxel = 0, kMultipleVoxel = 1, kAverageVoxel = 2, kEstimatedVoxel = 3 };

    CVoxelWindowBase(TVoxelWndList* ownerList, CChildFrame* childFrame, int kind);

    // Places the window in the frame's MDI area at `rect` (outer geometry) with the
    // title of its kind and shows it; false when it cannot be made.
    virtual bool Create(CMainFrame* parent, const QRect& rect);

    virtual void ClearVoxels() = 0;
    virtual void SetVoxel(TSpectrum* voxel) = 0;
    virtual int GetVoxelCount() const = 0;
    virtual void RefreshView() = 0;
    virtual void SetDisplayParams(const TSpectrumDisplayParams* display) = 0;
    virtual void SetUnit(int unit) = 0;

    void SetChildFrame(CChildFrame* frame) { m_pChildFrame = frame; }
    CChildFrame* GetChildFrame() const { return m_pChildFrame; }
    virtual void SetRegionEstimate(TRegionEstimate* estimate) { m_pRegionEstimate = estimate; }
    TRegionEstimate* GetRegionEstimate() const { return m_pRegionEstimate; }
    int GetKind() const { return m_nKind; }

    // "Single Voxel", "Multiple Voxel", "Average Voxel", "Estimated Voxel"; empty otherwise.
    static QString KindTitle(int kind);

protected:
    CChildFrame* m_pChildFrame = nullptr;
    TRegionEstimate* m_pRegionEstimate = nullptr;
    int m_nKind = 0;
};
