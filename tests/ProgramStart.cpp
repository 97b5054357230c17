// Linked into the test programs without a GUI (the GUI ones start through the program's
// own application object): before any test, BLAS starts as the program starts it, one
// thread for every call, whatever the environment says.
#include "platform/BlasThreads.h"

namespace {

struct TProgramStart {
    TProgramStart() { vx::UseOneBlasThread(); }
} g_programStart;

}  // namespace
