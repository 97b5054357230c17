#pragma once
// Several drawn regions taken as one: the union of their masks. The group owns its
// members.
#include <list>

#include "processing/TDrawnRegion.h"

class TDrawnRegionGroup : public TDrawnRegion {
public:
    TDrawnRegionGroup() = default;
    ~TDrawnRegionGroup() override;

    // Appends a member; the group owns it from then on (null is ignored).
    void AddRegion(TDrawnRegion* region);
    // Deletes every member.
    void DeleteAll();
    const std::list<TDrawnRegion*>& GetRegions() const { return m_regions; }

    // Every member in order.
    void Draw(IRegionView& view) const override;
    // A cell is 1 when it is 1 in any member's mask. An empty group gives an empty mask;
    // false when the mask is absent or any member fails.
    bool MakeVoxelMask(uint8_t* mask, int width, int height) const override;
    bool IsOnImage(const TMRImage* image) const override;

protected:
    void DrawShape(vx::TCanvas&, const std::vector<vx::TPointI>&) const override {}

private:
    std::list<TDrawnRegion*> m_regions;  // owned
};
