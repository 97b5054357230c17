// The commands that change the project folder, killed at every step of the file layer and
// run on a disk that fills up at many levels: reopened, the folder is exactly the old
// project or exactly the new one, byte for byte, with nothing left over; a failure says so
// and changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMap.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "support/FolderKill.h"
#include "support/ProjectCommandTrial.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

std::string GoldenPath(const std::string& name)
{
    return std::string(VX_SOURCE_ROOT) + "/tests/model/golden/" + name;
}

class ProjectCommandKillTest : public test::ProjectCommandTrial {
protected:
    // Save Project As of the changed work set into root/q, killed and on a full disk; the
    // user opens the project where it was, then where it is saved, once it is there.
    void TrySavingAsQ()
    {
        const auto saveAs = [this](TProject& project) {
            project.m_pWorkSet->GetVoxel(size_t(1))->Data()[2] = TComplex(99.0f, 1.0f);
            project.SetModified(true);
            return project.SaveAs(m_root, "q");
        };
        TryTheHardWay(saveAs, [this] {
            test::TOpened opened = Open("p");
            if (std::filesystem::exists(m_root + "/q/q.tpj")) {
                const test::TOpened moved = Open("q");
                opened.files = moved.files;
                opened.messages.insert(opened.messages.end(), moved.messages.begin(), moved.messages.end());
            }
            return opened;
        });
    }
};

TCSISet* Named(TProject& project, const char* name)
{
    return project.m_pCSISetList->FindByName(name);
}

}  // namespace

TEST_F(ProjectCommandKillTest, RemovingASetOrTheWorkSet)
{
    MakeProject();
    for (const char* name : {"b", "a"}) {
        SCOPED_TRACE(std::string("removing ") + name);
        TryTheHardWay([name](TProject& project) { return project.RemoveCSISet(Named(project, name)); });
    }
}

TEST_F(ProjectCommandKillTest, SavingTheWorkSetAsANewSetOrOverAnother)
{
    MakeProject();
    for (const char* name : {"copy", "b"}) {
        SCOPED_TRACE(std::string("saved as ") + name);
        TryTheHardWay([name](TProject& project) {
            project.m_pWorkSet->GetVoxel(size_t(1))->Data()[2] = TComplex(99.0f, 1.0f);
            return project.SaveWorkSetAs(name);
        });
    }
}

TEST_F(ProjectCommandKillTest, CombiningSets)
{
    MakeProject();
    TryTheHardWay([](TProject& project) {
        return project.CombineCSISets({Named(project, "b"), Named(project, "c")}, TProject::TSetOperation::Sum);
    });
}

TEST_F(ProjectCommandKillTest, KilledAndThenCopiedToAnotherDisk)
{
    // A backup or a copy to another disk made after the kill: new files, new times. The
    // copy opens as the old project or as the new one, like the folder itself.
    MakeProject();
    const std::vector<std::pair<std::string, std::function<bool(TProject&)>>> commands{
        {"saving the work set",
         [](TProject& project) {
             project.m_pWorkSet->GetVoxel(size_t(1))->Data()[2] = TComplex(99.0f, 1.0f);
             return project.SaveWorkSetAndProject(false);
         }},
        {"saving the work set as b",
         [](TProject& project) {
             project.m_pWorkSet->GetVoxel(size_t(1))->Data()[2] = TComplex(99.0f, 1.0f);
             return project.SaveWorkSetAs("b");
         }},
        {"combining b and c",
         [](TProject& project) {
             return project.CombineCSISets({Named(project, "b"), Named(project, "c")}, TProject::TSetOperation::Sum);
         }},
        {"removing b", [](TProject& project) { return project.RemoveCSISet(Named(project, "b")); }}};
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        test::TCommandTrial trial = Trial(command);
        trial.copied = true;
        const auto [olds, news] = test::KillAtEveryStep(trial);
        EXPECT_GT(olds, 2);
        EXPECT_GT(news, 0);
    }
}

TEST_F(ProjectCommandKillTest, ZeroFillingTheWorkSetTwiceOverItsFirstCopy)
{
    MakeProject();
    const int size[3] = {8, 8, 1};
    // The copy of an earlier zero fill is replaced, with its map.
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Load(m_pristine + "/p/p.tpj"));
        project.ZeroFillCSISet(project.m_pWorkSet, size);
        TCSISet* copy = Named(project, "a_8_8_1");
        ASSERT_NE(copy, nullptr);
        project.SetWorkSet(copy);
        test::AddValuedMap(*copy, "NAA_map", [](int v) { return TComplex(float(v), 0.0f); });
        ASSERT_TRUE(project.SaveWorkSetAndProject(false));
        project.SetWorkSet(Named(project, "a"));
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }
    TryTheHardWay([&](TProject& project) {
        project.ZeroFillCSISet(project.m_pWorkSet, size);
        // The command says nothing of its result: the new copy is there or not.
        return Named(project, "a_8_8_1") && !std::filesystem::exists(m_root + "/p/a_8_8_1_NAA_map");
    });
}

TEST_F(ProjectCommandKillTest, AddingASet)
{
    MakeProject();
    TryTheHardWay([](TProject& project) { return project.AddCSISet(project.GetFolder(), "scan.dat", TCSIReadParams{}); });
}

TEST_F(ProjectCommandKillTest, SavingTheProjectUnderAnotherFolder)
{
    MakeProject();
    TrySavingAsQ();
}

// The set b and the image ax2 have lost their files: the save (told Yes) leaves them out.
TEST_F(ProjectCommandKillTest, SavingUnderAnotherFolderWithoutASetAndAnImageWhoseFilesAreGone)
{
    MakeProject();
    std::filesystem::remove(m_pristine + "/p/b");
    std::filesystem::remove(m_pristine + "/p/ax2");
    TrySavingAsQ();
}

TEST_F(ProjectCommandKillTest, ConvertingAnOldProject)
{
    for (int version : {0, 1, 5}) {
        SCOPED_TRACE("version " + std::to_string(version));
        std::filesystem::remove_all(m_pristine);
        std::filesystem::create_directories(m_pristine);
        std::filesystem::copy(GoldenPath("project_v" + std::to_string(version)), m_pristine + "/golden");
        const auto load = [this](int killAt, std::vector<std::string>* messages = nullptr) {
            test::TScriptedReport script;
            script.AllowDefaults();
            TProject project;
            g_pProject = &project;
            test::KillAtStep(killAt);
            const bool ok = project.Load(m_root + "/golden/golden.tpj");
            g_pProject = nullptr;
            if (messages)
                *messages = script.Messages();
            return ok;
        };
        // Reopened after a kill, the project is converted as by a clean conversion (its
        // messages included) or was already.
        TryTheHardWay({m_pristine, m_root, load, [this] { return Open("golden"); }},
                      [&](std::vector<std::string>& messages) { return load(0, &messages); }, 97);
    }
}

TEST_F(ProjectCommandKillTest, RemovingImages)
{
    MakeProject();
    TryTheHardWay([](TProject& project) {
        const int before = project.m_pImageSet->GetCount();
        project.RemoveImages({*project.m_pImageSet->begin()});
        return project.m_pImageSet->GetCount() == before - 1;
    });
}

TEST_F(ProjectCommandKillTest, ImagesMadeFromImagesAndThenSaved)
{
    MakeProject();
    // The images are made in memory; their pixel files go into the folder with the
    // project file that lists them, whenever the user saves.
    for (bool averaging : {false, true}) {
        SCOPED_TRACE(averaging ? "averaging" : "reconstructing");
        TryTheHardWay([averaging](TProject& project) {
            const std::vector<TMRImage*> images = project.m_pImageSet->Images();
            const int before = project.m_pImageSet->GetCount();
            if (!(averaging ? project.AverageImages(images) : project.Reconstruct3D(images)) ||
                project.m_pImageSet->GetCount() == before)
                return false;
            return project.SaveWorkSetAndProject(false);
        });
    }
}

TEST_F(ProjectCommandKillTest, RemovingASavedMapOfTheWorkSet)
{
    MakeProject();
    TryTheHardWay([](TProject& project) {
        TMap* map = project.m_pWorkSet->FindMap("Cho_map");
        if (!map || !project.RemoveWorkSetMap(map))
            return false;
        delete map;
        return true;
    });
}

TEST_F(ProjectCommandKillTest, SavingDeidentified)
{
    MakeProject();
    const auto deidentify = [](TProject& project) {
        project.m_pWorkSet->GetVoxel(size_t(1))->Data()[2] = TComplex(99.0f, 1.0f);
        project.SetModified(true);
        return project.SaveDeidentified();
    };
    TryTheHardWay(deidentify);

    // A save that fails gives the names back.
    test::RestoreFolder(m_pristine, m_root);
    test::TScriptedReport script;
    script.AllowDefaults();
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.Load(m_root + "/p/p.tpj"));
    project.m_pWorkSet->m_strPatientName = "Doe John";
    (*project.m_pImageSet->begin())->SetInfoText("Doe John", TMRImage::InfoPatientName, false);
    TFile::FailWritesAfter(0);
    EXPECT_FALSE(deidentify(project));
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(project.m_pWorkSet->m_strPatientName, "Doe John");
    EXPECT_EQ((*project.m_pImageSet->begin())->GetInfoText(TMRImage::InfoPatientName), "Doe John");
    EXPECT_FALSE(script.Messages().empty());
    g_pProject = nullptr;
}
