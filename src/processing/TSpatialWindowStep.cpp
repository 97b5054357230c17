#include "processing/TSpatialWindowStep.h"

#include <vector>

#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "processing/MacroFile.h"

TSpatialWindowStep::TSpatialWindowStep(int type, const char* title, bool recorded, TCSISet* pSet)
    : TWholeSetStep(type, "sf", recorded, pSet), m_pszTitle(title)
{
}

void TSpatialWindowStep::WindowParams(int, float& p1, float& p2) const
{
    p1 = 0.0f;
    p2 = 0.0f;
}

bool TSpatialWindowStep::Apply()
{
    if (!m_pDataSet)
        return false;
    TCSISet& set = *m_pDataSet;
    std::vector<int> axes;
    if (set.m_nSpatialDims == 3) {
        axes = {0, 1, 2};
    } else if (set.m_nSpatialDims == 2) {
        int a = 0, b = 0;
        if (TMRImage::InPlaneAxes(set.m_nSliceAxis, a, b))
            axes = {a, b};
    }
    for (int axis : axes) {
        float p1 = 0.0f, p2 = 0.0f;
        WindowParams(set.m_nDim[axis], p1, p2);
        if (!set.SpatialFilter(axis, WindowType(), p1, p2))
            return Applied(false);
    }
    return true;
}

bool TSpatialWindowStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroKeyLines(file, nullptr);
}

void TSpatialWindowStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, m_nKind, m_pszTitle, {});
}
