// GE SAGE pairs through the SAGE reader. The first two input bytes give the length of the
// ".shf" text header; the rest is the ".sdf" data file. The first input byte also picks
// the options "Load raw data" (bit 0) and "Remove offset" (bit 1).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "readers/ReaderFactory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < 2)
        return 0;
    TCSIReadParams params;
    params.m_nFormat = 14;
    params.m_bLoadRawData = data[0] & 1;
    params.m_bRemoveOffset = (data[0] >> 1) & 1;
    size_t headerBytes = size_t(data[0]) | (size_t(data[1]) << 8);
    data += 2;
    size -= 2;
    if (headerBytes > size)
        headerBytes = size;
    const std::string header = vx::fuzz::WriteScratch("scan.shf", data, headerBytes);
    vx::fuzz::WriteScratch("scan.sdf", data + headerBytes, size - headerBytes);
    std::unique_ptr<TCSIReader> reader(CreateReader(14, &params));
    std::unique_ptr<TCSISet> set(reader->Read(header));
    vx::fuzz::AddThroughProject(set.get(), header, params);
    return 0;
}
