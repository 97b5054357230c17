#include "model/TFolderHold.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <mutex>
#include <set>

#include "model/TOpenRecovery.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/TFolder.h"
#include "platform/TFolderSwap.h"

namespace {

// The holds alive in this process, for the removal of undo states: those of open projects,
// and those their Save As let go of.
std::mutex g_holdsMutex;
std::set<const TFolderHold*>& LiveHolds()
{
    static std::set<const TFolderHold*> holds;
    return holds;
}

// The undo states this process keeps, by their folder's identity and name, with the
// identity each file was written with.
struct TKeptState {
    TStateFile state;
    vx::TFileIdentity file;
};
std::map<std::pair<vx::TFileIdentity, std::string>, TKeptState>& KeptStates()
{
    static std::map<std::pair<vx::TFileIdentity, std::string>, TKeptState> states;
    return states;
}

// The identity of what stands at `name` in `folder`, a link not followed.
std::optional<vx::TFileIdentity> IdentityIn(const vx::TFolder& folder, const std::string& name)
{
    struct stat st {};
    if (folder.Stat(name, st) != 0)
        return std::nullopt;
    return vx::TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool IsLost(const TKeptState& kept)
{
    return IdentityIn(*kept.state.folder, kept.state.name) != kept.file;
}

std::string LockFileOf(const std::string& folder)
{
    return vx::JoinPath(folder, vx::TFolderLock::FileName());
}

// Why `folder` cannot be opened or entered (`error` from the lock), to follow "its folder"
// or "That folder": the first folder on the way that is missing, is not a folder, or may
// not be entered, and whom to ask.
std::string WhyUnreachable(const std::string& folder, int error)
{
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string path = folder.substr(0, end);
        const bool whole = end == std::string::npos || path == vx::FolderOf(folder + "/x");
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno != ENOENT)
                break;
            // A batch run killed while it replaced the project left it aside, with nothing in
            // its place; the next run puts it back.
            const std::string aside = vx::TFolderSwap::RetiredFolderOf(folder);
            if (whole && vx::FolderExists(aside))
                return folder + " does not exist: a batch run was interrupted while it replaced the project, "
                                "which waits in " + aside + "; the next batch run of the study into " +
                       vx::FolderOf(folder) + " puts it back";
            return folder + " does not exist";
        }
        if (!S_ISDIR(st.st_mode))
            return whole ? folder + " is not a folder"
                         : folder + " cannot be reached, because " + path + " is not a folder";
        if (::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) != 0)
            return (whole ? folder + " cannot be entered, because you may not search it"
                          : folder + " cannot be reached, because you may not enter " + path) +
                   ". Ask its owner, " + vx::TFolderLock::OwnerOf(path) + ", to let you in";
        if (whole)
            break;
    }
    return folder + " cannot be opened: " + vx::FileErrorReason(error);
}

}  // namespace

TFolderHold::TFolderHold()
{
    std::lock_guard<std::mutex> guard(g_holdsMutex);
    LiveHolds().insert(this);
}

TFolderHold::~TFolderHold()
{
    DropNewFiles();
    std::lock_guard<std::mutex> guard(g_holdsMutex);
    LiveHolds().erase(this);
}

std::string TFolderHold::FailedCallText(const std::string& path, vx::TFileTransaction::TCall call,
                                        const std::string& notDone)
{
    using TCall = vx::TFileTransaction::TCall;
    switch (call) {
    case TCall::Write: break;
    case TCall::WriteWorkFolder: return vx::TFileTransaction::WorkFolderNotWrittenText(path, notDone);
    case TCall::Rename: return path + " " + notDone + " be replaced";
    case TCall::Remove: return path + " " + notDone + " be removed";
    case TCall::SyncFolder: return "the folder " + path + " " + notDone + " be synced to the disk";
    case TCall::RemoveJournal: return "the journal " + path + " " + notDone + " be removed";
    case TCall::Read: {
        // In the words of the open that meets the file.
        const std::string text = vx::NotReadToEndText("the file", path);
        return text.substr(0, text.size() - 1);
    }
    }
    return path + " " + notDone + " be written";
}

void TFolderHold::ReportRefusedJournalKept(const vx::TFileTransaction& transaction)
{
    if (!transaction.Refused() || transaction.FailedPath().empty())
        return;
    std::string what = FailedCallText(transaction.FailedPath(), transaction.FailedCall(), "could not");
    what[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(what[0])));
    vx::Report(what + ": " + vx::FileErrorReason(transaction.FailedError()) +
                   ". The change that was not written may still be made by the next program that opens the project.",
               vx::ReportIcon::Exclamation);
}

std::string TFolderHold::OldSaveJournalPath(const std::string& folder, const std::string& name)
{
    return vx::JoinPath(folder, "." + name + ".tpj.journal");
}

vx::TFolderLock::TResult TFolderHold::Lock(const std::string& folder, const vx::TFolder* made)
{
    using TResult = vx::TFolderLock::TResult;
    const TResult result = made ? m_lock.Acquire(*made) : m_lock.Acquire(folder);
    m_seen.clear();
    m_saveAsWaits = false;
    const vx::TFolderLock::TOffer offer = vx::TFolderLock::OfferOf(result);
    const bool readOnly = offer == vx::TFolderLock::TOffer::ReadOnly;
    m_state = offer == vx::TFolderLock::TOffer::Change ? TState::Held : readOnly ? TState::ReadOnly : TState::Untaken;
    m_readOnly = readOnly ? result : TResult::Held;
    if (m_state == TState::Held)
        m_identity = m_lock.FolderIdentity();
    m_files = m_state == TState::Held ? m_lock.Folder(folder) : vx::TFolder();
    return result;
}

std::string TFolderHold::WhyNotLocked(vx::TFolderLock::TResult result, const std::string& folder) const
{
    return WhyNotLocked(m_lock, result, folder);
}

std::string TFolderHold::WhyNotLocked(const vx::TFolderLock& lock, vx::TFolderLock::TResult result,
                                      const std::string& folder)
{
    const std::string lockFile = LockFileOf(folder);
    switch (result) {
    case vx::TFolderLock::TResult::NotAFile:
        return "cannot be locked, because its lock file " + lockFile + " is " +
               vx::TFolderLock::WhatIsThereInstead(lockFile) + ", not a file";
    case vx::TFolderLock::TResult::Forbidden:
        // Another user's program may hold it: it is removed only once none does.
        return "cannot be locked, because you may not read its lock file " + lockFile + ". Ask its owner, " +
               vx::TFolderLock::OwnerOf(lockFile) + ", to let you read it, or remove it once no program has the "
               "project open";
    case vx::TFolderLock::TResult::ReadOnly: return "cannot be written: " + vx::FileErrorReason(lock.LastError());
    case vx::TFolderLock::TResult::NoLocks:
        if (lock.LastError() == EBADF)
            return "cannot be locked, because you may not write its lock file " + lockFile +
                   ", and its file system locks only files that may be written. Ask its owner, " +
                   vx::TFolderLock::OwnerOf(lockFile) + ", to let you write it";
        break;
    case vx::TFolderLock::TResult::Unreachable: return WhyUnreachable(folder, lock.LastError());
    default: break;
    }
    return "cannot be locked: " + vx::FileErrorReason(lock.LastError());
}

std::string TFolderHold::WhyLockFileShared(const vx::TFolderLock& lock, const std::string& folder,
                                           const std::string& lockFile, const std::string& toDo)
{
    using TSharing = vx::TFolderLock::TSharing;
    const std::string path = LockFileOf(folder);
    const std::string remove = " " + path + " to " + toDo + ": the program makes a new one";
    switch (lock.LockFileSharing()) {
    case TSharing::NotShared: break;
    case TSharing::WithAnOpenCopy:
        return lockFile + " " + path +
               " is shared, through hard links, with a copy of the folder that another program has open. Remove" +
               remove;
    case TSharing::WithACopy:
        // Without the folder's own lock it cannot be told which of the two is open.
        return lockFile + " " + path +
               " is shared, through hard links, with a copy of the folder, and another program has one of the two "
               "open. If it is the copy, remove" + remove;
    }
    return std::string();
}

std::string TFolderHold::WhyReadOnly(const std::string& folder) const
{
    return m_state == TState::ReadOnly ? WhyNotLocked(m_readOnly, folder) : std::string();
}

std::string TFolderHold::WhyFolderUnreachable(const std::string& folder, int error)
{
    return WhyUnreachable(folder, error);
}

bool TFolderHold::Take(const std::string& folder, const std::string& name, TPurpose purpose, const vx::TFolder* made)
{
    using TResult = vx::TFolderLock::TResult;
    const bool creating = purpose == TPurpose::Create;
    const auto refuse = [&](const std::string& why) {
        vx::Report("The project " + name + (creating ? " cannot be created: " : " cannot be opened: ") + why,
                   vx::ReportIcon::Exclamation);
        ReleaseAfterFailedOpen(folder);
        return false;
    };
    // Two programs in one folder would complete, replace and remove each other's files.
    const TResult lock = Lock(folder, made);
    const std::string earlierJournal = vx::FileNameOf(OldSaveJournalPath(folder, name));
    using TOffer = vx::TFolderLock::TOffer;
    switch (vx::TFolderLock::OfferOf(lock)) {
    case TOffer::Change:
        // The project reaches its folder by its path from here on.
        if (made && vx::FileIdentityOf(folder) != made->Identity())
            return refuse("its folder " + folder + " was moved, removed or replaced while it was made.");
        break;
    case TOffer::Busy: {
        const std::string shared =
            WhyLockFileShared(m_lock, folder, "its lock file", creating ? "create the project" : "open both at once");
        return refuse(lock == TResult::HeldHere ? "a project of its folder is open in this program already."
                      : shared.empty()          ? "another program has a project of its folder open."
                                                : shared + ".");
    }
    case TOffer::ReadOnly: {
        if (creating)
            return refuse("its folder " + WhyNotLocked(lock, folder) + ".");
        // Without the folder's lock a journal may be another program's change in progress:
        // it is left alone, and the project is not read half changed.
        const vx::TFolder::THas waits =
            TOpenRecovery::JournalWaits(vx::TFolder::Open(folder, vx::TFolder::kFollowLast), earlierJournal);
        if (waits == vx::TFolder::THas::Failed)
            return refuse("whether a save of it was interrupted cannot be told: its journal cannot be looked at: " +
                          vx::FileErrorReason(errno) + ".");
        if (waits == vx::TFolder::THas::Yes)
            return refuse(lock == TResult::ReadOnly
                              ? "a save of it was interrupted, and it cannot be completed because " + folder +
                                    " cannot be written: " + vx::FileErrorReason(m_lock.LastError()) +
                                    ". The project opens once it can be written."
                              : "a save of it was interrupted, and it cannot be completed because its folder " +
                                    WhyNotLocked(lock, folder) + ".");
        // The user is told why nothing of the project can be changed, and where its work goes.
        vx::Report("The project " + name + " opens, but no change of it can be written: its folder " +
                       WhyNotLocked(lock, folder) + ". Save Project As keeps the work in " +
                       (lock == TResult::NoLocks ? "a folder that can be locked." : "a new folder."),
                   vx::ReportIcon::Exclamation);
        return true;
    }
    case TOffer::Refused:
        if (lock == TResult::NotAFile)
            return refuse("its folder " + WhyNotLocked(lock, folder) + ". Remove it to " +
                          (creating ? "create" : "open") + " the project.");
        return refuse("its folder " + WhyNotLocked(lock, folder) + ".");
    }
    if (made) {
        NoteChangeMade(folder, name);
        return true;
    }
    // Only the folder held, and what stands in it: something other than a folder at the work
    // folder's name is never read through, completed nor emptied, and would keep every
    // change from being saved.
    const vx::TFolder held = m_lock.Folder(folder);
    m_work = held.OpenFolder(vx::TFileTransaction::WorkFolderName());
    if (const std::string inTheWay = m_work ? std::string() : vx::TFileTransaction::WorkFolderInTheWayText(held);
        !inTheWay.empty())
        return refuse("its " + inTheWay + ". Remove it to " + (creating ? "create" : "open") + " the project.");
    const TOpenRecovery recovery(held, m_work, folder, m_identity);
    if (const std::string why = recovery.CompleteJournals(earlierJournal); !why.empty())
        return refuse(why);
    m_saveAsWaits = recovery.FinishInterruptedSaveAs();
    NoteChangeMade(folder, name, &held);
    // Only an open empties it (RemoveLeftoverFiles), once the project is read.
    if (creating)
        m_work.Close();
    return true;
}

void TFolderHold::ReleaseAfterFailedOpen(const std::string& folder)
{
    m_work.Close();
    m_files.Close();
    if (m_state == TState::Held && m_lock.MadeLockFile())
        m_lock.RemoveLockFileAndRelease(folder);
    m_lock.Release();
    m_seen.clear();
    m_state = TState::Untaken;
}

void TFolderHold::LetGo()
{
    m_work.Close();
    m_files.Close();
    DropNewFiles();
    m_leftAt = m_state == TState::Held ? m_lock.FolderNow() : std::string();
    m_lock.Release();
    m_seen.clear();
    m_state = m_state == TState::Held ? TState::LetGo : TState::Untaken;
}

bool TFolderHold::Holds(const std::string& folder) const
{
    return m_state == TState::Held && m_lock.Holds(folder);
}

bool TFolderHold::KeepForChange(const std::string& folder, const std::string& name)
{
    using TResult = vx::TFolderLock::TResult;
    if (m_state == TState::Untaken || folder.empty())
        return true;
    if (m_state == TState::ReadOnly) {
        vx::Report("The folder " + folder + " of the project " + name +
                       (m_readOnly == TResult::NoLocks ? " cannot be locked, so nothing was written. Save Project As "
                                                         "keeps the work in a folder that can be locked."
                                                       : " cannot be written, so nothing was written. Save Project As "
                                                         "keeps the work in a new folder."),
                   vx::ReportIcon::Exclamation);
        return false;
    }
    if (m_state == TState::LetGo)
        return false;
    // The folder's own identity tells a folder moved away from one whose lock file alone
    // was removed (a cleaning tool, a sync client): that one is taken again, unless another
    // program changed the project while it was not locked.
    std::string lostFiles;
    bool projectChanged = false;
    const TResult kept = m_lock.Keep(folder, [&] {
        lostFiles = LostKeptFiles();
        projectChanged = !IsAsLastSeen();
        return lostFiles.empty() && !projectChanged;
    });
    if (kept == TResult::Held)
        return true;
    if (kept == TResult::Moved) {
        // A folder renamed or moved on its own disk is the held one again once it is back; a
        // copy of it (what a move to another disk leaves) is not.
        const std::string now = m_lock.FolderNow();
        vx::Report("The folder " + folder + " of the project " + name +
                       " was moved or removed while the project was open, so nothing was written. Save Project As "
                       "keeps the work in a new folder" +
                       (now.empty() ? std::string(".") : ", and so does moving the folder back from " + now + "."),
                   vx::ReportIcon::Exclamation);
        return false;
    }
    const std::string lockFile = LockFileOf(folder);
    const std::string lost = "The lock file " + lockFile + " of the project " + name + " was removed while the project "
                             "was open, and ";
    std::string why;
    switch (kept) {
    case TResult::HeldElsewhere: why = lost + "another program has taken the folder since"; break;
    case TResult::Changed:
        if (projectChanged) {
            why = lost + "another program has changed the project since";
            break;
        }
        // What was lost is given up, so that later changes and Save Project As go on with
        // what is left.
        why = lost + "another program has removed since what this program kept in " +
              vx::TFileTransaction::WorkFolderOf(folder) + " (" + lostFiles + ")";
        ForgetLostKeptFiles();
        break;
    case TResult::NotAFile:
        why = "The lock file " + lockFile + " of the project " + name + " was replaced by " +
              vx::TFolderLock::WhatIsThereInstead(lockFile) + " while the project was open";
        break;
    default: why = lost + "it cannot be made again"; break;
    }
    vx::Report(why + ", so nothing was written. Save Project As keeps the work in a new folder.",
               vx::ReportIcon::Exclamation);
    return false;
}

std::unique_ptr<vx::TFileTransaction> TFolderHold::BeginChange(const std::string& folder, const std::string& name)
{
    if (!KeepForChange(folder, name))
        return nullptr;
    // The folder held, wherever its path leads by now; one never taken, at its path.
    auto change = m_state == TState::Held ? std::make_unique<vx::TFileTransaction>(folder, m_lock.Folder(folder))
                                          : std::make_unique<vx::TFileTransaction>(folder);
    GuardCommit(*change, folder, name);
    return change;
}

void TFolderHold::GuardCommit(vx::TFileTransaction& change, const std::string& folder, const std::string& name)
{
    change.CheckBeforeRenames([this, folder, name] { return KeepForCommit(folder, name); });
}

bool TFolderHold::KeepForCommit(const std::string& folder, const std::string& name)
{
    // The journal there now, if any, is the one the commit has just written: the project is
    // as this program last saw it when all else is.
    const std::vector<TSeen> seen = m_seen;
    std::vector<TSeen> now = m_seen;
    StampNow(now);
    for (size_t i = 0; i < now.size(); ++i)
        if (now[i].inWork)
            m_seen[i].stamp = now[i].stamp;
    const bool kept = KeepForChange(folder, name);
    m_seen = seen;
    return kept;
}

vx::TFileTransaction* TFolderHold::NewFiles(const std::string& folder, const std::string& name)
{
    if (!m_newFiles)
        m_newFiles = BeginChange(folder, name);
    else if (!KeepForChange(folder, name))
        return nullptr;
    return m_newFiles.get();
}

bool TFolderHold::MayRemoveWaitingFiles() const
{
    // A staged file in a folder that is not the held one is not this program's to remove.
    return m_state == TState::Untaken || (m_newFiles && Holds(m_newFiles->Folder()));
}

void TFolderHold::DiscardNewFile(const std::string& path)
{
    if (m_newFiles && MayRemoveWaitingFiles())
        m_newFiles->Discard(path);
}

std::string TFolderHold::PathToRead(const std::string& path) const
{
    const std::string staged = m_newFiles ? m_newFiles->StagedFileOf(path) : std::string();
    return staged.empty() ? path : staged;
}

bool TFolderHold::OpenToRead(const std::string& path, vx::TFile& file) const
{
    if (m_newFiles && !m_newFiles->StagedFileOf(path).empty())
        return m_newFiles->OpenStagedFile(path, file);
    const std::string name = vx::FileNameOf(path);
    if (!m_files || m_state != TState::Held || vx::FolderOf(path) != m_files.Path())
        return file.OpenThroughTrustedLink(path);
    if (m_opening || vx::FileIdentityOf(m_files.Path()) == m_identity)
        return file.Open(m_files, name, vx::TFile::kTrustedLink);
    // The held folder moved away is the project's no longer (a change of it says so); a copy
    // put in its place serves where it is this user's own.
    const vx::TFolder copy = vx::TFolder::OpenOwn(m_files.Path());
    return copy ? file.Open(copy, name, vx::TFile::kTrustedLink) : file.NotOpened(errno != 0 ? errno : ENOENT);
}

void TFolderHold::DropNewFiles()
{
    if (m_newFiles && !MayRemoveWaitingFiles())
        m_newFiles->LetGo();
    m_newFiles.reset();
}

void TFolderHold::NoteChangeMade(const std::string& folder, const std::string& name)
{
    NoteChangeMade(folder, name, nullptr);
}

void TFolderHold::NoteChangeMade(const std::string& folder, const std::string& name, const vx::TFolder* held)
{
    // Only what was seen while the lock was held counts.
    if (!Holds(folder))
        return;
    m_seen = {{false, name + ".tpj", {}}, {true, vx::FileNameOf(vx::TFileTransaction::JournalPathOf(folder)), {}}};
    StampNow(m_seen, held);
}

void TFolderHold::StampNow(std::vector<TSeen>& seen, const vx::TFolder* opened) const
{
    // The folder as the open has it, with the work folder it found; else both opened anew.
    const vx::TFolder reopened = opened ? vx::TFolder() : m_lock.Folder(std::string());
    const vx::TFolder& held = opened ? *opened : reopened;
    const bool found = opened && m_work;
    const vx::TFolder work =
        !found && held ? held.OpenFolder(vx::TFileTransaction::WorkFolderName()) : vx::TFolder();
    for (TSeen& entry : seen)
        entry.stamp = vx::FileStampOf(entry.inWork ? (found ? m_work : work) : held, entry.name);
}

bool TFolderHold::IsAsLastSeen() const
{
    std::vector<TSeen> now = m_seen;
    StampNow(now);
    for (size_t i = 0; i < now.size(); ++i)
        if (now[i].stamp != m_seen[i].stamp)
            return false;
    return true;
}

std::string TFolderHold::FollowMovedFolder(const std::string& folder)
{
    if (m_state != TState::Held || folder.empty() || m_lock.Holds(folder))
        return std::string();
    const std::string now = m_lock.FolderNow();
    if (now.empty() || now == folder)
        return std::string();
    // The files of new images and sets wait in the work folder, which moved with it.
    if (m_newFiles)
        m_newFiles->MovedTo(now);
    m_files = m_lock.Folder(now);
    return now;
}

void TFolderHold::RemoveLeftoverFiles(const std::string& folder)
{
    // Only this program's own files, in its work folder, and only while no other program
    // can be using them: what was staged and never put in place, undo states of earlier
    // runs. Nothing outside the work folder is touched.
    if (Holds(folder) && m_work)
        TOpenRecovery::RemoveWorkFiles(m_work, m_saveAsWaits ? TOpenRecovery::SaveAsNoteName() : std::string());
    m_work.Close();
}

vx::TFolder TFolderHold::OpenWorkFolder(const std::string& folder) const
{
    const vx::TFolder opened = vx::TFolder::Open(folder, vx::TFolder::kFollowLast);
    if (!opened)
        return vx::TFolder();
    // A folder put at the path of the one held is not its own.
    if ((m_state == TState::Held || m_state == TState::LetGo) && opened.Identity() != m_identity) {
        errno = ESTALE;
        return vx::TFolder();
    }
    return opened.OpenFolder(vx::FileNameOf(vx::TFileTransaction::WorkFolderOf(folder)));
}

TStateFile TFolderHold::StateFolder(const vx::TFolder& work)
{
    // One descriptor for all the states made there, however many steps keep one.
    if (!m_stateFolder || m_stateFolder->Identity() != work.Identity()) {
        vx::TFolder own = work.Duplicate();
        if (!own)
            return TStateFile();
        m_stateFolder = std::make_shared<const vx::TFolder>(std::move(own));
    }
    TStateFile place;
    place.folder = m_stateFolder;
    if (m_state == TState::Held)
        place.project = m_identity;
    return place;
}

TStateFile TFolderHold::TempStateFolder()
{
    static std::mutex mutex;
    static std::shared_ptr<const vx::TFolder> shared;
    vx::TFolder temp = vx::TFolder::Open(vx::TempFolder(), vx::TFolder::kFollowLast);
    if (!temp)
        return TStateFile();
    std::lock_guard<std::mutex> guard(mutex);
    if (!shared || shared->Identity() != temp.Identity() || shared->Path() != temp.Path())
        shared = std::make_shared<const vx::TFolder>(std::move(temp));
    TStateFile place;
    place.folder = shared;
    return place;
}

std::string TFolderHold::SaveAsNotePath(const std::string& folder)
{
    return vx::JoinPath(vx::TFileTransaction::WorkFolderOf(folder), TOpenRecovery::SaveAsNoteName());
}

bool TFolderHold::NoteSaveAs(const std::string& folder, const vx::TFolder& target, bool madeFolder, bool madeWork,
                             bool madeLock) const
{
    // Only the holder of this folder's lock reads the note again. The work folder is made,
    // where it is missing, with the rights every change of the folder gives it, and written
    // through the descriptor that change opened it with.
    if (!Holds(folder) || !target)
        return false;
    vx::TFileTransaction change(folder, m_lock.Folder(folder));
    const vx::TFolder* opened = change.WorkFolder();
    if (!opened)
        return false;
    const vx::TFolder& work = *opened;
    const std::string text = TOpenRecovery::SaveAsNoteText(target, madeFolder, madeWork, madeLock, m_identity);
    // Made anew, private at birth: it names where this user's save writes. A note that is
    // cut short by a kill is none an open trusts.
    (void)work.Remove(TOpenRecovery::SaveAsNoteName());
    vx::TFile note;
    const int fd = work.MakeFile(TOpenRecovery::SaveAsNoteName(), O_WRONLY, 0600);
    if (fd < 0 || !note.Adopt(fd, work.PathOf(TOpenRecovery::SaveAsNoteName()), vx::TFile::Mode::Write))
        return false;
    if (note.WriteText(text) && note.Sync() && note.Close()) {
        vx::TFile::Step();
        return true;
    }
    note.Close();
    (void)work.Remove(TOpenRecovery::SaveAsNoteName());
    return false;
}

void TFolderHold::DropSaveAsNote(const std::string& folder) const
{
    if (const vx::TFolder work = OpenWorkFolder(folder))
        (void)work.Remove(TOpenRecovery::SaveAsNoteName());
}

void TFolderHold::KeepStateFile(const TStateFile& state)
{
    if (!state || state.name.empty())
        return;
    const std::optional<vx::TFileIdentity> identity = IdentityIn(*state.folder, state.name);
    std::lock_guard<std::mutex> guard(g_holdsMutex);
    if (identity)
        KeptStates()[{state.folder->Identity(), state.name}] = {state, *identity};
}

std::string TFolderHold::LostKeptFiles() const
{
    int states = 0;
    {
        std::lock_guard<std::mutex> guard(g_holdsMutex);
        for (const auto& [key, kept] : KeptStates())
            if (kept.state.project == m_identity && IsLost(kept))
                ++states;
    }
    std::vector<std::string> targets;
    if (m_newFiles)
        for (const auto& [staged, target] : m_newFiles->StagedFiles())
            if (m_newFiles->HasStagedFile(staged) != vx::TFolder::THas::Yes)  // one not looked at serves no open either
                targets.push_back(target);
    std::sort(targets.begin(), targets.end());
    std::string text;
    if (states > 0)
        text = "the undo states of " + std::to_string(states) + (states == 1 ? " step" : " steps") +
               ", which can no longer be undone";
    if (!targets.empty()) {
        text += text.empty() ? "the new files for " : "; the new files for ";
        for (size_t i = 0; i < targets.size(); ++i)
            text += (i == 0 ? "" : i + 1 == targets.size() ? " and " : ", ") + targets[i];
        text += ", which are given up";
    }
    return text;
}

void TFolderHold::ForgetLostKeptFiles()
{
    {
        std::lock_guard<std::mutex> guard(g_holdsMutex);
        std::erase_if(KeptStates(),
                      [&](const auto& kept) { return kept.second.state.project == m_identity && IsLost(kept.second); });
    }
    // The waiting files left are not this program's alone any more: none is removed.
    if (m_newFiles) {
        m_newFiles->LetGo();
        m_newFiles.reset();
    }
}

void TFolderHold::RemoveStateFile(const TStateFile& state)
{
    if (!state || state.name.empty())
        return;
    {
        std::lock_guard<std::mutex> guard(g_holdsMutex);
        KeptStates().erase({state.folder->Identity(), state.name});
    }
    // A state in the system's temporary folder belongs to no project folder, and one in a
    // folder no hold took to no program that could be using it.
    if (!state.project) {
        (void)state.folder->Remove(state.name);
        return;
    }
    // Elsewhere only in the folder a hold of this run knows by its identity, wherever it is
    // now.
    std::lock_guard<std::mutex> guard(g_holdsMutex);
    for (const TFolderHold* hold : LiveHolds()) {
        if (hold->m_identity != *state.project)
            continue;
        if (hold->m_state == TState::Held) {
            // Held with its lock file, or a folder whose lock file is gone: no other program
            // can be using it.
            const std::string now = hold->m_lock.FolderNow();
            if (!now.empty() && (hold->m_lock.Holds(now) || !vx::FileIdentityOf(LockFileOf(now))))
                (void)state.folder->Remove(state.name);
            return;
        }
        if (hold->m_state != TState::LetGo || hold->m_leftAt.empty())
            continue;
        // The folder a Save As left: while no program holds it, what this run left in its
        // work folder is its own, as the next open would find it.
        vx::TFolderLock probe;
        if (probe.Acquire(hold->m_leftAt) == vx::TFolderLock::TResult::Held &&
            probe.FolderIdentity() == *state.project) {
            (void)state.folder->Remove(state.name);
            if (probe.MadeLockFile())
                probe.RemoveLockFileAndRelease(hold->m_leftAt);
            return;
        }
    }
}
