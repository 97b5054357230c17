#pragma once
// Process-wide state shared by the shell and the core: the open project and the batch run.
#include <string>

class TProject;

// The one open project; null while none is open. The shell owns and replaces it.
extern TProject* g_pProject;
// True while a batch run processes its studies: reported errors go to g_batchLog.
extern bool g_bBatchMode;
// Warnings and errors of the running batch, each line ending in "\r\n".
extern std::string g_batchLog;
// Set by every operation that appends an error line to g_batchLog.
extern bool g_bBatchError;

namespace vx {
// Puts the globals back to their start values (tests).
void ResetGlobals();
}
