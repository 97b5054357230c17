#pragma once
// A step on a CSI set that never goes into a macro file: it reads no block and writes
// none, so a recorded macro leaves it out. Its undo state is the whole set.
#include "processing/TWholeSetStep.h"

class TNonMacroSetStep : public TWholeSetStep {
public:
    bool ReadMacro(vx::TTextFile&) override { return true; }
    void WriteMacro(vx::TTextFile&) override {}

protected:
    using TWholeSetStep::TWholeSetStep;
};
