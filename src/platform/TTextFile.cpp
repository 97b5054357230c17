#include "platform/TTextFile.h"

#include <cstring>
#include <utility>

namespace vx {

namespace {
constexpr size_t kReadBlock = 64 * 1024;
}

TTextFile::~TTextFile()
{
    Close();
}

bool TTextFile::Open(const std::string& path, Mode mode)
{
    Close();
    m_failed = false;
    m_hasUnread = false;
    m_unread.clear();
    m_pos = m_end = 0;
    m_inMemory = false;
    m_mode = mode;
    m_path = path;
    if (mode == Mode::Read) {
        m_open = m_in.Open(path, TFile::Mode::Read);
        if (m_open)
            m_buffer.resize(kReadBlock);
    } else {
        m_open = m_out.Begin(path);
    }
    return m_open;
}

void TTextFile::OpenText(std::string text)
{
    Close();
    m_failed = false;
    m_hasUnread = false;
    m_unread.clear();
    m_mode = Mode::Read;
    m_path.clear();
    m_buffer.assign(text.begin(), text.end());
    m_pos = 0;
    m_end = m_buffer.size();
    m_inMemory = true;
    m_open = true;
}

bool TTextFile::WriteString(const std::string& text)
{
    if (!m_open || m_mode != Mode::Write || m_failed) {
        m_failed = true;
        return false;
    }
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    if (!m_out.File().Write(out.data(), out.size()))
        m_failed = true;
    return !m_failed;
}

bool TTextFile::FillBuffer()
{
    if (m_inMemory)
        return false;
    m_pos = 0;
    m_end = m_in.Read(m_buffer.data(), m_buffer.size());
    // After a failed read the lines read are not the file's last ones.
    if (m_in.ReadFailed())
        m_failed = true;
    return m_end > 0;
}

bool TTextFile::ReadString(std::string& line)
{
    line.clear();
    if (!m_open || m_mode != Mode::Read)
        return false;
    if (m_hasUnread) {
        line.swap(m_unread);
        m_unread.clear();
        m_hasUnread = false;
        return true;
    }
    bool any = false;
    for (;;) {
        if (m_pos == m_end && !FillBuffer())
            break;
        any = true;
        const char* start = m_buffer.data() + m_pos;
        const void* nl = std::memchr(start, '\n', m_end - m_pos);
        if (nl) {
            const size_t n = static_cast<size_t>(static_cast<const char*>(nl) - start);
            line.append(start, n);
            m_pos += n + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        line.append(start, m_end - m_pos);
        m_pos = m_end;
    }
    // The last line may end without a line end.
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}

void TTextFile::UnreadString(std::string line)
{
    m_unread = std::move(line);
    m_hasUnread = true;
}

bool TTextFile::Close()
{
    if (!m_open)
        return false;
    m_open = false;
    if (m_mode == Mode::Read) {
        m_in.Close();
        m_buffer.clear();
        return true;
    }
    if (m_failed) {
        m_out.Abort();
        return false;
    }
    if (!m_out.Commit()) {
        m_failed = true;
        return false;
    }
    return true;
}

}  // namespace vx
