// The one-click commands of the spectrum view on the fixture project: each changes the
// work set as its core operation does on a copy, and adds one undo entry (the transform
// none); the lipid suppression's refusal and question; VoxApply on the window's voxels.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QLineEdit>

#include "app/dialogs/CPeakRemovalDlg.h"
#include "app/dialogs/CWaterSupDlg.h"
#include "processing/InstallProcessing.h"
#include "processing/TProcessHistory.h"
#include "support/CSISetBuilders.h"
#include "support/DialogScript.h"
#include "views/VoxelWindowFixture.h"

using namespace vx;
using namespace vx::test;

namespace {

class OneClickCommandsTest : public VoxelWindowTest {
protected:
    void SetUp() override
    {
        InstallProcessing();  // the project's undo history
        VoxelWindowTest::SetUp();
    }
    size_t DoneSteps() const { return session->Project()->m_history->DoneSteps().size(); }
};

TEST_F(OneClickCommandsTest, EachCommandChangesTheSetAsItsCoreOperation)
{
    using Core = std::function<bool(TCSISet&)>;
    // The lipid region: the voxels of column 0; k-space sampled where both centred
    // indices are within 2 of the centre.
    for (int y = 0; y < TGuiFixture::kRows; ++y)
        Voxel(0, y)->m_bSelected = 1;
    set->m_kSpaceMask.clear();
    for (int y = 0; y < TGuiFixture::kRows; ++y)
        for (int x = 0; x < TGuiFixture::kColumns; ++x)
            set->m_kSpaceMask.push_back(std::abs(x - 4) <= 2 && std::abs(y - 4) <= 2);
    const auto filter = [](int type, float width) {
        // The fixture is a 2-D set with slice axis 2: its in-plane axes are 0 and 1.
        return [=](TCSISet& s) { return s.SpatialFilter(0, type, width, 0.5f * (type == 2)) &&
                                        s.SpatialFilter(1, type, width, 0.5f * (type == 2)); };
    };
    const auto toTime = [](TCSISet& s) { return s.FFTShiftSpectra(), s.ToTimeDomain(); };
    const auto toFrequency = [](TCSISet& s) { return s.ToFrequencyDomain() && (s.FFTShiftSpectra(), true); };
    const struct {
        const char* name;
        void (CVoxelWndView::*command)();
        Core core;
        size_t steps;
        int lastPoint;  // of the display range afterwards
    } cases[] = {
        {"FT to the time domain", &CVoxelWndView::OnFT, toTime, 0, 255},
        // A time-domain set is windowed in the frequency domain.
        {"Hamming", &CVoxelWndView::OnSpatialHamming,
         [&](TCSISet& s) { return toFrequency(s) && filter(0, 0)(s); }, 1, 255},
        {"cosine", &CVoxelWndView::OnSpatialCosine, filter(1, 0), 1, 255},
        {"Fermi", &CVoxelWndView::OnSpatialFermi, filter(2, TGuiFixture::kColumns / 4), 1, 255},
        {"zero fill", &CVoxelWndView::OnZeroFill, [](TCSISet& s) { return s.ZeroFill(512); }, 1, 511},
        {"lipid suppression", &CVoxelWndView::OnLipidKSpace, [](TCSISet& s) { return s.SuppressLipids(20); }, 1,
         511},
        {"FT to the time domain again", &CVoxelWndView::OnFT, toTime, 0, 511},
        {"FT to the frequency domain", &CVoxelWndView::OnFT, toFrequency, 0, 511},
    };
    CVoxelWindow* window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CVoxelWndView& view = *window->View();
        view.SetTool(3);  // an open tool, which every command but the lipid suppression ends
        // The core operation on a copy of the set as it is now.
        TCSISet expected;
        expected.CopyHeader(*set);
        ASSERT_TRUE(expected.CopyDataFrom(*set));
        for (size_t v = 0; v < set->VoxelCount(); ++v)
            expected.GetVoxel(v)->m_bSelected = set->GetVoxel(v)->m_bSelected;
        ASSERT_TRUE(c.core(expected));
        const size_t before = DoneSteps();
        if (c.command == &CVoxelWndView::OnLipidKSpace)
            report.PlanAnswer(ReportAnswer::Yes);
        (view.*c.command)();
        const bool keepsTool = c.command == &CVoxelWndView::OnLipidKSpace;
        EXPECT_EQ(view.GetToolMode(), keepsTool ? 3 : 0);
        view.CancelTool();
        EXPECT_EQ(AllSamples(*set), AllSamples(expected));
        EXPECT_EQ(set->m_bFrequencyDomain, expected.m_bFrequencyDomain);
        EXPECT_EQ(DoneSteps(), before + c.steps);
        const TSpectrumDisplayParams& display = session->Project()->m_display;
        EXPECT_EQ(display.m_nXStart, 0);
        EXPECT_EQ(display.m_nXEnd, c.lastPoint);
        EXPECT_EQ(view.GetDisplayParams().m_nXEnd, c.lastPoint);
    }
    EXPECT_EQ(report.PlannedLeft(), 0u);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
}

TEST_F(OneClickCommandsTest, LipidSuppressionNeedsASelectionAndAYes)
{
    CVoxelWindow* window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    const std::vector<TComplex> before = AllSamples(*set);
    window->View()->OnLipidKSpace();
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"A lipid mask needs to be created first."});
    Voxel(0, 0)->m_bSelected = 1;
    report.PlanAnswer(ReportAnswer::No);
    window->View()->OnLipidKSpace();
    EXPECT_EQ(report.Questions(),
              std::vector<std::string>{"The lipid suppression should be applied to raw CSI data without "
                                       "preprocessing. Would you like to continue?"});
    EXPECT_EQ(AllSamples(*set), before);
    EXPECT_EQ(DoneSteps(), 0u);
}

TEST_F(OneClickCommandsTest, VoxApplyChangesOnlyTheWindowsOwnVoxels)
{
    CVoxelWindow* window = Open(3, 4);
    CVoxelWindow* other = Open(5, 5, TMouseEvent::kShift);
    ASSERT_TRUE(window && other && window != other);
    CVoxelWndView& view = *window->View();
    TProject& project = *session->Project();
    const TSpectrum mine(*Voxel(3, 4));
    const std::vector<TComplex> before = AllSamples(*set);
    const TSpectrumDisplayParams projectDisplay = project.m_display, otherDisplay = other->View()->GetDisplayParams();

    // Peak move from 182 to 170: this window's voxel only, as one undoable step.
    auto move = std::make_unique<TRegionTool>();
    move->m_nStart = 182, move->m_nEnd = 170, move->m_bStartSet = move->m_bEndSet = 1;
    view.m_nToolMode = 17;
    view.m_tool = std::move(move);
    view.ApplyToVoxels();
    TSpectrum expected(mine);
    expected.CircularShift(12);
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        for (int i = 0; i < TGuiFixture::kPoints; i += 17)
            ASSERT_EQ(Voxel(x, 4)->Data()[i], (x == 3 ? expected : *Voxel(x, 4)).Data()[i]);
    EXPECT_EQ(Voxel(3, 4)->Data()[170], mine.Data()[182]);
    EXPECT_EQ(view.GetToolMode(), 0);
    EXPECT_EQ(DoneSteps(), 1u);
    project.Undo();
    EXPECT_EQ(AllSamples(*set), before);

    // Phase: the voxel takes the tool's constant phase; the set's stored phase stays.
    float phase0 = 0.0f, phase1 = 0.0f;
    int pivot = 0;
    set->GetPhase(0, phase0, phase1, pivot);
    auto phase = std::make_unique<TPhaseTool>();
    phase->m_fPhase0 = phase0 + 0.5f;
    phase->m_fPhase1 = phase1;
    phase->m_nPivot = pivot;
    view.m_nToolMode = 2;
    view.m_tool = std::move(phase);
    view.ApplyToVoxels();
    expected = mine;
    expected.Phase(0.0f, -phase1, pivot);
    expected.Phase(0.5f, phase1, pivot);
    for (int i = 0; i < TGuiFixture::kPoints; ++i)
        ASSERT_EQ(Voxel(3, 4)->Data()[i], expected.Data()[i]) << i;
    // The other window's voxel keeps its samples.
    for (int i = 0; i < TGuiFixture::kPoints; ++i)
        ASSERT_EQ(Voxel(5, 5)->Data()[i], before[(5 * TGuiFixture::kColumns + 5) * TGuiFixture::kPoints + i]) << i;
    float after0 = 0.0f, after1 = 0.0f;
    set->GetPhase(0, after0, after1, pivot);
    EXPECT_EQ(after0, phase0);

    // Zoom: this view's range only.
    auto zoom = std::make_unique<TZoomTool>();
    zoom->m_bTyped = 1;
    zoom->m_fXFirst = 100.0f, zoom->m_fXLast = 200.0f, zoom->m_fYBottom = -5.0f, zoom->m_fYTop = 50.0f;
    view.m_nToolMode = 3;
    view.m_tool = std::move(zoom);
    view.ApplyToVoxels();
    const TSpectrumDisplayParams& display = view.GetDisplayParams();
    EXPECT_EQ(std::make_pair(display.m_nXStart, display.m_nXEnd), std::make_pair(100, 200));
    EXPECT_EQ(std::make_pair(display.m_fYMin, display.m_fYMax), std::make_pair(-5.0f, 50.0f));
    EXPECT_EQ(project.m_display.m_nXEnd, projectDisplay.m_nXEnd);
    EXPECT_EQ(other->View()->GetDisplayParams().m_nXStart, otherDisplay.m_nXStart);
    EXPECT_EQ(DoneSteps(), 1u);  // the phase; the zoom is no step
}

TEST_F(OneClickCommandsTest, WaterAndPeakRemovalAskAgainUntilTheirValuesFit)
{
    CVoxelWindow* window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    CVoxelWndView& view = *window->View();
    // The answers of the dialogs in turn: the filter lengths, then the numbers of peaks.
    std::vector<std::string> answers = {"256", "1", "255", "0", "7"};
    size_t next = 0;
    TDialogScript script([&](QDialog& dialog) {
        if (auto* water = dynamic_cast<CWaterSupDlg*>(&dialog)) {
            water->Algorithm()->setCurrentIndex(CWaterSupDlg::kSodano);
            water->FilterLength()->setText(QString::fromStdString(answers.at(next++)));
        } else if (auto* peaks = dynamic_cast<CPeakRemovalDlg*>(&dialog)) {
            peaks->NumPeaks()->setText(QString::fromStdString(answers.at(next++)));
        }
        dialog.accept();
        return dialog.result();
    });
    TCSISet expected;
    expected.CopyHeader(*set);
    ASSERT_TRUE(expected.CopyDataFrom(*set));
    TWaterSuppressionParams params;
    params.m_nWindowLength = 255;
    ASSERT_TRUE(expected.SuppressWater(params));

    view.OnWater();
    EXPECT_EQ(report.Messages(), (std::vector<std::string>{"Filter length must be smaller than 255.",
                                                           "Filter length must be larger than 1."}));
    EXPECT_EQ(AllSamples(*set), AllSamples(expected));
    EXPECT_EQ(DoneSteps(), 1u);

    report.Clear();
    view.OnPeakRemoval();
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Number of peaks must be positive."});
    EXPECT_EQ(script.runs, 5);
    EXPECT_EQ(view.GetToolMode(), 20);
    view.CancelTool();
}

}  // namespace
