// Philips SPAR/SDAT sets through the single-voxel, time-series and every CSI reader (2-D
// slice, 2-D multi-slice and 3-D of each release that reads SDAT files). The first input
// byte picks the reader (bits 0-5), with bit 6 SPAR files named in lower case (".spar"),
// which a reader finds only through a listing of their folder, and with bit 7 a read
// outside a batch run (questions get their default answers, file dialogs are cancelled);
// the second the number of SDAT
// files (1 to 8, bits 0-2) that the per-slice readers get, the options "Remove offset"
// (bit 3) and "Apply normalization" (bit 4), and in bit 7 where the files come from:
//  - bit 7 clear: the rest is split by Sections into the SPAR text, the PAR text (an empty
//    one is no file; after a zero byte, a byte whose bit 0 answers Add Exam's question
//    whether to add a set whose rotation disagrees with an image's (Yes when set), an
//    image's PAR text, a zero byte and its REC file, written as "image.PAR" and
//    "image.REC") and the SDAT data. The SPAR text is written as "scan.SPAR" and
//    "scan_1.SPAR" (an empty one as no file); the data is one "scan.SDAT" or, cut into
//    equal pieces, "scan_1.SDAT" .. "scan_n.SDAT". With bit 5 or 6 the files also take
//    the road of Add Exam of the first exam type (SPAR files read as 2-D single slices of
//    release 9), given "scan.SPAR" (bit 5) or their folder (bit 6), where "scan.PAR" is
//    taken for an image (AddExamThroughProject). SPAR files in lower case are also read
//    with every listing failing: a read refused then must say that the folder cannot be
//    listed, not take the SPAR file for one that does not exist.
//  - bit 7 set: the single-voxel, time-series or 2-D single-slice R2 reader (the first
//    byte modulo 3) in a batch run, with "Load raw data" from bit 5 of the second byte;
//    28 bytes choose the parameters (see ChosenParameters), then Sections splits the rest
//    into the patient name, the examination name and the samples. The target writes
//    "scan.SPAR" and "scan.SDAT" from them in the format's own layout (VAX floats); the set
//    read must hold those parameters by the reader's mapping and, read raw, the samples.
//    Without its sample_frequency line (bit 6 of the second byte) the SPAR file must be
//    refused with the reader's message naming it.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "readers/ReaderFactory.h"

namespace {

// The formats that read SDAT files; 5 and 8 read LIST/DATA files (fuzz_list).
constexpr int kFormats[] = {0, 1, 2, 3, 4, 6, 7, 9, 10};
constexpr int kMaxSliceFiles = 8;
// The exam type of Add Exam that reads SPAR files.
constexpr int kSliceExam = 0;

bool PerSliceFiles(int format)
{
    return format == 6 || format == 9;
}

// The readers of chosen files: single voxel, time series, 2-D single slice R2.
constexpr int kChosenFormats[] = {0, 1, 4};
constexpr size_t kParameterBytes = 28;
constexpr int kLR = 0, kAP = 1, kCC = 2;

struct TSparParameters {
    int format = 0;
    vx::fuzz::TSparSpectrum spectrum;
    int rows = 1;
    double lowerValue = 0;         // spec_col_lower_val (s)
    bool echoAcquisition = false;  // an echo_acquisition line after it
    std::string birthDate, scanDate;
    int volumes = 1;
    float volSize[2][3] = {}, volOffCentre[2][3] = {}, volAngulation[2][3] = {};  // [box][LR, AP, CC] as written
    // The 2-D slice: its direction (0 sagittal, 1 coronal, 2 transverse), in-plane sizes,
    // phase-encoding field of view, slice thickness, off-centre and angulation as written.
    int sliceAxis = 2, sizeA = 1, sizeB = 1;
    float phaseFOV = 0, thickness = 0, gridOffCentre[3] = {}, gridAngulation[3] = {};
    bool withoutWidth = false;
};

// The spectral values and texts of every SPAR file (TSparSpectrum), 1-8 rows of a series,
// the first point's time, one or two volume boxes of sizes 1-64 mm with off-centres and
// angulations of both signs, a slice of each direction with 1-4 by 1-4 voxels, a
// phase-encoding field of view that both in-plane sizes divide, and dates.
TSparParameters ChosenParameters(int format, const uint8_t* data, std::string_view name, std::string_view exam)
{
    using vx::fuzz::TChosen;
    TChosen c(data, kParameterBytes);
    TSparParameters p;
    p.format = format;
    p.spectrum = vx::fuzz::ChosenSparSpectrum(c, name, exam);
    const int rows = 1 + c.Pick(8);
    p.rows = format == 1 ? rows : 1;
    const uint8_t echo = c.Byte();
    p.lowerValue = (int(echo & 0x7f) - 32) / 65536.0;
    p.echoAcquisition = (echo & 0x80) != 0;
    p.volumes = 1 + c.Pick(2);
    p.birthDate = std::to_string(19000101 + c.Word());
    p.scanDate = "2001.04." + std::to_string(10 + c.Pick(20));
    for (int box = 0; box < p.volumes; ++box)
        for (int axis = 0; axis < 3; ++axis) {
            const uint8_t value = c.Byte();
            p.volSize[box][axis] = float(1 + value % 64);
            p.volOffCentre[box][axis] = TChosen::SignedOf(uint8_t(value * 7 + box), 4.0f);
            p.volAngulation[box][axis] = TChosen::SignedOf(uint8_t(value * 13 + 3 * axis), 8.0f);
        }
    const uint8_t slice = c.Byte();
    p.sliceAxis = slice % 3;
    p.sizeA = 1 + (slice >> 2) % 4;
    p.sizeB = 1 + (slice >> 4) % 4;
    p.phaseFOV = float(12 * (1 + c.Pick(20)));
    p.thickness = float(1 + c.Pick(40)) / 2.0f;
    for (int axis = 0; axis < 3; ++axis) {
        const uint8_t value = c.Byte();
        p.gridOffCentre[axis] = TChosen::SignedOf(value, 4.0f);
        p.gridAngulation[axis] = TChosen::SignedOf(uint8_t(value * 5 + axis), 8.0f);
    }
    return p;
}

// The SPAR text as the scanner writes it: "key : value" lines, the volume blocks each
// ending with its cc_angulation.
std::string SparText(const TSparParameters& p)
{
    using vx::fuzz::Printed;
    std::string text = "!-----------------------------------------\r\n! SPAR file written from chosen values\r\n";
    std::string spectrum = vx::fuzz::SparSpectrumLines(p.spectrum);
    if (p.withoutWidth) {
        const size_t at = spectrum.find("sample_frequency");
        spectrum.erase(at, spectrum.find('\n', at) + 1 - at);
    }
    text += spectrum;
    text += "scan_id : chosen\r\nscan_date : " + p.scanDate + " 12:34:56\r\npatient_birth_date : " + p.birthDate +
            "\r\n" + Printed("rows : %d\r\n", p.rows) + Printed("spec_col_lower_val : %.16f\r\n", p.lowerValue);
    if (p.echoAcquisition)
        text += "echo_acquisition : yes\r\n";
    text += Printed("volumes : %d\r\n", p.volumes);
    static constexpr const char* kAxisNames[] = {"lr", "ap", "cc"};
    for (int box = 0; box < p.volumes; ++box) {
        for (int axis : {kAP, kLR, kCC})
            text += Printed("%s_size : %.2f\r\n", kAxisNames[axis], double(p.volSize[box][axis]));
        for (int axis : {kAP, kLR, kCC})
            text += Printed("%s_off_center : %.2f\r\n", kAxisNames[axis], double(p.volOffCentre[box][axis]));
        for (int axis : {kAP, kLR, kCC})
            text += Printed("%s_angulation : %.3f\r\n", kAxisNames[axis], double(p.volAngulation[box][axis]));
    }
    if (p.format == 4) {
        static constexpr const char* kDirections[] = {"sagittal", "coronal", "transversal"};
        text += Printed("phase_encoding_direction : %s\r\n", kDirections[p.sliceAxis]) +
                Printed("phase_encoding_fov : %.1f\r\n", double(p.phaseFOV)) +
                Printed("slice_thickness : %.1f\r\n", double(p.thickness)) + "spec_num_dimensions : 3\r\n" +
                Printed("spec_dim2_pnts : %d\r\nspec_dim3_pnts : %d\r\nspec_dim4_pnts : 1\r\n", p.sizeA, p.sizeB);
        for (int axis : {kAP, kLR, kCC})
            text += Printed("si_%s_off_center : %.2f\r\n", kAxisNames[axis], double(p.gridOffCentre[axis]));
        for (int axis : {kAP, kLR, kCC})
            text += Printed("si_%s_off_angulation : %.3f\r\n", kAxisNames[axis], double(p.gridAngulation[axis]));
    }
    return text;
}

// A float as the SDAT file keeps it (VAX F): the reader's conversion exchanges the two
// 16-bit halves and lowers the byte of the sign and high exponent bits by one.
void PutVax(std::string& file, float value)
{
    unsigned char ieee[4];
    std::memcpy(ieee, &value, 4);
    if (value == 0.0f && !std::signbit(value)) {
        file.append(4, '\0');
        return;
    }
    const unsigned char vax[4] = {ieee[2], uint8_t(ieee[3] + 1), ieee[0], ieee[1]};
    file.append(reinterpret_cast<const char*>(vax), 4);
}

// The set's grid of chosen parameters: one voxel; the series along the second axis; or
// the slice's in-plane sizes along its in-plane axes.
void GridOf(const TSparParameters& p, int dim[3], int& a, int& b, int& s)
{
    dim[0] = dim[1] = dim[2] = 1;
    if (p.format == 1) {
        dim[1] = p.rows;
        a = 1, b = 2, s = 0;
    } else if (p.format == 4) {
        s = p.sliceAxis;
        a = s == 0 ? 1 : 0;
        b = s == 2 ? 1 : 2;
        dim[a] = p.sizeA;
        dim[b] = p.sizeB;
    } else {
        a = 0, b = 1, s = 2;
    }
}

std::string SdatFile(const TSparParameters& p, std::string_view samples)
{
    int dim[3], a, b, s;
    GridOf(p, dim, a, b, s);
    std::string file;
    const size_t values = size_t(2) * size_t(p.spectrum.points) * size_t(dim[0] * dim[1] * dim[2]);
    for (size_t k = 0; k < values; ++k)
        PutVax(file, vx::fuzz::ChosenSample(samples, k));
    return file;
}

// The set holds what the SPAR lines say by the reader's mapping (the AP and LR values of
// boxes and grid negated, a single voxel's grid the last box), and, read raw, the samples
// in the file's order (the first in-plane axis fastest).
void CheckChosenRead(const TCSISet& set, const TSparParameters& p, bool raw, std::string_view samples)
{
    using vx::fuzz::Require;
    vx::fuzz::CheckSparSpectrum(set, p.spectrum);
    Require(set.m_strPatientBirthDate == p.birthDate && set.m_strExamDate == p.scanDate,
            "birth date and the date of the scan");
    const int points = p.spectrum.points;
    Require(set.m_nVolumes == p.volumes, "number of volume boxes");
    const float sign[3] = {-1.0f, -1.0f, 1.0f};  // LR and AP point the other way
    for (int box = 0; box < p.volumes; ++box)
        for (int axis = 0; axis < 3; ++axis)
            Require(set.m_fVolSize[axis][box] == p.volSize[box][axis] &&
                        set.m_fVolOffCentre[axis][box] == sign[axis] * p.volOffCentre[box][axis] &&
                        set.m_fVolAngulation[axis][box] == sign[axis] * p.volAngulation[box][axis],
                    "size, off-centre and angulation of each volume box");
    int echo = 0;
    if (p.format != 4 && !p.echoAcquisition) {
        const double top = (double(p.spectrum.te) * 0.001 - p.lowerValue) * double(p.spectrum.width);
        echo = top < 1 ? 0 : top > points - 1 ? points - 1 : int(top);
    }
    Require(set.m_nEchoPosition == echo && set.m_bEchoShifted == (echo != 0 ? 1 : 0),
            "echo position of the first point's time, or none");
    int dim[3], a, b, s;
    GridOf(p, dim, a, b, s);
    for (int axis = 0; axis < 3; ++axis)
        Require(set.m_nDim[axis] == dim[axis], "grid of the reader");
    Require(set.m_nSliceAxis == s, "slice axis of the reader");
    const int last = p.volumes - 1;
    float fov[3], offCentre[3], angulation[3];
    for (int axis = 0; axis < 3; ++axis) {
        switch (p.format) {
        case 0:
            fov[axis] = p.volSize[last][axis];
            offCentre[axis] = sign[axis] * p.volOffCentre[last][axis];
            angulation[axis] = sign[axis] * p.volAngulation[last][axis];
            break;
        case 1:
            fov[axis] = 240.0f;
            offCentre[axis] = sign[axis] * p.volOffCentre[last][axis];
            angulation[axis] = sign[axis] * p.volAngulation[last][axis];
            break;
        default:
            offCentre[axis] = sign[axis] * p.gridOffCentre[axis];
            angulation[axis] = sign[axis] * p.gridAngulation[axis];
            break;
        }
    }
    if (p.format == 4) {
        // Without a PAR file the second in-plane axis gets the first one's voxel size.
        fov[s] = p.thickness;
        fov[a] = p.phaseFOV;
        fov[b] = float(p.sizeB) * p.phaseFOV / float(p.sizeA);
    }
    for (int axis = 0; axis < 3; ++axis)
        Require(set.m_fFOV[axis] == fov[axis] && set.m_fOffCentre[axis] == offCentre[axis] &&
                    set.m_fAngulation[axis] == angulation[axis],
                "field of view, off-centre and angulation of the grid");
    Require(set.m_nSpatialDims == (p.format == 4 ? 2 : 1), "dimensions of the reader");
    Require(set.m_fSliceThickness == fov[s] / float(dim[s]) && set.m_fSliceGap == 0.0f,
            "slice thickness of the field of view over the slices");
    Require(set.m_strName == "scan" && set.m_nFormat == p.format, "name and format of the set");
    if (!raw)
        return;
    std::vector<std::complex<float>> spectrum(static_cast<size_t>(points));
    int at[3] = {0, 0, 0};
    size_t fileVoxel = 0;
    for (at[s] = 0; at[s] < dim[s]; ++at[s])
        for (at[b] = 0; at[b] < dim[b]; ++at[b])
            for (at[a] = 0; at[a] < dim[a]; ++at[a], ++fileVoxel) {
                for (int i = 0; i < points; ++i) {
                    const size_t k = 2 * (fileVoxel * size_t(points) + size_t(i));
                    spectrum[size_t(i)] = {vx::fuzz::ChosenSample(samples, k), vx::fuzz::ChosenSample(samples, k + 1)};
                }
                const size_t voxel = size_t(at[0] + dim[0] * (at[1] + dim[1] * at[2]));
                Require(vx::fuzz::VoxelHolds(set, voxel, spectrum.data(), points),
                        "each voxel holds its spectrum of the SDAT file");
            }
}

// Reads a SPAR/SDAT pair written from chosen parameters.
void ReadChosen(const uint8_t* data, size_t size)
{
    const int format = kChosenFormats[data[0] % 3];
    const uint8_t options = data[1];
    data += 2;
    size -= 2;
    if (size < kParameterBytes)
        return;
    const auto parts = vx::fuzz::Sections(data + kParameterBytes, size - kParameterBytes, 3);
    TSparParameters chosen = ChosenParameters(format, data, parts[0], parts[1]);
    chosen.withoutWidth = (options >> 6) & 1;
    g_bBatchMode = true;
    const std::string spar = vx::fuzz::WriteScratch("scan.SPAR", SparText(chosen));
    vx::fuzz::WriteScratchOrRemove("scan.PAR", {});
    const std::string path = vx::fuzz::WriteScratch("scan.SDAT", SdatFile(chosen, parts[2]));
    TCSIReadParams params;
    params.m_nFormat = format;
    params.m_bRemoveOffset = (options >> 3) & 1;
    params.m_bNormalize = (options >> 4) & 1;
    params.m_bLoadRawData = (options >> 5) & 1;
    vx::fuzz::ClearReportTexts();
    g_batchLog.clear();
    std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
    std::unique_ptr<TCSISet> set(reader->Read(path));
    if (chosen.withoutWidth) {
        vx::fuzz::Require(!set && vx::fuzz::Said("Parameter file " + spar + " cannot be read or is invalid."),
                          "a SPAR file without a sweep width is refused with the reader's message");
        return;
    }
    vx::fuzz::Require(set != nullptr, "a pair a scanner could have written is read");
    CheckChosenRead(*set, chosen, params.m_bLoadRawData != 0, parts[2]);
    vx::fuzz::AddThroughProject(set.get(), path, params);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool ready = (vx::fuzz::Prepare(), true);
    (void)ready;
    if (size < 2)
        return 0;
    if (data[1] & 0x80) {
        ReadChosen(data, size);
        g_batchLog.clear();
        return 0;
    }
    const int format = kFormats[(data[0] & 0x3f) % std::size(kFormats)];
    // In a batch run there are no questions and no file dialogs: the default companion
    // files are read.
    g_bBatchMode = (data[0] & 0x80) == 0;
    // SPAR files whose exact name is not there: found only through the folder's listing.
    const bool lowerCase = (data[0] & 0x40) != 0;
    const std::string sparName = lowerCase ? "scan.spar" : "scan.SPAR", sliceSparName = lowerCase ? "scan_1.spar" : "scan_1.SPAR";
    const int sliceFiles = 1 + data[1] % kMaxSliceFiles;
    const auto parts = vx::fuzz::Sections(data + 2, size - 2, 3);
    for (const char* name : {"scan.SPAR", "scan.spar", "scan_1.SPAR", "scan_1.spar"})
        vx::RemoveFile(vx::JoinPath(vx::fuzz::ScratchFolder(), name));
    vx::fuzz::WriteScratchOrRemove(sparName, parts[0]);
    vx::fuzz::WriteScratchOrRemove(sliceSparName, parts[0]);
    // A zero byte ends the PAR text: after it come the answer to the geometry question and
    // an image of the exam beside the set, its PAR text up to a second zero byte and then
    // its REC file, so that Add Exam compares the set's geometry with an image's.
    const std::string_view par = parts[1].substr(0, parts[1].find('\0'));
    const std::string_view answer = parts[1].substr(std::min(parts[1].size(), par.size() + 1));
    const bool addDespiteGeometry = !answer.empty() && (answer[0] & 1) != 0;
    const std::string_view image = answer.substr(std::min<size_t>(answer.size(), 1));
    const std::string_view imagePar = image.substr(0, image.find('\0'));
    vx::fuzz::WriteScratchOrRemove("scan.PAR", par);
    vx::fuzz::WriteScratchOrRemove("image.PAR", imagePar);
    vx::fuzz::WriteScratchOrRemove("image.REC", image.substr(std::min(image.size(), imagePar.size() + 1)));
    std::string path;
    for (int k = 1; k <= kMaxSliceFiles; ++k)
        vx::RemoveFile(vx::JoinPath(vx::fuzz::ScratchFolder(), "scan_" + std::to_string(k) + ".SDAT"));
    if (PerSliceFiles(format)) {
        const size_t piece = parts[2].size() / size_t(sliceFiles);
        for (int k = 0; k < sliceFiles; ++k) {
            const std::string name = "scan_" + std::to_string(k + 1) + ".SDAT";
            const std::string written = vx::fuzz::WriteScratch(name, parts[2].substr(size_t(k) * piece, piece));
            if (k == 0)
                path = written;
        }
    } else {
        path = vx::fuzz::WriteScratch("scan.SDAT", parts[2]);
    }
    TCSIReadParams params;
    params.m_nFormat = format;
    params.m_bRemoveOffset = (data[1] >> 3) & 1;
    params.m_bNormalize = (data[1] >> 4) & 1;
    std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
    std::unique_ptr<TCSISet> set(reader->Read(path));
    if (lowerCase) {
        // With every listing failing, the SPAR file cannot be looked for: a read refused
        // must say so, not that the file does not exist.
        vx::fuzz::ClearReportTexts();
        g_batchLog.clear();
        std::unique_ptr<TCSIReader> unlisted(CreateReader(static_cast<uint32_t>(format), &params));
        vx::SetFileFaults({{vx::kFileList, EIO, 1, true}});
        const std::unique_ptr<TCSISet> read(unlisted->Read(path));
        const bool struck = vx::FileFaultStruck();
        vx::SetFileFaults({});
        vx::fuzz::Require(read || !struck || vx::fuzz::Said("cannot be listed"),
                          "a read refused after its folder's listing failed says that the folder cannot be listed");
    }
    vx::fuzz::AddThroughProject(set.get(), path, params);
    if (data[1] & 0x60) {
        // The folder's SPAR files are looked for only beside an image of the exam.
        const std::string& folder = vx::fuzz::ScratchFolder();
        const std::string spar = vx::JoinPath(folder, sparName);
        std::vector<std::string> csiFiles;
        if (data[1] & 0x40) {
            if (!par.empty() || !imagePar.empty())
                for (const std::string& name : {sparName, sliceSparName})
                    if (vx::FileExists(vx::JoinPath(folder, name)))
                        csiFiles.push_back(vx::JoinPath(folder, name));
            vx::fuzz::AddExamThroughProject({"[" + folder + "]"}, kSliceExam, csiFiles, addDespiteGeometry);
        } else {
            vx::fuzz::AddExamThroughProject({spar}, kSliceExam, {spar}, addDespiteGeometry);
        }
    }
    g_batchLog.clear();
    return 0;
}
