#include "processing/THammingWindowStep.h"

#include "model/math/ApodizationWindows.h"

THammingWindowStep::THammingWindowStep(bool recorded, TCSISet* pSet)
    : TSpatialWindowStep(kType, "#Hamming window smoothing", recorded, pSet)
{
}

int THammingWindowStep::WindowType() const
{
    return kHammingWindow;
}

