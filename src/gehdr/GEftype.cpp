#include "gehdr/GEftype.h"

#include "gehdr/GEByteOrder.h"
#include "gehdr/GESource.h"
#include "gehdr/GETables.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

// Reads 4-byte words at given offsets, from an open file or from bytes in
// memory. Bytes the source cannot supply count as 0; a short read marks the
// source failed, which ends the search at the next key.
class TWordSource {
public:
    explicit TWordSource(const std::string& source) : m_bytes(source)
    {
        m_fileMode = GEOpenSourceFile(source, m_file);
    }

    // False when the search must stop before reading at `offset`.
    bool CanRead(std::int64_t offset) const
    {
        if (m_failed)
            return false;
        return m_fileMode || offset <= std::int64_t(m_bytes.size());
    }

    // The 4 bytes at `offset`, zero-filled where the source ends; `complete`
    // tells whether all four were there.
    std::uint32_t Read(std::int64_t offset, bool& complete)
    {
        unsigned char b[4] = {0, 0, 0, 0};
        std::size_t got = 0;
        if (m_fileMode) {
            m_file.clear();
            if (m_file.seekg(offset, std::ios::beg)) {
                m_file.read(reinterpret_cast<char*>(b), 4);
                got = std::size_t(m_file.gcount());
            }
        } else if (offset <= std::int64_t(m_bytes.size())) {
            got = std::min<std::size_t>(4, m_bytes.size() - std::size_t(offset));
            std::memcpy(b, m_bytes.data() + offset, got);
        }
        complete = got == 4;
        if (!complete)
            m_failed = true;
        std::uint32_t word;
        std::memcpy(&word, b, 4);  // host order, as the bytes lie in the file
        return word;
    }

private:
    const std::string& m_bytes;
    std::ifstream m_file;
    bool m_fileMode = false;
    bool m_failed = false;
};

}  // namespace

std::vector<int> GEftype(const std::string& source)
{
    std::vector<int> result{GEUndefined, GEUndefined, GEUndefined, GEUndefined};
    TWordSource words(source);

    for (int k = 0; k < int(VersionKeys.size()); ++k) {
        if (!VerOff.has(k)) {
            std::cerr << "GEftype: " << "Index " << k << " doesn't exist in VerOff" << "\n";
            return result;
        }
        if (!VerFile.has(k)) {
            std::cerr << "GEftype: " << "Indx " << k << " doesn't exist in VerFile" << "\n";
            return result;
        }
        const int type = VerFile.at(k);
        if (type != GERawFile && type != GEImageFile) {
            std::cerr << "GEftype: " << "Version has unknown associated file type!" << "\n";
            return result;
        }
        if (!words.CanRead(VerOff.at(k)))
            break;
        bool complete = false;
        const std::uint32_t word = words.Read(VerOff.at(k), complete);

        if (type == GERawFile) {
            if (!RawRev.has(k)) {
                std::cerr << "Raw file index " << k << " has no rev number!" << "\n";
                return result;
            }
            if (!RawHdrSz.has(k)) {
                std::cerr << "Raw file index " << k << " has no header size!" << "\n";
                return result;
            }
            for (int order : ByteOrders) {
                const float rev = GEswapfloat(std::bit_cast<float>(word), GESwapFlag(order));
                // Bit-exact: a revision one bit off is a different layout.
                if (std::bit_cast<std::uint32_t>(rev) == std::bit_cast<std::uint32_t>(RawRev.at(k))) {
                    result = {GERawFile, k, RawHdrSz.at(k), order};
                    return result;
                }
            }
            continue;
        }

        if (!ImgMagic.has(k)) {
            std::cerr << "Img file index " << k << " has no magic number!" << "\n";
            return result;
        }
        if (!ImgHdrOff.has(k)) {
            std::cerr << "Img file index " << k << " has no header offset!" << "\n";
            return result;
        }
        if (!ImgCtrlOff.has(k)) {
            std::cerr << "Img file index " << k << " has no ImgCtrl offset!" << "\n";
            return result;
        }
        for (int order : ByteOrders) {
            const int swap = GESwapFlag(order);
            if (GEswap32(std::int32_t(word), swap) != ImgMagic.at(k))
                continue;
            result[0] = GEImageFile;
            result[1] = k;
            result[3] = order;
            if (words.CanRead(ImgHdrOff.at(k))) {
                bool lengthComplete = false;
                const std::uint32_t raw = words.Read(ImgHdrOff.at(k), lengthComplete);
                const std::int64_t size =
                    std::int64_t(GEswap32(std::int32_t(raw), swap)) + ImgCtrlOff.at(k);
                // A header-length word that is cut off or whose sum overflows
                // gives no size rather than a made-up one.
                if (lengthComplete && size >= INT_MIN && size <= INT_MAX)
                    result[2] = int(size);
            }
            return result;
        }
    }
    return result;
}
