#include "FuzzSupport.h"

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcuid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <cmath>
#include <complex>
#include <deque>
#include <filesystem>
#include <memory>
#include <numbers>
#include <set>
#include <utility>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/Workers.h"
#include "platform/Globals.h"
#include "readers/ReaderFactory.h"

namespace vx::fuzz {

namespace {

int g_reports = 0;
std::deque<std::string> g_reportTexts;  // the last ones, for the targets that look at them
vx::TFileFault g_plannedFault;          // no call before an input plans one

// The question an add asks about a set whose rotation disagrees with an image's, the
// answer it gets (Yes, or No, its default) and the texts of those asked, each led by the
// name of the file an exam was adding.
constexpr std::string_view kSetGeometryQuestion =
    "Image and CSI geometries are not consistent! Misregistration would happen! Would you like to continue adding "
    "the CSI set?";
bool g_addDespiteGeometry = false;
std::vector<std::string> g_geometryQuestions;

}  // namespace

void Prepare()
{
    vx::SetReportHandler([](const vx::TReportRequest& r) {
        ++g_reports;
        g_reportTexts.push_back(r.text);
        if (g_reportTexts.size() > 256)
            g_reportTexts.pop_front();
        if (r.buttons == vx::ReportButtons::YesNo && r.text.ends_with(kSetGeometryQuestion)) {
            Require(r.defaultAnswer == vx::ReportAnswer::No, "the geometry question's default answer is No");
            g_geometryQuestions.push_back(r.text);
            return g_addDespiteGeometry ? vx::ReportAnswer::Yes : vx::ReportAnswer::No;
        }
        return r.defaultAnswer;
    });
    vx::SetProcessorCount(1);
}

int ReportCount() { return g_reports; }

void ClearReportTexts()
{
    g_reportTexts.clear();
    g_geometryQuestions.clear();
}

bool Reported(std::string_view text)
{
    return std::any_of(g_reportTexts.begin(), g_reportTexts.end(),
                       [&](const std::string& shown) { return shown.find(text) != std::string::npos; });
}

namespace {

// Whether `shown` names the path `text`: the path stands there, not as the start of a
// longer name ("a/cs" in "a/csi"); a "." after it ends a sentence.
bool NamesPath(std::string_view shown, std::string_view text)
{
    const auto inName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'; };
    for (size_t at = shown.find(text); at != std::string_view::npos; at = shown.find(text, at + 1)) {
        const size_t end = at + text.size();
        if (end == shown.size() || (!inName(shown[end]) && shown[end] != '.') ||
            (shown[end] == '.' && (end + 1 == shown.size() || !inName(shown[end + 1]))))
            return true;
    }
    return false;
}

}  // namespace

bool ReportedPath(std::string_view path)
{
    return std::any_of(g_reportTexts.begin(), g_reportTexts.end(),
                       [&](const std::string& shown) { return NamesPath(shown, path); });
}

bool EveryReportNaming(std::string_view text, std::string_view with)
{
    return std::all_of(g_reportTexts.begin(), g_reportTexts.end(), [&](const std::string& shown) {
        return !NamesPath(shown, text) || shown.find(with) != std::string::npos;
    });
}

std::string PutSpecialFile(const std::string& path, int kind)
{
    std::error_code error;
    std::filesystem::remove_all(path, error);
    switch (kind % 3) {
    case 0: return ::mkfifo(path.c_str(), 0600) == 0 ? "a FIFO" : std::string();
    case 1: return std::filesystem::create_directory(path, error) ? "a folder" : std::string();
    default: {
        const std::string fifo = JoinPath(ScratchFolder(), "linked.fifo");
        std::filesystem::remove_all(fifo, error);
        if (::mkfifo(fifo.c_str(), 0600) != 0 || ::symlink(fifo.c_str(), path.c_str()) != 0)
            return {};
        return "a FIFO";
    }
    }
}

const std::string& ScratchFolder()
{
    // A folder of its own, made afresh: a folder another run left under a reused process
    // number (another user's, perhaps) is never taken. It goes when the target exits, and
    // stays after a finding, for its files to be looked at.
    // The name outlives the static objects, which the exit handler runs after.
    static const std::string& folder = *[] {
        auto* name = new std::string(vx::JoinPath(vx::TempFolder(), "vexara-fuzz-XXXXXX"));
        if (!::mkdtemp(name->data()))
            __builtin_trap();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return name;
    }();
    return folder;
}

std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = vx::JoinPath(ScratchFolder(), name);
    vx::TFile file;
    if (file.Open(path, vx::TFile::Mode::Write)) {
        file.Write(data, size);
        file.Close();
    }
    return path;
}

bool TakeByte(const uint8_t*& data, size_t& size, uint8_t& byte)
{
    if (size < 1)
        return false;
    byte = data[0];
    ++data;
    --size;
    return true;
}

std::string WriteScratchOrRemove(const std::string& name, std::string_view bytes)
{
    if (!bytes.empty())
        return WriteScratch(name, bytes);
    const std::string path = vx::JoinPath(ScratchFolder(), name);
    vx::RemoveFile(path);
    return path;
}

bool UsableName(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > 64)
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.')
            return false;
    return true;
}

std::vector<std::string_view> Sections(const uint8_t* data, size_t size, int count)
{
    std::vector<std::string_view> parts(static_cast<size_t>(count));
    const size_t lengthBytes = 2 * size_t(count - 1);
    if (size < lengthBytes)
        return parts;
    const char* at = reinterpret_cast<const char*>(data) + lengthBytes;
    size_t left = size - lengthBytes;
    for (size_t k = 0; k + 1 < parts.size(); ++k) {
        const size_t length = std::min(left, size_t(data[2 * k]) | (size_t(data[2 * k + 1]) << 8));
        parts[k] = std::string_view(at, length);
        at += length;
        left -= length;
    }
    parts.back() = std::string_view(at, left);
    return parts;
}

std::string PackSections(const std::vector<std::string>& parts)
{
    std::string input;
    for (size_t k = 0; k + 1 < parts.size(); ++k) {
        input += char(parts[k].size() & 0xff);
        input += char((parts[k].size() >> 8) & 0xff);
    }
    for (const std::string& part : parts)
        input += part;
    return input;
}

std::string WriteScratch(const std::string& name, std::string_view bytes)
{
    return WriteScratch(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

uint8_t TChosen::Byte()
{
    if (m_size == 0)
        return 0;
    --m_size;
    return *m_data++;
}

uint16_t TChosen::Word()
{
    const uint8_t low = Byte();
    return uint16_t(low | (Byte() << 8));
}

int TChosen::SweepWidth()
{
    static constexpr int kWidths[] = {1000, 2000, 2500, 4000, 5000, 500, 1250, 8000};
    return kWidths[Pick(8)];
}

std::string Printed(const char* format, ...)
{
    char buffer[256];
    va_list values;
    va_start(values, format);
    std::vsnprintf(buffer, sizeof buffer, format, values);
    va_end(values);
    return buffer;
}

void ChosenDirections(uint8_t byte, float row[3], float column[3])
{
    static constexpr float kObliques[8][2][3] = {
        {{0.6f, 0.8f, 0}, {0, 0, 1}},        {{0.8f, 0, 0.6f}, {0, 1, 0}},         {{0, 0.6f, 0.8f}, {1, 0, 0}},
        {{0.6f, -0.8f, 0}, {0.8f, 0.6f, 0}}, {{0, 0.8f, -0.6f}, {0, 0.6f, 0.8f}}, {{0.8f, 0, 0.6f}, {-0.6f, 0, 0.8f}},
        {{0.6f, 0.8f, 0}, {0, 0, -1}},       {{-0.8f, 0, 0.6f}, {0, -1, 0}},
    };
    const int pick = byte % 32;
    if (pick >= 24) {
        std::copy(kObliques[pick - 24][0], kObliques[pick - 24][0] + 3, row);
        std::copy(kObliques[pick - 24][1], kObliques[pick - 24][1] + 3, column);
        return;
    }
    // The row along axis pick / 8 with the sign of bit 2, the column along one of the
    // other two (bit 0) with the sign of bit 1.
    std::fill(row, row + 3, 0.0f);
    std::fill(column, column + 3, 0.0f);
    const int rowAxis = pick / 8;
    row[rowAxis] = (pick & 4) ? -1.0f : 1.0f;
    column[(rowAxis + 1 + (pick & 1)) % 3] = (pick & 2) ? -1.0f : 1.0f;
}

TPlaneGeometry PlaneGeometry(const float row[3], const float column[3], const std::string& axialLabels)
{
    TPlaneGeometry g;
    float least = 0;
    for (int i = 0; i < 3; ++i) {
        const float sum = std::fabs(row[i]) + std::fabs(column[i]);
        if (i == 0 || sum < least) {
            g.sliceAxis = i;
            least = sum;
        }
    }
    const float* first = g.sliceAxis == 1 ? column : row;
    const float* second = g.sliceAxis == 1 ? row : column;
    for (int i = 0; i < 3; ++i)
        g.normal[i] = first[(i + 1) % 3] * second[(i + 2) % 3] - first[(i + 2) % 3] * second[(i + 1) % 3];
    // The standard views by rows; the axial one's in-plane unit vectors p and q (its first
    // two columns) as the labels turn points into the view: "LP" both negated, "PR" (x, y)
    // to (y, -x), "AL" to (-y, x).
    double standard[3][3] = {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}};
    if (g.sliceAxis == 1) {
        const double coronal[3][3] = {{1, 0, 0}, {0, 0, -1}, {0, -1, 0}};
        std::copy(&coronal[0][0], &coronal[0][0] + 9, &standard[0][0]);
    } else if (g.sliceAxis == 2) {
        double p[2] = {1, 0}, q[2] = {0, 1};
        const auto turn = [&](double v[2]) {
            const double x = v[0], y = v[1];
            if (axialLabels == "LP")
                v[0] = -x, v[1] = -y;
            else if (axialLabels == "PR")
                v[0] = y, v[1] = -x;
            else if (axialLabels == "AL")
                v[0] = -y, v[1] = x;
        };
        turn(p);
        turn(q);
        const double axial[3][3] = {{p[0], q[0], 0}, {p[1], q[1], 0}, {0, 0, 1}};
        std::copy(&axial[0][0], &axial[0][0] + 9, &standard[0][0]);
    }
    // [r c n] is orthonormal: its inverse is its transpose, whose rows are r, c and n.
    const float* m[3] = {row, column, g.normal};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                g.rotation[i][j] += standard[i][k] * double(m[k][j]);
    return g;
}

std::vector<std::complex<float>> FrameAverage(int points, int first, int frames,
                                              const std::function<double(size_t)>& value)
{
    std::vector<std::complex<float>> average(static_cast<size_t>(points));
    for (size_t t = 0; t < size_t(points); ++t) {
        double sum[2] = {0, 0};
        for (int f = first; f < frames; ++f)
            for (size_t part = 0; part < 2; ++part)
                sum[part] += value(2 * (size_t(f) * size_t(points) + t) + part);
        average[t] = {float(sum[0] / (frames - first)), float(sum[1] / (frames - first))};
    }
    return average;
}

bool Near(double value, double expected)
{
    return std::fabs(value - expected) <= 1e-4 * (1.0 + std::fabs(expected));
}

std::array<double, 9> AngulationRotation(const float angles[3])
{
    const double a = angles[0] * std::numbers::pi / 180, b = angles[1] * std::numbers::pi / 180,
                 c = angles[2] * std::numbers::pi / 180;
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b), cc = std::cos(c),
                 sc = std::sin(c);
    return {cb * cc,  cc * sb * sa + ca * sc, sa * sc - cc * sb * ca,
            -cb * sc, ca * cc - sa * sb * sc, ca * sb * sc + cc * sa,
            sb,       -cb * sa,               ca * cb};
}

std::array<double, 9> SparAngulationRotation(const float angles[3])
{
    const double a = angles[0] * std::numbers::pi / 180, b = angles[1] * std::numbers::pi / 180,
                 c = angles[2] * std::numbers::pi / 180;
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b), cc = std::cos(c),
                 sc = std::sin(c);
    return {sa * sb * sc + cb * cc, ca * sc, cb * sc * sa - cc * sb,
            cc * sb * sa - cb * sc, ca * cc, cb * cc * sa + sb * sc,
            ca * sb,                -sa,     ca * cb};
}

void CheckRotation(const TCSISet& set, const std::array<double, 9>& r)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            Require(Near(set.m_fRotation[i][j], r[size_t(3 * i + j)]) &&
                        Near(set.m_fRotationInverse[j][i], r[size_t(3 * i + j)]),
                    "rotation of the angulation and its inverse");
}

void CheckImage(TMRImage& image, const TExpectedImage& expected)
{
    Require(image.GetName() == expected.name && image.GetWidth() == expected.width &&
                image.GetHeight() == expected.height && image.GetOrientation() == expected.orientation,
            "name, size and orientation of the image");
    for (int k = 0; k < TMRImage::InfoTextCount; ++k)
        Require(image.GetInfoText(k) == expected.texts[k],
                "texts of the image: names, date, direction labels, patient position and entry");
    Require(image.GetParameter(TMRImage::ParamFOVX) == expected.fov[0] &&
                image.GetParameter(TMRImage::ParamFOVY) == expected.fov[1],
            "field of view");
    Require(image.GetParameter(TMRImage::ParamTR) == expected.tr && image.GetParameter(TMRImage::ParamTE) == expected.te &&
                image.GetParameter(TMRImage::ParamThickness) == expected.thickness,
            "TR, TE and slice thickness");
    for (int k = 0; k < 3; ++k) {
        Require(Near(image.GetParameter(TMRImage::ParamPositionX + k), expected.position[k]), "centre of the image");
        Require(image.GetParameter(TMRImage::ParamAngulationX + k) == expected.angulation[k] &&
                    image.GetParameter(TMRImage::ParamOffCentreX + k) == expected.offCentre[k],
                "angulation and off-centre");
    }
    float rotation[9], inverse[9];
    image.GetRotation(rotation);
    image.GetInverseRotation(inverse);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            Require(Near(rotation[3 * i + j], expected.rotation[3 * i + j]) &&
                        Near(inverse[3 * j + i], expected.rotation[3 * i + j]),
                    "rotation and its inverse");
    Require(image.EnsurePixels() &&
                std::vector<int>(image.GetPixels().begin(), image.GetPixels().end()) == expected.pixels,
            "the pixels as written");
    image.FreePixels();
}

TMRImage& ImageNamed(TImageSet& images, const std::string& name)
{
    const auto named = std::find_if(images.Begin(), images.End(),
                                    [&](const TMRImage* pImage) { return pImage->GetName() == name; });
    Require(named != images.End(), "an image of the name its file gives it");
    return **named;
}

namespace {

std::string Decimals(const float* values, int count)
{
    std::string text;
    for (int k = 0; k < count; ++k)
        text += (k ? "\\" : "") + Printed("%.6g", double(values[k]));
    return text;
}

}  // namespace

bool WriteDicomImage(const TDicomImageValues& p, const std::string& path)
{
    DcmFileFormat file;
    DcmDataset& d = *file.getDataset();
    const float cosines[6] = {p.row[0], p.row[1], p.row[2], p.column[0], p.column[1], p.column[2]};
    const auto text = [&](const DcmTagKey& tag, const std::string& value) {
        return value.empty() || d.putAndInsertString(tag, value.c_str()).good();
    };
    bool ok = text(DCM_SOPClassUID, UID_MRImageStorage) && text(DCM_Modality, "MR") &&
              text(DCM_PhotometricInterpretation, "MONOCHROME2") &&
              d.putAndInsertUint16(DCM_SamplesPerPixel, 1).good() &&
              d.putAndInsertUint16(DCM_Rows, Uint16(p.rows)).good() &&
              d.putAndInsertUint16(DCM_Columns, Uint16(p.columns)).good() &&
              d.putAndInsertUint16(DCM_BitsAllocated, Uint16(p.bits)).good() &&
              d.putAndInsertUint16(DCM_BitsStored, Uint16(p.bits)).good() &&
              d.putAndInsertUint16(DCM_HighBit, Uint16(p.bits - 1)).good() &&
              d.putAndInsertUint16(DCM_PixelRepresentation, p.bits == 16 ? 1 : 0).good() &&
              text(DCM_ImagePositionPatient, Decimals(p.position, 3)) &&
              text(DCM_ImageOrientationPatient, Decimals(cosines, 6)) && text(DCM_PixelSpacing, Decimals(p.spacing, 2)) &&
              text(DCM_PatientPosition, p.code) && text(DCM_StudyID, p.studyId) && text(DCM_StudyDate, p.studyDate) &&
              text(DCM_PatientName, p.patientName) && text(DCM_StudyDescription, "Chosen study") &&
              text(DCM_ProtocolName, "chosen") && text(DCM_RepetitionTime, Decimals(&p.tr, 1)) &&
              text(DCM_EchoTime, Decimals(&p.te, 1)) && text(DCM_SliceThickness, Decimals(&p.thickness, 1));
    if (p.bits == 16) {
        std::vector<Uint16> words(p.pixels.begin(), p.pixels.end());
        ok = ok && d.putAndInsertUint16Array(DCM_PixelData, words.data(), words.size()).good();
    } else {
        std::vector<Uint8> bytes(p.pixels.begin(), p.pixels.end());
        ok = ok && d.putAndInsertUint8Array(DCM_PixelData, bytes.data(), bytes.size()).good();
    }
    return ok && file.saveFile(path.c_str(), E_TransferSyntax(p.syntax)).good();
}

void PutVax(std::string& file, float value)
{
    unsigned char ieee[4];
    std::memcpy(ieee, &value, 4);
    if (value == 0.0f && !std::signbit(value)) {
        file.append(4, '\0');
        return;
    }
    const unsigned char vax[4] = {ieee[2], uint8_t(ieee[3] + 1), ieee[0], ieee[1]};
    file.append(reinterpret_cast<const char*>(vax), 4);
}

TSparSpectrum ChosenSparSpectrum(TChosen& c, std::string_view name, std::string_view exam)
{
    static constexpr const char* kPositions[] = {"head_first", "feet_first"};
    static constexpr const char* kOrientations[] = {"supine", "prone", "left_side", "right_side"};
    static constexpr const char* kNuclei[] = {"1H", "31P", "13C", "19F"};
    TSparSpectrum p;
    p.points = c.Points();
    p.width = c.SweepWidth();
    const uint16_t n = c.Word();
    p.hertz = (64u + n) * 15625u;
    p.frequency = 1.0f + float(n) / 64.0f;
    p.te = float(c.Word()) / 16.0f;
    p.tr = float(c.Word()) / 8.0f;
    p.averages = c.Byte();
    const uint8_t texts = c.Byte();
    p.position = kPositions[texts & 1];
    p.orientation = kOrientations[(texts >> 1) & 3];
    p.nucleus = kNuclei[(texts >> 3) & 3];
    p.patientName = ChosenText(name, 32, "Doe");
    p.examName = ChosenText(exam, 32, "Exam");
    return p;
}

std::string SparSpectrumLines(const TSparSpectrum& p)
{
    return "examination_name : " + p.examName + "\r\npatient_name : " + p.patientName +
           "\r\npatient_position : " + p.position + "\r\npatient_orientation : " + p.orientation +
           "\r\nnucleus : " + p.nucleus + "\r\n" + Printed("samples : %d\r\n", p.points) +
           Printed("synthesizer_frequency : %u\r\n", p.hertz) + Printed("sample_frequency : %d\r\n", p.width) +
           Printed("echo_time : %.4f\r\n", double(p.te)) + Printed("repetition_time : %.3f\r\n", double(p.tr)) +
           Printed("averages : %d\r\n", p.averages);
}

void CheckSparSpectrum(const TCSISet& set, const TSparSpectrum& p)
{
    Require(set.m_nPoints == p.points && set.m_nFirstPoint == 0 && set.m_nLastPoint == p.points - 1 &&
                set.m_fPPMCentrePoint == float(p.points / 2) && set.m_fPPMCentreValue == 0.0f,
            "points and ppm reference of the samples line");
    Require(set.m_nSpectralWidth == p.width && set.m_fFrequency == p.frequency,
            "sweep width and frequency (Hz to MHz)");
    Require(set.m_fTE == p.te && set.m_fTR == p.tr && set.m_fAverages == float(p.averages),
            "echo time, repetition time and averages");
    Require(set.m_strPatientName == p.patientName && set.m_strExamName == p.examName &&
                set.m_strPatientPosition == p.position && set.m_strPatientOrientation == p.orientation &&
                set.m_strNucleus == p.nucleus,
            "patient and examination texts");
}

TChosenParRec ChosenParRec(TChosen& c, int version, bool shifts)
{
    TChosenParRec p;
    p.version = version;
    const int images = 1 + c.Pick(3);
    p.tr = float(c.Word()) / 4.0f;
    for (float& v : p.angulation)
        v = c.Signed(8.0f);
    for (float& v : p.offCentre)
        v = c.Signed(2.0f);
    for (float& v : p.fov)
        v = float(8 + c.Byte());
    for (float& v : p.shift)
        v = shifts ? c.Signed(4.0f) : (c.Byte(), 0.0f);
    p.patientName = "Doe" + std::to_string(c.Byte());
    p.examName = "Exam" + std::to_string(c.Byte());
    p.date = Printed("2024.%02d.%02d", 1 + c.Pick(12), 1 + c.Pick(28));
    for (int k = 0; k < images; ++k) {
        TChosenImageLine line;
        const uint8_t sizes = (p.version == 3 && k > 0) ? 0 : c.Byte();
        line.width = p.version == 3 && k > 0 ? p.lines[0].width : 1 + sizes % 8;
        line.height = p.version == 3 && k > 0 ? p.lines[0].height : 1 + (sizes >> 3) % 8;
        const uint8_t kind = c.Byte();
        line.bits = p.version == 3 && k > 0 ? p.lines[0].bits : (kind & 1) ? 8 : 16;
        line.sliceOrientation = 1 + (kind >> 1) % 3;
        for (float& v : line.offCentre)
            v = c.Signed(2.0f);
        line.spacing[0] = float(1 + c.Pick(16)) / 4.0f;
        line.spacing[1] = float(1 + c.Pick(16)) / 4.0f;
        // Version 3 takes the header's slice thickness, which is made a 16th of the field
        // of view's first side: exact in the four decimals written.
        line.thickness = p.version == 3 ? p.fov[0] / 16.0f : float(c.Byte()) / 8.0f;
        line.te = float(c.Byte()) / 2.0f;
        line.index = std::to_string(k + 1);
        p.lines.push_back(std::move(line));
    }
    for (TChosenImageLine& line : p.lines)
        for (int k = 0; k < line.width * line.height; ++k)
            line.pixels.push_back(line.bits == 8 ? c.Byte() : int16_t(c.Word()));
    return p;
}

namespace {

std::string Triple(const float v[3])
{
    return Printed("%.4f  %.4f  %.4f", double(v[0]), double(v[1]), double(v[2]));
}

}  // namespace

// Comment lines, one of eight words naming the version, general-information lines and one
// line per image.
std::string ParRecText(const TChosenParRec& p)
{
    std::string text = "# === DATA DESCRIPTION FILE ======================\n#\n"
                       "# CLINICAL TRYOUT             Research image export tool     V" +
                       std::string(p.version == 3 ? "3" : "4.2") + "\n#\n";
    text += ".    Patient name                       :   " + p.patientName + "\n";
    text += ".    Examination name                   :   " + p.examName + "\n";
    text += ".    Protocol name                      :   chosen\n";
    text += ".    Examination date/time              :   " + p.date + " / 12:34:56\n";
    text += Printed(".    Repetition time [msec]             :   %.2f\n", double(p.tr));
    if (p.version == 3) {
        const TChosenImageLine& first = p.lines.front();
        text += Printed(".    Image pixel size [8 or 16 bits]    :   %d\n", first.bits);
        text += Printed(".    Recon resolution (x, y)            :   %d  %d\n", first.width, first.height);
        text += ".    FOV (ap,fh,rl) [mm]                :   " + Triple(p.fov) + "\n";
        text += Printed(".    Slice thickness [mm]               :   %.4f\n", double(first.thickness));
    }
    text += ".    Angulation midslice(ap,fh,rl)[degr]:   " + Triple(p.angulation) + "\n";
    text += ".    Off Centre midslice(ap,fh,rl) [mm] :   " + Triple(p.offCentre) + "\n#\n";
    for (const TChosenImageLine& line : p.lines) {
        std::vector<std::string> columns(p.version == 3 ? 29 : 41, "0");
        columns[6] = line.index;
        const int offCentreAt = p.version == 3 ? 15 : 19, orientationAt = p.version == 3 ? 19 : 25;
        const int spacingAt = p.version == 3 ? 22 : 28, teAt = p.version == 3 ? 24 : 30;
        if (p.version == 4) {
            columns[7] = std::to_string(line.bits);
            columns[9] = std::to_string(line.width);
            columns[10] = std::to_string(line.height);
            columns[22] = Printed("%.4f", double(line.thickness));
        }
        for (int k = 0; k < 3; ++k)
            columns[size_t(offCentreAt + k)] = Printed("%.4f", double(line.offCentre[k]));
        columns[size_t(orientationAt)] = std::to_string(line.sliceOrientation);
        columns[size_t(spacingAt)] = Printed("%.4f", double(line.spacing[0]));
        columns[size_t(spacingAt + 1)] = Printed("%.4f", double(line.spacing[1]));
        columns[size_t(teAt)] = Printed("%.2f", double(line.te));
        for (const std::string& column : columns)
            text += " " + column;
        text += "\n";
    }
    return text;
}

std::string RecBytes(const TChosenParRec& p)
{
    std::string rec;
    for (const TChosenImageLine& line : p.lines)
        for (const int v : line.pixels) {
            rec += char(v & 0xff);
            if (line.bits == 16)
                rec += char((v >> 8) & 0xff);
        }
    return rec;
}

std::string ChosenText(std::string_view text, size_t length, std::string_view fallback)
{
    std::string kept;
    for (const char c : text.substr(0, length))
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            kept += c;
    return kept.empty() ? std::string(fallback) : kept;
}

int16_t ChosenWord(std::string_view bytes, size_t k)
{
    if (2 * k + 1 >= bytes.size())
        return 0;
    return int16_t(uint16_t(uint8_t(bytes[2 * k]) | (uint8_t(bytes[2 * k + 1]) << 8)));
}

float ChosenSample(std::string_view bytes, size_t k) { return float(ChosenWord(bytes, k)) / 16.0f; }

void Require(bool ok, const char* check)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", check);
    __builtin_trap();
}

bool Said(std::string_view text)
{
    return Reported(text) || g_batchLog.find(text) != std::string::npos;
}

bool SaidSince(size_t logged, std::string_view text)
{
    return Reported(text) || g_batchLog.find(text, g_batchLog.size() < logged ? 0 : logged) != std::string::npos;
}

void PlanFault(const uint8_t* data, size_t size)
{
    uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (size_t k = 0; k < size; ++k)
        hash = (hash ^ data[k]) * 1099511628211u;
    static constexpr unsigned kCalls[] = {vx::kFileList, vx::kFileRead, vx::kFileSize, vx::kFileOpenRead};
    g_plannedFault = {kCalls[hash % 4], EIO, 1 + int((hash >> 2) % 16), false};
}

bool FailingAsPlanned(const std::function<void()>& call)
{
    vx::SetFileFaults({g_plannedFault});
    call();
    const bool struck = vx::FileFaultStruck();
    vx::SetFileFaults({});
    return struck;
}

TCSISet* LoadedSet(int nx, int ny, int nz, int points)
{
    auto* set = new TCSISet();
    set->m_strName = "csi";
    set->m_nDim[0] = nx;
    set->m_nDim[1] = ny;
    set->m_nDim[2] = nz;
    set->m_nPoints = points;
    set->m_nSpectralWidth = 2000;
    set->m_fFrequency = 127.7f;
    set->m_nLastPoint = points - 1;
    set->m_fPPMCentrePoint = float(points / 2);
    if (!set->AllocateVoxels()) {
        delete set;
        return nullptr;
    }
    set->InitVoxels();
    std::vector<TComplex> samples(size_t(points), TComplex{});
    for (size_t v = 0; v < set->VoxelCount(); ++v) {
        for (int i = 0; i < points; ++i)
            samples[size_t(i)] = std::polar(100.0f * std::exp(-0.05f * float(i)), 0.3f * float(i) * float(1 + v % 5));
        set->GetVoxel(v)->SetComplexData(samples.data());
    }
    set->m_bLoaded = true;
    return set;
}

TTree Snapshot(const std::string& folder)
{
    namespace fs = std::filesystem;
    TTree tree;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        TTreeEntry& entry = tree[it->path().lexically_relative(folder).string()];
        entry.folder = it->is_directory(error);
        if (!entry.folder)
            vx::ReadWholeFile(it->path().string(), entry.bytes, int64_t{1} << 24);
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) == 0) {
            entry.mode = st.st_mode & 07777;
            entry.owner = st.st_uid;
            entry.group = st.st_gid;
        }
    }
    return tree;
}

unsigned OtherGroup()
{
    // The group of nobody's files, unless it is this process's own.
    return ::getegid() == 65534 ? 65533 : 65534;
}

bool GiveRights(const std::string& path, unsigned group, int mode)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool given = ::fchown(fd, uid_t(-1), gid_t(group)) == 0;
    if (mode >= 0)
        given = ::fchmod(fd, mode_t(mode)) == 0 && given;
    ::close(fd);
    return given;
}

namespace {

bool Same(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

bool SameFloats(const float* a, const float* b, int n)
{
    for (int i = 0; i < n; ++i)
        if (!Same(a[i], b[i]))
            return false;
    return true;
}

// The project file keeps a text without its zero bytes (WriteCString): a fixed-width
// header field read with its zero padding comes back as the same text without them.
bool SameText(const std::string& a, const std::string& b)
{
    const auto withoutZeros = [](std::string text) {
        text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
        return text;
    };
    return withoutZeros(a) == withoutZeros(b);
}

}  // namespace

TSetContents ContentsOf(const TCSISet& set)
{
    TSetContents contents{static_cast<const TCSIParams&>(set), {}, {}};
    contents.hasData.resize(set.VoxelCount());
    contents.samples.resize(set.VoxelCount());
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        if (const TComplex* data = set.GetVoxel(v)->Data()) {
            contents.hasData[v] = true;
            contents.samples[v].assign(data, data + std::max(set.m_nPoints, 0));
        }
    return contents;
}

bool SameSet(const TSetContents& contents, const TCSISet& b)
{
    const TCSIParams& a = contents.params;
    const int ints[][2] = {{a.m_nDim[0], b.m_nDim[0]}, {a.m_nDim[1], b.m_nDim[1]}, {a.m_nDim[2], b.m_nDim[2]},
                           {a.m_nPoints, b.m_nPoints}, {a.m_nFirstPoint, b.m_nFirstPoint},
                           {a.m_nLastPoint, b.m_nLastPoint}, {a.m_nSpectralWidth, b.m_nSpectralWidth},
                           {a.m_nPivot, b.m_nPivot}, {a.m_bEchoShifted, b.m_bEchoShifted},
                           {a.m_bFrequencyDomain, b.m_bFrequencyDomain}, {a.m_nFormat, b.m_nFormat},
                           {a.m_nEchoPosition, b.m_nEchoPosition}, {a.m_nSpatialDims, b.m_nSpatialDims},
                           {a.m_nSliceAxis, b.m_nSliceAxis}, {a.m_bKSpace, b.m_bKSpace},
                           {a.m_bMultiSlice, b.m_bMultiSlice}, {a.m_nVolumes, b.m_nVolumes}};
    for (const auto& pair : ints)
        if (pair[0] != pair[1])
            return false;
    const float floats[][2] = {{a.m_fFrequency, b.m_fFrequency}, {a.m_fPPMCentrePoint, b.m_fPPMCentrePoint},
                               {a.m_fPPMCentreValue, b.m_fPPMCentreValue}, {a.m_fPhase0, b.m_fPhase0},
                               {a.m_fPhase1, b.m_fPhase1}, {a.m_fTR, b.m_fTR}, {a.m_fTE, b.m_fTE},
                               {a.m_fAverages, b.m_fAverages}, {a.m_fSliceThickness, b.m_fSliceThickness},
                               {a.m_fSliceGap, b.m_fSliceGap}, {a.m_fLorentzBroadening, b.m_fLorentzBroadening},
                               {a.m_fGaussBroadening, b.m_fGaussBroadening}};
    for (const auto& pair : floats)
        if (!Same(pair[0], pair[1]))
            return false;
    if (!SameFloats(a.m_fVoxelShift, b.m_fVoxelShift, 3) || !SameFloats(a.m_fFOV, b.m_fFOV, 3) ||
        !SameFloats(a.m_fAngulation, b.m_fAngulation, 3) || !SameFloats(a.m_fOffCentre, b.m_fOffCentre, 3) ||
        !SameFloats(&a.m_fRotation[0][0], &b.m_fRotation[0][0], 9) || !SameFloats(a.m_fExtra, b.m_fExtra, 3))
        return false;
    // The phases of each slice of a multi-slice set: its own entry, or the whole-set phases
    // for a slice without one.
    if (a.m_bMultiSlice == 1 && a.m_nSliceAxis >= 0 && a.m_nSliceAxis < 3)
        for (int s = 0; s < a.m_nDim[a.m_nSliceAxis]; ++s) {
            const auto phaseOf = [s](const TCSIParams& p) {
                return size_t(s) < p.m_slicePhases.size() ? p.m_slicePhases[size_t(s)]
                                                          : TSlicePhase{p.m_fPhase0, p.m_fPhase1, float(p.m_nPivot)};
            };
            const TSlicePhase x = phaseOf(a), y = phaseOf(b);
            if (!Same(x.m_fPhase0, y.m_fPhase0) || !Same(x.m_fPhase1, y.m_fPhase1) || !Same(x.m_fPivot, y.m_fPivot))
                return false;
        }
    for (int box = 0; box < std::min(a.m_nVolumes, 2); ++box)
        for (int axis = 0; axis < 3; ++axis)
            if (!Same(a.m_fVolOffCentre[axis][box], b.m_fVolOffCentre[axis][box]) ||
                !Same(a.m_fVolAngulation[axis][box], b.m_fVolAngulation[axis][box]) ||
                !Same(a.m_fVolSize[axis][box], b.m_fVolSize[axis][box]))
                return false;
    const std::string* texts[][2] = {{&a.m_strName, &b.m_strName}, {&a.m_strDataPath, &b.m_strDataPath},
                                     {&a.m_strPatientName, &b.m_strPatientName},
                                     {&a.m_strExamName, &b.m_strExamName}, {&a.m_strExamDate, &b.m_strExamDate},
                                     {&a.m_strNucleus, &b.m_strNucleus},
                                     {&a.m_strPatientPosition, &b.m_strPatientPosition},
                                     {&a.m_strPatientOrientation, &b.m_strPatientOrientation},
                                     {&a.m_strOrientation, &b.m_strOrientation},
                                     {&a.m_strPatientBirthDate, &b.m_strPatientBirthDate}};
    for (const auto& pair : texts)
        if (!SameText(*pair[0], *pair[1]))
            return false;
    if (contents.samples.size() != b.VoxelCount())
        return false;
    for (size_t v = 0; v < b.VoxelCount(); ++v) {
        const TComplex* y = b.GetVoxel(v)->Data();
        // A voxel without data is compared as such; the voxels after it still count.
        if (!contents.hasData[v] || !y) {
            if (contents.hasData[v] || y)
                return false;
            continue;
        }
        if (!SameFloats(reinterpret_cast<const float*>(contents.samples[v].data()), reinterpret_cast<const float*>(y),
                        2 * a.m_nPoints))
            return false;
    }
    return true;
}

bool SameSet(const TCSISet& a, const TCSISet& b) { return SameSet(ContentsOf(a), b); }

bool HoldsSamples(const TSetContents& contents, const TCSISet& set)
{
    const TCSIParams& a = contents.params;
    if (a.m_nDim[0] != set.m_nDim[0] || a.m_nDim[1] != set.m_nDim[1] || a.m_nDim[2] != set.m_nDim[2] ||
        a.m_nPoints != set.m_nPoints || contents.samples.size() != set.VoxelCount())
        return false;
    for (size_t v = 0; v < set.VoxelCount(); ++v) {
        const TComplex* data = set.GetVoxel(v)->Data();
        if (bool(data) != contents.hasData[v] ||
            (data && !SameFloats(reinterpret_cast<const float*>(data),
                                 reinterpret_cast<const float*>(contents.samples[v].data()), 2 * a.m_nPoints)))
            return false;
    }
    return true;
}

bool VoxelHolds(const TCSISet& set, size_t voxel, const std::complex<float>* expected, int points)
{
    if (voxel >= set.VoxelCount() || set.m_nPoints != points)
        return false;
    const TComplex* data = set.GetVoxel(voxel)->Data();
    return data && SameFloats(reinterpret_cast<const float*>(data), reinterpret_cast<const float*>(expected),
                              2 * points);
}

bool VoxelNear(const TCSISet& set, size_t voxel, const std::complex<double>* expected, int points)
{
    if (voxel >= set.VoxelCount() || set.m_nPoints != points)
        return false;
    const TComplex* data = set.GetVoxel(voxel)->Data();
    if (!data)
        return false;
    for (int k = 0; k < points; ++k)
        if (!Near(data[k].real(), expected[k].real()) || !Near(data[k].imag(), expected[k].imag()))
            return false;
    return true;
}

bool SameImage(const TMRImage& a, const TMRImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetId() != b.GetId() ||
        a.GetOrientation() != b.GetOrientation() || a.GetName() != b.GetName() ||
        a.GetStoredWindowLow() != b.GetStoredWindowLow() || a.GetStoredWindowHigh() != b.GetStoredWindowHigh())
        return false;
    for (int flag : {TMRImage::KnownFOVX, TMRImage::KnownFOVY, TMRImage::KnownOrientation, TMRImage::KnownSlicePosition})
        if (a.IsParameterKnown(flag) != b.IsParameterKnown(flag))
            return false;
    for (int kind = 0; kind < TMRImage::ParameterKindCount; ++kind)
        if (!Same(a.GetParameter(kind), b.GetParameter(kind)))
            return false;
    for (int index = 0; index < TMRImage::InfoTextCount; ++index)
        if (!SameText(a.GetInfoText(index), b.GetInfoText(index)))
            return false;
    float ra[9], rb[9];
    a.GetRotation(ra);
    b.GetRotation(rb);
    const float points[][2] = {{a.GetCentre().x, b.GetCentre().x}, {a.GetCentre().y, b.GetCentre().y},
                               {a.GetShift().x, b.GetShift().x}, {a.GetShift().y, b.GetShift().y}};
    for (const auto& pair : points)
        if (!Same(pair[0], pair[1]))
            return false;
    return SameFloats(ra, rb, 9);
}

namespace {

// Makes `project` the new project that an add goes to, in a folder emptied for it, with
// every reader registered; returns the folder.
std::string CreateAddProject(TProject& project)
{
    static const bool registered = (RegisterReaders(), true);
    (void)registered;
    const std::string folder = vx::JoinPath(ScratchFolder(), "added");
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    if (!project.Create(folder, "added"))
        __builtin_trap();
    return folder;
}

// Adds the images of `path` to `project` on `road`.
void AddOnRoad(TProject& project, const std::string& path, const TImageImportParams& params, TImageRoad road,
               int examType)
{
    switch (road) {
    case TImageRoad::AddImages: project.AddImages(vx::FolderOf(path), vx::FileNameOf(path), params); break;
    case TImageRoad::ExamFile: project.AddExam({path}, examType); break;
    case TImageRoad::ExamFolder: project.AddExam({(std::string(1, '[') += vx::FolderOf(path)) += ']'}, examType); break;
    }
}

}  // namespace

bool PixelsOfFile(const std::string& path, size_t count, std::vector<int16_t>& pixels)
{
    std::string bytes;
    if (!vx::ReadWholeFile(path, bytes, int64_t{1} << 30) || bytes.size() < 2 * count)
        return false;
    pixels.resize(count);
    for (size_t k = 0; k < count; ++k)
        pixels[k] = int16_t(uint16_t(uint8_t(bytes[2 * k]) | (uint8_t(bytes[2 * k + 1]) << 8)));
    return true;
}

namespace {

// A header copy of each image of a project, with the pixels of its staged file, which its
// image must show.
struct TAddedImages {
    std::vector<std::unique_ptr<TMRImage>> records;
    std::vector<std::vector<int16_t>> pixels;
};

TAddedImages StagedImages(TProject& project)
{
    TAddedImages added;
    for (TMRImage* pImage : *project.m_pImageSet) {
        std::vector<int16_t> staged;
        const size_t count = size_t(pImage->GetWidth()) * size_t(pImage->GetHeight());
        if (vx::FileSize(pImage->PixelFileToRead()) != int64_t(2 * count) ||
            !PixelsOfFile(pImage->PixelFileToRead(), count, staged) || !pImage->EnsurePixels() ||
            pImage->GetPixels() != staged)
            __builtin_trap();
        auto copy = std::make_unique<TMRImage>(nullptr);
        copy->CopyHeaderFrom(*pImage);
        added.records.push_back(std::move(copy));
        added.pixels.push_back(std::move(staged));
    }
    return added;
}

// Whether a message since `logged` names the file of `path` or a folder of the scratch
// folder's (where every file and project of a target is).
bool NamedSince(size_t logged, const std::string& path)
{
    return SaidSince(logged, ScratchFolder()) || SaidSince(logged, vx::FileNameOf(path));
}

// The images of a road taken again with the planned fault: where it met a call, only
// images of the first add, with its pixels, or none and nothing written, and images left
// out are named by their file or a folder; where it met none, all of them again.
void AddImagesFailingAsPlanned(const std::string& path, const TImageImportParams& params, TImageRoad road,
                               int examType, const TAddedImages& before)
{
    TProject project;
    const std::string folder = CreateAddProject(project);
    const TTree untouched = Snapshot(folder);
    ClearReportTexts();
    const size_t logged = g_batchLog.size();
    const bool struck = FailingAsPlanned([&] { AddOnRoad(project, path, params, road, examType); });
    if (size_t(project.m_pImageSet->GetCount()) != before.records.size()) {
        Require(struck, "images added again where no call failed");
        Require(NamedSince(logged, path), "images not added after a failed listing or read are named");
    }
    if (project.m_pImageSet->IsEmpty()) {
        Require(Snapshot(folder) == untouched, "images refused after a failed listing or read write nothing");
        return;
    }
    TAddedImages again = StagedImages(project);
    for (size_t k = 0; k < again.records.size(); ++k) {
        const auto same = std::find_if(before.records.begin(), before.records.end(), [&](const auto& record) {
            return record->GetName() == again.records[k]->GetName();
        });
        // Numbered among the images added, which may be fewer.
        if (same != before.records.end())
            again.records[k]->SetId((*same)->GetId());
        Require(same != before.records.end() && SameImage(**same, *again.records[k]) &&
                    before.pixels[size_t(same - before.records.begin())] == again.pixels[k],
                "an image added despite a failed listing or read is the image added without it");
    }
}

}  // namespace

void AddImagesThroughProject(const std::string& path, const TImageImportParams& params, TImageRoad road,
                             int examType, const std::function<void(TImageSet&)>& expected)
{
    std::string projectFile;
    TAddedImages added;
    {
        TProject project;
        const std::string folder = CreateAddProject(project);
        const TTree before = Snapshot(folder);
        AddOnRoad(project, path, params, road, examType);
        if (expected)
            expected(*project.m_pImageSet);
        if (project.m_pImageSet->IsEmpty()) {
            // Nothing added: nothing written.
            if (Snapshot(folder) != before)
                __builtin_trap();
        } else {
            // Each image shows the pixels of the file staged for it.
            added = StagedImages(project);
            if (!project.Save())
                __builtin_trap();
            projectFile = project.GetProjectFilePath();
        }
    }
    if (!added.records.empty()) {
        TProject again;
        if (!again.Load(projectFile) || again.m_pImageSet->GetCount() != int32_t(added.records.size()))
            __builtin_trap();
        size_t k = 0;
        for (TMRImage* pImage : *again.m_pImageSet) {
            if (!SameImage(*added.records[k], *pImage) || !pImage->EnsurePixels() || pImage->GetPixels() != added.pixels[k])
                __builtin_trap();
            ++k;
        }
    }
    AddImagesFailingAsPlanned(path, params, road, examType, added);
}

namespace {

// Whether two sets hold the same grid and samples (none for a voxel without data), to the bit.
bool SameSamples(const TCSISet& a, const TCSISet& b)
{
    TSetContents shape = ContentsOf(b);
    static_cast<TCSIParams&>(shape.params) = static_cast<const TCSIParams&>(a);
    return a.m_nDim[0] == b.m_nDim[0] && a.m_nDim[1] == b.m_nDim[1] && a.m_nDim[2] == b.m_nDim[2] &&
           a.m_nPoints == b.m_nPoints && SameSet(shape, a);
}

// The add of a set made once more with the planned fault. Where the fault met a call the
// add is refused, naming the file or a folder, with nothing written; or the set added
// comes back after a save and an open as it was read; or, where a message names what the
// reader went without (a PAR file it may do without, whose geometry it then takes from
// the SPAR file), with the grid and samples it was read with. Where the fault met no call
// the set is added again, as it was read.
void AddFailingAsPlanned(const TCSISet& read, const std::string& path, const TCSIReadParams& params)
{
    std::string projectFile;
    bool named = false;
    {
        TProject project;
        const std::string folder = CreateAddProject(project);
        const TTree before = Snapshot(folder);
        ClearReportTexts();
        const size_t logged = g_batchLog.size();
        bool added = false;
        const bool struck =
            FailingAsPlanned([&] { added = project.AddCSISet(vx::FolderOf(path), vx::FileNameOf(path), params); });
        if (!added) {
            Require(struck, "an add is made again where no call failed");
            Require(NamedSince(logged, path), "an add refused after a failed listing or read names it");
            Require(Snapshot(folder) == before, "an add refused after a failed listing or read writes nothing");
            return;
        }
        named = struck && NamedSince(logged, path);
        Require(project.Save(), "a set added despite a failed listing or read is saved");
        projectFile = project.GetProjectFilePath();
    }
    TProject again;
    TCSISet* back = again.Load(projectFile) ? again.m_pCSISetList->FindByName(read.GetName()) : nullptr;
    Require(back && back->LoadData() && (named ? SameSamples(read, *back) : SameSet(read, *back)),
            named ? "a set added despite a failed listing or read holds the samples read without it"
                  : "a set added despite a failed listing or read, without a word, is the set read without it");
}

}  // namespace

void AddThroughProject(const TCSISet* read, const std::string& path, const TCSIReadParams& params, bool listable)
{
    if (!read)
        return;
    std::string projectFile;
    {
        TProject project;
        const std::string folder = CreateAddProject(project);
        const TTree before = Snapshot(folder);
        const int reports = g_reports;
        const size_t logged = g_batchLog.size();
        if (!project.AddCSISet(vx::FolderOf(path), vx::FileNameOf(path), params)) {
            // Refused: with a message, and nothing written.
            if ((g_reports == reports && g_batchLog.size() == logged) || Snapshot(folder) != before)
                __builtin_trap();
            Require(!listable, "a set of a file written with values a project lists is added");
            return;
        }
        if (!project.m_pCSISetList->FindByName(read->GetName()) || !project.Save())
            __builtin_trap();
        projectFile = project.GetProjectFilePath();
    }
    {
        TProject again;
        if (!again.Load(projectFile))
            __builtin_trap();
        TCSISet* back = again.m_pCSISetList->FindByName(read->GetName());
        if (!back || !back->LoadData() || !SameSet(*read, *back))
            __builtin_trap();
    }
    AddFailingAsPlanned(*read, path, params);
}

namespace {

// The set of a project read from the CSI file of that name; null when there is none.
TCSISet* SetOfFile(TProject& project, const std::string& path)
{
    for (TCSISet* pSet : *project.m_pCSISetList)
        if (pSet->GetName() == vx::StemOf(path))
            return pSet;
    return nullptr;
}

// How many times the geometry question was asked since ClearReportTexts of the set that an
// exam read of the file at `path`.
int GeometryQuestionsOf(const std::string& path)
{
    const std::string named = vx::FileNameOf(path) + ": ";
    return int(std::count_if(g_geometryQuestions.begin(), g_geometryQuestions.end(),
                             [&](const std::string& text) { return text.starts_with(named); }));
}

// Whether a set's rotation agrees with every image's: each of the nine elements differs by
// less than 0.005. None where a difference lies so near that bound that a float's rounding
// decides.
std::optional<bool> GeometryAgrees(const TCSISet& set, const TImageSet& images)
{
    bool agrees = true;
    for (const TMRImage* pImage : images) {
        float rotation[9];
        pImage->GetRotation(rotation);
        for (int k = 0; k < 9; ++k) {
            const double difference = std::fabs(double(set.m_fRotation[k / 3][k % 3]) - double(rotation[k]));
            if (std::fabs(difference - 0.005) < 1e-5)
                return std::nullopt;
            agrees = agrees && difference < 0.005;
        }
    }
    return agrees;
}

// An exam into a new project, with the planned fault armed when `failing`: each CSI file
// of `files` gives a set or is named in what the exam says (its message of the files that
// failed, or a question), or, where a call failed, its folder is. Returns the files whose
// sets were added.
std::vector<std::string> AddExamNaming(TProject& project, const std::vector<std::string>& entries, int examType,
                                       const std::vector<std::string>& files, bool failing)
{
    std::string failed;
    ClearReportTexts();
    const size_t logged = g_batchLog.size();
    const auto add = [&] { project.AddExam(entries, examType, &failed); };
    const bool struck = failing ? FailingAsPlanned(add) : (add(), false);
    const auto said = [&](const std::string& text) {
        return failed.find(text) != std::string::npos || SaidSince(logged, text);
    };
    std::vector<std::string> added;
    for (const std::string& path : files) {
        if (SetOfFile(project, path))
            added.push_back(path);
        else
            Require(said(vx::FileNameOf(path)) || (struck && said(vx::FolderOf(path))),
                    "a CSI file of an exam that adds no set is named");
    }
    return added;
}

}  // namespace

void AddExamThroughProject(const std::vector<std::string>& entries, int examType,
                           const std::vector<std::string>& csiFiles, bool addDespiteGeometry)
{
    struct TAnswer {
        explicit TAnswer(bool yes) { g_addDespiteGeometry = yes; }
        ~TAnswer() { g_addDespiteGeometry = false; }
    } answer(addDespiteGeometry);
    TCSIReadParams block;
    TImageImportParams record;
    TProject::ExamTypeParams(examType, block, record);
    // What the exam type's reader reads of each file alone.
    std::map<std::string, std::unique_ptr<TCSISet>> alone;
    for (const std::string& path : csiFiles) {
        TCSIReadParams params = block;
        std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(params.m_nFormat), &params));
        alone[path].reset(reader->Read(path));
    }
    std::vector<std::string> added;
    std::set<std::string> keptOutByGeometry;  // sets the answer No to the geometry question kept out
    std::string projectFile;
    {
        TProject project;
        const std::string folder = CreateAddProject(project);
        const TTree before = Snapshot(folder);
        added = AddExamNaming(project, entries, examType, csiFiles, false);
        for (const std::string& path : csiFiles) {
            const bool isAdded = std::find(added.begin(), added.end(), path) != added.end();
            Require(!isAdded || alone[path] != nullptr, "an exam adds no set of a CSI file that its reader refuses");
            // A set that a project can list is added unless its geometry disagrees with an
            // image's (the exam's images come first) and, outside a batch run, the question
            // that says so, asked once, is answered No; where they agree nothing is asked.
            const std::optional<bool> agrees =
                alone[path] ? GeometryAgrees(*alone[path], *project.m_pImageSet) : std::nullopt;
            if (!alone[path] || !alone[path]->CanBeListed() || !agrees)
                continue;
            const bool asked = !g_bBatchMode && !*agrees;
            Require(GeometryQuestionsOf(path) == (asked ? 1 : 0),
                    "the geometry question is asked once of a set whose rotation disagrees with an image's, else not");
            Require(isAdded == (!asked || addDespiteGeometry),
                    "an exam adds the set its reader reads of a CSI file as the geometry question's answer says");
            if (asked && !addDespiteGeometry)
                keptOutByGeometry.insert(path);
        }
        if (project.m_pCSISetList->IsEmpty() && project.m_pImageSet->IsEmpty()) {
            Require(Snapshot(folder) == before, "an exam that adds nothing writes nothing");
        } else {
            Require(project.Save(), "the project of an exam is saved");
            projectFile = project.GetProjectFilePath();
        }
    }
    if (!projectFile.empty()) {
        TProject again;
        Require(again.Load(projectFile), "the project of an exam opens again");
        for (const std::string& path : added) {
            TCSISet* back = SetOfFile(again, path);
            Require(back && back->LoadData() && SameSet(*alone[path], *back),
                    "a set of an exam comes back as its file alone reads");
        }
    }
    // Once more with a listing or a read failing: only sets added before, or one that an
    // image's geometry kept out where the fault kept out that image.
    TProject project;
    const std::string failingFolder = CreateAddProject(project);
    const TTree before = Snapshot(failingFolder);
    for (const std::string& path : AddExamNaming(project, entries, examType, csiFiles, true)) {
        const std::optional<bool> agrees =
            alone[path] ? GeometryAgrees(*alone[path], *project.m_pImageSet) : std::nullopt;
        Require(std::find(added.begin(), added.end(), path) != added.end() ||
                    (keptOutByGeometry.contains(path) && agrees && *agrees),
                "an exam whose listing or read failed adds only sets it adds without the fault");
    }
    if (project.m_pCSISetList->IsEmpty() && project.m_pImageSet->IsEmpty())
        Require(Snapshot(failingFolder) == before, "an exam that adds nothing after a failed call writes nothing");
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::vector<std::string> TabFields(const std::string& line)
{
    std::vector<std::string> fields;
    for (size_t start = 0, tab;; start = tab + 1) {
        tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
    }
}

std::optional<std::pair<int64_t, std::string>> ContentIdentity(const std::string& text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    const std::string size = text.substr(0, colon);
    char* end = nullptr;
    const long long value = std::strtoll(size.c_str(), &end, 10);
    if (end != size.c_str() + size.size())
        return std::nullopt;
    return std::make_pair(int64_t(value), text.substr(colon + 1));
}

std::string JournalContentIdentity(std::string_view bytes)
{
    constexpr uint64_t kOdd1 = 0x9E3779B185EBCA87ull, kOdd2 = 0xC2B2AE3D27D4EB4Full;
    const auto mix = [](uint64_t v) {
        v = (v ^ (v >> 33)) * 0xFF51AFD7ED558CCDull;
        v = (v ^ (v >> 33)) * 0xC4CEB9FE1A85EC53ull;
        return v ^ (v >> 33);
    };
    uint64_t a = kOdd1, b = kOdd2;
    for (size_t at = 0; at < bytes.size(); at += 8) {
        uint64_t word = 0;
        for (size_t k = 0; k < 8 && at + k < bytes.size(); ++k)
            word |= uint64_t(static_cast<unsigned char>(bytes[at + k])) << (8 * k);
        a = std::rotl(a ^ (word * kOdd2), 31) * kOdd1;
        b = std::rotl(b + (word ^ kOdd1), 27) * kOdd2 + a;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%zu:%016llx%016llx", bytes.size(),
                  static_cast<unsigned long long>(mix(a ^ uint64_t(bytes.size()))),
                  static_cast<unsigned long long>(mix(b ^ mix(a + kOdd2))));
    return text;
}

bool IsWholeJournal(const TTree& before, const std::string& journal)
{
    namespace fs = std::filesystem;
    const auto it = before.find(journal);
    if (it == before.end() || it->second.folder || !it->second.bytes.ends_with('\n'))
        return false;
    const std::vector<std::string> lines = Lines(it->second.bytes);
    const fs::path at = fs::path(journal).parent_path();
    const bool beside = at.filename() != ".vexara";
    const bool old = lines.front() == "Vexara file journal 1", present = lines.front() == "Vexara file journal 3";
    if (lines.size() < 2 || lines.back() != "end" || old != beside ||
        (!old && !present && lines.front() != "Vexara file journal 2"))
        return false;
    const fs::path folder = beside ? at : at.parent_path();
    std::set<std::string> targets;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> fields = TabFields(lines[i]);
        const bool remove = !old && fields.size() == 2 && fields[0] == "remove";
        if (!remove && !(old ? fields.size() == 2 : fields.size() == 4 && fields[0] == "rename"))
            return false;
        const std::string& target = fields[old ? 1 : remove ? 1 : 2];
        const auto there = before.find((folder / target).string());
        if (!UsableName(target) || !targets.insert(target).second || (there != before.end() && there->second.folder))
            return false;
        if (remove)
            continue;
        // The staged name: the target's, a dot and six letters or digits (with a leading
        // dot beside the files).
        const std::string& staged = fields[old ? 0 : 1];
        const std::string stem = (old ? "." : "") + target + ".";
        if (staged.size() != stem.size() + 6 || !staged.starts_with(stem) ||
            !std::all_of(staged.begin() + std::ptrdiff_t(stem.size()), staged.end(),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            return false;
        const auto file = before.find((at / staged).string());
        if (file == before.end() || file->second.folder)
            return false;
        if (present && fields[3] != JournalContentIdentity(file->second.bytes))
            return false;
        // The earlier inode layout: "inode:size:seconds.nanoseconds".
        unsigned long long inode = 0;
        long long size = -1, seconds = 0, nanoseconds = 0;
        char end = 0;
        if (!old && !present &&
            (std::sscanf(fields[3].c_str(), "%llu:%lld:%lld.%lld%c", &inode, &size, &seconds, &nanoseconds, &end) != 4 ||
             size != static_cast<long long>(file->second.bytes.size())))
            return false;
    }
    return true;
}

bool CompleteJournal(const TTree& before, const std::string& journal, std::map<std::string, TJournalOutcome>& outcomes)
{
    namespace fs = std::filesystem;
    const auto it = before.find(journal);
    if (it == before.end())
        return true;
    const std::vector<std::string> lines = Lines(it->second.bytes);
    if (lines.size() < 2 || lines.back() != "end")
        return false;
    const bool old = lines.front() == "Vexara file journal 1";
    const bool inodes = lines.front() == "Vexara file journal 2", present = lines.front() == "Vexara file journal 3";
    if (!old && !inodes && !present)
        return false;
    const fs::path at = fs::path(journal).parent_path();
    const fs::path folder = old ? at : at.parent_path(), staging = old ? at : folder / ".vexara";
    const auto outcome = [&](const fs::path& path) -> TJournalOutcome& {
        const std::string key = path.lexically_normal().string();
        if (!outcomes.contains(key)) {
            const auto found = before.find(key);
            if (found != before.end() && !found->second.folder) {
                TJournalOutcome& was = outcomes[key];
                was.bytes = found->second.bytes;
                was.mode = found->second.mode;
                was.owner = found->second.owner;
                was.group = found->second.group;
            }
        }
        return outcomes[key];
    };
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> fields = TabFields(lines[i]);
        const bool rename = old ? fields.size() == 2 : fields.size() == 4 && fields[0] == "rename";
        if (rename) {
            if (present && !ContentIdentity(fields[3]))
                return false;
            TJournalOutcome& staged = outcome(staging / fields[old ? 0 : 1]);
            TJournalOutcome& target = outcome(folder / fields[old ? 1 : 2]);
            // A journal of the earlier layout cannot tell a staged file put in place from
            // one that is lost; the others know the new file by its identity.
            if (staged.bytes) {
                target.bytes = std::exchange(staged.bytes, std::nullopt);
                target.mode = staged.mode;
                target.owner = staged.owner;
                target.group = staged.group;
            } else if (!target.bytes && !old)
                return false;
            target.identity = present ? fields[3] : std::string();
        } else if (!old && fields.size() == 2 && fields[0] == "remove") {
            outcome(folder / fields[1]) = TJournalOutcome{};
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace vx::fuzz
