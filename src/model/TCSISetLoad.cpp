// Reading a set's samples back from its data-set file (kept apart from TCSISet.cpp so
// that code using the set without its file does not pull in the file reader).
#include "model/TCSISet.h"
#include "platform/WaitCursor.h"

bool TCSISet::LoadData()
{
    if (m_bLoaded)
        FreeSpectra();
    vx::TWaitCursor wait;
    if (!ReadDataFile(m_strFilePath))
        return false;
    m_fDisplayMax = m_fMagnitudeMax;
    m_fDisplayMin = -m_fMagnitudeMax;
    return true;
}
