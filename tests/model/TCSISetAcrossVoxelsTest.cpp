// The kernels across voxels: the two alignments of the selected spectra, the lipid
// suppression by k-space extrapolation against a direct computation with plain DFTs,
// and the signal-space projection against a known nuisance subspace.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

using test::AllSamples;
using test::FillGrid;
using test::FillSet;

bool SameBits(const std::vector<TComplex>& a, const std::vector<TComplex>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(TComplex)) == 0;
}

// Largest difference relative to the largest magnitude of `reference`.
double RelativeDifference(const std::vector<TComplex>& a, const std::vector<TComplex>& reference)
{
    if (a.size() != reference.size())
        return INFINITY;
    double largest = 0, diff = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        largest = std::max(largest, static_cast<double>(std::abs(reference[i])));
        diff = std::max(diff, static_cast<double>(std::abs(a[i] - reference[i])));
    }
    return diff / largest;
}

// Uniform values in [-1, 1) from a fixed seed.
class TNoise {
public:
    explicit TNoise(uint32_t seed) : m_state(seed) {}
    double Next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return (m_state >> 8) / 8388608.0 - 1.0;
    }
    std::complex<double> Complex() { return {Next(), Next()}; }

private:
    uint32_t m_state;
};

// --- alignments ---------------------------------------------------------------------------

TEST(TCSISetAcrossVoxelsTest, AlignmentsShiftOnlyTheSelectedSpectra)
{
    constexpr int N = 128;
    const int peaks[3] = {100, 103, 50};
    struct Case {
        const char* name;
        std::vector<uint8_t> selected;
        std::function<bool(TCSISet&)> run;
        bool result;
        std::vector<int> shifts;  // new[i] = old[(i + shift) mod N] per voxel
    };
    const std::vector<Case> cases = {
        // Mean of 100 and 103 is 101 in integer division.
        {"initial alignment", {1, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(90, 110); }, true, {-1, 2, 0}},
        {"initial alignment, one voxel", {0, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(0, N - 1); }, true,
         {0, 0, 0}},
        {"window past the end", {1, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(90, N); }, false, {0, 0, 0}},
        {"window before the start", {1, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(-1, 110); }, false, {0, 0, 0}},
        {"reversed window", {1, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(110, 90); }, false, {0, 0, 0}},
        {"nothing selected", {0, 0, 0}, [](TCSISet& s) { return s.AlignPeaks(90, 110); }, false, {0, 0, 0}},
        {"manual alignment", {1, 0, 1}, [](TCSISet& s) { return s.ShiftSelectedSpectra(5, 2); }, true, {3, 0, 3}},
        {"manual alignment backwards", {0, 1, 0}, [](TCSISet& s) { return s.ShiftSelectedSpectra(2, 9); }, true,
         {0, -7, 0}},
        {"manual alignment by nothing", {1, 1, 1}, [](TCSISet& s) { return s.ShiftSelectedSpectra(7, 7); }, true,
         {0, 0, 0}},
        // A distance beyond the points wraps around.
        {"manual alignment by more than N", {1, 0, 0}, [](TCSISet& s) { return s.ShiftSelectedSpectra(N + 2, 0); },
         true, {N + 2, 0, 0}},
        {"manual alignment, nothing selected", {0, 0, 0}, [](TCSISet& s) { return s.ShiftSelectedSpectra(5, 2); },
         false, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCSISet set;
        TNoise noise(3);
        FillSet(set, 3, 1, 1, N, [&](int v, int i) {
            const double peak = i == peaks[v] ? 10.0 : 0.0;
            return TComplex(static_cast<float>(peak + noise.Next()), static_cast<float>(noise.Next()));
        });
        for (int v = 0; v < 3; ++v)
            set.GetVoxel(v)->m_bSelected = c.selected[v];
        const std::vector<TComplex> before = AllSamples(set);
        EXPECT_EQ(c.run(set), c.result);
        const std::vector<TComplex> after = AllSamples(set);
        for (int v = 0; v < 3; ++v)
            for (int i = 0; i < N; ++i) {
                const int from = ((i + c.shifts[v]) % N + N) % N;
                ASSERT_EQ(after[v * N + i], before[v * N + from]) << "voxel " << v << ", point " << i;
            }
    }
}

// --- lipid suppression --------------------------------------------------------------------

constexpr int kSide = 16;
constexpr int kCells = kSide * kSide;
constexpr int kLipidPoint = 8;
constexpr int kMetabolitePoint = 20;
constexpr int kIterations = 10;

using Image = std::vector<std::complex<double>>;  // kSide x kSide, x fastest

double Radius(int x, int y)
{
    return std::hypot(x - 7.5, y - 7.5);
}
bool InLipidRing(int x, int y)
{
    return Radius(x, y) >= 5.5 && Radius(x, y) <= 7.5;
}
bool InBrain(int x, int y)
{
    return Radius(x, y) <= 4.0;
}
// Spatial frequencies of up to 3 cycles across the grid on both axes are sampled.
bool Sampled(int fx, int fy)
{
    const auto centred = [](int f) { return std::abs(f < kSide / 2 ? f : f - kSide); };
    return centred(fx) <= 3 && centred(fy) <= 3;
}

// Plain two-dimensional DFT, sign -1 forward; the inverse is scaled by 1/n^2.
Image DFT(const Image& in, bool inverse)
{
    const double sign = inverse ? 1.0 : -1.0;
    Image out(kCells);
    for (int fy = 0; fy < kSide; ++fy)
        for (int fx = 0; fx < kSide; ++fx) {
            std::complex<double> sum = 0;
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    sum += in[y * kSide + x] *
                           std::polar(1.0, sign * 2 * std::numbers::pi * (fx * x + fy * y) / kSide);
            out[fy * kSide + fx] = inverse ? sum / double(kCells) : sum;
        }
    return out;
}

// What the scanner measures of an image: the sampled spatial frequencies only.
Image Measured(const Image& truth)
{
    Image k = DFT(truth, false);
    for (int fy = 0; fy < kSide; ++fy)
        for (int fx = 0; fx < kSide; ++fx)
            if (!Sampled(fx, fy))
                k[fy * kSide + fx] = 0;
    return DFT(k, true);
}

// The extrapolation written directly: keep the image in the lipid ring, go to k-space,
// put the measured frequencies back, repeat.
Image Extrapolated(const Image& measured, int iterations)
{
    const Image k0 = DFT(measured, false);
    Image k = k0;
    for (int it = 0; it < iterations; ++it) {
        Image image = DFT(k, true);
        for (int c = 0; c < kCells; ++c)
            if (!InLipidRing(c % kSide, c / kSide))
                image[c] = 0;
        k = DFT(image, false);
        for (int f = 0; f < kCells; ++f)
            if (Sampled(f % kSide, f / kSide))
                k[f] = k0[f];
    }
    return DFT(k, true);
}

double BrainNorm(const Image& image)
{
    double sum = 0;
    for (int c = 0; c < kCells; ++c)
        if (InBrain(c % kSide, c / kSide))
            sum += std::norm(image[c]);
    return std::sqrt(sum);
}

// A frequency-domain 16 x 16 set in voxel space whose spectra hold the two images at
// their points and nothing elsewhere; the lipid ring is selected and the centred
// k-space mask marks the sampled frequencies.
void MakeLipidSet(TCSISet& set, const Image& lipid, const Image& metabolite)
{
    set.m_nSliceAxis = 2;
    set.m_bKSpace = 0;
    set.m_bFrequencyDomain = 1;
    set.m_nSpectralWidth = 1000;
    FillGrid(set, kSide, kSide, 1, 32, [&](int x, int y, int, int i) {
        const std::complex<double> v = i == kLipidPoint         ? lipid[y * kSide + x]
                                       : i == kMetabolitePoint ? metabolite[y * kSide + x]
                                                               : 0.0;
        return TComplex(static_cast<float>(v.real()), static_cast<float>(v.imag()));
    });
    set.m_kSpaceMask.assign(kCells, 0);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            // In the set's k-space grid index n/2 is frequency 0.
            set.m_kSpaceMask[y * kSide + x] = Sampled(x - kSide / 2 + kSide, y - kSide / 2 + kSide) ? 1 : 0;
            set.GetVoxel(x, y, 0)->m_bSelected = InLipidRing(x, y) ? 1 : 0;
        }
}

Image PointImage(const TCSISet& set, int point)
{
    Image image(kCells);
    for (int c = 0; c < kCells; ++c)
        image[c] = {set.GetVoxel(c)->GetReal(point), set.GetVoxel(c)->GetImag(point)};
    return image;
}

TEST(TCSISetAcrossVoxelsTest, LipidSuppressionTakesTheLipidRingingOutOfTheBrain)
{
    test::TProcessorCountGuard guard;
    Image lipidTruth(kCells), metaboliteTruth(kCells);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            lipidTruth[y * kSide + x] = InLipidRing(x, y) ? 100.0 : 0.0;
            metaboliteTruth[y * kSide + x] = InBrain(x, y) ? 1.0 : 0.0;
        }
    const Image lipid = Measured(lipidTruth);
    const Image metabolite = Measured(metaboliteTruth);
    const Image lipidExpected = Extrapolated(lipid, kIterations);
    const Image metaboliteExpected = Extrapolated(metabolite, kIterations);

    // The factor by which this geometry takes the lipid out of the brain.
    const double factor = BrainNorm(lipidExpected) / BrainNorm(lipid);
    ASSERT_LT(factor, 0.5);
    std::vector<TComplex> first;
    for (int processors : {1, 3}) {
        SCOPED_TRACE("processors " + std::to_string(processors));
        SetProcessorCount(processors);
        TCSISet set;
        MakeLipidSet(set, lipid, metabolite);
        ASSERT_TRUE(set.SuppressLipids(kIterations));
        EXPECT_EQ(set.m_bKSpace, 0);
        EXPECT_EQ(set.m_bFrequencyDomain, 1);

        const Image lipidAfter = PointImage(set, kLipidPoint);
        const Image metaboliteAfter = PointImage(set, kMetabolitePoint);
        EXPECT_NEAR(BrainNorm(lipidAfter) / BrainNorm(lipid), factor, 0.01 * factor);
        double lipidError = 0, metaboliteError = 0, largest = 0;
        for (int c = 0; c < kCells; ++c) {
            lipidError = std::max(lipidError, std::abs(lipidAfter[c] - lipidExpected[c]));
            metaboliteError = std::max(metaboliteError, std::abs(metaboliteAfter[c] - metaboliteExpected[c]));
            largest = std::max(largest, std::abs(lipid[c]));
        }
        EXPECT_LT(lipidError, 1e-4 * largest);
        EXPECT_LT(metaboliteError, 1e-4 * largest);

        Image metaboliteChange(kCells);
        for (int c = 0; c < kCells; ++c)
            metaboliteChange[c] = metaboliteAfter[c] - metabolite[c];
        EXPECT_LT(BrainNorm(metaboliteChange), 0.05 * BrainNorm(metabolite));

        if (first.empty())
            first = AllSamples(set);
        else
            EXPECT_TRUE(SameBits(AllSamples(set), first));
    }
}

TEST(TCSISetAcrossVoxelsTest, LipidSuppressionThatChangesNothing)
{
    Image lipid(kCells, 0.0), metabolite(kCells, 0.0);
    TNoise noise(11);
    for (int c = 0; c < kCells; ++c) {
        lipid[c] = 50.0 * noise.Complex();
        metabolite[c] = noise.Complex();
    }
    struct Case {
        const char* name;
        std::function<void(TCSISet&)> prepare;
        int iterations;
        bool result;
        bool sameBits;  // false: equal within the rounding of the transforms
    };
    const std::vector<Case> cases = {
        {"no mask", [](TCSISet& s) { s.m_kSpaceMask.clear(); }, 5, false, true},
        {"mask of another grid", [](TCSISet& s) { s.m_kSpaceMask.resize(kCells - 1); }, 5, false, true},
        {"every point sampled", [](TCSISet& s) { s.m_kSpaceMask.assign(kCells, 1); }, 5, true, false},
        {"no iteration", [](TCSISet&) {}, 0, true, false},
        {"negative iteration count", [](TCSISet&) {}, -3, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCSISet set;
        MakeLipidSet(set, lipid, metabolite);
        c.prepare(set);
        const std::vector<TComplex> before = AllSamples(set);
        EXPECT_EQ(set.SuppressLipids(c.iterations), c.result);
        if (c.sameBits)
            EXPECT_TRUE(SameBits(AllSamples(set), before));
        else
            EXPECT_LT(RelativeDifference(AllSamples(set), before), 1e-5);
    }
}

TEST(TCSISetAcrossVoxelsTest, LipidSuppressionEndsInTheFrequencyDomainOrLeavesTheSetAlone)
{
    // A time-domain set comes back as its spectra with the halves swapped.
    TNoise noise(5);
    TCSISet timeSet;
    FillGrid(timeSet, 4, 4, 1, 16, [&](int, int, int, int) {
        const auto v = noise.Complex();
        return TComplex(static_cast<float>(v.real()), static_cast<float>(v.imag()));
    });
    timeSet.m_nSliceAxis = 2;
    timeSet.m_bKSpace = 0;
    timeSet.m_bFrequencyDomain = 0;
    timeSet.m_kSpaceMask.assign(16, 1);
    TCSISet reference;
    reference.CopyHeader(timeSet);
    FillSet(reference, 4, 4, 1, 16, [&](int v, int i) { return timeSet.GetVoxel(v)->Data()[i]; });
    ASSERT_TRUE(reference.ToFrequencyDomain());
    reference.FFTShiftSpectra();
    ASSERT_TRUE(timeSet.SuppressLipids(2));
    EXPECT_EQ(timeSet.m_bFrequencyDomain, 1);
    EXPECT_LT(RelativeDifference(AllSamples(timeSet), AllSamples(reference)), 1e-5);

    // An axis of 41 voxels cannot be transformed: reported, nothing changed.
    test::TScriptedReport report;
    TCSISet odd;
    FillGrid(odd, 41, 2, 1, 8, [](int x, int y, int, int i) { return TComplex(float(x + i), float(y)); });
    odd.m_nSliceAxis = 2;
    odd.m_bKSpace = 0;
    odd.m_bFrequencyDomain = 1;
    odd.m_kSpaceMask.assign(82, 1);
    const std::vector<TComplex> before = AllSamples(odd);
    EXPECT_FALSE(odd.SuppressLipids(3));
    EXPECT_TRUE(SameBits(AllSamples(odd), before));
    EXPECT_EQ(odd.m_bKSpace, 0);
    EXPECT_EQ(odd.m_bFrequencyDomain, 1);
    EXPECT_EQ(report.Count(), 1u);
}

// --- signal-space projection ----------------------------------------------------------------

TEST(TCSISetAcrossVoxelsTest, SignalSpaceProjectionRemovesARankTwoNuisance)
{
    constexpr int nx = 4, ny = 4, nz = 2, V = nx * ny * nz, N = 64;
    constexpr double sigma = 0.01;
    TNoise noise(21);
    std::vector<std::complex<double>> u[2], s[2];
    for (int r = 0; r < 2; ++r) {
        for (int v = 0; v < V; ++v)
            u[r].push_back(noise.Complex());
        for (int j = 0; j < N; ++j)
            s[r].push_back(100.0 * noise.Complex());
    }
    std::vector<std::complex<double>> data(static_cast<size_t>(V) * N);  // [v * N + j]
    for (int v = 0; v < V; ++v)
        for (int j = 0; j < N; ++j)
            data[v * N + j] = u[0][v] * s[0][j] + u[1][v] * s[1][j] + sigma * noise.Complex();

    TCSISet set;
    FillSet(set, nx, ny, nz, N, [&](int v, int j) {
        return TComplex(static_cast<float>(data[v * N + j].real()), static_cast<float>(data[v * N + j].imag()));
    });
    ASSERT_TRUE(set.SSPFilter(2, 10, 41));

    // An orthonormal basis q of the nuisance patterns (Gram-Schmidt).
    std::vector<std::complex<double>> q[2] = {u[0], u[1]};
    const auto dot = [&](const std::vector<std::complex<double>>& a, const std::vector<std::complex<double>>& b) {
        std::complex<double> sum = 0;
        for (int v = 0; v < V; ++v)
            sum += std::conj(a[v]) * b[v];
        return sum;
    };
    for (int r = 0; r < 2; ++r) {
        for (int p = 0; p < r; ++p) {
            const auto c = dot(q[p], q[r]);
            for (int v = 0; v < V; ++v)
                q[r][v] -= c * q[p][v];
        }
        const double norm = std::sqrt(dot(q[r], q[r]).real());
        for (int v = 0; v < V; ++v)
            q[r][v] /= norm;
    }
    // At every point, inside the window or not, the result has no more in the nuisance
    // patterns than the noise, and outside them it is what the data had there.
    double inPatterns = 0, offExpected = 0;
    for (int j = 0; j < N; ++j) {
        std::vector<std::complex<double>> result(V), column(V);
        for (int v = 0; v < V; ++v) {
            result[v] = {set.GetVoxel(v)->GetReal(j), set.GetVoxel(v)->GetImag(j)};
            column[v] = data[v * N + j];
        }
        const std::complex<double> c[2] = {dot(q[0], column), dot(q[1], column)};
        for (int r = 0; r < 2; ++r)
            inPatterns = std::max(inPatterns, std::abs(dot(q[r], result)));
        for (int v = 0; v < V; ++v)
            offExpected = std::max(offExpected, std::abs(result[v] - (column[v] - c[0] * q[0][v] - c[1] * q[1][v])));
    }
    EXPECT_LT(inPatterns, 0.1 * sigma);
    EXPECT_LT(offExpected, 2 * sigma);
}

TEST(TCSISetAcrossVoxelsTest, SignalSpaceProjectionRefusalsChangeNothing)
{
    // 8 voxels, 16 points.
    struct Case {
        const char* name;
        int n, first, last;
        bool result;
    };
    const std::vector<Case> cases = {
        {"no component", 0, 0, 15, true},
        {"more components than window points", 4, 5, 7, false},
        {"more components than voxels", 9, 0, 15, false},
        {"negative count", -1, 0, 15, false},
        {"reversed window", 1, 9, 3, false},
        {"window past the end", 1, 3, 16, false},
        {"window before the start", 1, -1, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCSISet set;
        TNoise noise(9);
        FillSet(set, 2, 2, 2, 16, [&](int, int) {
            return TComplex(static_cast<float>(noise.Next()), static_cast<float>(noise.Next()));
        });
        const std::vector<TComplex> before = AllSamples(set);
        EXPECT_EQ(set.SSPFilter(c.n, c.first, c.last), c.result);
        EXPECT_TRUE(SameBits(AllSamples(set), before));
    }
}

}  // namespace
