#include "platform/Numbers.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>

namespace vx {
namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// from_chars refuses a leading "+", which text files often hold.
std::string_view SkipPlus(std::string_view s)
{
    if (s.size() > 1 && s.front() == '+' && s[1] != '-' && s[1] != '+')
        s.remove_prefix(1);
    return s;
}

template <typename T>
bool ParseWhole(std::string_view text, T& value)
{
    std::string_view s = SkipPlus(Trim(text));
    if (s.empty())
        return false;
    T v{};
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size())
        return false;
    value = v;
    return true;
}
}  // namespace

bool ParseDouble(std::string_view text, double& value) { return ParseWhole(text, value); }
bool ParseInt(std::string_view text, int& value) { return ParseWhole(text, value); }
bool ParseInt64(std::string_view text, int64_t& value) { return ParseWhole(text, value); }

bool ParseFloat(std::string_view text, float& value)
{
    // Read wider than a double, so that a number far below a float's range still reads
    // (as 0) and one above it is known to be too large.
    long double v = 0.0L;
    if (!ParseWhole(text, v) || !std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max())
        return false;
    value = static_cast<float>(v);
    return true;
}

double LeadingDouble(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    text = SkipPlus(text);
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc::result_out_of_range)
        return 0.0;
    return ec == std::errc() ? v : 0.0;
}

int LeadingInt(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    text = SkipPlus(text);
    long long v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc())
        return 0;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

std::string FormatDouble(double value)
{
    char buf[64];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return ec == std::errc() ? std::string(buf, ptr) : std::string("0");
}

std::string FormatGeneral(double value)
{
    char buf[64];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
    return ec == std::errc() ? std::string(buf, ptr) : std::string("0");
}

std::string FormatFixed(double value, int decimals)
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > 30)
        decimals = 30;
    char buf[512];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf, ptr) : std::string("0");
}

std::string FormatSignedInt(long long value)
{
    std::string text = std::to_string(value);
    if (value >= 0)
        text.insert(text.begin(), '+');
    return text;
}

std::string FormatSignedFloat(double value)
{
    constexpr int kDigits = 6;
    char buf[64];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, kDigits);
    std::string text = ec == std::errc() ? std::string(buf, ptr) : std::string("0");
    if (!std::signbit(value))
        text.insert(text.begin(), '+');
    if (!std::isfinite(value))
        return text;
    // The general form drops trailing zeros and a bare point; the stream keeps both.
    const size_t exponentAt = text.find('e');
    std::string mantissa = text.substr(0, exponentAt);
    const std::string exponent = exponentAt == std::string::npos ? std::string() : text.substr(exponentAt);
    if (mantissa.find('.') == std::string::npos)
        mantissa += '.';
    int significant = 0;
    for (char c : mantissa)
        if (c >= '0' && c <= '9' && (significant > 0 || c != '0'))
            ++significant;
    // Zero counts its one digit before the point ("0.00000").
    significant = std::max(significant, 1);
    mantissa.append(static_cast<size_t>(std::max(0, kDigits - significant)), '0');
    return mantissa + exponent;
}

int TruncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace vx
