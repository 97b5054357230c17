#pragma once
// The input layout of fuzz_ge_pfile, shared with the seed writer. A P-file header is
// tens of kilobytes, most of it unused, so an input is laid into a header of a known
// revision instead of being the file: the first byte picks the revision (bits 0-1: 9.0,
// 11.0, 14.3; 3 makes fuzz_ge_pfile write a file from chosen values instead), the byte order (bit 2: little-endian), the reader (bits 3-4: EXCITE,
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

// The fields of a P-file header that the readers take, where they lie in the header of
// revision 9.0, 11.0 and 14.3 (raw version keys 5, 8 and 10; their exam, series and image
// blocks are of image version keys 6, 9 and 11): the blocks from the start of the file,
// their fields from the start of their block. The raw header block starts the file, and
// its fields lie at the same offsets in all three.
struct TPfileRevision {
    float revision;
    size_t headerSize;
    size_t exam, series, image;  // where the blocks start
    // In the exam block.
    size_t examNumber, examTime, softwareVersion;
    // In the series block.
    size_t seriesDescription, seriesDescriptionLength;
    // In the image block.
    size_t sliceThickness, imageDimY, fov, rectFov, pixelSizeY, plane, centre[3], repetitionTime, obliquePlane,
        sequenceName, voxelSize[3], voxelCentre[3];
};
inline constexpr TPfileRevision kPfileRevisions[3] = {
    {9.0f, 61464, 57352, 58392, 59928, 8, 212, 364, 20, 30, 28, 34, 36, 40, 56, 116, {136, 140, 144}, 200, 280, 320,
     {456, 460, 464}, {468, 472, 476}},
    {11.0f, 66072, 61448, 62488, 64536, 128, 120, 478, 298, 65, 12, 662, 0, 4, 388, 688, {392, 396, 400}, 488, 512,
     838, {84, 88, 92}, {96, 100, 104}},
    {14.3f, 145908, 140772, 141812, 143860, 272, 216, 638, 506, 65, 76, 1022, 64, 68, 452, 1048, {456, 460, 464}, 712,
     736, 1272, {148, 152, 156}, {160, 164, 168}},
};
// The raw header block's fields.
namespace rdb {
inline constexpr size_t kField56 = 56, kFrameCount = 74, kPointCount = 80, kPointSize = 82, kField176 = 176,
                        kField178 = 178, kField292 = 292, kSpectralWidth = 368, kSpatialDims = 372, kCsiDims = 374,
                        kCentreFreq = 424, kEchoFlag = 856, kField868 = 868, kEchoTime = 1212,
                        kPatientPosition = 1336, kPatientEntry = 1340;
}

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
