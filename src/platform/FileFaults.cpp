#include "platform/FileFaults.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace vx {

std::atomic<bool> g_fileFaultsArmed{false};

namespace {
struct TArmed {
    TFileFault fault;
    int seen = 0;        // watched calls, or steps, so far
    bool spent = false;  // struck once, and not onward
};
std::mutex g_mutex;
std::vector<TArmed> g_faults;
bool g_struck = false;
std::string g_struckRead;  // see FileFaultStruckRead
}  // namespace

void SetFileFaults(const std::vector<TFileFault>& faults)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_faults.clear();
    for (const TFileFault& fault : faults)
        g_faults.push_back({fault});
    g_struck = false;
    g_struckRead.clear();
    g_fileFaultsArmed.store(!g_faults.empty());
}

bool FileFaultStruck()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_struck;
}

std::string FileFaultStruckRead()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_struckRead;
}

void NoteFaultStruckRead(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_struckRead = path;
}

bool FileCallFailsOn(TFileCall call, const std::string& path)
{
    if (!FileCallFails(call))
        return false;
    const int error = errno;
    NoteFaultStruckRead(path);
    errno = error;
    return true;
}

bool ArmedFileCallFails(TFileCall call)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    // One fault makes a call fail: the first of the list that strikes. A fault struck once
    // only is spent only when it is that one; one that met another at this call stays
    // armed and fails the next watched call, as the fallback after a failed call is its own
    // call (a rename without flags after the renameat2 that a file system refused).
    TArmed* striking = nullptr;
    for (TArmed& armed : g_faults) {
        if ((armed.fault.calls & call) == 0 || armed.fault.hidesOpenFiles)
            continue;
        if (!armed.fault.atStep)
            ++armed.seen;
        // Steps without a watched call between them leave the fault for the next call.
        const bool reached = armed.seen >= armed.fault.at && (armed.fault.atStep || armed.fault.onward || armed.fault.at >= 1);
        const bool strikes = reached && (armed.fault.onward || !armed.spent);
        if (strikes && !striking)
            striking = &armed;
    }
    int error = 0;
    if (striking) {
        striking->spent = true;
        error = striking->fault.error;
    }
    if (error == 0)
        return false;
    g_struck = true;
    errno = error;
    return true;
}

namespace {

// Whether a descriptor of this process has the file of that identity open for reading or
// writing (a descriptor for the path alone leaves a removal alone on FUSE too).
bool OpenHere(const struct stat& file)
{
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return false;
    bool open = false;
    while (const dirent* entry = ::readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        struct stat st {};
        if (entry->d_name[0] == '.' || fd == ::dirfd(fds) || ::fstat(fd, &st) != 0)
            continue;
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && (flags & O_PATH) == 0 && st.st_dev == file.st_dev && st.st_ino == file.st_ino)
            open = true;
    }
    ::closedir(fds);
    return open;
}

}  // namespace

bool RemovalHidesOpenFile(const std::string& path)
{
    return RemovalHidesOpenFileAt(AT_FDCWD, path);
}

bool RemovalHidesOpenFileAt(int folderFd, const std::string& name)
{
    if (!g_fileFaultsArmed.load(std::memory_order_relaxed))
        return false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        bool hides = false;
        for (const TArmed& armed : g_faults)
            hides = hides || ((armed.fault.calls & kFileRemove) != 0 && armed.fault.hidesOpenFiles);
        if (!hides)
            return false;
    }
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode) || !OpenHere(st))
        return false;
    static std::atomic<unsigned> hidden{0};
    const size_t slash = name.rfind('/');
    char hiddenName[32];
    std::snprintf(hiddenName, sizeof hiddenName, ".fuse_hidden%08x%08x", unsigned(st.st_ino), ++hidden);
    const std::string to = (slash == std::string::npos ? std::string() : name.substr(0, slash + 1)) + hiddenName;
    return ::renameat(folderFd, name.c_str(), folderFd, to.c_str()) == 0;
}

bool ExclusiveLockRefused(int fd)
{
    if (!g_fileFaultsArmed.load(std::memory_order_relaxed))
        return false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        bool needWrite = false;
        for (const TArmed& armed : g_faults)
            needWrite = needWrite || armed.fault.locksNeedWrite;
        if (!needWrite)
            return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) != O_RDONLY)
        return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_struck = true;
    errno = EBADF;
    return true;
}

bool ArmedEntryTypesUnknown()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const TArmed& armed : g_faults)
        if (armed.fault.entryTypesUnknown)
            return true;
    return false;
}

bool ArmedNoAcls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const TArmed& armed : g_faults)
        if (armed.fault.noAcls) {
            errno = ENOTSUP;
            return true;
        }
    return false;
}

void NoteFileStep()
{
    if (!g_fileFaultsArmed.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (TArmed& armed : g_faults)
        if (armed.fault.atStep)
            ++armed.seen;
}

std::atomic<bool> g_beforeRightsHooked{false};

namespace {
std::function<void(const std::string&)>& BeforeRightsHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}
}  // namespace

void SetBeforeRightsHook(std::function<void(const std::string& path)> hook)
{
    g_beforeRightsHooked.store(false);
    BeforeRightsHook() = std::move(hook);
    g_beforeRightsHooked.store(static_cast<bool>(BeforeRightsHook()));
}

void RunBeforeRightsHook(const std::string& path)
{
    if (BeforeRightsHook())
        BeforeRightsHook()(path);
}

std::atomic<bool> g_beforeUseHooked{false};

namespace {
std::function<void(const std::string&)>& BeforeUseHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

std::function<void()>& RightsAwaitedHook()
{
    static std::function<void()> hook;
    return hook;
}
}  // namespace

void SetBeforeUseHook(std::function<void(const std::string& path)> hook)
{
    g_beforeUseHooked.store(false);
    BeforeUseHook() = std::move(hook);
    g_beforeUseHooked.store(static_cast<bool>(BeforeUseHook()));
}

void RunBeforeUseHook(const std::string& path)
{
    if (BeforeUseHook())
        BeforeUseHook()(path);
}

void SetRightsAwaitedHook(std::function<void()> hook)
{
    RightsAwaitedHook() = std::move(hook);
}

void RightsAwaited()
{
    if (RightsAwaitedHook())
        RightsAwaitedHook()();
}

}  // namespace vx
