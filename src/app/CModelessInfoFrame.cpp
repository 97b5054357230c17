#include "app/CModelessInfoFrame.h"

#include "app/CChildFrame.h"
#include "app/info/CInfoSheet.h"
#include "model/TProject.h"

namespace {
TMRImage* SingleOverlay(const std::vector<TMRImage*>& overlays)
{
    return overlays.size() == 1 ? overlays.front() : nullptr;
}
}  // namespace

CModelessInfoFrame::CModelessInfoFrame() : m_pSheet(new CInfoSheet)
{
    setWidget(m_pSheet);
    // The frame fits the sheet; the user may not shrink it below that.
    adjustSize();
    setMinimumSize(size());
}

void CModelessInfoFrame::UpdateFrom(TProject* project, CChildFrame* frame)
{
    UpdateAll(project ? project->m_pWorkSet : nullptr, frame ? frame->GetImage() : nullptr,
              frame ? SingleOverlay(frame->GetMapOverlays()) : nullptr);
}

void CModelessInfoFrame::UpdateCSIPage(TCSISet* pSet)
{
    m_pSheet->UpdateCSIPage(pSet);
}

void CModelessInfoFrame::UpdateImagePage(TMRImage* pImage)
{
    m_pSheet->UpdateImagePage(pImage);
}

void CModelessInfoFrame::UpdateMapPage(std::vector<TMRImage*> overlays)
{
    m_pSheet->UpdateMapPage(SingleOverlay(overlays));
}

void CModelessInfoFrame::UpdateAll(TCSISet* pSet, TMRImage* pImage, TMRImage* pOverlay)
{
    m_pSheet->UpdateAll(pSet, pImage, pOverlay);
}
