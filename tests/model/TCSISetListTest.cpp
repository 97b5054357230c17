// The project's CSI set list: ownership, order, its part of the project file.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"
#include "support/Bytes.h"
#include "support/CSISetBuilders.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

TCSISet* NewSet(TProject* project, const std::string& name, const std::string& folder)
{
    auto* set = new TCSISet(project);
    set->m_nDim[0] = 2;
    set->m_nPoints = 8;
    set->m_nSpectralWidth = 1000;
    set->m_fFrequency = 63.9f;
    set->m_strName = name;
    set->SetFolder(folder);
    return set;
}

std::vector<std::string> Names(const TCSISetList& list)
{
    std::vector<std::string> names;
    for (const TCSISet* set : list)
        names.push_back(set->GetName());
    return names;
}

class CSISetListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        m_project.m_strFolder = m_dir.Path();
    }
    void TearDown() override { ResetGlobals(); }

    void WriteList(const TCSISetList& list, const std::string& path)
    {
        TFile out;
        ASSERT_TRUE(out.Open(path, TFile::Mode::Write));
        ASSERT_TRUE(list.Write(out));
    }

    test::TTempFolder m_dir;
    TProject m_project;
};

}  // namespace

TEST_F(CSISetListTest, AddCountsAndEraseKeepsTheSet)
{
    TCSISetList list(&m_project);
    TCSISet* first = NewSet(&m_project, "a", m_dir.Path());
    EXPECT_EQ(list.Add(first), 1);
    EXPECT_EQ(list.Add(NewSet(&m_project, "b", m_dir.Path())), 2);
    EXPECT_EQ(list.Add(NewSet(&m_project, "c", m_dir.Path())), 3);
    auto next = list.Erase(list.Begin());
    EXPECT_EQ((*next)->GetName(), "b");
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(first->GetName(), "a");  // still alive: the list no longer owns it
    EXPECT_EQ(list.FindByName("c"), *std::next(list.Begin()));
    EXPECT_EQ(list.FindByName("a"), nullptr);
    auto pos = list.Begin();
    EXPECT_EQ(list.Next(pos)->GetName(), "b");
    EXPECT_EQ(list.Next(pos)->GetName(), "c");
    EXPECT_EQ(pos, list.End());
    delete first;
}

TEST_F(CSISetListTest, EmptyListIsOneZeroWordAndReadsBackSilently)
{
    test::TScriptedReport script;
    TCSISetList empty(&m_project);
    WriteList(empty, m_dir.File("list"));
    EXPECT_EQ(test::ReadBytes(m_dir.File("list")), std::string(4, '\0'));
    TCSISetList read(&m_project);
    TFile in;
    ASSERT_TRUE(in.Open(m_dir.File("list"), TFile::Mode::Read));
    read.Read(in);
    EXPECT_TRUE(read.IsEmpty());
    EXPECT_EQ(script.Count(), 0u);
}

TEST_F(CSISetListTest, SetsWhoseDataFileIsMissingAreKeptNamedAndWrittenBack)
{
    TCSISetList list(&m_project);
    for (const char* name : {"first", "second", "third", "fourth"})
        list.Add(NewSet(&m_project, name, m_dir.Path()));
    (*list.Begin())->m_kSpaceMask = {1, 0};
    WriteList(list, m_dir.File("list"));
    test::WriteBytes(m_dir.File("first"), "x");
    test::WriteBytes(m_dir.File("third"), "x");
    // The folder has the work folder that the program's saves leave.
    ASSERT_TRUE(MakeFolder(TFileTransaction::WorkFolderOf(m_dir.Path())));

    test::TScriptedReport script;
    TCSISetList read(&m_project);
    TFile in;
    ASSERT_TRUE(in.Open(m_dir.File("list"), TFile::Mode::Read));
    EXPECT_TRUE(read.Read(in));
    EXPECT_EQ(Names(read), (std::vector<std::string>{"first", "second", "third", "fourth"}));
    EXPECT_EQ(read.GetCount(), 4);
    std::vector<bool> missing;
    for (const TCSISet* set : read)
        missing.push_back(set->DataFileMissing());
    EXPECT_EQ(missing, (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(script.Messages(),
              (std::vector<std::string>{"Some of the CSI data sets could not be loaded.\r\nsecond (" +
                                        m_dir.File("second") + ")\r\nfourth (" + m_dir.File("fourth") +
                                        ")\r\nThese sets stay in the project and load once their data-set files "
                                        "are back."}));
    // Written again, the list is what it was: no entry is lost while its file is away.
    WriteList(read, m_dir.File("again"));
    EXPECT_EQ(test::ReadBytes(m_dir.File("again")), test::ReadBytes(m_dir.File("list")));

    // So does one whose open the system fails (the third set's), with the system's reason.
    {
        TFile file;
        ASSERT_TRUE(file.Open(m_dir.File("list"), TFile::Mode::Read));
        test::TScriptedReport failing;
        test::TFileFaultScope fault({{kFileOpenRead, EIO, 3}});
        EXPECT_TRUE(TCSISetList(&m_project).Read(file));
        EXPECT_EQ(FileFaultStruckRead(), m_dir.File("third"));
        EXPECT_EQ(failing.Messages(), std::vector<std::string>{script.Messages().front() + "\r\nthird (" +
                                                               m_dir.File("third") + "): input/output error\r\nThese "
                                                               "sets stay in the project and load once their "
                                                               "data-set files can be read."});
    }

    // A file this user may not read waits for another cause, told in a sentence of its own.
    ASSERT_TRUE(::chmod(m_dir.Path().c_str(), 0755) == 0 && ::chmod(m_dir.File("third").c_str(), 0) == 0);
    const std::string said = test::AsAnOrdinaryUser([&] {
        test::TScriptedReport asUser;
        TFile file;
        const bool read = file.Open(m_dir.File("list"), TFile::Mode::Read) && TCSISetList(&m_project).Read(file);
        return read && asUser.Count() == 1 ? asUser.Messages().front() : std::string("not read, or not one message");
    });
    EXPECT_EQ(said, script.Messages().front() + "\r\nthird (" + m_dir.File("third") + "): you may not read it. Ask its "
                        "owner, " + ::getpwuid(::geteuid())->pw_name + ", to let you read it\r\nThese sets stay in the "
                        "project and load once their data-set files may be read.");
}

TEST_F(CSISetListTest, AbsurdCountsStopAtTheEndOfTheFile)
{
    for (const int32_t count : {2000000000, -3, 0}) {
        test::TScriptedReport script;
        test::WriteBytes(m_dir.File("list"), test::Int32LE({count}) + "garbage");
        TCSISetList read(&m_project);
        TFile in;
        ASSERT_TRUE(in.Open(m_dir.File("list"), TFile::Mode::Read));
        // Records that are not there make the file damaged (the project says so).
        EXPECT_EQ(read.Read(in), count <= 0) << count;
        EXPECT_TRUE(read.IsEmpty()) << count;
        EXPECT_EQ(script.Count(), 0u) << count;

        TFile again;
        ASSERT_TRUE(again.Open(m_dir.File("list"), TFile::Mode::Read));
        EXPECT_EQ(TCSISetList::SkipFromProject(again, 9), count <= 0) << count;
    }
}

TEST_F(CSISetListTest, CopyDataFilesPointsTheSetsAtTheNewFolder)
{
    TCSISetList list(&m_project);
    list.Add(NewSet(&m_project, "a", m_dir.Path()));
    test::WriteBytes(m_dir.File("a"), "samples");

    const std::string target = m_dir.File("copy");
    ASSERT_TRUE(std::filesystem::create_directory(target));
    {
        // The copies are staged: they are in place once the change is committed.
        TFileTransaction transaction(target);
        EXPECT_TRUE(list.CopyDataFiles(target, transaction, nullptr));
        EXPECT_FALSE(FileExists(target + "/a"));
        ASSERT_TRUE(transaction.Commit());
    }
    EXPECT_EQ(test::ReadBytes(target + "/a"), "samples");
    EXPECT_EQ((*list.Begin())->GetFilePath(), target + "/a");

    // A folder that does not exist: the file stays where it was, the set moves anyway.
    const std::string missing = m_dir.File("missing");
    TFileTransaction transaction(missing);
    EXPECT_FALSE(list.CopyDataFiles(missing, transaction, nullptr));
    EXPECT_EQ((*list.Begin())->GetFilePath(), missing + "/a");
    EXPECT_EQ(test::ReadBytes(target + "/a"), "samples");
}

TEST_F(CSISetListTest, AnonymizeReachesEverySet)
{
    TCSISetList list(&m_project);
    list.Add(NewSet(&m_project, "a", m_dir.Path()));
    list.Add(NewSet(&m_project, "b", m_dir.Path()));
    list.Anonymize();
    for (const TCSISet* set : list)
        EXPECT_EQ(set->m_strPatientName, "Anonymized");
}

TEST_F(CSISetListTest, CopyDataFilesTakesTheStoredMapFilesAlong)
{
    // Only the work set writes its maps when a project is saved under a new folder; the
    // maps of the other sets exist only as files beside their data-set files.
    TCSISetList list(&m_project);
    list.Add(NewSet(&m_project, "a", m_dir.Path()));
    list.Add(NewSet(&m_project, "b", m_dir.Path()));
    test::AddNamedMap(*list.FindByName("a"), "NAA");
    test::AddNamedMap(*list.FindByName("a"), "../up");
    test::AddNamedMap(*list.FindByName("b"), "Cho", TMap::kNeverSaved);
    test::WriteBytes(m_dir.File("a"), "samples a");
    test::WriteBytes(m_dir.File("a_NAA"), "naa map");
    test::WriteBytes(m_dir.File("b"), "samples b");
    test::WriteBytes(m_dir.File("b_Cho"), "not a stored map");

    const std::string target = m_dir.File("copy");
    ASSERT_TRUE(std::filesystem::create_directory(target));
    TFileTransaction transaction(target);
    EXPECT_TRUE(list.CopyDataFiles(target, transaction, nullptr));
    ASSERT_TRUE(transaction.Commit());
    EXPECT_EQ(test::ReadBytes(target + "/a"), "samples a");
    EXPECT_EQ(test::ReadBytes(target + "/a_NAA"), "naa map");
    EXPECT_EQ(test::ReadBytes(target + "/b"), "samples b");
    EXPECT_FALSE(FileExists(target + "/b_Cho"));
    // A map name that is not one file name never named a file.
    EXPECT_FALSE(FileExists(m_dir.File("up")));
    EXPECT_FALSE(FileExists(target + "/a_../up"));
}
