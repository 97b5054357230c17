// The application's event dispatch: an exception that a command lets escape is reported
// and the program goes on with the project as it was. Its start-up: BLAS on one thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <complex>
#include <new>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Lapack.h"
#include "platform/TDynamicLibrary.h"
#include "platform/Workers.h"
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
    for (const vx::TFolderEntry& entry : vx::test::ListedEntries(folder, "*.tmp"))
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

// The threads a BLAS call from this thread would use, as the library and the OpenMP
// runtime report them; 1 for a library without threads.
int BlasThreadsReported()
{
    using TGetThreads = int (*)();
    int threads = 1;
    for (const char* name : {"openblas_get_num_threads", "omp_get_max_threads"})
        if (auto get = reinterpret_cast<TGetThreads>(vx::LoadedSymbol(name)))
            threads = std::max(threads, get());
    return threads;
}

// The program started as main() starts it (this test program's main makes the same
// application object), with nothing about BLAS threads in its environment, in a child:
// a BLAS call inside each worker (as the water removal's) runs on the worker's thread.
TEST(CVexaraApplicationStartTest, ABlasCallInsideAWorkerRunsOnOneThreadWhateverTheEnvironment)
{
    const char* const childMark = "VX_TEST_BLAS_CHILD";
    if (qEnvironmentVariableIsSet(childMark)) {
        const int workers = std::max(2, vx::ProcessorCount());
        std::vector<int> threads(static_cast<size_t>(workers), 0);
        vx::RunWorkers(workers, [&threads](int k, int) {
            const int n = 96;
            const std::complex<double> one(1.0), zero(0.0);
            std::vector<std::complex<double>> a(size_t(n) * n, one), c(a.size());
            zgemm_("N", "N", &n, &n, &n, &one, a.data(), &n, a.data(), &n, &zero, c.data(), &n, 1, 1);
            threads[static_cast<size_t>(k)] = c[0] == std::complex<double>(n) ? BlasThreadsReported() : -1;
            return true;
        });
        EXPECT_THAT(threads, ::testing::Each(1));
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "GOTO_NUM_THREADS"})
        environment.remove(name);
    environment.insert(childMark, "1");
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QString("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
    ASSERT_TRUE(child.waitForFinished(120000));
    const std::string output = child.readAll().toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}

}  // namespace
