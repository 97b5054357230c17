#include "readers/TBrukerParameterFile.h"

#include <charconv>
#include <cstdint>

#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"

namespace {

// Parameter files are tens of kilobytes; anything beyond this is not one.
constexpr int64_t kMaxParameterFileBytes = int64_t(16) << 20;

bool IsStreamBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

void ReportBrukerMessage(const std::string& text)
{
    vx::Report(text, vx::ReportIcon::None, vx::BatchPolicy::AlwaysBox);
}

void ReportShortDataFile(const std::string& path, int64_t size, int sizeError, uint64_t needed, const std::string& what)
{
    if (size < 0) {
        ReportBrukerMessage(vx::SizeNotReadText("Data file", path, sizeError));
        return;
    }
    ReportBrukerMessage("Data file " + path + " is shorter than its parameter files describe (" +
                        std::to_string(size) + " of " + std::to_string(needed) + " bytes)" +
                        (what.empty() ? "" : ": " + what) + ".");
}

std::optional<std::string> FindParameterFile(const std::string& folder, const std::string& name,
                                             const std::string& textName)
{
    const vx::TFoundFile found = vx::FindCompanionFile(folder, {name, textName});
    if (!found.path) {
        const std::string files = "parameter file " + name + " or " + textName;
        ReportBrukerMessage(found.error == 0 ? "Could not find " + files + "."
                                             : vx::NotListedText(files, folder, found.error));
    }
    return found.path;
}

bool TBrukerParameterFile::Open(const std::string& path)
{
    m_path = path;
    m_text.clear();
    m_pos = 0;
    vx::TWholeFileFailure failure;
    if (!vx::ReadWholeFile(path, m_text, kMaxParameterFileBytes, &failure)) {
        ReportBrukerMessage(failure.kind == vx::TWholeFileFailure::TKind::NotOpened
                                ? "Can't read parameter file " + path + vx::NotAFileNote(failure.notAFile) + "."
                                : vx::WholeFileNotReadText("Parameter file", path, failure));
        return false;
    }
    std::string first;
    if (!ReadLine(first) || first.find("##TITLE") == std::string::npos) {
        ReportBrukerMessage("Parameter file " + path + " has no ##TITLE in its first line.");
        return false;
    }
    return true;
}

void TBrukerParameterFile::ReportMissingValues(const std::string& key) const
{
    ReportBrukerMessage("Parameter file " + m_path + " ends before the values of " + key + ".");
}

bool TBrukerParameterFile::ReadLine(std::string& line)
{
    if (m_pos >= m_text.size())
        return false;
    size_t end = m_text.find('\n', m_pos);
    if (end == std::string::npos)
        end = m_text.size();
    line.assign(m_text, m_pos, end - m_pos);
    m_pos = end + 1;
    return true;
}

bool TBrukerParameterFile::ReadValues(std::string& line, std::vector<std::string>& values)
{
    if (!ReadLine(line))
        return false;
    SplitString(line, values, " =\t\r\n");
    return true;
}

bool TBrukerParameterFile::ReadNumbers(float* values, int count)
{
    for (int k = 0; k < count; ++k) {
        while (m_pos < m_text.size() && IsStreamBlank(m_text[m_pos]))
            ++m_pos;
        const char* begin = m_text.data() + m_pos;
        const char* end = m_text.data() + m_text.size();
        if (begin < end && *begin == '+')
            ++begin;
        float v = 0.0f;
        const auto [ptr, ec] = std::from_chars(begin, end, v);
        if (ec != std::errc())
            return false;
        values[k] = v;
        m_pos = static_cast<size_t>(ptr - m_text.data());
    }
    return true;
}

const std::string& BrukerEntry(const std::vector<std::string>& tokens, size_t k)
{
    static const std::string kMissing;
    return k < tokens.size() ? tokens[k] : kMissing;
}

double BrukerEntryDouble(const std::vector<std::string>& tokens, size_t k)
{
    return vx::LeadingDouble(BrukerEntry(tokens, k));
}

int BrukerEntryInt(const std::vector<std::string>& tokens, size_t k)
{
    return vx::LeadingInt(BrukerEntry(tokens, k));
}
