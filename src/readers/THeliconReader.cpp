#include "readers/THeliconReader.h"

#include <climits>
#include <optional>
#include <vector>

#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "readers/ReaderHelpers.h"

namespace {

// Parameter files are a few kilobytes; anything beyond this is not one.
constexpr int64_t kMaxParameterFileBytes = int64_t(16) << 20;

constexpr char kDelimiters[] = " :\t\r\n";

bool EndsWith(const std::string& text, const char* tail)
{
    const std::string t(tail);
    return text.size() >= t.size() && text.compare(text.size() - t.size(), t.size(), t) == 0;
}

// The file itself when it exists, else a case-insensitive match beside it, else the name
// as given (which then fails to open); none, said why, when it is not there by its exact
// name and its folder cannot be listed. `kind` names the file in that message.
std::optional<std::string> ExistingPath(const std::string& path, const std::string& kind)
{
    const vx::TFoundFile found = vx::FindFileNoCase(path);
    if (found.error == 0)
        return found.path.value_or(path);
    vx::Report(vx::NotListedText(kind + " " + vx::FileNameOf(path), vx::FolderOf(path), found.error),
               vx::ReportIcon::Exclamation);
    return std::nullopt;
}

int AxisOfLetter(const std::string& letter)
{
    if (letter == "x")
        return 0;
    if (letter == "y")
        return 1;
    if (letter == "z")
        return 2;
    return -1;
}

}  // namespace

TCSISet* THeliconReader::Read(std::string path)
{
    m_pCSISet = NewSetForFile(path, m_params.m_nFormat);
    TCSISet& set = *m_pCSISet;
    if (!HasExtensionNoCase(path, ".mag")) {
        vx::Report("Siemens Helicon data should be .mag files.", vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    // The stem's "ddf" or "raw" names the file of the pair; the test is case-sensitive.
    const std::string stem = vx::WithoutExtension(path);
    std::string ddfPath, rawPath;
    if (EndsWith(stem, "ddf")) {
        ddfPath = stem + ".mag";
        rawPath = stem.substr(0, stem.size() - 3) + "raw.mag";
    } else if (EndsWith(stem, "raw")) {
        ddfPath = stem.substr(0, stem.size() - 3) + "ddf.mag";
        rawPath = stem + ".mag";
    } else {
        vx::Report("Siemens Helicon files should be *_ddf.mag file or *_raw.mag file.", vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    const std::optional<std::string> ddf = ExistingPath(ddfPath, "parameter file");
    const std::optional<std::string> raw = ddf ? ExistingPath(rawPath, "data file") : std::nullopt;
    if (!raw)
        return DiscardSet();
    ddfPath = *ddf;
    rawPath = *raw;

    if (!ParseDDF(ddfPath) || !Validate()) {
        vx::Report(m_strDDFFault.empty() ? "Parameter file " + ddfPath + " does not exist or cannot be read."
                                         : m_strDDFFault,
                   vx::ReportIcon::Exclamation);
        return DiscardSet();
    }

    m_params.m_nSampleType = 0;
    m_params.m_bSwapBytes = 0;
    m_params.m_nAxisOrder[0] = 1;
    m_params.m_nAxisOrder[1] = 2;
    m_params.m_nAxisOrder[2] = 0;
    m_params.m_nHeaderSize = 0;
    for (int k = 0; k < 3; ++k) {
        m_params.m_bInvert[k] = k == 2;
        m_params.m_bCenter[k] = 0;
    }
    m_params.m_bFlipFrequency = 1;

    SetSliceThicknessFromGrid(set);

    if (!ReadRawDataToVoxels(rawPath))
        return DiscardSet();
    return CompleteRead(true);
}

bool THeliconReader::ParseDDF(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    std::string text;
    vx::TWholeFileFailure failure;
    m_strDDFFault.clear();
    if (!vx::ReadWholeFile(path, text, kMaxParameterFileBytes, &failure)) {
        if (failure.kind != vx::TWholeFileFailure::TKind::NotOpened)
            m_strDDFFault = vx::WholeFileNotReadText("Parameter file", path, failure);
        return false;
    }
    TCSISet& set = *m_pCSISet;
    std::vector<std::string> t;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        SplitString(text.substr(start, end - start), t, kDelimiters);
        start = end + 1;
        const size_t n = t.size();
        if (n == 5 && t[0] == "GENERAL") {
            set.m_strExamName = t[4];
        } else if (n >= 4 && t[0] == "date/time") {
            set.m_strExamDate = "n/a";
        } else if (n == 5 && t[3] == "dimensions") {
            // The file counts the spectral axis too.
            const int dims = vx::LeadingInt(t[4]);
            set.m_nSpatialDims = dims == INT_MIN ? INT_MIN : dims - 1;
        } else if (n == 4 && t[0] == "spectrometer") {
            set.m_fFrequency = static_cast<float>(vx::LeadingDouble(t[3]));
            m_params.m_fFrequency = set.m_fFrequency;
        } else if (n == 8 && t[2] == "dwelltime") {
            const int points = vx::LeadingInt(t[1]);
            set.m_nPoints = points;
            m_params.m_nPoints = points;
            set.m_nFirstPoint = 0;
            set.m_nLastPoint = points == INT_MIN ? INT_MIN : points - 1;
            set.m_fPPMCentrePoint = static_cast<float>(points / 2);
            set.m_fPPMCentreValue = 0.0f;
            set.m_nSpectralWidth = SpectralWidthFromDwell(vx::LeadingDouble(t[4]));
            m_params.m_nSweepWidth = set.m_nSpectralWidth;
        } else if (n == 9 && t[3] == "slice" && AxisOfLetter(t[2]) >= 0) {
            const int axis = AxisOfLetter(t[2]);
            const int size = vx::LeadingInt(t[1]);
            set.m_nDim[axis] = size;
            set.m_fFOV[axis] = static_cast<float>(vx::LeadingDouble(t[5]) * size);
            m_params.m_nDim[axis] = size;
            m_params.m_fFOV[axis] = set.m_fFOV[axis];
        }
    }
    return true;
}

bool THeliconReader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    TCSISet& set = *m_pCSISet;
    if (m_params.m_bRemoveOffset)
        set.RemoveDCOffset();
    // A spatial or spectral length the FFT refuses is reported there, once, and no set results.
    const bool noAlternation[3] = {false, false, false};
    if (!KSpaceGridToVoxelSpace(set, noAlternation))
        return false;
    if (!SpectraToFrequencyDomain(set, m_params.m_bFlipFrequency != 0))
        return false;
    FinishPostRead(set, m_params);
    return true;
}
