#pragma once
// Signal-space projection (TCSISet::SSPFilter): removes the spatial patterns that
// dominate a window of points; undoable, never in a macro.
#include <cstdint>

#include "processing/TNonMacroSetStep.h"

class TSSPStep : public TNonMacroSetStep {
public:
    static constexpr int kKind = 17;

    TSSPStep(uint32_t components, int32_t firstPoint, int32_t lastPoint, TCSISet* pSet)
        : TNonMacroSetStep(kKind, "svdls", false, pSet),
          m_nComponents(components),
          m_nFirstPoint(firstPoint),
          m_nLastPoint(lastPoint)
    {
    }

    // False without a data set, for a count or window the set cannot take, or when the
    // decomposition fails (reported).
    bool Apply() override;
    // "SSP with 10 components".
    std::string GetDisplayName() const override;

    uint32_t m_nComponents;
    int32_t m_nFirstPoint;  // window of the decomposition, point indices
    int32_t m_nLastPoint;
};
