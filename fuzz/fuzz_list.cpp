// Philips LIST/DATA sets through the pre-R11 stack and volume readers and the EPCSI
// reader. The first input byte picks the reader (bits 0-1: 0 and 3 the stack, 1 the
// volume, 2 the EPCSI reader), the options "Remove offset" (bit 2) and "Apply
// normalization" (bit 3) and, with bit 7, a read outside a batch run (questions get their
// default answers, file dialogs are cancelled). For the EPCSI reader the next eight bytes
// are what the user types in the dialog: the sweep width (32-bit integer) and the
// frequency (32-bit float), little-endian. The rest is split by Sections into the LIST
// text, the SPAR text and the PAR text beside it (an empty one is no file), and the DATA
// file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/Globals.h"
#include "readers/ReaderFactory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (vx::fuzz::Prepare(), true);
    (void)ready;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    static constexpr int kFormats[3] = {5, 8, 11};
    const int format = kFormats[(pick & 3) % 3];
    TCSIReadParams params;
    if (format == 11) {
        // The EPCSI reader takes these from the dialog.
        if (size < 8)
            return 0;
        std::memcpy(&params.m_nSweepWidth, data, 4);
        std::memcpy(&params.m_fFrequency, data + 4, 4);
        data += 8;
        size -= 8;
    }
    // In a batch run there are no questions and no file dialogs: the default companion
    // files are read.
    g_bBatchMode = (pick & 0x80) == 0;
    const auto parts = vx::fuzz::Sections(data, size, 4);
    const std::string list = vx::fuzz::WriteScratch("scan.LIST", parts[0]);
    vx::fuzz::WriteScratchOrRemove("scan.SPAR", parts[1]);
    vx::fuzz::WriteScratchOrRemove("scan.PAR", parts[2]);
    vx::fuzz::WriteScratch("scan.DATA", parts[3]);
    params.m_nFormat = format;
    params.m_bRemoveOffset = (pick >> 2) & 1;
    params.m_bNormalize = (pick >> 3) & 1;
    std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
    std::unique_ptr<TCSISet> set(reader->Read(list));
    vx::fuzz::AddThroughProject(set.get(), list, params);
    g_batchLog.clear();
    return 0;
}
