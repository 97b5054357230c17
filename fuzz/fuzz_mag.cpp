// Siemens MAG images and Helicon CSI pairs (".mag" files too). Bit 0 of the first input
// byte picks the MAG image reader (clear) or the Helicon reader (set). The MAG image takes
// the road of Add Images into a new project (AddImagesThroughProject: save, open, pixels
// compared); bit 7 says where it comes from:
//  - bit 7 clear: the rest is the file (an 8192-byte header of fixed fields, then the
//    pixels);
//  - bit 7 set: 10 bytes choose the header's values (see ChosenImage), then Sections splits
//    the rest into the examination and protocol names and the pixels; the target writes
//    the file from them in the format's layout, and the image added must hold what the
//    format's mapping gives them: size, orientation, direction labels, field of view,
//    centre, no rotation, texts, times and the pixels as written. A file whose orientation
//    is oblique must be refused with the reader's message naming the file.
// For the Helicon reader bit 1 picks the file of the pair the read starts from, bits 2 and
// 3 the options "Load raw data" and "Remove offset", and bit 7 where the pair comes from:
//  - bit 7 clear: the rest is split by Sections into the parameter text "scanddf.mag" and
//    the raw samples "scanraw.mag";
//  - bit 7 set: 12 bytes choose the parameters (see ChosenParameters), then Sections
//    splits the rest into the study name and the samples; the target writes the pair from
//    them in the format's own layout, and the set read must hold those parameters (and,
//    with "Load raw data", the samples). A pair whose dwell time is 0 must be refused with
//    the reader's message naming the parameter file.
#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "platform/Paths.h"
#include "readers/THeliconReader.h"

namespace {

constexpr size_t kParameterBytes = 12;

struct THeliconParameters {
    int dim[3] = {1, 1, 1};  // x, y, z
    float spacing[3] = {1, 1, 1};
    int points = 0, dwell = 0, width = 0, dimensions = 0;
    float frequency = 0;
    std::string study;
};

// Grid 1-4 per axis, voxel spacings of 0.25-16 mm, 2-64 points (a power of two), a dwell
// time of eight whose sweep width is a whole number of Hz, frequency 1 + n/64 MHz and 2 to
// 4 dimensions counted with the spectral one; one pair in sixteen has a dwell time of 0.
THeliconParameters ChosenParameters(const uint8_t* data, std::string_view study)
{
    static constexpr int kDwells[][2] = {{250, 4000}, {500, 2000}, {400, 2500}, {1000, 1000},
                                         {200, 5000}, {125, 8000}, {800, 1250}, {2000, 500}};
    vx::fuzz::TChosen c(data, kParameterBytes);
    THeliconParameters p;
    for (int k = 0; k < 3; ++k) {
        p.dim[k] = 1 + c.Pick(4);
        p.spacing[k] = float(1 + c.Pick(64)) / 4.0f;
    }
    p.points = c.Points();
    const int dwell = c.Pick(8);
    p.dwell = kDwells[dwell][0];
    p.width = kDwells[dwell][1];
    p.frequency = 1.0f + float(c.Word()) / 64.0f;
    p.dimensions = 2 + c.Pick(3);
    if (c.Byte() < 16) {
        p.dwell = 0;
        p.width = 0;
    }
    p.study = vx::fuzz::ChosenText(study, 32, "Study");
    return p;
}

// The parameter text as the scanner writes it, with the lines the reader knows by their
// token counts.
std::string DdfText(const THeliconParameters& p)
{
    using vx::fuzz::Printed;
    std::string text = "GENERAL INFORMATION study id " + p.study + "\r\ndate/time: 2003-05-06 10:11:12\r\n" +
                       Printed("total number of dimensions: %d\r\n", p.dimensions) +
                       Printed("spectrometer frequency (MHz): %.6f\r\n", double(p.frequency)) +
                       Printed("dim1: %d dwelltime (us): %d type: time domain\r\n", p.points, p.dwell);
    static constexpr const char* kLetters[] = {"x", "y", "z"};
    for (int k = 0; k < 3; ++k)
        text += Printed("dimension: %d %s slice spacing %.2f type: k space\r\n", p.dim[k], kLetters[k],
                        double(p.spacing[k]));
    return text;
}

// The 16-bit sample number k of the raw file (two a complex point).
float RawValue(std::string_view samples, size_t k) { return float(vx::fuzz::ChosenWord(samples, k)); }

// The raw file: each voxel's points as 16-bit pairs, y fastest, then z, then x.
std::string RawFile(const THeliconParameters& p, std::string_view samples)
{
    std::string file;
    const size_t values = size_t(2) * size_t(p.points) * size_t(p.dim[0] * p.dim[1] * p.dim[2]);
    for (size_t k = 0; k < values; ++k) {
        const int16_t word = vx::fuzz::ChosenWord(samples, k);
        file += char(word & 0xff);
        file += char((word >> 8) & 0xff);
    }
    return file;
}

// The set holds the parameters by the reader's mapping and, read raw, every voxel's
// samples from its place in the file.
void CheckChosenRead(const TCSISet& set, const THeliconParameters& p, const std::string& path, bool raw,
                     std::string_view samples)
{
    using vx::fuzz::Require;
    for (int k = 0; k < 3; ++k)
        Require(set.m_nDim[k] == p.dim[k] && set.m_fFOV[k] == p.spacing[k] * float(p.dim[k]),
                "grid and field of view (spacing times size) of each axis");
    Require(set.m_nPoints == p.points && set.m_nFirstPoint == 0 && set.m_nLastPoint == p.points - 1 &&
                set.m_fPPMCentrePoint == float(p.points / 2) && set.m_fPPMCentreValue == 0.0f,
            "points and ppm reference of the dwell time line");
    Require(set.m_nSpectralWidth == p.width && set.m_fFrequency == p.frequency,
            "sweep width from the dwell time and the frequency");
    Require(set.m_nSpatialDims == p.dimensions - 1, "dimensions without the spectral one");
    Require(set.m_strExamName == p.study && set.m_strExamDate == "n/a", "study name and exam date");
    Require(set.m_nSliceAxis == 2 && set.m_fSliceThickness == set.m_fFOV[2] / float(p.dim[2]) &&
                set.m_fSliceGap == 0.0f,
            "axial slices of the field of view over the slices");
    Require(set.m_nFormat == 17 && set.m_strDataPath == path && set.m_strName == vx::StemOf(path),
            "format, name and source of the set");
    if (!raw)
        return;
    std::vector<std::complex<float>> spectrum(size_t(p.points));
    for (int x = 0; x < p.dim[0]; ++x)
        for (int z = 0; z < p.dim[2]; ++z)
            for (int y = 0; y < p.dim[1]; ++y) {
                const size_t fileVoxel = size_t(y + p.dim[1] * (z + p.dim[2] * x));
                for (int i = 0; i < p.points; ++i) {
                    const size_t k = 2 * (fileVoxel * size_t(p.points) + size_t(i));
                    spectrum[size_t(i)] = {RawValue(samples, k), RawValue(samples, k + 1)};
                }
                const size_t voxel = size_t(x + p.dim[0] * (y + p.dim[1] * z));
                Require(vx::fuzz::VoxelHolds(set, voxel, spectrum.data(), p.points),
                        "each voxel holds its spectrum of the raw file (y fastest, then z, then x)");
            }
}

constexpr size_t kImageBytes = 10;

// A MAG image's header values and pixels.
struct TMagImage {
    int rows = 1, columns = 1;
    float tr = 0, te = 0, fov = 0, thickness = 0, position = 0;
    std::string separator, orientation, examName, protocol;
    std::vector<int> pixels;
};

// Rows and columns of 1 to 16, TR of 0.25 to 1024 ms, TE of 0.5 to 128 ms, a field of view
// of 0.5 to 128 mm, a slice thickness of 0.125 to 32 mm, a slice position of -32 to 31.75
// mm, the blanks between a field's key and value, the orientation (each of the three
// planes, alone or with the plane it was tilted towards, or one in sixteen oblique), the
// names' letters and digits and the square image's pixels (zero past the input's end).
TMagImage ChosenImage(const uint8_t* data, std::string_view exam, std::string_view protocol,
                      std::string_view pixels)
{
    static constexpr const char* kSeparators[] = {" ", "  ", "\t", " \t"};
    static constexpr const char* kPlanes[] = {"Sag", "Cor", "Tra"};
    vx::fuzz::TChosen c(data, kImageBytes);
    TMagImage m;
    m.rows = 1 + c.Pick(16);
    m.columns = 1 + c.Pick(16);
    m.tr = float(1 + c.Word() % 4096) / 4.0f;
    m.te = float(1 + c.Byte()) / 2.0f;
    m.fov = float(1 + c.Byte()) / 2.0f;
    m.thickness = float(1 + c.Byte()) / 8.0f;
    m.position = c.Signed(4.0f);
    m.separator = kSeparators[c.Pick(4)];
    const uint8_t plane = c.Byte();
    m.orientation = plane < 16 ? "Obl" : kPlanes[plane % 3];
    if (plane >= 16 && (plane & 8))
        m.orientation += std::string(">") + kPlanes[(plane / 3 + 1) % 3];
    // The protocol's word ends before the first field.
    m.examName = vx::fuzz::ChosenText(exam, 32, "Exam");
    m.protocol = vx::fuzz::ChosenText(protocol, 10, "Protocol");
    const int side = std::max(m.rows, m.columns);
    for (int k = 0; k < side * side; ++k)
        m.pixels.push_back(vx::fuzz::ChosenWord(pixels, size_t(k)));
    return m;
}

// The file: the header's texts at their offsets, its eleven-byte fields one after the other
// from byte 7412 on, zero bytes between, then the pixels as 16-bit little-endian values.
std::string MagFile(const TMagImage& m)
{
    using vx::fuzz::Printed;
    std::string file(8192, '\0');
    const auto put = [&](size_t offset, const std::string& text) { file.replace(offset, text.size(), text); };
    put(128, "SIEMENS");
    put(468, m.examName);
    put(7401, m.protocol);
    const char* blank = m.separator.c_str();
    const std::string fields[] = {Printed("TR%s%.2f", blank, double(m.tr)),
                                  Printed("TE%s%.1f", blank, double(m.te)),
                                  "TI 300",
                                  "",
                                  Printed("FOV%s%.1f", blank, double(m.fov)),
                                  Printed("M%s%d*%d", blank, m.rows, m.columns),
                                  Printed("Thk%s%.3f", blank, double(m.thickness)),
                                  Printed("Pos%s%.2f", blank, double(m.position)),
                                  m.orientation};
    for (size_t k = 0; k < std::size(fields); ++k)
        put(7412 + 11 * k, fields[k]);
    for (const int v : m.pixels) {
        file += char(v & 0xff);
        file += char((v >> 8) & 0xff);
    }
    return file;
}

// The image holds the header's values: a square of the larger of rows and columns, the
// orientation of the field's first three letters (Sag 0, Cor 1, Tra 2) with the letters of
// its in-plane axes, the field of view on both sides, the centre on the slice axis at the
// position (negated for Cor and Tra), no angulation or rotation, the names and "n/a" for
// the rest, the times, the thickness and the pixels.
void CheckChosenImage(TImageSet& images, const TMagImage& m, const std::string& path)
{
    using vx::fuzz::Require;
    if (m.orientation == "Obl") {
        Require(images.IsEmpty() && vx::fuzz::Said("The header of " + path +
                                                   " gives the orientation \"Obl\" at byte 7500: only Sag, Cor and "
                                                   "Tra are read."),
                "an oblique image is refused with the reader's message");
        return;
    }
    Require(images.GetCount() == 1, "the image of the file is added");
    static constexpr const char* kLabels[] = {"AH", "RH", "RA"};
    vx::fuzz::TExpectedImage e;
    e.name = vx::FileNameOf(path);
    e.width = e.height = std::max(m.rows, m.columns);
    e.pixels = m.pixels;
    e.tr = m.tr;
    e.te = m.te;
    e.thickness = m.thickness;
    const std::string plane = m.orientation.substr(0, 3);
    e.orientation = plane == "Sag" ? 0 : plane == "Cor" ? 1 : 2;
    e.texts[TMRImage::InfoExamName] = m.examName;
    e.texts[TMRImage::InfoProtocolName] = m.protocol;
    e.texts[TMRImage::InfoDirectionCode] = kLabels[e.orientation];
    e.fov[0] = e.fov[1] = m.fov;
    e.position[e.orientation] = e.orientation == 0 ? m.position : -m.position;
    vx::fuzz::CheckImage(**images.Begin(), e);
}

void AddChosenImage(const uint8_t* data, size_t size)
{
    if (size < kImageBytes)
        return;
    const auto parts = vx::fuzz::Sections(data + kImageBytes, size - kImageBytes, 3);
    const TMagImage chosen = ChosenImage(data, parts[0], parts[1], parts[2]);
    const std::string path = vx::fuzz::WriteScratch("image.mag", MagFile(chosen));
    TImageImportParams params;
    params.m_nImageType = 3;
    vx::fuzz::ClearReportTexts();
    vx::fuzz::AddImagesThroughProject(path, params, vx::fuzz::TImageRoad::AddImages, 0,
                                      [&](TImageSet& images) { CheckChosenImage(images, chosen, path); });
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
    if ((pick & 1) == 0 && (pick & 0x80)) {
        AddChosenImage(data, size);
        return 0;
    }
    if ((pick & 1) == 0) {
        const std::string path = vx::fuzz::WriteScratch("image.mag", data, size);
        TImageImportParams params;
        params.m_nImageType = 3;
        vx::fuzz::AddImagesThroughProject(path, params, vx::fuzz::TImageRoad::AddImages);
        return 0;
    }
    TCSIReadParams params;
    params.m_nFormat = 17;
    params.m_bLoadRawData = (pick >> 2) & 1;
    params.m_bRemoveOffset = (pick >> 3) & 1;
    const bool chosen = (pick & 0x80) != 0;
    THeliconParameters parameters;
    std::string_view samples;
    std::string ddf, raw;
    if (chosen) {
        if (size < kParameterBytes)
            return 0;
        const auto parts = vx::fuzz::Sections(data + kParameterBytes, size - kParameterBytes, 2);
        parameters = ChosenParameters(data, parts[0]);
        samples = parts[1];
        ddf = vx::fuzz::WriteScratch("scanddf.mag", DdfText(parameters));
        raw = vx::fuzz::WriteScratch("scanraw.mag", RawFile(parameters, samples));
    } else {
        const auto parts = vx::fuzz::Sections(data, size, 2);
        ddf = vx::fuzz::WriteScratch("scanddf.mag", parts[0]);
        raw = vx::fuzz::WriteScratch("scanraw.mag", parts[1]);
    }
    const std::string& path = (pick & 2) ? raw : ddf;
    vx::fuzz::ClearReportTexts();
    THeliconReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    if (chosen) {
        if (parameters.dwell == 0) {
            vx::fuzz::Require(!set && vx::fuzz::Said("Parameter file " + ddf + " does not exist or cannot be read."),
                              "a dwell time of 0 is refused with the reader's message");
            return 0;
        }
        vx::fuzz::Require(set != nullptr, "a pair a scanner could have written is read");
        CheckChosenRead(*set, parameters, path, params.m_bLoadRawData != 0, samples);
    }
    vx::fuzz::AddThroughProject(set.get(), path, params);
    return 0;
}
