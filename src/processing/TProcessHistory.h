#pragma once
// The project's record of performed processing steps: the order of Edit/Undo and
// Edit/Redo, the names in the toolbar's drop-down lists, and the macro recorder (a macro
// file is written from the recorded steps it holds). Used on the user-interface thread.
#include <list>
#include <string>

class TProcessStep;

namespace vx {
class TTextFile;
}

class TProcessHistory {
public:
    TProcessHistory() = default;
    // Deletes every step.
    virtual ~TProcessHistory();
    TProcessHistory(const TProcessHistory&) = delete;
    TProcessHistory& operator=(const TProcessHistory&) = delete;

    // Takes the performed step (owned from now on) and deletes every undone step.
    void AddStep(TProcessStep* pStep);
    // Takes back the newest undoable step and moves it to the undone list; a step whose
    // undo fails stays done and undoable. False when nothing was undone.
    bool Undo();
    // Does the last undone step again and moves it back to the done list; a step whose
    // redo fails stays undone. False when nothing was redone.
    bool Redo();
    // True when no done step can be undone.
    bool CannotUndo() const;
    // Deletes every step.
    void Clear();
    // The work set was written to disk: the undone steps go, the done ones stay (they
    // still count for the macro) but can no longer be undone.
    void DisableUndo();
    // Only steps performed from now on are recorded.
    void StartRecording();
    // Display names of the undoable steps of the done list (done true) or of the undone
    // list, newest first.
    void GetStepNames(std::list<std::string>& names, bool done) const;
    // The macro file: the header line, an empty line and the block of every recorded
    // done step, oldest first. False when a write failed.
    bool WriteMacro(vx::TTextFile& file) const;

    // Performed steps, oldest first; undone steps, the last undone at the back.
    const std::list<TProcessStep*>& DoneSteps() const { return m_done; }
    const std::list<TProcessStep*>& UndoneSteps() const { return m_undone; }

private:
    // Deletes every step of the list, front first.
    static void ClearList(std::list<TProcessStep*>& steps);

    std::list<TProcessStep*> m_done;    // owned
    std::list<TProcessStep*> m_undone;  // owned
};
