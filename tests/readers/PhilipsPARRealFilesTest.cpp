// The PAR/REC image reader on the real pairs and headers of the sample folder, against
// the values their sources' own tests assert (image count, size, orientation, pixel
// spacing, pixel statistics).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "readers/ImageReaderFixture.h"

using namespace vx;
using namespace vx::test;

namespace {

constexpr const char* kPhantom = "parrec/nibabel/phantom_EPI_asc_CLEAR_2_1";

class PARRealFilesTest : public ImageReaderTest {
protected:
    bool AddPAR(const std::string& path) { return Add(path, TImageImportParams{}, 0); }

    // A sample header copied beside the project folder with a REC of its own.
    std::string CopyWithREC(const std::string& samplePar, const std::string& name, const std::string& rec)
    {
        const std::string par = Input(name + ".PAR");
        WriteBytes(par, ReadBytes(SampleDataPath(samplePar)));
        WriteBytes(Input(name + ".REC"), rec);
        return par;
    }

    // 27 axial images of 64 x 64 with 3.75 mm pixels, named after the chosen file.
    void ExpectPhantomImages(const std::string& fileName)
    {
        ASSERT_EQ(Images().size(), 27u) << fileName;
        for (int k = 0; k < 27; ++k) {
            TMRImage* image = ImageNamed(fileName + "_" + std::to_string(k));
            ASSERT_NE(image, nullptr) << fileName << " " << k;
            EXPECT_EQ(image->GetWidth(), 64);
            EXPECT_EQ(image->GetHeight(), 64);
            EXPECT_EQ(image->GetOrientation(), 2);
            EXPECT_FLOAT_EQ(image->GetFOVX(), 64 * 3.75f);
            EXPECT_FLOAT_EQ(image->GetFOVY(), 64 * 3.75f);
            EXPECT_EQ(FileSize(image->PixelFileToRead()), 64 * 64 * 2);
        }
    }
};

}  // namespace

TEST_F(PARRealFilesTest, PhantomPairLoadsWithItsPixelStatistics)
{
    const std::string par = std::string(kPhantom) + ".PAR";
    VX_REQUIRE_SAMPLE(par);
    VX_REQUIRE_SAMPLE(std::string(kPhantom) + ".REC");
    ASSERT_TRUE(AddPAR(SampleDataPath(par)));
    EXPECT_EQ(m_report.Count(), 0u);
    ExpectPhantomImages("phantom_EPI_asc_CLEAR_2_1.PAR");

    // The source asserts min 0, max 2299.411..., mean 194.958... of the pixels scaled by
    // the display slope 1.2903541326522827; the stored pixels are unscaled.
    const double slope = 1.2903541326522827;
    int minimum = 1 << 20, maximum = -(1 << 20);
    double sum = 0.0;
    size_t count = 0;
    for (TMRImage* image : Images()) {
        const std::string bytes = ReadBytes(image->PixelFileToRead());
        for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
            const int v = static_cast<int16_t>(static_cast<uint16_t>(
                static_cast<unsigned char>(bytes[k]) | (static_cast<unsigned char>(bytes[k + 1]) << 8)));
            minimum = std::min(minimum, v);
            maximum = std::max(maximum, v);
            sum += v;
            ++count;
        }
        EXPECT_LE(image->GetStoredWindowLow(), image->GetStoredWindowHigh());
    }
    ASSERT_EQ(count, 27u * 64u * 64u);
    EXPECT_EQ(minimum, 0);
    EXPECT_NEAR(maximum * slope, 2299.4110643863678, 1e-9);
    EXPECT_NEAR(sum / static_cast<double>(count) * slope, 194.95876256117265, 1e-9);

    TMRImage* first = ImageNamed("phantom_EPI_asc_CLEAR_2_1.PAR_0");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetInfoText(TMRImage::InfoPatientName), "phantom");
    EXPECT_EQ(first->GetInfoText(TMRImage::InfoExamDate), "2014.02.14");
    EXPECT_EQ(first->GetInfoText(TMRImage::InfoDirectionCode), "RA");
}

TEST_F(PARRealFilesTest, PhantomChosenByItsREC)
{
    VX_REQUIRE_SAMPLE(std::string(kPhantom) + ".PAR");
    VX_REQUIRE_SAMPLE(std::string(kPhantom) + ".REC");
    ASSERT_TRUE(AddPAR(SampleDataPath(std::string(kPhantom) + ".REC")));
    ExpectPhantomImages("phantom_EPI_asc_CLEAR_2_1.REC");
}

TEST_F(PARRealFilesTest, EditedPhantomPairsLoad)
{
    for (const char* name : {"phantom_truncated", "phantom_varscale"}) {
        const std::string base = std::string("parrec/nibabel/") + name;
        VX_REQUIRE_SAMPLE(base + ".PAR");
        VX_REQUIRE_SAMPLE(base + ".REC");
        TProject project;
        project.m_strFolder = m_project.m_strFolder;
        ASSERT_TRUE(project.m_pImageSet->AddImages(SampleDataPath(base + ".PAR"), TImageImportParams{}, &project))
            << name;
        EXPECT_EQ(project.m_pImageSet->GetCount(), 27) << name;
        for (const TMRImage* image : *project.m_pImageSet) {
            EXPECT_EQ(image->GetWidth(), 64) << name;
            EXPECT_EQ(image->GetOrientation(), 2) << name;
        }
    }
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(PARRealFilesTest, Version4And41HeadersOfThePhantomWithItsREC)
{
    VX_REQUIRE_SAMPLE(std::string(kPhantom) + ".REC");
    const std::string rec = ReadBytes(SampleDataPath(std::string(kPhantom) + ".REC"));
    for (const char* name : {"phantom_fake_v4", "phantom_fake_v4_1", "phantom_fake_dualTR"}) {
        const std::string sample = std::string("parrec/nibabel/") + name + ".PAR";
        VX_REQUIRE_SAMPLE(sample);
        const std::string par = CopyWithREC(sample, name, rec);
        TProject project;
        project.m_strFolder = m_project.m_strFolder;
        ASSERT_TRUE(project.m_pImageSet->AddImages(par, TImageImportParams{}, &project)) << name;
        EXPECT_EQ(project.m_pImageSet->GetCount(), 27) << name;
        const TMRImage* image = *project.m_pImageSet->Begin();
        EXPECT_EQ(image->GetWidth(), 64) << name;
        EXPECT_EQ(image->GetOrientation(), 2) << name;
        EXPECT_FLOAT_EQ(image->GetFOVX(), 240.0f) << name;
        // The pixels are those of the REC, whichever header describes them.
        EXPECT_EQ(ReadBytes(project.PathToRead(PixelFile(std::string(name) + ".PAR_0"))), rec.substr(0, 8192)) << name;
    }
}

TEST_F(PARRealFilesTest, HeadersInEveryOrientation)
{
    // 40 images of 80 x 80 with 3 mm pixels; the slice axis of each as its source's
    // affine gives it: transverse z, coronal y, sagittal x.
    const struct {
        const char* file;
        int orientation;
    } cases[] = {
        {"Phantom_EPI_3mm_tra_SENSE_6_1", 2},
        {"Phantom_EPI_3mm_cor_SENSE_8_1", 1},
        {"Phantom_EPI_3mm_sag_SENSE_7_1", 0},
        {"Phantom_EPI_3mm_cor_20APtrans_15RLrot_SENSE_15_1", 1},
    };
    const std::string zeros(40 * 80 * 80 * 2, '\0');
    for (const auto& c : cases) {
        const std::string sample = std::string("parrec/nibabel/") + c.file + ".PAR";
        VX_REQUIRE_SAMPLE(sample);
        const std::string par = CopyWithREC(sample, c.file, zeros);
        TProject project;
        project.m_strFolder = m_project.m_strFolder;
        ASSERT_TRUE(project.m_pImageSet->AddImages(par, TImageImportParams{}, &project)) << c.file;
        EXPECT_EQ(project.m_pImageSet->GetCount(), 40) << c.file;
        for (const TMRImage* image : *project.m_pImageSet) {
            EXPECT_EQ(image->GetOrientation(), c.orientation) << c.file;
            EXPECT_EQ(image->GetWidth(), 80) << c.file;
            EXPECT_FLOAT_EQ(image->GetFOVX(), 240.0f) << c.file;
        }
    }
}

TEST_F(PARRealFilesTest, AnonymisedHeaderHasEmptyNames)
{
    const char* sample = "parrec/nibabel/umass_anonymized.PAR";
    VX_REQUIRE_SAMPLE(sample);
    const std::string par = CopyWithREC(sample, "umass", std::string(74 * 80 * 80 * 2, '\0'));
    ASSERT_TRUE(AddPAR(par));
    EXPECT_EQ(Images().size(), 74u);
    const TMRImage* image = Images()[0];
    EXPECT_EQ(image->GetInfoText(TMRImage::InfoPatientName), "");
    EXPECT_EQ(image->GetInfoText(TMRImage::InfoExamName), "");
    EXPECT_EQ(image->GetInfoText(TMRImage::InfoExamDate), "n/a");
}

TEST_F(PARRealFilesTest, HeadersWithoutRECAreRefusedWithTheRECPath)
{
    for (const char* name : {"nibabel/DTIv40", "nibabel/ADC_Map", "nibabel/R11_T2W_TSE",
                             "nibabel/variant_v4_2_header", "MRS_MRI_libs/sub2_MPRAGE"}) {
        const std::string base = std::string("parrec/") + name;
        VX_REQUIRE_SAMPLE(base + ".PAR");
        m_report.Clear();
        EXPECT_FALSE(AddPAR(SampleDataPath(base + ".PAR"))) << name;
        EXPECT_EQ(m_report.Messages(),
                  std::vector<std::string>{"Can not open REC file: " + SampleDataPath(base + ".REC")})
            << name;
    }
    EXPECT_TRUE(Images().empty());
}
