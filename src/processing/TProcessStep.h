#pragma once
// The base of every processing step: a change to the spectra of a CSI set (or to the
// pixels of an MR image) that knows how to perform itself, take itself back and do
// itself again, how to go into a macro file and come back from one, and how to split
// its work over worker threads.
//
// Caller protocol for a new step: construct it with its parameters, the project's
// recording flag and its data set; SaveState; Apply; then hand it to the project
// (TProject::RecordStep), whose history owns it from then on. Perform() does exactly
// this and drops the step when its state cannot be saved or it cannot be applied.
#include <cstdint>
#include <functional>
#include <string>

#include "model/TSampleShape.h"
#include "model/TStateFile.h"
#include "platform/Files.h"

class TCSISet;
class TProject;

namespace vx {
class TFile;
class TTextFile;
}

class TProcessStep {
public:
    TProcessStep() = default;
    TProcessStep(bool recorded, TCSISet* pDataSet) : m_bRecorded(recorded), m_pDataSet(pDataSet) {}
    // Deletes the step's state file, if it has one.
    virtual ~TProcessStep();
    TProcessStep(const TProcessStep&) = delete;
    TProcessStep& operator=(const TProcessStep&) = delete;

    // Takes the step back / does it again after an undo. False when nothing changed
    // (the state could not be exchanged); the history then keeps the step where it was.
    virtual bool Undo() = 0;
    virtual bool Redo() = 0;
    // Reads the step's key lines from a macro file up to and including its closing line.
    virtual bool ReadMacro(vx::TTextFile& file) = 0;
    // Writes the step's block to a macro file; steps that never go into a macro write
    // nothing. Write failures stay in the file (TTextFile::Failed).
    virtual void WriteMacro(vx::TTextFile& file) = 0;
    // Performs the step on its data set (or image). False when it could not: the data
    // are then as before (a step that fails part way puts its saved state back itself).
    virtual bool Apply() = 0;
    // Keeps what undo needs, before Apply, for the data set the step has now. False
    // without a data set; true at once for a step without a state prefix; otherwise
    // writes the data set to a new state file of the prefix in StateFolder(). A state
    // kept before (for another set, or an earlier try) is dropped first, so that a
    // failure never leaves an older state to be taken for this one.
    virtual bool SaveState();
    // Deletes the step's state file; the step can then no longer be undone or redone.
    virtual void DropState();
    // Reads the state that SaveState wrote back into the data set; a file whose grid or
    // point count is not that of the saved set is refused (reported). False on failure,
    // the set then as it was.
    bool ReadSavedState();
    // Puts the data back as SaveState kept them, after an Apply that ended by an
    // exception. Steps without a state of their own to read back do nothing.
    virtual void RestoreSavedState() {}
    // The step's name in the undo and redo lists.
    virtual std::string GetDisplayName() const = 0;
    virtual void SetDataSet(TCSISet* pSet) { m_pDataSet = pSet; }
    // Runs RunPart(parts, k) for k = 0..parts-1 on `parts` worker threads and waits for
    // all; true only when every worker succeeded. False for a part count below 1.
    virtual bool RunParallel(int parts);
    // The share of worker `index` of `parts`. The base has no work.
    virtual bool RunPart(int parts, int index);

    // The step's work on the processor count's workers when there are 2 or more, else
    // in one part on the calling thread. Steps call it from Apply.
    bool RunAllParts();

    // A fresh state file in the folder: prefix, a decimal counter from 0 and ".tmp", the
    // first name no file has. The file is made at once, private to this user (0600 at
    // most, whatever the umask) and open in `file` to be written, never through a link at
    // its name, so that no other step takes the name and no one else reads the state.
    // Gives the name; empty when the file could not be made: `file` then is not open, and
    // names the file tried and says why.
    static std::string MakeTempFileName(const std::string& prefix, const vx::TFolder& folder, vx::TFile& file);
    // Where the step keeps its state files: the state folder of the project that owns
    // its data (TProject::StateFolder), the system's temporary folder without one. None
    // when the project has no folder for them now (it has said why): no state is kept.
    TStateFile StateFolder() const;

    // What a state file is written for; a failed write says that this was not done.
    enum class TStateChange { Step, Undo, Redo };
    // The sentence after a failed state write: "The undo was not done: the disk is full."
    static std::string NotDoneText(TStateChange change, const std::string& why);

    // Exchanges the data set with the state in m_strTempFile (the shared undo and redo
    // of steps whose state is the whole set): the current samples go to a new state
    // file, the saved ones are read back, and the old file is deleted. Nothing is
    // lost on failure: a failed write changes nothing; a failed read restores the set
    // from the new file and keeps the old one. False (reported by the data-set file
    // routines, a failed write saying that the undo or redo was not done) when the
    // exchange did not happen, and without a data set.
    bool SwapWithTempFile(TStateChange change);
    // The exchange itself for any state: `write` puts the current state into a new
    // file, open to write, and reports its failure (one that did not open too) with the
    // note; `read` takes a file's state back and reports its own failure. The rules are
    // those of SwapWithTempFile.
    using TStateWriter = std::function<bool(vx::TFile& file, const vx::TWriteFailureNote& note)>;
    bool SwapStateFiles(TStateChange change, const TStateWriter& write,
                        const std::function<bool(const TStateFile&)>& read);

    // Performs a new step by the caller protocol and hands it to the project's history.
    // A step whose state cannot be saved or whose Apply fails is deleted instead, and
    // the result is false; the history is then unchanged. An exception from Apply
    // passes on after the step has restored its saved state and been deleted.
    static bool Perform(TProcessStep* pStep, TProject& project, bool dataChanged);

    int32_t m_nKind = -1;        // the step's kind number; every concrete class sets its own
    std::string m_strTempFile;   // full path of the state file; empty until a state is saved
    TStateFile m_state;          // the state file, reached through its folder
    TSampleShape m_stateShape;   // grid and points of the set in the state file
    bool m_bUndoable = true;     // cleared when the work set is saved
    bool m_bRecorded = false;    // belongs to the macro being recorded
    TCSISet* m_pDataSet = nullptr;  // not owned; null until given

protected:
    // Sets m_bRecorded from the open project's recording flag (steps that join a running
    // recording when they are undone or redone).
    void TakeRecordingFlag();
    // The project whose state folder takes the step's files: its set's.
    virtual TProject* StateProject() const;
    // Writes the state with `write` to a new state file of the prefix in StateFolder(),
    // a failure reported as a step not done. The name is the step's at once, so that its
    // file goes with the step even when the write throws; a failed write leaves no file.
    bool WriteStateFile(const TStateWriter& write);

    // The start of state-file names of steps that keep a state file (a literal that
    // outlives the step); null for steps without one.
    const char* m_pszStatePrefix = nullptr;
};
