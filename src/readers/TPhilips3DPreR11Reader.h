#pragma once
// Format 8, "Philips 3D CSI Pre R11": a volume of k-space spectra in a DATA file of IEEE
// floats, indexed by its LIST file (each vector read from the offset its line gives), with
// a SPAR file (the values of the Add CSI Set dialog stand in for a missing one) and a
// recommended PAR file.
#include "readers/TPhilipsCSIReader.h"

class TPhilips3DPreR11Reader : public TPhilipsCSIReader {
public:
    explicit TPhilips3DPreR11Reader(const TCSIReadParams* pParams) : TPhilipsCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // The k-space grid from the DATA file, each vector from its LIST line's offset.
    bool ReadRawData(const std::string& path) override { return ReadListData(path); }
    bool PostRead() override { return RunPostRead(TPostRead::KSpace3D); }
    bool Validate() override { return ValidateDims(3); }

private:
    // Spectral width, frequency, slice orientation, angulation, field of view and
    // off-centre of the Add CSI Set dialog.
    void TakeDialogValues();
};
