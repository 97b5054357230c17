#pragma once
// What the benchmarks share: the folder they write in, a loaded set of 32 x 32 x 8
// voxels of 2048 points (134 MB as a data-set file), the plain buffered copy they are
// measured against, a console reporter that keeps the throughput of every run for
// the table a benchmark prints at the end, the timing of passes on a given number of
// workers, and a saved project of many small sets.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/TFile.h"
#include "platform/Workers.h"

namespace vx::bench {

constexpr int kNX = 32, kNY = 32, kNZ = 8, kPoints = 2048;

inline std::string BenchFolder()
{
    const char* dir = std::getenv("VX_BENCH_DIR");
    return dir && *dir ? std::string(dir) : TempFolder();
}

// Bytes of the set's data-set file: the 256-byte header and 8 bytes a sample.
inline int64_t FileBytes()
{
    return 256 + int64_t(kNX) * kNY * kNZ * kPoints * 8;
}

// A new loaded set of nx x ny x nz voxels of `points` samples; fill(v, samples) writes
// the samples of voxel v.
template <class Fill>
TCSISet* NewLoadedSet(int nx, int ny, int nz, int points, Fill fill)
{
    auto* s = new TCSISet;
    s->m_nDim[0] = nx;
    s->m_nDim[1] = ny;
    s->m_nDim[2] = nz;
    s->m_nPoints = points;
    s->AllocateVoxels();
    s->InitVoxels();
    std::vector<TComplex> samples(static_cast<size_t>(points));
    for (size_t v = 0; v < s->VoxelCount(); ++v) {
        fill(v, samples);
        s->GetVoxel(v)->SetComplexData(samples.data());
    }
    s->m_bLoaded = true;
    return s;
}

// Samples of voxel v for the drawing benchmarks: two Lorentzian lines (points 300 and 700)
// whose height cycles through 1 .. 7 over the voxels.
inline void TwoLines(size_t v, std::vector<TComplex>& samples)
{
    const float height = 1.0f + static_cast<float>(v % 7);
    for (size_t i = 0; i < samples.size(); ++i) {
        const float a = (static_cast<float>(i) - 300.0f) / 6.0f, b = (static_cast<float>(i) - 700.0f) / 10.0f;
        samples[i] = TComplex(height / (1 + a * a) + 0.5f * height / (1 + b * b), height * a / (1 + a * a));
    }
}

// The set, made once: pseudo-random samples, so that no compression or zero page helps.
inline TCSISet& BenchSet()
{
    static TCSISet* set = [] {
        uint32_t seed = 1;
        auto* s = NewLoadedSet(kNX, kNY, kNZ, kPoints, [&](size_t, std::vector<TComplex>& samples) {
            for (TComplex& c : samples) {
                seed = seed * 1664525u + 1013904223u;
                c = TComplex(static_cast<float>(seed >> 8), -static_cast<float>(seed & 0xffff));
            }
        });
        s->m_fFrequency = 127.7f;
        s->m_nSpectralWidth = 2000;
        return s;
    }();
    return *set;
}

// Pseudo-random words that are valid floats, for Philips sample files: VAX F words
// (exponent byte 0x40..0x43, stored second) for SDAT files, IEEE words for DATA files.
inline std::string RandomSamples(int64_t bytes, bool vax, uint32_t& seed)
{
    std::string out(static_cast<size_t>(bytes), '\0');
    for (size_t i = 0; i + 4 <= out.size(); i += 4) {
        seed = seed * 1664525u + 1013904223u;
        unsigned char w[4];
        std::memcpy(w, &seed, 4);
        if (vax)
            w[1] = static_cast<unsigned char>(0x40 | (w[1] & 0x83));
        else
            w[3] = static_cast<unsigned char>(0x40 | (w[3] & 0x81));
        std::memcpy(&out[i], w, 4);
    }
    return out;
}

// The reference: reads `from` and writes its bytes to `to` in blocks of the buffer's
// size, then syncs `to` to the disk when asked. False when a file does not open.
inline bool PlainCopy(const std::string& from, const std::string& to, bool sync, std::vector<char>& buffer)
{
    TFile in, out;
    if (!in.Open(from, TFile::Mode::Read) || !out.Open(to, TFile::Mode::Write))
        return false;
    size_t n;
    while ((n = in.Read(buffer.data(), buffer.size())) > 0)
        out.Write(buffer.data(), n);
    if (sync)
        out.Sync();
    out.Close();
    return true;
}

// Keeps, per benchmark (its name with the arguments), the real and processor time per
// iteration and the counters of its runs; with --benchmark_repetitions the tables at the end use
// the median of the repetitions (noisy machines), also when only aggregates are shown.
class TMedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Iteration) {
                m_runs[name].times.push_back(run.GetAdjustedRealTime());
                m_runs[name].cpuTimes.push_back(run.GetAdjustedCPUTime());
                for (const auto& [key, counter] : run.counters)
                    m_runs[name].counters[key].push_back(counter.value);
            } else if (run.aggregate_name == "median") {
                m_runs[name].medianTime = run.GetAdjustedRealTime();
                m_runs[name].medianCpuTime = run.GetAdjustedCPUTime();
                for (const auto& [key, counter] : run.counters)
                    m_runs[name].medianCounters[key] = counter.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Median real time per iteration (in the benchmark's unit) of the benchmark of that
    // name (with any arguments); 0 when it did not run.
    double Time(const std::string& name) const
    {
        const TRuns* r = Find(name);
        return !r ? 0.0 : r->medianTime > 0 ? r->medianTime : Median(r->times);
    }

    // The same in processor time of the benchmark's thread: for single-threaded work
    // it leaves out the time other programs had the processor.
    double CpuTime(const std::string& name) const
    {
        const TRuns* r = Find(name);
        return !r ? 0.0 : r->medianCpuTime > 0 ? r->medianCpuTime : Median(r->cpuTimes);
    }

    // Median of a counter of that benchmark; 0 when it did not run.
    double Counter(const std::string& name, const std::string& counter) const
    {
        const TRuns* r = Find(name);
        if (!r)
            return 0.0;
        if (const auto it = r->medianCounters.find(counter); it != r->medianCounters.end())
            return it->second;
        const auto it = r->counters.find(counter);
        return it == r->counters.end() ? 0.0 : Median(it->second);
    }

private:
    struct TRuns {
        std::vector<double> times, cpuTimes;
        std::map<std::string, std::vector<double>> counters;
        double medianTime = 0, medianCpuTime = 0;
        std::map<std::string, double> medianCounters;
    };

    const TRuns* Find(const std::string& name) const
    {
        for (const auto& [run, runs] : m_runs)
            if (run == name || run.rfind(name + "/", 0) == 0)
                return &runs;
        return nullptr;
    }

    static double Median(std::vector<double> v)
    {
        if (v.empty())
            return 0.0;
        std::sort(v.begin(), v.end());
        const size_t h = v.size() / 2;
        return v.size() % 2 ? v[h] : 0.5 * (v[h - 1] + v[h]);
    }

    std::map<std::string, TRuns> m_runs;
};

// Throughput in MB/s (the median with repetitions) for the tables at the end.
class TThroughputReporter : public TMedianReporter {
public:
    // MB/s of the benchmark of that name (with any arguments); 0 when it did not run.
    double MBps(const std::string& name) const { return Counter(name, "bytes_per_second") / 1e6; }
};

// Prints "label: ratio 1.32 (goal <= 1.5)", or ">=" when atLeast, with a mark when the
// goal is missed. A ratio of two measured rates or times is positive and finite; any
// other (0 or a division by 0: one side left out by --benchmark_filter) is "not run".
inline void PrintRatio(const char* label, double ratio, double goal, bool atLeast)
{
    if (!(ratio > 0) || !std::isfinite(ratio)) {
        std::printf("%s: not run\n", label);
        return;
    }
    const bool met = atLeast ? ratio >= goal : ratio <= goal;
    std::printf("%s: ratio %.2f (goal %s %.2g)%s\n", label, ratio, atLeast ? ">=" : "<=", goal,
                met ? "" : "  MISSED");
}

// The processors the system reports (at least 1).
inline int AllWorkers()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

// Runs pass() once an iteration on `workers` workers (the count is given back after)
// and takes its time as the iteration's manual time; after() runs untimed. Returns the
// mean seconds of pass().
template <class Pass, class After>
double TimePasses(benchmark::State& state, int workers, Pass pass, After after)
{
    const int saved = ProcessorCount();
    SetProcessorCount(workers);
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pass();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total += seconds;
        state.SetIterationTime(seconds);
        after();
    }
    SetProcessorCount(saved);
    return total / static_cast<double>(state.iterations());
}

// Makes the project `name` in `folder` (removing what was there) of `sets` sets "set0",
// "set1", ... of side x side voxels of `points` random samples, with the first set as its
// saved work set or without a work set; false when it cannot be written.
inline bool MakeProjectOfSets(const std::string& folder, const std::string& name, int sets, int side, int points,
                              bool withWorkSet)
{
    RemoveFolderTree(folder);
    TProject project;
    if (!project.Create(folder, name))
        return false;
    uint32_t seed = 7;
    for (int k = 0; k < sets; ++k) {
        std::unique_ptr<TCSISet> set(NewLoadedSet(side, side, 1, points, [&](size_t, std::vector<TComplex>& s) {
            for (TComplex& c : s) {
                seed = seed * 1664525u + 1013904223u;
                c = TComplex(static_cast<float>(seed >> 8), -static_cast<float>(seed & 0xffff));
            }
        }));
        set->m_pProject = &project;
        set->m_fFOV[0] = set->m_fFOV[1] = 240.0f;
        set->m_fFOV[2] = 10.0f;
        set->m_fFrequency = 127.7f;
        set->m_nSpectralWidth = 2000;
        set->m_strName = "set" + std::to_string(k);
        set->SetFolder(folder);
        if (!set->WriteDataFile(set->GetFilePath()))
            return false;
        set->FreeSpectra();
        project.m_pCSISetList->Add(set.release());
    }
    if (!withWorkSet)
        return project.Save();
    project.SetWorkSet(*project.m_pCSISetList->begin());
    return project.m_pWorkSet && project.SaveWorkSet(false) && project.Save();
}

// A benchmark program's main: runs the benchmarks its command line names, then removes
// the folder they wrote in.
inline int RunBenchmarksThenRemove(int argc, char** argv, const std::string& folder)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    RemoveFolderTree(folder);
    benchmark::Shutdown();
    return 0;
}

}  // namespace vx::bench
