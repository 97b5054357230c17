// HLSVD removal of a 32 x 32 x 1 set of 1024 points with K = 10, against a full
// LAPACK SVD (zgesdd, with the singular vectors HLSVD needs) of every voxel's
// 256 x 257 Hankel matrix on the same number of worker threads. It starts its BLAS as
// the program does, whatever the environment says about BLAS threads.
#include <benchmark/benchmark.h>

#include <chrono>
#include <complex>
#include <vector>

#include "model/TCSISet.h"
#include "platform/BlasThreads.h"
#include "platform/Lapack.h"
#include "platform/Workers.h"
#include "support/SyntheticFID.h"

namespace {

constexpr int kNX = 32, kNY = 32, kPoints = 1024, kSW = 2000, kPeaks = 10, kFitPoints = 512;

// Water and three metabolite lines whose frequencies, widths and phases vary from voxel
// to voxel, with noise at SNR 50; frequency domain, halves swapped, as the program shows them.
const std::vector<TComplex>& Spectra()
{
    static const std::vector<TComplex> samples = [] {
        TCSISet set;
        set.m_nDim[0] = kNX;
        set.m_nDim[1] = kNY;
        set.m_nPoints = kPoints;
        set.AllocateVoxels();
        set.InitVoxels();
        std::vector<TComplex> fid(kPoints);
        for (size_t v = 0; v < set.VoxelCount(); ++v) {
            const double shift = (static_cast<double>(v % 17) - 8) / kSW;
            const std::vector<vx::test::TExpComponent> lines = {
                {2000, 0.01 * v, -0.003 - 1e-5 * (v % 7), shift},
                {60, 0.3, -0.006, -320.0 / kSW + shift},
                {40, 1.0, -0.008, 230.0 / kSW + shift},
                {30, -0.5, -0.006, 410.0 / kSW + shift}};
            const auto x = vx::test::SynthesizeFID(lines, kPoints, 40.0, static_cast<unsigned>(v + 1));
            for (int i = 0; i < kPoints; ++i)
                fid[static_cast<size_t>(i)] = TComplex(x[static_cast<size_t>(i)]);
            set.GetVoxel(v)->SetComplexData(fid.data());
        }
        set.m_bLoaded = true;
        set.ToFrequencyDomain();
        set.FFTShiftSpectra();
        std::vector<TComplex> out;
        for (size_t v = 0; v < set.VoxelCount(); ++v)
            out.insert(out.end(), set.GetVoxel(v)->Data(), set.GetVoxel(v)->Data() + kPoints);
        return out;
    }();
    return samples;
}

TCSISet& BenchSet()
{
    static TCSISet* set = [] {
        auto* s = new TCSISet;
        s->m_nDim[0] = kNX;
        s->m_nDim[1] = kNY;
        s->m_nPoints = kPoints;
        s->m_nSpectralWidth = kSW;
        s->m_fFrequency = 127.7f;
        s->AllocateVoxels();
        s->InitVoxels();
        s->m_bLoaded = true;
        s->m_bFrequencyDomain = 1;
        return s;
    }();
    return *set;
}

void RestoreSpectra(TCSISet& set)
{
    const std::vector<TComplex>& samples = Spectra();
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        set.GetVoxel(v)->SetComplexData(samples.data() + v * kPoints);
    set.m_bFrequencyDomain = 1;
}

double g_referenceSeconds = 0;

// The full decomposition of every voxel's Hankel matrix, on the workers.
void BM_FullSVDOfEveryVoxel(benchmark::State& state)
{
    const int workers = vx::ProcessorCount();
    TCSISet& set = BenchSet();
    RestoreSpectra(set);
    set.FFTShiftSpectra();
    set.ToTimeDomain();
    const int rows = kFitPoints / 2, cols = kFitPoints - kFitPoints / 2 + 1;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        vx::RunWorkers(workers, [&](int k, int n) {
            std::vector<std::complex<double>> h(static_cast<size_t>(rows) * cols), u(static_cast<size_t>(rows) * rows),
                vt(static_cast<size_t>(rows) * cols);
            std::vector<double> s(rows), rwork(static_cast<size_t>(5 * rows * rows + 7 * rows));
            std::vector<int> iwork(static_cast<size_t>(8 * rows));
            int lwork = -1, info = 0;
            std::complex<double> query;
            zgesdd_("S", &rows, &cols, h.data(), &rows, s.data(), u.data(), &rows, vt.data(), &rows, &query, &lwork,
                    rwork.data(), iwork.data(), &info, 1);
            lwork = static_cast<int>(query.real());
            std::vector<std::complex<double>> work(static_cast<size_t>(lwork));
            const vx::TWorkerBlock block = vx::WorkerBlock(k, n, set.VoxelCount());
            for (size_t v = block.begin; v < block.end; ++v) {
                const TComplex* x = set.GetVoxel(v)->Data();
                for (int j = 0; j < cols; ++j)
                    for (int i = 0; i < rows; ++i)
                        h[static_cast<size_t>(j) * rows + i] = std::complex<double>(x[i + j]);
                zgesdd_("S", &rows, &cols, h.data(), &rows, s.data(), u.data(), &rows, vt.data(), &rows, work.data(),
                        &lwork, rwork.data(), iwork.data(), &info, 1);
                benchmark::DoNotOptimize(s.data());
            }
            return true;
        });
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        g_referenceSeconds = seconds;
    }
    state.counters["workers"] = workers;
    state.counters["ms_per_voxel"] = g_referenceSeconds / static_cast<double>(set.VoxelCount()) * 1e3;
}
BENCHMARK(BM_FullSVDOfEveryVoxel)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// RemovePeaksHLSVD of the whole set (halves swap, transforms, fits, subtraction).
void BM_RemovePeaksHLSVD(benchmark::State& state)
{
    TCSISet& set = BenchSet();
    double total = 0;
    for (auto _ : state) {
        RestoreSpectra(set);
        const auto start = std::chrono::steady_clock::now();
        if (!set.RemovePeaksHLSVD(kPeaks, 60, -60, false))
            state.SkipWithError("the HLSVD library did not load");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    const double perRun = total / static_cast<double>(state.iterations());
    state.counters["workers"] = vx::ProcessorCount();
    state.counters["ms_per_voxel"] = perRun / static_cast<double>(set.VoxelCount()) * 1e3;
    if (g_referenceSeconds > 0)
        state.counters["ratio_to_full_svd"] = perRun / g_referenceSeconds;
}
BENCHMARK(BM_RemovePeaksHLSVD)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The program's start-up call, made before main as the program makes it first of all.
const bool g_startedAsTheProgram = (vx::UseOneBlasThread(), true);

}  // namespace

BENCHMARK_MAIN();
