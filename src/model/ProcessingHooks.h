#pragma once
// The project owns its processing history, analyses, drawn regions and region estimates,
// whose classes live in the processing library, which itself builds on the model. So that
// the model does not depend on it, the project creates, drives and deletes those objects
// only through these hooks; the processing library installs them at start-up and model
// tests install fakes. With no hooks installed the project holds no history (undo and redo
// do nothing) and its containers stay empty.
#include <functional>

class TAnalysis;
class TDrawnRegion;
class TProcessHistory;
class TProcessStep;
class TRegionEstimate;

struct TProcessingHooks {
    // History: a new empty one, and its deletion (which deletes the steps it holds).
    std::function<TProcessHistory*()> newHistory;
    std::function<void(TProcessHistory*)> deleteHistory;
    // Appends a performed step (the history owns it from then on).
    std::function<void(TProcessHistory*, TProcessStep*)> addStep;
    std::function<void(TProcessHistory*)> undo;
    std::function<void(TProcessHistory*)> redo;
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
};

void InstallProcessingHooks(TProcessingHooks hooks);
const TProcessingHooks& ProcessingHooks();
