#pragma once
// Reading of a Philips SPAR/SDAT pair into a set of one voxel row: the shared part of
// the single-voxel and time-series readers. The path may name either file of the pair;
// the companion is found by exact name first, then case-insensitively beside it.
#include "readers/TPhilipsReader.h"

class TPhilipsSdatReader : public TPhilipsReader {
public:
    explicit TPhilipsSdatReader(const TCSIReadParams* pParams) : TPhilipsReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // Offset removal, transform to the frequency domain, data range, normalisation.
    bool PostRead() override;
    // One spatial dimension, then the base checks.
    bool Validate() override;

protected:
    // The steps of PostRead after the k-space flag (the single-voxel reader clears it).
    bool TransformAndNormalize();
};
