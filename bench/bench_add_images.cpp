// Project > Add Images of 200 standard DICOM images of 128 x 128 pixels, one slice each,
// into a new project, and the project's save that writes their pixel files: the reads, the
// new files made and given the project file's rights, and the project file.
//
// The folder is $VX_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "readers/DicomTestFiles.h"
#include "readers/ReaderFactory.h"

namespace {

using namespace vx::bench;

constexpr int kImages = 200, kSide = 128;
constexpr int kStandardDicom = 4;

std::string Folder() { return vx::JoinPath(BenchFolder(), "vexara_bench_images"); }
std::string ScannerFolder() { return vx::JoinPath(Folder(), "scanner"); }
std::string ImageName(int k) { return "im" + std::to_string(1000 + k) + ".dcm"; }

// The images, written once: slices 2 mm apart, pixels of a ramp.
bool WriteImages()
{
    static const bool written = [] {
        vx::RemoveFolderTree(Folder());
        if (!vx::MakeFolder(ScannerFolder()))
            return false;
        vx::test::TSynthDicom image;
        image.words[DCM_Rows] = image.words[DCM_Columns] = kSide;
        std::vector<int> pixels(size_t(kSide) * kSide);
        for (int k = 0; k < kImages; ++k) {
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = static_cast<int>((i * 7 + size_t(k) * 13) % 4096);
            image.pixels = pixels;
            image.texts[DCM_ImagePositionPatient] = "-100\\-100\\" + std::to_string(2 * k);
            image.texts[DCM_InstanceNumber] = std::to_string(k + 1);
            if (!vx::test::WriteDicom(vx::JoinPath(ScannerFolder(), ImageName(k)), image))
                return false;
        }
        return true;
    }();
    return written;
}

void BM_AddImages(benchmark::State& state)
{
    if (!WriteImages()) {
        state.SkipWithError("the images could not be written");
        return;
    }
    const std::string folder = vx::JoinPath(Folder(), "study");
    TImageImportParams params;
    params.m_nImageType = kStandardDicom;
    for (auto _ : state) {
        state.PauseTiming();
        vx::RemoveFolderTree(folder);
        state.ResumeTiming();
        {
            TProject project;
            g_pProject = &project;
            bool added = project.Create(folder, "study");
            for (int k = 0; added && k < kImages; ++k)
                added = project.AddImages(ScannerFolder(), ImageName(k), params);
            added = added && project.Save() && project.m_pImageSet->GetCount() == kImages;
            g_pProject = nullptr;
            if (!added) {
                state.SkipWithError("the images were not added and saved");
                break;
            }
        }
    }
    state.counters["images"] = kImages;
}

BENCHMARK(BM_AddImages)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    RegisterReaders();  // as the program does at its start
    return vx::bench::RunBenchmarksThenRemove(argc, argv, Folder());
}
