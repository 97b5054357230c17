#include "processing/TLipidSuppressionStep.h"

#include "model/TCSISet.h"

bool TLipidSuppressionStep::Apply()
{
    return m_pDataSet && Applied(m_pDataSet->SuppressLipids(m_nIterations));
}
