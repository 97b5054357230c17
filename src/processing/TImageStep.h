#pragma once
// A step on the pixels of an MR image (not owned; the step has no data set). Its undo
// state is the pixels alone, kept in a state file of the step's prefix; it never goes
// into a macro file.
#include "processing/TProcessStep.h"

class TMRImage;

class TImageStep : public TProcessStep {
public:
    // Writes the pixels to a new state file in the image's project's state folder. False
    // without an image or when its pixels cannot be had or written (reported).
    bool SaveState() override;
    // Both exchange the pixels with the state file and ask the project's image frames
    // to rebuild. False, pixels as they were, without an image or when the exchange
    // did not happen; a state file that cannot be read is told in one message, as the
    // undo or redo not done and why.
    bool Undo() override { return SwapPixels(TStateChange::Undo); }
    bool Redo() override { return SwapPixels(TStateChange::Redo); }
    bool ReadMacro(vx::TTextFile&) override { return true; }
    void WriteMacro(vx::TTextFile&) override {}

    TMRImage* m_pImage;  // not owned

protected:
    // The prefix of the step's state files is a literal that outlives the step.
    TImageStep(int kind, const char* prefix, TMRImage* pImage);
    TProject* StateProject() const override;

private:
    bool SwapPixels(TStateChange change);
};
