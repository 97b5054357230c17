// The project folder while the project is open: its lock, the completion of a save that
// a killed process left half done, and the removal of what interrupted writes left.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolderLock.h"

namespace {

// The first line of the note a save under another folder leaves while it runs.
const char* const kSaveAsNote = "Vexara save as 1";

// Removes the files of a work folder (what was staged and never put in place, undo
// states); the folders in it and everything outside it stay.
void RemoveWorkFiles(const std::string& work)
{
    for (const vx::TFolderEntry& entry : vx::ListFolder(work))
        if (!entry.isFolder)
            vx::RemoveFile(vx::JoinPath(work, entry.name));
}

// What the call of a change that failed on `path` did not do, with "could not" or "cannot"
// (`notDone`): "/p/a could not be replaced", "the folder /p could not be synced to the disk".
std::string FailedCallText(const std::string& path, vx::TFileTransaction::TCall call, const std::string& notDone)
{
    using TCall = vx::TFileTransaction::TCall;
    switch (call) {
    case TCall::Write: break;
    case TCall::Rename: return path + " " + notDone + " be replaced";
    case TCall::Remove: return path + " " + notDone + " be removed";
    case TCall::SyncFolder: return "the folder " + path + " " + notDone + " be synced to the disk";
    case TCall::RemoveJournal: return "the journal " + path + " " + notDone + " be removed";
    }
    return path + " " + notDone + " be written";
}

// Why an interrupted change cannot be completed, as the end of a sentence.
std::string WhyNotCompleted(const vx::TFileTransaction::TRecoveryFailure& why, const std::string& work)
{
    using TKind = vx::TFileTransaction::TRecoveryFailure::TKind;
    switch (why.kind) {
    case TKind::Unwritable: return FailedCallText(why.path, why.call, "cannot") + ": " + vx::FileErrorReason(why.error);
    case TKind::Lost: return "the new file " + why.path + " that completes it is missing from " + work;
    case TKind::Unreadable: break;
    }
    return "the file " + why.path + " that completes it is damaged";
}

// What a change that a failure describes ("The CSI set b was not removed") did once its
// journal is written: "The CSI set b is removed"; "Can't write project file." becomes "The
// project file is written", "Failed to save project to /q." "The project is saved to /q".
std::string DoneText(const std::string& failure)
{
    std::string text = failure;
    if (text.ends_with('.'))
        text.pop_back();
    for (const std::string notDone : {" was not ", " could not be "})
        if (const size_t at = text.find(notDone); at != std::string::npos)
            return text.replace(at, notDone.size(), " is ");
    for (const std::string cannot : {"Can't write ", "Can not write "})
        if (text.starts_with(cannot))
            return "The " + text.substr(cannot.size()) + " is written";
    if (const std::string failed = "Failed to save project to "; text.starts_with(failed))
        return "The project is saved to " + text.substr(failed.size());
    return "The change is made";
}

}  // namespace

std::string TProject::OldSaveJournalPath() const
{
    return vx::JoinPath(m_strFolder, "." + m_strName + ".tpj.journal");
}

std::string TProject::WorkFolder() const
{
    return vx::TFileTransaction::WorkFolderOf(m_strFolder);
}

bool TProject::HoldsFolder() const
{
    return m_folderLock && m_folderLock->Holds(m_strFolder);
}

bool TProject::FolderIsStillHere() const
{
    // A project that could not lock its folder has no identity of it to compare.
    if (m_strFolder.empty() || !m_folderLock || !m_folderLock->IsHeld())
        return true;
    // The folder's own identity tells a folder moved away from one whose lock file alone
    // was removed (a cleaning tool, a sync client): that one is taken again.
    const vx::TFolderLock::TResult kept = m_folderLock->Keep(m_strFolder);
    if (kept == vx::TFolderLock::TResult::Held)
        return true;
    if (kept == vx::TFolderLock::TResult::Moved) {
        // A folder renamed or moved on its own disk is the held one again once it is back; a
        // copy of it (what a move to another disk leaves) is not.
        const std::string now = m_folderLock->FolderNow();
        vx::Report("The folder " + m_strFolder + " of the project " + m_strName +
                       " was moved or removed while the project was open, so nothing was written. Save Project As "
                       "keeps the work in a new folder" +
                       (now.empty() ? std::string(".") : ", and so does moving the folder back from " + now + "."),
                   vx::ReportIcon::Exclamation);
        return false;
    }
    const std::string lockFile = vx::JoinPath(m_strFolder, vx::TFolderLock::FileName());
    std::string why;
    switch (kept) {
    case vx::TFolderLock::TResult::HeldElsewhere:
    case vx::TFolderLock::TResult::HeldHere:
        why = "The lock file " + lockFile + " of the project " + m_strName +
              " was removed while the project was open, and " +
              (kept == vx::TFolderLock::TResult::HeldHere ? "another project of this run" : "another program") +
              " has taken the folder since";
        break;
    case vx::TFolderLock::TResult::NotAFile:
        why = "The lock file " + lockFile + " of the project " + m_strName + " was replaced by " +
              vx::TFolderLock::WhatIsThereInstead(lockFile) + " while the project was open";
        break;
    default:
        why = "The lock file " + lockFile + " of the project " + m_strName +
              " was removed while the project was open, and it cannot be made again";
        break;
    }
    vx::Report(why + ", so nothing was written. Save Project As keeps the work in a new folder.",
               vx::ReportIcon::Exclamation);
    return false;
}

void TProject::FollowMovedFolder()
{
    if (m_strFolder.empty() || !m_folderLock || HoldsFolder())
        return;
    const std::string now = m_folderLock->FolderNow();
    if (now.empty())
        return;
    for (TCSISet* pSet : *m_pCSISetList)
        pSet->SetFolder(now);
    for (TMRImage* pImage : *m_pImageSet)
        if (vx::FolderOf(pImage->GetPath()) == m_strFolder)
            pImage->SetPath(vx::JoinPath(now, vx::FileNameOf(pImage->GetPath())));
    // The files of new images and sets wait in the work folder, which moved with it.
    if (m_newFiles)
        m_newFiles->MovedTo(now);
    m_strFolder = now;
}

bool TProject::TakeFolder()
{
    if (m_strFolder.empty())
        return true;
    if (!m_folderLock)
        m_folderLock = std::make_unique<vx::TFolderLock>();
    const auto refuse = [&](const std::string& why) {
        vx::Report("The project " + m_strName + " cannot be opened: " + why, vx::ReportIcon::Exclamation);
        return false;
    };
    // Two programs in one folder would complete, replace and remove each other's files.
    const vx::TFolderLock::TResult lock = m_folderLock->Acquire(m_strFolder);
    if (lock == vx::TFolderLock::TResult::HeldElsewhere)
        return refuse("another program has a project of its folder open.");
    if (lock == vx::TFolderLock::TResult::NotAFile) {
        const std::string lockFile = vx::JoinPath(m_strFolder, vx::TFolderLock::FileName());
        return refuse("its folder cannot be locked, because its lock file " + lockFile + " is " +
                      vx::TFolderLock::WhatIsThereInstead(lockFile) + ", not a file. Remove it to open the project.");
    }
    const std::vector<std::string> journals{OldSaveJournalPath(), vx::TFileTransaction::JournalPathOf(m_strFolder)};
    if (lock == vx::TFolderLock::TResult::HeldHere)
        return true;  // the project of this run that holds the folder completes its own changes
    if (lock != vx::TFolderLock::TResult::Held) {
        // Without the folder's lock a journal may be another program's change in progress:
        // it is left alone, and the project is not read half changed.
        for (const std::string& journal : journals)
            if (vx::FileExists(journal) || vx::FolderExists(journal))
                return refuse("a save of it was interrupted, and its folder cannot be locked to complete it.");
        return true;
    }
    // A change an earlier version left half done, then one of this version.
    for (const std::string& journal : journals) {
        vx::TFileTransaction::TRecoveryFailure why;
        if (vx::TFileTransaction::Recover(journal, &why) != vx::TFileTransaction::TRecovery::Damaged)
            continue;
        using TKind = vx::TFileTransaction::TRecoveryFailure::TKind;
        // A journal that reads well is the only way to the new project: never to be removed.
        if (why.kind == TKind::Unwritable)
            return refuse("a save of it was interrupted, and it cannot be completed because " +
                          WhyNotCompleted(why, WorkFolder()) + ". The project opens once it can be written.");
        if (why.kind == TKind::Lost)
            return refuse("a save of it was interrupted, and " + WhyNotCompleted(why, WorkFolder()) +
                          ". Copy the folder again from where the save was made, with its hidden folder, or open it "
                          "there; its files stay as they are until then.");
        return refuse("a save of it was interrupted, and " + WhyNotCompleted(why, WorkFolder()) +
                      ". Remove that file to open the project with its files as they are.");
    }
    FinishInterruptedSaveAs();
    return true;
}

std::string TProject::SaveAsNotePath() const
{
    return vx::JoinPath(WorkFolder(), "saving-as");
}

bool TProject::NoteSaveAs(const std::string& folder, bool madeFolder, bool madeWork, bool madeLock) const
{
    // Only the holder of this folder's lock reads the note again.
    if (!HoldsFolder() || !vx::MakeFolder(WorkFolder()))
        return false;
    const auto flag = [](bool made) { return made ? "1" : "0"; };
    return vx::WriteFileAtomically(SaveAsNotePath(), std::string(kSaveAsNote) + "\n" + folder + "\n" + flag(madeFolder) +
                                                         flag(madeWork) + flag(madeLock) + "\n");
}

void TProject::FinishInterruptedSaveAs() const
{
    std::string text;
    if (!vx::FileExists(SaveAsNotePath()) || !vx::ReadWholeFile(SaveAsNotePath(), text, 1 << 16))
        return;
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
    }
    // A folder with a zero byte is not one this program noted: the system would take the
    // part before it for the folder.
    if (lines.size() == 3 && lines[0] == kSaveAsNote && lines[2].size() == 3 &&
        lines[1].find('\0') == std::string::npos) {
        const std::string& folder = lines[1];
        const bool madeFolder = lines[2][0] == '1', madeWork = lines[2][1] == '1', madeLock = lines[2][2] == '1';
        vx::TFolderLock lock;
        // A program that has the other folder open now, or a change there that cannot be
        // completed: the note stays for a later open.
        if (lock.Acquire(folder) != vx::TFolderLock::TResult::Held ||
            vx::TFileTransaction::Recover(vx::TFileTransaction::JournalPathOf(folder)) ==
                vx::TFileTransaction::TRecovery::Damaged)
            return;
        // A save that had not reached its journal: what it staged goes, and so does what
        // it made of the folder, as far as nothing else is there.
        const std::string work = vx::TFileTransaction::WorkFolderOf(folder);
        RemoveWorkFiles(work);
        if (madeWork)
            vx::RemoveFile(work);  // only when empty
        lock.Release();
        const std::vector<vx::TFolderEntry> left = vx::ListFolder(folder);
        if (madeLock && left.size() == 1 && left.front().name == vx::TFolderLock::FileName())
            vx::RemoveFile(vx::JoinPath(folder, vx::TFolderLock::FileName()));
        if (madeFolder)
            vx::RemoveFile(folder);  // only when empty
    }
    vx::RemoveFile(SaveAsNotePath());
}

bool TProject::MayChange(const std::string& folder) const
{
    // A project that could not lock its folder has no identity of it to compare.
    return !m_folderLock || !m_folderLock->IsHeld() || m_folderLock->Holds(folder);
}

void TProject::RemoveStateFile(const std::string& path)
{
    // A state in the system's temporary folder belongs to no project folder, and one in a
    // folder that was never locked (it could not be) to the project that could not lock it.
    const std::string work = vx::FolderOf(path), folder = vx::FolderOf(work);
    if (vx::TFileTransaction::WorkFolderOf(folder) != work ||
        !vx::FileExists(vx::JoinPath(folder, vx::TFolderLock::FileName())) || vx::TFolderLock::IsHeldHere(folder))
        vx::RemoveFile(path);
}

void TProject::DropNewFiles()
{
    if (m_newFiles && !MayChange(m_newFiles->Folder()))
        m_newFiles->LetGo();
    m_newFiles.reset();
}

std::unique_ptr<vx::TFileTransaction> TProject::BeginChange() const
{
    if (!FolderIsStillHere())
        return nullptr;
    return std::make_unique<vx::TFileTransaction>(m_strFolder);
}

vx::TFileTransaction* TProject::NewFiles()
{
    if (!m_newFiles)
        m_newFiles = BeginChange();
    else if (!FolderIsStillHere())
        return nullptr;
    return m_newFiles.get();
}

void TProject::DiscardNewFile(const std::string& path)
{
    // A staged file in a folder that is not the held one is not this program's to remove.
    if (m_newFiles && MayChange(m_newFiles->Folder()))
        m_newFiles->Discard(path);
}

std::string TProject::PathToRead(const std::string& path) const
{
    const std::string staged = m_newFiles ? m_newFiles->StagedFileOf(path) : std::string();
    return staged.empty() ? path : staged;
}

void TProject::NewFilesPlaced()
{
    // The first project file of a project that replaces another has taken the other's
    // files away with it.
    if (!m_newFiles || m_newFiles->IsEmpty())
        m_bReplacing = false;
}

bool TProject::CommitChange(vx::TFileTransaction& transaction, const std::string& failure, bool untilInPlace)
{
    // The folder may have gone since the change began, while its files were staged: nothing
    // is put in place, and what was staged stays where it is.
    if (!FolderIsStillHere()) {
        transaction.LetGo();
        return false;
    }
    // A change this program could not complete earlier is completed first; only the
    // holder of the folder's lock may complete a journal it finds.
    if (HoldsFolder()) {
        vx::TFileTransaction::TRecoveryFailure why;
        if (vx::TFileTransaction::Recover(vx::TFileTransaction::JournalPathOf(transaction.Folder()), &why) ==
            vx::TFileTransaction::TRecovery::Damaged) {
            // Its journal stands in the way of this change's: this one is not made.
            transaction.Abort();
            vx::Report(failure + (failure.ends_with('.') ? " An" : ": an") +
                           " earlier change of the project is not completed: " +
                           WhyNotCompleted(why, vx::TFileTransaction::WorkFolderOf(transaction.Folder())) + ".",
                       vx::ReportIcon::Exclamation);
            return false;
        }
    }
    if (transaction.Commit()) {
        NewFilesPlaced();
        return true;
    }
    ReportChangeFailure(transaction, failure, untilInPlace);
    // A change whose journal is written is the project's: it is completed later.
    if (!transaction.LeftJournal())
        return false;
    NewFilesPlaced();
    return !untilInPlace || transaction.LeftOnlyTheJournal();
}

vx::TWriteFailureNote TProject::NotDoneNote(const std::string& failure)
{
    return [failure](int error) { return failure + (error == 0 ? "." : ": " + vx::FileErrorReason(error) + "."); };
}

void TProject::ReportChangeFailure(const vx::TFileTransaction& transaction, const std::string& failure,
                                   bool untilInPlace, const std::string& pending)
{
    // A change whose journal stays is made as far as the user sees it (unless the caller
    // waits for its new files to be in place and they are not): the message says so, and
    // what is still to be done. Otherwise it is a failure, and says that.
    const bool left = transaction.LeftJournal();
    const bool made = left && (!untilInPlace || transaction.LeftOnlyTheJournal());
    std::string text = made ? DoneText(failure) : failure;
    if (!transaction.FailedPath().empty()) {
        std::string what = FailedCallText(transaction.FailedPath(), transaction.FailedCall(), "could not");
        const bool sentence = !made && failure.ends_with('.');
        if (sentence)
            what[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(what[0])));
        text += (made ? ", but " : sentence ? " " : ": ") + what;
        const int error = transaction.FailedError();
        text += error == 0 ? "." : ": " + vx::FileErrorReason(error) + ".";
    }
    if (left && transaction.FailedCall() == vx::TFileTransaction::TCall::RemoveJournal)
        text += " It is removed when the project is opened again.";
    else if (made)
        text += " The change reaches the disk when the project is opened again.";
    else if (left)
        text += pending.empty() ? " The change is completed when the project is opened again." : " " + pending;
    vx::Report(text, vx::ReportIcon::Exclamation);
}

void TProject::RemoveLeftoverFiles() const
{
    // Only this program's own files, in its work folder, and only while no other program
    // can be using them: what was staged and never put in place, undo states of earlier
    // runs. Nothing outside the work folder is touched.
    if (HoldsFolder())
        RemoveWorkFiles(WorkFolder());
}
