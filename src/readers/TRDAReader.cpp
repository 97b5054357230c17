#include "readers/TRDAReader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "model/math/Geometry.h"
#include "model/math/MatrixHelpers.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/ReaderHelpers.h"

namespace {

constexpr char kBeginMarker[] = ">>> Begin of header <<<";
constexpr char kEndMarker[] = ">>> End of header <<<";
constexpr char kDelimiters[] = " :\t\r\n";

// Lines of a file with the byte position just after each line's line feed. Only the
// first kMaxLineBytes characters of a line are kept: header lines are short, and a file
// without an end line is read to its end, samples and all.
class THeaderLines {
public:
    explicit THeaderLines(vx::TFile& file) : m_file(file), m_buffer(kChunkBytes) {}

    // The next line without its "\n"; false at the end of the file.
    bool Next(std::string& line)
    {
        line.clear();
        bool any = false;
        for (;;) {
            if (m_pos == m_end) {
                m_pos = 0;
                m_end = m_file.Read(m_buffer.data(), m_buffer.size());
                if (m_end == 0)
                    return any;
            }
            any = true;
            const char* start = m_buffer.data() + m_pos;
            const void* feed = std::memchr(start, '\n', m_end - m_pos);
            const size_t n = feed ? static_cast<size_t>(static_cast<const char*>(feed) - start) : m_end - m_pos;
            if (line.size() < kMaxLineBytes)
                line.append(start, std::min(n, kMaxLineBytes - line.size()));
            m_pos += feed ? n + 1 : n;
            m_consumed += static_cast<int64_t>(feed ? n + 1 : n);
            if (feed)
                return true;
        }
    }
    // Bytes taken so far: after a line that ended in "\n", the position of the next byte.
    int64_t Position() const { return m_consumed; }

private:
    static constexpr size_t kChunkBytes = 64 * 1024;
    static constexpr size_t kMaxLineBytes = 64 * 1024;
    vx::TFile& m_file;
    std::vector<char> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
    int64_t m_consumed = 0;
};

// The header values that only the geometry step uses, all 0 until their keys occur.
struct TGridKeys {
    int matrix[3] = {0, 0, 0};       // CSIMatrixSize[0..2]
    float thickness = 0.0f;          // SliceThickness, mm
    float position[3] = {};          // PositionVector: outer corner of the first voxel, mm
    float row[3] = {};               // RowVector
    float column[3] = {};            // ColumnVector
    float spacingRow = 0.0f;         // PixelSpacingRow: distance between rows, mm
    float spacingColumn = 0.0f;      // PixelSpacingCol: distance between columns, mm
    float spacing3D = 0.0f;          // PixelSpacing3D, mm
    float voiReadout = 0.0f;         // VOI size along the rows, mm
    float voiPhase = 0.0f;           // VOI size along the columns, mm
    float voiThickness = 0.0f;       // mm
};

float FloatOf(const std::string& token)
{
    return static_cast<float>(vx::LeadingDouble(token));
}

std::string Trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The line after its first colon, blanks trimmed at both ends.
std::string TextAfterColon(const std::string& line)
{
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : Trimmed(line.substr(colon + 1));
}

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

// An indexed key ("RowVector[1]") found in the token: the index 0..2, or -1.
int IndexedKey(const std::string& token, const char* name)
{
    for (int i = 0; i < 3; ++i)
        if (Contains(token, (std::string(name) + "[" + char('0' + i) + "]").c_str()))
            return i;
    return -1;
}

// A yyyymmdd date as yyyy.mm.dd; a shorter text unchanged.
std::string StudyDate(const std::string& token)
{
    if (token.size() < 8)
        return token;
    return token.substr(0, 4) + "." + token.substr(4, 2) + "." + token.substr(6, 2);
}

// One header line, already split into at least two tokens. Keys that name a field of
// the set go there at once; the grid keys are held for the geometry step.
void ApplyHeaderLine(const std::string& line, const std::vector<std::string>& tokens, TCSISet& set,
                     TGridKeys& grid)
{
    const std::string& key = tokens[0];
    const std::string& value = tokens[1];
    if (key == "StudyDescription") {
        set.m_strExamName = TextAfterColon(line);
    } else if (key == "PatientName") {
        set.m_strPatientName = TextAfterColon(line);
    } else if (key == "PatientBirthDate") {
        set.m_strPatientBirthDate = value;
    } else if (key == "StudyDate") {
        set.m_strExamDate = StudyDate(value);
    } else if (key == "PatientPosition") {
        SetPatientPosition(set, PatientPositionFromCode(value));
    } else if (key == "TR") {
        set.m_fTR = FloatOf(value);
    } else if (key == "TE") {
        set.m_fTE = FloatOf(value);
    } else if (key == "DwellTime") {
        // Microseconds per point; a dwell time of 0 or less gives a width the check refuses.
        set.m_nSpectralWidth = SpectralWidthFromDwell(vx::LeadingDouble(value));
    } else if (key == "NumberOfAverages") {
        set.m_fAverages = FloatOf(value);
    } else if (key == "MRFrequency") {
        set.m_fFrequency = FloatOf(value);
    } else if (key == "Nucleus") {
        set.m_strNucleus = value;
    } else if (key == "VectorSize") {
        const int n = vx::LeadingInt(value);
        set.m_nPoints = n;
        set.m_nFirstPoint = 0;
        set.m_nLastPoint = n == INT_MIN ? INT_MIN : n - 1;
        set.m_fPPMCentrePoint = static_cast<float>(n / 2);
        set.m_fPPMCentreValue = 0.0f;
    } else if (key == "VOIPhaseFOV") {
        grid.voiPhase = FloatOf(value);
        set.m_nVolumes = 1;
    } else if (key == "VOIReadoutVOV" || key == "VOIReadoutFOV") {
        grid.voiReadout = FloatOf(value);
    } else if (key == "VOIThickness") {
        grid.voiThickness = FloatOf(value);
    } else if (key == "VOIPositionCor") {
        set.m_fVolOffCentre[1][0] = FloatOf(value);
    } else if (key == "VOIPositionSag") {
        set.m_fVolOffCentre[0][0] = FloatOf(value);
    } else if (key == "VOIPositionTra") {
        set.m_fVolOffCentre[2][0] = FloatOf(value);
    } else if (const int i = IndexedKey(key, "CSIMatrixSize"); i >= 0) {
        grid.matrix[i] = vx::LeadingInt(value);
    } else if (Contains(key, "SliceThickness")) {
        grid.thickness = FloatOf(value);
    } else if (const int i = IndexedKey(key, "PositionVector"); i >= 0) {
        grid.position[i] = FloatOf(value);
    } else if (const int i = IndexedKey(key, "RowVector"); i >= 0) {
        grid.row[i] = FloatOf(value);
    } else if (const int i = IndexedKey(key, "ColumnVector"); i >= 0) {
        grid.column[i] = FloatOf(value);
    } else if (Contains(key, "PixelSpacingRow")) {
        grid.spacingRow = FloatOf(value);
    } else if (Contains(key, "PixelSpacingCol")) {
        grid.spacingColumn = FloatOf(value);
    } else if (Contains(key, "PixelSpacing3D")) {
        grid.spacing3D = FloatOf(value);
    }
}

// True when the row and column vectors are neither zero nor (nearly) parallel: the sine
// of their angle is at least 0.001. Values that are not finite pass; the geometry step
// refuses them.
bool SpansPlane(const TGridKeys& g)
{
    float n[3];
    CrossProduct(g.row, g.column, n);
    const double cross = double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2];
    double rows = 0.0, columns = 0.0;
    for (int i = 0; i < 3; ++i) {
        rows += double(g.row[i]) * g.row[i];
        columns += double(g.column[i]) * g.column[i];
    }
    return !(cross <= 1e-6 * rows * columns);
}

// Slice orientation, matrix, field of view, off-centre and rotations of the set from the
// held grid keys. False, with the reason, when the rotation has no inverse or the centre
// of the grid is not finite.
bool ApplyGeometry(const TGridKeys& g, TCSISet& set, const std::string& path)
{
    // The slice axis is the one along which the row and column directions run least.
    int o = 0;
    float least = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float sum = std::fabs(g.column[i]) + std::fabs(g.row[i]);
        if (i == 0 || sum < least) {
            o = i;
            least = sum;
        }
    }
    int a = 0, b = 1;
    TMRImage::InPlaneAxes(o, a, b);
    set.m_nSliceAxis = o;

    // The rows run along the row vector with one column spacing per voxel, the columns
    // along the column vector with one row spacing per voxel.
    set.m_nDim[a] = g.matrix[0];
    set.m_nDim[b] = g.matrix[1];
    set.m_nDim[o] = g.matrix[2];
    set.m_fFOV[a] = static_cast<float>(g.matrix[0]) * g.spacingColumn;
    set.m_fFOV[b] = static_cast<float>(g.matrix[1]) * g.spacingRow;
    set.m_fFOV[o] = static_cast<float>(g.matrix[2]) * g.spacing3D;
    set.m_nSpatialDims = SpatialDimsOf(set.m_nDim);

    // The volume of interest lies along the grid's axes.
    set.m_fVolSize[a][0] = g.voiReadout;
    set.m_fVolSize[b][0] = g.voiPhase;
    set.m_fVolSize[o][0] = g.voiThickness;

    float normal[3];
    if (o == 1)
        CrossProduct(g.column, g.row, normal);
    else
        CrossProduct(g.row, g.column, normal);

    // The position vector is the outer corner of the first voxel in the plane and the
    // centre of the first slice; the off-centre is the centre of the whole grid.
    for (int i = 0; i < 3; ++i)
        set.m_fOffCentre[i] = g.position[i] + 0.5f * (g.row[i] * set.m_fFOV[a] + g.column[i] * set.m_fFOV[b] +
                                                      normal[i] * (set.m_fFOV[o] - g.thickness));

    // Direction matrix: columns row, column and normal.
    const float direction[9] = {g.row[0], g.column[0], normal[0], g.row[1], g.column[1],
                                normal[1], g.row[2], g.column[2], normal[2]};
    float standard[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (o == 0) {
        const float sagittal[9] = {0, 0, -1, 1, 0, 0, 0, -1, 0};
        std::memcpy(standard, sagittal, sizeof standard);
    } else if (o == 1) {
        const float coronal[9] = {1, 0, 0, 0, 0, -1, 0, -1, 0};
        std::memcpy(standard, coronal, sizeof standard);
    } else {
        const std::string labels = PatientAxisLabels(set.m_strPatientPosition, set.m_strPatientOrientation, 2, 2);
        float u[2] = {1, 0}, v[2] = {0, 1};
        OrientToStandardView(labels, 2, &u[0], &u[1], 1);
        OrientToStandardView(labels, 2, &v[0], &v[1], 1);
        const float axial[9] = {u[0], v[0], 0, u[1], v[1], 0, 0, 0, 1};
        std::memcpy(standard, axial, sizeof standard);
    }
    // Rotation = standard * direction^-1. A direction matrix without an inverse leaves
    // the set's rotation as it was; only a rotation without an inverse refuses the file.
    SolveTransposed3x3(direction, standard, &set.m_fRotation[0][0], FailureMessage::None);
    if (!InvertMatrix3x3(&set.m_fRotation[0][0], &set.m_fRotationInverse[0][0], FailureMessage::None)) {
        vx::Report("The row and column vectors of " + path + " give a rotation that cannot be inverted.",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    for (float v : set.m_fOffCentre)
        if (!std::isfinite(v)) {
            vx::Report("The header of " + path +
                           " places its grid nowhere: PositionVector, the row and column vectors, the pixel "
                           "spacings and SliceThickness give a centre that is not a finite number.",
                       vx::ReportIcon::Exclamation);
            return false;
        }
    return true;
}

// Says that the header of the file at `path` ends before `what` (text ending in "and ", or
// none) and its end line: the file is cut short.
std::string CutShortHeaderText(const std::string& path, const std::string& what)
{
    return "The header of " + path + " ends before " + what + "its line \"" + kEndMarker +
           "\": the file is cut short.";
}

}  // namespace

TCSISet* TRDAReader::Read(std::string path)
{
    m_pCSISet = NewSetForFile(path, m_params.m_nFormat);
    TCSISet& set = *m_pCSISet;
    if (!HasExtensionNoCase(path, ".rda")) {
        vx::Report("Siemens .rda file should be selected.", vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    for (int k = 0; k < 3; ++k) {
        set.m_fAngulation[k] = m_params.m_fAngulation[k];
        set.m_fOffCentre[k] = m_params.m_fOffCentre[k];
    }
    set.m_nSliceAxis = m_params.m_nOrientation;

    if (!ParseHeader(path))
        return DiscardSet();
    const TParameterKeys keys = {"VectorSize", "CSIMatrixSize", "CSIMatrixSize",
                                 "PixelSpacingRow, PixelSpacingCol, PixelSpacing3D", "MRFrequency", "DwellTime"};
    // A header without its end line that lacks a value was most likely cut short before it.
    if (!m_bHeaderEnded && !Validate()) {
        vx::Report(CutShortHeaderText(path, "") + " " + InvalidParameterText(keys), vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    if (!ValidateHeader(path, keys))
        return DiscardSet();

    m_params.m_nSampleType = 3;
    m_params.m_bSwapBytes = 0;
    SetSliceAxisOrder(m_params, set.m_nSliceAxis);
    m_params.m_bFlipFrequency = 1;
    m_params.m_bKSpaceCorrection = 0;
    m_params.m_bEchoAcquisition = 0;
    for (int k = 0; k < 3; ++k) {
        m_params.m_bInvert[k] = 0;
        m_params.m_bCenter[k] = 0;
    }
    SetSliceThicknessFromGrid(set);

    if (!ReadRawData(path) || !FillCSISet())
        return DiscardSet();
    // File slice k lies k slice spacings along the normal from the position vector; the
    // set's rotation and its slice coordinate run the other way along the normal, so the
    // slices are stored from the last file slice to the first.
    set.FlipAxis(set.m_nSliceAxis);
    return CompleteRead(true);
}

bool TRDAReader::ParseHeader(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        vx::Report(vx::NotOpenedText("RDA file", path, file.NotAFile()), vx::ReportIcon::Exclamation);
        return false;
    }
    TCSISet& set = *m_pCSISet;
    ResetHeaderDefaults(set);

    // Any other file chosen as an RDA file ends here: the user is told what it lacks.
    THeaderLines lines(file);
    std::string line;
    if (!lines.Next(line) || !Contains(line, kBeginMarker)) {
        vx::Report(path + " is not an RDA file: its first line does not contain \"" + kBeginMarker + "\".",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    TGridKeys grid;
    std::vector<std::string> tokens;
    m_bHeaderEnded = false;
    while (lines.Next(line)) {
        if (Contains(line, kEndMarker)) {
            // The header size is a 32-bit word; a header that long is no header.
            if (lines.Position() > INT32_MAX) {
                vx::Report("The header of " + path + " is not read: it ends at byte " +
                               std::to_string(lines.Position()) + ", past the " + std::to_string(INT32_MAX) +
                               " bytes a header may have.",
                           vx::ReportIcon::Exclamation);
                return false;
            }
            m_params.m_nHeaderSize = static_cast<int32_t>(lines.Position());
            m_bHeaderEnded = true;
            break;
        }
        SplitString(line, tokens, kDelimiters);
        if (tokens.size() >= 2)
            ApplyHeaderLine(line, tokens, set, grid);
    }
    // Without two directions there is no plane to place the grid in. A header without its
    // end line was most likely cut short before them.
    if (!SpansPlane(grid)) {
        vx::Report(m_bHeaderEnded ? "The row and column vectors of " + path + " are missing, zero or parallel."
                                  : CutShortHeaderText(path, "its row and column vectors and "),
                   vx::ReportIcon::Exclamation);
        return false;
    }
    return ApplyGeometry(grid, set, path);
}

bool TRDAReader::ReadRawData(const std::string& path)
{
    m_params.m_nSampleType = 3;  // RDA samples are always float64
    return ReadRawDataFrom(path, m_params.m_nHeaderSize);
}

bool TRDAReader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    TCSISet& set = *m_pCSISet;
    if (m_params.m_bRemoveOffset)
        set.RemoveDCOffset();
    set.m_bKSpace = 0;  // the scanner reconstructed the grid already
    if (!SpectraToFrequencyDomain(set, m_params.m_bFlipFrequency != 0))
        return false;
    FinishPostRead(set, m_params);
    return true;
}
