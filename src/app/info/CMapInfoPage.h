#pragma once
// "Map Info": name, orientation, field of view, size and slice position of the map
// overlay (an image made from a metabolite map) shown in the active image window.
#include "app/info/CInfoPage.h"

class TCSISet;
class TMRImage;

class CMapInfoPage : public CInfoPage {
    Q_OBJECT
public:
    explicit CMapInfoPage(QWidget* parent = nullptr);
    // Null shows "Unavailable" everywhere. The slice position is the overlay's centre
    // taken into the work set's frame when there is one.
    void Fill(const TMRImage* pOverlay, const TCSISet* pWorkSet);
};
