#include "readers/ReaderHelpers.h"

#include <cmath>

int32_t CheckedFloatToInt(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double t = std::trunc(value);
    if (t < -2147483648.0 || t > 2147483647.0)
        return 0;
    return static_cast<int32_t>(t);
}
