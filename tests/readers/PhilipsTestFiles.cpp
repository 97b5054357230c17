#include "readers/PhilipsTestFiles.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace vx::test {

std::string VaxBytes(float value)
{
    if (value == 0.0f)
        return std::string(4, '\0');
    unsigned char c[4];
    std::memcpy(c, &value, 4);  // the test hosts are little-endian
    const unsigned char v[4] = {c[2], static_cast<unsigned char>(c[3] + 1), c[0], c[1]};
    return std::string(reinterpret_cast<const char*>(v), 4);
}

std::string SdatBytes(const std::vector<std::complex<float>>& samples)
{
    std::string out;
    for (const auto& s : samples)
        out += VaxBytes(s.real()) + VaxBytes(s.imag());
    return out;
}

std::string SparText(const std::vector<std::pair<std::string, std::string>>& lines)
{
    std::string out = "!-- generated for a test\r\n\r\n";
    for (const auto& [key, value] : lines)
        out += key + " : " + value + "\r\n";
    return out;
}

std::vector<std::pair<std::string, std::string>> SingleVoxelLines(int points)
{
    return {
        {"examination_name", "test exam"},
        {"scan_date", "2020.01.02 10:11:12"},
        {"patient_name", "Phantom"},
        {"samples", std::to_string(points)},
        {"rows", "1"},
        {"synthesizer_frequency", "127700000"},
        {"sample_frequency", "2000"},
        {"nucleus", "1H"},
        {"echo_time", "30.0"},
        {"repetition_time", "2000"},
        {"averages", "8"},
        {"volumes", "1"},
        {"ap_size", "15"},
        {"lr_size", "20"},
        {"cc_size", "10"},
        {"ap_off_center", "2.5"},
        {"lr_off_center", "-4"},
        {"cc_off_center", "7"},
        {"ap_angulation", "1"},
        {"lr_angulation", "2"},
        {"cc_angulation", "3"},
    };
}

std::vector<std::complex<float>> Fid(int points, double offsetHz, double bandwidth)
{
    std::vector<std::complex<float>> out;
    const double pi = std::acos(-1.0);
    for (int k = 0; k < points; ++k) {
        const double t = k / bandwidth;
        const double decay = std::exp(-t * 20.0);
        out.emplace_back(static_cast<float>(decay * std::cos(2 * pi * offsetHz * t)),
                         static_cast<float>(decay * std::sin(2 * pi * offsetHz * t)));
    }
    return out;
}

}  // namespace vx::test
