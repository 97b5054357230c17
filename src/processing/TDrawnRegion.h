#pragma once
// A region that the user draws with the mouse on one MR image: a rectangle, an ellipse,
// a polygon or a group of them. Its points are pixels of that image (column, row); it
// remembers the image and the image's plane. For the spectral estimation it becomes a
// mask of cells over the plane of the project's work set: the cells span the CSI slice's
// field of view at the image's pixel count.
#include <cstdint>
#include <vector>

#include "platform/TCanvas.h"
#include "processing/TPolygonGridSet.h"

class IImagePlaneFrame;
class IRegionView;
class TMRImage;

class TDrawnRegion {
public:
    TDrawnRegion() = default;
    virtual ~TDrawnRegion() = default;
    TDrawnRegion(const TDrawnRegion&) = delete;
    TDrawnRegion& operator=(const TDrawnRegion&) = delete;

    void AddPoint(int x, int y);
    // Takes the frame's orientation, slice position and image when it shows an image;
    // otherwise the region stays as it is.
    void SetImagePlane(const IImagePlaneFrame& frame);

    // The outline on the view's region layer, scaled by its zoom; nothing unless the
    // view shows this region's image.
    virtual void Draw(IRegionView& view) const;
    // Fills width x height bytes (cell (i, j) at i + j * width) with 1 inside the region
    // and 0 elsewhere. False, without a message, when the region has too few points, a
    // point lies outside its image or maps outside the mask, or the work set of the
    // image's project has no plane where the region lies.
    virtual bool MakeVoxelMask(uint8_t* mask, int width, int height) const = 0;
    // True when the region, or a member of a group, was drawn on the image.
    virtual bool IsOnImage(const TMRImage* image) const { return image && image == m_pImage; }

    int GetPointCount() const { return static_cast<int>(m_points.size()); }
    const std::vector<vx::TPointI>& GetPoints() const { return m_points; }
    int GetOrientation() const { return m_nOrientation; }
    float GetSlicePosition(int axis) const;
    // The position (mm) of the image plane along the orientation's axis; 0 for an
    // orientation without an axis.
    float GetPlanePosition() const;
    TMRImage* GetImage() const { return m_pImage; }

protected:
    // Draws the outline through the points already scaled to the view.
    virtual void DrawShape(vx::TCanvas& dc, const std::vector<vx::TPointI>& points) const = 0;
    // The common start of a mask: checks the mask and the region's plane, maps the pixel
    // points to cell coordinates (fractional: cell i spans [i, i + 1)) and clears the
    // mask. False when the mask is absent or empty, the region has no image, project,
    // work set or orientation, the work set has no plane at the region's position, or a
    // point lies outside the image.
    bool BeginMask(uint8_t* mask, int width, int height, const std::vector<vx::TPointI>& points,
                   std::vector<TPointD>& cells) const;
    // BeginMask for the two points of a rectangle or an ellipse, with the columns and rows
    // of their cells; false also when either cell lies outside the mask.
    bool BeginTwoPointMask(uint8_t* mask, int width, int height, const std::vector<vx::TPointI>& points,
                           vx::TPointI& first, vx::TPointI& second) const;
    // The cell that holds a cell coordinate; a coordinate a hair below a cell's edge
    // counts as on it, so that rounding on the way through millimetres loses no cell.
    static int CellIndex(double coordinate);
    static bool InRange(int index, int size) { return index >= 0 && index < size; }

private:
    std::vector<vx::TPointI> m_points;  // image pixels
    int m_nOrientation = 0;             // 0 sagittal, 1 coronal, 2 axial
    float m_fSlicePosition[3] = {0.0f, 0.0f, 0.0f};  // mm, per axis
    TMRImage* m_pImage = nullptr;                   // not owned
};
