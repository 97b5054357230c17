#pragma once
// A step whose undo state is the whole data set, kept in a state file of the step's
// prefix: undo and redo exchange the set with that file (SwapWithTempFile), and the
// step then joins the macro when recording is on.
#include "processing/TProcessStep.h"

class TWholeSetStep : public TProcessStep {
public:
    // Writes the set to the state file; remembers that it holds the state before Apply.
    bool SaveState() override;
    // Both exchange the set with the state file (Toggle). False when the exchange did
    // not happen; the set is then as it was.
    bool Undo() override { return Toggle(); }
    bool Redo() override { return Toggle(); }
    // Reads the state file back when it holds the state before Apply.
    void RestoreSavedState() override { Applied(false); }

protected:
    // Makes the state-file name of the prefix (a literal that outlives the step).
    TWholeSetStep(int kind, const char* prefix, bool recorded, TCSISet* pSet);

    // The undo and redo of the step; steps that keep more than the set add to it.
    virtual bool Toggle() { return SwapState(); }
    // Exchanges the set with the state file and takes the project's recording flag.
    bool SwapState();
    // The end of Apply: `ok` is the kernel's result. A kernel that failed part way may
    // have changed the set, so a failed Apply reads back the state saved before it.
    bool Applied(bool ok);

private:
    const char* m_pszPrefix;
    bool m_bStateSaved = false;
};
