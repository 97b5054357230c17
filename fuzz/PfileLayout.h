#pragma once
// The input layout of fuzz_ge_pfile, shared with the seed writer. A P-file header is
// tens of kilobytes, most of it unused, so an input is laid into a header of a known
// revision instead of being the file: the first byte picks the revision (bits 0-1: 9.0,
// 11.0, 14.3; 3 makes fuzz_ge_pfile write a file from chosen values instead, in a header
// of a revision of kPfileRevisions), the byte order (bit 2: little-endian), the reader
// (bits 3-4: EXCITE, single voxel, pre-11.0, multi-plane CSI) and the options "Load raw
// data", "Remove offset" and "Apply normalization" (bits 5-7). The next 2044 bytes follow
// the revision word in the first block, the next 2048 lie at the image block, the next
// 1024 at the exam block; the rest follows the header as the skipped frame and the samples.
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
// revision 9.0, 11.0, 14.3 and 8.0 (raw version keys 5, 8, 10 and 4; their exam, series
// and image blocks are of image version keys 6, 9, 11 and 3): the blocks from the start of
// the file, their fields from the start of their block. The raw header block starts the
// file, and its fields lie at the same offsets in all four but the patient's position and
// entry, which lie 4 bytes earlier in 8.0.
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
    // More of the image block: the spacing of slices (field 26), the plane's normal and
    // its first two corners, and the short sequence name (13 characters).
    size_t field26, normal[3], corner1[3], corner2[3], sequenceShortName;
    // In the raw header block.
    size_t patientPosition, patientEntry;
};
inline constexpr TPfileRevision kPfileRevisions[4] = {
    {9.0f, 61464, 57352, 58392, 59928, 8, 212, 364, 20, 30, 28, 34, 36, 40, 56, 116, {136, 140, 144}, 200, 280, 320,
     {456, 460, 464}, {468, 472, 476}, 120, {148, 152, 156}, {160, 164, 168}, {172, 176, 180}, 360, 1336, 1340},
    {11.0f, 66072, 61448, 62488, 64536, 128, 120, 478, 298, 65, 12, 662, 0, 4, 388, 688, {392, 396, 400}, 488, 512,
     838, {84, 88, 92}, {96, 100, 104}, 16, {404, 408, 412}, {416, 420, 424}, {428, 432, 436}, 884, 1336, 1340},
    {14.3f, 145908, 140772, 141812, 143860, 272, 216, 638, 506, 65, 76, 1022, 64, 68, 452, 1048, {456, 460, 464}, 712,
     736, 1272, {148, 152, 156}, {160, 164, 168}, 80, {468, 472, 476}, {480, 484, 488}, {492, 496, 500}, 1318, 1336,
     1340},
    {8.0f, 60464, 57352, 58392, 59420, 8, 212, 364, 20, 30, 28, 34, 36, 40, 56, 116, {136, 140, 144}, 200, 280, 320,
     {456, 460, 464}, {468, 472, 476}, 120, {148, 152, 156}, {160, 164, 168}, {172, 176, 180}, 360, 1332, 1336},
};
// The raw header block's fields (the multi-plane CSI sequence keeps its slices in field
// 68, its sweep width in 252, its in-plane matrix in 256 and 260, its echo in 1000 and
// 1004 and its points in 1016).
namespace rdb {
inline constexpr size_t kField56 = 56, kField68 = 68, kFrameCount = 74, kPointCount = 80, kPointSize = 82,
                        kField176 = 176, kField178 = 178, kField252 = 252, kField256 = 256, kField260 = 260,
                        kField292 = 292, kSpectralWidth = 368, kSpatialDims = 372, kCsiDims = 374,
                        kCentreFreq = 424, kEchoFlag = 856, kField868 = 868, kField1000 = 1000, kField1004 = 1004,
                        kField1016 = 1016, kEchoTime = 1212;
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
