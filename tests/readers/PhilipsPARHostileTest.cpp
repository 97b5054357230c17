// Hostile PAR/REC pairs: headers and RECs cut at every offset and headers with bytes
// replaced. Each read ends cleanly (the sanitizer build watches the memory), and what it
// adds is whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/ImageReaderFixture.h"
#include "readers/PARTestFiles.h"

using namespace vx;
using namespace vx::test;

namespace {

class PARHostileTest : public ImageReaderTest {
protected:
    TSynthPAR TwoImages() const
    {
        TSynthPAR par;
        par.images.resize(2);
        par.images[1].index = std::string("1");
        return par;
    }
    // Every image in the collection has a pixel file of its full size.
    void ExpectWholeImages(const TProject& project) const
    {
        for (const TMRImage* image : *project.m_pImageSet) {
            EXPECT_TRUE(image->IsValid()) << image->GetName();
            EXPECT_EQ(FileSize(image->PixelFileToRead()), int64_t{2} * image->GetWidth() * image->GetHeight())
                << image->GetName();
        }
    }
};

}  // namespace

TEST_F(PARHostileTest, RECCutAtEveryOffset)
{
    const TSynthPAR par = TwoImages();
    WriteBytes(Input("scan.PAR"), BuildPARText(par));
    const std::string rec = Int16LE(std::vector<int>(16, -5));
    for (size_t cut = 0; cut < rec.size(); ++cut) {
        WriteBytes(Input("scan.REC"), rec.substr(0, cut));
        TProject project;
        project.m_strFolder = m_project.m_strFolder;
        m_report.Clear();
        EXPECT_FALSE(project.m_pImageSet->AddImages(Input("scan.PAR"), TImageImportParams{}, &project)) << cut;
        EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"The REC file " + Input("scan.REC") +
                                                                " is shorter than its PAR file describes."})
            << cut;
        EXPECT_EQ(project.m_pImageSet->GetCount(), 0) << cut;
        ExpectWholeImages(project);
    }
}

TEST_F(PARHostileTest, HeaderCutAtEveryOffset)
{
    TSynthPAR par = TwoImages();
    par.lineEnd = std::string("\n");
    const std::string text = BuildPARText(par);
    WriteBytes(Input("scan.REC"), Int16LE(std::vector<int>(16, 3)));
    m_report.AllowDefaults();
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        WriteBytes(Input("scan.PAR"), text.substr(0, cut));
        TProject project;
        project.m_strFolder = m_project.m_strFolder;
        const bool added = project.m_pImageSet->AddImages(Input("scan.PAR"), TImageImportParams{}, &project);
        EXPECT_LE(project.m_pImageSet->GetCount(), 2) << cut;
        if (added)
            ExpectWholeImages(project);
    }
    // The whole header reads both images.
    EXPECT_TRUE(m_project.m_pImageSet->AddImages(Input("scan.PAR"), TImageImportParams{}, &m_project));
    EXPECT_EQ(m_project.m_pImageSet->GetCount(), 2);
}

TEST_F(PARHostileTest, HeaderBytesReplaced)
{
    const std::string text = BuildPARText(TwoImages());
    WriteBytes(Input("scan.REC"), Int16LE(std::vector<int>(16, 3)));
    m_report.AllowDefaults();
    // One project for all: after the first success the image names exist, so later reads
    // parse and decode everything but stop before writing.
    const char replacements[] = {'9', '-', '#', '\0', '\n', '\xff'};
    for (size_t at = 0; at < text.size(); ++at) {
        for (char c : replacements) {
            std::string hostile = text;
            hostile[at] = c;
            WriteBytes(Input("scan.PAR"), hostile);
            m_project.m_pImageSet->AddImages(Input("scan.PAR"), TImageImportParams{}, &m_project);
        }
    }
    ExpectWholeImages(m_project);
}
