#include "readers/TBruker2dseqReader.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/BrukerGeometry.h"
#include "readers/ReaderHelpers.h"
#include "readers/TBrukerParameterFile.h"

namespace {

// Key lines of method and reco files are split at these; acqp lines and value lines keep
// their parentheses.
constexpr char kKeyDelimiters[] = " ()=\t\r\n";
constexpr char kAcqpDelimiters[] = " =\t\r\n";

// Points, point range and PPM reference point of a spectrum of n points.
void SetPointCount(TCSISet& set, int n)
{
    set.m_nPoints = n;
    set.m_nFirstPoint = 0;
    set.m_nLastPoint = n > 0 ? n - 1 : -1;
    set.m_fPPMCentrePoint = static_cast<float>(n / 2);
    set.m_fPPMCentreValue = 0.0f;
}

}  // namespace

TBruker2dseqReader::TBruker2dseqReader(const TCSIReadParams* pParams) : TCSIReader(pParams)
{
    InitGroupDelayTable();
}

TBruker2dseqReader::~TBruker2dseqReader() = default;

void TBruker2dseqReader::InitGroupDelayTable()
{
    struct TRow {
        int32_t decimation;
        double v10, v11, v12;  // v12 < 0: filter version 12 has no entry
    };
    static constexpr TRow kRows[] = {
        {2, 44.75, 46.0, 46.311},       {3, 33.5, 36.5, 36.53},        {4, 66.62, 48.0, 47.87},
        {6, 59.0833, 50.1667, 50.229},  {8, 68.5625, 53.25, 53.289},   {12, 60.375, 69.5, 69.551},
        {16, 69.5313, 72.25, 71.6},     {24, 61.0208, 70.1667, 70.184}, {32, 70.0156, 72.75, 72.138},
        {48, 61.3438, 70.5, 70.528},    {64, 70.2578, 73.0, 72.348},    {96, 61.5052, 70.6667, 70.7},
        {128, 70.3789, 72.5, 72.524},   {192, 61.5859, 71.3333, -1},    {256, 70.4395, 72.25, -1},
        {384, 61.6263, 71.6667, -1},    {512, 70.4697, 72.125, -1},     {768, 61.6465, 71.8333, -1},
        {1024, 70.4849, 72.0625, -1},   {1536, 61.6566, 71.9167, -1},   {2048, 70.4924, 72.0313, -1},
    };
    m_groupDelayTable.clear();
    for (const TRow& row : kRows) {
        auto& versions = m_groupDelayTable[row.decimation];
        versions[10] = row.v10;
        versions[11] = row.v11;
        if (row.v12 >= 0)
            versions[12] = row.v12;
    }
}

double TBruker2dseqReader::GetGroupDelay(int32_t decimation, int32_t filterVersion) const
{
    const auto row = m_groupDelayTable.find(decimation);
    if (row == m_groupDelayTable.end())
        return 0.0;
    const auto entry = row->second.find(filterVersion);
    return entry == row->second.end() ? 0.0 : entry->second;
}

void TBruker2dseqReader::StartSet(const std::string& path, int nameComponents)
{
    m_pCSISet = NewSetForFile(path, m_params.m_nFormat);
    TCSISet& set = *m_pCSISet;
    set.m_strName = NameFromLastComponents(path, nameComponents);
    for (int k = 0; k < 3; ++k) {
        set.m_fAngulation[k] = m_params.m_fAngulation[k];
        set.m_fOffCentre[k] = m_params.m_fOffCentre[k];
    }
    set.m_nSliceAxis = m_params.m_nOrientation;
    set.m_fFrequency = m_params.m_fFrequency;
}

// --- parameter files ---------------------------------------------------------------------

bool TBruker2dseqReader::ParseHeader(std::string methodPath)
{
    return ParseParameterFiles(methodPath, "##$CSIRecoMatrix", false);
}

bool TBruker2dseqReader::ParseParameterFiles(const std::string& methodPath, const char* matrixKey,
                                             bool warnUserFilter)
{
    if (!m_pCSISet)
        return false;
    return ParseMethodFile(methodPath, matrixKey) && ParseAcqpFile(vx::FolderOf(methodPath), warnUserFilter);
}

bool TBruker2dseqReader::ParseMethodFile(const std::string& path, const char* matrixKey)
{
    TCSISet& set = *m_pCSISet;
    ResetHeaderDefaults(set);

    float readFOV = 0, phaseFOV = 0, sliceThickness = 0;  // mm
    int readMatrix = 0, phaseMatrix = 0, sliceMatrix = 0;
    TBrukerSlicePackage package;
    package.sliceAxis = set.m_nSliceAxis;
    bool box = false;
    // A CSI scan's method file gives its grid and spectra; an imaging scan's has none of
    // these keys.
    bool spectroscopic = false;
    std::string method;  // the sequence ("##$Method")

    TBrukerParameterFile file;
    if (!file.Open(path))
        return false;
    std::string valueLine;
    std::vector<std::string> values;
    const bool scanned = ScanMethodKeys(file, kKeyDelimiters, package, [&](const std::vector<std::string>& tokens) {
        const std::string& key = tokens[0];
        const std::string& value = tokens[1];
        // Keys that depend on the dimension need "##$PVM_SpatDimEnum" before them.
        const int dims = set.m_nSpatialDims;
        // The values of an array key are on the line after the key; the box keys count as
        // array keys only in a voxel slab.
        const bool arrayKey = key == "##$PVM_Fov" || key == matrixKey || key == "##$PVM_SpecMatrix" ||
                              key == "##$PVM_SpecSWH" ||
                              (box && (key == "##$PVM_VoxArrSize" || key == "##$PVM_VoxArrPosition"));
        if (arrayKey && !file.ReadValues(valueLine, values)) {
            file.ReportMissingValues(key);
            return false;
        }
        if (key == matrixKey || key == "##$PVM_SpecMatrix" || key == "##$PVM_SpecSWH")
            spectroscopic = true;
        if (key == "##$Method") {
            method = value;
        } else if (key == "##$PVM_NAverages") {
            set.m_fAverages = static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "##$PVM_SpatDimEnum") {
            if (value == "2D")
                set.m_nSpatialDims = 2;
            else if (value == "3D")
                set.m_nSpatialDims = 3;
        } else if (key == "##$PVM_RepetitionTime") {
            set.m_fTR = static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "##$PVM_EchoTime") {
            set.m_fTE = static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "##$CSISlab") {
            box = dims == 3 && value == "voxel";
        } else if (key == "##$CSI2DSlab") {
            box = dims == 2 && value == "Voxel_CSI";
        } else if (key == "##$PVM_Nucleus1Enum") {
            set.m_strNucleus = value;
        } else if (key == "##$PVM_SliceThick") {
            sliceThickness = static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "##$PVM_Fov" && (dims == 2 || dims == 3)) {
            readFOV = static_cast<float>(BrukerEntryDouble(values, 0));
            phaseFOV = static_cast<float>(BrukerEntryDouble(values, 1));
        } else if (key == matrixKey && (dims == 2 || dims == 3)) {
            readMatrix = BrukerEntryInt(values, 0);
            phaseMatrix = BrukerEntryInt(values, 1);
            sliceMatrix = dims == 2 ? 1 : BrukerEntryInt(values, 2);
        } else if (key == "##$PVM_SpecMatrix") {
            SetPointCount(set, vx::LeadingInt(valueLine));
        } else if (key == "##$PVM_SpecSWH") {
            set.m_nSpectralWidth = CheckedFloatToInt(vx::LeadingDouble(valueLine));
        } else if (key == "##$PVM_VoxArrSize" && box) {
            set.m_nVolumes = 1;
            int a = 0, b = 0;
            if (TMRImage::InPlaneAxes(package.sliceAxis, a, b)) {
                set.m_fVolSize[a][0] = static_cast<float>(BrukerEntryDouble(values, 0));
                set.m_fVolSize[b][0] = static_cast<float>(BrukerEntryDouble(values, 1));
                set.m_fVolSize[package.sliceAxis][0] = static_cast<float>(BrukerEntryDouble(values, 2));
            }
        } else if (key == "##$PVM_VoxArrPosition" && box) {
            set.m_fVolOffCentre[0][0] = -static_cast<float>(BrukerEntryDouble(values, 0));
            set.m_fVolOffCentre[1][0] = -static_cast<float>(BrukerEntryDouble(values, 1));
            set.m_fVolOffCentre[2][0] = static_cast<float>(BrukerEntryDouble(values, 2));
        }
        return true;
    });
    if (!scanned)
        return false;
    if (!spectroscopic) {
        ReportBrukerMessage("Method file " + path + (method.empty() ? " is not" : " is of a " + method + " scan, not") +
                            " of a CSI scan: it has none of " + matrixKey + ", ##$PVM_SpecMatrix and ##$PVM_SpecSWH.");
        return false;
    }

    // The grid: the read, phase and slice directions give the axes their sizes, field of
    // view, offsets and the columns of the rotation.
    set.m_nSliceAxis = package.sliceAxis;
    TBrukerPlacement place;
    if (!PlaceSlicePackage(package, place, path))
        return false;
    m_nReadAxis = place.readAxis;
    m_nPhaseAxis = place.phaseAxis;
    place.OffCentre(set.m_fOffCentre);
    set.m_fFOV[place.readAxis] = readFOV;
    set.m_fFOV[place.phaseAxis] = phaseFOV;
    set.m_fFOV[place.sliceAxis] = sliceThickness;
    set.m_nDim[place.readAxis] = readMatrix;
    set.m_nDim[place.phaseAxis] = phaseMatrix;
    set.m_nDim[place.sliceAxis] = sliceMatrix;
    for (int k = 0; k < 9; ++k) {
        set.m_fRotation[k / 3][k % 3] = place.rotation[k];
        set.m_fRotationInverse[k / 3][k % 3] = place.inverse[k];
    }
    return true;
}

bool TBruker2dseqReader::ParseAcqpFile(const std::string& folder, bool warnUserFilter)
{
    const auto path = FindParameterFile(folder, "acqp", "acqp.txt");
    if (!path)
        return false;
    TBrukerParameterFile file;
    if (!file.Open(*path))
        return false;
    TCSISet& set = *m_pCSISet;
    double groupDelay = -1.0;
    int decimation = 0, filterVersion = 0;
    std::string line;
    std::vector<std::string> tokens;
    while (file.ReadLine(line)) {
        SplitString(line, tokens, kAcqpDelimiters);
        if (tokens.size() < 2)
            continue;
        const std::string& key = tokens[0];
        const std::string& value = tokens[1];
        if (key == "##$ACQ_user_filter") {
            if (warnUserFilter && value == "Yes")
                ReportBrukerMessage(
                    "Warning: A pipeline filter (AU) is used, the registration of the CSI set could be wrong.");
        } else if (key == "##$SFO1") {
            set.m_fFrequency = static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "##$GRPDLY") {
            groupDelay = vx::LeadingDouble(value);
        } else if (key == "##$DECIM") {
            decimation = vx::LeadingInt(value);
        } else if (key == "##$DSPFVS") {
            filterVersion = vx::LeadingInt(value);
        }
    }
    // A delay the acqp file does not give (or gives as 0 or below) comes from the table.
    if (!(groupDelay > 0.0 && std::isfinite(groupDelay)))
        groupDelay = GetGroupDelay(decimation, filterVersion);
    m_fGroupDelay = static_cast<float>(groupDelay);
    return true;
}

bool TBruker2dseqReader::ReadRecoFile(const std::string& folder)
{
    if (!m_pCSISet)
        return false;
    const auto path = FindParameterFile(folder, "reco", "reco.txt");
    if (!path)
        return false;
    TBrukerParameterFile file;
    if (!file.Open(*path))
        return false;
    TCSISet& set = *m_pCSISet;
    const int axes[3] = {m_nReadAxis, m_nPhaseAxis, set.m_nSliceAxis};
    for (int k = 0; k < 3; ++k)
        if (axes[k] < 0 || axes[k] > 2)
            return false;
    int size[3] = {0, 0, 0};  // along the read, phase and slice axes
    std::string line, valueLine;
    std::vector<std::string> tokens, values;
    while (file.ReadLine(line)) {
        SplitString(line, tokens, kKeyDelimiters);
        if (tokens.size() < 2)
            continue;
        const std::string& key = tokens[0];
        if ((key == "##$RECO_size" || key == "##$RECO_ft_mode") && !file.ReadValues(valueLine, values)) {
            file.ReportMissingValues(key);
            return false;
        }
        if (key == "##$RECO_size") {
            const int dims = set.m_nSpatialDims;
            if (dims == 2 || dims == 3) {
                SetPointCount(set, BrukerEntryInt(values, 0));
                size[0] = BrukerEntryInt(values, 1);
                size[1] = BrukerEntryInt(values, 2);
                size[2] = dims == 2 ? 1 : BrukerEntryInt(values, 3);
            }
        } else if (key == "##$RECO_ft_mode") {
            m_params.m_bFrequencyDomain = BrukerEntry(values, 0) == "NO_FT" ? 0 : 1;
            m_params.m_bSpaceDomain = BrukerEntry(values, 1) == "NO_FT" ? 0 : 1;
        } else if (key == "##$RECO_image_type") {
            const std::string& type = tokens[1];
            m_nImageType = type == "COMPLEX_IMAGE" ? 0 : type == "IMAGINARY_IMAGE" ? 1 : 2;
        }
    }
    // The reconstruction's sizes replace the method's; without them the set is refused.
    for (int k = 0; k < 3; ++k)
        set.m_nDim[axes[k]] = size[k];
    return true;
}

// --- reading -------------------------------------------------------------------------------

TCSISet* TBruker2dseqReader::Read(std::string path)
{
    StartSet(path, 4);
    const std::string folder = vx::FolderOf(path);
    // Unless the user names another, the method file is the one beside the data file.
    const vx::TFoundFile method = vx::FindCompanionFile(folder, "method");
    std::string methodPath = method.path.value_or(vx::JoinPath(folder, "method"));
    bool chosen = false;
    if (!g_bBatchMode) {
        const vx::ReportAnswer answer = vx::Ask(
            "For Bruker CSI file,  method file is required. Click Yes to select the method file, No to cancel.",
            vx::ReportButtons::YesNo, vx::ReportAnswer::Yes, vx::ReportIcon::Exclamation);
        if (answer != vx::ReportAnswer::Yes)
            return DiscardSet();
        vx::TFileRequest request;
        request.title = "Please select method file...";
        request.filter = "All Files (*.*)|*.*";
        request.folder = folder;
        const std::string choice = vx::ChooseFile(request);
        chosen = !choice.empty();
        if (chosen)
            methodPath = choice;
    }
    if (!chosen && method.error != 0) {
        ReportBrukerMessage(vx::NotListedText("parameter file method", folder, method.error));
        return DiscardSet();
    }
    // The reco file's sizes replace the method's points and grid.
    if (!ParseHeader(methodPath) || !ReadRecoFile(folder) ||
        !ValidateOrReport(path, "##$RECO_size", "##$RECO_size"))
        return DiscardSet();

    TCSISet& set = *m_pCSISet;
    SetFileLayout(false, true);
    SetSliceAxisOrder(m_params, set.m_nSliceAxis);
    SetSliceThicknessFromGrid(set);
    // Imaginary-only and real data hold an echo whose top lies in the middle.
    set.m_bEchoShifted = m_nImageType != 0 ? 1 : 0;
    set.m_nEchoPosition = m_nImageType != 0 ? set.m_nPoints / 2 : 0;

    // Complex data hold a real and an imaginary 32-bit word per sample, the other types one.
    if (!DataFileHolds(path, m_nImageType == 0 ? 4 : 2) || !ReadRawDataToVoxels(path))
        return DiscardSet();
    if (!m_params.m_bLoadRawData && !PostRead())
        return DiscardSet();
    return FinishRead();
}

void TBruker2dseqReader::SetFileLayout(bool invert, bool flipFrequency)
{
    m_params.m_nSampleType = 1;
    m_params.m_bSwapBytes = 0;
    for (int k = 0; k < 3; ++k) {
        m_params.m_bInvert[k] = invert ? 1 : 0;
        m_params.m_bCenter[k] = 0;
    }
    m_params.m_bEchoAcquisition = 0;
    m_params.m_bFlipFrequency = flipFrequency ? 1 : 0;
    m_params.m_bKSpaceCorrection = 0;
}

bool TBruker2dseqReader::ValidateOrReport(const std::string& dataPath, const char* pointsKey, const char* matrixKey)
{
    if (Validate())
        return true;
    std::string what;
    switch (FirstInvalidParameter()) {
    case TInvalidParameter::None:
    case TInvalidParameter::NoSet: return false;
    case TInvalidParameter::Points: what = std::string("no points per spectrum (") + pointsKey + ")"; break;
    case TInvalidParameter::SpatialDims: what = "no spatial dimensions (##$PVM_SpatDimEnum 2D or 3D)"; break;
    case TInvalidParameter::EchoPosition: what = "an echo position outside the spectrum"; break;
    case TInvalidParameter::Matrix: what = std::string("a matrix size below 1 (") + matrixKey + ")"; break;
    case TInvalidParameter::FOV: what = "no field of view (##$PVM_Fov, ##$PVM_SliceThick)"; break;
    case TInvalidParameter::Frequency: what = "no frequency (##$SFO1)"; break;
    case TInvalidParameter::SpectralWidth: what = "no spectral width (##$PVM_SpecSWH)"; break;
    }
    ReportBrukerMessage("The parameter files of " + dataPath + " give " + what + ".");
    return false;
}

bool TBruker2dseqReader::DataFileHolds(const std::string& path, uint64_t bytesPerFloat)
{
    const TCSISet& set = *m_pCSISet;
    const uint64_t floats = GridFloatCount(set);
    if (floats == 0) {
        ReportBrukerMessage("The parameter files of " + path + " describe a grid too large to read: " +
                            GridSizeText(set) + ".");
        return false;
    }
    // A file that cannot be examined is left to the read, which names it.
    const int64_t size = vx::FileSize(path);
    if (size >= 0 && uint64_t(size) < floats * bytesPerFloat) {
        ReportShortDataFile(path, size, 0, floats * bytesPerFloat);
        return false;
    }
    return true;
}

TCSISet* TBruker2dseqReader::FinishRead()
{
    if (!m_pCSISet->BuildKSpaceMask(true))
        return DiscardSet();
    return HandOverSet();
}

bool TBruker2dseqReader::ReadRawDataToVoxels(const std::string& path)
{
    vx::TFile file;
    if (!m_pCSISet || !OpenVoxelDataFile(path, file))
        return false;
    TCSISet& set = *m_pCSISet;
    if (m_nImageType < 0 || m_nImageType > 2 || !HasAxisPermutation())
        return false;
    const int32_t* order = m_params.m_nAxisOrder;
    // T samples of the grid; complex data hold 2T words. The file must hold them all
    // before anything is allocated.
    const uint64_t samples = GridFloatCount(set) / 2;
    if (samples == 0)
        return false;
    const uint64_t words = m_nImageType == 0 ? 2 * samples : samples;
    const int64_t size = file.Size();
    if (size < 0 || words * 4 > uint64_t(size)) {
        ReportShortDataFile(path, size, file.LastError(), words * 4);
        return false;
    }
    std::vector<unsigned char> raw(static_cast<size_t>(words * 4));
    if (!file.ReadExact(raw.data(), raw.size())) {
        ReportBrukerMessage(vx::NotReadToEndText("Data file", path, file.LastError()));
        return false;
    }
    file.Close();

    set.FreeSpectra();
    if (!set.AllocateVoxels())
        return false;
    set.InitVoxels();

    auto word = [&](uint64_t w) {
        const unsigned char* p = raw.data() + 4 * w;
        const uint32_t u = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
        return static_cast<float>(static_cast<int32_t>(u));
    };
    const size_t n = static_cast<size_t>(set.m_nPoints);
    const int nFast = set.m_nDim[order[0]], nMid = set.m_nDim[order[1]], nSlow = set.m_nDim[order[2]];
    std::vector<float> spectrum(2 * n);
    for (int s = 0; s < nSlow; ++s)
        for (int m = 0; m < nMid; ++m)
            for (int f = 0; f < nFast; ++f) {
                const uint64_t v = (uint64_t(s) * uint64_t(nMid) + uint64_t(m)) * uint64_t(nFast) + uint64_t(f);
                for (size_t k = 0; k < n; ++k) {
                    const uint64_t w = v * n + k;
                    switch (m_nImageType) {
                    case 0:
                        spectrum[2 * k] = word(w);
                        spectrum[2 * k + 1] = word(w + samples);
                        break;
                    case 1:
                        spectrum[2 * k] = 0.0f;
                        spectrum[2 * k + 1] = word(w);
                        break;
                    default:
                        spectrum[2 * k] = word(w);
                        spectrum[2 * k + 1] = 0.0f;
                        break;
                    }
                }
                int index[3];
                index[order[0]] = f;
                index[order[1]] = m;
                index[order[2]] = s;
                set.GetVoxel(index[0], index[1], index[2])->SetData(spectrum.data());
            }
    set.m_bLoaded = true;
    return true;
}

bool TBruker2dseqReader::PostRead()
{
    return TransformToSpectra(!m_params.m_bSpaceDomain, !m_params.m_bFrequencyDomain, m_nImageType == 0);
}

bool TBruker2dseqReader::TransformToSpectra(bool kSpace, bool timeDomain, bool groupDelay)
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    TCSISet& set = *m_pCSISet;
    if (m_params.m_bRemoveOffset)
        set.RemoveDCOffset();
    if (kSpace) {
        // The acquisition puts k = 0 in the middle of each axis: the halves are swapped
        // to the transform's order, and the half-voxel ramp centres the voxels.
        for (int axis = 0; axis < 3; ++axis)
            set.ShiftGridAxis(axis, 0);
        set.ApplySpatialPhaseRamp(1);
        int a = 0, b = 1;
        TMRImage::InPlaneAxes(set.m_nSliceAxis, a, b);
        const int centredAxes[3] = {a, b, set.m_nSliceAxis};
        for (int k = 0; k < 3; ++k)
            if (m_params.m_bCenter[k])
                set.AlternateSignAlongAxis(centredAxes[k]);
        for (int axis = 0; axis < 3; ++axis)
            if (!set.SpatialFFTAxis(axis))
                return false;
    }
    set.m_bKSpace = 0;
    if (m_params.m_bKSpaceCorrection)
        set.ApplyHalfVoxelShift();
    if (timeDomain && !SpectraToFrequencyDomain(set, m_params.m_bFlipFrequency != 0))
        return false;
    set.m_bFrequencyDomain = 1;
    if (groupDelay) {
        // The digital filter delays the FID by g points: a first-order phase of -2 pi g
        // about the middle point takes the delay out.
        const double phase1 = -2.0 * std::numbers::pi * static_cast<double>(m_fGroupDelay);
        set.Phase(0.0f, static_cast<float>(phase1), set.m_nPoints / 2, 0, 0, false);
    }
    FinishPostRead(set, m_params);
    return true;
}
