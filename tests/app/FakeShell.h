#pragma once
// Test doubles for the shell tests: a stand-in project reached through the shell's
// project calls, and voxel and analysis windows that record what the lists ask of them.
#include <QSettings>

#include <memory>
#include <string>
#include <vector>

#include "app/CAnalysisWindowBase.h"
#include "app/CMainFrame.h"
#include "app/CVoxelWindowBase.h"
#include "app/ProjectCalls.h"
#include "app/TAnalysisWndList.h"
#include "app/TVoxelWndList.h"
#include "model/TSpectrum.h"
#include "platform/Globals.h"

namespace vx::test {

struct TFakeProject {
    std::string loadedPath;
    bool alive = true;
    bool modified = true;
    int saveIfModifiedCalls = 0;
    TProjectUiState state;
};

inline TFakeProject* FakeOf(TProject* project) { return reinterpret_cast<TFakeProject*>(project); }
inline TProject* AsProject(TFakeProject* fake) { return reinterpret_cast<TProject*>(fake); }
// Voxels for the window tests; also stand-ins for objects the frame only passes on.
inline TSpectrum* FakeVoxel(int k)
{
    static TSpectrum pool[16];
    return &pool[k];
}
inline CChildFrame* FakeFrame(int k) { return reinterpret_cast<CChildFrame*>(static_cast<uintptr_t>(0x9000 + 16 * k)); }

// Installs project calls that act on TFakeProject objects; restores the old ones at the end.
class TFakeProjectCalls {
public:
    TFakeProjectCalls()
    {
        ProjectCalls::TCallTable t;
        t.checkProjectFile = [this](const std::string& path) {
            checkedPaths.push_back(path);
            return validFile;
        };
        t.newProject = [this](CMainFrame*) {
            made.push_back(std::make_unique<TFakeProject>());
            made.back()->state = state;
            return AsProject(made.back().get());
        };
        t.load = [this](TProject* p, const std::string& path) {
            FakeOf(p)->loadedPath = path;
            loadSawGlobal = g_pProject == p;
            return loadSucceeds;
        };
        t.setModified = [](TProject* p, bool m) { FakeOf(p)->modified = m; };
        t.saveIfModified = [](TProject* p) { ++FakeOf(p)->saveIfModifiedCalls; };
        t.destroy = [](TProject* p) { FakeOf(p)->alive = false; };
        t.uiState = [](const TProject* p) { return reinterpret_cast<const TFakeProject*>(p)->state; };
        t.redrawVoxel = [this](TProject*, TSpectrum*) { log.push_back("redraw"); };
        t.syncSlicesToVoxel = [this](TProject*, CChildFrame*, TSpectrum*) { log.push_back("sync"); };
        t.updateFramesRebuild = [this](TProject*) { log.push_back("rebuild"); };
        t.estimateSpectrum = [](TRegionEstimate* e) { return reinterpret_cast<TSpectrum*>(e); };
        m_old = ProjectCalls::SetCallTable(std::move(t));
    }
    ~TFakeProjectCalls() { ProjectCalls::SetCallTable(std::move(m_old)); }

    // Makes an open project the way the shell would after a successful load.
    TFakeProject* OpenProject(CMainFrame& frame)
    {
        TProject* p = ProjectCalls::NewProject(&frame);
        g_pProject = p;
        frame.SetProjectOpen(true);
        return FakeOf(p);
    }

    bool validFile = true;
    bool loadSucceeds = true;
    bool loadSawGlobal = false;
    TProjectUiState state;
    std::vector<std::string> checkedPaths;
    std::vector<std::unique_ptr<TFakeProject>> made;
    std::vector<std::string> log;

private:
    ProjectCalls::TCallTable m_old;
};

struct TWindowLog {
    int made = 0;
    int destroyed = 0;
    bool failCreate = false;
};

class CFakeVoxelWindow : public CVoxelWindowBase {
public:
    CFakeVoxelWindow(TVoxelWndList* list, CChildFrame* frame, int kind, TWindowLog* log)
        : CVoxelWindowBase(list, frame, kind), m_log(log)
    {
        ++m_log->made;
    }
    ~CFakeVoxelWindow() override { ++m_log->destroyed; }
    bool Create(CMainFrame* parent, const QRect& rect) override
    {
        return !m_log->failCreate && CVoxelWindowBase::Create(parent, rect);
    }
    void ClearVoxels() override { voxels.clear(); }
    void SetVoxel(TSpectrum* voxel) override { voxels.push_back(voxel); }
    int GetVoxelCount() const override { return static_cast<int>(voxels.size()); }
    void RefreshView() override { ++refreshes; }
    void SetDisplayParams(const TSpectrumDisplayParams* display) override { lastDisplay = *display; ++displays; }
    void SetUnit(int u) override { unit = u; }

    std::vector<TSpectrum*> voxels;
    int refreshes = 0;
    int displays = 0;
    int unit = -1;
    TSpectrumDisplayParams lastDisplay;

private:
    TWindowLog* m_log;
};

class CFakeAnalysisWindow : public CAnalysisWindowBase {
public:
    CFakeAnalysisWindow(TAnalysisWndList* list, TAnalysis* analysis, TWindowLog* log)
        : CAnalysisWindowBase(list, analysis), m_log(log)
    {
        ++m_log->made;
    }
    ~CFakeAnalysisWindow() override { ++m_log->destroyed; }
    bool Create(CMainFrame* parent) override { return !m_log->failCreate && CAnalysisWindowBase::Create(parent); }
    void UpdateViews(int a, int b, int c) override { updates.push_back({a, b, c}); }
    void SetMouseMode(int mode) override { mouseMode = mode; }
    void SetUnit(int u) override { unit = u; }

    std::vector<std::vector<int>> updates;
    int mouseMode = 0;
    int unit = -1;

private:
    TWindowLog* m_log;
};

// Makes the lists build fake windows for the lifetime of the object.
class TFakeWindowFactories {
public:
    TFakeWindowFactories()
    {
        m_oldVoxel = TVoxelWndList::SetFactory([this](TVoxelWndList* l, CChildFrame* f, int kind) {
            return new CFakeVoxelWindow(l, f, kind, &voxelLog);
        });
        m_oldAnalysis = TAnalysisWndList::SetFactory(
            [this](TAnalysisWndList* l, TAnalysis* a) { return new CFakeAnalysisWindow(l, a, &analysisLog); });
    }
    ~TFakeWindowFactories()
    {
        TVoxelWndList::SetFactory(std::move(m_oldVoxel));
        TAnalysisWndList::SetFactory(std::move(m_oldAnalysis));
    }
    TWindowLog voxelLog;
    TWindowLog analysisLog;

private:
    TVoxelWndList::Factory m_oldVoxel;
    TAnalysisWndList::Factory m_oldAnalysis;
};

inline CFakeVoxelWindow* FakeWindow(CListedWindow* window) { return static_cast<CFakeVoxelWindow*>(window); }

inline void ClearSettings()
{
    QSettings settings("Tarnwell", "Vexara");
    settings.clear();
    settings.sync();
}

}  // namespace vx::test
