#pragma once
// The project folder as an open project holds it: the folder, known by its identity
// wherever it is moved; its lock; the journal of its changes; and the new files that wait
// for the next project file. Every change of the folder begins here, and only while the
// folder at the project's path is the one held with its lock: never in a folder moved,
// removed or replaced by a copy, and, after its lock file was removed (a cleaning tool, a
// sync client), only when no other program changed the project, nor removed the files
// this program keeps in its work folder, before the lock was taken again. A folder that
// cannot be written (its permissions, read-only media), or whose file system offers it no
// lock, is opened without a lock, and nothing in it is changed.
//
// The project gives the path and name it has for the folder with each call. A hold that
// never took a folder (a project made in memory) lets it change freely.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/TStateFile.h"
#include "platform/Files.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolder.h"
#include "platform/TFolderLock.h"

class TFolderHold {
public:
    TFolderHold();
    // Gives up the waiting files (removed only where the folder is held) and the lock.
    ~TFolderHold();
    TFolderHold(const TFolderHold&) = delete;
    TFolderHold& operator=(const TFolderHold&) = delete;

    enum class TPurpose { Open, Create };
    // Takes the folder of the project `name` for an open or a create: its lock, then the
    // completion of a change that a killed process left half done there, and of a Save As
    // it interrupted. False, after saying why ("The project q cannot be opened: ..." or
    // "... cannot be created: ..."), holding nothing: another program or another project
    // of this run has the folder, its lock file cannot be taken, or an unfinished change
    // cannot be completed. An open of a folder that cannot be written, or cannot be locked
    // because its file system offers no lock (saying so), goes on without the lock unless a
    // journal waits there.
    // With `made`, the folder is the one open there, just made for a create: its lock is
    // taken on it, never on whatever stands at its path, which must still name it; being
    // new, it holds no change to complete.
    bool Take(const std::string& folder, const std::string& name, TPurpose purpose, const vx::TFolder* made = nullptr);
    // Takes the lock of the folder a Save As writes to (or of `made`, as Take), saying
    // nothing: Held, or what stands in the way (described by WhyNotLocked).
    vx::TFolderLock::TResult Lock(const std::string& folder, const vx::TFolder* made = nullptr);
    // The folder held, opened through its lock and named `folder` (wherever its path leads
    // by now); not open, errno set, while none is held.
    vx::TFolder Folder(const std::string& folder) const { return m_lock.Folder(folder); }
    // The lock of `folder` could not be taken for `result`: why, to follow "its folder" or
    // "That folder" ("cannot be locked, because its lock file ... is a FIFO, not a file",
    // "cannot be written: ..."). The one wording of every result but those of a folder
    // another program or project has open (TFolderLock::TOffer::Busy), which each command
    // words in its own sentence; the second form for a lock not of a hold.
    std::string WhyNotLocked(vx::TFolderLock::TResult result, const std::string& folder) const;
    // Why a folder taken without a lock cannot be changed, as WhyNotLocked words it; empty
    // while the folder is held or was never taken.
    std::string WhyReadOnly(const std::string& folder) const;
    // Why `folder` cannot be opened or entered, `error` being what its open gave, as
    // WhyNotLocked words an unreachable folder ("... does not exist", "... cannot be
    // reached, because you may not enter /a. Ask its owner, u, to let you in").
    static std::string WhyFolderUnreachable(const std::string& folder, int error);
    static std::string WhyNotLocked(const vx::TFolderLock& lock, vx::TFolderLock::TResult result,
                                    const std::string& folder);
    // Why another program's lock keeps `folder` where the lock file it holds is shared with
    // a copy of the folder through hard links (TFolderLock::LockFileSharing): "<lockFile>
    // /p/.vexara.lock is shared, through hard links, with a copy of the folder that another
    // program has open. Remove /p/.vexara.lock to <toDo>: the program makes a new one",
    // `lockFile` naming it ("its lock file"); empty where the file has no other name. The
    // second form for a lock not of a hold.
    std::string WhyLockFileShared(const std::string& folder, const std::string& lockFile,
                                  const std::string& toDo) const
    {
        return WhyLockFileShared(m_lock, folder, lockFile, toDo);
    }
    static std::string WhyLockFileShared(const vx::TFolderLock& lock, const std::string& folder,
                                         const std::string& lockFile, const std::string& toDo);
    // An open that failed gives the folder back as it found it: a lock file this hold made
    // is removed by the lock while it is still held, and the lock is let go.
    void ReleaseAfterFailedOpen(const std::string& folder);
    // The project moved to another folder (Save As): the lock is let go, and the undo states
    // left in this folder's work folder go when no other program holds it (RemoveStateFile).
    void LetGo();

    // True while the lock is held through the lock file now at `folder`.
    bool Holds(const std::string& folder) const;
    // True for a folder taken without a lock because it cannot be written or locked.
    bool IsReadOnly() const { return m_state == TState::ReadOnly; }

    // Keeps the held folder for a change of it: true when the folder at `folder` is the
    // one held, with its lock (a lost lock file is made and taken again when the project
    // file and the journal are as this hold last read or wrote them, and the undo states and
    // waiting files this program keeps in the work folder are there). False after saying
    // why: the folder was moved, removed or replaced, another program took its lock or
    // changed the project meanwhile, or it cannot be written. Kept files that another
    // program removed are named and given up, so that later changes go on without them.
    bool KeepForChange(const std::string& folder, const std::string& name);
    // A change of the folder, after KeepForChange; null when that refused. Its commit asks
    // KeepForChange again just before its files are put in place (GuardCommit).
    std::unique_ptr<vx::TFileTransaction> BeginChange(const std::string& folder, const std::string& name);
    // Makes the commit of `change` keep the folder once more, by KeepForChange's rule, once
    // its journal is written and just before its files are put in place: a lock file lost
    // while the staged files were read (where only the lock file holds the folder, NFS)
    // lets no other program change the folder at the same time.
    void GuardCommit(vx::TFileTransaction& change, const std::string& folder, const std::string& name);
    // The files written for the project that no project file lists yet (TProject::NewFiles):
    // begun as BeginChange on first use, and kept for the folder on every later one.
    vx::TFileTransaction* NewFiles(const std::string& folder, const std::string& name);
    // The waiting files; null while none were begun.
    vx::TFileTransaction* WaitingFiles() const { return m_newFiles.get(); }
    // Gives up the waiting file staged for that path (removed where the folder is held).
    void DiscardNewFile(const std::string& path);
    // The waiting file staged for that path, else the path itself: where a file of the
    // project is read now, to name it.
    std::string PathToRead(const std::string& path) const;
    // Opens the file at `path` to read (TFile::Open): the waiting file staged for it through
    // the work folder's descriptor, never through what stands at the work folder's name (a
    // link there leads to no file of another folder); else the file of that name in the
    // held folder, through its descriptor while the folder stands at its path (else in a
    // copy put there that is this user's own), or in the folder of the path where it is not
    // the held one. A link at its name is followed only by the folder's rule
    // (TFile::kTrustedLink): another user who may write the folder cannot lead a read of
    // the project's files, and its copies and saves, to a file only this user may read.
    bool OpenToRead(const std::string& path, vx::TFile& file) const;
    // While an open reads the project (from its Take to its end), its reads go through the
    // folder it holds without asking each time whether that folder still stands at its
    // path: it is the folder the open locked, whose files are the project's.
    void SetOpening(bool opening) { m_opening = opening; }
    // Gives up every waiting file, removing them only where the folder is held.
    void DropNewFiles();
    // A change of `folder` is made, or decided with its journal left: the project file of
    // `name` and the journal are as this program wrote them.
    void NoteChangeMade(const std::string& folder, const std::string& name);
    // Where the folder held at `folder` is now, when it was renamed or moved on its disk
    // (the waiting files follow it there); empty when it was not, or cannot be found.
    std::string FollowMovedFolder(const std::string& folder);
    // Removes what interrupted writes and undo states of earlier runs left in the work
    // folder, and nothing else; only while the folder's lock is held.
    void RemoveLeftoverFiles(const std::string& folder);

    // A save under another folder notes in the work folder of `folder` where it writes (and
    // what it made there) until it is done: a program killed meanwhile leaves the note, and
    // the next open completes or takes back what the save left in that folder. Only the
    // holder of the folder's lock writes it, through the work folder's descriptor, private
    // to this user, with the identities of the held folder and of `target`, the folder the
    // save writes to: an open trusts a note only when it is this user's, names the folder
    // opened, and names a folder that still has the identity noted.
    static std::string SaveAsNotePath(const std::string& folder);
    bool NoteSaveAs(const std::string& folder, const vx::TFolder& target, bool madeFolder, bool madeWork,
                    bool madeLock) const;
    // Removes the note of the held folder at `folder` once the save is done or taken back.
    void DropSaveAsNote(const std::string& folder) const;
    // The journal of a project's saves as earlier versions wrote it beside the project file.
    static std::string OldSaveJournalPath(const std::string& folder, const std::string& name);

    // Where the undo states of the project in the held folder go: `work`, its work folder as
    // a change of the folder opened it (through the held folder's descriptor, never through
    // a link at its name; all of a folder not taken, a project of no lock), shared by the
    // states made there while it stays the one there. Not open, errno set, when no
    // descriptor of it can be had.
    TStateFile StateFolder(const vx::TFolder& work);
    // The system's temporary folder, for the states of a project without a folder.
    static TStateFile TempStateFolder();
    // Removes an undo state file, through the descriptor of its folder (which follows a
    // folder renamed or moved aside for a copy put in its place, never the copy), where no
    // other program may be using that folder: the system's temporary folder, a folder no
    // hold of this run took, a folder a hold of this run holds with its lock, or one a hold
    // let go of (Save As) while no program holds it. Never in a folder another program has
    // open.
    static void RemoveStateFile(const TStateFile& state);
    // An undo state file was written: a folder whose lock file was lost is taken again only
    // while the state is still there (KeepForChange).
    static void KeepStateFile(const TStateFile& state);

    // What the call of a change that failed on `path` did not do, with "could not" or
    // "cannot" (`notDone`): "/p/a could not be replaced", "the folder /p could not be
    // synced to the disk"; a file to copy that failed to be read "cannot be read to its end".
    static std::string FailedCallText(const std::string& path, vx::TFileTransaction::TCall call,
                                      const std::string& notDone);
    // Tells the user when a change refused at its last look at the folder (whose check has
    // said why) could not remove its journal for good: whoever opens the folder next may
    // complete it.
    static void ReportRefusedJournalKept(const vx::TFileTransaction& transaction);

private:
    enum class TState {
        Untaken,   // no folder taken: a project made in memory, or an open that failed
        Held,      // the folder's lock is held (its lock file may have been lost since)
        ReadOnly,  // taken without a lock: the folder cannot be written
        LetGo      // held until a Save As moved the project elsewhere
    };
    // The work folder of the held folder at `folder`, reached through a descriptor of the
    // folder that is checked to be the one held, never through a link; not open, errno set,
    // when it cannot be opened (ENOENT: there is none).
    vx::TFolder OpenWorkFolder(const std::string& folder) const;
    // KeepForChange for a commit whose journal is written: that journal is its own.
    bool KeepForCommit(const std::string& folder, const std::string& name);
    // True while the project file and the journal are as NoteChangeMade saw them.
    bool IsAsLastSeen() const;
    // True where the waiting files may be removed: their folder is held, or none was taken.
    bool MayRemoveWaitingFiles() const;
    // What of the undo states and waiting files kept in the held folder's work folder is
    // gone or replaced, in words; empty when nothing is.
    std::string LostKeptFiles() const;
    // Gives those up: the lost states are no longer looked for, and the waiting files are
    // dropped without removing any.
    void ForgetLostKeptFiles();

    vx::TFolderLock m_lock;
    TState m_state = TState::Untaken;
    // The note of an interrupted Save As waits for a later open (TOpenRecovery):
    // it is no leftover for RemoveLeftoverFiles.
    bool m_saveAsWaits = false;
    // The work folder an open found, kept until it empties it (RemoveLeftoverFiles).
    vx::TFolder m_work;
    // The held folder, named as the project names it, through which its files are read
    // (OpenToRead); opened once for all of them.
    vx::TFolder m_files;
    // Why a folder taken ReadOnly was not locked: ReadOnly or NoLocks.
    vx::TFolderLock::TResult m_readOnly = vx::TFolderLock::TResult::Held;
    vx::TFileIdentity m_identity;  // the folder's, once held
    bool m_opening = false;        // SetOpening
    // Where the folder was when LetGo let it go: its undo states are removed while no
    // program holds it (RemoveStateFile).
    std::string m_leftAt;
    // The work folder the undo states are made in (StateFolder); null until the first.
    std::shared_ptr<const vx::TFolder> m_stateFolder;
    std::unique_ptr<vx::TFileTransaction> m_newFiles;  // null while none were begun
    // The project file and the journal as this program last read or wrote them: names in
    // the held folder and in its work folder.
    struct TSeen {
        bool inWork = false;
        std::string name;
        std::optional<vx::TFileStamp> stamp;
    };
    std::vector<TSeen> m_seen;
    // Stamps each of `seen` as it stands now, reached through the held folder's descriptor,
    // never through a link at the work folder's name.
    // `held`: the folder held as the open has it, with the work folder it found (m_work);
    // else both are opened anew.
    void StampNow(std::vector<TSeen>& seen, const vx::TFolder* held = nullptr) const;
    // NoteChangeMade, through the folders the open has (StampNow).
    void NoteChangeMade(const std::string& folder, const std::string& name, const vx::TFolder* held);
};
