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
    std::string why;
    const bool swapped =
        SwapStateFiles(change, PixelWriter(image), [image, &why](const TStateFile& state) {
            // The pixels change only after a complete read, so the read that puts back the
            // state just written has nothing to mend: the first failure alone is told.
            std::string failure;
            if (image->ReadPixels(*state.folder, state.name, "its state file", failure) == TMRImage::TPixelRead::Whole)
                return true;
            if (why.empty())
                why = failure;
            return false;
        });
    if (swapped) {
        if (TProject* project = image->GetProject())
            project->UpdateFrames(false, false, false, false, true);
    } else if (!why.empty()) {
        why.pop_back();  // its full stop: NotDoneText ends the sentence
        vx::Report(NotDoneText(change, why), vx::ReportIcon::Exclamation);
    }
    return swapped;
}
