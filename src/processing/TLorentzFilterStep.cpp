#include "processing/TLorentzFilterStep.h"

#include "model/TCSISet.h"
#include "model/math/TMixedRadixFFT.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"
#include "platform/Workers.h"
#include "processing/MacroFile.h"

TLorentzFilterStep::TLorentzFilterStep() : TLorentzFilterStep(0.0f, false, nullptr) {}

TLorentzFilterStep::TLorentzFilterStep(float lineWidth, bool recorded, TCSISet* pSet)
    : TWholeSetStep(kType, "tf", recorded, pSet), m_fLineWidth(lineWidth)
{
}

bool TLorentzFilterStep::Apply()
{
    if (!m_pDataSet)
        return false;
    const int processors = vx::ProcessorCount();
    return Applied(processors < 2 ? m_pDataSet->LorentzFilter(m_fLineWidth) : RunParallel(processors));
}

bool TLorentzFilterStep::RunParallel(int parts)
{
    if (parts < 1 || !m_pDataSet)
        return false;
    TCSISet& set = *m_pDataSet;
    // Everything that can refuse the work is checked here, before the samples change.
    if (!set.IsLoaded() || set.VoxelCount() == 0 || !TMixedRadixFFT::CheckFFTLength(set.m_nPoints))
        return false;
    if (set.m_nSpectralWidth <= 0) {
        vx::Report(TCSISet::kNoSpectralWidth, vx::ReportIcon::Exclamation);
        return false;
    }
    if (set.m_bFrequencyDomain == 1) {
        set.FFTShiftSpectra();
        if (!set.ToTimeDomain()) {
            set.FFTShiftSpectra();
            return false;
        }
    }
    // Weighting twice is as wrong as not at all: every part runs exactly once.
    m_partDone.assign(static_cast<size_t>(parts), 0);
    TProcessStep::RunParallel(parts);
    bool weighted = true;
    for (int k = 0; k < parts; ++k)
        if (!m_partDone[static_cast<size_t>(k)])
            weighted = RunPart(parts, k) && weighted;
    m_partDone.clear();
    if (!weighted || !set.ToFrequencyDomain())
        return false;
    set.FFTShiftSpectra();
    set.UpdateDataRange();
    set.m_fLorentzBroadening += m_fLineWidth;
    return true;
}

bool TLorentzFilterStep::RunPart(int parts, int index)
{
    if (!m_pDataSet || !m_pDataSet->LorentzFilterPart(m_fLineWidth, parts, index))
        return false;
    if (static_cast<size_t>(index) < m_partDone.size())
        m_partDone[static_cast<size_t>(index)] = 1;
    return true;
}

bool TLorentzFilterStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroBlock(file, {TMacroField::Float("FilterLineWidth", m_fLineWidth)});
}

void TLorentzFilterStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#Lorentzian filtering", {TMacroField::Float("FilterLineWidth", m_fLineWidth)});
}

std::string TLorentzFilterStep::GetDisplayName() const
{
    return "Loren filter " + FloatToString(m_fLineWidth, 2) + "Hz";
}
