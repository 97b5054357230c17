#pragma once
// The steps of one macro file as one step: the project's macro run reads a file into it,
// applies it to the work set and records it, so that one undo takes the whole macro back.
#include <list>

#include "processing/TProcessStep.h"

class TMacroStep : public TProcessStep {
public:
    static constexpr int kKind = 14;

    // No state file of its own: every member keeps its own state.
    TMacroStep(bool recorded, TCSISet* pSet);
    // Deletes the members.
    ~TMacroStep() override;

    // Every member in order: its state saved, then applied. A member whose state cannot
    // be saved or that fails is left out (deleted) and the others go on; one report then
    // names the steps left out, and the result is false. False without a data set or
    // without members. A member that throws leaves the set as before the macro: its
    // saved state is read back, the members before it are undone, and the exception
    // passes on.
    bool Apply() override;
    // The members' undo, last first / redo, first first. When a member's fails, the ones
    // already taken back are done again (and the other way round), so the set is whole
    // as before the call; the result is then false.
    bool Undo() override;
    bool Redo() override;
    // Reads a whole macro file into the members (ReadMacroSteps). On failure the members
    // read so far stay; the caller deletes the step.
    bool ReadMacro(vx::TTextFile& file) override;
    // The blocks of the members in order, so a replayed macro records step by step.
    void WriteMacro(vx::TTextFile& file) override;
    std::string GetDisplayName() const override { return "macro"; }
    // Stores the set and hands it to every member.
    void SetDataSet(TCSISet* pSet) override;
    // The members' state files.
    void DropState() override;

    std::list<TProcessStep*> m_members;  // owned, in file order

private:
    // Undo (undo true) or Redo of every member, as one.
    bool Exchange(bool undo);
};
