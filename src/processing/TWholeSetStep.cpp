#include "processing/TWholeSetStep.h"

#include "model/TCSISet.h"

TWholeSetStep::TWholeSetStep(int kind, const char* prefix, bool recorded, TCSISet* pSet)
    : TProcessStep(recorded, pSet)
{
    m_nKind = kind;
    m_pszStatePrefix = prefix;
}

bool TWholeSetStep::SaveState()
{
    // Cleared first: a save that throws must not leave the flag of a state saved for
    // another set, which a failed Apply would then read into this one.
    m_bStateSaved = false;
    m_bStateSaved = TProcessStep::SaveState();
    return m_bStateSaved;
}

void TWholeSetStep::DropState()
{
    m_bStateSaved = false;
    TProcessStep::DropState();
}

bool TWholeSetStep::SwapState(TStateChange change)
{
    if (!SwapWithTempFile(change))
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
