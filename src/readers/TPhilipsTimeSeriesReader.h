#pragma once
// Format 1, "Philips Time Series": the spectra of one voxel over time, held as a row of
// voxels along the second axis; the fields of view stay at 240 mm.
#include "readers/TPhilipsSVReader.h"

class TPhilipsTimeSeriesReader : public TPhilipsSVReader {
public:
    explicit TPhilipsTimeSeriesReader(const TCSIReadParams* pParams) : TPhilipsSVReader(pParams) {}

    // Any number of rows; one spatial dimension.
    bool Validate() override { return TPhilipsSdatReader::Validate(); }
    bool ParseSPAR(std::string path) override { return ParseSdatSPAR(path, true); }
};
