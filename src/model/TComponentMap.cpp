#include "model/TComponentMap.h"

TComponentMap::TComponentMap(TCSISet* set) : TMap(set)
{
    method = kMapFromAnalysis;
}

TComponentMap::~TComponentMap() = default;

void TComponentMap::Update()
{
    if (!m_pAnalysis || !csiSet)
        return;
    const int kept[3] = {size[0], size[1], size[2]};
    if (!Compute(m_pAnalysis, m_nComponent))
        return;
    ResampleTo(kept);
    MarkChanged();
}

bool TComponentMap::Compute(TAnalysis* analysis, int component)
{
    // Not built yet: the scores and the voxel list come from the analysis classes, which
    // this program does not have so far. Until they exist no component map can be
    // made; the map is left untouched and the caller deletes it.
    (void)analysis;
    (void)component;
    return false;
}
