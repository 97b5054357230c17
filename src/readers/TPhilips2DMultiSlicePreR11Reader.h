#pragma once
// Format 5, "Philips 2D CSI MultiSlice Pre R11": a stack of slices of k-space spectra in a
// DATA file of IEEE floats, indexed by its LIST file (each vector read from the offset
// its line gives), with the required SPAR file and a recommended PAR file.
#include "readers/TPhilipsCSIReader.h"

class TPhilips2DMultiSlicePreR11Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips2DMultiSlicePreR11Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // The k-space grid from the DATA file, each vector from its LIST line's offset.
    bool ReadRawData(const std::string& path) override { return ReadListData(path); }
    bool Validate() override { return ValidateDims(0); }
    bool PostRead() override { return RunPostRead(TPostRead::KSpace2DRamp); }
};
