#pragma once
// Exponential (Lorentzian) line broadening of every voxel; macro type 7. With two or
// more processors the voxels are weighted on the workers (RunParallel), otherwise by
// TCSISet::LorentzFilter on the calling thread; both give the same samples.
#include <vector>

#include "processing/TWholeSetStep.h"

class TLorentzFilterStep : public TWholeSetStep {
public:
    static constexpr int kType = 7;

    // The macro reader's step: width 0, no data set, not recorded.
    TLorentzFilterStep();
    TLorentzFilterStep(float lineWidth, bool recorded, TCSISet* pSet);

    bool Apply() override;
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override;
    // The set to the time domain, the window on `parts` workers (a part whose worker
    // could not start runs on this thread afterwards), then back to the frequency
    // domain with the halves swapped, the data range and the broadening total.
    bool RunParallel(int parts) override;
    // Worker `index`'s block of voxels (TCSISet::LorentzFilterPart).
    bool RunPart(int parts, int index) override;

    float m_fLineWidth = 0.0f;  // Hz

private:
    std::vector<char> m_partDone;  // one entry per part of the running RunParallel
};
