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

size_t FieldOffset(Field field)
{
    return kFieldsOffset + kFieldBytes * static_cast<size_t>(field);
}

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

// The eleven-byte text field, up to its first zero byte. The header is whole (8192 bytes).
std::string FieldText(const std::string& header, Field field)
{
    const size_t offset = FieldOffset(field);
    const std::string text = header.substr(offset, kFieldBytes);
    return text.substr(0, text.find('\0'));
}

// The field as it stands in a message: in quotes, bytes that are no printable ASCII as "?".
std::string Quoted(std::string text)
{
    for (char& c : text)
        if (c < 0x20 || c > 0x7e)
            c = '?';
    return "\"" + text + "\"";
}

// Why a field of the header is refused, said of the header: its key is not there, or its value
// lies outside its range.
std::string MissingField(const std::string& header, Field field, const std::string& key)
{
    return "has no " + key + " field at byte " + std::to_string(FieldOffset(field)) + ": it reads " +
           Quoted(FieldText(header, field)) + ".";
}

// A field "<key> <value>": its value when the key matches exactly and the value is finite (and,
// when `positive`, above 0); else why it is refused.
std::string KeyValueField(const std::string& header, Field field, const char* key, bool positive, double& value)
{
    std::vector<std::string> pieces;
    SplitString(FieldText(header, field), pieces, " \t\r\n");
    if (pieces.size() < 2 || pieces[0] != key)
        return MissingField(header, field, std::string("\"") + key + "\"");
    value = vx::LeadingDouble(pieces[1]);
    if (!std::isfinite(value) || (positive && !(value > 0)))
        return "gives " + std::string(key) + " " + Quoted(pieces[1]) + ": it must be " +
               (positive ? "a number above 0." : "a finite number.");
    return {};
}

// "M <rows>*<columns>": the side of the square image, the larger of the two; else why it is
// refused.
std::string MatrixField(const std::string& header, int& side)
{
    std::vector<std::string> pieces;
    SplitString(FieldText(header, FieldMatrix), pieces, " \t\r\n*");
    if (pieces.size() < 3 || pieces[0] != "M")
        return MissingField(header, FieldMatrix, "\"M\" (rows*columns)");
    const int rows = vx::LeadingInt(pieces[1]);
    const int columns = vx::LeadingInt(pieces[2]);
    if (rows <= 0 || columns <= 0)
        return "gives the matrix " + Quoted(FieldText(header, FieldMatrix)) + ": rows and columns must be above 0.";
    side = std::max(rows, columns);
    if (side > TMRImage::kMaxSide)
        return "gives the matrix " + Quoted(FieldText(header, FieldMatrix)) + ". " +
               OversizedImageText(side, side);
    return {};
}

// 0 sagittal, 1 coronal, 2 axial by the field's first three characters; -1 otherwise.
int OrientationField(const std::string& header)
{
    const std::string head = FieldText(header, FieldOrientation).substr(0, 3);
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
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        ReportImageNotOpened(path, file.NotAFile());
        return false;
    }
    const int64_t fileBytes = file.Size();
    if (fileBytes < 0) {
        ReportImageCutShort(path, fileBytes, file.LastError(), kPixelOffset, "its header needs");
        return false;
    }
    std::string header(static_cast<size_t>(std::min<int64_t>(fileBytes, kPixelOffset)), '\0');
    if (!file.ReadExact(header.data(), header.size())) {
        ReportImageReadFailed(path, file.LastError());
        return false;
    }

    std::string signature;
    if (!WordAt(header, kSignatureOffset, signature) || signature != "SIEMENS") {
        vx::Report("Not a valid siemens format!", vx::ReportIcon::None, vx::BatchPolicy::AlwaysBox);
        return false;
    }
    if (fileBytes < kPixelOffset) {
        ReportImageCutShort(path, fileBytes, 0, kPixelOffset, "its header needs");
        return false;
    }

    const auto refuse = [&](const std::string& why) {
        vx::Report("The header of " + path + " " + why, vx::ReportIcon::Exclamation);
        return false;
    };
    TNewImage image;
    if (!WordAt(header, kExamNameOffset, image.info[TMRImage::InfoExamName]))
        return refuse("has no examination name at byte " + std::to_string(kExamNameOffset) + ".");
    if (!WordAt(header, kProtocolOffset, image.info[TMRImage::InfoProtocolName]))
        return refuse("has no protocol name at byte " + std::to_string(kProtocolOffset) + ".");
    double tr = 0, te = 0, fov = 0, thickness = 0, position = 0;
    int side = 0;
    for (const std::string& why :
         {KeyValueField(header, FieldTR, "TR", true, tr), KeyValueField(header, FieldTE, "TE", true, te),
          KeyValueField(header, FieldFOV, "FOV", true, fov), MatrixField(header, side),
          KeyValueField(header, FieldThickness, "Thk", true, thickness),
          KeyValueField(header, FieldPosition, "Pos", false, position)})
        if (!why.empty())
            return refuse(why);
    const int orientation = OrientationField(header);
    if (orientation < 0)
        return refuse("gives the orientation " + Quoted(FieldText(header, FieldOrientation)) + " at byte " +
                      std::to_string(FieldOffset(FieldOrientation)) + ": only Sag, Cor and Tra are read.");

    // The pixels must lie in the file before anything is allocated for them.
    const int64_t count = int64_t{side} * int64_t{side};
    if (kPixelOffset + 2 * count > fileBytes) {
        ReportImageCutShort(path, fileBytes, 0, uint64_t(kPixelOffset + 2 * count), "its header and pixels need");
        return false;
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(2 * count));
    if (!file.Seek(kPixelOffset) || !file.ReadExact(bytes.data(), bytes.size())) {
        ReportImageReadFailed(path, file.LastError());
        return false;
    }
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
