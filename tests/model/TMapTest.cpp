// Metabolite maps made from a synthetic set with one Lorentzian line whose amplitude
// rises along x: creation against sums computed here, ratio maps, recomputation and
// every step of the quantitation with its messages.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

constexpr int kNX = 8, kNY = 3, kPoints = 256;
constexpr float kWidth = 2000.0f;      // Hz
constexpr float kFrequency = 127.7f;   // MHz
constexpr float kCentre = 128.0f;      // point of 0 ppm

// Point position of a ppm value on this axis, computed here from the axis definition
// (ppm falls as the point index grows).
double PointOf(double ppm)
{
    return kCentre - ppm * kFrequency * kPoints / kWidth;
}

// A Lorentzian line of half width 3 points at `ppm`, complex (absorption and dispersion).
std::complex<double> Line(double amplitude, double ppm, int i)
{
    const double d = i - PointOf(ppm);
    return amplitude * 3.0 / (3.0 - std::complex<double>(0.0, d));
}

// NAA at 2.0 ppm rising along x; creatine at 3.0 ppm, absent at x = 0.
std::complex<double> Sample(int x, int y, int i)
{
    return Line((1.0 + x) * (1.0 + 0.1 * y), 2.0, i) + Line(0.5 * x, 3.0, i);
}

// The sum of the samples whose points lie between the two ppm values (each rounded to
// its point as trunc(position + 0.5)), for voxel (x, y).
std::complex<double> ReferenceArea(int x, int y, double ppmA, double ppmB)
{
    int a = static_cast<int>(std::trunc(PointOf(ppmA) + 0.5));
    int b = static_cast<int>(std::trunc(PointOf(ppmB) + 0.5));
    if (a > b)
        std::swap(a, b);
    std::complex<double> sum = 0;
    for (int i = a; i <= b; ++i)
        sum += Sample(x, y, i);
    return sum;
}

void FillLines(TCSISet& set)
{
    test::FillGrid(set, kNX, kNY, 1, kPoints, [](int x, int y, int, int i) {
        const std::complex<double> s = Sample(x, y, i);
        return TComplex(static_cast<float>(s.real()), static_cast<float>(s.imag()));
    });
    set.m_nSpectralWidth = static_cast<int>(kWidth);
    set.m_fFrequency = kFrequency;
    set.m_fPPMCentrePoint = kCentre;
    set.m_fPPMCentreValue = 4.7f;  // a reference value beside the centre: not a point position
    set.m_nSliceAxis = 2;
    set.m_fFOV[0] = 80;
    set.m_fFOV[1] = 30;
    set.m_fFOV[2] = 25;
    set.m_fSliceThickness = 25;  // voxels of 10 x 10 x 25 mm: 2.5 ml
    set.m_fVoxelShift[0] = 1.5f;
    set.m_fAngulation[1] = 12.0f;
    set.m_fOffCentre[2] = -4.0f;
}

TMapParams NAAParams()
{
    TMapParams p;
    p.name = "NAA";
    p.peakStartPPM = 2.3f;
    p.peakEndPPM = 1.7f;
    p.size[0] = 32;  // what the caller wants; the map starts at the set's matrix
    p.aux1 = 17;
    return p;
}

class MapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        m_set = new TCSISet(&m_project);
        m_set->m_strName = "csi";
        FillLines(*m_set);
        m_project.m_pCSISetList->Add(m_set);
    }
    void TearDown() override { ResetGlobals(); }

    // The map value at (x, y) before quantitation, computed here.
    static std::complex<double> Expected(int x, int y) { return ReferenceArea(x, y, 2.3, 1.7); }

    static void ExpectValue(const TMap& map, int x, int y, std::complex<double> expected, const std::string& what)
    {
        const TComplex v = map.Values()[map.ValueIndex(x, y, 0)];
        const double tolerance = 1e-4 * (1.0 + std::abs(expected));
        EXPECT_NEAR(v.real(), expected.real(), tolerance) << what << " at " << x << "," << y;
        EXPECT_NEAR(v.imag(), expected.imag(), tolerance) << what << " at " << x << "," << y;
    }

    // Every value equals Expected times `factor`.
    static void ExpectScaled(const TMap& map, double factor, const std::string& what)
    {
        ASSERT_EQ(map.ValueCount(), static_cast<size_t>(kNX * kNY)) << what;
        for (int y = 0; y < kNY; ++y)
            for (int x = 0; x < kNX; ++x)
                ExpectValue(map, x, y, Expected(x, y) * factor, what);
    }

    TProject m_project;
    TCSISet* m_set = nullptr;  // owned by the project
};

}  // namespace

TEST_F(MapTest, AreaMapOfALineRisingAlongX)
{
    test::TScriptedReport report;
    TMap map(m_set);
    ASSERT_TRUE(map.Create(m_set, NAAParams()));
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_EQ(map.GetName(), "NAA_map");
    EXPECT_EQ(map.GetCSISetName(), "csi");
    EXPECT_EQ(std::vector<int>(map.size, map.size + 3), (std::vector<int>{kNX, kNY, 1}));
    EXPECT_EQ(map.voxelShift[0], 1.5f);  // the set's geometry
    EXPECT_EQ(map.offCentre[2], -4.0f);
    EXPECT_EQ(map.aux1, 17);             // carried from the caller
    ExpectScaled(map, 1.0, "area");
    for (int y = 0; y < kNY; ++y)
        for (int x = 1; x < kNX; ++x)
            EXPECT_GT(map.Values()[map.ValueIndex(x, y, 0)].real(), map.Values()[map.ValueIndex(x - 1, y, 0)].real());
    // The statistics and the display range come from the values.
    EXPECT_FLOAT_EQ(map.maxReal, map.Values()[map.ValueIndex(kNX - 1, kNY - 1, 0)].real());
    EXPECT_FLOAT_EQ(map.minReal, map.Values()[0].real());
    EXPECT_EQ(map.displayMax, map.maxReal);
    EXPECT_EQ(map.displayMin, map.minReal);
}

TEST_F(MapTest, CentredOnEachVoxelsPeak)
{
    // 2.9 to 1.3 ppm are points 81..107 (width 26); centred on each voxel's peak at point 95
    // the sum runs over 82..108.
    TMapParams centred = NAAParams();
    centred.peakStartPPM = 2.9f;
    centred.peakEndPPM = 1.3f;
    centred.centreOnPeak = 1;
    TMap map(m_set);
    ASSERT_TRUE(map.Create(m_set, centred));
    for (int x = 0; x < kNX; ++x) {
        std::complex<double> sum = 0;
        for (int i = 95 - 13; i <= 95 + 13; ++i)
            sum += Sample(x, 1, i);
        ExpectValue(map, x, 1, sum, "centred");
    }
}

TEST_F(MapTest, RatioOfTwoPeaks)
{
    TMapParams p = NAAParams();
    p.ratioOfPeaks = 1;
    p.refPeakStartPPM = 3.2f;
    p.refPeakEndPPM = 2.8f;
    TMap map(m_set);
    ASSERT_TRUE(map.Create(m_set, p));
    // NAA over creatine; at x = 0 only the tail of the NAA line falls into the second interval.
    for (int y = 0; y < kNY; ++y)
        for (int x = 0; x < kNX; ++x)
            ExpectValue(map, x, y, Expected(x, y).real() / ReferenceArea(x, y, 3.2, 2.8).real(), "ratio");
    // A denominator below 1e-6 gives 0: voxel 0 has no samples in the second interval.
    m_set->GetVoxel(size_t(0))->AllocateZeroed(kPoints);
    ASSERT_TRUE(map.Create(m_set, p));
    EXPECT_EQ(map.Values()[0], TComplex(0, 0));
}

TEST_F(MapTest, RefusedCreations)
{
    // The ppm value of point i, and the first ppm value beyond the last point.
    const auto ppmOf = [](double i) { return static_cast<float>((kCentre - i) * kWidth / (kFrequency * kPoints)); };
    struct Case {
        const char* what;
        float start, end, refStart, refEnd;
        int ratio, selectedOnly, method;
        const char* message;  // null: false without a message; "" : accepted
    };
    const std::string outOfRange = "Failed to create map NAA for CSI set csi because peak area is out of data range.";
    const std::string noSelection = "Failed to create map NAA for CSI set csi because no voxel is selected.";
    const Case cases[] = {
        {"last point", ppmOf(kPoints - 1), 2.0f, 0, 0, 0, 0, 0, ""},
        {"one past the last point", ppmOf(kPoints), 2.0f, 0, 0, 0, 0, 0, outOfRange.c_str()},
        {"below point 0", 2.0f, ppmOf(-1.6), 0, 0, 0, 0, 0, outOfRange.c_str()},
        {"just below point 0 rounds to it", 2.0f, ppmOf(-0.9), 0, 0, 0, 0, 0, ""},
        {"second interval outside", 2.3f, 1.7f, 2.0f, ppmOf(300), 1, 0, 0, outOfRange.c_str()},
        {"second interval ignored without ratio", 2.3f, 1.7f, 2.0f, ppmOf(300), 0, 0, 0, ""},
        {"nothing selected", 2.3f, 1.7f, 0, 0, 0, 1, 0, noSelection.c_str()},
        {"imported from an analysis", 2.3f, 1.7f, 0, 0, 0, 0, kMapFromAnalysis, nullptr},
        {"unknown method", 2.3f, 1.7f, 0, 0, 0, 0, 9, nullptr},
    };
    for (const Case& c : cases) {
        TMapParams p = NAAParams();
        p.peakStartPPM = c.start;
        p.peakEndPPM = c.end;
        p.refPeakStartPPM = c.refStart;
        p.refPeakEndPPM = c.refEnd;
        p.ratioOfPeaks = c.ratio;
        p.selectedOnly = c.selectedOnly;
        p.method = c.method;
        test::TScriptedReport report;
        TMap map(m_set);
        const bool accepted = c.message && std::string(c.message).empty();
        EXPECT_EQ(map.Create(m_set, p), accepted) << c.what;
        EXPECT_EQ(map.HasValues(), accepted) << c.what;
        if (c.message && !accepted)
            EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message}) << c.what;
        else
            EXPECT_EQ(report.Count(), 0u) << c.what;
    }
    // No set, or a set whose samples are not in memory: false and nothing said.
    test::TScriptedReport report;
    TMap map;
    EXPECT_FALSE(map.Create(nullptr, NAAParams()));
    m_set->m_bLoaded = false;
    EXPECT_FALSE(map.Create(m_set, NAAParams()));
    EXPECT_FALSE(map.HasValues());
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(MapTest, UpdateFollowsTheSamplesAndKeepsSizeAndDisplayRange)
{
    TMap map(m_set);
    ASSERT_TRUE(map.Create(m_set, NAAParams()));
    map.displayMin = -1.0f;
    map.displayMax = 2.0f;
    map.EnlargeTo(16, 6, 1);
    map.SetState(TMap::kSaved);
    m_set->Scale(2.0f);
    map.Update();
    EXPECT_EQ(map.size[0], 16);
    EXPECT_EQ(map.size[1], 6);
    EXPECT_EQ(map.displayMin, -1.0f);
    EXPECT_EQ(map.displayMax, 2.0f);
    EXPECT_EQ(map.GetState(), TMap::kChanged);
    // Shrunk back to the set's matrix it is twice the first map.
    map.ShrinkTo(kNX, kNY, 1);
    ExpectScaled(map, 2.0, "updated");

    // A shrunk map is updated at its own size.
    map.ShrinkTo(4, 3, 1);
    test::TScriptedReport report;
    map.Update();
    EXPECT_EQ(map.size[0], 4);
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(MapTest, UpdateThatCannotRunLeavesTheMap)
{
    TMap map(m_set);
    ASSERT_TRUE(map.Create(m_set, NAAParams()));
    const std::vector<TComplex> before(map.Values(), map.Values() + map.ValueCount());
    const auto unchanged = [&] {
        return std::vector<TComplex>(map.Values(), map.Values() + map.ValueCount()) == before;
    };
    m_set->Scale(3.0f);

    // The interval has left the spectrum after a new ppm centre.
    m_set->m_fPPMCentrePoint = 500.0f;
    {
        test::TScriptedReport report;
        map.Update();
        EXPECT_TRUE(unchanged());
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Failed to update map NAA_map for CSI set csi because "
                                                              "peak area is out of data range."});
    }
    m_set->m_fPPMCentrePoint = kCentre;
    // Samples not in memory: nothing to compute from.
    m_set->m_bLoaded = false;
    map.Update();
    EXPECT_TRUE(unchanged());
    m_set->m_bLoaded = true;
    // A map imported from an analysis is not recomputed from the samples.
    map.method = kMapFromAnalysis;
    map.Update();
    EXPECT_TRUE(unchanged());
    map.method = kMapAreaIntegration;
    map.Update();
    EXPECT_FALSE(unchanged());
}

// --- quantitation ------------------------------------------------------------------------

TEST_F(MapTest, GainCoilQualityAndRelaxation)
{
    m_set->SetScalarParam(1, 6.0f);  // receiver gain, dB
    m_set->SetScalarParam(0, 4.0f);  // coil quality factor
    const double hardware = std::pow(10.0, 0.3) * 2.0;
    struct Case {
        const char* what;
        float tr, te, t1, t2;
        double factor;
        const char* message;
    };
    const Case cases[] = {
        {"no relaxation data", 0.0f, 30.0f, 1200.0f, 300.0f, 1.0,
         "TE and TR are unknown for this data set, so no relaxation correction is applied."},
        {"relaxation", 1500.0f, 30.0f, 1200.0f, 300.0f, std::exp(30.0 / 300.0) / (1.0 - std::exp(-1500.0 / 1200.0)),
         nullptr},
        {"a zero T2", 1500.0f, 30.0f, 1200.0f, 0.0f, 1.0, "The T1 and/or T2 values are invalid."},
    };
    for (const Case& c : cases) {
        m_set->m_fTR = c.tr;
        m_set->m_fTE = c.te;
        TMapParams p = NAAParams();
        p.relaxationCorrection = 1;
        p.t1 = c.t1;
        p.t2 = c.t2;
        test::TScriptedReport report;
        TMap map(m_set);
        ASSERT_TRUE(map.Create(m_set, p));
        ExpectScaled(map, c.factor / hardware, c.what);
        if (c.message) {
            ASSERT_EQ(report.Count(), 1u) << c.what;
            EXPECT_EQ(report.Entries()[0].text, c.message);
            EXPECT_EQ(report.Entries()[0].icon, ReportIcon::None);
        } else {
            EXPECT_EQ(report.Count(), 0u) << c.what;
        }
    }
}

TEST_F(MapTest, InternalReference)
{
    TMapParams p = NAAParams();
    p.useInternalReference = 1;
    p.referenceConcentration = 10.0f;
    p.referenceVoxel[0] = 3;
    p.referenceVoxel[1] = 1;
    TMap map(m_set);
    ASSERT_TRUE(map.Create(m_set, p));
    EXPECT_NEAR(map.Values()[map.ValueIndex(3, 1, 0)].real(), 10.0f, 1e-4);
    EXPECT_NEAR(map.quantScale, 10.0 / Expected(3, 1).real(), 1e-6);
    ExpectScaled(map, 10.0 / Expected(3, 1).real(), "internal reference");

    // A reference voxel of value 0 (not selected) leaves the scale at 1.
    for (size_t v = 0; v < m_set->VoxelCount(); ++v)
        m_set->GetVoxel(v)->m_bSelected = v != m_set->VoxelIndex(3, 1, 0);
    p.selectedOnly = 1;
    TMap zero(m_set);
    ASSERT_TRUE(zero.Create(m_set, p));
    EXPECT_EQ(zero.quantScale, 1.0f);
    ExpectValue(zero, 5, 2, Expected(5, 2), "zero reference");

    // A reference voxel outside the grid is reported; nothing is scaled.
    p.selectedOnly = 0;
    p.referenceVoxel[0] = kNX;
    test::TScriptedReport report;
    TMap outside(m_set);
    ASSERT_TRUE(outside.Create(m_set, p));
    EXPECT_EQ(outside.quantScale, 1.0f);
    ExpectScaled(outside, 1.0, "reference voxel outside");
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"The reference voxel lies outside the map. No absolute quantitation is applied."});
}

namespace {

// A second set "water" of the project with a water map scaled to `concentration` at voxel
// (1, 1) through an internal reference.
TMap* AddWaterReference(TProject& project, float concentration, int molarUnit)
{
    auto* water = new TCSISet(&project);
    water->m_strName = "water";
    FillLines(*water);
    project.m_pCSISetList->Add(water);
    auto* map = new TMap(water);
    TMapParams p = NAAParams();
    p.name = "Water";
    p.useInternalReference = 1;
    p.referenceConcentration = concentration;
    p.referenceVoxel[0] = 1;
    p.referenceVoxel[1] = 1;
    p.molarUnit = molarUnit;
    EXPECT_TRUE(map->Create(water, p));
    water->AddMap(map);
    return map;
}

TMapParams ReferencedParams(int voxelByVoxel)
{
    TMapParams p = NAAParams();
    p.useReferenceMap = 1;
    p.referenceSetName = "water";
    p.referenceMapName = "Water_map";
    p.voxelByVoxel = voxelByVoxel;
    return p;
}

}  // namespace

TEST_F(MapTest, ReferenceMapScalesByItsFactor)
{
    TMap* water = AddWaterReference(m_project, 40.0f, 1);
    const double f = water->quantScale;
    ASSERT_NEAR(f, 40.0 / Expected(1, 1).real(), 1e-6);
    TMap map(m_set);
    ASSERT_TRUE(map.Create(m_set, ReferencedParams(0)));
    ExpectScaled(map, f, "reference map");
    EXPECT_EQ(map.GetReferenceSetName(), "water");
    EXPECT_EQ(map.GetReferenceMapName(), "Water_map");

    // Voxel by voxel: each value times f * concentration / the reference map's value there,
    // which is f times the same area: every value becomes the concentration.
    TMap each(m_set);
    ASSERT_TRUE(each.Create(m_set, ReferencedParams(1)));
    for (int y = 0; y < kNY; ++y)
        for (int x = 0; x < kNX; ++x)
            EXPECT_NEAR(each.Values()[each.ValueIndex(x, y, 0)].real(), 40.0, 1e-3);

    // A reference in moles: the values are also divided by this set's voxel volume
    // (10 x 10 x 25 mm, 2.5 ml); a volume of 0 is left out and reported.
    water->molarUnit = 0;
    TMap moles(m_set);
    ASSERT_TRUE(moles.Create(m_set, ReferencedParams(0)));
    ExpectScaled(moles, f / 2.5, "moles");
    m_set->m_fSliceThickness = 0.0f;
    test::TScriptedReport report;
    TMap unknown(m_set);
    ASSERT_TRUE(unknown.Create(m_set, ReferencedParams(0)));
    ExpectScaled(unknown, f, "no volume");
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"The voxel volume of this data set is unknown, so the values are not divided by it."});
}

TEST_F(MapTest, ReferenceMapThatCannotServe)
{
    TMap* water = AddWaterReference(m_project, 40.0f, 1);
    const std::string missing = "Can't find the reference map. No absolute quantitation is applied.";
    const std::string dimensions = "Reference map has different dimensions. No absolute quantitation is applied.";
    struct Case {
        const char* what;
        std::string set, map;
        int voxelByVoxel;
        std::function<void()> prepare;
        std::string message;
    };
    const Case cases[] = {
        {"unknown set", "Water", "Water_map", 0, [] {}, missing},
        {"unknown map", "water", "water_map", 0, [] {}, missing},
        {"not an internal reference", "water", "Water_map", 0, [&] { water->useInternalReference = 0; }, missing},
        {"other dimensions", "water", "Water_map", 1, [&] { water->EnlargeTo(16, 6, 1); }, dimensions},
        {"other dimensions, one factor", "water", "Water_map", 0, [] {}, ""},
    };
    for (const Case& c : cases) {
        c.prepare();
        TMapParams p = ReferencedParams(c.voxelByVoxel);
        p.referenceSetName = c.set;
        p.referenceMapName = c.map;
        test::TScriptedReport report;
        TMap map(m_set);
        ASSERT_TRUE(map.Create(m_set, p)) << c.what;
        if (c.message.empty()) {
            EXPECT_EQ(report.Count(), 0u) << c.what;
            EXPECT_EQ(map.useReferenceMap, 1) << c.what;
            continue;
        }
        ExpectScaled(map, 1.0, c.what);
        EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message}) << c.what;
        EXPECT_EQ(report.Entries()[0].icon, ReportIcon::None) << c.what;
        EXPECT_EQ(map.useReferenceMap, 0) << c.what;
        EXPECT_EQ(map.GetReferenceSetName(), "n/a") << c.what;
        water->useInternalReference = 1;
    }
}

// --- construction, statistics ---------------------------------------------------------------

TEST(Map, StatisticsOverTheValues)
{
    TMap map;
    EXPECT_EQ(map.GetMaxMagnitude(), 0.0f);
    const int dim[3] = {2, 2, 1};
    ASSERT_TRUE(map.SetGrid(dim, {TComplex(3, -4), TComplex(-6, 0), TComplex(1, 2), TComplex(-6, 7)}));
    map.UpdateStatistics();
    EXPECT_FLOAT_EQ(map.maxMagnitude, std::sqrt(85.0f));
    EXPECT_FLOAT_EQ(map.minMagnitude, std::sqrt(5.0f));
    EXPECT_EQ(map.maxReal, 3.0f);
    EXPECT_EQ(map.minReal, -6.0f);
    EXPECT_EQ(map.maxImag, 7.0f);
    EXPECT_EQ(map.minImag, -4.0f);
    const int wrong[3] = {3, 2, 1};
    EXPECT_FALSE(map.SetGrid(wrong, {TComplex(1, 1)}));
    EXPECT_EQ(map.size[0], 2);
}

TEST_F(MapTest, AMapOutlivesItsReferenceSet)
{
    // A map names its reference: once that set is gone the reference is simply not found.
    TMap* water = AddWaterReference(m_project, 40.0f, 1);
    TCSISet* waterSet = water->GetCSISet();
    auto* map = new TMap(m_set);
    ASSERT_TRUE(map->Create(m_set, ReferencedParams(1)));
    m_set->AddMap(map);
    m_project.m_pCSISetList->Erase(m_project.m_pCSISetList->Find(waterSet));
    delete waterSet;  // and its maps with it
    test::TScriptedReport report;
    m_set->UpdateMaps();
    ExpectScaled(*map, 1.0, "without its reference");
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Can't find the reference map. No absolute quantitation is applied."});
}
