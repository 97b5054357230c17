#pragma once
// Smoothing of the voxel grid with a Hamming window in k-space; macro type 6.
#include "processing/TSpatialWindowStep.h"

class THammingWindowStep : public TSpatialWindowStep {
public:
    static constexpr int kType = 6;

    // The macro reader's step: no data set, not recorded.
    THammingWindowStep() : THammingWindowStep(false, nullptr) {}
    THammingWindowStep(bool recorded, TCSISet* pSet);

    std::string GetDisplayName() const override { return "hamming smoothing"; }

protected:
    int WindowType() const override;
};
