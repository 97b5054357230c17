// The GE multi-plane CSI reader: a line at a known voxel of an elliptically sampled,
// interleaved multi-slice P-file lands in its voxel, the header's own fields, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "gehdr/GETestSupport.h"
#include "platform/Files.h"
#include "readers/GEPfileTestFiles.h"
#include "readers/TMPCSIReader.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

constexpr int kMPCSI = 16;

using MPCSIReader = PfileReaderTest;

}  // namespace

TEST_F(MPCSIReader, LineLandsInItsVoxelAndSlice)
{
    const struct {
        int plane, obliquePlane, sliceAxis, revision, order, pointSize, fileSlice;
        int n;  // in-plane matrix: even, or odd (no half-voxel ramp, the centre on a voxel)
    } cases[] = {
        {2, 0, 2, kRev11, 1, 2, 0, 8},   {4, 0, 0, kRev14, 0, 4, 1, 8},  {8, 0, 1, kRev9, 1, 4, 2, 8},
        {16, 18, 2, kRev11, 0, 2, 3, 8}, {16, 20, 0, kRev14, 1, 2, 1, 8}, {16, 24, 1, kRev9, 1, 4, 2, 8},
        {2, 0, 2, kRev11, 1, 2, 1, 7},   {8, 0, 1, kRev14, 0, 2, 3, 9},  {16, 24, 1, kRev11, 1, 2, 0, 7},
        {16, 20, 0, kRev9, 0, 4, 2, 9},
    };
    for (const auto& c : cases) {
        TPfileHeader h;
        h.revision = c.revision;
        h.order = c.order;
        h.pointSize = c.pointSize;
        h.plane = c.plane;
        h.obliquePlane = c.obliquePlane;
        h.corner1 = {-80, 80, 20};
        h.corner2 = {80, 80, 20};
        h.mpMatrix[0] = h.mpMatrix[1] = float(c.n);
        const int dims[3] = {c.n, c.n, h.mpSlices}, at[3] = {2, 5, c.fileSlice};
        const std::string path = m_folder.File(std::to_string(c.plane) + "_" + std::to_string(c.obliquePlane) + "_" +
                                               std::to_string(c.n) + ".7");
        WriteBytes(path, MPCSIBytes(h, KSpaceLine(dims, 2, at, LineFid(32), true, true)));
        const auto set = ReadAs(kMPCSI, path);
        const std::string what = "plane " + std::to_string(c.plane) + "/" + std::to_string(c.obliquePlane) + ", " +
                                 std::to_string(c.n) + " x " + std::to_string(c.n);
        ASSERT_NE(set, nullptr) << what;

        // The file's slices 0 1 2 3 lie at 3 1 2 0 (even ones first, from the far end);
        // the in-plane indices go to the plane's axes, and x is flipped at the end.
        const int s = c.sliceAxis, a = s == 0 ? 1 : 0, b = s == 2 ? 1 : 2;
        const int placeOfFileSlice[4] = {3, 1, 2, 0};
        int v[3];
        v[a] = at[0], v[b] = at[1], v[s] = placeOfFileSlice[c.fileSlice];
        v[0] = set->m_nDim[0] - 1 - v[0];
        EXPECT_EQ(set->m_nSliceAxis, s) << what;
        EXPECT_EQ(set->m_nDim[s], 4) << what;
        // The in-plane points inside the ellipse (32 of 64 for 8 x 8) give the line their
        // share of its amplitude at its voxel; the unsampled corners spread the rest, well
        // below it.
        const double cx = (c.n - 1) / 2.0;
        int sampled = 0;
        for (int y = 0; y < c.n; ++y)
            for (int x = 0; x < c.n; ++x)
                sampled += (x - cx) * (x - cx) / (cx * cx) + (y - cx) * (y - cx) / (cx * cx) <= 1.01;
        const int point = 16 + 4;
        const size_t line = set->VoxelIndex(v[0], v[1], v[2]);
        double best = 0, rest = 0;
        for (size_t k = 0; k < set->VoxelCount(); ++k) {
            const double m = set->GetVoxel(k)->GetMagnitude(point);
            (k == line ? best : rest) = k == line ? m : std::max(rest, m);
        }
        EXPECT_NEAR(best, 1000.0 * 32 * sampled / (c.n * c.n), 5.0) << what;
        EXPECT_GT(best, 2 * rest) << what;
    }
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(MPCSIReader, HeaderFieldsOfTheSequence)
{
    TPfileHeader h;
    h.mpMatrix[0] = 8;
    h.mpMatrix[1] = 6;
    h.mpSpectralWidth = 2000.9f;
    h.mpPoints = 64;
    h.echoTime = 35000;
    h.mpEcho = 1;
    h.mpEchoTiming = 1500;
    h.normal = {0, 0, 1};
    h.sequenceShortName = "PRESS";
    WriteBytes(m_folder.File("P1.7"), MPCSIBytes(h, std::vector<std::complex<double>>(8 * 6 * 4 * 64)));
    const auto set = ReadAs(kMPCSI, m_folder.File("P1.7"));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_nDim[1], 6);
    EXPECT_EQ(set->m_nSpectralWidth, 2000);
    EXPECT_EQ(set->m_slicePhases.size(), 4u);
    // (2000 Hz) x (35000 / 2 - 1500 microseconds): 32 points.
    EXPECT_EQ(set->m_bEchoShifted, 1);
    EXPECT_EQ(set->m_nEchoPosition, 32);
    // Four slices of 10 mm with 12 mm from one to the next: a slab of 4 x 22 mm, centred
    // 1.5 x 22 mm along the normal from the image centre.
    EXPECT_FLOAT_EQ(set->m_fFOV[2], 88.0f);
    EXPECT_FLOAT_EQ(set->m_fSliceThickness, 22.0f);
    EXPECT_FLOAT_EQ(set->m_fOffCentre[0], -1.5f);
    EXPECT_FLOAT_EQ(set->m_fOffCentre[2], 20.0f + 33.0f);
    EXPECT_EQ(set->m_nVolumes, 1);  // the short sequence name names a PRESS volume

    h.mpEcho = 0;
    h.sequenceShortName = "prose";  // the EXCITE reader's extra name is no volume here
    WriteBytes(m_folder.File("P2.7"), MPCSIBytes(h, std::vector<std::complex<double>>(8 * 6 * 4 * 64)));
    const auto plain = ReadAs(kMPCSI, m_folder.File("P2.7"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->m_nEchoPosition, 0);
    EXPECT_EQ(plain->m_nVolumes, 0);
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(MPCSIReader, EllipseAndSliceOrder)
{
    // 8 x 8: the centres are 3.5; (0, 0) lies at 2.0, (0, 3) at 1.0204, (1, 3) at 0.5306.
    EXPECT_FALSE(TMPCSIReader::IsSampled(0, 0, 8, 8));
    EXPECT_FALSE(TMPCSIReader::IsSampled(0, 3, 8, 8));
    EXPECT_TRUE(TMPCSIReader::IsSampled(1, 3, 8, 8));
    // An axis of size 1 limits nothing: the other axis's edge centres are on the ellipse.
    EXPECT_TRUE(TMPCSIReader::IsSampled(0, 0, 1, 4));
    EXPECT_TRUE(TMPCSIReader::IsSampled(0, 0, 1, 1));
    EXPECT_EQ(TMPCSIReader::SliceOrder(4), (std::vector<int>{0, 2, 1, 3}));
    EXPECT_EQ(TMPCSIReader::SliceOrder(5), (std::vector<int>{0, 3, 1, 4, 2}));
}

TEST_F(MPCSIReader, RefusedFiles)
{
    const std::string path = m_folder.File("P5.7");
    const struct {
        const char* name;
        void (*change)(TPfileHeader&);
        std::string message;
        std::vector<vx::TFileFault> faults = {};  // armed for the read
    } cases[] = {
        {"software 09", [](TPfileHeader& h) { h.swVersion = "09"; },
         "The data file  " + path + " is not EXCITE 11.0 version."},
        {"3-byte samples", [](TPfileHeader& h) { h.pointSize = 3; }, "Wrong data type(it should be int16 or int32)."},
        {"plane 3", [](TPfileHeader& h) { h.plane = 3; }, "Invalid slice orientation."},
        {"no point inside the ellipse", [](TPfileHeader& h) { h.mpMatrix[0] = h.mpMatrix[1] = 2; },
         "Data file " + path + " is not read: no point of its 2 x 2 matrix lies inside the sampled ellipse."},
        {"no slices", [](TPfileHeader& h) { h.mpSlices = -4; },
         "The header of " + path + " is invalid. It gives a matrix size below 1 (field_256, field_260, field_68)."},
        // Behind the header all 8 x 8 points of 4 slices, 2e9 points of two 16-bit values each.
        {"points far beyond the file", [](TPfileHeader& h) { h.mpPoints = 2e9f; },
         "Data file " + path + " holds 131608 bytes, fewer than the 1024000066072 bytes its header and samples need."},
        {"samples that fail while they are read", [](TPfileHeader&) {},
         "Data file " + path + " cannot be read to its end: input/output error.", {{vx::kFileRead, EIO, 3}}},
    };
    for (const auto& c : cases) {
        TScriptedReport report;
        TPfileHeader h;
        c.change(h);
        WriteBytes(path, PfileHeaderBytes(h) + std::string(8 * 8 * 4 * 32 * 8, '\0'));
        TFileFaultScope fault(c.faults);
        EXPECT_EQ(ReadAs(kMPCSI, path), nullptr) << c.name;
        EXPECT_EQ(report.Messages(), std::vector{c.message}) << c.name;
    }
    // Cut anywhere behind the header: the samples are short, and the message says by how much.
    TScriptedReport report;
    const std::string whole = MPCSIBytes(TPfileHeader{}, std::vector<std::complex<double>>(8 * 8 * 4 * 32));
    for (size_t cut = size_t(PfileHeaderSize(kRev11)); cut < whole.size(); cut += 61) {
        vx::RemoveFile(path);  // a file rewritten in place is flushed by the file system
        WriteBytes(path, whole.substr(0, cut));
        report.Clear();
        EXPECT_EQ(ReadAs(kMPCSI, path), nullptr) << cut;
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Data file " + path + " holds " + std::to_string(cut) +
                                                              " bytes, fewer than the " + std::to_string(whole.size()) +
                                                              " bytes its header and samples need."})
            << cut;
    }
}
