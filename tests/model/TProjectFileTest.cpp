// The project file: golden files of every version (packed with their data-set and pixel
// files by make_project_golden.py), conversion of old projects, failed saves, round trip,
// truncation.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "platform/TFolderLock.h"
#include "support/Bytes.h"
#include "support/CSISetBuilders.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/MapChecks.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

const char* const kInvalid = "Error: Invalid Project File";

std::string GoldenPath(const std::string& name)
{
    return std::string(VX_SOURCE_ROOT) + "/tests/model/golden/" + name;
}

class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobals(); }
    void TearDown() override
    {
        TFile::FailWritesAfter(-1);
        ResetGlobals();
    }

    // Copies the golden project of a version into a fresh folder; returns the folder.
    std::string CopyGolden(int version)
    {
        // Projects from version 2 on hold the maps csi_NAA_map and csi_Cho_map.
        const std::string folder = m_dir.File("v" + std::to_string(version) + "_" + std::to_string(++m_copies));
        std::filesystem::copy(GoldenPath("project_v" + std::to_string(version)), folder);
        return folder;
    }

    test::TTempFolder m_dir;
    int m_copies = 0;
};

// Restores `folder` from `pristine`, runs `command` on its project in a child (which arms the
// kill itself), and copies what the folder then holds to `copy` without
// its hidden entries (as "cp -r p/*" does). True when the child was killed.
bool KillThenCopyWithoutHiddenFiles(const std::string& pristine, const std::string& folder, const std::string& copy,
                                    const std::function<bool(TProject&)>& command)
{
    test::RestoreFolder(pristine, folder);
    const bool killed = test::RunInChild([&] {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        if (!project.Load(folder + "/p.tpj"))
            return false;
        return command(project);
    });
    std::filesystem::remove_all(copy);
    std::filesystem::create_directory(copy);
    for (const std::string& name : test::FolderNames(folder))
        if (!name.starts_with("."))
            std::filesystem::copy(folder + "/" + name, copy + "/" + name);
    return killed;
}

// The samples of the golden project's set: sample k of voxel (x, y, z) is
// (x + 10y + 100z + k/4, -(k + 1)/2 - 1000z).
void ExpectGoldenSamples(const TCSISet& set)
{
    ASSERT_TRUE(set.IsLoaded());
    const TSpectrum* voxel = set.GetVoxel(2, 1, 1);
    ASSERT_NE(voxel, nullptr);
    EXPECT_EQ(voxel->GetReal(3), 2 + 10 + 100 + 0.75f);
    EXPECT_EQ(voxel->GetImag(3), -2.0f - 1000.0f);
}

// The maps of the golden project's set (make_map_golden.py's fixture): from version 2
// NAA_map and Cho_map, whose values differ by 0.5; the fields a layout lacks stay at
// the values of a new map.
void ExpectGoldenMaps(const TCSISet& set, int version)
{
    SCOPED_TRACE("maps of version " + std::to_string(version));
    if (version < 2) {
        EXPECT_FALSE(set.HasMaps());
        return;
    }
    ASSERT_EQ(set.ListedMapNames(), (std::vector<std::string>{"NAA_map", "Cho_map"}));
    for (const auto& [name, offset] : {std::pair{"NAA_map", 0.0f}, std::pair{"Cho_map", 0.5f}}) {
        const TMap* map = set.FindMap(name);
        ASSERT_NE(map, nullptr) << name;
        EXPECT_EQ(map->GetCSISet(), &set);
        ASSERT_EQ(map->ValueCount(), 12u) << name;
        EXPECT_EQ(map->Values()[map->ValueIndex(2, 1, 1)], TComplex(112.0f + offset, -1000.5f + offset)) << name;
        EXPECT_EQ(map->peakStartPPM, 2.25f);
        EXPECT_EQ(map->peakEndPPM, 1.75f);
        EXPECT_EQ(map->angulation[0], version >= 3 ? 10.0f : 0.0f);
        EXPECT_EQ(map->t1, version >= 8 ? 1400.0f : 0.0f);
        EXPECT_EQ(map->GetReferenceMapName(), version >= 8 ? "water_map" : "n/a");
    }
}

}  // namespace

TEST_F(ProjectFileTest, DocumentedEmptyProjectLoadsWithFlagsNine)
{
    test::TScriptedReport script;
    test::WriteBytes(m_dir.File("empty.tpj"), test::ReadBytes(GoldenPath("project_empty_v9.tpj")));
    EXPECT_TRUE(TProject::CheckProjectFile(m_dir.File("empty.tpj")));
    TProject project;
    ASSERT_TRUE(project.Load(m_dir.File("empty.tpj")));
    EXPECT_EQ(project.m_display.m_nFlags, 9);
    EXPECT_EQ(project.m_display.m_nXStart, 10);
    EXPECT_EQ(project.m_display.m_nXEnd, 500);
    EXPECT_EQ(project.m_display.m_fYMin, -1.0f);
    EXPECT_EQ(project.m_display.m_fYMax, 1.0f);
    EXPECT_EQ(project.m_nFileVersion, 9);
    EXPECT_EQ(project.m_strName, "empty");
    EXPECT_EQ(project.GetFolder(), m_dir.Path());
    EXPECT_EQ(script.Count(), 0u);
}

TEST_F(ProjectFileTest, VersionsOutsideZeroToNineAreRefused)
{
    const std::string body = test::ReadBytes(GoldenPath("project_empty_v9.tpj")).substr(4);
    for (int32_t version : {10, -1}) {
        test::TScriptedReport script;
        test::WriteBytes(m_dir.File("bad.tpj"), test::Int32LE({version}) + body);
        TProject project;
        EXPECT_FALSE(project.Load(m_dir.File("bad.tpj"))) << version;
        EXPECT_EQ(script.Messages(), (std::vector<std::string>{kInvalid})) << version;
    }
}

TEST_F(ProjectFileTest, TildeNameAndQuotedPath)
{
    test::WriteBytes(m_dir.File("~name.tpj"), test::ReadBytes(GoldenPath("project_empty_v9.tpj")));
    TProject project;
    ASSERT_TRUE(project.Load("\"" + m_dir.File("~name.tpj") + "\""));
    EXPECT_EQ(project.m_strName, "name");
    EXPECT_TRUE(TProject::CheckProjectFile("\"" + m_dir.File("~name.tpj") + "\""));
    EXPECT_FALSE(TProject::CheckProjectFile(m_dir.File("missing.tpj")));

    test::TScriptedReport script;
    TProject missing;
    EXPECT_FALSE(missing.Load(m_dir.File("missing.tpj")));
    ASSERT_EQ(script.Messages().size(), 1u);
    EXPECT_LE(script.Messages()[0].size(), 100u);
}

TEST_F(ProjectFileTest, GoldenProjectsOfEveryVersionLoadAndConvert)
{
    for (int version = 0; version <= 9; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::string folder = CopyGolden(version);
        const std::string file = folder + "/golden.tpj";
        EXPECT_TRUE(TProject::CheckProjectFile(file));
        test::TScriptedReport script;
        {
            TProject project;
            ASSERT_TRUE(project.Load(file));
            std::vector<std::string> expected;
            if (version < 9)
                expected = {"The project file golden has an old version. Click OK to convert it to the newest version.",
                            "The project file golden is converted successfully."};
            EXPECT_EQ(script.Messages(), expected);
            EXPECT_EQ(project.m_nFileVersion, 9);
            EXPECT_EQ(project.m_display.m_nXEnd, 3);  // the work set resets the display to its points

            ASSERT_EQ(project.m_pImageSet->GetCount(), 1);
            TMRImage* image = *project.m_pImageSet->Begin();
            EXPECT_EQ(image->GetName(), "ax");
            EXPECT_EQ(image->GetPixel(3, 2), 255);  // the 8-bit 255 of old projects stays 255
            EXPECT_EQ(image->GetPixel(1, 1), 20);

            ASSERT_EQ(project.m_pCSISetList->GetCount(), 1);
            TCSISet* set = *project.m_pCSISetList->Begin();
            EXPECT_EQ(set->GetName(), "csi");
            ASSERT_EQ(project.m_pWorkSet, set);  // the saved work set is selected again
            ExpectGoldenSamples(*set);
            ExpectGoldenMaps(*set, version);
        }
        // Everything on disk is of the newest version now.
        EXPECT_EQ(test::Int32LEAt(test::ReadBytes(file), 0), 9);
        EXPECT_EQ(test::Int32LEAt(test::ReadBytes(folder + "/csi"), 0), 9);
        EXPECT_EQ(FileSize(folder + "/ax"), 24);
        for (const char* name : {"csi", "ax", "csi_NAA_map", "csi_Cho_map"})
            EXPECT_FALSE(FileExists(folder + "/" + name + ".converting")) << name;
        if (version >= 2) {
            for (const char* name : {"/csi_NAA_map", "/csi_Cho_map"})
                EXPECT_EQ(test::Int32LEAt(test::ReadBytes(folder + name), 0), 9) << name;
        }
        script.Clear();
        TProject again;
        ASSERT_TRUE(again.Load(file));
        EXPECT_EQ(script.Count(), 0u);
        EXPECT_EQ((*again.m_pImageSet->Begin())->GetPixel(3, 2), 255);
        ExpectGoldenMaps(**again.m_pCSISetList->Begin(), version);
    }
}

// An old project whose set record and data-set file give other frequencies (earlier
// versions recorded a work set's unsaved parameters) opens and is converted, with the set as
// its file holds it.
TEST_F(ProjectFileTest, AnOldProjectWhoseSetRecordDisagreesWithItsFileIsStillConverted)
{
    for (int version : {2, 5, 8}) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::string folder = CopyGolden(version);
        std::string samples = test::ReadBytes(folder + "/csi");
        const float frequency = 300.0f;
        std::memcpy(&samples[60], &frequency, sizeof frequency);  // after the version, size and 13 words
        test::WriteBytes(folder + "/csi", samples);
        test::TScriptedReport script;
        TProject project;
        ASSERT_TRUE(project.Load(folder + "/golden.tpj"));
        EXPECT_EQ(script.Messages(),
                  (std::vector<std::string>{
                      "The project file golden has an old version. Click OK to convert it to the newest version.",
                      "The project file golden is converted successfully."}));
        ASSERT_EQ(project.m_pCSISetList->GetCount(), 1);
        EXPECT_EQ((*project.m_pCSISetList->Begin())->m_fFrequency, 300.0f);
    }
}

// An old project whose data-set file is of the newest layout already (which its conversion,
// reading the file as the project's version, cannot read): the set is named as not
// converted at once, the project is not converted nor opened, and its files stay as they are.
TEST_F(ProjectFileTest, AnOldProjectWhoseDataSetFileIsOfTheNewestLayoutIsNotConverted)
{
    for (int version : {2, 8}) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::string folder = CopyGolden(version);
        test::WriteBytes(folder + "/csi", test::ReadBytes(GoldenPath("project_v9/csi")));
        const test::TFolderBytes before = test::ReadFolderTree(folder, true);
        test::TScriptedReport script;
        {
            TProject project;
            EXPECT_FALSE(project.Load(folder + "/golden.tpj"));
        }
        EXPECT_EQ(script.Messages(),
                  std::vector<std::string>{
                      "The project golden cannot be opened: it was saved by an older version of the program, and it "
                      "cannot be converted to the newest version while it holds these CSI sets and images, which "
                      "cannot be used:\r\ncsi: its data-set file " + folder + "/csi was not converted with the project: "
                      "it is of the newest version already, the project file of version " + std::to_string(version) +
                      "\r\nIts files are left as they are. Remove these sets and images in the version of the program "
                      "that saved the project, save it there, and open it here again."});
        EXPECT_EQ(test::ReadFolderTree(folder, true), before);
    }
}

TEST_F(ProjectFileTest, FailedConversionKeepsTheOldProject)
{
    // Nothing written at all, or the data-set file written and the maps not (the
    // data-set file of the golden set is 640 bytes), or the read of the 8-bit pixel file
    // failing (the first read once the conversion has staged its first file), or the
    // conversion's open of the data-set file (the sixth file opened, after the project file
    // and the checks of the pixel file, the data-set file and the two map files), or the
    // open of a map file (the fifth).
    struct Case {
        int version;
        int64_t writable;
        std::vector<std::string> failedFiles;
        std::vector<TFileFault> faults = {};
    };
    const Case cases[] = {
        {3, 0, {"csi", "csi_NAA_map", "csi_Cho_map"}},
        {6, 0, {"csi", "csi_NAA_map", "csi_Cho_map"}},
        {6, 700, {"csi_NAA_map", "csi_Cho_map"}},
        {4, -1, {"ax"}, {{kFileRead, EIO, 1, false, true}}},
        {3, -1, {"csi"}, {{kFileOpenRead, EIO, 6}}},
        {3, -1, {"csi_Cho_map"}, {{kFileOpenRead, EIO, 5}}},
    };
    const std::vector<std::string> files = {"ax", "csi", "csi_Cho_map", "csi_NAA_map", "golden.tpj"};
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + ", " + std::to_string(c.writable) + " bytes, " +
                     c.failedFiles.back() + " failing");
        const std::string folder = CopyGolden(c.version);
        std::vector<std::string> before;
        for (const std::string& name : files)
            before.push_back(test::ReadBytes(folder + "/" + name));
        test::TScriptedReport script;
        {
            TProject project;
            TFile::FailWritesAfter(c.writable);
            test::TFileFaultScope fault(c.faults);
            EXPECT_FALSE(project.Load(folder + "/golden.tpj"));  // an unconverted project is not opened
            TFile::FailWritesAfter(-1);
            EXPECT_EQ(project.m_nFileVersion, c.version);
        }
        const std::vector<std::string> messages = script.Messages();
        // One message, a line for each file that failed; neither the old-version notice
        // nor a success message.
        ASSERT_EQ(messages.size(), 1u);
        const std::string& list = messages.back();
        EXPECT_EQ(list.rfind("The project golden cannot be opened: it was saved by an older version of the program "
                             "and could not be converted to the newest version:\r\n", 0),
                  0u)
            << list;
        for (const std::string& name : c.failedFiles)
            EXPECT_NE(list.find(folder + "/" + name), std::string::npos) << name;
        for (size_t f = 0; f < files.size(); ++f) {
            EXPECT_EQ(test::ReadBytes(folder + "/" + files[f]), before[f]) << files[f];
            EXPECT_FALSE(FileExists(folder + "/" + files[f] + ".converting")) << files[f];
        }
        EXPECT_EQ(test::FolderNames(folder), files);  // nor a work folder of the change
    }
}

TEST_F(ProjectFileTest, AWorkSetSaveWhoseProjectFileCannotBeWrittenSaysSo)
{
    test::TScriptedReport script;
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.Create(m_dir.Path(), "p"));
    TCSISet* set = test::AddWrittenSet(project, m_dir.Path(), "a", 4, 4, 1);
    ASSERT_TRUE(project.Save());
    project.SetWorkSet(set);
    set->GetVoxel(size_t(1))->Data()[2] = TComplex(9.0f, 9.0f);
    project.SetModified(true);
    const std::string projectFile = test::ReadBytes(m_dir.File("p.tpj")), dataFile = test::ReadBytes(m_dir.File("a"));
    // The data-set file fits on the disk, the project file after it does not.
    TFile::FailWritesAfter(static_cast<int64_t>(dataFile.size()));
    EXPECT_FALSE(project.SaveWorkSet(false));
    TFile::FailWritesAfter(-1);
    ASSERT_EQ(script.Messages().size(), 1u);
    EXPECT_EQ(script.Messages()[0].rfind("The project could not be saved", 0), 0u) << script.Messages()[0];
    EXPECT_EQ(test::ReadBytes(m_dir.File("p.tpj")), projectFile);
    EXPECT_EQ(test::ReadBytes(m_dir.File("a")), dataFile);
    EXPECT_TRUE(project.IsModified());
    g_pProject = nullptr;
}

TEST_F(ProjectFileTest, FailedSaveReportsAndKeepsTheOldFileAndTheFlag)
{
    TProject project;
    ASSERT_TRUE(project.Create(m_dir.Path(), "p"));
    const std::string before = test::ReadBytes(m_dir.File("p.tpj"));
    project.m_display.m_nXEnd = 77;
    project.SetModified(true);
    {
        test::TScriptedReport script;
        TFile::FailWritesAfter(0);
        EXPECT_FALSE(project.Save());
        TFile::FailWritesAfter(-1);
        EXPECT_EQ(script.Messages(),
                  (std::vector<std::string>{"Can't write project file. " + m_dir.File("p.tpj") +
                                            " could not be written: the disk is full."}));
    }
    EXPECT_TRUE(project.IsModified());
    EXPECT_EQ(test::ReadBytes(m_dir.File("p.tpj")), before);

    g_bBatchMode = true;
    TFile::FailWritesAfter(0);
    EXPECT_FALSE(project.SaveKeepModified());
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(g_batchLog,
              "Can not write project file. " + m_dir.File("p.tpj") + " could not be written: the disk is full.\r\n");
    EXPECT_TRUE(g_bBatchError);

    // A folder other than the project's is not written to.
    EXPECT_TRUE(project.WriteProjectFile(m_dir.File("elsewhere"), "p.tpj"));
    EXPECT_FALSE(FileExists(m_dir.File("elsewhere/p.tpj")));
}

namespace {

// Adds to the loaded golden project a second set "other" (a copy of the golden set's
// data-set file, of another patient) and a second image "cor" (a copy of "ax").
void AddSecondSetAndImage(TProject& project, const std::string& folder)
{
    std::filesystem::copy_file(folder + "/csi", folder + "/other");
    auto* other = new TCSISet(&project);
    static_cast<TCSIParams&>(*other) = **project.m_pCSISetList->Begin();
    other->m_strName = "other";
    other->m_strPatientName = "Roe^Richard";
    other->SetFolder(folder);
    project.m_pCSISetList->Add(other);
    std::filesystem::copy_file(folder + "/ax", folder + "/cor");
    auto* image = new TMRImage(&project);
    image->SetName("cor", false);
    image->SetPath(folder + "/cor");
    image->SetWidth(4, false);
    image->SetHeight(3, false);
    image->SetOrientation(1, false);
    image->SetParameter(-20.0f, TMRImage::ParamSlicePosition, false);
    project.m_pImageSet->Insert(image);
}

}  // namespace

TEST_F(ProjectFileTest, ProjectWrittenAndReadBackIsTheSame)
{
    const std::string folder = CopyGolden(9);
    std::string first;
    {
        TProject project;
        ASSERT_TRUE(project.Load(folder + "/golden.tpj"));
        // Without a work set the display block is read back as stored.
        ASSERT_TRUE(project.ReleaseWorkSet());
        AddSecondSetAndImage(project, folder);
        project.m_display.m_nXStart = 2;
        project.m_display.m_fYMin = -3.5f;
        ASSERT_TRUE(project.Save());
        first = test::ReadBytes(folder + "/golden.tpj");
    }
    TProject read;
    ASSERT_TRUE(read.Load(folder + "/golden.tpj"));
    EXPECT_EQ(read.m_display.m_nXStart, 2);
    EXPECT_EQ(read.m_display.m_fYMin, -3.5f);
    ASSERT_EQ(read.m_pCSISetList->GetCount(), 2);
    EXPECT_EQ((*std::next(read.m_pCSISetList->Begin()))->m_strPatientName, "Roe^Richard");
    ASSERT_EQ(read.m_pImageSet->GetCount(), 2);
    EXPECT_EQ((*read.m_pImageSet->Begin())->GetName(), "cor");
    // Writing the loaded project gives the same bytes.
    ASSERT_TRUE(read.Save());
    EXPECT_EQ(test::ReadBytes(folder + "/golden.tpj"), first);
}

namespace {

// Loads the cut file: it must be refused as invalid, and stay as it was.
void ExpectCutRefused(const std::string& path, const std::string& bytes, size_t length)
{
    test::WriteBytes(path, bytes.substr(0, length));
    EXPECT_FALSE(TProject::CheckProjectFile(path)) << length;
    test::TScriptedReport script;
    {
        TProject project;
        EXPECT_FALSE(project.Load(path)) << length;
    }
    EXPECT_EQ(script.Messages(), std::vector<std::string>{kInvalid}) << length;
    EXPECT_EQ(test::ReadBytes(path), bytes.substr(0, length)) << length;
}

}  // namespace

TEST_F(ProjectFileTest, EveryTruncationIsRefusedCleanly)
{
    const std::string folder = CopyGolden(9);
    const std::string whole = test::ReadBytes(folder + "/golden.tpj");
    // A cut header, a count cut off or a record cut short: never a project with fewer
    // images or sets, which its next save would make for good.
    for (size_t length = 0; length < whole.size(); ++length)
        ExpectCutRefused(folder + "/cut.tpj", whole, length);
}

TEST_F(ProjectFileTest, AProjectOfTwoSetsWithMapsAndTwoImagesCutAnywhereIsRefused)
{
    const std::string folder = CopyGolden(9);
    {
        TProject project;
        ASSERT_TRUE(project.Load(folder + "/golden.tpj"));
        ASSERT_TRUE(project.ReleaseWorkSet());
        // Beside the golden set, which has the maps NAA_map and Cho_map.
        AddSecondSetAndImage(project, folder);
        ASSERT_TRUE(project.Save());
    }
    const std::string path = folder + "/golden.tpj";
    const std::string whole = test::ReadBytes(path);
    {
        test::TScriptedReport script;
        TProject project;
        ASSERT_TRUE(project.Load(path));
        ASSERT_EQ(project.m_pCSISetList->GetCount(), 2);
        ASSERT_EQ(project.m_pImageSet->GetCount(), 2);
        EXPECT_EQ((*project.m_pCSISetList->Begin())->ListedMapNames().size(), 2u);
        EXPECT_EQ(script.Count(), 0u);
    }

    // Where each count and record ends.
    std::vector<size_t> ends = {24};
    TFile in;
    ASSERT_TRUE(in.Open(path, TFile::Mode::Read));
    ASSERT_TRUE(in.Seek(24));
    int32_t count = 0;
    ASSERT_TRUE(in.ReadInt32(count) && count == 2);
    ends.push_back(static_cast<size_t>(in.Tell()));
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(TMRImage::SkipRecord(in, 9));
        ends.push_back(static_cast<size_t>(in.Tell()));
    }
    ASSERT_TRUE(in.ReadInt32(count) && count == 2);
    ends.push_back(static_cast<size_t>(in.Tell()));
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(TCSISet::SkipProjectEntry(in, 9));
        ends.push_back(static_cast<size_t>(in.Tell()));
    }
    ASSERT_EQ(ends.back(), whole.size());
    in.Close();

    // Every third byte, and every byte near the end of a count or record.
    std::set<size_t> lengths;
    for (size_t length = 0; length < whole.size(); length += 3)
        lengths.insert(length);
    for (const size_t end : ends)
        for (size_t length = end > 12 ? end - 12 : 0; length <= end + 12 && length < whole.size(); ++length)
            lengths.insert(length);
    for (const size_t length : lengths)
        ExpectCutRefused(folder + "/cut.tpj", whole, length);
}

TEST_F(ProjectFileTest, ACountCutOffMakesTheProjectInvalidAndNothingIsWrittenOverIt)
{
    // The empty project ends with the image count and the set count, 0 each.
    const std::string whole = test::ReadBytes(GoldenPath("project_empty_v9.tpj"));
    ASSERT_EQ(whole.size(), 32u);
    for (size_t length = 24; length < 32; ++length) {
        const std::string path = m_dir.File("cut" + std::to_string(length) + ".tpj");
        test::WriteBytes(path, whole.substr(0, length));
        test::TScriptedReport script;
        {
            TProject project;
            EXPECT_FALSE(project.Load(path)) << length;
        }
        EXPECT_EQ(script.Messages(), (std::vector<std::string>{kInvalid})) << length;
        EXPECT_EQ(test::ReadBytes(path), whole.substr(0, length)) << length;
    }
}

TEST_F(ProjectFileTest, SaveAsCopiesTheFilesIntoTheNewFolder)
{
    const std::string folder = CopyGolden(9);
    TProject project;
    ASSERT_TRUE(project.Load(folder + "/golden.tpj"));
    const std::string location = m_dir.Path() + "/";
    ASSERT_TRUE(project.SaveAs(location, "copy"));
    const std::string copy = m_dir.File("copy");
    EXPECT_EQ(project.GetFolder(), copy);
    EXPECT_EQ(project.m_strName, "copy");
    EXPECT_TRUE(FileExists(copy + "/copy.tpj"));
    EXPECT_EQ(test::ReadBytes(copy + "/ax"), test::ReadBytes(folder + "/ax"));
    EXPECT_TRUE(FileExists(copy + "/csi"));
    EXPECT_EQ((*project.m_pCSISetList->Begin())->GetFilePath(), copy + "/csi");
    EXPECT_EQ((*project.m_pImageSet->Begin())->GetPath(), copy + "/ax");
    EXPECT_TRUE(TProject::CheckProjectFile(copy + "/copy.tpj"));

    // A location where no folder can be made: the message says why.
    test::WriteBytes(m_dir.File("plain"), "x");
    const struct {
        const char* what;
        std::string location;
        std::vector<TFileFault> faults;
        std::string why;
    } places[] = {
        {"a file in the way", m_dir.File("plain") + "/", {}, "not a directory"},
        {"a read-only file system", location, {{kFileCreate, EROFS, 1, true}}, "the folder or file is write-protected"},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.what);
        test::TScriptedReport script;
        {
            test::TFileFaultScope fault(place.faults);
            EXPECT_FALSE(project.SaveAs(place.location, "sub"));
        }
        EXPECT_EQ(script.Messages(), (std::vector<std::string>{"Failed to save project to " + place.location +
                                                               "sub.\r\nThat folder cannot be made: " + place.why + "."}));
        EXPECT_EQ(project.GetFolder(), copy);
        EXPECT_FALSE(FolderExists(place.location + "sub"));
    }
}

// Copies of the stored part of every map of a set, by name.
std::vector<std::unique_ptr<TMap>> SnapshotMaps(const TCSISet& set)
{
    std::vector<std::unique_ptr<TMap>> copies;
    for (const std::string& name : set.ListedMapNames()) {
        const TMap* map = set.FindMap(name);
        auto copy = std::make_unique<TMap>();
        static_cast<TMapParams&>(*copy) = *map;
        copy->SetGrid(map->size, std::vector<TComplex>(map->Values(), map->Values() + map->ValueCount()));
        copies.push_back(std::move(copy));
    }
    return copies;
}

void ExpectMaps(const TCSISet& set, const std::vector<std::unique_ptr<TMap>>& want)
{
    ASSERT_EQ(set.ListedMapNames().size(), want.size()) << set.GetName();
    for (const std::unique_ptr<TMap>& map : want) {
        const TMap* got = set.FindMap(map->name);
        ASSERT_NE(got, nullptr) << map->name;
        EXPECT_EQ(got->GetCSISet(), &set);
        test::ExpectSameStoredMap(*got, *map);
    }
}

TEST_F(ProjectFileTest, MapsOfTwoSetsComeBackWithTheProjectAndMoveWithSaveAs)
{
    const std::string folder = m_dir.File("two");
    std::vector<std::unique_ptr<TMap>> mapsA, mapsB;
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "two"));
        for (const char* name : {"a", "b"})
            test::AddWrittenSet(project, folder, name, 4, 3, 2);
        TCSISet* a = *project.m_pCSISetList->Begin();
        TCSISet* b = *std::next(project.m_pCSISetList->Begin());
        test::TScriptedReport script;
        script.AllowDefaults();

        project.SetWorkSet(a);
        TMap* naa = test::AddValuedMap(*a, "NAA_map", [](int v) { return TComplex(v * 0.5f, -v); });
        naa->peakStartPPM = 2.1f;
        naa->quantScale = 3.5f;
        naa->useReferenceMap = 1;
        naa->referenceSetName = "b";
        naa->referenceMapName = "Cr_map";
        test::AddValuedMap(*a, "Cho_map", [](int v) { return TComplex(100.0f - v, 0.25f); });
        ASSERT_TRUE(project.SaveWorkSet(false));
        ASSERT_TRUE(project.Save());

        project.SetWorkSet(b);
        TMap* cr = test::AddValuedMap(*b, "Cr_map", [](int v) { return TComplex(v, v); });
        cr->useInternalReference = 1;
        cr->referenceVoxel[0] = 3;
        ASSERT_TRUE(project.SaveWorkSet(false));
        ASSERT_TRUE(project.Save());
        // A map made since the last save has no file and is not named.
        test::AddValuedMap(*b, "unsaved_map", [](int) { return TComplex(1, 1); });
        ASSERT_TRUE(project.Save());
        mapsA = SnapshotMaps(*a);
        mapsB = SnapshotMaps(*b);
        EXPECT_EQ(mapsA.size(), 2u);
        EXPECT_EQ(mapsB.size(), 1u);
    }

    test::TScriptedReport script;
    {
        TProject reopened;
        ASSERT_TRUE(reopened.Load(folder + "/two.tpj"));
        EXPECT_EQ(script.Count(), 0u);
        ASSERT_EQ(reopened.m_pCSISetList->GetCount(), 2);
        ExpectMaps(**reopened.m_pCSISetList->Begin(), mapsA);
        ExpectMaps(**std::next(reopened.m_pCSISetList->Begin()), mapsB);

        // The work set's maps are written again into the new folder.
        script.PlanAnswer(ReportAnswer::Yes);
        ASSERT_TRUE(reopened.SaveAs(m_dir.Path() + "/", "moved"));
        EXPECT_EQ(reopened.m_pWorkSet, *std::next(reopened.m_pCSISetList->Begin()));
    }
    const std::string moved = m_dir.File("moved");
    for (const char* name : {"a_NAA_map", "a_Cho_map", "b_Cr_map"})
        EXPECT_EQ(test::ReadBytes(moved + "/" + name), test::ReadBytes(folder + "/" + name)) << name;
    // The old folder is not needed to read the moved project.
    std::filesystem::remove_all(folder);
    TProject copy;
    ASSERT_TRUE(copy.Load(moved + "/moved.tpj"));
    EXPECT_TRUE(script.Messages().empty());
    ExpectMaps(**copy.m_pCSISetList->Begin(), mapsA);
    ExpectMaps(**std::next(copy.m_pCSISetList->Begin()), mapsB);
}

TEST_F(ProjectFileTest, SaveAsStopsWhenAFileIsGoneOrTheWorkSetCannotBeWritten)
{
    const std::string folder = CopyGolden(9);
    TProject project;
    ASSERT_TRUE(project.Load(folder + "/golden.tpj"));
    TCSISet* set = project.m_pWorkSet;
    ASSERT_NE(set, nullptr);
    TMRImage* image = *project.m_pImageSet->Begin();

    // A pixel file that is gone, and the user does not save without it: the project stays
    // where it was.
    const std::string pixels = test::ReadBytes(folder + "/ax");
    RemoveFile(folder + "/ax");
    {
        test::TScriptedReport script;
        script.PlanAnswer(ReportAnswer::No);
        EXPECT_FALSE(project.SaveAs(m_dir.Path() + "/", "copy"));
        EXPECT_EQ(script.Questions(), (std::vector<std::string>{"The pixel file of this image is missing:\r\nax (" +
                                                                folder + "/ax)\r\nSave the project to " +
                                                                m_dir.File("copy") + " without it?"}));
        EXPECT_TRUE(script.Messages().empty());
    }
    EXPECT_FALSE(FolderExists(m_dir.File("copy")));
    EXPECT_EQ(project.GetFolder(), folder);
    EXPECT_EQ(project.m_strName, "golden");
    EXPECT_EQ(image->GetPath(), folder + "/ax");
    EXPECT_EQ(set->GetFilePath(), folder + "/csi");
    test::WriteBytes(folder + "/ax", pixels);

    // The changed work set cannot be written: nothing is freed and the change stays to be saved.
    set->GetVoxel(size_t(0))->Data()[0] = TComplex(42.0f, 0.0f);
    project.SetModified(true);
    TFile::FailWritesAfter(0);
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        EXPECT_FALSE(project.SaveAs(m_dir.Path() + "/", "second"));
    }
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(project.m_pWorkSet, set);
    ASSERT_TRUE(set->IsLoaded());
    EXPECT_EQ(set->GetVoxel(size_t(0))->GetReal(0), 42.0f);
    EXPECT_TRUE(project.IsModified());
    EXPECT_FALSE(FileExists(m_dir.File("second/second.tpj")));
}

TEST_F(ProjectFileTest, AnonymizedSaveKeepsNoPatientName)
{
    const std::string folder = CopyGolden(9);
    TProject project;
    ASSERT_TRUE(project.Load(folder + "/golden.tpj"));
    ASSERT_TRUE(project.SaveWorkSet(false));
    project.Anonymize();
    ASSERT_TRUE(project.Save());
    const std::string bytes = test::ReadBytes(folder + "/golden.tpj");
    EXPECT_EQ(bytes.find("Doe^John"), std::string::npos);
    EXPECT_NE(bytes.find("Anonymized"), std::string::npos);
    EXPECT_NE(bytes.find("Brain exam"), std::string::npos);
}

TEST_F(ProjectFileTest, SetWhoseDataCannotBeReadDoesNotStopTheConversion)
{
    const std::string folder = CopyGolden(5);
    test::WriteBytes(folder + "/csi", "short");
    test::TScriptedReport script;
    TProject project;
    ASSERT_TRUE(project.Load(folder + "/golden.tpj"));
    const std::vector<std::string> messages = script.Messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front(),
              "The project file golden has an old version. Click OK to convert it to the newest version.");
    EXPECT_NE(std::find(messages.begin(), messages.end(), "The project file golden is converted successfully."),
              messages.end());
    EXPECT_EQ(project.m_pCSISetList->GetCount(), 1);
    EXPECT_EQ(project.m_pWorkSet, nullptr);
    EXPECT_EQ(test::Int32LEAt(test::ReadBytes(folder + "/golden.tpj"), 0), 9);
    EXPECT_EQ(test::ReadBytes(folder + "/csi"), "short");
}

TEST_F(ProjectFileTest, EveryFlippedByteIsHandled)
{
    const std::string folder = CopyGolden(9);
    const std::string whole = test::ReadBytes(folder + "/golden.tpj");
    const std::string bad = folder + "/bad.tpj";
    for (size_t offset = 0; offset < whole.size(); ++offset) {
        for (unsigned char mask : {0xffu, 0x80u}) {
            std::string bytes = whole;
            bytes[offset] = static_cast<char>(bytes[offset] ^ mask);
            test::WriteBytes(bad, bytes);
            TProject::CheckProjectFile(bad);
            test::TScriptedReport script;
            script.AllowDefaults();
            TProject project;
            project.Load(bad);
            // Whatever was taken over is consistent: every set read has a file in the folder.
            for (const TCSISet* set : *project.m_pCSISetList)
                EXPECT_EQ(set->GetFilePath().rfind(folder + "/", 0), 0u) << offset;
        }
    }
    // The original files are untouched by all those loads.
    EXPECT_EQ(test::ReadBytes(folder + "/golden.tpj"), whole);
}

namespace {

// A project "p" in the folder with the set "csi" and its map "naa_map", saved.
void MakeProjectWithMap(const std::string& folder)
{
    test::TScriptedReport script;
    TProject project;
    ASSERT_TRUE(project.Create(folder, "p"));
    TCSISet* set = test::AddStoredSet(project, folder, "csi", 3, 2, 2, 8,
                                      [](int x, int y, int z, int i) { return TComplex(x + y + z, i); });
    project.SetWorkSet(set);
    test::AddValuedMap(*set, "naa_map", [](int v) { return TComplex(v, 0.0f); });
    ASSERT_TRUE(project.SaveWorkSet(false));
    ASSERT_TRUE(project.Save());
}

// A project "p" in the folder with the sets "a" and "b" and the work set `workSet`,
// saved; then the data-set file of "b" is taken away. Returns that file's bytes.
std::string MakeProjectWhoseSetBIsAway(const std::string& folder, const std::string& workSet)
{
    {
        TProject project;
        EXPECT_TRUE(project.Create(folder, "p"));
        for (const char* name : {"a", "b"})
            test::AddWrittenSet(project, folder, name, 4, 3, 2);
        project.SetWorkSet(project.m_pCSISetList->FindByName(workSet));
        EXPECT_EQ(project.m_pWorkSet->GetName(), workSet);
        EXPECT_TRUE(project.Save());
    }
    const std::string samples = test::ReadBytes(folder + "/b");
    RemoveFile(folder + "/b");
    return samples;
}

std::vector<std::string> FileNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const TFolderEntry& entry : vx::test::ListedEntries(folder))
        if (entry.name != ".vexara.lock" && entry.name != ".vexara")
            names.push_back(entry.name);
    return names;
}

}  // namespace

TEST_F(ProjectFileTest, OpeningRemovesOnlyWhatTheProgramLeftInItsWorkFolderAndOnlyUnderItsOwnLock)
{
    const std::string folder = m_dir.File("p");
    MakeProjectWithMap(folder);
    // Files of the user or of other tools, whatever their names look like.
    const std::vector<std::string> others{"run1.tmp",       "scan01.tmp",   "data2.tmp",        "temp1.tmp",
                                          "x1.tmp",         "tf0.tmp",      ".p.tpj.backup",    ".p.tpj.bak001",
                                          ".csi.backup",    ".csi.orig01",  ".csi_old.abcdef",  ".csi_notes.xyz999",
                                          ".p.tpj.Ab12Cd",  "csi.converting"};
    // What this program's interrupted writes and undo states leave in its work folder.
    const std::string work = folder + "/.vexara";
    const std::vector<std::string> leftovers{"csi.Zz9Yy8", "p.tpj.a1B2c3", "journal.Tt5Yy6", "tf0.tmp", ".tf3.tmp.Uu7Ii8"};
    for (const std::string& name : others)
        test::WriteBytes(folder + "/" + name, "user's " + name);
    ASSERT_TRUE(MakeFolder(work));
    for (const std::string& name : leftovers)
        test::WriteBytes(work + "/" + name, "left");
    const test::TFolderBytes before = test::ReadFolderTree(folder);

    // Another running program has a project of the folder open: the open is refused and
    // removes nothing.
    const test::TChildRun other = test::BesideAChild(
        [&](const auto& pause) {
            TFolderLock lock;
            pause(lock.Acquire(folder) == TFolderLock::TResult::Held);
            return true;
        },
        [&] {
            {
                test::TScriptedReport script;
                TProject opened;
                EXPECT_FALSE(opened.Load(folder + "/p.tpj"));
                EXPECT_EQ(script.Messages(), std::vector<std::string>{"The project p cannot be opened: another "
                                                                      "program has a project of its folder open."});
            }
            EXPECT_TRUE(test::ReadFolderTree(folder) == before);
        });
    ASSERT_TRUE(other.answer) << "the other program did not take the folder";

    // Its program has ended: the next open empties the work folder and keeps every other file.
    test::TScriptedReport script;
    {
        TProject opened;
        ASSERT_TRUE(opened.Load(folder + "/p.tpj"));
        EXPECT_EQ(script.Count(), 0u);
        // While it is open, nobody else takes the folder.
        TFolderLock other;
        EXPECT_NE(other.Acquire(folder), TFolderLock::TResult::Held);
    }
    test::TFolderBytes kept = before;
    for (const std::string& name : leftovers)
        kept.erase(".vexara/" + name);
    EXPECT_TRUE(test::ReadFolderTree(folder) == kept);

    // A link put in place of the work folder (by anyone who may write the project's folder)
    // leads the open to no other folder: the files there stay, a journal among them, and the
    // refusal names the link alone.
    const std::string elsewhere = m_dir.File("elsewhere");
    ASSERT_TRUE(MakeFolder(elsewhere));
    test::WriteBytes(elsewhere + "/thesis.txt", "someone's thesis");
    test::WriteBytes(elsewhere + "/journal", "someone's journal");
    std::filesystem::remove_all(work);
    ASSERT_EQ(::symlink(elsewhere.c_str(), work.c_str()), 0);
    {
        TProject opened;
        EXPECT_FALSE(opened.Load(folder + "/p.tpj"));
    }
    EXPECT_EQ(script.Messages(), std::vector<std::string>{"The project p cannot be opened: its work folder " + work +
                                                          " is a symbolic link, not a folder. Remove it to open the "
                                                          "project."});
    EXPECT_EQ(test::ReadBytes(elsewhere + "/thesis.txt"), "someone's thesis");
    EXPECT_EQ(test::ReadBytes(elsewhere + "/journal"), "someone's journal");
}

TEST_F(ProjectFileTest, AnUnfinishedSaveWhoseJournalIsDamagedKeepsTheProjectClosedAndUntouched)
{
    const std::string folder = m_dir.File("p");
    MakeProjectWithMap(folder);
    test::WriteBytes(folder + "/.csi.Zz9Yy8", "new samples");
    const std::string journal = folder + "/.p.tpj.journal";
    const std::string interrupted = "The project p cannot be opened: a save of it was interrupted, and ";
    const std::string damaged = interrupted + "the file " + journal +
                                " that completes it is damaged. Remove that file to open the project with its files "
                                "as they are.";
    // Cut before its last line, one naming a file outside the folder, and a whole one the
    // disk fails to give, which is not to be removed.
    const struct {
        std::string text;
        std::vector<TFileFault> faults;
        std::string said;
    } journals[] = {
        {"Vexara file journal 1\n.csi.Zz9Yy8\tcsi\n", {}, damaged},
        {"Vexara file journal 1\n.csi.Zz9Yy8\t../csi\nend\n", {}, damaged},
        {"Vexara file journal 1\n.csi.Zz9Yy8\tcsi\nend\n", {{kFileRead, EIO, 1, true}},
         interrupted + "it cannot be completed because the file " + journal +
             " that completes it cannot be read: input/output error. The project opens once it can be read."},
    };
    for (const auto& [text, faults, said] : journals) {
        test::WriteBytes(journal, text);
        const std::vector<std::string> before = FileNames(folder);
        const std::string samples = test::ReadBytes(folder + "/csi");
        test::TScriptedReport script;
        TProject opened;
        {
            test::TFileFaultScope fault(faults);
            EXPECT_FALSE(opened.Load(folder + "/p.tpj"));
        }
        EXPECT_EQ(script.Messages(), std::vector<std::string>{said});
        EXPECT_EQ(FileNames(folder), before);
        EXPECT_EQ(test::ReadBytes(folder + "/csi"), samples);
    }
    // A whole journal is completed: the new file takes the place of the old.
    test::WriteBytes(journal, "Vexara file journal 1\n.csi.Zz9Yy8\tcsi\nend\n");
    TProject opened;
    test::TScriptedReport script;
    script.AllowDefaults();
    EXPECT_TRUE(opened.Load(folder + "/p.tpj"));
    EXPECT_EQ(test::ReadBytes(folder + "/csi"), "new samples");
    EXPECT_EQ(FileNames(folder), (std::vector<std::string>{"csi", "csi_naa_map", "p.tpj"}));
}

TEST_F(ProjectFileTest, AnUnfinishedSaveWhoseNewFileIsMissingIsNotToBeUndoneByRemovingItsJournal)
{
    const std::string folder = m_dir.File("p");
    MakeProjectWithMap(folder);
    ASSERT_TRUE(MakeFolder(folder + "/.vexara"));
    // The journal reads well, but the new data-set file it puts in place is neither staged
    // nor in place: the open says where the file is to be found, and changes nothing.
    test::WriteBytes(folder + "/.vexara/journal",
                     "Vexara file journal 2\nrename\tcsi.Zz9Yy8\tcsi\t1:11:0.000000000\nremove\tcsi_naa_map\nend\n");
    const test::TFolderBytes before = test::ReadFolderTree(folder);
    test::TScriptedReport script;
    TProject opened;
    EXPECT_FALSE(opened.Load(folder + "/p.tpj"));
    EXPECT_EQ(script.Messages(),
              (std::vector<std::string>{"The project p cannot be opened: a save of it was interrupted, and the new file " +
                                        folder + "/csi that completes it is missing from " + folder +
                                        "/.vexara. Copy the folder again from where the save was made, with its hidden "
                                        "folder, or open it there; its files stay as they are until then."}));
    EXPECT_TRUE(test::ReadFolderTree(folder) == before);
}

TEST_F(ProjectFileTest, AnUnfinishedSaveInAFolderThatCannotBeWrittenIsCompletedOnceItCan)
{
    const std::string folder = m_dir.File("p");
    MakeProjectWithMap(folder);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string interrupted =
        "The project p cannot be opened: a save of it was interrupted, and it cannot be completed because ";
    // A user who may only read the folder: the open says why it waits and changes nothing.
    // A disk that fails the folder's sync once the new file is in place: the journal, the
    // only record of the change, stays to be completed again.
    const struct {
        bool readOnly;
        std::vector<TFileFault> faults;
        std::string said;
    } rows[] = {
        {true, {}, interrupted + folder + " cannot be written: the folder or file is write-protected. The project "
                                          "opens once it can be written."},
        {false, {{kFileSyncFolder, EIO, 1, true}},
         interrupted + "the folder " + folder + " cannot be synced to the disk: input/output error. The project opens "
                                                "once the folder can be synced to the disk."},
        // A journal that cannot be looked at is never taken for none: nothing is read.
        {true, {{kFileStat, EIO, 1}},
         "The project p cannot be opened: whether a save of it was interrupted cannot be told: its journal cannot be "
         "looked at: input/output error."},
    };
    for (const auto& [readOnly, faults, said] : rows) {
        SCOPED_TRACE(said);
        test::WriteBytes(folder + "/.csi.Zz9Yy8", "new samples");
        test::WriteBytes(folder + "/.p.tpj.journal", "Vexara file journal 1\n.csi.Zz9Yy8\tcsi\nend\n");
        const test::TFolderBytes before = test::ReadFolderTree(folder);
        const std::string samples = test::ReadBytes(folder + "/csi");
        ASSERT_EQ(::chmod(folder.c_str(), readOnly ? 0555 : 0755), 0);
        const auto open = [&] {
            test::TFileFaultScope fault(faults);
            test::TScriptedReport script;
            TProject opened;
            const bool loaded = opened.Load(folder + "/p.tpj");
            return (loaded ? "opened: " : "") + (script.Messages().empty() ? "" : script.Messages().front());
        };
        const std::string got = readOnly ? test::AsAnOrdinaryUser(open) : open();
        ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
        EXPECT_EQ(got, said);
        EXPECT_EQ(FileExists(folder + "/.p.tpj.journal"), true);
        if (readOnly) {
            EXPECT_TRUE(test::ReadFolderTree(folder) == before);
        }
        // Writable again: the save is completed.
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject opened;
        EXPECT_TRUE(opened.Load(folder + "/p.tpj"));
        EXPECT_EQ(test::ReadBytes(folder + "/csi"), "new samples");
        EXPECT_FALSE(FileExists(folder + "/.p.tpj.journal"));
        test::WriteBytes(folder + "/csi", samples);
    }
}

TEST_F(ProjectFileTest, AChangeLeftUnfinishedDuringTheSessionIsNamedByTheNextOne)
{
    const std::string folder = m_dir.File("p");
    MakeProjectWithMap(folder);
    test::TScriptedReport script;
    script.AllowDefaults();
    TProject project;
    ASSERT_TRUE(project.Load(folder + "/p.tpj"));
    // A change of this session left its journal, and a folder is in the way of completing it.
    ASSERT_TRUE(MakeFolder(folder + "/junk"));
    test::WriteBytes(folder + "/.vexara/journal", "Vexara file journal 2\nremove\tjunk\nend\n");
    const std::string projectFile = test::ReadBytes(folder + "/p.tpj");
    EXPECT_FALSE(project.Save());
    EXPECT_EQ(script.Messages(), std::vector<std::string>{"Can't write project file. An earlier change of the project "
                                                          "is not completed: " +
                                                          folder + "/junk cannot be written: is a directory."});
    EXPECT_EQ(test::ReadBytes(folder + "/p.tpj"), projectFile);
    EXPECT_EQ(test::FolderNames(folder + "/.vexara"), std::vector<std::string>{"journal"});
}

TEST_F(ProjectFileTest, ASaveAsNoteWhoseFolderHoldsAZeroByteTouchesNoOtherPath)
{
    // The system would take the part before the zero byte for the folder and lock,
    // complete and remove there.
    const std::string folder = m_dir.File("p");
    MakeProjectWithMap(folder);
    ASSERT_TRUE(MakeFolder(folder + "/.vexara"));
    test::WriteBytes(folder + "/.vexara/saving-as", "Vexara save as 1\n" + m_dir.File("other") + std::string(1, '\0') +
                                                         "x\n111\n");
    TProject opened;
    test::TScriptedReport script;
    script.AllowDefaults();
    EXPECT_TRUE(opened.Load(folder + "/p.tpj"));
    EXPECT_FALSE(FileExists(m_dir.File("other")) || FolderExists(m_dir.File("other")));
    EXPECT_FALSE(FileExists(folder + "/.vexara/saving-as"));
}

TEST_F(ProjectFileTest, AWorkSetWhoseFileIsAwayIsTheWorkSetAgainOnceTheFileIsBack)
{
    const std::string folder = m_dir.File("p");
    const std::string samples = MakeProjectWhoseSetBIsAway(folder, "b");
    // Saved while the file of the work set "b" is away: "b" again, unless another set
    // was chosen meanwhile.
    for (const std::string chosen : {"", "a"}) {
        SCOPED_TRACE("chosen: " + chosen);
        {
            test::TScriptedReport script;
            script.AllowDefaults();
            TProject project;
            ASSERT_TRUE(project.Load(folder + "/p.tpj"));
            EXPECT_EQ(project.m_pWorkSet, nullptr);
            if (chosen.empty()) {
                ASSERT_TRUE(project.SaveWorkSet(true));
            } else {
                TCSISet* set = project.m_pCSISetList->FindByName(chosen);
                project.SetWorkSet(set);
                ASSERT_EQ(project.m_pWorkSet, set);
            }
            ASSERT_TRUE(project.Save());
        }
        test::WriteBytes(folder + "/b", samples);
        test::TScriptedReport script;
        TProject project;
        ASSERT_TRUE(project.Load(folder + "/p.tpj"));
        EXPECT_EQ(script.Count(), 0u);
        ASSERT_NE(project.m_pWorkSet, nullptr);
        EXPECT_EQ(project.m_pWorkSet->GetName(), chosen.empty() ? "b" : chosen);
        EXPECT_TRUE(project.m_pWorkSet->IsLoaded());
        RemoveFile(folder + "/b");
    }
}

TEST_F(ProjectFileTest, SaveAsAsksAboutTheSetWhoseDataFileIsAwayAndNoCopiesNothing)
{
    const std::string folder = m_dir.File("p");
    const std::string samples = MakeProjectWhoseSetBIsAway(folder, "a");
    test::TScriptedReport script;
    script.AllowDefaults();
    TProject project;
    ASSERT_TRUE(project.Load(folder + "/p.tpj"));
    script.Clear();
    const std::string copy = m_dir.File("copy");
    script.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(project.SaveAs(m_dir.Path() + "/", "copy"));
    EXPECT_EQ(script.Questions(), (std::vector<std::string>{"The data-set file of this CSI set is missing:\r\nb (" +
                                                            folder + "/b)\r\nSave the project to " + copy +
                                                            " without it?"}));
    EXPECT_TRUE(script.Messages().empty());
    EXPECT_FALSE(FolderExists(copy));
    EXPECT_EQ(project.m_pCSISetList->GetCount(), 2);
    EXPECT_FALSE(FileExists(copy + "/copy.tpj"));
    EXPECT_EQ(project.GetFolder(), folder);
    EXPECT_EQ((*project.m_pCSISetList->Begin())->GetFilePath(), folder + "/a");

    // With the file back the project moves with both sets.
    test::WriteBytes(folder + "/b", samples);
    script.Clear();
    ASSERT_TRUE(project.SaveAs(m_dir.Path() + "/", "copy"));
    EXPECT_TRUE(script.Messages().empty());
    EXPECT_EQ(test::ReadBytes(copy + "/b"), samples);
}

TEST_F(ProjectFileTest, ADataSetFileAwayWhileItsProjectIsConvertedIsConvertedWhenItIsBack)
{
    // Version 1 data-set files hold the samples alone; version 5 ones have a header.
    for (int version : {1, 5}) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::string folder = CopyGolden(version);
        const std::string file = folder + "/golden.tpj", csi = folder + "/csi";
        const std::string samples = test::ReadBytes(csi);
        RemoveFile(csi);
        {
            test::TScriptedReport script;
            script.AllowDefaults();
            TProject project;
            ASSERT_TRUE(project.Load(file));
            EXPECT_EQ(project.m_nFileVersion, 9);
            EXPECT_EQ(project.m_pCSISetList->GetCount(), 1);
            EXPECT_EQ(project.m_pWorkSet, nullptr);
            // The file back in a copy put in the folder's place: the set loads from it,
            // and the copy keeps its file as it is.
            test::WriteBytes(csi, samples);
            test::CopyInPlace(folder);
            script.Clear();
            project.SetWorkSet(*project.m_pCSISetList->Begin());
            ASSERT_NE(project.m_pWorkSet, nullptr);
            ExpectGoldenSamples(*project.m_pWorkSet);
            EXPECT_EQ(test::ReadBytes(csi), samples);
            EXPECT_EQ(script.Messages(), std::vector<std::string>{
                                             "The folder " + folder + " of the project golden was moved or removed "
                                             "while the project was open, so nothing was written. Save Project As "
                                             "keeps the work in a new folder."});
        }
        EXPECT_EQ(test::Int32LEAt(test::ReadBytes(file), 0), 9);
        for (int open = 0; open < 2; ++open) {
            SCOPED_TRACE("open " + std::to_string(open));
            test::TScriptedReport script;
            TProject project;
            ASSERT_TRUE(project.Load(file));
            EXPECT_TRUE(script.Messages().empty());
            TCSISet* set = *project.m_pCSISetList->Begin();
            ASSERT_EQ(project.m_pWorkSet, set);
            ExpectGoldenSamples(*set);
            ExpectGoldenMaps(*set, version);
            // The file is of the newest layout from its first load on.
            EXPECT_EQ(test::Int32LEAt(test::ReadBytes(csi), 0), 9);
        }
    }
}

// A set's data-set file whose header the project file could not list again (a rotation
// without inverse, a field of view, frequency or sweep width of zero) is refused when the
// set is chosen: saving the project afterwards must leave one that opens, with the set's
// listed parameters.
TEST_F(ProjectFileTest, ADataSetFileWhoseHeaderCannotBeListedIsRefusedAndTheProjectStillOpens)
{
    const std::string folder = m_dir.File("p");
    TCSIParams listed;
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        TCSISet* a = test::AddWrittenSet(project, folder, "a", 4, 3, 2);
        TCSISet* b = test::AddWrittenSet(project, folder, "b", 4, 3, 2);
        listed = *b;
        project.SetWorkSet(a);
        ASSERT_TRUE(project.Save());
    }
    const std::string project = test::ReadBytes(folder + "/p.tpj");
    const std::string samples = test::ReadBytes(folder + "/b");
    const struct {
        const char* what;
        void (*spoil)(TCSIParams&);
    } cases[] = {
        {"a rotation of zeros", [](TCSIParams& p) { std::fill_n(&p.m_fRotation[0][0], 9, 0.0f); }},
        {"a field of view of 0", [](TCSIParams& p) { p.m_fFOV[1] = 0.0f; }},
        {"a frequency of 0", [](TCSIParams& p) { p.m_fFrequency = 0.0f; }},
        {"a sweep width of 0", [](TCSIParams& p) { p.m_nSpectralWidth = 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(folder + "/p.tpj", project);
        {
            TCSISet spoilt;
            test::FillSet(spoilt, 4, 3, 2, 8, [](int v, int i) { return TComplex(float(v), float(i)); });
            static_cast<TCSIParams&>(spoilt) = listed;
            spoilt.m_pProject = nullptr;
            c.spoil(spoilt);
            ASSERT_TRUE(spoilt.WriteDataFile(folder + "/b"));
        }
        {
            test::TScriptedReport script;
            script.AllowDefaults();
            TProject opened;
            ASSERT_TRUE(opened.Load(folder + "/p.tpj"));
            TCSISet* b = opened.m_pCSISetList->FindByName("b");
            opened.SetWorkSet(b);
            EXPECT_NE(opened.m_pWorkSet, b);
            EXPECT_FALSE(b->IsLoaded());
            EXPECT_EQ(script.Messages(), std::vector<std::string>{"The CSI data file " + folder + "/b is invalid."});
            ASSERT_TRUE(opened.Save());
        }
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject reopened;
        ASSERT_TRUE(reopened.Load(folder + "/p.tpj"));
        EXPECT_TRUE(script.Messages().empty());
        const TCSISet* b = reopened.m_pCSISetList->FindByName("b");
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->m_fFrequency, listed.m_fFrequency);
        EXPECT_EQ(b->m_nSpectralWidth, listed.m_nSpectralWidth);
        EXPECT_EQ(std::vector<float>(b->m_fFOV, b->m_fFOV + 3), std::vector<float>(listed.m_fFOV, listed.m_fFOV + 3));
    }
    test::WriteBytes(folder + "/b", samples);
}

// A whole set record that cannot be used (a frequency of 0, which an earlier Set
// Parameters could save) costs only that set: the project opens with the others, names
// it, and writes its record back unchanged; its files stay and move with Save As.
TEST_F(ProjectFileTest, ASetRecordThatCannotBeUsedCostsOnlyThatSetAndIsWrittenBackUnchanged)
{
    const std::string folder = m_dir.File("p");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        for (const char* name : {"a", "b", "c"})
            test::AddWrittenSet(project, folder, name, 4, 3, 2);
        TCSISet* b = project.m_pCSISetList->FindByName("b");
        b->m_fFrequency = 0.0f;
        b->m_strPatientName = "Doe^Jane";
        ASSERT_TRUE(project.Save());
    }
    const std::string saved = test::ReadBytes(folder + "/p.tpj"), samples = test::ReadBytes(folder + "/b");
    test::TScriptedReport script;
    {
        TProject project;
        ASSERT_TRUE(project.Load(folder + "/p.tpj"));
        std::vector<std::string> names;
        for (const TCSISet* set : *project.m_pCSISetList)
            names.push_back(set->GetName());
        EXPECT_EQ(names, (std::vector<std::string>{"a", "c"}));
        ASSERT_EQ(script.Count(), 1u);
        EXPECT_EQ(
            script.Messages()[0].rfind("Some of the CSI data sets could not be loaded.\r\nb: its frequency is not above 0", 0),
            0u) << script.Messages()[0];
        ASSERT_TRUE(project.Save());
        EXPECT_EQ(test::ReadBytes(folder + "/p.tpj"), saved);
        EXPECT_EQ(test::ReadBytes(folder + "/b"), samples);

        ASSERT_TRUE(project.SaveAs(m_dir.Path(), "q"));
        EXPECT_EQ(test::ReadBytes(m_dir.File("q/b")), samples);
        ASSERT_TRUE(project.SaveDeidentified());
        const std::string anonymized = test::ReadBytes(m_dir.File("q/q.tpj"));
        EXPECT_EQ(anonymized.find("Doe^Jane"), std::string::npos);
    }
    TProject reopened;
    ASSERT_TRUE(reopened.Load(m_dir.File("q/q.tpj")));
    EXPECT_EQ(reopened.m_pCSISetList->GetCount(), 2);
    ASSERT_EQ(script.Count(), 2u);
    EXPECT_NE(script.Messages()[1].find("b: its frequency is not above 0"), std::string::npos);
}

// A data-set file of the newest layout too short for the samples its own header gives is
// damaged, whatever that header says: the set stays listed, as an open of an older
// project that converted nothing of it listed it, and its samples are refused.
TEST_F(ProjectFileTest, ASetWhoseDataSetFileIsCutShortOfItsOwnSamplesStaysListed)
{
    const std::string folder = m_dir.File("p");
    {
        test::TScriptedReport script;
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Create(folder, "p"));
        test::AddStoredSet(project, folder, "A", 1, 2, 1, 16,
                           [](int x, int y, int, int i) { return TComplex(float(x + y), float(i)); });
        test::AddWrittenSet(project, folder, "B", 1, 1, 1);
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }
    // Another set's header, and less than the samples it gives.
    const std::string other = test::ReadBytes(folder + "/A");
    ASSERT_GT(other.size(), 256u + 8u);
    test::WriteBytes(folder + "/B", other.substr(0, 256 + 8));

    test::TScriptedReport script;
    TProject opened;
    g_pProject = &opened;
    ASSERT_TRUE(opened.Load(folder + "/p.tpj"));
    TCSISet* b = opened.m_pCSISetList->FindByName("B");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(opened.m_pCSISetList->KeptRecords().empty());
    EXPECT_FALSE(b->LoadData());
    g_pProject = nullptr;
}

// Save Set As over another set of other sizes, killed at every step, and the folder copied
// without its hidden folder (as "cp -r p/*" does): the copy never opens with one set's
// samples under the other's record. A set whose data-set file disagrees with its record
// cannot be used, is named with why, and its record and file stay as they were.
TEST_F(ProjectFileTest, ASetWhoseDataSetFileHoldsAnotherSetCannotBeUsedAndStaysAsItWas)
{
    const std::string pristine = m_dir.File("pristine"), folder = m_dir.File("p"), copy = m_dir.File("copy");
    {
        test::TScriptedReport script;
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Create(pristine, "p"));
        TCSISet* a = test::AddStoredSet(project, pristine, "A", 1, 2, 1, 16,
                                        [](int x, int y, int, int i) { return TComplex(float(x + y), float(i)); });
        test::AddWrittenSet(project, pristine, "B", 1, 1, 1);
        project.SetWorkSet(a);
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }
    const std::string reason = ": its data-set file " + copy +
                               "/B holds another set: the record says 1x1x1, 8 points, 63.90 MHz, the file 1x2x1, 16 "
                               "points, 63.90 MHz";
    int mixed = 0;
    for (int killAt = 1;; ++killAt) {
        SCOPED_TRACE("killed at step " + std::to_string(killAt));
        const bool killed = KillThenCopyWithoutHiddenFiles(pristine, folder, copy, [&](TProject& project) {
            test::KillAtStep(killAt);
            return project.SaveWorkSetAs("B");
        });
        const std::string record = test::ReadBytes(copy + "/p.tpj"), samples = test::ReadBytes(copy + "/B");

        test::TScriptedReport script;
        TProject opened;
        g_pProject = &opened;
        ASSERT_TRUE(opened.Load(copy + "/p.tpj"));
        if (TCSISet* b = opened.m_pCSISetList->FindByName("B")) {
            // Whole: the samples loaded are of the size its record gave.
            const TSampleShape listed = b->SampleShape();
            opened.SetWorkSet(b);
            ASSERT_EQ(opened.m_pWorkSet, b);
            EXPECT_TRUE(b->SampleShape() == listed);
            EXPECT_TRUE(script.Messages().empty());
        } else {
            ++mixed;
            EXPECT_EQ(script.Messages(),
                      std::vector<std::string>{"Some of the CSI data sets could not be loaded.\r\nB" + reason +
                                               "\r\nThese sets cannot be used; their records and files stay in the "
                                               "project unchanged."});
            opened.SetModified(true);
            ASSERT_TRUE(opened.Save());
            EXPECT_EQ(test::ReadBytes(copy + "/p.tpj"), record);
            EXPECT_EQ(test::ReadBytes(copy + "/B"), samples);
        }
        g_pProject = nullptr;
        if (!killed)
            break;
    }
    EXPECT_GT(mixed, 0) << "no kill left the new file of B beside the old record";
}

// A water-suppressed set and its reference of one exam (same grid, points and frequency)
// whose data-set files are swapped: the headers differ only in later fields (the phase and
// PPM reference the suppressed set was processed with, and its averages). Neither opens
// with the other's samples, also where a read of the open fails; each names the fields
// that differ, and a save writes both records and files back as they were.
TEST_F(ProjectFileTest, TwoSetsOfOneShapeWhoseDataSetFilesAreSwappedAreNotOpenedWithEachOthersSamples)
{
    const std::string folder = m_dir.File("p");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        for (const char* name : {"ws", "ref"}) {
            TCSISet* set = test::AddWrittenSet(project, folder, name, 2, 2, 1);
            project.SetWorkSet(set);
            ASSERT_EQ(project.m_pWorkSet, set);
            set->m_fAverages = name[0] == 'w' ? 128.0f : 16.0f;
            set->m_fPhase0 = name[0] == 'w' ? 30.0f : 0.0f;
            set->m_fPPMCentreValue = name[0] == 'w' ? 2.01f : 4.7f;
            ASSERT_TRUE(project.SaveWorkSet(false));
        }
    }
    const std::string record = test::ReadBytes(folder + "/p.tpj");
    const std::string ws = test::ReadBytes(folder + "/ws"), ref = test::ReadBytes(folder + "/ref");
    test::WriteBytes(folder + "/ws", ref);
    test::WriteBytes(folder + "/ref", ws);

    test::TScriptedReport script;
    auto project = std::make_unique<TProject>();
    ASSERT_TRUE(project->Load(folder + "/p.tpj"));
    EXPECT_TRUE(project->m_pCSISetList->IsEmpty());
    const std::string wsSays = "2x2x1, 8 points, 63.90 MHz, PPM reference 2.01, phase 0 30, averages 128";
    const std::string refSays = "2x2x1, 8 points, 63.90 MHz, PPM reference 4.7, phase 0 0, averages 16";
    EXPECT_EQ(script.Messages(),
              std::vector<std::string>{"Some of the CSI data sets could not be loaded.\r\nws: its data-set file " +
                                       folder + "/ws holds another set: the record says " + wsSays + ", the file " +
                                       refSays + "\r\nref: its data-set file " + folder +
                                       "/ref holds another set: the record says " + refSays + ", the file " + wsSays +
                                       "\r\nThese sets cannot be used; their records and files stay in the project "
                                       "unchanged."});
    project->SetModified(true);
    ASSERT_TRUE(project->Save());
    EXPECT_EQ(test::ReadBytes(folder + "/p.tpj"), record);
    EXPECT_EQ(test::ReadBytes(folder + "/ws"), ref);
    EXPECT_EQ(test::ReadBytes(folder + "/ref"), ws);
    project.reset();
    // A file whose read fails keeps its set aside as well; one that does not open leaves it
    // listed, and its samples are refused when the file is back.
    int listed = 0;
    for (const TFileCall call : {vx::kFileRead, vx::kFileOpenRead})
        for (int at = 1;; ++at) {
            SCOPED_TRACE((call == vx::kFileRead ? "read " : "open ") + std::to_string(at) + " failing");
            TProject failing;
            bool struck = false;
            {
                test::TFileFaultScope fault({{call, EIO, at}});
                failing.Load(folder + "/p.tpj");
                struck = vx::FileFaultStruck();
            }
            EXPECT_TRUE(failing.m_pCSISetList->IsEmpty() || call == vx::kFileOpenRead);
            for (TCSISet* set : *failing.m_pCSISetList) {
                ++listed;
                EXPECT_FALSE(set->LoadData()) << set->GetName();
            }
            if (!struck)
                break;
        }
    EXPECT_GT(listed, 0) << "no failed open left a set listed";
}

// New images saved with the project, killed at every step, and the folder copied without
// its hidden folder: an image whose pixel file was still waiting in the hidden folder is
// named as missing, and the open does not promise that it shows once its file is whole.
TEST_F(ProjectFileTest, AnImageWhosePixelFileWaitedInAHiddenFolderLeftBehindIsNotPromised)
{
    const std::string pristine = m_dir.File("pristine"), folder = m_dir.File("p"), copy = m_dir.File("copy");
    {
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Create(pristine, "p"));
        project.SetWorkSet(test::AddWrittenSet(project, pristine, "csi", 4, 4, 2));
        for (const char* name : {"ax1", "ax2"})
            test::AddStoredImage(project, pristine, name, 4, 4, 7);
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }
    int waiting = 0;
    for (int killAt = 1;; ++killAt) {
        SCOPED_TRACE("killed at step " + std::to_string(killAt));
        const bool killed = KillThenCopyWithoutHiddenFiles(pristine, folder, copy, [&](TProject& project) {
            if (!project.AverageImages(project.m_pImageSet->Images()))
                return false;
            test::KillAtStep(killAt);
            return project.SaveWorkSetAndProject(false);
        });

        test::TScriptedReport script;
        TProject opened;
        g_pProject = &opened;
        ASSERT_TRUE(opened.Load(copy + "/p.tpj"));
        g_pProject = nullptr;
        if (script.Messages().empty()) {
            if (!killed)
                break;
            continue;
        }
        ++waiting;
        ASSERT_EQ(script.Messages().size(), 1u);
        const std::string message = script.Messages()[0];
        EXPECT_EQ(message.rfind("Some of the image files could not be loaded\r\n", 0), 0u) << message;
        EXPECT_NE(message.find(": its pixel file is missing (" + copy + "/"), std::string::npos) << message;
        EXPECT_TRUE(message.ends_with("\r\nThese images stay in the project. The folder has no hidden folder .vexara, "
                                      "where a save that was cut short keeps new files until they are in place: if it "
                                      "is a copy made without its hidden folder, copy it again with it."))
            << message;
        if (!killed)
            break;
    }
    EXPECT_GT(waiting, 0) << "no kill left a new pixel file waiting in the hidden folder";
}

// Set Parameters writes the project file while the work set's file keeps the old values,
// and the set is then let go without saving: the record says what the set's file holds,
// so the project opens again with the set usable, as its file holds it.
TEST_F(ProjectFileTest, AWorkSetLeftUnsavedIsRecordedAsItsFileHoldsIt)
{
    const std::string folder = m_dir.File("p");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        project.SetWorkSet(test::AddWrittenSet(project, folder, "a", 4, 3, 2));
        test::AddWrittenSet(project, folder, "b", 4, 3, 2);
        ASSERT_TRUE(project.Save());
    }
    test::TScriptedReport script;
    {
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Load(folder + "/p.tpj"));
        TCSISet* a = project.m_pWorkSet;
        ASSERT_NE(a, nullptr);
        const float scalars[4] = {a->GetScalarParam(0), a->GetScalarParam(1), 127.79f, 2000.0f};
        float fov[3], offCentre[3];
        a->GetVectorParam(5, fov);
        a->GetVectorParam(6, offCentre);
        fov[0] = 200.0f;
        project.SetWorkSetParameters(scalars, fov, offCentre);
        EXPECT_EQ(a->m_fFrequency, 127.79f);
        script.PlanAnswer(ReportAnswer::No);  // the changed set is not saved
        project.SetWorkSet(project.m_pCSISetList->FindByName("b"));
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }
    EXPECT_EQ(script.Questions().size(), 1u);
    script.Clear();
    {
        TProject reopened;
        g_pProject = &reopened;
        ASSERT_TRUE(reopened.Load(folder + "/p.tpj"));
        EXPECT_TRUE(script.Messages().empty());
        TCSISet* a = reopened.m_pCSISetList->FindByName("a");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->m_fFrequency, 63.9f);
        EXPECT_EQ(a->m_nSpectralWidth, 1000);
        reopened.SetWorkSet(a);
        EXPECT_EQ(reopened.m_pWorkSet, a);
        EXPECT_EQ(a->m_fFOV[0], 240.0f);

        // A save of the changed set that fails (a full disk) leaves its file as it was, and the
        // project file written after it still records the set as that file holds it.
        const float scalars[4] = {a->GetScalarParam(0), a->GetScalarParam(1), 127.79f, 2000.0f};
        float fov[3], offCentre[3];
        a->GetVectorParam(5, fov);
        a->GetVectorParam(6, offCentre);
        reopened.SetWorkSetParameters(scalars, fov, offCentre);
        script.Clear();
        TFile::FailWritesAfter(0);
        EXPECT_FALSE(reopened.SaveWorkSetAndProject(false));
        TFile::FailWritesAfter(-1);
        EXPECT_EQ(script.Count(), 1u);
        ASSERT_TRUE(reopened.Save());
        g_pProject = nullptr;
    }
    script.Clear();
    TProject again;
    ASSERT_TRUE(again.Load(folder + "/p.tpj"));
    EXPECT_TRUE(script.Messages().empty());
    ASSERT_NE(again.m_pWorkSet, nullptr);
    EXPECT_EQ(again.m_pWorkSet->GetName(), "a");
    EXPECT_EQ(again.m_pWorkSet->m_fFrequency, 63.9f);
}

// An image whose pixel file is away when the project opens (moved, not yet synced) or cut
// short keeps its entry until the user removes it: the message names it and why, a save
// writes it back, and it shows again once its file is back. A record that reads but
// cannot be used (a width of 0) is written back as it was read.
TEST_F(ProjectFileTest, ImagesWhosePixelFilesAreAwayOrCutKeepTheirEntries)
{
    const std::string folder = m_dir.File("p");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        for (const char* name : {"a", "b", "c", "d"})
            test::AddStoredImage(project, folder, name, 4, 3, 7);
        (*project.m_pImageSet->Begin())->SetWidth(0, false);  // d: a new image goes first
        ASSERT_TRUE(project.Save());
    }
    {
        // The record kept aside is read again at its place, which the disk fails: the
        // project is refused saying so, not as an invalid project file.
        test::TScriptedReport script;
        TProject failing;
        test::TFileFaultScope fault({{vx::kFileReadAt, EIO, 1, true}});
        EXPECT_FALSE(failing.Load(folder + "/p.tpj"));
        EXPECT_EQ(script.Messages(),
                  std::vector<std::string>{"The project p cannot be opened: its project file " + folder +
                                           "/p.tpj cannot be read to its end: input/output error."});
    }
    const std::string saved = test::ReadBytes(folder + "/p.tpj"), pixels = test::ReadBytes(folder + "/b");
    RemoveFile(folder + "/b");
    test::WriteBytes(folder + "/c", pixels.substr(0, 5));
    const std::string unusable =
        "\r\nd: its width or height is outside 1 to 16384\r\nThese images cannot be used; their records and files "
        "stay in the project unchanged.";
    // Which of the load's opens to read is that of a's pixel file, which the disk fails below.
    int pixelsOfA = 0;
    for (int at = 1; pixelsOfA == 0 && at < 100; ++at) {
        test::TScriptedReport quiet;
        test::TFileFaultScope fault({{vx::kFileOpenRead, EIO, at}});
        TProject().Load(folder + "/p.tpj");
        pixelsOfA = vx::FileFaultStruckRead() == folder + "/a" ? at : 0;
    }
    {
        test::TScriptedReport script;
        TProject project;
        {
            test::TFileFaultScope fault({{vx::kFileOpenRead, EIO, pixelsOfA}});
            ASSERT_TRUE(project.Load(folder + "/p.tpj"));
        }
        EXPECT_EQ(project.m_pImageSet->GetCount(), 3);
        EXPECT_EQ(script.Messages(),
                  std::vector<std::string>{"Some of the image files could not be loaded\r\nb: its pixel file is "
                                           "missing (" + folder + "/b)\r\nThese images stay in the project and show "
                                           "once their pixel files are back.\r\na: its pixel file cannot be read: "
                                           "input/output error (" + folder + "/a)\r\nThese images stay in the project "
                                           "and show once their pixel files can be read.\r\nc: its pixel file is cut "
                                           "short (" + folder + "/c)\r\nThese images stay in the project and show "
                                           "once their pixel files are whole again." + unusable});
        ASSERT_TRUE(project.Save());
        EXPECT_EQ(test::ReadBytes(folder + "/p.tpj"), saved);
    }
    test::WriteBytes(folder + "/b", pixels);
    test::WriteBytes(folder + "/c", pixels);
    test::TScriptedReport script;
    TProject project;
    ASSERT_TRUE(project.Load(folder + "/p.tpj"));
    std::vector<std::string> names;
    for (TMRImage* image : *project.m_pImageSet) {
        names.push_back(image->GetName());
        EXPECT_TRUE(image->EnsurePixels()) << image->GetName();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(script.Messages(), std::vector<std::string>{"Some of the image files could not be loaded" + unusable});
}

// Flips of the lowest and of the seventh bit of every byte of the image records: the
// project is refused as damaged, or opens and its next save keeps as many image records as
// the file held.
TEST_F(ProjectFileTest, EveryFlippedBitOfTheImageRecordsKeepsEveryImage)
{
    const std::string folder = m_dir.File("p");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        for (const char* name : {"a", "b"})
            test::AddStoredImage(project, folder, name, 4, 3, 7);
        ASSERT_TRUE(project.Save());
    }
    const std::string whole = test::ReadBytes(folder + "/p.tpj");
    // The image count follows the version and the display block; the set count follows the images.
    const size_t imagesStart = 24, imagesEnd = whole.size() - 4;
    const auto imageRecords = [&](const std::string& path) {
        TFile file;
        int32_t count = -1;
        return file.Open(path, TFile::Mode::Read) && file.Seek(imagesStart) && file.ReadInt32(count) ? count : -1;
    };
    const std::string bad = folder + "/bad.tpj";
    int opened = 0;
    for (size_t offset = imagesStart; offset < imagesEnd; ++offset)
        for (int bit : {0, 6}) {
            std::string bytes = whole;
            bytes[offset] = static_cast<char>(bytes[offset] ^ (1 << bit));
            test::WriteBytes(bad, bytes);
            test::TScriptedReport script;
            script.AllowDefaults();
            TProject project;
            if (!project.Load(bad))
                continue;
            ++opened;
            // What the next save writes (written here without the save's disk syncs).
            TFile out;
            ASSERT_TRUE(out.Open(bad, TFile::Mode::Write) && project.WriteStream(out) && out.Close());
            EXPECT_EQ(imageRecords(bad), 2) << offset << " bit " << bit;
        }
    EXPECT_GT(opened, 0);
}
