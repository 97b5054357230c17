#include "processing/TZeroFillStep.h"

#include <climits>
#include <utility>

#include "model/TCSISet.h"
#include "model/TProject.h"
#include "processing/MacroFile.h"

TZeroFillStep::TZeroFillStep(bool recorded, TCSISet* pSet) : TWholeSetStep(kType, "zf", recorded, pSet) {}

bool TZeroFillStep::Apply()
{
    if (!m_pDataSet)
        return false;
    const int points = m_pDataSet->m_nPoints;
    if (points < 1 || points > INT_MAX / 2)
        return false;
    if (!m_pDataSet->ZeroFill(2 * points))
        return Applied(false);
    m_nPointsBefore = points;
    m_nPointsAfter = 2 * points;
    return true;
}

bool TZeroFillStep::Toggle(TStateChange change)
{
    if (!SwapState(change))
        return false;
    std::swap(m_nPointsBefore, m_nPointsAfter);
    if (TProject* pProject = m_pDataSet->GetProject())
        pProject->ResetSpectrumDisplay(true);
    return true;
}

bool TZeroFillStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroKeyLines(file, nullptr);
}

void TZeroFillStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#Zero fill to double the length in time axis", {});
}
