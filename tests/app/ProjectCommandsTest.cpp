#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <thread>
#include <chrono>
#include <atomic>
#include <cstring>
#include <future>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "app/CChildFrame.h"
#include "app/CExplorerFrameBase.h"
#include "app/CModelessInfoFrame.h"
#include "app/info/CCsiInfoPage.h"
#include "app/info/CImgInfoPage.h"
#include "app/info/CInfoSheet.h"
#include "app/dialogs/CAddExamDlg.h"
#include "app/dialogs/CAddImagesDlg.h"
#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/CImportImageDlg.h"
#include "app/dialogs/CFolderList.h"
#include "app/dialogs/CNewProjectDlg.h"
#include "app/dialogs/DialogRunner.h"
#include "app/CPrjExpFrame.h"
#include "app/CPrjExpTree.h"
#include "app/CBatchProcessDlg.h"
#include "app/CVexaraApp.h"
#include "app/CWindowingToolBar.h"
#include "app/QtServices.h"
#include "app/CommandIds.h"
#include "app/TImageFrameList.h"
#include "model/ReaderHooks.h"
#include "model/ProcessingHooks.h"
#include "model/TCSIReader.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMap.h"
#include "model/TMRImage.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/TFolderLock.h"
#include "processing/InstallProcessing.h"
#include "readers/ReaderFactory.h"
#include "support/Bytes.h"
#include "support/CSISetBuilders.h"
#include "support/DialogScript.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/FuseMount.h"
#include "support/GuiFixture.h"
#include "support/GuiMenu.h"
#include "support/ProjectCommandTrial.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "views/picture/CMainPicView.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "FakeShell.h"
#include "ProjectShellTest.h"
#include "Shown.h"

using namespace vx::test;

namespace {

void MakeFolders(const std::string& root, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        std::filesystem::create_directories(root + "/" + name);
}

// Makes the project `name` in `folder` of written 4 x 4 sets, the first its work set.
void MakeProjectOfSets(const std::string& folder, const std::string& name,
                       std::initializer_list<const char*> sets = {"a"})
{
    TProject project;
    ASSERT_TRUE(project.Create(folder, name));
    for (const char* set : sets) {
        TCSISet* written = AddWrittenSet(project, folder, set, 4, 4, 1);
        if (!project.m_pWorkSet)
            project.SetWorkSet(written);
    }
    ASSERT_TRUE(project.Save());
}

// Makes the project `name` in `folder` with a file of each kind: the 4 x 3 sets "a" (the work
// set, with the map file "a_NAA_map") and "b", and the image "img".
void MakeProjectOfEachFile(const std::string& folder, const std::string& name)
{
    TProject project;
    ASSERT_TRUE(project.Create(folder, name));
    TCSISet* a = AddWrittenSet(project, folder, "a", 4, 3, 1);
    AddWrittenSet(project, folder, "b", 4, 3, 1);
    AddStoredImage(project, folder, "img", 4, 4, 7);
    project.SetWorkSet(a);
    AddValuedMap(*a, "NAA_map", [](int v) { return TComplex(v, 0); });
    ASSERT_TRUE(project.SaveWorkSet(false));
    ASSERT_TRUE(project.Save());
}

// Writes a macro of one Lorentzian filter step at `path`.
void WriteFilterMacro(const std::string& path)
{
    WriteBytes(path, "#Vexara Macro File#\r\n\r\n<action>\r\n#Lorentzian filtering\r\ntype = 7\r\n"
                     "FilterLineWidth = 2.5\r\n</action>\r\n");
}

size_t ImageFrameCount()
{
    auto* list = g_pProject ? dynamic_cast<TImageFrameList*>(g_pProject->m_frameList.get()) : nullptr;
    return list ? list->Frames().size() : 0;
}

QStringList Entries(const QListWidget& list)
{
    QStringList out;
    for (int k = 0; k < list.count(); ++k)
        out << list.item(k)->text();
    return out;
}

TEST(FolderList, ListsParentThenFoldersThenFilesWithoutCaseOrder)
{
    TTempFolder root;
    MakeFolders(root.Path(), {"beta", "Alpha", ".hidden", "beta/inner"});
    WriteBytes(root.File("notes.txt"), "x");
    WriteBytes(root.File("A.SPAR"), "x");
    const std::string saved = vx::CurrentFolder();

    CFolderList list;
    ASSERT_TRUE(list.ListFolder(root.Path()));
    EXPECT_EQ(Entries(list), QStringList({"[..]", "[Alpha]", "[beta]"}));
    EXPECT_EQ(list.Folder(), root.Path() + "/");
    EXPECT_EQ(vx::CurrentFolder(), root.Path() + "/");
    list.SetListFiles(true);
    ASSERT_TRUE(list.ListFolder(root.Path() + "/"));
    EXPECT_EQ(Entries(list), QStringList({"[..]", "[Alpha]", "[beta]", "A.SPAR", "notes.txt"}));

    const struct {
        const char* entry;
        std::string folder;
    } routes[] = {
        {"[beta]", root.Path() + "/beta/"},
        {"[..]", vx::FolderOf(root.Path()) + "/"},
        {"notes.txt", ""},
        {"[]", ""},
    };
    for (const auto& r : routes)
        EXPECT_EQ(list.FolderOfEntry(r.entry), r.folder) << r.entry;

    // A folder that cannot be listed changes nothing; the root has no parent entry.
    EXPECT_FALSE(list.ListFolder(root.File("notes.txt")));
    EXPECT_EQ(list.Folder(), root.Path() + "/");
    // Nor does one whose listing fails part way, which is no empty folder: Return on it
    // says which and why.
    {
        TScriptedReport report;
        list.setCurrentItem(list.findItems("[beta]", Qt::MatchExactly).front());
        TFileFaultScope fault({{vx::kFileList, EIO, 3}});
        QTest::keyClick(&list, Qt::Key_Return);
        EXPECT_EQ(report.Messages(),
                  std::vector<std::string>{"The folder " + root.Path() + "/beta cannot be listed: input/output error."});
    }
    EXPECT_EQ(list.Folder(), root.Path() + "/");
    EXPECT_EQ(Entries(list), QStringList({"[..]", "[Alpha]", "[beta]", "A.SPAR", "notes.txt"}));
    ASSERT_TRUE(list.ListFolder("/"));
    EXPECT_FALSE(Entries(list).contains("[..]"));
    EXPECT_EQ(list.FolderOfEntry("[tmp]"), "/tmp/");
    vx::SetCurrentFolder(saved);
}

// Project > Add Images... adding, as the image readers do, the image "scan" of 8 x 8 pixels
// of `value`, whose pixel file waits among the project's new files; `meanwhile` runs once it
// is added, before OK is pressed.
void AddScanImage(CMainFrame& frame, const std::string& scanFile, int16_t value, const std::function<void()>& meanwhile)
{
    InstallImageReader(0, [value](TImageSet& images, const std::string&, TImageImportParams, TProject* project) {
        auto* image = new TMRImage(project);
        image->SetName("scan", false);
        image->SetWidth(8, false);
        image->SetHeight(8, false);
        image->SetPath(project->GetFolder() + "/scan");
        image->SetPixels(std::vector<int16_t>(64, value));
        if (!images.AddNew(image, "The image scan was not added"))
            return false;
        image->FreePixels();
        return true;
    });
    WriteBytes(scanFile, "a scan");
    TScriptedFileChooser chooser(scanFile);
    TDialogScript script([&](QDialog& d) {
        if (dynamic_cast<CImportImageDlg*>(&d))
            return ShowAndAct<CImportImageDlg>(d, [](CImportImageDlg& dialog) { dialog.accept(); });
        return ShowAndAct<CAddImagesDlg>(d, [&](CAddImagesDlg& dialog) {
            dialog.AddImagesButton()->click();
            meanwhile();
            dialog.accept();
        });
    });
    frame.Action(cmd::ProjectAddImages)->trigger();
    ClearReaderHooks();
}

namespace {

// A FIFO made at `path`. While it lives, a reader that waits on it is let go after two
// seconds (the FIFO is opened for writing and closed again), so that a test of a program
// that waits there fails instead of waiting for ever; Released() counts those times.
class TFifo {
public:
    explicit TFifo(std::string path) : m_path(std::move(path))
    {
        EXPECT_EQ(::mkfifo(m_path.c_str(), 0644), 0) << m_path;
        m_thread = std::thread([this] {
            const auto start = std::chrono::steady_clock::now();
            while (!m_done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (std::chrono::steady_clock::now() - start < std::chrono::seconds(2))
                    continue;
                if (const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
                    ++m_released;
                    ::close(fd);
                }
            }
        });
    }
    ~TFifo()
    {
        m_done = true;
        m_thread.join();
        std::filesystem::remove(m_path);
    }
    int Released() const { return m_released; }

private:
    std::string m_path;
    std::atomic<bool> m_done{false};
    std::atomic<int> m_released{0};
    std::thread m_thread;
};

// A file at `path` on which this process keeps a write lease, so that an open of it to read
// waits, as a read of a file that never answers does, until the lease goes: after 15 s, so
// that a test of a program that waits there fails instead of waiting for ever. Opens()
// counts the opens that met the lease.
class TLeasedFile {
public:
    explicit TLeasedFile(const std::string& path)
    {
        WriteBytes(path, "x");
        s_opens = 0;
        struct sigaction counting {};
        counting.sa_handler = [](int) { ++s_opens; };
        counting.sa_flags = SA_RESTART;
        ::sigaction(SIGIO, &counting, &m_previous);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fcntl(fd, F_SETLEASE, F_WRLCK) != 0)
            m_refusal = "the file system gives no write lease on " + path + ": " + std::strerror(errno);
        m_thread = std::thread([fd, done = m_done.get_future()] {
            done.wait_for(std::chrono::seconds(15));
            ::close(fd);
        });
    }
    ~TLeasedFile()
    {
        m_done.set_value();
        m_thread.join();
        ::sigaction(SIGIO, &m_previous, nullptr);
    }
    static int Opens() { return s_opens; }
    // Why the file system gave no lease; empty when it did.
    const std::string& Refusal() const { return m_refusal; }

private:
    static inline std::atomic<int> s_opens{0};
    std::string m_refusal;
    struct sigaction m_previous {};
    std::promise<void> m_done;
    std::thread m_thread;
};

}  // namespace

using ProjectCommandsTest = TProjectShellTest;

TEST_F(ProjectCommandsTest, NewProjectDialogBrowsesAndCancelPutsTheLocationBack)
{
    MakeFolders(root.Path(), {"exams/one"});
    const std::string before = vx::CurrentFolder();
    CNewProjectDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Create New Project...");
    EXPECT_EQ(dialog.NameEdit()->text(), "New Project");
    EXPECT_EQ(dialog.LocationEdit()->text().toStdString(), root.Path() + "/");

    CFolderList* list = dialog.FolderList();
    const auto doubleClick = [&](const QString& entry) {
        const QList<QListWidgetItem*> items = list->findItems(entry, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << entry.toStdString();
        list->setCurrentItem(items[0]);
        const QPoint at = list->visualItemRect(items[0]).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick("[exams]");
    doubleClick("[one]");
    doubleClick("[..]");
    EXPECT_EQ(g_strLastDir, root.Path() + "/exams/");
    EXPECT_EQ(dialog.LocationEdit()->text().toStdString(), g_strLastDir);
    EXPECT_EQ(vx::CurrentFolder(), g_strLastDir);

    dialog.reject();
    EXPECT_EQ(g_strLastDir, root.Path() + "/");
    EXPECT_EQ(vx::CurrentFolder(), before);
}

// New Project and Save As as the user meets them: Return in the name presses OK and in the
// folder list opens the folder, a refused name (by Return or OK) leaves the dialog open for a
// correction, and a last location that has gone gives way to the home folder.
TEST_F(ProjectCommandsTest, ProjectDialogsCloseOnlyOnOkAndKeepRefusedNamesForCorrection)
{
    MakeFolders(root.Path(), {"exams"});
    struct TSeen {
        bool afterNameReturn = false, afterListReturn = false, afterBadName = false;
        QString listed;
    };
    // Runs the command; its dialog gets the bad name, Return in the name and on "[exams]",
    // OK, then the good name and OK. Only the bad name is refused, at Return and at OK, and
    // the dialog stays.
    const auto run = [&](int command, const char* bad, const char* good) {
        SCOPED_TRACE(bad);
        TSeen seen;
        TDialogScript script([&](QDialog& d) {
            return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
                QApplication::setActiveWindow(&dialog);
                dialog.NameEdit()->setFocus();
                dialog.NameEdit()->setText(bad);
                QTest::keyClick(dialog.NameEdit(), Qt::Key_Return);
                seen.afterNameReturn = dialog.isVisible();
                CFolderList* list = dialog.FolderList();
                const QList<QListWidgetItem*> exams = list->findItems("[exams]", Qt::MatchExactly);
                if (!exams.isEmpty()) {
                    list->setFocus();
                    list->setCurrentItem(exams[0]);
                    QTest::keyClick(list, Qt::Key_Return);
                    seen.afterListReturn = dialog.isVisible();
                }
                seen.listed = dialog.LocationEdit()->text();
                QPushButton* ok = dialog.Buttons()->button(QDialogButtonBox::Ok);
                QTest::mouseClick(ok, Qt::LeftButton);
                seen.afterBadName = dialog.isVisible();
                dialog.NameEdit()->setText(good);
                QTest::mouseClick(ok, Qt::LeftButton);
            });
        });
        frame->Action(command)->trigger();
        EXPECT_TRUE(seen.afterNameReturn);
        EXPECT_TRUE(seen.afterBadName);
        EXPECT_EQ(script.runs, 1);
        EXPECT_EQ(report.Messages(), std::vector<std::string>(2, "Invalid project name"));
        return seen;
    };
    const TSeen made = run(cmd::FileNewProject, "a/b", "study");
    EXPECT_TRUE(made.afterListReturn);
    EXPECT_EQ(made.listed.toStdString(), root.Path() + "/exams/");
    ASSERT_NE(g_pProject, nullptr);
    EXPECT_EQ(g_pProject->GetProjectFilePath(), root.Path() + "/exams/study/study.tpj");
    EXPECT_EQ(vx::test::ListedEntries(root.Path()).size(), 1u) << "nothing beside the chosen folder";

    report.Clear();
    run(cmd::FileSaveProjectAs, ".hidden", "copy");
    EXPECT_EQ(g_pProject->GetProjectFilePath(), root.Path() + "/exams/copy/copy.tpj");
    EXPECT_TRUE(vx::FileExists(root.Path() + "/exams/copy/copy.tpj"));

    // A location that has gone: the dialog opens on the home folder; Cancel puts the old
    // location back.
    const std::string gone = root.Path() + "/gone/";
    g_strLastDir = gone;
    std::string shown, listedFolder;
    {
        TDialogScript run([&](QDialog& d) {
            return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
                QApplication::processEvents();  // as the dialog's own loop does
                shown = dialog.LocationEdit()->text().toStdString();
                listedFolder = dialog.FolderList()->Folder();
                dialog.reject();
            });
        });
        frame->Action(cmd::FileNewProject)->trigger();
    }
    std::string home = vx::HomeFolder();
    if (home.back() != '/')
        home += '/';
    EXPECT_EQ(shown, home);
    EXPECT_EQ(listedFolder, home);
    EXPECT_EQ(g_strLastDir, gone);
    EXPECT_EQ(report.Messages().back(),
              "The folder " + root.Path() + "/gone does not exist. The list shows your home folder " + home + " instead.");
}

// Each dialog that browses folders, opened from its menu or button on a folder that cannot
// be listed, says which folder and why, and lists the home folder instead; when that cannot
// be listed either, it says so too.
TEST_F(ProjectCommandsTest, ABrowsingDialogOpenedOnAFolderThatCannotBeListedSaysWhy)
{
    vx::app::InstallBatchDialogs();  // as main() does: the real Add Exam and batch dialogs
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    frame->UpdateCommandStates();
    const std::string exams = root.Path() + "/exams";
    MakeFolders(root.Path(), {"exams"});
    const std::string home = vx::HomeFolder() + (vx::HomeFolder().back() == '/' ? "" : "/");
    const std::string why = "The folder " + exams + " cannot be listed: input/output error.";
    const std::string instead = why + " The list shows your home folder " + home + " instead.";
    const vx::TFileFault once{vx::kFileList, EIO, 1}, always{vx::kFileList, EIO, 1, true};
    const std::string homeWhy = "The folder " + home.substr(0, home.size() - 1) + " cannot be listed: input/output error.";
    const struct {
        const char* name;
        int command;
        bool browse;  // Browse... of the batch dialog, with the fault armed there
        vx::TFileFault fault;
        std::string shown;  // the folder the dialog lists
        std::string message;
        std::string start = {};  // where the dialog opens, when not in "exams"
    } cases[] = {
        {"File > New Project", cmd::FileNewProject, false, once, home, instead},
        {"File > New Project, the home folder neither", cmd::FileNewProject, false, always, "", why + " " + homeWhy},
        {"File > New Project in the home folder", cmd::FileNewProject, false, always, "", homeWhy, home},
        {"File > New Project in a folder that has gone", cmd::FileNewProject, false, {}, home,
         "The folder " + exams + "/gone does not exist. The list shows your home folder " + home + " instead.",
         exams + "/gone/"},
        {"Project > Add Exam", cmd::ProjectAddExam, false, once, home, instead},
        {"File > Batch Processing", cmd::FileBatchProcessing, false, once, home, instead},
        {"Browse... of File > Batch Processing", cmd::FileBatchProcessing, true, once, home, instead},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        report.Clear();
        g_strLastDir = c.start.empty() ? exams + "/" : c.start;
        vx::SetCurrentFolder(exams);
        std::string shown;
        TDialogScript script([&](QDialog& d) {
            d.show();
            QApplication::processEvents();  // as the dialog's own loop does
            if (auto* batch = dynamic_cast<CBatchProcessDlg*>(&d); batch && c.browse) {
                vx::SetFileFaults({c.fault});
                QTest::mouseClick(batch->BrowseOutputButton(), Qt::LeftButton);
            } else {
                shown = d.findChild<CFolderList*>()->Folder();
            }
            vx::SetFileFaults({});
            d.reject();
            return d.result();
        });
        if (!c.browse)
            vx::SetFileFaults({c.fault});
        frame->Action(c.command)->trigger();
        vx::SetFileFaults({});
        EXPECT_EQ(script.runs, c.browse ? 2 : 1);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message});
    }
    vx::app::SetAddExamDialog({});
    vx::app::SetBatchDialog({});
}

TEST_F(ProjectCommandsTest, NamesAndLocationsThatCannotHoldAProjectAreRefused)
{
    const struct {
        int command;
        const char* name;
        const char* message;
    } cases[] = {
        {cmd::FileNewProject, "", "Invalid project name"},
        {cmd::FileNewProject, "~draft", "Invalid project name"},
        {cmd::FileNewProject, "a/b", "Invalid project name"},
        {cmd::FileNewProject, "a\\b", "Invalid project name"},
        {cmd::FileNewProject, "..", "Invalid project name"},
        {cmd::FileNewProject, ".", "Invalid project name"},
        {cmd::FileSaveProjectAs, ".hidden", "Invalid project name"},
        {cmd::FileSaveProjectAs, "../out", "Invalid project name"},
    };
    ASSERT_TRUE(app.OpenProject(MakeProjectFile(root.Path(), "open")));
    TProject* open = g_pProject;
    for (const auto& c : cases) {
        report.Clear();
        RunWithName(c.command, c.name);
        EXPECT_EQ(report.Messages(), std::vector<std::string>({c.message})) << c.name;
        EXPECT_EQ(g_pProject, open) << c.name;
    }
    EXPECT_EQ(vx::test::ListedEntries(root.Path()).size(), 1u) << "nothing was created beside the open project";

    // A location that goes while the dialog is open.
    report.Clear();
    {
        TDialogScript script([&](QDialog& d) {
            return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
                g_strLastDir = root.Path() + "/gone/";
                dialog.NameEdit()->setText("study");
                dialog.accept();
            });
        });
        frame->Action(cmd::FileNewProject)->trigger();
    }
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Project path cannot be found"}));
    EXPECT_EQ(g_pProject, open);

    // New Project takes a name that begins with a dot.
    g_strLastDir = root.Path() + "/";
    RunWithName(cmd::FileNewProject, ".hidden");
    ASSERT_NE(g_pProject, nullptr);
    EXPECT_EQ(g_pProject->GetName(), ".hidden");
    EXPECT_TRUE(vx::FileExists(ProjectPath(".hidden")));
}

TEST_F(ProjectCommandsTest, NewProjectCreatesItAndAsksBeforeReplacingAFolder)
{
    EXPECT_FALSE(frame->Action(cmd::FileSaveProject)->isEnabled());
    RunWithName(cmd::FileNewProject, "study");
    EXPECT_EQ(report.Count(), 0u);
    TProject* first = g_pProject;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetFolder(), root.Path() + "/study");
    EXPECT_TRUE(vx::FileExists(ProjectPath("study")));
    EXPECT_FALSE(first->IsModified());
    EXPECT_TRUE(frame->Action(cmd::FileSaveProject)->isEnabled());
    EXPECT_EQ(app.RecentFiles().value(0).toStdString(), ProjectPath("study"));
    ASSERT_NE(frame->ProjectExplorer(), nullptr);
    EXPECT_TRUE(frame->ProjectExplorer()->isVisible());
    EXPECT_EQ(frame->ProjectExplorer()->windowTitle(), "study");

    // The same name again: No keeps everything.
    report.PlanAnswer(vx::ReportAnswer::No);
    RunWithName(cmd::FileNewProject, "study");
    ASSERT_EQ(report.Questions(), std::vector<std::string>({"Project already exists, do you want to overwrite it?"}));
    EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::Information);
    EXPECT_EQ(g_pProject, first);

    // A changed project is offered for saving before the dialog; Yes to both replaces it.
    report.Clear();
    first->SetModified(true);
    report.PlanAnswer(vx::ReportAnswer::No);
    report.PlanAnswer(vx::ReportAnswer::Yes);
    RunWithName(cmd::FileNewProject, "study");
    EXPECT_EQ(report.Questions(),
              std::vector<std::string>({"There were changes made to the project, would you like to save it?",
                                        "Project already exists, do you want to overwrite it?"}));
    ASSERT_NE(g_pProject, nullptr);
    EXPECT_FALSE(g_pProject->IsModified());
    EXPECT_EQ(g_pProject->GetName(), "study");
}

TEST_F(ProjectCommandsTest, OpenAndRecentReplaceTheProjectAfterTheSaveQuestion)
{
    const std::string one = MakeProjectFile(root.Path(), "one");
    const std::string two = MakeProjectFile(root.Path(), "two");
    TScriptedFileChooser chooser(one);
    frame->Action(cmd::FileOpenProject)->trigger();
    ASSERT_EQ(chooser.Requests().size(), 1u);
    const vx::TFileRequest& request = chooser.Requests()[0];
    EXPECT_EQ(request.title, "Open Project File...");
    EXPECT_EQ(request.filter, "All Files (*.*)|*.*|Project Files(*.tpj)|*.TPJ");
    EXPECT_EQ(request.filterIndex, 1);
    ASSERT_NE(g_pProject, nullptr);
    EXPECT_EQ(g_pProject->GetName(), "one");
    EXPECT_EQ(vx::CurrentFolder(), root.Path() + "/one");
    const std::string gone = root.File("gone/gone.tpj");
    app.AddToRecentFileList(gone);
    app.AddToRecentFileList(two);
    // Recent entries are commands 57616 + k, newest first.
    const auto recent = [&](const std::string& path) {
        return frame->Action(cmd::FileMruFirst + int(app.RecentFiles().indexOf(QString::fromStdString(path))));
    };
    ASSERT_EQ(app.RecentFiles(), QStringList({QString::fromStdString(two), QString::fromStdString(gone),
                                              QString::fromStdString(one)}));

    // A save that fails keeps the changed project and ends the command.
    g_pProject->SetModified(true);
    vx::TFile::FailWritesAfter(0);
    report.PlanAnswer(vx::ReportAnswer::Yes);
    recent(two)->trigger();
    vx::TFile::FailWritesAfter(-1);
    EXPECT_EQ(g_pProject->GetName(), "one");
    EXPECT_TRUE(g_pProject->IsModified());

    // Recent entries ask the same question as Open; the opened path moves to the top.
    report.Clear();
    report.PlanAnswer(vx::ReportAnswer::No);
    recent(two)->trigger();
    EXPECT_EQ(report.Questions(),
              std::vector<std::string>({"There were changes made to the project, would you like to save it?"}));
    EXPECT_EQ(g_pProject->GetName(), "two");
    ASSERT_EQ(app.RecentFiles().value(0).toStdString(), two);

    // An entry whose folder has gone is reported and dropped; the open project stays.
    report.Clear();
    recent(gone)->trigger();
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"The project gone cannot be opened: its folder " +
                                                           root.File("gone") + " does not exist."}));
    EXPECT_EQ(g_pProject->GetName(), "two");
    EXPECT_FALSE(app.RecentFiles().contains(QString::fromStdString(root.File("gone/gone.tpj"))));
    EXPECT_EQ(app.RecentFiles().size(), 2);

    // A project whose read fails once its check has passed (a failing disk), listed above
    // the open one: the open one is opened again with its folder's lock, which another
    // program is refused, and heads the list; the failed one's folder is free for another.
    const std::string failing = root.File("failing/failing.tpj");
    {
        TProject project;
        ASSERT_TRUE(project.Create(root.File("failing"), "failing"));
        AddStoredImage(project, root.File("failing"), "img", 4, 3, 7);
        (*project.m_pImageSet->Begin())->SetWidth(0, false);  // a record read at its place
        ASSERT_TRUE(project.Save());
    }
    // Whether another program takes the project's folder now: its own lock and its lock file's.
    const auto takenByAnother = [&](const std::string& project) {
        const std::string folder = vx::FolderOf(project), lockFile = folder + "/" + vx::TFolderLock::FileName();
        const auto take = [&](const auto& pause) {
            const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            const int file = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
            pause(::flock(dir, LOCK_EX | LOCK_NB) == 0 && ::flock(file, LOCK_EX | LOCK_NB) == 0);
            return true;
        };
        return BesideAChild(take, [] {}).answer;
    };
    app.AddToRecentFileList(failing);
    for (const bool listed : {false, true}) {
        SCOPED_TRACE(listed ? "recent list" : "File > Open");
        {
            TFileFaultScope fault({{vx::kFileReadAt, EIO, 1}});
            TScriptedFileChooser chooser(failing);
            listed ? recent(failing)->trigger() : frame->Action(cmd::FileOpenProject)->trigger();
        }
        EXPECT_EQ(g_pProject->GetName(), "two");
        EXPECT_EQ(app.RecentFiles().value(0).toStdString(), two);
        EXPECT_EQ(app.RecentFiles().contains(QString::fromStdString(failing)), !listed);
        EXPECT_FALSE(takenByAnother(two));
        EXPECT_TRUE(takenByAnother(failing));
    }
}

// File > Open Project and the recent list on a project that cannot be opened say why, as
// the user meets it (as an ordinary user where the case needs one): the folder missing or
// unreachable, the project file missing, unreadable by this user (and whom to ask) or
// failing to open, or a file that is no project file, or a read that fails only once the
// open has begun (the open project is then opened again). The open project stays.
TEST_F(ProjectCommandsTest, AProjectThatCannotBeOpenedSaysWhyAndTheOpenProjectStays)
{
    ASSERT_EQ(::chmod(root.Path().c_str(), 0755), 0);
    MakeProjectOfSets(root.File("kept"), "kept");
    const std::string folder = root.File("p"), path = folder + "/p.tpj", aside = root.File("aside");
    const std::string work = folder + "/.vexara";
    MakeProjectOfSets(folder, "p");
    ASSERT_TRUE(app.OpenProject(root.File("kept/kept.tpj")));
    const std::string me = ::getpwuid(::geteuid())->pw_name, refused = "The project p cannot be opened: ";
    const std::string lockFile = folder + "/" + vx::TFolderLock::FileName();
    vx::TFolderLock copyHeld;  // another program's, on the lock file the copy shares
    const struct {
        const char* what;
        std::function<void()> make, undo;
        std::string said;
        bool ordinaryUser = false;
        std::vector<vx::TFileFault> faults = {};  // armed afresh around each open
        bool byRootOnly = false;                   // another user's file is made only by root
    } rows[] = {
        {"its folder moved away", [&] { std::filesystem::rename(folder, aside); },
         [&] { std::filesystem::rename(aside, folder); }, refused + "its folder " + folder + " does not exist.", true},
        {"its folder set aside by a batch run that was interrupted",
         [&] { std::filesystem::rename(folder, root.File(".p.batch-old")); },
         [&] { std::filesystem::rename(root.File(".p.batch-old"), folder); },
         refused + "its folder " + folder + " does not exist: a batch run was interrupted while it replaced the " +
             "project, which waits in " + root.File(".p.batch-old") + "; the next batch run of the study into " +
             root.Path() + " puts it back."},
        {"a folder on the way this user may not enter", [&] { ::chmod(root.Path().c_str(), 0600); },
         [&] { ::chmod(root.Path().c_str(), 0755); },
         refused + "its folder " + folder + " cannot be reached, because you may not enter " + root.Path() +
             ". Ask its owner, " + me + ", to let you in.",
         true},
        {"a project file this user may not read", [&] { ::chmod(path.c_str(), 0); },
         [&] { ::chmod(path.c_str(), 0644); },
         refused + "you may not read its project file " + path + ". Ask its owner, " + me + ", to let you read it.",
         true},
        {"no project file", [&] { std::filesystem::rename(path, aside); }, [&] { std::filesystem::rename(aside, path); },
         refused + "its project file " + path + " does not exist."},
        {"its lock file shared, through hard links, with a copy that another program has open",
         [&] {
             ASSERT_EQ(RunShell("cp -al '" + folder + "' '" + aside + "'").first, 0);
             ASSERT_EQ(copyHeld.Acquire(aside), vx::TFolderLock::TResult::Held);
         },
         [&] {
             copyHeld.Release();
             std::filesystem::remove_all(aside);
         },
         refused + "its lock file " + lockFile + " is shared, through hard links, with a copy of the folder that "
             "another program has open. Remove " + lockFile + " to open both at once: the program makes a new one."},
        // Not followed: the journal where it leads stays, unread and unnamed.
        {"a link to a folder that holds a journal at its work folder",
         [&] {
             std::filesystem::remove_all(work);
             std::filesystem::create_directory(aside);
             WriteBytes(aside + "/journal", "another folder's journal");
             std::filesystem::create_directory_symlink(aside, work);
         },
         [&] {
             std::filesystem::remove(work);
             EXPECT_EQ(ReadBytes(aside + "/journal"), "another folder's journal");
             std::filesystem::remove_all(aside);
         },
         refused + "its work folder " + work + " is a symbolic link, not a folder. Remove it to open the project."},
        // Another user's journal is theirs to complete: the files it would remove stay.
        {"another user's journal in its work folder",
         [&] {
             std::filesystem::create_directory(work);
             ASSERT_EQ(::chmod(work.c_str(), 01777), 0);
             AsUser(65534, 65534, [&] {
                 WriteBytes(work + "/journal", "Vexara file journal 3\nremove\tp.tpj\nend\n");
                 return std::string();
             });
         },
         [&] {
             std::filesystem::remove_all(work);
             EXPECT_TRUE(vx::FileExists(path));
         },
         refused + "a save of it by the user " + ::getpwuid(65534)->pw_name + " was interrupted and waits in its " +
             "work folder " + work + " (" + work + "/journal is theirs). Only their own open of the project " +
             "completes it; its files stay as they are until then.",
         false, {}, true},
        {"a FIFO at its work folder",
         [&] {
             std::filesystem::remove_all(work);
             ASSERT_EQ(::mkfifo(work.c_str(), 0666), 0);
         },
         [&] { std::filesystem::remove(work); },
         refused + "its work folder " + work + " is a FIFO, not a folder. Remove it to open the project."},
        {"a project file that is a link to itself",
         [&] {
             std::filesystem::rename(path, aside);
             std::filesystem::create_symlink(path, path);
         },
         [&] {
             std::filesystem::remove(path);
             std::filesystem::rename(aside, path);
         },
         refused + "its project file " + path + " cannot be read: too many levels of symbolic links."},
        {"a project file whose read fails", [] { vx::SetFileFaults({{vx::kFileRead, EIO, 1, true}}); },
         [] { vx::SetFileFaults({}); },
         refused + "its project file " + path + " cannot be read to its end: input/output error."},
        {"a project file whose size cannot be looked up", [] { vx::SetFileFaults({{vx::kFileSize, EIO, 1, true}}); },
         [] { vx::SetFileFaults({}); },
         refused + "its project file " + path + " is not read: its size could not be read: input/output error."},
        {"no project file inside", [&] { std::filesystem::resize_file(path, 10); },
         [&] { MakeProjectOfSets(folder, "p"); },
         "Error: Invalid Project File"},
        {"a project file whose read fails once the check has passed (at the record it keeps aside)",
         [&] {
             TProject project;
             ASSERT_TRUE(project.Create(folder, "p"));
             AddStoredImage(project, folder, "img", 4, 3, 7);
             (*project.m_pImageSet->Begin())->SetWidth(0, false);
             ASSERT_TRUE(project.Save());
         },
         [&] { MakeProjectOfSets(folder, "p"); },
         refused + "its project file " + path + " cannot be read to its end: input/output error.", false,
         {{vx::kFileReadAt, EIO, 1}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.byRootOnly && ::geteuid() != 0)
            continue;
        row.make();
        const auto tryOpen = [&] {
            std::string said;
            for (const bool recent : {false, true}) {
                report.Clear();
                std::optional<TFileFaultScope> faults;
                if (!row.faults.empty())
                    faults.emplace(row.faults);
                if (recent) {
                    app.AddToRecentFileList(path);
                    frame->Action(cmd::FileMruFirst)->trigger();
                } else {
                    TScriptedFileChooser chooser(path);
                    frame->Action(cmd::FileOpenProject)->trigger();
                }
                faults.reset();
                said += recent ? "recent:" : "open:";
                for (const std::string& message : report.Messages())
                    said += " " + message;
                said += g_pProject && g_pProject->GetName() == "kept" ? "\n" : " (the open project went)\n";
            }
            return said;
        };
        const std::string said = row.ordinaryUser ? AsAnOrdinaryUser(tryOpen) : tryOpen();
        row.undo();
        EXPECT_EQ(said, "open: " + row.said + "\nrecent: " + row.said + "\n");
    }
}

// A data-set, map or pixel file this user may not read is named with whom to ask, one
// whose read the disk fails is said to be so (not to be invalid), and a link another user
// put in its place is named with its owner and not read through, where the user meets it:
// at File > Open and at the recent list, and again when the set is chosen in the explorer.
TEST_F(ProjectCommandsTest, ADataSetMapOrPixelFileThisUserMayNotReadIsNamedWithWhomToAsk)
{
    ASSERT_EQ(::chmod(root.Path().c_str(), 0755), 0);
    const std::string folder = root.File("p"), b = folder + "/b", img = folder + "/img", map = folder + "/a_NAA_map";
    MakeProjectOfEachFile(folder, "p");
    // A folder the user may write: the project opens with its lock.
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    // The call count at which File > Open reads the map file a second time: its read then
    // fails part way.
    int mapReadPartWay = 0;
    for (int at = 1; at < 100000 && mapReadPartWay == 0; ++at) {
        TFileFaultScope fault({{vx::kFileRead, EIO, at}});
        TScriptedFileChooser chooser(folder + "/p.tpj");
        frame->Action(cmd::FileOpenProject)->trigger();
        if (vx::FileFaultStruckRead() == map)
            mapReadPartWay = at + 1;
    }
    ASSERT_GT(mapReadPartWay, 0);
    const std::string ask = ". Ask its owner, " + std::string(::getpwuid(::geteuid())->pw_name) + ", to let you read it";
    const std::string nobody = ::getpwuid(65534) ? ::getpwuid(65534)->pw_name : "65534";
    const struct {
        const char* what;
        std::function<void()> make;
        std::vector<vx::TFileFault> opening, choosing;  // armed around the open and the choice
        std::vector<std::string> saidAtOpen;
        std::string saidAtChoice;  // empty: the set cannot be used, and is not offered
        bool ordinaryUser = false;
        bool anotherUsersLinks = false;  // made by uid 65534, which only root can be
    } rows[] = {
        {"a failing disk: the map file's read at the open, the samples' read at the choice", [] {},
         {{vx::kFileRead, EIO, mapReadPartWay}}, {{vx::kFileReadAt, EIO, 1}},
         {"The map file " + map + " cannot be read to its end: input/output error."},
         "The CSI data file " + b + " cannot be read to its end: input/output error."},
        {"files this user may not read",
         [&] {
             for (const std::string& file : {b, img, map})
                 ASSERT_EQ(::chmod(file.c_str(), 0), 0);
         },
         {}, {},
         {"Some of the image files could not be loaded\r\nimg: you may not read its pixel file" + ask + " (" + img +
              ")\r\nThese images stay in the project and show once their pixel files may be read.",
          "Cannot open map file " + map + ": you may not read it" + ask,
          "Some of the CSI data sets could not be loaded.\r\nb (" + b + "): you may not read it" + ask +
              "\r\nThese sets stay in the project and load once their data-set files may be read."},
         "Can not open CSI data set file " + b + ": you may not read it" + ask, true},
        {"links another user put at the files, to private copies of them",
         [&] {
             const std::string hidden = root.File("private");
             ASSERT_TRUE(std::filesystem::create_directory(hidden));
             for (const std::string& file : {b, img, map}) {
                 const std::string copy = hidden + "/" + vx::FileNameOf(file);
                 std::filesystem::copy_file(file, copy);
                 ASSERT_EQ(::chmod(copy.c_str(), 0600), 0);
                 ASSERT_EQ(AsUser(65534, 65534, [&] {
                     return ::unlink(file.c_str()) == 0 && ::symlink(copy.c_str(), file.c_str()) == 0 ? "" : "not linked";
                 }), "");
             }
             ASSERT_EQ(::chmod(hidden.c_str(), 0700), 0);
         },
         {}, {},
         {"Some of the image files could not be loaded\r\nimg: its pixel file is a symbolic link of another user, " +
              nobody + ", not a file (" + img + ")\r\nThese images stay in the project and show once their pixel files are back.",
          "Cannot open map file " + map + ": it is a symbolic link of another user, " + nobody + ", not a file",
          "Some of the CSI data sets could not be loaded.\r\nb: its data-set file " + b +
              " is a symbolic link of another user, " + nobody +
              ", not a file\r\nThese sets cannot be used; their records and files stay in the project unchanged."},
         "", false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.anotherUsersLinks && ::geteuid() != 0)
            continue;
        row.make();
        const auto openAndChoose = [&] {
            for (const bool recent : {false, true}) {
                SCOPED_TRACE(recent ? "recent list" : "File > Open");
                report.Clear();
                {
                    TFileFaultScope faults(row.opening);
                    if (recent) {
                        app.AddToRecentFileList(folder + "/p.tpj");
                        frame->Action(cmd::FileMruFirst)->trigger();
                    } else {
                        TScriptedFileChooser chooser(folder + "/p.tpj");
                        frame->Action(cmd::FileOpenProject)->trigger();
                    }
                    EXPECT_EQ(vx::FileFaultStruckRead(), row.opening.empty() ? "" : map);
                }
                EXPECT_EQ(report.Messages(), row.saidAtOpen);
            }
            report.Clear();
            // "b" is made the work set by a double click in the explorer.
            CPrjExpTree* tree = dynamic_cast<CPrjExpFrame&>(*frame->ProjectExplorer()).Tree();
            tree->expandAll();
            const auto found = tree->findItems("b", Qt::MatchExactly | Qt::MatchRecursive);
            EXPECT_EQ(found.size(), row.saidAtChoice.empty() ? 0 : 1);
            if (row.saidAtChoice.empty())
                return std::string();
            {
                TFileFaultScope faults(row.choosing);
                QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->ItemLabelRect(found.value(0)).center());
            }
            EXPECT_EQ(report.Messages(), std::vector<std::string>{row.saidAtChoice});
            return std::string();
        };
        row.ordinaryUser ? AsAnOrdinaryUserHere(openAndChoose) : openAndChoose();
    }
}

// File > Open Project on a project of an older version that cannot be converted: a set
// record that cannot be used (its name leaves the folder), an 8-bit pixel file whose read
// fails (the first read once the conversion has staged its first file) or that this user may
// not read, a data-set file that the system does not open for the conversion, or one of the
// newest layout (which the conversion cannot read) that did not open when the project was
// read. One message says that it is not opened, each file and why, and the old project's
// folder stays exactly as it was: without a lock file of this open, and with the lock file
// an earlier open left there.
TEST_F(ProjectCommandsTest, AnOldProjectThatCannotBeConvertedIsNotOpenedAndItsFolderStaysAsItWas)
{
    const std::string notConverted = "The project golden cannot be opened: it was saved by an older version of the "
                                     "program and could not be converted to the newest version:\r\n";
    const std::string left = "\r\nIts files are left as they are.";
    ASSERT_EQ(::chmod(root.Path().c_str(), 0755), 0);
    const struct {
        const char* what;
        int version;
        std::vector<vx::TFileFault> faults;
        std::function<std::vector<std::string>(const std::string& folder)> said;
        bool newestDataFile = false;  // the set's data-set file of the newest layout
        bool ordinaryUser = false;    // opened by a user who may write the folder and not read ax
    } rows[] = {
        {"an unusable set record", 5, {},
         [](const std::string&) {
             return std::vector<std::string>{
                 "The project golden cannot be opened: it was saved by an older version of the program, and it "
                 "cannot be converted to the newest version while it holds these CSI sets and images, which cannot "
                 "be used:\r\nc/i: its name is not a file name of the project folder\r\nIts files are left as they "
                 "are. Remove these sets and images in the version of the program that saved the project, save it "
                 "there, and open it here again."};
         }},
        {"a pixel file whose read fails", 4, {{vx::kFileRead, EIO, 1, false, true}},
         [&](const std::string& folder) {
             return std::vector<std::string>{notConverted + "The pixel file " + folder +
                                             "/ax cannot be read to its end: input/output error." + left};
         }},
        {"a pixel file this user may not read", 2, {},
         [&](const std::string& folder) {
             return std::vector<std::string>{notConverted + "The pixel file " + folder + "/ax cannot be read: you may "
                                             "not read it. Ask its owner, " + ::getpwuid(::geteuid())->pw_name +
                                             ", to let you read it." + left};
         },
         false, true},
        {"a data-set file that does not open (the seventh file opened: the project file is checked first)", 3,
         {{vx::kFileOpenRead, EIO, 7}},
         [&](const std::string& folder) {
             return std::vector<std::string>{notConverted + "Can not open CSI data set file " + folder +
                                             "/csi: input/output error" + left};
         }},
        {"a data-set file of the newest layout that did not open when the project was read (the fourth file "
         "opened)",
         8, {{vx::kFileOpenRead, EIO, 4}},
         [&](const std::string& folder) {
             return std::vector<std::string>{notConverted + "The CSI set csi cannot be loaded: its data-set file " +
                                             folder + "/csi was not converted with the project: it is of the newest "
                                             "version already, the project file of version 8." + left};
         },
         true},
    };
    for (const auto& row : rows)
        for (const bool lockFileBefore : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (lockFileBefore ? ", a lock file there before" : ", no lock file before"));
            const std::string folder = root.File(std::to_string(row.version) + (lockFileBefore ? "locked" : "old"));
            std::filesystem::copy(std::string(VX_SOURCE_ROOT) + "/tests/model/golden/project_v" +
                                      std::to_string(row.version),
                                  folder);
            if (row.faults.empty() && !row.ordinaryUser) {
                std::string project = ReadBytes(folder + "/golden.tpj");
                const size_t name = project.find(std::string("csi\0C:", 6));  // the set's name, then its source
                ASSERT_NE(name, std::string::npos);
                project.replace(name, 3, "c/i");
                WriteBytes(folder + "/golden.tpj", project);
            }
            if (row.newestDataFile)
                WriteBytes(folder + "/csi", ReadBytes(std::string(VX_SOURCE_ROOT) + "/tests/model/golden/project_v9/csi"));
            if (lockFileBefore)
                WriteBytes(folder + "/.vexara.lock", "");
            if (row.ordinaryUser) {
                ASSERT_TRUE(::chmod(folder.c_str(), 0777) == 0 && ::chmod((folder + "/ax").c_str(), 0) == 0);
            }
            const auto everything = [&] {
                std::vector<std::string> names;
                for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
                    names.push_back(std::filesystem::relative(entry.path(), folder).generic_string());
                std::sort(names.begin(), names.end());
                return std::pair{names, ReadFolderTree(folder, true)};
            };
            const auto before = everything();

            report.Clear();
            TScriptedFileChooser chooser(folder + "/golden.tpj");
            const auto open = [&] {
                TFileFaultScope faults(row.faults);
                frame->Action(cmd::FileOpenProject)->trigger();
                return std::string();
            };
            row.ordinaryUser ? AsAnOrdinaryUserHere(open) : open();
            EXPECT_EQ(report.Messages(), row.said(folder));
            EXPECT_EQ(everything(), before);
            EXPECT_EQ(g_pProject, nullptr);
            EXPECT_FALSE(frame->IsProjectOpen());
        }
}

// File > Open Project of a project of the newest version whose work set's data-set file is
// of an older layout, which the set's load converts, while the commit of that conversion
// fails: the open says that the file could not be converted and why, the set is loaded from
// it all the same, and the file keeps its layout until an open whose commit holds.
TEST_F(ProjectCommandsTest, ADataSetFileWhoseConversionIsNotCommittedSaysSoAndKeepsItsLayout)
{
    const std::string golden = std::string(VX_SOURCE_ROOT) + "/tests/model/golden/project_v";
    const std::string folder = root.File("p"), csi = folder + "/csi";
    std::filesystem::copy(golden + "9", folder);
    WriteBytes(csi, ReadBytes(golden + "5/csi"));
    for (const bool failing : {true, false}) {
        SCOPED_TRACE(failing ? "the commit failing" : "the commit holding");
        report.Clear();
        TScriptedFileChooser chooser(folder + "/golden.tpj");
        {
            TFileFaultScope fault(failing ? std::vector<vx::TFileFault>{{vx::kFileSyncFolder, EIO, 1}}
                                          : std::vector<vx::TFileFault>{});
            frame->Action(cmd::FileOpenProject)->trigger();
        }
        EXPECT_EQ(report.Messages(), failing ? std::vector<std::string>{"The CSI data file " + csi +
                                                                        " could not be converted: the folder " + folder +
                                                                        "/.vexara could not be synced to the disk: "
                                                                        "input/output error."}
                                             : std::vector<std::string>{});
        ASSERT_NE(g_pProject, nullptr);
        ASSERT_NE(g_pProject->m_pWorkSet, nullptr);
        EXPECT_TRUE(g_pProject->m_pWorkSet->IsLoaded());
        EXPECT_EQ(Int32LEAt(ReadBytes(csi), 0), failing ? 5 : 9);
    }
}

// File > Open Project where a file the project names is a FIFO (a set's data-set file, a
// map file, an image's pixel file, the project file itself): the open returns at once and
// says what stands there; the project opens with what it can use. (The project file first:
// no project of the folder is open yet.)
TEST_F(ProjectCommandsTest, AFifoWhereTheProjectNamesAFileIsRefusedWithItsReason)
{
    const std::string pristine = root.File("pristine"), folder = root.File("fifo");
    MakeProjectOfEachFile(pristine, "fifo");
    const std::string sets = "\r\nThese sets cannot be used; their records and files stay in the project unchanged.";
    const std::string images = "\r\nThese images stay in the project and show once their pixel files are back.";
    const struct {
        const char* file;
        std::string message;
        bool opens;
        bool folder = false;  // a folder stands there instead of a FIFO
    } cases[] = {
        {"fifo.tpj", "Error: Invalid Project File: it is a FIFO, not a file", false},
        {"b",
         "Some of the CSI data sets could not be loaded.\r\nb: its data-set file " + folder +
             "/b is a FIFO, not a file" + sets,
         true},
        {"a_NAA_map", "Cannot open map file " + folder + "/a_NAA_map: it is a FIFO, not a file", true},
        {"img",
         "Some of the image files could not be loaded\r\nimg: its pixel file is a FIFO, not a file (" + folder +
             "/img)" + images,
         true},
        {"b",
         "Some of the CSI data sets could not be loaded.\r\nb: its data-set file " + folder +
             "/b is a folder, not a file" + sets,
         true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        RestoreFolder(pristine, folder);
        std::filesystem::remove(folder + "/" + c.file);
        if (c.folder)
            std::filesystem::create_directory(folder + "/" + c.file);
        TFifo fifo(c.folder ? root.File("unused.fifo") : folder + "/" + c.file);
        report.Clear();
        TScriptedFileChooser chooser(folder + "/fifo.tpj");
        frame->Action(cmd::FileOpenProject)->trigger();
        EXPECT_EQ(fifo.Released(), 0) << "the open waited on the FIFO";
        EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(g_pProject && g_pProject->GetFolder() == folder, c.opens);
    }
}

TEST_F(ProjectCommandsTest, ASetOrMapWhoseFileIsAwayKeepsItsEntryUntilTheFileIsBack)
{
    // Sets "a" (the work set, maps NAA_map and Cho_map) and "b", saved.
    const std::string folder = root.File("away");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "away"));
        TCSISet* a = AddWrittenSet(project, folder, "a", 4, 3, 1);
        AddWrittenSet(project, folder, "b", 4, 3, 1);
        project.SetWorkSet(a);
        AddValuedMap(*a, "NAA_map", [](int v) { return TComplex(v, 0); });
        AddValuedMap(*a, "Cho_map", [](int v) { return TComplex(0, v); });
        ASSERT_TRUE(project.SaveWorkSet(false));
        ASSERT_TRUE(project.Save());
    }
    const std::string b = folder + "/b", cho = folder + "/a_Cho_map";
    const std::string samples = ReadBytes(b), choMap = ReadBytes(cho);
    std::filesystem::rename(b, root.File("b"));
    std::filesystem::rename(cho, root.File("a_Cho_map"));

    TScriptedFileChooser chooser(folder + "/away.tpj");
    frame->Action(cmd::FileOpenProject)->trigger();
    ASSERT_NE(g_pProject, nullptr);
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({"Cannot open map file " + cho,
                                        "Some of the CSI data sets could not be loaded.\r\nb (" + b +
                                            ")\r\nThese sets stay in the project and load once their data-set "
                                            "files are back."}));
    ASSERT_EQ(g_pProject->m_pCSISetList->GetCount(), 2);
    TCSISet* a = g_pProject->m_pCSISetList->FindByName("a");
    ASSERT_EQ(g_pProject->m_pWorkSet, a);

    // A double click on "b" in the explorer says why it cannot be the work set; "a" stays.
    auto* explorer = dynamic_cast<CPrjExpFrame*>(frame->ProjectExplorer());
    ASSERT_NE(explorer, nullptr);
    const auto doubleClick = [&](const char* text) {
        CPrjExpTree* tree = explorer->Tree();
        tree->expandAll();
        const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1) << text;
        tree->scrollToItem(found[0]);
        const QPoint at = tree->ItemLabelRect(found[0]).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    };
    report.Clear();
    doubleClick("b");
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Can not open CSI data set file " + b}));
    EXPECT_EQ(g_pProject->m_pWorkSet, a);
    EXPECT_TRUE(a->IsLoaded());
    // Another set's file put in its place is not taken for its samples: the set was not
    // compared with its file when the project opened, and is now.
    {
        TProject other;
        ASSERT_TRUE(other.Create(root.File("other"), "other"));
        AddWrittenSet(other, root.File("other"), "b", 2, 2, 1);
    }
    std::filesystem::copy_file(root.File("other/b"), b);
    report.Clear();
    doubleClick("b");
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"The CSI set b cannot be loaded: its data-set file " + b +
                                                           " holds another set: the record says 4x3x1, 8 points, "
                                                           "63.90 MHz, the file 2x2x1, 8 points, 63.90 MHz."}));
    EXPECT_NE(g_pProject->m_pWorkSet, g_pProject->m_pCSISetList->FindByName("b"));
    std::filesystem::remove(b);

    // Saved meanwhile, the project still holds both entries.
    report.PlanAnswer(vx::ReportAnswer::Yes);
    frame->Action(cmd::FileSaveProject)->trigger();
    EXPECT_FALSE(g_pProject->IsModified());

    // With the files back, the project opens as it was saved first.
    std::filesystem::rename(root.File("b"), b);
    std::filesystem::rename(root.File("a_Cho_map"), cho);
    report.Clear();
    chooser.Answer(folder + "/away.tpj");
    frame->Action(cmd::FileOpenProject)->trigger();
    ASSERT_NE(g_pProject, nullptr);
    EXPECT_TRUE(report.Messages().empty());
    a = g_pProject->m_pCSISetList->FindByName("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->ListedMapNames(), std::vector<std::string>({"NAA_map", "Cho_map"}));
    ASSERT_NE(a->FindMap("Cho_map"), nullptr);
    doubleClick("b");
    ASSERT_NE(g_pProject->m_pWorkSet, nullptr);
    EXPECT_EQ(g_pProject->m_pWorkSet->GetName(), "b");
    EXPECT_EQ(ReadBytes(b), samples);
    EXPECT_EQ(ReadBytes(cho), choMap);
}

TEST_F(ProjectCommandsTest, SaveProjectIsDoneOnceItsFilesAreInPlace)
{
    const std::string folder = root.File("once");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "once"));
        project.SetWorkSet(AddWrittenSet(project, folder, "a", 4, 3, 1));
        ASSERT_TRUE(project.Save());
    }
    ASSERT_TRUE(app.OpenProject(folder + "/once.tpj"));
    ASSERT_NE(g_pProject->m_pWorkSet, nullptr);
    g_pProject->m_pWorkSet->GetVoxel(size_t(0))->Data()[0] = TComplex(42.0f, 0.0f);
    g_pProject->SetModified(true);

    // Once the save's journal is gone every file is in place; the disk is full from then on.
    const std::string journal = folder + "/.vexara/journal";
    bool journalSeen = false;
    vx::TFile::SetStepHook([&] {
        if (vx::FileExists(journal))
            journalSeen = true;
        else if (journalSeen)
            vx::TFile::FailWritesAfter(0);
    });
    frame->Action(cmd::FileSaveProject)->trigger();
    vx::TFile::SetStepHook({});
    vx::TFile::FailWritesAfter(-1);
    EXPECT_TRUE(journalSeen);
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_FALSE(g_pProject->IsModified());

    ASSERT_TRUE(app.OpenProject(folder + "/once.tpj"));
    ASSERT_NE(g_pProject->m_pWorkSet, nullptr);
    EXPECT_EQ(g_pProject->m_pWorkSet->GetVoxel(size_t(0))->GetReal(0), 42.0f);
}

// File > Open's dialog in a folder holding a project file that no open may read yet lists the
// folder and closes with Escape: it tells its entries' kinds by their names, never opening them.
TEST_F(ProjectCommandsTest, FileDialogListsAFolderWhoseFileCannotBeReadAndClosesWithEscape)
{
    const std::string folder = root.File("held");
    ASSERT_TRUE(vx::MakeFolder(folder));
    WriteBytes(folder + "/other.tpj", "y");
    TLeasedFile held(folder + "/held.tpj");
    if (!held.Refusal().empty())
        GTEST_SKIP() << held.Refusal();
    vx::SetCurrentFolder(folder + "/");
    const vx::FileChooserHandler scripted = vx::app::InstallQtFileChooser();
    int listed = -1, ticks = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (auto* model = dialog ? dialog->findChild<QFileSystemModel*>() : nullptr) {
            listed = model->rowCount(model->index(QString::fromStdString(folder)));
            if (listed == 2 || ++ticks == 600)
                QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
    user.start(50);
    frame->Action(cmd::FileOpenProject)->trigger();
    user.stop();
    vx::SetFileChooserHandler(scripted);
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(TLeasedFile::Opens(), 0);
    EXPECT_EQ(g_pProject, nullptr);
}

// Project > Add Images closed with OK writes the project file; where its work folder takes no
// new file, or something other than a folder stands at its name, the message names that
// folder, which is what failed, not the project file.
TEST_F(ProjectCommandsTest, AProjectFileWriteWhoseWorkFolderTakesNoFileNamesTheWorkFolder)
{
    const std::string folder = root.File("p"), work = folder + "/.vexara", elsewhere = root.File("elsewhere");
    MakeProjectOfSets(folder, "p");
    ASSERT_TRUE(app.OpenProject(folder + "/p.tpj"));
    const std::string before = ReadBytes(folder + "/p.tpj");
    ASSERT_TRUE(std::filesystem::create_directory(elsewhere));
    // Something other than a folder at its name is said to be what it is, and no file of the
    // save lands where a link leads.
    const struct {
        const char* what;
        std::function<void()> make;
        std::vector<vx::TFileFault> faults;
        std::string why;
    } rows[] = {
        {"a work folder that takes no file", [] {}, {{vx::kFileCreate, EACCES, 1, true}},
         "could not be written: the folder or file is write-protected"},
        {"a link at its name", [&] { std::filesystem::create_directory_symlink(elsewhere, work); }, {},
         "is a symbolic link, not a folder. Remove it to save the project"},
        {"a file at its name", [&] { WriteBytes(work, "a file"); }, {},
         "is a file, not a folder. Remove it to save the project"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        report.Clear();
        row.make();
        {
            TFileFaultScope closed(row.faults);
            TDialogScript script([](QDialog& d) {
                return ShowAndAct<CAddImagesDlg>(d, [](CAddImagesDlg& dialog) { dialog.accept(); });
            });
            frame->Action(cmd::ProjectAddImages)->trigger();
        }
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Can't write project file. The work folder " + work +
                                                              " " + row.why + "."});
        EXPECT_EQ(ReadBytes(folder + "/p.tpj"), before);
        std::filesystem::remove_all(work);
    }
    EXPECT_TRUE(vx::test::ListedEntries(elsewhere).empty());
}

TEST_F(ProjectCommandsTest, SaveAsMovesTheProjectAndDeidentifiedSavesItAnonymous)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    EXPECT_GT(ImageFrameCount(), 0u);
    frame->Action(cmd::ProjectCloseImages)->trigger();
    EXPECT_EQ(ImageFrameCount(), 0u);

    report.AllowDefaults();
    RunWithName(cmd::FileSaveProjectAs, "copy");
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_EQ(g_pProject->GetFolder(), root.Path() + "/copy");
    EXPECT_TRUE(vx::FileExists(ProjectPath("copy")));
    EXPECT_EQ(app.RecentFiles().value(0).toStdString(), ProjectPath("copy"));

    TCSISet* set = *g_pProject->m_pCSISetList->begin();
    set->m_strPatientName = "Jane Doe";
    frame->Action(cmd::FileSaveProjectDeidentified)->trigger();
    EXPECT_EQ(set->m_strPatientName, "Anonymized");
    ASSERT_TRUE(app.OpenProject(ProjectPath("copy")));
    EXPECT_EQ((*g_pProject->m_pCSISetList->begin())->m_strPatientName, "Anonymized");
}

// The windowing toolbar follows the project: the opened fixture's image window in front shows
// its window, and the map switched on in it from its menu its range; after File > New Project
// (no image window; its name typed and Return pressed) every box is blank and every control
// disabled, and opening the fixture again shows its window once more.
TEST_F(ProjectCommandsTest, TheWindowingBarFollowsTheProject)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    CWindowingToolBar* bar = frame->WindowingBar();
    // Brightness, contrast, map minimum and maximum ("-" after a disabled box; the sliders go
    // with their boxes). The fixture's images hold 0 .. 1000 with the window 0 .. 1000.
    const auto shown = [&] {
        return Shown({bar->BrightnessEdit(), bar->ContrastEdit(), bar->MapMinEdit(), bar->MapMaxEdit()});
    };
    EXPECT_EQ(shown(), "500 1000 - -");
    EXPECT_TRUE(bar->BrightnessSlider()->isEnabled());

    AddRisingMap(*g_pProject->m_pWorkSet, "NAA_map");
    CChildFrame* front = frame->ActiveImageFrame();
    ASSERT_NE(front, nullptr);
    ASSERT_TRUE(ChooseFromMenu(*frame, front->View()->viewport(), Qt::RightButton, QPoint(20, 20), "NAA_map").found);
    EXPECT_EQ(shown(), "500 1000 1 8");

    // The name typed over the one offered, and Return.
    report.AllowDefaults();
    {
        TDialogScript script([&](QDialog& d) {
            return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
                QTest::keyClicks(dialog.NameEdit(), "spec1");
                QTest::keyClick(dialog.NameEdit(), Qt::Key_Return);
            });
        });
        frame->Action(cmd::FileNewProject)->trigger();
        EXPECT_EQ(script.runs, 1);
    }
    ASSERT_EQ(g_pProject->GetProjectFilePath(), ProjectPath("spec1"));
    EXPECT_EQ(shown(), "- - - -");
    EXPECT_FALSE(bar->BrightnessSlider()->isEnabled());

    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    EXPECT_EQ(shown(), "500 1000 - -");
}

// File > Save Project and Save Project As with one call of their change failing (a rename,
// a removal, a folder's sync to the disk; one call, or every one from it on): each message
// names the call that failed, a save that did not happen is never worded as done, and Save
// As either completes its journal (the project file is in the new folder) or says it did not.
TEST_F(ProjectCommandsTest, ASaveWhoseChangeFailsPartWayNamesTheCallAndIsNeverWordedAsDone)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    const std::string pristine = root.File("pristine"), folder = fixture.ProjectFolder();
    std::filesystem::copy(folder, pristine, std::filesystem::copy_options::recursive);
    // The journal is written under a temporary name and renamed: a rename failing there
    // leaves it unwritten.
    const struct {
        unsigned call;
        const char* named;
        const char* orNamed;
    } calls[] = {{vx::kFileRename, " could not be replaced", "/journal could not be written"},
                 {vx::kFileRemove, " could not be removed", nullptr},
                 {vx::kFileSyncFolder, " could not be synced to the disk", nullptr}};
    int notSaved = 0, savedButSaid = 0;
    for (const bool saveAs : {false, true})
        for (const auto& c : calls)
            for (const bool onward : {false, true})
                for (int at = 1;; ++at) {
                    SCOPED_TRACE((saveAs ? "Save As, " : "Save, ") + std::string(c.named) + (onward ? " onward" : "") +
                                 " at call " + std::to_string(at));
                    RestoreFolder(pristine, folder);
                    std::filesystem::remove_all(root.File("copy"));
                    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
                    g_pProject->SetModified(true);
                    report.Clear();
                    report.AllowDefaults();
                    bool struck = false;
                    {
                        TFileFaultScope fault({{c.call, EIO, at, onward}});
                        if (saveAs)
                            RunWithName(cmd::FileSaveProjectAs, "copy");
                        else
                            frame->Action(cmd::FileSaveProject)->trigger();
                        struck = vx::FileFaultStruck();
                    }
                    if (!struck)
                        break;
                    const std::vector<std::string> messages = report.Messages();
                    const bool saved =
                        saveAs ? g_pProject->GetFolder() == root.File("copy") : !g_pProject->IsModified();
                    if (saveAs && saved) {
                        EXPECT_TRUE(vx::FileExists(ProjectPath("copy")));
                    }
                    if (messages.empty()) {
                        EXPECT_TRUE(saved);
                        continue;
                    }
                    ASSERT_EQ(messages.size(), 1u);
                    const std::string& text = messages[0];
                    EXPECT_TRUE(text.find(c.named) != std::string::npos ||
                                (c.orNamed && text.find(c.orNamed) != std::string::npos))
                        << text;
                    const std::string failure =
                        saveAs ? "Failed to save project to " : "The project could not be saved";
                    if (saved) {
                        EXPECT_EQ(text.find(failure), std::string::npos) << text;
                        EXPECT_NE(text.find(", but "), std::string::npos) << text;
                        ++savedButSaid;
                    } else {
                        EXPECT_EQ(text.rfind(failure, 0), 0u) << text;
                        ++notSaved;
                    }
                }
    EXPECT_GT(notSaved, 0);
    EXPECT_GT(savedButSaid, 0);
}

// File > Save Project As of a project whose files fail to be read part way: through the
// file-fault seam, each read of the save in turn, and on a FUSE pass-through that fails the
// reads of the data-set file b past its header, as a failing disk does. The message names the
// file and why in the words of the open and says that nothing was saved; the project stays in
// its folder and no copy is left.
TEST_F(ProjectCommandsTest, ASaveAsWhoseReadOfAFileFailsNamesItAndSavesNothing)
{
    const std::string disk = root.File("disk"), mount = root.File("mount"), copy = root.File("copy");
    MakeProjectOfEachFile(disk + "/p", "p");
    MakeProjectOfSets(copy + "-other", "other");
    ASSERT_TRUE(vx::MakeFolder(mount));
    // What Save As of the project opened from `folder` said with `faults` armed, and whether
    // the project stayed there with no copy made; *struck names the file whose read failed.
    const auto saveAs = [&](const std::string& folder, const std::vector<vx::TFileFault>& faults, std::string* struck) {
        EXPECT_TRUE(app.OpenProject(folder + "/p.tpj"));
        report.Clear();
        report.AllowDefaults();
        {
            TFileFaultScope fault(faults);
            RunWithName(cmd::FileSaveProjectAs, "copy");
            if (struck)
                *struck = vx::FileFaultStruckRead();
        }
        const bool stayed = g_pProject->GetFolder() == folder && !std::filesystem::exists(copy);
        std::filesystem::remove_all(copy);
        return std::pair{report.Messages(), stayed};
    };
    const auto failed = [&](const std::string& file) {
        return std::pair{std::vector<std::string>{"Failed to save project to " + copy + ". The file " + file +
                                                  " cannot be read to its end: input/output error. Nothing was saved."},
                         true};
    };
    std::vector<std::string> struckFiles;
    for (int at = 1;; ++at) {
        SCOPED_TRACE("read " + std::to_string(at) + " failing");
        std::string struck;
        const auto said = saveAs(disk + "/p", {{vx::kFileRead, EIO, at}}, &struck);
        if (struck.empty())
            break;
        EXPECT_EQ(said, failed(struck));
        struckFiles.push_back(struck);
    }
    // The files that are copied, not written from memory: the image's and the set b's.
    EXPECT_EQ(struckFiles, (std::vector<std::string>{disk + "/p/img", disk + "/p/b"}));

    // b holds a header of 256 bytes, which the open reads, and 768 bytes of samples.
    {
        const TFuseMount failing = FailingReadMount(disk, mount, "/p/b", 512);
        if (!failing.Skip().empty())
            GTEST_SKIP() << failing.Skip();
        ASSERT_EQ(failing.Failure(), "");
        EXPECT_EQ(saveAs(mount + "/p", {}, nullptr), failed(mount + "/p/b"));
        // Another project in its place lets the mount go.
        EXPECT_TRUE(app.OpenProject(copy + "-other/other.tpj"));
    }
}

// File > Save Project De-identified on a project that keeps an image record aside (it names
// the pixel file of another image): the patient's name is in no file of the folder.
TEST_F(ProjectCommandsTest, ADeidentifiedSaveLeavesThePatientNameInNoFile)
{
    TGuiFixture fixture(2);
    ASSERT_TRUE(fixture.Ok());
    const std::string patient = "Doe^Jane Quincy";
    {
        TProject project;
        g_pProject = &project;  // readers take the file version through the global pointer
        ASSERT_TRUE(project.Load(fixture.ProjectPath()));
        for (TMRImage* image : *project.m_pImageSet) {
            image->SetInfoText(patient, TMRImage::InfoPatientName, true);
            image->SetName(TGuiFixture::ImageName(0), true);
        }
        (*project.m_pCSISetList->begin())->m_strPatientName = patient;
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    ASSERT_EQ(g_pProject->m_pImageSet->KeptRecords().size(), 1u);
    frame->Action(cmd::FileSaveProjectDeidentified)->trigger();
    for (const auto& [file, bytes] : ReadFolderTree(fixture.ProjectFolder(), true))
        EXPECT_EQ(bytes.find(patient), std::string::npos) << file;
}

TEST_F(ProjectCommandsTest, CommandsWithDialogsOfOtherPartsWaitForThem)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    frame->UpdateCommandStates();
    for (int command : {cmd::ProjectAddExam, cmd::ProjectViewSlice, cmd::FileBatchProcessing})
        EXPECT_FALSE(frame->Action(command)->isEnabled()) << command;

    // The exam's CSI file reads as a new 4 x 4 set "new".
    InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* { return new TNewSetReader(p); });
    const std::string spectra = root.File("scan.SPAR");
    WriteBytes(spectra, "x");
    int batchRuns = 0;
    auto oldExam = vx::app::SetAddExamDialog([&](CMainFrame*, std::vector<std::string>& entries, int& type) {
        entries = {spectra};
        type = 0;
        return true;
    });
    auto oldSlice = vx::app::SetViewSliceDialog([](CMainFrame*, int& axis, float& position) {
        axis = 2;
        position = 0.0f;
        return true;
    });
    auto oldBatch = vx::app::SetBatchDialog([&](CMainFrame*) { ++batchRuns; });
    frame->UpdateCommandStates();
    for (int command : {cmd::ProjectAddExam, cmd::ProjectViewSlice, cmd::FileBatchProcessing})
        EXPECT_TRUE(frame->Action(command)->isEnabled()) << command;

    frame->Action(cmd::FileBatchProcessing)->trigger();
    EXPECT_EQ(batchRuns, 1);
    frame->Action(cmd::ProjectCloseImages)->trigger();
    frame->Action(cmd::ProjectViewSlice)->trigger();
    EXPECT_EQ(ImageFrameCount(), 1u);

    // Add Exam starts the project again under its name and folder with the exam's set
    // alone; a changed project is offered for saving first.
    g_pProject->SetModified(true);
    report.PlanAnswer(vx::ReportAnswer::No);
    frame->Action(cmd::ProjectAddExam)->trigger();
    EXPECT_EQ(report.Questions(),
              std::vector<std::string>({"There were changes made to the project, would you like to save it?"}));
    ASSERT_NE(g_pProject, nullptr);
    EXPECT_EQ(g_pProject->GetName(), TGuiFixture::kProjectName);
    EXPECT_EQ(g_pProject->GetFolder(), fixture.ProjectFolder());
    ASSERT_EQ(g_pProject->m_pCSISetList->GetCount(), 1);
    EXPECT_EQ((*g_pProject->m_pCSISetList->begin())->GetName(), "new");
    EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 0);
    EXPECT_TRUE(frame->IsProjectOpen());
    // The exam replaced the project in its folder: the files of the old one went with it.
    EXPECT_EQ(FolderTreeNames(fixture.ProjectFolder()),
              (std::vector<std::string>{TGuiFixture::kProjectName + std::string(".tpj"), "new"}));
    EXPECT_FALSE(g_pProject->IsModified());

    vx::app::SetAddExamDialog(std::move(oldExam));
    vx::app::SetViewSliceDialog(std::move(oldSlice));
    vx::app::SetBatchDialog(std::move(oldBatch));
}

// The information window follows the project that replaces the open one: after New Project
// its pages say "Unavailable", after Open Project they show the opened project's work set and
// image, and after Add Exam the exam's set and no image.
TEST_F(ProjectCommandsTest, TheInformationWindowFollowsTheProjectThatReplacesTheOpenOne)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    QApplication::processEvents();
    frame->UpdateCommandStates();
    frame->Action(cmd::ProjectInformation)->trigger();
    auto* info = dynamic_cast<CModelessInfoFrame*>(frame->InfoFrame());
    ASSERT_NE(info, nullptr);
    const CInfoSheet& sheet = *info->Sheet();
    const auto values = [](const CInfoPage& page) {
        std::vector<std::string> texts;
        for (int k = 0; k < page.FieldCount(); ++k)
            texts.push_back(page.Value(k).toStdString());
        return texts;
    };
    const auto unavailable = [&](const CInfoPage& page) {
        return values(page) == std::vector<std::string>(size_t(page.FieldCount()), "Unavailable");
    };
    const std::vector<std::string> fixtureSet = values(*sheet.CsiPage());
    ASSERT_EQ(fixtureSet.front(), TGuiFixture::kSetName);
    const std::vector<std::string> fixtureImage = values(*sheet.ImagePage());

    RunWithName(cmd::FileNewProject, "other");
    ASSERT_EQ(g_pProject->GetName(), "other");
    EXPECT_TRUE(unavailable(*sheet.CsiPage())) << testing::PrintToString(values(*sheet.CsiPage()));
    EXPECT_TRUE(unavailable(*sheet.ImagePage())) << testing::PrintToString(values(*sheet.ImagePage()));

    {
        TScriptedFileChooser chooser(fixture.ProjectPath());
        frame->Action(cmd::FileOpenProject)->trigger();
    }
    QApplication::processEvents();
    ASSERT_EQ(g_pProject->GetName(), TGuiFixture::kProjectName);
    EXPECT_EQ(values(*sheet.CsiPage()), fixtureSet);
    EXPECT_EQ(values(*sheet.ImagePage()), fixtureImage);

    // The exam's CSI file reads as a new 4 x 4 set "new"; the exam has no image.
    InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* { return new TNewSetReader(p); });
    WriteBytes(root.File("scan.SPAR"), "x");
    auto oldExam = vx::app::SetAddExamDialog([&](CMainFrame*, std::vector<std::string>& entries, int& type) {
        entries = {root.File("scan.SPAR")};
        type = 0;
        return true;
    });
    frame->UpdateCommandStates();
    frame->Action(cmd::ProjectAddExam)->trigger();
    vx::app::SetAddExamDialog(std::move(oldExam));
    ClearReaderHooks();
    ASSERT_EQ(g_pProject->m_pImageSet->GetCount(), 0);
    EXPECT_EQ(values(*sheet.CsiPage()).front(), "new");
    EXPECT_TRUE(unavailable(*sheet.ImagePage())) << testing::PrintToString(values(*sheet.ImagePage()));
    EXPECT_TRUE(report.Messages().empty());
}

// Add Exam of a large CSI set reads its samples once: the trial before the first question
// (here the save question of a changed project) reads the set's headers and the size of its
// samples, and the add after it reads the samples.
TEST_F(ProjectCommandsTest, AddExamTriesALargeSetWithoutReadingItsSamples)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    RegisterReaders();
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    // A Philips 2-D set of 32 x 32 voxels of 1024 points: 8 MiB of samples.
    constexpr int64_t kSampleBytes = int64_t(32) * 32 * 1024 * 8;
    TTempFolder exam;
    WriteBytes(exam.File("scan.SPAR"), "samples : 1024\nsynthesizer_frequency : 127700000\nsample_frequency : 2000\n"
                                       "phase_encoding_direction : trans\nphase_encoding_fov : 240\n"
                                       "slice_thickness : 20\nspec_num_dimensions : 3\ndim2_pnts : 32\n"
                                       "dim3_pnts : 32\ndim4_pnts : 1\n");
    WriteBytes(exam.File("scan.SDAT"), std::string(size_t(kSampleBytes), '\0'));
    auto oldExam = vx::app::SetAddExamDialog([&](CMainFrame*, std::vector<std::string>& entries, int& type) {
        entries = {exam.File("scan.SPAR")};
        type = 0;
        return true;
    });
    // The bytes this process has read from files so far.
    const auto bytesRead = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        int64_t value = -1;
        while (io >> key >> value && key != "rchar:") {
        }
        return key == "rchar:" ? value : int64_t(-1);
    };
    g_pProject->SetModified(true);
    std::vector<std::string> questions;
    int64_t atFirstQuestion = -1;
    const vx::ReportHandler kept = vx::SetReportHandler([&](const vx::TReportRequest& request) {
        if (request.buttons == vx::ReportButtons::Ok)
            return vx::ReportAnswer::Ok;
        if (questions.empty())
            atFirstQuestion = bytesRead();
        questions.push_back(request.text);
        return vx::ReportAnswer::No;  // neither the changes nor a PAR file
    });
    frame->UpdateCommandStates();
    const int64_t before = bytesRead();
    frame->Action(cmd::ProjectAddExam)->trigger();
    const int64_t after = bytesRead();
    vx::SetReportHandler(kept);
    vx::app::SetAddExamDialog(std::move(oldExam));
    ClearReaderHooks();

    ASSERT_FALSE(questions.empty());
    EXPECT_EQ(questions.front(), "There were changes made to the project, would you like to save it?");
    EXPECT_LT(atFirstQuestion - before, kSampleBytes / 8) << "the trial read the samples";
    EXPECT_GE(after - atFirstQuestion, kSampleBytes) << "the add read the samples";
    ASSERT_NE(g_pProject, nullptr);
    ASSERT_NE(g_pProject->m_pWorkSet, nullptr);
    EXPECT_EQ(g_pProject->m_pWorkSet->GetName(), "scan");
    EXPECT_TRUE(g_pProject->m_pWorkSet->IsLoaded());
}

// Project > Add Exam... answered with Return: with nothing picked the dialog refuses OK, and
// an exam of one file, or of folders of files, that cannot be read adds nothing: one message
// names each file tried with its reason and each file the exam type does not read. The project
// stays open as it was and every file of its folder keeps its bytes; after unsaved work it is
// neither offered for saving nor closed, and the work stays in memory.
TEST_F(ProjectCommandsTest, AddExamThatBringsNothingLeavesTheProjectAsItWas)
{
    vx::app::InstallBatchDialogs();  // as main() does: the real Add Exam dialog and readers
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    RegisterReaders();
    InstallProcessing();
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    TTempFolder exam;
    WriteBytes(exam.File("broken.SPAR"), "not a spectro header");
    // A GE exam folder whose two image files are no DICOM files.
    std::filesystem::create_directories(exam.File("ge"));
    WriteBytes(exam.File("ge/e1.MR"), "not DICOM");
    WriteBytes(exam.File("ge/e2.MR"), "not DICOM either");
    // A Philips exam folder whose PAR and SPAR files cannot be read, beside files of other kinds.
    std::filesystem::create_directories(exam.File("philips"));
    for (const char* name : {"scan.PAR", "scan.SPAR", "P00000.7", "SVS_30.IMA", "notes.txt"})
        WriteBytes(exam.File(std::string("philips/") + name), "not what its name says");
    const std::string nothing = "No image or CSI set of the exam could be added: the project is unchanged.\n"
                                "The following files could not be opened or were already added:\n";
    const std::string notDicom =
        " (The file cannot be read as DICOM: it has no DICOM file header, and it does not read as DICOM data either.)";
    const std::string notRead = "\nThese files were not looked at: P00000.7; SVS_30.IMA; notes.txt. This exam type "
                                "takes only images from PAR files and CSI sets from SPAR files;";
    struct TCase {
        const char* name;
        int type;                         // the exam type chosen
        std::vector<std::string> picked;  // the folder list's items added to the exam
        std::vector<std::string> parts;   // in order in the one message
        bool unsaved = false;             // a macro step applied first
    };
    const TCase cases[] = {
        {"nothing picked", 0, {}, {"Please add the files or folders of the exam first."}},
        {"a file that cannot be read", 0, {"broken.SPAR"}, {nothing + "broken.SPAR"}},
        {"a folder of files that cannot be read", 3, {"[ge]"}, {nothing + "e1.MR" + notDicom + "; e2.MR" + notDicom}},
        {"unsaved work, a folder of files that cannot be read or are not read",
         0,
         {"[philips]"},
         {nothing + "scan.PAR (The PAR file " + exam.File("philips/scan.PAR") + " names no version: ",
          "); scan.SPAR (Parameter file ", "); " + notRead},
         true},
    };
    WriteBytes(root.File("lorentz.mcr"), "#Vexara Macro File#\r\n\r\n<action>\r\n#Lorentzian filtering\r\ntype = 7\r\n"
                                         "FilterLineWidth = 2.5\r\n</action>\r\n");
    const auto voxelSamples = [] {
        const TComplex* data = g_pProject->m_pWorkSet->GetVoxel(size_t(0))->Data();
        return std::vector<TComplex>(data, data + TGuiFixture::kPoints);
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.unsaved) {
            const std::vector<TComplex> read = voxelSamples();
            TScriptedFileChooser chooser(root.File("lorentz.mcr"));
            QApplication::processEvents();
            ASSERT_TRUE(frame->Action(cmd::MacroLoad)->isEnabled());
            frame->Action(cmd::MacroLoad)->trigger();
            ASSERT_NE(voxelSamples(), read);
            ASSERT_TRUE(g_pProject->IsModified()) << "the macro's processing is unsaved work";
            report.PlanAnswer(vx::ReportAnswer::No);  // if the save question came
        }
        const TFolderBytes before = ReadFolderTree(fixture.ProjectFolder());
        TProject* const open = g_pProject;
        const std::vector<TComplex> samples = voxelSamples();
        const size_t windows = ImageFrameCount();
        report.Clear();
        vx::SetCurrentFolder(exam.Path());
        bool openAfterReturn = false;
        TDialogScript script([&](QDialog& d) {
            return ShowAndAct<CAddExamDlg>(d, [&](CAddExamDlg& dialog) {
                QApplication::setActiveWindow(&dialog);
                dialog.ExamTypeBox()->setCurrentIndex(c.type);
                for (const std::string& item : c.picked)
                    for (QListWidgetItem* found : dialog.FolderList()->findItems(QString::fromStdString(item),
                                                                                  Qt::MatchExactly))
                        found->setSelected(true);
                for (QPushButton* button : dialog.findChildren<QPushButton*>())
                    if (button->text() == "Add -->" && !c.picked.empty())
                        QTest::mouseClick(button, Qt::LeftButton);
                ASSERT_EQ(dialog.AddedList()->count(), int(c.picked.size()));
                // Return where the focus is then (not on Add, which takes its own Return).
                dialog.AddedList()->setFocus();
                QTest::keyClick(dialog.AddedList(), Qt::Key_Return);
                openAfterReturn = dialog.isVisible();
                if (openAfterReturn)
                    dialog.reject();
            });
        });
        frame->Action(cmd::ProjectAddExam)->trigger();
        EXPECT_EQ(script.runs, 1);
        EXPECT_EQ(openAfterReturn, c.picked.empty());
        EXPECT_EQ(ReadFolderTree(fixture.ProjectFolder()), before);
        EXPECT_EQ(report.Questions(), std::vector<std::string>{});
        ASSERT_EQ(g_pProject, open);
        EXPECT_TRUE(frame->IsProjectOpen());
        EXPECT_EQ(g_pProject->IsModified(), c.unsaved);
        EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 1);
        EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 1);
        ASSERT_NE(g_pProject->m_pWorkSet, nullptr);
        EXPECT_EQ(voxelSamples(), samples);
        EXPECT_EQ(ImageFrameCount(), windows);
        auto* explorer = dynamic_cast<CPrjExpFrame*>(frame->ProjectExplorer());
        ASSERT_NE(explorer, nullptr);
        for (const std::string& item : {std::string(TGuiFixture::kSetName), TGuiFixture::ImageName(0)})
            EXPECT_EQ(explorer->Tree()->findItems(QString::fromStdString(item), Qt::MatchExactly | Qt::MatchRecursive)
                          .size(),
                      1)
                << item;
        const std::vector<std::string> messages = report.Messages();
        ASSERT_EQ(messages.size(), 1u) << testing::PrintToString(messages);
        size_t at = 0;
        for (const std::string& part : c.parts) {
            at = messages[0].find(part, at);
            ASSERT_NE(at, std::string::npos) << part << " in " << messages[0];
        }
    }
    vx::app::SetAddExamDialog({});
    vx::app::SetBatchDialog({});
    ClearReaderHooks();
}

// New Project into the open project's own folder, and Save Project As over another saved
// project, answered with Return at the overwrite question: the saved projects stay as they
// were and the open one stays open.
TEST_F(ProjectCommandsTest, AReturnAtTheOverwriteQuestionKeepsTheSavedProjects)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    // Two saved projects of a set and an image in the location; "study" is the open one.
    RunWithName(cmd::FileSaveProjectAs, "other");
    RunWithName(cmd::FileSaveProjectAs, "study");
    ASSERT_EQ(g_pProject->GetProjectFilePath(), ProjectPath("study"));
    const TFolderBytes before = ReadFolderTree(root.Path());
    ASSERT_TRUE(before.count("other/other.tpj") && before.count("study/study.tpj"));
    report.AllowDefaults();  // the default answer is what Return gives
    for (const auto& [command, name] : {std::pair{cmd::FileNewProject, "study"}, {cmd::FileSaveProjectAs, "other"}}) {
        SCOPED_TRACE(name);
        report.Clear();
        RunWithName(command, name);
        EXPECT_EQ(report.Questions(), std::vector<std::string>{"Project already exists, do you want to overwrite it?"});
        ASSERT_NE(g_pProject, nullptr);
        EXPECT_EQ(g_pProject->GetProjectFilePath(), ProjectPath("study"));
        EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 1);
        EXPECT_EQ(ReadFolderTree(root.Path()), before);
    }
}

TEST_F(ProjectCommandsTest, AListChangeSavedWithTheProjectFileStillAsksForTheWorkSetsChanges)
{
    InstallProcessing();
    // Add CSI Set reads a new 4 x 4 set "new" from any file.
    InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* { return new TNewSetReader(p); });
    // Projects with the sets "a", the work set, and "b".
    const auto makeProject = [&](const std::string& name) {
        const std::string folder = root.File(name);
        TProject project;
        ASSERT_TRUE(project.Create(folder, name));
        TCSISet* a = AddWrittenSet(project, folder, "a", 4, 4, 1);
        AddWrittenSet(project, folder, "b", 4, 4, 1);
        project.SetWorkSet(a);
        ASSERT_TRUE(project.Save());
    };
    makeProject("first");
    makeProject("second");
    const std::string saved = ReadBytes(root.File("first/a"));
    const char* const setQuestion = "There were changes made to the CSI set: a, would you like to save it?";
    const char* const projectQuestion = "There were changes made to the project, would you like to save it?";

    // The work set "a" phased by 45 degrees in its voxel window, then a set added.
    const auto phaseThenAdd = [&](const std::string& name) {
        ASSERT_TRUE(app.OpenProject(root.File(name + "/" + name + ".tpj")));
        ASSERT_EQ(g_pProject->m_pWorkSet->GetName(), "a");
        auto* frames = dynamic_cast<TImageFrameList*>(g_pProject->m_frameList.get());
        ASSERT_TRUE(frames && !frames->Frames().empty());
        frame->OpenVoxelWindow(g_pProject->m_pWorkSet->GetVoxel(1, 1, 0), TMouseEvent{}, frames->Frames().front());
        QApplication::processEvents();
        auto* window = dynamic_cast<CVoxelWindow*>(frame->SingleVoxelWindows().GetLast());
        ASSERT_NE(window, nullptr);
        CVoxelWndDlgView* panel = window->Panel();
        QTest::mouseClick(panel->Button(CVoxelWndDlgView::kPhase), Qt::LeftButton);
        QLineEdit* phase = panel->Edit(CVoxelWndDlgView::kPhase0);
        phase->selectAll();
        QTest::keyClicks(phase, "45");
        QTest::mouseClick(panel->Button(CVoxelWndDlgView::kApply), Qt::LeftButton);
        ASSERT_TRUE(g_pProject->IsModified());

        WriteBytes(root.File("c"), "a scan");
        TScriptedFileChooser chooser(root.File("c"));
        TDialogScript script([&](QDialog& d) {
            return ShowAndAct<CAddCSISetDlg>(d, [](CAddCSISetDlg& dialog) { dialog.accept(); });
        });
        frame->Action(cmd::ProjectAddCSISet)->trigger();
        ASSERT_NE(g_pProject->m_pCSISetList->FindByName("new"), nullptr);
        EXPECT_TRUE(report.Messages().empty());
        // The project file lists the new set; the work set's file still holds its old samples.
        EXPECT_EQ(ReadBytes(root.File(name + "/a")), saved);
    };

    // Another set chosen in the explorer: the question comes, and Yes saves the phased samples.
    phaseThenAdd("first");
    auto* explorer = dynamic_cast<CPrjExpFrame*>(frame->ProjectExplorer());
    ASSERT_NE(explorer, nullptr);
    CPrjExpTree* tree = explorer->Tree();
    tree->expandAll();
    const auto found = tree->findItems("b", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    tree->scrollToItem(found[0]);
    const QPoint at = tree->ItemLabelRect(found[0]).center();
    report.PlanAnswer(vx::ReportAnswer::Yes);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(report.Questions(), std::vector<std::string>{setQuestion});
    EXPECT_EQ(g_pProject->m_pWorkSet->GetName(), "b");
    const std::string phased = ReadBytes(root.File("first/a"));
    EXPECT_NE(phased, saved);

    // New Project after an Add asks too; the project is saved before the dialog, which is
    // cancelled.
    report.Clear();
    phaseThenAdd("second");
    report.PlanAnswer(vx::ReportAnswer::Yes);
    TDialogScript cancel([](QDialog& d) {
        return ShowAndAct<CNewProjectDlg>(d, [](CNewProjectDlg& dialog) { dialog.reject(); });
    });
    frame->Action(cmd::FileNewProject)->trigger();
    EXPECT_EQ(report.Questions(), std::vector<std::string>{projectQuestion});
    EXPECT_EQ(ReadBytes(root.File("second/a")), phased);
    EXPECT_FALSE(g_pProject->IsModified());

    ClearReaderHooks();
}

// The project's folder renamed while the project is open, after a macro step: Undo, a new
// step, Save (also with a new map) and Add CSI Set write nothing, neither at the old path
// nor in the renamed folder, and say that the folder was moved and that Save Project As
// keeps the work, which it then does, reading the other set where the folder is now. Add
// Images closed with Escape, having changed nothing, has nothing to say.
TEST_F(ProjectCommandsTest, AFolderRenamedWhileOpenIsNotWrittenAgainAndSaveAsKeepsTheWork)
{
    InstallProcessing();
    InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* { return new TNewSetReader(p); });
    const std::string folder = root.File("p"), moved = root.File("p2");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        project.SetWorkSet(AddWrittenSet(project, folder, "a", 4, 4, 1));
        AddWrittenSet(project, folder, "b", 4, 4, 1);
        ASSERT_TRUE(project.Save());
    }
    const auto samples = [](const TCSISet& set) {
        std::vector<TComplex> out;
        for (size_t v = 0; v < set.VoxelCount(); ++v)
            out.insert(out.end(), set.GetVoxel(v)->Data(), set.GetVoxel(v)->Data() + set.m_nPoints);
        return out;
    };
    ASSERT_TRUE(app.OpenProject(folder + "/p.tpj"));
    // Add Images saves the project whatever its dialog returns, while its folder is the one held.
    const std::optional<vx::TFileIdentity> opened = vx::FileIdentityOf(folder + "/p.tpj");
    {
        TDialogScript script([](QDialog& d) {
            return ShowAndAct<CAddImagesDlg>(d, [](CAddImagesDlg& a) { QTest::keyClick(&a, Qt::Key_Escape); });
        });
        frame->Action(cmd::ProjectAddImages)->trigger();
    }
    EXPECT_NE(vx::FileIdentityOf(folder + "/p.tpj"), opened);
    WriteBytes(root.File("lorentz.mcr"), "#Vexara Macro File#\r\n\r\n<action>\r\n#Lorentzian filtering\r\ntype = 7\r\n"
                                         "FilterLineWidth = 2.5\r\n</action>\r\n");
    const std::vector<TComplex> read = samples(*g_pProject->m_pWorkSet);
    TScriptedFileChooser chooser(root.File("lorentz.mcr"));
    QApplication::processEvents();
    ASSERT_TRUE(frame->Action(cmd::MacroLoad)->isEnabled());
    frame->Action(cmd::MacroLoad)->trigger();
    ASSERT_EQ(chooser.Requests().size(), 1u);
    const std::vector<TComplex> filtered = samples(*g_pProject->m_pWorkSet);
    ASSERT_NE(filtered, read);
    ASSERT_TRUE(report.Messages().empty());

    ASSERT_EQ(std::rename(folder.c_str(), moved.c_str()), 0);
    const TFolderBytes before = ReadFolderTree(moved, true);
    frame->Action(cmd::EditUndo)->trigger();
    chooser.Answer(root.File("lorentz.mcr"));
    frame->Action(cmd::MacroLoad)->trigger();
    EXPECT_EQ(samples(*g_pProject->m_pWorkSet), filtered);
    frame->Action(cmd::FileSaveProject)->trigger();
    AddValuedMap(*g_pProject->m_pWorkSet, "NAA", [](int v) { return TComplex(float(v), 0.0f); });
    frame->Action(cmd::FileSaveProject)->trigger();
    WriteBytes(root.File("c"), "a scan");
    chooser.Answer(root.File("c"));
    {
        TDialogScript script([&](QDialog& d) {
            if (dynamic_cast<CAddImagesDlg*>(&d))
                return ShowAndAct<CAddImagesDlg>(d, [](CAddImagesDlg& a) { QTest::keyClick(&a, Qt::Key_Escape); });
            return ShowAndAct<CAddCSISetDlg>(d, [](CAddCSISetDlg& dialog) { dialog.accept(); });
        });
        frame->Action(cmd::ProjectAddCSISet)->trigger();
        frame->Action(cmd::ProjectAddImages)->trigger();
    }
    EXPECT_EQ(g_pProject->m_pCSISetList->FindByName("new"), nullptr);
    const std::string message = "The folder " + folder +
                                " of the project p was moved or removed while the project was open, so nothing was "
                                "written. Save Project As keeps the work in a new folder, and so does moving the "
                                "folder back from " + moved + ".";
    const std::string macroFailed = "These steps of the macro failed and were left out: Loren filter 2.5Hz.";
    // The Add that added nothing, and Add Images closed having changed nothing, have nothing to
    // save in a folder moved away, and say nothing more.
    EXPECT_EQ(report.Messages(), std::vector<std::string>({message, message, macroFailed, message, message,
                                                           "Fail to add CSI set from c.\n" + message}));
    EXPECT_FALSE(vx::FolderExists(folder));
    EXPECT_EQ(ReadFolderTree(moved, true), before);

    report.Clear();
    report.PlanAnswer(vx::ReportAnswer::Yes);  // the map is saved too
    TDialogScript saveAs([&](QDialog& d) {
        return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
            dialog.LocationEdit()->setText(QString::fromStdString(root.Path() + "/"));
            dialog.NameEdit()->setText("kept");
            dialog.accept();
        });
    });
    frame->Action(cmd::FileSaveProjectAs)->trigger();
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_FALSE(vx::FolderExists(folder));
    ASSERT_TRUE(app.OpenProject(root.File("kept/kept.tpj")));
    TProject& kept = *g_pProject;
    ASSERT_EQ(kept.m_pCSISetList->GetCount(), 2);
    ASSERT_NE(kept.m_pWorkSet, nullptr);
    EXPECT_EQ(samples(*kept.m_pWorkSet), filtered);
    kept.SetWorkSet(kept.m_pCSISetList->FindByName("b"));
    ASSERT_NE(kept.m_pWorkSet, nullptr);
    EXPECT_TRUE(kept.m_pWorkSet->IsLoaded());
    ClearReaderHooks();
}

// After a macro step on the work set a, the project's folder is removed, copied elsewhere
// and removed (as a move to another disk does), or loses only the files of the set b and the
// images i and j while it stays. Save Project As asks, naming b and the image not in memory,
// whether to save without them: No writes nothing, Yes writes a from memory with its
// processing and its map and the image shown from memory, and the project that opens there
// holds them alone. Files the disk fails to open are named with that cause, not as missing.
TEST_F(ProjectCommandsTest, SaveAsKeepsWhatIsInMemoryWhenTheFolderOrSomeOfItsFilesAreGone)
{
    InstallProcessing();
    const struct {
        const char* name;
        std::function<void(const std::string& folder)> lose;
        std::vector<vx::TFileFault> failing = {};  // armed around the save answered No, where the row ends
        std::string state = "is missing:", why = "";
    } losses[] = {
        {"removed", [](const std::string& folder) { std::filesystem::remove_all(folder); }},
        {"copied and removed",
         [&](const std::string& folder) {
             std::filesystem::copy(folder, folder + "-elsewhere", std::filesystem::copy_options::recursive);
             std::filesystem::remove_all(folder);
         }},
        {"files removed",
         [](const std::string& folder) {
             for (const char* name : {"b", "i", "j"})
                 std::filesystem::remove(folder + "/" + name);
         }},
        {"opens failing", [](const std::string&) {}, {{vx::kFileOpenRead, EIO, 1, true}}, "cannot be read:",
         ": input/output error"},
    };
    WriteBytes(root.File("lorentz.mcr"), "#Vexara Macro File#\r\n\r\n<action>\r\n#Lorentzian filtering\r\ntype = 7\r\n"
                                         "FilterLineWidth = 2.5\r\n</action>\r\n");
    int run = 0;
    for (const auto& loss : losses) {
        SCOPED_TRACE(loss.name);
        const std::string name = "p" + std::to_string(++run), folder = root.File(name);
        {
            TProject project;
            ASSERT_TRUE(project.Create(folder, name));
            project.SetWorkSet(AddWrittenSet(project, folder, "a", 4, 4, 1));
            AddWrittenSet(project, folder, "b", 4, 4, 1);
            AddStoredImage(project, folder, "i", 8, 8, 5);
            AddStoredImage(project, folder, "j", 8, 8, 6);
            ASSERT_TRUE(project.Save());
        }
        ASSERT_TRUE(app.OpenProject(folder + "/" + name + ".tpj"));
        const std::vector<TComplex> read = AllSamples(*g_pProject->m_pWorkSet);
        TScriptedFileChooser chooser(root.File("lorentz.mcr"));
        frame->Action(cmd::MacroLoad)->trigger();
        const std::vector<TComplex> filtered = AllSamples(*g_pProject->m_pWorkSet);
        ASSERT_NE(filtered, read);
        AddValuedMap(*g_pProject->m_pWorkSet, "NAA", [](int v) { return TComplex(float(v), 0.0f); });
        // The image frames show one of the images, whose pixels are in memory then.
        TMRImage* shown = nullptr;
        TMRImage* notShown = nullptr;
        for (TMRImage* image : *g_pProject->m_pImageSet)
            (image->IsLoaded() ? shown : notShown) = image;
        ASSERT_NE(shown, nullptr);
        ASSERT_NE(notShown, nullptr);
        const std::vector<int16_t> shownPixels = shown->GetPixels();
        const std::string shownName = shown->GetName(), notShownName = notShown->GetName();
        loss.lose(folder);

        const std::string kept = root.File("kept" + std::to_string(run));
        const std::string question = "The data-set file of this CSI set " + loss.state + "\r\nb (" + folder + "/b)" +
                                     loss.why + "\r\nThe pixel file of this image " + loss.state + "\r\n" +
                                     notShownName + " (" + folder + "/" + notShownName + ")" + loss.why +
                                     "\r\nSave the project to " + kept + " without them?";
        const auto saveAs = [&] {
            TDialogScript script([&](QDialog& d) {
                return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
                    dialog.LocationEdit()->setText(QString::fromStdString(root.Path() + "/"));
                    dialog.NameEdit()->setText(QString::fromStdString("kept" + std::to_string(run)));
                    dialog.accept();
                });
            });
            frame->Action(cmd::FileSaveProjectAs)->trigger();
        };
        report.Clear();
        report.PlanAnswer(vx::ReportAnswer::No);
        {
            TFileFaultScope faults(loss.failing);
            saveAs();
        }
        EXPECT_EQ(report.Questions(), std::vector<std::string>{question});
        EXPECT_TRUE(report.Messages().empty());
        EXPECT_FALSE(std::filesystem::exists(kept));
        EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 2);
        EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 2);
        if (!loss.failing.empty())
            continue;

        report.Clear();
        report.PlanAnswer(vx::ReportAnswer::Yes);  // without b and the image not shown
        report.PlanAnswer(vx::ReportAnswer::Yes);  // the map is saved too
        saveAs();
        EXPECT_EQ(report.Questions(),
                  (std::vector<std::string>{question, "Do you want to save the maps for the CSI work set a ?"}));
        EXPECT_TRUE(report.Messages().empty());
        EXPECT_EQ(g_pProject->GetFolder(), kept);
        EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 1);
        EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 1);
        ASSERT_TRUE(app.OpenProject(kept + "/kept" + std::to_string(run) + ".tpj"));
        TProject& reread = *g_pProject;
        ASSERT_EQ(reread.m_pCSISetList->GetCount(), 1);
        ASSERT_NE(reread.m_pWorkSet, nullptr);
        EXPECT_EQ(AllSamples(*reread.m_pWorkSet), filtered);
        EXPECT_NE(reread.m_pWorkSet->FindMap("NAA"), nullptr);
        ASSERT_EQ(reread.m_pImageSet->GetCount(), 1);
        TMRImage* image = *reread.m_pImageSet->begin();
        EXPECT_EQ(image->GetName(), shownName);
        ASSERT_TRUE(image->EnsurePixels());
        EXPECT_EQ(image->GetPixels(), shownPixels);
    }
}

// Save Project As after the pixel files of 26, then 200, images went with a removed folder:
// the question names the first and counts the others, so that its real box, shown on the
// screen, fits the screen's height with its buttons; the details name every image. No keeps
// the project.
TEST_F(ProjectCommandsTest, TheQuestionAboutManyMissingFilesFitsTheScreen)
{
    for (const int count : {26, 200}) {
        SCOPED_TRACE(count);
        const std::string name = "series" + std::to_string(count), folder = root.File(name);
        {
            TProject project;
            ASSERT_TRUE(project.Create(folder, name));
            project.SetWorkSet(AddWrittenSet(project, folder, "a", 4, 4, 1));
            for (int k = 0; k < count; ++k)
                AddStoredImage(project, folder, "t1_axial_slice_" + std::to_string(k), 8, 8, int16_t(k));
            ASSERT_TRUE(project.Save());
        }
        ASSERT_TRUE(app.OpenProject(folder + "/" + name + ".tpj"));
        for (TMRImage* image : *g_pProject->m_pImageSet)
            std::filesystem::remove(image->GetPath());
        std::vector<vx::TReportRequest> asked;
        const vx::ReportHandler previous = vx::SetReportHandler([&](const vx::TReportRequest& request) {
            asked.push_back(request);
            auto box = vx::app::MakeMessageBox(request, frame);
            box->show();
            // Shown, and again with its details open.
            for (const bool details : {false, true}) {
                if (details)
                    for (QAbstractButton* button : box->buttons())
                        if (box->buttonRole(button) == QMessageBox::ActionRole)
                            button->click();
                QApplication::processEvents();
                const auto* shown = box->findChild<QTextEdit*>();
                EXPECT_EQ(shown && shown->isVisible(), details);
                const QRect screen = box->screen()->availableGeometry();
                EXPECT_LE(box->frameGeometry().height(), screen.height()) << details;
                for (QAbstractButton* button : box->buttons())
                    EXPECT_TRUE(screen.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())))
                        << button->text().toStdString();
            }
            return vx::ReportAnswer::No;
        });
        RunWithName(cmd::FileSaveProjectAs, "kept");
        vx::SetReportHandler(previous);
        ASSERT_EQ(asked.size(), 1u);
        for (TMRImage* image : *g_pProject->m_pImageSet) {
            if (!image->IsLoaded()) {
                EXPECT_NE(asked[0].details.find(image->GetName() + " (" + image->GetPath() + ")\n"),
                          std::string::npos);
            }
        }
        EXPECT_FALSE(std::filesystem::exists(root.File("kept")));
        EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), count);
    }
}

// An image comes in through Add Images while the folder is renamed: the save that follows
// writes nothing, the project stays to be saved, and Save Project As takes the image's pixel
// file from the work folder where the folder is now.
TEST_F(ProjectCommandsTest, SaveAsTakesTheFileOfANewImageFromTheFolderWhereItIsNow)
{
    const std::string folder = root.File("p"), moved = root.File("p2");
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        project.SetWorkSet(AddWrittenSet(project, folder, "a", 4, 4, 1));
        ASSERT_TRUE(project.Save());
    }
    ASSERT_TRUE(app.OpenProject(folder + "/p.tpj"));
    AddScanImage(*frame, root.File("scan.img"), 9,
                 [&] { ASSERT_EQ(std::rename(folder.c_str(), moved.c_str()), 0); });
    ASSERT_EQ(g_pProject->m_pImageSet->GetCount(), 1);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"The folder " + folder +
                                                          " of the project p was moved or removed while the project "
                                                          "was open, so nothing was written. Save Project As keeps the "
                                                          "work in a new folder, and so does moving the folder back "
                                                          "from " + moved + "."});
    EXPECT_TRUE(g_pProject->IsModified()) << "the image is offered for saving at exit";

    report.Clear();
    RunWithName(cmd::FileSaveProjectAs, "kept");
    EXPECT_TRUE(report.Questions().empty());
    EXPECT_TRUE(report.Messages().empty());
    ASSERT_TRUE(app.OpenProject(ProjectPath("kept")));
    TProject& reread = *g_pProject;
    ASSERT_EQ(reread.m_pImageSet->GetCount(), 1);
    TMRImage* image = *reread.m_pImageSet->begin();
    ASSERT_TRUE(image->EnsurePixels());
    EXPECT_EQ(image->GetPixels(), std::vector<int16_t>(64, 9));
}

// Add Exam on a project whose folder was renamed or removed while open: the exam is
// refused with the moved-folder message, the old path is not made again, the renamed folder
// keeps its bytes and the project stays open as it was.
TEST_F(ProjectCommandsTest, AddExamOnAFolderMovedOrRemovedWhileOpenMakesNothingAndKeepsTheProject)
{
    InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* { return new TNewSetReader(p); });
    const std::string spectra = root.File("scan.SPAR");
    WriteBytes(spectra, "x");
    auto oldExam = vx::app::SetAddExamDialog([&](CMainFrame*, std::vector<std::string>& entries, int& type) {
        entries = {spectra};
        type = 0;
        return true;
    });
    for (const bool removed : {false, true}) {
        SCOPED_TRACE(removed ? "removed" : "renamed");
        const std::string folder = root.File(removed ? "r" : "m"), moved = folder + "2";
        const std::string name = removed ? "r" : "m";
        {
            TProject project;
            ASSERT_TRUE(project.Create(folder, name));
            project.SetWorkSet(AddWrittenSet(project, folder, "a", 4, 4, 1));
            ASSERT_TRUE(project.Save());
        }
        ASSERT_TRUE(app.OpenProject(folder + "/" + name + ".tpj"));
        TProject* const open = g_pProject;
        if (removed)
            std::filesystem::remove_all(folder);
        else
            ASSERT_EQ(std::rename(folder.c_str(), moved.c_str()), 0);
        const TFolderBytes before = ReadFolderTree(moved, true);
        report.Clear();
        frame->Action(cmd::ProjectAddExam)->trigger();
        EXPECT_EQ(report.Messages(),
                  std::vector<std::string>{"The folder " + folder + " of the project " + name +
                                           " was moved or removed while the project was open, so nothing was "
                                           "written. Save Project As keeps the work in a new folder" +
                                           (removed ? "." : ", and so does moving the folder back from " + moved + ".")});
        EXPECT_FALSE(std::filesystem::exists(folder));
        EXPECT_EQ(ReadFolderTree(moved, true), before);
        EXPECT_EQ(g_pProject, open);
        ASSERT_EQ(g_pProject->m_pCSISetList->GetCount(), 1);
        EXPECT_EQ((*g_pProject->m_pCSISetList->begin())->GetName(), "a");
        EXPECT_TRUE(frame->IsProjectOpen());
    }
    vx::app::SetAddExamDialog(std::move(oldExam));
    ClearReaderHooks();
}

// The project's folder replaced by a copy of itself while open, after a step (whose undo
// state waits in the work folder) and an image added whose save could not follow: neither
// Save Project As nor closing the project removes or writes anything in the copy. A folder
// another user put in its place, holding files of the waiting files' names, lends none of
// them to the new project.
TEST_F(ProjectCommandsTest, AFolderReplacedByACopyWhileOpenIsNeitherWrittenNorCleaned)
{
    InstallProcessing();
    WriteFilterMacro(root.File("lorentz.mcr"));
    const std::string theirs(128, 'x');  // as many bytes as the image's pixels
    for (const int row : {0, 1, 2}) {
        const bool saveAs = row != 1, anotherUsers = row == 2;
        SCOPED_TRACE(anotherUsers ? "another user's folder" : saveAs ? "Save Project As" : "New Project");
        if (anotherUsers && ::geteuid() != 0)
            continue;  // another user's folder is put there only where root runs
        const std::string name = anotherUsers ? "o" : saveAs ? "s" : "n", folder = root.File(name);
        MakeProjectOfSets(folder, name);
        // A folder every user may write, its work folder too, in a parent every user may write.
        for (const std::string& shared : {root.Path(), folder, folder + "/.vexara"})
            ASSERT_TRUE(!anotherUsers || ::chmod(shared.c_str(), 0777) == 0 || errno == ENOENT) << shared;
        ASSERT_TRUE(app.OpenProject(folder + "/" + name + ".tpj"));
        {
            TScriptedFileChooser chooser(root.File("lorentz.mcr"));
            frame->Action(cmd::MacroLoad)->trigger();
        }
        // The other user, who may write every folder of it, removes the folder and puts a
        // folder of its own in its place, with files of the names that wait in its work folder.
        const auto putTheirs = [&] {
            return AsUser(65534, 65534, [&] {
                std::vector<std::string> waiting;
                for (const auto& entry : std::filesystem::directory_iterator(folder + "/.vexara"))
                    waiting.push_back(entry.path().filename().string());
                std::error_code error;
                std::filesystem::remove_all(folder, error);
                if (error || ::mkdir(folder.c_str(), 0777) != 0 || ::mkdir((folder + "/.vexara").c_str(), 0777) != 0)
                    return "not put";
                for (const std::string& name : waiting)
                    WriteBytes(folder + "/.vexara/" + name, theirs);
                return "put";
            });
        };
        AddScanImage(*frame, root.File("scan.img"), 9, [&] {
            if (anotherUsers)
                ASSERT_EQ(putTheirs(), "put");
            else
                CopyInPlace(folder);
        });
        ASSERT_EQ(g_pProject->m_pImageSet->GetCount(), 1);
        if (anotherUsers) {
            report.Clear();
            report.PlanAnswer(vx::ReportAnswer::Yes);  // saved without the image
            RunWithName(cmd::FileSaveProjectAs, "copied");
            ASSERT_EQ(report.Questions().size(), 1u);
            EXPECT_TRUE(report.Questions().front().starts_with("The pixel file of this image is missing:"))
                << report.Questions().front();
            for (const auto& [file, bytes] : ReadFolderTree(root.File("copied"), true))
                EXPECT_NE(bytes, theirs) << file;
            continue;
        }
        const TFolderBytes copy = ReadFolderTree(folder, true);
        ASSERT_TRUE(copy.count(".vexara/tf0.tmp"));
        ASSERT_EQ(std::count_if(copy.begin(), copy.end(), [](const auto& file) { return file.first.starts_with(".vexara/"); }),
                  2) << "the new image's file waits in the copy too";

        report.Clear();
        if (saveAs) {
            RunWithName(cmd::FileSaveProjectAs, "kept");
            EXPECT_EQ(g_pProject->GetProjectFilePath(), ProjectPath("kept"));
            EXPECT_TRUE(report.Questions().empty()) << "the copy lacks none of the project's files";
        } else {
            report.PlanAnswer(vx::ReportAnswer::No);  // the changes are not saved
            RunWithName(cmd::FileNewProject, "other");
            EXPECT_EQ(g_pProject->GetProjectFilePath(), ProjectPath("other"));
        }
        EXPECT_TRUE(report.Messages().empty()) << report.Messages().front();
        EXPECT_EQ(ReadFolderTree(folder, true), copy);
    }
}


// A project opened from a folder where no lock file can be made because the folder cannot
// be written (read-only media, or a folder this user may not write), or whose file system
// offers no locks, offers no command that would change the folder, in the menus or in the
// explorer: Save Project As keeps its work. The open says why, and so does each command not
// offered, in the status bar.
TEST_F(ProjectCommandsTest, AProjectOfAFolderThatCannotBeWrittenOffersNoChangeOfIt)
{
    struct Case {
        const char* what;
        int error;  // of every lock taken; 0: none fails
        bool withLockFile;
        std::string why;  // after "its folder"
        std::string keeps;  // where Save Project As keeps the work
        bool ordinaryUser = false;  // opens it
        int at = 1;               // the call on the lock file that fails first
        bool folderToo = false;  // the lock of the folder itself fails as well
    };
    const std::string unwritable = "cannot be written: the folder or file is write-protected";
    const std::string noLocks = "cannot be locked: no locks available", lockable = "a folder that can be locked";
    const Case cases[] = {
        {"read-only media", EROFS, false, unwritable, "a new folder"},
        {"no locks", ENOLCK, true, noLocks, lockable},
        {"a folder this user may not write", 0, true, unwritable, "a new folder", true},
        // The lock of the lock file the open made fails: the open leaves no trace.
        {"no locks, where no lock file is yet", ENOLCK, false, noLocks, lockable, false, 2},
        // Nor for the folder itself: the lock file the open tried goes again.
        {"no locks for the folder either", ENOLCK, false, noLocks, lockable, false, 2, true},
    };
    // All built before any is opened: building one starts from a program without a project.
    std::unique_ptr<TGuiFixture> fixtures[std::size(cases)];
    for (auto& fixture : fixtures)
        fixture = std::make_unique<TGuiFixture>();
    for (size_t k = 0; k < std::size(cases); ++k) {
        const Case& c = cases[k];
        const TGuiFixture& fixture = *fixtures[k];
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(fixture.Ok());
        if (!c.withLockFile) {
            ASSERT_TRUE(vx::RemoveFile(fixture.ProjectFolder() + "/" + vx::TFolderLock::FileName()));
        }
        if (c.ordinaryUser) {
            ASSERT_EQ(::chmod(vx::FolderOf(fixture.ProjectFolder()).c_str(), 0755), 0);
            ASSERT_EQ(::chmod(fixture.ProjectFolder().c_str(), 0555), 0);
        }
        report.Clear();
        const std::vector<std::string> folderBefore = FolderNames(fixture.ProjectFolder());
        const auto open = [&] {
            std::vector<vx::TFileFault> faults;
            if (c.error)
                faults.push_back({vx::kFileLock, c.error, c.at, true});
            if (c.folderToo)
                faults.push_back({vx::kFileLockFolder, c.error, 1, true});
            TFileFaultScope unlockable(faults);
            TScriptedFileChooser chooser(fixture.ProjectPath());
            frame->Action(cmd::FileOpenProject)->trigger();
            return std::string();
        };
        EXPECT_EQ(c.ordinaryUser ? AsAnOrdinaryUserHere(open) : open(), "");
        if (c.ordinaryUser)
            ::chmod(fixture.ProjectFolder().c_str(), 0755);
        EXPECT_EQ(vx::FileExists(fixture.ProjectFolder() + "/" + vx::TFolderLock::FileName()), c.withLockFile);
        if (c.folderToo) {
            EXPECT_EQ(FolderNames(fixture.ProjectFolder()), folderBefore) << "the folder was changed";
        }
        ASSERT_NE(g_pProject, nullptr);
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"The project " + g_pProject->GetName() +
                                                              " opens, but no change of it can be written: its folder " +
                                                              c.why + ". Save Project As keeps the work in " + c.keeps +
                                                              "."});
        // A map of the work set, which Map > Remove map would remove with its file.
        AddRisingMap(*g_pProject->m_pWorkSet, "NAA_map");
        QApplication::processEvents();
        const auto offered = [&](int command) { return frame->Action(command)->isEnabled(); };
        for (int command : {cmd::FileSaveProject, cmd::FileSaveProjectDeidentified, cmd::ProjectAddExam,
                            cmd::ProjectAddImages, cmd::ProjectAddCSISet, cmd::MapRemove})
            EXPECT_FALSE(offered(command)) << command;
        EXPECT_TRUE(offered(cmd::FileSaveProjectAs));
        EXPECT_TRUE(offered(cmd::MapResize));
        const std::string notOffered =
            ". Not offered: no change of the project can be written, because its folder " + c.why + ".";
        std::map<std::string, std::string> shown;
        for (const auto& [entry, prompt] : MenuBarPrompts(*frame))
            shown[entry.toStdString()] = prompt.toStdString();
        EXPECT_EQ(shown["&File > &Save Project"], "Save the project" + notOffered);
        EXPECT_EQ(shown["&File > Save Project De-identified"],
                  "Save the project without the patient's identifying data" + notOffered);
        EXPECT_EQ(shown["&Project > Add I&mages..."], "Add MR images to the project" + notOffered);
        EXPECT_EQ(shown["&Map > Remove map..."], "Remove maps from the work set" + notOffered);
        EXPECT_EQ(shown["&File > Save Project &As..."], "Save the project under a new name");

        std::vector<std::pair<std::string, bool>> entries;
        const vx::app::MenuRunner kept = vx::app::SetMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* action : menu.actions())
                if (!action->isSeparator())
                    entries.emplace_back(action->text().toStdString(), action->isEnabled());
            return nullptr;
        });
        auto* explorer = dynamic_cast<CPrjExpFrame*>(frame->ProjectExplorer());
        ASSERT_NE(explorer, nullptr);
        CPrjExpTree* tree = explorer->Tree();
        tree->expandAll();
        const auto found = tree->findItems(TGuiFixture::kSetName, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->ItemLabelRect(found[0]).center());
        vx::app::SetMenuRunner(kept);
        EXPECT_EQ(entries, (std::vector<std::pair<std::string, bool>>{{"Add Images...", false},
                                                                      {"Add CSI Set", false},
                                                                      {"View Slice...", false},  // no dialog here
                                                                      {"Set Work Set", true},
                                                                      {"Remove", false},
                                                                      {"Zero Fill", false},
                                                                      {"Set Parameters...", false},
                                                                      {"Save as...", false}}));
        const auto prompts =
            MenuPrompts(*frame, tree->viewport(), Qt::RightButton, tree->ItemLabelRect(found[0]).center());
        ASSERT_EQ(prompts.size(), entries.size());
        for (size_t e = 0; e < prompts.size(); ++e)
            EXPECT_EQ(prompts[e].second.endsWith(QString::fromStdString(notOffered)),
                      !entries[e].second && entries[e].first != "View Slice...")
                << prompts[e].first.toStdString() << ": " << prompts[e].second.toStdString();
    }
}

// New Project and Save Project As into a folder whose lock fails after its lock file was
// made (a file system without locks, or a failing one), locally and with locks as on NFS:
// each says why, and leaves no folder behind, nor a lock file. A location removed by another
// program once the dialog was accepted is made again, and every folder made goes.
TEST_F(ProjectCommandsTest, ANewProjectOrSaveAsRefusedForItsLockLeavesNoFolderBehind)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    const std::string lastDir = g_strLastDir;
    for (const std::string location : {"", "new/sub/"}) {
        for (const bool nfs : {false, true}) {
            for (const int error : {ENOLCK, EIO}) {
                SCOPED_TRACE(location + (nfs ? "on NFS, " : "") + vx::FileErrorReason(error));
                // The second lock call locks the lock file the first one made.
                std::vector<vx::TFileFault> faults{{vx::kFileLock, error, 2, true}};
                if (nfs)
                    faults.push_back(LocksAsOnNFS());
                const std::string why = "cannot be locked: " + vx::FileErrorReason(error) + ".";
                const auto run = [&](int command, const std::string& name) {
                    ASSERT_TRUE(vx::MakeFolder(lastDir + location));
                    g_strLastDir = lastDir + location;
                    TDialogScript script([&](QDialog& d) {
                        return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
                            dialog.NameEdit()->setText(QString::fromStdString(name));
                            dialog.accept();
                            if (!location.empty()) {
                                ASSERT_TRUE(vx::RemoveFile(root.File("new/sub")) && vx::RemoveFile(root.File("new")));
                            }
                        });
                    });
                    TFileFaultScope armed(faults);
                    frame->Action(command)->trigger();
                    g_strLastDir = lastDir;
                };
                ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
                report.Clear();
                run(cmd::FileSaveProjectAs, "copy");
                EXPECT_EQ(report.Messages(), std::vector<std::string>{"Failed to save project to " +
                                                                      root.File(location + "copy") + ".\r\nThat folder " + why});
                EXPECT_FALSE(vx::FileIdentityOf(root.File(location.empty() ? "copy" : "new")));
                report.Clear();
                run(cmd::FileNewProject, "study");
                EXPECT_EQ(report.Messages(), (std::vector<std::string>{"The project study cannot be created: its folder " + why,
                                                                       "Error creating a new project"}));
                EXPECT_FALSE(vx::FileIdentityOf(root.File(location.empty() ? "study" : "new")));
            }
        }
    }
}

// The folder's lock file removed while the project is open (a cleaning tool, a sync
// client), where only the lock file can be locked (NFS): Save makes it and takes it again,
// and saves the macro step; taken meanwhile by another program, Save writes nothing and says
// so, never that the folder moved; once that program has ended, Save Project As into the
// same folder keeps the work. Changed meanwhile by another program (the set b removed), Save
// writes nothing and says so, and the project opens again as that program left it.
TEST_F(ProjectCommandsTest, ALockFileRemovedWhileOpenIsTakenAgainAndNeverTakenForAMovedFolder)
{
    InstallProcessing();
    TFileFaultScope nfs({LocksAsOnNFS()});
    const std::string folder = root.File("p"), lockFile = folder + "/" + vx::TFolderLock::FileName();
    {
        TProject project;
        ASSERT_TRUE(project.Create(folder, "p"));
        project.SetWorkSet(AddWrittenSet(project, folder, "a", 4, 4, 1));
        AddWrittenSet(project, folder, "b", 4, 4, 1);
        ASSERT_TRUE(project.Save());
    }
    ASSERT_TRUE(app.OpenProject(folder + "/p.tpj"));
    // Add Images saves the project whatever its dialog returns, while its folder is the one held.
    const std::optional<vx::TFileIdentity> opened = vx::FileIdentityOf(folder + "/p.tpj");
    {
        TDialogScript script([](QDialog& d) {
            return ShowAndAct<CAddImagesDlg>(d, [](CAddImagesDlg& a) { QTest::keyClick(&a, Qt::Key_Escape); });
        });
        frame->Action(cmd::ProjectAddImages)->trigger();
    }
    EXPECT_NE(vx::FileIdentityOf(folder + "/p.tpj"), opened);
    WriteBytes(root.File("lorentz.mcr"), "#Vexara Macro File#\r\n\r\n<action>\r\n#Lorentzian filtering\r\ntype = 7\r\n"
                                         "FilterLineWidth = 2.5\r\n</action>\r\n");
    TScriptedFileChooser chooser(root.File("lorentz.mcr"));
    const auto step = [&] {
        chooser.Answer(root.File("lorentz.mcr"));
        QApplication::processEvents();
        ASSERT_TRUE(frame->Action(cmd::MacroLoad)->isEnabled());
        frame->Action(cmd::MacroLoad)->trigger();
    };
    const std::string read = ReadBytes(folder + "/a");
    step();
    // Add CSI Set's OK saves the project too, one whose file adds nothing included: the project
    // file is written again as it was, and the step stays to be saved.
    const std::string listing = ReadBytes(folder + "/p.tpj");
    const std::optional<vx::TFileIdentity> stepped = vx::FileIdentityOf(folder + "/p.tpj");
    WriteBytes(root.File("bogus.SPAR"), "not a header");
    chooser.Answer(root.File("bogus.SPAR"));
    {
        TDialogScript script([](QDialog& d) {
            return ShowAndAct<CAddCSISetDlg>(d, [](CAddCSISetDlg& dialog) { dialog.accept(); });
        });
        frame->Action(cmd::ProjectAddCSISet)->trigger();
    }
    ASSERT_EQ(g_pProject->m_pCSISetList->GetCount(), 2);
    EXPECT_NE(vx::FileIdentityOf(folder + "/p.tpj"), stepped);
    EXPECT_EQ(ReadBytes(folder + "/p.tpj"), listing);
    EXPECT_EQ(ReadBytes(folder + "/a"), read);
    EXPECT_TRUE(g_pProject->IsModified());
    report.Clear();
    ASSERT_TRUE(vx::RemoveFile(lockFile));
    frame->Action(cmd::FileSaveProject)->trigger();
    EXPECT_TRUE(report.Messages().empty());
    const std::string saved = ReadBytes(folder + "/a");
    EXPECT_TRUE(saved != read) << "the step was not saved";
    // The folder is held again: no other program takes it (the child locks the file by
    // itself, as another program would).
    const TChildRun refused = BesideAChild(
        [&](const auto& pause) {
            const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
            pause(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
            return true;
        },
        [] {});
    EXPECT_TRUE(refused.answer) << "another program took the folder";

    step();
    ASSERT_TRUE(vx::RemoveFile(lockFile));
    const TFolderBytes before = ReadFolderTree(folder);
    const TChildRun other = BesideAChild(
        [&](const auto& pause) {
            vx::TFolderLock lock;
            pause(lock.Acquire(folder) == vx::TFolderLock::TResult::Held);
            return true;
        },
        [&] { frame->Action(cmd::FileSaveProject)->trigger(); });
    ASSERT_TRUE(other.answer) << "the other program did not take the folder";
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"The lock file " + lockFile +
                                       " of the project p was removed while the project was open, and another program "
                                       "has taken the folder since, so nothing was written. Save Project As keeps the "
                                       "work in a new folder."});
    EXPECT_EQ(ReadFolderTree(folder), before);

    report.Clear();
    report.PlanAnswer(vx::ReportAnswer::Yes);  // the project is written over
    TDialogScript saveAs([&](QDialog& d) {
        return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
            dialog.LocationEdit()->setText(QString::fromStdString(root.Path() + "/"));
            dialog.NameEdit()->setText("p");
            dialog.accept();
        });
    });
    frame->Action(cmd::FileSaveProjectAs)->trigger();
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_TRUE(ReadBytes(folder + "/a") != saved) << "the second step was not saved";
    EXPECT_FALSE(g_pProject->IsModified());

    ASSERT_TRUE(vx::RemoveFile(lockFile));
    EXPECT_FALSE(RunInChild([&] {
        TProject other;
        g_pProject = &other;
        report.PlanAnswer(vx::ReportAnswer::Yes);  // b is removed
        return other.Load(folder + "/p.tpj") && other.RemoveCSISet(other.m_pCSISetList->FindByName("b"));
    }));
    ASSERT_FALSE(vx::FileExists(folder + "/b"));
    step();
    report.Clear();
    frame->Action(cmd::FileSaveProject)->trigger();
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"The lock file " + lockFile +
                                       " of the project p was removed while the project was open, and another program "
                                       "has changed the project since, so nothing was written. Save Project As keeps "
                                       "the work in a new folder."});
    report.Clear();
    ASSERT_TRUE(app.OpenProject(folder + "/p.tpj"));
    EXPECT_TRUE(report.Messages().empty()) << report.Messages().front();
    EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 1);
}

// A step, the folder's lock file removed, and a second program that opens and closes the
// project meanwhile. On one machine the folder itself stays held: the second program is
// refused, and Edit > Undo brings the samples back. Where only the lock file can be locked
// (NFS), the second program gets in and removes the undo state as a leftover: the next Save
// says what was lost and writes nothing, and the Save after it works again.
TEST_F(ProjectCommandsTest, ASecondProgramNeverTakesTheUndoStatesOfAFolderWhoseLockFileWasRemoved)
{
    InstallProcessing();
    WriteFilterMacro(root.File("lorentz.mcr"));
    TScriptedFileChooser chooser(root.File("lorentz.mcr"));
    for (const bool nfs : {false, true}) {
        SCOPED_TRACE(nfs ? "locks as on NFS" : "a local file system");
        const std::string folder = root.File(nfs ? "n" : "p"), lockFile = folder + "/" + vx::TFolderLock::FileName();
        MakeProjectOfSets(folder, "p");
        TFileFaultScope faults(nfs ? std::vector<vx::TFileFault>{LocksAsOnNFS()} : std::vector<vx::TFileFault>{});
        ASSERT_TRUE(app.OpenProject(folder + "/p.tpj"));
        const auto samples = [] {
            const TSpectrum* voxel = g_pProject->m_pWorkSet->GetVoxel(size_t(0));
            return std::vector<TComplex>(voxel->Data(), voxel->Data() + voxel->m_nPoints);
        };
        const std::vector<TComplex> before = samples();
        QApplication::processEvents();
        ASSERT_TRUE(frame->Action(cmd::MacroLoad)->isEnabled());
        frame->Action(cmd::MacroLoad)->trigger();
        ASSERT_TRUE(samples() != before) << "the step changed nothing";
        ASSERT_TRUE(vx::RemoveFile(lockFile));
        const std::string second = AsUser(::geteuid(), ::getegid(), [&] {
            report.Clear();
            std::string said;
            {
                TProject other;
                said = other.Load(folder + "/p.tpj") ? "opened" : "refused";
            }
            for (const std::string& message : report.Messages())
                said += "\n" + message;
            return said;
        });
        report.Clear();
        if (!nfs) {
            EXPECT_EQ(second, "refused\nThe project p cannot be opened: another program has a project of its folder open.");
            QApplication::processEvents();
            ASSERT_TRUE(frame->Action(cmd::EditUndo)->isEnabled());
            frame->Action(cmd::EditUndo)->trigger();
            EXPECT_TRUE(report.Messages().empty()) << report.Messages().front();
            EXPECT_TRUE(samples() == before) << "the undo did not bring the samples back";
            continue;
        }
        EXPECT_EQ(second, "opened");
        const std::string saved = ReadBytes(folder + "/a");
        frame->Action(cmd::FileSaveProject)->trigger();
        EXPECT_EQ(report.Messages(),
                  std::vector<std::string>{"The lock file " + lockFile +
                                           " of the project p was removed while the project was open, and another "
                                           "program has removed since what this program kept in " + folder +
                                           "/.vexara (the undo states of 1 step, which can no longer be undone), so "
                                           "nothing was written. Save Project As keeps the work in a new folder."});
        EXPECT_TRUE(ReadBytes(folder + "/a") == saved) << "the set was written";
        report.Clear();
        frame->Action(cmd::FileSaveProject)->trigger();
        EXPECT_TRUE(report.Messages().empty()) << report.Messages().front();
        EXPECT_TRUE(ReadBytes(folder + "/a") != saved) << "the step was not saved";
        EXPECT_FALSE(g_pProject->IsModified());
    }
}

// Three steps on the work set, Save Project As and the project closed: the work folder of
// the folder it left keeps none of their undo states, also where that folder was renamed
// while open, or moved aside with a copy of it put in its place, which stays as it was.
TEST_F(ProjectCommandsTest, SaveAsLeavesNoUndoStateInTheFolderItLeft)
{
    InstallProcessing();
    WriteFilterMacro(root.File("lorentz.mcr"));
    enum class TMove { None, Renamed, ReplacedByACopy };
    const struct {
        const char* what;
        TMove move;
    } cases[] = {{"left where it was", TMove::None},
                 {"renamed while open", TMove::Renamed},
                 {"moved aside, a copy in its place", TMove::ReplacedByACopy}};
    int k = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "p" + std::to_string(k++);
        const std::string folder = root.File(name), moved = folder + ".moved";
        MakeProjectOfSets(folder, name);
        ASSERT_TRUE(app.OpenProject(folder + "/" + name + ".tpj"));
        TScriptedFileChooser chooser(root.File("lorentz.mcr"));
        for (int step = 0; step < 3; ++step)
            frame->Action(cmd::MacroLoad)->trigger();
        const auto states = [&](const std::string& at) {
            const std::vector<std::string> names = FolderNames(at + "/.vexara");
            return std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.ends_with(".tmp"); });
        };
        ASSERT_EQ(states(folder), 3);
        if (c.move != TMove::None) {
            ASSERT_EQ(std::rename(folder.c_str(), moved.c_str()), 0);
        }
        if (c.move == TMove::ReplacedByACopy)
            RestoreFolder(moved, folder);
        const TFolderBytes copy = c.move == TMove::ReplacedByACopy ? ReadFolderTree(folder, true) : TFolderBytes{};
        RunWithName(cmd::FileSaveProjectAs, "kept" + name);
        ASSERT_EQ(g_pProject->GetProjectFilePath(), ProjectPath("kept" + name));
        RunWithName(cmd::FileNewProject, "other" + name);
        ASSERT_EQ(g_pProject->GetProjectFilePath(), ProjectPath("other" + name));
        EXPECT_TRUE(report.Messages().empty()) << report.Messages().front();
        EXPECT_EQ(states(c.move == TMove::None ? folder : moved), 0);
        if (c.move == TMove::ReplacedByACopy) {
            EXPECT_EQ(ReadFolderTree(folder, true), copy) << "the copy is not the project's folder";
        }
    }
}

// File > Open on a folder whose lock file is a FIFO: the open is refused at once with the
// reason, instead of waiting for a writer that never comes, and the FIFO stays.
TEST_F(ProjectCommandsTest, OpenOfAFolderWhoseLockFileIsAFifoIsRefusedAtOnce)
{
    const std::string path = MakeProjectFile(root.Path(), "one");
    const std::string lockFile = root.File("one/") + vx::TFolderLock::FileName();
    vx::RemoveFile(lockFile);
    ASSERT_EQ(::mkfifo(lockFile.c_str(), 0666), 0);
    TScriptedFileChooser chooser(path);
    frame->Action(cmd::FileOpenProject)->trigger();
    ASSERT_EQ(chooser.Requests().size(), 1u);
    EXPECT_EQ(g_pProject, nullptr);
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"The project one cannot be opened: its folder cannot be locked, because its lock "
                                       "file " + lockFile + " is a FIFO, not a file. Remove it to open the project."});
    struct stat st {};
    ASSERT_EQ(::stat(lockFile.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Save and then choosing a set in the explorer after the project's folder was renamed or
// removed, the work set again or another one: each says once that the folder was moved or
// removed, never that a data-set file cannot be opened, and the work set stays as it was.
TEST_F(ProjectCommandsTest, ChoosingASetOfAFolderMovedOrRemovedWhileOpenSaysSoAndKeepsTheWorkSet)
{
    const std::string folder = root.File("p"), moved = root.File("p2");
    for (const bool removed : {false, true})
        for (const char* chosen : {"a", "b"}) {
            SCOPED_TRACE(std::string(removed ? "removed, " : "renamed, ") + chosen);
            std::filesystem::remove_all(folder);
            std::filesystem::remove_all(moved);
            MakeProjectOfSets(folder, "p", {"a", "b"});
            ASSERT_TRUE(app.OpenProject(folder + "/p.tpj"));
            TCSISet* a = g_pProject->m_pCSISetList->FindByName("a");
            ASSERT_EQ(g_pProject->m_pWorkSet, a);
            if (removed)
                std::filesystem::remove_all(folder);
            else
                ASSERT_EQ(std::rename(folder.c_str(), moved.c_str()), 0);
            const std::vector<std::string> said{"The folder " + folder +
                                                " of the project p was moved or removed while the project was open, "
                                                "so nothing was written. Save Project As keeps the work in a new folder" +
                                                (removed ? "." : ", and so does moving the folder back from " + moved + ".")};
            report.Clear();
            frame->Action(cmd::FileSaveProject)->trigger();
            EXPECT_EQ(report.Messages(), said);
            report.Clear();
            auto* explorer = dynamic_cast<CPrjExpFrame*>(frame->ProjectExplorer());
            ASSERT_NE(explorer, nullptr);
            CPrjExpTree* tree = explorer->Tree();
            tree->expandAll();
            const auto found = tree->findItems(chosen, Qt::MatchExactly | Qt::MatchRecursive);
            ASSERT_EQ(found.size(), 1);
            tree->scrollToItem(found[0]);
            const QPoint at = tree->ItemLabelRect(found[0]).center();
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
            EXPECT_EQ(report.Messages(), said);
            EXPECT_EQ(g_pProject->m_pWorkSet, a);
            EXPECT_TRUE(a->IsLoaded());
        }
}

}  // namespace
