// An image window at 800 x 800: a 32 x 32 grid with a spectrum of 1024 points in every
// cell over a 256 x 256 image. A full repaint paints every layer, composes them and
// paints the window; a hover writes the status text and repaints its strip only. The
// ratio of the two is how much cheaper the mouse is than any change of the picture.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "views/picture/CMainPicView.h"

namespace {

constexpr int kSide = 32, kPoints = 1024, kImage = 256, kWindow = 800;

// The main window with a project holding the set (its work set) and the image, in memory.
struct TScene {
    CMainFrame main;
    std::unique_ptr<TProject> project;
    CChildFrame* frame = nullptr;

    TScene()
    {
        main.LoadFrame();
        main.resize(1400, 1100);
        main.show();
        project = std::make_unique<TProject>(&main);
        g_pProject = project.get();

        TCSISet* set = vx::bench::NewLoadedSet(kSide, kSide, 1, kPoints, vx::bench::TwoLines);
        set->SetProject(project.get());
        set->m_fFOV[2] = 10.0f;
        set->m_nLastPoint = kPoints - 1;
        set->m_bFrequencyDomain = 1;
        set->m_bKSpace = 0;
        set->m_nSliceAxis = 2;
        set->UpdateVoxelGeometryAll();
        set->UpdateDataRange();
        set->m_bWorkSet = 1;
        project->m_pCSISetList->Add(set);
        project->m_pWorkSet = set;
        project->ResetSpectrumDisplay(true);

        auto* image = new TMRImage(project.get());
        image->SetName("bench", false);
        image->SetWidth(kImage, false);
        image->SetHeight(kImage, false);
        image->SetOrientation(2, false);
        image->SetParameter(240.0f, TMRImage::ParamFOVX, false);
        image->SetParameter(240.0f, TMRImage::ParamFOVY, false);
        for (int k = 0; k < 3; ++k)
            image->SetParameter(0.0f, TMRImage::ParamPositionX + k, false);
        std::vector<int16_t> pixels;
        for (int y = 0; y < kImage; ++y)
            for (int x = 0; x < kImage; ++x)
                pixels.push_back(static_cast<int16_t>((x * 7 + y * 3) % 1000));
        image->SetPixels(pixels);
        image->SetStoredWindow(0, 999);
        image->LocateInCSISet(set);
        project->m_pImageSet->Insert(image);

        frame = project->OpenImageFrame(image);
        CMainPicView& view = *frame->View();
        view.m_fZoom = static_cast<float>(kWindow) / kImage;
        // The window's client area becomes 800 x 800 whatever its frame and bars take.
        for (int k = 0; k < 3; ++k) {
            frame->resize(frame->width() + kWindow - view.viewport()->width(),
                          frame->height() + kWindow - view.viewport()->height());
            QApplication::processEvents();
        }
        view.RepaintAllLayers();
        view.ComposeLayers();
    }
    ~TScene()
    {
        project.reset();
        g_pProject = nullptr;
    }
};

TScene& Scene()
{
    static TScene* scene = new TScene;
    return *scene;
}

double& FullSeconds()
{
    static double seconds = 0;
    return seconds;
}

double& HoverSeconds()
{
    static double seconds = 0;
    return seconds;
}

void BM_FullRepaint(benchmark::State& state)
{
    CMainPicView& view = *Scene().frame->View();
    FullSeconds() = vx::bench::TimePasses(
        state, 1,
        [&] {
            view.Redraw(true, true, true, true, true);
            view.viewport()->repaint();
        },
        [] {});
    state.counters["ms_per_repaint"] = FullSeconds() * 1e3;
    state.counters["window"] = view.viewport()->width();
}

void BM_Hover(benchmark::State& state)
{
    CMainPicView& view = *Scene().frame->View();
    int k = 0;
    const double hover = HoverSeconds() = vx::bench::TimePasses(
        state, 1,
        [&] {
            ++k;
            view.SetStatusText(QString("(%1mm, -12.5mm), (%2,14)").arg(k % 240).arg(k % 32));
            view.viewport()->repaint(0, 0, CMainPicView::kStatusWidth, CMainPicView::kStatusHeight);
        },
        [] {});
    state.counters["us_per_hover"] = hover * 1e6;
    if (hover > 0 && FullSeconds() > 0)
        state.counters["repaint_over_hover"] = FullSeconds() / hover;
}

}  // namespace

BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
BENCHMARK(BM_Hover)->Unit(benchmark::kMicrosecond)->UseManualTime()->MinTime(0.5);

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (FullSeconds() > 0 && HoverSeconds() > 0)
        std::printf("full repaint %.3f ms, hover %.2f us: ratio repaint / hover = %.0f\n", FullSeconds() * 1e3,
                    HoverSeconds() * 1e6, FullSeconds() / HoverSeconds());
    return 0;
}
