#include "model/math/TextHelpers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {
// A float has at most 149 fractional decimal digits, so this many give its exact value.
constexpr int kExactDecimals = 160;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Adds one unit in the last place of a string of decimal digits; true on a carry out.
bool IncrementDigits(std::string& digits)
{
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    return true;
}
}  // namespace

std::string FloatToString(float value, int decimals)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    decimals = std::clamp(decimals, 0, kExactDecimals - 1);

    // The exact decimal expansion of the value, rounded by hand so that halves go away
    // from zero (2.5 -> 3, 0.125 -> .13), as the number is meant to be read.
    char buf[64 + kExactDecimals];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(static_cast<double>(value)),
                                   std::chars_format::fixed, kExactDecimals);
    if (res.ec != std::errc())
        return "0";
    const std::string exact(buf, res.ptr);
    const size_t point = exact.find('.');
    std::string intPart = exact.substr(0, point);
    const std::string fraction = exact.substr(point + 1);

    std::string digits = intPart + fraction.substr(0, static_cast<size_t>(decimals));
    size_t intLength = intPart.size();
    if (fraction[static_cast<size_t>(decimals)] >= '5' && IncrementDigits(digits)) {
        digits.insert(digits.begin(), '1');
        ++intLength;
    }
    // Digits before the point lose their leading zeros: 0.25 reads ".25".
    size_t lead = 0;
    while (lead < intLength && digits[lead] == '0')
        ++lead;
    std::string text = digits.substr(lead, intLength - lead) + "." + digits.substr(intLength);
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    // A value that rounds to zero is "0" whatever its sign (never "-").
    if (text.empty())
        return "0";
    return value < 0 ? "-" + text : text;
}

std::string FloatToStringG(float value, int digits)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    digits = std::clamp(digits, 1, 40);
    char buf[128];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                   std::chars_format::general, digits);
    if (res.ec != std::errc())
        return "0";
    return std::string(buf, res.ptr);
}

std::string OrientationName(int orientation)
{
    switch (orientation) {
    case 0: return "Sagittal";
    case 1: return "Coronal";
    case 2: return "Axial";
    default: return "Unknown";
    }
}

bool IsNumber(const std::string& text)
{
    if (text.empty())
        return false;
    bool seenPoint = false;
    const char first = text[0];
    if (first == '.')
        seenPoint = true;
    else if (first != '-' && !IsDigit(first))
        return false;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !seenPoint)
            seenPoint = true;
        else if (!IsDigit(c))
            return false;
    }
    return true;
}

double IndexToHz(float i, float bandwidth, int N)
{
    const int h = N / 2;
    return -((static_cast<double>(i) - h) * bandwidth / N);
}

double HzToIndex(float hz, float bandwidth, int N)
{
    const int h = N / 2;
    return h - static_cast<double>(N) * hz / bandwidth;
}

double IndexToPPM(float i, float bandwidth, float frequency, float ref, int N)
{
    return -((static_cast<double>(i) - ref) * bandwidth / (static_cast<double>(N) * frequency));
}

double PPMToIndex(float ppm, float bandwidth, float frequency, float ref, int N)
{
    return ref - static_cast<double>(N) * ppm * frequency / bandwidth;
}

double IndexToMs(float i, float bandwidth) { return static_cast<double>(i) / bandwidth * 1000.0; }

double MsToIndex(float ms, float bandwidth) { return static_cast<double>(ms) * bandwidth * 0.001; }

bool ReadExact(vx::TFile& file, void* buffer, size_t n)
{
    if (n == 0)
        return true;
    // A read the file cannot satisfy is refused before anything is copied, so the
    // caller's buffer stays as it was.
    const int64_t left = file.BytesLeft();  // -1: the size is not known (SizeFailed)
    if (left < 0 || static_cast<uint64_t>(left) < n)
        return false;
    return file.Read(buffer, n) == n;
}

bool WriteCString(vx::TFile& file, const std::string& text)
{
    std::string bytes;
    bytes.reserve(text.size() + 1);
    for (char c : text)
        if (c != '\0')
            bytes.push_back(c);
    bytes.push_back('\0');
    return file.Write(bytes.data(), bytes.size());
}

std::string ReadCString(vx::TFile& file)
{
    std::string text;
    ReadCString(file, text);
    return text;
}

bool ReadCString(vx::TFile& file, std::string& text)
{
    text.clear();
    char c = 0;
    while (text.size() < kMaxCStringLength) {
        if (file.Read(&c, 1) != 1)
            return false;
        if (c == '\0')
            return true;
        text.push_back(c);
    }
    return false;
}

std::vector<std::string> TokenizeString(const std::string& text)
{
    std::vector<std::string> tokens;
    SplitString(text, tokens, " \t");
    return tokens;
}

void SplitString(const std::string& text, std::vector<std::string>& tokens, const std::string& delimiters)
{
    tokens.clear();
    size_t pos = 0;
    while ((pos = text.find_first_not_of(delimiters, pos)) != std::string::npos) {
        const size_t end = text.find_first_of(delimiters, pos);
        if (end == std::string::npos) {
            tokens.push_back(text.substr(pos));
            break;
        }
        tokens.push_back(text.substr(pos, end - pos));
        pos = end;
    }
}

std::string GetFolderPart(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos)
        return path.substr(0, slash);
    const size_t colon = path.rfind(':');
    if (colon != std::string::npos)
        return path.substr(0, colon);
    return path;
}

int VaxToIEEEFloats(void* buffer, int byteCount)
{
    if (!buffer || byteCount < 4)
        return 0;
    const int words = byteCount / 4;
    auto* b = static_cast<unsigned char*>(buffer);
    for (int w = 0; w < words; ++w, b += 4) {
        if (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0)
            continue;
        const unsigned char b0 = b[0], b1 = b[1];
        const int exponent = ((b1 & 0x7F) << 1) | (b0 >> 7);
        if (exponent < 2) {
            // Exponent 0 is zero (or a reserved operand); exponent 1 lies below the
            // normal IEEE range. Moving bytes would turn both into NaNs.
            float v = 0.0f;
            if (exponent == 1) {
                const uint32_t mantissa = 0x800000u | (uint32_t(b0 & 0x7F) << 16) | (uint32_t(b[3]) << 8) | b[2];
                v = std::ldexp(static_cast<float>(mantissa), 1 - 128 - 24);
                if (b1 & 0x80)
                    v = -v;
            }
            std::memcpy(b, &v, 4);
            continue;
        }
        // A VAX F word keeps its 16-bit halves swapped against IEEE and has an exponent
        // bias two higher, which is one less in the top byte. The IEEE bits are put
        // together as a number, so that the float is right in the host's byte order.
        const uint32_t bits = uint32_t(b[2]) | (uint32_t(b[3]) << 8) | (uint32_t(b0) << 16) |
                              (uint32_t(static_cast<unsigned char>(b1 - 1)) << 24);
        std::memcpy(b, &bits, 4);
    }
    return words * 4;
}
