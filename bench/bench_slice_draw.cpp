// Drawing a slice of a 32 x 32 x 1 set of 1024 points: the grid with a spectrum in
// every cell, as the picture view repaints it on every scroll and zoom. Measured on
// the recording canvas (the drawing code alone) and on the QPainter canvas over an
// 800 x 800 image, each against a plain fill of that image; the ratio is the cost of
// one repaint in fills.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "BenchSupport.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "platform/TRecordingCanvas.h"
#include "views/TPainterCanvas.h"

namespace {

constexpr int kSide = 32, kPoints = 1024, kImage = 800;

// A set whose every voxel holds two Lorentzian lines of its own height.
TCSISet& BenchSet()
{
    static TCSISet* set = [] {
        TCSISet* s = vx::bench::NewLoadedSet(kSide, kSide, 1, kPoints, vx::bench::TwoLines);
        s->GetVoxel(5)->m_bSelected = 1;
        return s;
    }();
    return *set;
}

TSpectrumDisplayParams Display()
{
    TSpectrumDisplayParams d;
    d.m_nFlags = TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kReal;
    d.m_fYMax = 8;
    d.m_fYMin = -1;
    d.m_nXStart = 0;
    d.m_nXEnd = kPoints - 1;
    return d;
}

double& FillSeconds()
{
    static double seconds = 0;
    return seconds;
}

// Seconds of one call of draw(), averaged over the benchmark's iterations.
template <typename F>
double MeanSeconds(benchmark::State& state, F draw)
{
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        draw();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return total / static_cast<double>(state.iterations());
}

void BM_PlainFill(benchmark::State& state)
{
    QImage image(kImage, kImage, QImage::Format_RGB32);
    FillSeconds() = MeanSeconds(state, [&] {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::black);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    });
    state.counters["ms_per_fill"] = FillSeconds() * 1e3;
}

// Reports the time of one draw and its ratio to the plain fill.
template <typename F>
void TimeDraws(benchmark::State& state, F draw)
{
    const double perDraw = MeanSeconds(state, draw);
    state.counters["ms_per_draw"] = perDraw * 1e3;
    if (FillSeconds() > 0)
        state.counters["ratio_to_fill"] = perDraw / FillSeconds();
}

void BM_SliceOnRecordingCanvas(benchmark::State& state)
{
    TCSISlice slice;
    slice.SetByIndex(&BenchSet(), 2, 0);
    const TSpectrumDisplayParams display = Display();
    vx::TRecordingCanvas dc;
    TimeDraws(state, [&] {
        dc.ops.clear();
        slice.DrawSpectraGrid(dc, {0, 0, kImage, kImage}, display, false, false);
        benchmark::DoNotOptimize(dc.ops.data());
    });
    state.counters["canvas_calls"] = static_cast<double>(dc.ops.size());
}

void BM_SliceOnImage(benchmark::State& state)
{
    TCSISlice slice;
    slice.SetByIndex(&BenchSet(), 2, 0);
    const TSpectrumDisplayParams display = Display();
    QImage image(kImage, kImage, QImage::Format_RGB32);
    // A repaint: clear the layer, then draw the grid and the spectra on it.
    TimeDraws(state, [&] {
        vx::TPainterCanvas dc(&image);
        dc.FillRect(0, 0, kImage, kImage, 0);
        slice.DrawSpectraGrid(dc, {0, 0, kImage, kImage}, display, false, false);
    });
}

}  // namespace

BENCHMARK(BM_PlainFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SliceOnRecordingCanvas)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_SliceOnImage)->Unit(benchmark::kMillisecond)->MinTime(0.5);

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
