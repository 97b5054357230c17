#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include "HLSVDTestSignals.h"
#include "hlsvd/THankelProduct.h"
#include "platform/Lapack.h"

namespace {

using cd = std::complex<double>;
using vx::test::RunRoutine;
using vx::test::SynthesizeFID;
using vx::test::TExpComponent;

constexpr double kSW = 2500.0;  // Hz: turns the 0.1 Hz goal into cycles per sample

// The found component nearest in frequency to `truth`, or null.
const TExpComponent* Nearest(const std::vector<TExpComponent>& found, const TExpComponent& truth)
{
    const TExpComponent* best = nullptr;
    for (const TExpComponent& c : found)
        if (!best || std::abs(c.frequency - truth.frequency) < std::abs(best->frequency - truth.frequency))
            best = &c;
    return best;
}

double PhaseDifference(double a, double b) { return std::abs(std::remainder(a - b, 2 * std::numbers::pi)); }

// Three to eight lines of an in vivo-like proton spectrum: a dominant water line, and
// smaller metabolite lines of different widths and phases.
std::vector<TExpComponent> Lines(int count)
{
    const std::vector<TExpComponent> all = {
        {1000.0, 0.3, -0.004, 0.0},      {40.0, -1.0, -0.010, 0.120},   {25.0, 2.0, -0.008, -0.210},
        {15.0, 0.0, -0.015, 0.330},      {60.0, 1.2, -0.030, -0.050},   {8.0, -2.5, -0.006, 0.260},
        {30.0, 0.7, -0.020, -0.370},     {12.0, 3.0, -0.012, 0.440},
    };
    return {all.begin(), all.begin() + count};
}

}  // namespace

TEST(HankelProduct, MatchesTheDirectSumsForEveryShape)
{
    struct Shape {
        int n, rows;
    };
    for (Shape s : {Shape{2, 1}, Shape{7, 3}, Shape{16, 8}, Shape{100, 37}, Shape{513, 256}}) {
        const int cols = s.n - s.rows + 1;
        std::vector<cd> x(static_cast<size_t>(s.n)), v(static_cast<size_t>(cols)), p(static_cast<size_t>(s.rows));
        for (int i = 0; i < s.n; ++i)
            x[static_cast<size_t>(i)] = cd(std::sin(0.3 * i + 1), std::cos(0.07 * i * i));
        for (int j = 0; j < cols; ++j)
            v[static_cast<size_t>(j)] = cd(1.0 / (j + 1), j % 3 - 1.0);
        for (int i = 0; i < s.rows; ++i)
            p[static_cast<size_t>(i)] = cd(i % 5, -0.5 * i);
        std::vector<cd> work(static_cast<size_t>(vx::hlsvd::THankelProduct::WorkSize(s.n)));
        vx::hlsvd::THankelProduct h(x.data(), s.n, work.data());
        std::vector<cd> hv(static_cast<size_t>(s.rows)), hp(static_cast<size_t>(cols));
        h.Apply(v.data(), cols, hv.data(), s.rows);
        h.ApplyAdjoint(p.data(), s.rows, hp.data(), cols);
        for (int i = 0; i < s.rows; ++i) {
            cd ref = 0;
            for (int j = 0; j < cols; ++j)
                ref += x[static_cast<size_t>(i + j)] * v[static_cast<size_t>(j)];
            EXPECT_LT(std::abs(hv[static_cast<size_t>(i)] - ref), 1e-10 * (1 + std::abs(ref))) << s.n << " row " << i;
        }
        for (int j = 0; j < cols; ++j) {
            cd ref = 0;
            for (int i = 0; i < s.rows; ++i)
                ref += std::conj(x[static_cast<size_t>(i + j)]) * p[static_cast<size_t>(i)];
            EXPECT_LT(std::abs(hp[static_cast<size_t>(j)] - ref), 1e-10 * (1 + std::abs(ref))) << s.n << " col " << j;
        }
    }
}

TEST(HLSVDRoutine, LeadingSingularValuesMatchAFullDecomposition)
{
    const int n = 512, rows = n / 2, cols = n - n / 2 + 1, k = 10;
    const auto x = SynthesizeFID(Lines(8), n, 20.0);
    std::vector<cd> hankel(static_cast<size_t>(rows) * cols);
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i)
            hankel[static_cast<size_t>(j) * rows + i] = x[static_cast<size_t>(i + j)];
    std::vector<double> s(static_cast<size_t>(rows)), rwork(static_cast<size_t>(7 * rows * rows + 7 * rows));
    std::vector<int> iwork(static_cast<size_t>(8 * rows));
    int lwork = -1, info = 0, one = 1;
    cd query, dummy;
    zgesdd_("N", &rows, &cols, hankel.data(), &rows, s.data(), &dummy, &one, &dummy, &one, &query, &lwork,
            rwork.data(), iwork.data(), &info, 1);
    lwork = static_cast<int>(query.real());
    std::vector<cd> work(static_cast<size_t>(lwork));
    zgesdd_("N", &rows, &cols, hankel.data(), &rows, s.data(), &dummy, &one, &dummy, &one, work.data(), &lwork,
            rwork.data(), iwork.data(), &info, 1);
    ASSERT_EQ(info, 0);

    const auto r = RunRoutine(x, n, k);
    ASSERT_GT(r.found, 0);
    for (int i = 0; i < k; ++i)
        EXPECT_NEAR(r.sigma[static_cast<size_t>(i)], s[static_cast<size_t>(i)], 1e-8 * s[0]) << "value " << i;
}

TEST(HLSVDRoutine, RecoversNoiselessComponents)
{
    // K equal to the line count, and K above the rank of the Hankel matrix.
    for (int count = 3; count <= 8; ++count)
        for (int extra : {0, 5}) {
            SCOPED_TRACE(testing::Message() << count << " lines, K = " << count + extra);
            const auto truth = Lines(count);
            const auto r = RunRoutine(SynthesizeFID(truth, 512), 512, count + extra);
            std::vector<TExpComponent> real;  // components that carry signal
            for (const TExpComponent& c : r.components) {
                for (double v : {c.amplitude, c.phase, c.damping, c.frequency})
                    ASSERT_TRUE(std::isfinite(v));
                if (c.amplitude > 1e-6)
                    real.push_back(c);
            }
            ASSERT_EQ(real.size(), truth.size());
            for (const TExpComponent& t : truth) {
                const TExpComponent* c = Nearest(real, t);
                EXPECT_LT(std::abs(c->frequency - t.frequency) * kSW, 0.1);
                EXPECT_LT(std::abs(c->amplitude - t.amplitude), 0.01 * t.amplitude);
                EXPECT_LT(PhaseDifference(c->phase, t.phase), 0.01);
                EXPECT_NEAR(c->damping, t.damping, 1e-4);
            }
        }
}

TEST(HLSVDRoutine, FindsTheStrongLinesInNoise)
{
    // Noise at SNR 50 against the water line: water comes back close, the metabolite
    // lines of at least 25 (an SNR of 1.25 per sample) near their places.
    const auto truth = Lines(6);
    const auto r = RunRoutine(SynthesizeFID(truth, 512, truth[0].amplitude / 50), 512, 12);
    const TExpComponent* water = Nearest(r.components, truth[0]);
    ASSERT_NE(water, nullptr);
    EXPECT_LT(std::abs(water->frequency - truth[0].frequency) * kSW, 0.5);
    EXPECT_LT(std::abs(water->amplitude - truth[0].amplitude), 0.02 * truth[0].amplitude);
    for (const TExpComponent& t : truth) {
        if (t.amplitude < 25)
            continue;
        const TExpComponent* c = Nearest(r.components, t);
        EXPECT_LT(std::abs(c->frequency - t.frequency) * kSW, 3.0) << t.frequency;
        EXPECT_LT(std::abs(c->amplitude - t.amplitude), 0.25 * t.amplitude) << t.frequency;
    }
}

TEST(HLSVDRoutine, ShortWorkArraysTakeFewerStepsButStillFit)
{
    const auto truth = Lines(4);
    // Barely above what 4 components need with the fewest Lanczos steps.
    const auto r = RunRoutine(SynthesizeFID(truth, 64), 64, 4, 0.02);
    ASSERT_EQ(r.found, 4);
    for (const TExpComponent& t : truth)
        EXPECT_LT(std::abs(Nearest(r.components, t)->frequency - t.frequency) * kSW, 0.1);
}

TEST(HLSVDRoutine, RefusesOrFindsNothingWithoutCrashing)
{
    const int n = 64;
    const auto fid = SynthesizeFID(Lines(3), n);
    struct Case {
        const char* what;
        int n, rows, cols, k, kmax, lrw, lzw;
        bool nan;
        bool zero;
    };
    const int rows = n / 2, cols = n - n / 2 + 1, lrw = 100000, lzw = 100000;
    const std::vector<Case> cases = {
        {"all-zero FID", n, rows, cols, 5, 100, lrw, lzw, false, true},
        {"NaN sample", n, rows, cols, 5, 100, lrw, lzw, true, false},
        {"matrix larger than the signal", n, rows, cols + 1, 5, 100, lrw, lzw, false, false},
        {"one row", n, 1, n, 5, 100, lrw, lzw, false, false},
        {"no columns", n, rows, 0, 5, 100, lrw, lzw, false, false},
        {"no components", n, rows, cols, 0, 100, lrw, lzw, false, false},
        {"kmax below K", n, rows, cols, 5, 4, lrw, lzw, false, false},
        {"complex work too short", n, rows, cols, 5, 100, lrw, 10, false, false},
        {"real work too short", n, rows, cols, 5, 100, 3, lzw, false, false},
        {"negative length", -4, rows, cols, 5, 100, lrw, lzw, false, false},
        {"longer than the routine takes", (1 << 24) + 2, rows, cols, 5, 100, lrw, lzw, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> signal;
        for (const cd& v : fid) {
            signal.push_back(c.zero ? 0.0 : v.real());
            signal.push_back(c.zero ? 0.0 : v.imag());
        }
        if (c.nan)
            signal[17] = std::numeric_limits<double>::quiet_NaN();
        std::vector<double> sigma(static_cast<size_t>(std::max(c.rows, 1)), -1), a(8, -1), ph(a), d(a), f(a);
        std::vector<double> rwork(static_cast<size_t>(c.lrw)), zwork(2 * static_cast<size_t>(c.lzw));
        int found = -1;
        hlsvdpw_(signal.data(), &c.n, &c.rows, &c.cols, &c.k, &found, &c.kmax, sigma.data(), a.data(), ph.data(),
                 d.data(), f.data(), rwork.data(), &c.lrw, zwork.data(), &c.lzw);
        EXPECT_EQ(found, 0);
    }
    // Without a place for the count there is nothing to report, and nothing is touched.
    hlsvdpw_(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
             nullptr, nullptr, nullptr, nullptr, nullptr);
}
