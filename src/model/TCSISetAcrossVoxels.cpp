// Kernels of a set that act across its voxels: peak alignment of the selected spectra,
// lipid suppression by k-space extrapolation, and signal-space projection.
#include <algorithm>
#include <climits>
#include <complex>
#include <cstdint>
#include <new>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMap.h"
#include "platform/Lapack.h"
#include "platform/Report.h"
#include "platform/Workers.h"

namespace {

bool IsWindow(int first, int last, int points)
{
    return first >= 0 && first <= last && last < points;
}

}  // namespace

bool TCSISet::AlignPeaks(int first, int last)
{
    if (!HasAllSamples() || !IsWindow(first, last, m_nPoints))
        return false;
    std::vector<std::pair<TSpectrum*, int>> peaks;
    int64_t sum = 0;
    for (const std::unique_ptr<TSpectrum>& s : m_voxels)
        if (s->m_bSelected) {
            const int p = s->LargestMagnitudePoint(first, last);
            peaks.emplace_back(s.get(), p);
            sum += p;
        }
    if (peaks.empty())
        return false;
    const int target = static_cast<int>(sum / static_cast<int64_t>(peaks.size()));
    for (const auto& [s, p] : peaks)
        s->CircularShift(p - target);
    return true;
}

bool TCSISet::ShiftSelectedSpectra(int a, int b)
{
    if (!HasAllSamples() || !HasSelectedVoxels())
        return false;
    // Shifts wrap modulo the points, so any pair of points is safe.
    const int shift = static_cast<int>((static_cast<int64_t>(a) - b) % m_nPoints);
    for (const std::unique_ptr<TSpectrum>& s : m_voxels)
        if (s->m_bSelected)
            s->CircularShift(shift);
    return true;
}

bool TCSISet::SuppressLipids(int iterations)
{
    const size_t voxels = GridSize();
    if (m_kSpaceMask.empty() || m_kSpaceMask.size() != voxels || !CanTransformSpectra())
        return false;
    // The grid's lengths are checked here even for a set already in k-space, so that the
    // way back to voxel space cannot fail after the samples changed.
    const std::vector<int> axes = SpatialAxes();
    if (!CheckSpatialLengths(axes))
        return false;
    // The lipid region in the order of the voxel-space grid that a forward transform of
    // the centred k-space grid gives: the half swap of each transformed axis undone.
    TMap region;
    std::copy(m_nDim, m_nDim + 3, region.size);
    if (!region.AllocateValues())
        return false;
    for (size_t v = 0; v < voxels; ++v)
        region.Values()[v] = TComplex(m_voxels[v]->m_bSelected ? 1.0f : 0.0f, 0.0f);
    for (int axis : axes)
        region.ShiftGridAxis(axis, 0);
    std::vector<float> weight(voxels);
    for (size_t v = 0; v < voxels; ++v)
        weight[v] = region.Values()[v].real();

    if (!ToKSpace())
        return false;
    if (m_bFrequencyDomain == 1) {
        FFTShiftSpectra();
        if (!ToTimeDomain()) {
            FFTShiftSpectra();
            ToVoxelSpace();
            return false;
        }
    }

    // Every time point is extrapolated by itself; workers take blocks of time points.
    const bool extrapolated = vx::RunWorkerBlocks(static_cast<size_t>(m_nPoints), [&](size_t begin, size_t end) {
        TMap grid;
        std::copy(m_nDim, m_nDim + 3, grid.size);
        if (!grid.AllocateValues())
            return false;
        TComplex* w = grid.Values();
        std::vector<TComplex> sampled(voxels);
        for (size_t t = begin; t < end; ++t) {
            for (size_t v = 0; v < voxels; ++v)
                sampled[v] = w[v] = m_voxels[v]->Data()[t];
            for (int i = 0; i < iterations; ++i) {
                for (int axis : axes)
                    if (!grid.ForwardFFTAxis(axis))
                        return false;
                for (size_t v = 0; v < voxels; ++v)
                    w[v] *= weight[v];
                for (int axis : axes)
                    if (!grid.InverseFFTAxis(axis))
                        return false;
                for (size_t v = 0; v < voxels; ++v)
                    if (m_kSpaceMask[v] == 1)
                        w[v] = sampled[v];
            }
            for (size_t v = 0; v < voxels; ++v)
                m_voxels[v]->Data()[t] = w[v];
        }
        return true;
    });

    // The lengths were accepted on the way in, so only a worker that cannot be started
    // stops the way back; the flags then tell where the set stands.
    if (!ToVoxelSpace() || !ToFrequencyDomain())
        return false;
    FFTShiftSpectra();
    m_bLoaded = true;
    UpdateDataRange();
    return extrapolated;
}

bool TCSISet::SSPFilter(int n, int first, int last)
{
    const size_t voxelCount = GridSize();
    if (!HasAllSamples() || !IsWindow(first, last, m_nPoints))
        return false;
    const int m = last - first + 1;
    const int64_t rank = std::min<int64_t>(static_cast<int64_t>(voxelCount), m);
    if (n < 0 || n > rank)
        return false;
    if (n == 0)
        return true;
    // The routines index their arrays with 32-bit integers.
    const int64_t V64 = static_cast<int64_t>(voxelCount);
    if (V64 * std::max(m_nPoints, m) > INT_MAX) {
        vx::Report("The CSI set is too large for the signal-space projection.", vx::ReportIcon::Exclamation);
        return false;
    }
    const int V = static_cast<int>(voxelCount);
    const int k = static_cast<int>(rank);
    const int N = m_nPoints;
    const size_t rows = voxelCount;

    using ZComplex = std::complex<double>;
    using CComplex = std::complex<float>;
    std::vector<ZComplex> a, u, vt, work;
    std::vector<double> s, rwork;
    std::vector<CComplex> un, d, t;
    try {
        a.resize(rows * static_cast<size_t>(m));
        u.resize(rows * static_cast<size_t>(k));
        vt.resize(static_cast<size_t>(k) * static_cast<size_t>(m));
        s.resize(static_cast<size_t>(k));
        work.resize(3 * static_cast<size_t>(std::max(m, V)));
        rwork.resize(5 * static_cast<size_t>(k));
        un.resize(rows * static_cast<size_t>(n));
        d.resize(rows * static_cast<size_t>(N));
        t.resize(static_cast<size_t>(n) * static_cast<size_t>(N));
    } catch (const std::bad_alloc&) {
        vx::Report("There is not enough memory for the signal-space projection.", vx::ReportIcon::Exclamation);
        return false;
    }

    for (int j = 0; j < m; ++j)
        for (size_t v = 0; v < rows; ++v)
            a[static_cast<size_t>(j) * rows + v] = ZComplex(m_voxels[v]->Data()[first + j]);
    const int lwork = static_cast<int>(work.size());
    int info = 0;
    zgesvd_("S", "S", &V, &m, a.data(), &V, s.data(), u.data(), &V, vt.data(), &k, work.data(), &lwork,
            rwork.data(), &info, 1, 1);
    if (info != 0) {
        vx::Report("The singular value decomposition of the signal-space projection failed.",
                   vx::ReportIcon::Exclamation);
        return false;
    }

    for (size_t i = 0; i < un.size(); ++i)
        un[i] = CComplex(u[i]);
    for (int j = 0; j < N; ++j)
        for (size_t v = 0; v < rows; ++v)
            d[static_cast<size_t>(j) * rows + v] = m_voxels[v]->Data()[j];
    const CComplex one(1.0f, 0.0f), zero(0.0f, 0.0f), minusOne(-1.0f, 0.0f);
    // T = Un^H D, then D = D - Un T: each sample loses its part in the n patterns.
    cgemm_("C", "N", &n, &N, &V, &one, un.data(), &V, d.data(), &V, &zero, t.data(), &n, 1, 1);
    cgemm_("N", "N", &V, &N, &n, &minusOne, un.data(), &V, t.data(), &n, &one, d.data(), &V, 1, 1);

    for (int j = 0; j < N; ++j)
        for (size_t v = 0; v < rows; ++v)
            m_voxels[v]->Data()[j] = d[static_cast<size_t>(j) * rows + v];
    UpdateDataRange();
    return true;
}
