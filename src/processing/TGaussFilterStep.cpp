#include "processing/TGaussFilterStep.h"

#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"
#include "processing/MacroFile.h"

TGaussFilterStep::TGaussFilterStep() : TGaussFilterStep(0.0f, false, nullptr) {}

TGaussFilterStep::TGaussFilterStep(float lineWidth, bool recorded, TCSISet* pSet)
    : TWholeSetStep(kType, "tf", recorded, pSet), m_fLineWidth(lineWidth)
{
}

bool TGaussFilterStep::Apply()
{
    if (!m_pDataSet)
        return false;
    return Applied(m_pDataSet->GaussFilter(m_fLineWidth));
}

bool TGaussFilterStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroBlock(file, {TMacroField::Float("FilterLineWidth", m_fLineWidth)});
}

void TGaussFilterStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#Gauss filtering", {TMacroField::Float("FilterLineWidth", m_fLineWidth)});
}

std::string TGaussFilterStep::GetDisplayName() const
{
    return "Gauss filter " + FloatToString(m_fLineWidth, 2) + "Hz";
}
