#pragma once
// Fault injection for tests: a chosen call of the file layer fails with a chosen error
// number, the way a full disk, a failing disk or a file system that lacks a feature makes
// it fail. Every call that can be made to fail counts as one file event; a fault names the
// kinds of call it watches, the event among them at which it strikes and whether every
// later one fails as well. Sweeping that event from 1 upwards reaches every call of the
// kinds, as the step hook (TFile::SetStepHook) lets a test die at every step.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace vx {

// The kinds of call that a fault can watch (bits of TFileFault::calls).
enum TFileCall : unsigned {
    kFileWrite = 1u << 0,        // data written to a file, or made to reach the disk
    kFileCreate = 1u << 1,       // a file, folder or special file made
    kFileRename = 1u << 2,       // a rename that may replace its target
    kFileRenameFlags = 1u << 3,  // a rename that must not replace, or that exchanges two folders
    kFileLink = 1u << 4,         // a hard link made
    kFileAnyWrite = (1u << 5) - 1,  // every call above: what puts data or names on the disk
    kFileRemove = 1u << 5,       // a file or a folder tree removed
    kFileLock = 1u << 6,         // a folder's lock file made, or its lock taken
    kFileSyncFolder = 1u << 7,   // a folder's entries put on the disk
    kFileList = 1u << 8,         // a folder's listing: its open, or a read of its entries
    kFileRead = 1u << 9,         // data read from an open file (TFile::Read, ReadExactAt), as a failing disk fails it
    kFileSize = 1u << 10,        // the size of an open file looked up (TFile::Size)
    kFileLockFolder = 1u << 11,  // a folder's own lock taken (before its lock file's)
    kFileReadAt = 1u << 12,      // a read at a place of an open file (TFile::ReadExactAt) alone
    kFileRights = 1u << 13,      // rights, an owner or a group given to a file or folder made
    kFileOpenRead = 1u << 14,    // a file opened to be read (OpenFileToRead)
    kFileStat = 1u << 15,        // what stands at a name in a folder looked at (TFolder::Stat, HasFile...)
};

struct TFileFault {
    unsigned calls = 0;   // TFileCall bits
    int error = 0;        // the error number the failing calls give
    int at = 1;           // the at-th watched call from now on fails...
    bool onward = false;  // ...and, when set, every one after it too
    // Counts the steps of the file layer instead (those the step hook sees): the first
    // watched call once `at` steps have passed fails (at 0: the first one from now), so
    // that a sweep meets each point at which a kill sweep dies.
    bool atStep = false;
    // With kFileRemove: no call fails, but a file this process holds open (not for its path
    // alone) stays as a hidden file ".fuse_hiddenNNNN" in its folder when it is removed, as
    // a FUSE file system without hard_remove keeps it (NFS as ".nfsNNNN"), so that its
    // folder cannot be removed. Unlike the system's, it stays after the file is closed.
    bool hidesOpenFiles = false;
    // No call fails by count (give no `calls`), but an exclusive lock taken on a descriptor
    // open only to read fails with EBADF, as an NFS client's lock does: it locks a range of
    // the file on the server, which needs the file open for writing.
    bool locksNeedWrite = false;
    // No call fails by count (give no `calls`), but a folder's listing gives no entry's type
    // (DT_UNKNOWN), as file systems that do not keep it in their folders give none.
    bool entryTypesUnknown = false;
    // No call fails by count (give no `calls`), but the file system keeps no ACLs: reading
    // or setting one fails with ENOTSUP, as on a file system mounted without them.
    bool noAcls = false;
};

// Arms the faults in place of any armed before, each counting its calls afresh (an empty
// list disarms). Where two would strike at the same call, the first in the list does; a
// fault that strikes once only and met another there strikes at the next call it watches
// (each armed fault fails a call of its own).
void SetFileFaults(const std::vector<TFileFault>& faults);
// True once an armed fault has made a call fail.
bool FileFaultStruck();
// The path of the file whose read (TFile::Read), size look-up (TFile::Size) or open to be
// read (OpenFileToRead) an armed fault made fail last; empty when none did since the
// faults were armed.
std::string FileFaultStruckRead();
// The file layer tells the path of the file whose read, size look-up or open a fault made
// fail.
void NoteFaultStruckRead(const std::string& path);
// FileCallFails for a call on the file at `path`, which FileFaultStruckRead then names
// (errno kept as the fault set it).
bool FileCallFailsOn(TFileCall call, const std::string& path);
// Whether any fault is armed: with none, the file layer's question below costs one load.
extern std::atomic<bool> g_fileFaultsArmed;
// FileCallFails once a fault is armed.
bool ArmedFileCallFails(TFileCall call);
// The file layer asks before each call of that kind: true, with errno set to the fault's
// error, when the call is to fail as though the system had refused it.
inline bool FileCallFails(TFileCall call)
{
    return g_fileFaultsArmed.load(std::memory_order_relaxed) && ArmedFileCallFails(call);
}
// The file layer asks before it removes the file at `path`: true when an armed fault hides
// open files and this process holds that file open; it is then renamed to such a hidden
// file beside it, as the removal.
bool RemovalHidesOpenFile(const std::string& path);
// The same for the file `name` in the folder open as `folderFd`, reached through it.
bool RemovalHidesOpenFileAt(int folderFd, const std::string& name);
// The lock code asks before it takes an exclusive lock on `fd`: true, with errno EBADF,
// when an armed fault makes locks need write access and `fd` is open only to read.
bool ExclusiveLockRefused(int fd);
// EntryTypesUnknown once a fault is armed.
bool ArmedEntryTypesUnknown();
// A folder's listing asks for each entry: true when an armed fault gives no entry's type.
inline bool EntryTypesUnknown()
{
    return g_fileFaultsArmed.load(std::memory_order_relaxed) && ArmedEntryTypesUnknown();
}
// NoAcls once a fault is armed.
bool ArmedNoAcls();
// The rights code asks before it reads or sets an ACL: true, with errno ENOTSUP, when an
// armed fault makes the file system keep no ACLs.
inline bool NoAcls()
{
    return g_fileFaultsArmed.load(std::memory_order_relaxed) && ArmedNoAcls();
}
// The file layer tells each of its steps (TFile::Step).
void NoteFileStep();
// A test's hook, run with the path of each file or folder made between its making and the
// giving of its rights, as another program could act in that moment (open it, put a link
// in its place). Empty switches it off.
void SetBeforeRightsHook(std::function<void(const std::string& path)> hook);
extern std::atomic<bool> g_beforeRightsHooked;
void RunBeforeRightsHook(const std::string& path);
// The rights code calls it between the making and the rights; one load without a hook.
inline void BeforeRightsGiven(const std::string& path)
{
    if (g_beforeRightsHooked.load(std::memory_order_relaxed))
        RunBeforeRightsHook(path);
}
// A test's hook, run each time the folder lock waits for the rights of a lock file that
// another user's program has made and not yet given them, before it pauses (so that the
// maker may be let on then). Empty switches it off.
void SetRightsAwaitedHook(std::function<void()> hook);
// The lock calls it before each such pause.
void RightsAwaited();

// A test's hook, run with the path of a name the file layer has looked at and is about to
// use (descend into, open, rename, remove), as another program could act in that moment
// (put a link or another folder in its place). Empty switches it off.
void SetBeforeUseHook(std::function<void(const std::string& path)> hook);
extern std::atomic<bool> g_beforeUseHooked;
void RunBeforeUseHook(const std::string& path);
// The file layer calls it between a look at a name and its use; one load without a hook.
inline void BeforeUse(const std::string& path)
{
    if (g_beforeUseHooked.load(std::memory_order_relaxed))
        RunBeforeUseHook(path);
}

}  // namespace vx
