#pragma once
// A step whose undo state is the whole data set, kept in a state file of the step's
// prefix: undo and redo exchange the set with that file (SwapWithTempFile), and the
// step then joins the macro when recording is on.
#include "processing/TProcessStep.h"

class TWholeSetStep : public TProcessStep {
public:
    // Writes the set to a new state file; remembers whether it holds this set's state
    // before Apply (not when the save failed or threw).
    bool SaveState() override;
    void DropState() override;
    // Both exchange the set with the state file (Toggle). False when the exchange did
    // not happen; the set is then as it was.
    bool Undo() override { return Toggle(TStateChange::Undo); }
    bool Redo() override { return Toggle(TStateChange::Redo); }
    // Reads the state file back when it holds the state before Apply.
    void RestoreSavedState() override { Applied(false); }

protected:
    // The prefix of the step's state files is a literal that outlives the step.
    TWholeSetStep(int kind, const char* prefix, bool recorded, TCSISet* pSet);

    // The undo and redo of the step; steps that keep more than the set add to it.
    virtual bool Toggle(TStateChange change) { return SwapState(change); }
    // Exchanges the set with the state file and takes the project's recording flag.
    bool SwapState(TStateChange change);
    // The end of Apply: `ok` is the kernel's result. A kernel that failed part way may
    // have changed the set, so a failed Apply reads back the state saved before it.
    bool Applied(bool ok);

private:
    bool m_bStateSaved = false;
};
