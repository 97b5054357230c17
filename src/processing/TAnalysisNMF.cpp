#include "processing/TAnalysisNMF.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <string>

#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"
#include "processing/SolveNNLS.h"
#include "processing/TNMFSolver.h"

namespace {

constexpr int kUpdatesBeforeStop = 100;
// An error below this share of |X| is a fit as exact as the data allow: the relative
// decrease would divide by (nearly) zero.
constexpr double kExactFit = 1e-12;
constexpr int kRandomMax = 32767;

const char* const kInitFailed = "NMF initialization procedure failed.";
const char* const kNotConverged = "NMF failed because maximum number of iterations is reached.";
const char* const kTooFewVoxels = "The NMF needs at least as many analysed voxels as basis spectra.";

std::string NameOf(int first, int last, int components, int runs, float threshold)
{
    const auto text = [](int v) { return FloatToString(static_cast<float>(v), 5); };
    return "NMF_" + text(first) + "_" + text(last) + "_" + text(components) + "_" + text(runs) + "_" +
           FloatToStringG(threshold, 1);
}

// Mean and population variance of every row of a row-major matrix.
void RowStatistics(const TDoubleMatrix& m, std::vector<double>& mean, std::vector<double>& variance)
{
    const uint32_t p = m.Columns();
    mean.assign(m.Rows(), 0.0);
    variance.assign(m.Rows(), 0.0);
    for (uint32_t r = 0; r < m.Rows(); ++r) {
        mean[r] = m.RowMean(r);
        const double* row = m.Data() + size_t(r) * p;
        for (uint32_t j = 0; j < p; ++j)
            variance[r] += (row[j] - mean[r]) * (row[j] - mean[r]);
        variance[r] /= p;
    }
}

std::unique_ptr<TFloatMatrix> RowOf(const std::vector<float>& values)
{
    auto m = std::make_unique<TFloatMatrix>();
    m->Resize(1, static_cast<uint32_t>(values.size()));
    std::copy(values.begin(), values.end(), m->Data());
    return m;
}

}  // namespace

double NormalQuantile(double u)
{
    const double p = std::min(u, 1.0 - u);
    const double y = std::sqrt(-2.0 * std::log(p));
    const double z =
        y + ((((-4.53642210148e-5 * y - 0.0204231210245) * y - 0.342242088547) * y - 1.0) * y - 0.322232431088) /
                ((((0.0038560700634 * y + 0.10353775285) * y + 0.531103462366) * y + 0.588581570495) * y +
                 0.099348462606);
    return u <= 0.5 ? -z : z;
}

TAnalysisNMF::TAnalysisNMF(int first, int last, int components, const int32_t* intervals, int intervalCount,
                           int runs, float threshold)
    : TAnalysis(first, last, components, intervals, intervalCount), m_nRuns(runs), m_fThreshold(threshold)
{
    m_strName = NameOf(first, last, components, runs, threshold);
}

TAnalysisNMF::TAnalysisNMF() = default;

int TAnalysisNMF::NextRandom()
{
    m_nRandom = m_nRandom * 214013u + 2531011u;
    return static_cast<int>((m_nRandom >> 16) & 0x7fff);
}

// --- one run ----------------------------------------------------------------------------------

bool TAnalysisNMF::InitializeH(const double* w0, int n, int k, double* h0, int p, const double* x)
{
    std::vector<double> a(size_t(n) * k), b(static_cast<size_t>(n)), w(static_cast<size_t>(k)),
        zz(static_cast<size_t>(n)), h(static_cast<size_t>(k));
    std::vector<int> index(static_cast<size_t>(k));
    for (int j = 0; j < p; ++j) {
        std::copy(w0, w0 + a.size(), a.begin());
        std::copy(x + size_t(j) * n, x + size_t(j + 1) * n, b.begin());
        double residual = 0.0;
        int mode = 0;
        SolveNNLS(a.data(), n, n, k, b.data(), h.data(), residual, w.data(), zz.data(), index.data(), mode);
        if (mode != kNNLSSolved) {
            vx::Report(kInitFailed, vx::ReportIcon::None);
            return false;
        }
        std::copy(h.begin(), h.end(), h0 + size_t(j) * k);
    }
    return true;
}

bool TAnalysisNMF::RunOnce(const std::vector<double>& x, TDoubleMatrix& w, TDoubleMatrix& h,
                           std::vector<double>& errors)
{
    const int n = static_cast<int>(m_data.Rows()), p = static_cast<int>(m_data.Columns()), k = m_nComponents;
    w.Resize(uint32_t(n), uint32_t(k));
    h.Resize(uint32_t(k), uint32_t(p));
    errors.clear();
    if (x.size() != size_t(n) * p || k < 1)
        return false;

    // Half-normal start values, voxel by voxel.
    std::vector<double> w0(size_t(n) * k), h0(size_t(k) * p);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < k; ++c) {
            int r = 0;
            do
                r = NextRandom();
            while (r == 0 || r == kRandomMax);
            w0[i + size_t(c) * n] = std::fabs(NormalQuantile(r / double(kRandomMax)));
        }
    if (!InitializeH(w0.data(), n, k, h0.data(), p, x.data()))
        return false;

    TNMFSolver solver(x.data(), n, p, k);
    errors.push_back(solver.Start(w0.data(), h0.data()));
    double xx = 0.0;
    for (double v : x)
        xx += v * v;
    const double exact = kExactFit * std::sqrt(xx);
    for (int pass = 1;; ++pass) {
        if (pass > kUpdatesBeforeStop) {
            const double previous = errors[errors.size() - 2], last = errors.back();
            // An increase gives a negative decrease and stops the run as well.
            if (last <= exact || (previous - last) / previous <= m_fThreshold)
                break;
        }
        if (pass == kLastPass) {
            vx::Report(kNotConverged, vx::ReportIcon::None);
            return false;
        }
        errors.push_back(solver.Update());
    }
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < k; ++c)
            w.Set(uint32_t(i), uint32_t(c), solver.W()[i + size_t(c) * n]);
    for (int c = 0; c < k; ++c)
        for (int j = 0; j < p; ++j)
            h.Set(uint32_t(c), uint32_t(j), solver.H()[c + size_t(j) * k]);
    return true;
}

// --- all runs ---------------------------------------------------------------------------------

bool TAnalysisNMF::Compute()
{
    // The project file keeps at most this many runs of an analysis.
    if (m_nRuns > kMaxRuns) {
        vx::Report("Number of Runs should not be larger than " + std::to_string(kMaxRuns) + ".");
        return false;
    }
    if (!m_pSet || !m_pSet->IsLoaded() || m_nRuns < 1 || !BuildDataMatrix())
        return false;
    m_scoreCopies.clear();
    m_componentCopies.clear();
    m_chiSquare.Resize(1, uint32_t(m_nRuns));
    m_errorConvergence = TFloatMatrix();
    const uint32_t n = m_data.Rows(), p = m_data.Columns(), k = uint32_t(m_nComponents);
    // More components than points have no room in the spectra; more than voxels no scores
    // to tell them apart.
    if (k > p)
        return false;
    if (k > n) {
        vx::Report(kTooFewVoxels);
        return false;
    }

    std::vector<double> x(size_t(n) * p);
    double xx = 0.0;
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = 0; j < p; ++j) {
            x[i + size_t(j) * n] = m_data.At(i, j);
            xx += x[i + size_t(j) * n] * x[i + size_t(j) * n];
        }
    m_nRandom = m_seed ? *m_seed : static_cast<uint32_t>(std::time(nullptr));

    TDoubleMatrix w, h;
    std::vector<double> errors, mean1, var1, mean, var;
    TDoubleMatrix h1;
    for (int r = 0; r < m_nRuns; ++r) {
        if (!RunOnce(x, w, h, errors)) {
            m_scoreCopies.clear();
            m_componentCopies.clear();
            m_chiSquare.Resize(1, uint32_t(m_nRuns));
            return false;
        }
        // Component i of this run is its component order[i], the one most like the first
        // run's component i among those not yet taken.
        std::vector<uint32_t> order(k);
        if (r == 0) {
            h1 = h;
            RowStatistics(h1, mean1, var1);
            for (uint32_t i = 0; i < k; ++i)
                order[i] = i;
        } else {
            RowStatistics(h, mean, var);
            std::vector<char> taken(k, 0);
            for (uint32_t i = 0; i < k; ++i) {
                int best = -1;
                double bestValue = 0.0;
                for (uint32_t j = 0; j < k; ++j) {
                    if (taken[j])
                        continue;
                    double cov = 0.0;
                    for (uint32_t t = 0; t < p; ++t)
                        cov += (h.At(j, t) - mean[j]) * (h1.At(i, t) - mean1[i]);
                    double corr = cov / p / std::sqrt(var[j] * var1[i]);
                    // A flat row correlates with nothing: last in rank, still a choice.
                    if (std::isnan(corr))
                        corr = -std::numeric_limits<double>::infinity();
                    if (best < 0 || corr > bestValue) {
                        best = static_cast<int>(j);
                        bestValue = corr;
                    }
                }
                taken[size_t(best)] = 1;
                order[i] = uint32_t(best);
            }
        }
        TFloatMatrix scores, components;
        scores.Resize(n, k);
        components.Resize(k, p);
        for (uint32_t i = 0; i < k; ++i) {
            for (uint32_t v = 0; v < n; ++v)
                scores.Set(v, i, static_cast<float>(w.At(v, order[i])));
            for (uint32_t t = 0; t < p; ++t)
                components.Set(i, t, static_cast<float>(h.At(order[i], t)));
        }
        m_scoreCopies.push_back(std::move(scores));
        m_componentCopies.push_back(std::move(components));
        const double last = errors.back();
        m_chiSquare.Set(0, uint32_t(r), xx > 0.0 ? static_cast<float>(last * last / xx) : 0.0f);
    }
    m_errorConvergence.Resize(1, static_cast<uint32_t>(errors.size()));
    for (size_t i = 0; i < errors.size(); ++i)
        m_errorConvergence.Set(0, uint32_t(i), static_cast<float>(errors[i]));
    AverageRuns();
    return true;
}

void TAnalysisNMF::AverageRuns()
{
    const size_t runs = m_componentCopies.size();
    const uint32_t k = uint32_t(m_nComponents);
    const uint32_t n = m_scores.Rows(), p = m_components.Columns();
    // Sums in double precision, in run order.
    std::vector<double> components(size_t(k) * p, 0.0), scores(size_t(n) * k, 0.0);
    double weight = 0.0;
    for (size_t r = 0; r < runs; ++r) {
        const TFloatMatrix& c = m_componentCopies[r];
        const TFloatMatrix& s = m_scoreCopies[r];
        if (c.Rows() != k || c.Columns() != p || s.Rows() != n || s.Columns() != k)
            throw std::runtime_error("fatal!");
        for (size_t i = 0; i < components.size(); ++i)
            components[i] += c.Data()[i];
        for (size_t i = 0; i < scores.size(); ++i)
            scores[i] += s.Data()[i];
        weight += (1.0 - m_chiSquare.At(0, uint32_t(r))) * 100.0;
    }
    const double scale = runs ? 1.0 / double(runs) : 0.0;
    for (size_t i = 0; i < components.size(); ++i)
        m_components.Data()[i] = static_cast<float>(components[i] * scale);
    for (size_t i = 0; i < scores.size(); ++i)
        m_scores.Data()[i] = static_cast<float>(scores[i] * scale);
    m_weights.Resize(1, k);
    for (uint32_t c = 0; c < k; ++c)
        m_weights.Set(0, c, static_cast<float>(weight * scale));
    BuildScoreImages();
}

bool TAnalysisNMF::RemoveRun(int index)
{
    const int runs = static_cast<int>(m_componentCopies.size());
    if (index < 0 || index >= runs || runs < 2 || m_chiSquare.Columns() != uint32_t(runs))
        return false;
    m_componentCopies.erase(m_componentCopies.begin() + index);
    m_scoreCopies.erase(m_scoreCopies.begin() + index);
    std::vector<float> chi(m_chiSquare.Data(), m_chiSquare.Data() + runs);
    chi.erase(chi.begin() + index);
    m_nRuns = runs - 1;
    m_chiSquare = *RowOf(chi);
    AverageRuns();
    return true;
}

std::unique_ptr<TFloatMatrix> TAnalysisNMF::GetErrorConvergence() const
{
    return std::make_unique<TFloatMatrix>(m_errorConvergence);
}

std::unique_ptr<TFloatMatrix> TAnalysisNMF::GetChiSquarePerRun() const
{
    return std::make_unique<TFloatMatrix>(m_chiSquare);
}
