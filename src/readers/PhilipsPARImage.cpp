#include "readers/PhilipsPARImage.h"

#include <cmath>

#include "model/TMRImage.h"
#include "model/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"

namespace {

struct TKeyText {
    TPARKey key;
    const char* text;
};

// Searched in this order; the first key whose text a line contains wins.
constexpr TKeyText kVersion4Keys[] = {
    {TPARKey::PatientName, "Patient name"},
    {TPARKey::ExamName, "Examination name"},
    {TPARKey::ProtocolName, "Protocol name"},
    {TPARKey::ExamDate, "Examination date/time"},
    {TPARKey::Slices, "Max. number of slices/locations"},
    {TPARKey::RepetitionTime, "Repetition time"},
    {TPARKey::FOV, "FOV"},
    {TPARKey::Angulation, "Angulation midslice"},
    {TPARKey::OffCentre, "Off Centre midslice"},
};

constexpr TKeyText kVersion3Keys[] = {
    {TPARKey::PatientName, "Patient name"},
    {TPARKey::ExamName, "Examination name"},
    {TPARKey::ProtocolName, "Protocol name"},
    {TPARKey::ExamDate, "Examination date/time"},
    {TPARKey::Slices, "number of slices/locations"},
    {TPARKey::PixelSize, "Image pixel size"},
    {TPARKey::ReconResolution, "Recon resolution"},
    {TPARKey::RepetitionTime, "Repetition time"},
    {TPARKey::FOV, "FOV"},
    {TPARKey::SliceThickness, "Slice thickness"},
    {TPARKey::SliceGap, "Slice gap"},
    {TPARKey::Angulation, "Angulation midslice"},
    {TPARKey::OffCentre, "Off Centre midslice"},
};

// A number of the file as a float; anything that is not a finite float becomes 0.
float ToFloat(const std::string& text)
{
    const double value = vx::LeadingDouble(text);
    if (!std::isfinite(value) || std::fabs(value) > 3.0e38)
        return 0.0f;
    return static_cast<float>(value);
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The text after the first ":" of the line; empty when there is none.
std::string ValueAfterColon(const std::string& line)
{
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(colon + 1);
}

// The last n words of the line as floats, in line order; false with fewer words.
bool LastFloats(const std::vector<std::string>& words, size_t n, float* out)
{
    if (words.size() < n)
        return false;
    for (size_t k = 0; k < n; ++k)
        out[k] = ToFloat(words[words.size() - n + k]);
    return true;
}

}  // namespace

std::vector<std::string> SplitPARLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    return lines;
}

int DetectPARVersion(const std::string& text)
{
    for (const std::string& line : SplitPARLines(text)) {
        if (line.empty() || line[0] != '#')
            continue;
        const std::vector<std::string> words = TokenizeString(line);
        if (words.size() != 8)
            continue;
        const std::string eighth = vx::ToLowerAscii(words[7]);
        if (eighth.find("v3") != std::string::npos)
            return 3;
        if (eighth.find("v4") != std::string::npos)
            return 4;
    }
    return 0;
}

TPARLineKind ClassifyPARLine(const std::string& line)
{
    if (line.empty() || line[0] == '#')
        return TPARLineKind::Comment;
    if (line[0] == '.')
        return TPARLineKind::General;
    return TPARLineKind::Image;
}

TPARKey MatchPARKey(const std::string& line, int version)
{
    if (version == 3) {
        for (const TKeyText& key : kVersion3Keys)
            if (line.find(key.text) != std::string::npos)
                return key.key;
    } else {
        for (const TKeyText& key : kVersion4Keys)
            if (line.find(key.text) != std::string::npos)
                return key.key;
    }
    return TPARKey::None;
}

void ApplyPARGeneralLine(const std::string& line, TPARKey key, TPARGeneralInfo& info)
{
    const std::vector<std::string> words = TokenizeString(line);
    switch (key) {
    case TPARKey::PatientName:
        info.patientName = Trimmed(ValueAfterColon(line));
        break;
    case TPARKey::ExamName:
        info.examName = Trimmed(ValueAfterColon(line));
        break;
    case TPARKey::ProtocolName:
        info.protocolName = ValueAfterColon(line);
        break;
    case TPARKey::ExamDate: {
        std::vector<std::string> pieces;
        SplitString(ValueAfterColon(line), pieces, " \t\r\n");
        info.examDate = pieces.empty() ? std::string("n/a") : pieces[0];
        break;
    }
    case TPARKey::PixelSize:
        if (!words.empty())
            info.bits = vx::LeadingInt(words.back());
        break;
    case TPARKey::ReconResolution:
        if (words.size() >= 2) {
            info.width = vx::LeadingInt(words[words.size() - 2]);
            info.height = vx::LeadingInt(words.back());
        }
        break;
    case TPARKey::RepetitionTime:
        LastFloats(words, 1, &info.tr);
        break;
    case TPARKey::FOV:
        if (LastFloats(words, 3, info.fov))
            info.hasFOV = true;
        break;
    case TPARKey::SliceThickness:
        LastFloats(words, 1, &info.thickness);
        break;
    case TPARKey::Angulation:
        LastFloats(words, 3, info.angulation);
        break;
    case TPARKey::OffCentre:
        LastFloats(words, 3, info.offCentre);
        break;
    case TPARKey::None:
    case TPARKey::Slices:
    case TPARKey::SliceGap:
        break;
    }
}

bool ParsePARImageLine(const std::vector<std::string>& columns, int version,
                       const TPARGeneralInfo& info, TPARImageLine& line)
{
    TPARImageLine parsed;
    if (version == 3) {
        if (columns.size() != 29 && columns.size() != 31)
            return false;
        parsed.recIndex = columns[6];
        parsed.bits = info.bits;
        parsed.width = info.width;
        parsed.height = info.height;
        for (int k = 0; k < 3; ++k)
            parsed.offCentre[k] = ToFloat(columns[15 + k]);
        parsed.thickness = info.thickness;
        parsed.sliceOrientation = vx::LeadingInt(columns[19]);
        parsed.spacing[0] = ToFloat(columns[22]);
        parsed.spacing[1] = ToFloat(columns[23]);
        parsed.te = ToFloat(columns[24]);
    } else {
        if (columns.size() < 41)
            return false;
        parsed.recIndex = columns[6];
        parsed.bits = vx::LeadingInt(columns[7]);
        parsed.width = vx::LeadingInt(columns[9]);
        parsed.height = vx::LeadingInt(columns[10]);
        for (int k = 0; k < 3; ++k)
            parsed.offCentre[k] = ToFloat(columns[19 + k]);
        parsed.thickness = ToFloat(columns[22]);
        parsed.sliceOrientation = vx::LeadingInt(columns[25]);
        parsed.spacing[0] = ToFloat(columns[28]);
        parsed.spacing[1] = ToFloat(columns[29]);
        parsed.te = ToFloat(columns[30]);
    }
    if (parsed.bits != 8 && parsed.bits != 16)
        return false;
    if (parsed.width < 1 || parsed.width > TMRImage::kMaxSide || parsed.height < 1 ||
        parsed.height > TMRImage::kMaxSide)
        return false;
    if (parsed.sliceOrientation < 1 || parsed.sliceOrientation > 3)
        return false;
    line = std::move(parsed);
    return true;
}

int64_t RECBlockBytes(int width, int height, int bits)
{
    if (width < 0 || height < 0 || bits < 0)
        return 0;
    return int64_t{width} * int64_t{height} * int64_t{bits} / 8;
}

bool DecodeRECBlock(const unsigned char* data, size_t bytes, int bits, int width, int height,
                    std::vector<int16_t>& pixels)
{
    if ((bits != 8 && bits != 16) || width < 1 || height < 1)
        return false;
    if (static_cast<int64_t>(bytes) != RECBlockBytes(width, height, bits))
        return false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<int16_t> out(count);
    if (bits == 8) {
        for (size_t k = 0; k < count; ++k)
            out[k] = static_cast<int16_t>(data[k]);
    } else {
        for (size_t k = 0; k < count; ++k)
            out[k] = static_cast<int16_t>(static_cast<uint16_t>(data[2 * k] | (data[2 * k + 1] << 8)));
    }
    pixels = std::move(out);
    return true;
}

int OrientationOfPARSlice(int sliceOrientation)
{
    return (sliceOrientation + 1) % 3;
}

std::string DirectionCodeOf(int orientation)
{
    switch (orientation) {
    case 0: return "AH";
    case 1: return "RH";
    case 2: return "RA";
    default: return "n/a";
    }
}
