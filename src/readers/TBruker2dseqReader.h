#pragma once
// Bruker CSI data that the scanner's reconstruction wrote into a "2dseq" file (format 19),
// and the parts that the fid reader (TBrukerFidReader) shares with it: the parser of the
// "method" and "acqp" parameter files, the digital-filter group-delay table and the
// steps that turn k-space and time-domain samples into voxel spectra.
//
// A 2dseq file has no header: little-endian signed 32-bit integers; each grid point holds
// its N points together, the grid points run with the first in-plane axis of the slice
// axis fastest, then the second, then the slice axis. Complex data hold all real parts,
// then all imaginary parts; imaginary-only and real data hold one run. The "reco" file
// beside it says which, and which transforms the reconstruction has already done.
#include <cstdint>
#include <map>
#include <string>

#include "model/TCSIReader.h"

class TBruker2dseqReader : public TCSIReader {
public:
    explicit TBruker2dseqReader(const TCSIReadParams* pParams);
    ~TBruker2dseqReader() override;

    TCSISet* Read(std::string path) override;
    // The transforms the reconstruction left undone, the group-delay phase of complex
    // data, the data range and the normalisation.
    bool PostRead() override;
    // Reads the 2dseq file straight into the voxel spectra (image type decides the layout).
    // Reports a file that cannot be opened; a file too short for the grid fails silently
    // (Read checks its size first and says so).
    bool ReadRawDataToVoxels(const std::string& path) override;

    // Parses the method file, then the acqp file of its folder, into the set being built
    // and the axis and group-delay fields. False (the set is then discarded), with a
    // message that says why, when a file is missing or refused, the method file is not of
    // a CSI scan or names a geometry that cannot be placed.
    virtual bool ParseHeader(std::string methodPath);
    // Parses the reco file of the 2dseq folder: points, grid sizes, image type and the
    // transforms already done. False, with a message, when it is missing or refused.
    bool ReadRecoFile(const std::string& folder);

    void InitGroupDelayTable();
    // The table's group delay (points) of a decimation factor and filter version; 0 when
    // either is not in the table.
    double GetGroupDelay(int32_t decimation, int32_t filterVersion) const;

    int32_t m_nImageType = 0;   // 0 complex, 1 imaginary only, 2 any other (real) type
    int32_t m_nReadAxis = 0;    // set axis of the read direction
    int32_t m_nPhaseAxis = 1;   // set axis of the phase-encoding direction
    float m_fGroupDelay = 0.0f; // digital-filter delay of the FID, points
    // Decimation factor -> filter version -> group delay in points.
    std::map<int32_t, std::map<int32_t, double>> m_groupDelayTable;

protected:
    // A new set with the data path and the dialog's angulation, off-centre, orientation
    // and frequency, named after the last `nameComponents` components of the path.
    void StartSet(const std::string& path, int nameComponents);
    // Method and acqp scans; `matrixKey` names the grid-size key of the format, and
    // `warnUserFilter` shows the pipeline-filter warning of the fid reader.
    bool ParseParameterFiles(const std::string& methodPath, const char* matrixKey, bool warnUserFilter);
    // The post-read steps of both readers: k-space to voxel space (grid halves swapped,
    // half-voxel phase ramp, spatial FFT along every axis) when `kSpace`, the transform to
    // the frequency domain when `timeDomain`, the group-delay phase when `groupDelay`,
    // then the flips, voxel indices, data range and normalisation. False when the FFT
    // refuses a length (reported once).
    bool TransformToSpectra(bool kSpace, bool timeDomain, bool groupDelay);
    // The reading parameters the files fix, whatever the dialog gave (the axis order apart):
    // little-endian 32-bit integers, every axis reversed or none, the frequency axis
    // reversed or not, no centring, echo or k-space correction.
    void SetFileLayout(bool invert, bool flipFrequency);
    // The set is finished: the k-space sampling mask from the data; false when its
    // transform was refused.
    TCSISet* FinishRead();
    // Validate, and when it refuses the set a message on the data file that says which
    // value the parameter files lack, naming the key of the points (`pointsKey`) and of
    // the grid sizes (`matrixKey`) of the format.
    bool ValidateOrReport(const std::string& dataPath, const char* pointsKey, const char* matrixKey);
    // The data file holds `bytesPerFloat` bytes for every float of the set's (valid) grid;
    // false, with a message, when the grid is too large to read or the file is shorter.
    // A file that cannot be examined passes: the read names it.
    bool DataFileHolds(const std::string& path, uint64_t bytesPerFloat);

private:
    bool ParseMethodFile(const std::string& path, const char* matrixKey);
    bool ParseAcqpFile(const std::string& folder, bool warnUserFilter);
};
