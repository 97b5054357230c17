// The single-voxel P-file reader: the real PROBE-P file against the values of its SAGE
// companion header, the averaging of frames after the reference frames, and refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "gehdr/GETestSupport.h"
#include "model/TCSISet.h"
#include "readers/GEPfileTestFiles.h"
#include "readers/SiemensTestFiles.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

constexpr int kSingleVoxel = 13;
constexpr char kRealFile[] = "ge_pfile/tarquin/P1751_1.5T_030_2000.7";

// Frame f (after the header's frame) of a little-endian int32 file, decoded here.
std::vector<std::complex<double>> Int32Frame(const std::string& bytes, size_t dataStart, int points, int f)
{
    std::vector<std::complex<double>> frame(static_cast<size_t>(points));
    const size_t at = dataStart + size_t(f) * size_t(points) * 8;
    for (int t = 0; t < points; ++t) {
        int32_t re, im;
        std::memcpy(&re, bytes.data() + at + size_t(t) * 8, 4);
        std::memcpy(&im, bytes.data() + at + size_t(t) * 8 + 4, 4);
        frame[size_t(t)] = {double(re), double(im)};
    }
    return frame;
}

TPfileHeader SingleVoxel()
{
    TPfileHeader h;
    h.dims[0] = h.dims[1] = h.dims[2] = 1;
    h.spatialDims = 0;
    h.points = 32;
    h.frameCount = 6;
    h.skipFrames = 2;
    h.sequenceName = "probe-p";
    return h;
}

// Frames whose values tell the frame: frame f holds (f + 1) * (t + 1) at point t.
std::vector<std::complex<double>> CountingFrames(int frames, int points)
{
    std::vector<std::complex<double>> all;
    for (int f = 0; f < frames; ++f)
        for (int t = 0; t < points; ++t)
            all.emplace_back((f + 1) * (t + 1), -(f + 1));
    return all;
}

using GESVReader = PfileReaderTest;

}  // namespace

TEST_F(GESVReader, RealProbeFileHasTheValuesOfItsSageHeader)
{
    VX_REQUIRE_SAMPLE(kRealFile);
    TScriptedReport report;
    getest::TCapturedStderr quiet;
    TTimeZone utc("UTC");
    const std::string path = SampleDataPath(kRealFile);
    const auto set = ReadAs(kSingleVoxel, path);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(report.Count(), 0u);
    // study_number, date_acquired 06/16/2005; plane 16 (axial), psd_name probe-p (a volume).
    EXPECT_EQ(std::tie(set->m_strName, set->m_strPatientName, set->m_strExamDate),
              std::tuple("P1751_1.5T_030_2000", "4488", "2005.06.16"));
    EXPECT_EQ((std::vector<int>{set->m_nPoints, set->m_nSpectralWidth, set->m_nSliceAxis, set->m_nSpatialDims,
                                set->m_nVolumes}),
              (std::vector<int>{2048, 2500, 2, 1, 1}));
    EXPECT_THAT((std::vector<float>{set->m_fFrequency, set->m_fTE, set->m_fTR}),
                testing::Pointwise(testing::FloatEq(), std::vector<float>{63.872622f, 30, 2000}));
    // The voxel is the excited volume: opuser8 to opuser10, and the position opuser11 to
    // opuser13 with the first two negated.
    const float size[3] = {39.9802f, 39.9802f, 40.0f}, centre[3] = {-5.26804f, -27.3435f, 0.0f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(set->m_fFOV[k], size[k], 1e-4) << k;
        EXPECT_NEAR(set->m_fOffCentre[k], centre[k], 1e-4) << k;
    }

    // Of the 24 frames the first 8 are reference frames; the reader averages the other 16.
    const std::string bytes = ReadBytes(path);
    const size_t dataStart = 77848;  // offset_to_data
    ASSERT_EQ(bytes.size(), dataStart + 24u * 2048u * 8u);
    TCSIReadParams raw;
    raw.m_bLoadRawData = 1;
    const auto rawSet = ReadAs(kSingleVoxel, path, raw);
    ASSERT_NE(rawSet, nullptr);
    std::vector<std::complex<double>> mean(2048);
    for (int f = 8; f < 24; ++f) {
        const auto frame = Int32Frame(bytes, dataStart, 2048, f);
        for (size_t t = 0; t < mean.size(); ++t)
            mean[t] += frame[t] / 16.0;
    }
    const TComplex* got = rawSet->GetVoxel(0)->Data();
    for (size_t t = 0; t < mean.size(); t += 97) {
        EXPECT_NEAR(got[t].real(), mean[t].real(), 1e-6 * std::abs(mean[0]) + 0.5) << t;
        EXPECT_NEAR(got[t].imag(), mean[t].imag(), 1e-6 * std::abs(mean[0]) + 0.5) << t;
    }

    // The reference frames hold the unsuppressed water: read them alone from a copy whose
    // header counts 8 frames and skips none. Water is the tallest line, at the centre of
    // the ppm scale, far above what is left of it in the suppressed frames.
    TTempFolder folder;
    std::string reference = bytes;
    getest::Put16(reference, kFrameCountOffset, 8, 1);
    getest::PutFloat(reference, kSkipFramesOffset, 0.0f, 1);
    WriteBytes(folder.File("P1751.7"), reference);
    const auto water = ReadAs(kSingleVoxel, folder.File("P1751.7"));
    ASSERT_NE(water, nullptr);
    const int peak = PeakPoint(*water->GetVoxel(0));
    EXPECT_NEAR(peak, water->m_fPPMCentrePoint, 2048 / 64);
    EXPECT_GT(water->GetVoxel(0)->GetMagnitude(peak), 10 * set->GetVoxel(0)->GetMagnitude(peak));
}

TEST_F(GESVReader, FramesAfterTheSkippedOnesAreAveraged)
{
    const struct {
        int frames;
        float skip;
        int pointSize;
        int firstAveraged;  // -1: refused
    } cases[] = {
        {16, 2.7f, 2, 2},   // 2.7 counts as 2
        {16, 2.7f, 4, 2},
        {6, 0.0f, 4, 0},
        {6, 5.0f, 2, 5},
        {6, 6.0f, 2, -1},   // nothing left to average
        {6, 7.0f, 4, -1},
        {-3, 0.0f, 2, -1},
        {0, 0.0f, 2, -1},
        {6, -1.0f, 2, -1},
        // A count that is no number skips nothing rather than an undefined count.
        {6, std::numeric_limits<float>::quiet_NaN(), 2, 0},
        {6, 1e30f, 2, 0},
    };
    for (const auto& c : cases) {
        TPfileHeader h = SingleVoxel();
        h.frameCount = c.frames;
        h.skipFrames = c.skip;
        h.pointSize = c.pointSize;
        const int stored = std::max(c.frames, 1);
        const std::string path = m_folder.File("P5.7");
        WriteBytes(path, PfileBytes(h, CountingFrames(stored, h.points)));
        TCSIReadParams raw;
        raw.m_bLoadRawData = 1;
        const auto set = ReadAs(kSingleVoxel, path, raw);
        const std::string what = std::to_string(c.frames) + " frames, skip " + std::to_string(c.skip);
        if (c.firstAveraged < 0) {
            EXPECT_EQ(set, nullptr) << what;
            EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"The header of " + path + " gives " +
                                                                    std::to_string(c.frames) + " frames and " +
                                                                    std::to_string(int(c.skip)) +
                                                                    " frames to skip: no frame is left to average."})
                << what;
            m_report.Clear();
            continue;
        }
        ASSERT_NE(set, nullptr) << what;
        // Frames first..frames-1 hold (f + 1)(t + 1): their mean is (t + 1) times the mean
        // of f + 1.
        double meanFactor = 0;
        for (int f = c.firstAveraged; f < c.frames; ++f)
            meanFactor += (f + 1.0) / (c.frames - c.firstAveraged);
        const TComplex* got = set->GetVoxel(0)->Data();
        for (int t = 0; t < h.points; ++t) {
            EXPECT_NEAR(got[t].real(), meanFactor * (t + 1), 1e-3) << what << " point " << t;
            EXPECT_NEAR(got[t].imag(), -meanFactor, 1e-4) << what << " point " << t;
        }
    }
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(GESVReader, HeaderChoicesOfTheVoxel)
{
    const struct {
        const char* sequence;
        int volumes;
        float fov[3];
        float offCentre[3];
    } cases[] = {
        {"PRESS", 1, {80.0f, 70.0f, 10.0f}, {-4.0f, 6.0f, 18.0f}},
        {"probe-s", 1, {80.0f, 70.0f, 10.0f}, {-4.0f, 6.0f, 18.0f}},
        // The single-voxel reader does not take "prose": the imaging slice stays.
        {"prose", 0, {160.0f, 160.0f, 10.0f}, {-1.5f, 2.5f, 20.0f}},
        {"fidcsi", 0, {160.0f, 160.0f, 10.0f}, {-1.5f, 2.5f, 20.0f}},
    };
    for (const auto& c : cases) {
        TPfileHeader h = SingleVoxel();
        h.sequenceName = c.sequence;
        const std::string path = m_folder.File("P6.7");
        WriteBytes(path, PfileBytes(h, CountingFrames(h.frameCount, h.points)));
        const auto set = ReadAs(kSingleVoxel, path);
        ASSERT_NE(set, nullptr) << c.sequence;
        EXPECT_EQ(set->m_nVolumes, c.volumes) << c.sequence;
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(set->m_fFOV[k], c.fov[k]) << c.sequence << " " << k;
            EXPECT_FLOAT_EQ(set->m_fOffCentre[k], c.offCentre[k]) << c.sequence << " " << k;
        }
        EXPECT_FLOAT_EQ(set->m_fSliceThickness, c.fov[2]) << c.sequence;
        EXPECT_EQ(set->m_bFrequencyDomain, 1);
        EXPECT_EQ(set->m_bKSpace, 0);
    }
    EXPECT_EQ(m_report.Count(), 0u);
}
