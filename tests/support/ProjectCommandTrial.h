#pragma once
// The fixture of the tests that run a project command killed at every step of the file
// layer and on a disk that fills up at many levels: a project of three sets with maps and
// two images, opened and changed as a user does, and the folder compared afterwards.
#include <gtest/gtest.h>

#include <functional>
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

namespace vx::test {

// A reader that makes a 4 x 4 set named "new" from any file.
class TNewSetReader : public TCSIReader {
public:
    using TCSIReader::TCSIReader;
    TCSISet* Read(std::string) override
    {
        auto* set = new TCSISet;
        FillGrid(*set, 4, 4, 1, 8, [](int x, int y, int, int i) { return TComplex(x - y, i); });
        set->m_strName = "new";
        set->m_nSpectralWidth = 1000;
        set->m_fFrequency = 63.9f;
        set->UpdateDataRange();
        return set;
    }
};

class ProjectCommandTrial : public ::testing::Test {
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
    // a set "c" of one map; two sagittal 4 x 4 images "ax1" and "ax2" with their pixel files.
    void MakeProject()
    {
        const std::string folder = m_pristine + "/p";
        TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Create(folder, "p"));
        for (const char* name : {"c", "b", "a"}) {
            const float base = float(name[0] - 'a') * 40.0f;
            TCSISet* set = AddStoredSet(project, folder, name, 4, 4, 1, 8, [&](int x, int y, int z, int i) {
                return TComplex(base + x + 2 * y + i, z - 0.5f * i);
            });
            set->m_nSliceAxis = 2;
            project.SetWorkSet(set);
            AddValuedMap(*set, "NAA_map", [&](int v) { return TComplex(base + v, 1.0f); });
            if (name[0] != 'c')
                AddValuedMap(*set, "Cho_map", [&](int v) { return TComplex(base - v, 2.0f); });
            ASSERT_TRUE(project.SaveWorkSet(false));
            ASSERT_TRUE(project.Save());
        }
        for (const char* name : {"ax1", "ax2"})
            AddStoredImage(project, folder, name, 4, 4, int16_t(name[2]));
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }

    // Opens root/<name>/<name>.tpj as the user does.
    TOpened Open(const std::string& name = "p") const
    {
        TScriptedReport script;
        script.AllowDefaults();
        {
            TProject project;
            g_pProject = &project;
            project.Load(m_root + "/" + name + "/" + name + ".tpj");
            g_pProject = nullptr;
        }
        return {ReadFolderTree(m_root), script.Messages()};
    }

    // Loads the project in root/p and runs the command on it once the step killAt is
    // armed. The command may replace the project (g_pProject then points at the new one).
    bool Run(int killAt, const std::function<bool(TProject&)>& command, const std::string& name = "p") const
    {
        TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        if (!project.Load(m_root + "/" + name + "/" + name + ".tpj"))
            return false;
        KillAtStep(killAt);
        const bool ok = command(project);
        g_pProject = nullptr;
        return ok;
    }

    TCommandTrial Trial(const std::function<bool(TProject&)>& command) const
    {
        return {m_pristine, m_root, [this, command](int killAt) { return Run(killAt, command); },
                [this] { return Open(); }};
    }

    // The trial killed at every step, then run by `run` on a disk full after every `step`
    // bytes: each must end old and new, or fail and succeed, more than once.
    static void TryTheHardWay(const TCommandTrial& trial, const std::function<bool(std::vector<std::string>&)>& run,
                              int step)
    {
        const auto [olds, news] = KillAtEveryStep(trial);
        EXPECT_GT(olds, 2);
        EXPECT_GT(news, 0);
        EXPECT_GT(FillDiskAtEveryLevel(trial, run, step), 2);
    }

    // The command so; the trial opens the project as `Trial` does unless it is given.
    void TryTheHardWay(const std::function<bool(TProject&)>& command, const std::function<TOpened()>& open = {})
    {
        TCommandTrial trial = Trial(command);
        if (open)
            trial.open = open;
        TryTheHardWay(
            trial,
            [&](std::vector<std::string>& messages) {
                TScriptedReport script;
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
    }

    TTempFolder m_dir;
    const std::string m_pristine = m_dir.File("pristine"), m_root = m_dir.File("root");
    TProcessorCountGuard m_processors;
};

}  // namespace vx::test
