#include "processing/TDrawnRegionGroup.h"

#include <algorithm>
#include <cstring>

TDrawnRegionGroup::~TDrawnRegionGroup() { DeleteAll(); }

void TDrawnRegionGroup::AddRegion(TDrawnRegion* region)
{
    if (region)
        m_regions.push_back(region);
}

void TDrawnRegionGroup::DeleteAll()
{
    for (TDrawnRegion* region : m_regions)
        delete region;
    m_regions.clear();
}

void TDrawnRegionGroup::Draw(IRegionView& view) const
{
    for (const TDrawnRegion* region : m_regions)
        region->Draw(view);
}

bool TDrawnRegionGroup::MakeVoxelMask(uint8_t* mask, int width, int height) const
{
    if (!mask || width < 1 || height < 1)
        return false;
    const size_t cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::memset(mask, 0, cells);
    std::vector<uint8_t> scratch(m_regions.empty() ? 0 : cells);
    for (const TDrawnRegion* region : m_regions) {
        if (!region->MakeVoxelMask(scratch.data(), width, height))
            return false;
        for (size_t k = 0; k < cells; ++k)
            mask[k] = std::max(mask[k], scratch[k]);
    }
    return true;
}

bool TDrawnRegionGroup::IsOnImage(const TMRImage* image) const
{
    return TDrawnRegion::IsOnImage(image) ||
           std::any_of(m_regions.begin(), m_regions.end(), [&](const TDrawnRegion* r) { return r->IsOnImage(image); });
}
