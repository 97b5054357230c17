// The Philips PAR/REC image reader on synthetic pairs of versions 3, 4, 4.1 and 4.2:
// images, names, pixels and pixel files, geometry, broken and hostile pairs, and the
// checks against the project's CSI sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "readers/ImageReaderFixture.h"
#include "platform/Paths.h"
#include "readers/PARTestFiles.h"
#include "support/FileFaultScope.h"

using namespace vx;
using namespace vx::test;

namespace {

// Rotation of three angles (degrees) in the order (a, b, c), convention 0, written out
// from the element table independently of the model's helper.
void ReferenceRotation(double a, double b, double c, double m[9])
{
    const double d = 3.14159265358979323846 / 180.0;
    const double ca = std::cos(a * d), sa = std::sin(a * d);
    const double cb = std::cos(b * d), sb = std::sin(b * d);
    const double cc = std::cos(c * d), sc = std::sin(c * d);
    m[0] = cb * cc;
    m[1] = cc * sb * sa + ca * sc;
    m[2] = sa * sc - cc * sb * ca;
    m[3] = -(cb * sc);
    m[4] = ca * cc - sa * sb * sc;
    m[5] = ca * sb * sc + cc * sa;
    m[6] = sb;
    m[7] = -(cb * sa);
    m[8] = ca * cb;
}

class PARImageTest : public ImageReaderTest {
protected:
    // Writes base + ".PAR" and base + ".REC" beside the project folder.
    void WritePair(const std::string& base, const TSynthPAR& par, const std::string& rec,
                   const std::string& parExt = ".PAR", const std::string& recExt = ".REC")
    {
        WriteBytes(Input(base + parExt), BuildPARText(par));
        WriteBytes(Input(base + recExt), rec);
    }
    bool AddPAR(const std::string& name, TImageImportParams params = {})
    {
        return Add(Input(name), params, 0);
    }
    std::vector<int16_t> PixelsOnDisk(const TMRImage& image)
    {
        const std::string bytes = ReadBytes(image.PixelFileToRead());
        std::vector<int16_t> values;
        for (size_t k = 0; k + 1 < bytes.size(); k += 2)
            values.push_back(static_cast<int16_t>(static_cast<uint16_t>(
                static_cast<unsigned char>(bytes[k]) | (static_cast<unsigned char>(bytes[k + 1]) << 8))));
        return values;
    }
};

TSynthPAR TwoTransverseImages()
{
    TSynthPAR par;
    par.angulation = "10.000  -20.000  30.000";   // ap fh rl
    par.offCentre = "1.500  2.500  3.500";         // ap fh rl
    par.repetitionTime = "2000.000";
    TSynthPARImage image;
    image.offAp = 4.0f;
    image.offFh = -12.0f;
    image.offRl = 7.0f;
    image.thickness = 6.0f;
    image.spacingX = 3.75f;
    image.spacingY = 2.5f;
    image.te = 30.0f;
    par.images = {image, image};
    par.images[1].index = "1";
    par.images[1].offFh = -4.0f;
    return par;
}

}  // namespace

TEST_F(PARImageTest, Version42PairGivesOneImagePerLine)
{
    const std::vector<int> first = {-3, 0, 1, 2, 100, -200, 32767, 5};
    const std::vector<int> second = {9, 9, 9, 9, 9, 9, 9, -1};
    WritePair("scan", TwoTransverseImages(), Int16LE(first) + Int16LE(second));
    TImageImportParams params;
    params.m_fShiftX = 1.0f;
    params.m_fShiftY = 2.0f;
    params.m_fShiftZ = 3.0f;
    ASSERT_TRUE(AddPAR("scan.PAR", params));
    EXPECT_EQ(m_report.Count(), 0u);
    ASSERT_EQ(Images().size(), 2u);

    TMRImage* image = ImageNamed("scan.PAR_0");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetPath(), PixelFile("scan.PAR_0"));
    EXPECT_EQ(image->GetWidth(), 4);
    EXPECT_EQ(image->GetHeight(), 2);
    EXPECT_EQ(image->GetOrientation(), 2);
    EXPECT_EQ(InfoTexts(*image), (std::vector<std::string>{"Brain exam", "2021.03.04", "Doe John", "   T1W SE", "RA",
                                                           "n/a", "n/a"}));
    // (ap, fh, rl) of the file become (x, y, z) = (rl, ap, fh); the position adds the shifts.
    float angulation[3], offCentre[3], position[3];
    image->GetAngulation(angulation);
    image->GetOffCentre(offCentre);
    image->GetPosition(position);
    EXPECT_THAT((std::vector<float>{image->GetTR(), image->GetTE(), image->GetThickness(), image->GetFOVX(),
                                    image->GetFOVY(), angulation[0], angulation[1], angulation[2], offCentre[0],
                                    offCentre[1], offCentre[2], position[0], position[1], position[2]}),
                testing::Pointwise(testing::FloatEq(), std::vector<float>{2000, 30, 6, 4 * 3.75f, 2 * 2.5f, 30, 10, -20,
                                                                          3.5f, 1.5f, 2.5f, 7 + 1, 4 + 2, -12 + 3}));
    double reference[9];
    ReferenceRotation(30.0, 10.0, -20.0, reference);
    float rotation[9], inverse[9];
    image->GetRotation(rotation);
    image->GetInverseRotation(inverse);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(rotation[3 * r + c], reference[3 * r + c], 1e-5) << r << c;
            EXPECT_NEAR(inverse[3 * r + c], reference[3 * c + r], 1e-5) << r << c;
        }
    // Window and ranges span the image's own values; pixels are written as stored.
    EXPECT_EQ(image->GetStoredWindowLow(), -200);
    EXPECT_EQ(image->GetStoredWindowHigh(), 32767);
    EXPECT_THAT((std::vector<float>{image->GetStoredMax(), image->GetStoredMin(), image->GetValueMax(),
                                    image->GetValueMin()}),
                testing::Pointwise(testing::FloatEq(), std::vector<float>{32767, -200, 32767, -200}));
    EXPECT_EQ(ReadBytes(image->PixelFileToRead()), Int16LE(first));
    EXPECT_EQ(ReadBytes(StoredPixelFile("scan.PAR_1")), Int16LE(second));
    EXPECT_EQ(ImageNamed("scan.PAR_1")->GetStoredWindowLow(), -1);
    EXPECT_TRUE(m_project.IsModified());
}

TEST_F(PARImageTest, ChosenFileNamesTheImagesAndFindsItsCompanionInAnyCase)
{
    TSynthPAR par = TwoTransverseImages();
    par.images[0].index = "7";
    par.images[1].index = "3";
    const struct {
        const char *base, *parExt, *recExt, *chosen;
    } cases[] = {
        {"scan", ".PAR", ".REC", "scan.REC"},
        {"lower", ".par", ".rec", "lower.par"},
        {"mixed", ".Par", ".rEc", "mixed.REC"},
    };
    for (const auto& c : cases) {
        WritePair(c.base, par, Int16LE(std::vector<int>(16, 1)), c.parExt, c.recExt);
        ASSERT_TRUE(AddPAR(c.chosen)) << c.chosen;
    }
    std::vector<std::string> names = ImageNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"lower.par_3", "lower.par_7", "mixed.REC_3", "mixed.REC_7", "scan.REC_3",
                                               "scan.REC_7"}));
}

TEST_F(PARImageTest, RefusedChoicesAndHeadersWithoutAVersionLine)
{
    const std::string wrongType = "Philips image should be PAR/REC files.";
    WritePair("scan", TwoTransverseImages(), Int16LE(std::vector<int>(16, 1)));
    WriteBytes(Input("alone.PAR"), BuildPARText(TwoTransverseImages()));
    // Version words that are not V3 or V4.x, or not the eighth of eight words.
    for (const char* word : {"V5", "release4", "V4.2 extra"}) {
        TSynthPAR par = TwoTransverseImages();
        par.versionWord = word;
        WritePair(std::string("noversion_") + word, par, Int16LE(std::vector<int>(16, 1)));
    }
    const auto noVersion = [&](const std::string& base) {
        return "The PAR file " + Input(base + ".PAR") +
               " names no version: none of its comment lines has eight words of which the last holds V3 or V4.";
    };
    const struct {
        std::string chosen, message;
        std::vector<TFileFault> faults = {};  // armed for the read
    } cases[] = {
        {"scan.Par", wrongType},
        {"scan.txt", wrongType},
        {"scan", wrongType},
        {"scan.PAR.gz", wrongType},
        {"none.REC", "Can not open PAR file: " + Input("none.PAR")},
        {"alone.PAR", "Can not open REC file: " + Input("alone.REC")},
        {"none.REC",
         "Could not look for PAR file none.PAR: the folder " + FolderOf(Input("none.PAR")) +
             " cannot be listed: input/output error.",
         {{kFileList, EIO, 1}}},
        {"alone.PAR",
         "Could not look for REC file alone.REC: the folder " + FolderOf(Input("alone.REC")) +
             " cannot be listed: permission denied.",
         {{kFileList, EACCES, 1}}},
        {"noversion_V5.PAR", noVersion("noversion_V5")},
        {"noversion_release4.REC", noVersion("noversion_release4")},
        {"noversion_V4.2 extra.PAR", noVersion("noversion_V4.2 extra")},
    };
    for (const auto& c : cases) {
        m_report.Clear();
        TFileFaultScope fault(c.faults);
        EXPECT_FALSE(AddPAR(c.chosen)) << c.chosen;
        EXPECT_EQ(m_report.Messages(), std::vector{c.message}) << c.chosen;
    }
    EXPECT_TRUE(Images().empty());
}

TEST_F(PARImageTest, EightBitRECGivesValuesUpTo255)
{
    TSynthPAR par = TwoTransverseImages();
    par.images.resize(1);
    par.images[0].bits = 8;
    WritePair("scan", par, PackREC8({0, 1, 127, 128, 200, 254, 255, 255}));
    ASSERT_TRUE(AddPAR("scan.PAR"));
    TMRImage* image = ImageNamed("scan.PAR_0");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(PixelsOnDisk(*image), (std::vector<int16_t>{0, 1, 127, 128, 200, 254, 255, 255}));
    EXPECT_EQ(image->GetStoredWindowLow(), 0);
    EXPECT_EQ(image->GetStoredWindowHigh(), 255);
}

TEST_F(PARImageTest, OrientationsAndTheirAxisLetters)
{
    TSynthPAR par = TwoTransverseImages();
    par.images.resize(3);
    for (int k = 0; k < 3; ++k) {
        par.images[k].index = std::to_string(k);
        par.images[k].sliceOrientation = k + 1;
    }
    WritePair("scan", par, Int16LE(std::vector<int>(24, 4)));
    ASSERT_TRUE(AddPAR("scan.PAR"));
    const struct {
        const char* name;
        int orientation;
        const char* code;
    } expected[] = {{"scan.PAR_0", 2, "RA"}, {"scan.PAR_1", 0, "AH"}, {"scan.PAR_2", 1, "RH"}};
    for (const auto& e : expected) {
        TMRImage* image = ImageNamed(e.name);
        ASSERT_NE(image, nullptr) << e.name;
        EXPECT_EQ(image->GetOrientation(), e.orientation) << e.name;
        EXPECT_EQ(image->GetInfoText(TMRImage::InfoDirectionCode), e.code) << e.name;
    }
    // The collection keeps its order: sagittal, coronal, axial.
    EXPECT_EQ(ImageNames(), (std::vector<std::string>{"scan.PAR_1", "scan.PAR_2", "scan.PAR_0"}));
}

TEST_F(PARImageTest, Version3FieldOfViewIsTheLargerInPlaneSide)
{
    // FOV (ap, fh, rl) = (200, 250, 230): transverse max(rl, ap) = 230, coronal max(rl, fh)
    // = 250, sagittal max(ap, fh) = 250; then (260, 250, 230): 260, 250, 260.
    const struct {
        const char* fov;
        int sliceOrientation;
        float side;
    } cases[] = {
        {"200.000  250.000  230.000", 1, 230.0f}, {"200.000  250.000  230.000", 3, 250.0f},
        {"200.000  250.000  230.000", 2, 250.0f}, {"260.000  250.000  230.000", 1, 260.0f},
        {"260.000  250.000  230.000", 3, 250.0f}, {"260.000  250.000  230.000", 2, 260.0f},
    };
    int n = 0;
    for (const auto& c : cases) {
        TSynthPAR par;
        par.version = 3;
        par.versionWord = "V3";
        par.fov = c.fov;
        par.images.resize(1);
        par.images[0].sliceOrientation = c.sliceOrientation;
        const std::string base = "v3_" + std::to_string(n++);
        WritePair(base, par, Int16LE(std::vector<int>(8, 2)));
        ASSERT_TRUE(AddPAR(base + ".PAR")) << base;
        TMRImage* image = ImageNamed(base + ".PAR_0");
        ASSERT_NE(image, nullptr) << base;
        EXPECT_FLOAT_EQ(image->GetFOVX(), c.side) << base;
        EXPECT_FLOAT_EQ(image->GetFOVY(), c.side) << base;
        EXPECT_FLOAT_EQ(image->GetThickness(), 5.0f) << base;
    }
}

TEST_F(PARImageTest, Version3FormatFromHeaderOrImportRecord)
{
    // "Image pixel size" 8 and "Recon resolution" 3 x 2 from the header.
    TSynthPAR par;
    par.version = 3;
    par.versionWord = "V3";
    par.pixelSize = "8";
    par.reconResolution = "3  2";
    par.v3Columns = 31;
    par.images.resize(2);
    par.images[1].index = "1";
    WritePair("header", par, PackREC8({1, 2, 3, 4, 5, 6, 250, 251, 252, 253, 254, 255}));
    TImageImportParams params;
    params.m_nWidth = 99;
    params.m_nHeight = 99;
    ASSERT_TRUE(AddPAR("header.PAR", params));
    ASSERT_NE(ImageNamed("header.PAR_1"), nullptr);
    EXPECT_EQ(ImageNamed("header.PAR_1")->GetWidth(), 3);
    EXPECT_EQ(PixelsOnDisk(*ImageNamed("header.PAR_1")), (std::vector<int16_t>{250, 251, 252, 253, 254, 255}));

    // Without "Recon resolution" the import record's size holds; without "Image pixel
    // size" the pixels have 8 bits.
    par.reconResolution.clear();
    par.pixelSize.clear();
    par.images.resize(1);
    WritePair("record", par, PackREC8({1, 2, 3, 4, 5, 6, 7, 8}));
    params.m_nWidth = 2;
    params.m_nHeight = 4;
    ASSERT_TRUE(AddPAR("record.PAR", params));
    TMRImage* image = ImageNamed("record.PAR_0");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetWidth(), 2);
    EXPECT_EQ(image->GetHeight(), 4);
    EXPECT_EQ(PixelsOnDisk(*image), (std::vector<int16_t>{1, 2, 3, 4, 5, 6, 7, 8}));

    // Without either, an image has no size: the header is invalid.
    m_report.Clear();
    WritePair("nosize", par, PackREC8({1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(AddPAR("nosize.PAR"));
    EXPECT_EQ(m_report.Messages(),
              std::vector<std::string>{"The PAR file " + Input("nosize.PAR") + " has invalid format."});
}

TEST_F(PARImageTest, Version3WithoutFOVLineLeavesTheFieldOfViewUnknown)
{
    TSynthPAR par;
    par.version = 3;
    par.versionWord = "V3";
    par.withFOVLine = false;
    par.images.resize(1);
    WritePair("nofov", par, Int16LE(std::vector<int>(8, 2)));
    ASSERT_TRUE(AddPAR("nofov.PAR"));
    TMRImage* image = ImageNamed("nofov.PAR_0");
    ASSERT_NE(image, nullptr);
    EXPECT_FALSE(image->IsParameterKnown(TMRImage::KnownFOVX));
    EXPECT_FALSE(image->IsParameterKnown(TMRImage::KnownFOVY));
    EXPECT_TRUE(image->IsValid());
}

TEST_F(PARImageTest, BrokenLinesStopTheReadAndKeepEarlierImages)
{
    const std::string invalid = "The PAR file " + Input("scan.PAR") + " has invalid format.";
    struct Case {
        const char* what;
        int v4Columns;
        int bits;
        int width;
    };
    const Case cases[] = {
        {"40 columns", 40, 16, 4},
        {"12 bits", 49, 12, 4},
        {"width 0", 49, 16, 0},
        {"width beyond the largest side", 49, 16, 100000},
    };
    for (const Case& c : cases) {
        TProject project;
        project.m_strFolder = m_project.m_strFolder;
        TSynthPAR par = TwoTransverseImages();
        // The second line is broken; a pair of one good and one broken line.
        std::string text = BuildPARText(par);
        TSynthPAR broken = par;
        broken.v4Columns = c.v4Columns;
        TSynthPARImage image = par.images[1];
        image.bits = c.bits;
        image.width = c.width;
        const std::string goodLine = BuildPARImageLine(par, par.images[1]);
        const size_t at = text.find(goodLine);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, goodLine.size(), BuildPARImageLine(broken, image));
        WriteBytes(Input("scan.PAR"), text);
        WriteBytes(Input("scan.REC"), Int16LE(std::vector<int>(16, 1)));
        m_report.Clear();
        TImageImportParams params;
        EXPECT_FALSE(project.m_pImageSet->AddImages(Input("scan.PAR"), params, &project)) << c.what;
        EXPECT_EQ(m_report.Messages(), std::vector<std::string>{invalid}) << c.what;
        ASSERT_EQ(project.m_pImageSet->GetCount(), 1) << c.what;
        EXPECT_EQ((*project.m_pImageSet->Begin())->GetName(), "scan.PAR_0") << c.what;
    }
}

TEST_F(PARImageTest, AShortRECIsNamedAndRefusedWhole)
{
    // Two images of 16 bytes each; the REC holds one and a half: refused whole before the
    // project's questions, no image added, the REC named as it lies on disk.
    for (const char* recExt : {".REC", ".rec"}) {
        WritePair("scan", TwoTransverseImages(), Int16LE(std::vector<int>(12, 1)), ".PAR", recExt);
        m_report.Clear();
        EXPECT_FALSE(AddPAR("scan.PAR"));
        EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"The REC file " + Input(std::string("scan") + recExt) +
                                                                " is shorter than its PAR file describes."});
        EXPECT_EQ(ImageNames(), std::vector<std::string>{});
        std::remove(Input(std::string("scan") + recExt).c_str());
    }

    // An image line claiming the largest image against a tiny REC allocates nothing large.
    TSynthPAR par = TwoTransverseImages();
    par.images.resize(1);
    par.images[0].width = 16384;
    par.images[0].height = 16384;
    WritePair("huge", par, Int16LE({1, 2}));
    EXPECT_FALSE(AddPAR("huge.PAR"));
}

TEST_F(PARImageTest, EmptyRECWithoutImageLinesReadsNothing)
{
    TSynthPAR par = TwoTransverseImages();
    par.images.clear();
    WritePair("empty", par, "");
    EXPECT_TRUE(AddPAR("empty.PAR"));
    EXPECT_TRUE(Images().empty());
}

TEST_F(PARImageTest, SecondImportOfThePairIsRefused)
{
    WritePair("scan", TwoTransverseImages(), Int16LE(std::vector<int>(16, 1)));
    ASSERT_TRUE(AddPAR("scan.PAR"));
    const std::string before = ReadBytes(StoredPixelFile("scan.PAR_0"));
    WriteBytes(Input("scan.REC"), Int16LE(std::vector<int>(16, 9)));
    EXPECT_FALSE(AddPAR("scan.PAR"));
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"The image scan.PAR_0 already exists."});
    EXPECT_EQ(Images().size(), 2u);
    EXPECT_EQ(ReadBytes(StoredPixelFile("scan.PAR_0")), before);
}

TEST_F(PARImageTest, IndexColumnCannotLeaveTheProjectFolder)
{
    TSynthPAR par = TwoTransverseImages();
    par.images[0].index = "../../escape";
    par.images[1].index = "..\\up";
    WritePair("scan", par, Int16LE(std::vector<int>(16, 1)));
    ASSERT_TRUE(AddPAR("scan.PAR"));
    EXPECT_EQ(ImageNames(), (std::vector<std::string>{"scan.PAR_.._.._escape", "scan.PAR_.._up"}));
    EXPECT_TRUE(FileExists(StoredPixelFile("scan.PAR_.._.._escape")));
    EXPECT_FALSE(FileExists(m_dir.File("escape")));
}

TEST_F(PARImageTest, FailedPixelWriteTakesTheImageBackOut)
{
    WritePair("scan", TwoTransverseImages(), Int16LE(std::vector<int>(16, 1)));
    TFile::FailWritesAfter(20);  // the first pixel file (16 bytes) fits, the second does not
    EXPECT_FALSE(AddPAR("scan.PAR"));
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(ImageNames(), std::vector<std::string>{"scan.PAR_0"});
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"Can not write pixel file " + PixelFile("scan.PAR_1") +
                                                            "\r\nThe image scan.PAR_1 was not added: the disk is full."});
    EXPECT_FALSE(FileExists(PixelFile("scan.PAR_1")));
}

// ---- checks against the project's CSI sets ----

TEST_F(PARImageTest, PatientNameAskedOncePerDifferingSet)
{
    TSynthPAR par;
    par.images.resize(1);
    WritePair("scan", par, Int16LE(std::vector<int>(8, 1)));
    AddSet("same", "  Doe John ", "2021.03.04");   // trimmed before the comparison
    AddSet("setA", "Roe Jane", "2021.03.04");
    AddSet("setB", "doe john", "2021.03.04");      // exact case
    m_report.PlanAnswer(ReportAnswer::Yes);
    m_report.PlanAnswer(ReportAnswer::Yes);
    ASSERT_TRUE(AddPAR("scan.PAR"));
    EXPECT_EQ(m_report.Questions(),
              (std::vector<std::string>{
                  "Patient name is not matched with CSI data set : setA. Would you like to continue adding the new image?",
                  "Patient name is not matched with CSI data set : setB. Would you like to continue adding the new image?"}));
    EXPECT_EQ(m_report.Entries()[0].icon, ReportIcon::Question);
    EXPECT_EQ(m_report.Entries()[0].buttons, ReportButtons::YesNo);
    EXPECT_EQ(Images().size(), 1u);
}

TEST_F(PARImageTest, NoToAQuestionAddsNothing)
{
    WritePair("scan", TwoTransverseImages(), Int16LE(std::vector<int>(16, 1)));
    AddSet("setA", "Roe Jane", "2021.03.04");
    AddSet("setB", "Roe Jane", "2021.03.04");
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(AddPAR("scan.PAR"));
    EXPECT_EQ(m_report.Count(), 1u);
    EXPECT_TRUE(Images().empty());
    EXPECT_FALSE(FileExists(PixelFile("scan.PAR_0")));
}

TEST_F(PARImageTest, ExamDateComparedUntrimmed)
{
    TSynthPAR par;
    par.images.resize(1);
    WritePair("scan", par, Int16LE(std::vector<int>(8, 1)));
    AddSet("setA", "Doe John", " 2021.03.04");
    AddSet("setB", "Doe John", "2021.03.04");
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(AddPAR("scan.PAR"));
    EXPECT_EQ(m_report.Questions(),
              std::vector<std::string>{
                  "Exam date is not matched with CSI data set : setA. Would you like to continue adding the new image?"});
}

TEST_F(PARImageTest, GeometryAsksOnceWithNoAsDefault)
{
    TSynthPAR par;
    par.angulation = "0.000  0.000  20.000";   // a rotation about x (rl)
    par.images.resize(1);
    WritePair("scan", par, Int16LE(std::vector<int>(8, 1)));
    AddSet("setA", "Doe John", "2021.03.04");
    AddSet("setB", "Doe John", "2021.03.04");
    m_report.PlanAnswer(ReportAnswer::Yes);
    ASSERT_TRUE(AddPAR("scan.PAR"));
    EXPECT_EQ(m_report.Questions(),
              std::vector<std::string>{"Image and CSI geometries are not consistent! Misregistration would "
                                       "happen! Would you like to continue adding the new image?"});

    // The default answer is No: the import stops.
    m_report.Clear();
    m_report.AllowDefaults();
    WritePair("other", par, Int16LE(std::vector<int>(8, 1)));
    EXPECT_FALSE(AddPAR("other.PAR"));
    EXPECT_EQ(m_report.Questions().size(), 1u);
    EXPECT_EQ(ImageNamed("other.PAR_0"), nullptr);
}

TEST_F(PARImageTest, GeometryAgreesWithTheSetsRotationWithinLessThanFiveThousandths)
{
    // The set holds the rotation of the same angles, one element of it 0.0049 or 0.005 off.
    TCSISet* set = AddSet("setA", "Doe John", "2021.03.04");
    const struct {
        double ap, fh, rl;
        float offBy;
        bool asks;
    } cases[] = {{12, -7, 25, 0.0f, false}, {0, 0, 0, 0.0049f, false}, {0, 0, 0, 0.005f, true}};
    int n = 0;
    for (const auto& c : cases) {
        double m[9];
        ReferenceRotation(c.rl, c.ap, c.fh, m);
        for (int k = 0; k < 9; ++k)
            set->m_fRotation[k / 3][k % 3] = static_cast<float>(m[k]);
        set->m_fRotation[0][1] += c.offBy;
        TSynthPAR par;
        par.angulation = std::to_string(c.ap) + " " + std::to_string(c.fh) + " " + std::to_string(c.rl);
        par.images.resize(1);
        const std::string base = "scan" + std::to_string(n++);
        WritePair(base, par, Int16LE(std::vector<int>(8, 1)));
        m_report.Clear();
        m_report.PlanAnswer(ReportAnswer::No);
        EXPECT_EQ(AddPAR(base + ".PAR"), !c.asks) << base;
        EXPECT_EQ(m_report.Questions().size(), c.asks ? 1u : 0u) << base;
    }
}

TEST_F(PARImageTest, BatchModeLogsOneWarningPerSetAndAddsTheImages)
{
    TSynthPAR par = TwoTransverseImages();   // angulated: geometry differs from both sets
    par.examDateTime = "2020.01.01 / 08:00:00";
    WritePair("scan", par, Int16LE(std::vector<int>(16, 1)));
    AddSet("setA", "Roe Jane", "2021.03.04");
    AddSet("setB", "Roe Jane", "2021.03.04");
    g_bBatchMode = true;
    ASSERT_TRUE(AddPAR("scan.REC"));  // the warnings name the header all the same
    const std::string header = Input("scan.PAR");
    EXPECT_EQ(g_batchLog,
              "Warning: Patient name in " + header + " is not matched with CSI data set: setA.\r\n"
              "Warning: Patient name in " + header + " is not matched with CSI data set: setB.\r\n"
              "Warning: Exam date in " + header + " is not matched with CSI data set: setA.\r\n"
              "Warning: Exam date in " + header + " is not matched with CSI data set: setB.\r\n"
              "Warning: Geometry in " + header + " is not consistent with CSI data set: setA.\r\n"
              "Warning: Geometry in " + header + " is not consistent with CSI data set: setB.\r\n");
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_EQ(Images().size(), 2u);
}
