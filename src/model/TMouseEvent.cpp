#include "model/TMouseEvent.h"

namespace {
TMouseHandler s_selectVoxelHandler = nullptr;
}

void SetSelectVoxelHandler(TMouseHandler handler)
{
    s_selectVoxelHandler = handler;
}

TMouseHandler SelectVoxelHandler()
{
    return s_selectVoxelHandler;
}
