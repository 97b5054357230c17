// Writes the synthetic seeds of the fuzz targets: files built from the layouts the reader
// tests use, laid out as each target takes its input, one folder per target below the
// folder given. A P-file seed is read back through its reader before it is written, so
// that a seed that no longer reaches the samples is noticed. Run by fuzz/make_seeds.py.
#include <array>
#include <cmath>
#include <complex>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "PfileLayout.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/oflog/oflog.h"
#include "model/SelectionMaskFile.h"
#include "model/TCSIReadParams.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "gehdr/GESyntheticHeaders.h"
#include "processing/AnalysisTestData.h"
#include "processing/InstallProcessing.h"
#include "processing/TAnalysisNMF.h"
#include "processing/TAnalysisPCA.h"
#include "readers/BrukerTestFiles.h"
#include "readers/DicomImage.h"
#include "readers/DicomTestFiles.h"
#include "readers/GEPfileTestFiles.h"
#include "readers/PARTestFiles.h"
#include "readers/PhilipsCSITestFiles.h"
#include "readers/PhilipsEPCSITestFiles.h"
#include "readers/PhilipsTestFiles.h"
#include "readers/PluginRecords.h"
#include "readers/ReaderFactory.h"
#include "readers/SiemensTestFiles.h"
#include "support/Bytes.h"
#include "support/TestFiles.h"

using namespace vx::test;
using vx::fuzz::PackSections;

namespace {

std::string g_out;
std::vector<std::string> g_unread;

void Put(const std::string& target, const std::string& name, const std::string& bytes)
{
    const std::string folder = vx::JoinPath(g_out, target);
    vx::MakeFolder(folder);
    WriteBytes(vx::JoinPath(folder, name), bytes);
}

// ---- GE P-files ----------------------------------------------------------------------

int KeyIndex(int revision)
{
    return revision == kRev9 ? 0 : revision == kRev11 ? 1 : 2;
}

// An oblique plane of the code (24, 20 or 18) tilted by 45 degrees, centred: the rotation
// comes from the corners and the normal.
void SetObliquePlane(TPfileHeader& h, int code)
{
    const float c = std::sqrt(0.5f), d = 80.0f * c;
    const struct {
        int code;
        std::array<float, 3> corner1, corner2, normal;
    } planes[] = {{24, {80, -d, d}, {-80, -d, d}, {0, c, c}},
                  {20, {d, d, 80}, {-d, -d, 80}, {-c, c, 0}},
                  {18, {70, 80, 30}, {-90, 80, -10}, {c, 0, c}}};
    for (const auto& p : planes)
        if (p.code == code) {
            h.plane = 16;
            h.obliquePlane = code;
            h.centre = {0, 0, 0};
            h.corner1 = p.corner1;
            h.corner2 = p.corner2;
            h.normal = p.normal;
        }
}

// The seed of a P-file of the revision key and byte order (1 little-endian) for the reader
// index (0 EXCITE, 1 single voxel, 2 pre-11.0, 3 multi-plane CSI), checked by reading the
// file the target makes of it.
void PfileInput(const std::string& name, int revision, int order, const std::string& file, int reader, int options)
{
    const uint8_t pick = uint8_t(KeyIndex(revision) | (order == 1 ? 4 : 0) | (reader << 3) | (options << 5));
    const std::string input = std::string(1, char(pick)) + vx::fuzz::InputFromPfile(revision, file);
    const std::string laid = vx::fuzz::PfileFromInput(pick, reinterpret_cast<const uint8_t*>(input.data()) + 1,
                                                      input.size() - 1);
    const std::string path = vx::JoinPath(g_out, "P00001.7");
    WriteBytes(path, laid);
    TCSIReadParams params;
    params.m_nFormat = vx::fuzz::kPfileFormats[reader];
    params.m_nAxisOrder[1] = 1;
    params.m_nAxisOrder[2] = 2;
    params.m_bLoadRawData = options & 1;
    std::unique_ptr<TCSIReader> r(CreateReader(uint32_t(params.m_nFormat), &params));
    std::unique_ptr<TCSISet> set(r->Read(path));
    vx::RemoveFile(path);
    if (!set) {
        g_unread.push_back("P-file seed " + name + " is not read by format " + std::to_string(params.m_nFormat));
    }
    Put("fuzz_ge_pfile", name, input);
}

// The same for a synthetic P-file, whose header is also a seed of fuzz_ge_headers.
// Options: bit 0 "Load raw data", bit 1 "Remove offset", bit 2 "Apply normalization".
void PfileSeed(const std::string& name, const TPfileHeader& h, const std::string& file, int reader, int options = 0)
{
    PfileInput(name, h.revision, h.order, file, reader, options);
    Put("fuzz_ge_headers", name, PfileHeaderBytes(h));
}

void PfileSeeds()
{
    {  // EXCITE 2-D, 11.0 little-endian, and the same with raw data kept
        TPfileHeader h;
        h.dims[0] = h.dims[1] = 4;
        h.points = 32;
        const int at[3] = {1, 2, 0};
        const std::string file = PfileBytes(h, KSpaceLine(h.dims, 2, at, LineFid(h.points), true));
        PfileSeed("excite_2d_11", h, file, 0);
        PfileSeed("excite_2d_11_raw", h, file, 0, 1);
    }
    {  // EXCITE 3-D, 14.3 big-endian, 32-bit samples
        TPfileHeader h;
        h.revision = kRev14;
        h.order = 0;
        h.pointSize = 4;
        h.swVersion = "14";
        h.dims[0] = h.dims[1] = 4;
        h.dims[2] = 2;
        h.spatialDims = 3;
        h.points = 16;
        const int at[3] = {2, 1, 1};
        PfileSeed("excite_3d_14", h, PfileBytes(h, KSpaceLine(h.dims, 3, at, LineFid(h.points), true)), 0);
    }
    {  // EXCITE 2-D on a 9.0 header (software 11), odd grid
        TPfileHeader h;
        h.revision = kRev9;
        h.dims[0] = 5;
        h.dims[1] = 3;
        h.points = 16;
        const int at[3] = {4, 0, 0};
        PfileSeed("excite_2d_9", h, PfileBytes(h, KSpaceLine(h.dims, 2, at, LineFid(h.points), true)), 0);
    }
    {  // pre-11.0: 9.0 big-endian, software 09
        TPfileHeader h;
        h.revision = kRev9;
        h.order = 0;
        h.swVersion = "09";
        h.points = 16;
        h.dims[0] = h.dims[1] = 4;
        const int at[3] = {3, 1, 0};
        const std::string file = PfileBytes(h, KSpaceLine(h.dims, 2, at, LineFid(h.points), true));
        PfileSeed("pre11_2d_9", h, file, 2);
        PfileSeed("pre11_2d_9_raw", h, file, 2, 1);
        h.dims[2] = 2;
        h.spatialDims = 3;
        PfileSeed("pre11_3d_9", h, PfileBytes(h, KSpaceLine(h.dims, 3, at, LineFid(h.points), true)), 2);
    }
    {  // single voxel, 11.0, four frames
        TPfileHeader h;
        h.dims[0] = h.dims[1] = 1;
        h.points = 64;
        h.frameCount = 4;
        std::vector<std::complex<double>> samples;
        for (int f = 0; f < h.frameCount; ++f) {
            const auto fid = LineFid(h.points, 500.0 * (f + 1));
            samples.insert(samples.end(), fid.begin(), fid.end());
        }
        PfileSeed("single_voxel_11", h, PfileBytes(h, samples), 1);
    }
    {  // oblique planes of every code, excited volumes, every reorientation mode, patient
       // position and an echo; offsets removed
        const struct {
            int oblique;
            int mode, position, echo;
            const char* sequence;
        } obliques[] = {{24, 1, 2, 0, "press"}, {20, 2, 4, 1, "probe"}, {18, 3, 8, 0, "prose_csi"}};
        for (const auto& k : obliques) {
            TPfileHeader h;
            SetObliquePlane(h, k.oblique);
            h.field176 = k.mode;
            h.patientPosition = k.position;
            h.echoFlag = k.echo;
            h.sequenceName = k.sequence;
            h.dims[0] = h.dims[1] = 4;
            h.points = 16;
            const int at[3] = {1, 2, 0};
            const std::string file = PfileBytes(h, KSpaceLine(h.dims, 2, at, LineFid(h.points), true));
            PfileSeed("excite_oblique" + std::to_string(k.oblique), h, file, 0, 2);
            // The pre-11.0 reader of the same plane, a volume by its short name.
            h.revision = kRev9;
            h.order = 0;
            h.swVersion = "09";
            h.sequenceShortName = "PRESSCSI";
            PfileSeed("pre11_oblique" + std::to_string(k.oblique), h,
                      PfileBytes(h, KSpaceLine(h.dims, 2, at, LineFid(h.points), true)), 2, 6);
        }
        // A 3-D grid of an excited volume: centred there, its slab as its extent.
        TPfileHeader h;
        h.sequenceName = "steam";
        h.dims[0] = h.dims[1] = 4;
        h.dims[2] = 2;
        h.spatialDims = 3;
        h.points = 16;
        const int at[3] = {2, 1, 1};
        PfileSeed("excite_3d_volume", h, PfileBytes(h, KSpaceLine(h.dims, 3, at, LineFid(h.points), true)), 0, 4);
    }
    {  // single voxel of 32-bit samples, big-endian 14.3, an excited volume on an oblique
       // plane, two of six frames skipped; offset removed and normalized
        TPfileHeader h;
        h.revision = kRev14;
        h.order = 0;
        h.pointSize = 4;
        h.swVersion = "14";
        h.dims[0] = h.dims[1] = 1;
        h.spatialDims = 0;
        h.points = 32;
        h.frameCount = 6;
        h.skipFrames = 2;
        h.sequenceName = "probe-p";
        SetObliquePlane(h, 18);
        std::vector<std::complex<double>> samples;
        for (int f = 0; f < h.frameCount; ++f) {
            const auto fid = LineFid(h.points, 300.0 * (f + 1));
            samples.insert(samples.end(), fid.begin(), fid.end());
        }
        PfileSeed("single_voxel_32bit_14", h, PfileBytes(h, samples), 1, 6);
    }
    const struct {
        int revision, order, pointSize, plane;
        float echo;
    } multiPlane[] = {{kRev11, 1, 2, 2, 0}, {kRev14, 0, 4, 4, 0}, {kRev9, 1, 2, 8, 1}};
    for (const auto& c : multiPlane) {
        TPfileHeader h;
        h.revision = c.revision;
        h.order = c.order;
        h.pointSize = c.pointSize;
        h.plane = c.plane;
        h.mpMatrix[0] = h.mpMatrix[1] = 4;
        h.mpSlices = 3;
        h.mpPoints = 16;
        h.mpEcho = c.echo;
        h.mpEchoTiming = 17000;  // the echo top 1.25 points in
        h.corner1 = {-80, 80, 20};
        h.corner2 = {80, 80, 20};
        const int dims[3] = {4, 4, h.mpSlices}, at[3] = {1, 2, 1};
        PfileSeed("mpcsi_plane" + std::to_string(c.plane), h,
                  MPCSIBytes(h, KSpaceLine(dims, 2, at, LineFid(16), true, true)), 3);
        if (c.plane == 2) {
            // An oblique plane and an excited volume, normalized.
            h.plane = 16;
            h.obliquePlane = 24;
            h.sequenceShortName = "PRESS";
            PfileSeed("mpcsi_oblique24", h, MPCSIBytes(h, KSpaceLine(dims, 2, at, LineFid(16), true, true)), 3, 4);
        }
    }
}

// The scanner's single-voxel P-file (LX 11.0 on a 9.0 header, little-endian, 32-bit samples
// of 2048 points, an excited volume on an oblique plane) cut to fit an input: its header
// counts 4 frames and skips 2, and the file ends after them. For the single-voxel reader
// and, as a whole file, for the header target's P-file readers.
void ScannerPfileSeeds()
{
    const std::string path = SampleDataPath("ge_pfile/tarquin/P1751_1.5T_030_2000.7");
    if (!vx::FileExists(path))
        return;
    constexpr size_t kDataStart = 77848, kFrameBytes = 2048 * 8;
    std::string file = ReadBytes(path);
    if (file.size() < kDataStart + 4 * kFrameBytes) {
        g_unread.push_back("the scanner P-file is shorter than its header and 4 frames");
        return;
    }
    file.resize(kDataStart + 4 * kFrameBytes);
    getest::Put16(file, kFrameCountOffset, 4, 1);
    getest::PutFloat(file, kSkipFramesOffset, 2.0f, 1);
    for (const int options : {0, 1, 6})
        PfileInput("scanner_single_voxel_" + std::to_string(options), kRev9, 1, file, 1, options);
    Put("fuzz_ge_headers", "scanner_P1751_cut", file);
}

// Genesis images of every header version in both byte orders: 4 x 3 pixels, the image
// size written into the control block of the synthetic header.
void GenesisSeeds()
{
    for (const auto& [key, layout] : getest::GenesisLayouts())
        for (int order : {0, 1}) {
            std::string bytes = getest::MakeGenesis(key, order);
            getest::Put32(bytes, size_t(layout.ctrlOff + 8), 4, order);
            getest::Put32(bytes, size_t(layout.ctrlOff + 12), 3, order);
            for (int v = 0; v < 12; ++v)
                getest::Put16(bytes, bytes.size(), 100 * v - 500, order);
            Put("fuzz_ge_headers", "genesis_" + std::to_string(key) + "_" + std::to_string(order), bytes);
        }
}

// ---- Bruker ----------------------------------------------------------------------------

// The first byte of a fuzz_bruker input: the dialog's orientation and options.
void PutBruker(const std::string& name, const std::string& files, int pick = 0)
{
    Put("fuzz_bruker", name, std::string(1, char(pick)) + files);
}

void BrukerSeeds()
{
    TBrukerCSIScan scan;
    scan.matrix[0] = 4;
    scan.matrix[1] = 3;
    scan.matrix[2] = 2;
    scan.points = 32;
    const auto line = DelayedLine(scan.points, 9, 68.5, false);
    // 2dseq: the spectra of every grid point, all real parts, then all imaginary parts.
    const std::string sizes = std::to_string(scan.points) + " 4 3 2";
    const struct {
        const char* name;
        const char* ftMode;
        const char* type;
        int imageType;
    } seqs[] = {{"2dseq_complex", "NO_FT NO_FT NO_FT NO_FT", "COMPLEX_IMAGE", 0},
                {"2dseq_real", "COMPLEX_FT COMPLEX_FFT", "REAL_IMAGE", 2}};
    for (const auto& s : seqs) {
        std::string real, imag;
        for (int v = 0; v < 4 * 3 * 2; ++v)
            for (int k = 0; k < scan.points; ++k) {
                AppendInt32(real, (1 << 20) * (v == 5 ? line[size_t(k)].real() : 0.01 * k));
                AppendInt32(imag, (1 << 20) * (v == 5 ? line[size_t(k)].imag() : -0.01 * k));
            }
        PutBruker(s.name, PackSections({JcampText(CSIMethodLines(scan, "##$CSIRecoMatrix")),
                                        JcampText(AcqpLines(300.3, 68.5, 32, 11)),
                                        JcampText(RecoLines(sizes, s.ftMode, s.type)), s.imageType == 0 ? real + imag : real}));
    }
    // fid: k-space of one voxel, (real, imaginary) int32 pairs, read fastest.
    std::string fid;
    const auto kr = KSpaceLineForVoxel(4, 1), kp = KSpaceLineForVoxel(3, 2), ks = KSpaceLineForVoxel(2, 0);
    for (int s = 0; s < 2; ++s)
        for (int p = 0; p < 3; ++p)
            for (int r = 0; r < 4; ++r)
                for (int t = 0; t < scan.points; ++t) {
                    const auto v = double(1 << 20) * kr[size_t(r)] * kp[size_t(p)] * ks[size_t(s)] * line[size_t(t)];
                    AppendInt32(fid, v.real());
                    AppendInt32(fid, v.imag());
                }
    // Images: three 4 x 3 slices of 16-bit pixels, read along x and along y.
    std::vector<int> pixels;
    for (int p = 0; p < 3 * 12; ++p)
        pixels.push_back(7 * p - 50);
    const TJcampLines image = ImageMethodLines();
    for (const char* read : {"L_R", "A_P"})
        PutBruker(std::string("image_") + read,
                  PackSections({JcampText(WithLine(image, "##$PVM_SPackArrReadOrient", JcampArray(read))),
                                JcampText(AcqpLines(300.3, 68.5, 32, 11)), "", Int16LE(pixels)}));
    const std::string reco = JcampText(RecoLines(sizes, "NO_FT NO_FT NO_FT NO_FT", "COMPLEX_IMAGE"));
    const TJcampLines method = CSIMethodLines(scan, "##$CSITotalMatrix");
    PutBruker("fid_3d", PackSections({JcampText(method), JcampText(AcqpLines(300.3, 68.5, 32, 11)), reco, fid}));
    // The grid of an excited voxel, the slices along y and the offsets removed (pick
    // bits 0-1 and 2); the same kept as raw data (bit 3).
    TJcampLines voxel = WithLine(method, "##$CSISlab", "=voxel");
    voxel = WithLine(voxel, "##$PVM_VoxArrSize", JcampArray("20 30 40"));
    voxel = WithLine(voxel, "##$PVM_VoxArrPosition", JcampArray("1.5 -2 3"));
    const std::string files = PackSections({JcampText(voxel), JcampText(AcqpLines(300.3, 68.5, 32, 11)), reco, fid});
    PutBruker("fid_3d_voxel", files, 1 | 4);
    PutBruker("fid_3d_voxel_raw", files, 8);
}

// ---- Philips -------------------------------------------------------------------------

// The scan of a CSI format as the reader tests make it, on a smaller grid.
TCSIScan SeedScan(int format, int sliceAxis)
{
    TCSIScan scan = ScanFor(format, sliceAxis);
    scan.n[0] = 4;
    scan.n[1] = 3;
    scan.points = 32;
    return scan;
}

// The index of a format in fuzz_spar_sdat's list.
int SdatFormatIndex(int format)
{
    const int formats[] = {0, 1, 2, 3, 4, 6, 7, 9, 10};
    for (int i = 0; i < 9; ++i)
        if (formats[i] == format)
            return i;
    return 0;
}

void PhilipsSeeds()
{
    // The second byte of a fuzz_spar_sdat input: the per-slice file count less one, and
    // the options "Remove offset" (8) and "Apply normalization" (16).
    constexpr int kRemoveOffset = 8, kNormalize = 16;
    const std::string sv = SparText(SingleVoxelLines(64));
    for (const int options : {0, kRemoveOffset, kRemoveOffset | kNormalize})
        Put("fuzz_spar_sdat", "single_voxel" + (options ? "_options" + std::to_string(options) : std::string()),
            std::string{char(0), char(options)} + PackSections({sv, "", SdatBytes(Fid(64, 250, 2000))}));
    // SPAR files named in lower case (bit 6 of the first byte), found through the listing.
    Put("fuzz_spar_sdat", "single_voxel_lower_case",
        std::string{char(0x40), char(0)} + PackSections({sv, "", SdatBytes(Fid(64, 250, 2000))}));
    auto series = Fid(64, 250, 2000);
    const auto second = Fid(64, -100, 2000);
    series.insert(series.end(), second.begin(), second.end());
    TLines rows = SingleVoxelLines(64);
    rows.emplace_back("rows", "2");
    Put("fuzz_spar_sdat", "time_series", std::string{char(1), char(0)} + PackSections({SparText(rows), "", SdatBytes(series)}));
    Put("fuzz_spar_sdat", "time_series_options",
        std::string{char(1), char(kRemoveOffset | kNormalize)} + PackSections({SparText(rows), "", SdatBytes(series)}));
    for (int format : {2, 3, 4, 6, 7, 9, 10})
        for (int sliceAxis : {0, 1, 2}) {
            const TCSIScan scan = SeedScan(format, sliceAxis);
            const int ns = scan.n[2];
            const bool perSlice = format == 6 || format == 9;
            std::string sdat;
            for (int k = 1; k <= (perSlice ? ns : 1); ++k) {
                // Stacks: file k holds slice n - k; volumes: file k holds partition k - 1.
                const int slice = format == 6 ? ns - k : k - 1;
                sdat += perSlice ? SdatBytes(ScanSlices(scan, slice, slice + 1)) : SdatBytes(ScanSlices(scan, 0, ns));
            }
            const std::string input = std::string{char(SdatFormatIndex(format)), char(perSlice ? ns - 1 : 0)} +
                                      PackSections({SparText(CSISparLines(scan)), ParText(ParLines(ns)), sdat});
            Put("fuzz_spar_sdat", "csi_" + std::to_string(format) + "_axis" + std::to_string(sliceAxis), input);
            if (sliceAxis == 0)
                Put("fuzz_spar_sdat", "csi_" + std::to_string(format) + "_lower_case",
                    std::string(1, char(input[0] | 0x40)) + input.substr(1));
            if (format == 2) {
                // Also through Add Exam, given the SPAR file (bit 5) or its folder (bit 6).
                for (const int road : {0x20, 0x40}) {
                    std::string exam = input;
                    exam[1] = char(exam[1] | road);
                    Put("fuzz_spar_sdat", "csi_2_axis" + std::to_string(sliceAxis) + "_exam_" + std::to_string(road >> 5),
                        exam);
                }
            }
            if (sliceAxis == 1) {
                // Offsets removed and spectra normalized.
                std::string options = input;
                options[1] = char(options[1] | kRemoveOffset | kNormalize);
                Put("fuzz_spar_sdat", "csi_" + std::to_string(format) + "_options", options);
            }
            if (sliceAxis == 2) {
                // Outside a batch run, without the PAR file: the reader asks for it.
                const std::string asked = std::string{char(0x80 | SdatFormatIndex(format)), char(perSlice ? ns - 1 : 0)} +
                                          PackSections({SparText(CSISparLines(scan)), "", sdat});
                Put("fuzz_spar_sdat", "csi_" + std::to_string(format) + "_asked", asked);
            }
        }
    for (int format : {5, 8}) {
        const TCSIScan scan = SeedScan(format, 2);
        const int offset = format == 8 ? 96 : 0;
        const auto positions = ShuffledPositions(scan);
        std::string data(size_t(offset), 'x');
        for (const auto& p : positions)
            data += DataBytes(ScanSpectrum(scan, p.data()));
        const std::string files = PackSections(
            {ListText(scan, positions, offset), SparText(CSISparLines(scan)), ParText(ParLines(scan.n[2])), data});
        Put("fuzz_list", "list_" + std::to_string(format), std::string(1, char(format == 5 ? 0 : 1)) + files);
        // Also through Add Exam, given the LIST file (bit 4) or its folder (bit 5).
        for (const int road : {0x10, 0x20})
            Put("fuzz_list", "list_" + std::to_string(format) + "_exam_" + std::to_string(road >> 4),
                std::string(1, char((format == 5 ? 0 : 1) | road)) + files);
        // Outside a batch run, and without the SPAR file (the dialog's values are taken).
        const std::string noSpar = PackSections(
            {ListText(scan, positions, offset), "", ParText(ParLines(scan.n[2])), data});
        Put("fuzz_list", "list_" + std::to_string(format) + "_asked",
            std::string(1, char(0x80 | (format == 5 ? 0 : 1))) + noSpar);
        // The sizes given again after the data vectors, as a LIST file may give them; with
        // offsets removed (pick bit 2) and spectra normalized (bit 3).
        std::string sizesAfter = ListText(scan, positions, offset) + "#\n";
        for (const auto& [key, value] : {std::pair<const char*, int>{"number_of_locations", scan.n[2]},
                                         {"F-resolution", scan.points},
                                         {"X-resolution", scan.n[0]},
                                         {"Y-resolution", scan.n[1]}})
            sizesAfter += ".    0    0    0  " + std::string(key) + "  :  " + std::to_string(value) + "\n";
        Put("fuzz_list", "list_" + std::to_string(format) + "_sizes_after_vectors",
            std::string(1, char(0x0c | (format == 5 ? 0 : 1))) +
                PackSections({sizesAfter, SparText(CSISparLines(scan)), ParText(ParLines(scan.n[2])), data}));
    }
    TEPCSIScan epcsi;
    epcsi.n[0] = 4;
    epcsi.n[1] = 3;
    epcsi.n[2] = 2;
    epcsi.echoes = 8;
    // The dialog's sweep width of 1000 Hz and frequency of 127.7 MHz lead the files.
    const int32_t sweepWidth = 1000;
    const float frequency = 127.7f;
    std::string typed(8, '\0');
    std::memcpy(typed.data(), &sweepWidth, 4);
    std::memcpy(typed.data() + 4, &frequency, 4);
    Put("fuzz_list", "epcsi", std::string(1, char(2)) + typed +
                                  PackSections({EPCSIListText(epcsi), "", EPCSIParText(epcsi), EPCSIDataBytes(epcsi)}));

    // PAR/REC: two 4 x 2 images of 16 bits, then the raw layout of the REC file.
    TSynthPAR par;
    for (int k = 0; k < 2; ++k) {
        TSynthPARImage image;
        image.index = std::to_string(k);
        image.offFh = 5.0f * float(k);
        par.images.push_back(image);
    }
    std::vector<int> pixels;
    for (int i = 0; i < 16; ++i)
        pixels.push_back(i * 100 - 300);
    std::string layout(9, '\0');
    layout[4] = 4;  // width 4
    layout[6] = 4;  // height 4
    Put("fuzz_parrec", "par_v4_2", layout + PackSections({BuildPARText(par), Int16LE(pixels)}));
    par.version = 3;
    par.versionWord = "V3";
    layout[0] = 8;  // 8 header bytes
    layout[8] = 1;  // big-endian
    Put("fuzz_parrec", "par_v3", layout + PackSections({BuildPARText(par), Int16LE(pixels)}));
    // The other roads into a project: Add Exam given the file or its folder, the raw image.
    for (const int road : {1, 2, 3}) {
        layout[8] = char(road << 1);
        Put("fuzz_parrec", "par_v3_road" + std::to_string(road), layout + PackSections({BuildPARText(par), Int16LE(pixels)}));
    }
}

// ---- Siemens MAG images and Helicon pairs ----------------------------------------------

std::string HeliconText(int nx, int ny, int nz, int points)
{
    auto axis = [](int n, const char* letter) {
        return "dimension: " + std::to_string(n) + " " + letter + " slice spacing 10.0 type: k space\r\n";
    };
    return "GENERAL INFORMATION study id HeadScan\r\ndate/time: 2003-05-06 10:11:12\r\n"
           "total number of dimensions: 4\r\nspectrometer frequency (MHz): 63.6\r\ndim1: " +
           std::to_string(points) + " dwelltime (us): 250 type: time domain\r\n" + axis(nx, "x") + axis(ny, "y") +
           axis(nz, "z");
}

void SiemensSeeds()
{
    std::vector<int> pixels;
    for (int i = 0; i < 16; ++i)
        pixels.push_back(i * 37 - 200);
    for (const char* orientation : {"Tra", "Sag", "Cor"}) {
        TMAGFields f;
        f.fields[8] = orientation;
        Put("fuzz_mag", std::string("mag_") + orientation, std::string(1, '\0') + MAGHeader(f) + Int16LE(pixels));
    }
    const struct {
        int nx, ny, nz;
    } grids[] = {{4, 3, 1}, {2, 2, 2}};
    for (const auto& g : grids) {
        std::vector<int> words;
        for (int v = 0; v < g.nx * g.ny * g.nz; ++v)
            for (int i = 0; i < 16; ++i) {
                const auto s = std::polar(1000.0, 0.4 * i * (1 + v % 3));
                words.push_back(int(std::lround(s.real())));
                words.push_back(int(std::lround(s.imag())));
            }
        const std::string name = "helicon_" + std::to_string(g.nx) + std::to_string(g.ny) + std::to_string(g.nz);
        Put("fuzz_mag", name, std::string(1, '\1') + PackSections({HeliconText(g.nx, g.ny, g.nz, 16), Int16LE(words)}));
        Put("fuzz_mag", name + "_raw", std::string(1, '\7') + PackSections({HeliconText(g.nx, g.ny, g.nz, 16), Int16LE(words)}));
        // Read from the raw file, the offset removed.
        Put("fuzz_mag", name + "_offset",
            std::string(1, char(1 | 2 | 8)) + PackSections({HeliconText(g.nx, g.ny, g.nz, 16), Int16LE(words)}));
    }
}

// ---- Raw CSI data and plug-in records ----------------------------------------------------

template <typename T>
void PutAt(std::string& bytes, size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

void RawSeeds()
{
    const struct {
        const char* name;
        int dims[3], sampleType, headerSize;
        bool kSpace;
    } raws[] = {{"raw_int16_kspace", {4, 4, 1}, 0, 16, true},
                {"raw_int32_space", {3, 2, 2}, 1, 0, false},
                {"raw_float32_3d", {2, 2, 2}, 2, 8, true},
                {"raw_float64", {2, 3, 1}, 3, 4, false}};
    const int points = 16;
    for (const auto& r : raws) {
        TCSIReadParams p;
        for (int k = 0; k < 3; ++k) {
            p.m_nDim[k] = r.dims[k];
            p.m_fFOV[k] = 100.0f + 10.0f * float(k);
            p.m_nAxisOrder[k] = k;
        }
        p.m_nPoints = points;
        p.m_nSampleType = r.sampleType;
        p.m_nSweepWidth = 2000;
        p.m_fFrequency = 127.7f;
        p.m_nHeaderSize = r.headerSize;
        p.m_nOrientation = 2;
        p.m_bSpaceDomain = !r.kSpace;
        p.m_bCenter[0] = p.m_bCenter[1] = r.kSpace;
        p.m_bRemoveOffset = 1;
        std::string file(size_t(r.headerSize), 'h');
        const int voxels = r.dims[0] * r.dims[1] * r.dims[2];
        for (int v = 0; v < voxels; ++v)
            for (int i = 0; i < 2 * points; ++i) {
                const double value = 800.0 * std::cos(0.3 * i * (1 + v % 4)) + (i % 2 ? v : -v);
                switch (r.sampleType) {
                case 0: file += Int16LE({int(value)}); break;
                case 1: file += Int32LE({int32_t(value)}); break;
                case 2: { std::string b(4, '\0'); PutAt(b, 0, float(value)); file += b; break; }
                default: { std::string b(8, '\0'); PutAt(b, 0, value); file += b; break; }
                }
            }
        std::string params(sizeof p, '\0');
        std::memcpy(params.data(), &p, sizeof p);
        Put("fuzz_raw_csi", r.name, std::string(1, '\0') + params + file);
    }

    // A plug-in's file: the parameter record it hands back, its CSI set record, the texts
    // and the samples of a 4 x 4 x 1 grid of 16 points.
    TCSIReadParams p;
    p.m_nFormat = 23;
    std::string params(kPluginParamsBytes, '\0');
    PackPluginParams(p, reinterpret_cast<unsigned char*>(params.data()));
    std::string record(kPluginSetRecordBytes, '\0');
    const int dims[3] = {4, 4, 1};
    for (int k = 0; k < 3; ++k) {
        PutAt(record, 4 * size_t(k), int32_t(dims[k]));
        PutAt(record, 28 + 4 * size_t(k), 160.0f);
        PutAt(record, 64 + 16 * size_t(k), 1.0f);  // identity rotations
        PutAt(record, 100 + 16 * size_t(k), 1.0f);
        PutAt(record, 312 + 4 * size_t(k), 20.0f);
    }
    PutAt(record, 12, int32_t(points));
    PutAt(record, 16, int32_t(2));
    PutAt(record, 20, int32_t(2500));
    PutAt(record, 24, 127.5f);
    PutAt(record, 140, int32_t(3));
    PutAt(record, 148, 10.0f);
    record[157] = 1;  // k-space
    PutAt(record, 272, 4.0f);
    PutAt(record, 276, 1500.0f);
    PutAt(record, 280, 30.0f);
    PutAt(record, 284, int32_t(1));
    std::string texts = std::string("Exam") + '\0' + "2024.05.06" + '\0' + "Doe" + '\0' + "1970.01.01" + '\0' +
                        "Supine" + '\0' + "HF" + '\0' + "1H" + '\0';
    std::string samples;
    for (int i = 0; i < 2 * points * 16; ++i) {
        std::string b(4, '\0');
        PutAt(b, 0, float(std::sin(0.1 * i) * 100.0));
        samples += b;
    }
    Put("fuzz_raw_csi", "plugin_kspace", std::string(1, '\1') + params + record + texts + samples);
    record[157] = 0;
    record[156] = 1;  // frequency domain
    Put("fuzz_raw_csi", "plugin_frequency", std::string(1, '\1') + params + record + texts + samples);
}

// ---- Selection masks -----------------------------------------------------------------------

void MaskSeeds()
{
    // The set of fuzz_macro_mask for pick p is (1 + bits 1-3) x (1 + bits 4-6) x (1 + bit 7).
    const struct {
        int nx, ny, nz;
    } grids[] = {{4, 3, 1}, {8, 8, 2}, {1, 1, 1}};
    for (const auto& g : grids) {
        TCSISet set;
        set.m_strName = "csi";
        set.m_nDim[0] = g.nx;
        set.m_nDim[1] = g.ny;
        set.m_nDim[2] = g.nz;
        set.m_nPoints = 4;
        if (!set.AllocateVoxels())
            continue;
        set.InitVoxels();
        for (size_t v = 0; v < set.VoxelCount(); v += 2)
            set.GetVoxel(v)->m_bSelected = true;
        const uint8_t pick = uint8_t(1 | ((g.nx - 1) << 1) | ((g.ny - 1) << 4) | ((g.nz - 1) << 7));
        Put("fuzz_macro_mask", "mask_" + std::to_string(g.nx) + std::to_string(g.ny) + std::to_string(g.nz),
            std::string(1, char(pick)) + SelectionMaskText(set));
    }
}

// ---- DICOM images ----------------------------------------------------------------------

// The exam of the CSI set that fuzz_dicom's project holds, and of the seeds.
const std::string kDicomExam = "1";

// Puts a DICOM file as a seed once both image readers of fuzz_dicom have read it (the GE
// reader in a project whose CSI set is of the file's exam).
void DicomSeed(const std::string& name, const std::string& file)
{
    for (const bool ge : {false, true}) {
        TProject project;
        project.m_strFolder = vx::JoinPath(g_out, "dicom_project");
        vx::MakeFolder(project.m_strFolder);
        auto* set = new TCSISet();
        set->m_strName = "csi";
        set->m_strPatientName = kDicomExam;
        project.m_pCSISetList->Add(set);
        const bool read = ge ? ReadGEDicomImage(*project.m_pImageSet, file, TImageImportParams{}, &project)
                             : ReadDicomImage(*project.m_pImageSet, file, TImageImportParams{}, &project);
        vx::RemoveFolderTree(project.m_strFolder);
        if (!read) {
            g_unread.push_back("DICOM seed " + name + " is not read by the " + (ge ? "GE" : "standard") + " reader");
            return;
        }
    }
    Put("fuzz_dicom", name, ReadBytes(file));
}

// A scanner's slice cut to its top-left rows x columns pixels, so that it fits an input;
// every other element stays as the scanner wrote it. Empty when the file is not there or
// has no 16-bit pixels.
std::string CroppedDicom(const std::string& path, Uint16 rows, Uint16 columns)
{
    DcmFileFormat file;
    if (!vx::FileExists(path) || file.loadFile(path.c_str()).bad())
        return {};
    DcmDataset& data = *file.getDataset();
    Uint16 r = 0, c = 0;
    const Uint16* pixels = nullptr;
    unsigned long n = 0;
    if (data.findAndGetUint16(DCM_Rows, r).bad() || data.findAndGetUint16(DCM_Columns, c).bad() || r < rows ||
        c < columns || data.findAndGetUint16Array(DCM_PixelData, pixels, &n).bad() || n < size_t(r) * c)
        return {};
    std::vector<Uint16> cut;
    for (size_t y = 0; y < rows; ++y)
        cut.insert(cut.end(), pixels + y * c, pixels + y * c + columns);
    const E_TransferSyntax syntax = data.getOriginalXfer();
    const std::string out = vx::JoinPath(g_out, "cropped.dcm");
    if (data.putAndInsertUint16(DCM_Rows, rows).bad() || data.putAndInsertUint16(DCM_Columns, columns).bad() ||
        data.putAndInsertUint16Array(DCM_PixelData, cut.data(), cut.size()).bad() ||
        file.saveFile(out.c_str(), syntax).bad())
        return {};
    return out;
}

// Images in every pixel format and transfer syntax the readers take, in the three planes,
// and the scanner's Siemens slices cut to 64 x 60 pixels.
void DicomSeeds()
{
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
    const std::string file = vx::JoinPath(g_out, "seed.dcm");
    auto seed = [&](const std::string& name, TSynthDicom dicom, E_TransferSyntax syntax) {
        dicom.texts[DCM_StudyID] = kDicomExam;
        dicom.texts[DCM_StudyDate] = "20240506";
        if (!WriteDicom(file, dicom, syntax))
            g_unread.push_back("DICOM seed " + name + " could not be written");
        else
            DicomSeed(name, file);
    };
    seed("synthetic_axial", TSynthDicom{}, EXS_LittleEndianExplicit);
    seed("synthetic_big_endian", TSynthDicom{}, EXS_BigEndianExplicit);
    seed("synthetic_ge_big_endian_pixels", TSynthDicom{}, EXS_PrivateGE_LEI_WithBigEndianPixelData);
    TSynthDicom plane;
    plane.texts[DCM_ImageOrientationPatient] = "0\\1\\0\\0\\0\\-1";
    seed("synthetic_sagittal", plane, EXS_LittleEndianExplicit);
    plane.texts[DCM_ImageOrientationPatient] = "1\\0\\0\\0\\0\\-1";
    seed("synthetic_coronal", plane, EXS_LittleEndianImplicit);
    TSynthDicom bytes;
    bytes.words[DCM_BitsAllocated] = 8;
    bytes.pixels = std::vector<int>{0, 1, 127, 128, 200, 255};
    seed("synthetic_8bit", bytes, EXS_LittleEndianImplicit);
    bytes.words[DCM_Rows] = 1;
    bytes.pixels = std::vector<int>{255, 9, 30};  // an odd count: one pad byte
    seed("synthetic_8bit_odd", bytes, EXS_LittleEndianExplicit);
    vx::RemoveFile(file);

    for (const char* slice : {"dicom_mr/suspect/T1.0001.IMA", "dicom_mr/suspect/T1.0002.IMA"}) {
        const std::string cropped = CroppedDicom(SampleDataPath(slice), 64, 60);
        if (!cropped.empty()) {
            DicomSeed(std::string("cropped_") + vx::FileNameOf(slice), cropped);
            vx::RemoveFile(cropped);
        }
    }
}

// ---- Projects with analyses ------------------------------------------------------------

// A saved project whose 4 x 3 x 2 set of 96 points carries a PCA or an NMF, over the whole
// grid or four selected voxels: the project file and the set's data-set file as
// fuzz_project takes a folder.
void AnalysisProjectSeeds()
{
    InstallProcessing();
    const std::string folder = vx::JoinPath(g_out, "analysis_project");
    for (const bool nmf : {false, true})
        for (const bool selection : {false, true}) {
            vx::RemoveFolderTree(folder);
            TProject project;
            if (!project.Create(folder, "study")) {
                g_unread.push_back("the analysis project could not be made");
                return;
            }
            std::unique_ptr<TCSISet> owned = MakeMixtureSet(4, 3, 2, 96, 1e-3);
            owned->SetProject(&project);
            owned->SetFolder(folder);
            TCSISet* set = owned.release();
            project.m_pCSISetList->Add(set);
            project.SetWorkSet(set);
            if (selection)
                for (size_t v : {1u, 6u, 7u, 20u})
                    set->GetVoxel(v)->m_bSelected = 1;
            const int32_t intervals[] = {30, 40, 45, 61};
            std::unique_ptr<TAnalysis> analysis;
            if (nmf) {
                auto made = std::make_unique<TAnalysisNMF>(30, 61, 2, intervals, 2, 2, 1e-4f);
                made->SetRandomSeed(5);
                analysis = std::move(made);
            } else {
                analysis = std::make_unique<TAnalysisPCA>(30, 61, 3, intervals, 2);
            }
            const std::string name = std::string(nmf ? "nmf" : "pca") + (selection ? "_selection" : "_grid");
            if (!set->WriteDataFile(set->GetFilePath()) || !analysis->Prepare(set, selection) || !analysis->Compute()) {
                g_unread.push_back("the analysis of project seed " + name + " could not be computed");
                continue;
            }
            project.m_analyses.push_back(analysis.release());
            if (!project.Save()) {
                g_unread.push_back("project seed " + name + " could not be saved");
                continue;
            }
            std::vector<std::string> parts = {ReadBytes(vx::JoinPath(folder, "study.tpj"))};
            const std::string dataFile = vx::FileNameOf(set->GetFilePath());
            parts.push_back(dataFile + '\0' + ReadBytes(set->GetFilePath()));
            parts.resize(6);
            for (const uint8_t pick : {0, 8})
                Put("fuzz_project", "analysis_" + name + "_" + std::to_string(pick),
                    std::string(1, char(pick)) + PackSections(parts));
        }
    vx::RemoveFolderTree(folder);
}

// A saved project whose image's exam date is the longest text a project file holds, or
// one byte longer (a project the program refuses to open): project files of more than
// 65,535 bytes, given as the last part (bit 4 of the first byte).
void LongTextProjectSeeds()
{
    const std::string folder = vx::JoinPath(g_out, "long_text_project");
    for (const size_t length : {kMaxCStringLength - 1, kMaxCStringLength}) {
        vx::RemoveFolderTree(folder);
        TProject project;
        if (!project.Create(folder, "study")) {
            g_unread.push_back("the long-text project could not be made");
            return;
        }
        auto* image = new TMRImage(&project);
        image->SetPath(vx::JoinPath(folder, "ax"));
        image->SetName("ax", true);
        image->SetOrientation(2, true);
        image->SetWidth(4, true);
        image->SetHeight(3, true);
        image->SetParameter(200.0f, TMRImage::ParamFOVX, true);
        image->SetParameter(150.0f, TMRImage::ParamFOVY, true);
        image->SetInfoText(std::string(length, 'd'), TMRImage::InfoExamDate, true);
        // The fields after the date, read one byte off (as by a reader that took the date
        // without its terminating zero), still give a record that can be used: a TE of 0
        // and a slice thickness of 0.75 mm, which then reads as 2 mm.
        image->SetParameter(0.0f, TMRImage::ParamTE, true);
        image->SetParameter(0.75f, TMRImage::ParamThickness, true);
        std::vector<int16_t> pixels(12);
        for (size_t k = 0; k < pixels.size(); ++k)
            pixels[k] = int16_t(100 * k - 500);
        image->SetPixels(pixels);
        if (!project.m_pImageSet->AddNew(image, "The image ax was not added") || !project.Save()) {
            g_unread.push_back("the long-text project could not be saved");
            continue;
        }
        std::vector<std::string> parts = {"ax" + std::string(1, '\0') + ReadBytes(vx::JoinPath(folder, "ax"))};
        parts.resize(5);
        parts.push_back(ReadBytes(vx::JoinPath(folder, "study.tpj")));
        Put("fuzz_project", "long_text_" + std::to_string(length), std::string(1, char(16)) + PackSections(parts));
    }
    vx::RemoveFolderTree(folder);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: vx_fuzz_seeds OUTPUT-FOLDER\n";
        return 2;
    }
    g_out = argv[1];
    vx::MakeFolder(g_out);
    vx::SetReportHandler([](const vx::TReportRequest& r) { return r.defaultAnswer; });
    // The header library writes a line to stderr per refused header.
    std::ostringstream discard;
    std::streambuf* err = std::cerr.rdbuf(discard.rdbuf());
    PfileSeeds();
    ScannerPfileSeeds();
    std::cerr.rdbuf(err);
    GenesisSeeds();
    BrukerSeeds();
    PhilipsSeeds();
    SiemensSeeds();
    RawSeeds();
    MaskSeeds();
    AnalysisProjectSeeds();
    LongTextProjectSeeds();
    DicomSeeds();
    for (const std::string& line : g_unread)
        std::cerr << line << "\n";
    return g_unread.empty() ? 0 : 1;
}
