#include "platform/TFileTransaction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <utility>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFile.h"

namespace vx {

namespace {

// The journal: this first line, one line per change in the order they are made, and
// the last line. A rename is "rename" TAB staged file (a name in the work folder) TAB
// target (a name in the folder) TAB what identifies the staged file once renamed; a
// removal is "remove" TAB target.
const char* const kJournalHeader = "Vexara file journal 2";
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
// system's error number when it could not, else 0.
int SyncFolder(const std::string& folder)
{
    if (g_folderSyncsFail.load())
        return EIO;
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

// What tells a staged file from any other once it is renamed: its inode, size and time of
// last change. A rename keeps all three; the file it replaced had its own inode. Where a
// file system makes up its inode numbers afresh after a remount, size and time still tell.
struct TIdentity {
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t seconds = 0, nanoseconds = 0;

    std::string Text() const
    {
        char text[96];
        std::snprintf(text, sizeof text, "%" PRIu64 ":%" PRId64 ":%" PRId64 ".%09" PRId64, inode, size, seconds,
                      nanoseconds);
        return text;
    }
    static bool Parse(const std::string& text, TIdentity& id)
    {
        char end = 0;
        return std::sscanf(text.c_str(), "%" SCNu64 ":%" SCNd64 ":%" SCNd64 ".%" SCNd64 "%c", &id.inode, &id.size,
                           &id.seconds, &id.nanoseconds, &end) == 4 &&
               id.size >= 0;
    }
    bool Matches(const TIdentity& other) const
    {
        return size == other.size &&
               (inode == other.inode || (seconds == other.seconds && nanoseconds == other.nanoseconds));
    }
};

// The identity of a regular file; false when there is none.
bool IdentityOf(const std::string& path, TIdentity& id)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    id.inode = static_cast<uint64_t>(st.st_ino);
    id.size = static_cast<int64_t>(st.st_size);
    id.seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    id.nanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
    return true;
}

// Removes a file; a file already gone is no error. The error number, else 0.
int RemoveIfThere(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
}

int RenameOver(const std::string& from, const std::string& to)
{
    errno = 0;
    if (RenameFile(from, to))
        return 0;
    return errno != 0 ? errno : EIO;
}

// A staged file of the target: its name, a dot and six letters or digits.
bool IsStagedName(const std::string& temp, const std::string& target)
{
    std::string tempTarget;
    return IsSafeFileComponent(target) && IsSafeFileComponent(temp) &&
           TAtomicFile::IsTempFileName("." + temp, tempTarget) && tempTarget == target;
}

// A rename the old journal may hold: a temporary file beside the target, both plain names.
bool IsOldJournalEntry(const std::string& tempName, const std::string& targetName)
{
    std::string tempTarget;
    return IsSafeFileComponent(targetName) && TAtomicFile::IsTempFileName(tempName, tempTarget) &&
           tempTarget == targetName;
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

TFileTransaction::TRecovery RecoverOldJournal(const std::string& journalPath, const std::vector<std::string>& lines)
{
    const std::string folder = FolderOf(journalPath);
    std::vector<std::pair<std::string, std::string>> renames;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> fields = SplitTabs(lines[i]);
        // A folder in a rename's way would stop the renames half way: none is made.
        if (fields.size() != 2 || !IsOldJournalEntry(fields[0], fields[1]) || FolderExists(JoinPath(folder, fields[1])))
            return TFileTransaction::TRecovery::Damaged;
        renames.emplace_back(fields[0], fields[1]);
    }
    for (const auto& [temp, target] : renames) {
        const std::string from = JoinPath(folder, temp);
        if (FileExists(from) && RenameOver(from, JoinPath(folder, target)) != 0)
            return TFileTransaction::TRecovery::Damaged;
    }
    if (SyncFolder(folder) != 0 || RemoveIfThere(journalPath) != 0)
        return TFileTransaction::TRecovery::Damaged;
    return TFileTransaction::TRecovery::Completed;
}

}  // namespace

TFileTransaction::TFileTransaction(std::string folder) : m_folder(std::move(folder)) {}

void TFileTransaction::FailFolderSyncs(bool fail) { g_folderSyncsFail.store(fail); }

TFileTransaction::~TFileTransaction() { Abort(); }

std::string TFileTransaction::WorkFolderOf(const std::string& folder) { return JoinPath(folder, kWorkFolderName); }

std::string TFileTransaction::JournalPathOf(const std::string& folder)
{
    return JoinPath(WorkFolderOf(folder), kJournalName);
}

std::string TFileTransaction::StagingFolder()
{
    // Never a folder of its own where the process happens to run.
    if (m_folder.empty()) {
        NoteFailure(m_folder, ENOENT);
        return std::string();
    }
    const std::string work = WorkFolderOf(m_folder);
    if (FolderExists(work))
        return work;
    errno = 0;
    if (::mkdir(work.c_str(), 0777) == 0 || FolderExists(work))
        return work;
    NoteFailure(work, errno != 0 ? errno : EIO);
    return std::string();
}

void TFileTransaction::Adopt(const std::string& tempPath, const std::string& target)
{
    m_removals.erase(std::remove(m_removals.begin(), m_removals.end(), target), m_removals.end());
    m_renames.push_back({tempPath, target});
}

void TFileTransaction::Discard(const std::string& target)
{
    for (auto it = m_renames.begin(); it != m_renames.end();) {
        if (it->target == target) {
            RemoveFile(it->temp);
            it = m_renames.erase(it);
        } else {
            ++it;
        }
    }
    m_removals.erase(std::remove(m_removals.begin(), m_removals.end(), target), m_removals.end());
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

void TFileTransaction::Remove(const std::string& target)
{
    if (std::find(m_removals.begin(), m_removals.end(), target) == m_removals.end())
        m_removals.push_back(target);
}

void TFileTransaction::NoteFailure(const std::string& path, int error)
{
    if (m_failedPath.empty()) {
        m_failedPath = path;
        m_failedError = error;
        m_failedWriting = true;
    }
}

void TFileTransaction::Abort()
{
    for (const TRename& rename : m_renames)
        RemoveFile(rename.temp);
    m_renames.clear();
    m_removals.clear();
    m_included.clear();
}

bool TFileTransaction::Fail(const std::string& path, int error, bool writing)
{
    m_failedPath = path;
    m_failedError = error;
    m_failedWriting = writing;
    Abort();
    return false;
}

bool TFileTransaction::Commit()
{
    m_failedPath.clear();
    m_failedError = 0;
    m_failedWriting = false;
    m_leftJournal = false;
    // This transaction's changes, then those of the included ones that it does not make
    // itself; the files they staged for the targets it changes are superseded.
    std::vector<TRename> renames = m_renames;
    std::vector<std::string> removals = m_removals, superseded;
    const auto changedHere = [&](const std::string& target) {
        return std::find(m_removals.begin(), m_removals.end(), target) != m_removals.end() ||
               std::any_of(m_renames.begin(), m_renames.end(), [&](const TRename& r) { return r.target == target; });
    };
    for (const TFileTransaction* pending : m_included) {
        for (const TRename& rename : pending->m_renames) {
            if (changedHere(rename.target))
                superseded.push_back(rename.temp);
            else
                renames.push_back(rename);
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
    if (FileExists(journal) || FolderExists(journal))
        return Fail(journal, EEXIST);

    std::string text = std::string(kJournalHeader) + "\n";
    for (const TRename& rename : renames) {
        // Only staged files of the work folder, put in place over files (a folder in
        // the way would stop the renames half way) of the folder, each once.
        TIdentity id;
        const std::string tempName = FileNameOf(rename.temp), targetName = FileNameOf(rename.target);
        if (FolderExists(rename.target))
            return Fail(rename.target, EISDIR);
        if (FolderOf(rename.temp) != work || FolderOf(rename.target) != m_folder ||
            !IsStagedName(tempName, targetName) ||
            std::count_if(renames.begin(), renames.end(),
                          [&](const TRename& other) { return other.target == rename.target; }) != 1)
            return Fail(rename.target, 0);
        if (!IdentityOf(rename.temp, id))
            return Fail(rename.target, ENOENT);
        text += "rename\t" + tempName + "\t" + targetName + "\t" + id.Text() + "\n";
    }
    for (const std::string& target : removals) {
        if (FolderOf(target) != m_folder || !IsSafeFileComponent(FileNameOf(target)) ||
            std::any_of(renames.begin(), renames.end(), [&](const TRename& r) { return r.target == target; }))
            return Fail(target, 0);
        text += "remove\t" + FileNameOf(target) + "\n";
    }
    text += std::string(kJournalEnd) + "\n";
    // A change that only removes files has staged nothing: the work folder may be missing.
    if (StagingFolder().empty())
        return Fail(m_failedPath, m_failedError, true);
    {
        TAtomicFile out;
        if (!out.Begin(journal) || !out.File().WriteText(text) || !out.Commit())
            return Fail(journal, out.File().LastError(), true);
    }
    if (const int error = SyncFolder(work); error != 0) {
        // Whether the journal reached the disk is not known: nothing is changed.
        RemoveFile(journal);
        return Fail(journal, error, true);
    }

    // From here on the new files are the folder's: what a kill or failure leaves undone,
    // the next Recover() finishes. The staged files are the journal's now, never removed;
    // those superseded are no one's (a kill leaves them to the next open's clean-up).
    m_renames.clear();
    m_removals.clear();
    for (TFileTransaction* pending : std::exchange(m_included, {})) {
        pending->m_renames.clear();
        pending->m_removals.clear();
    }
    for (const std::string& temp : superseded)
        RemoveFile(temp);
    const auto leave = [&](const std::string& path, int error) {
        m_failedPath = path;
        m_failedError = error;
        m_failedWriting = false;
        m_leftJournal = true;
        return false;
    };
    for (const TRename& rename : renames) {
        if (const int error = RenameOver(rename.temp, rename.target); error != 0)
            return leave(rename.target, error);
        TFile::Step();
    }
    for (const std::string& target : removals) {
        if (const int error = RemoveIfThere(target); error != 0)
            return leave(target, error);
        TFile::Step();
    }
    for (const std::string& folder : {m_folder, work})
        if (const int error = SyncFolder(folder); error != 0)
            return leave(folder, error);
    RemoveFile(journal);
    TFile::Step();
    return true;
}

TFileTransaction::TRecovery TFileTransaction::Recover(const std::string& journalPath)
{
    if (!FileExists(journalPath)) {
        // Something other than a file under the journal's name cannot be completed.
        return FolderExists(journalPath) ? TRecovery::Damaged : TRecovery::None;
    }
    std::string text;
    if (!ReadWholeFile(journalPath, text, kMaxJournalBytes))
        return TRecovery::Damaged;
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.size() < 2 || lines.back() != kJournalEnd)
        return TRecovery::Damaged;
    if (lines.front() == kOldJournalHeader)
        return RecoverOldJournal(journalPath, lines);
    if (lines.front() != kJournalHeader)
        return TRecovery::Damaged;

    const std::string work = FolderOf(journalPath), folder = FolderOf(work);
    // Its names are of the folder around its work folder: in any other place (that of
    // the earlier journal, beside the files) it would change the folder around that one.
    if (FileNameOf(journalPath) != kJournalName || FileNameOf(work) != kWorkFolderName)
        return TRecovery::Damaged;
    struct TEntry {
        std::string from, to;  // to alone: a removal
        bool renamed = false;
    };
    std::vector<TEntry> entries;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> fields = SplitTabs(lines[i]);
        TIdentity id;
        if (fields.size() == 4 && fields[0] == "rename" && IsStagedName(fields[1], fields[2]) &&
            TIdentity::Parse(fields[3], id)) {
            TEntry entry{JoinPath(work, fields[1]), JoinPath(folder, fields[2])};
            // A staged file that is gone must be in place already; if its target is
            // something else the new file is lost, and completing the rest would mix.
            TIdentity there;
            if (!FileExists(entry.from)) {
                if (!IdentityOf(entry.to, there) || !there.Matches(id))
                    return TRecovery::Damaged;
                entry.renamed = true;
            }
            entries.push_back(std::move(entry));
        } else if (fields.size() == 2 && fields[0] == "remove" && IsSafeFileComponent(fields[1])) {
            entries.push_back({std::string(), JoinPath(folder, fields[1])});
        } else {
            return TRecovery::Damaged;
        }
        // A folder where a file is to go or to be removed would stop the changes half
        // way: none is made.
        if (!entries.back().renamed && FolderExists(entries.back().to))
            return TRecovery::Damaged;
    }
    for (const TEntry& entry : entries) {
        if (entry.from.empty() ? RemoveIfThere(entry.to) != 0
                               : !entry.renamed && RenameOver(entry.from, entry.to) != 0)
            return TRecovery::Damaged;
    }
    if (SyncFolder(folder) != 0 || SyncFolder(work) != 0 || RemoveIfThere(journalPath) != 0)
        return TRecovery::Damaged;
    return TRecovery::Completed;
}

}  // namespace vx
