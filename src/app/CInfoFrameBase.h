#pragma once
// What the main frame needs of the information window ("Info"). The user's close
// box hides it; it is made on first use and then kept.
#include <QCloseEvent>
#include <QMdiSubWindow>

#include "model/IInfoFrame.h"

class CChildFrame;
class TProject;

class CInfoFrameBase : public QMdiSubWindow, public IInfoFrame {
    Q_OBJECT
public:
    using QMdiSubWindow::QMdiSubWindow;

    // Shows the project's work set and the image of `frame` (null: no image frame active).
    virtual void UpdateFrom(TProject* project, CChildFrame* frame) = 0;

signals:
    void Hidden();

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        hide();
        emit Hidden();
    }
};
