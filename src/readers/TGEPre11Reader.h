#pragma once
// Format 12, "GE Pre 11.0 P file": a P-file of a 2-D or 3-D CSI acquisition written by
// scanner software older than 11.0. The file is laid out as for the EXCITE reader; the
// voxel order of the file, the image flips, the sign alternation of the second in-plane
// and slice axes and the half-voxel correction are the Add CSI Set dialog's.
#include <string>

#include "readers/TGEPfileReader.h"

class TGEPre11Reader : public TGEPfileReader {
public:
    explicit TGEPre11Reader(const TCSIReadParams* pParams) : TGEPfileReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // k-space to voxel space, the spectral transform, then the dialog's flips.
    bool PostRead() override;
    // As the EXCITE parse, for software before 11.0: single voxels are accepted, the
    // slab along the slice axis is the slice thickness times the slices, and the short
    // sequence name decides the excited volume.
    bool ParseHeader(const std::string& path) override;
};
