// The spectral reconstruction of a Philips EPCSI read on a synthetic grid of 32 x 32 x 1
// positions with 512 spectral points (1024 echoes): per position two inverse transforms,
// the per-kx phase corrections and one forward transform. Runs on 1, 2 and 4 workers and
// on all processors, and prints the time per grid position with the speed-up per worker
// against one worker measured in the same run (1.0 is linear). The reference beside it
// is the three transforms alone, on the same split, so the table also shows what the
// corrections cost on top of the transforms.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "model/math/TMixedRadixFFT.h"
#include "platform/Workers.h"
#include "readers/TPhilipsEPCSIReader.h"

namespace {

using vx::bench::AllWorkers;
using vx::bench::TimePasses;

constexpr int kNX = 32, kNY = 32, kNZ = 1, kPoints = 512;
constexpr size_t kPositions = size_t(kNX) * kNY * kNZ;
constexpr size_t kSamples = kPositions * kPoints;

// Pseudo-random samples of one buffer.
std::vector<TComplex> RandomSamples(uint32_t seed)
{
    std::vector<TComplex> out(kSamples);
    for (TComplex& c : out) {
        seed = seed * 1664525u + 1013904223u;
        c = TComplex(float(seed >> 8) / 65536.0f - 128.0f, float(seed & 0xffff) / 256.0f - 128.0f);
    }
    return out;
}

// The reader with its even and odd buffers filled as a DATA read leaves them.
class TBenchReader : public TPhilipsEPCSIReader {
public:
    TBenchReader() : TPhilipsEPCSIReader(&kBlock), m_even(RandomSamples(1)), m_odd(RandomSamples(2))
    {
        m_pCSISet = std::make_unique<TCSISet>();
        TCSISet& set = *m_pCSISet;
        set.m_nDim[0] = kNX, set.m_nDim[1] = kNY, set.m_nDim[2] = kNZ;
        set.m_nPoints = kPoints;
        set.m_nSpectralWidth = 1000;
        m_params.m_nAxisOrder[0] = 0, m_params.m_nAxisOrder[1] = 1, m_params.m_nAxisOrder[2] = 2;
        m_fReadoutDwell = ReadoutDwell(1000, kNX, 220.0f);
        Refill();
    }
    // The buffers as read (the reconstruction combines them in place and drops the odd one).
    void Refill()
    {
        m_pEvenData.reset(new TComplex[kSamples]);
        m_pOddData.reset(new TComplex[kSamples]);
        std::memcpy(m_pEvenData.get(), m_even.data(), kSamples * sizeof(TComplex));
        std::memcpy(m_pOddData.get(), m_odd.data(), kSamples * sizeof(TComplex));
        m_nBufferSamples = kSamples;
    }

private:
    static inline const TCSIReadParams kBlock{};
    std::vector<TComplex> m_even, m_odd;
};

// Seconds per pass by task and worker count, for the table at the end.
std::map<std::string, std::map<int, double>>& Seconds()
{
    static std::map<std::string, std::map<int, double>> seconds;
    return seconds;
}

int WorkersOf(const benchmark::State& state)
{
    return state.range(0) == 0 ? AllWorkers() : static_cast<int>(state.range(0));
}

void BM_Reconstruct(benchmark::State& state)
{
    const int workers = WorkersOf(state);
    TBenchReader reader;
    Seconds()["reconstruction"][workers] = TimePasses(
        state, workers,
        [&] {
            if (!reader.Reconstruct())
                state.SkipWithError("the reconstruction failed");
        },
        [&] { reader.Refill(); });
    state.counters["workers"] = workers;
    state.counters["us_per_position"] = Seconds()["reconstruction"][workers] / double(kPositions) * 1e6;
}

// The transforms alone: two inverse and one forward transform of 512 points per position.
void BM_TransformsOnly(benchmark::State& state)
{
    const int workers = WorkersOf(state);
    std::vector<TComplex> even = RandomSamples(1), odd = RandomSamples(2);
    const std::vector<TComplex> evenIn = even, oddIn = odd;
    Seconds()["reference: transforms only"][workers] = TimePasses(
        state, workers,
        [&] {
            vx::RunWorkerBlocks(kPositions, [&](size_t begin, size_t end) {
                TMixedRadixFFT fft;
                for (size_t v = begin; v < end; ++v) {
                    fft.InverseComplex(&even[v * kPoints], kPoints);
                    fft.InverseComplex(&odd[v * kPoints], kPoints);
                    fft.ForwardComplex(&even[v * kPoints], kPoints);
                }
                return true;
            });
        },
        [&] { even = evenIn, odd = oddIn; });
    benchmark::DoNotOptimize(even.data());
    state.counters["workers"] = workers;
}

void WorkerArgs(benchmark::internal::Benchmark* b)
{
    for (int workers : {1, 2, 4, 0})  // 0: all processors
        b->Arg(workers);
}
BENCHMARK(BM_Reconstruct)->Apply(WorkerArgs)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(0.5);
BENCHMARK(BM_TransformsOnly)->Apply(WorkerArgs)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(0.5);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nEPCSI reconstruction of %d x %d x %d positions, %d points: time per grid position and\n"
                "speed-up per worker against one worker (1.0 is linear):\n",
                kNX, kNY, kNZ, kPoints);
    for (const auto& [task, byWorkers] : Seconds()) {
        const auto one = byWorkers.find(1);
        if (one == byWorkers.end())
            continue;
        std::printf("  %-28s 1 worker %7.2f us/position", task.c_str(), one->second / double(kPositions) * 1e6);
        for (const auto& [workers, seconds] : byWorkers)
            if (workers > 1)
                std::printf("   %d workers %.2f", workers, one->second / seconds / workers);
        std::printf("\n");
    }
    const auto& rec = Seconds()["reconstruction"];
    const auto& ref = Seconds()["reference: transforms only"];
    if (rec.count(1) && ref.count(1))
        std::printf("  reconstruction / transforms alone, 1 worker: %.2f\n", rec.at(1) / ref.at(1));
    return 0;
}
