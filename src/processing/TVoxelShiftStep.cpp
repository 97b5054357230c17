#include "processing/TVoxelShiftStep.h"

#include <algorithm>

#include "model/TCSISet.h"
#include "model/math/TMixedRadixFFT.h"
#include "model/math/TPoint2D.h"
#include "model/TProject.h"
#include "platform/Globals.h"

TVoxelShiftStep::TVoxelShiftStep() : TWholeSetStep(kType, "vs", false, nullptr) {}

TVoxelShiftStep::TVoxelShiftStep(const float oldCentre[3], const float newCentre[3], bool recorded, TCSISet* pSet)
    : TWholeSetStep(kType, "vs", recorded, pSet)
{
    std::copy(oldCentre, oldCentre + 3, m_fOldCentre);
    std::copy(newCentre, newCentre + 3, m_fNewCentre);
}

void TVoxelShiftStep::SetNewCenter(const float centre[3])
{
    std::copy(centre, centre + 3, m_fNewCentre);
}

bool TVoxelShiftStep::Apply()
{
    if (!m_pDataSet)
        return false;
    TCSISet& set = *m_pDataSet;
    if (!set.IsLoaded())
        return false;
    // The two moves below cover all three axes; a length the FFT refuses is reported
    // here, once, before the first move changes anything.
    for (int axis = 0; axis < 3; ++axis)
        if (set.m_nDim[axis] > 1 && !TMixedRadixFFT::CheckFFTLength(set.m_nDim[axis]))
            return false;
    float centre[3] = {m_fNewCentre[0], m_fNewCentre[1], m_fNewCentre[2]};
    set.TransformPoint(centre, 2);
    // Slice axis 0 moves axes 1 and 2, slice axis 1 then axis 0 (axis 2 is already there).
    if (!set.ShiftVoxels(TPoint2D(centre[1], centre[2]), 0) || !set.ShiftVoxels(TPoint2D(centre[0], centre[2]), 1))
        return Applied(false);
    float shift[3] = {set.m_fVoxelShift[0], set.m_fVoxelShift[1], set.m_fVoxelShift[2]};
    set.TransformPoint(shift, 3);
    set.SetOffCentre(shift);
    set.ClearVoxelShift();
    FollowGrid(true);
    return true;
}

bool TVoxelShiftStep::Toggle(TStateChange change)
{
    if (!m_pDataSet)
        return false;
    float offCentre[3];
    std::copy(m_pDataSet->m_fOffCentre, m_pDataSet->m_fOffCentre + 3, offCentre);
    if (!SwapState(change))
        return false;
    for (int k = 0; k < 3; ++k) {
        m_fNewCentre[k] = m_fOldCentre[k];
        m_fOldCentre[k] = offCentre[k];
    }
    FollowGrid(false);
    return true;
}

void TVoxelShiftStep::FollowGrid(bool batchTest)
{
    TProject* pProject = m_pDataSet->GetProject();
    if (pProject) {
        pProject->LocateImagesInWorkSet();
        if (!(batchTest && g_bBatchMode))
            pProject->RefreshSliceFrameImages();
    }
    if (m_pDataSet->HasMaps())
        m_pDataSet->UpdateMaps();
    if (pProject)
        pProject->UpdateFrames(false, false, false, false, true);
}

std::vector<TMacroField> TVoxelShiftStep::Fields()
{
    return {TMacroField::Float("xCenterMoveTo(mm)", m_fNewCentre[0]),
            TMacroField::Float("yCenterMoveTo(mm)", m_fNewCentre[1]),
            TMacroField::Float("zCenterMoveTo(mm)", m_fNewCentre[2]),
            TMacroField::Float("xOldCenter(mm)", m_fOldCentre[0]),
            TMacroField::Float("yOldCenter(mm)", m_fOldCentre[1]),
            TMacroField::Float("zOldCenter(mm)", m_fOldCentre[2])};
}

bool TVoxelShiftStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroBlock(file, Fields());
}

void TVoxelShiftStep::WriteMacro(vx::TTextFile& file)
{
    WriteMacroBlock(file, kType, "#Voxel Shifting", Fields());
}
