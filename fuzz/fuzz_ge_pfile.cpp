// GE P-files through the EXCITE, single-voxel, pre-11.0 and multi-plane CSI readers, the
// input laid into a header of a known revision (fuzz/PfileLayout.h).
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "PfileLayout.h"
#include "model/TCSISet.h"
#include "readers/ReaderFactory.h"

namespace {

std::ostringstream g_discard;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (vx::fuzz::Prepare(), std::cerr.rdbuf(g_discard.rdbuf()), true);
    (void)quiet;
    g_discard.str({});
    if (size < 1)
        return 0;
    const uint8_t pick = data[0];
    const std::string file = vx::fuzz::PfileFromInput(pick, data + 1, size - 1);

    TCSIReadParams params;
    params.m_nFormat = vx::fuzz::kPfileFormats[(pick >> 3) & 3];
    params.m_nAxisOrder[0] = 0;
    params.m_nAxisOrder[1] = 1;
    params.m_nAxisOrder[2] = 2;
    params.m_bLoadRawData = (pick >> 5) & 1;
    params.m_bRemoveOffset = (pick >> 6) & 1;
    params.m_bNormalize = (pick >> 7) & 1;
    const std::string path = vx::fuzz::WriteScratch("P00001.7", file);
    std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(params.m_nFormat), &params));
    std::unique_ptr<TCSISet> set(reader->Read(path));
    vx::fuzz::AddThroughProject(set.get(), path, params);
    return 0;
}
