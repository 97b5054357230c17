#pragma once
// Replaces several files of one folder as one change. Each new file is written in full
// beside its target first (TAtomicFile begun with the transaction); Commit() then
// records the planned renames in a journal file in the folder, makes them and removes
// the journal. A process killed at any moment leaves either the old files (there is no
// journal yet, the temporary files are mere leftovers) or a journal, which Recover()
// completes: the new files.
#include <string>
#include <utility>
#include <vector>

namespace vx {

class TFileTransaction {
public:
    // The journal is written at journalPath; every target lies in the journal's folder.
    explicit TFileTransaction(std::string journalPath);
    ~TFileTransaction();
    TFileTransaction(const TFileTransaction&) = delete;
    TFileTransaction& operator=(const TFileTransaction&) = delete;

    // Takes a complete, closed temporary file that is to replace target (TAtomicFile
    // hands it over); it is removed unless Commit() puts it in place.
    void Adopt(const std::string& tempPath, const std::string& target);
    bool IsEmpty() const { return m_renames.empty(); }
    // Puts every adopted file in place. False when nothing was replaced (the targets are
    // as they were) or, rarely, when a rename failed after the journal was written: the
    // journal then stays, and the next Commit() or Recover() completes it. FailedPath()
    // names the file concerned.
    bool Commit();
    // Removes the adopted temporary files; the targets stay as they were.
    void Abort();
    const std::string& FailedPath() const { return m_failedPath; }
    // True when a failed Commit() left its journal to be completed later.
    bool LeftJournal() const { return m_leftJournal; }

    enum class TRecovery { None, Completed, Damaged };
    // Completes the renames of a journal left by an interrupted Commit() and removes it.
    // Damaged: the journal cannot be read or its renames cannot be made; it is left as
    // it is, and so is every file.
    static TRecovery Recover(const std::string& journalPath);

private:
    std::string m_journalPath;
    std::vector<std::pair<std::string, std::string>> m_renames;  // temporary file, target
    std::string m_failedPath;
    bool m_leftJournal = false;
};

}  // namespace vx
