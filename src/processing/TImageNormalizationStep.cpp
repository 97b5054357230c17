#include "processing/TImageNormalizationStep.h"

#include "model/TMRImage.h"

bool TImageNormalizationStep::Apply()
{
    return m_pImage && m_pImage->NormalizeIntensity(m_fWidth, m_fThreshold);
}
