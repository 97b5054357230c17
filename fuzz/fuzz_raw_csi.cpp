// CSI data described by the user and CSI sets handed over by a reader plug-in. Bit 0 of
// the first input byte picks the raw reader, which takes the next 116 bytes as the read
// parameters of the Add CSI Set dialog (TCSIReadParams) and the rest as the file, or the
// plug-in reader with the fuzz plug-in (fuzz/plugin), which builds the parameter record
// it hands back, the CSI set record, its texts and its samples from the rest.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/PluginTable.h"
#include "readers/CSIFormats.h"
#include "readers/TPluginReader.h"
#include "readers/TRawReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        vx::fuzz::Prepare();
        std::string failure;
        vx::PublishPluginTable(vx::LoadPluginFolder(VX_FUZZ_PLUGIN_FOLDER, failure));
        if (!failure.empty())
            __builtin_trap();  // the plug-in folder built beside the target must be there
        return true;
    }();
    (void)ready;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    TCSIReadParams params;
    if ((pick & 1) == 0) {
        if (size < sizeof params)
            return 0;
        std::memcpy(&params, data, sizeof params);
        params.m_nFormat = kRawFormat;
        const std::string path = vx::fuzz::WriteScratch("scan.raw", data + sizeof params, size - sizeof params);
        TRawReader reader(&params);
        std::unique_ptr<TCSISet> set(reader.Read(path));
        vx::fuzz::AddThroughProject(set.get(), path, params);
        return 0;
    }
    params.m_nFormat = vx::kFirstPluginFormat;
    const std::string path = vx::fuzz::WriteScratch("scan.plugin", data, size);
    TPluginReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    vx::fuzz::AddThroughProject(set.get(), path, params);
    return 0;
}
