#pragma once
// An advisory lock on a folder, held through a hidden lock file in it (flock) by the
// process that has a project of the folder open. The system lets it go when the process
// ends, however it ends, so a lock that cannot be taken means another running program
// has the folder open. A folder is known by its identity, not by its name: the same folder
// spelt otherwise is the same, and a folder renamed away is no longer the one at its path.
// The held folder and its lock file stay open, so that neither identity is given to
// another file while they are held, even when they are removed.
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
        HeldHere,       // another lock object of this process has it (a second project of
                        // the folder opened in the same run): this one holds nothing
        Unavailable,    // no lock there (a folder that cannot be written, no locking)
        NotAFile,       // something other than a file stands under the lock file's name
                        // (a folder, a FIFO): it is neither locked nor waited on
        Moved           // Keep: the folder at that path is not the one held
    };
    // Lets go of a folder held before and tries to take this one.
    TResult Acquire(const std::string& folder);
    // Keeps the lock of the held folder, which must be the one at that path (else Moved,
    // and nothing changes). A lock file removed or replaced there meanwhile (a cleaning
    // tool, a sync client) is made and taken again; while that fails (another has taken
    // the new one), the old hold stays and the result says why.
    TResult Keep(const std::string& folder);
    void Release();
    // True while this object holds the lock of a folder, wherever it is now.
    bool IsHeld() const { return m_fd >= 0; }
    // True while this object holds the lock of the folder now at that path.
    bool Holds(const std::string& folder) const;
    // Where the folder whose lock this object holds is now, however it was renamed or
    // moved; empty when nothing is held or the folder cannot be found.
    std::string FolderNow() const;
    // True while a lock object of this process holds the folder now at that path.
    static bool IsHeldHere(const std::string& folder);

    // The name of the lock file in a folder.
    static const char* FileName();
    // What stands at `path` instead of a file, in a few words: "a folder", "a FIFO", "a
    // socket", "a device", else "something other than a file".
    static std::string WhatIsThereInstead(const std::string& path);

private:
    // Opens and locks the lock file in the folder open as folderFd; Held with the lock
    // file in `fd` and `identity`, else nothing is left open.
    static TResult Take(int folderFd, int& fd, TFileIdentity& identity);

    int m_fd = -1;
    int m_folderFd = -1;
    TFileIdentity m_identity;        // the held lock file's
    TFileIdentity m_folderIdentity;  // the held folder's
};

}  // namespace vx
