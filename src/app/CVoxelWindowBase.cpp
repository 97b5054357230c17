#include "app/CVoxelWindowBase.h"

#include <QMdiArea>

#include "app/CMainFrame.h"
#include "app/TVoxelWndList.h"

CVoxelWindowBase::CVoxelWindowBase(TVoxelWndList* ownerList, CChildFrame* childFrame, int kind)
    : CListedWindow(ownerList), m_pChildFrame(childFrame), m_nKind(kind)
{
}

bool CVoxelWindowBase::Create(CMainFrame* parent, const QRect& rect)
{
    if (!parent || !parent->MdiArea())
        return false;
    setWindowTitle(KindTitle(m_nKind));
    parent->MdiArea()->addSubWindow(this);
    setGeometry(rect);
    show();
    return true;
}

QString CVoxelWindowBase::KindTitle(int kind)
{
    switch (kind) {
    case kSingleVoxel: return "Single Voxel";
    case kMultipleVoxel: return "Multiple Voxel";
    case kAverageVoxel: return "Average Voxel";
    case kEstimatedVoxel: return "Estimated Voxel";
    default: return {};
    }
}
