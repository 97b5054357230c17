#pragma once
// Test doubles for the shell tests: image frame lists, voxel and analysis windows that
// record what the shell asks of them, and project files made by the project itself.
#include <QSettings>

#include <memory>
#include <string>
#include <vector>

#include "app/CAnalysisWindowBase.h"
#include "app/CMainFrame.h"
#include "app/CVoxelWindowBase.h"
#include "app/TAnalysisWndList.h"
#include "app/TVoxelWndList.h"
#include "app/WindowFactory.h"
#include "model/IImageFrameList.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "platform/Globals.h"

namespace vx::test {

// Voxels for the window tests; also stand-ins for objects the frame only passes on.
inline TSpectrum* FakeVoxel(int k)
{
    static TSpectrum pool[16];
    return &pool[k];
}
inline CChildFrame* FakeFrame(int k) { return reinterpret_cast<CChildFrame*>(static_cast<uintptr_t>(0x9000 + 16 * k)); }

// Every open image frame list records what the shell asks of it.
class TRecordingFrameList : public IImageFrameList {
public:
    explicit TRecordingFrameList(std::vector<std::string>* log) : m_log(log) {}
    void SetProject(TProject*) override {}
    void SetMDIParent(IMainFrame*) override {}
    bool IsEmpty() const override { return true; }
    void DestroyAll() override {}
    void UpdateAll(bool reload, bool image, bool regions, bool voi, bool rebuild) override
    {
        m_log->push_back("update " + std::to_string(reload) + std::to_string(image) + std::to_string(regions) +
                         std::to_string(voi) + std::to_string(rebuild));
    }
    void RedrawVoxel(int x, int y, int z) override
    {
        m_log->push_back("redraw " + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(z));
    }
    void RedrawVoxelSet(const std::vector<TSpectrum*>&) override {}
    bool CloseImageFrame(TMRImage*) override { return false; }
    CChildFrame* OpenImageFrame(TMRImage*) override { return nullptr; }
    CChildFrame* OpenSliceFrameByIndex(int, int) override { return nullptr; }
    CChildFrame* OpenSliceFrameByPosition(int, float) override { return nullptr; }
    void ApplyMapScale(TMap*) override {}
    void RefreshSliceFrameImages() override {}

private:
    std::vector<std::string>* m_log;
};

// Installs recording image frame lists and slice synchronisation for the lifetime of the object.
class TShellRecorder {
public:
    TShellRecorder()
    {
        m_oldLists = vx::app::SetImageFrameListFactory(
            [this](CMainFrame*) { return std::make_unique<TRecordingFrameList>(&log); });
        m_oldSync = vx::app::SetSyncSlicesHook([this](CChildFrame*, TSpectrum*) { log.push_back("sync"); });
        m_oldEstimate = vx::app::SetEstimateSpectrumLookup(
            [](TRegionEstimate* e) { return reinterpret_cast<TSpectrum*>(e); });
    }
    ~TShellRecorder()
    {
        vx::app::SetImageFrameListFactory(std::move(m_oldLists));
        vx::app::SetSyncSlicesHook(std::move(m_oldSync));
        vx::app::SetEstimateSpectrumLookup(std::move(m_oldEstimate));
    }
    std::vector<std::string> log;

private:
    vx::app::ImageFrameListFactory m_oldLists;
    vx::app::SyncSlicesHook m_oldSync;
    vx::app::EstimateSpectrumLookup m_oldEstimate;
};

// A project made through TProject::Create in a temporary folder: "<folder>/<name>/<name>.tpj".
inline std::string MakeProjectFile(const std::string& location, const std::string& name)
{
    TProject project;
    const std::string folder = location + "/" + name;
    EXPECT_TRUE(project.Create(folder, name));
    return folder + "/" + name + ".tpj";
}

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
    void SetDisplayParams(const TSpectrumDisplayParams* display) override { lastDisplay = *display; }
    void SetUnit(int) override {}

    std::vector<TSpectrum*> voxels;
    int refreshes = 0;
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
    void SetMouseMode(int) override {}
    void SetUnit(int u) override { unit = u; }

    std::vector<std::vector<int>> updates;
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
