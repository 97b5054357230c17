#include "processing/TProcessHistory.h"

#include <algorithm>
#include <string>

#include "platform/TTextFile.h"
#include "processing/MacroFile.h"
#include "processing/TProcessStep.h"

TProcessHistory::~TProcessHistory()
{
    Clear();
}

void TProcessHistory::AddStep(TProcessStep* pStep)
{
    if (!pStep)
        return;
    m_done.push_back(pStep);
    ClearList(m_undone);
}

bool TProcessHistory::Undo()
{
    const auto newest = std::find_if(m_done.rbegin(), m_done.rend(),
                                     [](const TProcessStep* pStep) { return pStep->m_bUndoable; });
    if (newest == m_done.rend())
        return false;
    TProcessStep* pStep = *newest;
    // A step whose undo fails has changed nothing (disk full, state file unreadable): it
    // stays the newest undoable step, so that the user can try again.
    if (!pStep->Undo())
        return false;
    m_done.erase(std::next(newest).base());
    m_undone.push_back(pStep);
    return true;
}

bool TProcessHistory::Redo()
{
    if (m_undone.empty())
        return false;
    TProcessStep* pStep = m_undone.back();
    if (!pStep->Redo())
        return false;
    m_undone.pop_back();
    m_done.push_back(pStep);
    return true;
}

bool TProcessHistory::CannotUndo() const
{
    return std::none_of(m_done.begin(), m_done.end(), [](const TProcessStep* pStep) { return pStep->m_bUndoable; });
}

void TProcessHistory::ClearList(std::list<TProcessStep*>& steps)
{
    while (!steps.empty()) {
        TProcessStep* pStep = steps.front();
        steps.pop_front();
        delete pStep;
    }
}

void TProcessHistory::Clear()
{
    ClearList(m_done);
    ClearList(m_undone);
}

void TProcessHistory::DisableUndo()
{
    ClearList(m_undone);
    for (TProcessStep* pStep : m_done)
        pStep->m_bUndoable = false;
}

void TProcessHistory::StartRecording()
{
    for (TProcessStep* pStep : m_done)
        pStep->m_bRecorded = false;
    for (TProcessStep* pStep : m_undone)
        pStep->m_bRecorded = false;
}

void TProcessHistory::GetStepNames(std::list<std::string>& names, bool done) const
{
    names.clear();
    for (const TProcessStep* pStep : done ? m_done : m_undone)
        if (pStep->m_bUndoable)
            names.push_front(pStep->GetDisplayName());
}

bool TProcessHistory::WriteMacro(vx::TTextFile& file) const
{
    file.WriteString(std::string(kMacroFileHeader) + "\n\n");
    for (TProcessStep* pStep : m_done)
        if (pStep->m_bRecorded)
            pStep->WriteMacro(file);
    return !file.Failed();
}
