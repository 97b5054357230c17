#include "model/TOpenRecovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "model/TFolderHold.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TFolderLock.h"

namespace {

// The first line of the note a save under another folder leaves while it runs, and its name
// in the work folder.
const char* const kSaveAsNote = "Vexara save as 2";
const char* const kSaveAsNoteName = "saving-as";

std::string IdentityText(const vx::TFileIdentity& identity)
{
    return std::to_string(identity.device) + " " + std::to_string(identity.inode);
}

}  // namespace

const char* TOpenRecovery::SaveAsNoteName() { return kSaveAsNoteName; }

std::string TOpenRecovery::SaveAsNoteText(const vx::TFolder& target, bool madeFolder, bool madeWork, bool madeLock,
                                          const vx::TFileIdentity& held)
{
    const auto flag = [](bool made) { return made ? "1" : "0"; };
    return std::string(kSaveAsNote) + "\n" + target.Path() + "\n" + flag(madeFolder) + flag(madeWork) +
           flag(madeLock) + "\n" + IdentityText(held) + "\n" + IdentityText(target.Identity()) + "\n";
}

bool TOpenRecovery::RemoveWorkFiles(const vx::TFolder& work, const std::string& keep)
{
    const vx::TFolderListing listing = work.List();
    for (const vx::TFolderEntry& entry : listing.entries)
        if (!entry.isFolder && entry.name != keep)
            (void)work.Remove(entry.name);
    return listing.Whole();
}

vx::TFolder::THas TOpenRecovery::JournalWaits(const vx::TFolder& folder, const std::string& earlier)
{
    // A folder that did not open is read no further than here: its read says why.
    if (!folder)
        return vx::TFolder::THas::No;
    struct stat st {};
    const int looked = folder.Stat(earlier, st);
    if (looked == 0)
        return vx::TFolder::THas::Yes;
    if (looked != ENOENT) {
        errno = looked;
        return vx::TFolder::THas::Failed;
    }
    return vx::TFileTransaction::HasJournal(folder);
}

std::string TOpenRecovery::WhyNotCompleted(const vx::TFileTransaction::TRecoveryFailure& why, const std::string& work)
{
    using TKind = vx::TFileTransaction::TRecoveryFailure::TKind;
    switch (why.kind) {
    case TKind::Unwritable: return TFolderHold::FailedCallText(why.path, why.call, "cannot") + ": " + vx::FileErrorReason(why.error);
    case TKind::Lost: return "the new file " + why.path + " that completes it is missing from " + work;
    case TKind::NotRead: return "the file " + why.path + " that completes it cannot be read: " + vx::FileErrorReason(why.error);
    case TKind::AnotherUsers:
        return "it is a save by the user " + vx::UserNameOf(why.owner) + ", which waits in " + work +
               " (" + why.path + " is theirs), and only their own open of the project completes it";
    case TKind::Unreadable: break;
    }
    return "the file " + why.path + " that completes it is damaged";
}

std::string TOpenRecovery::CompleteJournals(const std::string& earlierJournal) const
{
    // A change an earlier version left half done, then one of this version.
    const std::string work = vx::TFileTransaction::WorkFolderOf(m_folder);
    for (const std::string& journal : {earlierJournal, std::string()}) {
        vx::TFileTransaction::TRecoveryFailure why;
        const vx::TFileTransaction::TRecovery recovery = !journal.empty() || !m_work
                                                             ? vx::TFileTransaction::Recover(m_held, &why, journal)
                                                             : vx::TFileTransaction::Recover(m_held, m_work, &why);
        if (recovery != vx::TFileTransaction::TRecovery::Damaged)
            continue;
        using TKind = vx::TFileTransaction::TRecoveryFailure::TKind;
        // A journal that reads well is the only way to the new project: never to be removed.
        if (why.kind == TKind::Unwritable)
            return "a save of it was interrupted, and it cannot be completed because " + WhyNotCompleted(why, work) +
                   (why.call == vx::TFileTransaction::TCall::SyncFolder
                        ? ". The project opens once the folder can be synced to the disk."
                        : ". The project opens once it can be written.");
        // A journal the system did not give may be whole: never to be removed either.
        if (why.kind == TKind::NotRead)
            return "a save of it was interrupted, and it cannot be completed because " + WhyNotCompleted(why, work) +
                   ". The project opens once it can be read.";
        // Another user's change is theirs to complete, with their rights: nothing is changed.
        if (why.kind == TKind::AnotherUsers)
            return "a save of it by the user " + vx::UserNameOf(why.owner) + " was interrupted and waits in its work "
                   "folder " + work + " (" + why.path + " is theirs). Only their own open of the project completes "
                   "it; its files stay as they are until then.";
        if (why.kind == TKind::Lost)
            return "a save of it was interrupted, and " + WhyNotCompleted(why, work) +
                   ". Copy the folder again from where the save was made, with its hidden folder, or open it there; "
                   "its files stay as they are until then.";
        return "a save of it was interrupted, and " + WhyNotCompleted(why, work) +
               ". Remove that file to open the project with its files as they are.";
    }
    return std::string();
}

bool TOpenRecovery::FinishInterruptedSaveAs() const
{
    const vx::TFolder& work = m_work;
    if (!work)
        return false;
    // Whoever may write the work folder may put a note there: only one this user made is
    // read, and only as a file of its own.
    struct stat st {};
    const int looked = work.Stat(kSaveAsNoteName, st);
    if (looked == ENOENT || (looked == 0 && !S_ISREG(st.st_mode)))
        return false;
    const auto dropNote = [&] {
        (void)work.Remove(kSaveAsNoteName);
        return false;
    };
    if (looked == 0 && !work.MadeByThisUser(st))
        return dropNote();
    vx::TFile file;
    std::string text;
    vx::TWholeFileFailure failure;
    // A note that cannot be read now stays for a later open: it may name a folder to clear.
    if (!file.Open(work, kSaveAsNoteName))
        return file.NotAFile().empty() && file.LastError() != ENOENT;
    struct stat opened {};
    if (::fstat(::fileno(file.Handle()), &opened) != 0 || !work.MadeByThisUser(opened)) {
        file.Close();
        return dropNote();
    }
    // One too long is none this program wrote.
    if (!vx::ReadWholeFile(file, text, 1 << 16, &failure))
        return failure.IsFault() || dropNote();
    file.Close();
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
    }
    // The note names the folder it was written in (a note of another project moved here is
    // not this one's), and a folder of no zero byte: the system would take the part before
    // it for the folder.
    if (lines.size() != 5 || lines[0] != kSaveAsNote || lines[2].size() != 3 ||
        lines[1].find('\0') != std::string::npos || lines[3] != IdentityText(m_identity))
        return dropNote();
    const std::string& folder = lines[1];
    const bool madeFolder = lines[2][0] == '1', madeWork = lines[2][1] == '1', madeLock = lines[2][2] == '1';
    // Only the folder the save wrote to, told by its identity: whatever else stands at its
    // path now is not this note's to clear.
    const vx::TFolder target = vx::TFolder::Open(folder, vx::TFolder::kFollowLast);
    if (!target) {
        // A folder that is gone holds nothing left to clear; one that cannot be reached now
        // may still hold what the save left.
        const bool gone = errno == ENOENT || errno == ENOTDIR;
        return gone ? dropNote() : true;
    }
    if (IdentityText(target.Identity()) != lines[4])
        return dropNote();
    // A folder that cannot be taken now (another program has it open), a change there that
    // cannot be completed, or a work folder that cannot be listed: the note stays for a
    // later open.
    vx::TFolderLock lock;
    if (lock.Acquire(target) != vx::TFolderLock::TResult::Held)
        return true;
    const vx::TFolder targetWork = target.OpenFolder(vx::TFileTransaction::WorkFolderName());
    const bool noWork = !targetWork && errno == ENOENT;
    if (!noWork && (!targetWork ||
                    vx::TFileTransaction::Recover(target, targetWork) == vx::TFileTransaction::TRecovery::Damaged ||
                    !RemoveWorkFiles(targetWork)))
        return true;
    // A save that had not reached its journal: what it staged is gone now, and so goes
    // what it made of the folder, as far as nothing else is there.
    if (madeWork)
        (void)target.RemoveFolder(vx::TFileTransaction::WorkFolderName());  // only when empty
    // The lock file goes while it is held, and only from a folder known to hold nothing else.
    const vx::TFolderListing left = target.List();
    if (madeLock && left.Whole() && left.entries.size() == 1 &&
        left.entries.front().name == vx::TFolderLock::FileName())
        lock.RemoveLockFileAndRelease(folder);
    lock.Release();
    if (madeFolder) {
        const vx::TFolder parent = vx::TFolder::Open(vx::FolderOf(folder), vx::TFolder::kFollowLast);
        const std::optional<vx::TFileStamp> there = vx::FileStampOf(parent, vx::FileNameOf(folder));
        if (there && there->identity == target.Identity())
            (void)parent.RemoveFolder(vx::FileNameOf(folder));  // only when empty
    }
    (void)work.Remove(kSaveAsNoteName);
    return false;
}
