#pragma once
// Changes several files of one folder as one: files replaced by new ones and files
// removed. Each new file is written in full first, in the folder's work folder (a hidden
// folder inside it, on the same file system; TAtomicFile begun with the transaction puts
// it there). Commit() then records the planned renames and removals in a journal in the
// work folder, makes them and removes the journal. A process killed at any moment leaves
// either the old files (there is no journal yet; the staged files are mere leftovers in
// the work folder) or a journal, which Recover() completes: the new files.
//
// The folder and its work folder are each opened once, and every name in them is made,
// renamed, synced and removed through their descriptors: the work folder is opened
// without following a link, so that a link, file or FIFO another user who may write the
// folder puts at its name is never written, read or emptied through, and one put there
// later leads nothing elsewhere.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/TFolder.h"
#include "platform/TRights.h"

namespace vx {

class TFile;

class TFileTransaction {
public:
    // A call of a change that failed, on the path a failure names.
    enum class TCall {
        Write,           // a staged file or the journal could not be written (or was in the way)
        WriteWorkFolder, // the work folder could not be made, or take a staged file
        Rename,         // a staged file could not be put in place over its target
        Remove,         // a file to remove could not be removed
        SyncFolder,     // the folder's entries could not be put on the disk
        RemoveJournal,  // the journal of the change could not be removed
        Read,           // a file to copy could not be read to its end
    };

    // A change of the files of `folder`, opened at its path (the links on the way followed
    // as the path gives them).
    explicit TFileTransaction(std::string folder);
    // A change of the files of the folder open as `opened` (the project folder a hold
    // keeps), whatever stands at its path `folder` by now; one not open (errno saying why)
    // makes every change fail with that error.
    TFileTransaction(std::string folder, TFolder opened);
    ~TFileTransaction();
    TFileTransaction(const TFileTransaction&) = delete;
    TFileTransaction& operator=(const TFileTransaction&) = delete;

    // The hidden folder inside `folder` that holds the staged files and the journal, and
    // its name.
    static std::string WorkFolderOf(const std::string& folder);
    static const char* WorkFolderName();
    // "the work folder <work> could not be written", with `notDone` ("could not", "cannot").
    static std::string WorkFolderNotWrittenText(const std::string& work, const std::string& notDone);
    // "work folder <work> is a symbolic link, not a folder" (to follow "the" or "its") where
    // something other than a folder stands at the work folder's name in `folder` (never
    // followed): a file, a FIFO...; empty where a folder or nothing stands there.
    static std::string WorkFolderInTheWayText(const TFolder& folder);
    // Why the work folder could not be written for `error` (FailedError()), to follow a
    // message: WorkFolderNotWrittenText with the reason, and whom to ask where it is another
    // user's and this user may not write it; where something other than a folder stands at
    // its name, WorkFolderInTheWayText and that removing it lets the project be saved.
    std::string WhyWorkFolderNotWritten(int error, const std::string& notDone) const;
    static std::string JournalPathOf(const std::string& folder);
    // Yes when something stands at the journal's name in the work folder of `folder`; a
    // link, file or FIFO at the work folder's name is none, and holds none, nor does a work
    // folder this user may not search. Failed (errno set) when it cannot be looked at.
    [[nodiscard]] static TFolder::THas HasJournal(const TFolder& folder);
    // What a journal records of the staged file at `path` ("size:checksum"); empty when it
    // cannot be read. Tools that write journals (the fuzz targets) take it from here.
    static std::string StagedFileIdentity(const std::string& path);
    const std::string& Folder() const { return m_folder; }
    // The folder as it was opened.
    const TFolder& Handle() const { return m_dir; }
    // The work folder, opened, and made where missing with the folder's rights, group and
    // owner (given on its descriptor); null when it cannot be (FailedPath() names it;
    // FailedError() is ENOTDIR where something other than a folder stands at its name).
    const TFolder* WorkFolder();

    // Takes a complete, closed staged file that is to replace target (TAtomicFile hands
    // it over); it is removed unless Commit() puts it in place. A file that is replaced
    // need not be removed: a removal of target planned before is dropped.
    void Adopt(const std::string& tempPath, const std::string& target);
    // Removes target once every new file is in place (a file already gone is no error).
    void Remove(const std::string& target);
    // Gives up the change planned for target: its staged file is removed.
    void Discard(const std::string& target);
    // The staged file that is to replace target; empty when there is none.
    std::string StagedFileOf(const std::string& target) const;
    // Opens to read (TFile::Open) the file staged to replace target, through the descriptor
    // of the work folder it was staged in, whatever stands at that folder's name by now; where
    // it is gone from there, in the work folder of the folder at the path now (a copy put in
    // its place), only where that folder and its work folder are this user's, never reached
    // through a link, and the file there holds what was staged (its size and checksum, as
    // the journal records them). False (ENOENT) where none is staged for it, or none of these
    // serves.
    bool OpenStagedFile(const std::string& target, TFile& file) const;
    // Yes while the file staged at `temp` (a path StagedFiles gives) is still in the work
    // folder it was staged in; Failed (errno set) when it cannot be looked at.
    [[nodiscard]] TFolder::THas HasStagedFile(const std::string& temp) const;
    // Each staged file with the target it is to replace.
    std::vector<std::pair<std::string, std::string>> StagedFiles() const;
    // The files this transaction is to remove.
    const std::vector<std::string>& Removals() const { return m_removals; }
    // Makes the changes planned in `pending`, a transaction of the same folder that is not
    // committed itself, together with this one's. Where this one removes a file as well,
    // its removal stands and the file `pending` staged for it goes; where both stage a new
    // file for one target, the commit fails (nothing changes) unless this one TakesOver()
    // that target.
    // Until this one's journal is written `pending` keeps its changes (an Abort() of this
    // one leaves them); from then on they are this one's, and `pending` is left empty. A
    // transaction of another folder is not included.
    void Include(TFileTransaction& pending);
    // This transaction's new file for target replaces the one an included transaction
    // staged for it (it was made from that file, or knowingly over it).
    void TakeOver(const std::string& target);
    // A staged file that could not be written (or the work folder, with WriteWorkFolder, or
    // the file it copies, with Read): the first such failure is kept for FailedPath(),
    // FailedError() and FailedCall().
    void NoteFailure(const std::string& path, int error, TCall call = TCall::Write);
    // New files staged in the transaction that replace none take the rights of the file at
    // `path` (the project's file): who may read the project may read all of it. A file that
    // replaces another keeps that one's.
    // That file is read through the folder's descriptor where it lies in the folder.
    void NewFilesTakeRightsOf(const std::string& path)
    {
        m_newFilesLike = path;
        m_newFilesIn.Close();
        m_newFilesRightsRead = false;
    }
    // The same for the file `name` of the folder open as `folder` (an earlier project's a
    // build replaces), read through its descriptor whatever stands at its path by then.
    void NewFilesTakeRightsOf(const TFolder& folder, const std::string& name);
    const std::string& NewFilesLike() const { return m_newFilesLike; }
    // The rights of that file, read once for all the new files of the transaction.
    TRights::TFound NewFilesRights(TRights& rights);
    // True when nothing is planned (included transactions are not counted).
    bool IsEmpty() const { return m_renames.empty() && m_removals.empty(); }
    // Asks `check` before the journal is put in the work folder, where another program that
    // takes the folder would complete it, and again once it is there and on the disk, just
    // before the first file is put in place: false refuses the change (Refused()), and the
    // journal goes again, so that nothing is changed; the staged files stay where they are,
    // as LetGo() leaves them. The check says why itself.
    void CheckBeforeRenames(std::function<bool()> check) { m_check = std::move(check); }
    // True when the last Commit() was refused by that check. Its journal was removed for
    // good unless FailedPath() names the journal or the work folder: then the journal, or
    // its removal, is not surely gone from the disk (FailedCall() says which), and whoever
    // opens the folder next may complete the change.
    bool Refused() const { return m_refused; }
    // Puts every adopted file in place and removes the files to remove. False when
    // nothing changed (the files are as they were) or, rarely, when a rename, a removal
    // or the final flush to the disk failed after the journal was written: the journal
    // then stays, and the next Recover() completes it. FailedPath() and FailedError()
    // name the file concerned and the system's error number.
    bool Commit();
    // Removes the adopted files and lets go of the included transactions; the targets
    // stay as they were.
    void Abort();
    // Gives up every planned change without removing the staged files: they lie in a
    // folder that is not this program's to change any more.
    void LetGo();
    // The folder, with its work folder, was renamed or moved to `folder`: the staged files
    // and the targets are taken where they are now.
    void MovedTo(const std::string& folder);
    const std::string& FailedPath() const { return m_failedPath; }
    int FailedError() const { return m_failedError; }
    // The call that failed on FailedPath().
    TCall FailedCall() const { return m_failedCall; }
    // True when a failed Commit() left its journal to be completed later.
    bool LeftJournal() const { return m_leftJournal; }
    // True when a Commit() that left its journal had made every rename and removal first:
    // the new files are in place, and only putting them on the disk for sure or removing
    // the journal is left to do.
    bool LeftOnlyTheJournal() const
    {
        return m_leftJournal && (m_failedCall == TCall::SyncFolder || m_failedCall == TCall::RemoveJournal);
    }

    enum class TRecovery { None, Completed, Damaged };
    // Why a journal was not completed: it is damaged (Unreadable); a new file it puts in
    // place is lost (neither staged nor surely in place); the folder does not take the
    // change now (it cannot be written, or a folder is in the way); the system failed to
    // give the journal (NotRead), which may be whole; or another user made the journal or a
    // file it puts in place (AnotherUsers), whose change is theirs to complete. `path` is the
    // file or folder concerned, `error` the system's error number (0 when none).
    struct TRecoveryFailure {
        enum class TKind { Unreadable, Lost, Unwritable, NotRead, AnotherUsers };
        TKind kind = TKind::Unreadable;
        std::string path;
        int error = 0;
        TCall call = TCall::Write;  // for Unwritable: the call that failed
        uid_t owner = 0;            // for AnotherUsers: the user who made `path`
    };
    // Completes the renames and removals of a journal left by an interrupted Commit()
    // and removes it, where this user made the journal and every staged file it puts in
    // place (TFolder::MadeByThisUser): another user's change is never made with this
    // user's rights, and nothing changes (AnotherUsers). Damaged: the journal is not completed (why in *failure); every
    // entry is checked before any is made, so the files stay as they are unless the
    // system fails part way, and the journal stays to be completed later; so it does when
    // the disk fails (EIO) to sync the folder once every entry is made. Reads the journals
    // of earlier versions too, whose staged files lie beside their targets.
    // The journal is the one in the work folder of `folder`, reached through the folder's
    // descriptor; with `earlierJournal`, the journal of earlier versions of that name in
    // the folder itself. Something other than a folder at the work folder's name holds no
    // journal of this program's (None): it is never read, completed or emptied through.
    static TRecovery Recover(const TFolder& folder, TRecoveryFailure* failure = nullptr,
                             const std::string& earlierJournal = std::string());
    // The same for the journal in `work`, the work folder opened from `folder`, which the
    // caller keeps for what it does there next.
    static TRecovery Recover(const TFolder& folder, const TFolder& work, TRecoveryFailure* failure = nullptr);
    // The same for the journal at `journalPath`, its folder opened by its path.
    static TRecovery Recover(const std::string& journalPath, TRecoveryFailure* failure = nullptr);

    // Fault injection for tests: while set, putting a folder's entries on the disk fails
    // (as on a failing disk).
    static void FailFolderSyncs(bool fail);

private:
    struct TRename {
        std::string temp, target;
        std::string content;  // its size and checksum as the journal records them; empty where unread
    };
    bool Fail(const std::string& path, int error, TCall call);
    // Opens the work folder where it is not open yet, making it when `make` is set and it
    // is missing; false when it is not open then (noted as a failure when `make` is set).
    bool OpenWorkFolder(bool make);
    // The folder whose descriptor reaches the file NewFilesLike() names; null where it is
    // reached by its path.
    const TFolder* NewFilesFolder() const;

    std::string m_folder;
    TFolder m_dir;       // the folder, opened once
    int m_openError = 0;  // why m_dir is not open
    TFolder m_work;      // its work folder, once opened
    std::vector<TRename> m_renames;
    std::vector<std::string> m_removals;
    std::vector<std::string> m_takenOver;
    std::vector<TFileTransaction*> m_included;  // not owned
    std::string m_newFilesLike;  // see NewFilesTakeRightsOf
    TFolder m_newFilesIn;        // the folder it lies in, where given
    bool m_newFilesRightsRead = false;
    TRights::TFound m_newFilesFound = TRights::TFound::NotThere;
    TRights m_newFilesRights;
    std::string m_failedPath;
    int m_failedError = 0;
    TCall m_failedCall = TCall::Write;
    bool m_leftJournal = false;
    std::function<bool()> m_check;
    bool m_refused = false;
};

}  // namespace vx
