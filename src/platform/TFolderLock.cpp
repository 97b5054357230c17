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

TFileIdentity IdentityOf(const struct stat& st)
{
    return TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// Where the file open as fd is now, as the system knows it; empty when it cannot say.
std::string PathOfOpenFile(int fd)
{
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

}  // namespace

std::string TFolderLock::WhatIsThereInstead(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return "something other than a file";
    if (S_ISDIR(st.st_mode))
        return "a folder";
    if (S_ISFIFO(st.st_mode))
        return "a FIFO";
    if (S_ISSOCK(st.st_mode))
        return "a socket";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "a device";
    return "something other than a file";
}

bool TFolderLock::Holds(const std::string& folder) const
{
    return m_fd >= 0 && FileIdentityOf(JoinPath(folder, FileName())) == m_identity;
}

std::string TFolderLock::FolderNow() const
{
    if (m_folderFd < 0)
        return std::string();
    // The open folder is known to the system wherever it was renamed or moved, also when
    // its lock file is gone.
    const std::string path = PathOfOpenFile(m_folderFd);
    return FileIdentityOf(path) == m_folderIdentity ? path : std::string();
}

bool TFolderLock::IsHeldHere(const std::string& folder)
{
    const std::optional<TFileIdentity> identity = FileIdentityOf(JoinPath(folder, FileName()));
    std::lock_guard<std::mutex> guard(g_heldMutex);
    return identity && HeldHere().count(*identity) > 0;
}

TFolderLock::TResult TFolderLock::Take(int folderFd, int& fd, TFileIdentity& identity)
{
    // The lock file stays: removing it would let two holders lock two different files.
    // A lock needs no write permission on the file: a user who may only read it locks it
    // all the same, and a holder elsewhere is seen as one. Never blocking: a FIFO under
    // the name would wait for a writer that never comes.
    fd = ::openat(folderFd, FileName(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    struct stat st {};
    if (fd < 0) {
        // A folder under the name refuses to be created; a socket refuses to be opened.
        const bool there = ::fstatat(folderFd, FileName(), &st, 0) == 0;
        return there && !S_ISREG(st.st_mode) ? TResult::NotAFile : TResult::Unavailable;
    }
    const bool examined = ::fstat(fd, &st) == 0;
    if (!examined || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fd = -1;
        return examined ? TResult::NotAFile : TResult::Unavailable;
    }
    identity = IdentityOf(st);
    std::lock_guard<std::mutex> guard(g_heldMutex);
    TResult result = TResult::Held;
    if (HeldHere().count(identity))
        result = TResult::HeldHere;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        result = errno == EWOULDBLOCK ? TResult::HeldElsewhere : TResult::Unavailable;
    if (result != TResult::Held) {
        ::close(fd);
        fd = -1;
        return result;
    }
    HeldHere().insert(identity);
    return result;
}

TFolderLock::TResult TFolderLock::Acquire(const std::string& folder)
{
    if (Holds(folder))
        return TResult::Held;
    Release();
    // The folder is opened first and its lock file found in it, so that the two belong
    // together whatever is renamed meanwhile. A folder opened for its path alone needs no
    // permission to read it.
    const int folderFd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (folderFd < 0 || ::fstat(folderFd, &st) != 0) {
        if (folderFd >= 0)
            ::close(folderFd);
        return TResult::Unavailable;
    }
    const TResult result = Take(folderFd, m_fd, m_identity);
    if (result != TResult::Held) {
        ::close(folderFd);
        return result;
    }
    m_folderFd = folderFd;
    m_folderIdentity = IdentityOf(st);
    return result;
}

TFolderLock::TResult TFolderLock::Keep(const std::string& folder)
{
    if (m_fd < 0)
        return TResult::Unavailable;
    if (Holds(folder))
        return TResult::Held;
    if (FileIdentityOf(folder) != m_folderIdentity)
        return TResult::Moved;
    // The held folder is there, its lock file is not the one held.
    int fd = -1;
    TFileIdentity identity;
    const TResult result = Take(m_folderFd, fd, identity);
    if (result != TResult::Held)
        return result;
    ::close(m_fd);
    std::lock_guard<std::mutex> guard(g_heldMutex);
    HeldHere().erase(m_identity);
    m_fd = fd;
    m_identity = identity;
    return result;
}

void TFolderLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        std::lock_guard<std::mutex> guard(g_heldMutex);
        HeldHere().erase(m_identity);
    }
    if (m_folderFd >= 0)
        ::close(m_folderFd);
    m_fd = m_folderFd = -1;
    m_identity = m_folderIdentity = {};
}

}  // namespace vx
