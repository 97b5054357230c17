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

// A file system that offers what the flag of TFileFault names, or lacks it.
inline TFileFault FileSystemThat(bool TFileFault::*flag)
{
    TFileFault fault;
    fault.*flag = true;
    return fault;
}

// A file system that keeps a removed file still open as a hidden file in its folder (FUSE
// without hard_remove, NFS).
inline TFileFault OpenFilesStayHidden()
{
    TFileFault fault = FileSystemThat(&TFileFault::hidesOpenFiles);
    fault.calls = kFileRemove;
    fault.onward = true;
    return fault;
}

// Locks as an NFS client takes them: an exclusive lock needs a descriptor open for writing.
inline TFileFault LocksAsOnNFS() { return FileSystemThat(&TFileFault::locksNeedWrite); }

// A file system that keeps no entry's type in its folders: a listing asks for each.
inline TFileFault NoEntryTypes() { return FileSystemThat(&TFileFault::entryTypesUnknown); }

// A file system that keeps no ACLs (one mounted without them, many FUSE file systems).
inline TFileFault KeepsNoAcls() { return FileSystemThat(&TFileFault::noAcls); }

}  // namespace vx::test
