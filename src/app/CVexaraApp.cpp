#include "app/CVexaraApp.h"

#include <QAction>
#include <QCoreApplication>
#include <QSettings>
#include <QTextBrowser>
#include <QUrl>

#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/Workers.h"
#include "readers/ReaderFactory.h"

namespace {
CVexaraApp* g_pApp = nullptr;

struct TSettingKey {
    const char* section;
    const char* key;
};
constexpr TSettingKey kSettingKeys[CVexaraApp::kSettingCount] = {
    {"Display Config", "SpecBgColor"},
    {"Display Config", "PCABgColor"},
    {"Display Config", "MultiMapDisp"},
    {"Process Config", "PhaseMode"},
};
constexpr const char* kRecentSection = "Recent File List";

QString SettingPath(const char* section, const QString& key)
{
    return QString(section) + "/" + key;
}

// The settings live per user under the company "Tarnwell" and the program "Vexara".
QSettings Settings()
{
    return QSettings("Tarnwell", "Vexara");
}
}  // namespace

CVexaraApp::CVexaraApp() : m_szStartDir(vx::CurrentFolder()), m_strProgramFolder(vx::ExecutableFolder())
{
    g_pApp = this;
}

CVexaraApp::~CVexaraApp()
{
    // A project cannot outlive the main frame it calls; ExitInstance normally deleted it.
    if (g_pProject && m_pMainFrame && g_pProject->m_pMainFrame == m_pMainFrame.get()) {
        delete g_pProject;
        g_pProject = nullptr;
    }
    m_pMainFrame.reset();
    if (g_pApp == this)
        g_pApp = nullptr;
}

CVexaraApp* CVexaraApp::Instance()
{
    return g_pApp;
}

bool CVexaraApp::InitInstance(const QStringList& commandLine)
{
    QCoreApplication::setOrganizationName("Tarnwell");
    QCoreApplication::setApplicationName("Vexara");
    LoadSettings();
    vx::ResetGlobals();

    m_pMainFrame = std::make_unique<CMainFrame>();
    m_nProcessors = vx::ProcessorCount();
    vx::SetProcessorCount(m_nProcessors);
    if (!m_pMainFrame->LoadFrame())
        return false;
    m_pMainFrame->SetCommandHandler(cmd::AppAbout, [this] { OnAppAbout(); });
    m_pMainFrame->SetCommandHandler(cmd::HelpTopics, [this] { OnHelpTopics(); });
    ConnectProjectCommands();
    SetProjectMenu(false);

    // Reader plug-ins; the program's current folder stays where it is.
    std::string pluginFailure;
    m_plugins = vx::LoadPluginFolder(vx::JoinPath(m_strProgramFolder, "plugins"), pluginFailure);
    vx::PublishPluginTable(m_plugins);
    if (!pluginFailure.empty())
        vx::Report(pluginFailure, vx::ReportIcon::Exclamation);
    RegisterReaders();  // the project reads CSI sets and images through the real readers

    ReadRecentFileList();
    m_pMainFrame->show();

    const QString path = commandLine.join(' ');
    if (!path.isEmpty())
        OpenCommandLineProject(path.toStdString());
    return true;
}

bool CVexaraApp::OpenCommandLineProject(const std::string& path)
{
    return OpenProject(path);
}

int CVexaraApp::ExitInstance()
{
    SaveSettings();
    vx::PublishPluginTable({});
    vx::FreePlugins(m_plugins);
    delete g_pProject;
    g_pProject = nullptr;
    WriteRecentFileList();
    return 0;
}

int CVexaraApp::GetSetting(int index) const
{
    switch (index) {
    case 0: return m_nSpecBgColor;
    case 1: return m_nPCABgColor;
    case 2: return m_nMultiMapDisp;
    case 3: return m_nPhaseMode;
    default: return -1;
    }
}

void CVexaraApp::SetSetting(int index, int value)
{
    switch (index) {
    case 0: m_nSpecBgColor = value; break;
    case 1: m_nPCABgColor = value; break;
    case 2: m_nMultiMapDisp = value; break;
    case 3: m_nPhaseMode = value; break;
    default: break;
    }
}

void CVexaraApp::LoadSettings()
{
    QSettings settings = Settings();
    for (int k = 0; k < kSettingCount; ++k) {
        // A value that is not a number reads as the default 0.
        const QVariant value = settings.value(SettingPath(kSettingKeys[k].section, kSettingKeys[k].key), 0);
        SetSetting(k, value.toInt());
    }
}

void CVexaraApp::SaveSettings() const
{
    QSettings settings = Settings();
    for (int k = 0; k < kSettingCount; ++k)
        settings.setValue(SettingPath(kSettingKeys[k].section, kSettingKeys[k].key), GetSetting(k));
    settings.sync();
}

void CVexaraApp::SetProjectMenu(bool open)
{
    if (m_pMainFrame)
        m_pMainFrame->SetProjectOpen(open);
}

// ---- recent projects -------------------------------------------------------------------

void CVexaraApp::ReadRecentFileList()
{
    m_recentFiles.clear();
    QSettings settings = Settings();
    for (int k = 1; k <= kRecentFileCount; ++k) {
        const QString path = settings.value(SettingPath(kRecentSection, QString("File%1").arg(k))).toString();
        if (!path.isEmpty() && !m_recentFiles.contains(path))
            m_recentFiles.append(path);
    }
    UpdateRecentMenu();
}

void CVexaraApp::WriteRecentFileList() const
{
    QSettings settings = Settings();
    for (int k = 1; k <= kRecentFileCount; ++k) {
        const QString key = SettingPath(kRecentSection, QString("File%1").arg(k));
        if (k <= m_recentFiles.size())
            settings.setValue(key, m_recentFiles[k - 1]);
        else
            settings.remove(key);
    }
    settings.sync();
}

void CVexaraApp::AddToRecentFileList(const std::string& path)
{
    if (path.empty())
        return;
    // Entries are full paths; a relative one is taken from the program's current folder.
    const std::string native = vx::ToNativePath(path);
    const std::string full = native.front() == '/' ? native : vx::JoinPath(vx::CurrentFolder(), native);
    const QString entry = QString::fromStdString(full);
    m_recentFiles.removeAll(entry);
    m_recentFiles.prepend(entry);
    while (m_recentFiles.size() > kRecentFileCount)
        m_recentFiles.removeLast();
    UpdateRecentMenu();
}

void CVexaraApp::RemoveFromRecentFileList(int index)
{
    if (index < 0 || index >= m_recentFiles.size())
        return;
    m_recentFiles.removeAt(index);
    UpdateRecentMenu();
}

void CVexaraApp::UpdateRecentMenu()
{
    if (m_pMainFrame)
        m_pMainFrame->SetRecentFiles(m_recentFiles);
}

// ---- help ------------------------------------------------------------------------------

void CVexaraApp::OnAppAbout()
{
    CAboutDlg dialog(m_pMainFrame.get());
    vx::app::RunDialog(dialog);
}

std::string CVexaraApp::HelpFilePath() const
{
    // "." is what the platform gives when the executable's path cannot be read.
    const bool unknown = m_strProgramFolder.empty() || m_strProgramFolder == ".";
    const std::string folder = unknown ? m_szStartDir : m_strProgramFolder;
    return vx::JoinPath(folder, "Vexara.html");
}

QTextBrowser* CVexaraApp::HelpWindow() const
{
    return m_pHelpWindow;
}

void CVexaraApp::OnHelpTopics()
{
    const std::string path = HelpFilePath();
    if (!vx::FileExists(path)) {
        vx::Report("Cannot find the help file " + path, vx::ReportIcon::Exclamation);
        return;
    }
    // Always the program's own window, one at a time: a desktop launcher reports a page as
    // opened even when no browser is there to show it.
    if (!m_pHelpWindow) {
        auto* browser = new QTextBrowser(m_pMainFrame.get());
        browser->setWindowFlag(Qt::Window);
        browser->setAttribute(Qt::WA_DeleteOnClose);
        browser->setOpenExternalLinks(true);
        browser->resize(760, 600);
        m_pHelpWindow = browser;
    }
    m_pHelpWindow->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    if (m_pHelpWindow->toPlainText().isEmpty()) {
        m_pHelpWindow->close();
        vx::Report("Cannot open the help file " + path, vx::ReportIcon::Exclamation);
        return;
    }
    m_pHelpWindow->setWindowTitle(m_pHelpWindow->documentTitle().isEmpty() ? QString("Vexara Help")
                                                                           : m_pHelpWindow->documentTitle());
    m_pHelpWindow->show();
    m_pHelpWindow->raise();
    m_pHelpWindow->activateWindow();
}
