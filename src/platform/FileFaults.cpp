#include "platform/FileFaults.h"

#include <atomic>
#include <cerrno>
#include <mutex>

namespace vx {

namespace {
struct TArmed {
    TFileFault fault;
    int seen = 0;        // watched calls, or steps, so far
    bool spent = false;  // struck once, and not onward
};
std::atomic<bool> g_armed{false};  // the common case takes no lock
std::mutex g_mutex;
std::vector<TArmed> g_faults;
bool g_struck = false;
}  // namespace

void SetFileFaults(const std::vector<TFileFault>& faults)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_faults.clear();
    for (const TFileFault& fault : faults)
        g_faults.push_back({fault});
    g_struck = false;
    g_armed.store(!g_faults.empty());
}

bool FileFaultStruck()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_struck;
}

bool FileCallFails(TFileCall call)
{
    if (!g_armed.load(std::memory_order_relaxed))
        return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    for (TArmed& armed : g_faults) {
        if ((armed.fault.calls & call) == 0)
            continue;
        bool strikes = false;
        if (armed.fault.atStep) {
            // Steps without a watched call between them leave the fault for the next call.
            strikes = armed.seen >= armed.fault.at && (armed.fault.onward || !armed.spent);
            armed.spent = armed.spent || strikes;
        } else {
            ++armed.seen;
            strikes = armed.seen == armed.fault.at || (armed.seen > armed.fault.at && armed.fault.onward);
        }
        if (strikes && error == 0)
            error = armed.fault.error;
    }
    if (error == 0)
        return false;
    g_struck = true;
    errno = error;
    return true;
}

void NoteFileStep()
{
    if (!g_armed.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (TArmed& armed : g_faults)
        if (armed.fault.atStep)
            ++armed.seen;
}

}  // namespace vx
