#include "model/HLSVDLibrary.h"

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/Files.h"
#include "platform/Paths.h"

namespace vx {

namespace {

std::mutex g_pathMutex;
std::string g_libraryPath;  // empty: beside the executable, then the search path

std::string LibraryPathOverride()
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return g_libraryPath;
}

}  // namespace

void SetHLSVDLibraryPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_libraryPath = path;
}

bool OpenHLSVDLibrary(TDynamicLibrary& library, int& errorCode)
{
    const std::string chosen = LibraryPathOverride();
    std::vector<std::string> candidates;
    if (!chosen.empty())
        candidates.push_back(chosen);
    else
        candidates = {JoinPath(ExecutableFolder(), kHLSVDLibraryFile), kHLSVDLibraryFile};
    errorCode = 0;
    for (const std::string& path : candidates) {
        errno = 0;
        if (library.Open(path))
            return true;
        errorCode = errno;
    }
    return false;
}

THLSVDRoutine FindHLSVDRoutine(const TDynamicLibrary& library, int& errorCode)
{
    errno = 0;
    void* symbol = library.Symbol(kHLSVDRoutine);
    errorCode = symbol ? 0 : errno;
    return reinterpret_cast<THLSVDRoutine>(symbol);
}

}  // namespace vx
