#pragma once
// Format 6, "Philips 2D CSI MultiSlice (R11)": one SPAR file (base_1.SPAR), one SDAT file
// of k-space spectra per slice (base_1.SDAT .. base_n.SDAT, the highest-numbered file is
// slice 0) and the required PAR file of the metabolic map.
#include "readers/TPhilipsCSIReader.h"

class TPhilips2DMultiSliceR11Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips2DMultiSliceR11Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // One slice file.
    bool ReadRawData(const std::string& path) override { return ReadSliceFile(path); }
    bool Validate() override { return ValidateDims(0); }
    bool PostRead() override { return RunPostRead(TPostRead::KSpace2D); }
};
