#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include <filesystem>

#include "app/CAboutDlg.h"
#include "app/dialogs/COptionsDlg.h"
#include "app/CExplorerFrameBase.h"
#include "app/CVexaraApp.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "model/ReaderHooks.h"
#include "platform/Files.h"
#include "platform/TFile.h"
#include "platform/Workers.h"
#include "readers/TInternalFormatReader.h"
#include "support/DialogScript.h"
#include "support/GuiGrab.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "FakeShell.h"

using namespace vx::test;

namespace {

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSettings();
        vx::ResetGlobals();
        TVoxelWndList::ResetCascade();
        // No plug-ins and no help file unless a test puts them there.
        app.SetProgramFolder(empty.Path());
    }
    void TearDown() override { vx::ResetGlobals(); }

    bool Start(const QStringList& commandLine = {})
    {
        if (!app.InitInstance(commandLine))
            return false;
        frame = app.MainFrame();
        return frame != nullptr;
    }

    TScriptedReport report;
    TTempFolder empty;
    CVexaraApp app;
    CMainFrame* frame = nullptr;
    TProcessorCountGuard m_processors;
};

TEST_F(AppTest, EmptySettingsReadZeroAndOtherIndicesAreRefused)
{
    ASSERT_TRUE(Start());
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(app.GetSetting(k), 0) << k;
    EXPECT_EQ(app.GetSetting(7), -1);
    EXPECT_EQ(app.GetSetting(-1), -1);
    EXPECT_EQ(app.GetSetting(4), -1);
    app.SetSetting(7, 5);
    app.SetSetting(-1, 5);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(app.GetSetting(k), 0) << k;
    EXPECT_EQ(CVexaraApp::Instance(), &app);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->IsProjectOpen());
    EXPECT_FALSE(frame->Action(cmd::FileSaveProject)->isEnabled());
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(AppTest, StoredSettingsAreReadFromTheirSections)
{
    {
        QSettings s("Tarnwell", "Vexara");
        s.setValue("Display Config/SpecBgColor", 1);
        s.setValue("Display Config/PCABgColor", 1);
        s.setValue("Display Config/MultiMapDisp", "not a number");
        s.setValue("Process Config/PhaseMode", 1);
        s.setValue("Display Config/PhaseMode", 0);  // wrong section: not read
    }
    ASSERT_TRUE(Start());
    EXPECT_EQ(app.GetSetting(0), 1);
    EXPECT_EQ(app.GetSetting(1), 1);
    EXPECT_EQ(app.GetSetting(2), 0);
    EXPECT_EQ(app.GetSetting(3), 1);
}

TEST_F(AppTest, OptionsShowTheSettingsRedrawOnlyWhatChangedAndReachTheStoreAtExit)
{
    TShellRecorder shell;  // region estimates stand for their own spectra
    TFakeWindowFactories windows;
    ASSERT_TRUE(Start());
    TMouseEvent plain;
    frame->OpenVoxelWindow(FakeVoxel(1), plain, nullptr);
    frame->OpenAverageWindow(FakeVoxel(2), plain);
    frame->OpenRegionEstimateWindow(reinterpret_cast<TRegionEstimate*>(FakeVoxel(3)));
    frame->OpenAnalysisWindow(reinterpret_cast<TAnalysis*>(FakeVoxel(4)));
    CFakeVoxelWindow* voxelWindows[] = {FakeWindow(frame->SingleVoxelWindows().GetFirst()),
                                        FakeWindow(frame->AverageWindows().GetFirst()),
                                        FakeWindow(frame->EstimateWindows().GetFirst())};
    auto* analysis = static_cast<CFakeAnalysisWindow*>(frame->AnalysisWindows().GetFirst());
    ASSERT_NE(analysis, nullptr);
    for (CFakeVoxelWindow* w : voxelWindows)
        ASSERT_NE(w, nullptr);
    analysis->updates.clear();

    // The dialog shows the settings; the given boxes are flipped, then OK or Cancel.
    auto run = [&](std::initializer_list<int> boxes, bool accept = true) {
        TDialogScript script([&](QDialog& d) {
            auto* options = dynamic_cast<COptionsDlg*>(&d);
            EXPECT_NE(options, nullptr);
            if (!options)
                return int(QDialog::Rejected);
            EXPECT_EQ(options->windowTitle(), "Options...");
            EXPECT_EQ(options->CheckBox(0)->text(), "Draw the spectrum of voxel window in black (default is red)");
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(options->IsChecked(k), app.GetSetting(k) == 1) << k;
            for (int k : boxes)
                options->CheckBox(k)->setChecked(!options->IsChecked(k));
            return int(accept ? QDialog::Accepted : QDialog::Rejected);
        });
        ASSERT_TRUE(frame->Action(cmd::ProjectOptions)->isEnabled());
        frame->Action(cmd::ProjectOptions)->trigger();
        EXPECT_EQ(script.runs, 1);
    };
    auto refreshes = [&] {
        std::vector<int> counts;
        for (CFakeVoxelWindow* w : voxelWindows)
            counts.push_back(w->refreshes);
        return counts;
    };

    // The colour map of the analysis windows: only they are redrawn.
    const std::vector<int> before = refreshes();
    run({1});
    EXPECT_EQ(app.GetSetting(1), 1);
    EXPECT_EQ(analysis->updates, std::vector<std::vector<int>>({{0, 0, 0}}));
    EXPECT_EQ(refreshes(), before);

    // Cancel keeps both a ticked and an unticked setting and redraws nothing.
    analysis->updates.clear();
    run({1, 3}, false);
    EXPECT_EQ(app.GetSetting(1), 1);
    EXPECT_EQ(app.GetSetting(3), 0);
    EXPECT_EQ(refreshes(), before);
    EXPECT_TRUE(analysis->updates.empty());

    // The spectrum colour: single, averaged and region-estimate windows, not the analysis.
    run({0});
    EXPECT_EQ(app.GetSetting(0), 1);
    const std::vector<int> after = refreshes();
    for (size_t k = 0; k < after.size(); ++k)
        EXPECT_EQ(after[k], before[k] + 1) << "window list " << k;
    EXPECT_TRUE(analysis->updates.empty());
    // Settings reach the store only at exit.
    EXPECT_EQ(QSettings("Tarnwell", "Vexara").value("Display Config/SpecBgColor", 0).toInt(), 0);

    // The other two take effect where they are next read: nothing is redrawn; neither is it
    // by OK with nothing changed.
    run({2, 3});
    EXPECT_EQ(app.GetSetting(2), 1);
    EXPECT_EQ(app.GetSetting(3), 1);
    run({});
    EXPECT_EQ(refreshes(), after);
    EXPECT_TRUE(analysis->updates.empty());

    report.PlanAnswer(vx::ReportAnswer::Yes);
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(app.ExitInstance(), 0);
    QSettings stored("Tarnwell", "Vexara");
    for (const char* key : {"Display Config/SpecBgColor", "Display Config/PCABgColor", "Display Config/MultiMapDisp",
                            "Process Config/PhaseMode"})
        EXPECT_EQ(stored.value(key).toInt(), 1) << key;
    QFile file(stored.fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << stored.fileName().toStdString();
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("SpecBgColor=1")) << text.toStdString();
}

TEST_F(AppTest, CommandLineNamingANonProjectFileLeavesNoProject)
{
    TTempFolder data;
    WriteBytes(data.File("scan.SPAR"), "!-- not a project\r\nsamples : 2048\r\n");
    ASSERT_TRUE(Start({QString::fromStdString(data.File("scan.SPAR"))}));
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Error: Invalid Project File"}));
    EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::Exclamation);
    EXPECT_EQ(g_pProject, nullptr);
    EXPECT_FALSE(frame->IsProjectOpen());
    EXPECT_FALSE(frame->Action(cmd::FileSaveProject)->isEnabled());
    EXPECT_TRUE(frame->isVisible());

    // A path that names nothing is refused with why.
    report.Clear();
    EXPECT_FALSE(app.OpenCommandLineProject(data.File("missing.tpj")));
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"The project missing cannot be opened: its project file " +
                                                           data.File("missing.tpj") + " does not exist."}));
    EXPECT_EQ(g_pProject, nullptr);
}

TEST_F(AppTest, CommandLineNamingAValidProjectOpensIt)
{
    TTempFolder data;
    const std::string path = MakeProjectFile(data.File("my study"), "brain");
    // The whole command line is one path, quotes and blanks included.
    const QString quoted = "\"" + QString::fromStdString(path) + "\"";
    const int blank = quoted.indexOf(' ');
    ASSERT_GT(blank, 0);
    ASSERT_TRUE(Start({quoted.left(blank), quoted.mid(blank + 1)}));
    EXPECT_EQ(report.Count(), 0u);
    ASSERT_NE(g_pProject, nullptr);
    EXPECT_EQ(g_pProject->GetName(), "brain");
    EXPECT_EQ(g_pProject->GetFolder(), data.File("my study") + "/brain");
    EXPECT_FALSE(g_pProject->IsModified());
    EXPECT_EQ(g_pProject->m_pMainFrame, frame);
    EXPECT_TRUE(frame->IsProjectOpen());
    EXPECT_TRUE(frame->Action(cmd::ProjectInformation)->isEnabled());
    EXPECT_TRUE(frame->Action(cmd::MapHot)->isChecked());
    ASSERT_NE(frame->ProjectExplorer(), nullptr);
    EXPECT_TRUE(frame->ProjectExplorer()->isVisible());
    EXPECT_EQ(frame->ProjectExplorer()->windowTitle(), "brain");

    // The picture for review: the explorer and two voxel windows over the project.
    frame->resize(1280, 960);
    QApplication::processEvents();
    TMouseEvent event;
    frame->OpenVoxelWindow(FakeVoxel(1), event, nullptr);
    event.m_nKeys = TMouseEvent::kShift;
    frame->OpenVoxelWindow(FakeVoxel(2), event, nullptr);
    QApplication::processEvents();
    const QString png = GrabToPng(frame, "main-window-project");
    ASSERT_FALSE(png.isEmpty());
    EXPECT_EQ(QImage(png).size(), frame->size() * frame->devicePixelRatio());

    // Exit deletes the project after the settings are written.
    report.PlanAnswer(vx::ReportAnswer::Yes);
    frame->close();
    app.ExitInstance();
    EXPECT_EQ(g_pProject, nullptr);
    EXPECT_EQ(report.Questions(), std::vector<std::string>({"Are you sure you want to exit?"}));
}

TEST_F(AppTest, ExitAsksThenOffersTheSaveAndStaysWhenTheSaveFails)
{
    TFakeWindowFactories windows;
    TTempFolder data;
    const std::string path = MakeProjectFile(data.Path(), "brain");
    ASSERT_TRUE(Start({QString::fromStdString(path)}));
    TProject* project = g_pProject;
    ASSERT_NE(project, nullptr);
    project->SetModified(true);
    TMouseEvent plain;
    frame->OpenVoxelWindow(FakeVoxel(1), plain, nullptr);
    frame->OpenAnalysisWindow(nullptr);
    const std::string stored = ReadBytes(path);
    const std::string exit = "Are you sure you want to exit?";
    const std::string save = "There were changes made to the project, would you like to save it?";

    // The question's default and a No keep everything, from the close box and from File > Exit.
    report.AllowDefaults();
    EXPECT_FALSE(frame->close());
    report.AllowDefaults(false);
    report.PlanAnswer(vx::ReportAnswer::No);
    frame->Action(cmd::FileExit)->trigger();
    ASSERT_EQ(report.Questions(), std::vector<std::string>({exit, exit}));
    const auto& question = report.Entries().back();
    EXPECT_EQ(question.buttons, vx::ReportButtons::YesNo);
    EXPECT_EQ(question.icon, vx::ReportIcon::Question);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(g_pProject, project);
    EXPECT_TRUE(project->IsModified());
    EXPECT_EQ(frame->SingleVoxelWindows().GetCount(), 1);
    EXPECT_EQ(frame->AnalysisWindows().GetCount(), 1);

    // A save that fails keeps the window, the project and the file.
    vx::TFile::FailWritesAfter(0);
    report.PlanAnswer(vx::ReportAnswer::Yes);
    report.PlanAnswer(vx::ReportAnswer::Yes);
    EXPECT_FALSE(frame->close());
    vx::TFile::FailWritesAfter(-1);
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Can't write project file. " + project->GetProjectFilePath() +
                                                           " could not be written: the disk is full."}));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(g_pProject, project);
    EXPECT_TRUE(project->IsModified());
    EXPECT_EQ(ReadBytes(path), stored);
    EXPECT_EQ(frame->SingleVoxelWindows().GetCount(), 1);

    // Yes to both: the project is saved, then every child window closes.
    std::filesystem::remove(path);
    report.PlanAnswer(vx::ReportAnswer::Yes);
    report.PlanAnswer(vx::ReportAnswer::Yes);
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(report.Questions(), std::vector<std::string>({exit, exit, exit, save, exit, save}));
    EXPECT_TRUE(vx::FileExists(path));
    EXPECT_FALSE(project->IsModified());
    EXPECT_TRUE(frame->SingleVoxelWindows().IsEmpty());
    EXPECT_TRUE(frame->AnalysisWindows().IsEmpty());
    EXPECT_EQ(g_pProject, project);  // deleted by ExitInstance, after the settings
    app.ExitInstance();
    EXPECT_EQ(g_pProject, nullptr);
}

TEST_F(AppTest, PlugInsWithBothExportsGetFormatIndicesFrom23)
{
    app.SetProgramFolder(VX_TEST_PROGRAM_FOLDER);
    ASSERT_TRUE(Start());
    const std::vector<TPluginRecord> plugins = app.GetPlugins();
    ASSERT_EQ(plugins.size(), 1u);
    EXPECT_EQ(plugins[0].strFormat, "Test Plug-in Format");
    EXPECT_TRUE(plugins[0].bControls);
    ASSERT_TRUE(plugins[0].hModule);
    EXPECT_TRUE(plugins[0].hModule->IsOpen());
    EXPECT_NE(plugins[0].hModule->Symbol("EnableControls"), nullptr);
    // Record k is format index 23 + k; the readers see the same table.
    const std::vector<TPluginRecord> published = vx::PluginTable();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[vx::kFirstPluginFormat - 23].strFormat, "Test Plug-in Format");

    report.PlanAnswer(vx::ReportAnswer::Yes);
    frame->close();
    app.ExitInstance();
    EXPECT_FALSE(plugins[0].hModule->IsOpen());  // unloaded at exit
    EXPECT_TRUE(vx::PluginTable().empty());
}

TEST_F(AppTest, StartUpConnectsTheRealReadersWithoutPlugInFolderAndKeepsTheProcessorCount)
{
    ClearReaderHooks();
    vx::SetProcessorCount(1);
    const auto cwd = std::filesystem::current_path();
    ASSERT_TRUE(Start());
    TCSIReadParams params;
    std::unique_ptr<TCSIReader> reader(CreateCSIReader(22, &params));
    EXPECT_NE(dynamic_cast<TInternalFormatReader*>(reader.get()), nullptr);
    EXPECT_TRUE(app.GetPlugins().empty());
    EXPECT_EQ(app.GetProcessorCount(), 1);
    EXPECT_EQ(vx::ProcessorCount(), 1);
    EXPECT_EQ(std::filesystem::current_path(), cwd);
}

TEST_F(AppTest, RecentProjectsKeepFourFullPathsNewestFirst)
{
    {
        QSettings s("Tarnwell", "Vexara");
        s.setValue("Recent File List/File1", "/p/one.tpj");
        s.setValue("Recent File List/File2", "/p/two.tpj");
    }
    ASSERT_TRUE(Start());
    EXPECT_EQ(app.RecentFiles(), QStringList({"/p/one.tpj", "/p/two.tpj"}));
    ASSERT_NE(frame->Action(cmd::FileMruFirst + 1), nullptr);
    EXPECT_EQ(frame->Action(cmd::FileMruFirst + 1)->text(), "&2 /p/two.tpj");

    for (const char* path : {"/p/three.tpj", "/p/four.tpj", "/p/five.tpj", "/p/two.tpj"})
        app.AddToRecentFileList(path);
    EXPECT_EQ(app.RecentFiles(), QStringList({"/p/two.tpj", "/p/five.tpj", "/p/four.tpj", "/p/three.tpj"}));
    EXPECT_EQ(frame->Action(cmd::FileMruFirst)->text(), "&1 /p/two.tpj");
    EXPECT_EQ(frame->Action(cmd::FileMruFirst + 4), nullptr);
    app.RemoveFromRecentFileList(3);
    app.RemoveFromRecentFileList(9);
    EXPECT_EQ(app.RecentFiles().size(), 3);

    // A project in the program's current folder is shown by its name alone.
    const std::string folder = vx::CurrentFolder();
    vx::SetCurrentFolder("/p");
    app.AddToRecentFileList("three.tpj");
    EXPECT_EQ(app.RecentFiles().front(), "/p/three.tpj");
    EXPECT_EQ(frame->Action(cmd::FileMruFirst)->text(), "&1 three.tpj");
    EXPECT_EQ(frame->Action(cmd::FileMruFirst + 1)->text(), "&2 two.tpj");
    vx::SetCurrentFolder(folder);

    int chosen = -1;
    QObject::connect(frame, &CMainFrame::RecentFileChosen, [&](int k) { chosen = k; });
    frame->Action(cmd::FileMruFirst + 2)->trigger();
    EXPECT_EQ(chosen, 2);
    // "/p/five.tpj" does not exist: the entry goes.
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({"The project five cannot be opened: its folder /p does not exist."}));

    report.PlanAnswer(vx::ReportAnswer::Yes);
    frame->close();
    app.ExitInstance();
    QSettings stored("Tarnwell", "Vexara");
    EXPECT_EQ(stored.value("Recent File List/File1").toString(), "/p/three.tpj");
    EXPECT_EQ(stored.value("Recent File List/File2").toString(), "/p/two.tpj");
    EXPECT_EQ(stored.value("Recent File List/File3").toString(), "/p/four.tpj");
    EXPECT_FALSE(stored.contains("Recent File List/File4"));
}

TEST_F(AppTest, AboutShowsTheVersionAndMissingHelpIsReported)
{
    ASSERT_TRUE(Start());
    QString caption, version;
    TDialogScript script([&](QDialog& d) {
        caption = d.windowTitle();
        if (auto* about = dynamic_cast<CAboutDlg*>(&d))
            version = about->VersionLine();
        return int(QDialog::Accepted);
    });
    frame->Action(cmd::AppAbout)->trigger();
    EXPECT_EQ(caption, "About Vexara");
    EXPECT_EQ(version, "Vexara Version 1.9.11");

    frame->Action(cmd::HelpTopics)->trigger();
    const std::string expected = "Cannot find the help file " + empty.Path() + "/Vexara.html";
    EXPECT_EQ(report.Messages(), std::vector<std::string>({expected}));
}

// A desktop launcher that takes every local page and shows nothing, as a launcher without
// a browser does: the launch itself is reported as done.
class TSilentLauncher : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> asked;
public slots:
    void Open(const QUrl& url) { asked.push_back(url); }
};

// F1 shows the help page in the program's own window, whatever the desktop's launcher would
// claim; asked again, the same window shows it.
TEST_F(AppTest, F1ShowsTheHelpPageInTheProgramsOwnWindow)
{
    const std::string path = empty.Path() + "/Vexara.html";
    WriteBytes(path, "<html><head><title>Vexara Help</title></head>"
                     "<body><h1>Vexara</h1><p>Open a project first.</p></body></html>");
    TSilentLauncher launcher;
    QDesktopServices::setUrlHandler("file", &launcher, "Open");
    ASSERT_TRUE(Start());
    QApplication::setActiveWindow(frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));

    QTest::keyClick(frame, Qt::Key_F1);
    QPointer<QTextBrowser> help = app.HelpWindow();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_FALSE(help.isNull());
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->isWindow());
    EXPECT_EQ(help->windowTitle(), "Vexara Help");
    EXPECT_TRUE(help->toPlainText().contains("Open a project first."));
    EXPECT_TRUE(launcher.asked.empty());
    frame->Action(cmd::HelpTopics)->trigger();
    EXPECT_EQ(app.HelpWindow(), help);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
}

}  // namespace

#include "CVexaraAppTest.moc"
