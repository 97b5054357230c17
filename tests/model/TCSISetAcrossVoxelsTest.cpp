// The kernels across voxels: the alignments of the selected spectra, the lipid
// suppression against the extrapolation written directly with plain DFTs, and the
// signal-space projection against a known nuisance subspace.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"

using namespace vx;

namespace {

using test::AllSamples;
using test::FillGrid;
using test::FillSet;

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
        // 100 and 103 both go to 101, their mean in integer division.
        {"initial alignment", {1, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(90, 110); }, true, {-1, 2, 0}},
        {"window past the end", {1, 1, 0}, [](TCSISet& s) { return s.AlignPeaks(90, N); }, false, {0, 0, 0}},
        {"nothing selected", {0, 0, 0}, [](TCSISet& s) { return s.AlignPeaks(90, 110); }, false, {0, 0, 0}},
        {"manual alignment", {1, 0, 1}, [](TCSISet& s) { return s.ShiftSelectedSpectra(5, 2); }, true, {3, 0, 3}},
        // A distance beyond the points wraps around.
        {"manual alignment by more than N", {0, 1, 0}, [](TCSISet& s) { return s.ShiftSelectedSpectra(N + 2, 0); },
         true, {0, N + 2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCSISet set;
        TNoise noise(3);
        FillSet(set, 3, 1, 1, N, [&](int v, int i) {
            return TComplex(static_cast<float>((i == peaks[v] ? 10 : 0) + noise.Next()), 0.0f);
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

// --- lipid suppression --------------------------------------------------------------------

constexpr int kSide = 16;
constexpr int kCells = kSide * kSide;
constexpr int kLipidPoint = 8;
constexpr int kMetabolitePoint = 20;
constexpr int kIterations = 10;

using Image = std::vector<std::complex<double>>;  // kSide x kSide, x fastest

// A ring of lipid around the brain, both centred on the grid.
bool InLipidRing(int x, int y) { return std::abs(std::hypot(x - 7.5, y - 7.5) - 6.5) <= 1.0; }
bool InBrain(int x, int y) { return std::hypot(x - 7.5, y - 7.5) <= 4.0; }
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
    // On several workers, each taking a block of time points.
    SetProcessorCount(3);
    TCSISet set;
    MakeLipidSet(set, lipid, metabolite);
    ASSERT_TRUE(set.SuppressLipids(kIterations));
    EXPECT_EQ(set.m_bKSpace, 0);
    EXPECT_EQ(set.m_bFrequencyDomain, 1);
    const Image lipidAfter = PointImage(set, kLipidPoint);
    const Image metaboliteAfter = PointImage(set, kMetabolitePoint);
    EXPECT_NEAR(BrainNorm(lipidAfter) / BrainNorm(lipid), factor, 0.01 * factor);
    Image metaboliteChange(kCells);
    for (int c = 0; c < kCells; ++c) {
        // Every voxel as the direct computation has it (the lipid peaks near 100).
        EXPECT_NEAR(std::abs(lipidAfter[c] - lipidExpected[c]), 0, 0.01);
        EXPECT_NEAR(std::abs(metaboliteAfter[c] - metaboliteExpected[c]), 0, 0.01);
        metaboliteChange[c] = metaboliteAfter[c] - metabolite[c];
    }
    EXPECT_LT(BrainNorm(metaboliteChange), 0.05 * BrainNorm(metabolite));
}

TEST(TCSISetAcrossVoxelsTest, LipidSuppressionWithoutUnsampledPointsOrIterationsChangesNothing)
{
    Image lipid(kCells), metabolite(kCells);
    TNoise noise(11);
    for (int c = 0; c < kCells; ++c)
        lipid[c] = 50.0 * noise.Complex();
    // {mask: 0 none, 1 the sampled centre, 2 all points sampled, 3 too short; iterations}
    for (const auto& [mask, iterations] : {std::pair(0, 5), std::pair(1, 0), std::pair(2, 5), std::pair(3, 5)}) {
        SCOPED_TRACE(testing::Message() << mask << ", " << iterations);
        TCSISet set;
        MakeLipidSet(set, lipid, metabolite);
        if (mask != 1)
            set.m_kSpaceMask.assign(mask == 0 ? 0 : mask == 2 ? kCells : kCells - 1, 1);
        const std::vector<TComplex> before = AllSamples(set);
        const bool refused = mask == 0 || mask == 3;
        EXPECT_EQ(set.SuppressLipids(iterations), !refused);
        const std::vector<TComplex> after = AllSamples(set);
        if (refused) {
            EXPECT_EQ(after, before);
        }
        for (size_t i = 0; i < after.size(); ++i)
            ASSERT_NEAR(std::abs(after[i] - before[i]), 0, 1e-4) << i;  // samples up to 70
    }
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
            q[r].push_back(v / (nx * ny) == r ? noise.Complex() : 0.0);
            norm += std::norm(q[r][v]);
        }
        for (auto& value : q[r])
            value /= std::sqrt(norm);
        for (int j = 0; j < N; ++j)
            course[r].push_back(100.0 * noise.Complex());
    }
    std::vector<std::complex<double>> data(V * N);  // [v * N + j]
    for (int v = 0; v < V; ++v)
        for (int j = 0; j < N; ++j)
            data[v * N + j] = q[0][v] * course[0][j] + q[1][v] * course[1][j] + sigma * noise.Complex();

    TCSISet set;
    FillSet(set, nx, ny, nz, N, [&](int v, int j) { return TComplex(data[v * N + j]); });
    ASSERT_TRUE(set.SSPFilter(2, 10, 41));

    // At every point, inside the window or not, the result holds no more of the
    // patterns than the noise, and apart from them it is what the data were.
    double inPatterns = 0, offExpected = 0;
    for (int j = 0; j < N; ++j) {
        std::complex<double> part[2][2] = {};  // [pattern][data, result]
        for (int r = 0; r < 2; ++r)
            for (int v = 0; v < V; ++v) {
                part[r][0] += std::conj(q[r][v]) * data[v * N + j];
                part[r][1] += std::conj(q[r][v]) * std::complex<double>(set.GetVoxel(v)->Data()[j]);
            }
        inPatterns = std::max({inPatterns, std::abs(part[0][1]), std::abs(part[1][1])});
        for (int v = 0; v < V; ++v) {
            const auto expected = data[v * N + j] - part[0][0] * q[0][v] - part[1][0] * q[1][v];
            offExpected = std::max(offExpected, std::abs(std::complex<double>(set.GetVoxel(v)->Data()[j]) - expected));
        }
    }
    EXPECT_LT(inPatterns, 0.1 * sigma);
    EXPECT_LT(offExpected, 2 * sigma);
}

TEST(TCSISetAcrossVoxelsTest, SignalSpaceProjectionRefusalsChangeNothing)
{
    // 8 voxels of 16 points: {n, first, last, result}.
    const int cases[][4] = {
        {0, 0, 15, true},    // no component
        {4, 5, 7, false},    // more components than window points
        {9, 0, 15, false},   // more components than voxels
        {-1, 0, 15, false},  // negative count
        {1, 9, 3, false},    // reversed window
        {1, 3, 16, false},   // past the end
        {1, -1, 3, false},   // before the start
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << ", " << c[1] << ".." << c[2]);
        TCSISet set;
        TNoise noise(9);
        FillSet(set, 2, 2, 2, 16, [&](int, int) { return TComplex(noise.Complex()); });
        const std::vector<TComplex> before = AllSamples(set);
        EXPECT_EQ(set.SSPFilter(c[0], c[1], c[2]), c[3] != 0);
        EXPECT_EQ(AllSamples(set), before);
    }
}

}  // namespace
