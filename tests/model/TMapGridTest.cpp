// Grid operations of a metabolite map: half swaps, per-axis FFTs against a direct DFT,
// and resampling through the spatial frequencies.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <utility>
#include <vector>

#include "model/TMap.h"
#include "model/math/TMixedRadixFFT.h"
#include "platform/Globals.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

// A map of the given grid holding f(x, y, z), x fastest.
template <class F>
void FillMap(TMap& map, int nx, int ny, int nz, F f)
{
    const int dim[3] = {nx, ny, nz};
    std::vector<TComplex> values;
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                values.push_back(f(x, y, z));
    ASSERT_TRUE(map.SetGrid(dim, values));
}

std::vector<TComplex> ValuesOf(const TMap& map)
{
    return std::vector<TComplex>(map.Values(), map.Values() + map.ValueCount());
}

TComplex Distinct(int x, int y, int z)
{
    return TComplex(static_cast<float>(1 + x + 10 * y + 100 * z), static_cast<float>(-x * y + z));
}

void ExpectNear(const std::vector<TComplex>& a, const std::vector<TComplex>& b, double tolerance)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].real(), b[i].real(), tolerance) << i;
        EXPECT_NEAR(a[i].imag(), b[i].imag(), tolerance) << i;
    }
}

struct TGrid {
    int nx, ny, nz;
};

}  // namespace

TEST(MapGrid, HalfSwapPutsElementZeroInTheMiddleAndTheDirectionsUndoEachOther)
{
    for (const TGrid g : {TGrid{5, 3, 1}, TGrid{4, 7, 3}, TGrid{1, 1, 9}, TGrid{6, 2, 5}}) {
        const int dim[3] = {g.nx, g.ny, g.nz};
        for (int axis = 0; axis < 3; ++axis) {
            TMap map;
            FillMap(map, g.nx, g.ny, g.nz, Distinct);
            const std::vector<TComplex> before = ValuesOf(map);
            map.ShiftGridAxis(axis, 1);
            // Element 0 of every line lands at index floor(n/2).
            const int n = dim[axis];
            int at[3] = {0, 0, 0};
            at[axis] = n / 2;
            EXPECT_EQ(map.Values()[map.ValueIndex(at[0], at[1], at[2])], Distinct(0, 0, 0))
                << g.nx << "x" << g.ny << "x" << g.nz << " axis " << axis;
            map.ShiftGridAxis(axis, 0);
            EXPECT_EQ(ValuesOf(map), before) << g.nx << "x" << g.ny << "x" << g.nz << " axis " << axis;
        }
    }
    // Any other direction leaves an odd line alone and swaps the halves of an even one.
    TMap odd, even;
    FillMap(odd, 5, 1, 1, Distinct);
    FillMap(even, 4, 1, 1, Distinct);
    odd.ShiftGridAxis(0, 7);
    even.ShiftGridAxis(0, 7);
    EXPECT_EQ(odd.Values()[0], Distinct(0, 0, 0));
    EXPECT_EQ(even.Values()[0], Distinct(2, 0, 0));
}

TEST(MapGrid, AxisTransformsMatchADirectDFTAndRoundTripOnOddSizes)
{
    for (const TGrid g : {TGrid{5, 3, 7}, TGrid{9, 1, 3}, TGrid{6, 5, 2}}) {
        const int dim[3] = {g.nx, g.ny, g.nz};
        for (int axis = 0; axis < 3; ++axis) {
            TMap map;
            FillMap(map, g.nx, g.ny, g.nz, Distinct);
            const std::vector<TComplex> before = ValuesOf(map);
            ASSERT_TRUE(map.ForwardFFTAxis(axis));
            // X[k] = sum_j x[j] exp(-2 pi i jk/n), unscaled, along the axis.
            const int n = dim[axis];
            std::vector<TComplex> expected(before.size());
            for (int z = 0; z < g.nz; ++z)
                for (int y = 0; y < g.ny; ++y)
                    for (int x = 0; x < g.nx; ++x) {
                        int at[3] = {x, y, z};
                        const int k = at[axis];
                        std::complex<double> sum = 0;
                        for (int j = 0; j < n; ++j) {
                            at[axis] = j;
                            const TComplex v = before[map.ValueIndex(at[0], at[1], at[2])];
                            sum += std::complex<double>(v.real(), v.imag()) *
                                   std::polar(1.0, -2.0 * std::numbers::pi * j * k / n);
                        }
                        expected[map.ValueIndex(x, y, z)] =
                            TComplex(static_cast<float>(sum.real()), static_cast<float>(sum.imag()));
                    }
            ExpectNear(ValuesOf(map), expected, 1e-3);
            ASSERT_TRUE(map.InverseFFTAxis(axis));
            ExpectNear(ValuesOf(map), before, 1e-4);
        }
    }
    TMap prime;
    FillMap(prime, 41, 1, 1, Distinct);  // 41 is a prime beyond the FFT's factors
    EXPECT_FALSE(prime.ForwardFFTAxis(0));
    EXPECT_EQ(prime.Values()[3], Distinct(3, 0, 0));
}

TEST(MapGrid, EnlargingKeepsAConstantMapAndLeavesAnAxisOfLengthOneAlone)
{
    // The level is kept: the values are scaled by the ratio of the voxel counts (4 here)
    // against the inverse transform's division by the new count.
    for (const TGrid from : {TGrid{16, 16, 1}, TGrid{5, 3, 1}, TGrid{4, 6, 2}}) {
        TMap map;
        FillMap(map, from.nx, from.ny, from.nz, [](int, int, int) { return TComplex(3.0f, -1.0f); });
        map.EnlargeTo(from.nx * 2, from.ny * 2, from.nz);
        ASSERT_EQ(map.ValueCount(), static_cast<size_t>(4 * from.nx * from.ny * from.nz));
        EXPECT_EQ(map.size[0], from.nx * 2);
        EXPECT_EQ(map.size[2], from.nz);
        for (size_t i = 0; i < map.ValueCount(); ++i) {
            EXPECT_NEAR(map.Values()[i].real(), 3.0f, 1e-4) << from.nx << " " << i;
            EXPECT_NEAR(map.Values()[i].imag(), -1.0f, 1e-4) << from.nx << " " << i;
        }
        EXPECT_NEAR(map.maxReal, 3.0f, 1e-4);
    }
}

TEST(MapGrid, EnlargingInterpolatesABandLimitedMap)
{
    // A cosine of one cycle over the grid is band limited; on the finer grid over the same
    // extent it is the same cosine at the new voxel centres. Even grids have their centre
    // between two voxels, which the half-voxel phase accounts for.
    const auto wave = [](double position, int count) {
        return std::cos(2.0 * std::numbers::pi * position / count);
    };
    for (const auto& [n, m] : {std::pair{5, 15}, std::pair{4, 8}, std::pair{6, 9}, std::pair{3, 4}}) {
        TMap map;
        FillMap(map, n, 1, 1, [&](int x, int, int) { return TComplex(static_cast<float>(wave(x, n)), 0.0f); });
        map.EnlargeTo(m, 1, 1);
        ASSERT_EQ(map.ValueCount(), static_cast<size_t>(m));
        // Voxel i of the new grid has its centre (i + 0.5 - m/2) new voxels from the grid's
        // centre: old index (i + 0.5 - m/2) * n/m - 0.5 + n/2.
        for (int i = 0; i < m; ++i) {
            const double old = (i + 0.5 - m / 2.0) * n / m - 0.5 + n / 2.0;
            EXPECT_NEAR(map.Values()[i].real(), wave(old, n), 1e-4) << n << " to " << m << " at " << i;
            EXPECT_NEAR(map.Values()[i].imag(), 0.0, 1e-4) << n << " to " << m << " at " << i;
        }
    }
}

TEST(MapGrid, ShrinkingAnEnlargedMapGivesItBack)
{
    // Every pairing of odd and even lengths, both ways.
    const std::pair<TGrid, TGrid> cases[] = {
        {{5, 3, 1}, {15, 6, 1}}, {{3, 5, 7}, {9, 10, 7}}, {{8, 4, 1}, {16, 9, 1}}, {{6, 6, 2}, {9, 8, 3}}};
    for (const auto& [from, to] : cases) {
        TMap map;
        FillMap(map, from.nx, from.ny, from.nz, Distinct);
        const std::vector<TComplex> before = ValuesOf(map);
        map.EnlargeTo(to.nx, to.ny, to.nz);
        ASSERT_EQ(map.size[1], to.ny);
        map.ShrinkTo(from.nx, from.ny, from.nz);
        EXPECT_EQ(map.size[0], from.nx);
        ExpectNear(ValuesOf(map), before, 2e-3);
    }
}

TEST(MapGrid, RefusedResamplingChangesNothing)
{
    ResetGlobals();
    struct Case {
        int nx, ny, nz;
        bool enlarge;
        const char* message;  // null: silently nothing
    };
    const Case cases[] = {
        {6, 4, 2, true, nullptr},  // the same size
        {6, 4, 2, false, nullptr},
        {8, 3, 2, true, "New size must be larger than original size."},
        {3, 8, 2, false, "New size must be smaller than original size."},
        {3, 0, 2, false, "The new map size is invalid."},
        {1 << 13, 1 << 12, 2, true, "The new map size is invalid."},
        {41, 4, 2, true, TMixedRadixFFT::kPrimeFactorTooLarge},
    };
    for (const Case& c : cases) {
        TMap map;
        FillMap(map, 6, 4, 2, Distinct);
        map.SetState(TMap::kSaved);
        const std::vector<TComplex> before = ValuesOf(map);
        test::TScriptedReport report;
        if (c.enlarge)
            map.EnlargeTo(c.nx, c.ny, c.nz);
        else
            map.ShrinkTo(c.nx, c.ny, c.nz);
        EXPECT_EQ(ValuesOf(map), before) << c.nx << " " << c.ny;
        EXPECT_EQ(map.size[0], 6);
        EXPECT_EQ(map.GetState(), TMap::kSaved);
        if (c.message)
            EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message});
        else
            EXPECT_EQ(report.Count(), 0u);
    }
    // A refused resampling keeps a saved map saved; a done one marks it changed.
    TMap saved;
    FillMap(saved, 4, 4, 1, Distinct);
    saved.SetState(TMap::kSaved);
    saved.EnlargeTo(8, 8, 1);
    EXPECT_EQ(saved.GetState(), TMap::kChanged);
    // A batch run is not interrupted by the size messages.
    g_bBatchMode = true;
    test::TScriptedReport report;
    TMap map;
    FillMap(map, 6, 4, 2, Distinct);
    map.EnlargeTo(5, 5, 5);
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_TRUE(g_batchLog.empty());
    ResetGlobals();
}
