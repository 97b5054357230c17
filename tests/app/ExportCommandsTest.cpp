// The export and mask commands of the main frame on the fixture project's work set, with
// scripted file dialogs and questions.
#include <gtest/gtest.h>

#include <QAction>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "model/SelectionMaskFile.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/TextExports.h"
#include "platform/Globals.h"
#include "support/FolderKill.h"
#include "support/GuiFixture.h"
#include "support/GuiSessionTest.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

class ExportCommandsTest : public GuiSessionTest {
protected:
    void Trigger(int command)
    {
        session->MainFrame().UpdateCommandStates();
        QAction* action = session->MainFrame().Action(command);
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
    }
    void Select(const std::vector<size_t>& voxels)
    {
        for (size_t v = 0; v < set->VoxelCount(); ++v)
            set->GetVoxel(v)->m_bSelected = 0;
        for (size_t v : voxels)
            set->GetVoxel(v)->m_bSelected = 1;
    }
    std::vector<size_t> SelectedIndices() const
    {
        std::vector<size_t> out;
        for (size_t v = 0; v < set->VoxelCount(); ++v)
            if (set->GetVoxel(v)->m_bSelected)
                out.push_back(v);
        return out;
    }

    TTempFolder folder;
};

}  // namespace

TEST_F(ExportCommandsTest, SelectionMaskGoesOutAndComesBack)
{
    TScriptedFileChooser chooser;
    Select({3, 9, 63});
    chooser.Answer(folder.File("Mask"));
    Trigger(cmd::ExportSelectionMask);
    ASSERT_EQ(chooser.Requests().size(), 1u);
    EXPECT_EQ(chooser.Requests()[0].title, "Save as...");
    EXPECT_EQ(ReadBytes(folder.File("Mask.txt")), SelectionMaskText(*set));

    chooser.Answer(folder.File("kspace.TXT"));
    Trigger(cmd::ExportKSpaceMask);
    EXPECT_EQ(ReadBytes(folder.File("kspace.TXT")), KSpaceMaskText(*set));

    Select({0});
    chooser.Answer(folder.File("Mask.txt"));
    Trigger(cmd::ImportSelectionMask);
    EXPECT_EQ(chooser.Requests().back().title, "Load Mask File...");
    EXPECT_EQ(SelectedIndices(), (std::vector<size_t>{3, 9, 63}));

    // A mask of another grid is refused and the selection stays.
    WriteBytes(folder.File("small.txt"), "#dimension : (+2 , +2 , +1)\r\n+1 +1 \r\n+1 +1 \r\n");
    chooser.Answer(folder.File("small.txt"));
    Trigger(cmd::ImportSelectionMask);
    EXPECT_EQ(SelectedIndices(), (std::vector<size_t>{3, 9, 63}));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Wrong file format or wrong dimensions."});
}

TEST_F(ExportCommandsTest, VoxelExportAsksBeforeTouchingAnExistingFile)
{
    TScriptedFileChooser chooser;
    Select({});
    Trigger(cmd::ExportVoxels);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"No voxels are selected."});
    EXPECT_TRUE(chooser.Requests().empty());

    Select({5});
    TSpectrumDisplayParams display = session->Project()->m_display;
    display.m_nXStart = 10;
    display.m_nXEnd = 13;
    session->Project()->SetSpectrumDisplay(display);
    const std::string block = VoxelExportText(*set, SelectedVoxels(*set), 10, 13);
    const std::string text = folder.File("voxels.txt");
    WriteBytes(text, "old\r\n");
    struct Case {
        vx::ReportAnswer answer;
        std::string expected;
    };
    for (const Case& c : {Case{vx::ReportAnswer::No, "old\r\n" + block}, Case{vx::ReportAnswer::Cancel, "old\r\n" + block},
                          Case{vx::ReportAnswer::Yes, block}}) {
        chooser.Answer(folder.File("voxels"));
        report.PlanAnswer(c.answer);
        Trigger(cmd::ExportVoxels);
        EXPECT_EQ(ReadBytes(text), c.expected);
    }
    EXPECT_EQ(report.Questions().back(),
              "The file already exists. Click Yes to overwrite, click No to append, and Cancel to cancel.");

    // Appended to a file this user may not read, the export is refused and the file kept: the
    // new part alone would take its place.
    WriteBytes(text, "private\r\n");
    ASSERT_EQ(::chmod(text.c_str(), 0200), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.Path().c_str(), 65534, 65534), 0);
    }
    report.Clear();
    EXPECT_EQ(AsAnOrdinaryUserHere([&] {
                  chooser.Answer(folder.File("voxels"));
                  report.PlanAnswer(vx::ReportAnswer::No);
                  Trigger(cmd::ExportVoxels);
                  return std::string();
              }),
              "");
    ASSERT_EQ(::chmod(text.c_str(), 0600), 0);
    EXPECT_EQ(ReadBytes(text), "private\r\n");
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Cannot create file " + text + "."});

    // The binary filter keeps the name and asks Yes or No.
    const std::string raw = folder.File("voxels.raw");
    WriteBytes(raw, "old");
    chooser.AnswerFilter(1);
    chooser.Answer(raw);
    report.PlanAnswer(vx::ReportAnswer::No);
    Trigger(cmd::ExportVoxels);
    EXPECT_EQ(ReadBytes(raw), "old");
    report.PlanAnswer(vx::ReportAnswer::Yes);
    Trigger(cmd::ExportVoxels);
    EXPECT_EQ(ReadBytes(raw).size(), 4u * 2u * 4u);
    EXPECT_EQ(report.Questions().back(), "The file already exists. Click Yes to overwrite, click No to cancel.");
    EXPECT_EQ(report.PlannedLeft(), 0u);
}
