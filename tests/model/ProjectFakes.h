#pragma once
// Recording stand-ins for the shell a project calls up into: the main frame, its image
// frame list and the information window. Every call is logged as one line of text.
#include <memory>
#include <string>
#include <vector>

#include "model/IImageFrameList.h"
#include "model/IInfoFrame.h"
#include "model/IMainFrame.h"

namespace vx::test {

using TCallLog = std::vector<std::string>;

inline std::string Flags(std::initializer_list<bool> flags)
{
    std::string s;
    for (bool f : flags)
        s += f ? '1' : '0';
    return s;
}

class TFakeFrameList : public IImageFrameList {
public:
    explicit TFakeFrameList(TCallLog& log) : m_log(log) {}

    void SetProject(TProject* p) override { project = p; }
    void SetMDIParent(IMainFrame* f) override { parent = f; }
    bool IsEmpty() const override { return openFrames == 0; }
    void DestroyAll() override
    {
        m_log.push_back("DestroyAll");
        openFrames = 0;
    }
    void UpdateAll(bool reload, bool image, bool regions, bool voi, bool rebuild) override
    {
        m_log.push_back("UpdateAll " + Flags({reload, image, regions, voi, rebuild}));
    }
    void RedrawVoxel(int x, int y, int z) override
    {
        m_log.push_back("RedrawVoxel " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z));
    }
    void RedrawVoxelSet(const std::vector<TSpectrum*>& voxels) override
    {
        m_log.push_back("RedrawVoxelSet " + std::to_string(voxels.size()));
    }
    bool CloseImageFrame(TMRImage*) override
    {
        m_log.push_back("CloseImageFrame");
        return false;
    }
    CChildFrame* OpenImageFrame(TMRImage*) override
    {
        m_log.push_back("OpenImageFrame");
        ++openFrames;
        return nullptr;
    }
    CChildFrame* OpenSliceFrameByIndex(int axis, int index) override
    {
        m_log.push_back("OpenSliceFrameByIndex " + std::to_string(axis) + " " + std::to_string(index));
        ++openFrames;
        return nullptr;
    }
    CChildFrame* OpenSliceFrameByPosition(int axis, float position) override
    {
        m_log.push_back("OpenSliceFrameByPosition " + std::to_string(axis) + " " + std::to_string(position));
        ++openFrames;
        return nullptr;
    }
    void ApplyMapScale(TMap*) override { m_log.push_back("ApplyMapScale"); }
    void RefreshSliceFrameImages() override { m_log.push_back("RefreshSliceFrameImages"); }

    TProject* project = nullptr;
    IMainFrame* parent = nullptr;
    int openFrames = 0;

private:
    TCallLog& m_log;
};

class TFakeInfoFrame : public IInfoFrame {
public:
    explicit TFakeInfoFrame(TCallLog& log) : m_log(log) {}
    void UpdateCSIPage(TCSISet* set) override { m_log.push_back(set ? "UpdateCSIPage" : "UpdateCSIPage none"); }
    void UpdateImagePage(TMRImage*) override { m_log.push_back("UpdateImagePage"); }
    void UpdateMapPage(std::vector<TMRImage*> overlays) override
    {
        m_log.push_back("UpdateMapPage " + std::to_string(overlays.size()));
    }

private:
    TCallLog& m_log;
};

class TFakeMainFrame : public IMainFrame {
public:
    void CloseAllChildWindows() override { log.push_back("CloseAllChildWindows"); }
    void ShowProjectExplorer() override { log.push_back("ShowProjectExplorer"); }
    void RemoveCSISetItem(TCSISet*) override { log.push_back("RemoveCSISetItem"); }
    void SetSpectrumDisplay(const TSpectrumDisplayParams& d) override
    {
        log.push_back("SetSpectrumDisplay");
        display = d;
    }
    void RefreshVoxelWindows() override { log.push_back("RefreshVoxelWindows"); }
    void RefreshRegionWindows() override { log.push_back("RefreshRegionWindows"); }
    IInfoFrame* GetInfoFrame() override { return hasInfo ? &info : nullptr; }
    std::unique_ptr<IImageFrameList> CreateImageFrameList() override
    {
        auto list = std::make_unique<TFakeFrameList>(log);
        frames = list.get();
        return list;
    }

    // The calls logged since the last Take(), which empties the log.
    TCallLog Take()
    {
        TCallLog calls;
        calls.swap(log);
        return calls;
    }
    bool Logged(const std::string& call) const
    {
        for (const std::string& line : log)
            if (line == call)
                return true;
        return false;
    }

    TCallLog log;
    TFakeInfoFrame info{log};
    bool hasInfo = false;
    TFakeFrameList* frames = nullptr;
    TSpectrumDisplayParams display;
};

}  // namespace vx::test
