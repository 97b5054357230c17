#include "processing/TDrawnRegionPolygon.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace {

// How often the grid is moved off the edges before the polygon is given up.
constexpr int kMaxRestarts = 16;
// Widening of the bounding box, tolerance of an edge near a grid corner, and the moves
// of the box's minimum when an edge comes that near, all relative to the extents.
constexpr double kBoxWidening = 1e-5;
constexpr double kEdgeTolerance = 1e-9;
constexpr double kRestartShiftX = 2.4000000000000003e-06;
constexpr double kRestartShiftY = 1.0000000000000002e-06;

struct TBox {
    double x0, x1, y0, y1;
};

// Liang-Barsky: true when the segment a-b meets the closed box, with the parameters of
// the part inside.
bool ClipToBox(const TPointD& a, const TPointD& b, const TBox& box, double& t0, double& t1)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.x0, box.x1 - a.x, a.y - box.y0, box.y1 - a.y};
    t0 = 0.0;
    t1 = 1.0;
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0.0) {
            if (t > t1)
                return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0)
                return false;
            t1 = std::min(t1, t);
        }
    }
    return true;
}

bool Meets(const TPointD& a, const TPointD& b, const TBox& box)
{
    double t0, t1;
    return ClipToBox(a, b, box, t0, t1);
}

// The cell of a coordinate along one axis of the grid (lines[0..r]), clamped.
int CellAlong(const std::vector<double>& lines, double inverseSize, double v)
{
    const int r = static_cast<int>(lines.size()) - 1;
    const double guess = std::floor((v - lines[0]) * inverseSize);
    int i = static_cast<int>(std::clamp(guess, 0.0, static_cast<double>(r - 1)));
    while (i > 0 && v < lines[static_cast<size_t>(i)])
        --i;
    while (i < r - 1 && v >= lines[static_cast<size_t>(i) + 1])
        ++i;
    return i;
}

// The x where the edge crosses the horizontal line y, and the y where it crosses the
// vertical line x; every test of the grid computes them this way.
double CrossingX(const TPolygonEdge& e, double y) { return e.x0 + (y - e.y0) * e.inverseSlope; }
double CrossingY(const TPolygonEdge& e, double x) { return e.y0 + (x - e.x0) * e.slope; }
bool StraddlesY(const TPolygonEdge& e, double y) { return (e.y0 > y) != (e.y1 > y); }
bool StraddlesX(const TPolygonEdge& e, double x) { return (e.x0 > x) != (e.x1 > x); }

TPolygonEdge MakeEdge(const TPointD& a, const TPointD& b)
{
    TPolygonEdge e;
    e.x0 = a.x;
    e.y0 = a.y;
    e.x1 = b.x;
    e.y1 = b.y;
    const double dx = b.x - a.x, dy = b.y - a.y;
    e.slope = dx != 0.0 ? dy / dx : std::numeric_limits<double>::infinity();
    e.inverseSlope = dy != 0.0 ? dx / dy : std::numeric_limits<double>::infinity();
    return e;
}

// The edges of the outline in order, the first from the last vertex to the first.
template <typename F>
void ForEachEdge(const std::vector<TPointD>& v, F f)
{
    for (size_t k = 0; k < v.size(); ++k) {
        const TPointD& a = v[(k + v.size() - 1) % v.size()];
        const TPointD& b = v[k];
        if (a.x != b.x || a.y != b.y)
            f(a, b);
    }
}

// The parity of the cell's edges crossed on the straight way through the point along x
// (alongX) or along y, strictly between the coordinates `from` and `to` on that axis.
int CrossingsOnTheWay(const TPolygonCell& cell, const TPointD& p, bool alongX, double from, double to)
{
    int parity = 0;
    for (const TPolygonEdge& e : cell.edges) {
        if (alongX ? !StraddlesY(e, p.y) : !StraddlesX(e, p.x))
            continue;
        const double at = alongX ? CrossingX(e, p.y) : CrossingY(e, p.x);
        parity ^= (at > from && at < to) ? 1 : 0;
    }
    return parity;
}

// Even-odd test of a point against the whole outline, by a ray toward +x.
int OutlineContains(const std::vector<TPointD>& vertices, const TPointD& p)
{
    int inside = 0;
    ForEachEdge(vertices, [&](const TPointD& a, const TPointD& b) {
        const TPolygonEdge e = MakeEdge(a, b);
        if (StraddlesY(e, p.y) && p.x < CrossingX(e, p.y))
            inside ^= 1;
    });
    return inside;
}

// One attempt at laying the grid over the box held in `set`; false when an edge passes
// within `tolerance` of a grid corner, whose inside state it would leave undecided.
bool LayGrid(TPolygonGridSet& set, double tolerance)
{
    const int r = set.resolutionX;
    set.cellSizeX = (set.maxX - set.minX) / r;
    set.cellSizeY = (set.maxY - set.minY) / r;
    set.inverseCellSizeX = 1.0 / set.cellSizeX;
    set.inverseCellSizeY = 1.0 / set.cellSizeY;
    set.gridX.resize(static_cast<size_t>(r) + 1);
    set.gridY.resize(static_cast<size_t>(r) + 1);
    for (int k = 0; k < r; ++k) {
        set.gridX[static_cast<size_t>(k)] = set.minX + k * set.cellSizeX;
        set.gridY[static_cast<size_t>(k)] = set.minY + k * set.cellSizeY;
    }
    set.gridX[static_cast<size_t>(r)] = set.maxX;
    set.gridY[static_cast<size_t>(r)] = set.maxY;
    set.cells.assign(static_cast<size_t>(set.cellCount), TPolygonCell{});
    const auto& gx = set.gridX;
    const auto& gy = set.gridY;

    bool clear = true;
    ForEachEdge(set.vertices, [&](const TPointD& a, const TPointD& b) {
        if (!clear)
            return;
        const double lo[2] = {std::min(a.x, b.x) - tolerance, std::min(a.y, b.y) - tolerance};
        const double hi[2] = {std::max(a.x, b.x) + tolerance, std::max(a.y, b.y) + tolerance};
        const int i0 = std::max(CellAlong(gx, set.inverseCellSizeX, lo[0]) - 1, 0);
        const int i1 = std::min(CellAlong(gx, set.inverseCellSizeX, hi[0]) + 1, r - 1);
        const int j0 = std::max(CellAlong(gy, set.inverseCellSizeY, lo[1]) - 1, 0);
        const int j1 = std::min(CellAlong(gy, set.inverseCellSizeY, hi[1]) + 1, r - 1);
        for (int j = j0; j <= j1 + 1 && clear; ++j)
            for (int i = i0; i <= i1 + 1 && clear; ++i)
                if (Meets(a, b, {gx[i] - tolerance, gx[i] + tolerance, gy[j] - tolerance, gy[j] + tolerance}))
                    clear = false;
        const TPolygonEdge edge = MakeEdge(a, b);
        for (int j = j0; j <= j1 && clear; ++j)
            for (int i = i0; i <= i1; ++i) {
                const double x0 = gx[i], x1 = gx[i + 1], y0 = gy[j], y1 = gy[j + 1];
                double t0, t1;
                if (!ClipToBox(a, b, {x0 - tolerance, x1 + tolerance, y0 - tolerance, y1 + tolerance}, t0, t1))
                    continue;
                TPolygonEdge part = edge;
                const double px0 = a.x + t0 * (b.x - a.x), px1 = a.x + t1 * (b.x - a.x);
                const double py0 = a.y + t0 * (b.y - a.y), py1 = a.y + t1 * (b.y - a.y);
                part.xMin = std::min(px0, px1);
                part.xMax = std::max(px0, px1);
                part.yMin = std::min(py0, py1);
                part.yMax = std::max(py0, py1);
                TPolygonCell& cell = set.cells[static_cast<size_t>(j) * r + i];
                PolygonEdgeTableAddEdge(cell, part);
                // A side that the edge comes near has no single inside state.
                const TBox sides[4] = {{x0 - tolerance, x0 + tolerance, y0 - tolerance, y1 + tolerance},
                                       {x0 - tolerance, x1 + tolerance, y0 - tolerance, y0 + tolerance},
                                       {x1 - tolerance, x1 + tolerance, y0 - tolerance, y1 + tolerance},
                                       {x0 - tolerance, x1 + tolerance, y1 - tolerance, y1 + tolerance}};
                const uint16_t hit[4] = {TPolygonCell::kLeftHit, TPolygonCell::kBottomHit, TPolygonCell::kRightHit,
                                         TPolygonCell::kTopHit};
                for (int s = 0; s < 4; ++s)
                    if (Meets(a, b, sides[s]))
                        cell.flags |= hit[s];
            }
    });
    if (!clear)
        return false;

    // The inside state of every grid corner, row by row: the parity of the edges that
    // cross the row's line to the corner's left (no edge comes near a corner).
    std::vector<uint8_t> corner((static_cast<size_t>(r) + 1) * (static_cast<size_t>(r) + 1));
    std::vector<double> crossings;
    for (int j = 0; j <= r; ++j) {
        crossings.clear();
        ForEachEdge(set.vertices, [&](const TPointD& a, const TPointD& b) {
            const TPolygonEdge e = MakeEdge(a, b);
            if (StraddlesY(e, gy[j]))
                crossings.push_back(CrossingX(e, gy[j]));
        });
        std::sort(crossings.begin(), crossings.end());
        size_t left = 0;
        for (int i = 0; i <= r; ++i) {
            while (left < crossings.size() && crossings[left] < gx[i])
                ++left;
            corner[static_cast<size_t>(j) * (r + 1) + i] = static_cast<uint8_t>(left & 1);
        }
    }
    for (int j = 0; j < r; ++j)
        for (int i = 0; i < r; ++i) {
            TPolygonCell& cell = set.cells[static_cast<size_t>(j) * r + i];
            const size_t ll = static_cast<size_t>(j) * (r + 1) + i, ul = ll + r + 1;
            if (corner[ll])
                cell.flags |= TPolygonCell::kInsideLowerLeft;
            if (corner[ll + 1])
                cell.flags |= TPolygonCell::kInsideLowerRight;
            if (corner[ul])
                cell.flags |= TPolygonCell::kInsideUpperLeft;
            if (corner[ul + 1])
                cell.flags |= TPolygonCell::kInsideUpperRight;
            if (cell.edges.empty())
                continue;
            TPolygonCell::Aim aim = TPolygonCell::kAimOutline;
            if (!(cell.flags & TPolygonCell::kLeftHit))
                aim = TPolygonCell::kAimLeft;
            else if (!(cell.flags & TPolygonCell::kBottomHit))
                aim = TPolygonCell::kAimBottom;
            else if (!(cell.flags & TPolygonCell::kRightHit))
                aim = TPolygonCell::kAimRight;
            else if (!(cell.flags & TPolygonCell::kTopHit))
                aim = TPolygonCell::kAimTop;
            cell.flags |= static_cast<uint16_t>(aim << TPolygonCell::kAimShift);
        }
    return true;
}

// A point on the segment a-b, exactly (the voxel-selection form works on whole cells).
bool OnSegment(const TPointD& a, const TPointD& b, const TPointD& p)
{
    const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
    return cross == 0.0 && p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) && p.y >= std::min(a.y, b.y) &&
           p.y <= std::max(a.y, b.y);
}

}  // namespace

void PolygonEdgeTableAddEdge(TPolygonCell& cell, const TPolygonEdge& edge) { cell.edges.push_back(edge); }

void PolygonEdgeTableFree(TPolygonGridSet& set)
{
    set.cells.clear();
    set.cells.shrink_to_fit();
    set.gridX.clear();
    set.gridY.clear();
    set.vertices.clear();
    set.cellCount = 0;
}

int PolygonEdgeTableContains(const TPolygonGridSet& set, const TPointD& p)
{
    if (set.cells.empty() || !(p.x >= set.minX && p.x <= set.maxX && p.y >= set.minY && p.y <= set.maxY))
        return 0;
    const int r = set.resolutionX;
    const int i = CellAlong(set.gridX, set.inverseCellSizeX, p.x);
    const int j = CellAlong(set.gridY, set.inverseCellSizeY, p.y);
    const TPolygonCell& cell = set.cells[static_cast<size_t>(j) * r + i];
    const double left = set.gridX[static_cast<size_t>(i)], right = set.gridX[static_cast<size_t>(i) + 1];
    const double bottom = set.gridY[static_cast<size_t>(j)], top = set.gridY[static_cast<size_t>(j) + 1];
    const bool lowerLeft = cell.flags & TPolygonCell::kInsideLowerLeft;
    switch (cell.GetAim()) {
    case TPolygonCell::kAimNone:
        return lowerLeft ? 1 : 0;
    case TPolygonCell::kAimLeft:
        return (lowerLeft ? 1 : 0) ^ CrossingsOnTheWay(cell, p, true, left, p.x);
    case TPolygonCell::kAimBottom:
        return (lowerLeft ? 1 : 0) ^ CrossingsOnTheWay(cell, p, false, bottom, p.y);
    case TPolygonCell::kAimRight:
        return (cell.flags & TPolygonCell::kInsideLowerRight ? 1 : 0) ^ CrossingsOnTheWay(cell, p, true, p.x, right);
    case TPolygonCell::kAimTop:
        return (cell.flags & TPolygonCell::kInsideUpperLeft ? 1 : 0) ^ CrossingsOnTheWay(cell, p, false, p.y, top);
    case TPolygonCell::kAimOutline:
        return OutlineContains(set.vertices, p);
    }
    return 0;
}

bool TDrawnRegionPolygon::BuildEdgeTable(const TPointD* vertices, int count, int resolution, TPolygonGridSet& set)
{
    PolygonEdgeTableFree(set);
    set.restarts = 0;
    if (!vertices || count < 3 || resolution < 1)
        return false;
    double minX = vertices[0].x, maxX = minX, minY = vertices[0].y, maxY = minY;
    for (int k = 0; k < count; ++k) {
        if (!std::isfinite(vertices[k].x) || !std::isfinite(vertices[k].y))
            return false;
        minX = std::min(minX, vertices[k].x);
        maxX = std::max(maxX, vertices[k].x);
        minY = std::min(minY, vertices[k].y);
        maxY = std::max(maxY, vertices[k].y);
    }
    const double extentX = maxX - minX, extentY = maxY - minY;
    if (!std::isfinite(extentX + extentY))
        return false;
    try {
        set.vertices.assign(vertices, vertices + count);
        set.resolutionX = set.resolutionY = resolution;
        set.minX = minX - kBoxWidening * extentX;
        set.maxX = maxX + kBoxWidening * extentX;
        set.minY = minY - kBoxWidening * extentY;
        set.maxY = maxY + kBoxWidening * extentY;
        if (extentX == 0.0 || extentY == 0.0)
            return true;  // no area: no cells, nothing inside
        set.cellCount = resolution * resolution;
        const double tolerance = (extentX + extentY) * kEdgeTolerance;
        for (;;) {
            if (LayGrid(set, tolerance))
                return true;
            if (set.restarts == kMaxRestarts)
                break;
            ++set.restarts;
            set.minX -= kRestartShiftX * extentX;
            set.minY -= kRestartShiftY * extentY;
        }
    } catch (const std::bad_alloc&) {
    }
    PolygonEdgeTableFree(set);
    return false;
}

bool TDrawnRegionPolygon::MakeVoxelMask(uint8_t* mask, int width, int height) const
{
    if (GetPointCount() < 3)
        return false;
    std::vector<TPointD> cells;
    if (!BeginMask(mask, width, height, GetPoints(), cells))
        return false;
    double x0 = cells[0].x, x1 = x0, y0 = cells[0].y, y1 = y0;
    for (const TPointD& c : cells) {
        if (!InRange(CellIndex(c.x), width) || !InRange(CellIndex(c.y), height))
            return false;
        x0 = std::min(x0, c.x);
        x1 = std::max(x1, c.x);
        y0 = std::min(y0, c.y);
        y1 = std::max(y1, c.y);
    }
    TPolygonGridSet grid;
    if (!BuildEdgeTable(cells.data(), static_cast<int>(cells.size()), kMaskResolution, grid))
        return false;
    // Cells are tested at their centres; only those within the outline's box can be inside.
    const int i0 = std::max(static_cast<int>(std::floor(x0)), 0), i1 = std::min(static_cast<int>(x1), width - 1);
    const int j0 = std::max(static_cast<int>(std::floor(y0)), 0), j1 = std::min(static_cast<int>(y1), height - 1);
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i)
            mask[static_cast<size_t>(j) * width + i] =
                static_cast<uint8_t>(PolygonEdgeTableContains(grid, {i + 0.5, j + 0.5}));
    return true;
}

bool TDrawnRegionPolygon::MakePixelMask(int32_t* mask, int width, int height) const
{
    if (!mask || width < 1 || height < 1 || GetPointCount() < 3)
        return false;
    std::vector<TPointD> vertices;
    for (const vx::TPointI& p : GetPoints()) {
        if (!InRange(p.x, width) || !InRange(p.y, height))
            return false;
        vertices.push_back({static_cast<double>(p.x), static_cast<double>(p.y)});
    }
    TPolygonGridSet grid;
    if (!BuildEdgeTable(vertices.data(), static_cast<int>(vertices.size()), 1, grid))
        return false;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const TPointD cell{static_cast<double>(i), static_cast<double>(j)};
            bool inside = PolygonEdgeTableContains(grid, cell) != 0;
            // The cells the user clicked through belong to the selection.
            ForEachEdge(vertices, [&](const TPointD& a, const TPointD& b) {
                inside = inside || OnSegment(a, b, cell);
            });
            mask[static_cast<size_t>(j) * width + i] = inside ? 1 : 0;
        }
    return true;
}

void TDrawnRegionPolygon::DrawShape(vx::TCanvas& dc, const std::vector<vx::TPointI>& points) const
{
    if (!points.empty())
        dc.Polygon(points);
}
