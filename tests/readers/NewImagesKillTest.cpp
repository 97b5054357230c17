// Commands that bring new images into the project through the real image readers, killed
// at every step of the file layer and run on a disk that fills up at many levels: the
// images' pixel files reach the project folder only with the project file that lists
// them, so that a reopened folder is exactly the old project or exactly the new one.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "model/TFolderHold.h"
#include "readers/ImageReaders.h"
#include "support/FolderKill.h"
#include "support/ProjectCommandTrial.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "PARTestFiles.h"

using namespace vx;
using namespace vx::test;

namespace {

class NewImagesKillTest : public ProjectCommandTrial {
protected:
    void SetUp() override
    {
        ProjectCommandTrial::SetUp();
        RegisterImageReaders();
        ASSERT_TRUE(MakeFolder(m_input));
        // Two PAR/REC pairs of two 4 x 2 images each, outside the project folder.
        for (const char* name : {"scan", "more"}) {
            TSynthPAR par;
            par.images.resize(2);
            par.images[1].index = "1";
            par.images[1].offFh = 6.0f;
            WriteBytes(m_input + "/" + name + ".PAR", BuildPARText(par));
            WriteBytes(m_input + "/" + name + ".REC", Int16LE(std::vector<int>(16, name[0])));
        }
        WriteBytes(m_input + "/s.SPAR", "a scan");  // the fake CSI reader makes set "new" of it
        MakeProject();
    }

    // Add Exam as the main frame runs it on the project of root/p: the exam's project in
    // place of the one opened, its files added, the first set the work set, then saved.
    bool ReplaceByExam(int killAt, std::vector<std::string>* messages = nullptr) const
    {
        TScriptedReport script;
        script.AllowDefaults();
        auto old = std::make_unique<TProject>();
        g_pProject = old.get();
        if (!old->Load(m_root + "/p/p.tpj"))
            return false;
        KillAtStep(killAt);
        std::optional<TProject::TPlace> place = old->HandOverPlace();
        old.reset();
        bool ok = false;
        if (place) {
            TProject project;
            g_pProject = &project;
            ok = project.CreateInPlaceOf(std::move(*place)) &&
                 project.AddExam({m_input + "/scan.PAR", m_input + "/s.SPAR"}, 0) &&
                 project.m_pImageSet->GetCount() == 2 && project.m_pCSISetList->GetCount() == 1;
            if (ok) {
                project.SetWorkSet(*project.m_pCSISetList->begin());
                ok = project.m_pWorkSet && project.Save();
            }
        }
        g_pProject = nullptr;
        if (messages)
            *messages = script.Messages();
        return ok;
    }

    const std::string m_input = m_dir.File("input");
};

}  // namespace

TEST_F(NewImagesKillTest, ImagesImportedAndSavedAsTheAddImagesDialogsOKDoes)
{
    TryTheHardWay([this](TProject& project) {
        return project.AddImages(m_input, "scan.PAR", TImageImportParams{}) &&
               project.AddImages(m_input, "more.PAR", TImageImportParams{}) && project.m_pImageSet->GetCount() == 6 &&
               project.Save();
    });
}

TEST_F(NewImagesKillTest, AnExamAddedInPlaceOfTheProject)
{
    TryTheHardWay({m_pristine, m_root, [this](int killAt) { return ReplaceByExam(killAt); }, [this] { return Open(); }},
                  [this](std::vector<std::string>& messages) { return ReplaceByExam(0, &messages); }, 211);

    // The exam's project holds the exam alone: the old project's files went with it.
    RestoreFolder(m_pristine, m_root);
    ASSERT_TRUE(ReplaceByExam(0));
    EXPECT_EQ(FolderTreeNames(m_root + "/p"), (std::vector<std::string>{"new", "p.tpj", "scan.PAR_0", "scan.PAR_1"}));
}

TEST_F(NewImagesKillTest, AnExamNotSavedYetGoesWholeToTheFolderItIsSavedAsAndLeavesTheOldProject)
{
    RestoreFolder(m_pristine, m_root);
    const TFolderBytes old = ReadFolderTree(m_root + "/p");
    TScriptedReport script;
    script.AllowDefaults();
    std::vector<std::string> replaced;
    std::optional<TProject::TPlace> place;
    {
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Load(m_root + "/p/p.tpj"));
        replaced = project.ListedFiles();
        place = project.HandOverPlace();
        ASSERT_TRUE(place);
        g_pProject = nullptr;
    }
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.CreateInPlaceOf(std::move(*place)));
    ASSERT_TRUE(project.AddExam({m_input + "/scan.PAR", m_input + "/s.SPAR"}, 0));
    ASSERT_EQ(project.m_pCSISetList->GetCount(), 1);
    project.SetWorkSet(*project.m_pCSISetList->begin());
    ASSERT_NE(project.m_pWorkSet, nullptr) << "the set's samples are read from where they wait";
    EXPECT_TRUE(project.IsModified());
    // The folder's project file is still the old one, and lists the old files only.
    std::vector<std::string> listed = project.ListedFiles();
    std::sort(listed.begin(), listed.end());
    std::sort(replaced.begin(), replaced.end());
    EXPECT_EQ(listed, replaced);
    TFolderBytes waiting = ReadFolderTree(m_root + "/p");
    EXPECT_EQ(std::erase_if(waiting, [](const auto& file) { return file.first.rfind(".vexara/", 0) == 0; }), 3u);
    EXPECT_TRUE(waiting == old) << "nothing of the exam is in the folder before a save";

    ASSERT_TRUE(project.SaveAs(m_root, "q"));
    EXPECT_EQ(FolderTreeNames(m_root + "/q"), (std::vector<std::string>{"new", "q.tpj", "scan.PAR_0", "scan.PAR_1"}));
    EXPECT_TRUE(ReadFolderTree(m_root + "/p") == old) << "the old folder keeps its project, and nothing staged";
    g_pProject = nullptr;
}
