#pragma once
// Every modal dialog of the shell is run through this call, so that tests can fill
// and accept a dialog without entering its event loop. The default runs exec().
#include <functional>

class QDialog;

namespace vx::app {

// Returns QDialog::Accepted or QDialog::Rejected.
using DialogRunner = std::function<int(QDialog&)>;

int RunDialog(QDialog& dialog);

// Installs a runner (empty: exec()) and returns the previous one.
DialogRunner SetDialogRunner(DialogRunner runner);

}  // namespace vx::app
