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

#include "model/ReaderHooks.h"
#include "model/TCSIReader.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "support/CSISetBuilders.h"
#include "support/FolderKill.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

std::string GoldenPath(const std::string& name)
{
    return std::string(VX_SOURCE_ROOT) + "/tests/model/golden/" + name;
}

// A reader that makes a 4 x 4 set named "new" from any file.
class TNewSetReader : public TCSIReader {
public:
    using TCSIReader::TCSIReader;
    TCSISet* Read(std::string) override
    {
        auto* set = new TCSISet;
        test::FillGrid(*set, 4, 4, 1, 8, [](int x, int y, int, int i) { return TComplex(x - y, i); });
        set->m_strName = "new";
        set->m_nSpectralWidth = 1000;
        set->m_fFrequency = 63.9f;
        set->UpdateDataRange();
        return set;
    }
};

class ProjectCommandKillTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        SetProcessorCount(1);  // no worker threads in the forked children
        ClearReaderHooks();
        InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* { return new TNewSetReader(p); });
    }
    void TearDown() override
    {
        TFile::SetStepHook({});
        TFile::FailWritesAfter(-1);
        ClearReaderHooks();
        ResetGlobals();
    }

    // Project "p" in pristine/p with sets "a" (the work set) and "b" of two maps each, and
    // a set "c" of one map.
    void MakeProject()
    {
        const std::string folder = m_pristine + "/p";
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Create(folder, "p"));
        for (const char* name : {"c", "b", "a"}) {
            const float base = float(name[0] - 'a') * 40.0f;
            TCSISet* set = test::AddStoredSet(project, folder, name, 4, 4, 1, 8, [&](int x, int y, int z, int i) {
                return TComplex(base + x + 2 * y + i, z - 0.5f * i);
            });
            set->m_nSliceAxis = 2;
            project.SetWorkSet(set);
            test::AddValuedMap(*set, "NAA_map", [&](int v) { return TComplex(base + v, 1.0f); });
            if (name[0] != 'c')
                test::AddValuedMap(*set, "Cho_map", [&](int v) { return TComplex(base - v, 2.0f); });
            ASSERT_TRUE(project.SaveWorkSet(false));
            ASSERT_TRUE(project.Save());
        }
        // Two images with their pixel files.
        for (const char* name : {"ax1", "ax2"}) {
            auto* image = new TMRImage(&project);
            image->SetName(name, false);
            image->SetWidth(4, false);
            image->SetHeight(4, false);
            image->SetPath(folder + "/" + name);
            ASSERT_TRUE(image->SetPixels(std::vector<int16_t>(16, int16_t(name[2]))));
            ASSERT_TRUE(image->SavePixels(image->GetPath()));
            project.m_pImageSet->Insert(image);
        }
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }

    // Opens root/<name>/<name>.tpj as the user does.
    test::TOpened Open(const std::string& name = "p") const
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        {
            TProject project;
            g_pProject = &project;
            project.Load(m_root + "/" + name + "/" + name + ".tpj");
            g_pProject = nullptr;
        }
        return {test::ReadFolderTree(m_root), script.Messages()};
    }

    // Loads the project in root/p and runs the command on it once the step killAt is armed.
    bool Run(int killAt, const std::function<bool(TProject&)>& command, const std::string& name = "p") const
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        if (!project.Load(m_root + "/" + name + "/" + name + ".tpj"))
            return false;
        test::KillAtStep(killAt);
        const bool ok = command(project);
        g_pProject = nullptr;
        return ok;
    }

    test::TCommandTrial Trial(const std::function<bool(TProject&)>& command) const
    {
        return {m_pristine, m_root, [this, command](int killAt) { return Run(killAt, command); },
                [this] { return Open(); }};
    }

    // The command killed at every step, then on a full disk at every level; the trial
    // opens the project as `Trial` does unless it is given.
    void TryTheHardWay(const std::function<bool(TProject&)>& command, const std::function<test::TOpened()>& open = {})
    {
        test::TCommandTrial trial = Trial(command);
        if (open)
            trial.open = open;
        const auto [olds, news] = test::KillAtEveryStep(trial);
        EXPECT_GT(olds, 2);
        EXPECT_GT(news, 0);
        const int failures = test::FillDiskAtEveryLevel(
            trial,
            [&](std::vector<std::string>& messages) {
                test::TScriptedReport script;
                script.AllowDefaults();
                TProject project;
                g_pProject = &project;
                // Opening writes nothing: the disk fills up under the command.
                const bool ok = project.Load(m_root + "/p/p.tpj") && command(project);
                g_pProject = nullptr;
                messages = script.Messages();
                return ok;
            },
            211);
        EXPECT_GT(failures, 2);
    }

    test::TTempFolder m_dir;
    const std::string m_pristine = m_dir.File("pristine"), m_root = m_dir.File("root");
    test::TProcessorCountGuard m_processors;
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
    const auto saveAs = [this](TProject& project) {
        project.m_pWorkSet->GetVoxel(size_t(1))->Data()[2] = TComplex(99.0f, 1.0f);
        project.SetModified(true);
        return project.SaveAs(m_root, "q");
    };
    // The user opens the project where it was, then where it is saved, once it is there.
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
        const test::TCommandTrial trial{m_pristine, m_root, load, [this] { return Open("golden"); }};
        const auto [olds, news] = test::KillAtEveryStep(trial);
        EXPECT_GT(olds, 2);
        EXPECT_GT(news, 0);
        const int failures = test::FillDiskAtEveryLevel(
            trial,
            [&](std::vector<std::string>& messages) { return load(0, &messages); },
            97);
        EXPECT_GT(failures, 2);
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
