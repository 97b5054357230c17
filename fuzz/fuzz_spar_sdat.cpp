// Philips SPAR/SDAT sets through the single-voxel, time-series and every CSI reader (2-D
// slice, 2-D multi-slice and 3-D of each release that reads SDAT files). The first input
// byte picks the reader (bits 0-6) and, with bit 7, a read outside a batch run (questions
// get their default answers, file dialogs are cancelled); the second the number of SDAT
// files (1 to 8, bits 0-2) that the per-slice readers get and the options "Remove offset"
// (bit 3) and "Apply normalization" (bit 4). The rest is split by Sections into the
// SPAR text, the PAR text (an empty one is no file) and the SDAT data. The SPAR text is
// written as "scan.SPAR" and "scan_1.SPAR" (an empty one as no file); the data is one
// "scan.SDAT" or, cut into equal pieces, "scan_1.SDAT" .. "scan_n.SDAT".
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "readers/ReaderFactory.h"

namespace {

// The formats that read SDAT files; 5 and 8 read LIST/DATA files (fuzz_list).
constexpr int kFormats[] = {0, 1, 2, 3, 4, 6, 7, 9, 10};
constexpr int kMaxSliceFiles = 8;

bool PerSliceFiles(int format)
{
    return format == 6 || format == 9;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (vx::fuzz::Prepare(), true);
    (void)ready;
    if (size < 2)
        return 0;
    const int format = kFormats[(data[0] & 0x7f) % std::size(kFormats)];
    // In a batch run there are no questions and no file dialogs: the default companion
    // files are read.
    g_bBatchMode = (data[0] & 0x80) == 0;
    const int sliceFiles = 1 + data[1] % kMaxSliceFiles;
    const auto parts = vx::fuzz::Sections(data + 2, size - 2, 3);
    vx::fuzz::WriteScratchOrRemove("scan.SPAR", parts[0]);
    vx::fuzz::WriteScratchOrRemove("scan_1.SPAR", parts[0]);
    vx::fuzz::WriteScratchOrRemove("scan.PAR", parts[1]);
    std::string path;
    for (int k = 1; k <= kMaxSliceFiles; ++k)
        vx::RemoveFile(vx::JoinPath(vx::fuzz::ScratchFolder(), "scan_" + std::to_string(k) + ".SDAT"));
    if (PerSliceFiles(format)) {
        const size_t piece = parts[2].size() / size_t(sliceFiles);
        for (int k = 0; k < sliceFiles; ++k) {
            const std::string name = "scan_" + std::to_string(k + 1) + ".SDAT";
            const std::string written = vx::fuzz::WriteScratch(name, parts[2].substr(size_t(k) * piece, piece));
            if (k == 0)
                path = written;
        }
    } else {
        path = vx::fuzz::WriteScratch("scan.SDAT", parts[2]);
    }
    TCSIReadParams params;
    params.m_nFormat = format;
    params.m_bRemoveOffset = (data[1] >> 3) & 1;
    params.m_bNormalize = (data[1] >> 4) & 1;
    std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
    std::unique_ptr<TCSISet> set(reader->Read(path));
    vx::fuzz::AddThroughProject(set.get(), path, params);
    g_batchLog.clear();
    return 0;
}
