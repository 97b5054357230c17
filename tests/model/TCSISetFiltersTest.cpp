#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "model/HLSVDLibrary.h"
#include "model/TCSISet.h"
#include "model/TWaterSuppressionParams.h"
#include "platform/Workers.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"

namespace {

using cd = std::complex<double>;
using vx::test::AllSamples;
constexpr double kPi = std::numbers::pi;

struct InjectionGuard {
    ~InjectionGuard() { vx::FailWorkerStartsAfter(-1); }
};

// A time-domain FID of damped lines: amplitude, frequency (Hz), FWHM (Hz). The first
// point is halved so that the real part of the spectrum is the absorption line
// without an offset.
struct TLine {
    double amplitude, hz, fwhm;
};
std::vector<TComplex> Fid(const std::vector<TLine>& lines, int n, double sw)
{
    std::vector<TComplex> x(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        cd sum = 0;
        const double t = k / sw;
        for (const TLine& l : lines)
            sum += l.amplitude * std::exp(-kPi * l.fwhm * t) * std::polar(1.0, 2 * kPi * l.hz * t);
        x[static_cast<size_t>(k)] = TComplex(k == 0 ? sum * 0.5 : sum);
    }
    return x;
}

// A time-domain set of the given voxels' FIDs.
void MakeFidSet(TCSISet& set, const std::vector<std::vector<TComplex>>& fids, int nx, int ny, double sw)
{
    const int n = static_cast<int>(fids[0].size());
    vx::test::FillSet(set, nx, ny, 1, n, [&](int v, int i) { return fids[static_cast<size_t>(v)][static_cast<size_t>(i)]; });
    set.m_nSpectralWidth = static_cast<int>(sw);
    set.m_bFrequencyDomain = 0;
}

// Real part of voxel v, in display order.
std::vector<double> RealPart(const TCSISet& set, size_t v)
{
    std::vector<double> out;
    for (int i = 0; i < set.m_nPoints; ++i)
        out.push_back(set.GetVoxel(v)->GetReal(i));
    return out;
}

// Full width at half maximum, in points, of the largest peak; the crossings are
// interpolated linearly.
double FwhmPoints(const std::vector<double>& y)
{
    const size_t peak = static_cast<size_t>(std::max_element(y.begin(), y.end()) - y.begin());
    const double half = y[peak] / 2;
    size_t l = peak, r = peak;
    while (l > 0 && y[l - 1] > half)
        --l;
    while (r + 1 < y.size() && y[r + 1] > half)
        ++r;
    if (l == 0 || r + 1 == y.size())
        return -1;
    const double left = (l - 1) + (half - y[l - 1]) / (y[l] - y[l - 1]);
    const double right = r + (y[r] - half) / (y[r] - y[r + 1]);
    return right - left;
}

// FWHM of a Voigt line from its Lorentzian and Gaussian widths (Olivero and
// Longbothum's approximation, good to 0.02 %).
double VoigtFwhm(double lorentz, double gauss)
{
    return 0.5346 * lorentz + std::sqrt(0.2166 * lorentz * lorentz + gauss * gauss);
}

}  // namespace

TEST(LineBroadening, MeasuredWidthsMatchTheWindowsLineShapes)
{
    // One Lorentzian of 3 Hz. The exponential window of L broadens it by L/2 (its
    // exp(-|t| L pi / SW / 2) is a Lorentzian of FWHM L/2); the Gaussian window of G
    // convolves it with a Gaussian of FWHM G.
    enum Kind { Lorentz, Gauss, LorentzGauss };
    struct Case {
        Kind kind;
        float l, g;
        double expected;
    };
    const double natural = 3.0;
    const Case cases[] = {
        {Lorentz, 0.0f, 0.0f, natural},
        {Lorentz, 4.0f, 0.0f, natural + 2.0},
        {Lorentz, 11.0f, 0.0f, natural + 5.5},
        {Gauss, 0.0f, 5.0f, VoigtFwhm(natural, 5.0)},
        {Gauss, 0.0f, 12.0f, VoigtFwhm(natural, 12.0)},
        {LorentzGauss, 6.0f, 4.0f, VoigtFwhm(natural + 3.0, 4.0)},
        {LorentzGauss, -2.0f, 4.0f, VoigtFwhm(natural - 1.0, 4.0)},
    };
    const int n = 8192;
    const double sw = 1000.0;
    for (const Case& c : cases) {
        TCSISet set;
        MakeFidSet(set, {Fid({{1.0, 40.0, natural}}, n, sw)}, 1, 1, sw);
        bool ok = false;
        switch (c.kind) {
        case Lorentz: ok = set.LorentzFilter(c.l); break;
        case Gauss: ok = set.GaussFilter(c.g); break;
        case LorentzGauss: ok = set.LorentzGaussFilter(c.l, c.g); break;
        }
        ASSERT_TRUE(ok);
        EXPECT_EQ(set.m_bFrequencyDomain, 1) << "a time-domain set ends in the frequency domain";
        const double measured = FwhmPoints(RealPart(set, 0)) * sw / n;
        EXPECT_NEAR(measured, c.expected, 0.01 * c.expected) << "kind " << c.kind << " L " << c.l << " G " << c.g;
    }
}

TEST(LineBroadening, AppliedBroadeningTotals)
{
    TCSISet set;
    MakeFidSet(set, {Fid({{1.0, 10.0, 5.0}}, 64, 500.0)}, 1, 1, 500.0);
    ASSERT_TRUE(set.GaussFilter(3.0f));
    ASSERT_TRUE(set.GaussFilter(4.0f));
    EXPECT_FLOAT_EQ(set.m_fGaussBroadening, 5.0f);
    ASSERT_TRUE(set.LorentzFilter(2.0f));
    ASSERT_TRUE(set.LorentzFilter(2.0f));
    EXPECT_FLOAT_EQ(set.m_fLorentzBroadening, 4.0f);
    ASSERT_TRUE(set.LorentzGaussFilter(1.5f, 12.0f));
    EXPECT_FLOAT_EQ(set.m_fLorentzBroadening, 5.5f);
    EXPECT_FLOAT_EQ(set.m_fGaussBroadening, 13.0f);
    const float l = set.m_fLorentzBroadening, g = set.m_fGaussBroadening;
    ASSERT_TRUE(set.BaselineCorrection(50.0f, 1.0f));
    EXPECT_EQ(set.m_fLorentzBroadening, l);
    EXPECT_EQ(set.m_fGaussBroadening, g);
}

TEST(LineBroadening, EveryVoxelOnAnyWorkerCountEqualsTheSpectrumForm)
{
    // A frequency-domain set with an echo: each voxel must equal its spectrum taken to
    // the time domain, windowed by the per-spectrum form and brought back; one worker
    // and four give the same bits.
    vx::test::TProcessorCountGuard guard;
    InjectionGuard injection;
    struct Case {
        std::function<bool(TCSISet&)> set;
        std::function<bool(TSpectrum&)> spectrum;
    };
    const Case cases[] = {
        {[](TCSISet& s) { return s.LorentzFilter(7); }, [](TSpectrum& s) { return s.ApodizeExponential(7); }},
        {[](TCSISet& s) { return s.GaussFilter(30); }, [](TSpectrum& s) { return s.ApodizeGaussian(30); }},
        {[](TCSISet& s) { return s.LorentzGaussFilter(-4, 25); },
         [](TSpectrum& s) { return s.ApodizeLorentzGauss(-4, 25); }},
        {[](TCSISet& s) { return s.BaselineCorrection(60, 0.9f); },
         [](TSpectrum& s) { return s.ApplyConvolutionDifference(60, 0.9f); }},
    };
    auto make = [](TCSISet& set) {
        vx::test::FillSet(set, 3, 2, 2, 48, [](int v, int i) {
            return TComplex(static_cast<float>(std::sin(0.4 * i + v)), static_cast<float>(std::cos(0.09 * i * i - v)));
        });
        set.m_nSpectralWidth = 800;
        set.m_nEchoPosition = 5;
        set.m_bFrequencyDomain = 1;
    };
    for (size_t c = 0; c < std::size(cases); ++c) {
        TCSISet reference;
        make(reference);
        for (size_t v = 0; v < reference.VoxelCount(); ++v) {
            TSpectrum& s = *reference.GetVoxel(v);
            s.FFTShift();
            ASSERT_TRUE(s.ToTimeDomain() && cases[c].spectrum(s) && s.ToFrequencyDomain());
            s.FFTShift();
        }
        const std::vector<TComplex> expected = AllSamples(reference);
        std::vector<TComplex> first;
        for (int workers : {1, 4}) {
            vx::SetProcessorCount(workers);
            TCSISet set;
            make(set);
            ASSERT_TRUE(cases[c].set(set));
            const std::vector<TComplex> got = AllSamples(set);
            if (first.empty())
                first = got;
            EXPECT_EQ(got, first) << "case " << c << ": one worker and four give the same bits";
            EXPECT_EQ(set.m_bFrequencyDomain, 1);
            float largest = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                ASSERT_NEAR(std::abs(got[i] - expected[i]), 0.0, 1e-5) << "case " << c << " sample " << i;
                largest = std::max(largest, std::abs(got[i]));
            }
            EXPECT_FLOAT_EQ(set.m_fMagnitudeMax, largest) << "the data range follows the new samples";
        }
        // No worker can start: the way to the time domain fails and the set is as it was.
        vx::FailWorkerStartsAfter(0);
        TCSISet set;
        make(set);
        const std::vector<TComplex> before = AllSamples(set);
        EXPECT_FALSE(cases[c].set(set));
        vx::FailWorkerStartsAfter(-1);
        EXPECT_EQ(AllSamples(set), before);
        EXPECT_EQ(set.m_bFrequencyDomain, 1);
        EXPECT_EQ(set.m_fLorentzBroadening, 0.0f);
    }

    // Without a spectral width: refused with a message, nothing changed.
    vx::test::TScriptedReport report;
    TCSISet set;
    make(set);
    set.m_nSpectralWidth = 0;
    const std::vector<TComplex> before = AllSamples(set);
    EXPECT_FALSE(set.GaussFilter(2.0f));
    EXPECT_EQ(AllSamples(set), before);
    EXPECT_EQ(set.m_fGaussBroadening, 0.0f);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{TCSISet::kNoSpectralWidth});
}

TEST(LineBroadening, WorkerPartsTogetherEqualTheWholeExponentialWindow)
{
    TCSISet whole, parts;
    for (TCSISet* s : {&whole, &parts}) {
        vx::test::FillSet(*s, 5, 1, 1, 20, [](int v, int i) { return TComplex(1.0f + v, 0.5f * i); });
        s->m_nSpectralWidth = 400;
        s->m_nEchoPosition = 3;
    }
    // One worker over everything, by the per-spectrum form.
    for (size_t v = 0; v < whole.VoxelCount(); ++v)
        whole.GetVoxel(v)->ApodizeExponential(9.0f);
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(parts.LorentzFilterPart(9.0f, 3, k));
    EXPECT_EQ(AllSamples(parts), AllSamples(whole));
    EXPECT_EQ(parts.m_bFrequencyDomain, 0) << "no domain change";
    EXPECT_EQ(parts.m_fLorentzBroadening, 0.0f) << "no total";
}

namespace {

// Reference of the k-space window along one axis, for one line of voxel values:
// ifftshift, inverse DFT (1/n), weight, forward DFT, fftshift.
std::vector<cd> WindowLine(const std::vector<cd>& v, const std::vector<double>& w)
{
    const int n = static_cast<int>(v.size());
    std::vector<cd> u(v.size()), k(v.size()), back(v.size()), out(v.size());
    for (int i = 0; i < n; ++i)
        u[static_cast<size_t>(i)] = v[static_cast<size_t>((i + n / 2) % n)];
    for (int j = 0; j < n; ++j) {
        cd sum = 0;
        for (int i = 0; i < n; ++i)
            sum += u[static_cast<size_t>(i)] * std::polar(1.0, 2 * kPi * i * j / n);
        k[static_cast<size_t>(j)] = sum / double(n) * w[static_cast<size_t>(j)];
    }
    for (int i = 0; i < n; ++i) {
        cd sum = 0;
        for (int j = 0; j < n; ++j)
            sum += k[static_cast<size_t>(j)] * std::polar(1.0, -2 * kPi * i * j / n);
        back[static_cast<size_t>(i)] = sum;
    }
    for (int i = 0; i < n; ++i)
        out[static_cast<size_t>(i)] = back[static_cast<size_t>((i + (n + 1) / 2) % n)];
    return out;
}

// The windows by k-space index j of the transform (j = 0 the centre), from the signed
// frequency d of each index.
std::vector<double> WindowWeights(int type, int n, double radius, double width)
{
    std::vector<double> w;
    for (int j = 0; j < n; ++j) {
        const int d = j < (n + 1) / 2 ? j : j - n;
        if (type == 0)
            w.push_back(0.54 - 0.46 * std::cos(2 * kPi * (d + n / 2) / (n - 1)));
        else if (type == 1)
            w.push_back(std::cos(kPi * d / n));
        else
            w.push_back(1 / (1 + std::exp((std::abs(d) - radius) / width)));
    }
    return w;
}

}  // namespace

TEST(SpatialFilter, MatchesAWeightedTransformAlongTheAxis)
{
    // The cosine window along an axis of 8 has the frequencies d = 0, 1, 2, 3, -4, -3,
    // -2, -1 at transform indices 0..7.
    const int d8[8] = {0, 1, 2, 3, -4, -3, -2, -1};
    const std::vector<double> cos8 = WindowWeights(1, 8, 0, 0);
    for (int j = 0; j < 8; ++j)
        EXPECT_DOUBLE_EQ(cos8[static_cast<size_t>(j)], std::cos(kPi * d8[j] / 8));

    vx::test::TProcessorCountGuard guard;
    struct Case {
        int type, axis, n;
        float radius, width;
        int workers;
    };
    const Case cases[] = {
        {0, 0, 8, 0, 0, 1},   {0, 2, 7, 0, 0, 4},     {1, 1, 8, 0, 0, 4},   {1, 0, 5, 0, 0, 1},
        {2, 2, 8, 2.0f, 0.5f, 3}, {2, 1, 9, 3.0f, 1.5f, 1}, {2, 0, 16, 4.0f, 0.5f, 4},
    };
    for (const Case& c : cases) {
        vx::SetProcessorCount(c.workers);
        int dim[3] = {3, 2, 2};
        dim[c.axis] = c.n;
        const int points = 3;
        TCSISet set;
        vx::test::FillGrid(set, dim[0], dim[1], dim[2], points, [](int x, int y, int z, int i) {
            return TComplex(static_cast<float>(std::sin(1.3 * x + 0.7 * y * y + z - i)),
                            static_cast<float>(std::cos(0.4 * x * y + 2.1 * z + 0.5 * i)));
        });
        const std::vector<TComplex> before = AllSamples(set);
        ASSERT_TRUE(set.SpatialFilter(c.axis, c.type, c.radius, c.width));
        const std::vector<TComplex> after = AllSamples(set);
        const std::vector<double> w = WindowWeights(c.type, c.n, c.radius, c.width);
        const size_t stride[3] = {1, static_cast<size_t>(dim[0]), static_cast<size_t>(dim[0] * dim[1])};
        const int o1 = (c.axis + 1) % 3, o2 = (c.axis + 2) % 3;
        for (int a = 0; a < dim[o1]; ++a)
            for (int b = 0; b < dim[o2]; ++b)
                for (int p = 0; p < points; ++p) {
                    std::vector<cd> line;
                    auto sampleIndex = [&](int i) {
                        return (a * stride[o1] + b * stride[o2] + i * stride[c.axis]) * points + p;
                    };
                    for (int i = 0; i < c.n; ++i)
                        line.emplace_back(before[sampleIndex(i)]);
                    const std::vector<cd> expected = WindowLine(line, w);
                    for (int i = 0; i < c.n; ++i)
                        EXPECT_NEAR(std::abs(cd(after[sampleIndex(i)]) - expected[static_cast<size_t>(i)]), 0.0, 2e-5)
                            << "type " << c.type << " axis " << c.axis << " n " << c.n << " voxel " << i;
                }
        EXPECT_EQ(set.GetVoxel(1)->m_nX, 1) << "the voxels keep their places";
    }
}

TEST(SpatialFilter, EdgeCases)
{
    TCSISet set;
    vx::test::FillGrid(set, 4, 1, 3, 2, [](int x, int, int z, int i) { return TComplex(float(x + z), float(i)); });
    const std::vector<TComplex> before = AllSamples(set);
    EXPECT_TRUE(set.SpatialFilter(1, 0, 0, 0)) << "an axis of one voxel";
    EXPECT_EQ(AllSamples(set), before);

    testing::internal::CaptureStdout();
    EXPECT_FALSE(set.SpatialFilter(0, 3, 0, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown spatial filter type!\n");
    EXPECT_EQ(AllSamples(set), before);
    EXPECT_FALSE(set.SpatialFilter(3, 0, 0, 0)) << "no such axis";
    EXPECT_FALSE(set.SpatialFilter(-1, 1, 0, 0));
    EXPECT_EQ(AllSamples(set), before);

    // A Fermi width of 0 is the step at the radius, not a division by zero.
    ASSERT_TRUE(set.SpatialFilter(0, 2, 1.0f, 0.0f));
    for (const TComplex& c : AllSamples(set))
        EXPECT_TRUE(std::isfinite(c.real()) && std::isfinite(c.imag()));

    TCSISet unloaded;
    unloaded.m_nDim[0] = 4;
    EXPECT_FALSE(unloaded.SpatialFilter(0, 1, 0, 0));
}

namespace {

// The magnitude of the convolution subtraction's response at frequency nu (cycles per
// sample), after the phase of the shift is taken back: 1 - K(nu) / K(0) for the
// kernel of window length L written out here.
double KernelResponse(int length, int type, double nu)
{
    const int h = length / 2;  // ceil((L - 1) / 2)
    double sum = 0, at = 0;
    for (int m = -h; m <= h; ++m) {
        const double k = type == 0 ? std::exp(-4.0 * m * m / (h * h)) : type == 2 ? std::cos(m * kPi / (2 * h + 2)) : 1;
        sum += k;
        at += k * std::cos(2 * kPi * nu * m);
    }
    return 1 - at / sum;
}

constexpr int kWaterPoints = 2048;
constexpr double kWaterSw = 2000.0;
// Water at 0 Hz (the middle point after the half swap), four times as wide as and a
// hundred times the metabolites.
const std::vector<TLine> kWater = {{100.0, 0.0, 4.0}};
const std::vector<TLine> kMetabolites = {{1.0, 420.0, 6.0}, {0.5, -610.0, 8.0}};

std::vector<TLine> WaterAndMetabolites(double scale)
{
    std::vector<TLine> lines = {{kWater[0].amplitude * scale, kWater[0].hz, kWater[0].fwhm}};
    for (const TLine& l : kMetabolites)
        lines.push_back({l.amplitude * scale, l.hz, l.fwhm});
    return lines;
}

void MakeWaterSet(TCSISet& set, const std::vector<std::vector<TLine>>& voxels)
{
    std::vector<std::vector<TComplex>> fids;
    for (const auto& lines : voxels)
        fids.push_back(Fid(lines, kWaterPoints, kWaterSw));
    MakeFidSet(set, fids, static_cast<int>(fids.size()), 1, kWaterSw);
    set.m_fFrequency = 127.8f;
}

// The spectrum of a time-domain set as the filters leave theirs: frequency domain,
// halves swapped.
std::vector<double> RealSpectrum(const std::vector<TLine>& lines, size_t voxel = 0)
{
    TCSISet set;
    MakeWaterSet(set, std::vector<std::vector<TLine>>(voxel + 1, lines));
    EXPECT_TRUE(set.ToFrequencyDomain());
    set.FFTShiftSpectra();
    return RealPart(set, voxel);
}

// The area of a line above the straight line between the ends of its window. The
// subtraction starts with the FID's h-th point, so that every line gains a broad
// negative hump (hundreds of points wide, the first h points' share) that a local
// baseline takes off, as a peak integration would.
// Where the water and the metabolites lie, from their own spectra.
std::vector<size_t> MetabolitePeaks()
{
    const std::vector<double> water = RealSpectrum(kWater);
    const size_t middle = kWaterPoints / 2;
    EXPECT_EQ(std::max_element(water.begin(), water.end()) - water.begin(), static_cast<long>(middle));
    const std::vector<double> metabolites = RealSpectrum(kMetabolites);
    const auto at = [&](size_t i) { return metabolites.begin() + static_cast<long>(i); };
    return {static_cast<size_t>(std::max_element(at(0), at(middle - 100)) - at(0)),
            static_cast<size_t>(std::max_element(at(middle + 100), at(kWaterPoints)) - at(0))};
}

double Area(const std::vector<double>& y, size_t centre, int half)
{
    const double first = y[centre - static_cast<size_t>(half)], last = y[centre + static_cast<size_t>(half)];
    double sum = 0;
    for (int i = -half; i <= half; ++i)
        sum += y[centre + static_cast<size_t>(i)] - (first + (last - first) * (i + half) / (2.0 * half));
    return sum;
}

}  // namespace

TEST(WaterSuppression, RemovesWaterAndKeepsTheMetaboliteAreas)
{
    const size_t middle = kWaterPoints / 2;
    const std::vector<size_t> peaks = MetabolitePeaks();
    const std::vector<double> before = RealSpectrum(WaterAndMetabolites(1.0));

    struct Case {
        int length, type;
    };
    for (const Case c : {Case{17, 0}, Case{16, 0}, Case{25, 0}, Case{17, 1}, Case{21, 2}, Case{12, 2}}) {
        TCSISet set;
        MakeWaterSet(set, {WaterAndMetabolites(1.0)});
        TWaterSuppressionParams p;
        p.m_nWindowLength = c.length;
        p.m_nWindowType = c.type;
        ASSERT_TRUE(set.SuppressWater(p));
        EXPECT_EQ(set.m_bFrequencyDomain, 1);
        const std::vector<double> after = RealPart(set, 0);

        // The water: at least the drop that the kernel's response gives over the line.
        const int band = 12;  // points, three water line widths
        double worstResponse = 0, left = 0;
        for (int i = -band; i <= band; ++i) {
            worstResponse = std::max(worstResponse, std::abs(KernelResponse(c.length, c.type, double(i) / kWaterPoints)));
            left = std::max(left, std::abs(cd(set.GetVoxel(0)->GetReal(static_cast<int>(middle) + i),
                                              set.GetVoxel(0)->GetImag(static_cast<int>(middle) + i))));
        }
        EXPECT_GE(before[middle] / left, 1 / worstResponse)
            << "L " << c.length << " type " << c.type << ": water drops by " << before[middle] / left;

        // The metabolites keep their areas as the kernel's response there says; for these
        // windows that is within a few per cent of all of it.
        for (size_t peak : peaks) {
            const double response = KernelResponse(c.length, c.type, (double(peak) - middle) / kWaterPoints);
            const double ratio = Area(after, peak, 15) / Area(before, peak, 15);
            EXPECT_NEAR(ratio, response, 0.03) << "L " << c.length << " type " << c.type << " point " << peak;
            if (c.type == 0) {
                EXPECT_NEAR(ratio, 1.0, 0.03) << "L " << c.length << " point " << peak;
            }
        }
    }
}

TEST(WaterSuppression, HLSVDRemovesTheBandAfterTheCentring)
{
    const size_t middle = kWaterPoints / 2;
    const std::vector<size_t> peaks = MetabolitePeaks();
    const std::vector<double> before = RealSpectrum(WaterAndMetabolites(1.0));
    TWaterSuppressionParams p;
    p.m_nMethod = 1;
    p.m_nPeaks = 10;
    p.m_fWaterStart = 30.0f;
    p.m_fWaterEnd = -30.0f;
    TCSISet set;
    MakeWaterSet(set, {WaterAndMetabolites(1.0)});
    ASSERT_TRUE(set.SuppressWater(p));
    EXPECT_EQ(set.m_bFrequencyDomain, 1);
    const std::vector<double> after = RealPart(set, 0);
    EXPECT_LT(std::fabs(after[middle]), 0.01 * before[middle]);
    for (size_t peak : peaks)
        EXPECT_NEAR(Area(after, peak, 15) / Area(before, peak, 15), 1.0, 0.03) << "point " << peak;

    // Without the library: reported, nothing removed, but the set is back in the
    // frequency domain with its halves swapped.
    struct PathGuard {
        ~PathGuard() { vx::SetHLSVDLibraryPath(""); }
    } path;
    vx::SetHLSVDLibraryPath("/nonexistent-folder/libhlsvdpro.so");
    vx::test::TScriptedReport report;
    TCSISet missing;
    MakeWaterSet(missing, {WaterAndMetabolites(1.0)});
    EXPECT_FALSE(missing.SuppressWater(p));
    EXPECT_EQ(report.Count(), 1u);
    EXPECT_EQ(missing.m_bFrequencyDomain, 1);
    EXPECT_NEAR(RealPart(missing, 0)[middle], before[middle], 1e-4 * before[middle]);
}

TEST(WaterSuppression, EvenWindowsShiftAsFarAsTheNextOddOne)
{
    // h = ceil((L - 1) / 2) is 8 for both 16 and 17: the same kernel, the same shift,
    // and so the same phase to take back.
    TCSISet even, odd;
    MakeWaterSet(even, {WaterAndMetabolites(1.0)});
    MakeWaterSet(odd, {WaterAndMetabolites(1.0)});
    TWaterSuppressionParams p;
    p.m_nWindowLength = 16;
    ASSERT_TRUE(even.SuppressWater(p));
    p.m_nWindowLength = 17;
    ASSERT_TRUE(odd.SuppressWater(p));
    EXPECT_EQ(AllSamples(even), AllSamples(odd));
}

TEST(WaterSuppression, WorkersSelectionAndCentring)
{
    vx::test::TProcessorCountGuard guard;
    // Four voxels; the water of voxel 2 lies 10 Hz off the middle and is moved there.
    std::vector<std::vector<TLine>> voxels;
    for (int v = 0; v < 4; ++v)
        voxels.push_back(WaterAndMetabolites(1.0 + 0.25 * v));
    voxels[2][0].hz = 10.0 * kWaterSw / kWaterPoints;  // an exact point: 10 points off
    TWaterSuppressionParams p;
    std::vector<TComplex> first;
    for (int workers : {1, 4}) {
        vx::SetProcessorCount(workers);
        TCSISet set;
        MakeWaterSet(set, voxels);
        ASSERT_TRUE(set.SuppressWater(p));
        if (first.empty())
            first = AllSamples(set);
        else
            EXPECT_EQ(AllSamples(set), first) << "one worker and four give the same bits";
    }

    // Only the selected voxel: the other keeps its spectrum.
    TCSISet set;
    MakeWaterSet(set, {voxels[0], voxels[2]});
    set.GetVoxel(1)->m_bSelected = 1;
    p.m_bSelectedOnly = 1;
    ASSERT_TRUE(set.SuppressWater(p));
    const std::vector<double> untouched = RealSpectrum(voxels[0]);
    const std::vector<double> kept = RealPart(set, 0);
    for (size_t i = 0; i < kept.size(); ++i)
        ASSERT_NEAR(kept[i], untouched[i], 1e-3 * std::fabs(untouched[kWaterPoints / 2])) << "point " << i;
    // The selected voxel's water was centred and removed: its old place keeps only
    // what the line had there, its peak is gone from the middle.
    const std::vector<double> moved = RealSpectrum(voxels[2], 1);
    const double peak = *std::max_element(moved.begin(), moved.end());
    for (int i = -12; i <= 12; ++i)
        EXPECT_LT(std::fabs(set.GetVoxel(1)->GetReal(kWaterPoints / 2 + i)), 0.02 * peak) << "point offset " << i;
}

TEST(WaterSuppression, RefusesWindowsThatDoNotFit)
{
    vx::test::TScriptedReport report;
    struct Case {
        int method, length;
        bool reported;
    };
    for (const Case c : {Case{0, 0, true}, Case{0, -5, true}, Case{0, 65, true}, Case{0, 64, true}, Case{2, 17, false}}) {
        TCSISet set;
        MakeFidSet(set, {Fid({{1.0, 50.0, 5.0}}, 64, 1000.0)}, 1, 1, 1000.0);
        const std::vector<TComplex> before = AllSamples(set);
        TWaterSuppressionParams p;
        p.m_nMethod = c.method;
        p.m_nWindowLength = c.length;
        report.Clear();
        EXPECT_FALSE(set.SuppressWater(p)) << "method " << c.method << " L " << c.length;
        EXPECT_EQ(AllSamples(set), before);
        EXPECT_EQ(set.m_bFrequencyDomain, 0);
        EXPECT_EQ(report.Count(), c.reported ? 1u : 0u) << "method " << c.method << " L " << c.length;
    }
    // 63 points of window on 64 points: the kernel fits; everything is subtracted but
    // the set is consistent.
    TCSISet set;
    MakeFidSet(set, {Fid({{1.0, 50.0, 5.0}}, 64, 1000.0)}, 1, 1, 1000.0);
    TWaterSuppressionParams p;
    p.m_nWindowLength = 63;
    EXPECT_TRUE(set.SuppressWater(p));
}

TEST(BaselineFitAll, EveryVoxelOnAnyWorkerCountAndOneMessage)
{
    vx::test::TProcessorCountGuard guard;
    const int32_t regions[] = {30, 45};
    auto make = [](TCSISet& set) {
        vx::test::FillSet(set, 4, 3, 1, 90, [](int v, int i) {
            return TComplex(static_cast<float>(5 + 0.1 * v * i + (i > 32 && i < 43 ? 20 : 0)),
                            static_cast<float>(std::sin(0.2 * i + v)));
        });
        set.m_bFrequencyDomain = 1;
    };
    TCSISet reference;
    make(reference);
    for (size_t v = 0; v < reference.VoxelCount(); ++v)
        reference.GetVoxel(v)->FitBaseline(1, 1, regions);
    for (int workers : {1, 4}) {
        vx::SetProcessorCount(workers);
        TCSISet set;
        make(set);
        vx::test::TScriptedReport report;
        EXPECT_TRUE(set.FitBaselineAll(1, 1, regions));
        EXPECT_EQ(AllSamples(set), AllSamples(reference)) << workers << " workers";
        EXPECT_EQ(report.Count(), 0u);
        float realMax = -INFINITY;
        for (const TComplex& c : AllSamples(set))
            realMax = std::max(realMax, c.real());
        EXPECT_EQ(set.m_fRealMax, realMax) << "the data range is updated";

        // Several corrupt voxels: one message for the whole set.
        make(set);
        for (size_t v : {size_t(1), size_t(5), size_t(9)})
            set.GetVoxel(v)->Data()[50] = TComplex(NAN, 0.0f);
        EXPECT_FALSE(set.FitBaselineAll(0, 1, regions));
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Not all the points are fitted."}) << workers;
    }
}
