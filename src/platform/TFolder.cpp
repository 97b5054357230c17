#include "platform/TFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TRights.h"

namespace vx {

namespace {

TFileIdentity IdentityOf(const struct stat& st)
{
    return TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// A name that stays in the folder: one component, never "." or "..".
bool IsNameInFolder(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// Opens `name` in the folder open as folderFd (AT_FDCWD: a path) as a folder, to read it
// where this user may, else for its names alone.
int OpenDirectory(int folderFd, const std::string& name, bool followLast, bool& namesOnly)
{
    const int nofollow = followLast ? 0 : O_NOFOLLOW;
    namesOnly = false;
    int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | nofollow);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        namesOnly = true;
        fd = ::openat(folderFd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | nofollow);
    }
    return fd;
}

// True for a mode that gives the group and everyone else no right.
bool GivesOthersNoRight(const struct stat& st)
{
    return (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

int RemoveTreeAt(int folderFd, const std::string& name, const std::string& path);

// Empties the folder `name` (`st` what stands there, at `path`) of the folder open as
// folderFd, every folder in it reached through its own descriptor; 0 or the first error.
int EmptyFolderAt(int folderFd, const std::string& name, const struct stat& st, const std::string& path)
{
    int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // A folder of this user's that it may not read or write is going: it takes those rights
    // first, on its own descriptor.
    if ((fd < 0 && (errno == EACCES || errno == EPERM)) || (fd >= 0 && (st.st_mode & S_IRWXU) != S_IRWXU)) {
        (void)TRights::GiveOwnerAllRightsOfFolder(folderFd, name);  // else what follows says why
        if (fd < 0)
            fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0)
        return errno == ENOENT ? 0 : errno;
    // Read whole before anything is removed, which would change what is left to read.
    int error = 0;
    std::vector<std::string> names;
    if (DIR* folder = ::fdopendir(fd)) {
        errno = 0;
        while (const dirent* entry = ::readdir(folder))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        error = errno;
        for (const std::string& entry : names)
            if (const int removed = RemoveTreeAt(::dirfd(folder), entry, JoinPath(path, entry));
                removed != 0 && error == 0)
                error = removed;
        ::closedir(folder);
    } else {
        error = errno;
        ::close(fd);
    }
    return error;
}

int RemoveTreeAt(int folderFd, const std::string& name, const std::string& path)
{
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    BeforeUse(path);
    if (!S_ISDIR(st.st_mode)) {
        if (RemovalHidesOpenFileAt(folderFd, name) || ::unlinkat(folderFd, name.c_str(), 0) == 0 || errno == ENOENT)
            return 0;
        return errno;
    }
    const int emptied = EmptyFolderAt(folderFd, name, st, path);
    if (::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
        return 0;
    return emptied != 0 ? emptied : errno;
}

}  // namespace

TFolder::TFolder(int fd, std::string path, bool namesOnly) : m_fd(fd), m_path(std::move(path)), m_namesOnly(namesOnly)
{
}

TFolder::~TFolder() { Close(); }

TFolder::TFolder(TFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_path(std::move(other.m_path)),
      m_identity(other.m_identity),
      m_namesOnly(other.m_namesOnly)
{
}

TFolder& TFolder::operator=(TFolder&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_identity = other.m_identity;
        m_namesOnly = other.m_namesOnly;
    }
    return *this;
}

int TFolder::Release()
{
    return std::exchange(m_fd, -1);
}

void TFolder::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

TFolder TFolder::Adopt(int fd, std::string path, bool namesOnly)
{
    if (fd < 0)
        return TFolder();
    struct stat st {};
    const int examined = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (examined != 0 || !S_ISDIR(st.st_mode)) {
        const int error = examined != 0 ? examined : ENOTDIR;
        ::close(fd);
        errno = error;
        return TFolder();
    }
    TFolder folder(fd, std::move(path), namesOnly);
    folder.m_identity = IdentityOf(st);
    return folder;
}

TFolder TFolder::Open(const std::string& path, bool followLast)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
        errno = ENOENT;
        return TFolder();
    }
    bool namesOnly = false;
    const int fd = OpenDirectory(AT_FDCWD, path, followLast, namesOnly);
    return Adopt(fd, path, namesOnly);
}

TFolder TFolder::Reopen(int fd, std::string path)
{
    bool namesOnly = false;
    const int opened = OpenDirectory(fd, ".", true, namesOnly);
    return Adopt(opened, std::move(path), namesOnly);
}

TFolder TFolder::OpenFolder(const std::string& name) const
{
    if (!IsNameInFolder(name)) {
        errno = EINVAL;
        return TFolder();
    }
    bool namesOnly = false;
    const int fd = OpenDirectory(m_fd, name, false, namesOnly);
    return Adopt(fd, PathOf(name), namesOnly);
}

TFolder TFolder::OpenOwnFolder(const std::string& name) const
{
    TFolder folder = OpenFolder(name);
    struct stat st {};
    if (folder && (folder.Stat(std::string(), st) != 0 || !MadeByThisUser(st))) {
        folder.Close();
        errno = EPERM;
    }
    return folder;
}

TFolder TFolder::OpenOwn(const std::string& path)
{
    const std::string parent = FolderOf(path);
    const TFolder in = Open(parent.empty() ? std::string(".") : parent, kFollowLast);
    return in ? in.OpenOwnFolder(FileNameOf(path)) : TFolder();
}

TFolder TFolder::MakePrivateFolder(const std::string& name) const
{
    if (!IsNameInFolder(name)) {
        errno = EINVAL;
        return TFolder();
    }
    if (FileCallFails(kFileCreate) || ::mkdirat(m_fd, name.c_str(), S_IRWXU) != 0)
        return TFolder();
    // A kill here leaves the folder private to this user, without its rights: a kill
    // sweep meets this point as a step of its own.
    TFile::Step();
    struct stat made {};
    if (::fstatat(m_fd, name.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0)
        return TFolder();
    BeforeRightsGiven(PathOf(name));
    // What stands there now must be the folder made, told by its identity: not a link put in
    // its place, nor another folder renamed there. Where the file system keeps Unix rights it
    // is also this user's and private, as no folder another user could put there first is.
    bool namesOnly = false;
    const int fd = S_ISDIR(made.st_mode) ? OpenDirectory(m_fd, name, false, namesOnly) : -1;
    struct stat st {};
    if (fd < 0 || namesOnly || ::fstat(fd, &st) != 0 || IdentityOf(st) != IdentityOf(made) ||
        !ShowsMadeHere(st, true)) {
        if (fd >= 0)
            ::close(fd);
        errno = ESTALE;
        return TFolder();
    }
    TFolder folder(fd, PathOf(name), false);
    folder.m_identity = IdentityOf(st);
    return folder;
}

TFolder TFolder::MakeFolderLike(const std::string& name, const TRights& rights) const
{
    TFolder made = MakePrivateFolder(name);
    if (!made || rights.WithOwnerRights().GiveTo(made.m_fd))
        return made;
    // Kept private, it would keep out those the rights let in.
    const int error = errno;
    made.Close();
    ::unlinkat(m_fd, name.c_str(), AT_REMOVEDIR);
    errno = error;
    return TFolder();
}

TFolder TFolder::Duplicate() const
{
    if (m_fd < 0) {
        errno = EBADF;
        return TFolder();
    }
    const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return TFolder();
    TFolder folder(fd, m_path, m_namesOnly);
    folder.m_identity = m_identity;
    return folder;
}

TFolder TFolder::MakeFolder(const std::string& name) const
{
    if (!IsNameInFolder(name)) {
        errno = EINVAL;
        return TFolder();
    }
    if (FileCallFails(kFileCreate) || ::mkdirat(m_fd, name.c_str(), S_IRWXU | S_IRWXG | S_IRWXO) != 0)
        return TFolder();
    TFile::Step();
    struct stat made {};
    if (::fstatat(m_fd, name.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0)
        return TFolder();
    BeforeUse(PathOf(name));
    // The folder made, told by its identity, and this user's: no other user can make one of
    // this user's to put in its place.
    bool namesOnly = false;
    const int fd = S_ISDIR(made.st_mode) ? OpenDirectory(m_fd, name, false, namesOnly) : -1;
    struct stat st {};
    if (fd < 0 || namesOnly || ::fstat(fd, &st) != 0 || IdentityOf(st) != IdentityOf(made) ||
        !ShowsMadeHere(st, false)) {
        if (fd >= 0)
            ::close(fd);
        errno = ESTALE;
        return TFolder();
    }
    return Adopt(fd, PathOf(name), false);
}

bool TFolder::ShowsMadePrivate(const TFolder& folder) const
{
    struct stat st {};
    return folder && ::fstat(folder.Fd(), &st) == 0 && ShowsMadeHere(st, true);
}

bool TFolder::ShowsMadeHere(const struct stat& st, bool privately) const
{
    // Where the file system may keep no rights, its type says so (a mode given may not
    // take), and a folder of another owner is this user's only where it keeps no owners.
    if (st.st_uid == ::geteuid() && (!privately || GivesOthersNoRight(st)))
        return true;
    if (TRights::FileSystemKeepsRights(m_fd))
        return false;
    return st.st_uid == ::geteuid() || MadeByThisUser(st);
}

std::string TFolder::PathOf(const std::string& name) const
{
    return name.empty() ? m_path : JoinPath(m_path, name);
}

int TFolder::Stat(const std::string& name, struct stat& st) const
{
    if (!name.empty() && !IsNameInFolder(name))
        return EINVAL;
    if (FileCallFails(kFileStat))
        return errno;
    const int flags = AT_SYMLINK_NOFOLLOW | (name.empty() ? AT_EMPTY_PATH : 0);
    return ::fstatat(m_fd, name.c_str(), &st, flags) == 0 ? 0 : errno;
}

namespace {

TFolder::THas HasOfType(const TFolder& folder, const std::string& name, mode_t type)
{
    struct stat st {};
    const int error = folder.Stat(name, st);
    if (error != 0 && error != ENOENT) {
        errno = error;
        return TFolder::THas::Failed;
    }
    return error == 0 && (st.st_mode & S_IFMT) == type ? TFolder::THas::Yes : TFolder::THas::No;
}

}  // namespace

TFolder::THas TFolder::HasFile(const std::string& name) const
{
    return HasOfType(*this, name, S_IFREG);
}

TFolder::THas TFolder::HasFolder(const std::string& name) const
{
    return HasOfType(*this, name, S_IFDIR);
}

int TFolder::MakeUniqueFile(std::string& name, mode_t mode) const
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::atomic<uint64_t> counter{0};
    if (name.size() < 6 || !IsNameInFolder(name)) {
        errno = EINVAL;
        return -1;
    }
    if (FileCallFails(kFileCreate))
        return -1;
    uint64_t seed = (static_cast<uint64_t>(::getpid()) << 32) ^ static_cast<uint64_t>(::time(nullptr)) ^
                    (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (size_t i = name.size() - 6; i < name.size(); ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            name[i] = kLetters[(seed >> 33) % (sizeof kLetters - 1)];
        }
        const int fd = ::openat(m_fd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

int TFolder::MakeFile(const std::string& name, int flags, mode_t mode) const
{
    if (!IsNameInFolder(name)) {
        errno = EINVAL;
        return -1;
    }
    if (FileCallFails(kFileCreate))
        return -1;
    return ::openat(m_fd, name.c_str(), flags | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
}

int TFolder::OpenToRead(const std::string& name, std::string* notAFile) const
{
    if (!IsNameInFolder(name)) {
        if (notAFile)
            notAFile->clear();
        errno = EINVAL;
        return -1;
    }
    return OpenFileToReadAt(m_fd, name, notAFile, false, PathOf(name));
}

int TFolder::OpenToReadThroughTrustedLink(const std::string& name, std::string* notAFile) const
{
    const int fd = OpenToRead(name, notAFile);
    if (fd >= 0 || errno != ELOOP)
        return fd;
    const int link = ::openat(m_fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (link >= 0 && ::fstat(link, &st) == 0 && !S_ISLNK(st.st_mode)) {
        // No link any more: what was put at the name is opened as any file there.
        ::close(link);
        return OpenToRead(name, notAFile);
    }
    if (link < 0 || !S_ISLNK(st.st_mode) || !MayFollowLink(st)) {
        if (link >= 0 && notAFile && S_ISLNK(st.st_mode))
            *notAFile = "a symbolic link of another user, " + UserNameOf(st.st_uid);
        if (link >= 0)
            ::close(link);
        errno = ELOOP;
        return -1;
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlinkat(link, "", target.data(), target.size());
    const int error = errno;
    ::close(link);
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
        errno = length < 0 ? error : ENAMETOOLONG;
        return -1;
    }
    target.resize(static_cast<size_t>(length));
    // A target of no leading slash lies beside the link, in this folder.
    return OpenFileToReadAt(m_fd, target, notAFile, true, PathOf(name));
}

int TFolder::OpenFile(const std::string& name, int flags) const
{
    if (!IsNameInFolder(name)) {
        errno = EINVAL;
        return -1;
    }
    if ((flags & O_ACCMODE) != O_RDONLY && FileCallFails(kFileCreate))
        return -1;
    // Never waiting on a FIFO: what is not a regular file is refused below.
    const int fd = ::openat(m_fd, name.c_str(), (flags & ~O_CREAT) | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    const int error = ::fstat(fd, &st) != 0 ? errno : !S_ISREG(st.st_mode) ? EINVAL : 0;
    if (error != 0 || ::fcntl(fd, F_SETFL, flags & O_APPEND) != 0) {
        ::close(fd);
        errno = error != 0 ? error : errno;
        return -1;
    }
    return fd;
}

int TFolder::Rename(const std::string& name, const TFolder& to, const std::string& toName) const
{
    if (!IsNameInFolder(name) || !IsNameInFolder(toName))
        return EINVAL;
    return RenameAt(m_fd, name, to.m_fd, toName);
}

namespace {

int RenameWithFlags(int from, const std::string& name, int to, const std::string& toName, unsigned flags)
{
    if (!IsNameInFolder(name) || !IsNameInFolder(toName))
        return EINVAL;
    if (FileCallFails(kFileRenameFlags))
        return errno;
    return ::renameat2(from, name.c_str(), to, toName.c_str(), flags) == 0 ? 0 : errno;
}

}  // namespace

int TFolder::RenameNoReplace(const std::string& name, const TFolder& to, const std::string& toName) const
{
    return RenameWithFlags(m_fd, name, to.m_fd, toName, RENAME_NOREPLACE);
}

int TFolder::Exchange(const std::string& name, const TFolder& to, const std::string& toName) const
{
    return RenameWithFlags(m_fd, name, to.m_fd, toName, RENAME_EXCHANGE);
}

int TFolder::Remove(const std::string& name) const
{
    if (!IsNameInFolder(name))
        return EINVAL;
    if (FileCallFails(kFileRemove))
        return errno;
    if (RemovalHidesOpenFileAt(m_fd, name) || ::unlinkat(m_fd, name.c_str(), 0) == 0 || errno == ENOENT)
        return 0;
    return errno;
}

int TFolder::RemoveFolder(const std::string& name) const
{
    if (!IsNameInFolder(name))
        return EINVAL;
    if (FileCallFails(kFileRemove))
        return errno;
    return ::unlinkat(m_fd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT ? 0 : errno;
}

int TFolder::RemoveTree(const std::string& name) const
{
    if (!IsNameInFolder(name))
        return EINVAL;
    if (FileCallFails(kFileRemove))
        return errno;
    return RemoveTreeAt(m_fd, name, PathOf(name));
}

int TFolder::RemoveTree(const std::string& name, const TFolder& folder) const
{
    if (!IsNameInFolder(name))
        return EINVAL;
    if (FileCallFails(kFileRemove))
        return errno;
    struct stat st {};
    if (::fstat(folder.m_fd, &st) != 0)
        return errno;
    const int emptied = EmptyFolderAt(folder.m_fd, ".", st, folder.m_path);
    if (const THas held = HoldsAt(name, folder); held != THas::Yes)
        return emptied != 0 || held == THas::No ? emptied : errno;
    if (::unlinkat(m_fd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
        return 0;
    return emptied != 0 ? emptied : errno;
}

TFolder::THas TFolder::HoldsAt(const std::string& name, const TFolder& folder) const
{
    if (!folder)
        return THas::No;
    struct stat st {};
    if (const int error = Stat(name, st); error != 0 && error != ENOENT) {
        errno = error;
        return THas::Failed;
    } else if (error == 0 && S_ISDIR(st.st_mode) && IdentityOf(st) == folder.m_identity) {
        return THas::Yes;
    }
    return THas::No;
}

bool TFolder::MadeByThisUser(const struct stat& st) const
{
    if (st.st_uid == ::geteuid())
        return true;
    // A file system that keeps no owners shows the same one for every entry, this folder
    // too: any other owner is the user who made it.
    struct stat here {};
    return Stat(std::string(), here) == 0 && here.st_uid == st.st_uid && !KeepsOwners();
}

bool TFolder::MayFollowLink(const struct stat& st) const
{
    struct stat here {};
    return st.st_uid == ::geteuid() || (Stat(std::string(), here) == 0 && here.st_uid == st.st_uid);
}

bool TFolder::KeepsOwners() const
{
    std::string name = ".owner.XXXXXX";
    const int fd = MakeUniqueFile(name, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return true;
    struct stat st {};
    const bool keeps = ::fstat(fd, &st) != 0 || st.st_uid == ::geteuid();
    ::close(fd);
    (void)Remove(name);
    return keeps;
}

TFolderListing TFolder::List(const std::string& pattern) const
{
    if (FileCallFails(kFileList))
        return {{}, errno != 0 ? errno : EIO};
    return ListOpenFolder(m_fd, pattern, false);
}

int TFolder::Sync(const std::string& inside, const TFolder* insideOf) const
{
    if (FileCallFails(kFileSyncFolder))
        return errno;
    if (!m_namesOnly)
        return ::fsync(m_fd) == 0 ? 0 : errno;
    // A folder this user may write and enter but not read cannot be opened to be synced:
    // the whole file system it lies on is, through a file in it that this program made.
    const int fd = inside.empty() ? -1 : OpenFileToReadAt((insideOf ? insideOf : this)->m_fd, inside, nullptr, false);
    if (fd < 0)
        return EACCES;
    struct stat st {};
    const int error = ::fstat(fd, &st) != 0                            ? errno
                      : static_cast<uint64_t>(st.st_dev) != m_identity.device ? EACCES
                      : ::syncfs(fd) == 0                                      ? 0
                                                                               : errno;
    ::close(fd);
    return error;
}

std::optional<TFileStamp> FileStampOf(const TFolder& folder, const std::string& name)
{
    struct stat st {};
    if (!folder || folder.Stat(name, st) != 0)
        return std::nullopt;
    return TFileStamp{IdentityOf(st), static_cast<int64_t>(st.st_size),
                      static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::string UserNameOf(uid_t uid)
{
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return std::to_string(uid);
}

bool ReadWholeFile(const TFolder& folder, const std::string& name, std::string& out, int64_t maxBytes,
                   TWholeFileFailure* failure)
{
    std::string notAFile;
    TFile file;
    const int fd = folder.OpenToRead(name, &notAFile);
    if (fd < 0) {
        if (failure) {
            *failure = {};
            failure->kind = TWholeFileFailure::TKind::NotOpened;
            failure->error = errno;
            failure->notAFile = notAFile;
        }
        return false;
    }
    file.Adopt(fd, folder.PathOf(name), TFile::Mode::Read);
    return ReadWholeFile(file, out, maxBytes, failure);
}

}  // namespace vx
