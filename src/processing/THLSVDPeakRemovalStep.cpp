#include "processing/THLSVDPeakRemovalStep.h"

#include "model/TCSISet.h"

bool THLSVDPeakRemovalStep::Apply()
{
    return m_pDataSet && Applied(m_pDataSet->RemovePeaksHLSVD(m_nPeaks, m_fStart, m_fEnd, m_bSelectedOnly));
}
