#include "processing/TPhasingStep.h"

#include <utility>

#include "model/TCSISet.h"

TPhasingStep::TPhasingStep() : TPhasingStep(0, 0, 0, 0, 0, 0, 0, 0, false, nullptr) {}

TPhasingStep::TPhasingStep(float oldPhase0, float newPhase0, float oldPhase1, float newPhase1, int32_t oldPivot,
                           int32_t newPivot, int32_t multiSlice, int32_t slice, bool recorded, TCSISet* pSet)
    : TProcessStep(recorded, pSet),
      m_fOldPhase0(oldPhase0),
      m_fNewPhase0(newPhase0),
      m_fOldPhase1(oldPhase1),
      m_fNewPhase1(newPhase1),
      m_nOldPivot(oldPivot),
      m_nNewPivot(newPivot),
      m_nMultiSlice(multiSlice),
      m_nSlice(slice)
{
    m_nKind = kType;
}

bool TPhasingStep::CanPhase() const
{
    if (!m_pDataSet || !m_pDataSet->IsLoaded())
        return false;
    return m_nMultiSlice != 1 || (m_nSlice >= 0 && m_nSlice < m_pDataSet->SliceCount());
}

void TPhasingStep::PhaseOldToNew()
{
    TCSISet& set = *m_pDataSet;
    set.Phase(0.0f, -m_fOldPhase1, m_nOldPivot, m_nMultiSlice, m_nSlice, false);
    set.Phase(m_fNewPhase0 - m_fOldPhase0, m_fNewPhase1, m_nNewPivot, m_nMultiSlice, m_nSlice, false);
    set.SetPhase0(m_fNewPhase0, m_nMultiSlice, m_nSlice);
    set.SetPhase1(m_fNewPhase1, m_nNewPivot, m_nMultiSlice, m_nSlice);
}

bool TPhasingStep::Apply()
{
    if (!CanPhase())
        return false;
    m_pDataSet->GetPhase(m_nMultiSlice == 1 ? m_nSlice : -1, m_fOldPhase0, m_fOldPhase1, m_nOldPivot);
    PhaseOldToNew();
    return true;
}

bool TPhasingStep::Toggle()
{
    if (!CanPhase())
        return false;
    std::swap(m_fOldPhase0, m_fNewPhase0);
    std::swap(m_fOldPhase1, m_fNewPhase1);
    std::swap(m_nOldPivot, m_nNewPivot);
    PhaseOldToNew();
    TakeRecordingFlag();
    return true;
}

std::vector<TMacroField> TPhasingStep::Fields()
{
    return {TMacroField::Degrees("ConstantPhaseinDegree", m_fNewPhase0),
            TMacroField::Degrees("LinearPhaseinDegree", m_fNewPhase1), TMacroField::Int("Pivot", m_nNewPivot),
            TMacroField::Int("IsMultiSlice", m_nMultiSlice), TMacroField::Int("SliceIndex", m_nSlice)};
}

bool TPhasingStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroBlock(file, Fields());
}

void TPhasingStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#Phasing", Fields());
}
