#pragma once
// The abstract CSI reader: one object per read of one data file. Every format's reader
// derives from it; the project only creates a reader (CreateCSIReader), calls Read and
// deletes it. The base keeps the reader's copy of the read parameters, the buffer of raw
// samples and the set being built, and implements the steps most formats share:
// decoding a whole file of raw samples, filling the voxels from that buffer, reading
// spectra straight from a file at the header offset, and the parameter check.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "model/TCSIReadParams.h"
#include "model/TCSISet.h"

namespace vx {
class TFile;
}

class TCSIReader {
public:
    // Keeps its own copy of the block.
    explicit TCSIReader(const TCSIReadParams* pParams);
    virtual ~TCSIReader();
    TCSIReader(const TCSIReader&) = delete;
    TCSIReader& operator=(const TCSIReader&) = delete;

    // Reads the data file: a new set owned by the caller, or null after the reader has
    // reported the cause (message box, or the batch log in batch mode).
    virtual TCSISet* Read(std::string path) = 0;

    // Makes Read only tell whether the file can be read, as a trial before anything is
    // asked: every check and message of a read, and the size the data file must have for
    // the samples, but no sample read, transformed or held. The set then comes back with
    // its parameters and without samples. The shared steps below honour it; a reader that
    // reads its samples its own way reads them in full.
    void ReadHeaderOnly() { m_bHeaderOnly = true; }
    bool HeaderOnly() const { return m_bHeaderOnly; }

    // Decodes the whole file (from its start) into m_pRawData with the parameters'
    // sample type. Reports a file that cannot be opened, a file too short for the
    // samples, and a grid, axis order or sample type it cannot read. Reading the header
    // only, the file is only checked to hold the samples (m_pRawData stays empty,
    // m_nRawFloats counts them).
    virtual bool ReadRawData(const std::string& path);
    // Format-specific reordering and transforms after the samples are in.
    virtual bool PostRead();
    // The set's parameters are usable: points, dimensions, echo, sizes, FOV, frequency,
    // spectral width. No message.
    virtual bool Validate();
    // The first of the set's parameters, in the order above, that makes them unusable
    // (what the base Validate refuses); None when they are usable. A reader that says
    // why it refuses a set names the source of that value.
    enum class TInvalidParameter { None, NoSet, Points, SpatialDims, EchoPosition, Matrix, FOV, Frequency,
                                   SpectralWidth };
    TInvalidParameter FirstInvalidParameter() const;
    // The header keys that give the parameters FirstInvalidParameter checks, named in the
    // reason a refusal gives; an empty key is left out.
    struct TParameterKeys {
        std::string points, spatialDims, matrix, fov, frequency, spectralWidth;
    };
    // Why the set's parameters are refused, as a sentence about the file that gave them
    // ("It gives no number of points (samples)."); empty when they are usable.
    std::string InvalidParameterText(const TParameterKeys& keys) const;
    // Validate; when it fails, says "The header of <path> is invalid." and why, naming `keys`.
    bool ValidateHeader(const std::string& path, const TParameterKeys& keys);
    // Copies m_pRawData into freshly allocated voxel spectra and marks the set loaded;
    // without samples read (header only), only checks that they would fill the grid.
    virtual bool FillCSISet();
    // Reads every spectrum from the file at m_nHeaderSize in the parameters' axis order
    // and sample type. Reports a file that cannot be opened or is too short, as
    // ReadRawData does. Reading the header only, stops once the file is found long enough.
    virtual bool ReadRawDataToVoxels(const std::string& path);

    // Decoders of one sample type: the set's grid of complex samples from the file's
    // position, in the set's voxel order (x fastest), or null when there is no set, the
    // axis order is not a permutation of {0, 1, 2}, or the file holds too few bytes.
    std::unique_ptr<float[]> DecodeInt16Samples(vx::TFile& file);
    std::unique_ptr<float[]> DecodeInt32Samples(vx::TFile& file);
    std::unique_ptr<float[]> DecodeFloat32Samples(vx::TFile& file);
    std::unique_ptr<float[]> DecodeFloat64Samples(vx::TFile& file);

    // One spectrum of the set's point count into `buffer` (2 * points floats); false
    // when there is no set or fewer bytes come back.
    bool ReadInt16Spectrum(vx::TFile& file, float* buffer);
    bool ReadInt32Spectrum(vx::TFile& file, float* buffer);
    bool ReadFloat32Spectrum(vx::TFile& file, float* buffer);
    bool ReadFloat64Spectrum(vx::TFile& file, float* buffer);

    // Bytes of one value of a sample type (2, 4, 4, 8), 0 for an unknown type.
    static int SampleValueBytes(int sampleType);
    // Floats (real and imaginary) that the set's whole grid holds: nx*ny*nz*points*2,
    // or 0 when a size is below 1 or the count does not fit the voxel limit.
    static uint64_t GridFloatCount(const TCSISet& set);
    // The set's grid in words: "16 x 16 x 1 voxels of 1024 points".
    static std::string GridSizeText(const TCSISet& set);
    // Says that the data file at `path` holds `size` bytes, fewer than the `needed` bytes
    // its samples (and the header before them, when `withHeader`) take; for a size below 0,
    // that its size could not be read and why (`sizeError`, TFile::LastError).
    static void ReportDataFileCutShort(const std::string& path, int64_t size, int sizeError, uint64_t needed,
                                       bool withHeader);

protected:
    // ReadRawData for samples that begin `offset` bytes into the file.
    bool ReadRawDataFrom(const std::string& path, int64_t offset);
    // Hands the finished set to the caller.
    TCSISet* HandOverSet() { return m_pCSISet.release(); }
    // The end of a read once the samples are in the set: PostRead unless "Load raw data"
    // is set, the k-space mask rebuilt (BuildKSpaceMask(maskFromData)) and the set handed
    // over; the set is deleted and null returned when PostRead fails. Reading the header
    // only, the set without samples is handed over as it is.
    TCSISet* CompleteRead(bool maskFromData);
    // Deletes the half-built set; returns null for the caller's `return`.
    TCSISet* DiscardSet();
    // Opens the data file of a read straight into the voxels; reports one that cannot be opened.
    bool OpenVoxelDataFile(const std::string& path, vx::TFile& file);
    // The open data file at `path` holds the set's whole grid in the sample type from
    // `offset` bytes on; otherwise says why it cannot be read (a grid too large, an axis
    // order that is no order of x, y and z, an unknown sample type, too few bytes).
    bool DataFileHoldsGrid(vx::TFile& file, const std::string& path, int64_t offset, int sampleType) const;
    // The set's grid fits the voxel limit (GridFloatCount is not 0); otherwise says that
    // the data file at `path` is not read because of it.
    bool GridFits(const std::string& path) const;
    // Says that the data file at `path` is not read, and `why`.
    static void ReportDataFileNotRead(const std::string& path, const std::string& why);
    // Says that the data file at `path` failed while it was read, after it was found long
    // enough, and why (`error`, TFile::LastError).
    static void ReportDataFileReadFailed(const std::string& path, int error);
    // The parameters' axis order names each of the axes 0, 1 and 2 once.
    bool HasAxisPermutation() const;

    TCSIReadParams m_params;
    std::unique_ptr<float[]> m_pRawData;  // interleaved samples in the set's voxel order
    size_t m_nRawFloats = 0;              // floats in m_pRawData
    std::unique_ptr<TCSISet> m_pCSISet;   // the set being built, owned until handed over

private:
    std::unique_ptr<float[]> DecodeSamples(vx::TFile& file, int sampleType);
    bool ReadSpectrum(vx::TFile& file, float* buffer, int sampleType);

    bool m_bHeaderOnly = false;  // see ReadHeaderOnly
};
