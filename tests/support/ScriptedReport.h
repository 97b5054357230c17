#pragma once
// Test double of the report service: records every message and question and
// answers questions from a planned queue. An unplanned question fails the test.
#include <deque>
#include <string>
#include <vector>

#include "platform/Report.h"

namespace vx::test {

class TScriptedReport {
public:
    struct Entry {
        std::string text;
        ReportIcon icon;
        ReportButtons buttons;
        bool question;
    };

    TScriptedReport();
    ~TScriptedReport();
    TScriptedReport(const TScriptedReport&) = delete;
    TScriptedReport& operator=(const TScriptedReport&) = delete;

    // The next question is answered with `answer`.
    void PlanAnswer(ReportAnswer answer) { m_answers.push_back(answer); }
    // Questions without a planned answer get their default answer instead of failing.
    void AllowDefaults(bool allow = true) { m_allowDefaults = allow; }

    const std::vector<Entry>& Entries() const { return m_entries; }
    std::vector<std::string> Messages() const;   // texts of OK-only reports
    std::vector<std::string> Questions() const;  // texts of questions
    size_t Count() const { return m_entries.size(); }
    bool Contains(const std::string& text) const;
    size_t PlannedLeft() const { return m_answers.size(); }
    void Clear() { m_entries.clear(); }

private:
    ReportAnswer Answer(const TReportRequest& request);

    std::vector<Entry> m_entries;
    std::deque<ReportAnswer> m_answers;
    bool m_allowDefaults = false;
    ReportHandler m_previous;
};

}  // namespace vx::test
