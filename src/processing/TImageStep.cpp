#include "processing/TImageStep.h"

#include <string>

#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Report.h"

TImageStep::TImageStep(int kind, const char* prefix, TMRImage* pImage)
    : TProcessStep(false, nullptr), m_pImage(pImage), m_pszPrefix(prefix)
{
    m_nKind = kind;
    m_strTempFile = MakeTempFileName(prefix);
}

bool TImageStep::SaveState()
{
    return m_pImage && m_pImage->EnsurePixels() && m_pImage->SavePixels(m_strTempFile);
}

bool TImageStep::SwapPixels()
{
    if (!m_pImage || !m_pImage->EnsurePixels())
        return false;
    TMRImage* image = m_pImage;
    const bool swapped = SwapStateFiles(
        m_pszPrefix, [image](const std::string& path) { return image->SavePixels(path); },
        [image](const std::string& path) {
            // The pixels change only after a complete read.
            if (image->LoadPixels(path))
                return true;
            vx::Report("Can not read pixel file " + path, vx::ReportIcon::Exclamation);
            return false;
        });
    if (swapped)
        if (TProject* project = image->GetProject())
            project->UpdateFrames(false, false, false, false, true);
    return swapped;
}
