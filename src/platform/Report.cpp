#include "platform/Report.h"

#include <cstdio>
#include <exception>
#include <new>
#include <mutex>

#include "platform/Globals.h"

namespace vx {
namespace {
std::mutex& HandlerMutex()
{
    static std::mutex m;
    return m;
}
ReportHandler& Handler()
{
    static ReportHandler h;
    return h;
}

ReportAnswer Dispatch(const TReportRequest& request)
{
    ReportHandler handler;
    {
        std::lock_guard<std::mutex> lock(HandlerMutex());
        handler = Handler();
    }
    if (handler)
        return handler(request);
    std::fprintf(stderr, "%s\n", request.text.c_str());
    return request.defaultAnswer;
}
}  // namespace

ReportHandler SetReportHandler(ReportHandler handler)
{
    std::lock_guard<std::mutex> lock(HandlerMutex());
    ReportHandler old = std::move(Handler());
    Handler() = std::move(handler);
    return old;
}

void AppendBatchLog(const std::string& text, bool isError)
{
    g_batchLog += text;
    const bool endsWithCrLf = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    if (!endsWithCrLf)
        g_batchLog += "\r\n";
    if (isError)
        g_bBatchError = true;
}

void Report(const std::string& text, ReportIcon icon, BatchPolicy)
{
    if (g_bBatchMode) {
        AppendBatchLog(text, true);
        return;
    }
    TReportRequest request;
    request.text = text;
    request.icon = icon;
    request.buttons = ReportButtons::Ok;
    request.defaultAnswer = ReportAnswer::Ok;
    Dispatch(request);
}

void ReportCurrentException()
{
    std::string text;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        text = "The operation could not be completed because there is not enough memory.";
    } catch (const std::exception& e) {
        text = std::string("The operation could not be completed because of an internal error: ") + e.what();
    } catch (...) {
        text = "The operation could not be completed because of an unknown error.";
    }
    Report(text, ReportIcon::Error);
}

ReportAnswer Ask(const std::string& text, ReportButtons buttons, ReportAnswer defaultAnswer,
                 ReportIcon icon, const std::string& caption, const std::string& details)
{
    if (g_bBatchMode) {
        AppendBatchLog(text, true);
        return defaultAnswer;
    }
    TReportRequest request;
    request.text = text;
    request.caption = caption;
    request.icon = icon;
    request.buttons = buttons;
    request.defaultAnswer = defaultAnswer;
    request.details = details;
    return Dispatch(request);
}

}  // namespace vx
