#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "model/drawing/BitmapHelpers.h"
#include "model/math/TFloatMatrix.h"
#include "model/TPlotFrame.h"
#include "model/math/TPoint2D.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "platform/TRecordingCanvas.h"

using vx::TCanvasOp;
using vx::TRecordingCanvas;

namespace {

using Ints = std::vector<int>;

// 400 x 200 pixels at (10, 20); points 0..100 across, values 2 (top) .. -2 (bottom).
TPlotFrame StandardFrame()
{
    TPlotFrame f;
    f.SetPixelRect(10, 20, 410, 220);
    f.SetXRange(0.0f, 100.0f, 101, false);
    f.SetYRange(2.0f, -2.0f, false);
    return f;
}

std::vector<Ints> ArgsOf(const TRecordingCanvas& c, const std::string& kind)
{
    std::vector<Ints> out;
    for (const auto& op : c.OpsOf(kind))
        out.push_back(op.args);
    return out;
}

}  // namespace

TEST(Point2D, ArithmeticIsComponentWise)
{
    const TPoint2D a(1.5f, -2.0f), b(0.25f, 4.0f);
    const TPoint2D sum = a + b, diff = a - b;
    EXPECT_FLOAT_EQ(sum.x, 1.75f);
    EXPECT_FLOAT_EQ(sum.y, 2.0f);
    EXPECT_FLOAT_EQ(diff.x, 1.25f);
    EXPECT_FLOAT_EQ(diff.y, -6.0f);
    TPoint2D c;
    c.SetFromInt(-3, 7);
    EXPECT_FLOAT_EQ(c.x, -3.0f);
    EXPECT_FLOAT_EQ(c.y, 7.0f);
    c = a;
    EXPECT_FLOAT_EQ(c.x, 1.5f);
}

TEST(PlotFrame, DataToPixelAndBack)
{
    const TPlotFrame f = StandardFrame();
    struct Case {
        float x, y;
        int px, py;
    };
    // px = trunc((x - 0) * 400 / 100 + 10), py = trunc((2 - y) * 200 / 4 + 20)
    const Case cases[] = {{0, 2, 10, 20},     {100, -2, 410, 220}, {50, 0, 210, 120},
                          {25, 1, 110, 70},   {0.3f, 0, 11, 120},  {-0.3f, 0, 8, 120},
                          {12.6f, 1.99f, 60, 20}, {100, -2.5f, 410, 245}};
    for (const auto& c : cases) {
        const vx::TPointI p = f.DataToPixel(TPoint2D(c.x, c.y));
        EXPECT_EQ(p.x, c.px) << c.x;
        EXPECT_EQ(p.y, c.py) << c.y;
    }
    // x = 100 * (px - 10) / 400, y = 2 - 4 * (py - 20) / 200
    const TPoint2D d = f.PixelToData(110, 70);
    EXPECT_FLOAT_EQ(d.x, 25.0f);
    EXPECT_FLOAT_EQ(d.y, 1.0f);
    const TPoint2D e = f.PixelToData(12, 219);
    EXPECT_FLOAT_EQ(e.x, 0.5f);
    EXPECT_FLOAT_EQ(e.y, -1.98f);
    for (int px = 10; px <= 410; px += 40)
        for (int py = 20; py <= 220; py += 25) {
            const vx::TPointI back = f.DataToPixel(f.PixelToData(px, py));
            EXPECT_NEAR(back.x, px, 1);
            EXPECT_NEAR(back.y, py, 1);
        }
}

TEST(PlotFrame, EmptyRangesMapToTheMiddle)
{
    TPlotFrame f = StandardFrame();
    f.SetYRange(0.0f, 0.0f, false);  // an all-zero spectrum
    f.SetXRange(7.0f, 7.0f, 101, false);
    const vx::TPointI p = f.DataToPixel(TPoint2D(7.0f, 3.0f));
    EXPECT_EQ(p.x, 210);
    EXPECT_EQ(p.y, 120);
    f.SetPixelRect(5, 5, 5, 5);
    const TPoint2D d = f.PixelToData(5, 9);
    EXPECT_FLOAT_EQ(d.x, 7.0f);
    EXPECT_FLOAT_EQ(d.y, 0.0f);

    TRecordingCanvas c;
    TPlotFrame g = StandardFrame();
    g.SetYRange(0.0f, 0.0f, false);
    g.SetXRange(0.0f, 2.0f, 3, false);
    const float zeros[3] = {0, 0, 0};
    g.DrawCurve(c, zeros, false);
    EXPECT_EQ(ArgsOf(c, "move"), (std::vector<Ints>{{10, 120}}));
    EXPECT_EQ(ArgsOf(c, "line"), (std::vector<Ints>{{10, 120, 210, 120}, {210, 120, 410, 120}}));
}

TEST(PlotFrame, CurveGoesThroughEveryColumn)
{
    TPlotFrame f = StandardFrame();
    f.SetXRange(0.0f, 4.0f, 5, false);
    f.m_crCurve = 0x00ff00;
    const float v[5] = {0.0f, 1.0f, -1.0f, 0.5f, 2.0f};
    TRecordingCanvas c;
    f.DrawCurve(c, v, false);
    // column trunc(k * 400 / 4) + 10, row trunc((-2 - v) * 200 / 4) + 220
    EXPECT_EQ(ArgsOf(c, "move"), (std::vector<Ints>{{10, 120}}));
    EXPECT_EQ(ArgsOf(c, "line"), (std::vector<Ints>{{10, 120, 110, 70}, {110, 70, 210, 170},
                                                     {210, 170, 310, 95}, {310, 95, 410, 20}}));
    ASSERT_FALSE(c.OpsOf("pen").empty());
    EXPECT_EQ(c.OpsOf("pen").front().color, 0x00ff00u);
    EXPECT_TRUE(c.OpsOf("rect").empty());

    TRecordingCanvas none;
    f.DrawCurve(none, nullptr, true);
    EXPECT_TRUE(none.ops.empty());
}

TEST(PlotFrame, ManyValuesPerColumnDrawOnlyTheirExtent)
{
    TPlotFrame f;
    f.SetPixelRect(0, 0, 4, 10);
    f.SetXRange(0.0f, 9.0f, 10, false);
    f.SetYRange(10.0f, 0.0f, false);
    // Columns trunc(k * 4 / 9): 0 0 0 1 1 2 2 3 3 4; rows 10 - v.
    const float v[10] = {5, 2, 4, 8, 9, 3, 3, 7, 7, 0};
    TRecordingCanvas c;
    f.DrawCurve(c, v, true);
    EXPECT_EQ(ArgsOf(c, "move"), (std::vector<Ints>{{0, 5}}));
    EXPECT_EQ(ArgsOf(c, "line"), (std::vector<Ints>{{0, 5, 0, 8}, {0, 8, 1, 2}, {1, 2, 1, 1},
                                                     {1, 1, 2, 7}, {2, 7, 3, 3}, {3, 3, 4, 10}}));
    // Markers: a 7 x 7 square at the first value and wherever the column changes.
    EXPECT_EQ(ArgsOf(c, "rect"), (std::vector<Ints>{{-3, 2, 4, 9}, {-2, -1, 5, 6}, {-1, 4, 6, 11},
                                                     {0, 0, 7, 7}, {1, 7, 8, 14}}));
}

TEST(PlotFrame, ValuesAndVectorsStartAtTheLeftEdge)
{
    TPlotFrame f = StandardFrame();
    f.SetXRange(40.0f, 44.0f, 101, false);
    const float v[3] = {0.0f, 0.0f, 0.0f};
    TRecordingCanvas c;
    f.DrawValues(c, v, 3, false);
    EXPECT_EQ(ArgsOf(c, "move"), (std::vector<Ints>{{10, 120}}));
    EXPECT_EQ(ArgsOf(c, "line"), (std::vector<Ints>{{10, 120, 110, 120}, {110, 120, 210, 120}}));

    // A vector longer than the range draws the range only; a shorter one all it has.
    TRecordingCanvas longer, shorter;
    f.DrawVector(longer, std::vector<float>(50, 1.0f));
    EXPECT_EQ(longer.OpsOf("line").size(), 4u);
    f.DrawVector(shorter, std::vector<float>(2, 1.0f));
    EXPECT_EQ(shorter.OpsOf("line").size(), 1u);
}

TEST(PlotFrame, ZeroLineOnlyWhenZeroIsInRange)
{
    TPlotFrame f = StandardFrame();
    TRecordingCanvas c;
    f.DrawZeroLine(c);
    EXPECT_EQ(ArgsOf(c, "line"), (std::vector<Ints>{{10, 120, 410, 120}}));
    EXPECT_EQ(c.OpsOf("line")[0].color, 0xff0000u);

    f.SetYRange(3.0f, 1.0f, false);
    TRecordingCanvas above;
    f.DrawZeroLine(above);
    EXPECT_TRUE(above.ops.empty());

    // With the switch on, a curve draws the zero line first.
    f.SetYRange(1.0f, -3.0f, false);  // zero at row trunc(-3 * 200 / 4) + 220 = 70
    f.m_bShowZeroLine = true;
    f.SetXRange(0.0f, 1.0f, 2, false);
    const float v[2] = {1.0f, 1.0f};
    TRecordingCanvas curve;
    f.DrawCurve(curve, v, false);
    const auto lines = ArgsOf(curve, "line");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (Ints{10, 70, 410, 70}));
    EXPECT_EQ(curve.OpsOf("line")[1].color, f.m_crCurve);
}

TEST(PlotFrame, TickStepExamples)
{
    EXPECT_FLOAT_EQ(TPlotFrame::TickStep(0, 100, 400, 50), 15.0f);
    EXPECT_FLOAT_EQ(TPlotFrame::TickStep(0, 1, 400, 50), 0.15f);
    EXPECT_FLOAT_EQ(TPlotFrame::TickStep(1, 0, 400, 50), 0.15f);
    EXPECT_FLOAT_EQ(TPlotFrame::TickStep(0, 1, 400, 40), 0.1f);
    EXPECT_FLOAT_EQ(TPlotFrame::TickStep(-2, 2, 200, 17), 0.5f);
    EXPECT_FLOAT_EQ(TPlotFrame::TickStep(0, 1e6f, 500, 50), 1e5f);
    EXPECT_FLOAT_EQ(TPlotFrame::TickStep(0, 1e-6f, 400, 50), 1.5e-7f);
    EXPECT_EQ(TPlotFrame::TickStep(3, 3, 400, 50), 0.0f);
    EXPECT_EQ(TPlotFrame::TickStep(0, 1, 0, 50), 0.0f);
    EXPECT_EQ(TPlotFrame::TickStep(0, std::nanf(""), 400, 50), 0.0f);
}

TEST(PlotFrame, TickStepIsTheSmallestAdmissibleCandidate)
{
    // Reference: every candidate of decades 1e-12 .. 1e12 in ascending order.
    std::vector<double> candidates;
    for (int k = -12; k <= 12; ++k)
        for (double f : {0.25, 0.5, 1.0, 1.5, 2.0})
            candidates.push_back(f * std::pow(10.0, k));
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> exponent(-6.0, 6.0);
    std::uniform_int_distribution<int> pixels(20, 2000), spacing(5, 80);
    for (int trial = 0; trial < 2000; ++trial) {
        const float a = static_cast<float>(std::pow(10.0, exponent(rng)) * (trial % 3 == 0 ? -1 : 1));
        const float b = a + static_cast<float>(std::pow(10.0, exponent(rng)));
        if (b == a)
            continue;
        const int len = pixels(rng), min = spacing(rng);
        const double perUnit = len / std::fabs(double(b) - a);
        double expected = 0;
        for (double c : candidates)
            if (perUnit * c >= min) {
                expected = c;
                break;
            }
        ASSERT_NEAR(TPlotFrame::TickStep(a, b, len, min), expected, expected * 1e-6)
            << a << ".." << b << " on " << len << " px, min " << min;
    }
}

TEST(PlotFrame, TickLabels)
{
    struct Case {
        float value;
        const char* label;
    };
    const Case cases[] = {{0.0005f, "5e-4"}, {5000.0f, "5e3"},   {0.25f, ".25"},   {500.0f, "500"},
                          {-0.5f, "-.5"},    {0.0f, "0"},        {12000.0f, "12e3"}, {0.0125f, "125e-4"},
                          {1.5f, "1.5"},     {-5000.0f, "-5e3"}, {0.001f, ".001"}, {-1e-7f, "0"},
                          {1000000.0f, "1e6"}, {4.5f, "4.5"}};
    for (const auto& c : cases) {
        TRecordingCanvas rc;
        TPlotFrame::DrawTickLabel(rc, c.value, {0, 0, 30, 10}, 0);
        EXPECT_EQ(rc.Texts(), std::vector<std::string>{c.label}) << c.value;
    }
    // The box: left edge, centre or right edge, vertically centred.
    const unsigned expectedAlign[3] = {vx::AlignLeft | vx::AlignVCenter, vx::AlignCenter | vx::AlignVCenter,
                                       vx::AlignRight | vx::AlignVCenter};
    const int expectedX[3] = {100, 115, 130};
    for (int a = 0; a < 3; ++a) {
        TRecordingCanvas rc;
        TPlotFrame::DrawTickLabel(rc, 1.0f, {100, 40, 130, 50}, a);
        const auto texts = rc.OpsOf("text");
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].args, (Ints{expectedX[a], 45, static_cast<int>(expectedAlign[a])}));
    }
}

namespace {

struct TTick {
    int position;
    std::string label;
};

// Ticks of the x axis: 5-pixel lines down from the bottom edge, with their labels.
std::vector<TTick> XTicks(const TRecordingCanvas& c, int bottom)
{
    std::vector<TTick> ticks;
    for (const auto& op : c.OpsOf("line"))
        if (op.args[1] == bottom && op.args[3] == bottom + 5 && op.args[0] == op.args[2])
            ticks.push_back({op.args[0], {}});
    const auto texts = c.OpsOf("text");
    for (size_t i = 0; i < ticks.size() && i < texts.size(); ++i)
        ticks[i].label = texts[i].text;
    return ticks;
}

}  // namespace

TEST(PlotFrame, XAxisInPointsAndPPM)
{
    TPlotFrame f = StandardFrame();
    f.m_bShowXAxis = true;
    f.m_crAxis = 0x123456;
    TRecordingCanvas c;
    f.DrawAxes(c);
    // TickStep(0, 100, 400, 50) = 15: ticks at 0, 15, ..., 90, 4 pixels per point.
    const auto ticks = XTicks(c, 220);
    ASSERT_EQ(ticks.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(ticks[i].position, 10 + 60 * i);
        EXPECT_EQ(ticks[i].label, std::to_string(15 * i));
    }
    EXPECT_EQ(c.OpsOf("line")[0].args, (Ints{10, 220, 410, 220}));
    EXPECT_EQ(c.OpsOf("line")[0].color, 0x123456u);
    const auto label = c.OpsOf("text")[1];
    EXPECT_EQ(label.args, (Ints{70, 232, static_cast<int>(vx::AlignCenter | vx::AlignVCenter)}));
    ASSERT_FALSE(c.OpsOf("background").empty());
    EXPECT_EQ(c.OpsOf("background")[0].args[0], 1);  // transparent
    EXPECT_EQ(c.OpsOf("textcolor")[0].color, 0x123456u);

    // 1000 points over 1000 Hz at 100 MHz, 0 ppm at point 500: 5 ppm .. -5 ppm,
    // TickStep = 1.5, negated because the scale falls.
    f.SetXRange(0.0f, 1000.0f, 1000, true);
    f.SetXUnit(TPlotFrame::kUnitPPM, 1000.0f, 100.0f, 500.0f);
    TRecordingCanvas ppm;
    f.DrawAxes(ppm);
    const auto pticks = XTicks(ppm, 220);
    const int positions[] = {30, 90, 150, 210, 270, 330, 390};
    const char* labels[] = {"4.5", "3", "1.5", "0", "-1.5", "-3", "-4.5"};
    ASSERT_EQ(pticks.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(pticks[i].position, positions[i]);
        EXPECT_EQ(pticks[i].label, labels[i]);
    }
}

TEST(PlotFrame, XAxisInHzAndMs)
{
    TPlotFrame f = StandardFrame();
    // 100 points over 2000 Hz: point i is -(i - 50) * 20 Hz, 1000 .. -1000 Hz;
    // TickStep(1000, -1000, 400, 50) = 250 (0.2 px per Hz).
    f.SetXRange(0.0f, 100.0f, 100, true);
    f.SetXUnit(TPlotFrame::kUnitHz, 2000.0f, 100.0f, 0.0f);
    TRecordingCanvas hz;
    f.DrawAxes(hz);
    const auto ticks = XTicks(hz, 220);
    ASSERT_EQ(ticks.size(), 9u);
    EXPECT_EQ(ticks[0].label, "1000");
    EXPECT_EQ(ticks[0].position, 10);
    EXPECT_EQ(ticks[4].label, "0");
    EXPECT_EQ(ticks[4].position, 210);
    EXPECT_EQ(ticks[8].label, "-1000");
    EXPECT_EQ(ticks[8].position, 410);

    // Point i is i / 2000 * 1000 ms: 0 .. 50 ms at 8 px per ms: step 10 (5 gives 40 px).
    f.SetXUnit(TPlotFrame::kUnitMs, 2000.0f, 100.0f, 0.0f);
    TRecordingCanvas ms;
    f.DrawAxes(ms);
    const auto mticks = XTicks(ms, 220);
    ASSERT_EQ(mticks.size(), 6u);
    EXPECT_EQ(mticks[1].label, "10");
    EXPECT_EQ(mticks[1].position, 90);
}

TEST(PlotFrame, XAxisStartsInsideTheFrame)
{
    TPlotFrame f = StandardFrame();
    // 1 pixel per point, step 50: the multiple 100 lies before the range.
    f.SetXRange(110.0f, 510.0f, 1024, true);
    TRecordingCanvas c;
    f.DrawAxes(c);
    const auto ticks = XTicks(c, 220);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks[0].label, "150");
    EXPECT_EQ(ticks[0].position, 50);
    for (const auto& t : ticks) {
        EXPECT_GE(t.position, 10);
        EXPECT_LE(t.position, 410);
    }
}

TEST(PlotFrame, XAxisOfAnEmptyRangeIsOnlyItsLine)
{
    TPlotFrame f = StandardFrame();
    f.SetXRange(30.0f, 30.0f, 101, true);
    TRecordingCanvas c;
    f.DrawAxes(c);
    EXPECT_EQ(ArgsOf(c, "line"), (std::vector<Ints>{{10, 220, 410, 220}}));
    EXPECT_TRUE(c.Texts().empty());

    // A unit that turns the range into nothing (no spectral width) likewise.
    f.SetXRange(0.0f, 100.0f, 101, true);
    f.SetXUnit(TPlotFrame::kUnitMs, 0.0f, 1.0f, 0.0f);
    TRecordingCanvas z;
    f.DrawAxes(z);
    EXPECT_EQ(z.OpsOf("line").size(), 1u);
    EXPECT_TRUE(z.Texts().empty());
}

TEST(PlotFrame, YAxisTicksAndLabels)
{
    TPlotFrame f = StandardFrame();
    f.m_bShowYAxis = true;
    TRecordingCanvas c;
    f.DrawAxes(c);
    const auto lines = ArgsOf(c, "line");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], (Ints{10, 20, 10, 220}));
    // TickStep(-2, 2, 200, 17) = 0.5: 25 pixels a tick, from the bottom up.
    const std::vector<std::string> labels = {"-2", "-1.5", "-1", "-.5", "0", ".5", "1", "1.5", "2"};
    EXPECT_EQ(c.Texts(), labels);
    ASSERT_EQ(lines.size(), 10u);
    for (int i = 0; i < 9; ++i) {
        const int y = 220 - 25 * i;
        EXPECT_EQ(lines[i + 1], (Ints{5, y, 10, y}));
        // Labels start 30 pixels left of the axis; "-1.5" (24 pixels wide) starts further
        // left, so that it ends 3 pixels before its 5-pixel tick.
        const int left = labels[size_t(i)] == "-1.5" ? -22 : -20;
        EXPECT_EQ(c.OpsOf("text")[i].args,
                  (Ints{left, y, static_cast<int>(vx::AlignLeft | vx::AlignVCenter)}));
    }

    // A y range of 0..0 draws the axis line only.
    f.SetYRange(0.0f, 0.0f, true);
    TRecordingCanvas flat;
    f.DrawAxes(flat);
    EXPECT_EQ(flat.OpsOf("line").size(), 1u);
    EXPECT_TRUE(flat.Texts().empty());
}

// A y axis whose step needs more than four decimals (a chi-square of 1.5e-4 at most): every
// label is the value of its tick, none reads like another; counted x values get whole ticks.
TEST(PlotFrame, SmallStepsAndCountedAxesKeepTheirLabelsTrue)
{
    TPlotFrame f = StandardFrame();
    f.SetYRange(1.5e-4f, 0.0f, true);
    TRecordingCanvas c;
    f.DrawAxes(c);
    // TickStep(0, 1.5e-4, 200, 17) = 1.5e-5: 20 pixels a tick.
    EXPECT_EQ(c.Texts(), std::vector<std::string>({"0", "15e-6", "30e-6", "45e-6", "60e-6", "75e-6", "90e-6",
                                                   "105e-6", "120e-6", "135e-6", "150e-6"}));
    EXPECT_EQ(TPlotFrame::TickDecimals(1.5e-5), 6);
    EXPECT_EQ(TPlotFrame::TickDecimals(0.25), 4);
    EXPECT_EQ(TPlotFrame::TickDecimals(2.5e-18), 19);

    // Three runs (0 .. 3) on 100 pixels would get a step of 1.5; counted, they get 2, and so
    // do point indices; 3 ms get their half steps.
    f = StandardFrame();
    f.SetPixelRect(10, 20, 110, 220);
    f.SetXRange(0.0f, 3.0f, 4, true);
    TRecordingCanvas runs;
    f.DrawAxes(runs);
    EXPECT_EQ(runs.Texts(), std::vector<std::string>({"0", "2"}));
    f.SetXUnit(TPlotFrame::kUnitMs, 1000.0f, 1.0f, 0.0f);
    TRecordingCanvas times;
    f.DrawAxes(times);
    EXPECT_EQ(times.Texts(), std::vector<std::string>({"0", "1.5", "3"}));
    f.SetXUnit(TPlotFrame::kUnitPoints, 1.0f, 1.0f, 0.0f);
    f.m_bWholeXTicks = true;
    TRecordingCanvas counted;
    f.DrawAxes(counted);
    EXPECT_EQ(counted.Texts(), std::vector<std::string>({"0", "2"}));
}

// The ranges whose labels mixed notations on one axis ("0.003, 25e-4, .002, 15e-4"; "2e4,
// 15e3, 1e4, 5e3"; "21e3, 19500, 18e3"; "1e3, 1200 ... 2e3"; a point axis at "2.5, 7.5"):
// each axis now writes all its labels one way (a shared power of ten only where written-out
// labels would not fit and the powers are narrower), and point ticks are whole.
TEST(PlotFrame, EachAxisWritesItsLabelsInOneNotation)
{
    const struct {
        float bottom, top;
        std::vector<std::string> labels;
    } yCases[] = {
        {0.0015f, 0.003f, {".0015", ".00165", ".0018", ".00195", ".0021", ".00225", ".0024", ".00255", ".0027",
                           ".00285", ".003"}},
        {0.0f, 22000.0f, {"0", "2000", "4000", "6000", "8000", "10000", "12000", "14000", "16000", "18000", "20000",
                          "22000"}},
        {18000.0f, 21000.0f, {"18000", "18500", "19000", "19500", "20000", "20500", "21000"}},
        {0.0f, 220000.0f, {"0", "2e4", "4e4", "6e4", "8e4", "10e4", "12e4", "14e4", "16e4", "18e4", "20e4", "22e4"}},
    };
    for (const auto& c : yCases) {
        TPlotFrame f = StandardFrame();
        f.SetYRange(c.top, c.bottom, true);
        TRecordingCanvas rc;
        f.DrawAxes(rc);
        EXPECT_EQ(rc.Texts(), c.labels) << c.bottom << " .. " << c.top;
    }
    // 1000 .. 2000 Hz across 400 pixels.
    TPlotFrame hz = StandardFrame();
    hz.SetXRange(0.0f, 100.0f, 100, true);
    hz.SetXUnit(TPlotFrame::kUnitHz, 2000.0f, 100.0f, 0.0f);
    hz.SetXRange(0.0f, 50.0f, 100, true);
    TRecordingCanvas x;
    hz.DrawAxes(x);
    EXPECT_EQ(x.Texts(), std::vector<std::string>({"900", "750", "600", "450", "300", "150", "0"}));
    // Twenty points on 400 pixels would be ticked every 2.5.
    TPlotFrame points = StandardFrame();
    points.SetXRange(0.0f, 20.0f, 21, true);
    TRecordingCanvas p;
    points.DrawAxes(p);
    EXPECT_EQ(p.Texts(), std::vector<std::string>({"0", "3", "6", "9", "12", "15", "18"}));
}

namespace {

TFloatMatrix Matrix(const std::vector<std::vector<float>>& rows)
{
    TFloatMatrix m;
    m.Resize(static_cast<uint32_t>(rows.size()), static_cast<uint32_t>(rows[0].size()));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            m.Set(uint32_t(r), uint32_t(c), rows[r][c]);
    return m;
}

vx::TColor Grey(int g) { return vx::MakeColor(g, g, g); }

}  // namespace

TEST(PlotFrame, ColourMapCellsAndScale)
{
    TPlotFrame f;
    f.SetPixelRect(0, 0, 100, 100);
    f.SetYRange(10.0f, 0.0f, false);
    const TFloatMatrix m = Matrix({{0, 5, 10, 99}, {2.5f, -1, 20, 99}, {99, 99, 99, 99}});
    TRecordingCanvas c;
    f.DrawColourMap(c, &m, 0, 2, 0, 1);
    // Cell = min(trunc(100 * 0.7 / 3), 100 / 2) = 23; left = trunc(35 - 34.5) = 0;
    // top = (100 - 46) / 2 = 27. Grey = trunc(v * 25.5), clamped.
    const auto fills = c.OpsOf("fill");
    ASSERT_EQ(fills.size(), 6u + 46u);
    const int greys[6] = {0, 127, 255, 63, 0, 255};
    for (int i = 0; i < 6; ++i) {
        const int x = (i % 3) * 23, y = 27 + (i / 3) * 23;
        EXPECT_EQ(fills[i].args, (Ints{x, y, x + 23, y + 23})) << i;
        EXPECT_EQ(fills[i].color, Grey(greys[i])) << i;
    }
    // Bar 10..20 pixels right of the map (69), over the map's 46 rows, bottom row first.
    EXPECT_EQ(fills[6].args, (Ints{79, 72, 89, 73}));
    EXPECT_EQ(fills[6].color, Grey(0));
    EXPECT_EQ(fills.back().args, (Ints{79, 27, 89, 28}));
    EXPECT_EQ(fills.back().color, Grey(45 * 256 / 46));
    // Labels 22 pixels right of the map, one significant digit, no ticks.
    const auto texts = c.OpsOf("text");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].args[0], 91);
    EXPECT_EQ(texts[0].args[1], 73 - 15);
    EXPECT_EQ(texts[0].text, FloatToStringG(0.0f, 1));
    EXPECT_EQ(texts[1].args[1], 27);
    EXPECT_EQ(texts[1].text, "1e1");
}

// Scale ends that one significant digit would write alike get the digits that tell them
// apart; a flat map has its one value written once.
TEST(PlotFrame, ColourScaleEndsNeverReadAlike)
{
    const TFloatMatrix m = Matrix({{0.12f, 0.14f}});
    const struct {
        float top, bottom;
        std::vector<std::string> labels;  // bottom, top
    } cases[] = {{0.14f, 0.12f, {"0.12", "0.14"}}, {20.0f, 0.0f, {"0", "2e1"}}, {0.5f, 0.5f, {"0.5"}}};
    for (const auto& k : cases) {
        TPlotFrame f;
        f.SetPixelRect(0, 0, 100, 100);
        f.SetYRange(k.top, k.bottom, false);
        TRecordingCanvas c;
        f.DrawColourMap(c, &m, 0, 1, 0, 0);
        EXPECT_EQ(c.Texts(), k.labels) << k.bottom << " .. " << k.top;
    }
}

// A score map in its 220-pixel pane, its values needing two digits, in a font of 7 pixels a
// character: both labels end inside the pane. The picture view's scale of a constant map
// (ticks every 60 pixels) writes its value once.
TEST(PlotFrame, ColourScaleLabelsFitTheirPaneAndAConstantMapIsLabelledOnce)
{
    TPlotFrame f;
    f.SetPixelRect(2, 2, 218, 400);
    f.SetYRange(14900.0f, 14000.0f, false);
    const TFloatMatrix m = Matrix({{14000, 14500, 14900, 14200}, {14100, 14800, 14300, 14700},
                                   {14000, 14500, 14900, 14200}, {14100, 14800, 14300, 14700}});
    TRecordingCanvas c;
    c.charWidth = 7;
    f.DrawColourMap(c, &m, 0, 3, 0, 3);
    EXPECT_EQ(c.Texts(), std::vector<std::string>({"1.4e4", "1.5e4"}));
    for (const auto& op : c.OpsOf("text"))
        EXPECT_LE(op.args[0] + c.TextExtent(op.text).cx, 218) << op.text;

    TPlotFrame constant;
    constant.SetPixelRect(0, 0, 90, 900);
    constant.SetYRange(17728.2f, 17728.2f, false);
    TRecordingCanvas scale;
    constant.DrawColourScale(scale, 45, 0, 67, 900, 11, 60, 3);
    EXPECT_EQ(scale.Texts(), std::vector<std::string>{"1.77e4"});
}

TEST(PlotFrame, ColourMapUsesTheFramesTable)
{
    TPlotFrame f;
    f.SetPixelRect(0, 0, 70, 10);
    f.SetYRange(255.0f, 0.0f, false);
    f.m_nColourTable = kColourJet;
    const TFloatMatrix m = Matrix({{0, 160, 255}});
    TRecordingCanvas c;
    f.DrawColourMap(c, &m, 0, 2, 0, 0);
    const auto fills = c.OpsOf("fill");
    ASSERT_GE(fills.size(), 3u);
    EXPECT_EQ(fills[0].color, vx::MakeColor(0, 0, 128));
    EXPECT_EQ(fills[1].color, vx::MakeColor(255, 255, 0));
    EXPECT_EQ(fills[2].color, vx::MakeColor(131, 0, 0));
}

TEST(PlotFrame, ColourMapOfAnEmptyRangeIsAllLevelZero)
{
    TPlotFrame f;
    f.SetPixelRect(0, 0, 100, 100);
    f.SetYRange(0.0f, 0.0f, false);
    f.m_nColourTable = kColourCool;
    const TFloatMatrix m = Matrix({{-5, 0}, {3, 1e9f}});
    TRecordingCanvas c;
    f.DrawColourMap(c, &m, 0, 1, 0, 1);
    const auto fills = c.OpsOf("fill");
    ASSERT_GE(fills.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(fills[i].color, vx::MakeColor(0, 255, 255)) << i;
}

TEST(PlotFrame, ColourMapRefusesBadBlocks)
{
    TPlotFrame f;
    f.SetPixelRect(0, 0, 100, 100);
    const TFloatMatrix m = Matrix({{1, 2}, {3, 4}});
    const TFloatMatrix empty;
    struct Case {
        const TFloatMatrix* matrix;
        int c0, c1, r0, r1;
    };
    const Case cases[] = {{nullptr, 0, 1, 0, 1}, {&empty, 0, 0, 0, 0}, {&m, 0, 2, 0, 1}, {&m, 0, 1, 0, 2},
                          {&m, -1, 1, 0, 1},     {&m, 1, 0, 0, 1},     {&m, 0, 1, 1, 0}};
    for (const auto& k : cases) {
        TRecordingCanvas c;
        f.DrawColourMap(c, k.matrix, k.c0, k.c1, k.r0, k.r1);
        EXPECT_TRUE(c.ops.empty()) << k.c0 << " " << k.c1 << " " << k.r0 << " " << k.r1;
    }
    // Too many columns for one pixel each: nothing to draw.
    TFloatMatrix wide;
    wide.Resize(1, 200);
    TRecordingCanvas c;
    f.DrawColourMap(c, &wide, 0, 199, 0, 0);
    EXPECT_TRUE(c.ops.empty());
}

TEST(PlotFrame, ColourScaleSpansTheWholeTableWithTicks)
{
    TPlotFrame f;
    f.SetYRange(255.0f, 0.0f, false);
    TRecordingCanvas c;
    f.DrawColourScale(c, 10, 0, 20, 300, 25, 60, 3);
    const auto fills = c.OpsOf("fill");
    ASSERT_EQ(fills.size(), 300u);
    for (int i = 0; i < 300; ++i) {
        const int level = std::min(i * 256 / 300, 255);
        ASSERT_EQ(fills[i].args, (Ints{10, 299 - i, 20, 300 - i}));
        ASSERT_EQ(fills[i].color, Grey(level)) << i;
    }
    // Ticks every 60 pixels while below h - 40 = 260: value trunc(p * 255 / 300), each
    // written centred on its tick.
    const std::vector<std::string> labels = {"0", "255", "51", "102", "153", "204"};
    EXPECT_EQ(c.Texts(), labels);
    const auto texts = c.OpsOf("text");
    EXPECT_EQ(texts[0].args[1], 285);
    EXPECT_EQ(texts[1].args[1], 0);
    EXPECT_EQ(texts[2].args, (Ints{25, 240, vx::AlignLeft | vx::AlignVCenter}));
    EXPECT_EQ(texts[5].args, (Ints{25, 60, vx::AlignLeft | vx::AlignVCenter}));
    EXPECT_EQ(ArgsOf(c, "line"), (std::vector<Ints>{{5, 240, 15, 240}, {5, 180, 15, 180},
                                                     {5, 120, 15, 120}, {5, 60, 15, 60}}));
}

// The image window's scale (bar at 45..67 of a 90-pixel pane, labels at 11, a tick every 60
// pixels, 3 digits) over ranges and heights, a maximised map of -26268 .. 43692 among them: no
// two labels alike, each within the 34 pixels left of the bar, each tick label centred on its
// tick and its value rounded to the digits shown, two ticks labelled at least, and a value that
// is 0 within rounding written 0.
TEST(PlotFrame, ColourScaleLabelsDifferAndSitOnTheirTicks)
{
    const struct {
        float bottom, top;
        int h;
    } cases[] = {{-26268, 43692, 600}, {-26268, 43692, 1536}, {-26268, 43692, 3000}, {-26268, 43692, 20000},
                 {14000, 14900, 900},  {2e-27f, 0.8f, 600},   {-1, 1, 900},          {7, -3, 700}};
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.bottom) + " .. " + std::to_string(k.top) + " over " + std::to_string(k.h));
        TPlotFrame f;
        f.SetPixelRect(0, 0, 90, k.h);
        f.SetYRange(k.top, k.bottom, false);
        TRecordingCanvas c;
        f.DrawColourScale(c, 45, 0, 67, k.h, 11, 60, 3);
        std::vector<int> ticks;
        for (const auto& args : ArgsOf(c, "line"))
            ticks.push_back(args[1]);
        // Labels top down with their vertical centres, and the value each stands for: the ends,
        // and at the tick p pixels up bottom + (top - bottom) * trunc(p * 255 / h) / 255.
        std::vector<std::pair<double, std::string>> labels;
        for (const auto& op : c.OpsOf("text")) {
            labels.push_back({op.args[1] + ((op.args[2] & vx::AlignVCenter) ? 0.0 : c.charHeight / 2.0), op.text});
            EXPECT_LE(op.args[0] + c.TextExtent(op.text).cx, 45) << op.text;
        }
        std::sort(labels.begin(), labels.end());
        ASSERT_GE(labels.size(), std::min<size_t>(ticks.size(), 2) + 2);
        for (size_t i = 0; i < labels.size(); ++i) {
            const auto& [centre, text] = labels[i];
            for (size_t j = 0; j < i; ++j)
                EXPECT_NE(labels[j].second, text);
            double meant = i == 0 ? k.top : k.bottom;
            if (i > 0 && i + 1 < labels.size()) {
                const int tick = *std::min_element(ticks.begin(), ticks.end(), [&](int a, int b) {
                    return std::fabs(a - centre) < std::fabs(b - centre);
                });
                EXPECT_LE(std::fabs(tick - centre), 1.0) << text;
                meant = k.bottom + (double(k.top) - k.bottom) * (int64_t(k.h - tick) * 255 / k.h) / 255.0;
            }
            // The value rounded to the digits the label shows; 2e-27 is 0 within rounding.
            const size_t e = std::min(text.find('e'), text.size()), point = std::min(text.find('.'), e);
            const int decimals = int(e - std::min(point + 1, e));
            const double unit = std::pow(10.0, (e < text.size() ? std::atoi(text.c_str() + e + 1) : 0) - decimals);
            EXPECT_LE(std::fabs(std::strtod(text.c_str(), nullptr) - meant), unit / 2 * 1.0001) << text;
            if (meant == 2e-27f) {
                EXPECT_EQ(text, "0");
            }
        }
    }
}

TEST(PlotFrame, ShortColourBarStillClimbsTheTable)
{
    TPlotFrame f;
    f.m_nColourTable = kColourHot;
    TRecordingCanvas c;
    f.DrawColourScale(c, 0, 0, 5, 64, 10, -1, 1);
    const auto fills = c.OpsOf("fill");
    ASSERT_EQ(fills.size(), 64u);
    unsigned char r = 0, g = 0, b = 0;
    GreyToRGB(252, kColourHot, r, g, b);  // row 63 of 64: 63 * 4
    EXPECT_EQ(fills.back().color, vx::MakeColor(r, g, b));
    EXPECT_EQ(c.Texts().size(), 2u);  // no ticks with interval -1

    TRecordingCanvas zero;
    f.DrawColourScale(zero, 0, 0, 5, 64, 10, 0, 1);  // no division by a zero interval
    EXPECT_EQ(zero.Texts().size(), 2u);
    TRecordingCanvas empty;
    f.DrawColourScale(empty, 0, 10, 5, 10, 10, 60, 1);
    EXPECT_TRUE(empty.ops.empty());
}

TEST(PlotFrame, FillBackgroundCoversThePixelRect)
{
    const TPlotFrame f = StandardFrame();
    TRecordingCanvas c;
    f.FillBackground(c, 0xabcdef);
    ASSERT_EQ(c.ops.size(), 1u);
    EXPECT_EQ(c.ops[0].kind, "fill");
    EXPECT_EQ(c.ops[0].args, (Ints{10, 20, 410, 220}));
    EXPECT_EQ(c.ops[0].color, 0xabcdefu);
}

namespace {

TSpectrum MakeSpectrum()
{
    std::vector<TComplex> samples = {{0, 1}, {1, 0}, {3, 4}, {-1, 0}, {0, -2}, {2, 0}};
    TSpectrum s;
    s.m_nPoints = static_cast<int>(samples.size());
    s.SetComplexData(samples.data());
    return s;
}

}  // namespace

TEST(PlotFrame, SpectrumDrawsTheChosenPartInItsStateColour)
{
    TPlotFrame f;
    f.SetPixelRect(0, 0, 300, 100);
    f.SetYRange(5.0f, -5.0f, false);  // row = trunc((-5 - v) * 10) + 100
    f.SetXRange(2.0f, 5.0f, 6, false);
    TSpectrum s = MakeSpectrum();
    const std::vector<std::vector<int>> moveOf = {{0, 20}, {0, 10}, {0, 0}};
    const std::vector<std::vector<int>> lastOf = {{300, 30}, {300, 50}, {300, 30}};
    const int parts[3] = {TPlotFrame::kPartReal, TPlotFrame::kPartImaginary, TPlotFrame::kPartMagnitude};
    for (int p = 0; p < 3; ++p) {
        // The real part wins over the others, the imaginary part over the magnitude.
        f.m_nPartFlags = p == 0 ? 14 : p == 1 ? 6 : 2;
        TRecordingCanvas c;
        f.DrawSpectrum(c, &s);
        EXPECT_EQ(ArgsOf(c, "move"), (std::vector<Ints>{moveOf[p]})) << parts[p];
        const auto lines = ArgsOf(c, "line");
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ((Ints{lines.back()[2], lines.back()[3]}), lastOf[p]) << parts[p];
        EXPECT_EQ(c.OpsOf("pen")[0].color, 0x0000ffu);
    }

    s.m_bSelected = 1;
    TRecordingCanvas selected;
    f.m_nPartFlags = 8;
    f.DrawSpectrum(selected, &s);
    EXPECT_EQ(selected.OpsOf("pen")[0].color, 0x00ff00u);
    TRecordingCanvas coloured;
    f.DrawSpectrumInColour(coloured, &s, 0x123456);
    EXPECT_EQ(coloured.OpsOf("pen")[0].color, 0x123456u);
}

TEST(PlotFrame, SpectrumWithoutPartOrSamplesDrawsNothing)
{
    TPlotFrame f;
    f.SetPixelRect(0, 0, 300, 100);
    f.SetXRange(0.0f, 5.0f, 6, false);
    f.m_bShowZeroLine = true;
    TSpectrum s = MakeSpectrum();
    f.m_nPartFlags = 1;  // the grid flag alone
    TRecordingCanvas c;
    f.DrawSpectrum(c, &s);
    EXPECT_TRUE(c.ops.empty());

    f.m_nPartFlags = 8;
    TSpectrum empty;
    empty.m_nPoints = 6;
    TRecordingCanvas e;
    f.DrawSpectrum(e, &empty);
    f.DrawSpectrum(e, nullptr);
    EXPECT_TRUE(e.ops.empty());

    // Points beyond the spectrum read as 0 and stay on the zero row.
    f.SetYRange(5.0f, -5.0f, false);
    f.SetXRange(4.0f, 7.0f, 6, false);
    f.m_bShowZeroLine = false;
    TRecordingCanvas past;
    f.DrawSpectrum(past, &s);
    const auto lines = ArgsOf(past, "line");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.back()[3], 50);
}
