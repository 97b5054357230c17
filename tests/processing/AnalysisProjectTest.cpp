// Analyses in the project: saved with the project file and read back, the bytes of
// their part of the file against a packing of the documented layout, damaged parts
// refused cleanly, and the removal of the analysed set taking its analyses with it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "AnalysisTestData.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TFolderHold.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "processing/AnalysisRecords.h"
#include "processing/InstallProcessing.h"
#include "processing/TAnalysisNMF.h"
#include "processing/TAnalysisPCA.h"
#include "processing/TPCACorrection.h"
#include "processing/TProcessStep.h"
#include "processing/TZeroFillStep.h"
#include "support/Bytes.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

constexpr int kPoints = 96;

std::string Float32LE(const std::vector<float>& values)
{
    std::string out;
    for (float f : values) {
        int32_t bits = 0;
        std::memcpy(&bits, &f, 4);
        out += test::Int32LE({bits});
    }
    return out;
}

std::string MatrixBytes(const TFloatMatrix& m)
{
    return test::Int32LE({int32_t(m.Rows()), int32_t(m.Columns())}) +
           Float32LE(std::vector<float>(m.Data(), m.Data() + size_t(m.Rows()) * m.Columns()));
}

class AnalysisProjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        InstallProcessing();
    }
    void TearDown() override
    {
        ResetGlobals();
        InstallProcessingHooks({});
    }

    std::string ProjectPath() const { return m_dir.File("study.tpj"); }

    // A new project whose loaded work set (4 x 3 x 2 voxels) has its data-set file.
    std::unique_ptr<TProject> MakeProject()
    {
        auto project = std::make_unique<TProject>();
        EXPECT_TRUE(project->Create(m_dir.Path(), "study"));
        std::unique_ptr<TCSISet> owned = test::MakeMixtureSet(4, 3, 2, kPoints, 1e-3);
        owned->SetProject(project.get());
        owned->SetFolder(m_dir.Path());
        EXPECT_TRUE(owned->WriteDataFile(owned->GetFilePath()));
        TCSISet* set = owned.release();
        project->m_pCSISetList->Add(set);
        project->SetWorkSet(set);
        EXPECT_TRUE(set->IsLoaded());
        return project;
    }

    // The project saved with one PCA of 3 components over points 30..61 (two intervals);
    // with `selection` of four voxels.
    std::unique_ptr<TProject> MakeSavedProject(bool selection)
    {
        std::unique_ptr<TProject> project = MakeProject();
        TCSISet* set = project->m_pWorkSet;
        if (selection)
            for (size_t v : {1u, 6u, 7u, 20u})
                set->GetVoxel(v)->m_bSelected = 1;
        const int32_t intervals[] = {30, 40, 45, 61};
        auto pca = std::make_unique<TAnalysisPCA>(30, 61, 3, intervals, 2);
        EXPECT_TRUE(pca->Prepare(set, selection));
        EXPECT_TRUE(pca->Compute());
        project->m_analyses.push_back(pca.release());
        EXPECT_TRUE(project->Save());
        return project;
    }

    test::TTempFolder m_dir;
};

TEST_F(AnalysisProjectTest, SavedAnalysisIsReadBackEqual)
{
    for (bool selection : {false, true}) {
        SCOPED_TRACE(selection);
        std::unique_ptr<TProject> saved = MakeSavedProject(selection);
        const TAnalysis& a = *saved->m_analyses.front();
        // The saved project lets go of its folder (as Add Exam's does), keeping its analysis.
        saved->HandOverPlace();
        TProject read;
        test::TScriptedReport report;
        ASSERT_TRUE(read.Load(ProjectPath()));
        EXPECT_EQ(report.Count(), 0u);
        ASSERT_EQ(read.m_analyses.size(), 1u);
        const auto* b = dynamic_cast<const TAnalysisPCA*>(read.m_analyses.front());
        ASSERT_TRUE(b);
        EXPECT_EQ(b->GetCSISet(), read.m_pWorkSet);
        EXPECT_EQ(b->GetName(), "PCA_30_61_3");
        EXPECT_TRUE(b->Components() == a.Components());
        EXPECT_TRUE(b->Scores() == a.Scores());
        EXPECT_TRUE(b->Weights() == a.Weights());
        EXPECT_TRUE(b->Data() == a.Data());
        EXPECT_EQ(b->UsesSelection(), selection);
        EXPECT_EQ(b->Voxels(), a.Voxels());
        EXPECT_EQ(b->RectXMin(), a.RectXMin());
        EXPECT_EQ(b->RectYMax(), a.RectYMax());
        ASSERT_TRUE(b->GetScoreImage(1, 2));
        EXPECT_TRUE(*b->GetScoreImage(1, 2) == *a.GetScoreImage(1, 2));
        // The read analysis computes again from the read set (the voxel selection is not
        // part of the project and is made again).
        for (const TAnalysisVoxel& v : b->Voxels())
            read.m_pWorkSet->GetVoxel(v.first, v.second, v.slice)->m_bSelected = 1;
        TAnalysisPCA* again = dynamic_cast<TAnalysisPCA*>(read.m_analyses.front());
        ASSERT_TRUE(again->Run(true));
        EXPECT_TRUE(again->Data() == a.Data());
    }
}

TEST_F(AnalysisProjectTest, AnalysisPartHasTheDocumentedBytes)
{
    std::unique_ptr<TProject> project = MakeSavedProject(true);
    const TAnalysis& a = *project->m_analyses.front();
    std::string body = std::string("csi", 4) + std::string("PCA_30_61_3", 12) +
                       test::Int32LE({30, 61, 3, 2, 2, 2, 30, 40, 45, 61});
    for (int i = 2; i < 50; ++i)
        body += test::Int32LE({0, 0});
    // Voxels 1, 6, 7 and 20 of the 4 x 3 x 2 grid, slice axis 2: (slice, x, y).
    body += test::Int32LE({1, 1, 4, 0, 1, 0, 0, 2, 1, 0, 3, 1, 1, 0, 2});
    body += MatrixBytes(a.Components()) + MatrixBytes(a.Weights()) + MatrixBytes(a.Data()) + MatrixBytes(a.Scores());
    const std::string part =
        test::Int32LE({kAnalysisSectionTag, 1, TAnalysisPCA::kRecordKind, int32_t(body.size())}) + body;
    const std::string file = test::ReadBytes(ProjectPath());
    ASSERT_GT(file.size(), part.size());
    EXPECT_EQ(file.substr(file.size() - part.size()), part);
    EXPECT_EQ(a.Components().Rows(), 3u);
    EXPECT_EQ(a.Data().Rows(), 4u);
    // Written again on a file opened only to write (which cannot be read back), as the save
    // wrote it, and the record kept as the file holds it.
    const std::string again = m_dir.File("again.tpj");
    TFile out;
    ASSERT_TRUE(out.Open(again, TFile::Mode::Write) && project->WriteStream(out) && out.Close());
    EXPECT_EQ(test::ReadBytes(again), file);
    EXPECT_EQ(a.SavedRecord(), part.substr(8));

    // Without analyses the project file ends after its sets, as before.
    for (TAnalysis* p : project->m_analyses)
        delete p;
    project->m_analyses.clear();
    ASSERT_TRUE(project->Save());
    EXPECT_EQ(test::ReadBytes(ProjectPath()), file.substr(0, file.size() - part.size()));
}

// A size look-up, or a read at a place (of an analysis record, or of the samples), failing
// at each call in turn: the project opens with its analysis (kept with its set's record
// where that set could not be looked at), or is refused saying that its size could not be
// read or that it cannot be read to its end; never opened without the analysis, which its
// next save would lose.
TEST_F(AnalysisProjectTest, AFailedSizeOrReadNeverOpensTheProjectWithoutItsAnalyses)
{
    MakeSavedProject(false)->HandOverPlace();
    const std::string refused = "The project study cannot be opened: its project file " + ProjectPath();
    const struct {
        TFileCall calls;
        std::string said;
    } rows[] = {
        {kFileSize, refused + " is not read: its size could not be read: input/output error."},
        {kFileReadAt, refused + " cannot be read to its end: input/output error."},
    };
    for (const auto& row : rows)
        for (int at = 1;; ++at) {
            SCOPED_TRACE("call " + std::to_string(at) + " of kind " + std::to_string(row.calls) + " failing");
            test::TScriptedReport report;
            TProject project;
            bool loaded = false, struck = false;
            {
                test::TFileFaultScope fault({{row.calls, EIO, at}});
                loaded = project.Load(ProjectPath());
                struck = FileFaultStruck();
            }
            // A set whose data-set file could not be looked at keeps its analysis in its record.
            size_t kept = 0;
            for (const TKeptRecord& record : project.m_pCSISetList->KeptRecords())
                kept += record.analyses.size();
            if (loaded)
                EXPECT_EQ(project.m_analyses.size() + kept, 1u);
            else
                EXPECT_EQ(report.Messages(), std::vector<std::string>{row.said});
            if (!struck) {
                EXPECT_GT(at, 1) << "no call of the kind failed";
                break;
            }
        }
}

TEST_F(AnalysisProjectTest, DamagedAnalysisPartsAreRefusedOrLeftOutCleanly)
{
    MakeSavedProject(true);
    const std::string whole = test::ReadBytes(ProjectPath());
    // Where the part starts: the file of the project without its analysis.
    size_t start = 0;
    {
        TProject copy;
        ASSERT_TRUE(copy.Load(ProjectPath()));
        for (TAnalysis* p : copy.m_analyses)
            delete p;
        copy.m_analyses.clear();
        ASSERT_TRUE(copy.Save());
        start = test::ReadBytes(ProjectPath()).size();
    }
    ASSERT_LT(start, whole.size());
    const std::string damaged = m_dir.File("damaged.tpj");

    // Cut anywhere in the part, its tag too: the file is damaged and nothing is written
    // over it (the project loaded without the part would lose it at its next save). Cut
    // exactly at the part's start, it is the file of a project without analyses.
    for (size_t length = start; length < whole.size(); length += (length < start + 200 ? 1 : 37)) {
        test::WriteBytes(damaged, whole.substr(0, length));
        test::TScriptedReport report;
        {
            TProject project;
            const bool loaded = project.Load(damaged);
            EXPECT_EQ(loaded, length == start) << length;
            if (loaded) {
                EXPECT_TRUE(project.m_analyses.empty());
                EXPECT_EQ(report.Count(), 0u);
                continue;
            }
        }
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Error: Invalid Project File"}) << length;
        EXPECT_EQ(test::ReadBytes(damaged), whole.substr(0, length)) << length;
    }

    // Every byte of the part flipped: refused as damaged when a tag, count or length no
    // longer fits, otherwise loaded, and an analysis kept is a consistent one. An analysis
    // is never lost without a word.
    size_t analyses = 0;
    {
        test::WriteBytes(damaged, whole);
        TProject project;
        ASSERT_TRUE(project.Load(damaged));
        analyses = project.m_analyses.size();
        ASSERT_GT(analyses, 0u);
    }
    for (size_t at = start; at < whole.size(); at += (at < start + 400 ? 1 : 29)) {
        std::string bytes = whole;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5a);
        test::WriteBytes(damaged, bytes);
        test::TScriptedReport report;
        report.AllowDefaults();
        TProject project;
        if (!project.Load(damaged)) {
            EXPECT_EQ(report.Messages().back(), "Error: Invalid Project File") << at;
            continue;
        }
        if (project.m_analyses.size() < analyses) {
            EXPECT_FALSE(report.Messages().empty()) << at;
        }
        for (const TAnalysis* a : project.m_analyses) {
            EXPECT_EQ(a->Scores().Rows(), a->Data().Rows()) << at;
            EXPECT_EQ(a->Components().Columns(), uint32_t(a->PointCount())) << at;
            if (a->UsesSelection()) {
                EXPECT_EQ(a->Scores().Rows(), a->Voxels().size()) << at;
            }
        }
    }

    // A record of a set the project does not hold is left out and named.
    std::string renamed = whole;
    const size_t name = renamed.find(std::string("csi\0PCA_", 8), start);
    ASSERT_NE(name, std::string::npos);
    renamed[name] = 'x';
    test::WriteBytes(damaged, renamed);
    {
        test::TScriptedReport report;
        TProject project;
        ASSERT_TRUE(project.Load(damaged));
        EXPECT_TRUE(project.m_analyses.empty());
        ASSERT_EQ(report.Messages().size(), 1u);
        EXPECT_NE(report.Messages()[0].find("record 1 (xsi)"), std::string::npos) << report.Messages()[0];
    }

    // Bytes after the sets that are not a whole part, and bytes after the part, make the
    // file damaged.
    for (const std::string& bytes : {whole.substr(0, start) + "trailing bytes", whole + "trailing"}) {
        test::WriteBytes(damaged, bytes);
        test::TScriptedReport refused;
        TProject other;
        EXPECT_FALSE(other.Load(damaged)) << bytes.size();
        EXPECT_EQ(refused.Messages(), std::vector<std::string>{"Error: Invalid Project File"});
        EXPECT_EQ(test::ReadBytes(damaged), bytes);
    }
}

class TNoMaps : public TPCACorrection {
public:
    using TPCACorrection::TPCACorrection;
    const TFloatMatrix* GetPhaseCorrectionMap(int) const override { return nullptr; }
    const TFloatMatrix* GetFrequencyCorrectionMap(int) const override { return nullptr; }
};

// A set whose record reads but cannot be used (a frequency of 0) keeps its analyses with
// it: the next save writes them back with its record.
TEST_F(AnalysisProjectTest, AnUnusableSetKeepsItsAnalyses)
{
    {
        std::unique_ptr<TProject> project = MakeSavedProject(false);
        // The record is written as the set's file holds it: the file is taken to hold it.
        project->m_pWorkSet->m_fFrequency = 0.0f;
        project->m_pWorkSet->ParamsAreInFile();
        ASSERT_TRUE(project->Save());
    }
    const std::string saved = test::ReadBytes(ProjectPath());
    test::TScriptedReport report;
    TProject project;
    ASSERT_TRUE(project.Load(ProjectPath()));
    EXPECT_TRUE(project.m_pCSISetList->IsEmpty());
    EXPECT_TRUE(project.m_analyses.empty());
    ASSERT_EQ(report.Count(), 1u);
    EXPECT_NE(report.Messages()[0].find("csi: its frequency is not above 0"), std::string::npos);
    ASSERT_TRUE(project.Save());
    EXPECT_EQ(test::ReadBytes(ProjectPath()), saved);
}

TEST_F(AnalysisProjectTest, RemovingTheSetClosesItsAnalyses)
{
    std::unique_ptr<TProject> project = MakeSavedProject(false);
    TCSISet* set = project->m_pWorkSet;
    auto* pca = dynamic_cast<TAnalysisPCA*>(project->m_analyses.front());
    g_pProject = project.get();
    ASSERT_EQ(pca->CreateComponentMaps(), 3);
    TNoMaps correction(pca);
    pca->PushCorrection(&correction);

    test::TScriptedReport report;
    report.PlanAnswer(ReportAnswer::Yes);
    ASSERT_TRUE(project->RemoveCSISet(set));
    EXPECT_TRUE(project->m_analyses.empty());
    EXPECT_EQ(correction.GetAnalysis(), nullptr);
    EXPECT_EQ(project->m_pCSISetList->GetCount(), 0);
    g_pProject = nullptr;

    // The saved project holds neither.
    project.reset();
    TProject read;
    ASSERT_TRUE(read.Load(ProjectPath()));
    EXPECT_TRUE(read.m_analyses.empty());
}

// Save Project As without a set whose data-set file is gone (the user said Yes): the work
// set's analysis goes along, the other set's goes with the set. A save that fails puts both
// back as they were.
TEST_F(AnalysisProjectTest, SaveAsWithoutASetWhoseFileIsGoneLeavesOutItsAnalysesOnly)
{
    std::unique_ptr<TProject> project = MakeSavedProject(false);
    TCSISet* kept = project->m_pWorkSet;
    std::unique_ptr<TCSISet> owned = test::MakeMixtureSet(4, 3, 2, kPoints, 2e-3);
    owned->m_strName = "gone";
    owned->SetProject(project.get());
    owned->SetFolder(m_dir.Path());
    ASSERT_TRUE(owned->WriteDataFile(owned->GetFilePath()));
    TCSISet* gone = owned.release();
    project->m_pCSISetList->Add(gone);
    const int32_t intervals[] = {30, 61};
    auto pca = std::make_unique<TAnalysisPCA>(30, 61, 2, intervals, 1);
    ASSERT_TRUE(pca->Prepare(gone, false));
    ASSERT_TRUE(pca->Compute());
    project->m_analyses.push_back(pca.release());
    gone->FreeSpectra();
    ASSERT_TRUE(project->Save());
    ASSERT_TRUE(RemoveFile(gone->GetFilePath()));
    const std::vector<TAnalysis*> analyses = project->m_analyses;

    test::TScriptedReport report;
    report.AllowDefaults();
    TFile::FailWritesAfter(0);
    EXPECT_FALSE(project->SaveAs(m_dir.Path() + "/", "failed"));
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(project->m_analyses, analyses);
    EXPECT_EQ(std::vector<TCSISet*>(project->m_pCSISetList->begin(), project->m_pCSISetList->end()),
              (std::vector<TCSISet*>{kept, gone}));
    EXPECT_EQ(project->GetFolder(), m_dir.Path());

    report.Clear();
    ASSERT_TRUE(project->SaveAs(m_dir.Path() + "/", "copy"));
    EXPECT_EQ(report.Questions().size(), 1u);
    EXPECT_TRUE(report.Messages().empty());
    ASSERT_EQ(project->m_analyses.size(), 1u);
    EXPECT_EQ(project->m_analyses.front(), analyses.front());
    project.reset();
    TProject read;
    ASSERT_TRUE(read.Load(m_dir.File("copy/copy.tpj")));
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_EQ(read.m_pCSISetList->GetCount(), 1);
    ASSERT_EQ(read.m_analyses.size(), 1u);
    EXPECT_EQ(read.m_analyses.front()->GetCSISet(), read.m_pWorkSet);
}

// A saved PCA made again from zero-filled samples whose save failed: the next write of the
// project file, which is no save, writes the PCA as it was saved, and the project opens
// with it and no message. The save that goes through then writes the new PCA.
TEST_F(AnalysisProjectTest, AnAnalysisOfSamplesWhoseSaveFailedKeepsItsSavedRecord)
{
    std::unique_ptr<TProject> project = MakeSavedProject(false);
    g_pProject = project.get();
    TAnalysis* pca = project->m_analyses.front();
    const TFloatMatrix saved = pca->Data();
    ASSERT_TRUE(TProcessStep::Perform(new TZeroFillStep(false, project->m_pWorkSet), *project, true));
    ASSERT_TRUE(pca->Run(true));
    const TFloatMatrix zeroFilled = pca->Data();
    ASSERT_FALSE(zeroFilled == saved);
    test::TScriptedReport report;
    report.AllowDefaults();
    {
        test::TFileFaultScope fault({{kFileRename, EIO, 1}});
        EXPECT_FALSE(project->SaveWorkSetAndProject(false));
    }
    ASSERT_TRUE(project->Save());
    // The project file opened in a copy of the folder, the folder being held.
    test::TTempFolder copies;
    const auto reopened = [&] {
        const std::string copy = copies.File("copy");
        std::filesystem::remove_all(copy);
        std::filesystem::copy(m_dir.Path(), copy, std::filesystem::copy_options::recursive);
        std::string text;
        TProject read;
        g_pProject = &read;
        if (read.Load(copy + "/study.tpj") && read.m_analyses.size() == 1) {
            const TFloatMatrix& data = read.m_analyses.front()->Data();
            text = data == saved ? "saved" : data == zeroFilled ? "zero-filled" : "other";
        }
        g_pProject = project.get();
        return text;
    };
    report.Clear();
    EXPECT_EQ(reopened(), "saved");
    ASSERT_TRUE(project->SaveWorkSetAndProject(false));
    EXPECT_EQ(reopened(), "zero-filled");
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
    g_pProject = nullptr;
}

// An NMF's record holds its runs after the fields of every analysis: runs, threshold, the
// chi-squares, the error history and the copies of every run's scores and components.
TEST_F(AnalysisProjectTest, NMFRecordHoldsItsRunsAndIsReadBackEqual)
{
    std::unique_ptr<TProject> project = MakeProject();
    TCSISet* set = project->m_pWorkSet;
    const int32_t window[] = {30, 61};
    auto* nmf = new TAnalysisNMF(30, 61, 2, window, 1, 2, 1e-4f);
    nmf->SetRandomSeed(5);
    project->m_analyses.push_back(nmf);
    ASSERT_TRUE(nmf->Prepare(set, false));
    ASSERT_TRUE(nmf->Compute());
    ASSERT_TRUE(project->Save());

    std::string fields = test::Int32LE({2}) + Float32LE({1e-4f}) + MatrixBytes(*nmf->GetChiSquarePerRun()) +
                         MatrixBytes(*nmf->GetErrorConvergence()) + test::Int32LE({2});
    for (const TFloatMatrix& m : nmf->ScoreCopies())
        fields += MatrixBytes(m);
    for (const TFloatMatrix& m : nmf->ComponentCopies())
        fields += MatrixBytes(m);
    const std::string file = test::ReadBytes(ProjectPath());
    ASSERT_GT(file.size(), fields.size());
    EXPECT_EQ(file.substr(file.size() - fields.size()), fields);
    const size_t recordStart = file.find(std::string("csi") + '\0' + nmf->GetName());
    ASSERT_NE(recordStart, std::string::npos);
    EXPECT_EQ(file.substr(recordStart - 8, 4), test::Int32LE({TAnalysisNMF::kRecordKind}));
    // The saved project lets go of its folder (as Add Exam's does), keeping its analysis.
    project->HandOverPlace();

    {
        TProject read;
        test::TScriptedReport report;
        ASSERT_TRUE(read.Load(ProjectPath()));
        EXPECT_EQ(report.Count(), 0u);
        ASSERT_EQ(read.m_analyses.size(), 1u);
        const auto* back = dynamic_cast<const TAnalysisNMF*>(read.m_analyses.front());
        ASSERT_TRUE(back);
        EXPECT_EQ(back->GetName(), nmf->GetName());
        EXPECT_EQ(back->RunCount(), 2);
        EXPECT_EQ(back->Threshold(), 1e-4f);
        EXPECT_TRUE(*back->GetChiSquarePerRun() == *nmf->GetChiSquarePerRun());
        EXPECT_TRUE(*back->GetErrorConvergence() == *nmf->GetErrorConvergence());
        EXPECT_TRUE(back->ScoreCopies() == nmf->ScoreCopies());
        EXPECT_TRUE(back->ComponentCopies() == nmf->ComponentCopies());
        EXPECT_TRUE(back->Components() == nmf->Components());
    }

    // Cut anywhere in the NMF's own fields: the project file is damaged and stays as it is.
    const std::string damaged = m_dir.File("damaged.tpj");
    for (size_t length = file.size() - fields.size(); length < file.size(); length += 7) {
        test::WriteBytes(damaged, file.substr(0, length));
        test::TScriptedReport report;
        {
            TProject read;
            EXPECT_FALSE(read.Load(damaged)) << length;
            EXPECT_TRUE(read.m_analyses.empty()) << length;
        }
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Error: Invalid Project File"}) << length;
        EXPECT_EQ(test::ReadBytes(damaged), file.substr(0, length)) << length;
    }
}

}  // namespace
