#include "app/TImageFrameList.h"

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TProject.h"

TImageFrameList::~TImageFrameList()
{
    // Windows that are still open must not reach back into a list that is gone.
    for (CChildFrame* frame : Frames())
        frame->m_pOwner = nullptr;
}

void TImageFrameList::SetMDIParent(IMainFrame* pMainFrame)
{
    m_pMDIParent = dynamic_cast<CMainFrame*>(pMainFrame);
}

std::vector<TMRImage*>* TImageFrameList::ListOf(const TMRImage* pImage)
{
    // Images of an unknown orientation cut no other plane along a known line: no list.
    const int o = pImage ? pImage->GetOrientation() : -1;
    return o >= 0 && o < 3 ? &m_images[static_cast<size_t>(o)] : nullptr;
}

template <typename Create>
CChildFrame* TImageFrameList::Open(Create create)
{
    if (!m_pMDIParent)
        return nullptr;
    auto* frame = new CChildFrame(this);
    if (!create(frame)) {
        delete frame;
        return nullptr;
    }
    m_frames.emplace_back(frame);
    if (std::vector<TMRImage*>* list = ListOf(frame->GetImage()))
        list->push_back(frame->GetImage());
    return frame;
}

CChildFrame* TImageFrameList::OpenImageFrame(TMRImage* pImage)
{
    if (!pImage)
        return nullptr;
    return Open([&](CChildFrame* frame) { return frame->CreateForImage(m_pMDIParent, pImage); });
}

CChildFrame* TImageFrameList::OpenSliceFrameByPosition(int axis, float position)
{
    return Open([&](CChildFrame* frame) { return frame->CreateForSliceByPosition(m_pMDIParent, axis, position); });
}

CChildFrame* TImageFrameList::OpenSliceFrameByIndex(int axis, int index)
{
    return Open([&](CChildFrame* frame) { return frame->CreateForSliceByIndex(m_pMDIParent, axis, index); });
}

void TImageFrameList::RemoveFrame(CChildFrame* frame)
{
    m_frames.remove_if([frame](const QPointer<CChildFrame>& f) { return f.isNull() || f.data() == frame; });
    // While every window goes, none is left to repaint.
    if (!m_bDestroyingAll)
        UpdateAll(false, false, false, false, true);
}

std::vector<CChildFrame*> TImageFrameList::Frames() const
{
    std::vector<CChildFrame*> frames;
    for (const QPointer<CChildFrame>& frame : m_frames)
        if (frame)
            frames.push_back(frame.data());
    return frames;
}

int TImageFrameList::GetCount() const
{
    return static_cast<int>(Frames().size());
}

bool TImageFrameList::IsEmpty() const
{
    return Frames().empty();
}

void TImageFrameList::UpdateAll(bool reload, bool image, bool regions, bool voi, bool layer5)
{
    if (layer5)
        RebuildOrientationLists();
    for (CChildFrame* frame : Frames())
        frame->UpdateView(reload, image, regions, voi, layer5);
}

void TImageFrameList::RedrawVoxel(int x, int y, int z)
{
    for (CChildFrame* frame : Frames())
        frame->RedrawVoxel(x, y, z);
}

void TImageFrameList::RedrawVoxelSet(const std::vector<TSpectrum*>& voxels)
{
    for (CChildFrame* frame : Frames())
        frame->RedrawVoxelSet(voxels);
}

void TImageFrameList::ApplyMapScale(TMap* pMap)
{
    for (CChildFrame* frame : Frames())
        frame->ApplyMapScale(pMap);
}

bool TImageFrameList::CloseImageFrame(TMRImage* pImage)
{
    for (CChildFrame* frame : Frames())
        if (frame->GetImage() == pImage) {
            delete frame;
            return true;
        }
    return false;
}

void TImageFrameList::DestroyAll()
{
    m_bDestroyingAll = true;
    // Each window leaves the list while it is destroyed, so the list is walked as a copy.
    for (CChildFrame* frame : Frames())
        delete frame;
    m_frames.clear();
    m_bDestroyingAll = false;
    RebuildOrientationLists();
}

std::vector<TMRImage*> TImageFrameList::GetImagesOfOrientation(int orientation) const
{
    if (orientation < 0 || orientation >= 3)
        return {};
    return m_images[static_cast<size_t>(orientation)];
}

void TImageFrameList::RebuildOrientationLists()
{
    for (std::vector<TMRImage*>& list : m_images)
        list.clear();
    for (CChildFrame* frame : Frames())
        if (std::vector<TMRImage*>* list = ListOf(frame->GetImage()))
            list->push_back(frame->GetImage());
}

void TImageFrameList::RefreshSliceFrameImages()
{
    if (!m_pProject)
        return;
    for (CChildFrame* frame : Frames()) {
        const TCSISlice* slice = frame->GetSlice();
        if (!slice)
            continue;
        const float half = slice->GetThickness() / 2;
        TMRImage* image = m_pProject->FindNearestImage(slice->GetSliceAxis(), slice->GetSlicePosition() - half,
                                                       slice->GetSlicePosition() + half);
        frame->SetImage(image);
        if (!image)
            frame->SetShowImage(false);
        frame->UpdateTitle();
    }
}

void TImageFrameList::SyncSlicesToVoxel(int o, const float p[3])
{
    if (o < 0 || o >= 3 || !m_pProject)
        return;
    int others[2];
    TMRImage::InPlaneAxes(o, others[0], others[1]);
    bool done[2] = {false, false};
    for (CChildFrame* frame : Frames()) {
        if (!frame->GetSlice())
            continue;
        for (int k = 0; k < 2; ++k) {
            const int a = others[k];
            if (done[k] || frame->m_nAxis != a)
                continue;
            const float half = frame->GetSlice()->GetThickness() / 2;
            frame->SetCSISliceByPosition(m_pProject->m_pWorkSet, a, p[a]);
            TMRImage* image =
                m_pProject->FindNearestImage(a, frame->m_position[a] - half, frame->m_position[a] + half);
            frame->SetImage(image);
            // A plane the set does not reach leaves the axis to a later window.
            if (frame->GetSlice())
                done[k] = true;
            else
                frame->SetShowCSISlice(false);
            if (!image)
                frame->SetShowImage(false);
            frame->UpdateTitle();
            frame->UpdateView(true, true, true, true, false);
            break;
        }
    }
}
