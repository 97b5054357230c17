#include "model/TCSISetList.h"

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "model/TCSISet.h"
#include "model/TKeptRecord.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"

TCSISetList::TCSISetList(TProject* pProject) : m_pProject(pProject) {}

TCSISetList::~TCSISetList()
{
    for (TCSISet* pSet : m_sets)
        delete pSet;
}

int32_t TCSISetList::Add(TCSISet* pSet)
{
    m_sets.push_back(pSet);
    return ++m_nCount;
}

TCSISetList::iterator TCSISetList::Erase(iterator pos)
{
    --m_nCount;
    return m_sets.erase(pos);
}

TCSISetList::iterator TCSISetList::Find(const TCSISet* pSet)
{
    for (auto it = m_sets.begin(); it != m_sets.end(); ++it)
        if (*it == pSet)
            return it;
    return m_sets.end();
}

TCSISet* TCSISetList::FindByName(const std::string& name) const
{
    for (TCSISet* pSet : m_sets)
        if (pSet->GetName() == name)
            return pSet;
    return nullptr;
}

TKeptRecord* TCSISetList::FindKept(const std::string& name)
{
    for (TKeptRecord& kept : m_kept)
        if (kept.name == name)
            return &kept;
    return nullptr;
}

bool TCSISetList::Write(vx::TFile& file) const
{
    return WriteRecordsKeeping(file, m_nCount, m_sets, m_kept,
                               [&file](const TCSISet* pSet) { return pSet->WriteToProject(file); });
}

bool TCSISetList::Read(vx::TFile& file)
{
    int32_t count = 0;
    if (!file.ReadInt32(count))
        return false;
    if (count <= 0)
        return true;
    // A record that cannot be read is a damaged file: a project opened without that set
    // (and every set after it) would lose them for good at its next save. The sets read
    // so far go again, so that no partial list is left.
    const auto fail = [this, before = m_sets.size(), keptBefore = m_kept.size()] {
        while (m_sets.size() > before) {
            delete m_sets.back();
            m_sets.pop_back();
            --m_nCount;
        }
        m_kept.resize(keptBefore);
        return false;
    };
    // A line per set kept without its data-set file: missing, there but this user may not
    // read it, or one the system failed to open.
    std::vector<TWaitingFiles> waiting{{"", "load once their data-set files are back"},
                                       {"", "load once their data-set files may be read"},
                                       {"", "load once their data-set files can be read"}};
    std::vector<TKeptRecord> unusable;
    for (int32_t i = 0; i < count; ++i) {
        // A hostile count must not spin: the file ends before its records do.
        if (file.BytesLeft() <= 0)
            return fail();
        auto* pSet = new TCSISet(m_pProject);
        TKeptRecord kept;
        if (!pSet->ReadFromProject(file, &kept)) {
            delete pSet;
            // A whole record that cannot be used costs only its set.
            if (kept.bytes.empty())
                return fail();
            kept.position = i;
            unusable.push_back(kept);
            m_kept.push_back(std::move(kept));
            continue;
        }
        Add(pSet);
        if (pSet->DataFileMissing()) {
            const int error = pSet->DataFileError();
            const std::string why = vx::NotOpenedNote(pSet->GetFilePath(), {}, error);
            const size_t group = why.empty() ? 0 : (error == EACCES || error == EPERM ? 1 : 2);
            waiting[group].lines += "\r\n" + pSet->GetName() + " (" + pSet->GetFilePath() + ")" + why;
        }
    }
    std::string text = WaitingFilesText(m_pProject ? m_pProject->GetFolder() : std::string(), "sets", waiting);
    if (!unusable.empty())
        text += KeptRecordLines(unusable) +
                "\r\nThese sets cannot be used; their records and files stay in the project unchanged.";
    if (!text.empty())
        vx::Report("Some of the CSI data sets could not be loaded." + text, vx::ReportIcon::Exclamation);
    return true;
}

bool TCSISetList::SkipFromProject(vx::TFile& file, int32_t version)
{
    int32_t count = 0;
    if (!file.ReadInt32(count))
        return false;
    for (int32_t i = 0; i < count; ++i)
        if (!TCSISet::SkipProjectEntry(file, version))
            return false;
    return true;
}

void TCSISetList::Anonymize()
{
    for (TCSISet* pSet : m_sets)
        pSet->Anonymize();
    for (TKeptRecord& kept : m_kept)
        kept.Anonymize();
}

bool TCSISetList::CopyDataFiles(const std::string& folder, vx::TFileTransaction& transaction, const TCSISet* except)
{
    bool allCopied = CopyKeptFiles(m_kept, m_pProject ? m_pProject->GetFolder() : std::string(), folder, transaction);
    for (TCSISet* pSet : m_sets) {
        vx::TFile from;
        const bool readable = pSet->OpenDataFile(from);
        // The stored maps of a set that is not the work set live in their files, which are
        // named after the data-set file, and in memory once read. A map not yet written has
        // no file; one whose file is gone is written from memory. One that cannot be read
        // (another user's link at its name) is not copied.
        struct TMapCopy {
            std::string name;
            vx::TFile from;
            bool opened = false;
        };
        std::vector<TMapCopy> maps;
        for (const std::string& mapName : pSet->ListedMapNames()) {
            if (!vx::IsSafeFileComponent(mapName))
                continue;
            TMapCopy map{mapName, {}, false};
            map.opened = pSet->OpenMapFile(pSet->MapFilePath(mapName), map.from);
            if (map.opened || pSet->FindMap(mapName))
                maps.push_back(std::move(map));
            else if (map.from.NotAFile().empty() && map.from.LastError() != ENOENT && map.from.LastError() != ENOTDIR)
                allCopied = false;
        }
        pSet->SetFolder(folder);
        if (pSet == except)
            continue;
        // A set held in memory whose data-set file is gone is written from memory.
        if (readable ? !vx::CopyFileAtomically(from, pSet->GetFilePath(), &transaction)
                     : !pSet->IsLoaded() || !pSet->WriteDataFile(pSet->GetFilePath(), true, &transaction))
            allCopied = false;
        for (TMapCopy& map : maps)
            if (map.opened ? !vx::CopyFileAtomically(map.from, pSet->MapFilePath(map.name), &transaction)
                           : !pSet->FindMap(map.name)->WriteFile(pSet->MapFilePath(map.name), &transaction))
                allCopied = false;
    }
    return allCopied;
}

void TCSISetList::Insert(iterator pos, TCSISet* pSet)
{
    m_sets.insert(pos, pSet);
    ++m_nCount;
}
