#include "processing/TDrawnRegionRect.h"

#include <algorithm>

bool TDrawnRegionRect::MakeVoxelMask(uint8_t* mask, int width, int height) const
{
    if (GetPointCount() != 2)
        return false;
    const vx::TPointI a = GetPoints()[0], b = GetPoints()[1];
    const std::vector<vx::TPointI> corners = {{std::min(a.x, b.x), std::min(a.y, b.y)},
                                              {std::max(a.x, b.x), std::max(a.y, b.y)}};
    vx::TPointI c0, c1;
    if (!BeginTwoPointMask(mask, width, height, corners, c0, c1))
        return false;
    // On an image whose field of view runs backwards the first corner's cell can come
    // after the second's: no cell lies between them then, on either axis.
    if (c1.x < c0.x)
        return true;
    for (int j = c0.y; j <= c1.y; ++j)
        std::fill(mask + static_cast<size_t>(j) * width + c0.x, mask + static_cast<size_t>(j) * width + c1.x + 1, 1);
    return true;
}

void TDrawnRegionRect::DrawShape(vx::TCanvas& dc, const std::vector<vx::TPointI>& points) const
{
    if (points.size() < 2)
        return;
    const vx::TPointI a = points[0], b = points[1];
    dc.Rectangle(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
}
