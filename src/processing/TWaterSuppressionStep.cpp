#include "processing/TWaterSuppressionStep.h"

#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"
#include "platform/Workers.h"

TWaterSuppressionStep::TWaterSuppressionStep() : TWaterSuppressionStep(TWaterSuppressionParams(), false, nullptr) {}

TWaterSuppressionStep::TWaterSuppressionStep(const TWaterSuppressionParams& params, bool recorded, TCSISet* pSet)
    : TWholeSetStep(kType, "ws", recorded, pSet), m_params(params)
{
}

bool TWaterSuppressionStep::Apply()
{
    if (!m_pDataSet)
        return false;
    const int processors = vx::ProcessorCount();
    return Applied(processors < 2 ? m_pDataSet->SuppressWater(m_params) : RunParallel(processors));
}

bool TWaterSuppressionStep::RunParallel(int parts)
{
    if (parts < 1 || !m_pDataSet)
        return false;
    return m_pDataSet->SuppressWater(m_params, [this, parts] { return TProcessStep::RunParallel(parts); });
}

bool TWaterSuppressionStep::RunPart(int parts, int index)
{
    return m_pDataSet && m_pDataSet->SuppressWaterPart(m_params, parts, index);
}

std::vector<TMacroField> TWaterSuppressionStep::Fields()
{
    return {TMacroField::Int("methodID", m_params.m_nMethod),
            TMacroField::Int("WindowType", m_params.m_nWindowType),
            TMacroField::Int("WindowLength", m_params.m_nWindowLength),
            TMacroField::Int("NumOfPeaks", m_params.m_nPeaks),
            TMacroField::Float("WaterStartInHz", m_params.m_fWaterStart),
            TMacroField::Float("WaterEndInHz", m_params.m_fWaterEnd),
            TMacroField::Float("WaterPeakAlignRangeinPPM", m_params.m_fPeakAlignRange)};
}

bool TWaterSuppressionStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroBlock(file, Fields());
}

void TWaterSuppressionStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#Water suppression", Fields());
}

std::string TWaterSuppressionStep::GetDisplayName() const
{
    std::string name = "water suppress";
    if (m_params.m_nMethod == 0)
        name += " Sodano";
    else if (m_params.m_nMethod == 1)
        name += " HLSVD " + FloatToString(static_cast<float>(m_params.m_nPeaks), 2);
    return name;
}
