#pragma once
// Sample data from ../shared/data beside the project root, and temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/Files.h"

namespace vx::test {

// Absolute path of ../shared/data/<relative> (seen from the project root).
std::string SampleDataPath(const std::string& relative);
bool SampleDataExists(const std::string& relative);

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Writes bytes to a file (test inputs).
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// The names in a folder, files and folders, as the program lists them.
std::vector<std::string> FolderNames(const std::string& folder);
// The entries of a folder as the program lists them (ListFolder): none when there is no
// folder; a listing that fails otherwise fails the test.
std::vector<TFolderEntry> ListedEntries(const std::string& folder, const std::string& pattern = "*");
// The lines of a text file whose every line ends in CR LF; a failed expectation when
// any text follows the last CR LF.
std::vector<std::string> ReadCrLfLines(const std::string& path);
// Puts a link to `target` at `path`, as another user who may write its folder can at any
// moment: in exchange for what stands there (which then keeps the link's name, ".link"
// beside it), else where nothing is.
void PutLinkAt(const std::string& path, const std::string& target);
// Output of a shell command (stdout and stderr) and its exit status (-1 when it did not
// run or did not exit normally).
std::pair<int, std::string> RunShell(const std::string& command);

}  // namespace vx::test

// Skips the current test with a clear message when a sample file is absent.
#define VX_REQUIRE_SAMPLE(relative)                                                              \
    do {                                                                                         \
        if (!::vx::test::SampleDataExists(relative))                                             \
            GTEST_SKIP() << "Sample data not found: " << ::vx::test::SampleDataPath(relative)   \
                         << " (the shared sample folder is absent)";                             \
    } while (0)
