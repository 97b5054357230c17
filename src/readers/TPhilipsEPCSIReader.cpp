#include "readers/TPhilipsEPCSIReader.h"

#include <cmath>
#include <vector>

#include "model/math/Geometry.h"
#include "model/math/TMixedRadixFFT.h"
#include "platform/Globals.h"
#include "platform/Report.h"
#include "platform/WaitCursor.h"
#include "platform/Workers.h"

namespace {

constexpr char kFormatMessage[] = "Philips EPCSI raw data should be LIST/DATA files.";
constexpr char kPARQuestion[] =
    "For Philips EPCSI raw data, PAR file is required. Click Yes to select the PAR file, No to cancel.";

// The axes flipped after the spatial transform, in order, so that the grid shows the
// patient as the other Philips readers do.
std::vector<int> OrientationFlips(int sliceAxis, const std::string& prepDirection)
{
    switch (sliceAxis) {
    case 0: return prepDirection == "Feet-Head" ? std::vector<int>{1, 2, 0} : std::vector<int>{1, 0};
    case 1: return prepDirection == "Feet-Head" ? std::vector<int>{0, 2} : std::vector<int>{0};
    case 2: return prepDirection == "Right-Left" ? std::vector<int>{0, 2} : std::vector<int>{0, 1, 2};
    default: return {};
    }
}

// exp(i angle), the angle taken in double precision and the phasor stored in single.
TComplex Phasor(double angle)
{
    return TComplex(static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)));
}

// Plain complex product: the library's operator checks for infinities on every call.
inline TComplex Times(TComplex a, TComplex b)
{
    return TComplex(a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real());
}

// Exchanges point i with point i + n/2 for i below n/2 (an odd n keeps its last point).
void SwapHalves(TComplex* data, int n)
{
    const int half = n / 2;
    for (int i = 0; i < half; ++i)
        std::swap(data[i], data[i + half]);
}

}  // namespace

TPhilipsEPCSIReader::TPhilipsEPCSIReader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

TPhilipsEPCSIReader::~TPhilipsEPCSIReader() = default;

bool TPhilipsEPCSIReader::ReadoutAxes(int sliceAxis, const std::string& prepDirection, int& kx, int& ky)
{
    switch (sliceAxis) {
    case 0:
        kx = prepDirection == "Feet-Head" ? 1 : 2;
        break;
    case 1:
        kx = prepDirection == "Feet-Head" ? 0 : 2;
        break;
    case 2:
        kx = prepDirection == "Right-Left" ? 1 : 0;
        break;
    default:
        return false;
    }
    ky = 3 - sliceAxis - kx;
    return true;
}

TCSISet* TPhilipsEPCSIReader::Read(std::string path)
{
    StartSet();
    if (!HasExtension(path, "list", "data", kFormatMessage))
        return DiscardSet();
    TCSISet& set = *m_pCSISet;
    const std::string base = BaseOf(path, false);
    set.m_strName = SetNameOf(path, false);

    // The PAR file is always asked for outside a batch run, even when base.PAR exists.
    std::string parPath = CompanionPath(base, ".PAR");
    std::string notListed = CompanionNotListed(parPath, "PAR file");
    if (!g_bBatchMode) {
        if (vx::Ask(kPARQuestion, vx::ReportButtons::YesNo, vx::ReportAnswer::Yes, vx::ReportIcon::Exclamation) !=
            vx::ReportAnswer::Yes)
            return DiscardSet();
        parPath = ChooseCompanion(TCompanion::PAR, path, "Please select PAR file...");
        if (parPath.empty())
            return DiscardSet();
        notListed.clear();
    }
    vx::TWaitCursor waitCursor;
    if (!ParsePAR(parPath)) {
        vx::Report(notListed.empty() ? "Fail to read metabolic map PAR file " + parPath + "." : notListed,
                   vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    ApplyGeometry(true, false);
    set.m_nSpectralWidth = m_params.m_nSweepWidth;
    set.m_fFrequency = m_params.m_fFrequency;

    const int kz = set.m_nSliceAxis;
    int kx = 0, ky = 0;
    if (!ReadoutAxes(kz, m_strPrepDirection, kx, ky)) {
        vx::Report("The PAR file " + parPath + " gives no slice orientation of sagittal, coronal or transverse.",
                   vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    m_params.m_nAxisOrder[0] = kx;
    m_params.m_nAxisOrder[1] = ky;
    m_params.m_nAxisOrder[2] = kz;
    const std::optional<std::string> foundList = FoundCompanion(base, ".LIST", "LIST file");
    if (!foundList || !ParseLIST(*foundList))
        return DiscardSet();
    const std::string& listPath = *foundList;
    // Points, matrix and field of view come from the LIST and PAR files, the frequency and
    // the spectral width from the dialog.
    if (!ValidateDims(0)) {
        vx::Report("The LIST file " + listPath + " is invalid. " +
                       (m_strParameterFault.empty()
                            ? InvalidParameterText({"number_of_echoes", "", "kx_range, ky_range, kz_range", "FOV",
                                                    "the dialog's frequency", "the dialog's sweep width"})
                            : m_strParameterFault),
                   vx::ReportIcon::Exclamation);
        return DiscardSet();
    }

    // The reconstructed grid spans the oversampled field of view. A factor that leaves
    // no usable field of view refuses the set as a missing one would.
    for (int i = 0; i < 3; ++i) {
        float& fov = set.m_fFOV[m_params.m_nAxisOrder[i]];
        fov *= m_fOversample[i];
        if (!std::isfinite(fov) || !(fov > 0.0f)) {
            vx::Report("The LIST file " + listPath +
                           " gives an oversampling factor (kx_oversample_factor, ky_, kz_) that leaves no field of "
                           "view.",
                       vx::ReportIcon::Exclamation);
            return DiscardSet();
        }
    }

    // The in-plane position of the grid is that of the reconstruction; of the PAR
    // off-centre only its part along the slice normal is kept.
    const float origin[3] = {0.0f, 0.0f, 0.0f};
    float grid[3] = {set.m_fOffCentre[0], set.m_fOffCentre[1], set.m_fOffCentre[2]};
    TransformPoint(set.m_fRotation, set.m_fRotationInverse, origin, grid, 0);
    float normal[3] = {0.0f, 0.0f, 0.0f};
    normal[kz] = grid[kz];
    TransformPoint(set.m_fRotation, set.m_fRotationInverse, origin, normal, 1);
    set.SetOffCentre(normal);

    m_params.m_nSampleType = 2;
    m_params.m_bSwapBytes = 0;
    SetThicknessFromFOV();
    // The reconstruction transforms every spectrum even for a raw load.
    if (!TMixedRadixFFT::CheckFFTLength(set.m_nPoints) || !CheckTransformLengths())
        return DiscardSet();
    const std::optional<std::string> dataPath = FoundCompanion(base, ".DATA", "data file");
    if (!dataPath || !ReadRawData(*dataPath) || !Reconstruct())
        return DiscardSet();
    return FillAndFinish();
}

size_t TPhilipsEPCSIReader::GridPositions() const
{
    if (!m_pCSISet)
        return 0;
    const TCSISet& set = *m_pCSISet;
    return size_t(set.m_nDim[0]) * size_t(set.m_nDim[1]) * size_t(set.m_nDim[2]);
}

void TPhilipsEPCSIReader::ReleaseBuffers()
{
    m_pEvenData.reset();
    m_pOddData.reset();
    m_nBufferSamples = 0;
}

bool TPhilipsEPCSIReader::Reconstruct()
{
    if (!m_pCSISet || !m_pEvenData || !m_pOddData)
        return false;
    const TCSISet& set = *m_pCSISet;
    const int points = set.m_nPoints;
    const size_t positions = GridPositions();
    if (points < 1 || positions * size_t(points) != m_nBufferSamples || !HasAxisPermutation())
        return false;
    const int kx = m_params.m_nAxisOrder[0];
    const size_t nx = size_t(set.m_nDim[kx]);
    const size_t n0 = size_t(set.m_nDim[0]), n01 = n0 * size_t(set.m_nDim[1]);
    const size_t p = size_t(points);
    const int half = points / 2;

    // Phase factors per spectral point k (centred): the odd vectors' half-dwell lag, and
    // per kx sample x its time within the readout, forward (odd vectors) and reverse
    // (even vectors).
    const double pi = std::acos(-1.0);
    std::vector<TComplex> lag(p), forward(nx * p), reverse(nx * p);
    const double step = 2.0 * pi * double(set.m_nSpectralWidth) * double(m_fReadoutDwell) / double(points);
    for (size_t i = 0; i < p; ++i) {
        const double k = double(int(i) - half);
        lag[i] = Phasor(pi * k / double(points));
        for (size_t x = 0; x < nx; ++x) {
            forward[x * p + i] = Phasor(step * double(x) * k);
            reverse[x * p + i] = Phasor(step * double(nx - 1 - x) * k);
        }
    }

    TComplex* even = m_pEvenData.get();
    TComplex* odd = m_pOddData.get();
    // Every grid position is transformed on its own, so the workers' blocks are
    // independent and the result is that of one worker.
    const bool done = vx::RunWorkerBlocks(positions, [&](size_t begin, size_t end) {
        TMixedRadixFFT fft;
        for (size_t v = begin; v < end; ++v) {
            const size_t c[3] = {v % n0, (v % n01) / n0, v / n01};
            const size_t x = c[kx];
            TComplex* e = even + v * p;
            TComplex* o = odd + v * p;
            if (!fft.InverseComplex(e, points) || !fft.InverseComplex(o, points))
                return false;
            SwapHalves(e, points);
            SwapHalves(o, points);
            const TComplex* wf = &forward[x * p];
            const TComplex* wr = &reverse[x * p];
            for (size_t i = 0; i < p; ++i)
                e[i] = Times(e[i], wr[i]) + Times(Times(o[i], wf[i]), lag[i]);
            SwapHalves(e, points);
            if (!fft.ForwardComplex(e, points))
                return false;
        }
        return true;
    });
    // The odd samples are in the even buffer now.
    m_pOddData.reset();
    return done;
}

bool TPhilipsEPCSIReader::FillCSISet()
{
    if (!m_pEvenData || !m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    if (set.m_nPoints < 1 || GridPositions() * size_t(set.m_nPoints) != m_nBufferSamples)
        return false;
    set.FreeSpectra();
    if (!set.AllocateVoxels())
        return false;
    set.InitVoxels();
    const size_t p = size_t(set.m_nPoints);
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        set.GetVoxel(v)->SetComplexData(m_pEvenData.get() + v * p);
    set.m_bLoaded = true;
    ReleaseBuffers();
    return true;
}

bool TPhilipsEPCSIReader::PostRead()
{
    return RunPostRead(TPostRead::KSpace3D, [this](TCSISet& set, int sliceAxis) {
        for (int axis : OrientationFlips(sliceAxis, m_strPrepDirection))
            set.FlipAxis(axis);
    });
}
