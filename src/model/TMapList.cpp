#include "model/TMapList.h"

#include <algorithm>

#include "model/TComponentMap.h"
#include "model/TMap.h"

TMapList::~TMapList()
{
    for (TMap* pMap : m_maps)
        delete pMap;
}

int TMapList::Add(TMap* pMap)
{
    if (!pMap || std::find(m_maps.begin(), m_maps.end(), pMap) != m_maps.end())
        return GetCount();
    const auto same = std::find_if(m_maps.begin(), m_maps.end(),
                                   [&](const TMap* p) { return p->GetName() == pMap->GetName(); });
    if (same != m_maps.end()) {
        delete *same;
        m_maps.erase(same);
    }
    m_maps.push_back(pMap);
    return GetCount();
}

bool TMapList::Remove(TMap* pMap)
{
    const auto it = std::find(m_maps.begin(), m_maps.end(), pMap);
    if (it == m_maps.end())
        return false;
    m_maps.erase(it);
    return true;
}

int TMapList::CountListed() const
{
    return static_cast<int>(
        std::count_if(m_maps.begin(), m_maps.end(), [](const TMap* p) { return p->GetState() != TMap::kNeverSaved; }));
}

std::vector<std::string> TMapList::ListedNames() const
{
    std::vector<std::string> names;
    for (const TMap* pMap : m_maps)
        if (pMap->GetState() != TMap::kNeverSaved)
            names.push_back(pMap->GetName());
    return names;
}

void TMapList::UpdateAll()
{
    for (TMap* pMap : m_maps)
        pMap->Update();
}

TMap* TMapList::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return *std::next(m_maps.begin(), index);
}

TMap* TMapList::Find(const std::string& name) const
{
    const auto it = std::find_if(m_maps.begin(), m_maps.end(), [&](const TMap* p) { return p->name == name; });
    return it == m_maps.end() ? nullptr : *it;
}

void TMapList::DetachAnalysis(const TAnalysis* pAnalysis)
{
    for (TMap* pMap : m_maps)
        if (auto* pComponent = dynamic_cast<TComponentMap*>(pMap); pComponent && pComponent->GetAnalysis() == pAnalysis)
            pComponent->DetachAnalysis();
}
