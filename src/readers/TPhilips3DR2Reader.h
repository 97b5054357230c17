#pragma once
// Format 10, "Philips 3D CSI (R2,Proton)": a volume of voxel-space spectra in a SPAR/SDAT
// pair; a PAR file is read only when the user chooses one.
#include "readers/TPhilipsCSIReader.h"

class TPhilips3DR2Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips3DR2Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    bool PostRead() override { return RunPostRead(TPostRead::ImageSpace); }
    bool Validate() override { return ValidateDims(3); }
};
