#pragma once
// Reads the fields of one record of known length from a binary file: every read is
// checked against the bytes the record has left, so that a count or size from the file
// never asks for more than the record holds. Little-endian 4-byte fields as TFile reads
// them; texts end with a zero byte.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vx {

class TFile;

class TRecordReader {
public:
    // The record is the next `length` bytes of the file.
    TRecordReader(TFile& file, int64_t length) : m_file(file), m_nLeft(length) {}

    bool ReadInt32(int32_t& v);
    bool ReadUInt32(uint32_t& v);
    // n floats; false (nothing read) when the record has fewer bytes left.
    bool ReadFloats(float* out, size_t n);
    // Bytes up to a zero byte, which must lie in the record within maxLength bytes.
    bool ReadText(std::string& text, size_t maxLength);
    // True when the record holds at least `bytes` more.
    bool Holds(uint64_t bytes) const { return bytes <= static_cast<uint64_t>(m_nLeft); }
    int64_t BytesLeft() const { return m_nLeft; }
    // Moves past what is left of the record; false when the file ends before.
    bool SkipRest();

private:
    bool Take(void* out, size_t n);

    TFile& m_file;
    int64_t m_nLeft;
};

}  // namespace vx
