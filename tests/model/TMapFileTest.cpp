// The map file: golden layouts of every version (packed by make_map_golden.py), the
// round trip of the newest layout, the documented messages, truncated and hostile files
// and failed writes.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "support/Bytes.h"
#include "support/FileFaultScope.h"
#include "support/MapChecks.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

std::string Golden(int version)
{
    return test::ReadBytes(std::string(VX_SOURCE_ROOT) + "/tests/model/golden/map_v" + std::to_string(version) +
                           ".bin");
}

// The fixture of make_map_golden.py: change both together.
constexpr int kNX = 3, kNY = 2, kNZ = 2;

TComplex GoldenValue(int x, int y, int z)
{
    return TComplex(x + 10.0f * y + 100.0f * z, -0.5f - 1000.0f * z);
}

void SetGoldenParams(TMapParams& p)
{
    const float shift[3] = {1.5f, -2.25f, 3.0f}, fov[3] = {220, 200, 30}, ang[3] = {10, -5, 2.5f},
                off[3] = {-12.5f, 30.25f, 7};
    for (int d = 0; d < 3; ++d) {
        p.voxelShift[d] = shift[d];
        p.fov[d] = fov[d];
        p.angulation[d] = ang[d];
        p.offCentre[d] = off[d];
    }
    p.size[0] = kNX;
    p.size[1] = kNY;
    p.size[2] = kNZ;
    p.selectedOnly = 1;
    p.aux1 = 11;
    p.peakEndPPM = 1.75f;
    p.peakStartPPM = 2.25f;
    p.aux2 = 12;
    p.method = 1;
    p.aux3 = 13;
    p.centreOnPeak = 1;
    p.ratioOfPeaks = 1;
    p.refPeakEndPPM = 2.875f;
    p.refPeakStartPPM = 3.125f;
    p.maxMagnitude = 1200.5f;
    p.maxImag = -0.5f;
    p.maxReal = 111.25f;
    p.minMagnitude = 0.5f;
    p.minImag = -1012.0f;
    p.minReal = 0.0f;
    p.useInternalReference = 1;
    p.useReferenceMap = 1;
    p.molarUnit = 1;
    p.relaxationCorrection = 1;
    p.quantScale = 0.375f;
    p.aux5 = 4.5f;
    p.aux6 = 5.5f;
    p.referenceConcentration = 10.5f;
    p.aux4 = 14;
    p.t1 = 1400.0f;
    p.t2 = 250.0f;
    p.referenceVoxel[0] = 2;
    p.referenceVoxel[1] = 1;
    p.referenceVoxel[2] = 1;
    p.referenceSetName = "water";
    p.referenceMapName = "water_map";
}

void ExpectGoldenValues(const TMap& map)
{
    ASSERT_EQ(map.ValueCount(), size_t(kNX * kNY * kNZ));
    for (int z = 0; z < kNZ; ++z)
        for (int y = 0; y < kNY; ++y)
            for (int x = 0; x < kNX; ++x)
                EXPECT_EQ(map.Values()[map.ValueIndex(x, y, z)], GoldenValue(x, y, z)) << x << y << z;
}

// A map of a 2 x 2 x 1 grid whose parameters differ from the golden ones.
void MakeOtherMap(TMap& map)
{
    map.name = "other_map";
    map.peakStartPPM = 7.0f;
    map.voxelByVoxel = 1;
    const int dim[3] = {2, 2, 1};
    map.SetGrid(dim, {TComplex(1, 2), TComplex(3, 4), TComplex(5, 6), TComplex(7, 8)});
    map.UpdateStatistics();
}

class MapFileTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobals(); }
    void TearDown() override
    {
        TFile::FailWritesAfter(-1);
        ResetGlobals();
    }

    std::string WriteInput(const std::string& bytes)
    {
        const std::string path = m_dir.File("in_map");
        test::WriteBytes(path, bytes);
        return path;
    }

    test::TTempFolder m_dir;
};

}  // namespace

TEST_F(MapFileTest, GoldenFilesOfEveryLayoutReadEveryStoredField)
{
    TMapParams golden;
    SetGoldenParams(golden);
    for (int version : {2, 5, 8, 9}) {
        SCOPED_TRACE("version " + std::to_string(version));
        test::TScriptedReport script;
        TMap map;
        map.name = "kept_map";
        map.voxelByVoxel = 1;
        const TMapParams before = map;
        ASSERT_TRUE(map.ReadFile(WriteInput(Golden(version)), version));
        EXPECT_EQ(script.Count(), 0u);
        test::ExpectStoredMapFields(map, golden, before, version);
        ExpectGoldenValues(map);
        // Not stored: the name and the normalisation flag stay; the display range is the
        // range of the real parts.
        EXPECT_EQ(map.name, "kept_map");
        EXPECT_EQ(map.voxelByVoxel, 1);
        EXPECT_EQ(map.displayMax, golden.maxReal);
        EXPECT_EQ(map.displayMin, golden.minReal);
        EXPECT_EQ(map.GetState(), TMap::kSaved);
    }
}

TEST_F(MapFileTest, WrittenMapReadsBackEqualAndMatchesTheGoldenBytes)
{
    TMap written;
    SetGoldenParams(written);
    std::vector<TComplex> values;
    for (int z = 0; z < kNZ; ++z)
        for (int y = 0; y < kNY; ++y)
            for (int x = 0; x < kNX; ++x)
                values.push_back(GoldenValue(x, y, z));
    const int dim[3] = {kNX, kNY, kNZ};
    ASSERT_TRUE(written.SetGrid(dim, values));
    const std::string path = m_dir.File("csi_NAA_map");
    ASSERT_TRUE(written.WriteFile(path));
    EXPECT_EQ(test::ReadBytes(path), Golden(9));

    TMap read;
    MakeOtherMap(read);
    const TMapParams before = read;
    ASSERT_TRUE(read.ReadFile(path, 9));
    test::ExpectStoredMapFields(read, written, before, 9);
    ExpectGoldenValues(read);
}

TEST_F(MapFileTest, MapWithoutReferenceMapStoresNotAvailable)
{
    TMap map;
    MakeOtherMap(map);
    map.referenceSetName = "water";  // kept in memory, but not in use
    map.referenceMapName = "water_map";
    const std::string path = m_dir.File("m");
    ASSERT_TRUE(map.WriteFile(path));
    const std::string bytes = test::ReadBytes(path);
    EXPECT_EQ(bytes.substr(192, 8), std::string("n/a\0n/a\0", 8));
    EXPECT_EQ(bytes.size(), 200u + 4 * 8);
    TMap read;
    ASSERT_TRUE(read.ReadFile(path, 9));
    EXPECT_EQ(read.referenceSetName, "n/a");
    EXPECT_EQ(read.referenceMapName, "n/a");
}

TEST_F(MapFileTest, ProjectVersionDecidesTheLayoutAndMessagesAreBoxes)
{
    // The version of the project being loaded, through the map's set.
    TProject project;
    TCSISet set(&project);
    project.m_nFileVersion = 5;
    TMap map(&set);
    test::TScriptedReport script;
    EXPECT_TRUE(map.ReadFile(WriteInput(Golden(5))));
    project.m_nFileVersion = 9;
    const std::string v8 = WriteInput(Golden(8));
    EXPECT_FALSE(map.ReadFile(v8));
    EXPECT_EQ(script.Messages(), (std::vector<std::string>{"The map file " + v8 + " has invalid version."}));
    // A map without a set expects the newest layout.
    TMap alone;
    EXPECT_TRUE(alone.ReadFile(WriteInput(Golden(9))));

    // A batch run waits on no box: the message goes to its log.
    g_bBatchMode = true;
    script.Clear();
    EXPECT_FALSE(alone.ReadFile(m_dir.File("none"), 9));
    EXPECT_EQ(script.Count(), 0u);
    EXPECT_EQ(g_batchLog, "Cannot open map file " + m_dir.File("none") + "\r\n");
}

// Refused reads leave the map exactly as it was: parameters, grid and values. A file cut
// short is invalid; one whose read the disk fails at any read in turn is said to be so.
TEST_F(MapFileTest, EveryTruncationIsRefusedAndChangesNothing)
{
    for (int version : {2, 5, 9}) {
        const std::string golden = Golden(version);
        const std::string whole = m_dir.File("whole.map");
        test::WriteBytes(whole, golden);
        for (size_t length = 0;; ++length) {
            // Past the truncations, the whole file with its `at`-th read failing.
            const bool cut = length < golden.size();
            const int at = cut ? 0 : static_cast<int>(length - golden.size()) + 1;
            const std::string path = cut ? WriteInput(golden.substr(0, length)) : whole;
            test::TScriptedReport script;
            TMap map;
            MakeOtherMap(map);
            map.SetState(TMap::kChanged);
            bool read = false, struck = false;
            {
                test::TFileFaultScope fault(cut ? std::vector<vx::TFileFault>{}
                                                : std::vector<vx::TFileFault>{{vx::kFileRead, EIO, at}});
                read = map.ReadFile(path, version);
                struck = vx::FileFaultStruck();
            }
            if (!cut && !struck) {
                EXPECT_TRUE(read) << version;
                break;
            }
            EXPECT_FALSE(read) << version << " " << length;
            EXPECT_EQ(script.Messages(),
                      (std::vector<std::string>{"The map file " + path +
                                                (cut ? " is invalid." : " cannot be read to its end: input/output error.")}))
                << version << " " << length;
            TMap fresh;
            MakeOtherMap(fresh);
            test::ExpectStoredMapFields(map, fresh, fresh, 9);
            EXPECT_EQ(map.name, "other_map");
            EXPECT_EQ(map.voxelByVoxel, 1);
            ASSERT_EQ(map.ValueCount(), 4u);
            EXPECT_EQ(map.Values()[3], TComplex(7, 8));
            EXPECT_EQ(map.GetState(), TMap::kChanged);
        }
    }
}

TEST_F(MapFileTest, HostileSizesAndNamesAreRefused)
{
    const std::string golden = Golden(9);
    const size_t size = 32;
    struct Case {
        const char* what;
        size_t offset;
        int32_t value;
    };
    const Case cases[] = {
        {"size 0", size, 0},
        {"negative size", size + 4, -2},
        {"grid beyond the file", size + 8, 3},
        {"huge grid", size, 1 << 30},
        {"product that wraps 32 bits", size, 65536},
        {"grid above the largest map", size + 8, 1 << 23},
    };
    for (const Case& c : cases) {
        std::string bytes = golden;
        test::PutInt32LE(bytes, c.offset, c.value);
        if (c.offset == size && c.value == 65536)
            test::PutInt32LE(bytes, size + 4, 65536);
        const std::string path = WriteInput(bytes);
        test::TScriptedReport script;
        TMap map;
        EXPECT_FALSE(map.ReadFile(path, 9)) << c.what;
        EXPECT_EQ(script.Messages(), (std::vector<std::string>{"The map file " + path + " is invalid."})) << c.what;
        EXPECT_FALSE(map.HasValues()) << c.what;
        EXPECT_EQ(map.size[0], 0) << c.what;
    }

    // A reference name that runs to the end of the file has no end.
    std::string endless = golden.substr(0, 192) + std::string(300, 'x');
    const std::string path = WriteInput(endless);
    test::TScriptedReport script;
    TMap map;
    EXPECT_FALSE(map.ReadFile(path, 9));
    EXPECT_EQ(script.Count(), 1u);
}

TEST_F(MapFileTest, FailedWritesKeepTheOldFile)
{
    TMap old;
    MakeOtherMap(old);
    const std::string path = m_dir.File("csi_other_map");
    ASSERT_TRUE(old.WriteFile(path));
    const std::string before = test::ReadBytes(path);

    TMap map;
    SetGoldenParams(map);
    const int dim[3] = {kNX, kNY, kNZ};
    ASSERT_TRUE(map.SetGrid(dim, std::vector<TComplex>(kNX * kNY * kNZ, TComplex(1, 1))));
    for (int64_t after : {0, 100, 250}) {
        test::TScriptedReport script;
        TFile::FailWritesAfter(after);
        EXPECT_FALSE(map.WriteFile(path)) << after;
        TFile::FailWritesAfter(-1);
        EXPECT_EQ(script.Messages(), (std::vector<std::string>{"Can not write map file " + path})) << after;
        EXPECT_EQ(test::ReadBytes(path), before) << after;
    }
    // A map without values has nothing a file could hold.
    test::TScriptedReport script;
    TMap empty;
    EXPECT_FALSE(empty.WriteFile(path));
    EXPECT_EQ(script.Messages(), (std::vector<std::string>{"Can not write map file " + path}));
    EXPECT_EQ(test::ReadBytes(path), before);
    // In batch mode the failure goes to the log.
    g_bBatchMode = true;
    EXPECT_FALSE(empty.WriteFile(path));
    EXPECT_EQ(g_batchLog, "Can not write map file " + path + "\r\n");
    EXPECT_TRUE(g_bBatchError);
}
