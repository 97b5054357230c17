#include "readers/TPhilipsCSIReader.h"

#include <new>
#include <string>
#include <vector>

#include "model/math/Geometry.h"
#include "model/TMRImage.h"
#include "model/math/TMixedRadixFFT.h"
#include "platform/FileChooser.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/ReaderHelpers.h"

namespace {

// A k-space grid may hold positions without a spectrum (the corners of an elliptical
// sampling), but a header that claims far more positions than the DATA file fills is
// not believed: it would allocate memory for samples that do not exist.
constexpr uint64_t kMaxGridSpectraPerRecord = 16;

void Warn(const std::string& text)
{
    vx::Report(text, vx::ReportIcon::Exclamation);
}

// The two in-plane axes of the set's slice axis; false when the slice axis is not 0..2.
bool SliceAxes(const TCSISet& set, int& s, int& a, int& b)
{
    s = set.m_nSliceAxis;
    return TMRImage::InPlaneAxes(s, a, b);
}

// Flips and transposes that bring a reconstructed 2-D or 3-D grid into the program's
// view of its orientation.
void Orient2D(TCSISet& set, int s)
{
    switch (s) {
    case 0: set.FlipAxis(2); set.FlipAxis(1); break;
    case 1: set.TransposeInPlane(1); set.FlipAxis(0); break;
    case 2: set.TransposeInPlane(2); set.FlipAxis(0); break;
    default: break;
    }
}

void Orient3D(TCSISet& set, int s)
{
    switch (s) {
    case 0: set.FlipAxis(0); set.FlipAxis(2); set.FlipAxis(1); break;
    case 1: set.TransposeInPlane(1); set.FlipAxis(0); break;
    case 2: set.TransposeInPlane(2); set.FlipAxis(0); set.FlipAxis(2); break;
    default: break;
    }
}

}  // namespace

TPhilipsCSIReader::~TPhilipsCSIReader() = default;

std::string TPhilipsCSIReader::BaseOf(const std::string& path, bool cutAtUnderscore)
{
    const std::string base = vx::WithoutExtension(path);
    if (!cutAtUnderscore)
        return base;
    const std::string name = vx::FileNameOf(base);
    const size_t underscore = name.rfind('_');
    if (underscore == std::string::npos || underscore == 0)
        return base;
    return base.substr(0, base.size() - (name.size() - underscore));
}

std::string TPhilipsCSIReader::SetNameOf(const std::string& path, bool cutAtUnderscore)
{
    return cutAtUnderscore ? vx::FileNameOf(BaseOf(path, true)) : vx::StemOf(path);
}

bool TPhilipsCSIReader::StartSparRead(const std::string& path, const char* formatMessage, bool perSlice,
                                      std::string& base)
{
    StartSet();
    if (!HasExtension(path, "spar", "sdat", formatMessage))
        return false;
    base = BaseOf(path, perSlice);
    m_pCSISet->m_strName = SetNameOf(path, perSlice);
    const std::string sparPath = CompanionPath(base, perSlice ? "_1.SPAR" : ".SPAR");
    if (ParseSPAR(sparPath) && Validate())
        return true;
    Warn(SPARRefusal(sparPath));
    return false;
}

TCSISet* TPhilipsCSIReader::ReadSdatSet(const std::string& path, const TSdatFlow& flow)
{
    std::string base;
    if (!StartSparRead(path, flow.formatMessage, false, base))
        return DiscardSet();
    TCSISet& set = *m_pCSISet;
    std::string parPath;
    bool fromPAR = false;
    if (!TakePAR(flow.parUse, flow.parQuestion, path, base, parPath, fromPAR))
        return DiscardSet();
    ApplyGeometry(fromPAR, flow.imageSpace && !fromPAR);
    SetSampleLayout();
    switch (flow.grid) {
    case TGrid::Slice: SetThicknessFromFOV(); break;
    case TGrid::MultiSlice: MarkMultiSlice(); break;
    case TGrid::Volume:
        set.m_bMultiSlice = 0;
        SetThicknessFromFOV();
        break;
    }
    if (flow.imageSpace) {
        set.m_nEchoPosition = 0;
        set.m_bEchoShifted = 0;
    }
    if (!CheckTransformLengths())
        return DiscardSet();
    const std::optional<std::string> sdatPath = FoundCompanion(base, ".SDAT", "data file");
    if (!sdatPath || !ReadSDAT(*sdatPath))
        return DiscardSet();
    return FillAndFinish();
}

TCSISet* TPhilipsCSIReader::ReadSliceSet(const std::string& path, const char* formatMessage,
                                         const char* parQuestion, TGrid grid)
{
    std::string base;
    if (!StartSparRead(path, formatMessage, true, base))
        return DiscardSet();
    TCSISet& set = *m_pCSISet;
    std::string parPath;
    bool fromPAR = false;
    if (!TakePAR(TPARUse::Required, parQuestion, path, base, parPath, fromPAR))
        return DiscardSet();
    ApplyGeometry(true, false);
    SetSampleLayout();
    // The slice count may come from the PAR file, after the checks of the SPAR values.
    const int s = set.m_nSliceAxis;
    set.m_nDim[s] = m_nSlices;
    if (m_nSlices < 1 || GridFloatCount(set) == 0) {
        if (m_bSlicesFromPAR)
            Warn("Fail to read metabolic map PAR file " + parPath + ".");
        else
            Warn("The number of slices (" + std::to_string(m_nSlices) + ") in parameter file " +
                 CompanionPath(base, "_1.SPAR") + " is invalid.");
        return DiscardSet();
    }
    if (grid == TGrid::MultiSlice) {
        MarkMultiSlice();
    } else {
        set.m_bMultiSlice = 0;
        set.m_nSpatialDims = 3;
        SetThicknessFromFOV();
    }
    if (!CheckTransformLengths() || !ReadSliceFiles(base, grid == TGrid::MultiSlice))
        return DiscardSet();
    return Finish();
}

void TPhilipsCSIReader::StartSet()
{
    m_pCSISet = std::make_unique<TCSISet>();
    m_pCSISet->m_nFormat = m_params.m_nFormat;
}

bool TPhilipsCSIReader::HasExtension(const std::string& path, const char* first, const char* second,
                                     const char* formatMessage)
{
    // Taken from the file name, so that a "." in a folder name does not count.
    const std::string extension = vx::ToLowerAscii(vx::ExtensionOf(path));
    if (extension == std::string(".") + first || extension == std::string(".") + second)
        return true;
    Warn(formatMessage);
    return false;
}

std::string TPhilipsCSIReader::ChooseCompanion(TCompanion kind, const std::string& dataPath, const char* title)
{
    vx::TFileRequest request;
    if (kind == TCompanion::PAR) {
        request.title = "Please select metabolic map (.PAR) file...";
        request.filter = "All Files (*.*)|*.*|Philips PAR File(*.PAR)|*.PAR";
    } else {
        request.title = "Please select SPAR file...";
        request.filter = "All Files (*.*)|*.*|Philips SPAR File(*.SPAR)|*.SPAR";
    }
    if (title)
        request.title = title;
    request.filterIndex = 1;
    request.folder = vx::FolderOf(dataPath);
    return vx::ChooseFile(request);
}

bool TPhilipsCSIReader::AskForSPAR(const char* question, const std::string& dataPath, bool cancelEnds,
                                   std::string& sparPath)
{
    if (g_bBatchMode)
        return true;
    if (vx::Ask(question, vx::ReportButtons::YesNo, vx::ReportAnswer::Yes, vx::ReportIcon::Exclamation) !=
        vx::ReportAnswer::Yes)
        return false;
    const std::string chosen = ChooseCompanion(TCompanion::SPAR, dataPath);
    if (!chosen.empty())
        sparPath = chosen;
    return !chosen.empty() || !cancelEnds;
}

bool TPhilipsCSIReader::TakePAR(TPARUse use, const char* question, const std::string& dataPath,
                                const std::string& base, std::string& parPath, bool& fromPAR)
{
    fromPAR = false;
    parPath = CompanionPath(base, ".PAR");
    std::string notListed = CompanionNotListed(parPath, "PAR file");
    bool read = use != TPARUse::Optional;
    if (!g_bBatchMode) {
        const bool yes = vx::Ask(question, vx::ReportButtons::YesNo, vx::ReportAnswer::Yes,
                                 vx::ReportIcon::Exclamation) == vx::ReportAnswer::Yes;
        const std::string chosen = yes ? ChooseCompanion(TCompanion::PAR, dataPath) : std::string();
        if (!chosen.empty()) {
            parPath = chosen;
            notListed.clear();
            read = true;
        } else if (use == TPARUse::Required) {
            return false;
        }
    }
    m_waitCursor.emplace();
    if (!read)
        return true;
    fromPAR = ParsePAR(parPath);
    if (fromPAR)
        return true;
    switch (use) {
    case TPARUse::Recommended:
        Warn((notListed.empty() ? "Metabolic map PAR file " + parPath + " does not exist or cannot be read."
                                : notListed) +
             "\nRead geometry information from CSI SPAR file.");
        return true;
    case TPARUse::Required:
        Warn(notListed.empty() ? "Fail to read metabolic map PAR file " + parPath + "." : notListed);
        return false;
    case TPARUse::Optional:
        return true;
    }
    return true;
}

void TPhilipsCSIReader::ApplyGeometry(bool fromPAR, bool equalVoxels)
{
    TCSISet& set = *m_pCSISet;
    const int convention = fromPAR ? 0 : 1;
    AngulationMatrix(set.m_fAngulation[0], set.m_fAngulation[1], set.m_fAngulation[2], &set.m_fRotation[0][0],
                     convention);
    AngulationMatrixInverse(set.m_fAngulation[0], set.m_fAngulation[1], set.m_fAngulation[2],
                            &set.m_fRotationInverse[0][0], convention);
    int s, a, b;
    if (equalVoxels && SliceAxes(set, s, a, b))
        set.m_fFOV[b] = static_cast<float>(set.m_nDim[b]) * set.m_fFOV[a] / static_cast<float>(set.m_nDim[a]);
}

void TPhilipsCSIReader::SetSampleLayout()
{
    int s, a, b;
    SliceAxes(*m_pCSISet, s, a, b);
    m_params.m_nSampleType = 2;
    m_params.m_bSwapBytes = 0;
    m_params.m_nAxisOrder[0] = a;
    m_params.m_nAxisOrder[1] = b;
    m_params.m_nAxisOrder[2] = s;
}

void TPhilipsCSIReader::SetThicknessFromFOV()
{
    TCSISet& set = *m_pCSISet;
    const int s = set.m_nSliceAxis;
    set.m_fSliceThickness = set.m_fFOV[s] / static_cast<float>(set.m_nDim[s]);
    set.m_fSliceGap = 0.0f;
}

void TPhilipsCSIReader::MarkMultiSlice()
{
    TCSISet& set = *m_pCSISet;
    set.m_bMultiSlice = 1;
    set.m_nSpatialDims = 2;
    set.m_slicePhases.assign(static_cast<size_t>(set.m_nDim[set.m_nSliceAxis]), TSlicePhase{});
}

bool TPhilipsCSIReader::ValidateDims(int dims)
{
    m_strParameterFault.clear();
    if (!m_pCSISet)
        return false;
    const TCSISet& set = *m_pCSISet;
    if (dims != 0 && set.m_nSpatialDims != dims) {
        m_strParameterFault = "It describes " + std::to_string(set.m_nSpatialDims) +
                              " spatial dimensions where this format has " + std::to_string(dims) + ".";
        return false;
    }
    if (!TCSIReader::Validate())
        return false;
    // A grid beyond the voxel limit is refused here, before any sample is read.
    if (GridFloatCount(set) == 0) {
        m_strParameterFault = "Its grid of " + GridSizeText(set) + " is larger than a set can hold.";
        return false;
    }
    return true;
}

bool TPhilipsCSIReader::CheckTransformLengths() const
{
    if (m_params.m_bLoadRawData)
        return true;
    const TCSISet& set = *m_pCSISet;
    int s, a, b;
    if (!SliceAxes(set, s, a, b))
        return false;
    std::vector<int> lengths = {set.m_nPoints, set.m_nDim[a], set.m_nDim[b]};
    if (!set.m_bMultiSlice)
        lengths.push_back(set.m_nDim[s]);
    for (int n : lengths)
        if (!TMixedRadixFFT::CheckFFTLength(n))
            return false;
    return true;
}

bool TPhilipsCSIReader::ReadSDAT(const std::string& path)
{
    if (!ReadRawData(path))
        return false;
    // Reading the header only, the samples were counted, not read.
    if (m_pRawData)
        ConvertVaxFloats(m_pRawData.get(), m_nRawFloats);
    return true;
}

bool TPhilipsCSIReader::ReadSliceFile(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        Warn("Data file " + path + " does not exist or cannot be read.");
        return false;
    }
    m_pRawData.reset();
    m_nRawFloats = 0;
    const TCSISet& set = *m_pCSISet;
    int s, a, b;
    if (!SliceAxes(set, s, a, b) || GridFloatCount(set) == 0)
        return false;
    // The whole grid fits the voxel limit, so one slice's count cannot overflow.
    const uint64_t floats = uint64_t(set.m_nDim[a]) * uint64_t(set.m_nDim[b]) * uint64_t(set.m_nPoints) * 2;
    const int64_t size = file.Size();
    if (size < 0 || floats * 4 > uint64_t(size)) {
        ReportDataFileCutShort(path, size, file.LastError(), floats * 4, false);
        return false;
    }
    std::unique_ptr<float[]> buffer(new (std::nothrow) float[floats]);
    if (!buffer)
        return false;
    if (!file.ReadExact(buffer.get(), floats * 4)) {
        ReportDataFileReadFailed(path, file.LastError());
        return false;
    }
    m_pRawData = std::move(buffer);
    m_nRawFloats = static_cast<size_t>(floats);
    return true;
}

bool TPhilipsCSIReader::FillSlice(int slice)
{
    if (!m_pRawData || !m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    int s, a, b;
    if (!SliceAxes(set, s, a, b) || slice < 0 || slice >= set.m_nDim[s])
        return false;
    const size_t na = static_cast<size_t>(set.m_nDim[a]), nb = static_cast<size_t>(set.m_nDim[b]);
    const size_t perSpectrum = static_cast<size_t>(set.m_nPoints) * 2;
    if (na * nb * perSpectrum > m_nRawFloats)
        return false;
    int c[3];
    c[s] = slice;
    for (size_t i = 0; i < na; ++i)
        for (size_t j = 0; j < nb; ++j) {
            c[a] = static_cast<int>(i);
            c[b] = static_cast<int>(j);
            TSpectrum* voxel = set.GetVoxel(c[0], c[1], c[2]);
            if (!voxel)
                return false;
            voxel->SetData(m_pRawData.get() + (j * na + i) * perSpectrum);
        }
    return true;
}

bool TPhilipsCSIReader::ReadSliceFiles(const std::string& base, bool reverse)
{
    TCSISet& set = *m_pCSISet;
    const int n = m_nSlices;
    int s, a, b;
    if (n < 1 || !SliceAxes(set, s, a, b))
        return false;
    auto suffixOf = [&](int slice) {
        std::string suffix = "_";
        suffix += std::to_string(reverse ? n - slice : slice + 1);
        suffix += ".SDAT";
        return suffix;
    };
    // Every file is there and long enough before memory is taken for the samples; the
    // reads below still check each file as they go.
    const uint64_t sliceBytes = uint64_t(set.m_nDim[a]) * uint64_t(set.m_nDim[b]) * uint64_t(set.m_nPoints) * 8;
    for (int slice = 0; slice < n; ++slice) {
        const std::optional<std::string> found = FoundCompanion(base, suffixOf(slice), "data file");
        if (!found)
            return false;
        const std::string& path = *found;
        vx::TFile file;
        if (!file.Open(path, vx::TFile::Mode::Read)) {
            Warn("Data file " + path + " does not exist or cannot be read.");
            return false;
        }
        const int64_t size = file.Size();
        if (size < 0 || uint64_t(size) < sliceBytes) {
            ReportDataFileCutShort(path, size, file.LastError(), sliceBytes, false);
            return false;
        }
    }
    if (HeaderOnly())
        return true;

    if (set.IsLoaded())
        set.FreeSpectra();
    if (!set.AllocateVoxels())
        return false;
    set.InitVoxels();
    set.m_bLoaded = true;
    for (int slice = 0; slice < n; ++slice) {
        if (!ReadRawData(CompanionPath(base, suffixOf(slice))))
            return false;
        ConvertVaxFloats(m_pRawData.get(), m_nRawFloats);
        if (!FillSlice(slice))
            return false;
    }
    return true;
}

bool TPhilipsCSIReader::ReadListData(const std::string& path)
{
    if (!m_pCSISet || m_kSpaceLines.empty())
        return false;
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        Warn("Data file " + path + " does not exist or cannot be read.");
        return false;
    }
    TCSISet& set = *m_pCSISet;
    int s, a, b;
    const uint64_t gridFloats = GridFloatCount(set);
    if (!SliceAxes(set, s, a, b) || gridFloats == 0)
        return false;
    const uint64_t perSpectrum = uint64_t(set.m_nPoints) * 2;
    const uint64_t spectrumBytes = perSpectrum * 4;
    const uint64_t records = m_kSpaceLines.size();
    const int64_t size = file.Size();
    if (gridFloats / perSpectrum > kMaxGridSpectraPerRecord * records) {
        Warn("The LIST file of " + path + " lists " + std::to_string(records) + " data vectors for a grid of " +
             std::to_string(gridFloats / perSpectrum) + " positions; a grid may have at most " +
             std::to_string(kMaxGridSpectraPerRecord) + " positions per data vector.");
        return false;
    }
    if (!VectorsInsideDataFile(path, size, file.LastError(), spectrumBytes))
        return false;

    const int64_t n[3] = {set.m_nDim[0], set.m_nDim[1], set.m_nDim[2]};
    // The grid position of a record; false when it lies outside the grid. The sizes may have
    // changed after a record was checked (header lines after the data vectors), so every
    // record is checked against the final grid.
    const auto position = [&](const TKSpaceLine& record, int64_t c[3]) {
        c[s] = record.location;
        c[a] = record.k1;
        c[b] = record.k2;
        for (int d = 0; d < 3; ++d)
            if (c[d] < 0 || c[d] >= n[d])
                return false;
        return true;
    };
    if (HeaderOnly()) {
        int64_t c[3];
        for (const TKSpaceLine& record : m_kSpaceLines)
            if (!position(record, c))
                return RefuseVectorOutsideGrid(path);
        m_nRawFloats = static_cast<size_t>(gridFloats);
        return true;
    }

    std::unique_ptr<float[]> grid(new (std::nothrow) float[gridFloats]());
    if (!grid)
        return false;
    std::vector<unsigned char> bytes(static_cast<size_t>(spectrumBytes));
    for (const TKSpaceLine& record : m_kSpaceLines) {
        int64_t c[3];
        if (!position(record, c))
            return RefuseVectorOutsideGrid(path);
        // Each vector is read from its own offset: the DATA file also holds vectors the
        // LIST parse skips (noise, other mixes), before and between the kept ones.
        const uint64_t voxel = uint64_t((c[2] * n[1] + c[1]) * n[0] + c[0]);
        if (!file.Seek(record.offset) || !file.ReadExact(bytes.data(), bytes.size())) {
            ReportDataFileReadFailed(path, file.LastError());
            return false;
        }
        DecodeFloat32LE(bytes.data(), static_cast<size_t>(perSpectrum), grid.get() + voxel * perSpectrum);
    }
    m_pRawData = std::move(grid);
    m_nRawFloats = static_cast<size_t>(gridFloats);
    return true;
}

bool TPhilipsCSIReader::RunPostRead(TPostRead sequence, const std::function<void(TCSISet&, int)>& orient)
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    TCSISet& set = *m_pCSISet;
    int s, a, b;
    if (!SliceAxes(set, s, a, b))
        return false;
    if (m_params.m_bRemoveOffset)
        set.RemoveDCOffset();
    switch (sequence) {
    case TPostRead::KSpace2D:
    case TPostRead::KSpace2DRamp:
        set.ShiftGridAxis(a, 0);
        set.ShiftGridAxis(b, 0);
        // The acquired grid lies half a voxel off the reconstructed one.
        if (sequence == TPostRead::KSpace2DRamp)
            set.ApplySpatialPhaseRampAxis(s, 1);
        if (!set.SpatialFFTAxis(a) || !set.SpatialFFTAxis(b))
            return false;
        break;
    case TPostRead::KSpace3D:
        for (int axis = 0; axis < 3; ++axis)
            set.ShiftGridAxis(axis, 0);
        set.ApplySpatialPhaseRamp(1);
        for (int axis = 0; axis < 3; ++axis)
            if (!set.SpatialFFTAxis(axis))
                return false;
        break;
    case TPostRead::ImageSpace:
    case TPostRead::ImageSpaceNoFlip:
        break;
    }
    set.m_bKSpace = 0;
    if (!set.ToFrequencyDomain())
        return false;
    set.FFTShiftSpectra();
    if (orient) {
        orient(set, s);
    } else {
        switch (sequence) {
        case TPostRead::KSpace2D:
        case TPostRead::KSpace2DRamp: Orient2D(set, s); break;
        case TPostRead::KSpace3D: Orient3D(set, s); break;
        case TPostRead::ImageSpace:
            if (s != 1)
                set.FlipAxis(s);
            break;
        case TPostRead::ImageSpaceNoFlip: break;
        }
    }
    set.InitVoxels();
    set.UpdateDataRange();
    if (m_params.m_bNormalize)
        set.NormalizeTo(1000.0f);
    return true;
}

TCSISet* TPhilipsCSIReader::FillAndFinish()
{
    if (!FillCSISet())
        return DiscardSet();
    return Finish();
}

TCSISet* TPhilipsCSIReader::Finish()
{
    // The samples are in the voxels now; the buffer would only double the memory held
    // while the transforms run.
    m_pRawData.reset();
    m_nRawFloats = 0;
    if (HeaderOnly())
        return HandOverSet();
    if (!m_params.m_bLoadRawData && !PostRead())
        return DiscardSet();
    m_pCSISet->BuildKSpaceMask(true);
    return HandOverSet();
}
