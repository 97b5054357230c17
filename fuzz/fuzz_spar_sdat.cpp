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
//  - bit 7 set: one of nine readers (the first byte modulo 9: the single-voxel,
//    time-series and 2-D single-slice R2 readers, then the 2-D single-slice pre-R11 and
//    R11, the 2-D multi-slice R11 and R2 and the 3-D R11 and R2 readers), with "Load raw
//    data" from bit 5 of the second byte; 28 bytes choose the parameters (see
//    ChosenParameters), for the last six readers 12 more the slices and the PAR file (see
//    ChosenStack), then Sections splits the rest into the patient name, the examination
//    name and the samples. The target writes "scan.SPAR" and "scan.SDAT" (the R11 stack and
//    volume: "scan_1.SPAR" and one "scan_<k>.SDAT" a slice) and "scan.PAR" from them in
//    the formats' own layouts (VAX floats), and gives the reader the last SDAT file or
//    (bit 2 of the second byte) the SPAR file, in a batch run, or outside one where an
//    image-space reader is to take the PAR file from the file dialog. The set read must
//    hold those parameters by the reader's mapping (grid, fields of view, off-centre,
//    angulation and its rotation, slice thickness and gap, from the SPAR file or the PAR
//    file read) and, read raw, the samples at their places. Without its sample_frequency
//    line (bit 6 of the second byte) the SPAR file must be refused with the reader's
//    message naming it; without a PAR file (bit 0) an R11 reader must refuse the set
//    naming the PAR file; without its last SDAT file (bit 1) the set must be refused
//    naming that file.
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
#include "platform/FileChooser.h"
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

// The readers of chosen files: single voxel, time series, 2-D single slice R2 (the first
// three: the SPAR and SDAT files alone), then the 2-D single slice pre-R11 and R11, the
// 2-D multi-slice R11 and R2 and the 3-D R11 and R2 readers (with slices and a PAR file).
constexpr int kChosenFormats[] = {0, 1, 4, 2, 3, 6, 7, 9, 10};
constexpr size_t kParameterBytes = 28;
constexpr size_t kStackBytes = 12;
constexpr int kLR = 0, kAP = 1, kCC = 2;
// The PAR file's triples list AP, FH, RL.
constexpr int kParAP = 0, kParFH = 1, kParRL = 2;

bool TakesStack(int format)
{
    return format == 2 || format == 3 || format >= 6;
}

// The readers of k-space samples, whose post-read turns coronal and transverse planes.
bool KSpaceSamples(int format)
{
    return format == 2 || format == 3 || format == 6 || format == 9;
}

// The readers of image-space samples that read a PAR file only when the user chooses one.
bool ImageSpaceStack(int format)
{
    return format == 7 || format == 10;
}

bool RequiresPAR(int format)
{
    return format == 3 || format == 6 || format == 9;
}

// The SDAT file of each slice (k-space, one file a slice or partition): R11 stacks and volumes.
bool SliceFiles(int format)
{
    return format == 6 || format == 9;
}

// The PAR file of the metabolic map, as written: version 3 (its image lines not read) or
// 4, with or without image lines of 41 columns (thickness and gap in columns 22 and 23),
// and each general line present or not.
struct TChosenPAR {
    bool written = false;
    bool version3 = false, imageLines = false;
    bool hasAngulation = false, hasFOV = false, hasSlices = false, hasThickness = false, hasGap = false;
    float fov[3] = {}, angulation[3] = {};  // [AP, FH, RL] as written
    int slices = 1;
    float thickness = 0, gap = 0, imageThickness = 0, imageGap = 0;
};

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
    // Stacks and volumes: nr_of_slices_for_multislice (and dim4_pnts), slice_distance, the
    // spatial dimensions a 3-D R11 SPAR file gives (2 or 3), and the PAR file.
    int slices = 1;
    float distance = 0;
    int volumeDims = 3;
    TChosenPAR par;
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

// The 12 bytes of stacks, volumes and PAR files: 1-4 slices (bit 2 of their byte: a 3-D
// R11 SPAR file of 2 spatial dimensions), a slice distance of 0.5-20 mm, the PAR file's
// layout (bits 0-1: none, version 3, version 4 with image lines, version 4 without; bits
// 2-6 its angulation, field of view, slice count, thickness and gap lines), its fields of
// view of 8-256 mm, angulations of both signs, 1-4 slices, thickness of 0.5-20 mm and gap
// of 0-9.5 mm (the image lines' of a second pick of both).
void ChosenStack(TSparParameters& p, const uint8_t* data)
{
    using vx::fuzz::TChosen;
    TChosen c(data, kStackBytes);
    const uint8_t slices = c.Byte();
    p.slices = p.format == 2 || p.format == 3 ? 1 : 1 + slices % 4;
    p.volumeDims = p.format == 9 && (slices & 4) ? 2 : 3;
    p.distance = float(1 + c.Pick(40)) / 2.0f;
    TChosenPAR& par = p.par;
    const uint8_t layout = c.Byte();
    par.written = (layout & 3) != 0;
    par.version3 = (layout & 3) == 1;
    par.imageLines = (layout & 3) == 2;
    par.hasAngulation = (layout >> 2) & 1;
    par.hasFOV = (layout >> 3) & 1;
    par.hasSlices = (layout >> 4) & 1;
    par.hasThickness = (layout >> 5) & 1;
    par.hasGap = (layout >> 6) & 1;
    for (int k = 0; k < 3; ++k) {
        const uint8_t value = c.Byte();
        par.fov[k] = float(8 * (1 + value % 32));
        par.angulation[k] = TChosen::SignedOf(uint8_t(value * 11 + k), 8.0f);
    }
    const uint8_t sizes = c.Byte();
    par.slices = 1 + sizes % 4;
    par.thickness = float(1 + (sizes >> 2) % 40) / 2.0f;
    const uint8_t gaps = c.Byte();
    par.gap = float(gaps % 20) / 2.0f;
    par.imageThickness = float(1 + (gaps >> 3) % 20) / 2.0f;
    par.imageGap = float(c.Pick(20)) / 2.0f;
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
    if (p.format >= 2) {
        static constexpr const char* kDirections[] = {"sagittal", "coronal", "transversal"};
        const int dims = p.format == 10 ? 3 : p.format == 9 ? p.volumeDims : 2;
        text += Printed("phase_encoding_direction : %s\r\n", kDirections[p.sliceAxis]) +
                Printed("phase_encoding_fov : %.1f\r\n", double(p.phaseFOV)) +
                Printed("slice_thickness : %.1f\r\n", double(p.thickness)) +
                Printed("spec_num_dimensions : %d\r\n", dims + 1) +
                Printed("spec_dim2_pnts : %d\r\nspec_dim3_pnts : %d\r\nspec_dim4_pnts : %d\r\n", p.sizeA, p.sizeB,
                        p.slices);
        if (p.format >= 6)
            text += Printed("slice_distance : %.1f\r\nnr_of_slices_for_multislice : %d\r\n", double(p.distance),
                            p.slices);
        for (int axis : {kAP, kLR, kCC})
            text += Printed("si_%s_off_center : %.2f\r\n", kAxisNames[axis], double(p.gridOffCentre[axis]));
        for (int axis : {kAP, kLR, kCC})
            text += Printed("si_%s_off_angulation : %.3f\r\n", kAxisNames[axis], double(p.gridAngulation[axis]));
    }
    return text;
}

// The PAR text: the version line, the general lines chosen, and for version 4 with image
// lines two images whose last one's thickness and gap count.
std::string ParText(const TChosenPAR& par)
{
    using vx::fuzz::Printed;
    const auto triple = [](const float v[3]) {
        return Printed("%.3f  %.3f  %.3f", double(v[kParAP]), double(v[kParFH]), double(v[kParRL]));
    };
    std::string text = "# === DATA DESCRIPTION FILE ======================\n#\n";
    text += par.version3 ? "# CLINICAL TRYOUT             Research image export tool     V3\n#\n"
                         : "# CLINICAL TRYOUT             Research image export tool     V4.1\n#\n";
    text += ".    Patient name                       :   Chosen\n";
    if (par.hasAngulation)
        text += ".    Angulation midslice(ap,fh,rl)[degr]:   " + triple(par.angulation) + "\n";
    if (par.hasFOV)
        text += ".    FOV (ap,fh,rl) [mm]                :   " + triple(par.fov) + "\n";
    if (par.hasSlices)
        text += Printed(".    Max. number of slices/locations    :   %d\n", par.slices);
    if (par.hasThickness)
        text += Printed(".    Slice thickness [mm]               :   %.3f\n", double(par.thickness));
    if (par.hasGap)
        text += Printed(".    Slice gap [mm]                     :   %.3f\n", double(par.gap));
    text += "#\n";
    if (par.imageLines)
        for (int image = 0; image < 2; ++image) {
            std::vector<std::string> columns(41, "0");
            columns[0] = std::to_string(image + 1);
            columns[22] = Printed("%.3f", double(image == 0 ? par.thickness + 1.0f : par.imageThickness));
            columns[23] = Printed("%.3f", double(image == 0 ? par.gap + 1.0f : par.imageGap));
            for (const std::string& column : columns)
                text += " " + column;
            text += "\n";
        }
    return text;
}

// The set's grid of chosen parameters: one voxel; the series along the second axis; or
// the slice's in-plane sizes along its in-plane axes and the slices (a PAR file's count
// for the R11 readers of slice files) along the slice axis.
void GridOf(const TSparParameters& p, int dim[3], int& a, int& b, int& s)
{
    dim[0] = dim[1] = dim[2] = 1;
    if (p.format == 1) {
        dim[1] = p.rows;
        a = 1, b = 2, s = 0;
    } else if (p.format >= 2) {
        s = p.sliceAxis;
        a = s == 0 ? 1 : 0;
        b = s == 2 ? 1 : 2;
        dim[a] = p.sizeA;
        dim[b] = p.sizeB;
        dim[s] = SliceFiles(p.format) && p.par.written && p.par.hasSlices ? p.par.slices : p.slices;
    } else {
        a = 0, b = 1, s = 2;
    }
}

// The samples of the SDAT files, file after file: `first` to `first` + `count` spectra.
std::string SdatFile(const TSparParameters& p, std::string_view samples, size_t first, size_t count)
{
    std::string file;
    const size_t values = size_t(2) * size_t(p.spectrum.points);
    for (size_t k = first * values; k < (first + count) * values; ++k)
        vx::fuzz::PutVax(file, vx::fuzz::ChosenSample(samples, k));
    return file;
}

// The set holds what the SPAR lines say by the reader's mapping (the AP and LR values of
// boxes and grid negated, a single voxel's grid the last box) and what a PAR file read
// says (angulation, fields of view, slice count, thickness and gap; AP, FH and RL on the
// set's axes), with the rotation of the angulation in the order of its file; and, read
// raw, the samples in the files' order (the first in-plane axis fastest, the slice files
// of a stack from the last slice, of a volume from the first).
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
    const bool imageSpace = p.format == 4 || ImageSpaceStack(p.format);
    int echo = 0;
    if (!imageSpace && !(p.format < 2 && p.echoAcquisition)) {
        const double top = (double(p.spectrum.te) * 0.001 - p.lowerValue) * double(p.spectrum.width);
        echo = top < 1 ? 0 : top > points - 1 ? points - 1 : int(top);
    }
    Require(set.m_nEchoPosition == echo && set.m_bEchoShifted == (echo != 0 ? 1 : 0),
            "echo position of the first point's time, or none");
    int dim[3], a, b, s;
    GridOf(p, dim, a, b, s);
    const bool fromPAR = p.par.written && TakesStack(p.format);
    const int last = p.volumes - 1;
    // The PAR triples (AP, FH, RL) on the set's axes (LR, AP, FH).
    const auto fromTriple = [](const float v[3], int axis) {
        return v[axis == kLR ? kParRL : axis == kAP ? kParAP : kParFH];
    };
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
            fov[axis] = axis == s ? p.thickness : p.phaseFOV;
            if (fromPAR && p.par.hasFOV)
                fov[axis] = fromTriple(p.par.fov, axis);
            offCentre[axis] = sign[axis] * p.gridOffCentre[axis];
            angulation[axis] = fromPAR && p.par.hasAngulation ? fromTriple(p.par.angulation, axis)
                                                              : sign[axis] * p.gridAngulation[axis];
            break;
        }
    }
    // Without a PAR file the second in-plane axis of image-space data gets the first one's
    // voxel size.
    if (imageSpace && !fromPAR)
        fov[b] = float(dim[b]) * fov[a] / float(dim[a]);
    vx::fuzz::CheckRotation(set, fromPAR ? vx::fuzz::AngulationRotation(angulation)
                                         : vx::fuzz::SparAngulationRotation(angulation));
    float thickness = fov[s] / float(dim[s]), gap = 0.0f;
    const bool stack = p.format == 6 || p.format == 7;
    if (stack) {
        // As the SPAR slice count's line leaves them, or a PAR file's lines.
        thickness = float(double(p.thickness) - double(p.slices - 1) * double(p.distance));
        gap = float(double(p.distance) - double(thickness));
        if (fromPAR && p.par.hasThickness)
            thickness = p.par.thickness;
        if (fromPAR && p.par.hasGap)
            gap = p.par.gap;
        if (fromPAR && p.par.imageLines)
            thickness = p.par.imageThickness, gap = p.par.imageGap;
    }
    Require(set.m_fSliceThickness == thickness && set.m_fSliceGap == gap,
            "slice thickness and gap of the slices' lines, or the field of view over the slices");
    Require(set.m_nSliceAxis == s, "slice axis of the reader");
    // The post-read of k-space data turns coronal and transverse planes: the in-plane
    // sizes change places (the fields of view stay).
    const int fileDim[3] = {dim[0], dim[1], dim[2]};
    if (KSpaceSamples(p.format) && !raw && s != 0)
        std::swap(dim[a], dim[b]);
    for (int axis = 0; axis < 3; ++axis)
        Require(set.m_nDim[axis] == dim[axis], "grid of the reader");
    for (int axis = 0; axis < 3; ++axis)
        Require(set.m_fFOV[axis] == fov[axis] && set.m_fOffCentre[axis] == offCentre[axis] &&
                    set.m_fAngulation[axis] == angulation[axis],
                "field of view, off-centre and angulation of the grid");
    const int spatialDims = p.format < 2 ? 1 : p.format >= 9 ? 3 : 2;
    Require(set.m_nSpatialDims == spatialDims, "dimensions of the reader");
    Require(set.m_bMultiSlice == (stack ? 1 : 0) && set.m_slicePhases.size() == (stack ? size_t(dim[s]) : 0),
            "multi-slice flag and a phase entry per slice");
    Require(set.m_strName == "scan" && set.m_nFormat == p.format, "name and format of the set");
    if (!raw)
        return;
    std::vector<std::complex<float>> spectrum(static_cast<size_t>(points));
    int at[3] = {0, 0, 0};
    size_t fileVoxel = 0;
    for (int slice = 0; slice < fileDim[s]; ++slice) {
        at[s] = p.format == 6 ? fileDim[s] - 1 - slice : slice;
        for (at[b] = 0; at[b] < fileDim[b]; ++at[b])
            for (at[a] = 0; at[a] < fileDim[a]; ++at[a], ++fileVoxel) {
                for (int i = 0; i < points; ++i) {
                    const size_t k = 2 * (fileVoxel * size_t(points) + size_t(i));
                    spectrum[size_t(i)] = {vx::fuzz::ChosenSample(samples, k),
                                           vx::fuzz::ChosenSample(samples, k + 1)};
                }
                const size_t voxel = size_t(at[0] + dim[0] * (at[1] + dim[1] * at[2]));
                Require(vx::fuzz::VoxelHolds(set, voxel, spectrum.data(), points),
                        "each voxel holds its spectrum of the SDAT files");
            }
    }
}

// Reads SPAR, PAR and SDAT files written from chosen parameters.
void ReadChosen(const uint8_t* data, size_t size)
{
    const int format = kChosenFormats[data[0] % std::size(kChosenFormats)];
    const uint8_t options = data[1];
    data += 2;
    size -= 2;
    const size_t parameterBytes = kParameterBytes + (TakesStack(format) ? kStackBytes : 0);
    if (size < parameterBytes)
        return;
    const auto parts = vx::fuzz::Sections(data + parameterBytes, size - parameterBytes, 3);
    TSparParameters chosen = ChosenParameters(format, data, parts[0], parts[1]);
    if (TakesStack(format))
        ChosenStack(chosen, data + kParameterBytes);
    chosen.withoutWidth = (options >> 6) & 1;
    if (!TakesStack(format) || (options & 1))
        chosen.par.written = false;
    const bool withoutData = (options >> 1) & 1;
    // The image-space readers take a PAR file only from the file dialog, outside a batch run.
    const bool chooseParFile = ImageSpaceStack(format) && chosen.par.written;
    g_bBatchMode = !chooseParFile;
    const bool perSlice = SliceFiles(format);
    for (const char* name : {"scan.SPAR", "scan.spar", "scan_1.SPAR", "scan_1.spar", "scan.SDAT"})
        vx::RemoveFile(vx::JoinPath(vx::fuzz::ScratchFolder(), name));
    for (int k = 1; k <= kMaxSliceFiles; ++k)
        vx::RemoveFile(vx::JoinPath(vx::fuzz::ScratchFolder(), "scan_" + std::to_string(k) + ".SDAT"));
    const std::string spar = vx::fuzz::WriteScratch(perSlice ? "scan_1.SPAR" : "scan.SPAR", SparText(chosen));
    const std::string par = vx::fuzz::WriteScratchOrRemove("scan.PAR", chosen.par.written ? ParText(chosen.par) : "");
    int dim[3], a, b, s;
    GridOf(chosen, dim, a, b, s);
    std::string sdat, missing;
    if (perSlice) {
        const size_t sliceSpectra = size_t(dim[a] * dim[b]);
        for (int k = 1; k <= dim[s]; ++k) {
            sdat = vx::fuzz::WriteScratch("scan_" + std::to_string(k) + ".SDAT",
                                          SdatFile(chosen, parts[2], size_t(k - 1) * sliceSpectra, sliceSpectra));
        }
    } else {
        sdat = vx::fuzz::WriteScratch("scan.SDAT", SdatFile(chosen, parts[2], 0, size_t(dim[0] * dim[1] * dim[2])));
    }
    if (withoutData) {
        vx::RemoveFile(sdat);
        missing = sdat;
    }
    // The file chosen: the SPAR file (bit 2) or the last SDAT file.
    const std::string path = (options & 4) ? spar : sdat;
    TCSIReadParams params;
    params.m_nFormat = format;
    params.m_bRemoveOffset = (options >> 3) & 1;
    params.m_bNormalize = (options >> 4) & 1;
    params.m_bLoadRawData = (options >> 5) & 1;
    vx::fuzz::ClearReportTexts();
    g_batchLog.clear();
    if (chooseParFile)
        vx::SetFileChooserHandler([par](const vx::TFileRequest&) { return std::vector<std::string>{par}; });
    std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
    std::unique_ptr<TCSISet> set(reader->Read(path));
    vx::SetFileChooserHandler({});
    if (chosen.withoutWidth) {
        vx::fuzz::Require(!set && vx::fuzz::Said("Parameter file " + spar + " cannot be read or is invalid."),
                          "a SPAR file without a sweep width is refused with the reader's message");
        return;
    }
    if (RequiresPAR(format) && !chosen.par.written) {
        vx::fuzz::Require(!set && vx::fuzz::Said("Fail to read metabolic map PAR file " + par + "."),
                          "a set without the PAR file its reader requires is refused naming it");
        return;
    }
    if (withoutData) {
        vx::fuzz::Require(!set && vx::fuzz::Said("Data file " + missing + " does not exist or cannot be read."),
                          "a set without one of its SDAT files is refused naming it");
        return;
    }
    vx::fuzz::Require(set != nullptr, "a set a scanner could have written is read");
    // The pre-R11 reader goes on without its PAR file, and says so.
    vx::fuzz::Require(format != 2 || chosen.par.written ||
                          vx::fuzz::Said("Metabolic map PAR file " + par + " does not exist or cannot be read."),
                      "a slice read without its PAR file warns naming it");
    CheckChosenRead(*set, chosen, params.m_bLoadRawData != 0, parts[2]);
    // The project's add reads the files again, where no PAR file is chosen: that road is
    // taken by the sets read without one.
    if (!chooseParFile)
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
