// Undo and redo of a whole-set step on a CSI set of 32 x 32 x 8 voxels of 2048 points
// (134 MB): SaveState, one undo and one redo, beside a plain buffered copy of the same
// file in the same folder. The undo round writes the set three times and reads it
// twice; the table compares the time per byte moved with the copy's. The reference
// copy syncs its file to the disk as the data-set writer does for the user's files;
// state files serve only the running program and do not wait for the disk, so a copy
// that does not sync either is shown as well. Target: at most 1.5 times the syncing
// copy's time per byte.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TTextFile.h"
#include "processing/TProcessStep.h"

namespace {

using namespace vx::bench;

// A step whose state is the whole set and whose work is nothing, so that only the
// state files are measured.
class TSwapStep : public TProcessStep {
public:
    explicit TSwapStep(TCSISet* pSet) : TProcessStep(false, pSet) { m_pszStatePrefix = "bu"; }
    bool Undo() override { return SwapWithTempFile(TStateChange::Undo); }
    bool Redo() override { return SwapWithTempFile(TStateChange::Redo); }
    bool ReadMacro(vx::TTextFile&) override { return true; }
    void WriteMacro(vx::TTextFile&) override {}
    bool Apply() override { return true; }
    std::string GetDisplayName() const override { return "swap"; }
};

void BM_SaveStateUndoRedo(benchmark::State& state)
{
    TCSISet& set = BenchSet();
    for (auto _ : state) {
        TSwapStep step(&set);
        if (!step.SaveState() || !step.Apply() || !step.Undo() || !step.Redo())
            state.SkipWithError("state file failed");
    }
    // Three writes (save, undo, redo) and two reads (undo, redo).
    state.SetBytesProcessed(state.iterations() * 5 * FileBytes());
}

// The plain copy of a data-set file in 1 MB blocks, with or without the sync.
void CopyRun(benchmark::State& state, bool sync)
{
    const std::string from = vx::JoinPath(BenchFolder(), "vexara_bench_undo_src.bin");
    const std::string to = vx::JoinPath(BenchFolder(), "vexara_bench_undo_copy.bin");
    if (!BenchSet().WriteDataFile(from)) {
        state.SkipWithError("write failed");
        return;
    }
    std::vector<char> buffer(size_t(1) << 20);
    for (auto _ : state)
        if (!PlainCopy(from, to, sync, buffer)) {
            state.SkipWithError("open failed");
            break;
        }
    state.SetBytesProcessed(state.iterations() * 2 * FileBytes());
    vx::RemoveFile(from);
    vx::RemoveFile(to);
}

void BM_PlainCopy(benchmark::State& state) { CopyRun(state, true); }
void BM_PlainCopyNoSync(benchmark::State& state) { CopyRun(state, false); }

BENCHMARK(BM_SaveStateUndoRedo)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PlainCopyNoSync)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void PrintTable(const TThroughputReporter& reporter)
{
    const double undo = reporter.MBps("BM_SaveStateUndoRedo");
    const double copy = reporter.MBps("BM_PlainCopy");
    const double unsynced = reporter.MBps("BM_PlainCopyNoSync");
    std::printf("\n%-22s %10s\n", "", "MB/s");
    for (const auto& [name, mbps] : {std::pair{"BM_SaveStateUndoRedo", undo}, std::pair{"BM_PlainCopy", copy},
                                     std::pair{"BM_PlainCopyNoSync", unsynced}}) {
        if (mbps > 0)
            std::printf("%-22s %10.0f\n", name, mbps);
        else
            std::printf("%-22s %10s\n", name, "not run");
    }
    // Only benchmarks that ran (not left out by --benchmark_filter) are compared.
    if (undo > 0 && copy > 0) {
        const double ratio = copy / undo;
        std::printf("SaveState + undo + redo against the plain copy: %.2fx its time per byte (target at most 1.5x)%s\n",
                    ratio, ratio > 1.5 ? "  above target" : "");
    }
    if (undo > 0 && unsynced > 0)
        std::printf("against a copy that does not sync either: %.2fx\n", unsynced / undo);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // The state files go into the bench folder, as into the folder of the set's project.
    TProject project;
    project.m_strFolder = BenchFolder();
    g_pProject = &project;
    BenchSet().SetProject(&project);
    TThroughputReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintTable(reporter);
    BenchSet().SetProject(nullptr);
    g_pProject = nullptr;
    benchmark::Shutdown();
    return 0;
}
