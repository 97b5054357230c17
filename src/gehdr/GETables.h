#pragma once
// Version tables of the GE header library.
//
// Every layout that changed between scanner software releases is named by a
// version key 0..11: keys 0, 2, 4, 5, 8 and 10 are raw-data (P-file) layouts,
// keys 1, 3, 6, 7, 9 and 11 Genesis image layouts. Everything that depends on
// the layout (which kind of file, where the identifying word sits, how long
// each header block is and where it starts) is a constant table keyed by
// version key. All tables are constexpr, so they exist before any code runs
// and never depend on the construction order of globals in other files.
#include <array>
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>

// "Not defined": an absent field, a version that is not set, a missing result.
inline constexpr int GEUndefined = -1;

// {offset, size} of a field that the version's layout lacks.
inline constexpr std::array<int, 2> UndefinedLayout{GEUndefined, GEUndefined};

// Returned for a text field that is absent or unreadable.
inline constexpr std::string_view NotDefinedText = "Not Defined";

// Byte-order codes: 0 = most significant byte first (big-endian),
// 1 = least significant byte first (little-endian); tried in this order.
inline constexpr std::array<int, 2> ByteOrders{0, 1};

inline constexpr std::array<int, 12> VersionKeys{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
inline constexpr std::array<int, 13> SubSecKeys{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

inline constexpr bool IsVersionKey(int key) { return key >= 0 && key < int(VersionKeys.size()); }
inline constexpr bool IsSubSecKey(int key) { return key >= 0 && key < int(SubSecKeys.size()); }

// File types of VerFile.
inline constexpr int GERawFile = 0;
inline constexpr int GEImageFile = 1;

// Subsection keys: the blocks a header is cut into.
enum GESubSecKey : int {
    kRdbHdrKey = 0,      // first block of a raw header
    kRawBlk1Key = 1,     // raw-header block, twice in a raw header
    kDataAcqTabKey = 2,  // raw-header block
    kRawBlk3Key = 3,     // raw-header block, twice in a raw header
    kRawBlk4Key = 4,     // raw-header block
    kImgCtrlKey = 5,     // image control block
    kImgRawBlkKey = 6,   // image-header block without fields
    kHistKey = 7,        // histogram block of an image header
    kSuiteKey = 8,       // suite block
    kPrescanKey = 9,     // prescan block of a raw header (empty before raw key 10)
    kExamKey = 10,       // exam block
    kSeriesKey = 11,     // series block
    kImageKey = 12,      // MR image block
};

// An ordered map from version key (0..11) to a value; a key may have no entry.
template <class T>
class GEKeyTableOf {
public:
    constexpr GEKeyTableOf() = default;
    constexpr GEKeyTableOf(std::initializer_list<std::pair<int, T>> entries)
    {
        for (const auto& [key, value] : entries)
            set(key, value);
    }

    constexpr bool has(int key) const { return IsVersionKey(key) && m_present[std::size_t(key)]; }
    // The entry of a key; `absent` when the key has none.
    constexpr T at(int key, T absent = T(GEUndefined)) const
    {
        return has(key) ? m_value[std::size_t(key)] : absent;
    }
    constexpr void set(int key, T value)
    {
        if (!IsVersionKey(key))
            return;
        m_present[std::size_t(key)] = true;
        m_value[std::size_t(key)] = value;
    }
    constexpr bool operator==(const GEKeyTableOf&) const = default;

private:
    std::array<bool, VersionKeys.size()> m_present{};
    std::array<T, VersionKeys.size()> m_value{};
};

using GEKeyTable = GEKeyTableOf<int>;

// Kind of file of every version key.
inline constexpr GEKeyTable VerFile{{0, GERawFile},  {1, GEImageFile},  {2, GERawFile},
                                    {3, GEImageFile}, {4, GERawFile},   {5, GERawFile},
                                    {6, GEImageFile}, {7, GEImageFile}, {8, GERawFile},
                                    {9, GEImageFile}, {10, GERawFile},  {11, GEImageFile}};

// Image layout of the exam, series and image blocks embedded in a raw header.
inline constexpr GEKeyTable RawImgVer{{0, 1}, {2, 3}, {4, 3}, {5, 6}, {8, 9}, {10, 11}};

// Block sizes in bytes, per subsection key, by version key. Raw-header blocks
// are keyed by raw keys, the others by image keys. A size of 0 is a real entry.
inline constexpr std::array<GEKeyTable, SubSecKeys.size()> SubSecSize{{
    /* 0 */ {{0, 2048}, {2, 2048}, {4, 2048}, {5, 2048}, {8, 2048}, {10, 2048}},
    /* 1 */ {{0, 4096}, {2, 4096}, {4, 4096}, {5, 4096}, {8, 4096}, {10, 16384}},
    /* 2 */ {{0, 20480}, {2, 20480}, {4, 40960}, {5, 40960}, {8, 45056}, {10, 98304}},
    /* 3 */ {{0, 2052}, {2, 2052}, {4, 2052}, {5, 2052}, {8, 2052}, {10, 2052}},
    /* 4 */ {{0, 2048}, {2, 2048}, {4, 2048}, {5, 2048}, {8, 2048}, {10, 2048}},
    /* 5 */ {{1, 156}, {3, 124}, {6, 124}, {7, 124}, {9, 124}, {11, 124}},
    /* 6 */ {{1, 80}, {3, 80}, {6, 80}, {7, 80}, {9, 80}, {11, 80}},
    /* 7 */ {{1, 2068}, {3, 2068}, {6, 2068}, {7, 2068}, {9, 2068}, {11, 2068}},
    /* 8 */ {{1, 114}, {3, 116}, {6, 116}, {7, 116}, {9, 116}, {11, 116}},
    /* 9 */ {{0, 0}, {2, 0}, {4, 0}, {5, 0}, {8, 0}, {10, 1500}},
    /* 10 */ {{1, 1024}, {3, 1040}, {6, 1040}, {7, 1040}, {9, 1040}, {11, 1040}},
    /* 11 */ {{1, 1020}, {3, 1028}, {6, 1536}, {7, 1536}, {9, 2048}, {11, 2048}},
    /* 12 */ {{1, 1022}, {3, 1044}, {6, 1536}, {7, 1536}, {9, 1536}, {11, 2048}},
}};

// Software revision that identifies a raw layout: the float in the first word
// of the raw header, compared bit for bit.
inline constexpr GEKeyTableOf<float> RawRev{{0, 5.2f}, {2, 7.0f}, {4, 8.0f},
                                            {5, 9.0f}, {8, 11.0f}, {10, 14.3f}};
static_assert(std::bit_cast<std::uint32_t>(RawRev.at(0)) == 0x40A66666u);
static_assert(std::bit_cast<std::uint32_t>(RawRev.at(10)) == 0x4164CCCDu);

// Magic word of an image layout ("IMGF" read as a big-endian integer, or the
// older word of key 7).
inline constexpr int kImgfMagic = 0x494D4746;
inline constexpr GEKeyTable ImgMagic{{1, kImgfMagic}, {3, kImgfMagic}, {6, kImgfMagic},
                                     {7, 0x08080AC4}, {9, kImgfMagic}, {11, kImgfMagic}};

// Offsets within their blocks of the words that identify a file: the raw
// revision is field 0 of the first raw block, the image magic field 0 and the
// header length field 1 of the image control block.
inline constexpr int kRdbRevisionFieldOffset = 0;
inline constexpr int kImgCtrlMagicFieldOffset = 0;
inline constexpr int kImgCtrlHdrLengthFieldOffset = 4;

namespace ge_tables_detail {

constexpr int Size(int subsec, int version) { return SubSecSize[std::size_t(subsec)].at(version); }

// Blocks of a raw header, back to back in this order; the exam, series and
// image blocks take the sizes of the raw key's image partner.
inline constexpr std::array<int, 11> kRawBlockOrder{
    kRdbHdrKey, kRawBlk1Key, kRawBlk1Key, kDataAcqTabKey, kRawBlk3Key, kRawBlk3Key,
    kRawBlk4Key, kPrescanKey, kExamKey,   kSeriesKey,     kImageKey};

constexpr int RawBlockSize(int block, int raw_key)
{
    const int subsec = kRawBlockOrder[std::size_t(block)];
    return subsec >= kExamKey ? Size(subsec, RawImgVer.at(raw_key)) : Size(subsec, raw_key);
}

// Offset of block `block` (an index into kRawBlockOrder) for every raw key.
constexpr GEKeyTable RawOffsets(int block)
{
    GEKeyTable t;
    for (int key : VersionKeys) {
        if (VerFile.at(key) != GERawFile)
            continue;
        int offset = 0;
        for (int b = 0; b < block; ++b)
            offset += RawBlockSize(b, key);
        t.set(key, offset);
    }
    return t;
}

constexpr GEKeyTable MakeRawHdrSz()
{
    GEKeyTable t;
    for (int key : VersionKeys) {
        if (VerFile.at(key) != GERawFile)
            continue;
        int total = 0;
        for (int b = 0; b < int(kRawBlockOrder.size()); ++b)
            total += RawBlockSize(b, key);
        // The oldest layout carries 2 bytes after its last block.
        t.set(key, key == 0 ? total + 2 : total);
    }
    return t;
}

// Image layouts 3, 6, 9 and 11 put the suite, exam, series and image blocks
// first and the control block behind them; 1 and 7 open with the control block.
constexpr GEKeyTable MakeImgCtrlOff()
{
    GEKeyTable t;
    for (int key : VersionKeys) {
        if (VerFile.at(key) != GEImageFile)
            continue;
        const bool first = key == 1 || key == 7;
        t.set(key, first ? 0
                         : Size(kSuiteKey, key) + Size(kExamKey, key) + Size(kSeriesKey, key) +
                               Size(kImageKey, key));
    }
    return t;
}

// Offset of the n-th of the four data blocks (suite, exam, series, image) of
// an image layout; key 1 has no entry (its control block gives the offsets).
constexpr GEKeyTable ImgOffsets(int n)
{
    constexpr std::array<int, 4> order{kSuiteKey, kExamKey, kSeriesKey, kImageKey};
    GEKeyTable t;
    for (int key : VersionKeys) {
        if (VerFile.at(key) != GEImageFile || key == 1)
            continue;
        int offset = key == 7 ? Size(kImgCtrlKey, 7) : 0;
        for (int b = 0; b < n; ++b)
            offset += Size(order[std::size_t(b)], key);
        t.set(key, offset);
    }
    return t;
}

}  // namespace ge_tables_detail

inline constexpr GEKeyTable RawHdrSz = ge_tables_detail::MakeRawHdrSz();
inline constexpr GEKeyTable ImgCtrlOff = ge_tables_detail::MakeImgCtrlOff();

inline constexpr GEKeyTable ImgSuiteOff = ge_tables_detail::ImgOffsets(0);
inline constexpr GEKeyTable ImgExamOff = ge_tables_detail::ImgOffsets(1);
inline constexpr GEKeyTable ImgSeriesOff = ge_tables_detail::ImgOffsets(2);
inline constexpr GEKeyTable ImgImageOff = ge_tables_detail::ImgOffsets(3);

inline constexpr GEKeyTable RawRdbOff = ge_tables_detail::RawOffsets(0);
inline constexpr GEKeyTable RawBlk1aOff = ge_tables_detail::RawOffsets(1);
inline constexpr GEKeyTable RawBlk1bOff = ge_tables_detail::RawOffsets(2);
inline constexpr GEKeyTable RawAcqTabOff = ge_tables_detail::RawOffsets(3);
inline constexpr GEKeyTable RawBlk3aOff = ge_tables_detail::RawOffsets(4);
inline constexpr GEKeyTable RawBlk3bOff = ge_tables_detail::RawOffsets(5);
inline constexpr GEKeyTable RawBlk4Off = ge_tables_detail::RawOffsets(6);
inline constexpr GEKeyTable RawPrescanOff = ge_tables_detail::RawOffsets(7);
inline constexpr GEKeyTable RawExamOff = ge_tables_detail::RawOffsets(8);
inline constexpr GEKeyTable RawSeriesOff = ge_tables_detail::RawOffsets(9);
inline constexpr GEKeyTable RawImageOff = ge_tables_detail::RawOffsets(10);

namespace ge_tables_detail {

// File offset of the identifying word of every version key.
constexpr GEKeyTable MakeVerOff()
{
    GEKeyTable t;
    for (int key : VersionKeys) {
        if (VerFile.at(key) == GERawFile && RawRdbOff.has(key))
            t.set(key, RawRdbOff.at(key) + kRdbRevisionFieldOffset);
        else if (VerFile.at(key) == GEImageFile && ImgCtrlOff.has(key))
            t.set(key, ImgCtrlOff.at(key) + kImgCtrlMagicFieldOffset);
    }
    return t;
}

constexpr GEKeyTable MakeImgHdrOff()
{
    GEKeyTable t;
    for (int key : VersionKeys)
        if (ImgCtrlOff.has(key))
            t.set(key, ImgCtrlOff.at(key) + kImgCtrlHdrLengthFieldOffset);
    return t;
}

}  // namespace ge_tables_detail

inline constexpr GEKeyTable VerOff = ge_tables_detail::MakeVerOff();
inline constexpr GEKeyTable ImgHdrOff = ge_tables_detail::MakeImgHdrOff();
