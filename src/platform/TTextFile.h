#pragma once
// A text file of the program's own text formats (macro files): written with "\r\n"
// line ends, read line by line with "\r\n" or "\n" removed.
//
// A written file goes to a temporary name beside the target and replaces it only when
// Close() succeeds, so a failed write leaves the old file as it was.
#include <string>
#include <vector>

#include "platform/TFile.h"

namespace vx {

class TTextFile {
public:
    enum class Mode { Read, Write };

    TTextFile() = default;
    // Closes an open file; a write without failure is put in place.
    ~TTextFile();
    TTextFile(const TTextFile&) = delete;
    TTextFile& operator=(const TTextFile&) = delete;

    // Write creates the file anew (on Close).
    bool Open(const std::string& path, Mode mode);
    // Reads the lines of a text held in memory as a file of those bytes reads (Path empty).
    void OpenText(std::string text);
    bool IsOpen() const { return m_open; }
    // What stood at the path instead of a file when Open for reading failed (TFile::NotAFile).
    const std::string& NotAFile() const { return m_in.NotAFile(); }
    const std::string& Path() const { return m_path; }

    // Writes the text with every "\n" stored as "\r\n". After one failed write every
    // later write fails too and Close() keeps the old file.
    bool WriteString(const std::string& text);
    // The next line without its line end; false at the end of the file, or where a read
    // failed before it (Failed).
    bool ReadString(std::string& line);
    // Gives a line just read back: the next ReadString returns it again (one line only).
    void UnreadString(std::string line);
    // True once a write or a read failed: a file read line by line was not read to its end.
    bool Failed() const { return m_failed; }
    // Why a read of the file failed (TFile::LastError), once Failed says that one did.
    int LastError() const { return m_in.LastError(); }

    // Ends the file; for a write, false when any write or putting the file in place
    // failed.
    bool Close();

private:
    bool FillBuffer();

    Mode m_mode = Mode::Read;
    bool m_open = false;
    bool m_failed = false;
    std::string m_path;
    TFile m_in;
    TAtomicFile m_out;
    std::vector<char> m_buffer;
    std::string m_unread;
    bool m_hasUnread = false;
    bool m_inMemory = false;  // m_buffer holds the whole text
    size_t m_pos = 0;
    size_t m_end = 0;
};

}  // namespace vx
