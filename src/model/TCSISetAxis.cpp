// Axis labels of a set's spectra.
#include <cmath>

#include "model/TCSISet.h"
#include "model/TextHelpers.h"

std::string TCSISet::FormatAxisValue(float point, int unit) const
{
    switch (unit) {
    case kUnitPoints:
        return FloatToString(std::trunc(point), 2);
    case kUnitHz:
        return FloatToString(PointToUnit(point, kUnitHz), 2) + " Hz";
    case kUnitPPM:
        return FloatToString(PointToUnit(point, kUnitPPM), 2) + " PPM";
    case kUnitMs:
        return FloatToString(PointToUnit(point, kUnitMs), 2) + " Ms";
    default:
        return "";
    }
}
