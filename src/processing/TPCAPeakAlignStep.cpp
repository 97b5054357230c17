#include "processing/TPCAPeakAlignStep.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>

#include "model/math/MatrixHelpers.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/math/TMixedRadixFFT.h"
#include "platform/Report.h"
#include "platform/Workers.h"
#include "processing/TAnalysisPCA.h"
#include "processing/TRadix2FFT.h"

namespace {

const char* const kNotTheAnalysedSet = "The PCA correction can only be applied when the analysed CSI set is the work set.";

// Coefficients a0 below this leave a voxel as it is.
constexpr double kSmallestAmplitude = 1e-8;

using TComplexD = std::complex<double>;

void SwapHalves(std::vector<TComplexD>& z)
{
    const size_t half = z.size() / 2;
    for (size_t i = 0; i < half; ++i)
        std::swap(z[i], z[i + half]);
}

// The last point of the largest value among values[0..n-1].
int LastLargest(const float* values, int n)
{
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (values[i] >= values[best])
            best = i;
    return best;
}

}  // namespace

TPCAPeakAlignStep::TPCAPeakAlignStep(const TPCAAlignParams& params, TAnalysisPCA* analysis, TCSISet* pSet)
    : TWholeSetStep(kKind, "pa", false, pSet), TPCACorrection(analysis), m_params(params)
{
    if (analysis)
        m_voxelList = analysis->GetVoxelList();
}

TPCAPeakAlignStep::~TPCAPeakAlignStep() = default;

bool TPCAPeakAlignStep::Undo()
{
    if (!SwapState(TStateChange::Undo))
        return false;
    TAnalysisPCA* analysis = GetAnalysis();
    if (analysis && !analysis->Corrections().empty() && analysis->Corrections().back() == this)
        analysis->PopCorrection();
    return true;
}

bool TPCAPeakAlignStep::Redo()
{
    if (!SwapState(TStateChange::Redo))
        return false;
    if (TAnalysisPCA* analysis = GetAnalysis())
        analysis->PushCorrection(this);
    return true;
}

const TFloatMatrix* TPCAPeakAlignStep::GetPhaseCorrectionMap(int slice) const
{
    return slice >= 0 && static_cast<size_t>(slice) < m_phaseMaps.size() ? m_phaseMaps[size_t(slice)].get() : nullptr;
}

const TFloatMatrix* TPCAPeakAlignStep::GetFrequencyCorrectionMap(int slice) const
{
    return slice >= 0 && static_cast<size_t>(slice) < m_frequencyMaps.size() ? m_frequencyMaps[size_t(slice)].get()
                                                                              : nullptr;
}

// --- applying ---------------------------------------------------------------------------------

bool TPCAPeakAlignStep::AnalysisFits(const TAnalysisPCA& analysis) const
{
    const TCSISet& set = *m_pDataSet;
    const int n = m_params.m_nLastPoint - m_params.m_nFirstPoint + 1;
    const int k = m_params.m_nComponents;
    int a1 = 0, a2 = 0;
    if (!analysis.UsesSet(m_pDataSet) || !set.IsLoaded() || set.VoxelCount() != set.GridSize() ||
        !TMRImage::InPlaneAxes(set.m_nSliceAxis, a1, a2) || analysis.SliceAxis() != set.m_nSliceAxis)
        return false;
    if (m_params.m_nFirstPoint != analysis.FirstPoint() || m_params.m_nLastPoint != analysis.LastPoint() || n < 1 ||
        m_params.m_nFirstPoint < 0 || m_params.m_nLastPoint >= set.m_nPoints || k < 1 || k > analysis.ComponentCount())
        return false;
    // The rows the step walks are those of its copy of the voxel list.
    const size_t rows = m_voxelList.selection ? m_voxelList.voxels.size() : set.GridSize();
    const TFloatMatrix& c = analysis.Components();
    const TFloatMatrix& data = analysis.Data();
    const TFloatMatrix& scores = analysis.Scores();
    if (c.Rows() < uint32_t(k) || c.Columns() != uint32_t(n) || data.Columns() != uint32_t(n) ||
        data.Rows() != rows || scores.Rows() != rows || scores.Columns() < uint32_t(k) || rows == 0)
        return false;
    if (m_voxelList.selection)
        for (const TAnalysisVoxel& v : m_voxelList.voxels)
            if (v.slice < 0 || v.slice >= set.m_nDim[set.m_nSliceAxis] || v.first < 0 || v.first >= set.m_nDim[a1] ||
                v.second < 0 || v.second >= set.m_nDim[a2])
                return false;
    return true;
}

bool TPCAPeakAlignStep::Apply()
{
    TAnalysisPCA* analysis = GetAnalysis();
    if (!m_pDataSet || !analysis)
        return false;
    // The scores belong to the analysed set's voxels: another set would be corrected
    // with the lines of voxels it does not hold.
    if (!analysis->UsesSet(m_pDataSet)) {
        vx::Report(kNotTheAnalysedSet, vx::ReportIcon::Exclamation);
        return false;
    }
    if (!AnalysisFits(*analysis))
        return false;
    if (!TMixedRadixFFT::CheckFFTLength(m_pDataSet->m_nPoints))
        return false;
    try {
        BuildTemplate(*analysis);
    } catch (const std::runtime_error& e) {
        vx::Report(e.what());
        return false;
    }
    if (!FitCoefficients(*analysis))
        return false;
    return Applied(ApplyCorrections(*analysis));
}

void TPCAPeakAlignStep::BuildTemplate(const TAnalysisPCA& analysis)
{
    const int n = m_params.m_nLastPoint - m_params.m_nFirstPoint + 1;
    const int q = m_pDataSet->m_nEchoPosition == 0 ? 4 : 3;
    const float* c = analysis.Components().Data();  // row 0: component 0

    std::vector<double> line(static_cast<size_t>(n));
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += c[i];
    // A component whose values cancel gives no line to align to: the singular basis is
    // refused by the fit below.
    const double scale = sum != 0.0 && std::isfinite(sum) ? 1.0 / sum : 0.0;
    for (int i = 0; i < n; ++i)
        line[size_t(i)] = c[i] * scale;

    m_template.Resize(static_cast<uint32_t>(n), static_cast<uint32_t>(q));
    for (int i = 0; i < n; ++i) {
        m_template.Set(uint32_t(i), 0, static_cast<float>(line[size_t(i)]));
        m_template.Set(uint32_t(i), 1, i == 0 ? 0.0f : static_cast<float>(line[size_t(i)] - line[size_t(i) - 1]));
    }

    // The line's transform, its centre moved to the first point.
    int m = 2;
    while (m < n)
        m *= 2;
    const TRadix2FFT fft(m);
    std::vector<TComplexD> x(static_cast<size_t>(m));
    for (int i = 0; i < n; ++i)
        x[size_t(i)] = line[size_t(i)];
    SwapHalves(x);
    fft.Forward(x.data());

    // The positive half, doubled, gives the line plus i times its dispersion: weighted by
    // a decaying exponential it is a broadened line; turned by i its real part is minus
    // the dispersion.
    const int64_t width = std::max<int64_t>(1, int64_t(m_pDataSet->m_nSpectralWidth) * m / m_pDataSet->m_nPoints);
    std::vector<TComplexD> y(static_cast<size_t>(m));
    for (int k = 0; k < m / 2; ++k)
        y[size_t(k)] = 2.0 * x[size_t(k)] * std::exp(-std::numbers::pi * k / static_cast<double>(width));
    fft.Inverse(y.data());
    SwapHalves(y);
    for (int i = 0; i < n; ++i)
        m_template.Set(uint32_t(i), 2, static_cast<float>(y[size_t(i)].real()));
    if (q < 4)
        return;
    std::fill(y.begin(), y.end(), TComplexD(0.0));
    for (int k = 0; k < m / 2; ++k)
        y[size_t(k)] = 2.0 * TComplexD(0.0, 1.0) * x[size_t(k)];
    fft.Inverse(y.data());
    SwapHalves(y);
    for (int i = 0; i < n; ++i)
        m_template.Set(uint32_t(i), 3, static_cast<float>(-y[size_t(i)].real()));
}

bool TPCAPeakAlignStep::FitCoefficients(const TAnalysisPCA& analysis)
{
    const uint32_t n = m_template.Rows(), q = m_template.Columns();
    const auto k = static_cast<uint32_t>(m_params.m_nComponents);
    const TFloatMatrix& components = analysis.Components();
    const TFloatMatrix& scores = analysis.Scores();
    const uint32_t rows = scores.Rows();
    m_coefficients.Resize(rows, q);

    // Normal equations A x = r of the basis; A is decomposed once (1-based rows).
    std::vector<float> storage(size_t(q + 1) * (q + 1), 0.0f);
    std::vector<float*> a(q + 1);
    for (uint32_t i = 0; i <= q; ++i)
        a[i] = storage.data() + size_t(i) * (q + 1);
    for (uint32_t i = 0; i < q; ++i)
        for (uint32_t j = 0; j < q; ++j) {
            double sum = 0.0;
            for (uint32_t t = 0; t < n; ++t)
                sum += double(m_template.At(t, i)) * m_template.At(t, j);
            a[i + 1][j + 1] = static_cast<float>(sum);
        }
    // B(c, k): basis column c against component k, so that r = B times a voxel's scores.
    std::vector<double> b(size_t(q) * k);
    for (uint32_t i = 0; i < q; ++i)
        for (uint32_t c = 0; c < k; ++c) {
            double sum = 0.0;
            for (uint32_t t = 0; t < n; ++t)
                sum += double(m_template.At(t, i)) * components.At(c, t);
            b[size_t(i) * k + c] = sum;
        }
    std::vector<int> index(q + 1);
    float parity = 0.0f;
    if (!LUDecompose(a.data(), static_cast<int>(q), index.data(), &parity))
        return false;
    std::vector<float> r(q + 1);
    for (uint32_t v = 0; v < rows; ++v) {
        for (uint32_t i = 0; i < q; ++i) {
            double sum = 0.0;
            for (uint32_t c = 0; c < k; ++c)
                sum += double(scores.At(v, c)) * b[size_t(i) * k + c];
            r[i + 1] = static_cast<float>(sum);
        }
        LUBackSubstitute(a.data(), static_cast<int>(q), index.data(), r.data());
        for (uint32_t i = 0; i < q; ++i)
            m_coefficients.Set(v, i, r[i + 1]);
    }
    return true;
}

TAnalysisVoxel TPCAPeakAlignStep::PlaceOfRow(size_t row, size_t& voxel) const
{
    const TCSISet& set = *m_pDataSet;
    const int axis = set.m_nSliceAxis;
    int a1 = 0, a2 = 0;
    TMRImage::InPlaneAxes(axis, a1, a2);
    int pos[3] = {0, 0, 0};
    if (m_voxelList.selection) {
        const TAnalysisVoxel& v = m_voxelList.voxels[row];
        pos[axis] = v.slice;
        pos[a1] = v.first;
        pos[a2] = v.second;
        voxel = set.VoxelIndex(pos[0], pos[1], pos[2]);
        return v;
    }
    voxel = row;
    const auto nx = size_t(set.m_nDim[0]), ny = size_t(set.m_nDim[1]);
    pos[0] = static_cast<int>(row % nx);
    pos[1] = static_cast<int>(row / nx % ny);
    pos[2] = static_cast<int>(row / (nx * ny));
    return {pos[axis], pos[a1], pos[a2]};
}

bool TPCAPeakAlignStep::ApplyCorrections(const TAnalysisPCA& analysis)
{
    TCSISet& set = *m_pDataSet;
    const int n = static_cast<int>(m_template.Rows());
    const bool phased = m_template.Columns() == 4;
    const TFloatMatrix& scores = analysis.Scores();
    const TFloatMatrix& data = analysis.Data();
    const uint32_t rows = scores.Rows();

    int a1 = 0, a2 = 0;
    TMRImage::InPlaneAxes(set.m_nSliceAxis, a1, a2);
    m_phaseMaps.clear();
    m_frequencyMaps.clear();
    for (int s = 0; s < set.m_nDim[set.m_nSliceAxis]; ++s)
        for (auto* maps : {&m_phaseMaps, &m_frequencyMaps}) {
            maps->push_back(std::make_unique<TFloatMatrix>());
            maps->back()->Resize(uint32_t(set.m_nDim[a2]), uint32_t(set.m_nDim[a1]));
        }

    double largestScore = 0.0;
    for (uint32_t v = 0; v < rows; ++v)
        largestScore = std::max(largestScore, std::fabs(double(scores.At(v, 0))));
    const double smallestScore = double(m_params.m_fThreshold) * largestScore;

    // The reference peak and the half-height interval around it.
    const float* component = analysis.Components().Data();
    const int p0 = LastLargest(component, n);
    const float half = component[p0] / 2.0f;
    int left = 0, right = n - 1;
    for (int i = p0 - 1; i >= 0; --i)
        if (component[i] <= half) {
            left = i;
            break;
        }
    for (int i = p0 + 1; i < n; ++i)
        if (component[i] <= half) {
            right = i;
            break;
        }

    // Shift (points) and phase (radians) of every row; the maps are filled here, the
    // spectra changed on the workers.
    std::vector<double> shifts(rows, 0.0), phases(rows, 0.0);
    std::vector<size_t> voxels(rows, 0);
    for (uint32_t v = 0; v < rows; ++v) {
        const TAnalysisVoxel place = PlaceOfRow(v, voxels[v]);
        if (std::fabs(double(scores.At(v, 0))) < smallestScore)
            continue;
        const double a0 = m_coefficients.At(v, 0);
        if (a0 >= kSmallestAmplitude) {
            const int peak = LastLargest(data.Data() + size_t(v) * data.Columns(), n);
            double shift = m_coefficients.At(v, 1) / a0;
            if (peak + shift < left || peak + shift > right)
                shift = p0 - peak;
            shifts[v] = shift;
            m_frequencyMaps[size_t(place.slice)]->Set(uint32_t(place.second), uint32_t(place.first),
                                                      static_cast<float>(shift));
        }
        if (phased && std::fabs(a0) >= kSmallestAmplitude) {
            const double a3 = m_coefficients.At(v, 3);
            double phase = std::atan(a3 / a0);
            if (a0 < 0.0 && a3 < 0.0)
                phase -= std::numbers::pi;
            else if (a0 < 0.0 && a3 > 0.0)
                phase += std::numbers::pi;
            phases[v] = phase;
            m_phaseMaps[size_t(place.slice)]->Set(uint32_t(place.second), uint32_t(place.first),
                                                  static_cast<float>(phase * 180.0 / std::numbers::pi));
        }
    }

    // A shift of s points moves the spectrum's content s points up: a linear phase in the
    // time domain, about the echo so that it adds no constant phase.
    const int points = set.m_nPoints;
    const int echo = set.m_nEchoPosition;
    const bool ok = vx::RunWorkerBlocks(rows, [&](size_t begin, size_t end) {
        TSpectralWork work;
        for (size_t v = begin; v < end; ++v) {
            TSpectrum* spectrum = set.GetVoxel(voxels[v]);
            if (!spectrum || !spectrum->HasData())
                continue;
            if (shifts[v] != 0.0) {
                spectrum->FFTShift();
                if (!spectrum->FrequencyToTime(work, echo))
                    return false;
                TComplex* x = spectrum->Data();
                for (int j = 0; j < points; ++j)
                    x[j] *= TComplex(std::polar(1.0, -2.0 * std::numbers::pi * (j - echo) * shifts[v] / points));
                if (!spectrum->TimeToFrequency(work, echo))
                    return false;
                spectrum->FFTShift();
            }
            if (phases[v] != 0.0)
                spectrum->Phase(static_cast<float>(phases[v]), 0.0f, 0);
        }
        return true;
    });
    set.UpdateDataRange();
    return ok;
}
