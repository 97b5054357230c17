// Copying a set, combining two sets sample by sample, and the operations that change
// every sample of a set (scale, normalisation, offset removal, phase, zero filling),
// with the de-identification of its texts.
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMapList.h"
#include "model/math/TMixedRadixFFT.h"
#include "platform/Report.h"
#include "platform/Workers.h"

namespace {

// The checks shared by the arithmetic of two sets, in their documented order. True
// when the operation may run over `voxels` voxels of `points` samples.
bool CheckOperands(const TCSISet& a, const TCSISet& b, size_t& voxels, size_t& points)
{
    for (int d = 0; d < 3; ++d)
        if (a.m_nDim[d] != b.m_nDim[d]) {
            vx::Report("The two CSI sets must have same dimensions!", vx::ReportIcon::Error,
                       vx::BatchPolicy::AlwaysBox);
            return false;
        }
    if (a.m_nPoints != b.m_nPoints) {
        vx::Report("The two CSI sets must have same number of data samples!", vx::ReportIcon::Error,
                   vx::BatchPolicy::AlwaysBox);
        return false;
    }
    if (!a.IsLoaded() || !b.IsLoaded() || a.VoxelCount() != b.VoxelCount())
        return false;
    voxels = a.VoxelCount();
    points = a.m_nPoints > 0 ? static_cast<size_t>(a.m_nPoints) : 0;
    return true;
}

// Applies op(sample of a, sample of b) to every sample both spectra hold.
template <class Op>
void ForEachSamplePair(TCSISet& a, const TCSISet& b, size_t voxels, size_t points, Op op)
{
    for (size_t i = 0; i < voxels; ++i) {
        TSpectrum* sa = a.GetVoxel(i);
        const TSpectrum* sb = b.GetVoxel(i);
        TComplex* da = sa ? sa->Data() : nullptr;
        const TComplex* db = sb ? sb->Data() : nullptr;
        if (!da || !db)
            continue;
        const size_t n = std::min({points, static_cast<size_t>(sa->SampleCount()),
                                   static_cast<size_t>(sb->SampleCount())});
        for (size_t k = 0; k < n; ++k)
            op(da[k], db[k]);
    }
}

// Samples of one spectrum that its array really holds, at most the set's points.
size_t SamplesOf(const TSpectrum& s, int setPoints)
{
    return static_cast<size_t>(std::max(0, std::min(s.SampleCount(), setPoints)));
}

// Applies op(sample) to every sample the set's spectra really hold, at most the set's
// points per spectrum.
template <class Op>
void ForEachSample(TCSISet& set, Op op)
{
    for (const std::unique_ptr<TSpectrum>& s : set.m_voxels) {
        if (!s)
            continue;
        TComplex* d = s->Data();
        const size_t n = SamplesOf(*s, set.m_nPoints);
        for (size_t k = 0; k < n; ++k)
            op(d[k]);
    }
}

}  // namespace

void TCSISet::CopyHeader(const TCSISet& other)
{
    if (&other == this)
        return;
    // Any voxels go, loaded or not: the copied grid may differ from the old one.
    FreeSpectra();
    static_cast<TCSIParams&>(*this) = static_cast<const TCSIParams&>(other);
    m_bAllocated = false;
    m_bLoaded = false;
    m_bWorkSet = 0;
    delete m_pMapList;
    m_pMapList = nullptr;
    m_kSpaceMask = other.m_kSpaceMask;
}

bool TCSISet::CopyDataFrom(const TCSISet& other)
{
    if (&other == this)
        return m_bLoaded;
    // The copy is voxel by voxel at the same x, y, z: grids and points must agree.
    if (!other.m_bLoaded || other.m_nPoints != m_nPoints || other.VoxelCount() != GridSize())
        return false;
    for (int d = 0; d < 3; ++d)
        if (other.m_nDim[d] != m_nDim[d])
            return false;
    if (!m_bAllocated || m_voxels.size() != GridSize()) {
        if (!AllocateVoxels())
            return false;
    }
    InitVoxels();
    for (size_t i = 0; i < m_voxels.size(); ++i) {
        const TSpectrum* from = other.GetVoxel(i);
        TSpectrum& to = *m_voxels[i];
        if (from && SamplesOf(*from, m_nPoints) == static_cast<size_t>(m_nPoints))
            to.SetComplexData(from->Data());
        else
            to.AllocateZeroed(m_nPoints);
    }
    m_bLoaded = true;
    UpdateDataRange();
    return true;
}

bool TCSISet::Add(const TCSISet& other)
{
    size_t voxels = 0, points = 0;
    if (!CheckOperands(*this, other, voxels, points))
        return false;
    ForEachSamplePair(*this, other, voxels, points, [](TComplex& a, const TComplex& b) { a += b; });
    return true;
}

bool TCSISet::Subtract(const TCSISet& other)
{
    size_t voxels = 0, points = 0;
    if (!CheckOperands(*this, other, voxels, points))
        return false;
    ForEachSamplePair(*this, other, voxels, points, [](TComplex& a, const TComplex& b) { a -= b; });
    return true;
}

bool TCSISet::RatioPercent(const TCSISet& other)
{
    size_t voxels = 0, points = 0;
    if (!CheckOperands(*this, other, voxels, points))
        return false;
    ForEachSamplePair(*this, other, voxels, points, [](TComplex& a, const TComplex& b) {
        a = std::fabs(a.real()) >= 1e-10f ? TComplex(100.0f * b.real() / a.real(), 0.0f) : TComplex(0.0f, 0.0f);
    });
    return true;
}

void TCSISet::Scale(float factor)
{
    ForEachSample(*this, [factor](TComplex& c) { c *= factor; });
    UpdateDataRange();
}

void TCSISet::NormalizeTo(float value)
{
    // The range is recomputed first so that a stale maximum cannot give a wrong scale;
    // a set without signal (maximum 0) is left alone instead of being scaled by infinity.
    UpdateDataRange();
    if (!(m_fMagnitudeMax > 0.0f) || !std::isfinite(m_fMagnitudeMax))
        return;
    Scale(value / m_fMagnitudeMax);
}

void TCSISet::RemoveDCOffset()
{
    if (m_nPoints < 1)
        return;
    const int first = static_cast<int>(static_cast<int64_t>(m_nPoints) * 7 / 8);
    const int last = m_nPoints - 1;
    std::complex<double> sum = 0.0;
    size_t counted = 0;
    for (const std::unique_ptr<TSpectrum>& s : m_voxels) {
        if (!s || SamplesOf(*s, m_nPoints) != static_cast<size_t>(m_nPoints))
            continue;
        const TComplex* d = s->Data();
        std::complex<double> mean = 0.0;
        for (int k = first; k <= last; ++k)
            mean += std::complex<double>(d[k]);
        sum += mean / static_cast<double>(last - first + 1);
        ++counted;
    }
    if (counted == 0)
        return;
    const TComplex offset(sum / static_cast<double>(counted));
    ForEachSample(*this, [offset](TComplex& c) { c -= offset; });
}

void TCSISet::Phase(float ph0, float ph1, int pivot, int perSlice, int slice, bool selectedOnly)
{
    if (m_nPoints < 1 || m_voxels.empty())
        return;
    const int axis = m_nSliceAxis;
    if (perSlice == 1 && (axis < 0 || axis > 2 || slice < 0 || slice >= m_nDim[axis]))
        return;
    // One factor per point, computed in double and kept as floats.
    const size_t n = static_cast<size_t>(m_nPoints);
    std::vector<TComplex> factor(n);
    for (size_t k = 0; k < n; ++k) {
        const double a = static_cast<double>(ph0) +
                         (static_cast<double>(k) - pivot) * static_cast<double>(ph1) / static_cast<double>(n);
        factor[k] = TComplex(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)));
    }
    const size_t nx = static_cast<size_t>(m_nDim[0]), ny = static_cast<size_t>(m_nDim[1]);
    vx::RunWorkerBlocks(m_voxels.size(), [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            TSpectrum* s = m_voxels[i].get();
            if (!s)
                continue;
            if (perSlice == 1) {
                // The voxel's index along the slice axis, from its place in the array.
                const size_t index[3] = {i % nx, (i / nx) % ny, i / (nx * ny)};
                if (index[axis] != static_cast<size_t>(slice))
                    continue;
            } else if (selectedOnly && !s->m_bSelected) {
                continue;
            }
            TComplex* d = s->Data();
            const size_t count = SamplesOf(*s, m_nPoints);
            for (size_t k = 0; k < count; ++k) {
                const TComplex a = d[k], f = factor[k];
                d[k] = TComplex(a.real() * f.real() - a.imag() * f.imag(), a.real() * f.imag() + a.imag() * f.real());
            }
        }
        return true;
    });
}

bool TCSISet::ZeroFill(int newPoints)
{
    // Only growth: a smaller count would cut the signal. Both lengths are checked
    // before anything changes, so a refused one leaves the set as it was.
    if (!m_bLoaded || !HasAllSamples() || newPoints < m_nPoints || !TMixedRadixFFT::CheckFFTLength(m_nPoints) ||
        !TMixedRadixFFT::CheckFFTLength(newPoints))
        return false;
    if (m_bFrequencyDomain) {
        FFTShiftSpectra();
        if (!ToTimeDomain()) {
            FFTShiftSpectra();
            return false;
        }
    }
    const int oldPoints = m_nPoints;
    for (const std::unique_ptr<TSpectrum>& s : m_voxels)
        s->ZeroFill(newPoints);
    m_nPoints = newPoints;
    m_fPPMCentrePoint *= static_cast<float>(newPoints) / static_cast<float>(oldPoints);
    if (!ToFrequencyDomain())
        return false;
    FFTShiftSpectra();
    UpdateDataRange();
    return true;
}

void TCSISet::Anonymize()
{
    m_strPatientName = "Anonymized";
    m_strPatientBirthDate = "Anonymized";
}
