#pragma once
// Bruker raw CSI data (format 20): the k-space FIDs of a "fid" file with the "method" and
// "acqp" files in its folder. The file has no header; every k-space grid point holds one
// FID of N complex samples, two little-endian signed 32-bit integers each (real first),
// the grid points running with the read axis fastest, then the phase axis, then the slice
// axis. The reader turns the grid into voxel spectra and takes the digital filter's
// group delay out of their phase.
#include "readers/TBruker2dseqReader.h"

class TBrukerFidReader : public TBruker2dseqReader {
public:
    explicit TBrukerFidReader(const TCSIReadParams* pParams) : TBruker2dseqReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // k-space to voxel space, time to frequency domain, group-delay phase, the grid
    // reversed along every axis, data range and normalisation.
    bool PostRead() override;
    // The method file's "##$CSITotalMatrix" sizes; warns when the acqp file names a
    // pipeline filter.
    bool ParseHeader(std::string methodPath) override;
};
