// Reading a Philips 3-D CSI set of 32 x 32 x 8 voxels of 1024 points (64 MiB of samples)
// with each of the three 3-D readers: one SDAT file (R2), one SDAT file per partition
// (R11) and a DATA file indexed by its LIST file (pre-R11). Each read runs the whole
// post-read (spatial and spectral transforms, orientation, k-space mask).
//
// Besides the time, every read measures the growth of the process's peak resident
// memory over the read, against the size of the data file: the samples must not be held
// more than about twice over at any moment. The table at the end gives both, with the
// throughput of a plain copy of the same bytes as the time reference.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TTextFile.h"
#include "readers/ReaderFactory.h"

namespace {

using namespace vx::bench;

constexpr int kN = 32, kSlices = 8, kPointsCSI = 1024;
constexpr int64_t kSliceBytes = int64_t(kN) * kN * kPointsCSI * 8;
constexpr int64_t kDataBytes = kSliceBytes * kSlices;

std::string Folder()
{
    static const std::string folder = [] {
        const std::string f = vx::JoinPath(BenchFolder(), "vexara_bench_philips");
        vx::MakeFolder(f);
        return f;
    }();
    return folder;
}

std::string PathOf(const std::string& name) { return vx::JoinPath(Folder(), name); }

void WriteText(const std::string& name, const std::string& text)
{
    vx::WriteFileAtomically(PathOf(name), text);
}

const char kSpar[] = "samples : 1024\nsynthesizer_frequency : 127700000\nsample_frequency : 2000\n"
                     "phase_encoding_direction : trans\nphase_encoding_fov : 220\nslice_thickness : 80\n"
                     "spec_num_dimensions : 4\ndim2_pnts : 32\ndim3_pnts : 32\ndim4_pnts : 8\n";

// The files of the three readers, written once.
void WriteFiles()
{
    static bool written = false;
    if (written)
        return;
    written = true;
    uint32_t seed = 7;
    WriteText("r2.SPAR", kSpar);
    WriteText("r2.SDAT", RandomSamples(kDataBytes, true, seed));
    WriteText("r11_1.SPAR", kSpar);
    WriteText("r11.PAR", "# CLINICAL TRYOUT             Research image export tool     V4\n"
                         ".    Max. number of slices/locations    :   8\n"
                         ".    FOV (ap,fh,rl) [mm]                :   220  80  220\n");
    for (int k = 1; k <= kSlices; ++k)
        WriteText("r11_" + std::to_string(k) + ".SDAT", RandomSamples(kSliceBytes, true, seed));
    WriteText("pre.SPAR", kSpar);
    std::string list = "# Gyroscan SW release : 10.1.1\n.  0  0  0  number_of_encoding_dimensions  :  3\n"
                       ".  0  0  0  number_of_locations  :  8\n.  0  0  0  F-resolution  :  1024\n"
                       ".  0  0  0  X-resolution  :  32\n.  0  0  0  Y-resolution  :  32\n";
    int64_t offset = 0;
    for (int s = 0; s < kSlices; ++s)
        for (int y = -kN / 2; y < kN / 2; ++y)
            for (int x = -kN / 2; x < kN / 2; ++x, offset += kPointsCSI * 8)
                list += "  STD 0 0 0 0 " + std::to_string(s) + " 0 0 0 " + std::to_string(x) + " " +
                        std::to_string(y) + " 0 0 1 0 0 0 0 0 8192 " + std::to_string(offset) + "\n";
    WriteText("pre.LIST", list);
    WriteText("pre.DATA", RandomSamples(kDataBytes, false, seed));
    WriteText("pre.PAR", "# CLINICAL TRYOUT             Research image export tool     V4\n");
}

// Resident memory of the process in bytes: the current size, or its peak since the
// last reset.
int64_t MemoryField(const std::string& field)
{
    vx::TTextFile status;
    if (!status.Open("/proc/self/status", vx::TTextFile::Mode::Read))
        return -1;
    for (std::string line; status.ReadString(line);)
        if (line.rfind(field, 0) == 0)
            return int64_t(vx::LeadingInt(line.substr(field.size()))) * 1024;  // kB
    return -1;
}

// Sets the peak back to the current size (Linux clear_refs, value 5).
bool ResetPeak()
{
    vx::TFile file;
    return file.Open("/proc/self/clear_refs", vx::TFile::Mode::Write) && file.WriteText("5") && file.Close();
}

std::map<std::string, double> g_peakRatio;

void ReadSet(benchmark::State& state, const char* name, int format, const std::string& chosen)
{
    WriteFiles();
    // As in a batch run: no questions, the default companion files.
    g_bBatchMode = true;
    double worst = 0.0;
    for (auto _ : state) {
        malloc_trim(0);
        const int64_t before = MemoryField("VmRSS:");
        const bool peakKnown = ResetPeak();
        TCSIReadParams params;
        params.m_nFormat = format;
        std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(format), &params));
        std::unique_ptr<TCSISet> set(reader->Read(PathOf(chosen)));
        if (!set) {
            state.SkipWithError(("read failed: " + g_batchLog).c_str());
            break;
        }
        const int64_t peak = MemoryField("VmHWM:");
        if (peakKnown && before > 0 && peak > 0)
            worst = std::max(worst, double(peak - before) / double(kDataBytes));
        state.PauseTiming();
        set.reset();
        reader.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
    state.counters["peak_x_data"] = worst;
    g_peakRatio[name] = worst;
    vx::ResetGlobals();
}

void BM_Philips3DR2(benchmark::State& state) { ReadSet(state, "BM_Philips3DR2", 10, "r2.SDAT"); }
void BM_Philips3DR11(benchmark::State& state) { ReadSet(state, "BM_Philips3DR11", 9, "r11_1.SDAT"); }
void BM_Philips3DPreR11(benchmark::State& state) { ReadSet(state, "BM_Philips3DPreR11", 8, "pre.LIST"); }

void BM_PlainCopy(benchmark::State& state)
{
    WriteFiles();
    std::vector<char> buffer(size_t(1) << 20);
    for (auto _ : state)
        if (!PlainCopy(PathOf("r2.SDAT"), PathOf("copy.bin"), false, buffer))
            state.SkipWithError("copy failed");
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}

BENCHMARK(BM_Philips3DR2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Philips3DR11)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Philips3DPreR11)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void PrintTable(const TThroughputReporter& reporter)
{
    const double copy = reporter.MBps("BM_PlainCopy");
    std::printf("\n%-20s %10s %10s %18s\n", "", "MB/s", "of copy", "peak / data file");
    for (const char* name : {"BM_Philips3DR2", "BM_Philips3DR11", "BM_Philips3DPreR11"}) {
        const double mbps = reporter.MBps(name);
        const auto it = g_peakRatio.find(name);
        const double peak = it == g_peakRatio.end() ? 0.0 : it->second;
        std::printf("%-20s %10.0f %9.0f%% %17.2fx%s\n", name, mbps, copy > 0 ? 100.0 * mbps / copy : 0.0, peak,
                    peak > 2.2 ? "  above target (about 2x)" : "");
    }
    std::printf("%-20s %10.0f\n", "BM_PlainCopy", copy);
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
    vx::RemoveFolderTree(Folder());
    benchmark::Shutdown();
    return 0;
}
