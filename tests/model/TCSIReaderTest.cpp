#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "model/TCSIReader.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "support/Bytes.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

// The block is handed to plug-ins word by word: every field must sit at its word.
static_assert(sizeof(TCSIReadParams) == 116);
static_assert(offsetof(TCSIReadParams, m_fFrequency) == 3 * 4);
static_assert(offsetof(TCSIReadParams, m_fEchoPeakTime) == 4 * 4);
static_assert(offsetof(TCSIReadParams, m_nDim) == 5 * 4);
static_assert(offsetof(TCSIReadParams, m_nPoints) == 8 * 4);
static_assert(offsetof(TCSIReadParams, m_nSampleType) == 9 * 4);
static_assert(offsetof(TCSIReadParams, m_nSweepWidth) == 10 * 4);
static_assert(offsetof(TCSIReadParams, m_nHeaderSize) == 11 * 4);
static_assert(offsetof(TCSIReadParams, m_nAxisOrder) == 12 * 4);
static_assert(offsetof(TCSIReadParams, m_bInvert) == 60);
static_assert(offsetof(TCSIReadParams, m_bCenter) == 63);
static_assert(offsetof(TCSIReadParams, m_bEchoAcquisition) == 66);
static_assert(offsetof(TCSIReadParams, m_bSwapBytes) == 67);
static_assert(offsetof(TCSIReadParams, m_bLoadRawData) == 68);
static_assert(offsetof(TCSIReadParams, m_bNormalize) == 69);
static_assert(offsetof(TCSIReadParams, m_bRemoveOffset) == 70);
static_assert(offsetof(TCSIReadParams, m_bFlipFrequency) == 71);
static_assert(offsetof(TCSIReadParams, m_bKSpaceCorrection) == 72);
static_assert(offsetof(TCSIReadParams, m_bHalfVoxelShift) == 73);
static_assert(offsetof(TCSIReadParams, m_bSpare) == 74);
static_assert(offsetof(TCSIReadParams, m_bFrequencyDomain) == 75);
static_assert(offsetof(TCSIReadParams, m_bSpaceDomain) == 76);
static_assert(offsetof(TCSIReadParams, m_nSpatialDims) == 20 * 4);
static_assert(offsetof(TCSIReadParams, m_nFormat) == 21 * 4);
static_assert(offsetof(TCSIReadParams, m_nOrientation) == 22 * 4);
static_assert(offsetof(TCSIReadParams, m_fAngulation) == 23 * 4);
static_assert(offsetof(TCSIReadParams, m_fOffCentre) == 26 * 4);

namespace {

using vx::test::Int16LE;
using vx::test::TScriptedReport;
using vx::test::TTempFolder;

// Exposes the base steps on a set the test describes.
class TProbeReader : public TCSIReader {
public:
    explicit TProbeReader(const TCSIReadParams& p) : TCSIReader(&p) {}
    TCSISet* Read(std::string) override { return nullptr; }

    TCSISet& NewSet(int nx, int ny, int nz, int points)
    {
        m_pCSISet = std::make_unique<TCSISet>();
        m_pCSISet->m_nDim[0] = nx;
        m_pCSISet->m_nDim[1] = ny;
        m_pCSISet->m_nDim[2] = nz;
        m_pCSISet->m_nPoints = points;
        return *m_pCSISet;
    }
    TCSISet* Set() { return m_pCSISet.get(); }
    const float* Raw() const { return m_pRawData.get(); }
    size_t RawFloats() const { return m_nRawFloats; }
    TCSIReadParams& Params() { return m_params; }
};

TCSIReadParams Params(int sampleType, int fast = 0, int mid = 1, int slow = 2)
{
    TCSIReadParams p;
    p.m_nSampleType = sampleType;
    p.m_nAxisOrder[0] = fast;
    p.m_nAxisOrder[1] = mid;
    p.m_nAxisOrder[2] = slow;
    return p;
}

}  // namespace

TEST(CSIReaderDecoders, Int16OneBecomesOneOr256WithSwap)
{
    TTempFolder folder;
    const std::string path = folder.File("one.raw");
    vx::test::WriteBytes(path, std::string("\x01\x00\x01\x00", 4));
    for (int swap : {0, 1}) {
        TCSIReadParams p = Params(0);
        p.m_bSwapBytes = static_cast<uint8_t>(swap);
        TProbeReader reader(p);
        reader.NewSet(1, 1, 1, 1);
        vx::TFile file;
        ASSERT_TRUE(file.Open(path, vx::TFile::Mode::Read));
        auto out = reader.DecodeInt16Samples(file);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out[0], swap ? 256.0f : 1.0f);
        EXPECT_EQ(out[1], swap ? 256.0f : 1.0f);
    }
}

TEST(CSIReaderDecoders, EveryTypeDecodesLittleAndBigEndian)
{
    // One complex sample (-2, 3) of each type, little-endian and big-endian.
    struct Case {
        int type;
        std::string little;
        std::string big;
    };
    const float f32m2 = -2.0f, f32p3 = 3.0f;
    const double f64m2 = -2.0, f64p3 = 3.0;
    auto bytesOf = [](const void* p, size_t n, bool reverse) {
        std::string s(static_cast<const char*>(p), n);  // host is little-endian
        if (reverse)
            s.assign(s.rbegin(), s.rend());
        return s;
    };
    const Case cases[] = {
        {0, std::string("\xFE\xFF\x03\x00", 4), std::string("\xFF\xFE\x00\x03", 4)},
        {1, std::string("\xFE\xFF\xFF\xFF\x03\x00\x00\x00", 8), std::string("\xFF\xFF\xFF\xFE\x00\x00\x00\x03", 8)},
        {2, bytesOf(&f32m2, 4, false) + bytesOf(&f32p3, 4, false), bytesOf(&f32m2, 4, true) + bytesOf(&f32p3, 4, true)},
        {3, bytesOf(&f64m2, 8, false) + bytesOf(&f64p3, 8, false), bytesOf(&f64m2, 8, true) + bytesOf(&f64p3, 8, true)},
    };
    TTempFolder folder;
    for (const Case& c : cases) {
        for (int swap : {0, 1}) {
            SCOPED_TRACE("type " + std::to_string(c.type) + " swap " + std::to_string(swap));
            const std::string path = folder.File("s.raw");
            vx::test::WriteBytes(path, swap ? c.big : c.little);
            TCSIReadParams p = Params(c.type);
            p.m_bSwapBytes = static_cast<uint8_t>(swap);
            TProbeReader reader(p);
            reader.NewSet(1, 1, 1, 1);
            ASSERT_TRUE(reader.ReadRawData(path));
            ASSERT_EQ(reader.RawFloats(), 2u);
            EXPECT_EQ(reader.Raw()[0], -2.0f);
            EXPECT_EQ(reader.Raw()[1], 3.0f);
            // The one-spectrum readers decode the same way.
            vx::TFile file;
            ASSERT_TRUE(file.Open(path, vx::TFile::Mode::Read));
            float buffer[2] = {0, 0};
            const bool ok = c.type == 0   ? reader.ReadInt16Spectrum(file, buffer)
                            : c.type == 1 ? reader.ReadInt32Spectrum(file, buffer)
                            : c.type == 2 ? reader.ReadFloat32Spectrum(file, buffer)
                                          : reader.ReadFloat64Spectrum(file, buffer);
            ASSERT_TRUE(ok);
            EXPECT_EQ(buffer[0], -2.0f);
            EXPECT_EQ(buffer[1], 3.0f);
        }
    }
}

TEST(CSIReaderDecoders, FileAxisOrderIsTurnedIntoXFastest)
{
    // 2 x 2 x 1 voxels of 4 points; file voxel f holds the value 10 f + point.
    std::vector<int> values;
    for (int f = 0; f < 4; ++f)
        for (int i = 0; i < 4; ++i) {
            values.push_back(10 * f + i);
            values.push_back(-(10 * f + i));
        }
    TTempFolder folder;
    const std::string path = folder.File("grid.raw");
    vx::test::WriteBytes(path, Int16LE(values));

    TProbeReader reader(Params(0, /*y*/ 1, /*x*/ 0, /*z*/ 2));
    TCSISet& set = reader.NewSet(2, 2, 1, 4);
    ASSERT_TRUE(reader.ReadRawData(path));
    ASSERT_TRUE(reader.FillCSISet());
    ASSERT_TRUE(set.IsLoaded());
    // With y fastest, file voxel f lies at x = f / 2, y = f % 2.
    for (int f = 0; f < 4; ++f) {
        const TSpectrum* s = set.GetVoxel(f / 2, f % 2, 0);
        ASSERT_NE(s, nullptr);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(s->GetReal(i), float(10 * f + i)) << "file voxel " << f;
            EXPECT_EQ(s->GetImag(i), -float(10 * f + i));
        }
    }
    EXPECT_EQ(set.GetVoxel(0, 1, 0)->GetReal(0), 10.0f) << "the second file voxel is (0, 1, 0)";
}

TEST(CSIReaderDecoders, ShortFileOrBadLayoutFailsWithItsReason)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string path = folder.File("short.raw");
    // 2 x 2 x 1 voxels of 4 int16 points need 64 bytes; one is missing.
    vx::test::WriteBytes(path, std::string(63, '\x01'));
    {
        TProbeReader reader(Params(0));
        reader.NewSet(2, 2, 1, 4);
        EXPECT_FALSE(reader.ReadRawData(path));
        EXPECT_EQ(reader.Raw(), nullptr);
    }
    {
        TProbeReader reader(Params(7));  // unknown sample type
        reader.NewSet(1, 1, 1, 1);
        EXPECT_FALSE(reader.ReadRawData(path));
    }
    for (auto order : {std::vector<int>{0, 0, 2}, std::vector<int>{0, 1, 3}, std::vector<int>{-1, 1, 2}}) {
        TProbeReader reader(Params(0, order[0], order[1], order[2]));
        reader.NewSet(1, 1, 1, 1);
        EXPECT_FALSE(reader.ReadRawData(path)) << "axis order is not a permutation";
    }
    const std::string notRead = "Data file " + path + " is not read: ";
    const std::string order = notRead + "the order of its axes must name x, y and z once each.";
    EXPECT_EQ(report.Messages(),
              (std::vector<std::string>{"Data file " + path + " holds 63 bytes, fewer than the 64 bytes its samples need.",
                                        notRead + "its sample type 7 is none of Int*16, Int*32, Float*32 and Float*64.",
                                        order, order, order}));
    report.Clear();
    {
        // A header claiming a huge grid is refused before anything is allocated.
        TProbeReader reader(Params(3));
        reader.NewSet(4096, 4096, 4096, 1 << 30);
        EXPECT_EQ(TCSIReader::GridFloatCount(*reader.Set()), 0u);
        reader.Set()->m_nDim[0] = 1 << 26;  // the three sizes multiply to 2^64 exactly
        reader.Set()->m_nDim[1] = 1 << 24;
        reader.Set()->m_nDim[2] = 1 << 14;
        EXPECT_EQ(TCSIReader::GridFloatCount(*reader.Set()), 0u);
        EXPECT_FALSE(reader.ReadRawData(path));
        EXPECT_FALSE(reader.ReadRawDataToVoxels(path));
        EXPECT_FALSE(reader.Set()->IsAllocated());
        EXPECT_EQ(report.Messages(), std::vector<std::string>(2, "Data file " + path +
                                                                 " is not read: its grid of 67108864 x 16777216 x "
                                                                 "16384 voxels of 1073741824 points is larger than "
                                                                 "a set can hold."));
        report.Clear();
    }
    {
        // Without a set there is nothing the user could be told about.
        TProbeReader reader(Params(0));
        EXPECT_FALSE(reader.ReadRawData(path));
        EXPECT_FALSE(reader.FillCSISet());
        EXPECT_FALSE(reader.ReadRawDataToVoxels(path));
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(CSIReaderDecoders, MissingFilesAreReportedInTheBatchLog)
{
    TScriptedReport report;
    TProbeReader reader(Params(0));
    reader.NewSet(1, 1, 1, 1);
    EXPECT_FALSE(reader.ReadRawData("/no/such/file.raw"));
    EXPECT_FALSE(reader.ReadRawDataToVoxels("/no/such/file.raw"));
    ASSERT_EQ(report.Messages().size(), 2u);
    EXPECT_EQ(report.Messages()[0], "Data file /no/such/file.raw does not exist or cannot be read.");
    EXPECT_EQ(report.Messages()[1], "Can not open CSI data set file /no/such/file.raw");

    vx::ResetGlobals();
    g_bBatchMode = true;
    EXPECT_FALSE(reader.ReadRawData("/no/such/file.raw"));
    EXPECT_EQ(g_batchLog, "Data file /no/such/file.raw does not exist or cannot be read.\r\n");
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(report.Count(), 2u) << "no box in batch mode";
    vx::ResetGlobals();
}

TEST(CSIReaderVoxels, HeaderSizeAndAxisOrderOfDirectReads)
{
    // 100 header bytes of 0x7F, then 3 x 1 x 2 voxels of 2 int32 points, z fastest,
    // then x: file voxel f has value f + 1 in every real part.
    std::string bytes(100, '\x7F');
    for (int f = 0; f < 6; ++f)
        for (int i = 0; i < 2; ++i) {
            const int32_t re = f + 1, im = 100 + i;
            bytes.append(reinterpret_cast<const char*>(&re), 4);
            bytes.append(reinterpret_cast<const char*>(&im), 4);
        }
    TTempFolder folder;
    const std::string path = folder.File("vox.raw");
    vx::test::WriteBytes(path, bytes);

    TCSIReadParams p = Params(1, /*z*/ 2, /*x*/ 0, /*y*/ 1);
    p.m_nHeaderSize = 100;
    TProbeReader reader(p);
    TCSISet& set = reader.NewSet(3, 1, 2, 2);
    ASSERT_TRUE(reader.ReadRawDataToVoxels(path));
    EXPECT_TRUE(set.IsLoaded());
    EXPECT_EQ(set.GetVoxel(0, 0, 0)->GetReal(0), 1.0f) << "first sample at byte 100";
    EXPECT_EQ(set.GetVoxel(0, 0, 0)->GetImag(1), 101.0f);
    EXPECT_EQ(set.GetVoxel(0, 0, 1)->GetReal(0), 2.0f);
    EXPECT_EQ(set.GetVoxel(1, 0, 0)->GetReal(0), 3.0f);
    EXPECT_EQ(set.GetVoxel(2, 0, 1)->GetReal(1), 6.0f);

    // The same file one byte short is refused with the bytes it holds and needs.
    TScriptedReport report;
    vx::test::WriteBytes(path, bytes.substr(0, bytes.size() - 1));
    TProbeReader shortReader(p);
    shortReader.NewSet(3, 1, 2, 2);
    EXPECT_FALSE(shortReader.ReadRawDataToVoxels(path));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Data file " + path +
                                                          " holds 195 bytes, fewer than the 196 bytes its header "
                                                          "and samples need."});
}

TEST(CSIReaderVoxels, FillReplacesLoadedSpectra)
{
    std::vector<int> values(2 * 2 * 3, 5);
    TTempFolder folder;
    const std::string path = folder.File("fill.raw");
    vx::test::WriteBytes(path, Int16LE(values));
    TProbeReader reader(Params(0));
    TCSISet& set = reader.NewSet(2, 1, 1, 3);
    ASSERT_TRUE(reader.ReadRawData(path));
    ASSERT_TRUE(reader.FillCSISet());
    set.GetVoxel(0)->SetComplexData(std::vector<TComplex>(3, TComplex(9, 9)).data());
    ASSERT_TRUE(reader.FillCSISet());
    EXPECT_TRUE(set.IsLoaded());
    EXPECT_EQ(set.VoxelCount(), 2u);
    EXPECT_EQ(set.GetVoxel(0)->GetReal(2), 5.0f);
    EXPECT_EQ(set.GetVoxel(1)->m_nPoints, 3);
    // A grid grown after the read no longer fits the buffer.
    set.m_nDim[0] = 3;
    EXPECT_FALSE(reader.FillCSISet());
}

TEST(CSIReaderValidate, RefusesEachInvalidParameter)
{
    auto valid = [](TCSISet& s) {
        s.m_nPoints = 512;
        s.m_nSpatialDims = 2;
        s.m_nEchoPosition = 511;
        s.m_fFrequency = 123.2f;
        s.m_nSpectralWidth = 2000;
    };
    struct Case {
        const char* what;
        void (*spoil)(TCSISet&);
    };
    const Case cases[] = {
        {"points 0", [](TCSISet& s) { s.m_nPoints = 0; }},
        {"dims 0", [](TCSISet& s) { s.m_nSpatialDims = 0; }},
        {"echo = points", [](TCSISet& s) { s.m_nEchoPosition = s.m_nPoints; }},
        {"echo < 0", [](TCSISet& s) { s.m_nEchoPosition = -1; }},
        {"matrix 0", [](TCSISet& s) { s.m_nDim[2] = 0; }},
        {"fov 0", [](TCSISet& s) { s.m_fFOV[1] = 0.0f; }},
        {"fov NaN", [](TCSISet& s) { s.m_fFOV[0] = std::nanf(""); }},
        {"frequency NaN", [](TCSISet& s) { s.m_fFrequency = std::nanf(""); }},
        {"frequency 0", [](TCSISet& s) { s.m_fFrequency = 0.0f; }},
        {"width 0", [](TCSISet& s) { s.m_nSpectralWidth = 0; }},
    };
    {
        TProbeReader reader(Params(0));
        EXPECT_FALSE(reader.Validate()) << "no set";
        valid(reader.NewSet(1, 1, 1, 1));
        EXPECT_TRUE(reader.Validate());
    }
    for (const Case& c : cases) {
        TProbeReader reader(Params(0));
        TCSISet& set = reader.NewSet(4, 4, 1, 1);
        valid(set);
        c.spoil(set);
        EXPECT_FALSE(reader.Validate()) << c.what;
    }
}
