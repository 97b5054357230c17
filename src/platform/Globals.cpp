#include "platform/Globals.h"

TProject* g_pProject = nullptr;
bool g_bBatchMode = false;
std::string g_batchLog;
bool g_bBatchError = false;

namespace vx {
void ResetGlobals()
{
    g_pProject = nullptr;
    g_bBatchMode = false;
    g_batchLog.clear();
    g_bBatchError = false;
}
}
