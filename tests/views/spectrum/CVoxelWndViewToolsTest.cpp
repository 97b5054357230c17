// The spectrum view's tools on the fixture project: picking with the mouse per tool, the
// bars and keys, Cancel, and Apply turning the picks into steps, display ranges and
// analyses, with the messages of missing or wrong picks.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeWidgetItem>

#include <cmath>
#include <complex>
#include <list>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "app/CVexaraApp.h"
#include "model/ProcessingHooks.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "processing/InstallProcessing.h"
#include "processing/TProcessHistory.h"
#include "views/analysis/CIntegralListView.h"
#include "views/analysis/CIntegralWnd.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/VoxelWindowFixture.h"

using namespace vx::test;

namespace {

class SpectrumToolsTest : public OpenVoxelWindowTest {
protected:
    // Left clicks on the plot at spectral points (a point below 0: off the plot).
    void Click(std::initializer_list<int> points)
    {
        for (int point : points) {
            const TPixelRect r = view->m_plot.GetPixelRect();
            const int y = (r.top + r.bottom) / 2;
            const int x = point < 0 ? r.left - 10 : view->m_plot.DataToPixel({static_cast<float>(point), 0.0f}).x;
            view->OnMouseMove(x, y, false);
            view->OnLButtonDown(x, y);
        }
    }
    std::vector<std::complex<float>> Samples(const TSpectrum* s) const
    {
        return {s->Data(), s->Data() + s->SampleCount()};
    }
    std::vector<std::vector<std::complex<float>>> SetSamples() const
    {
        std::vector<std::vector<std::complex<float>>> all;
        for (size_t k = 0; k < set->VoxelCount(); ++k)
            all.push_back(Samples(set->GetVoxel(k)));
        return all;
    }
    size_t DoneSteps() const
    {
        std::list<std::string> names;
        session->Project()->m_history->GetStepNames(names, true);
        return names.size();
    }
};

TEST_F(SpectrumToolsTest, ClicksPickTheBoundariesOfEachTool)
{
    const struct {
        const char* name;
        int mode;
        std::initializer_list<int> clicks;
        std::vector<int> picked;  // the record's boundaries in order
    } cases[] = {
        {"region: a third click changes nothing", 14, {100, 60, 30}, {100, 60}},
        {"region: clicks off the plot are ignored", 17, {-1, 90, -1}, {90, 0}},
        {"peak find: peak then noise region", 15, {150, 170, 20, 40, 60}, {150, 170, 20, 40}},
        {"baseline peaks: two clicks a pair", 10, {50, 60, 70}, {50, 60, 70, 70}},
        {"PCA peaks", 12, {120, 110}, {120, 110}},
        {"integral: the end left of the start is swapped", 16, {190, 170}, {170, 190}},
    };
    auto picks = [&] {
        std::vector<int> picked;
        if (auto* region = dynamic_cast<TRegionTool*>(view->m_tool.get()))
            picked = {region->m_nStart, region->m_nEnd};
        else if (auto* find = dynamic_cast<TPeakFindTool*>(view->m_tool.get()))
            picked = {find->m_nStart, find->m_nEnd, find->m_nNoiseStart, find->m_nNoiseEnd};
        else if (auto* list = dynamic_cast<TPeakListTool*>(view->m_tool.get()))
            for (int k = 0; k <= list->m_nCount && k < TPeakListTool::kMaxPeaks; ++k)
                picked.insert(picked.end(), {list->m_peaks[k][0], list->m_peaks[k][1]});
        else if (auto* integral = dynamic_cast<TIntegralTool*>(view->m_tool.get()))
            picked = {integral->m_nStart, integral->m_nEnd};
        return picked;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view->SetTool(c.mode);
        ASSERT_EQ(view->GetToolMode(), c.mode);
        Click(c.clicks);
        std::vector<int> picked = picks();
        picked.resize(c.picked.size());
        EXPECT_EQ(picked, c.picked);
        // Choosing the open tool again keeps the picks; Cancel ends it.
        const std::vector<int> before = picks();
        view->SetTool(c.mode);
        EXPECT_EQ(picks(), before);
        view->CancelTool();
        EXPECT_EQ(view->GetToolMode(), 0);
        EXPECT_NE(dynamic_cast<TReadoutTool*>(view->m_tool.get()), nullptr);
    }
}

TEST_F(SpectrumToolsTest, FiftyPeaksFillTheListAndFurtherClicksChangeNothing)
{
    view->SetTool(13);
    for (int k = 0; k < 2 * TPeakListTool::kMaxPeaks + 4; ++k)
        Click({10 + k});
    auto* tool = dynamic_cast<TAnalysisPeakTool*>(view->m_tool.get());
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->m_nCount, TPeakListTool::kMaxPeaks);
    EXPECT_TRUE(tool->m_bStartFixed && tool->m_bFull);
    EXPECT_EQ(tool->m_peaks[TPeakListTool::kMaxPeaks - 1][1], 10 + 2 * TPeakListTool::kMaxPeaks - 1);
}

TEST_F(SpectrumToolsTest, IntegralRegionSetsTheBaselineStepsAndTheKeysMoveIt)
{
    view->SetTool(16);
    Click({190, 170});
    auto* tool = dynamic_cast<TIntegralTool*>(view->m_tool.get());
    ASSERT_NE(tool, nullptr);
    double sum = 0.0;
    for (int i = 170; i <= 190; ++i)
        sum += Voxel(3, 4)->GetReal(i);
    sum = std::fabs(sum);
    EXPECT_NEAR(tool->m_fOffsetStep, sum / 21, 1e-3 * sum);
    EXPECT_NEAR(tool->m_fSlopeStep, 2 * sum / 21 / 21, 1e-3 * sum);
    EXPECT_NEAR(tool->m_fScale, view->m_plot.m_fTop / sum * 0.5, 1e-6);

    // Home lowers the baseline by two steps, Page Down raises the slope; the bars add
    // their share of a step on top.
    view->OnKeyDown(Qt::Key_Home);
    view->OnKeyDown(Qt::Key_PageDown);
    view->m_scrollH1->setValue(500);
    EXPECT_NEAR(tool->m_fOffset, -2 * tool->m_fOffsetStep + 0.5f * tool->m_fOffsetStep, 1e-4 * sum);
    EXPECT_NEAR(tool->m_fSlope, 2 * tool->m_fSlopeStep, 1e-4 * sum);
    view->m_scrollV->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_NEAR(tool->m_fScale, 0.9f * tool->m_fDefaultScale, 1e-6);

    // A third click starts a new region; Apply without its end keeps the tool.
    Click({100});
    view->Apply();
    EXPECT_EQ(view->GetToolMode(), 16);
    EXPECT_TRUE(report.Contains("Select the region for integraion first."));
}

TEST_F(SpectrumToolsTest, IntegralButtonShowsTheWindowAndApplyHandsItEachRegion)
{
    window->OpenIntegralWindow();
    CIntegralWnd* integrals = window->IntegralWindow();
    ASSERT_NE(integrals, nullptr);
    EXPECT_TRUE(integrals->isVisible());
    EXPECT_EQ(view->GetToolMode(), 16);

    // Two regions in turn: each Apply adds one row and leaves the tool open and reset.
    for (const auto& [start, end] : {std::pair{170, 190}, std::pair{100, 120}}) {
        Click({start, end});
        view->m_scrollH1->setValue(300);
        view->Apply();
        EXPECT_EQ(view->GetToolMode(), 16);
        auto* tool = dynamic_cast<TIntegralTool*>(view->m_tool.get());
        ASSERT_NE(tool, nullptr);
        EXPECT_FALSE(tool->m_bStartSet || tool->m_bEndSet);
        EXPECT_EQ(tool->m_fOffset, 0.0f);
        EXPECT_EQ(view->m_scrollH1->value(), 0);
    }
    ASSERT_EQ(integrals->List()->topLevelItemCount(), 2);
    EXPECT_NE(integrals->List()->topLevelItem(0)->text(1), integrals->List()->topLevelItem(1)->text(1));

    // Ending the tool hides the window; its integrals stay for the next opening.
    view->CancelTool();
    EXPECT_FALSE(integrals->isVisible());
    window->OpenIntegralWindow();
    EXPECT_EQ(window->IntegralWindow(), integrals);
    EXPECT_EQ(integrals->List()->topLevelItemCount(), 2);
}

TEST_F(SpectrumToolsTest, PhaseBarsOnCopiesThenApplyRecordsOneUndoableStep)
{
    const auto before = SetSamples();
    CVexaraApp app;
    for (int phaseMode : {1, 0}) {
        SCOPED_TRACE(phaseMode);
        app.SetSetting(3, phaseMode);
        view->SetTool(2);
        view->m_scrollH1->triggerAction(QAbstractSlider::SliderPageStepAdd);  // +10 degrees
        view->m_scrollV->triggerAction(QAbstractSlider::SliderSingleStepSub);  // -1 degree linear
        auto* tool = dynamic_cast<TPhaseTool*>(view->m_tool.get());
        ASSERT_NE(tool, nullptr);
        EXPECT_FLOAT_EQ(tool->m_fPhase0, 10 * CVoxelWndView::kRadiansPerDegree);
        EXPECT_NEAR(tool->m_fPhase1, -CVoxelWndView::kRadiansPerDegree, 1e-6);
        // The panel shows the constant phase and offers Apply while the tool is open.
        CVoxelWndDlgView& panel = *window->Panel();
        EXPECT_DOUBLE_EQ(panel.Edit(CVoxelWndDlgView::kPhase0)->text().toDouble(), 10.0);
        EXPECT_TRUE(panel.Button(CVoxelWndDlgView::kApply)->isEnabled());
        EXPECT_EQ(panel.Button(CVoxelWndDlgView::kVoxApply)->isEnabled(), phaseMode == 0);
        // Live phasing moves the set with the bars; Cancel gives it back bit for bit.
        EXPECT_EQ(SetSamples() != before, phaseMode == 1);
        view->CancelTool();
        EXPECT_FALSE(panel.Button(CVoxelWndDlgView::kApply)->isEnabled());
        EXPECT_EQ(SetSamples(), before);
        EXPECT_TRUE(view->m_scrollV->isHidden());
    }

    // Apply: one step, the constant phase turns every sample by 10 degrees.
    const size_t steps = DoneSteps();
    view->SetTool(2);
    view->m_scrollH1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    view->Apply();
    EXPECT_EQ(DoneSteps(), steps + 1);
    EXPECT_EQ(view->GetToolMode(), 0);
    const auto after = SetSamples();
    for (size_t v = 0; v < after.size(); v += 9)
        for (size_t i = 0; i < after[v].size(); i += 17)
            if (std::abs(before[v][i]) > 1e-3f) {
                const float turn = std::arg(after[v][i] / before[v][i]);
                EXPECT_NEAR(std::fabs(turn), 10 * CVoxelWndView::kRadiansPerDegree, 1e-3) << v << " " << i;
            }
    session->Project()->Undo();
    const auto undone = SetSamples();
    for (size_t v = 0; v < undone.size(); ++v)
        for (size_t i = 0; i < undone[v].size(); ++i)
            ASSERT_LT(std::abs(undone[v][i] - before[v][i]), 1e-3f * (1 + std::abs(before[v][i])));
}

TEST_F(SpectrumToolsTest, ZoomApplyWithoutABoxShowsTheWholeSpectrum)
{
    view->SetTool(3);
    auto* tool = dynamic_cast<TZoomTool*>(view->m_tool.get());
    ASSERT_NE(tool, nullptr);
    view->OnLButtonDown(100, 40);
    view->OnMouseMove(200, 80, true);
    EXPECT_EQ(tool->m_nCornerX, 200);
    view->OnLButtonUp();
    view->OnRButtonDown();
    EXPECT_FALSE(tool->m_bDragging);
    view->Apply();
    const TSpectrumDisplayParams& display = session->Project()->m_display;
    EXPECT_EQ(display.m_nXStart, 0);
    EXPECT_EQ(display.m_nXEnd, TGuiFixture::kPoints - 1);
    EXPECT_FLOAT_EQ(display.m_fYMax, Voxel(3, 4)->GetMaxMagnitude());
    EXPECT_FLOAT_EQ(display.m_fYMin, -display.m_fYMax);
    EXPECT_EQ(view->GetDisplayParams(), display);
}

TEST_F(SpectrumToolsTest, LineWidthBarsAreClampedToTheirRange)
{
    view->SetTool(4);
    for (int k = 0; k < 7; ++k)
        view->m_scrollV->triggerAction(QAbstractSlider::SliderPageStepAdd);
    auto* tool = dynamic_cast<TLineWidthTool*>(view->m_tool.get());
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->m_fWidth, 50.0f);
    const size_t steps = DoneSteps();
    view->Apply();
    EXPECT_EQ(DoneSteps(), steps + 1);
}

TEST_F(SpectrumToolsTest, AnalysisPicksAreCheckedInOrder)
{
    const struct {
        int mode;
        float components, runs, threshold;
        std::initializer_list<int> clicks;
        const char* message;
    } cases[] = {
        {12, 3, 1, 1e-5f, {100, 101}, "Need to select a wider peak region for PCA."},
        {12, 0, 1, 1e-5f, {100, 140}, "Number of PCs should be larger than zero."},
        {13, 0, 1, 1e-5f, {100, 140}, "Number of Basis should be larger than zero."},
        {13, 4, 1, 1e-5f, {100, 102}, "Need to select a wider peak region for NMF."},
        {13, 4, 0, 1e-5f, {100, 140}, "Number of Runs should be larger than zero."},
        {13, 4, 1, 0.0f, {100, 140}, "The error threshold should be a very small positive number, for instance, 1.0e-6."},
    };
    // Apply takes the numbers from the panel's edits.
    CVoxelWndDlgView& panel = *window->Panel();
    auto type = [&](float components, float runs, float threshold) {
        panel.Edit(CVoxelWndDlgView::kNumPCs)->setText(QString::number(components));
        panel.Edit(CVoxelWndDlgView::kNumRuns)->setText(QString::number(runs));
        panel.Edit(CVoxelWndDlgView::kErrThreshold)->setText(QString::number(threshold));
        static_cast<QCheckBox*>(panel.Button(CVoxelWndDlgView::kSelectedOnly))->setChecked(false);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        report.Clear();
        view->SetTool(c.mode);
        Click(c.clicks);
        type(c.components, c.runs, c.threshold);
        view->Apply();
        EXPECT_EQ(report.Messages(), std::vector<std::string>({c.message}));
        EXPECT_EQ(view->GetToolMode(), 0);
        EXPECT_TRUE(session->Project()->m_analyses.empty());
    }
    // Good picks make the analysis.
    report.Clear();
    view->SetTool(12);
    Click({150, 200});
    type(2, 1, 1e-5f);
    view->Apply();
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_EQ(session->Project()->m_analyses.size(), 1u);
}

TEST_F(SpectrumToolsTest, RegionToolsReportMissingPicksAndWrongCounts)
{
    const struct {
        int mode;
        float a, b;
        std::initializer_list<int> clicks;
        const char* message;
    } cases[] = {
        {14, 0, 0, {100}, "Peak region must be selected."},
        {17, 0, 0, {}, "New peak position must be selected."},
        {18, 3, 0, {100}, "Lipid region must be selected."},
        {18, 3, 0, {100, 101}, "Invalid number of components."},
        {18, 0, 0, {100, 140}, "Invalid number of components."},
        {19, 4, 0.5f, {100}, "Water region must be selected."},
        {19, 0, 0.5f, {100, 140}, "Invalid number of peaks."},
        {20, 4, 0, {}, "The spectral region must be selected."},
        {20, 0, 0, {100, 140}, "Invalid number of peaks."},
        {15, 1, 0, {170, 195, 10}, "Peak region and noise region must be selected."},
    };
    const size_t steps = DoneSteps();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        report.Clear();
        // The lipid tool takes its components from the panel's edit, which its button fills.
        if (c.mode == 18)
            window->SetPanelValue(CVoxelWndDlgView::kNumComponents, c.a);
        view->SetTool(c.mode, c.a, c.b);
        Click(c.clicks);
        view->Apply();
        EXPECT_EQ(report.Messages(), std::vector<std::string>({c.message}));
        EXPECT_EQ(view->GetToolMode(), 0);
    }
    EXPECT_EQ(DoneSteps(), steps);

    // Moving a peak: without selected voxels a warning, with them one step that moves
    // their peaks.
    report.Clear();
    view->SetTool(17);
    Click({182, 150});
    view->Apply();
    EXPECT_TRUE(report.Contains("No voxels are selected."));
    Voxel(2, 2)->m_bSelected = 1;
    report.Clear();
    view->SetTool(17);
    Click({182, 150});
    view->Apply();
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_EQ(DoneSteps(), steps + 1);
    EXPECT_EQ(Voxel(2, 2)->LargestMagnitudePoint(0, TGuiFixture::kPoints - 1), 150);
}

TEST_F(SpectrumToolsTest, PeakFindKeepsTheVoxelsWithAPeakInsideTheRegion)
{
    // The fixture's voxels hold one noiseless line at point 182.
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        for (int y = 0; y < TGuiFixture::kRows; ++y)
            Voxel(x, y)->m_bSelected = x < 4 ? 1 : 0;
    auto selected = [&] {
        int count = 0;
        for (int x = 0; x < TGuiFixture::kColumns; ++x)
            for (int y = 0; y < TGuiFixture::kRows; ++y)
                count += Voxel(x, y)->m_bSelected;
        return count;
    };
    const int half = 4 * TGuiFixture::kRows;
    const struct {
        std::initializer_list<int> clicks;  // peak region, noise region
        int selected;
        std::vector<std::string> messages;
    } cases[] = {
        {{195, 170, 10, 60}, half, {}},
        {{182, 200, 10, 60}, 0, {"No peak is found."}},  // the peak on the region's edge
        {{170, 195, 10, 60}, 0, {"No voxels are selected.", "No peak is found."}},
    };
    for (const auto& c : cases) {
        report.Clear();
        view->SetTool(15, 1.0f);
        Click(c.clicks);
        view->Apply();
        EXPECT_EQ(selected(), c.selected);
        EXPECT_EQ(report.Messages(), c.messages);
    }
}

TEST_F(SpectrumToolsTest, PPMCentrePickMakesThePickedPointReadTheReference)
{
    // ppm of a point on the set's axis, from the fixture's acquisition.
    auto ppmAt = [&](int point) {
        return (set->m_fPPMCentrePoint - point) * TGuiFixture::kSpectralWidth /
               (TGuiFixture::kPoints * TGuiFixture::kFrequency);
    };
    const float startCentre = set->m_fPPMCentrePoint;
    const size_t steps = DoneSteps();
    const struct {
        const char* name;
        bool typed;
        float reference;
        int pick;
    } cases[] = {
        {"the set's reference", false, set->m_fPPMCentreValue, 150},
        {"a typed reference", true, 2.0f, 182},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view->SetTool(1);
        auto* tool = dynamic_cast<TPPMCentreTool*>(view->m_tool.get());
        ASSERT_NE(tool, nullptr);
        EXPECT_NEAR(ppmAt(static_cast<int>(std::lround(tool->m_fChosen))), set->m_fPPMCentreValue, 0.03);
        if (c.typed)
            view->SetToolValues(c.reference, 0, 0, 0);
        Click({c.pick});
        view->Apply();
        EXPECT_NEAR(ppmAt(c.pick), c.reference, 1e-4);
        EXPECT_FLOAT_EQ(set->m_fPPMCentreValue, c.reference);
    }
    EXPECT_EQ(DoneSteps(), steps + 2);
    session->Project()->Undo();
    session->Project()->Undo();
    EXPECT_FLOAT_EQ(set->m_fPPMCentrePoint, startCentre);
}

TEST_F(SpectrumToolsTest, MapOfThePickedPeakIsShownOverTheImage)
{
    const TComplex* before = nullptr;
    for (const char* replace : {"", "NAA_map"}) {
        SCOPED_TRACE(replace);
        TMapParams params;
        params.name = "NAA";
        params.size[0] = TGuiFixture::kColumns;
        params.size[1] = TGuiFixture::kRows;
        params.size[2] = 1;
        view->OpenMapTool(params, replace);
        // One peak: two boundaries; a third click changes nothing.
        Click({170, 195, 100});
        auto* tool = dynamic_cast<TMapTool*>(view->m_tool.get());
        ASSERT_NE(tool, nullptr);
        EXPECT_EQ(std::vector<int>(tool->m_bounds, tool->m_bounds + 2), std::vector<int>({170, 195}));
        EXPECT_FALSE(tool->m_bSet[2]);
        view->Apply();
        ASSERT_EQ(set->m_pMapList ? set->m_pMapList->GetCount() : 0, 1);
        TMap* map = set->FindMap("NAA_map");
        ASSERT_NE(map, nullptr);
        EXPECT_NE(map->Values(), before) << "the replaced map is a new one";
        before = map->Values();
        EXPECT_EQ(axial->windowTitle().toStdString(), "(Axial) axial_1 @ 100%<NAA_map>");
        // The peak area grows with x as the fixture's lines do.
        const double first = std::abs(map->Values()[map->ValueIndex(0, 3, 0)]);
        const double last = std::abs(map->Values()[map->ValueIndex(7, 3, 0)]);
        EXPECT_NEAR(last / first, TGuiFixture::PeakHeight(7) / TGuiFixture::PeakHeight(0), 1e-3);
    }

    // The dialog's names: plain names pass, a map that exists only when replaced.
    const struct {
        const char* peak;
        vx::ReportAnswer answer;  // to the question, when asked
        bool accepted;
        const char* replace;
        const char* said;
    } names[] = {
        {"Cho_2", vx::ReportAnswer::Ok, true, "", nullptr},
        {"N-AA", vx::ReportAnswer::Ok, false, "", "Peak name can only contain alphabet, number or underscore."},
        {"NA A", vx::ReportAnswer::Ok, false, "", "Peak name can only contain alphabet, number or underscore."},
        {"NAA", vx::ReportAnswer::No, false, "", "Map of peak NAA already exists, do you want to overwrite it?"},
        {"NAA", vx::ReportAnswer::Yes, true, "NAA_map", "Map of peak NAA already exists, do you want to overwrite it?"},
    };
    for (const auto& n : names) {
        SCOPED_TRACE(n.peak);
        report.Clear();
        if (n.answer != vx::ReportAnswer::Ok)
            report.PlanAnswer(n.answer);
        std::string replace = "stale";
        EXPECT_EQ(view->AcceptMapName(n.peak, replace), n.accepted);
        EXPECT_EQ(replace, n.replace);
        EXPECT_EQ(report.Count(), n.said ? 1u : 0u);
        if (n.said) {
            EXPECT_TRUE(report.Contains(n.said));
        }
    }
}

}  // namespace

