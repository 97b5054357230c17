#pragma once
// What a PCA analysis knows of a peak-alignment correction made with it: the per-slice
// phase and frequency maps it plots. The correction and the analysis point at each other
// without owning: the history owns the correction, the project the analysis, and either
// may go first. Destroying a correction takes it off its analysis's lists; destroying the
// analysis leaves every correction made with it without an analysis (GetAnalysis null).
#include "model/math/TFloatMatrix.h"

class TAnalysisPCA;

class TPCACorrection {
public:
    // Attached to the analysis (null: none) from the start, applied or not.
    explicit TPCACorrection(TAnalysisPCA* analysis);
    virtual ~TPCACorrection();
    TPCACorrection(const TPCACorrection&) = delete;
    TPCACorrection& operator=(const TPCACorrection&) = delete;

    // Null once the analysis was deleted.
    TAnalysisPCA* GetAnalysis() const { return m_pAnalysis; }

    // The correction maps of a slice; null when the correction has none for it.
    virtual const TFloatMatrix* GetPhaseCorrectionMap(int slice) const = 0;
    virtual const TFloatMatrix* GetFrequencyCorrectionMap(int slice) const = 0;

private:
    friend class TAnalysisPCA;
    TAnalysisPCA* m_pAnalysis;
};
