#include "processing/TImageSmoothingStep.h"

#include "model/TMRImage.h"

bool TImageSmoothingStep::Apply()
{
    return m_pImage && m_pImage->Smooth();
}
