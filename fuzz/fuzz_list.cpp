// Philips LIST/DATA sets through the pre-R11 stack and volume readers and the EPCSI
// reader. The first input byte picks the reader (bits 0-1: 0 and 3 the stack, 1 the
// volume, 2 the EPCSI reader), the options "Remove offset" (bit 2) and "Apply
// normalization" (bit 3), with bit 7 a read outside a batch run (questions get their
// default answers, file dialogs are cancelled), and with bit 6 where the files come from:
//  - bit 6 clear: for the EPCSI reader the next eight bytes are what the user types in the
//    dialog: the sweep width (32-bit integer) and the frequency (32-bit float),
//    little-endian. The rest is split by Sections into the LIST text, the SPAR text and
//    the PAR text beside it (an empty one is no file), and the DATA file. With bit 4 or 5
//    the files also take the road of Add Exam of the exam type that reads the stack (or,
//    for the volume reader, the volume), given "scan.LIST" (bit 4) or their folder (bit 5),
//    where "scan.PAR" is taken for an image (AddExamThroughProject). A zero byte in the
//    PAR part ends the PAR text and lays an image of the exam beside the set: a byte after
//    it answers the question whether to add a set whose rotation disagrees with the
//    image's (bit 0: Yes), and the rest chooses the values (ChosenParRec, version 4) of
//    "image.PAR" and "image.REC", which the exam is given before "scan.LIST" (bit 4) or
//    finds in the folder (bit 5).
//  - bit 6 set: the stack (bit 0 clear) or volume reader in a batch run, with "Load raw
//    data" from bit 4; 24 bytes choose the parameters (see ChosenParameters), then
//    Sections splits the rest into the patient name, the examination name and the samples.
//    The target writes SPAR, LIST and DATA from them in the formats' own layouts; the set
//    read must hold those parameters by the readers' mapping and, read raw, the samples at
//    their k-space positions. Without its LIST file (bit 5) the read must be refused with
//    the reader's message naming it.
//  - bits 6 and 7 set: the EPCSI reader in a batch run, "Load raw data" from bit 4; 24
//    bytes choose the parameters (see ChosenEPCSI), then Sections splits the rest into the
//    patient and examination names. The target writes PAR, LIST and DATA files; the set
//    must hold the dialog's spectral values, the names, the sizes and oversampled fields of
//    view on the axes the slice orientation and preparation direction give, the angulation
//    and its rotation, and the PAR off-centre moved onto the slice normal; read raw with
//    one point per readout, each voxel's samples. Without its LIST file (bit 5) the read
//    must be refused naming it.
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/Globals.h"
#include "readers/ReaderFactory.h"

namespace {

constexpr size_t kParameterBytes = 24;
constexpr int kLR = 0, kAP = 1, kCC = 2;

// A k-space position of the LIST file's data vectors: location and the indices along the
// first and second in-plane axes, counted from 0.
struct TVector {
    int location, ka, kb;
};

struct TListParameters {
    int format = 5;
    vx::fuzz::TSparSpectrum spectrum;
    int release = 9;
    int sliceAxis = 2, sizeA = 1, sizeB = 1, locations = 1;
    float phaseFOV = 0, thickness = 0, offCentre[3] = {}, angulation[3] = {};  // [LR, AP, CC] as written
    int dataOffset = 0;  // bytes before the first vector in the DATA file (3-D reader)
    std::vector<TVector> vectors;
    bool otherMix = false;  // a vector of mix 1 among them, which the reader skips
};

// The spectral values and texts of every SPAR file (TSparSpectrum), a slice axis of each
// direction, 1-4 voxels along each axis, a phase-encoding field of view of 12-240 mm and a
// slice thickness that divides it (so that the 3-D reader's release-9 scaling is exact),
// release 9, 10 or 11, and 1 to all positions of the grid in any order (repeats too).
TListParameters ChosenParameters(int format, const uint8_t* data, std::string_view name, std::string_view exam)
{
    using vx::fuzz::TChosen;
    static constexpr int kThicknesses[] = {2, 3, 4, 6, 12, 1, 12, 6};
    TChosen c(data, kParameterBytes);
    TListParameters p;
    p.format = format;
    p.spectrum = vx::fuzz::ChosenSparSpectrum(c, name, exam);
    const uint8_t release = c.Byte();
    p.release = 9 + release % 3;
    p.otherMix = (release >> 7) & 1;
    const uint8_t grid = c.Byte();
    p.sliceAxis = grid % 3;
    p.sizeA = 1 + (grid >> 2) % 4;
    p.sizeB = 1 + (grid >> 4) % 4;
    p.locations = 1 + c.Pick(4);
    p.phaseFOV = float(12 * (1 + c.Pick(20)));
    p.thickness = float(kThicknesses[c.Pick(8)]);
    for (int axis = 0; axis < 3; ++axis) {
        const uint8_t value = c.Byte();
        p.offCentre[axis] = TChosen::SignedOf(value, 4.0f);
        p.angulation[axis] = TChosen::SignedOf(uint8_t(value * 5 + axis), 8.0f);
    }
    const int offset = 16 * c.Pick(4);
    p.dataOffset = format == 8 ? offset : 0;
    // The reader believes a grid of at most 16 positions per vector.
    const int positions = p.sizeA * p.sizeB * p.locations;
    const int count = std::max(1 + c.Pick(positions), (positions + 15) / 16);
    uint16_t walk = c.Word();
    for (int k = 0; k < count; ++k) {
        const int at = (walk + 7 * k) % positions;
        p.vectors.push_back({at / (p.sizeA * p.sizeB), at % p.sizeA, (at / p.sizeA) % p.sizeB});
        walk = uint16_t(walk * 5 + 1);
    }
    return p;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// The SPAR text of the acquisition: names, spectral values and the slice geometry.
std::string SparText(const TListParameters& p)
{
    using vx::fuzz::Printed;
    static constexpr const char* kDirections[] = {"sagittal", "coronal", "transversal"};
    static constexpr const char* kAxisNames[] = {"lr", "ap", "cc"};
    std::vector<std::string> lines = {
        std::string("phase_encoding_direction : ") + kDirections[p.sliceAxis],
        Printed("phase_encoding_fov : %.1f", double(p.phaseFOV)),
        Printed("slice_thickness : %.1f", double(p.thickness)),
    };
    for (int axis : {kAP, kLR, kCC})
        lines.push_back(Printed("si_%s_off_center : %.2f", kAxisNames[axis], double(p.offCentre[axis])));
    for (int axis : {kAP, kLR, kCC})
        lines.push_back(Printed("si_%s_off_angulation : %.3f", kAxisNames[axis], double(p.angulation[axis])));
    return vx::fuzz::SparSpectrumLines(p.spectrum) + Lines(lines);
}

// The LIST text: the release, the sizes of the first mix, and one data vector line of 20
// columns per vector (k indices from minus half the size, offsets one after the other).
std::string ListText(const TListParameters& p)
{
    std::vector<std::string> lines = {
        vx::fuzz::Printed("# Gyroscan SW release : %d.1.2", p.release),
        vx::fuzz::Printed(". 0 0 0 number_of_encoding_dimensions : %d", p.format == 8 ? 3 : 2),
        vx::fuzz::Printed(". 0 0 0 number_of_locations : %d", p.locations),
        vx::fuzz::Printed(". 0 0 0 F-resolution : %d", p.spectrum.points),
        vx::fuzz::Printed(". 0 0 0 X-resolution : %d", p.sizeA),
        vx::fuzz::Printed(". 0 0 0 Y-resolution : %d", p.sizeB),
        ". 1 0 0 F-resolution : 3",
    };
    const int bytes = 8 * p.spectrum.points;
    const auto vector = [&](int mix, const TVector& v, int offset) {
        return vx::fuzz::Printed(" STD %d 0 0 0 %d 0 0 0 %d %d 0 0 0 0 0 0 0 %d %d", mix, v.location, v.ka - p.sizeA / 2,
                         v.kb - p.sizeB / 2, bytes, offset);
    };
    for (size_t j = 0; j < p.vectors.size(); ++j) {
        if (p.otherMix && j == 1)
            lines.push_back(vector(1, {0, 0, 0}, 0));
        lines.push_back(vector(0, p.vectors[j], p.dataOffset + int(j) * bytes));
    }
    return Lines(lines);
}

// The DATA file: the chosen offset's bytes, then each vector's points as IEEE float pairs.
std::string DataFile(const TListParameters& p, std::string_view samples)
{
    std::string file(size_t(p.dataOffset), 'd');
    const size_t values = size_t(2) * size_t(p.spectrum.points) * p.vectors.size();
    for (size_t k = 0; k < values; ++k) {
        const float value = vx::fuzz::ChosenSample(samples, k);
        file.append(reinterpret_cast<const char*>(&value), 4);
    }
    return file;
}

// The set holds what SPAR and LIST say by the readers' mapping (AP and LR negated, the
// sizes of the LIST along the slice's axes, release-9 scaling of the 3-D partition axis)
// and, read raw, every vector's samples at its k-space position (zero elsewhere).
void CheckChosenRead(const TCSISet& set, const TListParameters& p, bool raw, std::string_view samples)
{
    using vx::fuzz::Require;
    vx::fuzz::CheckSparSpectrum(set, p.spectrum);
    const int points = p.spectrum.points;
    const int s = p.sliceAxis;
    const int a = s == 0 ? 1 : 0, b = s == 2 ? 1 : 2;
    int dim[3];
    dim[s] = p.locations;
    dim[a] = p.sizeA;
    dim[b] = p.sizeB;
    const float sign[3] = {-1.0f, -1.0f, 1.0f};
    float fov[3], offCentre[3];
    fov[a] = fov[b] = p.phaseFOV;
    fov[s] = p.thickness;
    for (int axis = 0; axis < 3; ++axis) {
        offCentre[axis] = sign[axis] * p.offCentre[axis];
        Require(set.m_fAngulation[axis] == sign[axis] * p.angulation[axis], "angulation of the slice");
    }
    // The post-read turns coronal and transverse grids in their plane: the in-plane sizes
    // change places (the fields of view stay).
    if (!raw && s != 0)
        std::swap(dim[a], dim[b]);
    if (p.format == 8 && p.release == 9) {
        offCentre[s] = offCentre[s] * fov[a] / fov[s];
        fov[s] = fov[a];
    }
    for (int axis = 0; axis < 3; ++axis)
        Require(set.m_nDim[axis] == dim[axis] && set.m_fFOV[axis] == fov[axis] &&
                    set.m_fOffCentre[axis] == offCentre[axis],
                "grid, field of view and off-centre along each axis");
    Require(set.m_nSliceAxis == s, "slice axis of the phase-encoding direction");
    const bool multiSlice = p.format == 5;
    Require(set.m_nSpatialDims == (multiSlice ? 2 : 3) && set.m_bMultiSlice == (multiSlice ? 1 : 0) &&
                set.m_slicePhases.size() == (multiSlice ? size_t(dim[s]) : 0),
            "dimensions, multi-slice flag and a phase entry per slice");
    Require(set.m_fSliceThickness == fov[s] / float(dim[s]) && set.m_fSliceGap == 0.0f,
            "slice thickness of the field of view over the slices");
    Require(set.m_nEchoPosition == 0 && set.m_strName == "scan" && set.m_nFormat == p.format,
            "echo position, name and format");
    if (!raw)
        return;
    const size_t voxels = size_t(dim[0] * dim[1] * dim[2]);
    std::vector<std::vector<std::complex<float>>> expected(voxels,
                                                           std::vector<std::complex<float>>(size_t(points)));
    for (size_t j = 0; j < p.vectors.size(); ++j) {
        int at[3];
        at[s] = p.vectors[j].location;
        at[a] = p.vectors[j].ka;
        at[b] = p.vectors[j].kb;
        auto& spectrum = expected[size_t(at[0] + dim[0] * (at[1] + dim[1] * at[2]))];
        for (int i = 0; i < points; ++i) {
            const size_t k = 2 * (j * size_t(points) + size_t(i));
            spectrum[size_t(i)] = {vx::fuzz::ChosenSample(samples, k), vx::fuzz::ChosenSample(samples, k + 1)};
        }
    }
    for (size_t v = 0; v < voxels; ++v)
        Require(vx::fuzz::VoxelHolds(set, v, expected[v].data(), points),
                "each k-space position holds its last vector's samples, or zeros");
}

// An EPCSI acquisition: what the dialog, the PAR file and the LIST file give.
struct TEPCSIParameters {
    int sweepWidth = 0;
    float frequency = 0;
    int sliceCode = 1;  // the PAR slice orientation: 1 transverse, 2 sagittal, 3 coronal
    std::string prepDirection;
    float fov[3] = {}, angulation[3] = {}, offCentre[3] = {};  // [AP, FH, RL] as the PAR file lists them
    int sizes[3] = {1, 1, 1};                                   // kx, ky, kz
    float oversample[3] = {1, 1, 1};                            // kx, ky, kz
    int echoes = 2, cardiacPhases = 1, averages = 1;
    int dataOffset = 0;
};

// Sweep width and frequency, the slice orientation, one of three preparation directions,
// fields of view of 8-256 mm, angulations of -16 to 15.875 degrees and off-centres of
// -64 to 63.5 mm, 1, 2 or 4 positions along kx and ky and 1 or 2 along kz, oversampling
// factors of 1, 1.5 or 2, 4 to 16 echo times (echoes by cardiac phases), 1-3 averages and
// a DATA offset of 0-48 bytes.
TEPCSIParameters ChosenEPCSI(const uint8_t* data)
{
    static constexpr const char* kDirections[] = {"Right-Left", "Feet-Head", "Anterior-Posterior"};
    static constexpr float kOversample[] = {1.0f, 1.5f, 2.0f};
    vx::fuzz::TChosen c(data, kParameterBytes);
    TEPCSIParameters p;
    p.sweepWidth = c.SweepWidth();
    p.frequency = float(c.Word()) / 64.0f + 1.0f;
    p.sliceCode = 1 + c.Pick(3);
    p.prepDirection = kDirections[c.Pick(3)];
    for (int k = 0; k < 3; ++k) {
        p.fov[k] = float(8 * (1 + c.Pick(32)));
        p.angulation[k] = c.Signed(8.0f);
        p.offCentre[k] = c.Signed(2.0f);
    }
    const uint8_t sizes = c.Byte();
    p.sizes[0] = 1 << (sizes % 3);
    p.sizes[1] = 1 << ((sizes >> 2) % 3);
    p.sizes[2] = 1 + ((sizes >> 4) & 1);
    for (float& factor : p.oversample)
        factor = kOversample[c.Pick(3)];
    const uint8_t times = c.Byte();
    p.cardiacPhases = 1 + (times & 1);
    p.echoes = (4 << ((times >> 1) % 3)) / p.cardiacPhases;
    p.averages = 1 + (times >> 3) % 3;
    p.dataOffset = 16 * c.Pick(4);
    return p;
}

std::string EPCSIParText(const TEPCSIParameters& p, std::string_view name, std::string_view exam)
{
    using vx::fuzz::Printed;
    const auto triple = [](const float v[3]) {
        return Printed("%.4f  %.4f  %.4f", double(v[0]), double(v[1]), double(v[2]));
    };
    std::string text = "# === DATA DESCRIPTION FILE ======================\n#\n"
                       "# CLINICAL TRYOUT             Research image export tool     V4.2\n#\n";
    text += ".    Patient name                       :   " + vx::fuzz::ChosenText(name, 16, "Doe") + "\n";
    text += ".    Examination name                   :   " + vx::fuzz::ChosenText(exam, 16, "Exam") + "\n";
    text += ".    Examination date/time              :   2024.03.04 / 12:34:56\n";
    text += ".    Preparation direction              :   " + p.prepDirection + "\n";
    text += ".    Technique                          :   EPCSI\n";
    text += ".    Angulation midslice(ap,fh,rl)[degr]:   " + triple(p.angulation) + "\n";
    text += ".    FOV (ap,fh,rl) [mm]                :   " + triple(p.fov) + "\n";
    text += ".    Off Centre midslice(ap,fh,rl) [mm] :   " + triple(p.offCentre) + "\n#\n";
    std::vector<std::string> columns(41, "0");
    columns[6] = "1";
    columns[22] = "10.0000";
    columns[25] = std::to_string(p.sliceCode);
    for (const std::string& column : columns)
        text += " " + column;
    return text + "\n";
}

// The LIST text: the sizes as ranges from minus half the size, and one vector per
// position of kz, ky and time, each of kx points, their offsets one after the other.
std::string EPCSIListText(const TEPCSIParameters& p)
{
    using vx::fuzz::Printed;
    static constexpr const char* kAxes[] = {"kx", "ky", "kz"};
    std::vector<std::string> lines = {
        "# Gyroscan SW release : 9.1.2",
        ". 0 0 0 number_of_encoding_dimensions : 2",
        Printed(". 0 0 0 number_of_cardiac_phases : %d", p.cardiacPhases),
        Printed(". 0 0 0 number_of_echoes : %d", p.echoes),
        Printed(". 0 0 0 number_of_signal_averages : %d", p.averages),
    };
    for (int k = 0; k < 3; ++k) {
        lines.push_back(Printed(". 0 0 0 %s_oversample_factor : %.1f", kAxes[k], double(p.oversample[k])));
        lines.push_back(Printed(". 0 0 0 %s_range : %d %d", kAxes[k], -(p.sizes[k] / 2), p.sizes[k] - 1 - p.sizes[k] / 2));
    }
    const int bytes = 8 * p.sizes[0];
    int offset = p.dataOffset;
    for (int z = 0; z < p.sizes[2]; ++z)
        for (int y = 0; y < p.sizes[1]; ++y)
            for (int t = 0; t < p.echoes * p.cardiacPhases; ++t, offset += bytes)
                lines.push_back(Printed(" STD 0 0 %d %d 0 0 0 0 %d %d 0 0 0 0 0 0 0 0 %d %d", t % p.cardiacPhases,
                                        t / p.cardiacPhases, y - p.sizes[1] / 2, z - p.sizes[2] / 2, bytes, offset));
    return Lines(lines);
}

// Part `part` (0 real, 1 imaginary) of point x of vector j, whose time index is t: small
// whole numbers, and zeros at odd time indices, which go to the other buffer.
float EPCSISample(size_t j, int t, int x, int part)
{
    return t % 2 ? 0.0f : float(int((j * 5 + size_t(x) * 3 + size_t(part)) % 7) - 3);
}

// The DATA file: the offset's bytes, then the vectors in the LIST's order (kz, ky, time).
std::string EPCSIDataFile(const TEPCSIParameters& p)
{
    std::string file(size_t(p.dataOffset), 'd');
    const int times = p.echoes * p.cardiacPhases;
    for (size_t j = 0; j < size_t(p.sizes[1] * p.sizes[2] * times); ++j)
        for (int x = 0; x < p.sizes[0]; ++x)
            for (int part = 0; part < 2; ++part) {
                const float value = EPCSISample(j, int(j % size_t(times)), x, part);
                file.append(reinterpret_cast<const char*>(&value), 4);
            }
    return file;
}

// Read raw with one point per readout, the reconstruction leaves each even time index's
// vector as it was (the timing corrections of a single kx sample are 1, and the odd
// buffer is zero): point i of the voxel at ky, kz holds the vector of time 2i, negated at
// odd kz, divided by the averages.
void CheckEPCSISamples(const TCSISet& set, const TEPCSIParameters& p, const int axes[3])
{
    const int times = p.echoes * p.cardiacPhases, points = times / 2;
    std::vector<std::complex<double>> expected(static_cast<size_t>(points));
    for (int z = 0; z < p.sizes[2]; ++z)
        for (int y = 0; y < p.sizes[1]; ++y) {
            int at[3] = {};
            at[axes[1]] = y;
            at[axes[2]] = z;
            const size_t voxel = size_t(at[0] + set.m_nDim[0] * (at[1] + set.m_nDim[1] * at[2]));
            for (int i = 0; i < points; ++i) {
                const size_t j = size_t((z * p.sizes[1] + y) * times + 2 * i);
                const double sign = z % 2 ? -1.0 : 1.0;
                expected[size_t(i)] = {sign * EPCSISample(j, 2 * i, 0, 0) / p.averages,
                                       sign * EPCSISample(j, 2 * i, 0, 1) / p.averages};
            }
            vx::fuzz::Require(vx::fuzz::VoxelNear(set, voxel, expected.data(), points),
                              "read raw, a one-point readout holds its even vectors' samples");
        }
}

// The set holds the dialog's spectral values, the PAR file's names, half the echo times as
// points, the LIST sizes along the kx, ky and kz axes (kz the slice axis of the PAR code,
// kx and ky as the preparation direction turns the plane), the PAR fields of view (AP, FH,
// RL) times the oversampling there, the angulation as (RL, AP, FH) and its rotation by the
// common convention (AngulationRotation) with its inverse, and of the PAR off-centre o only
// its part along the slice normal n, the rotation's kz-th row: n (n . o).
void CheckChosenEPCSI(const TCSISet& set, const TEPCSIParameters& p, std::string_view name, std::string_view exam,
                      bool raw)
{
    using vx::fuzz::Near;
    using vx::fuzz::Require;
    const int kz = (p.sliceCode + 1) % 3;
    int kx = 0;
    switch (kz) {
    case 0: kx = p.prepDirection == "Feet-Head" ? 1 : 2; break;
    case 1: kx = p.prepDirection == "Feet-Head" ? 0 : 2; break;
    default: kx = p.prepDirection == "Right-Left" ? 1 : 0; break;
    }
    const int axes[3] = {kx, 3 - kz - kx, kz};
    // The PAR triples (AP, FH, RL) on the set's axes (LR, AP, FH).
    const auto onAxes = [](const float v[3]) { return std::array<float, 3>{v[2], v[0], v[1]}; };
    const std::array<float, 3> fov = onAxes(p.fov), angulation = onAxes(p.angulation), offCentre = onAxes(p.offCentre);
    Require(set.m_nSpectralWidth == p.sweepWidth && set.m_fFrequency == p.frequency,
            "sweep width and frequency of the dialog");
    Require(set.m_strPatientName == vx::fuzz::ChosenText(name, 16, "Doe") &&
                set.m_strExamName == vx::fuzz::ChosenText(exam, 16, "Exam") && set.m_strExamDate == "2024.03.04" &&
                set.m_strName == "scan",
            "patient, examination and date of the PAR file, name of the file");
    const int times = p.echoes * p.cardiacPhases;
    Require(set.m_nPoints == times / 2 && set.m_fPPMCentrePoint == float(times / 4) && set.m_fAverages == float(p.averages),
            "half the echo times as points, the ppm centre at a quarter, the averages");
    Require(set.m_nSliceAxis == kz, "slice axis of the PAR slice orientation");
    for (int k = 0; k < 3; ++k)
        Require(set.m_nDim[axes[k]] == p.sizes[k] && Near(set.m_fFOV[axes[k]], fov[size_t(axes[k])] * p.oversample[k]),
                "LIST sizes and oversampled PAR fields of view on the kx, ky and kz axes");
    Require(Near(set.m_fSliceThickness, set.m_fFOV[kz] / float(p.sizes[2])) && set.m_fSliceGap == 0.0f,
            "slice thickness of the field of view over the slices");
    const std::array<double, 9> r = vx::fuzz::AngulationRotation(angulation.data());
    double along = 0.0;
    for (int k = 0; k < 3; ++k)
        along += r[3 * kz + k] * offCentre[size_t(k)];
    for (int k = 0; k < 3; ++k) {
        Require(set.m_fAngulation[k] == angulation[size_t(k)], "angulation of the PAR file on the set's axes");
        for (int j = 0; j < 3; ++j)
            Require(Near(set.m_fRotation[k][j], r[3 * k + j]) && Near(set.m_fRotationInverse[j][k], r[3 * k + j]),
                    "rotation of the angulation and its inverse");
        Require(std::fabs(set.m_fOffCentre[k] - r[3 * kz + k] * along) <= 1e-3,
                "off-centre of the PAR file moved onto the slice normal");
    }
    if (raw && p.sizes[0] == 1)
        CheckEPCSISamples(set, p, axes);
}

// Reads an EPCSI set written from chosen parameters.
void ReadChosenEPCSI(uint8_t pick, const uint8_t* data, size_t size)
{
    if (size < kParameterBytes)
        return;
    const auto parts = vx::fuzz::Sections(data + kParameterBytes, size - kParameterBytes, 2);
    const TEPCSIParameters chosen = ChosenEPCSI(data);
    const bool withoutList = (pick >> 5) & 1;
    g_bBatchMode = true;
    vx::fuzz::WriteScratch("scan.PAR", EPCSIParText(chosen, parts[0], parts[1]));
    vx::fuzz::WriteScratchOrRemove("scan.SPAR", {});
    const std::string list =
        vx::fuzz::WriteScratchOrRemove("scan.LIST", withoutList ? std::string() : EPCSIListText(chosen));
    vx::fuzz::WriteScratch("scan.DATA", EPCSIDataFile(chosen));
    TCSIReadParams params;
    params.m_nFormat = 11;
    params.m_nSweepWidth = chosen.sweepWidth;
    params.m_fFrequency = chosen.frequency;
    params.m_bRemoveOffset = (pick >> 2) & 1;
    params.m_bNormalize = (pick >> 3) & 1;
    params.m_bLoadRawData = (pick >> 4) & 1;
    vx::fuzz::ClearReportTexts();
    g_batchLog.clear();
    std::unique_ptr<TCSIReader> reader(CreateReader(11, &params));
    std::unique_ptr<TCSISet> set(reader->Read(list));
    if (withoutList) {
        vx::fuzz::Require(!set && vx::fuzz::Said(list), "a set without its LIST file is refused naming it");
        return;
    }
    vx::fuzz::Require(set != nullptr, "a set a scanner could have written is read");
    CheckChosenEPCSI(*set, chosen, parts[0], parts[1], params.m_bLoadRawData != 0);
    vx::fuzz::AddThroughProject(set.get(), list, params);
}

// Reads a LIST/DATA set written from chosen parameters.
void ReadChosen(uint8_t pick, const uint8_t* data, size_t size)
{
    if (size < kParameterBytes)
        return;
    const int format = (pick & 1) ? 8 : 5;
    const auto parts = vx::fuzz::Sections(data + kParameterBytes, size - kParameterBytes, 3);
    const TListParameters chosen = ChosenParameters(format, data, parts[0], parts[1]);
    const bool withoutList = (pick >> 5) & 1;
    g_bBatchMode = true;
    vx::fuzz::WriteScratch("scan.SPAR", SparText(chosen));
    vx::fuzz::WriteScratchOrRemove("scan.PAR", {});
    const std::string list = vx::fuzz::WriteScratchOrRemove("scan.LIST", withoutList ? std::string() : ListText(chosen));
    vx::fuzz::WriteScratch("scan.DATA", DataFile(chosen, parts[2]));
    TCSIReadParams params;
    params.m_nFormat = format;
    params.m_bRemoveOffset = (pick >> 2) & 1;
    params.m_bNormalize = (pick >> 3) & 1;
    params.m_bLoadRawData = (pick >> 4) & 1;
    vx::fuzz::ClearReportTexts();
    g_batchLog.clear();
    std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
    std::unique_ptr<TCSISet> set(reader->Read(list));
    if (withoutList) {
        vx::fuzz::Require(!set && vx::fuzz::Said("LIST file " + list + " does not exist or cannot be read."),
                          "a set without its LIST file is refused with the reader's message");
        return;
    }
    vx::fuzz::Require(set != nullptr, "a set a scanner could have written is read");
    CheckChosenRead(*set, chosen, params.m_bLoadRawData != 0, parts[2]);
    vx::fuzz::AddThroughProject(set.get(), list, params);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool ready = (vx::fuzz::Prepare(), true);
    (void)ready;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    if ((pick & 0xc0) == 0xc0) {
        ReadChosenEPCSI(pick, data, size);
        g_batchLog.clear();
        return 0;
    }
    if (pick & 0x40) {
        ReadChosen(pick, data, size);
        g_batchLog.clear();
        return 0;
    }
    static constexpr int kFormats[3] = {5, 8, 11};
    const int format = kFormats[(pick & 3) % 3];
    TCSIReadParams params;
    if (format == 11) {
        // The EPCSI reader takes these from the dialog.
        if (size < 8)
            return 0;
        std::memcpy(&params.m_nSweepWidth, data, 4);
        std::memcpy(&params.m_fFrequency, data + 4, 4);
        data += 8;
        size -= 8;
    }
    // In a batch run there are no questions and no file dialogs: the default companion
    // files are read.
    g_bBatchMode = (pick & 0x80) == 0;
    const auto parts = vx::fuzz::Sections(data, size, 4);
    const std::string list = vx::fuzz::WriteScratch("scan.LIST", parts[0]);
    vx::fuzz::WriteScratchOrRemove("scan.SPAR", parts[1]);
    // A zero byte ends the PAR text; what follows is the exam's image.
    const std::string_view par = parts[2].substr(0, parts[2].find('\0'));
    vx::fuzz::WriteScratchOrRemove("scan.PAR", par);
    vx::fuzz::WriteScratchOrRemove("image.PAR", {});
    vx::fuzz::WriteScratchOrRemove("image.REC", {});
    vx::fuzz::WriteScratch("scan.DATA", parts[3]);
    params.m_nFormat = format;
    params.m_bRemoveOffset = (pick >> 2) & 1;
    params.m_bNormalize = (pick >> 3) & 1;
    std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
    std::unique_ptr<TCSISet> set(reader->Read(list));
    vx::fuzz::AddThroughProject(set.get(), list, params);
    if (pick & 0x30) {
        // Exam types 1 and 2 read LIST files as stacks and volumes; the folder's LIST file
        // is looked for only beside an image of the exam. After the PAR text's zero byte, a
        // byte answers the question about a set whose geometry disagrees with the image's
        // (bit 0: Yes), and the rest chooses that image.
        const int examType = format == 8 ? 2 : 1;
        const bool withImage = par.size() < parts[2].size();
        const std::string_view values = parts[2].substr(std::min(parts[2].size(), par.size() + 1));
        const bool addDespiteGeometry = !values.empty() && (values[0] & 1) != 0;
        std::vector<std::string> entries{list};
        if (withImage) {
            const std::string_view chosenValues = values.substr(std::min<size_t>(values.size(), 1));
            vx::fuzz::TChosen chosen(reinterpret_cast<const uint8_t*>(chosenValues.data()), chosenValues.size());
            const vx::fuzz::TChosenParRec image = vx::fuzz::ChosenParRec(chosen, 4, false);
            entries.insert(entries.begin(), vx::fuzz::WriteScratch("image.PAR", vx::fuzz::ParRecText(image)));
            vx::fuzz::WriteScratch("image.REC", vx::fuzz::RecBytes(image));
        }
        if (pick & 0x20)
            vx::fuzz::AddExamThroughProject({"[" + vx::fuzz::ScratchFolder() + "]"}, examType,
                                            par.empty() && !withImage ? std::vector<std::string>{} : std::vector{list},
                                            addDespiteGeometry);
        else
            vx::fuzz::AddExamThroughProject(entries, examType, {list}, addDespiteGeometry);
    }
    g_batchLog.clear();
    return 0;
}
