// The project folder shared with the user and with other programs: set and map names that
// would be another file of the project, the files an open removes, and a folder another
// running program has open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMap.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/CSISetBuilders.h"
#include "support/FolderKill.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

class ProjectFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobals(); }
    void TearDown() override { ResetGlobals(); }

    // Project "p" with the sets "A" (the work set) and "B", each with the map "NAA_map",
    // and the image "ax" with its pixel file.
    void MakeProject()
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Create(m_folder, "p"));
        for (const char* name : {"B", "A"}) {
            TCSISet* set = test::AddStoredSet(project, m_folder, name, 4, 4, 1, 8, [&](int x, int y, int, int i) {
                return TComplex(float(name[0]) + x + y, float(i));
            });
            project.SetWorkSet(set);
            test::AddValuedMap(*set, "NAA_map", [](int v) { return TComplex(float(v), 0.0f); });
            ASSERT_TRUE(project.SaveWorkSetAndProject(false));
        }
        auto* image = new TMRImage(&project);
        image->SetName("ax", false);
        image->SetWidth(2, false);
        image->SetHeight(2, false);
        image->SetPath(m_folder + "/ax");
        ASSERT_TRUE(image->SetPixels(std::vector<int16_t>(4, 9)));
        ASSERT_TRUE(image->SavePixels(image->GetPath()));
        project.m_pImageSet->Insert(image);
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }

    test::TTempFolder m_dir;
    const std::string m_folder = m_dir.File("p");
};

}  // namespace

TEST_F(ProjectFolderTest, SetAndMapNamesThatWouldBeAnotherFileOfTheProjectAreRefused)
{
    MakeProject();
    const test::TFolderBytes before = test::ReadFolderTree(m_folder);
    test::TScriptedReport script;
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
    ASSERT_EQ(project.m_pWorkSet->GetName(), "A");
    // Another set's map file, the project file, an image's pixel file, the files the
    // program keeps for itself and the journal of earlier versions.
    for (const char* name : {"B_NAA_map", "A_NAA_map", "p.tpj", "ax", ".vexara", ".vexara.lock", ".p.tpj.journal"}) {
        script.Clear();
        EXPECT_FALSE(project.SaveWorkSetAs(name)) << name;
        EXPECT_EQ(script.Messages(), std::vector<std::string>{"Invalid CSI set name."}) << name;
    }
    EXPECT_EQ(project.m_pCSISetList->GetCount(), 2);
    EXPECT_TRUE(test::ReadFolderTree(m_folder) == before);

    // A set whose map would be another set's data-set file: the map is refused.
    ASSERT_TRUE(project.SaveWorkSetAs("A_Cr_map"));
    script.Clear();
    TMapParams params;
    params.name = "Cr";
    TMap map;
    EXPECT_FALSE(map.Create(project.m_pWorkSet, params));
    EXPECT_EQ(script.Messages(), std::vector<std::string>{"Failed to create map Cr for CSI set A because its file would "
                                                          "be another file of the project."});
    g_pProject = nullptr;
}
