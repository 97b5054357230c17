// Scanner DICOM files of the shared sample folder: Siemens T1 slices through the standard
// reader, GE MP-RAGE and DWI slices through the GE reader. Sizes and spacings are the sample
// list's; positions and cosines are the file's as DCMTK reads them; the pixels are the words
// at the end of each file, where its pixel data lie.
#include <gtest/gtest.h>

#include <string>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "platform/Paths.h"
#include "readers/ImageReaderFixture.h"

using namespace vx;
using namespace vx::test;

using DicomRealFilesTest = ImageReaderTest;

TEST_F(DicomRealFilesTest, ScannerSlicesImportWithTheirGeometryAndPixels)
{
    const struct {
        const char* file;
        int type;
        int rows, columns;
        float spacing, thickness, tr, te;
        const char* patientText;   // the patient's name, or the Study ID for GE
        const char* date;
    } slices[] = {
        {"dicom_mr/suspect/T1.0001.IMA", 4, 1024, 960, 0.224609375f, 4.0f, 3500, 100, "445", "2016.04.29"},
        {"dicom_mr/suspect/T1.0002.IMA", 4, 1024, 960, 0.224609375f, 4.0f, 3500, 100, "445", "2016.04.29"},
        {"dicom_ge/dcm_qa_ge/i160.MRDC.1", 2, 256, 256, 0.9375f, 1.2f, 2217.66f, 3.172f, "2", "2020.09.29"},
        {"dicom_ge/dcm_qa_ge/i165.MRDC.2", 2, 256, 256, 0.9375f, 1.2f, 2217.66f, 3.172f, "2", "2020.09.29"},
        {"dicom_ge/dcm_qa_ge/i163.MRDC.3", 2, 256, 256, 0.9375f, 1.2f, 2217.66f, 3.172f, "2", "2020.09.29"},
        {"dicom_ge/dcm_qa_ge/i22.MRDC.1", 2, 256, 256, 1.0156f, 3.0f, 1000, 123.6f, "2", "2020.09.29"},
    };
    // A GE CSI set of the same exam: the GE slices pass its checks without a question.
    AddSet("csi", "2", "2020.09.29");
    for (const auto& s : slices) {
        VX_REQUIRE_SAMPLE(s.file);
        const std::string path = SampleDataPath(s.file);
        ASSERT_TRUE(Add(path, TImageImportParams{}, s.type)) << s.file;
        const std::string name = FileNameOf(path);
        const TMRImage* image = ImageNamed(name);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->GetWidth(), s.columns);
        EXPECT_EQ(image->GetHeight(), s.rows);
        EXPECT_EQ(image->GetOrientation(), 2) << name;
        EXPECT_FLOAT_EQ(image->GetFOVX(), s.columns * s.spacing) << name;
        EXPECT_FLOAT_EQ(image->GetFOVY(), s.rows * s.spacing) << name;
        EXPECT_FLOAT_EQ(image->GetThickness(), s.thickness) << name;
        EXPECT_FLOAT_EQ(image->GetTR(), s.tr) << name;
        EXPECT_FLOAT_EQ(image->GetTE(), s.te) << name;
        EXPECT_EQ(image->GetInfoText(TMRImage::InfoPatientName), s.patientText) << name;
        EXPECT_EQ(image->GetInfoText(TMRImage::InfoExamDate), s.date) << name;
        EXPECT_EQ(image->GetInfoText(TMRImage::InfoPatientPosition), "Supine") << name;
        EXPECT_EQ(image->GetInfoText(TMRImage::InfoPatientEntry), "HF") << name;

        // The file's first pixel centre, cosines, spacings and sizes: the centre lies
        // (columns - 1) / 2 column spacings along the rows and (rows - 1) / 2 row
        // spacings along the columns from the first pixel's centre.
        DcmFileFormat file;
        ASSERT_TRUE(file.loadFile(path.c_str()).good());
        DcmDataset& data = *file.getDataset();
        double first[3], r[3], c[3], rowSpacing = 0, columnSpacing = 0;
        Uint16 rows = 0, columns = 0;
        ASSERT_TRUE(data.findAndGetFloat64(DCM_PixelSpacing, rowSpacing, 0).good());
        ASSERT_TRUE(data.findAndGetFloat64(DCM_PixelSpacing, columnSpacing, 1).good());
        ASSERT_TRUE(data.findAndGetUint16(DCM_Rows, rows).good());
        ASSERT_TRUE(data.findAndGetUint16(DCM_Columns, columns).good());
        float position[3];
        image->GetPosition(position);
        for (unsigned long k = 0; k < 3; ++k) {
            ASSERT_TRUE(data.findAndGetFloat64(DCM_ImagePositionPatient, first[k], k).good());
            ASSERT_TRUE(data.findAndGetFloat64(DCM_ImageOrientationPatient, r[k], k).good());
            ASSERT_TRUE(data.findAndGetFloat64(DCM_ImageOrientationPatient, c[k], k + 3).good());
            const double centre =
                first[k] + (columns - 1) / 2.0 * columnSpacing * r[k] + (rows - 1) / 2.0 * rowSpacing * c[k];
            EXPECT_NEAR(position[k], centre, 1e-3) << name << " axis " << k;
        }

        // Little-endian files: the pixel file holds the file's own pixel bytes.
        const std::string stored = ReadBytes(StoredPixelFile(name));
        const std::string bytes = ReadBytes(path);
        ASSERT_EQ(stored.size(), size_t{2} * s.rows * s.columns);
        EXPECT_EQ(stored, bytes.substr(bytes.size() - stored.size())) << name;
    }
    // The sample list's volume position is the first pixel of the first T1 slice.
    DcmFileFormat t1;
    ASSERT_TRUE(t1.loadFile(SampleDataPath(slices[0].file).c_str()).good());
    const double listed[3] = {-106.11758473, -99.7457628, -60.63559341};
    for (unsigned long k = 0; k < 3; ++k) {
        double value = 0;
        t1.getDataset()->findAndGetFloat64(DCM_ImagePositionPatient, value, k);
        EXPECT_NEAR(value, listed[k], 1e-6);
    }
    EXPECT_EQ(m_report.Count(), 0u);
}
