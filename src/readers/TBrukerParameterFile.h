#pragma once
// A Bruker parameter file ("method", "acqp", "reco"): JCAMP-DX text whose first line holds
// "##TITLE", then one "##$key=value" a line; an array key gives its values on the line that
// follows. The file is read line by line up to each line feed; a carriage return stays in
// the line (callers split it away as a delimiter, except where a whole line is compared).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Shows a message of the Bruker readers about their parameter and data files the way they
// show them all: a plain box, or the batch log while a batch runs.
void ReportBrukerMessage(const std::string& text);
// Says that the data file at `path` holds `size` bytes where its parameter files describe
// `needed`, and what that cut when `what` is given; for a size below 0, that its size could
// not be read and why (`sizeError`, TFile::LastError).
void ReportShortDataFile(const std::string& path, int64_t size, int sizeError, uint64_t needed,
                         const std::string& what = {});
// The parameter file `name` of `folder`, else `textName` there: each by its exact name first,
// then in another case. When neither is found, says so, or that the folder could not be
// listed to look for them in another case, and gives none.
std::optional<std::string> FindParameterFile(const std::string& folder, const std::string& name,
                                             const std::string& textName);

class TBrukerParameterFile {
public:
    // Reads the file; false, with a message that names it, when it cannot be read (or is
    // far larger than any parameter file) or its first line lacks "##TITLE".
    bool Open(const std::string& path);
    // Says that the file ends before the value line of the array key `key`.
    void ReportMissingValues(const std::string& key) const;
    const std::string& Path() const { return m_path; }
    // The next line without its line feed; false at the end of the file.
    bool ReadLine(std::string& line);
    // The next line as the values of an array key, split at blanks, tabs, "=" and line ends
    // (parentheses stay in the values); false at the end of the file.
    bool ReadValues(std::string& line, std::vector<std::string>& values);
    // The next `count` numbers of the text, read across line ends: blanks, tabs and line
    // ends are skipped before each, and each is the longest number found there. False at
    // the first one that is not a number; the values read before it are stored, the
    // rest keep theirs.
    bool ReadNumbers(float* values, int count);

private:
    std::string m_path;
    std::string m_text;
    size_t m_pos = 0;
};

// Entry k of a split line, "" when the line has fewer entries: a value line that holds
// fewer values than its key uses gives 0 for the missing numbers.
const std::string& BrukerEntry(const std::vector<std::string>& tokens, size_t k);
double BrukerEntryDouble(const std::vector<std::string>& tokens, size_t k);
int BrukerEntryInt(const std::vector<std::string>& tokens, size_t k);
