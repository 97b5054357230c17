// The Siemens MAG image reader: header fields at their offsets, the placement by
// orientation, the signature message, and files refused without a word.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/ImageReaderFixture.h"
#include "readers/SiemensTestFiles.h"
#include "support/Bytes.h"

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

TEST_F(SiemensMAGTest, FaultyFilesAreRefusedWithoutAMessage)
{
    const struct {
        int field;
        const char* text;
    } cases[] = {
        {0, "TR 0.0"}, {0, "Tr 500"},  {0, "TR"},          {1, "TE -1"},  {4, "FOV 0"}, {4, "FOV inf"},
        {5, "M 0*4"},  {5, "M 4"},     {5, "M 99999*1"},   {5, "M 8*2"},  {6, "Thk 0"}, {7, "Pos nan"},
        {7, "pos 3"},  {8, "Obl"},     {8, "tra"},
    };
    for (const auto& c : cases) {
        WriteMAG("bad.mag", c.field, c.text);  // M 8*2: an 8 x 8 image, pixels for 4 x 4 only
        EXPECT_FALSE(AddMAG("bad.mag")) << c.text;
    }
    const std::string whole = MAGHeader(TMAGFields{}) + Int16LE(std::vector<int>(16, 7));
    for (size_t cut : {size_t(300), size_t(7510), size_t(8192), whole.size() - 1}) {
        WriteBytes(Input("cut.mag"), whole.substr(0, cut));
        EXPECT_FALSE(AddMAG("cut.mag")) << cut;
    }
    EXPECT_FALSE(AddMAG("missing.mag"));
    EXPECT_EQ(m_report.Count(), 0u);
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
