#pragma once
// Moves the voxel grid of the set to a new centre (patient coordinates, mm) by k-space
// phase ramps in the planes of slice axes 0 and 1, then makes the moved grid the set's
// off-centre; images are placed in the moved grid again and maps recomputed. Macro type 0.
#include <vector>

#include "processing/MacroFile.h"
#include "processing/TWholeSetStep.h"

class TVoxelShiftStep : public TWholeSetStep {
public:
    static constexpr int kType = 0;

    // The macro reader's step: both centres 0, no data set, not recorded.
    TVoxelShiftStep();
    TVoxelShiftStep(const float oldCentre[3], const float newCentre[3], bool recorded, TCSISet* pSet);

    // False, the set as it was, without samples or when an axis length cannot be
    // transformed (reported).
    bool Apply() override;
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override { return "voxel shift"; }
    void SetNewCenter(const float centre[3]);

    float m_fOldCentre[3] = {0, 0, 0};  // mm
    float m_fNewCentre[3] = {0, 0, 0};  // mm, where the grid is moved to

protected:
    // The set comes back with the state; the new centre takes the old one, the old one
    // the set's off-centre from before; images, frames and maps follow the grid.
    bool Toggle(TStateChange change) override;

private:
    std::vector<TMacroField> Fields();
    // After the grid moved: images placed again, slice frames given their images
    // (except in a batch run when `batchTest`), maps recomputed and frames redrawn.
    void FollowGrid(bool batchTest);
};
