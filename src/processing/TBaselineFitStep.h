#pragma once
// Baseline correction by sliding straight-line or quadratic fits that bridge the given
// peak regions (TCSISet::FitBaselineAll); macro type 13. The regions are kept in ppm
// and turned into points of the set when applied.
#include <cstdint>
#include <vector>

#include "processing/MacroFile.h"
#include "processing/TWholeSetStep.h"

class TBaselineFitStep : public TWholeSetStep {
public:
    static constexpr int kType = 13;
    static constexpr int kMaxPeaks = 50;

    // The macro reader's step: no peaks, method 0, no data set, not recorded.
    TBaselineFitStep();
    // ppm holds start and end of each peak (2 * peaks values); at most kMaxPeaks are kept.
    TBaselineFitStep(int peaks, int method, const float* ppm, bool recorded, TCSISet* pSet);

    // False, set unchanged, when a region bound is no point of the spectrum (reported
    // with the set's name) or without samples. Windows that could not be fitted are
    // reported by the fit; the rest of the correction stands.
    bool Apply() override;
    // "NumofPeaks" must come before the peaks: each "PeakStart" opens the next peak and
    // "PeakEnd" closes it; peaks beyond the count are ignored. A count outside
    // 0..kMaxPeaks does not read.
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override { return "baseline correction"; }

    int32_t m_nPeaks = 0;
    int32_t m_nMethod = 0;                  // 0 straight lines, 1 quadratics
    float m_fPeakPPM[kMaxPeaks][2] = {};    // start and end of each peak, ppm
};
