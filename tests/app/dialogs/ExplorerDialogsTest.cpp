// The small dialogs of the project explorer: zero fill sizes, the name of a set's copy and
// the parameters of a set.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/CSaveCSISetAsDlg.h"
#include "app/dialogs/CSetParametersDlg.h"
#include "app/dialogs/CZeroFillDlg.h"
#include "support/ScriptedReport.h"
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

}  // namespace
