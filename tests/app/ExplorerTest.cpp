// The project explorer on the fixture project: its groups, icons and slice order, the
// context menus chosen by the clicked item, the set commands (Save as, Sum, Ratio, Remove
// CSI Sets) with their results on disk, the checks of Zero Fill and of the image-stack
// commands, Set Parameters, and the window's close box.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CModelessInfoFrame.h"
#include "app/dialogs/CNumEdit.h"
#include "app/CPrjExpFrame.h"
#include "app/CPrjExpTree.h"
#include "app/dialogs/CSaveCSISetAsDlg.h"
#include "app/dialogs/CSetParametersDlg.h"
#include "app/dialogs/CZeroFillDlg.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/DialogScript.h"
#include "support/GuiFixture.h"
#include "support/GuiGrab.h"
#include "support/GuiMenu.h"
#include "support/GuiSessionTest.h"
#include "support/ScriptedReport.h"

using namespace vx::test;

namespace {

// The tree as text: every item's text with its icon index in brackets, children in
// parentheses, e.g. "CSI[4](fixture_csi[9])".
std::string Dump(const QTreeWidgetItem* item)
{
    std::string text = item->text(0).toStdString() + "[" + std::to_string(CPrjExpTree::IconOf(item)) + "]";
    if (item->childCount() == 0)
        return text;
    text += "(";
    for (int k = 0; k < item->childCount(); ++k)
        text += (k ? " " : "") + Dump(item->child(k));
    return text + ")";
}

// Runs context menus without their event loop: the entry of the planned text is
// triggered; the texts of the last menu are kept.
class TMenuScript {
public:
    TMenuScript()
    {
        m_old = vx::app::SetMenuRunner([this](QMenu& menu, const QPoint&) -> QAction* {
            texts.clear();
            ++shown;
            QAction* chosen = nullptr;
            for (QAction* action : menu.actions()) {
                if (action->isSeparator())
                    continue;
                texts.push_back(action->text().toStdString());
                if (action->text().toStdString() == choice)
                    chosen = action;
            }
            if (chosen)
                chosen->trigger();
            return chosen;
        });
    }
    ~TMenuScript() { vx::app::SetMenuRunner(std::move(m_old)); }

    std::string choice;
    std::vector<std::string> texts;
    int shown = 0;

private:
    vx::app::MenuRunner m_old;
};

class ExplorerTest : public GuiSessionTest {
protected:
    void SetUp() override
    {
        GuiSessionTest::SetUp();
        project = session->Project();
        explorer = dynamic_cast<CPrjExpFrame*>(session->MainFrame().ProjectExplorer());
        ASSERT_NE(explorer, nullptr);
        tree = explorer->Tree();
        tree->expandAll();
        QApplication::processEvents();
    }

    QTreeWidgetItem* Item(const std::string& text) const
    {
        const auto found = tree->findItems(QString::fromStdString(text), Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    void Click(const std::string& text, Qt::KeyboardModifiers keys = {}, Qt::MouseButton button = Qt::LeftButton)
    {
        QTreeWidgetItem* item = Item(text);
        ASSERT_NE(item, nullptr) << text;
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), button, keys, tree->ItemLabelRect(item).center());
    }
    // A right click on the item choosing the menu entry.
    void Command(const std::string& item, const std::string& entry)
    {
        menus.choice = entry;
        Click(item, {}, Qt::RightButton);
    }
    void SelectSets(const std::vector<std::string>& names)
    {
        Click(names.front());
        for (size_t k = 1; k < names.size(); ++k)
            Click(names[k], Qt::ControlModifier);
    }
    // A new image of the project at a slice position (orientation -1: none known).
    TMRImage* AddImage(const std::string& name, int orientation, float position, bool complete = true)
    {
        auto* image = new TMRImage(project);
        image->SetName(name, false);
        image->SetWidth(64, false);
        image->SetHeight(64, false);
        if (orientation >= 0) {
            image->SetOrientation(orientation, false);
            image->SetParameter(240.0f, TMRImage::ParamFOVX, false);
            image->SetParameter(240.0f, TMRImage::ParamFOVY, false);
            image->SetParameter(position, TMRImage::ParamSlicePosition, false);
            if (complete)
                for (int k = 0; k < 3; ++k)
                    image->SetParameter(k == orientation ? position : 0.0f, TMRImage::ParamPositionX + k, false);
        }
        project->m_pImageSet->Insert(image);
        session->MainFrame().ShowProjectExplorer();
        tree->expandAll();
        return image;
    }
    std::vector<std::string> SetNames() const
    {
        std::vector<std::string> names;
        for (const TCSISet* set : *project->m_pCSISetList)
            names.push_back(set->GetName());
        return names;
    }
    // The set of that name read back from its data-set file.
    std::unique_ptr<TCSISet> ReadBack(const std::string& name) const
    {
        const TCSISet* set = project->m_pCSISetList->FindByName(name);
        if (!set)
            return nullptr;
        auto copy = std::make_unique<TCSISet>(project);
        copy->CopyHeader(*set);
        return copy->LoadData() ? std::move(copy) : nullptr;
    }
    // Saves the work set under a new name through the explorer.
    void SaveAs(const std::string& name)
    {
        TDialogScript script([&](QDialog& d) {
            return ShowAndAct<CSaveCSISetAsDlg>(d, [&](CSaveCSISetAsDlg& dialog) {
                dialog.NameEdit()->setText(QString::fromStdString(name));
                dialog.accept();
            });
        });
        Command(TGuiFixture::kSetName, "Save as...");
        EXPECT_EQ(script.runs, 1);
    }

    TMenuScript menus;
    TProject* project = nullptr;
    CPrjExpFrame* explorer = nullptr;
    CPrjExpTree* tree = nullptr;
};

TEST_F(ExplorerTest, GroupsHoldTheImagesInSlicePositionOrderWithTheirIcons)
{
    EXPECT_EQ(explorer->windowTitle().toStdString(), TGuiFixture::kProjectName);
    AddImage("sag", 0, 4.0f);
    AddImage("cor", 1, -2.0f);
    // Arrival order 10, -5, 10: ascending positions, and of equal ones the later first, as the
    // project holds them.
    AddImage("ax_a", 2, 10.0f);
    AddImage("ax_b", 2, -5.0f);
    AddImage("ax_c", 2, 10.0f);
    TMRImage* loose = AddImage("loose", -1, 0.0f);
    AddImage("half", 1, 30.0f, false);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    const std::string axial1 = TGuiFixture::ImageName(0);
    EXPECT_EQ(Dump(tree->topLevelItem(0)),
              "Images[0](Saggital[2](sag[8]) Coronal[1](cor[7] half[5]) Axial[3](ax_b[6] " + axial1 +
                  "[6] ax_c[6] ax_a[6]) loose[5])");
    EXPECT_EQ(Dump(tree->topLevelItem(1)), "CSI[4](fixture_csi[9])");

    // Once the loose image is placed, the next refresh moves it into its group.
    loose->SetOrientation(0, false);
    for (int kind : std::initializer_list<int>{TMRImage::ParamFOVX, TMRImage::ParamFOVY, TMRImage::ParamSlicePosition, TMRImage::ParamPositionX,
                     TMRImage::ParamPositionX + 1, TMRImage::ParamPositionX + 2})
        loose->SetParameter(-8.0f, kind, false);
    ASSERT_TRUE(loose->IsGeometryComplete());
    session->MainFrame().ShowProjectExplorer();
    tree->expandAll();
    EXPECT_EQ(Dump(Item("Saggital")), "Saggital[2](loose[8] sag[8])");
    EXPECT_EQ(Item("loose")->parent(), Item("Saggital"));
    // Placed at 8 mm, it goes after the 4 mm image, which the project holds after it.
    for (int kind : {TMRImage::ParamSlicePosition, TMRImage::ParamPositionX})
        loose->SetParameter(8.0f, kind, false);
    session->MainFrame().ShowProjectExplorer();
    EXPECT_EQ(Dump(Item("Saggital")), "Saggital[2](sag[8] loose[8])");
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(ExplorerTest, ClickedItemChoosesThePopupAndTheSelectionItsCommands)
{
    AddImage("ax_b", 2, -5.0f);
    const std::string axial1 = TGuiFixture::ImageName(0);
    struct TCase {
        std::vector<std::string> selection;  // Ctrl-clicked in order
        std::string clicked;                  // right-clicked afterwards
        std::vector<std::string> menu;
    } cases[] = {
        {{}, axial1, {"Add Images...", "Add CSI Set", "View", "Remove"}},
        {{}, TGuiFixture::kSetName,
         {"Add Images...", "Add CSI Set", "View Slice...", "Set Work Set", "Remove", "Zero Fill", "Set Parameters...",
          "Save as..."}},
        {{}, "Axial", {"Add Exam...", "Add Images...", "Add CSI Set..."}},
        {{axial1, "ax_b"}, "ax_b", {"Remove Images", "3D Reconstruction", "Image Averaging"}},
        // The pop-up follows the clicked item even when the selection holds other kinds.
        {{axial1, TGuiFixture::kSetName}, TGuiFixture::kSetName, {"Remove CSI Sets", "Sum", "Subtract", "Ratio"}},
        {{axial1, TGuiFixture::kSetName}, axial1, {"Remove Images", "3D Reconstruction", "Image Averaging"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.clicked);
        tree->SelectAll(false);
        for (const std::string& name : c.selection)
            Click(name, Qt::ControlModifier);
        menus.texts.clear();
        Command(c.clicked, "");
        EXPECT_EQ(menus.texts, c.menu);
    }
}

// Every entry of the explorer's menus says what it does in the main window's status bar
// while the mouse is over it, the frame's commands as in the frame's own menus.
TEST_F(ExplorerTest, MenuEntriesShowTheirPrompts)
{
    AddImage("ax_b", 2, -5.0f);
    const std::string axial1 = TGuiFixture::ImageName(0);
    // The menus open as they do for the user, in their own event loop.
    const vx::app::MenuRunner script = vx::app::SetMenuRunner({});
    std::map<std::string, std::string> prompts;
    const std::pair<std::vector<std::string>, std::string> menus[] = {
        {{}, axial1}, {{}, TGuiFixture::kSetName}, {{}, "Axial"}, {{axial1, "ax_b"}, "ax_b"},
        {{axial1, TGuiFixture::kSetName}, TGuiFixture::kSetName}};
    for (const auto& [selection, clicked] : menus) {
        tree->SelectAll(false);
        for (const std::string& name : selection)
            Click(name, Qt::ControlModifier);
        QTreeWidgetItem* item = Item(clicked);
        ASSERT_NE(item, nullptr);
        const auto shown =
            MenuPrompts(session->MainFrame(), tree->viewport(), Qt::RightButton, tree->ItemLabelRect(item).center());
        EXPECT_FALSE(shown.empty()) << clicked;
        for (const auto& [entry, prompt] : shown) {
            EXPECT_FALSE(prompt.isEmpty()) << clicked << ": " << entry.toStdString();
            prompts[entry.toStdString()] = prompt.toStdString();
        }
    }
    vx::app::SetMenuRunner(script);
    EXPECT_EQ(prompts.size(), 18u);
    EXPECT_EQ(prompts["Add Images..."], "Add MR images to the project");
    EXPECT_EQ(prompts["Add CSI Set"], "Add CSI data sets to the project");
    EXPECT_EQ(prompts["Set Work Set"], "Make this CSI set the work set");
    EXPECT_EQ(prompts["Image Averaging"], "Average the selected images into a new image");
}

// The Menu key and Shift+F10 open the menu of the caret's item, also after the caret
// moved by the keyboard; a platform that sends its own keyboard menu request before the
// Menu key still shows one menu.
TEST_F(ExplorerTest, KeysOpenTheMenuOfTheCaretItem)
{
    const std::vector<std::string> setMenu = {"Add Images...", "Add CSI Set", "View Slice...", "Set Work Set",
                                              "Remove", "Zero Fill", "Set Parameters...", "Save as..."};
    Click(TGuiFixture::kSetName);
    QTest::keyClick(tree, Qt::Key_Menu);
    EXPECT_EQ(menus.shown, 1);
    EXPECT_EQ(menus.texts, setMenu);

    QTest::keyClick(tree, Qt::Key_Up);
    ASSERT_EQ(tree->GetCaret(), Item("CSI"));
    QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(menus.shown, 2);
    EXPECT_EQ(menus.texts, (std::vector<std::string>{"Add Exam...", "Add Images...", "Add CSI Set..."}));
    QTest::keyClick(tree, Qt::Key_F10);
    EXPECT_EQ(menus.shown, 2) << "F10 alone is no menu request";

    QTest::keyClick(tree, Qt::Key_Down);
    menus.texts.clear();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(0, 0), tree->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(tree, &request);
    QTest::keyClick(tree, Qt::Key_Menu);
    EXPECT_EQ(menus.shown, 3);
    EXPECT_EQ(menus.texts, setMenu);
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(ExplorerTest, SaveAsSumAndRatioMakeSetsWithTheirOwnFiles)
{
    SaveAs("copy");
    ASSERT_EQ(SetNames(), std::vector<std::string>({TGuiFixture::kSetName, "copy"}));
    EXPECT_EQ(project->m_pWorkSet->GetName(), TGuiFixture::kSetName);
    EXPECT_NE(Item("copy"), nullptr);

    SelectSets({TGuiFixture::kSetName, "copy"});
    Command("copy", "Sum");
    SelectSets({TGuiFixture::kSetName, "copy"});
    Command("copy", "Ratio");
    const std::string sum = std::string(TGuiFixture::kSetName) + "+copy";
    const std::string ratio = std::string(TGuiFixture::kSetName) + "_To_copy";
    EXPECT_EQ(SetNames(), std::vector<std::string>({TGuiFixture::kSetName, "copy", sum, ratio}));
    EXPECT_EQ(CPrjExpTree::IconOf(Item(sum)), 4);

    // Sum: twice each sample; Ratio: 100 where the line is (real part), 0 elsewhere below the cut.
    const std::unique_ptr<TCSISet> summed = ReadBack(sum);
    const std::unique_ptr<TCSISet> ratios = ReadBack(ratio);
    ASSERT_TRUE(summed && ratios);
    EXPECT_EQ(project->m_pCSISetList->FindByName(sum)->m_strDataPath, "Unavailable");
    for (int x : {0, 7})
        for (int i : {0, TGuiFixture::kPeakPoint, 200}) {
            float re = 0, im = 0;
            TGuiFixture::Sample(x, i, re, im);
            const TComplex s = summed->GetVoxel(x, 3, 0)->Data()[i];
            EXPECT_NEAR(s.real(), 2 * re, 1e-3f * std::abs(re) + 1e-4f);
            EXPECT_NEAR(s.imag(), 2 * im, 1e-3f * std::abs(im) + 1e-4f);
            EXPECT_NEAR(ratios->GetVoxel(x, 3, 0)->Data()[i].real(), 100.0f, 1e-3f);
        }
    EXPECT_EQ(report.Count(), 0u);

    // A second ratio of the same sets is refused by its name; nothing is added.
    SelectSets({TGuiFixture::kSetName, "copy"});
    Command("copy", "Ratio");
    EXPECT_EQ(report.Messages(), std::vector<std::string>(
                                     {"The CSI set: " + ratio + " already exists. The new one can not be added."}));
    EXPECT_EQ(SetNames().size(), 4u);
}

TEST_F(ExplorerTest, SaveAsRefusesNamesOutsideTheFolderAndAsksBeforeReplacingAndRemoveAsksPerSet)
{
    // A blank name keeps the dialog open (and not accepted); a path is refused.
    SaveAs("");
    SaveAs("../outside");
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({"The new set name can not be empty.", "Invalid CSI set name."}));
    EXPECT_EQ(SetNames().size(), 1u);

    // The set's own name writes the work set; a No to the question changes nothing.
    SaveAs("copy");
    report.Clear();
    report.PlanAnswer(vx::ReportAnswer::No);
    SaveAs("copy");
    EXPECT_EQ(report.Questions(), std::vector<std::string>({"This CSI set already exists. Do you want to overwrite it?"}));
    EXPECT_EQ(SetNames().size(), 2u);
    // Yes replaces the old set, whose item goes with it.
    report.PlanAnswer(vx::ReportAnswer::Yes);
    SaveAs("copy");
    EXPECT_EQ(SetNames(), std::vector<std::string>({TGuiFixture::kSetName, "copy"}));
    EXPECT_EQ(Dump(Item("CSI")), "CSI[4](fixture_csi[9] copy[4])");
    EXPECT_NE(ReadBack("copy"), nullptr);

    // Remove CSI Sets asks for the last first and keeps what was refused.
    report.Clear();
    SaveAs("copy2");
    SelectSets({TGuiFixture::kSetName, "copy", "copy2"});
    report.PlanAnswer(vx::ReportAnswer::Yes);
    report.PlanAnswer(vx::ReportAnswer::No);
    report.PlanAnswer(vx::ReportAnswer::Yes);
    Command("copy2", "Remove CSI Sets");
    const std::string prefix = "Are you sure you want to remove the set ";
    EXPECT_EQ(report.Questions(), std::vector<std::string>({prefix + "copy2 from the project?",
                                                            prefix + "copy from the project?",
                                                            prefix + TGuiFixture::kSetName + " from the project?"}));
    EXPECT_EQ(SetNames(), std::vector<std::string>({"copy"}));
    EXPECT_EQ(Dump(Item("CSI")), "CSI[4](copy[4])");
}

TEST(ExplorerChecks, ZeroFillSizes)
{
    struct TCase {
        int slice, dims;
        int old[3], size[3];
        const char* error;
    } cases[] = {
        {2, 2, {16, 16, 1}, {32, 32, 1}, ""},
        {2, 2, {16, 16, 1}, {16, 16, 1}, ""},
        // Every parity of every axis is filled correctly, so every one is taken.
        {2, 2, {16, 16, 1}, {33, 32, 1}, ""},
        {2, 2, {16, 16, 1}, {8, 16, 1}, "New size needs to be larger than original size."},
        {2, 2, {16, 16, 1}, {32, 32, 3}, ""},
        {2, 3, {16, 16, 8}, {32, 32, 9}, ""},
        {2, 3, {15, 16, 8}, {32, 31, 16}, ""},
        {0, 2, {1, 16, 16}, {1, 16, 17}, ""},
        {0, 2, {1, 16, 16}, {3, 16, 16}, ""},
        {1, 2, {16, 1, 16}, {16, 1, 15}, "New size needs to be larger than original size."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.size[0]) + "x" + std::to_string(c.size[1]) + "x" + std::to_string(c.size[2]));
        TCSISet set;
        set.m_nSliceAxis = c.slice;
        set.m_nSpatialDims = c.dims;
        std::copy(c.old, c.old + 3, set.m_nDim);
        EXPECT_EQ(CPrjExpTree::ZeroFillSizeError(set, c.size), c.error);
    }
}

TEST(ExplorerChecks, ImageStacks)
{
    struct TStackImage {
        int orientation, width;
        float fovX;
        bool complete;
    };
    struct TCase {
        std::vector<TStackImage> images;
        bool averaging;
        const char* error;
    } cases[] = {
        {{{2, 64, 240, true}, {2, 64, 240.0005f, true}}, false, ""},
        {{{2, 64, 240, true}, {2, 64, 240.01f, true}}, false, "The selected images should have same orientation, size and FOV."},
        {{{2, 64, 240, true}, {1, 64, 240, true}}, true, "The selected images should have same orientation, size and FOV."},
        {{{2, 64, 240, true}, {2, 128, 240, true}}, true, "The selected images should have same orientation, size and FOV."},
        {{{2, 64, 240, true}, {2, 64, 240, false}}, false, "Failed to reconstruct because some images are not initialized."},
        {{{2, 64, 240, false}}, true, "Failed to average because some images are not initialized."},
        {{}, true, "No images are selected."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.error);
        std::vector<std::unique_ptr<TMRImage>> owned;
        std::vector<TMRImage*> images;
        for (const TStackImage& shape : c.images) {
            owned.push_back(std::make_unique<TMRImage>(nullptr));
            TMRImage* image = owned.back().get();
            image->SetWidth(shape.width, false);
            image->SetHeight(64, false);
            image->SetOrientation(shape.orientation, false);
            image->SetParameter(shape.fovX, TMRImage::ParamFOVX, false);
            image->SetParameter(240.0f, TMRImage::ParamFOVY, false);
            image->SetParameter(0.0f, TMRImage::ParamSlicePosition, false);
            if (shape.complete)
                for (int k = 0; k < 3; ++k)
                    image->SetParameter(0.0f, TMRImage::ParamPositionX + k, false);
            images.push_back(image);
        }
        EXPECT_EQ(CPrjExpTree::ImageStackError(images, c.averaging), c.error);
    }
}

TEST_F(ExplorerTest, ZeroFillComesBackAfterARefusalAndSetCommandsWantTheWorkSet)
{
    std::vector<std::string> shown;
    int run = 0;
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CZeroFillDlg>(d, [&](CZeroFillDlg& dialog) {
            std::string sizes;
            for (int k = 0; k < 3; ++k)
                sizes += dialog.SizeEdit(k)->text().toStdString() + (dialog.SizeEdit(k)->isEnabled() ? "+" : "-") + " ";
            shown.push_back(sizes);
            // A size below the set's is refused; an odd one, which the fill takes, is not.
            dialog.SizeEdit(0)->setText(run++ == 0 ? "7" : "9");
            dialog.accept();
        });
    });
    Command(TGuiFixture::kSetName, "Zero Fill");
    EXPECT_EQ(script.runs, 2);
    // The z edit of a one-slice set is disabled; the second run shows the set's sizes again.
    EXPECT_EQ(shown, std::vector<std::string>({"8+ 8+ 1- ", "8+ 8+ 1- "}));
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"New size needs to be larger than original size."}));
    EXPECT_EQ(SetNames(), std::vector<std::string>({TGuiFixture::kSetName, std::string(TGuiFixture::kSetName) + "_9_8_1"}));
    report.Clear();

    // Another set than the work set is refused before any dialog, here and by Set Parameters.
    SaveAs("copy");
    report.Clear();
    Command("copy", "Zero Fill");
    Command("copy", "Set Parameters...");
    EXPECT_EQ(script.runs, 2);  // no zero-fill or parameter dialog
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"The CSI set needs to be work set.",
                                                            "The CSI set must be the current work set."}));
}

TEST_F(ExplorerTest, SetParametersShowsTheSetAndWritesTheEditedValues)
{
    TCSISet* set = project->m_pWorkSet;
    const float oldGain = set->GetScalarParam(1);
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CSetParametersDlg>(d, [&](CSetParametersDlg& dialog) {
            // The set's values are shown (which of them are read-only is the dialog test's).
            EXPECT_EQ(dialog.PointsEdit()->text().toStdString(), std::to_string(TGuiFixture::kPoints));
            EXPECT_EQ(dialog.FOVEdit(0)->text().toStdString(), "240");
            dialog.GainEdit()->selectAll();
            QTest::keyClicks(dialog.GainEdit(), "2.5");
            dialog.FOVEdit(0)->selectAll();
            QTest::keyClicks(dialog.FOVEdit(0), "200");
            dialog.accept();
        });
    });
    Command(TGuiFixture::kSetName, "Set Parameters...");
    ASSERT_EQ(script.runs, 1);
    EXPECT_NE(oldGain, 2.5f);
    EXPECT_FLOAT_EQ(set->GetScalarParam(1), 2.5f);
    float fov[3];
    set->GetVectorParam(5, fov);
    EXPECT_FLOAT_EQ(fov[0], 200.0f);
    EXPECT_FLOAT_EQ(fov[1], TGuiFixture::kFOV);
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(ExplorerTest, SetParametersRefusesASweepWidthOrFieldOfViewOfZeroOrBelow)
{
    TCSISet* set = project->m_pWorkSet;
    const float sweepWidth = set->GetScalarParam(3);
    float fovBefore[3];
    set->GetVectorParam(5, fovBefore);
    std::vector<bool> shownAfterOK;
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CSetParametersDlg>(d, [&](CSetParametersDlg& dialog) {
            QPushButton* ok = dialog.Buttons()->button(QDialogButtonBox::Ok);
            const auto typeThenOK = [&](CNumEdit* edit, const char* text) {
                const QString old = edit->GetText();
                edit->selectAll();
                QTest::keyClicks(edit, text);
                QTest::mouseClick(ok, Qt::LeftButton);
                shownAfterOK.push_back(dialog.isVisible());
                edit->SetText(old);
            };
            typeThenOK(dialog.SweepWidthEdit(), "0");
            typeThenOK(dialog.SweepWidthEdit(), "-1000");
            typeThenOK(dialog.FOVEdit(1), "0");
            typeThenOK(dialog.FOVEdit(2), "-5");
            dialog.reject();
        });
    });
    Command(TGuiFixture::kSetName, "Set Parameters...");
    ASSERT_EQ(script.runs, 1);
    EXPECT_EQ(shownAfterOK, (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(report.Messages(), std::vector<std::string>(4, "Please enter a number larger than 0."));
    EXPECT_FLOAT_EQ(set->GetScalarParam(3), sweepWidth);
    float fov[3];
    set->GetVectorParam(5, fov);
    EXPECT_EQ(std::vector<float>(fov, fov + 3), std::vector<float>(fovBefore, fovBefore + 3));
    EXPECT_FALSE(project->IsModified());
}

// A frequency of 0, or a sweep width that is 0 once taken in whole hertz, would be written
// into the project file, which could then no longer be opened: the dialog refuses the one,
// the command the other, and the set keeps its parameters.
TEST_F(ExplorerTest, SetParametersKeepsAFrequencyOrSweepWidthTheProjectFileCannotHold)
{
    TCSISet* set = project->m_pWorkSet;
    const float frequency = set->GetScalarParam(2), sweepWidth = set->GetScalarParam(3);
    bool shownAfterZero = false;
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CSetParametersDlg>(d, [&](CSetParametersDlg& dialog) {
            QPushButton* ok = dialog.Buttons()->button(QDialogButtonBox::Ok);
            const QString old = dialog.FrequencyEdit()->GetText();
            dialog.FrequencyEdit()->selectAll();
            QTest::keyClicks(dialog.FrequencyEdit(), "0");
            QTest::mouseClick(ok, Qt::LeftButton);
            shownAfterZero = dialog.isVisible();
            dialog.FrequencyEdit()->SetText(old);
            dialog.SweepWidthEdit()->selectAll();
            QTest::keyClicks(dialog.SweepWidthEdit(), "0.5");
            QTest::mouseClick(ok, Qt::LeftButton);
        });
    });
    Command(TGuiFixture::kSetName, "Set Parameters...");
    ASSERT_EQ(script.runs, 1);
    EXPECT_TRUE(shownAfterZero);
    EXPECT_EQ(report.Messages(),
              (std::vector<std::string>{"Please enter a number larger than 0.",
                                        "The parameters of the CSI set " + set->GetName() +
                                            " were not changed: its frequency and field of view must be above 0 "
                                            "and its sweep width at least 1 Hz."}));
    EXPECT_FLOAT_EQ(set->GetScalarParam(2), frequency);
    EXPECT_FLOAT_EQ(set->GetScalarParam(3), sweepWidth);
    EXPECT_FALSE(project->IsModified());
}

// "1e400" typed over FOV Y and left with Tab: refused with a range that can itself be typed,
// and the box holds its value of before the edit again, which OK then keeps.
TEST_F(ExplorerTest, SetParametersRefusesANumberAFloatCannotHoldAndKeepsTheOldValue)
{
    TCSISet* set = project->m_pWorkSet;
    float fovBefore[3];
    set->GetVectorParam(5, fovBefore);
    std::string shown, kept;
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CSetParametersDlg>(d, [&](CSetParametersDlg& dialog) {
            QApplication::setActiveWindow(&dialog);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            CNumEdit* fovY = dialog.FOVEdit(1);
            fovY->setFocus(Qt::TabFocusReason);
            fovY->selectAll();
            QTest::keyClicks(fovY, "1e400");
            QTest::keyClick(fovY, Qt::Key_Tab);
            shown = fovY->text().toStdString();
            kept = fovY->GetText().toStdString();
            QTest::mouseClick(dialog.Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
    });
    Command(TGuiFixture::kSetName, "Set Parameters...");
    ASSERT_EQ(script.runs, 1);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Please enter a number with at most 38 digits before the "
                                                          "decimal point, without an exponent."});
    EXPECT_EQ(shown, "240");
    EXPECT_EQ(kept, "240");
    float fov[3];
    set->GetVectorParam(5, fov);
    EXPECT_EQ(std::vector<float>(fov, fov + 3), std::vector<float>(fovBefore, fovBefore + 3));
}

TEST_F(ExplorerTest, CloseBoxHidesTheWindowAndReleasesItsButton)
{
    CMainFrame& frame = session->MainFrame();
    QAction* button = frame.Action(cmd::ViewProjectExplorer);
    ASSERT_TRUE(button->isChecked());
    frame.OnProjectInformation();
    QApplication::processEvents();
    EXPECT_FALSE(GrabToPng(&frame, "explorer_and_info").isEmpty());

    explorer->close();
    EXPECT_TRUE(explorer->isHidden());
    EXPECT_FALSE(button->isChecked());
    button->trigger();
    EXPECT_EQ(frame.ProjectExplorer(), explorer);
    EXPECT_TRUE(explorer->isVisible());
    EXPECT_TRUE(button->isChecked());
}

}  // namespace
