#pragma once
// Helpers of the GE header tests: capture of the library's stderr lines and
// packing of numbers in a chosen byte order, written independently of the
// library's own byte-order code.
#include <bit>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace getest {

// Collects everything written to std::cerr while it lives.
class TCapturedStderr {
public:
    TCapturedStderr() : m_old(std::cerr.rdbuf(m_text.rdbuf())) {}
    ~TCapturedStderr() { std::cerr.rdbuf(m_old); }
    TCapturedStderr(const TCapturedStderr&) = delete;
    TCapturedStderr& operator=(const TCapturedStderr&) = delete;
    std::string Text() const { return m_text.str(); }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(m_text.str());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    std::ostringstream m_text;
    std::streambuf* m_old;
};

// Byte order codes of the files: 0 big-endian, 1 little-endian.
inline void PutU(std::string& bytes, std::size_t offset, std::uint64_t value, int width, int order)
{
    if (bytes.size() < offset + std::size_t(width))
        bytes.resize(offset + std::size_t(width), '\0');
    for (int i = 0; i < width; ++i) {
        const int shift = 8 * (order == 0 ? width - 1 - i : i);
        bytes[offset + std::size_t(i)] = char((value >> shift) & 0xFF);
    }
}
inline void Put16(std::string& b, std::size_t off, int v, int order) { PutU(b, off, std::uint16_t(v), 2, order); }
inline void Put32(std::string& b, std::size_t off, std::int64_t v, int order) { PutU(b, off, std::uint32_t(v), 4, order); }
inline void PutFloat(std::string& b, std::size_t off, float v, int order)
{
    PutU(b, off, std::bit_cast<std::uint32_t>(v), 4, order);
}
inline void PutText(std::string& b, std::size_t off, const std::string& text)
{
    if (b.size() < off + text.size())
        b.resize(off + text.size(), '\0');
    std::memcpy(b.data() + off, text.data(), text.size());
}

}  // namespace getest
