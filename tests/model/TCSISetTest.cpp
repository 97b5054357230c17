#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TProject.h"
#include "platform/Paths.h"
#include "platform/WaitCursor.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using vx::test::FillSet;

bool IsIdentity(const float m[3][3])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (m[r][c] != (r == c ? 1.0f : 0.0f))
                return false;
    return true;
}

}  // namespace

// Reset brings a changed set back to the state of a new one.
TEST(CSISet, ResetClearsAChangedSet)
{
    TProject project;
    TCSISet set;
    FillSet(set, 2, 2, 1, 4, [](int, int) { return TComplex(1, 1); });
    set.m_fFOV[1] = 120;
    set.m_fVoxelShift[2] = set.m_fOffCentre[0] = 1;
    set.m_bKSpace = 0;
    set.m_bFrequencyDomain = 1;
    set.m_fExtra[1] = 3;
    set.m_strPatientName = set.m_strNucleus = set.m_strName = set.m_strOrientation = "Doe";
    set.m_slicePhases.push_back({1, 2, 3});
    set.m_fRotation[0][1] = set.m_fRotationInverse[2][2] = 0.5f;
    set.m_nSliceAxis = 2;
    set.m_bWorkSet = 1;
    set.m_kSpaceMask.assign(4, 1);
    set.Reset();
    const float extra[3] = {0, 1, 0};  // 1: the coil quality factor
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(set.m_fFOV[d], 240.0f);
        EXPECT_EQ(set.m_nDim[d], 1);
        EXPECT_EQ(set.m_fVoxelShift[d], 0.0f);
        EXPECT_EQ(set.m_fOffCentre[d], 0.0f);
        EXPECT_EQ(set.m_fExtra[d], extra[d]);
    }
    EXPECT_EQ(set.m_bKSpace, 1);
    EXPECT_EQ(set.m_bFrequencyDomain, 0);
    for (const std::string* text : {&set.m_strExamName, &set.m_strExamDate, &set.m_strPatientName,
                                    &set.m_strPatientPosition, &set.m_strPatientOrientation, &set.m_strNucleus,
                                    &set.m_strPatientBirthDate})
        EXPECT_EQ(*text, "n/a");
    EXPECT_EQ(set.m_strName, "");
    EXPECT_EQ(set.m_strOrientation, "RAH");
    EXPECT_TRUE(IsIdentity(set.m_fRotation));
    EXPECT_TRUE(IsIdentity(set.m_fRotationInverse));
    EXPECT_EQ(set.m_nPoints, 0);
    EXPECT_EQ(set.m_nSliceAxis, 0);
    EXPECT_TRUE(set.m_slicePhases.empty());
    EXPECT_TRUE(set.m_kSpaceMask.empty());
    EXPECT_EQ(set.m_bWorkSet, 0);
    EXPECT_FALSE(set.IsAllocated());
    EXPECT_FALSE(set.IsLoaded());
    EXPECT_EQ(set.VoxelCount(), 0u);
    EXPECT_EQ(TCSISet(&project).GetProject(), &project);
    EXPECT_EQ(TCSISet().GetProject(), nullptr);
}

TEST(CSISet, AllocateAndInitVoxelsInGridOrder)
{
    TCSISet set;
    set.m_nDim[0] = 3;
    set.m_nDim[1] = 2;
    set.m_nDim[2] = 2;
    set.m_nPoints = 16;
    ASSERT_TRUE(set.AllocateVoxels());
    EXPECT_TRUE(set.IsAllocated());
    EXPECT_FALSE(set.IsLoaded());
    ASSERT_EQ(set.VoxelCount(), 12u);
    set.InitVoxels();
    // Voxel (2, 1, 1) sits at (1 * 2 + 1) * 3 + 2 = 11.
    const TSpectrum* s = set.GetVoxel(11);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->m_nX, 2);
    EXPECT_EQ(s->m_nY, 1);
    EXPECT_EQ(s->m_nZ, 1);
    EXPECT_EQ(s->m_nPoints, 16);
    EXPECT_EQ(s->m_pDataSet, &set);
    EXPECT_EQ(set.GetVoxel(2, 1, 1), s);
    EXPECT_EQ(set.GetVoxel(3, 0, 0), nullptr);
    EXPECT_EQ(set.GetVoxel(0, 0, -1), nullptr);
    EXPECT_EQ(set.GetVoxel(12), nullptr);
    EXPECT_FLOAT_EQ(s->m_fSize[0], 80.0f);
    EXPECT_FLOAT_EQ(s->m_fCentre[0], 2.5f * 80.0f - 120.0f);
}

TEST(CSISet, InitVoxelsKeepsTheSelectionOnlyWhileLoaded)
{
    TCSISet set;
    EXPECT_FALSE(set.HasSelectedVoxels());
    FillSet(set, 2, 1, 1, 4, [](int, int) { return TComplex(0, 0); });
    EXPECT_FALSE(set.HasSelectedVoxels());
    set.GetVoxel(1)->m_bSelected = 1;
    set.InitVoxels();
    EXPECT_TRUE(set.HasSelectedVoxels()) << "loaded: the selection survives";
    set.m_bLoaded = false;
    set.InitVoxels();
    EXPECT_FALSE(set.HasSelectedVoxels());
}

TEST(CSISet, AllocationRefusesEmptyAndGiantGrids)
{
    TCSISet set;
    set.m_nDim[1] = 0;
    EXPECT_FALSE(set.AllocateVoxels());
    EXPECT_FALSE(set.IsAllocated());
    set.m_nDim[0] = set.m_nDim[1] = set.m_nDim[2] = 1 << 20;  // 2^60 voxels
    EXPECT_FALSE(set.AllocateVoxels());
    EXPECT_EQ(set.VoxelCount(), 0u);
    set.m_nDim[0] = -3;
    EXPECT_EQ(set.GridSize(), 0u);
}

TEST(CSISet, FreeSpectraClearsFlagsAndDoesNothingWhenNeverAllocated)
{
    TCSISet never;
    never.FreeSpectra();
    EXPECT_FALSE(never.IsAllocated());
    EXPECT_FALSE(never.IsLoaded());

    TCSISet set;
    FillSet(set, 2, 2, 2, 8, [](int v, int i) { return TComplex(float(v), float(i)); });
    set.FreeSpectra();
    EXPECT_FALSE(set.IsAllocated());
    EXPECT_FALSE(set.IsLoaded());
    EXPECT_EQ(set.VoxelCount(), 0u);
    EXPECT_EQ(set.GetVoxel(0), nullptr);
    EXPECT_EQ(set.m_nDim[0], 2) << "the parameters stay";
}

TEST(CSISet, PointRangeRules)
{
    TCSISet set;
    set.m_nPoints = 128;
    struct Case {
        int first, last;            // arguments
        int wantFirst, wantLast;    // from the range 0..100
    };
    const Case cases[] = {
        {-1, 0, 0, 100},     // nothing changes
        {10, 5, 10, 11},     // last not above first: first + 1
        {150, 200, 99, 100}, // first past last: last - 1; last not below the count: ignored
        {20, 90, 20, 90},
        {-5, 127, 0, 127},
        {0, 128, 0, 100},    // 128 == points: ignored
        {100, -3, 99, 100},
        {30, 30, 30, 31},
    };
    for (const Case& c : cases) {
        set.m_nFirstPoint = 0;
        set.m_nLastPoint = 100;
        set.SetPointRange(c.first, c.last);
        int first = -9, last = -9;
        set.GetPointRange(first, last);
        EXPECT_EQ(first, c.wantFirst) << c.first << "," << c.last;
        EXPECT_EQ(last, c.wantLast) << c.first << "," << c.last;
    }
    // A set without points keeps the range 0..0.
    TCSISet fresh;
    fresh.SetPointRange(0, 0);
    fresh.SetPointRange(5, 0);
    int first = -9, last = -9;
    fresh.GetPointRange(first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
}

TEST(CSISet, PhasesPerSliceAndForTheWholeSet)
{
    TProject project;
    TCSISet set(&project);
    set.m_nDim[2] = 3;
    set.m_nSliceAxis = 2;
    set.m_fPhase0 = 0.1f;
    set.m_fPhase1 = 0.2f;
    set.m_nPivot = 7;
    float p0, p1;
    int pivot;
    set.GetPhase(1, p0, p1, pivot);
    EXPECT_EQ(p0, 0.1f) << "not multi-slice: the whole-set values";

    set.m_bMultiSlice = 1;
    set.m_slicePhases = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    set.GetPhase(1, p0, p1, pivot);
    EXPECT_EQ(p0, 4.0f);
    EXPECT_EQ(p1, 5.0f);
    EXPECT_EQ(pivot, 6);
    set.GetPhase(3, p0, p1, pivot);
    EXPECT_EQ(p0, 0.1f) << "slice outside the stack";
    set.GetPhase(-1, p0, p1, pivot);
    EXPECT_EQ(pivot, 7);

    EXPECT_FALSE(project.IsModified());
    set.SetPhase0(-1.5f, 1, 2);
    EXPECT_EQ(set.m_slicePhases[2].m_fPhase0, -1.5f);
    EXPECT_EQ(set.m_fPhase0, 0.1f);
    EXPECT_TRUE(project.IsModified());
    set.SetPhase1(2.5f, 11, 1, 0);
    EXPECT_EQ(set.m_slicePhases[0].m_fPhase1, 2.5f);
    EXPECT_EQ(set.m_slicePhases[0].m_fPivot, 11.0f);
    set.SetPhase1(0.25f, 13, 0, 0);
    EXPECT_EQ(set.m_fPhase1, 0.25f);
    EXPECT_EQ(set.m_nPivot, 13);
    set.SetPhase0(3.0f, 1, 9);  // no such slice: nothing stored
    EXPECT_EQ(set.m_fPhase0, 0.1f);

    project.SetModified(false);
    set.SetPPMCentre(256.0f, 4.7f);
    EXPECT_EQ(set.m_fPPMCentrePoint, 256.0f);
    EXPECT_EQ(set.m_fPPMCentreValue, 4.7f);
    EXPECT_TRUE(project.IsModified());

    TCSISet orphan;
    orphan.SetPPMCentre(1, 2);  // no project: nothing to mark
}

TEST(CSISet, Validity)
{
    auto valid = [] {
        TCSISet s;
        s.m_nPoints = 512;
        s.m_nEchoPosition = 0;
        s.m_fFrequency = 127.8f;
        s.m_nSpectralWidth = 2000;
        return s.IsValid();
    };
    EXPECT_TRUE(valid());
    struct Breaker {
        const char* what;
        void (*change)(TCSISet&);
    };
    const Breaker breakers[] = {
        {"no points", [](TCSISet& s) { s.m_nPoints = 0; }},
        {"echo at the end", [](TCSISet& s) { s.m_nEchoPosition = 512; }},
        {"negative echo", [](TCSISet& s) { s.m_nEchoPosition = -1; }},
        {"empty axis", [](TCSISet& s) { s.m_nDim[2] = 0; }},
        {"zero FOV", [](TCSISet& s) { s.m_fFOV[1] = 0; }},
        {"NaN FOV", [](TCSISet& s) { s.m_fFOV[0] = std::nanf(""); }},
        {"no frequency", [](TCSISet& s) { s.m_fFrequency = 0; }},
        {"no spectral width", [](TCSISet& s) { s.m_nSpectralWidth = 0; }},
    };
    for (const Breaker& b : breakers) {
        TCSISet s;
        s.m_nPoints = 512;
        s.m_fFrequency = 127.8f;
        s.m_nSpectralWidth = 2000;
        b.change(s);
        EXPECT_FALSE(s.IsValid()) << b.what;
    }
}

TEST(CSISet, SettersOfGeometry)
{
    TCSISet set;
    set.m_fVoxelShift[0] = 4;
    set.m_fVoxelShift[2] = -1;
    set.ClearVoxelShift();
    EXPECT_EQ(std::vector<float>(set.m_fVoxelShift, set.m_fVoxelShift + 3), std::vector<float>(3, 0.0f));
    set.m_fRotation[1][2] = 0.25f;  // copied as stored, not transposed
    float r[3][3] = {};
    set.GetRotation(r);
    EXPECT_EQ(r[1][2], 0.25f);
    EXPECT_EQ(r[2][1], 0.0f);

    set.m_strName = "brain csi";
    set.SetFolder("/data/project");
    EXPECT_EQ(set.GetFilePath(), "/data/project/brain csi");
    set.m_strName = "../escape";
    set.SetFolder("/data/project");
    EXPECT_EQ(vx::FolderOf(set.GetFilePath()), "/data/project") << "the name is one file name";
}

TEST(CSISet, UnitConversions)
{
    TCSISet set;
    set.m_nPoints = 128;
    set.m_nSpectralWidth = 2000;
    set.m_fFrequency = 100.0f;
    set.m_fPPMCentrePoint = 64.5f;
    // Hz: -(p - 64) * 2000 / 128
    EXPECT_FLOAT_EQ(set.PointToUnit(64, kUnitHz), 0.0f);
    EXPECT_FLOAT_EQ(set.PointToUnit(0, kUnitHz), 1000.0f);
    EXPECT_FLOAT_EQ(set.PointToUnit(96, kUnitHz), -500.0f);
    // PPM: -(p - 64.5) * 2000 / (128 * 100)
    EXPECT_FLOAT_EQ(set.PointToUnit(0, kUnitPPM), 10.078125f);
    EXPECT_FLOAT_EQ(set.PointToUnit(64.5f, kUnitPPM), 0.0f);
    // ms: p / 2000 * 1000
    EXPECT_FLOAT_EQ(set.PointToUnit(10, kUnitMs), 5.0f);
    EXPECT_FLOAT_EQ(set.PointToUnit(17.25f, kUnitPoints), 17.25f);
    EXPECT_FLOAT_EQ(set.PointToUnit(17.25f, 9), 17.25f);

    EXPECT_EQ(set.UnitToPoint(1000.0f, kUnitHz), 0);
    EXPECT_EQ(set.UnitToPoint(-500.0f, kUnitHz), 96);
    EXPECT_EQ(set.UnitToPoint(-10.0f, kUnitHz), 65) << "64.64 to the nearest point";
    EXPECT_EQ(set.UnitToPoint(10.078125f, kUnitPPM), 0);
    EXPECT_EQ(set.UnitToPoint(-1.0f, kUnitPPM), 71) << "64.5 + 6.4 = 70.9 to the nearest point";
    EXPECT_EQ(set.UnitToPoint(-0.4f, kUnitPPM), 67) << "64.5 + 2.56 = 67.06 to the nearest point";
    EXPECT_EQ(set.UnitToPoint(5.0f, kUnitMs), 10);
    EXPECT_EQ(set.UnitToPoint(12.9f, kUnitPoints), 13);
    EXPECT_EQ(set.UnitToPoint(1e30f, kUnitHz), INT_MIN) << "saturates instead of overflowing";
}

TEST(CSISet, AxisValuesAsText)
{
    TCSISet set;
    set.m_nPoints = 128;
    set.m_nSpectralWidth = 2000;
    set.m_fFrequency = 100.0f;
    set.m_fPPMCentrePoint = 64.5f;
    EXPECT_EQ(set.FormatAxisValue(12.9f, kUnitPoints), "12");
    EXPECT_EQ(set.FormatAxisValue(0, kUnitHz), "1000 Hz");
    EXPECT_EQ(set.FormatAxisValue(70, kUnitHz), "-93.75 Hz");
    EXPECT_EQ(set.FormatAxisValue(0, kUnitPPM), "10.08 PPM");
    EXPECT_EQ(set.FormatAxisValue(3, kUnitMs), "1.5 Ms");
    EXPECT_EQ(set.FormatAxisValue(3, 4), "");
    EXPECT_EQ(set.FormatAxisValue(3, -1), "");
}

TEST(CSISet, UnitConversionsOfAnEmptySetStayFinite)
{
    TCSISet set;  // no points, no spectral width, no frequency
    for (int unit = 0; unit < 4; ++unit) {
        EXPECT_TRUE(std::isfinite(set.PointToUnit(3, unit))) << unit;
        (void)set.UnitToPoint(3, unit);
    }
}

TEST(CSISet, TransformPointByHand)
{
    TCSISet set;
    // 90 degrees about z: (x, y, z) -> (-y, x, z); its inverse the transpose.
    const float r[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            set.m_fRotation[i][j] = r[i][j];
            set.m_fRotationInverse[i][j] = r[j][i];
        }
    set.m_fOffCentre[0] = set.m_fOffCentre[1] = set.m_fOffCentre[2] = 1;

    // Mode 0: R (p - o) = R (0, 1, 2); mode 2 negates z; mode 1: R' c + o = (0, 1, 2) + 1;
    // unknown modes leave the point.
    const struct {
        int mode;
        std::vector<float> in, out;
    } cases[] = {{0, {1, 2, 3}, {-1, 0, 2}}, {2, {1, 2, 3}, {-1, 0, -2}}, {1, {-1, 0, 2}, {1, 2, 3}},
                 {4, {5, 6, 7}, {5, 6, 7}}, {-1, {5, 6, 7}, {5, 6, 7}}};
    for (const auto& c : cases) {
        std::vector<float> p = c.in;
        set.TransformPoint(p.data(), c.mode);
        EXPECT_EQ(p, c.out) << c.mode;
    }
}

TEST(CSISet, TransformPointRoundTripsWithAnObliqueRotation)
{
    TCSISet set;
    // Rz(30) * Ry(-20) * Rx(45), built here from elementary rotations.
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const auto& [axis, degrees] : {std::pair{2, 30.0}, {1, -20.0}, {0, 45.0}}) {
        const double a = degrees * std::acos(-1.0) / 180, c = std::cos(a), s = std::sin(a);
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;  // the plane the rotation turns
        double e[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, out[3][3] = {};
        e[u][u] = e[v][v] = c;
        e[u][v] = -s;
        e[v][u] = s;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k)
                    out[i][j] += m[i][k] * e[k][j];
        std::copy(&out[0][0], &out[0][0] + 9, &m[0][0]);
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            set.m_fRotation[i][j] = static_cast<float>(m[i][j]);
            set.m_fRotationInverse[i][j] = static_cast<float>(m[j][i]);
        }
    set.m_fOffCentre[0] = 12.5f;
    set.m_fOffCentre[1] = -30;
    set.m_fOffCentre[2] = 7;

    const float start[3] = {40, -25, 18};
    for (const auto& modes : {std::pair<int, int>{0, 1}, {2, 3}}) {
        float p[3] = {start[0], start[1], start[2]};
        set.TransformPoint(p, modes.first);
        // The point moved: the rotation is not trivial.
        EXPECT_GT(std::fabs(p[0] - start[0]) + std::fabs(p[1] - start[1]), 1.0f);
        set.TransformPoint(p, modes.second);
        for (int d = 0; d < 3; ++d)
            EXPECT_NEAR(p[d], start[d], 1e-4) << "modes " << modes.first << "/" << modes.second;
    }
    // The z negation of mode 2 is applied after the rotation.
    float p0[3] = {start[0], start[1], start[2]};
    float p2[3] = {start[0], start[1], start[2]};
    set.TransformPoint(p0, 0);
    set.TransformPoint(p2, 2);
    EXPECT_FLOAT_EQ(p2[0], p0[0]);
    EXPECT_FLOAT_EQ(p2[2], -p0[2]);
}

TEST(CSISet, DataRangeOverSeveralVoxels)
{
    TCSISet set;
    // Voxel 1 holds both the largest and the smallest real value.
    FillSet(set, 2, 2, 1, 3, [](int v, int i) {
        if (v == 1)
            return i == 0 ? TComplex(9, 0) : (i == 1 ? TComplex(-7, 1) : TComplex(0, 0));
        if (v == 2)
            return TComplex(1, i == 2 ? 5.0f : -3.0f);
        if (v == 3)
            return TComplex(0.5f, i == 1 ? -8.0f : 0.0f);
        return TComplex(2, 2);
    });
    set.UpdateDataRange();
    EXPECT_FLOAT_EQ(set.m_fRealMax, 9);
    EXPECT_FLOAT_EQ(set.m_fRealMin, -7);
    EXPECT_FLOAT_EQ(set.m_fImagMax, 5);
    EXPECT_FLOAT_EQ(set.m_fImagMin, -8);
    EXPECT_FLOAT_EQ(set.m_fMagnitudeMax, 9);
    // Every spectrum got its own range too.
    EXPECT_FLOAT_EQ(set.GetVoxel(3)->m_fImagMin, -8);
    EXPECT_FLOAT_EQ(set.GetVoxel(0)->m_fMagnitudeMax, std::sqrt(8.0f));

    // All negative: the maximum is below 0, not 0.
    FillSet(set, 3, 1, 1, 2, [](int v, int) { return TComplex(-10.0f - v, -1.0f); });
    set.UpdateDataRange();
    EXPECT_FLOAT_EQ(set.m_fRealMax, -10);
    EXPECT_FLOAT_EQ(set.m_fRealMin, -12);
    EXPECT_FLOAT_EQ(set.m_fImagMax, -1);
}

namespace {
// Counts the wait-cursor calls while alive.
struct WaitCursorSpy {
    int begins = 0, ends = 0;
    WaitCursorSpy()
    {
        vx::SetWaitCursorHandlers([this] { ++begins; }, [this] { ++ends; });
    }
    ~WaitCursorSpy() { vx::SetWaitCursorHandlers(nullptr, nullptr); }
};
}  // namespace

TEST(CSISet, LoadDataReadsTheFileAndSetsTheDisplayRange)
{
    vx::test::TTempFolder folder;
    const std::string path = folder.File("set");
    {
        TCSISet source;
        FillSet(source, 2, 1, 1, 4, [](int v, int i) { return TComplex(i == 2 ? 3.0f + v : 0.5f, v == 1 ? -4.0f : 0.0f); });
        source.m_nSpectralWidth = 1000;
        source.m_fFrequency = 64;
        ASSERT_TRUE(source.WriteDataFile(path));
    }
    TProject project;
    TCSISet set(&project);
    set.m_strFilePath = path;
    WaitCursorSpy spy;
    ASSERT_TRUE(set.LoadData());
    EXPECT_TRUE(set.IsLoaded());
    EXPECT_EQ(set.VoxelCount(), 2u);
    EXPECT_FLOAT_EQ(set.GetVoxel(1)->GetReal(2), 4.0f);
    EXPECT_FLOAT_EQ(set.m_fMagnitudeMax, std::sqrt(16.0f + 16.0f));
    EXPECT_FLOAT_EQ(set.m_fDisplayMax, set.m_fMagnitudeMax);
    EXPECT_FLOAT_EQ(set.m_fDisplayMin, -set.m_fMagnitudeMax);
    EXPECT_EQ(spy.begins, 1);
    EXPECT_EQ(spy.ends, 1);

    // Loading again replaces the samples rather than adding to them.
    set.GetVoxel(0)->Multiply({10, 0});
    ASSERT_TRUE(set.LoadData());
    EXPECT_FLOAT_EQ(set.GetVoxel(0)->GetReal(0), 0.5f);
}

TEST(CSISet, LoadDataFailsCleanly)
{
    vx::test::TTempFolder folder;
    vx::test::TScriptedReport report;
    WaitCursorSpy spy;
    TCSISet missing;
    missing.m_strFilePath = folder.File("absent");
    EXPECT_FALSE(missing.LoadData());
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_EQ(spy.begins, spy.ends) << "the arrow comes back";
    EXPECT_EQ(report.Count(), 1u);

    // The project's file version steers the reader: a version-9 file while a
    // version-5 project is loaded is refused.
    const std::string path = folder.File("set");
    TCSISet source;
    FillSet(source, 1, 1, 1, 2, [](int, int) { return TComplex(1, 1); });
    ASSERT_TRUE(source.WriteDataFile(path));
    TProject old;
    old.m_nFileVersion = 5;
    TCSISet set(&old);
    set.m_strFilePath = path;
    EXPECT_FALSE(set.LoadData());
    EXPECT_FALSE(set.IsLoaded());
    ASSERT_EQ(report.Count(), 2u);
    EXPECT_NE(report.Entries().back().text.find(" has invalid version."), std::string::npos);
}
