#include "model/TSpectrum.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "model/TCSISet.h"
#include "model/math/TPoint2D.h"

namespace {

// The 17 parameter words, between spectra and their parameter record (both name the
// fields alike).
template <class From, class To>
void CopyParameterWords(const From& from, To& to)
{
    to.m_nX = from.m_nX;
    to.m_nY = from.m_nY;
    to.m_nZ = from.m_nZ;
    to.m_bShown = from.m_bShown;
    std::copy(from.m_fCentre, from.m_fCentre + 3, to.m_fCentre);
    std::copy(from.m_fSize, from.m_fSize + 3, to.m_fSize);
    to.m_nPoints = from.m_nPoints;
    to.m_fRealMax = from.m_fRealMax;
    to.m_fRealMin = from.m_fRealMin;
    to.m_fImagMax = from.m_fImagMax;
    to.m_fImagMin = from.m_fImagMin;
    to.m_fMagnitudeMax = from.m_fMagnitudeMax;
    to.m_pDataSet = from.m_pDataSet;
}

}  // namespace

TSpectrum::TSpectrum() = default;

TSpectrum::~TSpectrum()
{
    FreeData();
}

TSpectrum::TSpectrum(const TSpectrum& other)
{
    *this = other;
}

TSpectrum& TSpectrum::operator=(const TSpectrum& other)
{
    if (this == &other)
        return *this;
    FreeData();
    CopyParameterWords(other, *this);
    if (other.HasData()) {
        // Copy what the source really holds; pad with zeros up to N.
        const int n = std::max(m_nPoints, 0);
        const int have = other.Usable();
        m_pData = new TComplex[static_cast<size_t>(std::max(n, 1))]();
        std::copy(other.m_pData, other.m_pData + std::min(have, n), m_pData);
        m_nCapacity = n;
        m_bOwned = 1;
    }
    return *this;
}

void TSpectrum::SetParameters(const TSpectrumParams& p)
{
    CopyParameterWords(p, *this);
    UpdateVoxelGeometry();
}

TSpectrumParams TSpectrum::GetParameters() const
{
    TSpectrumParams p;
    CopyParameterWords(*this, p);
    return p;
}

void TSpectrum::SetVoxelIndex(int x, int y, int z)
{
    m_nX = x;
    m_nY = y;
    m_nZ = z;
}

void TSpectrum::UpdateVoxelGeometry()
{
    if (!m_pDataSet)
        return;
    const int index[3] = {m_nX, m_nY, m_nZ};
    for (int d = 0; d < 3; ++d) {
        const float fov = m_pDataSet->m_fFOV[d];
        const int n = std::max(m_pDataSet->m_nDim[d], 1);
        m_fSize[d] = fov / static_cast<float>(n);
        m_fCentre[d] = (static_cast<float>(index[d]) + 0.5f) * m_fSize[d] - fov * 0.5f +
                       m_pDataSet->m_fVoxelShift[d];
    }
}

int TSpectrum::SampleCount() const
{
    return HasData() ? std::max(0, std::min(m_nPoints, m_nCapacity)) : 0;
}

void TSpectrum::AllocateZeroed(int n)
{
    FreeData();
    n = std::max(n, 0);
    m_pData = new TComplex[static_cast<size_t>(std::max(n, 1))]();
    m_nCapacity = n;
    m_bOwned = 1;
}

void TSpectrum::SetData(const float* interleaved)
{
    AllocateZeroed(m_nPoints);
    if (!interleaved)
        return;
    for (int i = 0; i < m_nCapacity; ++i)
        m_pData[i] = TComplex(interleaved[2 * i], interleaved[2 * i + 1]);
}

void TSpectrum::SetComplexData(const TComplex* data)
{
    AllocateZeroed(m_nPoints);
    if (data)
        std::copy(data, data + m_nCapacity, m_pData);
}

void TSpectrum::FreeData()
{
    if (m_bOwned)
        delete[] m_pData;
    m_pData = nullptr;
    m_nCapacity = 0;
    m_bOwned = 0;
}

float TSpectrum::GetReal(int i) const
{
    return (i >= 0 && i < Usable()) ? m_pData[i].real() : 0.0f;
}

float TSpectrum::GetImag(int i) const
{
    return (i >= 0 && i < Usable()) ? m_pData[i].imag() : 0.0f;
}

float TSpectrum::GetMagnitude(int i) const
{
    return (i >= 0 && i < Usable()) ? Magnitude(i) : 0.0f;
}

float TSpectrum::Magnitude(int i) const
{
    const double re = m_pData[i].real();
    const double im = m_pData[i].imag();
    return static_cast<float>(std::sqrt(re * re + im * im));
}

namespace {
// Points first..last of one part; points without a sample read 0. The drawing of
// every cell of a grid goes through here, so the bounds are settled once, not per point.
template <typename Part>
std::unique_ptr<float[]> RangeOf(const TSpectrum& s, int first, int last, Part part)
{
    if (!s.HasData() || last < first)
        return nullptr;
    auto out = std::make_unique<float[]>(static_cast<size_t>(last - first) + 1);  // zeros
    const int from = std::max(first, 0), to = std::min(last, s.SampleCount() - 1);
    for (int i = from; i <= to; ++i)
        out[static_cast<size_t>(i - first)] = part(i);
    return out;
}
}  // namespace

std::unique_ptr<float[]> TSpectrum::GetRealRange(int first, int last) const
{
    const TComplex* data = Data();
    return RangeOf(*this, first, last, [data](int i) { return data[i].real(); });
}

std::unique_ptr<float[]> TSpectrum::GetImagRange(int first, int last) const
{
    const TComplex* data = Data();
    return RangeOf(*this, first, last, [data](int i) { return data[i].imag(); });
}

std::unique_ptr<float[]> TSpectrum::GetMagnitudeRange(int first, int last) const
{
    return RangeOf(*this, first, last, [this](int i) { return Magnitude(i); });
}

float TSpectrum::GetMaxMagnitude() const
{
    const int n = Usable();
    if (n < 1)
        return 0.0f;
    float best = Magnitude(0);
    for (int i = 1; i < n; ++i)
        best = std::max(best, Magnitude(i));
    return best;
}

void TSpectrum::UpdateRange()
{
    const int n = Usable();
    if (n < 1) {
        m_fRealMax = m_fRealMin = m_fImagMax = m_fImagMin = m_fMagnitudeMax = 0.0f;
        return;
    }
    // The largest squared magnitude gives the largest magnitude (the square root is
    // monotonic), so one root at the end serves. The loop runs on every sample load:
    // kLanes running extremes, each starting from the first sample, let it vectorise;
    // the lanes are merged at the end (a NaN first sample stays, later NaNs are passed
    // over, as in a plain loop).
    constexpr int kLanes = 8;
    const float re0 = m_pData[0].real(), im0 = m_pData[0].imag();
    const double square0 = std::norm(std::complex<double>(m_pData[0]));
    float reMax[kLanes], reMin[kLanes], imMax[kLanes], imMin[kLanes];
    double squareMax[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        reMax[l] = reMin[l] = re0;
        imMax[l] = imMin[l] = im0;
        squareMax[l] = square0;
    }
    const auto take = [&](int l, int i) {
        const float re = m_pData[i].real(), im = m_pData[i].imag();
        reMax[l] = std::max(reMax[l], re);
        reMin[l] = std::min(reMin[l], re);
        imMax[l] = std::max(imMax[l], im);
        imMin[l] = std::min(imMin[l], im);
        const double r = re, m = im;
        squareMax[l] = std::max(squareMax[l], r * r + m * m);
    };
    int i = 1;
    for (; i + kLanes <= n; i += kLanes)
        for (int l = 0; l < kLanes; ++l)
            take(l, i + l);
    for (; i < n; ++i)
        take(0, i);
    for (int l = 1; l < kLanes; ++l) {
        reMax[0] = std::max(reMax[0], reMax[l]);
        reMin[0] = std::min(reMin[0], reMin[l]);
        imMax[0] = std::max(imMax[0], imMax[l]);
        imMin[0] = std::min(imMin[0], imMin[l]);
        squareMax[0] = std::max(squareMax[0], squareMax[l]);
    }
    m_fRealMax = reMax[0];
    m_fRealMin = reMin[0];
    m_fImagMax = imMax[0];
    m_fImagMin = imMin[0];
    m_fMagnitudeMax = static_cast<float>(std::sqrt(squareMax[0]));
}

TComplex TSpectrum::AverageRange(int first, int last) const
{
    if (last < first)
        return TComplex(0, 0);
    double re = 0, im = 0;
    for (int i = first; i <= last; ++i) {
        re += GetReal(i);
        im += GetImag(i);
    }
    const double count = static_cast<double>(last - first) + 1.0;
    return TComplex(static_cast<float>(re / count), static_cast<float>(im / count));
}

void TSpectrum::Add(const TSpectrum& other)
{
    if (!HasData() || m_nCapacity < m_nPoints) {
        // Start from zeros, keeping what is there.
        std::vector<TComplex> keep(Data() ? m_pData : nullptr,
                                   Data() ? m_pData + Usable() : nullptr);
        AllocateZeroed(m_nPoints);
        std::copy(keep.begin(), keep.end(), m_pData);
    }
    const int n = std::min(Usable(), other.Usable());
    for (int i = 0; i < n; ++i)
        m_pData[i] += other.m_pData[i];
}

void TSpectrum::Subtract(TComplex c)
{
    const int n = Usable();
    for (int i = 0; i < n; ++i)
        m_pData[i] -= c;
}

void TSpectrum::Multiply(TComplex c)
{
    const int n = Usable();
    for (int i = 0; i < n; ++i)
        m_pData[i] *= c;
}

void TSpectrum::ZeroFill(int n)
{
    n = std::max(n, 0);
    auto* grown = new TComplex[static_cast<size_t>(std::max(n, 1))]();
    std::copy(m_pData, m_pData + std::min(Usable(), n), grown);
    FreeData();
    m_pData = grown;
    m_nCapacity = n;
    m_bOwned = 1;
    m_nPoints = n;
}

void TSpectrum::FFTShift()
{
    const int n = Usable();
    const int h = n / 2;
    for (int i = 0; i < h; ++i)
        std::swap(m_pData[i], m_pData[i + h]);
}

void TSpectrum::CircularShift(int k)
{
    const int n = Usable();
    if (n < 1)
        return;
    const int shift = ((k % n) + n) % n;
    if (shift == 0)
        return;
    // new[i] = old[(i + shift) mod n]: the sample at `shift` comes first.
    std::rotate(m_pData, m_pData + shift, m_pData + n);
}

void TSpectrum::Phase(float phase0, float phase1, int pivot)
{
    const int n = Usable();
    for (int i = 0; i < n; ++i) {
        const double a = static_cast<double>(phase0) +
                         static_cast<double>(i - pivot) * static_cast<double>(phase1) / m_nPoints;
        m_pData[i] *= TComplex(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)));
    }
}

uint32_t TSpectrum::StateColour(bool selected, bool averaged, bool shown, bool mark)
{
    static const uint32_t table[16] = {
        0x0000ff, 0x00ff00, 0xc000c0, 0xc000c0, 0xc0c000, 0xc0c000, 0xc0c000, 0xc0c000,
        0x00ffff, 0x00ffff, 0x00ffff, 0x00ffff, 0x00ffff, 0x00ffff, 0x00ffff, 0x00ffff};
    return table[(selected ? 1 : 0) + (averaged ? 2 : 0) + (shown ? 4 : 0) + (mark ? 8 : 0)];
}

uint32_t TSpectrum::StateColour() const
{
    return StateColour(m_bSelected != 0, m_bAveraged != 0, (m_bShown & 0xff) != 0, m_bMark != 0);
}

bool TSpectrum::TimeToFrequency(TSpectralWork& w, int echo)
{
    return Transform(w, false, echo);
}

bool TSpectrum::FrequencyToTime(TSpectralWork& w, int echo)
{
    return Transform(w, true, echo);
}

namespace {
// The pairs (i, (i + shift) mod n) for i = 0..n-1, as two runs of consecutive
// indices {shifted start, plain start, length}; shift is below n.
struct TRun {
    size_t shifted, plain, length;
};
std::array<TRun, 2> RotatedRuns(size_t shift, size_t n)
{
    return {TRun{shift, 0, n - shift}, TRun{0, n - shift, shift}};
}
}  // namespace

bool TSpectrum::Transform(TSpectralWork& w, bool forward, int echo)
{
    const int n = SampleCount();
    if (n < 1 || n < m_nPoints)
        return false;
    const size_t count = static_cast<size_t>(n);
    const size_t e = static_cast<size_t>(((echo % n) + n) % n);
    for (std::vector<double>* v : {&w.reIn, &w.imIn, &w.reOut, &w.imOut})
        if (v->size() < count)
            v->resize(count);
    // To the frequency domain the samples are read from the echo on; to the time
    // domain the results are written back from the echo on. Each copy is two plain
    // runs, split where the rotation wraps, so that the compiler vectorises them.
    const size_t readFrom = forward ? 0 : e;
    const size_t writeFrom = forward ? e : 0;
    for (const auto& [from, to, length] : RotatedRuns(readFrom, count)) {
        for (size_t i = 0; i < length; ++i) {
            w.reIn[to + i] = m_pData[from + i].real();
            w.imIn[to + i] = m_pData[from + i].imag();
        }
    }
    const bool ok = forward ? w.fft.Forward(n, w.reIn.data(), w.imIn.data(), w.reOut.data(), w.imOut.data())
                            : w.fft.Inverse(n, w.reIn.data(), w.imIn.data(), w.reOut.data(), w.imOut.data());
    if (!ok)
        return false;
    const double scale = forward ? 1.0 / n : static_cast<double>(n);
    for (const auto& [to, from, length] : RotatedRuns(writeFrom, count)) {
        for (size_t i = 0; i < length; ++i)
            m_pData[to + i] = TComplex(static_cast<float>(w.reOut[from + i] * scale),
                                       static_cast<float>(w.imOut[from + i] * scale));
    }
    return true;
}

bool TSpectrum::ToTimeDomain()
{
    TSpectralWork work;
    return FrequencyToTime(work, m_pDataSet ? m_pDataSet->m_nEchoPosition : 0);
}

bool TSpectrum::ToFrequencyDomain()
{
    TSpectralWork work;
    return TimeToFrequency(work, m_pDataSet ? m_pDataSet->m_nEchoPosition : 0);
}

void TSpectrum::ApplyShiftPhase(const TPoint2D& offset, int sliceAxis)
{
    if (!m_pDataSet || sliceAxis < 0 || sliceAxis > 2 || !HasData())
        return;
    const int axes[2] = {sliceAxis == 0 ? 1 : 0, sliceAxis == 2 ? 1 : 2};
    const float shift[2] = {offset.x, offset.y};
    const int index[3] = {m_nX, m_nY, m_nZ};
    double theta = 0;
    for (int t = 0; t < 2; ++t) {
        const int d = axes[t];
        const int n = m_pDataSet->m_nDim[d];
        const double length = static_cast<double>(n) * m_fSize[d];
        if (n < 1 || length == 0.0)
            continue;
        const double k = index[d] >= n * 0.5 ? index[d] - n : index[d];
        theta += 2.0 * std::numbers::pi * k * shift[t] / length;
    }
    Multiply(TComplex(static_cast<float>(std::cos(theta)), static_cast<float>(-std::sin(theta))));
}

// --- peaks -------------------------------------------------------------------------------------

namespace {
// first..last ordered and limited to 0..count-1; false when nothing of it remains.
bool ClampWindow(int& first, int& last, int count)
{
    if (first > last)
        std::swap(first, last);
    if (count <= 0 || last < 0 || first >= count)
        return false;
    first = std::max(first, 0);
    last = std::min(last, count - 1);
    return true;
}
}  // namespace

int TSpectrum::LargestMagnitudePoint(int first, int last) const
{
    if (!ClampWindow(first, last, Usable()))
        return -1;
    int peak = first;
    float largest = Magnitude(first);
    for (int i = first + 1; i <= last; ++i) {
        const float m = Magnitude(i);
        if (m > largest) {
            largest = m;
            peak = i;
        }
    }
    return peak;
}

TComplex TSpectrum::SumRange(int first, int last) const
{
    if (!ClampWindow(first, last, Usable()))
        return TComplex(0, 0);
    // Four partial sums: one chain of additions would wait on each add's latency.
    double re[4] = {0, 0, 0, 0}, im[4] = {0, 0, 0, 0};
    int i = first;
    for (; i + 3 <= last; i += 4)
        for (int k = 0; k < 4; ++k) {
            re[k] += m_pData[i + k].real();
            im[k] += m_pData[i + k].imag();
        }
    for (; i <= last; ++i) {
        re[0] += m_pData[i].real();
        im[0] += m_pData[i].imag();
    }
    return TComplex(static_cast<float>((re[0] + re[1]) + (re[2] + re[3])),
                    static_cast<float>((im[0] + im[1]) + (im[2] + im[3])));
}

double TSpectrum::MagnitudeSum(int first, int last) const
{
    if (!ClampWindow(first, last, Usable()))
        return 0.0;
    double sum[4] = {0, 0, 0, 0};
    int i = first;
    for (; i + 3 <= last; i += 4)
        for (int k = 0; k < 4; ++k)
            sum[k] += Magnitude(i + k);
    for (; i <= last; ++i)
        sum[0] += Magnitude(i);
    return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

bool TSpectrum::TestPeakSNR(const TPeakSNRParams& params)
{
    if (!m_bSelected)
        return false;
    int peakFirst = params.peakFirst, peakLast = params.peakLast;
    int noiseFirst = params.noiseFirst, noiseLast = params.noiseLast;
    // A window outside the samples finds no peak: the voxel is not kept either.
    if (!ClampWindow(peakFirst, peakLast, Usable()) || !ClampWindow(noiseFirst, noiseLast, Usable())) {
        m_bSelected = 0;
        return false;
    }
    // A largest point on the edge of the window is the flank of something outside it.
    const int peak = LargestMagnitudePoint(peakFirst, peakLast);
    if (peak == peakFirst || peak == peakLast) {
        m_bSelected = 0;
        return false;
    }
    const double count = static_cast<double>(noiseLast - noiseFirst) + 1.0;
    const double mean = MagnitudeSum(noiseFirst, noiseLast) / count;
    double squares = 0;
    for (int i = noiseFirst; i <= noiseLast; ++i) {
        const double d = Magnitude(i) - mean;
        squares += d * d;
    }
    const double sigma = std::sqrt(squares / count);
    if (Magnitude(peak) >= mean + params.k * sigma)
        return true;
    m_bSelected = 0;
    return false;
}
