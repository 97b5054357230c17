#pragma once
// The acquisition and geometry parameters of a CSI set. A default-constructed block
// holds the defaults of a new set; copying it copies texts and per-slice phases too.
#include <string>
#include <vector>

class TProject;

// Phases of one slice of a multi-slice set (three 4-byte words in the files).
struct TSlicePhase {
    float m_fPhase0 = 0.0f;  // zero-order phase, radians
    float m_fPhase1 = 0.0f;  // first-order phase, radians
    float m_fPivot = 0.0f;   // first-order pivot point
};

struct TCSIParams {
    float m_fFOV[3] = {240.0f, 240.0f, 240.0f};  // field of view, mm
    float m_fVoxelShift[3] = {0, 0, 0};          // shift of the grid against the acquired one, mm
    float m_fAngulation[3] = {0, 0, 0};          // degrees
    float m_fOffCentre[3] = {0, 0, 0};           // mm
    int m_nSpectralWidth = 0;                    // Hz
    float m_fPhase0 = 0.0f;                      // whole-set zero-order phase, radians
    float m_fPhase1 = 0.0f;                      // whole-set first-order phase, radians
    float m_fFrequency = 0.0f;                   // spectrometer frequency, MHz
    float m_fPPMCentrePoint = 0.0f;  // point position (fractional) where the ppm axis is 0
    float m_fPPMCentreValue = 0.0f;  // the reference value chosen with it
    int m_bEchoShifted = 0;          // echo acquisition: the echo top is not at point 0 (0 or 1)
    int m_bMultiSlice = 0;           // stack of slices along the slice axis, phases per slice
    int m_bFrequencyDomain = 0;      // 1 frequency domain, 0 time domain
    int m_bKSpace = 1;               // 1 grid in k-space, 0 in voxel space
    int m_nDim[3] = {1, 1, 1};       // matrix size per axis, voxels
    int m_nFirstPoint = 0;           // displayed/processed point range, inclusive
    int m_nLastPoint = 0;
    int m_nEchoPosition = 0;  // index of the echo top in the time-domain signal
    int m_nPoints = 0;        // samples per spectrum
    int m_nPivot = 0;         // first-order phase pivot point
    int m_nFormat = 0;        // format index the set was read with
    int m_nSpatialDims = 0;   // 2 or 3 for a two- or three-dimensional acquisition
    int m_nSliceAxis = 0;     // 0, 1 or 2; also the orientation index
    TProject* m_pProject = nullptr;  // owning project, not owned
    // Data range over all voxels.
    float m_fRealMax = 0, m_fRealMin = 0, m_fImagMax = 0, m_fImagMin = 0, m_fMagnitudeMax = 0;
    // Amplitude range offered to the spectrum display.
    float m_fDisplayMax = 0, m_fDisplayMin = 0;
    std::string m_strFilePath;  // the set's CSI data-set file
    std::string m_strName;
    std::string m_strDataPath;  // source: the data file the set was read from
    std::string m_strExamName = "n/a";
    std::string m_strExamDate = "n/a";
    std::string m_strPatientName = "n/a";
    std::string m_strPatientPosition = "n/a";
    std::string m_strPatientOrientation = "n/a";
    std::string m_strNucleus = "n/a";
    float m_fTR = 0.0f;        // ms
    float m_fAverages = 0.0f;  // number of averages
    float m_fTE = 0.0f;        // ms
    int m_nVolumes = 0;        // localisation boxes, 0 to 2
    // Localisation boxes, [axis][box]; the first block is kept for the readers only.
    float m_fVolReserved[3][2] = {};
    float m_fVolOffCentre[3][2] = {};   // box centre, patient coordinates, mm
    float m_fVolAngulation[3][2] = {};  // degrees
    float m_fVolSize[3][2] = {};        // mm
    float m_fRotation[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};         // patient to CSI, row-major
    float m_fRotationInverse[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // CSI to patient
    std::string m_strOrientation = "RAH";  // three axis letters
    std::string m_strPatientBirthDate = "n/a";
    std::vector<TSlicePhase> m_slicePhases;  // one entry per slice of a multi-slice set
    float m_fSliceThickness = 0.0f;  // mm
    float m_fSliceGap = 0.0f;        // mm
    // [0] reader value, [1] coil quality factor, [2] receiver gain (dB).
    float m_fExtra[3] = {0.0f, 1.0f, 0.0f};
    // Sums of the line broadenings applied so far by the filters, Hz.
    float m_fLorentzBroadening = 0.0f;
    float m_fGaussBroadening = 0.0f;
};
