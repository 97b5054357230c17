#include "app/dialogs/DialogRunner.h"

#include <QDialog>
#include <QMenu>

namespace vx::app {
namespace {
DialogRunner& Runner()
{
    static DialogRunner runner;
    return runner;
}
MenuRunner& PopupRunner()
{
    static MenuRunner runner;
    return runner;
}
}  // namespace

int RunDialog(QDialog& dialog)
{
    if (Runner())
        return Runner()(dialog);
    return dialog.exec();
}

DialogRunner SetDialogRunner(DialogRunner runner)
{
    DialogRunner old = std::move(Runner());
    Runner() = std::move(runner);
    return old;
}

QAction* RunMenu(QMenu& menu, const QPoint& globalPos)
{
    if (PopupRunner())
        return PopupRunner()(menu, globalPos);
    return menu.exec(globalPos);
}

MenuRunner SetMenuRunner(MenuRunner runner)
{
    MenuRunner old = std::move(PopupRunner());
    PopupRunner() = std::move(runner);
    return old;
}

}  // namespace vx::app
