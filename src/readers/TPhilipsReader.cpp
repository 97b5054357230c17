#include "readers/TPhilipsReader.h"

#include <algorithm>
#include <climits>

#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "readers/ReaderHelpers.h"

namespace {

// SPAR files are a few kilobytes; anything beyond this is not a parameter file.
constexpr int64_t kMaxParameterFileBytes = int64_t(16) << 20;

constexpr char kSPARDelimiters[] = " \t\r\n=";

enum Axis { LR = 0, AP = 1, CC = 2 };

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// n - 1 without overflow at the bottom of the int range.
int MinusOne(int n)
{
    return n == INT_MIN ? INT_MIN : n - 1;
}

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

double TPhilipsReader::TSPARLine::Number() const
{
    return vx::LeadingDouble(Value());
}

int TPhilipsReader::TSPARLine::Integer() const
{
    return vx::LeadingInt(Value());
}

std::string TPhilipsReader::TextAfterColon(const std::string& line)
{
    const size_t colon = line.find(':');
    return Trim(colon == std::string::npos ? line : line.substr(colon + 1));
}

TPhilipsReader::TPhilipsReader(const TCSIReadParams* pParams) : TCSIReader(pParams) {}

TPhilipsReader::~TPhilipsReader() = default;

TCSISet* TPhilipsReader::Read(std::string)
{
    return nullptr;
}

std::string TPhilipsReader::CompanionPath(const std::string& base, const std::string& suffix)
{
    const std::string exact = base + suffix;
    const vx::TFoundFile found = vx::FindFileNoCase(exact);
    m_nCompanionError = found.error;
    return found.path.value_or(exact);
}

std::optional<std::string> TPhilipsReader::FoundCompanion(const std::string& base, const std::string& suffix,
                                                          const std::string& kind)
{
    const std::string path = CompanionPath(base, suffix);
    const std::string why = CompanionNotListed(path, kind);
    if (why.empty())
        return path;
    vx::Report(why, vx::ReportIcon::Exclamation);
    return std::nullopt;
}

std::string TPhilipsReader::CompanionNotListed(const std::string& path, const std::string& kind) const
{
    return m_nCompanionError == 0
               ? std::string()
               : vx::NotListedText(kind + " " + vx::FileNameOf(path), vx::FolderOf(path), m_nCompanionError);
}

std::string TPhilipsReader::SPARNotReadText(const std::string& sparPath) const
{
    const std::string notListed = vx::FileExists(sparPath) ? std::string() : CompanionNotListed(sparPath, "parameter file");
    return notListed.empty() ? "Parameter file " + sparPath + " does not exist or cannot be read." : notListed;
}

void TPhilipsReader::ConvertVaxFloats(float* data, size_t floats)
{
    // VaxToIEEEFloats counts bytes in an int.
    constexpr size_t kChunkFloats = size_t(1) << 26;
    while (floats > 0) {
        const size_t n = std::min(floats, kChunkFloats);
        VaxToIEEEFloats(data, static_cast<int>(n * 4));
        data += n;
        floats -= n;
    }
}

void TPhilipsReader::SetPointCount(int n)
{
    TCSISet& set = *m_pCSISet;
    set.m_nPoints = n;
    set.m_nFirstPoint = 0;
    set.m_nLastPoint = MinusOne(n);
    set.m_fPPMCentrePoint = static_cast<float>(n / 2);
    set.m_fPPMCentreValue = 0.0f;
}

bool TPhilipsReader::ForEachSPARLine(const std::string& path, const std::function<bool(const TSPARLine&)>& onLine,
                                     std::string* notRead)
{
    std::string text;
    vx::TWholeFileFailure failure;
    if (!vx::ReadWholeFile(path, text, kMaxParameterFileBytes, &failure)) {
        if (notRead)
            *notRead = vx::WholeFileNotReadText("The file", path, failure);
        return false;
    }
    std::vector<std::string> tokens;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == ' ' || line[0] == '!')
            continue;
        SplitString(line, tokens, kSPARDelimiters);
        if (tokens.size() < 3)
            continue;
        if (!onLine(TSPARLine{tokens, line}))
            return false;
    }
    return true;
}

bool TPhilipsReader::ApplyCommonSPARKey(const TSPARLine& line, TSPARState& state)
{
    TCSISet& set = *m_pCSISet;
    const std::string& key = line.Key();
    if (key == "examination_name") {
        set.m_strExamName = line.TextAfterColon();
    } else if (key == "patient_name") {
        set.m_strPatientName = line.TextAfterColon();
    } else if (key == "patient_birth_date") {
        set.m_strPatientBirthDate = line.Value();
    } else if (key == "scan_date") {
        std::vector<std::string> pieces;
        SplitString(line.TextAfterColon(), pieces, " \t\r\n");
        if (!pieces.empty())
            set.m_strExamDate = pieces[0];
    } else if (key == "patient_position") {
        set.m_strPatientPosition = line.Value();
    } else if (key == "patient_orientation") {
        set.m_strPatientOrientation = line.Value();
    } else if (key == "nucleus") {
        set.m_strNucleus = line.Value();
    } else if (key == "samples") {
        SetPointCount(line.Integer());
    } else if (key == "synthesizer_frequency") {
        set.m_fFrequency = static_cast<float>(line.Number() * 1e-6);  // Hz -> MHz
    } else if (key == "sample_frequency") {
        set.m_nSpectralWidth = CheckedFloatToInt(line.Number());
    } else if (key == "echo_time") {
        state.echoTime = line.Number();
        set.m_fTE = static_cast<float>(state.echoTime);
    } else if (key == "repetition_time") {
        set.m_fTR = static_cast<float>(line.Number());
    } else if (key == "averages") {
        set.m_fAverages = static_cast<float>(line.Integer());
    } else if (key == "volumes") {
        // The box tables hold two volumes.
        set.m_nVolumes = std::clamp(line.Integer(), 0, 2);
        state.volume = 0;
    } else if (key == "spec_col_lower_val") {
        const double x = line.Number();
        int p = CheckedFloatToInt((state.echoTime * 0.001 - x) * double(set.m_nSpectralWidth));
        if (p < 1)
            p = 0;
        else if (p > MinusOne(set.m_nPoints))
            p = MinusOne(set.m_nPoints);
        set.m_nEchoPosition = p;
        if (p != 0)
            set.m_bEchoShifted = 1;
    } else {
        return false;
    }
    return true;
}

bool TPhilipsReader::ApplyVolumeKey(const TSPARLine& line, TSPARState& state, bool copyToGrid, bool sizesToFOV)
{
    static const struct {
        const char* key;
        int axis;
        int kind;  // 0 size, 1 off-centre, 2 angulation
    } kKeys[] = {
        {"ap_size", AP, 0},       {"lr_size", LR, 0},       {"cc_size", CC, 0},
        {"ap_off_center", AP, 1}, {"lr_off_center", LR, 1}, {"cc_off_center", CC, 1},
        {"ap_angulation", AP, 2}, {"lr_angulation", LR, 2}, {"cc_angulation", CC, 2},
    };
    const auto* entry = std::find_if(std::begin(kKeys), std::end(kKeys),
                                     [&](const auto& k) { return line.Key() == k.key; });
    if (entry == std::end(kKeys))
        return false;
    // A third volume block has no place in the box tables and is ignored.
    const int v = state.volume;
    if (v < 0 || v > 1)
        return true;
    TCSISet& set = *m_pCSISet;
    const float value = static_cast<float>(line.Number());
    switch (entry->kind) {
    case 0:
        set.m_fVolSize[entry->axis][v] = value;
        if (sizesToFOV)
            set.m_fFOV[entry->axis] = value;
        break;
    case 1: {
        // The file's AP and LR values point the other way than the set's axes.
        const float stored = entry->axis == CC ? value : -value;
        set.m_fVolOffCentre[entry->axis][v] = stored;
        if (copyToGrid)
            set.m_fOffCentre[entry->axis] = stored;
        break;
    }
    default: {
        const float stored = entry->axis == CC ? value : -value;
        set.m_fVolAngulation[entry->axis][v] = stored;
        if (copyToGrid)
            set.m_fAngulation[entry->axis] = stored;
        if (entry->axis == CC)
            ++state.volume;
        break;
    }
    }
    return true;
}

std::string TPhilipsReader::SPARRefusal(const std::string& sparPath) const
{
    std::string why;
    std::string text;
    if (!vx::FileExists(sparPath) && m_nCompanionError != 0)
        why = "Its folder cannot be listed: " + vx::ListingErrorReason(m_nCompanionError) + ".";
    else if (!vx::FileExists(sparPath))
        why = "The file does not exist.";
    else if (!m_strParameterFault.empty())
        why = m_strParameterFault;
    else
        why = InvalidParameterText({"samples", "", "", "", "synthesizer_frequency", "sample_frequency"});
    return "Parameter file " + sparPath + " cannot be read or is invalid." + (why.empty() ? "" : " " + why);
}

bool TPhilipsReader::ParseSPAR(std::string path)
{
    if (!m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    // The slice axis starts where the set's does, so that a file without a direction
    // line places its slice keys on the transverse axis it reports.
    TSPARState state;
    state.sliceAxis = 2;
    set.m_nSliceAxis = 2;
    m_strParameterFault.clear();
    for (int k = 0; k < 3; ++k) {
        set.m_fFOV[k] = 240.0f;
        set.m_nDim[k] = 1;
    }

    return ForEachSPARLine(path, [&](const TSPARLine& line) {
        if (ApplyCommonSPARKey(line, state) || ApplyVolumeKey(line, state, false, false))
            return true;
        int a = 0, b = 1;
        TMRImage::InPlaneAxes(state.sliceAxis, a, b);
        const int s = state.sliceAxis;
        const std::string& key = line.Key();
        const std::string& value = line.Value();
        const float number = static_cast<float>(line.Number());
        if (key == "phase_encoding_enable") {
            if (Contains(value, "no")) {
                set.m_nSliceAxis = 0;
                state.sliceAxis = 0;
            }
        } else if (key == "si_ap_off_center") {
            set.m_fOffCentre[AP] = -number;
        } else if (key == "si_lr_off_center") {
            set.m_fOffCentre[LR] = -number;
        } else if (key == "si_cc_off_center") {
            set.m_fOffCentre[CC] = number;
        } else if (key == "si_ap_off_angulation") {
            set.m_fAngulation[AP] = -number;
        } else if (key == "si_lr_off_angulation") {
            set.m_fAngulation[LR] = -number;
        } else if (key == "si_cc_off_angulation") {
            set.m_fAngulation[CC] = number;
        } else if (key == "phase_encoding_direction") {
            int found = -1;
            if (Contains(value, "sag"))
                found = 0;
            else if (Contains(value, "cor"))
                found = 1;
            else if (Contains(value, "trans"))
                found = 2;
            if (found >= 0) {
                state.sliceAxis = found;
                set.m_nSliceAxis = found;
            }
        } else if (key == "phase_encoding_fov") {
            set.m_fFOV[a] = number;
            set.m_fFOV[b] = number;
        } else if (key == "slice_thickness") {
            set.m_fFOV[s] = number;
        } else if (key == "slice_distance") {
            state.sliceDistance = line.Number();
        } else if (key == "nr_of_slices_for_multislice") {
            const int n = line.Integer();
            m_nSlices = n;
            m_bSlicesFromPAR = false;
            set.m_nDim[s] = n;
            set.m_fSliceThickness = static_cast<float>(double(set.m_fFOV[s]) - (double(n) - 1.0) * state.sliceDistance);
            set.m_fSliceGap = static_cast<float>(state.sliceDistance - double(set.m_fSliceThickness));
        } else if (Contains(key, "num_dimensions")) {
            set.m_nSpatialDims = MinusOne(line.Integer());  // the spectral dimension is not counted
        } else if (Contains(key, "dim2_pnts")) {
            set.m_nDim[a] = line.Integer();
        } else if (Contains(key, "dim3_pnts")) {
            set.m_nDim[b] = line.Integer();
        } else if (Contains(key, "dim4_pnts")) {
            set.m_nDim[s] = line.Integer();
        }
        return true;
    }, &m_strParameterFault);
}
