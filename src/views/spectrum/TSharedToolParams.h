#pragma once
// The analysis tools' last numbers, shared by every voxel window for the whole run: the
// control panel shows them when a tool starts and stores what was typed when the tool's
// Apply runs (CVoxelWndDlgView::ReadToolParams).
struct TSharedToolParams {
    int components = 4;          // principal components of a PCA, basis spectra of an NMF
    int selectedOnly = 1;        // 1: analyses take the selected voxels only
    int runs = 1;                // NMF runs
    int lipidComponents = 3;     // components of the lipid signal-space projection
    float errorThreshold = 0.00001f;  // NMF convergence
    float noiseFactor = 1.0f;    // peak find: standard deviations above the noise mean
};

// The one instance of the run.
TSharedToolParams& SharedToolParams();
