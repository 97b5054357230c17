// CSI data described by the user and CSI sets handed over by a reader plug-in. Bit 0 of
// the first input byte picks the raw reader or the plug-in reader with the fuzz plug-in
// (fuzz/plugin), which builds the parameter record it hands back, the CSI set record, its
// texts and its samples from the rest. For the raw reader, bit 1 picks where the read
// parameters of the Add CSI Set dialog (TCSIReadParams) come from:
//  - bit 1 clear: the next 116 bytes are the block as it lies in memory, the rest the file;
//  - bit 1 set: the next 27 bytes choose a block within the dialog's sensible ranges (see
//    ChosenParameters), the rest gives the samples of a file the target writes for it
//    (ChosenFile). The set read must hold what the block says, and the samples of the file
//    unless the options transform them; a block with a field of view of 0 must be refused
//    with the reader's message.
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
        const std::string path = vx::fuzz::WriteScratch("scan.raw", ChosenFile(read.params, samples));
        vx::fuzz::ClearReportTexts();
        TRawReader reader(&read.params);
        std::unique_ptr<TCSISet> set(reader.Read(path));
        if (read.invalid) {
            vx::fuzz::Require(!set && vx::fuzz::Said("Parameter entered invalid."),
                              "a field of view of 0 is refused with the reader's message");
            return 0;
        }
        vx::fuzz::Require(set != nullptr, "a block within the dialog's ranges and its whole file are read");
        CheckChosenRead(*set, read, path, samples);
        vx::fuzz::AddThroughProject(set.get(), path, read.params);
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
    const std::string path = vx::fuzz::WriteScratch("scan.plugin", data, size);
    TPluginReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    vx::fuzz::AddThroughProject(set.get(), path, params);
    return 0;
}
