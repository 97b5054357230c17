#pragma once
// Format 18, "Siemens .RDA Files": a spectroscopy export of one single voxel or one
// reconstructed CSI grid. A text header framed by ">>> Begin of header <<<" and
// ">>> End of header <<<" lines, then every voxel's spectrum as little-endian float64
// (real, imaginary) pairs, the first in-plane axis fastest, then the second, then the
// slice axis. The header's row, column and position vectors and spacings give the slice
// orientation, matrix, field of view, off-centre and rotations of the set.
#include <string>

#include "model/TCSIReader.h"

class TRDAReader : public TCSIReader {
public:
    explicit TRDAReader(const TCSIReadParams* pParams) : TCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // Decodes the samples behind the header (m_nHeaderSize) into m_pRawData. Reports a file
    // that cannot be opened; a file too short for the grid fails silently.
    bool ReadRawData(const std::string& path) override;
    // Offset removal, the spectral transform, data range and normalisation; the samples
    // are already in voxel space.
    bool PostRead() override;
    // Parses the header into the set being built and sets m_nHeaderSize to the byte after
    // the end line (without one it keeps the dialog's value). False, with the reason, when
    // the file cannot be read, its first line lacks the begin marker, the row and column
    // vectors are missing, zero or parallel (a header without its end line is then said
    // to be cut short), or the geometry has no inverse or is not finite.
    bool ParseHeader(const std::string& path);

private:
    bool m_bHeaderEnded = false;  // the header parsed last had its end line
};
