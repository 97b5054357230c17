#pragma once
// The text files the analysis plots export: a "#" comment line naming the content, an
// empty line, a header and one line per point or voxel, fields separated by tabs, lines
// ended by a single line feed. Numbers carry a sign and a decimal point as the standard
// stream writes them with showpos and showpoint (0 as +0, 12 as +12.0000), the integer
// indices included.
#include <string>
#include <vector>

class TCSISet;
class TFloatMatrix;

namespace vx::views {

// Components (one row each): the PPM of every point of the range from firstPoint (as the
// set converts it; the point itself without a set), then each component's value.
std::string ComponentExportText(const TFloatMatrix& components, int firstPoint, const TCSISet* set);
// Score images of one slice (one per component, rows x columns alike): one line per
// voxel, columns slowest, named by the voxel's (x, y, z) with the slice along the slice
// axis `orientation` (0 sagittal, 1 coronal, 2 axial).
std::string ScoreExportText(const std::vector<const TFloatMatrix*>& images, int orientation, int slice);
// The error convergence of the last run (one row) beside the chi-square of each run.
std::string NMFCorrectionExportText(const TFloatMatrix& errors, const TFloatMatrix& chiSquares);
// Frequency and phase corrections of one slice (images alike), one line per voxel as in
// the score export.
std::string PCACorrectionExportText(const TFloatMatrix& first, const TFloatMatrix& second,
                                    const std::string& firstTitle, const std::string& secondTitle, int orientation,
                                    int slice);

// Asks for a text file ("Save as...", ".txt" appended when the name lacks it) and writes
// the text through a temporary file. Nothing happens when the user cancels; a file that
// cannot be written is reported ("Cannot create text file <path>.") and any old file of
// that name stays as it was. True when written.
bool SaveExportText(const std::string& text);

}  // namespace vx::views
