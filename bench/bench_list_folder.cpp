// Listing a folder of 5,000 files and a few folders as the program lists one (vx::ListFolder:
// names, which are folders, sorted), against a plain listing that reads the names with
// readdir and sorts them. The table at the end gives the program's time over the plain one's,
// with its goal: the entries' own types tell files from folders, so the program asks the file
// system about an entry only for a link.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFile.h"

namespace {

using namespace vx::bench;

constexpr int kFiles = 5000, kFolders = 2;

std::string Folder() { return vx::JoinPath(BenchFolder(), "vexara_bench_listing"); }

// The folder, made once: empty files named as a scanner numbers its images, and two folders.
bool MakeFolderOfFiles()
{
    static const bool made = [] {
        vx::RemoveFolderTree(Folder());
        if (!vx::MakeFolder(Folder()))
            return false;
        for (int k = 0; k < kFolders; ++k)
            if (!vx::MakeFolder(vx::JoinPath(Folder(), "series" + std::to_string(k))))
                return false;
        for (int k = 0; k < kFiles; ++k) {
            vx::TFile file;
            const std::string name = "IM_" + std::to_string(100000 + k * 7919 % 90000);
            if (!file.Open(vx::JoinPath(Folder(), name), vx::TFile::Mode::Write))
                return false;
        }
        return true;
    }();
    return made;
}

void BM_ListFolder(benchmark::State& state)
{
    if (!MakeFolderOfFiles()) {
        state.SkipWithError("the folder could not be made");
        return;
    }
    for (auto _ : state) {
        const vx::TFolderListing listing = vx::ListFolder(Folder());
        if (!listing.Whole() || listing.entries.size() != size_t(kFiles + kFolders)) {
            state.SkipWithError("the folder was not listed whole");
            break;
        }
        benchmark::DoNotOptimize(listing.entries.data());
    }
}

void BM_PlainReaddir(benchmark::State& state)
{
    if (!MakeFolderOfFiles()) {
        state.SkipWithError("the folder could not be made");
        return;
    }
    for (auto _ : state) {
        std::vector<std::string> names;
        DIR* dir = ::opendir(Folder().c_str());
        if (!dir) {
            state.SkipWithError("the folder did not open");
            break;
        }
        while (const dirent* entry = ::readdir(dir))
            names.emplace_back(entry->d_name);
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        benchmark::DoNotOptimize(names.data());
    }
}

BENCHMARK(BM_ListFolder)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainReaddir)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    // In processor time: the listing is one thread's work, and other programs' share of the
    // processor is left out.
    PrintRatio("listing / plain readdir", reporter.CpuTime("BM_ListFolder") / reporter.CpuTime("BM_PlainReaddir"),
               1.5, false);
    vx::RemoveFolderTree(Folder());
    benchmark::Shutdown();
    return 0;
}
