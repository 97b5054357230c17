#include "processing/TInitialAlignmentStep.h"

#include "model/TCSISet.h"

bool TInitialAlignmentStep::Apply()
{
    return m_pDataSet && Applied(m_pDataSet->AlignPeaks(m_nFirstPoint, m_nLastPoint));
}
