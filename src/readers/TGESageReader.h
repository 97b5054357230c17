#pragma once
// Format 14, "GE Single Voxel SAGE file (EXCITE 11.0 or later)": a single-voxel spectrum
// exported as a pair of files, a text header "<name>.shf" and the binary data
// "<name>.sdf". The header gives the sample type and data offset, the frame counts, the
// spectral dimension, the voxel's size and position and, for an oblique plane, the
// corners from which the rotation is found. The frames after the reference frames are
// averaged into a set of one voxel, as for a single-voxel P-file.
#include <string>

#include "readers/TGESVReader.h"

class TGESageReader : public TGESVReader {
public:
    explicit TGESageReader(const TCSIReadParams* pParams) : TGESVReader(pParams) {}

    // Reads the header at `path` (extension "shf", lower case) and the ".sdf" beside it.
    TCSISet* Read(std::string path) override;
    // Parses the text header into the set and the read parameters. Every refusal is
    // silent: a missing or foreign header, an unknown data type, precision or sequence,
    // a broken dimension block, unusable frame counts or oblique corners.
    bool ParseHeader(const std::string& path) override;
};
