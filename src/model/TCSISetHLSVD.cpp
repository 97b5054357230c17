// Removal of HLSVD model components from the voxel FIDs of a set.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "model/HLSVDLibrary.h"
#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"
#include "platform/Workers.h"

namespace {

// The routine fits at most this many leading samples; the model covers all of them.
constexpr int kMaxFitPoints = 512;
// Work arrays are sized for at least this many components.
constexpr int kMinWorkComponents = 100;
// A component that would exceed this magnitude anywhere in the FID is not subtracted:
// it would overflow the single-precision samples.
constexpr double kMaxModelMagnitude = 1e30;

// The arguments of one routine call and their buffers, made once per worker and
// reused for each of its voxels (the routine keeps nothing between calls).
class THLSVDCall {
public:
    THLSVDCall(int points, int peaks)
        : m_n(std::min(points, kMaxFitPoints)),
          m_rows(m_n / 2),
          m_cols(m_n - m_n / 2 + 1),
          // No more components can be found than the Hankel matrix has rows; asking for
          // more would only grow the work arrays.
          m_peaks(std::clamp(peaks, 0, std::max(m_rows, 1))),
          m_kmax(m_peaks > kMinWorkComponents ? m_peaks : kMinWorkComponents),
          m_lrw((m_n + 8 * m_kmax + 13) * m_kmax + 20 * m_n),
          m_lzw((5 * m_kmax + 100 + 4 * m_n) * m_kmax + 84 * m_n + 20),
          m_signal(2 * static_cast<size_t>(m_n)),
          m_sigma(static_cast<size_t>(std::max(m_rows, 1))),
          m_amplitudes(static_cast<size_t>(std::max(m_peaks, 1))),
          m_phases(m_amplitudes.size()),
          m_dampings(m_amplitudes.size()),
          m_frequencies(m_amplitudes.size()),
          m_rwork(static_cast<size_t>(m_lrw)),
          m_zwork(2 * static_cast<size_t>(m_lzw)),
          m_model(static_cast<size_t>(points))
    {
    }

    // Fits the first samples of x and subtracts the removed components from all N.
    void Process(vx::THLSVDRoutine routine, TComplex* x, double bandLow, double bandHigh)
    {
        if (m_peaks < 1 || m_rows < 2)
            return;
        for (int t = 0; t < m_n; ++t) {
            m_signal[2 * static_cast<size_t>(t)] = x[t].real();
            m_signal[2 * static_cast<size_t>(t) + 1] = x[t].imag();
        }
        for (std::vector<double>* out : {&m_sigma, &m_amplitudes, &m_phases, &m_dampings, &m_frequencies})
            std::fill(out->begin(), out->end(), 0.0);
        int found = 0;
        routine(m_signal.data(), &m_n, &m_rows, &m_cols, &m_peaks, &found, &m_kmax, m_sigma.data(),
                m_amplitudes.data(), m_phases.data(), m_dampings.data(), m_frequencies.data(), m_rwork.data(),
                &m_lrw, m_zwork.data(), &m_lzw);
        // Whatever the routine left is used, but never read past the arrays.
        found = std::clamp(found, 0, m_peaks);
        std::fill(m_model.begin(), m_model.end(), std::complex<double>(0));
        bool any = false;
        for (size_t c = 0; c < static_cast<size_t>(found); ++c)
            any |= AddIfRemoved(m_amplitudes[c], m_phases[c], m_dampings[c], m_frequencies[c], bandLow, bandHigh);
        if (!any)
            return;
        for (size_t t = 0; t < m_model.size(); ++t)
            x[t] -= TComplex(m_model[t]);
    }

private:
    // Adds A exp(d t) exp(i (2 pi f t + phase)), t = 0..N-1, to the model when the
    // component lies inside the band or is so damped that it is baseline.
    bool AddIfRemoved(double a, double phase, double d, double f, double bandLow, double bandHigh)
    {
        for (double v : {a, phase, d, f})
            if (!std::isfinite(v))
                return false;
        const bool inBand = bandLow < f && f < bandHigh;
        if (!inBand && !(std::exp(4 * d) < 0.1))
            return false;
        const double last = static_cast<double>(m_model.size() - 1);
        if (std::abs(a) * std::exp(std::max(d, 0.0) * last) > kMaxModelMagnitude)
            return false;
        std::complex<double> term = std::polar(a, phase);
        const std::complex<double> step = std::exp(d) * std::polar(1.0, 2 * std::numbers::pi * f);
        for (std::complex<double>& m : m_model) {
            m += term;
            term *= step;
        }
        return true;
    }

    int m_n, m_rows, m_cols, m_peaks, m_kmax, m_lrw, m_lzw;
    std::vector<double> m_signal, m_sigma, m_amplitudes, m_phases, m_dampings, m_frequencies, m_rwork, m_zwork;
    std::vector<std::complex<double>> m_model;
};

}  // namespace

bool TCSISet::RunHLSVD(int peaks, float waterStart, float waterEnd, bool selectedOnly)
{
    vx::TDynamicLibrary library;
    int error = 0;
    if (!vx::OpenHLSVDLibrary(library, error)) {
        vx::Report("Failed to load the HLSVD DLL. Error code : " + FloatToString(static_cast<float>(error), 1),
                   vx::ReportIcon::None, vx::BatchPolicy::AlwaysBox);
        return false;
    }
    const vx::THLSVDRoutine routine = vx::FindHLSVDRoutine(library, error);
    if (!routine) {
        vx::Report("Failed to call the HLSVDPro routine! Error code : " + FloatToString(static_cast<float>(error), 1),
                   vx::ReportIcon::None, vx::BatchPolicy::AlwaysBox);
        return false;
    }
    const int points = m_nPoints;
    if (points < 1 || m_voxels.empty())
        return true;
    // The band in cycles per sample; without a spectral width there is no band and only
    // the heavily damped components go.
    double bandLow = 0, bandHigh = 0;
    if (m_nSpectralWidth > 0) {
        bandLow = static_cast<double>(waterEnd) / m_nSpectralWidth;
        bandHigh = static_cast<double>(waterStart) / m_nSpectralWidth;
    }

    // The buffers are made here, on the calling thread, before any sample changes.
    const int workers = std::max(1, vx::ProcessorCount());
    std::vector<THLSVDCall> calls;
    calls.reserve(static_cast<size_t>(workers));
    for (int k = 0; k < workers; ++k)
        calls.emplace_back(points, peaks);
    std::vector<char> done(static_cast<size_t>(workers), 0);
    auto part = [&](int k, int n) {
        const vx::TWorkerBlock block = vx::WorkerBlock(k, n, m_voxels.size());
        THLSVDCall& call = calls[static_cast<size_t>(k)];
        for (size_t v = block.begin; v < block.end; ++v) {
            TSpectrum* s = m_voxels[v].get();
            if (!s || s->SampleCount() < points || (selectedOnly && !s->m_bSelected))
                continue;
            call.Process(routine, s->Data(), bandLow, bandHigh);
        }
        done[static_cast<size_t>(k)] = 1;
        return true;
    };
    // A worker that could not be started leaves its block to the calling thread.
    if (!vx::RunWorkers(workers, part))
        for (int k = 0; k < workers; ++k)
            if (!done[static_cast<size_t>(k)])
                part(k, workers);
    return true;
}

bool TCSISet::RemovePeaksHLSVD(int peaks, float waterStart, float waterEnd, bool selectedOnly)
{
    FFTShiftSpectra();
    if (!ToTimeDomain()) {
        FFTShiftSpectra();
        return false;
    }
    const bool result = RunHLSVD(peaks, waterStart, waterEnd, selectedOnly);
    ToFrequencyDomain();  // the length the forward transform just took
    FFTShiftSpectra();
    UpdateDataRange();
    return result;
}
