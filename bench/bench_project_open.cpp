// Opening a project of 30 CSI sets of 16 x 16 voxels of 1024 points (2 MB each) as File >
// Open Project opens one: the lock, the records, the check of every set's data-set file
// against its record and, in BM_ProjectOpen/1, the load of the first set, the saved work
// set. The check reads the header of each set's file in the one open that also tells
// whether the file is there (an open more per set is what BM_ProjectOpen/0 shows).
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"

namespace {

using namespace vx::bench;

constexpr int kSets = 30, kSide = 16, kSetPoints = 1024;

std::string ProjectFolder() { return vx::JoinPath(BenchFolder(), "vexara_bench_project"); }

// Makes the project, with the first set as its saved work set or without a work set;
// false when it cannot be written.
bool MakeProject(bool withWorkSet)
{
    return MakeProjectOfSets(ProjectFolder(), "study", kSets, kSide, kSetPoints, withWorkSet);
}

void BM_ProjectOpen(benchmark::State& state)
{
    const bool withWorkSet = state.range(0) != 0;
    if (!MakeProject(withWorkSet)) {
        state.SkipWithError("the project could not be made");
        return;
    }
    const std::string path = vx::JoinPath(ProjectFolder(), "study.tpj");
    for (auto _ : state) {
        TProject project;
        g_pProject = &project;  // readers take the file version through the global pointer
        const bool opened = project.Load(path) && project.m_pCSISetList->GetCount() == kSets &&
                            (project.m_pWorkSet != nullptr) == withWorkSet;
        g_pProject = nullptr;
        if (!opened) {
            state.SkipWithError("the project did not open with its sets");
            break;
        }
    }
    state.counters["sets"] = kSets;
}

BENCHMARK(BM_ProjectOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    return vx::bench::RunBenchmarksThenRemove(argc, argv, ProjectFolder());
}
