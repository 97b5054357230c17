#include "processing/TPCACorrection.h"

#include "processing/TAnalysisPCA.h"

TPCACorrection::TPCACorrection(TAnalysisPCA* analysis) : m_pAnalysis(analysis)
{
    if (m_pAnalysis)
        m_pAnalysis->m_attached.push_back(this);
}

TPCACorrection::~TPCACorrection()
{
    if (m_pAnalysis)
        m_pAnalysis->Forget(this);
}
