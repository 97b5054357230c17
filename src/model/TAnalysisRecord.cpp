// The analysis record of the project file: the fields of TAnalysis.
//
// Body of TAnalysis::WriteRecord, in order: name (text); first point, last point,
// component count K, slice count, slice axis, interval count (int32 each); 50 intervals
// (start, end); selection flag, computed flag (int32 0 or 1); voxel count V, then V
// triples (slice, first in-plane, second in-plane; V is 0 without a selection); the
// components (K x P), weights (1 x K), data (N x P) and scores (N x K) matrices, each as
// rows, columns (uint32) and rows x columns floats row by row; then the fields of the kind.
#include <algorithm>
#include <string>

#include "model/TAnalysis.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/TFile.h"
#include "platform/TRecordReader.h"

namespace {

constexpr size_t kMaxNameLength = 4096;

bool ReadFlag(vx::TRecordReader& in, bool& flag)
{
    int32_t v = 0;
    if (!in.ReadInt32(v) || (v != 0 && v != 1))
        return false;
    flag = v == 1;
    return true;
}

}  // namespace

bool TAnalysis::WriteMatrix(vx::TFile& file, const TFloatMatrix& m)
{
    return file.WriteUInt32(m.Rows()) && file.WriteUInt32(m.Columns()) &&
           file.Write(m.Data(), size_t(m.Rows()) * m.Columns() * sizeof(float));
}

bool TAnalysis::ReadMatrix(vx::TRecordReader& in, uint32_t rows, uint32_t columns, TFloatMatrix& m)
{
    uint32_t r = 0, c = 0;
    if (!in.ReadUInt32(r) || !in.ReadUInt32(c) || r != rows || c != columns ||
        !in.Holds(uint64_t(rows) * columns * sizeof(float)))
        return false;
    m.Resize(rows, columns);
    return in.ReadFloats(m.Data(), size_t(rows) * columns);
}

bool TAnalysis::WriteRecord(vx::TFile& file) const
{
    bool ok = WriteCString(file, m_strName);
    for (int32_t v : {m_nFirstPoint, m_nLastPoint, m_nComponents, m_nSlices, m_nSliceAxis, m_nIntervals})
        ok = ok && file.WriteInt32(v);
    ok = ok && file.Write(m_intervals, sizeof m_intervals);
    ok = ok && file.WriteInt32(m_bSelection ? 1 : 0) && file.WriteInt32(m_bComputed ? 1 : 0);
    ok = ok && file.WriteInt32(static_cast<int32_t>(m_voxels.size()));
    for (const TAnalysisVoxel& v : m_voxels)
        ok = ok && file.WriteInt32(v.slice) && file.WriteInt32(v.first) && file.WriteInt32(v.second);
    return ok && WriteMatrix(file, m_components) && WriteMatrix(file, m_weights) && WriteMatrix(file, m_data) &&
           WriteMatrix(file, m_scores) && WriteKindFields(file);
}

bool TAnalysis::ReadRecord(vx::TRecordReader& in, TCSISet* set)
{
    int a1 = 0, a2 = 0;
    if (!set || !TMRImage::InPlaneAxes(set->m_nSliceAxis, a1, a2) || set->GridSize() == 0)
        return false;
    const int* dim = set->m_nDim;

    std::string name;
    int32_t first = 0, last = 0, components = 0, slices = 0, axis = 0, intervalCount = 0;
    if (!in.ReadText(name, kMaxNameLength) || !in.ReadInt32(first) || !in.ReadInt32(last) ||
        !in.ReadInt32(components) || !in.ReadInt32(slices) || !in.ReadInt32(axis) || !in.ReadInt32(intervalCount))
        return false;
    // The record must describe an analysis of this set as it is now.
    if (first < 0 || last < first || last >= set->m_nPoints || components < 1 || components > last - first + 1 ||
        axis != set->m_nSliceAxis || slices != dim[axis] || intervalCount < 0 || intervalCount > kMaxIntervals)
        return false;
    int32_t intervals[kMaxIntervals][2] = {};
    for (auto& interval : intervals)
        if (!in.ReadInt32(interval[0]) || !in.ReadInt32(interval[1]))
            return false;
    for (int i = 0; i < intervalCount; ++i)
        if (intervals[i][0] > intervals[i][1] || intervals[i][0] < first || intervals[i][1] > last)
            return false;

    bool selection = false, computed = false;
    int32_t voxelCount = 0;
    if (!ReadFlag(in, selection) || !ReadFlag(in, computed) || !in.ReadInt32(voxelCount))
        return false;
    const size_t grid = set->GridSize();
    if (voxelCount < 0 || static_cast<size_t>(voxelCount) > grid || (selection != (voxelCount > 0)) ||
        !in.Holds(uint64_t(voxelCount) * 12))
        return false;
    std::vector<TAnalysisVoxel> voxels(static_cast<size_t>(voxelCount));
    for (TAnalysisVoxel& v : voxels) {
        if (!in.ReadInt32(v.slice) || !in.ReadInt32(v.first) || !in.ReadInt32(v.second))
            return false;
        if (v.slice < 0 || v.slice >= dim[axis] || v.first < 0 || v.first >= dim[a1] || v.second < 0 ||
            v.second >= dim[a2])
            return false;
    }

    const auto n = static_cast<uint32_t>(selection ? voxels.size() : grid);
    const auto p = static_cast<uint32_t>(last - first + 1);
    const auto k = static_cast<uint32_t>(components);
    TFloatMatrix componentMatrix, weights, data, scores;
    if (!ReadMatrix(in, k, p, componentMatrix) || !ReadMatrix(in, 1, k, weights) || !ReadMatrix(in, n, p, data) ||
        !ReadMatrix(in, n, k, scores) || !ReadKindFields(in, n, p, k))
        return false;

    m_strName = std::move(name);
    m_nFirstPoint = first;
    m_nLastPoint = last;
    m_nComponents = components;
    m_nSlices = slices;
    m_nSliceAxis = axis;
    m_nIntervals = intervalCount;
    std::copy(&intervals[0][0], &intervals[0][0] + 2 * kMaxIntervals, &m_intervals[0][0]);
    m_bSelection = selection;
    m_bComputed = computed;
    m_voxels = std::move(voxels);
    m_components = std::move(componentMatrix);
    m_weights = std::move(weights);
    m_data = std::move(data);
    m_scores = std::move(scores);
    m_pSet = set;
    // Read with the project: made from the samples of the set's file.
    m_nSamples = set->FileSamplesState();
    m_bUnsavedSamples = false;
    m_componentMaps.clear();
    m_nXMin = 0;
    m_nXMax = dim[a1] - 1;
    m_nYMin = 0;
    m_nYMax = dim[a2] - 1;
    if (selection) {
        m_nXMin = m_nXMax = m_voxels.front().first;
        m_nYMin = m_nYMax = m_voxels.front().second;
        for (const TAnalysisVoxel& v : m_voxels) {
            m_nXMin = std::min(m_nXMin, v.first);
            m_nXMax = std::max(m_nXMax, v.first);
            m_nYMin = std::min(m_nYMin, v.second);
            m_nYMax = std::max(m_nYMax, v.second);
        }
    }
    BuildScoreImages();
    return true;
}
