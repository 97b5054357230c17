#include "model/TMRImage.h"

#include <algorithm>
#include <cerrno>
#include <complex>
#include <cmath>
#include <limits>
#include <utility>

#include "model/drawing/BitmapHelpers.h"
#include "model/math/Geometry.h"
#include "model/math/MatrixHelpers.h"
#include "model/TCSISet.h"
#include "model/TKeptRecord.h"
#include "model/math/TMixedRadixFFT.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"

namespace {

constexpr const char* kNotAvailable = "n/a";
// Letters of the world axes in a direction code.
constexpr char kAxisLetter[3] = {'R', 'A', 'H'};
// Screen sizes above this are clamped (an absurd pixel aspect ratio).
constexpr int kMaxDisplaySide = 1 << 20;

// Truncation toward zero that never overflows: NaN gives 0, huge values clamp.
int TruncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

int FloorToInt(double v) { return TruncToInt(std::floor(v)); }

void Transpose3x3(const float m[9], float out[9])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[c * 3 + r] = m[r * 3 + c];
}

void MultiplyMatrixVector(const float m[9], const float v[3], float out[3])
{
    for (int r = 0; r < 3; ++r)
        out[r] = m[r * 3] * v[0] + m[r * 3 + 1] * v[1] + m[r * 3 + 2] * v[2];
}

// A zero-terminated text; false when the file ended (or the length limit was hit)
// before the terminating zero.
bool ReadText(vx::TFile& file, std::string& text)
{
    const int64_t start = file.Tell();
    text = ReadCString(file);
    return file.Tell() - start == static_cast<int64_t>(text.size()) + 1;
}

// The fields of one image record, filled completely before the image changes.
struct TImageRecord {
    int32_t id = 0, width = 0, height = 0;
    int32_t fovXKnown = 0, fovYKnown = 0, orientationKnown = 0, slicePositionKnown = 0;
    float fovX = 0, fovY = 0;
    int32_t orientation = 0;
    float slicePosition = 0;
    int32_t windowLow = 0, windowHigh = 0;
    float centreX = 0, centreY = 0, shiftX = 0, shiftY = 0;
    std::string name;
    std::string patientName = kNotAvailable, examName = kNotAvailable, protocolName = kNotAvailable,
                examDate = kNotAvailable;
    float tr = 0, te = 0, thickness = 0;
    float offCentre[3] = {}, angulation[3] = {}, position[3] = {};
    float rotation[9] = {};
    std::string directionCode, patientPosition = kNotAvailable, patientEntry = kNotAvailable;
    int64_t patientNameAt = -1;  // file offset of the patient name; -1 when the version has none
};

bool ReadFloats(vx::TFile& file, float* values, int count)
{
    for (int k = 0; k < count; ++k)
        if (!file.ReadFloat(values[k]))
            return false;
    return true;
}

bool ReadRecord(vx::TFile& file, int version, TImageRecord& r)
{
    bool ok = file.ReadInt32(r.id) && file.ReadInt32(r.width) && file.ReadInt32(r.height) &&
              file.ReadInt32(r.fovXKnown) && file.ReadInt32(r.fovYKnown) &&
              file.ReadInt32(r.orientationKnown) && file.ReadInt32(r.slicePositionKnown) &&
              file.ReadFloat(r.fovX) && file.ReadFloat(r.fovY) && file.ReadInt32(r.orientation) &&
              file.ReadFloat(r.slicePosition) && file.ReadInt32(r.windowLow) &&
              file.ReadInt32(r.windowHigh) && file.ReadFloat(r.centreX) && file.ReadFloat(r.centreY) &&
              file.ReadFloat(r.shiftX) && file.ReadFloat(r.shiftY) && ReadText(file, r.name);
    if (ok && version >= 1)
        r.patientNameAt = file.Tell();
    if (ok && version >= 1)
        ok = ReadText(file, r.patientName) && ReadText(file, r.examName) &&
             ReadText(file, r.protocolName) && ReadText(file, r.examDate) && file.ReadFloat(r.tr) &&
             file.ReadFloat(r.te) && file.ReadFloat(r.thickness);
    if (ok && version >= 3)
        ok = ReadFloats(file, r.offCentre, 3) && ReadFloats(file, r.angulation, 3) &&
             ReadFloats(file, r.position, 3);
    if (ok && version >= 4)
        ok = ReadFloats(file, r.rotation, 9) && ReadText(file, r.directionCode) &&
             ReadText(file, r.patientPosition) && ReadText(file, r.patientEntry);
    return ok;
}

// Why an image of that header cannot be used, as a phrase; empty when it can.
std::string WhyHeaderInvalid(int width, int height, float fovX, float fovY, float thickness, int orientation)
{
    if (width < 1 || width > TMRImage::kMaxSide || height < 1 || height > TMRImage::kMaxSide)
        return "its width or height is outside 1 to " + std::to_string(TMRImage::kMaxSide);
    if (!(fovX > 0 && std::isfinite(fovX) && fovY > 0 && std::isfinite(fovY)))
        return "its field of view is not above 0";
    if (!(thickness >= 0 && std::isfinite(thickness)))
        return "its slice thickness is below 0";
    if (orientation < 0 || orientation >= 4)
        return "its orientation is not one of the four";
    return std::string();
}

// The record `r` read from `start` to where the file stands, kept aside for `reason`.
bool KeptRecordOf(vx::TFile& file, int64_t start, const TImageRecord& r, const std::string& reason, TKeptRecord& kept)
{
    kept.name = r.name;
    kept.reason = reason;
    kept.files = {vx::SanitizeFileComponent(r.name)};
    kept.patientTexts.clear();
    if (r.patientNameAt >= 0)
        kept.patientTexts.push_back(r.patientNameAt - start);
    return kept.TakeBytes(file, start);
}

}  // namespace

TMRImage::TMRImage(TProject* project) : m_pProject(project)
{
    for (int k = 0; k < InfoTextCount; ++k)
        m_strInfo[k] = k == InfoDirectionCode ? "" : kNotAvailable;
}

TMRImage::~TMRImage() = default;

void TMRImage::MarkModified(bool modified) const
{
    if (modified && m_pProject)
        m_pProject->SetFileModified();
}

// ---- setters and getters ----

void TMRImage::SetWidth(int width, bool modified)
{
    if (width != m_nWidth) {
        FreePixels();
        m_floatValues.clear();
    }
    m_nWidth = width;
    MarkModified(modified);
}

void TMRImage::SetHeight(int height, bool modified)
{
    if (height != m_nHeight) {
        FreePixels();
        m_floatValues.clear();
    }
    m_nHeight = height;
    MarkModified(modified);
}

void TMRImage::SetOrientation(int orientation, bool modified)
{
    m_nOrientation = orientation;
    m_bKnown[KnownOrientation] = 1;
    MarkModified(modified);
}

void TMRImage::SetCentre(const TPoint2D& centre, bool modified)
{
    m_centre = centre;
    MarkModified(modified);
}

void TMRImage::SetParameter(float value, int kind, bool modified)
{
    switch (kind) {
    case ParamFOVX:
        m_fFOVX = value;
        m_bKnown[KnownFOVX] = 1;
        break;
    case ParamFOVY:
        m_fFOVY = value;
        m_bKnown[KnownFOVY] = 1;
        break;
    case ParamSlicePosition:
        m_fSlicePosition = value;
        m_bKnown[KnownSlicePosition] = 1;
        break;
    case ParamThickness: m_fSliceThickness = value; break;
    case ParamTE: m_fTE = value; break;
    case ParamTR: m_fTR = value; break;
    case ParamAngulationX:
    case ParamAngulationX + 1:
    case ParamAngulationX + 2: m_fAngulation[kind - ParamAngulationX] = value; break;
    case ParamOffCentreX:
    case ParamOffCentreX + 1:
    case ParamOffCentreX + 2: m_fOffCentre[kind - ParamOffCentreX] = value; break;
    case ParamPositionX:
    case ParamPositionX + 1:
    case ParamPositionX + 2:
        m_fPosition[kind - ParamPositionX] = value;
        m_bKnown[KnownPositionX + kind - ParamPositionX] = 1;
        // The slice position follows from the position once all three are known.
        if (m_bKnown[KnownPositionX] && m_bKnown[KnownPositionY] && m_bKnown[KnownPositionZ])
            m_bKnown[KnownSlicePosition] = 1;
        break;
    default: return;
    }
    MarkModified(modified);
}

float TMRImage::GetParameter(int kind) const
{
    switch (kind) {
    case ParamFOVX: return m_fFOVX;
    case ParamFOVY: return m_fFOVY;
    case ParamSlicePosition: return m_fSlicePosition;
    case ParamThickness: return m_fSliceThickness;
    case ParamTE: return m_fTE;
    case ParamTR: return m_fTR;
    default: break;
    }
    if (kind >= ParamAngulationX && kind < ParamAngulationX + 3)
        return m_fAngulation[kind - ParamAngulationX];
    if (kind >= ParamOffCentreX && kind < ParamOffCentreX + 3)
        return m_fOffCentre[kind - ParamOffCentreX];
    if (kind >= ParamPositionX && kind < ParamPositionX + 3)
        return m_fPosition[kind - ParamPositionX];
    return 0.0f;
}

void TMRImage::SetInfoText(const std::string& text, int index, bool modified)
{
    if (index < 0 || index >= InfoTextCount)
        return;
    m_strInfo[index] = text;
    MarkModified(modified);
}

std::string TMRImage::GetInfoText(int index) const
{
    if (index < 0 || index >= InfoTextCount)
        return {};
    return m_strInfo[index];
}

bool TMRImage::SetName(const std::string& name, bool modified)
{
    if (name.empty()) {
        vx::Report("Image name must not be blank", vx::ReportIcon::Exclamation);
        return false;
    }
    m_strName = name;
    MarkModified(modified);
    return true;
}

bool TMRImage::SetPath(const std::string& path)
{
    if (path.empty()) {
        vx::Report("Image path must not be blank", vx::ReportIcon::Exclamation);
        return false;
    }
    m_strPath = path;
    return true;
}

bool TMRImage::IsParameterKnown(int flag) const
{
    return flag >= 0 && flag < KnownFlagCount && m_bKnown[flag] != 0;
}

bool TMRImage::IsGeometryComplete() const
{
    return std::all_of(std::begin(m_bKnown), std::end(m_bKnown), [](int k) { return k != 0; });
}

bool TMRImage::PixelFileExists() const
{
    vx::TFile file;
    return !m_strPath.empty() && OpenPixelFile(file);
}

std::string TMRImage::PixelFileProblem(int bytesPerPixel, TPixelFileCause* cause) const
{
    TPixelFileCause found = TPixelFileCause::None;
    std::string problem;
    vx::TFile file;
    if (m_strPath.empty() || !OpenPixelFile(file)) {
        const int error = file.LastError();
        const std::string forbidden = vx::MayNotReadText("its pixel file", PixelFileToRead(), error);
        if (!file.NotAFile().empty()) {
            found = TPixelFileCause::Missing;
            problem = "its pixel file is " + file.NotAFile() + ", not a file";
        } else if (!forbidden.empty()) {
            found = TPixelFileCause::MayNotRead;
            problem = forbidden;
        } else if (m_strPath.empty() || error == 0 || error == ENOENT || error == ENOTDIR) {
            found = TPixelFileCause::Missing;
            problem = "its pixel file is missing";
        } else {
            // One that the system failed to open (a failing disk) is not missing.
            found = TPixelFileCause::NotRead;
            problem = "its pixel file cannot be read: " + vx::FileErrorReason(error);
        }
    } else {
        const int64_t pixels = static_cast<int64_t>(std::max(m_nWidth, 0)) * std::max(m_nHeight, 0);
        const int64_t size = file.Size();
        if (size < 0) {
            found = TPixelFileCause::NotRead;
            problem = "the size of its pixel file could not be read: " + vx::FileErrorReason(file.LastError());
        } else if (size < bytesPerPixel * pixels) {
            found = TPixelFileCause::CutShort;
            problem = "its pixel file is cut short";
        }
    }
    if (cause)
        *cause = found;
    return problem;
}

std::string TMRImage::PixelFileToRead() const
{
    return m_pProject ? m_pProject->PathToRead(m_strPath) : m_strPath;
}

bool TMRImage::OpenPixelFile(vx::TFile& file) const
{
    return m_pProject ? m_pProject->OpenToRead(m_strPath, file) : file.Open(m_strPath, vx::TFile::Mode::Read);
}

void TMRImage::GetPosition(float position[3]) const { std::copy(m_fPosition, m_fPosition + 3, position); }
void TMRImage::SetPosition(const float position[3]) { std::copy(position, position + 3, m_fPosition); }
void TMRImage::GetAngulation(float angulation[3]) const
{
    std::copy(m_fAngulation, m_fAngulation + 3, angulation);
}
void TMRImage::GetOffCentre(float offCentre[3]) const { std::copy(m_fOffCentre, m_fOffCentre + 3, offCentre); }
void TMRImage::GetRotation(float rotation[9]) const { std::copy(m_fRotation, m_fRotation + 9, rotation); }
void TMRImage::SetRotation(const float rotation[9]) { std::copy(rotation, rotation + 9, m_fRotation); }
void TMRImage::GetInverseRotation(float inverse[9]) const
{
    std::copy(m_fRotationInverse, m_fRotationInverse + 9, inverse);
}
void TMRImage::SetInverseRotation(const float inverse[9])
{
    std::copy(inverse, inverse + 9, m_fRotationInverse);
}

// ---- plane geometry ----

bool TMRImage::InPlaneAxes(int orientation, int& xAxis, int& yAxis)
{
    switch (orientation) {
    case 0: xAxis = 1; yAxis = 2; return true;
    case 1: xAxis = 0; yAxis = 2; return true;
    case 2: xAxis = 0; yAxis = 1; return true;
    default: return false;
    }
}

void TMRImage::GetCentre3D(float centre[3]) const
{
    int xa = 0, ya = 0;
    if (!InPlaneAxes(m_nOrientation, xa, ya)) {
        GetPosition(centre);
        return;
    }
    centre[m_nOrientation] = m_fSlicePosition;
    centre[xa] = m_centre.x;
    centre[ya] = m_centre.y;
}

void TMRImage::Transform(float v[3], int mode) const
{
    float in[3] = {v[0], v[1], v[2]};
    switch (mode) {
    case 0:
    case 2: {
        const float d[3] = {in[0] - m_fPosition[0], in[1] - m_fPosition[1], in[2] - m_fPosition[2]};
        MultiplyMatrixVector(m_fRotation, d, v);
        if (mode == 2)
            v[2] = -v[2];
        break;
    }
    case 1:
    case 3: {
        if (mode == 3)
            in[2] = -in[2];
        float r[3];
        MultiplyMatrixVector(m_fRotationInverse, in, r);
        for (int k = 0; k < 3; ++k)
            v[k] = r[k] + m_fPosition[k];
        break;
    }
    default: break;
    }
}

void TMRImage::LocateInCSISet(const TCSISet* set)
{
    int xa = 0, ya = 0;
    if (!InPlaneAxes(m_nOrientation, xa, ya))
        return;
    float p[3] = {m_fPosition[0], m_fPosition[1], m_fPosition[2]};
    if (set)
        set->TransformPoint(p, 2);
    else
        Transform(p, 2);
    m_fSlicePosition = p[m_nOrientation];
    m_centre = TPoint2D(p[xa], p[ya]);
}

void TMRImage::ApplyDirectionCode(bool inverse)
{
    OrientToStandardView(m_strInfo[InfoDirectionCode], m_nOrientation, &m_centre.x, &m_centre.y, inverse ? 1 : 0);
}

TPoint2D TMRImage::PixelToWorld(const TPoint2D& pixel) const
{
    return {pixel.x * m_fFOVX / static_cast<float>(m_nWidth) - m_fFOVX / 2 + m_centre.x - m_shift.x,
            pixel.y * m_fFOVY / static_cast<float>(m_nHeight) - m_fFOVY / 2 + m_centre.y - m_shift.y};
}

vx::TPointI TMRImage::WorldToPixel(const TPoint2D& point) const
{
    const float px = (point.x + m_shift.x - m_centre.x + m_fFOVX / 2) * static_cast<float>(m_nWidth) / m_fFOVX;
    const float py = (point.y + m_shift.y - m_centre.y + m_fFOVY / 2) * static_cast<float>(m_nHeight) / m_fFOVY;
    return {FloorToInt(px), FloorToInt(py)};
}

bool TMRImage::ContainsPoint(const TPoint2D& point) const
{
    const vx::TPointI p = WorldToPixel(point);
    return p.x >= 0 && p.x < m_nWidth && p.y >= 0 && p.y < m_nHeight;
}

TPoint2D TMRImage::ConvertPoint(const TPoint2D& point, int direction) const
{
    if (direction == 0)
        return {point.x - m_fFOVX / 2 + m_centre.x - m_shift.x, point.y - m_fFOVY / 2 + m_centre.y - m_shift.y};
    if (direction == 1)
        return {point.x + m_shift.x - m_centre.x + m_fFOVX / 2, point.y + m_shift.y - m_centre.y + m_fFOVY / 2};
    return point;
}

vx::TSizeI TMRImage::GetDisplaySize() const
{
    if (!(m_nWidth >= 1 && m_nHeight >= 1 && m_fFOVX > 0 && m_fFOVY > 0))
        return {m_nWidth, m_nHeight};
    const float sx = m_fFOVX / static_cast<float>(m_nWidth);
    const float sy = m_fFOVY / static_cast<float>(m_nHeight);
    if (sx >= sy)
        return {std::clamp(TruncToInt(m_fFOVX / sy), 1, kMaxDisplaySide), m_nHeight};
    return {m_nWidth, std::clamp(TruncToInt(m_fFOVY / sx), 1, kMaxDisplaySide)};
}

// ---- display window ----

double TMRImage::WindowScale() const
{
    const double stored = static_cast<double>(m_fStoredMax) - m_fStoredMin;
    const double value = static_cast<double>(m_fValueMax) - m_fValueMin;
    // A constant image has no range to map; stored and real units then coincide.
    if (stored == 0 || value == 0 || !std::isfinite(stored / value))
        return 1.0;
    return stored / value;
}

void TMRImage::SetWindowLow(float value)
{
    m_nWindowLow = TruncToInt(WindowScale() * (static_cast<double>(value) - m_fValueMin) + m_fStoredMin);
}

void TMRImage::SetWindowHigh(float value)
{
    m_nWindowHigh = TruncToInt(WindowScale() * (static_cast<double>(value) - m_fValueMin) + m_fStoredMin);
}

float TMRImage::GetWindowLow() const
{
    return static_cast<float>((m_nWindowLow - static_cast<double>(m_fStoredMin)) / WindowScale() + m_fValueMin);
}

float TMRImage::GetWindowHigh() const
{
    return static_cast<float>((m_nWindowHigh - static_cast<double>(m_fStoredMin)) / WindowScale() + m_fValueMin);
}

void TMRImage::SetStoredWindow(int low, int high)
{
    m_nWindowLow = low;
    m_nWindowHigh = high;
}

void TMRImage::SetStoredRange(float maximum, float minimum)
{
    m_fStoredMax = maximum;
    m_fStoredMin = minimum;
}

void TMRImage::SetValueRange(float maximum, float minimum)
{
    m_fValueMax = maximum;
    m_fValueMin = minimum;
}

// ---- pixels ----

bool TMRImage::LoadPixels(const std::string& path)
{
    vx::TFile file;
    const bool opened = file.Open(path, vx::TFile::Mode::Read);
    return LoadOpenPixels(file, opened, path);
}

bool TMRImage::LoadOpenPixels(vx::TFile& file, bool opened, const std::string& path)
{
    std::string why;
    const TPixelRead read = ReadOpenPixels(file, opened, path, "The pixel file", why);
    if (read == TPixelRead::Whole) {
        m_bReadFailureTold = false;
        return true;
    }
    // A read that failed is told, once until a read succeeds: every look at a pixel tries
    // the file again.
    if (read == TPixelRead::Failed && !m_bReadFailureTold) {
        m_bReadFailureTold = true;
        vx::Report(why, vx::ReportIcon::Exclamation);
    }
    return false;
}

TMRImage::TPixelRead TMRImage::ReadPixels(const std::string& path, const std::string& what, std::string& why)
{
    vx::TFile file;
    const bool opened = file.Open(path, vx::TFile::Mode::Read);
    return ReadOpenPixels(file, opened, path, what, why);
}

TMRImage::TPixelRead TMRImage::ReadPixels(const vx::TFolder& folder, const std::string& name, const std::string& what,
                                          std::string& why)
{
    vx::TFile file;
    const bool opened = file.Open(folder, name);
    return ReadOpenPixels(file, opened, folder.PathOf(name), what, why);
}

TMRImage::TPixelRead TMRImage::ReadOpenPixels(vx::TFile& file, bool opened, const std::string& path,
                                              const std::string& what, std::string& why)
{
    if (m_nWidth < 1 || m_nWidth > kMaxSide || m_nHeight < 1 || m_nHeight > kMaxSide) {
        why = what + " " + path + " is not read: the image has no usable size.";
        return TPixelRead::NotHad;
    }
    // A file that is missing, not a file or not for this user to read is not had (the last
    // said so, with whom to ask); one the disk fails to give (its open, the look-up of its
    // size, its read) failed.
    if (!opened) {
        const int error = file.LastError();
        if (!file.NotAFile().empty() || error == ENOENT) {
            why = vx::NotOpenedText(what, path, file.NotAFile());
            return TPixelRead::NotHad;
        }
        why = vx::NotOpenedToReadText(what, path, error);
        return error == EACCES || error == EPERM ? TPixelRead::NotHad : TPixelRead::Failed;
    }
    const size_t count = static_cast<size_t>(m_nWidth) * static_cast<size_t>(m_nHeight);
    const int64_t size = file.Size();
    if (size < static_cast<int64_t>(count * 2)) {
        why = vx::CutShortText(what, path, size, file.LastError(), count * 2, "the image's pixels need");
        return size < 0 ? TPixelRead::Failed : TPixelRead::NotHad;
    }
    std::vector<unsigned char> bytes(count * 2);
    if (!file.ReadExact(bytes.data(), bytes.size())) {
        why = vx::NotReadToEndText(what, path, file.LastError());
        return file.ReadFailed() ? TPixelRead::Failed : TPixelRead::NotHad;
    }
    std::vector<int16_t> pixels(count);
    for (size_t k = 0; k < count; ++k)
        pixels[k] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8)));
    const auto [lo, hi] = std::minmax_element(pixels.begin(), pixels.end());
    m_fStoredMax = m_fValueMax = *hi;
    m_fStoredMin = m_fValueMin = *lo;
    m_pixels = std::move(pixels);
    m_bLoaded = true;
    return TPixelRead::Whole;
}

std::vector<unsigned char> TMRImage::PixelBytes() const
{
    const size_t count = static_cast<size_t>(std::max(m_nWidth, 0)) * static_cast<size_t>(std::max(m_nHeight, 0));
    if (!m_bLoaded || m_pixels.empty() || m_pixels.size() != count)
        return {};
    std::vector<unsigned char> bytes(count * 2);
    for (size_t k = 0; k < count; ++k) {
        const auto v = static_cast<uint16_t>(m_pixels[k]);
        bytes[2 * k] = static_cast<unsigned char>(v & 0xff);
        bytes[2 * k + 1] = static_cast<unsigned char>(v >> 8);
    }
    return bytes;
}

namespace {

bool ReportPixelsNotWritten(const std::string& path, const vx::TWriteFailureNote& note, const std::string& why)
{
    std::string text = "Can not write pixel file " + path;
    if (note)
        text += "\r\n" + note(why);
    vx::Report(text, vx::ReportIcon::Exclamation);
    return false;
}

}  // namespace

bool TMRImage::SavePixels(const std::string& path, const vx::TWriteFailureNote& note,
                          vx::TFileTransaction* transaction) const
{
    const std::vector<unsigned char> bytes = PixelBytes();
    if (bytes.empty())
        return false;
    vx::TAtomicFile out;
    if (!out.Begin(path, transaction) || !out.File().Write(bytes.data(), bytes.size()) || !out.Commit())
        return ReportPixelsNotWritten(path, note, out.WhyNotWritten());
    return true;
}

bool TMRImage::SavePixels(vx::TFile& file, const vx::TWriteFailureNote& note) const
{
    const std::vector<unsigned char> bytes = PixelBytes();
    if (bytes.empty())
        return false;
    if (!file.Write(bytes.data(), bytes.size()) || !file.Close())
        return ReportPixelsNotWritten(file.Path(), note,
                                      file.LastError() == 0 ? std::string() : vx::FileErrorReason(file.LastError()));
    return true;
}

bool TMRImage::SetPixels(std::vector<int16_t> pixels)
{
    if (m_nWidth < 1 || m_nHeight < 1 ||
        pixels.size() != static_cast<size_t>(m_nWidth) * static_cast<size_t>(m_nHeight))
        return false;
    m_pixels = std::move(pixels);
    m_bLoaded = true;
    return true;
}

void TMRImage::FreePixels()
{
    m_pixels.clear();
    m_pixels.shrink_to_fit();
    m_bLoaded = false;
}

bool TMRImage::EnsurePixels()
{
    if (m_bLoaded && m_pixels.size() == static_cast<size_t>(m_nWidth) * static_cast<size_t>(m_nHeight))
        return true;
    vx::TFile file;
    const bool opened = OpenPixelFile(file);
    return LoadOpenPixels(file, opened, PixelFileToRead());
}

int TMRImage::GetPixel(int x, int y)
{
    if (!EnsurePixels() || x < 0 || x >= m_nWidth || y < 0 || y >= m_nHeight)
        return 0;
    return m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_nWidth) + static_cast<size_t>(x)];
}

std::string TMRImage::GetPixelValueText(int x, int y)
{
    if (x < 0 || x >= m_nWidth || y < 0 || y >= m_nHeight)
        return {};
    const size_t index = static_cast<size_t>(y) * static_cast<size_t>(m_nWidth) + static_cast<size_t>(x);
    const float value = index < m_floatValues.size() ? m_floatValues[index] : static_cast<float>(GetPixel(x, y));
    return FloatToStringG(value, 3) + m_strValueUnit;
}

bool TMRImage::SetFloatValues(std::vector<float> values)
{
    if (!values.empty() && values.size() != static_cast<size_t>(std::max(m_nWidth, 0)) *
                                                static_cast<size_t>(std::max(m_nHeight, 0)))
        return false;
    m_floatValues = std::move(values);
    return true;
}

// ---- image processing ----

void TMRImage::RescaleOntoStoredRange(const std::vector<float>& values)
{
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double minimum = *lo, span = static_cast<double>(*hi) - *lo;
    const double storedSpan = static_cast<double>(m_fStoredMax) - m_fStoredMin;
    for (size_t k = 0; k < values.size(); ++k) {
        // The ratio first, so that the largest value lands exactly on the stored maximum.
        const double ratio = span > 0 ? (values[k] - minimum) / span : 0.0;
        const int v = TruncToInt(ratio * storedSpan + m_fStoredMin);
        m_pixels[k] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
    }
}

bool TMRImage::Smooth()
{
    if (!EnsurePixels())
        return false;
    const int w = m_nWidth, h = m_nHeight;
    const double kernel[3][3] = {{1 / 16.0, 1 / 8.0, 1 / 16.0}, {1 / 8.0, 1 / 4.0, 1 / 8.0}, {1 / 16.0, 1 / 8.0, 1 / 16.0}};
    std::vector<float> smoothed(m_pixels.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx >= 0 && sx < w && sy >= 0 && sy < h)
                        sum += kernel[dy + 1][dx + 1] * m_pixels[static_cast<size_t>(sy) * w + sx];
                }
            smoothed[static_cast<size_t>(y) * w + x] = static_cast<float>(sum);
        }
    RescaleOntoStoredRange(smoothed);
    return true;
}

namespace {

// Gaussian weights of the n frequencies of a transform of length n, in transform
// order (frequency 0 first, the negative frequencies at the end).
std::vector<double> LowPassWeights(int n, double width)
{
    std::vector<double> g(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double d = std::min(i, n - i);  // distance from frequency 0
        g[static_cast<size_t>(i)] = std::exp(-2.0 * width * width * d * d / (static_cast<double>(n) * n));
    }
    return g;
}

// Transforms every row, then every column of a width x height array in place.
bool TransformRowsThenColumns(std::vector<std::complex<float>>& data, int w, int h, bool inverse)
{
    TMixedRadixFFT rows, columns;
    for (int y = 0; y < h; ++y) {
        std::complex<float>* row = data.data() + static_cast<size_t>(y) * w;
        if (!(inverse ? rows.InverseComplex(row, w) : rows.ForwardComplex(row, w)))
            return false;
    }
    std::vector<std::complex<float>> column(static_cast<size_t>(h));
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y)
            column[y] = data[static_cast<size_t>(y) * w + x];
        if (!(inverse ? columns.InverseComplex(column.data(), h) : columns.ForwardComplex(column.data(), h)))
            return false;
        for (int y = 0; y < h; ++y)
            data[static_cast<size_t>(y) * w + x] = column[y];
    }
    return true;
}

}  // namespace

bool TMRImage::NormalizeIntensity(float width, float thresholdPercent)
{
    if (!EnsurePixels())
        return false;
    const int w = m_nWidth, h = m_nHeight;
    if (!TMixedRadixFFT::CheckFFTLength(w) || !TMixedRadixFFT::CheckFFTLength(h))
        return false;
    std::vector<std::complex<float>> data(m_pixels.begin(), m_pixels.end());
    // Each axis gets the weights of its own length, so a non-square image is filtered
    // alike along both axes.
    const std::vector<double> gx = LowPassWeights(w, width), gy = LowPassWeights(h, width);
    if (!TransformRowsThenColumns(data, w, h, false))
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            data[static_cast<size_t>(y) * w + x] *= static_cast<float>(gx[x] * gy[y]);
    if (!TransformRowsThenColumns(data, w, h, true))
        return false;

    float largest = data[0].real();
    for (const auto& c : data)
        largest = std::max(largest, c.real());
    const double threshold = static_cast<double>(largest) * thresholdPercent * 0.01;
    std::vector<float> ratio(data.size());
    for (size_t k = 0; k < data.size(); ++k) {
        const float smooth = data[k].real();
        ratio[k] = smooth > threshold && smooth != 0 ? m_pixels[k] / smooth : 0.0f;
    }
    RescaleOntoStoredRange(ratio);
    m_bNormalized = true;
    return true;
}

// ---- drawing ----

namespace {

// Grey level of a stored value in the window low..high: 0 below it or for an empty
// window, 255 above it, linear inside.
unsigned char WindowGrey(int v, int low, int high)
{
    if (high <= low || v < low)
        return 0;
    if (v > high)
        return 255;
    return static_cast<unsigned char>((static_cast<int64_t>(v) - low) * 255 / (static_cast<int64_t>(high) - low));
}

uint32_t PackRGB(int r, int g, int b)
{
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}

// A colour channel of a weighted sum, held to 0..255.
int Channel(double v) { return static_cast<int>(std::clamp(std::trunc(v), 0.0, 255.0)); }

}  // namespace

template <typename ColourOf>
std::vector<uint32_t> TMRImage::RenderWrapped(ColourOf colourOf) const
{
    const int w = m_nWidth, h = m_nHeight;
    // The centre pixel, less half the image, is how far the picture wraps around.
    const vx::TPointI c = WorldToPixel(m_centre);
    const int dx = static_cast<int>((static_cast<int64_t>(c.x) - w / 2) % w);
    const int dy = static_cast<int>((static_cast<int64_t>(c.y) - h / 2) % h);
    std::vector<uint32_t> picture(m_pixels.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int tx = ((x + dx) % w + w) % w;
            const int ty = ((y + dy) % h + h) % h;
            picture[static_cast<size_t>(ty) * w + tx] = colourOf(x, y, m_pixels[static_cast<size_t>(y) * w + x]);
        }
    return picture;
}

std::vector<uint32_t> TMRImage::RenderPixels(int colourTable)
{
    if (!EnsurePixels())
        return {};
    const int low = m_nWindowLow, high = m_nWindowHigh;
    return RenderWrapped([&](int, int, int v) {
        const unsigned char grey = WindowGrey(v, low, high);
        unsigned char r = grey, g = grey, b = grey;
        GreyToRGB(grey, colourTable, r, g, b);
        return PackRGB(r, g, b);
    });
}

void TMRImage::AddOverlayColour(const TPoint2D& point, double weight, int colourTable, int rgb[3]) const
{
    const vx::TPointI p = WorldToPixel(point);
    const bool inside = p.x >= 0 && p.x < m_nWidth && p.y >= 0 && p.y < m_nHeight;
    const int value = inside ? m_pixels[static_cast<size_t>(p.y) * m_nWidth + p.x] : 0;
    const unsigned char grey = WindowGrey(value, m_nWindowLow, m_nWindowHigh);
    unsigned char c[3] = {grey, grey, grey};
    GreyToRGB(grey, colourTable, c[0], c[1], c[2]);
    // Saturated: a channel past 255 stays at full strength instead of wrapping.
    for (int k = 0; k < 3; ++k)
        rgb[k] = Channel(c[k] * weight + rgb[k]);
}

namespace {

// The overlays whose pixels can be read; the others add nothing.
std::vector<const TMRImage*> ReadableOverlays(const std::vector<TMRImage*>& overlays)
{
    std::vector<const TMRImage*> readable;
    for (TMRImage* overlay : overlays)
        if (overlay && overlay->EnsurePixels())
            readable.push_back(overlay);
    return readable;
}

}  // namespace

std::vector<uint32_t> TMRImage::RenderMapOverlay(const std::vector<TMRImage*>& overlays, float baseWeight,
                                                 float overlayWeight, int colourTable)
{
    if (!EnsurePixels())
        return {};
    const std::vector<const TMRImage*> readable = ReadableOverlays(overlays);
    const int low = m_nWindowLow, high = m_nWindowHigh;
    return RenderWrapped([&](int x, int y, int v) {
        const double base = WindowGrey(v, low, high) * static_cast<double>(baseWeight);
        int rgb[3] = {Channel(base), Channel(base), Channel(base)};
        // The overlays are sampled at the pixel's centre, so that images of the same
        // grid meet pixel for pixel.
        const TPoint2D point = PixelToWorld(TPoint2D(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f));
        for (const TMRImage* overlay : readable)
            overlay->AddOverlayColour(point, overlayWeight, colourTable, rgb);
        return PackRGB(rgb[0], rgb[1], rgb[2]);
    });
}

void TMRImage::AddMapOverlays(uint32_t* picture, int width, int height, int stride,
                              const std::vector<TMRImage*>& overlays, float weight, int colourTable,
                              const TPoint2D& origin, const TPoint2D& step)
{
    if (!picture || width <= 0 || height <= 0 || stride < width)
        return;
    const std::vector<const TMRImage*> readable = ReadableOverlays(overlays);
    if (readable.empty())
        return;
    for (int y = 0; y < height; ++y) {
        uint32_t* row = picture + static_cast<size_t>(y) * static_cast<size_t>(stride);
        const float wy = origin.y + (static_cast<float>(y) + 0.5f) * step.y;
        for (int x = 0; x < width; ++x) {
            const TPoint2D point(origin.x + (static_cast<float>(x) + 0.5f) * step.x, wy);
            int rgb[3] = {static_cast<int>((row[x] >> 16) & 0xff), static_cast<int>((row[x] >> 8) & 0xff),
                          static_cast<int>(row[x] & 0xff)};
            for (const TMRImage* overlay : readable)
                overlay->AddOverlayColour(point, weight, colourTable, rgb);
            row[x] = (row[x] & 0xff000000u) | PackRGB(rgb[0], rgb[1], rgb[2]);
        }
    }
}

void TMRImage::DrawMapOverlay(vx::TCanvas& canvas, const std::vector<TMRImage*>& overlays, float baseWeight,
                              float overlayWeight, int colourTable)
{
    const std::vector<uint32_t> picture = RenderMapOverlay(overlays, baseWeight, overlayWeight, colourTable);
    if (picture.empty())
        return;
    canvas.Blit(0, 0, m_nWidth, m_nHeight, picture.data(), m_nWidth, m_nHeight, m_nWidth);
}

void TMRImage::DrawPixels(vx::TCanvas& canvas, int colourTable)
{
    const std::vector<uint32_t> picture = RenderPixels(colourTable);
    if (picture.empty())
        return;
    canvas.Blit(0, 0, m_nWidth, m_nHeight, picture.data(), m_nWidth, m_nHeight, m_nWidth);
}

// ---- project record ----

bool TMRImage::Write(vx::TFile& f) const
{
    bool ok = f.WriteInt32(m_nId) && f.WriteInt32(m_nWidth) && f.WriteInt32(m_nHeight) &&
              f.WriteInt32(m_bKnown[KnownFOVX]) && f.WriteInt32(m_bKnown[KnownFOVY]) &&
              f.WriteInt32(m_bKnown[KnownOrientation]) && f.WriteInt32(m_bKnown[KnownSlicePosition]) &&
              f.WriteFloat(m_fFOVX) && f.WriteFloat(m_fFOVY) && f.WriteInt32(m_nOrientation) &&
              f.WriteFloat(m_fSlicePosition) && f.WriteInt32(m_nWindowLow) && f.WriteInt32(m_nWindowHigh) &&
              f.WriteFloat(m_centre.x) && f.WriteFloat(m_centre.y) && f.WriteFloat(m_shift.x) &&
              f.WriteFloat(m_shift.y) && WriteCString(f, m_strName);
    ok = ok && WriteCString(f, m_strInfo[InfoPatientName]) && WriteCString(f, m_strInfo[InfoExamName]) &&
         WriteCString(f, m_strInfo[InfoProtocolName]) && WriteCString(f, m_strInfo[InfoExamDate]) &&
         f.WriteFloat(m_fTR) && f.WriteFloat(m_fTE) && f.WriteFloat(m_fSliceThickness);
    for (const float* block : {m_fOffCentre, m_fAngulation, m_fPosition})
        for (int k = 0; k < 3; ++k)
            ok = ok && f.WriteFloat(block[k]);
    for (float v : m_fRotation)
        ok = ok && f.WriteFloat(v);
    return ok && WriteCString(f, m_strInfo[InfoDirectionCode]) &&
           WriteCString(f, m_strInfo[InfoPatientPosition]) && WriteCString(f, m_strInfo[InfoPatientEntry]);
}

bool TMRImage::Read(vx::TFile& file, int version, const std::string& folder, TKeptRecord* unusable)
{
    const int64_t start = file.Tell();
    TImageRecord r;
    if (!ReadRecord(file, version, r))
        return false;
    const std::string invalid = WhyHeaderInvalid(r.width, r.height, r.fovX, r.fovY, r.thickness, r.orientation);
    if (!invalid.empty()) {
        // A whole record that cannot be used goes to the caller to be kept as it is.
        TKeptRecord kept;
        if (unusable && KeptRecordOf(file, start, r, invalid, kept))
            *unusable = std::move(kept);
        return false;
    }

    int xa = 0, ya = 0;
    const bool inPlane = InPlaneAxes(r.orientation, xa, ya);
    if (version < 3 && inPlane) {
        // Older records place the image by its slice position and in-plane centre.
        r.position[r.orientation] = r.slicePosition;
        r.position[xa] = r.centreX;
        r.position[ya] = r.centreY;
    }
    float inverse[9];
    if (version < 4) {
        // Built as the image readers build it, in the angulation convention 0.
        AngulationMatrix(r.angulation[0], r.angulation[1], r.angulation[2], r.rotation, 0);
        AngulationMatrixInverse(r.angulation[0], r.angulation[1], r.angulation[2], inverse, 0);
        r.directionCode = inPlane ? std::string{kAxisLetter[xa], kAxisLetter[ya]} : std::string();
    } else if (!InvertMatrix3x3(r.rotation, inverse, FailureMessage::None)) {
        // A degenerate stored rotation keeps the image loadable; placement is then
        // as good as the stored matrix.
        Transpose3x3(r.rotation, inverse);
    }

    FreePixels();
    m_floatValues.clear();
    m_nId = r.id;
    m_nWidth = r.width;
    m_nHeight = r.height;
    m_bKnown[KnownFOVX] = r.fovXKnown;
    m_bKnown[KnownFOVY] = r.fovYKnown;
    m_bKnown[KnownOrientation] = r.orientationKnown;
    m_bKnown[KnownSlicePosition] = r.slicePositionKnown;
    m_bKnown[KnownPositionX] = m_bKnown[KnownPositionY] = m_bKnown[KnownPositionZ] = r.slicePositionKnown;
    m_fFOVX = r.fovX;
    m_fFOVY = r.fovY;
    m_nOrientation = r.orientation;
    m_fSlicePosition = r.slicePosition;
    m_nWindowLow = r.windowLow;
    m_nWindowHigh = r.windowHigh;
    m_centre = TPoint2D(r.centreX, r.centreY);
    m_shift = TPoint2D(r.shiftX, r.shiftY);
    m_strName = r.name;
    m_strInfo[InfoPatientName] = r.patientName;
    m_strInfo[InfoExamName] = r.examName;
    m_strInfo[InfoProtocolName] = r.protocolName;
    m_strInfo[InfoExamDate] = r.examDate;
    m_strInfo[InfoDirectionCode] = r.directionCode;
    m_strInfo[InfoPatientPosition] = r.patientPosition;
    m_strInfo[InfoPatientEntry] = r.patientEntry;
    m_fTR = r.tr;
    m_fTE = r.te;
    m_fSliceThickness = r.thickness;
    std::copy(r.offCentre, r.offCentre + 3, m_fOffCentre);
    std::copy(r.angulation, r.angulation + 3, m_fAngulation);
    std::copy(r.position, r.position + 3, m_fPosition);
    std::copy(r.rotation, r.rotation + 9, m_fRotation);
    std::copy(inverse, inverse + 9, m_fRotationInverse);
    // The name comes from a file: it may only ever name a file inside the folder.
    m_strPath = vx::JoinPath(folder, vx::SanitizeFileComponent(r.name));
    return true;
}

bool TMRImage::SkipRecord(vx::TFile& file, int version)
{
    TImageRecord r;
    return ReadRecord(file, version, r);
}

bool TMRImage::KeepRecord(vx::TFile& file, int64_t start, int version, const std::string& reason, TKeptRecord& kept)
{
    const int64_t end = file.Tell();
    TImageRecord r;
    return file.Seek(start) && ReadRecord(file, version, r) && file.Tell() == end &&
           KeptRecordOf(file, start, r, reason, kept);
}

void TMRImage::CopyHeaderFrom(const TMRImage& o)
{
    if (&o == this)
        return;
    if (o.m_nWidth != m_nWidth || o.m_nHeight != m_nHeight) {
        FreePixels();
        m_floatValues.clear();
    }
    m_nWidth = o.m_nWidth;
    m_nHeight = o.m_nHeight;
    m_nId = o.m_nId;
    m_nWindowLow = o.m_nWindowLow;
    m_nWindowHigh = o.m_nWindowHigh;
    m_centre = o.m_centre;
    m_shift = o.m_shift;
    m_fFOVX = o.m_fFOVX;
    m_fFOVY = o.m_fFOVY;
    m_fSlicePosition = o.m_fSlicePosition;
    m_nOrientation = o.m_nOrientation;
    std::copy(std::begin(o.m_bKnown), std::end(o.m_bKnown), m_bKnown);
    m_strName = o.m_strName;
    std::copy(std::begin(o.m_strInfo), std::end(o.m_strInfo), m_strInfo);
    m_fSliceThickness = o.m_fSliceThickness;
    m_fTR = o.m_fTR;
    m_fTE = o.m_fTE;
    std::copy(o.m_fOffCentre, o.m_fOffCentre + 3, m_fOffCentre);
    std::copy(o.m_fAngulation, o.m_fAngulation + 3, m_fAngulation);
    std::copy(o.m_fPosition, o.m_fPosition + 3, m_fPosition);
    std::copy(o.m_fRotation, o.m_fRotation + 9, m_fRotation);
    std::copy(o.m_fRotationInverse, o.m_fRotationInverse + 9, m_fRotationInverse);
    m_strPath = o.m_strPath;
    m_bNormalized = o.m_bNormalized;
    m_fStoredMax = o.m_fStoredMax;
    m_fStoredMin = o.m_fStoredMin;
    m_fValueMax = o.m_fValueMax;
    m_fValueMin = o.m_fValueMin;
    m_strValueUnit = o.m_strValueUnit;
}

bool TMRImage::IsValid() const
{
    return WhyHeaderInvalid(m_nWidth, m_nHeight, m_fFOVX, m_fFOVY, m_fSliceThickness, m_nOrientation).empty();
}

void TMRImage::Anonymize() { m_strInfo[InfoPatientName] = "Anonymized"; }
