// The voxel window's control panel: what each button enables, fills and asks of the
// view, the conversion and clamping of typed numbers, the shared tool parameters, and
// the keys it hands to its window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "support/GuiGrab.h"
#include "support/InstalledProcessing.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/spectrum/TSharedToolParams.h"
#include "views/VoxelWindowFixture.h"

using namespace vx::test;
using P = CVoxelWndDlgView;

namespace {

const int kToolEdits[] = {P::kLorenLw, P::kGaussLw, P::kPhase0, P::kPhase1, P::kPivot, P::kYMax,
                          P::kYMin, P::kXStart, P::kXEnd, P::kRefPPM, P::kNumPCs, P::kStdDev,
                          P::kNumRuns, P::kErrThreshold, P::kNumComponents, P::kSelectedOnly};

// What the panel asked of its window.
struct TRequest {
    std::string what;  // "tool", or the command's name
    std::vector<float> args;
};

class PanelTest : public VoxelWindowTest {
protected:
    void SetUp() override
    {
        VoxelWindowTest::SetUp();
        SharedToolParams() = {};
        window = Open(2, 3);
        ASSERT_NE(window, nullptr);
        panel = window->Panel();
    }
    // Stands in for the view: records every request and lets the panel enable its controls.
    void Listen()
    {
        QObject::disconnect(window, nullptr, window->View(), nullptr);
        auto record = [this](const char* what) {
            return [this, what] { requests.push_back({what, {}}); };
        };
        QObject::connect(window, &CVoxelWindow::ToolRequested, window, [this](int mode, float a, float b, float c, float d) {
            requests.push_back({"tool", {float(mode), a, b, c, d}});
        });
        QObject::connect(window, &CVoxelWindow::ApplyRequested, window, record("apply"));
        QObject::connect(window, &CVoxelWindow::VoxApplyRequested, window, record("voxapply"));
        QObject::connect(window, &CVoxelWindow::CancelToolRequested, window, record("cancel"));
        QObject::connect(window, &CVoxelWindow::FourierTransformRequested, window, record("ft"));
        QObject::connect(window, &CVoxelWindow::ZeroFillRequested, window, record("zerofill"));
        QObject::connect(window, &CVoxelWindow::WaterSuppressionRequested, window, record("water"));
        QObject::connect(window, &CVoxelWindow::PeakRemovalRequested, window, record("peakrm"));
        QObject::connect(window, &CVoxelWindow::LipidKSpaceExtrapolationRequested, window, record("kspace"));
        QObject::connect(window, &CVoxelWindow::IntegralWindowRequested, window, record("integral"));
        QObject::connect(window, &CVoxelWindow::SpatialFilterRequested, window,
                         [this](int k) { requests.push_back({"spatial", {float(k)}}); });
        QObject::connect(window, &CVoxelWindow::OutputRequested, window,
                         [this](int k) { requests.push_back({"output", {float(k)}}); });
        panel->UpdateCommandStates();
    }
    std::set<int> EnabledToolEdits() const
    {
        std::set<int> enabled;
        for (int id : kToolEdits) {
            QWidget* control = id == P::kSelectedOnly ? static_cast<QWidget*>(panel->Button(id)) : panel->Edit(id);
            if (control->isEnabled())
                enabled.insert(id);
        }
        return enabled;
    }
    std::string Text(int id) const { return panel->Edit(id)->text().toStdString(); }

    // The project keeps or deletes the steps the panel's one-click commands make.
    TInstalledProcessing processing;
    CVoxelWindow* window = nullptr;
    CVoxelWndDlgView* panel = nullptr;
    std::vector<TRequest> requests;
};

TEST_F(PanelTest, ControlsStayDisabledUntilTheViewTakesTheirRequests)
{
    // The view runs the one-click commands and the tools.
    for (int id : {P::kFT, P::kZeroFill, P::kSpatial, P::kLipid, P::kZoom, P::kPhase, P::kMap, P::kPCA, P::kFilter,
                   P::kBaseline, P::kWater, P::kPeakRemoval})
        EXPECT_TRUE(panel->Button(id)->isEnabled()) << id;
    EXPECT_TRUE(panel->CommandAction(P::kCmdSSP)->isEnabled());
    EXPECT_TRUE(panel->CommandAction(P::kCmdKSpaceExtrapolation)->isEnabled());
    for (int id : {P::kApply, P::kCancel, P::kVoxApply})
        EXPECT_FALSE(panel->Button(id)->isEnabled()) << id;
    EXPECT_TRUE(EnabledToolEdits().empty());
    EXPECT_EQ(panel->CheckedUnit(), 0);

    Listen();
    for (int id : {P::kZoom, P::kPhase, P::kMap, P::kPCA, P::kFT, P::kWater, P::kFilter, P::kBaseline, P::kSpatial,
                   P::kOutput, P::kLipid, P::kIntegral, P::kPeakRemoval})
        EXPECT_TRUE(panel->Button(id)->isEnabled()) << id;
    // Apply, Cancel and VoxApply follow the tools, not the receivers.
    EXPECT_FALSE(panel->Button(P::kApply)->isEnabled());
    window->EnableApplyCancel(true);
    window->EnableVoxApply(true);
    EXPECT_TRUE(panel->Button(P::kApply)->isEnabled());
    EXPECT_TRUE(panel->Button(P::kCancel)->isEnabled());
    EXPECT_TRUE(panel->Button(P::kVoxApply)->isEnabled());
    // The two popups no control opens have no work.
    EXPECT_FALSE(panel->CommandAction(P::kCmdZeroOrder)->isEnabled());
    EXPECT_FALSE(panel->CommandAction(P::kCmdSelectedVoxels)->isEnabled());
}

TEST_F(PanelTest, EachCommandEnablesItsEditsAndAsksForItsTool)
{
    Listen();
    const float threshold = 0.00001f;
    const struct {
        int id;
        std::set<int> edits;  // enabled afterwards, all others disabled
        std::map<int, std::string> texts;
        TRequest request;
        int opener = 0;  // the button that opens the command's popup first
    } cases[] = {
        // The fixture's display starts over the whole spectrum: points 0 to 255.
        {P::kZoom, {P::kYMax, P::kYMin, P::kXStart, P::kXEnd}, {{P::kXStart, "0"}, {P::kXEnd, "255"}}, {"tool", {3, 0, 0, 0, 0}}},
        {P::kPhase, {P::kPhase0, P::kPhase1, P::kPivot}, {{P::kPhase0, "0"}, {P::kPhase1, "0"}, {P::kPivot, "0"}}, {"tool", {2, 0, 0, 0, 0}}},
        {P::kPPMCentre, {P::kRefPPM}, {}, {"tool", {1, 0, 0, 0, 0}}},
        {P::kCmdGaussian, {P::kGaussLw}, {{P::kGaussLw, "0"}}, {"tool", {4, 0, 0, 0, 0}}},
        {P::kCmdLorentzian, {P::kLorenLw}, {{P::kLorenLw, "0"}}, {"tool", {5, 0, 0, 0, 0}}},
        {P::kCmdLorenGauss, {P::kLorenLw, P::kGaussLw}, {{P::kLorenLw, "0"}, {P::kGaussLw, "0"}}, {"tool", {6, 0, 0, 0, 0}}},
        {P::kMap, {}, {}, {"tool", {7, 0, 0, 0, 0}}},
        {P::kCmdConvDiff, {}, {}, {"tool", {9, 0, 0, 0, 0}}, P::kBaseline},
        {P::kCmdLinearFit, {}, {}, {"tool", {10, 0, 0, 0, 0}}, P::kBaseline},
        {P::kCmdQuadraticFit, {}, {}, {"tool", {11, 0, 0, 0, 0}}, P::kBaseline},
        {P::kPCA, {P::kNumPCs, P::kSelectedOnly}, {{P::kNumPCs, "4"}, {P::kNumRuns, "1"}, {P::kErrThreshold, "1e-05"}},
         {"tool", {12, 4, 1, 1, threshold}}},
        {P::kNMF, {P::kNumPCs, P::kSelectedOnly, P::kNumRuns, P::kErrThreshold}, {{P::kNumPCs, "4"}},
         {"tool", {13, 4, 1, 1, threshold}}},
        {P::kInitAlign, {}, {}, {"tool", {14, 0, 0, 0, 0}}},
        {P::kPeakFind, {P::kStdDev}, {{P::kStdDev, "1"}}, {"tool", {15, 1, 0, 0, 0}}},
        {P::kVoxAlign, {}, {}, {"tool", {17, 0, 0, 0, 0}}},
        {P::kCmdSSP, {P::kNumComponents}, {{P::kNumComponents, "3"}}, {"tool", {18, 3, 0, 0, 0}}},
        {P::kIntegral, {}, {}, {"integral", {}}},
        {P::kFT, {}, {}, {"ft", {}}},
        {P::kZeroFill, {}, {}, {"zerofill", {}}},
        {P::kWater, {}, {}, {"water", {}}},
        {P::kPeakRemoval, {}, {}, {"peakrm", {}}},
        {P::kCmdKSpaceExtrapolation, {}, {}, {"kspace", {}}},
        {P::kCmdCosine, {}, {}, {"spatial", {float(CVoxelWindow::kSpatialCosine)}}},
        {P::kCmdHamming, {}, {}, {"spatial", {float(CVoxelWindow::kSpatialHamming)}}},
        {P::kCmdFermi, {}, {}, {"spatial", {float(CVoxelWindow::kSpatialFermi)}}},
        {P::kCmdEPS, {}, {}, {"output", {float(CVoxelWindow::kOutputEPS)}}},
        {P::kCancel, {}, {}, {"cancel", {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        // Another tool's edits are open before: the command closes them.
        panel->EnableToolEdits(true);
        window->EnableApplyCancel(true);
        requests.clear();
        if (c.opener) {
            panel->Button(c.opener)->click();
            EXPECT_TRUE(panel->PopupMenu(P::kPopupBaseline)->isVisible());
        }
        if (QAction* action = panel->CommandAction(c.id))
            action->trigger();
        else
            panel->Button(c.id)->click();
        EXPECT_EQ(EnabledToolEdits(), c.edits);
        for (const auto& [id, text] : c.texts)
            EXPECT_EQ(Text(id), text) << id;
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].what, c.request.what);
        EXPECT_EQ(requests[0].args, c.request.args);
    }
}

TEST_F(PanelTest, OneClickButtonsReachTheView)
{
    ASSERT_EQ(set->m_bFrequencyDomain, 1);
    panel->Button(P::kFT)->click();
    EXPECT_EQ(set->m_bFrequencyDomain, 0);
    const int points = set->m_nPoints;
    panel->Button(P::kZeroFill)->click();
    EXPECT_EQ(set->m_nPoints, 2 * points);
}

TEST_F(PanelTest, ApplyRunsOnceAndDisablesItself)
{
    Listen();
    for (int id : {P::kApply, P::kVoxApply}) {
        window->EnableApplyCancel(true);
        window->EnableVoxApply(true);
        requests.clear();
        panel->Button(id)->click();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].what, id == P::kApply ? "apply" : "voxapply");
        EXPECT_FALSE(panel->Button(id)->isEnabled());
    }
}

TEST_F(PanelTest, ZoomShowsTheRangeInTheCheckedUnit)
{
    Listen();
    TSpectrumDisplayParams display = window->View()->GetDisplayParams();
    display.m_nXStart = 142;  // 4 ppm
    display.m_nXEnd = 202;    // 1 ppm
    display.m_fYMax = 12.5f;
    display.m_fYMin = -0.25f;
    window->SetDisplayParams(&display);
    window->SetUnit(kUnitPPM);
    panel->Button(P::kZoom)->click();
    EXPECT_EQ(Text(P::kXStart), "4");
    EXPECT_EQ(Text(P::kXEnd), "1");
    EXPECT_EQ(Text(P::kYMax), "12.5");
    EXPECT_EQ(Text(P::kYMin), "-.25");
}

// A unit chosen while Zoom is open rewrites the x boxes in that unit, so that they keep
// showing the positions the user chose and a later edit or Apply reads them as such.
TEST_F(PanelTest, ZoomBoxesFollowTheUnitAndApplyShowsTheChosenRegion)
{
    // The fixture's axis: point 142 lies at 4 ppm and -87.5 Hz, point 202 at 1 ppm and
    // -462.5 Hz.
    panel->Button(P::kZoom)->click();
    for (const auto& [id, text] : std::map<int, const char*>{{P::kXStart, "142"}, {P::kXEnd, "202"}}) {
        panel->Edit(id)->selectAll();
        QTest::keyClicks(panel->Edit(id), text);
    }
    const struct {
        int button;
        const char *start, *end;
    } units[] = {{P::kUnitHz, "-87.5", "-462.5"}, {P::kUnitPPM, "4", "1"}, {P::kUnitData, "142", "202"},
                 {P::kUnitPPM, "4", "1"}};
    for (const auto& unit : units) {
        QTest::mouseClick(panel->Button(unit.button), Qt::LeftButton);
        EXPECT_EQ(Text(P::kXStart), unit.start) << unit.button;
        EXPECT_EQ(Text(P::kXEnd), unit.end) << unit.button;
    }
    // An edit of the y range reads the x boxes again, in the unit they are now written in.
    panel->Edit(P::kYMax)->selectAll();
    QTest::keyClicks(panel->Edit(P::kYMax), "50");
    panel->Button(P::kApply)->click();
    const TSpectrumDisplayParams display = window->View()->GetDisplayParams();
    EXPECT_EQ(display.m_nXStart, 142);
    EXPECT_EQ(display.m_nXEnd, 202);
    EXPECT_FLOAT_EQ(display.m_fYMax, 50.0f);
}

TEST(PanelValuesTest, TypedNumbersAreConvertedAndClamped)
{
    // The fixture's axis: 256 points over 1600 Hz at 125 MHz, 0 ppm at point 222, so a
    // ppm is 20 points to the right, a Hz 0.16 points to the left of point 128 and a ms
    // 1.6 points.
    TCSISet set;
    set.m_nPoints = 256;
    set.m_nSpectralWidth = 1600;
    set.m_fFrequency = 125.0f;
    set.m_fPPMCentrePoint = 222.0f;
    const struct {
        const char* name;
        int id;
        std::map<int, std::string> texts;
        bool lorenGauss;
        int unit;
        std::array<float, 4> expected;
    } cases[] = {
        {"gauss 70", P::kGaussLw, {{P::kGaussLw, "70"}}, false, 0, {50, 0, 0, 0}},
        {"gauss -3", P::kGaussLw, {{P::kGaussLw, "-3"}}, false, 0, {0, 0, 0, 0}},
        {"loren alone 12.5", P::kLorenLw, {{P::kLorenLw, "12.5"}, {P::kGaussLw, "99"}}, false, 0, {12.5f, 0, 0, 0}},
        {"loren-gauss loren 5", P::kLorenLw, {{P::kLorenLw, "5"}, {P::kGaussLw, "7"}}, true, 0, {0, 7, 0, 0}},
        {"loren-gauss loren -80", P::kLorenLw, {{P::kLorenLw, "-80"}, {P::kGaussLw, "60"}}, true, 0, {-50, 50, 0, 0}},
        {"loren-gauss gauss -1", P::kGaussLw, {{P::kLorenLw, "-20"}, {P::kGaussLw, "-1"}}, true, 0, {-20, 0, 0, 0}},
        {"phase0 -200", P::kPhase0, {{P::kPhase0, "-200"}, {P::kPhase1, "400"}, {P::kPivot, "10"}}, false, 0, {-180, 400, 10, 0}},
        {"phase integers", P::kPhase1, {{P::kPhase0, "45.9"}, {P::kPhase1, "-30.5"}, {P::kPivot, "7.8"}}, false, 0, {45, -30, 7, 0}},
        {"pivot beyond", P::kPivot, {{P::kPhase0, "190"}, {P::kPhase1, "0"}, {P::kPivot, "300"}}, false, 0, {180, 0, 255, 0}},
        {"pivot below", P::kPivot, {{P::kPhase0, "0"}, {P::kPhase1, "0"}, {P::kPivot, "-4"}}, false, 0, {0, 0, 0, 0}},
        {"range in points", P::kXEnd, {{P::kXStart, "10.7"}, {P::kXEnd, "300"}, {P::kYMax, "5"}, {P::kYMin, "-2"}}, false, kUnitPoints, {11, 255, 5, -2}},
        {"range in ppm", P::kXStart, {{P::kXStart, "4"}, {P::kXEnd, "1"}, {P::kYMax, "0"}, {P::kYMin, "0"}}, false, kUnitPPM, {142, 202, 0, 0}},
        {"ppm outside", P::kXStart, {{P::kXStart, "20"}, {P::kXEnd, "-5"}, {P::kYMax, "0"}, {P::kYMin, "0"}}, false, kUnitPPM, {0, 255, 0, 0}},
        {"range in Hz", P::kYMax, {{P::kXStart, "100"}, {P::kXEnd, "-100"}, {P::kYMax, "1.5"}, {P::kYMin, "0"}}, false, kUnitHz, {112, 144, 1.5f, 0}},
        {"range in ms", P::kYMin, {{P::kXStart, "10"}, {P::kXEnd, "200"}, {P::kYMax, "0"}, {P::kYMin, "-3"}}, false, kUnitMs, {16, 255, 0, -3}},
        {"ref ppm", P::kRefPPM, {{P::kRefPPM, "4.7"}}, false, 0, {4.7f, 0, 0, 0}},
        {"noise factor", P::kStdDev, {{P::kStdDev, "2.5"}}, false, 0, {2.5f, 0, 0, 0}},
        {"analysis", P::kNumRuns, {{P::kNumPCs, "6"}, {P::kSelectedOnly, "1"}, {P::kNumRuns, "3"}, {P::kErrThreshold, "1e-6"}}, false, 0, {6, 1, 3, 1e-6f}},
        {"check box", P::kSelectedOnly, {{P::kNumPCs, "2"}, {P::kSelectedOnly, "0"}, {P::kNumRuns, "1"}, {P::kErrThreshold, ".5"}}, false, 0, {2, 0, 1, 0.5f}},
        {"lipid components", P::kNumComponents, {{P::kNumComponents, "5"}}, false, 0, {5, 0, 0, 0}},
        {"exponent form", P::kRefPPM, {{P::kRefPPM, "4.7e0"}}, false, 0, {4.7f, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto text = [&](int id) {
            const auto it = c.texts.find(id);
            return it == c.texts.end() ? std::string() : it->second;
        };
        const std::optional<std::array<float, 4>> values = P::TypedValues(c.id, text, c.lorenGauss, c.unit, &set);
        ASSERT_TRUE(values.has_value());
        for (int k = 0; k < 4; ++k)
            EXPECT_FLOAT_EQ((*values)[k], c.expected[k]) << k;
    }

    // An edit the values come from that holds no number, or one beyond a float, passes
    // nothing at all (never a 0 or the digits before an exponent).
    const struct {
        const char* name;
        int id;
        std::map<int, std::string> texts;
    } refused[] = {
        {"a minus alone", P::kGaussLw, {{P::kGaussLw, "-"}}},
        {"an empty edit beside", P::kPivot, {{P::kPhase0, "10"}, {P::kPivot, "3"}}},
        {"ymin beyond a float", P::kYMax, {{P::kXStart, "1"}, {P::kXEnd, "9"}, {P::kYMax, "0.5"}, {P::kYMin, "1e400"}}},
        {"an exponent being typed", P::kErrThreshold, {{P::kNumPCs, "4"}, {P::kSelectedOnly, "1"}, {P::kNumRuns, "1"}, {P::kErrThreshold, "1e-"}}},
        {"letters after a number", P::kStdDev, {{P::kStdDev, "2x"}}},
    };
    for (const auto& c : refused) {
        const auto text = [&](int id) {
            const auto it = c.texts.find(id);
            return it == c.texts.end() ? std::string() : it->second;
        };
        EXPECT_FALSE(P::TypedValues(c.id, text, false, 0, &set).has_value()) << c.name;
    }
}

TEST_F(PanelTest, TypedNumbersReachTheViewButWrittenOnesDoNot)
{
    // The zoom tool's record takes what the panel passes.
    CVoxelWndView& view = *window->View();
    view.m_nToolMode = 3;
    view.m_tool = std::make_unique<TZoomTool>();
    auto* zoom = static_cast<TZoomTool*>(view.m_tool.get());
    panel->EnableToolEdits(true);
    window->SetPanelValue(P::kYMax, 100.0f);  // a y range the view takes with the x one
    window->SetPanelValue(P::kYMin, 0.0f);
    window->SetPanelValue(P::kXStart, 300.0f);
    EXPECT_EQ(Text(P::kXStart), "300");
    EXPECT_EQ(zoom->m_bTyped, 0);

    panel->Edit(P::kXEnd)->setText("");
    QTest::keyClicks(panel->Edit(P::kXEnd), "20");
    EXPECT_EQ(zoom->m_bTyped, 1);
    EXPECT_FLOAT_EQ(zoom->m_fXFirst, 255.0f);
    EXPECT_FLOAT_EQ(zoom->m_fXLast, 20.0f);
}

TEST_F(PanelTest, AnalysisNumbersAreSharedAcrossWindowsAfterApply)
{
    Listen();
    panel->Button(P::kNMF)->click();
    for (const auto& [id, text] : std::map<int, const char*>{{P::kNumPCs, "7"}, {P::kNumRuns, "12"}, {P::kErrThreshold, "2e-06"}}) {
        panel->Edit(id)->setText(text);
    }
    panel->Button(P::kSelectedOnly)->click();
    window->ReadPanelParams(13);
    const TSharedToolParams& shared = SharedToolParams();
    EXPECT_EQ(shared.components, 7);
    EXPECT_EQ(shared.runs, 12);
    EXPECT_FLOAT_EQ(shared.errorThreshold, 2e-6f);
    EXPECT_EQ(shared.selectedOnly, 0);

    // Mode 12 takes components and the check box only.
    panel->Edit(P::kNumRuns)->setText("99");
    panel->Edit(P::kNumPCs)->setText("5");
    window->ReadPanelParams(12);
    EXPECT_EQ(shared.components, 5);
    EXPECT_EQ(shared.runs, 12);

    panel->Edit(P::kStdDev)->setText("2.5");
    panel->Edit(P::kNumComponents)->setText("6");
    window->ReadPanelParams(15);
    window->ReadPanelParams(18);
    EXPECT_FLOAT_EQ(shared.noiseFactor, 2.5f);
    EXPECT_EQ(shared.lipidComponents, 6);

    // Another window's tools start from them.
    CVoxelWindow* other = Open(5, 5, TMouseEvent::kShift);
    ASSERT_NE(other, window);
    requests.clear();
    QObject::connect(other, &CVoxelWindow::ToolRequested, other, [this](int mode, float a, float b, float c, float d) {
        requests.push_back({"tool", {float(mode), a, b, c, d}});
    });
    other->Panel()->UpdateCommandStates();
    other->Panel()->Button(P::kPCA)->click();
    EXPECT_EQ(other->Panel()->Edit(P::kNumPCs)->text(), "5");
    EXPECT_FALSE(static_cast<QCheckBox*>(other->Panel()->Button(P::kSelectedOnly))->isChecked());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].args, (std::vector<float>{12, 5, 0, 12, 2e-6f}));
}

TEST_F(PanelTest, NavigationKeysInAnEditWalkTheVoxel)
{
    panel->EnableToolEdits(true);
    QLineEdit* edit = panel->Edit(P::kRefPPM);
    edit->setText("123");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Right);
    EXPECT_EQ(window->GetCurrentSpectrum(), Voxel(3, 3));
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(window->GetCurrentSpectrum(), Voxel(3, 4));
    // Other keys still edit.
    QTest::keyClick(edit, Qt::Key_4);
    EXPECT_EQ(edit->text().size(), 4);
}

TEST_F(PanelTest, ScreenshotOfTheWindowWithItsPanel)
{
    Listen();
    window->resize(900, 600);
    panel->Button(P::kPhase)->click();
    window->EnableApplyCancel(true);
    QApplication::processEvents();
    EXPECT_EQ(panel->height(), P::DialogRect(0, 0, P::kFormWidth, P::kFormHeight).height());
    EXPECT_FALSE(GrabToPng(window, "voxel_window_panel").isEmpty());
}

}  // namespace
