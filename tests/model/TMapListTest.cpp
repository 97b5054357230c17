// The map list of a CSI set and the set's map operations: ownership, replacement by name,
// positions, the maps that have files, recomputation in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TComponentMap.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "support/CSISetBuilders.h"

namespace {

// A map that records its updates and its deletion.
class TRecordingMap : public TMap {
public:
    TRecordingMap(const std::string& mapName, std::vector<std::string>& log, int32_t state = kNeverSaved)
        : m_log(log)
    {
        name = mapName;
        SetState(state);
    }
    ~TRecordingMap() override { m_log.push_back("delete " + name); }
    void Update() override { m_log.push_back("update " + name); }

private:
    std::vector<std::string>& m_log;
};

std::vector<std::string> NamesOf(const TMapList& list)
{
    std::vector<std::string> names;
    for (const TMap* map : list)
        names.push_back(map->GetName());
    return names;
}

}  // namespace

TEST(MapList, AddingANameAgainReplacesTheFirstMapOfThatName)
{
    std::vector<std::string> log;
    {
        TMapList list;
        EXPECT_EQ(list.Add(new TRecordingMap("NAA_map", log)), 1);
        EXPECT_EQ(list.Add(new TRecordingMap("Cho_map", log)), 2);
        auto* second = new TRecordingMap("NAA_map", log);
        EXPECT_EQ(list.Add(second), 2);
        EXPECT_EQ(log, std::vector<std::string>{"delete NAA_map"});
        EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"Cho_map", "NAA_map"}));
        EXPECT_EQ(list.GetAt(1), second);
        // Names differ by case: both stay.
        EXPECT_EQ(list.Add(new TRecordingMap("naa_map", log)), 3);
        // A null map and a map already held are not added again (nor deleted).
        EXPECT_EQ(list.Add(nullptr), 3);
        EXPECT_EQ(list.Add(second), 3);
        EXPECT_EQ(list.Find("NAA_map"), second);
        EXPECT_EQ(list.Find("Naa_map"), nullptr);
        log.clear();
    }
    // The list deletes what it holds.
    EXPECT_EQ(log, (std::vector<std::string>{"delete Cho_map", "delete NAA_map", "delete naa_map"}));
}

TEST(MapList, PositionsListedMapsAndUpdates)
{
    std::vector<std::string> log;
    TMapList list;
    list.Add(new TRecordingMap("a", log, TMap::kSaved));
    list.Add(new TRecordingMap("b", log, TMap::kNeverSaved));
    list.Add(new TRecordingMap("c", log, TMap::kChanged));
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(list.GetAt(3), nullptr);
    EXPECT_EQ(list.GetAt(2)->GetName(), "c");
    EXPECT_EQ(list.CountListed(), 2);
    EXPECT_EQ(list.ListedNames(), (std::vector<std::string>{"a", "c"}));
    list.UpdateAll();
    EXPECT_EQ(log, (std::vector<std::string>{"update a", "update b", "update c"}));
}

TEST(MapList, TheSetKeepsItsMapsAndFindsThemByExactName)
{
    std::vector<std::string> log;
    TCSISet set;
    EXPECT_FALSE(set.HasMaps());
    EXPECT_EQ(set.FindMap("NAA_map"), nullptr);
    set.UpdateMaps();  // nothing to update
    set.AddMap(nullptr);
    EXPECT_EQ(set.m_pMapList, nullptr);

    TCSISet other;
    auto* naa = new TRecordingMap("NAA_map", log);
    naa->csiSet = &other;
    set.AddMap(naa);
    ASSERT_NE(set.m_pMapList, nullptr);
    EXPECT_TRUE(set.HasMaps());
    EXPECT_EQ(naa->GetCSISet(), &set);  // a map is computed from the set that holds it
    EXPECT_EQ(set.FindMap("NAA_map"), naa);
    set.AddMap(new TRecordingMap("Cho_map", log, TMap::kSaved));
    EXPECT_EQ(set.ListedMapNames(), std::vector<std::string>{"Cho_map"});
    set.UpdateMaps();
    EXPECT_EQ(log, (std::vector<std::string>{"update NAA_map", "update Cho_map"}));
}

TEST(MapList, AComponentMapWithoutAnalysisKeepsItsValues)
{
    TCSISet set;
    auto* component = new TComponentMap(&set);
    EXPECT_EQ(component->method, kMapFromAnalysis);
    EXPECT_EQ(component->GetAnalysis(), nullptr);
    EXPECT_EQ(component->GetComponent(), 0);
    set.AddMap(component);
    auto* plain = vx::test::AddNamedMap(set, "plain");
    // Without an analysis there is nothing to recompute: the map keeps its values.
    const int dim[3] = {1, 1, 1};
    ASSERT_TRUE(component->SetGrid(dim, {TComplex(4, 0)}));
    set.UpdateMaps();
    EXPECT_EQ(component->Values()[0], TComplex(4, 0));
    EXPECT_FALSE(plain->HasValues());
}
