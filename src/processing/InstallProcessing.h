#pragma once
// Connects the project to the processing library: installs the processing hooks of
// the model (history, steps, drawn regions and region estimates) so that
// TProject::RecordStep, Undo, Redo, UpdateRegionEstimates and the rest reach them.
// The application calls it once at start-up, as do tests that drive a project's
// history or estimates.
void InstallProcessing();
