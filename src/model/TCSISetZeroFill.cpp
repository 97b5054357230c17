// Spatial zero filling: a new set whose grid is this set's grid interpolated to a
// larger matrix by zero filling its spatial frequencies.
//
// Both grids are brought into centred k-space with the half-voxel phase of the even
// axes taken out, so that a spatial frequency keeps its sample when the matrix grows
// and the voxel centres of both grids lie symmetric about the grid centre.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/math/TMixedRadixFFT.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"

namespace {

// The zero-filled set holds all its samples in memory at once.
constexpr uint64_t kMaxZeroFilledSamples = uint64_t(1) << 28;

// The half-voxel phase ramp of the transformed axes (k = -1 takes it out, +1 puts it back).
void ApplyGridRamp(TCSISet& set, int k)
{
    if (set.m_bMultiSlice)
        set.ApplySpatialPhaseRampAxis(set.m_nSliceAxis, k);
    else
        set.ApplySpatialPhaseRamp(k);
}

// Voxel space -> centred k-space along the axes, or from k-space stored with its
// halves swapped; the k-space flag ends set.
bool ToCentredKSpace(TCSISet& set, const std::vector<int>& axes)
{
    if (set.m_bKSpace) {
        for (int axis : axes)
            set.ShiftGridAxis(axis, 0);
    } else {
        for (int axis : axes)
            if (!set.InverseSpatialFFTAxis(axis))
                return false;
        set.m_bKSpace = 1;
    }
    ApplyGridRamp(set, -1);
    for (int axis : axes)
        set.ShiftGridAxis(axis, 1);
    return true;
}

// Centred k-space -> voxel space; the k-space flag ends clear.
bool FromCentredKSpace(TCSISet& set, const std::vector<int>& axes)
{
    for (int axis : axes)
        set.ShiftGridAxis(axis, 0);
    ApplyGridRamp(set, +1);
    for (int axis : axes)
        if (!set.SpatialFFTAxis(axis))
            return false;
    set.m_bKSpace = 0;
    return true;
}

}  // namespace

std::unique_ptr<TCSISet> TCSISet::CreateZeroFilledSet(int nx, int ny, int nz)
{
    const int newDim[3] = {nx, ny, nz};
    if (!HasAllSamples())
        return nullptr;
    for (int d = 0; d < 3; ++d)
        if (newDim[d] < m_nDim[d]) {
            vx::Report("New size needs to be larger than original size.", vx::ReportIcon::Exclamation);
            return nullptr;
        }
    uint64_t voxels = 1;
    for (int d : newDim)
        voxels *= static_cast<uint64_t>(d);  // each size is below 2^31: no overflow
    if (voxels > kMaxVoxels || voxels * static_cast<uint64_t>(m_nPoints) > kMaxZeroFilledSamples) {
        vx::Report("The zero-filled CSI set would be too large to hold in memory.", vx::ReportIcon::Exclamation);
        return nullptr;
    }
    const std::vector<int> axes = SpatialAxes();
    if (!CheckSpatialLengths(axes))
        return nullptr;
    for (int axis : axes)
        if (!TMixedRadixFFT::CheckFFTLength(newDim[axis]))
            return nullptr;  // reported there

    auto copy = std::make_unique<TCSISet>();
    copy->CopyHeader(*this);
    std::copy(newDim, newDim + 3, copy->m_nDim);
    std::string suffix;
    for (int d : newDim)
        suffix.append("_").append(FloatToString(static_cast<float>(d), 0));
    copy->m_strName = m_strName + suffix;
    copy->m_strFilePath = m_strFilePath + suffix;
    if (!copy->AllocateVoxels())
        return nullptr;
    copy->InitVoxels();
    for (const std::unique_ptr<TSpectrum>& s : copy->m_voxels)
        s->AllocateZeroed(m_nPoints);

    if (!ToCentredKSpace(*this, axes))
        return nullptr;
    // Centred k-space holds the zero frequency at floor(n/2) of a line of either grid;
    // the offset puts the old one there in the new grid, whatever the parities.
    int offset[3];
    for (int d = 0; d < 3; ++d)
        offset[d] = newDim[d] / 2 - m_nDim[d] / 2;
    for (int z = 0; z < m_nDim[2]; ++z)
        for (int y = 0; y < m_nDim[1]; ++y)
            for (int x = 0; x < m_nDim[0]; ++x)
                copy->GetVoxel(x + offset[0], y + offset[1], z + offset[2])->SetComplexData(GetVoxel(x, y, z)->Data());
    copy->m_bLoaded = true;
    const bool copied = FromCentredKSpace(*copy, axes);

    if (m_kSpaceMask.size() == GridSize()) {
        copy->m_kSpaceMask.assign(static_cast<size_t>(voxels), 0);
        size_t i = 0;
        for (int z = 0; z < m_nDim[2]; ++z)
            for (int y = 0; y < m_nDim[1]; ++y)
                for (int x = 0; x < m_nDim[0]; ++x, ++i)
                    copy->m_kSpaceMask[copy->VoxelIndex(x + offset[0], y + offset[1], z + offset[2])] = m_kSpaceMask[i];
    } else {
        copy->m_kSpaceMask.clear();
    }

    // This set goes back to voxel space whichever space it came in.
    const bool restored = FromCentredKSpace(*this, axes);
    UpdateDataRange();
    if (!copied || !restored)
        return nullptr;
    copy->UpdateDataRange();
    return copy;
}
