// Whole-set line broadening, k-space windows, the sliding-window baseline fit and the
// water removal by moving-average subtraction. The per-voxel work runs on the workers
// in contiguous blocks of voxels; every check and message happens on the calling
// thread before they start.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "model/math/ApodizationWindows.h"
#include "model/TCSISet.h"
#include "model/TWaterSuppressionParams.h"
#include "platform/Report.h"
#include "platform/Workers.h"

bool TCSISet::ApplyTimeWindow(const TTimeWindow& window)
{
    if (!CanTransformSpectra())
        return false;
    const std::vector<float> w =
        TimeWindowWeights(window, m_nPoints, static_cast<float>(m_nSpectralWidth), m_nEchoPosition);
    if (w.empty()) {
        vx::Report(kNoSpectralWidth, vx::ReportIcon::Exclamation);
        return false;
    }
    if (m_bFrequencyDomain == 1) {
        FFTShiftSpectra();
        if (!ToTimeDomain()) {
            FFTShiftSpectra();  // the swap is its own inverse
            return false;
        }
    }
    vx::RunWorkerBlocks(m_voxels.size(), [&](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v)
            m_voxels[v]->MultiplyWeights(w);
        return true;
    });
    // Only a thread that cannot be started stops the way back; the set then stays in
    // the time domain with its domain flag telling so.
    if (!ToFrequencyDomain())
        return false;
    FFTShiftSpectra();
    UpdateDataRange();
    return true;
}

bool TCSISet::LorentzFilter(float lorentzWidth)
{
    if (!ApplyTimeWindow({TTimeWindow::Exponential, lorentzWidth, 0.0f, 0.0f}))
        return false;
    m_fLorentzBroadening += lorentzWidth;
    return true;
}

bool TCSISet::GaussFilter(float gaussWidth)
{
    if (!ApplyTimeWindow({TTimeWindow::Gaussian, 0.0f, gaussWidth, 0.0f}))
        return false;
    m_fGaussBroadening = std::sqrt(m_fGaussBroadening * m_fGaussBroadening + gaussWidth * gaussWidth);
    return true;
}

bool TCSISet::LorentzGaussFilter(float lorentzWidth, float gaussWidth)
{
    if (!ApplyTimeWindow({TTimeWindow::LorentzGauss, lorentzWidth, gaussWidth, 0.0f}))
        return false;
    m_fLorentzBroadening += lorentzWidth;
    m_fGaussBroadening = std::sqrt(m_fGaussBroadening * m_fGaussBroadening + gaussWidth * gaussWidth);
    return true;
}

bool TCSISet::BaselineCorrection(float lineWidth, float factor)
{
    return ApplyTimeWindow({TTimeWindow::ConvolutionDifference, lineWidth, 0.0f, factor});
}

bool TCSISet::LorentzFilterPart(float lorentzWidth, int n, int k)
{
    const std::vector<float> w = TimeWindowWeights({TTimeWindow::Exponential, lorentzWidth, 0.0f, 0.0f},
                                                   m_nPoints, static_cast<float>(m_nSpectralWidth),
                                                   m_nEchoPosition);
    if (w.empty())
        return false;
    const vx::TWorkerBlock block = vx::WorkerBlock(k, n, m_voxels.size());
    for (size_t v = block.begin; v < block.end; ++v)
        if (m_voxels[v])
            m_voxels[v]->MultiplyWeights(w);
    return true;
}

bool TCSISet::SpatialFilter(int axis, int type, float p1, float p2)
{
    if (axis < 0 || axis > 2)
        return false;
    const int n = m_nDim[axis];
    if (n == 1)
        return true;
    const std::vector<double> w = SpatialWindowWeights(type, n, p1, p2);
    if (w.empty()) {
        if (type < kHammingWindow || type > kFermiWindow)
            std::fputs("Unknown spatial filter type!\n", stdout);
        return false;
    }
    if (!HasAllSamples() || !CheckSpatialLengths({axis}))
        return false;
    // Voxel space -> k-space along the axis in transform order (index 0 the centre),
    // the window, and back; as the pair InverseSpatialFFTAxis / SpatialFFTAxis.
    ShiftGridAxis(axis, 0);
    bool ok = TransformAxes({axis}, false);
    if (ok) {
        const size_t stride = axis == 0 ? 1 : axis == 1 ? static_cast<size_t>(m_nDim[0])
                                                        : static_cast<size_t>(m_nDim[0]) * m_nDim[1];
        vx::RunWorkerBlocks(m_voxels.size(), [&](size_t begin, size_t end) {
            for (size_t v = begin; v < end; ++v)
                m_voxels[v]->Multiply(TComplex(static_cast<float>(w[v / stride % static_cast<size_t>(n)]), 0.0f));
            return true;
        });
        // Weighted samples cannot be taken back (a weight may be 0): when the workers
        // cannot run the way back, it runs on this thread, which cannot fail.
        if (!TransformAxes({axis}, true))
            TransformAxes({axis}, true, 1);
    }
    ShiftGridAxis(axis, 1);
    return ok;
}

bool TCSISet::FitBaselineAll(int mode, int regionCount, const int32_t* regions)
{
    if (!HasAllSamples())
        return false;
    const bool allFitted = vx::RunWorkerBlocks(m_voxels.size(), [&](size_t begin, size_t end) {
        bool ok = true;
        for (size_t v = begin; v < end; ++v)
            ok = m_voxels[v]->FitBaseline(mode, regionCount, regions, FailureMessage::None) && ok;
        return ok;
    });
    UpdateDataRange();
    if (!allFitted)
        vx::Report(TSpectrum::kNotAllFitted, vx::ReportIcon::Exclamation, vx::BatchPolicy::AlwaysBox);
    return allFitted;
}

bool TCSISet::SuppressWater(const TWaterSuppressionParams& params)
{
    // The kernel is made only once the other overload has checked that it fits.
    return SuppressWater(params, [&] {
        std::vector<float> kernel;
        const float normaliser = BuildWaterSuppressionKernel(params.m_nWindowLength, params.m_nWindowType, kernel);
        return vx::RunWorkerBlocks(m_voxels.size(), [&](size_t begin, size_t end) {
            SubtractConvolvedBlock(params, kernel, normaliser, begin, end);
            return true;
        });
    });
}

bool TCSISet::SuppressWater(const TWaterSuppressionParams& params, const std::function<bool()>& subtract)
{
    if (params.m_nMethod != 0 && params.m_nMethod != 1)
        return false;
    if (!CanTransformSpectra())
        return false;
    const int64_t width = WaterSuppressionKernelWidth(params.m_nWindowLength);
    const int h = static_cast<int>(width / 2);
    if (params.m_nMethod == 0) {
        if (params.m_nWindowLength < 1) {
            vx::Report("The water suppression window must be at least 1 point long.", vx::ReportIcon::Exclamation);
            return false;
        }
        if (width > m_nPoints) {
            vx::Report("The water suppression window of " + std::to_string(params.m_nWindowLength) +
                           " points does not fit in the " + std::to_string(m_nPoints) + " points of the spectra.",
                       vx::ReportIcon::Exclamation);
            return false;
        }
    }
    const bool selectedOnly = params.m_bSelectedOnly != 0;
    auto taken = [&](size_t v) { return !selectedOnly || m_voxels[v]->m_bSelected; };

    if (m_bFrequencyDomain != 1) {
        if (!ToFrequencyDomain())
            return false;
        FFTShiftSpectra();
    }
    vx::RunWorkerBlocks(m_voxels.size(), [&](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v)
            if (taken(v))
                m_voxels[v]->CentrePeak(params.m_fPeakAlignRange);
        return true;
    });
    FFTShiftSpectra();
    if (!ToTimeDomain()) {
        FFTShiftSpectra();
        UpdateDataRange();
        return false;
    }
    // A missing HLSVD library is reported by RunHLSVD and leaves the samples alone; the
    // centring stays, and the result says that nothing was removed.
    const bool removed = params.m_nMethod == 1
                             ? RunHLSVD(params.m_nPeaks, params.m_fWaterStart, params.m_fWaterEnd, selectedOnly)
                             : subtract();
    const bool back = ToFrequencyDomain();
    if (back) {
        FFTShiftSpectra();
        // The residual was moved h points toward the start: the linear phase of that
        // shift, about the middle point, is taken back.
        if (params.m_nMethod == 0)
            Phase(0.0f, static_cast<float>(2.0 * std::numbers::pi * h), m_nPoints / 2, 0, 0, selectedOnly);
    }
    UpdateDataRange();
    SetModified();
    return back && removed;
}
