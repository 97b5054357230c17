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

// The folders whose lock this process holds: a lock file locked twice by one process
// would look held by another program.
std::mutex g_heldMutex;
std::set<TFileIdentity>& HeldHere()
{
    static std::set<TFileIdentity> folders;
    return folders;
}

}  // namespace

bool TFolderLock::Holds(const std::string& folder) const
{
    return m_fd >= 0 && FileIdentityOf(folder) == m_folder;
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
    const std::string folder = FolderOf(std::string(target, static_cast<size_t>(length)));
    return FileIdentityOf(folder) == m_folder ? folder : std::string();
}

bool TFolderLock::IsHeldHere(const std::string& folder)
{
    const std::optional<TFileIdentity> identity = FileIdentityOf(folder);
    std::lock_guard<std::mutex> guard(g_heldMutex);
    return identity && HeldHere().count(*identity) > 0;
}

TFolderLock::TResult TFolderLock::Acquire(const std::string& folder)
{
    if (Holds(folder))
        return TResult::Held;
    Release();
    // The lock file is opened in the folder whose identity is taken, whatever is renamed
    // meanwhile.
    const int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (dir < 0 || ::fstat(dir, &st) != 0) {
        if (dir >= 0)
            ::close(dir);
        return TResult::Unavailable;
    }
    const TFileIdentity identity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    std::lock_guard<std::mutex> guard(g_heldMutex);
    if (HeldHere().count(identity)) {
        ::close(dir);
        return TResult::HeldHere;
    }
    // The lock file stays: removing it would let two holders lock two different files.
    // A lock needs no write permission on the file: a user who may only read it locks it
    // all the same, and a holder elsewhere is seen as one.
    const int fd = ::openat(dir, FileName(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    ::close(dir);
    if (fd < 0)
        return TResult::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? TResult::HeldElsewhere : TResult::Unavailable;
    }
    m_fd = fd;
    m_folder = identity;
    HeldHere().insert(identity);
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
    m_folder = {};
}

}  // namespace vx
