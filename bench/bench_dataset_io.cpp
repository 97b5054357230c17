// Write and read of a CSI data-set file of 32 x 32 x 8 voxels of 2048 points (134 MB),
// beside a plain buffered copy of the same bytes in the same folder. Both sides end
// their writes on the disk (the data-set writer syncs before it renames its temporary
// file, so the copy syncs too); the table at the end gives MB/s and the ratio.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFile.h"

namespace {

constexpr int kNX = 32, kNY = 32, kNZ = 8, kPoints = 2048;

std::string BenchFolder()
{
    const char* dir = std::getenv("VX_BENCH_DIR");
    return dir && *dir ? std::string(dir) : vx::TempFolder();
}

std::string DataPath() { return vx::JoinPath(BenchFolder(), "vexara_bench_dataset.csi"); }
std::string CopyPath() { return vx::JoinPath(BenchFolder(), "vexara_bench_copy.bin"); }

TCSISet& SourceSet()
{
    static TCSISet* set = [] {
        auto* s = new TCSISet;
        s->m_nDim[0] = kNX;
        s->m_nDim[1] = kNY;
        s->m_nDim[2] = kNZ;
        s->m_nPoints = kPoints;
        s->m_fFrequency = 127.7f;
        s->m_nSpectralWidth = 2000;
        s->AllocateVoxels();
        s->InitVoxels();
        std::vector<TComplex> samples(kPoints);
        uint32_t seed = 1;
        for (size_t v = 0; v < s->VoxelCount(); ++v) {
            for (TComplex& c : samples) {
                seed = seed * 1664525u + 1013904223u;
                c = TComplex(static_cast<float>(seed >> 8), -static_cast<float>(seed & 0xffff));
            }
            s->GetVoxel(v)->SetComplexData(samples.data());
        }
        s->m_bLoaded = true;
        return s;
    }();
    return *set;
}

int64_t FileBytes() { return 256 + int64_t(kNX) * kNY * kNZ * kPoints * 8; }

void BM_DataSetWrite(benchmark::State& state)
{
    TCSISet& set = SourceSet();
    for (auto _ : state)
        if (!set.WriteDataFile(DataPath()))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

// Reading into a loaded set of the same grid, as undo and redo read a saved state
// back into the work set: the spectra and their memory are reused.
void BM_DataSetRead(benchmark::State& state)
{
    if (!SourceSet().WriteDataFile(DataPath())) {
        state.SkipWithError("write failed");
        return;
    }
    TCSISet set;
    if (!set.ReadDataFile(DataPath())) {
        state.SkipWithError("read failed");
        return;
    }
    for (auto _ : state)
        if (!set.ReadDataFile(DataPath()))
            state.SkipWithError("read failed");
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

// As a set becomes the work set: LoadData frees the samples and reads the file into
// new memory, whose first touch the system pays for.
void BM_DataSetLoad(benchmark::State& state)
{
    if (!SourceSet().WriteDataFile(DataPath())) {
        state.SkipWithError("write failed");
        return;
    }
    TCSISet set;
    set.m_strFilePath = DataPath();
    for (auto _ : state)
        if (!set.LoadData())
            state.SkipWithError("read failed");
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

// The undo swap: the work set is written, and a saved state read back into it.
void BM_DataSetWriteRead(benchmark::State& state)
{
    TCSISet& out = SourceSet();
    TCSISet in;
    if (!out.WriteDataFile(DataPath()) || !in.ReadDataFile(DataPath())) {
        state.SkipWithError("write or read failed");
        return;
    }
    for (auto _ : state)
        if (!out.WriteDataFile(DataPath()) || !in.ReadDataFile(DataPath()))
            state.SkipWithError("write or read failed");
    state.SetBytesProcessed(state.iterations() * 2 * FileBytes());
}

// Reads the data-set file and writes its bytes to another file in 1 MB blocks.
void BM_PlainCopy(benchmark::State& state)
{
    if (!SourceSet().WriteDataFile(DataPath())) {
        state.SkipWithError("write failed");
        return;
    }
    std::vector<char> buffer(size_t(1) << 20);
    for (auto _ : state) {
        vx::TFile from, to;
        if (!from.Open(DataPath(), vx::TFile::Mode::Read) || !to.Open(CopyPath(), vx::TFile::Mode::Write)) {
            state.SkipWithError("open failed");
            break;
        }
        size_t n;
        while ((n = from.Read(buffer.data(), buffer.size())) > 0)
            to.Write(buffer.data(), n);
        to.Sync();
        to.Close();
    }
    state.SetBytesProcessed(state.iterations() * 2 * FileBytes());
}

BENCHMARK(BM_DataSetWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DataSetRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DataSetLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DataSetWriteRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps the throughput of every run for the table at the end.
class TThroughputReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const auto it = run.counters.find("bytes_per_second");
                if (it != run.counters.end())
                    m_mbps[run.benchmark_name()] = it->second.value / 1e6;
            }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintTable() const
    {
        const auto get = [&](const char* prefix) {
            for (const auto& [name, mbps] : m_mbps)
                if (name == prefix || name.rfind(std::string(prefix) + "/", 0) == 0)
                    return mbps;
            return 0.0;
        };
        const double copy = get("BM_PlainCopy");
        std::printf("\n%-22s %10s %10s\n", "", "MB/s", "of copy");
        for (const char* name : {"BM_DataSetWriteRead", "BM_DataSetWrite", "BM_DataSetRead", "BM_DataSetLoad", "BM_PlainCopy"}) {
            const double mbps = get(name);
            std::printf("%-22s %10.0f %9.0f%%\n", name, mbps, copy > 0 ? 100.0 * mbps / copy : 0.0);
        }
        const double ratio = copy > 0 ? get("BM_DataSetWriteRead") / copy : 0.0;
        std::printf("write + read against the plain copy: %.0f%% (target at least 70%%)%s\n", 100.0 * ratio,
                    ratio < 0.7 ? "  below target" : "");
    }

private:
    std::map<std::string, double> m_mbps;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TThroughputReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable();
    vx::RemoveFile(DataPath());
    vx::RemoveFile(CopyPath());
    benchmark::Shutdown();
    return 0;
}
