#pragma once
// Principal component analysis of the data matrix of an analysis: the eigenvectors of
// its uncentred P x P second-moment matrix X'X / P, largest eigenvalue first, are the
// component spectra; each voxel's score on component k is its data row times component k.
// The first K components are kept; their weights are the percentages of their
// eigenvalues within the sum of the K.
//
// The analysis also keeps, in order, the peak-alignment corrections applied with it, and
// sums their per-slice maps for the analysis window.
#include <vector>

#include "model/TAnalysis.h"

class TPCACorrection;

class TAnalysisPCA : public TAnalysis {
public:
    static constexpr int32_t kRecordKind = 0;

    // intervals: intervalCount pairs (start, end), inclusive, inside first..last.
    TAnalysisPCA(int first, int last, int components, const int32_t* intervals, int intervalCount);
    // For a record read from a project file.
    TAnalysisPCA();
    ~TAnalysisPCA() override;

    // Data matrix, decomposition, sign of component 0 (its elements sum to 0 or more),
    // scores and score images. False without a loaded set, for a data matrix that cannot
    // be built, for K above the number of points, or when the decomposition fails
    // (reported).
    bool Compute() override;
    // The K leading eigenpairs of X'X / P into the components and weights (through
    // LAPACK). False, after the eigen solver's message, when it fails.
    bool Decompose();

    // A correction applied (or redone) with this analysis goes to the end of the list;
    // undoing it takes the last one off.
    void PushCorrection(TPCACorrection* correction);
    void PopCorrection();
    int GetCorrectionCount() const override { return static_cast<int>(m_corrections.size()); }
    const std::vector<TPCACorrection*>& Corrections() const { return m_corrections; }
    // Element-wise sums over the list of the corrections' maps of one slice; null when
    // no correction has a map for it. A correction without that map adds nothing; maps
    // of different sizes throw std::runtime_error("fatal!").
    std::unique_ptr<TFloatMatrix> GetPhaseCorrection(int index) const override;
    std::unique_ptr<TFloatMatrix> GetFrequencyCorrection(int index) const override;

    int32_t RecordKind() const override { return kRecordKind; }

private:
    friend class TPCACorrection;
    // A correction is being destroyed: it leaves both lists.
    void Forget(TPCACorrection* correction);
    template <typename MapOf>
    std::unique_ptr<TFloatMatrix> SumCorrections(MapOf mapOf) const;

    std::vector<TPCACorrection*> m_corrections;  // applied, in order; not owned
    std::vector<TPCACorrection*> m_attached;     // every correction made with this analysis
};
