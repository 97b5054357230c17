#pragma once
// Shifts the selected spectra so that what was at one point comes to another
// (TCSISet::ShiftSelectedSpectra); undoable, never in a macro.
#include <cstdint>

#include "processing/TNonMacroSetStep.h"

class TManualAlignmentStep : public TNonMacroSetStep {
public:
    static constexpr int kKind = 21;

    TManualAlignmentStep(int32_t fromPoint, int32_t toPoint, TCSISet* pSet)
        : TNonMacroSetStep(kKind, "ma", false, pSet), m_nFromPoint(fromPoint), m_nToPoint(toPoint)
    {
    }

    // False without a data set or without a selected voxel.
    bool Apply() override;
    std::string GetDisplayName() const override { return "Manual alignment"; }

    int32_t m_nFromPoint;  // point indices
    int32_t m_nToPoint;
};
