// Whole-grid peak integration and map creation on a set of 64 x 64 x 16 voxels of 1024
// points, on 1, 2 and 4 workers (and all processors). Prints the speed-up per worker
// against one worker measured in the same run (1.0 is linear; the goal is at least 0.8
// up to 4 workers), beside that of plain arithmetic split the same way.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "platform/Workers.h"

namespace {

using vx::bench::AllWorkers;
using vx::bench::TimePasses;

constexpr int kNX = 64, kNY = 64, kNZ = 16, kPoints = 1024;

// The set, made once: a Lorentzian line near 2 ppm whose amplitude and position vary
// over the voxels, on a small ripple.
TCSISet& BigSet()
{
    static TCSISet* set = [] {
        auto* s = vx::bench::NewLoadedSet(kNX, kNY, kNZ, kPoints, [](size_t v, std::vector<TComplex>& samples) {
            const double centre = 381.0 + static_cast<double>(v % 7);
            const double amplitude = 1.0 + static_cast<double>(v % 64) / 16.0;
            for (size_t i = 0; i < samples.size(); ++i) {
                const double d = static_cast<double>(i) - centre;
                samples[i] = TComplex(static_cast<float>(amplitude * 9.0 / (9.0 + d * d)),
                                      static_cast<float>(0.01 * std::sin(0.1 * static_cast<double>(i) + v)));
            }
        });
        s->m_nSpectralWidth = 2000;
        s->m_fFrequency = 127.7f;
        s->m_fPPMCentrePoint = kPoints / 2.0f;
        s->m_bFrequencyDomain = 1;
        return s;
    }();
    return *set;
}

// Seconds per pass by task and worker count, for the table at the end.
std::map<std::string, std::map<int, double>>& Seconds()
{
    static std::map<std::string, std::map<int, double>> seconds;
    return seconds;
}

int WorkersOf(const benchmark::State& state, int arg)
{
    return state.range(arg) == 0 ? AllWorkers() : static_cast<int>(state.range(arg));
}

// Argument 0: the window (0 a peak of 40 points, 1 the whole spectrum, 2 a peak of 40
// points centred on each voxel's peak); argument 1: workers (0 all).
void BM_IntegrateArea(benchmark::State& state)
{
    static const char* const kNames[] = {"area, 40-point peak", "area, whole spectrum", "centred area, 40 points"};
    const int kind = static_cast<int>(state.range(0));
    const int workers = WorkersOf(state, 1);
    TCSISet& set = BigSet();
    std::vector<TComplex> out(set.VoxelCount());
    const int first = kind == 1 ? 0 : 361, last = kind == 1 ? kPoints - 1 : 400;
    Seconds()[kNames[kind]][workers] = TimePasses(
        state, workers, [&] { set.IntegrateArea(out.data(), false, first, last, kind == 2); }, [] {});
    benchmark::DoNotOptimize(out.data());
    state.counters["workers"] = workers;
    state.counters["us_per_voxel"] = Seconds()[kNames[kind]][workers] / static_cast<double>(set.VoxelCount()) * 1e6;
}

// Argument 0: the method (0 area integration, 1 principal component); argument 1: workers.
void BM_CreateMap(benchmark::State& state)
{
    static const char* const kNames[] = {"map by area integration", "map by principal component"};
    const int method = static_cast<int>(state.range(0));
    const int workers = WorkersOf(state, 1);
    TCSISet& set = BigSet();
    TMapParams params;
    params.name = "NAA";
    params.peakStartPPM = 2.3f;  // points 362..401
    params.peakEndPPM = 1.7f;
    params.method = method;
    Seconds()[kNames[method]][workers] = TimePasses(
        state, workers,
        [&] {
            TMap map(&set);
            if (!map.Create(&set, params))
                state.SkipWithError("the map was not made");
        },
        [] {});
    state.counters["workers"] = workers;
}

// What the machine allows at the moment: the same worker split over the voxels with
// arithmetic alone (no memory traffic). Its speed-up bounds those above: on a machine
// busy with other work it falls below linear too.
void BM_ArithmeticReference(benchmark::State& state)
{
    const int workers = WorkersOf(state, 1);
    const size_t voxels = static_cast<size_t>(kNX) * kNY * kNZ;
    std::vector<double> out(voxels);
    Seconds()["reference: arithmetic only"][workers] = TimePasses(
        state, workers,
        [&] {
            vx::RunWorkers([&](int k, int n) {
                const vx::TWorkerBlock block = vx::WorkerBlock(k, n, voxels);
                for (size_t v = block.begin; v < block.end; ++v) {
                    double x = static_cast<double>(v);
                    for (int i = 0; i < 200; ++i)
                        x = std::sqrt(x + 1.0);
                    out[v] = x;
                }
                return true;
            });
        },
        [] {});
    benchmark::DoNotOptimize(out.data());
    state.counters["workers"] = workers;
}

void WorkerArgs(benchmark::internal::Benchmark* b, int kinds)
{
    for (int kind = 0; kind < kinds; ++kind)
        for (int workers : {1, 2, 4, 0})  // 0: all processors
            b->Args({kind, workers});
}
BENCHMARK(BM_IntegrateArea)
    ->Apply([](benchmark::internal::Benchmark* b) { WorkerArgs(b, 3); })
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(0.5);
BENCHMARK(BM_ArithmeticReference)
    ->Apply([](benchmark::internal::Benchmark* b) { WorkerArgs(b, 1); })
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(0.5);
BENCHMARK(BM_CreateMap)
    ->Apply([](benchmark::internal::Benchmark* b) { WorkerArgs(b, 2); })
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(0.5);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    BigSet();  // made before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nSpeed-up per worker against one worker (1.0 is linear, goal >= 0.8 up to 4):\n");
    for (const auto& [task, byWorkers] : Seconds()) {
        const auto one = byWorkers.find(1);
        if (one == byWorkers.end())
            continue;
        std::printf("  %-28s 1 worker %8.2f ms", task.c_str(), one->second * 1e3);
        for (const auto& [workers, seconds] : byWorkers)
            if (workers > 1)
                std::printf("   %d workers %.2f", workers, one->second / seconds / workers);
        std::printf("\n");
    }
    return 0;
}
