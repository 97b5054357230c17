#pragma once
// The main window: an MDI area for the image, voxel and analysis windows, the menus,
// six toolbars, the image correction bar, the status bar, the project explorer and
// information windows, and the four lists of voxel and analysis windows. Qt has no
// idle update of commands, so every action's enabled and checked state is set
// explicitly from the project's state (UpdateCommandStates).
#include <QHash>
#include <QMainWindow>
#include <QSet>
#include <QStringList>

#include <functional>

#include "app/TAnalysisWndList.h"
#include "app/TVoxelWndList.h"
#include "model/IMainFrame.h"
#include "model/TMouseEvent.h"

class CChildFrame;
class CExplorerFrameBase;
class CWindowingToolBar;
class CInfoFrameBase;
class QAction;
class QActionGroup;
class QDockWidget;
class QMdiArea;
class QMenu;
class QToolBar;
class TAnalysis;
class TMRImage;
class TRegionEstimate;
class TSpectrum;

class CMainFrame : public QMainWindow, public IMainFrame {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds menus, toolbars, the correction bar and the status bar; false when any
    // of them cannot be made (the program then ends).
    bool LoadFrame();

    QMdiArea* MdiArea() const { return m_mdiArea; }
    // The action of a command number; null for an unknown number.
    QAction* Action(int command) const { return m_actions.value(command, nullptr); }
    QList<QToolBar*> ToolBars() const;
    QToolBar* StandardBar() const { return m_wndStandardBar; }
    QDockWidget* CorrectionBar() const { return m_wndCorrectionBar; }

    // Project explorer and information window.
    // The explorer and the windowing bar let go of the project before it is deleted.
    void ResetProjectExplorer();
    void ShowProjectExplorer() override;
    void RemoveCSISetItem(TCSISet* pSet) override;
    CExplorerFrameBase* ProjectExplorer() const { return m_pPrjExpFrame; }
    void OnProjectInformation();
    void HideInfoFrame();
    // Every page of the information window, when it exists, from the open project's work
    // set and the active image window ("Unavailable" for what there is not).
    void RefreshInfoFrame();
    CInfoFrameBase* InfoFrame() const { return m_pInfoFrame; }
    IInfoFrame* GetInfoFrame() override;
    std::unique_ptr<IImageFrameList> CreateImageFrameList() override;

    // Project state.
    void SetProjectOpen(bool open);
    bool IsProjectOpen() const { return m_bProjectOpen; }

    // Child-window lists.
    void OpenAnalysisWindow(TAnalysis* analysis);
    void OpenVoxelWindow(TSpectrum* voxel, TMouseEvent event, CChildFrame* frame);
    void OpenAverageWindow(TSpectrum* voxel, TMouseEvent event);
    void OpenRegionEstimateWindow(TRegionEstimate* estimate);
    void CloseVoxelWindows();
    void RefreshVoxelWindows() override;
    void CloseRegionWindows();
    void RefreshRegionWindows() override;
    void CloseAllChildWindows() override;
    void CloseVoxelWindowsOfFrame(CChildFrame* frame);
    void SetSpectrumDisplay(const TSpectrumDisplayParams& display) override;
    void UpdateAnalysisWindows(int a, int b);
    void SetAnalysisWindowsUnit(int unit);
    TVoxelWndList& SingleVoxelWindows() { return m_singleVoxelWnds; }
    TVoxelWndList& AverageWindows() { return m_averageWnds; }
    TVoxelWndList& EstimateWindows() { return m_estimateWnds; }
    TAnalysisWndList& AnalysisWindows() { return m_analysisWnds; }

    // The image child frame of the active MDI child; null when another kind is active.
    CChildFrame* ActiveImageFrame() const;
    // The image window the windowing toolbar works on: the active image window, or the one
    // the active voxel window was opened from; null otherwise.
    CChildFrame* WindowingFrame() const;

    // Select voxel checked, the other modes unchecked, grid, spectra and real part checked.
    void ResetWorkMode();
    bool AutoscaleImages() const { return m_bAutoscaleImages; }

    // Sets every action's enabled and checked state from the project and the windows.
    void UpdateCommandStates();
    // The prompt of a command that changes the project folder: while the open project's
    // folder cannot be written, it also says that the command is not offered, and why.
    static QString FolderChangePrompt(const QString& prompt);
    // Undo, Redo and Clear all follow the history at once, whoever changed it.
    void HistoryChanged() override { UpdateCommandStates(); }
    // Shows the recent projects (full paths) in the File menu.
    void SetRecentFiles(const QStringList& paths);

    // Project > Options: the four settings of the application object.
    void OnProjectOptions();

    // ---- command handlers (CMainFrameCommands.cpp) ---------------------------------------
    // Connects a command to what it does. A command without a handler stays disabled, so
    // that no button or menu item is live without an effect; the other parts of the
    // program install theirs here.
    void SetCommandHandler(int command, std::function<void()> handler);
    bool HasCommandHandler(int command) const { return m_handledCommands.contains(command); }
    // A work-mode button: the project (when one is open) takes the mode's mouse handler
    // and the analysis windows its mouse mode.
    void OnWorkMode(int command);
    // The display of the spectra in the CSI grid.
    void OnShowGrid();
    void OnShowSpectra();
    void OnDisplayPart(int flag);
    void OnMapColour(int colourTable);
    void OnMapOpacity(int opacity);
    // Map > Remove map: the chosen maps leave the work set with their map files.
    void OnMapRemove();
    // Map > Resize: a map grows or shrinks on every axis to powers of 2.
    void OnMapResize();
    void OnMacroStartRecording();
    void OnMacroEndRecording();
    void OnMacroSave();
    void OnMacroLoad();
    // Undoes or redoes `count` steps, then refreshes once.
    void OnUndo(int count);
    void OnRedo(int count);
    // The Undo or Redo drop-down: the history's step names in the order they would be
    // undone or redone, at most 10; entry k undoes or redoes k + 1 steps.
    void FillHistoryMenu(QMenu* menu, bool undo);
    QMenu* HistoryMenu(bool undo) const;
    void OnClearAll();
    void OnClearRegionEstimates();
    // The user-drawn region mode: the User Draw Toolbar (made on first use) shows with the
    // rectangle chosen, and every image window shows its regions.
    void OnUserRegionMode();
    QToolBar* UserDrawBar() const { return m_pUserDrawBar; }
    // The shape the next drawn region takes: 0 rectangle, 1 ellipse, 2 polygon.
    void OnDrawShape(int shape);
    // The drawn regions become a region estimate with a window of its own, or are reported
    // as a failure.
    void OnRunSpectralEstimation();

    // ---- project commands and the explorer's operations (CMainFrameProject.cpp) ----------
    // Project > Add CSI Set..., Add Images...: the dialog, then the explorer is refreshed
    // and the project saved.
    void AddCSISet();
    void AddImages();
    // Project > Add Exam...: the project starts again empty under its name and folder and
    // takes the chosen files and folders. When none of them could be added, the project
    // stays as it was saved.
    void AddExam();
    // Loads the project file as the open project (g_pProject) and shows it; false (the
    // loader has said why) leaves no project open.
    bool OpenProjectFile(const std::string& path);
    // Project > View Slice...: a slice window of the work set at the chosen position.
    void ViewSlice();
    void ViewImage(TMRImage* pImage);
    void SetWorkSet(TCSISet* pSet);
    void ZeroFillCSISet(TCSISet* pSet, const int size[3]);
    void RemoveImage(TMRImage* pImage);
    bool RemoveCSISet(TCSISet* pSet);

    // ---- image windowing and correction (CMainFrameImages.cpp) ---------------------------
    CWindowingToolBar* WindowingBar() const { return m_wndWindowingBar; }
    // The display window (stored pixel units) of the active image window's image, or with
    // "Autoscale all the images" of every image of the project; nothing without an active
    // image window that shows an image.
    void SetBrightnessContrast(int low, int high);
    // The display range of the one map shown in the active image window.
    void SetMapDisplayRange(float min, float max);
    // The image correction bar's Apply (intensity normalisation with its line width and
    // threshold) or Smooth, as an undoable step on the active image window's image.
    void OnImageCorrection(bool smooth);

    // ---- commands of the active image window (CMainFrameImageCommands.cpp) ----------------
    // Navigation, map-scale reset, Edit > Copy and File > Print go to the active image
    // window's view; they are offered only while one is active.
    void ConnectImageWindowCommands();

    // ---- text exports and the voxel selection mask (CMainFrameExports.cpp) ----------------
    // Map > Save as Txt: the chosen maps of the work set as tables.
    void OnMapSaveAsTxt();
    // The selected voxels' spectra over the displayed points, as text or raw floats.
    void OnExportVoxels();
    // The work set's selection, or its k-space sampling, as a 0/1 grid per slice.
    void OnExportSelectionMask();
    void OnExportKSpaceMask();
    // Replaces the work set's selection by a mask file's and redraws the grid.
    void OnImportSelectionMask();

signals:
    // File > Recent Projects: entry k (0-based) was chosen.
    void RecentFileChosen(int index);
    // The user confirmed the exit and the frame has closed.
    void Closed();

protected:
    // Asks "Are you sure you want to exit?"; Yes saves a changed project when the user
    // wants it and closes every child window before the frame closes.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The recent projects are offered only while something opens them.
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    void ConnectProjectCommands();
    QAction* MakeAction(int command, const QString& text, bool checkable = false);
    bool CreateMenus();
    bool CreateToolBars();
    bool CreateCorrectionBar();
    void CreateStatusBar();
    void LayOutClient();
    QRect ClientRect() const;
    // Installs the handlers of the work-mode and main-frame commands.
    void ConnectCommands();
    void ConnectImageCommands();
    void ConnectExportCommands();
    // After Undo or Redo: analyses, maps, frames, estimates and voxel windows follow the
    // work set's data.
    void RefreshAfterHistoryMove(bool singleStep);

    CExplorerFrameBase* m_pPrjExpFrame = nullptr;
    CInfoFrameBase* m_pInfoFrame = nullptr;
    TVoxelWndList m_singleVoxelWnds;  // kind 0
    TVoxelWndList m_estimateWnds;     // kind 3
    bool m_bProjectOpen = false;
    QToolBar* m_wndNavigatorBar = nullptr;
    QToolBar* m_wndProjectBar = nullptr;
    QToolBar* m_wndMacroBar = nullptr;
    QToolBar* m_wndWorkModeBar = nullptr;
    QToolBar* m_pUserDrawBar = nullptr;  // made on first use of the user-drawn region mode
    QDockWidget* m_wndCorrectionBar = nullptr;
    CWindowingToolBar* m_wndWindowingBar = nullptr;
    TAnalysisWndList m_analysisWnds;
    TVoxelWndList m_averageWnds;      // kind 2
    bool m_bAutoscaleImages = false;
    QToolBar* m_wndStandardBar = nullptr;

    QMdiArea* m_mdiArea = nullptr;
    QHash<int, QAction*> m_actions;
    QActionGroup* m_workModes = nullptr;
    QActionGroup* m_displayParts = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QList<QAction*> m_recentActions;
    bool m_bLoaded = false;
    QSet<int> m_handledCommands;
    QHash<int, QMetaObject::Connection> m_commandConnections;
};
