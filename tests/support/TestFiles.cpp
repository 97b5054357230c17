#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Files.h"

namespace fs = std::filesystem;

namespace vx::test {

std::string SampleDataPath(const std::string& relative)
{
    const fs::path root(VX_SOURCE_ROOT);
    return (root.parent_path() / "shared" / "data" / relative).lexically_normal().string();
}

bool SampleDataExists(const std::string& relative)
{
    std::error_code ec;
    return fs::exists(SampleDataPath(relative), ec);
}

TTempFolder::TTempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "vexara-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TTempFolder::~TTempFolder()
{
    std::error_code ec;
    // Read-only sub-folders made by tests must not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write test file " + path);
}

void PutLinkAt(const std::string& path, const std::string& target)
{
    const std::string link = (fs::path(path).parent_path() / ".link").string();
    ::unlink(link.c_str());
    if (::symlink(target.c_str(), link.c_str()) != 0 ||
        (::renameat2(AT_FDCWD, link.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0 &&
         ::rename(link.c_str(), path.c_str()) != 0))
        ADD_FAILURE() << "no link put at " << path;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const TFolderEntry& entry : ListedEntries(folder))
        names.push_back(entry.name);
    return names;
}

std::vector<TFolderEntry> ListedEntries(const std::string& folder, const std::string& pattern)
{
    TFolderListing listing = ListFolder(folder, pattern);
    if (!listing.Whole() && listing.error != ENOENT)
        ADD_FAILURE() << folder << " cannot be listed: " << FileErrorReason(listing.error);
    return std::move(listing.entries);
}

std::vector<std::string> ReadCrLfLines(const std::string& path)
{
    const std::string text = ReadBytes(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF in " << path;
    return lines;
}

std::pair<int, std::string> RunShell(const std::string& command)
{
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return {-1, out};
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe))
        out.append(buf, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace vx::test
