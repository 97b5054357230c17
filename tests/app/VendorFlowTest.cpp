// Every vendor's real scanner files brought into one project through the Add CSI Set and
// Add Images dialogs: after each vendor the project is saved, opened again through
// File > Open Project, its sets hold what their readers read, and a voxel window opens on
// the vendor's set over the images.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <memory>
#include <string>
#include <vector>

#include "app/dialogs/CAddCSISetDlg.h"
#include "app/dialogs/CAddImagesDlg.h"
#include "app/dialogs/CImportImageDlg.h"
#include "app/CommandIds.h"
#include "model/TCSIReader.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMouseEvent.h"
#include "model/TSpectrum.h"
#include "platform/FileChooser.h"
#include "readers/ReaderFactory.h"
#include "support/GuiGrab.h"
#include "ProjectShellTest.h"

using namespace vx::test;

namespace {

struct TCSIFiles {
    int format;  // index in the Add CSI Set dialog's format list
    std::vector<std::string> files;
};

struct TVendor {
    const char* name;
    std::vector<TCSIFiles> csi;
    int imageType;  // index in the Import dialog's type list
    std::vector<std::string> images;
    const char* method;  // the parameter file a Bruker image asks for, or null
    int imagesAdded;
};

const TVendor kVendors[] = {
    {"philips",
     {{0,
       {"spar_sdat/spant/philips_spar_sdat_WS.SPAR", "spar_sdat/spant/philips_spar_sdat_W.SPAR",
        "spar_sdat/osprey/sub-01_ses-01_PRESS_raw-act_noID.SPAR",
        "spar_sdat/osprey/sub-01_ses-01_PRESS-Inverted_TI-600_raw-act_noID.SPAR", "spar_sdat/tarquin/svs_30_WS.SPAR",
        "spar_sdat/tarquin/svs_30_ref.SPAR", "spar_sdat/tarquin/svs_135_WS.SPAR", "spar_sdat/MRS_MRI_libs/sub1.SPAR"}},
      {1, {"spar_sdat/MRS_MRI_libs/sub2_MRS.SPAR"}}},
     0,
     {"parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.REC"},
     nullptr,
     27},
    {"ge",
     {{13, {"ge_pfile/tarquin/P1751_1.5T_030_2000.7"}}},
     2,
     {"dicom_ge/dcm_qa_ge/i160.MRDC.1", "dicom_ge/dcm_qa_ge/i165.MRDC.2", "dicom_ge/dcm_qa_ge/i163.MRDC.3",
      "dicom_ge/dcm_qa_ge/i22.MRDC.1"},
     nullptr,
     4},
    {"siemens",
     {{18, {"rda/suspect/SVS_30.rda"}}},
     4,
     {"dicom_mr/suspect/T1.0001.IMA", "dicom_mr/suspect/T1.0002.IMA"},
     nullptr,
     2},
    // The sample folder holds Bruker images only: the voxel window opens on the set the
    // reopened project keeps as its work set.
    {"bruker", {}, 5, {"bruker/pvconv/BadBanana_01/18/pdata/1/2dseq"}, "bruker/pvconv/BadBanana_01/18/method", 5},
};

std::vector<std::string> Paths(const std::vector<std::string>& relative)
{
    std::vector<std::string> out;
    for (const std::string& r : relative)
        out.push_back(SampleDataPath(r));
    return out;
}

// The set as its reader alone makes it from the parameters the dialog accepted.
std::unique_ptr<TCSISet> ReadDirectly(const std::string& path)
{
    TCSIReadParams params = g_lastReadParams;
    std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(params.m_nFormat), &params));
    return std::unique_ptr<TCSISet>(reader ? reader->Read(path) : nullptr);
}

class VendorFlowTest : public TImportShellTest {
protected:
    void SetUp() override
    {
        TImportShellTest::SetUp();
        // The method file a Bruker image asks for is a single choice; every other request
        // gets the files of the step under way.
        m_previousChooser = vx::SetFileChooserHandler([this](const vx::TFileRequest& request) {
            requests.push_back(request.title);
            if (request.title == "Please select method file...")
                return std::vector<std::string>{method};
            return answer;
        });
        frame->resize(1280, 960);
    }
    void TearDown() override
    {
        vx::SetFileChooserHandler(m_previousChooser);
        TImportShellTest::TearDown();
    }

    // The patient, exam and geometry questions (one per image and set that differ) and
    // Bruker's question for its method file are answered Yes.
    void AnswerYes()
    {
        for (size_t k = report.PlannedLeft(); k < 1000; ++k)
            report.PlanAnswer(vx::ReportAnswer::Yes);
    }

    void AddCSISets(const TCSIFiles& step)
    {
        answer = Paths(step.files);
        AnswerYes();
        TDialogScript script([&](QDialog& d) {
            return ShowAndAct<CAddCSISetDlg>(d, [&](CAddCSISetDlg& dialog) {
                auto* list = qobject_cast<QComboBox*>(dialog.Control(CAddCSISetDlg::IdFormat));
                list->setCurrentIndex(step.format);
                emit list->activated(step.format);
                dialog.accept();
            });
        });
        frame->Action(cmd::ProjectAddCSISet)->trigger();
        EXPECT_EQ(script.runs, 1);
    }

    void AddImages(const TVendor& vendor)
    {
        answer = Paths(vendor.images);
        method = vendor.method ? SampleDataPath(vendor.method) : std::string();
        AnswerYes();
        TDialogScript script([&](QDialog& d) {
            if (dynamic_cast<CImportImageDlg*>(&d))
                return ShowAndAct<CImportImageDlg>(d, [&](CImportImageDlg& import) {
                    import.TypeList()->setCurrentIndex(vendor.imageType);
                    emit import.TypeList()->activated(vendor.imageType);
                    import.accept();
                });
            return ShowAndAct<CAddImagesDlg>(d, [](CAddImagesDlg& dialog) {
                dialog.AddImagesButton()->click();
                dialog.accept();
            });
        });
        frame->Action(cmd::ProjectAddImages)->trigger();
        EXPECT_EQ(script.runs, 2);
    }

    std::vector<std::string> answer;
    std::string method;
    std::vector<std::string> requests;

private:
    vx::FileChooserHandler m_previousChooser;
};

TEST_F(VendorFlowTest, EveryVendorsFilesGoThroughTheDialogsIntoOneProjectThatOpensAgain)
{
    for (const TVendor& vendor : kVendors) {
        for (const TCSIFiles& step : vendor.csi)
            for (const std::string& file : step.files)
                VX_REQUIRE_SAMPLE(file);
        for (const std::string& file : vendor.images)
            VX_REQUIRE_SAMPLE(file);
    }
    RunWithName(cmd::FileNewProject, "exam");
    ASSERT_NE(g_pProject, nullptr);
    const std::string projectFile = ProjectPath("exam");
    int sets = 0, images = 0;
    std::string workSetName;

    for (const TVendor& vendor : kVendors) {
        SCOPED_TRACE(vendor.name);
        report.Clear();
        // What each reader makes of its files, read before the project has them.
        std::vector<std::unique_ptr<TCSISet>> expected;
        for (const TCSIFiles& step : vendor.csi) {
            AddCSISets(step);
            for (const std::string& file : step.files) {
                expected.push_back(ReadDirectly(SampleDataPath(file)));
                ASSERT_NE(expected.back(), nullptr) << file;
            }
            sets += int(step.files.size());
        }
        AddImages(vendor);
        images += vendor.imagesAdded;
        EXPECT_TRUE(report.Messages().empty()) << report.Messages().front();
        ASSERT_EQ(g_pProject->m_pCSISetList->GetCount(), sets);
        ASSERT_EQ(g_pProject->m_pImageSet->GetCount(), images);

        // Saved, and opened again through File > Open Project.
        frame->Action(cmd::FileSaveProject)->trigger();
        EXPECT_FALSE(g_pProject->IsModified());
        answer = {projectFile};
        frame->Action(cmd::FileOpenProject)->trigger();
        ASSERT_NE(g_pProject, nullptr);
        EXPECT_EQ(requests.back(), "Open Project File...");
        EXPECT_EQ(g_pProject->GetProjectFilePath(), projectFile);
        ASSERT_EQ(g_pProject->m_pCSISetList->GetCount(), sets);
        ASSERT_EQ(g_pProject->m_pImageSet->GetCount(), images);

        // Each of the vendor's sets loads with the samples its reader gave.
        for (const auto& reference : expected) {
            TCSISet* set = g_pProject->m_pCSISetList->FindByName(reference->GetName());
            ASSERT_NE(set, nullptr) << reference->GetName();
            g_pProject->SetWorkSet(set);
            ASSERT_EQ(g_pProject->m_pWorkSet, set);
            ASSERT_EQ(set->m_nPoints, reference->m_nPoints);
            ASSERT_EQ(set->VoxelCount(), reference->VoxelCount());
            const TComplex* got = set->GetVoxel(size_t(0))->Data();
            const TComplex* want = reference->GetVoxel(size_t(0))->Data();
            ASSERT_NE(got, nullptr);
            int differing = 0;
            for (int i = 0; i < set->m_nPoints; ++i)
                differing += got[i] != want[i];
            EXPECT_EQ(differing, 0) << set->GetName();
        }
        if (!expected.empty()) {
            // The vendor's first set is the one shown.
            g_pProject->SetWorkSet(g_pProject->m_pCSISetList->FindByName(expected.front()->GetName()));
            workSetName = expected.front()->GetName();
        } else if (!g_pProject->m_pWorkSet) {
            g_pProject->SetWorkSet(g_pProject->m_pCSISetList->FindByName(workSetName));
        }
        ASSERT_NE(g_pProject->m_pWorkSet, nullptr);

        frame->OpenVoxelWindow(g_pProject->m_pWorkSet->GetVoxel(size_t(0)), TMouseEvent{}, nullptr);
        QApplication::processEvents();
        EXPECT_EQ(frame->SingleVoxelWindows().GetCount(), 1);
        EXPECT_FALSE(GrabToPng(frame, QString("vendor_") + vendor.name).isEmpty());
        EXPECT_TRUE(report.Messages().empty()) << report.Messages().front();
    }
}

}  // namespace
