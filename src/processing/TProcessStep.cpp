#include "processing/TProcessStep.h"

#include <memory>
#include <string>

#include "model/TCSISet.h"
#include "model/TFolderHold.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Workers.h"

namespace {
// A state file serves undo within this run only: after a crash nothing reads it, so its
// writes do not wait for the disk. It is still complete before it is renamed into place.
constexpr bool kDurableStates = false;

// Writes the set's samples to a state file.
TProcessStep::TStateWriter DataSetWriter(TCSISet* set)
{
    return [set](const std::string& path, const vx::TWriteFailureNote& note) {
        return set->WriteDataFile(path, kDurableStates, nullptr, note);
    };
}

}  // namespace

TProcessStep::~TProcessStep()
{
    DropState();
}

void TProcessStep::DropState()
{
    // The state file belongs to this step alone (its name was created for it).
    if (!m_strTempFile.empty())
        TFolderHold::RemoveStateFile(m_strTempFile);
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
    const std::string folder = StateFolder();
    if (folder.empty())
        return false;
    m_strTempFile = MakeTempFileName(m_pszStatePrefix, folder);
    if (write(m_strTempFile, [](const std::string& why) { return NotDoneText(TStateChange::Step, why); })) {
        TFolderHold::KeepStateFile(m_strTempFile);
        return true;
    }
    DropState();
    return false;
}

TProject* TProcessStep::StateProject() const
{
    return m_pDataSet ? m_pDataSet->GetProject() : nullptr;
}

std::string TProcessStep::StateFolder() const
{
    TProject* project = StateProject();
    return project ? project->StateFolder() : vx::TempFolder();
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
    return m_pDataSet && m_pDataSet->ReadDataFile(m_strTempFile, TCSISet::kDataFileVersion, &m_stateShape);
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

std::string TProcessStep::MakeTempFileName(const std::string& prefix, const std::string& folder)
{
    for (uint64_t n = 0;; ++n) {
        const std::string path = vx::JoinPath(folder, prefix + std::to_string(n) + ".tmp");
        switch (vx::CreateNewFile(path)) {
        case vx::TCreateResult::Created:
            return path;
        case vx::TCreateResult::Exists:
            continue;
        case vx::TCreateResult::Failed:
            // The folder cannot take files: the first writer of the state reports it.
            return path;
        }
    }
}

bool TProcessStep::SwapWithTempFile(TStateChange change)
{
    if (!m_pDataSet)
        return false;
    TCSISet* set = m_pDataSet;
    // Each file is read back only when it holds samples of the shape written to it, so
    // that no other file put in its place replaces the set.
    const std::string savedPath = m_strTempFile;
    const TSampleShape saved = m_stateShape;
    const TSampleShape current = set->SampleShape();
    const bool swapped = SwapStateFiles(
        change, DataSetWriter(set),
        [&](const std::string& path) {
            return set->ReadDataFile(path, TCSISet::kDataFileVersion, path == savedPath ? &saved : &current);
        });
    if (swapped)
        m_stateShape = current;
    return swapped;
}

bool TProcessStep::SwapStateFiles(TStateChange change, const TStateWriter& write,
                                  const std::function<bool(const std::string&)>& read)
{
    const std::string saved = m_strTempFile;
    if (saved.empty() || !m_pszStatePrefix)
        return false;
    const std::string folder = StateFolder();
    if (folder.empty())
        return false;
    std::string current = MakeTempFileName(m_pszStatePrefix, folder);
    if (current == saved) {
        // The saved file is gone and its name was free again: the read below must
        // still fail rather than read back the state just written.
        current = MakeTempFileName(m_pszStatePrefix, folder);
        TFolderHold::RemoveStateFile(saved);
    }
    bool written = false;
    try {
        written = write(current, [change](const std::string& why) { return NotDoneText(change, why); });
    } catch (...) {
        TFolderHold::RemoveStateFile(current);
        throw;
    }
    if (!written) {
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
    m_strTempFile = current;
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
