#include "platform/TFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

#include "platform/Paths.h"

namespace vx {

TFolderLock::~TFolderLock() { Release(); }

const char* TFolderLock::FileName() { return ".vexara.lock"; }

namespace {

// The lock files this process holds, by identity: a lock file locked twice by one process
// would look held by another program. A held lock file stays open, so its identity is
// never given to another file meanwhile, even when its folder is removed.
std::mutex g_heldMutex;
std::set<TFileIdentity>& HeldHere()
{
    static std::set<TFileIdentity> lockFiles;
    return lockFiles;
}

}  // namespace

bool TFolderLock::Holds(const std::string& folder) const
{
    return m_fd >= 0 && FileIdentityOf(JoinPath(folder, FileName())) == m_identity;
}

std::string TFolderLock::FolderNow() const
{
    if (m_fd < 0)
        return std::string();
    // The open lock file moves with its folder, and the system knows where it is now.
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(m_fd);
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return std::string();
    const std::string path(target, static_cast<size_t>(length));
    return FileIdentityOf(path) == m_identity ? FolderOf(path) : std::string();
}

bool TFolderLock::IsHeldHere(const std::string& folder)
{
    const std::optional<TFileIdentity> identity = FileIdentityOf(JoinPath(folder, FileName()));
    std::lock_guard<std::mutex> guard(g_heldMutex);
    return identity && HeldHere().count(*identity) > 0;
}

TFolderLock::TResult TFolderLock::Acquire(const std::string& folder)
{
    if (Holds(folder))
        return TResult::Held;
    Release();
    // The lock file stays: removing it would let two holders lock two different files.
    // A lock needs no write permission on the file: a user who may only read it locks it
    // all the same, and a holder elsewhere is seen as one.
    const std::string path = JoinPath(folder, FileName());
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return TResult::Unavailable;
    }
    const TFileIdentity identity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    std::lock_guard<std::mutex> guard(g_heldMutex);
    if (HeldHere().count(identity)) {
        ::close(fd);
        return TResult::HeldHere;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? TResult::HeldElsewhere : TResult::Unavailable;
    }
    m_fd = fd;
    m_identity = identity;
    HeldHere().insert(identity);
    return TResult::Held;
}

void TFolderLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        std::lock_guard<std::mutex> guard(g_heldMutex);
        HeldHere().erase(m_identity);
    }
    m_fd = -1;
    m_identity = {};
}

}  // namespace vx
