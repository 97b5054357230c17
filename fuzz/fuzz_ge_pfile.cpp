// GE P-files through the EXCITE, single-voxel, pre-11.0 and multi-plane CSI readers. A P-file header is
// tens of kilobytes, most of it unused, so an input is laid into a header of a known
// revision instead of being the file: the first byte picks the revision (bits 0-1), the
// byte order (bit 2), the reader (bits 3-4) and the options "Load raw data", "Remove
// offset" and "Apply normalization" (bits 5-7). The next 2044 bytes follow the revision
// word in the first block, the next 2048 lie at the image block, the next 1024 at the
// exam block; the rest follows the header as the skipped frame and the samples.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "gehdr/GETables.h"
#include "model/TCSISet.h"
#include "readers/ReaderFactory.h"

namespace {

std::ostringstream g_discard;

// Takes the next `length` input bytes (fewer at its end) and copies what fits to `offset`
// of the header; returns the bytes taken, so that every chunk starts at a fixed input place.
size_t Lay(std::string& file, size_t offset, const uint8_t* data, size_t size, size_t length)
{
    const size_t taken = std::min(length, size);
    const size_t n = std::min(taken, file.size() - std::min(offset, file.size()));
    std::copy(data, data + n, file.begin() + std::ptrdiff_t(offset));
    return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (vx::fuzz::SilenceReports(), std::cerr.rdbuf(g_discard.rdbuf()), true);
    (void)quiet;
    g_discard.str({});
    if (size < 1)
        return 0;
    const uint8_t pick = data[0];
    ++data;
    --size;
    static constexpr int kKeys[4] = {5, 8, 10, 5};
    static constexpr int kFormats[4] = {15, 13, 12, 16};
    const int key = kKeys[pick & 3];
    const int order = (pick >> 2) & 1;

    std::string file(size_t(RawHdrSz.at(key)), '\0');
    const uint32_t revision = std::bit_cast<uint32_t>(RawRev.at(key));
    for (int i = 0; i < 4; ++i)
        file[size_t(i)] = char(revision >> (order == 0 ? 24 - 8 * i : 8 * i));
    size_t used = Lay(file, 4, data, size, 2044);
    used += Lay(file, size_t(RawImageOff.at(key)), data + used, size - used, 2048);
    used += Lay(file, size_t(RawExamOff.at(key)), data + used, size - used, 1024);
    file.append(reinterpret_cast<const char*>(data + used), size - used);

    TCSIReadParams params;
    params.m_nFormat = kFormats[(pick >> 3) & 3];
    params.m_nAxisOrder[0] = 0;
    params.m_nAxisOrder[1] = 1;
    params.m_nAxisOrder[2] = 2;
    params.m_bLoadRawData = (pick >> 5) & 1;
    params.m_bRemoveOffset = (pick >> 6) & 1;
    params.m_bNormalize = (pick >> 7) & 1;
    const std::string path = vx::fuzz::WriteScratch(
        "P00001.7", reinterpret_cast<const uint8_t*>(file.data()), file.size());
    std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(params.m_nFormat), &params));
    std::unique_ptr<TCSISet> set(reader->Read(path));
    return 0;
}
