// The kernels across voxels: the alignments of the selected spectra, the lipid
// suppression against the extrapolation written directly with plain DFTs, the
// signal-space projection against a known nuisance subspace, and the calls that must
// leave the samples as they are.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "model/TCSISet.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"

using namespace vx;

namespace {

using test::AllSamples;
using test::FillGrid;
using test::FillSet;

// Complex values uniform in [-1, 1) in each part, from a fixed seed.
struct TNoise {
    explicit TNoise(unsigned seed) : engine(seed) {}
    std::complex<double> operator()() { return {uniform(engine), uniform(engine)}; }
    std::mt19937 engine;
    std::uniform_real_distribution<double> uniform{-1.0, 1.0};
};

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
        // 100 and 103 both go to 101, their mean in integer division.
        {"initial alignment", {1, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(90, 110); }, true, {-1, 2, 0}},
        {"window past the end", {1, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(90, N); }, false, {0, 0, 0}},
        {"nothing selected", {0, 0, 0}, [](TCSISet& s) { return s.AlignPeaks(90, 110); }, false, {0, 0, 0}},
        {"manual alignment", {1, 0, 1}, [](TCSISet& s) { return s.ShiftSelectedSpectra(5, 2); }, true, {3, 0, 3}},
        {"manual alignment onto itself", {1, 1, 1}, [](TCSISet& s) { return s.ShiftSelectedSpectra(4, 4); }, true,
         {0, 0, 0}},
        {"manual alignment by more than N", {0, 1, 0}, [](TCSISet& s) { return s.ShiftSelectedSpectra(N + 2, 0); },
         true, {0, N + 2, 0}},
        {"manual alignment, nothing selected", {0, 0, 0}, [](TCSISet& s) { return s.ShiftSelectedSpectra(5, 2); },
         false, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCSISet set;
        TNoise noise(3);
        FillSet(set, 3, 1, 1, N, [&](int v, int i) {
            return TComplex(static_cast<float>((i == peaks[v] ? 10 : 0) + noise().real()), 0.0f);
        });
        for (int v = 0; v < 3; ++v)
            set.GetVoxel(v)->m_bSelected = c.selected[v];
        const std::vector<TComplex> before = AllSamples(set);
        EXPECT_EQ(c.run(set), c.result);
        const std::vector<TComplex> after = AllSamples(set);
        for (int v = 0; v < 3; ++v)
            for (int i = 0; i < N; ++i)
                ASSERT_EQ(after[v * N + i], before[v * N + ((i + c.shifts[v]) % N + N) % N]) << v << ", " << i;
    }
}

// --- lipid suppression on a 16 x 16 plane -----------------------------------------------------

constexpr int kSide = 16;
constexpr int kCells = kSide * kSide;
constexpr int kLipidPoint = 8;
constexpr int kMetabolitePoint = 20;

using Image = std::vector<std::complex<double>>;  // x fastest

// A ring of lipid around the brain, both centred on the grid.
bool InLipidRing(int c) { return std::abs(std::hypot(c % kSide - 7.5, c / kSide - 7.5) - 6.5) <= 1.0; }
bool InBrain(int c) { return std::hypot(c % kSide - 7.5, c / kSide - 7.5) <= 4.0; }
// Spatial frequencies of up to 3 cycles across the grid on both axes are sampled.
bool Sampled(int f)
{
    const auto centred = [](int k) { return std::abs(k < kSide / 2 ? k : k - kSide); };
    return centred(f % kSide) <= 3 && centred(f / kSide) <= 3;
}

// Plain two-dimensional DFT, sign -1 forward; the inverse is scaled by 1/n^2.
Image DFT(const Image& in, bool inverse)
{
    const double sign = inverse ? 1.0 : -1.0;
    Image out(kCells);
    for (int f = 0; f < kCells; ++f) {
        for (int c = 0; c < kCells; ++c)
            out[f] += in[c] * std::polar(1.0, sign * 2 * std::numbers::pi *
                                                  ((f % kSide) * (c % kSide) + (f / kSide) * (c / kSide)) / kSide);
        if (inverse)
            out[f] /= kCells;
    }
    return out;
}

// The extrapolation written directly: keep the image in the lipid ring, go to k-space,
// put the sampled frequencies back, repeat. With no iteration, what the scanner
// measures of the image.
Image Extrapolated(const Image& truth, int iterations)
{
    Image k0 = DFT(truth, false);
    for (int f = 0; f < kCells; ++f)
        if (!Sampled(f))
            k0[f] = 0;
    Image k = k0;
    for (int it = 0; it < iterations; ++it) {
        Image image = DFT(k, true);
        for (int c = 0; c < kCells; ++c)
            if (!InLipidRing(c))
                image[c] = 0;
        k = DFT(image, false);
        for (int f = 0; f < kCells; ++f)
            if (Sampled(f))
                k[f] = k0[f];
    }
    return DFT(k, true);
}

double BrainNorm(const Image& image)
{
    double sum = 0;
    for (int c = 0; c < kCells; ++c)
        sum += InBrain(c) ? std::norm(image[c]) : 0.0;
    return std::sqrt(sum);
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
    constexpr int iterations = 10;
    Image lipidTruth(kCells), metaboliteTruth(kCells);
    for (int c = 0; c < kCells; ++c) {
        lipidTruth[c] = InLipidRing(c) ? 100.0 : 0.0;
        metaboliteTruth[c] = InBrain(c) ? 1.0 : 0.0;
    }
    const Image lipid = Extrapolated(lipidTruth, 0), metabolite = Extrapolated(metaboliteTruth, 0);
    const Image lipidExpected = Extrapolated(lipidTruth, iterations);
    // The factor by which this geometry takes the lipid out of the brain.
    const double factor = BrainNorm(lipidExpected) / BrainNorm(lipid);
    ASSERT_LT(factor, 0.5);

    // A frequency-domain set in voxel space holding the two images at their points; the
    // lipid ring is selected and the centred k-space mask marks the sampled frequencies.
    test::TProcessorCountGuard guard;
    std::vector<TComplex> results[2];
    for (int processors : {1, 3}) {
        SetProcessorCount(processors);
        TCSISet set;
        set.m_nSliceAxis = 2;
        set.m_bKSpace = 0;
        set.m_bFrequencyDomain = 1;
        set.m_nSpectralWidth = 1000;
        FillGrid(set, kSide, kSide, 1, 32, [&](int x, int y, int, int i) {
            const int c = y * kSide + x;
            return TComplex(i == kLipidPoint ? lipid[c] : i == kMetabolitePoint ? metabolite[c] : 0.0);
        });
        set.m_kSpaceMask.assign(kCells, 0);
        for (int c = 0; c < kCells; ++c) {
            // In the set's k-space grid index n/2 is frequency 0.
            set.m_kSpaceMask[c] = Sampled((c % kSide + kSide / 2) % kSide + (c / kSide + kSide / 2) % kSide * kSide);
            set.GetVoxel(c)->m_bSelected = InLipidRing(c);
        }
        ASSERT_TRUE(set.SuppressLipids(iterations));
        EXPECT_EQ(set.m_bKSpace, 0);
        EXPECT_EQ(set.m_bFrequencyDomain, 1);
        results[processors > 1] = AllSamples(set);
        if (processors > 1)
            continue;
        const Image lipidAfter = PointImage(set, kLipidPoint), metaboliteAfter = PointImage(set, kMetabolitePoint);
        EXPECT_NEAR(BrainNorm(lipidAfter) / BrainNorm(lipid), factor, 0.01 * factor);
        Image metaboliteChange(kCells);
        for (int c = 0; c < kCells; ++c) {
            // Every voxel as the direct computation has it (the lipid peaks near 100).
            EXPECT_NEAR(std::abs(lipidAfter[c] - lipidExpected[c]), 0, 0.01);
            metaboliteChange[c] = metaboliteAfter[c] - metabolite[c];
        }
        EXPECT_LT(BrainNorm(metaboliteChange), 0.05 * BrainNorm(metabolite));
    }
    // Time points split among workers give what one worker gives.
    EXPECT_EQ(results[0], results[1]);
}

// --- signal-space projection ----------------------------------------------------------------

TEST(TCSISetAcrossVoxelsTest, SignalSpaceProjectionRemovesARankTwoNuisance)
{
    constexpr int nx = 4, ny = 4, nz = 2, V = nx * ny * nz, N = 64;
    constexpr double sigma = 0.01;
    TNoise noise(21);
    // Two orthonormal spatial patterns, one on each slice, with large time courses.
    std::vector<std::complex<double>> q[2], course[2];
    for (int r = 0; r < 2; ++r) {
        double norm = 0;
        for (int v = 0; v < V; ++v) {
            q[r].push_back(v / (nx * ny) == r ? noise() : 0.0);
            norm += std::norm(q[r][v]);
        }
        for (auto& value : q[r])
            value /= std::sqrt(norm);
        for (int j = 0; j < N; ++j)
            course[r].push_back(100.0 * noise());
    }
    std::vector<std::complex<double>> data(V * N);  // [v * N + j]
    for (int v = 0; v < V; ++v)
        for (int j = 0; j < N; ++j)
            data[v * N + j] = q[0][v] * course[0][j] + q[1][v] * course[1][j] + sigma * noise();

    TCSISet set;
    FillSet(set, nx, ny, nz, N, [&](int v, int j) { return TComplex(data[v * N + j]); });
    ASSERT_TRUE(set.SSPFilter(2, 10, 41));

    // At every point, inside the window or not, the result is the data without their
    // part in the two patterns, to within the noise.
    double largest = 0;
    for (int j = 0; j < N; ++j) {
        std::complex<double> part[2] = {};
        for (int r = 0; r < 2; ++r)
            for (int v = 0; v < V; ++v)
                part[r] += std::conj(q[r][v]) * data[v * N + j];
        for (int v = 0; v < V; ++v) {
            const auto expected = data[v * N + j] - part[0] * q[0][v] - part[1] * q[1][v];
            largest = std::max(largest, std::abs(std::complex<double>(set.GetVoxel(v)->Data()[j]) - expected));
        }
    }
    EXPECT_LT(largest, 2 * sigma);
}

// --- calls that leave the samples as they were ------------------------------------------------

TEST(TCSISetAcrossVoxelsTest, RefusalsAndNeutralCallsKeepTheSamples)
{
    using Run = std::function<bool(TCSISet&)>;
    // A refused call keeps every bit; an accepted one may only round.
    const std::vector<std::tuple<const char*, Run, bool>> cases = {
        {"lipids, no mask", [](TCSISet& s) { s.m_kSpaceMask.clear(); return s.SuppressLipids(5); }, false},
        {"lipids, no iteration", [](TCSISet& s) { return s.SuppressLipids(0); }, true},
        {"lipids, all sampled", [](TCSISet& s) { s.m_kSpaceMask.assign(8, 1); return s.SuppressLipids(5); }, true},
        {"no component", [](TCSISet& s) { return s.SSPFilter(0, 0, 15); }, true},
        {"more components than points", [](TCSISet& s) { return s.SSPFilter(4, 5, 7); }, false},
        {"more components than voxels", [](TCSISet& s) { return s.SSPFilter(9, 0, 15); }, false},
        {"reversed window", [](TCSISet& s) { return s.SSPFilter(1, 9, 3); }, false},
        {"window past the end", [](TCSISet& s) { return s.SSPFilter(1, 3, 16); }, false},
    };
    for (const auto& [name, run, result] : cases) {
        SCOPED_TRACE(name);
        // 4 x 2 voxels of 16 points, frequency domain, half of them selected and sampled.
        TCSISet set;
        set.m_nSliceAxis = 2;
        set.m_bKSpace = 0;
        set.m_bFrequencyDomain = 1;
        TNoise noise(9);
        FillSet(set, 4, 2, 1, 16, [&](int, int) { return TComplex(noise()); });
        set.m_kSpaceMask = {0, 1, 1, 0, 1, 0, 0, 1};
        for (int v = 0; v < 8; v += 2)
            set.GetVoxel(v)->m_bSelected = 1;
        const std::vector<TComplex> before = AllSamples(set);
        EXPECT_EQ(run(set), result);
        const std::vector<TComplex> after = AllSamples(set);
        if (!result) {
            EXPECT_EQ(after, before);
        }
        for (size_t i = 0; i < after.size(); ++i)
            ASSERT_NEAR(std::abs(after[i] - before[i]), 0, 1e-5) << i;
    }
}

}  // namespace
