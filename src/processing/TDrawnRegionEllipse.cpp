#include "processing/TDrawnRegionEllipse.h"

#include <algorithm>
#include <cstdlib>

bool TDrawnRegionEllipse::MakeVoxelMask(uint8_t* mask, int width, int height) const
{
    vx::TPointI c0, c1;
    if (!BeginTwoPointMask(mask, width, height, GetPoints(), c0, c1))
        return false;
    const int i0 = c0.x, j0 = c0.y, i1 = c1.x, j1 = c1.y;
    const double a = std::abs(i0 - i1) / 2.0, b = std::abs(j0 - j1) / 2.0;
    if (a == 0.0 || b == 0.0)
        return true;
    const double ci = (i0 + i1) / 2.0, cj = (j0 + j1) / 2.0;
    for (int j = std::min(j0, j1); j <= std::max(j0, j1); ++j)
        for (int i = std::min(i0, i1); i <= std::max(i0, i1); ++i) {
            const double u = i - ci, v = j - cj;
            if (u * u / (a * a) + v * v / (b * b) <= 1.0)
                mask[static_cast<size_t>(j) * width + i] = 1;
        }
    return true;
}

void TDrawnRegionEllipse::DrawShape(vx::TCanvas& dc, const std::vector<vx::TPointI>& points) const
{
    if (points.size() < 2)
        return;
    const vx::TPointI a = points[0], b = points[1];
    dc.Ellipse(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
}
