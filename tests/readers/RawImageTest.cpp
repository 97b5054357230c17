// The raw image reader: a stated layout of header bytes and 16-bit samples in either byte
// order, files too short for it or unreadable, and the messages that show also during a batch run.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "readers/ImageReaderFixture.h"
#include "readers/RawImage.h"
#include "support/Bytes.h"
#include "support/FileFaultScope.h"

using namespace vx;
using namespace vx::test;

namespace {

class RawImageTest : public ImageReaderTest {
protected:
    bool AddRaw(const std::string& name, int header, int width, int height, int32_t swap = 0)
    {
        TImageImportParams params;
        params.m_nHeaderSize = header;
        params.m_nWidth = width;
        params.m_nHeight = height;
        params.m_bSwapBytes = swap;
        return Add(Input(name), params, 6);
    }
};

// header bytes of 0xEE, then the samples as little-endian 16-bit words.
std::string RawFile(size_t header, const std::vector<int>& samples)
{
    return std::string(header, '\xEE') + Int16LE(samples);
}

}  // namespace

TEST(RawSamples, ByteOrder)
{
    const unsigned char bytes[] = {0x01, 0x02, 0xff, 0xfe, 0x80, 0x00};
    EXPECT_EQ(DecodeRawSamples(bytes, 3, false), (std::vector<int16_t>{0x0201, -257, 0x0080}));
    EXPECT_EQ(DecodeRawSamples(bytes, 3, true), (std::vector<int16_t>{0x0102, -2, -32768}));
}

TEST_F(RawImageTest, StatedLayoutIsRead)
{
    const std::vector<int> samples = {1, -2, 300, 4, 5, -32768, 7, 32767};
    WriteBytes(Input("slice.ima"), RawFile(16, samples));   // exactly 16 + 2 x 4 x 2 bytes
    ASSERT_TRUE(AddRaw("slice.ima", 16, 4, 2));
    EXPECT_EQ(m_report.Count(), 0u);
    ASSERT_EQ(Images().size(), 1u);
    TMRImage* image = Images()[0];
    EXPECT_EQ(image->GetName(), "slice.ima");
    EXPECT_EQ(image->GetPath(), PixelFile("slice.ima"));
    EXPECT_EQ(image->GetWidth(), 4);
    EXPECT_EQ(image->GetHeight(), 2);
    EXPECT_EQ(ReadBytes(StoredPixelFile("slice.ima")), RawFile(0, samples));
    EXPECT_EQ(image->GetStoredWindowLow(), -32768);
    EXPECT_EQ(image->GetStoredWindowHigh(), 32767);
    // No geometry: the defaults of a new image, nothing placed.
    EXPECT_FALSE(image->IsParameterKnown(TMRImage::KnownOrientation));
    EXPECT_FALSE(image->IsParameterKnown(TMRImage::KnownFOVX));
    float position[3];
    image->GetPosition(position);
    EXPECT_THAT((std::vector<float>{image->GetStoredMax(), image->GetValueMin(), image->GetFOVX(), image->GetThickness(),
                                    image->GetTR(), position[0], position[2]}),
                testing::Pointwise(testing::FloatEq(), std::vector<float>{32767, -32768, 240, 0, 0, 0, 0}));
    for (int k : {0, 1, 2, 3, 5, 6})
        EXPECT_EQ(image->GetInfoText(k), "n/a") << k;
}

TEST_F(RawImageTest, SwappedSamplesAreBigEndian)
{
    WriteBytes(Input("be.raw"), std::string("\x01\x02\x03\x04", 4));
    ASSERT_TRUE(AddRaw("be.raw", 0, 2, 1, 1));
    EXPECT_EQ(ReadBytes(StoredPixelFile("be.raw")), std::string("\x02\x01\x04\x03", 4));
    // Only the lowest byte of the flag counts.
    WriteBytes(Input("le.raw"), std::string("\x01\x02\x03\x04", 4));
    ASSERT_TRUE(AddRaw("le.raw", 0, 2, 1, 0x100));
    EXPECT_EQ(ReadBytes(StoredPixelFile("le.raw")), std::string("\x01\x02\x03\x04", 4));
}

TEST_F(RawImageTest, EqualSamplesGiveAnEmptyWindow)
{
    WriteBytes(Input("flat.raw"), RawFile(0, {7, 7, 7, 7}));
    ASSERT_TRUE(AddRaw("flat.raw", 0, 2, 2));
    EXPECT_EQ(Images()[0]->GetStoredWindowLow(), 7);
    EXPECT_EQ(Images()[0]->GetStoredWindowHigh(), 7);
}

TEST_F(RawImageTest, FilesShorterThanTheLayoutOrUnreadableAreRefusedWithTheReason)
{
    const std::string path = Input("short.raw"), whole = Input("whole.raw");
    WriteBytes(path, RawFile(16, {1, 2, 3, 4, 5, 6, 7, 8}).substr(0, 31));
    WriteBytes(whole, RawFile(16, {1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(MakeFolder(Input("folder.raw")));
    const std::string holds = "Image file " + path + " holds 31 bytes, fewer than the ";
    const struct {
        const char* name;
        int header, width, height;
        std::string message;
        std::vector<TFileFault> faults = {};
    } cases[] = {
        {"short.raw", 16, 4, 2, holds + "32 bytes its header and pixels need."},
        {"short.raw", 1000, 1, 1, holds + "1002 bytes its header and pixels need."},  // header beyond the end
        {"short.raw", 0, 16384, 16384, holds + "536870912 bytes its pixels need."},  // a size the file cannot hold
        {"missing.raw", 0, 1, 1, "Image file " + Input("missing.raw") + " does not exist or cannot be read."},
        {"folder.raw", 0, 1, 1,
         "Image file " + Input("folder.raw") + " does not exist or cannot be read: it is a folder, not a file."},
        // Long enough, but failing while it is read.
        {"whole.raw", 16, 4, 2, "Image file " + whole + " cannot be read to its end: input/output error.", {{kFileRead, EIO, 1}}},
        {"whole.raw", 16, 4, 2, "Image file " + whole + " is not read: its size could not be read: input/output error.",
         {{kFileSize, EIO, 1, true}}},
    };
    for (const auto& c : cases) {
        const TFileFaultScope fault(c.faults);
        m_report.Clear();
        EXPECT_FALSE(AddRaw(c.name, c.header, c.width, c.height)) << c.message;
        EXPECT_EQ(m_report.Messages(), std::vector{c.message});
        ASSERT_EQ(m_report.Count(), 1u);
        EXPECT_EQ(m_report.Entries()[0].icon, ReportIcon::Exclamation);
    }
    EXPECT_TRUE(Images().empty());
    EXPECT_FALSE(FileExists(PixelFile("short.raw")));
}

TEST_F(RawImageTest, MessagesGoToTheLogDuringABatch)
{
    WriteBytes(Input("a.raw"), RawFile(0, {1, 2}));
    g_bBatchMode = true;
    EXPECT_FALSE(AddRaw("a.raw", 0, 0, 2));
    EXPECT_FALSE(AddRaw("a.raw", 0, 2, -1));
    EXPECT_FALSE(AddRaw("a.raw", -4, 2, 1));
    EXPECT_FALSE(AddRaw("a.raw", 0, 16385, 1));
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_EQ(g_batchLog,
              "The size of the image must be positive.\r\nThe size of the image must be positive.\r\n"
              "Header size is larger than file size\r\nThe size of the image must not be larger than 16384 pixels.\r\n");
    EXPECT_TRUE(Images().empty());
}

TEST_F(RawImageTest, UnknownImageTypeReadsNothing)
{
    WriteBytes(Input("a.raw"), RawFile(0, {1, 2}));
    TImageImportParams params;
    params.m_nWidth = 2;
    params.m_nHeight = 1;
    for (int type : {7, -1, 1000}) {
        params.m_nImageType = type;
        EXPECT_FALSE(m_project.m_pImageSet->AddImages(Input("a.raw"), params, &m_project)) << type;
    }
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_TRUE(Images().empty());
}
