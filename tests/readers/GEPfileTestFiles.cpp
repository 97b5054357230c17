#include "readers/GEPfileTestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>
#include <numbers>
#include <stdexcept>

#include "gehdr/GETestSupport.h"

namespace vx::test {

namespace {

using getest::Put16;
using getest::Put32;
using getest::PutFloat;
using getest::PutText;

// Where the blocks lie in the raw header of a revision, and the offsets of the fields
// the readers use within the exam, series and image blocks of its image layout.
struct TRawPlaces {
    float revision;
    int size, exam, series, image;
    // exam block
    int examNumber, examTime, swVersion;
    // series block
    int seriesDescription, seriesDescriptionWidth;
    // image block
    int sliceThickness, imageDimY, fov, rectFov, pixelSizeY, plane, field26;
    int centre, normal, corner1, corner2;  // x, then y and z 4 bytes apart
    int repetitionTime, obliquePlane, sequenceName, sequenceShortName, voxelSize, voxelCentre;
};

const TRawPlaces& Places(int revision)
{
    static const std::map<int, TRawPlaces> places{
        {kRev9,
         {9.0f, 61464, 57352, 58392, 59928, 8, 212, 364, 20, 30,
          28, 34, 36, 40, 56, 116, 120, 136, 148, 160, 172, 200, 280, 320, 360, 456, 468}},
        {kRev11,
         {11.0f, 66072, 61448, 62488, 64536, 128, 120, 478, 298, 65,
          12, 662, 0, 4, 388, 688, 16, 392, 404, 416, 428, 488, 512, 838, 884, 84, 96}},
        {kRev14,
         {14.3f, 145908, 140772, 141812, 143860, 272, 216, 638, 506, 65,
          76, 1022, 64, 68, 452, 1048, 80, 456, 468, 480, 492, 712, 736, 1272, 1318, 148, 160}},
    };
    const auto it = places.find(revision);
    if (it == places.end())
        throw std::invalid_argument("no layout for this revision");
    return it->second;
}

// Offsets in the first block, the same in the three revisions.
enum : int {
    kField56 = 56, kFrameCount = kFrameCountOffset, kPointCount = 80, kPointSize = 82, kField176 = 176, kField178 = 178,
    kField292 = kSkipFramesOffset, kSpectralWidth = 368, kSpatialDims = 372, kDimX = 374, kDimY = 376, kDimZ = 378,
    kCentreFrequency = 424, kEchoFlag = 856, kField868 = 868, kEchoTime = 1212, kPatientPosition = 1336,
    kPatientEntry = 1340, kSlices = 68, kMPSpectralWidth = 252, kMPMatrix = 256, kMPEcho = 1000,
    kMPEchoTiming = 1004, kMPPoints = 1016,
};

void PutVector(std::string& b, size_t at, const std::array<float, 3>& v, int order)
{
    for (size_t k = 0; k < 3; ++k)
        PutFloat(b, at + 4 * k, v[k], order);
}

// Fixed-width text: the characters, NUL-padded to the width.
void PutField(std::string& b, size_t at, const std::string& text, size_t width)
{
    PutText(b, at, text.substr(0, width));
}

}  // namespace

int PfileHeaderSize(int revision)
{
    return Places(revision).size;
}

std::string PfileHeaderBytes(const TPfileHeader& h)
{
    const TRawPlaces& p = Places(h.revision);
    const int o = h.order;
    std::string b(size_t(p.size), '\0');
    PutFloat(b, 0, p.revision, o);
    Put16(b, kField56, h.field56, o);
    Put16(b, kFrameCount, h.frameCount, o);
    Put16(b, kPointCount, h.points, o);
    Put16(b, kPointSize, h.pointSize, o);
    Put16(b, kField176, h.field176, o);
    Put16(b, kField178, h.field178, o);
    PutFloat(b, kField292, h.skipFrames, o);
    PutFloat(b, kSpectralWidth, h.spectralWidth, o);
    Put16(b, kSpatialDims, h.spatialDims, o);
    Put16(b, kDimX, h.dims[0], o);
    Put16(b, kDimY, h.dims[1], o);
    Put16(b, kDimZ, h.dims[2], o);
    Put32(b, kCentreFrequency, h.centreFrequency, o);
    Put16(b, kEchoFlag, h.echoFlag, o);
    PutFloat(b, kField868, h.fovRatio, o);
    Put16(b, kSlices, h.mpSlices, o);
    PutFloat(b, kMPSpectralWidth, h.mpSpectralWidth, o);
    PutFloat(b, kMPMatrix, h.mpMatrix[0], o);
    PutFloat(b, kMPMatrix + 4, h.mpMatrix[1], o);
    PutFloat(b, kMPEcho, h.mpEcho, o);
    PutFloat(b, kMPEchoTiming, h.mpEchoTiming, o);
    PutFloat(b, kMPPoints, h.mpPoints, o);
    Put32(b, kEchoTime, h.echoTime, o);
    Put32(b, kPatientPosition, h.patientPosition, o);
    Put32(b, kPatientEntry, h.patientEntry, o);

    const size_t e = size_t(p.exam);
    Put16(b, e + size_t(p.examNumber), h.examNumber, o);
    Put32(b, e + size_t(p.examTime), h.examTime, o);
    PutField(b, e + size_t(p.swVersion), h.swVersion, 2);
    PutField(b, size_t(p.series + p.seriesDescription), h.seriesDescription, size_t(p.seriesDescriptionWidth));

    const size_t i = size_t(p.image);
    PutFloat(b, i + size_t(p.sliceThickness), h.sliceThickness, o);
    Put16(b, i + size_t(p.imageDimY), h.imageDimY, o);
    PutFloat(b, i + size_t(p.fov), h.fov, o);
    PutFloat(b, i + size_t(p.rectFov), h.rectFov, o);
    PutFloat(b, i + size_t(p.pixelSizeY), h.pixelSizeY, o);
    Put16(b, i + size_t(p.plane), h.plane, o);
    PutFloat(b, i + size_t(p.field26), h.field26, o);
    PutVector(b, i + size_t(p.centre), h.centre, o);
    PutVector(b, i + size_t(p.normal), h.normal, o);
    PutVector(b, i + size_t(p.corner1), h.corner1, o);
    PutVector(b, i + size_t(p.corner2), h.corner2, o);
    Put32(b, i + size_t(p.repetitionTime), h.repetitionTime, o);
    Put32(b, i + size_t(p.obliquePlane), h.obliquePlane, o);
    PutField(b, i + size_t(p.sequenceName), h.sequenceName, 33);
    PutField(b, i + size_t(p.sequenceShortName), h.sequenceShortName, 13);
    PutVector(b, i + size_t(p.voxelSize), h.voxelSize, o);
    PutVector(b, i + size_t(p.voxelCentre), h.voxelCentre, o);
    return b;
}

std::string PfileSamples(const std::vector<std::complex<double>>& values, int pointSize, int order)
{
    std::string out;
    out.reserve(values.size() * 2 * size_t(pointSize));
    for (const std::complex<double>& v : values)
        for (double part : {v.real(), v.imag()}) {
            const auto word = static_cast<int64_t>(std::llround(part));
            getest::PutU(out, out.size(), static_cast<uint64_t>(word), pointSize, order);
        }
    return out;
}

std::string PfileBytes(const TPfileHeader& h, const std::vector<std::complex<double>>& samples)
{
    // The frame after the header is not data: fill it with values that would stand out.
    const std::vector<std::complex<double>> junk(size_t(h.points), {3000.0, -3000.0});
    return PfileHeaderBytes(h) + PfileSamples(junk, h.pointSize, h.order) +
           PfileSamples(samples, h.pointSize, h.order);
}

std::vector<std::complex<double>> KSpaceLine(const int dims[3], int spatialDims, const int at[3],
                                             const std::vector<std::complex<double>>& fid, bool alternateX,
                                             bool alternateY)
{
    using C = std::complex<double>;
    const double pi = std::numbers::pi;
    // Per axis, the k-space weights whose reconstruction is a unit at `at`.
    std::vector<C> weight[3];
    for (int d = 0; d < 3; ++d) {
        const int n = dims[d];
        weight[d].assign(size_t(n), C(0.0, 0.0));
        const bool transformed = n > 1 && (spatialDims == 3 || d < 2);
        if (!transformed) {
            weight[d][size_t(at[d])] = 1.0;
            continue;
        }
        // The FFT is followed by a shift that moves index u to (u - ceil(n/2)) mod n.
        const int u = (at[d] + (n + 1) / 2) % n;
        for (int j = 0; j < n; ++j) {
            // Before the forward FFT (scaled by 1/n) a unit at u is exp(+2 pi i u j / n).
            C w = std::polar(1.0, 2 * pi * u * j / n);
            if (((alternateX && d == 0) || (alternateY && d == 1)) && j % 2 == 1)
                w = -w;
            if (n % 2 == 0) {
                // Undo the ramp exp(-i pi c / n), c the centred index of j.
                const int c = j < (n + 1) / 2 ? j : j - n;
                w *= std::polar(1.0, pi * c / n);
            }
            // Undo the shift new[j] = old[(j + n/2) mod n] that came first.
            weight[d][size_t((j + n / 2) % n)] = w;
        }
    }
    std::vector<C> out;
    out.reserve(size_t(dims[0]) * size_t(dims[1]) * size_t(dims[2]) * fid.size());
    for (int z = 0; z < dims[2]; ++z)
        for (int y = 0; y < dims[1]; ++y)
            for (int x = 0; x < dims[0]; ++x) {
                const C w = weight[0][size_t(x)] * weight[1][size_t(y)] * weight[2][size_t(z)];
                for (const C& v : fid)
                    out.push_back(w * v);
            }
    return out;
}

std::vector<std::complex<double>> LineFid(int points, double amplitude)
{
    std::vector<std::complex<double>> fid(static_cast<size_t>(points));
    for (int t = 0; t < points; ++t)
        fid[size_t(t)] = std::polar(amplitude, 2 * std::numbers::pi * t / 8.0);
    return fid;
}

std::string MPCSIBytes(const TPfileHeader& h, const std::vector<std::complex<double>>& grid)
{
    const int nx = int(h.mpMatrix[0]), ny = int(h.mpMatrix[1]), points = int(h.mpPoints);
    const double cx = (nx - 1) / 2.0, cy = (ny - 1) / 2.0;
    std::vector<std::complex<double>> samples;
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            const double r = (x - cx) * (x - cx) / (cx * cx) + (y - cy) * (y - cy) / (cy * cy);
            for (int z = 0; r <= 1.01 && z < h.mpSlices; ++z) {
                const auto at = grid.begin() + ((z * ny + y) * nx + x) * points;
                samples.insert(samples.end(), at, at + points);
            }
        }
    return PfileHeaderBytes(h) + PfileSamples(samples, h.pointSize, h.order);
}

std::string EmptyGrid(const TPfileHeader& h)
{
    size_t n = size_t(std::max(h.points, 0));
    for (int d : h.dims)
        n *= size_t(std::max(d, 0));
    return PfileBytes(h, std::vector<std::complex<double>>(n));
}

TTimeZone::TTimeZone(const char* zone)
{
    if (const char* old = std::getenv("TZ")) {
        m_old = old;
        m_had = true;
    }
    setenv("TZ", zone, 1);
    tzset();
}

TTimeZone::~TTimeZone()
{
    if (m_had)
        setenv("TZ", m_old.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

}  // namespace vx::test
