#pragma once
// A closed polygon through all its points in order (at least three).
#include "processing/TDrawnRegion.h"

class TDrawnRegionPolygon : public TDrawnRegion {
public:
    // Grid resolution of the drawn regions' inside test.
    static constexpr int kMaskResolution = 10;

    // The cells whose centre lies inside the polygon through the points' cell positions.
    // False for fewer than three points or a point whose cell lies outside the mask.
    bool MakeVoxelMask(uint8_t* mask, int width, int height) const override;
    // The voxel-selection form: the points are cells themselves (voxel columns and rows
    // of a CSI slice), and every cell (i, j) inside the polygon or on its outline becomes
    // 1, every other 0. False for an absent mask, fewer than three points or a point
    // outside 0 <= x < width, 0 <= y < height.
    bool MakePixelMask(int32_t* mask, int width, int height) const;

    // Builds the inside-test grid of `resolution` x `resolution` cells over the polygon.
    // False for fewer than three vertices, a resolution below 1, a vertex that is not a
    // finite number, or a grid that could not be laid off the edges. A polygon of no
    // width or height gives a grid without cells, which contains nothing.
    static bool BuildEdgeTable(const TPointD* vertices, int count, int resolution, TPolygonGridSet& set);

protected:
    void DrawShape(vx::TCanvas& dc, const std::vector<vx::TPointI>& points) const override;
};
