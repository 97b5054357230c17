#include "processing/TFermiWindowStep.h"

#include "model/math/ApodizationWindows.h"

TFermiWindowStep::TFermiWindowStep(bool recorded, TCSISet* pSet)
    : TSpatialWindowStep(kType, "#Fermi window smoothing", recorded, pSet)
{
}

int TFermiWindowStep::WindowType() const
{
    return kFermiWindow;
}

void TFermiWindowStep::WindowParams(int n, float& p1, float& p2) const
{
    p1 = static_cast<float>(n / 4);
    p2 = 0.5f;
}

