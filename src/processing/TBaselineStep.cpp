#include "processing/TBaselineStep.h"

#include "model/TCSISet.h"

TBaselineStep::TBaselineStep() : TBaselineStep(500.0f, 1.0f, false, nullptr) {}

TBaselineStep::TBaselineStep(float lineWidth, float scale, bool recorded, TCSISet* pSet)
    : TWholeSetStep(kType, "bl", recorded, pSet), m_fLineWidth(lineWidth), m_fScale(scale)
{
}

bool TBaselineStep::Apply()
{
    if (!m_pDataSet)
        return false;
    return Applied(m_pDataSet->BaselineCorrection(m_fLineWidth, m_fScale));
}

std::vector<TMacroField> TBaselineStep::Fields()
{
    return {TMacroField::Float("LineWidth", m_fLineWidth), TMacroField::Float("Scale", m_fScale)};
}

bool TBaselineStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroBlock(file, Fields());
}

void TBaselineStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#Baseline correction", Fields());
}
