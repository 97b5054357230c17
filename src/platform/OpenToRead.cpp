#include "platform/OpenToRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/TFolderLock.h"

namespace vx {

std::string WhatIsThere(mode_t mode)
{
    if (S_ISREG(mode))
        return "a file";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISLNK(mode))
        return "a symbolic link";
    return "something other than a file";
}

int OpenFileToRead(const std::string& path, std::string* notAFile)
{
    return OpenFileToReadAt(AT_FDCWD, path, notAFile, true);
}

int OpenFileToReadAt(int folderFd, const std::string& path, std::string* notAFile, bool followLinks,
                     const std::string& shownPath)
{
    if (notAFile)
        notAFile->clear();
    if (path.empty() || path.find('\0') != std::string::npos) {
        errno = ENOENT;
        return -1;
    }
    if (FileCallFailsOn(kFileOpenRead, shownPath.empty() ? path : shownPath))
        return -1;
    // O_NONBLOCK: an open of a FIFO returns at once instead of waiting for a writer.
    const int fd = ::openat(folderFd, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        // A socket cannot be opened at all, nor a link that is not followed: each is named
        // all the same.
        const int error = errno;
        struct stat st {};
        if ((error == ENXIO || error == ELOOP) && notAFile &&
            ::fstatat(folderFd, path.c_str(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode))
            *notAFile = WhatIsThere(st.st_mode);
        errno = error;
        return -1;
    }
    const auto fail = [fd](int error) {
        ::close(fd);
        errno = error;
        return -1;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode)) {
        if (notAFile)
            *notAFile = WhatIsThere(st.st_mode);
        return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    // A regular file reads as usual: the flag only mattered for the open (no other flag
    // that F_SETFL changes was set).
    if (::fcntl(fd, F_SETFL, 0) != 0)
        return fail(errno);
    return fd;
}

std::string WhatIsThereInstead(const std::string& path, bool followLinks)
{
    struct stat st {};
    const int examined = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (path.empty() || examined != 0 || S_ISREG(st.st_mode))
        return "something other than a file";
    return WhatIsThere(st.st_mode);
}

std::string NotAFileNote(const std::string& notAFile)
{
    return notAFile.empty() ? std::string() : ": it is " + notAFile + ", not a file";
}

bool FolderCanBeEntered(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

std::string MayNotReadText(const std::string& what, const std::string& path, int error)
{
    if (error != EACCES && error != EPERM)
        return std::string();
    const std::string owner = TFolderLock::OwnerOf(path);
    return "you may not read " + what +
           (owner.empty() ? std::string() : ". Ask its owner, " + owner + ", to let you read it");
}

std::string NotOpenedNote(const std::string& path, const std::string& notAFile, int error)
{
    if (!notAFile.empty())
        return NotAFileNote(notAFile);
    // A file that is not there is said so by the message itself.
    if (error == 0 || error == ENOENT || error == ENOTDIR)
        return std::string();
    const std::string forbidden = MayNotReadText("it", path, error);
    return ": " + (forbidden.empty() ? FileErrorReason(error) : forbidden);
}

std::string NotOpenedText(const std::string& what, const std::string& path, const std::string& notAFile)
{
    return what + " " + path + " does not exist or cannot be read" + NotAFileNote(notAFile) + ".";
}

std::string NotListedText(const std::string& what, const std::string& folder, int error)
{
    return "Could not look for " + what + ": the folder " + folder + " cannot be listed: " + ListingErrorReason(error) +
           ".";
}

std::string SizeNotReadText(const std::string& what, const std::string& path, int error)
{
    return what + " " + path + " is not read: its size could not be read: " + FileErrorReason(error != 0 ? error : EIO) +
           ".";
}

std::string CutShortText(const std::string& what, const std::string& path, int64_t size, int sizeError,
                         uint64_t needed, const std::string& need)
{
    if (size < 0)
        return SizeNotReadText(what, path, sizeError);
    return what + " " + path + " holds " + std::to_string(size) + " bytes, fewer than the " + std::to_string(needed) +
           " bytes " + need + ".";
}

std::string NotOpenedToReadText(const std::string& what, const std::string& path, int error)
{
    const std::string forbidden = MayNotReadText("it", path, error);
    return what + " " + path + " cannot be read: " + (forbidden.empty() ? FileErrorReason(error) : forbidden) + ".";
}

std::string NotReadToEndText(const std::string& what, const std::string& path)
{
    return what + " " + path + " cannot be read to its end.";
}

std::string NotReadToEndText(const std::string& what, const std::string& path, int error)
{
    return what + " " + path + " cannot be read to its end: " + FileErrorReason(error != 0 ? error : EIO) + ".";
}

std::string WholeFileNotReadText(const std::string& what, const std::string& path, const TWholeFileFailure& failure)
{
    using TKind = TWholeFileFailure::TKind;
    switch (failure.kind) {
    case TKind::NotOpened: return NotOpenedText(what, path, failure.notAFile);
    case TKind::SizeNotRead: return SizeNotReadText(what, path, failure.error);
    case TKind::TooLarge:
        return what + " " + path + " is not read: it holds " + std::to_string(failure.size) + " bytes, more than the " +
               std::to_string(failure.limit) + " bytes it may have.";
    case TKind::None:
    case TKind::NotReadToEnd: break;
    }
    return NotReadToEndText(what, path, failure.error);
}

std::string NameOfOpenDescriptor(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace vx
