#pragma once
// Smoothing of the voxel grid with a cosine window in k-space; macro type 4.
#include "processing/TSpatialWindowStep.h"

class TCosineWindowStep : public TSpatialWindowStep {
public:
    static constexpr int kType = 4;

    // The macro reader's step: no data set, not recorded.
    TCosineWindowStep() : TCosineWindowStep(false, nullptr) {}
    TCosineWindowStep(bool recorded, TCSISet* pSet);

    std::string GetDisplayName() const override { return "cosine smoothing"; }

protected:
    int WindowType() const override;
};
