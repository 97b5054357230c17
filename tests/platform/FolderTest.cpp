#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/TFile.h"
#include "platform/TFolder.h"
#include "platform/TRights.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/FuseMount.h"
#include "support/TestFiles.h"

using namespace vx;
namespace fs = std::filesystem;

namespace {

// A folder opened, then moved away with a link to another folder put at its path and at
// every name in it, as another user who may write around it could: each call acts in the
// folder opened, never in the other.
struct TSwapped {
    test::TTempFolder dir;
    std::string opened = dir.File("opened"), moved = dir.File("moved"), other = dir.File("other");
    TFolder folder;

    TSwapped()
    {
        fs::create_directories(opened + "/sub");
        fs::create_directories(other + "/sub");
        test::WriteBytes(opened + "/file", "mine");
        test::WriteBytes(other + "/file", "theirs");
        test::WriteBytes(other + "/sub/kept", "theirs");
        folder = TFolder::Open(opened);
        fs::rename(opened, moved);
        fs::create_directory_symlink(other, opened);
    }
};

}  // namespace

TEST(Folder, EveryCallActsInTheFolderOpenedWhateverIsPutAtItsPathOrNames)
{
    struct TRow {
        const char* call;
        std::function<bool(TSwapped&)> act;  // true when the call did its work
        const char* inMoved;                  // what the moved folder then holds at "file"
    };
    const std::vector<TRow> rows = {
        {"make a unique file",
         [](TSwapped& s) {
             std::string name = "new.XXXXXX";
             const int fd = s.folder.MakeUniqueFile(name, 0600);
             return fd >= 0 && ::close(fd) == 0 && fs::exists(s.moved + "/" + name);
         },
         "mine"},
        {"rename over a file",
         [](TSwapped& s) {
             test::WriteBytes(s.moved + "/staged", "new");
             return s.folder.Rename("staged", s.folder, "file") == 0;
         },
         "new"},
        {"remove a file", [](TSwapped& s) { return s.folder.Remove("file") == 0; }, ""},
        {"remove a tree", [](TSwapped& s) { return s.folder.RemoveTree("sub") == 0 && !fs::exists(s.moved + "/sub"); },
         "mine"},
        {"read a file",
         [](TSwapped& s) {
             std::string text;
             return ReadWholeFile(s.folder, "file", text, 100) && text == "mine";
         },
         "mine"},
        {"list", [](TSwapped& s) { return s.folder.List().entries.size() == 2; }, "mine"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.call);
        TSwapped s;
        ASSERT_TRUE(s.folder.IsOpen());
        EXPECT_TRUE(row.act(s));
        EXPECT_EQ(test::ReadBytes(s.other + "/file"), "theirs");
        EXPECT_EQ(test::ReadBytes(s.other + "/sub/kept"), "theirs");
        EXPECT_EQ(fs::exists(s.moved + "/file") ? test::ReadBytes(s.moved + "/file") : "", row.inMoved);
        EXPECT_EQ(test::FolderNames(s.other), (std::vector<std::string>{"file", "sub"}));
    }
}

TEST(Folder, ALinkAtANameIsNeitherFollowedNorTakenForWhatItLeadsTo)
{
    test::TTempFolder dir;
    fs::create_directories(dir.File("in"));
    fs::create_directories(dir.File("away"));
    test::WriteBytes(dir.File("away/file"), "away");
    fs::create_directory_symlink(dir.File("away"), dir.File("in/folder"));
    fs::create_symlink(dir.File("away/file"), dir.File("in/file"));
    const TFolder folder = TFolder::Open(dir.File("in"));
    ASSERT_TRUE(folder.IsOpen());

    EXPECT_FALSE(folder.OpenFolder("folder").IsOpen());
    EXPECT_TRUE(errno == ELOOP || errno == ENOTDIR) << errno;
    std::string notAFile;
    EXPECT_LT(folder.OpenToRead("file", &notAFile), 0);
    EXPECT_EQ(notAFile, "a symbolic link");
    EXPECT_LT(folder.OpenFile("file", O_RDWR), 0);
    EXPECT_LT(folder.MakeFile("file", O_WRONLY, 0600), 0);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(folder.HasFolder("folder"), TFolder::THas::No);
    EXPECT_EQ(folder.HasFile("file"), TFolder::THas::No);
    EXPECT_FALSE(folder.MakePrivateFolder("folder").IsOpen());
    EXPECT_FALSE(TFolder::Open(dir.File("in/folder")).IsOpen()) << "a link at the last name, unless asked for";
    EXPECT_TRUE(TFolder::Open(dir.File("in/folder"), TFolder::kFollowLast).IsOpen());
    fs::create_directories(dir.File("away/sub"));
    EXPECT_TRUE(TFolder::Open(dir.File("in/folder/sub")).IsOpen()) << "a link on the way is the path's own";
    // A link of this user's own is followed where the folder's rule is asked.
    TFile own;
    EXPECT_TRUE(own.Open(folder, "file", TFile::kTrustedLink));
    // A tree removed takes the links, never what they lead to.
    EXPECT_EQ(TFolder::Open(dir.Path()).RemoveTree("in"), 0);
    EXPECT_FALSE(fs::exists(dir.File("in")));
    EXPECT_EQ(test::ReadBytes(dir.File("away/file")), "away");
}

// Another user who may write a folder being removed puts a link to a folder of someone
// else's in place of a subfolder after it was looked at: the removal goes no further.
TEST(Folder, ATreeRemovedNeverFollowsALinkPutInPlaceOfASubfolderMeanwhile)
{
    test::TTempFolder dir;
    fs::create_directories(dir.File("tree/a/deep"));
    test::WriteBytes(dir.File("tree/a/deep/f"), "f");
    fs::create_directories(dir.File("victim/a"));
    for (const char* name : {"victim/1", "victim/a/2"})
        test::WriteBytes(dir.File(name), "kept");
    SetBeforeUseHook([&](const std::string& path) {
        if (path == dir.File("tree/a")) {
            fs::rename(dir.File("tree/a"), dir.File("aside"));
            fs::create_directory_symlink(dir.File("victim"), dir.File("tree/a"));
        }
    });
    const int removed = TFolder::Open(dir.Path()).RemoveTree("tree");
    SetBeforeUseHook({});
    EXPECT_NE(removed, 0) << "the link stays, and the removal says so";
    EXPECT_EQ(test::ReadBytes(dir.File("victim/1")), "kept");
    EXPECT_EQ(test::ReadBytes(dir.File("victim/a/2")), "kept");
    EXPECT_EQ(test::ReadBytes(dir.File("aside/deep/f")), "f");
    // The path form goes through the same descriptors.
    SetBeforeUseHook([&](const std::string& path) {
        if (path == dir.File("aside/deep")) {
            fs::rename(dir.File("aside/deep"), dir.File("deep"));
            fs::create_directory_symlink(dir.File("victim"), dir.File("aside/deep"));
        }
    });
    EXPECT_FALSE(RemoveFolderTree(dir.File("aside")));
    SetBeforeUseHook({});
    EXPECT_EQ(test::FolderNames(dir.File("victim")), (std::vector<std::string>{"1", "a"}));
    EXPECT_TRUE(RemoveFolderTree(dir.File("aside")));
    EXPECT_TRUE(RemoveFolderTree(dir.File("aside"))) << "nothing left to remove";
}

TEST(Folder, APrivateFolderMadeIsToldByItsIdentityAndEveryFailureSaysWhy)
{
    test::TTempFolder dir;
    const TFolder folder = TFolder::Open(dir.Path());
    TFolder made = folder.MakePrivateFolder("work");
    ASSERT_TRUE(made.IsOpen());
    struct stat st {};
    ASSERT_EQ(folder.Stat("work", st), 0);
    EXPECT_EQ((st.st_mode & 0777), 0700u);
    EXPECT_EQ(made.Identity(), (TFileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)}));
    EXPECT_FALSE(folder.MakePrivateFolder("work").IsOpen());
    EXPECT_EQ(errno, EEXIST);
    // Another folder renamed in its place before it is opened is not the one made.
    SetBeforeRightsHook([&](const std::string& path) {
        fs::rename(path, dir.File("mine"));
        fs::create_directory(path);
    });
    EXPECT_FALSE(folder.MakePrivateFolder("raced").IsOpen());
    EXPECT_EQ(errno, ESTALE);
    SetBeforeRightsHook({});
    // A name that leaves the folder is none of it.
    for (const char* name : {"..", ".", "a/b", ""})
        EXPECT_EQ(folder.Remove(name), EINVAL) << name;
    // The seam fails each kind of call as it fails its path counterpart.
    const struct {
        unsigned calls;
        std::function<int()> call;
    } faults[] = {
        {kFileRemove, [&] { return folder.RemoveTree("work"); }},
        {kFileSyncFolder, [&] { return made.Sync(); }},
        {kFileRename, [&] { return folder.Rename("work", folder, "w2"); }},
        {kFileCreate, [&] { return folder.MakeFile("x", O_WRONLY, 0600) < 0 ? errno : 0; }},
        // A look that fails is no answer that nothing, or nothing of the kind, is there.
        {kFileStat, [&] { return folder.HasFolder("work") == TFolder::THas::Failed ? errno : 0; }},
        {kFileStat, [&] { return folder.HasFile("work") == TFolder::THas::Failed ? errno : 0; }},
        {kFileStat, [&] { return folder.HoldsAt("work", made) == TFolder::THas::Failed ? errno : 0; }},
        // Emptied, but kept where it cannot be told at its name.
        {kFileStat, [&] { return folder.RemoveTree("work", made); }},
    };
    for (const auto& fault : faults) {
        test::TFileFaultScope scope({{fault.calls, EIO}});
        EXPECT_EQ(fault.call(), EIO);
    }
    EXPECT_EQ(folder.HasFolder("work"), TFolder::THas::Yes);
    test::TFileFaultScope scope({{kFileList, EIO}});
    EXPECT_EQ(folder.List().error, EIO);
    // Rights that another owner's file, on a file system that keeps rights, does not take
    // are not given: the failed change is no success.
    if (::geteuid() == 0) {
        test::WriteBytes(dir.File("theirs"), "");
        ASSERT_EQ(::chmod(dir.File("theirs").c_str(), 0666), 0);
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
        EXPECT_EQ(test::AsAnOrdinaryUser([&] {
            const int fd = ::open(dir.File("theirs").c_str(), O_RDWR | O_CLOEXEC);
            const bool given = fd >= 0 && TRights(0600, uid_t(-1), gid_t(-1)).GiveTo(fd);
            ::close(fd);
            return std::string(fd < 0 ? "not opened" : given ? "given" : "refused");
        }), "refused");
    }
}

// Who made an entry, and which links may be followed, as root and as uid 65534: in a sticky
// folder all may write, in 65534's own folder, in root's folder 65534 may only read, and on
// exFAT, which shows the mount's owner for every file whoever made it.
TEST(Folder, AnEntryIsThisUsersWhereItMadeItAndALinkIsFollowedWhereItOrTheFolderOwnerMadeIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "root makes the files of two users";
    test::TTempFolder dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const mode_t mask = ::umask(0);
    ASSERT_EQ(::mkdir(dir.File("shared").c_str(), 01777), 0);
    ASSERT_EQ(::mkdir(dir.File("root").c_str(), 0755), 0);
    ::umask(mask);
    const auto make = [&](const std::string& who) {
        test::WriteBytes(dir.File("shared/" + who + "-file"), who);
        for (const char* in : {"shared", "user"})
            fs::create_symlink(dir.File("shared/root-file"), dir.File(std::string(in) + "/" + who + "-link"));
    };
    ASSERT_EQ(test::AsUser(65534, 65534, [&] {
                  fs::create_directory(dir.File("user"));
                  fs::permissions(dir.File("user"), fs::perms::all);
                  make("user");
                  return "made";
              }),
              "made");
    make("root");
    test::WriteBytes(dir.File("root/root-file"), "root");
    // What each user is told of each name: made by them, and a link they may follow.
    const auto tell = [&] {
        std::string text;
        for (const char* in : {"shared", "user", "root"}) {
            const TFolder folder = TFolder::Open(dir.File(in));
            for (const TFolderEntry& entry : folder.List().entries) {
                struct stat st {};
                EXPECT_EQ(folder.Stat(entry.name, st), 0);
                text += std::string(in) + "/" + entry.name + (folder.MadeByThisUser(st) ? " made" : "") +
                        (S_ISLNK(st.st_mode) && folder.MayFollowLink(st) ? " follow" : "") + "\n";
            }
        }
        return text;
    };
    EXPECT_EQ(tell(),
              "shared/root-file made\nshared/root-link made follow\nshared/user-file\nshared/user-link\n"
              "user/root-link made follow\nuser/user-link follow\nroot/root-file made\n");
    EXPECT_EQ(test::AsUser(65534, 65534, tell),
              "shared/root-file\nshared/root-link follow\nshared/user-file made\nshared/user-link made follow\n"
              "user/root-link\nuser/user-link made follow\nroot/root-file\n");
    EXPECT_TRUE(TFolder::Open(dir.File("shared")).KeepsOwners());

    const std::string usb = dir.File("usb");
    fs::create_directory(usb);
    const test::TFuseMount mount = test::ExfatMount(usb + ".img", usb, "uid=65534,gid=65534,umask=0");
    if (!mount.Skip().empty())
        GTEST_SKIP() << mount.Skip();
    ASSERT_EQ(mount.Failure(), "");
    test::WriteBytes(usb + "/file", "mine");
    const TFolder folder = TFolder::Open(usb);
    struct stat st {};
    ASSERT_EQ(folder.Stat("file", st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_FALSE(folder.KeepsOwners());
    EXPECT_TRUE(folder.MadeByThisUser(st)) << "no owner tells it apart";
    EXPECT_EQ(test::FolderNames(usb), (std::vector<std::string>{"file"})) << "the file made to tell is gone";
}
