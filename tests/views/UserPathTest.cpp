// The voxel window driven as the user drives it: panel buttons clicked, numbers typed,
// keys sent to the main window and windows closed, with no command-state refresh in
// between. The main window's commands and the panel must follow on their own.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <cmath>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "app/dialogs/CAddImagesDlg.h"
#include "app/dialogs/CCreateMapDlg.h"
#include "app/dialogs/CPeakRemovalDlg.h"
#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/CResizeMapDlg.h"
#include "app/dialogs/CSetParametersDlg.h"
#include "app/CVexaraApp.h"
#include "app/CWindowingToolBar.h"
#include "app/CommandIds.h"
#include "app/TAnalysisWndList.h"
#include "model/TAnalysis.h"
#include "model/TMap.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/TRecordingCanvas.h"
#include "support/Bytes.h"
#include "support/CSISetBuilders.h"
#include "support/DialogScript.h"
#include "support/GuiMenu.h"
#include "support/ScriptedFileChooser.h"
#include "support/TestFiles.h"
#include "processing/TProcessHistory.h"
#include "views/analysis/CAnalysisCorView.h"
#include "views/analysis/CAnalysisDlgView.h"
#include "views/analysis/CAnalysisScoreView.h"
#include "views/analysis/CAnalysisWnd.h"
#include "views/analysis/CIntegralListView.h"
#include "views/analysis/CIntegralWnd.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/spectrum/TSharedToolParams.h"
#include "VoxelWindowFixture.h"

using namespace vx::test;
using P = CVoxelWndDlgView;

namespace {

class UserPathTest : public OpenVoxelWindowTest {
protected:
    void SetUp() override
    {
        OpenVoxelWindowTest::SetUp();
        panel = window->Panel();
    }

    // Types a number into a panel edit as the user does: select all, type.
    void Type(int id, const char* text)
    {
        QLineEdit* edit = panel->Edit(id);
        ASSERT_TRUE(edit->isEnabled()) << id;
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void Press(int id)
    {
        QAbstractButton* button = panel->Button(id);
        ASSERT_TRUE(button->isEnabled()) << id;
        QTest::mouseClick(button, Qt::LeftButton);
        QApplication::processEvents();
    }
    // A left click on the spectrum plot of the window's view at a spectral point.
    void ClickPoint(CVoxelWindow* on, int point)
    {
        CVoxelWndView* view = on->View();
        const TPixelRect r = view->m_plot.GetPixelRect();
        const QPoint at(view->m_plot.DataToPixel({static_cast<float>(point), 0.0f}).x, (r.top + r.bottom) / 2);
        QTest::mouseMove(view, at);
        QTest::mouseClick(view, Qt::LeftButton, {}, at);
    }
    bool ApplyEnabled() const { return panel->Button(P::kApply)->isEnabled(); }
    // A map of the peak with the Map tool: the dialog names it, two clicks pick the peak, Apply.
    void MakeMap(const char* name)
    {
        TDialogScript script([name](QDialog& d) {
            return ShowAndAct<CCreateMapDlg>(d, [name](CCreateMapDlg& dialog) {
                dialog.Name()->setText(name);
                dialog.accept();
            });
        });
        Press(P::kMap);
        ClickPoint(window, 170);
        ClickPoint(window, 195);
        Press(P::kApply);
    }
    // The saved project opened again, with the window of voxel (3, 4) as at the start.
    void Reopen()
    {
        session.reset();
        session = std::make_unique<TGuiSession>(fixture);
        ASSERT_TRUE(session->Ok());
        set = session->Project()->m_pWorkSet;
        axial = session->FrameTitled("(Axial) axial_1 @ 100%");
        ASSERT_NE(axial, nullptr);
        window = Open(3, 4);
        ASSERT_NE(window, nullptr);
        window->resize(700, 600);
        view = window->View();
        panel = window->Panel();
    }
    // Enabled states of Undo, Redo and Clear all as the menu and toolbar show them now.
    std::vector<bool> HistoryCommands()
    {
        return {Frame().Action(cmd::EditUndo)->isEnabled(), Frame().Action(cmd::EditRedo)->isEnabled(),
                Frame().Action(cmd::EditClearAll)->isEnabled()};
    }

    CVoxelWndDlgView* panel = nullptr;
};

// Each command of the panel's popups says what it does in the main window's status bar
// while the mouse is over it.
TEST_F(UserPathTest, PanelPopupCommandsShowTheirPrompts)
{
    std::map<QString, QString> prompts;
    for (int id : {P::kFilter, P::kSpatial, P::kOutput, P::kBaseline, P::kLipid}) {
        QAbstractButton* button = panel->Button(id);
        ASSERT_TRUE(button->isEnabled()) << id;
        const auto shown = MenuPrompts(Frame(), button, Qt::LeftButton, button->rect().center());
        EXPECT_FALSE(shown.empty()) << id;
        for (const auto& [text, prompt] : shown) {
            EXPECT_FALSE(prompt.isEmpty()) << text.toStdString();
            prompts[text] = prompt;
        }
    }
    EXPECT_EQ(prompts["Lorentzian"], "Apodize the spectra with a Lorentzian line width");
    EXPECT_EQ(prompts["EPS File"], "Export the shown spectra as an EPS picture");
    EXPECT_EQ(prompts["Singal Space Projection"], "Suppress the lipid signal by signal space projection");
}

TEST_F(UserPathTest, UndoRedoAndClearAllFollowStepsAppliedFromTheVoxelWindow)
{
    const auto before = AllSamples(*set);
    EXPECT_EQ(HistoryCommands(), (std::vector<bool>{false, false, false}));

    // Phase tool: a constant phase typed into the panel, then Apply.
    Press(P::kPhase);
    Type(P::kPhase0, "30");
    Press(P::kApply);
    ASSERT_EQ(session->Project()->m_history->DoneSteps().size(), 1u);
    EXPECT_TRUE(AllSamples(*set) != before);
    EXPECT_EQ(HistoryCommands(), (std::vector<bool>{true, false, true}));
    // The Undo button's drop-down lists the step, which says what choosing it does.
    auto* undo = qobject_cast<QToolButton*>(Frame().ToolBars()[0]->widgetForAction(Frame().Action(cmd::EditUndo)));
    ASSERT_NE(undo, nullptr);
    const auto steps = MenuPrompts(Frame(), undo, Qt::LeftButton, QPoint(undo->width() - 3, undo->height() / 2));
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].second, "Undo the steps down to this one");

    // Ctrl+Z on the main window undoes it; nothing is left to undo.
    Frame().activateWindow();
    QApplication::setActiveWindow(&Frame());
    QTest::keyClick(&Frame(), Qt::Key_Z, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(session->Project()->m_history->DoneSteps().size(), 0u);
    EXPECT_EQ(HistoryCommands(), (std::vector<bool>{false, true, false}));

    // A one-click command of the panel: zero filling is a new step, and the undone one goes.
    Press(P::kZeroFill);
    EXPECT_EQ(set->m_nPoints, 2 * TGuiFixture::kPoints);
    EXPECT_EQ(HistoryCommands(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
}

TEST_F(UserPathTest, IntegralToolTakesRegionAfterRegionAndStartsAgainFromItsButton)
{
    Press(P::kIntegral);
    CIntegralWnd* integrals = window->IntegralWindow();
    ASSERT_NE(integrals, nullptr);
    // One region after the other: Apply is offered again once the next region's ends are set.
    for (const auto& [start, end] : {std::pair{170, 195}, std::pair{100, 120}}) {
        ClickPoint(window, start);
        ClickPoint(window, end);
        EXPECT_TRUE(ApplyEnabled()) << start;
        const int count = integrals->List()->topLevelItemCount();
        Press(P::kApply);
        EXPECT_EQ(integrals->List()->topLevelItemCount(), count + 1) << start;
        EXPECT_FALSE(ApplyEnabled()) << start;
    }
    // The button pressed again starts the tool afresh: no end set, Apply offered as at first.
    Press(P::kIntegral);
    EXPECT_EQ(window->View()->GetToolMode(), 16);
    EXPECT_TRUE(integrals->isVisible());
    EXPECT_TRUE(ApplyEnabled());
    Press(P::kApply);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Select the region for integraion first."});
    EXPECT_EQ(integrals->List()->topLevelItemCount(), 2);
}

TEST_F(UserPathTest, ClosingAWindowDuringLivePhasingGivesTheSamplesBack)
{
    CVexaraApp app;
    app.SetSetting(3, 1);  // "PhaseMode" 1: the set follows the tool
    const auto before = AllSamples(*set);
    const bool modified = session->Project()->IsModified();
    // Phases the work set from the panel of a window, then closes what the case closes.
    const auto phaseThenClose = [&](CVoxelWindow* on, const std::function<void()>& close) {
        panel = on->Panel();
        Press(P::kPhase);
        Type(P::kPhase0, "45");
        ASSERT_TRUE(AllSamples(*set) != before);
        close();
        QApplication::processEvents();
        EXPECT_TRUE(AllSamples(*set) == before);
        EXPECT_TRUE(session->Project()->m_history->DoneSteps().empty());
        EXPECT_EQ(session->Project()->IsModified(), modified);
    };
    {
        SCOPED_TRACE("voxel window closed");
        phaseThenClose(window, [&] { window->close(); });
    }
    {
        SCOPED_TRACE("averaged window closed");
        TMouseEvent event;
        Frame().OpenAverageWindow(Voxel(2, 2), event);
        auto* average = dynamic_cast<CVoxelWindow*>(Frame().AverageWindows().GetLast());
        ASSERT_NE(average, nullptr);
        phaseThenClose(average, [&] { average->close(); });
    }
    {
        SCOPED_TRACE("image window of the voxel window closed");
        CVoxelWindow* again = Open(5, 5);
        ASSERT_NE(again, nullptr);
        phaseThenClose(again, [&] { axial->close(); });
        EXPECT_EQ(Frame().SingleVoxelWindows().GetCount(), 0);
    }
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
}

TEST_F(UserPathTest, PanelNumbersThatMakeNoSenseAreRefusedAndChangeNothing)
{
    const auto before = AllSamples(*set);
    // Peak removal: more peaks than the spectra have points keeps the dialog open.
    std::vector<bool> openAfterOK;
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CPeakRemovalDlg>(d, [&](CPeakRemovalDlg& dialog) {
            dialog.NumPeaks()->setText(QString::number(TGuiFixture::kPoints + 1));
            QTest::mouseClick(dialog.Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
            openAfterOK.push_back(dialog.isVisible());
            dialog.reject();
        });
    });
    Press(P::kPeakRemoval);
    EXPECT_EQ(openAfterOK, std::vector<bool>{true});
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Please enter an integer between 1 and 256."});
    EXPECT_EQ(view->GetToolMode(), 0);

    // Zoom: a ymin above the ymax is not drawn, and Apply refuses it with the tool kept.
    report.Clear();
    Press(P::kZoom);
    const TSpectrumDisplayParams shown = view->GetDisplayParams();
    const QString ymax = panel->Edit(P::kYMax)->text();
    Type(P::kYMin, QString::number(ymax.toDouble() + 50).toUtf8().constData());
    EXPECT_EQ(view->GetDisplayParams().m_fYMin, shown.m_fYMin);
    Press(P::kApply);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Please enter a ymin smaller than ymax (" + ymax.toStdString() + ")."});
    EXPECT_EQ(view->GetToolMode(), 3);
    EXPECT_EQ(view->GetDisplayParams().m_fYMin, shown.m_fYMin);
    EXPECT_EQ(view->GetDisplayParams().m_fYMax, shown.m_fYMax);
    EXPECT_TRUE(AllSamples(*set) == before);
    EXPECT_TRUE(session->Project()->m_history->DoneSteps().empty());
}

// Zoom with a ymin beyond what a float holds: the view never takes it as 0 (or as the digits
// before its exponent), and Apply refuses it with the range, the tool kept and nothing drawn.
TEST_F(UserPathTest, PanelNumbersAFloatCannotHoldAreRefusedAtApply)
{
    Press(P::kZoom);
    const TSpectrumDisplayParams shown = view->GetDisplayParams();
    const QString before = panel->Edit(P::kYMin)->text();
    Type(P::kYMax, "0.5");
    Type(P::kYMin, "1e400");
    Press(P::kApply);
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"Please enter a number between -3.40282e+38 and 3.40282e+38."});
    EXPECT_EQ(view->GetToolMode(), 3);
    EXPECT_EQ(view->GetDisplayParams().m_fYMin, shown.m_fYMin);
    // The box shows its number from before the edit again, selected for the next.
    EXPECT_EQ(panel->Edit(P::kYMin)->selectedText(), before);

    // Corrected, the same Apply zooms.
    report.Clear();
    Type(P::kYMin, "-0.5");
    Press(P::kApply);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
    EXPECT_EQ(view->GetToolMode(), 0);
    EXPECT_FLOAT_EQ(view->GetDisplayParams().m_fYMin, -0.5f);
    EXPECT_FLOAT_EQ(view->GetDisplayParams().m_fYMax, 0.5f);
}

// Zoom's xstart and xend as the panel shows them keep the points they came from in every unit,
// and typed positions go to the nearest point.
TEST_F(UserPathTest, ShownPositionsKeepTheirPointsAndTypedOnesTakeTheNearest)
{
    const struct {
        int unit;
        const char *xStart, *xEnd;  // typed, or null where left as shown
        int first, last;
    } rows[] = {
        {P::kUnitData, nullptr, nullptr, 0, 255},
        {P::kUnitHz, nullptr, nullptr, 0, 255},
        {P::kUnitPPM, nullptr, nullptr, 0, 255},  // point 255 is shown as -1.65 ppm
        {P::kUnitMs, nullptr, nullptr, 0, 255},
        {P::kUnitData, "10.7", "99.4", 11, 99},
        {P::kUnitPPM, "4.01", "1.99", 142, 182},  // points 141.8 and 182.2
        {P::kUnitHz, "96", "-104", 113, 145},     // points 112.64 and 144.64
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.unit) + (row.xStart ? " typed" : " shown"));
        Press(row.unit);
        Press(P::kZoom);
        Type(P::kYMax, "500");
        if (row.xStart) {
            Type(P::kXStart, row.xStart);
            Type(P::kXEnd, row.xEnd);
        }
        Press(P::kApply);
        EXPECT_EQ(view->GetDisplayParams().m_nXStart, row.first);
        EXPECT_EQ(view->GetDisplayParams().m_nXEnd, row.last);
        // Zoom applied with nothing typed shows the whole spectrum again.
        Press(P::kZoom);
        Press(P::kApply);
    }
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
}

// Every number box shows the whole number the program writes into it, at the size its window
// or dialog opens with: the voxel window's zoom range (the y range with five decimals, the
// positions with two) for the values of an RDA set and of raw data, and a dialog's numeric
// edits given the widest numbers they show.
TEST_F(UserPathTest, NumberBoxesShowTheWholeNumbersTheyHold)
{
    // The pixels a box shows its text in: its contents less the two pixels Qt keeps each side.
    const auto expectWhole = [](const QLineEdit* box) {
        QStyleOptionFrame option;
        option.initFrom(box);
        option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
        const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box);
        EXPECT_LE(box->fontMetrics().horizontalAdvance(box->text()), contents.width() - 4)
            << box->text().toStdString();
    };
    const struct {
        int unit;
        float largest;  // the set's largest magnitude, the y range's ends
    } zooms[] = {{P::kUnitHz, 38.35935f}, {P::kUnitPPM, 123456.78f}};
    for (const auto& zoom : zooms) {
        SCOPED_TRACE(zoom.largest);
        set->NormalizeTo(zoom.largest);
        set->UpdateDataRange();
        session->Project()->ResetSpectrumDisplay(true);
        Press(zoom.unit);
        Press(P::kZoom);
        for (int id : {P::kYMin, P::kYMax, P::kXStart, P::kXEnd})
            expectWhole(panel->Edit(id));
        Press(P::kCancel);
    }
    EXPECT_GE(panel->Edit(P::kYMin)->text().size(), 12) << "a number of twelve characters or more";

    CSetParametersDlg parameters;
    parameters.m_fGain = 1234567.0625f;
    parameters.m_fFrequency = 127.73421f;
    for (int k = 0; k < 3; ++k) {
        parameters.m_angulation[k] = -179.99998f;
        parameters.m_offCentre[k] = -123.45678f;
    }
    parameters.show();
    for (const CNumEdit* box : parameters.findChildren<CNumEdit*>())
        expectWhole(box);
}

// The first curve drawn on `dc` after its axes (the x axis: the first long horizontal line)
// keeps off both axis lines: above the x axis and right of the y axis, from its first point.
void ExpectCurveOffItsAxes(const vx::TRecordingCanvas& dc)
{
    const std::vector<vx::TCanvasOp>& ops = dc.ops;
    size_t at = 0;
    int left = 0, bottom = 0;
    for (; at < ops.size(); ++at)
        if (ops[at].kind == "line" && ops[at].args[1] == ops[at].args[3] && ops[at].args[2] - ops[at].args[0] > 20) {
            left = ops[at].args[0];
            bottom = ops[at].args[1];
            break;
        }
    ASSERT_LT(at, ops.size());
    // Past the x axis's ticks and labels to the curve's pen. The axis line drawn last before
    // it runs to both axes' edges: the curve's frame, a few pixels inside them, draws its own
    // shorter line first, and a curve may stand on that frame's left edge.
    while (at < ops.size() && ops[at].kind != "pen") {
        const vx::TCanvasOp& op = ops[at];
        if (op.kind == "line" && op.args[1] == op.args[3] && op.args[1] == bottom && op.args[0] < left)
            left = op.args[0];
        ++at;
    }
    int segments = 0;
    if (at + 1 < ops.size() && ops[at + 1].kind == "move") {
        EXPECT_GT(ops[at + 1].args[0], left) << "the curve starts on the y axis";
    }
    for (++at; at < ops.size() && ops[at].kind != "fill"; ++at) {
        if (ops[at].kind != "line")
            continue;
        ++segments;
        EXPECT_LT(ops[at].args[3], bottom) << "segment " << segments << " ends on the x axis";
        EXPECT_GT(ops[at].args[2], left) << "segment " << segments << " ends on the y axis";
    }
    EXPECT_GT(segments, 0);
}

// An NMF of three runs from the panel: the analysis window's curves label their axes with
// distinct numbers, evenly spaced, that are the values at their ticks (read back through the
// plot's own frame), and the axes that count runs and updates mark whole numbers only.
TEST_F(UserPathTest, AnalysisPlotAxesShowTheValuesAtTheirTicks)
{
    Press(P::kNMF);
    ClickPoint(window, 150);
    ClickPoint(window, 200);
    Type(P::kNumRuns, "3");
    // All voxels: the box keeps the choice of an earlier analysis, so it is cleared only when set.
    if (panel->Button(P::kSelectedOnly)->isChecked())
        QTest::mouseClick(panel->Button(P::kSelectedOnly), Qt::LeftButton);
    Press(P::kApply);
    auto* analysis = dynamic_cast<CAnalysisWnd*>(Frame().AnalysisWindows().GetFirst());
    ASSERT_NE(analysis, nullptr);
    CAnalysisCorView& view = *analysis->CorrectionView();
    ASSERT_TRUE(view.IsNMF());
    ASSERT_EQ(view.Second()->Columns(), 3u);
    vx::TRecordingCanvas dc;
    view.DrawPlot(dc);

    // Tick labels by axis: y labels are left-aligned, x labels centred; the upper curve
    // (errors of the last run) lies above the middle of the plot, the runs' curve below.
    struct TLabel {
        int at;  // pixel along the axis
        double value;
    };
    std::map<std::pair<bool, bool>, std::vector<TLabel>> axes;  // (lower, x axis)
    const unsigned yAlign = vx::AlignLeft | vx::AlignVCenter, xAlign = vx::AlignCenter | vx::AlignVCenter;
    for (const vx::TCanvasOp& op : dc.OpsOf("text")) {
        const unsigned align = static_cast<unsigned>(op.args[2]);
        if (align != yAlign && align != xAlign)
            continue;  // the titles
        double value = 0.0;
        ASSERT_TRUE(vx::ParseDouble(op.text, value)) << op.text;
        const bool x = align == xAlign;
        axes[{op.args[1] > view.PlotHeight() / 2, x}].push_back({x ? op.args[0] : op.args[1], value});
    }
    for (const auto& [axis, labels] : axes) {
        SCOPED_TRACE(std::string(axis.first ? "lower " : "upper ") + (axis.second ? "x" : "y"));
        ASSERT_GE(labels.size(), 2u);
        const double step = labels[1].value - labels[0].value;
        EXPECT_NE(step, 0.0) << "neighbouring labels read alike";
        for (size_t i = 1; i < labels.size(); ++i)
            EXPECT_NEAR(labels[i].value - labels[i - 1].value, step, std::fabs(step) * 1e-3) << i;
        if (axis.second) {
            for (const TLabel& label : labels)
                EXPECT_EQ(label.value, std::round(label.value));
        }
    }
    // The runs' curve is the frame the view drew last: each label is the value at its tick.
    const TPlotFrame& frame = view.PlotFrame();
    const TPixelRect r = frame.GetPixelRect();
    const double perPixelY = std::fabs(double(frame.m_fTop) - frame.m_fBottom) / (r.bottom - r.top);
    for (const TLabel& label : axes[{true, false}])
        EXPECT_NEAR(label.value, frame.PixelToData(r.left, label.at).y, perPixelY) << label.at;
    const double perPixelX = std::fabs(double(frame.m_fX1) - frame.m_fX0) / (r.right - r.left);
    for (const TLabel& label : axes[{true, true}])
        EXPECT_NEAR(label.value, frame.PixelToData(label.at, r.bottom).x, perPixelX) << label.at;

    // Every label of the score maps' scales lies inside its pane, and the errors of the last
    // run lie inside their plot, off its axis lines.
    vx::TRecordingCanvas nmfScores;
    analysis->ScoreView()->DrawPlot(nmfScores);
    for (const vx::TCanvasOp& op : nmfScores.OpsOf("text"))
        EXPECT_LE(op.args[0] + nmfScores.TextExtent(op.text).cx, analysis->ScoreView()->PlotWidth()) << op.text;
    ExpectCurveOffItsAxes(dc);

    // A PCA of the same peak: each score map's scale writes its two ends differently.
    Press(P::kPCA);
    ClickPoint(window, 150);
    ClickPoint(window, 200);
    Press(P::kApply);
    analysis = dynamic_cast<CAnalysisWnd*>(Frame().AnalysisWindows().GetFirst());
    ASSERT_NE(analysis, nullptr);
    vx::TRecordingCanvas scores;
    analysis->ScoreView()->DrawPlot(scores);
    const std::vector<std::string> ends = scores.Texts();  // bottom, top of each map
    ASSERT_EQ(ends.size(), 2u * SharedToolParams().components);
    for (size_t i = 0; i + 1 < ends.size(); i += 2)
        EXPECT_NE(ends[i], ends[i + 1]) << "map " << i / 2;
}

// A write of the project file that is no save (Project > Add Images closed with OK after an
// image's orientation was chosen again) writes no analysis made from the work set's unsaved
// processing: one saved before stays in the file as it was saved, a new one reaches the file
// with the set's save. Nor does it write a display or a computed flag other than the saved
// ones. The project closed without saving opens again with no message.
TEST_F(UserPathTest, AnAnalysisOfUnsavedProcessingReachesTheProjectFileWithItsSetsSave)
{
    const auto pca = [&](int first, int last) {
        Press(P::kPCA);
        ClickPoint(window, first);
        ClickPoint(window, last);
        if (auto* selectedOnly = qobject_cast<QAbstractButton*>(panel->Button(P::kSelectedOnly));
            selectedOnly->isChecked())
            QTest::mouseClick(selectedOnly, Qt::LeftButton);
        Press(P::kApply);
    };
    const auto addNoImages = [&] {
        TDialogScript script([](QDialog& d) {
            return ShowAndAct<CAddImagesDlg>(d, [](CAddImagesDlg& dialog) {
                dialog.List()->topLevelItem(0)->setSelected(true);
                dialog.OrientationRadio(2)->click();
                dialog.accept();
            });
        });
        Frame().Action(cmd::ProjectAddImages)->trigger();
    };
    // File > Exit, answering the save question, and the project opened again.
    const auto closeAndReopen = [&](vx::ReportAnswer save) {
        {
            TScriptedReport atExit;
            atExit.PlanAnswer(vx::ReportAnswer::Yes);
            atExit.PlanAnswer(save);
            Frame().close();
            EXPECT_EQ(atExit.Messages(), std::vector<std::string>{});
        }
        Reopen();
    };

    // The display block of the project file: flags, x start, x end, y minimum, y maximum.
    const auto displayBlock = [&] { return ReadBytes(session->Project()->GetProjectFilePath()).substr(4, 20); };

    // A PCA saved with its set, then made again from zero-filled samples, and a PCA of
    // points the saved set does not have.
    pca(150, 200);
    ASSERT_TRUE(session->Project()->SaveWorkSetAndProject(false));
    const std::string savedDisplay = displayBlock();
    const TFloatMatrix saved = session->Project()->m_analyses.front()->Data();
    Press(P::kZeroFill);
    auto* analysis = dynamic_cast<CAnalysisWnd*>(Frame().AnalysisWindows().GetFirst());
    ASSERT_NE(analysis, nullptr);
    QTest::mouseClick(analysis->Panel()->m_btnUpdate, Qt::LeftButton);
    ASSERT_FALSE(session->Project()->m_analyses.front()->Data() == saved);
    pca(2 * TGuiFixture::kPoints - 100, 2 * TGuiFixture::kPoints - 50);
    ASSERT_EQ(session->Project()->m_analyses.size(), 2u);
    addNoImages();
    // The display of the zero-filled points, not saved, is not in the file either.
    EXPECT_EQ(displayBlock(), savedDisplay);
    closeAndReopen(vx::ReportAnswer::No);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
    ASSERT_EQ(session->Project()->m_analyses.size(), 1u);
    EXPECT_TRUE(session->Project()->m_analyses.front()->Data() == saved);

    // Saved with the zero-filled set at the exit, the new PCA is in the file.
    Press(P::kZeroFill);
    pca(2 * TGuiFixture::kPoints - 100, 2 * TGuiFixture::kPoints - 50);
    addNoImages();
    closeAndReopen(vx::ReportAnswer::Yes);
    EXPECT_EQ(Int32LEAt(displayBlock(), 8), 2 * TGuiFixture::kPoints - 1) << "x end";
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
    ASSERT_EQ(session->Project()->m_analyses.size(), 2u);
    EXPECT_GT(session->Project()->m_analyses.back()->LastPoint(), TGuiFixture::kPoints);

    // Saved showing magnitudes, which the open shows as the real part; a step then leaves
    // the PCA of the saved samples not computed, which the file must not say of them.
    Frame().Action(cmd::DisplayMagnitude)->trigger();
    ASSERT_TRUE(session->Project()->SaveWorkSetAndProject(false));
    const std::string magnitudes = displayBlock();
    closeAndReopen(vx::ReportAnswer::No);
    ASSERT_NE(session->Project()->m_display.m_nFlags, Int32LEAt(magnitudes, 0));
    ASSERT_TRUE(session->Project()->m_analyses.back()->IsComputed());
    Press(P::kZeroFill);
    addNoImages();
    EXPECT_EQ(displayBlock(), magnitudes);
    closeAndReopen(vx::ReportAnswer::No);
    EXPECT_TRUE(session->Project()->m_analyses.back()->IsComputed());
}

// A map made with the Map tool shows its range in the windowing toolbar at once, while the
// voxel window it was made in stays active, and the toolbar sets the range of that map: the
// image window the voxel window was opened from is the one the toolbar works on.
TEST_F(UserPathTest, TheWindowingBarShowsTheMapJustMade)
{
    CWindowingToolBar* bar = Frame().WindowingBar();
    ASSERT_EQ(Frame().MdiArea()->currentSubWindow(), window);
    // The axial image holds 0 .. 1000 with the window 0 .. 1000, and no map yet.
    EXPECT_EQ(bar->ContrastEdit()->text(), "1000");
    EXPECT_FALSE(bar->MapMaxEdit()->isEnabled());
    MakeMap("NAA");
    const TMap* map = set->FindMap("NAA_map");
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(Frame().MdiArea()->currentSubWindow(), window);
    // The overlay keeps its window in whole steps of the stored image: within one of them.
    const float step = (map->displayMax - map->displayMin) / 1000.0f;
    EXPECT_TRUE(bar->MapMinEdit()->isEnabled());
    EXPECT_NEAR(bar->MapMinEdit()->text().toFloat(), map->displayMin, step);
    EXPECT_NEAR(bar->MapMaxEdit()->text().toFloat(), map->displayMax, step);
    EXPECT_GT(map->displayMax, map->displayMin + 10 * step);
    EXPECT_EQ(bar->ContrastEdit()->text(), "1000");

    const float half = (map->displayMin + map->displayMax) / 2;
    bar->MapMaxEdit()->selectAll();
    QTest::keyClicks(bar->MapMaxEdit(), QString::fromStdString(FloatToString(half, 3)));
    QTest::keyClick(bar->MapMaxEdit(), Qt::Key_Return);
    EXPECT_NEAR(set->FindMap("NAA_map")->displayMax, half, 0.001f);
    EXPECT_NEAR(axial->GetMapDisplayMax(), half, step);
}

// Each command that changes what the project file or a map file holds leaves the project to
// be saved: closing the main window (File > Exit) asks the save question after it.
TEST_F(UserPathTest, CommandsThatChangeWhatTheFilesHoldAreOfferedForSavingAtExit)
{
    const auto analyse = [&](int tool, const char* runs = "1") {
        Press(tool);
        ClickPoint(window, 150);
        ClickPoint(window, 200);
        if (tool == P::kNMF)
            Type(P::kNumRuns, runs);
        // Over all voxels: none is selected.
        if (auto* selectedOnly = qobject_cast<QAbstractButton*>(panel->Button(P::kSelectedOnly));
            selectedOnly->isChecked())
            QTest::mouseClick(selectedOnly, Qt::LeftButton);
        Press(P::kApply);
        EXPECT_EQ(Frame().AnalysisWindows().GetCount(), 1);
    };
    const auto saved = [&] { ASSERT_TRUE(session->Project()->SaveWorkSetAndProject(false)); };
    const auto analysisButton = [&](QPushButton* CAnalysisDlgView::*button) {
        auto* analysis = dynamic_cast<CAnalysisWnd*>(Frame().AnalysisWindows().GetFirst());
        ASSERT_NE(analysis, nullptr);
        QTest::mouseClick(analysis->Panel()->*button, Qt::LeftButton);
    };
    struct TRow {
        const char* name;
        std::function<void()> setUp, command;
    };
    const TRow rows[] = {
        {"PCA", {}, [&] { analyse(P::kPCA); }},
        {"NMF", {}, [&] { analyse(P::kNMF); }},
        {"metabolite map",
         {},
         [&] {
             MakeMap("N2");
             EXPECT_NE(set->FindMap("N2_map"), nullptr);
         }},
        {"component maps", [&] { analyse(P::kPCA), saved(); },
         [&] { analysisButton(&CAnalysisDlgView::m_btnCreateMap); }},
        {"first component inverted", [&] { analyse(P::kPCA), saved(); },
         [&] { analysisButton(&CAnalysisDlgView::m_btnInvert); }},
        {"NMF run removed", [&] { analyse(P::kNMF, "3"), saved(); },
         [&] {
             auto* analysis = dynamic_cast<CAnalysisWnd*>(Frame().AnalysisWindows().GetFirst());
             ASSERT_NE(analysis, nullptr);
             // Placed where its plot of the runs is within the main window.
             analysis->setGeometry(0, 0, 900, 650);
             QApplication::processEvents();
             CAnalysisCorView& runs = *analysis->CorrectionView();
             const vx::TPointI marker = runs.PlotFrame().DataToPixel({1.0, 0.0});
             const QPoint at(marker.x - runs.ScrollX(), runs.PlotFrame().GetPixelRect().bottom - runs.ScrollY());
             EXPECT_TRUE(ChooseFromMenu(Frame(), runs.viewport(), Qt::LeftButton, at, "Remove run 1").found);
         }},
        {"macro loaded",
         {},
         [&] {
             const std::string macro = fixture.ProjectFolder() + "/../lorentz.mcr";
             WriteBytes(macro, "#Vexara Macro File#\r\n\r\n<action>\r\n#Lorentzian filtering\r\ntype = 7\r\n"
                               "FilterLineWidth = 2.5\r\n</action>\r\n");
             TScriptedFileChooser chooser(macro);
             Frame().Action(cmd::MacroLoad)->trigger();
             EXPECT_EQ(session->Project()->m_history->DoneSteps().size(), 1u);
         }},
        {"map resized", [&] { AddRisingMap(*set, "rising"), saved(); },
         [&] {
             TDialogScript script([](QDialog& d) {
                 return ShowAndAct<CResizeMapDlg>(d, [](CResizeMapDlg& dialog) {
                     dialog.MapList()->setCurrentRow(0);
                     dialog.SizeEdit(0)->setText("16");
                     dialog.SizeEdit(1)->setText("16");
                     dialog.accept();
                 });
             });
             Frame().Action(cmd::MapResize)->trigger();
             EXPECT_EQ(set->FindMap("rising")->size[0], 16);
         }},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.name);
        Reopen();
        if (row.setUp)
            row.setUp();
        ASSERT_FALSE(session->Project()->IsModified());
        row.command();
        EXPECT_EQ(report.Messages(), std::vector<std::string>{});
        TScriptedReport atExit;
        atExit.PlanAnswer(vx::ReportAnswer::Yes);
        atExit.PlanAnswer(vx::ReportAnswer::No);
        Frame().close();
        EXPECT_EQ(atExit.Questions(),
                  (std::vector<std::string>{"Are you sure you want to exit?",
                                            "There were changes made to the project, would you like to save it?"}));
    }
}

}  // namespace

