#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "readers/PhilipsCSITestFiles.h"
#include "readers/PhilipsEPCSITestFiles.h"
#include "readers/TPhilipsReader.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using namespace vx::test;

// The parameter block is a base listed first, so it is built before the reader that
// reads it in its constructor.
struct TProbeBlock {
    TCSIReadParams m_block;
};

class TProbe : private TProbeBlock, public TPhilipsReader {
public:
    TProbe() : TPhilipsReader(&m_block) { m_pCSISet = std::make_unique<TCSISet>(); }
    TCSISet& Set() { return *m_pCSISet; }
    void DropSet() { m_pCSISet.reset(); }
};

bool ParseText(TProbe& reader, const std::string& text, bool list)
{
    TTempFolder folder;
    const std::string path = folder.File(list ? "x.LIST" : "x.PAR");
    WriteBytes(path, text);
    return list ? reader.ParseLIST(path) : reader.ParsePAR(path);
}

const std::string kImage41 = [] {
    std::string line;
    for (int c = 0; c < 41; ++c)
        line += c == 22 ? " 6" : c == 23 ? " 2" : " 1";
    return line;
}();

}  // namespace

TEST(PhilipsPAR, GeometryFromGeneralAndImageLines)
{
    struct Case {
        const char* what;
        std::string text;
        bool ok;
        float thickness, gap;
    };
    const TLines general = {{"Max. number of slices/locations", "5"},
                            {"FOV (ap,fh,rl) [mm]", "220.0  100.0  210.0"},
                            {"Angulation midslice(ap,fh,rl)[degr]", "10.0 -5.0 2.5"},
                            {"Slice thickness [mm]", "8"},
                            {"Slice gap [mm]", "1"}};
    const Case cases[] = {
        {"v4: the last 41-column image line wins", ParText(general, {"1 2 3", kImage41}), true, 6, 2},
        {"v4 image lines of other lengths change nothing", ParText(general, {kImage41 + " 7"}), true, 8, 1},
        {"v3 image lines are not looked at", ParText(general, {kImage41}, "V3"), true, 8, 1},
        {"a 9-word version line is none", "# a b c d e f V4 x\n" + ParText(general, {}, ""), false, 0, 0},
        {"a lower-case version is none", ParText(general, {}, "v4"), false, 0, 0},
        {"general line before the version", ". FOV (ap,fh,rl) [mm] : 1 2 3\n" + ParText(general), false, 0, 0},
        {"a field of view of 0 is unusable", ParText({{"FOV (ap,fh,rl) [mm]", "220 0 210"}}), false, 0, 0},
    };
    for (const Case& c : cases) {
        TProbe reader;
        reader.Set().m_fSliceThickness = 0.0f;
        EXPECT_EQ(ParseText(reader, c.text, false), c.ok) << c.what;
        const TCSISet& set = reader.Set();
        if (!c.ok) {
            // Nothing of a refused file reaches the set.
            EXPECT_EQ(set.m_fFOV[0], 240.0f) << c.what;
            EXPECT_EQ(reader.m_nSlices, 1) << c.what;
            continue;
        }
        EXPECT_EQ(reader.m_nSlices, 5) << c.what;
        EXPECT_EQ(set.m_fSliceThickness, c.thickness) << c.what;
        EXPECT_EQ(set.m_fSliceGap, c.gap) << c.what;
        // (ap, fh, rl) in the file; LR, AP, FH in the set.
        EXPECT_EQ((std::vector<float>{set.m_fFOV[0], set.m_fFOV[1], set.m_fFOV[2], set.m_fAngulation[0],
                                      set.m_fAngulation[1], set.m_fAngulation[2]}),
                  (std::vector<float>{210, 220, 100, 2.5f, 10, -5}));
    }
    TProbe reader;
    EXPECT_FALSE(reader.ParsePAR("/no/such/file.PAR"));
    reader.DropSet();
    EXPECT_FALSE(reader.ParsePAR("/no/such/file.PAR"));
}

TEST(PhilipsPAR, RealHeaders)
{
    struct Case {
        const char* file;
        int slices;
        float fov[3];  // LR, AP, FH
        float thickness;
    };
    // Values of the files' own header lines; only version 4.0 image lines carry 41 columns.
    const Case cases[] = {
        {"parrec/nibabel/phantom_fake_v4.PAR", 9, {240.0f, 240.0f, 70.0f}, 6.0f},
        {"parrec/MRS_MRI_libs/sub2_MPRAGE.PAR", 160, {202.381f, 250.0f, 160.0f}, 0.0f},
    };
    for (const Case& c : cases) {
        if (!SampleDataExists(c.file)) {
            GTEST_SKIP() << "Sample data not found: " << SampleDataPath(c.file);
        }
        TProbe reader;
        ASSERT_TRUE(reader.ParsePAR(SampleDataPath(c.file))) << c.file;
        EXPECT_EQ(reader.m_nSlices, c.slices) << c.file;
        for (int k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(reader.Set().m_fFOV[k], c.fov[k]) << c.file;
        EXPECT_EQ(reader.Set().m_fSliceThickness, c.thickness) << c.file;
    }
}

TEST(PhilipsLIST, SizesGoToTheAxesOfTheSliceAxis)
{
    TCSIScan scan;
    scan.n[0] = 16, scan.n[1] = 12, scan.n[2] = 1;
    scan.points = 512;
    // (a, b) of each slice axis.
    const int inPlane[3][2] = {{1, 2}, {0, 2}, {0, 1}};
    for (int s = 0; s < 3; ++s) {
        TProbe reader;
        reader.Set().m_nSliceAxis = s;
        const std::string text = ListText(scan, {{0, 0, 0}, {15, 11, 0}}, 0, 11) +
                                 ".    1    0    0  F-resolution  :  4\n";
        ASSERT_TRUE(ParseText(reader, text, true));
        const TCSISet& set = reader.Set();
        EXPECT_EQ(set.m_nDim[inPlane[s][0]], 16);
        EXPECT_EQ(set.m_nDim[inPlane[s][1]], 12);
        EXPECT_EQ(set.m_nDim[s], 1);
        EXPECT_EQ(set.m_nPoints, 512) << "mix 1 header lines are ignored";
        EXPECT_EQ(set.m_nLastPoint, 511);
        EXPECT_EQ(set.m_nSpatialDims, 2);
        EXPECT_EQ(reader.m_nRelease, 11);
        // The file's k indices -8, -6 and 7, 5 become the grid's corners.
        ASSERT_EQ(reader.m_kSpaceLines.size(), 2u);
        EXPECT_EQ(reader.m_kSpaceLines[0].k1, 0);
        EXPECT_EQ(reader.m_kSpaceLines[0].k2, 0);
        EXPECT_EQ(reader.m_kSpaceLines[1].k1, 15);
        EXPECT_EQ(reader.m_kSpaceLines[1].k2, 11);
    }
}

TEST(PhilipsLIST, DataVectorLines)
{
    const std::string header = ".  0  0  0  X-resolution  :  16\n.  0  0  0  Y-resolution  :  12\n";
    auto vector = [](int mix, int kx, int offset, int extra = 0) {
        std::string line = "  STD  " + std::to_string(mix) + "  0 0 0  0  0 0 0  " + std::to_string(kx) +
                           "  0  0 0 1 0 0 0 0 0  512  " + std::to_string(offset);
        for (int i = 0; i < extra; ++i)
            line += " 0";
        return line + "\n";
    };
    struct Case {
        const char* what;
        std::string body;
        bool ok;
        size_t records;
        int offset;
    };
    const Case cases[] = {
        {"a mix 1 vector is skipped and gives no offset", vector(1, 0, 8) + vector(0, 0, 24), true, 1, 24},
        {"a noise vector of mix 0 is skipped", "  NOI  0  0 0 0  0  0 0 0  0  0  0 0 1 0 0 0 0 0  512  0\n" +
                                                   vector(0, 0, 24), true, 1, 24},
        {"an offset that is no number fails the parse", vector(0, 0, 0) + "  STD 0 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0 0 512 x\n",
         false, 1, 0},
        {"20 pieces are a vector too", vector(0, 1, 40) + "  STD 0 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0 512 0\n", true, 2,
         40},
        {"19 pieces fail the parse", vector(0, 0, 0) + "  STD 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0 512 0\n", false, 1, 0},
        {"k index 8 of 16 lies outside", vector(0, 7, 0) + vector(0, 8, 0), false, 1, 0},
        {"a huge k index lies outside", vector(0, 2147483647, 0), false, 0, 0},
        {"sizes below the vectors do not rescue them", vector(0, 20, 0) + ".  0  0  0  X-resolution  :  64\n", false, 0,
         0},
    };
    for (const Case& c : cases) {
        TProbe reader;
        EXPECT_EQ(ParseText(reader, "# Gyroscan SW release: 10\n" + header + c.body, true), c.ok) << c.what;
        EXPECT_EQ(reader.m_kSpaceLines.size(), c.records) << c.what;
        EXPECT_EQ(reader.m_nDataOffset, c.offset) << c.what;
        EXPECT_EQ(reader.m_nRelease, 9) << "a release line of fewer than 6 pieces changes nothing";
    }
    TScriptedReport report;
    TProbe reader;
    EXPECT_FALSE(reader.ParseLIST("/no/such/x.LIST"));
    ASSERT_EQ(report.Messages().size(), 1u);
    EXPECT_EQ(report.Messages()[0], "LIST file /no/such/x.LIST does not exist or cannot be read.");
}

// Both LIST readers take a vector's byte offset from the column the file's layout gives
// it: the one its column header names "offset", else column 20 (19 in the 20-column
// layout of older releases). Columns after it, numbers or words, change nothing.
TEST(PhilipsLIST, BothReadersTakeTheOffsetFromItsColumnInTheLayout)
{
    // Sizes for either reader: a 4 x 2 grid of one location (CSI), kx, ky and kz ranges
    // and two echoes (EPCSI).
    std::string sizes;
    for (const char* line : {"X-resolution  :  4", "Y-resolution  :  2", "number_of_locations  :  1",
                             "number_of_echoes  :  2", "kx_range  :  -2  1", "ky_range  :  -1  0",
                             "kz_range  :  0  0"})
        sizes += ".    0    0    0  " + std::string(line) + "\n";
    const std::string names21 =
        "# typ mix dyn card echo loca chan extr1 extr2 kx ky kz aver sign rf grad enc rtop rr size offset\n";
    const std::string names20 =
        "# typ mix dyn card echo loca chan extr1 extr2 ky kz aver sign rf grad enc rtop rr size offset\n";
    // A noise vector, then the vectors of echoes 0 and 1 at offsets 64 and 96, each line
    // of `columns` columns followed by `after`.
    auto vectors = [](int columns, const std::string& after) {
        std::string text;
        const char* kinds[] = {"NOI", "STD", "STD"};
        for (int v = 0; v < 3; ++v)
            text += "  " + std::string(kinds[v]) + "  0  0  0  " + std::to_string(v == 2) + "  0  0  0  0  -1  0" +
                    (columns == 21 ? "  0" : "") + "  0  1  0  0  0  0  0  32  " + std::to_string(32 * v + 32) +
                    after + "\n";
        return text;
    };
    struct Case {
        const char* what;
        std::string lines;
        bool ok;
    };
    const Case cases[] = {
        {"21 columns", names21 + vectors(21, ""), true},
        {"a number after the offset", names21 + vectors(21, "  7"), true},
        {"a word after the offset", names21 + vectors(21, "  checked"), true},
        {"two numbers after the offset, no column header", vectors(21, "  7  8"), true},
        {"20 columns in their own layout", names20 + vectors(20, ""), true},
        {"a number after the offset of the 20-column layout", names20 + vectors(20, "  7"), true},
        {"20 columns without a column header", vectors(20, ""), true},
        {"20 columns under a 21-column header", names21 + vectors(20, ""), false},
        {"a column header that puts the offset among the k indices", names21 + "# typ offset\n" + vectors(21, ""),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TProbe csi;
        TEPCSIProbe epcsi;
        TTempFolder folder;
        const std::string path = folder.File("x.LIST");
        WriteBytes(path, sizes + c.lines);
        const bool ok[2] = {csi.ParseLIST(path), epcsi.ParseLIST(path)};
        const TPhilipsReader* readers[2] = {&csi, &epcsi};
        for (int r = 0; r < 2; ++r) {
            EXPECT_EQ(ok[r], c.ok) << r;
            if (!c.ok)
                continue;
            std::vector<int64_t> offsets;
            for (const auto& record : readers[r]->m_kSpaceLines)
                offsets.push_back(record.offset);
            EXPECT_EQ(offsets, (std::vector<int64_t>{64, 96})) << r;
            EXPECT_EQ(readers[r]->m_nDataOffset, 64) << r;
        }
    }
}

TEST(PhilipsLIST, RealHeader)
{
    const std::string file = "philips_listdata/MRS_MRI_libs/sub2_MRS.list";
    VX_REQUIRE_SAMPLE(file);
    TProbe reader;
    ASSERT_TRUE(reader.ParseLIST(SampleDataPath(file)));
    const TCSISet& set = reader.Set();
    // Release 3.2-1, 4096 points, one voxel; every standard data vector of mix 0 is a
    // record (the 272 averages of each of 2 extra-attribute values), the noise vectors
    // and the second mix's vectors are not.
    EXPECT_EQ(reader.m_nRelease, 3);
    EXPECT_EQ(set.m_nPoints, 4096);
    EXPECT_EQ(set.m_nSpatialDims, 3);
    EXPECT_EQ(set.m_nDim[0] * set.m_nDim[1] * set.m_nDim[2], 1);
    std::vector<int64_t> offsets;
    std::ifstream in(SampleDataPath(file));
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> w = ListWords(line);
        if (line[0] == ' ' && w.size() == 21 && w[0] == "STD" && w[1] == "0")
            offsets.push_back(std::stoll(w[20]));
    }
    ASSERT_EQ(offsets.size(), 272u * 2);
    ASSERT_EQ(reader.m_kSpaceLines.size(), offsets.size());
    for (size_t j = 0; j < offsets.size(); ++j)
        EXPECT_EQ(reader.m_kSpaceLines[j].offset, offsets[j]) << j;
    EXPECT_EQ(reader.m_nDataOffset, offsets[0]);
}
