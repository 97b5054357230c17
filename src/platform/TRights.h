#pragma once
// Who may read and change what the program makes: its permission bits, owner, group and
// access ACL. Every file or folder the program makes takes its rights here, by these rules:
// - Rights that come from elsewhere (the file a new one replaces, the project's file, the
//   folder a work folder or lock file serves) are given on the descriptor of the very file
//   or folder made, never by path: a file is made private to its maker (0600) and given
//   them before anything is written into it; a folder is made private (0700), opened
//   without following links and checked to be the one made before it is given them.
//   Rights of the umask alone are those the system gives at birth.
// - The owner is given where the process may give a file away (root), the group where this
//   user belongs to it; neither where the user namespace maps no such id (another user's
//   files show as the overflow id there) or the file system keeps no owners: the file then
//   stays this user's. A group that cannot be given gets no more than everyone else may;
//   one the new file already shows (given by the system from its folder, seen as the same
//   overflow id in such a namespace) keeps its rights.
// - An access ACL is read only where the model has one, so that rights cost a few calls
//   per file; on a file system that keeps no ACLs the mode bits alone are given.
// - The umask is read, never changed: other threads make files meanwhile.
// - Every call's failure is told (errno); a file that could not be given its rights is
//   never used wider than them.
// - A file system that keeps no Unix rights (exFAT, FAT, a share mounted with fixed modes)
//   shows every file and folder with the mount's owner and mode: a folder made there is
//   known by its identity alone, and what cannot be given there keeps the mount's rights.
#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <string>

namespace vx {

class TFolder;

class TRights {
public:
    // No rights of a model: those the system gives a new file (the umask, a folder's
    // default ACL).
    TRights() = default;
    // These permission bits (with the set-group-ID bit for a folder), owner and group
    // ((uid_t)-1, (gid_t)-1: those the system gives), and no ACL.
    TRights(mode_t mode, uid_t owner, gid_t group);

    // What Of found at a path.
    enum class TFound { There, NotThere, Failed };
    // The rights of the file or folder at `path`, links not followed: NotThere when nothing
    // (or a symbolic link) is there, Failed (errno set) when they could not be read.
    static TFound Of(const std::string& path, TRights& rights);
    // The same for the file or folder `name` in `folder` (empty: the folder itself), reached
    // through its descriptor.
    static TFound Of(const TFolder& folder, const std::string& name, TRights& rights);
    // The same for the file or folder open as `fd`, read through that descriptor alone.
    static TFound OfOpen(int fd, TRights& rights);
    // The umask of the process, read without changing it; false (errno set) when the system
    // does not tell it.
    static bool Umask(mode_t& mask);

    // True when these are a model's rights, to be given after the making.
    bool IsModel() const { return m_model; }
    mode_t Mode() const { return m_mode; }
    uid_t Owner() const { return m_owner; }
    gid_t Group() const { return m_group; }
    bool HasAcl() const { return m_acl != nullptr; }
    // True for the rights Of found on a folder.
    bool OfFolder() const { return m_ofFolder; }
    // The same rights with every right of the owner (a folder its maker must fill).
    TRights WithOwnerRights() const;

    // Gives these rights to the file or folder open as `fd`, which this process made
    // private: owner and group first, then the mode or ACL. False, errno set, when one could
    // not be given; what was given stays no wider than these rights. On a file system that
    // keeps no Unix rights (its type says it may keep none, and the file made shows the
    // mount's owner and mode) it keeps those where these cannot be given; anywhere else a
    // failure is one.
    bool GiveTo(int fd) const;

    // False where the file system of the file open as `fd` is one that may keep no Unix
    // rights (FAT, exFAT, NTFS, FUSE, network and virtual machine shares), told from its
    // type: there a mode or owner given may not take, and another test must tell whose a
    // file is. True everywhere else.
    static bool FileSystemKeepsRights(int fd);

    // Makes the folder at `path` private to this user (0700) and opens it to be given its
    // rights, never through a link and only when the folder there then is the one made (its
    // identity, and where the file system keeps Unix rights, its owner and mode); -1, errno
    // set, when it cannot be made (EEXIST: something stood there), or something else stands
    // there by the time it is opened (ESTALE).
    static int MakePrivateFolder(const std::string& path);
    // Gives the owner of the folder `name` in the folder open as folderFd (links not
    // followed) every right to it, through a descriptor of it; false, errno set, when that
    // fails or no folder is there.
    static bool GiveOwnerAllRightsOfFolder(int folderFd, const std::string& name);
    // Makes the folder at `path` (in a folder that is there) with the rights of the folder
    // at `model` and every right of its owner, as TFolder::MakeFolderLike in the folder
    // opened at its path. False, errno set, with no folder left at `path`, when it cannot be made or
    // given them (ENOENT, ENOTDIR: no folder at `model`).
    static bool MakeFolderLike(const std::string& path, const std::string& model);

private:
    // The calls of GiveTo on the file open as `fd`, `made` what it shows; false, errno set,
    // when a right could not be given.
    bool Give(int fd, const struct stat& made) const;
    // Of for `name` in the folder open as folderFd (AT_FDCWD: a path; empty: that folder).
    static TFound OfAt(int folderFd, const std::string& name, TRights& rights);

    mode_t m_mode = 0;
    uid_t m_owner = static_cast<uid_t>(-1);
    gid_t m_group = static_cast<gid_t>(-1);
    bool m_model = false;
    bool m_ofFolder = false;
    bool m_aclKept = true;       // false: the model's file system keeps no ACLs
    std::shared_ptr<void> m_acl;  // the model's access ACL (acl_t); null when it has none
};

}  // namespace vx
