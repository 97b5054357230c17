// The analysis window on PCA and NMF analyses of the fixture project: its plots (the line's
// shape in the component plot, scores rising along x), the panel, the exports written
// whole, the PCA correction, component maps, the residual set and the NMF runs; and the
// zoom view's zooming and scrolling.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QPointer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <cstdio>
#include <memory>
#include <string>

#include "app/CMainFrame.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "processing/InstallProcessing.h"
#include "processing/TAnalysisNMF.h"
#include "processing/TAnalysisPCA.h"
#include "support/GuiFixture.h"
#include "support/GuiGrab.h"
#include "support/GuiMenu.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "views/analysis/CAnalysisCorView.h"
#include "views/analysis/CAnalysisDlgView.h"
#include "views/analysis/CAnalysisPCView.h"
#include "views/analysis/CAnalysisScoreView.h"
#include "views/analysis/CAnalysisWnd.h"
#include "views/TPainterCanvas.h"

using namespace vx::test;

namespace {

constexpr int kFirst = 170, kLast = 194;
const int32_t kInterval[2] = {kFirst, kLast};

// Numbers as the exports write them: a sign and a decimal point, six digits.
std::string Num(float v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%+#g", static_cast<double>(v));
    return text;
}
std::string Int(int v)
{
    return (v < 0 ? "-" : "+") + std::to_string(v < 0 ? -v : v);
}

std::string ReadAll(const std::string& path)
{
    EXPECT_TRUE(vx::FileExists(path)) << path;
    return ReadBytes(path);
}

class AnalysisWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vx::ResetGlobals();
        InstallProcessing();
        ASSERT_TRUE(fixture.Ok());
        session = std::make_unique<TGuiSession>(fixture);
        ASSERT_TRUE(session->Ok());
        set = session->Project()->m_pWorkSet;
        ASSERT_NE(set, nullptr);
    }
    void TearDown() override
    {
        session.reset();
        InstallProcessingHooks({});
        vx::ResetGlobals();
    }

    TProject& Project() { return *session->Project(); }
    CMainFrame& Frame() { return session->MainFrame(); }
    std::string OutPath(const std::string& name) const { return vx::JoinPath(fixture.ProjectFolder(), name); }

    // A computed analysis of the work set, owned by the project.
    template <class Analysis>
    Analysis* Add(std::unique_ptr<Analysis> analysis)
    {
        Analysis* a = analysis.get();
        Project().m_analyses.push_back(analysis.release());
        EXPECT_TRUE(a->Prepare(Project().m_pWorkSet, false));
        EXPECT_TRUE(a->Compute());
        return a;
    }
    TAnalysisPCA* AddPCA(int components = 2)
    {
        return Add(std::make_unique<TAnalysisPCA>(kFirst, kLast, components, kInterval, 1));
    }
    TAnalysisNMF* AddNMF(int runs)
    {
        auto nmf = std::make_unique<TAnalysisNMF>(kFirst, kLast, 1, kInterval, 1, runs, 1e-4f);
        nmf->SetRandomSeed(7);
        return Add(std::move(nmf));
    }
    CAnalysisWnd* Open(TAnalysis* analysis)
    {
        Frame().OpenAnalysisWindow(analysis);
        QApplication::processEvents();
        return dynamic_cast<CAnalysisWnd*>(Frame().AnalysisWindows().GetFirst());
    }

    TScriptedReport report;
    TGuiFixture fixture{2};
    std::unique_ptr<TGuiSession> session;
    TCSISet* set = nullptr;
};

TEST_F(AnalysisWindowTest, PCAPlotsShowTheLineAndScoresRisingAlongX)
{
    TAnalysisPCA* pca = AddPCA();
    CAnalysisWnd* window = Open(pca);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Analysis Window");
    EXPECT_FALSE(GrabToPng(&Frame(), "analysis_window_pca").isEmpty());

    // Component 0 in the upper band (from +m at its top to -m at its bottom, m its
    // height): the curve crosses half its height on both sides of the line's point.
    const CAnalysisPCView& pcView = *window->ComponentView();
    const QImage& plot = pcView.PlotPicture();
    ASSERT_FALSE(plot.isNull());
    const int bandBottom = static_cast<int>(plot.height() / 2.0 - 2);
    const int halfHeight = 2 + (bandBottom - 2) / 4;
    int left = -1, right = -1;
    for (int x = 2; x < plot.width() - 2; ++x)
        if (plot.pixel(x, halfHeight) == qRgb(255, 0, 0)) {
            left = left < 0 ? x : left;
            right = x;
        }
    ASSERT_GE(left, 0);
    EXPECT_GT(right - left, 2);
    const double pointsPerPixel = double(kLast - kFirst) / (plot.width() - 4);
    EXPECT_NEAR(kFirst + ((left + right) / 2.0 - 2) * pointsPerPixel, TGuiFixture::kPeakPoint, 1.0);

    // The first score image: cell colours of the hot table brighten from column to column.
    const QImage& scores = window->ScoreView()->PlotPicture();
    ASSERT_FALSE(scores.isNull());
    const int y = static_cast<int>(scores.height() / 4.0);
    std::vector<int> cells;  // brightness of each run of one colour, grey left out
    QRgb last = 0;
    for (int x = 2; x < 2 + static_cast<int>((scores.width() - 4) * 0.7); ++x) {
        const QRgb p = scores.pixel(x, y);
        if (p == qRgb(128, 128, 128) || p == last)
            continue;
        last = p;
        cells.push_back(qRed(p) + qGreen(p) + qBlue(p));
    }
    ASSERT_EQ(cells.size(), size_t(TGuiFixture::kColumns));
    for (size_t i = 1; i < cells.size(); ++i)
        EXPECT_GT(cells[i], cells[i - 1]) << "cell " << i;
}

TEST_F(AnalysisWindowTest, PanelStepsThroughTheSlicesAndKeepsTheThreshold)
{
    TAnalysisPCA* pca = AddPCA();
    CAnalysisWnd* window = Open(pca);
    ASSERT_NE(window, nullptr);
    CAnalysisDlgView& panel = *window->Panel();
    EXPECT_EQ(panel.m_lblPeakStart->text(), "170");
    EXPECT_EQ(panel.m_lblPeakEnd->text(), "194");
    EXPECT_EQ(panel.m_lblOrientation->text(), "Axial");
    EXPECT_EQ(panel.m_lblCorrections->text(), "0");

    const struct {
        QPushButton* button;
        int slice;
        bool prev, next;
    } steps[] = {
        {nullptr, 0, false, true},
        {panel.m_btnNext, 1, true, false},
        {panel.m_btnNext, 1, true, false},
        {panel.m_btnPrev, 0, false, true},
    };
    for (const auto& s : steps) {
        if (s.button)
            s.button->click();
        EXPECT_EQ(window->GetSlice(), s.slice);
        EXPECT_EQ(panel.m_lblSlice->text(), QString::number(s.slice));
        EXPECT_EQ(panel.m_btnPrev->isEnabled(), s.prev);
        EXPECT_EQ(panel.m_btnNext->isEnabled(), s.next);
    }

    // "50" corrects with half the largest score and comes back in every new window.
    panel.m_editThreshold->setText("50");
    panel.m_btnCorrection->click();
    EXPECT_EQ(pca->GetCorrectionCount(), 1);
    EXPECT_EQ(panel.m_lblCorrections->text(), "1");
    EXPECT_EQ(CAnalysisDlgView::LastThreshold(), 50.0f);
    ASSERT_NE(window->CorrectionView()->First(), nullptr);
    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(Frame().AnalysisWindows().IsEmpty());
    CAnalysisWnd* again = Open(pca);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Panel()->m_editThreshold->text(), "50");

    // An NMF is refused.
    TAnalysisNMF* nmf = AddNMF(1);
    again->SetAnalysis(nmf);
    again->PCACorrection(0.5f);
    EXPECT_EQ(report.Messages().back(), "It can only be applied to a PCA analysis.");
    EXPECT_EQ(pca->GetCorrectionCount(), 1);
}

// A threshold beyond what a float holds is refused with the range and corrects nothing
// (never with the digits before its exponent); a fraction counts as its whole percent.
TEST_F(AnalysisWindowTest, AThresholdAFloatCannotHoldIsRefused)
{
    TAnalysisPCA* pca = AddPCA();
    CAnalysisWnd* window = Open(pca);
    ASSERT_NE(window, nullptr);
    CAnalysisDlgView& panel = *window->Panel();
    const float kept = CAnalysisDlgView::LastThreshold();
    const QString before = panel.m_editThreshold->text();
    panel.m_editThreshold->selectAll();
    QTest::keyClicks(panel.m_editThreshold, "1e400");
    QTest::mouseClick(panel.m_btnCorrection, Qt::LeftButton);
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"Please enter a number between -3.40282e+38 and 3.40282e+38."});
    EXPECT_EQ(panel.m_editThreshold->text(), before);
    EXPECT_EQ(pca->GetCorrectionCount(), 0);
    EXPECT_EQ(CAnalysisDlgView::LastThreshold(), kept);

    report.Clear();
    panel.m_editThreshold->selectAll();
    QTest::keyClicks(panel.m_editThreshold, "12.7");
    QTest::mouseClick(panel.m_btnCorrection, Qt::LeftButton);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
    EXPECT_EQ(pca->GetCorrectionCount(), 1);
    EXPECT_EQ(CAnalysisDlgView::LastThreshold(), 12.0f);
}

TEST_F(AnalysisWindowTest, ExportsWriteTheirLines)
{
    TAnalysisPCA* pca = AddPCA();
    CAnalysisWnd* window = Open(pca);
    ASSERT_NE(window, nullptr);
    window->Panel()->m_editThreshold->setText("0");
    window->Panel()->m_btnCorrection->click();
    window->Panel()->m_btnNext->click();
    ASSERT_EQ(window->GetSlice(), 1);
    TScriptedFileChooser chooser;

    // Components: PPM of every point, then each component.
    std::string expected = "#PCA Principal Components \n\nPPM\t\tPC +0\t\tPC +1\n";
    for (int k = 0; k <= kLast - kFirst; ++k) {
        expected += Num(set->PointToUnit(static_cast<float>(kFirst + k), 2));
        for (uint32_t c = 0; c < 2; ++c)
            expected += "\t" + Num(pca->Components().At(c, uint32_t(k)));
        expected += "\n";
    }
    chooser.Answer(OutPath("components"));
    window->ComponentView()->Export();
    EXPECT_EQ(ReadAll(OutPath("components.txt")), expected);
    EXPECT_EQ(chooser.Requests().back().title, "Save as...");

    // Scores of slice 1: columns slowest, (x, y, slice) with signs.
    expected = "#PCA scores \n\nIndex\t\tscore +0\tscore +1\n";
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        for (int y = 0; y < TGuiFixture::kRows; ++y) {
            expected += "(" + Int(x) + "," + Int(y) + ",+1)";
            for (int c = 0; c < 2; ++c)
                expected += "\t" + Num(pca->GetScoreImage(1, c)->At(uint32_t(y), uint32_t(x)));
            expected += "\n";
        }
    chooser.Answer(OutPath("scores.TXT"));
    window->ScoreView()->Export();
    EXPECT_EQ(ReadAll(OutPath("scores.TXT")), expected);

    // The corrections of slice 1.
    const auto shift = pca->GetFrequencyCorrection(1), phase = pca->GetPhaseCorrection(1);
    ASSERT_TRUE(shift && phase);
    expected = "#PCA frequency correction (in point) and phase shift correction (in degree)\n\n"
               "Index\t\tFrequency Correction\t\tPhase Correction\n";
    for (int x = 0; x < TGuiFixture::kColumns; ++x)
        for (int y = 0; y < TGuiFixture::kRows; ++y)
            expected += "(" + Int(x) + "," + Int(y) + ",+1)\t" + Num(shift->At(uint32_t(y), uint32_t(x))) + "\t\t" +
                        Num(phase->At(uint32_t(y), uint32_t(x))) + "\n";
    chooser.Answer(OutPath("corrections.txt"));
    window->CorrectionView()->Export();
    EXPECT_EQ(ReadAll(OutPath("corrections.txt")), expected);

    // NMF: errors of the last run beside the chi-square of each run.
    TAnalysisNMF* nmf = AddNMF(3);
    window->SetAnalysis(nmf);
    window->UpdateViews(true, false, false);
    const auto errors = nmf->GetErrorConvergence(), chi = nmf->GetChiSquarePerRun();
    expected = "#NMF error convergence and chi-square curve\n\nIndex\t\tError Convergence\t\tChi-Square\n";
    for (uint32_t k = 0; k < errors->Columns(); ++k)
        expected += Int(int(k)) + "\t\t" + Num(errors->At(0, k)) + (k < 3 ? "\t\t" + Num(chi->At(0, k)) : "") + "\n";
    chooser.Answer(OutPath("nmf"));
    window->CorrectionView()->Export();
    EXPECT_EQ(ReadAll(OutPath("nmf.txt")), expected);

    // A file that cannot be written is reported and nothing else happens.
    chooser.Answer(OutPath("missing_folder/x.txt"));
    window->CorrectionView()->Export();
    EXPECT_EQ(report.Messages().back(), "Cannot create text file " + OutPath("missing_folder/x.txt") + ".");
    // Cancel writes nothing.
    chooser.Answer("");
    window->CorrectionView()->Export();
    EXPECT_EQ(report.Messages().size(), 1u);
}

TEST_F(AnalysisWindowTest, NMFRunsAreOfferedForRemovalAndRemoved)
{
    TAnalysisNMF* nmf = AddNMF(3);
    CAnalysisWnd* window = Open(nmf);
    ASSERT_NE(window, nullptr);
    CAnalysisCorView& view = *window->CorrectionView();
    ASSERT_TRUE(view.IsNMF());
    EXPECT_EQ(view.FirstTitle(), "Error Convergence of Last Run");
    EXPECT_EQ(view.SecondTitle(), "Chi Square for Each Run");
    EXPECT_EQ(CAnalysisCorView::RemoveRunText(1), "Remove run 1");

    // The lower curve's frame spans runs 0 .. 3: run r at left + r/3 of its width.
    const TPixelRect r = view.PlotFrame().GetPixelRect();
    const int middle = (r.top + r.bottom) / 2;
    const auto at = [&](double run) { return r.left + static_cast<int>(run * (r.right - r.left) / 3.0); };
    EXPECT_EQ(view.RunAt(at(1.0), middle), 1);
    EXPECT_EQ(view.RunAt(at(1.4), middle), 1);
    EXPECT_EQ(view.RunAt(at(1.6), middle), 2);
    EXPECT_EQ(view.RunAt(r.left - 40, middle), -1);
    EXPECT_EQ(view.RunAt(at(3.0), middle), -1);

    const float chi0 = nmf->GetChiSquarePerRun()->At(0, 0), chi2 = nmf->GetChiSquarePerRun()->At(0, 2);
    window->RemoveRun(1);
    ASSERT_EQ(nmf->RunCount(), 2);
    ASSERT_EQ(view.Second()->Columns(), 2u);
    EXPECT_EQ(view.Second()->At(0, 0), chi0);
    EXPECT_EQ(view.Second()->At(0, 1), chi2);
    window->RemoveRun(0);
    EXPECT_EQ(nmf->RunCount(), 1);
    // A single run has nothing to offer.
    EXPECT_EQ(view.RunAt(at(0.0), middle), -1);
}

// The NMF plots at the window's first size, read from their picture: in each half the first
// point of the curve (and its marker) lies clear of the y axis line, and no label of a y tick
// reaches the tick mark.
TEST_F(AnalysisWindowTest, NMFCurvesStartClearOfTheirAxisAndLabelsClearOfTheirTicks)
{
    CAnalysisWnd* window = Open(AddNMF(3));
    ASSERT_NE(window, nullptr);
    const CAnalysisCorView& view = *window->CorrectionView();
    const QImage& plot = view.PlotPicture();
    ASSERT_FALSE(plot.isNull());
    EXPECT_FALSE(GrabToPng(window, "analysis_window_nmf").isEmpty());
    const QRgb curve = vx::ToQColor(view.Colours().foreground).rgb();
    const auto drawn = [&](int x, int y) { return plot.pixel(x, y) == curve; };
    const int h = plot.height();
    for (const auto& [top, bottom] : {std::pair{22, h / 2 - 2}, std::pair{h / 2 + 22, h - 2}}) {
        SCOPED_TRACE(top);
        // The axis line: the first column drawn over most of the half.
        int axis = -1;
        for (int x = 0; x < plot.width() / 2 && axis < 0; ++x) {
            int run = 0;
            for (int y = top; y <= bottom; ++y)
                run += drawn(x, y) ? 1 : 0;
            if (run > (bottom - top) / 2)
                axis = x;
        }
        ASSERT_GT(axis, 10);
        int axisTop = top, axisBottom = bottom;
        while (!drawn(axis, axisTop))
            ++axisTop;
        while (!drawn(axis, axisBottom))
            --axisBottom;
        // Nothing of the curve in the first pixels right of the axis, above the x axis.
        for (int y = axisTop; y < axisBottom; ++y)
            for (int x = axis + 1; x <= axis + 4; ++x)
                EXPECT_FALSE(drawn(x, y)) << x << "," << y;
        // Each tick: five pixels left of the axis, with nothing of its label above or below
        // it, nor in a gap of three pixels before it (where it would read as a minus).
        int ticks = 0;
        for (int y = axisTop; y <= axisBottom; ++y) {
            bool tick = true;
            for (int x = axis - 5; x < axis; ++x)
                tick = tick && drawn(x, y);
            if (!tick)
                continue;
            ++ticks;
            for (int dy : {-3, -2, -1, 0, 1, 2, 3})
                for (int x = axis - 8; x < (dy == 0 ? axis - 5 : axis); ++x)
                    EXPECT_FALSE(drawn(x, y + dy)) << "tick at " << y << ": " << x << "," << y + dy;
        }
        EXPECT_GE(ticks, 2);
    }
}

TEST_F(AnalysisWindowTest, MapsAndTheResidualSetJoinTheProject)
{
    TAnalysisPCA* pca = AddPCA();
    CAnalysisWnd* window = Open(pca);
    ASSERT_NE(window, nullptr);
    window->Panel()->m_btnCreateMap->click();
    ASSERT_NE(set->m_pMapList, nullptr);
    EXPECT_EQ(set->m_pMapList->GetCount(), 2);

    const std::string residualName = std::string(TGuiFixture::kSetName) + "_" + pca->GetName() + "_ResidualError";
    const auto countNamed = [&] {
        int n = 0;
        for (TCSISet* s : *Project().m_pCSISetList)
            n += s->GetName() == residualName;
        return n;
    };
    for (int round = 0; round < 2; ++round) {
        window->Panel()->m_btnResidual->click();
        QApplication::processEvents();
        EXPECT_EQ(countNamed(), 1) << "round " << round;
    }
    TCSISet* residual = Project().m_pCSISetList->FindByName(residualName);
    ASSERT_NE(residual, nullptr);
    EXPECT_TRUE(vx::FileExists(residual->GetFilePath()));
    EXPECT_EQ(Project().m_pWorkSet, set);
    EXPECT_EQ(Frame().AnalysisWindows().GetFirst(), window);

    // An analysis of the old residual set goes with it, and so does every analysis
    // window, the one whose button asked among them: nothing touches it afterwards.
    report.AllowDefaults();
    Project().SetWorkSet(residual);
    ASSERT_EQ(Project().m_pWorkSet, residual);
    AddPCA();
    Project().SetWorkSet(set);
    ASSERT_EQ(Project().m_pWorkSet, set);
    QPointer<CAnalysisWnd> asking = Open(pca);
    ASSERT_FALSE(asking.isNull());
    asking->Panel()->m_btnResidual->click();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(asking.isNull());
    EXPECT_EQ(countNamed(), 1);
    ASSERT_EQ(Project().m_analyses.size(), 1u);
    EXPECT_EQ(Project().m_analyses.front(), pca);
}

// The plots' menus: each command says what it does in the main frame's status bar (and the
// zoom menu's Copy in a tooltip) while the mouse is over it, and does it when chosen.
TEST_F(AnalysisWindowTest, PlotMenuCommandsShowTheirPrompts)
{
    CAnalysisWnd* window = Open(AddPCA());
    ASSERT_NE(window, nullptr);
    CAnalysisPCView& view = *window->ComponentView();
    QApplication::clipboard()->clear();
    const TMenuPrompt copy = ChooseFromMenu(Frame(), view.viewport(), Qt::RightButton, QPoint(40, 40), "Copy");
    ASSERT_TRUE(copy.found);
    EXPECT_EQ(copy.status, "Copy the current view to clipboard");
    EXPECT_EQ(copy.tip, "Copy to clipboard");
    EXPECT_EQ(QApplication::clipboard()->image(), view.ClientPicture().convertToFormat(QImage::Format_RGB32));
    const auto prompts = MenuPrompts(Frame(), view.viewport(), Qt::RightButton, QPoint(40, 40));
    EXPECT_EQ(prompts, (std::vector<std::pair<QString, QString>>{
                           {"Copy", "Copy the current view to clipboard"},
                           {"Export", "Export the plotted data to a text file"}}));

    // The chi-square of an NMF's second run, clicked: the menu offers to remove it.
    TAnalysisNMF* nmf = AddNMF(3);
    window = Open(nmf);
    ASSERT_NE(window, nullptr);
    CAnalysisCorView& runs = *window->CorrectionView();
    const vx::TPointI marker = runs.PlotFrame().DataToPixel({1.0, 0.0});
    const QPoint client(marker.x - runs.ScrollX(), runs.PlotFrame().GetPixelRect().bottom - runs.ScrollY());
    const TMenuPrompt remove = ChooseFromMenu(Frame(), runs.viewport(), Qt::LeftButton, client, "Remove run 1");
    ASSERT_TRUE(remove.found);
    EXPECT_EQ(remove.status, "Remove the result from this run");
    EXPECT_EQ(nmf->RunCount(), 2);
}

// A bare zoom view whose plot is only its size.
class CSizeOnlyView : public CZoomView {
public:
    void Refresh() override
    {
        UpdateScrollBars();
        MakePlotPicture(0xffffff);
        DrawView();
    }
};

TEST(ZoomView, ClicksZoomByHalfAndAPlotThatFitsShrinksToTheWindow)
{
    CSizeOnlyView view;
    view.resize(300, 300);
    view.show();
    QApplication::processEvents();
    const QSize client = view.viewport()->size();
    view.SetPlotSize(client.width() + 100, 400);
    view.Refresh();
    EXPECT_EQ(view.PlotHeight(), 400);

    const struct {
        int mode;
        int height;
    } clicks[] = {
        {CZoomView::kModeZoomIn, 600},
        {CZoomView::kModeZoomIn, 900},
        {CZoomView::kModeZoomOut, 600},
        {CZoomView::kModeZoomOut, 400},
        // Below the window: the window's height less 20.
        {CZoomView::kModeZoomOut, client.height() - 20},
    };
    for (const auto& c : clicks) {
        view.SetMouseMode(c.mode);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(50, 50));
        EXPECT_EQ(view.PlotHeight(), c.height);
        const QScrollBar* bar = view.verticalScrollBar();
        EXPECT_EQ(bar->maximum(), std::max(0, c.height - client.height()));
        // A larger plot is shown from a position inside it; a smaller one centred.
        if (c.height > client.height()) {
            EXPECT_GE(view.ScrollY(), 0);
            EXPECT_LE(view.ScrollY(), c.height - client.height());
        } else {
            EXPECT_EQ(view.ScrollY(), -(client.height() - c.height) / 2);
        }
    }

    // Scrolling stops at the ends; the picture follows the position.
    view.SetMouseMode(CZoomView::kModeZoomIn);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(50, 50));
    view.verticalScrollBar()->setValue(100000);
    EXPECT_EQ(view.ScrollY(), view.PlotHeight() - client.height());
    view.verticalScrollBar()->setValue(-5);
    EXPECT_EQ(view.ScrollY(), 0);
}

}  // namespace
