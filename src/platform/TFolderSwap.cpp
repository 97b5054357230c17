#include "platform/TFolderSwap.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

#include "platform/Paths.h"
#include "platform/TFile.h"

namespace vx {

namespace {

bool SomethingAt(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string IdentityText(const TFileIdentity& identity)
{
    return std::to_string(identity.device) + " " + std::to_string(identity.inode);
}

// Takes the lock of a hidden folder before it is touched: Done once held, Busy while
// another holds it. One that cannot be locked at all (one this user may not write, whose
// holder cannot then be seen) is Failed, errno set, and left as it is.
TFolderSwap::TMend TakeHidden(const std::string& folder, TFolderLock& lock)
{
    switch (TFolderLock::OfferOf(lock.Acquire(folder))) {
    case TFolderLock::TOffer::Change: return TFolderSwap::TMend::Done;
    case TFolderLock::TOffer::Busy: return TFolderSwap::TMend::Busy;
    default: errno = lock.LastError() != 0 ? lock.LastError() : EAGAIN; return TFolderSwap::TMend::Failed;
    }
}

std::function<void()> LetGo(TFolderLock& lock)
{
    return [&lock] { lock.Release(); };
}

// Renames `folder`, which this process holds, to a name of its own beside it, lets the
// hold go and removes it then, when no descriptor of this program is open in it. One that
// cannot be renamed is removed where it is once the hold is let go; one that cannot be
// removed stays, under that name, for a later swap to remove. False (errno set) when the
// folder is still at its path.
bool Discard(const std::string& folder, const std::string& gonePrefix, const std::function<void()>& letGo)
{
    static std::atomic<unsigned> count{0};
    const std::string gone = JoinPath(FolderOf(folder), gonePrefix + std::to_string(::getpid()) + "." +
                                                            std::to_string(++count));
    const bool renamed = RenameFile(folder, gone);
    letGo();
    if (renamed)
        TFile::Step();
    return RemoveFolderTree(renamed ? gone : folder) || renamed;
}

}  // namespace

namespace {

// The build folder of a swap of `folder`: ".<name>.batch" beside it.
std::string BuildFolderOf(const std::string& folder)
{
    std::string hidden = FileNameOf(folder);
    hidden.insert(0, 1, '.');  // built in place: GCC 12 warns falsely on "." + string
    return JoinPath(FolderOf(folder), hidden + ".batch");
}

}  // namespace

std::string TFolderSwap::RetiredFolderOf(const std::string& folder)
{
    return BuildFolderOf(folder) + "-old";
}

TFolderSwap::TFolderSwap(const std::string& folder)
    : m_folder(folder), m_build(BuildFolderOf(folder)), m_retired(RetiredFolderOf(folder))
{
}

TFolderSwap::~TFolderSwap()
{
    if (m_letGoBuild)
        m_letGoBuild();
}

std::string TFolderSwap::GonePrefix() const
{
    return FileNameOf(m_build) + "-gone.";
}

std::string TFolderSwap::MarkFile() const
{
    return m_build + "-swap";
}

TFolderLock::TResult TFolderSwap::LockFolder()
{
    return m_folderLock.Acquire(m_folder);
}

std::optional<bool> TFolderSwap::PutInPlaceOf(const std::string& aside) const
{
    std::string mark;
    const std::optional<TFileIdentity> folder = FileIdentityOf(m_folder), earlier = FileIdentityOf(aside);
    if (!folder || !earlier)
        return false;
    TWholeFileFailure failure;
    if (!ReadWholeFile(MarkFile(), mark, 128, &failure)) {
        if (!failure.IsFault())
            return false;
        errno = failure.error != 0 ? failure.error : EIO;
        return std::nullopt;
    }
    return mark == IdentityText(*folder) + " " + IdentityText(*earlier);
}

TFolderSwap::TMend TFolderSwap::RemoveHidden(const std::string& folder)
{
    if (!FolderExists(folder))
        return TMend::Done;
    TFolderLock lock;
    if (const TMend taken = TakeHidden(folder, lock); taken != TMend::Done)
        return taken;
    return Discard(folder, GonePrefix(), LetGo(lock)) ? TMend::Done : TMend::Failed;
}

TFolderSwap::TMend TFolderSwap::MendLeftovers()
{
    // What earlier swaps could not remove goes first: nothing in it is anyone's.
    const std::string parent = FolderOf(m_folder);
    const TFolderListing listing = ListFolder(parent);
    if (!listing.Whole()) {
        errno = listing.error;
        return TMend::Unlisted;
    }
    for (const TFolderEntry& entry : listing.entries)
        if (entry.name.starts_with(GonePrefix()))
            RemoveFolderTree(JoinPath(parent, entry.name));
    // An earlier folder aside with nothing in its place is the folder's content: it goes
    // back, under its lock, which holds the folder from then on.
    if (FolderExists(m_retired) && !SomethingAt(m_folder)) {
        if (const TMend taken = TakeHidden(m_retired, m_folderLock); taken != TMend::Done)
            return taken;
        if (!PutFolderInPlace(m_retired, m_folder)) {
            const int error = errno;
            m_folderLock.Release();
            errno = error;
            return TMend::Failed;
        }
    }
    const TMend build = RemoveHidden(m_build);
    if (build != TMend::Done)
        return build;
    // An earlier folder aside goes only once the one a swap put in its place is there:
    // beside any other (made by the user, a sync client) it is all there is of it.
    if (FolderExists(m_folder) && FolderExists(m_retired)) {
        // A mark that could not be read is kept, with the folder aside, for the next swap.
        const std::optional<bool> replaced = PutInPlaceOf(m_retired);
        if (!replaced)
            return TMend::Failed;
        if (const TMend retired = *replaced ? RemoveHidden(m_retired) : TMend::Done; retired != TMend::Done)
            return retired;
    }
    // The mark of a swap that ended on its way has told what it could.
    if (SomethingAt(MarkFile()))
        RemoveFile(MarkFile());
    return TMend::Done;
}

void TFolderSwap::HoldBuild(std::function<void()> letGo)
{
    m_letGoBuild = std::move(letGo);
}

bool TFolderSwap::KeepEntriesBeside(const std::vector<std::string>& own, TTreeFailure& failure)
{
    // A folder that cannot be listed may hold anything of the user's: nothing is carried.
    const TFolderListing listing = ListFolder(m_folder);
    if (!listing.Whole()) {
        failure = {m_folder, true};
        errno = listing.error;
        return false;
    }
    for (const TFolderEntry& entry : listing.entries) {
        const std::string to = JoinPath(m_build, entry.name);
        if (std::find(own.begin(), own.end(), entry.name) != own.end() || SomethingAt(to))
            continue;
        if (!LinkTreeInto(JoinPath(m_folder, entry.name), to, &failure))
            return false;
        TFile::Step();
    }
    return true;
}

bool TFolderSwap::PutInPlace()
{
    if (!HoldsFolder()) {
        // A folder made there since it was found free is not this swap's to replace.
        if (SomethingAt(m_folder)) {
            errno = EEXIST;
            return false;
        }
        return PutFolderInPlace(m_build, m_folder);
    }
    // A mark beside the folder names the build and the folder it replaces, so that a later
    // swap knows the one from the other once the earlier folder waits aside.
    const std::optional<TFileIdentity> build = FileIdentityOf(m_build), earlier = FileIdentityOf(m_folder);
    TFile mark;
    if (!build || !earlier || !mark.Open(MarkFile(), TFile::Mode::Write) ||
        !mark.WriteText(IdentityText(*build) + " " + IdentityText(*earlier)) || !mark.Close()) {
        errno = mark.LastError() != 0 ? mark.LastError() : ENOENT;
        return false;
    }
    const std::string earlierNow = Replace();
    if (earlierNow.empty()) {
        // The build is not in place: the mark has nothing to tell.
        const int error = errno;
        RemoveFile(MarkFile());
        errno = error;
        return false;
    }
    // The mark goes once the earlier folder is away.
    if (Discard(earlierNow, GonePrefix(), LetGo(m_folderLock)))
        RemoveFile(MarkFile());
    return true;
}

std::string TFolderSwap::Replace()
{
    if (PutFolderInPlace(m_build, m_folder))
        return m_build;  // exchanged with the new one
    const int error = errno;
    if (!IsUnsupportedRenameFlag(error) || !FolderExists(m_folder)) {
        errno = error;
        return {};
    }
    // Without an exchange the earlier folder steps aside first, never over one kept there;
    // a kill before the new one is in place leaves it aside, which the next MendLeftovers
    // puts back.
    if (SomethingAt(m_retired)) {
        errno = EEXIST;
        return {};
    }
    if (!RenameFile(m_folder, m_retired))
        return {};
    TFile::Step();
    if (!PutFolderInPlace(m_build, m_folder)) {
        const int failure = errno;
        RenameFile(m_retired, m_folder);
        errno = failure;
        return {};
    }
    return m_retired;
}

void TFolderSwap::DropBuild()
{
    if (m_letGoBuild && FolderExists(m_build))
        Discard(m_build, GonePrefix(), std::exchange(m_letGoBuild, {}));
    else
        RemoveHidden(m_build);
    if (m_letGoBuild)
        std::exchange(m_letGoBuild, {})();
}

}  // namespace vx
