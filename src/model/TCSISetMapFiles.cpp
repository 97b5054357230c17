// The map files of a CSI set: one per map, beside the set's data-set file and named
// after it and the map.
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"

std::string TCSISet::MapFilePath(const std::string& mapName) const
{
    return m_strFilePath + "_" + mapName;
}

bool TCSISet::OpenMapFile(const std::string& path, vx::TFile& file) const
{
    return m_pProject ? m_pProject->OpenToRead(path, file) : file.Open(path, vx::TFile::Mode::Read);
}

bool TCSISet::WriteMapFiles(vx::TFileTransaction& transaction, const vx::TWriteFailureNote& note)
{
    if (!m_pMapList)
        return true;
    bool all = true;
    for (TMap* pMap : *m_pMapList) {
        const std::string path = MapFilePath(pMap->GetName());
        // A name that is not one file name would put the file outside the project folder.
        if (!vx::IsSafeFileComponent(pMap->GetName())) {
            vx::Report("Can not write map file " + path + (note ? "\r\n" + note(std::string()) : std::string()),
                       vx::ReportIcon::Exclamation);
            all = false;
            continue;
        }
        if (pMap->WriteFile(path, &transaction, note))
            pMap->SetState(TMap::kSaved);
        else
            all = false;
    }
    return all;
}

void TCSISet::ReadMapFiles(const std::vector<std::string>& names)
{
    m_recordMapNames = names;
    for (const std::string& name : names) {
        // A name from a file that is not one file name never named a map file of this set.
        if (!vx::IsSafeFileComponent(name))
            continue;
        auto pMap = std::make_unique<TMap>(this);
        if (!pMap->ReadFile(MapFilePath(name))) {
            m_unreadMapNames.push_back(name);
            if (pMap->FileNotGiven())
                m_mapsNotGiven.push_back(name);
            continue;
        }
        pMap->name = name;
        AddMap(pMap.release());
    }
}
