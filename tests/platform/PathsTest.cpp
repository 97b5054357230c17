#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Paths.h"
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
    auto spar = FindCompanionFile(dir.Path(), "scan.SPAR");
    ASSERT_TRUE(spar.has_value());
    EXPECT_EQ(FileNameOf(*spar), "scan.spar");
    test::WriteBytes(dir.File("scan.SPAR"), "upper");
    spar = FindCompanionFile(dir.Path(), "scan.SPAR");
    ASSERT_TRUE(spar.has_value());
    EXPECT_EQ(FileNameOf(*spar), "scan.SPAR");
    EXPECT_FALSE(FindCompanionFile(dir.Path(), "other.SPAR").has_value());
    EXPECT_TRUE(FindFileNoCase(dir.Path() + "\\SCAN.SDAT").has_value());
}

TEST(Files, ListingFiltersAndSorts)
{
    test::TTempFolder dir;
    test::WriteBytes(dir.File("b.PAR"), "");
    test::WriteBytes(dir.File("a.par"), "");
    test::WriteBytes(dir.File("c.rec"), "");
    MakeFolder(dir.File("sub"));
    const auto entries = ListFolder(dir.Path(), "*.par");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "a.par");
    EXPECT_EQ(entries[1].name, "b.PAR");
    const auto all = ListFolder(dir.Path());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(all[3].isFolder);
}

TEST(Files, CurrentFolderIsTheProgramsOwn)
{
    const std::string before = CurrentFolder();
    EXPECT_FALSE(before.empty());
    SetCurrentFolder("/tmp/somewhere");
    EXPECT_EQ(CurrentFolder(), "/tmp/somewhere");
    SetCurrentFolder(before);
}
