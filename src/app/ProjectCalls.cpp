// TEMPORARY SEAM (see ProjectCalls.h): every call goes to the installed table;
// without one there is no project class to call, so no file is a valid project.
#include "app/ProjectCalls.h"

namespace ProjectCalls {
namespace {
TCallTable& Table()
{
    static TCallTable table;
    return table;
}
}  // namespace

TCallTable SetCallTable(TCallTable table)
{
    TCallTable old = std::move(Table());
    Table() = std::move(table);
    return old;
}

bool CheckProjectFile(const std::string& path)
{
    return Table().checkProjectFile ? Table().checkProjectFile(path) : false;
}

TProject* NewProject(CMainFrame* frame)
{
    return Table().newProject ? Table().newProject(frame) : nullptr;
}

bool Load(TProject* project, const std::string& path)
{
    return project && Table().load ? Table().load(project, path) : false;
}

void SetModified(TProject* project, bool modified)
{
    if (project && Table().setModified)
        Table().setModified(project, modified);
}

void SaveIfModified(TProject* project)
{
    if (project && Table().saveIfModified)
        Table().saveIfModified(project);
}

void Delete(TProject* project)
{
    if (project && Table().destroy)
        Table().destroy(project);
}

TProjectUiState UiState(const TProject* project)
{
    if (project && Table().uiState)
        return Table().uiState(project);
    return {};
}

void RedrawVoxel(TProject* project, TSpectrum* voxel)
{
    if (project && Table().redrawVoxel)
        Table().redrawVoxel(project, voxel);
}

void SyncSlicesToVoxel(TProject* project, CChildFrame* frame, TSpectrum* voxel)
{
    if (project && Table().syncSlicesToVoxel)
        Table().syncSlicesToVoxel(project, frame, voxel);
}

void UpdateFramesRebuild(TProject* project)
{
    if (project && Table().updateFramesRebuild)
        Table().updateFramesRebuild(project);
}

TSpectrum* EstimateSpectrum(TRegionEstimate* estimate)
{
    return estimate && Table().estimateSpectrum ? Table().estimateSpectrum(estimate) : nullptr;
}

}  // namespace ProjectCalls
