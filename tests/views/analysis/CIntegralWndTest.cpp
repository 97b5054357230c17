// The integral window of a voxel window: its list with names edited in place, Remove,
// Normalize with the reference unit, and the export of the selected integrals over the
// selected voxels of the fixture project's work set.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidgetItem>

#include <sstream>
#include <string>
#include <vector>

#include "model/TIntegralRegion.h"
#include "platform/Files.h"
#include "support/ScriptedFileChooser.h"
#include "support/TestFiles.h"
#include "views/analysis/CIntegralDlgView.h"
#include "views/analysis/CIntegralListView.h"
#include "views/analysis/CIntegralWnd.h"
#include "views/VoxelWindowFixture.h"

using namespace vx::test;

namespace {

class IntegralWindowTest : public VoxelWindowTest {
protected:
    CIntegralWnd* Integrals()
    {
        CVoxelWindow* window = Open(3, 4);
        return window ? window->ShowIntegralWindow() : nullptr;
    }
    // A region whose integral the list shows as given.
    static TIntegralRegion* Region(const std::string& name, float start, float end, float integral)
    {
        return new TIntegralRegion(start, end, 0.0f, 0.0f, integral, 0.0f, name);
    }
    static std::vector<std::string> Row(CIntegralListView& list, int row)
    {
        std::vector<std::string> texts;
        for (int column = 0; column < 5; ++column)
            texts.push_back(list.topLevelItem(row)->text(column).toStdString());
        return texts;
    }
    static void Select(CIntegralListView& list, const std::vector<int>& rows)
    {
        list.clearSelection();
        for (int row : rows)
            list.topLevelItem(row)->setSelected(true);
    }
};

TEST_F(IntegralWindowTest, RowsAreRenamedRemovedAndNormalizedAgainstAReference)
{
    CIntegralWnd* window = Integrals();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Integral Window");
    CIntegralListView& list = *window->List();
    CIntegralDlgView& panel = *window->Panel();
    EXPECT_FALSE(panel.RefUnitEdit()->isEnabled());
    window->AddIntegral(Region("Cho", 3.25f, 3.126f, 10.0f));
    window->AddIntegral(Region("NAA", 2.1f, 1.9f, 30.0f));
    window->AddIntegral(Region("Cr", 3.1f, 2.9f, 0.0f));
    window->AddIntegral(nullptr);
    ASSERT_EQ(list.topLevelItemCount(), 3);
    EXPECT_EQ(Row(list, 0), std::vector<std::string>({"Cho", "3.25", "3.13", "10", "10"}));

    // Nothing selected: each command says what it needs and changes nothing.
    Select(list, {});
    panel.OnRemove();
    panel.OnNormalize();
    EXPECT_FALSE(panel.RefUnitEdit()->isEnabled());
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Please select the integrals first.",
                                                           "Please select the reference integral first."}));

    // The second as the reference of unit 1: one third and one.
    Select(list, {1});
    panel.OnNormalize();
    EXPECT_TRUE(panel.RefUnitEdit()->isEnabled());
    EXPECT_EQ(panel.RefUnitEdit()->text(), "30");
    panel.RefUnitEdit()->setText("1");
    panel.OnRefUnit();
    EXPECT_FALSE(panel.RefUnitEdit()->isEnabled());
    EXPECT_EQ(Row(list, 0)[4], "0.333");
    EXPECT_EQ(Row(list, 1)[4], "1");
    EXPECT_FLOAT_EQ(list.Factor(), 1.0f / 30.0f);

    // A zero reference, or none selected, keeps the factor.
    for (const std::vector<int>& rows : {std::vector<int>{2}, std::vector<int>{}}) {
        Select(list, {2});
        panel.OnNormalize();
        panel.RefUnitEdit()->setText("5");
        Select(list, rows);
        panel.OnRefUnit();
        EXPECT_FLOAT_EQ(list.Factor(), 1.0f / 30.0f);
        EXPECT_FALSE(panel.RefUnitEdit()->isEnabled());
    }
    EXPECT_EQ(report.Messages().back(), "Please select the integrals first.");
    EXPECT_EQ(report.Messages()[2], "The reference integral is zero.");

    // A name edited in place; two of three rows removed leave the third as it was.
    list.topLevelItem(2)->setText(0, "Creatine");
    EXPECT_EQ(list.Regions()[2]->m_strName, "Creatine");
    const std::vector<std::string> kept = Row(list, 2);
    Select(list, {0, 1});
    panel.OnRemove();
    ASSERT_EQ(list.topLevelItemCount(), 1);
    EXPECT_EQ(Row(list, 0), kept);

    // Closing only hides the window; the voxel window shows the same one again.
    window->close();
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Owner()->ShowIntegralWindow(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(list.topLevelItemCount(), 1);
}

// A reference unit beyond what a float holds, typed after Normalize and confirmed with
// Return: refused with the range, the factor kept (never a 0 that zeroes every value); a
// number followed by its unit is taken.
TEST_F(IntegralWindowTest, AReferenceUnitAFloatCannotHoldIsRefused)
{
    CIntegralWnd* window = Integrals();
    ASSERT_NE(window, nullptr);
    CIntegralListView& list = *window->List();
    CIntegralDlgView& panel = *window->Panel();
    window->AddIntegral(Region("Cho", 3.25f, 3.126f, 10.0f));
    window->AddIntegral(Region("NAA", 2.1f, 1.9f, 30.0f));
    QString before;
    const auto confirm = [&](const char* typed) {
        Select(list, {1});
        QTest::mouseClick(panel.NormalizeButton(), Qt::LeftButton);
        QLineEdit* edit = panel.RefUnitEdit();
        ASSERT_TRUE(edit->isEnabled());
        before = edit->text();
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
    };
    confirm("1e400");
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"Please enter a number between -3.40282e+38 and 3.40282e+38."});
    EXPECT_FLOAT_EQ(list.Factor(), 1.0f);
    EXPECT_EQ(Row(list, 1)[4], "30");
    EXPECT_EQ(panel.RefUnitEdit()->text(), before);

    report.Clear();
    confirm("2 mM");
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
    EXPECT_FLOAT_EQ(list.Factor(), 2.0f / 30.0f);
    EXPECT_EQ(Row(list, 1)[4], "2");
}

TEST_F(IntegralWindowTest, ExportIntegratesTheSelectedRegionsOverTheSelectedVoxels)
{
    CIntegralWnd* window = Integrals();
    ASSERT_NE(window, nullptr);
    CIntegralListView& list = *window->List();
    // 2.5 ppm is point 172 and 1.5 ppm point 192 (0 ppm at point 222, 20 points a ppm):
    // the line at point 182 lies in the first, the second holds only its tail.
    window->AddIntegral(Region("NAA", 2.5f, 1.5f, 0.0f));
    window->AddIntegral(Region("tail", 1.0f, 0.5f, 0.0f));
    window->AddIntegral(Region("unused", 3.0f, 2.9f, 0.0f));
    // As the integral tool makes it from points 170 and 195: 1.35 ppm is a hair off point 195.
    window->AddIntegral(Region("picked", set->PointToUnit(170, kUnitPPM), set->PointToUnit(195, kUnitPPM), 0.0f));
    list.SetFactor(0.5f);
    list.Refill();
    Select(list, {0, 1, 3});
    for (size_t v = 0; v < set->VoxelCount(); ++v)
        set->GetVoxel(v)->m_bSelected = 0;
    Voxel(6, 1)->m_bSelected = 1;
    Voxel(2, 5)->m_bSelected = 1;

    TTempFolder folder;
    TScriptedFileChooser chooser(folder.File("integrals"));
    window->Panel()->OnExport();
    ASSERT_EQ(chooser.Requests().size(), 1u);
    EXPECT_EQ(chooser.Requests()[0].title, "Save as text file...");
    const std::string text = ReadBytes(folder.File("integrals.txt"));

    // The sum of the real parts over the region's points, from the fixture's own samples.
    auto expected = [](int x, int first, int last) {
        double sum = 0;
        for (int i = first; i <= last; ++i) {
            float re = 0, im = 0;
            TGuiFixture::Sample(x, i, re, im);
            sum += re;
        }
        return 0.5 * sum;
    };
    std::istringstream lines(text);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "Index\t\tNAA\t\ttail\t\tpicked\r");
    for (const auto& [x, y] : {std::pair{6, 1}, std::pair{2, 5}}) {
        ASSERT_TRUE(std::getline(lines, line));
        const std::string index = "(" + std::to_string(x) + "," + std::to_string(y) + ",0)\t\t\t";
        ASSERT_EQ(line.substr(0, index.size()), index) << line;
        std::istringstream values(line.substr(index.size()));
        double naa = 0, tail = 0, picked = 0;
        values >> naa >> tail >> picked;
        EXPECT_NEAR(naa, expected(x, 172, 192), 1e-5 * expected(x, 172, 192)) << line;
        EXPECT_NEAR(tail, expected(x, 202, 212), 1e-5 * std::abs(expected(x, 172, 192))) << line;
        EXPECT_NEAR(picked, expected(x, 170, 195), 1e-5 * expected(x, 170, 195)) << line;
        EXPECT_EQ(line.back(), '\r');
    }
    EXPECT_FALSE(std::getline(lines, line));

    // Without selected voxels only the header; a name with the extension keeps it.
    Voxel(6, 1)->m_bSelected = 0;
    Voxel(2, 5)->m_bSelected = 0;
    chooser.Answer(folder.File("none.TXT"));
    window->Panel()->OnExport();
    EXPECT_EQ(ReadBytes(folder.File("none.TXT")), "Index\t\tNAA\t\ttail\t\tpicked\r\n");

    // A folder that is not there: reported, nothing written.
    const std::string missing = folder.File("missing") + "/integrals.txt";
    chooser.Answer(missing);
    window->Panel()->OnExport();
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Cannot create Txt File" + missing}));
    EXPECT_FALSE(vx::FileExists(missing));
}

}  // namespace
