#pragma once
// File faults armed for one scope of a test and disarmed however it ends.
#include <cerrno>
#include <vector>

#include "platform/FileFaults.h"

namespace vx::test {

class TFileFaultScope {
public:
    explicit TFileFaultScope(const std::vector<TFileFault>& faults) { SetFileFaults(faults); }
    ~TFileFaultScope() { SetFileFaults({}); }
    TFileFaultScope(const TFileFaultScope&) = delete;
    TFileFaultScope& operator=(const TFileFaultScope&) = delete;
};

// A file system that offers neither rename flag (NFS, many FUSE file systems).
inline TFileFault NoRenameFlags()
{
    return {kFileRenameFlags, EINVAL, 1, true};
}

}  // namespace vx::test
