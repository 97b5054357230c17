#include "processing/TMacroStep.h"

#include <string>

#include "platform/Report.h"
#include "processing/MacroFile.h"

TMacroStep::TMacroStep(bool recorded, TCSISet* pSet) : TProcessStep(recorded, pSet)
{
    m_nKind = kKind;
}

TMacroStep::~TMacroStep()
{
    for (TProcessStep* pStep : m_members)
        delete pStep;
}

bool TMacroStep::Apply()
{
    if (!m_pDataSet || m_members.empty())
        return false;
    std::string failed;
    for (auto it = m_members.begin(); it != m_members.end();) {
        TProcessStep* pStep = *it;
        bool applied = false;
        try {
            // A member that could not be undone must not change the set either.
            applied = pStep->SaveState() && pStep->Apply();
        } catch (...) {
            // The set goes back to what it was before the macro: the member's own
            // changes from its saved state, those of the members before it by their undo.
            pStep->RestoreSavedState();
            while (it != m_members.begin())
                (*--it)->Undo();
            throw;
        }
        if (applied) {
            ++it;
            continue;
        }
        failed += (failed.empty() ? "" : ", ") + pStep->GetDisplayName();
        delete pStep;
        it = m_members.erase(it);
    }
    if (failed.empty())
        return true;
    vx::Report("These steps of the macro failed and were left out: " + failed + ".", vx::ReportIcon::Exclamation);
    return false;
}

namespace {

// Calls `first` on every member from `begin` to `end`; when one fails, calls `second`
// on those already done, latest first, and returns false.
template <class It, class Fn>
bool AllOrNone(It begin, It end, Fn first, Fn second)
{
    for (It it = begin; it != end; ++it) {
        TProcessStep* pStep = *it;
        if ((pStep->*first)())
            continue;
        while (it != begin) {
            --it;
            ((*it)->*second)();
        }
        return false;
    }
    return true;
}

}  // namespace

bool TMacroStep::Undo()
{
    return Exchange(true);
}

bool TMacroStep::Redo()
{
    return Exchange(false);
}

bool TMacroStep::Exchange(bool undo)
{
    if (!m_pDataSet)
        return false;
    const bool done = undo ? AllOrNone(m_members.rbegin(), m_members.rend(), &TProcessStep::Undo, &TProcessStep::Redo)
                           : AllOrNone(m_members.begin(), m_members.end(), &TProcessStep::Redo, &TProcessStep::Undo);
    if (!done)
        return false;
    TakeRecordingFlag();
    return true;
}

bool TMacroStep::ReadMacro(vx::TTextFile& file)
{
    return ReadMacroSteps(file, m_members);
}

void TMacroStep::WriteMacro(vx::TTextFile& file)
{
    for (TProcessStep* pStep : m_members)
        pStep->WriteMacro(file);
}

void TMacroStep::SetDataSet(TCSISet* pSet)
{
    m_pDataSet = pSet;
    for (TProcessStep* pStep : m_members)
        pStep->SetDataSet(pSet);
}

void TMacroStep::DropState()
{
    for (TProcessStep* pStep : m_members)
        pStep->DropState();
    TProcessStep::DropState();
}
