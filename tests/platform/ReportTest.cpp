#include <gtest/gtest.h>

#include "platform/Globals.h"
#include "platform/Report.h"
#include "support/ScriptedReport.h"

using namespace vx;

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobals(); }
    void TearDown() override { ResetGlobals(); }
};

TEST_F(ReportTest, OutsideBatchShowsABoxWithTheIcon)
{
    test::TScriptedReport script;
    Report("Can not open CSI data set file a.dat", ReportIcon::Exclamation);
    ASSERT_EQ(script.Count(), 1u);
    EXPECT_EQ(script.Entries()[0].text, "Can not open CSI data set file a.dat");
    EXPECT_EQ(script.Entries()[0].icon, ReportIcon::Exclamation);
    EXPECT_TRUE(g_batchLog.empty());
    EXPECT_FALSE(g_bBatchError);
}

TEST_F(ReportTest, BatchModeAppendsLineEndOnlyWhenMissing)
{
    test::TScriptedReport script;
    g_bBatchMode = true;
    Report("first");
    Report("second\r\n");
    Report("third\n");
    EXPECT_EQ(g_batchLog, "first\r\nsecond\r\nthird\n\r\n");
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(script.Count(), 0u);

    // Warning lines do not set the error flag.
    ResetGlobals();
    AppendBatchLog("just a note", false);
    EXPECT_EQ(g_batchLog, "just a note\r\n");
    EXPECT_FALSE(g_bBatchError);
}

TEST_F(ReportTest, BatchModeLogsForcedBoxesAndQuestionsWithoutAsking)
{
    test::TScriptedReport script;
    g_bBatchMode = true;
    Report("Failed to load the HLSVD DLL.", ReportIcon::None, BatchPolicy::AlwaysBox);
    EXPECT_EQ(Ask("Save?", ReportButtons::YesNo, ReportAnswer::No), ReportAnswer::No);
    EXPECT_EQ(Ask("Go on?", ReportButtons::YesNoCancel, ReportAnswer::Yes), ReportAnswer::Yes);
    EXPECT_EQ(g_batchLog, "Failed to load the HLSVD DLL.\r\nSave?\r\nGo on?\r\n");
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(script.Count(), 0u);

    g_bBatchMode = false;
    Report("a box again", ReportIcon::Error, BatchPolicy::AlwaysBox);
    EXPECT_EQ(script.Messages(), std::vector<std::string>{"a box again"});
}

TEST_F(ReportTest, QuestionsReturnPlannedAnswersInOrder)
{
    test::TScriptedReport script;
    script.PlanAnswer(ReportAnswer::No);
    script.PlanAnswer(ReportAnswer::Cancel);
    EXPECT_EQ(Ask("Save?", ReportButtons::YesNoCancel, ReportAnswer::Yes), ReportAnswer::No);
    EXPECT_EQ(Ask("Really?", ReportButtons::YesNoCancel, ReportAnswer::Yes), ReportAnswer::Cancel);
    EXPECT_EQ(script.Questions(), (std::vector<std::string>{"Save?", "Really?"}));
}

TEST_F(ReportTest, HandlersNestAndRestore)
{
    test::TScriptedReport outer;
    {
        test::TScriptedReport inner;
        Report("to inner");
        EXPECT_EQ(inner.Count(), 1u);
    }
    Report("to outer");
    EXPECT_EQ(outer.Messages(), std::vector<std::string>{"to outer"});
}

TEST_F(ReportTest, WithoutHandlerTheDefaultAnswerIsReturned)
{
    EXPECT_EQ(Ask("Exit?", ReportButtons::YesNo, ReportAnswer::No), ReportAnswer::No);
    EXPECT_EQ(Ask("Exit?", ReportButtons::YesNo, ReportAnswer::Yes), ReportAnswer::Yes);
}
