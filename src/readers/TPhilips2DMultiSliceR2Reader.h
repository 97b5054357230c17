#pragma once
// Format 7, "Philips 2D CSI MultiSlice (R2,Proton)": a stack of slices of voxel-space
// spectra in a SPAR/SDAT pair; a PAR file is read only when the user chooses one.
#include "readers/TPhilipsCSIReader.h"

class TPhilips2DMultiSliceR2Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips2DMultiSliceR2Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    bool Validate() override { return ValidateDims(0); }
    bool PostRead() override { return RunPostRead(TPostRead::ImageSpace); }
};
