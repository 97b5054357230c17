#include "app/DialogRunner.h"

#include <QDialog>

namespace vx::app {
namespace {
DialogRunner& Runner()
{
    static DialogRunner runner;
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

}  // namespace vx::app
