#include "readers/TRawReader.h"

#include "model/math/Geometry.h"
#include "model/TMRImage.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "readers/ReaderHelpers.h"

TCSISet* TRawReader::Read(std::string path)
{
    m_pCSISet = std::make_unique<TCSISet>();
    TCSISet& set = *m_pCSISet;
    set.m_nFormat = m_params.m_nFormat;
    set.m_strName = vx::StemOf(path);

    for (int k = 0; k < 3; ++k) {
        set.m_fFOV[k] = m_params.m_fFOV[k];
        set.m_fAngulation[k] = m_params.m_fAngulation[k];
        set.m_fOffCentre[k] = m_params.m_fOffCentre[k];
        set.m_nDim[k] = m_params.m_nDim[k];
        set.m_fVoxelShift[k] = 0.0f;
    }
    set.m_nSpatialDims = SpatialDimsOf(set.m_nDim);
    set.m_nPoints = m_params.m_nPoints;
    set.m_nSpectralWidth = m_params.m_nSweepWidth;
    set.m_fFrequency = m_params.m_fFrequency;

    set.m_bEchoShifted = 0;
    set.m_nEchoPosition = 0;
    if (m_params.m_bEchoAcquisition) {
        int e = CheckedFloatToInt(double(m_params.m_nSweepWidth) * double(m_params.m_fEchoPeakTime) * 0.001);
        set.m_bEchoShifted = 1;
        if (e < 0 || e >= set.m_nPoints) {
            vx::Report("The peak position of the echo is not valid. It's reset to zero.", vx::ReportIcon::Exclamation,
                       vx::BatchPolicy::AlwaysBox);
            e = 0;
        }
        set.m_nEchoPosition = e;
    }
    set.m_nFirstPoint = 0;
    set.m_nLastPoint = set.m_nPoints > 0 ? set.m_nPoints - 1 : 0;
    set.m_fPPMCentrePoint = static_cast<float>(set.m_nPoints / 2);
    set.m_fPPMCentreValue = 0.0f;
    set.m_nSliceAxis = m_params.m_nOrientation;
    set.m_strDataPath = path;
    AngulationMatrix(set.m_fAngulation[0], set.m_fAngulation[1], set.m_fAngulation[2], &set.m_fRotation[0][0], 0);
    AngulationMatrixInverse(set.m_fAngulation[0], set.m_fAngulation[1], set.m_fAngulation[2],
                            &set.m_fRotationInverse[0][0], 0);

    // An orientation outside the list would index the per-axis fields out of range, and
    // an axis order that is not a permutation of x, y, z leaves axes without a stride.
    if (!Validate() || set.m_nSliceAxis < 0 || set.m_nSliceAxis > 2 || !HasAxisPermutation()) {
        vx::Report("Parameter entered invalid.", vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    SetSliceThicknessFromGrid(set);

    if (!ReadRawDataToVoxels(path))
        return DiscardSet();
    return CompleteRead(false);
}

bool TRawReader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    TCSISet& set = *m_pCSISet;
    if (m_params.m_bRemoveOffset)
        set.RemoveDCOffset();
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    if (!TMRImage::InPlaneAxes(s, a, b))
        return false;

    if (set.m_nSpatialDims == 3 || set.m_nSpatialDims == 2) {
        const bool threeD = set.m_nSpatialDims == 3;
        if (!m_params.m_bSpaceDomain) {
            // k-space samples: centre the grid, apply the corrections, transform.
            if (threeD) {
                for (int k = 0; k < 3; ++k)
                    set.ShiftGridAxis(k, 0);
            } else {
                set.ShiftGridAxis(a, 0);
                set.ShiftGridAxis(b, 0);
            }
            if (m_params.m_bHalfVoxelShift) {
                if (threeD)
                    set.ApplySpatialPhaseRamp(1);
                else
                    set.ApplySpatialPhaseRampAxis(s, 1);
            }
            if (m_params.m_bCenter[0])
                set.AlternateSignAlongAxis(a);
            if (m_params.m_bCenter[1])
                set.AlternateSignAlongAxis(b);
            if (threeD && m_params.m_bCenter[2])
                set.AlternateSignAlongAxis(s);
            // An axis length the transform refuses is reported there; no set results.
            if (threeD) {
                for (int k = 0; k < 3; ++k)
                    if (!set.SpatialFFTAxis(k))
                        return false;
            } else if (!set.SpatialFFTAxis(a) || !set.SpatialFFTAxis(b)) {
                return false;
            }
        }
        set.m_bKSpace = 0;
        if (m_params.m_bKSpaceCorrection)
            set.ApplyHalfVoxelShift();
    }

    if (!m_params.m_bFrequencyDomain && !SpectraToFrequencyDomain(set, m_params.m_bFlipFrequency != 0))
        return false;
    set.m_bFrequencyDomain = 1;
    FinishPostRead(set, m_params);
    return true;
}
