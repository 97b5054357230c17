#pragma once
// Format 0, "Philips Single Voxel": one spectrum of one voxel from a SPAR/SDAT pair.
// The grid takes its size, off-centre and angulation from the last volume block.
#include "readers/TPhilipsSdatReader.h"

class TPhilipsSVReader : public TPhilipsSdatReader {
public:
    explicit TPhilipsSVReader(const TCSIReadParams* pParams) : TPhilipsSdatReader(pParams) {}

    // Like the shared one, but the samples are marked as voxel space.
    bool PostRead() override;
    // One voxel on every axis, then the shared checks.
    bool Validate() override;
    // The single-voxel keys; false also when "rows" is not 1.
    bool ParseSPAR(std::string path) override;

protected:
    // The parse of both single-voxel and time-series files: `timeSeries` selects the
    // start slice axis, the meaning of "rows" and whether box sizes become the FOV.
    bool ParseSdatSPAR(const std::string& path, bool timeSeries);
};
