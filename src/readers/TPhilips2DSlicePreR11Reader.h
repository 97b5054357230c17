#pragma once
// Format 2, "Philips 2D CSI Single Slice Pre R11": one slice of k-space spectra in a
// SPAR/SDAT pair; a PAR file is recommended for the geometry. The acquired grid lies half a
// voxel off the reconstructed one.
#include "readers/TPhilipsCSIReader.h"

class TPhilips2DSlicePreR11Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips2DSlicePreR11Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    bool PostRead() override { return RunPostRead(TPostRead::KSpace2DRamp); }
    bool Validate() override { return ValidateDims(2); }
};
