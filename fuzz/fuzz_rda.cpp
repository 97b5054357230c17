// RDA spectroscopy exports through the format-18 reader. The first input byte picks the
// dialog's options (bit 0 "Load raw data", bit 1 "Remove offset", bit 2 "Apply
// normalization") and, in its upper bits, the header size used when the end line is
// missing; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "readers/TRDAReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < 1)
        return 0;
    TCSIReadParams params;
    params.m_nFormat = 18;
    params.m_bLoadRawData = data[0] & 1;
    params.m_bRemoveOffset = (data[0] >> 1) & 1;
    params.m_bNormalize = (data[0] >> 2) & 1;
    params.m_nHeaderSize = (data[0] >> 3) * 64;
    const std::string path = vx::fuzz::WriteScratch("input.rda", data + 1, size - 1);
    TRDAReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    vx::fuzz::AddThroughProject(set.get(), path, params);
    return 0;
}
