// Domain transforms of a whole CSI set (time <-> frequency), on worker threads when
// the machine has two or more processors, and the worker part of the moving-average
// water suppression. Worker k of n takes the k-th contiguous block of voxels; each spectrum
// belongs to one worker, so no lock is needed. The circular shift by the echo
// position is done by each worker on its own voxels, folded into the copy to the
// FFT's arrays, so that no part of a transform runs on one thread alone.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "model/TCSISet.h"
#include "model/math/TMixedRadixFFT.h"
#include "model/TWaterSuppressionParams.h"
#include "platform/Workers.h"

bool TCSISet::CanTransformSpectra() const
{
    if (m_nPoints < 1 || !HasAllSamples())
        return false;
    // Checked once here, on the calling thread: one report, never one per voxel
    // and never from a worker.
    return TMixedRadixFFT::CheckFFTLength(m_nPoints);
}

bool TCSISet::ToFrequencyDomain()
{
    if (!CanTransformSpectra())
        return false;
    const int workers = vx::ProcessorCount();
    if (workers > 1)
        return RunThreadsToFrequency(workers);
    if (!InverseFFTPart(1, 0))
        return false;
    m_bFrequencyDomain = 1;
    return true;
}

bool TCSISet::ToTimeDomain()
{
    if (!CanTransformSpectra())
        return false;
    const int workers = vx::ProcessorCount();
    if (workers > 1)
        return RunThreadsToTime(workers);
    if (!ForwardFFTPart(1, 0))
        return false;
    m_bFrequencyDomain = 0;
    return true;
}

bool TCSISet::RunVoxelWorkers(int n, int code)
{
    std::vector<TVoxelWorkerRow> rows;
    for (int k = 0; k < n; ++k)
        rows.push_back({this, code, n, k});
    std::vector<char> done(static_cast<size_t>(n), 0);
    const bool ok = vx::RunWorkers(n, [&](int k, int) {
        const bool result = VoxelThreadProc(rows[static_cast<size_t>(k)]) == 1;
        done[static_cast<size_t>(k)] = 1;
        return result;
    });
    if (ok)
        return true;
    // A worker could not start: every started one has been joined. Undo what the
    // finished ones did, so that the samples and the domain flag stay as they were.
    const int undo = code == kTransformToTime ? kTransformToFrequency
                   : code == kTransformToFrequency ? kTransformToTime : code;
    for (int k = 0; k < n; ++k)
        if (done[static_cast<size_t>(k)])
            VoxelThreadProc({this, undo, n, k});
    return false;
}

bool TCSISet::RunThreadsToFrequency(int n)
{
    if (!RunVoxelWorkers(n, kTransformToFrequency))
        return false;
    m_bFrequencyDomain = 1;
    return true;
}

bool TCSISet::RunThreadsToTime(int n)
{
    if (!RunVoxelWorkers(n, kTransformToTime))
        return false;
    m_bFrequencyDomain = 0;
    return true;
}

int TCSISet::VoxelThreadProc(const TVoxelWorkerRow& row)
{
    if (!row.set)
        return 1;
    switch (row.code) {
    case kTransformToTime:
        row.set->ForwardFFTPart(row.workers, row.index);
        break;
    case kTransformToFrequency:
        row.set->InverseFFTPart(row.workers, row.index);
        break;
    case kSwapHalves:
        row.set->FFTShiftPart(row.workers, row.index);
        break;
    default:
        break;
    }
    return 1;
}

bool TCSISet::ForwardFFTPart(int n, int k)
{
    return SpectralTransformPart(n, k, true);
}

bool TCSISet::InverseFFTPart(int n, int k)
{
    return SpectralTransformPart(n, k, false);
}

bool TCSISet::SpectralTransformPart(int n, int k, bool toTime)
{
    TSpectralWork work;
    bool ok = true;
    const vx::TWorkerBlock block = vx::WorkerBlock(k, n, m_voxels.size());
    for (size_t v = block.begin; v < block.end; ++v) {
        TSpectrum& s = *m_voxels[v];
        ok = (toTime ? s.FrequencyToTime(work, m_nEchoPosition) : s.TimeToFrequency(work, m_nEchoPosition)) && ok;
    }
    return ok;
}

void TCSISet::FFTShiftPart(int n, int k)
{
    const vx::TWorkerBlock block = vx::WorkerBlock(k, n, m_voxels.size());
    for (size_t v = block.begin; v < block.end; ++v)
        if (m_voxels[v])
            m_voxels[v]->FFTShift();
}

void TCSISet::FFTShiftSpectra()
{
    vx::RunWorkerBlocks(m_voxels.size(), [this](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v)
            if (m_voxels[v])
                m_voxels[v]->FFTShift();
        return true;
    });
}

int64_t WaterSuppressionKernelWidth(int length)
{
    const int64_t h = std::max(0, length / 2);  // ceil((L - 1) / 2) for a whole L
    return 2 * h + 1;
}

float BuildWaterSuppressionKernel(int length, int windowType, std::vector<float>& kernel)
{
    const int h = static_cast<int>(WaterSuppressionKernelWidth(length) / 2);
    kernel.assign(static_cast<size_t>(2 * h + 1), 1.0f);
    if (h == 0)
        return 1.0f;  // the Gaussian's formula is 0/0 here; one weight of 1 is its limit
    double sum = 0;
    for (int j = 0; j <= 2 * h; ++j) {
        double w = 1.0;
        if (windowType == 0)
            w = std::exp(-4.0 * (j - h) * (j - h) / (static_cast<double>(h) * h));
        else if (windowType == 2)
            w = std::cos((j - h) * std::numbers::pi / (2 * h + 2));
        kernel[static_cast<size_t>(j)] = static_cast<float>(w);
        sum += kernel[static_cast<size_t>(j)];
    }
    return windowType == 0 || windowType == 2 ? static_cast<float>(sum) : static_cast<float>(2 * h + 1);
}

bool TCSISet::SuppressWaterPart(const TWaterSuppressionParams& params, int n, int k)
{
    // A kernel wider than the spectrum would read before its first sample; its width is
    // checked before the kernel is made, as the length may come from a macro file.
    if (params.m_nWindowLength < 1 || WaterSuppressionKernelWidth(params.m_nWindowLength) > m_nPoints)
        return false;
    std::vector<float> w;
    const float norm = BuildWaterSuppressionKernel(params.m_nWindowLength, params.m_nWindowType, w);
    if (norm == 0.0f)
        return false;
    const vx::TWorkerBlock block = vx::WorkerBlock(k, n, m_voxels.size());
    SubtractConvolvedBlock(params, w, norm, block.begin, block.end);
    return true;
}

void TCSISet::SubtractConvolvedBlock(const TWaterSuppressionParams& params, const std::vector<float>& kernel,
                                     float normaliser, size_t begin, size_t end)
{
    for (size_t v = begin; v < end && v < m_voxels.size(); ++v) {
        TSpectrum* s = m_voxels[v].get();
        if (!s || s->SampleCount() < m_nPoints)
            continue;
        if (params.m_bSelectedOnly && !s->m_bSelected)
            continue;
        s->SubtractConvolved(params.m_nWindowLength, kernel, normaliser);
    }
}
