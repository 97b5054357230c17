#include "model/TAnalysis.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "model/TCSISet.h"
#include "model/TComponentMap.h"
#include "model/TMRImage.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Report.h"

namespace {

// In-plane axes of a slice axis; false for an axis outside 0..2.
bool InPlaneAxesOf(int sliceAxis, int& first, int& second)
{
    return TMRImage::InPlaneAxes(sliceAxis, first, second);
}

}  // namespace

TAnalysis::TAnalysis() = default;

TAnalysis::TAnalysis(int first, int last, int components, const int32_t* intervals, int intervalCount)
    : m_nFirstPoint(first), m_nLastPoint(last), m_nComponents(components)
{
    m_nIntervals = std::clamp(intervalCount, 0, kMaxIntervals);
    for (int i = 0; i < m_nIntervals && intervals; ++i) {
        m_intervals[i][0] = intervals[2 * i];
        m_intervals[i][1] = intervals[2 * i + 1];
    }
}

TAnalysis::~TAnalysis() = default;

// --- preparing and running --------------------------------------------------------------

bool TAnalysis::Prepare(TCSISet* set, bool useSelection)
{
    int a1 = 0, a2 = 0;
    if (!set || !set->IsLoaded() || !InPlaneAxesOf(set->m_nSliceAxis, a1, a2) ||
        set->VoxelCount() != set->GridSize() || set->VoxelCount() == 0)
        return false;
    const int axis = set->m_nSliceAxis;
    const int* dim = set->m_nDim;

    std::vector<TAnalysisVoxel> voxels;
    if (useSelection) {
        int pos[3] = {0, 0, 0};
        for (int s = 0; s < dim[axis]; ++s)
            for (int b = 0; b < dim[a2]; ++b)
                for (int a = 0; a < dim[a1]; ++a) {
                    pos[axis] = s;
                    pos[a1] = a;
                    pos[a2] = b;
                    const TSpectrum* spectrum = set->GetVoxel(pos[0], pos[1], pos[2]);
                    if (spectrum && spectrum->m_bSelected)
                        voxels.push_back({s, a, b});
                }
        if (voxels.empty())
            return false;
    }

    m_pSet = set;
    m_bSelection = useSelection;
    m_nSliceAxis = axis;
    m_nSlices = dim[axis];
    m_voxels = std::move(voxels);
    if (useSelection) {
        const auto [xMin, xMax] = std::minmax_element(m_voxels.begin(), m_voxels.end(),
                                                      [](const auto& l, const auto& r) { return l.first < r.first; });
        const auto [yMin, yMax] = std::minmax_element(
            m_voxels.begin(), m_voxels.end(), [](const auto& l, const auto& r) { return l.second < r.second; });
        m_nXMin = xMin->first;
        m_nXMax = xMax->first;
        m_nYMin = yMin->second;
        m_nYMax = yMax->second;
    } else {
        m_nXMin = 0;
        m_nXMax = dim[a1] - 1;
        m_nYMin = 0;
        m_nYMax = dim[a2] - 1;
    }
    return true;
}

bool TAnalysis::Run(bool prepare)
{
    if (prepare) {
        if (!Prepare(m_pSet, m_bSelection))
            return false;
    } else if (m_bComputed) {
        return true;
    }
    if (!Compute())
        return false;
    m_bComputed = true;
    return true;
}

size_t TAnalysis::AnalysedVoxelCount() const
{
    if (m_bSelection)
        return m_voxels.size();
    return m_pSet ? m_pSet->GridSize() : 0;
}

size_t TAnalysis::VoxelIndexOfRow(size_t row) const
{
    if (!m_bSelection)
        return row;
    int a1 = 0, a2 = 0;
    InPlaneAxesOf(m_nSliceAxis, a1, a2);
    int pos[3] = {0, 0, 0};
    const TAnalysisVoxel& v = m_voxels[row];
    pos[m_nSliceAxis] = v.slice;
    pos[a1] = v.first;
    pos[a2] = v.second;
    return m_pSet->VoxelIndex(pos[0], pos[1], pos[2]);
}

bool TAnalysis::BuildDataMatrix()
{
    if (!m_pSet || !m_pSet->IsLoaded() || m_pSet->VoxelCount() != m_pSet->GridSize())
        return false;
    if (m_nComponents < 1 || m_nIntervals < 1 || m_nFirstPoint < 0 || m_nLastPoint < m_nFirstPoint ||
        m_nLastPoint >= m_pSet->m_nPoints)
        return false;
    for (int i = 0; i < m_nIntervals; ++i)
        if (m_intervals[i][0] > m_intervals[i][1] || m_intervals[i][0] < m_nFirstPoint ||
            m_intervals[i][1] > m_nLastPoint)
            return false;
    // A selection made for another grid (the set was replaced since) has no rows here.
    if (m_bSelection) {
        int a1 = 0, a2 = 0;
        InPlaneAxesOf(m_nSliceAxis, a1, a2);
        const int* dim = m_pSet->m_nDim;
        for (const TAnalysisVoxel& v : m_voxels)
            if (v.slice < 0 || v.slice >= dim[m_nSliceAxis] || v.first < 0 || v.first >= dim[a1] || v.second < 0 ||
                v.second >= dim[a2])
                return false;
    }

    const auto n = static_cast<uint32_t>(AnalysedVoxelCount());
    const auto p = static_cast<uint32_t>(PointCount());
    const auto k = static_cast<uint32_t>(m_nComponents);
    m_nSamples = m_pSet->SamplesState();
    m_bUnsavedSamples = m_nSamples != m_pSet->FileSamplesState();
    m_components.Resize(k, p);
    m_weights.Resize(1, k);
    m_data.Resize(n, p);
    m_scores.Resize(n, k);
    for (uint32_t row = 0; row < n; ++row) {
        const TSpectrum* spectrum = m_pSet->GetVoxel(VoxelIndexOfRow(row));
        float* out = m_data.ElementPtr(row, 0);
        for (int i = 0; i < m_nIntervals; ++i)
            for (int t = m_intervals[i][0]; t <= m_intervals[i][1]; ++t)
                out[t - m_nFirstPoint] = spectrum ? spectrum->GetReal(t) : 0.0f;
    }
    return true;
}

// --- what the project file holds -----------------------------------------------------------

bool TAnalysis::WaitsForSetSave() const
{
    return m_pSet && ((m_bUnsavedSamples && m_nSamples != m_pSet->FileSamplesState()) ||
                      (m_pSet->IsLoaded() && m_pSet->SamplesState() != m_pSet->FileSamplesState()));
}

void TAnalysis::SamplesSaved()
{
    if (!m_bUnsavedSamples || !m_pSet || m_nSamples != m_pSet->FileSamplesState())
        return;
    m_bUnsavedSamples = false;
    if (!m_pendingRecord.empty())
        m_savedRecord = std::exchange(m_pendingRecord, std::string());
}

void TAnalysis::RecordInFile(std::string record)
{
    // A record of samples not saved before holds only once their save is done.
    if (m_bUnsavedSamples)
        m_pendingRecord = std::move(record);
    else
        m_savedRecord = std::move(record);
}

// --- score images -------------------------------------------------------------------------

const TFloatMatrix* TAnalysis::GetScoreImage(int slice, int component) const
{
    if (slice < 0 || component < 0 || component >= m_nComponents)
        return nullptr;
    const size_t index = static_cast<size_t>(slice) * static_cast<size_t>(m_nComponents) + static_cast<size_t>(component);
    return index < m_scoreImages.size() ? m_scoreImages[index].get() : nullptr;
}

void TAnalysis::ClearScoreImages()
{
    m_scoreImages.clear();
}

void TAnalysis::BuildScoreImages()
{
    ClearScoreImages();
    int a1 = 0, a2 = 0;
    if (!m_pSet || !InPlaneAxesOf(m_nSliceAxis, a1, a2) || m_nComponents < 1)
        return;
    const int* dim = m_pSet->m_nDim;
    const auto k = static_cast<uint32_t>(m_nComponents);
    const uint32_t rows = m_bSelection ? m_nYMax - m_nYMin + 1 : dim[a2];
    const uint32_t columns = m_bSelection ? m_nXMax - m_nXMin + 1 : dim[a1];
    for (int s = 0; s < m_nSlices; ++s)
        for (uint32_t c = 0; c < k; ++c) {
            m_scoreImages.push_back(std::make_unique<TFloatMatrix>());
            m_scoreImages.back()->Resize(rows, columns);
        }
    if (m_bSelection) {
        for (size_t i = 0; i < m_voxels.size(); ++i) {
            const TAnalysisVoxel& v = m_voxels[i];
            if (v.slice < 0 || v.slice >= m_nSlices)
                throw std::runtime_error("fatal!");
            for (uint32_t c = 0; c < k; ++c)
                m_scoreImages[size_t(v.slice) * k + c]->Set(v.second - m_nYMin, v.first - m_nXMin,
                                                            m_scores.At(static_cast<uint32_t>(i), c));
        }
        return;
    }
    int pos[3] = {0, 0, 0};
    for (int s = 0; s < m_nSlices; ++s)
        for (uint32_t y = 0; y < rows; ++y)
            for (uint32_t x = 0; x < columns; ++x) {
                pos[m_nSliceAxis] = s;
                pos[a1] = static_cast<int>(x);
                pos[a2] = static_cast<int>(y);
                const auto v = static_cast<uint32_t>(m_pSet->VoxelIndex(pos[0], pos[1], pos[2]));
                for (uint32_t c = 0; c < k; ++c)
                    m_scoreImages[size_t(s) * k + c]->Set(y, x, m_scores.At(v, c));
            }
}

void TAnalysis::InvertFirstComponent()
{
    if (!m_components.HasData() || m_nComponents < 1)
        return;
    for (uint32_t j = 0; j < m_components.Columns(); ++j)
        m_components.Set(0, j, -m_components.At(0, j));
    for (uint32_t v = 0; v < m_scores.Rows(); ++v)
        m_scores.Set(v, 0, -m_scores.At(v, 0));
    BuildScoreImages();
}

// --- component maps -----------------------------------------------------------------------

int TAnalysis::CreateComponentMaps()
{
    m_componentMaps.clear();
    // The scores belong to the analysed set's grid: maps of another work set would place
    // them on voxels they were not computed for.
    TCSISet* set = g_pProject ? g_pProject->m_pWorkSet : nullptr;
    if (!set || set != m_pSet) {
        vx::Report("The maps can only be created when the analysed CSI set is the work set.",
                   vx::ReportIcon::Exclamation);
        return 0;
    }
    int made = 0;
    for (int k = 0; k < m_nComponents; ++k) {
        auto map = std::make_unique<TComponentMap>(set);
        bool computed = false;
        try {
            computed = map->Compute(this, k);
        } catch (const std::runtime_error&) {
            computed = false;
        }
        if (!computed)
            continue;
        m_componentMaps.push_back(map.get());
        set->AddMap(map.release());
        ++made;
    }
    return made;
}

void TAnalysis::UpdateComponentMaps()
{
    if (!m_pSet || !m_pSet->m_pMapList)
        return;
    // Only maps found in the list are touched, and only those that still name this
    // analysis: an address remembered from a deleted map may since belong to another.
    for (TMap* pMap : *m_pSet->m_pMapList) {
        auto* pComponent = dynamic_cast<TComponentMap*>(pMap);
        if (pComponent && pComponent->GetAnalysis() == this &&
            std::find(m_componentMaps.begin(), m_componentMaps.end(), pComponent) != m_componentMaps.end())
            pComponent->Update();
    }
}

// --- residual -----------------------------------------------------------------------------

std::unique_ptr<TCSISet> TAnalysis::CreateResidualSet() const
{
    if (!m_pSet || !m_pSet->IsLoaded() || m_pSet->VoxelCount() != m_pSet->GridSize())
        return nullptr;
    const size_t n = AnalysedVoxelCount();
    const uint32_t p = static_cast<uint32_t>(PointCount());
    const auto k = static_cast<uint32_t>(m_nComponents);
    // Matrices of another shape belong to an older preparation: nothing to subtract.
    if (k < 1 || m_nFirstPoint < 0 || m_nLastPoint >= m_pSet->m_nPoints || m_scores.Rows() != n ||
        m_scores.Columns() != k || m_components.Rows() != k || m_components.Columns() != p)
        return nullptr;

    auto residual = std::make_unique<TCSISet>();
    residual->CopyHeader(*m_pSet);
    const std::string suffix = "_" + m_strName + "_ResidualError";
    residual->m_strFilePath = m_pSet->GetFilePath() + suffix;
    residual->m_strName = m_pSet->GetName() + suffix;
    residual->m_strDataPath = "Unavailable";
    if (!residual->AllocateVoxels())
        return nullptr;
    residual->InitVoxels();
    const int points = residual->m_nPoints;
    for (size_t v = 0; v < residual->VoxelCount(); ++v)
        residual->GetVoxel(v)->AllocateZeroed(points);

    for (size_t row = 0; row < n; ++row) {
        const size_t voxel = VoxelIndexOfRow(row);
        const TSpectrum* source = m_pSet->GetVoxel(voxel);
        TComplex* out = residual->GetVoxel(voxel)->Data();
        for (uint32_t j = 0; j < p; ++j) {
            double model = 0.0;
            for (uint32_t c = 0; c < k; ++c)
                model += static_cast<double>(m_scores.At(static_cast<uint32_t>(row), c)) * m_components.At(c, j);
            const int t = m_nFirstPoint + static_cast<int>(j);
            out[t] = TComplex(static_cast<float>(source->GetReal(t) - model), 0.0f);
        }
    }
    residual->UpdateDataRange();
    residual->m_bLoaded = true;
    return residual;
}

// --- curves that only some analyses have ---------------------------------------------------

std::unique_ptr<TFloatMatrix> TAnalysis::GetPhaseCorrection(int) const
{
    return nullptr;
}

std::unique_ptr<TFloatMatrix> TAnalysis::GetFrequencyCorrection(int) const
{
    return nullptr;
}

std::unique_ptr<TFloatMatrix> TAnalysis::GetErrorConvergence() const
{
    return nullptr;
}

std::unique_ptr<TFloatMatrix> TAnalysis::GetChiSquarePerRun() const
{
    return nullptr;
}
