#pragma once
// Runs every modal dialog through a test function instead of its event loop, for the
// lifetime of the object; the function fills the dialog and returns its result.
#include <functional>

#include "app/DialogRunner.h"

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

}  // namespace vx::test
