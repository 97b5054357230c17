// The main frame's commands that act on the active image window's picture, and Edit > Copy,
// which copies the picture of the active image or voxel window.
#include <QAction>
#include <QMdiArea>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "views/picture/CMainPicView.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/spectrum/CVoxelWndView.h"

void CMainFrame::ConnectImageWindowCommands()
{
    const struct {
        int command;
        void (CMainPicView::*handler)();
    } commands[] = {
        {cmd::FirstImage, &CMainPicView::OnFirstImage},   {cmd::LastImage, &CMainPicView::OnLastImage},
        {cmd::NextImage, &CMainPicView::OnNextImage},     {cmd::PreviousImage, &CMainPicView::OnPreviousImage},
        {cmd::ResetMapScale, &CMainPicView::OnResetMapScale}, {cmd::FilePrint, &CMainPicView::OnFilePrint},
    };
    for (const auto& c : commands)
        SetCommandHandler(c.command, [this, handler = c.handler] {
            if (CChildFrame* frame = ActiveImageFrame(); frame && frame->View())
                (frame->View()->*handler)();
        });
    SetCommandHandler(cmd::EditCopy, [this] {
        if (auto* voxel = qobject_cast<CVoxelWindow*>(m_mdiArea->currentSubWindow()); voxel && voxel->View())
            voxel->View()->OnEditCopy();
        else if (CChildFrame* frame = ActiveImageFrame(); frame && frame->View())
            frame->View()->OnEditCopy();
    });
}
