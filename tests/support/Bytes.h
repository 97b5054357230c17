#pragma once
// Little-endian words packed byte by byte, for golden and synthetic files and for
// patching fields of them: independent of the writers under test.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vx::test {

// 16-bit words of the values (the low 16 bits of each, so negatives are two's complement).
inline std::string Int16LE(const std::vector<int>& values)
{
    std::string out;
    for (int v : values) {
        const auto u = static_cast<uint16_t>(v);
        out.push_back(static_cast<char>(u & 0xff));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

// 32-bit words of the values.
inline std::string Int32LE(std::initializer_list<int32_t> words)
{
    std::string out;
    for (int32_t w : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>((static_cast<uint32_t>(w) >> (8 * i)) & 0xff));
    return out;
}

// Overwrites the four bytes at offset with the value's word.
inline void PutInt32LE(std::string& bytes, size_t offset, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xff);
}

// The 32-bit word at offset.
inline int32_t Int32LEAt(const std::string& bytes, size_t offset)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes.at(offset + i))) << (8 * i);
    return static_cast<int32_t>(v);
}

}  // namespace vx::test
