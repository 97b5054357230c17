#include "processing/TPPMCenterStep.h"

#include "model/TCSISet.h"

TPPMCenterStep::TPPMCenterStep() : TPPMCenterStep(0, 0, 0, 0, false, nullptr) {}

TPPMCenterStep::TPPMCenterStep(float oldCentre, float newCentre, float oldReference, float newReference,
                               bool recorded, TCSISet* pSet)
    : TProcessStep(recorded, pSet),
      m_fOldCentre(oldCentre),
      m_fNewCentre(newCentre),
      m_fOldReference(oldReference),
      m_fNewReference(newReference)
{
    m_nKind = kType;
}

void TPPMCenterStep::SetNewValues()
{
    m_pDataSet->SetPPMCentre(m_fNewCentre, m_fNewReference);
    m_pDataSet->RereferenceMaps(m_fOldCentre, m_fNewCentre);
}

bool TPPMCenterStep::Apply()
{
    if (!m_pDataSet)
        return false;
    m_fOldCentre = m_pDataSet->m_fPPMCentrePoint;
    m_fOldReference = m_pDataSet->m_fPPMCentreValue;
    SetNewValues();
    return true;
}

bool TPPMCenterStep::Toggle()
{
    if (!m_pDataSet)
        return false;
    m_fNewCentre = m_fOldCentre;
    m_fNewReference = m_fOldReference;
    m_fOldCentre = m_pDataSet->m_fPPMCentrePoint;
    m_fOldReference = m_pDataSet->m_fPPMCentreValue;
    SetNewValues();
    TakeRecordingFlag();
    return true;
}

std::vector<TMacroField> TPPMCenterStep::Fields()
{
    return {TMacroField::Float("NewPPMCenter", m_fNewCentre), TMacroField::Float("NewReferenceinPPM", m_fNewReference)};
}

bool TPPMCenterStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroBlock(file, Fields());
}

void TPPMCenterStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#PPM Center adjustment", Fields());
}
