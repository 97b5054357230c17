#pragma once
// Lines up the largest peak of a window in the selected spectra (TCSISet::AlignPeaks);
// undoable, never in a macro.
#include <cstdint>

#include "processing/TNonMacroSetStep.h"

class TInitialAlignmentStep : public TNonMacroSetStep {
public:
    static constexpr int kKind = 19;

    TInitialAlignmentStep(int32_t firstPoint, int32_t lastPoint, TCSISet* pSet)
        : TNonMacroSetStep(kKind, "ia", false, pSet), m_nFirstPoint(firstPoint), m_nLastPoint(lastPoint)
    {
    }

    // False without a data set, without a selected voxel or for a window outside the
    // spectrum.
    bool Apply() override;
    std::string GetDisplayName() const override { return "Initial alignment"; }

    int32_t m_nFirstPoint;  // search window, point indices
    int32_t m_nLastPoint;
};
