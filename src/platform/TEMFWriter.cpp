#include "platform/TEMFWriter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vx {

namespace {

constexpr uint32_t kHeaderType = 1, kStretchDIBitsType = 81, kEndOfFileType = 14;
constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kVersion = 0x00010000;
// The header up to its description: the base fields and both extensions (pixel format,
// size in micrometres).
constexpr uint32_t kHeaderFixedSize = 108;
constexpr uint32_t kStretchFixedSize = 80, kBitmapInfoSize = 40;
constexpr uint32_t kEndOfFileSize = 20;
constexpr uint32_t kSourceCopy = 0x00CC0020;
// Offsets of the header's totals, filled in when the file is closed.
constexpr size_t kBytesOffset = 48, kRecordsOffset = 52;
// Records larger than this are refused: every size in the format is a 32-bit word.
constexpr uint64_t kMaxFileSize = std::numeric_limits<int32_t>::max();

// A length in pixels at 96 dpi in units of which an inch holds `perInch`, rounded.
int32_t AtScreenResolution(int pixels, double perInch)
{
    return static_cast<int32_t>(std::lround(pixels * perInch / TEMFWriter::kDotsPerInch));
}

}  // namespace

void TEMFWriter::Put32(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void TEMFWriter::Put16(uint16_t value)
{
    m_bytes.push_back(static_cast<char>(value & 0xff));
    m_bytes.push_back(static_cast<char>(value >> 8));
}

void TEMFWriter::PutRect(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    for (int32_t v : {left, top, right, bottom})
        Put32(static_cast<uint32_t>(v));
}

TEMFWriter::TEMFWriter(const std::string& path, int width, int height, const std::u16string& description)
{
    m_failed = width < 1 || height < 1 || description.size() > 0xffff || !m_file.Begin(path);
    if (m_failed)
        return;
    m_open = true;
    // The application's name, its terminator and an empty picture name, padded to a word.
    const uint32_t characters = static_cast<uint32_t>(description.size()) + 2;
    const uint32_t size = kHeaderFixedSize + (characters * 2 + 3) / 4 * 4;
    const int32_t mmWidth = AtScreenResolution(width, 2540), mmHeight = AtScreenResolution(height, 2540);
    Put32(kHeaderType);
    Put32(size);
    PutRect(0, 0, width - 1, height - 1);  // bounds in pixels, inclusive
    PutRect(0, 0, mmWidth - 1, mmHeight - 1);  // frame in 0.01 mm, inclusive
    Put32(kSignature);
    Put32(kVersion);
    Put32(0);  // bytes
    Put32(0);  // records
    Put16(1);  // handles: the table's reserved entry only
    Put16(0);
    Put32(characters);
    Put32(kHeaderFixedSize);  // the description's offset
    Put32(0);  // palette entries
    // The reference device is the picture itself at 96 dpi: pixels, millimetres.
    Put32(static_cast<uint32_t>(width));
    Put32(static_cast<uint32_t>(height));
    Put32(static_cast<uint32_t>(std::max(1, AtScreenResolution(width, 25.4))));
    Put32(static_cast<uint32_t>(std::max(1, AtScreenResolution(height, 25.4))));
    Put32(0);  // no pixel format
    Put32(0);
    Put32(0);  // no OpenGL records
    Put32(static_cast<uint32_t>(AtScreenResolution(width, 25400)));
    Put32(static_cast<uint32_t>(AtScreenResolution(height, 25400)));
    for (char16_t c : description)
        Put16(c);
    m_bytes.resize(size, '\0');
    m_records = 1;
}

TEMFWriter::~TEMFWriter()
{
    if (m_open)
        Close();
}

void TEMFWriter::StretchDIBits(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth,
                               int srcHeight, int stride)
{
    if (!m_open || m_failed)
        return;
    const uint64_t bits = uint64_t{4} * static_cast<uint64_t>(std::max(srcWidth, 0)) *
                          static_cast<uint64_t>(std::max(srcHeight, 0));
    const uint64_t size = kStretchFixedSize + kBitmapInfoSize + bits;
    if (!pixels || width < 1 || height < 1 || srcWidth < 1 || srcHeight < 1 || stride < srcWidth ||
        m_bytes.size() + size + kEndOfFileSize > kMaxFileSize) {
        m_failed = true;
        return;
    }
    Put32(kStretchDIBitsType);
    Put32(static_cast<uint32_t>(size));
    PutRect(x, y, x + width - 1, y + height - 1);
    for (int v : {x, y, 0, 0, srcWidth, srcHeight})
        Put32(static_cast<uint32_t>(v));
    Put32(kStretchFixedSize);  // the bitmap info's offset
    Put32(kBitmapInfoSize);
    Put32(kStretchFixedSize + kBitmapInfoSize);  // the pixels' offset
    Put32(static_cast<uint32_t>(bits));
    Put32(0);  // colours are RGB values
    Put32(kSourceCopy);
    Put32(static_cast<uint32_t>(width));
    Put32(static_cast<uint32_t>(height));
    // The bitmap info header: a positive height means the bottom row comes first.
    Put32(kBitmapInfoSize);
    Put32(static_cast<uint32_t>(srcWidth));
    Put32(static_cast<uint32_t>(srcHeight));
    Put16(1);   // planes
    Put16(32);  // bits per pixel
    Put32(0);   // uncompressed
    Put32(static_cast<uint32_t>(bits));
    const auto perMetre = static_cast<uint32_t>(std::lround(kDotsPerInch / 0.0254));
    Put32(perMetre);
    Put32(perMetre);
    Put32(0);  // no colour table
    Put32(0);
    m_bytes.reserve(m_bytes.size() + bits + kEndOfFileSize);
    for (int row = srcHeight - 1; row >= 0; --row) {
        const uint32_t* line = pixels + static_cast<size_t>(row) * static_cast<size_t>(stride);
        for (int col = 0; col < srcWidth; ++col)
            Put32(line[col] & 0x00ffffff);  // blue, green, red, then a reserved zero byte
    }
    ++m_records;
}

bool TEMFWriter::Close()
{
    if (!m_open)
        return !m_failed;
    m_open = false;
    if (!m_failed) {
        Put32(kEndOfFileType);
        Put32(kEndOfFileSize);
        Put32(0);  // palette entries
        Put32(16);  // where a palette would start
        Put32(kEndOfFileSize);
        ++m_records;
        const auto patch = [this](size_t offset, uint32_t value) {
            for (int i = 0; i < 4; ++i)
                m_bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
        };
        patch(kBytesOffset, static_cast<uint32_t>(m_bytes.size()));
        patch(kRecordsOffset, m_records);
    }
    if (m_failed || !m_file.File().Write(m_bytes.data(), m_bytes.size()) || !m_file.Commit()) {
        m_file.Abort();
        m_failed = true;
    }
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    return !m_failed;
}

}  // namespace vx
