// Whole-set filters on 1, 2 and 4 workers: the Gaussian line broadening, a k-space
// window, the quadratic sliding baseline fit and the moving-average water suppression
// of a 16 x 16 x 4 set of 2048 points. Prints each run's speed-up against one worker.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <map>
#include <vector>

#include "model/TCSISet.h"
#include "model/TWaterSuppressionParams.h"
#include "platform/Workers.h"

namespace {

constexpr int kNX = 16, kNY = 16, kNZ = 4, kPoints = 2048;

void MakeSet(TCSISet& set)
{
    set.m_nDim[0] = kNX;
    set.m_nDim[1] = kNY;
    set.m_nDim[2] = kNZ;
    set.m_nPoints = kPoints;
    set.m_nSpectralWidth = 2000;
    set.m_fFrequency = 127.7f;
    set.AllocateVoxels();
    set.InitVoxels();
    std::vector<TComplex> fid(kPoints);
    for (size_t v = 0; v < set.VoxelCount(); ++v) {
        for (int i = 0; i < kPoints; ++i)
            fid[static_cast<size_t>(i)] = TComplex(static_cast<float>(std::exp(-i / 300.0) * std::cos(0.2 * i + v)),
                                                   static_cast<float>(std::exp(-i / 300.0) * std::sin(0.2 * i + v)));
        set.GetVoxel(v)->SetComplexData(fid.data());
    }
    set.m_bLoaded = true;
    set.m_bFrequencyDomain = 0;
}

// The pristine samples every pass starts from (0) and the set the passes change (1).
TCSISet& BenchSet(int which)
{
    static TCSISet sets[2];
    static const bool made = [] {
        MakeSet(sets[0]);
        MakeSet(sets[1]);
        return true;
    }();
    (void)made;
    return sets[which];
}

bool RunFilter(int op, TCSISet& set)
{
    static const int32_t regions[] = {900, 1100};
    TWaterSuppressionParams water;
    switch (op) {
    case 0: return set.GaussFilter(4.0f);
    case 1: return set.SpatialFilter(0, 0, 0.0f, 0.0f);
    case 2: return set.FitBaselineAll(1, 1, regions);
    default: return set.SuppressWater(water);
    }
}

std::map<int, double>& OneWorkerSeconds()
{
    static std::map<int, double> seconds;
    return seconds;
}

void BM_Filter(benchmark::State& state)
{
    const int op = static_cast<int>(state.range(0));
    const int workers = static_cast<int>(state.range(1));
    const int saved = vx::ProcessorCount();
    vx::SetProcessorCount(workers);
    TCSISet& set = BenchSet(1);
    double total = 0;
    for (auto _ : state) {
        set.CopyDataFrom(BenchSet(0));
        set.m_bFrequencyDomain = 0;
        const auto start = std::chrono::steady_clock::now();
        if (!RunFilter(op, set))
            state.SkipWithError("the filter refused the set");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    vx::SetProcessorCount(saved);
    const double perIteration = total / static_cast<double>(state.iterations());
    if (workers == 1)
        OneWorkerSeconds()[op] = perIteration;
    else if (OneWorkerSeconds().count(op))
        state.counters["speedup"] = OneWorkerSeconds()[op] / perIteration;
}

void FilterArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"filter", "workers"});
    for (int op = 0; op < 4; ++op)
        for (int workers : {1, 2, 4})
            b->Args({op, workers});
}

}  // namespace

BENCHMARK(BM_Filter)->Apply(FilterArgs)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(0.3);
BENCHMARK_MAIN();
