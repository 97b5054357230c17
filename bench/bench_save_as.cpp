// File > Save Project As of a project of 30 CSI sets of 16 x 16 voxels of 1024 points (2 MB
// each), its first set the saved work set, into a new folder: the new folder and its lock,
// every file carried over with its rights, and the project file. The project is opened
// again, and the copy removed, outside the timing.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "BenchSupport.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"

namespace {

using namespace vx::bench;

constexpr int kSets = 30, kSide = 16, kSetPoints = 1024;

std::string Folder() { return vx::JoinPath(BenchFolder(), "vexara_bench_save_as"); }

void BM_SaveAs(benchmark::State& state)
{
    const std::string from = vx::JoinPath(Folder(), "study");
    if (!MakeProjectOfSets(from, "study", kSets, kSide, kSetPoints, true)) {
        state.SkipWithError("the project could not be made");
        return;
    }
    const std::string location = Folder() + "/", copy = vx::JoinPath(Folder(), "copy");
    for (auto _ : state) {
        state.PauseTiming();
        vx::RemoveFolderTree(copy);
        auto project = std::make_unique<TProject>();
        g_pProject = project.get();
        const bool opened = project->Load(vx::JoinPath(from, "study.tpj"));
        state.ResumeTiming();
        const bool saved = opened && project->SaveAs(location, "copy") &&
                           project->m_pCSISetList->GetCount() == kSets;
        state.PauseTiming();
        project.reset();
        g_pProject = nullptr;
        state.ResumeTiming();
        if (!saved) {
            state.SkipWithError("the project was not saved as another");
            break;
        }
    }
    state.counters["sets"] = kSets;
}

BENCHMARK(BM_SaveAs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    return vx::bench::RunBenchmarksThenRemove(argc, argv, Folder());
}
