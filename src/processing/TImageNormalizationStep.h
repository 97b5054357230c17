#pragma once
// Intensity normalisation of an image's pixels (TMRImage::NormalizeIntensity); undoable,
// never in a macro.
#include "processing/TImageStep.h"

class TImageNormalizationStep : public TImageStep {
public:
    static constexpr int kKind = 16;

    TImageNormalizationStep(float width, float thresholdPercent, TMRImage* pImage)
        : TImageStep(kKind, "sc", pImage), m_fWidth(width), m_fThreshold(thresholdPercent)
    {
    }

    // False without an image, when its pixels cannot be had or a side cannot be
    // transformed (reported).
    bool Apply() override;
    std::string GetDisplayName() const override { return "image intensity normalization"; }

    float m_fWidth;      // width of the Gaussian low-pass filter
    float m_fThreshold;  // per cent of the low-pass maximum below which pixels become 0
};
