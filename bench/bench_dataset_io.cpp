// Write and read of a CSI data-set file of 32 x 32 x 8 voxels of 2048 points (134 MB),
// beside a plain buffered copy of the same bytes in the same folder. Both sides end
// their writes on the disk (the data-set writer syncs before it renames its temporary
// file, so the copy syncs too). Every benchmark handles the file once an iteration and is
// credited with its bytes once, so that MB/s over MB/s is the copy's time over the
// benchmark's. The table at the end gives MB/s and each ratio to the copy against its
// goal: write + read at least 0.9, write and load each at least 0.8; a benchmark left out
// by --benchmark_filter reads "not run". With --benchmark_repetitions the table uses the
// medians.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace {

using namespace vx::bench;

std::string DataPath() { return vx::JoinPath(BenchFolder(), "vexara_bench_dataset.csi"); }
std::string CopyPath() { return vx::JoinPath(BenchFolder(), "vexara_bench_copy.bin"); }

void BM_DataSetWrite(benchmark::State& state)
{
    TCSISet& set = BenchSet();
    for (auto _ : state)
        if (!set.WriteDataFile(DataPath()))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

// Reading into a loaded set of the same grid, as undo and redo read a saved state
// back into the work set: the spectra and their memory are reused.
void BM_DataSetRead(benchmark::State& state)
{
    if (!BenchSet().WriteDataFile(DataPath())) {
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
    if (!BenchSet().WriteDataFile(DataPath())) {
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

// The undo swap: the work set is written, and a saved state read back into it. The
// file is written and read as the copy reads and writes it.
void BM_DataSetWriteRead(benchmark::State& state)
{
    TCSISet& out = BenchSet();
    TCSISet in;
    if (!out.WriteDataFile(DataPath()) || !in.ReadDataFile(DataPath())) {
        state.SkipWithError("write or read failed");
        return;
    }
    for (auto _ : state)
        if (!out.WriteDataFile(DataPath()) || !in.ReadDataFile(DataPath()))
            state.SkipWithError("write or read failed");
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

// Reads the data-set file and writes its bytes to another file in 1 MB blocks.
void BM_PlainCopy(benchmark::State& state)
{
    if (!BenchSet().WriteDataFile(DataPath())) {
        state.SkipWithError("write failed");
        return;
    }
    std::vector<char> buffer(size_t(1) << 20);
    for (auto _ : state)
        if (!PlainCopy(DataPath(), CopyPath(), true, buffer)) {
            state.SkipWithError("open failed");
            break;
        }
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

BENCHMARK(BM_DataSetWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DataSetRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DataSetLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DataSetWriteRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void PrintTable(const TThroughputReporter& reporter)
{
    const double copy = reporter.MBps("BM_PlainCopy");
    std::printf("\n%-22s %10s %10s\n", "", "MB/s", "of copy");
    for (const char* name : {"BM_DataSetWriteRead", "BM_DataSetWrite", "BM_DataSetRead", "BM_DataSetLoad", "BM_PlainCopy"}) {
        const double mbps = reporter.MBps(name);
        if (mbps <= 0)
            std::printf("%-22s %10s\n", name, "not run");
        else if (copy <= 0)
            std::printf("%-22s %10.0f\n", name, mbps);
        else
            std::printf("%-22s %10.0f %9.0f%%\n", name, mbps, 100.0 * mbps / copy);
    }
    const auto ofCopy = [&](const char* name) { return reporter.MBps(name) / copy; };
    std::printf("\nAgainst the plain copy (MB/s over MB/s):\n");
    PrintRatio("write + read", ofCopy("BM_DataSetWriteRead"), 0.9, true);
    PrintRatio("write", ofCopy("BM_DataSetWrite"), 0.8, true);
    PrintRatio("load", ofCopy("BM_DataSetLoad"), 0.8, true);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TThroughputReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintTable(reporter);
    vx::RemoveFile(DataPath());
    vx::RemoveFile(CopyPath());
    benchmark::Shutdown();
    return 0;
}
