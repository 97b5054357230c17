#include "readers/PhilipsPARImage.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

#include "model/math/Geometry.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/ImageImport.h"

namespace {

struct TKeyText {
    TPARKey key;
    const char* text;
};

// Searched in this order; the first key whose text a line contains wins.
constexpr TKeyText kVersion4Keys[] = {
    {TPARKey::PatientName, "Patient name"},
    {TPARKey::ExamName, "Examination name"},
    {TPARKey::ProtocolName, "Protocol name"},
    {TPARKey::ExamDate, "Examination date/time"},
    {TPARKey::Slices, "Max. number of slices/locations"},
    {TPARKey::RepetitionTime, "Repetition time"},
    {TPARKey::FOV, "FOV"},
    {TPARKey::Angulation, "Angulation midslice"},
    {TPARKey::OffCentre, "Off Centre midslice"},
};

constexpr TKeyText kVersion3Keys[] = {
    {TPARKey::PatientName, "Patient name"},
    {TPARKey::ExamName, "Examination name"},
    {TPARKey::ProtocolName, "Protocol name"},
    {TPARKey::ExamDate, "Examination date/time"},
    {TPARKey::Slices, "number of slices/locations"},
    {TPARKey::PixelSize, "Image pixel size"},
    {TPARKey::ReconResolution, "Recon resolution"},
    {TPARKey::RepetitionTime, "Repetition time"},
    {TPARKey::FOV, "FOV"},
    {TPARKey::SliceThickness, "Slice thickness"},
    {TPARKey::SliceGap, "Slice gap"},
    {TPARKey::Angulation, "Angulation midslice"},
    {TPARKey::OffCentre, "Off Centre midslice"},
};

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The text after the first ":" of the line; empty when there is none.
std::string ValueAfterColon(const std::string& line)
{
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(colon + 1);
}

// The last n words of the line as floats, in line order; false with fewer words.
bool LastFloats(const std::vector<std::string>& words, size_t n, float* out)
{
    if (words.size() < n)
        return false;
    for (size_t k = 0; k < n; ++k)
        out[k] = PARFloat(words[words.size() - n + k]);
    return true;
}

}  // namespace

std::vector<std::string> SplitPARLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    return lines;
}

bool ReadPARText(const std::string& headerPath, std::string& text, int* listingError, vx::TWholeFileFailure* failure)
{
    // A PAR header larger than this is not a header.
    constexpr int64_t kMaxPARBytes = int64_t{256} << 20;
    const vx::TFoundFile found = vx::FindFileNoCase(headerPath);
    if (listingError)
        *listingError = found.error;
    return found.path && vx::ReadWholeFile(*found.path, text, kMaxPARBytes, failure);
}

float PARFloat(const std::string& text)
{
    const double value = vx::LeadingDouble(text);
    if (!std::isfinite(value) || std::fabs(value) > 3.0e38)
        return 0.0f;
    return static_cast<float>(value);
}

int PARVersionOfCommentLine(const std::string& line, bool anyCase)
{
    std::vector<std::string> words;
    SplitString(line, words, " \t\r\n");
    if (words.size() != 8)
        return 0;
    const std::string eighth = anyCase ? vx::ToUpperAscii(words[7]) : words[7];
    if (eighth.find("V3") != std::string::npos)
        return 3;
    if (eighth.find("V4") != std::string::npos)
        return 4;
    return 0;
}

int DetectPARVersion(const std::string& text)
{
    for (const std::string& line : SplitPARLines(text)) {
        if (line.empty() || line[0] != '#')
            continue;
        if (const int version = PARVersionOfCommentLine(line, true))
            return version;
    }
    return 0;
}

TPARLineKind ClassifyPARLine(const std::string& line)
{
    if (line.empty() || line[0] == '#')
        return TPARLineKind::Comment;
    if (line[0] == '.')
        return TPARLineKind::General;
    return TPARLineKind::Image;
}

TPARKey MatchPARKey(const std::string& line, int version)
{
    if (version == 3) {
        for (const TKeyText& key : kVersion3Keys)
            if (line.find(key.text) != std::string::npos)
                return key.key;
    } else {
        for (const TKeyText& key : kVersion4Keys)
            if (line.find(key.text) != std::string::npos)
                return key.key;
    }
    return TPARKey::None;
}

void ApplyPARGeneralLine(const std::string& line, TPARKey key, TPARGeneralInfo& info)
{
    const std::vector<std::string> words = TokenizeString(line);
    switch (key) {
    case TPARKey::PatientName:
        info.patientName = Trimmed(ValueAfterColon(line));
        break;
    case TPARKey::ExamName:
        info.examName = Trimmed(ValueAfterColon(line));
        break;
    case TPARKey::ProtocolName:
        info.protocolName = ValueAfterColon(line);
        break;
    case TPARKey::ExamDate: {
        std::vector<std::string> pieces;
        SplitString(ValueAfterColon(line), pieces, " \t\r\n");
        info.examDate = pieces.empty() ? std::string("n/a") : pieces[0];
        break;
    }
    case TPARKey::PixelSize:
        if (!words.empty())
            info.bits = vx::LeadingInt(words.back());
        break;
    case TPARKey::ReconResolution:
        if (words.size() >= 2) {
            info.width = vx::LeadingInt(words[words.size() - 2]);
            info.height = vx::LeadingInt(words.back());
        }
        break;
    case TPARKey::RepetitionTime:
        LastFloats(words, 1, &info.tr);
        break;
    case TPARKey::FOV:
        if (LastFloats(words, 3, info.fov))
            info.hasFOV = true;
        break;
    case TPARKey::SliceThickness:
        LastFloats(words, 1, &info.thickness);
        break;
    case TPARKey::Angulation:
        LastFloats(words, 3, info.angulation);
        break;
    case TPARKey::OffCentre:
        LastFloats(words, 3, info.offCentre);
        break;
    case TPARKey::None:
    case TPARKey::Slices:
    case TPARKey::SliceGap:
        break;
    }
}

bool ParsePARImageLine(const std::vector<std::string>& columns, int version,
                       const TPARGeneralInfo& info, TPARImageLine& line)
{
    TPARImageLine parsed;
    if (version == 3) {
        if (columns.size() != 29 && columns.size() != 31)
            return false;
        parsed.recIndex = columns[6];
        parsed.bits = info.bits;
        parsed.width = info.width;
        parsed.height = info.height;
        for (int k = 0; k < 3; ++k)
            parsed.offCentre[k] = PARFloat(columns[15 + k]);
        parsed.thickness = info.thickness;
        parsed.sliceOrientation = vx::LeadingInt(columns[19]);
        parsed.spacing[0] = PARFloat(columns[22]);
        parsed.spacing[1] = PARFloat(columns[23]);
        parsed.te = PARFloat(columns[24]);
    } else {
        if (columns.size() < 41)
            return false;
        parsed.recIndex = columns[6];
        parsed.bits = vx::LeadingInt(columns[7]);
        parsed.width = vx::LeadingInt(columns[9]);
        parsed.height = vx::LeadingInt(columns[10]);
        for (int k = 0; k < 3; ++k)
            parsed.offCentre[k] = PARFloat(columns[19 + k]);
        parsed.thickness = PARFloat(columns[22]);
        parsed.sliceOrientation = vx::LeadingInt(columns[25]);
        parsed.spacing[0] = PARFloat(columns[28]);
        parsed.spacing[1] = PARFloat(columns[29]);
        parsed.te = PARFloat(columns[30]);
    }
    if (parsed.bits != 8 && parsed.bits != 16)
        return false;
    if (parsed.width < 1 || parsed.width > TMRImage::kMaxSide || parsed.height < 1 ||
        parsed.height > TMRImage::kMaxSide)
        return false;
    if (parsed.sliceOrientation < 1 || parsed.sliceOrientation > 3)
        return false;
    if (parsed.thickness < 0.0f)
        return false;
    line = std::move(parsed);
    return true;
}

int64_t RECBlockBytes(int width, int height, int bits)
{
    if (width < 0 || height < 0 || bits < 0)
        return 0;
    return int64_t{width} * int64_t{height} * int64_t{bits} / 8;
}

bool DecodeRECBlock(const unsigned char* data, size_t bytes, int bits, int width, int height,
                    std::vector<int16_t>& pixels)
{
    if ((bits != 8 && bits != 16) || width < 1 || height < 1)
        return false;
    if (static_cast<int64_t>(bytes) != RECBlockBytes(width, height, bits))
        return false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<int16_t> out(count);
    if (bits == 8) {
        for (size_t k = 0; k < count; ++k)
            out[k] = static_cast<int16_t>(data[k]);
    } else {
        for (size_t k = 0; k < count; ++k)
            out[k] = static_cast<int16_t>(static_cast<uint16_t>(data[2 * k] | (data[2 * k + 1] << 8)));
    }
    pixels = std::move(out);
    return true;
}

int OrientationOfPARSlice(int sliceOrientation)
{
    return (sliceOrientation + 1) % 3;
}

namespace {

// The header and pixel paths of a chosen file: its path before the last "." with ".PAR"
// and ".REC". False when the extension is not "PAR", "REC", "par" or "rec".
bool PARPathsOf(const std::string& path, std::string& headerPath, std::string& recPath)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string extension = path.substr(dot + 1);
    if (extension != "PAR" && extension != "REC" && extension != "par" && extension != "rec")
        return false;
    const std::string base = path.substr(0, dot);
    headerPath = base + ".PAR";
    recPath = base + ".REC";
    return true;
}

// The header and pixel paths of a chosen file and the header's text; false, reported,
// when the file is no PAR/REC name or the header does not read.
bool OpenPARHeader(const std::string& path, std::string& headerPath, std::string& recPath, std::string& text)
{
    if (!PARPathsOf(path, headerPath, recPath)) {
        vx::Report("Philips image should be PAR/REC files.");
        return false;
    }
    int listingError = 0;
    vx::TWholeFileFailure failure;
    if (!ReadPARText(headerPath, text, &listingError, &failure)) {
        using TKind = vx::TWholeFileFailure::TKind;
        vx::Report(listingError != 0 ? vx::NotListedText("PAR file " + vx::FileNameOf(headerPath),
                                                         vx::FolderOf(headerPath), listingError)
                   : failure.kind == TKind::None || failure.kind == TKind::NotOpened
                       ? "Can not open PAR file: " + headerPath
                       : vx::WholeFileNotReadText("PAR file", headerPath, failure));
        return false;
    }
    return true;
}

// The REC bytes the header's image lines describe, from the general values given, up to
// the first image line that does not parse (the read itself stops there).
int64_t PARImageBytes(const std::string& text, int version, TPARGeneralInfo info)
{
    int64_t total = 0;
    for (const std::string& line : SplitPARLines(text)) {
        const TPARLineKind kind = ClassifyPARLine(line);
        if (kind == TPARLineKind::Comment)
            continue;
        if (kind == TPARLineKind::General) {
            ApplyPARGeneralLine(line, MatchPARKey(line, version), info);
            continue;
        }
        const std::vector<std::string> columns = TokenizeString(line);
        if (columns.empty())
            continue;
        TPARImageLine image;
        if (!ParsePARImageLine(columns, version, info, image))
            return total;
        total += RECBlockBytes(image.width, image.height, image.bits);
        // Far beyond any file: the comparison with the REC's size decides already.
        if (total > (int64_t{1} << 50))
            return total;
    }
    return total;
}

bool ReadPARImages(TImageSet& images, const std::string& path, const TImageImportParams& params,
                   TProject* pProject, int version)
{
    std::string headerPath;
    std::string recPath;
    std::string text;
    if (!OpenPARHeader(path, headerPath, recPath, text))
        return false;
    vx::TFile rec;
    const vx::TFoundFile found = vx::FindFileNoCase(recPath);
    const std::optional<std::string>& foundRec = found.path;
    if (!foundRec || !rec.Open(*foundRec, vx::TFile::Mode::Read)) {
        vx::Report(found.error == 0 ? "Can not open REC file: " + recPath
                                    : vx::NotListedText("REC file " + vx::FileNameOf(recPath), vx::FolderOf(recPath),
                                                        found.error));
        return false;
    }
    const std::string invalidFormat = "The PAR file " + headerPath + " has invalid format.";
    const std::string shortRec = "The REC file " + *foundRec + " is shorter than its PAR file describes.";
    // A REC whose size could not be looked up is not known to be short: it says so.
    const auto refuseShort = [&] {
        vx::Report(rec.SizeFailed() ? vx::SizeNotReadText("The REC file", *foundRec, rec.LastError()) : shortRec);
        return false;
    };
    const std::string fileName = vx::FileNameOf(path);

    TPARGeneralInfo info;
    if (version == 3) {
        info.width = params.m_nWidth;
        info.height = params.m_nHeight;
    }
    // The pair is checked before the project's questions: a REC that cannot hold every
    // block its header describes is refused whole.
    if (PARImageBytes(text, version, info) > rec.BytesLeft())
        return refuseShort();
    for (const std::string& line : SplitPARLines(text)) {
        const TPARLineKind kind = ClassifyPARLine(line);
        if (kind == TPARLineKind::Comment)
            continue;
        if (kind == TPARLineKind::General) {
            const TPARKey key = MatchPARKey(line, version);
            ApplyPARGeneralLine(line, key, info);
            bool goOn = true;
            if (key == TPARKey::PatientName) {
                goOn = CheckPatientNameAgainstSets(pProject, info.patientName, headerPath);
            } else if (key == TPARKey::ExamDate) {
                goOn = CheckExamDateAgainstSets(pProject, info.examDate, headerPath);
            } else if (key == TPARKey::Angulation) {
                float rotation[9];
                AngulationMatrix(info.angulation[2], info.angulation[0], info.angulation[1], rotation, 0);
                goOn = CheckGeometryAgainstSets(pProject, rotation, headerPath);
            }
            if (!goOn)
                return false;
            continue;
        }

        const std::vector<std::string> columns = TokenizeString(line);
        if (columns.empty())
            continue;
        TPARImageLine image;
        if (!ParsePARImageLine(columns, version, info, image)) {
            vx::Report(invalidFormat);
            return false;
        }
        // The REC must hold this image's block; a short REC is a broken pair.
        const int64_t blockBytes = RECBlockBytes(image.width, image.height, image.bits);
        if (blockBytes > rec.BytesLeft())
            return refuseShort();
        TNewImage values;
        try {
            std::vector<unsigned char> block(static_cast<size_t>(blockBytes));
            if (!rec.ReadExact(block.data(), block.size())) {
                vx::Report(shortRec);
                return false;
            }
            if (!DecodeRECBlock(block.data(), block.size(), image.bits, image.width, image.height, values.pixels)) {
                vx::Report(invalidFormat);
                return false;
            }
        } catch (const std::bad_alloc&) {
            vx::Report("Insufficient Memory.");
            return false;
        }

        const int orientation = OrientationOfPARSlice(image.sliceOrientation);
        values.name = fileName + "_" + image.recIndex;
        values.width = image.width;
        values.height = image.height;
        values.orientation = orientation;
        values.info[0] = info.examName;
        values.info[1] = info.examDate;
        values.info[2] = info.patientName;
        values.info[3] = info.protocolName;
        values.info[4] = DirectionCodeOf(orientation);
        values.tr = info.tr;
        values.thickness = image.thickness;
        values.te = image.te;
        // The file's triples are (ap, fh, rl); the program's axes are (rl, ap, fh).
        const float angulation[3] = {info.angulation[2], info.angulation[0], info.angulation[1]};
        const float offCentre[3] = {info.offCentre[2], info.offCentre[0], info.offCentre[1]};
        std::copy(angulation, angulation + 3, values.angulation);
        std::copy(offCentre, offCentre + 3, values.offCentre);
        values.position[0] = image.offCentre[2] + params.m_fShiftX;
        values.position[1] = image.offCentre[0] + params.m_fShiftY;
        values.position[2] = image.offCentre[1] + params.m_fShiftZ;
        if (version == 3) {
            // Both sides take the larger in-plane side of the header's FOV (ap, fh, rl).
            const float ap = info.fov[0], fh = info.fov[1], rl = info.fov[2];
            float side = 0.0f;
            if (info.hasFOV)
                side = orientation == 2 ? std::max(rl, ap) : orientation == 1 ? std::max(rl, fh)
                                                                               : std::max(ap, fh);
            values.fov[0] = side;
            values.fov[1] = side;
        } else {
            values.fov[0] = static_cast<float>(image.width) * image.spacing[0];
            values.fov[1] = static_cast<float>(image.height) * image.spacing[1];
        }
        if (!AddNewImage(images, pProject, std::move(values)))
            return false;
    }
    return true;
}

}  // namespace

bool ReadPhilipsPAR(TImageSet& images, const std::string& path, TImageImportParams params,
                    TProject* pProject)
{
    std::string headerPath;
    std::string recPath;
    std::string text;
    if (!OpenPARHeader(path, headerPath, recPath, text))
        return false;
    switch (DetectPARVersion(text)) {
    case 3: return ReadPhilipsPARv3(images, path, params, pProject);
    case 4: return ReadPhilipsPARv4(images, path, params, pProject);
    default:
        vx::Report("The PAR file " + headerPath +
                   " names no version: none of its comment lines has eight words of which the last holds V3 or V4.");
        return false;
    }
}

bool ReadPhilipsPARv3(TImageSet& images, const std::string& path, TImageImportParams params,
                      TProject* pProject)
{
    return ReadPARImages(images, path, params, pProject, 3);
}

bool ReadPhilipsPARv4(TImageSet& images, const std::string& path, TImageImportParams params,
                      TProject* pProject)
{
    return ReadPARImages(images, path, params, pProject, 4);
}
