#pragma once
// An advisory lock on a folder, held by the process that has a project of the folder open.
// The system lets it go when the process ends, however it ends, so a lock that cannot be
// taken means another running program has the folder open. A folder is known by its
// identity, not by its name: the same folder spelt otherwise is the same, and a folder
// renamed away is no longer the one at its path.
//
// The protocol, the same for every program that takes the lock:
// - A folder that cannot be written (its permissions for this user, a read-only file
//   system) is not locked at all: nothing in it is changed (ReadOnly).
// - The folder itself is locked first (flock on a descriptor open to read it), where the
//   system allows: on one machine it holds the folder whatever happens to the lock file.
//   A folder this user may search but not read, or a file system that locks no folders
//   (NFS locks only files open for writing; others refuse a folder's lock with ENOLCK,
//   EOPNOTSUPP or ENOSYS but lock files), goes on with the lock file alone, which decides
//   whether anything can be locked.
// - Then the hidden lock file in it (flock, never through a link, never waiting on a FIFO),
//   on a descriptor open to read and write where this user may write the file, else open
//   only to read (enough on a local file system; NFS needs write access: NoLocks). A lock
//   file with other names (hard links: a project copied with cp -al) is locked as it is. A
//   lock file may be written by everyone who may write the folder, so that another user of
//   a shared folder can lock it on NFS too: the program that makes it makes it private
//   (0600) and gives it those rights, with the folder's group and owner where it may give
//   them (TRights), at once on its descriptor, and never changes the rights of a lock file
//   it did not make alone (one of other names is another file's too). Another user's
//   program that meets a lock file before its rights are given (private to another user)
//   tries again for up to a second; one still private then is a lock file it may not read.
// - Once locked, the file is compared with the one under the lock file's name (device and
//   inode, links not followed): a lock taken on a file removed or replaced meanwhile holds
//   nothing, and the lock is taken again on the file there now.
// - A lock file is made only here, and removed only here: by its holder while it holds it
//   (RemoveLockFileAndRelease), or by its maker at once when the file system would not lock
//   it, so that a folder where nothing is locked keeps no trace of the try. A program that
//   locks the removed file afterwards sees that it is no longer the lock file and starts
//   again. A removal goes through the folder's open descriptor, never by path: a folder put
//   at the path meanwhile keeps its own lock file.
// The held folder and its lock file stay open, so that neither identity is given to
// another file while they are held, even when they are removed.
#include <sys/types.h>

#include <functional>
#include <string>

#include "platform/Files.h"
#include "platform/TFolder.h"

namespace vx {

class TFolder;

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
        ReadOnly,       // the folder cannot be written (its permissions, a read-only file
                        // system), or no lock file can be made for that reason: nothing is
                        // locked; LastError() says why
        Unreachable,    // the folder does not exist, or cannot be opened or entered;
                        // LastError() says why
        NoLocks,        // the file system offers no lock for the folder (no locks at all, or
                        // none on a lock file this user may only read, as on NFS): nothing is
                        // locked; LastError() says why (ENOLCK, EOPNOTSUPP, ENOSYS, EBADF)
        Forbidden,      // a lock file is there that this user may not open; LastError() says why
        Unavailable,    // the lock file cannot be made or locked for another reason (a full
                        // disk, a failing disk); LastError() says why
        NotAFile,       // something other than a file stands under the lock file's name (a
                        // folder, a FIFO, a symbolic link): it is neither locked, followed,
                        // changed nor waited on
        Moved,          // Keep: the folder at that path is not the one held
        Changed         // Keep: the lock file was lost, and the folder changed meanwhile
    };
    // What a result offers its caller, the one reading of it that every caller shares.
    enum class TOffer {
        Change,    // Held: the folder may be changed
        Busy,      // HeldElsewhere, HeldHere: another program, or another project of this
                   // one, has the folder open
        ReadOnly,  // ReadOnly, NoLocks: nothing is locked, the folder may be read and nothing
                   // in it changed
        Refused    // anything else: the folder is not to be used; LastError() says why
    };
    static TOffer OfferOf(TResult result);

    // Lets go of a folder held before and tries to take this one.
    TResult Acquire(const std::string& folder);
    // The same for the folder open as `folder`, through its descriptor: the folder it was
    // opened on, whatever stands at its path now. One not open is Unreachable, for the
    // error its open left in errno.
    TResult Acquire(const TFolder& folder);
    // Keeps the lock of the held folder, which must be the one at that path (else Moved,
    // and nothing changes). A lock file removed or replaced there meanwhile (a cleaning
    // tool, a sync client) is made and taken again, and kept only when `unchanged` says
    // that no other program changed the folder while it was not locked (else Changed).
    // While that fails the old hold stays, and the result says why.
    TResult Keep(const std::string& folder, const std::function<bool()>& unchanged = {});
    void Release();
    // Removes the lock file of the held folder at `folder` while its lock is still held (no
    // other program can hold it then), when the file under its name is the one held, and
    // lets go.
    void RemoveLockFileAndRelease(const std::string& folder);
    // True while this object holds the lock of a folder, wherever it is now.
    bool IsHeld() const { return m_fd >= 0; }
    // True while the folder itself is locked too, not only its lock file.
    bool HoldsFolderItself() const { return m_folderLockFd >= 0; }
    // True while this object holds the lock of the folder now at that path, through the
    // lock file there.
    bool Holds(const std::string& folder) const;
    // True when the lock file this object holds was made by it (Acquire or Keep); never
    // while nothing is held.
    bool MadeLockFile() const { return m_made; }
    // The system's error number of the last Acquire or Keep that did not take the lock.
    int LastError() const { return m_error; }
    // After Acquire gave HeldElsewhere for the lock file: whether that file has other names
    // (hard links: a project copied with cp -al shares its lock file with the original),
    // and, where it has, whether this folder itself was locked here meanwhile, so that the
    // other program has the copy open, not this folder.
    enum class TSharing { NotShared, WithAnOpenCopy, WithACopy };
    TSharing LockFileSharing() const { return m_sharing; }
    // Where the folder whose lock this object holds is now, however it was renamed or
    // moved; empty when nothing is held or the folder cannot be found.
    std::string FolderNow() const;
    // The identity of the held folder.
    const TFileIdentity& FolderIdentity() const { return m_folderIdentity; }
    // The held folder, opened again through this lock's own descriptor of it (wherever it
    // is now), and named `path`; not open, errno set, while nothing is held.
    TFolder Folder(const std::string& path) const;
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
    // Acquire of the folder open as folderFd (-1: errno says why it could not be opened),
    // which it keeps open while held and closes otherwise.
    TResult AcquireOpen(int folderFd);
    // Opens (making it when missing), locks and verifies the lock file in the folder open as
    // folderFd; Held with the lock file in `fd` and `identity`, else nothing is left open
    // and m_error says why.
    TResult Take(int folderFd, int& fd, TFileIdentity& identity, bool& made);
    // One try of Take; Changed when the file locked is no longer the lock file.
    TResult TakeOnce(int folderFd, int& fd, TFileIdentity& identity, bool& made);

    int m_fd = -1;
    int m_folderFd = -1;      // open for its path alone: its identity, where it is now
    int m_folderLockFd = -1;  // open to read it, with its lock; -1 where none is held
    bool m_made = false;
    int m_error = 0;
    nlink_t m_heldLinks = 0;  // the names of the lock file another program held at the last try
    bool m_rightsAwaited = false;  // the last try met another user's lock file not yet given its rights
    TSharing m_sharing = TSharing::NotShared;
    TFileIdentity m_identity;        // the held lock file's
    TFileIdentity m_folderIdentity;  // the held folder's
};

}  // namespace vx
