#pragma once
// The information window's three pages as tabs: "CSI Info" (the work set), "Image Info"
// (the image of the active image window) and "Map Info" (its map overlay).
#include <QTabWidget>

class CCsiInfoPage;
class CImgInfoPage;
class CMapInfoPage;
class TCSISet;
class TMRImage;

class CInfoSheet : public QTabWidget {
    Q_OBJECT
public:
    explicit CInfoSheet(QWidget* parent = nullptr);

    // Each fills its page; null shows "Unavailable" in every field of it.
    void UpdateCSIPage(TCSISet* pSet);
    void UpdateImagePage(TMRImage* pImage);
    void UpdateMapPage(TMRImage* pOverlay);
    void UpdateAll(TCSISet* pSet, TMRImage* pImage, TMRImage* pOverlay);

    CCsiInfoPage* CsiPage() const { return m_pCsiPage; }
    CImgInfoPage* ImagePage() const { return m_pImgPage; }
    CMapInfoPage* MapPage() const { return m_pMapPage; }

private:
    CCsiInfoPage* m_pCsiPage;
    CImgInfoPage* m_pImgPage;
    CMapInfoPage* m_pMapPage;
};
