#pragma once
// The input layout of fuzz_ge_pfile, shared with the seed writer. A P-file header is
// tens of kilobytes, most of it unused, so an input is laid into a header of a known
// revision instead of being the file: the first byte picks the revision (bits 0-1: 9.0,
// 11.0, 14.3, 9.0), the byte order (bit 2: little-endian), the reader (bits 3-4: EXCITE,
// single voxel, pre-11.0, multi-plane CSI) and the options "Load raw data", "Remove
// offset" and "Apply normalization" (bits 5-7). The next 2044 bytes follow the revision
// word in the first block, the next 2048 lie at the image block, the next 1024 at the
// exam block; the rest follows the header as the skipped frame and the samples.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "gehdr/GETables.h"

namespace vx::fuzz {

inline constexpr int kPfileKeys[4] = {5, 8, 10, 5};
inline constexpr int kPfileFormats[4] = {15, 13, 12, 16};
inline constexpr size_t kPfileChunks[3] = {2044, 2048, 1024};

// Where the chunks lie in the header of the revision key.
inline void PfileChunkOffsets(int key, size_t offsets[3])
{
    offsets[0] = 4;
    offsets[1] = size_t(RawImageOff.at(key));
    offsets[2] = size_t(RawExamOff.at(key));
}

// The P-file that an input (after its first byte `pick`) stands for.
inline std::string PfileFromInput(uint8_t pick, const uint8_t* data, size_t size)
{
    const int key = kPfileKeys[pick & 3];
    const bool littleEndian = (pick >> 2) & 1;
    std::string file(size_t(RawHdrSz.at(key)), '\0');
    const uint32_t revision = std::bit_cast<uint32_t>(RawRev.at(key));
    for (int i = 0; i < 4; ++i)
        file[size_t(i)] = char(revision >> (littleEndian ? 8 * i : 24 - 8 * i));
    size_t offsets[3];
    PfileChunkOffsets(key, offsets);
    for (int c = 0; c < 3; ++c) {
        // Every chunk starts at a fixed input place; what does not fit the header is dropped.
        const size_t taken = std::min(kPfileChunks[c], size);
        const size_t n = std::min(taken, file.size() - std::min(offsets[c], file.size()));
        std::copy(data, data + n, file.begin() + std::ptrdiff_t(offsets[c]));
        data += taken;
        size -= taken;
    }
    file.append(reinterpret_cast<const char*>(data), size);
    return file;
}

// The input (without its first byte) that stands for a P-file of the revision key.
inline std::string InputFromPfile(int key, const std::string& file)
{
    size_t offsets[3];
    PfileChunkOffsets(key, offsets);
    std::string input;
    for (int c = 0; c < 3; ++c) {
        std::string chunk = file.substr(std::min(offsets[c], file.size()), kPfileChunks[c]);
        chunk.resize(kPfileChunks[c], '\0');
        input += chunk;
    }
    return input + file.substr(std::min(size_t(RawHdrSz.at(key)), file.size()));
}

}  // namespace vx::fuzz
