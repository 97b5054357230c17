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
    // The save drops the earlier state first (DropState clears the flag), so that a save
    // that throws leaves no flag of a state saved for another set for a failed Apply to
    // read into this one.
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
