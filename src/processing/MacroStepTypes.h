#pragma once
// The step classes that a macro file can name, by their type number (the step's
// m_nKind). Every macro-capable step class has an entry in the table of
// MacroStepTypes.cpp.

class TProcessStep;

// A new step of the type as a macro file gives it: parameters at their defaults, no
// data set, undoable, not recorded, with a fresh state-file name when the class keeps
// one. Null for a type that no class has.
TProcessStep* CreateMacroStep(int type);
