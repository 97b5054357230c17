#pragma once
// The pages of the information window that the core refreshes. CModelessInfoFrame
// implements it; the main window hands it out only while the window exists.
#include <vector>

class TCSISet;
class TMRImage;

class IInfoFrame {
public:
    virtual ~IInfoFrame() = default;

    // Null shows every field of the page as "Unavailable".
    virtual void UpdateCSIPage(TCSISet* pSet) = 0;
    virtual void UpdateImagePage(TMRImage* pImage) = 0;
    // The map overlays of a frame, taken by value; the overlays themselves stay the caller's.
    virtual void UpdateMapPage(std::vector<TMRImage*> overlays) = 0;
};
