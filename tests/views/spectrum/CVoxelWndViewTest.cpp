// The spectrum view: strips of spectra with their axes, the unit of the tick labels and
// the read-out, the colour schemes, and the panel values handed to the tool records.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTest>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "app/CVexaraApp.h"
#include "model/math/TextHelpers.h"
#include "support/CSISetBuilders.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/VoxelWindowFixture.h"

using namespace vx::test;

namespace {

constexpr int kPeak = TGuiFixture::kPeakPoint;
constexpr float kPointsPerPPM = TGuiFixture::kPoints * TGuiFixture::kFrequency / TGuiFixture::kSpectralWidth;

struct TRun {
    int top, bottom;  // pixel rows the curve reaches
};

// The curves of a recording: runs of many connected line segments after a move (axes
// and ticks are single segments).
std::vector<TRun> Curves(const vx::TRecordingCanvas& dc)
{
    std::vector<TRun> runs;
    for (size_t k = 0; k < dc.ops.size();) {
        if (dc.ops[k].kind != "move") {
            ++k;
            continue;
        }
        TRun run{dc.ops[k].args[1], dc.ops[k].args[1]};
        size_t segments = 0;
        for (++k; k < dc.ops.size() && dc.ops[k].kind == "line"; ++k, ++segments) {
            run.top = std::min(run.top, dc.ops[k].args[3]);
            run.bottom = std::max(run.bottom, dc.ops[k].args[3]);
        }
        if (segments > 20)
            runs.push_back(run);
    }
    return runs;
}

std::vector<vx::TCanvasOp> TextsAligned(const vx::TRecordingCanvas& dc, unsigned horizontal)
{
    std::vector<vx::TCanvasOp> out;
    for (const vx::TCanvasOp& op : dc.OpsOf("text"))
        if ((static_cast<unsigned>(op.args[2]) & 0x3) == horizontal)
            out.push_back(op);
    return out;
}

using SpectrumViewTest = VoxelWindowTest;

TEST_F(SpectrumViewTest, OneStripPerVoxelWithTheXAxisUnderTheLowestOnly)
{
    const struct {
        int voxels;
        int height;
        int strips;  // 0: too short, background only
    } cases[] = {{1, 200, 1}, {3, 25 + 3 * 15, 3}, {3, 25 + 3 * 15 - 1, 0}, {3, 400, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.voxels) + " voxels, height " + std::to_string(c.height));
        CVoxelWindow* window = Open(7, 0);
        for (int k = 1; k < c.voxels; ++k)
            Open(7 - k, 0, TMouseEvent::kCtrl);
        ASSERT_NE(window, nullptr);
        CVoxelWndView& view = *window->View();
        ASSERT_EQ(int(view.GetVoxels().size()), c.voxels);

        const int width = 600;
        const vx::TRecordingCanvas dc = Record(view, width, c.height);
        const std::vector<TRun> curves = Curves(dc);
        ASSERT_EQ(int(curves.size()), c.strips);
        if (c.strips == 0) {
            EXPECT_EQ(dc.ops.size(), 1u) << "only the background";
            continue;
        }
        const int h = (c.height - 25) / c.voxels;
        for (int k = 0; k < c.voxels; ++k) {
            const int bottom = c.height - 25 - (c.voxels - 1 - k) * h;
            EXPECT_GE(curves[k].top, bottom - h + 10) << k;
            EXPECT_LE(curves[k].bottom, bottom) << k;
        }
        // x tick labels (centred) only below the last strip; y tick labels (left-aligned)
        // beside every strip.
        const auto xLabels = TextsAligned(dc, vx::AlignCenter);
        EXPECT_GE(xLabels.size(), 3u);
        for (const auto& label : xLabels)
            EXPECT_GT(label.args[1], c.height - 25) << label.text;
        EXPECT_GE(int(TextsAligned(dc, vx::AlignLeft).size()), c.voxels);
        // The grid position of each voxel at the top right of its strip.
        const auto positions = TextsAligned(dc, vx::AlignRight);
        ASSERT_EQ(int(positions.size()), c.voxels);
        for (int k = 0; k < c.voxels; ++k) {
            EXPECT_EQ(positions[k].text, "(" + std::to_string(7 - k) + ",0,0)");
            EXPECT_EQ(positions[k].args[0], width - 5);
        }
        window->close();
    }
}

TEST_F(SpectrumViewTest, UnitButtonsSetTheTickLabelsAndTheReadout)
{
    CVoxelWindow* window = Open(7, 0);
    ASSERT_NE(window, nullptr);
    CVoxelWndView& view = *window->View();
    EXPECT_EQ(window->Panel()->CheckedUnit(), 0);

    // Point i in each unit, from the fixture's acquisition: 1600 Hz over 256 points at
    // 125 MHz, 0 ppm at point 222. Without a displayed part there is no curve and the
    // value reads 0. After FT the set holds the time-domain signal, whose axis is time
    // whatever unit is chosen (Hz and ppm describe a spectrum).
    const int real = TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kReal;
    const std::string peak = FloatToStringG(TGuiFixture::PeakHeight(7), 3);
    const auto ms = [](double i) { return i / 1600.0 * 1000.0; };
    const struct {
        int unit;
        std::string suffix;
        double (*at)(double i);
        int flags;
        std::string value;  // empty: the signal's own at the point
        bool timeDomain;
    } units[] = {
        {0, "", [](double i) { return i; }, real, peak, false},
        {1, " Hz", [](double i) { return -(i - 128.0) * 1600.0 / 256.0; }, real, peak, false},
        {2, " PPM", [](double i) { return (TGuiFixture::kZeroPPMPoint - i) / kPointsPerPPM; }, real, peak, false},
        {3, " Ms", ms, real, peak, false},
        {0, "", [](double i) { return i; }, TSpectrumDisplayParams::kGrid, "0", false},
        {1, " Ms", ms, real, "", true},
        {2, " Ms", ms, real, "", true},
    };
    std::vector<std::string> previous;
    for (const auto& u : units) {
        SCOPED_TRACE(std::to_string(u.unit) + " flags " + std::to_string(u.flags) + (u.timeDomain ? " after FT" : ""));
        if (u.timeDomain && set->m_bFrequencyDomain)
            QTest::mouseClick(window->Panel()->Button(CVoxelWndDlgView::kFT), Qt::LeftButton);
        ASSERT_EQ(set->m_bFrequencyDomain, !u.timeDomain);
        auto readout = std::make_unique<TReadoutTool>();
        readout->m_bValid = 1;
        readout->m_nPoint = kPeak;
        view.m_tool = std::move(readout);
        QTest::mouseClick(window->Panel()->UnitButton(u.unit), Qt::LeftButton);
        EXPECT_EQ(view.GetUnit(), u.unit);
        TSpectrumDisplayParams display = view.GetDisplayParams();
        display.m_nFlags = u.flags;
        window->SetDisplayParams(&display);
        const vx::TRecordingCanvas dc = Record(view, 600, 200);
        EXPECT_EQ(Curves(dc).size(), u.flags == real ? 1u : 0u);

        const std::string position = FloatToString(static_cast<float>(u.at(kPeak)), 2) + u.suffix;
        const std::string value = u.value.empty() ? FloatToStringG(Voxel(7, 0)->GetReal(kPeak), 3) : u.value;
        EXPECT_TRUE(Contains(dc.Texts(), " Current Position: " + position + " Value: " + value));

        // Every x label is a value of the unit inside the shown range.
        const double a = u.at(0), b = u.at(TGuiFixture::kPoints - 1);
        std::vector<std::string> labels;
        for (const auto& label : TextsAligned(dc, vx::AlignCenter)) {
            const double v = std::stod(label.text);
            EXPECT_GE(v, std::min(a, b) - 1e-3) << label.text;
            EXPECT_LE(v, std::max(a, b) + 1e-3) << label.text;
            labels.push_back(label.text);
        }
        EXPECT_GE(labels.size(), 3u);
        if (u.flags == real && !u.timeDomain) {
            EXPECT_NE(labels, previous);
        }
        previous = labels;
        // The zoom writes its positions in the axis's unit.
        CVoxelWndDlgView& panel = *window->Panel();
        QTest::mouseClick(panel.Button(CVoxelWndDlgView::kZoom), Qt::LeftButton);
        EXPECT_EQ(panel.Edit(CVoxelWndDlgView::kXEnd)->text().toStdString(), FloatToString(float(b), 2));
        QTest::mouseClick(panel.Button(CVoxelWndDlgView::kCancel), Qt::LeftButton);
    }
}

// A recording canvas that measures texts in the font the view's picture is drawn with.
struct TFontCanvas : vx::TRecordingCanvas {
    vx::TSizeI TextExtent(const std::string& text) override
    {
        const QFontMetrics metrics(QGuiApplication::font());
        return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
    }
};

// Values of millions, as raw scanner data have them: in the window Select voxel opens, every
// y label lies whole inside the window, left of its tick, and every x label too, at the
// opening size and at a width that puts a labelled tick on the last point.
TEST_F(SpectrumViewTest, LabelsOfLargeValuesLieWholeInTheWindowAtItsOpeningSize)
{
    set->Scale(5000.0f);
    set->UpdateDataRange();
    session->Project()->ResetSpectrumDisplay(true);
    CVoxelWindow* window = Click(3, 4);
    ASSERT_NE(window, nullptr);
    CVoxelWndView& view = *window->View();
    const struct {
        QSize size;
        const char* lowest;  // the lowest y label
    } sizes[] = {{window->size(), "-30e5"}, {QSize(900, 600), "-4e6"}};
    for (const auto& [size, lowest] : sizes) {
        SCOPED_TRACE(size.width());
        window->resize(size);
        TFontCanvas dc;
        view.DrawOn(dc, {0, 0, view.width(), view.height()});
        const int plotLeft = view.m_plot.GetPixelRect().left;
        const auto yLabels = TextsAligned(dc, vx::AlignLeft);
        ASSERT_FALSE(yLabels.empty());
        EXPECT_EQ(yLabels.front().text, lowest);
        for (const vx::TCanvasOp& label : yLabels) {
            EXPECT_GE(label.args[0], 0) << label.text;
            EXPECT_LE(label.args[0] + dc.TextExtent(label.text).cx, plotLeft - 5) << label.text;
        }
        for (const vx::TCanvasOp& label : TextsAligned(dc, vx::AlignCenter)) {
            const int half = dc.TextExtent(label.text).cx / 2;
            EXPECT_GE(label.args[0] - half, 0) << label.text;
            EXPECT_LE(label.args[0] + half, view.width()) << label.text;
        }
    }
}

TEST_F(SpectrumViewTest, ColoursOfLineAndBackgroundFollowSpecBgColor)
{
    const struct {
        int setting;
        QColor background, curve;
    } cases[] = {{0, QColor(0, 0, 0), QColor(255, 0, 0)}, {1, QColor(255, 255, 255), QColor(0, 0, 0)},
                 {2, QColor(0, 0, 0), QColor(255, 0, 0)}};
    CVexaraApp app;
    CVoxelWindow* window = Open(7, 0);
    ASSERT_NE(window, nullptr);
    CVoxelWndView& view = *window->View();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        app.SetSetting(0, c.setting);
        window->RefreshView();
        const QImage& picture = window->GetPlotBitmap();
        ASSERT_EQ(picture.size(), view.size());
        const TPixelRect plot = view.m_plot.GetPixelRect();
        ASSERT_GT(plot.bottom - plot.top, 40);

        // The background inside the plot, away from the curve, the axes and the labels.
        const int x20 = view.m_plot.DataToPixel(TPoint2D(20.0f, 0.0f)).x;
        EXPECT_EQ(picture.pixelColor(x20, plot.top + 3), c.background);
        // The line at the peak's top and on the flat part of the spectrum.
        for (int point : {kPeak, 40}) {
            float re = 0, im = 0;
            TGuiFixture::Sample(7, point, re, im);
            const vx::TPointI p = view.m_plot.DataToPixel(TPoint2D(float(point), re));
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                found = picture.pixelColor(p.x, p.y + dy) == c.curve;
            EXPECT_TRUE(found) << "point " << point << " at " << p.x << "," << p.y;
        }
    }
}

// --- panel values to the tool records ----------------------------------------------------

class ToolValuesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The ranges the phase tool gives its bars.
        view.m_scrollV->setRange(-720, 720);
        view.m_scrollH1->setRange(-180, 180);
    }

    static constexpr int kN = 16;
    CVoxelWndView view;
};

// Sample k of `original` times exp(i (ph0 + (k - pivot) ph1 / N)), written out here.
std::vector<TComplex> Phased(const TSpectrum& original, double ph0, double ph1, int pivot)
{
    std::vector<TComplex> out;
    const int n = original.m_nPoints;
    for (int k = 0; k < n; ++k) {
        const std::complex<double> s(original.GetReal(k), original.GetImag(k));
        const double angle = ph0 + (k - pivot) * ph1 / n;
        const std::complex<double> r = s * std::complex<double>(std::cos(angle), std::sin(angle));
        out.emplace_back(float(r.real()), float(r.imag()));
    }
    return out;
}

void ExpectSamples(const TSpectrum& s, const std::vector<TComplex>& expected)
{
    ASSERT_EQ(s.m_nPoints, int(expected.size()));
    for (int k = 0; k < s.m_nPoints; ++k) {
        EXPECT_NEAR(s.GetReal(k), expected[k].real(), 1e-4) << k;
        EXPECT_NEAR(s.GetImag(k), expected[k].imag(), 1e-4) << k;
    }
}

TEST_F(ToolValuesTest, PhaseValuesRebuildTheCopiesAndWithLivePhasingTheSet)
{
    constexpr double kDeg = std::numbers::pi / 180.0;
    for (int phaseMode : {0, 1}) {
        SCOPED_TRACE(phaseMode);
        CVexaraApp app;
        app.SetSetting(3, phaseMode);
        TCSISet data;
        FillGrid(data, 2, 1, 1, kN, [](int x, int, int, int i) { return TComplex(1.0f + x + 0.1f * i, 0.5f - 0.05f * i); });
        std::vector<TSpectrum> originals{*data.GetVoxel(0, 0, 0), *data.GetVoxel(1, 0, 0)};
        view.m_voxels = {data.GetVoxel(0, 0, 0), data.GetVoxel(1, 0, 0)};
        auto tool = std::make_unique<TPhaseTool>();
        for (TSpectrum* voxel : view.m_voxels) {
            tool->m_display.push_back(std::make_unique<TSpectrum>(*voxel));
            tool->m_base.push_back(std::make_unique<TSpectrum>(*voxel));
        }
        TPhaseTool& phase = *tool;
        view.m_nToolMode = 2;
        view.m_tool = std::move(tool);
        // Base copies carry the constant phase, shown copies both phases about pivot 5,
        // and the set the shown phases only when phasing is live.
        auto ExpectCopiesAndSet = [&](double phase0) {
            for (int v = 0; v < 2; ++v) {
                const auto shown = Phased(originals[v], phase0, 90 * kDeg, 5);
                ExpectSamples(*phase.m_base[v], Phased(originals[v], phase0, 0, 0));
                ExpectSamples(*phase.m_display[v], shown);
                ExpectSamples(*data.GetVoxel(v, 0, 0), phaseMode == 1 ? shown : Phased(originals[v], 0, 0, 0));
            }
        };

        // Both phases and the pivot change: the copies are rebuilt.
        view.SetToolValues(30.0f, 90.0f, 5.2f, 0.0f);
        EXPECT_FLOAT_EQ(phase.m_fPhase0, float(30 * kDeg));
        EXPECT_FLOAT_EQ(phase.m_fPhase1, float(90 * kDeg));
        EXPECT_EQ(phase.m_nPivot, 5);
        EXPECT_EQ(view.m_scrollH1->value(), 30);
        EXPECT_EQ(view.m_scrollV->value(), 0);
        ExpectCopiesAndSet(30 * kDeg);

        // The same linear phase (within a thousandth of a radian) and pivot: nothing is
        // rebuilt, so the bar the user moved stays where it is.
        {
            const QSignalBlocker quiet(view.m_scrollV);
            view.m_scrollV->setValue(40);
        }
        view.SetToolValues(30.0f, 90.03f, 4.8f, 0.0f);
        EXPECT_EQ(view.m_scrollV->value(), 40);
        EXPECT_FLOAT_EQ(phase.m_fPhase1, float(90 * kDeg));

        // Only the constant phase changes: every copy turns by the difference.
        view.SetToolValues(-10.0f, 90.0f, 5.0f, 0.0f);
        EXPECT_EQ(view.m_scrollH1->value(), -10);
        ExpectCopiesAndSet(-10 * kDeg);
        view.m_voxels.clear();
        view.m_tool = std::make_unique<TReadoutTool>();
        view.m_nToolMode = 0;
    }
}

}  // namespace
