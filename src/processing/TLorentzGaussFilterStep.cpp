#include "processing/TLorentzGaussFilterStep.h"

#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"
#include "processing/MacroFile.h"

TLorentzGaussFilterStep::TLorentzGaussFilterStep() : TLorentzGaussFilterStep(0.0f, 0.0f, false, nullptr) {}

TLorentzGaussFilterStep::TLorentzGaussFilterStep(float gaussWidth, float lorentzWidth, bool recorded, TCSISet* pSet)
    : TWholeSetStep(kType, "tf", recorded, pSet), m_fGaussWidth(gaussWidth), m_fLorentzWidth(lorentzWidth)
{
}

bool TLorentzGaussFilterStep::Apply()
{
    if (!m_pDataSet)
        return false;
    return Applied(m_pDataSet->LorentzGaussFilter(m_fLorentzWidth, m_fGaussWidth));
}

std::vector<TMacroField> TLorentzGaussFilterStep::Fields()
{
    return {TMacroField::Float("GaussLineWidth", m_fGaussWidth), TMacroField::Float("LorenLineWidth", m_fLorentzWidth)};
}

bool TLorentzGaussFilterStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroBlock(file, Fields());
}

void TLorentzGaussFilterStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#Lorentzian-Gauss filtering", Fields());
}

std::string TLorentzGaussFilterStep::GetDisplayName() const
{
    return "Loren: " + FloatToString(m_fLorentzWidth, 2) + "Hz, Gauss: " + FloatToString(m_fGaussWidth, 2) + "Hz";
}
