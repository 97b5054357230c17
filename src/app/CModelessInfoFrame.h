#pragma once
// The information window (Project > Information): an MDI child whose whole client area
// is the information sheet. The main frame makes it once; closing it only hides it.
#include <vector>

#include "app/CInfoFrameBase.h"

class CInfoSheet;

class CModelessInfoFrame : public CInfoFrameBase {
    Q_OBJECT
public:
    CModelessInfoFrame();

    void UpdateFrom(TProject* project, CChildFrame* frame) override;
    void UpdateCSIPage(TCSISet* pSet) override;
    void UpdateImagePage(TMRImage* pImage) override;
    // The map page shows the frame's overlay when it has exactly one, else "Unavailable".
    void UpdateMapPage(std::vector<TMRImage*> overlays) override;
    void UpdateAll(TCSISet* pSet, TMRImage* pImage, TMRImage* pOverlay);

    CInfoSheet* Sheet() const { return m_pSheet; }

private:
    CInfoSheet* m_pSheet;
};
