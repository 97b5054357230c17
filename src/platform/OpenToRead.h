#pragma once
// The one way the program opens a file to read: without waiting, and only a regular file.
// An ordinary open of a FIFO waits for a writer that may never come, and a device or
// socket read as a file never ends or never holds what a file would: a name that the
// project, the user or a copied folder gives is refused with what stands there instead.
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vx {

struct TWholeFileFailure;

// Opens `path` for reading without waiting on a FIFO and keeps it open only when it is a
// regular file; the descriptor then blocks as usual and closes on exec. -1 otherwise,
// errno saying why (EISDIR for a folder, EINVAL for anything else that is not a file),
// and *notAFile (when given) what stands there ("a FIFO", "a folder", ...) when it is not
// a file; left empty when nothing could be opened at all.
int OpenFileToRead(const std::string& path, std::string* notAFile = nullptr);
// The same for `name` in the folder open as folderFd (AT_FDCWD: a path); with followLinks
// false a link at the name is refused (ELOOP, *notAFile "a symbolic link"). `shownPath`
// names the file to the fault seam (its path, where `name` is relative to a folder).
int OpenFileToReadAt(int folderFd, const std::string& name, std::string* notAFile, bool followLinks,
                     const std::string& shownPath = std::string());

// What a file of that mode is, in a few words: "a file", "a folder", "a FIFO", "a socket",
// "a device", "a symbolic link", else "something other than a file".
std::string WhatIsThere(mode_t mode);
// What stands at `path` instead of a file, in a few words: "a folder", "a FIFO", "a
// socket", "a device", "a symbolic link" (only when links are not followed), else
// "something other than a file".
std::string WhatIsThereInstead(const std::string& path, bool followLinks = true);

// ": it is a FIFO, not a file", to follow a message that a file could not be opened, when
// `notAFile` (TFile::NotAFile) says what stood there instead of a file; else empty.
std::string NotAFileNote(const std::string& notAFile);

// True when `path` is a folder this user may enter (search), so that a file in it that does
// not open is refused for itself, not for the way to it.
bool FolderCanBeEntered(const std::string& path);

// "you may not read <what>. Ask its owner, <user>, to let you read it", when an open of the
// file at `path` to read was refused to this user (`error` EACCES or EPERM), `what` naming
// the file ("it", "its project file /p/p.tpj"); the request is left out when the file's
// owner cannot be told. Empty for any other error.
std::string MayNotReadText(const std::string& what, const std::string& path, int error);
// Why the file at `path` did not open to be read, to follow a message that says so: the
// NotAFileNote of `notAFile`, else ": you may not read it. Ask its owner, ..." when the open
// was refused to this user (`error`, TFile::LastError), else ": <reason>" (FileErrorReason);
// empty for a file that is not there (ENOENT, ENOTDIR, or no error).
std::string NotOpenedNote(const std::string& path, const std::string& notAFile, int error);

// How the readers name a file they refuse for what it holds or could not give, `what` being
// the kind of file ("Data file", "Image file"):
// "<what> <path> does not exist or cannot be read." with NotAFileNote before the full stop;
std::string NotOpenedText(const std::string& what, const std::string& path, const std::string& notAFile);
// "Could not look for <what>: the folder <folder> cannot be listed: <reason>." for a file
// that is not there by its exact name in a folder whose listing failed with `error`, `what`
// being the kind of file and its name ("data file scan.sdf");
std::string NotListedText(const std::string& what, const std::string& folder, int error);
// "<what> <path> is not read: its size could not be read: <reason>." for a file whose size
// (TFile::Size) failed with `error` (TFile::LastError);
std::string SizeNotReadText(const std::string& what, const std::string& path, int error);
// "<what> <path> holds <size> bytes, fewer than the <needed> bytes <need>.", `need` saying
// what needs them ("its header and samples need", "its header needs"); for a size below 0
// (one that could not be read, `sizeError` saying why) SizeNotReadText;
std::string CutShortText(const std::string& what, const std::string& path, int64_t size, int sizeError,
                         uint64_t needed, const std::string& need);
// "<what> <path> cannot be read: <reason>." for a file there that did not open to be read
// (`error`, TFile::LastError): FileErrorReason of the error, or "you may not read it. Ask its
// owner, ..." when the open was refused to this user;
std::string NotOpenedToReadText(const std::string& what, const std::string& path, int error);
// "<what> <path> cannot be read to its end." (found long enough, it failed while being read),
// for a text that gives the reason after it in words of its own;
std::string NotReadToEndText(const std::string& what, const std::string& path);
// "<what> <path> cannot be read to its end: <reason>." for a file found long enough whose
// read failed with `error` (TFile::LastError, which TFile::ReadFailed says is set); an
// input/output error for 0 (a read that stopped short without the system saying why).
std::string NotReadToEndText(const std::string& what, const std::string& path, int error);
// Why ReadWholeFile did not read the file at `path`: NotOpenedText, SizeNotReadText or
// NotReadToEndText, or "<what> <path> is not read: it holds <size> bytes, more than the
// <limit> bytes it may have." for a file too large.
std::string WholeFileNotReadText(const std::string& what, const std::string& path, const TWholeFileFailure& failure);

// A name that opens the file open as `fd` itself, whatever is put at its path meanwhile,
// for libraries that open files by name (DCMTK, the GE header classes).
std::string NameOfOpenDescriptor(int fd);

}  // namespace vx
