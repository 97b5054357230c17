// The application's event dispatch: an exception that a command lets escape is reported
// and the program goes on with the project as it was.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QToolButton>

#include <new>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "platform/Files.h"
#include "processing/TMacroStep.h"
#include "processing/TWholeSetStep.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedFileChooser.h"
#include "support/TestFiles.h"
#include "AppSessionTest.h"

using namespace vx::test;

namespace {

// A step that filters the set and then runs out of memory, as a kernel whose buffer
// cannot be had half way through would.
class TOutOfMemoryStep : public TWholeSetStep {
public:
    TOutOfMemoryStep() : TWholeSetStep(99, "oom", false, nullptr) {}
    bool Apply() override
    {
        m_pDataSet->LorentzFilter(7.0f);
        throw std::bad_alloc();
    }
    bool ReadMacro(vx::TTextFile&) override { return true; }
    void WriteMacro(vx::TTextFile&) override {}
    std::string GetDisplayName() const override { return "out of memory"; }
};

std::vector<std::string> StateFiles(const std::string& folder)
{
    std::vector<std::string> names;
    for (const vx::TFolderEntry& entry : vx::ListFolder(folder, "*.tmp"))
        names.push_back(entry.name);
    return names;
}

class CVexaraApplicationTest : public AppSessionTest {
protected:
    CVexaraApplicationTest() : AppSessionTest(1, true) {}
};

TEST_F(CVexaraApplicationTest, ACommandThatRunsOutOfMemoryIsReportedAndLeavesTheProjectAsItWas)
{
    // A macro whose filter takes effect before its last member throws std::bad_alloc.
    TTempFolder folder;
    const std::string path = folder.File("filter.mcr");
    WriteBytes(path, "#Vexara Macro File#\r\n\r\n<action>\r\ntype = 7\r\nFilterLineWidth = 2.5\r\n</action>\r\n\r\n");
    TProcessingHooks hooks = ProcessingHooks();
    const auto apply = hooks.applyStep;
    hooks.applyStep = [apply](TProcessStep* pStep, TCSISet* pSet) {
        dynamic_cast<TMacroStep&>(*pStep).m_members.push_back(new TOutOfMemoryStep);
        return apply(pStep, pSet);
    };
    InstallProcessingHooks(hooks);
    const std::vector<TComplex> before = AllSamples(*set);
    const std::vector<std::string> filesBefore = StateFiles(fixture.ProjectFolder());

    // The user presses the Load macro button of the Macro Toolbar.
    TScriptedFileChooser chooser(path);
    Main().UpdateCommandStates();
    QAction* load = Main().Action(cmd::MacroLoad);
    ASSERT_TRUE(load->isEnabled());
    QToolButton* button = nullptr;
    for (QObject* object : load->associatedObjects())
        if (auto* b = qobject_cast<QToolButton*>(object); b && b->isVisible())
            button = b;
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    QApplication::processEvents();

    ASSERT_EQ(chooser.Requests().size(), 1u);
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"The operation could not be completed because there is not enough memory."});
    EXPECT_TRUE(Main().isVisible());
    EXPECT_TRUE(AllSamples(*set) == before);
    EXPECT_TRUE(StepNames().empty());
    EXPECT_FALSE(Main().Action(cmd::EditUndo)->isEnabled());
    EXPECT_EQ(StateFiles(fixture.ProjectFolder()), filesBefore);
}

}  // namespace
