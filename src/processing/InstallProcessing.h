#pragma once
// Connects the project to the processing library: installs the processing hooks of
// the model (history, steps) so that TProject::RecordStep, Undo, Redo and the rest
// reach TProcessHistory. The application calls it once at start-up, as do tests that
// drive a project's history.
void InstallProcessing();
