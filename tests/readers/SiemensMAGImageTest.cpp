// The Siemens MAG image reader: header fields at their offsets, the placement by
// orientation, the signature message, and the reasons given for files it refuses.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "readers/ImageReaderFixture.h"
#include "readers/SiemensTestFiles.h"
#include "support/Bytes.h"
#include "support/FileFaultScope.h"

using namespace vx;
using namespace vx::test;

namespace {

class SiemensMAGTest : public ImageReaderTest {
protected:
    bool AddMAG(const std::string& name) { return Add(Input(name), TImageImportParams{}, 3); }

    // A header with one field replaced and 4 x 4 pixels 0, -1, 2, -3, ...; the pixel bytes.
    std::string WriteMAG(const std::string& name, int field = 0, const std::string& text = "TR 500.0",
                         const std::string& signature = "SIEMENS")
    {
        TMAGFields f;
        f.fields[field] = text;
        f.signature = signature;
        std::vector<int> pixels;
        for (int k = 0; k < 16; ++k)
            pixels.push_back(k % 2 ? -k : k);
        WriteBytes(Input(name), MAGHeader(f) + Int16LE(pixels));
        return Int16LE(pixels);
    }
};

}  // namespace

TEST_F(SiemensMAGTest, HeaderFieldsMakeTheImage)
{
    const std::string pixels = WriteMAG("head.MAG");
    ASSERT_TRUE(AddMAG("head.MAG"));
    EXPECT_EQ(m_report.Count(), 0u);
    TMRImage* image = ImageNamed("head.MAG");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(ReadBytes(StoredPixelFile("head.MAG")), pixels);
    EXPECT_EQ((std::vector<int>{image->GetWidth(), image->GetHeight(), image->GetStoredWindowLow(),
                                image->GetStoredWindowHigh()}),
              (std::vector<int>{4, 4, -15, 14}));
    EXPECT_THAT((std::vector<float>{image->GetTR(), image->GetTE(), image->GetFOVY(), image->GetThickness()}),
                testing::Pointwise(testing::FloatEq(), std::vector<float>{500, 15, 230, 5}));
    EXPECT_EQ(InfoTexts(*image), (std::vector<std::string>{"HEADEXAM", "n/a", "n/a", "t1_se_tra", "RA", "n/a", "n/a"}));
}

TEST_F(SiemensMAGTest, OrientationPlacesTheSlice)
{
    const struct {
        const char* text;
        int orientation;
        float position[3];
        const char* code;
    } cases[] = {
        {"Tra", 2, {0, 0, 12.5f}, "RA"},
        {"Sag>Cor 3.1", 0, {-12.5f, 0, 0}, "AH"},
        {"Cor", 1, {0, 12.5f, 0}, "RH"},
    };
    for (const auto& c : cases) {
        const std::string name = std::string(c.text, 3) + ".mag";
        WriteMAG(name, 8, c.text);
        ASSERT_TRUE(AddMAG(name)) << c.text;
        TMRImage* image = ImageNamed(name);
        EXPECT_EQ(image->GetOrientation(), c.orientation);
        EXPECT_EQ(image->GetInfoText(TMRImage::InfoDirectionCode), c.code);
        float position[3];
        image->GetPosition(position);
        for (int k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(position[k], c.position[k]) << c.text << k;
    }
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(SiemensMAGTest, FaultyFilesAreRefusedWithTheirReason)
{
    const std::string bad = Input("bad.mag");
    const auto header = [&](const std::string& why) { return "The header of " + bad + " " + why; };
    const std::string above0 = ": it must be a number above 0.";
    const struct {
        int field;
        const char* text;
        std::string message;
    } cases[] = {
        {0, "TR 0.0", header("gives TR \"0.0\"" + above0)},
        {0, "Tr 500", header("has no \"TR\" field at byte 7412: it reads \"Tr 500\".")},
        {0, "TR", header("has no \"TR\" field at byte 7412: it reads \"TR\".")},
        {1, "TE -1", header("gives TE \"-1\"" + above0)},
        {4, "FOV 0", header("gives FOV \"0\"" + above0)},
        {4, "FOV inf", header("gives FOV \"inf\"" + above0)},
        {5, "M 0*4", header("gives the matrix \"M 0*4\": rows and columns must be above 0.")},
        {5, "M 4", header("has no \"M\" (rows*columns) field at byte 7467: it reads \"M 4\".")},
        {5, "M 99999*1", header("gives the matrix \"M 99999*1\". Images of 99999 x 99999 pixels are not supported: "
                                "at most 16384 pixels a side.")},
        // An 8 x 8 image, pixels for 4 x 4 only.
        {5, "M 8*2", "Image file " + bad + " holds 8224 bytes, fewer than the 8320 bytes its header and pixels need."},
        {6, "Thk 0", header("gives Thk \"0\"" + above0)},
        {7, "Pos nan", header("gives Pos \"nan\": it must be a finite number.")},
        {7, "pos 3", header("has no \"Pos\" field at byte 7489: it reads \"pos 3\".")},
        {8, "Obl", header("gives the orientation \"Obl\" at byte 7500: only Sag, Cor and Tra are read.")},
        {8, "tra", header("gives the orientation \"tra\" at byte 7500: only Sag, Cor and Tra are read.")},
        {8, "Tr\x01" "a", header("gives the orientation \"Tr?a\" at byte 7500: only Sag, Cor and Tra are read.")},
    };
    for (const auto& c : cases) {
        WriteMAG("bad.mag", c.field, c.text);
        m_report.Clear();
        EXPECT_FALSE(AddMAG("bad.mag")) << c.text;
        EXPECT_EQ(m_report.Messages(), std::vector{c.message}) << c.text;
    }
    const std::string cut = Input("cut.mag");
    const std::string whole = MAGHeader(TMAGFields{}) + Int16LE(std::vector<int>(16, 7));
    for (size_t size : {size_t(300), size_t(7510), size_t(8192), whole.size() - 1}) {
        WriteBytes(cut, whole.substr(0, size));
        m_report.Clear();
        EXPECT_FALSE(AddMAG("cut.mag")) << size;
        EXPECT_EQ(m_report.Messages(),
                  std::vector{"Image file " + cut + " holds " + std::to_string(size) + " bytes, fewer than the " +
                              (size < 8192 ? "8192 bytes its header needs." : "8224 bytes its header and pixels need.")})
            << size;
    }
    // What stands there when it is no file; a file that fails while it is read.
    ASSERT_TRUE(MakeFolder(Input("folder.mag")));
    const struct {
        std::string name, message;
    } unread[] = {
        {"missing.mag", "Image file " + Input("missing.mag") + " does not exist or cannot be read."},
        {"folder.mag", "Image file " + Input("folder.mag") + " does not exist or cannot be read: it is a folder, not a "
                                                             "file."},
    };
    for (const auto& u : unread) {
        m_report.Clear();
        EXPECT_FALSE(AddMAG(u.name));
        EXPECT_EQ(m_report.Messages(), std::vector{u.message});
    }
    WriteBytes(cut, whole);
    for (int at : {1, 2}) {
        const TFileFaultScope fault({{kFileRead, EIO, at}});
        m_report.Clear();
        EXPECT_FALSE(AddMAG("cut.mag")) << at;
        EXPECT_EQ(m_report.Messages(), std::vector{"Image file " + cut + " cannot be read to its end: input/output error."}) << at;
    }
    {
        const TFileFaultScope fault({{kFileSize, EIO, 1, true}});
        m_report.Clear();
        EXPECT_FALSE(AddMAG("cut.mag"));
        EXPECT_EQ(m_report.Messages(),
                  std::vector{"Image file " + cut + " is not read: its size could not be read: input/output error."});
    }
    EXPECT_TRUE(Images().empty());
    EXPECT_FALSE(FileExists(PixelFile("bad.mag")));
}

TEST_F(SiemensMAGTest, SignatureIsOneWholeWord)
{
    WriteMAG("spaced.mag", 0, "TR 500.0", "  SIEMENS  MR");
    EXPECT_TRUE(AddMAG("spaced.mag"));
    // A wrong signature is shown in a plain box.
    for (const char* bad : {"SIEMENS2", "siemens", ""}) {
        WriteMAG("bad.mag", 0, "TR 500.0", bad);
        m_report.Clear();
        EXPECT_FALSE(AddMAG("bad.mag")) << bad;
        ASSERT_EQ(m_report.Messages(), std::vector<std::string>{"Not a valid siemens format!"}) << bad;
        EXPECT_EQ(m_report.Entries()[0].icon, ReportIcon::None);
    }
    EXPECT_EQ(Images().size(), 1u);
}
