// The parameter dialogs of the spectrum tools and View Slice on the fixture project: their
// first values, the values they keep for the run, their enabling rules and their refusals.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/dialogs/CCreateMapDlg.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/CPeakRemovalDlg.h"
#include "app/CViewSliceDlg.h"
#include "app/dialogs/CWaterSupDlg.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "app/WindowFactory.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/DialogScript.h"
#include "support/GuiFixture.h"
#include "support/GuiGrab.h"
#include "support/GuiSessionTest.h"
#include "support/ScriptedReport.h"
#include "Shown.h"

using namespace vx::test;

namespace {

// Types a number as the user does: the box is emptied first.
void Type(QLineEdit* edit, const char* text)
{
    edit->clear();
    QTest::keyClicks(edit, text);
}

// Runs the dialog through the program's runner with a script that fills it and presses OK;
// returns the dialog's result. A dialog that refuses OK stays open and is then cancelled.
template <class Dialog>
int RunAndAccept(Dialog& dialog, const std::function<void(Dialog&)>& fill)
{
    TDialogScript script([&](QDialog& d) {
        fill(static_cast<Dialog&>(d));
        static_cast<Dialog&>(d).accept();
        return d.result() == QDialog::Accepted ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    return vx::app::RunDialog(dialog);
}

using vx::test::Shown;

// The water suppression dialog as the user sees it: algorithm, window, its length, align
// range, peaks, selected voxels only ("-" after a disabled control).
std::string Shown(const CWaterSupDlg& d)
{
    return Shown({d.Algorithm(), d.WindowType(), d.FilterLength(), d.AlignRange(), d.NumPeaks(), d.SelectedOnly()});
}

// The map dialog: name, sizes, area or PCA, one peak or a ratio, selected only, the entered
// reference (value, moles or molarity), the reference map (list, normalise), relaxation (T1, T2).
std::string Shown(const CCreateMapDlg& d)
{
    return Shown({d.Name(), d.SizeEdit(0), d.SizeEdit(1), d.SizeEdit(2), d.AreaIntegration(), d.PrincipalComponents(),
                  d.SinglePeak(), d.PeakRatio(), d.SelectedOnly(), d.EnterReference(), d.ReferenceValue(), d.Moles(),
                  d.Molarity(), d.SelectReference(), d.ReferenceList(), d.Normalize(), d.Relaxation(), d.T1(), d.T2()});
}

class ParameterDialogsTest : public GuiSessionTest {
protected:
    void SetUp() override
    {
        CWaterSupDlg::Kept() = {};
        CPeakRemovalDlg::Kept() = {};
        CCreateMapDlg::Kept() = {};
        CViewSliceDlg::Kept() = {};
        GuiSessionTest::SetUp();
    }
    // A map of the work set with an internal reference, offered as a reference map.
    void AddReferenceMap(const std::string& name)
    {
        AddMap(name, set->m_nDim[0], set->m_nDim[1], TMap::kNeverSaved)->useInternalReference = 1;
    }
    const int* SetSize() const { return set->m_nDim; }
};

TEST_F(ParameterDialogsTest, WaterSuppressionAndPeakRemovalStartWithTheirDefaultsAndKeepTheLastValues)
{
    {
        CWaterSupDlg dialog;
        EXPECT_EQ(dialog.windowTitle(), "Water Suppression Parameters");
        // Sodano needs a window, not peaks; HLSVDPro the opposite.
        EXPECT_EQ(Shown(dialog), "Sodano Gauss 17 .5 15- [ ]");
        dialog.Algorithm()->setCurrentIndex(CWaterSupDlg::kHLSVDPro);
        EXPECT_EQ(Shown(dialog), "HLSVDPro Gauss- 17- .5 15 [ ]");
        GrabToPng(&dialog, "dialog_water_suppression");

        const int result = RunAndAccept<CWaterSupDlg>(dialog, [](CWaterSupDlg& d) {
            d.WindowType()->setCurrentIndex(2);
            Type(d.NumPeaks(), "20");
            Type(d.AlignRange(), "-0.7");
            d.SelectedOnly()->setChecked(true);
        });
        EXPECT_EQ(result, QDialog::Accepted);
    }
    const TWaterSuppressionParams& kept = CWaterSupDlg::Kept();
    EXPECT_EQ(kept.m_nMethod, 1);
    EXPECT_EQ(kept.m_nWindowType, 2);
    EXPECT_EQ(kept.m_nPeaks, 20);
    EXPECT_FLOAT_EQ(kept.m_fPeakAlignRange, 0.7f) << "the range is kept as a magnitude";
    EXPECT_EQ(kept.m_bSelectedOnly, 1);

    CWaterSupDlg again;
    EXPECT_EQ(Shown(again), "HLSVDPro Sine- 17- .7 20 [x]");
    again.Algorithm()->setCurrentIndex(CWaterSupDlg::kSodano);
    EXPECT_EQ(Shown(again), "Sodano Sine 17 .7 20- [x]");

    // Peak removal the same way.
    {
        CPeakRemovalDlg dialog;
        EXPECT_EQ(dialog.windowTitle(), "Peak Removal");
        EXPECT_EQ(Shown({dialog.NumPeaks(), dialog.SelectedOnly()}), "10 [ ]");
        EXPECT_EQ(RunAndAccept<CPeakRemovalDlg>(dialog,
                                                [](CPeakRemovalDlg& d) {
                                                    Type(d.NumPeaks(), "25");
                                                    d.SelectedOnly()->setChecked(true);
                                                }),
                  QDialog::Accepted);
    }
    CPeakRemovalDlg removal;
    EXPECT_EQ(Shown({removal.NumPeaks(), removal.SelectedOnly()}), "25 [x]");
}

TEST_F(ParameterDialogsTest, IntegerFieldsRefuseOtherTextsAndKeepTheDialogOpen)
{
    const struct {
        const char* name;
        std::function<QDialog*()> make;
        std::function<QLineEdit*(QDialog&)> field;
        const char* text;
        const char* message;
    } cases[] = {
        {"water peaks", [] { return new CWaterSupDlg; },
         [](QDialog& d) { return static_cast<CWaterSupDlg&>(d).NumPeaks(); }, "1.5", "Please enter an integer."},
        {"water length", [] { return new CWaterSupDlg; },
         [](QDialog& d) { return static_cast<CWaterSupDlg&>(d).FilterLength(); }, "", "Please enter an integer."},
        {"peak removal", [] { return new CPeakRemovalDlg; },
         [](QDialog& d) { return static_cast<CPeakRemovalDlg&>(d).NumPeaks(); }, "ten", "Please enter an integer."},
        {"map size", [this] { return new CCreateMapDlg(session->Project(), SetSize()); },
         [](QDialog& d) { return static_cast<CCreateMapDlg&>(d).SizeEdit(0); }, "4000",
         "Please enter an integer between 1 and 1000."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        report.Clear();
        std::unique_ptr<QDialog> dialog(c.make());
        c.field(*dialog)->setText(c.text);
        dialog->accept();
        EXPECT_EQ(dialog->result(), QDialog::Rejected) << "still open";
        EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message});
    }
    EXPECT_EQ(CWaterSupDlg::Kept().m_nPeaks, 15);
    EXPECT_EQ(CPeakRemovalDlg::Kept().peaks, 10);
}

TEST_F(ParameterDialogsTest, CreateMapStartsWithItsDefaultsAndItsReferenceChoicesExcludeEachOther)
{
    AddReferenceMap("NAA");
    CCreateMapDlg dialog(session->Project(), SetSize());
    EXPECT_EQ(dialog.windowTitle(), "Create Metabolic Map");
    // A size of 1 stays; the quantification waits for its choices.
    EXPECT_EQ(Shown(dialog), " 8 8 1- [x] [ ] [x] [ ] [ ] [ ] 0- [ ]- [x]- [ ] #0- [ ]- [ ] 0- 0-");
    ASSERT_EQ(dialog.ReferenceList()->count(), 1);
    EXPECT_EQ(dialog.ReferenceList()->item(0)->text(), QString(TGuiFixture::kSetName) + "  NAA");
    dialog.resize(dialog.sizeHint());
    GrabToPng(&dialog, "dialog_create_map");

    // The two reference choices exclude each other; relaxation opens T1 and T2.
    const struct {
        QAbstractButton* click;
        const char* shown;
    } steps[] = {
        {dialog.EnterReference(), " 8 8 1- [x] [ ] [x] [ ] [ ] [x] 0 [ ] [x] [ ] #0- [ ]- [ ] 0- 0-"},
        {dialog.SelectReference(), " 8 8 1- [x] [ ] [x] [ ] [ ] [ ] 0- [ ]- [x]- [x] #0 [ ] [ ] 0- 0-"},
        {dialog.EnterReference(), " 8 8 1- [x] [ ] [x] [ ] [ ] [x] 0 [ ] [x] [ ] #0- [ ]- [ ] 0- 0-"},
        {dialog.Relaxation(), " 8 8 1- [x] [ ] [x] [ ] [ ] [x] 0 [ ] [x] [ ] #0- [ ]- [x] 0 0"},
        {dialog.Relaxation(), " 8 8 1- [x] [ ] [x] [ ] [ ] [x] 0 [ ] [x] [ ] #0- [ ]- [ ] 0- 0-"},
    };
    for (const auto& step : steps) {
        step.click->click();
        EXPECT_EQ(Shown(dialog), step.shown) << step.click->text().toStdString();
    }
}

TEST_F(ParameterDialogsTest, CreateMapRefusesBadQuantificationValues)
{
    AddReferenceMap("NAA");
    const struct {
        const char* name;
        std::function<void(CCreateMapDlg&)> fill;
        const char* message;
    } cases[] = {
        {"reference value 0", [](CCreateMapDlg& d) { d.EnterReference()->click(); }, "The reference value is invalid."},
        {"reference value tiny",
         [](CCreateMapDlg& d) {
             d.EnterReference()->click();
             Type(d.ReferenceValue(), "0.00001");
         },
         "The reference value is invalid."},
        {"no reference map", [](CCreateMapDlg& d) { d.SelectReference()->click(); }, "No reference map is selected."},
        {"T2 0",
         [](CCreateMapDlg& d) {
             d.Relaxation()->click();
             Type(d.T1(), "1200");
         },
         "The T1 and/or T2 values are invalid."},
        {"T1 negative",
         [](CCreateMapDlg& d) {
             d.Relaxation()->click();
             Type(d.T1(), "-5");
             Type(d.T2(), "80");
         },
         "The T1 and/or T2 values are invalid."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        report.Clear();
        CCreateMapDlg dialog(session->Project(), SetSize());
        Type(dialog.Name(), "NAA");
        c.fill(dialog);
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << "still open";
        ASSERT_EQ(report.Entries().size(), 1u);
        EXPECT_EQ(report.Entries()[0].text, c.message);
        EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::None);
        EXPECT_EQ(dialog.Name()->text(), "NAA") << "the values entered stay";
    }
}

TEST_F(ParameterDialogsTest, CreateMapGivesItsParametersAndKeepsTheQuantification)
{
    AddReferenceMap("Cr");
    AddReferenceMap("NAA");
    {
        CCreateMapDlg dialog(session->Project(), SetSize());
        const int result = RunAndAccept<CCreateMapDlg>(dialog, [](CCreateMapDlg& d) {
            Type(d.Name(), "Cho");
            Type(d.SizeEdit(0), "16");
            d.PrincipalComponents()->click();
            d.PeakRatio()->click();
            d.SelectedOnly()->click();
            d.SelectReference()->click();
            d.ReferenceList()->setCurrentRow(1);
            d.Normalize()->click();
            d.Relaxation()->click();
            Type(d.T1(), "1200");
            Type(d.T2(), "80.5");
        });
        ASSERT_EQ(result, QDialog::Accepted);
        const TMapParams& p = dialog.GetParams();
        EXPECT_EQ(p.name, "Cho");
        EXPECT_EQ(p.size[0], 16);
        EXPECT_EQ(p.size[1], 8);
        EXPECT_EQ(p.size[2], 1);
        EXPECT_EQ(p.method, 1);
        EXPECT_EQ(p.ratioOfPeaks, 1);
        EXPECT_EQ(p.selectedOnly, 1);
        EXPECT_EQ(p.useInternalReference, 0);
        EXPECT_EQ(p.useReferenceMap, 1);
        EXPECT_EQ(p.referenceSetName, TGuiFixture::kSetName);
        EXPECT_EQ(p.referenceMapName, "NAA");
        EXPECT_EQ(p.voxelByVoxel, 1);
        EXPECT_EQ(p.relaxationCorrection, 1);
        EXPECT_FLOAT_EQ(p.t1, 1200.0f);
        EXPECT_FLOAT_EQ(p.t2, 80.5f);
    }
    // Everything but the name, the size and the reference map comes back.
    const int size[3] = {8, 8, 1};
    CCreateMapDlg again(session->Project(), size);
    EXPECT_EQ(Shown(again), " 8 8 1- [ ] [x] [ ] [x] [x] [ ] 0- [ ]- [x]- [x] #0 [x] [x] 1200 80.5");
}

TEST_F(ParameterDialogsTest, ViewSliceListsThePlanesOrStackSlicesAndKeepsModeAndAxis)
{
    // 16 planes over 240 mm along x: centres 7.5 mm apart from -112.5 mm.
    TCSISet wide;
    wide.m_nDim[0] = 16;
    wide.m_fFOV[0] = 240.0f;
    std::vector<std::string> indices;
    for (int k = 0; k < 16; ++k)
        indices.push_back(std::to_string(k));
    EXPECT_EQ(CViewSliceDlg::LocationTexts(wide, CViewSliceDlg::kByIndex, 0), indices);
    {
        CViewSliceDlg dialog(&wide);
        EXPECT_EQ(dialog.windowTitle(), "View Slice...");
        EXPECT_EQ(dialog.Mode()->currentText(), "by Position (in mm)");
        EXPECT_EQ(dialog.Orientation()->currentText(), "X (Saggital)");
        ASSERT_EQ(dialog.Location()->count(), 16);
        EXPECT_EQ(dialog.Location()->itemText(0), "-112.5 mm");
        EXPECT_EQ(dialog.Location()->itemText(15), "112.5 mm");
        const int result = RunAndAccept<CViewSliceDlg>(dialog, [](CViewSliceDlg& d) {
            d.Mode()->setCurrentIndex(CViewSliceDlg::kByIndex);
            EXPECT_EQ(d.Location()->itemText(0), "0");
        });
        ASSERT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(dialog.GetAxis(), 0);
        EXPECT_FLOAT_EQ(dialog.GetPosition()[0], -112.5f);
        EXPECT_FLOAT_EQ(dialog.GetPosition()[1], 0.0f);
    }
    CViewSliceDlg again(set);
    EXPECT_EQ(again.Mode()->currentIndex(), CViewSliceDlg::kByIndex);
    again.Orientation()->setCurrentIndex(2);
    // The fixture's one axial plane lies at the grid's centre.
    ASSERT_EQ(again.Location()->count(), 1);
    again.accept();
    EXPECT_EQ(again.GetAxis(), 2);
    EXPECT_FLOAT_EQ(again.GetPosition()[2], 0.0f);
    CViewSliceDlg third(set);
    EXPECT_EQ(third.Orientation()->currentText(), "Z (Axial)");
    // Positions are given in the scanner's frame: the fixture's x axis is the scanner's.
    third.Mode()->setCurrentIndex(CViewSliceDlg::kByPosition);
    third.Orientation()->setCurrentIndex(0);
    EXPECT_EQ(third.Location()->itemText(0), "-105 mm");
    EXPECT_EQ(third.Location()->itemText(7), "105 mm");

    // A stack is spaced by its slice distance.
    TCSISet stack;
    stack.m_nDim[2] = 4;
    stack.m_fFOV[2] = 100.0f;
    stack.m_bMultiSlice = 1;
    stack.m_nSliceAxis = 2;
    stack.m_fSliceThickness = 8.0f;
    stack.m_fSliceGap = 2.0f;
    // 10 mm apart around the centre; the z axis is turned over into the scanner's frame.
    EXPECT_EQ(CViewSliceDlg::LocationTexts(stack, CViewSliceDlg::kByPosition, 2),
              (std::vector<std::string>{"15 mm", "5 mm", "-5 mm", "-15 mm"}));
    // The result still divides the field of view.
    EXPECT_FLOAT_EQ(CViewSliceDlg::PlanePosition(stack, 2, 0), -37.5f);
}

TEST_F(ParameterDialogsTest, ViewSliceCommandOpensTheChosenPlane)
{
    CViewSliceDlg::Install();
    CMainFrame& frame = session->MainFrame();
    frame.UpdateCommandStates();
    ASSERT_TRUE(frame.Action(cmd::ProjectViewSlice)->isEnabled());
    const size_t before = session->ImageFrames().size();
    TDialogScript script([](QDialog& d) {
        auto& dialog = dynamic_cast<CViewSliceDlg&>(d);
        dialog.Orientation()->setCurrentIndex(1);
        dialog.Location()->setCurrentIndex(6);
        dialog.accept();
        return dialog.result();
    });
    frame.Action(cmd::ProjectViewSlice)->trigger();
    vx::app::SetViewSliceDialog({});
    EXPECT_EQ(script.runs, 1);
    const std::vector<CChildFrame*> frames = session->ImageFrames();
    ASSERT_EQ(frames.size(), before + 1);
    EXPECT_EQ(frames.back()->m_nAxis, 1);
}

}  // namespace
