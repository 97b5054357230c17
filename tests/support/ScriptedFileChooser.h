#pragma once
// Test double of the file dialogs: answers every request with a planned path ("" as a
// cancelled dialog) and records the requests; the previous handler comes back with the
// object.
#include <string>
#include <vector>

#include "platform/FileChooser.h"

namespace vx::test {

class TScriptedFileChooser {
public:
    explicit TScriptedFileChooser(std::string answer = {}) : m_answer(std::move(answer))
    {
        m_previous = SetFileChooserHandler([this](const TFileRequest& request) {
            m_requests.push_back(request);
            return m_answer.empty() ? std::vector<std::string>{} : std::vector<std::string>{m_answer};
        });
    }
    ~TScriptedFileChooser() { SetFileChooserHandler(m_previous); }
    TScriptedFileChooser(const TScriptedFileChooser&) = delete;
    TScriptedFileChooser& operator=(const TScriptedFileChooser&) = delete;

    void Answer(std::string path) { m_answer = std::move(path); }
    const std::vector<TFileRequest>& Requests() const { return m_requests; }

private:
    std::string m_answer;
    std::vector<TFileRequest> m_requests;
    FileChooserHandler m_previous;
};

}  // namespace vx::test
