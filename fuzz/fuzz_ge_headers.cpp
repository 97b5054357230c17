// GE Genesis image headers and raw P-file headers, given both as a file and as the
// header bytes themselves, then read through the getters a reader uses; a file that is
// a raw header also goes through the P-file readers, an image header through the Genesis
// image reader.
// An input whose first byte is 0xff is no file but the values of a Genesis image that the
// target writes (see ChosenImage): the header version and byte order, the image's size,
// matrix, pixel sizes, plane normal, slice location, centre, thickness, TR, TE, exam
// number and time, series description and protocol, and the pixels. It takes the road of
// Add Images into a new project (AddImagesThroughProject: save, open, pixels compared),
// and the image must hold what the format's mapping gives those values: orientation,
// direction labels, field of view, centre, no rotation, texts, times and the pixels as
// written, never as the program's own pixel file. A file that ends within its pixels must
// be refused with the reader's message naming it.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "gehdr/GESyntheticHeaders.h"
#include "gehdr/GEImgHdr.h"
#include "gehdr/GERawHdr.h"
#include "gehdr/GEcleanstr.h"
#include "gehdr/GEftype.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/GenesisImage.h"
#include "model/TCSISet.h"
#include "readers/ReaderFactory.h"

namespace {

// The library writes one line to stderr per refused header: keep the runs quiet.
std::ostringstream g_discard;

void Touch(const GEImgHdr& h)
{
    volatile float sink = 0.0f;
    sink = sink + float(h.header_size()) + float(h.exam_data.exam_number()) + float(h.exam_data.exam_time());
    sink = sink + h.mr_img_data.fov() + float(h.mr_img_data.image_dim_x()) + float(h.mr_img_data.image_dim_y());
    sink = sink + h.mr_img_data.center_x() + float(h.mr_img_data.echo_time());
    sink = sink + float(GEcleanstr(h.series_data.series_description()).size());
    sink = sink + float(GEcleanstr(h.exam_data.sw_version()).size());
    (void)sink;
}

void Touch(const GERawHdr& h)
{
    volatile float sink = 0.0f;
    sink = sink + float(h.size()) + float(h.rdb_hdr.point_count()) + float(h.rdb_hdr.frame_count());
    sink = sink + float(h.rdb_hdr.point_size()) + float(h.exam_data.exam_number());
    sink = sink + h.mr_img_data.voxel_size_x() + float(GEcleanstr(h.series_data.series_description()).size());
    (void)sink;
}

constexpr size_t kChosenBytes = 28;

// A Genesis image of chosen values: the header version and byte order, whether the file
// ends one byte short of its pixels, and the values.
struct TChosenGenesis {
    int key = 3, order = 0;
    bool cut = false;
    getest::TGenesisImage values;
};

// The plane normals: along each axis with both signs, and oblique ones of components 0.6
// and 0.8 in each plane.
constexpr float kNormals[12][3] = {
    {1, 0, 0},     {0, 1, 0},     {0, 0, 1},     {-1, 0, 0},       {0, -1, 0},      {0, 0, -1},
    {0.6f, 0.8f, 0}, {0, 0.6f, 0.8f}, {0.8f, 0, 0.6f}, {-0.8f, 0.6f, 0}, {0, 0.8f, -0.6f}, {0.6f, 0, -0.8f},
};

// 28 bytes after the first: the version key (1, 3, 6, 7, 9 or 11), the byte order (bit 0)
// and a file cut short (one in sixteen), width and height 1 to 16, the matrix 1 to 256 and
// pixel sizes 0.25 to 4 mm a side, the normal (kNormals), slice location and centre (-64
// to 63.5 mm), thickness (1/8 to 32 mm), TR and TE (in 1/8 ms), the exam number and time
// and the numbers in the description and protocol; then the pixels (zero past the
// input's end).
TChosenGenesis ChosenImage(const uint8_t* data, size_t size)
{
    static constexpr int kKeys[] = {1, 3, 6, 7, 9, 11};
    vx::fuzz::TChosen c(data, size);
    TChosenGenesis g;
    g.key = kKeys[c.Pick(6)];
    const uint8_t flags = c.Byte();
    g.order = flags & 1;
    g.cut = flags >= 240;
    getest::TGenesisImage& v = g.values;
    v.width = 1 + c.Pick(16);
    v.height = 1 + c.Pick(16);
    for (int k = 0; k < 2; ++k) {
        v.imageDim[k] = 1 + c.Byte();
        v.pixelSize[k] = float(1 + c.Pick(16)) / 4.0f;
    }
    const float* normal = kNormals[c.Pick(12)];
    std::copy(normal, normal + 3, v.normal);
    v.sliceLocation = c.Signed(2.0f);
    for (float& centre : v.centre)
        centre = c.Signed(2.0f);
    v.thickness = float(1 + c.Byte()) / 8.0f;
    v.tr = int64_t{c.Word()} * 125;
    v.te = int64_t{c.Word()} * 125;
    v.examNumber = c.Word();
    v.examTime = 946684800 + int64_t{c.Word()} * 16384;  // from 2000 to 2034
    v.description = "Ax^T" + std::to_string(c.Byte()) + " SE";
    v.protocol = "routine " + std::to_string(c.Word());
    for (int k = 0; k < v.width * v.height; ++k)
        v.pixels.push_back(int16_t(c.Word()));
    return g;
}

// The image holds what the header gives it: the normal along an axis (exactly 1) makes
// that axis the slice axis and puts the image at the slice location along it; any other
// normal gives the axis of its largest component, the image at its centre; header x and
// y are negated against the patient's coordinates (the slice location too, but along z).
// The field of view is the matrix times the pixel size, the rotation none, the times are
// in ms, the texts the description and protocol with "^" as a blank, the exam number and
// the local date of the exam time.
void CheckChosen(TImageSet& images, const TChosenGenesis& g, const std::string& path)
{
    using vx::fuzz::Require;
    const getest::TGenesisImage& v = g.values;
    const int64_t needed = int64_t(getest::GenesisTail(getest::GenesisLayouts().at(g.key)).end) +
                           2 * int64_t(v.width) * v.height;
    if (g.cut) {
        Require(images.IsEmpty() && vx::fuzz::Said("Image file " + path + " holds " + std::to_string(needed - 1) +
                                                   " bytes, fewer than the " + std::to_string(needed) + " bytes"),
                "a file that ends within its pixels is refused with the reader's message");
        return;
    }
    Require(images.GetCount() == 1, "the image of the file is added");
    vx::fuzz::TExpectedImage e;
    e.name = vx::FileNameOf(path);
    e.width = v.width;
    e.height = v.height;
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(v.normal[k]) > std::fabs(v.normal[axis]))
            axis = k;
    e.orientation = axis;
    const double centre[3] = {-v.centre[0], -v.centre[1], v.centre[2]};
    std::copy(centre, centre + 3, e.position);
    if (v.normal[axis] == 1.0f)
        e.position[axis] = axis == 2 ? v.sliceLocation : -v.sliceLocation;
    static constexpr const char* kLabels[] = {"AH", "RH", "RA"};
    e.texts[TMRImage::InfoDirectionCode] = kLabels[axis];
    std::string description = v.description;
    std::replace(description.begin(), description.end(), '^', ' ');
    e.texts[TMRImage::InfoExamName] = description;
    e.texts[TMRImage::InfoProtocolName] = v.protocol;
    e.texts[TMRImage::InfoPatientName] = std::to_string(v.examNumber);
    const time_t seconds = time_t(v.examTime);
    std::tm day{};
    char date[32] = {};
    localtime_r(&seconds, &day);
    std::strftime(date, sizeof date, "%Y.%m.%d", &day);
    e.texts[TMRImage::InfoExamDate] = date;
    for (int k = 0; k < 2; ++k)
        e.fov[k] = float(v.imageDim[k]) * v.pixelSize[k];
    e.tr = float(v.tr) / 1000.0f;
    e.te = float(v.te) / 1000.0f;
    e.thickness = v.thickness;
    e.pixels = v.pixels;
    vx::fuzz::CheckImage(**images.Begin(), e);
}

void AddChosen(const uint8_t* data, size_t size)
{
    const TChosenGenesis chosen = ChosenImage(data, size);
    std::string file = getest::MakeGenesisImage(chosen.key, chosen.order, chosen.values);
    if (chosen.cut)
        file.pop_back();
    const std::string path = vx::fuzz::WriteScratch("chosen.MR", file);
    TImageImportParams params;
    params.m_nImageType = 1;
    vx::fuzz::ClearReportTexts();
    vx::fuzz::AddImagesThroughProject(path, params, vx::fuzz::TImageRoad::AddImages, 0,
                                      [&](TImageSet& images) { CheckChosen(images, chosen, path); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool quiet = (vx::fuzz::Prepare(), std::cerr.rdbuf(g_discard.rdbuf()), true);
    (void)quiet;
    g_discard.str({});
    if (size >= 1 + kChosenBytes && data[0] == 0xff) {
        AddChosen(data + 1, size - 1);
        return 0;
    }
    const std::string path = vx::fuzz::WriteScratch("header.bin", data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const int type = GEftype(path)[0];
    if (type == 1) {
        TProject project;
        project.m_strFolder = vx::fuzz::ScratchFolder() + "/project";
        vx::MakeFolder(project.m_strFolder);
        ReadGenesisImage(*project.m_pImageSet, path, TImageImportParams{}, &project);
    }
    if (type == 0)
        for (int format : {12, 13, 15, 16}) {
            TCSIReadParams params;
            params.m_nFormat = format;
            params.m_nAxisOrder[1] = 1;
            params.m_nAxisOrder[2] = 2;
            std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(format), &params));
            std::unique_ptr<TCSISet> set(reader->Read(path));
            vx::fuzz::AddThroughProject(set.get(), path, params);
        }
    // Bytes with a zero byte can never name a file, so the library takes them as the
    // header itself; any other input would be tried as a file name first.
    const bool bytesMode = bytes.find('\0') != std::string::npos;
    for (const std::string* source : {&path, &bytes}) {
        if (source == &bytes && !bytesMode)
            continue;
        GEImgHdr image(-1, -1);
        image.assign(*source);
        Touch(image);
        GERawHdr raw(-1, -1);
        raw.assign(*source);
        Touch(raw);
    }
    return 0;
}
