// The voxel selection mask and k-space mask files: their exact text, the round trip, and
// the files a set refuses without touching its selection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/SelectionMaskFile.h"
#include "model/TCSISet.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

void MakeSet(TCSISet& set, int nx, int ny, int nz)
{
    FillGrid(set, nx, ny, nz, 4, [](int, int, int, int i) { return TComplex(float(i), 0.0f); });
    set.m_strName = "brain";
}

std::vector<int> Selection(const TCSISet& set)
{
    std::vector<int> flags;
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        flags.push_back(set.GetVoxel(v)->m_bSelected);
    return flags;
}

}  // namespace

TEST(SelectionMaskFile, TextOfATwoByTwoSetWithOneVoxelSelected)
{
    TCSISet set;
    MakeSet(set, 2, 2, 1);
    set.GetVoxel(set.VoxelIndex(1, 0, 0))->m_bSelected = 1;
    EXPECT_EQ(SelectionMaskText(set),
              "#Vexara voxel selection mask file\r\n#CSI data set: brain\r\n#dimension : (+2 , +2 , +1)\r\n\r\n"
              "+0 +1 \r\n+0 +0 \r\n\r\n");

    set.m_kSpaceMask = {1, 0, 0, 1};
    EXPECT_EQ(KSpaceMaskText(set), "+1 +0 \r\n+0 +1 \r\n\r\n");
    // A set without a sampling mask was sampled everywhere.
    set.m_kSpaceMask.clear();
    EXPECT_EQ(KSpaceMaskText(set), "+1 +1 \r\n+1 +1 \r\n\r\n");
}

TEST(SelectionMaskFile, RoundTripSelectsExactlyTheWrittenVoxels)
{
    TTempFolder folder;
    TScriptedReport report;
    TCSISet written;
    MakeSet(written, 3, 2, 2);
    for (size_t v : {size_t(0), size_t(4), size_t(7), size_t(11)})
        written.GetVoxel(v)->m_bSelected = 1;
    const std::string path = folder.File("mask.txt");
    ASSERT_TRUE(WriteSelectionMask(written, path));

    TCSISet read;
    MakeSet(read, 3, 2, 2);
    read.GetVoxel(5)->m_bSelected = 1;  // replaced, not added to
    ASSERT_TRUE(ReadSelectionMask(read, path));
    EXPECT_EQ(Selection(read), Selection(written));
    EXPECT_EQ(report.Count(), 0u);
}

TEST(SelectionMaskFile, RefusedFilesLeaveTheSelectionAlone)
{
    TTempFolder folder;
    const std::string body16 = [] {
        std::string rows;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x)
                rows += x == y ? "+1 " : "+0 ";
            rows += "\r\n";
        }
        return rows;
    }();
    struct Case {
        const char* what;
        std::string text;
        int nz;
        bool accepted;
    };
    const Case cases[] = {
        {"as written", "#dimension : (+16 , +16 , +1)\r\n\r\n" + body16, 1, true},
        {"a dimension line without its '#'", "dimension : (16 , 16 , 1)\n" + body16, 1, true},
        {"a mask of one slice for two", "#dimension : (+16 , +16 , +1)\r\n" + body16, 2, false},
        {"a body one value short", "#dimension : (+16 , +16 , +1)\r\n" + body16.substr(0, body16.rfind("+0")), 1,
         false},
        {"a value that is no number", "#dimension : (+16 , +16 , +1)\r\nx" + body16, 1, false},
        {"no dimension line", "#CSI data set: brain\r\n" + body16, 1, false},
        {"a dimension line of five tokens", "#dimension : (+16 , +16 , +1, +1)\r\n" + body16, 1, false},
        {"an empty file", "", 1, false},
    };
    for (const Case& c : cases) {
        TScriptedReport report;
        TCSISet set;
        MakeSet(set, 16, 16, c.nz);
        set.GetVoxel(3)->m_bSelected = 1;
        const std::string path = folder.File("mask.txt");
        WriteBytes(path, c.text);
        EXPECT_EQ(ReadSelectionMask(set, path), c.accepted) << c.what;
        const std::vector<int> flags = Selection(set);
        if (c.accepted) {
            for (int v = 0; v < 256; ++v)
                EXPECT_EQ(flags[size_t(v)], v % 17 == 0) << c.what << " voxel " << v;
            EXPECT_EQ(report.Count(), 0u) << c.what;
        } else {
            std::vector<int> unchanged(flags.size(), 0);
            unchanged[3] = 1;
            EXPECT_EQ(flags, unchanged) << c.what;
            EXPECT_EQ(report.Messages(), std::vector<std::string>{"Wrong file format or wrong dimensions."}) << c.what;
        }
    }

    TScriptedReport report;
    TCSISet set;
    MakeSet(set, 2, 2, 1);
    EXPECT_FALSE(ReadSelectionMask(set, folder.File("absent.txt")));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Cannot open text file " + folder.File("absent.txt") + "."});
}

TEST(SelectionMaskFile, AFileThatCannotBeCreatedIsReported)
{
    TTempFolder folder;
    TScriptedReport report;
    TCSISet set;
    MakeSet(set, 2, 2, 1);
    const std::string path = folder.File("missing/mask.txt");
    EXPECT_FALSE(WriteKSpaceMask(set, path));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Cannot create text file " + path + "."});
}
