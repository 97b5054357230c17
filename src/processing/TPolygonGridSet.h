#pragma once
// The point-in-polygon grid of a drawn polygon: the polygon's bounding box cut into
// r x r cells, each holding the edges that pass through it and the inside state of its
// corners, so that a point is tested against the few edges of its own cell instead of
// against the whole outline. TDrawnRegionPolygon::BuildEdgeTable builds it.
//
// A cell whose closed area no edge comes near takes the state of its lower-left corner.
// In a cell with edges the test walks from one of the cell's sides that no edge comes
// near (its whole length has the state of its corners) to the point, straight along x
// or y, and each crossing of an edge toggles the state. The rare cell whose four sides
// are all touched tests the point against the whole outline.
#include <cstdint>
#include <vector>

struct TPointD {
    double x = 0.0;
    double y = 0.0;
};

// One edge recorded in a cell. The end points are the polygon's vertices themselves, so
// that two edges meeting at a vertex agree exactly on where it lies.
struct TPolygonEdge {
    double x0 = 0.0, y0 = 0.0;      // start
    double x1 = 0.0, y1 = 0.0;      // end
    double xMin = 0.0, xMax = 0.0;  // the part inside the cell
    double yMin = 0.0, yMax = 0.0;
    double slope = 0.0;             // dy/dx
    double inverseSlope = 0.0;      // dx/dy
};

struct TPolygonCell {
    // Flag bits: corner inside states, sides touched by an edge, and the side the test
    // walks from (kAim* in bits 8 to 10).
    enum : uint16_t {
        kInsideLowerLeft = 1 << 0,
        kInsideLowerRight = 1 << 1,
        kInsideUpperLeft = 1 << 2,
        kInsideUpperRight = 1 << 3,
        kLeftHit = 1 << 4,
        kBottomHit = 1 << 5,
        kRightHit = 1 << 6,
        kTopHit = 1 << 7,
        kAimShift = 8,
        kAimMask = 7 << kAimShift,
    };
    enum Aim : uint16_t { kAimNone = 0, kAimLeft, kAimBottom, kAimRight, kAimTop, kAimOutline };

    Aim GetAim() const { return static_cast<Aim>((flags & kAimMask) >> kAimShift); }

    std::vector<TPolygonEdge> edges;
    uint16_t flags = 0;
};

struct TPolygonGridSet {
    int resolutionX = 0;
    int resolutionY = 0;
    int cellCount = 0;
    double minX = 0.0, maxX = 0.0, minY = 0.0, maxY = 0.0;  // the widened bounding box
    double cellSizeX = 0.0, cellSizeY = 0.0;
    double inverseCellSizeX = 0.0, inverseCellSizeY = 0.0;
    std::vector<double> gridX;  // resolution + 1 lines, the last one max
    std::vector<double> gridY;
    std::vector<TPolygonCell> cells;  // row by row, x fastest
    std::vector<TPointD> vertices;    // the outline, for cells whose four sides are touched
    int restarts = 0;                 // times the grid was moved off an edge
};

// Appends an edge record to a cell.
void PolygonEdgeTableAddEdge(TPolygonCell& cell, const TPolygonEdge& edge);
// 1 when the point is inside the polygon, else 0. A grid without cells (a polygon of no
// area) contains nothing.
int PolygonEdgeTableContains(const TPolygonGridSet& set, const TPointD& point);
// Releases every cell's records, the grid lines and the cells.
void PolygonEdgeTableFree(TPolygonGridSet& set);
