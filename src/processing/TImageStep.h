#pragma once
// A step on the pixels of an MR image (not owned; the step has no data set). Its undo
// state is the pixels alone, kept in a state file of the step's prefix; it never goes
// into a macro file.
#include "processing/TProcessStep.h"

class TMRImage;

class TImageStep : public TProcessStep {
public:
    // False without an image or when its pixels cannot be had or written (reported).
    bool SaveState() override;
    // Both exchange the pixels with the state file and ask the project's image frames
    // to rebuild. False, pixels as they were, without an image or when the exchange
    // did not happen.
    bool Undo() override { return SwapPixels(); }
    bool Redo() override { return SwapPixels(); }
    bool ReadMacro(vx::TTextFile&) override { return true; }
    void WriteMacro(vx::TTextFile&) override {}

    TMRImage* m_pImage;  // not owned

protected:
    // Makes the state-file name of the prefix (a literal that outlives the step).
    TImageStep(int kind, const char* prefix, TMRImage* pImage);

private:
    bool SwapPixels();

    const char* m_pszPrefix;
};
