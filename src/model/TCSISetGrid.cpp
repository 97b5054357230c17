// Whole-grid operations of a CSI set: the spatial transforms between voxel space and
// k-space, the half swaps of the grid, sign alternation, spatial phase ramps, the
// half-voxel shift, conjugation, transposes, flips, the k-space sampling mask and
// the voxel shift.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "model/math/GridShape.h"
#include "model/TCSISet.h"
#include "model/math/TMixedRadixFFT.h"
#include "model/math/TPoint2D.h"
#include "platform/WaitCursor.h"
#include "platform/Workers.h"

namespace {

// The two in-plane axes of a slice axis: 0 -> (1, 2), 1 -> (0, 2), 2 -> (0, 1).
void InPlaneAxes(int sliceAxis, int& a, int& b)
{
    a = sliceAxis == 0 ? 1 : 0;
    b = sliceAxis == 2 ? 1 : 2;
}

bool IsAxis(int axis) { return axis >= 0 && axis < 3; }

}  // namespace

bool TCSISet::HasAllSamples() const
{
    if (!m_bAllocated || m_voxels.size() != GridSize() || m_voxels.empty())
        return false;
    for (const std::unique_ptr<TSpectrum>& s : m_voxels)
        if (!s || s->SampleCount() < m_nPoints)
            return false;
    return true;
}

void TCSISet::RenumberVoxels()
{
    size_t i = 0;
    for (int z = 0; z < m_nDim[2]; ++z)
        for (int y = 0; y < m_nDim[1]; ++y)
            for (int x = 0; x < m_nDim[0]; ++x, ++i)
                if (TSpectrum* s = GetVoxel(i)) {
                    s->SetVoxelIndex(x, y, z);
                    s->UpdateVoxelGeometry();
                }
}

void TCSISet::ShiftGridAxis(int axis, int direction)
{
    if (!IsAxis(axis) || m_voxels.size() != GridSize() || m_voxels.empty() || m_nDim[axis] < 2)
        return;
    // Any direction other than 1 moves an odd line by floor(n/2).
    ShiftGridLines(m_voxels, m_nDim, axis, direction == 1 ? 1 : 0);
    RenumberVoxels();
}

bool TCSISet::TransformAxes(const std::vector<int>& requested, bool forward, int maxWorkers)
{
    if (!HasAllSamples())
        return false;
    std::vector<int> axes;
    for (int axis : requested) {
        if (!IsAxis(axis))
            return false;
        if (m_nDim[axis] >= 2)
            axes.push_back(axis);  // a transform of length 1 is the identity
    }
    if (!CheckSpatialLengths(axes))
        return false;
    const TGridShape g(m_nDim);
    const size_t points = static_cast<size_t>(m_nPoints);

    // Transforms the lines l = k, k + stride, ... of one axis.
    auto transformLines = [&](int axis, bool fwd, size_t k, size_t stride) {
        const int n = m_nDim[axis];
        const size_t count = static_cast<size_t>(n);
        // The forward transform is scaled by 1/n and the inverse (already 1/n) by n, so
        // that an inverse followed by a forward transform returns the input.
        const double scale = fwd ? 1.0 / n : static_cast<double>(n);
        const size_t lines = g.LineCount(axis);
        TMixedRadixFFT fft;
        // Within a line the sample indices are taken kBatch at a time: one read of kBatch
        // consecutive samples from each spectrum of the line gives the values of kBatch
        // transforms, which run together as one batch.
        // Value i of transform b (sample first + b of voxel i) at [i * kBatch + b].
        constexpr size_t kBatch = TMixedRadixFFT::kBatch;
        const size_t size = count * kBatch;
        std::vector<double> re(size), im(size), reOut(size), imOut(size);
        std::vector<TComplex*> data(count);
        for (size_t l = k; l < lines; l += stride) {
            const size_t start = g.LineStart(axis, l);
            for (size_t i = 0; i < count; ++i)
                data[i] = m_voxels[start + i * g.stride[axis]]->Data();
            for (size_t first = 0; first < points; first += kBatch) {
                const size_t width = std::min(kBatch, points - first);
                for (size_t i = 0; i < count; ++i)
                    for (size_t b = 0; b < kBatch; ++b) {
                        // The lanes past the last sample transform zeros.
                        const TComplex v = b < width ? data[i][first + b] : TComplex();
                        re[i * kBatch + b] = v.real();
                        im[i * kBatch + b] = v.imag();
                    }
                if (!(fwd ? fft.ForwardBatch(n, re.data(), im.data(), reOut.data(), imOut.data())
                          : fft.InverseBatch(n, re.data(), im.data(), reOut.data(), imOut.data())))
                    return false;  // not reached: the lengths are checked before the workers start
                for (size_t i = 0; i < count; ++i)
                    for (size_t b = 0; b < width; ++b)
                        data[i][first + b] = TComplex(static_cast<float>(reOut[i * kBatch + b] * scale),
                                                      static_cast<float>(imOut[i * kBatch + b] * scale));
            }
        }
        return true;
    };

    for (size_t a = 0; a < axes.size(); ++a) {
        const int axis = axes[a];
        const size_t lines = g.LineCount(axis);
        const int available = maxWorkers > 0 ? std::min(maxWorkers, vx::ProcessorCount()) : vx::ProcessorCount();
        const int workers = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(available, 1)), lines));
        // Lines are independent: worker k takes lines k, k + workers, ...
        std::vector<char> done(static_cast<size_t>(std::max(workers, 1)), 0);
        const bool ok = vx::RunWorkers(workers, [&](int k, int stride) {
            const bool result = transformLines(axis, forward, static_cast<size_t>(k), static_cast<size_t>(stride));
            done[static_cast<size_t>(k)] = result ? 1 : 0;
            return result;
        });
        if (ok)
            continue;
        // A worker could not run: take back what the others did on this axis and every
        // axis before it, on this thread, so the set is as it was.
        const size_t stride = static_cast<size_t>(std::max(workers, 1));
        for (size_t k = 0; k < done.size(); ++k)
            if (done[k])
                transformLines(axis, !forward, k, stride);
        for (size_t b = a; b-- > 0;)
            transformLines(axes[b], !forward, 0, 1);
        return false;
    }
    return true;
}

bool TCSISet::ForwardFFTAxis(int axis) { return TransformAxes({axis}, true); }

bool TCSISet::InverseFFTAxis(int axis) { return TransformAxes({axis}, false); }

bool TCSISet::SpatialFFTAxis(int axis)
{
    if (!ForwardFFTAxis(axis))
        return false;
    ShiftGridAxis(axis, 1);
    return true;
}

bool TCSISet::InverseSpatialFFTAxis(int axis)
{
    if (!IsAxis(axis) || !HasAllSamples())
        return false;
    if (!TMixedRadixFFT::CheckFFTLength(m_nDim[axis]))
        return false;
    ShiftGridAxis(axis, 0);
    return InverseFFTAxis(axis);
}

std::vector<int> TCSISet::SpatialAxes() const
{
    int a, b;
    InPlaneAxes(IsAxis(m_nSliceAxis) ? m_nSliceAxis : 2, a, b);
    std::vector<int> axes = {a, b};
    if (!m_bMultiSlice && IsAxis(m_nSliceAxis))
        axes.push_back(m_nSliceAxis);
    return axes;
}

bool TCSISet::CheckSpatialLengths(const std::vector<int>& axes) const
{
    for (int axis : axes)
        if (!TMixedRadixFFT::IsFFTLength(m_nDim[axis]))
            return TMixedRadixFFT::CheckFFTLength(m_nDim[axis]);  // reports once
    return true;
}

bool TCSISet::ToKSpace()
{
    return ToGridSpace(true);
}

bool TCSISet::ToVoxelSpace()
{
    return ToGridSpace(false);
}

bool TCSISet::ToGridSpace(bool kSpace)
{
    if ((m_bKSpace != 0) == kSpace)
        return true;
    const std::vector<int> axes = SpatialAxes();
    if (!HasAllSamples() || !CheckSpatialLengths(axes))
        return false;
    // Per axis: halves swapped back, transform (inverse to k-space), halves swapped; the
    // steps of different axes commute, so all axes are transformed in one pass.
    for (int axis : axes)
        ShiftGridAxis(axis, 0);
    if (!TransformAxes(axes, !kSpace)) {
        for (int axis : axes)
            ShiftGridAxis(axis, 1);  // the samples are back; so is their order
        return false;
    }
    for (int axis : axes)
        ShiftGridAxis(axis, 1);
    m_bKSpace = kSpace ? 1 : 0;
    return true;
}

bool TCSISet::BuildKSpaceMask(bool fromData)
{
    const size_t count = GridSize();
    m_kSpaceMask.assign(count, 1);
    if (!fromData)
        return true;
    // A set that cannot be brought to k-space keeps the mask of all points sampled.
    const bool convert = !m_bKSpace;
    if (convert && !ToKSpace())
        return false;
    for (size_t i = 0; i < count; ++i) {
        const TSpectrum* s = GetVoxel(i);
        m_kSpaceMask[i] = (s && s->GetMaxMagnitude() >= 1e-5f) ? 1 : 0;
    }
    if (convert)
        return ToVoxelSpace();
    return true;
}

template <typename F>
void TCSISet::MultiplyGrid(F factorOf)
{
    if (m_voxels.size() != GridSize())
        return;
    size_t i = 0;
    for (int z = 0; z < m_nDim[2]; ++z)
        for (int y = 0; y < m_nDim[1]; ++y)
            for (int x = 0; x < m_nDim[0]; ++x, ++i)
                if (TSpectrum* s = GetVoxel(i)) {
                    const int index[3] = {x, y, z};
                    s->Multiply(factorOf(index));
                }
}

void TCSISet::AlternateSignAlongAxis(int axis)
{
    if (!IsAxis(axis) || m_nDim[axis] < 2)
        return;
    MultiplyGrid([axis](const int index[3]) { return TComplex(index[axis] % 2 ? -1.0f : 1.0f, 0.0f); });
}

namespace {
// exp(-i pi sum_d t_d) as a single-precision factor.
TComplex PhaseFactor(double sum)
{
    const double a = -std::numbers::pi * sum;
    return TComplex(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)));
}
}  // namespace

void TCSISet::ApplySpatialPhaseRamp(int k)
{
    const int* n = m_nDim;
    MultiplyGrid([n, k](const int index[3]) {
        double sum = 0;
        for (int d = 0; d < 3; ++d)
            if (n[d] % 2 == 0)
                sum += CentredIndex(index[d], n[d]) / n[d];
        return PhaseFactor(k * sum);
    });
}

void TCSISet::ApplySpatialPhaseRampAxis(int sliceAxis, int k)
{
    if (!IsAxis(sliceAxis))
        return;
    int a, b;
    InPlaneAxes(sliceAxis, a, b);
    const int* n = m_nDim;
    MultiplyGrid([n, k, a, b](const int index[3]) {
        double sum = 0;
        for (int d : {a, b})
            if (n[d] % 2 == 0)
                sum += CentredIndex(index[d], n[d]) / n[d];
        return PhaseFactor(k * sum);
    });
}

void TCSISet::ApplyHalfVoxelShift()
{
    std::vector<int> axes;
    if (m_nSpatialDims == 2 && IsAxis(m_nSliceAxis)) {
        int a, b;
        InPlaneAxes(m_nSliceAxis, a, b);
        axes = {a, b};
    } else if (m_nSpatialDims == 3) {
        axes = {0, 1, 2};
    } else {
        return;
    }
    const int* n = m_nDim;
    MultiplyGrid([n, axes](const int index[3]) {
        double sum = 0;
        for (int d : axes)
            if (n[d] % 2 == 0)
                sum += static_cast<double>(index[d]) / n[d];
        return PhaseFactor(sum);
    });
}

void TCSISet::ConjugateAll()
{
    for (const std::unique_ptr<TSpectrum>& s : m_voxels) {
        TComplex* d = s ? s->Data() : nullptr;
        if (!d)
            continue;
        const int count = s->SampleCount();
        for (int i = 0; i < count; ++i)
            d[i] = std::conj(d[i]);
    }
}

void TCSISet::TransposeInPlane(int sliceAxis)
{
    if (!IsAxis(sliceAxis))
        return;
    int a, b;
    InPlaneAxes(sliceAxis, a, b);
    const size_t count = GridSize();
    int newDim[3] = {m_nDim[0], m_nDim[1], m_nDim[2]};
    std::swap(newDim[a], newDim[b]);
    const TGridShape to(newDim);
    const bool voxels = m_voxels.size() == count && count > 0;
    const bool mask = m_kSpaceMask.size() == count && count > 0;
    std::vector<std::unique_ptr<TSpectrum>> moved(voxels ? count : 0);
    std::vector<int32_t> movedMask(mask ? count : 0);
    size_t i = 0;
    for (int z = 0; z < m_nDim[2]; ++z)
        for (int y = 0; y < m_nDim[1]; ++y)
            for (int x = 0; x < m_nDim[0]; ++x, ++i) {
                int c[3] = {x, y, z};
                std::swap(c[a], c[b]);
                const size_t j = c[0] * to.stride[0] + c[1] * to.stride[1] + c[2] * to.stride[2];
                if (voxels)
                    moved[j] = std::move(m_voxels[i]);
                if (mask)
                    movedMask[j] = m_kSpaceMask[i];
            }
    std::copy(newDim, newDim + 3, m_nDim);
    if (voxels)
        m_voxels = std::move(moved);
    if (mask)
        m_kSpaceMask = std::move(movedMask);
    RenumberVoxels();
}

void TCSISet::FlipAxis(int axis)
{
    if (!IsAxis(axis) || m_nDim[axis] < 2)
        return;
    const size_t count = GridSize();
    const TGridShape g(m_nDim);
    const int n = m_nDim[axis];
    const bool voxels = m_voxels.size() == count && count > 0;
    const bool mask = m_kSpaceMask.size() == count && count > 0;
    for (size_t l = 0; l < g.LineCount(axis); ++l) {
        const size_t start = g.LineStart(axis, l);
        for (int i = 0, j = n - 1; i < j; ++i, --j) {
            const size_t p = start + static_cast<size_t>(i) * g.stride[axis];
            const size_t q = start + static_cast<size_t>(j) * g.stride[axis];
            if (voxels)
                std::swap(m_voxels[p], m_voxels[q]);
            if (mask)
                std::swap(m_kSpaceMask[p], m_kSpaceMask[q]);
        }
    }
    RenumberVoxels();
}

bool TCSISet::ShiftVoxels(const TPoint2D& target, int sliceAxis)
{
    vx::TWaitCursor wait;
    if (!IsAxis(sliceAxis))
        return false;
    int a, b;
    InPlaneAxes(sliceAxis, a, b);
    const TPoint2D d(target.x - m_fVoxelShift[a], target.y - m_fVoxelShift[b]);
    if (std::fabs(d.x) <= 1e-6f && std::fabs(d.y) <= 1e-6f)
        return true;
    if (!HasAllSamples())
        return false;
    const std::vector<int> axes = {a, b};
    if (!CheckSpatialLengths(axes))
        return false;
    // In-plane k-space (InverseSpatialFFTAxis of both axes), the phase of the shift,
    // and back (SpatialFFTAxis of both axes). A transform that cannot run leaves the
    // samples as they were (see TransformAxes); the set then keeps its old shift.
    for (int axis : axes)
        ShiftGridAxis(axis, 0);
    bool ok = TransformAxes(axes, false);
    if (ok) {
        for (const std::unique_ptr<TSpectrum>& s : m_voxels)
            s->ApplyShiftPhase(d, sliceAxis);
        ok = TransformAxes(axes, true);
        if (!ok) {
            // Back to the unshifted k-space samples, then to voxel space on this thread.
            for (const std::unique_ptr<TSpectrum>& s : m_voxels)
                s->ApplyShiftPhase(TPoint2D(-d.x, -d.y), sliceAxis);
            TransformAxes(axes, true, 1);
        }
    }
    if (ok) {
        // Set before the grid order is restored, which places the voxels by the shift.
        m_fVoxelShift[a] = target.x;
        m_fVoxelShift[b] = target.y;
    }
    for (int axis : axes)
        ShiftGridAxis(axis, 1);
    if (!ok)
        return false;
    UpdateDataRange();
    SetModified();
    return true;
}
