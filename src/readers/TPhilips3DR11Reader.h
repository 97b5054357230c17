#pragma once
// Format 9, "Philips 3D CSI (R11)": one SPAR file (base_1.SPAR), one SDAT file of k-space
// spectra per partition (base_1.SDAT holds partition 0) and the required PAR file of the
// metabolic map.
#include "readers/TPhilipsCSIReader.h"

class TPhilips3DR11Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips3DR11Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // One partition file.
    bool ReadRawData(const std::string& path) override { return ReadSliceFile(path); }
    bool Validate() override { return ValidateDims(0); }
    bool PostRead() override { return RunPostRead(TPostRead::KSpace3D); }
};
