#include "platform/TFolderSwap.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TFolderLock.h"

namespace vx {

namespace {

bool SomethingAt(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Takes the lock of a hidden folder before it is touched; Busy while another lock holds it.
TFolderSwap::TMend LockHidden(const std::string& folder, TFolderLock& lock)
{
    const TFolderLock::TResult held = lock.Acquire(folder);
    return held == TFolderLock::TResult::HeldElsewhere || held == TFolderLock::TResult::HeldHere
               ? TFolderSwap::TMend::Busy
               : TFolderSwap::TMend::Done;
}

TFolderSwap::TMend RemoveHidden(const std::string& folder)
{
    if (!FolderExists(folder))
        return TFolderSwap::TMend::Done;
    TFolderLock lock;
    if (LockHidden(folder, lock) == TFolderSwap::TMend::Busy)
        return TFolderSwap::TMend::Busy;
    errno = 0;
    if (RemoveFolderTree(folder))
        return TFolderSwap::TMend::Done;
    if (errno == 0)
        errno = ENOTEMPTY;  // removed without an error, yet something is there again
    return TFolderSwap::TMend::Failed;
}

}  // namespace

TFolderSwap::TFolderSwap(const std::string& folder) : m_folder(folder)
{
    std::string hidden = FileNameOf(folder);
    hidden.insert(0, 1, '.');  // built in place: GCC 12 warns falsely on "." + string
    m_build = JoinPath(FolderOf(folder), hidden + ".batch");
    m_retired = m_build + "-old";
}

TFolderSwap::TMend TFolderSwap::MendLeftovers()
{
    if (FolderExists(m_retired) && !SomethingAt(m_folder)) {
        TFolderLock lock;
        if (LockHidden(m_retired, lock) == TMend::Busy)
            return TMend::Busy;
        if (!PutFolderInPlace(m_retired, m_folder))
            return TMend::Failed;
    }
    const TMend build = RemoveHidden(m_build);
    if (build != TMend::Done)
        return build;
    return FolderExists(m_folder) ? RemoveHidden(m_retired) : TMend::Done;
}

bool TFolderSwap::KeepEntriesBeside(const std::vector<std::string>& own, std::string& failed)
{
    for (const TFolderEntry& entry : ListFolder(m_folder)) {
        const std::string to = JoinPath(m_build, entry.name);
        if (std::find(own.begin(), own.end(), entry.name) != own.end() || SomethingAt(to))
            continue;
        if (!LinkTreeInto(JoinPath(m_folder, entry.name), to)) {
            failed = entry.name;
            return false;
        }
        TFile::Step();
    }
    return true;
}

bool TFolderSwap::PutInPlace()
{
    if (PutFolderInPlace(m_build, m_folder)) {
        RemoveFolderTree(m_build);  // the earlier folder, exchanged with the new one
        return true;
    }
    const int error = errno;
    if (!IsUnsupportedRenameFlag(error) || !FolderExists(m_folder)) {
        errno = error;
        return false;
    }
    // Without an exchange the earlier folder steps aside first; a kill before the new one
    // is in place leaves it aside, which the next MendLeftovers puts back.
    if (!RenameFile(m_folder, m_retired))
        return false;
    TFile::Step();
    if (!PutFolderInPlace(m_build, m_folder)) {
        const int failure = errno;
        RenameFile(m_retired, m_folder);
        errno = failure;
        return false;
    }
    RemoveFolderTree(m_retired);
    return true;
}

}  // namespace vx
