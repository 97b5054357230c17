#include "support/ScriptedReport.h"

#include <gtest/gtest.h>

namespace vx::test {

TScriptedReport::TScriptedReport()
{
    m_previous = SetReportHandler([this](const TReportRequest& r) { return Answer(r); });
}

TScriptedReport::~TScriptedReport() { SetReportHandler(std::move(m_previous)); }

ReportAnswer TScriptedReport::Answer(const TReportRequest& request)
{
    const bool question = request.buttons != ReportButtons::Ok;
    m_entries.push_back({request.text, request.icon, request.buttons, question});
    if (!question)
        return ReportAnswer::Ok;
    if (!m_answers.empty()) {
        const ReportAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    if (!m_allowDefaults)
        ADD_FAILURE() << "Unplanned question: " << request.text;
    return request.defaultAnswer;
}

std::vector<std::string> TScriptedReport::Messages() const
{
    std::vector<std::string> out;
    for (const auto& e : m_entries)
        if (!e.question)
            out.push_back(e.text);
    return out;
}

std::vector<std::string> TScriptedReport::Questions() const
{
    std::vector<std::string> out;
    for (const auto& e : m_entries)
        if (e.question)
            out.push_back(e.text);
    return out;
}

bool TScriptedReport::Contains(const std::string& text) const
{
    for (const auto& e : m_entries)
        if (e.text == text)
            return true;
    return false;
}

}  // namespace vx::test
