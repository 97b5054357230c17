#pragma once
// "CSI Info": the work set's name, slice orientation, matrix, field of view, voxel size
// and volume, centre, angulation, exam name and the repetition and echo times.
#include "app/info/CInfoPage.h"

class TCSISet;

class CCsiInfoPage : public CInfoPage {
    Q_OBJECT
public:
    explicit CCsiInfoPage(QWidget* parent = nullptr);
    // Null shows "Unavailable" everywhere.
    void Fill(const TCSISet* pSet);
};
