#pragma once
// Runs every modal dialog through a test function instead of its event loop, for the
// lifetime of the object; the function fills the dialog and returns its result.
#include <QDialog>

#include <functional>

#include "app/dialogs/DialogRunner.h"

namespace vx::test {

class TDialogScript {
public:
    explicit TDialogScript(std::function<int(QDialog&)> fn)
    {
        m_old = vx::app::SetDialogRunner([this, fn](QDialog& d) {
            ++runs;
            return fn(d);
        });
    }
    ~TDialogScript() { vx::app::SetDialogRunner(std::move(m_old)); }
    TDialogScript(const TDialogScript&) = delete;
    TDialogScript& operator=(const TDialogScript&) = delete;

    int runs = 0;

private:
    vx::app::DialogRunner m_old;
};

#include <QDialog>

// What exec() does around a user's actions: shows the dialog (its show-time filling
// runs), lets `act` work on it as the user would (typing, then OK or Cancel), and hides
// it; returns its result.
template <class Dialog>
int ShowAndAct(QDialog& dialog, const std::function<void(Dialog&)>& act)
{
    dialog.show();
    if (auto* typed = dynamic_cast<Dialog*>(&dialog))
        act(*typed);
    dialog.hide();
    return dialog.result();
}

}  // namespace vx::test
