#pragma once
// A record of the project file that reads whole but cannot be used (a CSI set of
// frequency 0, an image of width 0...). It is not taken into the project; its bytes are
// kept and written back unchanged at its place among the records of its list, and the
// files it names stay, so that the project loses nothing of it.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/TFile.h"

struct TKeptRecord {
    int32_t position = 0;               // its index among its list's records in the file
    std::string name;                   // the set's or image's name, for messages
    std::string reason;                 // why it cannot be used
    std::string bytes;                  // the record as read
    std::vector<int64_t> patientTexts;  // offsets in `bytes` of the texts de-identifying replaces
    std::vector<std::string> files;     // names of the project folder's files it names
    std::vector<std::string> analyses;  // a set's analysis records, as read

    // Takes the bytes from `start` to where the file stands now as the record.
    bool TakeBytes(vx::TFile& file, int64_t start);
    // The patient texts become "Anonymized".
    void Anonymize();
};

// Copies the kept records' files that are in `from` to `to` in the transaction; false
// when a copy failed.
bool CopyKeptFiles(const std::vector<TKeptRecord>& kept, const std::string& from, const std::string& to,
                   vx::TFileTransaction& transaction);

// Sets or images of an open whose files are missing or cannot be used for one cause: a line
// for each ("\r\n" before it), and what they wait for ("load once their data-set files are
// back").
struct TWaitingFiles {
    std::string lines;
    std::string promise;
};
// The lines of the groups of sets or images (`what`), each group followed by the sentence
// that they stay in the project and its promise. A folder without its work folder (a copy
// made without its hidden folder) makes no such promise: a save cut short may have left
// their new files there, and they never come back by themselves; one sentence after all
// the lines says so.
std::string WaitingFilesText(const std::string& folder, const std::string& what,
                             const std::vector<TWaitingFiles>& groups);

// The lines "name: reason" of the records, each after "\r\n".
std::string KeptRecordLines(const std::vector<TKeptRecord>& kept);

// Writes the count and the records of a list: `items` through `write`, the kept records
// at their places (after the items when the list has become shorter).
template <class Items, class WriteItem>
bool WriteRecordsKeeping(vx::TFile& file, int32_t itemCount, const Items& items,
                         const std::vector<TKeptRecord>& kept, WriteItem write)
{
    const int64_t total = static_cast<int64_t>(itemCount) + static_cast<int64_t>(kept.size());
    if (total > INT32_MAX || !file.WriteInt32(static_cast<int32_t>(total)))
        return false;
    auto next = kept.begin();
    auto item = items.begin();
    for (int64_t k = 0; k < total; ++k) {
        if (next != kept.end() && (next->position <= k || item == items.end())) {
            if (!file.Write(next->bytes.data(), next->bytes.size()))
                return false;
            ++next;
        } else if (item != items.end()) {
            if (!write(*item))
                return false;
            ++item;
        }
    }
    return true;
}
