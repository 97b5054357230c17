// Spatial zero filling of a CSI set: the k-space of the new grid against a direct
// Fourier sum over the voxel centres, where the old k-space lands, the name, path,
// parameters and mask of the new set, the state both sets end in, and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Workers.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

using cd = std::complex<double>;

TComplex Value(int x, int y, int z, int i)
{
    return TComplex(static_cast<float>(std::cos(0.9 * x - 1.7 * y + 0.4 * z + 0.3 * i)),
                    static_cast<float>(std::sin(1.3 * x + 0.7 * y - 2.1 * z + i) + 0.1 * x * y));
}

// Centre of voxel p of an axis of n voxels, in fields of view from the grid centre: the
// voxels of an even axis lie symmetric about the centre, an odd axis has one on it.
double VoxelCentre(int p, int n)
{
    return (p - n / 2 + (n % 2 == 0 ? 0.5 : 0.0)) / n;
}

// Spatial frequencies of an axis of n voxels: -floor(n/2) .. ceil(n/2) - 1.
int FirstFrequency(int n) { return -(n / 2); }

// k-space of sample i of the set by a direct sum over the voxel centres,
// K(c) = sum_v s_v exp(+2 pi i c . u_v), over the transformed axes (the others index
// the slice); indexed [(cz*ny + cy)*nx + cx] with c counted from FirstFrequency.
std::vector<cd> DirectKSpace(const TCSISet& set, int i, const bool transformed[3])
{
    const int* n = set.m_nDim;
    std::vector<cd> k(set.GridSize());
    for (int cz = 0; cz < n[2]; ++cz)
        for (int cy = 0; cy < n[1]; ++cy)
            for (int cx = 0; cx < n[0]; ++cx) {
                const int c[3] = {cx, cy, cz};
                cd sum = 0;
                for (int z = 0; z < n[2]; ++z)
                    for (int y = 0; y < n[1]; ++y)
                        for (int x = 0; x < n[0]; ++x) {
                            const int p[3] = {x, y, z};
                            double phase = 0;
                            bool inSlice = true;
                            for (int d = 0; d < 3; ++d) {
                                if (transformed[d])
                                    phase += (c[d] + FirstFrequency(n[d])) * VoxelCentre(p[d], n[d]);
                                else
                                    inSlice = inSlice && p[d] == c[d];
                            }
                            if (!inSlice)
                                continue;
                            const TSpectrum* s = set.GetVoxel(x, y, z);
                            sum += cd(s->GetReal(i), s->GetImag(i)) * std::polar(1.0, 2 * std::numbers::pi * phase);
                        }
                k[(static_cast<size_t>(cz) * n[1] + cy) * n[0] + cx] = sum;
            }
    return k;
}

}  // namespace

// The interpolated grid holds the old spatial frequencies at their places and nothing
// beyond them: zero filling in k-space, whatever the program's own transform layout.
TEST(CSISetZeroFill, OldSpatialFrequenciesKeepTheirValuesAndNoOthersAppear)
{
    struct Case {
        const char* what;
        int dim[3], newDim[3];
        int sliceAxis, multiSlice;
    };
    const Case cases[] = {
        {"8x8x1 to 16x16x1", {8, 8, 1}, {16, 16, 1}, 2, 0},
        {"odd 5x3x1 to 7x5x1", {5, 3, 1}, {7, 5, 1}, 2, 0},
        {"even to odd 8x4x1 to 15x5x1", {8, 4, 1}, {15, 5, 1}, 2, 0},
        {"odd to even 5x3x1 to 8x6x1", {5, 3, 1}, {8, 6, 1}, 2, 0},
        {"3-D even to odd and odd to even 4x3x2 to 5x4x3", {4, 3, 2}, {5, 4, 3}, 2, 0},
        {"3-D 4x4x4 to 6x8x4", {4, 4, 4}, {6, 8, 4}, 2, 0},
        {"coronal multi-slice 4x3x4 to 8x3x6", {4, 3, 4}, {8, 3, 6}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCSISet set;
        test::FillGrid(set, c.dim[0], c.dim[1], c.dim[2], 3, Value);
        set.m_nSliceAxis = c.sliceAxis;
        set.m_bMultiSlice = c.multiSlice;
        set.m_bKSpace = 0;
        bool transformed[3] = {true, true, true};
        transformed[c.sliceAxis] = !c.multiSlice;
        std::vector<std::vector<cd>> before;
        for (int i = 0; i < 3; ++i)
            before.push_back(DirectKSpace(set, i, transformed));

        test::TScriptedReport script;
        const std::unique_ptr<TCSISet> filled = set.CreateZeroFilledSet(c.newDim[0], c.newDim[1], c.newDim[2]);
        ASSERT_NE(filled, nullptr);
        EXPECT_EQ(script.Count(), 0u);
        ASSERT_EQ(filled->VoxelCount(), filled->GridSize());
        EXPECT_TRUE(filled->IsLoaded());
        double worstInside = 0, worstOutside = 0, largest = 0;
        for (int i = 0; i < 3; ++i) {
            const std::vector<cd> after = DirectKSpace(*filled, i, transformed);
            for (int cz = 0; cz < c.newDim[2]; ++cz)
                for (int cy = 0; cy < c.newDim[1]; ++cy)
                    for (int cx = 0; cx < c.newDim[0]; ++cx) {
                        // The same frequency in the old grid, if it has it.
                        const int nc[3] = {cx, cy, cz};
                        int oc[3];
                        bool inside = true;
                        for (int d = 0; d < 3; ++d) {
                            oc[d] = transformed[d] ? nc[d] + FirstFrequency(c.newDim[d]) - FirstFrequency(c.dim[d])
                                                   : nc[d];
                            inside = inside && oc[d] >= 0 && oc[d] < c.dim[d];
                        }
                        const cd got = after[(static_cast<size_t>(cz) * c.newDim[1] + cy) * c.newDim[0] + cx];
                        if (inside) {
                            const cd want = before[i][(static_cast<size_t>(oc[2]) * c.dim[1] + oc[1]) * c.dim[0] + oc[0]];
                            worstInside = std::max(worstInside, std::abs(got - want));
                            largest = std::max(largest, std::abs(want));
                        } else {
                            worstOutside = std::max(worstOutside, std::abs(got));
                        }
                    }
        }
        EXPECT_GT(largest, 1.0);
        EXPECT_LT(worstInside, 1e-4 * largest);
        EXPECT_LT(worstOutside, 1e-4 * largest);
    }
}

// A set in k-space with one sampled line: the line lands at the centre offset, 4 for
// 8 -> 16; both sets end in voxel space.
TEST(CSISetZeroFill, KSpaceSetLandsAtTheCentreOffsetAndBothEndInVoxelSpace)
{
    const int newX = 16;
    for (int x0 : {0, 3, 7}) {
        SCOPED_TRACE(x0);
        TCSISet set;
        test::FillGrid(set, 8, 4, 1, 2, [&](int x, int y, int, int i) {
            return x == x0 && y == 1 ? TComplex(2.0f + i, -1.0f) : TComplex();
        });
        set.m_nSliceAxis = 2;
        set.m_bKSpace = 1;
        TCSISet twin;
        test::FillGrid(twin, 8, 4, 1, 2, [&](int x, int y, int z, int i) {
            return TComplex(set.GetVoxel(x, y, z)->GetReal(i), set.GetVoxel(x, y, z)->GetImag(i));
        });
        twin.m_nSliceAxis = 2;
        twin.m_bKSpace = 1;
        ASSERT_TRUE(twin.ToVoxelSpace());

        const std::unique_ptr<TCSISet> filled = set.CreateZeroFilledSet(newX, 4, 1);
        ASSERT_NE(filled, nullptr);
        EXPECT_EQ(set.m_bKSpace, 0);
        EXPECT_EQ(filled->m_bKSpace, 0);
        // The set itself went to voxel space as its own transform takes it there.
        const std::vector<TComplex> a = test::AllSamples(set), b = test::AllSamples(twin);
        for (size_t k = 0; k < a.size(); ++k)
            EXPECT_LT(std::abs(a[k] - b[k]), 1e-5f) << k;

        ASSERT_TRUE(filled->ToKSpace());
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < newX; ++x) {
                const float magnitude = std::abs(filled->GetVoxel(x, y, 0)->Data()[1]);
                if (x == x0 + 4 && y == 1)
                    EXPECT_NEAR(magnitude, std::abs(TComplex(3.0f, -1.0f)), 1e-4f);
                else
                    EXPECT_LT(magnitude, 1e-4f) << x << " " << y;
            }
    }
}

TEST(CSISetZeroFill, NewSetCarriesTheParametersANewNameAndTheShiftedMask)
{
    TCSISet set;
    test::FillGrid(set, 4, 2, 1, 4, Value);
    set.m_bKSpace = 0;
    set.m_nSliceAxis = 2;
    set.m_strName = "brain";
    set.m_strFilePath = "/study/brain";
    set.m_strPatientName = "Doe^Jane";
    set.m_fPPMCentrePoint = 2.5f;
    set.m_fLorentzBroadening = 3.0f;
    set.m_fGaussBroadening = 1.5f;
    set.m_slicePhases = {TSlicePhase{0.5f, 0.25f, 2.0f}};
    set.m_kSpaceMask = {1, 0, 1, 1, 0, 1, 1, 1};

    const std::unique_ptr<TCSISet> filled = set.CreateZeroFilledSet(8, 4, 1);
    ASSERT_NE(filled, nullptr);
    EXPECT_EQ(filled->GetName(), "brain_8_4_1");
    EXPECT_EQ(filled->GetFilePath(), "/study/brain_8_4_1");
    EXPECT_EQ(filled->m_nDim[0], 8);
    EXPECT_EQ(filled->m_nDim[1], 4);
    EXPECT_EQ(filled->m_strPatientName, "Doe^Jane");
    EXPECT_EQ(filled->m_fPPMCentrePoint, 2.5f);
    EXPECT_EQ(filled->m_fLorentzBroadening, 3.0f);
    EXPECT_EQ(filled->m_fGaussBroadening, 1.5f);
    ASSERT_EQ(filled->m_slicePhases.size(), 1u);
    EXPECT_EQ(filled->m_slicePhases[0].m_fPivot, 2.0f);
    EXPECT_FALSE(filled->HasMaps());
    EXPECT_EQ(filled->m_bWorkSet, 0);
    // The old mask at offsets (2, 1), zero around it.
    std::vector<int32_t> mask(32, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            mask[static_cast<size_t>(y + 1) * 8 + x + 2] = set.m_kSpaceMask[static_cast<size_t>(y) * 4 + x];
    EXPECT_EQ(filled->m_kSpaceMask, mask);
    // Every spectrum knows its place in the new grid.
    const TSpectrum* last = filled->GetVoxel(7, 3, 0);
    EXPECT_EQ(last->GetParameters().m_nX, 7);
    EXPECT_EQ(last->GetParameters().m_nY, 3);
    EXPECT_EQ(last->GetParameters().m_pDataSet, filled.get());

    // Without a mask the new set has none either.
    set.m_kSpaceMask.clear();
    EXPECT_TRUE(set.CreateZeroFilledSet(8, 4, 1)->m_kSpaceMask.empty());
}

TEST(CSISetZeroFill, WorkerCountDoesNotChangeTheResult)
{
    test::TProcessorCountGuard guard;
    std::vector<std::vector<TComplex>> results;
    for (int workers : {1, 4}) {
        SetProcessorCount(workers);
        TCSISet set;
        test::FillGrid(set, 6, 4, 2, 5, Value);
        set.m_bKSpace = 0;
        set.m_nSliceAxis = 2;
        results.push_back(test::AllSamples(*set.CreateZeroFilledSet(12, 8, 4)));
    }
    EXPECT_EQ(results[0], results[1]);
}

// A refusal leaves the set as it was.
TEST(CSISetZeroFill, RefusedSizesAreReportedAndChangeNothing)
{
    struct Case {
        const char* what;
        int newDim[3];
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"smaller along y", {8, 3, 1}, {"New size needs to be larger than original size."}},
        {"smaller slice axis", {8, 4, 0}, {"New size needs to be larger than original size."}},
        {"negative", {-8, 4, 1}, {"New size needs to be larger than original size."}},
        {"beyond the largest set", {65536, 65536, 1}, {"The zero-filled CSI set would be too large to hold in memory."}},
        {"too many samples", {4096, 4096, 1}, {"The zero-filled CSI set would be too large to hold in memory."}},
        {"length the FFT does not take", {41, 4, 1}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCSISet set;
        test::FillGrid(set, 4, 4, 1, 64, Value);
        set.m_bKSpace = 1;
        set.m_nSliceAxis = 2;
        const std::vector<TComplex> samples = test::AllSamples(set);
        test::TScriptedReport script;
        EXPECT_EQ(set.CreateZeroFilledSet(c.newDim[0], c.newDim[1], c.newDim[2]), nullptr);
        if (c.messages.empty())
            EXPECT_EQ(script.Count(), 1u);  // the FFT's own message
        else
            EXPECT_EQ(script.Messages(), c.messages);
        EXPECT_EQ(set.m_bKSpace, 1);
        EXPECT_EQ(test::AllSamples(set), samples);
    }
    // Without samples there is nothing to fill.
    TCSISet stored;
    stored.m_nDim[0] = 4;
    stored.m_nPoints = 8;
    test::TScriptedReport script;
    EXPECT_EQ(stored.CreateZeroFilledSet(8, 1, 1), nullptr);
    EXPECT_EQ(script.Count(), 0u);
}
