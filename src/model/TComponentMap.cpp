#include "model/TComponentMap.h"

#include <stdexcept>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "model/TAnalysis.h"

TComponentMap::TComponentMap(TCSISet* set) : TMap(set)
{
    method = kMapFromAnalysis;
}

TComponentMap::~TComponentMap() = default;

void TComponentMap::Update()
{
    if (!m_pAnalysis || !csiSet)
        return;
    const int kept[3] = {size[0], size[1], size[2]};
    // Maps are updated after every processing step: an analysis whose matrices no longer
    // fit the set leaves the map as it was.
    try {
        if (!Compute(m_pAnalysis, m_nComponent))
            return;
    } catch (const std::runtime_error&) {
        return;
    }
    ResampleTo(kept);
    MarkChanged();
}

bool TComponentMap::Compute(TAnalysis* analysis, int component)
{
    if (!csiSet)
        return false;
    if (!analysis)
        throw std::runtime_error("fatal!");
    const TCSISet& set = *csiSet;
    const TFloatMatrix& scores = analysis->Scores();
    if (!scores.HasData() || component < 0 || static_cast<uint32_t>(component) >= scores.Columns())
        throw std::runtime_error("fatal!");
    const auto column = static_cast<uint32_t>(component);

    // Component 0 is scaled by the area of its spectrum, so that its map reads as a peak area.
    double scale = 1.0;
    if (component == 0) {
        const TFloatMatrix& components = analysis->Components();
        double sum = 0.0;
        for (uint32_t j = 0; j < components.Columns(); ++j)
            sum += components.At(0, j);
        scale = sum;
    }

    // Computed aside: an index error (thrown) leaves the map as it was.
    const size_t count = set.GridSize();
    if (count == 0 || count > kMaxValues)
        return false;
    std::vector<TComplex> values(count, TComplex(0.0f, 0.0f));
    const auto value = [&](uint32_t row) { return TComplex(static_cast<float>(scores.At(row, column) * scale), 0.0f); };
    if (analysis->UsesSelection()) {
        int a1 = 0, a2 = 0;
        const int axis = set.m_nSliceAxis;
        if (!TMRImage::InPlaneAxes(axis, a1, a2))
            throw std::runtime_error("fatal!");
        const std::vector<TAnalysisVoxel>& voxels = analysis->Voxels();
        for (size_t j = 0; j < voxels.size(); ++j) {
            int pos[3] = {0, 0, 0};
            pos[axis] = voxels[j].slice;
            pos[a1] = voxels[j].first;
            pos[a2] = voxels[j].second;
            for (int d = 0; d < 3; ++d)
                if (pos[d] < 0 || pos[d] >= set.m_nDim[d])
                    throw std::runtime_error("fatal!");
            values[set.VoxelIndex(pos[0], pos[1], pos[2])] = value(static_cast<uint32_t>(j));
        }
    } else {
        for (size_t i = 0; i < count; ++i)
            values[i] = value(static_cast<uint32_t>(i));
    }

    m_pAnalysis = analysis;
    m_nComponent = component;
    CopySetGeometry(set);
    const auto ppmOf = [&](int point) {
        return static_cast<float>(IndexToPPM(static_cast<float>(point), static_cast<float>(set.m_nSpectralWidth),
                                             set.m_fFrequency, set.m_fPPMCentrePoint, set.m_nPoints));
    };
    peakStartPPM = ppmOf(analysis->FirstPoint());
    peakEndPPM = ppmOf(analysis->LastPoint());
    name = analysis->GetName() + "_" + FloatToString(static_cast<float>(component), 1);
    method = kMapFromAnalysis;
    SetGrid(size, std::move(values));
    UpdateStatistics();
    displayMin = minReal;
    displayMax = maxReal;
    return true;
}
