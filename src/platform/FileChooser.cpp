#include "platform/FileChooser.h"

#include "platform/Files.h"

namespace vx {
namespace {
FileChooserHandler& Handler()
{
    static FileChooserHandler h;
    return h;
}
}  // namespace

FileChooserHandler SetFileChooserHandler(FileChooserHandler handler)
{
    FileChooserHandler old = std::move(Handler());
    Handler() = std::move(handler);
    return old;
}

std::vector<std::string> ChooseFiles(const TFileRequest& request)
{
    if (!Handler())
        return {};
    return Handler()(request);
}

std::string ChooseFile(const TFileRequest& request)
{
    auto files = ChooseFiles(request);
    return files.empty() ? std::string() : files.front();
}

TFileRequest SaveFileRequest(const std::string& title, const std::string& filter, int filterIndex)
{
    TFileRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.title = title;
    request.filter = filter;
    request.filterIndex = filterIndex;
    request.folder = CurrentFolder();
    return request;
}

TFileRequest TextFileSaveRequest(const std::string& title, const std::string& textPattern)
{
    TFileRequest request = SaveFileRequest(title, "All Files (*.*)|*.*|Text Files(*.txt)|" + textPattern, 1);
    request.defaultExtension = ".txt";
    return request;
}

}  // namespace vx
