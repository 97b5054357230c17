#include "processing/TImageStep.h"

#include <string>

#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Report.h"

namespace {

// Writes the image's pixels to a state file.
TProcessStep::TStateWriter PixelWriter(TMRImage* image)
{
    return [image](vx::TFile& file, const vx::TWriteFailureNote& note) { return image->SavePixels(file, note); };
}

}  // namespace

TImageStep::TImageStep(int kind, const char* prefix, TMRImage* pImage)
    : TProcessStep(false, nullptr), m_pImage(pImage)
{
    m_nKind = kind;
    m_pszStatePrefix = prefix;
}

TProject* TImageStep::StateProject() const
{
    return m_pImage ? m_pImage->GetProject() : nullptr;
}

bool TImageStep::SaveState()
{
    DropState();
    return m_pImage && m_pImage->EnsurePixels() && WriteStateFile(PixelWriter(m_pImage));
}

bool TImageStep::SwapPixels(TStateChange change)
{
    if (!m_pImage || !m_pImage->EnsurePixels())
        return false;
    TMRImage* image = m_pImage;
    const bool swapped = SwapStateFiles(
        change, PixelWriter(image),
        [image](const TStateFile& state) {
            // The pixels change only after a complete read.
            if (image->LoadPixels(*state.folder, state.name))
                return true;
            vx::Report("Can not read pixel file " + state.Path(), vx::ReportIcon::Exclamation);
            return false;
        });
    if (swapped)
        if (TProject* project = image->GetProject())
            project->UpdateFrames(false, false, false, false, true);
    return swapped;
}
