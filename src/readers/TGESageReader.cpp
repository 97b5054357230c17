#include "readers/TGESageReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <vector>

#include "model/math/Geometry.h"
#include "model/math/MatrixHelpers.h"
#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "readers/GEReaderHelpers.h"
#include "readers/ReaderHelpers.h"

namespace {

// Real headers are a few KiB; anything far larger is not a SAGE header.
constexpr int64_t kMaxHeaderBytes = int64_t{1} << 24;

// The next line of a dimension block must be "<key> <value>": its value, or false at the
// end of the file or for another key.
bool DimensionLine(std::istream& lines, const char* key, std::string& value)
{
    std::string line;
    if (!std::getline(lines, line))
        return false;
    std::vector<std::string> tokens;
    SplitString(line, tokens, " \t\r\n");
    if (tokens.size() < 2 || tokens[0] != key)
        return false;
    value = tokens[1];
    return true;
}

// "mm/dd/yyyy" as "yyyy.mm.dd"; a shorter text is kept as it is.
std::string SageDate(const std::string& value)
{
    if (value.size() < 10)
        return value;
    return value.substr(6, 4) + "." + value.substr(0, 2) + "." + value.substr(3, 2);
}

void Refuse(const std::string& text)
{
    vx::Report(text, vx::ReportIcon::Exclamation);
}

// Values of the header that are not set fields themselves.
struct TSageHeader {
    int frameCount = 0;      // dimension 1's points
    int referenceFrames = 0;
    bool oblique = false;
    // Top-left, top-right and bottom-right corners of the plane, R and A negated.
    float corner[3][3] = {};
};

// The rotation of an oblique plane from its corners: the plane's row and column
// directions and normal, taken to the standard axes of the orientation. False when the
// corners give no finite directions or the rotation has no inverse. Corners that all
// coincide (a header without them) give no plane: the set keeps its rotation.
bool SetCornerRotation(const TSageHeader& h, TCSISet& set)
{
    float u[3], v[3], n[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        u[k] = h.corner[1][k] - h.corner[0][k];
        v[k] = h.corner[2][k] - h.corner[1][k];
    }
    for (const float* w : {u, v})
        for (int k = 0; k < 3; ++k)
            if (!std::isfinite(w[k]))
                return false;
    const auto isZero = [](const float* w) { return w[0] == 0.0f && w[1] == 0.0f && w[2] == 0.0f; };
    if (isZero(u) || isZero(v))
        return true;
    NormalizeVector(u);
    NormalizeVector(v);
    const int orientation = set.m_nSliceAxis;
    if (orientation == 1)
        CrossProduct(v, u, n);
    else
        CrossProduct(u, v, n);

    // The plane's directions as the columns of M.
    float m[9];
    for (int r = 0; r < 3; ++r) {
        m[3 * r] = u[r];
        m[3 * r + 1] = v[r];
        m[3 * r + 2] = n[r];
    }
    // The standard axes of the orientation; an axial plane's depend on how the patient lay.
    float s[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float sagittal[9] = {0, 0, -1, 1, 0, 0, 0, -1, 0}, coronal[9] = {1, 0, 0, 0, 0, -1, 0, -1, 0};
    if (orientation != 2) {
        std::copy_n(orientation == 0 ? sagittal : coronal, 9, s);
    } else {
        const std::string labels = PatientAxisLabels(set.m_strPatientPosition, set.m_strPatientOrientation, 2, 15);
        OrientToStandardView(labels, 2, &s[0], &s[3], 1);
        OrientToStandardView(labels, 2, &s[1], &s[4], 1);
    }
    // R M = S. A plane whose directions are dependent keeps the rotation the set has.
    SolveTransposed3x3(m, s, &set.m_fRotation[0][0], FailureMessage::None);
    return InvertMatrix3x3(&set.m_fRotation[0][0], &set.m_fRotationInverse[0][0], FailureMessage::None);
}

}  // namespace

TCSISet* TGESageReader::Read(std::string path)
{
    m_pCSISet = NewSetForFile(path, m_params.m_nFormat);
    TCSISet& set = *m_pCSISet;
    set.m_nSliceAxis = 0;  // a header without a plane keeps a new set's orientation

    // The extension is the user's choice of file and is compared exactly.
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.compare(dot + 1, std::string::npos, "shf") != 0) {
        vx::Report("GE SAGE (.shf) file should be selected.", vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    const std::string dataPath = path.substr(0, dot) + ".sdf";
    const vx::TFoundFile data = vx::FindFileNoCase(dataPath);

    if (!ParseHeader(path) ||
        !ValidateHeader(path, {"num_pts", "", "", "opuser8, opuser9, opuser10", "center_freq", "width"}))
        return DiscardSet();

    SetSliceAxisOrder(m_params, set.m_nSliceAxis);
    m_params.m_bFlipFrequency = 1;
    m_params.m_bKSpaceCorrection = 0;
    for (auto& centre : m_params.m_bCenter)
        centre = 0;
    m_params.m_bEchoAcquisition = 0;
    m_params.m_bSwapBytes = 0;
    SetSliceThicknessFromGrid(set);

    if (data.error != 0) {
        Refuse(vx::NotListedText("data file " + vx::FileNameOf(dataPath), vx::FolderOf(dataPath), data.error));
        return DiscardSet();
    }
    if (!ReadRawData(data.path.value_or(dataPath)) || !FillCSISet())
        return DiscardSet();
    return CompleteRead(true);
}

bool TGESageReader::ParseHeader(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    std::string text;
    vx::TWholeFileFailure failure;
    if (!vx::ReadWholeFile(path, text, kMaxHeaderBytes, &failure)) {
        Refuse(vx::WholeFileNotReadText("Parameter file", path, failure));
        return false;
    }
    ResetHeaderDefaults(set);
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line.find("SAGE Data Header") == std::string::npos) {
        Refuse(path + " is not a SAGE header: its first line does not name \"SAGE Data Header\".");
        return false;
    }
    // A key whose value the reader does not take, or a dimension block it cannot follow.
    const auto refuseValue = [&](const std::string& key, const std::string& value, const char* taken) {
        Refuse("The header of " + path + " gives " + key + " " + value + ": only " + taken + " are read.");
        return false;
    };
    const auto refuseBlock = [&](int dimension) {
        Refuse("The header of " + path + " has a block of dimension " + std::to_string(dimension) +
               " (dimen_num) whose domain, num_pts or width line is missing or unknown.");
        return false;
    };

    TSageHeader h;
    // Keys of one number that goes into a field as it is, or negated (the header's R and
    // A axes point the other way).
    const struct {
        const char* key;
        float* field;
        float sign;
    } numbers[] = {
        {"TR", &set.m_fTR, 1},
        {"TE", &set.m_fTE, 1},
        {"center_freq", &set.m_fFrequency, 1},
        {"tlhc_R", &h.corner[0][0], -1},
        {"tlhc_A", &h.corner[0][1], -1},
        {"tlhc_S", &h.corner[0][2], 1},
        {"trhc_R", &h.corner[1][0], -1},
        {"trhc_A", &h.corner[1][1], -1},
        {"trhc_S", &h.corner[1][2], 1},
        {"brhc_R", &h.corner[2][0], -1},
        {"brhc_A", &h.corner[2][1], -1},
        {"brhc_S", &h.corner[2][2], 1},
        {"opuser8", &set.m_fVolSize[0][0], 1},   // readout size of the volume
        {"opuser9", &set.m_fVolSize[1][0], 1},   // phase size
        {"opuser10", &set.m_fVolSize[2][0], 1},  // thickness
        {"opuser11", &set.m_fVolOffCentre[0][0], -1},
        {"opuser12", &set.m_fVolOffCentre[1][0], -1},
        {"opuser13", &set.m_fVolOffCentre[2][0], 1},
    };
    std::vector<std::string> tokens;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        SplitString(line, tokens, " :\t\r\n");
        if (tokens.size() < 2)
            continue;
        const std::string& key = tokens[0];
        const std::string& value = tokens[1];
        const int integer = vx::LeadingInt(value);
        const auto number = std::find_if(std::begin(numbers), std::end(numbers),
                                          [&](const auto& n) { return key == n.key; });
        if (number != std::end(numbers)) {
            *number->field = number->sign * static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "data_type") {
            if (value != "Complex")
                return refuseValue(key, value, "Complex data");
        } else if (key == "data_precision") {
            if (value == "16")
                m_params.m_nSampleType = 0;
            else if (value == "32")
                m_params.m_nSampleType = 1;
            else if (value == "Float")
                m_params.m_nSampleType = 2;
            else
                return refuseValue(key, value, "16, 32 and Float samples");
        } else if (key == "offset_to_data") {
            m_params.m_nHeaderSize = integer;
        } else if (key == "study_number") {
            set.m_strPatientName = value;
        } else if (key == "date_acquired") {
            set.m_strExamDate = SageDate(value);
        } else if (key == "psd_name") {
            if (vx::ToLowerAscii(value) != "probe-p")
                return refuseValue(key, value, "PROBE-P acquisitions");
            set.m_nVolumes = 1;
        } else if (key == "position") {
            set.m_strPatientPosition = GEPatientPosition(integer, 1).lying;
        } else if (key == "entry") {
            set.m_strPatientOrientation = GEPatientPosition(1, integer).headFeet;
        } else if (key == "plane" || key == "obplane") {
            // An oblique scan names its plane in "obplane", which counts only after
            // "plane" has marked the scan oblique.
            int axis = -1;
            if (key == "plane" && integer == 16)
                h.oblique = true;
            else if (key == "plane")
                GESliceAxisOfPlane(integer, 0, axis);
            else if (h.oblique)
                GESliceAxisOfPlane(16, integer, axis);
            if (axis >= 0) {
                set.m_nSliceAxis = axis;
                m_params.m_nOrientation = axis;
            }
        } else if (key == "num_ref_frames") {
            h.referenceFrames = integer;
        } else if (key == "dimen_num" && integer >= 0 && integer <= 3) {
            std::string domain, points;
            if (!DimensionLine(lines, "domain", domain))
                return refuseBlock(integer);
            if (integer == 0) {
                std::string width;
                if (domain != "Time" && domain != "Frequency")
                    return refuseBlock(integer);
                set.m_bFrequencyDomain = domain == "Frequency" ? 1 : 0;
                if (!DimensionLine(lines, "num_pts", points) || !DimensionLine(lines, "width", width))
                    return refuseBlock(integer);
                SetPoints(vx::LeadingInt(points));
                set.m_nSpectralWidth = m_params.m_nSweepWidth = CheckedFloatToInt(vx::LeadingDouble(width));
            } else {
                if (domain != "Space" && domain != "Kspace" && domain != "None")
                    return refuseBlock(integer);
                set.m_bKSpace = domain == "Kspace" ? 1 : 0;
                if (integer == 1) {
                    if (!DimensionLine(lines, "num_pts", points))
                        return refuseBlock(integer);
                    h.frameCount = vx::LeadingInt(points);
                } else if (!std::getline(lines, line)) {
                    return refuseBlock(integer);
                }
            }
        }
    }

    if (h.frameCount == 1) {
        m_nFrames = 1;
        m_nSkipFrames = 0;
    } else {
        m_nFrames = h.frameCount;
        m_nSkipFrames = h.referenceFrames;
    }
    if (!FramesLeftToAverage(path))
        return false;
    set.m_nSpatialDims = m_params.m_nSpatialDims = 1;
    // The voxel is the localised volume.
    for (int k = 0; k < 3; ++k) {
        set.m_fFOV[k] = set.m_fVolSize[k][0];
        set.m_fOffCentre[k] = set.m_fVolOffCentre[k][0];
    }
    if (h.oblique && !SetCornerRotation(h, set)) {
        Refuse("The corners of the oblique plane of " + path +
               " (tlhc, trhc, brhc) give no rotation that can be inverted.");
        return false;
    }
    for (int k = 0; k < 3; ++k)
        set.m_fVolAngulation[k][0] = 0.0f;
    return true;
}
