// A save killed at every step of its file replacements: a child process opens a project
// of two sets with maps, filters the work set (an undo state file), changes its maps and
// saves; the file layer's step hook kills it at the N-th step. Reopened, the project folder
// holds exactly the old save or exactly the new one, and nothing else.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/Workers.h"
#include "processing/InstallProcessing.h"
#include "processing/TLorentzFilterStep.h"
#include "processing/TProcessStep.h"
#include "support/CSISetBuilders.h"
#include "support/FolderKill.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

class ProjectSaveKillTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        InstallProcessing();
        SetProcessorCount(1);  // no worker threads in the forked children
    }
    void TearDown() override
    {
        TFile::SetStepHook({});
        InstallProcessingHooks({});
        ResetGlobals();
    }

    // Project "p" with sets "a" and "b" of two maps each, saved; "a" is the work set.
    void MakeOldSave(const std::string& folder)
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Create(folder, "p"));
        for (const char* name : {"b", "a"}) {
            const float base = name[0] == 'a' ? 1.0f : 50.0f;
            TCSISet* set = test::AddStoredSet(project, folder, name, 4, 3, 2, 16, [&](int x, int y, int z, int i) {
                return TComplex(base + x + 2 * y + i, z - 0.5f * i);
            });
            project.SetWorkSet(set);
            test::AddValuedMap(*set, "NAA_map", [&](int v) { return TComplex(base + v, 1.0f); });
            test::AddValuedMap(*set, "Cho_map", [&](int v) { return TComplex(base - v, 2.0f); });
            ASSERT_TRUE(project.SaveWorkSet(false));
            ASSERT_TRUE(project.Save());
        }
        g_pProject = nullptr;
    }

    // The new save of the child: the work set filtered, one map changed, one added.
    static bool SaveNewState(const std::string& projectFile, int killAt)
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        if (!project.Load(projectFile) || !project.m_pWorkSet)
            return false;
        test::KillAtStep(killAt);
        TCSISet* set = project.m_pWorkSet;
        if (!TProcessStep::Perform(new TLorentzFilterStep(3.0f, false, set), project, true))
            return false;
        test::AddValuedMap(*set, "NAA_map", [](int v) { return TComplex(-3.0f * v, 7.0f); });
        test::AddValuedMap(*set, "Cr_map", [](int v) { return TComplex(0.5f * v, 0.0f); });
        project.SetModified(true);
        // A save that says something (a folder it could not sync) is no clean save.
        return project.SaveWorkSet(false) && project.Save() && script.Messages().empty();
    }

    // Opens the project as the user does: both sets, the work set, no message.
    static test::TOpened Reopen(const std::string& folder)
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        {
            TProject project;
            g_pProject = &project;
            EXPECT_TRUE(project.Load(folder + "/p.tpj"));
            EXPECT_EQ(project.m_pCSISetList->GetCount(), 2);
            EXPECT_NE(project.m_pWorkSet, nullptr);
            g_pProject = nullptr;
        }
        return {test::ReadFolderTree(folder), script.Messages()};
    }
    // Reopen where no expectation can be checked (a forked child): what the open gave.
    static std::string ReopenedText(const std::string& folder)
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        std::string text = project.Load(folder + "/p.tpj") ? "opened" : "refused";
        text += ", " + std::to_string(project.m_pCSISetList->GetCount()) + " sets";
        text += project.m_pWorkSet ? ", a work set" : ", no work set";
        for (const std::string& message : script.Messages())
            text += "\n" + message;
        g_pProject = nullptr;
        return text;
    }

    test::TTempFolder m_dir;
    test::TProcessorCountGuard m_processors;
};

}  // namespace

TEST_F(ProjectSaveKillTest, AKilledSaveReopensAsTheOldOrTheNewProjectWithoutLeftovers)
{
    const std::string pristine = m_dir.File("pristine"), folder = m_dir.File("p");
    MakeOldSave(pristine);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    // Also as an ordinary user whose project folder may be written and entered but not
    // listed (mode 311): its saves and the opens that complete them sync the folder another
    // way. The folder is given to that user (root only) and closed to listing before each.
    for (const bool unlistable : {false, true}) {
        SCOPED_TRACE(unlistable ? "an ordinary user in a folder that cannot be listed" : "the folder's owner");
        const auto close = [&] {
            if (!unlistable)
                return;
            if (::geteuid() == 0) {
                for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
                    ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
            }
            ASSERT_EQ(::lchown(folder.c_str(), ::geteuid() == 0 ? 65534 : ::geteuid(), ::getegid()), 0);
            ASSERT_EQ(::chmod(folder.c_str(), 0311), 0);
        };
        // Killed processes leave undo state files in the work folder, which the open removes.
        int statesLeft = 0;
        const test::TCommandTrial trial{
            pristine, folder,
            [&](int killAt) {
                close();
                if (unlistable && ::geteuid() == 0 &&
                    (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                    return false;
                return SaveNewState(folder + "/p.tpj", killAt);
            },
            [&] {
                statesLeft += test::ReadFolderTree(folder).count(".vexara/tf0.tmp");
                if (!unlistable)
                    return Reopen(folder);
                close();
                const std::string said = test::AsAnOrdinaryUser([&] { return ReopenedText(folder); });
                ::chmod(folder.c_str(), 0755);
                EXPECT_EQ(said, "opened, 2 sets, a work set");
                return test::TOpened{test::ReadFolderTree(folder), {said}};
            }};
        const auto [olds, news] = test::KillAtEveryStep(trial);
        // Kills fell before and after the point where the new save takes over.
        EXPECT_GT(olds, 3);
        EXPECT_GT(news, 1);
        EXPECT_GT(statesLeft, 10);
    }
}

// A program that has the project open, with a step's undo state in its folder: another open
// in between is refused and touches nothing, and the step is undone afterwards.
TEST_F(ProjectSaveKillTest, AnOpenWhileAnotherProgramHasTheProjectLeavesItsUndoWorking)
{
    const std::string folder = m_dir.File("p");
    MakeOldSave(folder);
    const test::TChildRun run = test::BesideAChild(
        [&](const auto& pause) {
            test::TScriptedReport script;
            script.AllowDefaults();
            TProject project;
            g_pProject = &project;
            if (!project.Load(folder + "/p.tpj") || !project.m_pWorkSet)
                return false;
            const auto before = test::AllSamples(*project.m_pWorkSet);
            pause(TProcessStep::Perform(new TLorentzFilterStep(3.0f, false, project.m_pWorkSet), project, true));
            return project.Undo() && test::AllSamples(*project.m_pWorkSet) == before && script.Messages().empty();
        },
        [&] {
            const test::TFolderBytes during = test::ReadFolderTree(folder);
            {
                test::TScriptedReport script;
                TProject other;
                EXPECT_FALSE(other.Load(folder + "/p.tpj"));
                EXPECT_EQ(script.Messages().size(), 1u);
            }
            EXPECT_TRUE(test::ReadFolderTree(folder) == during);
        });
    EXPECT_TRUE(run.answer) << "the step was not applied";
    EXPECT_TRUE(run.result) << "the undo of the program that has the project open failed";
}
