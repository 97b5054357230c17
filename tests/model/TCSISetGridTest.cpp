#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "model/TCSISet.h"
#include "model/math/TPoint2D.h"
#include "model/TProject.h"
#include "platform/Workers.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"

namespace {

using cd = std::complex<double>;

// Sample i of voxel (x, y, z): distinct for every voxel and point.
TComplex Value(int x, int y, int z, int i)
{
    return TComplex(static_cast<float>(100 * z + 10 * y + x) + 0.25f * static_cast<float>(i),
                    static_cast<float>(std::sin(1.3 * x + 0.7 * y + 0.3 * z + i)));
}

void MakeGrid(TCSISet& set, int nx, int ny, int nz, int points)
{
    vx::test::FillGrid(set, nx, ny, nz, points, Value);
}

using vx::test::AllSamples;

void ExpectNear(const std::vector<TComplex>& a, const std::vector<TComplex>& b, double tol, const std::string& what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    double worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, static_cast<double>(std::abs(a[i] - b[i])));
    EXPECT_LT(worst, tol) << what;
}

TComplex At(const TCSISet& set, int x, int y, int z, int i)
{
    const TSpectrum* s = set.GetVoxel(x, y, z);
    return TComplex(s->GetReal(i), s->GetImag(i));
}

}  // namespace

TEST(CSISetGrid, ShiftGridAxisMovesByHalfAndTheDirectionsUndoEachOther)
{
    // Along x, n = 5: direction 1 gives new[i] = old[(i + 3) % 5], direction 0 old[(i + 2) % 5].
    for (int n : {4, 5}) {
        TCSISet set;
        MakeGrid(set, n, 2, 1, 2);
        set.ShiftGridAxis(0, 1);
        const int m1 = (n + 1) / 2;
        for (int x = 0; x < n; ++x)
            for (int y = 0; y < 2; ++y)
                EXPECT_EQ(At(set, x, y, 0, 0), Value((x + m1) % n, y, 0, 0)) << "n=" << n;
        // The spectra know where they now are.
        EXPECT_EQ(set.GetVoxel(1, 1, 0)->m_nX, 1);
        set.ShiftGridAxis(0, 0);
        for (int x = 0; x < n; ++x)
            EXPECT_EQ(At(set, x, 1, 0, 1), Value(x, 1, 0, 1)) << "n=" << n;
        set.ShiftGridAxis(0, 0);
        const int m0 = n / 2;
        for (int x = 0; x < n; ++x)
            EXPECT_EQ(At(set, x, 0, 0, 0), Value((x + m0) % n, 0, 0, 0)) << "n=" << n;
    }
}

TEST(CSISetGrid, SingleVoxelSetIsLeftAlone)
{
    TCSISet set;
    MakeGrid(set, 1, 1, 1, 8);
    const std::vector<TComplex> before = AllSamples(set);
    for (int axis = 0; axis < 3; ++axis) {
        set.ShiftGridAxis(axis, 1);
        set.AlternateSignAlongAxis(axis);
        EXPECT_TRUE(set.SpatialFFTAxis(axis));
        EXPECT_TRUE(set.InverseSpatialFFTAxis(axis));
    }
    set.m_bKSpace = 0;
    EXPECT_TRUE(set.ToKSpace());
    EXPECT_TRUE(set.ToVoxelSpace());
    EXPECT_EQ(AllSamples(set), before);
}

TEST(CSISetGrid, AxisTransformsMatchADirectSum)
{
    vx::test::TProcessorCountGuard guard;
    for (int workers : {1, 3}) {
        vx::SetProcessorCount(workers);
        for (int axis = 0; axis < 3; ++axis) {
            TCSISet set;
            MakeGrid(set, 6, 5, 3, 4);
            const int n = set.m_nDim[axis];
            TCSISet ref;
            MakeGrid(ref, 6, 5, 3, 4);
            ASSERT_TRUE(set.InverseFFTAxis(axis));
            // Inverse: K[k] = sum_j x[j] exp(+2 pi i jk / n), unscaled.
            for (int z = 0; z < 3; ++z)
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 6; ++x)
                        for (int p = 0; p < 4; ++p) {
                            int c[3] = {x, y, z};
                            const int k = c[axis];
                            cd sum = 0;
                            for (int j = 0; j < n; ++j) {
                                c[axis] = j;
                                sum += cd(At(ref, c[0], c[1], c[2], p)) *
                                       std::polar(1.0, 2 * std::numbers::pi * j * k / n);
                            }
                            const TComplex got = At(set, x, y, z, p);
                            EXPECT_NEAR(got.real(), sum.real(), 1e-3);
                            EXPECT_NEAR(got.imag(), sum.imag(), 1e-3);
                        }
            ASSERT_TRUE(set.ForwardFFTAxis(axis));
            ExpectNear(AllSamples(set), AllSamples(ref), 1e-3, "forward undoes inverse");
        }
    }
}

TEST(CSISetGrid, KSpaceRoundTripsOnOddEvenAndMultiSliceGrids)
{
    vx::test::TProcessorCountGuard guard;
    vx::SetProcessorCount(2);
    struct Case {
        int nx, ny, nz, sliceAxis, multiSlice;
    };
    for (const Case c : {Case{8, 8, 1, 2, 0}, Case{5, 7, 3, 2, 0}, Case{6, 5, 4, 1, 0}, Case{4, 6, 3, 2, 1},
                         Case{3, 4, 5, 0, 1}}) {
        TCSISet set;
        MakeGrid(set, c.nx, c.ny, c.nz, 6);
        set.m_nSliceAxis = c.sliceAxis;
        set.m_bMultiSlice = c.multiSlice;
        set.m_bKSpace = 0;
        const std::vector<TComplex> before = AllSamples(set);
        ASSERT_TRUE(set.ToKSpace());
        EXPECT_EQ(set.m_bKSpace, 1);
        EXPECT_TRUE(set.ToKSpace()) << "already there: nothing to do";
        ASSERT_TRUE(set.ToVoxelSpace());
        EXPECT_EQ(set.m_bKSpace, 0);
        ExpectNear(AllSamples(set), before, 1e-3,
                   "grid " + std::to_string(c.nx) + "x" + std::to_string(c.ny) + "x" + std::to_string(c.nz));
        for (size_t v = 0; v < set.VoxelCount(); ++v)
            EXPECT_EQ(set.VoxelIndex(set.GetVoxel(v)->m_nX, set.GetVoxel(v)->m_nY, set.GetVoxel(v)->m_nZ), v);
    }
}

TEST(CSISetGrid, MultiSliceSetsKeepTheirSlicesApart)
{
    TCSISet set;
    MakeGrid(set, 4, 4, 3, 2);
    set.m_nSliceAxis = 2;
    set.m_bMultiSlice = 1;
    set.m_bKSpace = 0;
    // Zero slice 1: it must stay zero, since no transform runs across slices.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            set.GetVoxel(x, y, 1)->AllocateZeroed(2);
    ASSERT_TRUE(set.ToKSpace());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(At(set, x, y, 1, 0), TComplex(0, 0));
}

TEST(CSISetGrid, PointSourceGivesAFlatKSpaceMagnitude)
{
    for (int n : {8, 7}) {
        TCSISet set;
        MakeGrid(set, n, n, 1, 3);
        for (size_t v = 0; v < set.VoxelCount(); ++v)
            set.GetVoxel(v)->AllocateZeroed(3);
        std::vector<TComplex> spike = {{2, 0}, {0, 1}, {1, 1}};
        set.GetVoxel(n / 2, n / 2, 0)->SetComplexData(spike.data());
        set.m_nSliceAxis = 2;
        set.m_bKSpace = 0;
        ASSERT_TRUE(set.ToKSpace());
        for (size_t v = 0; v < set.VoxelCount(); ++v) {
            EXPECT_NEAR(set.GetVoxel(v)->GetMagnitude(0), 2.0, 1e-4) << "n=" << n << " v=" << v;
            EXPECT_NEAR(set.GetVoxel(v)->GetMagnitude(2), std::sqrt(2.0), 1e-4);
        }
        // A centred source has no phase at all across k-space.
        EXPECT_NEAR(set.GetVoxel(1, 2, 0)->GetImag(0), 0.0, 1e-4);
    }
}

TEST(CSISetGrid, RefusedAxisLengthIsReportedOnceAndChangesNothing)
{
    vx::test::TScriptedReport report;
    TCSISet set;
    MakeGrid(set, 41, 2, 1, 2);
    set.m_nSliceAxis = 2;
    set.m_bKSpace = 0;
    const std::vector<TComplex> before = AllSamples(set);
    EXPECT_FALSE(set.ToKSpace());
    EXPECT_EQ(set.m_bKSpace, 0);
    EXPECT_EQ(AllSamples(set), before);
    EXPECT_EQ(report.Count(), 1u);
    EXPECT_FALSE(set.InverseSpatialFFTAxis(0));
    EXPECT_EQ(AllSamples(set), before);
}

TEST(CSISetGrid, KSpaceMask)
{
    TCSISet set;
    MakeGrid(set, 4, 4, 1, 4);
    ASSERT_TRUE(set.BuildKSpaceMask(false));
    EXPECT_EQ(set.m_kSpaceMask, std::vector<int32_t>(16, 1));

    // k-space data: only the lines with non-zero samples are marked.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            if (y % 2)
                set.GetVoxel(x, y, 0)->AllocateZeroed(4);
    set.GetVoxel(0, 0, 0)->AllocateZeroed(4);
    std::vector<TComplex> tiny(4, TComplex(0, 0));
    tiny[3] = TComplex(1e-5f, 0);  // exactly the threshold counts as sampled
    set.GetVoxel(1, 0, 0)->SetComplexData(tiny.data());
    set.m_bKSpace = 1;
    ASSERT_TRUE(set.BuildKSpaceMask(true));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(set.m_kSpaceMask[set.VoxelIndex(x, y, 0)], (y % 2 || (x == 0 && y == 0)) ? 0 : 1)
                << x << "," << y;
}

TEST(CSISetGrid, KSpaceMaskOfASetThatCannotReachKSpaceMarksEverything)
{
    vx::test::TScriptedReport report;
    TCSISet set;
    MakeGrid(set, 41, 1, 1, 2);
    set.m_bKSpace = 0;
    EXPECT_FALSE(set.BuildKSpaceMask(true));
    EXPECT_EQ(set.m_kSpaceMask, std::vector<int32_t>(41, 1));
    EXPECT_EQ(set.m_bKSpace, 0);
}

TEST(CSISetGrid, KSpaceMaskFromVoxelSpaceDataLeavesTheSetInVoxelSpace)
{
    TCSISet set;
    MakeGrid(set, 6, 4, 2, 5);
    set.m_nSliceAxis = 2;
    set.m_bKSpace = 0;
    const std::vector<TComplex> before = AllSamples(set);
    ASSERT_TRUE(set.BuildKSpaceMask(true));
    EXPECT_EQ(set.m_bKSpace, 0);
    ExpectNear(AllSamples(set), before, 1e-3, "samples after the mask");
    EXPECT_EQ(set.m_kSpaceMask.size(), 48u);
}

TEST(CSISetGrid, AlternateSignAndConjugate)
{
    TCSISet set;
    MakeGrid(set, 3, 4, 2, 2);
    set.AlternateSignAlongAxis(1);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(At(set, x, y, z, 1), Value(x, y, z, 1) * (y % 2 ? -1.0f : 1.0f));
    set.ConjugateAll();
    EXPECT_EQ(At(set, 2, 0, 1, 1), std::conj(Value(2, 0, 1, 1)));
}

TEST(CSISetGrid, SpatialPhaseRampUsesTheCentredIndex)
{
    // Axis x of 4 (even), y of 3 (odd, adds nothing), z of 2.
    TCSISet set;
    MakeGrid(set, 4, 3, 2, 1);
    set.ApplySpatialPhaseRamp(3);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                // Index 2 of 4 counts as -2: ceil(4/2) = 2 starts the negative half.
                const double cx = x < 2 ? x : x - 4;
                const double cz = z < 1 ? z : z - 2;
                const cd f = std::polar(1.0, -std::numbers::pi * 3 * (cx / 4 + cz / 2));
                const cd want = cd(Value(x, y, z, 0)) * f;
                EXPECT_NEAR(At(set, x, y, z, 0).real(), want.real(), 1e-4) << x << y << z;
                EXPECT_NEAR(At(set, x, y, z, 0).imag(), want.imag(), 1e-4);
            }

    TCSISet axisOnly;
    MakeGrid(axisOnly, 4, 3, 2, 1);
    axisOnly.ApplySpatialPhaseRampAxis(0, 1);  // in-plane axes y (odd) and z
    for (int z = 0; z < 2; ++z)
        for (int x = 0; x < 4; ++x) {
            const double cz = z < 1 ? z : z - 2;
            const cd want = cd(Value(x, 1, z, 0)) * std::polar(1.0, -std::numbers::pi * cz / 2);
            EXPECT_NEAR(At(axisOnly, x, 1, z, 0).real(), want.real(), 1e-4);
            EXPECT_NEAR(At(axisOnly, x, 1, z, 0).imag(), want.imag(), 1e-4);
        }
}

TEST(CSISetGrid, HalfVoxelShiftByDimensions)
{
    struct Case {
        int dims;
        bool useX, useY, useZ;
    };
    for (const Case c : {Case{2, true, true, false}, Case{3, true, true, true}, Case{0, false, false, false}}) {
        TCSISet set;
        MakeGrid(set, 4, 2, 6, 1);
        set.m_nSpatialDims = c.dims;
        set.m_nSliceAxis = 2;
        set.ApplyHalfVoxelShift();
        for (int z = 0; z < 6; ++z)
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 4; ++x) {
                    const double sum = (c.useX ? x / 4.0 : 0) + (c.useY ? y / 2.0 : 0) + (c.useZ ? z / 6.0 : 0);
                    const cd want = cd(Value(x, y, z, 0)) * std::polar(1.0, -std::numbers::pi * sum);
                    EXPECT_NEAR(At(set, x, y, z, 0).real(), want.real(), 1e-4) << "dims " << c.dims;
                    EXPECT_NEAR(At(set, x, y, z, 0).imag(), want.imag(), 1e-4);
                }
    }
}

TEST(CSISetGrid, TransposeAndFlipReorderVoxelsAndMask)
{
    TCSISet set;
    MakeGrid(set, 3, 2, 4, 1);
    set.BuildKSpaceMask(false);
    set.m_kSpaceMask[set.VoxelIndex(2, 1, 3)] = 0;
    set.TransposeInPlane(0);  // exchanges y and z
    EXPECT_EQ(set.m_nDim[0], 3);
    EXPECT_EQ(set.m_nDim[1], 4);
    EXPECT_EQ(set.m_nDim[2], 2);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(At(set, x, y, z, 0), Value(x, z, y, 0));
                EXPECT_EQ(set.GetVoxel(x, y, z)->m_nY, y);
            }
    EXPECT_EQ(set.m_kSpaceMask[set.VoxelIndex(2, 3, 1)], 0);

    set.FlipAxis(1);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(At(set, x, y, z, 0), Value(x, z, 3 - y, 0));
    EXPECT_EQ(set.m_kSpaceMask[set.VoxelIndex(2, 0, 1)], 0);
    EXPECT_EQ(set.GetVoxel(1, 0, 1)->m_nY, 0);
}

TEST(CSISetGrid, ShiftVoxelsByOneVoxelMovesTheContent)
{
    TProject project;
    TCSISet set(&project);
    MakeGrid(set, 8, 4, 1, 2);
    set.m_nSliceAxis = 2;
    set.m_fFOV[0] = 80;  // 10 mm voxels along x
    set.m_fFOV[1] = 40;
    set.InitVoxels();
    set.m_fVoxelShift[0] = 5;
    set.m_fRealMax = 0;
    ASSERT_TRUE(set.ShiftVoxels(TPoint2D(15, 0), 2));  // one voxel along x
    EXPECT_EQ(set.m_fVoxelShift[0], 15.0f);
    EXPECT_EQ(set.m_fVoxelShift[1], 0.0f);
    EXPECT_TRUE(project.IsModified());
    // Voxel x now sits where voxel x + 1 sat, and holds what was there.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            for (int p = 0; p < 2; ++p) {
                const TComplex want = Value((x + 1) % 8, y, 0, p);
                EXPECT_NEAR(At(set, x, y, 0, p).real(), want.real(), 2e-3) << x << "," << y;
                EXPECT_NEAR(At(set, x, y, 0, p).imag(), want.imag(), 2e-3);
            }
    EXPECT_FLOAT_EQ(set.GetVoxel(0, 0, 0)->m_fCentre[0], 5 - 40 + 15);
    EXPECT_NEAR(set.m_fRealMax, Value(7, 3, 0, 1).real(), 2e-3) << "data range updated";

    project.SetModified(false);
    const std::vector<TComplex> before = AllSamples(set);
    EXPECT_TRUE(set.ShiftVoxels(TPoint2D(15.0000001f, 0), 2));
    EXPECT_EQ(AllSamples(set), before) << "no shift to make";
    EXPECT_FALSE(project.IsModified());
}

namespace {
struct WorkerInjection {
    ~WorkerInjection() { vx::FailWorkerStartsAfter(-1); }
};
}  // namespace

TEST(CSISetGrid, GridTransformWhoseWorkerCannotStartLeavesTheSetAsItWas)
{
    vx::test::TProcessorCountGuard guard;
    WorkerInjection injection;
    vx::SetProcessorCount(3);
    // Odd sizes: the half swaps are not their own inverse, so a missed restore shows.
    TCSISet set;
    MakeGrid(set, 5, 7, 3, 4);
    set.m_nSliceAxis = 2;
    set.m_bKSpace = 0;
    const std::vector<TComplex> voxels = AllSamples(set);
    // The first axis runs on all workers; on the second, the third worker cannot start.
    vx::FailWorkerStartsAfter(5);
    EXPECT_FALSE(set.ToKSpace());
    EXPECT_EQ(set.m_bKSpace, 0);
    ExpectNear(AllSamples(set), voxels, 1e-3, "after a failed ToKSpace");

    vx::FailWorkerStartsAfter(-1);
    ASSERT_TRUE(set.ToKSpace());
    const std::vector<TComplex> kspace = AllSamples(set);
    vx::FailWorkerStartsAfter(1);
    EXPECT_FALSE(set.ToVoxelSpace());
    EXPECT_EQ(set.m_bKSpace, 1);
    ExpectNear(AllSamples(set), kspace, 1e-3, "after a failed ToVoxelSpace");
}

TEST(CSISetGrid, ShiftWhoseWorkerCannotStartKeepsTheOldShiftAndSamples)
{
    vx::test::TProcessorCountGuard guard;
    WorkerInjection injection;
    vx::SetProcessorCount(2);
    TProject project;
    TCSISet set(&project);
    MakeGrid(set, 8, 5, 1, 3);
    set.m_nSliceAxis = 2;
    set.m_fFOV[0] = 80;
    set.m_fFOV[1] = 50;
    set.InitVoxels();
    const std::vector<TComplex> before = AllSamples(set);
    // 0: the first transform fails; 4: the way back fails after the phase was applied.
    for (int starts : {0, 4}) {
        vx::FailWorkerStartsAfter(starts);
        EXPECT_FALSE(set.ShiftVoxels(TPoint2D(10, 0), 2)) << starts;
        vx::FailWorkerStartsAfter(-1);
        EXPECT_EQ(set.m_fVoxelShift[0], 0.0f) << starts;
        EXPECT_FALSE(project.IsModified()) << starts;
        ExpectNear(AllSamples(set), before, 1e-3, "after a failed shift, " + std::to_string(starts));
    }
    ASSERT_TRUE(set.ShiftVoxels(TPoint2D(10, 0), 2));
    EXPECT_EQ(set.m_fVoxelShift[0], 10.0f);
}
