// Domain transforms of whole CSI sets: ToFrequencyDomain + ToTimeDomain on three set
// sizes with 1, 2, 4 and all workers, time per voxel and speed-up against one worker
// measured in the same run; and the spatial transform (ToKSpace) of the largest set
// against one spectral pass (ToFrequencyDomain) with the same workers.
// Targets: speed-up at least 0.8 x workers up to 4 workers on the two larger sets;
// spatial transform of the largest set under twice the time of one spectral pass.
// A plain in-place pass over the same bytes shows what the memory system allows.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Workers.h"
#include "BenchSupport.h"

namespace {

using vx::bench::AllWorkers;
using vx::bench::TimePasses;

struct TSize {
    int nx, ny, nz, points;
};
const TSize kSizes[] = {{16, 16, 1, 512}, {32, 32, 8, 1024}, {64, 64, 16, 1024}};

// One set per size, made once and kept for the whole run.
TCSISet& SetOfSize(int index)
{
    static std::map<int, std::unique_ptr<TCSISet>> sets;
    std::unique_ptr<TCSISet>& slot = sets[index];
    if (!slot) {
        const TSize& s = kSizes[index];
        slot.reset(vx::bench::NewLoadedSet(s.nx, s.ny, s.nz, s.points, [](size_t v, std::vector<TComplex>& fid) {
            for (size_t i = 0; i < fid.size(); ++i) {
                const double t = static_cast<double>(i);
                fid[i] = TComplex(static_cast<float>(std::exp(-t / 200.0) * std::cos(0.3 * t + v)),
                                  static_cast<float>(std::exp(-t / 200.0) * std::sin(0.3 * t + v)));
            }
        }));
        slot->m_nEchoPosition = 3;
        slot->m_nSliceAxis = 2;
    }
    return *slot;
}

// Seconds per iteration of the one-worker run of each size, for the speed-ups.
std::map<int, double>& OneWorkerSeconds()
{
    static std::map<int, double> seconds;
    return seconds;
}

void BM_DomainRoundTrip(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const int workers = state.range(1) == 0 ? AllWorkers() : static_cast<int>(state.range(1));
    TCSISet& set = SetOfSize(size);
    const double perIteration = TimePasses(
        state, workers,
        [&] {
            set.ToFrequencyDomain();
            set.ToTimeDomain();
        },
        [] {});
    const double voxels = static_cast<double>(set.VoxelCount());
    state.counters["workers"] = workers;
    state.counters["us_per_voxel"] = perIteration / voxels * 1e6;
    if (workers == 1)
        OneWorkerSeconds()[size] = perIteration;
    else if (OneWorkerSeconds().count(size)) {
        const double speedUp = OneWorkerSeconds()[size] / perIteration;
        state.counters["speedup"] = speedUp;
        state.counters["speedup_per_worker"] = speedUp / workers;
    }
}

void RoundTripArgs(benchmark::internal::Benchmark* b)
{
    for (int size = 0; size < 3; ++size)
        for (int workers : {1, 2, 4, 0})  // 0: all processors
            b->Args({size, workers});
}
BENCHMARK(BM_DomainRoundTrip)->Apply(RoundTripArgs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

// One spectral pass and one spatial transform of the largest set, same workers.
std::map<int, double>& SpectralPassSeconds()
{
    static std::map<int, double> seconds;
    return seconds;
}

void BM_SpectralPass(benchmark::State& state)
{
    const int workers = state.range(0) == 0 ? AllWorkers() : static_cast<int>(state.range(0));
    TCSISet& set = SetOfSize(2);
    SpectralPassSeconds()[workers] =
        TimePasses(state, workers, [&] { set.ToFrequencyDomain(); }, [&] { set.ToTimeDomain(); });
    state.counters["workers"] = workers;
}
BENCHMARK(BM_SpectralPass)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(0.5);

// Argument 1: 0 a 3-D set (all three axes), 1 the same grid as a multi-slice set
// (the two in-plane axes only).
void BM_SpatialTransform(benchmark::State& state)
{
    const int workers = state.range(0) == 0 ? AllWorkers() : static_cast<int>(state.range(0));
    TCSISet& set = SetOfSize(2);
    set.m_bKSpace = 0;
    set.m_bMultiSlice = static_cast<int>(state.range(1));
    const double perIteration = TimePasses(state, workers, [&] { set.ToKSpace(); }, [&] { set.ToVoxelSpace(); });
    set.m_bMultiSlice = 0;
    state.counters["workers"] = workers;
    if (SpectralPassSeconds().count(workers))
        state.counters["ratio_to_spectral_pass"] = perIteration / SpectralPassSeconds()[workers];
}
BENCHMARK(BM_SpatialTransform)->Args({1, 0})->Args({0, 0})->Args({1, 1})->Args({0, 1})->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(0.5);

// Reference for the machine's limit: the plainest in-place pass over as many bytes as
// the largest set holds, in 8 KiB pieces (one spectrum), with no arithmetic to speak
// of. Argument 1: 0 splits the pieces as the transforms split voxels (piece k, k+n,
// ... to worker k), 1 gives each worker one run of consecutive pieces. Its speed-up
// with workers bounds what the memory system allows a whole-set pass with that split.
void BM_MemoryStream(benchmark::State& state)
{
    const int workers = state.range(0) == 0 ? AllWorkers() : static_cast<int>(state.range(0));
    const bool runs = state.range(1) == 1;
    const TSize& s = kSizes[2];
    constexpr size_t kPiece = 1024;  // complex floats, one spectrum of the largest set
    static std::vector<TComplex> data(static_cast<size_t>(s.nx) * s.ny * s.nz * s.points, TComplex(1, 0));
    const size_t pieces = data.size() / kPiece;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        vx::RunWorkers(workers, [&](int k, int n) {
            const size_t first = runs ? pieces * static_cast<size_t>(k) / static_cast<size_t>(n) : static_cast<size_t>(k);
            const size_t end = runs ? pieces * static_cast<size_t>(k + 1) / static_cast<size_t>(n) : pieces;
            const size_t step = runs ? 1 : static_cast<size_t>(n);
            for (size_t p = first; p < end; p += step)
                for (TComplex& c : std::span(data.data() + p * kPiece, kPiece))
                    c = -c;
            return true;
        });
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double perIteration = total / static_cast<double>(state.iterations());
    static std::map<bool, double> oneWorker;
    if (workers == 1)
        oneWorker[runs] = perIteration;
    state.counters["workers"] = workers;
    state.counters["GB_per_s"] = 2.0 * static_cast<double>(data.size() * sizeof(TComplex)) / perIteration / 1e9;
    if (workers > 1 && oneWorker.count(runs))
        state.counters["speedup_per_worker"] = oneWorker[runs] / perIteration / workers;
}

void MemoryStreamArgs(benchmark::internal::Benchmark* b)
{
    for (int split : {0, 1})
        for (int workers : {1, 2, 4, 0})  // 0: all processors
            b->Args({workers, split});
}
BENCHMARK(BM_MemoryStream)->Apply(MemoryStreamArgs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
