// The EXCITE 2D/3D P-file reader: where a line of a synthetic grid lands in every
// orientation, what the header gives the set, and the files it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <numbers>
#include <sstream>
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

// Numbers as text, 7 significant digits, separated by blanks.
std::string Numbers(std::initializer_list<double> values)
{
    std::ostringstream out;
    out.precision(7);
    for (double v : values)
        out << (out.tellp() > 0 ? " " : "") << v;
    return out.str();
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

using GEPfileReader = PfileReaderTest;

}  // namespace

TEST_F(GEPfileReader, LineLandsAtTheKnownVoxelInEveryOrientation)
{
    const struct {
        int plane, oblique, sliceAxis;
    } planes[] = {{2, 0, 2}, {4, 0, 0}, {8, 0, 1}, {16, 18, 2}, {16, 20, 0}, {16, 24, 1}};
    const int revisions[] = {kRev11, kRev14, kRev9};
    int run = 0;
    // Even grids and odd ones, whose transforms need no half-voxel ramp and whose centre
    // lies on a voxel.
    const struct {
        int dimsCount;
        int n[3];
    } sizes[] = {{2, {8, 8, 1}}, {3, {8, 8, 4}}, {2, {7, 7, 1}}, {3, {9, 9, 3}}};
    for (const auto& size : sizes)
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
                    std::copy(size.n, size.n + 3, h.dims);
                    const int dimsCount = size.dimsCount;
                    h.plane = plane.plane;
                    h.obliquePlane = plane.oblique;
                    h.field178 = transpose ? 0 : 1;
                    h.field176 = mode;
                    const int at[3] = {1, 5, dimsCount == 3 ? 2 : 0};
                    const std::string path = m_folder.File("P" + std::to_string(run) + ".7");
                    WriteBytes(path, PfileBytes(h, KSpaceLine(h.dims, dimsCount, at, LineFid(h.points),
                                                              (h.field56 & 1) == 0)));
                    const auto set = ReadAs(kExcite, path);
                    const std::string what = "run " + std::to_string(run) + ": " + std::to_string(h.dims[0]) +
                                             " x " + std::to_string(h.dims[1]) + " x " + std::to_string(h.dims[2]) +
                                             ", plane " +
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
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(GEPfileReader, HeaderValuesGoToTheSet)
{
    TTimeZone utc("UTC");
    using Field = std::string (*)(const TCSISet&);
    const Field names = [](const TCSISet& s) {
        return s.m_strName + " " + s.m_strPatientName + " " + s.m_strExamDate + " " + s.m_strExamName;
    };
    const Field timing = [](const TCSISet& s) {
        return Numbers({s.m_fTR, s.m_fTE, s.m_fFrequency, double(s.m_nSpectralWidth), double(s.m_nPoints),
                        double(s.m_nLastPoint), s.m_fPPMCentrePoint, double(s.m_bEchoShifted),
                        double(s.m_nEchoPosition)});
    };
    // Positions have x and y negated; a 2-D slab is one slice thick.
    const Field geometry = [](const TCSISet& s) {
        return Numbers({s.m_fOffCentre[0], s.m_fOffCentre[1], s.m_fOffCentre[2], s.m_fFOV[0], s.m_fFOV[1],
                        s.m_fFOV[2], s.m_fSliceThickness, double(s.m_nSpatialDims), double(s.m_nSliceAxis)});
    };
    const Field lying = [](const TCSISet& s) { return s.m_strPatientPosition + " " + s.m_strPatientOrientation; };
    const Field volume = [](const TCSISet& s) {
        return Numbers({double(s.m_nVolumes), s.m_fVolSize[0][0], s.m_fVolSize[1][0], s.m_fVolSize[2][0],
                        s.m_fVolOffCentre[0][0], s.m_fVolOffCentre[1][0], s.m_fVolOffCentre[2][0]});
    };
    const Field domains = [](const TCSISet& s) {
        return Numbers({double(s.m_nSpatialDims), double(s.m_bFrequencyDomain), double(s.m_bKSpace)});
    };
    const struct {
        const char* name;
        void (*change)(TPfileHeader&);
        Field field;
        const char* expected;
    } cases[] = {
        {"texts", [](TPfileHeader&) {}, names, "P00001 4321 2005.06.16 CSI 2D"},
        {"timing", [](TPfileHeader&) {}, timing, "1500 35 127.7346 2000 64 63 32 0 0"},
        {"geometry", [](TPfileHeader&) {}, geometry, "-1.5 2.5 20 160 160 10 10 2 2"},
        {"width truncated, echo centred", [](TPfileHeader& h) { h.spectralWidth = 2499.9f, h.echoFlag = 3; },
         timing, "1500 35 127.7346 2499 64 63 32 1 32"},
        {"position 3, entry 0", [](TPfileHeader& h) { h.patientPosition = 3, h.patientEntry = 0; }, lying, "Supine HF"},
        {"prone feet first", [](TPfileHeader& h) { h.patientPosition = 2, h.patientEntry = 2; }, lying, "Prone FF"},
        {"left decubitus", [](TPfileHeader& h) { h.patientPosition = 4; }, lying, "Left-D HF"},
        {"right decubitus", [](TPfileHeader& h) { h.patientPosition = 8; }, lying, "Right-D HF"},
        {"rect fov 0.0005 is square", [](TPfileHeader& h) { h.rectFov = 0.0005f; }, geometry,
         "-1.5 2.5 20 160 160 10 10 2 2"},
        {"rect fov 0.001 from the image matrix", [](TPfileHeader& h) { h.rectFov = 0.001f; }, geometry,
         "-1.5 2.5 20 160 128 10 10 2 2"},
        {"3-D slab from the fov", [](TPfileHeader& h) { h.dims[2] = 4; }, geometry, "-1.5 2.5 20 160 160 160 40 3 2"},
        {"16 x 1 x 1: no spatial transform", [](TPfileHeader& h) { h.dims[0] = 16, h.dims[1] = 1; }, domains, "1 1 1"},
        {"PRESS in capitals", [](TPfileHeader& h) { h.sequenceName = "ProbePRESS2d"; }, volume, "1 80 70 10 -4 6 18"},
        {"PRESS keeps a 2-D grid's centre", [](TPfileHeader& h) { h.sequenceName = "press"; }, geometry,
         "-1.5 2.5 20 160 160 10 10 2 2"},
        {"prose", [](TPfileHeader& h) { h.sequenceName = "prose_csi"; }, volume, "1 80 70 10 -4 6 18"},
        {"no volume", [](TPfileHeader& h) { h.sequenceName = "fidcsi"; }, volume, "0 0 0 0 0 0 0"},
        // A 3-D grid lies on its volume; its slab is field 26 times the partitions.
        {"3-D steam", [](TPfileHeader& h) { h.sequenceName = "steam", h.dims[2] = 4; }, geometry,
         "-4 6 18 160 160 48 12 3 2"},
        {"oblique code 19 keeps axis 0", [](TPfileHeader& h) { h.plane = 16, h.obliquePlane = 19; }, geometry,
         "-1.5 2.5 20 10 160 160 10 2 0"},
        {"big-endian 14.3 int32", [](TPfileHeader& h) { h.revision = kRev14, h.order = 0, h.pointSize = 4; }, names,
         "P00001 4321 2005.06.16 CSI 2D"},
        {"9.0 header", [](TPfileHeader& h) { h.revision = kRev9; }, timing, "1500 35 127.7346 2000 64 63 32 0 0"},
        // The smaller in-plane matrix covers the ratio of the larger one's field of view.
        {"16 x 8, ratio 0.5", [](TPfileHeader& h) { h.dims[0] = 16, h.fovRatio = 0.5f; }, geometry,
         "-1.5 2.5 20 160 80 10 10 2 2"},
        {"8 x 16, ratio 0.25", [](TPfileHeader& h) { h.dims[1] = 16, h.fovRatio = 0.25f; }, geometry,
         "-1.5 2.5 20 40 160 10 10 2 2"},
        {"8 x 8, ratio 0.5", [](TPfileHeader& h) { h.fovRatio = 0.5f; }, geometry, "-1.5 2.5 20 160 160 10 10 2 2"},
        // A ratio that would leave no usable field of view keeps the header's fields.
        {"ratio 0", [](TPfileHeader& h) { h.dims[0] = 16, h.fovRatio = 0; }, geometry, "-1.5 2.5 20 160 160 10 10 2 2"},
        {"ratio -1", [](TPfileHeader& h) { h.dims[0] = 16, h.fovRatio = -1; }, geometry,
         "-1.5 2.5 20 160 160 10 10 2 2"},
        {"ratio NaN", [](TPfileHeader& h) { h.dims[0] = 16, h.fovRatio = std::nanf(""); }, geometry,
         "-1.5 2.5 20 160 160 10 10 2 2"},
    };
    for (const auto& c : cases) {
        TPfileHeader h;
        c.change(h);
        const std::string path = m_folder.File("P00001.7");
        WriteBytes(path, EmptyGrid(h));
        const auto set = ReadAs(kExcite, path);
        ASSERT_NE(set, nullptr) << c.name;
        EXPECT_EQ(c.field(*set), c.expected) << c.name;
    }
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(GEPfileReader, LoadRawDataKeepsTheFileSamples)
{
    TPfileHeader h;
    h.order = 0;
    h.dims[0] = 4;
    h.dims[1] = 2;
    h.points = 8;
    // Value i of the file (after the skipped frame) is (i, -i).
    std::vector<std::complex<double>> samples;
    for (int i = 0; i < 64; ++i)
        samples.emplace_back(i, -i);
    WriteBytes(m_folder.File("P2.7"), PfileBytes(h, samples));
    TCSIReadParams p;
    p.m_bLoadRawData = 1;
    p.m_bNormalize = 1;
    const auto set = ReadAs(kExcite, m_folder.File("P2.7"), p);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_bKSpace, 1);
    EXPECT_EQ(set->m_bFrequencyDomain, 0);
    EXPECT_EQ(set->m_kSpaceMask.size(), 8u);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(set->GetVoxel(size_t(i / 8))->Data()[i % 8], std::complex<float>(float(i), -float(i))) << i;
}

TEST(GEPfileReaders, RefusedFilesSayWhy)
{
    getest::TCapturedStderr quiet;
    TTempFolder folder;
    const std::string path = folder.File("P3.7");
    const std::string oldSoftware = "The data file  " + path + " is not GE pre 11.0 version.";
    const std::string notExcite = "The data file  " + path + " is not EXCITE 11.0 version.";
    const std::string invalid = "The header of " + path + " is invalid. ";
    const struct {
        int format;
        const char* name;
        void (*change)(TPfileHeader&);
        std::string message;  // "*": one message of the FFT
    } cases[] = {
        {15, "software 10", [](TPfileHeader& h) { h.swVersion = "10"; }, notExcite},
        {15, "software 9x", [](TPfileHeader& h) { h.swVersion = "9x"; }, notExcite},
        {15, "software without digits", [](TPfileHeader& h) { h.swVersion = "LX"; }, notExcite},
        {13, "software 09", [](TPfileHeader& h) { h.swVersion = "09"; },
         "The data file  " + path + " is not EXCITE 11.0 or later version."},
        {12, "software 11", [](TPfileHeader&) {}, oldSoftware},
        {12, "software 12", [](TPfileHeader& h) { h.swVersion = "12"; }, oldSoftware},
        {15, "3-byte samples", [](TPfileHeader& h) { h.pointSize = 3; }, "Wrong data type(it should be int16 or int32)."},
        {13, "8-byte samples", [](TPfileHeader& h) { h.pointSize = 8; }, "Wrong data type(it should be int16 or int32)."},
        {15, "plane 3", [](TPfileHeader& h) { h.plane = 3; }, "Invalid slice orientation."},
        {15, "single voxel", [](TPfileHeader& h) { h.dims[0] = h.dims[1] = 1; },
         "This is a single voxel data file. Use the GE Single Voxel option."},
        {13, "a 2-D grid", [](TPfileHeader&) {}, "This is not a single voxel data file."},
        {15, "negative matrix", [](TPfileHeader& h) { h.dims[1] = -8; },
         invalid + "It gives a matrix size below 1 (csi_dim_x, csi_dim_y, csi_dim_z)."},
        {15, "no points", [](TPfileHeader& h) { h.points = 0; }, invalid + "It gives no number of points (point_count)."},
        {15, "spectral width not a number", [](TPfileHeader& h) { h.spectralWidth = std::nanf(""); },
         invalid + "It gives no spectral width (spectral_width)."},
        {15, "no field of view", [](TPfileHeader& h) { h.fov = 0; },
         invalid + "It gives no positive field of view (fov, slice_thickness)."},
        {13, "no frame after the skipped ones", [](TPfileHeader& h) { h.dims[0] = h.dims[1] = 1, h.frameCount = 3, h.skipFrames = 3; },
         "The header of " + path + " gives 3 frames and 3 frames to skip: no frame is left to average."},
        {12, "an oblique plane without a field of view",
         [](TPfileHeader& h) { h.swVersion = "09", h.plane = 16, h.fov = 0, h.corner2 = {50, 0, 0}; },
         "The oblique plane of " + path +
             " gives a rotation that cannot be inverted: its corners, normal and field of view span no volume."},
        // A length whose prime factor the FFT cannot take: one report, not one per voxel.
        {15, "41 points", [](TPfileHeader& h) { h.points = 41; }, "*"},
    };
    for (const auto& c : cases) {
        TScriptedReport report;
        TPfileHeader h;
        c.change(h);
        WriteBytes(path, EmptyGrid(h));
        TCSIReadParams p;
        p.m_nAxisOrder[1] = 1;
        p.m_nAxisOrder[2] = 2;
        EXPECT_EQ(ReadAs(c.format, path, p), nullptr) << c.name;
        if (c.message == "*") {
            EXPECT_EQ(report.Count(), 1u) << c.name;
        } else {
            EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message}) << c.name;
        }
        // Read for its header only, as Add Exam's trial reads it, the file is refused alike.
        const std::vector<std::string> said = report.Messages();
        report.Clear();
        EXPECT_EQ(ReadAs(c.format, path, p, true), nullptr) << c.name;
        EXPECT_EQ(report.Messages(), said) << c.name;
    }

    TScriptedReport report;
    WriteBytes(path, "not a P-file at all");
    EXPECT_EQ(ReadAs(kExcite, path), nullptr);
    const std::string missing = folder.File("P404.7");
    EXPECT_EQ(ReadAs(13, missing), nullptr);
    ASSERT_EQ(report.Messages().size(), 2u);
    EXPECT_EQ(report.Messages()[0], "The file " + path + " is not a recognized GE raw CSI data file.");
    EXPECT_EQ(report.Messages()[1], "The file " + missing + " is not a recognized GE raw CSI data file.");
}

TEST(GEPfileReaders, TruncatedAndHostileFilesAreRefusedCleanly)
{
    getest::TCapturedStderr quiet;
    TTempFolder folder;
    const std::string path = folder.File("P4.7");
    TPfileHeader grid;
    grid.points = 16;
    grid.dims[0] = grid.dims[1] = 4;
    TPfileHeader single = grid;
    single.dims[0] = single.dims[1] = 1;
    single.frameCount = 4;
    TPfileHeader old = grid;
    old.swVersion = "08";
    const struct {
        int format;
        const TPfileHeader& header;
    } files[] = {{15, grid}, {13, single}, {12, old}};
    TCSIReadParams p;
    p.m_nAxisOrder[1] = 1;
    p.m_nAxisOrder[2] = 2;
    for (const auto& f : files) {
        const std::string whole = PfileBytes(f.header, std::vector<std::complex<double>>(
                                                           size_t(16 * f.header.dims[0] * f.header.dims[1] *
                                                                  std::max(f.header.frameCount, 1))));
        WriteBytes(path, whole);
        ASSERT_NE(ReadAs(f.format, path, p), nullptr) << f.format;
        // Cut anywhere: the header cannot be read, or the samples are short, and the one
        // message says which. The header is read alike by all three; the other two are cut
        // from its last blocks on.
        const size_t first = f.format == kExcite ? 0 : size_t(PfileHeaderSize(f.header.revision) - 4096);
        for (size_t cut = first; cut < whole.size(); cut += 64) {
            TScriptedReport report;
            WriteBytes(path, whole.substr(0, cut));
            EXPECT_EQ(ReadAs(f.format, path, p), nullptr) << f.format << " cut at " << cut;
            EXPECT_EQ(report.Count(), 1u) << f.format << " cut at " << cut;
        }
    }
    // Matrix sizes that claim far more than the file holds are refused before any
    // allocation of their size, saying so.
    const uint64_t headerBytes = uint64_t(PfileHeaderSize(kRev11));
    const struct {
        int dims[3];
        std::string message;
    } claims[] = {
        {{32767, 32767, 32767},
         "Data file " + path + " is not read: its grid of 32767 x 32767 x 32767 voxels of 65535 points is larger "
                               "than a set can hold."},
        // Behind the header a skipped frame, then 256 x 256 spectra, 4 bytes a point.
        {{256, 256, 1},
         "Data file " + path + " holds " + std::to_string(headerBytes + 4096) + " bytes, fewer than the " +
             std::to_string(headerBytes + 65535 * 4 + uint64_t(256 * 256) * 65535 * 4) +
             " bytes its header and samples need."},
    };
    for (const auto& c : claims) {
        TScriptedReport report;
        TPfileHeader big = grid;
        for (int k = 0; k < 3; ++k)
            big.dims[k] = c.dims[k];
        big.points = 65535;
        WriteBytes(path, PfileHeaderBytes(big) + std::string(4096, '\0'));
        EXPECT_EQ(ReadAs(kExcite, path), nullptr) << c.dims[0];
        EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message}) << c.dims[0];
    }
}

TEST_F(GEPfileReader, ObliquePlaneRotation)
{
    const std::string path = m_folder.File("P12.7");
    // Planes tilted by 45 degrees (coronal about x, sagittal about z, axial about y), given
    // as the header gives them, x and y negated. The rotation takes the corners (relative
    // to the centre) and the normal to the corners of the grid's field of view and the
    // slice direction.
    const float c = std::sqrt(0.5f), d = 80.0f * c;
    const struct {
        int obliquePlane;
        std::array<float, 3> corner1, corner2, normal;
        std::array<float, 3> p1, p2, e;  // images; the axial corners depend on the view
    } cases[] = {
        {24, {80, -d, d}, {-80, -d, d}, {0, c, c}, {-80, 0, 80}, {80, 0, 80}, {0, -1, 0}},
        {20, {d, d, 80}, {-d, -d, 80}, {-c, c, 0}, {0, -80, 80}, {0, 80, 80}, {-1, 0, 0}},
        {18, {70, 80, 30}, {-90, 80, -10}, {c, 0, c}, {}, {}, {0, 0, 1}},
    };
    for (const auto& k : cases) {
        TPfileHeader h;
        h.plane = 16;
        h.obliquePlane = k.obliquePlane;
        h.centre = {0, 0, 0};
        h.corner1 = k.corner1;
        h.corner2 = k.corner2;
        h.normal = k.normal;
        WriteBytes(path, EmptyGrid(h));
        const auto set = ReadAs(kExcite, path);
        ASSERT_NE(set, nullptr) << k.obliquePlane;
        const auto image = [&](const std::array<float, 3>& v) {
            std::array<float, 3> r{};
            for (int i = 0; i < 3; ++i)
                r[size_t(i)] = -set->m_fRotation[i][0] * v[0] - set->m_fRotation[i][1] * v[1] +
                               set->m_fRotation[i][2] * v[2];
            return r;
        };
        const auto p1 = image(k.corner1), p2 = image(k.corner2), e = image(k.normal);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(e[i], k.e[i], 1e-4) << k.obliquePlane << " " << i;
            if (k.obliquePlane != 18) {
                EXPECT_NEAR(p1[i], k.p1[i], 1e-3) << k.obliquePlane << " " << i;
                EXPECT_NEAR(p2[i], k.p2[i], 1e-3) << k.obliquePlane << " " << i;
            }
        }
        if (k.obliquePlane == 18) {
            // Two corners of the 160 mm square along one edge, in the plane z = 0.
            for (float v : {p1[0], p1[1], p2[0], p2[1]})
                EXPECT_NEAR(std::fabs(v), 80.0f, 1e-3);
            EXPECT_NEAR(std::hypot(p1[0] - p2[0], p1[1] - p2[1]), 160.0f, 1e-3);
            EXPECT_NEAR(p1[2], 0.0f, 1e-3);
        }
        // The inverse takes the slice direction back to the normal.
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(set->m_fRotationInverse[i][0] * e[0] + set->m_fRotationInverse[i][1] * e[1] +
                            set->m_fRotationInverse[i][2] * e[2],
                        (i < 2 ? -1 : 1) * k.normal[size_t(i)], 1e-4);
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
    EXPECT_EQ(m_report.Count(), 0u);
}
