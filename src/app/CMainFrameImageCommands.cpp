// The main frame's commands that act on the active image window's picture.
#include <QAction>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "views/CMainPicView.h"

void CMainFrame::ConnectImageWindowCommands()
{
    const struct {
        int command;
        void (CMainPicView::*handler)();
    } commands[] = {
        {cmd::FirstImage, &CMainPicView::OnFirstImage},   {cmd::LastImage, &CMainPicView::OnLastImage},
        {cmd::NextImage, &CMainPicView::OnNextImage},     {cmd::PreviousImage, &CMainPicView::OnPreviousImage},
        {cmd::ResetMapScale, &CMainPicView::OnResetMapScale}, {cmd::EditCopy, &CMainPicView::OnEditCopy},
        {cmd::FilePrint, &CMainPicView::OnFilePrint},
    };
    for (const auto& c : commands)
        SetCommandHandler(c.command, [this, handler = c.handler] {
            if (CChildFrame* frame = ActiveImageFrame(); frame && frame->View())
                (frame->View()->*handler)();
        });
}
