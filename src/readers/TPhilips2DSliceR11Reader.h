#pragma once
// Format 3, "Philips 2D CSI Single Slice (R11)": one slice of k-space spectra in a SPAR/SDAT
// pair, with the required PAR file of the metabolic map.
#include "readers/TPhilipsCSIReader.h"

class TPhilips2DSliceR11Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips2DSliceR11Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    bool PostRead() override { return RunPostRead(TPostRead::KSpace2D); }
    bool Validate() override { return ValidateDims(2); }
};
