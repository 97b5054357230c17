// The standard and GE DICOM image readers on files written with DCMTK: transfer syntaxes and
// pixel formats, the geometry of the direction cosines, texts, refused and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/oflog/oflog.h"
#include "readers/DicomTestFiles.h"
#include "readers/ImageReaderFixture.h"
#include "support/Bytes.h"
#include "support/GermanLocale.h"

using namespace vx;
using namespace vx::test;

namespace {

constexpr int kStandard = 4;
constexpr int kGE = 2;

std::vector<float> Times(const float m[9], const float v[3])
{
    return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
            m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

class DicomImageTest : public ImageReaderTest {
protected:
    // Reads the file made from `dicom` into `project` (a fresh one beside the fixture's); its
    // image, or null when the reader refused the file. Whatever is added is whole.
    const TMRImage* ReadFresh(TProject& project, const TSynthDicom& dicom, int type = kStandard,
                              E_TransferSyntax syntax = EXS_LittleEndianExplicit)
    {
        EXPECT_TRUE(WriteDicom(Input("slice.dcm"), dicom, syntax));
        return ReadFresh(project, type);
    }
    const TMRImage* ReadFresh(TProject& project, int type)
    {
        project.m_strFolder = m_project.m_strFolder;
        RemoveFile(PixelFile("slice.dcm"));
        if (!project.m_pImageSet->AddImages(Input("slice.dcm"), TImageImportParams{type}, &project))
            return nullptr;
        const TMRImage* image = *project.m_pImageSet->Begin();
        EXPECT_EQ(FileSize(image->PixelFileToRead()), int64_t{2} * image->GetWidth() * image->GetHeight());
        return image;
    }
};

}  // namespace

TEST_F(DicomImageTest, TransferSyntaxesAndPixelFormats)
{
    const struct {
        const char* name;
        E_TransferSyntax syntax;
        int bits;
        std::vector<int> pixels;
        std::vector<int> stored;
    } cases[] = {
        {"explicit LE", EXS_LittleEndianExplicit, 16, {1, -2, 300, 32767, -32768, 0x0102}, {}},
        {"implicit LE", EXS_LittleEndianImplicit, 16, {1, -2, 300, 32767, -32768, 0x0102}, {}},
        {"explicit BE", EXS_BigEndianExplicit, 16, {1, -2, 300, 32767, -32768, 0x0102}, {}},
        {"GE big-endian pixels", EXS_PrivateGE_LEI_WithBigEndianPixelData, 16, {0x0102, 5, -2, 0x7f00, 0, 6}, {}},
        // Unsigned values above 32767 keep their bits; the window is that of the stored values.
        {"above 32767", EXS_LittleEndianExplicit, 16, {0, 40000, 65535, 100, 7, 8}, {0, -25536, -1, 100, 7, 8}},
        {"8 bits, implicit", EXS_LittleEndianImplicit, 8, {0, 1, 127, 128, 200, 255}, {}},
        {"8 bits, odd count with pad byte", EXS_LittleEndianExplicit, 8, {255, 9, 30}, {}},
    };
    for (const auto& t : cases) {
        TSynthDicom dicom;
        dicom.words[DCM_BitsAllocated] = static_cast<Uint16>(t.bits);
        dicom.words[DCM_Rows] = static_cast<Uint16>(t.pixels.size() / 3);
        dicom.pixels = t.pixels;
        const std::vector<int>& stored = t.stored.empty() ? t.pixels : t.stored;
        for (const int type : {kStandard, kGE}) {
            TProject project;
            const TMRImage* image = ReadFresh(project, dicom, type, t.syntax);
            ASSERT_NE(image, nullptr) << t.name << ", type " << type;
            EXPECT_EQ(ReadBytes(image->PixelFileToRead()), Int16LE(stored)) << t.name;
            EXPECT_EQ(image->GetStoredWindowLow(), *std::min_element(stored.begin(), stored.end())) << t.name;
            EXPECT_EQ(image->GetStoredWindowHigh(), *std::max_element(stored.begin(), stored.end())) << t.name;
        }
    }
    // The GE syntax keeps its pixels big-endian in the file: 0x0102 as the bytes 01 02.
    TSynthDicom ge;
    ge.pixels = cases[3].pixels;
    ASSERT_TRUE(WriteDicom(Input("ge.dcm"), ge, EXS_PrivateGE_LEI_WithBigEndianPixelData));
    const std::string bytes = ReadBytes(Input("ge.dcm"));
    EXPECT_EQ(bytes.substr(bytes.size() - 12), std::string("\x01\x02\x00\x05\xff\xfe\x7f\x00\x00\x00\x00\x06", 12));
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(DicomImageTest, GeometryFromTheCosines)
{
    // Rows and columns land on the x and y axes of the orientation's standard view, the
    // normal r x c on its third axis; lying prone or on a side turns the axial view.
    const float s = 0.70710678f;
    const struct {
        const char* patient;
        float r[3];
        float c[3];
        int orientation;
        const char* code;
        std::vector<float> rowAxis, columnAxis, normalAxis;
    } cases[] = {
        {"HFS", {1, 0, 0}, {0, 1, 0}, 2, "RA", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"HFP", {1, 0, 0}, {0, 1, 0}, 2, "LP", {-1, 0, 0}, {0, -1, 0}, {0, 0, 1}},
        {"HFDL", {1, 0, 0}, {0, 1, 0}, 2, "PR", {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {"FFDR", {1, 0, 0}, {0, 1, 0}, 2, "AL", {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},
        {"HFS", {0.6f, 0.8f, 0}, {-0.8f, 0.6f, 0}, 2, "RA", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"HFS", {0, 1, 0}, {0, 0, -1}, 0, "AH", {0, 1, 0}, {0, 0, -1}, {-1, 0, 0}},
        {"HFS", {1, 0, 0}, {0, 0, -1}, 1, "RH", {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
        // Equal sums on two axes choose the lower one.
        {"HFS", {s, s, 0}, {0, 0, 1}, 0, "AH", {0, 1, 0}, {0, 0, -1}, {-1, 0, 0}},
        {"HFS", {1, 0, 0}, {0, s, s}, 1, "RH", {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
    };
    for (const auto& t : cases) {
        TSynthDicom dicom;
        dicom.texts[DCM_PatientPosition] = t.patient;
        dicom.texts[DCM_ImageOrientationPatient] = std::to_string(t.r[0]) + "\\" + std::to_string(t.r[1]) + "\\" +
                                                   std::to_string(t.r[2]) + "\\" + std::to_string(t.c[0]) + "\\" +
                                                   std::to_string(t.c[1]) + "\\" + std::to_string(t.c[2]);
        TProject project;
        const TMRImage* image = ReadFresh(project, dicom);
        const std::string what = std::string(t.patient) + " " + t.code;
        ASSERT_NE(image, nullptr) << what;
        EXPECT_EQ(image->GetOrientation(), t.orientation) << what;
        EXPECT_EQ(image->GetInfoText(TMRImage::InfoDirectionCode), t.code) << what;
        // 3 columns 2 mm apart, 2 rows 1.5 mm apart; the first pixel's centre is the
        // position, the image's centre lies a column spacing and half a row spacing on.
        EXPECT_FLOAT_EQ(image->GetFOVX(), 6.0f);
        EXPECT_FLOAT_EQ(image->GetFOVY(), 3.0f);
        float position[3], rotation[9], inverse[9];
        image->GetPosition(position);
        image->GetRotation(rotation);
        image->GetInverseRotation(inverse);
        const float first[3] = {-10.0f, 20.5f, 30.0f};
        const float normal[3] = {t.r[1] * t.c[2] - t.r[2] * t.c[1], t.r[2] * t.c[0] - t.r[0] * t.c[2],
                                 t.r[0] * t.c[1] - t.r[1] * t.c[0]};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(position[k], first[k] + 2.0f * t.r[k] + 0.75f * t.c[k], 1e-4) << what;
            EXPECT_NEAR(Times(rotation, t.r)[k], t.rowAxis[k], 1e-5) << what << " row " << k;
            EXPECT_NEAR(Times(rotation, t.c)[k], t.columnAxis[k], 1e-5) << what << " column " << k;
            EXPECT_NEAR(Times(rotation, normal)[k], t.normalAxis[k], 1e-5) << what << " normal " << k;
            EXPECT_NEAR(Times(inverse, t.rowAxis.data())[k], t.r[k], 1e-5) << what << " inverse " << k;
        }
    }
}

TEST_F(DicomImageTest, CentreInTheWorkSetIsSeenInTheStandardView)
{
    // An unrotated work set at the origin: the axial image centred at (10, 20, 30) lies at
    // (10, 20) in its plane z = -30. A prone patient's image axes run left and posterior,
    // so its centre shows at (-10, -20); lying on the left side turns it by a quarter.
    m_project.m_pWorkSet = AddSet("csi", "", "");
    const struct {
        const char* patient;
        float x, y;
    } cases[] = {{"HFS", 10, 20}, {"HFP", -10, -20}, {"HFDL", -20, 10}};
    for (const auto& t : cases) {
        TSynthDicom dicom;
        dicom.texts[DCM_ImagePositionPatient] = "8\\19.25\\30";
        dicom.texts[DCM_PatientPosition] = t.patient;
        TProject project;
        project.m_pWorkSet = m_project.m_pWorkSet;
        const TMRImage* image = ReadFresh(project, dicom);
        ASSERT_NE(image, nullptr);
        EXPECT_FLOAT_EQ(image->GetSlicePosition(), -30.0f) << t.patient;
        EXPECT_FLOAT_EQ(image->GetCentre().x, t.x) << t.patient;
        EXPECT_FLOAT_EQ(image->GetCentre().y, t.y) << t.patient;
    }
}

TEST_F(DicomImageTest, TextsAndTimes)
{
    TSynthDicom dicom;
    dicom.texts.insert({{DCM_StudyDescription, "Brain"}, {DCM_PatientName, "Doe^Jane"}, {DCM_ProtocolName, "T1"},
                        {DCM_StudyDate, "20200929"}, {DCM_RepetitionTime, "2217.66"}, {DCM_EchoTime, "3.172"},
                        {DCM_SliceThickness, "1.2"}});
    dicom.texts[DCM_PatientPosition] = "FFDR";
    TProject project;
    const TMRImage* image = nullptr;
    {
        const TGermanLocale german;   // decimal comma in the C locale: numbers read the same
        image = ReadFresh(project, dicom);
    }
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetName(), "slice.dcm");
    EXPECT_EQ(InfoTexts(*image),
              (std::vector<std::string>{"Brain", "2020.09.29", "Doe^Jane", "T1", "AL", "Right-D", "FF"}));
    EXPECT_FLOAT_EQ(image->GetTR(), 2217.66f);
    EXPECT_FLOAT_EQ(image->GetTE(), 3.172f);
    EXPECT_FLOAT_EQ(image->GetThickness(), 1.2f);

    // Missing texts are "n/a"; a date written with hyphens is not read.
    TSynthDicom bare;
    bare.texts.erase(DCM_PatientPosition);
    bare.texts[DCM_StudyDate] = "2020-09-29";
    TProject other;
    image = ReadFresh(other, bare, kGE);
    ASSERT_NE(image, nullptr);
    for (int k = 0; k < TMRImage::InfoTextCount; ++k)
        EXPECT_EQ(image->GetInfoText(k), k == TMRImage::InfoDirectionCode ? "BAD_ORIT" : "n/a") << k;
    EXPECT_EQ(image->GetTR() + image->GetTE() + image->GetThickness(), 0.0f);
}

// Each refusal says why, in one message.
TEST_F(DicomImageTest, FilesTheReadersCannotUseAreRefusedWithTheirReason)
{
    const struct {
        const char* name;
        std::function<void(TSynthDicom&)> change;
        const char* reason;
        E_TransferSyntax syntax = EXS_LittleEndianExplicit;
    } cases[] = {
        {"CT image", [](TSynthDicom& d) { d.texts[DCM_Modality] = "CT"; },
         "The file is not an MR image: its modality is CT."},
        {"no modality", [](TSynthDicom& d) { d.texts.erase(DCM_Modality); },
         "The file is not an MR image: it has no modality."},
        {"no rows", [](TSynthDicom& d) { d.words.erase(DCM_Rows); }, "The file has no valid Rows (0028,0010)."},
        {"no bits allocated", [](TSynthDicom& d) { d.words.erase(DCM_BitsAllocated); },
         "The file has no valid BitsAllocated (0028,0100)."},
        {"12 bits allocated", [](TSynthDicom& d) { d.words[DCM_BitsAllocated] = 12; },
         "Images of 12 bits allocated are not supported: only 8 and 16."},
        {"two position values", [](TSynthDicom& d) { d.texts[DCM_ImagePositionPatient] = "1\\2"; },
         "The file has no valid ImagePositionPatient (0020,0032)."},
        {"rows parallel to columns", [](TSynthDicom& d) { d.texts[DCM_ImageOrientationPatient] = "1\\0\\0\\1\\0\\0"; },
         "The image's row and column directions give no plane."},
        {"zero pixel spacing", [](TSynthDicom& d) { d.texts[DCM_PixelSpacing] = "0\\2"; },
         "The image's pixel spacing is not positive."},
        {"field of view beyond floats", [](TSynthDicom& d) { d.texts[DCM_PixelSpacing] = "1.5\\3e38"; },
         "The image's size or position lies beyond the numbers the program holds."},
        {"no pixel data", [](TSynthDicom& d) { d.pixels.reset(); }, "The file has no valid PixelData (7fe0,0010)."},
        {"one pixel short", [](TSynthDicom& d) { d.pixels->pop_back(); },
         "The pixel data hold 10 bytes, not the 12 of one 2 x 3 image of 16 bits."},
        {"two frames",
         [](TSynthDicom& d) {
             d.texts[DCM_NumberOfFrames] = "2";
             d.pixels->insert(d.pixels->end(), d.pixels->begin(), d.pixels->end());
         },
         "Multi-frame images (Enhanced MR) are not supported: the file holds 2 frames."},
        {"enhanced MR of one frame", [](TSynthDicom& d) { d.texts[DCM_SOPClassUID] = UID_EnhancedMRImageStorage; },
         "Multi-frame images (Enhanced MR) are not supported: the file holds 1 frame."},
        {"65535 x 65535 pixels claimed", [](TSynthDicom& d) { d.words[DCM_Rows] = d.words[DCM_Columns] = 65535; },
         "Images of 65535 x 65535 pixels are not supported: at most 16384 pixels a side."},
        {"RLE compressed", [](TSynthDicom&) {},
         "Compressed images are not supported: the file's transfer syntax is RLE Lossless.", EXS_RLELossless},
    };
    for (const auto& t : cases) {
        TSynthDicom dicom;
        t.change(dicom);
        for (const int type : {kStandard, kGE}) {
            m_report.Clear();
            TProject project;
            EXPECT_EQ(ReadFresh(project, dicom, type, t.syntax), nullptr) << t.name << ", type " << type;
            EXPECT_FALSE(FileExists(PixelFile("slice.dcm"))) << t.name;
            EXPECT_EQ(m_report.Messages(), std::vector<std::string>{t.reason}) << t.name << ", type " << type;
        }
    }
    m_report.Clear();
    WriteBytes(Input("slice.dcm"), "This is not an image.\n");
    TProject project;
    EXPECT_EQ(ReadFresh(project, kStandard), nullptr);
    EXPECT_EQ(m_report.Count(), 1u);
}

TEST_F(DicomImageTest, GEReaderChecksStudyIdAndDateAgainstTheSets)
{
    TSynthDicom dicom;
    dicom.texts.insert({{DCM_StudyID, "4711"}, {DCM_StudyDate, "20200929"}});
    ASSERT_TRUE(WriteDicom(Input("exam.dcm"), dicom));
    AddSet("same exam", " 4711 ", "2020.09.29 ");
    EXPECT_TRUE(Add(Input("exam.dcm"), TImageImportParams{}, kGE));
    EXPECT_EQ(m_report.Count(), 0u);

    AddSet("other", "99", "2001.01.01");
    m_report.PlanAnswer(ReportAnswer::No);
    ASSERT_TRUE(WriteDicom(Input("exam2.dcm"), dicom));
    EXPECT_FALSE(Add(Input("exam2.dcm"), TImageImportParams{}, kGE));
    EXPECT_EQ(m_report.Questions(),
              std::vector<std::string>{
                  "Exam number is not matched with CSI data set : other. Would you like to continue adding the new image?"});
    EXPECT_FALSE(FileExists(PixelFile("exam2.dcm")));
    // The standard reader asks nothing.
    EXPECT_TRUE(Add(Input("exam2.dcm"), TImageImportParams{}, kStandard));
    EXPECT_EQ(m_report.Count(), 1u);
}

TEST_F(DicomImageTest, DamagedFilesEndCleanly)
{
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);   // a line for every broken element otherwise
    std::vector<std::string> files;
    const std::string scanner = "dicom_ge/dcm_qa_ge/i22.MRDC.1";
    if (SampleDataExists(scanner))
        files.push_back(ReadBytes(SampleDataPath(scanner)));
    for (const E_TransferSyntax syntax : {EXS_LittleEndianImplicit, EXS_BigEndianExplicit}) {
        ASSERT_TRUE(WriteDicom(Input("whole.dcm"), TSynthDicom{}, syntax));
        files.push_back(ReadBytes(Input("whole.dcm")));
    }
    for (const std::string& bytes : files) {
        // The pixels fill the end of each file: no shorter copy holds a whole image.
        const size_t step = bytes.size() > 4096 ? 64 : 1;
        for (size_t cut = 0; cut < bytes.size(); cut += step) {
            WriteBytes(Input("slice.dcm"), bytes.substr(0, cut));
            for (const int type : {kStandard, kGE}) {
                m_report.Clear();
                TProject project;
                EXPECT_EQ(ReadFresh(project, type), nullptr) << cut;
                EXPECT_EQ(m_report.Count(), 1u) << cut;  // with its reason
            }
        }
        // Each byte turned over in the generated files: read, or refused with one reason,
        // whole either way.
        for (size_t at = 0; step == 1 && at < bytes.size(); ++at) {
            std::string changed = bytes;
            changed[at] = static_cast<char>(~changed[at]);
            WriteBytes(Input("slice.dcm"), changed);
            m_report.Clear();
            TProject project;
            const bool read = ReadFresh(project, kStandard) != nullptr;
            EXPECT_EQ(m_report.Count(), read ? 0u : 1u) << at;
        }
    }
    OFLog::configure(OFLogger::WARN_LOG_LEVEL);
}
