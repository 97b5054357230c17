// The non-negative matrix factorisation on sets whose real parts are known non-negative
// factors (with or without noise): recovered components and scores against the known
// ones, the chi-square of every run against its own factors, the matching of the runs,
// the removal of a run, the stopping rules and degenerate data; the non-negative least
// squares against the optimality conditions, and the normal quantile against a bisection
// of the error function.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "AnalysisTestData.h"
#include "processing/SolveNNLS.h"
#include "processing/TAnalysisNMF.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

using test::Row;

constexpr int kPoints = 96;
constexpr int kFirst = 20, kLast = 83;
constexpr int kK = 3;

// The known factors: three lines over the window, and per-voxel weights of which every
// component has voxels where it stands (nearly) alone.
double KnownH(int k, int t)
{
    static const double centre[kK] = {34.0, 50.0, 63.0}, width[kK] = {3.0, 4.0, 2.5};
    const double x = (t - centre[k]) / width[k];
    return std::exp(-0.5 * x * x);
}

double KnownW(int k, int v)
{
    return std::max(0.0, std::sin(0.61 * (k + 1) * v + 2.0 * k)) + (v % kK == k ? 0.5 : 0.0);
}

// Sample t of voxel v: sum_k W(v, k) H(k, t), plus uniform noise in [0, noise).
std::unique_ptr<TCSISet> MakeFactorSet(int nx, int ny, double noise)
{
    uint32_t seed = 99;
    return test::MakeAnalysisSet(nx, ny, 1, 2, kPoints, [&](int v, int t) {
        double x = 0;
        for (int k = 0; k < kK; ++k)
            x += KnownW(k, v) * KnownH(k, t);
        seed = seed * 1664525u + 1013904223u;
        return TComplex(static_cast<float>(x + noise * (seed >> 8) / double(1u << 24)), 0.0f);
    });
}

std::unique_ptr<TAnalysisNMF> MakeNMF(int runs, float threshold, int components = kK, uint32_t seed = 17)
{
    const int32_t window[] = {kFirst, kLast};
    auto nmf = std::make_unique<TAnalysisNMF>(kFirst, kLast, components, window, 1, runs, threshold);
    nmf->SetRandomSeed(seed);
    return nmf;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const size_t n = a.size();
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i)
        ma += a[i] / n, mb += b[i] / n;
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

std::vector<double> Column(const TFloatMatrix& m, uint32_t c)
{
    std::vector<double> out;
    for (uint32_t r = 0; r < m.Rows(); ++r)
        out.push_back(m.At(r, c));
    return out;
}

// |X - W H|^2 / |X|^2 of the data matrix and one run's factors, in double precision.
double ChiSquareOf(const TFloatMatrix& x, const TFloatMatrix& w, const TFloatMatrix& h)
{
    double residual = 0, total = 0;
    for (uint32_t v = 0; v < x.Rows(); ++v)
        for (uint32_t t = 0; t < x.Columns(); ++t) {
            double model = 0;
            for (uint32_t k = 0; k < w.Columns(); ++k)
                model += double(w.At(v, k)) * h.At(k, t);
            residual += (x.At(v, t) - model) * (x.At(v, t) - model);
            total += double(x.At(v, t)) * x.At(v, t);
        }
    return residual / total;
}

TEST(AnalysisNMF, KnownFactorsAreFoundUpToScaleAndOrder)
{
    auto set = MakeFactorSet(8, 8, 0.0);
    // On exact factors the error keeps falling by about 1 / updates: a coarse threshold.
    auto nmf = MakeNMF(2, 1e-4f);
    ASSERT_TRUE(nmf->Prepare(set.get(), false));
    ASSERT_TRUE(nmf->Compute());
    ASSERT_EQ(nmf->Components().Rows(), uint32_t(kK));
    std::vector<int> matched;
    for (int k = 0; k < kK; ++k) {
        std::vector<double> known, weights;
        for (int t = kFirst; t <= kLast; ++t)
            known.push_back(KnownH(k, t));
        for (int v = 0; v < 64; ++v)
            weights.push_back(KnownW(k, v));
        int best = 0;
        for (int c = 1; c < kK; ++c)
            if (Correlation(known, Row(nmf->Components(), c)) > Correlation(known, Row(nmf->Components(), best)))
                best = c;
        EXPECT_GT(Correlation(known, Row(nmf->Components(), best)), 0.99) << k;
        EXPECT_GT(Correlation(weights, Column(nmf->Scores(), best)), 0.99) << k;
        matched.push_back(best);
    }
    std::sort(matched.begin(), matched.end());
    EXPECT_TRUE(std::adjacent_find(matched.begin(), matched.end()) == matched.end());

    // Exact factors: the runs end with (nearly) no error, after no fewer than 100 updates.
    const std::unique_ptr<TFloatMatrix> chi = nmf->GetChiSquarePerRun();
    ASSERT_EQ(chi->Columns(), 2u);
    EXPECT_LT(chi->At(0, 1), 1e-5f);
    const std::unique_ptr<TFloatMatrix> errors = nmf->GetErrorConvergence();
    EXPECT_GE(errors->Columns(), 101u);
    EXPECT_LT(errors->At(0, errors->Columns() - 1), 1e-2f * errors->At(0, 0));
}

TEST(AnalysisNMF, ChiSquareWeightsAndMatchingFollowTheRuns)
{
    // Noise enough for chi-squares of about 1 %.
    auto set = MakeFactorSet(8, 8, 0.3);
    auto nmf = MakeNMF(3, 1e-5f);
    ASSERT_TRUE(nmf->Prepare(set.get(), false));
    ASSERT_TRUE(nmf->Compute());
    ASSERT_EQ(nmf->ComponentCopies().size(), 3u);
    const std::unique_ptr<TFloatMatrix> chi = nmf->GetChiSquarePerRun();
    double weight = 0;
    for (uint32_t r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        const double expected = ChiSquareOf(nmf->Data(), nmf->ScoreCopies()[r], nmf->ComponentCopies()[r]);
        EXPECT_NEAR(chi->At(0, r), expected, 1e-4 * expected);
        weight += (1 - expected) * 100 / 3;
        // Every run's components follow the first run's order.
        for (uint32_t k = 0; k < kK; ++k)
            EXPECT_GT(Correlation(Row(nmf->ComponentCopies()[r], k), Row(nmf->ComponentCopies()[0], k)), 0.95);
    }
    for (uint32_t k = 0; k < kK; ++k)
        EXPECT_NEAR(nmf->Weights().At(0, k), weight, 1e-4);
    // The last run's error history ends on its chi-square.
    const std::unique_ptr<TFloatMatrix> errors = nmf->GetErrorConvergence();
    const double last = errors->At(0, errors->Columns() - 1);
    double xx = 0;
    for (uint32_t i = 0; i < nmf->Data().Rows() * nmf->Data().Columns(); ++i)
        xx += double(nmf->Data().Data()[i]) * nmf->Data().Data()[i];
    EXPECT_NEAR(last * last / xx, chi->At(0, 2), 1e-5 * chi->At(0, 2));

    // The runs of one compute start apart; the same seed gives the same runs.
    EXPECT_FALSE(nmf->ComponentCopies()[0] == nmf->ComponentCopies()[1]);
    auto again = MakeNMF(3, 1e-5f);
    ASSERT_TRUE(again->Prepare(set.get(), false));
    ASSERT_TRUE(again->Compute());
    EXPECT_TRUE(again->Components() == nmf->Components());
    EXPECT_TRUE(again->Scores() == nmf->Scores());
}

TEST(AnalysisNMF, RemovingARunAveragesTheOthers)
{
    auto set = MakeFactorSet(6, 6, 0.05);
    auto nmf = MakeNMF(3, 1e-5f);
    ASSERT_TRUE(nmf->Prepare(set.get(), false));
    ASSERT_TRUE(nmf->Compute());
    // Computing again replaces the runs.
    ASSERT_TRUE(nmf->Run(true));
    ASSERT_EQ(nmf->ComponentCopies().size(), 3u);
    const std::vector<TFloatMatrix> components = nmf->ComponentCopies(), scores = nmf->ScoreCopies();
    const std::unique_ptr<TFloatMatrix> chi = nmf->GetChiSquarePerRun();

    EXPECT_FALSE(nmf->RemoveRun(3));
    EXPECT_FALSE(nmf->RemoveRun(-1));
    ASSERT_TRUE(nmf->RemoveRun(1));
    EXPECT_EQ(nmf->RunCount(), 2);
    const std::unique_ptr<TFloatMatrix> left = nmf->GetChiSquarePerRun();
    ASSERT_EQ(left->Columns(), 2u);
    EXPECT_EQ(left->At(0, 0), chi->At(0, 0));
    EXPECT_EQ(left->At(0, 1), chi->At(0, 2));
    EXPECT_NEAR(nmf->Weights().At(0, 1), ((1 - chi->At(0, 0)) + (1 - chi->At(0, 2))) * 50, 1e-4);
    for (uint32_t k = 0; k < kK; ++k)
        for (uint32_t t : {0u, 14u, 30u, 63u})
            EXPECT_NEAR(nmf->Components().At(k, t), (components[0].At(k, t) + components[2].At(k, t)) / 2, 1e-6);
    // Voxel 9 lies at row 1, column 3 of the score images.
    EXPECT_NEAR(nmf->Scores().At(9, 2), (scores[0].At(9, 2) + scores[2].At(9, 2)) / 2, 1e-5);
    EXPECT_EQ(nmf->GetScoreImage(0, 2)->At(1, 3), nmf->Scores().At(9, 2));

    // The last run stays.
    ASSERT_TRUE(nmf->RemoveRun(0));
    EXPECT_FALSE(nmf->RemoveRun(0));
    EXPECT_TRUE(nmf->Components() == components[2]);
}

TEST(AnalysisNMF, DegenerateAndRefusedData)
{
    // All-zero data fit exactly: the run ends after 100 updates with chi-square 0.
    auto zero = test::MakeAnalysisSet(4, 4, 1, 2, kPoints, [](int, int) { return TComplex(0, 0); });
    auto nmf = MakeNMF(2, 1e-6f);
    ASSERT_TRUE(nmf->Prepare(zero.get(), false));
    ASSERT_TRUE(nmf->Compute());
    EXPECT_EQ(nmf->GetChiSquarePerRun()->At(0, 1), 0.0f);
    EXPECT_EQ(nmf->GetErrorConvergence()->Columns(), 101u);
    for (float c : Row(nmf->Components(), 0))
        ASSERT_TRUE(std::isfinite(c));

    // Every spectrum flat and equal: components without variance still match one to one.
    auto flat = test::MakeAnalysisSet(4, 4, 1, 2, kPoints, [](int, int) { return TComplex(1, 0); });
    auto flatNMF = MakeNMF(3, 1e-6f, 2);
    ASSERT_TRUE(flatNMF->Prepare(flat.get(), false));
    ASSERT_TRUE(flatNMF->Compute());
    for (float c : Row(flatNMF->Components(), 1))
        ASSERT_TRUE(std::isfinite(c));

    auto set = MakeFactorSet(2, 2, 0.05);
    test::TScriptedReport report;
    auto many = MakeNMF(1, 1e-6f, 5);  // 5 components, 4 voxels
    ASSERT_TRUE(many->Prepare(set.get(), false));
    EXPECT_FALSE(many->Compute());
    EXPECT_EQ(report.Count(), 1u);
    const int32_t narrow[] = {20, 22};
    TAnalysisNMF wide(20, 22, 4, narrow, 1, 1, 1e-6f);  // 4 components, 3 points
    ASSERT_TRUE(wide.Prepare(set.get(), false));
    EXPECT_FALSE(wide.Compute());
    EXPECT_FALSE(MakeNMF(1, 1e-6f)->Compute());  // no set
    EXPECT_EQ(report.Count(), 1u);
    // More runs than a project file keeps: refused before any is made, and said so.
    auto endless = MakeNMF(100001, 1e-6f);
    ASSERT_TRUE(endless->Prepare(set.get(), false));
    EXPECT_FALSE(endless->Compute());
    EXPECT_EQ(report.Messages().back(), "Number of Runs should not be larger than 100000.");

    // Any decrease is below a threshold of 1: the first test, after 100 updates, stops.
    auto coarse = MakeNMF(1, 1.0f);
    ASSERT_TRUE(coarse->Prepare(set.get(), false));
    ASSERT_TRUE(coarse->Compute());
    EXPECT_EQ(coarse->GetErrorConvergence()->Columns(), 101u);
    EXPECT_EQ(coarse->GetName(), "NMF_20_83_3_1_1");

    // A threshold no decrease can reach: the run gives up at the pass limit.
    auto never = MakeNMF(1, -1.0f, 1);
    ASSERT_TRUE(never->Prepare(set.get(), false));
    EXPECT_FALSE(never->Compute());
    EXPECT_TRUE(report.Contains("NMF failed because maximum number of iterations is reached."));
}

// --- non-negative least squares ---------------------------------------------------------------

// x solves min |A x - b| over x >= 0 exactly when it is non-negative and the gradient
// A'(A x - b) vanishes where x > 0 and is non-negative where x = 0 (the problem is convex).
TEST(SolveNNLS, SolutionsMeetTheOptimalityConditions)
{
    struct Case {
        int m, n;
        unsigned seed;
    };
    // The last five take columns back out of the solution on the way.
    const Case cases[] = {{6, 3, 1}, {8, 4, 2}, {5, 5, 3},  {10, 2, 5},  {4, 1, 7},
                          {4, 3, 27}, {4, 5, 29}, {4, 8, 9}, {4, 8, 38}, {10, 8, 51}};
    int bound = 0;  // coefficients held at 0 over all cases: the constraint must be exercised
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        uint32_t s = c.seed * 7919u;
        const auto uniform = [&s] {
            s = s * 1664525u + 1013904223u;
            return (s >> 8) / double(1u << 24) - 0.5;
        };
        std::vector<double> a(size_t(c.m) * c.n), b(size_t(c.m));
        for (double& v : a)
            v = uniform();
        for (double& v : b)
            v = uniform();
        std::vector<double> aa = a, bb = b, x(size_t(c.n)), w(size_t(c.n)), zz(size_t(c.m));
        std::vector<int> index(size_t(c.n));
        double norm = -1;
        int mode = 0;
        SolveNNLS(aa.data(), c.m, c.m, c.n, bb.data(), x.data(), norm, w.data(), zz.data(), index.data(), mode);
        ASSERT_EQ(mode, kNNLSSolved);
        std::vector<double> r(b);
        for (int i = 0; i < c.m; ++i)
            for (int j = 0; j < c.n; ++j)
                r[size_t(i)] -= a[i + size_t(j) * c.m] * x[size_t(j)];
        double rr = 0;
        for (double v : r)
            rr += v * v;
        EXPECT_NEAR(norm, std::sqrt(rr), 1e-12);
        for (int j = 0; j < c.n; ++j) {
            double gradient = 0;
            for (int i = 0; i < c.m; ++i)
                gradient -= a[i + size_t(j) * c.m] * r[size_t(i)];
            ASSERT_GE(x[size_t(j)], 0.0);
            if (x[size_t(j)] > 0) {
                EXPECT_NEAR(gradient, 0.0, 1e-12) << j;
            } else {
                EXPECT_GE(gradient, -1e-12) << j;
                ++bound;
            }
        }
    }
    EXPECT_GT(bound, 0);
    double a[1] = {1}, b[1] = {1}, x[1], w[1], zz[1], norm = 0;
    int index[1], mode = 0;
    SolveNNLS(a, 1, 0, 1, b, x, norm, w, zz, index, mode);
    EXPECT_EQ(mode, kNNLSBadDimensions);
    SolveNNLS(a, 1, 1, 0, b, x, norm, w, zz, index, mode);
    EXPECT_EQ(mode, kNNLSBadDimensions);
}

TEST(NormalQuantile, InvertsTheNormalDistribution)
{
    for (double u : {1e-6, 0.001, 0.02, 0.1, 0.3, 0.5, 0.6, 0.85, 0.975, 0.9999}) {
        // The z with Phi(z) = u, Phi(z) = erfc(-z / sqrt 2) / 2, by bisection.
        double lo = -10, hi = 10;
        for (int i = 0; i < 200; ++i) {
            const double mid = (lo + hi) / 2;
            (0.5 * std::erfc(-mid / std::sqrt(2.0)) < u ? lo : hi) = mid;
        }
        EXPECT_NEAR(NormalQuantile(u), lo, 1e-7) << u;
    }
}

}  // namespace
