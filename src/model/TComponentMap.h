#pragma once
// The map of one component of a multivariate analysis: the component's score of every
// analysed voxel. It belongs to its set's map list like any map; the analysis is not owned.
#include "model/TMap.h"

class TAnalysis;

class TComponentMap : public TMap {
public:
    explicit TComponentMap(TCSISet* set);
    ~TComponentMap() override;

    // Recomputes from the stored analysis and component, keeping the grid size; nothing
    // without an analysis or a set.
    void Update() override;

    // Fills the map with the scores of component `component` of the analysis.
    bool Compute(TAnalysis* analysis, int component);

    TAnalysis* GetAnalysis() const { return m_pAnalysis; }
    int GetComponent() const { return m_nComponent; }
    // Forgets the analysis (it is about to be deleted); the values stay.
    void DetachAnalysis() { m_pAnalysis = nullptr; }

private:
    TAnalysis* m_pAnalysis = nullptr;  // not owned
    int m_nComponent = 0;
};
