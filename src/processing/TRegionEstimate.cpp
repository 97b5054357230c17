#include "processing/TRegionEstimate.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <new>
#include <numbers>

#include "model/math/GridShape.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"
#include "processing/TDrawnRegion.h"

namespace {

using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// Largest mask (image pixels) and table of kernel values per in-plane axis (pixels x
// voxels) an estimate works with; far above any scanner's images and grids.
constexpr size_t kMaxMaskCells = size_t(1) << 26;
constexpr size_t kMaxKernelTable = size_t(1) << 22;

// The sum over the n frequencies -floor(n/2) .. n-1-floor(n/2) of a grid of n voxels of
// exp(2 pi i k d / n): the weight that a point d voxels away receives from the grid's
// frequencies.
cd GridKernel(double d, int n)
{
    const double low = -std::floor(n / 2.0), high = n - 1 + low;
    const double s = std::sin(kPi * d / n);
    if (std::abs(s) < 1e-12)
        return {static_cast<double>(n), 0.0};  // d = 0: every term is 1
    const double magnitude = std::sin(kPi * d) / s;
    const double phase = kPi * d * (low + high) / n;
    return {magnitude * std::cos(phase), magnitude * std::sin(phase)};
}

// Kernel values of every cell p of `cells` against every voxel x of `voxels` along one
// axis, at p * voxels + x. The cells and voxels span the same field of view, so cell p's
// centre lies at voxel coordinate (p + 0.5) * voxels / cells - 0.5.
std::vector<cd> KernelTable(int cells, int voxels)
{
    std::vector<cd> table(static_cast<size_t>(cells) * static_cast<size_t>(voxels));
    for (int p = 0; p < cells; ++p) {
        const double at = (p + 0.5) * voxels / cells - 0.5;
        for (int x = 0; x < voxels; ++x)
            table[static_cast<size_t>(p) * voxels + x] = GridKernel(x - at, voxels);
    }
    return table;
}

// The in-plane voxel weights (m1 x m2, x fastest) of a mask of width x height cells:
// the mask's transform over the grid's frequencies taken back onto the voxels, divided
// by the cell count.
std::vector<cd> PlaneWeights(const std::vector<uint8_t>& mask, int width, int height, int m1, int m2)
{
    const std::vector<cd> t1 = KernelTable(width, m1), t2 = KernelTable(height, m2);
    std::vector<cd> weights(static_cast<size_t>(m1) * static_cast<size_t>(m2));
    std::vector<cd> row(static_cast<size_t>(m1));
    for (int q = 0; q < height; ++q) {
        std::fill(row.begin(), row.end(), cd());
        bool any = false;
        for (int p = 0; p < width; ++p)
            if (mask[static_cast<size_t>(q) * width + p]) {
                any = true;
                for (int x = 0; x < m1; ++x)
                    row[static_cast<size_t>(x)] += t1[static_cast<size_t>(p) * m1 + x];
            }
        if (!any)
            continue;
        for (int y = 0; y < m2; ++y) {
            const cd k = t2[static_cast<size_t>(q) * m2 + y];
            for (int x = 0; x < m1; ++x)
                weights[static_cast<size_t>(y) * m1 + x] += row[static_cast<size_t>(x)] * k;
        }
    }
    const double scale = 1.0 / (static_cast<double>(width) * height);
    for (cd& w : weights)
        w *= scale;
    return weights;
}

TCSISet* WorkSetOf(const TMRImage* image)
{
    const TProject* project = image ? image->GetProject() : nullptr;
    return project ? project->m_pWorkSet : nullptr;
}

size_t CountInside(const std::vector<uint8_t>& mask)
{
    return static_cast<size_t>(std::count(mask.begin(), mask.end(), uint8_t{1}));
}

}  // namespace

TRegionEstimate::TRegionEstimate() = default;

TRegionEstimate::~TRegionEstimate()
{
    for (TDrawnRegion* region : m_regions)
        delete region;
}

bool TRegionEstimate::SetRegions(std::map<int, TDrawnRegion*>& regions)
{
    const auto first = std::find_if(regions.begin(), regions.end(), [](const auto& entry) { return entry.second; });
    if (first == regions.end()) {
        regions.clear();
        return false;
    }
    const int orientation = first->second->GetOrientation();
    bool dropped = false;
    for (auto& [key, region] : regions) {
        if (!region)
            continue;
        if (region->GetOrientation() == orientation) {
            m_regions.push_back(region);
        } else {
            delete region;
            dropped = true;
        }
    }
    regions.clear();
    if (dropped) {
        const std::string name = orientation >= 0 && orientation < 3 ? OrientationName(orientation) : "";
        vx::Report("Different orientations are found. Only regions of " + name + " orientation are kept.",
                   vx::ReportIcon::Exclamation);
    }
    return true;
}

bool TRegionEstimate::UsesImage(const TMRImage* image) const
{
    return std::any_of(m_regions.begin(), m_regions.end(), [&](const TDrawnRegion* r) { return r->IsOnImage(image); });
}

void TRegionEstimate::Draw(IRegionView& view) const
{
    for (const TDrawnRegion* region : m_regions)
        region->Draw(view);
}

bool TRegionEstimate::BuildWeightGrid(TCSISet& set, TWeightGrid& grid) const
{
    const TDrawnRegion* first = m_regions.front();
    const TMRImage* image = first->GetImage();
    const int o = first->GetOrientation();
    int a1, a2;
    TMRImage::InPlaneAxes(o, a1, a2);
    const int width = image->GetWidth(), height = image->GetHeight();
    grid = TWeightGrid{};
    grid.width = width;
    grid.height = height;
    const size_t cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    // Mask cells span the CSI slice's field of view.
    const double cellArea = static_cast<double>(set.m_fFOV[a1]) * set.m_fFOV[a2] / static_cast<double>(cells);
    const int n = set.m_nDim[o];
    const double centre = set.m_fVoxelShift[o], fov = set.m_fFOV[o];
    auto sliceOf = [&](float position) { return std::floor(((position - centre) / fov + 0.5) * n); };
    const double firstSlice = sliceOf(first->GetPlanePosition());
    const bool oneSlice = n == 1 || std::all_of(m_regions.begin(), m_regions.end(), [&](const TDrawnRegion* r) {
                              return sliceOf(r->GetPlanePosition()) == firstSlice;
                          });
    std::vector<uint8_t> scratch(cells);
    auto addScratch = [&](std::vector<uint8_t>& mask) {
        for (size_t k = 0; k < cells; ++k)
            mask[k] = std::max(mask[k], scratch[k]);
    };

    if (oneSlice) {
        TCSISlice slice;
        if (!slice.SetByPosition(&set, o, first->GetPlanePosition()))
            return false;
        TWeightPlane plane;
        plane.slice = slice.GetSliceIndex();
        plane.thickness = slice.GetThickness();
        plane.mask.assign(cells, 0);
        for (const TDrawnRegion* region : m_regions) {
            if (!region->MakeVoxelMask(scratch.data(), width, height))
                return false;
            addScratch(plane.mask);
        }
        grid.size = static_cast<float>(CountInside(plane.mask) * cellArea * plane.thickness);
        grid.firstVoxel = slice.GetVoxel(0, 0);
        grid.planes.push_back(std::move(plane));
        return true;
    }

    // Several CSI slices: one plane per image plane inside the set along the slice axis;
    // regions drawn on one image plane count once where they overlap.
    grid.multiSlice = true;
    std::map<float, size_t> planeAt;
    for (const TDrawnRegion* region : m_regions) {
        const float position = region->GetPlanePosition();
        if (!(position >= centre - fov / 2 && position < centre + fov / 2))
            continue;
        if (!region->MakeVoxelMask(scratch.data(), width, height))
            return false;
        auto [at, added] = planeAt.emplace(position, grid.planes.size());
        if (added) {
            TWeightPlane plane;
            plane.slice = ((position - centre) / fov + 0.5) * n - 0.5;
            plane.thickness = region->GetImage()->GetThickness();
            plane.mask.assign(cells, 0);
            grid.planes.push_back(std::move(plane));
        }
        addScratch(grid.planes[at->second].mask);
    }
    double size = 0.0;
    for (const TWeightPlane& plane : grid.planes)
        size += CountInside(plane.mask) * cellArea * plane.thickness;
    grid.size = static_cast<float>(size);
    grid.firstVoxel = set.GetVoxel(size_t{0});
    return true;
}

bool TRegionEstimate::VoxelWeights(const TCSISet& set, int o, const TWeightGrid& grid, std::vector<cd>& weights)
{
    int a1, a2;
    TMRImage::InPlaneAxes(o, a1, a2);
    const int m1 = set.m_nDim[a1], m2 = set.m_nDim[a2], n = set.m_nDim[o];
    weights.assign(set.GridSize(), cd());
    for (const TWeightPlane& plane : grid.planes) {
        const std::vector<cd> inPlane = PlaneWeights(plane.mask, grid.width, grid.height, m1, m2);
        for (int z = 0; z < n; ++z) {
            // One slice takes the weights as they are; several share them out along the
            // slice axis by the grid's frequencies there, per millimetre.
            cd along(1.0, 0.0);
            if (grid.multiSlice)
                along = GridKernel(z - plane.slice, n) / static_cast<double>(set.m_fFOV[o]);
            else if (z != static_cast<int>(plane.slice))
                continue;
            int index[3];
            index[o] = z;
            for (int y = 0; y < m2; ++y)
                for (int x = 0; x < m1; ++x) {
                    index[a1] = x;
                    index[a2] = y;
                    const cd w = inPlane[static_cast<size_t>(y) * m1 + x] * along;
                    weights[set.VoxelIndex(index[0], index[1], index[2])] += w;
                }
        }
    }
    if (!set.m_bKSpace)
        return true;
    // A set held in k-space: its voxels are the forward transform of its samples over the
    // voxel count, so the same sum runs over the samples with the weights taken there.
    for (int axis : set.SpatialAxes()) {
        ShiftGridLines(weights, set.m_nDim, axis, 0);
        if (!TransformGridLines(weights, set.m_nDim, axis, false))
            return false;
        ShiftGridLines(weights, set.m_nDim, axis, 1);
    }
    return true;
}

bool TRegionEstimate::Estimate()
{
    if (m_regions.empty())
        return false;
    const TDrawnRegion* first = m_regions.front();
    const TMRImage* image = first->GetImage();
    TCSISet* set = WorkSetOf(image);
    const int o = first->GetOrientation();
    int a1, a2;
    if (!set || !set->IsLoaded() || !TMRImage::InPlaneAxes(o, a1, a2) || set->VoxelCount() != set->GridSize())
        return false;
    const int m1 = set->m_nDim[a1], m2 = set->m_nDim[a2];
    const int points = set->m_nPoints;
    // Every frequency of the grid needs one of the mask: an image with fewer pixels than
    // the grid has voxels has too few.
    if (image->GetWidth() < m1 || image->GetHeight() < m2 || points < 1)
        return false;
    const size_t width = static_cast<size_t>(image->GetWidth()), height = static_cast<size_t>(image->GetHeight());
    if (width * height > kMaxMaskCells || width * m1 > kMaxKernelTable || height * m2 > kMaxKernelTable)
        return false;
    try {
        TWeightGrid grid;
        if (!BuildWeightGrid(*set, grid) || !grid.firstVoxel)
            return false;

        std::vector<cd> weights;
        if (!VoxelWeights(*set, o, grid, weights))
            return false;
        std::vector<cd> sum(static_cast<size_t>(points));
        for (size_t v = 0; v < weights.size(); ++v) {
            if (weights[v] == cd())
                continue;
            const TSpectrum* voxel = set->GetVoxel(v);
            if (!voxel || voxel->SampleCount() < points)
                return false;
            const TComplex* samples = voxel->Data();
            const cd w = std::conj(weights[v]);
            for (int t = 0; t < points; ++t)
                sum[static_cast<size_t>(t)] += cd(samples[t].real(), samples[t].imag()) * w;
        }

        TSpectrum result;
        TSpectrumParams params = grid.firstVoxel->GetParameters();
        params.m_nPoints = points;
        result.SetParameters(params);
        result.AllocateZeroed(points);
        TComplex* out = result.Data();
        for (int t = 0; t < points; ++t)
            out[t] = TComplex(static_cast<float>(sum[static_cast<size_t>(t)].real()),
                              static_cast<float>(sum[static_cast<size_t>(t)].imag()));
        result.UpdateRange();

        if (!m_pResult)
            m_pResult = std::make_unique<TSpectrum>();
        *m_pResult = result;
        m_fRegionSize = grid.size;
        m_pSet = set;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
