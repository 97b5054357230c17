// The GE Genesis image reader: images of every header version in both byte orders, their
// placement by the plane normal, the messages (boxes, also in a batch run), and damaged
// files refused cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <array>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "gehdr/GESyntheticHeaders.h"
#include "readers/GEPfileTestFiles.h"
#include "readers/ImageReaderFixture.h"
#include "support/Bytes.h"
#include "support/FileFaultScope.h"

using namespace vx;
using namespace vx::test;

namespace {

const std::vector<int> kPixels{0, -1, 2, -3, 4, -5, 6, -7, 8, -32768, 32767, 11};  // 4 x 3

// A 4 x 3 image of the version key in the byte order (0 big-endian): the blocks placed
// by the header builder of the GE tests, then the fields this reader uses written at
// their offsets, by hand from the block layouts, and the pixels.
std::string GenesisBytes(int key, int order, std::array<float, 3> normal = {0, 0, 1}, int width = 4, int height = 3)
{
    using namespace getest;
    TGenesisImage v;
    v.width = width;
    v.height = height;
    v.examTime = 1118943391;  // 2005-06-16 17:36 UTC
    v.description = "Ax^T1\x01SE";
    v.protocol = "brain routine";
    v.thickness = 5.0f;
    v.imageDim[0] = 256;
    v.imageDim[1] = 192;
    v.pixelSize[0] = 0.9375f;
    v.pixelSize[1] = 1.25f;
    v.sliceLocation = 42.5f;
    const float centre[3] = {10, -20, 30};
    std::copy(centre, centre + 3, v.centre);
    std::copy(normal.begin(), normal.end(), v.normal);
    v.tr = 500000;
    v.te = 15000;
    v.pixels = kPixels;
    return MakeGenesisImage(key, order, v);
}

class GenesisImageTest : public ImageReaderTest {
protected:
    bool AddGenesis(const std::string& name, TImageImportParams params = {}) { return Add(Input(name), params, 1); }

    getest::TCapturedStderr m_libraryLines;  // the header library's refusals
    TTimeZone m_utc{"UTC"};
};

}  // namespace

TEST_F(GenesisImageTest, EveryVersionAndByteOrderGivesTheImageItsHeaderDescribes)
{
    // The plane normal places the image: along an axis at the slice location, otherwise
    // by its largest component at the header's centre; a normal without a direction places
    // nothing and the image keeps a new image's orientation (unknown) and position.
    const struct {
        std::array<float, 3> normal;
        int orientation;  // -1: not placed
        std::array<float, 3> position;
        const char* code;
    } planes[] = {
        {{1, 0, 0}, 0, {-42.5f, 20, 30}, "AH"},
        {{0, 1, 0}, 1, {-10, -42.5f, 30}, "RH"},
        {{0, 0, 1}, 2, {-10, 20, 42.5f}, "RA"},
        {{0.9999f, 0, 0.01f}, 0, {-10, 20, 30}, "AH"},
        {{0.3f, -0.9f, 0.3f}, 1, {-10, 20, 30}, "RH"},
        {{0.1f, 0.2f, -0.97f}, 2, {-10, 20, 30}, "RA"},
        {{0, 0, 0}, -1, {0, 0, 0}, "AH"},
    };
    // The Import dialog's numbers have no effect on this reader.
    TImageImportParams dialog;
    dialog.m_nHeaderSize = 100;
    dialog.m_nWidth = 7;
    dialog.m_bSwapBytes = 1;
    dialog.m_fAngleY = 20.0f;
    int run = 0;
    for (int key : {1, 3, 6, 7, 9, 11})
        for (int order : {0, 1}) {
            const auto& plane = planes[run++ % std::size(planes)];
            const std::string name = std::to_string(key) + (order ? "le" : "be") + ".MR";
            WriteBytes(Input(name), GenesisBytes(key, order, plane.normal));
            ASSERT_TRUE(AddGenesis(name, dialog)) << name;
            TMRImage* image = ImageNamed(name);
            EXPECT_EQ(image->GetWidth(), 4);
            EXPECT_EQ(image->GetHeight(), 3);
            EXPECT_EQ(ReadBytes(StoredPixelFile(name)), Int16LE(kPixels)) << name;
            EXPECT_EQ(image->GetStoredWindowLow(), -32768);
            EXPECT_EQ(image->GetStoredWindowHigh(), 32767);
            EXPECT_EQ(image->IsParameterKnown(TMRImage::KnownOrientation), plane.orientation >= 0) << name;
            EXPECT_EQ(image->GetOrientation(), std::max(plane.orientation, 0)) << name;
            float position[3], angulation[3];
            image->GetPosition(position);
            image->GetAngulation(angulation);
            const float values[] = {image->GetFOVX(), image->GetFOVY(), image->GetThickness(), image->GetTR(),
                                    image->GetTE(),   angulation[1],    position[0],           position[1],
                                    position[2]};
            const float expected[] = {240, 240, 5, 500, 15, 0, plane.position[0], plane.position[1], plane.position[2]};
            for (int k = 0; k < 9; ++k)
                EXPECT_FLOAT_EQ(values[k], expected[k]) << name << " value " << k;
            EXPECT_EQ(InfoTexts(*image), (std::vector<std::string>{"Ax T1_SE", "2005.06.16", "4321", "brain routine",
                                                                   plane.code, "n/a", "n/a"}))
                << name;
        }
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(GenesisImageTest, AnObliqueImageLiesInTheWorkSetsFrame)
{
    // An unrotated work set centred at (5, -5, 10): the oblique, mostly sagittal image
    // centred at (-10, 20, 30) lies in the set's plane x = -10 - 5.
    TCSISet* set = AddSet("csi", "", "");
    const float offCentre[3] = {5, -5, 10};
    set->SetOffCentre(offCentre);
    m_project.m_pWorkSet = set;
    WriteBytes(Input("oblique.MR"), GenesisBytes(11, 1, {0.96f, 0.28f, 0}));
    ASSERT_TRUE(AddGenesis("oblique.MR"));
    const TMRImage* image = ImageNamed("oblique.MR");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetOrientation(), 0);
    EXPECT_FLOAT_EQ(image->GetSlicePosition(), -15.0f);
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(GenesisImageTest, RefusalsAreShownInABoxOrLoggedInABatchRun)
{
    WriteBytes(Input("P00001.7"), getest::MakeRaw(8, 1));
    WriteBytes(Input("negheight"), GenesisBytes(9, 0, {0, 0, 1}, 4, -3));
    // A version-1 control block whose suite length is not the suite block's size.
    std::string badSuite = GenesisBytes(1, 0);
    getest::Put32(badSuite, 128, 100, 0);
    WriteBytes(Input("badsuite"), badSuite);
    // The last pixel cut off; a folder of an image's name.
    const std::string whole = GenesisBytes(9, 0);
    WriteBytes(Input("short"), whole.substr(0, whole.size() - 2));
    ASSERT_TRUE(MakeFolder(Input("folder.MR")));
    const struct {
        const char* file;
        std::string message;
    } cases[] = {
        {"P00001.7", "The file " + Input("P00001.7") + " is not a recognized Genesis image file!"},
        {"missing", "The file " + Input("missing") + " is not a recognized Genesis image file!"},
        {"negheight", "The size of the image must be positive."},
        {"badsuite", "Fail to read the header of " + Input("badsuite") + "!"},
        {"short", "Image file " + Input("short") + " holds " + std::to_string(whole.size() - 2) +
                      " bytes, fewer than the " + std::to_string(whole.size()) + " bytes its header and pixels need."},
        {"folder.MR", "Image file " + Input("folder.MR") + " does not exist or cannot be read: it is a folder, not a "
                                                           "file."},
    };
    for (const auto& c : cases) {
        m_report.Clear();
        EXPECT_FALSE(AddGenesis(c.file)) << c.file;
        ASSERT_EQ(m_report.Messages(), std::vector<std::string>{c.message}) << c.file;
        EXPECT_EQ(m_report.Entries()[0].icon, ReportIcon::Exclamation);
    }
    // A batch run logs the same texts instead of waiting on a box.
    g_bBatchMode = true;
    m_report.Clear();
    std::string log;
    for (const auto& c : cases) {
        EXPECT_FALSE(AddGenesis(c.file)) << c.file;
        log += c.message + "\r\n";
    }
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_EQ(g_batchLog, log);
    EXPECT_TRUE(Images().empty());

    // A file that fails while its pixels are read.
    g_bBatchMode = false;
    WriteBytes(Input("failing"), whole);
    {
        const TFileFaultScope fault({{kFileRead, EIO, 1}});
        EXPECT_FALSE(AddGenesis("failing"));
    }
    // And one whose size cannot be read.
    {
        const TFileFaultScope fault({{kFileSize, EIO, 1, true}});
        EXPECT_FALSE(AddGenesis("failing"));
    }
    EXPECT_EQ(m_report.Messages(),
              (std::vector<std::string>{"Image file " + Input("failing") + " cannot be read to its end: input/output error.",
                                        "Image file " + Input("failing") +
                                            " is not read: its size could not be read: input/output error."}));
    EXPECT_TRUE(Images().empty());
}

TEST_F(GenesisImageTest, DamagedFilesAreRefusedAndNothingIsAdded)
{
    // Cut anywhere in the header or the pixels of every version: refused, never a crash.
    for (int key : {1, 3, 6, 7, 9, 11}) {
        const std::string whole = GenesisBytes(key, key % 2);
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            // A new file each time: the file system flushes a file rewritten in place.
            RemoveFile(Input("cut"));
            WriteBytes(Input("cut"), whole.substr(0, cut));
            m_report.Clear();
            ASSERT_FALSE(AddGenesis("cut")) << key << " cut at " << cut;
            // Each refusal says why.
            ASSERT_EQ(m_report.Count(), 1u) << key << " cut at " << cut;
        }
    }
    // Sizes far beyond the file are refused before anything is allocated for them.
    WriteBytes(Input("huge"), GenesisBytes(11, 1, {0, 0, 1}, 0x7fffffff, 0x7fffffff));
    m_report.Clear();
    EXPECT_FALSE(AddGenesis("huge"));
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"Images of 2147483647 x 2147483647 pixels are not "
                                                            "supported: at most 16384 pixels a side."});
    EXPECT_TRUE(Images().empty());
}
