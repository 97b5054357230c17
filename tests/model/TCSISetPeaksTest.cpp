// Peak integration and voxel selection of a CSI set: the area and principal-component
// integrators against sums computed here, the selection by area with and without
// images, and the peak-to-noise test.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

constexpr int kPoints = 64;

// Voxel v peaks at point PeakOf(v) with magnitude 100 + v; elsewhere the samples are small
// and vary with the point and the voxel.
int PeakOf(int v) { return 8 + 5 * v; }

TComplex PeakSample(int v, int i)
{
    if (i == PeakOf(v))
        return std::polar(100.0f + v, 0.3f * v);
    return TComplex(0.01f * (i % 7) + 0.1f * v, -0.02f * (i % 5));
}

// Plain sum of samples a..b of voxel v, points outside 0..N-1 left out.
TComplex ReferenceSum(int v, int a, int b)
{
    std::complex<double> sum = 0;
    for (int i = std::max(a, 0); i <= std::min(b, kPoints - 1); ++i)
        sum += std::complex<double>(PeakSample(v, i).real(), PeakSample(v, i).imag());
    return TComplex(static_cast<float>(sum.real()), static_cast<float>(sum.imag()));
}

void ExpectNearComplex(TComplex actual, TComplex expected, const std::string& what)
{
    const double tolerance = 1e-4 * (1.0 + std::abs(expected));
    EXPECT_NEAR(actual.real(), expected.real(), tolerance) << what;
    EXPECT_NEAR(actual.imag(), expected.imag(), tolerance) << what;
}

}  // namespace

TEST(CSISetPeaks, AreaIntegrationSumsTheOrderedAndLimitedWindow)
{
    TCSISet set;
    test::FillSet(set, 3, 2, 1, kPoints, PeakSample);  // peaks at 8, 13, ..., 33
    struct Case {
        int first, last;
        bool centred;
        int from, to;  // the points summed; centred: around each voxel's peak
    };
    const Case cases[] = {
        {10, 20, false, 10, 20},
        {20, 10, false, 10, 20},   // backwards
        {50, 200, false, 50, 63},  // beyond the last point
        {-7, 3, false, 0, 3},
        {0, 40, true, -20, 20},    // width 40, even: 41 points
        {40, 0, true, -20, 20},
        {0, 63, true, -31, 32},    // width 63, odd: one more after the peak; voxel 5 passes the end
        {0, 20, true, -10, 10},    // voxel 0 reaches below point 0 (left out)
        {2, 11, true, -4, 5},      // width 9: 10 points
    };
    for (const Case& c : cases) {
        std::vector<TComplex> out(set.VoxelCount(), TComplex(-1, -1));
        set.IntegrateArea(out.data(), false, c.first, c.last, c.centred);
        for (int v = 0; v < 6; ++v) {
            if (c.centred && (PeakOf(v) < std::min(c.first, c.last) || PeakOf(v) > std::max(c.first, c.last)))
                continue;  // this voxel's peak lies outside the window
            const int at = c.centred ? PeakOf(v) : 0;
            ExpectNearComplex(out[v], ReferenceSum(v, at + c.from, at + c.to),
                              std::to_string(c.first) + ".." + std::to_string(c.last) + " voxel " + std::to_string(v));
        }
    }
    // Of two equal magnitudes the earlier point is the peak.
    TCSISet twin;
    test::FillSet(twin, 1, 1, 1, 32, [](int, int i) {
        return i == 10 ? TComplex(0, 5) : i == 20 ? TComplex(5, 0) : TComplex(1, 0);
    });
    TComplex out;
    twin.IntegrateArea(&out, false, 0, 31, true);  // width 31: points 10 - 15 .. 10 + 16
    EXPECT_NEAR(out.real(), 30.0f, 1e-5);          // 0..26: point 20 among them
    EXPECT_NEAR(out.imag(), 5.0f, 1e-6);
}

TEST(CSISetPeaks, SelectedOnlyLeavesTheOthersAtZeroAndNothingRunsWithoutSamples)
{
    TCSISet set;
    test::FillSet(set, 3, 2, 1, kPoints, PeakSample);
    for (bool centred : {false, true}) {
        std::vector<TComplex> out(set.VoxelCount(), TComplex(9, 9));
        set.IntegrateArea(out.data(), true, 0, 40, centred);
        for (const TComplex& v : out)
            EXPECT_EQ(v, TComplex(0, 0));
        std::vector<TComplex> pca(set.VoxelCount(), TComplex(9, 9));
        ASSERT_TRUE(set.FitPeakMapValues(pca.data(), true, 0, 40));
        for (const TComplex& v : pca)
            EXPECT_EQ(v, TComplex(0, 0));
    }
    set.GetVoxel(size_t(4))->m_bSelected = 1;
    std::vector<TComplex> out(set.VoxelCount());
    set.IntegrateArea(out.data(), true, 0, 40, false);
    for (int v = 0; v < 6; ++v)
        ExpectNearComplex(out[v], v == 4 ? ReferenceSum(4, 0, 40) : TComplex(0, 0), "selected " + std::to_string(v));

    // Without the samples in memory neither integrator touches its output.
    set.m_bLoaded = false;
    std::vector<TComplex> untouched(set.VoxelCount(), TComplex(7, 7));
    set.IntegrateArea(untouched.data(), false, 0, 10, false);
    EXPECT_FALSE(set.FitPeakMapValues(untouched.data(), false, 0, 10));
    EXPECT_EQ(untouched, std::vector<TComplex>(set.VoxelCount(), TComplex(7, 7)));
}

TEST(CSISetPeaks, PrincipalComponentAreaOfRankOneDataIsThePlainArea)
{
    // Every voxel holds a_v times one line shape g: the leading eigenvector is g, and the
    // rank-one area is a_v times the sum of g, whatever the sign of g.
    for (double sign : {1.0, -1.0}) {
        const auto g = [&](int i) { return sign * std::exp(-0.5 * (i - 20) * (i - 20) / 9.0); };
        const auto amplitude = [](int v) { return 0.5 + 0.25 * v - (v == 3 ? 2.0 : 0.0); };
        TCSISet set;
        test::FillSet(set, 4, 2, 1, kPoints, [&](int v, int i) {
            return TComplex(static_cast<float>(amplitude(v) * g(i)), 0.7f);  // imaginary parts are not used
        });
        std::vector<TComplex> out(set.VoxelCount());
        ASSERT_TRUE(set.FitPeakMapValues(out.data(), false, 30, 10));
        double area = 0;
        for (int i = 10; i <= 30; ++i)
            area += g(i);
        for (int v = 0; v < 8; ++v) {
            EXPECT_NEAR(out[v].real(), amplitude(v) * area, 1e-4 * std::fabs(area)) << sign << " voxel " << v;
            EXPECT_EQ(out[v].imag(), 0.0f);
        }
    }
}

TEST(CSISetPeaks, FailedEigenDecompositionLeavesTheOutputAndReports)
{
    TCSISet set;
    test::FillSet(set, 2, 2, 1, kPoints, [](int v, int i) {
        return TComplex(v == 1 && i == 12 ? std::numeric_limits<float>::quiet_NaN() : 1.0f + i % 3, 0.0f);
    });
    test::TScriptedReport report;
    std::vector<TComplex> out(4, TComplex(3, 3));
    EXPECT_FALSE(set.FitPeakMapValues(out.data(), false, 10, 20));
    EXPECT_EQ(out, std::vector<TComplex>(4, TComplex(3, 3)));
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"Failed finding the eigenvalues and eigenvectors in the PCA routine.Please "
                                       "reselect the start and end points of the peak."});
    // A window wider than any peak is refused before anything is allocated for it.
    TCSISet wide;
    test::FillSet(wide, 4, 1, 1, 512, [](int v, int i) { return TComplex(std::sin(0.01f * i * (v + 1)), 0.0f); });
    report.Clear();
    const int most = TCSISet::kMaxPCAPoints;
    EXPECT_FALSE(wide.FitPeakMapValues(out.data(), false, 0, most));
    EXPECT_EQ(report.Count(), 1u);
    EXPECT_TRUE(wide.FitPeakMapValues(out.data(), false, 1, most));
}

TEST(CSISetPeaks, WholeGridResultsDoNotDependOnTheWorkerCount)
{
    // Large enough to be split over the workers.
    TCSISet set;
    test::FillSet(set, 32, 32, 3, 256, [](int v, int i) {
        return TComplex(std::sin(0.37f * i + 0.11f * v) * (1 + v % 13), std::cos(0.23f * i * (v % 5)));
    });
    test::TProcessorCountGuard guard;
    std::vector<std::vector<TComplex>> runs;
    for (int workers : {1, 3, 4}) {
        SetProcessorCount(workers);
        std::vector<TComplex> area(set.VoxelCount()), centred(set.VoxelCount()), pca(set.VoxelCount());
        set.IntegrateArea(area.data(), false, 10, 200, false);
        set.IntegrateArea(centred.data(), false, 10, 200, true);
        ASSERT_TRUE(set.FitPeakMapValues(pca.data(), false, 20, 60));
        area.insert(area.end(), centred.begin(), centred.end());
        area.insert(area.end(), pca.begin(), pca.end());
        runs.push_back(area);
    }
    EXPECT_EQ(runs[1], runs[0]);
    EXPECT_EQ(runs[2], runs[0]);
}

// --- selection by area ------------------------------------------------------------------

namespace {

// A 5 x 3 x 2 set over 50 x 30 x 20 mm (10 mm voxels), slice axis z. Every sample of
// voxel (x, y, z) has magnitude AreaOf(x, y, z) / 11, so that the area over 11 points is AreaOf.
float AreaOf(int x, int y, int z)
{
    static const float areas[2][3][5] = {
        {{1, 9, 3, 10, 2}, {8, 4, 6, 5, 7}, {2, 2, 2, 2, 2}},
        {{5, 5, 1, 1, 9}, {0, 0, 0, 0, 0}, {6, 4, 5, 4, 6}},
    };
    return areas[z][y][x];
}

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        m_set = new TCSISet(&m_project);
        test::FillGrid(*m_set, 5, 3, 2, 32, [](int x, int y, int z, int i) {
            return std::polar(AreaOf(x, y, z) / 11.0f, 0.2f * i);
        });
        m_set->m_fFOV[0] = 50;
        m_set->m_fFOV[1] = 30;
        m_set->m_fFOV[2] = 20;
        m_set->m_nSliceAxis = 2;
        m_project.m_pCSISetList->Add(m_set);
        // Every voxel starts selected: the selection is made afresh.
        for (size_t v = 0; v < m_set->VoxelCount(); ++v)
            m_set->GetVoxel(v)->m_bSelected = 1;
    }
    void TearDown() override { ResetGlobals(); }

    // An image of orientation `axis` at `position` mm, one pixel a millimetre over the plane
    // of the set; pixels inside [x0, x1) x [y0, y1) are bright.
    TMRImage* AddImage(int axis, float position, int width, int height, int x0, int x1, int y0, int y1)
    {
        auto* image = new TMRImage(&m_project);
        image->SetOrientation(axis, false);
        image->SetParameter(position, TMRImage::ParamSlicePosition, false);
        image->SetWidth(width, false);
        image->SetHeight(height, false);
        image->SetParameter(static_cast<float>(width), TMRImage::ParamFOVX, false);
        image->SetParameter(static_cast<float>(height), TMRImage::ParamFOVY, false);
        std::vector<int16_t> pixels(static_cast<size_t>(width * height), 100);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                pixels[static_cast<size_t>(y * width + x)] = 900;
        EXPECT_TRUE(image->SetPixels(pixels));
        m_project.m_pImageSet->Insert(image);
        return image;
    }

    std::set<std::vector<int>> Selected() const
    {
        std::set<std::vector<int>> out;
        for (int z = 0; z < 2; ++z)
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    if (m_set->GetVoxel(x, y, z)->m_bSelected)
                        out.insert({x, y, z});
        return out;
    }

    // Voxels of the slices `slices` (z) whose area reaches `threshold`.
    static std::set<std::vector<int>> AreaAtLeast(float threshold, std::initializer_list<int> slices)
    {
        std::set<std::vector<int>> out;
        for (int z : slices)
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    if (AreaOf(x, y, z) >= threshold)
                        out.insert({x, y, z});
        return out;
    }

    TProject m_project;
    TCSISet* m_set = nullptr;  // owned by the project
};

}  // namespace

TEST_F(SelectionTest, WithoutUsableImagesEverySliceKeepsTheVoxelsOfLargeArea)
{
    // An image whose pixels cannot be read counts as none.
    TMRImage* image = AddImage(2, 0.0f, 50, 30, 0, 0, 0, 0);
    image->FreePixels();
    image->SetPath(m_project.m_strFolder + "/no such pixel file");
    test::TScriptedReport report;
    // Fractions whose thresholds fall between the areas, except at the ends.
    for (float fraction : {0.45f, 0.25f, 0.0f, 1.0f})
        for (bool useImage : {false, true}) {
            m_set->SelectVoxelsByArea(fraction, 10, 20, useImage);
            EXPECT_EQ(Selected(), AreaAtLeast(10.0f * fraction - 1e-4f, {0, 1})) << fraction;
        }
    // The window is ordered and limited like the integrators'.
    m_set->SelectVoxelsByArea(0.45f, 31, 21, false);
    EXPECT_EQ(Selected(), AreaAtLeast(4.5f, {0, 1}));
    // Without the samples in memory the selection stays as it is.
    m_set->m_bLoaded = false;
    m_set->SelectVoxelsByArea(0.0f, 0, 10, false);
    EXPECT_EQ(Selected(), AreaAtLeast(4.5f, {0, 1}));
}

TEST_F(SelectionTest, AnImageRestrictsItsSliceToTheVoxelsUnderItsBrightRectangle)
{
    // Slice 0 lies at -10 mm, slice 1 at 0 mm. The image of slice 0 is bright over x 10..29,
    // y 0..19 mm from its corner: voxels x 1..2, y 0..1.
    AddImage(2, -10.0f, 50, 30, 10, 30, 0, 20);
    m_set->SelectVoxelsByArea(0.45f, 0, 10, true);
    std::set<std::vector<int>> expected = AreaAtLeast(4.5f, {1});  // no image: area alone
    for (int y = 0; y <= 1; ++y)
        for (int x = 1; x <= 2; ++x)
            if (AreaOf(x, y, 0) >= 4.5f)
                expected.insert({x, y, 0});
    EXPECT_EQ(Selected(), expected);
    // (3, 0, 0) has the largest area of all but lies outside the bright part.
    EXPECT_FALSE(m_set->GetVoxel(3, 0, 0)->m_bSelected);
    EXPECT_TRUE(m_set->GetVoxel(1, 0, 0)->m_bSelected);
    EXPECT_FALSE(m_set->GetVoxel(1, 1, 0)->m_bSelected);  // under the bright part, area 4 < 4.5

    // Without the flag the image is not looked at.
    m_set->SelectVoxelsByArea(0.45f, 0, 10, false);
    EXPECT_EQ(Selected(), AreaAtLeast(4.5f, {0, 1}));
}

TEST_F(SelectionTest, AMaskImageOfFloatValuesAlongAnotherSliceAxis)
{
    // Slices along x: 5 slices of 10 mm at -20, -10, 0, 10, 20; the plane is y (30 mm) by z
    // (20 mm). A float mask on the slice at 0 mm (x = 2) marks y 20..29 at every z: the
    // voxels y = 2 of that slice.
    m_set->m_nSliceAxis = 0;
    TMRImage* image = AddImage(0, 0.0f, 30, 20, 0, 0, 0, 0);
    std::vector<float> mask(30 * 20, 0.0f);
    for (int y = 0; y < 20; ++y)
        for (int x = 20; x < 30; ++x)
            mask[static_cast<size_t>(y * 30 + x)] = 2.5f;
    ASSERT_TRUE(image->SetFloatValues(mask));
    m_set->SelectVoxelsByArea(0.35f, 0, 10, true);
    std::set<std::vector<int>> expected;
    for (const std::vector<int>& v : AreaAtLeast(3.5f, {0, 1}))
        if (v[0] != 2 || v[1] == 2)
            expected.insert(v);
    EXPECT_EQ(Selected(), expected);
    EXPECT_TRUE(m_set->GetVoxel(2, 2, 1)->m_bSelected);
    EXPECT_FALSE(m_set->GetVoxel(2, 2, 0)->m_bSelected);  // under the mask, area 2 < 3.5
    EXPECT_FALSE(m_set->GetVoxel(2, 1, 0)->m_bSelected);  // area 6, but outside the mask
}

// --- peak-to-noise test -------------------------------------------------------------------

TEST(CSISetPeaks, PeakToNoiseTest)
{
    // Noise magnitudes 1 and 3 alternate over 40..63 (mean 2, deviation 1); the peak of
    // magnitude `peak` sits at point 10.
    const auto spectrum = [](float peak) {
        TSpectrum s;
        s.m_nPoints = kPoints;
        std::vector<TComplex> d(kPoints, TComplex(0.5f, 0));
        for (int i = 40; i < kPoints; ++i)
            d[static_cast<size_t>(i)] = std::polar(i % 2 ? 3.0f : 1.0f, 0.1f * i);
        d[10] = TComplex(0, peak);
        s.SetComplexData(d.data());
        s.m_bSelected = 1;
        return s;
    };
    struct Case {
        TPeakSNRParams params;
        float peak;
        bool kept;
    };
    const Case cases[] = {
        {{5, 20, 40, 63, 3.0f}, 5.01f, true},    // just above mean + 3 sigma
        {{5, 20, 40, 63, 3.0f}, 4.99f, false},   // just below
        {{20, 5, 63, 40, 3.0f}, 5.01f, true},    // windows given backwards
        {{5, 20, 40, 500, 3.0f}, 5.01f, true},   // noise window limited to the spectrum
        {{10, 20, 40, 63, 0.0f}, 1000.0f, false},  // the largest point on the window's edge
        {{0, 10, 40, 63, 0.0f}, 1000.0f, false},
        {{10, 10, 40, 63, 0.0f}, 1000.0f, false},
        {{-5, 30, 40, 63, 3.0f}, 5.01f, true},
        {{70, 90, 40, 63, 0.0f}, 1000.0f, false},  // a window wholly outside the spectrum
        {{-9, -1, 40, 63, 0.0f}, 1000.0f, false},
        {{5, 20, 64, 80, 0.0f}, 1000.0f, false},
    };
    for (const Case& c : cases) {
        TSpectrum s = spectrum(c.peak);
        s.m_bSelected = 1;
        EXPECT_EQ(s.TestPeakSNR(c.params), c.kept) << c.params.peakFirst << ".." << c.params.peakLast << " " << c.peak;
        EXPECT_EQ(s.m_bSelected != 0, c.kept) << c.params.peakFirst << ".." << c.params.peakLast << " " << c.peak;
    }
    TSpectrum unselected = spectrum(1000.0f);
    unselected.m_bSelected = 0;
    EXPECT_FALSE(unselected.TestPeakSNR({5, 20, 40, 63, 0.0f}));
}

TEST(CSISetPeaks, PeakToNoiseTestOfEveryVoxel)
{
    // Voxel v has a peak of 100 at point 10 + 20 v: inside 5..30 for voxel 0, on its end
    // for voxel 1, outside it for voxel 2 (whose largest point in the window is then 5).
    TCSISet set;
    test::FillSet(set, 3, 1, 1, kPoints, [](int v, int i) {
        return i == 10 + 20 * v ? TComplex(100, 0) : TComplex(1.0f + (i % 2), 0);
    });
    for (size_t v = 0; v < 3; ++v)
        set.GetVoxel(v)->m_bSelected = 1;
    EXPECT_TRUE(set.TestPeakSNRAll({5, 30, 40, 63, 3.0f}));
    EXPECT_TRUE(set.GetVoxel(size_t(0))->m_bSelected);
    EXPECT_FALSE(set.GetVoxel(size_t(1))->m_bSelected);
    EXPECT_FALSE(set.GetVoxel(size_t(2))->m_bSelected);
    EXPECT_FALSE(set.TestPeakSNRAll({25, 60, 0, 5, 3.0f}));  // voxel 0's peak lies outside
    EXPECT_FALSE(set.GetVoxel(size_t(0))->m_bSelected);
}
