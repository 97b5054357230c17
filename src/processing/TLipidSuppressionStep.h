#pragma once
// Lipid suppression by k-space extrapolation from the selected voxels
// (TCSISet::SuppressLipids); undoable, never in a macro.
#include <cstdint>

#include "processing/TNonMacroSetStep.h"

class TLipidSuppressionStep : public TNonMacroSetStep {
public:
    static constexpr int kKind = 17;

    TLipidSuppressionStep(int32_t iterations, TCSISet* pSet)
        : TNonMacroSetStep(kKind, "ls", false, pSet), m_nIterations(iterations)
    {
    }

    // False without a data set, without a k-space mask or for a length that cannot be
    // transformed (reported); the set is then as it was.
    bool Apply() override;
    std::string GetDisplayName() const override { return "lipid suppression"; }

    int32_t m_nIterations;
};
