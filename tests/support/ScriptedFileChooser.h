#pragma once
// Test double of the file dialogs: answers every request with the planned paths (none
// as a cancelled dialog) and records the requests; the previous handler comes back with
// the object.
#include <string>
#include <vector>

#include "platform/FileChooser.h"

namespace vx::test {

class TScriptedFileChooser {
public:
    explicit TScriptedFileChooser(std::string answer = {})
    {
        Answer(std::move(answer));
        m_previous = SetFileChooserHandler([this](const TFileRequest& request) {
            m_requests.push_back(request);
            if (request.chosenFilter)
                *request.chosenFilter = m_filter < 0 ? request.filterIndex : m_filter;
            return m_answers;
        });
    }
    ~TScriptedFileChooser() { SetFileChooserHandler(m_previous); }
    TScriptedFileChooser(const TScriptedFileChooser&) = delete;
    TScriptedFileChooser& operator=(const TScriptedFileChooser&) = delete;

    // One path ("" answers as a cancelled dialog), or several chosen together.
    void Answer(std::string path)
    {
        m_answers.clear();
        if (!path.empty())
            m_answers.push_back(std::move(path));
    }
    void Answer(std::vector<std::string> paths) { m_answers = std::move(paths); }
    // The filter the user leaves chosen; -1 keeps the one the dialog preselected.
    void AnswerFilter(int filter) { m_filter = filter; }
    const std::vector<TFileRequest>& Requests() const { return m_requests; }

private:
    std::vector<std::string> m_answers;
    int m_filter = -1;
    std::vector<TFileRequest> m_requests;
    FileChooserHandler m_previous;
};

}  // namespace vx::test
