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
#include "platform/TFolder.h"
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

// The folder that `path` lies in, opened (the links on its way followed), and the path's
// last name in `name`.
TFolder OpenParent(const std::string& path, std::string& name)
{
    std::string tree = path;
    while (tree.size() > 1 && tree.back() == '/')
        tree.pop_back();
    const size_t slash = tree.rfind('/');
    name = slash == std::string::npos ? tree : tree.substr(slash + 1);
    return TFolder::Open(slash == std::string::npos ? "." : slash == 0 ? "/" : tree.substr(0, slash),
                         TFolder::kFollowLast);
}

}  // namespace

bool RemoveFolderTree(const std::string& path)
{
    std::string name;
    const TFolder folder = OpenParent(path, name);
    if (!folder) {
        // Nothing is left to remove under a folder that is gone.
        if (errno == ENOENT)
            return !FileCallFails(kFileRemove);
        return false;
    }
    const int error = folder.RemoveTree(name);
    errno = error;
    return error == 0;
}

namespace {

// A replaced file at least this large is freed on a thread of its own.
constexpr off_t kFreeAsideBytes = off_t(16) << 20;

// An open descriptor of the file `name` in the folder open as folderFd when it is a large
// regular file, else -1. While it is open the file's data outlives its name: a rename over
// it only drops the name, and the system frees its blocks and cached pages when it is closed.
int HoldLargeFile(int folderFd, const std::string& name)
{
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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

int RenameAt(int fromFolder, const std::string& from, int toFolder, const std::string& to)
{
    if (FileCallFails(kFileRename))
        return errno;
    const int held = HoldLargeFile(toFolder, to);
    const int error = ::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0 ? 0 : errno;
    ReleaseHeldFile(held);
    return error;
}

bool MakeFolder(const std::string& path, std::vector<std::string>* made, const std::string& rightsLike)
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
        if (rightsLike.empty() ? ::mkdir(it->c_str(), 0777) == 0 : TRights::MakeFolderLike(it->string(), rightsLike)) {
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

bool IsUnsupportedRenameFlag(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool PutFolderInPlace(const std::string& from, const std::string& to)
{
    std::string fromName, toName;
    const TFolder fromFolder = OpenParent(from, fromName);
    int error = fromFolder ? 0 : errno;
    const TFolder toFolder = error == 0 ? OpenParent(to, toName) : TFolder();
    if (error == 0)
        error = toFolder ? PutFolderInPlace(fromFolder, fromName, toFolder, toName) : errno;
    errno = error;
    return error == 0;
}

int PutFolderInPlace(const TFolder& from, const std::string& fromName, const TFolder& to, const std::string& toName)
{
    // Without an exchange there would be a moment with neither folder at `to`.
    struct stat st {};
    const int looked = to.Stat(toName, st);
    if (looked != 0 && looked != ENOENT)
        return looked;
    const bool exchange = looked == 0 && S_ISDIR(st.st_mode);
    if (const int error = exchange ? from.Exchange(fromName, to, toName) : from.RenameNoReplace(fromName, to, toName);
        error != 0) {
        // A file system that cannot refuse to replace: nothing may be at `to`, which a
        // plain rename then fills in one step as well.
        if (exchange || !IsUnsupportedRenameFlag(error))
            return error;
        if (const int there = to.Stat(toName, st); there != ENOENT)
            return there == 0 ? EEXIST : there;
        if (const int renamed = from.Rename(fromName, to, toName); renamed != 0)
            return renamed;
    }
    TFile::Step();
    return 0;
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

// Copies the regular file `name` of `from` to the new file `toName` of `to` with its
// permissions, group and (for root) owner, its data on the disk when done. Whatever else
// is found there when it is opened is refused (EINVAL): a FIFO would block the read, a
// device would never end it. `reading` tells whether it was reading the file that failed.
bool CopyRegularFile(const TFolder& from, const std::string& name, const TFolder& to, const std::string& toName,
                     bool& reading)
{
    reading = true;
    const int in = from.OpenToRead(name);
    if (in < 0)
        return false;
    // The rights of the very file opened: mode, owner, group and ACL.
    TRights rights;
    if (TRights::OfOpen(in, rights) != TRights::TFound::There) {
        if (errno == 0)
            errno = EINVAL;
        CloseKeepingErrno(in);
        return false;
    }
    reading = false;
    const int out = to.MakeFile(toName, O_WRONLY, S_IRUSR | S_IWUSR);
    if (out < 0) {
        CloseKeepingErrno(in);
        return false;
    }
    // The copy stays private until it has the rights of the file, before any byte is in it.
    if (!rights.GiveTo(out)) {
        CloseKeepingErrno(out);
        CloseKeepingErrno(in);
        ::unlinkat(to.Fd(), toName.c_str(), 0);
        return false;
    }
    std::vector<char> buffer(size_t(1) << 16);
    bool copied = true;
    for (;;) {
        const ssize_t got = FileCallFailsOn(kFileRead, from.PathOf(name)) ? -1 : ::read(in, buffer.data(), buffer.size());
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
        ::unlinkat(to.Fd(), toName.c_str(), 0);
        errno = error;
    }
    return copied;
}

// Makes `toName` in `to` a special file like the one `st` describes: a FIFO or a socket
// anew, a device with its numbers (which only a privileged process may do: EPERM otherwise).
bool MakeSpecialFile(const TFolder& to, const std::string& toName, const struct stat& st)
{
    const bool device = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
    return !FileCallFails(kFileCreate) && ::mknodat(to.Fd(), toName.c_str(), st.st_mode, device ? st.st_rdev : 0) == 0;
}

bool CopyLink(const TFolder& from, const std::string& name, const TFolder& to, const std::string& toName,
              const struct stat& st, bool& reading)
{
    reading = true;
    std::string target(size_t(st.st_size) + 1, '\0');
    const ssize_t length = ::readlinkat(from.Fd(), name.c_str(), target.data(), target.size());
    if (length < 0)
        return false;
    if (size_t(length) >= target.size()) {
        errno = ENAMETOOLONG;  // the link changed since it was examined
        return false;
    }
    target.resize(size_t(length));
    reading = false;
    return !FileCallFails(kFileCreate) && ::symlinkat(target.c_str(), to.Fd(), toName.c_str()) == 0;
}

// LinkTreeInto, naming in `failure` what could not be carried.
bool LinkTree(const TFolder& from, const std::string& name, const TFolder& to, const std::string& toName,
              TTreeFailure& failure)
{
    const auto fail = [&](bool reading) {
        failure = {from.PathOf(name), reading};
        return false;
    };
    struct stat st {};
    if (const int error = from.Stat(name, st); error != 0) {
        errno = error;
        return fail(true);
    }
    bool reading = false;
    if (S_ISLNK(st.st_mode))
        return CopyLink(from, name, to, toName, st, reading) || fail(reading);
    if (!S_ISDIR(st.st_mode)) {
        if (!FileCallFails(kFileLink) && ::linkat(from.Fd(), name.c_str(), to.Fd(), toName.c_str(), 0) == 0)
            return true;
        if (!CopyCanReplaceLink(errno))
            return fail(false);
        if (!S_ISREG(st.st_mode))
            return MakeSpecialFile(to, toName, st) || fail(false);
        return CopyRegularFile(from, name, to, toName, reading) || fail(reading);
    }
    // The folder stays open to its owner until it is filled, whatever its own rights (a
    // read-only folder of the user's), and takes them after.
    const TFolder made = to.MakePrivateFolder(toName);
    if (!made)
        return fail(false);
    const TFolder folder = from.OpenFolder(name);
    const TFolderListing listing = folder ? folder.List() : TFolderListing{{}, errno};
    bool linked = listing.Whole() || fail(true);
    int error = listing.error;
    for (size_t i = 0; linked && i < listing.entries.size(); ++i) {
        const std::string& entry = listing.entries[i].name;
        linked = LinkTree(folder, entry, made, entry, failure);
        error = errno;
    }
    // The rights of the folder carried (mode, owner where this user may give it, group, ACL)
    // go to the folder made, whatever stands at its name now: a user's own folder stays
    // theirs after another user's re-run.
    TRights rights;
    if (linked && TRights::Of(folder, "", rights) != TRights::TFound::There) {
        error = errno != 0 ? errno : ENOENT;
        linked = fail(true);
    }
    if (linked && !rights.GiveTo(made.Fd())) {
        error = errno;
        linked = fail(false);
    }
    // No part of the folder stays. One that cannot be removed either is left for the caller
    // to give up with the folder it carries into (a swap removes its whole build folder);
    // the carry's own error is the one to tell.
    if (!linked)
        (void)to.RemoveTree(toName, made);
    errno = error;
    return linked;
}

}  // namespace

bool LinkTreeInto(const std::string& from, const std::string& to, TTreeFailure* failure)
{
    TTreeFailure unused;
    TTreeFailure& why = failure ? *failure : unused;
    std::string fromName, toName;
    const TFolder fromFolder = OpenParent(from, fromName);
    if (!fromFolder) {
        why = {from, true};
        return false;
    }
    const TFolder toFolder = OpenParent(to, toName);
    if (!toFolder) {
        why = {from, false};
        return false;
    }
    return LinkTree(fromFolder, fromName, toFolder, toName, why);
}

bool LinkTreeInto(const TFolder& from, const std::string& fromName, const TFolder& to, const std::string& toName,
                  TTreeFailure* failure)
{
    TTreeFailure unused;
    return LinkTree(from, fromName, to, toName, failure ? *failure : unused);
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
    const std::string path = folder.empty() ? std::string(".") : folder;
    if (FileCallFails(kFileList)) {
        ++t_failedListings;
        return {{}, errno != 0 ? errno : EIO};
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        ++t_failedListings;
        return {{}, errno != 0 ? errno : EIO};
    }
    TFolderListing listing = ListOpenFolder(fd, pattern, true);
    ::close(fd);
    return listing;
}

TFolderListing ListOpenFolder(int fd, const std::string& pattern, bool followLinks)
{
    TFolderListing listing;
    // A descriptor of its own: the listing reads and closes it.
    const int own = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = own < 0 ? nullptr : ::fdopendir(own);
    if (!dir) {
        listing.error = errno != 0 ? errno : EIO;
        if (own >= 0)
            ::close(own);
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
        // The entry's own type says what it is, but for a link (followed, a link to a folder
        // is a folder; one that leads nowhere is not) and on a file system that keeps no type.
        const unsigned char type = EntryTypesUnknown() ? static_cast<unsigned char>(DT_UNKNOWN) : entry->d_type;
        bool isFolder = type == DT_DIR;
        if (type == DT_UNKNOWN || (type == DT_LNK && followLinks)) {
            struct stat st {};
            if (!FileCallFails(kFileStat) &&
                ::fstatat(::dirfd(dir), entry->d_name, &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) == 0) {
                isFolder = S_ISDIR(st.st_mode);
            } else if (errno != ENOENT && !(followLinks && errno == ELOOP)) {
                // Gone since, or a link that leads nowhere, is no folder; an entry that
                // cannot be looked at is none that the listing can tell.
                listing.error = errno;
                break;
            }
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
    TFile file;
    if (!file.Open(path, TFile::Mode::Read)) {
        if (failure) {
            *failure = {};
            failure->kind = TWholeFileFailure::TKind::NotOpened;
            failure->error = file.LastError();
            failure->notAFile = file.NotAFile();
        }
        return false;
    }
    return ReadWholeFile(file, out, maxBytes, failure);
}

bool ReadWholeFile(TFile& file, std::string& out, int64_t maxBytes, TWholeFileFailure* failure)
{
    TWholeFileFailure ignored;
    TWholeFileFailure& why = failure ? *failure : ignored;
    why = {};
    const auto fail = [&](TWholeFileFailure::TKind kind, int error) {
        why.kind = kind;
        why.error = error;
        return false;
    };
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
