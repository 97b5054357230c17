// The Bruker 2dseq image reader: slices placed by the method file the user names, the
// values it refuses, short files, and the real imaging sets of the sample folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "readers/BrukerTestFiles.h"
#include "readers/ImageReaderFixture.h"
#include "support/Bytes.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedFileChooser.h"

using namespace vx;
using namespace vx::test;

namespace {

std::vector<int> SlicePixels(int i, int count)
{
    std::vector<int> pixels;
    for (int p = 0; p < count; ++p)
        pixels.push_back(100 * i + 7 * p - 50);
    return pixels;
}

class Bruker2dseqImageTest : public ImageReaderTest {
protected:
    void SetUp() override
    {
        ImageReaderTest::SetUp();
        for (const char* part : {"scan", "scan/9", "scan/9/pdata", "scan/9/pdata/1"})
            ASSERT_TRUE(MakeFolder(m_dir.File(part)));
    }
    void WriteScan(const std::string& method, int slices, int pixelsPerSlice)
    {
        WriteBytes(m_method, method);
        std::string bytes;
        for (int i = 0; i < slices; ++i)
            bytes += Int16LE(SlicePixels(i, pixelsPerSlice));
        WriteBytes(m_seq, bytes);
    }
    // Adds a 2dseq file, answering Yes and picking `method` ("" cancels the dialog).
    bool AddSeq(const std::string& path, const std::string& method)
    {
        m_report.PlanAnswer(ReportAnswer::Yes);
        TScriptedFileChooser chooser(method);
        return Add(path, TImageImportParams{}, 5);
    }
    bool AddSeq() { return AddSeq(m_seq, m_method); }

    std::string m_seq = m_dir.File("scan/9/pdata/1/2dseq");
    std::string m_method = m_dir.File("scan/9/method");
};

}  // namespace

// An image's values as one line.
std::string Summary(const TMRImage& image)
{
    std::ostringstream out;
    out << image.GetWidth() << "x" << image.GetHeight() << " o" << image.GetOrientation() << " fov "
        << image.GetFOVX() << " " << image.GetFOVY() << " thick " << image.GetThickness() << " tr "
        << image.GetTR() << " te " << image.GetTE() << " " << image.GetInfoText(TMRImage::InfoDirectionCode)
        << " " << image.GetInfoText(TMRImage::InfoPatientName) << " window " << image.GetStoredWindowLow()
        << " " << image.GetStoredWindowHigh();
    return out.str();
}

// Slices lie evenly about the package centre along the slice direction, turned by the
// gradient directions and moved by the offsets.
TEST_F(Bruker2dseqImageTest, SlicesArePlacedAlongTheSliceDirection)
{
    // Read along x, phase and slice directions tilted in the y-z plane; the rotation's columns
    // are the three directions, its inverse the transpose.
    const float m[9] = {1, 0, 0, 0, 0.8f, -0.6f, 0, 0.6f, 0.8f};
    WriteScan(JcampText(ImageMethodLines("1 0 0 0 0.8 0.6 0 -0.6 0.8")), 3, 12);
    ASSERT_TRUE(AddSeq());
    EXPECT_EQ(m_report.Questions(), std::vector<std::string>{"For Bruker image, \"method\" file is required. Click "
                                                             "Yes to select the method file, No to cancel."});
    EXPECT_EQ(m_report.Count(), 1u);
    ASSERT_EQ(Images().size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const std::string name = "9_pdata_1_2dseq_" + std::to_string(i);
        TMRImage* image = ImageNamed(name);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(ReadBytes(StoredPixelFile(name)), Int16LE(SlicePixels(i, 12)));
        EXPECT_EQ(Summary(*image), "4x3 o2 fov 40 30 thick 2 tr 800 te 12 RA n/a window " + std::to_string(100 * i - 50) +
                                       " " + std::to_string(100 * i + 27));
        float offCentre[3], position[3], rotation[9];
        image->GetOffCentre(offCentre);
        image->GetPosition(position);
        image->GetRotation(rotation);
        EXPECT_EQ(std::vector<float>(offCentre, offCentre + 3), (std::vector<float>{-3, 2, 4}));
        EXPECT_EQ(std::vector<float>(rotation, rotation + 9), std::vector<float>(m, m + 9));
        const float along = 5.0f * float(i - 1), q[3] = {3, -2, 4};  // -5, 0, +5 mm from the centre
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(position[r], (r < 2 ? -1 : 1) * (m[6 + r] * along + q[r]), 1e-5) << i << " " << r;
    }
}

// A read direction along the higher in-plane axis exchanges the sides and the FOV values;
// the name test ignores case; other names are refused by the batch-aware rule.
TEST_F(Bruker2dseqImageTest, SidesAndNames)
{
    TJcampLines method = WithLine(ImageMethodLines(), "##$PVM_SPackArrReadOrient", JcampArray("A_P"));
    method = WithLine(method, "##$PVM_Matrix", JcampArray("128 64"));
    method = WithLine(method, "##$PVM_SPackArrNSlices", JcampArray("1"));
    WriteScan(JcampText(method), 1, 128 * 64);
    const std::string capitals = m_dir.File("scan/9/pdata/1/2DSEQ");
    ASSERT_EQ(std::rename(m_seq.c_str(), capitals.c_str()), 0);
    ASSERT_TRUE(AddSeq(capitals, m_method));
    ASSERT_EQ(Images().size(), 1u);
    EXPECT_EQ(Images()[0]->GetWidth(), 64);
    EXPECT_EQ(Images()[0]->GetHeight(), 128);
    EXPECT_FLOAT_EQ(Images()[0]->GetFOVX(), 30.0f);
    EXPECT_FLOAT_EQ(Images()[0]->GetFOVY(), 40.0f);

    m_report.Clear();
    WriteBytes(Input("2dseq.bak"), ReadBytes(capitals));
    EXPECT_FALSE(Add(Input("2dseq.bak"), TImageImportParams{}, 5));
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"Bruker image should be 2dseq files."});
    EXPECT_EQ(m_report.Entries()[0].icon, ReportIcon::Exclamation);
    // A batch run logs that, and cannot place a 2dseq file: no one names its method file.
    m_report.Clear();
    g_bBatchMode = true;
    EXPECT_FALSE(Add(Input("2dseq.bak"), TImageImportParams{}, 5));
    EXPECT_FALSE(Add(capitals, TImageImportParams{}, 5));
    EXPECT_EQ(g_batchLog, "Bruker image should be 2dseq files.\r\nThe images of " + capitals +
                              " need their \"method\" file, which no one can name during a batch run.\r\n");
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_EQ(Images().size(), 1u);
}

// Sizes that make no image are "Invalid parameters." in a plain box; a method file that
// cannot place the slices says why in one; No adds nothing without a message, and a cancelled
// dialog says that no method file was chosen.
TEST_F(Bruker2dseqImageTest, RefusedMethodsAddNothing)
{
    const TJcampLines base = ImageMethodLines();
    const std::string full = JcampText(base);
    const std::string method = "method file " + m_method;
    const struct {
        std::string method;
        std::string message;
    } cases[] = {
        {JcampText(WithLine(base, "##$PVM_SliceThick", "=0")), "Invalid parameters."},
        {JcampText(WithLine(base, "##$PVM_Matrix", JcampArray("-4 3"))), "Invalid parameters."},
        {JcampText(WithLine(base, "##$PVM_Matrix", JcampArray("100000 3"))), "Invalid parameters."},
        {JcampText(WithLine(base, "##$PVM_SPackArrNSlices", JcampArray("0"))), "Invalid parameters."},
        {JcampText(WithLine(base, "##$PVM_Fov", JcampArray("40 0"))), "Invalid parameters."},
        {JcampText(base, "\r\n"),
         "The read orientation of " + method + " ends in a carriage return: the file must end its lines with "
                                               "line feeds only."},
        {JcampText(WithLine(base, "##$PVM_SPackArrReadOrient", JcampArray("H_F"))),
         "The read orientation \"H_F\" of " + method + " does not fit its axial slices."},
        {JcampText(ImageMethodLines("1 0 0 1 0 0 0 0 1")),
         "The gradient orientation of " + method + " cannot be inverted."},
        {full.substr(full.find('\n') + 1), "Parameter file " + m_method + " has no ##TITLE in its first line."},
        {full + "##$PVM_Matrix=( 2 )", "Parameter file " + m_method + " ends before the values of ##$PVM_Matrix."},
    };
    for (const auto& c : cases) {
        m_report.Clear();
        WriteScan(c.method, 3, 12);
        EXPECT_FALSE(AddSeq()) << c.method;
        EXPECT_EQ(m_report.Messages(), std::vector<std::string>{c.message}) << c.method;
        ASSERT_EQ(m_report.Count(), 2u);
        EXPECT_EQ(m_report.Entries()[1].icon, ReportIcon::None);
        EXPECT_TRUE(Images().empty());
    }
    WriteScan(full, 3, 12);
    m_report.Clear();
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(Add(m_seq, TImageImportParams{}, 5));
    EXPECT_TRUE(m_report.Messages().empty());
    // A cancelled file dialog says that no method file was named.
    EXPECT_FALSE(AddSeq(m_seq, ""));
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"No \"method\" file was chosen for " + m_seq + "."});
    EXPECT_EQ(m_report.Count(), 3u);
    // A 2dseq that is no file is named as what it is, before any question.
    ASSERT_TRUE(MakeFolder(m_dir.File("scan/9/pdata/2")) && MakeFolder(m_dir.File("scan/9/pdata/2/2dseq")));
    m_report.Clear();
    EXPECT_FALSE(Add(m_dir.File("scan/9/pdata/2/2dseq"), TImageImportParams{}, 5));
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"Image file " + m_dir.File("scan/9/pdata/2/2dseq") +
                                                            " does not exist or cannot be read: it is a folder, not "
                                                            "a file."});
    EXPECT_EQ(m_report.Count(), 1u);
    EXPECT_TRUE(Images().empty());
}

// A file that ends inside a slice keeps the images of the slices before it; a slice count
// far beyond the file reads what is there and allocates nothing more.
TEST_F(Bruker2dseqImageTest, ShortFileKeepsTheEarlierSlices)
{
    WriteScan(JcampText(ImageMethodLines()), 3, 12);
    WriteBytes(m_seq, ReadBytes(m_seq).substr(0, 2 * 24 + 12));
    EXPECT_FALSE(AddSeq());
    EXPECT_EQ(ImageNames(), (std::vector<std::string>{"9_pdata_1_2dseq_0", "9_pdata_1_2dseq_1"}));
    EXPECT_FALSE(FileExists(PixelFile("9_pdata_1_2dseq_2")));
    const std::string shorter = "Data file " + m_seq + " is shorter than its parameter files describe (";
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{shorter + "60 of 72 bytes): it ends in slice "
                                                                       "9_pdata_1_2dseq_2; the images of the 2 slices "
                                                                       "before it were added."});

    m_project.RemoveImages(Images());
    WriteScan(JcampText(WithLine(ImageMethodLines(), "##$PVM_SPackArrNSlices", JcampArray("2147483647"))), 1, 12);
    m_report.Clear();
    EXPECT_FALSE(AddSeq());
    EXPECT_EQ(Images().size(), 1u);
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{shorter + "24 of 51539607528 bytes): it ends in slice "
                                                                       "9_pdata_1_2dseq_1; the image of the slice "
                                                                       "before it was added."});

    // Not one slice: nothing added.
    m_project.RemoveImages(Images());
    WriteScan(JcampText(ImageMethodLines()), 0, 12);
    m_report.Clear();
    EXPECT_FALSE(AddSeq());
    EXPECT_TRUE(Images().empty());
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{shorter + "0 of 72 bytes): it ends in slice "
                                                                       "9_pdata_1_2dseq_0, and no image was added."});

    // A data file whose size cannot be read (the method file's can): said so, nothing added.
    WriteScan(JcampText(ImageMethodLines()), 3, 12);
    m_report.Clear();
    {
        const TFileFaultScope fault({{kFileSize, EIO, 2, true}});
        EXPECT_FALSE(AddSeq());
    }
    EXPECT_TRUE(Images().empty());
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"Data file " + m_seq +
                                                            " is not read: its size could not be read: input/output "
                                                            "error."});

    // A whole file whose read fails in its second slice (the method file is read first): said
    // so, not as a short file, and the first slice's image stays.
    m_report.Clear();
    {
        const TFileFaultScope fault({{kFileRead, EIO, 3}});
        EXPECT_FALSE(AddSeq());
    }
    EXPECT_EQ(ImageNames(), std::vector<std::string>{"9_pdata_1_2dseq_0"});
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"Data file " + m_seq +
                                                            " cannot be read to its end: input/output error; it fails in "
                                                            "slice 9_pdata_1_2dseq_1; the image of the slice before it "
                                                            "was added."});
}

// The EPI fruit phantom is one axial package of five 80 x 64 slices. The FLASH localiser
// holds three packages of different orientations, whose read orientations share one value
// line ("L_R H_F H_F"): it cannot be placed as one stack and is refused.
TEST_F(Bruker2dseqImageTest, RealSetsImportWithTheirGeometry)
{
    const std::string epi = "bruker/pvconv/BadBanana_01/18";
    VX_REQUIRE_SAMPLE(epi + "/pdata/1/2dseq");
    const std::string seq = SampleDataPath(epi + "/pdata/1/2dseq");
    ASSERT_TRUE(AddSeq(seq, SampleDataPath(epi + "/method")));
    EXPECT_TRUE(m_report.Messages().empty());
    const std::string stored = ReadBytes(seq);
    ASSERT_EQ(Images().size(), 5u);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const std::string name = "18_pdata_1_2dseq_" + std::to_string(i);
        TMRImage* image = ImageNamed(name);
        ASSERT_NE(image, nullptr);
        // 0.55 x 0.6875 mm pixels, 1.5 mm slices
        EXPECT_TRUE(Summary(*image).starts_with("80x64 o2 fov 44 44 thick 1.5 tr 2000 te ")) << Summary(*image);
        // The stored 16-bit values are the file's; the reconstruction's slope is not applied.
        EXPECT_EQ(ReadBytes(StoredPixelFile(name)), stored.substr(size_t(i) * 10240, 10240));
        float position[3];
        image->GetPosition(position);
        EXPECT_NEAR(position[1], 0.8f, 1e-5);                 // phase offset -0.8 mm, negated
        EXPECT_NEAR(position[2], 2.0f * float(i - 2), 1e-5);  // 2 mm apart about the centre
    }

    const std::string flash = "bruker/brukerMRI/100";
    VX_REQUIRE_SAMPLE(flash + "/pdata/1/2dseq");
    m_report.Clear();
    EXPECT_FALSE(AddSeq(SampleDataPath(flash + "/pdata/1/2dseq"), SampleDataPath(flash + "/method")));
    // Its orientation line "axial sagittal coronal" counts as coronal, which is looked for first.
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"The read orientation \"L_R H_F H_F\" of method file " +
                                                            SampleDataPath(flash + "/method") +
                                                            " does not fit its coronal slices."});
    EXPECT_EQ(Images().size(), 5u);
}
