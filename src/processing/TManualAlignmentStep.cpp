#include "processing/TManualAlignmentStep.h"

#include "model/TCSISet.h"

bool TManualAlignmentStep::Apply()
{
    return m_pDataSet && Applied(m_pDataSet->ShiftSelectedSpectra(m_nFromPoint, m_nToPoint));
}
