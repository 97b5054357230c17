#pragma once
// Zero- and first-order phase correction of the whole set or of one slice; macro type 1.
// Undo and redo apply the inverse phase, so the step keeps no state file.
//
// When applied, the step takes the set's recorded phases as the old ones: it removes
// the old first-order phase and applies the new phases, so that the set ends with
// exactly the phases it records, also for a step read from a macro file (which does not
// store the old phases).
#include <cstdint>
#include <vector>

#include "processing/MacroFile.h"
#include "processing/TProcessStep.h"

class TPhasingStep : public TProcessStep {
public:
    static constexpr int kType = 1;

    // The macro reader's step: every phase, pivot and flag 0, no data set, not recorded.
    TPhasingStep();
    // Phases in radians, pivots as point indices; multiSlice 1 phases only the slice.
    TPhasingStep(float oldPhase0, float newPhase0, float oldPhase1, float newPhase1, int32_t oldPivot,
                 int32_t newPivot, int32_t multiSlice, int32_t slice, bool recorded, TCSISet* pSet);

    // False without samples, or for one slice that the set does not have.
    bool Apply() override;
    bool Undo() override { return Toggle(); }
    bool Redo() override { return Toggle(); }
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override { return "phase correction"; }

    float m_fOldPhase0 = 0.0f;  // radians
    float m_fNewPhase0 = 0.0f;
    float m_fOldPhase1 = 0.0f;
    float m_fNewPhase1 = 0.0f;
    int32_t m_nOldPivot = 0;  // point index
    int32_t m_nNewPivot = 0;
    int32_t m_nMultiSlice = 0;  // 1: only slice m_nSlice along the slice axis
    int32_t m_nSlice = 0;

private:
    bool CanPhase() const;
    // From the old phases to the new ones, recorded in the set.
    void PhaseOldToNew();
    // Takes the new phases back to the old ones; old and new then change places.
    bool Toggle();
    std::vector<TMacroField> Fields();
};
