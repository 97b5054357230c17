#pragma once
// ============================================================================
// TEMPORARY SEAM: the project class is not in the tree yet.
// The shell reaches the project only through these calls, each named after the
// project operation it stands for. Once src/model/TProject.h is available,
// ProjectCalls.cpp calls the project directly, SetProjectCallTable goes away and
// the tests use real project files.
// ============================================================================
#include <functional>
#include <string>

class CChildFrame;
class CMainFrame;
class TProject;
class TRegionEstimate;
class TSpectrum;

// What the main frame reads of the open project to enable and check its commands.
struct TProjectUiState {
    std::string name;          // the project's name (explorer title)
    bool hasWorkSet = false;
    bool workSetHasMaps = false;
    bool recording = false;    // macro recording
    bool canUndo = false;      // the history holds an undoable step
    bool canRedo = false;      // the undone list is not empty
    bool hasDrawnRegions = false;
    int mapColormap = 1;       // 0 Gray, 1 Hot, 2 Cool, 3 Jet
    int mapOpacity = 1;        // 0 high, 1 medium, 2 low
};

namespace ProjectCalls {

bool CheckProjectFile(const std::string& path);         // TProject::CheckProjectFile
TProject* NewProject(CMainFrame* frame);                // new TProject(frame)
bool Load(TProject* project, const std::string& path);  // TProject::Load
void SetModified(TProject* project, bool modified);     // TProject::SetModified
void SaveIfModified(TProject* project);                 // TProject::SaveIfModified
void Delete(TProject* project);                         // delete project
TProjectUiState UiState(const TProject* project);

// Select voxel (CMainFrame::OpenVoxelWindow).
void RedrawVoxel(TProject* project, TSpectrum* voxel);  // TProject::RedrawVoxel(x, y, z)
// m_frameList.SyncSlicesToVoxel(orientation of frame, centre of voxel)
void SyncSlicesToVoxel(TProject* project, CChildFrame* frame, TSpectrum* voxel);
void UpdateFramesRebuild(TProject* project);            // TProject::UpdateFrames(.., rebuild)
// The estimated spectrum shown by a region-estimate window.
TSpectrum* EstimateSpectrum(TRegionEstimate* estimate);

// Stand-ins installed by tests while the project class is missing. An empty entry
// keeps the built-in behaviour (no project file is valid; nothing to redraw).
struct TCallTable {
    std::function<bool(const std::string&)> checkProjectFile;
    std::function<TProject*(CMainFrame*)> newProject;
    std::function<bool(TProject*, const std::string&)> load;
    std::function<void(TProject*, bool)> setModified;
    std::function<void(TProject*)> saveIfModified;
    std::function<void(TProject*)> destroy;
    std::function<TProjectUiState(const TProject*)> uiState;
    std::function<void(TProject*, TSpectrum*)> redrawVoxel;
    std::function<void(TProject*, CChildFrame*, TSpectrum*)> syncSlicesToVoxel;
    std::function<void(TProject*)> updateFramesRebuild;
    std::function<TSpectrum*(TRegionEstimate*)> estimateSpectrum;
};
TCallTable SetCallTable(TCallTable table);

}  // namespace ProjectCalls
