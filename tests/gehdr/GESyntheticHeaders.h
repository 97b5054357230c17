#pragma once
// Synthetic GE headers for tests, packed byte by byte from the block layouts
// written out here by hand (not taken from the library's tables), with marker
// values in fields the readers use.
#include "GETestSupport.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace getest {

// Where the blocks of a Genesis header lie, per image version key.
struct TGenesisLayout {
    int ctrlOff, ctrlLen, suiteOff, suiteLen, examOff, examLen, seriesOff, seriesLen, imageOff, imageLen;
    int examNumberAt, imageDimXAt, seriesDescriptionAt;  // within their blocks
};

inline const std::map<int, TGenesisLayout>& GenesisLayouts()
{
    static const std::map<int, TGenesisLayout> layouts{
        {1, {0, 156, 156, 114, 270, 1024, 1294, 1020, 2314, 1022, 8, 30, 20}},
        {3, {3228, 124, 0, 116, 116, 1040, 1156, 1028, 2184, 1044, 8, 32, 20}},
        {6, {4228, 124, 0, 116, 116, 1040, 1156, 1536, 2692, 1536, 8, 32, 20}},
        {7, {0, 124, 124, 116, 240, 1040, 1280, 1536, 2816, 1536, 8, 32, 20}},
        {9, {4740, 124, 0, 116, 116, 1040, 1156, 2048, 3204, 1536, 128, 660, 298}},
        {11, {5252, 124, 0, 116, 116, 1040, 1156, 2048, 3204, 2048, 272, 1020, 506}},
    };
    return layouts;
}

// Where the fields the Genesis image reader takes lie in their blocks, per image version
// key (keys 6 and 7 as 3): in the exam block the exam time; in the series block the
// description and the protocol (field 18); in the image block the slice thickness, the
// matrix (x, y), the pixel size (x, y), the slice location, the centre and the normal (x,
// y, z each), TR and TE.
struct TGenesisFields {
    int examTime, seriesDescription, protocol;
    int thickness, imageDimX, imageDimY, pixelSizeX, pixelSizeY, sliceLocation, centre, normal, tr, te;
};

inline const TGenesisFields& GenesisFields(int key)
{
    static const std::map<int, TGenesisFields> fields{
        {1, {208, 20, 92, 26, 30, 32, 50, 54, 126, 130, 142, 194, 202}},
        {3, {212, 20, 92, 28, 32, 34, 52, 56, 132, 136, 148, 200, 208}},
        {9, {120, 298, 384, 12, 660, 662, 384, 388, 20, 392, 404, 488, 496}},
        {11, {216, 506, 592, 76, 1020, 1022, 448, 452, 84, 456, 468, 712, 720}},
    };
    return fields.at(key == 6 || key == 7 ? 3 : key);
}

// Marker values of the synthetic headers.
inline constexpr int kWidth = 256, kHeight = 192, kExamNumber = 4321, kImageDimX = 128, kHistMarker = 7;
inline const std::string kSeriesDescription = "Ax T1 SE";
inline const std::string kBlock1Text = "recon block one";

// Byte places of the blocks that follow the data blocks, as file offsets.
struct TGenesisTail {
    int blk1, hist, blk2, blk3, blk4, blk5, blk6, end;
};

inline TGenesisTail GenesisTail(const TGenesisLayout& l)
{
    const int dataEnd = std::max(l.ctrlOff + l.ctrlLen, l.imageOff + l.imageLen);
    TGenesisTail t{};
    t.blk1 = dataEnd;        // 80 bytes
    t.hist = t.blk1 + 80;    // 2068 bytes
    t.blk2 = t.hist + 2068;  // 12 bytes
    t.blk3 = t.blk2 + 12;    // 0 bytes
    t.blk4 = t.blk3;         // 8 bytes
    t.blk5 = t.blk4 + 8;     // 4 bytes
    t.blk6 = t.blk5 + 4;     // 16 bytes
    t.end = t.blk6 + 16;
    return t;
}

// A whole Genesis header of the version key in the byte order, followed by
// `pixels` bytes of pixel data.
inline std::string MakeGenesis(int key, int order, int pixels = 0)
{
    const TGenesisLayout& l = GenesisLayouts().at(key);
    const TGenesisTail t = GenesisTail(l);
    std::string b(std::size_t(t.end + pixels), '\0');
    for (int i = 0; i < pixels; ++i)
        b[std::size_t(t.end + i)] = char(0xA0 + i % 7);
    const auto c = std::size_t(l.ctrlOff);
    Put32(b, c + 0, key == 7 ? 0x08080AC4 : 0x494D4746, order);
    Put32(b, c + 4, t.end - l.ctrlOff, order);  // header length, from the control block on
    Put32(b, c + 8, kWidth, order);
    Put32(b, c + 12, kHeight, order);
    // {offset field, length field, file offset, length} of blocks 1 to 3, the
    // histogram, blocks 4 and 5 (fields 15 to 26) and block 6 (fields 30, 31).
    const int blocks[][4] = {{15, 16, t.blk1, 80}, {17, 18, t.blk2, 12}, {19, 20, t.blk3, 0},
                             {21, 22, t.hist, 2068}, {23, 24, t.blk4, 8}, {25, 26, t.blk5, 4},
                             {30, 31, t.blk6, 16}};
    for (const auto& blk : blocks) {
        // Fields 15 to 31 lie at 4 * field - 4 bytes (field 14 is 16-bit).
        Put32(b, c + std::size_t(4 * blk[0] - 4), blk[2] - l.ctrlOff, order);
        Put32(b, c + std::size_t(4 * blk[1] - 4), blk[3], order);
    }
    if (key == 1) {
        const int places[] = {l.suiteOff, l.suiteLen, l.examOff, l.examLen,
                              l.seriesOff, l.seriesLen, l.imageOff, l.imageLen};
        for (int i = 0; i < 8; ++i)
            Put32(b, c + std::size_t(124 + 4 * i), places[i], order);
    }
    PutText(b, std::size_t(t.blk1), kBlock1Text);
    Put32(b, std::size_t(t.hist), kHistMarker, order);
    Put16(b, std::size_t(l.examOff + l.examNumberAt), kExamNumber, order);
    Put16(b, std::size_t(l.imageOff + l.imageDimXAt), kImageDimX, order);
    PutText(b, std::size_t(l.seriesOff + l.seriesDescriptionAt), kSeriesDescription);
    return b;
}

// The values of a Genesis image that its reader takes; times in seconds since 1970 and in
// microseconds.
struct TGenesisImage {
    int width = kWidth, height = kHeight, examNumber = kExamNumber;
    std::int64_t examTime = 0, tr = 0, te = 0;
    std::string description = kSeriesDescription, protocol;
    int imageDim[2] = {kImageDimX, 0};
    float thickness = 0, pixelSize[2] = {}, sliceLocation = 0, centre[3] = {}, normal[3] = {};
    std::vector<int> pixels;
};

// A Genesis image file of the version key in the byte order: the header of MakeGenesis
// with those values in their fields, then the pixels.
inline std::string MakeGenesisImage(int key, int order, const TGenesisImage& v)
{
    const TGenesisFields& f = GenesisFields(key);
    const TGenesisLayout& l = GenesisLayouts().at(key);
    std::string b = MakeGenesis(key, order);
    Put32(b, std::size_t(l.ctrlOff + 8), v.width, order);
    Put32(b, std::size_t(l.ctrlOff + 12), v.height, order);
    Put16(b, std::size_t(l.examOff + l.examNumberAt), v.examNumber, order);
    Put32(b, std::size_t(l.examOff + f.examTime), v.examTime, order);
    // The marker description goes first: a text ends at its first zero byte.
    PutText(b, std::size_t(l.seriesOff + f.seriesDescription), std::string(kSeriesDescription.size(), '\0'));
    PutText(b, std::size_t(l.seriesOff + f.seriesDescription), v.description);
    PutText(b, std::size_t(l.seriesOff + f.protocol), v.protocol);
    const auto at = [&](int field) { return std::size_t(l.imageOff + field); };
    PutFloat(b, at(f.thickness), v.thickness, order);
    Put16(b, at(f.imageDimX), v.imageDim[0], order);
    Put16(b, at(f.imageDimY), v.imageDim[1], order);
    PutFloat(b, at(f.pixelSizeX), v.pixelSize[0], order);
    PutFloat(b, at(f.pixelSizeY), v.pixelSize[1], order);
    PutFloat(b, at(f.sliceLocation), v.sliceLocation, order);
    for (std::size_t k = 0; k < 3; ++k) {
        PutFloat(b, at(f.centre) + 4 * k, v.centre[k], order);
        PutFloat(b, at(f.normal) + 4 * k, v.normal[k], order);
    }
    Put32(b, at(f.tr), v.tr, order);
    Put32(b, at(f.te), v.te, order);
    for (int pixel : v.pixels)
        Put16(b, b.size(), pixel, order);
    return b;
}

// Where the blocks of a raw header lie, per raw version key.
struct TRawLayout {
    int size, examOff, seriesOff, imageOff, imageKey;
    int examNumberAt, imageDimXAt, echoTimeAt;  // within their blocks; echo time in the first block
};

inline const std::map<int, TRawLayout>& RawLayouts()
{
    static const std::map<int, TRawLayout> layouts{
        {0, {39940, 36872, 37896, 38916, 1, 8, 30, -1}},
        {2, {39984, 36872, 37912, 38940, 3, 8, 32, 1208}},
        {4, {60464, 57352, 58392, 59420, 3, 8, 32, 1212}},
        {5, {61464, 57352, 58392, 59928, 6, 8, 32, 1212}},
        {8, {66072, 61448, 62488, 64536, 9, 128, 660, 1212}},
        {10, {145908, 140772, 141812, 143860, 11, 272, 1020, 1212}},
    };
    return layouts;
}

inline constexpr int kPointCount = 2048, kEchoTime = 30000;

inline std::string MakeRaw(int key, int order, int samples = 0)
{
    const TRawLayout& l = RawLayouts().at(key);
    std::string b(std::size_t(l.size + samples), '\0');
    const std::map<int, float> revisions{{0, 5.2f}, {2, 7.0f}, {4, 8.0f}, {5, 9.0f}, {8, 11.0f}, {10, 14.3f}};
    PutFloat(b, 0, revisions.at(key), order);
    Put16(b, 80, kPointCount, order);
    if (l.echoTimeAt >= 0)
        Put32(b, std::size_t(l.echoTimeAt), kEchoTime, order);
    Put16(b, std::size_t(l.examOff + l.examNumberAt), kExamNumber, order);
    Put16(b, std::size_t(l.imageOff + l.imageDimXAt), kImageDimX, order);
    // The two bytes after the blocks of key 0 belong to no block.
    if (key == 0)
        b[39938] = b[39939] = char(0xEE);
    for (int i = 0; i < samples; ++i)
        b[std::size_t(l.size + i)] = char(i);
    return b;
}

}  // namespace getest
