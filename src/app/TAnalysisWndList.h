#pragma once
// The list of analysis windows.
#include <functional>

#include "app/TWndList.h"

class CAnalysisWindowBase;
class TAnalysis;

class TAnalysisWndList : public TWndList {
public:
    using Factory = std::function<CAnalysisWindowBase*(TAnalysisWndList*, TAnalysis*)>;

    void SetMouseMode(int mode);
    // Each window's UpdateViews(a, b, 0).
    void UpdateAll(int a, int b);
    void SetUnit(int unit);

    // Makes a window for the analysis and adds it; null (nothing added) when the
    // window cannot be made.
    CAnalysisWindowBase* OpenNew(TAnalysis* analysis);

    // Installs the maker of analysis windows (empty: the analysis window).
    static Factory SetFactory(Factory factory);
};
