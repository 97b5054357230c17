// Peak integration and voxel selection of a CSI set: the two integrators behind the
// metabolite maps, the selection of voxels by their peak area (optionally under the
// bright part of an image) and the peak-to-noise test of every voxel.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/math/MatrixHelpers.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/math/TPoint2D.h"
#include "model/TProject.h"
#include "platform/Report.h"
#include "platform/Workers.h"

namespace {

// Below this many samples to visit the threads cost more than they save.
constexpr size_t kParallelSamples = size_t(1) << 16;

// first..last ordered and limited to 0..points-1.
void OrderAndClamp(int& first, int& last, int points)
{
    if (first > last)
        std::swap(first, last);
    const int top = std::max(points - 1, 0);
    first = std::clamp(first, 0, top);
    last = std::clamp(last, 0, top);
}

// fn(begin, end) over the workers' blocks of `voxels` voxels, on the calling thread
// alone when the work is small or a worker cannot start (fn then redoes every block:
// it only writes results of its own voxels).
template <class F>
void ForVoxelBlocks(size_t voxels, size_t samplesEach, const F& fn)
{
    const auto run = [&](int k, int n) {
        const vx::TWorkerBlock block = vx::WorkerBlock(k, n, voxels);
        fn(block.begin, block.end);
        return true;
    };
    if (voxels * samplesEach < kParallelSamples || !vx::RunWorkers(run))
        run(0, 1);
}

// Real parts of samples first..first+m-1 of the spectrum into x; 0 where it has none.
void RealWindow(const TSpectrum* s, int first, int m, double* x)
{
    const TComplex* d = s ? s->Data() : nullptr;
    const int count = d ? s->SampleCount() : 0;
    for (int j = 0; j < m; ++j)
        x[j] = first + j < count ? d[first + j].real() : 0.0;
}

}  // namespace

void TCSISet::IntegrateArea(TComplex* out, bool selectedOnly, int first, int last, bool centred) const
{
    if (!out || !m_bLoaded)
        return;
    OrderAndClamp(first, last, m_nPoints);
    const int width = last - first;
    ForVoxelBlocks(m_voxels.size(), static_cast<size_t>(width) + 1, [&](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v) {
            out[v] = TComplex(0.0f, 0.0f);
            const TSpectrum* s = m_voxels[v].get();
            if (!s || (selectedOnly && !s->m_bSelected))
                continue;
            if (!centred) {
                out[v] = s->SumRange(first, last);
                continue;
            }
            // width + 1 points around the peak, one more after it than before for an odd width.
            const int peak = s->LargestMagnitudePoint(first, last);
            if (peak >= 0)
                out[v] = s->SumRange(peak - width / 2, peak + (width + 1) / 2);
        }
    });
}

bool TCSISet::FitPeakMapValues(TComplex* out, bool selectedOnly, int first, int last) const
{
    if (!out || !m_bLoaded || m_nPoints < 1)
        return false;
    OrderAndClamp(first, last, m_nPoints);
    const int m = last - first + 1;
    // The work grows with the square of the window (and the eigen decomposition with its
    // cube): a window far wider than any peak is refused rather than run for hours.
    if (m > kMaxPCAPoints) {
        vx::Report("The peak interval is too wide for the principal component evaluation (at most " +
                   std::to_string(kMaxPCAPoints) + " points).");
        return false;
    }
    const size_t voxels = m_voxels.size();
    const auto included = [&](const TSpectrum* s) { return s && (!selectedOnly || s->m_bSelected); };

    // S = X'X / m over the voxels' windows (X one row per voxel), upper triangle. The
    // voxels are cut into chunks whose number depends on the voxel count alone; the
    // workers sum whole chunks and the chunk sums are added in chunk order, so S does not
    // depend on how many workers ran.
    const size_t mm = static_cast<size_t>(m) * static_cast<size_t>(m);
    const size_t chunk = std::max<size_t>(1024, (voxels + 63) / 64);
    const size_t chunks = (voxels + chunk - 1) / chunk;
    std::vector<double> partial(chunks * mm, 0.0);
    const auto sumChunks = [&](int k, int n) {
        const vx::TWorkerBlock block = vx::WorkerBlock(k, n, chunks);
        std::vector<double> x(static_cast<size_t>(m));
        for (size_t c = block.begin; c < block.end; ++c) {
            double* sums = partial.data() + c * mm;
            for (size_t v = c * chunk; v < std::min(voxels, (c + 1) * chunk); ++v) {
                const TSpectrum* s = m_voxels[v].get();
                if (!included(s))
                    continue;
                RealWindow(s, first, m, x.data());
                for (int i = 0; i < m; ++i) {
                    const double xi = x[static_cast<size_t>(i)];
                    double* row = sums + static_cast<size_t>(i) * static_cast<size_t>(m);
                    for (int j = i; j < m; ++j)
                        row[j] += xi * x[static_cast<size_t>(j)];
                }
            }
        }
        return true;
    };
    if (voxels * mm < kParallelSamples || chunks < 2 || !vx::RunWorkers(sumChunks)) {
        std::fill(partial.begin(), partial.end(), 0.0);
        sumChunks(0, 1);
    }
    // Rows and columns 1..m for the eigen routines; index 0 is unused.
    const size_t stride = static_cast<size_t>(m) + 1;
    std::vector<double> storage(stride * stride, 0.0);
    std::vector<double*> a(stride);
    for (size_t i = 0; i < stride; ++i)
        a[i] = storage.data() + i * stride;
    for (size_t c = 0; c < chunks; ++c)
        for (int i = 0; i < m; ++i)
            for (int j = i; j < m; ++j)
                a[i + 1][j + 1] += partial[c * mm + static_cast<size_t>(i) * static_cast<size_t>(m) + static_cast<size_t>(j)];
    for (int i = 1; i <= m; ++i)
        for (int j = i; j <= m; ++j) {
            a[i][j] /= m;
            a[j][i] = a[i][j];
        }

    std::vector<double> d(stride), e(stride);
    TridiagonalizeSymmetric(a.data(), m, d.data(), e.data());
    if (!TridiagonalEigen(d.data(), e.data(), m, a.data()))
        return false;
    SortEigenpairs(d.data(), a.data(), m);
    // The leading eigenvector, turned so that its points add up to a positive area.
    std::vector<double> lead(static_cast<size_t>(m));
    double area = 0;
    for (int j = 0; j < m; ++j) {
        lead[static_cast<size_t>(j)] = a[j + 1][1];
        area += lead[static_cast<size_t>(j)];
    }
    if (area < 0) {
        for (double& v : lead)
            v = -v;
        area = -area;
    }
    ForVoxelBlocks(voxels, static_cast<size_t>(m), [&](size_t begin, size_t end) {
        std::vector<double> x(static_cast<size_t>(m));
        for (size_t v = begin; v < end; ++v) {
            const TSpectrum* s = m_voxels[v].get();
            if (!included(s)) {
                out[v] = TComplex(0.0f, 0.0f);
                continue;
            }
            RealWindow(s, first, m, x.data());
            double score = 0;
            for (int j = 0; j < m; ++j)
                score += x[static_cast<size_t>(j)] * lead[static_cast<size_t>(j)];
            out[v] = TComplex(static_cast<float>(area * score), 0.0f);
        }
    });
    return true;
}

namespace {

// The values of an image's pixels, row by row: its float values when it has them, else
// its 16-bit pixels (loaded when needed). False when neither is there.
bool ImageValues(TMRImage& image, std::vector<float>& values)
{
    const size_t count = static_cast<size_t>(image.GetWidth()) * static_cast<size_t>(image.GetHeight());
    if (image.HasFloatValues() && image.GetFloatValues().size() == count) {
        values = image.GetFloatValues();
        return true;
    }
    image.GetPixel(0, 0);  // loads the pixels
    if (!image.IsLoaded() || image.GetPixels().size() != count || count == 0)
        return false;
    values.assign(image.GetPixels().begin(), image.GetPixels().end());
    return true;
}

// The voxel column of a position along an in-plane axis of n voxels over fov mm centred
// on `centre`; -1 outside the grid.
int VoxelColumn(float position, float centre, float fov, int n)
{
    if (!(fov > 0.0f))
        return -1;
    const double c = std::floor(((static_cast<double>(position) - centre) / fov + 0.5) * n);
    return (c >= 0.0 && c < n) ? static_cast<int>(c) : -1;
}

}  // namespace

void TCSISet::SelectVoxelsByArea(float fraction, int first, int last, bool useImage)
{
    if (!m_bLoaded || m_voxels.size() != GridSize() || m_voxels.empty())
        return;
    for (const std::unique_ptr<TSpectrum>& s : m_voxels)
        if (s)
            s->m_bSelected = 0;
    OrderAndClamp(first, last, m_nPoints);
    std::vector<double> area(m_voxels.size(), 0.0);
    ForVoxelBlocks(m_voxels.size(), static_cast<size_t>(last - first) + 1, [&](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v)
            area[v] = m_voxels[v] ? m_voxels[v]->MagnitudeSum(first, last) : 0.0;
    });
    const double largest = std::max(0.0, *std::max_element(area.begin(), area.end()));
    const double threshold = largest * fraction;

    const int sliceAxis = (m_nSliceAxis >= 0 && m_nSliceAxis < 3) ? m_nSliceAxis : 2;
    int a, b;
    TMRImage::InPlaneAxes(sliceAxis, a, b);
    const int n = m_nDim[sliceAxis];
    const float fov = m_fFOV[sliceAxis];
    // Index of voxel (i, j) of the plane (indices along a and b) of slice k.
    const auto indexOf = [&](int i, int j, int k) {
        int index[3];
        index[a] = i;
        index[b] = j;
        index[sliceAxis] = k;
        return VoxelIndex(index[0], index[1], index[2]);
    };
    std::vector<float> pixels;
    for (int k = 0; k < n; ++k) {
        TMRImage* image = nullptr;
        if (useImage && m_pProject && n > 0) {
            const float z = std::trunc(static_cast<float>(k - n / 2) * fov / static_cast<float>(n));
            const float half = fov / static_cast<float>(n) * 0.5f;
            image = m_pProject->FindNearestImage(sliceAxis, std::trunc(z - half), std::trunc(z + half));
        }
        if (image && ImageValues(*image, pixels)) {
            // The voxels under the bright half of the image, less those of too small an area.
            const float brightest = *std::max_element(pixels.begin(), pixels.end());
            const float cut = std::trunc(brightest) * 0.5f;
            const int width = image->GetWidth();
            for (size_t p = 0; p < pixels.size(); ++p) {
                if (!(pixels[p] >= cut))
                    continue;
                const TPoint2D mm = image->PixelToWorld(
                    TPoint2D(static_cast<float>(p % static_cast<size_t>(width)), static_cast<float>(p / static_cast<size_t>(width))));
                const int i = VoxelColumn(mm.x, m_fVoxelShift[a], m_fFOV[a], m_nDim[a]);
                const int j = VoxelColumn(mm.y, m_fVoxelShift[b], m_fFOV[b], m_nDim[b]);
                if (i >= 0 && j >= 0 && m_voxels[indexOf(i, j, k)])
                    m_voxels[indexOf(i, j, k)]->m_bSelected = 1;
            }
            for (int j = 0; j < m_nDim[b]; ++j)
                for (int i = 0; i < m_nDim[a]; ++i)
                    if (const size_t v = indexOf(i, j, k); m_voxels[v] && area[v] < threshold)
                        m_voxels[v]->m_bSelected = 0;
            continue;
        }
        for (int j = 0; j < m_nDim[b]; ++j)
            for (int i = 0; i < m_nDim[a]; ++i)
                if (const size_t v = indexOf(i, j, k); m_voxels[v])
                    m_voxels[v]->m_bSelected = area[v] >= threshold ? 1 : 0;
    }
}

bool TCSISet::TestPeakSNRAll(const TPeakSNRParams& params)
{
    // Every voxel is tested, also after one has passed: the test deselects the others.
    bool anySelected = false;
    for (const std::unique_ptr<TSpectrum>& s : m_voxels)
        if (s && s->TestPeakSNR(params))
            anySelected = true;
    return anySelected;
}
