#include "readers/ReaderHelpers.h"

#include <cmath>

#include "model/TCSIParams.h"
#include "model/TCSIReadParams.h"
#include "model/TCSISet.h"

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

TPatientPosition PatientPositionFromCode(const std::string& code)
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
    return {};
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
    set.InitVoxels();
    set.UpdateDataRange();
    if (params.m_bNormalize)
        set.NormalizeTo(1000.0f);
}
