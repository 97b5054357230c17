// GE P-files through the EXCITE, single-voxel, pre-11.0 and multi-plane CSI readers, the
// input laid into a header of a known revision (fuzz/PfileLayout.h). A first byte whose
// revision bits (0-1) are 3 makes the target write the file itself: a single-voxel P-file
// read by the single-voxel reader, in the byte order of bit 2 and with the options "Load
// raw data", "Remove offset" and "Apply normalization" of bits 5-7; 32 bytes choose the
// header's values (see ChosenParameters), then Sections splits the rest into the series
// description and the samples of the frames. The target lays the values into the header
// of the chosen revision (kPfileRevisions); the set read must hold them by the reader's
// mapping and, read raw, the average of the frames it keeps. A sample size of 3 bytes must
// be refused with the reader's message.
// The files of the EXCITE reader (reader bits 0) also take the road of Add Exam of GE type,
// which reads P-files with that reader, given "P00001.7" or, with bit 5 (which the exam's
// own options leave unused), its folder with a file "e00001.dcm" beside it, which the exam
// takes for an image (AddExamThroughProject).
#include <algorithm>
#include <cctype>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "PfileLayout.h"
#include "model/TCSISet.h"
#include "platform/Files.h"
#include "readers/ReaderFactory.h"

namespace {

std::ostringstream g_discard;

constexpr size_t kParameterBytes = 32;
// The exam type of Add Exam that reads GE P-files (with the EXCITE reader).
constexpr int kGEExam = 3;

// A single-voxel acquisition of chosen values.
struct TSVParameters {
    int revision = 0;  // 0 9.0, 1 11.0, 2 14.3 (kPfileRevisions)
    bool littleEndian = false;
    int pointSize = 2, points = 0, frames = 1, skipped = 0;
    float skipValue = 0, spectralWidth = 0, sliceThickness = 0, fov = 0, rectFov = 0, pixelSizeY = 0;
    int imageDimY = 0, plane = 2, centreFreq = 0, echoFlag = 0, patientPosition = 0, patientEntry = 0;
    int echoTime = 0, repetitionTime = 0, examNumber = 0, examTime = 0, softwareVersion = 11;
    float centre[3] = {}, voxelSize[3] = {}, voxelCentre[3] = {};
    std::string sequence, description;
};

// Every revision and byte order, 16- or 32-bit samples, 2-64 points (a power of two), 1-8
// frames after the skipped one of which the first 0 to all but one are left out (a
// fraction in the count), sweep widths and fields of view exact in a float, the three
// planes, a square or rectangular field of view, centre frequency n x 156250 (n/64 MHz),
// TE and TR in multiples of 125 us, every patient position and entry, sequence names with
// and without an excited volume, software versions 11 to 27; one file in sixteen has a
// sample size of 3 bytes.
TSVParameters ChosenParameters(uint8_t pick, const uint8_t* data, std::string_view description)
{
    static constexpr int kPlanes[] = {2, 4, 8, 2};
    static constexpr int kPositions[] = {1, 2, 4, 8, 3, 0, 16, 1};
    static constexpr const char* kSequences[] = {"probe-p", "PRESS", "steam_cs", "fidcsi", "prose", "probe-s",
                                                 "csi_2d", "stea"};
    vx::fuzz::TChosen c(data, kParameterBytes);
    TSVParameters p;
    p.littleEndian = (pick >> 2) & 1;
    const uint8_t layout = c.Byte();
    p.revision = layout % 3;
    p.pointSize = (layout >> 2) & 1 ? 4 : 2;
    if (((layout >> 3) & 15) == 0)
        p.pointSize = 3;
    p.points = c.Points();
    p.frames = 1 + c.Pick(8);
    p.skipped = c.Pick(p.frames);
    p.skipValue = float(p.skipped) + float(c.Pick(4)) / 4.0f;
    p.spectralWidth = float(c.SweepWidth());
    p.sliceThickness = float(1 + c.Pick(64)) / 2.0f;
    p.fov = float(4 * (1 + c.Pick(64)));
    p.rectFov = c.Pick(2) ? 0.0f : 0.5f;
    p.imageDimY = 1 + c.Pick(64);
    p.pixelSizeY = float(1 + c.Pick(16)) / 4.0f;
    p.plane = kPlanes[c.Pick(4)];
    p.centreFreq = int(64 + c.Word() % 8192) * 156250;
    p.echoFlag = c.Pick(2);
    const uint8_t patient = c.Byte();
    p.patientPosition = kPositions[patient & 7];
    p.patientEntry = (patient >> 3) & 3;
    p.sequence = kSequences[(patient >> 5) & 7];
    p.echoTime = 125 * c.Word();
    p.repetitionTime = 125 * c.Word();
    p.examNumber = c.Word();
    p.examTime = 946684800 + 3600 * int(c.Word());
    p.softwareVersion = 11 + c.Pick(17);
    for (int axis = 0; axis < 3; ++axis) {
        p.centre[axis] = c.Signed(4.0f);
        const uint8_t voxel = c.Byte();
        p.voxelSize[axis] = float(1 + voxel % 64);
        p.voxelCentre[axis] = vx::fuzz::TChosen::SignedOf(uint8_t(voxel * 7 + axis), 8.0f);
    }
    p.description = vx::fuzz::ChosenText(description, 24, "Series");
    return p;
}

// Writes numbers and texts into the header in the file's byte order.
struct THeaderWriter {
    std::string& file;
    bool littleEndian;
    void Bytes(size_t at, const void* value, size_t width)
    {
        const auto* bytes = static_cast<const unsigned char*>(value);
        for (size_t k = 0; k < width; ++k)
            file[at + k] = char(bytes[littleEndian ? k : width - 1 - k]);
    }
    void Int16(size_t at, int value) { const int16_t v = int16_t(value); Bytes(at, &v, 2); }
    void Int32(size_t at, int value) { Bytes(at, &value, 4); }
    void Float(size_t at, float value) { Bytes(at, &value, 4); }
    void Text(size_t at, const std::string& text) { std::copy(text.begin(), text.end(), file.begin() + std::ptrdiff_t(at)); }
};

// The value of sample number k of frame f (two a complex point), an integer.
int FrameValue(std::string_view samples, int points, int frame, size_t k)
{
    return vx::fuzz::ChosenWord(samples, size_t(frame) * 2 * size_t(points) + k);
}

// The P-file: the header of the revision, the skipped frame (zeros), then the frames.
std::string PfileOf(const TSVParameters& p, std::string_view samples)
{
    const vx::fuzz::TPfileRevision& r = vx::fuzz::kPfileRevisions[p.revision];
    std::string file(r.headerSize, '\0');
    THeaderWriter w{file, p.littleEndian};
    namespace rdb = vx::fuzz::rdb;
    w.Float(0, r.revision);
    w.Int16(rdb::kField56, 0);
    w.Int16(rdb::kFrameCount, p.frames);
    w.Int16(rdb::kPointCount, p.points);
    w.Int16(rdb::kPointSize, p.pointSize);
    w.Float(rdb::kField292, p.skipValue);
    w.Float(rdb::kSpectralWidth, p.spectralWidth);
    w.Int16(rdb::kSpatialDims, 0);
    for (int k = 0; k < 3; ++k)
        w.Int16(rdb::kCsiDims + 2 * size_t(k), 1);
    w.Int32(rdb::kCentreFreq, p.centreFreq);
    w.Int16(rdb::kEchoFlag, p.echoFlag);
    w.Float(rdb::kField868, 1.0f);
    w.Int32(rdb::kEchoTime, p.echoTime);
    w.Int32(rdb::kPatientPosition, p.patientPosition);
    w.Int32(rdb::kPatientEntry, p.patientEntry);
    w.Int16(r.exam + r.examNumber, p.examNumber);
    w.Int32(r.exam + r.examTime, p.examTime);
    w.Text(r.exam + r.softwareVersion, std::to_string(p.softwareVersion));
    w.Text(r.series + r.seriesDescription, p.description);
    w.Float(r.image + r.sliceThickness, p.sliceThickness);
    w.Int16(r.image + r.imageDimY, p.imageDimY);
    w.Float(r.image + r.fov, p.fov);
    w.Float(r.image + r.rectFov, p.rectFov);
    w.Float(r.image + r.pixelSizeY, p.pixelSizeY);
    w.Int16(r.image + r.plane, p.plane);
    w.Int32(r.image + r.repetitionTime, p.repetitionTime);
    w.Text(r.image + r.sequenceName, p.sequence);
    for (int k = 0; k < 3; ++k) {
        w.Float(r.image + r.centre[k], p.centre[k]);
        w.Float(r.image + r.voxelSize[k], p.voxelSize[k]);
        w.Float(r.image + r.voxelCentre[k], p.voxelCentre[k]);
    }
    const int width = p.pointSize == 4 ? 4 : 2;
    std::string value(4, '\0');
    THeaderWriter sample{value, p.littleEndian};
    file.append(size_t(2 * width * p.points), '\0');  // the skipped frame
    for (int frame = 0; frame < p.frames; ++frame)
        for (size_t k = 0; k < size_t(2 * p.points); ++k) {
            const int v = FrameValue(samples, p.points, frame, k);
            if (width == 4)
                sample.Int32(0, v);
            else
                sample.Int16(0, v);
            file.append(value, 0, size_t(width));
        }
    return file;
}

// The set holds the header's values by the single-voxel reader's mapping and, read raw,
// the average of the frames after the skipped ones.
void CheckChosenRead(const TCSISet& set, const TSVParameters& p, bool raw, std::string_view samples)
{
    using vx::fuzz::Require;
    const int s = p.plane == 4 ? 0 : p.plane == 8 ? 1 : 2;
    const int a = s == 0 ? 1 : 0, b = s == 2 ? 1 : 2;
    Require(set.m_nSliceAxis == s && set.m_nSpatialDims == 1 && set.m_nDim[0] == 1 && set.m_nDim[1] == 1 &&
                set.m_nDim[2] == 1,
            "one voxel with the slice axis of the plane");
    Require(set.m_nPoints == p.points && set.m_nFirstPoint == 0 && set.m_nLastPoint == p.points - 1 &&
                set.m_fPPMCentrePoint == float(p.points / 2) && set.m_fPPMCentreValue == 0.0f,
            "points and ppm reference");
    Require(set.m_nSpectralWidth == int(p.spectralWidth) &&
                set.m_fFrequency == float(p.centreFreq / 156250) / 64.0f,
            "sweep width and frequency (0.1 Hz to MHz)");
    Require(set.m_nEchoPosition == (p.echoFlag ? p.points / 2 : 0) && set.m_bEchoShifted == p.echoFlag,
            "echo position of the echo flag");
    Require(set.m_fTE == float(p.echoTime / 125) / 8.0f && set.m_fTR == float(p.repetitionTime / 125) / 8.0f,
            "TE and TR (microseconds to ms)");
    // The set keeps how the patient lies as its position and head or feet first as its
    // orientation, whichever field of the header gives them.
    Require(set.m_strPatientOrientation == (p.patientEntry == 2 ? "FF" : "HF"), "head or feet first of the entry");
    const char* lying = p.patientPosition == 2   ? "Prone"
                        : p.patientPosition == 4 ? "Left-D"
                        : p.patientPosition == 8 ? "Right-D"
                                                 : "Supine";
    Require(set.m_strPatientPosition == lying, "how the patient lies of the position");
    Require(set.m_strExamName == p.description && set.m_strPatientName == std::to_string(p.examNumber),
            "series description and exam number");
    const time_t when = p.examTime;
    std::tm local{};
    char date[128] = {};
    localtime_r(&when, &local);
    std::strftime(date, sizeof date, "%Y.%m.%d", &local);
    Require(set.m_strExamDate == date, "exam date of the exam time");
    // A PRESS, PROBE or STEAM sequence excites a volume that is the set's grid.
    std::string sequence = p.sequence;
    for (char& ch : sequence)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    const bool volume = sequence.find("press") != std::string::npos || sequence.find("probe") != std::string::npos ||
                        sequence.find("steam") != std::string::npos;
    const float sign[3] = {-1.0f, -1.0f, 1.0f};
    float fov[3], offCentre[3];
    fov[s] = p.sliceThickness;
    fov[a] = p.fov;
    fov[b] = p.rectFov == 0.0f ? p.fov : float(p.imageDimY) * p.pixelSizeY;
    for (int axis = 0; axis < 3; ++axis) {
        offCentre[axis] = sign[axis] * (volume ? p.voxelCentre[axis] : p.centre[axis]);
        if (volume)
            fov[axis] = p.voxelSize[axis];
    }
    Require(set.m_nVolumes == (volume ? 1 : 0), "an excited volume of the sequence name");
    for (int axis = 0; axis < 3; ++axis) {
        Require(set.m_fFOV[axis] == fov[axis] && set.m_fOffCentre[axis] == offCentre[axis],
                "field of view and off-centre of the slice or the excited volume");
        if (volume)
            Require(set.m_fVolSize[axis][0] == p.voxelSize[axis] &&
                        set.m_fVolOffCentre[axis][0] == sign[axis] * p.voxelCentre[axis] &&
                        set.m_fVolAngulation[axis][0] == 0.0f,
                    "the excited volume's size and centre");
    }
    Require(set.m_fSliceThickness == fov[s] && set.m_fSliceGap == 0.0f, "slice thickness of the one voxel");
    Require(set.m_strName == "P00001" && set.m_nFormat == 13, "name and format");
    if (!raw)
        return;
    const int averaged = p.frames - p.skipped;
    std::vector<std::complex<float>> spectrum(size_t(p.points));
    for (int i = 0; i < p.points; ++i) {
        double sum[2] = {0, 0};
        for (int frame = p.skipped; frame < p.frames; ++frame)
            for (int part = 0; part < 2; ++part)
                sum[part] += FrameValue(samples, p.points, frame, 2 * size_t(i) + size_t(part));
        spectrum[size_t(i)] = {float(sum[0] / averaged), float(sum[1] / averaged)};
    }
    Require(vx::fuzz::VoxelHolds(set, 0, spectrum.data(), p.points),
            "the voxel holds the average of the frames after the skipped ones");
}

// Reads a single-voxel P-file written from chosen parameters.
void ReadChosen(uint8_t pick, const uint8_t* data, size_t size)
{
    if (size < kParameterBytes)
        return;
    const auto parts = vx::fuzz::Sections(data + kParameterBytes, size - kParameterBytes, 2);
    const TSVParameters chosen = ChosenParameters(pick, data, parts[0]);
    const std::string path = vx::fuzz::WriteScratch("P00001.7", PfileOf(chosen, parts[1]));
    TCSIReadParams params;
    params.m_nFormat = 13;
    params.m_bLoadRawData = (pick >> 5) & 1;
    params.m_bRemoveOffset = (pick >> 6) & 1;
    params.m_bNormalize = (pick >> 7) & 1;
    vx::fuzz::ClearReportTexts();
    std::unique_ptr<TCSIReader> reader(CreateReader(13, &params));
    std::unique_ptr<TCSISet> set(reader->Read(path));
    if (chosen.pointSize == 3) {
        vx::fuzz::Require(!set && vx::fuzz::Said("Wrong data type(it should be int16 or int32)."),
                          "a sample size of 3 bytes is refused with the reader's message");
        return;
    }
    vx::fuzz::Require(set != nullptr, "a P-file a scanner could have written is read");
    CheckChosenRead(*set, chosen, params.m_bLoadRawData != 0, parts[1]);
    vx::fuzz::AddThroughProject(set.get(), path, params);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool quiet = (vx::fuzz::Prepare(), std::cerr.rdbuf(g_discard.rdbuf()), true);
    (void)quiet;
    g_discard.str({});
    if (size < 1)
        return 0;
    const uint8_t pick = data[0];
    if ((pick & 3) == 3) {
        ReadChosen(pick, data + 1, size - 1);
        return 0;
    }
    const std::string file = vx::fuzz::PfileFromInput(pick, data + 1, size - 1);

    TCSIReadParams params;
    params.m_nFormat = vx::fuzz::kPfileFormats[(pick >> 3) & 3];
    params.m_nAxisOrder[0] = 0;
    params.m_nAxisOrder[1] = 1;
    params.m_nAxisOrder[2] = 2;
    params.m_bLoadRawData = (pick >> 5) & 1;
    params.m_bRemoveOffset = (pick >> 6) & 1;
    params.m_bNormalize = (pick >> 7) & 1;
    const std::string path = vx::fuzz::WriteScratch("P00001.7", file);
    std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(params.m_nFormat), &params));
    std::unique_ptr<TCSISet> set(reader->Read(path));
    vx::fuzz::AddThroughProject(set.get(), path, params);
    if (((pick >> 3) & 3) == 0) {
        if (pick & 0x20) {
            const std::string image = vx::fuzz::WriteScratch("e00001.dcm", std::string_view());
            vx::fuzz::AddExamThroughProject({"[" + vx::fuzz::ScratchFolder() + "]"}, kGEExam, {path});
            vx::RemoveFile(image);
        } else {
            vx::fuzz::AddExamThroughProject({path}, kGEExam, {path});
        }
    }
    return 0;
}
