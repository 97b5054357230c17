#pragma once
// The Qt side of the platform services: message boxes for the report service, file
// dialogs for the file chooser and the wait cursor. Installed by main(); tests keep
// their scripted services and use the builders below to check the dialogs' make-up.
#include <memory>
#include <string>

#include <QMessageBox>
#include <QString>

#include "platform/FileChooser.h"
#include "platform/Report.h"

class QFileDialog;

namespace vx::app {

void InstallQtServices();
// The file dialogs alone; returns the handler they replace.
FileChooserHandler InstallQtFileChooser();

// The message box of a request: text, caption ("Vexara" when empty), icon, buttons
// and default button, and the details behind a button of their own. The caller runs it.
std::unique_ptr<QMessageBox> MakeMessageBox(const TReportRequest& request, QWidget* parent);
ReportAnswer AnswerOf(int standardButton);

// The file dialog of a request. The caller runs it. A save dialog asks before a file is
// replaced (unless the request says not to) about the file the command writes.
std::unique_ptr<QFileDialog> MakeFileDialog(const TFileRequest& request, QWidget* parent);
// "Name (*.ext)|*.ext|All Files (*.*)|*.*" as Qt name filters: each entry shows its
// name with the pattern, and patterns match in either case ("*.TPJ" also finds x.tpj).
QStringList ToQtFilters(const std::string& filter);

}  // namespace vx::app
