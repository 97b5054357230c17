#pragma once
// Zero filling of every spectrum to twice its points in the time domain
// (TCSISet::ZeroFill); macro type 3. The point range stays as it was.
#include <cstdint>

#include "processing/TWholeSetStep.h"

class TZeroFillStep : public TWholeSetStep {
public:
    static constexpr int kType = 3;

    // The macro reader's step: counts 0, no data set, not recorded.
    TZeroFillStep() : TZeroFillStep(false, nullptr) {}
    TZeroFillStep(bool recorded, TCSISet* pSet);

    // Records the point counts before and after. False, the set as it was, when the
    // set has no samples or the doubled length cannot be transformed (reported).
    bool Apply() override;
    // A block without keys: the lines before "</action>" are passed over.
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override { return "zero fill"; }

    int32_t m_nPointsBefore = 0;  // the set's points before the step
    int32_t m_nPointsAfter = 0;   // and after it

protected:
    // The set's points and PPM centre come back with the state; the two counts change
    // places and the project's spectrum display takes the new point range.
    bool Toggle(TStateChange change) override;
};
