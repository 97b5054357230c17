#include "processing/MacroFile.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <sstream>

#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/TTextFile.h"
#include "processing/MacroStepTypes.h"
#include "processing/TProcessStep.h"

namespace {

constexpr int kMacroDecimals = 5;
constexpr const char* kBlockStart = "<action>";
constexpr const char* kBlockEnd = "</action>";

bool IsSkippedLine(const std::string& line)
{
    return line.empty() || line[0] == '#';
}

void ReportInvalidLine(const std::string& line)
{
    vx::Report(kInvalidMacroLine + line, vx::ReportIcon::Exclamation);
}

// Reads up to the type line of a block; false at the end of the file before it, and
// after the report for a line that is not three tokens.
bool ReadTypeLine(vx::TTextFile& file, int& type)
{
    std::string line;
    while (file.ReadString(line)) {
        if (IsSkippedLine(line))
            continue;
        const std::vector<std::string> tokens = TokenizeString(line);
        if (tokens.size() != 3) {
            ReportInvalidLine(line);
            return false;
        }
        if (tokens[0] == "type") {
            type = ParseMacroInt(tokens[2]);
            return true;
        }
    }
    return false;
}

// Whether the leading number of a value lies beyond a double's range at the large end,
// which LeadingDouble reads as 0, as it does one too small to hold: a significant digit
// that its exponent puts before the point.
bool IsBeyondDoubleRange(const std::string& text)
{
    size_t at = text.find_first_not_of(" \t\r\n\f\v");
    if (at == std::string::npos)
        return false;
    if (text[at] == '+' || text[at] == '-')
        ++at;
    // The power of ten of the first significant digit, from the digits and the point.
    int64_t power = 0;
    bool significant = false, point = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (!significant && c != '0') {
                significant = true;
                if (point)
                    --power;
            } else if (significant ? !point : point) {
                power += significant ? 1 : -1;
            }
        } else {
            break;
        }
    }
    int64_t exponent = 0;
    if (significant && at + 1 < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        size_t e = at + 1;
        const bool negative = text[e] == '-';
        if (text[e] == '+' || text[e] == '-')
            ++e;
        for (; e < text.size() && text[e] >= '0' && text[e] <= '9'; ++e)
            exponent = std::min<int64_t>(exponent * 10 + (text[e] - '0'), int64_t{1} << 40);
        if (negative)
            exponent = -exponent;
    }
    return significant && power + exponent > 0;
}

}  // namespace

void WriteMacroBlock(vx::TTextFile& file, int type, const char* title, const std::vector<TMacroField>& fields)
{
    std::string text = std::string(kBlockStart) + "\n" + title + "\ntype = " +
                       FloatToString(static_cast<float>(type), kMacroDecimals) + "\n";
    for (const TMacroField& f : fields) {
        float value = 0.0f;
        if (f.pInt)
            value = static_cast<float>(*f.pInt);
        else if (f.degrees)
            value = static_cast<float>(static_cast<double>(*f.pFloat) * 180.0 / std::numbers::pi);
        else
            value = *f.pFloat;
        text += std::string(f.key) + " = " + FloatToString(value, kMacroDecimals) + "\n";
    }
    text += std::string(kBlockEnd) + "\n\n";
    file.WriteString(text);
}

bool ReadMacroKeyLines(vx::TTextFile& file, const TMacroKeyFn& onKey)
{
    std::string line;
    while (file.ReadString(line)) {
        if (IsSkippedLine(line))
            continue;
        if (line == kBlockEnd) {
            // The writer puts an empty line after every block. Only that line is taken:
            // a hand-made file may start the next block at once.
            std::string next;
            if (file.ReadString(next) && !next.empty())
                file.UnreadString(std::move(next));
            return true;
        }
        if (!onKey)
            continue;
        const std::vector<std::string> tokens = TokenizeString(line);
        if (tokens.size() != 3 || !onKey(tokens[0], tokens[2])) {
            ReportInvalidLine(line);
            return false;
        }
    }
    return false;
}

bool ReadMacroBlock(vx::TTextFile& file, const std::vector<TMacroField>& fields)
{
    return ReadMacroKeyLines(file, [&fields](const std::string& key, const std::string& value) {
        for (const TMacroField& f : fields) {
            if (key != f.key)
                continue;
            if (f.pInt) {
                *f.pInt = ParseMacroInt(value);
                continue;
            }
            float v = 0.0f;
            if (!ParseMacroFloat(value, v))
                return false;
            *f.pFloat = f.degrees ? static_cast<float>(static_cast<double>(v) * std::numbers::pi / 180.0) : v;
        }
        return true;
    });
}

bool ParseMacroFloat(const std::string& text, float& value)
{
    const float v = static_cast<float>(vx::LeadingDouble(text));
    if (!std::isfinite(v) || (v == 0.0f && IsBeyondDoubleRange(text)))
        return false;
    value = v;
    return true;
}

int32_t ParseMacroInt(const std::string& text)
{
    return vx::LeadingInt(text);
}

bool ReadMacroSteps(vx::TTextFile& file, std::list<TProcessStep*>& steps)
{
    std::string line;
    while (file.ReadString(line)) {
        if (line != kBlockStart)
            continue;
        int type = 0;
        if (!ReadTypeLine(file, type))
            return false;
        std::unique_ptr<TProcessStep> pStep(CreateMacroStep(type));
        if (!pStep || !pStep->ReadMacro(file))
            return false;
        steps.push_back(pStep.release());
    }
    return true;
}

TMacroFileKind MacroFileKind(const std::string& path)
{
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read))
        return TMacroFileKind::Unreadable;
    std::string head(64 * 1024, '\0');
    head.resize(file.Read(head.data(), head.size()));
    if (file.ReadFailed())
        return TMacroFileKind::Unreadable;
    // An empty file, like one of the header alone, is a macro of no steps.
    const bool blank = std::all_of(head.begin(), head.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    if (blank && file.Size() == static_cast<int64_t>(head.size()))
        return TMacroFileKind::Macro;
    std::istringstream lines(head);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == kMacroFileHeader || line == kBlockStart)
            return TMacroFileKind::Macro;
    }
    return TMacroFileKind::Other;
}

std::string NotAMacroFileText(const std::string& path)
{
    return "Can not run macro file " + path + " because it is not a macro file.";
}
