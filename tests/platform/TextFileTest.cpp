// Text files: "\r\n" line ends on writing, both line ends on reading, failed writes that
// keep the old file; and creating a file only when its name is free.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/TFile.h"
#include "platform/TFolder.h"
#include "platform/TTextFile.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

std::vector<std::string> ReadLines(const std::string& path)
{
    TTextFile file;
    EXPECT_TRUE(file.Open(path, TTextFile::Mode::Read));
    std::vector<std::string> lines;
    std::string line;
    while (file.ReadString(line))
        lines.push_back(line);
    EXPECT_TRUE(line.empty());
    return lines;
}

using Lines = std::vector<std::string>;

TEST(TextFile, WritesEveryLineEndAsCarriageReturnAndLineFeed)
{
    test::TTempFolder dir;
    const std::string path = dir.File("t.txt");
    TTextFile file;
    ASSERT_TRUE(file.Open(path, TTextFile::Mode::Write));
    EXPECT_TRUE(file.WriteString("#Head#\n\n"));
    EXPECT_TRUE(file.WriteString("a = 1\nno end"));
    EXPECT_FALSE(FileExists(path));  // nothing in place before Close
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(test::ReadBytes(path), "#Head#\r\n\r\na = 1\r\nno end");
    EXPECT_EQ(ReadLines(path), (Lines{"#Head#", "", "a = 1", "no end"}));
}

TEST(TextFile, ReadsBothLineEndsAndLongLines)
{
    test::TTempFolder dir;
    const std::string long_line(200000, 'x');  // longer than one read block
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"", {}},
        {"\n", {""}},
        {"\r\n\r\n", {"", ""}},
        {"a\nb\r\nc", {"a", "b", "c"}},
        {"a\r\n", {"a"}},
        {"a\rb\n", {"a\rb"}},  // a lone carriage return is part of the line
        {"last\r", {"last"}},
        {long_line + "\r\n" + "y", {long_line, "y"}},
    };
    for (const auto& [bytes, lines] : cases) {
        test::WriteBytes(dir.File("r.txt"), bytes);
        EXPECT_EQ(ReadLines(dir.File("r.txt")), lines) << "bytes: " << bytes.substr(0, 20);
    }
}

TEST(TextFile, AnUnreadLineIsReadAgainBeforeTheRest)
{
    test::TTempFolder dir;
    test::WriteBytes(dir.File("u.txt"), "a\r\nb");
    TTextFile file;
    ASSERT_TRUE(file.Open(dir.File("u.txt"), TTextFile::Mode::Read));
    std::string line;
    ASSERT_TRUE(file.ReadString(line));
    file.UnreadString(line);
    Lines lines;
    while (file.ReadString(line)) {
        lines.push_back(line);
        if (line == "b") {
            file.UnreadString("");  // also at the end of the file, also an empty line
            ASSERT_TRUE(file.ReadString(line));
            EXPECT_EQ(line, "");
        }
    }
    EXPECT_EQ(lines, (Lines{"a", "b"}));
    // A new open forgets a line given back to the file before.
    file.UnreadString("stale");
    ASSERT_TRUE(file.Open(dir.File("u.txt"), TTextFile::Mode::Read));
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, "a");
}

TEST(TextFile, AFailedWriteKeepsTheOldFile)
{
    test::TTempFolder dir;
    const std::string path = dir.File("t.txt");
    test::WriteBytes(path, "old");
    {
        TTextFile file;
        ASSERT_TRUE(file.Open(path, TTextFile::Mode::Write));
        TFile::FailWritesAfter(3);
        EXPECT_FALSE(file.WriteString("new text\n"));
        TFile::FailWritesAfter(-1);
        EXPECT_TRUE(file.Failed());
        EXPECT_FALSE(file.WriteString("more"));  // stays failed
        EXPECT_FALSE(file.Close());
    }
    EXPECT_EQ(test::ReadBytes(path), "old");
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), 1u);  // no temporary file left

    // A file that is not closed by hand is put in place when it goes.
    {
        TTextFile file;
        ASSERT_TRUE(file.Open(path, TTextFile::Mode::Write));
        file.WriteString("new\n");
    }
    EXPECT_EQ(test::ReadBytes(path), "new\r\n");
}

TEST(TextFile, OpeningFailsForMissingFilesAndFolders)
{
    test::TTempFolder dir;
    TTextFile file;
    EXPECT_FALSE(file.Open(dir.File("missing.txt"), TTextFile::Mode::Read));
    EXPECT_FALSE(file.Open(dir.File("no/such/folder.txt"), TTextFile::Mode::Write));
    std::string line = "x";
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_FALSE(file.WriteString("x"));
}

TEST(AtomicFile, ACommitThatDoesNotWaitForTheDiskStillReplacesOnlyWholeFiles)
{
    test::TTempFolder dir;
    const std::string path = dir.File("state.tmp");
    test::WriteBytes(path, "old");
    {
        TAtomicFile out;
        ASSERT_TRUE(out.Begin(path));
        ASSERT_TRUE(out.File().Write("new", 3));
        EXPECT_EQ(test::ReadBytes(path), "old");
        EXPECT_TRUE(out.Commit(false));
    }
    EXPECT_EQ(test::ReadBytes(path), "new");
    {
        TAtomicFile out;
        ASSERT_TRUE(out.Begin(path));
        // Larger than the stream's buffer, so that the failure shows before the close.
        const std::string big(1 << 20, 'x');
        TFile::FailWritesAfter(10);
        EXPECT_FALSE(out.File().Write(big.data(), big.size()) && out.Commit(false));
        TFile::FailWritesAfter(-1);
    }
    EXPECT_EQ(test::ReadBytes(path), "new");
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), 1u);
}

TEST(Files, MakeFileTakesOnlyAFreeName)
{
    test::TTempFolder dir;
    const std::string path = dir.File("n.tmp");
    const TFolder folder = TFolder::Open(dir.Path());
    const auto make = [&](const std::string& name) {
        errno = 0;
        const int fd = folder.MakeFile(name, O_WRONLY, 0666);
        const int error = fd >= 0 ? 0 : errno;
        if (fd >= 0)
            ::close(fd);
        return error;
    };
    EXPECT_EQ(make("n.tmp"), 0);
    EXPECT_EQ(FileSize(path), 0);
    EXPECT_EQ(make("n.tmp"), EEXIST);
    test::WriteBytes(path, "data");
    EXPECT_EQ(make("n.tmp"), EEXIST);
    EXPECT_EQ(test::ReadBytes(path), "data");
    ASSERT_TRUE(MakeFolder(dir.File("sub")));
    EXPECT_EQ(make("sub"), EEXIST);  // a folder takes the name too
    EXPECT_EQ(make("no/such.tmp"), EINVAL) << "a name of the folder only";
    EXPECT_EQ(make(""), EINVAL);
}

}  // namespace
