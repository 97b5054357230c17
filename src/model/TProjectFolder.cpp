// The project folder while the project is open: its lock, the completion of a save that
// a killed process left half done, and the removal of what interrupted writes left.
#include <algorithm>
#include <memory>
#include <set>
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

// An undo state file of a processing step: a short lower-case prefix, a counter, ".tmp".
bool IsStateFileName(const std::string& name)
{
    const std::string suffix = ".tmp";
    if (!name.ends_with(suffix))
        return false;
    const std::string stem = name.substr(0, name.size() - suffix.size());
    size_t letters = 0;
    while (letters < stem.size() && stem[letters] >= 'a' && stem[letters] <= 'z')
        ++letters;
    if (letters == 0 || letters > 5 || letters == stem.size())
        return false;
    for (size_t i = letters; i < stem.size(); ++i)
        if (stem[i] < '0' || stem[i] > '9')
            return false;
    return true;
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

bool TProject::TakeFolder()
{
    if (m_strFolder.empty())
        return true;
    if (!m_folderLock)
        m_folderLock = std::make_unique<vx::TFolderLock>();
    // Another running program has the folder open: a journal there belongs to its save
    // in progress, which it completes itself. Where there is no locking, a journal is
    // completed all the same: its new files are whole before it is written.
    if (m_folderLock->Acquire(m_strFolder) == vx::TFolderLock::TResult::HeldElsewhere)
        return true;
    // A change an earlier version left half done, then one of this version.
    for (const std::string& journal : {OldSaveJournalPath(), vx::TFileTransaction::JournalPathOf(m_strFolder)}) {
        if (vx::TFileTransaction::Recover(journal) != vx::TFileTransaction::TRecovery::Damaged)
            continue;
        vx::Report("The project " + m_strName + " cannot be opened: a save of it was interrupted, and the file " +
                       journal +
                       " that completes it is damaged. Remove that file to open the project with its files as they are.",
                   vx::ReportIcon::Exclamation);
        return false;
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
    if (lines.size() == 3 && lines[0] == kSaveAsNote && lines[2].size() == 3) {
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
        for (const vx::TFolderEntry& entry : vx::ListFolder(work))
            if (!entry.isFolder)
                vx::RemoveFile(vx::JoinPath(work, entry.name));
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

bool TProject::CommitChange(vx::TFileTransaction& transaction, const std::string& failure)
{
    // A change this program could not complete earlier is completed first; only the
    // holder of the folder's lock may complete a journal it finds.
    if (HoldsFolder())
        vx::TFileTransaction::Recover(vx::TFileTransaction::JournalPathOf(transaction.Folder()));
    if (transaction.Commit())
        return true;
    ReportChangeFailure(transaction, failure);
    // A change whose journal is written is the project's: it is completed later.
    return transaction.LeftJournal();
}

void TProject::ReportChangeFailure(const vx::TFileTransaction& transaction, const std::string& failure)
{
    std::string text = failure;
    if (!transaction.FailedPath().empty()) {
        text += " " + transaction.FailedPath() + " could not be " + (transaction.FailedWriting() ? "written" : "replaced");
        const int error = transaction.FailedError();
        text += error == 0 ? "." : ": " + vx::FileErrorReason(error) + ".";
    }
    if (transaction.LeftJournal())
        text += " The change is completed when the project is opened again.";
    vx::Report(text, vx::ReportIcon::Exclamation);
}

void TProject::RemoveLeftoverFiles() const
{
    if (!m_folderLock || !m_folderLock->Holds(m_strFolder))
        return;
    // The files of this project in its folder.
    std::set<std::string> owned{m_strName + ".tpj", vx::FileNameOf(OldSaveJournalPath())};
    const auto own = [&](const std::string& path) {
        if (vx::FolderOf(path) == m_strFolder)
            owned.insert(vx::FileNameOf(path));
    };
    // Map files are named after their set; a new map's file is not listed yet.
    std::vector<std::string> mapPrefixes;
    for (const TCSISet* pSet : *m_pCSISetList) {
        own(pSet->GetFilePath());
        for (const std::string& mapName : pSet->ListedMapNames())
            own(pSet->MapFilePath(mapName));
        if (vx::FolderOf(pSet->GetFilePath()) == m_strFolder)
            mapPrefixes.push_back(vx::FileNameOf(pSet->MapFilePath("")));
    }
    for (const TMRImage* pImage : *m_pImageSet)
        own(pImage->GetPath());
    // What was staged in the work folder and never put in place.
    for (const vx::TFolderEntry& entry : vx::ListFolder(WorkFolder()))
        if (!entry.isFolder)
            vx::RemoveFile(vx::JoinPath(WorkFolder(), entry.name));
    // Undo states, and what an old-project conversion writes before it puts a file in place.
    const std::string converting(kConvertingSuffix);
    const auto leftover = [&](const std::string& name) {
        return IsStateFileName(name) ||
               (name.ends_with(converting) && owned.count(name.substr(0, name.size() - converting.size())));
    };
    const auto ownedTemp = [&](const std::string& target) {
        return owned.count(target) || leftover(target) ||
               std::any_of(mapPrefixes.begin(), mapPrefixes.end(),
                           [&](const std::string& prefix) { return target.rfind(prefix, 0) == 0; });
    };
    for (const vx::TFolderEntry& entry : vx::ListFolder(m_strFolder)) {
        std::string target;
        if (entry.isFolder)
            continue;
        if (vx::TAtomicFile::IsTempFileName(entry.name, target) ? ownedTemp(target) : leftover(entry.name))
            vx::RemoveFile(vx::JoinPath(m_strFolder, entry.name));
    }
}
