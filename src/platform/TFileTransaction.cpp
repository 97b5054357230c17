#include "platform/TFileTransaction.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFile.h"

namespace vx {

namespace {

// The journal: this first line, one line per rename ("temporary file" TAB "target", both
// names in the journal's folder, in the order they are made), and the last line.
const char* const kJournalHeader = "Vexara file journal 1";
const char* const kJournalEnd = "end";
// A journal is a few lines per file; anything larger is not one.
constexpr int64_t kMaxJournalBytes = int64_t{1} << 20;

// Makes the renames and removals in the folder so far survive a power cut as well.
void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A rename the journal may hold: a temporary file of the target, both plain names.
bool IsJournalEntry(const std::string& tempName, const std::string& targetName)
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

}  // namespace

TFileTransaction::TFileTransaction(std::string journalPath) : m_journalPath(std::move(journalPath)) {}

TFileTransaction::~TFileTransaction() { Abort(); }

void TFileTransaction::Adopt(const std::string& tempPath, const std::string& target)
{
    m_renames.emplace_back(tempPath, target);
}

void TFileTransaction::Abort()
{
    for (const auto& [temp, target] : m_renames)
        RemoveFile(temp);
    m_renames.clear();
}

bool TFileTransaction::Commit()
{
    m_failedPath.clear();
    m_leftJournal = false;
    if (m_renames.empty())
        return true;
    const std::string folder = FolderOf(m_journalPath);
    const auto fail = [&](const std::string& path) {
        m_failedPath = path;
        Abort();
        return false;
    };
    // A commit that stopped half way is completed first: its journal is about to be
    // replaced.
    if (Recover(m_journalPath) == TRecovery::Damaged)
        return fail(m_journalPath);

    std::string text = std::string(kJournalHeader) + "\n";
    for (const auto& [temp, target] : m_renames) {
        // Only renames inside the folder, over files (a folder in the way would stop
        // the renames half way).
        if (FolderOf(temp) != folder || FolderOf(target) != folder || FolderExists(target) ||
            !IsJournalEntry(FileNameOf(temp), FileNameOf(target)))
            return fail(target);
        text += FileNameOf(temp) + "\t" + FileNameOf(target) + "\n";
    }
    text += std::string(kJournalEnd) + "\n";
    if (!WriteFileAtomically(m_journalPath, text))
        return fail(m_journalPath);
    SyncFolder(folder);

    // From here on the new files are the project's: what a kill leaves undone, the next
    // Recover() finishes.
    for (const auto& [temp, target] : m_renames) {
        if (!RenameFile(temp, target)) {
            m_failedPath = target;
            m_leftJournal = true;
            m_renames.clear();
            return false;
        }
        TFile::Step();
    }
    m_renames.clear();
    SyncFolder(folder);
    RemoveFile(m_journalPath);
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
    if (lines.size() < 2 || lines.front() != kJournalHeader || lines.back() != kJournalEnd)
        return TRecovery::Damaged;
    std::vector<std::pair<std::string, std::string>> renames;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const size_t tab = lines[i].find('\t');
        if (tab == std::string::npos)
            return TRecovery::Damaged;
        std::string temp = lines[i].substr(0, tab), target = lines[i].substr(tab + 1);
        if (!IsJournalEntry(temp, target))
            return TRecovery::Damaged;
        renames.emplace_back(std::move(temp), std::move(target));
    }
    const std::string folder = FolderOf(journalPath);
    // A temporary file that is gone was renamed before the process stopped.
    for (const auto& [temp, target] : renames) {
        const std::string from = JoinPath(folder, temp);
        if (FileExists(from) && !RenameFile(from, JoinPath(folder, target)))
            return TRecovery::Damaged;
    }
    SyncFolder(folder);
    RemoveFile(journalPath);
    return TRecovery::Completed;
}

}  // namespace vx
