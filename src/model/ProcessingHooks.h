#pragma once
// The project owns its processing history, analyses, drawn regions and region estimates,
// whose classes live in the processing library, which itself builds on the model. So that
// the model does not depend on it, the project creates, drives and deletes those objects
// only through these hooks; the processing library installs them at start-up and model
// tests install fakes. With no hooks installed the project holds no history (undo and redo
// do nothing) and its containers stay empty.
#include <functional>
#include <vector>

namespace vx {
class TFile;
class TTextFile;
}  // namespace vx

class TAnalysis;
class TCSISet;
class TMRImage;
class TDrawnRegion;
class TProcessHistory;
class TProcessStep;
class TProject;
class TRegionEstimate;

struct TProcessingHooks {
    // History: a new empty one, and its deletion (which deletes the steps it holds).
    std::function<TProcessHistory*()> newHistory;
    std::function<void(TProcessHistory*)> deleteHistory;
    // Appends a performed step (the history owns it from then on).
    std::function<void(TProcessHistory*, TProcessStep*)> addStep;
    // Undo and redo of one step; false when nothing moved (a step that fails stays where it was).
    std::function<bool(TProcessHistory*)> undo;
    std::function<bool(TProcessHistory*)> redo;
    // True when no step of the done list can be undone.
    std::function<bool(TProcessHistory*)> cannotUndo;
    // True when the undone list holds a step (Redo is offered).
    std::function<bool(TProcessHistory*)> canRedo;
    // Deletes every step.
    std::function<void(TProcessHistory*)> clear;
    // Makes every done step non-undoable (the work set was written to disk).
    std::function<void(TProcessHistory*)> disableUndo;
    // Deletes a step that no history takes.
    std::function<void(TProcessStep*)> deleteStep;

    std::function<void(TAnalysis*)> deleteAnalysis;
    std::function<void(TAnalysis*, bool)> setAnalysisComputed;
    std::function<void(TDrawnRegion*)> deleteRegion;
    std::function<void(TRegionEstimate*)> deleteEstimate;
    // Runs the spectral estimation of an estimate again.
    std::function<bool(TRegionEstimate*)> rerunEstimate;
    // The analyses' part of the project file, after the CSI set records: written (false
    // when a write failed) only when the project has analyses (or kept records of them);
    // read into the project when the file holds it, telling of the records left out
    // (false when the part is damaged).
    std::function<bool(vx::TFile&, const TProject&)> writeAnalyses;
    std::function<bool(vx::TFile&, TProject&)> readAnalyses;

    // What an object refers to, so that removing a set or an image first deletes what
    // would point at it. An object whose question has no hook counts as referring to it.
    std::function<bool(TAnalysis*, const TCSISet*)> analysisUsesSet;
    std::function<bool(TRegionEstimate*, const TCSISet*)> estimateUsesSet;
    std::function<bool(TRegionEstimate*, const TMRImage*)> estimateUsesImage;
    std::function<bool(TDrawnRegion*, const TMRImage*)> regionUsesImage;

    // Macro runs: a new macro step for the set with the recording flag; it reads the
    // steps of an open macro file (false for a file of the wrong format); then it is
    // handed the set and applied, without saving a state first.
    std::function<TProcessStep*(bool recording, TCSISet* set)> newMacroStep;
    std::function<bool(TProcessStep*, vx::TTextFile& file)> readMacro;
    std::function<bool(TProcessStep*, TCSISet*)> applyStep;
    // Deletes the undo state files a step keeps (all of a macro's steps): a batch run,
    // which never undoes, calls it after each set.
    std::function<void(TProcessStep*)> dropStates;
    // After readMacro or applyStep: true when the macro step holds no step (none was read,
    // or none could be applied), so that there is nothing to apply or to record.
    std::function<bool(TProcessStep*)> macroIsEmpty;
};

void InstallProcessingHooks(TProcessingHooks hooks);
const TProcessingHooks& ProcessingHooks();
