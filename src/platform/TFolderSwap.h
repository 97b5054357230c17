#pragma once
// A folder replaced whole by another: the new content is built in a hidden folder beside
// it and put in its place in one step, an earlier folder there going with that step.
// Where the file system cannot exchange two folders, the earlier folder first steps aside
// to a second hidden folder; a process killed between the two renames leaves it there,
// and the next swap of the folder puts it back. Only a swap makes the two hidden folders:
// ".<name>.batch" for the build and ".<name>.batch-old" for the earlier folder aside.
//
// The swap holds the lock (TFolderLock) of the folder it replaces and of its build folder
// from the first look at them to the end, so that another program's swap of the same
// folder neither removes nor replaces them meanwhile. A folder is removed only once no
// descriptor of this program is open in it: it is first renamed, under its lock, to a
// name of its own (".<name>.batch-gone.*"), and removed after the lock is let go. A file
// system that keeps a removed open file as a hidden file (FUSE, NFS) would otherwise keep
// the folder; one that cannot be removed even so is removed by a later swap.
#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/TFolderLock.h"

namespace vx {

class TFolderSwap {
public:
    explicit TFolderSwap(const std::string& folder);
    ~TFolderSwap();
    TFolderSwap(const TFolderSwap&) = delete;
    TFolderSwap& operator=(const TFolderSwap&) = delete;

    // Where a swap of `folder` puts its earlier content aside (".<name>.batch-old" beside it).
    static std::string RetiredFolderOf(const std::string& folder);

    const std::string& Folder() const { return m_folder; }
    const std::string& BuildFolder() const { return m_build; }
    const std::string& RetiredFolder() const { return m_retired; }

    // Takes the lock of the folder at the folder's path, the earlier content to replace;
    // it is held until the swap ends.
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
        Unlisted  // the folder's parent could not be listed (errno says why): nothing was mended
    };
    // Mends what a swap killed on its way left, before a new content is built: an earlier
    // folder aside while nothing is at the folder's path is the folder's content, and is put
    // back (and held from then on); a build folder is removed, and so is an earlier folder
    // aside once the folder in place is the one a swap put there in its place. An earlier
    // folder aside beside any other folder is kept (RetiredFolder() is then there). Neither
    // is ever removed while another program holds it.
    TMend MendLeftovers();

    // Holds the build folder until it is in place or removed, through the hold its maker
    // took there (its lock), which `letGo` lets go: when the build is renamed away to be
    // removed, else when the swap ends. No other swap of the folder removes it meanwhile.
    void HoldBuild(std::function<void()> letGo);
    // Links into the build folder every entry of the folder that it lacks, but those named
    // in `own`, so that what was kept beside the earlier content stays whichever of the two
    // a kill leaves. False when one cannot be carried, or the folder cannot be listed:
    // errno says why, `failure` names it.
    bool KeepEntriesBeside(const std::vector<std::string>& own, TTreeFailure& failure);

    // Puts the build folder in the folder's place: in place of the held folder, else only
    // where nothing is; the earlier folder is removed. False, with the errno of the call
    // that failed, when it could not: the folder is then as it was, or aside for the next
    // MendLeftovers to put back.
    bool PutInPlace();
    // Removes the build folder, given up.
    void DropBuild();

private:
    // Removes a hidden folder of this swap that no other program holds (Busy while one
    // does); Failed when it cannot be locked or cannot even be renamed away.
    TMend RemoveHidden(const std::string& folder);
    // Puts the build folder in place of the held folder; where the earlier folder is then,
    // or empty (errno set) when the build is not in place.
    std::string Replace();
    // Whether the folder in place is the one a swap put there in place of `aside`; none,
    // errno saying why, when the swap's mark could not be read.
    std::optional<bool> PutInPlaceOf(const std::string& aside) const;
    // The start of the names of folders on their way out: ".<name>.batch-gone.".
    std::string GonePrefix() const;
    // The mark of a swap in progress (".<name>.batch-swap"): the identities of the build
    // folder and of the earlier folder it replaces.
    std::string MarkFile() const;

    std::string m_folder, m_build, m_retired;
    TFolderLock m_folderLock;
    std::function<void()> m_letGoBuild;
};

}  // namespace vx
