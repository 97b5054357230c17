// RDA spectroscopy exports through the format-18 reader. The first input byte picks the
// dialog's options (bit 0 "Load raw data", bit 1 "Remove offset", bit 2 "Apply
// normalization"), in bits 3-6 the header size used when the end line is missing, and in
// bit 7 where the file comes from:
//  - bit 7 clear: the rest is the file;
//  - bit 7 set: 17 bytes of parameters (TE, TR, averages, frequency, sweep width, points,
//    grid, voxel spacings, nucleus, the row and column vectors, the position vector, the
//    slice thickness and how the patient lies; see ParametersOf), then two parts split by
//    Sections: the patient name and the samples. The target writes the header from them in
//    the format's own layout; the file must read, and the set hold those parameters and the
//    geometry the format's mapping gives them (slice axis, grid and fields of view along
//    the axes the vectors give, the centre, the rotation and its inverse, the axial view
//    unturned however the patient lies), and, read raw, each file voxel's samples at its
//    place in the grid.
// Either way the set read goes on the road of Add CSI Set (AddThroughProject).
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "readers/TRDAReader.h"

namespace {

// The values of a header the target writes, each from a few input bytes and always one a
// scanner could write: numbers exact in a float and in the text written for them.
struct TRdaParameters {
    float te = 0, tr = 0, averages = 0, frequency = 0;
    int width = 0, points = 0, matrix[3] = {1, 1, 1};
    double dwell = 0;  // us, written with one decimal
    float spacingRow = 1, spacingColumn = 1, spacing3D = 1, thickness = 1;
    float row[3] = {}, column[3] = {}, position[3] = {};
    std::string nucleus, patientName;
    // The PatientPosition code written (none when empty) and the head/feet-first and
    // patient position texts the format gives it.
    std::string positionCode, headFeet, lying;
};

constexpr size_t kParameterBytes = 17;

// The parameters from 17 bytes and a text: TE (16 bits, 1/16 ms), TR (16 bits, 1/8 ms),
// averages (8 bits), frequency (16 bits, 1 + 1/64 MHz), sweep width (one of eight, or with
// bit 3 of its byte one of eight dwell times that do not divide a second, whose width in
// Hz the format truncates), points (1 to 64, a power of two), the grid (1-4 by 1-4 by
// 1-2), the spacings (1 to 8 mm, two bytes), the nucleus (one of four, with the points
// byte), the directions (one of 32), the position vector (three bytes, -64 to 63.5 mm),
// the slice thickness (0.5 to 8 mm) and, in the high half of its byte, the PatientPosition
// code (none, one of eight, or one the format does not know, which reads as head first and
// supine); the patient name is the letters and digits of the text's first 64 characters
// (one "X" when it has none).
TRdaParameters ParametersOf(const uint8_t* b, std::string_view name)
{
    static constexpr int kWidths[] = {1000, 2000, 2500, 4000, 5000, 500, 1250, 8000};
    static constexpr const char* kNuclei[] = {"1H", "31P", "13C", "19F"};
    TRdaParameters p;
    p.te = float(b[0] | (b[1] << 8)) / 16.0f;
    p.tr = float(b[2] | (b[3] << 8)) / 8.0f;
    p.averages = float(b[4]);
    p.frequency = 1.0f + float(b[5] | (b[6] << 8)) / 64.0f;
    static constexpr double kUnevenDwells[] = {333.0, 416.5, 1234.5, 171.0, 99.9, 777.0, 2048.0, 62.7};
    if (b[7] & 8) {
        p.dwell = kUnevenDwells[b[7] % 8];
        p.width = int(1000000.0 / p.dwell);
    } else {
        p.width = kWidths[b[7] % 8];
        p.dwell = 1000000.0 / p.width;
    }
    p.points = 1 << (b[8] % 7);
    p.nucleus = kNuclei[(b[8] >> 4) % 4];
    p.matrix[0] = 1 + b[9] % 4;
    p.matrix[1] = 1 + (b[9] >> 2) % 4;
    p.matrix[2] = 1 + (b[9] >> 4) % 2;
    p.spacingColumn = float(1 + b[10] % 8);
    p.spacingRow = float(1 + (b[10] >> 3) % 8);
    p.spacing3D = float(1 + b[11] % 8);
    vx::fuzz::ChosenDirections(b[12], p.row, p.column);
    for (int k = 0; k < 3; ++k)
        p.position[k] = vx::fuzz::TChosen::SignedOf(b[13 + k], 2.0f);
    p.thickness = float(1 + b[16] % 16) / 2.0f;
    static constexpr const char* kPositions[][3] = {
        {"HFS", "HF", "Supine"},   {"HFP", "HF", "Prone"},    {"HFDR", "HF", "Right-D"},
        {"HFDL", "HF", "Left-D"},  {"FFS", "FF", "Supine"},   {"FFP", "FF", "Prone"},
        {"FFDR", "FF", "Right-D"}, {"FFDL", "FF", "Left-D"},  {"FFPX", "HF", "Supine"},
    };
    if (const int pick = b[16] >> 4; pick > 0) {
        const auto& position = kPositions[(pick - 1) % 9];
        p.positionCode = position[0];
        p.headFeet = position[1];
        p.lying = position[2];
    }
    p.patientName = vx::fuzz::ChosenText(name, 64, "X");
    return p;
}

// The file as a scanner writes it: the header's lines between its markers, then 2 * points
// complex float64 samples per voxel, taken from the input's bytes as 16-bit numbers (zero
// where it has no more).
std::string RdaFile(const TRdaParameters& p, std::string_view samples)
{
    using vx::fuzz::Printed;
    std::string text = ">>> Begin of header <<<\r\n";
    text += "PatientName: " + p.patientName + "\r\n";
    if (!p.positionCode.empty())
        text += "PatientPosition: " + p.positionCode + "\r\n";
    text += Printed("TR: %.4f\r\nTE: %.4f\r\n", double(p.tr), double(p.te));
    text += Printed("DwellTime: %.1f\r\n", p.dwell);
    text += Printed("NumberOfAverages: %.1f\r\n", double(p.averages));
    text += Printed("MRFrequency: %.6f\r\n", double(p.frequency));
    text += "Nucleus: " + p.nucleus + "\r\n";
    text += Printed("VectorSize: %d\r\n", p.points);
    for (int k = 0; k < 3; ++k)
        text += Printed("CSIMatrixSize[%d]: %d\r\n", k, p.matrix[k]);
    text += Printed("PixelSpacingRow: %.1f\r\nPixelSpacingCol: %.1f\r\nPixelSpacing3D: %.1f\r\n", double(p.spacingRow),
                    double(p.spacingColumn), double(p.spacing3D));
    text += Printed("SliceThickness: %.1f\r\n", double(p.thickness));
    for (int k = 0; k < 3; ++k)
        text += Printed("PositionVector[%d]: %.1f\r\n", k, double(p.position[k]));
    for (int k = 0; k < 3; ++k)
        text += Printed("RowVector[%d]: %.6f\r\n", k, double(p.row[k]));
    for (int k = 0; k < 3; ++k)
        text += Printed("ColumnVector[%d]: %.6f\r\n", k, double(p.column[k]));
    text += ">>> End of header <<<\r\n";
    const size_t values = size_t(2) * size_t(p.points) * size_t(p.matrix[0] * p.matrix[1] * p.matrix[2]);
    for (size_t k = 0; k < values; ++k) {
        const double value = vx::fuzz::ChosenSample(samples, k);
        char bytes[8];
        std::memcpy(bytes, &value, 8);
        text.append(bytes, 8);
    }
    return text;
}

// The geometry the format's mapping gives a header: the slice axis, normal and rotation of
// its row and column vectors (PlaneGeometry; the axial view unturned, as the reader's
// labels are for any patient position), the grid along the in-plane axes a and b and the
// slice axis o, the fields of view (the rows lie one column spacing apart along the row
// vector, the columns one row spacing apart along the column vector), and the centre of
// the grid (the position vector is the outer corner of the first voxel in the plane and
// the centre of the first slice).
struct TRdaGeometry {
    vx::fuzz::TPlaneGeometry plane;
    int o = 2, a = 0, b = 1, dim[3] = {1, 1, 1};
    float fov[3] = {}, centre[3] = {};
};

TRdaGeometry GeometryOf(const TRdaParameters& p)
{
    TRdaGeometry g;
    g.plane = vx::fuzz::PlaneGeometry(p.row, p.column, "RA");
    g.o = g.plane.sliceAxis;
    g.a = g.o == 0 ? 1 : 0;
    g.b = g.o == 2 ? 1 : 2;
    g.dim[g.a] = p.matrix[0];
    g.dim[g.b] = p.matrix[1];
    g.dim[g.o] = p.matrix[2];
    g.fov[g.a] = float(p.matrix[0]) * p.spacingColumn;
    g.fov[g.b] = float(p.matrix[1]) * p.spacingRow;
    g.fov[g.o] = float(p.matrix[2]) * p.spacing3D;
    for (int i = 0; i < 3; ++i)
        g.centre[i] = p.position[i] + 0.5f * (p.row[i] * g.fov[g.a] + p.column[i] * g.fov[g.b] +
                                              g.plane.normal[i] * (g.fov[g.o] - p.thickness));
    return g;
}

// The set holds what its header said and the geometry the mapping gives; read raw, file
// voxel (i, j, k) at (a = i, b = j, o = last slice - k): the set numbers its slices
// against the normal, from the last file slice to the first.
void CheckChosenRead(const TCSISet& set, const TRdaParameters& p, bool raw, std::string_view samples)
{
    using vx::fuzz::Require;
    Require(set.m_fTE == p.te && set.m_fTR == p.tr && set.m_fAverages == p.averages &&
                set.m_fFrequency == p.frequency && set.m_nSpectralWidth == p.width && set.m_nPoints == p.points &&
                set.m_strNucleus == p.nucleus && set.m_strPatientName == p.patientName,
            "spectral values and texts of the header");
    if (!p.positionCode.empty())
        Require(set.m_strPatientOrientation == p.headFeet && set.m_strPatientPosition == p.lying,
                "head/feet-first and patient position texts of the PatientPosition code");
    const TRdaGeometry g = GeometryOf(p);
    Require(set.m_nSliceAxis == g.o, "slice axis of the row and column vectors");
    for (int i = 0; i < 3; ++i)
        Require(set.m_nDim[i] == g.dim[i] && set.m_fFOV[i] == g.fov[i], "grid and field of view along each axis");
    const int ones = (g.dim[0] == 1) + (g.dim[1] == 1) + (g.dim[2] == 1);
    Require(set.m_nSpatialDims == (ones == 0 ? 3 : ones == 1 ? 2 : 1), "dimensions of the grid");
    Require(set.m_fSliceThickness == p.spacing3D && set.m_fSliceGap == 0.0f, "slice thickness of the slice spacing");
    for (int i = 0; i < 3; ++i)
        Require(vx::fuzz::Near(set.m_fOffCentre[i], g.centre[i]), "centre of the grid");
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            Require(vx::fuzz::Near(set.m_fRotation[i][j], g.plane.rotation[i][j]) &&
                        vx::fuzz::Near(set.m_fRotationInverse[j][i], g.plane.rotation[i][j]),
                    "rotation of the row, column and normal vectors, and its inverse");
    if (!raw)
        return;
    std::vector<std::complex<float>> spectrum(size_t(p.points));
    size_t fileVoxel = 0;
    int at[3] = {};
    for (int k = 0; k < g.dim[g.o]; ++k)
        for (int j = 0; j < g.dim[g.b]; ++j)
            for (int i = 0; i < g.dim[g.a]; ++i, ++fileVoxel) {
                for (int t = 0; t < p.points; ++t) {
                    const size_t v = 2 * (fileVoxel * size_t(p.points) + size_t(t));
                    spectrum[size_t(t)] = {vx::fuzz::ChosenSample(samples, v), vx::fuzz::ChosenSample(samples, v + 1)};
                }
                at[g.a] = i;
                at[g.b] = j;
                at[g.o] = g.dim[g.o] - 1 - k;
                Require(vx::fuzz::VoxelHolds(set, set.VoxelIndex(at[0], at[1], at[2]), spectrum.data(), p.points),
                        "each file voxel's samples at its place in the grid");
            }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < 1)
        return 0;
    TCSIReadParams params;
    params.m_nFormat = 18;
    params.m_bLoadRawData = data[0] & 1;
    params.m_bRemoveOffset = (data[0] >> 1) & 1;
    params.m_bNormalize = (data[0] >> 2) & 1;
    params.m_nHeaderSize = ((data[0] >> 3) & 15) * 64;
    const bool fromParameters = data[0] & 128;
    std::string path;
    TRdaParameters chosen;
    if (fromParameters) {
        if (size < 1 + kParameterBytes)
            return 0;
        const auto parts = vx::fuzz::Sections(data + 1 + kParameterBytes, size - 1 - kParameterBytes, 2);
        chosen = ParametersOf(data + 1, parts[0]);
        path = vx::fuzz::WriteScratch("input.rda", RdaFile(chosen, parts[1]));
    } else {
        path = vx::fuzz::WriteScratch("input.rda", data + 1, size - 1);
    }
    TRDAReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    if (fromParameters) {
        // A file a scanner could have written is read, with what its header says.
        vx::fuzz::Require(set != nullptr, "a file a scanner could have written is read");
        CheckChosenRead(*set, chosen, params.m_bLoadRawData != 0, vx::fuzz::Sections(data + 1 + kParameterBytes,
                                                                                      size - 1 - kParameterBytes, 2)[1]);
    }
    vx::fuzz::AddThroughProject(set.get(), path, params);
    return 0;
}
