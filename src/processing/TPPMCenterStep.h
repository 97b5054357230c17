#pragma once
// Sets the set's PPM centre (the point where the ppm axis is 0) and the reference value
// given with it; the maps' ppm bounds keep their points. Macro type 2. Undo and redo
// set the old values again, so the step keeps no state file.
//
// When applied, the step takes the set's current centre and reference as the old ones:
// a step read from a macro file (which stores only the new values) then re-references
// the maps from where they are and is undone to the values the set had.
#include <vector>

#include "processing/MacroFile.h"
#include "processing/TProcessStep.h"

class TPPMCenterStep : public TProcessStep {
public:
    static constexpr int kType = 2;

    // The macro reader's step: every value 0, no data set, not recorded.
    TPPMCenterStep();
    TPPMCenterStep(float oldCentre, float newCentre, float oldReference, float newReference, bool recorded,
                   TCSISet* pSet);

    bool Apply() override;
    bool Undo() override { return Toggle(); }
    bool Redo() override { return Toggle(); }
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override { return "PPM referencing"; }

    float m_fOldCentre = 0.0f;  // point position of 0 ppm
    float m_fNewCentre = 0.0f;
    float m_fOldReference = 0.0f;  // ppm
    float m_fNewReference = 0.0f;

private:
    // The set takes the new values; its maps follow from the old centre.
    void SetNewValues();
    // The old values come back; the set's current ones become the old.
    bool Toggle();
    std::vector<TMacroField> Fields();
};
