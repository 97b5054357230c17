#include "readers/PhilipsCSITestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace vx::test {

std::vector<std::complex<float>> ScanSpectrum(const TCSIScan& scan, const int p[3])
{
    const double pi = std::acos(-1.0);
    // Along a k-space axis of size n, file position p holds k = p - n/2; the transform
    // puts exp(2 pi i k m / n) at m = line - n/2, and half a voxel more where the reader
    // takes half a voxel back. Along an image axis only the line's own position holds it.
    double phase = 0.0;
    for (int d = 0; d < 3; ++d) {
        const int n = scan.n[d];
        if (scan.kSpace[d]) {
            const double m = scan.line[d] - n / 2 + (scan.halfVoxel[d] && n % 2 == 0 ? 0.5 : 0.0);
            phase += 2 * pi * double(p[d] - n / 2) * m / n;
        } else if (p[d] != scan.line[d]) {
            return std::vector<std::complex<float>>(size_t(scan.points));
        }
    }
    std::vector<std::complex<float>> out;
    for (int k = 0; k < scan.points; ++k) {
        const double t = k / scan.bandwidth;
        const double w = 2 * pi * scan.offsetHz * t + phase;
        out.emplace_back(float(100 * std::cos(w)), float(100 * std::sin(w)));
    }
    return out;
}

std::vector<std::complex<float>> ScanSlices(const TCSIScan& scan, int first, int last)
{
    std::vector<std::complex<float>> out;
    for (int s = first; s < last; ++s)
        for (int b = 0; b < scan.n[1]; ++b)
            for (int a = 0; a < scan.n[0]; ++a) {
                const int p[3] = {a, b, s};
                const auto spectrum = ScanSpectrum(scan, p);
                out.insert(out.end(), spectrum.begin(), spectrum.end());
            }
    return out;
}

TLines CSISparLines(const TCSIScan& scan)
{
    static const char* kDirection[3] = {"sag", "cor", "trans"};
    return {
        {"examination_name", "csi test"},
        {"samples", std::to_string(scan.points)},
        {"synthesizer_frequency", "127700000"},
        {"sample_frequency", std::to_string(int(scan.bandwidth))},
        {"echo_time", "144"},
        {"phase_encoding_direction", kDirection[scan.sliceAxis]},
        {"phase_encoding_fov", "200"},
        {"slice_thickness", "30"},
        {"slice_distance", "10"},
        {"spec_num_dimensions", std::to_string(scan.dims + 1)},
        {"dim2_pnts", std::to_string(scan.n[0])},
        {"dim3_pnts", std::to_string(scan.n[1])},
        {"dim4_pnts", std::to_string(scan.n[2])},
        {"nr_of_slices_for_multislice", std::to_string(scan.n[2])},
        {"si_lr_off_center", "5"},
        {"si_cc_off_center", "7"},
    };
}

std::string DataBytes(const std::vector<std::complex<float>>& samples)
{
    std::string out(samples.size() * 8, '\0');
    std::memcpy(out.data(), samples.data(), out.size());  // the test hosts are little-endian
    return out;
}

std::string ListText(const TCSIScan& scan, const std::vector<std::vector<int>>& positions, int dataOffset,
                     int release)
{
    std::string out = "# === DATA DESCRIPTION FILE ===\n#\n# Gyroscan SW release            : " +
                      std::to_string(release) + ".1.2\n#\n";
    const std::pair<const char*, int> header[] = {{"number_of_encoding_dimensions", scan.dims},
                                                  {"number_of_locations", scan.n[2]},
                                                  {"F-resolution", scan.points},
                                                  {"X-resolution", scan.n[0]},
                                                  {"Y-resolution", scan.n[1]}};
    for (const auto& [key, value] : header)
        out += ".    0    0    0  " + std::string(key) + "  :  " + std::to_string(value) + "\n";
    out += "#\n# typ mix dyn card echo loca chan extr1 extr2 kx ky kz aver sign rf grad enc rtop rr size offset\n";
    const int bytes = scan.points * 8;
    int offset = dataOffset;
    for (const auto& p : positions) {
        // The location is the slice (stacks) or the partition position (volumes); the
        // in-plane k indices run from minus half the size.
        out += "  STD  0  0  0  0  " + std::to_string(p[2]) + "  0  0  0  " + std::to_string(p[0] - scan.n[0] / 2) +
               "  " + std::to_string(p[1] - scan.n[1] / 2) + "  0  0  1  0  0  0  0  0  " + std::to_string(bytes) +
               "  " + std::to_string(offset) + "\n";
        offset += bytes;
    }
    return out;
}

std::vector<std::string> ListWords(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

TCSIScan ScanFor(int format, int sliceAxis)
{
    // Family 0 slice, 1 stack, 2 volume; release 0 pre-R11, 1 R11, 2 R2.
    const int family = (format - 2) / 3, release = (format - 2) % 3;
    TCSIScan scan;
    scan.sliceAxis = sliceAxis;
    scan.n[2] = family == 0 ? 1 : (format == 8 ? 4 : 3);
    scan.dims = family == 2 ? 3 : 2;
    for (int d = 0; d < 3; ++d) {
        scan.kSpace[d] = release != 2 && (d < 2 || family == 2);
        scan.halfVoxel[d] = scan.kSpace[d] && (release == 0 || family == 2);
    }
    return scan;
}

TLines ParLines(int slices)
{
    return {{"Max. number of slices/locations", std::to_string(slices)},
            {"FOV (ap,fh,rl) [mm]", "220.000  100.000  210.000"},
            {"Angulation midslice(ap,fh,rl)[degr]", "0.000  0.000  0.000"}};
}

std::vector<std::vector<int>> ShuffledPositions(const TCSIScan& scan)
{
    std::vector<std::vector<int>> out;
    for (int s = 0; s < scan.n[2]; ++s)
        for (int b = 0; b < scan.n[1]; ++b)
            for (int a = 0; a < scan.n[0]; ++a)
                out.push_back({a, b, s});
    std::reverse(out.begin(), out.end());
    std::rotate(out.begin(), out.begin() + long(out.size() / 3), out.end());
    return out;
}

std::string ParText(const TLines& general, const std::vector<std::string>& imageLines, const std::string& version)
{
    std::string out = "# === DATA DESCRIPTION FILE ===\n#\n# CLINICAL TRYOUT             Research image export tool     " +
                      version + "\n#\n";
    for (const auto& [label, values] : general)
        out += ".    " + label + "   :   " + values + "\n";
    out += "#\n";
    for (const std::string& line : imageLines)
        out += line + "\n";
    return out;
}

}  // namespace vx::test
