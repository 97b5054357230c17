#include "readers/PhilipsEPCSITestFiles.h"

#include <cmath>
#include <algorithm>
#include <complex>
#include <vector>

#include "platform/Numbers.h"
#include "readers/PARTestFiles.h"
#include "readers/PhilipsCSITestFiles.h"
#include "support/TestFiles.h"

namespace vx::test {

namespace {

std::string Num(double v)
{
    return vx::FormatDouble(v);
}

// "ap fh rl" of a triple in LR, AP, FH order.
std::string ApFhRl(const float v[3])
{
    return Num(v[1]) + "  " + Num(v[2]) + "  " + Num(v[0]);
}

std::string HeaderLine(int mix, const std::string& key, const std::string& values)
{
    return ".    " + std::to_string(mix) + "    0    0  " + key + "  :  " + values + "\n";
}

std::string VectorLine(const char* kind, int mix, int card, int echo, int ky, int kz, int average, int bytes,
                       long offset)
{
    std::string line = "  " + std::string(kind) + "  " + std::to_string(mix) + "  0  " + std::to_string(card) + "  " +
                       std::to_string(echo) + "  0  0  0  0  " + std::to_string(ky) + "  " + std::to_string(kz) +
                       "  0  " + std::to_string(average) + "  1  0  0  0  0  0  " + std::to_string(bytes) + "  " +
                       std::to_string(offset) + "\n";
    return line;
}

// Calls f(repeat, kz, t, ky) for every standard vector, in file order.
template <class F>
void ForEachVector(const TEPCSIScan& scan, F f)
{
    const int times = scan.echoes * scan.cardiacPhases;
    for (int r = 0; r < scan.averages; ++r)
        for (int kz = 0; kz < scan.n[2]; ++kz)
            for (int t = 0; t < times; ++t)
                for (int ky = 0; ky < scan.n[1]; ++ky)
                    f(r, kz, t, ky);
}

}  // namespace

double EPCSIReadoutDwell(double bandwidth, int nx, double fovX)
{
    const double gradient = nx / (fovX * 1e-3 * 42.58);
    const double half = 500.0 / bandwidth;  // ms
    const double d = half * half - 0.08 * gradient;
    const double ramp = d < 0 ? 0.12 : std::max(0.12, (half - std::sqrt(d)) / 4);
    return (1000.0 / bandwidth - 4 * ramp) / 2 / 1000 / nx;
}

std::string EPCSIListText(const TEPCSIScan& scan)
{
    std::string out = "# === DATA DESCRIPTION FILE ===\n#\n# Gyroscan SW release            : 2.5.3\n#\n";
    const int stated = scan.statedAverages < 0 ? scan.averages : scan.statedAverages;
    out += HeaderLine(0, "number_of_encoding_dimensions", "3");
    out += HeaderLine(0, "number_of_cardiac_phases", std::to_string(scan.cardiacPhases));
    out += HeaderLine(0, "number_of_echoes", std::to_string(scan.echoes));
    out += HeaderLine(0, "number_of_signal_averages", std::to_string(stated));
    out += HeaderLine(1, "number_of_echoes", "999");  // another mix: not this scan's
    static const char* kRanges[3] = {"kx_range", "ky_range", "kz_range"};
    for (int d = 0; d < 3; ++d)
        out += HeaderLine(0, kRanges[d], std::to_string(-scan.n[d] / 2) + "  " + std::to_string(scan.n[d] - 1 - scan.n[d] / 2));
    out += HeaderLine(0, "kx_oversample_factor", Num(scan.kxOversample));
    out += "#\n# typ mix dyn card echo loca chan extr1 extr2 ky kz n.a. aver sign rf grad enc rtop rr size offset\n";
    const int bytes = scan.n[0] * 8;
    out += VectorLine("NOI", 0, 0, 0, 0, 0, 0, scan.dataOffset / 2, 0);
    out += VectorLine("NOI", 0, 0, 0, 0, 0, 0, scan.dataOffset / 2, scan.dataOffset / 2);
    long offset = scan.dataOffset;
    int count = 0;
    ForEachVector(scan, [&](int r, int kz, int t, int ky) {
        out += VectorLine("STD", 0, t % scan.cardiacPhases, t / scan.cardiacPhases, ky - scan.n[1] / 2,
                          kz - scan.n[2] / 2, r, bytes, offset);
        offset += bytes;
        // A vector of the second mix among them; its samples lie after all others.
        if (++count == 3)
            out += VectorLine("STD", 1, 0, 0, 0, 0, 0, bytes, -1);
    });
    return out;
}

std::string EPCSIDataBytes(const TEPCSIScan& scan)
{
    const double pi = std::acos(-1.0);
    const int nx = scan.n[0];
    const double dwell = EPCSIReadoutDwell(scan.bandwidth, nx, scan.fov[0]);
    std::string out(size_t(scan.dataOffset), 'n');
    ForEachVector(scan, [&](int r, int kz, int t, int ky) {
        // The repeats scatter around the signal; their mean is the signal.
        const double weight = 1.0 + 0.5 * (r - (scan.averages - 1) / 2.0);
        std::vector<std::complex<float>> samples;
        for (int x = 0; x < nx; ++x) {
            const int p[3] = {x, ky, kz};
            // Along each axis the grid is half a voxel off the reconstructed one when
            // its size is even.
            double phase = 0.0;
            for (int d = 0; d < 3; ++d) {
                const int n = scan.n[d];
                const double m = scan.line[d] - n / 2 + (n % 2 == 0 ? 0.5 : 0.0);
                phase += 2 * pi * double(p[d] - n / 2) * m / n;
            }
            const bool odd = t % 2 == 1;
            const double time = (t / 2) / scan.bandwidth + (odd ? 0.5 / scan.bandwidth : 0.0) +
                                dwell * (odd ? x : nx - 1 - x);
            const double sign = kz % 2 == 0 ? 1.0 : -1.0;
            samples.emplace_back(std::polar(100.0 * weight * sign, 2 * pi * scan.offsetHz * time + phase));
        }
        out += DataBytes(samples);
    });
    out += std::string(size_t(nx) * 8, 'm');  // the second mix's vector
    return out;
}

std::string EPCSIParText(const TEPCSIScan& scan)
{
    float fov[3], offCentre[3], angulation[3];
    for (int d = 0; d < 3; ++d) {
        fov[scan.axes[d]] = scan.fov[d];
        offCentre[d] = scan.offCentre[d];
        angulation[d] = scan.angulation[d];
    }
    TSynthPAR par;
    par.v4Columns = 41;
    TSynthPARImage image;
    static const int kOrientationCode[3] = {2, 3, 1};  // sagittal, coronal, transverse
    image.sliceOrientation = kOrientationCode[scan.sliceAxis];
    return ParText({{"Patient name", "Jane  Roe "},
                    {"Examination name", "EPCSI test"},
                    {"Examination date/time", "2020.01.02 / 03:04:05"},
                    {"Preparation direction", scan.prepDirection},
                    {"Technique", "SP"},
                    {"Angulation midslice(ap,fh,rl)[degr]", ApFhRl(angulation)},
                    {"FOV (ap,fh,rl) [mm]", ApFhRl(fov)},
                    {"Off Centre midslice(ap,fh,rl) [mm]", ApFhRl(offCentre)}},
                   {BuildPARImageLine(par, image)});
}

std::string WriteEPCSIScan(const std::string& folder, const TEPCSIScan& scan, const std::string& base)
{
    const std::string path = folder + "/" + base;
    WriteBytes(path + ".LIST", EPCSIListText(scan));
    WriteBytes(path + ".DATA", EPCSIDataBytes(scan));
    WriteBytes(path + ".PAR", EPCSIParText(scan));
    return path + ".LIST";
}

}  // namespace vx::test
