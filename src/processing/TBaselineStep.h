#pragma once
// Convolution-difference baseline correction of every voxel (TCSISet::BaselineCorrection);
// macro type 12.
#include <vector>

#include "processing/MacroFile.h"
#include "processing/TWholeSetStep.h"

class TBaselineStep : public TWholeSetStep {
public:
    static constexpr int kType = 12;

    // The macro reader's step: line width 500, scale 1, no data set, not recorded.
    TBaselineStep();
    TBaselineStep(float lineWidth, float scale, bool recorded, TCSISet* pSet);

    bool Apply() override;
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override { return "baseline correction"; }

    float m_fLineWidth = 500.0f;  // Hz
    float m_fScale = 1.0f;

private:
    std::vector<TMacroField> Fields();
};
