#include "platform/TFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Paths.h"

namespace vx {

TFolderLock::~TFolderLock() { Release(); }

const char* TFolderLock::FileName() { return ".vexara.lock"; }

TFolderLock::TResult TFolderLock::Acquire(const std::string& folder)
{
    if (Holds(folder))
        return TResult::Held;
    Release();
    // The lock file stays: removing it would let two holders lock two different files.
    const std::string path = JoinPath(folder, FileName());
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return TResult::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? TResult::HeldElsewhere : TResult::Unavailable;
    }
    m_fd = fd;
    m_folder = folder;
    return TResult::Held;
}

void TFolderLock::Release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_folder.clear();
}

}  // namespace vx
