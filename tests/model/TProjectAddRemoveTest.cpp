// Adding and removing CSI sets and images, with a fake CSI reader and a fake image reader
// installed in the reader hooks: the checks of a new set against the images and their
// questions or batch warnings, the exam scans, removal with the files, the zero-filled
// copy and macro runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "model/ProcessingHooks.h"
#include "model/ReaderHooks.h"
#include "model/TCSIReader.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TTextFile.h"
#include "support/CSISetBuilders.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "ProjectFakes.h"

using namespace vx;

namespace {

const char* const kPatientQuestion =
    "Patient name is not matched with that of the images! Would you like to continue adding the new CSI set?";
const char* const kExamNumberQuestion =
    "Exam number is not matched with that of the images! Would you like to continue adding the new CSI set?";
const char* const kDateQuestion =
    "Exam date is not matched with that of the images! Would you like to continue adding the new CSI set?";
const char* const kGeometryQuestion =
    "Image and CSI geometries are not consistent! Misregistration would happen! Would you like to continue adding "
    "the CSI set?";

// What the fake reader makes of a file, keyed by the file's name.
struct TFakeSetData {
    std::string name;
    std::string patient = "Doe";
    std::string date = "2021.03.04 10:11:12";
    float rotation[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    float sample = 1.0f;  // real part of voxel 1, sample 2
};

struct TFakeImageData {
    std::string patient = "Doe";
    std::string date = "2021.03.04 10:11:12";
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
};

struct TRead {
    std::string path;
    TCSIReadParams params;
};

int g_liveReaders = 0;

class TFakeCSIReader : public TCSIReader {
public:
    TFakeCSIReader(const TCSIReadParams* p, const std::map<std::string, TFakeSetData>& fakeSets, std::vector<TRead>& reads)
        : TCSIReader(p), m_fakeSets(fakeSets), m_reads(reads)
    {
        ++g_liveReaders;
    }
    ~TFakeCSIReader() override { --g_liveReaders; }

    TCSISet* Read(std::string path) override
    {
        m_reads.push_back({path, m_params});
        const auto it = m_fakeSets.find(FileNameOf(path));
        if (it == m_fakeSets.end())
            return nullptr;
        const TFakeSetData& fake = it->second;
        auto* set = new TCSISet;
        set->m_nFormat = m_params.m_nFormat;
        set->m_strName = fake.name;
        set->m_strPatientName = fake.patient;
        set->m_strExamDate = fake.date;
        std::memcpy(set->m_fRotation, fake.rotation, sizeof fake.rotation);
        set->m_nDim[0] = 2;
        set->m_nDim[1] = 2;
        set->m_nPoints = 4;
        set->m_nSpectralWidth = 1000;
        set->m_fFrequency = 63.9f;
        set->m_bFrequencyDomain = 1;
        if (!set->AllocateVoxels()) {
            delete set;
            return nullptr;
        }
        set->InitVoxels();
        for (size_t v = 0; v < set->VoxelCount(); ++v)
            set->GetVoxel(v)->AllocateZeroed(set->m_nPoints);
        set->GetVoxel(size_t(1))->Data()[2] = TComplex(fake.sample, -2.0f);
        set->m_bLoaded = true;
        set->UpdateDataRange();
        return set;
    }

private:
    const std::map<std::string, TFakeSetData>& m_fakeSets;
    std::vector<TRead>& m_reads;
};

// Stand-ins for the processing objects, handed to the hooks as opaque pointers.
struct TFakeOwned {
    const void* target = nullptr;  // the set or image it is built on
    int deletions = 0;
};
template <class T, class U>
T* As(U* p)
{
    return reinterpret_cast<T*>(p);
}

class ProjectAddRemoveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        ClearReaderHooks();
        InstallProcessingHooks({});
        InstallCSIReaderFactory([this](uint32_t, const TCSIReadParams* p) -> TCSIReader* {
            return new TFakeCSIReader(p, m_fakeSets, m_reads);
        });
        for (int type : {0, 2})
            InstallImageReader(type, [this](TImageSet& images, const std::string& path, TImageImportParams p,
                                             TProject* project) { return ReadImage(images, path, p, project); });
        m_folder = m_dir.File("study");
        ASSERT_TRUE(m_project.Create(m_folder, "exam"));
        m_shell.Take();
    }
    void TearDown() override
    {
        TFile::FailWritesAfter(-1);
        ClearReaderHooks();
        InstallProcessingHooks({});
        ResetGlobals();
    }

    bool ReadImage(TImageSet& images, const std::string& path, TImageImportParams p, TProject* project)
    {
        m_imageReads.push_back(path + " type " + std::to_string(p.m_nImageType));
        const TFakeImageData fake = m_fakeImages.count(FileNameOf(path)) ? m_fakeImages[FileNameOf(path)] : TFakeImageData{};
        auto* image = new TMRImage(project);
        image->SetWidth(2, false);
        image->SetHeight(2, false);
        image->SetOrientation(2, false);
        image->SetInfoText(fake.patient, TMRImage::InfoPatientName, false);
        image->SetInfoText(fake.date, TMRImage::InfoExamDate, false);
        image->SetRotation(fake.rotation);
        image->SetName(StemOf(path), false);
        image->SetPath(JoinPath(project->GetFolder(), StemOf(path)));
        image->SetPixels({1, 2, 3, 4});
        if (!image->SavePixels(image->GetPath())) {
            delete image;
            return false;
        }
        images.Insert(image);
        return true;
    }

    // A read block as the Add CSI Set dialog would leave it for a format.
    static TCSIReadParams Params(int32_t format)
    {
        TCSIReadParams params;
        params.m_nFormat = format;
        return params;
    }
    bool AddSet(const std::string& file, int32_t format = 2) { return m_project.AddCSISet("/scanner", file, Params(format)); }
    bool AddImage(const std::string& file) { return m_project.AddImages("/scanner", file, TImageImportParams{}); }
    std::string SetPath(const std::string& name) const { return JoinPath(m_folder, name); }
    TFakeImageData& FakeImage(const std::string& file) { return m_fakeImages[file]; }
    TFakeSetData& FakeSet(const std::string& file, const std::string& name)
    {
        m_fakeSets[file].name = name;
        return m_fakeSets[file];
    }
    // The set and image counts in the saved project file.
    int32_t SavedCount(bool sets)
    {
        TProject reread;
        reread.m_strFolder = m_folder;
        TFile file;
        EXPECT_TRUE(file.Open(m_project.GetProjectFilePath(), TFile::Mode::Read));
        EXPECT_TRUE(reread.ReadStream(file));
        return sets ? reread.m_pCSISetList->GetCount() : reread.m_pImageSet->GetCount();
    }

    test::TTempFolder m_dir;
    test::TFakeMainFrame m_shell;
    test::TScriptedReport m_report;
    TProject m_project{&m_shell};
    std::string m_folder;
    std::map<std::string, TFakeSetData> m_fakeSets;
    std::map<std::string, TFakeImageData> m_fakeImages;
    std::vector<TRead> m_reads;
    std::vector<std::string> m_imageReads;
};

bool SameBlock(const TCSIReadParams& a, const TCSIReadParams& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

// --- AddCSISet -------------------------------------------------------------------------------

TEST_F(ProjectAddRemoveTest, AddedSetIsOwnedWrittenToTheProjectFolderAndUnloaded)
{
    FakeSet("csi1.SPAR", "csi1").sample = 7.5f;
    ASSERT_TRUE(AddSet("csi1.SPAR", 5));
    ASSERT_EQ(m_reads.size(), 1u);
    EXPECT_EQ(m_reads[0].path, "/scanner/csi1.SPAR");
    EXPECT_EQ(m_reads[0].params.m_nFormat, 5);
    EXPECT_EQ(g_liveReaders, 0);

    ASSERT_EQ(m_project.m_pCSISetList->GetCount(), 1);
    TCSISet* set = *m_project.m_pCSISetList->begin();
    EXPECT_EQ(set->GetProject(), &m_project);
    EXPECT_EQ(set->GetFilePath(), SetPath("csi1"));
    EXPECT_FALSE(set->IsLoaded());
    EXPECT_EQ(m_project.m_pWorkSet, nullptr);

    TCSISet reread;
    ASSERT_TRUE(reread.ReadDataFile(SetPath("csi1")));
    EXPECT_EQ(reread.GetVoxel(size_t(1))->Data()[2], TComplex(7.5f, -2.0f));
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(ProjectAddRemoveTest, ReaderFailuresAddNothing)
{
    EXPECT_FALSE(AddSet("unknown.SPAR"));  // the reader returns no set
    EXPECT_EQ(g_liveReaders, 0);
    InstallCSIReaderFactory({});
    FakeSet("csi1.SPAR", "csi1");
    EXPECT_FALSE(AddSet("csi1.SPAR"));     // no reader at all
    EXPECT_TRUE(m_project.m_pCSISetList->IsEmpty());
    EXPECT_TRUE(vx::test::ListedEntries(m_folder, "csi*").empty());
}

TEST_F(ProjectAddRemoveTest, DuplicateAndUnusableNamesAreRefused)
{
    FakeSet("a.SPAR", "csi1").sample = 1.0f;
    FakeSet("b.SPAR", "csi1").sample = 2.0f;
    ASSERT_TRUE(AddSet("a.SPAR"));
    const std::string stored = test::ReadBytes(SetPath("csi1"));

    EXPECT_FALSE(AddSet("b.SPAR"));
    EXPECT_EQ(m_report.Messages(), (std::vector<std::string>{"csi1 already exists.\r\n"}));
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 1);
    EXPECT_EQ(test::ReadBytes(SetPath("csi1")), stored);

    // In batch mode the refusal goes to the log instead.
    m_report.Clear();
    g_bBatchMode = true;
    EXPECT_FALSE(AddSet("b.SPAR"));
    EXPECT_EQ(g_batchLog, "csi1 already exists.\r\n");
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(m_report.Count(), 0u);
    g_bBatchMode = false;

    // Names that cannot be one file name of the project folder, or that an image's pixel
    // file already uses, are refused the same way.
    ASSERT_TRUE(AddImage("scan.PAR"));
    const std::string pixels = test::ReadBytes(SetPath("scan"));
    for (const char* name : {"../x", "..", "", "scan"}) {
        m_report.Clear();
        FakeSet("c.SPAR", name);
        EXPECT_FALSE(AddSet("c.SPAR")) << name;
        EXPECT_EQ(m_report.Messages(), (std::vector<std::string>{std::string(name) + " already exists.\r\n"}));
    }
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 1);
    EXPECT_EQ(test::ReadBytes(SetPath("scan")), pixels);
    EXPECT_FALSE(FileExists(m_dir.File("x")));
}

TEST_F(ProjectAddRemoveTest, WithoutImagesNothingIsCompared)
{
    TFakeSetData& fake = FakeSet("a.SPAR", "csi1");
    fake.patient = "Somebody Else";
    fake.date = "1999";
    fake.rotation[0][1] = 0.7f;
    EXPECT_TRUE(AddSet("a.SPAR"));  // an unplanned question would fail the test
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(ProjectAddRemoveTest, PatientAndDateQuestionsDecideTheAdd)
{
    FakeImage("i1.PAR").patient = " Doe ";
    ASSERT_TRUE(AddImage("i1.PAR"));
    ASSERT_TRUE(AddImage("i2.PAR"));

    // Blanks around the patient name do not count.
    FakeSet("same.SPAR", "same").patient = "Doe  ";
    EXPECT_TRUE(AddSet("same.SPAR"));
    EXPECT_EQ(m_report.Count(), 0u);

    FakeSet("other.SPAR", "other").patient = "Roe";
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(AddSet("other.SPAR"));
    EXPECT_EQ(m_report.Questions(), (std::vector<std::string>{kPatientQuestion}));
    EXPECT_FALSE(FileExists(SetPath("other")));
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 1);

    // The GE formats speak of the exam number.
    m_report.Clear();
    m_report.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(AddSet("other.SPAR", 13));
    EXPECT_EQ(m_report.Questions(), (std::vector<std::string>{kExamNumberQuestion}));
    EXPECT_TRUE(FileExists(SetPath("other")));

    // The date is compared without trimming.
    m_report.Clear();
    FakeSet("late.SPAR", "late").date = "2021.03.04 10:11:12 ";
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(AddSet("late.SPAR"));
    EXPECT_EQ(m_report.Questions(), (std::vector<std::string>{kDateQuestion}));

    // Both differ: a No to the first question ends the add; Yes leads to the second.
    m_report.Clear();
    TFakeSetData& both = FakeSet("both.SPAR", "both");
    both.patient = "Roe";
    both.date = "2000";
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(AddSet("both.SPAR"));
    EXPECT_EQ(m_report.Questions().size(), 1u);
    m_report.Clear();
    m_report.PlanAnswer(ReportAnswer::Yes);
    m_report.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(AddSet("both.SPAR"));
    EXPECT_EQ(m_report.Questions(), (std::vector<std::string>{kPatientQuestion, kDateQuestion}));
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 3);
}

TEST_F(ProjectAddRemoveTest, RotationsDisagreeFromADifferenceOfFiveThousandths)
{
    ASSERT_TRUE(AddImage("i1.PAR"));
    struct Case {
        int row, col;
        float value;
        bool asks;
    };
    const Case cases[] = {
        {0, 1, 0.005f, true},   {0, 1, 0.0049f, false}, {2, 0, -0.005f, true},
        {2, 2, 0.995f, true},   {2, 2, 0.9951f, false}, {1, 1, 1.0049f, false},
        {1, 2, 0.5f, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        m_report.Clear();
        std::string name = "g";
        name += std::to_string(n++);
        FakeSet(name + ".SPAR", name).rotation[c.row][c.col] = c.value;
        if (c.asks)
            m_report.PlanAnswer(ReportAnswer::No);
        EXPECT_EQ(AddSet(name + ".SPAR"), !c.asks) << c.row << c.col << " " << c.value;
        EXPECT_EQ(m_report.Questions().size(), c.asks ? 1u : 0u) << c.value;
    }

    // Only the first image that disagrees is asked about, and No is the default answer.
    FakeImage("i2.PAR").rotation[1] = 0.3f;
    ASSERT_TRUE(AddImage("i2.PAR"));
    m_report.Clear();
    m_report.AllowDefaults();
    FakeSet("tilted.SPAR", "tilted").rotation[0][1] = 0.6f;
    EXPECT_FALSE(AddSet("tilted.SPAR"));
    EXPECT_EQ(m_report.Questions(), (std::vector<std::string>{kGeometryQuestion}));
    EXPECT_FALSE(FileExists(SetPath("tilted")));
}

TEST_F(ProjectAddRemoveTest, BatchModeAddsADifferingSetWithThreeWarnings)
{
    ASSERT_TRUE(AddImage("i1.PAR"));
    FakeImage("i2.PAR").rotation[3] = 0.2f;
    ASSERT_TRUE(AddImage("i2.PAR"));
    TFakeSetData& fake = FakeSet("odd.SPAR", "odd");
    fake.patient = "Roe";
    fake.date = "2000";
    fake.rotation[0][2] = 0.1f;
    g_bBatchMode = true;
    EXPECT_TRUE(AddSet("odd.SPAR"));
    EXPECT_EQ(g_batchLog,
              "Warning: Patient name of CSI set odd is not matched with images.\r\n"
              "Warning: Exam date of CSI set odd is not matched with images.\r\n"
              "Warning: geometry of CSI set odd is not consistent with images. \r\n");
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_TRUE(FileExists(SetPath("odd")));

    g_batchLog.clear();
    EXPECT_FALSE(AddSet("odd.SPAR", 16));  // same name again: refused
    FakeSet("ge.SPAR", "ge").patient = "1234";
    EXPECT_TRUE(AddSet("ge.SPAR", 12));
    EXPECT_EQ(g_batchLog,
              "odd already exists.\r\n"
              "Warning: Exam number of CSI set ge is not matched with images.\r\n"
              "Warning: geometry of CSI set ge is not consistent with images. \r\n");
}

TEST_F(ProjectAddRemoveTest, AFailedDataSetWriteLeavesNoSet)
{
    FakeSet("a.SPAR", "csi1");
    TFile::FailWritesAfter(16);
    EXPECT_FALSE(AddSet("a.SPAR"));
    TFile::FailWritesAfter(-1);
    EXPECT_TRUE(m_project.m_pCSISetList->IsEmpty());
    EXPECT_FALSE(FileExists(SetPath("csi1")));
    // The data-set writer's own message, with what it meant for the set, and why.
    EXPECT_EQ(m_report.Messages(),
              (std::vector<std::string>{"Can not write CSI data set file " + SetPath("csi1") +
                                        ".\r\nThe CSI set csi1 was not added: the disk is full."}));
    EXPECT_EQ(g_liveReaders, 0);
}

// A reader's set that the project file could not list and read back (here a rotation
// without inverse) is refused before anything is written: adding it would leave a project
// that no longer opens.
TEST_F(ProjectAddRemoveTest, ASetTheProjectFileCannotListIsRefusedAndTheProjectStillOpens)
{
    FakeSet("csi1.SPAR", "csi1");
    ASSERT_TRUE(AddSet("csi1.SPAR"));
    const std::string project = test::ReadBytes(m_project.GetProjectFilePath());
    std::fill_n(&FakeSet("flat.SPAR", "flat").rotation[0][0], 9, 0.0f);
    EXPECT_FALSE(AddSet("flat.SPAR"));
    EXPECT_EQ(m_report.Messages(),
              std::vector<std::string>{"The CSI set flat was not added: the field of view, frequency, sweep width, "
                                       "grid or orientation that /scanner/flat.SPAR gives it cannot be used."});
    EXPECT_EQ(m_project.m_pCSISetList->FindByName("flat"), nullptr);
    EXPECT_FALSE(FileExists(SetPath("flat")));
    EXPECT_EQ(test::ReadBytes(m_project.GetProjectFilePath()), project);
    EXPECT_EQ(SavedCount(true), 1);
}

// --- exam folders and Add Exam ---------------------------------------------------------------

TEST_F(ProjectAddRemoveTest, ExamFolderScansByTypeWithTheirReadBlocks)
{
    const std::string exam = m_dir.File("exam");
    MakeFolder(exam);
    MakeFolder(JoinPath(exam, "sub.PAR"));
    for (const char* name : {"c.par", "a.PAR", "a.REC", "b_SURVEY_1.PAR", "s1.SPAR", "s1.SDAT", "s2.spar", "m.LIST",
                             "m.DATA", "E1S2I1.MR", "e2", "eSURVEY1.MR", "P12345.7", "p99", "x.dat"})
        test::WriteBytes(JoinPath(exam, name), "x");

    // The read block each type hands over: format, dimension word, option bytes 3, 11,
    // 13 and 14; every other word stays 0.
    struct Case {
        int type;
        std::vector<std::string> images, csiFiles;
        int32_t format, dims;
        bool geOptions, multiSlice;
    };
    const std::vector<std::string> philipsImages{"a.PAR type 0", "c.par type 0"};
    const Case cases[] = {
        {0, philipsImages, {"s1.SPAR", "s2.spar"}, 2, 2, false, false},
        // The multi-slice format reads LIST files.
        {1, philipsImages, {"m.LIST"}, 5, 2, false, true},
        {2, philipsImages, {"m.LIST"}, 8, 3, false, false},
        // GE DICOM images "e*.*" (also without a dot) less the surveys, P-files "P*.*".
        {3, {"E1S2I1.MR type 2", "e2 type 2"}, {"P12345.7", "p99"}, 15, 3, true, false},
        {4, {}, {}, 0, 0, false, false},
    };
    for (const Case& c : cases) {
        m_reads.clear();
        m_imageReads.clear();
        EXPECT_TRUE(m_project.AddExamFolder(exam, c.type));
        std::vector<std::string> images;
        for (const std::string& name : c.images)
            images.push_back(exam + "/" + name);
        EXPECT_EQ(m_imageReads, images) << "type " << c.type;
        TCSIReadParams expected;
        expected.m_nFormat = c.format;
        expected.m_nSpatialDims = c.dims;
        expected.m_bSpare = c.multiSlice;
        expected.m_bCenter[0] = expected.m_bFlipFrequency = expected.m_bHalfVoxelShift = c.geOptions;
        ASSERT_EQ(m_reads.size(), c.csiFiles.size()) << "type " << c.type;
        for (size_t k = 0; k < m_reads.size(); ++k) {
            EXPECT_EQ(m_reads[k].path, exam + "/" + c.csiFiles[k]);
            EXPECT_TRUE(SameBlock(m_reads[k].params, expected)) << "type " << c.type;
        }
    }
}

TEST_F(ProjectAddRemoveTest, ExamFolderStopsAtAPatternThatFindsNothing)
{
    const std::string exam = m_dir.File("exam");
    MakeFolder(exam);
    test::WriteBytes(JoinPath(exam, "s1.SPAR"), "x");
    EXPECT_FALSE(m_project.AddExamFolder(exam, 0));  // no images: the CSI files are not searched
    EXPECT_TRUE(m_reads.empty());

    test::WriteBytes(JoinPath(exam, "a.PAR"), "x");
    EXPECT_FALSE(m_project.AddExamFolder(exam, 2));  // images, but no LIST file
    EXPECT_EQ(m_imageReads.size(), 1u);
    EXPECT_EQ(m_project.m_pImageSet->GetCount(), 1);

    // A folder that cannot be listed is no folder without files: it is named with why among
    // those that could not be added, also by the trial that comes before an exam is taken.
    std::string failed;
    TProject::TExamTrial trial;
    {
        test::TFileFaultScope fault({{kFileList, EIO, 1, true}});
        EXPECT_FALSE(m_project.AddExamFolder(exam, 2, &failed));
        trial = m_project.TryExam({"[" + exam + "]"}, 2);
    }
    const std::string unlisted = exam + " (its files cannot be listed: input/output error); ";
    EXPECT_EQ(failed, unlisted);
    EXPECT_EQ(trial.failed, unlisted);
    EXPECT_FALSE(trial.anyAddable);
    EXPECT_EQ(m_imageReads.size(), 1u);
}

TEST_F(ProjectAddRemoveTest, AddExamTakesFoldersInBracketsAndFilesByTheirNames)
{
    EXPECT_FALSE(m_project.AddExam({}, 0));

    const std::string exam = m_dir.File("Exam.PAR");  // a folder name that looks like a file
    MakeFolder(exam);
    test::WriteBytes(JoinPath(exam, "a.PAR"), "x");
    test::WriteBytes(JoinPath(exam, "s1.SPAR"), "x");
    ASSERT_TRUE(m_project.AddExam({"[" + exam + "]", "/Scans/Brain.SPAR", "/Scans/T1.PAR", "/Scans/T1.REC",
                                   "/Scans/m.LIST", ""},
                                  0));
    // The files are opened by their own names; only the matching is done in lower case.
    EXPECT_EQ(m_imageReads, (std::vector<std::string>{exam + "/a.PAR type 0", "/Scans/T1.PAR type 0"}));
    ASSERT_EQ(m_reads.size(), 2u);
    EXPECT_EQ(m_reads[0].path, exam + "/s1.SPAR");
    EXPECT_EQ(m_reads[1].path, "/Scans/Brain.SPAR");
    EXPECT_EQ(m_reads[1].params.m_nFormat, 2);

    m_reads.clear();
    m_imageReads.clear();
    ASSERT_TRUE(m_project.AddExam({"/Scans/m.LIST", "/Scans/s.SPAR", "/Scans/Brain.PAR"}, 1));
    EXPECT_EQ(m_imageReads, (std::vector<std::string>{"/Scans/Brain.PAR type 0"}));
    ASSERT_EQ(m_reads.size(), 1u);
    EXPECT_EQ(m_reads[0].params.m_nFormat, 5);
    EXPECT_EQ(m_reads[0].params.m_bSpare, 1);

    m_reads.clear();
    m_imageReads.clear();
    ASSERT_TRUE(m_project.AddExam({"/GE/E77S3I1.MR", "/GE/P04096.7", "/GE/x.7"}, 3));
    EXPECT_EQ(m_imageReads, (std::vector<std::string>{"/GE/E77S3I1.MR type 2"}));
    ASSERT_EQ(m_reads.size(), 1u);
    EXPECT_EQ(m_reads[0].path, "/GE/P04096.7");
    EXPECT_EQ(m_reads[0].params.m_nFormat, 15);
    EXPECT_EQ(m_reads[0].params.m_bHalfVoxelShift, 1);

    m_reads.clear();
    m_imageReads.clear();
    EXPECT_TRUE(m_project.AddExam({"/Scans/T1.PAR", "/Scans/Brain.SPAR"}, 9));
    EXPECT_TRUE(m_reads.empty());
    EXPECT_TRUE(m_imageReads.empty());
}

// --- removing --------------------------------------------------------------------------------

TEST_F(ProjectAddRemoveTest, RemovingImagesDeletesTheirFilesFramesAndDrawings)
{
    ASSERT_TRUE(AddImage("i1.PAR"));
    ASSERT_TRUE(AddImage("i2.PAR"));
    ASSERT_TRUE(AddImage("i3.PAR"));
    std::map<std::string, TMRImage*> images;
    for (TMRImage* image : *m_project.m_pImageSet)
        images[image->GetName()] = image;
    TMRImage* i1 = images["i1"];

    TFakeOwned onI1{i1}, onI2{images["i2"]}, estimateOnI1{i1};
    TProcessingHooks hooks;
    hooks.regionUsesImage = [](TDrawnRegion* r, const TMRImage* i) { return As<TFakeOwned>(r)->target == i; };
    hooks.estimateUsesImage = [](TRegionEstimate* e, const TMRImage* i) { return As<TFakeOwned>(e)->target == i; };
    hooks.deleteRegion = [](TDrawnRegion* r) { ++As<TFakeOwned>(r)->deletions; };
    hooks.deleteEstimate = [](TRegionEstimate* e) { ++As<TFakeOwned>(e)->deletions; };
    InstallProcessingHooks(hooks);
    m_project.m_drawnRegions[0] = As<TDrawnRegion>(&onI1);
    m_project.m_drawnRegions[1] = As<TDrawnRegion>(&onI2);
    m_project.m_regionEstimates.push_back(As<TRegionEstimate>(&estimateOnI1));

    m_shell.Take();
    m_project.RemoveImage(i1);
    EXPECT_FALSE(FileExists(SetPath("i1")));
    EXPECT_EQ(m_project.m_pImageSet->GetCount(), 2);
    EXPECT_EQ(SavedCount(false), 2);
    const test::TCallLog calls = m_shell.Take();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "CloseImageFrame");
    EXPECT_TRUE(std::find(calls.begin(), calls.end(), "UpdateAll 00001") != calls.end());
    EXPECT_EQ(onI1.deletions, 1);
    EXPECT_EQ(estimateOnI1.deletions, 1);
    EXPECT_EQ(onI2.deletions, 0);
    EXPECT_EQ(m_project.m_drawnRegions.size(), 1u);
    EXPECT_TRUE(m_project.m_regionEstimates.empty());

    // An image that is not in the project changes nothing.
    TMRImage stranger(&m_project);
    m_project.RemoveImage(&stranger);
    EXPECT_TRUE(m_shell.Take().empty());

    // A list with repeats and a pixel file that is already gone: no error.
    RemoveFile(SetPath("i2"));
    m_project.RemoveImages({images["i2"], images["i3"], images["i2"]});
    EXPECT_TRUE(m_project.m_pImageSet->IsEmpty());
    EXPECT_FALSE(FileExists(SetPath("i3")));
    EXPECT_EQ(SavedCount(false), 0);
    EXPECT_EQ(onI2.deletions, 1);
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(ProjectAddRemoveTest, ARemovalThatFailsAfterItsJournalSaysTheSetIsRemoved)
{
    FakeSet("a.SPAR", "a");
    ASSERT_TRUE(AddSet("a.SPAR"));
    TCSISet* a = m_project.m_pCSISetList->FindByName("a");
    // Once the journal is written, a folder takes the place of the data-set file.
    TFile::SetStepHook([this] {
        if (FileExists(m_folder + "/.vexara/journal") && FileExists(SetPath("a"))) {
            RemoveFile(SetPath("a"));
            MakeFolder(SetPath("a"));
        }
    });
    m_report.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(m_project.RemoveCSISet(a));
    TFile::SetStepHook({});
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 0);
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"The CSI set a is removed, but " + SetPath("a") +
                                                            " could not be removed: is a directory. The change "
                                                            "reaches the disk when the project is opened again."});
}

TEST_F(ProjectAddRemoveTest, RemovingASetDeletesItsDataSetAndMapFilesOnly)
{
    FakeSet("a.SPAR", "a");
    FakeSet("ab.SPAR", "a_b");
    ASSERT_TRUE(AddSet("a.SPAR"));
    ASSERT_TRUE(AddSet("ab.SPAR"));
    TCSISet* a = m_project.m_pCSISetList->FindByName("a");
    test::AddNamedMap(*a, "NAA_map");
    test::AddNamedMap(*a, "../../escape");
    test::AddNamedMap(*m_project.m_pCSISetList->FindByName("a_b"), "Cho_map");
    // Map files that read: the saved project is read back by the checks below.
    const std::string mapFile = test::ReadBytes(std::string(VX_SOURCE_ROOT) + "/tests/model/golden/map_v9.bin");
    for (const char* file : {"a_NAA_map", "a_b_Cho_map"})
        test::WriteBytes(SetPath(file), mapFile);

    TCSISet stranger;
    EXPECT_FALSE(m_project.RemoveCSISet(&stranger));  // not asked about
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(m_project.RemoveCSISet(a));
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 2);
    EXPECT_TRUE(FileExists(SetPath("a")));

    m_report.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(m_project.RemoveCSISet(a));
    EXPECT_EQ(m_report.Questions(),
              (std::vector<std::string>{"Are you sure you want to remove the set a from the project?",
                                        "Are you sure you want to remove the set a from the project?"}));
    EXPECT_FALSE(FileExists(SetPath("a")));
    EXPECT_FALSE(FileExists(SetPath("a_NAA_map")));
    EXPECT_TRUE(FileExists(SetPath("a_b")));
    EXPECT_TRUE(FileExists(SetPath("a_b_Cho_map")));
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 1);
    EXPECT_EQ(SavedCount(true), 1);

    // A data-set file that is already gone is no error.
    TCSISet* ab = m_project.m_pCSISetList->FindByName("a_b");
    RemoveFile(SetPath("a_b"));
    m_report.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(m_project.RemoveCSISet(ab));
    EXPECT_TRUE(m_report.Messages().empty());
    EXPECT_FALSE(FileExists(SetPath("a_b_Cho_map")));
}

TEST_F(ProjectAddRemoveTest, RemovingTheWorkSetDropsItsHistoryEstimatesAndAnalyses)
{
    ASSERT_TRUE(AddImage("i1.PAR"));
    FakeSet("a.SPAR", "a");
    FakeSet("b.SPAR", "b");
    ASSERT_TRUE(AddSet("a.SPAR"));
    ASSERT_TRUE(AddSet("b.SPAR"));
    TCSISet* a = m_project.m_pCSISetList->FindByName("a");
    TCSISet* b = m_project.m_pCSISetList->FindByName("b");

    int historyClears = 0;
    TFakeOwned onA{a}, onB{b}, estimate{a}, region{nullptr};
    TProcessingHooks hooks;
    hooks.newHistory = [&] { return As<TProcessHistory>(&historyClears); };
    hooks.clear = [](TProcessHistory* h) { ++*As<int>(h); };
    hooks.analysisUsesSet = [](TAnalysis* x, const TCSISet* s) { return As<TFakeOwned>(x)->target == s; };
    hooks.estimateUsesSet = [](TRegionEstimate* x, const TCSISet* s) { return As<TFakeOwned>(x)->target == s; };
    hooks.deleteAnalysis = [](TAnalysis* x) { ++As<TFakeOwned>(x)->deletions; };
    hooks.deleteEstimate = [](TRegionEstimate* x) { ++As<TFakeOwned>(x)->deletions; };
    hooks.deleteRegion = [](TDrawnRegion* x) { ++As<TFakeOwned>(x)->deletions; };
    hooks.deleteHistory = [](TProcessHistory*) {};
    InstallProcessingHooks(hooks);
    m_project.m_history = As<TProcessHistory>(&historyClears);

    m_project.SetWorkSet(a);
    ASSERT_EQ(m_project.m_pWorkSet, a);
    m_project.m_analyses = {As<TAnalysis>(&onA), As<TAnalysis>(&onB)};
    m_project.m_regionEstimates.push_back(As<TRegionEstimate>(&estimate));
    m_project.m_drawnRegions[3] = As<TDrawnRegion>(&region);
    m_project.SetModified(true);
    m_shell.Take();

    m_report.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(m_project.RemoveCSISet(a));  // no question about saving the set that goes
    EXPECT_EQ(m_report.Questions().size(), 1u);
    EXPECT_EQ(m_project.m_pWorkSet, nullptr);
    EXPECT_GE(historyClears, 1);
    EXPECT_EQ(estimate.deletions, 1);
    EXPECT_EQ(region.deletions, 1);
    EXPECT_EQ(onA.deletions, 1);
    EXPECT_EQ(onB.deletions, 0);
    EXPECT_EQ(m_project.m_analyses, (std::vector<TAnalysis*>{As<TAnalysis>(&onB)}));
    EXPECT_FALSE(m_project.IsModified());
    const test::TCallLog calls = m_shell.Take();
    EXPECT_TRUE(std::find(calls.begin(), calls.end(), "DestroyAll") != calls.end());
    EXPECT_TRUE(std::find(calls.begin(), calls.end(), "CloseAllChildWindows") != calls.end());

    // Removing a set that is not the work set deletes only the analyses built on it.
    m_report.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(m_project.RemoveCSISet(b));
    EXPECT_EQ(onB.deletions, 1);
    EXPECT_TRUE(m_project.m_analyses.empty());
    m_project.m_history = nullptr;
}

// --- zero filling and macros -----------------------------------------------------------------

TEST_F(ProjectAddRemoveTest, ZeroFillAddsACopyOrReplacesAnEarlierOne)
{
    FakeSet("a.SPAR", "brain");
    FakeSet("b.SPAR", "other");
    ASSERT_TRUE(AddSet("a.SPAR"));
    ASSERT_TRUE(AddSet("b.SPAR"));
    TCSISet* brain = m_project.m_pCSISetList->FindByName("brain");
    TCSISet* other = m_project.m_pCSISetList->FindByName("other");
    const int bigger[3] = {4, 4, 1};
    const int same[3] = {2, 2, 1};

    m_project.ZeroFillCSISet(brain, bigger);  // no work set: nothing
    m_project.SetWorkSet(brain);
    m_project.ZeroFillCSISet(nullptr, bigger);
    m_project.ZeroFillCSISet(brain, same);
    EXPECT_EQ(m_report.Count(), 0u);
    // Only the work set's samples are in memory; a smaller grid is no zero filling.
    m_project.ZeroFillCSISet(other, bigger);
    const int narrower[3] = {4, 1, 1};
    m_project.ZeroFillCSISet(brain, narrower);
    EXPECT_EQ(m_report.Messages(), (std::vector<std::string>{"The CSI set needs to be work set.",
                                                             "New size needs to be larger than original size."}));
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 2);

    m_report.Clear();
    m_shell.Take();
    m_project.ZeroFillCSISet(brain, bigger);
    EXPECT_EQ(m_report.Count(), 0u);
    ASSERT_EQ(m_project.m_pCSISetList->GetCount(), 3);
    TCSISet* copy = m_project.m_pCSISetList->FindByName("brain_4_4_1");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetFilePath(), SetPath("brain_4_4_1"));
    EXPECT_FALSE(copy->IsLoaded());  // its samples are in its file
    EXPECT_EQ(SavedCount(true), 3);
    EXPECT_EQ(m_project.m_pWorkSet, brain);
    TCSISet first;
    ASSERT_TRUE(first.ReadDataFile(SetPath("brain_4_4_1")));
    ASSERT_EQ(first.VoxelCount(), 16u);

    // A second copy of that size replaces the first: twice the samples, twice the copy.
    brain->Scale(2.0f);
    m_project.ZeroFillCSISet(brain, bigger);
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 3);
    EXPECT_TRUE(m_shell.Logged("RemoveCSISetItem"));
    TCSISet second;
    ASSERT_TRUE(second.ReadDataFile(SetPath("brain_4_4_1")));
    const std::vector<TComplex> a = test::AllSamples(first), b = test::AllSamples(second);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(std::abs(b[i] - 2.0f * a[i]), 0.0f, 1e-5f) << i;

    // A copy whose file cannot be written changes nothing.
    TFile::FailWritesAfter(16);
    const int wider[3] = {8, 8, 1};
    m_project.ZeroFillCSISet(brain, wider);
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(m_project.m_pCSISetList->GetCount(), 3);
    EXPECT_EQ(m_project.m_pCSISetList->FindByName("brain_8_8_1"), nullptr);
    EXPECT_FALSE(FileExists(SetPath("brain_8_8_1")));

    // A copy whose name is an image's pixel file is refused before anything is written.
    m_report.Clear();
    ASSERT_TRUE(AddImage("brain_16_16_1.PAR"));
    const std::string pixels = test::ReadBytes(SetPath("brain_16_16_1"));
    const int widest[3] = {16, 16, 1};
    m_project.ZeroFillCSISet(brain, widest);
    EXPECT_EQ(m_report.Messages(), (std::vector<std::string>{"brain_16_16_1 already exists.\r\n"}));
    EXPECT_EQ(test::ReadBytes(SetPath("brain_16_16_1")), pixels);
    EXPECT_EQ(m_project.m_pCSISetList->FindByName("brain_16_16_1"), nullptr);
    EXPECT_EQ(m_project.m_pWorkSet, brain);
}

TEST_F(ProjectAddRemoveTest, MacroRunsNeedAWorkSetAFileAndTheMacroStep)
{
    const std::string macro = m_dir.File("run.mcr");
    EXPECT_FALSE(m_project.RunMacroFile(macro));  // no work set: nothing, not even the missing file
    EXPECT_EQ(m_report.Count(), 0u);

    FakeSet("a.SPAR", "a");
    ASSERT_TRUE(AddSet("a.SPAR"));
    TCSISet* a = *m_project.m_pCSISetList->begin();
    m_project.SetWorkSet(a);
    EXPECT_FALSE(m_project.RunMacroFile(macro));
    EXPECT_EQ(m_report.Messages(), (std::vector<std::string>{"Can not open macro file: " + macro}));

    test::WriteBytes(macro, "#Macro file\r\n");
    m_report.Clear();
    EXPECT_FALSE(m_project.RunMacroFile(macro));
    EXPECT_EQ(m_report.Messages(),
              (std::vector<std::string>{"Can not run macro file " + macro +
                                        " because the processing library is not installed."}));

    // With the macro step: a file of the wrong format, then a good one applied and recorded.
    int step = 42;
    std::vector<std::string> calls;
    TFakeOwned analysis;
    bool computed = true;
    TProcessingHooks hooks;
    hooks.newMacroStep = [&](bool recording, TCSISet* set) {
        calls.push_back("new " + std::to_string(recording) + (set == a ? " work set" : " other"));
        return As<TProcessStep>(&step);
    };
    hooks.readMacro = [&](TProcessStep* s, TTextFile& file) {
        std::string first, second;
        calls.push_back(s == As<TProcessStep>(&step) ? "read" : "read ?");
        return file.ReadString(first) && file.ReadString(second) && second == "good";
    };
    hooks.applyStep = [&](TProcessStep* s, TCSISet* set) {
        calls.push_back(std::string("apply ") + (s == As<TProcessStep>(&step) && set == a ? "step" : "?"));
        return true;
    };
    hooks.deleteStep = [&](TProcessStep*) { calls.push_back("deleted"); };
    hooks.setAnalysisComputed = [&](TAnalysis*, bool done) { computed = done; };
    InstallProcessingHooks(hooks);
    m_project.m_analyses.push_back(As<TAnalysis>(&analysis));
    m_project.m_bRecording = true;

    m_report.Clear();
    EXPECT_FALSE(m_project.RunMacroFile(macro));
    EXPECT_EQ(m_report.Messages(),
              (std::vector<std::string>{"Can not run macro file " + macro + " because of wrong format."}));
    EXPECT_EQ(calls, (std::vector<std::string>{"new 1 work set", "read", "deleted"}));

    test::WriteBytes(macro, "#Macro file\r\ngood\r\n");
    calls.clear();
    m_report.Clear();
    m_shell.Take();
    EXPECT_TRUE(m_project.RunMacroFile(macro));
    EXPECT_EQ(m_report.Count(), 0u);
    // Without a history the project deletes the step it records.
    EXPECT_EQ(calls, (std::vector<std::string>{"new 1 work set", "read", "apply step", "deleted"}));
    EXPECT_FALSE(computed);
    EXPECT_TRUE(m_shell.Logged("UpdateAll 10000"));
    EXPECT_TRUE(m_shell.Logged("RefreshVoxelWindows"));
    EXPECT_TRUE(m_shell.Logged("RefreshRegionWindows"));
    m_project.m_analyses.clear();
}
