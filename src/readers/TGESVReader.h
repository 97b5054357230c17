#pragma once
// Format 13, "GE Single Voxel P file (EXCITE 11.0 or later)": a P-file of a single-voxel
// acquisition. After the header and the skipped first frame come frames of one spectrum
// each; the leading reference frames are passed over and the following frames averaged
// into a set of one voxel.
#include <cstdint>
#include <string>

#include "readers/TGEPfileReader.h"

class TGESVReader : public TGEPfileReader {
public:
    explicit TGESVReader(const TCSIReadParams* pParams) : TGEPfileReader(pParams) {}

    // Averages frames m_nSkipFrames .. m_nFrames - 1 (behind m_nHeaderSize) into
    // m_pRawData. Reports a file that cannot be opened, is too short for the frames or
    // fails while read; a sample type other than int16, int32 and float32 (which no parse
    // sets) fails silently.
    bool ReadRawData(const std::string& path) override;
    // Offset removal and the spectral transform; a single voxel has no spatial transform.
    // Spectra that a file holds in the frequency domain (SAGE exports may) only have their
    // frequency axis reversed.
    bool PostRead() override;
    // As the EXCITE parse, for a 1 x 1 x 1 matrix with its frame counts; a localised
    // acquisition takes the excited volume as the voxel.
    bool ParseHeader(const std::string& path) override;

protected:
    // The frame counts leave at least one frame after the skipped ones; otherwise says so
    // about the header at `path`.
    bool FramesLeftToAverage(const std::string& path) const;

    int32_t m_nFrames = 0;      // frames after the skipped first frame
    int32_t m_nSkipFrames = 0;  // leading frames left out of the average
};
