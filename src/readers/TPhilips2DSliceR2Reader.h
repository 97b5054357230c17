#pragma once
// Format 4, "Philips 2D CSI Single Slice (R2, Proton)": one slice of voxel-space spectra in
// a SPAR/SDAT pair, kept in the orientation of the file; a PAR file is read only when the
// user chooses one.
#include "readers/TPhilipsCSIReader.h"

class TPhilips2DSliceR2Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips2DSliceR2Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    bool PostRead() override { return RunPostRead(TPostRead::ImageSpaceNoFlip); }
    bool Validate() override { return ValidateDims(2); }
};
