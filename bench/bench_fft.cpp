// Forward transforms of TMixedRadixFFT side by side with FFTW (double, FFTW_MEASURE
// plan made outside the timed loop), with the ratio ours/FFTW printed per length.
// Targets: at most 3 for powers of two, at most 5 for the other lengths.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "model/TMixedRadixFFT.h"

#if __has_include(<fftw3.h>)
#include <fftw3.h>
#define VX_HAVE_FFTW 1
#endif

namespace {

const int kLengths[] = {256, 512, 1000, 1023, 1024, 2048, 4096};

std::vector<double> Noise(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v)
        x = u(rng);
    return v;
}

void BM_Ours(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> re = Noise(n, 1), im = Noise(n, 2);
    std::vector<double> outRe(re.size()), outIm(im.size());
    TMixedRadixFFT fft;
    fft.Forward(n, re.data(), im.data(), outRe.data(), outIm.data());  // tables for this length
    for (auto _ : state) {
        fft.Forward(n, re.data(), im.data(), outRe.data(), outIm.data());
        benchmark::DoNotOptimize(outRe.data());
        benchmark::DoNotOptimize(outIm.data());
    }
}

#ifdef VX_HAVE_FFTW
void BM_FFTW(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    fftw_complex* in = fftw_alloc_complex(static_cast<size_t>(n));
    fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n));
    fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_MEASURE);
    const std::vector<double> re = Noise(n, 1), im = Noise(n, 2);
    for (int j = 0; j < n; ++j) {
        in[j][0] = re[static_cast<size_t>(j)];
        in[j][1] = im[static_cast<size_t>(j)];
    }
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}
#endif

// Keeps the time per iteration of every run for the ratio table.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const std::string name = run.benchmark_name();  // "BM_Ours/1024"
                const size_t slash = name.find('/');
                if (slash != std::string::npos)
                    m_times[{name.substr(0, slash), std::atoi(name.c_str() + slash + 1)}] = run.GetAdjustedRealTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const
    {
        std::printf("\n%8s %12s %12s %8s %8s\n", "n", "ours", "FFTW", "ratio", "target");
        for (int n : kLengths) {
            const auto ours = m_times.find({"BM_Ours", n});
            const auto fftw = m_times.find({"BM_FFTW", n});
            if (ours == m_times.end() || fftw == m_times.end())
                continue;
            const bool powerOfTwo = (n & (n - 1)) == 0;
            const double ratio = ours->second / fftw->second;
            const double target = powerOfTwo ? 3.0 : 5.0;
            std::printf("%8d %12.3f %12.3f %8.2f %8.0f%s\n", n, ours->second, fftw->second, ratio, target,
                        ratio > target ? "  over target" : "");
        }
    }

private:
    std::map<std::pair<std::string, int>, double> m_times;  // (family, n) -> time
};

}  // namespace

int main(int argc, char** argv)
{
    for (int n : kLengths) {
        benchmark::RegisterBenchmark("BM_Ours", BM_Ours)->Arg(n)->Unit(benchmark::kMicrosecond);
#ifdef VX_HAVE_FFTW
        benchmark::RegisterBenchmark("BM_FFTW", BM_FFTW)->Arg(n)->Unit(benchmark::kMicrosecond);
#endif
    }
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
