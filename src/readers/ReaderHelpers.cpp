#include "readers/ReaderHelpers.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "model/TCSIParams.h"
#include "model/TCSIReadParams.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "platform/Paths.h"

int32_t CheckedFloatToInt(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double t = std::trunc(value);
    if (t < -2147483648.0 || t > 2147483647.0)
        return 0;
    return static_cast<int32_t>(t);
}

int32_t SpectralWidthFromDwell(double dwellMicroseconds)
{
    return dwellMicroseconds != 0.0 ? CheckedFloatToInt(1000000.0 / dwellMicroseconds) : 0;
}

int SpatialDimsOf(const int dim[3])
{
    int ones = 0;
    for (int k = 0; k < 3; ++k)
        if (dim[k] == 1)
            ++ones;
    return ones == 0 ? 3 : ones == 1 ? 2 : 1;
}

TPatientPosition PatientPositionFromCode(const std::string& code, const TPatientPosition& unknown)
{
    static const struct {
        const char* code;
        const char* headFeet;
        const char* lying;
    } kCodes[] = {
        {"HFS", "HF", "Supine"}, {"HFP", "HF", "Prone"}, {"HFDR", "HF", "Right-D"}, {"HFDL", "HF", "Left-D"},
        {"FFS", "FF", "Supine"}, {"FFP", "FF", "Prone"}, {"FFDR", "FF", "Right-D"}, {"FFDL", "FF", "Left-D"},
    };
    for (const auto& c : kCodes)
        if (code == c.code)
            return {c.headFeet, c.lying};
    return unknown;
}

void SetPatientPosition(TCSIParams& params, const TPatientPosition& position)
{
    params.m_strPatientOrientation = position.headFeet;
    params.m_strPatientPosition = position.lying;
}

bool SpectraToFrequencyDomain(TCSISet& set, bool flipFrequency)
{
    if (flipFrequency)
        set.ConjugateAll();
    if (!set.ToFrequencyDomain()) {
        if (flipFrequency)
            set.ConjugateAll();
        return false;
    }
    set.FFTShiftSpectra();
    return true;
}

void FinishPostRead(TCSISet& set, const TCSIReadParams& params)
{
    for (int axis = 0; axis < 3; ++axis)
        if (params.m_bInvert[axis])
            set.FlipAxis(axis);
    FinishSetData(set, params.m_bNormalize != 0);
}

void FinishSetData(TCSISet& set, bool normalize)
{
    set.InitVoxels();
    set.UpdateDataRange();
    if (normalize)
        set.NormalizeTo(1000.0f);
}

std::unique_ptr<TCSISet> NewSetForFile(const std::string& path, int format)
{
    auto set = std::make_unique<TCSISet>();
    set->m_nFormat = format;
    set->m_strName = vx::StemOf(path);
    set->m_strDataPath = path;
    set->m_nSliceAxis = 2;
    return set;
}

bool HasExtensionNoCase(const std::string& path, const char* extension)
{
    return vx::ToLowerAscii(vx::ExtensionOf(path)) == extension;
}

void SetSliceAxisOrder(TCSIReadParams& params, int sliceAxis)
{
    int a = 0, b = 1;
    TMRImage::InPlaneAxes(sliceAxis, a, b);
    params.m_nAxisOrder[0] = a;
    params.m_nAxisOrder[1] = b;
    params.m_nAxisOrder[2] = sliceAxis;
}

void SetSliceThicknessFromGrid(TCSISet& set)
{
    const int s = set.m_nSliceAxis;
    if (s < 0 || s > 2)
        return;
    set.m_fSliceThickness = set.m_fFOV[s] / static_cast<float>(set.m_nDim[s]);
    set.m_fSliceGap = 0.0f;
}

void ResetHeaderDefaults(TCSISet& set)
{
    for (int k = 0; k < 3; ++k) {
        set.m_fFOV[k] = 240.0f;
        set.m_nDim[k] = 1;
    }
    set.m_nVolumes = 0;
    set.m_bEchoShifted = 0;
    set.m_nEchoPosition = 0;
}

std::string NameFromLastComponents(const std::string& path, int count)
{
    std::vector<size_t> separators;
    for (size_t i = 0; i < path.size(); ++i)
        if (path[i] == '/' || path[i] == '\\')
            separators.push_back(i);
    std::string tail = path;
    if (!separators.empty() && count >= 1) {
        const size_t cut = separators.size() < static_cast<size_t>(count)
                               ? separators.front()
                               : separators[separators.size() - static_cast<size_t>(count)];
        tail = path.substr(cut + 1);
    }
    return vx::SanitizeFileComponent(tail);
}

bool KSpaceGridToVoxelSpace(TCSISet& set, const bool alternate[3])
{
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    if (!TMRImage::InPlaneAxes(s, a, b))
        return set.m_nSpatialDims != 2 && set.m_nSpatialDims != 3;
    if (set.m_nSpatialDims == 3) {
        for (int axis = 0; axis < 3; ++axis)
            set.ShiftGridAxis(axis, 0);
        set.ApplySpatialPhaseRamp(1);
        const int order[3] = {a, b, s};
        for (int k = 0; k < 3; ++k)
            if (alternate[k])
                set.AlternateSignAlongAxis(order[k]);
        for (int axis = 0; axis < 3; ++axis)
            if (!set.SpatialFFTAxis(axis))
                return false;
        set.m_bKSpace = 0;
    } else if (set.m_nSpatialDims == 2) {
        set.ShiftGridAxis(a, 0);
        set.ShiftGridAxis(b, 0);
        set.ApplySpatialPhaseRampAxis(s, 1);
        if (alternate[0])
            set.AlternateSignAlongAxis(a);
        if (alternate[1])
            set.AlternateSignAlongAxis(b);
        if (!set.SpatialFFTAxis(a) || !set.SpatialFFTAxis(b))
            return false;
        set.m_bKSpace = 0;
    }
    return true;
}

void DecodeFloat32LE(const unsigned char* bytes, size_t count, float* out)
{
    for (size_t i = 0; i < count; ++i, bytes += 4) {
        const uint32_t bits = uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
                              (uint32_t(bytes[3]) << 24);
        std::memcpy(out + i, &bits, 4);
    }
}
