#pragma once
// Installs the drawing of the project's drawn regions and region estimates into the main
// picture view's region layer: each is drawn with the view's pen colour, unfilled, over
// the image it was drawn on, a highlighted estimate in the highlight pen. Returns the
// painters installed before.
#include "views/picture/CMainPicView.h"

CMainPicView::TRegionPainters InstallRegionPainters();
