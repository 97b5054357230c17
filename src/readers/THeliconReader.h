#pragma once
// Format 17, "Siemens Helicon (.mag files)": a CSI acquisition as a pair of files with one
// stem, a text parameter file "<stem>ddf.mag" and a raw file "<stem>raw.mag"; either may be
// chosen. The raw file holds k-space spectra as little-endian int16 (real, imaginary) pairs
// with no header, y growing fastest, then z, then x; the read reconstructs them to voxel
// space and the frequency domain.
#include <string>

#include "model/TCSIReader.h"

class THeliconReader : public TCSIReader {
public:
    explicit THeliconReader(const TCSIReadParams* pParams) : TCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // Spatial reconstruction of 2-D and 3-D grids, the spectral transform, the flip of
    // the z axis, data range and normalisation.
    bool PostRead() override;
    // Parses the parameter file into the set being built and the reader's parameters;
    // false when there is no set or the file cannot be read (m_strDDFFault then says why,
    // unless it did not open).
    bool ParseDDF(const std::string& path);

private:
    std::string m_strDDFFault;
};
