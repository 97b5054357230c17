// A save killed at every step of its file replacements: a child process opens a project
// of two sets with maps, filters the work set (an undo state file), changes its maps and
// saves; the file layer's step hook kills it at the N-th step. Reopened, the project folder
// holds exactly the old save or exactly the new one, and nothing else.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
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
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

using TFolderBytes = std::map<std::string, std::string>;

// Every file of the folder with its bytes, but the lock file every open makes.
TFolderBytes ReadFolder(const std::string& folder)
{
    TFolderBytes files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name != ".vexara.lock")
            files[name] = test::ReadBytes(entry.path().string());
    }
    return files;
}

// Which files of a reopened folder are those of the old save, of the new one, or neither.
std::string Describe(const TFolderBytes& got, const TFolderBytes& oldSave, const TFolderBytes& newSave)
{
    std::map<std::string, std::string> seen;
    for (const TFolderBytes* files : {&got, &oldSave, &newSave})
        for (const auto& [name, bytes] : *files)
            seen[name];
    std::string text;
    for (auto& [name, kind] : seen) {
        const auto in = [&](const TFolderBytes& files) {
            const auto it = files.find(name);
            return it != files.end() && got.count(name) && it->second == got.at(name);
        };
        const bool isOld = in(oldSave) || (!got.count(name) && !oldSave.count(name));
        const bool isNew = in(newSave) || (!got.count(name) && !newSave.count(name));
        text += " " + name + (got.count(name) ? "" : "(missing)") + ":" + (isOld ? "old" : "") + (isNew ? "new" : "") +
                (!isOld && !isNew ? "neither" : "");
    }
    return text;
}

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
        int steps = 0;
        if (killAt > 0)
            TFile::SetStepHook([&steps, killAt] {
                if (++steps == killAt)
                    std::raise(SIGKILL);
            });
        TCSISet* set = project.m_pWorkSet;
        if (!TProcessStep::Perform(new TLorentzFilterStep(3.0f, false, set), project, true))
            return false;
        test::AddValuedMap(*set, "NAA_map", [](int v) { return TComplex(-3.0f * v, 7.0f); });
        test::AddValuedMap(*set, "Cr_map", [](int v) { return TComplex(0.5f * v, 0.0f); });
        project.SetModified(true);
        return project.SaveWorkSet(false) && project.Save();
    }

    // Runs the new save in a child killed at step killAt (0: never); true when it was
    // killed, false when it saved to the end.
    static bool RunChild(const std::string& projectFile, int killAt)
    {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(SaveNewState(projectFile, killAt) ? 0 : 3);
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), SIGKILL);
            return true;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save failed at kill point " << killAt;
        return false;
    }

    // Opens the project as the user does and gives the folder's files after the open.
    static TFolderBytes Reopen(const std::string& folder)
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
        EXPECT_EQ(script.Messages(), std::vector<std::string>{});
        return ReadFolder(folder);
    }

    test::TTempFolder m_dir;
    test::TProcessorCountGuard m_processors;
};

}  // namespace

TEST_F(ProjectSaveKillTest, AKilledSaveReopensAsTheOldOrTheNewProjectWithoutLeftovers)
{
    const std::string pristine = m_dir.File("pristine"), folder = m_dir.File("p");
    MakeOldSave(pristine);
    const auto restore = [&] {
        std::filesystem::remove_all(folder);
        std::filesystem::copy(pristine, folder);
    };
    restore();
    const TFolderBytes oldSave = Reopen(folder);
    ASSERT_FALSE(RunChild(folder + "/p.tpj", 0));
    const TFolderBytes newSave = Reopen(folder);
    ASSERT_NE(oldSave, newSave);
    ASSERT_TRUE(newSave.count("a_Cr_map"));
    ASSERT_NE(oldSave.at("a"), newSave.at("a"));
    ASSERT_NE(oldSave.at("a_NAA_map"), newSave.at("a_NAA_map"));

    int olds = 0, news = 0, statesLeft = 0;
    for (int killAt = 1; killAt < 200; ++killAt) {
        SCOPED_TRACE("killed at step " + std::to_string(killAt));
        restore();
        const bool killed = RunChild(folder + "/p.tpj", killAt);
        statesLeft += ReadFolder(folder).count("tf0.tmp");
        const TFolderBytes reopened = Reopen(folder);
        if (reopened == oldSave) {
            // Once the new save is in place, a later kill cannot bring the old one back.
            EXPECT_EQ(news, 0);
            ++olds;
        } else {
            EXPECT_TRUE(reopened == newSave) << "neither the old nor the new save:" << Describe(reopened, oldSave, newSave);
            ++news;
        }
        if (!killed)
            break;
    }
    // Kills fell before and after the point where the new save takes over.
    EXPECT_GT(olds, 3);
    EXPECT_GT(news, 1);
    // Killed processes left undo state files, which the open removed.
    EXPECT_GT(statesLeft, 10);
}
