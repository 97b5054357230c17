#pragma once
// Non-negative matrix factorisation of the data matrix of an analysis: X (N voxels x P
// points) ~ W (N x K scores) H (K x P component spectra), W and H non-negative, by
// multiplicative updates (TNMFSolver). The factorisation runs R times from random starts;
// the components of every later run are matched to those of the first by correlation,
// and the analysis keeps the averages. Each component's weight is the mean over the
// runs of (1 - chi-square) x 100, chi-square = |X - W H|^2 / |X|^2 of the run.
//
// A run starts from half-normal W0 and the non-negative least-squares H0 for it, and
// stops after at least 100 updates when the error falls by no more than the threshold
// (relative) from one update to the next, or has fallen to nothing.
//
// One generator serves the R runs of a Compute, so that every run starts elsewhere; it
// is seeded from the clock at each Compute unless a test gives the seed.
#include <cstdint>
#include <optional>
#include <vector>

#include "model/TAnalysis.h"
#include "model/math/TDoubleMatrix.h"

// The standard normal quantile of u in (0, 1) (rational approximation of Odeh and Evans,
// accurate to about 1.5e-8).
double NormalQuantile(double u);

class TAnalysisNMF : public TAnalysis {
public:
    static constexpr int32_t kRecordKind = 1;
    // Most runs of an analysis, and the update after which a run stops without converging
    // (a run's error convergence has at most kLastPass + 1 values).
    static constexpr int32_t kMaxRuns = 100000;
    static constexpr int kLastPass = 100000;

    // intervals: intervalCount pairs (start, end), inclusive, inside first..last; runs R
    // and the relative error decrease at which a run stops.
    TAnalysisNMF(int first, int last, int components, const int32_t* intervals, int intervalCount, int runs,
                 float threshold);
    // For a record read from a project file.
    TAnalysisNMF();

    // The data matrix, the R runs, their matching and averages, the score images. False
    // without a loaded set, for a data matrix that cannot be built, for K above the
    // number of points (the caller's check) or of voxels (reported), or when a run fails
    // (reported); the earlier results are then gone.
    bool Compute() override;
    // One factorisation of x (N x P, column-major) from the generator's next start: W
    // (N x K) and H (K x P), and the error after the start and after every update. False
    // when the start cannot be made or the run does not converge (reported).
    bool RunOnce(const std::vector<double>& x, TDoubleMatrix& w, TDoubleMatrix& h, std::vector<double>& errors);
    // h0 (k x p, column-major): column j the non-negative least-squares fit of column j of
    // x (n x p) by w0 (n x k). False, reported, when a solve fails.
    bool InitializeH(const double* w0, int n, int k, double* h0, int p, const double* x);
    // Drops run `index`: the averages, the chi-squares and the weights become those of
    // the other runs. False, nothing changed, for an index outside the runs and for the
    // last remaining run.
    bool RemoveRun(int index);

    int GetCorrectionCount() const override { return 0; }
    // 1 x (updates + 1): the errors of the last run. 1 x R: the chi-square of every run.
    std::unique_ptr<TFloatMatrix> GetErrorConvergence() const override;
    std::unique_ptr<TFloatMatrix> GetChiSquarePerRun() const override;

    int RunCount() const { return m_nRuns; }
    float Threshold() const { return m_fThreshold; }
    // Per run, in run order, with the columns (rows) in the first run's component order.
    const std::vector<TFloatMatrix>& ScoreCopies() const { return m_scoreCopies; }         // N x K
    const std::vector<TFloatMatrix>& ComponentCopies() const { return m_componentCopies; }  // K x P
    // The generator of the next Compute starts from this seed instead of the clock.
    void SetRandomSeed(uint32_t seed) { m_seed = seed; }

    int32_t RecordKind() const override { return kRecordKind; }

protected:
    // R, threshold, chi-squares (1 x R), error convergence (1 x E), then R score copies
    // (N x K) and R component copies (K x P); matrices as rows, columns and the values.
    bool WriteKindFields(vx::TFile& file) const override;
    bool ReadKindFields(vx::TRecordReader& in, uint32_t voxels, uint32_t points, uint32_t components) override;

private:
    // The next value of the generator, 0..32767.
    int NextRandom();
    // Averages of the copies and weights from the chi-squares, then the score images.
    void AverageRuns();

    int32_t m_nRuns = 1;
    float m_fThreshold = 0.0f;
    TFloatMatrix m_chiSquare;         // 1 x R
    TFloatMatrix m_errorConvergence;  // 1 x errors of the last run
    std::vector<TFloatMatrix> m_scoreCopies;
    std::vector<TFloatMatrix> m_componentCopies;
    uint32_t m_nRandom = 1;
    std::optional<uint32_t> m_seed;
};
