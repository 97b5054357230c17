// The program's own CSI data-set files through the format-22 reader.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "readers/TInternalFormatReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    const std::string path = vx::fuzz::WriteScratch("input.dat", data, size);
    TCSIReadParams params;
    params.m_nFormat = 22;
    TInternalFormatReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    return 0;
}
