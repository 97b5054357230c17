#pragma once
// A mouse event of the main picture view, handed to the handler of the current work mode.
#include <cstdint>

struct TMouseEvent {
    enum Kind : int32_t { LeftDown = 0, LeftUp = 1, RightDown = 2, RightUp = 3, Move = 4 };
    static constexpr int32_t kShift = 1;  // key bits
    static constexpr int32_t kCtrl = 2;

    int32_t m_nKind = LeftDown;
    int32_t m_nKeys = 0;
    int32_t m_nX = 0;  // client pixels
    int32_t m_nY = 0;
};

// The work-mode handlers are member operations of the main picture view. The core only
// stores and compares them, so the view class stays incomplete here.
class CMainPicView;
using TMouseHandler = void (CMainPicView::*)(TMouseEvent*);

// The "Select voxel" handler, which a project takes when it is created or loaded. The
// views register it at start-up; without views (tests, batch helpers) it stays null.
void SetSelectVoxelHandler(TMouseHandler handler);
TMouseHandler SelectVoxelHandler();
