#pragma once
// A folder replaced whole by another: the new content is built in a hidden folder beside
// it and put in its place in one step, an earlier folder there going with that step.
// Where the file system cannot exchange two folders, the earlier folder first steps aside
// to a second hidden folder; a process killed between the two renames leaves it there,
// and the next swap of the folder puts it back. Only a swap makes the two hidden folders:
// ".<name>.batch" for the build and ".<name>.batch-old" for the earlier folder aside.
//
// The folder around them (the parent) is opened once, and every name of the swap in it is
// reached through that descriptor: other users who may write it can put a link or another
// folder at any of those names at any moment, and a swap never follows one. The folder
// held, the build folder and the earlier folder aside are known by their identity from the
// moment they are opened or made: a folder is renamed, exchanged or removed only while its
// name still holds it, and a rename that met another folder there is undone.
//
// The swap holds the lock (TFolderLock) of the folder it replaces and of its build folder
// from the first look at them to the end, so that another program's swap of the same
// folder neither removes nor replaces them meanwhile. A folder is removed only once no
// descriptor of this program is open in it: it is first renamed, under its lock, into a
// private folder of this user's made for it under a name of its own
// (".<name>.batch-gone.*"), and removed after the lock is let go. A file system that keeps
// a removed open file as a hidden file (FUSE, NFS) would otherwise keep the folder; one that
// cannot be removed even so is removed by a later swap, which takes nothing else of that
// name: another user who may write the parent can give any folder one.
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/TFolder.h"
#include "platform/TFolderLock.h"

namespace vx {

class TFolderSwap {
public:
    // Opens the folder that `folder` lies in.
    explicit TFolderSwap(const std::string& folder);
    ~TFolderSwap();
    TFolderSwap(const TFolderSwap&) = delete;
    TFolderSwap& operator=(const TFolderSwap&) = delete;

    // Where a swap of `folder` puts its earlier content aside (".<name>.batch-old" beside it).
    static std::string RetiredFolderOf(const std::string& folder);

    const std::string& Folder() const { return m_folder; }
    const std::string& BuildFolder() const { return m_build; }
    const std::string& RetiredFolder() const { return m_retired; }
    // The folder around the folder, through which every name of the swap is reached; not
    // open when it could not be opened.
    const TFolder& Parent() const { return m_parent; }
    // Looks at what stands at the folder's name (a link not followed): 0, or errno's number
    // (ENOENT when nothing is there; the parent's own error when it could not be opened).
    int LookAtFolder(struct stat& st) const;
    // Opens the folder at the folder's name, the earlier content to replace (never through a
    // link); false, errno set, when it cannot be opened.
    bool OpenFolder();
    // The folder opened, held once LockFolder took it or MendLeftovers put it back.
    const TFolder& Earlier() const { return m_held; }

    // Takes the lock of the folder opened at the folder's name (OpenFolder, when none is),
    // through its descriptor; it is held until the swap ends.
    TFolderLock::TResult LockFolder();
    // The lock of the folder, to tell why LockFolder did not take it.
    const TFolderLock& FolderLock() const { return m_folderLock; }
    // Whether the swap holds the folder at the folder's path (LockFolder, or put back by
    // MendLeftovers): only such a folder is replaced.
    bool HoldsFolder() const { return m_folderLock.IsHeld(); }

    enum class TMend {
        Done,  // nothing of a killed swap is left that this swap may clear
        Busy,  // another running program holds one of the hidden folders: it is swapping
        Failed,   // what was left could not be mended (errno says why)
        Unlisted,  // the folder's parent could not be listed (errno says why): nothing was mended
        AnotherUsers  // a hidden folder or the mark to remove was made by another user: it stays (LeftToItsOwner)
    };
    // Mends what a swap killed on its way left, before a new content is built: an earlier
    // folder aside while nothing is at the folder's path is the folder's content, and is put
    // back (and held from then on) where this user made it, a swap of this user's having
    // left it there; another user's stays aside (RetiredByAnotherUser). A build folder is
    // removed, and so is an earlier folder aside once the folder in place is the one a swap
    // put there in its place, as the swap's mark tells where this user made it. An earlier
    // folder aside beside any other folder is kept (RetiredFolder() is then there). Neither
    // is ever removed while another program holds it, nor where another user made it, who
    // may put any folder at their names: nothing is built over it then (AnotherUsers). What
    // is no folder at their names (a link) is left as it is. The swap's mark goes last, where
    // this user wrote it; another user's file or link at its name stays (AnotherUsers).
    TMend MendLeftovers();
    // What another user made that MendLeftovers or PutInPlace left as it is (AnotherUsers,
    // EPERM): a hidden folder or what stands at the mark's name, its type (S_IFDIR, S_IFREG,
    // S_IFLNK...) and that user.
    struct TLeft {
        std::string path;
        mode_t type = 0;
        uid_t owner = 0;
    };
    const TLeft& LeftToItsOwner() const { return m_left; }

    // Makes the build folder: with the rights of the folder held where `withHeldRights`,
    // else with those the system gives a folder made beside it. Null, errno set, when it
    // cannot be made (EEXIST: something stands at its name).
    const TFolder* MakeBuild(bool withHeldRights = true);
    // Holds the build folder until it is in place or removed, through the hold its maker
    // took there (its lock), which `letGo` lets go: when the build is renamed away to be
    // removed, else when the swap ends. No other swap of the folder removes it meanwhile.
    void HoldBuild(std::function<void()> letGo);
    // Links into the build folder every entry of the folder held that it lacks, but those
    // named in `own`, so that what was kept beside the earlier content stays whichever of
    // the two a kill leaves. False when one cannot be carried, or the folder cannot be
    // listed: errno says why, `failure` names it.
    bool KeepEntriesBeside(const std::vector<std::string>& own, TTreeFailure& failure);

    // Whether the earlier folder aside is there and was made by another user, who may put
    // any folder at its name: it is never taken for this user's.
    bool RetiredByAnotherUser() const;

    // Puts the build folder in the folder's place: in place of the held folder, else only
    // where nothing is; the earlier folder is removed. False, with the errno of the call
    // that failed, when it could not (ESTALE: another folder or a link stood at one of the
    // names meanwhile; EPERM: another user's file or link stands at the mark's name, and
    // stays, LeftToItsOwner): the folder is then as it was, or aside for the next
    // MendLeftovers to put back.
    bool PutInPlace();
    // Removes the build folder, given up.
    void DropBuild();

private:
    // 0 where the folder open as `folder` stands at `name` in the parent; ESTALE where
    // something else or nothing does; errno's number where it cannot be looked at.
    int NotAt(const std::string& name, const TFolder& folder) const;
    // Renames `from` to `to` in the parent (or into `into`) while `folder` stands at `from`,
    // in its place (PutFolderInPlace) or by a plain rename, and undoes it when `folder` is
    // not at `to` afterwards: 0, or errno's number (ESTALE when something else stood there).
    int Move(const std::string& from, const std::string& to, const TFolder& folder, bool inPlace,
             const TFolder* into = nullptr);
    // Removes the hidden folder `name` when no other program holds it (Busy while one
    // does) and this user made it (AnotherUsers otherwise, told by the folder opened);
    // Failed when it cannot be locked or cannot even be renamed away.
    TMend RemoveHidden(const std::string& name);
    // Renames `folder`, which stands at `name` and which this process holds, into a private
    // folder made for it under a name of its own, lets the hold go and removes both then,
    // when no descriptor of this program is open in it. One that cannot be renamed is
    // removed where it is once the hold is let go; one that cannot be removed stays, in its
    // private folder, for a later swap to remove. False (errno set) when the folder is still
    // at `name`.
    bool Discard(const TFolder& folder, const std::string& name, const std::function<void()>& letGo);
    // Removes what a Discard left at `name` (".<name>.batch-gone.*"), when it shows as that.
    void RemoveLeftover(const std::string& name);
    // Puts the build folder in place of the held folder; the name where the earlier folder
    // is then, or empty (errno set) when the build is not in place.
    std::string Replace();
    // Whether the folder in place is the one a swap put there in place of the one aside, by
    // a mark this user made; none, errno saying why, when the swap's mark could not be read
    // or what stands at either name could not be looked at.
    std::optional<bool> PutInPlaceOfRetired() const;
    // Removes what stands at the mark's name, never followed, where this user made it:
    // Done, or Failed (errno set); AnotherUsers (EPERM) where another user did, who may put
    // any file or link there: it stays, LeftToItsOwner naming it.
    TMend RemoveMark();
    // Writes the mark of a swap in progress, never through a link at its name nor into a
    // file another program put there; false, errno set, when it cannot (EPERM: another
    // user's stands there, RemoveMark).
    bool WriteMark();
    // The names of the swap in the parent: the folder's, the build folder's, the earlier
    // folder's aside, the start of those of folders on their way out (".<name>.batch-gone."),
    // and the mark of a swap in progress (".<name>.batch-swap": the identities of the build
    // folder and of the earlier folder it replaces).
    std::string m_name, m_buildName, m_retiredName, m_goneName, m_markName;

    std::string m_folder, m_build, m_retired;
    TFolder m_parent, m_held, m_buildFolder;
    int m_parentError = 0;
    TFolderLock m_folderLock;
    std::function<void()> m_letGoBuild;
    TLeft m_left;
};

}  // namespace vx
