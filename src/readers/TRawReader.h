#pragma once
// Format 21, "Unknown": raw CSI data described entirely in the Add CSI Set dialog. The
// file holds m_nHeaderSize bytes of anything, then the samples of every voxel in the
// dialog's sample type and axis order. Its post-read step (spatial transform of k-space
// data, transform to the frequency domain, flips, offset removal, normalisation) is
// also the plug-in reader's.
#include "model/TCSIReader.h"

class TRawReader : public TCSIReader {
public:
    explicit TRawReader(const TCSIReadParams* pParams) : TCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    bool PostRead() override;
};
