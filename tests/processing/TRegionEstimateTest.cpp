#include <gtest/gtest.h>

#include <complex>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "RegionScene.h"
#include "model/ProcessingHooks.h"
#include "model/TSpectrum.h"
#include "processing/InstallProcessing.h"
#include "processing/TDrawnRegionPolygon.h"
#include "processing/TDrawnRegionRect.h"
#include "processing/TRegionEstimate.h"
#include "support/ScriptedReport.h"

namespace {

using vx::test::TRegionScene;

// Samples that differ from voxel to voxel and from point to point.
TComplex Pattern(int x, int y, int z, int i)
{
    return {static_cast<float>((x * 7 + y * 3 + z * 5 + i * 11) % 17) - 8.0f,
            static_cast<float>((x * 5 + y * 11 + z * 3 + i * 2) % 13) - 6.0f};
}

std::vector<TComplex> Samples(const TSpectrum& s)
{
    return std::vector<TComplex>(s.Data(), s.Data() + s.SampleCount());
}

// The sum of the spectra of the voxels (x, y, z) of the set for which `take` holds.
template <typename F>
std::vector<TComplex> SumOf(const TCSISet& set, F take)
{
    std::vector<TComplex> sum(static_cast<size_t>(set.m_nPoints));
    for (size_t v = 0; v < set.VoxelCount(); ++v) {
        const TSpectrum* s = set.GetVoxel(v);
        if (take(s->m_nX, s->m_nY, s->m_nZ))
            for (int i = 0; i < set.m_nPoints; ++i)
                sum[static_cast<size_t>(i)] += s->Data()[i];
    }
    return sum;
}

void ExpectSamplesNear(const std::vector<TComplex>& actual, const std::vector<TComplex>& expected, float tolerance)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].real(), expected[i].real(), tolerance) << "point " << i;
        EXPECT_NEAR(actual[i].imag(), expected[i].imag(), tolerance) << "point " << i;
    }
}

// Every voxel's index and samples, to compare before and after an estimate.
struct TSetSnapshot {
    std::vector<std::vector<TComplex>> samples;
    std::vector<std::vector<int>> indices;
    explicit TSetSnapshot(const TCSISet& set)
    {
        for (size_t v = 0; v < set.VoxelCount(); ++v) {
            samples.push_back(Samples(*set.GetVoxel(v)));
            indices.push_back({set.GetVoxel(v)->m_nX, set.GetVoxel(v)->m_nY, set.GetVoxel(v)->m_nZ});
        }
    }
    bool operator==(const TSetSnapshot&) const = default;
};

std::unique_ptr<TRegionEstimate> EstimateOf(std::vector<TDrawnRegion*> regions)
{
    std::map<int, TDrawnRegion*> drawn;
    for (size_t k = 0; k < regions.size(); ++k)
        drawn[static_cast<int>(k)] = regions[k];
    auto estimate = std::make_unique<TRegionEstimate>();
    EXPECT_TRUE(estimate->SetRegions(drawn));
    return estimate;
}

TEST(RegionEstimate, WholeVoxelsOfOddAndEvenGridsGiveTheirSumAndLeaveTheSetUntouched)
{
    for (int m : {7, 8}) {
        SCOPED_TRACE("matrix " + std::to_string(m));
        TRegionScene scene;
        scene.MakeSet(m, m, 1, 6, 10.0f * m, 10, Pattern);
        // One image pixel per voxel: the mask's cells are the voxels.
        TMRImage* image = scene.AddImage(m, m, 10.0f * m);
        const TSetSnapshot before(scene.set);

        auto one = EstimateOf({TRegionScene::Draw<TDrawnRegionRect>(image, {{3, 2}, {3, 2}})});
        ASSERT_TRUE(one->Estimate());
        ExpectSamplesNear(Samples(*one->GetResult()), Samples(*scene.set.GetVoxel(3, 2, 0)), 1e-4f);

        auto square = EstimateOf({TRegionScene::Draw<TDrawnRegionRect>(image, {{4, 5}, {5, 4}})});
        ASSERT_TRUE(square->Estimate());
        ExpectSamplesNear(Samples(*square->GetResult()),
                          SumOf(scene.set, [](int x, int y, int) { return x >= 4 && x <= 5 && y >= 4 && y <= 5; }),
                          1e-4f);
        EXPECT_FLOAT_EQ(square->GetRegionSize(), 4 * 100.0f * 10.0f);
        EXPECT_TRUE(TSetSnapshot(scene.set) == before);
    }
}

TEST(RegionEstimate, RegionOverVoxelsOfOneSpectrumGivesThatSpectrumPerVoxelOfArea)
{
    TRegionScene scene;
    const std::vector<TComplex> s = {{2, 1}, {-3, 0.5f}, {0, 4}};
    scene.MakeSet(8, 8, 1, 3, 80, 10, [&](int, int, int, int i) { return s[static_cast<size_t>(i)]; });
    // Eight cells per voxel; an image covering half the grid's field of view with four.
    TMRImage* fine = scene.AddImage(64, 64, 80);
    TMRImage* half = scene.AddImage(32, 32, 40);
    struct TCase {
        const char* name;
        TMRImage* image;
        vx::TPointI a, b;
        float voxels;
    } cases[] = {
        {"one voxel's area across four voxels", fine, {13, 29}, {20, 36}, 1},
        {"two by two voxels", fine, {16, 40}, {31, 55}, 4},
        {"the whole grid", fine, {0, 0}, {63, 63}, 64},
        {"two by two voxels on a smaller field of view", half, {8, 8}, {23, 23}, 4},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto estimate = EstimateOf({TRegionScene::Draw<TDrawnRegionRect>(c.image, {c.a, c.b})});
        ASSERT_TRUE(estimate->Estimate());
        std::vector<TComplex> expected;
        for (const TComplex& v : s)
            expected.push_back(v * c.voxels);
        ExpectSamplesNear(Samples(*estimate->GetResult()), expected, 1e-4f * c.voxels);
        // Voxel area 100 mm^2, slice 10 mm.
        EXPECT_NEAR(estimate->GetRegionSize(), c.voxels * 1000.0f, 1e-2f);
    }
}

TEST(RegionEstimate, RegionOverOneVoxelWeighsItsNeighboursAlike)
{
    // Point sources: voxel (c, c) and its four neighbours each own one point. A region
    // drawn exactly over voxel (c, c) must take the neighbours' points alike, for any
    // number of image pixels per voxel, odd or even grid.
    struct TCase {
        int m, pixels;
    } cases[] = {{8, 64}, {9, 72}, {7, 56}, {8, 16}};
    for (const TCase& t : cases) {
        SCOPED_TRACE(std::to_string(t.m) + " voxels, " + std::to_string(t.pixels) + " pixels");
        const int c = t.m / 2 - 1;
        TRegionScene scene;
        scene.MakeSet(t.m, t.m, 1, 5, 10.0f * t.m, 10, [&](int x, int y, int, int i) {
            const int own[5][2] = {{c - 1, c}, {c + 1, c}, {c, c - 1}, {c, c + 1}, {c, c}};
            return TComplex(own[i][0] == x && own[i][1] == y ? 1.0f : 0.0f, 0.0f);
        });
        TMRImage* image = scene.AddImage(t.pixels, t.pixels, 10.0f * t.m);
        const int r = t.pixels / t.m;
        auto estimate =
            EstimateOf({TRegionScene::Draw<TDrawnRegionRect>(image, {{c * r, c * r}, {c * r + r - 1, c * r + r - 1}})});
        ASSERT_TRUE(estimate->Estimate());
        const std::vector<TComplex> w = Samples(*estimate->GetResult());
        for (int i = 1; i < 4; ++i)
            EXPECT_NEAR(std::abs(w[static_cast<size_t>(i)] - w[0]), 0.0f, 1e-5f) << "neighbour " << i;
        EXPECT_GT(w[4].real(), 0.7f);
        EXPECT_GT(w[4].real(), 8 * std::abs(w[0]));
    }
}

class MultiSliceEstimate : public testing::Test {
protected:
    void SetUp() override
    {
        // Four 10 mm slices along z; slice k's centre at z = 10 k - 15.
        m_scene.MakeSet(4, 4, 4, 5, 40, 40, Pattern);
        for (float z : {-5.0f, 15.0f, 30.0f})
            m_regions.push_back(
                TRegionScene::Draw<TDrawnRegionRect>(m_scene.AddImage(4, 4, 40, z), {{0, 0}, {3, 3}}));
    }

    TRegionScene m_scene;
    std::vector<TDrawnRegion*> m_regions;
};

TEST_F(MultiSliceEstimate, RegionsOnTwoSlicesTakeThoseSlicesPerMillimetreAndSkipImagesOutsideTheSet)
{
    const TSetSnapshot before(m_scene.set);
    auto estimate = EstimateOf(m_regions);
    ASSERT_TRUE(estimate->Estimate());
    std::vector<TComplex> expected = SumOf(m_scene.set, [](int, int, int z) { return z == 1 || z == 3; });
    for (TComplex& v : expected)
        v *= 4.0f / 40.0f;  // slices per millimetre of the set
    ExpectSamplesNear(Samples(*estimate->GetResult()), expected, 1e-4f);
    // Two planes of 16 voxels of 100 mm^2, each image 3 mm thick.
    EXPECT_NEAR(estimate->GetRegionSize(), 2 * 16 * 100 * 3.0f, 1e-2f);
    EXPECT_TRUE(TSetSnapshot(m_scene.set) == before);
}

TEST_F(MultiSliceEstimate, SetHeldInKSpaceGivesTheSameEstimateAndStaysInKSpace)
{
    auto severalSlices = EstimateOf(m_regions);
    auto oneSlice = EstimateOf(
        {TRegionScene::Draw<TDrawnRegionPolygon>(m_scene.AddImage(4, 4, 40, 5), {{0, 0}, {3, 1}, {1, 3}})});
    ASSERT_TRUE(severalSlices->Estimate());
    ASSERT_TRUE(oneSlice->Estimate());
    const std::vector<TComplex> voxelSpace[2] = {Samples(*severalSlices->GetResult()), Samples(*oneSlice->GetResult())};

    ASSERT_TRUE(m_scene.set.ToKSpace());
    const TSetSnapshot kSpace(m_scene.set);
    ASSERT_TRUE(severalSlices->Estimate());
    ASSERT_TRUE(oneSlice->Estimate());
    ExpectSamplesNear(Samples(*severalSlices->GetResult()), voxelSpace[0], 1e-4f);
    ExpectSamplesNear(Samples(*oneSlice->GetResult()), voxelSpace[1], 1e-4f);
    EXPECT_EQ(m_scene.set.m_bKSpace, 1);
    EXPECT_TRUE(TSetSnapshot(m_scene.set) == kSpace);
}

TEST(RegionEstimate, FailureKeepsThePreviousResult)
{
    TRegionScene scene;
    scene.MakeSet(8, 8, 1, 4, 80, 10, Pattern);
    TMRImage* image = scene.AddImage(8, 8, 80);
    auto estimate = EstimateOf({TRegionScene::Draw<TDrawnRegionRect>(image, {{1, 1}, {2, 2}})});
    ASSERT_TRUE(estimate->Estimate());
    const TSpectrum* result = estimate->GetResult();
    const std::vector<TComplex> first = Samples(*result);

    // A finer grid than the image has pixels cannot be weighted.
    TCSISet finer;
    vx::test::FillGrid(finer, 16, 16, 1, 4, [](int, int, int, int) { return TComplex(1, 1); });
    finer.m_fFOV[0] = finer.m_fFOV[1] = 80;
    finer.m_fFOV[2] = 10;
    finer.m_bKSpace = 0;
    scene.project.m_pWorkSet = &finer;
    EXPECT_FALSE(estimate->Estimate());
    scene.project.m_pWorkSet = nullptr;
    EXPECT_FALSE(estimate->Estimate());
    EXPECT_EQ(estimate->GetResult(), result);
    EXPECT_EQ(Samples(*result), first);
    scene.project.m_pWorkSet = &scene.set;

    TRegionEstimate empty;
    EXPECT_FALSE(empty.Estimate());
    EXPECT_EQ(empty.GetResult(), nullptr);
}

// A rectangle that counts its deletions.
class TCountedRect : public TDrawnRegionRect {
public:
    explicit TCountedRect(int* deletions) : m_deletions(deletions) {}
    ~TCountedRect() override { ++*m_deletions; }

private:
    int* m_deletions;
};

TEST(RegionEstimate, RegionsOfAnotherOrientationThanTheFirstAreDeletedWithAWarning)
{
    TRegionScene scene;
    scene.MakeSet(4, 4, 4, 1, 40, 40, Pattern);
    TMRImage* axial = scene.AddImage(4, 4, 40, 5, 2);
    TMRImage* sagittal = scene.AddImage(4, 4, 40, 5, 0);
    TMRImage* unknown = scene.AddImage(4, 4, 40, 5, 3);
    struct TCase {
        std::vector<TMRImage*> images;
        int deleted;
        std::string kept;  // the orientation the warning names
    } cases[] = {
        {{axial, sagittal, axial}, 1, "Axial"},
        {{sagittal, axial, axial}, 2, "Sagittal"},
        {{unknown, axial}, 1, ""},
        {{axial, axial}, 0, ""},
    };
    for (const TCase& c : cases) {
        const std::string warning = c.deleted ? "Different orientations are found. Only regions of " + c.kept +
                                                    " orientation are kept."
                                              : "";
        SCOPED_TRACE(warning);
        vx::test::TScriptedReport report;
        int deletions = 0;
        std::map<int, TDrawnRegion*> drawn;
        std::vector<TDrawnRegion*> sameAsFirst;
        for (size_t k = 0; k < c.images.size(); ++k) {
            auto* region = new TCountedRect(&deletions);
            region->SetImagePlane(vx::test::TImageFrame(c.images[k]));
            drawn[static_cast<int>(k)] = region;
            if (c.images[k] == c.images[0])
                sameAsFirst.push_back(region);
        }
        {
            TRegionEstimate estimate;
            ASSERT_TRUE(estimate.SetRegions(drawn));
            EXPECT_TRUE(drawn.empty());
            EXPECT_EQ(std::vector<TDrawnRegion*>(estimate.GetRegions().begin(), estimate.GetRegions().end()),
                      sameAsFirst);
            EXPECT_EQ(deletions, c.deleted);
            EXPECT_EQ(report.Messages(),
                      warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{warning});
        }
        EXPECT_EQ(deletions, static_cast<int>(c.images.size()));
    }
    std::map<int, TDrawnRegion*> none;
    EXPECT_FALSE(TRegionEstimate().SetRegions(none));
}

TEST(RegionEstimate, ProjectRerunsItsEstimatesAndKnowsWhatTheyUse)
{
    const TProcessingHooks saved = ProcessingHooks();
    InstallProcessing();
    {
        TRegionScene scene;
        scene.MakeSet(4, 4, 1, 2, 40, 10, Pattern);
        TMRImage* image = scene.AddImage(4, 4, 40);
        TMRImage* other = scene.AddImage(4, 4, 40);
        TRegionEstimate* estimate =
            EstimateOf({TRegionScene::Draw<TDrawnRegionRect>(image, {{1, 1}, {1, 1}})}).release();
        ASSERT_TRUE(estimate->Estimate());
        scene.project.m_regionEstimates.push_back(estimate);
        const TSpectrum* result = estimate->GetResult();

        scene.set.GetVoxel(1, 1, 0)->Data()[0] = TComplex(42, -1);
        scene.project.UpdateRegionEstimates();
        EXPECT_EQ(estimate->GetResult(), result);
        EXPECT_NEAR(result->GetReal(0), 42.0f, 1e-4f);

        const TProcessingHooks& hooks = ProcessingHooks();
        TCSISet unrelated;
        EXPECT_TRUE(hooks.estimateUsesSet(estimate, &scene.set));
        EXPECT_FALSE(hooks.estimateUsesSet(estimate, &unrelated));
        EXPECT_TRUE(hooks.estimateUsesImage(estimate, image));
        EXPECT_FALSE(hooks.estimateUsesImage(estimate, other));
        // The project deletes the estimate, and with it its regions (checked by the
        // sanitizer build), when it is cleared.
        scene.project.ClearRegionEstimates();
        EXPECT_TRUE(scene.project.m_regionEstimates.empty());
    }
    InstallProcessingHooks(saved);
}

}  // namespace
