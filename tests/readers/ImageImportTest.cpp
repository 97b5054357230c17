// The shared steps of the image readers: adding one image with its pixel file, and the
// exam-number and exam-date checks of DICOM images against the CSI sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/ImageImport.h"
#include "readers/ImageReaderFixture.h"

using namespace vx;
using namespace vx::test;

namespace {

class ImageImportTest : public ImageReaderTest {
protected:
    TNewImage Values(const std::string& name)
    {
        TNewImage v;
        v.name = name;
        v.width = 2;
        v.height = 2;
        v.orientation = 1;
        v.position[0] = 5.0f;
        v.fov[0] = 100.0f;
        v.fov[1] = -1.0f;   // not a field of view: left unknown
        v.pixels = {4, -4, 0, 1};
        return v;
    }
};

const char* const kNumberQuestion =
    "Exam number is not matched with CSI data set : %. Would you like to continue adding the new image?";
const char* const kDateQuestion =
    "Exam date is not matched with CSI data set : %. Would you like to continue adding the new image?";

std::string With(const char* text, const std::string& name)
{
    std::string s = text;
    s.replace(s.find('%'), 1, name);
    return s;
}

}  // namespace

TEST_F(ImageImportTest, AddedImageHasItsValuesAndPixelFile)
{
    ASSERT_TRUE(AddNewImage(*m_project.m_pImageSet, &m_project, Values("img")));
    TMRImage* image = ImageNamed("img");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetOrientation(), 1);
    EXPECT_TRUE(image->IsParameterKnown(TMRImage::KnownFOVX));
    EXPECT_FALSE(image->IsParameterKnown(TMRImage::KnownFOVY));
    EXPECT_EQ(image->GetInfoText(TMRImage::InfoPatientName), "n/a");
    EXPECT_FALSE(image->IsLoaded());   // loaded again from the pixel file when shown
    EXPECT_EQ(ReadBytes(StoredPixelFile("img")), std::string("\x04\x00\xfc\xff\x00\x00\x01\x00", 8));
    EXPECT_EQ(image->GetPixel(1, 0), -4);
}

TEST_F(ImageImportTest, NamesBecomeOneFileNameComponent)
{
    for (const char* name : {"a/b", "..", "c\\d", ""})
        ASSERT_TRUE(AddNewImage(*m_project.m_pImageSet, &m_project, Values(name))) << name;
    EXPECT_EQ(ImageNames().size(), 4u);
    for (const char* name : {"a_b", "_..", "c_d", "_"})
        EXPECT_TRUE(FileExists(StoredPixelFile(name))) << name;
}

TEST_F(ImageImportTest, NameOfASetsDataFileIsRefusedAndTheSetsFileKept)
{
    TCSISet* set = AddSet("scan", "p", "d");
    set->SetFolder(m_project.m_strFolder);
    WriteBytes(set->GetFilePath(), "set samples");
    EXPECT_FALSE(AddNewImage(*m_project.m_pImageSet, &m_project, Values("scan")));
    EXPECT_TRUE(m_report.Contains("The image scan already exists."));
    EXPECT_EQ(ReadBytes(set->GetFilePath()), "set samples");
    EXPECT_TRUE(Images().empty());
    ASSERT_TRUE(AddNewImage(*m_project.m_pImageSet, &m_project, Values("scan2")));
}

TEST_F(ImageImportTest, ImagesThatCannotBeMadeAreNotAdded)
{
    TNewImage wrongCount = Values("a");
    wrongCount.pixels.pop_back();
    EXPECT_FALSE(AddNewImage(*m_project.m_pImageSet, &m_project, wrongCount));
    TNewImage noSize = Values("b");
    noSize.width = 0;
    EXPECT_FALSE(AddNewImage(*m_project.m_pImageSet, &m_project, noSize));
    EXPECT_FALSE(AddNewImage(*m_project.m_pImageSet, nullptr, Values("c")));
    EXPECT_TRUE(Images().empty());
}

TEST_F(ImageImportTest, ExamNumberThenDateForEachSet)
{
    AddSet("s1", " 1234 ", "2020.01.02");        // both agree once trimmed
    AddSet("s2", "999", " 2020.01.02 ");         // number differs
    AddSet("s3", "1234", "2020.01.03");          // date differs
    AddSet("s4", "77", "2019.12.31");            // both differ
    m_report.AllowDefaults();                    // Yes to every question
    EXPECT_TRUE(CheckExamNumberAndDateAgainstSets(&m_project, "1234", "2020.01.02"));
    EXPECT_EQ(m_report.Questions(), (std::vector<std::string>{With(kNumberQuestion, "s2"), With(kDateQuestion, "s3"),
                                                              With(kNumberQuestion, "s4"), With(kDateQuestion, "s4")}));
}

TEST_F(ImageImportTest, ExamNumberNoStopsBeforeTheDate)
{
    AddSet("s1", "999", "1999.01.01");
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(CheckExamNumberAndDateAgainstSets(&m_project, "1234", "2020.01.02"));
    EXPECT_EQ(m_report.Questions(), std::vector<std::string>{With(kNumberQuestion, "s1")});
}

TEST_F(ImageImportTest, ExamNumberAndDateInBatchMode)
{
    AddSet("s1", "999", "1999.01.01");
    AddSet("s2", "1234", "2020.01.02");
    g_bBatchMode = true;
    EXPECT_TRUE(CheckExamNumberAndDateAgainstSets(&m_project, "1234", "2020.01.02"));
    EXPECT_EQ(g_batchLog,
              "Warning: Exam number is not matched with CSI data set: s1.\r\n"
              "Warning: Exam date is not matched with CSI data set: s1.\r\n");
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(ImageImportTest, ProjectWithoutSetsPassesEveryCheck)
{
    const float rotation[9] = {0, 1, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_TRUE(CheckExamNumberAndDateAgainstSets(&m_project, "1", "2"));
    EXPECT_TRUE(CheckPatientNameAgainstSets(&m_project, "x", "h.PAR"));
    EXPECT_TRUE(CheckExamDateAgainstSets(&m_project, "x", "h.PAR"));
    EXPECT_TRUE(CheckGeometryAgainstSets(&m_project, rotation, "h.PAR"));
    EXPECT_EQ(m_report.Count(), 0u);
}
