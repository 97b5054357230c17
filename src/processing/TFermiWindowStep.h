#pragma once
// Smoothing of the voxel grid with a Fermi window in k-space; macro type 5.
#include "processing/TSpatialWindowStep.h"

class TFermiWindowStep : public TSpatialWindowStep {
public:
    static constexpr int kType = 5;

    // The macro reader's step: no data set, not recorded.
    TFermiWindowStep() : TFermiWindowStep(false, nullptr) {}
    TFermiWindowStep(bool recorded, TCSISet* pSet);

    std::string GetDisplayName() const override { return "fermi smoothing"; }

protected:
    int WindowType() const override;
    // Radius a quarter of the axis's voxels (whole voxels), width 0.5.
    void WindowParams(int n, float& p1, float& p2) const override;
};
