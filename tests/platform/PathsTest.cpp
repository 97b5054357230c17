#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/TestFiles.h"

using namespace vx;

TEST(Paths, SplitsWindowsAndPosixPaths)
{
    EXPECT_EQ(FolderOf("C:\\data\\scan.SPAR"), "C:\\data");
    EXPECT_EQ(FileNameOf("C:\\data\\scan.SPAR"), "scan.SPAR");
    EXPECT_EQ(FolderOf("/data/scan.SPAR"), "/data");
    EXPECT_EQ(FileNameOf("/data/scan.SPAR"), "scan.SPAR");
    EXPECT_EQ(ExtensionOf("/data/scan.SPAR"), ".SPAR");
    EXPECT_EQ(StemOf("C:\\data\\scan.SPAR"), "scan");
    EXPECT_EQ(FolderOf("scan.SPAR"), "");
    EXPECT_EQ(FolderOf("/scan"), "/");
    EXPECT_EQ(FileNameOf("mixed/dir\\name.x"), "name.x");
    EXPECT_EQ(ExtensionOf("/a.b/noext"), "");
    EXPECT_EQ(ExtensionOf(".hidden"), "");
    EXPECT_EQ(WithoutExtension("/d/scan.sdat"), "/d/scan");
}

TEST(Paths, JoinsWithSlash)
{
    EXPECT_EQ(JoinPath("/p", "x.tpj"), "/p/x.tpj");
    EXPECT_EQ(JoinPath("/p/", "x.tpj"), "/p/x.tpj");
    EXPECT_EQ(JoinPath("C:\\p\\", "x"), "C:\\p/x");
    EXPECT_EQ(JoinPath("", "x"), "x");
    EXPECT_EQ(ToNativePath("C:\\data\\scan.SPAR"), "C:/data/scan.SPAR");
}

TEST(Paths, ExtensionIsAppendedOnlyWhenAbsentInEveryCase)
{
    struct Case {
        const char* chosen;
        const char* written;
    };
    for (const Case c : {Case{"/d/Data/Mask", "/d/Data/Mask.txt"}, Case{"/d/Maps.TXT", "/d/Maps.TXT"},
                         Case{"/d/a.txt.bak", "/d/a.txt.bak"}, Case{"/d/mask.tx", "/d/mask.tx.txt"}})
        EXPECT_EQ(WithExtensionIfMissing(c.chosen, ".TXT"), c.written) << c.chosen;
}

TEST(Paths, WildcardsIgnoreCase)
{
    EXPECT_TRUE(WildcardMatch("*.SPAR", "scan.spar"));
    EXPECT_TRUE(WildcardMatch("*.PAR", "x.par"));
    EXPECT_FALSE(WildcardMatch("*.PAR", "x.spar.bak"));
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_TRUE(WildcardMatch("a?c*", "ABCdef"));
    EXPECT_FALSE(WildcardMatch("a?c", "ac"));
    EXPECT_TRUE(WildcardMatch("*a*b*", "xxaYYbzz"));
    // A folder search lets ".*" match no extension at all.
    EXPECT_FALSE(WildcardMatch("P*.*", "P12345"));
    EXPECT_TRUE(SearchPatternMatch("P*.*", "P12345"));
    EXPECT_TRUE(SearchPatternMatch("p*.*", "P12345.7"));
    EXPECT_FALSE(SearchPatternMatch("P*.*", "e12345"));
    EXPECT_FALSE(SearchPatternMatch("", "P12345"));
}

TEST(Paths, FileComponentsAreChecked)
{
    EXPECT_TRUE(IsSafeFileComponent("scan 1"));
    EXPECT_FALSE(IsSafeFileComponent("../x"));
    EXPECT_FALSE(IsSafeFileComponent(".."));
    EXPECT_FALSE(IsSafeFileComponent(""));
    EXPECT_FALSE(IsSafeFileComponent("a\\b"));
    EXPECT_EQ(SanitizeFileComponent("../x"), ".._x");
    EXPECT_EQ(SanitizeFileComponent(".."), "_..");
    EXPECT_TRUE(IsSafeFileComponent(SanitizeFileComponent("a/b\\c\n")));
}

TEST(Files, CompanionFoundExactlyThenIgnoringCase)
{
    test::TTempFolder dir;
    test::WriteBytes(dir.File("scan.spar"), "lower");
    test::WriteBytes(dir.File("scan.sdat"), "x");
    auto spar = FindCompanionFile(dir.Path(), "scan.SPAR").path;
    ASSERT_TRUE(spar.has_value());
    EXPECT_EQ(FileNameOf(*spar), "scan.spar");
    test::WriteBytes(dir.File("scan.SPAR"), "upper");
    spar = FindCompanionFile(dir.Path(), "scan.SPAR").path;
    ASSERT_TRUE(spar.has_value());
    EXPECT_EQ(FileNameOf(*spar), "scan.SPAR");
    const TFoundFile other = FindCompanionFile(dir.Path(), "other.SPAR");
    EXPECT_FALSE(other.path.has_value());
    EXPECT_EQ(other.error, 0);
    EXPECT_TRUE(FindFileNoCase(dir.Path() + "\\SCAN.SDAT").path.has_value());
}

TEST(Files, ListingFiltersAndSorts)
{
    test::TTempFolder dir;
    test::WriteBytes(dir.File("b.PAR"), "");
    test::WriteBytes(dir.File("a.par"), "");
    test::WriteBytes(dir.File("c.rec"), "");
    MakeFolder(dir.File("sub"));
    const auto entries = test::ListedEntries(dir.Path(), "*.par");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "a.par");
    EXPECT_EQ(entries[1].name, "b.PAR");
    const auto all = test::ListedEntries(dir.Path());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(all[3].isFolder);
    // Links are followed (one that leads nowhere is no folder), whether the file system
    // gives each entry's type or the listing asks for it.
    ASSERT_EQ(::symlink("sub", dir.File("to sub").c_str()), 0);
    ASSERT_EQ(::symlink("a.par", dir.File("to a").c_str()), 0);
    ASSERT_EQ(::symlink("gone", dir.File("to gone").c_str()), 0);
    for (const bool typesKept : {true, false}) {
        SCOPED_TRACE(typesKept ? "entry types kept" : "no entry types");
        std::vector<TFileFault> faults;
        if (!typesKept)
            faults.push_back(test::NoEntryTypes());
        test::TFileFaultScope fault(faults);
        std::string folders;
        for (const TFolderEntry& e : test::ListedEntries(dir.Path()))
            folders += e.name + (e.isFolder ? "/ " : " ");
        EXPECT_EQ(folders, "a.par b.PAR c.rec sub/ to a to gone to sub/ ");
    }
}

// A folder whose listing fails, at its open or at any read of its entries, gives the error
// and no entry, never an empty folder; nor does a look for a file in it say "none". As an
// ordinary user a folder without the right to read fails so too.
TEST(Files, AListingThatFailsGivesItsErrorAndNoEntry)
{
    test::TTempFolder dir;
    test::WriteBytes(dir.File("scan.spar"), "x");
    test::WriteBytes(dir.File("notes.txt"), "x");
    MakeFolder(dir.File("sub"));
    int reads = 0;  // the open, a read for each entry with "." and "..", and the read at the end
    for (int at = 1;; ++at) {
        SCOPED_TRACE("the listing failing at its event " + std::to_string(at));
        test::TFileFaultScope fault({{kFileList, at % 2 ? EIO : ENOMEM, at}});
        const TFolderListing listing = ListFolder(dir.Path());
        if (!FileFaultStruck()) {
            EXPECT_TRUE(listing.Whole());
            EXPECT_EQ(listing.entries.size(), 3u);
            break;
        }
        ++reads;
        EXPECT_EQ(listing.error, at % 2 ? EIO : ENOMEM);
        EXPECT_TRUE(listing.entries.empty());
    }
    EXPECT_EQ(reads, 7);
    // Where the file system gives no entry's type, an entry that cannot be looked at fails
    // the listing: it is never taken for a file.
    {
        test::TFileFaultScope fault({test::NoEntryTypes(), {kFileStat, EIO, 2}});
        const TFolderListing listing = ListFolder(dir.Path());
        EXPECT_EQ(listing.error, EIO);
        EXPECT_TRUE(listing.entries.empty());
    }
    {
        test::TFileFaultScope fault({{kFileList, EIO, 1}});
        const TFoundFile found = FindCompanionFile(dir.Path(), "SCAN.SPAR");
        EXPECT_FALSE(found.path.has_value());
        EXPECT_EQ(found.error, EIO);
    }
    {
        test::TFileFaultScope fault({{kFileList, EIO, 1, true}});
        EXPECT_EQ(FindCompanionFile(dir.Path(), "scan.spar").path, dir.File("scan.spar")) << "found by its name";
    }

    ::chmod(dir.Path().c_str(), 0777);
    const std::string seen = test::AsAnOrdinaryUser([&] {
        const std::string folder = dir.File("closed");
        MakeFolder(folder);
        test::WriteBytes(folder + "/Scan.spar", "x");
        ::chmod(folder.c_str(), 0311);
        const TFolderListing listing = ListFolder(folder);
        const TFoundFile found = FindCompanionFile(folder, "scan.spar");
        return std::to_string(listing.error == EACCES) + std::to_string(listing.entries.size()) +
               std::to_string(found.error == EACCES) + ListingErrorReason(found.error);
    });
    EXPECT_EQ(seen, "101permission denied");
}

TEST(Files, CurrentFolderIsTheProgramsOwn)
{
    const std::string before = CurrentFolder();
    EXPECT_FALSE(before.empty());
    SetCurrentFolder("/tmp/somewhere");
    EXPECT_EQ(CurrentFolder(), "/tmp/somewhere");
    SetCurrentFolder(before);
}
