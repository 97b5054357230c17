// Philips PAR/REC pairs and raw images through the image readers. The first two input
// bytes give the length of the PAR text; the rest is the REC file, which the raw reader
// also reads with a layout taken from the PAR bytes' first words.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/PhilipsPARImage.h"
#include "readers/RawImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (vx::fuzz::SilenceReports(), true);
    (void)silenced;
    if (size < 2)
        return 0;
    size_t parBytes = size_t(data[0]) | (size_t(data[1]) << 8);
    data += 2;
    size -= 2;
    if (parBytes > size)
        parBytes = size;
    const std::string par = vx::fuzz::WriteScratch("scan.PAR", data, parBytes);
    const std::string rec = vx::fuzz::WriteScratch("scan.REC", data + parBytes, size - parBytes);

    TProject project;
    project.m_strFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
    vx::MakeFolder(project.m_strFolder);
    TImageImportParams params;
    if (parBytes >= 12) {
        std::memcpy(&params.m_nHeaderSize, data, 4);
        uint16_t side[2];
        std::memcpy(side, data + 4, 4);
        params.m_nWidth = side[0] % 300;
        params.m_nHeight = side[1] % 300;
        params.m_bSwapBytes = data[8] & 1;
    }
    ReadPhilipsPAR(*project.m_pImageSet, par, params, &project);
    ReadRawImage(*project.m_pImageSet, rec, params, &project);
    return 0;
}
