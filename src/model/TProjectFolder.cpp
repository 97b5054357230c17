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

std::string TProject::SaveJournalPath() const
{
    return vx::JoinPath(m_strFolder, "." + m_strName + ".tpj.journal");
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
    if (vx::TFileTransaction::Recover(SaveJournalPath()) != vx::TFileTransaction::TRecovery::Damaged)
        return true;
    vx::Report("The project " + m_strName + " cannot be opened: a save of it was interrupted, and the file " +
                   SaveJournalPath() +
                   " that completes it is damaged. Remove that file to open the project with its files as they are.",
               vx::ReportIcon::Exclamation);
    return false;
}

void TProject::RemoveLeftoverFiles() const
{
    if (!m_folderLock || !m_folderLock->Holds(m_strFolder))
        return;
    // The files of this project in its folder.
    std::set<std::string> owned{m_strName + ".tpj", vx::FileNameOf(SaveJournalPath())};
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
