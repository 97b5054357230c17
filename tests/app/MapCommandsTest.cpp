// Map > Remove map and Map > Resize on the fixture project's work set, through their
// dialogs filled by the test.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CResizeMapDlg.h"
#include "app/dialogs/CSelectMapDlg.h"
#include "app/CommandIds.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "support/DialogScript.h"
#include "support/GuiFixture.h"
#include "support/GuiSessionTest.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

class MapCommandsTest : public GuiSessionTest {
protected:
    std::vector<std::string> MapNames() const
    {
        std::vector<std::string> names;
        if (set->m_pMapList)
            for (TMap* map : *set->m_pMapList)
                names.push_back(map->GetName());
        return names;
    }
    // As from the Map menu, whose opening brings the commands' states up to date.
    void Trigger(int command)
    {
        session->MainFrame().UpdateCommandStates();
        session->MainFrame().Action(command)->trigger();
    }
};

TEST_F(MapCommandsTest, RemovedMapsLeaveTheSetTheirFilesAndTheImageWindows)
{
    TMap* naa = AddMap("NAA_map", 8, 8, TMap::kSaved);
    AddMap("Cho_map", 8, 8, TMap::kNeverSaved);
    AddMap("Cr_map", 8, 8, TMap::kSaved);
    const std::string naaFile = set->GetFilePath() + "_NAA_map";
    const std::string crFile = set->GetFilePath() + "_Cr_map";
    WriteBytes(naaFile, "map");
    WriteBytes(crFile, "map");
    CChildFrame* axial = session->FrameTitled("(Axial) axial_1 @ 100%");
    ASSERT_NE(axial, nullptr);
    ASSERT_TRUE(axial->AddMapOverlay(naa, 2, 0.0f));
    axial->UpdateTitle();
    ASSERT_EQ(axial->windowTitle().toStdString(), "(Axial) axial_1 @ 100%<NAA_map>");

    // OK with nothing chosen asks for a map and keeps the dialog open; then the first two are chosen.
    std::vector<std::string> listed;
    bool closedEmpty = true;
    TDialogScript script([&](QDialog& d) {
        auto& dialog = dynamic_cast<CSelectMapDlg&>(d);
        EXPECT_EQ(dialog.windowTitle(), "Select map...");
        for (int row = 0; row < dialog.MapList()->count(); ++row)
            listed.push_back(dialog.MapList()->item(row)->text().toStdString());
        QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        closedEmpty = dialog.result() == QDialog::Accepted;
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Please select a map."});
        report.Clear();
        dialog.MapList()->item(1)->setSelected(true);
        dialog.MapList()->item(0)->setSelected(true);
        dialog.accept();
        return dialog.result();
    });
    Trigger(cmd::MapRemove);
    EXPECT_FALSE(closedEmpty);
    EXPECT_EQ(listed, std::vector<std::string>({"NAA_map", "Cho_map", "Cr_map"}));
    EXPECT_EQ(MapNames(), std::vector<std::string>({"Cr_map"}));
    EXPECT_FALSE(vx::FileExists(naaFile));
    EXPECT_TRUE(vx::FileExists(crFile));
    EXPECT_TRUE(axial->GetMapOverlays().empty());
    EXPECT_EQ(axial->windowTitle().toStdString(), "(Axial) axial_1 @ 100%");
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(MapCommandsTest, ResizeEnlargesShrinksOrLeavesAndRefusesSizesThatAreNoPowerOfTwo)
{
    struct TCase {
        int nx, ny;
        int expectX, expectY;
        int refusals;
    };
    const TCase cases[] = {
        {64, 64, 64, 64, 0},  // every axis grows
        {16, 16, 16, 16, 0},  // every axis shrinks
        {64, 16, 32, 32, 0},  // one grows, one shrinks: nothing
        {48, 48, 32, 32, 1},  // refused, then cancelled
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.nx) + " x " + std::to_string(c.ny));
        delete set->m_pMapList;
        set->m_pMapList = nullptr;
        TMap* map = AddMap("NAA_map", 32, 32, TMap::kNeverSaved);
        report.Clear();
        int shown = 0;
        TDialogScript script([&](QDialog& d) {
            auto& dialog = dynamic_cast<CResizeMapDlg&>(d);
            if (++shown > 1)
                return int(QDialog::Rejected);
            dialog.MapList()->setCurrentRow(0);
            EXPECT_EQ(dialog.SizeEdit(0)->text(), "32");
            EXPECT_FALSE(dialog.SizeEdit(2)->isEnabled());
            dialog.SizeEdit(0)->setText(QString::number(c.nx));
            dialog.SizeEdit(1)->setText(QString::number(c.ny));
            dialog.accept();
            return dialog.result();
        });
        Trigger(cmd::MapResize);
        EXPECT_EQ(map->size[0], c.expectX);
        EXPECT_EQ(map->size[1], c.expectY);
        EXPECT_EQ(map->size[2], 1);
        EXPECT_EQ(shown, 1 + c.refusals);
        EXPECT_EQ(report.Messages(), std::vector<std::string>(c.refusals, "The size must be power of 2."));
    }
}

TEST_F(MapCommandsTest, ResizeDialogKeepsItsSizesWithinOneToAThousand)
{
    AddMap("NAA_map", 8, 8, TMap::kNeverSaved);
    CResizeMapDlg dialog(set);
    EXPECT_EQ(dialog.windowTitle(), "Resize map");
    dialog.accept();  // no map chosen
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetMap(), nullptr);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Please choose a map."});
    report.Clear();
    dialog.MapList()->setCurrentRow(0);
    for (const char* bad : {"0", "1001", "-4", "x"}) {
        dialog.SizeEdit(1)->setText(bad);
        dialog.accept();
        EXPECT_EQ(dialog.GetMap(), nullptr) << bad;
    }
    EXPECT_EQ(report.Messages(), std::vector<std::string>(4, "Please enter an integer between 1 and 1000."));
    dialog.SizeEdit(1)->setText("1000");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetSizes()[1], 1000);
}

// Map > Resize as the user meets it: OK before choosing a map keeps the dialog open and
// changes nothing; the sizes the dialog fills in for the chosen map pass the command's
// check, also a size that is no power of 2, so only the edited axis changes.
TEST_F(MapCommandsTest, ResizeDialogWaitsForAChosenMapAndTakesItsOwnSizes)
{
    TMap* first = AddMap("NAA_map", 8, 8, TMap::kNeverSaved);
    TMap* second = AddMap("Cho_map", 8, 3, TMap::kNeverSaved);
    session->MainFrame().UpdateCommandStates();  // the maps were added behind the frame's back
    bool keptOpen = false;
    std::vector<QString> filled;
    TDialogScript script([&](QDialog& d) {
        if (script.runs > 1)  // shown again after a refusal
            return int(QDialog::Rejected);
        return ShowAndAct<CResizeMapDlg>(d, [&](CResizeMapDlg& dialog) {
            QApplication::setActiveWindow(&dialog);
            QApplication::processEvents();
            QPushButton* ok = dialog.Buttons()->button(QDialogButtonBox::Ok);
            QTest::mouseClick(ok, Qt::LeftButton);
            keptOpen = dialog.isVisible() && dialog.result() != QDialog::Accepted;
            QListWidget* list = dialog.MapList();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
            for (int k = 0; k < 3; ++k)
                filled.push_back(dialog.SizeEdit(k)->text());
            dialog.SizeEdit(0)->setText("16");
            QTest::mouseClick(ok, Qt::LeftButton);
        });
    });
    session->MainFrame().Action(cmd::MapResize)->trigger();
    EXPECT_EQ(script.runs, 1);
    EXPECT_TRUE(keptOpen);
    EXPECT_EQ(filled, (std::vector<QString>{"8", "3", "1"}));
    EXPECT_EQ(std::vector<int>(first->size, first->size + 3), (std::vector<int>{8, 8, 1}));
    EXPECT_EQ(std::vector<int>(second->size, second->size + 3), (std::vector<int>{16, 3, 1}));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Please choose a map."});
}

}  // namespace

TEST_F(MapCommandsTest, ARemovalThatCannotBeSavedKeepsTheMapItsFileAndItsOverlay)
{
    TMap* naa = AddMap("NAA_map", 8, 8, TMap::kSaved);
    const std::string naaFile = set->GetFilePath() + "_NAA_map";
    WriteBytes(naaFile, "map");
    CChildFrame* axial = session->FrameTitled("(Axial) axial_1 @ 100%");
    ASSERT_NE(axial, nullptr);
    ASSERT_TRUE(axial->AddMapOverlay(naa, 2, 0.0f));
    const std::string projectFile = ReadBytes(session->Project()->GetProjectFilePath());

    TDialogScript script([&](QDialog& d) {
        auto& dialog = dynamic_cast<CSelectMapDlg&>(d);
        dialog.MapList()->item(0)->setSelected(true);
        QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        return dialog.result();
    });
    vx::TFile::FailWritesAfter(0);  // the disk is full
    Trigger(cmd::MapRemove);
    vx::TFile::FailWritesAfter(-1);
    EXPECT_EQ(MapNames(), std::vector<std::string>{"NAA_map"});
    EXPECT_EQ(set->FindMap("NAA_map"), naa);
    EXPECT_EQ(ReadBytes(naaFile), "map");
    EXPECT_EQ(ReadBytes(session->Project()->GetProjectFilePath()), projectFile);
    EXPECT_EQ(axial->GetMapOverlays().size(), 1u);
    ASSERT_EQ(report.Count(), 1u);
    EXPECT_EQ(report.Messages()[0].rfind("The map NAA_map was not removed", 0), 0u) << report.Messages()[0];
}
