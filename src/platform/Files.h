#pragma once
// File-system services: existence, sizes, folder listings, companion lookup,
// the program's own current folder, and the folders of the executable and the user.
//
// The functions of a path follow the links on it as the path gives them. They serve paths
// a user chose (a file or folder picked in a dialog, a batch's input and output folders, a
// project's folder), where any link is what the user chose, and looks that act on nothing
// (whether a file is there, to offer a command or word a message). Inside a folder another
// user may write, a name is read, made, renamed or removed through the folder's descriptor
// (TFolder), never by its path: a link put there meanwhile leads nowhere else.
#include <cerrno>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace vx {

class TFolder;

bool FileExists(const std::string& path);      // a regular file
bool FolderExists(const std::string& path);
// Size in bytes, or -1 when the file cannot be examined.
int64_t FileSize(const std::string& path);
// Removes a file, or an empty folder: only an empty folder a command made and takes back
// (a work folder, a batch's output folder), which nothing another user put there fills.
bool RemoveFile(const std::string& path);
// Removes a folder with everything in it, its read-only folders too; false, with errno set,
// when something stayed. For tests and tools, on folders of their own; the program removes
// through TFolder::RemoveTree.
bool RemoveFolderTree(const std::string& path);
// Renames `from` in the folder open as fromFolder over `to` in the folder open as toFolder
// (AT_FDCWD: the process's own), a large file replaced freed in the background; 0, or
// errno's number.
int RenameAt(int fromFolder, const std::string& from, int toFolder, const std::string& to);
// Makes the folder and those above it that are missing; true when it is there. False, errno
// saying why, when it could not be made. `made` gets each folder this call made, outermost
// first (also when a deeper one then failed), and none that was there or that another
// program made meanwhile. With `rightsLike`, each takes the rights of the folder there
// (TRights::MakeFolderLike), else those the system gives a new folder.
bool MakeFolder(const std::string& path, std::vector<std::string>* made = nullptr,
                const std::string& rightsLike = std::string());
// Takes back the folders a MakeFolder made, deepest first, as far as each is empty: a
// refused command leaves no folder of its own behind, and nothing another program put there.
void RemoveMadeFolders(const std::vector<std::string>& made);
// What tells a file or folder from any other while it exists, however it is named (through
// a link, with a trailing separator) and wherever it is renamed to: its device and inode.
struct TFileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    auto operator<=>(const TFileIdentity&) const = default;
};
// The identity of what the path names, links followed; none when nothing is there.
std::optional<TFileIdentity> FileIdentityOf(const std::string& path);
// What tells whether a file was replaced or written since it was looked at: its identity,
// size and time of last modification (FileStampOf in TFolder.h).
struct TFileStamp {
    TFileIdentity identity;
    int64_t size = 0;
    int64_t modified = 0;  // nanoseconds
    auto operator<=>(const TFileStamp&) const = default;
};
// Puts the folder `from` at `to` in one step of the file system (for tests and tools; the
// program's swap uses the form of open folders below). A folder already at `to` is
// exchanged with it and is then at `from`. False when it cannot be done, errno saying why:
// a flag IsUnsupportedRenameFlag tells where the file system cannot exchange two folders.
// Where it cannot refuse to replace either, a `to` found free takes the folder by a plain
// rename.
bool PutFolderInPlace(const std::string& from, const std::string& to);
// The same for the names `fromName` and `toName` in two open folders, never through a link
// (one at `toName` is no folder to exchange with); 0, or errno's number.
int PutFolderInPlace(const TFolder& from, const std::string& fromName, const TFolder& to, const std::string& toName);
// Whether a rename failed with this error because the file system lacks the flag asked
// for (NFS refuses both, CIFS the exchange, many FUSE file systems both).
bool IsUnsupportedRenameFlag(int error);
// Makes `to`, which must not exist, hold what `from` holds without touching `from` (for
// tests and tools; the program uses the form of open folders below): files as hard links,
// folders made anew (with their rights once filled), symbolic links as links. Where a file
// cannot be linked (another file system, one without links) a regular file is copied (with
// its permissions, group and, for root, owner) and a FIFO or socket made anew; a device
// that cannot be made again fails.
// False with errno set when it fails, nothing of `to` then left (but a folder made there
// that could not be removed either, for the caller to give up), and `failure` (when given)
// naming the file or folder under `from` that could not be carried and whether it was
// reading it that failed.
struct TTreeFailure {
    std::string path;
    bool reading = false;
};
bool LinkTreeInto(const std::string& from, const std::string& to, TTreeFailure* failure = nullptr);
// The same for the names `fromName` and `toName` in two open folders, every folder of the
// tree reached through the descriptor of the one around it, never through a link.
bool LinkTreeInto(const TFolder& from, const std::string& fromName, const TFolder& to, const std::string& toName,
                  TTreeFailure* failure = nullptr);

struct TFolderEntry {
    std::string name;
    bool isFolder = false;  // links followed
};
// What a folder holds, or why it could not be read. A listing that failed part way has no
// entries: a caller must never take it for an empty folder.
struct TFolderListing {
    std::vector<TFolderEntry> entries;  // sorted by name
    int error = 0;  // errno of the open or the read of the folder that failed; 0 when whole
    bool Whole() const { return error == 0; }
};
// Entries of a folder sorted by name; an optional wildcard filters (case-insensitive).
[[nodiscard]] TFolderListing ListFolder(const std::string& folder, const std::string& pattern = "*");
// The same for the folder open as `fd` (left open); with followLinks false a link to a
// folder is no folder.
[[nodiscard]] TFolderListing ListOpenFolder(int fd, const std::string& pattern, bool followLinks);
// How many listings of folders have failed on this thread so far. Code that hands a file to
// one that looks for others beside it (a reader and its companion files) compares the count
// before and after, to tell a file that is missing from one that could not be looked for.
int FailedListings();

// What a look for a file found: its path, or none. `error` is the errno of a listing of its
// folder that failed, when the file was not there by its exact name: it may then be there
// under another case, and "none" is no answer.
struct TFoundFile {
    std::optional<std::string> path;
    int error = 0;
};
// The file `name` in `folder`: exact name first, then the first case-insensitive match.
[[nodiscard]] TFoundFile FindCompanionFile(const std::string& folder, const std::string& name);
// The first of `names` in `folder` by its exact name; else, from one listing, the first of
// them (in their order) that matches a file in another case.
[[nodiscard]] TFoundFile FindCompanionFile(const std::string& folder, std::initializer_list<std::string> names);
// The same for a full path: the file itself, or a case-insensitive match beside it.
[[nodiscard]] TFoundFile FindFileNoCase(const std::string& path);
// Why a folder could not be listed, from the error number, in a few words to follow a
// message ("permission denied" where FileErrorReason speaks of writing).
std::string ListingErrorReason(int error);

// The application's current folder (never the process's working directory).
// Starts as the user's home folder.
std::string CurrentFolder();
void SetCurrentFolder(const std::string& folder);

std::string HomeFolder();
// Folder holding the running executable.
std::string ExecutableFolder();
// Folder for temporary files.
std::string TempFolder();

// Why a file operation failed, from its error number (TFile::LastError), in a few
// words to follow a message: "the disk is full", or the system's text.
std::string FileErrorReason(int error);
// The sentence a caller adds after a file writer's own failure message, made from why it
// failed (FileErrorReason, or TAtomicFile::WhyNotWritten; empty when the system gave no
// reason): what was therefore not done, and why.
using TWriteFailureNote = std::function<std::string(const std::string& why)>;

// Why ReadWholeFile did not read a file: it did not open (`error`, and `notAFile` saying
// what stood there instead of a file, TFile::NotAFile), its size could not be looked up
// (`error`), it holds `size` bytes, more than the `limit` asked for, or its read failed
// (`error`).
struct TWholeFileFailure {
    enum class TKind { None, NotOpened, SizeNotRead, TooLarge, NotReadToEnd };
    TKind kind = TKind::None;
    int error = 0;
    std::string notAFile;
    int64_t size = 0, limit = 0;
    // True when the system failed to give the file, not when the file is too large for it:
    // a file that may be there whole must then not be taken for missing or damaged.
    bool IsFault() const { return kind != TKind::None && kind != TKind::TooLarge && error != ENOENT; }
};
// Reads a whole file up to maxBytes; false when it cannot be read or is larger, *failure
// (when given) saying which and why.
bool ReadWholeFile(const std::string& path, std::string& out, int64_t maxBytes = (int64_t{1} << 30),
                   TWholeFileFailure* failure = nullptr);
class TFile;
// The same for a file open to read, from its start.
bool ReadWholeFile(TFile& file, std::string& out, int64_t maxBytes, TWholeFileFailure* failure = nullptr);

}  // namespace vx
