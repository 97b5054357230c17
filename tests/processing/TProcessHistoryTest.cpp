// The processing history: the order of undo and redo, what a new step, saving the work
// set and clearing do to the lists, the recording marks, the names for the toolbar and
// the macro file written from the recorded steps.
#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/TFile.h"
#include "platform/TTextFile.h"
#include "processing/TProcessHistory.h"
#include "support/TestFiles.h"
#include "TestSteps.h"

using namespace vx;
using vx::test::TNamedStep;

namespace {

class ProcessHistoryTest : public ::testing::Test {
protected:
    void TearDown() override { TFile::FailWritesAfter(-1); }

    TNamedStep* Perform(const std::string& name, bool recorded = false)
    {
        auto* step = new TNamedStep(name, recorded, &m_deleted);
        m_history.AddStep(step);
        return step;
    }
    static std::vector<std::string> Names(const std::list<TProcessStep*>& steps)
    {
        std::vector<std::string> out;
        for (const TProcessStep* step : steps)
            out.push_back(step->GetDisplayName());
        return out;
    }
    std::string Macro()
    {
        const std::string path = m_dir.File("m.mcr");
        TTextFile file;
        EXPECT_TRUE(file.Open(path, TTextFile::Mode::Write));
        EXPECT_TRUE(m_history.WriteMacro(file));
        EXPECT_TRUE(file.Close());
        return test::ReadBytes(path);
    }

    test::TTempFolder m_dir;
    std::vector<std::string> m_deleted;  // declared first, so that it outlives the history
    TProcessHistory m_history;
};

using Strings = std::vector<std::string>;

TEST_F(ProcessHistoryTest, UndoRedoOrderAndANewStepDropsTheRedoList)
{
    // Nothing to undo or redo does nothing; a null step is not taken.
    EXPECT_TRUE(m_history.CannotUndo());
    EXPECT_FALSE(m_history.Undo());
    EXPECT_FALSE(m_history.Redo());
    m_history.AddStep(nullptr);
    EXPECT_TRUE(m_history.DoneSteps().empty());

    TNamedStep* s1 = Perform("S1");
    EXPECT_FALSE(m_history.CannotUndo());
    EXPECT_FALSE(m_history.Redo());
    TNamedStep* s2 = Perform("S2");
    TNamedStep* s3 = Perform("S3");
    EXPECT_TRUE(m_history.Undo());
    EXPECT_TRUE(m_history.Undo());
    EXPECT_EQ(Names(m_history.DoneSteps()), Strings{"S1"});
    EXPECT_EQ(Names(m_history.UndoneSteps()), (Strings{"S3", "S2"}));
    EXPECT_EQ(s3->m_undos, 1);
    EXPECT_EQ(s2->m_undos, 1);
    EXPECT_EQ(s1->m_undos, 0);

    EXPECT_TRUE(m_history.Redo());
    EXPECT_EQ(s2->m_redos, 1);
    EXPECT_EQ(s3->m_redos, 0);
    EXPECT_EQ(Names(m_history.DoneSteps()), (Strings{"S1", "S2"}));
    EXPECT_EQ(Names(m_history.UndoneSteps()), Strings{"S3"});

    Perform("S4");
    EXPECT_EQ(m_deleted, Strings{"S3"});
    EXPECT_EQ(Names(m_history.DoneSteps()), (Strings{"S1", "S2", "S4"}));
    EXPECT_TRUE(m_history.UndoneSteps().empty());
    EXPECT_FALSE(m_history.Redo());
}

TEST_F(ProcessHistoryTest, SavingTheWorkSetEndsUndoForTheStepsBeforeIt)
{
    TNamedStep* s1 = Perform("S1");
    TNamedStep* s2 = Perform("S2");
    Perform("S0");
    m_history.Undo();  // S0 is undone and goes with DisableUndo
    m_history.DisableUndo();
    EXPECT_EQ(m_deleted, Strings{"S0"});
    EXPECT_TRUE(m_history.CannotUndo());
    TNamedStep* s3 = Perform("S3");
    EXPECT_FALSE(m_history.CannotUndo());
    EXPECT_TRUE(m_history.Undo());
    EXPECT_EQ(s3->m_undos, 1);
    EXPECT_FALSE(m_history.Undo());
    EXPECT_EQ(s2->m_undos, 0);
    EXPECT_EQ(s1->m_undos, 0);
    EXPECT_TRUE(m_history.CannotUndo());
    // The done steps stay: they still count for the macro.
    EXPECT_EQ(Names(m_history.DoneSteps()), (Strings{"S1", "S2"}));
}

TEST_F(ProcessHistoryTest, UndoSkipsStepsThatCannotBeUndone)
{
    TNamedStep* s1 = Perform("S1");
    TNamedStep* s2 = Perform("S2");
    s2->m_bUndoable = false;
    EXPECT_TRUE(m_history.Undo());
    EXPECT_EQ(s1->m_undos, 1);
    EXPECT_EQ(Names(m_history.DoneSteps()), Strings{"S2"});
    EXPECT_EQ(Names(m_history.UndoneSteps()), Strings{"S1"});
}

TEST_F(ProcessHistoryTest, AFailedUndoOrRedoLeavesTheHistoryForAnotherTry)
{
    TNamedStep* s1 = Perform("S1");
    TNamedStep* s2 = Perform("S2");
    TNamedStep* s3 = Perform("S3");
    s2->m_failUndo = true;
    EXPECT_TRUE(m_history.Undo());
    EXPECT_FALSE(m_history.Undo());
    EXPECT_FALSE(m_history.Undo());
    // Each try went to S2 again; S1 was never reached.
    EXPECT_EQ(s2->m_undos, 2);
    EXPECT_EQ(s1->m_undos, 0);
    EXPECT_EQ(Names(m_history.DoneSteps()), (Strings{"S1", "S2"}));
    std::list<std::string> names;
    m_history.GetStepNames(names, true);
    EXPECT_EQ(names, (std::list<std::string>{"S2", "S1"}));
    EXPECT_FALSE(m_history.CannotUndo());
    s2->m_failUndo = false;
    EXPECT_TRUE(m_history.Undo());
    EXPECT_TRUE(m_history.Undo());
    EXPECT_EQ(s1->m_undos, 1);
    EXPECT_EQ(Names(m_history.UndoneSteps()), (Strings{"S3", "S2", "S1"}));

    // A failed redo keeps the step undone.
    s1->m_failRedo = true;
    EXPECT_FALSE(m_history.Redo());
    EXPECT_EQ(Names(m_history.UndoneSteps()), (Strings{"S3", "S2", "S1"}));
    s1->m_failRedo = false;
    EXPECT_TRUE(m_history.Redo());
    EXPECT_TRUE(m_history.Redo());
    EXPECT_TRUE(m_history.Redo());
    EXPECT_EQ(Names(m_history.DoneSteps()), (Strings{"S1", "S2", "S3"}));
    EXPECT_TRUE(s3->m_bUndoable);
}

TEST_F(ProcessHistoryTest, ClearAndTheDestructorDeleteEveryStep)
{
    Perform("S1");
    Perform("S2");
    Perform("S3");
    m_history.Undo();
    m_history.Clear();
    EXPECT_EQ(m_deleted, (Strings{"S1", "S2", "S3"}));
    EXPECT_TRUE(m_history.DoneSteps().empty());
    EXPECT_TRUE(m_history.UndoneSteps().empty());

    std::vector<std::string> deleted;
    {
        TProcessHistory history;
        history.AddStep(new TNamedStep("A", false, &deleted));
        history.AddStep(new TNamedStep("B", false, &deleted));
        history.Undo();
    }
    EXPECT_EQ(deleted, (Strings{"A", "B"}));
}

TEST_F(ProcessHistoryTest, StepNamesAreNewestFirst)
{
    Perform("S1");
    Perform("S2");
    Perform("S3");
    std::list<std::string> names{"stale"};
    m_history.GetStepNames(names, true);
    EXPECT_EQ(names, (std::list<std::string>{"S3", "S2", "S1"}));
    m_history.GetStepNames(names, false);
    EXPECT_TRUE(names.empty());

    m_history.Undo();
    m_history.Undo();
    m_history.GetStepNames(names, false);  // the last undone first: the next redo
    EXPECT_EQ(names, (std::list<std::string>{"S2", "S3"}));
    m_history.GetStepNames(names, true);
    EXPECT_EQ(names, std::list<std::string>{"S1"});

    m_history.DisableUndo();
    m_history.GetStepNames(names, true);
    EXPECT_TRUE(names.empty());
}

TEST_F(ProcessHistoryTest, TheMacroHoldsTheStepsRecordedSinceRecordingStarted)
{
    // Record S1, stop, perform S2, start again, perform S3.
    Perform("S1", true);
    Perform("S2", false);
    m_history.StartRecording();
    Perform("S3", true);
    EXPECT_EQ(Macro(), "#Vexara Macro File#\r\n\r\n<action>\r\n#S3\r\n</action>\r\n\r\n");

    // Undone steps are never written; undoability plays no part.
    Perform("S4", true);
    Perform("S5", true);
    m_history.Undo();
    m_history.DisableUndo();
    EXPECT_EQ(Macro(),
              "#Vexara Macro File#\r\n\r\n"
              "<action>\r\n#S3\r\n</action>\r\n\r\n"
              "<action>\r\n#S4\r\n</action>\r\n\r\n");
}

TEST_F(ProcessHistoryTest, StartingARecordingClearsTheMarksOfUndoneStepsToo)
{
    // A macro without recorded steps is the header and an empty line.
    EXPECT_EQ(Macro(), "#Vexara Macro File#\r\n\r\n");
    Perform("S1", true);
    TNamedStep* s2 = Perform("S2", true);
    m_history.Undo();
    m_history.StartRecording();
    EXPECT_FALSE(s2->m_bRecorded);
    m_history.Redo();
    EXPECT_EQ(Macro(), "#Vexara Macro File#\r\n\r\n");
}

TEST_F(ProcessHistoryTest, AFailedMacroWriteKeepsTheOldFile)
{
    const std::string path = m_dir.File("m.mcr");
    test::WriteBytes(path, "old");
    Perform("S1", true);
    TTextFile file;
    ASSERT_TRUE(file.Open(path, TTextFile::Mode::Write));
    TFile::FailWritesAfter(10);
    EXPECT_FALSE(m_history.WriteMacro(file));
    EXPECT_FALSE(file.Close());
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(test::ReadBytes(path), "old");
    EXPECT_EQ(vx::test::ListedEntries(m_dir.Path()).size(), 1u);
}

}  // namespace
