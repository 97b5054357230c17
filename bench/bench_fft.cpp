// Forward transforms of TMixedRadixFFT side by side with FFTW (double, FFTW_MEASURE
// plan made outside the timed loop), with the ratio ours / FFTW printed per length
// against its goal (at most 1.5 for every length). Both run on one thread, so the
// ratio is taken in processor time, which other programs on the machine do not
// lengthen; with --benchmark_repetitions it uses the medians.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "model/math/TMixedRadixFFT.h"

#if __has_include(<fftw3.h>)
#include <fftw3.h>
#define VX_HAVE_FFTW 1
#endif

namespace {

const int kLengths[] = {256, 512, 1000, 1023, 1024, 2048, 4096};
constexpr double kGoal = 1.5;

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

void PrintRatios(const vx::bench::TMedianReporter& reporter)
{
    std::printf("\n%8s %12s %12s  (processor time)\n", "n", "ours", "FFTW");
    for (int n : kLengths) {
        char arg[16];
        std::snprintf(arg, sizeof arg, "/%d", n);
        const double ours = reporter.CpuTime(std::string("BM_Ours") + arg),
                     fftw = reporter.CpuTime(std::string("BM_FFTW") + arg);
        if (ours <= 0 || fftw <= 0)
            continue;
        std::printf("%8d %12.3f %12.3f   ", n, ours, fftw);
        vx::bench::PrintRatio("ours / FFTW", ours / fftw, kGoal, false);
    }
}

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
    vx::bench::TMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
