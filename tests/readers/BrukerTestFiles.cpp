#include "readers/BrukerTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <sstream>

#include "model/TCSISet.h"

namespace vx::test {

namespace {
const std::complex<double> I(0.0, 1.0);

std::string Number(double v)
{
    std::ostringstream out;
    out << v;
    return out.str();
}
}  // namespace

std::string JcampArray(const std::string& values)
{
    std::istringstream in(values);
    std::string word;
    int count = 0;
    while (in >> word)
        ++count;
    return "=( " + std::to_string(count) + " )\n" + values;
}

std::string JcampText(const TJcampLines& lines, const std::string& eol)
{
    std::string text = "##TITLE=Parameter List\n##JCAMPDX=4.24\n";
    for (const auto& [key, rest] : lines)
        text += key + rest + "\n";
    std::string out;
    for (char c : text)
        out += c == '\n' ? eol : std::string(1, c);
    return out;
}

TJcampLines WithLine(TJcampLines lines, const std::string& key, const std::string& rest)
{
    auto at = std::find_if(lines.begin(), lines.end(), [&](const auto& line) { return line.first == key; });
    if (rest.empty()) {
        if (at != lines.end())
            lines.erase(at);
    } else if (at != lines.end()) {
        at->second = rest;
    } else {
        lines.emplace_back(key, rest);
    }
    return lines;
}

int TBrukerCSIScan::ReadAxis() const
{
    return readOrient == "L_R" ? 0 : readOrient == "A_P" ? 1 : 2;
}

int TBrukerCSIScan::SliceAxis() const
{
    return sliceOrient == "sagittal" ? 0 : sliceOrient == "coronal" ? 1 : 2;
}

TJcampLines CSIMethodLines(const TBrukerCSIScan& scan, const std::string& matrixKey)
{
    const bool three = scan.dims == 3;
    std::string gradient, matrix = std::to_string(scan.matrix[0]) + " " + std::to_string(scan.matrix[1]);
    if (three)
        matrix += std::string(" ") + std::to_string(scan.matrix[2]);
    for (float g : scan.gradient)
        gradient += Number(g) + " ";
    return {
        {"##$PVM_EchoTime", "=2.5"},
        {"##$PVM_RepetitionTime", "=1500"},
        {"##$PVM_NAverages", "=4"},
        {"##$PVM_Nucleus1Enum", "=1H"},
        {"##$PVM_SpatDimEnum", three ? "=3D" : "=2D"},
        {"##$PVM_Fov", JcampArray(three ? "80 60 33" : "80 60")},
        {matrixKey, JcampArray(matrix)},
        {"##$PVM_SliceThick", "=40"},
        {"##$PVM_SPackArrSliceOrient", JcampArray(scan.sliceOrient)},
        {"##$PVM_SPackArrReadOrient", JcampArray(scan.readOrient)},
        {"##$PVM_SPackArrReadOffset", JcampArray(Number(scan.offsets[0]))},
        {"##$PVM_SPackArrPhase1Offset", JcampArray(Number(scan.offsets[1]))},
        {"##$PVM_SPackArrSliceOffset", JcampArray(Number(scan.offsets[2]))},
        {"##$PVM_SPackArrGradOrient", "=( 1, 3, 3 )\n" + gradient},
        {"##$PVM_SpecMatrix", JcampArray(std::to_string(scan.points))},
        {"##$PVM_SpecSWH", JcampArray("4000")},
    };
}

TJcampLines AcqpLines(double frequency, double groupDelay, int decimation, int filterVersion)
{
    TJcampLines lines = {{"##$ACQ_user_filter", "=No"},
                         {"##$SFO1", std::string("=") + Number(frequency)},
                         {"##$DECIM", std::string("=") + std::to_string(decimation)},
                         {"##$DSPFVS", std::string("=") + std::to_string(filterVersion)}};
    if (groupDelay > 0)
        lines.emplace_back("##$GRPDLY", std::string("=") + Number(groupDelay));
    return lines;
}

TJcampLines RecoLines(const std::string& sizes, const std::string& ftMode, const std::string& imageType)
{
    return {{"##$RECO_size", JcampArray(sizes)},
            {"##$RECO_ft_mode", JcampArray(ftMode)},
            {"##$RECO_image_type", "=" + imageType}};
}

TJcampLines ImageMethodLines(const std::string& gradient)
{
    return {
        {"##$PVM_EchoTime", "=12"},
        {"##$PVM_RepetitionTime", "=800"},
        {"##$PVM_NAverages", "=2"},
        {"##$PVM_Fov", JcampArray("40 30")},
        {"##$PVM_Matrix", JcampArray("4 3")},
        {"##$PVM_SliceThick", "=2"},
        {"##$PVM_SPackArrNSlices", JcampArray("3")},
        {"##$PVM_SPackArrSliceOrient", JcampArray("axial")},
        {"##$PVM_SPackArrReadOrient", JcampArray("L_R")},
        {"##$PVM_SPackArrReadOffset", JcampArray("3")},
        {"##$PVM_SPackArrPhase1Offset", JcampArray("-2")},
        {"##$PVM_SPackArrSliceOffset", JcampArray("4")},
        {"##$PVM_SPackArrSliceDistance", JcampArray("5")},
        {"##$PVM_SPackArrGradOrient", "=( 1, 3, 3 )\n" + gradient},
    };
}

std::vector<std::complex<double>> KSpaceLineForVoxel(int n, int u)
{
    using std::numbers::pi;
    const int upperHalf = (n + 1) / 2;
    // Voxel u is frequency q of the FFT before its halves are swapped back; a plane wave of
    // frequency q gives exactly 1 there.
    const int q = (u + upperHalf) % n;
    std::vector<std::complex<double>> line(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
        const int m = (j - n / 2 + n) % n;  // where stored sample j lies once the halves are swapped
        std::complex<double> v = std::exp(2.0 * pi * I * double(q) * double(m) / double(n));
        if (n % 2 == 0)
            v *= std::exp(pi * I * double(m < upperHalf ? m : m - n) / double(n));  // undoes the ramp
        line[static_cast<size_t>(j)] = v;
    }
    return line;
}

std::vector<std::complex<double>> DelayedLine(int points, int peak, double groupDelay, bool conjugated)
{
    const double omega = -2.0 * std::numbers::pi * double(peak - points / 2) / double(points);
    std::vector<std::complex<double>> line(static_cast<size_t>(points));
    for (int t = 0; t < points; ++t) {
        const std::complex<double> v = std::exp(I * omega * (double(t) - groupDelay));
        line[static_cast<size_t>(t)] = conjugated ? std::conj(v) : v;
    }
    return line;
}

void AppendInt32(std::string& bytes, double value)
{
    const auto word = static_cast<uint32_t>(static_cast<int32_t>(std::lround(value)));
    for (int k = 0; k < 4; ++k)
        bytes.push_back(static_cast<char>((word >> (8 * k)) & 0xff));
}

void ExpectSingleLine(const TCSISet& set, const int voxel[3], int peak, double height, double phase)
{
    ASSERT_TRUE(set.IsLoaded());
    const TSpectrum* s = set.GetVoxel(voxel[0], voxel[1], voxel[2]);
    const std::complex<double> top(s->GetReal(peak), s->GetImag(peak));
    EXPECT_NEAR(std::abs(top) / height, 1.0, 1e-3);
    EXPECT_NEAR(std::arg(top), phase, 1e-3) << "a wrong group-delay phase";
    double elsewhere = 0;
    for (size_t v = 0; v < set.VoxelCount(); ++v) {
        const TSpectrum* o = set.GetVoxel(v);
        for (int k = 0; k < set.m_nPoints; ++k)
            if (o != s || k != peak)
                elsewhere = std::max(elsewhere, double(std::hypot(o->GetReal(k), o->GetImag(k))));
    }
    EXPECT_LT(elsewhere, 1e-3 * height);
}

}  // namespace vx::test
