#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <vector>

#include "model/TCSISet.h"
#include "model/TSpectrum.h"
#include "support/ScriptedReport.h"

namespace {

constexpr double kPi = std::numbers::pi;

std::vector<TComplex> Samples(const TSpectrum& s)
{
    std::vector<TComplex> out;
    for (int i = 0; i < s.m_nPoints; ++i)
        out.emplace_back(s.GetReal(i), s.GetImag(i));
    return out;
}

// A spectrum of the given samples belonging to `set` (which gives its spectral width,
// echo position and frequency).
void Fill(TSpectrum& s, TCSISet& set, const std::vector<TComplex>& samples)
{
    s.m_pDataSet = &set;
    s.m_nPoints = static_cast<int>(samples.size());
    s.SetComplexData(samples.data());
}

// Weights written from the line shapes they are meant to give: in time tau = t / SW
// seconds, a Lorentzian of FWHM L/2 decays as exp(-pi (L/2) |tau|), and a Gaussian line
// of FWHM G comes from exp(-(pi G tau)^2 / (4 ln 2)).
double Decay(double t, double sw, double l) { return std::exp(-kPi * (l / 2) * std::fabs(t / sw)); }
double Gauss(double t, double sw, double g)
{
    const double tau = t / sw;
    return std::exp(-(kPi * g * tau) * (kPi * g * tau) / (4 * std::log(2.0)));
}

const char* const kNotAllFitted = "Not all the points are fitted.";

}  // namespace

TEST(SpectrumWindows, WeightsMatchTheLineShapeFormulas)
{
    const double sw = 500.0;
    struct Case {
        int echo;
        std::function<bool(TSpectrum&)> apply;
        std::function<double(double)> weight;  // of t = k - echo
    };
    const Case cases[] = {
        {0, [](TSpectrum& s) { return s.ApodizeExponential(5); }, [&](double t) { return Decay(t, sw, 5); }},
        {7, [](TSpectrum& s) { return s.ApodizeExponential(-3); }, [&](double t) { return Decay(t, sw, -3); }},
        {0, [](TSpectrum& s) { return s.ApodizeGaussian(12); }, [&](double t) { return Gauss(t, sw, 12); }},
        {32, [](TSpectrum& s) { return s.ApodizeGaussian(4.5f); }, [&](double t) { return Gauss(t, sw, 4.5); }},
        {10, [](TSpectrum& s) { return s.ApodizeLorentzGauss(6, 9); },
         [&](double t) { return Decay(t, sw, 6) * Gauss(t, sw, 9); }},
        {0, [](TSpectrum& s) { return s.ApodizeLorentzGauss(-2, 7); },
         [&](double t) { return Decay(t, sw, -2) * Gauss(t, sw, 7); }},
        {20, [](TSpectrum& s) { return s.ApplyConvolutionDifference(25, 0.8f); },
         [&](double t) { return 1 - 0.8 * Decay(t, sw, 25); }},
    };
    for (size_t c = 0; c < std::size(cases); ++c) {
        TCSISet set;
        set.m_nSpectralWidth = static_cast<int>(sw);
        set.m_nEchoPosition = cases[c].echo;
        TSpectrum s;
        Fill(s, set, std::vector<TComplex>(64, TComplex(1.0f, -2.0f)));
        ASSERT_TRUE(cases[c].apply(s));
        for (int k = 0; k < 64; ++k) {
            const double w = cases[c].weight(k - cases[c].echo);
            EXPECT_NEAR(s.GetReal(k), w, 1e-6 * std::max(1.0, w)) << "case " << c << " k " << k;
            EXPECT_NEAR(s.GetImag(k), -2.0 * w, 2e-6 * std::max(1.0, w)) << "case " << c << " k " << k;
        }
    }
}

TEST(SpectrumWindows, RefusedWithoutTheSetsSpectralWidth)
{
    const std::vector<TComplex> ones(16, TComplex(1, 1));
    TCSISet set;  // spectral width 0
    TSpectrum alone, s;
    alone.m_nPoints = 16;
    alone.SetComplexData(ones.data());
    Fill(s, set, ones);
    EXPECT_FALSE(alone.ApodizeGaussian(3.0f)) << "no owning set";
    EXPECT_FALSE(s.ApodizeExponential(3.0f));
    EXPECT_EQ(Samples(alone), ones);
    EXPECT_EQ(Samples(s), ones);
}

namespace {

// A spectrum of a baseline plus two Gaussian peaks (sigma 3 points), and the peaks alone.
struct TBaselineCase {
    const char* name;
    int mode;
    std::complex<double> c0, c1, c2;  // baseline c0 + c1 i + c2 i^2
};

std::complex<double> Peaks(int i)
{
    auto g = [](double x, double centre, double height) {
        return height * std::exp(-(x - centre) * (x - centre) / (2 * 9.0));
    };
    return {g(i, 150, 100) + g(i, 330, 60), g(i, 150, -40) + g(i, 330, 25)};
}

}  // namespace

TEST(BaselineFit, RemovesAKnownPolynomialBaseline)
{
    const int n = 512;
    // Straight-line windows can only follow a straight baseline; quadratic windows
    // follow both.
    const TBaselineCase cases[] = {
        {"lines, straight baseline", 0, {20, -5}, {0.05, 0.03}, {0, 0}},
        {"quadratics, straight baseline", 1, {-8, 4}, {0.02, -0.06}, {0, 0}},
        {"quadratics, curved baseline", 1, {20, 10}, {0.05, -0.02}, {-1e-4, 6e-5}},
    };
    // Each peak lies inside its region, out to five widths.
    const int32_t regions[] = {135, 165, 315, 345};
    for (const TBaselineCase& c : cases) {
        std::vector<TComplex> input;
        for (int i = 0; i < n; ++i)
            input.emplace_back(Peaks(i) + c.c0 + c.c1 * double(i) + c.c2 * double(i) * double(i));
        TCSISet set;
        TSpectrum s;
        Fill(s, set, input);
        vx::test::TScriptedReport report;
        EXPECT_TRUE(s.FitBaseline(c.mode, 2, regions));
        EXPECT_EQ(report.Count(), 0u) << c.name;
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(s.GetReal(i), input[i].real()) << c.name << ": the first ten points stay";
            EXPECT_EQ(s.GetReal(n - 1 - i), input[n - 1 - i].real()) << c.name << ": the last ten points stay";
        }
        double worst = 0;
        for (int i = 10; i < n - 10; ++i)
            worst = std::max(worst, std::abs(std::complex<double>(s.GetReal(i), s.GetImag(i)) - Peaks(i)));
        EXPECT_LT(worst, 0.05) << c.name << ": residual against peaks of height 100";
    }
}

TEST(BaselineFit, RegionsAreOrderedAndClamped)
{
    const int n = 100;
    std::vector<TComplex> input;
    for (int i = 0; i < n; ++i)
        input.emplace_back(static_cast<float>(std::sin(0.3 * i) * 10 + 0.01 * i * i),
                           static_cast<float>(std::cos(0.17 * i) * 4));
    auto fitted = [&](int mode, std::vector<int32_t> regions) {
        TCSISet set;
        TSpectrum s;
        Fill(s, set, input);
        s.FitBaseline(mode, static_cast<int>(regions.size() / 2), regions.data());
        return Samples(s);
    };
    for (int mode : {0, 1}) {
        EXPECT_EQ(fitted(mode, {40, 30}), fitted(mode, {30, 40})) << "mode " << mode;
        EXPECT_EQ(fitted(mode, {80, 250}), fitted(mode, {80, n - 1})) << "mode " << mode;
        EXPECT_EQ(fitted(mode, {-20, 15}), fitted(mode, {0, 15})) << "mode " << mode;
        EXPECT_NE(fitted(mode, {30, 40}), fitted(mode, {})) << "mode " << mode << ": the region counts";
    }
    // Another mode fits nothing.
    EXPECT_EQ(fitted(2, {30, 40}), input);

    // 20 points or fewer: nothing to fit, no message.
    vx::test::TScriptedReport report;
    const std::vector<TComplex> small(input.begin(), input.begin() + 20);
    TCSISet set;
    TSpectrum s;
    Fill(s, set, small);
    EXPECT_TRUE(s.FitBaseline(1, 0, nullptr));
    EXPECT_EQ(Samples(s), small);
    EXPECT_EQ(report.Count(), 0u);
}

TEST(BaselineFit, CorruptSamplesLeaveTheirWindowsAloneAndSayIt)
{
    const int n = 80;
    std::vector<TComplex> input;
    for (int i = 0; i < n; ++i)
        input.emplace_back(static_cast<float>(3 + 0.2 * i), static_cast<float>(1 - 0.1 * i));
    std::vector<TComplex> corrupt = input;
    corrupt[40] = TComplex(INFINITY, 0.0f);
    for (int mode : {0, 1}) {
        TCSISet set;
        TSpectrum clean, bad;
        Fill(clean, set, input);
        Fill(bad, set, corrupt);
        clean.FitBaseline(mode, 0, nullptr);
        vx::test::TScriptedReport report;
        EXPECT_FALSE(bad.FitBaseline(mode, 0, nullptr));
        EXPECT_EQ(report.Messages(), std::vector<std::string>{kNotAllFitted}) << "mode " << mode;
        for (int i = 0; i < n; ++i) {
            if (i == 40)
                continue;
            EXPECT_TRUE(std::isfinite(bad.GetReal(i))) << "mode " << mode << " point " << i;
            if (i < 30 || i > 50) {
                EXPECT_EQ(bad.GetReal(i), clean.GetReal(i)) << "mode " << mode << ": away from it, point " << i;
            } else {
                EXPECT_EQ(bad.GetReal(i), corrupt[i].real()) << "mode " << mode << ": left alone, point " << i;
            }
        }
        report.Clear();
        EXPECT_FALSE(bad.FitBaseline(mode, 0, nullptr, FailureMessage::None));
        EXPECT_EQ(report.Count(), 0u);
    }
}

TEST(BaselineFit, LinearModelFitsFreeAndFixedCoefficients)
{
    // Weighted points of an exact quadratic: any weights give its coefficients back.
    const int n = 9;
    double x[n + 1], y[n + 1], sig[n + 1];
    for (int i = 1; i <= n; ++i) {
        x[i] = 0.7 * i - 2;
        y[i] = 2 - 0.5 * x[i] + 0.25 * x[i] * x[i];
        sig[i] = 0.5 + 0.1 * i;
    }
    double covarRows[4][4];
    double* covar[4] = {covarRows[0], covarRows[1], covarRows[2], covarRows[3]};
    double a[4] = {0, 0, 0, 0};
    const int allFree[4] = {0, 1, 1, 1};
    ASSERT_TRUE(TSpectrum::FitLinearModel(x, y, sig, n, a, allFree, covar));
    EXPECT_NEAR(a[1], 2.0, 1e-12);
    EXPECT_NEAR(a[2], -0.5, 1e-12);
    EXPECT_NEAR(a[3], 0.25, 1e-12);
    // A fixed coefficient keeps its value and is taken off the data before the fit.
    double b[4] = {0, 0, 0, 0.75};
    const int fixedSquare[4] = {0, 1, 1, 0};
    ASSERT_TRUE(TSpectrum::FitLinearModel(x, y, sig, n, b, fixedSquare, covar));
    EXPECT_EQ(b[3], 0.75);
    double residual = 0;
    for (int i = 1; i <= n; ++i)
        residual += (y[i] - b[1] - b[2] * x[i] - 0.75 * x[i] * x[i]) * x[i] / (sig[i] * sig[i]);
    EXPECT_NEAR(residual, 0.0, 1e-9) << "the residual is orthogonal to the free basis function x";
    // One abscissa for every point: singular, nothing changed.
    for (int i = 1; i <= n; ++i)
        x[i] = 3.0;
    double c[4] = {0, 7, 7, 7};
    EXPECT_FALSE(TSpectrum::FitLinearModel(x, y, sig, n, c, allFree, covar));
    EXPECT_EQ(c[1], 7.0);
}

TEST(CentrePeak, MovesTheLargestPeakInTheRangeToTheMiddle)
{
    // 64 points, 100 MHz, 1000 Hz: a range of 1 ppm is 6.4 points, truncated to 6, so
    // points 26..38 are searched.
    struct Case {
        const char* name;
        std::vector<std::pair<int, float>> peaks;  // position, height
        float range;
        int expectedPeak;
    };
    const Case cases[] = {
        {"inside", {{30, 5.0f}}, 1.0f, 30},
        {"at the upper edge of the window", {{38, 5.0f}}, 1.0f, 38},
        {"at the lower edge", {{26, 5.0f}}, 1.0f, 26},
        {"a larger peak outside loses", {{40, 9.0f}, {35, 2.0f}}, 1.0f, 35},
        {"equal heights: the later wins", {{29, 3.0f}, {36, 3.0f}}, 1.0f, 36},
        {"a range wider than the spectrum searches all of it", {{2, 4.0f}, {60, 7.0f}}, 1.0e6f, 60},
        {"a negative range keeps the middle", {{40, 9.0f}}, -1.0f, 32},
    };
    for (const Case& c : cases) {
        std::vector<TComplex> input(64);
        for (int i = 0; i < 64; ++i)
            input[static_cast<size_t>(i)] = TComplex(0.01f * static_cast<float>(i % 7), 0.02f);
        for (const auto& [at, height] : c.peaks)
            input[static_cast<size_t>(at)] = TComplex(0.6f * height, -0.8f * height);
        TCSISet set;
        set.m_fFrequency = 100.0f;
        set.m_nSpectralWidth = 1000;
        TSpectrum s;
        Fill(s, set, input);
        ASSERT_TRUE(s.CentrePeak(c.range)) << c.name;
        const std::vector<TComplex> out = Samples(s);
        for (int i = 0; i < 64; ++i) {
            const int from = i - 32 + c.expectedPeak;
            const TComplex expected = from >= 0 && from < 64 ? input[static_cast<size_t>(from)] : TComplex(0, 0);
            EXPECT_EQ(out[static_cast<size_t>(i)], expected) << c.name << ", point " << i;
        }
    }
    TSpectrum alone;
    alone.m_nPoints = 8;
    alone.AllocateZeroed(8);
    EXPECT_FALSE(alone.CentrePeak(1.0f)) << "no owning set";
}

TEST(SubtractConvolved, RefusesKernelsThatDoNotFit)
{
    TCSISet set;
    TSpectrum s;
    const std::vector<TComplex> input(9, TComplex(1, 2));
    Fill(s, set, input);
    EXPECT_FALSE(s.SubtractConvolved(4, std::vector<float>(4, 1.0f), 4.0f)) << "L = 4 has h = 2: 5 weights";
    EXPECT_FALSE(s.SubtractConvolved(11, std::vector<float>(11, 1.0f), 11.0f)) << "wider than the spectrum";
    EXPECT_FALSE(s.SubtractConvolved(3, std::vector<float>(3, 1.0f), 0.0f)) << "normaliser 0";
    EXPECT_FALSE(s.SubtractConvolved(0, std::vector<float>(1, 1.0f), 1.0f)) << "length 0";
    EXPECT_EQ(Samples(s), input);
}
