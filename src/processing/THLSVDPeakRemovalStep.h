#pragma once
// Removal of the HLSVD components inside a band (TCSISet::RemovePeaksHLSVD); undoable,
// never in a macro.
#include <cstdint>

#include "processing/TNonMacroSetStep.h"

class THLSVDPeakRemovalStep : public TNonMacroSetStep {
public:
    static constexpr int kKind = 18;

    THLSVDPeakRemovalStep(int32_t peaks, float start, float end, bool selectedOnly, TCSISet* pSet)
        : TNonMacroSetStep(kKind, "pkrm", false, pSet),
          m_nPeaks(peaks),
          m_fStart(start),
          m_fEnd(end),
          m_bSelectedOnly(selectedOnly)
    {
    }

    // False without a data set or when the HLSVD library cannot be had (reported).
    bool Apply() override;
    std::string GetDisplayName() const override { return "HLSVD Peak Removal"; }

    int32_t m_nPeaks;  // components fitted per voxel
    float m_fStart;    // Hz
    float m_fEnd;      // Hz
    bool m_bSelectedOnly;
};
