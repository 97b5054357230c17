// The small dialogs of the project explorer: zero fill sizes, the name of a set's copy and
// the parameters of a set; and how the small dialogs open: typing replaces the first box's
// text and Return presses OK.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include <functional>

#include "app/dialogs/CIncSlicePosDlg.h"
#include "app/dialogs/CNewProjectDlg.h"
#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/CPeakRemovalDlg.h"
#include "app/dialogs/CSaveCSISetAsDlg.h"
#include "app/dialogs/CSetParametersDlg.h"
#include "app/dialogs/CZeroFillDlg.h"
#include "app/dialogs/DialogRunner.h"
#include "support/DialogScript.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "app/Shown.h"

using namespace vx::test;

namespace {

TEST(ZeroFillDialog, AxesOfSizeOneOrDisabledCannotBeChanged)
{
    TScriptedReport report;
    CZeroFillDlg dialog;
    dialog.m_nSizeX = 16;
    dialog.m_nSizeY = 16;
    dialog.m_nSizeZ = 1;
    dialog.SetAxisEnabled(1, false);
    dialog.SetAxisEnabled(3, false);  // no such axis
    dialog.show();
    EXPECT_EQ(Shown({dialog.SizeEdit(0), dialog.SizeEdit(1), dialog.SizeEdit(2)}), "16 16- 1-");

    dialog.SizeEdit(0)->setText("");
    dialog.accept();
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Please enter an integer."}));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.m_nSizeX, 16);
    dialog.SizeEdit(0)->setText("32");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_nSizeX, 32);
    EXPECT_EQ(dialog.m_nSizeY, 16);
}

TEST(SaveCSISetAsDialog, OnlyANameThatCanBeOneFileCloses)
{
    const struct {
        const char* name;
        const char* message;  // "" when accepted
    } cases[] = {
        {"", "The new set name can not be empty."},
        {"..", "Invalid CSI set name."},
        {".", "Invalid CSI set name."},
        {"../outside", "Invalid CSI set name."},
        {"a/b", "Invalid CSI set name."},
        {"a\\b", "Invalid CSI set name."},
        {"copy of set", ""},
        {".hidden", ""},
    };
    for (const auto& c : cases) {
        TScriptedReport report;
        CSaveCSISetAsDlg dialog;
        dialog.show();
        dialog.NameEdit()->setText(c.name);
        dialog.accept();
        const bool accepted = *c.message == '\0';
        EXPECT_EQ(dialog.result() == QDialog::Accepted, accepted) << c.name;
        EXPECT_EQ(report.Messages(), accepted ? std::vector<std::string>{} : std::vector<std::string>{c.message})
            << c.name;
        if (accepted) {
            EXPECT_EQ(dialog.m_strName.toStdString(), c.name);
        }
    }
}

TEST(SetParametersDialog, ShowsTheValuesAndTakesBackOnlyTheEditableOnes)
{
    CSetParametersDlg dialog;
    dialog.m_fCoilQ = 2.5f;
    dialog.m_fFrequency = 127.786142f;
    dialog.m_fSweepWidth = 2000.0f;
    dialog.m_fov[0] = 240.0f;
    dialog.m_fov[1] = 220.0f;
    dialog.m_fov[2] = 10.0f;
    dialog.m_angulation[0] = 35.03f;
    dialog.m_matrix[0] = 16.0f;
    dialog.m_nPoints = 1024;
    dialog.show();
    EXPECT_EQ(dialog.CoilQEdit()->text(), "2.5");
    EXPECT_EQ(dialog.FrequencyEdit()->text(), "127.78614");
    EXPECT_EQ(dialog.PointsEdit()->text(), "1024");
    EXPECT_EQ(dialog.AngulationEdit(0)->text(), "35.03");
    // What the set keeps is shown but cannot be typed over.
    EXPECT_TRUE(dialog.PointsEdit()->isReadOnly());
    EXPECT_TRUE(dialog.MatrixEdit(0)->isReadOnly());
    EXPECT_TRUE(dialog.AngulationEdit(0)->isReadOnly());
    EXPECT_FALSE(dialog.FOVEdit(0)->isReadOnly());

    dialog.FOVEdit(1)->SetText("200.5");
    dialog.OffCentreEdit(2)->SetText("-12");
    dialog.GainEdit()->SetText("3");
    dialog.accept();
    EXPECT_FLOAT_EQ(dialog.m_fov[1], 200.5f);
    EXPECT_FLOAT_EQ(dialog.m_offCentre[2], -12.0f);
    EXPECT_FLOAT_EQ(dialog.m_fGain, 3.0f);
    EXPECT_FLOAT_EQ(dialog.m_fCoilQ, 2.5f);
    EXPECT_FLOAT_EQ(dialog.m_fFrequency, 127.78614f) << "as shown, to five decimals";
    EXPECT_FLOAT_EQ(dialog.m_angulation[0], 35.03f);
    EXPECT_EQ(dialog.m_nPoints, 1024);
}

// A dialog opens with the focus in its first box a user can type into and that box's text
// selected, so that what is typed replaces it; Return there presses OK. Each dialog runs
// through the program's runner, shown as exec() shows it; the text is typed into the box and
// Return pressed in it.
TEST(SmallDialogs, TypingReplacesTheFirstBoxAndReturnPressesOK)
{
    TScriptedReport report;
    TTempFolder location;
    const std::string lastDir = g_strLastDir;
    g_strLastDir = location.Path() + "/";
    const CPeakRemovalDlg::TValues keptPeaks = CPeakRemovalDlg::Kept();
    const float keptStart = CIncSlicePosDlg::s_start[0];
    CNewProjectDlg newProject;
    CZeroFillDlg zeroFill;
    zeroFill.m_nSizeX = zeroFill.m_nSizeY = 8;
    CSetParametersDlg parameters;
    parameters.m_fSweepWidth = 1000.0f;
    parameters.m_fFrequency = 123.2f;
    for (float& fov : parameters.m_fov)
        fov = 240.0f;
    CIncSlicePosDlg increment;
    CPeakRemovalDlg peaks;
    const struct {
        QDialog* dialog;
        QLineEdit* firstBox;
        const char* typed;
        std::function<QString()> taken;  // what the dialog took on OK
    } rows[] = {
        {&newProject, newProject.NameEdit(), "spec1", [&] { return newProject.ProjectName(); }},
        {&zeroFill, zeroFill.SizeEdit(0), "16", [&] { return QString::number(zeroFill.m_nSizeX); }},
        // Its first box, the number of points, is read-only: typing starts in the sweep width.
        {&parameters, parameters.SweepWidthEdit(), "2500", [&] { return QString::number(parameters.m_fSweepWidth); }},
        {&increment, increment.StartEdit(0), "-12.5", [] { return QString::number(CIncSlicePosDlg::s_start[0]); }},
        {&peaks, peaks.NumPeaks(), "7", [] { return QString::number(CPeakRemovalDlg::Kept().peaks); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dialog->windowTitle().toStdString());
        QWidget* focused = nullptr;
        TDialogScript script([&](QDialog& d) {
            d.show();
            focused = d.focusWidget();
            QTest::keyClicks(row.firstBox, row.typed);
            QTest::keyClick(row.firstBox, Qt::Key_Return);
            d.hide();
            return d.result();
        });
        EXPECT_EQ(vx::app::RunDialog(*row.dialog), QDialog::Accepted);
        EXPECT_EQ(focused, row.firstBox);
        EXPECT_EQ(row.taken().toStdString(), row.typed);
    }
    EXPECT_EQ(report.Count(), 0u);
    g_strLastDir = lastDir;
    CPeakRemovalDlg::Kept() = keptPeaks;
    CIncSlicePosDlg::s_start[0] = keptStart;
}

}  // namespace
