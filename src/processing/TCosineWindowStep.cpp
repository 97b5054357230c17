#include "processing/TCosineWindowStep.h"

#include "model/math/ApodizationWindows.h"

TCosineWindowStep::TCosineWindowStep(bool recorded, TCSISet* pSet)
    : TSpatialWindowStep(kType, "#Cosine window smoothing", recorded, pSet)
{
}

int TCosineWindowStep::WindowType() const
{
    return kCosineWindow;
}

