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
//    where "scan.PAR" is taken for an image (AddExamThroughProject).
//  - bit 6 set: the stack (bit 0 clear) or volume reader in a batch run, with "Load raw
//    data" from bit 4; 24 bytes choose the parameters (see ChosenParameters), then
//    Sections splits the rest into the patient name, the examination name and the samples.
//    The target writes SPAR, LIST and DATA from them in the formats' own layouts; the set
//    read must hold those parameters by the readers' mapping and, read raw, the samples at
//    their k-space positions. Without its LIST file (bit 5) the read must be refused with
//    the reader's message naming it.
#include <algorithm>
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
    vx::fuzz::WriteScratchOrRemove("scan.PAR", parts[2]);
    vx::fuzz::WriteScratch("scan.DATA", parts[3]);
    params.m_nFormat = format;
    params.m_bRemoveOffset = (pick >> 2) & 1;
    params.m_bNormalize = (pick >> 3) & 1;
    std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
    std::unique_ptr<TCSISet> set(reader->Read(list));
    vx::fuzz::AddThroughProject(set.get(), list, params);
    if (pick & 0x30) {
        // Exam types 1 and 2 read LIST files as stacks and volumes; the folder's LIST file
        // is looked for only beside an image of the exam.
        const int examType = format == 8 ? 2 : 1;
        if (pick & 0x20)
            vx::fuzz::AddExamThroughProject({"[" + vx::fuzz::ScratchFolder() + "]"}, examType,
                                            parts[2].empty() ? std::vector<std::string>{} : std::vector{list});
        else
            vx::fuzz::AddExamThroughProject({list}, examType, {list});
    }
    g_batchLog.clear();
    return 0;
}
