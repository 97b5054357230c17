#include "platform/TFileTransaction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TFolderLock.h"

namespace vx {

namespace {

// The journal: this first line, one line per change in the order they are made, and
// the last line. A rename is "rename" TAB staged file (a name in the work folder) TAB
// target (a name in the folder) TAB what identifies the staged file (TContentIdentity); a
// removal is "remove" TAB target.
const char* const kJournalHeader = "Vexara file journal 3";
// The same with the staged file identified by its inode (TInodeIdentity).
const char* const kInodeJournalHeader = "Vexara file journal 2";
// The journal of earlier versions: the lines are "staged file" TAB "target", both names in
// the journal's folder, and a staged file that is gone was renamed.
const char* const kOldJournalHeader = "Vexara file journal 1";
const char* const kJournalEnd = "end";
const char* const kWorkFolderName = ".vexara";
const char* const kJournalName = "journal";
// A journal is a few lines per file; anything larger is not one.
constexpr int64_t kMaxJournalBytes = int64_t{1} << 20;

std::atomic<bool> g_folderSyncsFail{false};

// Makes the renames and removals in the folder so far survive a power cut as well; the
// system's error number when it could not, else 0. A folder that this user may write and
// enter but not read is synced with its whole file system, through `inside`, a file in
// `insideOf` (else in the folder) that this program made.
int SyncFolder(const TFolder& folder, const std::string& inside, const TFolder* insideOf = nullptr)
{
    if (g_folderSyncsFail.load())
        return EIO;
    return folder.Sync(inside, insideOf);
}

// What told a staged file from any other in journals of layout 2: its inode, size and
// time of last change. Only its inode says for sure that a file is the one renamed (a
// rename keeps it, another file has its own); a copy of the folder has new inodes.
struct TInodeIdentity {
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t seconds = 0, nanoseconds = 0;

    static bool Parse(const std::string& text, TInodeIdentity& id)
    {
        char end = 0;
        return std::sscanf(text.c_str(), "%" SCNu64 ":%" SCNd64 ":%" SCNd64 ".%" SCNd64 "%c", &id.inode, &id.size,
                           &id.seconds, &id.nanoseconds, &end) == 4 &&
               id.size >= 0;
    }
    bool SurelyIs(const TInodeIdentity& other) const
    {
        return inode == other.inode && size == other.size && seconds == other.seconds &&
               nanoseconds == other.nanoseconds;
    }
};

// The inode identity of the regular file `name` in `folder`: 0, ENOENT where there is none,
// or errno's number where it cannot be looked at.
int InodeIdentityOf(const TFolder& folder, const std::string& name, TInodeIdentity& id)
{
    struct stat st {};
    if (const int error = folder.Stat(name, st); error != 0)
        return error;
    if (!S_ISREG(st.st_mode))
        return ENOENT;
    id.inode = static_cast<uint64_t>(st.st_ino);
    id.size = static_cast<int64_t>(st.st_size);
    id.seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    id.nanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
    return 0;
}

// What tells a staged file from any other wherever the folder is copied, whatever the
// file system makes of inodes and times: its size and a checksum of its bytes, two
// 64-bit sums ("size:sum" with the sum in 32 hex digits).
struct TContentIdentity {
    int64_t size = -1;
    uint64_t sum[2] = {0, 0};

    std::string Text() const
    {
        char text[64];
        std::snprintf(text, sizeof text, "%" PRId64 ":%016" PRIx64 "%016" PRIx64, size, sum[0], sum[1]);
        return text;
    }
    static bool Parse(const std::string& text, TContentIdentity& id)
    {
        const size_t colon = text.find(':');
        if (colon == std::string::npos || text.size() != colon + 33 ||
            text.find_first_not_of("0123456789abcdef", colon + 1) != std::string::npos)
            return false;
        char end = 0;
        return std::sscanf(text.c_str(), "%" SCNd64 ":%16" SCNx64 "%16" SCNx64 "%c", &id.size, &id.sum[0], &id.sum[1],
                           &end) == 3 &&
               id.size >= 0;
    }
    bool operator==(const TContentIdentity& other) const = default;
};

uint64_t RotateLeft(uint64_t v, int bits) { return (v << bits) | (v >> (64 - bits)); }

// Spreads every bit of v over all bits of the result.
uint64_t Avalanche(uint64_t v)
{
    v ^= v >> 33;
    v *= 0xFF51AFD7ED558CCDull;
    v ^= v >> 33;
    v *= 0xC4CEB9FE1A85EC53ull;
    return v ^ (v >> 33);
}

// The content identity of the regular file open as fd, read from its start without moving
// its position (the caller may read it next); false when it cannot be read.
bool ContentIdentityOfOpen(int fd, TContentIdentity& id)
{
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    constexpr uint64_t kOdd1 = 0x9E3779B185EBCA87ull, kOdd2 = 0xC2B2AE3D27D4EB4Full;
    uint64_t a = kOdd1, b = kOdd2;
    int64_t size = 0;
    // One buffer a thread, kept: a new one each time, made while a copy's own buffer is
    // live, came from fresh pages of the system, and their faults cost more than the reads.
    thread_local std::vector<unsigned char> buffer(size_t{1} << 20);  // a multiple of the word
    for (bool more = ok; more;) {
        size_t filled = 0;
        while (filled < buffer.size()) {
            const off_t at = static_cast<off_t>(size) + static_cast<off_t>(filled);
            const ssize_t n = ::pread(fd, buffer.data() + filled, buffer.size() - filled, at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = n == 0;
                more = false;
                break;
            }
            filled += static_cast<size_t>(n);
        }
        size += static_cast<int64_t>(filled);
        // A last word cut short is filled up with zeros; the size tells it apart.
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(filled),
                  buffer.begin() + static_cast<std::ptrdiff_t>((filled + 7) & ~size_t{7}), 0);
        for (size_t i = 0; i < filled; i += 8) {
            uint64_t word;
            std::memcpy(&word, buffer.data() + i, sizeof word);
            a = RotateLeft(a ^ (word * kOdd2), 31) * kOdd1;
            b = RotateLeft(b + (word ^ kOdd1), 27) * kOdd2 + a;
        }
    }
    if (!ok)
        return false;
    id.size = size;
    id.sum[0] = Avalanche(a ^ static_cast<uint64_t>(size));
    id.sum[1] = Avalanche(b ^ Avalanche(a + kOdd2));
    return true;
}

// The content identity of the regular file `name` in the folder open as folderFd (AT_FDCWD:
// a path), never through a link; false when it cannot be read.
bool ContentIdentityOf(int folderFd, const std::string& name, TContentIdentity& id)
{
    // Never waiting on a FIFO: what is not a regular file is refused by the read.
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool ok = ContentIdentityOfOpen(fd, id);
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

bool ContentIdentityOf(const TFolder& folder, const std::string& name, TContentIdentity& id)
{
    return ContentIdentityOf(folder.Fd(), name, id);
}


// A change a journal records, by the names it gives: the staged file (empty for a
// removal) and the target, a file of the folder.
struct TJournalEntry {
    std::string staged, target;
};

// The one check of a journal's entries, made before a journal is written and again before
// one is completed: each target a plain name of the folder, each staged file a staged
// name of its own target, and each target changed by one entry only (two new files for
// one target, or a new file and a removal, would leave it to their order which stays).
// `beside`: the staged files lie beside their targets under hidden names (the earlier
// layout), not in the work folder, where they have no leading dot. The index of the first
// entry that fails; -1 when every one passes.
std::ptrdiff_t FirstInvalidEntry(const std::vector<TJournalEntry>& entries, bool beside)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        const TJournalEntry& entry = entries[i];
        std::string stagedTarget;
        if (!IsSafeFileComponent(entry.target) ||
            (!entry.staged.empty() &&
             (!IsSafeFileComponent(entry.staged) ||
              !TAtomicFile::IsTempFileName(beside ? entry.staged : "." + entry.staged, stagedTarget) ||
              stagedTarget != entry.target)) ||
            std::any_of(entries.begin() + static_cast<std::ptrdiff_t>(i) + 1, entries.end(),
                        [&](const TJournalEntry& other) { return other.target == entry.target; }))
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));  // no line end: a cut journal
            lines.back() += '\r';                 // never matches the last line
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// An entry of a journal: a staged file (a name in the work folder) to put in place over its
// target (a name in the folder), or (from empty) a target to remove.
struct TEntry {
    std::string from, to;
    bool renamed = false;  // the staged file is in place already
};

using TFailure = TFileTransaction::TRecoveryFailure;

TFileTransaction::TRecovery Refuse(TFailure& failure, TFailure::TKind kind, const std::string& path, int error,
                                   TFileTransaction::TCall call = TFileTransaction::TCall::Write)
{
    failure = {kind, path, error, call};
    return TFileTransaction::TRecovery::Damaged;
}

// 0 when this user may write the folder open as `folder`, else why not.
int WriteAccessError(const TFolder& folder)
{
    return ::faccessat(folder.Fd(), ".", W_OK, 0) == 0 ? 0 : errno;
}

// Makes the entries of the journal `journal` in `work` (the folder's work folder, or the
// folder itself for the journal of earlier versions) and removes the journal. Whatever the
// folder would refuse is found before anything is changed: a half made journal would
// leave a mix that is neither the old nor the new project.
TFileTransaction::TRecovery Complete(const TFolder& folder, const TFolder& work, const std::string& journal,
                                     const std::vector<TEntry>& entries, TFailure& failure)
{
    using TKind = TFailure::TKind;
    bool changesFolder = false;
    using TCall = TFileTransaction::TCall;
    using THas = TFolder::THas;
    for (const TEntry& entry : entries) {
        // A target that cannot be looked at may be a folder in the way: nothing is made.
        const TCall call = entry.from.empty() ? TCall::Remove : TCall::Rename;
        const THas isFolder = folder.HasFolder(entry.to);
        const THas isFile = entry.from.empty() && isFolder == THas::No ? folder.HasFile(entry.to) : THas::No;
        if (isFolder == THas::Failed || isFile == THas::Failed)
            return Refuse(failure, TKind::Unwritable, folder.PathOf(entry.to), errno, call);
        if (isFolder == THas::Yes)
            return Refuse(failure, TKind::Unwritable, folder.PathOf(entry.to), EISDIR);
        changesFolder = changesFolder || (entry.from.empty() ? isFile == THas::Yes : !entry.renamed);
    }
    for (const TFolder* where : {changesFolder ? &folder : nullptr, &work})
        if (const int error = where ? WriteAccessError(*where) : 0; error != 0)
            return Refuse(failure, TKind::Unwritable, where->Path(), error);
    for (const TEntry& entry : entries) {
        if (const int error = entry.from.empty() ? folder.Remove(entry.to)
                              : entry.renamed    ? 0
                                                 : work.Rename(entry.from, folder, entry.to);
            error != 0)
            return Refuse(failure, TKind::Unwritable, folder.PathOf(entry.to), error,
                          entry.from.empty() ? TCall::Remove : TCall::Rename);
    }
    // Every entry is made. A disk that fails the folder's sync (an I/O error) may have lost
    // the change: the journal stays, the only record of it, and the next open tries again.
    // A folder the system cannot sync at all (the call not supported, nothing in it to sync
    // through) does not keep it: it would keep the folder's project from opening for good,
    // for a change that is in place and that the system writes out in its own time.
    for (const TFolder* where : {&folder, &work})
        if (const int error = SyncFolder(*where, journal, &work); error == EIO)
            return Refuse(failure, TKind::Unwritable, where->Path(), error, TCall::SyncFolder);
    if (const int error = work.Remove(journal); error != 0)
        return Refuse(failure, TKind::Unwritable, work.PathOf(journal), error, TCall::RemoveJournal);
    return TFileTransaction::TRecovery::Completed;
}

// 0 while `work` is the folder at the work folder's name in `folder`; else ENOTDIR where
// something other than a folder stands there, ESTALE where another folder does, or why
// nothing could be looked at there.
int WorkFolderAwayError(const TFolder& folder, const TFolder& work)
{
    struct stat st {};
    if (const int error = folder.Stat(kWorkFolderName, st); error != 0)
        return error;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    const TFileIdentity there{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return there == work.Identity() ? 0 : ESTALE;
}

// What stands at `name` in `folder`, links not followed, in a few words; empty for a folder
// or nothing.
std::string WhatIsThereInsteadOfAFolder(const TFolder& folder, const std::string& name)
{
    struct stat st {};
    if (!folder || folder.Stat(name, st) != 0 || S_ISDIR(st.st_mode))
        return std::string();
    return WhatIsThere(st.st_mode);
}

// Completes the journal `name` in `in`: the work folder of `folder`, or (`beside`, the
// journal of earlier versions) the folder itself.
TFileTransaction::TRecovery CompleteJournal(const TFolder& folder, const TFolder& in, const std::string& name,
                                            bool beside, TFailure& why)
{
    using TKind = TFailure::TKind;
    using TRecovery = TFileTransaction::TRecovery;
    const std::string journalPath = in.PathOf(name);
    struct stat st {};
    // A work folder this user may not search holds nothing it could complete.
    const int looked = in.Stat(name, st);
    if (looked == ENOENT || looked == EACCES || looked == EPERM)
        return TRecovery::None;
    if (looked != 0)
        return Refuse(why, TKind::NotRead, journalPath, looked);
    // Something other than a file under the journal's name cannot be completed.
    if (!S_ISREG(st.st_mode))
        return Refuse(why, TKind::Unreadable, journalPath, S_ISDIR(st.st_mode) ? EISDIR : 0);
    // Whoever may write the work folder may put a journal there: only one this user made is
    // read, told by the file opened, and it changes only what this user may change itself.
    const auto anotherUsers = [&](const std::string& path, uid_t owner) {
        Refuse(why, TKind::AnotherUsers, path, 0);
        why.owner = owner;
        return TRecovery::Damaged;
    };
    if (!in.MadeByThisUser(st))
        return anotherUsers(journalPath, st.st_uid);
    std::string text;
    TWholeFileFailure notRead;
    TFile journal;
    if (!journal.Open(in, name))
        return journal.LastError() == ENOENT ? Refuse(why, TKind::Unreadable, journalPath, 0)
                                             : Refuse(why, TKind::NotRead, journalPath, journal.LastError());
    struct stat opened {};
    if (::fstat(::fileno(journal.Handle()), &opened) != 0)
        return Refuse(why, TKind::NotRead, journalPath, errno);
    if (!in.MadeByThisUser(opened))
        return anotherUsers(journalPath, opened.st_uid);
    if (!ReadWholeFile(journal, text, kMaxJournalBytes, &notRead))
        return notRead.IsFault() ? Refuse(why, TKind::NotRead, journalPath, notRead.error != 0 ? notRead.error : EIO)
                                 : Refuse(why, TKind::Unreadable, journalPath, 0);
    journal.Close();
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.size() < 2 || lines.back() != kJournalEnd)
        return Refuse(why, TKind::Unreadable, journalPath, 0);
    const bool old = lines.front() == kOldJournalHeader, byContent = lines.front() == kJournalHeader;
    if (!old && !byContent && lines.front() != kInodeJournalHeader)
        return Refuse(why, TKind::Unreadable, journalPath, 0);
    // Each layout in its own place only: in any other (a present journal beside the files,
    // an earlier one in a work folder) its names would change the files of another folder.
    if (old != beside)
        return Refuse(why, TKind::Unreadable, journalPath, 0);
    // Its lines: "staged file" TAB "target" in the earlier layout; "rename", the staged
    // file, the target and its identity, or "remove" and the target in the others.
    std::vector<TJournalEntry> named;
    std::vector<std::string> identities;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> fields = SplitTabs(lines[i]);
        if (old && fields.size() == 2 && !fields[0].empty())
            named.push_back({fields[0], fields[1]});
        else if (!old && fields.size() == 4 && fields[0] == "rename" && !fields[1].empty())
            named.push_back({fields[1], fields[2]});
        else if (!old && fields.size() == 2 && fields[0] == "remove")
            named.push_back({std::string(), fields[1]});
        else
            return Refuse(why, TKind::Unreadable, journalPath, 0);
        identities.push_back(fields.size() == 4 ? fields[3] : std::string());
    }
    // A journal that Commit() would not have written is not completed either.
    if (FirstInvalidEntry(named, old) >= 0)
        return Refuse(why, TKind::Unreadable, journalPath, 0);

    std::vector<TEntry> entries;
    for (size_t i = 0; i < named.size(); ++i) {
        TEntry entry{named[i].staged, named[i].target};
        if (entry.from.empty()) {
            entries.push_back(std::move(entry));
            continue;
        }
        // A file that cannot be looked at is neither taken for one in place nor for one lost.
        struct stat file {};
        const int lookedStaged = in.Stat(entry.from, file);
        if (lookedStaged != 0 && lookedStaged != ENOENT)
            return Refuse(why, TKind::NotRead, in.PathOf(entry.from), lookedStaged);
        const bool staged = lookedStaged == 0 && S_ISREG(file.st_mode);
        if (staged && !in.MadeByThisUser(file))
            return anotherUsers(in.PathOf(entry.from), file.st_uid);
        bool sure = true;  // the earlier layout: a staged file that is gone was renamed
        if (byContent) {
            TContentIdentity id, there;
            if (!TContentIdentity::Parse(identities[i], id))
                return Refuse(why, TKind::Unreadable, journalPath, 0);
            sure = (staged ? ContentIdentityOf(in, entry.from, there) : ContentIdentityOf(folder, entry.to, there)) &&
                   there == id;
        } else if (!old) {
            TInodeIdentity id, there;
            if (!TInodeIdentity::Parse(identities[i], id))
                return Refuse(why, TKind::Unreadable, journalPath, 0);
            const int looked = staged ? 0 : InodeIdentityOf(folder, entry.to, there);
            if (looked != 0 && looked != ENOENT)
                return Refuse(why, TKind::Unwritable, folder.PathOf(entry.to), looked, TFileTransaction::TCall::Rename);
            sure = staged ? file.st_size == id.size : looked == 0 && there.SurelyIs(id);
        }
        // A staged file must be the one staged (a copy cut short is not), and one that
        // is gone surely in place: else the new file is lost, and completing the rest
        // would leave a mix.
        if (!sure)
            return Refuse(why, TKind::Lost, folder.PathOf(entry.to), 0);
        entry.renamed = !staged;
        entries.push_back(std::move(entry));
    }
    return Complete(folder, in, name, entries, why);
}

}  // namespace

TFileTransaction::TFileTransaction(std::string folder)
    : TFileTransaction(folder, folder.empty() ? TFolder() : TFolder::Open(folder, TFolder::kFollowLast))
{
}

TFileTransaction::TFileTransaction(std::string folder, TFolder opened)
    : m_folder(std::move(folder)), m_dir(std::move(opened)), m_openError(m_dir ? 0 : errno != 0 ? errno : EBADF)
{
}

void TFileTransaction::FailFolderSyncs(bool fail) { g_folderSyncsFail.store(fail); }

TFileTransaction::~TFileTransaction() { Abort(); }

std::string TFileTransaction::WorkFolderOf(const std::string& folder) { return JoinPath(folder, kWorkFolderName); }

const char* TFileTransaction::WorkFolderName() { return kWorkFolderName; }

std::string TFileTransaction::WorkFolderNotWrittenText(const std::string& work, const std::string& notDone)
{
    return "the work folder " + work + " " + notDone + " be written";
}

std::string TFileTransaction::StagedFileIdentity(const std::string& path)
{
    TContentIdentity id;
    return ContentIdentityOf(AT_FDCWD, path, id) ? id.Text() : std::string();
}

std::string TFileTransaction::JournalPathOf(const std::string& folder)
{
    return JoinPath(WorkFolderOf(folder), kJournalName);
}

bool TFileTransaction::OpenWorkFolder(bool make)
{
    if (m_work)
        return true;
    // Never a folder of its own where the process happens to run.
    if (m_folder.empty()) {
        if (make)
            NoteFailure(m_folder, ENOENT);
        return false;
    }
    const std::string work = WorkFolderOf(m_folder);
    int error = m_openError;
    if (m_dir) {
        // The work folder itself, never a link at its name: one put there by whoever may
        // write the folder would lead the staged files, the journal and their removal
        // elsewhere.
        m_work = m_dir.OpenFolder(kWorkFolderName);
        error = m_work ? 0 : errno;
        // Whoever may write the folder may write its work folder, whatever the umask: it
        // takes the folder's owner (where the process may give it), group (where this user
        // belongs to it), permission bits and ACL, and this user's own rights.
        if (error == ENOENT && make) {
            TRights rights;
            const TRights::TFound found = TRights::Of(m_dir, std::string(), rights);
            m_work = found == TRights::TFound::There ? m_dir.MakeFolderLike(kWorkFolderName, rights) : TFolder();
            error = m_work ? 0 : found == TRights::TFound::NotThere ? ENOENT : errno;
            if (error == EEXIST) {  // made meanwhile
                m_work = m_dir.OpenFolder(kWorkFolderName);
                error = m_work ? 0 : errno;
            }
        }
    }
    // Something other than a folder at its name, which is never followed (a link refuses
    // to be opened as a folder with ELOOP or ENOTDIR).
    if (error == ELOOP)
        error = ENOTDIR;
    if (error != 0 && make)
        NoteFailure(work, error, TCall::WriteWorkFolder);
    return error == 0;
}

const TFolder* TFileTransaction::WorkFolder()
{
    return OpenWorkFolder(true) ? &m_work : nullptr;
}

TFolder::THas TFileTransaction::HasJournal(const TFolder& folder)
{
    struct stat st {};
    const TFolder work = folder.OpenFolder(kWorkFolderName);
    // No work folder there (or none this user may search: it holds nothing it could
    // complete, as CompleteJournal finds) holds no journal.
    const int looked = !work ? errno : work.Stat(kJournalName, st);
    if (looked == 0)
        return TFolder::THas::Yes;
    if (looked == ENOENT || looked == ENOTDIR || looked == ELOOP || looked == EACCES || looked == EPERM)
        return TFolder::THas::No;
    errno = looked;
    return TFolder::THas::Failed;
}

void TFileTransaction::NewFilesTakeRightsOf(const TFolder& folder, const std::string& name)
{
    m_newFilesLike = folder.PathOf(name);
    m_newFilesIn = folder.Duplicate();
    m_newFilesRightsRead = false;
}

const TFolder* TFileTransaction::NewFilesFolder() const
{
    if (m_newFilesIn)
        return &m_newFilesIn;
    return m_dir && !m_newFilesLike.empty() && FolderOf(m_newFilesLike) == m_folder ? &m_dir : nullptr;
}

TRights::TFound TFileTransaction::NewFilesRights(TRights& rights)
{
    if (!m_newFilesRightsRead) {
        const TFolder* in = NewFilesFolder();
        m_newFilesFound = in ? TRights::Of(*in, FileNameOf(m_newFilesLike), m_newFilesRights)
                             : TRights::Of(m_newFilesLike, m_newFilesRights);
        // A failure is asked again, and says why each time.
        m_newFilesRightsRead = m_newFilesFound != TRights::TFound::Failed;
        if (!m_newFilesRightsRead)
            return m_newFilesFound;
    }
    if (m_newFilesFound == TRights::TFound::There)
        rights = m_newFilesRights;
    return m_newFilesFound;
}

std::string TFileTransaction::WorkFolderInTheWayText(const TFolder& folder)
{
    const std::string what = WhatIsThereInsteadOfAFolder(folder, kWorkFolderName);
    return what.empty() ? what : "work folder " + folder.PathOf(kWorkFolderName) + " is " + what + ", not a folder";
}

std::string TFileTransaction::WhyWorkFolderNotWritten(int error, const std::string& notDone) const
{
    if (const std::string inTheWay = error == ENOTDIR ? WorkFolderInTheWayText(m_dir) : std::string(); !inTheWay.empty())
        return "the " + inTheWay + ". Remove it to save the project";
    const std::string work = WorkFolderOf(m_folder);
    std::string text = WorkFolderNotWrittenText(work, notDone);
    if (error == 0)
        return text;
    text += ": " + FileErrorReason(error);
    // Another user's work folder that this user may not write: its owner may let it.
    struct stat st {};
    if ((error == EACCES || error == EPERM) && m_dir.Stat(kWorkFolderName, st) == 0 && st.st_uid != ::geteuid())
        text += ". Ask its owner, " + TFolderLock::OwnerOf(work) + ", to let you write it";
    return text;
}

void TFileTransaction::Adopt(const std::string& tempPath, const std::string& target)
{
    m_removals.erase(std::remove(m_removals.begin(), m_removals.end(), target), m_removals.end());
    // What it holds, told once: the journal records it, and a copy of the folder put in
    // place of this one serves a read of it only where it holds the same (OpenStagedFile).
    TContentIdentity id;
    const bool known = m_work && FolderOf(tempPath) == WorkFolderOf(m_folder) &&
                       ContentIdentityOf(m_work, FileNameOf(tempPath), id);
    m_renames.push_back({tempPath, target, known ? id.Text() : std::string()});
}

void TFileTransaction::Discard(const std::string& target)
{
    for (auto it = m_renames.begin(); it != m_renames.end();) {
        if (it->target == target) {
            (void)m_work.Remove(FileNameOf(it->temp));
            it = m_renames.erase(it);
        } else {
            ++it;
        }
    }
    m_removals.erase(std::remove(m_removals.begin(), m_removals.end(), target), m_removals.end());
}

std::vector<std::pair<std::string, std::string>> TFileTransaction::StagedFiles() const
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const TRename& rename : m_renames)
        files.emplace_back(rename.temp, rename.target);
    return files;
}

bool TFileTransaction::OpenStagedFile(const std::string& target, TFile& file) const
{
    const std::string staged = StagedFileOf(target);
    if (staged.empty() || !m_work) {
        errno = ENOENT;
        return false;
    }
    const std::string name = FileNameOf(staged);
    if (file.Open(m_work, name))
        return true;
    if (file.LastError() != ENOENT)
        return false;
    // Gone from there with its folder (one put in its place, a copy of it, holds it now):
    // the work folder of the folder at the path, where both are this user's, never
    // through a link, and only a file there that holds what was staged.
    const TFolder folder = TFolder::OpenOwn(m_folder);
    const TFolder work = folder ? folder.OpenOwnFolder(kWorkFolderName) : TFolder();
    const auto stagedHere = std::find_if(m_renames.begin(), m_renames.end(),
                                         [&](const TRename& rename) { return rename.temp == staged; });
    const int fd = work ? work.OpenToRead(name) : -1;
    TContentIdentity id;
    if (fd >= 0 && ContentIdentityOfOpen(fd, id) && id.Text() == stagedHere->content)
        return file.Adopt(fd, work.PathOf(name), TFile::Mode::Read);
    if (fd >= 0)
        ::close(fd);
    errno = ENOENT;
    return false;
}

TFolder::THas TFileTransaction::HasStagedFile(const std::string& temp) const
{
    return m_work ? m_work.HasFile(FileNameOf(temp)) : TFolder::THas::No;
}

std::string TFileTransaction::StagedFileOf(const std::string& target) const
{
    for (const TRename& rename : m_renames)
        if (rename.target == target)
            return rename.temp;
    return std::string();
}

void TFileTransaction::Include(TFileTransaction& pending)
{
    if (&pending != this && pending.m_folder == m_folder &&
        std::find(m_included.begin(), m_included.end(), &pending) == m_included.end())
        m_included.push_back(&pending);
}

void TFileTransaction::TakeOver(const std::string& target)
{
    if (std::find(m_takenOver.begin(), m_takenOver.end(), target) == m_takenOver.end())
        m_takenOver.push_back(target);
}

void TFileTransaction::Remove(const std::string& target)
{
    if (std::find(m_removals.begin(), m_removals.end(), target) == m_removals.end())
        m_removals.push_back(target);
}

void TFileTransaction::NoteFailure(const std::string& path, int error, TCall call)
{
    if (m_failedPath.empty()) {
        m_failedPath = path;
        m_failedError = error;
        m_failedCall = call;
    }
}

void TFileTransaction::Abort()
{
    for (const TRename& rename : m_renames)
        (void)m_work.Remove(FileNameOf(rename.temp));
    LetGo();
}

void TFileTransaction::LetGo()
{
    m_renames.clear();
    m_removals.clear();
    m_takenOver.clear();
    m_included.clear();
}

void TFileTransaction::MovedTo(const std::string& folder)
{
    const auto moved = [&](std::string& path) {
        if (path.size() > m_folder.size() && path.starts_with(m_folder) && path[m_folder.size()] == '/')
            path = JoinPath(folder, path.substr(m_folder.size() + 1));
    };
    for (TRename& rename : m_renames) {
        moved(rename.temp);
        moved(rename.target);
    }
    for (std::vector<std::string>* paths : {&m_removals, &m_takenOver})
        for (std::string& path : *paths)
            moved(path);
    m_folder = folder;
}

bool TFileTransaction::Fail(const std::string& path, int error, TCall call)
{
    m_failedPath = path;
    m_failedError = error;
    m_failedCall = call;
    Abort();
    return false;
}

bool TFileTransaction::Commit()
{
    m_failedPath.clear();
    m_failedError = 0;
    m_failedCall = TCall::Write;
    m_leftJournal = false;
    m_refused = false;
    // This transaction's changes, then those of the included ones that it does not make
    // itself; the files they staged for the targets it removes or takes over are
    // superseded. Two new files for one target otherwise are a mistake of the command:
    // neither may silently win.
    std::vector<TRename> renames = m_renames;
    std::vector<std::string> removals = m_removals, superseded;
    const auto changedHere = [&](const std::string& target) {
        return std::find(m_removals.begin(), m_removals.end(), target) != m_removals.end() ||
               std::any_of(m_renames.begin(), m_renames.end(), [&](const TRename& r) { return r.target == target; });
    };
    for (const TFileTransaction* pending : m_included) {
        for (const TRename& rename : pending->m_renames) {
            if (!changedHere(rename.target))
                renames.push_back(rename);
            else if (!StagedFileOf(rename.target).empty() &&
                     std::find(m_takenOver.begin(), m_takenOver.end(), rename.target) == m_takenOver.end())
                return Fail(rename.target, EEXIST, TCall::Rename);
            else
                superseded.push_back(rename.temp);
        }
        for (const std::string& target : pending->m_removals)
            if (!changedHere(target) && std::find(removals.begin(), removals.end(), target) == removals.end())
                removals.push_back(target);
    }
    if (renames.empty() && removals.empty()) {
        m_included.clear();
        return true;
    }
    const std::string work = WorkFolderOf(m_folder), journal = JournalPathOf(m_folder);
    // A change that stopped half way is someone's to complete (Recover), never to replace.
    struct stat there {};
    if (const int looked = OpenWorkFolder(false) ? m_work.Stat(kJournalName, there) : ENOENT; looked != ENOENT)
        return Fail(journal, looked == 0 ? EEXIST : looked, TCall::Write);

    // Only staged files of the work folder, put in place over files (a folder in the way
    // would stop the renames half way) of the folder, and removals of files of the folder.
    std::vector<TJournalEntry> entries;
    for (const TRename& rename : renames) {
        if (FolderOf(rename.temp) != work || FolderOf(rename.target) != m_folder)
            return Fail(rename.target, 0, TCall::Rename);
        switch (m_dir.HasFolder(FileNameOf(rename.target))) {
        case TFolder::THas::No: break;
        case TFolder::THas::Yes: return Fail(rename.target, EISDIR, TCall::Rename);
        case TFolder::THas::Failed: return Fail(rename.target, errno, TCall::Rename);
        }
        entries.push_back({FileNameOf(rename.temp), FileNameOf(rename.target)});
    }
    for (const std::string& target : removals) {
        if (FolderOf(target) != m_folder)
            return Fail(target, 0, TCall::Remove);
        entries.push_back({std::string(), FileNameOf(target)});
    }
    // What Recover() would refuse is never written.
    if (const std::ptrdiff_t bad = FirstInvalidEntry(entries, false); bad >= 0) {
        const TJournalEntry& entry = entries[static_cast<size_t>(bad)];
        return Fail(JoinPath(m_folder, entry.target), 0, entry.staged.empty() ? TCall::Remove : TCall::Rename);
    }

    std::string text = std::string(kJournalHeader) + "\n";
    for (const TRename& rename : renames) {
        TContentIdentity id;
        errno = 0;
        if (rename.content.empty() && !ContentIdentityOf(m_work, FileNameOf(rename.temp), id))
            return Fail(rename.target, errno != 0 ? errno : EIO, TCall::Rename);
        const std::string content = rename.content.empty() ? id.Text() : rename.content;
        text += "rename\t" + FileNameOf(rename.temp) + "\t" + FileNameOf(rename.target) + "\t" + content + "\n";
    }
    for (const std::string& target : removals)
        text += "remove\t" + FileNameOf(target) + "\n";
    text += std::string(kJournalEnd) + "\n";
    // A change that only removes files has staged nothing: the work folder may be missing.
    if (!WorkFolder())
        return Fail(m_failedPath, m_failedError, m_failedCall);
    // What held the folder when the change began may have been lost while the files were
    // staged: a journal in the work folder is anyone's to complete who takes the folder
    // meanwhile, so it is shown only to a folder still held.
    const auto refuse = [&] {
        m_refused = true;
        LetGo();
        return false;
    };
    {
        TAtomicFile out;
        // It names the files and holds digests of their contents: who may not read the
        // project may not read it either.
        const TFolder* in = NewFilesFolder();
        if (!out.Begin(m_work, kJournalName, in ? FileNameOf(m_newFilesLike) : m_newFilesLike, in) ||
            !out.File().WriteText(text))
            return Fail(journal, out.File().LastError(), TCall::Write);
        if (m_check && !m_check())
            return refuse();
        if (!out.Commit())
            return Fail(journal, out.File().LastError(), TCall::Write);
    }
    if (const int error = SyncFolder(m_work, kJournalName); error != 0) {
        // Whether the journal reached the disk is not known: nothing is changed.
        (void)m_work.Remove(kJournalName);
        return Fail(work, error, TCall::SyncFolder);
    }
    // The journal must lie where the next open looks for it: a work folder moved away from
    // its name meanwhile, something else put there, would leave a change no open completes.
    if (const int error = WorkFolderAwayError(m_dir, m_work); error != 0) {
        (void)m_work.Remove(kJournalName);
        return Fail(work, error, TCall::WriteWorkFolder);
    }
    // The last look at the folder before its files change. A journal refused here goes for
    // good (a work folder that cannot be listed is synced through a staged file, which
    // stays), or the change is said to be one another program may complete: a journal that
    // came back after a power cut would be completed by whoever opens the folder next.
    if (m_check && !m_check()) {
        if (const int error = m_work.Remove(kJournalName); error != 0) {
            NoteFailure(journal, error, TCall::RemoveJournal);
        } else if (const int synced =
                       SyncFolder(m_work, renames.empty() ? std::string(kJournalName) : FileNameOf(renames.front().temp));
                   synced != 0) {
            NoteFailure(work, synced, TCall::SyncFolder);
        }
        return refuse();
    }

    // From here on the new files are the folder's: what a kill or failure leaves undone,
    // the next Recover() finishes. The staged files are the journal's now, never removed;
    // those superseded are no one's (a kill leaves them to the next open's clean-up).
    m_renames.clear();
    m_removals.clear();
    m_takenOver.clear();
    for (TFileTransaction* pending : std::exchange(m_included, {})) {
        pending->m_renames.clear();
        pending->m_removals.clear();
    }
    for (const std::string& temp : superseded)
        (void)m_work.Remove(FileNameOf(temp));
    const auto leave = [&](const std::string& path, int error, TCall call) {
        m_failedPath = path;
        m_failedError = error;
        m_failedCall = call;
        m_leftJournal = true;
        return false;
    };
    for (const TRename& rename : renames) {
        if (const int error = m_work.Rename(FileNameOf(rename.temp), m_dir, FileNameOf(rename.target)); error != 0)
            return leave(rename.target, error, TCall::Rename);
        TFile::Step();
    }
    for (const std::string& target : removals) {
        if (const int error = m_dir.Remove(FileNameOf(target)); error != 0)
            return leave(target, error, TCall::Remove);
        TFile::Step();
    }
    if (const int error = SyncFolder(m_dir, kJournalName, &m_work); error != 0)
        return leave(m_folder, error, TCall::SyncFolder);
    if (const int error = SyncFolder(m_work, kJournalName); error != 0)
        return leave(work, error, TCall::SyncFolder);
    // A journal that stays would stop every later change of the folder.
    if (const int error = m_work.Remove(kJournalName); error != 0)
        return leave(journal, error, TCall::RemoveJournal);
    TFile::Step();
    return true;
}

TFileTransaction::TRecovery TFileTransaction::Recover(const std::string& journalPath, TRecoveryFailure* failure)
{
    const std::string at = FolderOf(journalPath);
    const bool inWork = FileNameOf(journalPath) == kJournalName && FileNameOf(at) == kWorkFolderName;
    const std::string folder = inWork ? FolderOf(at) : at;
    const TFolder opened = TFolder::Open(folder.empty() ? std::string(".") : folder, TFolder::kFollowLast);
    if (!opened) {
        TRecoveryFailure ignored;
        TRecoveryFailure& why = failure ? *failure : ignored;
        why = {};
        return errno == ENOENT || errno == ENOTDIR ? TRecovery::None
                                                   : Refuse(why, TRecoveryFailure::TKind::NotRead, journalPath, errno);
    }
    return Recover(opened, failure, inWork ? std::string() : FileNameOf(journalPath));
}

TFileTransaction::TRecovery TFileTransaction::Recover(const TFolder& folder, TRecoveryFailure* failure,
                                                      const std::string& earlierJournal)
{
    TRecoveryFailure ignored;
    TRecoveryFailure& why = failure ? *failure : ignored;
    why = {};
    // The journal of earlier versions lies beside the files it changes, with the staged
    // files; the others lie in the work folder of the folder they change.
    if (!earlierJournal.empty())
        return CompleteJournal(folder, folder, earlierJournal, true, why);
    const TFolder work = folder.OpenFolder(kWorkFolderName);
    // No work folder, or something other than a folder at its name, which this program
    // never made: no journal of its own lies there.
    if (!work)
        return errno == ENOENT || errno == ENOTDIR || errno == ELOOP
                   ? TRecovery::None
                   : Refuse(why, TRecoveryFailure::TKind::NotRead, JournalPathOf(folder.Path()), errno);
    return CompleteJournal(folder, work, kJournalName, false, why);
}

TFileTransaction::TRecovery TFileTransaction::Recover(const TFolder& folder, const TFolder& work,
                                                      TRecoveryFailure* failure)
{
    TRecoveryFailure ignored;
    TRecoveryFailure& why = failure ? *failure : ignored;
    why = {};
    return CompleteJournal(folder, work, kJournalName, false, why);
}

}  // namespace vx
