#pragma once
// Water removal from every voxel (TCSISet::SuppressWater); macro type 10. With two or
// more processors the moving-average subtraction runs on the step's own workers
// (RunParallel); the HLSVD method runs the routine's workers either way. Both give the
// samples of a one-processor run.
#include <vector>

#include "model/TWaterSuppressionParams.h"
#include "processing/MacroFile.h"
#include "processing/TWholeSetStep.h"

class TWaterSuppressionStep : public TWholeSetStep {
public:
    static constexpr int kType = 10;

    // The macro reader's step: the default parameters, all voxels, no data set, not recorded.
    TWaterSuppressionStep();
    TWaterSuppressionStep(const TWaterSuppressionParams& params, bool recorded, TCSISet* pSet);

    bool Apply() override;
    // The suppression with the subtraction on `parts` workers. False when any worker
    // failed or could not start (the set is then partly subtracted: Apply puts the
    // saved state back).
    bool RunParallel(int parts) override;
    // Worker `index`'s block of voxels (TCSISet::SuppressWaterPart).
    bool RunPart(int parts, int index) override;
    // The selected-only switch is not in the file: a step read from one takes all voxels.
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override;

    TWaterSuppressionParams m_params;

private:
    std::vector<TMacroField> Fields();
};
