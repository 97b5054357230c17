// The program's own CSI data-set files through the format-22 reader; a set read is written
// back as the program saves it (without waiting for the disk) and read again. An input
// whose first byte has bit 7 set (a version word no file has) chooses a file instead: the
// next 64 bytes give the header's values (see ChosenHeader) and the rest the samples; the
// target writes the file in the newest layout, and the set read must hold those values and
// samples, and a new project must add it (values a project lists). With bit 0 of the first byte the file ends 1 to 253 bytes early, and the read
// must be refused with the reader's message; without it, bit 6 makes the grid 64 by 64 by
// 2 of 64 points, a file of 4 MiB of samples (zero past the input's end), which the
// reader reads in blocks on its workers (such a set is only read and checked). Without
// bits 0 and 6, bits 1-2 (k) and 5 make the file one the reader cannot read: with bit 5
// clear and k of 1 to 3 a FIFO, a folder or a link to a FIFO stands in its place, and the
// read must be refused saying that the file cannot be opened and what stands there; with
// bit 5 set its open (k 0) or its k-th read (the version word's, the header's, the
// samples' first) fails with EIO, and the read must be refused saying so.
#include <algorithm>
#include <cerrno>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/FileFaults.h"
#include "platform/Paths.h"
#include "readers/TInternalFormatReader.h"

namespace {

constexpr size_t kParameterBytes = 64;

// The header of a chosen file: every value one the program writes, exact in a float.
struct TChosenHeader {
    float voxelShift[3], fov[3];
    int dim[3];
    int points, firstPoint, lastPoint, width;
    float frequency, ppmCentrePoint, ppmCentreValue, phase0, phase1;
    int pivot, readerFlag, domainFlag, format, echoPosition, spatialDims, sliceAxis;
    float tr, te, averages;
    int kSpace, multiSlice;
    float angulation[3], offCentre[3], rotation[9], lorentz, gauss;
};

// Grid 1-4 per axis, 2-64 points, a point range within them, a sweep width of eight, the
// flag words with bits beyond bit 0, any format index, and a rotation that turns the axes
// into each other with signs.
TChosenHeader ChosenHeader(const uint8_t* data)
{
    static constexpr int kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    vx::fuzz::TChosen c(data, kParameterBytes);
    TChosenHeader h{};
    for (int k = 0; k < 3; ++k) {
        h.voxelShift[k] = c.Signed(4.0f);
        h.fov[k] = float(4 * (1 + c.Pick(64)));
        h.dim[k] = 1 + c.Pick(4);
    }
    h.points = c.Points();
    h.firstPoint = c.Pick(h.points);
    h.lastPoint = h.firstPoint + c.Pick(h.points - h.firstPoint);
    h.width = c.SweepWidth();
    h.frequency = 1.0f + float(c.Word()) / 64.0f;
    h.ppmCentrePoint = float(c.Word()) / 16.0f;
    h.ppmCentreValue = c.Signed(8.0f);
    h.phase0 = c.Signed(16.0f);
    h.phase1 = c.Signed(16.0f);
    h.pivot = c.Pick(h.points);
    h.readerFlag = c.Byte();
    h.domainFlag = c.Byte();
    h.format = c.Pick(23);
    h.echoPosition = c.Pick(h.points);
    h.spatialDims = 1 + c.Pick(3);
    h.sliceAxis = c.Pick(3);
    h.tr = float(c.Word()) / 8.0f;
    h.te = float(c.Word()) / 16.0f;
    h.averages = float(c.Byte());
    h.kSpace = c.Pick(2);
    h.multiSlice = c.Pick(2);
    for (int k = 0; k < 3; ++k) {
        h.angulation[k] = c.Signed(2.0f);
        h.offCentre[k] = float(int16_t(c.Word())) / 8.0f;
    }
    const int* order = kOrders[c.Pick(6)];
    const uint8_t signs = c.Byte();
    for (int row = 0; row < 3; ++row)
        h.rotation[3 * row + order[row]] = (signs >> row) & 1 ? -1.0f : 1.0f;
    h.lorentz = float(c.Byte()) / 4.0f;
    h.gauss = float(c.Byte()) / 4.0f;
    return h;
}

void PutWord(std::string& file, const void* value)
{
    file.append(static_cast<const char*>(value), 4);
}

// The file in the newest layout: version 9, header size 256, the fields at their offsets,
// zeros to byte 256, then each voxel's points as float pairs (x fastest).
std::string ChosenFile(const TChosenHeader& h, std::string_view samples)
{
    std::string file;
    const int32_t version = 9, headerSize = 256;
    PutWord(file, &version);
    PutWord(file, &headerSize);
    for (const float& v : h.voxelShift) PutWord(file, &v);
    for (const float& v : h.fov) PutWord(file, &v);
    for (const int& v : h.dim) PutWord(file, &v);
    for (const void* field : {(const void*)&h.points, (const void*)&h.firstPoint, (const void*)&h.lastPoint,
                              (const void*)&h.width, (const void*)&h.frequency, (const void*)&h.ppmCentrePoint,
                              (const void*)&h.ppmCentreValue, (const void*)&h.phase0, (const void*)&h.phase1,
                              (const void*)&h.pivot, (const void*)&h.readerFlag, (const void*)&h.domainFlag,
                              (const void*)&h.format, (const void*)&h.echoPosition, (const void*)&h.spatialDims,
                              (const void*)&h.sliceAxis, (const void*)&h.tr, (const void*)&h.te,
                              (const void*)&h.averages, (const void*)&h.kSpace, (const void*)&h.multiSlice})
        PutWord(file, field);
    for (const float& v : h.angulation) PutWord(file, &v);
    for (const float& v : h.offCentre) PutWord(file, &v);
    for (const float& v : h.rotation) PutWord(file, &v);
    PutWord(file, &h.lorentz);
    PutWord(file, &h.gauss);
    if (file.size() != 196)
        __builtin_trap();
    file.resize(256, '\0');
    const size_t values = size_t(2) * size_t(h.points) * size_t(h.dim[0] * h.dim[1] * h.dim[2]);
    for (size_t k = 0; k < values; ++k) {
        const float value = vx::fuzz::ChosenSample(samples, k);
        PutWord(file, &value);
    }
    return file;
}

// The set holds the header's values (the flag words by their bit 0), the inverse of its
// rotation, one unphased entry per slice of a multi-slice set, a slice thickness of the
// field of view over the slices, and every voxel's samples.
void CheckChosenRead(const TCSISet& set, const TChosenHeader& h, std::string_view samples)
{
    using vx::fuzz::Require;
    for (int k = 0; k < 3; ++k)
        Require(set.m_fVoxelShift[k] == h.voxelShift[k] && set.m_fFOV[k] == h.fov[k] && set.m_nDim[k] == h.dim[k] &&
                    set.m_fAngulation[k] == h.angulation[k] && set.m_fOffCentre[k] == h.offCentre[k],
                "voxel shift, field of view, grid, angulation and off-centre of the header");
    Require(set.m_nPoints == h.points && set.m_nFirstPoint == h.firstPoint && set.m_nLastPoint == h.lastPoint &&
                set.m_nSpectralWidth == h.width && set.m_fFrequency == h.frequency,
            "points, point range, sweep width and frequency of the header");
    Require(set.m_fPPMCentrePoint == h.ppmCentrePoint && set.m_fPPMCentreValue == h.ppmCentreValue &&
                set.m_fPhase0 == h.phase0 && set.m_fPhase1 == h.phase1 && set.m_nPivot == h.pivot,
            "ppm reference, phases and pivot of the header");
    Require(set.m_bEchoShifted == (h.readerFlag & 1) && set.m_bFrequencyDomain == (h.domainFlag & 1),
            "bit 0 of the reader and domain flag words");
    Require(set.m_nFormat == h.format && set.m_nEchoPosition == h.echoPosition &&
                set.m_nSpatialDims == h.spatialDims && set.m_nSliceAxis == h.sliceAxis,
            "reader word, echo position, dimensions and slice axis of the header");
    Require(set.m_fTR == h.tr && set.m_fTE == h.te && set.m_fAverages == h.averages && set.m_bKSpace == h.kSpace &&
                set.m_bMultiSlice == h.multiSlice,
            "TR, TE, acquisition value, k-space and multi-slice flags of the header");
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            Require(set.m_fRotation[row][column] == h.rotation[3 * row + column] &&
                        set.m_fRotationInverse[column][row] == h.rotation[3 * row + column],
                    "rotation of the header and its inverse");
    Require(set.m_fLorentzBroadening == h.lorentz && set.m_fGaussBroadening == h.gauss,
            "the two broadenings of the header");
    const int s = h.sliceAxis;
    Require(set.m_slicePhases.size() == (h.multiSlice ? size_t(h.dim[s]) : 0), "one phase entry per slice");
    for (const TSlicePhase& phase : set.m_slicePhases)
        Require(phase.m_fPhase0 == 0.0f && phase.m_fPhase1 == 0.0f && phase.m_fPivot == 0.0f,
                "the slices start unphased");
    Require(set.m_fSliceThickness == h.fov[s] / float(h.dim[s]) && set.m_fSliceGap == 0.0f,
            "slice thickness of the field of view over the slices");
    Require(set.m_strName == "input", "name of the file");
    std::vector<std::complex<float>> spectrum(size_t(h.points));
    const size_t voxels = size_t(h.dim[0] * h.dim[1] * h.dim[2]);
    for (size_t v = 0; v < voxels; ++v) {
        for (int i = 0; i < h.points; ++i) {
            const size_t k = 2 * (v * size_t(h.points) + size_t(i));
            spectrum[size_t(i)] = {vx::fuzz::ChosenSample(samples, k), vx::fuzz::ChosenSample(samples, k + 1)};
        }
        Require(vx::fuzz::VoxelHolds(set, v, spectrum.data(), h.points), "each voxel holds its samples of the file");
    }
}

// Reads the chosen file made unreadable as bits 1-2 (k) and 5 of `pick` say: something
// else in its place, or its open or k-th read failing.
void ReadUnreadable(const std::string& path, const TCSIReadParams& params, uint8_t pick)
{
    using vx::fuzz::Require;
    using vx::fuzz::Said;
    const int k = (pick >> 1) & 3;
    TInternalFormatReader reader(&params);
    if ((pick & 0x20) == 0) {
        const std::string found = vx::fuzz::PutSpecialFile(path, k - 1);
        if (found.empty())
            return;
        std::unique_ptr<TCSISet> set(reader.Read(path));
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        Require(!set && Said("Can not open CSI data set file " + path + ": it is " + found + ", not a file"),
                "a data-set file that is no file is refused, saying what stands there");
        return;
    }
    // The version word, the header and the samples take a read each at least.
    vx::SetFileFaults({{k == 0 ? vx::kFileOpenRead : vx::kFileRead, EIO, std::max(k, 1), false}});
    std::unique_ptr<TCSISet> set(reader.Read(path));
    const bool struck = vx::FileFaultStruck();
    vx::SetFileFaults({});
    if (k == 0)
        Require(struck && !set && Said("Can not open CSI data set file " + path + ": input/output error"),
                "a data-set file whose open fails is refused, saying why");
    else
        Require(struck && !set && Said("The CSI data file " + path + " cannot be read to its end: input/output error."),
                "a data-set file whose read fails is refused, saying that it cannot be read to its end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    TCSIReadParams params;
    params.m_nFormat = 22;
    const bool chosen = size > 0 && (data[0] & 0x80) != 0;
    std::string path;
    TChosenHeader header{};
    std::string_view samples;
    bool cut = false, large = false;
    if (chosen) {
        if (size < 1 + kParameterBytes)
            return 0;
        header = ChosenHeader(data + 1);
        samples = std::string_view(reinterpret_cast<const char*>(data) + 1 + kParameterBytes, size - 1 - kParameterBytes);
        cut = (data[0] & 1) != 0;
        large = !cut && (data[0] & 0x40) != 0;
        if (large) {
            // The chosen point range, pivot and echo position stay within 64 points.
            header.dim[0] = header.dim[1] = 64;
            header.dim[2] = 2;
            header.points = 64;
        }
        std::string file = ChosenFile(header, samples);
        if (cut) {
            // 1 to 253 bytes fewer: the version word and most of the header stay.
            const size_t drop = 1 + ((data[0] >> 1) & 0x3f) * 4;
            file.erase(file.end() - std::ptrdiff_t(drop), file.end());
        }
        path = vx::fuzz::WriteScratch("input.dat", file);
    } else {
        path = vx::fuzz::WriteScratch("input.dat", data, size);
    }
    vx::fuzz::ClearReportTexts();
    if (chosen && !cut && !large && (data[0] & 0x26) != 0) {
        ReadUnreadable(path, params, data[0]);
        return 0;
    }
    TInternalFormatReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    if (chosen) {
        if (cut) {
            vx::fuzz::Require(!set && vx::fuzz::Said("Data file " + path + " cannot be read or is invalid."),
                              "a file that ends early is refused with the reader's message");
            return 0;
        }
        vx::fuzz::Require(set != nullptr, "a file the program could have written is read");
        CheckChosenRead(*set, header, samples);
        // The project's road is taken by the small sets: a large one would take it at a
        // second an input.
        if (large)
            return 0;
    }
    // A chosen file holds values a project lists: its set must be added.
    vx::fuzz::AddThroughProject(set.get(), path, params, chosen);
    if (set) {
        const std::string saved = vx::JoinPath(vx::fuzz::ScratchFolder(), "saved.dat");
        if (set->WriteDataFile(saved, false)) {
            TInternalFormatReader again(&params);
            std::unique_ptr<TCSISet> back(again.Read(saved));
            // What the program wrote, it must read.
            if (!back)
                __builtin_trap();
        }
    }
    return 0;
}
