#include "readers/SiemensMAGImage.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/ImageImport.h"
#include "readers/RawImage.h"

namespace {

constexpr int64_t kPixelOffset = 8192;
constexpr size_t kSignatureOffset = 128;
constexpr size_t kExamNameOffset = 468;
constexpr size_t kProtocolOffset = 7401;
constexpr size_t kFieldsOffset = 7412;
constexpr size_t kFieldBytes = 11;

// Field positions from kFieldsOffset on, one after the other.
enum Field { FieldTR, FieldTE, FieldUnused1, FieldUnused2, FieldFOV, FieldMatrix, FieldThickness, FieldPosition,
             FieldOrientation };

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The blank-delimited word at the offset, ending also at a zero byte (the header's texts
// are zero-terminated). False when the header ends before a word begins.
bool WordAt(const std::string& header, size_t offset, std::string& word)
{
    size_t p = offset;
    while (p < header.size() && IsSpace(header[p]))
        ++p;
    if (p >= header.size())
        return false;
    size_t end = p;
    while (end < header.size() && !IsSpace(header[end]) && header[end] != '\0')
        ++end;
    word = header.substr(p, end - p);
    return true;
}

// The eleven-byte text field, up to its first zero byte. False when the header is shorter.
bool FieldText(const std::string& header, Field field, std::string& text)
{
    const size_t offset = kFieldsOffset + kFieldBytes * static_cast<size_t>(field);
    if (offset + kFieldBytes > header.size())
        return false;
    text = header.substr(offset, kFieldBytes);
    text = text.substr(0, text.find('\0'));
    return true;
}

// A field "<key> <value>": its value when the key matches exactly and the value is finite.
bool KeyValueField(const std::string& header, Field field, const char* key, double& value)
{
    std::string text;
    if (!FieldText(header, field, text))
        return false;
    std::vector<std::string> pieces;
    SplitString(text, pieces, " \t\r\n");
    if (pieces.size() < 2 || pieces[0] != key)
        return false;
    value = vx::LeadingDouble(pieces[1]);
    return std::isfinite(value);
}

// "M <rows>*<columns>": the side of the square image, the larger of the two.
bool MatrixField(const std::string& header, int& side)
{
    std::string text;
    if (!FieldText(header, FieldMatrix, text))
        return false;
    std::vector<std::string> pieces;
    SplitString(text, pieces, " \t\r\n*");
    if (pieces.size() < 3 || pieces[0] != "M")
        return false;
    const int rows = vx::LeadingInt(pieces[1]);
    const int columns = vx::LeadingInt(pieces[2]);
    if (rows <= 0 || columns <= 0)
        return false;
    side = std::max(rows, columns);
    return true;
}

// 0 sagittal, 1 coronal, 2 axial by the field's first three characters; -1 otherwise.
int OrientationField(const std::string& header)
{
    std::string text;
    if (!FieldText(header, FieldOrientation, text))
        return -1;
    const std::string head = text.substr(0, 3);
    if (head == "Sag")
        return 0;
    if (head == "Cor")
        return 1;
    if (head == "Tra")
        return 2;
    return -1;
}

}  // namespace

bool ReadSiemensMAG(TImageSet& images, const std::string& path, TImageImportParams, TProject* pProject)
{
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read))
        return false;
    const int64_t fileBytes = file.Size();
    if (fileBytes < 0)
        return false;
    std::string header(static_cast<size_t>(std::min(fileBytes, kPixelOffset)), '\0');
    if (!file.ReadExact(header.data(), header.size()))
        return false;

    std::string signature;
    if (!WordAt(header, kSignatureOffset, signature) || signature != "SIEMENS") {
        vx::Report("Not a valid siemens format!", vx::ReportIcon::None, vx::BatchPolicy::AlwaysBox);
        return false;
    }

    TNewImage image;
    double tr = 0, te = 0, fov = 0, thickness = 0, position = 0;
    int side = 0;
    if (!WordAt(header, kExamNameOffset, image.info[TMRImage::InfoExamName]) ||
        !WordAt(header, kProtocolOffset, image.info[TMRImage::InfoProtocolName]) ||
        !KeyValueField(header, FieldTR, "TR", tr) || !(tr > 0) || !KeyValueField(header, FieldTE, "TE", te) ||
        !(te > 0) || !KeyValueField(header, FieldFOV, "FOV", fov) || !(fov > 0) || !MatrixField(header, side) ||
        !KeyValueField(header, FieldThickness, "Thk", thickness) || !(thickness > 0) ||
        !KeyValueField(header, FieldPosition, "Pos", position))
        return false;
    const int orientation = OrientationField(header);
    if (orientation < 0 || side > TMRImage::kMaxSide)
        return false;

    // The pixels must lie in the file before anything is allocated for them.
    const int64_t count = int64_t{side} * int64_t{side};
    if (kPixelOffset + 2 * count > fileBytes || !file.Seek(kPixelOffset))
        return false;
    std::vector<unsigned char> bytes(static_cast<size_t>(2 * count));
    if (!file.ReadExact(bytes.data(), bytes.size()))
        return false;
    file.Close();

    const float pos = static_cast<float>(position);
    image.name = vx::FileNameOf(path);
    image.width = side;
    image.height = side;
    image.orientation = orientation;
    image.info[TMRImage::InfoDirectionCode] = DirectionCodeOf(orientation);
    image.tr = static_cast<float>(tr);
    image.te = static_cast<float>(te);
    image.thickness = static_cast<float>(thickness);
    image.fov[0] = image.fov[1] = static_cast<float>(fov);
    switch (orientation) {
    case 0: image.position[0] = pos; break;
    case 1: image.position[1] = -pos; break;
    default: image.position[2] = -pos; break;
    }
    image.pixels = DecodeRawSamples(bytes.data(), static_cast<size_t>(count), false);
    return AddNewImage(images, pProject, std::move(image));
}
