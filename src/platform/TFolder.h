#pragma once
// A folder reached through one descriptor, opened once and known from then on by what was
// opened, not by its path: every name in it is looked at, made, opened, renamed and removed
// relative to that descriptor, links at those names never followed. Another user who may
// write the folder's parent can put a link or another folder at its path, or one who may
// write the folder itself a link at any name in it, between a look at a name and its use;
// neither leads a call of this class out of the folder it opened.
//
// Every call that changes something is a file event the fault seam reaches (FileFaults.h),
// of the kind its path counterpart is, and every failure is told with errno's number: no
// call turns an error into an empty or default answer. No caller may drop the answer unread
// ([[nodiscard]]): one that may go unheard says why where it casts it to void.
#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/Files.h"

namespace vx {

class TRights;

class TFolder {
public:
    TFolder() = default;
    ~TFolder();
    TFolder(const TFolder&) = delete;
    TFolder& operator=(const TFolder&) = delete;
    TFolder(TFolder&& other) noexcept;
    TFolder& operator=(TFolder&& other) noexcept;

    // Opens the folder at `path`, the links on the way followed as the path gives them; a
    // link at its last name is refused (ELOOP) as a file there is (ENOTDIR), unless the
    // caller passes kFollowLast: a folder the user named, or the folder of a path the user
    // gave, which may be a link of the user's own. A folder this user may enter but not read
    // is opened all the same, for its names alone: it cannot be listed, and is synced through
    // a file in it (Sync). Not open, errno set, when it cannot be opened.
    static constexpr bool kFollowLast = true;
    [[nodiscard]] static TFolder Open(const std::string& path, bool followLast = false);
    // Opens again the folder open as `fd` (a descriptor for its names alone too, which stays
    // open), wherever it is now, and names it `path`; not open, errno set, when it cannot be.
    [[nodiscard]] static TFolder Reopen(int fd, std::string path);
    // Opens the folder `name` in this one, never through a link (ELOOP; ENOTDIR for anything
    // else that is not a folder). Its path is this one's with the name.
    [[nodiscard]] TFolder OpenFolder(const std::string& name) const;
    // The same, only where this user made it (MadeByThisUser; EPERM otherwise).
    [[nodiscard]] TFolder OpenOwnFolder(const std::string& name) const;
    // The folder at `path` where this user made it, its last name reached through the folder
    // of the path (opened with kFollowLast) and never through a link: a folder put at the
    // path of one that is gone, to be read in its place, only where it is this user's own.
    [[nodiscard]] static TFolder OpenOwn(const std::string& path);
    // Makes the folder `name` in this one, private to this user (0700), and opens it; not
    // open, errno set, when it cannot be made (EEXIST: something stood there), or when what
    // stands at the name by the time it is opened is not the folder made (ESTALE). The
    // folder made is told by its identity; its mode and owner must show it private and this
    // user's only where the file system keeps them.
    [[nodiscard]] TFolder MakePrivateFolder(const std::string& name) const;
    // True when `folder`, open, shows what MakePrivateFolder makes in this folder: private
    // and this user's, as far as the file system keeps owners and modes.
    bool ShowsMadePrivate(const TFolder& folder) const;
    // Makes the folder `name` private (MakePrivateFolder), then gives it `rights` with every
    // right of its owner on its own descriptor; not open, errno set, and nothing left at
    // `name`, when either fails.
    [[nodiscard]] TFolder MakeFolderLike(const std::string& name, const TRights& rights) const;
    // Another descriptor of the same folder; not open, errno set, when none can be had.
    [[nodiscard]] TFolder Duplicate() const;
    // Makes the folder `name` in this one with the rights the system gives a folder made
    // here (the umask, this folder's default ACL and set-group-ID bit), and opens it, as
    // MakePrivateFolder does; the folder there must be this user's too where the file
    // system keeps owners (ESTALE otherwise).
    [[nodiscard]] TFolder MakeFolder(const std::string& name) const;

    bool IsOpen() const { return m_fd >= 0; }
    explicit operator bool() const { return IsOpen(); }
    int Fd() const { return m_fd; }
    // The path the folder was opened by, to name it and its files in messages; it may lead
    // elsewhere by now.
    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& name) const;
    // What the descriptor was opened on.
    const TFileIdentity& Identity() const { return m_identity; }
    // True when the descriptor is open for the names alone (a folder this user may not read).
    bool NamesOnly() const { return m_namesOnly; }
    void Close();
    // Gives the descriptor up to the caller, who closes it; the object is no longer open.
    [[nodiscard]] int Release();

    // Looks at what stands at `name`, a link not followed: 0, or errno's number (ENOENT when
    // nothing is there). With `name` empty, at the folder itself.
    [[nodiscard]] int Stat(const std::string& name, struct stat& st) const;
    // Whether a regular file, a folder (links not followed), stands at `name`: No where
    // nothing or something else does, Failed (errno set) where it cannot be looked at.
    enum class THas { No, Yes, Failed };
    [[nodiscard]] THas HasFile(const std::string& name) const;
    [[nodiscard]] THas HasFolder(const std::string& name) const;

    // Makes a new file of a unique name, open to read and write, with `mode` less the umask:
    // `name`'s last six characters are replaced by letters and digits. -1, errno set, when it
    // cannot be made.
    [[nodiscard]] int MakeUniqueFile(std::string& name, mode_t mode) const;
    // Makes the file `name`, which must not be there (EEXIST), open with `flags` and
    // `mode` less the umask; never through a link at its name. -1, errno set, when not.
    [[nodiscard]] int MakeFile(const std::string& name, int flags, mode_t mode) const;
    // Opens `name` to read when it is a regular file (never waiting on a FIFO, never through
    // a link); -1 otherwise, errno saying why (ELOOP for a link, EISDIR for a folder, EINVAL
    // for anything else), and *notAFile (when given) what stands there instead of a file.
    [[nodiscard]] int OpenToRead(const std::string& name, std::string* notAFile = nullptr) const;
    // The same, but a symbolic link at `name` is followed where MayFollowLink lets it: the
    // link is looked at and read through a descriptor of its own, so that the link whose
    // owner was asked is the one followed, whatever is put at the name meanwhile. Any
    // other link is refused (ELOOP), *notAFile naming its owner ("a symbolic link of
    // another user, nobody").
    [[nodiscard]] int OpenToReadThroughTrustedLink(const std::string& name, std::string* notAFile = nullptr) const;
    // Opens the regular file `name` that is there with `flags` (never through a link, never
    // waiting on a FIFO: EINVAL for what is not a file); -1, errno set, when not.
    [[nodiscard]] int OpenFile(const std::string& name, int flags) const;

    // Renames `name` to `toName` in the folder `to` (this one, or another on the same file
    // system), over a file there; a large file replaced is freed in the background. 0, or
    // errno's number.
    [[nodiscard]] int Rename(const std::string& name, const TFolder& to, const std::string& toName) const;
    // The same, where nothing may stand at `toName` (EEXIST), or exchanging the two where
    // `exchange` is set: EINVAL, ENOSYS or EOPNOTSUPP where the file system offers neither
    // (IsUnsupportedRenameFlag).
    [[nodiscard]] int RenameNoReplace(const std::string& name, const TFolder& to, const std::string& toName) const;
    [[nodiscard]] int Exchange(const std::string& name, const TFolder& to, const std::string& toName) const;
    // Removes the file (or link, FIFO...) `name`; a name already gone is no error. 0, or
    // errno's number (EISDIR for a folder).
    [[nodiscard]] int Remove(const std::string& name) const;
    // Removes the folder `name` when it is empty (ENOTEMPTY otherwise); a name already
    // gone is no error.
    [[nodiscard]] int RemoveFolder(const std::string& name) const;
    // Removes what stands at `name`, a folder with everything in it, every folder of it
    // reached through the descriptor of the one around it, never through a link put in
    // place of one meanwhile. A folder of this user's that it may not read or write is given
    // those rights first: it is going, and could not be emptied otherwise. 0, or errno's
    // number of the first call that failed (something stayed).
    [[nodiscard]] int RemoveTree(const std::string& name) const;
    // Removes `folder`, open, which stands at `name` or stood there: everything in it
    // through its own descriptor, then the name, only while it still names that folder.
    // What another program put at the name meanwhile stays.
    [[nodiscard]] int RemoveTree(const std::string& name, const TFolder& folder) const;
    // Whether the folder open as `folder` stands at `name` (Failed, errno set, where what
    // stands there cannot be looked at).
    [[nodiscard]] THas HoldsAt(const std::string& name, const TFolder& folder) const;

    // Who made what stands in the folder, by one rule for every caller that acts on a name
    // another user may have put there. `st` is what a name here shows (Stat, a link not
    // followed) or the file opened from it.
    // True when this user made it: its owner is this user, or the file system keeps no
    // owners (KeepsOwners), where nothing tells one user's file from another's and there is
    // no boundary between users to keep.
    bool MadeByThisUser(const struct stat& st) const;
    // True when the symbolic link `st` at a name here may be followed: it is this user's or
    // the folder owner's, the rule the kernel applies to links in a sticky folder every user
    // may write, here in every folder. Any other link was put there by someone else who
    // may write the folder, and may lead to what only this user may read.
    bool MayFollowLink(const struct stat& st) const;
    // True when the file system of this folder gives a file the owner of the user who made
    // it: false where a file made here shows another owner (exFAT, FAT, a share mounted
    // with a fixed owner). A file of a unique name is made and removed to tell, each time it
    // is asked; where none can be made, the answer is true, which keeps every boundary.
    bool KeepsOwners() const;

    // What the folder holds, sorted by name (links looked at, not followed: a link to a
    // folder is no folder here); `pattern` filters as ListFolder's does.
    [[nodiscard]] TFolderListing List(const std::string& pattern = "*") const;
    // Puts the folder's entries on the disk: 0, or errno's number. A folder opened for its
    // names alone is synced with the whole file system it lies on, through `inside`, a
    // regular file in it (or in `insideOf`, a folder on the same file system); without one,
    // its open's error stands.
    [[nodiscard]] int Sync(const std::string& inside = std::string(), const TFolder* insideOf = nullptr) const;

private:
    TFolder(int fd, std::string path, bool namesOnly);
    // True when `st`, of a folder in this one, shows what a making of a folder here gives:
    // this user's, and private where `privately`, as far as the file system keeps owners and
    // modes. Whether it does is told from the file system itself, never from a likeness to
    // this folder, which another user may give a folder of their own.
    bool ShowsMadeHere(const struct stat& st, bool privately) const;
    // Opens what `openDirectory` opened as a folder object, its identity read.
    static TFolder Adopt(int fd, std::string path, bool namesOnly);

    int m_fd = -1;
    std::string m_path;
    TFileIdentity m_identity;
    bool m_namesOnly = false;
};

// The stamp of what stands at `name` in `folder`, a link not followed; none where nothing
// can be looked at there.
std::optional<TFileStamp> FileStampOf(const TFolder& folder, const std::string& name);

// The name of the user `uid`, a number where the system has no name for it.
std::string UserNameOf(uid_t uid);

// ReadWholeFile of the file `name` in `folder`, never through a link.
bool ReadWholeFile(const TFolder& folder, const std::string& name, std::string& out, int64_t maxBytes,
                   TWholeFileFailure* failure = nullptr);

}  // namespace vx
