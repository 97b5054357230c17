// The map tables and the voxel exports, checked against texts and bytes the test builds
// itself with the C runtime's "%+#g" (the stream form the files use).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TextExports.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

std::string G(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%+#g", value);
    return text;
}

TComplex Sample(int x, int y, int z, int i)
{
    return TComplex(float(100 * x + 10 * y + z) + 0.25f * float(i), -0.5f * float(i + 1));
}

class TextExportsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FillGrid(set, 3, 2, 1, 8, Sample);
        set.m_strName = "fid";
        // Selected in an order the export must not keep: it walks the grid.
        set.GetVoxel(set.VoxelIndex(2, 1, 0))->m_bSelected = 1;
        set.GetVoxel(set.VoxelIndex(1, 0, 0))->m_bSelected = 1;
    }
    // The export text for points first..last of the two selected voxels.
    std::string Expected(int first, int last) const
    {
        std::string text = "CSI set name: fid\r\nNumber of voxels: 2\r\nNumber of points per voxel: +" +
                           std::to_string(last - first + 1) + " (+" + std::to_string(first) + " , +" +
                           std::to_string(last) + ")\r\n\r\n" +
                           "Voxel Index:\r\n+1 +0 +0\r\n+2 +1 +0\r\nReal\t\tImaginary\r\n";
        for (const int x : {1, 2})
            for (int i = first; i <= last; ++i)
                text += G(Sample(x, x - 1, 0, i).real()) + "\t" + G(Sample(x, x - 1, 0, i).imag()) + "\r\n";
        return text;
    }

    TTempFolder folder;
    TScriptedReport report;
    TCSISet set;
};

}  // namespace

TEST_F(TextExportsTest, VoxelTextReplacesOrAppendsTheWholeBlock)
{
    const std::vector<const TSpectrum*> voxels = SelectedVoxels(set);
    ASSERT_EQ(voxels.size(), 2u);
    EXPECT_EQ(voxels[0]->m_nX, 1);
    EXPECT_EQ(voxels[1]->m_nX, 2);

    const std::string path = folder.File("voxels.txt");
    WriteBytes(path, "old content\r\n");
    ASSERT_TRUE(WriteVoxelText(set, voxels, 2, 5, path, false));
    EXPECT_EQ(ReadBytes(path), Expected(2, 5));
    ASSERT_TRUE(WriteVoxelText(set, voxels, 0, 7, path, true));
    EXPECT_EQ(ReadBytes(path), Expected(2, 5) + Expected(0, 7));
    // A display range beyond the spectra is cut to them.
    EXPECT_EQ(VoxelExportText(set, voxels, -3, 20), Expected(0, 7));
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(TextExportsTest, VoxelBinaryIsLittleEndianFloatPairs)
{
    const std::string path = folder.File("voxels.raw");
    ASSERT_TRUE(WriteVoxelBinary(set, SelectedVoxels(set), 1, 3, path));
    std::string expected;
    for (const int x : {1, 2})
        for (int i = 1; i <= 3; ++i)
            for (const float value : {Sample(x, x - 1, 0, i).real(), Sample(x, x - 1, 0, i).imag()}) {
                uint32_t bits = 0;
                std::memcpy(&bits, &value, 4);
                for (int b = 0; b < 4; ++b)
                    expected += static_cast<char>(bits >> (8 * b) & 0xFF);
            }
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(TextExportsTest, FailedWritesAreReportedAndKeepTheOldFile)
{
    const std::string path = folder.File("none/voxels.txt");
    EXPECT_FALSE(WriteVoxelText(set, SelectedVoxels(set), 0, 1, path, false));
    EXPECT_FALSE(WriteVoxelBinary(set, SelectedVoxels(set), 0, 1, path));
    EXPECT_FALSE(WriteMapTables({}, path));
    EXPECT_EQ(report.Messages(), (std::vector<std::string>{"Cannot create file " + path + ".",
                                                           "Cannot create file " + path + ".",
                                                           "Cannot create Txt File" + path}));
}

TEST_F(TextExportsTest, MapTablesListEveryVoxelXSlowest)
{
    TMap* ratio = AddValuedMap(set, "NAA", [](int v) { return TComplex(float(v) - 2.0f, 0.5f * float(v)); });
    ratio->peakStartPPM = 1.9f;
    ratio->peakEndPPM = 2.14f;
    ratio->method = 1;
    TMap* other = AddNamedMap(set, "Cho");
    other->method = 7;

    std::string expected = "\r\nMap +1\r\nMap name: NAA\r\nPeak interval(ppm): 1.9 ~ 2.14\r\nSize (x,y,z): 3,2,1\r\n"
                           "Quantification method: Principal Component Analysis\r\n\r\n"
                           "Index\t\tReal\t\tImag\t\tMagnitude\r\n";
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 2; ++y) {
            const float re = float(y * 3 + x) - 2.0f;
            const float im = 0.5f * float(y * 3 + x);
            expected += "(" + std::to_string(x) + "," + std::to_string(y) + ",0) \t" + G(re) + "\t" + G(im) + "\t" +
                        G(std::sqrt(re * re + im * im)) + "\r\n";
        }
    // A map without values still gets its block, with no rows.
    expected += "\r\nMap +2\r\nMap name: Cho\r\nPeak interval(ppm): 0 ~ 0\r\nSize (x,y,z): 0,0,0\r\n"
                "Quantification method: Unknown\r\n\r\nIndex\t\tReal\t\tImag\t\tMagnitude\r\n";
    EXPECT_EQ(MapTablesText({ratio, other}), expected);
}
