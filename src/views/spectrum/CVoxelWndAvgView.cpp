#include "views/spectrum/CVoxelWndAvgView.h"

#include <algorithm>

#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "platform/Globals.h"

CVoxelWndAvgView::CVoxelWndAvgView(QWidget* parent) : CVoxelWndView(parent) {}

CVoxelWndAvgView::~CVoxelWndAvgView()
{
    for (TSpectrum* voxel : m_avgVoxels)
        voxel->m_bAveraged = 0;
    for (TSpectrum* mean : m_voxels)
        delete mean;
    m_voxels.clear();
    m_avgVoxels.clear();
}

int CVoxelWndAvgView::AddVoxel(TSpectrum* voxel)
{
    if (voxel && std::find(m_avgVoxels.begin(), m_avgVoxels.end(), voxel) == m_avgVoxels.end()) {
        m_avgVoxels.push_back(voxel);
        Recompute();
    }
    return static_cast<int>(m_avgVoxels.size());
}

void CVoxelWndAvgView::Recompute()
{
    if (m_avgVoxels.empty())
        return;
    TSpectrum mean;
    mean.SetParameters(m_avgVoxels.front()->GetParameters());
    mean.AllocateZeroed(mean.m_nPoints);
    for (const TSpectrum* voxel : m_avgVoxels)
        mean.Add(*voxel);
    mean.Multiply(TComplex(1.0f / static_cast<float>(m_avgVoxels.size()), 0.0f));
    if (m_voxels.empty())
        m_voxels.push_back(new TSpectrum(mean));
    else
        *m_voxels.front() = mean;
}

void CVoxelWndAvgView::SetVoxelsMark(bool mark)
{
    for (TSpectrum* voxel : m_avgVoxels)
        voxel->m_bMark = mark ? 1 : 0;
}

void CVoxelWndAvgView::ClearVoxels()
{
    for (TSpectrum* voxel : m_avgVoxels) {
        voxel->m_bAveraged = 0;
        voxel->m_bMark = 0;
    }
    if (g_pProject)
        g_pProject->RedrawVoxelSet(m_avgVoxels);
    m_avgVoxels.clear();
}
