#pragma once
// One plane of voxels of a CSI set, cut perpendicular to one of the grid axes: the
// view of the data that the picture views, the voxel windows and the region
// estimation work with. Converts between in-plane millimetres and voxel columns and
// rows, draws the voxel grid with a small spectrum in every cell, the lines where
// other images cut the plane and the localisation box, and shifts the grid within
// the plane by a phase ramp in k-space.
//
// In-plane axes of a slice axis: 0 -> (1, 2), 1 -> (0, 2), 2 -> (0, 1); columns run
// along the first, rows along the second. All positions are in the set's own frame
// (mm); x along the first, y along the second in-plane axis.
#include <string>
#include <vector>

#include "model/TPlotFrame.h"
#include "model/math/TPoint2D.h"
#include "model/TSpectrumDisplayParams.h"
#include "platform/TCanvas.h"

class TCSISet;
class TMRImage;
class TSpectrum;

class TCSISlice {
public:
    TCSISlice() = default;
    virtual ~TCSISlice() = default;
    TCSISlice(const TCSISlice&) = default;
    TCSISlice& operator=(const TCSISlice&) = default;

    // The plane of the set along `axis` that holds `position` (mm). False for a null
    // set, a position outside the set, or a bad axis ("Slice dimension is not valid.").
    bool SetByPosition(TCSISet* set, int axis, float position);
    // The plane with index 0..n-1 along `axis`.
    bool SetByIndex(TCSISet* set, int axis, int index);
    // The plane of the set that an image lies in (its orientation and slice position);
    // a bad orientation reports "Image dimension is not valid.".
    bool SetFromImage(TCSISet* set, const TMRImage* image);

    // The voxel under an in-plane point, or null outside the grid.
    TSpectrum* GetSpectrumAt(const TPoint2D& point) const;
    // Column and row under an in-plane point, not range-checked.
    vx::TPointI GetVoxelIndexAt(const TPoint2D& point) const;
    // [slice axis] = slice position, the in-plane components from the centre.
    void GetCentre3D(float centre[3]) const;
    TPoint2D GetTopLeft() const;
    TPoint2D GetBottomRight() const;
    // Millimetres from the grid's top-left corner, truncated per axis.
    vx::TPointI ToLocal(const TPoint2D& point) const;
    // Millimetres from the top-left corner back to in-plane millimetres.
    TPoint2D ToWorld(const TPoint2D& local) const;
    // The two fields of view truncated to whole millimetres.
    vx::TSizeI GetFOVSize() const;
    // 0 <= local < FOV on both axes (local truncated, so slightly beyond the lower
    // edge still counts).
    bool ContainsPoint(const TPoint2D& point) const;

    // Every drawing call below leaves the canvas's pen and background as it found them.
    //
    // The grid in `rect` (one cell per voxel) with each visible cell's spectrum over
    // the display block's point and amplitude ranges. Grid lines are blue, dotted when
    // `dotted`; with display flag 1 every line, else the outline. A voxel is drawn in
    // its state colour when it is selected or `stateColourForAll`, else black.
    void DrawSpectraGrid(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display,
                         bool dotted, bool stateColourForAll) const;
    // The same for columns c0..c1 and rows r0..r1 (clamped to the grid), which fill
    // `rect`; solid lines. Nothing for an empty range.
    void PrintSpectraGrid(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display, int c0,
                          int c1, int r0, int r1, bool stateColourForAll) const;
    // Redraws the cell of voxel (x, y, z) when it lies in this plane.
    void DrawVoxel(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display, int x, int y,
                   int z, bool stateColourForAll) const;
    void DrawVoxelList(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display,
                       const std::vector<TSpectrum*>& voxels, bool stateColourForAll) const;
    // A dotted line across the device where each image's plane cuts this one (colours
    // cycle through eight); images parallel to the plane draw nothing.
    void DrawImageLocations(vx::TCanvas& dc, int deviceWidth, int deviceHeight, const TPixelRect& grid,
                            const std::vector<TMRImage*>& images) const;
    // The outline where each localisation box of the set cuts the plane, yellow.
    void DrawVOI(vx::TCanvas& dc, const TPixelRect& grid) const;

    // Moves the grid so that its centre becomes `newCentre` (mm). False, nothing
    // changed, when the samples are missing or a side is not a transformable length.
    bool ShiftVoxels(const TPoint2D& newCentre);
    // Shifts the plane's grid by `offset` (mm) through a phase ramp in k-space: the
    // samples then show what a grid moved by the offset would hold.
    bool ApplyVoxelShift(const TPoint2D& offset);
    // Voxel space -> k-space of the plane: SpatialShift(0), then the inverse transform
    // of every column and every row. FromKSpace: forward transforms, then
    // SpatialShift(1). One undoes the other. False, nothing changed, without samples
    // or for a side that is not a transformable length (reported).
    bool ToKSpace();
    bool FromKSpace();
    // Rotates the table along both in-plane directions by half a side,
    // new[i] = old[(i + m) mod n] with m = floor(n/2) (direction 0) or ceil(n/2)
    // (direction 1; undoes 0), and gives every moved spectrum its new in-plane index.
    void SpatialShift(int direction);

    TCSISet* GetSet() const { return m_pSet; }
    int GetColumns() const { return m_nColumns; }
    int GetRows() const { return m_nRows; }
    int GetPoints() const { return m_nPoints; }
    float GetFOVX() const { return m_fFOV[0]; }
    float GetFOVY() const { return m_fFOV[1]; }
    TPoint2D GetCentre() const { return m_centre; }
    float GetSlicePosition() const { return m_fSlicePosition; }
    float GetThickness() const { return m_fThickness; }
    int GetSliceAxis() const { return m_nSliceAxis; }
    int GetSliceIndex() const { return m_nSliceIndex; }
    void GetPatientCentre(float centre[3]) const;
    const std::string& GetDirectionCode() const { return m_strDirectionCode; }
    // The spectrum of a cell; null outside the grid.
    TSpectrum* GetVoxel(int column, int row) const;

private:
    // Places the plane at index k along the axis (k already checked).
    void SetPlane(TCSISet* set, int axis, int k);
    // Grid lines and spectra of columns c0..c1 and rows r0..r1 filling `rect`.
    void DrawGridRange(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display, int c0, int c1,
                       int r0, int r1, vx::PenStyle style, bool stateColourForAll) const;
    // Draws the spectrum of one cell of a grid whose cells are cw x ch pixels.
    void DrawCell(vx::TCanvas& dc, const TPlotFrame& frame, const TPixelRect& rect, float cw, float ch, int i, int j,
                  const TSpectrum* spectrum, bool stateColourForAll) const;
    static TPlotFrame CellFrame(const TSpectrumDisplayParams& display, int points);
    // Every table entry holds at least m_nPoints samples.
    bool HasAllSamples() const;
    // The transforms of every column, then every row, for every sample.
    bool TransformTable(bool inverse);
    // A pixel of the grid rectangle for an in-plane point in the display orientation.
    vx::TPointI GridPixel(const TPixelRect& grid, float x, float y) const;

    TCSISet* m_pSet = nullptr;  // not owned
    int m_nColumns = 0;
    int m_nRows = 0;
    int m_nPoints = 0;
    float m_fFOV[2] = {0.0f, 0.0f};  // mm along the first and second in-plane axis
    TPoint2D m_centre;               // grid centre in the plane, mm
    float m_fSlicePosition = 0.0f;   // mm along the slice axis
    float m_fThickness = 0.0f;       // mm
    int m_nSliceAxis = 0;
    int m_nSliceIndex = 0;           // index of the plane along the slice axis
    float m_fPatientCentre[3] = {0.0f, 0.0f, 0.0f};
    std::string m_strDirectionCode;
    std::vector<TSpectrum*> m_voxels;  // columns x rows, row by row; spectra owned by the set
};
