#include "model/TKeptRecord.h"

#include <algorithm>
#include <cerrno>
#include <functional>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"

bool TKeptRecord::TakeBytes(vx::TFile& file, int64_t start)
{
    const int64_t end = file.Tell();
    if (start < 0 || end < start)
        return false;
    bytes.assign(static_cast<size_t>(end - start), '\0');
    return bytes.empty() || file.ReadExactAt(start, bytes.data(), bytes.size());
}

void TKeptRecord::Anonymize()
{
    static const std::string kAnonymized("Anonymized", 11);  // with its terminating zero
    // From the last text back, so that the offsets before it stay right.
    std::vector<int64_t> at = patientTexts;
    std::sort(at.begin(), at.end(), std::greater<>());
    for (int64_t offset : at) {
        if (offset < 0 || static_cast<size_t>(offset) >= bytes.size())
            continue;
        const size_t end = bytes.find('\0', static_cast<size_t>(offset));
        if (end == std::string::npos)
            continue;
        const size_t oldLength = end + 1 - static_cast<size_t>(offset);
        bytes.replace(static_cast<size_t>(offset), oldLength, kAnonymized);
        const int64_t shift = static_cast<int64_t>(kAnonymized.size()) - static_cast<int64_t>(oldLength);
        for (int64_t& other : patientTexts)
            if (other > offset)
                other += shift;
    }
}

std::string WaitingFilesText(const std::string& folder, const std::string& what,
                             const std::vector<TWaitingFiles>& groups)
{
    const std::string work = vx::TFileTransaction::WorkFolderOf(folder);
    const bool promised = folder.empty() || vx::FolderExists(work);
    std::string text;
    for (const TWaitingFiles& group : groups)
        if (!group.lines.empty())
            text += group.lines + (promised ? "\r\nThese " + what + " stay in the project and " + group.promise + "."
                                            : std::string());
    if (promised || text.empty())
        return text;
    return text + "\r\nThese " + what + " stay in the project. The folder has no hidden folder " +
           vx::FileNameOf(work) +
           ", where a save that was cut short keeps new files until they are in place: if it is a copy made without "
           "its hidden folder, copy it again with it.";
}

std::string KeptRecordLines(const std::vector<TKeptRecord>& kept)
{
    std::string lines;
    for (const TKeptRecord& record : kept)
        lines += "\r\n" + record.name + ": " + record.reason;
    return lines;
}

bool CopyKeptFiles(const std::vector<TKeptRecord>& kept, const std::string& from, const std::string& to,
                   vx::TFileTransaction& transaction)
{
    bool allCopied = true;
    for (const TKeptRecord& record : kept)
        for (const std::string& name : record.files) {
            // Never through another user's link at its name (TFile::kTrustedLink); one that
            // is missing, or is no file, is not copied, as no file would be.
            vx::TFile file;
            if (file.OpenThroughTrustedLink(vx::JoinPath(from, name))
                    ? !vx::CopyFileAtomically(file, vx::JoinPath(to, name), &transaction)
                    : file.NotAFile().empty() && file.LastError() != ENOENT && file.LastError() != ENOTDIR)
                allCopied = false;
        }
    return allCopied;
}
