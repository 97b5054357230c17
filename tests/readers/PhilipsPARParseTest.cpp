// The PAR header and REC block parsing steps, on synthetic header lines of versions 3,
// 4, 4.1 and 4.2, and on the real headers of the sample folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "readers/ImageImport.h"
#include "readers/PARTestFiles.h"
#include "readers/PhilipsPARImage.h"
#include "support/TestFiles.h"

using vx::test::TSynthPAR;
using vx::test::TSynthPARImage;

namespace {

std::vector<std::string> Columns(const TSynthPAR& par, const TSynthPARImage& image)
{
    return TokenizeString(vx::test::BuildPARImageLine(par, image));
}

// The image lines of a header, parsed as the reader parses them.
struct TParsedHeader {
    int version = 0;
    TPARGeneralInfo info;
    std::vector<TPARImageLine> images;
    int badLines = 0;
};

TParsedHeader ParseHeader(const std::string& text)
{
    TParsedHeader h;
    h.version = DetectPARVersion(text);
    for (const std::string& line : SplitPARLines(text)) {
        switch (ClassifyPARLine(line)) {
        case TPARLineKind::Comment:
            break;
        case TPARLineKind::General:
            ApplyPARGeneralLine(line, MatchPARKey(line, h.version), h.info);
            break;
        case TPARLineKind::Image: {
            const std::vector<std::string> columns = TokenizeString(line);
            if (columns.empty())
                break;
            TPARImageLine image;
            if (ParsePARImageLine(columns, h.version, h.info, image))
                h.images.push_back(image);
            else
                ++h.badLines;
            break;
        }
        }
    }
    return h;
}

}  // namespace

TEST(PARLines, LineEndsOfBothKindsAndALastLineWithoutEnd)
{
    EXPECT_EQ(SplitPARLines("a\r\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitPARLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitPARLines("").empty());
}

TEST(PARLines, KindsByFirstCharacter)
{
    EXPECT_EQ(ClassifyPARLine(""), TPARLineKind::Comment);
    EXPECT_EQ(ClassifyPARLine("# x"), TPARLineKind::Comment);
    EXPECT_EQ(ClassifyPARLine(".  Patient name : x"), TPARLineKind::General);
    EXPECT_EQ(ClassifyPARLine("  1 1 1"), TPARLineKind::Image);
    EXPECT_EQ(ClassifyPARLine(" # not first"), TPARLineKind::Image);
}

TEST(PARVersion, EighthWordOfAnEightWordCommentLine)
{
    struct Case {
        const char* line;
        int version;
    };
    const Case cases[] = {
        {"# CLINICAL TRYOUT             Research image export tool     V3", 3},
        {"# CLINICAL TRYOUT             Research image export tool     V4", 4},
        {"# CLINICAL TRYOUT             Research image export tool     V4.1", 4},
        {"# CLINICAL TRYOUT             Research image export tool     V4.2", 4},
        {"#\tCLINICAL TRYOUT Research image export tool v4.2", 4},
        {"# CLINICAL TRYOUT Research image export tool V4.2\r", 4},
        {"# TRYOUT Research image export tool V4.2", 0},                 // 7 words
        {"# CLINICAL TRYOUT Research image export tool V4.2 extra", 0},  // 9 words
        {"# CLINICAL TRYOUT Research image export V4.2 tool", 0},        // not the eighth
        {". CLINICAL TRYOUT Research image export tool V4.2", 0},        // not a comment
        {"# Limited by Federal Law to investigational use.", 0},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("# header\r\n") + c.line + "\r\n.  Patient name : x\r\n";
        EXPECT_EQ(DetectPARVersion(text), c.version) << c.line;
    }
    // The first matching line decides.
    EXPECT_EQ(DetectPARVersion("# a b c d e f V3\n# a b c d e f V4\n"), 3);
    EXPECT_EQ(DetectPARVersion("# a b c d e f V4\n# a b c d e f V3\n"), 4);
}

TEST(PARKeys, FirstKeyOfTheVersionTableWins)
{
    EXPECT_EQ(MatchPARKey(".    Patient name      :   x", 4), TPARKey::PatientName);
    EXPECT_EQ(MatchPARKey(".    Patient position  :   Head First Supine", 4), TPARKey::None);
    EXPECT_EQ(MatchPARKey(".    Max. number of slices/locations    :   9", 4), TPARKey::Slices);
    EXPECT_EQ(MatchPARKey(".    Max. number of slices/locations    :   9", 3), TPARKey::Slices);
    EXPECT_EQ(MatchPARKey(".    Total number of slices/locations   :   9", 4), TPARKey::None);
    EXPECT_EQ(MatchPARKey(".    Total number of slices/locations   :   9", 3), TPARKey::Slices);
    EXPECT_EQ(MatchPARKey(".    Recon resolution (x, y)  :  256 256", 4), TPARKey::None);
    EXPECT_EQ(MatchPARKey(".    Recon resolution (x, y)  :  256 256", 3), TPARKey::ReconResolution);
    EXPECT_EQ(MatchPARKey(".    Slice thickness [mm]  :  5", 4), TPARKey::None);
    EXPECT_EQ(MatchPARKey(".    Slice thickness [mm]  :  5", 3), TPARKey::SliceThickness);
    EXPECT_EQ(MatchPARKey(".    Angulation midslice(ap,fh,rl)[degr]:   1 2 3", 4), TPARKey::Angulation);
    EXPECT_EQ(MatchPARKey(".    Off Centre midslice(ap,fh,rl) [mm] :   1 2 3", 3), TPARKey::OffCentre);
    // Keys are found anywhere in the line, the earlier key first.
    EXPECT_EQ(MatchPARKey(". FOV of Patient name", 4), TPARKey::PatientName);
    EXPECT_EQ(MatchPARKey(". Repetition time FOV", 4), TPARKey::RepetitionTime);
    // Exact case.
    EXPECT_EQ(MatchPARKey(". patient name : x", 4), TPARKey::None);
}

TEST(PARGeneral, ValuesOfEachKey)
{
    TPARGeneralInfo info;
    EXPECT_EQ(info.patientName, "n/a");
    EXPECT_EQ(info.examDate, "n/a");
    EXPECT_EQ(info.bits, 8);

    ApplyPARGeneralLine(".    Patient name       :   Doe  John  ", TPARKey::PatientName, info);
    EXPECT_EQ(info.patientName, "Doe  John");
    ApplyPARGeneralLine(".    Examination name   :\tBrain ", TPARKey::ExamName, info);
    EXPECT_EQ(info.examName, "Brain");
    ApplyPARGeneralLine(".    Protocol name      :   EPI_asc CLEAR", TPARKey::ProtocolName, info);
    EXPECT_EQ(info.protocolName, "   EPI_asc CLEAR");  // not trimmed
    ApplyPARGeneralLine(".    Examination date/time :   2014.02.14 / 09:00:57", TPARKey::ExamDate, info);
    EXPECT_EQ(info.examDate, "2014.02.14");
    ApplyPARGeneralLine(".    Repetition time [ms]  :   2000.000  ", TPARKey::RepetitionTime, info);
    EXPECT_FLOAT_EQ(info.tr, 2000.0f);
    ApplyPARGeneralLine(".    Image pixel size [8 or 16 bits] : 16", TPARKey::PixelSize, info);
    EXPECT_EQ(info.bits, 16);
    ApplyPARGeneralLine(".    Recon resolution (x, y)  :  256  192", TPARKey::ReconResolution, info);
    EXPECT_EQ(info.width, 256);
    EXPECT_EQ(info.height, 192);
    ApplyPARGeneralLine(".    FOV (ap,fh,rl) [mm]  :   200.0  250.0  230.0", TPARKey::FOV, info);
    EXPECT_TRUE(info.hasFOV);
    EXPECT_FLOAT_EQ(info.fov[0], 200.0f);
    EXPECT_FLOAT_EQ(info.fov[1], 250.0f);
    EXPECT_FLOAT_EQ(info.fov[2], 230.0f);
    ApplyPARGeneralLine(".    Slice thickness [mm] :  5.500", TPARKey::SliceThickness, info);
    EXPECT_FLOAT_EQ(info.thickness, 5.5f);
    ApplyPARGeneralLine(".    Angulation midslice(ap,fh,rl)[degr]:   -13.265  0.000  7.5",
                        TPARKey::Angulation, info);
    EXPECT_FLOAT_EQ(info.angulation[0], -13.265f);
    EXPECT_FLOAT_EQ(info.angulation[2], 7.5f);
    ApplyPARGeneralLine(".    Off Centre midslice(ap,fh,rl) [mm] :   2.508  30.339  -16.032",
                        TPARKey::OffCentre, info);
    EXPECT_FLOAT_EQ(info.offCentre[1], 30.339f);
    EXPECT_FLOAT_EQ(info.offCentre[2], -16.032f);
}

TEST(PARGeneral, EmptyAndMalformedValues)
{
    TPARGeneralInfo info;
    ApplyPARGeneralLine(".    Patient name  :   ", TPARKey::PatientName, info);
    EXPECT_EQ(info.patientName, "");
    ApplyPARGeneralLine(".    Examination date/time  :  \t ", TPARKey::ExamDate, info);
    EXPECT_EQ(info.examDate, "n/a");
    // Values that are no finite number become 0; a too short line changes nothing.
    ApplyPARGeneralLine(". FOV : nan inf 1e300", TPARKey::FOV, info);
    EXPECT_EQ(info.fov[0], 0.0f);
    EXPECT_EQ(info.fov[1], 0.0f);
    EXPECT_EQ(info.fov[2], 0.0f);
    info.width = 7;
    ApplyPARGeneralLine("Recon", TPARKey::ReconResolution, info);
    EXPECT_EQ(info.width, 7);
}

TEST(PARImageLine, Version4Columns)
{
    TSynthPAR par;
    TSynthPARImage image;
    image.index = "12";
    image.bits = 8;
    image.width = 64;
    image.height = 48;
    image.offAp = 2.5f;
    image.offFh = 6.98f;
    image.offRl = -10.53f;
    image.thickness = 6.0f;
    image.sliceOrientation = 3;
    image.spacingX = 3.75f;
    image.spacingY = 3.5f;
    image.te = 30.0f;
    TPARImageLine line;
    for (int columns : {41, 48, 49, 60}) {
        par.v4Columns = columns;
        ASSERT_TRUE(ParsePARImageLine(Columns(par, image), 4, TPARGeneralInfo{}, line)) << columns;
        EXPECT_EQ(std::tie(line.recIndex, line.bits, line.width, line.height, line.sliceOrientation),
                  std::tuple("12", 8, 64, 48, 3));
        EXPECT_THAT((std::vector<float>{line.offCentre[0], line.offCentre[1], line.offCentre[2], line.thickness,
                                        line.spacing[0], line.spacing[1], line.te}),
                    testing::Pointwise(testing::FloatEq(), std::vector<float>{2.5f, 6.98f, -10.53f, 6, 3.75f, 3.5f, 30}));
    }
    par.v4Columns = 40;
    EXPECT_FALSE(ParsePARImageLine(Columns(par, image), 4, TPARGeneralInfo{}, line));
}

TEST(PARImageLine, Version3TakesFormatFromTheHeader)
{
    TSynthPAR par;
    par.version = 3;
    TSynthPARImage image;
    image.index = "3";
    image.offRl = 4.0f;
    image.sliceOrientation = 2;
    image.te = 15.0f;
    TPARGeneralInfo info;
    info.bits = 16;
    info.width = 256;
    info.height = 128;
    info.thickness = 4.5f;
    TPARImageLine line;
    for (int columns : {29, 31}) {
        par.v3Columns = columns;
        ASSERT_TRUE(ParsePARImageLine(Columns(par, image), 3, info, line)) << columns;
        EXPECT_EQ(std::tie(line.recIndex, line.bits, line.width, line.height, line.sliceOrientation),
                  std::tuple("3", 16, 256, 128, 2));
        EXPECT_THAT((std::vector<float>{line.thickness, line.offCentre[2], line.te}),
                    testing::Pointwise(testing::FloatEq(), std::vector<float>{4.5f, 4, 15}));
    }
    for (int columns : {28, 30, 32, 41}) {
        par.v3Columns = columns;
        EXPECT_FALSE(ParsePARImageLine(Columns(par, image), 3, info, line)) << columns;
    }
}

TEST(PARImageLine, ImagesTheReaderCannotHoldAreRefused)
{
    TSynthPAR par;
    const TSynthPARImage good;
    struct Case {
        const char* what;
        TSynthPARImage image;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto change) {
        TSynthPARImage image = good;
        change(image);
        cases.push_back({what, image});
    };
    add("12 bits", [](TSynthPARImage& i) { i.bits = 12; });
    add("32 bits", [](TSynthPARImage& i) { i.bits = 32; });
    add("width 0", [](TSynthPARImage& i) { i.width = 0; });
    add("height -2", [](TSynthPARImage& i) { i.height = -2; });
    add("width too large", [](TSynthPARImage& i) { i.width = 16385; });
    add("height too large", [](TSynthPARImage& i) { i.height = 2000000000; });
    add("orientation 0", [](TSynthPARImage& i) { i.sliceOrientation = 0; });
    add("orientation 4", [](TSynthPARImage& i) { i.sliceOrientation = 4; });
    add("orientation -1", [](TSynthPARImage& i) { i.sliceOrientation = -1; });
    add("negative thickness", [](TSynthPARImage& i) { i.thickness = -1.0f; });
    TPARImageLine line;
    ASSERT_TRUE(ParsePARImageLine(Columns(par, good), 4, TPARGeneralInfo{}, line));
    for (const Case& c : cases)
        EXPECT_FALSE(ParsePARImageLine(Columns(par, c.image), 4, TPARGeneralInfo{}, line)) << c.what;

    // Version 3 without "Recon resolution" and a zero size from the import record.
    par.version = 3;
    TPARGeneralInfo info;
    EXPECT_FALSE(ParsePARImageLine(Columns(par, good), 3, info, line));
    info.width = 4;
    info.height = 2;
    EXPECT_TRUE(ParsePARImageLine(Columns(par, good), 3, info, line));
    info.thickness = -0.5f;
    EXPECT_FALSE(ParsePARImageLine(Columns(par, good), 3, info, line));
    info.thickness = 0.0f;
    info.bits = 12;
    EXPECT_FALSE(ParsePARImageLine(Columns(par, good), 3, info, line));
}

TEST(RECBlock, WrongSizesAndBitsAreRefused)
{
    const std::string bytes(16, '\x01');
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::vector<int16_t> pixels = {7};
    EXPECT_FALSE(DecodeRECBlock(data, 15, 16, 4, 2, pixels));
    EXPECT_FALSE(DecodeRECBlock(data, 16, 8, 4, 2, pixels));
    EXPECT_FALSE(DecodeRECBlock(data, 12, 12, 4, 2, pixels));
    EXPECT_FALSE(DecodeRECBlock(data, 0, 16, 0, 2, pixels));
    EXPECT_EQ(pixels, std::vector<int16_t>{7});
    EXPECT_EQ(RECBlockBytes(64, 64, 16), 8192);
    EXPECT_EQ(RECBlockBytes(3, 3, 12), 13);  // rounded down
    EXPECT_EQ(RECBlockBytes(16384, 16384, 16), int64_t{1} << 29);
}

// Real headers: version, number of image lines, size and slice orientation as the
// sample folder's sources describe them.
TEST(PARHeader, RealHeaders)
{
    struct Case {
        const char* file;
        size_t images;
        int width;
        int sliceOrientation;  // of the first image line
    };
    const Case cases[] = {
        {"parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.PAR", 27, 64, 1},
        {"parrec/nibabel/phantom_fake_v4.PAR", 27, 64, 1},
        {"parrec/nibabel/phantom_fake_v4_1.PAR", 27, 64, 1},
        {"parrec/nibabel/phantom_varscale.PAR", 27, 64, 1},
        {"parrec/nibabel/DTIv40.PAR", 80, 80, 1},
        {"parrec/nibabel/Phantom_EPI_3mm_tra_SENSE_6_1.PAR", 40, 80, 1},
        {"parrec/nibabel/Phantom_EPI_3mm_sag_SENSE_7_1.PAR", 40, 80, 2},
        {"parrec/nibabel/Phantom_EPI_3mm_cor_SENSE_8_1.PAR", 40, 80, 3},
    };
    for (const Case& c : cases) {
        VX_REQUIRE_SAMPLE(c.file);
        std::string text;
        ASSERT_TRUE(vx::ReadWholeFile(vx::test::SampleDataPath(c.file), text)) << c.file;
        const TParsedHeader h = ParseHeader(text);
        EXPECT_EQ(h.version, 4) << c.file;
        EXPECT_EQ(h.badLines, 0) << c.file;
        ASSERT_EQ(h.images.size(), c.images) << c.file;
        EXPECT_EQ(h.images[0].width, c.width) << c.file;
        EXPECT_EQ(h.images[0].height, c.width) << c.file;
        EXPECT_EQ(h.images[0].sliceOrientation, c.sliceOrientation) << c.file;
    }
}
