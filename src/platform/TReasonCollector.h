#pragma once
// Gathers why an operation failed while it runs: the plain messages it reports (OK only)
// are held back instead of shown, and what libraries write to the standard error stream
// is caught. Questions still reach the user, headed by the subject when one is given (the
// file of several that a question is about). The caller shows one message of its own with
// the reasons after it, or the held messages as they were when the operation succeeded.
// Used on the user-interface thread; reports from other threads are held too.
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Report.h"

namespace vx {

class TReasonCollector {
public:
    explicit TReasonCollector(std::string subject = std::string());
    // Finish.
    ~TReasonCollector();
    TReasonCollector(const TReasonCollector&) = delete;
    TReasonCollector& operator=(const TReasonCollector&) = delete;

    // Ends the gathering: the handler before it is back, and the standard error stream
    // writes where it did (what was caught is passed on there too). Done once.
    void Finish();
    // The held messages, then the caught error lines (at most kMaxErrorLines), one a line.
    std::string Reasons() const;
    // Shows the held messages through the handler as they would have been shown.
    void ShowHeld() const;
    // True when the last thing the operation said was a question answered No or Cancel: an
    // operation that then fails was declined by the user, not refused for a reason.
    bool EndedOnADecline() const;

    static constexpr int kMaxErrorLines = 4;

private:
    void StartCatchingErrors();
    void StopCatchingErrors();

    ReportHandler m_previous;
    std::string m_subject;
    bool m_finished = false;
    mutable std::mutex m_mutex;
    std::vector<TReportRequest> m_held;
    // The number of held messages when a question was last answered No or Cancel; -1: none was.
    long m_heldAtDecline = -1;
    std::string m_errors;
    std::FILE* m_errorFile = nullptr;
    int m_savedErrorFd = -1;
};

// Adds one of the files an operation takes in through `add`, which reports why it fails. A
// failure is appended to `failed` as "name (reasons); " and its reasons are given back in
// `reasons`; a success shows the messages it gave as they were. A file the user declined at a
// question (its add failed right after a No) is no failure: it is not listed. Questions name
// the file when `nameQuestions` is set (one file of several).
bool AddNamingFailure(const std::string& name, bool nameQuestions, const std::function<bool()>& add,
                      std::string& failed, std::string* reasons = nullptr);
// The one message that lists the files that failed, as AddNamingFailure gathers them.
std::string FailedFilesMessage(const std::string& failed);

}  // namespace vx
