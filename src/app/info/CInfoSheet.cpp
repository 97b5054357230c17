#include "app/info/CInfoSheet.h"

#include "app/info/CCsiInfoPage.h"
#include "app/info/CImgInfoPage.h"
#include "app/info/CMapInfoPage.h"
#include "model/TProject.h"
#include "platform/Globals.h"

CInfoSheet::CInfoSheet(QWidget* parent)
    : QTabWidget(parent), m_pCsiPage(new CCsiInfoPage), m_pImgPage(new CImgInfoPage), m_pMapPage(new CMapInfoPage)
{
    addTab(m_pCsiPage, "CSI Info");
    addTab(m_pImgPage, "Image Info");
    addTab(m_pMapPage, "Map Info");
}

void CInfoSheet::UpdateCSIPage(TCSISet* pSet)
{
    m_pCsiPage->Fill(pSet);
}

void CInfoSheet::UpdateImagePage(TMRImage* pImage)
{
    m_pImgPage->Fill(pImage);
}

void CInfoSheet::UpdateMapPage(TMRImage* pOverlay)
{
    m_pMapPage->Fill(pOverlay, g_pProject ? g_pProject->m_pWorkSet : nullptr);
}

void CInfoSheet::UpdateAll(TCSISet* pSet, TMRImage* pImage, TMRImage* pOverlay)
{
    UpdateCSIPage(pSet);
    UpdateImagePage(pImage);
    UpdateMapPage(pOverlay);
}
