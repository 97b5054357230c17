#include "processing/TWholeSetStep.h"

#include "model/TCSISet.h"

TWholeSetStep::TWholeSetStep(int kind, const char* prefix, bool recorded, TCSISet* pSet)
    : TProcessStep(recorded, pSet), m_pszPrefix(prefix)
{
    m_nKind = kind;
    m_strTempFile = MakeTempFileName(prefix);
}

bool TWholeSetStep::SaveState()
{
    m_bStateSaved = TProcessStep::SaveState();
    return m_bStateSaved;
}

bool TWholeSetStep::SwapState()
{
    if (!SwapWithTempFile(m_pszPrefix))
        return false;
    TakeRecordingFlag();
    return true;
}

bool TWholeSetStep::Applied(bool ok)
{
    if (!ok && m_bStateSaved && m_pDataSet)
        ReadSavedState();
    return ok;
}
