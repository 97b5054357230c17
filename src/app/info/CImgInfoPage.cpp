#include "app/info/CImgInfoPage.h"

#include "app/info/OrientationCaption.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"

CImgInfoPage::CImgInfoPage(QWidget* parent)
    : CInfoPage({"Image Orientation:", "FOV (mm):", "Image size:", "Slice Center (rl,ap,fh):",
                 "Slice Thickness (mm):", "Exam Name:", "TR (ms):", "TE (ms):", "Angulation(rl,ap,hf):"},
                parent)
{
}

void CImgInfoPage::Fill(const TMRImage* pImage)
{
    if (!pImage) {
        SetUnavailable();
        return;
    }
    const TMRImage& image = *pImage;
    float centre[3], angulation[3];
    for (int d = 0; d < 3; ++d) {
        centre[d] = image.GetParameter(TMRImage::ParamPositionX + d);
        angulation[d] = image.GetParameter(TMRImage::ParamAngulationX + d);
    }
    const bool oriented = image.IsParameterKnown(TMRImage::KnownOrientation);
    SetTexts({
        oriented ? vx::app::OrientationCaption(image.GetOrientation()) : std::string(),
        Joined({FloatToString(image.GetFOVX(), 1), FloatToString(image.GetFOVY(), 1)}),
        Joined({std::to_string(image.GetWidth()), std::to_string(image.GetHeight())}),
        Joined(centre, 2),
        FloatToString(image.GetThickness(), 2),
        image.GetInfoText(TMRImage::InfoExamName),
        FloatToString(image.GetTR(), 2),
        FloatToString(image.GetTE(), 2),
        Joined(angulation, 2),
    });
}
