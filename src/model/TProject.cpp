// The project: ownership, the work set, the display block, processing and the calls up
// into the shell. The project file is in TProjectFile.cpp.
#include "model/TProject.h"

#include <functional>
#include <utility>

#include "model/IImageFrameList.h"
#include "model/IInfoFrame.h"
#include "model/IMainFrame.h"
#include "model/ProcessingHooks.h"
#include "model/TAnalysis.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TFolderHold.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Report.h"
#include "platform/TFileTransaction.h"
#include "platform/WaitCursor.h"

TProject::TProject(IMainFrame* pMainFrame) : m_hold(std::make_unique<TFolderHold>())
{
    m_pImageSet = new TImageSet(this);
    m_pCSISetList = new TCSISetList(this);
    AttachMainFrame(pMainFrame);
    if (ProcessingHooks().newHistory)
        m_history = ProcessingHooks().newHistory();
}

TProject::~TProject()
{
    // The voxel and analysis windows point at the project's spectra and analyses.
    if (m_pMainFrame)
        m_pMainFrame->CloseAllChildWindows();
    if (m_frameList)
        m_frameList->DestroyAll();
    if (m_pWorkSet)
        m_pWorkSet->FreeSpectra();
    // The processing objects refer to the sets and images, so they go first.
    ClearRegionEstimates();
    DeleteAnalyses();
    DestroyHistory();
    for (TMRImage* pImage : *m_pImageSet)
        delete pImage;
    delete m_pImageSet;
    delete m_pCSISetList;
    m_hold->DropNewFiles();
}

void TProject::AttachMainFrame(IMainFrame* pMainFrame)
{
    m_pMainFrame = pMainFrame;
    if (m_pMainFrame)
        m_frameList = m_pMainFrame->CreateImageFrameList();
    if (m_frameList) {
        m_frameList->SetProject(this);
        m_frameList->SetMDIParent(m_pMainFrame);
    }
}

// --- state ---------------------------------------------------------------------------------

bool TProject::SaveWorkSet(bool ask)
{
    bool projectWritten = false;
    return SaveWorkSet(ask, projectWritten);
}

bool TProject::SaveWorkSetAndProject(bool ask)
{
    bool projectWritten = false;
    if (!SaveWorkSet(ask, projectWritten))
        return false;
    // Writing the same file again could only fail after the save has happened.
    if (!projectWritten && !Save())
        return false;
    SetModified(false);
    return true;
}

bool TProject::StageWorkSet(vx::TFileTransaction& transaction, bool ask, TKeptMaps& kept)
{
    // Maps the user does not save leave the set (and the project file's list) only once
    // the save went through.
    if (m_pWorkSet->HasMaps() && ask &&
        vx::Ask("Do you want to save the maps for the CSI work set " + m_pWorkSet->GetName() + " ?",
                vx::ReportButtons::YesNo, vx::ReportAnswer::Yes) == vx::ReportAnswer::No)
        kept.dropped.reset(std::exchange(m_pWorkSet->m_pMapList, nullptr));
    if (m_pWorkSet->m_pMapList)
        for (const TMap* pMap : *m_pWorkSet->m_pMapList)
            kept.states.push_back(pMap->GetState());
    const vx::TWriteFailureNote note = NotDoneNote("The CSI set " + m_pWorkSet->GetName() + " was not saved");
    bool ok = m_pWorkSet->WriteDataFile(m_pWorkSet->GetFilePath(), true, &transaction, note);
    // The project file written with it records the set as its new file holds it.
    kept.fileParams = m_pWorkSet->FileParams();
    kept.fileSamples = m_pWorkSet->FileSamplesState();
    kept.fileDisplay = m_fileDisplay;
    m_fileDisplay = m_display;
    kept.fileWritten = true;
    m_pWorkSet->ParamsAreInFile();
    // A set whose file waits for the first save was read from that file: this one replaces it.
    if (const vx::TFileTransaction* waiting = m_hold->WaitingFiles();
        waiting && !waiting->StagedFileOf(m_pWorkSet->GetFilePath()).empty())
        transaction.TakeOver(m_pWorkSet->GetFilePath());
    if (ok && m_pWorkSet->HasMaps())
        ok = m_pWorkSet->WriteMapFiles(transaction, note);
    return ok;
}

void TProject::RestoreWorkSetMaps(TKeptMaps& kept)
{
    if (kept.fileWritten) {
        m_pWorkSet->SetFileState({kept.fileParams, kept.fileSamples});
        m_fileDisplay = kept.fileDisplay;
    }
    if (kept.dropped)
        m_pWorkSet->m_pMapList = kept.dropped.release();
    else if (m_pWorkSet->m_pMapList) {
        size_t i = 0;
        for (TMap* pMap : *m_pWorkSet->m_pMapList)
            if (i < kept.states.size())
                pMap->SetState(kept.states[i++]);
    }
}

void TProject::WorkSetSaved()
{
    // The analyses made from the samples saved now are in the project file with them.
    for (TAnalysis* pAnalysis : m_analyses)
        pAnalysis->SamplesSaved();
    if (m_history && ProcessingHooks().disableUndo)
        ProcessingHooks().disableUndo(m_history);
    NotifyHistoryChanged();
}

bool TProject::SaveWorkSet(bool ask, bool& projectWritten)
{
    projectWritten = false;
    if (m_pCSISetList->IsEmpty() || !m_pWorkSet)
        return true;
    // The set's data-set file is the only copy of its samples once they leave memory:
    // a failed save keeps the files, the maps and the undo history as they were and
    // tells the caller to keep the samples.
    const std::unique_ptr<vx::TFileTransaction> change = BeginChange();
    if (!change)
        return false;
    vx::TFileTransaction& transaction = *change;
    TKeptMaps kept;
    bool ok = StageWorkSet(transaction, ask, kept);
    // The project file names the maps and holds the set's parameters: it changes with them.
    // A save whose journal stays with its new files not in place is completed later, but is
    // not done yet: the samples and the undo history stay. Its data-set file is the new one
    // from then on, as the journal makes it.
    if (ok && !CommitWithProjectFile(transaction, "The project could not be saved", true))
        ok = false;
    if (!ok) {
        if (transaction.LeftJournal())
            kept.fileWritten = false;
        transaction.Abort();
        RestoreWorkSetMaps(kept);
        return false;
    }
    projectWritten = !m_strName.empty();
    WorkSetSaved();
    return true;
}

bool TProject::SaveIfModified()
{
    if (!IsModified())
        return true;
    if (vx::Ask("There were changes made to the project, would you like to save it?", vx::ReportButtons::YesNo,
                vx::ReportAnswer::Yes) != vx::ReportAnswer::Yes)
        return true;
    return SaveWorkSetAndProject(true);
}

bool TProject::HoldsItsFolder() const
{
    return !m_strFolder.empty() && m_hold->Holds(m_strFolder);
}

TStateFile TProject::StateFolder()
{
    // A project that has no folder yet must not put its files into whatever folder the
    // process happens to run in, nor one whose folder cannot be written. The states are
    // the program's own files: they go in its work folder, where nothing else of the
    // folder's is removed with them.
    if (m_strFolder.empty() || m_hold->IsReadOnly())
        return TFolderHold::TempStateFolder();
    // Only the work folder itself is made: a project folder that is gone is not made
    // again, and the folder's own files never sit beside the states.
    const std::unique_ptr<vx::TFileTransaction> staging = BeginChange();
    if (!staging)
        return TStateFile();
    const vx::TFolder* work = staging->WorkFolder();
    if (!work) {
        // Something other than a folder at its name keeps every step from being undone.
        const std::string inTheWay = vx::TFileTransaction::WorkFolderInTheWayText(staging->Handle());
        vx::Report(inTheWay.empty() ? "The work folder " + WorkFolder() + " of the project cannot be made: " +
                                          vx::FileErrorReason(staging->FailedError()) + ". The work set was not changed."
                                    : "The " + inTheWay + ", so the work set was not changed. Remove it to change the work set.",
                   vx::ReportIcon::Exclamation);
        return TStateFile();
    }
    // The very work folder the change opened: no path is followed in between.
    TStateFile place = m_hold->StateFolder(*work);
    if (!place)
        vx::Report("The work folder " + WorkFolder() + " of the project cannot be made: " +
                       vx::FileErrorReason(errno != 0 ? errno : EIO) + ". The work set was not changed.",
                   vx::ReportIcon::Exclamation);
    return place;
}

void TProject::ResetSpectrumDisplay(bool resetX)
{
    if (m_pWorkSet) {
        m_display.m_fYMax = m_pWorkSet->m_fMagnitudeMax;
        m_display.m_fYMin = -m_pWorkSet->m_fMagnitudeMax;
        if (resetX) {
            m_display.m_nXStart = 0;
            m_display.m_nXEnd = m_pWorkSet->m_nPoints - 1;
        }
    }
    if (m_pMainFrame)
        m_pMainFrame->SetSpectrumDisplay(m_display);
}

void TProject::ToggleDisplayFlag(int32_t bits)
{
    // The part flags are exclusive: choosing one drops the others and keeps the grid flag.
    if (bits & TSpectrumDisplayParams::kPartBits)
        m_display.m_nFlags &= TSpectrumDisplayParams::kGrid;
    m_display.m_nFlags ^= bits;
    UpdateFrames(true, true, false, false, false);
}

// --- work set ------------------------------------------------------------------------------

void TProject::SelectSavedWorkSet()
{
    TCSISet* pSaved = nullptr;
    for (TCSISet* pSet : *m_pCSISetList) {
        if (pSet->m_bWorkSet && !pSaved)
            pSaved = pSet;
        // Only the work set carries the flag; the chosen set gets it back when it loads.
        pSet->m_bWorkSet = 0;
    }
    if (!pSaved)
        return;
    // A set whose data-set file is missing has been reported with the project. It keeps
    // the flag, so that the project is saved with it as its work set and opens with it
    // again once the file is back; choosing another work set takes the flag away.
    if (pSaved->DataFileMissing()) {
        pSaved->m_bWorkSet = 1;
        return;
    }
    // The display block was saved with this work set: the display the selection shows for it
    // does not replace it in the file.
    const TSpectrumDisplayParams saved = m_fileDisplay;
    SetWorkSet(pSaved);
    m_fileDisplay = saved;
}

void TProject::SetWorkSet(TCSISet* pSet)
{
    if (!pSet) {
        m_pWorkSet = nullptr;
        return;
    }
    // A set whose data-set file cannot be opened is refused before the work set is let go
    // (the work set itself, which is saved before it is read again, only when its folder
    // is gone): with the true reason where the project's folder was moved, removed or
    // replaced since it was opened, rather than the file's.
    if (!pSet->CanOpenDataFile(false)) {
        if (!m_hold->IsReadOnly() && !m_hold->KeepForChange(m_strFolder, m_strName))
            return;
        if (pSet != m_pWorkSet && !pSet->CanOpenDataFile(true))
            return;
    }
    vx::TWaitCursor wait;
    if (m_pMainFrame)
        m_pMainFrame->CloseAllChildWindows();
    CloseImageFrames();
    if (m_pWorkSet && !ReleaseWorkSet())
        return;

    m_pWorkSet = pSet;
    if (!pSet->LoadData()) {
        m_pWorkSet = nullptr;
        if (!g_bBatchMode) {
            CloseImageFrames();
            RefreshShell();
        }
        return;
    }
    for (TCSISet* pOther : *m_pCSISetList)
        pOther->m_bWorkSet = 0;
    pSet->m_bWorkSet = 1;
    LocateImagesInWorkSet();
    // The set holds its file's samples: the display shown for them fits its file.
    if (!g_bBatchMode)
        ResetSpectrumDisplay(true);
    m_fileDisplay = m_display;
    if (!g_bBatchMode) {
        OpenMiddleSliceFrames();
        UpdateFrames(false, false, false, false, true);
        RefreshShell();
    }
}

bool TProject::ReleaseWorkSet()
{
    if (!m_pWorkSet)
        return true;
    // A project file that could not be written (reported) stays to be saved.
    bool projectUnsaved = false;
    if (m_bModified && !g_bBatchMode) {
        if (vx::Ask("There were changes made to the CSI set: " + m_pWorkSet->GetName() + ", would you like to save it?",
                    vx::ReportButtons::YesNo, vx::ReportAnswer::Yes) == vx::ReportAnswer::Yes) {
            bool projectWritten = false;
            if (!SaveWorkSet(true, projectWritten))
                return false;
            projectUnsaved = !projectWritten && !Save();
        } else {
            DeleteMapList(m_pWorkSet);
        }
    }
    m_pWorkSet->FreeSpectra();
    m_pWorkSet->m_bWorkSet = 0;
    m_pWorkSet = nullptr;
    m_bModified = false;
    if (projectUnsaved)
        m_bFileModified = true;
    if (m_history && ProcessingHooks().clear)
        ProcessingHooks().clear(m_history);
    NotifyHistoryChanged();
    ClearRegionEstimates();
    return true;
}

void TProject::RefreshShell()
{
    if (!m_pMainFrame)
        return;
    m_pMainFrame->ShowProjectExplorer();
    ShowWorkSetInfo();
}

void TProject::OpenMiddleSliceFrames()
{
    if (!m_frameList || !m_pWorkSet || !m_frameList->IsEmpty())
        return;
    for (int axis = 0; axis < 3; ++axis)
        m_frameList->OpenSliceFrameByIndex(axis, m_pWorkSet->m_nDim[axis] / 2);
}

void TProject::DeleteMapList(TCSISet* pSet)
{
    delete pSet->m_pMapList;
    pSet->m_pMapList = nullptr;
}

// --- images --------------------------------------------------------------------------------

void TProject::LocateImagesInWorkSet()
{
    m_pImageSet->LocateAllInCSISet();
}

void TProject::ShiftWorkSetVoxels(const TPoint2D& shift, int sliceAxis)
{
    if (m_pWorkSet)
        m_pWorkSet->ShiftVoxels(shift, sliceAxis);
}

bool TProject::ModifiedWhenImagesAdded(const std::function<bool(TImageSet&)>& make)
{
    const int before = m_pImageSet->GetCount();
    const bool ok = make(*m_pImageSet);
    if (m_pImageSet->GetCount() != before)
        SetFileModified();
    return ok;
}

bool TProject::Reconstruct3D(std::vector<TMRImage*> images)
{
    return NewFiles() && ModifiedWhenImagesAdded([&](TImageSet& set) { return set.Reconstruct3D(images); });
}

bool TProject::AverageImages(std::vector<TMRImage*> images)
{
    return NewFiles() && ModifiedWhenImagesAdded([&](TImageSet& set) { return set.AverageImages(images); });
}

TMRImage* TProject::FindNearestImage(int orientation, float from, float to) const
{
    return m_pImageSet->FindNearest(orientation, from, to);
}

// --- processing ----------------------------------------------------------------------------

void TProject::ClearAllOperations()
{
    const TProcessingHooks& hooks = ProcessingHooks();
    bool undoFailed = false;
    {
        vx::TWaitCursor wait;
        if (m_history && hooks.cannotUndo && hooks.undo)
            while (!hooks.cannotUndo(m_history))
                if (!hooks.undo(m_history)) {
                    undoFailed = true;
                    break;
                }
        if (m_history && hooks.clear && !undoFailed)
            hooks.clear(m_history);
    }
    NotifyHistoryChanged();
    if (!m_pWorkSet)
        return;
    if (undoFailed) {
        // The steps left stay undoable; the maps and windows follow the set as it now is.
        m_pWorkSet->SamplesChanged();
        MarkAnalysesNotComputed();
        m_pWorkSet->UpdateMaps();
        UpdateFrames(true, true, true, true, true);
        UpdateRegionEstimates();
        if (m_pMainFrame) {
            m_pMainFrame->RefreshVoxelWindows();
            m_pMainFrame->RefreshRegionWindows();
        }
        RefreshShell();
        return;
    }
    DeleteMapList(m_pWorkSet);
    if (m_pMainFrame)
        m_pMainFrame->CloseAllChildWindows();
    CloseImageFrames();
    ClearRegionEstimates();
    // Every step undone: the set holds the samples of its file again.
    m_pWorkSet->SamplesAsInFile();
    m_bModified = false;
    LocateImagesInWorkSet();
    ResetSpectrumDisplay(true);
    OpenMiddleSliceFrames();
    UpdateFrames(false, false, false, false, true);
    RefreshShell();
}

void TProject::ClearRegionEstimates()
{
    const TProcessingHooks& hooks = ProcessingHooks();
    for (TRegionEstimate* pEstimate : m_regionEstimates)
        if (hooks.deleteEstimate)
            hooks.deleteEstimate(pEstimate);
    m_regionEstimates.clear();
    for (auto& [key, pRegion] : m_drawnRegions)
        if (hooks.deleteRegion)
            hooks.deleteRegion(pRegion);
    m_drawnRegions.clear();
}

void TProject::UpdateRegionEstimates()
{
    if (!ProcessingHooks().rerunEstimate)
        return;
    for (TRegionEstimate* pEstimate : m_regionEstimates)
        ProcessingHooks().rerunEstimate(pEstimate);
}

void TProject::SetAnalysesDone(bool done)
{
    if (!ProcessingHooks().setAnalysisComputed)
        return;
    for (TAnalysis* pAnalysis : m_analyses)
        ProcessingHooks().setAnalysisComputed(pAnalysis, done);
}

void TProject::MarkAnalysesNotComputed()
{
    SetAnalysesDone(false);
}

void TProject::RecordStep(TProcessStep* pStep, bool dataChanged)
{
    const TProcessingHooks& hooks = ProcessingHooks();
    if (m_history && hooks.addStep)
        hooks.addStep(m_history, pStep);
    else if (hooks.deleteStep)
        hooks.deleteStep(pStep);
    if (dataChanged)
        SamplesChanged();
    NotifyHistoryChanged();
}

bool TProject::Undo()
{
    const bool moved = m_history && ProcessingHooks().undo && ProcessingHooks().undo(m_history);
    SamplesChanged();
    NotifyHistoryChanged();
    return moved;
}

bool TProject::Redo()
{
    const bool moved = m_history && ProcessingHooks().redo && ProcessingHooks().redo(m_history);
    SamplesChanged();
    NotifyHistoryChanged();
    return moved;
}

void TProject::SamplesChanged()
{
    // The work set's samples are no longer those the analyses were made from, nor those
    // of its file.
    if (m_pWorkSet)
        m_pWorkSet->SamplesChanged();
    MarkAnalysesNotComputed();
}

void TProject::NotifyHistoryChanged()
{
    if (m_pMainFrame)
        m_pMainFrame->HistoryChanged();
}

void TProject::DeleteAnalyses()
{
    for (TAnalysis* pAnalysis : m_analyses)
        DeleteAnalysis(pAnalysis);
    m_analyses.clear();
}

void TProject::DeleteAnalysis(TAnalysis* pAnalysis)
{
    // Component maps made from it stay with their sets and keep their values.
    for (TCSISet* pSet : *m_pCSISetList)
        if (pSet->m_pMapList)
            pSet->m_pMapList->DetachAnalysis(pAnalysis);
    if (ProcessingHooks().deleteAnalysis)
        ProcessingHooks().deleteAnalysis(pAnalysis);
}

void TProject::DestroyHistory()
{
    if (m_history && ProcessingHooks().deleteHistory)
        ProcessingHooks().deleteHistory(m_history);
    m_history = nullptr;
}

// --- maps ----------------------------------------------------------------------------------

std::vector<TMap*> TProject::CollectMarkedMaps() const
{
    std::vector<TMap*> maps;
    for (const TCSISet* pSet : *m_pCSISetList)
        if (pSet->m_pMapList)
            for (TMap* pMap : *pSet->m_pMapList)
                if (pMap->useInternalReference)
                    maps.push_back(pMap);
    return maps;
}

TMap* TProject::FindSetMap(const std::string& setName, const std::string& mapName) const
{
    const TCSISet* pSet = m_pCSISetList->FindByName(setName);
    return pSet ? pSet->FindMap(mapName) : nullptr;
}

// --- information window --------------------------------------------------------------------

void TProject::ShowWorkSetInfo(TCSISet* pSet)
{
    if (IInfoFrame* pInfo = m_pMainFrame ? m_pMainFrame->GetInfoFrame() : nullptr)
        pInfo->UpdateCSIPage(pSet);
}

void TProject::ShowImageInfo(TMRImage* pImage)
{
    if (IInfoFrame* pInfo = m_pMainFrame ? m_pMainFrame->GetInfoFrame() : nullptr)
        pInfo->UpdateImagePage(pImage);
}

void TProject::ShowMapInfo(std::vector<TMRImage*> overlays)
{
    if (IInfoFrame* pInfo = m_pMainFrame ? m_pMainFrame->GetInfoFrame() : nullptr)
        pInfo->UpdateMapPage(std::move(overlays));
}

// --- image frames --------------------------------------------------------------------------

void TProject::CloseImageFrames()
{
    if (m_frameList)
        m_frameList->DestroyAll();
}

void TProject::UpdateFrames(bool reload, bool image, bool regions, bool voi, bool rebuild)
{
    if (m_frameList)
        m_frameList->UpdateAll(reload, image, regions, voi, rebuild);
}

void TProject::RedrawVoxel(int x, int y, int z)
{
    if (m_frameList)
        m_frameList->RedrawVoxel(x, y, z);
}

void TProject::RedrawVoxelSet(const std::vector<TSpectrum*>& voxels)
{
    if (m_frameList)
        m_frameList->RedrawVoxelSet(voxels);
}

bool TProject::CloseImageFrame(TMRImage* pImage)
{
    return m_frameList ? m_frameList->CloseImageFrame(pImage) : false;
}

CChildFrame* TProject::OpenImageFrame(TMRImage* pImage)
{
    return m_frameList ? m_frameList->OpenImageFrame(pImage) : nullptr;
}

CChildFrame* TProject::OpenSliceFrameByIndex(int axis, int index)
{
    return m_frameList ? m_frameList->OpenSliceFrameByIndex(axis, index) : nullptr;
}

CChildFrame* TProject::OpenSliceFrameByPosition(int axis, float position)
{
    return m_frameList ? m_frameList->OpenSliceFrameByPosition(axis, position) : nullptr;
}

void TProject::ApplyMapScale(TMap* pMap)
{
    if (m_frameList)
        m_frameList->ApplyMapScale(pMap);
}

void TProject::RefreshSliceFrameImages()
{
    if (m_frameList)
        m_frameList->RefreshSliceFrameImages();
}
