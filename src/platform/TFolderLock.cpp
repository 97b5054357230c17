#include "platform/TFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/TFolder.h"
#include "platform/TRights.h"

namespace vx {

TFolderLock::~TFolderLock() { Release(); }

const char* TFolderLock::FileName() { return ".vexara.lock"; }

namespace {

// The folders whose locks this process holds, by identity: a lock file locked twice by one
// process would look held by another program, and a folder whose lock file was removed
// while it is held is still held here. A held folder stays open, so its identity is never
// given to another folder meanwhile, even when it is removed. A process forked from this
// one is another program: it starts with none.
std::mutex g_heldMutex;
std::set<TFileIdentity>& HeldHere()
{
    static std::set<TFileIdentity> folders;
    static pid_t process = 0;
    if (process != ::getpid()) {
        folders.clear();
        process = ::getpid();
    }
    return folders;
}

TFileIdentity IdentityOf(const struct stat& st)
{
    return TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// Where the file open as fd is now, as the system knows it; empty when it cannot say.
std::string PathOfOpenFile(int fd)
{
    char target[4096];
    const ssize_t length = ::readlink(NameOfOpenDescriptor(fd).c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

// A lock file is made private to its maker, as every file the program makes, and given its
// rights at once on its descriptor: another user's program that meets a lock file of this
// mode knows that its rights are still to come.
constexpr mode_t kBirthMode = 0600;

// A lock file may be written by everyone who may write its folder, whatever the umask:
// another user's program sharing the folder must open it for writing to lock it on NFS.
mode_t LockFileMode(int folderFd)
{
    struct stat folder {};
    return 0644 | (::fstat(folderFd, &folder) == 0 ? folder.st_mode & 0022 : 0);
}

// Gives the lock file open as fd, which this try has just made, the rights of its folder:
// only a file this program made, of no other name, is ever changed (the caller checks). It
// takes the folder's owner where the process may give it (root opening a user's project
// leaves the user's lock file), and its group where this user belongs to it: where new
// files get their maker's group (a folder that is not setgid, users with groups of their
// own), the other users of a group folder could not write it otherwise. Should that fail,
// the lock is held all the same and the file stays private: another user's program is
// refused by it, once it has waited for its rights, and told whom to ask.
void GiveFolderRights(int fd, int folderFd)
{
    struct stat folder {};
    if (::fstat(folderFd, &folder) == 0)
        (void)TRights(LockFileMode(folderFd), folder.st_uid, folder.st_gid).GiveTo(fd);
}

// A lock file that cannot be made for one of these reasons is missing because the folder
// cannot be written (read-only media, a folder of another user).
bool MeansNotWritable(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// A lock call (the lock file's making or its lock) refused for one of these reasons is one
// the file system does not offer at all.
bool MeansNoLocks(int error)
{
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

// Removes the lock file in the folder open as folderFd when it is still the file of that
// identity (links not followed), which the caller keeps open so that no other file can get
// its identity meanwhile. Through the folder's descriptor, not by path: the folder may have
// been renamed meanwhile, and another put at its path.
void RemoveLockFileIn(int folderFd, const TFileIdentity& identity)
{
    struct stat st {};
    if (::fstatat(folderFd, TFolderLock::FileName(), &st, AT_SYMLINK_NOFOLLOW) != 0 || IdentityOf(st) != identity ||
        FileCallFails(kFileRemove) || RemovalHidesOpenFileAt(folderFd, TFolderLock::FileName()))
        return;
    ::unlinkat(folderFd, TFolderLock::FileName(), 0);
}

}  // namespace

TFolderLock::TOffer TFolderLock::OfferOf(TResult result)
{
    switch (result) {
    case TResult::Held: return TOffer::Change;
    case TResult::HeldElsewhere:
    case TResult::HeldHere: return TOffer::Busy;
    case TResult::ReadOnly:
    case TResult::NoLocks: return TOffer::ReadOnly;
    default: return TOffer::Refused;
    }
}

std::string TFolderLock::WhatIsThereInstead(const std::string& path)
{
    // The lock file is never followed: a link under its name is what stands there.
    return vx::WhatIsThereInstead(path, false);
}

std::string TFolderLock::OwnerOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return std::string();
    return UserNameOf(st.st_uid);
}

bool TFolderLock::Holds(const std::string& folder) const
{
    return m_fd >= 0 && FileIdentityOf(folder) == m_folderIdentity &&
           FileIdentityOf(JoinPath(folder, FileName())) == m_identity;
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

TFolder TFolderLock::Folder(const std::string& path) const
{
    if (m_folderFd < 0) {
        errno = EBADF;
        return TFolder();
    }
    return TFolder::Reopen(m_folderFd, path);
}

bool TFolderLock::IsHeldHere(const std::string& folder)
{
    const std::optional<TFileIdentity> identity = FileIdentityOf(folder);
    std::lock_guard<std::mutex> guard(g_heldMutex);
    return identity && HeldHere().count(*identity) > 0;
}

TFolderLock::TResult TFolderLock::TakeOnce(int folderFd, int& fd, TFileIdentity& identity, bool& made)
{
    // Never blocking: a FIFO under the name would wait for a writer that never comes.
    // Never through a link: it would lock another file, or make one wherever a dangling
    // link points. Something other than a file there is not even opened.
    constexpr int kOpen = O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW;
    made = false;
    struct stat st {};
    if (::fstatat(folderFd, FileName(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode))
        return TResult::NotAFile;
    // Open to write where this user may: NFS locks only files open for writing. A user who
    // may only read it locks it all the same where the file system allows.
    fd = ::openat(folderFd, FileName(), O_RDWR | kOpen);
    if (fd < 0 && MeansNotWritable(errno)) {
        fd = ::openat(folderFd, FileName(), O_RDONLY | kOpen);
        if (fd < 0 && errno == ENOENT)
            return TResult::Changed;  // removed meanwhile
    }
    bool making = false;
    if (fd < 0 && errno == ENOENT) {
        fd = FileCallFails(kFileLock) ? -1
                                      : ::openat(folderFd, FileName(), O_RDWR | kOpen | O_CREAT | O_EXCL, kBirthMode);
        making = fd >= 0;
        if (!making && errno == EEXIST)  // made meanwhile by another program, or a link
            return TResult::Changed;
        if (making)
            BeforeRightsGiven(JoinPath(PathOfOpenFile(folderFd), FileName()));
    }
    if (fd < 0) {
        m_error = errno;
        // A link refuses to be opened, and so does a socket.
        if (::fstatat(folderFd, FileName(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return MeansNotWritable(m_error) ? TResult::ReadOnly
                   : MeansNoLocks(m_error)   ? TResult::NoLocks
                                             : TResult::Unavailable;
        if (!S_ISREG(st.st_mode))
            return TResult::NotAFile;
        if (m_error != EACCES && m_error != EPERM)
            return TResult::Unavailable;
        // Another user's lock file in its birth mode is one whose maker has yet to give it
        // its rights (Take waits for them).
        m_rightsAwaited = (st.st_mode & 07777) == kBirthMode && st.st_uid != ::geteuid();
        return TResult::Forbidden;
    }
    bool examined = false;
    const auto fail = [&](int error, TResult result) {
        m_error = error;
        // A lock file this try made and did not lock goes again, so that a folder where
        // nothing is locked is left as it was found; one another program locked meanwhile
        // is that program's. It goes while it is still open here: closed, its inode could
        // be given to a lock file another program makes meanwhile, which would pass for it.
        if (making && examined && result != TResult::HeldElsewhere)
            RemoveLockFileIn(folderFd, IdentityOf(st));
        ::close(fd);
        fd = -1;
        return result;
    };
    if (::fstat(fd, &st) != 0)
        return fail(errno, TResult::Unavailable);
    examined = true;
    if (!S_ISREG(st.st_mode))
        return fail(0, TResult::NotAFile);
    // A file of other names (a project copied with its files' names, cp -al) is locked as it
    // is: a lock changes no file. Its rights are another file's too, and are never changed,
    // also when another name was given to the file this try made.
    if (making && st.st_nlink == 1)
        GiveFolderRights(fd, folderFd);
    if (FileCallFails(kFileLock) || ExclusiveLockRefused(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        m_heldLinks = st.st_nlink;
        const bool readOnly = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY;
        return fail(error, error == EWOULDBLOCK                                       ? TResult::HeldElsewhere
                           : MeansNoLocks(error) || (error == EBADF && readOnly) ? TResult::NoLocks
                                                                                   : TResult::Unavailable);
    }
    // The file locked must still be the lock file: its holder may have removed it before
    // it let go, and then another program may hold the one made in its place.
    struct stat now {};
    if (::fstatat(folderFd, FileName(), &now, AT_SYMLINK_NOFOLLOW) != 0 || IdentityOf(now) != IdentityOf(st))
        return fail(0, TResult::Changed);
    identity = IdentityOf(st);
    made = making;
    return TResult::Held;
}

TFolderLock::TResult TFolderLock::Take(int folderFd, int& fd, TFileIdentity& identity, bool& made)
{
    // Each new try follows another program's removal or making of the lock file; a few
    // thousand in a row mean something keeps replacing it. A lock file another user's
    // program has just made is waited for until its maker gives it its rights, a few calls
    // later: up to a second, as long as the rights of a file take on a slow network file
    // system, after which it is one this user may not read (its maker was killed first, or
    // could not give them).
    constexpr int kRightsWaits = 100;
    int waits = 0;
    for (int attempt = 0; attempt < 10000; ++attempt) {
        m_rightsAwaited = false;
        const TResult result = TakeOnce(folderFd, fd, identity, made);
        if (result == TResult::Forbidden && m_rightsAwaited && waits < kRightsWaits) {
            ++waits;
            RightsAwaited();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (result != TResult::Changed)
            return result;
    }
    m_error = EAGAIN;
    return TResult::Unavailable;
}

TFolderLock::TResult TFolderLock::Acquire(const std::string& folder)
{
    if (Holds(folder))
        return TResult::Held;
    Release();
    m_error = 0;
    m_sharing = TSharing::NotShared;
    // The folder is opened first and its lock file found in it, so that the two belong
    // together whatever is renamed meanwhile. A folder opened for its path alone needs no
    // permission to read it.
    return AcquireOpen(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

TFolderLock::TResult TFolderLock::Acquire(const TFolder& folder)
{
    if (m_fd >= 0 && folder.IsOpen() && m_folderIdentity == folder.Identity())
        return TResult::Held;
    // A folder that did not open is unreachable for the error of its open.
    const int error = errno != 0 ? errno : EBADF;
    Release();
    m_error = 0;
    errno = error;
    return AcquireOpen(folder.IsOpen() ? ::fcntl(folder.Fd(), F_DUPFD_CLOEXEC, 0) : -1);
}

TFolderLock::TResult TFolderLock::AcquireOpen(int folderFd)
{
    struct stat st {};
    if (folderFd < 0 || ::fstat(folderFd, &st) != 0 || ::faccessat(folderFd, ".", X_OK, AT_EACCESS) != 0) {
        m_error = errno;
        if (folderFd >= 0)
            ::close(folderFd);
        return TResult::Unreachable;
    }
    const auto refuse = [&](int error, TResult result) {
        m_error = error;
        ::close(folderFd);
        return result;
    };
    // A folder that cannot be written is decided by itself, whatever stands in it.
    struct statvfs system {};
    if (::fstatvfs(folderFd, &system) == 0 && (system.f_flag & ST_RDONLY) != 0)
        return refuse(EROFS, TResult::ReadOnly);
    if (::faccessat(folderFd, ".", W_OK, AT_EACCESS) != 0)
        return refuse(errno, MeansNotWritable(errno) ? TResult::ReadOnly : TResult::Unavailable);
    const TFileIdentity folderIdentity = IdentityOf(st);
    std::lock_guard<std::mutex> guard(g_heldMutex);
    if (HeldHere().count(folderIdentity))
        return refuse(0, TResult::HeldHere);
    // The folder itself, where it can be opened to read and the system locks it.
    int folderLockFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderLockFd >= 0 && (FileCallFails(kFileLockFolder) || ExclusiveLockRefused(folderLockFd) ||
                              ::flock(folderLockFd, LOCK_EX | LOCK_NB) != 0)) {
        const int error = errno;
        ::close(folderLockFd);
        folderLockFd = -1;
        // A file system that does not lock folders may still lock files: the lock file
        // decides, and one made only to find that out goes again when it cannot be locked.
        if (error == EWOULDBLOCK)
            return refuse(error, TResult::HeldElsewhere);
    }
    const TResult result = Take(folderFd, m_fd, m_identity, m_made);
    if (result == TResult::HeldElsewhere && m_heldLinks > 1)
        m_sharing = folderLockFd >= 0 ? TSharing::WithAnOpenCopy : TSharing::WithACopy;
    if (result != TResult::Held) {
        if (folderLockFd >= 0)
            ::close(folderLockFd);
        ::close(folderFd);
        return result;
    }
    HeldHere().insert(folderIdentity);
    m_folderFd = folderFd;
    m_folderLockFd = folderLockFd;
    m_folderIdentity = folderIdentity;
    return result;
}

TFolderLock::TResult TFolderLock::Keep(const std::string& folder, const std::function<bool()>& unchanged)
{
    m_error = 0;
    if (m_fd < 0)
        return TResult::Unavailable;
    if (Holds(folder))
        return TResult::Held;
    if (FileIdentityOf(folder) != m_folderIdentity)
        return TResult::Moved;
    // The held folder is there, its lock file is not the one held.
    int fd = -1;
    TFileIdentity identity;
    bool made = false;
    const TResult result = Take(m_folderFd, fd, identity, made);
    if (result != TResult::Held)
        return result;
    // Another program may have held the folder meanwhile; the new lock is taken only
    // when it left nothing changed. A lock file made for it goes again while it is held.
    if (unchanged && !unchanged()) {
        if (made)
            RemoveLockFileIn(m_folderFd, identity);
        ::close(fd);
        return TResult::Changed;
    }
    ::close(m_fd);
    m_fd = fd;
    m_identity = identity;
    m_made = made;
    return result;
}

void TFolderLock::RemoveLockFileAndRelease(const std::string& folder)
{
    // Only the lock file held, in the folder held, and while it is held.
    if (Holds(folder))
        RemoveLockFileIn(m_folderFd, m_identity);
    Release();
}

void TFolderLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        std::lock_guard<std::mutex> guard(g_heldMutex);
        HeldHere().erase(m_folderIdentity);
    }
    for (const int fd : {m_folderLockFd, m_folderFd})
        if (fd >= 0)
            ::close(fd);
    m_fd = m_folderFd = m_folderLockFd = -1;
    m_made = false;
    m_identity = m_folderIdentity = {};
}

}  // namespace vx
