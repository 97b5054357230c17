// Philips PAR/REC pairs and raw images through the image readers. The first nine input
// bytes are the raw image layout of the Import dialog: header bytes to skip (32 bits),
// width and height (16 bits each: with the top bit set the low 15 bits, as large as the
// dialog takes and beyond, else below 300 so that an image fits an input) and the byte
// order (bit 0); the rest is
// split by Sections into the PAR text and the REC file, which the raw reader reads too.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/PhilipsPARImage.h"
#include "readers/RawImage.h"

namespace {

constexpr size_t kLayoutBytes = 9;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < kLayoutBytes)
        return 0;
    TImageImportParams raw;
    std::memcpy(&raw.m_nHeaderSize, data, 4);
    uint16_t side[2];
    std::memcpy(side, data + 4, 4);
    const auto sideOf = [](uint16_t v) { return (v & 0x8000) ? v & 0x7fff : v % 300; };
    raw.m_nWidth = sideOf(side[0]);
    raw.m_nHeight = sideOf(side[1]);
    raw.m_bSwapBytes = data[8] & 1;
    raw.m_nImageType = 6;
    const auto parts = vx::fuzz::Sections(data + kLayoutBytes, size - kLayoutBytes, 2);
    const std::string par = vx::fuzz::WriteScratch("scan.PAR", parts[0]);
    const std::string rec = vx::fuzz::WriteScratch("scan.REC", parts[1]);

    TProject project;
    project.m_strFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
    vx::MakeFolder(project.m_strFolder);
    ReadPhilipsPAR(*project.m_pImageSet, par, TImageImportParams{}, &project);
    ReadRawImage(*project.m_pImageSet, rec, raw, &project);
    using vx::fuzz::TImageRoad;
    switch ((data[8] >> 1) & 3) {
    case 0: vx::fuzz::AddImagesThroughProject(par, TImageImportParams{}, TImageRoad::AddImages); break;
    // Exam types 1 and 0 take the images of "*.PAR" files (and look for no CSI file here).
    case 1: vx::fuzz::AddImagesThroughProject(par, TImageImportParams{}, TImageRoad::ExamFile, 1); break;
    case 2: vx::fuzz::AddImagesThroughProject(par, TImageImportParams{}, TImageRoad::ExamFolder, 0); break;
    default: vx::fuzz::AddImagesThroughProject(rec, raw, TImageRoad::AddImages); break;
    }
    return 0;
}
