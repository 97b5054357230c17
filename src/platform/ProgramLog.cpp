#include "platform/ProgramLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace vx {
namespace {

// The standard error stream as the program got it, taken before anything can redirect it.
const int g_logDescriptor = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);

}  // namespace

void WriteToLog(const std::string& line)
{
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    const std::string text = line + "\n";
    if (g_logDescriptor < 0) {
        std::fputs(text.c_str(), stderr);
        return;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(g_logDescriptor, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

}  // namespace vx
