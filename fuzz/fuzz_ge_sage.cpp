// GE SAGE pairs through the SAGE reader. The first two input bytes give the length of the
// ".shf" text header; the rest is the ".sdf" data file. The first input byte also picks
// the options "Load raw data" (bit 0) and "Remove offset" (bit 1). A length of 65535 (more
// than an input holds) makes the target write the pair itself: the 32 bytes after the
// length give the values (see ChosenPair: TR, TE, centre frequency, points, sweep width,
// study number, the options (Load raw data, Remove offset and normalize, in place of the
// first byte's) and the sample precision, the plane or an oblique one by its
// row and column directions and corners, patient position and entry, the voxel's sizes
// and signed centre, frames and reference frames, the data offset, the date), from which
// it writes a single-voxel header in the format's own layout and the data file of its
// frames, reference frames first, from the samples of the rest of the input. The pair must
// read, and the set hold what the format's mapping gives those values and, read raw, the
// average of the frames after the references; a data file one byte short must be refused
// with the message that names it.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "readers/ReaderFactory.h"

namespace {

using vx::fuzz::Printed;
using vx::fuzz::Require;

struct TSagePair {
    float tr = 0, te = 0, frequency = 0;
    int points = 0, width = 0, study = 0;
    bool raw = false, removeOffset = false, normalize = false, cut = false, capitals = false, spectra = false;
    int precision = 2;  // 0 16-bit, 1 32-bit integers, 2 floats
    int plane = 2, position = 1, entry = 1;
    float row[3] = {}, column[3] = {}, corner[3][3] = {};  // corners in the set's axes (R and A negated)
    float size[3] = {}, centre[3] = {};                    // opuser8-10 and opuser11-13 as written
    int frames = 1, references = 0, written = 0;           // written: the num_ref_frames line
    int offset = 0;
    std::string date, storedDate;
};

constexpr size_t kParameterBytes = 32;

// The values, as TChosen takes them: TR (1/8 ms), TE (1/16 ms), centre frequency (1 +
// 1/64 MHz), points, sweep width, study number; options (bit 0 Load raw data, 1 Remove
// offset, 2 normalize, 3 a data file cut short, 4 the sequence name in capitals, 5 samples
// already spectra, 6-7 the precision); the plane (axial, sagittal, coronal or oblique) and
// an oblique plane's directions; position (1, 2, 4, 8 or 3, which no lying has) and entry (1,
// 2 or 0); voxel sizes (2 to 65.75 mm) and centre (-64 to 63.5 mm); frames (1 to 8) and
// references; the data offset; the date, long or short; an oblique plane's top-left corner
// and its sides (5 to 80 mm).
TSagePair ChosenPair(const uint8_t* data)
{
    vx::fuzz::TChosen c(data, kParameterBytes);
    TSagePair p;
    p.tr = float(c.Word()) / 8.0f;
    p.te = float(c.Word()) / 16.0f;
    p.frequency = 1.0f + float(c.Word()) / 64.0f;
    p.points = c.Points();
    p.width = c.SweepWidth();
    p.study = c.Word();
    const uint8_t options = c.Byte();
    p.raw = options & 1;
    p.removeOffset = options & 2;
    p.normalize = options & 4;
    p.cut = options & 8;
    p.capitals = options & 16;
    p.spectra = options & 32;
    p.precision = (options >> 6) % 3;
    static constexpr int kPlanes[] = {2, 4, 8, 16};
    p.plane = kPlanes[c.Pick(4)];
    vx::fuzz::ChosenDirections(c.Byte(), p.row, p.column);
    static constexpr int kPositions[] = {1, 2, 4, 8, 3};
    p.position = kPositions[c.Pick(5)];
    static constexpr int kEntries[] = {1, 2, 0};
    p.entry = kEntries[c.Pick(3)];
    for (float& s : p.size)
        s = float(c.Byte() + 8) / 4.0f;
    for (float& m : p.centre)
        m = c.Signed(2.0f);
    const uint8_t frames = c.Byte();
    p.frames = 1 + frames % 8;
    p.written = (frames >> 3) % 8;
    p.references = p.frames == 1 ? 0 : p.written % p.frames;
    if (p.frames > 1)
        p.written = p.references;
    static constexpr int kOffsets[] = {0, 24, 256, 1000};
    p.offset = kOffsets[c.Pick(4)];
    const uint16_t date = c.Word();
    const int month = 1 + date % 12, day = 1 + (date / 12) % 28, year = 1980 + (date / 336) % 60;
    if (date & 0x8000) {
        p.date = p.storedDate = Printed("%d/%d/%02d", month, day, year % 100);
    } else {
        p.date = Printed("%02d/%02d/%04d", month, day, year);
        p.storedDate = Printed("%04d.%02d.%02d", year, month, day);
    }
    // Top-left corner, top-right = top-left + a row, bottom-right = top-right + b column.
    for (float& x : p.corner[0])
        x = c.Signed(1.0f);
    const float a = float(5 * (1 + c.Pick(16))), b = float(5 * (1 + c.Pick(16)));
    for (int k = 0; k < 3; ++k) {
        p.corner[1][k] = p.corner[0][k] + a * p.row[k];
        p.corner[2][k] = p.corner[1][k] + b * p.column[k];
    }
    return p;
}

// The slice axis of the plane (sagittal 0, coronal 1, axial 2); an oblique plane's is the
// axis its directions run least along, which its "obplane" names.
int SliceAxisOf(const TSagePair& p)
{
    if (p.plane == 16)
        return vx::fuzz::PlaneGeometry(p.row, p.column, "RA").sliceAxis;
    return p.plane == 4 ? 0 : p.plane == 8 ? 1 : 2;
}

// The ".shf" header as a probe-p acquisition writes it.
std::string SageHeader(const TSagePair& p)
{
    static constexpr const char* kPrecisions[] = {"16", "32", "Float"};
    std::string text = "# SAGE Data Header (sdbm)\ndata_type       Complex\n";
    text += Printed("data_precision  %s\noffset_to_data  %d\nstudy_number    %d\ndate_acquired   %s\n",
                    kPrecisions[p.precision], p.offset, p.study, p.date.c_str());
    text += Printed("psd_name        %s\n", p.capitals ? "PROBE-P" : "probe-p");
    text += Printed("TR  %.3f\nTE  %.4f\ncenter_freq  %.6f\n", double(p.tr), double(p.te), double(p.frequency));
    text += Printed("position  %d\nentry  %d\nplane  %d\n", p.position, p.entry, p.plane);
    if (p.plane == 16) {
        static constexpr int kObplanes[] = {20, 24, 18};
        text += Printed("obplane  %d\n", kObplanes[SliceAxisOf(p)]);
        static constexpr const char* kCorners[] = {"tlhc", "trhc", "brhc"};
        for (int k = 0; k < 3; ++k)
            text += Printed("%s_R  %.3f\n%s_A  %.3f\n%s_S  %.3f\n", kCorners[k], -double(p.corner[k][0]), kCorners[k],
                            -double(p.corner[k][1]), kCorners[k], double(p.corner[k][2]));
    }
    text += Printed("num_ref_frames  %d\n", p.written);
    for (int k = 0; k < 3; ++k)
        text += Printed("opuser%d   %.2f\n", 8 + k, double(p.size[k]));
    for (int k = 0; k < 3; ++k)
        text += Printed("opuser%d  %.1f\n", 11 + k, double(p.centre[k]));
    text += Printed("dimen_num  0\ndomain     %s\nnum_pts    %d\nwidth      %d\n", p.spectra ? "Frequency" : "Time",
                    p.points, p.width);
    text += Printed("dimen_num  1\ndomain     None\nnum_pts    %d\n", p.frames);
    text += "dimen_num  2\ndomain     None\nnum_pts    1\ndimen_num  3\ndomain     None\nnum_pts    1\n";
    return text;
}

// Sample value k of the data file: the input's 16-bit number k as it is (16-bit), times
// 256 (32-bit), or divided by 16 (floats); every one exact in a float.
double SampleOf(const TSagePair& p, std::string_view samples, size_t k)
{
    if (p.precision == 2)
        return vx::fuzz::ChosenSample(samples, k);
    return double(vx::fuzz::ChosenWord(samples, k)) * (p.precision == 1 ? 256 : 1);
}

// The data file: `offset` bytes before the samples, then every frame, little-endian.
std::string SageData(const TSagePair& p, std::string_view samples)
{
    std::string bytes(size_t(p.offset), '\x5a');
    const size_t values = size_t(2) * size_t(p.points) * size_t(p.frames);
    for (size_t k = 0; k < values; ++k) {
        const double value = SampleOf(p, samples, k);
        if (p.precision == 0) {
            const int16_t v = int16_t(value);
            bytes.append(reinterpret_cast<const char*>(&v), 2);
        } else if (p.precision == 1) {
            const int32_t v = int32_t(value);
            bytes.append(reinterpret_cast<const char*>(&v), 4);
        } else {
            const float v = float(value);
            bytes.append(reinterpret_cast<const char*>(&v), 4);
        }
    }
    if (p.cut)
        bytes.pop_back();
    return bytes;
}

// The set holds what the header gives by the format's mapping: opuser8-10 the voxel's sizes
// along x, y and z, opuser11 and 12 its centre negated (R and A point the other way), 13 as
// written; the plane's slice axis and, for an oblique one, the rotation of its corners onto
// the standard view (the axial one as the patient lies); read raw, the average of the
// frames after the reference frames.
void CheckChosenRead(const TCSISet& set, const TSagePair& p, std::string_view samples)
{
    Require(set.m_fTR == p.tr && set.m_fTE == p.te && set.m_fFrequency == p.frequency && set.m_nPoints == p.points &&
                set.m_nSpectralWidth == p.width && set.m_strPatientName == std::to_string(p.study) &&
                set.m_strExamDate == p.storedDate && set.m_nVolumes == 1,
            "spectral values and texts of the header");
    static constexpr const char* kLying[] = {"Supine", "Prone", "Left-D", "Right-D"};
    static constexpr const char* kAxialLabels[] = {"RA", "LP", "PR", "AL"};
    const int lying = p.position == 2 ? 1 : p.position == 4 ? 2 : p.position == 8 ? 3 : 0;
    Require(set.m_strPatientPosition == kLying[lying] && set.m_strPatientOrientation == (p.entry == 2 ? "FF" : "HF"),
            "patient position and entry texts of their codes");
    const int axis = SliceAxisOf(p);
    Require(set.m_nSliceAxis == axis, "slice axis of the plane");
    static constexpr float kSign[] = {-1, -1, 1};
    for (int k = 0; k < 3; ++k)
        Require(set.m_nDim[k] == 1 && set.m_fFOV[k] == p.size[k] && set.m_fVolSize[k][0] == p.size[k] &&
                    set.m_fOffCentre[k] == kSign[k] * p.centre[k] &&
                    set.m_fVolOffCentre[k][0] == kSign[k] * p.centre[k] && set.m_fVolAngulation[k][0] == 0.0f,
                "the voxel's size and centre of opuser8-13");
    Require(set.m_nSpatialDims == 1 && set.m_fSliceThickness == p.size[axis] && set.m_fSliceGap == 0.0f,
            "one voxel, as thick as its size along the slice axis");
    const vx::fuzz::TPlaneGeometry plane = vx::fuzz::PlaneGeometry(p.row, p.column, kAxialLabels[lying]);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double expected = p.plane == 16 ? plane.rotation[i][j] : double(i == j);
            Require(vx::fuzz::Near(set.m_fRotation[i][j], expected) &&
                        vx::fuzz::Near(set.m_fRotationInverse[j][i], expected),
                    "rotation of the oblique plane's corners, and its inverse");
        }
    Require(set.m_bFrequencyDomain == (p.raw ? int(p.spectra) : 1), "domain of the samples");
    if (!p.raw)
        return;
    const std::vector<std::complex<float>> average = vx::fuzz::FrameAverage(
        p.points, p.references, p.frames, [&](size_t k) { return SampleOf(p, samples, k); });
    Require(vx::fuzz::VoxelHolds(set, 0, average.data(), p.points), "the average of the frames after the references");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < 2)
        return 0;
    TCSIReadParams params;
    params.m_nFormat = 14;
    params.m_bLoadRawData = data[0] & 1;
    params.m_bRemoveOffset = (data[0] >> 1) & 1;
    size_t headerBytes = size_t(data[0]) | (size_t(data[1]) << 8);
    data += 2;
    size -= 2;
    const bool fromParameters = headerBytes == 0xffff;
    std::string header, sdf;
    TSagePair chosen;
    std::string_view samples;
    if (fromParameters) {
        if (size < kParameterBytes)
            return 0;
        chosen = ChosenPair(data);
        params.m_bLoadRawData = chosen.raw;
        params.m_bRemoveOffset = chosen.removeOffset;
        params.m_bNormalize = chosen.normalize;
        samples = std::string_view(reinterpret_cast<const char*>(data + kParameterBytes), size - kParameterBytes);
        header = vx::fuzz::WriteScratch("scan.shf", SageHeader(chosen));
        sdf = vx::fuzz::WriteScratch("scan.sdf", SageData(chosen, samples));
    } else {
        if (headerBytes > size)
            headerBytes = size;
        header = vx::fuzz::WriteScratch("scan.shf", data, headerBytes);
        vx::fuzz::WriteScratch("scan.sdf", data + headerBytes, size - headerBytes);
    }
    vx::fuzz::ClearReportTexts();
    std::unique_ptr<TCSIReader> reader(CreateReader(14, &params));
    std::unique_ptr<TCSISet> set(reader->Read(header));
    if (fromParameters && chosen.cut) {
        Require(!set && vx::fuzz::Said("Data file " + sdf + " holds "),
                "a data file cut short is refused with the message that names it");
    } else if (fromParameters) {
        Require(set != nullptr, "a pair a scanner could have written is read");
        CheckChosenRead(*set, chosen, samples);
    }
    vx::fuzz::AddThroughProject(set.get(), header, params);
    return 0;
}
