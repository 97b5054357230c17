#include "readers/GenesisImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gehdr/GEImgHdr.h"
#include "gehdr/GEcleanstr.h"
#include "gehdr/GEftype.h"
#include "model/TMRImage.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/GEReaderHelpers.h"
#include "readers/ImageImport.h"
#include "readers/RawImage.h"

namespace {

bool Refuse(const std::string& text)
{
    vx::Report(text, vx::ReportIcon::Exclamation, vx::BatchPolicy::AlwaysBox);
    return false;
}

// Orientation and centre of the image from its plane normal (header x and y are negated
// against the program's patient coordinates). A normal along a scanner axis gives that
// orientation, and the slice location stands for the coordinate along the normal; any
// other normal gives the orientation of its largest component, and the image lies at its
// centre. False when the normal has no direction (zero or not finite).
bool PlaceByNormal(const GEMRImgData& block, TNewImage& image)
{
    const float location = block.slice_location();
    const float centre[3] = {-block.center_x(), -block.center_y(), block.center_z()};
    const float normal[3] = {block.normal_x(), block.normal_y(), block.normal_z()};
    for (int axis = 0; axis < 3; ++axis) {
        if (normal[axis] != 1.0f)
            continue;
        image.orientation = axis;
        for (int k = 0; k < 3; ++k)
            image.position[k] = centre[k];
        image.position[axis] = axis == 2 ? location : -location;
        return true;
    }
    int largest = 0;
    for (int axis = 1; axis < 3; ++axis)
        if (std::fabs(normal[axis]) > std::fabs(normal[largest]))
            largest = axis;
    if (!(std::fabs(normal[largest]) > 0.0f) || !std::isfinite(normal[largest]))
        return false;
    image.orientation = largest;
    for (int k = 0; k < 3; ++k)
        image.position[k] = centre[k];
    return true;
}

}  // namespace

bool ReadGenesisImage(TImageSet& images, const std::string& path, TImageImportParams, TProject* pProject)
{
    const std::string unrecognised = "The file " + path + " is not a recognized Genesis image file!";
    // A folder, FIFO or device is named as what it is; a file that cannot be found or read
    // is one the identification cannot recognise.
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        if (file.NotAFile().empty())
            return Refuse(unrecognised);
        ReportImageNotOpened(path, file.NotAFile(), vx::BatchPolicy::AlwaysBox);
        return false;
    }
    const std::vector<int> type = GEftype(path);
    if (type[0] != 1)
        return Refuse(unrecognised);
    GEImgHdr header(-1, -1);
    if (header.assign(path) == -1)
        return Refuse("Fail to read the header of " + path + "!");
    const int64_t headerSize = header.header_size();
    const int byteOrder = type[3];
    if (byteOrder != 0 && byteOrder != 1)
        return Refuse("Wrong byte order (not Big Endian or Little Endian)!");
    const int32_t width = header.img_ctrl.width();
    const int32_t height = header.img_ctrl.height();
    if (width <= 0 || height <= 0)
        return Refuse("The size of the image must be positive.");

    const int64_t fileBytes = file.Size();
    if (fileBytes < 0) {
        ReportImageCutShort(path, fileBytes, file.LastError(), uint64_t(std::max<int64_t>(headerSize, 0)), "its header needs",
                            vx::BatchPolicy::AlwaysBox);
        return false;
    }
    if (headerSize < 0 || fileBytes < headerSize || !file.Seek(headerSize))
        return Refuse("Header size is larger than file size");
    if (width > TMRImage::kMaxSide || height > TMRImage::kMaxSide)
        return Refuse(OversizedImageText(width, height));
    // The pixels must lie in the file before anything is allocated for them.
    const int64_t count = int64_t{width} * int64_t{height};
    const int64_t left = file.BytesLeft();
    if (left < 2 * count) {
        ReportImageCutShort(path, left < 0 ? left : fileBytes, file.LastError(), uint64_t(headerSize + 2 * count), "its header and pixels need",
                            vx::BatchPolicy::AlwaysBox);
        return false;
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(2 * count));
    if (!file.ReadExact(bytes.data(), bytes.size())) {
        ReportImageReadFailed(path, file.LastError(), vx::BatchPolicy::AlwaysBox);
        return false;
    }
    file.Close();

    const GEMRImgData& block = header.mr_img_data;
    TNewImage image;
    image.name = vx::FileNameOf(path);
    image.width = width;
    image.height = height;
    image.pixels = DecodeRawSamples(bytes.data(), static_cast<size_t>(count), byteOrder == 0);
    image.fov[0] = static_cast<float>(block.image_dim_x()) * block.pixel_size_x();
    image.fov[1] = static_cast<float>(block.image_dim_y()) * block.pixel_size_y();
    // An image without a plane normal keeps the orientation and position of a new image,
    // with the direction code of that orientation.
    image.placed = PlaceByNormal(block, image);
    image.info[TMRImage::InfoDirectionCode] = DirectionCodeOf(image.orientation);
    image.info[TMRImage::InfoExamName] = GEcleanstr(header.series_data.series_description());
    image.info[TMRImage::InfoExamDate] = GEExamDateText(header.exam_data);
    image.info[TMRImage::InfoPatientName] = GEExamNumberText(header.exam_data);
    image.info[TMRImage::InfoProtocolName] = GEcleanstr(header.series_data.field18());
    // Times are stored in microseconds.
    image.tr = static_cast<float>(block.repetition_time() * 0.001);
    image.te = static_cast<float>(block.echo_time() * 0.001);
    image.thickness = block.slice_thickness();
    image.policy = vx::BatchPolicy::AlwaysBox;
    return AddNewImage(images, pProject, std::move(image));
}
