#pragma once
// An ellipse inscribed in the rectangle of its first two points.
#include "processing/TDrawnRegion.h"

class TDrawnRegionEllipse : public TDrawnRegion {
public:
    // The cells (i, j) with (i - ci)^2 / a^2 + (j - cj)^2 / b^2 <= 1, for the ellipse
    // through the cells of the two points (centre (ci, cj), half axes a and b). An
    // ellipse of no width or height leaves the mask empty (true). False unless the
    // region holds exactly two points and both cells lie in the mask.
    bool MakeVoxelMask(uint8_t* mask, int width, int height) const override;

protected:
    void DrawShape(vx::TCanvas& dc, const std::vector<vx::TPointI>& points) const override;
};
