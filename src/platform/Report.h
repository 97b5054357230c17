#pragma once
// The one service behind every message box and question of the program.
// The GUI installs a handler that shows a dialog; tests install a scripted one;
// without a handler, texts go to stderr and the default answer is returned.
#include <functional>
#include <string>

namespace vx {

enum class ReportIcon { None, Information, Exclamation, Error, Question };
enum class ReportButtons { Ok, YesNo, YesNoCancel, OkCancel };
enum class ReportAnswer { Ok, Yes, No, Cancel };
// AlwaysBox marks the kernel, quantitation and HLSVD messages, which are boxes of their
// own kind. A batch run waits on no box: while one runs, every text goes to the batch
// log whatever the policy.
enum class BatchPolicy { Log, AlwaysBox };

struct TReportRequest {
    std::string text;
    std::string caption;   // empty: the application's name
    ReportIcon icon = ReportIcon::Exclamation;
    ReportButtons buttons = ReportButtons::Ok;
    ReportAnswer defaultAnswer = ReportAnswer::Ok;
    // More of what the text sums up, shown on request in a part of the box that scrolls.
    std::string details;
};

using ReportHandler = std::function<ReportAnswer(const TReportRequest&)>;

// Installs a handler and returns the previous one (empty for the default).
ReportHandler SetReportHandler(ReportHandler handler);

// Shows a message (OK only). In batch mode the text is appended to g_batchLog with
// "\r\n" and g_bBatchError is set instead.
void Report(const std::string& text, ReportIcon icon = ReportIcon::Exclamation,
            BatchPolicy policy = BatchPolicy::Log);

// Asks a question and returns the answer. Callers whose rules differ in a batch run
// check g_bBatchMode themselves; a question that still comes while a batch runs is
// written to the batch log as an error line and answered with its default, so that no
// run waits for a user.
ReportAnswer Ask(const std::string& text, ReportButtons buttons, ReportAnswer defaultAnswer,
                 ReportIcon icon = ReportIcon::Question, const std::string& caption = {},
                 const std::string& details = {});

// Reports the exception being handled (call it inside a catch block) as an operation
// that could not be completed: for want of memory, for an internal error with its text,
// or for an unknown cause. Like Report, it goes to the batch log while a batch runs.
void ReportCurrentException();

// Appends one line to the batch log ("\r\n" added unless present). An error line
// also sets g_bBatchError.
void AppendBatchLog(const std::string& text, bool isError = true);

}  // namespace vx
