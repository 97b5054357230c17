#include "processing/TSSPStep.h"

#include <climits>

#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"

bool TSSPStep::Apply()
{
    if (!m_pDataSet || m_nComponents > INT_MAX)
        return false;
    return Applied(m_pDataSet->SSPFilter(static_cast<int>(m_nComponents), m_nFirstPoint, m_nLastPoint));
}

std::string TSSPStep::GetDisplayName() const
{
    return "SSP with " + FloatToString(static_cast<float>(m_nComponents), 0) + " components";
}
