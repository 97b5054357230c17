#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/TFile.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/TestFiles.h"

using namespace vx;

TEST(File, LittleEndianFieldsAndShortReads)
{
    test::TTempFolder dir;
    const std::string path = dir.File("f.bin");
    {
        TFile f;
        ASSERT_TRUE(f.Open(path, TFile::Mode::Write));
        EXPECT_TRUE(f.WriteInt32(256));
        EXPECT_TRUE(f.WriteFloat(1.0f));
        EXPECT_TRUE(f.Close());
    }
    EXPECT_EQ(test::ReadBytes(path), std::string("\x00\x01\x00\x00\x00\x00\x80\x3f", 8));
    TFile f;
    ASSERT_TRUE(f.Open(path, TFile::Mode::Read));
    EXPECT_EQ(f.Size(), 8);
    int32_t v = 0;
    ASSERT_TRUE(f.ReadInt32(v));
    EXPECT_EQ(v, 256);
    EXPECT_EQ(f.BytesLeft(), 4);
    double d = 0;
    EXPECT_FALSE(f.ReadDouble(d));  // only 4 bytes left

    // A folder or a missing file does not open.
    TFile other;
    EXPECT_FALSE(other.Open(dir.Path(), TFile::Mode::Read));
    EXPECT_FALSE(other.Open(dir.File("missing"), TFile::Mode::Read));
}

// Reads at an offset leave the position alone and fail when the file is short.
TEST(File, ReadExactAtReadsInPlaceWithoutMoving)
{
    test::TTempFolder dir;
    const std::string path = dir.File("f.bin");
    test::WriteBytes(path, "0123456789");
    TFile f;
    ASSERT_TRUE(f.Open(path, TFile::Mode::Read));
    char two[2] = {};
    ASSERT_TRUE(f.ReadExact(two, 2));
    char four[4] = {};
    ASSERT_TRUE(f.ReadExactAt(5, four, 4));
    EXPECT_EQ(std::string(four, 4), "5678");
    EXPECT_EQ(f.Tell(), 2);
    ASSERT_TRUE(f.ReadExact(two, 2));
    EXPECT_EQ(std::string(two, 2), "23");
    EXPECT_FALSE(f.ReadExactAt(8, four, 4));  // two bytes left there
    EXPECT_FALSE(f.ReadExactAt(-1, four, 1));
    EXPECT_FALSE(f.ReadFailed()) << "the end of the file is no failed read";
    // A read the disk fails is recorded as a sequential one is, whichever kind the seam fails.
    for (const unsigned calls : {unsigned(kFileRead), unsigned(kFileReadAt)}) {
        ASSERT_TRUE(f.Open(path, TFile::Mode::Read));
        test::TFileFaultScope fault({{calls, EIO, 1}});
        EXPECT_FALSE(f.ReadExactAt(5, four, 4)) << calls;
        EXPECT_TRUE(f.ReadFailed()) << calls;
        EXPECT_EQ(f.LastError(), EIO) << calls;
        EXPECT_TRUE(f.ReadExactAt(5, four, 4)) << "the fault struck once";
    }
}

// A large file replaced by a rename is freed aside: the target holds the new bytes at
// once, a reader of the old file still reads it whole, and nothing else is left.
TEST(Files, RenameOverALargeFileReplacesIt)
{
    test::TTempFolder dir;
    const std::string target = dir.File("big.bin"), temp = dir.File("new.bin");
    const std::string old(std::size_t(20) << 20, 'o');
    test::WriteBytes(target, old);
    TFile reader;
    ASSERT_TRUE(reader.Open(target, TFile::Mode::Read));
    test::WriteBytes(temp, std::string(std::size_t(17) << 20, 'n'));
    ASSERT_EQ(RenameAt(AT_FDCWD, temp, AT_FDCWD, target), 0);
    EXPECT_EQ(FileSize(target), int64_t(17) << 20);
    char c = 0;
    ASSERT_TRUE(reader.ReadExactAt((int64_t(20) << 20) - 1, &c, 1));
    EXPECT_EQ(c, 'o');
    ASSERT_TRUE(reader.ReadExactAt(0, &c, 1));
    EXPECT_EQ(c, 'o');
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), 1u);
    EXPECT_FALSE(FileExists(temp));
    // A failed rename leaves the target alone.
    EXPECT_EQ(RenameAt(AT_FDCWD, dir.File("missing"), AT_FDCWD, target), ENOENT);
    EXPECT_EQ(FileSize(target), int64_t(17) << 20);
}

TEST(AtomicFile, ReplacesTheTargetOnlyOnCommit)
{
    test::TTempFolder dir;
    const std::string path = dir.File("project.tpj");
    test::WriteBytes(path, "old");
    {
        TAtomicFile out;
        ASSERT_TRUE(out.Begin(path));
        out.File().WriteText("half");
        // no commit: the old file stays, the temporary goes
    }
    EXPECT_EQ(test::ReadBytes(path), "old");
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), 1u);
    // A full disk midway keeps the old file and leaves no temporary.
    TFile::FailWritesAfter(4);
    EXPECT_FALSE(WriteFileAtomically(path, "longer new contents"));
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(test::ReadBytes(path), "old");
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), 1u);
    ASSERT_TRUE(WriteFileAtomically(path, "new contents"));
    EXPECT_EQ(test::ReadBytes(path), "new contents");
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), 1u);
    EXPECT_FALSE(WriteFileAtomically(dir.File("no/such/x.dat"), "x"));

    // Begun in an open folder, the file goes where that folder is, whatever stands at its
    // path by the commit: here a link to another folder, which is left as it was.
    ASSERT_TRUE(MakeFolder(dir.File("f")));
    const TFolder folder = TFolder::Open(dir.File("f"));
    TAtomicFile out;
    ASSERT_TRUE(out.Begin(folder, "a"));
    ASSERT_TRUE(out.File().WriteText("new a"));
    ASSERT_EQ(::rename(dir.File("f").c_str(), dir.File("moved").c_str()), 0);
    ASSERT_TRUE(MakeFolder(dir.File("other")));
    ASSERT_EQ(::symlink(dir.File("other").c_str(), dir.File("f").c_str()), 0);
    EXPECT_TRUE(out.Commit());
    EXPECT_EQ(test::ReadBytes(dir.File("moved/a")), "new a");
    EXPECT_TRUE(vx::test::ListedEntries(dir.File("other")).empty());
    EXPECT_EQ(vx::test::ListedEntries(dir.File("moved")).size(), 1u);
}

// A new file's rights are those the system gives any new file: the process's umask, which
// its threads share, is never set aside for it, so that a file another thread makes
// meanwhile never gets rights wider than the umask allows. Another thread reads the umask
// as the system holds it, over and over, while files are begun here.
TEST(AtomicFile, ANewFileLeavesTheUmaskOfTheProcessAlone)
{
    test::TTempFolder dir;
    const mode_t mask = ::umask(022);
    std::atomic<int> looks{0};
    std::atomic<bool> done{false};
    std::string seen;
    std::thread other([&] {
        for (; !done.load(); ++looks) {
            std::ifstream status("/proc/self/status");
            std::string line, umask = "none";
            while (std::getline(status, line))
                if (line.rfind("Umask:", 0) == 0)
                    umask = line.substr(7);
            if (umask != "0022" && seen.find(umask) == std::string::npos)
                seen += umask + " ";
        }
    });
    // Until the other thread has had its turns while files were begun here.
    while (looks.load() < 20000) {
        TAtomicFile out;
        EXPECT_TRUE(out.Begin(dir.File("new.dat")));
        out.Abort();
    }
    done.store(true);
    other.join();
    ::umask(mask);
    EXPECT_EQ(seen, "") << "umasks seen besides 0022";
    ASSERT_TRUE(WriteFileAtomically(dir.File("new.dat"), "x"));
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("new.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// A file written in place of another is private to its maker from the moment it exists
// and has that one's rights before anything is written into it: another user who opens it
// in that moment is refused. A file that cannot be given them is not put in place, and the
// write says why.
TEST(AtomicFile, AFileIsPrivateUntilItHasTheRightsOfTheFileItReplaces)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's open is had only by root";
    test::TTempFolder dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string path = dir.File("p.tpj");
    const mode_t mask = ::umask(022);
    std::string seen;
    SetBeforeRightsHook([&](const std::string& made) {
        seen += test::AsUser(65534, 65534, [&] {
            const int fd = ::open(made.c_str(), O_RDONLY);
            if (fd >= 0)
                ::close(fd);
            return fd >= 0 ? "opened" : "refused";
        });
    });
    for (const mode_t mode : {0600, 0640, 0664}) {
        test::WriteBytes(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        seen.clear();
        EXPECT_TRUE(WriteFileAtomically(path, "private"));
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        char text[2][8];
        std::snprintf(text[0], sizeof text[0], "%04o", unsigned(st.st_mode & 07777));
        std::snprintf(text[1], sizeof text[1], "%04o", unsigned(mode));
        EXPECT_EQ(seen + " " + text[0], std::string("refused ") + text[1]);
    }
    SetBeforeRightsHook({});
    // An owner that cannot be given (an id its user namespace does not map, a file system
    // that keeps no owners) leaves the file this user's; any other failure is a refusal.
    for (const int error : {EIO, EINVAL, ENOSYS, EOPNOTSUPP, EPERM}) {
        test::TFileFaultScope faults({{kFileRights, error, 1}});
        TAtomicFile out;
        out.Begin(path);
        EXPECT_EQ(out.WhyNotWritten(), error != EIO ? "" : "its new file could not be given the rights of " + path +
                                                               ": input/output error");
        out.Abort();
    }
    ::umask(mask);
    EXPECT_EQ(test::ReadBytes(path), "private");
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), 1u);
}

// A file written in place of another takes no wider rights than that one: on a file system
// that keeps no ACLs its mode bits alone, and where this user may not give it that one's
// group, no more for its group than for everyone.
TEST(AtomicFile, AFileTakesNoWiderRightsThanTheFileItReplaces)
{
    test::TTempFolder dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const std::string path = dir.File("p.tpj");
    const auto rights = [&] {
        struct stat st {};
        char text[32] = "none";
        if (::stat(path.c_str(), &st) == 0)
            std::snprintf(text, sizeof text, "%04o %u:%u", unsigned(st.st_mode & 07777), unsigned(st.st_uid),
                          unsigned(st.st_gid));
        return std::string(text);
    };
    test::WriteBytes(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::string before = rights();
    {
        test::TFileFaultScope faults({test::KeepsNoAcls()});
        EXPECT_TRUE(WriteFileAtomically(path, "new"));
    }
    EXPECT_EQ(rights(), before);
    if (::geteuid() != 0)
        GTEST_SKIP() << "a file of a group this user is not of is had only by root";
    ASSERT_EQ(::chown(path.c_str(), 65534, 0), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    EXPECT_EQ(test::AsUser(65534, 65534, [&] { return WriteFileAtomically(path, "user's") ? rights() : "not written"; }),
              "0644 65534:65534");
}

TEST(File, WritePartsWritesEveryPartInOrderOrFailsOnAFullDisk)
{
    test::TTempFolder dir;
    const std::string path = dir.File("parts.bin");
    std::vector<std::string> parts;
    std::string whole = "head";
    for (int i = 0; i < 3000; ++i) {  // more parts than one system call takes
        parts.push_back(std::string(static_cast<size_t>(i % 7), static_cast<char>('a' + i % 26)));
        whole += parts.back();
    }
    whole += "tail";
    std::vector<TFile::TPart> list;
    for (const std::string& p : parts)
        list.push_back({p.data(), p.size()});
    TFile f;
    ASSERT_TRUE(f.Open(path, TFile::Mode::Write));
    ASSERT_TRUE(f.WriteText("head"));  // still in the stream's buffer
    ASSERT_TRUE(f.WriteParts(list.data(), list.size()));
    EXPECT_EQ(f.Tell(), static_cast<int64_t>(whole.size() - 4));
    ASSERT_TRUE(f.WriteText("tail"));
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(test::ReadBytes(path), whole);

    // A full disk fails the parts, and the close that follows.
    const std::string a(100, 'a'), b(100, 'b');
    const TFile::TPart two[] = {{a.data(), a.size()}, {b.data(), b.size()}};
    TFile full;
    ASSERT_TRUE(full.Open(dir.File("full.bin"), TFile::Mode::Write));
    TFile::FailWritesAfter(150);
    EXPECT_FALSE(full.WriteParts(two, 2));
    TFile::FailWritesAfter(-1);
    EXPECT_FALSE(full.Close()) << "a failed write is remembered until the close";
}

// Each failure keeps the system's reason until the next Open, through the close.
TEST(File, LastErrorTellsWhyTheLastOperationFailed)
{
    test::TTempFolder dir;
    TFile f;
    EXPECT_EQ(f.LastError(), 0);
    EXPECT_FALSE(f.Open(dir.File("missing"), TFile::Mode::Read));
    EXPECT_EQ(f.LastError(), ENOENT);
    EXPECT_FALSE(f.Open(dir.Path(), TFile::Mode::Read));
    EXPECT_EQ(f.LastError(), EISDIR);
    ASSERT_TRUE(f.Open(dir.File("a.bin"), TFile::Mode::Write));
    EXPECT_EQ(f.LastError(), 0) << "a new open starts clean";

    // The test budget stands for a full disk.
    TFile::FailWritesAfter(2);
    EXPECT_FALSE(f.WriteInt32(1));
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(f.LastError(), ENOSPC);
    EXPECT_FALSE(f.Close());
    EXPECT_EQ(f.LastError(), ENOSPC);

    // A read the system refuses (the file is open only to write) gives the system's reason,
    // whatever errno held before, also while the refusal before it is still on the stream.
    ASSERT_TRUE(f.Open(dir.File("w.bin"), TFile::Mode::Write));
    for (int k = 0; k < 2; ++k) {
        int32_t v = 0;
        errno = ENOENT;
        EXPECT_FALSE(f.ReadInt32(v));
        EXPECT_TRUE(f.ReadFailed());
        EXPECT_EQ(f.LastError(), EBADF);
    }

    // A real full device: the buffered write succeeds and the flush at the close fails.
    if (std::filesystem::exists("/dev/full")) {
        TFile full;
        ASSERT_TRUE(full.Open("/dev/full", TFile::Mode::Write));
        EXPECT_TRUE(full.WriteText("some bytes"));
        EXPECT_FALSE(full.Close());
        EXPECT_EQ(full.LastError(), ENOSPC);
        EXPECT_EQ(FileErrorReason(full.LastError()), "the disk is full");
    }

    // A replacement that cannot begin says why through its file.
    TAtomicFile atomic;
    EXPECT_FALSE(atomic.Begin(dir.File("no/such/x.dat")));
    EXPECT_EQ(atomic.File().LastError(), ENOENT);
    ASSERT_TRUE(atomic.Begin(dir.File("x.dat")));
    EXPECT_EQ(atomic.File().LastError(), 0);
    ASSERT_TRUE(atomic.File().WriteText("x"));
    std::filesystem::create_directory(dir.File("x.dat"));  // the rename cannot replace a folder
    EXPECT_FALSE(atomic.Commit(false));
    EXPECT_EQ(atomic.File().LastError(), EISDIR);
}

// A size that cannot be looked up is no size: BytesLeft says so, not that the file ends
// here, and a whole-file read says which step failed and why.
TEST(File, AFailedSizeOrReadIsToldApartFromAShortOrLargeFile)
{
    test::TTempFolder dir;
    const std::string path = dir.File("f.txt");
    test::WriteBytes(path, "0123456789");
    {
        TFile f;
        ASSERT_TRUE(f.Open(path, TFile::Mode::Read));
        test::TFileFaultScope fault({{kFileSize, EIO, 1}});
        EXPECT_EQ(f.BytesLeft(), -1);
        EXPECT_TRUE(f.SizeFailed());
        EXPECT_EQ(f.LastError(), EIO);
        EXPECT_EQ(f.BytesLeft(), 10) << "the fault struck once";
    }
    using TKind = TWholeFileFailure::TKind;
    const struct {
        const char* name;
        std::string path;
        std::vector<TFileFault> faults;
        int64_t limit;
        TKind kind;
        int error;
    } cases[] = {
        {"missing", dir.File("missing"), {}, 100, TKind::NotOpened, ENOENT},
        {"a folder", dir.Path(), {}, 100, TKind::NotOpened, EISDIR},
        {"size not read", path, {{kFileSize, EIO, 1}}, 100, TKind::SizeNotRead, EIO},
        {"too large", path, {}, 9, TKind::TooLarge, 0},
        {"read failed", path, {{kFileRead, EIO, 1}}, 100, TKind::NotReadToEnd, EIO},
        {"open failed", path, {{kFileOpenRead, EIO, 1}}, 100, TKind::NotOpened, EIO},
    };
    for (const auto& c : cases) {
        test::TFileFaultScope fault(c.faults);
        std::string text = "kept";
        TWholeFileFailure why;
        EXPECT_FALSE(ReadWholeFile(c.path, text, c.limit, &why)) << c.name;
        EXPECT_EQ(text, "kept") << c.name;
        EXPECT_EQ(why.kind, c.kind) << c.name;
        EXPECT_EQ(why.error, c.error) << c.name;
        EXPECT_EQ(why.IsFault(), c.error != 0 && c.error != ENOENT) << c.name;
        EXPECT_EQ(FileFaultStruckRead(), c.faults.empty() ? "" : path) << c.name;  // the file the fault failed
    }
    TWholeFileFailure why;
    std::string text;
    EXPECT_FALSE(ReadWholeFile(path, text, 9, &why));
    EXPECT_EQ(why.size, 10);
    EXPECT_EQ(why.limit, 9);
    EXPECT_TRUE(ReadWholeFile(path, text, 10, &why));
    EXPECT_EQ(text, "0123456789");
    EXPECT_EQ(why.kind, TKind::None);
}

TEST(Files, FileErrorReasonSaysWhyInWordsAUserKnows)
{
    EXPECT_EQ(FileErrorReason(ENOSPC), "the disk is full");
    EXPECT_EQ(FileErrorReason(EDQUOT), "the disk is full");
    for (const int error : {EACCES, EPERM, EROFS})
        EXPECT_EQ(FileErrorReason(error), "the folder or file is write-protected") << error;
    // Others: the system's own text, as the tail of a sentence.
    std::string system = std::strerror(EIO);
    system[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(system[0])));
    EXPECT_EQ(FileErrorReason(EIO), system);
    EXPECT_TRUE(std::islower(static_cast<unsigned char>(FileErrorReason(ENOENT)[0])));
}

TEST(Files, RemoveFolderTreeTakesEverythingInsideAndNothingBeside)
{
    test::TTempFolder dir;
    ASSERT_TRUE(MakeFolder(dir.File("out/study/sub")));
    test::WriteBytes(dir.File("out/study/study.tpj"), "p");
    test::WriteBytes(dir.File("out/study/sub/set"), "s");
    test::WriteBytes(dir.File("out/other"), "o");
    EXPECT_TRUE(RemoveFolderTree(dir.File("out/study")));
    EXPECT_FALSE(FolderExists(dir.File("out/study")));
    EXPECT_TRUE(FileExists(dir.File("out/other")));
    EXPECT_TRUE(RemoveFolderTree(dir.File("out/study"))) << "nothing left to remove";
}
