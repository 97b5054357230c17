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
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TTextFile.h"
#include "processing/TProcessStep.h"

namespace {

constexpr int kNX = 32, kNY = 32, kNZ = 8, kPoints = 2048;

std::string BenchFolder()
{
    const char* dir = std::getenv("VX_BENCH_DIR");
    return dir && *dir ? std::string(dir) : vx::TempFolder();
}

int64_t FileBytes() { return 256 + int64_t(kNX) * kNY * kNZ * kPoints * 8; }

TCSISet& WorkSet()
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

// A step whose state is the whole set and whose work is nothing, so that only the
// state files are measured.
class TSwapStep : public TProcessStep {
public:
    explicit TSwapStep(TCSISet* pSet) : TProcessStep(false, pSet) { m_strTempFile = MakeTempFileName("bu"); }
    bool Undo() override { return SwapWithTempFile("bu"); }
    bool Redo() override { return SwapWithTempFile("bu"); }
    bool ReadMacro(vx::TTextFile&) override { return true; }
    void WriteMacro(vx::TTextFile&) override {}
    bool Apply() override { return true; }
    std::string GetDisplayName() const override { return "swap"; }
};

void BM_SaveStateUndoRedo(benchmark::State& state)
{
    TCSISet& set = WorkSet();
    for (auto _ : state) {
        TSwapStep step(&set);
        if (!step.SaveState() || !step.Apply() || !step.Undo() || !step.Redo())
            state.SkipWithError("state file failed");
    }
    // Three writes (save, undo, redo) and two reads (undo, redo).
    state.SetBytesProcessed(state.iterations() * 5 * FileBytes());
}

// Reads a data-set file and writes its bytes to another file in 1 MB blocks.
void PlainCopy(benchmark::State& state, bool sync)
{
    const std::string from = vx::JoinPath(BenchFolder(), "vexara_bench_undo_src.bin");
    const std::string to = vx::JoinPath(BenchFolder(), "vexara_bench_undo_copy.bin");
    if (!WorkSet().WriteDataFile(from)) {
        state.SkipWithError("write failed");
        return;
    }
    std::vector<char> buffer(size_t(1) << 20);
    for (auto _ : state) {
        vx::TFile in, out;
        if (!in.Open(from, vx::TFile::Mode::Read) || !out.Open(to, vx::TFile::Mode::Write)) {
            state.SkipWithError("open failed");
            break;
        }
        size_t n;
        while ((n = in.Read(buffer.data(), buffer.size())) > 0)
            out.Write(buffer.data(), n);
        if (sync)
            out.Sync();
        out.Close();
    }
    state.SetBytesProcessed(state.iterations() * 2 * FileBytes());
    vx::RemoveFile(from);
    vx::RemoveFile(to);
}

void BM_PlainCopy(benchmark::State& state) { PlainCopy(state, true); }
void BM_PlainCopyNoSync(benchmark::State& state) { PlainCopy(state, false); }

BENCHMARK(BM_SaveStateUndoRedo)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PlainCopyNoSync)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps the throughput of every run for the comparison at the end.
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
        const auto get = [&](const std::string& prefix) {
            for (const auto& [name, mbps] : m_mbps)
                if (name == prefix || name.rfind(prefix + "/", 0) == 0)
                    return mbps;
            return 0.0;
        };
        const double undo = get("BM_SaveStateUndoRedo");
        const double copy = get("BM_PlainCopy");
        const double unsynced = get("BM_PlainCopyNoSync");
        std::printf("\n%-22s %10s\n", "", "MB/s");
        std::printf("%-22s %10.0f\n", "BM_SaveStateUndoRedo", undo);
        std::printf("%-22s %10.0f\n", "BM_PlainCopy", copy);
        std::printf("%-22s %10.0f\n", "BM_PlainCopyNoSync", unsynced);
        const double ratio = undo > 0 ? copy / undo : 0.0;
        std::printf("SaveState + undo + redo against the plain copy: %.2fx its time per byte (target at most 1.5x)%s\n",
                    ratio, ratio > 1.5 ? "  above target" : "");
        std::printf("against a copy that does not sync either: %.2fx\n", undo > 0 ? unsynced / undo : 0.0);
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
    // The state files go into the bench folder, as into a project's folder.
    TProject project;
    project.m_strFolder = BenchFolder();
    g_pProject = &project;
    TThroughputReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable();
    g_pProject = nullptr;
    benchmark::Shutdown();
    return 0;
}
