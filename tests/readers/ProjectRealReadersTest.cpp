// The project's add and remove operations with the real readers on the sample folder's
// scanner files: every SPAR/SDAT pair added to a new project survives saving, closing
// and opening again; the checks of a new set against real PAR/REC images.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "model/ReaderHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "processing/TPPMCenterStep.h"
#include "readers/ReaderFactory.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;
using vx::test::SampleDataPath;

namespace {

struct TSample {
    const char* spar;  // below the sample folder
    int format;        // 0 single voxel, 1 time series
};

const TSample kSamples[] = {
    {"spar_sdat/spant/philips_spar_sdat_WS.SPAR", 0},
    {"spar_sdat/spant/philips_spar_sdat_W.SPAR", 0},
    {"spar_sdat/osprey/sub-01_ses-01_PRESS_raw-act_noID.SPAR", 0},
    {"spar_sdat/osprey/sub-01_ses-01_PRESS-Inverted_TI-600_raw-act_noID.SPAR", 0},
    {"spar_sdat/tarquin/svs_30_WS.SPAR", 0},
    {"spar_sdat/tarquin/svs_30_ref.SPAR", 0},
    {"spar_sdat/tarquin/svs_135_WS.SPAR", 0},
    {"spar_sdat/MRS_MRI_libs/sub1.SPAR", 0},
    {"spar_sdat/MRS_MRI_libs/sub2_MRS.SPAR", 1},
};

const char* const kPhantomPAR = "parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.PAR";

TCSIReadParams ParamsOf(int format)
{
    TCSIReadParams params;
    params.m_nFormat = format;
    return params;
}

// The set as the reader alone makes it, as the reference for what the project keeps.
std::unique_ptr<TCSISet> ReadDirectly(const TSample& sample)
{
    TCSIReadParams params = ParamsOf(sample.format);
    std::unique_ptr<TCSIReader> reader(CreateCSIReader(uint32_t(sample.format), &params));
    return std::unique_ptr<TCSISet>(reader ? reader->Read(SampleDataPath(sample.spar)) : nullptr);
}

void ExpectSameParameters(const TCSISet& a, const TCSISet& b)
{
    const auto fields = [](const TCSISet& s) {
        return std::tie(s.m_nFormat, s.m_nPoints, s.m_nSpectralWidth, s.m_fFrequency, s.m_fTE, s.m_fTR, s.m_fAverages,
                        s.m_strNucleus, s.m_strPatientName, s.m_strExamDate, s.m_bFrequencyDomain, s.m_bKSpace,
                        s.m_fPPMCentrePoint, s.m_fPPMCentreValue, s.m_nSliceAxis);
    };
    EXPECT_EQ(a.GetName(), b.GetName());
    EXPECT_EQ(fields(a), fields(b));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(a.m_nDim[k], b.m_nDim[k]) << k;
        EXPECT_EQ(a.m_fFOV[k], b.m_fFOV[k]) << k;
        EXPECT_EQ(a.m_fAngulation[k], b.m_fAngulation[k]) << k;
        EXPECT_EQ(a.m_fOffCentre[k], b.m_fOffCentre[k]) << k;
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(a.m_fRotation[k][j], b.m_fRotation[k][j]) << k << j;
    }
}

void ExpectSameSamples(const TCSISet& a, const TCSISet& b)
{
    ASSERT_EQ(a.VoxelCount(), b.VoxelCount());
    for (size_t v = 0; v < a.VoxelCount(); ++v) {
        const TComplex* x = a.GetVoxel(v)->Data();
        const TComplex* y = b.GetVoxel(v)->Data();
        ASSERT_NE(x, nullptr);
        ASSERT_NE(y, nullptr);
        int differing = 0;
        for (int i = 0; i < a.m_nPoints; ++i)
            differing += x[i] != y[i];
        EXPECT_EQ(differing, 0) << a.GetName() << " voxel " << v;
    }
}

class ProjectRealReadersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        RegisterReaders();
    }
    void TearDown() override
    {
        ClearReaderHooks();
        ResetGlobals();
    }
    bool Add(TProject& project, const TSample& sample)
    {
        const std::string path = SampleDataPath(sample.spar);
        return project.AddCSISet(FolderOf(path), FileNameOf(path), ParamsOf(sample.format));
    }

    test::TTempFolder m_dir;
    test::TScriptedReport m_report;
};

}  // namespace

TEST_F(ProjectRealReadersTest, SetsSurviveSavingClosingAndOpeningAgain)
{
    for (const TSample& sample : kSamples)
        VX_REQUIRE_SAMPLE(sample.spar);
    const std::string folder = m_dir.File("study");
    std::string projectFile;
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "spectra"));
        for (const TSample& sample : kSamples)
            EXPECT_TRUE(Add(project, sample)) << sample.spar;
        EXPECT_EQ(m_report.Count(), 0u);
        ASSERT_EQ(project.m_pCSISetList->GetCount(), int(std::size(kSamples)));
        ASSERT_TRUE(project.Save());
        projectFile = project.GetProjectFilePath();
    }

    ASSERT_TRUE(TProject::CheckProjectFile(projectFile));
    TProject reopened;
    ASSERT_TRUE(reopened.Load(projectFile));
    EXPECT_EQ(m_report.Count(), 0u);
    ASSERT_EQ(reopened.m_pCSISetList->GetCount(), int(std::size(kSamples)));
    auto it = reopened.m_pCSISetList->begin();
    for (const TSample& sample : kSamples) {
        SCOPED_TRACE(sample.spar);
        TCSISet* set = *it++;
        const std::unique_ptr<TCSISet> reference = ReadDirectly(sample);
        ASSERT_NE(reference, nullptr);
        EXPECT_GT(reference->m_fMagnitudeMax, 0.0f);  // real samples, not an empty grid
        ExpectSameParameters(*set, *reference);
        EXPECT_EQ(set->GetFilePath(), JoinPath(folder, reference->GetName()));
        ASSERT_TRUE(set->LoadData());
        ExpectSameSamples(*set, *reference);
        set->FreeSpectra();
    }
}

TEST_F(ProjectRealReadersTest, ASecondAddOfTheSameFileIsRefusedAndRemovalDeletesTheFile)
{
    const TSample& sample = kSamples[4];
    VX_REQUIRE_SAMPLE(sample.spar);
    TProject project;
    ASSERT_TRUE(project.Create(m_dir.File("study"), "spectra"));
    ASSERT_TRUE(Add(project, sample));
    const std::string dataFile = m_dir.File("study/svs_30_WS");
    const std::string stored = test::ReadBytes(dataFile);
    EXPECT_FALSE(Add(project, sample));
    EXPECT_EQ(m_report.Messages(), (std::vector<std::string>{"svs_30_WS already exists.\r\n"}));
    EXPECT_EQ(project.m_pCSISetList->GetCount(), 1);
    EXPECT_EQ(test::ReadBytes(dataFile), stored);

    m_report.PlanAnswer(ReportAnswer::Yes);
    EXPECT_TRUE(project.RemoveCSISet(*project.m_pCSISetList->begin()));
    EXPECT_FALSE(FileExists(dataFile));
    EXPECT_TRUE(project.m_pCSISetList->IsEmpty());
}

// The water-suppressed set and the water reference of one exam: one grid, point count and
// frequency. As read, their data-set files' headers are the same field for field; once the
// suppressed set is referenced (its PPM centre put on NAA), they differ in that field.
// With their data-set files swapped, neither opens with the other's samples.
TEST_F(ProjectRealReadersTest, AWaterSuppressedSetAndItsReferenceWithSwappedFilesDoNotOpen)
{
    const TSample& suppressed = kSamples[4];
    const TSample& reference = kSamples[5];
    VX_REQUIRE_SAMPLE(suppressed.spar);
    VX_REQUIRE_SAMPLE(reference.spar);
    const std::string folder = m_dir.File("study");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "spectra"));
        ASSERT_TRUE(Add(project, suppressed));
        ASSERT_TRUE(Add(project, reference));
        TCSISet* set = project.m_pCSISetList->FindByName("svs_30_WS");
        ASSERT_NE(set, nullptr);
        project.SetWorkSet(set);
        ASSERT_EQ(project.m_pWorkSet, set);
        TPPMCenterStep referencing(0, 1400.0f, 0, 2.01f, false, set);
        ASSERT_TRUE(referencing.Apply());
        ASSERT_TRUE(project.SaveWorkSet(false));
    }
    const std::string ws = test::ReadBytes(folder + "/svs_30_WS"), ref = test::ReadBytes(folder + "/svs_30_ref");
    test::WriteBytes(folder + "/svs_30_WS", ref);
    test::WriteBytes(folder + "/svs_30_ref", ws);

    m_report.Clear();
    TProject reopened;
    ASSERT_TRUE(reopened.Load(folder + "/spectra.tpj"));
    EXPECT_TRUE(reopened.m_pCSISetList->IsEmpty());
    ASSERT_EQ(m_report.Count(), 1u);
    const std::string message = m_report.Messages()[0];
    for (const char* name : {"svs_30_WS", "svs_30_ref"})
        EXPECT_NE(message.find("\r\n" + std::string(name) + ": its data-set file " + folder + "/" + name +
                               " holds another set: the record says 1x1x1, 2048 points, 127.79 MHz, PPM centre "),
                  std::string::npos)
            << message;
}

TEST_F(ProjectRealReadersTest, ASetOfAnotherPatientThanTheImagesIsQuestionedOrLogged)
{
    const TSample& sample = kSamples[0];
    VX_REQUIRE_SAMPLE(sample.spar);
    VX_REQUIRE_SAMPLE(kPhantomPAR);
    TProject project;
    ASSERT_TRUE(project.Create(m_dir.File("study"), "mixed"));
    const std::string par = SampleDataPath(kPhantomPAR);
    TImageImportParams images;  // type 0, PAR/REC
    ASSERT_TRUE(project.AddImages(FolderOf(par), FileNameOf(par), images));
    ASSERT_FALSE(project.m_pImageSet->IsEmpty());
    const TMRImage* first = *project.m_pImageSet->begin();
    ASSERT_EQ(first->GetInfoText(TMRImage::InfoPatientName), "phantom");
    m_report.Clear();

    // "PHAN_BUOY" of the SPAR file against "phantom" of the PAR file: the first question.
    m_report.PlanAnswer(ReportAnswer::No);
    EXPECT_FALSE(Add(project, sample));
    EXPECT_EQ(m_report.Questions(),
              (std::vector<std::string>{"Patient name is not matched with that of the images! Would you like to "
                                        "continue adding the new CSI set?"}));
    EXPECT_TRUE(project.m_pCSISetList->IsEmpty());
    EXPECT_FALSE(FileExists(m_dir.File("study/philips_spar_sdat_WS")));

    // A batch run adds it with the warnings in the log.
    m_report.Clear();
    g_bBatchMode = true;
    EXPECT_TRUE(Add(project, sample));
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(g_batchLog.rfind("Warning: Patient name of CSI set philips_spar_sdat_WS is not matched with images.\r\n"
                               "Warning: Exam date of CSI set philips_spar_sdat_WS is not matched with images.\r\n",
                               0),
              0u)
        << g_batchLog;
    EXPECT_TRUE(FileExists(m_dir.File("study/philips_spar_sdat_WS")));
}
