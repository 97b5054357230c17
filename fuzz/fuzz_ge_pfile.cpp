// GE P-files through the EXCITE, single-voxel, pre-11.0 and multi-plane CSI readers, the
// input laid into a header of a known revision (fuzz/PfileLayout.h). A first byte whose
// revision bits (0-1) are 3 makes the target write the file itself, for the reader of bits
// 3-4 (0 EXCITE, 1 single voxel, 2 pre-11.0, 3 multi-plane CSI), in the byte order of bit 2
// and with the options "Load raw data", "Remove offset" and "Apply normalization" of bits
// 5-7; the header is laid out as the revision it chooses (kPfileRevisions) has it.
//  - Single voxel: 32 bytes choose the header's values (see ChosenParameters), then
//    Sections splits the rest into the series description and the samples of the frames.
//    The set read must hold the values by the reader's mapping and, read raw, the average
//    of the frames it keeps.
//  - The CSI readers: 40 bytes choose the acquisition (see ChosenCsiParameters: grid,
//    fields of view, plane and its directions, centre, echo, times, patient, sequence
//    names, texts, the dialog's axis order for the pre-11.0 reader, and an Add Exam of the
//    EXCITE file), then Sections splits the rest into the series description and the
//    samples of the spectra. The set read must hold the parameters and geometry the
//    reader's mapping gives them (slice axis, grid and fields of view along the axes, the
//    centre, the rotation of an oblique plane and its inverse, the excited volume) and,
//    read raw, each spectrum of the file at its place in the grid. An EXCITE file of one
//    voxel, and a multi-plane matrix whose ellipse takes no sample, must be refused with
//    the reader's message.
//  Either way a sample size of 3 bytes must be refused with the reader's message, and
//  the set read takes the road of Add CSI Set (AddThroughProject).
// The laid files of the EXCITE reader (reader bits 0) also take the road of Add Exam of GE
// type, which reads P-files with that reader, given "P00001.7" or, with bit 5 (which the
// exam's own options leave unused), its folder with an empty file "e00001.dcm" beside it,
// which the exam takes for an image (AddExamThroughProject). A chosen EXCITE file takes it
// (when its parameters ask for it) with a DICOM image "e00001.dcm" in its folder, in the
// plane's directions or in others, whose rotation the exam compares with the set's.
#include <algorithm>
#include <array>
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
#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcxfer.h"
#include "dcmtk/oflog/oflog.h"
#include "PfileLayout.h"
#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/ReaderFactory.h"

namespace {

std::ostringstream g_discard;

constexpr size_t kParameterBytes = 32;
// The exam type of Add Exam that reads GE P-files (with the EXCITE reader).
constexpr int kGEExam = 3;
// The header keeps positions with x and y negated against the set's patient coordinates.
constexpr float kHeaderSign[3] = {-1.0f, -1.0f, 1.0f};
// Sequence names with and without the words of an excited volume.
constexpr const char* kSequences[] = {"probe-p", "PRESS", "steam_cs", "fidcsi", "prose", "probe-s", "csi_2d", "stea"};

// The values every P-file of chosen values has: revision (kPfileRevisions), byte order,
// sample size, points, sweep width, centre frequency (0.1 Hz), fields of view (mm), the
// plane code, echo flag, TE and TR (us), patient position and entry, exam number, time and
// software version, the plane's centre and the excited volume as the header keeps them,
// sequence name and series description.
struct TPfileValues {
    int revision = 0;
    bool littleEndian = false;
    int pointSize = 2, points = 0, spectralWidth = 0, centreFreq = 0;
    float sliceThickness = 0, fov = 0, rectFov = 0, pixelSizeY = 0;
    int imageDimY = 0, plane = 2, echoFlag = 0, echoTime = 0, repetitionTime = 0;
    int patientPosition = 0, patientEntry = 0, examNumber = 0, examTime = 0, softwareVersion = 11;
    float centre[3] = {}, voxelSize[3] = {}, voxelCentre[3] = {};
    std::string sequence, description;
};

// A single-voxel acquisition of chosen values.
struct TSVParameters : TPfileValues {
    int frames = 1, skipped = 0;
    float skipValue = 0;
};

// The values both kinds of P-file take alike, in this order: the revision (one of the
// first `revisions`) and sample size (16 or 32 bits; one file in sixteen 3 bytes), 2-64
// points (a power of two), the eight sweep widths, centre frequency n x 156250 (n/64 MHz),
// slice thickness and field of view exact in a float, a square or rectangular field of
// view, every patient position and entry, sequence names with and without an excited
// volume, TE and TR in multiples of 125 us, exam number and time, the plane's centre and
// the excited volume.
void ChooseValues(vx::fuzz::TChosen& c, uint8_t pick, int revisions, TPfileValues& p)
{
    static constexpr int kPositions[] = {1, 2, 4, 8, 3, 0, 16, 1};
    p.littleEndian = (pick >> 2) & 1;
    const uint8_t layout = c.Byte();
    p.revision = layout % revisions;
    p.pointSize = (layout >> 2) & 1 ? 4 : 2;
    if (((layout >> 3) & 15) == 0)
        p.pointSize = 3;
    p.points = c.Points();
    p.spectralWidth = c.SweepWidth();
    p.centreFreq = int(64 + c.Word() % 8192) * 156250;
    p.sliceThickness = float(1 + c.Pick(64)) / 2.0f;
    p.fov = float(4 * (1 + c.Pick(64)));
    const uint8_t rect = c.Byte();
    p.rectFov = rect & 1 ? 0.5f : 0.0f;
    p.imageDimY = 1 + (rect >> 1) % 64;
    p.pixelSizeY = float(1 + c.Pick(16)) / 4.0f;
    const uint8_t patient = c.Byte();
    p.patientPosition = kPositions[patient & 7];
    p.patientEntry = (patient >> 3) & 3;
    p.sequence = kSequences[(patient >> 5) & 7];
    p.echoTime = 125 * c.Word();
    p.repetitionTime = 125 * c.Word();
    p.examNumber = c.Word();
    p.examTime = 946684800 + 3600 * int(c.Word());
    for (int axis = 0; axis < 3; ++axis) {
        p.centre[axis] = c.Signed(4.0f);
        const uint8_t voxel = c.Byte();
        p.voxelSize[axis] = float(1 + voxel % 64);
        p.voxelCentre[axis] = vx::fuzz::TChosen::SignedOf(uint8_t(voxel * 7 + axis), 8.0f);
    }
}

// ChooseValues of the first three revisions, then 1-8 frames after the skipped one of
// which the first 0 to all but one are left out (a fraction in the count), the three
// planes, echo or not and software versions 11 to 27.
TSVParameters ChosenParameters(uint8_t pick, const uint8_t* data, std::string_view description)
{
    static constexpr int kPlanes[] = {2, 4, 8, 2};
    vx::fuzz::TChosen c(data, kParameterBytes);
    TSVParameters p;
    ChooseValues(c, pick, 3, p);
    p.frames = 1 + c.Pick(8);
    p.skipped = c.Pick(p.frames);
    p.skipValue = float(p.skipped) + float(c.Pick(4)) / 4.0f;
    p.plane = kPlanes[c.Pick(4)];
    p.echoFlag = c.Pick(2);
    p.softwareVersion = 11 + c.Pick(17);
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

// The header of the revision with the values every P-file has laid in.
std::string HeaderOf(const TPfileValues& p)
{
    const vx::fuzz::TPfileRevision& r = vx::fuzz::kPfileRevisions[p.revision];
    std::string file(r.headerSize, '\0');
    THeaderWriter w{file, p.littleEndian};
    namespace rdb = vx::fuzz::rdb;
    w.Float(0, r.revision);
    w.Int16(rdb::kPointSize, p.pointSize);
    w.Int32(rdb::kCentreFreq, p.centreFreq);
    w.Int32(rdb::kEchoTime, p.echoTime);
    w.Int32(r.patientPosition, p.patientPosition);
    w.Int32(r.patientEntry, p.patientEntry);
    w.Int16(r.exam + r.examNumber, p.examNumber);
    w.Int32(r.exam + r.examTime, p.examTime);
    w.Text(r.exam + r.softwareVersion, vx::fuzz::Printed("%02d", p.softwareVersion));
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
    return file;
}

// Appends `count` samples of the file's size and byte order: sample k is the input's word k.
void AppendSamples(std::string& file, const TPfileValues& p, std::string_view samples, size_t count)
{
    const int width = p.pointSize == 4 ? 4 : 2;
    std::string value(4, '\0');
    THeaderWriter sample{value, p.littleEndian};
    for (size_t k = 0; k < count; ++k) {
        const int v = vx::fuzz::ChosenWord(samples, k);
        if (width == 4)
            sample.Int32(0, v);
        else
            sample.Int16(0, v);
        file.append(value, 0, size_t(width));
    }
}

// The P-file: the header of the revision, the skipped frame (zeros), then the frames.
std::string PfileOf(const TSVParameters& p, std::string_view samples)
{
    std::string file = HeaderOf(p);
    THeaderWriter w{file, p.littleEndian};
    namespace rdb = vx::fuzz::rdb;
    w.Int16(rdb::kFrameCount, p.frames);
    w.Int16(rdb::kPointCount, p.points);
    w.Float(rdb::kField292, p.skipValue);
    w.Float(rdb::kSpectralWidth, float(p.spectralWidth));
    for (int k = 0; k < 3; ++k)
        w.Int16(rdb::kCsiDims + 2 * size_t(k), 1);
    w.Int16(rdb::kEchoFlag, p.echoFlag);
    w.Float(rdb::kField868, 1.0f);
    file.append(size_t(2 * (p.pointSize == 4 ? 4 : 2) * p.points), '\0');  // the skipped frame
    AppendSamples(file, p, samples, size_t(2 * p.frames * p.points));
    return file;
}

// Reads a P-file with the options of the first byte's bits 5-7 ("Load raw data", "Remove
// offset", "Apply normalization") and the rest of `params`, the messages of earlier reads
// forgotten.
std::unique_ptr<TCSISet> ReadWithOptions(uint8_t pick, TCSIReadParams& params, const std::string& path)
{
    params.m_bLoadRawData = (pick >> 5) & 1;
    params.m_bRemoveOffset = (pick >> 6) & 1;
    params.m_bNormalize = (pick >> 7) & 1;
    vx::fuzz::ClearReportTexts();
    std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(params.m_nFormat), &params));
    return std::unique_ptr<TCSISet>(reader->Read(path));
}

// Whether the sample size is the one of 3 bytes, which every reader must refuse with its message.
bool RefusedSampleSize(const TPfileValues& p, const TCSISet* set)
{
    if (p.pointSize != 3)
        return false;
    vx::fuzz::Require(!set && vx::fuzz::Said("Wrong data type(it should be int16 or int32)."),
                      "a sample size of 3 bytes is refused with the reader's message");
    return true;
}

// How the patient lies, by the header's position code.
const char* LyingOf(int position)
{
    return position == 2 ? "Prone" : position == 4 ? "Left-D" : position == 8 ? "Right-D" : "Supine";
}

// The values every P-file gives its set alike: points and ppm reference, sweep width,
// frequency (0.1 Hz to MHz), TE and TR (us to ms); how the patient lies as the set's
// position and head or feet first as its orientation, whichever field of the header gives
// them; the series description as the exam name, the exam number as the patient name and
// the exam time as a local date.
void CheckCommonValues(const TCSISet& set, const TPfileValues& p)
{
    using vx::fuzz::Require;
    Require(set.m_nPoints == p.points && set.m_nFirstPoint == 0 && set.m_nLastPoint == p.points - 1 &&
                set.m_fPPMCentrePoint == float(p.points / 2) && set.m_fPPMCentreValue == 0.0f,
            "points and ppm reference");
    Require(set.m_nSpectralWidth == p.spectralWidth && set.m_fFrequency == float(p.centreFreq / 156250) / 64.0f,
            "sweep width and frequency (0.1 Hz to MHz)");
    Require(vx::fuzz::Near(set.m_fTE, p.echoTime / 1000.0) && set.m_fTR == float(p.repetitionTime / 125) / 8.0f,
            "TE and TR (microseconds to ms)");
    Require(set.m_strPatientOrientation == (p.patientEntry == 2 ? "FF" : "HF"), "head or feet first of the entry");
    Require(set.m_strPatientPosition == LyingOf(p.patientPosition), "how the patient lies of the position");
    Require(set.m_strExamName == p.description && set.m_strPatientName == std::to_string(p.examNumber),
            "series description and exam number");
    const time_t when = p.examTime;
    std::tm local{};
    char date[128] = {};
    localtime_r(&when, &local);
    std::strftime(date, sizeof date, "%Y.%m.%d", &local);
    Require(set.m_strExamDate == date, "exam date of the exam time");
}

// Whether a sequence name says "press", "probe" or "steam" (or "prose", when it counts),
// in any case: an acquisition of an excited volume.
bool SelectsVolume(std::string sequence, bool withProse)
{
    for (char& ch : sequence)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    for (const char* word : {"press", "probe", "steam", "prose"})
        if ((withProse || std::string_view(word) != "prose") && sequence.find(word) != std::string::npos)
            return true;
    return false;
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
    CheckCommonValues(set, p);
    Require(set.m_nEchoPosition == (p.echoFlag ? p.points / 2 : 0) && set.m_bEchoShifted == p.echoFlag,
            "echo position of the echo flag");
    // A PRESS, PROBE or STEAM sequence excites a volume that is the set's grid.
    const bool volume = SelectsVolume(p.sequence, false);
    float fov[3], offCentre[3];
    fov[s] = p.sliceThickness;
    fov[a] = p.fov;
    fov[b] = p.rectFov == 0.0f ? p.fov : float(p.imageDimY) * p.pixelSizeY;
    for (int axis = 0; axis < 3; ++axis) {
        offCentre[axis] = kHeaderSign[axis] * (volume ? p.voxelCentre[axis] : p.centre[axis]);
        if (volume)
            fov[axis] = p.voxelSize[axis];
    }
    Require(set.m_nVolumes == (volume ? 1 : 0), "an excited volume of the sequence name");
    for (int axis = 0; axis < 3; ++axis) {
        Require(set.m_fFOV[axis] == fov[axis] && set.m_fOffCentre[axis] == offCentre[axis],
                "field of view and off-centre of the slice or the excited volume");
        if (volume)
            Require(set.m_fVolSize[axis][0] == p.voxelSize[axis] &&
                        set.m_fVolOffCentre[axis][0] == kHeaderSign[axis] * p.voxelCentre[axis] &&
                        set.m_fVolAngulation[axis][0] == 0.0f,
                    "the excited volume's size and centre");
    }
    Require(set.m_fSliceThickness == fov[s] && set.m_fSliceGap == 0.0f, "slice thickness of the one voxel");
    Require(set.m_strName == "P00001" && set.m_nFormat == 13, "name and format");
    if (!raw)
        return;
    const std::vector<std::complex<float>> spectrum = vx::fuzz::FrameAverage(
        p.points, p.skipped, p.frames, [&](size_t k) { return vx::fuzz::ChosenWord(samples, k); });
    Require(vx::fuzz::VoxelHolds(set, 0, spectrum.data(), p.points),
            "the voxel holds the average of the frames after the skipped ones");
}

// Reads a single-voxel P-file written from chosen parameters and the samples of its frames.
void ReadChosenSingleVoxel(uint8_t pick, const TSVParameters& chosen, std::string_view samples)
{
    const std::string path = vx::fuzz::WriteScratch("P00001.7", PfileOf(chosen, samples));
    TCSIReadParams params;
    params.m_nFormat = 13;
    const std::unique_ptr<TCSISet> set = ReadWithOptions(pick, params, path);
    if (RefusedSampleSize(chosen, set.get()))
        return;
    vx::fuzz::Require(set != nullptr, "a P-file a scanner could have written is read");
    CheckChosenRead(*set, chosen, params.m_bLoadRawData != 0, samples);
    vx::fuzz::AddThroughProject(set.get(), path, params);
}

// ---- 2-D and 3-D CSI P-files of chosen values (EXCITE, pre-11.0 and multi-plane readers) ----

constexpr size_t kCsiParameterBytes = 40;
enum TCsiReader { kExcite = 0, kPre11 = 2, kMultiPlane = 3 };  // the reader bits of the first byte

// A CSI acquisition of chosen values. The grid is the header's: x along the first in-plane
// axis, y along the second, z along the slice axis (for the multi-plane sequence its
// in-plane matrix and its slices).
struct TCsiParameters : TPfileValues {
    int reader = kExcite, grid[3] = {1, 1, 1};
    float spacing = 0, fovRatio = 1;
    // The plane: its oblique code (of plane code 16), row and column directions, their
    // normal and the slice axis (PlaneGeometry).
    int obliquePlane = 0, sliceAxis = 2;
    float row[3] = {}, column[3] = {}, normal[3] = {};
    // The multi-plane sequence's echo top at point echoPoint + 1/2, whose time from the
    // acquisition's start is half the echo time less field 1004 (us).
    int echoPoint = 0;
    float field1004 = 0;
    int field56 = 0, field176 = 0, field178 = 0;
    std::string shortSequence;
    // The Add CSI Set dialog's choices that the pre-11.0 reader reads with.
    int axisOrder[3] = {0, 1, 2};
    uint8_t invert[3] = {}, centreSigns[2] = {}, kSpaceCorrection = 0;
    // EXCITE: 0 no Add Exam; 1 an exam of the file's folder with an image in the plane's
    // directions, 2 with an image in other directions (imageDirections).
    int exam = 0;
    uint8_t imageDirections = 0;
    // The plane's centre in the set's patient coordinates.
    float Position(int k) const { return kHeaderSign[k] * centre[k]; }
};

// The plane's row and column directions by its code: the standard ones of an axial,
// sagittal or coronal plane (those whose rotation is the identity), or chosen ones.
void PlaneDirections(TCsiParameters& p, uint8_t kind, uint8_t directions)
{
    static constexpr float kStandard[3][2][3] = {
        {{1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}}, {{1, 0, 0}, {0, 0, -1}}};
    static constexpr int kPlanes[] = {2, 4, 8};
    static constexpr int kObliqueCodes[] = {20, 24, 18};  // sagittal, coronal, axial
    if (kind < 3) {
        p.plane = kPlanes[kind];
        std::copy(kStandard[kind][0], kStandard[kind][0] + 3, p.row);
        std::copy(kStandard[kind][1], kStandard[kind][1] + 3, p.column);
    } else {
        p.plane = 16;
        vx::fuzz::ChosenDirections(directions, p.row, p.column);
    }
    const vx::fuzz::TPlaneGeometry g = vx::fuzz::PlaneGeometry(p.row, p.column, "RA");
    p.sliceAxis = g.sliceAxis;
    p.obliquePlane = p.plane == 16 ? kObliqueCodes[g.sliceAxis] : 0;
    std::copy(g.normal, g.normal + 3, p.normal);
}

// ChooseValues of every revision, then grids of 1-8 by 1-8 by 1-4 (all three 1 too), slice
// spacings exact in a float, the second in-plane field's ratio, the header's sign
// alternation, transpose and reorientation codes, the three planes and oblique ones of
// each slice axis, echo or not (the multi-plane echo's TE as its echo point needs), short
// sequence names with and without an excited volume, software versions 11 to 27 (the
// pre-11.0 reader's 5 to 10), every axis order of the dialog with its flips and sign
// alternations, and an Add Exam of the EXCITE file.
TCsiParameters ChosenCsiParameters(uint8_t pick, const uint8_t* data, std::string_view description)
{
    static constexpr int kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    vx::fuzz::TChosen c(data, kCsiParameterBytes);
    TCsiParameters p;
    p.reader = (pick >> 3) & 3;
    ChooseValues(c, pick, 4, p);
    const uint8_t grid = c.Byte();
    p.grid[0] = 1 + (grid & 7);
    p.grid[1] = 1 + ((grid >> 3) & 7);
    p.grid[2] = 1 + ((grid >> 6) & 3);
    p.spacing = float(1 + c.Pick(32)) / 4.0f;
    p.fovRatio = float(1 + c.Pick(8)) / 8.0f;
    const uint8_t recon = c.Byte();
    p.field56 = recon & 1;
    p.field178 = (recon >> 1) & 1;
    p.field176 = (recon >> 2) & 3;
    const uint8_t kind = c.Byte();
    PlaneDirections(p, kind % 4, c.Byte());
    const uint8_t echo = c.Byte();
    p.echoFlag = echo & 1;
    p.echoPoint = (echo >> 1) % (p.points - 1);
    p.field1004 = 62.5f * float(c.Byte());
    if (p.reader == kMultiPlane && p.echoFlag)
        p.echoTime = (2 * p.echoPoint + 1) * (1000000 / p.spectralWidth) + int(2 * p.field1004);
    p.shortSequence = kSequences[c.Pick(8)];
    p.softwareVersion = p.reader == kPre11 ? 5 + c.Pick(6) : 11 + c.Pick(17);
    const uint8_t dialog = c.Byte();
    std::copy(kOrders[dialog % 6], kOrders[dialog % 6] + 3, p.axisOrder);
    for (int k = 0; k < 3; ++k)
        p.invert[k] = (dialog >> (3 + k)) & 1;
    const uint8_t more = c.Byte();
    p.centreSigns[0] = more & 1;
    p.centreSigns[1] = (more >> 1) & 1;
    p.kSpaceCorrection = (more >> 2) & 1;
    p.exam = p.reader == kExcite ? (more >> 3) % 3 : 0;
    p.imageDirections = c.Byte();
    p.description = vx::fuzz::ChosenText(description, 24, "Series");
    return p;
}

// Of the multi-plane sequence: whether in-plane point (i, j) of an na x nb matrix is
// sampled, that is lies within 1.01 of the ellipse through the matrix's edge centres,
// ((i - ci) / ci)^2 + ((j - cj) / cj)^2 <= 1.01 with ci = (na - 1) / 2 (an axis of size 1
// adds nothing), tested in integers: 100 (X^2 B^2 + Y^2 A^2) <= 101 A^2 B^2 for
// X = 2i - (na - 1), A = na - 1 (1 for na = 1, where X is 0), and Y, B alike.
bool EllipseSampled(int i, int j, int na, int nb)
{
    const int64_t x = 2 * i - (na - 1), y = 2 * j - (nb - 1);
    const int64_t a = std::max(na - 1, 1), b = std::max(nb - 1, 1);
    return 100 * (x * x * b * b + y * y * a * a) <= 101 * a * a * b * b;
}

// The spectra of the file in its order, each as its place (x, y, z) in the header's grid:
// x fastest, then y, then z; for the multi-plane sequence the sampled points only, y
// outer, x inner, and every slice z innermost.
std::vector<std::array<int, 3>> FileSpectra(const TCsiParameters& p)
{
    std::vector<std::array<int, 3>> spectra;
    const int* n = p.grid;
    if (p.reader == kMultiPlane) {
        for (int y = 0; y < n[1]; ++y)
            for (int x = 0; x < n[0]; ++x)
                if (EllipseSampled(x, y, n[0], n[1]))
                    for (int z = 0; z < n[2]; ++z)
                        spectra.push_back({x, y, z});
        return spectra;
    }
    for (int z = 0; z < n[2]; ++z)
        for (int y = 0; y < n[1]; ++y)
            for (int x = 0; x < n[0]; ++x)
                spectra.push_back({x, y, z});
    return spectra;
}

// The P-file: the header of the revision, for the EXCITE and pre-11.0 readers a skipped
// frame (zeros), then the spectra; sample number k of the file is the input's word k.
std::string CsiPfileOf(const TCsiParameters& p, std::string_view samples)
{
    const vx::fuzz::TPfileRevision& r = vx::fuzz::kPfileRevisions[p.revision];
    std::string file = HeaderOf(p);
    THeaderWriter w{file, p.littleEndian};
    namespace rdb = vx::fuzz::rdb;
    const bool multiPlane = p.reader == kMultiPlane;
    w.Int16(rdb::kField56, p.field56);
    w.Int16(rdb::kFrameCount, 1);
    w.Int16(rdb::kField176, p.field176);
    w.Int16(rdb::kField178, p.field178);
    if (multiPlane) {
        w.Int16(rdb::kField68, p.grid[2]);
        w.Float(rdb::kField252, float(p.spectralWidth));
        w.Float(rdb::kField256, float(p.grid[0]));
        w.Float(rdb::kField260, float(p.grid[1]));
        w.Float(rdb::kField1000, float(p.echoFlag));
        w.Float(rdb::kField1004, p.field1004);
        w.Float(rdb::kField1016, float(p.points));
    } else {
        w.Int16(rdb::kPointCount, p.points);
        w.Float(rdb::kSpectralWidth, float(p.spectralWidth));
        w.Int16(rdb::kSpatialDims, (p.grid[0] > 1) + (p.grid[1] > 1) + (p.grid[2] > 1));
        for (int k = 0; k < 3; ++k)
            w.Int16(rdb::kCsiDims + 2 * size_t(k), p.grid[k]);
        w.Int16(rdb::kEchoFlag, p.echoFlag);
    }
    w.Float(rdb::kField868, p.fovRatio);
    w.Int32(r.image + r.obliquePlane, p.obliquePlane);
    w.Float(r.image + r.field26, p.spacing);
    w.Text(r.image + r.sequenceShortName, p.shortSequence);
    // The plane's normal and first two corners: the corners of the first row, half the
    // fields of view from the centre against and along the row, against the column.
    const float fovA = p.fov, fovB = p.rectFov != 0.0f ? float(p.imageDimY) * p.pixelSizeY : p.fov;
    for (int k = 0; k < 3; ++k) {
        const float corner1 = p.Position(k) - fovA / 2 * p.row[k] - fovB / 2 * p.column[k];
        const float corner2 = p.Position(k) + fovA / 2 * p.row[k] - fovB / 2 * p.column[k];
        w.Float(r.image + r.normal[k], kHeaderSign[k] * p.normal[k]);
        w.Float(r.image + r.corner1[k], kHeaderSign[k] * corner1);
        w.Float(r.image + r.corner2[k], kHeaderSign[k] * corner2);
    }
    if (!multiPlane)
        file.append(size_t(2 * (p.pointSize == 4 ? 4 : 2) * p.points), '\0');  // the skipped frame
    AppendSamples(file, p, samples, FileSpectra(p).size() * 2 * size_t(p.points));
    return file;
}

// The set holds what the reader's mapping gives the header's values: grid, slice axis,
// fields of view, centre and rotation of the plane, the excited volume, the spectral
// values, echo, times and texts; read raw, each file spectrum at its place in the grid.
// Read fully, the EXCITE reader's transposes exchange the in-plane sizes and its ratio
// sets the smaller matrix's field of view.
void CheckChosenCsiRead(const TCSISet& set, const TCsiParameters& p, bool raw, std::string_view samples)
{
    using vx::fuzz::Near;
    using vx::fuzz::Require;
    const int s = p.sliceAxis;
    const int a = s == 0 ? 1 : 0, b = s == 2 ? 1 : 2;
    const bool multiPlane = p.reader == kMultiPlane, excite = p.reader == kExcite;
    int dim[3];
    dim[a] = p.grid[0];
    dim[b] = p.grid[1];
    dim[s] = p.grid[2];
    const int ones = (dim[0] == 1) + (dim[1] == 1) + (dim[2] == 1);
    // Three less the axes of one voxel, and one for a single voxel (the pre-11.0 reader's
    // matrix of 1 x 1 x 1; the others refuse it).
    const int dims = multiPlane ? 2 : std::max(1, 3 - ones);
    Require(set.m_nSliceAxis == s && set.m_nSpatialDims == dims, "slice axis of the plane and dimensions of the grid");
    Require(set.m_bMultiSlice == (multiPlane ? 1 : 0) &&
                set.m_slicePhases.size() == (multiPlane ? size_t(p.grid[2]) : size_t(0)),
            "a multi-slice set of the multi-plane sequence, a phase for each slice");
    // Fields of view and centre as the header gives them.
    float fov[3];
    fov[a] = p.fov;
    fov[b] = p.rectFov != 0.0f ? float(p.imageDimY) * p.pixelSizeY : p.fov;
    const float spacing = p.spacing + p.sliceThickness;
    fov[s] = multiPlane                     ? float(p.grid[2]) * spacing
             : p.reader == kPre11            ? p.sliceThickness * float(p.grid[2])
             : dims == 3                     ? p.fov
                                             : p.sliceThickness;
    const bool volume = SelectsVolume(excite ? p.sequence : p.shortSequence, excite);
    double centre[3];
    for (int k = 0; k < 3; ++k) {
        centre[k] = p.Position(k);
        if (multiPlane)
            centre[k] += 1.5 * double(spacing) * p.normal[k];
        else if (volume && dims == 3)
            centre[k] = kHeaderSign[k] * p.voxelCentre[k];
    }
    if (excite && volume && dims == 3)
        fov[2] = p.spacing * float(dim[2]);
    const float thickness = fov[s] / float(dim[s]);
    if (excite && !raw) {
        if ((p.field178 == 0) != (p.field176 == 1 || p.field176 == 3))
            std::swap(dim[a], dim[b]);
        if (dim[a] > dim[b])
            fov[b] = fov[a] * p.fovRatio;
        else if (dim[a] < dim[b])
            fov[a] = fov[b] * p.fovRatio;
    }
    for (int k = 0; k < 3; ++k)
        Require(set.m_nDim[k] == dim[k] && set.m_fFOV[k] == fov[k], "grid and field of view along each axis");
    Require(set.m_fSliceThickness == thickness && set.m_fSliceGap == 0.0f, "slice thickness of the grid");
    for (int k = 0; k < 3; ++k)
        Require(Near(set.m_fOffCentre[k], centre[k]), "centre of the grid");
    // An oblique plane's rotation takes its row, column and normal onto the slice axis's
    // standard view (the axial one as the patient lies); the others keep the identity.
    static constexpr const char* kAxialLabels[] = {"RA", "LP", "PR", "AL"};
    const int lying = p.patientPosition == 2 ? 1 : p.patientPosition == 4 ? 2 : p.patientPosition == 8 ? 3 : 0;
    const vx::fuzz::TPlaneGeometry plane = vx::fuzz::PlaneGeometry(p.row, p.column, kAxialLabels[lying]);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double expected = p.plane == 16 ? plane.rotation[i][j] : double(i == j);
            Require(Near(set.m_fRotation[i][j], expected) && Near(set.m_fRotationInverse[j][i], expected),
                    "rotation of the plane's corners and normal, and its inverse");
        }
    Require(set.m_nVolumes == (volume ? 1 : 0), "an excited volume of the sequence name");
    if (volume)
        for (int k = 0; k < 3; ++k)
            Require(set.m_fVolSize[k][0] == p.voxelSize[k] && set.m_fVolOffCentre[k][0] == kHeaderSign[k] * p.voxelCentre[k] &&
                        set.m_fVolAngulation[k][0] == 0.0f,
                    "the excited volume's size and centre");
    // Spectral values, echo, times and texts.
    CheckCommonValues(set, p);
    const int echo = !p.echoFlag ? 0 : multiPlane ? p.echoPoint : p.points / 2;
    Require(set.m_bEchoShifted == p.echoFlag && set.m_nEchoPosition == echo, "echo position of the echo fields");
    const int formats[4] = {15, 13, 12, 16};
    Require(set.m_strName == "P00001" && set.m_nFormat == formats[p.reader], "name and format");
    if (!raw)
        return;
    // Read raw: the EXCITE reader puts the file's x, y and z on the first in-plane axis,
    // the second and the slice axis; the pre-11.0 reader runs through the set's axes in
    // the dialog's order (fastest first); the multi-plane reader puts acquired slice
    // L[n - 1 - k] at slice k, L being 0, 2, 4, ... then 1, 3, ... (n / 2 rounded up on),
    // and zeros where the ellipse took no sample.
    const std::vector<std::array<int, 3>> spectra = FileSpectra(p);
    const int n = p.grid[2];
    std::vector<int> order(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
        order[size_t(k)] = k % 2 == 0 ? k / 2 : (n + 1) / 2 + k / 2;
    std::vector<int> fileSpectrum(set.VoxelCount(), -1);
    for (size_t f = 0; f < spectra.size(); ++f) {
        int at[3];
        if (p.reader == kPre11) {
            const int* o = p.axisOrder;
            at[o[0]] = int(f % size_t(dim[o[0]]));
            at[o[1]] = int(f / size_t(dim[o[0]]) % size_t(dim[o[1]]));
            at[o[2]] = int(f / size_t(dim[o[0]] * dim[o[1]]));
        } else {
            at[a] = spectra[f][0];
            at[b] = spectra[f][1];
            at[s] = spectra[f][2];
            if (multiPlane)
                at[s] = n - 1 - int(std::find(order.begin(), order.end(), spectra[f][2]) - order.begin());
        }
        fileSpectrum[set.VoxelIndex(at[0], at[1], at[2])] = int(f);
    }
    std::vector<std::complex<float>> spectrum(size_t(p.points));
    for (size_t v = 0; v < fileSpectrum.size(); ++v) {
        for (int t = 0; t < p.points; ++t) {
            const int f = fileSpectrum[v];
            const size_t k = 2 * (size_t(f) * size_t(p.points) + size_t(t));
            spectrum[size_t(t)] = f < 0 ? std::complex<float>() : std::complex<float>(vx::fuzz::ChosenWord(samples, k),
                                                                                     vx::fuzz::ChosenWord(samples, k + 1));
        }
        Require(vx::fuzz::VoxelHolds(set, v, spectrum.data(), p.points),
                "each file spectrum's samples at its place in the grid, zeros where none was taken");
    }
}

// An image of the exam beside the P-file: a DICOM image in the plane's directions (or
// others), of the patient's position and the exam's number, whose rotation the exam
// compares with the set's.
void WriteExamImage(const TCsiParameters& p, const std::string& path)
{
    static constexpr const char* kLyingCodes[] = {"S", "P", "DL", "DR"};
    vx::fuzz::TDicomImageValues image;
    image.rows = image.columns = 4;
    image.syntax = int(EXS_LittleEndianExplicit);
    for (int k = 0; k < 3; ++k)
        image.position[k] = p.Position(k);
    if (p.exam == 1) {
        std::copy(p.row, p.row + 3, image.row);
        std::copy(p.column, p.column + 3, image.column);
    } else {
        vx::fuzz::ChosenDirections(p.imageDirections, image.row, image.column);
    }
    const int lying = p.patientPosition == 2 ? 1 : p.patientPosition == 4 ? 2 : p.patientPosition == 8 ? 3 : 0;
    image.code = std::string(p.patientEntry == 2 ? "FF" : "HF") + kLyingCodes[lying];
    image.studyId = std::to_string(p.examNumber);
    image.studyDate = "20240101";
    image.patientName = "Doe";
    image.thickness = p.sliceThickness;
    for (int k = 0; k < image.rows * image.columns; ++k)
        image.pixels.push_back(100 * k);
    vx::fuzz::Require(vx::fuzz::WriteDicomImage(image, path), "the DICOM library writes the exam's image");
}

// Reads a CSI P-file written from chosen values and the samples of its spectra with its reader.
void ReadChosenCsi(uint8_t pick, const TCsiParameters& chosen, std::string_view samples)
{
    const std::string path = vx::fuzz::WriteScratch("P00001.7", CsiPfileOf(chosen, samples));
    TCSIReadParams params;
    params.m_nFormat = vx::fuzz::kPfileFormats[chosen.reader];
    std::copy(chosen.axisOrder, chosen.axisOrder + 3, params.m_nAxisOrder);
    std::copy(chosen.invert, chosen.invert + 3, params.m_bInvert);
    params.m_bCenter[1] = chosen.centreSigns[0];
    params.m_bCenter[2] = chosen.centreSigns[1];
    params.m_bKSpaceCorrection = chosen.kSpaceCorrection;
    const std::unique_ptr<TCSISet> set = ReadWithOptions(pick, params, path);
    if (RefusedSampleSize(chosen, set.get()))
        return;
    if (chosen.reader == kExcite && chosen.grid[0] * chosen.grid[1] * chosen.grid[2] == 1) {
        vx::fuzz::Require(!set && vx::fuzz::Said("This is a single voxel data file. Use the GE Single Voxel option."),
                          "a single voxel is refused by the EXCITE reader with its message");
        return;
    }
    if (FileSpectra(chosen).empty()) {
        const std::string matrix = vx::fuzz::Printed("%d x %d", chosen.grid[0], chosen.grid[1]);
        vx::fuzz::Require(!set && vx::fuzz::Said("no point of its " + matrix + " matrix lies inside the sampled ellipse."),
                          "a multi-plane matrix whose ellipse takes no sample is refused with the reader's message");
        return;
    }
    vx::fuzz::Require(set != nullptr, "a P-file a scanner could have written is read");
    CheckChosenCsiRead(*set, chosen, params.m_bLoadRawData != 0, samples);
    vx::fuzz::AddThroughProject(set.get(), path, params);
    if (chosen.exam != 0) {
        const std::string image = vx::JoinPath(vx::fuzz::ScratchFolder(), "e00001.dcm");
        WriteExamImage(chosen, image);
        vx::fuzz::AddExamThroughProject({"[" + vx::fuzz::ScratchFolder() + "]"}, kGEExam, {path});
        vx::RemoveFile(image);
    }
}

// A P-file written from chosen values for the reader of bits 3-4: its parameters, then
// the series description and the samples (Sections).
void ReadChosen(uint8_t pick, const uint8_t* data, size_t size)
{
    const bool singleVoxel = ((pick >> 3) & 3) == 1;
    const size_t bytes = singleVoxel ? kParameterBytes : kCsiParameterBytes;
    if (size < bytes)
        return;
    const auto parts = vx::fuzz::Sections(data + bytes, size - bytes, 2);
    if (singleVoxel)
        ReadChosenSingleVoxel(pick, ChosenParameters(pick, data, parts[0]), parts[1]);
    else
        ReadChosenCsi(pick, ChosenCsiParameters(pick, data, parts[0]), parts[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool quiet = [] {
        vx::fuzz::Prepare();
        std::cerr.rdbuf(g_discard.rdbuf());
        OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
        return true;
    }();
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
    const std::string path = vx::fuzz::WriteScratch("P00001.7", file);
    const std::unique_ptr<TCSISet> set = ReadWithOptions(pick, params, path);
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
