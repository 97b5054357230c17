#pragma once
// 3 x 3 smoothing of an image's pixels (TMRImage::Smooth); undoable, never in a macro.
#include "processing/TImageStep.h"

class TImageSmoothingStep : public TImageStep {
public:
    static constexpr int kKind = 18;

    explicit TImageSmoothingStep(TMRImage* pImage) : TImageStep(kKind, "is", pImage) {}

    // False without an image or when its pixels cannot be had.
    bool Apply() override;
    std::string GetDisplayName() const override { return "image smoothing"; }
};
