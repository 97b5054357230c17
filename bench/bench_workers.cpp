// Cost of starting and joining the worker threads, against one worker.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "platform/Workers.h"

static void BM_RunWorkers(benchmark::State& state)
{
    const int workers = static_cast<int>(state.range(0));
    std::vector<double> data(1 << 20, 1.0);
    for (auto _ : state) {
        vx::RunWorkers(workers, [&](int k, int n) {
            for (size_t i = static_cast<size_t>(k); i < data.size(); i += static_cast<size_t>(n))
                data[i] = std::sqrt(data[i] + 1.0);
            return true;
        });
        benchmark::DoNotOptimize(data.data());
    }
}
BENCHMARK(BM_RunWorkers)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
