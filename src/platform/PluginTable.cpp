#include "platform/PluginTable.h"

#include <mutex>

#include "platform/Files.h"
#include "platform/Paths.h"

namespace vx {
namespace {
using GetFileFormatFn = const char* (*)();
// Plug-ins declare the flag as a byte or a wider integer; only the low byte counts,
// and reading the whole return register as int is safe for both.
using EnableControlsFn = int (*)();

std::mutex& TableMutex()
{
    static std::mutex m;
    return m;
}
std::vector<TPluginRecord>& Published()
{
    static std::vector<TPluginRecord> table;
    return table;
}
}  // namespace

std::vector<TPluginRecord> LoadPluginFolder(const std::string& folder, std::string& failure)
{
    failure.clear();
    std::vector<TPluginRecord> plugins;
    if (!FolderExists(folder))
        return plugins;
    const std::string pattern = std::string("*") + SharedLibrarySuffix();
    const TFolderListing listing = ListFolder(folder, pattern);
    if (!listing.Whole()) {
        failure = "The plug-in folder " + folder + " cannot be listed: " + ListingErrorReason(listing.error) +
                  ". No reader plug-in is loaded.";
        return plugins;
    }
    for (const TFolderEntry& entry : listing.entries) {
        if (entry.isFolder || entry.name == "." || entry.name == "..")
            continue;
        auto library = std::make_shared<TDynamicLibrary>();
        if (!library->Open(JoinPath(folder, entry.name)))
            continue;
        auto getFormat = reinterpret_cast<GetFileFormatFn>(library->Symbol("GetFileFormat"));
        auto enableControls = reinterpret_cast<EnableControlsFn>(library->Symbol("EnableControls"));
        if (!getFormat || !enableControls)
            continue;  // the library is unloaded when `library` goes
        TPluginRecord record;
        const char* name = getFormat();
        record.strFormat = name ? name : "";
        record.bControls = (enableControls() & 0xff) != 0;
        record.hModule = std::move(library);
        plugins.push_back(std::move(record));
    }
    return plugins;
}

void FreePlugins(std::vector<TPluginRecord>& plugins)
{
    for (TPluginRecord& record : plugins)
        if (record.hModule)
            record.hModule->Close();
    plugins.clear();
}

void PublishPluginTable(const std::vector<TPluginRecord>& table)
{
    std::lock_guard<std::mutex> lock(TableMutex());
    Published() = table;
}

std::vector<TPluginRecord> PluginTable()
{
    std::lock_guard<std::mutex> lock(TableMutex());
    return Published();
}

}  // namespace vx
