// Project > Add Exam... of a large CSI set listed first (exam type 0, a Philips 2-D SPAR/SDAT
// set of 64 x 64 voxels of 1024 points, 32 MiB of samples): the trial that finds, before any
// question is asked or anything closed, whether the exam brings something (TProject::TryExam),
// against the add that then reads the set into a new project and writes its data-set file
// (TProject::AddExam). The trial reads only what tells whether the set can be added: its
// headers and the size its data must have. The table at the end gives the trial's time over
// the add's, with its goal.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "readers/ReaderFactory.h"

namespace {

using namespace vx::bench;

constexpr int kSide = 64, kSetPoints = 1024;
constexpr int64_t kSampleBytes = int64_t(kSide) * kSide * kSetPoints * 8;
constexpr int kExamType = 0;  // images from PAR files, CSI sets from SPAR/SDAT files

std::string Folder() { return vx::JoinPath(BenchFolder(), "vexara_bench_exam"); }
std::string ExamFile(const std::string& name) { return vx::JoinPath(vx::JoinPath(Folder(), "exam"), name); }
std::string ProjectFolder() { return vx::JoinPath(Folder(), "study"); }

// The exam's files, written once: the SPAR header, the SDAT samples and a PAR file without
// geometry, so that the read takes the geometry of the SPAR file without a warning.
bool WriteExam()
{
    static const bool written = [] {
        vx::RemoveFolderTree(Folder());
        if (!vx::MakeFolder(Folder()) || !vx::MakeFolder(vx::JoinPath(Folder(), "exam")))
            return false;
        uint32_t seed = 11;
        const std::string spar = "examination_name : bench\nsamples : 1024\nsynthesizer_frequency : 127700000\n"
                                 "sample_frequency : 2000\nphase_encoding_direction : trans\n"
                                 "phase_encoding_fov : 240\nslice_thickness : 20\nspec_num_dimensions : 3\n"
                                 "dim2_pnts : 64\ndim3_pnts : 64\ndim4_pnts : 1\n";
        return vx::WriteFileAtomically(ExamFile("scan.SPAR"), spar) &&
               vx::WriteFileAtomically(ExamFile("scan.SDAT"), RandomSamples(kSampleBytes, true, seed)) &&
               vx::WriteFileAtomically(ExamFile("scan.PAR"),
                                       "# CLINICAL TRYOUT             Research image export tool     V4\n");
    }();
    return written;
}

const std::vector<std::string>& Entries()
{
    static const std::vector<std::string> entries = {ExamFile("scan.SPAR")};
    return entries;
}

// A new empty project of the benchmark's folder, as Add Exam makes one in place of the open one.
std::unique_ptr<TProject> NewProject()
{
    vx::RemoveFolderTree(ProjectFolder());
    auto project = std::make_unique<TProject>();
    if (!project->Create(ProjectFolder(), "study"))
        return nullptr;
    return project;
}

void BM_ExamTrial(benchmark::State& state)
{
    std::unique_ptr<TProject> project = WriteExam() ? NewProject() : nullptr;
    if (!project) {
        state.SkipWithError("the exam or the project could not be written");
        return;
    }
    g_pProject = project.get();
    for (auto _ : state) {
        const TProject::TExamTrial trial = project->TryExam(Entries(), kExamType);
        if (!trial.anyAddable) {
            state.SkipWithError(("the trial found nothing to add: " + trial.failed).c_str());
            break;
        }
    }
    g_pProject = nullptr;
}

void BM_ExamAdd(benchmark::State& state)
{
    if (!WriteExam()) {
        state.SkipWithError("the exam could not be written");
        return;
    }
    // As a batch run adds: no question, the companion files beside the SPAR file.
    g_bBatchMode = true;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<TProject> project = NewProject();
        g_pProject = project.get();
        state.ResumeTiming();
        std::string failed;
        const bool added = project && project->AddExam(Entries(), kExamType, &failed) &&
                           project->m_pCSISetList->GetCount() == 1;
        state.PauseTiming();
        g_pProject = nullptr;
        project.reset();
        state.ResumeTiming();
        if (!added) {
            state.SkipWithError(("the set was not added: " + failed + g_batchLog).c_str());
            break;
        }
    }
    vx::ResetGlobals();
    state.SetBytesProcessed(state.iterations() * kSampleBytes);
}

BENCHMARK(BM_ExamTrial)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ExamAdd)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RegisterReaders();  // as the program does at its start
    TMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    PrintRatio("trial / add", reporter.Time("BM_ExamTrial") / reporter.Time("BM_ExamAdd"), 0.1, false);
    vx::RemoveFolderTree(Folder());
    benchmark::Shutdown();
    return 0;
}
