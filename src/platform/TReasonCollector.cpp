#include "platform/TReasonCollector.h"

#include <unistd.h>

#include <iostream>
#include <sstream>
#include <utility>

namespace vx {

TReasonCollector::TReasonCollector(std::string subject) : m_subject(std::move(subject))
{
    m_previous = SetReportHandler([this](const TReportRequest& request) {
        if (request.buttons == ReportButtons::Ok) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_held.push_back(request);
            return ReportAnswer::Ok;
        }
        TReportRequest question = request;
        if (!m_subject.empty())
            question.text = m_subject + ": " + question.text;
        ReportAnswer answer = question.defaultAnswer;
        if (m_previous)
            answer = m_previous(question);
        else
            std::fprintf(stderr, "%s\n", question.text.c_str());
        if (answer == ReportAnswer::No || answer == ReportAnswer::Cancel) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_heldAtDecline = long(m_held.size());
        }
        return answer;
    });
    StartCatchingErrors();
}

TReasonCollector::~TReasonCollector()
{
    Finish();
}

void TReasonCollector::Finish()
{
    if (m_finished)
        return;
    m_finished = true;
    StopCatchingErrors();
    SetReportHandler(m_previous);
}

void TReasonCollector::StartCatchingErrors()
{
    std::fflush(stderr);
    m_errorFile = std::tmpfile();
    if (!m_errorFile)
        return;
    m_savedErrorFd = ::dup(STDERR_FILENO);
    if (m_savedErrorFd < 0 || ::dup2(::fileno(m_errorFile), STDERR_FILENO) < 0) {
        if (m_savedErrorFd >= 0)
            ::close(m_savedErrorFd);
        m_savedErrorFd = -1;
        std::fclose(m_errorFile);
        m_errorFile = nullptr;
    }
}

void TReasonCollector::StopCatchingErrors()
{
    if (!m_errorFile)
        return;
    std::cerr.flush();
    std::fflush(stderr);
    ::dup2(m_savedErrorFd, STDERR_FILENO);
    ::close(m_savedErrorFd);
    m_savedErrorFd = -1;
    std::rewind(m_errorFile);
    char buffer[4096];
    size_t n = 0;
    std::string caught;
    // Only the start matters for a message; a library that writes a lot is cut short.
    while ((n = std::fread(buffer, 1, sizeof buffer, m_errorFile)) > 0 && caught.size() < 65536)
        caught.append(buffer, n);
    std::fclose(m_errorFile);
    m_errorFile = nullptr;
    std::fwrite(caught.data(), 1, caught.size(), stderr);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_errors = std::move(caught);
}

std::string TReasonCollector::Reasons() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string text;
    const auto add = [&text](std::string line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
            line.pop_back();
        if (line.empty())
            return false;
        if (!text.empty())
            text += '\n';
        text += line;
        return true;
    };
    for (const TReportRequest& request : m_held)
        add(request.text);
    std::istringstream errors(m_errors);
    int count = 0;
    for (std::string line; count < kMaxErrorLines && std::getline(errors, line);)
        count += add(line) ? 1 : 0;
    return text;
}

void TReasonCollector::ShowHeld() const
{
    std::vector<TReportRequest> held;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        held = m_held;
    }
    for (const TReportRequest& request : held)
        Report(request.text, request.icon);
}

bool TReasonCollector::EndedOnADecline() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heldAtDecline >= 0 && size_t(m_heldAtDecline) == m_held.size() && m_errors.empty();
}

bool AddNamingFailure(const std::string& name, bool nameQuestions, const std::function<bool()>& add,
                      std::string& failed, std::string* reasons)
{
    TReasonCollector collector(nameQuestions ? name : std::string());
    const bool added = add();
    collector.Finish();
    if (added) {
        collector.ShowHeld();
        return true;
    }
    if (collector.EndedOnADecline())
        return false;
    const std::string reason = collector.Reasons();
    failed += name + (reason.empty() ? "" : " (" + reason + ")") + "; ";
    if (reasons)
        *reasons = reason;
    return false;
}

std::string FailedFilesMessage(const std::string& failed)
{
    return "The following files could not be opened or were already added:\n" + failed;
}

}  // namespace vx
