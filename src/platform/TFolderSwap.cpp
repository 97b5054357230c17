#include "platform/TFolderSwap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

#include "platform/FileFaults.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TRights.h"

namespace vx {

namespace {

// The longest mark a swap writes: four numbers of up to 20 digits and the spaces between.
constexpr int64_t kMarkBytes = 4 * 20 + 3;
// The name a folder on its way out takes inside the private folder that carries it away.
const char* const kGoneEntry = "gone";

std::string IdentityText(const TFileIdentity& identity)
{
    return std::to_string(identity.device) + " " + std::to_string(identity.inode);
}

TFileIdentity IdentityOf(const struct stat& st)
{
    return TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// Takes the lock of a hidden folder, open as `folder`, before it is touched: Done once
// held, Busy while another holds it. One that cannot be locked at all (one this user may
// not write, whose holder cannot then be seen) is Failed, errno set, and left as it is.
TFolderSwap::TMend TakeHidden(const TFolder& folder, TFolderLock& lock)
{
    switch (TFolderLock::OfferOf(lock.Acquire(folder))) {
    case TFolderLock::TOffer::Change: return TFolderSwap::TMend::Done;
    case TFolderLock::TOffer::Busy: return TFolderSwap::TMend::Busy;
    default: errno = lock.LastError() != 0 ? lock.LastError() : EAGAIN; return TFolderSwap::TMend::Failed;
    }
}

// 0 where `folder` stands at `name` in `in`; ESTALE where something else or nothing does;
// errno's number where what stands there cannot be looked at.
int NotHeldAt(const TFolder& in, const std::string& name, const TFolder& folder)
{
    switch (in.HoldsAt(name, folder)) {
    case TFolder::THas::Yes: return 0;
    case TFolder::THas::No: return ESTALE;
    case TFolder::THas::Failed: break;
    }
    return errno != 0 ? errno : EIO;
}

std::function<void()> LetGo(TFolderLock& lock)
{
    return [&lock] { lock.Release(); };
}

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
    : m_name(FileNameOf(folder)),
      m_buildName(FileNameOf(BuildFolderOf(folder))),
      m_retiredName(m_buildName + "-old"),
      m_goneName(m_buildName + "-gone."),
      m_markName(m_buildName + "-swap"),
      m_folder(folder),
      m_build(BuildFolderOf(folder)),
      m_retired(RetiredFolderOf(folder)),
      m_parent(TFolder::Open(FolderOf(folder), TFolder::kFollowLast))
{
    m_parentError = m_parent ? 0 : errno;
}

TFolderSwap::~TFolderSwap()
{
    if (m_letGoBuild)
        m_letGoBuild();
}

int TFolderSwap::LookAtFolder(struct stat& st) const
{
    return m_parent ? m_parent.Stat(m_name, st) : m_parentError;
}

bool TFolderSwap::OpenFolder()
{
    if (HoldsFolder())
        return true;
    if (!m_parent) {
        errno = m_parentError;
        return false;
    }
    m_held = m_parent.OpenFolder(m_name);
    return m_held.IsOpen();
}

TFolderLock::TResult TFolderSwap::LockFolder()
{
    if (!m_held)
        OpenFolder();  // a folder that does not open is not locked, for the error of its open
    return m_folderLock.Acquire(m_held);
}

int TFolderSwap::NotAt(const std::string& name, const TFolder& folder) const
{
    return NotHeldAt(m_parent, name, folder);
}

int TFolderSwap::Move(const std::string& from, const std::string& to, const TFolder& folder, bool inPlace,
                      const TFolder* into)
{
    if (const int error = NotAt(from, folder); error != 0)
        return error;
    const TFolder& in = into ? *into : m_parent;
    BeforeUse(m_parent.PathOf(from));
    const int error = inPlace ? PutFolderInPlace(m_parent, from, in, to) : m_parent.Rename(from, in, to);
    const int notThere = error == 0 ? NotHeldAt(in, to, folder) : 0;
    if (error != 0 || notThere == 0)
        return error;
    // Something else was put at `from` after the look, or what came to `to` cannot be told:
    // it goes back there.
    (void)(inPlace ? PutFolderInPlace(in, to, m_parent, from) : in.Rename(to, m_parent, from));
    return notThere;
}

std::optional<bool> TFolderSwap::PutInPlaceOfRetired() const
{
    struct stat folder {}, earlier {};
    int looked = m_parent.Stat(m_name, folder);
    if (looked == 0)
        looked = m_parent.Stat(m_retiredName, earlier);
    if (looked != 0 && looked != ENOENT) {
        errno = looked;
        return std::nullopt;
    }
    if (looked != 0)
        return false;
    // Only a file of a mark's size is read as one: a link, a FIFO or a long file at its name
    // is none of a swap's, nor is a file another user made, who may write any identities in
    // it (told by the file opened, never by a look at its name).
    TFile file;
    // The file is closed before errno is set: its close may set errno too.
    const auto failed = [&file](int error) {
        file.Close();
        errno = error != 0 ? error : EIO;
        return std::nullopt;
    };
    struct stat made {};
    if (!file.Open(m_parent, m_markName))
        return file.LastError() == ENOENT || !file.NotAFile().empty() ? std::optional<bool>(false)
                                                                        : failed(file.LastError());
    if (::fstat(::fileno(file.Handle()), &made) != 0)
        return failed(errno);
    if (!m_parent.MadeByThisUser(made))
        return false;
    std::string mark;
    TWholeFileFailure failure;
    if (!ReadWholeFile(file, mark, kMarkBytes, &failure))
        return failure.IsFault() ? failed(failure.error) : std::optional<bool>(false);
    return mark == IdentityText(IdentityOf(folder)) + " " + IdentityText(IdentityOf(earlier));
}

TFolderSwap::TMend TFolderSwap::RemoveHidden(const std::string& name)
{
    // What is no folder there (a link another user put at its name) is neither followed
    // nor taken for a swap's.
    const TFolder folder = m_parent.OpenFolder(name);
    if (!folder)
        return errno == ENOENT || errno == ELOOP || errno == ENOTDIR ? TMend::Done : TMend::Failed;
    // Another user who may write the parent may give any folder of theirs this name: it
    // stays theirs, whatever it holds.
    struct stat made {};
    if (::fstat(folder.Fd(), &made) != 0)
        return TMend::Failed;
    if (!m_parent.MadeByThisUser(made)) {
        m_left = {m_parent.PathOf(name), S_IFDIR, made.st_uid};
        return TMend::AnotherUsers;
    }
    TFolderLock lock;
    if (const TMend taken = TakeHidden(folder, lock); taken != TMend::Done)
        return taken;
    return Discard(folder, name, LetGo(lock)) ? TMend::Done : TMend::Failed;
}

bool TFolderSwap::Discard(const TFolder& folder, const std::string& name, const std::function<void()>& letGo)
{
    static std::atomic<unsigned> count{0};
    const std::string gone = m_goneName + std::to_string(::getpid()) + "." + std::to_string(++count);
    // The folder goes into a private folder of this user's, made for it under a name of its
    // own, as its one entry: what a later swap can tell as a swap's leftover (RemoveLeftover)
    // where anyone who may write the parent can give any folder such a name.
    const TFolder carrier = m_parent.MakePrivateFolder(gone);
    const int renamed = carrier ? Move(name, kGoneEntry, folder, false, &carrier) : errno != 0 ? errno : EIO;
    letGo();
    if (renamed == 0)
        TFile::Step();
    const int removed = renamed == 0 ? m_parent.RemoveTree(gone, carrier) : m_parent.RemoveTree(name, folder);
    if (carrier && renamed != 0)
        (void)m_parent.RemoveTree(gone, carrier);
    errno = removed;
    return removed == 0 || renamed == 0;
}

void TFolderSwap::RemoveLeftover(const std::string& name)
{
    // Only a folder that shows what this user's swap made, holding nothing but the folder it
    // carried away, or nothing: another study's project or the user's own private folder
    // renamed to such a name holds its files, and stays.
    const TFolder carrier = m_parent.OpenFolder(name);
    if (!carrier || !m_parent.ShowsMadePrivate(carrier))
        return;
    const TFolderListing listing = carrier.List();
    const std::vector<TFolderEntry>& entries = listing.entries;
    if (listing.Whole() &&
        (entries.empty() || (entries.size() == 1 && entries[0].name == kGoneEntry && entries[0].isFolder)))
        (void)m_parent.RemoveTree(name, carrier);
}

TFolderSwap::TMend TFolderSwap::MendLeftovers()
{
    if (!m_parent) {
        errno = m_parentError;
        return TMend::Unlisted;
    }
    // What earlier swaps could not remove goes first: nothing in it is anyone's.
    const TFolderListing listing = m_parent.List();
    if (!listing.Whole()) {
        errno = listing.error;
        return TMend::Unlisted;
    }
    for (const TFolderEntry& entry : listing.entries)
        if (entry.name.starts_with(m_goneName))
            RemoveLeftover(entry.name);
    // An earlier folder aside with nothing in its place is the folder's content where this
    // user's swap left it: it goes back, under its lock, which holds the folder from then on.
    struct stat st {};
    TFolder aside;
    struct stat asideShows {};
    // What cannot be looked at is never taken for nothing there: nothing is mended then.
    const TFolder::THas retired = m_parent.HasFolder(m_retiredName);
    if (retired == TFolder::THas::Failed)
        return TMend::Failed;
    const int atName = retired == TFolder::THas::Yes ? m_parent.Stat(m_name, st) : 0;
    if (atName != 0 && atName != ENOENT) {
        errno = atName;
        return TMend::Failed;
    }
    if (retired == TFolder::THas::Yes && atName == ENOENT) {
        aside = m_parent.OpenFolder(m_retiredName);
        if (!aside || ::fstat(aside.Fd(), &asideShows) != 0)
            return TMend::Failed;
    }
    // Told by the folder opened, not by what its name showed a moment before.
    if (aside && m_parent.MadeByThisUser(asideShows)) {
        if (const TMend taken = TakeHidden(aside, m_folderLock); taken != TMend::Done)
            return taken;
        // Opened again at its name, which names it and its files from now on.
        const int error = Move(m_retiredName, m_name, aside, true);
        m_held = error == 0 ? m_parent.OpenFolder(m_name) : TFolder();
        if (error != 0 || !m_held || m_held.Identity() != aside.Identity()) {
            m_folderLock.Release();
            m_held.Close();
            errno = error != 0 ? error : ESTALE;
            return TMend::Failed;
        }
    }
    const TMend build = RemoveHidden(m_buildName);
    if (build != TMend::Done)
        return build;
    // An earlier folder aside goes only once the one a swap put in its place is there:
    // beside any other (made by the user, a sync client) it is all there is of it.
    const TFolder::THas inPlace = m_parent.HasFolder(m_name);
    const TFolder::THas stillAside = inPlace == TFolder::THas::Yes ? m_parent.HasFolder(m_retiredName) : inPlace;
    if (stillAside == TFolder::THas::Failed)
        return TMend::Failed;
    if (stillAside == TFolder::THas::Yes) {
        // A mark that could not be read is kept, with the folder aside, for the next swap.
        const std::optional<bool> replaced = PutInPlaceOfRetired();
        if (!replaced)
            return TMend::Failed;
        if (const TMend retired = *replaced ? RemoveHidden(m_retiredName) : TMend::Done; retired != TMend::Done)
            return retired;
    }
    // The mark of a swap that ended on its way has told what it could. Until it goes, a
    // folder aside that came to bear the identities it names would be taken for one a swap
    // replaced: nothing is mended then.
    return RemoveMark();
}

TFolderSwap::TMend TFolderSwap::RemoveMark()
{
    // Told by what the name shows, a link not followed. Only a user who may remove this
    // user's mark can put a file of theirs in its place between the look and the removal,
    // and so lose it.
    struct stat st {};
    if (const int error = m_parent.Stat(m_markName, st); error == ENOENT) {
        return TMend::Done;
    } else if (error != 0) {
        errno = error;
        return TMend::Failed;
    }
    if (!m_parent.MadeByThisUser(st)) {
        m_left = {m_parent.PathOf(m_markName), st.st_mode & S_IFMT, st.st_uid};
        errno = EPERM;
        return TMend::AnotherUsers;
    }
    if (const int error = m_parent.Remove(m_markName); error != 0) {
        errno = error;
        return TMend::Failed;
    }
    return TMend::Done;
}

bool TFolderSwap::RetiredByAnotherUser() const
{
    struct stat st {};
    return m_parent && m_parent.Stat(m_retiredName, st) == 0 && S_ISDIR(st.st_mode) && !m_parent.MadeByThisUser(st);
}

const TFolder* TFolderSwap::MakeBuild(bool withHeldRights)
{
    if (!m_parent) {
        errno = m_parentError;
        return nullptr;
    }
    if (!HoldsFolder() || !withHeldRights) {
        m_buildFolder = m_parent.MakeFolder(m_buildName);
    } else {
        // In place of the folder held, it takes that one's rights and group, with every right
        // of its owner, who fills it: private first, then given them on its descriptor. They
        // are read through the folder held: another folder put at its name would lend its own.
        TRights rights;
        const TRights::TFound found = TRights::Of(m_held, std::string(), rights);
        if (found != TRights::TFound::There || !rights.OfFolder()) {
            if (found != TRights::TFound::Failed)
                errno = found == TRights::TFound::NotThere ? ENOENT : ENOTDIR;
            return nullptr;
        }
        TFolder made = m_parent.MakePrivateFolder(m_buildName);
        if (made && !rights.WithOwnerRights().GiveTo(made.Fd())) {
            // Kept private, it would keep out those the folder held lets in. One that cannot
            // be removed is an empty build folder, which the next swap's mend removes.
            const int error = errno;
            (void)m_parent.RemoveTree(m_buildName, made);
            errno = error;
            return nullptr;
        }
        m_buildFolder = std::move(made);
    }
    if (!m_buildFolder)
        return nullptr;
    // Its maker takes it from here, through its descriptor.
    BeforeUse(m_build);
    return &m_buildFolder;
}

void TFolderSwap::HoldBuild(std::function<void()> letGo)
{
    m_letGoBuild = std::move(letGo);
}

bool TFolderSwap::KeepEntriesBeside(const std::vector<std::string>& own, TTreeFailure& failure)
{
    // A folder that cannot be listed may hold anything of the user's: nothing is carried.
    const TFolderListing listing = m_held ? m_held.List() : TFolderListing{{}, EBADF};
    if (!listing.Whole()) {
        failure = {m_folder, true};
        errno = listing.error;
        return false;
    }
    struct stat st {};
    for (const TFolderEntry& entry : listing.entries) {
        if (std::find(own.begin(), own.end(), entry.name) != own.end())
            continue;
        // One the build holds already is its own; one whose place there cannot be looked at
        // is not carried, and the earlier folder stays.
        if (const int there = m_buildFolder.Stat(entry.name, st); there == 0) {
            continue;
        } else if (there != ENOENT) {
            failure = {m_held.PathOf(entry.name), false};
            errno = there;
            return false;
        }
        if (!LinkTreeInto(m_held, entry.name, m_buildFolder, entry.name, &failure))
            return false;
        TFile::Step();
    }
    return true;
}

bool TFolderSwap::WriteMark()
{
    // A mark is made new: what this user made at its name goes first, never followed, never
    // written into.
    if (RemoveMark() != TMend::Done)
        return false;
    BeforeUse(m_parent.PathOf(m_markName));
    int error = 0;
    {  // the file is closed before errno is set: its close may set errno too
        TFile mark;
        const int fd = m_parent.MakeFile(m_markName, O_WRONLY, 0666);
        if (fd < 0)
            error = errno;
        else if (!mark.Adopt(fd, m_parent.PathOf(m_markName), TFile::Mode::Write) ||
                 !mark.WriteText(IdentityText(m_buildFolder.Identity()) + " " + IdentityText(m_held.Identity())) ||
                 !mark.Close())
            error = mark.LastError() != 0 ? mark.LastError() : EIO;
    }
    errno = error;
    return error == 0;
}

bool TFolderSwap::PutInPlace()
{
    if (!m_buildFolder) {
        errno = ENOENT;
        return false;
    }
    if (!HoldsFolder()) {
        // A folder made there since it was found free is not this swap's to replace.
        struct stat st {};
        if (const int there = m_parent.Stat(m_name, st); there != ENOENT) {
            errno = there == 0 ? EEXIST : there;
            return false;
        }
        errno = Move(m_buildName, m_name, m_buildFolder, true);
        return errno == 0;
    }
    // A mark beside the folder names the build and the folder it replaces, so that a later
    // swap knows the one from the other once the earlier folder waits aside.
    if (const int error = NotAt(m_name, m_held); error != 0) {
        errno = error;
        return false;
    }
    if (!WriteMark())
        return false;
    const std::string earlierNow = Replace();
    if (earlierNow.empty()) {
        // The build is not in place: the mark has nothing to tell. One that stays names the
        // build as the folder in place, which no mend finds there; the next one removes it.
        const int error = errno;
        (void)m_parent.Remove(m_markName);
        errno = error;
        return false;
    }
    // The mark goes once the earlier folder is away. One that stays names that folder, gone,
    // as the one aside, which no mend finds there; the next one removes it.
    if (Discard(m_held, earlierNow, LetGo(m_folderLock)))
        (void)m_parent.Remove(m_markName);
    return true;
}

std::string TFolderSwap::Replace()
{
    int error = Move(m_buildName, m_name, m_buildFolder, true);
    if (error == 0)
        return m_buildName;  // exchanged with the new one
    if (!IsUnsupportedRenameFlag(error) || NotAt(m_name, m_held) != 0) {
        errno = error;
        return {};
    }
    // Without an exchange the earlier folder steps aside first, never over one kept there;
    // a kill before the new one is in place leaves it aside, which the next MendLeftovers
    // puts back.
    struct stat st {};
    if (const int there = m_parent.Stat(m_retiredName, st); there != ENOENT) {
        errno = there == 0 ? EEXIST : there;
        return {};
    }
    if ((error = Move(m_name, m_retiredName, m_held, false)) != 0) {
        errno = error;
        return {};
    }
    TFile::Step();
    if ((error = Move(m_buildName, m_name, m_buildFolder, true)) != 0) {
        Move(m_retiredName, m_name, m_held, true);
        errno = error;
        return {};
    }
    return m_retiredName;
}

void TFolderSwap::DropBuild()
{
    if (m_buildFolder && m_letGoBuild) {
        Discard(m_buildFolder, m_buildName, std::exchange(m_letGoBuild, {}));
    } else if (m_buildFolder) {
        // Made by this swap: only another program that holds it keeps it, not a lock that
        // cannot be taken.
        TFolderLock lock;
        if (TakeHidden(m_buildFolder, lock) != TMend::Busy)
            Discard(m_buildFolder, m_buildName, LetGo(lock));
    }
    if (m_letGoBuild)
        std::exchange(m_letGoBuild, {})();
}

}  // namespace vx
