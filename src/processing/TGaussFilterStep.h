#pragma once
// Gaussian line broadening of every voxel (TCSISet::GaussFilter); macro type 8.
#include "processing/TWholeSetStep.h"

class TGaussFilterStep : public TWholeSetStep {
public:
    static constexpr int kType = 8;

    // The macro reader's step: width 0, no data set, not recorded.
    TGaussFilterStep();
    TGaussFilterStep(float lineWidth, bool recorded, TCSISet* pSet);

    bool Apply() override;
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override;

    float m_fLineWidth = 0.0f;  // Hz
};
