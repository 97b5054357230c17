#pragma once
// The metabolite maps of one CSI set, in the order they were added. The list owns its
// maps; a map is told apart by its name (exact comparison).
#include <list>
#include <string>
#include <vector>

class TAnalysis;
class TMap;

class TMapList {
public:
    TMapList() = default;
    // Deletes every map.
    virtual ~TMapList();
    TMapList(const TMapList&) = delete;
    TMapList& operator=(const TMapList&) = delete;

    // Appends the map (the list takes it), first deleting the first map of the same
    // name; returns the number of maps. A null map, or one already in the list, is not
    // added again.
    int Add(TMap* pMap);
    // Takes the map out of the list without deleting it (the caller owns it from then
    // on); false when the list does not hold it.
    bool Remove(TMap* pMap);
    int GetCount() const { return static_cast<int>(m_maps.size()); }
    // Maps that have a map file (never-saved ones excluded), and their names in list order.
    int CountListed() const;
    std::vector<std::string> ListedNames() const;
    // Recomputes every map in list order.
    void UpdateAll();
    // The map at a zero-based position; null outside 0..count-1.
    TMap* GetAt(int index) const;
    // The first map of that name, or null.
    TMap* Find(const std::string& name) const;
    // Component maps made from the analysis forget it (it is about to be deleted).
    void DetachAnalysis(const TAnalysis* pAnalysis);

    std::list<TMap*>::const_iterator begin() const { return m_maps.begin(); }
    std::list<TMap*>::const_iterator end() const { return m_maps.end(); }

private:
    std::list<TMap*> m_maps;
};
