// The main frame's commands on how images look: brightness and contrast from the
// windowing toolbar, the display range of a shown map (both on the image window the toolbar
// works on), and the image correction bar.
#include <QAction>
#include <QDockWidget>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

#include <algorithm>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVoxelWindowBase.h"
#include "app/CommandIds.h"
#include "app/WindowFactory.h"
#include "app/dialogs/DialogFields.h"
#include "model/TCSISet.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "processing/TImageNormalizationStep.h"
#include "processing/TImageSmoothingStep.h"

void CMainFrame::ConnectImageCommands()
{
    SetCommandHandler(cmd::AutoscaleImages,
                      [this] { m_bAutoscaleImages = Action(cmd::AutoscaleImages)->isChecked(); });
    if (!m_wndCorrectionBar)
        return;
    // The Project Toolbar's button shows the floating correction bar, or hides it when shown.
    SetCommandHandler(cmd::SurfaceCoilNormalization,
                      [this] { m_wndCorrectionBar->setVisible(!m_wndCorrectionBar->isVisible()); });
    if (auto* apply = m_wndCorrectionBar->findChild<QPushButton*>("ApplyButton"))
        connect(apply, &QPushButton::clicked, this, [this] { OnImageCorrection(false); });
    if (auto* smooth = m_wndCorrectionBar->findChild<QPushButton*>("SmoothButton"))
        connect(smooth, &QPushButton::clicked, this, [this] { OnImageCorrection(true); });
}

CChildFrame* CMainFrame::WindowingFrame() const
{
    if (CChildFrame* frame = ActiveImageFrame())
        return frame;
    // A map made from a voxel window is shown in the image window it was opened from, when
    // that is one of this frame's windows.
    const auto* voxels = qobject_cast<const CVoxelWindowBase*>(m_mdiArea->currentSubWindow());
    if (!voxels)
        return nullptr;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList())
        if (window == voxels->GetChildFrame())
            return vx::app::ImageFrameOf(window);
    return nullptr;
}

void CMainFrame::SetBrightnessContrast(int low, int high)
{
    CChildFrame* frame = WindowingFrame();
    if (!frame || !frame->GetImage())
        return;
    if (m_bAutoscaleImages && g_pProject) {
        for (TMRImage* image : *g_pProject->m_pImageSet)
            image->SetStoredWindow(low, high);
        g_pProject->UpdateFrames(false, true, false, false, false);
        return;
    }
    frame->GetImage()->SetStoredWindow(low, high);
    frame->UpdateView(false, true, false, false, false);
}

void CMainFrame::SetMapDisplayRange(float min, float max)
{
    CChildFrame* frame = WindowingFrame();
    if (!frame)
        return;
    const std::vector<TMRImage*> overlays = frame->GetMapOverlays();
    if (overlays.empty())
        return;
    if (overlays.size() > 1) {
        vx::Report("Can't set the map display scale, because more than one maps are displayed.",
                   vx::ReportIcon::None);
        return;
    }
    TCSISet* workSet = g_pProject ? g_pProject->m_pWorkSet : nullptr;
    TMap* map = workSet ? workSet->FindMap(overlays.front()->GetName()) : nullptr;
    if (!map)
        return;
    map->displayMin = min;
    map->displayMax = max;
    g_pProject->ApplyMapScale(map);
    g_pProject->UpdateFrames(false, true, false, false, false);
}

void CMainFrame::OnImageCorrection(bool smooth)
{
    CChildFrame* frame = ActiveImageFrame();
    TMRImage* image = frame ? frame->GetImage() : nullptr;
    if (!g_pProject || !image)
        return;
    TProcessStep* step = nullptr;
    if (smooth) {
        step = new TImageSmoothingStep(image);
    } else {
        // A line width from 1 to the image's larger side and a threshold from 0 to 100 per
        // cent; anything else (a blank box too) is refused with its range and nothing runs.
        // A number counts by its whole part and may carry a per-cent sign ("10%" is 10).
        const auto read = [this](const char* name, int low, int high, int& value) {
            auto* edit = m_wndCorrectionBar->findChild<QLineEdit*>(name);
            if (!edit)
                return false;
            std::string text = edit->text().trimmed().toStdString();
            if (!text.empty() && text.back() == '%')
                text.pop_back();
            if (float typed = 0.0f; vx::ParseFloat(text, typed)) {
                value = vx::TruncateToInt(typed);
                if (value >= low && value <= high)
                    return true;
            }
            return vx::app::ReadIntegerField(edit, low, high, value);
        };
        int width = 0, threshold = 0;
        if (!read("LineWidthEdit", 1, std::max({image->GetWidth(), image->GetHeight(), 1}), width) ||
            !read("ThresholdEdit", 0, 100, threshold))
            return;
        step = new TImageNormalizationStep(static_cast<float>(width), static_cast<float>(threshold), image);
    }
    // A step that fails is deleted by Perform; its own messages came from the step.
    if (TProcessStep::Perform(step, *g_pProject, false))
        frame->UpdateView(false, true, false, false, false);
}
