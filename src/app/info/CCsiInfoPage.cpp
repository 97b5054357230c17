#include "app/info/CCsiInfoPage.h"

#include "app/info/OrientationCaption.h"
#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"

CCsiInfoPage::CCsiInfoPage(QWidget* parent)
    : CInfoPage({"CSI Set Name:", "CSI slice orientation:", "Matrix size:", "FOV(rl,ap,hf) [mm]:",
                 "Voxel size(rl,ap,hf) [mm]:", "Center(rl,ap,hf)[mm]:", "Angulation(rl,ap,hf):", "Exam Name:",
                 "TR (ms):", "TE (ms):"},
                parent)
{
}

void CCsiInfoPage::Fill(const TCSISet* pSet)
{
    if (!pSet) {
        SetUnavailable();
        return;
    }
    const TCSISet& s = *pSet;
    float voxel[3];
    float volume = 0.001f;
    for (int d = 0; d < 3; ++d) {
        voxel[d] = s.m_nDim[d] > 0 ? s.m_fFOV[d] / static_cast<float>(s.m_nDim[d]) : 0.0f;
        volume *= voxel[d];
    }
    SetTexts({
        s.GetName(),
        vx::app::OrientationCaption(s.m_nSliceAxis),
        Joined({std::to_string(s.m_nDim[0]), std::to_string(s.m_nDim[1]), std::to_string(s.m_nDim[2])}),
        Joined(s.m_fFOV, 1),
        Joined(voxel, 1) + " (" + FloatToString(volume, 2) + "cc)",
        Joined(s.m_fOffCentre, 2),
        Joined(s.m_fAngulation, 2),
        s.m_strExamName,
        FloatToString(s.m_fTR, 2),
        FloatToString(s.m_fTE, 2),
    });
}
