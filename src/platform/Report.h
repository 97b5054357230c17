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
// Log: in batch mode the text goes to the batch log instead of a box.
// AlwaysBox: the caller insists on a box even while a batch runs.
enum class BatchPolicy { Log, AlwaysBox };

struct TReportRequest {
    std::string text;
    std::string caption;   // empty: the application's name
    ReportIcon icon = ReportIcon::Exclamation;
    ReportButtons buttons = ReportButtons::Ok;
    ReportAnswer defaultAnswer = ReportAnswer::Ok;
};

using ReportHandler = std::function<ReportAnswer(const TReportRequest&)>;

// Installs a handler and returns the previous one (empty for the default).
ReportHandler SetReportHandler(ReportHandler handler);

// Shows a message (OK only). In batch mode with BatchPolicy::Log the text is
// appended to g_batchLog with "\r\n" and g_bBatchError is set instead.
void Report(const std::string& text, ReportIcon icon = ReportIcon::Exclamation,
            BatchPolicy policy = BatchPolicy::Log);

// Asks a question and returns the answer. Questions are never routed to the batch log:
// callers that must not ask in batch mode check that themselves, as their rules say.
ReportAnswer Ask(const std::string& text, ReportButtons buttons, ReportAnswer defaultAnswer,
                 ReportIcon icon = ReportIcon::Question, const std::string& caption = {});

// Appends one line to the batch log ("\r\n" added unless present). An error line
// also sets g_bBatchError.
void AppendBatchLog(const std::string& text, bool isError = true);

}  // namespace vx
