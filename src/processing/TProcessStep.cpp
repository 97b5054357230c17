#include "processing/TProcessStep.h"

#include <memory>
#include <string>

#include "model/TCSISet.h"
#include "model/TFolderHold.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/Workers.h"

namespace {

// Writes the set's samples to a state file. A state file serves undo within this run only:
// it is written into the new file made for it, which nothing reads before the step has it,
// and its writes do not wait for the disk.
TProcessStep::TStateWriter DataSetWriter(TCSISet* set)
{
    return [set](vx::TFile& file, const vx::TWriteFailureNote& note) { return set->WriteDataFile(file, note); };
}

}  // namespace

TProcessStep::~TProcessStep()
{
    DropState();
}

void TProcessStep::DropState()
{
    // The state file belongs to this step alone (its name was created for it).
    TFolderHold::RemoveStateFile(m_state);
    m_state = TStateFile();
    m_strTempFile.clear();
}

bool TProcessStep::SaveState()
{
    if (!m_pDataSet)
        return false;
    DropState();
    if (!m_pszStatePrefix)
        return true;
    // A subclass tells by its own flag whether the state was saved: a write that throws
    // leaves the file's name with the step.
    if (!WriteStateFile(DataSetWriter(m_pDataSet)))
        return false;
    m_stateShape = m_pDataSet->SampleShape();
    return true;
}

bool TProcessStep::WriteStateFile(const TStateWriter& write)
{
    TStateFile state = StateFolder();
    if (!state)
        return false;
    vx::TFile file;
    state.name = MakeTempFileName(m_pszStatePrefix, *state.folder, file);
    m_state = state;
    m_strTempFile = state.name.empty() ? std::string() : state.Path();
    // A kill here leaves an empty state, which the next open removes.
    vx::TFile::Step();
    if (write(file, [](const std::string& why) { return NotDoneText(TStateChange::Step, why); })) {
        TFolderHold::KeepStateFile(m_state);
        return true;
    }
    file.Close();
    DropState();
    return false;
}

TProject* TProcessStep::StateProject() const
{
    return m_pDataSet ? m_pDataSet->GetProject() : nullptr;
}

TStateFile TProcessStep::StateFolder() const
{
    TProject* project = StateProject();
    return project ? project->StateFolder() : TFolderHold::TempStateFolder();
}

std::string TProcessStep::NotDoneText(TStateChange change, const std::string& why)
{
    const char* what = change == TStateChange::Undo ? "undo" : (change == TStateChange::Redo ? "redo" : "step");
    std::string text = std::string("The ") + what + " was not done";
    if (!why.empty())
        text += ": " + why;
    return text + ".";
}

bool TProcessStep::ReadSavedState()
{
    return m_pDataSet && m_state &&
           m_pDataSet->ReadDataFile(*m_state.folder, m_state.name, TCSISet::kDataFileVersion, &m_stateShape);
}

bool TProcessStep::RunParallel(int parts)
{
    if (parts < 1)
        return false;
    return vx::RunWorkers(parts, [this](int index, int count) { return RunPart(count, index); });
}

bool TProcessStep::RunPart(int, int)
{
    return true;
}

bool TProcessStep::RunAllParts()
{
    const int processors = vx::ProcessorCount();
    return processors >= 2 ? RunParallel(processors) : RunPart(1, 0);
}

std::string TProcessStep::MakeTempFileName(const std::string& prefix, const vx::TFolder& folder, vx::TFile& file)
{
    for (uint64_t n = 0;; ++n) {
        const std::string name = prefix + std::to_string(n) + ".tmp";
        if (file.Make(folder, name, 0600))
            return name;
        // A folder that cannot take files: the writer of the state reports it.
        if (file.LastError() != EEXIST)
            return std::string();
    }
}

bool TProcessStep::SwapWithTempFile(TStateChange change)
{
    if (!m_pDataSet)
        return false;
    TCSISet* set = m_pDataSet;
    // Each file is read back only when it holds samples of the shape written to it, so
    // that no other file put in its place replaces the set.
    const TStateFile savedState = m_state;
    const TSampleShape saved = m_stateShape;
    const TSampleShape current = set->SampleShape();
    const bool swapped = SwapStateFiles(
        change, DataSetWriter(set),
        [&](const TStateFile& state) {
            return set->ReadDataFile(*state.folder, state.name, TCSISet::kDataFileVersion,
                                     state == savedState ? &saved : &current);
        });
    if (swapped)
        m_stateShape = current;
    return swapped;
}

bool TProcessStep::SwapStateFiles(TStateChange change, const TStateWriter& write,
                                  const std::function<bool(const TStateFile&)>& read)
{
    const TStateFile saved = m_state;
    if (!saved || m_strTempFile.empty() || !m_pszStatePrefix)
        return false;
    TStateFile current = StateFolder();
    if (!current)
        return false;
    vx::TFile file;
    current.name = MakeTempFileName(m_pszStatePrefix, *current.folder, file);
    if (current == saved) {
        // The saved file is gone and its name was free again: the read below must
        // still fail rather than read back the state just written.
        TStateFile again = current;
        again.name = MakeTempFileName(m_pszStatePrefix, *current.folder, file);
        TFolderHold::RemoveStateFile(current);
        current = again;
    }
    bool written = false;
    try {
        vx::TFile::Step();
        written = write(file, [change](const std::string& why) { return NotDoneText(change, why); });
    } catch (...) {
        file.Close();
        TFolderHold::RemoveStateFile(current);
        throw;
    }
    if (!written) {
        file.Close();
        TFolderHold::RemoveStateFile(current);
        return false;
    }
    if (!read(saved)) {
        // A read that failed part way may have changed the state: put the current
        // state back. The saved state stays in its file for another try.
        if (read(current))
            TFolderHold::RemoveStateFile(current);
        // Should even that fail, the new file holds the only copy and stays.
        return false;
    }
    TFolderHold::RemoveStateFile(saved);
    TFolderHold::KeepStateFile(current);
    m_state = current;
    m_strTempFile = current.Path();
    return true;
}

bool TProcessStep::Perform(TProcessStep* pStep, TProject& project, bool dataChanged)
{
    std::unique_ptr<TProcessStep> owned(pStep);
    if (!owned)
        return false;
    try {
        if (!owned->SaveState() || !owned->Apply())
            return false;
    } catch (...) {
        owned->RestoreSavedState();
        throw;
    }
    project.RecordStep(owned.release(), dataChanged);
    return true;
}

void TProcessStep::TakeRecordingFlag()
{
    m_bRecorded = g_pProject && g_pProject->m_bRecording;
}
