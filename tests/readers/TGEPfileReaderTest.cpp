// The EXCITE 2D/3D P-file reader: where a line of a synthetic grid lands in every
// orientation, what the header gives the set, and the files it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "gehdr/GETestSupport.h"
#include "model/TCSISet.h"
#include "readers/GEPfileTestFiles.h"
#include "readers/ReaderFactory.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

constexpr int kExcite = 15;

// The voxel whose spectrum is largest at `point`, and how far the largest of the others
// stays below it.
struct TPeak {
    int index[3] = {-1, -1, -1};
    double ratio = 0;  // runner-up / peak
};
TPeak FindPeak(const TCSISet& set, int point)
{
    TPeak peak;
    double best = -1, second = 0;
    for (int z = 0; z < set.m_nDim[2]; ++z)
        for (int y = 0; y < set.m_nDim[1]; ++y)
            for (int x = 0; x < set.m_nDim[0]; ++x) {
                const double m = set.GetVoxel(x, y, z)->GetMagnitude(point);
                if (m > best) {
                    second = std::max(second, best);
                    best = m;
                    peak.index[0] = x;
                    peak.index[1] = y;
                    peak.index[2] = z;
                } else {
                    second = std::max(second, m);
                }
            }
    peak.ratio = best > 0 ? second / best : 1;
    return peak;
}

// The in-plane axes (first, second) of each slice axis.
constexpr int kInPlane[3][2] = {{1, 2}, {0, 2}, {0, 1}};

// Where the reorientation moves a voxel: index v on the set's axes, with sizes n.
void Flip(int v[3], const int n[3], int axis) { v[axis] = n[axis] - 1 - v[axis]; }
void Transpose(int v[3], int n[3], int s)
{
    std::swap(v[kInPlane[s][0]], v[kInPlane[s][1]]);
    std::swap(n[kInPlane[s][0]], n[kInPlane[s][1]]);
}

}  // namespace

TEST(GEPfileReader, LineLandsAtTheKnownVoxelInEveryOrientation)
{
    TScriptedReport report;
    getest::TCapturedStderr quiet;
    TTempFolder folder;
    const struct {
        int plane, oblique, sliceAxis;
    } planes[] = {{2, 0, 2}, {4, 0, 0}, {8, 0, 1}, {16, 18, 2}, {16, 20, 0}, {16, 24, 1}};
    const int revisions[] = {kRev11, kRev14, kRev9};
    int run = 0;
    for (int dimsCount : {2, 3})
        for (const auto& plane : planes)
            for (int transpose : {0, 1})
                for (int mode : {0, 1, 2, 3}) {
                    ++run;
                    TPfileHeader h;
                    h.revision = revisions[run % 3];
                    h.order = run % 2;
                    h.pointSize = (run / 2) % 2 ? 4 : 2;
                    h.field56 = (run / 4) % 2;  // bit 0 clear: alternated signs along x
                    h.points = 32;
                    h.dims[2] = dimsCount == 3 ? 4 : 1;
                    h.plane = plane.plane;
                    h.obliquePlane = plane.oblique;
                    h.field178 = transpose ? 0 : 1;
                    h.field176 = mode;
                    const int at[3] = {1, 5, dimsCount == 3 ? 2 : 0};
                    const std::string path = folder.File("P" + std::to_string(run) + ".7");
                    WriteBytes(path, PfileBytes(h, KSpaceLine(h.dims, dimsCount, at, LineFid(h.points),
                                                              (h.field56 & 1) == 0)));
                    const auto set = ReadAs(kExcite, path);
                    const std::string what = "run " + std::to_string(run) + ": plane " +
                                             std::to_string(plane.plane) + "/" + std::to_string(plane.oblique) +
                                             ", " + std::to_string(dimsCount) + "-D, transpose " +
                                             std::to_string(transpose) + ", mode " + std::to_string(mode);
                    ASSERT_NE(set, nullptr) << what;

                    // Header x, y, z lie on the first in-plane axis, the second and the slice
                    // axis; then the fixed flip of the second axis, the header's transposes and
                    // flips, and for axial grids the flip of z.
                    const int s = plane.sliceAxis, a = kInPlane[s][0], b = kInPlane[s][1];
                    int v[3], n[3];
                    v[a] = at[0], v[b] = at[1], v[s] = at[2];
                    n[a] = h.dims[0], n[b] = h.dims[1], n[s] = h.dims[2];
                    Flip(v, n, b);
                    if (transpose)
                        Transpose(v, n, s);
                    if (mode == 1)
                        Transpose(v, n, s), Flip(v, n, b);
                    if (mode == 2)
                        Flip(v, n, a), Flip(v, n, b);
                    if (mode == 3)
                        Transpose(v, n, s), Flip(v, n, a);
                    if (s == 2)
                        Flip(v, n, 2);

                    EXPECT_EQ(set->m_nSliceAxis, s) << what;
                    for (int k = 0; k < 3; ++k)
                        EXPECT_EQ(set->m_nDim[k], n[k]) << what;
                    // The frequency flip conjugates the FID; the inverse transform (exp(+i))
                    // then finds the line at -(-f): point N/8 above the centre once the
                    // halves are swapped.
                    const int point = h.points / 2 + h.points / 8;
                    const TPeak peak = FindPeak(*set, point);
                    EXPECT_EQ(peak.index[0], v[0]) << what;
                    EXPECT_EQ(peak.index[1], v[1]) << what;
                    EXPECT_EQ(peak.index[2], v[2]) << what;
                    EXPECT_LT(peak.ratio, 0.01) << what;
                    const TSpectrum& line = *set->GetVoxel(v[0], v[1], v[2]);
                    EXPECT_NEAR(line.GetMagnitude(point), 1000.0 * h.points, 5.0 * h.points) << what;
                    EXPECT_LT(line.GetMagnitude(point + 1), 1e-3 * line.GetMagnitude(point)) << what;
                }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(GEPfileReader, HeaderValuesGoToTheSet)
{
    TScriptedReport report;
    getest::TCapturedStderr quiet;
    TTimeZone utc("UTC");
    TTempFolder folder;
    using Check = void (*)(const TCSISet&);
    const struct {
        const char* name;
        void (*change)(TPfileHeader&);
        Check check;
    } cases[] = {
        {"texts and times", [](TPfileHeader&) {},
         [](const TCSISet& s) {
             EXPECT_EQ(s.m_strName, "P00001");
             EXPECT_EQ(s.m_strPatientName, "4321");
             EXPECT_EQ(s.m_strExamDate, "2005.06.16");
             EXPECT_EQ(s.m_strExamName, "CSI 2D");
             EXPECT_FLOAT_EQ(s.m_fTR, 1500.0f);
             EXPECT_FLOAT_EQ(s.m_fTE, 35.0f);
             EXPECT_FLOAT_EQ(s.m_fFrequency, 127.7346f);
             EXPECT_EQ(s.m_nSpectralWidth, 2000);
             EXPECT_EQ(s.m_nPoints, 64);
             EXPECT_EQ(s.m_nLastPoint, 63);
             EXPECT_FLOAT_EQ(s.m_fPPMCentrePoint, 32.0f);
             EXPECT_EQ(s.m_nEchoPosition, 0);
             EXPECT_EQ(s.m_nFormat, 15);
             EXPECT_EQ(s.m_nSpatialDims, 2);
             EXPECT_EQ(s.m_bFrequencyDomain, 1);
             EXPECT_EQ(s.m_bKSpace, 0);
             // Positions have x and y negated; the axial slab is one slice thick.
             EXPECT_FLOAT_EQ(s.m_fOffCentre[0], -1.5f);
             EXPECT_FLOAT_EQ(s.m_fOffCentre[1], 2.5f);
             EXPECT_FLOAT_EQ(s.m_fOffCentre[2], 20.0f);
             EXPECT_FLOAT_EQ(s.m_fFOV[0], 160.0f);
             EXPECT_FLOAT_EQ(s.m_fFOV[1], 160.0f);
             EXPECT_FLOAT_EQ(s.m_fFOV[2], 10.0f);
             EXPECT_FLOAT_EQ(s.m_fSliceThickness, 10.0f);
             EXPECT_EQ(s.m_nVolumes, 0);
         }},
        {"spectral width truncated", [](TPfileHeader& h) { h.spectralWidth = 2499.9f; },
         [](const TCSISet& s) { EXPECT_EQ(s.m_nSpectralWidth, 2499); }},
        {"echo in the middle", [](TPfileHeader& h) { h.echoFlag = 3; },
         [](const TCSISet& s) {
             EXPECT_EQ(s.m_bEchoShifted, 1);
             EXPECT_EQ(s.m_nEchoPosition, 32);
         }},
        {"position 3 entry 0", [](TPfileHeader& h) { h.patientPosition = 3, h.patientEntry = 0; },
         [](const TCSISet& s) {
             EXPECT_EQ(s.m_strPatientPosition, "Supine");
             EXPECT_EQ(s.m_strPatientOrientation, "HF");
         }},
        {"prone feet first", [](TPfileHeader& h) { h.patientPosition = 2, h.patientEntry = 2; },
         [](const TCSISet& s) {
             EXPECT_EQ(s.m_strPatientPosition, "Prone");
             EXPECT_EQ(s.m_strPatientOrientation, "FF");
         }},
        {"left decubitus", [](TPfileHeader& h) { h.patientPosition = 4; },
         [](const TCSISet& s) { EXPECT_EQ(s.m_strPatientPosition, "Left-D"); }},
        {"right decubitus", [](TPfileHeader& h) { h.patientPosition = 8; },
         [](const TCSISet& s) { EXPECT_EQ(s.m_strPatientPosition, "Right-D"); }},
        {"rect fov below 0.001 is square", [](TPfileHeader& h) { h.rectFov = 0.0005f; },
         [](const TCSISet& s) { EXPECT_FLOAT_EQ(s.m_fFOV[1], 160.0f); }},
        {"rect fov from the image matrix", [](TPfileHeader& h) { h.rectFov = 0.001f; },
         [](const TCSISet& s) { EXPECT_FLOAT_EQ(s.m_fFOV[1], 128.0f); }},
        {"3-D slab from the fov", [](TPfileHeader& h) { h.dims[2] = 4; },
         [](const TCSISet& s) {
             EXPECT_EQ(s.m_nSpatialDims, 3);
             EXPECT_FLOAT_EQ(s.m_fFOV[2], 160.0f);
             EXPECT_FLOAT_EQ(s.m_fSliceThickness, 40.0f);
         }},
        {"16 x 1 x 1 is one-dimensional", [](TPfileHeader& h) { h.dims[0] = 16, h.dims[1] = 1; },
         [](const TCSISet& s) {
             EXPECT_EQ(s.m_nSpatialDims, 1);
             EXPECT_EQ(s.m_bFrequencyDomain, 1);
             EXPECT_EQ(s.m_bKSpace, 1);
         }},
        {"PRESS in capitals selects the volume", [](TPfileHeader& h) { h.sequenceName = "ProbePRESS2d"; },
         [](const TCSISet& s) {
             EXPECT_EQ(s.m_nVolumes, 1);
             EXPECT_FLOAT_EQ(s.m_fVolSize[0][0], 80.0f);
             EXPECT_FLOAT_EQ(s.m_fVolSize[1][0], 70.0f);
             EXPECT_FLOAT_EQ(s.m_fVolSize[2][0], 10.0f);
             EXPECT_FLOAT_EQ(s.m_fVolOffCentre[0][0], -4.0f);
             EXPECT_FLOAT_EQ(s.m_fVolOffCentre[1][0], 6.0f);
             EXPECT_FLOAT_EQ(s.m_fVolOffCentre[2][0], 18.0f);
             EXPECT_FLOAT_EQ(s.m_fOffCentre[0], -1.5f) << "2-D grids keep the slice centre";
         }},
        {"prose selects the volume", [](TPfileHeader& h) { h.sequenceName = "prose_csi"; },
         [](const TCSISet& s) { EXPECT_EQ(s.m_nVolumes, 1); }},
        {"3-D volume centres the grid", [](TPfileHeader& h) { h.sequenceName = "steam", h.dims[2] = 4; },
         [](const TCSISet& s) {
             EXPECT_FLOAT_EQ(s.m_fOffCentre[0], -4.0f);
             EXPECT_FLOAT_EQ(s.m_fOffCentre[1], 6.0f);
             EXPECT_FLOAT_EQ(s.m_fOffCentre[2], 18.0f);
             EXPECT_FLOAT_EQ(s.m_fFOV[2], 48.0f) << "field 26 times the partitions";
         }},
        {"unknown oblique code keeps slice axis 0", [](TPfileHeader& h) { h.plane = 16, h.obliquePlane = 19; },
         [](const TCSISet& s) { EXPECT_EQ(s.m_nSliceAxis, 0); }},
        {"big-endian 14.3 int32", [](TPfileHeader& h) { h.revision = kRev14, h.order = 0, h.pointSize = 4; },
         [](const TCSISet& s) {
             EXPECT_EQ(s.m_strPatientName, "4321");
             EXPECT_FLOAT_EQ(s.m_fTE, 35.0f);
         }},
    };
    for (const auto& c : cases) {
        TPfileHeader h;
        c.change(h);
        const std::string path = folder.File("P00001.7");
        WriteBytes(path, EmptyGrid(h));
        const auto set = ReadAs(kExcite, path);
        ASSERT_NE(set, nullptr) << c.name;
        SCOPED_TRACE(c.name);
        c.check(*set);
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(GEPfileReader, InPlaneFieldOfViewRatio)
{
    TScriptedReport report;
    getest::TCapturedStderr quiet;
    TTempFolder folder;
    const struct {
        int dims[2];
        float ratio;
        float fov[2];  // first and second in-plane axis after the read
    } cases[] = {
        {{16, 8}, 0.5f, {160.0f, 80.0f}},
        {{8, 16}, 0.25f, {40.0f, 160.0f}},
        {{8, 8}, 0.5f, {160.0f, 160.0f}},
        // A ratio that would leave no usable field of view keeps the header's fields.
        {{16, 8}, 0.0f, {160.0f, 160.0f}},
        {{16, 8}, -1.0f, {160.0f, 160.0f}},
        {{16, 8}, std::numeric_limits<float>::quiet_NaN(), {160.0f, 160.0f}},
    };
    for (const auto& c : cases) {
        TPfileHeader h;
        h.dims[0] = c.dims[0];
        h.dims[1] = c.dims[1];
        h.fovRatio = c.ratio;
        const std::string path = folder.File("P1.7");
        WriteBytes(path, EmptyGrid(h));
        const auto set = ReadAs(kExcite, path);
        ASSERT_NE(set, nullptr);
        EXPECT_FLOAT_EQ(set->m_fFOV[0], c.fov[0]) << c.dims[0] << "x" << c.dims[1] << " ratio " << c.ratio;
        EXPECT_FLOAT_EQ(set->m_fFOV[1], c.fov[1]) << c.dims[0] << "x" << c.dims[1] << " ratio " << c.ratio;
    }
}

TEST(GEPfileReader, LoadRawDataKeepsTheFileSamples)
{
    TScriptedReport report;
    getest::TCapturedStderr quiet;
    TTempFolder folder;
    TPfileHeader h;
    h.order = 0;
    h.dims[0] = 4;
    h.dims[1] = 2;
    h.points = 8;
    // Every value tells its voxel and point.
    std::vector<std::complex<double>> samples;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            for (int t = 0; t < 8; ++t)
                samples.emplace_back(100 * y + 10 * x + t, -(100 * y + 10 * x + t));
    const std::string path = folder.File("P2.7");
    WriteBytes(path, PfileBytes(h, samples));
    TCSIReadParams p;
    p.m_bLoadRawData = 1;
    p.m_bNormalize = 1;
    const auto set = ReadAs(kExcite, path, p);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_bKSpace, 1);
    EXPECT_EQ(set->m_bFrequencyDomain, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            for (int t = 0; t < 8; ++t) {
                const std::complex<float> v = set->GetVoxel(x, y, 0)->Data()[t];
                EXPECT_EQ(v, std::complex<float>(float(100 * y + 10 * x + t), -float(100 * y + 10 * x + t)))
                    << x << "," << y << "," << t;
            }
    EXPECT_EQ(set->m_kSpaceMask.size(), 8u);
}

TEST(GEPfileReader, RefusedFilesSayWhy)
{
    getest::TCapturedStderr quiet;
    TTempFolder folder;
    const std::string path = folder.File("P3.7");
    const struct {
        const char* name;
        void (*change)(TPfileHeader&);
        std::string message;  // empty: refused without a message
    } cases[] = {
        {"software 10", [](TPfileHeader& h) { h.swVersion = "10"; }, "The data file  " + path + " is not EXCITE 11.0 version."},
        {"software 9x", [](TPfileHeader& h) { h.swVersion = "9x"; }, "The data file  " + path + " is not EXCITE 11.0 version."},
        {"software without digits", [](TPfileHeader& h) { h.swVersion = "LX"; },
         "The data file  " + path + " is not EXCITE 11.0 version."},
        {"3-byte samples", [](TPfileHeader& h) { h.pointSize = 3; }, "Wrong data type(it should be int16 or int32)."},
        {"plane 3", [](TPfileHeader& h) { h.plane = 3; }, "Invalid slice orientation."},
        {"single voxel", [](TPfileHeader& h) { h.dims[0] = h.dims[1] = 1; },
         "This is a single voxel data file. Use the GE Single Voxel option."},
        {"negative matrix", [](TPfileHeader& h) { h.dims[1] = -8; }, ""},
        {"no points", [](TPfileHeader& h) { h.points = 0; }, ""},
        {"no spectral width", [](TPfileHeader& h) { h.spectralWidth = std::nanf(""); }, ""},
        {"no field of view", [](TPfileHeader& h) { h.fov = 0; }, ""},
        // A point count whose largest prime factor the FFT cannot take.
        {"41 points", [](TPfileHeader& h) { h.points = 41; }, "*"},
    };
    for (const auto& c : cases) {
        TScriptedReport report;
        TPfileHeader h;
        c.change(h);
        WriteBytes(path, EmptyGrid(h));
        EXPECT_EQ(ReadAs(kExcite, path), nullptr) << c.name;
        if (c.message == "*") {
            EXPECT_EQ(report.Count(), 1u) << c.name << ": one report, however many voxels";
        } else if (c.message.empty()) {
            EXPECT_EQ(report.Count(), 0u) << c.name;
        } else {
            ASSERT_EQ(report.Messages().size(), 1u) << c.name;
            EXPECT_EQ(report.Messages()[0], c.message) << c.name;
        }
    }

    TScriptedReport report;
    WriteBytes(path, "not a P-file at all");
    EXPECT_EQ(ReadAs(kExcite, path), nullptr);
    const std::string missing = folder.File("P404.7");
    EXPECT_EQ(ReadAs(kExcite, missing), nullptr);
    ASSERT_EQ(report.Messages().size(), 2u);
    EXPECT_EQ(report.Messages()[0], "The file " + path + " is not a recognized GE raw CSI data file.");
    EXPECT_EQ(report.Messages()[1], "The file " + missing + " is not a recognized GE raw CSI data file.");
}

TEST(GEPfileReader, TruncatedAndHostileFilesAreRefusedCleanly)
{
    getest::TCapturedStderr quiet;
    TTempFolder folder;
    const std::string path = folder.File("P4.7");
    TPfileHeader h;
    h.points = 16;
    h.dims[0] = h.dims[1] = 4;
    const std::string whole = EmptyGrid(h);
    {
        TScriptedReport report;
        WriteBytes(path, whole);
        ASSERT_NE(ReadAs(kExcite, path), nullptr);
    }
    // Cut anywhere: the header cannot be read, or the samples are short.
    for (size_t cut = 0; cut < whole.size(); cut += 64) {
        TScriptedReport report;
        WriteBytes(path, whole.substr(0, cut));
        EXPECT_EQ(ReadAs(kExcite, path), nullptr) << cut;
        EXPECT_LE(report.Count(), 1u) << cut;
    }
    // Matrix sizes that claim far more than the file holds are refused before any
    // allocation of their size.
    const int claims[][3] = {{32767, 32767, 32767}, {256, 256, 1}};
    for (const auto& dims : claims) {
        TScriptedReport report;
        TPfileHeader big = h;
        for (int k = 0; k < 3; ++k)
            big.dims[k] = dims[k];
        big.points = 65535;
        WriteBytes(path, PfileHeaderBytes(big) + std::string(4096, '\0'));
        EXPECT_EQ(ReadAs(kExcite, path), nullptr) << dims[0];
        EXPECT_EQ(report.Count(), 0u) << dims[0];
    }
}

TEST(GEPfileReader, ObliquePlaneRotation)
{
    TScriptedReport report;
    getest::TCapturedStderr quiet;
    TTempFolder folder;
    const std::string path = folder.File("P12.7");
    // Header positions have x and y negated against the set's coordinates; the rotation
    // takes the corners (relative to the centre) and the normal to the grid's corners
    // and slice direction.
    const float c = std::sqrt(0.5f);
    const struct {
        int obliquePlane;
        std::array<float, 3> corner1, corner2, normal;
        float p1[3], p2[3], e[3];  // expected images; axial ones only in part
    } cases[] = {
        // Coronal tilted 45 degrees about x: corners at +-80 mm along x, 80 mm up the tilt.
        {24, {80.0f, -56.568542f, 56.568542f}, {-80.0f, -56.568542f, 56.568542f}, {0.0f, c, c},
         {-80.0f, 0.0f, 80.0f}, {80.0f, 0.0f, 80.0f}, {0.0f, -1.0f, 0.0f}},
        // Sagittal tilted about z.
        {20, {-56.568542f, 136.568542f, 80.0f}, {-56.568542f, -36.568542f, 80.0f}, {c, -c, 0.0f},
         {0.0f, -80.0f, 80.0f}, {0.0f, 80.0f, 80.0f}, {-1.0f, 0.0f, 0.0f}},
        // Axial tilted about y.
        {18, {70.0f, 80.0f, 30.0f}, {-90.0f, 80.0f, -10.0f}, {c, 0.0f, c},
         {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},
    };
    for (const auto& k : cases) {
        TPfileHeader h;
        h.plane = 16;
        h.obliquePlane = k.obliquePlane;
        h.centre = {0.0f, 0.0f, 0.0f};
        h.corner1 = k.corner1;
        h.corner2 = k.corner2;
        h.normal = k.normal;
        WriteBytes(path, EmptyGrid(h));
        const auto set = ReadAs(kExcite, path);
        ASSERT_NE(set, nullptr) << k.obliquePlane;
        auto apply = [&](const float (&m)[3][3], const std::array<float, 3>& v, bool negate) {
            const float u[3] = {negate ? -v[0] : v[0], negate ? -v[1] : v[1], v[2]};
            std::array<float, 3> r{};
            for (int i = 0; i < 3; ++i)
                r[size_t(i)] = m[i][0] * u[0] + m[i][1] * u[1] + m[i][2] * u[2];
            return r;
        };
        const auto p1 = apply(set->m_fRotation, k.corner1, true);
        const auto p2 = apply(set->m_fRotation, k.corner2, true);
        const auto e = apply(set->m_fRotation, k.normal, true);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(e[size_t(i)], k.e[i], 1e-4) << k.obliquePlane << " " << i;
            if (k.obliquePlane != 18) {
                EXPECT_NEAR(p1[size_t(i)], k.p1[i], 1e-3) << k.obliquePlane << " " << i;
                EXPECT_NEAR(p2[size_t(i)], k.p2[i], 1e-3) << k.obliquePlane << " " << i;
            }
        }
        if (k.obliquePlane == 18) {
            // The axial corners go to the plane z = 0, two corners of the 160 mm square
            // along one edge, whichever way the patient position turns the view.
            EXPECT_NEAR(p1[2], 0.0f, 1e-3);
            EXPECT_NEAR(p2[2], 0.0f, 1e-3);
            for (float v : {p1[0], p1[1], p2[0], p2[1]})
                EXPECT_NEAR(std::fabs(v), 80.0f, 1e-3);
            EXPECT_NEAR(std::hypot(p1[0] - p2[0], p1[1] - p2[1]), 160.0f, 1e-3);
        }
        // The inverse is the rotation's inverse.
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                float sum = 0;
                for (int m = 0; m < 3; ++m)
                    sum += set->m_fRotation[i][m] * set->m_fRotationInverse[m][j];
                EXPECT_NEAR(sum, i == j ? 1.0f : 0.0f, 1e-5) << k.obliquePlane;
            }
    }
    // Corners that give no system keep the identity.
    TPfileHeader flat;
    flat.plane = 16;
    flat.obliquePlane = 18;
    WriteBytes(path, EmptyGrid(flat));
    const auto set = ReadAs(kExcite, path);
    ASSERT_NE(set, nullptr);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(set->m_fRotation[i][j], i == j ? 1.0f : 0.0f);
    EXPECT_EQ(report.Count(), 0u);
}
