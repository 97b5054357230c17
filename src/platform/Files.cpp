#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TRights.h"
#include "platform/Workers.h"

namespace fs = std::filesystem;

namespace vx {

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(fs::path(path), ec);
}

bool FolderExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(fs::path(path), ec);
}

int64_t FileSize(const std::string& path)
{
    std::error_code ec;
    const auto size = fs::file_size(fs::path(path), ec);
    if (ec)
        return -1;
    return static_cast<int64_t>(size);
}

bool RemoveFile(const std::string& path)
{
    if (FileCallFails(kFileRemove))
        return false;
    if (RemovalHidesOpenFile(path))
        return true;
    std::error_code ec;
    return fs::remove(fs::path(path), ec) && !ec;
}

namespace {

// Removes what is at `path`, links not followed, a folder with everything in it. A folder
// its owner may not read or write (a read-only folder of the user's) is given those rights
// first: it is going, and could not be emptied otherwise. False, errno set by the first
// call that failed, when something stayed.
bool RemoveTree(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return RemovalHidesOpenFile(path) || ::unlink(path.c_str()) == 0 || errno == ENOENT;
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
        (void)TRights::GiveOwnerAllRightsOfFolder(path);  // else its listing below says why
    int error = 0;
    std::vector<std::string> names;
    if (DIR* folder = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(folder))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        ::closedir(folder);
    } else {
        error = errno;
    }
    for (const std::string& name : names)
        if (!RemoveTree(JoinPath(path, name)) && error == 0)
            error = errno;
    if (::rmdir(path.c_str()) == 0 || errno == ENOENT)
        return true;
    errno = error != 0 ? error : errno;
    return false;
}

}  // namespace

bool RemoveFolderTree(const std::string& path)
{
    if (FileCallFails(kFileRemove))
        return false;
    return RemoveTree(path);
}

bool CopyFileTo(const std::string& from, const std::string& to, bool overwrite)
{
    std::error_code ec;
    const auto opt = overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none;
    return fs::copy_file(fs::path(from), fs::path(to), opt, ec) && !ec;
}

namespace {

// A replaced file at least this large is freed on a thread of its own.
constexpr off_t kFreeAsideBytes = off_t(16) << 20;

// An open descriptor of the file at `path` when it is a large regular file, else -1.
// While it is open the file's data outlives its name: a rename over it only drops
// the name, and the system frees its blocks and cached pages when it is closed.
int HoldLargeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < kFreeAsideBytes) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Closes a held descriptor on a thread of its own, so that the caller does not wait
// while the system frees a large replaced file. A crash before the close loses
// nothing: the system frees a file that no name refers to.
void ReleaseHeldFile(int fd)
{
    if (fd >= 0)
        RunDetached([fd] { ::close(fd); });
}

}  // namespace

bool RenameFile(const std::string& from, const std::string& to)
{
    if (FileCallFails(kFileRename))
        return false;
    const int held = HoldLargeFile(to);
    std::error_code ec;
    fs::rename(fs::path(from), fs::path(to), ec);
    ReleaseHeldFile(held);
    if (ec)
        errno = ec.value();  // for the caller's message
    return !ec;
}

bool MakeFolder(const std::string& path, std::vector<std::string>* made)
{
    if (FileCallFails(kFileCreate))
        return false;
    // Each missing folder is made by a call of its own, outermost first, so that the caller
    // learns which ones this call made.
    std::vector<fs::path> missing;
    for (fs::path p(path); !p.empty() && !FolderExists(p.string()); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path())
            break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) == 0) {
            if (made)
                made->push_back(it->string());
        } else if (errno != EEXIST || !FolderExists(it->string())) {
            // The error of the making itself, not of the look after it.
            if (errno == EEXIST)
                errno = ENOTDIR;
            return false;
        }
    }
    if (FolderExists(path))
        return true;
    errno = ENOTDIR;
    return false;
}

void RemoveMadeFolders(const std::vector<std::string>& made)
{
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        if (!RemoveFile(*it))
            break;
}

std::optional<TFileIdentity> FileIdentityOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::optional<TFileStamp> FileStampOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return TFileStamp{{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)},
                      static_cast<int64_t>(st.st_size),
                      static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool IsUnsupportedRenameFlag(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool PutFolderInPlace(const std::string& from, const std::string& to)
{
    // Without an exchange there would be a moment with neither folder at `to`.
    const bool exchange = FolderExists(to);
    if (FileCallFails(kFileRenameFlags) ||
        ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), exchange ? RENAME_EXCHANGE : RENAME_NOREPLACE) != 0) {
        // A file system that cannot refuse to replace: nothing may be at `to`, which a
        // plain rename then fills in one step as well.
        if (exchange || !IsUnsupportedRenameFlag(errno))
            return false;
        struct stat st {};
        if (::lstat(to.c_str(), &st) == 0) {
            errno = EEXIST;
            return false;
        }
        if (FileCallFails(kFileRename) || ::rename(from.c_str(), to.c_str()) != 0)
            return false;
    }
    TFile::Step();
    return true;
}

namespace {

// Whether a hard link failed because of where the file lies (another file system, one
// without hard links, a file with as many links as it may have): a copy can stand in.
bool CopyCanReplaceLink(int error)
{
    return error == EXDEV || error == EPERM || error == EMLINK || error == EOPNOTSUPP || error == ENOSYS;
}

// Closes the descriptor without letting the close change errno.
void CloseKeepingErrno(int fd)
{
    const int error = errno;
    ::close(fd);
    errno = error;
}

// Copies the regular file `from` to the new file `to` with its permissions, group and (for
// root) owner, its data on the disk when done. Whatever else is found at `from` when it is opened is refused
// (EINVAL): a FIFO would block the read, a device would never end it. `reading` tells
// whether it was reading `from` that failed.
bool CopyRegularFile(const std::string& from, const std::string& to, bool& reading)
{
    reading = true;
    const int in = FileCallFailsOn(kFileOpenRead, from) ? -1
                                                         : ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0)
        return false;
    struct stat st {};
    const bool examined = ::fstat(in, &st) == 0;
    if (!examined || !S_ISREG(st.st_mode)) {
        if (examined)
            errno = EINVAL;
        CloseKeepingErrno(in);
        return false;
    }
    reading = false;
    const int out = FileCallFails(kFileCreate)
                        ? -1
                        : ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (out < 0) {
        CloseKeepingErrno(in);
        return false;
    }
    // The copy stays private until it has the rights of `from`, before any byte is in it.
    if (!TRights(st.st_mode & 07777, st.st_uid, st.st_gid).GiveTo(out)) {
        CloseKeepingErrno(out);
        CloseKeepingErrno(in);
        return false;
    }
    std::vector<char> buffer(size_t(1) << 16);
    bool copied = true;
    for (;;) {
        const ssize_t got = FileCallFailsOn(kFileRead, from) ? -1 : ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            copied = got == 0;
            reading = !copied;
            break;
        }
        for (ssize_t done = 0; copied && done < got;) {
            const ssize_t put = FileCallFails(kFileWrite) ? -1 : ::write(out, buffer.data() + done, size_t(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            copied = put > 0;
            done += put;
        }
        if (!copied)
            break;
    }
    copied = copied && !FileCallFails(kFileWrite) && ::fsync(out) == 0;
    CloseKeepingErrno(in);
    copied = ::close(out) == 0 && copied;
    if (!copied) {
        const int error = errno != 0 ? errno : EIO;
        ::unlink(to.c_str());
        errno = error;
    }
    return copied;
}

// Makes at `to` a special file like the one `st` describes: a FIFO or a socket anew, a
// device with its numbers (which only a privileged process may do: EPERM otherwise).
bool MakeSpecialFile(const std::string& to, const struct stat& st)
{
    const bool device = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
    return !FileCallFails(kFileCreate) && ::mknod(to.c_str(), st.st_mode, device ? st.st_rdev : 0) == 0;
}

bool CopyLink(const std::string& from, const std::string& to, const struct stat& st, bool& reading)
{
    reading = true;
    std::string target(size_t(st.st_size) + 1, '\0');
    const ssize_t length = ::readlink(from.c_str(), target.data(), target.size());
    if (length < 0)
        return false;
    if (size_t(length) >= target.size()) {
        errno = ENAMETOOLONG;  // the link changed since it was examined
        return false;
    }
    target.resize(size_t(length));
    reading = false;
    return !FileCallFails(kFileCreate) && ::symlink(target.c_str(), to.c_str()) == 0;
}

}  // namespace

namespace {

// LinkTreeInto, naming in `failure` what could not be carried.
bool LinkTree(const std::string& from, const std::string& to, TTreeFailure& failure)
{
    const auto fail = [&](bool reading) {
        failure = {from, reading};
        return false;
    };
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0)
        return fail(true);
    bool reading = false;
    if (S_ISLNK(st.st_mode))
        return CopyLink(from, to, st, reading) || fail(reading);
    if (!S_ISDIR(st.st_mode)) {
        if (!FileCallFails(kFileLink) && ::link(from.c_str(), to.c_str()) == 0)
            return true;
        if (!CopyCanReplaceLink(errno))
            return fail(false);
        if (!S_ISREG(st.st_mode))
            return MakeSpecialFile(to, st) || fail(false);
        return CopyRegularFile(from, to, reading) || fail(reading);
    }
    // The folder stays open to its owner until it is filled, whatever its own rights (a
    // read-only folder of the user's), and takes them after.
    const int made = TRights::MakePrivateFolder(to);
    if (made < 0)
        return fail(false);
    DIR* folder = FileCallFails(kFileList) ? nullptr : ::opendir(from.c_str());
    if (!folder) {
        const int error = errno;
        ::close(made);
        ::rmdir(to.c_str());
        errno = error;
        return fail(true);
    }
    bool linked = true;
    for (;;) {
        errno = 0;
        const dirent* entry = FileCallFails(kFileList) ? nullptr : ::readdir(folder);
        if (!entry) {
            linked = errno == 0 || fail(true);
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && !LinkTree(JoinPath(from, name), JoinPath(to, name), failure)) {
            linked = false;
            break;
        }
    }
    int error = errno;
    ::closedir(folder);
    // Its rights go to the folder made, whatever stands at its path now.
    if (linked && !TRights(st.st_mode & 07777, static_cast<uid_t>(-1), static_cast<gid_t>(-1)).GiveTo(made)) {
        error = errno;
        linked = fail(false);
    }
    ::close(made);
    if (!linked)
        RemoveFolderTree(to);  // no part of the folder stays
    errno = error;
    return linked;
}

}  // namespace

bool LinkTreeInto(const std::string& from, const std::string& to, TTreeFailure* failure)
{
    TTreeFailure unused;
    return LinkTree(from, to, failure ? *failure : unused);
}

TCreateResult CreateNewFile(const std::string& path)
{
    if (path.empty())
        return TCreateResult::Failed;
    const int fd = FileCallFails(kFileCreate) ? -1 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == EEXIST ? TCreateResult::Exists : TCreateResult::Failed;
    ::close(fd);
    return TCreateResult::Created;
}

namespace {
thread_local int t_failedListings = 0;
}  // namespace

int FailedListings()
{
    return t_failedListings;
}

TFolderListing ListFolder(const std::string& folder, const std::string& pattern)
{
    TFolderListing listing;
    const std::string path = folder.empty() ? std::string(".") : folder;
    DIR* dir = FileCallFails(kFileList) ? nullptr : ::opendir(path.c_str());
    if (!dir) {
        listing.error = errno != 0 ? errno : EIO;
        ++t_failedListings;
        return listing;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = FileCallFails(kFileList) ? nullptr : ::readdir(dir);
        if (!entry) {
            listing.error = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !WildcardMatch(pattern, name))
            continue;
        // The entry's own type says what it is, but for a link (a link to a folder is a
        // folder; one that leads nowhere is not) and on a file system that keeps no type.
        const unsigned char type = EntryTypesUnknown() ? static_cast<unsigned char>(DT_UNKNOWN) : entry->d_type;
        bool isFolder = type == DT_DIR;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat st {};
            isFolder = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        listing.entries.push_back({name, isFolder});
    }
    ::closedir(dir);
    if (!listing.Whole()) {
        ++t_failedListings;
        listing.entries.clear();
        return listing;
    }
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const TFolderEntry& a, const TFolderEntry& b) { return a.name < b.name; });
    return listing;
}

TFoundFile FindCompanionFile(const std::string& folder, std::initializer_list<std::string> names)
{
    // Every exact name before the listing: a folder that cannot be listed still gives them.
    for (const std::string& name : names)
        if (std::string exact = JoinPath(folder, name); FileExists(exact))
            return {std::move(exact)};
    const TFolderListing listing = ListFolder(folder.empty() ? "." : folder);
    if (!listing.Whole())
        return {std::nullopt, listing.error};
    for (const std::string& name : names)
        for (const auto& e : listing.entries)
            if (!e.isFolder && EqualsNoCase(e.name, name))
                return {JoinPath(folder, e.name)};
    return {};
}

TFoundFile FindCompanionFile(const std::string& folder, const std::string& name)
{
    return FindCompanionFile(folder, {name});
}

TFoundFile FindFileNoCase(const std::string& path)
{
    const std::string native = ToNativePath(path);
    return FindCompanionFile(FolderOf(native), FileNameOf(native));
}

std::string ListingErrorReason(int error)
{
    return error == EACCES || error == EPERM ? std::string("permission denied") : FileErrorReason(error);
}

namespace {
std::mutex g_folderMutex;
std::string g_currentFolder;
}  // namespace

std::string CurrentFolder()
{
    std::lock_guard<std::mutex> lock(g_folderMutex);
    if (g_currentFolder.empty())
        g_currentFolder = HomeFolder();
    return g_currentFolder;
}

void SetCurrentFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_currentFolder = folder;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    return "/";
}

std::string ExecutableFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return ".";
    return exe.parent_path().string();
}

std::string TempFolder()
{
    std::error_code ec;
    const fs::path p = fs::temp_directory_path(ec);
    return ec ? std::string("/tmp") : p.string();
}

bool ReadWholeFile(const std::string& path, std::string& out, int64_t maxBytes, TWholeFileFailure* failure)
{
    TWholeFileFailure ignored;
    TWholeFileFailure& why = failure ? *failure : ignored;
    why = {};
    const auto fail = [&](TWholeFileFailure::TKind kind, int error) {
        why.kind = kind;
        why.error = error;
        return false;
    };
    TFile file;
    if (!file.Open(path, TFile::Mode::Read)) {
        why.notAFile = file.NotAFile();
        return fail(TWholeFileFailure::TKind::NotOpened, file.LastError());
    }
    const int64_t size = file.Size();
    if (size < 0)
        return fail(TWholeFileFailure::TKind::SizeNotRead, file.LastError());
    if (size > maxBytes) {
        why.size = size;
        why.limit = maxBytes;
        return fail(TWholeFileFailure::TKind::TooLarge, 0);
    }
    std::string data(static_cast<size_t>(size), '\0');
    // A file cut meanwhile fails as well: it was not read whole.
    if (!file.ReadExact(data.data(), data.size()))
        return fail(TWholeFileFailure::TKind::NotReadToEnd, file.ReadFailed() ? file.LastError() : 0);
    out = std::move(data);
    return true;
}

std::string FileErrorReason(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT: return "the disk is full";
    case EACCES:
    case EPERM:
    case EROFS: return "the folder or file is write-protected";
    default: break;
    }
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace vx
