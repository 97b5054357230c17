// Siemens MAG images and Helicon CSI pairs (".mag" files too). Bit 0 of the first input
// byte picks the MAG image reader, which reads the rest as the file (an 8192-byte header
// of fixed fields, then the pixels) on the road of Add Images into a new project
// (AddImagesThroughProject: save, open, pixels compared), or the Helicon reader: the rest is split by Sections
// into the parameter text "scanddf.mag" and the raw samples "scanraw.mag", and bit 1
// picks the file of the pair the read starts from, bits 2 and 3 the options "Load raw data"
// and "Remove offset".
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TImageImportParams.h"
#include "readers/THeliconReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    if ((pick & 1) == 0) {
        const std::string path = vx::fuzz::WriteScratch("image.mag", data, size);
        TImageImportParams params;
        params.m_nImageType = 3;
        vx::fuzz::AddImagesThroughProject(path, params, vx::fuzz::TImageRoad::AddImages);
        return 0;
    }
    const auto parts = vx::fuzz::Sections(data, size, 2);
    const std::string ddf = vx::fuzz::WriteScratch("scanddf.mag", parts[0]);
    const std::string raw = vx::fuzz::WriteScratch("scanraw.mag", parts[1]);
    TCSIReadParams params;
    params.m_nFormat = 17;
    params.m_bLoadRawData = (pick >> 2) & 1;
    params.m_bRemoveOffset = (pick >> 3) & 1;
    THeliconReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read((pick & 2) ? raw : ddf));
    vx::fuzz::AddThroughProject(set.get(), (pick & 2) ? raw : ddf, params);
    return 0;
}
