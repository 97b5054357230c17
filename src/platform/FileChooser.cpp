#include "platform/FileChooser.h"

#include "platform/Files.h"
#include "platform/Paths.h"

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
    std::vector<std::string> chosen = Handler()(request);
    if (request.save && request.finalPath)
        for (std::string& path : chosen)
            path = request.finalPath(path);
    return chosen;
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
    request.finalPath = [](const std::string& path) { return WithExtensionIfMissing(path, ".txt"); };
    return request;
}

}  // namespace vx
