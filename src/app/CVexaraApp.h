#pragma once
// The application object: starts the program (settings, main frame, processor count,
// reader plug-ins, recent projects, the project named on the command line), owns the
// settings, the processor count and the plug-in table while it runs, serves Help,
// and on exit writes the settings back, unloads the plug-ins and deletes the project.
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/PluginTable.h"

class CMainFrame;
class QTextBrowser;

class CVexaraApp : public QObject {
    Q_OBJECT
public:
    static constexpr int kSettingCount = 4;
    static constexpr int kRecentFileCount = 4;

    CVexaraApp();
    ~CVexaraApp() override;
    CVexaraApp(const CVexaraApp&) = delete;
    CVexaraApp& operator=(const CVexaraApp&) = delete;

    // The one application object, or null while none exists.
    static CVexaraApp* Instance();

    // Start-up; `commandLine` is everything after the program's name. False ends the program.
    bool InitInstance(const QStringList& commandLine);
    // Shut-down after the main window has closed; returns the exit code.
    int ExitInstance();

    // Settings 0 "SpecBgColor", 1 "PCABgColor", 2 "MultiMapDisp" (section "Display Config")
    // and 3 "PhaseMode" ("Process Config"); -1 for any other index.
    int GetSetting(int index) const;
    // Stores setting 0 to 3 (written at exit); any other index is ignored.
    void SetSetting(int index, int value);
    void LoadSettings();
    void SaveSettings() const;

    // A copy of the loaded plug-ins in load order; record k is format index 23 + k.
    std::vector<TPluginRecord> GetPlugins() const { return m_plugins; }
    std::vector<TPluginRecord> GetPluginTable() const { return m_plugins; }
    int GetProcessorCount() const { return m_nProcessors; }

    // Tells the main frame whether a project is open (File > Save Project).
    void SetProjectMenu(bool open);
    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }

    // Recent projects: full paths, newest first, at most four.
    QStringList RecentFiles() const { return m_recentFiles; }
    void AddToRecentFileList(const std::string& path);
    void RemoveFromRecentFileList(int index);

    // The project named on the command line (enclosing quotes allowed).
    bool OpenCommandLineProject(const std::string& path);

    // ---- project commands (CVexaraAppProject.cpp) ----------------------------------------
    // Each command that replaces the open project first offers to save a changed one and
    // ends when that save fails.
    void OnFileNewProject();
    void OnFileOpenProject();
    void OnFileSaveProject();
    void OnFileSaveProjectAs();
    void OnFileSaveProjectDeidentified();
    void OnOpenRecentProject(int index);
    void OnFileBatchProcessing();
    void OnProjectCloseImages();
    // Replaces the open project by the one in the file; false (open project kept when
    // the file fails the check, else opened again from its file) after the cause has been
    // reported.
    bool OpenProject(const std::string& path);

    // Help.
    void OnAppAbout();
    // The help page in a window of the program's own (one at a time).
    void OnHelpTopics();
    std::string HelpFilePath() const;
    // The program's own help window while it is open; null otherwise.
    QTextBrowser* HelpWindow() const;

    // Folder of the executable, where "plugins" and the help file lie. Tests point it
    // at a folder of their own before InitInstance.
    void SetProgramFolder(const std::string& folder) { m_strProgramFolder = folder; }
    const std::string& ProgramFolder() const { return m_strProgramFolder; }

private:
    void ConnectProjectCommands();
    // Closes the open project's windows and deletes it; no project afterwards.
    void CloseProject();
    // The explorer, work mode and menus of a project that has just become g_pProject.
    void ShowNewProject();
    void ReadRecentFileList();
    void WriteRecentFileList() const;
    void UpdateRecentMenu();

    int m_nSpecBgColor = 0;
    int m_nPCABgColor = 0;
    int m_nMultiMapDisp = 0;
    int m_nPhaseMode = 0;
    int m_nProcessors = 1;  // the system's count from InitInstance on
    std::vector<TPluginRecord> m_plugins;
    std::string m_szStartDir;  // the program's current folder at construction

    std::unique_ptr<CMainFrame> m_pMainFrame;
    QStringList m_recentFiles;
    std::string m_strProgramFolder;
    QPointer<QTextBrowser> m_pHelpWindow;
};
