// CSI data described by the user and CSI sets handed over by a reader plug-in. Bit 0 of
// the first input byte picks the raw reader or the plug-in reader with the fuzz plug-in
// (fuzz/plugin), which builds the parameter record it hands back, the CSI set record, its
// texts and its samples from the file it is given. For the raw reader, bit 1 picks where
// the read parameters of the Add CSI Set dialog (TCSIReadParams) come from:
//  - bit 1 clear: the next 116 bytes are the block as it lies in memory, the rest the file;
//  - bit 1 set: the next 27 bytes choose a block within the dialog's sensible ranges (see
//    ChosenParameters), the rest gives the samples of a file the target writes for it
//    (ChosenFile). The set read must hold what the block says, and the samples of the file
//    unless the options transform them; a block with a field of view of 0 must be refused
//    with the reader's message.
// For the plug-in reader, bit 1 picks what the plug-in is given:
//  - bit 1 clear: the rest of the input is the plug-in's file as it stands;
//  - bit 1 set: the next 159 bytes choose the records (see ChosenPlugin), the rest gives
//    their samples, and the target writes the plug-in's file from them (PluginFile). The
//    set read must hold the record's values, texts and (read raw, or in the space and
//    frequency domains) samples by the plug-in reader's mapping; no record, no sample
//    block, and a record whose sizes, slice axis, echo position or spectral values are out
//    of range must be refused with the reader's message.
#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/PluginTable.h"
#include "readers/CSIFormats.h"
#include "readers/TPluginReader.h"
#include "readers/TRawReader.h"

namespace {

constexpr size_t kParameterBytes = 27;

// What the samples of a chosen block go through: read as they are ("Load raw data"), the
// post-read with data in the space and frequency domains and no option (the samples stay
// as read), or any options (the parameters are checked only).
enum class TSampleRoad { Raw, Untouched, Options };

struct TChosenRead {
    TCSIReadParams params;
    TSampleRoad road = TSampleRoad::Raw;
    bool invalid = false;  // a field of view of 0, which the reader refuses
};

// Matrix 1-4 per axis, 2-64 points (a power of two), every sample type and byte order, a
// sweep width of eight, frequency 1 + n/64 MHz, a header of 0-255 bytes, every axis order
// and orientation, fields of view of 4-256 mm, angulations of -64 to 63.5 degrees,
// off-centres of -4096 to 4095.875 mm, an echo peak of 0-31.875 ms; one block in sixteen
// has one field of view of 0.
TChosenRead ChosenParameters(const uint8_t* data)
{
    static constexpr int kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    vx::fuzz::TChosen chosen(data, kParameterBytes);
    TChosenRead read;
    TCSIReadParams& p = read.params;
    p.m_nFormat = kRawFormat;
    for (int& size : p.m_nDim)
        size = 1 + chosen.Pick(4);
    p.m_nPoints = chosen.Points();
    const uint8_t layout = chosen.Byte();
    p.m_nSampleType = layout & 3;
    p.m_bSwapBytes = (layout >> 2) & 1;
    p.m_nOrientation = (layout >> 3) % 3;
    p.m_nSweepWidth = chosen.SweepWidth();
    p.m_fFrequency = 1.0f + float(chosen.Word()) / 64.0f;
    p.m_nHeaderSize = chosen.Byte();
    const int* order = kOrders[chosen.Pick(6)];
    std::copy(order, order + 3, p.m_nAxisOrder);
    for (int k = 0; k < 3; ++k) {
        p.m_fFOV[k] = float(4 * (1 + chosen.Pick(64)));
        p.m_fAngulation[k] = chosen.Signed(2.0f);
        p.m_fOffCentre[k] = float(int16_t(chosen.Word())) / 8.0f;
    }
    const uint8_t echo = chosen.Byte();
    p.m_bEchoAcquisition = echo & 1;
    p.m_fEchoPeakTime = float(echo >> 1) / 4.0f;
    read.road = static_cast<TSampleRoad>(chosen.Pick(3));
    const uint16_t bits = chosen.Word();  // the options of the last road
    switch (read.road) {
    case TSampleRoad::Raw: p.m_bLoadRawData = 1; break;
    case TSampleRoad::Untouched:
        p.m_bSpaceDomain = 1;
        p.m_bFrequencyDomain = 1;
        break;
    case TSampleRoad::Options: {
        uint8_t* flags[] = {&p.m_bInvert[0], &p.m_bInvert[1], &p.m_bInvert[2], &p.m_bCenter[0], &p.m_bCenter[1],
                            &p.m_bCenter[2], &p.m_bNormalize, &p.m_bRemoveOffset, &p.m_bFlipFrequency,
                            &p.m_bKSpaceCorrection, &p.m_bHalfVoxelShift, &p.m_bFrequencyDomain, &p.m_bSpaceDomain};
        for (size_t k = 0; k < std::size(flags); ++k)
            *flags[k] = (bits >> k) & 1;
        break;
    }
    }
    const uint8_t damage = chosen.Byte();
    if (damage < 16) {
        read.invalid = true;
        p.m_fFOV[damage % 3] = 0.0f;
    }
    return read;
}

// The value that sample number k of the file holds (two a complex point): the chosen
// number itself for integer samples, divided by 16 for floating-point ones.
float FileValue(const TCSIReadParams& p, std::string_view samples, size_t k)
{
    return p.m_nSampleType < 2 ? float(vx::fuzz::ChosenWord(samples, k)) : vx::fuzz::ChosenSample(samples, k);
}

// The file of a chosen block: m_nHeaderSize bytes, then every voxel's samples in the
// block's axis order and sample type, little-endian or (swapped) big-endian.
std::string ChosenFile(const TCSIReadParams& p, std::string_view samples)
{
    std::string file(size_t(p.m_nHeaderSize), 'h');
    const size_t values = size_t(2) * size_t(p.m_nPoints) * size_t(p.m_nDim[0] * p.m_nDim[1] * p.m_nDim[2]);
    static constexpr size_t kWidth[] = {2, 4, 4, 8};
    for (size_t k = 0; k < values; ++k) {
        char bytes[8];
        const float value = FileValue(p, samples, k);
        switch (p.m_nSampleType) {
        case 0: { const int16_t v = int16_t(value); std::memcpy(bytes, &v, 2); break; }
        case 1: { const int32_t v = int32_t(value); std::memcpy(bytes, &v, 4); break; }
        case 2: std::memcpy(bytes, &value, 4); break;
        default: { const double v = value; std::memcpy(bytes, &v, 8); break; }
        }
        const size_t width = kWidth[p.m_nSampleType];
        if (p.m_bSwapBytes)
            std::reverse(bytes, bytes + width);
        file.append(bytes, width);
    }
    return file;
}

// The set holds the block's grid, spectral values and geometry as the raw reader takes
// them, and (unless the options transform them) the file's samples: the voxel at index f,
// m, s along the block's fastest, middle and slowest axis holds the file's spectrum number
// f + nf * (m + nm * s).
void CheckChosenRead(const TCSISet& set, const TChosenRead& read, const std::string& path, std::string_view samples)
{
    using vx::fuzz::Require;
    const TCSIReadParams& p = read.params;
    int ones = 0;
    for (int k = 0; k < 3; ++k) {
        Require(set.m_nDim[k] == p.m_nDim[k] && set.m_fFOV[k] == p.m_fFOV[k] &&
                    set.m_fAngulation[k] == p.m_fAngulation[k] && set.m_fOffCentre[k] == p.m_fOffCentre[k] &&
                    set.m_fVoxelShift[k] == 0.0f,
                "grid, field of view, angulation and off-centre of the block");
        ones += p.m_nDim[k] == 1;
    }
    Require(set.m_nSpatialDims == (ones == 0 ? 3 : ones == 1 ? 2 : 1), "dimensions from the axes of size 1");
    Require(set.m_nFormat == kRawFormat && set.m_strName == "scan" && set.m_strDataPath == path,
            "format, name and source of the set");
    Require(set.m_nPoints == p.m_nPoints && set.m_nSpectralWidth == p.m_nSweepWidth &&
                set.m_fFrequency == p.m_fFrequency && set.m_nFirstPoint == 0 &&
                set.m_nLastPoint == p.m_nPoints - 1 && set.m_fPPMCentrePoint == float(p.m_nPoints / 2) &&
                set.m_fPPMCentreValue == 0.0f,
            "points, sweep width, frequency and ppm reference of the block");
    int echo = 0;
    if (p.m_bEchoAcquisition) {
        const double top = double(p.m_nSweepWidth) * double(p.m_fEchoPeakTime) * 0.001;
        echo = top >= 0 && top < p.m_nPoints ? int(top) : 0;
    }
    Require(set.m_bEchoShifted == p.m_bEchoAcquisition && set.m_nEchoPosition == echo,
            "echo position of the sweep width and the echo peak time");
    const int s = p.m_nOrientation;
    Require(set.m_nSliceAxis == s && set.m_fSliceThickness == p.m_fFOV[s] / float(p.m_nDim[s]) &&
                set.m_fSliceGap == 0.0f,
            "slice axis and thickness of the orientation");
    if (read.road == TSampleRoad::Raw)
        Require(set.m_bFrequencyDomain == 0, "raw samples stay in the time domain");
    else
        Require(set.m_bFrequencyDomain == 1 && (set.m_nSpatialDims == 1 || set.m_bKSpace == 0),
                "post-read samples are spectra in voxel space");
    if (read.road == TSampleRoad::Options)
        return;
    const int n[3] = {p.m_nDim[p.m_nAxisOrder[0]], p.m_nDim[p.m_nAxisOrder[1]], p.m_nDim[p.m_nAxisOrder[2]]};
    std::vector<std::complex<float>> spectrum(size_t(p.m_nPoints));
    for (int s3 = 0; s3 < n[2]; ++s3)
        for (int m = 0; m < n[1]; ++m)
            for (int f = 0; f < n[0]; ++f) {
                const size_t fileVoxel = size_t(f + n[0] * (m + n[1] * s3));
                int at[3];
                at[p.m_nAxisOrder[0]] = f;
                at[p.m_nAxisOrder[1]] = m;
                at[p.m_nAxisOrder[2]] = s3;
                for (int i = 0; i < p.m_nPoints; ++i) {
                    const size_t k = 2 * (fileVoxel * size_t(p.m_nPoints) + size_t(i));
                    spectrum[size_t(i)] = {FileValue(p, samples, k), FileValue(p, samples, k + 1)};
                }
                const size_t voxel = size_t(at[0] + p.m_nDim[0] * (at[1] + p.m_nDim[1] * at[2]));
                Require(vx::fuzz::VoxelHolds(set, voxel, spectrum.data(), p.m_nPoints),
                        "each voxel holds its spectrum of the file in the block's axis order and sample type");
            }
}


// The records of a chosen plug-in read: what the parameter record hands back (the flags
// of the post-read step) and the CSI set record's values, texts and samples.
struct TChosenPlugin {
    TSampleRoad road = TSampleRoad::Raw;
    uint8_t invert[3] = {}, flags[14] = {};  // the parameter record's bytes 100-113
    int32_t dim[3] = {}, points = 0, sliceAxis = 0, width = 0, echoPosition = 0, volumes = 0;
    float frequency = 0, fov[3] = {}, angulation[3] = {}, offCentre[3] = {}, rotation[9] = {}, inverse[9] = {};
    float thickness = 0, gap = 0, averages = 0, tr = 0, te = 0;
    float volOffCentre[3] = {}, volAngulation[3] = {}, volSize[3] = {}, extra[3] = {};
    uint8_t echoShifted = 0, multiSlice = 0, frequencyDomain = 0, kSpace = 0;
    uint8_t handOver = 0;  // 1: no sample block, 2: no record
    bool invalid = false;  // a value the reader refuses
    std::string texts[7];
};

constexpr size_t kPluginChosenBytes = 159;

// Sizes 1-4 per axis, 2-64 points, every slice axis, a sweep width of eight, frequency
// 1 + n/64 MHz, fields of view of 4-256 mm, angulations of -64 to 63.5 degrees, off-centres
// of -4096 to 4095.875 mm, rotations of -2 to 2, flag bytes of any value, an echo position
// within the points, volumes -1 to 3 and texts of 0-12 printable characters; the flags
// of the road (as ChosenParameters takes it). One record in seven is refused: no record,
// no sample block, or one size, the slice axis, the echo position, a field of view, the
// frequency or the sweep width out of range.
TChosenPlugin ChosenPlugin(const uint8_t* data)
{
    vx::fuzz::TChosen chosen(data, kPluginChosenBytes);
    TChosenPlugin r;
    for (int32_t& size : r.dim)
        size = 1 + chosen.Pick(4);
    r.points = chosen.Points();
    r.sliceAxis = chosen.Pick(3);
    r.width = chosen.SweepWidth();
    r.frequency = 1.0f + float(chosen.Word()) / 64.0f;
    for (int k = 0; k < 3; ++k) {
        r.fov[k] = float(4 * (1 + chosen.Pick(64)));
        r.angulation[k] = chosen.Signed(2.0f);
        r.offCentre[k] = float(int16_t(chosen.Word())) / 8.0f;
    }
    for (int k = 0; k < 9; ++k) {
        r.rotation[k] = chosen.Signed(64.0f);
        r.inverse[k] = chosen.Signed(64.0f);
    }
    r.echoShifted = chosen.Byte();
    r.echoPosition = chosen.Pick(r.points);
    r.multiSlice = chosen.Byte();
    r.thickness = float(chosen.Word()) / 16.0f;
    r.gap = chosen.Signed(4.0f);
    r.frequencyDomain = chosen.Byte();
    r.kSpace = chosen.Byte();
    r.averages = float(chosen.Byte());
    r.tr = float(chosen.Word()) / 4.0f;
    r.te = float(chosen.Word()) / 16.0f;
    r.volumes = chosen.Pick(5) - 1;
    for (int k = 0; k < 3; ++k) {
        r.volOffCentre[k] = chosen.Signed(1.0f);
        r.volAngulation[k] = chosen.Signed(2.0f);
        r.volSize[k] = float(chosen.Byte()) / 2.0f;
        r.extra[k] = chosen.Signed(8.0f);
    }
    // The flags: Load raw data with any others; the data in the space and frequency domains
    // with any inversions and the options that have no effect there; or any options.
    r.road = static_cast<TSampleRoad>(chosen.Pick(3));
    const uint16_t bits = chosen.Word();
    for (int k = 0; k < 14; ++k)
        r.flags[k] = (bits >> k) & 1;
    uint8_t* const normalize = &r.flags[6];
    uint8_t* const removeOffset = &r.flags[7];
    uint8_t* const kSpaceCorrection = &r.flags[9];
    uint8_t* const frequency = &r.flags[11];
    uint8_t* const space = &r.flags[12];
    uint8_t* const raw = &r.flags[13];
    if (r.road == TSampleRoad::Raw)
        *raw = 1;
    if (r.road == TSampleRoad::Untouched) {
        *normalize = *removeOffset = *kSpaceCorrection = *raw = 0;
        *frequency = *space = 1;
    }
    std::copy(r.flags, r.flags + 3, r.invert);
    const uint8_t damage = chosen.Byte();
    if (damage < 36) {
        const int sign = damage / 9 % 2 == 0 ? 0 : -1;  // zero or a negative value
        const int axis = damage / 9 % 3;
        r.invalid = damage % 9 > 1;
        switch (damage % 9) {
        case 0: r.handOver = 2; break;
        case 1: r.handOver = 1; break;
        case 2: r.dim[axis] = sign * (1 + damage); break;
        case 3: r.points = sign; break;
        case 4: r.sliceAxis = sign == 0 ? 3 : -1; break;
        case 5: r.echoPosition = sign == 0 ? r.points : -1; break;
        case 6: r.fov[axis] = float(sign); break;
        case 7: r.frequency = float(sign); break;
        default: r.width = sign; break;
        }
    }
    for (std::string& text : r.texts) {
        const size_t length = size_t(chosen.Pick(13));
        for (size_t k = 0; k < 12; ++k) {
            const char c = char(0x20 + chosen.Byte() % 95);
            if (k < length)
                text += c;
        }
    }
    return r;
}

template <typename T>
void PutAt(std::string& bytes, size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// The file the fuzz plug-in builds its records from (fuzz/plugin): the parameter record
// with the chosen flags at bytes 100-113 (the rest zero), the CSI set record with the
// chosen values at their offsets, the texts, and 2 * points * nx * ny * nz samples as
// 32-bit floats, x fastest.
std::string PluginFile(const TChosenPlugin& r, std::string_view samples)
{
    std::string params(116, '\0');
    std::copy(r.flags, r.flags + 14, params.begin() + 100);
    std::string record(344, '\0');
    for (size_t k = 0; k < 3; ++k) {
        PutAt(record, 4 * k, r.dim[k]);
        PutAt(record, 28 + 4 * k, r.fov[k]);
        PutAt(record, 40 + 4 * k, r.angulation[k]);
        PutAt(record, 52 + 4 * k, r.offCentre[k]);
        PutAt(record, 288 + 4 * k, r.volOffCentre[k]);
        PutAt(record, 300 + 4 * k, r.volAngulation[k]);
        PutAt(record, 312 + 4 * k, r.volSize[k]);
        PutAt(record, 324 + 4 * k, r.extra[k]);
    }
    for (size_t k = 0; k < 9; ++k) {
        PutAt(record, 64 + 4 * k, r.rotation[k]);
        PutAt(record, 100 + 4 * k, r.inverse[k]);
    }
    PutAt(record, 12, r.points);
    PutAt(record, 16, r.sliceAxis);
    PutAt(record, 20, r.width);
    PutAt(record, 24, r.frequency);
    record[136] = char(r.echoShifted);
    PutAt(record, 140, r.echoPosition);
    record[144] = char(r.multiSlice);
    PutAt(record, 148, r.thickness);
    PutAt(record, 152, r.gap);
    record[156] = char(r.frequencyDomain);
    record[157] = char(r.kSpace);
    PutAt(record, 272, r.averages);
    PutAt(record, 276, r.tr);
    PutAt(record, 280, r.te);
    PutAt(record, 284, r.volumes);
    record[336] = char(r.handOver);
    std::string file = params + record;
    for (const std::string& text : r.texts)
        file += text + '\0';
    const size_t floats = r.dim[0] > 0 && r.dim[1] > 0 && r.dim[2] > 0 && r.points > 0
                              ? size_t(2 * r.points * r.dim[0] * r.dim[1] * r.dim[2]) : 0;
    for (size_t k = 0; k < floats; ++k) {
        char bytes[4];
        const float value = vx::fuzz::ChosenSample(samples, k);
        std::memcpy(bytes, &value, 4);
        file.append(bytes, 4);
    }
    return file;
}

// The set holds the record's values by the plug-in reader's mapping (a flag byte other
// than 0 as 1, volumes within 0-2), its texts in the order exam name, exam date, patient
// name, birth date, position, orientation and nucleus, and (read raw, or in the space and
// frequency domains) the record's samples: voxel x, y, z holds spectrum x + nx * (y + ny * z)
// of the record, counted from the far end along each inverted axis.
void CheckChosenPlugin(const TCSISet& set, const TChosenPlugin& r, const std::string& path, std::string_view samples)
{
    using vx::fuzz::Require;
    int ones = 0;
    for (int k = 0; k < 3; ++k) {
        Require(set.m_nDim[k] == r.dim[k] && set.m_fFOV[k] == r.fov[k] && set.m_fAngulation[k] == r.angulation[k] &&
                    set.m_fOffCentre[k] == r.offCentre[k],
                "grid, field of view, angulation and off-centre of the record");
        Require(set.m_fVolOffCentre[k][0] == r.volOffCentre[k] && set.m_fVolAngulation[k][0] == r.volAngulation[k] &&
                    set.m_fVolSize[k][0] == r.volSize[k] && set.m_fExtra[k] == r.extra[k],
                "first volume and extra values of the record");
        for (int c = 0; c < 3; ++c)
            Require(set.m_fRotation[k][c] == r.rotation[3 * k + c] &&
                        set.m_fRotationInverse[k][c] == r.inverse[3 * k + c],
                    "rotation and inverse of the record, row by row");
        ones += r.dim[k] == 1;
    }
    Require(set.m_nSpatialDims == (ones == 0 ? 3 : ones == 1 ? 2 : 1), "dimensions from the axes of size 1");
    Require(set.m_nFormat == vx::kFirstPluginFormat && set.m_strName == "scan" && set.m_strDataPath == path,
            "format, name and source of the set");
    Require(set.m_nPoints == r.points && set.m_nSliceAxis == r.sliceAxis && set.m_nSpectralWidth == r.width &&
                set.m_fFrequency == r.frequency && set.m_nFirstPoint == 0 && set.m_nLastPoint == r.points - 1 &&
                set.m_fPPMCentrePoint == float(r.points / 2) && set.m_fPPMCentreValue == 0.0f,
            "points, slice axis, sweep width, frequency and ppm reference of the record");
    Require(set.m_bEchoShifted == (r.echoShifted != 0) && set.m_nEchoPosition == r.echoPosition &&
                set.m_bMultiSlice == (r.multiSlice != 0) && set.m_fSliceThickness == r.thickness &&
                set.m_fSliceGap == r.gap,
            "echo, multi-slice flag, slice thickness and gap of the record");
    Require(set.m_fAverages == r.averages && set.m_fTR == r.tr && set.m_fTE == r.te &&
                set.m_nVolumes == std::clamp(r.volumes, 0, 2),
            "averages, TR, TE and volumes of the record");
    const std::string* texts[7] = {&set.m_strExamName,         &set.m_strExamDate,        &set.m_strPatientName,
                                   &set.m_strPatientBirthDate, &set.m_strPatientPosition, &set.m_strPatientOrientation,
                                   &set.m_strNucleus};
    for (int i = 0; i < 7; ++i)
        Require(*texts[i] == r.texts[i], "texts of the record in their order");
    const bool raw = r.flags[13] != 0;  // Load raw data, as the parameter record hands it back
    if (raw)
        Require(set.m_bFrequencyDomain == (r.frequencyDomain != 0) && set.m_bKSpace == (r.kSpace != 0),
                "read raw, the domains of the record");
    else
        Require(set.m_bFrequencyDomain == 1 && set.m_bKSpace == (set.m_nSpatialDims == 1 && r.kSpace != 0),
                "post-read samples are spectra in voxel space");
    if (!raw && r.road != TSampleRoad::Untouched)
        return;
    const bool inverted[3] = {r.road == TSampleRoad::Untouched && r.invert[0] != 0,
                              r.road == TSampleRoad::Untouched && r.invert[1] != 0,
                              r.road == TSampleRoad::Untouched && r.invert[2] != 0};
    std::vector<std::complex<float>> spectrum(size_t(r.points));
    for (int z = 0; z < r.dim[2]; ++z)
        for (int y = 0; y < r.dim[1]; ++y)
            for (int x = 0; x < r.dim[0]; ++x) {
                const int at[3] = {inverted[0] ? r.dim[0] - 1 - x : x, inverted[1] ? r.dim[1] - 1 - y : y,
                                   inverted[2] ? r.dim[2] - 1 - z : z};
                const size_t from = size_t(at[0] + r.dim[0] * (at[1] + r.dim[1] * at[2]));
                for (int i = 0; i < r.points; ++i) {
                    const size_t k = 2 * (from * size_t(r.points) + size_t(i));
                    spectrum[size_t(i)] = {vx::fuzz::ChosenSample(samples, k), vx::fuzz::ChosenSample(samples, k + 1)};
                }
                const size_t voxel = size_t(x + r.dim[0] * (y + r.dim[1] * z));
                Require(vx::fuzz::VoxelHolds(set, voxel, spectrum.data(), r.points),
                        "each voxel holds its spectrum of the record, x fastest, inverted where the flags say");
            }
}

// Reads a file the target wrote from chosen values with a reader of those parameters. A
// refusal must come with the reader's message `refusal`; without one the set must be read,
// hold what `check` requires and go through a project.
template <class Reader>
void ReadChosenFile(const std::string& name, const std::string& bytes, const TCSIReadParams& params,
                    const char* refusal, const std::function<void(const TCSISet&, const std::string&)>& check)
{
    const std::string path = vx::fuzz::WriteScratch(name, bytes);
    vx::fuzz::ClearReportTexts();
    Reader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    if (refusal) {
        vx::fuzz::Require(!set && vx::fuzz::Said(refusal), "a value the reader refuses comes with its message");
        return;
    }
    vx::fuzz::Require(set != nullptr, "values within the sensible ranges and their whole file are read");
    check(*set, path);
    vx::fuzz::AddThroughProject(set.get(), path, params);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool ready = [] {
        vx::fuzz::Prepare();
        std::string failure;
        vx::PublishPluginTable(vx::LoadPluginFolder(VX_FUZZ_PLUGIN_FOLDER, failure));
        if (!failure.empty())
            __builtin_trap();  // the plug-in folder built beside the target must be there
        return true;
    }();
    (void)ready;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    TCSIReadParams params;
    if ((pick & 1) == 0 && (pick & 2) != 0) {
        if (size < kParameterBytes)
            return 0;
        const TChosenRead read = ChosenParameters(data);
        const std::string_view samples(reinterpret_cast<const char*>(data) + kParameterBytes, size - kParameterBytes);
        ReadChosenFile<TRawReader>("scan.raw", ChosenFile(read.params, samples), read.params,
                                   read.invalid ? "Parameter entered invalid." : nullptr,
                                   [&](const TCSISet& set, const std::string& path) {
                                       CheckChosenRead(set, read, path, samples);
                                   });
        return 0;
    }
    if ((pick & 1) == 0) {
        if (size < sizeof params)
            return 0;
        std::memcpy(&params, data, sizeof params);
        params.m_nFormat = kRawFormat;
        const std::string path = vx::fuzz::WriteScratch("scan.raw", data + sizeof params, size - sizeof params);
        TRawReader reader(&params);
        std::unique_ptr<TCSISet> set(reader.Read(path));
        vx::fuzz::AddThroughProject(set.get(), path, params);
        return 0;
    }
    params.m_nFormat = vx::kFirstPluginFormat;
    if ((pick & 2) != 0) {
        if (size < kPluginChosenBytes)
            return 0;
        const TChosenPlugin record = ChosenPlugin(data);
        const std::string_view samples(reinterpret_cast<const char*>(data) + kPluginChosenBytes,
                                       size - kPluginChosenBytes);
        const char* refusal = record.handOver != 0 ? "The DLL failed to read the data."
                              : record.invalid     ? "Some parameters of the CSI set are invalid."
                                                   : nullptr;
        ReadChosenFile<TPluginReader>("scan.plugin", PluginFile(record, samples), params, refusal,
                                      [&](const TCSISet& set, const std::string& path) {
                                          CheckChosenPlugin(set, record, path, samples);
                                      });
        return 0;
    }
    const std::string path = vx::fuzz::WriteScratch("scan.plugin", data, size);
    TPluginReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    vx::fuzz::AddThroughProject(set.get(), path, params);
    return 0;
}
