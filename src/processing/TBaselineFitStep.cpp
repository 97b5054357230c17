#include "processing/TBaselineFitStep.h"

#include <algorithm>
#include <string>

#include "model/TCSISet.h"
#include "platform/Report.h"

TBaselineFitStep::TBaselineFitStep() : TBaselineFitStep(0, 0, nullptr, false, nullptr) {}

TBaselineFitStep::TBaselineFitStep(int peaks, int method, const float* ppm, bool recorded, TCSISet* pSet)
    : TWholeSetStep(kType, "blf", recorded, pSet), m_nPeaks(ppm ? std::clamp(peaks, 0, kMaxPeaks) : 0), m_nMethod(method)
{
    for (int i = 0; i < m_nPeaks; ++i) {
        m_fPeakPPM[i][0] = ppm[2 * i];
        m_fPeakPPM[i][1] = ppm[2 * i + 1];
    }
}

bool TBaselineFitStep::Apply()
{
    if (!m_pDataSet || !m_pDataSet->IsLoaded())
        return false;
    const int peaks = std::clamp(m_nPeaks, 0, kMaxPeaks);
    std::vector<int32_t> regions(2 * static_cast<size_t>(peaks));
    for (size_t i = 0; i < regions.size(); ++i) {
        if (!m_pDataSet->PointOfPPM(m_fPeakPPM[i / 2][i % 2], regions[i])) {
            vx::Report("Baseline correction failed for CSI set " + m_pDataSet->GetName() +
                           " because peak area is out of data range.",
                       vx::ReportIcon::Exclamation);
            return false;
        }
    }
    // A window that could not be fitted keeps its point; the fit reports it once.
    m_pDataSet->FitBaselineAll(m_nMethod, peaks, regions.data());
    return true;
}

bool TBaselineFitStep::ReadMacro(vx::TTextFile& file)
{
    int count = 0;  // peaks opened so far by "PeakStart"
    return ReadMacroKeyLines(file, [this, &count](const std::string& key, const std::string& value) {
        if (key == "methodID") {
            m_nMethod = ParseMacroInt(value);
        } else if (key == "NumofPeaks") {
            const int32_t peaks = ParseMacroInt(value);
            if (peaks < 0 || peaks > kMaxPeaks)
                return false;
            m_nPeaks = peaks;
        } else if (key == "PeakStart" || key == "PeakEnd") {
            float ppm = 0.0f;
            if (!ParseMacroFloat(value, ppm))
                return false;
            if (key == "PeakStart")
                ++count;
            if (count >= 1 && count <= m_nPeaks)
                m_fPeakPPM[count - 1][key == "PeakStart" ? 0 : 1] = ppm;
        }
        return true;
    });
}

void TBaselineFitStep::WriteMacro(vx::TTextFile& file)
{
    std::vector<TMacroField> fields = {TMacroField::Int("methodID", m_nMethod),
                                       TMacroField::Int("NumofPeaks", m_nPeaks)};
    for (int i = 0; i < std::clamp(m_nPeaks, 0, kMaxPeaks); ++i) {
        fields.push_back(TMacroField::Float("PeakStart", m_fPeakPPM[i][0]));
        fields.push_back(TMacroField::Float("PeakEnd", m_fPeakPPM[i][1]));
    }
    WriteMacroBlock(file, kType, "#Baseline correction using fitting method", fields);
}
