// Philips SPAR/SDAT pairs through the single-voxel and time-series readers. The first
// two input bytes give the length of the SPAR text; the rest is the SDAT file.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "readers/ReaderFactory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (vx::fuzz::SilenceReports(), true);
    (void)silenced;
    if (size < 2)
        return 0;
    size_t sparBytes = size_t(data[0]) | (size_t(data[1]) << 8);
    data += 2;
    size -= 2;
    if (sparBytes > size)
        sparBytes = size;
    vx::fuzz::WriteScratch("scan.SPAR", data, sparBytes);
    const std::string sdat = vx::fuzz::WriteScratch("scan.SDAT", data + sparBytes, size - sparBytes);
    for (int format : {0, 1}) {
        TCSIReadParams params;
        params.m_nFormat = format;
        std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
        std::unique_ptr<TCSISet> set(reader->Read(sdat));
    }
    return 0;
}
