#pragma once
// A rectangle spanned by its first two points (opposite corners).
#include "processing/TDrawnRegion.h"

class TDrawnRegionRect : public TDrawnRegion {
public:
    // Every cell from the cell of the upper-left corner to that of the lower-right one,
    // both included. False unless the region holds exactly two points and both corner
    // cells lie in the mask.
    bool MakeVoxelMask(uint8_t* mask, int width, int height) const override;

protected:
    void DrawShape(vx::TCanvas& dc, const std::vector<vx::TPointI>& points) const override;
};
