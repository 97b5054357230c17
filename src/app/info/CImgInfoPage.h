#pragma once
// "Image Info": orientation, field of view, size in pixels, centre, slice thickness, exam
// name, repetition and echo times and angulation of an MR image.
#include "app/info/CInfoPage.h"

class TMRImage;

class CImgInfoPage : public CInfoPage {
    Q_OBJECT
public:
    explicit CImgInfoPage(QWidget* parent = nullptr);
    // Null shows "Unavailable" everywhere.
    void Fill(const TMRImage* pImage);
};
