#pragma once
// The fixture project opened with its main frame, and voxel windows opened on it the way
// Select voxel opens them from the axial image window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TMouseEvent.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/TRecordingCanvas.h"
#include "processing/InstallProcessing.h"
#include "support/GuiFixture.h"
#include "support/ScriptedReport.h"
#include "views/picture/CMainPicView.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/spectrum/CVoxelWndView.h"

namespace vx::test {

class VoxelWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vx::ResetGlobals();
        ASSERT_TRUE(fixture.Ok());
        session = std::make_unique<TGuiSession>(fixture);
        ASSERT_TRUE(session->Ok());
        axial = session->FrameTitled("(Axial) axial_1 @ 100%");
        ASSERT_NE(axial, nullptr);
        set = session->Project()->m_pWorkSet;
        ASSERT_NE(set, nullptr);
    }
    void TearDown() override
    {
        session.reset();
        vx::ResetGlobals();
    }

    CMainFrame& Frame() { return session->MainFrame(); }
    TSpectrum* Voxel(int x, int y) { return set->GetVoxel(x, y, 0); }
    // Select voxel with the keys (TMouseEvent::kCtrl adds to the newest window,
    // kShift opens a new one); the newest single-voxel window.
    CVoxelWindow* Open(int x, int y, int keys = 0)
    {
        TMouseEvent event;
        event.m_nKeys = keys;
        Frame().OpenVoxelWindow(Voxel(x, y), event, axial);
        QApplication::processEvents();
        return dynamic_cast<CVoxelWindow*>(Frame().SingleVoxelWindows().GetLast());
    }

    // Select voxel as the user does it: a click on voxel (x, y) of the axial image window.
    CVoxelWindow* Click(int x, int y)
    {
        constexpr float kCell = TGuiFixture::kFOV / TGuiFixture::kColumns;
        const vx::TPointI at = axial->View()->MmToClient(
            {(x + 0.5f) * kCell - TGuiFixture::kFOV / 2, (y + 0.5f) * kCell - TGuiFixture::kFOV / 2});
        QTest::mouseClick(axial->View()->viewport(), Qt::LeftButton, {}, QPoint(at.x, at.y));
        QApplication::processEvents();
        return dynamic_cast<CVoxelWindow*>(Frame().SingleVoxelWindows().GetLast());
    }

    // What the view draws over a client area of that size.
    static vx::TRecordingCanvas Record(CVoxelWndView& view, int width, int height)
    {
        vx::TRecordingCanvas dc;
        view.DrawOn(dc, {0, 0, width, height});
        return dc;
    }
    static bool Contains(const std::vector<std::string>& texts, const std::string& text)
    {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    TScriptedReport report;
    TGuiFixture fixture;
    std::unique_ptr<TGuiSession> session;
    CChildFrame* axial = nullptr;
    TCSISet* set = nullptr;
};

// The same with the processing steps installed (the project's undo history) and the
// window of voxel (3, 4) open at 700 x 600.
class OpenVoxelWindowTest : public VoxelWindowTest {
protected:
    void SetUp() override
    {
        InstallProcessing();
        VoxelWindowTest::SetUp();
        window = Open(3, 4);
        ASSERT_NE(window, nullptr);
        window->resize(700, 600);
        view = window->View();
    }
    void TearDown() override
    {
        VoxelWindowTest::TearDown();
        InstallProcessingHooks({});
    }

    CVoxelWindow* window = nullptr;
    CVoxelWndView* view = nullptr;
};

}  // namespace vx::test
