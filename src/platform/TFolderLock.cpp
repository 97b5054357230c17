#include "platform/TFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

#include "platform/Paths.h"

namespace vx {

TFolderLock::~TFolderLock() { Release(); }

const char* TFolderLock::FileName() { return ".vexara.lock"; }

namespace {

// The folders whose lock this process holds: a lock file locked twice by one process
// would look held by another program.
std::mutex g_heldMutex;
std::set<std::string>& HeldHere()
{
    static std::set<std::string> folders;
    return folders;
}

}  // namespace

TFolderLock::TResult TFolderLock::Acquire(const std::string& folder)
{
    if (Holds(folder))
        return TResult::Held;
    Release();
    std::lock_guard<std::mutex> guard(g_heldMutex);
    if (HeldHere().count(folder))
        return TResult::HeldHere;
    // The lock file stays: removing it would let two holders lock two different files.
    // A lock needs no write permission on the file: a user who may only read it locks it
    // all the same, and a holder elsewhere is seen as one.
    const std::string path = JoinPath(folder, FileName());
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return TResult::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? TResult::HeldElsewhere : TResult::Unavailable;
    }
    m_fd = fd;
    m_folder = folder;
    HeldHere().insert(folder);
    return TResult::Held;
}

void TFolderLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        std::lock_guard<std::mutex> guard(g_heldMutex);
        HeldHere().erase(m_folder);
    }
    m_fd = -1;
    m_folder.clear();
}

}  // namespace vx
