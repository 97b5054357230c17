// The project with a recording shell and the scripted report service: creation, the
// display block, the work set and its questions, maps, processing ownership.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/math/TPoint2D.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "ProjectFakes.h"

// The work-mode handlers belong to the main picture view; the model tests need one
// member to hand out as the "Select voxel" handler.
class CMainPicView {
public:
    void OnMouseSelectVoxel(TMouseEvent*) {}
};

using namespace vx;

namespace {

const char* const kSaveProject = "There were changes made to the project, would you like to save it?";

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        InstallProcessingHooks({});
        SetSelectVoxelHandler(nullptr);
    }
    void TearDown() override
    {
        TFile::FailWritesAfter(-1);
        InstallProcessingHooks({});
        SetSelectVoxelHandler(nullptr);
        ResetGlobals();
    }

    // A set of the project whose samples are in its data-set file; one sample has
    // magnitude 5. Not loaded.
    TCSISet* AddStoredSet(TProject& project, const std::string& name, int nx = 5, int ny = 4, int nz = 3)
    {
        auto* set = new TCSISet(&project);
        set->m_nDim[0] = nx;
        set->m_nDim[1] = ny;
        set->m_nDim[2] = nz;
        set->m_nPoints = 8;
        set->m_nSpectralWidth = 1000;
        set->m_fFrequency = 63.9f;
        set->m_bFrequencyDomain = 1;
        set->m_strName = name;
        set->SetFolder(project.GetFolder());
        EXPECT_TRUE(set->AllocateVoxels());
        set->InitVoxels();
        for (size_t v = 0; v < set->VoxelCount(); ++v)
            set->GetVoxel(v)->AllocateZeroed(set->m_nPoints);
        set->GetVoxel(size_t(1))->Data()[2] = TComplex(3.0f, 4.0f);
        set->m_bLoaded = true;
        set->UpdateDataRange();
        EXPECT_TRUE(set->WriteDataFile(set->GetFilePath()));
        set->FreeSpectra();
        project.m_pCSISetList->Add(set);
        return set;
    }

    // Makes "csi" the work set of project "p" in the test folder, with its first sample
    // changed to 20 and the project marked modified.
    TCSISet* ChangedWorkSet(TProject& project)
    {
        project.m_strFolder = m_dir.Path();
        project.m_strName = "p";
        TCSISet* set = AddStoredSet(project, "csi");
        project.SetWorkSet(set);
        set->GetVoxel(size_t(0))->Data()[0] = TComplex(20.0f, 0.0f);
        project.SetModified(true);
        return set;
    }

    // Projects made from now on get a history whose disabling of undo counts up `disabled`.
    static void CountUndoDisabling(int& disabled)
    {
        TProcessingHooks hooks;
        hooks.newHistory = [&disabled] { return reinterpret_cast<TProcessHistory*>(&disabled); };
        hooks.disableUndo = [&disabled](TProcessHistory*) { ++disabled; };
        InstallProcessingHooks(hooks);
    }

    test::TTempFolder m_dir;
    test::TFakeMainFrame m_shell;
};

}  // namespace

TEST_F(ProjectTest, NewProjectTakesTheShellsFrameList)
{
    auto* project = new TProject(&m_shell);
    ASSERT_NE(m_shell.frames, nullptr);
    EXPECT_EQ(m_shell.frames->project, project);
    EXPECT_EQ(m_shell.frames->parent, &m_shell);
    EXPECT_EQ(project->m_frameList.get(), m_shell.frames);
    m_shell.Take();
    delete project;
    // The voxel and analysis windows, which point into the project, close first.
    EXPECT_EQ(m_shell.Take(), (test::TCallLog{"CloseAllChildWindows", "DestroyAll"}));
}

TEST_F(ProjectTest, ProjectWithoutShellSkipsWindowCalls)
{
    TProject project;
    EXPECT_EQ(project.m_frameList, nullptr);
    project.UpdateFrames(true, true, true, true, true);
    project.RedrawVoxel(1, 2, 3);
    project.ShowWorkSetInfo();
    project.ToggleDisplayFlag(2);
    EXPECT_EQ(project.OpenSliceFrameByIndex(0, 1), nullptr);
    EXPECT_FALSE(project.CloseImageFrame(nullptr));
    EXPECT_EQ(project.m_display.m_nFlags, 3);
}

TEST_F(ProjectTest, CreateRefusesEmptyAndTildeNames)
{
    TProject project(&m_shell);
    const std::string folder = m_dir.File("new");
    for (const char* name : {"", "~x", "a/b"}) {
        EXPECT_FALSE(project.Create(folder, name)) << name;
        EXPECT_EQ(project.m_strName, "");
        EXPECT_EQ(project.m_strFolder, "");
        EXPECT_FALSE(FolderExists(folder));
    }
}

TEST_F(ProjectTest, CreateMakesTheFolderSavesAndTakesSelectVoxel)
{
    SetSelectVoxelHandler(&CMainPicView::OnMouseSelectVoxel);
    const std::string folder = m_dir.File("study");
    {
        TProject project(&m_shell);
        project.m_display.m_nFlags = 2;
        project.m_display.m_fYMax = 5;
        project.SetModified(true);
        ASSERT_TRUE(project.Create(folder, "brain"));
        EXPECT_EQ(project.GetFolder(), folder);
        EXPECT_EQ(project.m_strName, "brain");
        EXPECT_TRUE(project.m_pfnMouseHandler == &CMainPicView::OnMouseSelectVoxel);
        EXPECT_EQ(project.m_display, TSpectrumDisplayParams{});
        EXPECT_FALSE(project.IsModified());
        EXPECT_EQ(FileSize(folder + "/brain.tpj"), 32);
    }

    // An existing folder is no error.
    {
        TProject again(&m_shell);
        EXPECT_TRUE(again.Create(folder, "second"));
    }

    // Opening the project hands the handler over too; a file that does not load does not.
    TProject opened(&m_shell);
    ASSERT_TRUE(opened.Load(folder + "/brain.tpj"));
    EXPECT_TRUE(opened.m_pfnMouseHandler == &CMainPicView::OnMouseSelectVoxel);
    test::WriteBytes(folder + "/bad.tpj", std::string(10, '\0'));
    test::TScriptedReport script;
    script.AllowDefaults();
    TProject refused(&m_shell);
    EXPECT_FALSE(refused.Load(folder + "/bad.tpj"));
    EXPECT_TRUE(refused.m_pfnMouseHandler == nullptr);
}

TEST_F(ProjectTest, ToggleDisplayFlagKeepsOnlyTheGridBeforeAPartFlag)
{
    TProject project(&m_shell);
    m_shell.Take();
    project.ToggleDisplayFlag(4);
    EXPECT_EQ(project.m_display.m_nFlags, 5);  // grid kept, real replaced by imaginary
    EXPECT_EQ(m_shell.Take(), (test::TCallLog{"UpdateAll 11000"}));
    project.m_display.m_nFlags = 9;
    project.ToggleDisplayFlag(1);
    EXPECT_EQ(project.m_display.m_nFlags, 8);
    project.ToggleDisplayFlag(1);
    EXPECT_EQ(project.m_display.m_nFlags, 9);
    project.ToggleDisplayFlag(2);
    EXPECT_EQ(project.m_display.m_nFlags, 3);
    project.m_display.m_nFlags = 8;
    project.ToggleDisplayFlag(8);  // choosing the shown part again keeps it shown
    EXPECT_EQ(project.m_display.m_nFlags, 8);
}

TEST_F(ProjectTest, SetWorkSetLoadsAndOpensTheMiddleSlices)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    m_shell.hasInfo = true;
    TCSISet* set = AddStoredSet(project, "csi", 5, 4, 3);
    m_shell.Take();
    project.SetWorkSet(set);
    EXPECT_EQ(project.m_pWorkSet, set);
    EXPECT_TRUE(set->IsLoaded());
    EXPECT_EQ(set->m_bWorkSet, 1);
    EXPECT_EQ(project.m_display.m_fYMax, 5.0f);
    EXPECT_EQ(project.m_display.m_fYMin, -5.0f);
    EXPECT_EQ(project.m_display.m_nXStart, 0);
    EXPECT_EQ(project.m_display.m_nXEnd, 7);
    EXPECT_EQ(m_shell.Take(), (test::TCallLog{"CloseAllChildWindows", "DestroyAll", "SetSpectrumDisplay",
                                              "OpenSliceFrameByIndex 0 2", "OpenSliceFrameByIndex 1 2",
                                              "OpenSliceFrameByIndex 2 1", "UpdateAll 00001",
                                              "ShowProjectExplorer", "UpdateCSIPage"}));

    // With frames open no slice frames are added.
    TCSISet* other = AddStoredSet(project, "other", 2, 2, 1);
    m_shell.frames->openFrames = 1;
    project.SetWorkSet(other);
    EXPECT_EQ(project.m_pWorkSet, other);
    EXPECT_FALSE(set->IsLoaded());
    EXPECT_EQ(set->m_bWorkSet, 0);
    EXPECT_EQ(m_shell.Take(), (test::TCallLog{"CloseAllChildWindows", "DestroyAll", "SetSpectrumDisplay",
                                              "OpenSliceFrameByIndex 0 1", "OpenSliceFrameByIndex 1 1",
                                              "OpenSliceFrameByIndex 2 0", "UpdateAll 00001",
                                              "ShowProjectExplorer", "UpdateCSIPage"}));
}

TEST_F(ProjectTest, SetWorkSetInBatchModeOpensNothing)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    TCSISet* set = AddStoredSet(project, "csi");
    g_bBatchMode = true;
    m_shell.Take();
    project.SetWorkSet(set);
    EXPECT_EQ(project.m_pWorkSet, set);
    EXPECT_EQ(m_shell.Take(), (test::TCallLog{"CloseAllChildWindows", "DestroyAll"}));
}

TEST_F(ProjectTest, SetWorkSetWhoseFileIsGoneIsRefusedAndTheWorkSetStays)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    TCSISet* work = AddStoredSet(project, "work");
    TCSISet* set = AddStoredSet(project, "csi");
    RemoveFile(set->GetFilePath());
    project.SetWorkSet(work);
    ASSERT_EQ(project.m_pWorkSet, work);
    test::TScriptedReport script;
    m_shell.Take();
    project.SetWorkSet(set);
    EXPECT_EQ(script.Messages(), (std::vector<std::string>{"Can not open CSI data set file " + set->GetFilePath()}));
    EXPECT_EQ(project.m_pWorkSet, work);
    EXPECT_TRUE(work->IsLoaded());
    EXPECT_EQ(set->m_bWorkSet, 0);
    // Not a window of the work set was touched.
    EXPECT_TRUE(m_shell.Take().empty());
}

TEST_F(ProjectTest, ReleasingAChangedSetAsksAndSavesOnYes)
{
    TProject project(&m_shell);
    TCSISet* set = ChangedWorkSet(project);

    test::TScriptedReport script;
    script.PlanAnswer(ReportAnswer::Yes);
    ASSERT_TRUE(project.ReleaseWorkSet());
    EXPECT_EQ(script.Questions(),
              (std::vector<std::string>{"There were changes made to the CSI set: csi, would you like to save it?"}));
    EXPECT_EQ(project.m_pWorkSet, nullptr);
    EXPECT_FALSE(set->IsLoaded());
    EXPECT_EQ(set->m_bWorkSet, 0);
    EXPECT_FALSE(project.IsModified());
    EXPECT_TRUE(FileExists(m_dir.File("p.tpj")));
    // The saved samples come back.
    project.SetWorkSet(set);
    EXPECT_EQ(set->GetVoxel(size_t(0))->GetReal(0), 20.0f);
}

TEST_F(ProjectTest, ReleasingKeepsTheSetWhenItsProjectFileCannotBeReplaced)
{
    TProject project(&m_shell);
    TCSISet* set = ChangedWorkSet(project);
    const std::string before = test::ReadBytes(set->GetFilePath());
    ASSERT_TRUE(MakeFolder(m_dir.File("p.tpj")));  // nothing can be renamed over it

    test::TScriptedReport script;
    script.PlanAnswer(ReportAnswer::Yes);
    EXPECT_FALSE(project.ReleaseWorkSet());
    EXPECT_EQ(script.Messages(), (std::vector<std::string>{"The project could not be saved: " + m_dir.File("p.tpj") +
                                                           " could not be replaced: is a directory."}));
    // The data-set file changes only with the project file: the samples stay in memory.
    EXPECT_EQ(test::ReadBytes(set->GetFilePath()), before);
    EXPECT_EQ(project.m_pWorkSet, set);
    EXPECT_TRUE(project.IsModified());
    EXPECT_EQ(set->GetVoxel(size_t(0))->GetReal(0), 20.0f);
}

TEST_F(ProjectTest, AFailedSaveReplacesNoFileAndKeepsTheUndoHistoryAndTheMaps)
{
    int disabled = 0;
    CountUndoDisabling(disabled);
    TProject project(&m_shell);
    TCSISet* set = ChangedWorkSet(project);
    test::AddValuedMap(*set, "naa_map", [](int v) { return TComplex(float(v), 0.0f); });
    ASSERT_TRUE(project.SaveWorkSet(false));
    ASSERT_TRUE(project.Save());
    // The folder's files by name with a hash of their bytes.
    const auto folderFiles = [&] {
        std::vector<std::pair<std::string, size_t>> files;
        for (const TFolderEntry& entry : vx::test::ListedEntries(m_dir.Path()))
            if (!entry.isFolder && entry.name != ".vexara.lock")
                files.emplace_back(entry.name, std::hash<std::string>{}(test::ReadBytes(m_dir.File(entry.name))));
        return files;
    };
    const auto saved = folderFiles();
    ASSERT_EQ(saved.size(), 3u);  // the data-set, map and project files

    // Changed samples, a changed map and a new one.
    set->GetVoxel(size_t(0))->Data()[0] = TComplex(30.0f, 0.0f);
    test::AddValuedMap(*set, "naa_map", [](int v) { return TComplex(-float(v), 1.0f); });
    test::AddValuedMap(*set, "cho_map", [](int v) { return TComplex(2.0f * v, 0.0f); });
    project.SetModified(true);
    disabled = 0;

    test::TScriptedReport script;
    script.AllowDefaults();
    // The disk fills up once the data-set file is written: a map file cannot be.
    TFile::FailWritesAfter(256 + 60 * 8 * 8 + 100);
    EXPECT_FALSE(project.SaveIfModified());
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(folderFiles(), saved);
    // The project file cannot be replaced.
    ASSERT_EQ(std::rename(m_dir.File("p.tpj").c_str(), m_dir.File("kept").c_str()), 0);
    ASSERT_TRUE(MakeFolder(m_dir.File("p.tpj")));
    EXPECT_FALSE(project.SaveIfModified());
    ASSERT_TRUE(RemoveFile(m_dir.File("p.tpj")));
    ASSERT_EQ(std::rename(m_dir.File("kept").c_str(), m_dir.File("p.tpj").c_str()), 0);
    EXPECT_EQ(folderFiles(), saved);

    EXPECT_EQ(disabled, 0);
    EXPECT_TRUE(project.IsModified());
    EXPECT_EQ(set->FindMap("cho_map")->GetState(), TMap::kNeverSaved);
    EXPECT_EQ(set->GetVoxel(size_t(0))->GetReal(0), 30.0f);
    // The same save goes through once the files can be replaced.
    EXPECT_TRUE(project.SaveIfModified());
    EXPECT_EQ(disabled, 1);
    EXPECT_EQ(set->FindMap("cho_map")->GetState(), TMap::kSaved);
    EXPECT_EQ(folderFiles().size(), 4u);
    EXPECT_NE(folderFiles()[0], saved[0]);  // the data-set file
}

TEST_F(ProjectTest, ReleasingWithNoDropsTheChangesAndTheMaps)
{
    TProject project(&m_shell);
    TCSISet* set = ChangedWorkSet(project);
    test::AddNamedMap(*set, "naa_map", TMap::kNeverSaved);

    test::TScriptedReport script;
    script.PlanAnswer(ReportAnswer::No);
    ASSERT_TRUE(project.ReleaseWorkSet());
    EXPECT_EQ(set->m_pMapList, nullptr);
    EXPECT_FALSE(project.IsModified());
    project.SetWorkSet(set);
    EXPECT_EQ(set->GetVoxel(size_t(0))->GetReal(0), 0.0f);
}

TEST_F(ProjectTest, NoQuestionInBatchMode)
{
    TProject project(&m_shell);
    ChangedWorkSet(project);
    g_bBatchMode = true;
    test::TScriptedReport script;  // an unplanned question would fail the test
    EXPECT_TRUE(project.ReleaseWorkSet());
    EXPECT_EQ(script.Count(), 0u);
    EXPECT_EQ(project.m_pWorkSet, nullptr);
}

TEST_F(ProjectTest, FailedWorkSetWriteKeepsTheSamplesAndTheModifiedFlag)
{
    int disabled = 0;
    CountUndoDisabling(disabled);
    TProject project(&m_shell);
    TCSISet* set = ChangedWorkSet(project);
    TCSISet* other = AddStoredSet(project, "other");
    const std::string before = test::ReadBytes(set->GetFilePath());

    test::TScriptedReport script;
    script.AllowDefaults();
    TFile::FailWritesAfter(0);
    EXPECT_FALSE(project.SaveWorkSet(false));
    EXPECT_FALSE(project.SaveIfModified());  // Yes is the default answer
    script.PlanAnswer(ReportAnswer::Yes);
    EXPECT_FALSE(project.ReleaseWorkSet());
    project.SetWorkSet(other);  // giving up the set would lose its samples: refused
    TFile::FailWritesAfter(-1);

    EXPECT_EQ(project.m_pWorkSet, set);
    EXPECT_TRUE(set->IsLoaded());
    EXPECT_EQ(set->m_bWorkSet, 1);
    EXPECT_EQ(set->GetVoxel(size_t(0))->GetReal(0), 20.0f);
    EXPECT_TRUE(project.IsModified());
    EXPECT_FALSE(other->IsLoaded());
    EXPECT_EQ(disabled, 0);
    EXPECT_EQ(test::ReadBytes(set->GetFilePath()), before);

    // Once the disk takes writes again the same release goes through.
    script.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(project.ReleaseWorkSet());
    EXPECT_EQ(disabled, 1);
}

TEST_F(ProjectTest, SaveWorkSetAsksAboutMaps)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    TCSISet* set = AddStoredSet(project, "csi");
    const std::string mapFile = m_dir.File("csi_naa_map");
    project.SetWorkSet(set);
    EXPECT_TRUE(project.SaveWorkSet(true));  // no maps: no question, nothing written
    TMap* map = test::AddValuedMap(*set, "naa_map", [](int v) { return TComplex(float(v), 0.0f); });

    test::TScriptedReport script;
    script.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(project.SaveWorkSet(true));
    EXPECT_TRUE(FileExists(mapFile));
    EXPECT_EQ(map->GetState(), TMap::kSaved);
    EXPECT_EQ(script.Questions(),
              (std::vector<std::string>{"Do you want to save the maps for the CSI work set csi ?"}));
    RemoveFile(mapFile);
    EXPECT_TRUE(project.SaveWorkSet(false));  // not asked
    EXPECT_TRUE(FileExists(mapFile));
    RemoveFile(mapFile);
    script.PlanAnswer(ReportAnswer::No);
    EXPECT_TRUE(project.SaveWorkSet(true));
    EXPECT_FALSE(FileExists(mapFile));
    EXPECT_EQ(set->m_pMapList, nullptr);
    EXPECT_EQ(script.Questions().size(), 2u);
}

TEST_F(ProjectTest, FailedMapWriteKeepsTheUndoHistory)
{
    int disabled = 0;
    CountUndoDisabling(disabled);
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    TCSISet* set = AddStoredSet(project, "csi");
    project.SetWorkSet(set);
    test::AddValuedMap(*set, "naa_map", [](int v) { return TComplex(float(v), 0.0f); });
    test::TScriptedReport script;
    // Each writer's message says that the set was not saved, and why.
    TFile::FailWritesAfter(0);
    EXPECT_FALSE(project.SaveWorkSet(false));
    EXPECT_EQ(script.Messages(), (std::vector<std::string>{"Can not write CSI data set file " + set->GetFilePath() +
                                                           ".\r\nThe CSI set csi was not saved: the disk is full."}));
    script.Clear();
    TFile::FailWritesAfter(256 + 60 * 8 * 8 + 100);  // the data-set file goes through, the map does not
    EXPECT_FALSE(project.SaveWorkSet(false));
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(script.Messages(), (std::vector<std::string>{"Can not write map file " + m_dir.File("csi_naa_map") +
                                                           "\r\nThe CSI set csi was not saved: the disk is full."}));
    EXPECT_FALSE(FileExists(m_dir.File("csi_naa_map")));
    EXPECT_EQ(disabled, 0);
}

TEST_F(ProjectTest, ZeroFillAddsTheEnlargedSetBesideTheUntouchedWorkSet)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    project.m_strName = "p";
    TCSISet* brain = AddStoredSet(project, "brain", 8, 8, 1);
    const std::string brainFile = test::ReadBytes(brain->GetFilePath());
    project.SetWorkSet(brain);
    brain->m_bKSpace = 0;
    brain->m_nSliceAxis = 2;
    const std::vector<TComplex> samples = test::AllSamples(*brain);
    test::TScriptedReport script;
    const int size[3] = {16, 16, 1};
    project.ZeroFillCSISet(brain, size);
    EXPECT_EQ(script.Count(), 0u);

    ASSERT_EQ(project.m_pCSISetList->GetCount(), 2);
    TCSISet* filled = project.m_pCSISetList->FindByName("brain_16_16_1");
    ASSERT_NE(filled, nullptr);
    EXPECT_EQ(filled->GetFilePath(), m_dir.File("brain_16_16_1"));
    EXPECT_EQ(filled->GetProject(), &project);
    TCSISet reread;
    ASSERT_TRUE(reread.ReadDataFile(m_dir.File("brain_16_16_1")));
    EXPECT_EQ(reread.m_nDim[0], 16);
    EXPECT_EQ(reread.m_nDim[1], 16);
    EXPECT_EQ(reread.m_nPoints, 8);
    EXPECT_EQ(reread.m_bKSpace, 0);
    // The project file names both sets.
    TProject saved;
    ASSERT_TRUE(saved.Load(m_dir.File("p.tpj")));
    EXPECT_NE(saved.m_pCSISetList->FindByName("brain_16_16_1"), nullptr);
    EXPECT_NE(saved.m_pCSISetList->FindByName("brain"), nullptr);

    // The old set stays the work set with its samples and its file as they were.
    EXPECT_EQ(project.m_pWorkSet, brain);
    const std::vector<TComplex> after = test::AllSamples(*brain);
    ASSERT_EQ(after.size(), samples.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_LT(std::abs(after[i] - samples[i]), 1e-5f) << i;
    EXPECT_EQ(test::ReadBytes(brain->GetFilePath()), brainFile);
}

TEST_F(ProjectTest, SaveIfModifiedAsksOnlyWhenModified)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    project.m_strName = "p";
    test::TScriptedReport script;
    EXPECT_TRUE(project.SaveIfModified());
    EXPECT_EQ(script.Count(), 0u);
    project.SetModified(true);
    script.PlanAnswer(ReportAnswer::No);
    EXPECT_TRUE(project.SaveIfModified());
    EXPECT_FALSE(FileExists(m_dir.File("p.tpj")));
    EXPECT_TRUE(project.IsModified());
    script.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(project.SaveIfModified());
    EXPECT_TRUE(FileExists(m_dir.File("p.tpj")));
    EXPECT_FALSE(project.IsModified());
    EXPECT_EQ(script.Questions(), (std::vector<std::string>{kSaveProject, kSaveProject}));
}

TEST_F(ProjectTest, SelectSavedWorkSetTakesTheFirstFlaggedSet)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    TCSISet* a = AddStoredSet(project, "a");
    TCSISet* b = AddStoredSet(project, "b");
    TCSISet* c = AddStoredSet(project, "c");
    project.SelectSavedWorkSet();
    EXPECT_EQ(project.m_pWorkSet, nullptr);
    b->m_bWorkSet = 1;
    c->m_bWorkSet = 1;
    project.SelectSavedWorkSet();
    EXPECT_EQ(project.m_pWorkSet, b);
    EXPECT_EQ(a->m_bWorkSet, 0);
    EXPECT_EQ(b->m_bWorkSet, 1);
    EXPECT_EQ(c->m_bWorkSet, 0);
}

TEST_F(ProjectTest, MapsAreFoundByExactSetAndMapName)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    TCSISet* a = AddStoredSet(project, "a");
    TCSISet* b = AddStoredSet(project, "b");
    TMap* naaA = test::AddNamedMap(*a, "naa");
    TMap* naaB = test::AddNamedMap(*b, "naa");
    TMap* cho = test::AddNamedMap(*b, "cho");
    EXPECT_EQ(project.FindSetMap("B", "naa"), nullptr);
    EXPECT_EQ(project.FindSetMap("c", "naa"), nullptr);
    EXPECT_EQ(project.FindSetMap("b", "NAA"), nullptr);
    EXPECT_EQ(project.FindSetMap("a", "naa"), naaA);
    EXPECT_EQ(project.FindSetMap("b", "naa"), naaB);

    // Reference candidates: the maps scaled by an internal reference, sets and maps in order.
    EXPECT_TRUE(project.CollectMarkedMaps().empty());
    cho->useInternalReference = 1;
    naaA->useInternalReference = 1;
    EXPECT_EQ(project.CollectMarkedMaps(), (std::vector<TMap*>{naaA, cho}));
}

TEST_F(ProjectTest, InformationPagesOnlyWhileTheWindowExists)
{
    TProject project(&m_shell);
    m_shell.Take();
    project.ShowImageInfo(nullptr);
    project.ShowMapInfo({nullptr, nullptr});
    EXPECT_TRUE(m_shell.Take().empty());
    m_shell.hasInfo = true;
    project.ShowImageInfo(nullptr);
    project.ShowMapInfo({nullptr, nullptr});
    project.ShowWorkSetInfo();
    EXPECT_EQ(m_shell.Take(), (test::TCallLog{"UpdateImagePage", "UpdateMapPage 2", "UpdateCSIPage none"}));
}

TEST_F(ProjectTest, FrameCallsAreForwarded)
{
    TProject project(&m_shell);
    m_shell.Take();
    project.RedrawVoxel(1, 2, 3);
    project.RedrawVoxelSet({nullptr, nullptr, nullptr});
    project.OpenSliceFrameByPosition(2, 1.5f);
    project.UpdateFrames(true, false, true, false, true);
    project.ApplyMapScale(nullptr);
    project.RefreshSliceFrameImages();
    project.CloseImageFrames();
    EXPECT_EQ(m_shell.Take(), (test::TCallLog{"RedrawVoxel 1 2 3", "RedrawVoxelSet 3",
                                              "OpenSliceFrameByPosition 2 1.500000", "UpdateAll 10101",
                                              "ApplyMapScale", "RefreshSliceFrameImages", "DestroyAll"}));
}

namespace {

// Stand-ins for the processing objects: the hooks receive them as opaque pointers.
struct TFakeHistory {
    std::vector<int> done, undone;
    bool deleted = false;
};
struct TFakeOwned {
    bool computed = true;
    int deletions = 0;
    int reruns = 0;
};

template <class T, class U>
T* As(U* p)
{
    return reinterpret_cast<T*>(p);
}

}  // namespace

TEST_F(ProjectTest, ProcessingObjectsAreDrivenAndDeletedThroughTheHooks)
{
    TFakeHistory history;
    TFakeOwned analysis, estimate, region;
    int stepsDeleted = 0;
    TProcessingHooks hooks;
    hooks.newHistory = [&] { return As<TProcessHistory>(&history); };
    hooks.deleteHistory = [](TProcessHistory* h) { As<TFakeHistory>(h)->deleted = true; };
    hooks.addStep = [](TProcessHistory* h, TProcessStep* s) {
        As<TFakeHistory>(h)->done.push_back(*As<int>(s));
        As<TFakeHistory>(h)->undone.clear();
    };
    hooks.undo = [](TProcessHistory* h) {
        auto* f = As<TFakeHistory>(h);
        if (f->done.empty())
            return false;
        f->undone.push_back(f->done.back());
        f->done.pop_back();
        return true;
    };
    hooks.redo = [](TProcessHistory* h) {
        auto* f = As<TFakeHistory>(h);
        if (f->undone.empty())
            return false;
        f->done.push_back(f->undone.back());
        f->undone.pop_back();
        return true;
    };
    hooks.cannotUndo = [](TProcessHistory* h) { return As<TFakeHistory>(h)->done.empty(); };
    hooks.clear = [](TProcessHistory* h) {
        As<TFakeHistory>(h)->done.clear();
        As<TFakeHistory>(h)->undone.clear();
    };
    hooks.deleteStep = [&](TProcessStep*) { ++stepsDeleted; };
    hooks.setAnalysisComputed = [](TAnalysis* a, bool done) { As<TFakeOwned>(a)->computed = done; };
    hooks.deleteAnalysis = [](TAnalysis* a) { ++As<TFakeOwned>(a)->deletions; };
    hooks.deleteEstimate = [](TRegionEstimate* e) { ++As<TFakeOwned>(e)->deletions; };
    hooks.deleteRegion = [](TDrawnRegion* r) { ++As<TFakeOwned>(r)->deletions; };
    hooks.rerunEstimate = [](TRegionEstimate* e) {
        ++As<TFakeOwned>(e)->reruns;
        return true;
    };
    InstallProcessingHooks(hooks);

    int steps[3] = {1, 2, 3};
    {
        TProject project(&m_shell);
        project.m_strFolder = m_dir.Path();
        ASSERT_EQ(project.m_history, As<TProcessHistory>(&history));
        project.m_analyses.push_back(As<TAnalysis>(&analysis));
        project.m_regionEstimates.push_back(As<TRegionEstimate>(&estimate));
        project.m_drawnRegions[0] = As<TDrawnRegion>(&region);

        project.RecordStep(As<TProcessStep>(&steps[0]), false);
        EXPECT_TRUE(analysis.computed);
        project.RecordStep(As<TProcessStep>(&steps[1]), true);
        EXPECT_FALSE(analysis.computed);
        project.SetAnalysesDone(true);
        project.RecordStep(As<TProcessStep>(&steps[2]), true);
        EXPECT_EQ(history.done, (std::vector<int>{1, 2, 3}));
        project.SetAnalysesDone(true);
        project.Undo();
        EXPECT_FALSE(analysis.computed);
        EXPECT_EQ(history.undone, (std::vector<int>{3}));
        project.SetAnalysesDone(true);
        project.Redo();
        EXPECT_FALSE(analysis.computed);
        EXPECT_EQ(history.done, (std::vector<int>{1, 2, 3}));
        project.UpdateRegionEstimates();
        EXPECT_EQ(estimate.reruns, 1);

        // Clear all undoes every step before it clears the history.
        project.ClearAllOperations();
        EXPECT_TRUE(history.done.empty());
        EXPECT_TRUE(history.undone.empty());

        project.ClearRegionEstimates();
        EXPECT_EQ(estimate.deletions, 1);
        EXPECT_EQ(region.deletions, 1);
        EXPECT_TRUE(project.m_regionEstimates.empty());
        EXPECT_TRUE(project.m_drawnRegions.empty());
        project.m_regionEstimates.push_back(As<TRegionEstimate>(&estimate));
    }
    EXPECT_EQ(analysis.deletions, 1);
    EXPECT_EQ(estimate.deletions, 2);
    EXPECT_TRUE(history.deleted);
    EXPECT_EQ(stepsDeleted, 0);

    // Without a history a recorded step is deleted at once instead of leaking.
    hooks.newHistory = nullptr;
    InstallProcessingHooks(hooks);
    TProject bare;
    bare.RecordStep(As<TProcessStep>(&steps[0]), false);
    EXPECT_EQ(stepsDeleted, 1);
}

TEST_F(ProjectTest, CreateWithAMainFrameTakesItsFrameList)
{
    TProject refused;
    EXPECT_FALSE(refused.Create(m_dir.File("a"), "~a", &m_shell));
    EXPECT_EQ(refused.m_pMainFrame, nullptr);
    EXPECT_EQ(m_shell.frames, nullptr);

    TProject project;
    ASSERT_TRUE(project.Create(m_dir.File("a"), "a", &m_shell));
    EXPECT_EQ(project.m_pMainFrame, &m_shell);
    ASSERT_NE(m_shell.frames, nullptr);
    EXPECT_EQ(project.m_frameList.get(), m_shell.frames);
    EXPECT_EQ(m_shell.frames->project, &project);
}

TEST_F(ProjectTest, ShiftWorkSetVoxelsMovesTheInPlaneGrid)
{
    TProject project(&m_shell);
    project.m_strFolder = m_dir.Path();
    project.ShiftWorkSetVoxels(TPoint2D(1.0f, 1.0f), 2);  // no work set: nothing
    TCSISet* set = AddStoredSet(project, "csi", 4, 4, 2);
    project.SetWorkSet(set);
    project.ShiftWorkSetVoxels(TPoint2D(2.0f, -3.0f), 0);  // sagittal: axes y and z
    EXPECT_EQ(set->m_fVoxelShift[0], 0.0f);
    EXPECT_EQ(set->m_fVoxelShift[1], 2.0f);
    EXPECT_EQ(set->m_fVoxelShift[2], -3.0f);
}
