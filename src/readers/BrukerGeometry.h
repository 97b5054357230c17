#pragma once
// The slice-package geometry of a Bruker method file, shared by the CSI readers and the
// image reader: slice orientation, read direction, offsets and the three gradient
// directions, and how they place a grid. Axes are 0 x (left-right), 1 y
// (anterior-posterior), 2 z (feet-head); the slice orientation 0 sagittal, 1 coronal,
// 2 axial is also the slice axis.
#include <functional>
#include <string>
#include <vector>

class TBrukerParameterFile;

// The slice orientation of a "##$PVM_SPackArrSliceOrient" value line: 1 when it contains
// "coronal", else 0 for "sagittal", else 2 for "axial"; -1 when it names none of them.
int BrukerSliceOrientation(const std::string& valueLine);

// The read and phase axes of a slice orientation and a read-orientation text, which must
// be exactly "H_F", "A_P" or "L_R" (a value line that kept its carriage return matches
// none). False for another text, a read direction along the slice axis, or an
// orientation outside 0 .. 2.
bool BrukerReadPhaseAxes(int sliceAxis, const std::string& readOrientation, int& readAxis, int& phaseAxis);

// The values of the method file's first slice package.
struct TBrukerSlicePackage {
    int sliceAxis = 0;
    std::string readOrientation;  // the whole value line
    float readOffset = 0.0f;      // mm
    float phaseOffset = 0.0f;     // mm
    float sliceOffset = 0.0f;     // mm
    // Read direction g0-g2, phase direction g3-g5, slice direction g6-g8.
    float gradient[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
};

enum class TBrukerKeyResult {
    NotPackageKey,       // another key: the caller handles it
    Taken,               // stored; the key's value line has been read
    NoValues,            // the file ends before the key's value line
    NoSliceOrientation,  // the value line names no slice orientation
    EndOfScan            // the gradient directions are not nine numbers: the scan ends here
};
// Takes one slice-package key ("##$PVM_SPackArrSliceOrient", "...ReadOrient",
// "...ReadOffset", "...Phase1Offset", "...SliceOffset", "...GradOrient") with its values,
// which follow the key line in the file.
TBrukerKeyResult TakeSlicePackageKey(const std::string& key, TBrukerParameterFile& file,
                                     TBrukerSlicePackage& package);

// Scans the key lines of a method file, each split at `delimiters` into at least two tokens:
// the slice-package keys go into `package`, every other line to `onKey`, which returns false
// to fail the scan (and says why). False when a value line is missing or no slice
// orientation is named, each with a message, or when `onKey` fails; text in place of the
// gradient directions ends the scan as the end of the file does.
bool ScanMethodKeys(TBrukerParameterFile& file, const char* delimiters, TBrukerSlicePackage& package,
                    const std::function<bool(const std::vector<std::string>& tokens)>& onKey);

// Where a slice package puts its grid.
struct TBrukerPlacement {
    int readAxis = 0;
    int phaseAxis = 1;
    int sliceAxis = 2;
    float offset[3] = {};  // the package's read, phase and slice offsets on their set axes, mm
    // Patient to grid: column readAxis is the read direction, column phaseAxis the phase
    // direction, column sliceAxis the slice direction; row-major, with its inverse.
    float rotation[9] = {};
    float inverse[9] = {};
    // The grid's off-centre: the offsets with x and y negated.
    void OffCentre(float offCentre[3]) const;
};
// False, with a message that names the method file at `methodPath`, when the read
// orientation does not fit the slice orientation, or the gradient directions are singular
// or not finite.
bool PlaceSlicePackage(const TBrukerSlicePackage& package, TBrukerPlacement& placement,
                       const std::string& methodPath);
