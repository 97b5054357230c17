// Philips PAR/REC pairs and raw images through the image readers. The first nine input
// bytes are the raw image layout of the Import dialog: header bytes to skip (32 bits),
// width and height (16 bits each: with the top bit set the low 15 bits, as large as the
// dialog takes and beyond, else below 300 so that an image fits an input) and the byte
// order (bit 0 of the ninth); the rest is split by Sections into the PAR text and the REC
// file, which the raw reader reads too. Bits 1-2 of the ninth byte pick the road into a
// project: Add Images of the PAR file, Add Exam given it or its folder, or the REC file as
// a raw image, which must hold the samples the layout gives the REC bytes (see CheckRaw).
// With bit 7 of the ninth byte the rest is no pair but the values of one that the target
// writes (see ChosenPair): a header of version 4 or, with bit 6, 3, with its texts, TR,
// angulation and off-centre, and one to three image lines with their sizes, bits, slice
// orientations, off-centres, spacings, thicknesses and echo times, then their pixels. The
// pair takes the road of bits 1-2 (the last one Add Images given the REC file, with the
// dialog's position shifts); every image must hold what the format's mapping gives those
// values: name, size, orientation, direction labels, field of view, centre, angulation,
// off-centre, rotation and its inverse, texts and times, and the pixels of its REC block.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/PhilipsPARImage.h"
#include "readers/RawImage.h"

namespace {

using vx::fuzz::Require;

constexpr size_t kLayoutBytes = 9;

// The pair written from chosen values (ChosenParRec) and the road of bits 1-2 it takes.
struct TChosenPair : vx::fuzz::TChosenParRec {
    int road = 0;
};

// The version (3 with bit 6 of the ninth byte, else 4) and road (bits 1-2) of the ninth
// byte, then the values (the position shifts only on the road of the REC file).
TChosenPair ChosenPair(uint8_t layout, const uint8_t* data, size_t size)
{
    vx::fuzz::TChosen c(data, size);
    TChosenPair p;
    p.road = (layout >> 1) & 3;
    static_cast<vx::fuzz::TChosenParRec&>(p) = vx::fuzz::ChosenParRec(c, (layout & 0x40) ? 3 : 4, p.road == 3);
    return p;
}

// Every image holds what the format's mapping gives its line and the header: the (ap, fh,
// rl) triples as (x, y, z) = (rl, ap, fh), the orientation (slice orientation + 1) modulo
// 3, the field of view of the sizes and spacings (version 3: the larger in-plane side of
// the header's), the centre at the line's off-centre moved by the dialog's shifts, and
// the rotation of the angulation (x, y, z) by the common convention: with a, b, c the
// three angles, rows (cb cc, cc sb sa + ca sc, sa sc - cc sb ca), (-cb sc, ca cc - sa sb
// sc, ca sb sc + cc sa), (sb, -cb sa, ca cb), and its transpose as the inverse.
void CheckChosen(TImageSet& images, const TChosenPair& p, const std::string& fileName)
{
    Require(size_t(images.GetCount()) == p.lines.size(), "an image for each line of the pair");
    const float angles[3] = {p.angulation[2], p.angulation[0], p.angulation[1]};
    const std::array<double, 9> rotation = vx::fuzz::AngulationRotation(angles);
    static constexpr const char* kLabels[] = {"AH", "RH", "RA"};
    for (const vx::fuzz::TChosenImageLine& line : p.lines) {
        vx::fuzz::TExpectedImage e;
        // The set keeps its images by orientation and slice position: each is found by name.
        e.name = fileName + "_" + line.index;
        e.width = line.width;
        e.height = line.height;
        e.orientation = (line.sliceOrientation + 1) % 3;
        e.texts[TMRImage::InfoDirectionCode] = kLabels[e.orientation];
        e.texts[TMRImage::InfoPatientName] = p.patientName;
        e.texts[TMRImage::InfoExamName] = p.examName;
        e.texts[TMRImage::InfoProtocolName] = "   chosen";
        e.texts[TMRImage::InfoExamDate] = p.date;
        e.fov[0] = float(line.width) * line.spacing[0];
        e.fov[1] = float(line.height) * line.spacing[1];
        if (p.version == 3) {
            const float ap = p.fov[0], fh = p.fov[1], rl = p.fov[2];
            e.fov[0] = e.fov[1] = e.orientation == 2   ? std::max(rl, ap)
                                  : e.orientation == 1 ? std::max(rl, fh)
                                                       : std::max(ap, fh);
        }
        const float centre[3] = {line.offCentre[2] + p.shift[0], line.offCentre[0] + p.shift[1],
                                 line.offCentre[1] + p.shift[2]};
        for (int i = 0; i < 3; ++i) {
            e.position[i] = centre[i];
            e.angulation[i] = angles[i];
            e.offCentre[i] = i == 0 ? p.offCentre[2] : p.offCentre[i - 1];
        }
        std::copy(rotation.begin(), rotation.end(), e.rotation);
        e.tr = p.tr;
        e.te = line.te;
        e.thickness = line.thickness;
        e.pixels = line.pixels;
        vx::fuzz::CheckImage(vx::fuzz::ImageNamed(images, e.name), e);
    }
}

void AddChosen(uint8_t layout, const uint8_t* data, size_t size)
{
    const TChosenPair chosen = ChosenPair(layout, data, size);
    const std::string par = vx::fuzz::WriteScratch("scan.PAR", vx::fuzz::ParRecText(chosen));
    const std::string rec = vx::fuzz::WriteScratch("scan.REC", vx::fuzz::RecBytes(chosen));
    TImageImportParams params;
    params.m_fShiftX = chosen.shift[0];
    params.m_fShiftY = chosen.shift[1];
    params.m_fShiftZ = chosen.shift[2];
    using vx::fuzz::TImageRoad;
    static constexpr TImageRoad kRoads[] = {TImageRoad::AddImages, TImageRoad::ExamFile, TImageRoad::ExamFolder,
                                            TImageRoad::AddImages};
    const std::string& path = chosen.road == 3 ? rec : par;
    // Exam types 1 and 0 take the images of "*.PAR" files.
    vx::fuzz::AddImagesThroughProject(path, params, kRoads[chosen.road], chosen.road == 1 ? 1 : 0,
                                      [&](TImageSet& images) { CheckChosen(images, chosen, vx::FileNameOf(path)); });
}

// The REC file as the raw image of the layout: width x height 16-bit signed samples, row
// after row, from the header's end on, in the layout's byte order (bytes after them left
// alone), in one image named after the file that keeps the defaults of a new image
// (orientation 0, field of view 240 x 240 mm, centre at the origin, no rotation, no
// times, angulation or off-centre). A layout without a positive side, or with a side
// past the largest an image may have, or a negative header is refused with its message;
// a file shorter than header + image with a message that names it. Nothing is added then.
void CheckRaw(TImageSet& images, const TImageImportParams& raw, const std::string& rec, std::string_view bytes)
{
    const int64_t width = raw.m_nWidth, height = raw.m_nHeight, header = raw.m_nHeaderSize;
    const char* refusal = nullptr;
    if (width < 1 || height < 1)
        refusal = "The size of the image must be positive.";
    else if (width > TMRImage::kMaxSide || height > TMRImage::kMaxSide)
        refusal = "The size of the image must not be larger than ";
    else if (header < 0)
        refusal = "Header size is larger than file size";
    if (refusal || int64_t(bytes.size()) < header + 2 * width * height) {
        Require(images.IsEmpty(), "no raw image from a layout the file cannot give");
        Require(refusal ? vx::fuzz::Said(refusal) : vx::fuzz::ReportedPath(rec),
                "a refused raw image is reported, a file too short for it by name");
        return;
    }
    Require(images.GetCount() == 1, "one raw image from a file that holds it");
    vx::fuzz::TExpectedImage e;
    e.name = vx::FileNameOf(rec);
    e.width = int(width);
    e.height = int(height);
    e.orientation = 0;
    e.fov[0] = e.fov[1] = 240;
    const bool bigEndian = raw.m_bSwapBytes & 1;
    for (int64_t k = 0; k < width * height; ++k) {
        const auto first = uint8_t(bytes[size_t(header + 2 * k)]), second = uint8_t(bytes[size_t(header + 2 * k + 1)]);
        e.pixels.push_back(int16_t(bigEndian ? first << 8 | second : second << 8 | first));
    }
    vx::fuzz::CheckImage(vx::fuzz::ImageNamed(images, e.name), e);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < kLayoutBytes)
        return 0;
    if (data[8] & 0x80) {
        AddChosen(data[8], data + kLayoutBytes, size - kLayoutBytes);
        return 0;
    }
    TImageImportParams raw;
    std::memcpy(&raw.m_nHeaderSize, data, 4);
    uint16_t side[2];
    std::memcpy(side, data + 4, 4);
    const auto sideOf = [](uint16_t v) { return (v & 0x8000) ? v & 0x7fff : v % 300; };
    raw.m_nWidth = sideOf(side[0]);
    raw.m_nHeight = sideOf(side[1]);
    raw.m_bSwapBytes = data[8] & 1;
    raw.m_nImageType = 6;
    const auto parts = vx::fuzz::Sections(data + kLayoutBytes, size - kLayoutBytes, 2);
    const std::string par = vx::fuzz::WriteScratch("scan.PAR", parts[0]);
    const std::string rec = vx::fuzz::WriteScratch("scan.REC", parts[1]);

    TProject project;
    project.m_strFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
    vx::MakeFolder(project.m_strFolder);
    ReadPhilipsPAR(*project.m_pImageSet, par, TImageImportParams{}, &project);
    ReadRawImage(*project.m_pImageSet, rec, raw, &project);
    using vx::fuzz::TImageRoad;
    switch ((data[8] >> 1) & 3) {
    case 0: vx::fuzz::AddImagesThroughProject(par, TImageImportParams{}, TImageRoad::AddImages); break;
    // Exam types 1 and 0 take the images of "*.PAR" files (and look for no CSI file here).
    case 1: vx::fuzz::AddImagesThroughProject(par, TImageImportParams{}, TImageRoad::ExamFile, 1); break;
    case 2: vx::fuzz::AddImagesThroughProject(par, TImageImportParams{}, TImageRoad::ExamFolder, 0); break;
    default:
        vx::fuzz::ClearReportTexts();
        vx::fuzz::AddImagesThroughProject(rec, raw, TImageRoad::AddImages, 0,
                                          [&](TImageSet& images) { CheckRaw(images, raw, rec, parts[1]); });
        break;
    }
    return 0;
}
