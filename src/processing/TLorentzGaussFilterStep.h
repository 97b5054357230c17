#pragma once
// Lorentz-Gauss line broadening of every voxel (TCSISet::LorentzGaussFilter); macro type 9.
#include <vector>

#include "processing/MacroFile.h"
#include "processing/TWholeSetStep.h"

class TLorentzGaussFilterStep : public TWholeSetStep {
public:
    static constexpr int kType = 9;

    // The macro reader's step: widths 0, no data set, not recorded.
    TLorentzGaussFilterStep();
    TLorentzGaussFilterStep(float gaussWidth, float lorentzWidth, bool recorded, TCSISet* pSet);

    bool Apply() override;
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override;

    float m_fGaussWidth = 0.0f;    // Hz
    float m_fLorentzWidth = 0.0f;  // Hz

private:
    std::vector<TMacroField> Fields();
};
