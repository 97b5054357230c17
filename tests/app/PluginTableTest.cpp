#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/PluginTable.h"
#include "support/FileFaultScope.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

void CopyFile(const std::string& from, const std::string& to)
{
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

TEST(PluginTable, KeepsOnlyLibrariesWithBothExportsInNameOrder)
{
    TTempFolder folder;
    CopyFile(VX_TEST_PLUGIN_FORMAT_ONLY, folder.File("a_incomplete.so"));
    CopyFile(VX_TEST_PLUGIN_BOTH, folder.File("c_second.SO"));
    CopyFile(VX_TEST_PLUGIN_BOTH, folder.File("b_first.so"));
    WriteBytes(folder.File("d_not_a_library.so"), "plain text, not a shared object");
    WriteBytes(folder.File("e_notes.txt"), "readme");
    std::filesystem::create_directory(folder.File("f_folder.so"));

    std::string failure;
    std::vector<TPluginRecord> plugins = vx::LoadPluginFolder(folder.Path(), failure);
    EXPECT_EQ(failure, "");
    ASSERT_EQ(plugins.size(), 2u);
    EXPECT_EQ(plugins[0].hModule->Path(), folder.File("b_first.so"));
    EXPECT_EQ(plugins[1].hModule->Path(), folder.File("c_second.SO"));
    for (const TPluginRecord& record : plugins) {
        EXPECT_EQ(record.strFormat, "Test Plug-in Format");
        EXPECT_TRUE(record.bControls);
    }

    // A copy of the table sees the libraries closed once they are freed.
    const std::vector<TPluginRecord> copy = plugins;
    vx::FreePlugins(plugins);
    EXPECT_TRUE(plugins.empty());
    EXPECT_FALSE(copy[0].hModule->IsOpen());
    EXPECT_EQ(copy[1].hModule->Symbol("GetFileFormat"), nullptr);
}

TEST(PluginTable, MissingOrEmptyFolderGivesNoPlugIns)
{
    TTempFolder folder;
    std::string failure = "stale";
    for (const std::string& path : {folder.Path(), folder.File("plugins"), std::string()}) {
        EXPECT_TRUE(vx::LoadPluginFolder(path, failure).empty()) << path;
        EXPECT_EQ(failure, "") << path;
    }
    // A folder whose listing fails is not taken for an empty one: the caller is told.
    CopyFile(VX_TEST_PLUGIN_BOTH, folder.File("b_first.so"));
    {
        TFileFaultScope fault({{vx::kFileList, EIO, 2}});
        EXPECT_TRUE(vx::LoadPluginFolder(folder.Path(), failure).empty());
    }
    EXPECT_EQ(failure, "The plug-in folder " + folder.Path() +
                           " cannot be listed: input/output error. No reader plug-in is loaded.");
}

}  // namespace
