#include "readers/SiemensTestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "model/TCSISet.h"
#include "platform/Numbers.h"

namespace vx::test {

KeyLines RDALines(int points, const TRDAGrid& g)
{
    KeyLines lines = {{"PatientName", "Phantom"}, {"StudyDate", "20200102"}, {"PatientPosition", "HFS"},
                      {"TR", "1500.000000"},      {"TE", "30.000000"},       {"DwellTime", "500"},
                      {"MRFrequency", "123.2"},   {"Nucleus", "1H"},         {"VectorSize", std::to_string(points)},
                      {"SliceThickness", FormatDouble(g.thickness)}};
    const struct {
        const char* key;
        const double* values;
    } vectors[] = {{"PositionVector", g.position}, {"RowVector", g.row}, {"ColumnVector", g.column}};
    for (int i = 0; i < 3; ++i)
        lines.emplace_back("CSIMatrixSize[" + std::to_string(i) + "]", std::to_string(g.matrix[i]));
    for (const auto& v : vectors)
        for (int i = 0; i < 3; ++i)
            lines.emplace_back(std::string(v.key) + "[" + std::to_string(i) + "]", FormatDouble(v.values[i]));
    lines.emplace_back("PixelSpacingRow", FormatDouble(g.spacingRow));
    lines.emplace_back("PixelSpacingCol", FormatDouble(g.spacingColumn));
    lines.emplace_back("PixelSpacing3D", FormatDouble(g.spacing3D));
    return lines;
}

KeyLines WithKey(KeyLines lines, const std::string& key, const std::string& value)
{
    auto it = std::find_if(lines.begin(), lines.end(), [&](const auto& line) { return line.first == key; });
    if (it == lines.end())
        lines.emplace_back(key, value);
    else
        it->second = value;
    return lines;
}

std::string RDAHeader(const KeyLines& lines, bool endLine)
{
    std::string out = ">>> Begin of header <<<\r\n";
    for (const auto& [key, value] : lines)
        out += key + ": " + value + "\r\n";
    return endLine ? out + ">>> End of header <<<\r\n" : out;
}

std::string Float64Pairs(const std::vector<std::complex<double>>& samples)
{
    std::string out;
    for (const auto& s : samples)
        for (double value : {s.real(), s.imag()}) {
            uint64_t bits;
            std::memcpy(&bits, &value, 8);
            for (int i = 0; i < 8; ++i)
                out.push_back(static_cast<char>((bits >> (8 * i)) & 0xff));
        }
    return out;
}

std::vector<std::complex<double>> RDAFid(int points, double offsetHz, double amplitude)
{
    const double pi = std::acos(-1.0);
    std::vector<std::complex<double>> out;
    for (int k = 0; k < points; ++k)
        out.push_back(std::polar(amplitude, 2 * pi * offsetHz * k / 2000.0));
    return out;
}

int PeakPoint(const TSpectrum& s)
{
    int best = 0;
    for (int i = 1; i < s.SampleCount(); ++i)
        if (s.GetMagnitude(i) > s.GetMagnitude(best))
            best = i;
    return best;
}

float LargestMagnitudeOutside(const TCSISet& set, const TSpectrum* except)
{
    float largest = 0;
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        if (set.GetVoxel(v) != except)
            largest = std::max(largest, set.GetVoxel(v)->GetMaxMagnitude());
    return largest;
}

std::string MAGHeader(const TMAGFields& f)
{
    std::string header(8192, '\0');
    auto put = [&](size_t offset, const std::string& text, size_t width) {
        header.replace(offset, std::min(text.size(), width), text.substr(0, width));
    };
    put(128, f.signature, 64);
    put(468, f.examName, 64);
    put(7401, f.protocol, 11);
    for (size_t k = 0; k < 9; ++k)
        put(7412 + 11 * k, f.fields[k], 11);
    return header;
}

}  // namespace vx::test
