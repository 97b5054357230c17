#include "processing/TDrawnRegionRect.h"

#include <algorithm>

bool TDrawnRegionRect::MakeVoxelMask(uint8_t* mask, int width, int height) const
{
    if (GetPointCount() != 2)
        return false;
    const vx::TPointI a = GetPoints()[0], b = GetPoints()[1];
    const std::vector<vx::TPointI> corners = {{std::min(a.x, b.x), std::min(a.y, b.y)},
                                              {std::max(a.x, b.x), std::max(a.y, b.y)}};
    std::vector<TPointD> cells;
    if (!BeginMask(mask, width, height, corners, cells))
        return false;
    const int i0 = CellIndex(cells[0].x), j0 = CellIndex(cells[0].y);
    const int i1 = CellIndex(cells[1].x), j1 = CellIndex(cells[1].y);
    if (!InRange(i0, width) || !InRange(i1, width) || !InRange(j0, height) || !InRange(j1, height))
        return false;
    for (int j = j0; j <= j1; ++j)
        std::fill(mask + static_cast<size_t>(j) * width + i0, mask + static_cast<size_t>(j) * width + i1 + 1, 1);
    return true;
}

void TDrawnRegionRect::DrawShape(vx::TCanvas& dc, const std::vector<vx::TPointI>& points) const
{
    if (points.size() < 2)
        return;
    const vx::TPointI a = points[0], b = points[1];
    dc.Rectangle(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
}
