#include "platform/TRights.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FileFaults.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TFolder.h"

namespace vx {

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr uid_t kNoOwner = static_cast<uid_t>(-1);
constexpr gid_t kNoGroup = static_cast<gid_t>(-1);

// An error that says the file system keeps no ACLs (or no extended attributes at all).
bool MeansNoAcls(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// An owner or group that cannot be given leaves the file this user's: the process may not
// give files away (EPERM), the id has no place in this user namespace (EINVAL: there another
// user's files show as the overflow id), or the file system keeps no owners (ENOSYS,
// EOPNOTSUPP).
bool MeansOwnerNotGiven(int error)
{
    return error == EPERM || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// True for a file or folder made private that shows it: this user's, no rights for others.
// A file system that keeps no Unix rights (exFAT, FAT, a share mounted with fixed modes)
// shows the mount's owner and mode instead.
bool ShowsPrivate(const struct stat& st)
{
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

void FreeAcl(void* acl)
{
    acl_free(acl);
}

// The permissions of the entry of that tag in the ACL; null when it has none.
acl_permset_t PermsetOf(acl_t acl, acl_tag_t tag)
{
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t got;
        acl_permset_t perms;
        if (acl_get_tag_type(entry, &got) == 0 && got == tag && acl_get_permset(entry, &perms) == 0)
            return perms;
    }
    return nullptr;
}

// A copy of the ACL with every right of the owner, or with the rights of the owning group
// cut to those of everyone else; null (errno set) when it cannot be made.
acl_t AdjustedAcl(acl_t model, bool ownerAll, bool groupAsOthers)
{
    acl_t acl = acl_dup(model);
    if (!acl)
        return nullptr;
    acl_permset_t owner = PermsetOf(acl, ACL_USER_OBJ), group = PermsetOf(acl, ACL_GROUP_OBJ),
                  others = PermsetOf(acl, ACL_OTHER);
    if (!owner || !group || !others) {
        acl_free(acl);
        errno = EINVAL;
        return nullptr;
    }
    for (const acl_perm_t perm : {ACL_READ, ACL_WRITE, ACL_EXECUTE}) {
        if (ownerAll)
            acl_add_perm(owner, perm);
        if (groupAsOthers && acl_get_perm(others, perm) != 1)
            acl_delete_perm(group, perm);
    }
    return acl;
}

}  // namespace

TRights::TRights(mode_t mode, uid_t owner, gid_t group) : m_mode(mode), m_owner(owner), m_group(group), m_model(true)
{
}

TRights::TFound TRights::OfAt(int folderFd, const std::string& name, TRights& rights)
{
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW | (name.empty() ? AT_EMPTY_PATH : 0)) != 0)
        return errno == ENOENT || errno == ENOTDIR ? TFound::NotThere : TFound::Failed;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return TFound::NotThere;
    TRights found(st.st_mode & (S_ISDIR(st.st_mode) ? 07777 : 0777), st.st_uid, st.st_gid);
    found.m_ofFolder = S_ISDIR(st.st_mode);
    // Most files have no ACL: one call says so, at the name looked at, reached through the
    // folder's descriptor (the name the system gives it) without following a link there.
    const std::string at = folderFd == AT_FDCWD ? name : JoinPath(NameOfOpenDescriptor(folderFd), name);
    const ssize_t size = NoAcls()      ? -1
                         : name.empty() ? ::getxattr(at.c_str(), kAccessAcl, nullptr, 0)
                                        : ::lgetxattr(at.c_str(), kAccessAcl, nullptr, 0);
    if (size < 0 && MeansNoAcls(errno)) {
        found.m_aclKept = false;
    } else if (size < 0 && errno != ENODATA) {
        return TFound::Failed;
    } else if (size > 0) {
        // Read through a descriptor of the very file looked at, never through a link put
        // in its place meanwhile.
        const int fd = ::openat(folderFd, name.empty() ? "." : name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT || errno == ELOOP ? TFound::NotThere : TFound::Failed;
        struct stat now {};
        acl_t acl = nullptr;
        if (::fstat(fd, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
            acl = acl_get_file(NameOfOpenDescriptor(fd).c_str(), ACL_TYPE_ACCESS);
        else
            errno = EAGAIN;
        const int error = errno;
        ::close(fd);
        if (!acl) {
            errno = error;
            return TFound::Failed;
        }
        found.m_acl.reset(acl, FreeAcl);
    }
    rights = std::move(found);
    return TFound::There;
}

TRights::TFound TRights::OfOpen(int fd, TRights& rights)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return TFound::Failed;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return TFound::NotThere;
    TRights found(st.st_mode & (S_ISDIR(st.st_mode) ? 07777 : 0777), st.st_uid, st.st_gid);
    found.m_ofFolder = S_ISDIR(st.st_mode);
    const ssize_t size = NoAcls() ? -1 : ::fgetxattr(fd, kAccessAcl, nullptr, 0);
    if (size < 0 && MeansNoAcls(errno)) {
        found.m_aclKept = false;
    } else if (size < 0 && errno != ENODATA) {
        return TFound::Failed;
    } else if (size > 0) {
        acl_t acl = acl_get_fd(fd);
        if (!acl)
            return TFound::Failed;
        found.m_acl.reset(acl, FreeAcl);
    }
    rights = std::move(found);
    return TFound::There;
}

TRights::TFound TRights::Of(const std::string& path, TRights& rights)
{
    return path.empty() ? TFound::NotThere : OfAt(AT_FDCWD, path, rights);
}

TRights::TFound TRights::Of(const TFolder& folder, const std::string& name, TRights& rights)
{
    return OfAt(folder.Fd(), name, rights);
}

bool TRights::Umask(mode_t& mask)
{
    // umask() would set it, and a file another thread makes meanwhile would take that one.
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (!status)
        return false;
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status)) {
        unsigned value = 0;
        found = std::sscanf(line, "Umask: %o", &value) == 1;
        if (found)
            mask = static_cast<mode_t>(value & 0777);
    }
    std::fclose(status);
    if (!found)
        errno = ENOTSUP;
    return found;
}

TRights TRights::WithOwnerRights() const
{
    TRights rights = *this;
    rights.m_mode |= S_IRWXU;
    if (m_acl) {
        acl_t acl = AdjustedAcl(static_cast<acl_t>(m_acl.get()), true, false);
        if (acl)
            rights.m_acl.reset(acl, FreeAcl);
        else
            rights.m_acl.reset();  // the mode bits, whose group class is the ACL's mask
    }
    return rights;
}

bool TRights::GiveTo(int fd) const
{
    if (!m_model)
        return true;
    // A file system that keeps no Unix rights shows the made file with the mount's owner and
    // mode, which no call changes: where these rights cannot be given there, it keeps those.
    // Anywhere else a file that does not show private is not the one this process made.
    struct stat made {};
    if (::fstat(fd, &made) != 0)
        return false;
    const bool showsPrivate = ShowsPrivate(made);
    if (Give(fd, made))
        return true;
    const int error = errno;
    if (showsPrivate || FileSystemKeepsRights(fd)) {
        errno = error;
        return false;
    }
    return true;
}

bool TRights::FileSystemKeepsRights(int fd)
{
    constexpr unsigned long kMayKeepNone[] = {
        0x4d44,      // FAT
        0x2011BAB0,  // exFAT
        0x5346544e,  // NTFS
        0x7366746e,  // NTFS (ntfs3)
        0x65735546,  // FUSE: exFAT and NTFS drivers among others
        0x517B,      // SMB
        0xFF534D42,  // CIFS
        0xFE534D42,  // SMB2
        0x6969,      // NFS, where root's files may show as another user's
        0x01021997,  // 9P
        0x786f4256,  // VirtualBox shared folders
    };
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;  // not told: asked as one that may keep none
    const auto type = static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFul;
    return std::find(std::begin(kMayKeepNone), std::end(kMayKeepNone), type) == std::end(kMayKeepNone);
}

bool TRights::Give(int fd, const struct stat& made) const
{
    // An owner or group the file already shows is not given again: inside a user namespace a
    // group the system gave it from its folder shows as the overflow id, as the replaced
    // file's does, and a change to that id fails or gives another group.
    const uid_t owner = m_owner == made.st_uid ? kNoOwner : m_owner;
    const gid_t group = m_group == made.st_gid ? kNoGroup : m_group;
    // Owner and group first: a change of owner may take the set-group-ID bit away.
    bool groupGiven = true;
    if (m_owner != kNoOwner || m_group != kNoGroup) {
        if (FileCallFails(kFileRights) || ((owner != kNoOwner || group != kNoGroup) && ::fchown(fd, owner, group) != 0)) {
            if (!MeansOwnerNotGiven(errno))
                return false;
            // The file stays this user's, and takes the group where this user belongs to it.
            if (group != kNoGroup && ::fchown(fd, kNoOwner, group) != 0) {
                if (!MeansOwnerNotGiven(errno))
                    return false;
                groupGiven = false;
            }
        }
    }
    mode_t mode = m_mode;
    if (!groupGiven)
        mode = (mode & ~(S_IRWXG | S_ISGID)) | (mode & S_IRWXG & ((mode & S_IRWXO) << 3));
    if (m_aclKept) {
        // Setting the ACL sets the mode bits too, and takes away the entries a folder's
        // default ACL gave the file at its making.
        acl_t model = static_cast<acl_t>(m_acl.get());
        acl_t acl = !model ? acl_from_mode(mode) : groupGiven ? model : AdjustedAcl(model, false, true);
        if (!acl)
            return false;
        const int set = FileCallFails(kFileRights) || NoAcls() ? -1 : acl_set_fd(fd, acl);
        const int error = errno;
        if (acl != model)
            acl_free(acl);
        if (set != 0 && (model || !MeansNoAcls(error))) {
            errno = error;
            return false;
        }
        if (set == 0 && (mode & 07000) == 0)
            return true;
    }
    return !FileCallFails(kFileRights) && ::fchmod(fd, mode) == 0;
}

int TRights::MakePrivateFolder(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const TFolder parent = TFolder::Open(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash),
                                         TFolder::kFollowLast);
    if (!parent)
        return -1;
    TFolder made = parent.MakePrivateFolder(path.substr(slash + 1));
    return made ? made.Release() : -1;
}

bool TRights::MakeFolderLike(const std::string& path, const std::string& model)
{
    TRights rights;
    const TFound found = Of(model, rights);
    if (found != TFound::There || !rights.OfFolder()) {
        if (found != TFound::Failed)
            errno = found == TFound::NotThere ? ENOENT : ENOTDIR;
        return false;
    }
    const std::string parent = FolderOf(path);
    const TFolder folder = TFolder::Open(parent.empty() ? std::string(".") : parent, TFolder::kFollowLast);
    return folder && folder.MakeFolderLike(FileNameOf(path), rights);
}

bool TRights::GiveOwnerAllRightsOfFolder(int folderFd, const std::string& name)
{
    // A descriptor for the name alone needs no right to the folder.
    const int fd = ::openat(folderFd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    // A descriptor for the name alone takes no fchmod: the change goes through the name the
    // system gives the open descriptor, which is the folder it is open on, whatever stands
    // at the name now.
    struct stat st {};
    const bool given = ::fstat(fd, &st) == 0 && !FileCallFails(kFileRights) &&
                       ::fchmodat(AT_FDCWD, NameOfOpenDescriptor(fd).c_str(), (st.st_mode & 07777) | S_IRWXU, 0) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return given;
}

}  // namespace vx
