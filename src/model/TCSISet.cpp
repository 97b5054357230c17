#include "model/TCSISet.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#include "model/math/Geometry.h"
#include "model/math/MatrixHelpers.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFileTransaction.h"
#include "platform/WaitCursor.h"
#include "platform/Workers.h"

namespace {
// Sets with fewer samples update their range on the calling thread alone.
constexpr size_t kParallelRangeSamples = size_t(1) << 20;
// Sample bytes from which FreeSpectra releases the memory on a thread of its own.
constexpr size_t kFreeAsideBytes = size_t(16) << 20;
}  // namespace

TCSISet::TCSISet()
{
    Reset();
}

TCSISet::TCSISet(TProject* project)
{
    Reset();
    m_pProject = project;
}

TCSISet::~TCSISet()
{
    FreeSpectra();
    delete m_pMapList;
}

void TCSISet::Reset()
{
    // Only ever called on a fresh object; anything owned is released all the same so
    // that a second call cannot leak.
    FreeSpectra();
    delete m_pMapList;
    m_pMapList = nullptr;
    static_cast<TCSIParams&>(*this) = TCSIParams();
    m_bLoaded = false;
    m_bAllocated = false;
    m_bWorkSet = 0;
    m_kSpaceMask.clear();
    m_bDataFileMissing = false;
    m_nDataFileError = 0;
    m_fileParams.reset();
    m_unreadMapNames.clear();
    m_mapsNotGiven.clear();
    m_recordMapNames.clear();
}

size_t TCSISet::GridSize() const
{
    if (m_nDim[0] < 1 || m_nDim[1] < 1 || m_nDim[2] < 1)
        return 0;
    return static_cast<size_t>(m_nDim[0]) * static_cast<size_t>(m_nDim[1]) *
           static_cast<size_t>(m_nDim[2]);
}

size_t TCSISet::VoxelIndex(int x, int y, int z) const
{
    return (static_cast<size_t>(z) * static_cast<size_t>(m_nDim[1]) + static_cast<size_t>(y)) *
               static_cast<size_t>(m_nDim[0]) +
           static_cast<size_t>(x);
}

TSpectrum* TCSISet::GetVoxel(size_t index) const
{
    return index < m_voxels.size() ? m_voxels[index].get() : nullptr;
}

TSpectrum* TCSISet::GetVoxel(int x, int y, int z) const
{
    if (x < 0 || y < 0 || z < 0 || x >= m_nDim[0] || y >= m_nDim[1] || z >= m_nDim[2])
        return nullptr;
    return GetVoxel(VoxelIndex(x, y, z));
}

bool TCSISet::AllocateVoxels()
{
    const size_t count = GridSize();
    if (count == 0 || count > kMaxVoxels)
        return false;
    FreeSpectra();
    m_voxels.reserve(count);
    for (size_t i = 0; i < count; ++i)
        m_voxels.push_back(std::make_unique<TSpectrum>());
    m_bAllocated = true;
    return true;
}

void TCSISet::InitVoxels()
{
    if (!m_bAllocated)
        return;
    size_t i = 0;
    for (int z = 0; z < m_nDim[2]; ++z)
        for (int y = 0; y < m_nDim[1]; ++y)
            for (int x = 0; x < m_nDim[0]; ++x, ++i) {
                TSpectrum* s = GetVoxel(i);
                if (!s)
                    return;
                TSpectrumParams p = s->GetParameters();
                p.m_nX = x;
                p.m_nY = y;
                p.m_nZ = z;
                p.m_nPoints = m_nPoints;
                p.m_pDataSet = this;
                if (!m_bLoaded) {
                    p.m_bShown = 0;
                    s->m_bSelected = 0;
                    s->m_bMark = 0;
                    s->m_bAveraged = 0;
                }
                s->SetParameters(p);
            }
}

void TCSISet::FreeSpectra()
{
    if (!m_bAllocated && m_voxels.empty())
        return;
    // A large set's memory goes back to the system on a thread of its own: that takes
    // tens of milliseconds per hundred megabytes, which the caller (often about to
    // load a set in its place) need not wait for.
    if (m_voxels.size() * static_cast<size_t>(std::max(m_nPoints, 0)) * sizeof(TComplex) >= kFreeAsideBytes) {
        auto old = std::make_shared<std::vector<std::unique_ptr<TSpectrum>>>(std::move(m_voxels));
        vx::RunDetached([old] { old->clear(); });
    }
    m_voxels.clear();
    m_voxels.shrink_to_fit();
    m_bLoaded = false;
    m_bAllocated = false;
}

bool TCSISet::LoadData()
{
    if (m_bLoaded)
        FreeSpectra();
    vx::TWaitCursor wait;
    // While a project file is loaded its version decides the layout of the file.
    const int version = m_pProject ? m_pProject->m_nFileVersion : kDataFileVersion;
    // A data-set file that did not open when the project was read was not compared with
    // the set's record then: it is now, before its samples are taken for the set's (a file
    // back from elsewhere may hold another set).
    if (m_bDataFileMissing && m_pProject) {
        vx::TFile file;
        const bool opened = OpenDataFile(file);
        const TDataFileCheck check = CheckDataFile(*this, file, opened, DataFileToRead(), version);
        if (!check.disagreement.empty()) {
            vx::Report("The CSI set " + m_strName + " cannot be loaded: " + check.disagreement + ".",
                       vx::ReportIcon::Exclamation);
            return false;
        }
        m_bDataFileMissing = !check.opens;
    }
    const int layout = DataFileLayout(version);
    if (!ReadOwnDataFile(layout))
        return false;
    // A file of an older layout is converted, as the project's conversion would have done
    // (a failed write or commit is reported and leaves the old file, which reads again next
    // time, unless the journal left completes it then), as a change of the project's folder:
    // never in a folder that is not the held one. The samples read stand either way.
    if (layout != version) {
        if (!m_pProject || m_pProject->GetFolder().empty()) {
            WriteDataFile(m_strFilePath, true);
        } else if (const std::unique_ptr<vx::TFileTransaction> change = m_pProject->BeginChange();
                   change && WriteDataFile(m_strFilePath, true, change.get())) {
            m_pProject->CommitChange(*change, "The CSI data file " + m_strFilePath + " could not be converted", true);
        }
    }
    // The samples are the file's again, whatever was done to them before.
    SamplesAsInFile();
    ParamsAreInFile();
    m_fDisplayMax = m_fMagnitudeMax;
    m_fDisplayMin = -m_fMagnitudeMax;
    return true;
}

void TCSISet::SamplesChanged()
{
    // Numbers never given before in this run, whatever set had them.
    static std::atomic<uint64_t> last{0};
    m_nSamples = ++last;
}

void TCSISet::SetModified()
{
    if (m_pProject)
        m_pProject->SetModified(true);
}

std::string TCSISet::DataFileToRead() const
{
    return m_pProject ? m_pProject->PathToRead(m_strFilePath) : m_strFilePath;
}

bool TCSISet::OpenDataFile(vx::TFile& file) const
{
    return m_pProject ? m_pProject->OpenToRead(m_strFilePath, file) : file.Open(m_strFilePath, vx::TFile::Mode::Read);
}

void TCSISet::SetFolder(const std::string& folder)
{
    m_strFilePath = vx::JoinPath(folder, vx::SanitizeFileComponent(m_strName));
}

bool TCSISet::HasSelectedVoxels() const
{
    return std::any_of(m_voxels.begin(), m_voxels.end(),
                       [](const std::unique_ptr<TSpectrum>& s) { return s && s->m_bSelected; });
}

void TCSISet::GetPointRange(int& first, int& last) const
{
    first = m_nFirstPoint;
    last = m_nLastPoint;
}

void TCSISet::SetPointRange(int first, int last)
{
    // The first point stays at 0 or above, also on a set whose range is still 0..0.
    if (first >= 0)
        m_nFirstPoint = first >= m_nLastPoint ? std::max(m_nLastPoint - 1, 0) : first;
    if (last > 0) {
        if (last <= m_nFirstPoint)
            m_nLastPoint = m_nFirstPoint + 1;
        else if (last < m_nPoints)
            m_nLastPoint = last;
    }
}

int TCSISet::SliceCount() const
{
    return (m_nSliceAxis >= 0 && m_nSliceAxis < 3) ? m_nDim[m_nSliceAxis] : 0;
}

void TCSISet::GetPhase(int slice, float& phase0, float& phase1, int& pivot) const
{
    if (m_bMultiSlice && slice >= 0 && slice < SliceCount() &&
        static_cast<size_t>(slice) < m_slicePhases.size()) {
        const TSlicePhase& e = m_slicePhases[static_cast<size_t>(slice)];
        phase0 = e.m_fPhase0;
        phase1 = e.m_fPhase1;
        pivot = vx::TruncateToInt(e.m_fPivot);
        return;
    }
    phase0 = m_fPhase0;
    phase1 = m_fPhase1;
    pivot = m_nPivot;
}

void TCSISet::SetPhase0(float phase0, int perSlice, int slice)
{
    if (perSlice != 1)
        m_fPhase0 = phase0;
    else if (slice >= 0 && static_cast<size_t>(slice) < m_slicePhases.size())
        m_slicePhases[static_cast<size_t>(slice)].m_fPhase0 = phase0;
    SetModified();
}

void TCSISet::SetPhase1(float phase1, int pivot, int perSlice, int slice)
{
    if (perSlice != 1) {
        m_fPhase1 = phase1;
        m_nPivot = pivot;
    } else if (slice >= 0 && static_cast<size_t>(slice) < m_slicePhases.size()) {
        m_slicePhases[static_cast<size_t>(slice)].m_fPhase1 = phase1;
        m_slicePhases[static_cast<size_t>(slice)].m_fPivot = static_cast<float>(pivot);
    }
    SetModified();
}

void TCSISet::SetPPMCentre(float centre, float reference)
{
    m_fPPMCentrePoint = centre;
    m_fPPMCentreValue = reference;
    SetModified();
}

bool TCSISet::IsValid() const
{
    return WhyInvalid().empty();
}

std::string TCSISet::WhyInvalid() const
{
    if (m_nPoints < 1)
        return "its number of points is below 1";
    if (m_nEchoPosition < 0 || m_nEchoPosition >= m_nPoints)
        return "its echo position lies outside its points";
    for (int d = 0; d < 3; ++d) {
        if (m_nDim[d] < 1)
            return "a matrix size is below 1";
        if (!(m_fFOV[d] > 0.0f))
            return "a field of view is not above 0";
    }
    if (!(m_fFrequency > 0.0f))
        return "its frequency is not above 0";
    if (m_nSpectralWidth <= 0)
        return "its sweep width is not above 0";
    return std::string();
}

bool TCSISet::CanBeListed() const
{
    return WhyNotListable().empty();
}

std::string TCSISet::WhyNotListable() const
{
    std::string invalid = WhyInvalid();
    if (!invalid.empty())
        return invalid;
    if (m_nSliceAxis < 0 || m_nSliceAxis > 2)
        return "its slice axis is not one of the three axes";
    // One axis at a time: the product of three sizes can overflow and wrap.
    size_t voxels = 1;
    for (int d = 0; d < 3; ++d) {
        voxels *= static_cast<size_t>(m_nDim[d]);
        if (voxels > kMaxVoxels)
            return "its grid has too many voxels";
    }
    float inverse[3][3];
    if (!InvertMatrix3x3(m_fRotation, inverse, FailureMessage::None))
        return "its rotation cannot be inverted";
    return std::string();
}

bool TCSISet::CanBeListed(const TCSIParams& params)
{
    return WhyNotListable(params).empty();
}

std::string TCSISet::WhyNotListable(const TCSIParams& params)
{
    TCSISet check;
    static_cast<TCSIParams&>(check) = params;
    check.m_pProject = nullptr;
    return check.WhyNotListable();
}

void TCSISet::SetOffCentre(const float offCentre[3])
{
    std::copy(offCentre, offCentre + 3, m_fOffCentre);
}

void TCSISet::ClearVoxelShift()
{
    std::fill(m_fVoxelShift, m_fVoxelShift + 3, 0.0f);
}

void TCSISet::GetRotation(float rotation[3][3]) const
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rotation[r][c] = m_fRotation[r][c];
}

float TCSISet::PointToUnit(float point, int unit) const
{
    const float sw = static_cast<float>(m_nSpectralWidth);
    // Degenerate parameters (no points, no width or frequency) give 0, never inf or NaN.
    switch (unit) {
    case kUnitHz:
        return m_nPoints > 0 ? static_cast<float>(IndexToHz(point, sw, m_nPoints)) : 0.0f;
    case kUnitPPM:
        if (m_nPoints <= 0 || m_fFrequency == 0.0f)
            return 0.0f;
        return static_cast<float>(IndexToPPM(point, sw, m_fFrequency, m_fPPMCentrePoint, m_nPoints));
    case kUnitMs:
        return m_nSpectralWidth != 0 ? static_cast<float>(IndexToMs(point, sw)) : 0.0f;
    default:
        return point;
    }
}

int TCSISet::UnitToPoint(float value, int unit) const
{
    const float sw = static_cast<float>(m_nSpectralWidth);
    // The nearest point: a position written from a point (rounded to its decimals, or a float
    // a hair off) comes back to that point, never to the one before it.
    switch (unit) {
    case kUnitHz:
        if (m_nSpectralWidth == 0)
            return m_nPoints / 2;
        return vx::TruncateToInt(std::round(HzToIndex(value, sw, m_nPoints)));
    case kUnitPPM:
        if (m_nSpectralWidth == 0)
            return vx::TruncateToInt(std::round(m_fPPMCentrePoint));
        return vx::TruncateToInt(std::round(PPMToIndex(value, sw, m_fFrequency, m_fPPMCentrePoint, m_nPoints)));
    case kUnitMs:
        return vx::TruncateToInt(std::round(MsToIndex(value, sw)));
    default:
        return vx::TruncateToInt(std::round(value));
    }
}

int TCSISet::AxisUnit(int unit) const
{
    return !m_bFrequencyDomain && (unit == kUnitHz || unit == kUnitPPM) ? kUnitMs : unit;
}

bool TCSISet::PointOfPPM(float ppm, int& point) const
{
    const double index =
        PPMToIndex(ppm, static_cast<float>(m_nSpectralWidth), m_fFrequency, m_fPPMCentrePoint, m_nPoints) + 0.5;
    if (!std::isfinite(index))
        return false;
    const double t = std::trunc(index);
    if (t < 0.0 || t >= static_cast<double>(m_nPoints))
        return false;
    point = static_cast<int>(t);
    return true;
}

std::string TCSISet::FormatAxisValue(float point, int unit) const
{
    switch (unit) {
    case kUnitPoints:
        return FloatToString(std::trunc(point), 2);
    case kUnitHz:
        return FloatToString(PointToUnit(point, kUnitHz), 2) + " Hz";
    case kUnitPPM:
        return FloatToString(PointToUnit(point, kUnitPPM), 2) + " PPM";
    case kUnitMs:
        return FloatToString(PointToUnit(point, kUnitMs), 2) + " Ms";
    default:
        return "";
    }
}

void TCSISet::TransformPoint(float point[3], int mode) const
{
    ::TransformPoint(m_fRotation, m_fRotationInverse, m_fOffCentre, point, mode);
}

void TCSISet::UpdateDataRange()
{
    // Every spectrum's own range first. A large set spreads that over the workers
    // (worker k takes its own block of voxels: the spectra are disjoint); a small one is not
    // worth the threads.
    size_t samples = 0;
    for (const std::unique_ptr<TSpectrum>& s : m_voxels)
        samples += s ? static_cast<size_t>(s->SampleCount()) : 0;
    const auto rangesOf = [this](int k, int n) {
        const vx::TWorkerBlock block = vx::WorkerBlock(k, n, m_voxels.size());
        for (size_t i = block.begin; i < block.end; ++i)
            if (m_voxels[i])
                m_voxels[i]->UpdateRange();
        return true;
    };
    if (samples < kParallelRangeSamples || !vx::RunWorkers(rangesOf))
        rangesOf(0, 1);
    CombineDataRanges();
}

void TCSISet::CombineDataRanges()
{
    bool first = true;
    for (const std::unique_ptr<TSpectrum>& s : m_voxels) {
        if (!s)
            continue;
        if (first) {
            m_fRealMax = s->m_fRealMax;
            m_fRealMin = s->m_fRealMin;
            m_fImagMax = s->m_fImagMax;
            m_fImagMin = s->m_fImagMin;
            m_fMagnitudeMax = s->m_fMagnitudeMax;
            first = false;
            continue;
        }
        m_fRealMax = std::max(m_fRealMax, s->m_fRealMax);
        m_fRealMin = std::min(m_fRealMin, s->m_fRealMin);
        m_fImagMax = std::max(m_fImagMax, s->m_fImagMax);
        m_fImagMin = std::min(m_fImagMin, s->m_fImagMin);
        m_fMagnitudeMax = std::max(m_fMagnitudeMax, s->m_fMagnitudeMax);
    }
}
