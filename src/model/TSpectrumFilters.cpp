// Time-domain windows, the sliding-window baseline fit, peak centring and the
// moving-average subtraction of one spectrum.
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <vector>

#include "model/math/ApodizationWindows.h"
#include "model/TCSISet.h"
#include "model/TSpectrum.h"
#include "platform/Report.h"

bool TSpectrum::ApplyTimeWindow(const TTimeWindow& window)
{
    if (!m_pDataSet || !HasData())
        return false;
    const std::vector<float> w = TimeWindowWeights(window, SampleCount(),
                                                   static_cast<float>(m_pDataSet->m_nSpectralWidth),
                                                   m_pDataSet->m_nEchoPosition);
    if (w.empty())
        return false;
    MultiplyWeights(w);
    return true;
}

bool TSpectrum::ApodizeExponential(float lorentzWidth)
{
    return ApplyTimeWindow({TTimeWindow::Exponential, lorentzWidth, 0.0f, 0.0f});
}

bool TSpectrum::ApodizeGaussian(float gaussWidth)
{
    return ApplyTimeWindow({TTimeWindow::Gaussian, 0.0f, gaussWidth, 0.0f});
}

bool TSpectrum::ApodizeLorentzGauss(float lorentzWidth, float gaussWidth)
{
    return ApplyTimeWindow({TTimeWindow::LorentzGauss, lorentzWidth, gaussWidth, 0.0f});
}

bool TSpectrum::ApplyConvolutionDifference(float lineWidth, float factor)
{
    return ApplyTimeWindow({TTimeWindow::ConvolutionDifference, lineWidth, 0.0f, factor});
}

void TSpectrum::MultiplyWeights(const std::vector<float>& weights)
{
    const size_t n = std::min(static_cast<size_t>(SampleCount()), weights.size());
    for (size_t k = 0; k < n; ++k)
        m_pData[k] *= weights[k];
}

namespace {

constexpr int kFitHalfWidth = 10;                    // points each side of a window's centre
constexpr int kFitWidth = 2 * kFitHalfWidth + 1;     // 21 points per window

using TComplexD = std::complex<double>;

// Replaces every region of w by the straight line between its end points.
void BridgeRegions(std::vector<TComplexD>& w, int regionCount, const int32_t* regions)
{
    const int n = static_cast<int>(w.size());
    if (!regions)
        return;
    for (int r = 0; r < regionCount; ++r) {
        int p = regions[2 * r], q = regions[2 * r + 1];
        if (p > q)
            std::swap(p, q);
        p = std::clamp(p, 0, n - 1);
        q = std::clamp(q, 0, n - 1);
        const int d = q - p;
        const TComplexD start = w[static_cast<size_t>(p)];
        const TComplexD slope = d != 0 ? (w[static_cast<size_t>(q)] - start) / static_cast<double>(d) : 0.0;
        for (int i = p; i < q; ++i)
            w[static_cast<size_t>(i)] = start + slope * static_cast<double>(i - p);
    }
}

// The fitted value at the centre of one window of 21 points, or false.
bool FitWindow(int mode, const double y[], double& centre)
{
    double x[kFitWidth + 1], sig[kFitWidth + 1];
    for (int i = 1; i <= kFitWidth; ++i) {
        x[i] = i - 1;
        sig[i] = 1.0;
    }
    if (mode == 0) {
        TStraightLineFit line;
        if (!FitStraightLine(x, y, kFitWidth, sig, false, line))
            return false;
        centre = line.a + kFitHalfWidth * line.b;
        return true;
    }
    double covarRows[4][4];
    double* covar[4] = {covarRows[0], covarRows[1], covarRows[2], covarRows[3]};
    double a[4] = {0, 0, 0, 0};
    const int free[4] = {0, 1, 1, 1};
    if (!TSpectrum::FitLinearModel(x, y, sig, kFitWidth, a, free, covar))
        return false;
    centre = a[1] + a[2] * kFitHalfWidth + a[3] * kFitHalfWidth * kFitHalfWidth;
    return true;
}

// Every window is fitted against the same abscissae 0..20 with unit errors, so the
// fitted value at its centre is one fixed weighted sum of its 21 points (the fit is
// linear in the data): the fit of each unit impulse gives that point's weight. One fit
// per point of the window, once, instead of two per point of every spectrum.
struct TCentreWeights {
    bool ok = true;
    double w[kFitWidth] = {};
};
const TCentreWeights& CentreWeights(int mode)
{
    static const std::array<TCentreWeights, 2> weights = [] {
        std::array<TCentreWeights, 2> out;
        for (int fit = 0; fit < 2; ++fit)
            for (int m = 0; m < kFitWidth; ++m) {
                double impulse[kFitWidth + 1] = {};
                impulse[m + 1] = 1.0;
                TCentreWeights& g = out[static_cast<size_t>(fit)];
                g.ok = FitWindow(fit, impulse, g.w[m]) && g.ok;
            }
        return out;
    }();
    return weights[static_cast<size_t>(mode)];
}

}  // namespace

bool TSpectrum::FitBaseline(int mode, int regionCount, const int32_t* regions, FailureMessage message)
{
    const int n = SampleCount();
    if (n <= 2 * kFitHalfWidth || (mode != 0 && mode != 1))
        return true;
    std::vector<TComplexD> w(m_pData, m_pData + n);
    BridgeRegions(w, regionCount, regions);
    const TCentreWeights& g = CentreWeights(mode);
    std::vector<TComplexD> baseline(static_cast<size_t>(n), 0.0);
    bool allFitted = g.ok;
    for (int c = kFitHalfWidth; g.ok && c < n - kFitHalfWidth; ++c) {
        TComplexD b = 0.0;
        for (int m = 0; m < kFitWidth; ++m)
            b += g.w[m] * w[static_cast<size_t>(c - kFitHalfWidth + m)];
        // Corrupt samples (an infinity or a NaN) would spread over the whole window.
        if (std::isfinite(b.real()) && std::isfinite(b.imag()))
            baseline[static_cast<size_t>(c)] = b;
        else
            allFitted = false;
    }
    for (int c = kFitHalfWidth; c < n - kFitHalfWidth; ++c)
        m_pData[c] -= TComplex(baseline[static_cast<size_t>(c)]);
    if (!allFitted && message == FailureMessage::Show)
        vx::Report(TSpectrum::kNotAllFitted, vx::ReportIcon::Exclamation, vx::BatchPolicy::AlwaysBox);
    return allFitted;
}

bool TSpectrum::FitLinearModel(const double x[], const double y[], const double sig[], int n, double a[],
                               const int free[], double** covar)
{
    constexpr int kBasis = 3;  // 1, x, x^2
    int fitted = 0;
    for (int j = 1; j <= kBasis; ++j)
        fitted += free[j] ? 1 : 0;
    if (fitted == 0 || n < 1)
        return false;
    double beta[kBasis + 1] = {};
    for (int j = 1; j <= fitted; ++j)
        for (int k = 1; k <= fitted; ++k)
            covar[j][k] = 0.0;
    for (int i = 1; i <= n; ++i) {
        const double f[kBasis + 1] = {0.0, 1.0, x[i], x[i] * x[i]};
        double ym = y[i];
        for (int l = 1; l <= kBasis; ++l)
            if (!free[l])
                ym -= a[l] * f[l];
        const double weight = 1.0 / (sig[i] * sig[i]);
        // The lower triangle of the normal equations; mirrored below.
        for (int l = 1, j = 0; l <= kBasis; ++l) {
            if (!free[l])
                continue;
            const double wt = f[l] * weight;
            ++j;
            for (int m = 1, k = 0; m <= l; ++m)
                if (free[m])
                    covar[j][++k] += wt * f[m];
            beta[j] += ym * wt;
        }
    }
    for (int j = 2; j <= fitted; ++j)
        for (int k = 1; k < j; ++k)
            covar[k][j] = covar[j][k];
    double rhsRows[kBasis + 1][2] = {};
    double* rhs[kBasis + 1] = {rhsRows[0], rhsRows[1], rhsRows[2], rhsRows[3]};
    for (int j = 1; j <= fitted; ++j)
        rhs[j][1] = beta[j];
    if (!SolveGaussJordan(covar, fitted, rhs, 1))
        return false;
    for (int l = 1, j = 0; l <= kBasis; ++l)
        if (free[l])
            a[l] = rhs[++j][1];
    return true;
}

bool TSpectrum::CentrePeak(float range)
{
    const int n = SampleCount();
    if (!m_pDataSet || n < 1)
        return false;
    // Half width of the search in points; a wide range (or a spectral width of 0)
    // searches the whole spectrum, never beyond it.
    const double half = static_cast<double>(n) * m_pDataSet->m_fFrequency * range /
                        static_cast<double>(m_pDataSet->m_nSpectralWidth);
    const int w = half >= n ? n : half > 0 ? static_cast<int>(half) : 0;
    const int mid = n / 2;
    const int first = std::max(0, mid - w), last = std::min(n - 1, mid + w);
    int peak = first;
    float best = -1.0f;
    for (int i = first; i <= last; ++i) {
        const float m = Magnitude(i);
        if (m >= best) {  // on equal magnitudes the later point wins
            best = m;
            peak = i;
        }
    }
    const int shift = peak - mid;
    if (shift == 0)
        return true;
    std::vector<TComplex> moved(static_cast<size_t>(n), TComplex(0, 0));
    for (int i = 0; i < n; ++i) {
        const int from = i + shift;
        if (from >= 0 && from < n)
            moved[static_cast<size_t>(i)] = m_pData[from];
    }
    std::copy(moved.begin(), moved.end(), m_pData);
    return true;
}

bool TSpectrum::SubtractConvolved(int length, const std::vector<float>& kernel, float normaliser)
{
    const int n = SampleCount();
    const int h = std::max(0, static_cast<int>(std::ceil((length - 1) * 0.5)));
    if (length < 1 || kernel.size() != static_cast<size_t>(2 * h + 1) || 2 * h + 1 > n || normaliser == 0.0f)
        return false;
    // In place: the smoothed value at j + h reads samples j..j + 2h, none of which has
    // been overwritten when sample j is.
    TComplex* x = m_pData;
    for (int j = 0; j <= n - 2 * h - 2; ++j) {
        TComplexD acc = 0.0;
        for (int m = 0; m <= 2 * h; ++m)
            acc += TComplexD(x[j + m]) * static_cast<double>(kernel[static_cast<size_t>(m)]);
        x[j] = x[j + h] - TComplex(acc / static_cast<double>(normaliser));
    }
    for (int j = std::max(0, n - 2 * h - 1); j < n; ++j)
        x[j] = TComplex(0, 0);
    return true;
}
