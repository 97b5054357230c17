// The CSI data-set file: golden layouts of every version (packed by
// make_dataset_golden.py), round trips, the documented messages, hostile headers
// and failed writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "support/Bytes.h"
#include "support/CSISetBuilders.h"
#include "support/FileFaultScope.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

// The fixture of make_dataset_golden.py: change both together.
constexpr int kNX = 3, kNY = 2, kNZ = 2, kPoints = 4;

TComplex GoldenSample(int x, int y, int z, int k)
{
    return TComplex(x + 10.0f * y + 100.0f * z + 0.25f * k, -0.5f * (k + 1) - 1000.0f * z);
}

const float kGoldenRotation[3][3] = {{2.0f, 1.0f, 0.5f}, {0.25f, 3.0f, 1.0f}, {1.0f, 0.5f, 4.0f}};

void SetGoldenParams(TCSIParams& p)
{
    const float shift[3] = {1.5f, -2.25f, 3.0f}, fov[3] = {220.0f, 200.0f, 30.0f};
    const float ang[3] = {10.0f, -5.0f, 2.5f}, off[3] = {-12.5f, 30.25f, 7.0f};
    const int dim[3] = {kNX, kNY, kNZ};
    for (int d = 0; d < 3; ++d) {
        p.m_fVoxelShift[d] = shift[d];
        p.m_fFOV[d] = fov[d];
        p.m_nDim[d] = dim[d];
        p.m_fAngulation[d] = ang[d];
        p.m_fOffCentre[d] = off[d];
        for (int c = 0; c < 3; ++c)
            p.m_fRotation[d][c] = kGoldenRotation[d][c];
    }
    p.m_nPoints = kPoints;
    p.m_nFirstPoint = 1;
    p.m_nLastPoint = 3;
    p.m_nSpectralWidth = 2000;
    p.m_fFrequency = 127.75f;
    p.m_fPPMCentrePoint = 2.5f;
    p.m_fPPMCentreValue = 4.75f;
    p.m_fPhase0 = 0.5f;
    p.m_fPhase1 = -1.25f;
    p.m_nPivot = 2;
    p.m_bEchoShifted = 1;
    p.m_bFrequencyDomain = 1;
    p.m_nFormat = 22;
    p.m_nEchoPosition = 1;
    p.m_nSpatialDims = 3;
    p.m_nSliceAxis = 2;
    p.m_fTR = 1500.0f;
    p.m_fTE = 144.0f;
    p.m_fAverages = 8.0f;
    p.m_bKSpace = 0;
    p.m_bMultiSlice = 1;
    p.m_fLorentzBroadening = 1.5f;
    p.m_fGaussBroadening = 2.75f;
}

// A loaded set holding the golden parameters and samples.
void FillGoldenSet(TCSISet& set)
{
    SetGoldenParams(set);
    test::FillGrid(set, kNX, kNY, kNZ, kPoints, GoldenSample);
}

std::string Golden(int version)
{
    return test::ReadBytes(std::string(VX_SOURCE_ROOT) + "/tests/model/golden/dataset_v" +
                           std::to_string(version) + ".bin");
}

// The fields a file of `version` holds equal the golden values; the others kept the
// defaults of a new set.
void ExpectGoldenParams(const TCSISet& s, int version)
{
    TCSIParams golden;
    SetGoldenParams(golden);
    const TCSIParams defaults;
    const TCSIParams& want2 = version >= 2 ? golden : defaults;
    const TCSIParams& want3 = version >= 3 ? golden : defaults;
    const TCSIParams& want4 = version >= 4 ? golden : defaults;
    const TCSIParams& want9 = version >= 9 ? golden : defaults;
    // Versions 0 and 1 take sizes from the set itself (given by the caller).
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(s.m_nDim[d], golden.m_nDim[d]);
        EXPECT_EQ(s.m_fVoxelShift[d], want2.m_fVoxelShift[d]) << d;
        EXPECT_EQ(s.m_fFOV[d], want2.m_fFOV[d]) << d;
        EXPECT_EQ(s.m_fAngulation[d], want3.m_fAngulation[d]) << d;
        EXPECT_EQ(s.m_fOffCentre[d], want3.m_fOffCentre[d]) << d;
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(s.m_fRotation[d][c], want4.m_fRotation[d][c]) << d << c;
    }
    EXPECT_EQ(s.m_nPoints, kPoints);
    if (version >= 2) {
        EXPECT_EQ(s.m_nFirstPoint, 1);
        EXPECT_EQ(s.m_nLastPoint, 3);
    }
    EXPECT_EQ(s.m_nSpectralWidth, want2.m_nSpectralWidth);
    EXPECT_EQ(s.m_fFrequency, want2.m_fFrequency);
    EXPECT_EQ(s.m_fPPMCentrePoint, want2.m_fPPMCentrePoint);
    EXPECT_EQ(s.m_fPPMCentreValue, want2.m_fPPMCentreValue);
    EXPECT_EQ(s.m_fPhase0, want2.m_fPhase0);
    EXPECT_EQ(s.m_fPhase1, want2.m_fPhase1);
    EXPECT_EQ(s.m_nPivot, want2.m_nPivot);
    EXPECT_EQ(s.m_bEchoShifted, want2.m_bEchoShifted);
    EXPECT_EQ(s.m_bFrequencyDomain, want2.m_bFrequencyDomain);
    EXPECT_EQ(s.m_nFormat, want2.m_nFormat);
    EXPECT_EQ(s.m_nEchoPosition, want2.m_nEchoPosition);
    EXPECT_EQ(s.m_nSpatialDims, want2.m_nSpatialDims);
    EXPECT_EQ(s.m_nSliceAxis, want2.m_nSliceAxis);
    EXPECT_EQ(s.m_fTR, want2.m_fTR);
    EXPECT_EQ(s.m_fTE, want2.m_fTE);
    EXPECT_EQ(s.m_fAverages, want2.m_fAverages);
    EXPECT_EQ(s.m_bKSpace, want3.m_bKSpace);
    EXPECT_EQ(s.m_bMultiSlice, want3.m_bMultiSlice);
    EXPECT_EQ(s.m_fLorentzBroadening, want9.m_fLorentzBroadening);
    EXPECT_EQ(s.m_fGaussBroadening, want9.m_fGaussBroadening);
    // The inverse rotation follows the rotation read (identity before version 4).
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double product = 0;
            for (int k = 0; k < 3; ++k)
                product += double(s.m_fRotation[r][k]) * s.m_fRotationInverse[k][c];
            EXPECT_NEAR(product, r == c ? 1.0 : 0.0, 1e-5) << r << c;
        }
}

void ExpectGoldenSamples(const TCSISet& s)
{
    ASSERT_TRUE(s.IsLoaded());
    ASSERT_EQ(s.VoxelCount(), size_t(kNX * kNY * kNZ));
    float realMax = -1e30f, realMin = 1e30f, imagMax = -1e30f, imagMin = 1e30f, magMax = 0;
    for (int z = 0; z < kNZ; ++z)
        for (int y = 0; y < kNY; ++y)
            for (int x = 0; x < kNX; ++x) {
                const TSpectrum* v = s.GetVoxel(x, y, z);
                ASSERT_NE(v, nullptr);
                EXPECT_EQ(v->m_nX, x);
                EXPECT_EQ(v->m_nY, y);
                EXPECT_EQ(v->m_nZ, z);
                ASSERT_EQ(v->m_nPoints, kPoints);
                ASSERT_NE(v->Data(), nullptr);
                for (int k = 0; k < kPoints; ++k) {
                    const TComplex want = GoldenSample(x, y, z, k);
                    EXPECT_EQ(v->Data()[k], want) << x << y << z << k;
                    realMax = std::max(realMax, want.real());
                    realMin = std::min(realMin, want.real());
                    imagMax = std::max(imagMax, want.imag());
                    imagMin = std::min(imagMin, want.imag());
                    magMax = std::max(magMax, std::abs(want));
                }
            }
    EXPECT_EQ(s.m_fRealMax, realMax);
    EXPECT_EQ(s.m_fRealMin, realMin);
    EXPECT_EQ(s.m_fImagMax, imagMax);
    EXPECT_EQ(s.m_fImagMin, imagMin);
    EXPECT_NEAR(s.m_fMagnitudeMax, magMax, magMax * 1e-6f);
}

// The parts of a set a failed read must not touch.
void ExpectUntouchedNewSet(const TCSISet& s)
{
    const TCSIParams defaults;
    EXPECT_FALSE(s.IsLoaded());
    EXPECT_FALSE(s.IsAllocated());
    EXPECT_EQ(s.VoxelCount(), 0u);
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(s.m_nDim[d], 1);
        EXPECT_EQ(s.m_fFOV[d], defaults.m_fFOV[d]);
    }
    EXPECT_EQ(s.m_nPoints, 0);
    EXPECT_EQ(s.m_fFrequency, 0.0f);
    EXPECT_EQ(s.m_bKSpace, 1);
}

class DataSetFile : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobals(); }
    void TearDown() override
    {
        TFile::FailWritesAfter(-1);
        ResetGlobals();
    }

    test::TTempFolder m_dir;
    test::TScriptedReport m_report;
};

}  // namespace

TEST_F(DataSetFile, WriterProducesTheGoldenLayout)
{
    TCSISet set;
    FillGoldenSet(set);
    const std::string path = m_dir.File("golden.csi");
    ASSERT_TRUE(set.WriteDataFile(path));
    const std::string golden = Golden(9);
    ASSERT_EQ(golden.size(), 256u + kNX * kNY * kNZ * kPoints * 8u);
    EXPECT_EQ(test::ReadBytes(path), golden);
    EXPECT_EQ(m_report.Count(), 0u);
    // Only the file itself is left in the folder (no temporary).
    EXPECT_EQ(vx::test::ListedEntries(m_dir.Path()).size(), 1u);
}

TEST_F(DataSetFile, ReadsEveryLayoutVersion)
{
    for (int version = 0; version <= 9; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::string path = m_dir.File(std::string("layout") + std::to_string(version) + ".csi");
        test::WriteBytes(path, Golden(version));
        TCSISet set;
        if (version < 2) {
            // Bare samples: the sizes come from the project record before the read.
            set.m_nDim[0] = kNX;
            set.m_nDim[1] = kNY;
            set.m_nDim[2] = kNZ;
            set.m_nPoints = kPoints;
        }
        ASSERT_TRUE(set.ReadDataFile(path, version));
        ExpectGoldenParams(set, version);
        ExpectGoldenSamples(set);
    }
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(DataSetFile, RoundTripOfAnArbitrarySet)
{
    TCSISet out;
    uint32_t seed = 12345;
    test::FillSet(out, 5, 1, 3, 7, [&](int, int) {
        seed = seed * 1664525u + 1013904223u;
        return TComplex(static_cast<float>(seed >> 8) * 1e-3f, -static_cast<float>(seed & 0xffff));
    });
    out.m_fFrequency = 63.8f;
    out.m_nSpectralWidth = 1234;
    const std::string path = m_dir.File("any.csi");
    ASSERT_TRUE(out.WriteDataFile(path));
    EXPECT_EQ(FileSize(path), 256 + 15 * 7 * 8);

    TCSISet in;
    ASSERT_TRUE(in.ReadDataFile(path));
    EXPECT_EQ(in.m_nDim[0], 5);
    EXPECT_EQ(in.m_nDim[2], 3);
    EXPECT_EQ(in.m_fFrequency, 63.8f);
    EXPECT_EQ(in.m_nSpectralWidth, 1234);
    ASSERT_EQ(in.VoxelCount(), out.VoxelCount());
    EXPECT_EQ(test::AllSamples(in), test::AllSamples(out));

    // 2 x 2 voxels of 512 points: the header and 4 x 512 sample pairs.
    TCSISet square;
    test::FillSet(square, 2, 2, 1, 512, [](int, int) { return TComplex(0, 0); });
    ASSERT_TRUE(square.WriteDataFile(path));
    EXPECT_EQ(FileSize(path), 16640);
}

TEST_F(DataSetFile, WrittenFileAlwaysMatchesItsHeader)
{
    // Spectra short of samples and a grid larger than the voxel array are padded
    // with zeros, so the file reads back.
    TCSISet set;
    set.m_nDim[0] = 2;
    set.m_nPoints = 3;
    ASSERT_TRUE(set.AllocateVoxels());
    set.InitVoxels();
    const TComplex two[2] = {{1, 2}, {3, 4}};
    set.GetVoxel(0)->AllocateZeroed(2);
    std::copy(two, two + 2, set.GetVoxel(0)->Data());
    set.m_bLoaded = true;
    set.m_nDim[1] = 2;  // four voxels now, two spectra
    const std::string path = m_dir.File("padded.csi");
    ASSERT_TRUE(set.WriteDataFile(path));
    EXPECT_EQ(FileSize(path), 256 + 4 * 3 * 8);
    TCSISet in;
    ASSERT_TRUE(in.ReadDataFile(path));
    EXPECT_EQ(in.GetVoxel(0)->Data()[1], two[1]);
    EXPECT_EQ(in.GetVoxel(0)->Data()[2], TComplex(0, 0));
    EXPECT_EQ(in.GetVoxel(3)->Data()[0], TComplex(0, 0));

    // A set without voxels gives the header alone.
    TCSISet empty;
    ASSERT_TRUE(empty.WriteDataFile(path));
    EXPECT_EQ(FileSize(path), 256);
}

TEST_F(DataSetFile, VersionWordMustMatchTheProjectVersion)
{
    const std::string path = m_dir.File("v9.csi");
    test::WriteBytes(path, Golden(9));
    TCSISet set;
    EXPECT_FALSE(set.ReadDataFile(path, 5));
    ASSERT_EQ(m_report.Messages().size(), 1u);
    EXPECT_EQ(m_report.Messages()[0], "The CSI data file " + path + " has invalid version.");
    EXPECT_EQ(m_report.Entries()[0].icon, ReportIcon::Exclamation);
    ExpectUntouchedNewSet(set);

    // A version-5 file is read while a version-5 project loads, and refused otherwise.
    test::WriteBytes(path, Golden(5));
    EXPECT_FALSE(set.ReadDataFile(path));
    EXPECT_TRUE(set.ReadDataFile(path, 5));
}

TEST_F(DataSetFile, Version3FileKeepsTheRotationOfTheSet)
{
    const std::string path = m_dir.File("v3.csi");
    test::WriteBytes(path, Golden(3));
    TCSISet set;
    const float rotation[3][3] = {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
    std::memcpy(set.m_fRotation, rotation, sizeof rotation);
    set.m_fLorentzBroadening = 0.5f;
    ASSERT_TRUE(set.ReadDataFile(path, 3));
    EXPECT_EQ(std::memcmp(set.m_fRotation, rotation, sizeof rotation), 0);
    EXPECT_EQ(set.m_fLorentzBroadening, 0.5f);
    EXPECT_EQ(set.m_fAngulation[0], 10.0f);
}

TEST_F(DataSetFile, Version1FileIsBareSamplesFromOffsetZero)
{
    // The version-9 file read as bare samples: its header becomes the first samples.
    const std::string golden = Golden(9);
    const std::string path = m_dir.File("bare.csi");
    test::WriteBytes(path, golden);
    TCSISet set;
    set.m_nDim[0] = 4;
    set.m_nPoints = 8;  // 4 voxels x 8 points x 8 bytes = 256 bytes
    ASSERT_TRUE(set.ReadDataFile(path, 1));
    float first[2];
    std::memcpy(first, golden.data(), 8);
    EXPECT_EQ(set.GetVoxel(0)->Data()[0], TComplex(first[0], first[1]));
    EXPECT_EQ(set.m_nSpectralWidth, 0) << "no header was read";

    // Without sizes from the record there is nothing to read.
    TCSISet empty;
    EXPECT_FALSE(empty.ReadDataFile(path, 0));
    EXPECT_TRUE(m_report.Contains("The CSI data file " + path + " is invalid."));
}

TEST_F(DataSetFile, FlagWordsKeepBitZeroOnly)
{
    std::string bytes = Golden(9);
    test::PutInt32LE(bytes, 88, 3);   // domain flag
    test::PutInt32LE(bytes, 84, -2);  // reader flag 0xfffffffe
    const std::string path = m_dir.File("flags.csi");
    test::WriteBytes(path, bytes);
    TCSISet set;
    ASSERT_TRUE(set.ReadDataFile(path));
    EXPECT_EQ(set.m_bFrequencyDomain, 1);
    EXPECT_EQ(set.m_bEchoShifted, 0);
}

TEST_F(DataSetFile, SingularRotationLeavesTheInverseAlone)
{
    std::string bytes = Golden(9);
    for (size_t offset = 152; offset < 188; offset += 4)
        test::PutInt32LE(bytes, offset, 0);  // rotation of zeros
    const std::string path = m_dir.File("singular.csi");
    test::WriteBytes(path, bytes);
    TCSISet set;
    set.m_fRotationInverse[0][1] = 0.5f;
    ASSERT_TRUE(set.ReadDataFile(path));
    EXPECT_EQ(set.m_fRotation[1][1], 0.0f);
    EXPECT_EQ(set.m_fRotationInverse[0][1], 0.5f);
    EXPECT_EQ(set.m_fRotationInverse[1][1], 1.0f);
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(DataSetFile, TruncatedAtEveryOffsetIsRefusedCleanly)
{
    const std::string golden = Golden(9);
    const std::string path = m_dir.File("cut.csi");
    for (size_t cut = 0; cut < golden.size(); ++cut) {
        test::WriteBytes(path, golden.substr(0, cut));
        TCSISet set;
        m_report.Clear();
        EXPECT_FALSE(set.ReadDataFile(path)) << cut;
        ASSERT_EQ(m_report.Count(), 1u) << cut;
        const std::string want = cut < 4 ? " has invalid version." : " is invalid.";
        EXPECT_EQ(m_report.Messages()[0], "The CSI data file " + path + want) << cut;
        ExpectUntouchedNewSet(set);
    }
    // Bytes after the last voxel are ignored.
    test::WriteBytes(path, golden + "trailing");
    TCSISet set;
    EXPECT_TRUE(set.ReadDataFile(path));

    // Each read the disk fails in turn, of the header or (at their places) of the samples,
    // is said to have failed: the file is not known to be invalid.
    for (const unsigned calls : {unsigned(vx::kFileRead), unsigned(vx::kFileReadAt)})
        for (int at = 1;; ++at) {
            TCSISet failing;
            m_report.Clear();
            bool read = false, struck = false;
            {
                test::TFileFaultScope fault({{calls, EIO, at}});
                read = failing.ReadDataFile(path);
                struck = vx::FileFaultStruck();
            }
            if (!struck) {
                EXPECT_TRUE(read);
                EXPECT_GT(at, 1) << "no read of kind " << calls << " failed";
                break;
            }
            EXPECT_FALSE(read) << at;
            EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"The CSI data file " + path +
                                                                    " cannot be read to its end: input/output error."})
                << calls << " " << at;
            ExpectUntouchedNewSet(failing);
        }
}

TEST_F(DataSetFile, HostileHeadersAreRefusedBeforeAllocating)
{
    struct Case {
        const char* what;
        size_t offset;
        int32_t value;
    };
    const Case cases[] = {
        {"65535 voxels on x", 32, 65535},  // with the two below: 65535^3 voxels
        {"matrix x 0", 32, 0},
        {"matrix y negative", 36, -4},
        {"matrix z huge", 40, 0x7fffffff},
        {"points 0", 44, 0},
        {"points negative", 44, -1},
        {"points beyond the file", 44, 0x7fffffff},
        {"slice axis 3", 104, 3},
        {"slice axis negative", 104, -1},
        {"echo position at the point count", 96, kPoints},
        {"echo position negative", 96, -1},
    };
    for (const Case& c : cases) {
        std::string bytes = Golden(9);
        test::PutInt32LE(bytes, c.offset, c.value);
        if (c.offset == 32 && c.value == 65535) {
            test::PutInt32LE(bytes, 36, 65535);
            test::PutInt32LE(bytes, 40, 65535);
        }
        const std::string path = m_dir.File("hostile.csi");
        test::WriteBytes(path, bytes);
        TCSISet set;
        m_report.Clear();
        EXPECT_FALSE(set.ReadDataFile(path)) << c.what;
        EXPECT_TRUE(m_report.Contains("The CSI data file " + path + " is invalid.")) << c.what;
        ExpectUntouchedNewSet(set);
    }
}

TEST_F(DataSetFile, PointRangeOutsideTheSpectrumIsClamped)
{
    std::string bytes = Golden(9);
    test::PutInt32LE(bytes, 48, -3);   // first point
    test::PutInt32LE(bytes, 52, 400);  // last point
    const std::string path = m_dir.File("range.csi");
    test::WriteBytes(path, bytes);
    TCSISet set;
    ASSERT_TRUE(set.ReadDataFile(path));
    EXPECT_EQ(set.m_nFirstPoint, 0);
    EXPECT_EQ(set.m_nLastPoint, kPoints - 1);

    // A reversed range inside the spectrum becomes the whole spectrum.
    test::PutInt32LE(bytes, 48, 3);
    test::PutInt32LE(bytes, 52, 1);
    test::WriteBytes(path, bytes);
    TCSISet reversed;
    ASSERT_TRUE(reversed.ReadDataFile(path));
    EXPECT_EQ(reversed.m_nFirstPoint, 0);
    EXPECT_EQ(reversed.m_nLastPoint, kPoints - 1);
}

TEST_F(DataSetFile, MissingFileOrFolderIsReported)
{
    TCSISet set;
    const std::string path = m_dir.File("none.csi");
    EXPECT_FALSE(set.ReadDataFile(path));
    ASSERT_EQ(m_report.Messages().size(), 1u);
    EXPECT_EQ(m_report.Messages()[0], "Can not open CSI data set file " + path);
    ExpectUntouchedNewSet(set);

    TCSISet golden;
    FillGoldenSet(golden);
    const std::string folder = m_dir.File("no/such/folder.csi");
    EXPECT_FALSE(golden.WriteDataFile(folder));
    ASSERT_EQ(m_report.Messages().size(), 2u);
    EXPECT_EQ(m_report.Messages()[1], "Can not write CSI data set file " + folder + ".\r\n");
}

TEST_F(DataSetFile, BatchRunLogsInsteadOfShowingABox)
{
    g_bBatchMode = true;
    TCSISet set;
    const std::string path = m_dir.File("none.csi");
    EXPECT_FALSE(set.ReadDataFile(path));
    test::WriteBytes(path, "abc");
    EXPECT_FALSE(set.ReadDataFile(path));
    // A failed write's text ends in its own line break: the log gets no second one.
    TCSISet golden;
    FillGoldenSet(golden);
    const std::string missing = m_dir.File("no/such/folder.csi");
    EXPECT_FALSE(golden.WriteDataFile(missing));
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_EQ(g_batchLog, "Can not open CSI data set file " + path + "\r\nThe CSI data file " + path +
                              " has invalid version.\r\nCan not write CSI data set file " + missing + ".\r\n");
    EXPECT_TRUE(g_bBatchError);
}

TEST_F(DataSetFile, ReadingIntoALoadedSetKeepsItsSpectraAndSelection)
{
    const std::string path = m_dir.File("golden.csi");
    test::WriteBytes(path, Golden(9));
    TCSISet set;
    FillGoldenSet(set);
    TSpectrum* third = set.GetVoxel(3);
    third->m_bSelected = 1;
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        set.GetVoxel(v)->Multiply(TComplex(0.0f, 2.0f));
    // Undo reads the saved state back into the loaded work set: views keep pointers to
    // its spectra and the user's selection stays.
    ASSERT_TRUE(set.ReadDataFile(path));
    EXPECT_EQ(set.GetVoxel(3), third);
    EXPECT_EQ(third->m_bSelected, 1);
    ExpectGoldenSamples(set);

    // A file of another grid replaces the voxel array.
    TCSISet other;
    test::FillSet(other, 5, 1, 1, 2, [](int, int) { return TComplex(0, 0); });
    other.m_fFrequency = set.m_fFrequency;
    other.m_nSpectralWidth = set.m_nSpectralWidth;
    const std::string path5 = m_dir.File("five.csi");
    ASSERT_TRUE(other.WriteDataFile(path5));
    ASSERT_TRUE(set.ReadDataFile(path5));
    EXPECT_EQ(set.VoxelCount(), 5u);
    EXPECT_EQ(set.m_nDim[1], 1);
    EXPECT_EQ(set.GetVoxel(4)->m_nPoints, 2);
    EXPECT_EQ(set.GetVoxel(4)->m_nX, 4);
}

namespace {

// The set holds the written samples, and its five range fields are those of its
// samples taken in the plain way.
void ExpectSamplesAndRanges(const TCSISet& set, const std::vector<TComplex>& written)
{
    const std::vector<TComplex> all = test::AllSamples(set);
    EXPECT_EQ(all, written);
    ASSERT_FALSE(all.empty());
    float reMax = all[0].real(), reMin = reMax, imMax = all[0].imag(), imMin = imMax, magMax = 0;
    for (const TComplex& c : all) {
        reMax = std::max(reMax, c.real());
        reMin = std::min(reMin, c.real());
        imMax = std::max(imMax, c.imag());
        imMin = std::min(imMin, c.imag());
        magMax = std::max(magMax, static_cast<float>(std::hypot(double(c.real()), double(c.imag()))));
    }
    EXPECT_EQ(set.m_fRealMax, reMax);
    EXPECT_EQ(set.m_fRealMin, reMin);
    EXPECT_EQ(set.m_fImagMax, imMax);
    EXPECT_EQ(set.m_fImagMin, imMin);
    EXPECT_FLOAT_EQ(set.m_fMagnitudeMax, magMax);
}

}  // namespace

// Files of several megabytes are read on the workers: the samples, ranges and voxel
// parameters are those written and those of a one-worker read, into a new set, a
// loaded one of the same grid and one of another point count, and when a loaded set
// is loaded again from its file.
TEST_F(DataSetFile, LargeFilesReadOnTheWorkersAsOnOne)
{
    test::TProcessorCountGuard guard;
    TCSISet out;
    uint32_t seed = 7;
    test::FillSet(out, 16, 16, 3, 1024, [&](int, int) {  // 6 MB of samples
        seed = seed * 1664525u + 1013904223u;
        return TComplex(static_cast<float>(seed >> 9) - 4e6f, static_cast<float>(seed & 0xfffff) - 3e5f);
    });
    out.GetVoxel(700)->Data()[1000] = TComplex(9e6f, -8e6f);  // extremes deep inside one worker's block
    const std::string path = m_dir.File("large.csi");
    ASSERT_TRUE(out.WriteDataFile(path));
    const std::vector<TComplex> written = test::AllSamples(out);

    for (int workers : {1, 4}) {
        SCOPED_TRACE(std::to_string(workers) + " workers");
        SetProcessorCount(workers);
        TCSISet fresh;
        ASSERT_TRUE(fresh.ReadDataFile(path));
        ExpectSamplesAndRanges(fresh, written);
        EXPECT_EQ(fresh.m_fRealMax, 9e6f);
        EXPECT_EQ(fresh.m_fImagMin, -8e6f);
        EXPECT_EQ(fresh.GetVoxel(767)->m_nPoints, 1024);
        EXPECT_EQ(fresh.GetVoxel(767)->m_nZ, 2);

        // Loaded again from its file, its old samples freed aside.
        fresh.m_strFilePath = path;
        fresh.GetVoxel(5)->Multiply(TComplex(3.0f, 0.0f));
        ASSERT_TRUE(fresh.LoadData());
        ExpectSamplesAndRanges(fresh, written);

        // A loaded set of the grid with other point counts gets the file's.
        TCSISet shorter;
        test::FillSet(shorter, 16, 16, 3, 600, [](int, int) { return TComplex(1e9f, 1e9f); });
        TSpectrum* first = shorter.GetVoxel(0);
        ASSERT_TRUE(shorter.ReadDataFile(path));
        EXPECT_EQ(shorter.GetVoxel(0), first);
        ExpectSamplesAndRanges(shorter, written);
        EXPECT_EQ(shorter.GetVoxel(0)->m_nPoints, 1024);
    }
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(DataSetFile, FailedWriteReportsAndKeepsTheOldFile)
{
    const std::string path = m_dir.File("work.csi");
    const std::string old = Golden(9);
    test::WriteBytes(path, old);
    TCSISet set;
    test::FillSet(set, 64, 1, 1, 1024, [](int, int) { return TComplex(0, 0); });  // 512 KB of samples
    // The disk fills up before the header, inside it, and at several places in the samples.
    for (int64_t budget : {0, 100, 256, 300, 200000, 524287}) {
        m_report.Clear();
        TFile::FailWritesAfter(budget);
        EXPECT_FALSE(set.WriteDataFile(path)) << budget;
        TFile::FailWritesAfter(-1);
        ASSERT_EQ(m_report.Messages().size(), 1u) << budget;
        EXPECT_EQ(m_report.Messages()[0], "Can not write CSI data set file " + path + ".\r\n");
        EXPECT_EQ(test::ReadBytes(path), old) << budget;
        EXPECT_EQ(vx::test::ListedEntries(m_dir.Path()).size(), 1u) << "temporary file left, budget " << budget;
    }
    ASSERT_TRUE(set.WriteDataFile(path));
    EXPECT_EQ(FileSize(path), 256 + 64 * 1024 * 8);
}

TEST_F(DataSetFile, SetWithoutSamplesInMemoryIsNotWrittenOverItsFile)
{
    // A set that is not the work set keeps its samples only in its data-set file.
    const std::string path = m_dir.File("kept.csi");
    const std::string old = Golden(9);
    test::WriteBytes(path, old);
    TCSISet set;
    SetGoldenParams(set);
    EXPECT_FALSE(set.IsAllocated());
    EXPECT_FALSE(set.WriteDataFile(path));
    ASSERT_EQ(m_report.Messages().size(), 1u);
    EXPECT_EQ(m_report.Messages()[0], "Can not write CSI data set file " + path + ".\r\n");
    EXPECT_EQ(test::ReadBytes(path), old);

    // Once read back it writes the same bytes again.
    ASSERT_TRUE(set.ReadDataFile(path));
    ASSERT_TRUE(set.WriteDataFile(path));
    EXPECT_EQ(test::ReadBytes(path), old);
}
