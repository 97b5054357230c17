// A metabolite map: creation from the set's samples, recomputation, quantitation and
// statistics. The grid operations are in TMapGrid.cpp.
#include "model/TMap.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"

namespace {

// The intervals of the map as points: [0..1] the peak, [2..3] the second interval of a
// ratio map (0 otherwise). False when one lies outside the spectrum.
bool IntervalPoints(const TMapParams& p, const TCSISet& set, int peak[2], int reference[2])
{
    reference[0] = reference[1] = 0;
    if (!set.PointOfPPM(p.peakStartPPM, peak[0]) || !set.PointOfPPM(p.peakEndPPM, peak[1]))
        return false;
    if (p.ratioOfPeaks == 1 &&
        (!set.PointOfPPM(p.refPeakStartPPM, reference[0]) || !set.PointOfPPM(p.refPeakEndPPM, reference[1])))
        return false;
    return true;
}

// Quantitation messages are plain boxes.
void Tell(const std::string& text)
{
    vx::Report(text, vx::ReportIcon::None);
}

}  // namespace

TMap::TMap()
{
    Reset();
}

TMap::TMap(TCSISet* set)
{
    Reset();
    csiSet = set;
}

TMap::~TMap() = default;

void TMap::Reset()
{
    csiSet = nullptr;
    name.assign(1, ' ');  // a single blank
    std::fill(size, size + 3, 0);
    centreOnPeak = 0;
    aux1 = aux2 = aux3 = 0;
    selectedOnly = 0;
    ratioOfPeaks = 0;
    peakStartPPM = peakEndPPM = refPeakStartPPM = refPeakEndPPM = 0.0f;
    method = kMapAreaIntegration;
    maxMagnitude = minMagnitude = maxReal = minReal = maxImag = minImag = 0.0f;
    for (float* v : {fov, voxelShift, angulation, offCentre})
        std::fill(v, v + 3, 0.0f);
    displayMin = displayMax = 0.0f;
    useInternalReference = useReferenceMap = relaxationCorrection = molarUnit = 0;
    t1 = t2 = referenceConcentration = 0.0f;
    aux4 = 1;
    quantScale = 1.0f;
}

// --- values --------------------------------------------------------------------------------

bool TMap::AllocateValues()
{
    m_values.clear();
    if (size[0] < 1 || size[1] < 1 || size[2] < 1)
        return false;
    const size_t count = static_cast<size_t>(size[0]) * static_cast<size_t>(size[1]) * static_cast<size_t>(size[2]);
    if (count > kMaxValues)
        return false;
    m_values.assign(count, TComplex(0.0f, 0.0f));
    return true;
}

bool TMap::SetGrid(const int dim[3], std::vector<TComplex> values)
{
    if (dim[0] < 1 || dim[1] < 1 || dim[2] < 1 ||
        values.size() != static_cast<size_t>(dim[0]) * static_cast<size_t>(dim[1]) * static_cast<size_t>(dim[2]))
        return false;
    std::copy(dim, dim + 3, size);
    m_values = std::move(values);
    return true;
}

void TMap::FreeValues()
{
    m_values.clear();
    m_values.shrink_to_fit();
}

size_t TMap::ValueIndex(int x, int y, int z) const
{
    return (static_cast<size_t>(z) * static_cast<size_t>(size[1]) + static_cast<size_t>(y)) *
               static_cast<size_t>(size[0]) +
           static_cast<size_t>(x);
}

void TMap::Multiply(double factor)
{
    for (TComplex& v : m_values)
        v = TComplex(static_cast<float>(v.real() * factor), static_cast<float>(v.imag() * factor));
}

void TMap::MarkChanged()
{
    if (m_nState == kSaved)
        m_nState = kChanged;
}

// --- names ---------------------------------------------------------------------------------

std::string TMap::GetCSISetName() const
{
    return csiSet ? csiSet->GetName() : std::string();
}

std::string TMap::GetReferenceSetName() const
{
    return useReferenceMap ? referenceSetName : "n/a";
}

std::string TMap::GetReferenceMapName() const
{
    return useReferenceMap ? referenceMapName : "n/a";
}

// --- creation ------------------------------------------------------------------------------

void TMap::CopySetGeometry(const TCSISet& set)
{
    for (int d = 0; d < 3; ++d) {
        size[d] = set.m_nDim[d];
        fov[d] = set.m_fFOV[d];
        voxelShift[d] = set.m_fVoxelShift[d];
        angulation[d] = set.m_fAngulation[d];
        offCentre[d] = set.m_fOffCentre[d];
    }
}

bool TMap::Evaluate(const TCSISet& set, const int peak[2], const int reference[2], std::vector<TComplex>& out) const
{
    // The kernels fill one value per voxel of the set's grid.
    if (!set.IsLoaded() || set.VoxelCount() == 0 || set.VoxelCount() != set.GridSize() ||
        set.VoxelCount() > kMaxValues)
        return false;
    const auto evaluate = [&](int first, int last, std::vector<TComplex>& values) {
        values.assign(set.VoxelCount(), TComplex(0.0f, 0.0f));
        if (method == kMapAreaIntegration) {
            set.IntegrateArea(values.data(), selectedOnly != 0, first, last, centreOnPeak != 0);
            return true;
        }
        if (method == kMapPrincipalComponent)
            return set.FitPeakMapValues(values.data(), selectedOnly != 0, first, last);
        return false;
    };
    if (!evaluate(peak[0], peak[1], out))
        return false;
    if (ratioOfPeaks != 1)
        return true;
    std::vector<TComplex> denominator;
    if (!evaluate(reference[0], reference[1], denominator))
        return false;
    for (size_t v = 0; v < out.size(); ++v) {
        const float d = denominator[v].real();
        out[v] = std::fabs(d) < 1e-6f ? TComplex(0.0f, 0.0f) : TComplex(out[v].real() / d, 0.0f);
    }
    return true;
}

bool TMap::Create(TCSISet* set, TMapParams params)
{
    if (!set)
        return false;
    const std::string passedName = params.name;
    static_cast<TMapParams&>(*this) = std::move(params);
    name += "_map";
    csiSet = set;

    // The map's file is named after the set and the map: it must not be another file of
    // the project.
    if (set->GetProject() && set->GetProject()->IsAnotherFile(set->MapFilePath(name), set)) {
        vx::Report("Failed to create map " + passedName + " for CSI set " + set->GetName() +
                   " because its file would be another file of the project.");
        return false;
    }
    int peak[2], reference[2];
    if (!IntervalPoints(*this, *set, peak, reference)) {
        vx::Report("Failed to create map " + passedName + " for CSI set " + set->GetName() +
                   " because peak area is out of data range.");
        return false;
    }
    if (selectedOnly != 0 && !set->HasSelectedVoxels()) {
        vx::Report("Failed to create map " + passedName + " for CSI set " + set->GetName() +
                   " because no voxel is selected.");
        return false;
    }
    CopySetGeometry(*set);
    FreeValues();
    std::vector<TComplex> values;
    if (!Evaluate(*set, peak, reference, values))
        return false;
    m_values = std::move(values);
    ApplyQuantitation();
    UpdateStatistics();
    displayMax = maxReal;
    displayMin = minReal;
    return true;
}

void TMap::Update()
{
    if (!csiSet || method == kMapFromAnalysis)
        return;
    int peak[2], reference[2];
    if (!IntervalPoints(*this, *csiSet, peak, reference)) {
        vx::Report("Failed to update map " + name + " for CSI set " + csiSet->GetName() +
                   " because peak area is out of data range.");
        return;
    }
    // Computed aside: a set without samples in memory, or a failed evaluation, leaves the
    // map as it was instead of without values.
    std::vector<TComplex> values;
    if (!Evaluate(*csiSet, peak, reference, values))
        return;
    const int kept[3] = {size[0], size[1], size[2]};
    CopySetGeometry(*csiSet);
    m_values = std::move(values);
    ApplyQuantitation();
    UpdateStatistics();
    ResampleTo(kept);
    MarkChanged();
}

// --- quantitation --------------------------------------------------------------------------

void TMap::ApplyQuantitation()
{
    if (!csiSet || m_values.empty())
        return;
    const TCSISet& set = *csiSet;

    if (relaxationCorrection) {
        if (set.m_fTR <= 1e-5f || set.m_fTE <= 1e-5f) {
            Tell("TE and TR are unknown for this data set, so no relaxation correction is applied.");
        } else if (!(t1 > 1e-5f) || !(t2 > 1e-5f)) {
            // A zero relaxation time would turn every value into infinity.
            Tell("The T1 and/or T2 values are invalid.");
        } else {
            Multiply(std::exp(static_cast<double>(set.m_fTE) / t2) /
                     (1.0 - std::exp(-static_cast<double>(set.m_fTR) / t1)));
        }
    }

    // Receiver gain in dB and coil quality; a quality factor that is not positive carries
    // no scale and is left out rather than dividing by zero.
    const double gain = std::pow(10.0, 0.05 * set.GetScalarParam(1));
    const double quality = set.GetScalarParam(0) > 0.0f ? std::sqrt(static_cast<double>(set.GetScalarParam(0))) : 1.0;
    const double divisor = gain * quality;
    if (std::isfinite(divisor) && divisor > 0.0)
        for (TComplex& v : m_values)
            v = TComplex(static_cast<float>(v.real() / divisor), static_cast<float>(v.imag() / divisor));

    if (useInternalReference) {
        const int* r = referenceVoxel;
        if (r[0] < 0 || r[1] < 0 || r[2] < 0 || r[0] >= size[0] || r[1] >= size[1] || r[2] >= size[2] ||
            ValueIndex(r[0], r[1], r[2]) >= m_values.size()) {
            quantScale = 1.0f;
            Tell("The reference voxel lies outside the map. No absolute quantitation is applied.");
            return;
        }
        const float value = m_values[ValueIndex(r[0], r[1], r[2])].real();
        quantScale = std::fabs(value) > 1e-15f ? referenceConcentration / value : 1.0f;
        Multiply(quantScale);
        return;
    }
    if (!useReferenceMap)
        return;

    const TProject* project = set.GetProject();
    const TMap* ref = project ? project->FindSetMap(referenceSetName, referenceMapName) : nullptr;
    if (!ref || !ref->useInternalReference) {
        Tell("Can't find the reference map. No absolute quantitation is applied.");
        useReferenceMap = 0;
        return;
    }
    const double f = ref->quantScale;
    if (!voxelByVoxel) {
        Multiply(f);
    } else {
        if (!std::equal(size, size + 3, ref->size) || ref->ValueCount() != m_values.size()) {
            Tell("Reference map has different dimensions. No absolute quantitation is applied.");
            useReferenceMap = 0;
            return;
        }
        for (size_t v = 0; v < m_values.size(); ++v) {
            const double r = ref->m_values[v].real();
            if (std::fabs(r) < 1e-15) {
                m_values[v] = TComplex(0.0f, 0.0f);
                continue;
            }
            const double factor = f * ref->referenceConcentration / r;
            m_values[v] = TComplex(static_cast<float>(m_values[v].real() * factor),
                                   static_cast<float>(m_values[v].imag() * factor));
        }
    }
    if (ref->molarUnit == 0) {
        const double volume = set.GetVoxelVolume();
        if (!(volume > 0.0) || !std::isfinite(volume)) {
            Tell("The voxel volume of this data set is unknown, so the values are not divided by it.");
            return;
        }
        for (TComplex& v : m_values)
            v = TComplex(static_cast<float>(v.real() / volume), static_cast<float>(v.imag() / volume));
    }
}

// --- statistics ----------------------------------------------------------------------------

namespace {
// The extreme of part(v) over the values, starting from the first and keeping strictly
// better ones; 0 without values.
template <class Part, class Better>
float Extreme(const std::vector<TComplex>& values, Part part, Better better)
{
    if (values.empty())
        return 0.0f;
    float best = part(values.front());
    for (const TComplex& v : values) {
        const float p = part(v);
        if (better(p, best))
            best = p;
    }
    return best;
}

float Magnitude(const TComplex& v)
{
    return std::sqrt(v.real() * v.real() + v.imag() * v.imag());
}
float Real(const TComplex& v) { return v.real(); }
float Imag(const TComplex& v) { return v.imag(); }
bool Larger(float a, float b) { return a > b; }
bool Smaller(float a, float b) { return a < b; }
}  // namespace

float TMap::GetMaxMagnitude() const { return Extreme(m_values, Magnitude, Larger); }
float TMap::GetMinMagnitude() const { return Extreme(m_values, Magnitude, Smaller); }
float TMap::GetMaxReal() const { return Extreme(m_values, Real, Larger); }
float TMap::GetMinReal() const { return Extreme(m_values, Real, Smaller); }
float TMap::GetMaxImag() const { return Extreme(m_values, Imag, Larger); }
float TMap::GetMinImag() const { return Extreme(m_values, Imag, Smaller); }

void TMap::UpdateStatistics()
{
    maxMagnitude = GetMaxMagnitude();
    minMagnitude = GetMinMagnitude();
    maxReal = GetMaxReal();
    minReal = GetMinReal();
    maxImag = GetMaxImag();
    minImag = GetMinImag();
}
