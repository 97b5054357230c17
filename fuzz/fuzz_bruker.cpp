// Bruker experiments through the fid and 2dseq CSI readers and the 2dseq image reader. The
// first input byte gives the choices of the Add CSI Set dialog: the orientation (bits 0-1,
// 3 as 0), "Remove offset" (bit 2) and "Load raw data" (bit 3), and in bit 7 where the
// files come from:
//  - bit 7 clear: the rest is split by Sections into the method, acqp and reco texts and
//    the data file, read as "fid" and as "2dseq". The 2dseq file then also takes the road
//    of Add Images into a new project (AddImagesThroughProject: save, open, pixels
//    compared).
//  - bit 7 set: 24 bytes choose the parameters (see ChosenParameters) and the rest gives
//    the samples; the target writes method, acqp and reco texts and the fid and 2dseq files
//    from them in the formats' own layouts. Each set read must hold those parameters on the
//    axes the orientations give and, read raw, the samples in each file's order. Without
//    its acqp file each read must be refused with the reader's
//    message. Then the target writes the experiment's images (one to four slices of the
//    read and phase matrix, their distance and their pixels chosen too) as a reconstruction
//    writes them, a method file of the image matrix and a 2dseq file of 16-bit pixels in
//    "pdata/1", which take the road of Add Images; each image must hold what the method's
//    mapping gives it: name, size, orientation, direction labels, field of view, centre
//    along the slice direction, off-centre, rotation and its inverse, times and its
//    slice's pixels. A 2dseq file that ends within its last slice must add the images of
//    the slices before it and be refused with the reader's message.
#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/Bruker2dseqImage.h"
#include "readers/ReaderFactory.h"

namespace {

constexpr size_t kParameterBytes = 24;

struct TBrukerParameters {
    int dims = 3;          // 2 or 3 spatial dimensions
    int sliceAxis = 2, readAxis = 0, phaseAxis = 1;
    std::string sliceText, readText;
    int readMatrix = 1, phaseMatrix = 1, sliceMatrix = 1;
    float readFOV = 0, phaseFOV = 0, thickness = 0;
    float readOffset = 0, phaseOffset = 0, sliceOffset = 0;
    float gradient[9] = {};  // read, phase and slice direction vectors
    int points = 0, width = 0;
    float frequency = 0, te = 0, tr = 0, averages = 0, groupDelay = 0;
    std::string nucleus;
    bool withoutAcqp = false;
    int slices = 1;  // of the images
    float sliceDistance = 0;
    bool imagesCut = false;
};

// The slice orientations and the read orientations each allows, with the axes they give:
// slice axis, text, read axis, phase axis.
struct TOrientation {
    int slice;
    const char* sliceText;
    const char* readText;
    int read, phase;
};
constexpr TOrientation kOrientations[] = {
    {0, "sagittal", "H_F", 2, 1}, {0, "sagittal", "A_P", 1, 2}, {1, "coronal", "H_F", 2, 0},
    {1, "coronal", "L_R", 0, 2},  {2, "axial", "A_P", 1, 0},    {2, "axial", "L_R", 0, 1},
};

// 2 or 3 dimensions, every slice and read orientation, 1-4 voxels along each axis, fields
// of view of 4-256 mm, a slice thickness of 0.5-20 mm, offsets of both signs, direction
// vectors that turn the axes into each other with signs, 2-64 points (a power of two), a
// sweep width of eight, frequency 1 + n/64 MHz, TE, TR, averages and a group delay; one
// experiment in sixteen has no acqp file. Its images: 1-4 slices 0-63.75 mm apart; one
// 2dseq file in sixteen ends a byte short.
TBrukerParameters ChosenParameters(const uint8_t* data)
{
    static constexpr int kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    static constexpr const char* kNuclei[] = {"1H", "31P", "13C", "19F"};
    vx::fuzz::TChosen c(data, kParameterBytes);
    TBrukerParameters p;
    const uint8_t shape = c.Byte();
    p.dims = 2 + (shape & 1);
    const TOrientation& o = kOrientations[((shape >> 1) & 7) % 6];
    p.sliceAxis = o.slice;
    p.readAxis = o.read;
    p.phaseAxis = o.phase;
    p.sliceText = o.sliceText;
    p.readText = o.readText;
    p.nucleus = kNuclei[(shape >> 4) & 3];
    const uint8_t matrix = c.Byte();
    p.readMatrix = 1 + matrix % 4;
    p.phaseMatrix = 1 + (matrix >> 2) % 4;
    p.sliceMatrix = p.dims == 3 ? 1 + (matrix >> 4) % 4 : 1;
    p.readFOV = float(4 * (1 + c.Pick(64)));
    p.phaseFOV = float(4 * (1 + c.Pick(64)));
    p.thickness = float(1 + c.Pick(40)) / 2.0f;
    p.readOffset = c.Signed(4.0f);
    p.phaseOffset = c.Signed(4.0f);
    p.sliceOffset = c.Signed(4.0f);
    const int* order = kOrders[c.Pick(6)];
    const uint8_t signs = c.Byte();
    for (int v = 0; v < 3; ++v)
        p.gradient[3 * v + order[v]] = (signs >> v) & 1 ? -1.0f : 1.0f;
    p.points = c.Points();
    p.width = c.SweepWidth();
    p.frequency = 1.0f + float(c.Word()) / 64.0f;
    p.te = float(c.Word()) / 16.0f;
    p.tr = float(c.Word()) / 8.0f;
    p.averages = float(c.Byte());
    p.groupDelay = float(c.Byte()) / 8.0f;
    p.withoutAcqp = c.Byte() < 16;
    p.slices = 1 + c.Pick(4);
    p.sliceDistance = float(c.Byte()) / 4.0f;
    p.imagesCut = c.Byte() < 16;
    return p;
}

// The method text: scalar keys on their line, array keys with their values on the next.
std::string MethodText(const TBrukerParameters& p, const char* matrixKey)
{
    std::string text = "##TITLE=Parameter List, ParaVision\n##JCAMPDX=4.24\n##$Method=CSI\n";
    text += vx::fuzz::Printed("##$PVM_SpatDimEnum=%s\n", p.dims == 3 ? "3D" : "2D");
    text += vx::fuzz::Printed("##$PVM_NAverages=%d\n", int(p.averages));
    text += vx::fuzz::Printed("##$PVM_RepetitionTime=%.3f\n", double(p.tr));
    text += vx::fuzz::Printed("##$PVM_EchoTime=%.4f\n", double(p.te));
    text += "##$PVM_Nucleus1Enum=" + p.nucleus + "\n";
    text += vx::fuzz::Printed("##$PVM_Fov=( %d )\n%.1f %.1f%s\n", p.dims, double(p.readFOV), double(p.phaseFOV),
                      p.dims == 3 ? " 20.0" : "");
    text += vx::fuzz::Printed("##$%s=( %d )\n%d %d", matrixKey, p.dims, p.readMatrix, p.phaseMatrix);
    text += p.dims == 3 ? vx::fuzz::Printed(" %d\n", p.sliceMatrix) : std::string("\n");
    text += vx::fuzz::Printed("##$PVM_SliceThick=%.1f\n", double(p.thickness));
    text += "##$PVM_SPackArrSliceOrient=( 1 )\n" + p.sliceText + "\n";
    text += "##$PVM_SPackArrReadOrient=( 1 )\n" + p.readText + "\n";
    text += vx::fuzz::Printed("##$PVM_SPackArrReadOffset=( 1 )\n%.2f\n", double(p.readOffset));
    text += vx::fuzz::Printed("##$PVM_SPackArrPhase1Offset=( 1 )\n%.2f\n", double(p.phaseOffset));
    text += vx::fuzz::Printed("##$PVM_SPackArrSliceOffset=( 1 )\n%.2f\n", double(p.sliceOffset));
    text += "##$PVM_SPackArrGradOrient=( 1, 3, 3 )\n";
    for (int k = 0; k < 9; ++k)
        text += vx::fuzz::Printed(k == 8 ? "%.0f\n" : "%.0f ", double(p.gradient[k]));
    text += vx::fuzz::Printed("##$PVM_SpecMatrix=( 1 )\n%d\n", p.points);
    text += vx::fuzz::Printed("##$PVM_SpecSWH=( 1 )\n%d\n", p.width);
    text += "##END=\n";
    return text;
}

std::string AcqpText(const TBrukerParameters& p)
{
    return "##TITLE=Parameter List, ParaVision\n" + vx::fuzz::Printed("##$SFO1=%.6f\n", double(p.frequency)) +
           vx::fuzz::Printed("##$GRPDLY=%.3f\n", double(p.groupDelay)) + "##$DECIM=16\n##$DSPFVS=20\n##END=\n";
}

// The reco text of complex samples still in k-space and the time domain.
std::string RecoText(const TBrukerParameters& p)
{
    std::string text = "##TITLE=Parameter List, ParaVision\n";
    text += vx::fuzz::Printed("##$RECO_size=( %d )\n%d %d %d", p.dims + 1, p.points, p.readMatrix, p.phaseMatrix);
    text += p.dims == 3 ? vx::fuzz::Printed(" %d\n", p.sliceMatrix) : std::string("\n");
    return text + "##$RECO_ft_mode=( 2 )\nNO_FT NO_FT\n##$RECO_image_type=COMPLEX_IMAGE\n##END=\n";
}

void PutInt32(std::string& file, int32_t value)
{
    for (int k = 0; k < 4; ++k)
        file += char((uint32_t(value) >> (8 * k)) & 0xff);
}

// Sample value k of the data (two a complex point), as a 32-bit integer.
int32_t DataValue(std::string_view samples, size_t k) { return vx::fuzz::ChosenWord(samples, k); }

// The fid file: each grid point's points as 32-bit (real, imaginary) pairs, the read axis
// fastest, then the phase axis, then the slice axis. The 2dseq file: the same values, all
// real parts first, then all imaginary parts, grid points along the slice's first in-plane
// axis fastest, then its second, then the slice axis.
std::string FidFile(const TBrukerParameters& p, std::string_view samples)
{
    std::string file;
    const size_t values = size_t(2) * size_t(p.points) * size_t(p.readMatrix * p.phaseMatrix * p.sliceMatrix);
    for (size_t k = 0; k < values; ++k)
        PutInt32(file, DataValue(samples, k));
    return file;
}

std::string SeqFile(const TBrukerParameters& p, std::string_view samples)
{
    std::string file;
    const size_t complexValues = size_t(p.points) * size_t(p.readMatrix * p.phaseMatrix * p.sliceMatrix);
    for (int part = 0; part < 2; ++part)
        for (size_t k = 0; k < complexValues; ++k)
            PutInt32(file, DataValue(samples, 2 * k + size_t(part)));
    return file;
}

// The set holds what method and acqp say, placed on the axes the orientations give, and,
// read raw, every grid point's samples from its place in the file.
void CheckChosenRead(const TCSISet& set, const TBrukerParameters& p, bool seq, bool raw, std::string_view samples)
{
    using vx::fuzz::Require;
    const int r = p.readAxis, ph = p.phaseAxis, o = p.sliceAxis;
    int dim[3];
    float fov[3], along[3];
    dim[r] = p.readMatrix, dim[ph] = p.phaseMatrix, dim[o] = p.sliceMatrix;
    fov[r] = p.readFOV, fov[ph] = p.phaseFOV, fov[o] = p.thickness;
    along[r] = p.readOffset, along[ph] = p.phaseOffset, along[o] = p.sliceOffset;
    const float offCentre[3] = {-along[0], -along[1], along[2]};
    for (int axis = 0; axis < 3; ++axis)
        Require(set.m_nDim[axis] == dim[axis] && set.m_fFOV[axis] == fov[axis] &&
                    set.m_fOffCentre[axis] == offCentre[axis],
                "grid, field of view and off-centre on the read, phase and slice axes");
    const int columns[3] = {r, ph, o};
    for (int v = 0; v < 3; ++v)
        for (int row = 0; row < 3; ++row)
            Require(set.m_fRotation[row][columns[v]] == p.gradient[3 * v + row] &&
                        set.m_fRotationInverse[columns[v]][row] == p.gradient[3 * v + row],
                    "rotation columns of the read, phase and slice directions, and its inverse");
    Require(set.m_nSliceAxis == o && set.m_nSpatialDims == p.dims, "slice axis and dimensions");
    Require(set.m_nPoints == p.points && set.m_nFirstPoint == 0 && set.m_nLastPoint == p.points - 1 &&
                set.m_fPPMCentrePoint == float(p.points / 2) && set.m_fPPMCentreValue == 0.0f,
            "points and ppm reference");
    Require(set.m_nSpectralWidth == p.width && set.m_fFrequency == p.frequency && set.m_fTE == p.te &&
                set.m_fTR == p.tr && set.m_fAverages == p.averages && set.m_strNucleus == p.nucleus,
            "sweep width, frequency, TE, TR, averages and nucleus");
    Require(set.m_fSliceThickness == fov[o] / float(dim[o]) && set.m_fSliceGap == 0.0f &&
                set.m_nEchoPosition == 0 && set.m_bEchoShifted == 0,
            "slice thickness and no echo shift");
    if (!raw)
        return;
    // The file's fastest, middle and slowest axes.
    int order[3] = {r, ph, o};
    if (seq) {
        order[0] = o == 0 ? 1 : 0;
        order[1] = o == 2 ? 1 : 2;
    }
    std::vector<std::complex<float>> spectrum(size_t(p.points));
    size_t filePoint = 0;
    int at[3];
    for (at[order[2]] = 0; at[order[2]] < dim[order[2]]; ++at[order[2]])
        for (at[order[1]] = 0; at[order[1]] < dim[order[1]]; ++at[order[1]])
            for (at[order[0]] = 0; at[order[0]] < dim[order[0]]; ++at[order[0]], ++filePoint) {
                for (int i = 0; i < p.points; ++i) {
                    const size_t w = filePoint * size_t(p.points) + size_t(i);
                    // Both files hold the same complex values: w's real and imaginary part.
                    spectrum[size_t(i)] = {float(DataValue(samples, 2 * w)), float(DataValue(samples, 2 * w + 1))};
                }
                const size_t voxel = size_t(at[0] + dim[0] * (at[1] + dim[1] * at[2]));
                Require(vx::fuzz::VoxelHolds(set, voxel, spectrum.data(), p.points),
                        "each grid point holds its samples of the file in the reader's axis order");
            }
}

// The method text of the images: the experiment's with their matrix (read and phase sizes),
// the number of slices and their distance.
std::string ImageMethodText(const TBrukerParameters& p)
{
    std::string text = MethodText(p, "PVM_Matrix");
    text.insert(text.rfind("##END="), vx::fuzz::Printed("##$PVM_SPackArrNSlices=( 1 )\n%d\n", p.slices) +
                                          vx::fuzz::Printed("##$PVM_SPackArrSliceDistance=( 1 )\n%.2f\n",
                                                            double(p.sliceDistance)));
    return text;
}

// Pixel k of the images: the 16-bit number k of the samples.
int ImagePixel(std::string_view samples, size_t k) { return vx::fuzz::ChosenWord(samples, k); }

// Each slice's image holds what the method gives it: sides and fields of view of the read
// and phase directions, the lower axis first; the slice axis and its direction labels; the
// off-centre (-q0, -q1, q2) of the offsets q on the read, phase and slice axes; the
// rotation whose columns on those axes are the read, phase and slice direction vectors;
// the centre at q moved by the rotation's inverse along the slice axis, the slices evenly
// about it at their distance, x and y negated; the times, the thickness and its slice's
// pixels in their order in the file.
void CheckChosenImages(TImageSet& images, const TBrukerParameters& p, const std::string& path, std::string_view samples)
{
    using vx::fuzz::Require;
    const int r = p.readAxis, ph = p.phaseAxis, o = p.sliceAxis;
    int width = p.readMatrix, height = p.phaseMatrix;
    float fov[2] = {p.readFOV, p.phaseFOV};
    if (r > ph) {
        std::swap(width, height);
        std::swap(fov[0], fov[1]);
    }
    double q[3];
    q[r] = p.readOffset, q[ph] = p.phaseOffset, q[o] = p.sliceOffset;
    double rotation[3][3];
    const int columns[3] = {r, ph, o};
    for (int v = 0; v < 3; ++v)
        for (int row = 0; row < 3; ++row)
            rotation[row][columns[v]] = p.gradient[3 * v + row];
    // The name: the last four parts of the path joined by "_", and the slice's number.
    size_t cut = path.size();
    for (int k = 0; k < 4; ++k)
        cut = path.rfind('/', cut - 1);
    std::string base = path.substr(cut + 1);
    std::replace(base.begin(), base.end(), '/', '_');
    const int slices = p.imagesCut ? p.slices - 1 : p.slices;
    Require(images.GetCount() == slices, "an image of each slice the 2dseq file holds");
    const size_t pixels = size_t(width * height);
    if (p.imagesCut) {
        const size_t needed = size_t(p.slices) * 2 * pixels;
        Require(vx::fuzz::Said("Data file " + path + " is shorter than its parameter files describe (" +
                               std::to_string(needed - 1) + " of " + std::to_string(needed) +
                               " bytes): it ends in slice " + base + "_" + std::to_string(slices)),
                "a 2dseq file that ends within a slice is refused with the reader's message");
    }
    for (int i = 0; i < slices; ++i) {
        vx::fuzz::TExpectedImage e;
        e.name = base + "_" + std::to_string(i);
        e.width = width;
        e.height = height;
        e.orientation = o;
        static constexpr const char* kLabels[] = {"AH", "RH", "RA"};
        e.texts[TMRImage::InfoDirectionCode] = kLabels[o];
        e.fov[0] = fov[0];
        e.fov[1] = fov[1];
        e.offCentre[0] = float(-q[0]);
        e.offCentre[1] = float(-q[1]);
        e.offCentre[2] = float(q[2]);
        const double along = (i - (p.slices - 1) * 0.5) * p.sliceDistance;
        for (int k = 0; k < 3; ++k) {
            for (int j = 0; j < 3; ++j)
                e.rotation[3 * k + j] = rotation[k][j];
            // The inverse of a rotation is its transpose.
            e.position[k] = (k == 2 ? 1 : -1) * (rotation[o][k] * along + q[k]);
        }
        e.tr = p.tr;
        e.te = p.te;
        e.thickness = p.thickness;
        for (size_t k = 0; k < pixels; ++k)
            e.pixels.push_back(ImagePixel(samples, size_t(i) * pixels + k));
        vx::fuzz::CheckImage(vx::fuzz::ImageNamed(images, e.name), e);
    }
}

// Writes the experiment's images as a reconstruction does, in "pdata/1" below the method
// file's folder, and adds them with the method file named.
void AddChosenImages(const TBrukerParameters& p, std::string_view samples)
{
    const std::string experiment = vx::JoinPath(vx::fuzz::ScratchFolder(), "study/5");
    vx::MakeFolder(vx::JoinPath(experiment, "pdata/1"));
    const std::string method = vx::fuzz::WriteScratch("study/5/method", ImageMethodText(p));
    std::string file;
    const size_t bytes = size_t(p.slices) * 2 * size_t(p.readMatrix * p.phaseMatrix);
    for (size_t k = 0; file.size() < bytes; ++k) {
        const int v = ImagePixel(samples, k);
        file += char(v & 0xff);
        file += char((v >> 8) & 0xff);
    }
    if (p.imagesCut)
        file.pop_back();
    const std::string seq = vx::fuzz::WriteScratch("study/5/pdata/1/2dseq", file);
    vx::SetFileChooserHandler([method](const vx::TFileRequest&) { return std::vector<std::string>{method}; });
    TImageImportParams params;
    params.m_nImageType = 5;
    vx::fuzz::ClearReportTexts();
    vx::fuzz::AddImagesThroughProject(seq, params, vx::fuzz::TImageRoad::AddImages, 0,
                                      [&](TImageSet& images) { CheckChosenImages(images, p, seq, samples); });
}

// Reads fid and 2dseq files written from chosen parameters through both CSI readers.
void ReadChosen(uint8_t pick, const uint8_t* data, size_t size)
{
    if (size < kParameterBytes)
        return;
    const TBrukerParameters chosen = ChosenParameters(data);
    const std::string_view samples(reinterpret_cast<const char*>(data) + kParameterBytes, size - kParameterBytes);
    const std::string fid = vx::fuzz::WriteScratch("fid", FidFile(chosen, samples));
    const std::string seq = vx::fuzz::WriteScratch("2dseq", SeqFile(chosen, samples));
    vx::fuzz::WriteScratchOrRemove("acqp", chosen.withoutAcqp ? std::string() : AcqpText(chosen));
    vx::fuzz::WriteScratch("reco", RecoText(chosen));
    for (uint32_t format : {19u, 20u}) {
        const std::string method =
            vx::fuzz::WriteScratch("method", MethodText(chosen, format == 20 ? "CSITotalMatrix" : "CSIRecoMatrix"));
        vx::SetFileChooserHandler([method](const vx::TFileRequest&) { return std::vector<std::string>{method}; });
        TCSIReadParams params;
        params.m_nFormat = int32_t(format);
        params.m_nOrientation = (pick & 3) % 3;
        params.m_bRemoveOffset = (pick >> 2) & 1;
        params.m_bLoadRawData = (pick >> 3) & 1;
        vx::fuzz::ClearReportTexts();
        std::unique_ptr<TCSIReader> reader(CreateReader(format, &params));
        const std::string& path = format == 20 ? fid : seq;
        std::unique_ptr<TCSISet> set(reader->Read(path));
        if (chosen.withoutAcqp) {
            vx::fuzz::Require(!set && vx::fuzz::Said("Could not find parameter file acqp or acqp.txt."),
                              "an experiment without its acqp file is refused with the reader's message");
            continue;
        }
        vx::fuzz::Require(set != nullptr, "an experiment a scanner could have written is read");
        CheckChosenRead(*set, chosen, format == 19, params.m_bLoadRawData != 0, samples);
        vx::fuzz::AddThroughProject(set.get(), path, params);
    }
    AddChosenImages(chosen, samples);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    if (pick & 0x80) {
        ReadChosen(pick, data, size);
        return 0;
    }
    const auto parts = vx::fuzz::Sections(data, size, 4);
    const std::string method = vx::fuzz::WriteScratch("method", parts[0]);
    vx::fuzz::WriteScratch("acqp", parts[1]);
    vx::fuzz::WriteScratch("reco", parts[2]);
    const std::string fid = vx::fuzz::WriteScratch("fid", parts[3]);
    const std::string seq = vx::fuzz::WriteScratch("2dseq", parts[3]);
    vx::SetFileChooserHandler([method](const vx::TFileRequest&) { return std::vector<std::string>{method}; });

    for (uint32_t format : {19u, 20u}) {
        TCSIReadParams params;
        params.m_nFormat = int32_t(format);
        params.m_nOrientation = (pick & 3) % 3;
        params.m_bRemoveOffset = (pick >> 2) & 1;
        params.m_bLoadRawData = (pick >> 3) & 1;
        std::unique_ptr<TCSIReader> reader(CreateReader(format, &params));
        std::unique_ptr<TCSISet> set(reader->Read(format == 20 ? fid : seq));
        vx::fuzz::AddThroughProject(set.get(), format == 20 ? fid : seq, params);
    }
    TProject project;
    project.m_strFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
    vx::MakeFolder(project.m_strFolder);
    ReadBruker2dseqImage(*project.m_pImageSet, seq, TImageImportParams{}, &project);
    TImageImportParams image;
    image.m_nImageType = 5;
    vx::fuzz::AddImagesThroughProject(seq, image, vx::fuzz::TImageRoad::AddImages);
    return 0;
}
