// The program's own CSI data-set files through the format-22 reader; a set read is written
// back as the program saves it (without waiting for the disk) and read again.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/Paths.h"
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
    vx::fuzz::AddThroughProject(set.get(), path, params);
    if (set) {
        const std::string saved = vx::JoinPath(vx::fuzz::ScratchFolder(), "saved.dat");
        if (set->WriteDataFile(saved, false)) {
            TInternalFormatReader again(&params);
            std::unique_ptr<TCSISet> back(again.Read(saved));
            // What the program wrote, it must read.
            if (!back)
                __builtin_trap();
        }
    }
    return 0;
}
