#include "app/info/CMapInfoPage.h"

#include "app/info/OrientationCaption.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"

CMapInfoPage::CMapInfoPage(QWidget* parent)
    : CInfoPage({"Peak Name", "Map Orientation:", "FOV( mm):", "Map size:", "Slice Position(mm):"}, parent)
{
}

void CMapInfoPage::Fill(const TMRImage* pOverlay, const TCSISet* pWorkSet)
{
    if (!pOverlay) {
        SetUnavailable();
        return;
    }
    const TMRImage& overlay = *pOverlay;
    const int orientation = overlay.GetOrientation();
    float centre[3];
    overlay.GetCentre3D(centre);
    if (pWorkSet)
        pWorkSet->TransformPoint(centre, 3);
    const bool known = orientation >= 0 && orientation <= 2;
    SetTexts({
        overlay.GetName(),
        vx::app::OrientationCaption(orientation),
        Joined({FloatToString(overlay.GetFOVX(), 2), FloatToString(overlay.GetFOVY(), 2)}),
        Joined({std::to_string(overlay.GetWidth()), std::to_string(overlay.GetHeight())}),
        known ? FloatToString(centre[orientation], 2) : std::string(),
    });
}
