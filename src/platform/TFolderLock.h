#pragma once
// An advisory lock on a folder, held through a hidden lock file in it (flock) by the
// process that has a project of the folder open. The system lets it go when the process
// ends, however it ends, so a lock that cannot be taken means another running program
// has the folder open. A folder is known by its identity, not by its name: the same folder
// spelt otherwise is the same, and a folder renamed away is no longer the one at its path.
// The held folder and its lock file stay open, so that neither identity is given to
// another file while they are held, even when they are removed.
#include <functional>
#include <string>

#include "platform/Files.h"

namespace vx {

class TFolderLock {
public:
    TFolderLock() = default;
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    enum class TResult {
        Held,           // this object holds the folder's lock now
        HeldElsewhere,  // another running program has it
        HeldHere,       // another lock object of this process holds the folder (a second
                        // project of the folder opened in the same run): this one holds nothing
        ReadOnly,       // no lock file is there and none can be made: the folder cannot be
                        // written (or opened); LastError() says why
        Forbidden,      // a lock file is there that this user may not open; LastError() says why
        Unavailable,    // the lock file cannot be made or locked for another reason (a full
                        // disk, a file system without locks); LastError() says why
        NotAFile,       // something other than a file stands under the lock file's name
                        // (a folder, a FIFO, a symbolic link): it is neither locked, followed
                        // nor waited on
        Moved,          // Keep: the folder at that path is not the one held
        Changed         // Keep: the lock file was lost, and the folder changed meanwhile
    };
    // Lets go of a folder held before and tries to take this one.
    TResult Acquire(const std::string& folder);
    // Keeps the lock of the held folder, which must be the one at that path (else Moved,
    // and nothing changes). A lock file removed or replaced there meanwhile (a cleaning
    // tool, a sync client) is made and taken again, and kept only when `unchanged` says
    // that no other program changed the folder while it was not locked (else Changed).
    // While that fails the old hold stays, and the result says why.
    TResult Keep(const std::string& folder, const std::function<bool()>& unchanged = {});
    void Release();
    // True while this object holds the lock of a folder, wherever it is now.
    bool IsHeld() const { return m_fd >= 0; }
    // True while this object holds the lock of the folder now at that path, through the
    // lock file there.
    bool Holds(const std::string& folder) const;
    // True when the lock file this object holds was made by it (Acquire or Keep).
    bool MadeLockFile() const { return m_made; }
    // The system's error number of the last Acquire or Keep that did not take the lock.
    int LastError() const { return m_error; }
    // Where the folder whose lock this object holds is now, however it was renamed or
    // moved; empty when nothing is held or the folder cannot be found.
    std::string FolderNow() const;
    // The identity of the held folder.
    const TFileIdentity& FolderIdentity() const { return m_folderIdentity; }
    // True while a lock object of this process holds the folder now at that path, also
    // when its lock file was removed meanwhile.
    static bool IsHeldHere(const std::string& folder);

    // The name of the lock file in a folder.
    static const char* FileName();
    // What stands at `path` instead of a file, in a few words: "a folder", "a FIFO", "a
    // socket", "a device", "a symbolic link", else "something other than a file".
    static std::string WhatIsThereInstead(const std::string& path);
    // The name of the user who owns the file at `path` (a number when the system has no
    // name for it); empty when it cannot be examined.
    static std::string OwnerOf(const std::string& path);

private:
    // Opens (making it when missing) and locks the lock file in the folder open as
    // folderFd; Held with the lock file in `fd` and `identity`, else nothing is left open
    // and m_error says why.
    TResult Take(int folderFd, int& fd, TFileIdentity& identity, bool& made);

    int m_fd = -1;
    int m_folderFd = -1;
    bool m_made = false;
    int m_error = 0;
    TFileIdentity m_identity;        // the held lock file's
    TFileIdentity m_folderIdentity;  // the held folder's
};

}  // namespace vx
