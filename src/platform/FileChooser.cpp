#include "platform/FileChooser.h"

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

}  // namespace vx
