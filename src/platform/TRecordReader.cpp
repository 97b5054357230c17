#include "platform/TRecordReader.h"

#include "platform/TFile.h"

namespace vx {

bool TRecordReader::Take(void* out, size_t n)
{
    if (!Holds(n) || !m_file.ReadExact(out, n))
        return false;
    m_nLeft -= static_cast<int64_t>(n);
    return true;
}

bool TRecordReader::ReadInt32(int32_t& v)
{
    uint32_t u = 0;
    if (!ReadUInt32(u))
        return false;
    v = static_cast<int32_t>(u);
    return true;
}

bool TRecordReader::ReadUInt32(uint32_t& v)
{
    // Stored as TFile stores it, in the machine's (little-endian) order.
    return Take(&v, 4);
}

bool TRecordReader::ReadFloats(float* out, size_t n)
{
    return n <= static_cast<uint64_t>(m_nLeft) / 4 && Take(out, n * 4);
}

bool TRecordReader::ReadText(std::string& text, size_t maxLength)
{
    std::string read;
    char c = 0;
    while (Take(&c, 1)) {
        if (c == '\0') {
            text = std::move(read);
            return true;
        }
        if (read.size() >= maxLength)
            return false;
        read.push_back(c);
    }
    return false;
}

bool TRecordReader::SkipRest()
{
    if (m_nLeft == 0)
        return true;
    if (m_file.BytesLeft() < m_nLeft || !m_file.Seek(m_file.Tell() + m_nLeft))
        return false;
    m_nLeft = 0;
    return true;
}

}  // namespace vx
