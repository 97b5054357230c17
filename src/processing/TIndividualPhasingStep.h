#pragma once
// The undo state of phasing single voxels by hand. The voxel window saves the state,
// hands the step to the project without applying it and then changes the phases
// itself, so that an undo restores the set as it was before those changes.
#include "processing/TNonMacroSetStep.h"

class TIndividualPhasingStep : public TNonMacroSetStep {
public:
    static constexpr int kKind = 20;

    TIndividualPhasingStep(bool recorded, TCSISet* pSet) : TNonMacroSetStep(kKind, "sp", recorded, pSet) {}

    // Changes nothing; false without a data set.
    bool Apply() override { return m_pDataSet != nullptr; }
    std::string GetDisplayName() const override { return "Individual phasing"; }
};
