#include "processing/TProcessStep.h"

#include <memory>
#include <string>

#include "model/TCSISet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Workers.h"

namespace {
// A state file serves undo within this run only: after a crash nothing reads it, so its
// writes do not wait for the disk. It is still complete before it is renamed into place.
constexpr bool kDurableStates = false;
}  // namespace

TProcessStep::~TProcessStep()
{
    // The state file belongs to this step alone (its name was created for it).
    if (!m_strTempFile.empty())
        vx::RemoveFile(m_strTempFile);
    m_strTempFile.clear();
}

bool TProcessStep::SaveState()
{
    if (!m_pDataSet)
        return false;
    if (m_strTempFile.empty())
        return true;
    if (!m_pDataSet->WriteDataFile(m_strTempFile, kDurableStates))
        return false;
    m_stateShape = m_pDataSet->SampleShape();
    return true;
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

std::string TProcessStep::MakeTempFileName(const std::string& prefix)
{
    std::string folder = g_pProject ? g_pProject->m_strFolder : std::string();
    // A project that has no folder yet must not put its files into whatever folder the
    // process happens to run in.
    if (folder.empty())
        folder = vx::TempFolder();
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

bool TProcessStep::SwapWithTempFile(const std::string& prefix)
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
        prefix, [set](const std::string& path) { return set->WriteDataFile(path, kDurableStates); },
        [&](const std::string& path) {
            return set->ReadDataFile(path, TCSISet::kDataFileVersion, path == savedPath ? &saved : &current);
        });
    if (swapped)
        m_stateShape = current;
    return swapped;
}

bool TProcessStep::SwapStateFiles(const std::string& prefix, const std::function<bool(const std::string&)>& write,
                                  const std::function<bool(const std::string&)>& read)
{
    const std::string saved = m_strTempFile;
    std::string current = MakeTempFileName(prefix);
    if (current == saved) {
        // The saved file is gone and its name was free again: the read below must
        // still fail rather than read back the state just written.
        current = MakeTempFileName(prefix);
        vx::RemoveFile(saved);
    }
    if (!write(current)) {
        vx::RemoveFile(current);
        return false;
    }
    if (!read(saved)) {
        // A read that failed part way may have changed the state: put the current
        // state back. The saved state stays in its file for another try.
        if (read(current))
            vx::RemoveFile(current);
        // Should even that fail, the new file holds the only copy and stays.
        return false;
    }
    vx::RemoveFile(saved);
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
