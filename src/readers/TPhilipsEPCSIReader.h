#pragma once
// Format 11, "Philips EPCSI R2 Raw File": echo-planar CSI raw data exported as a
// LIST/DATA pair, read with the examination's PAR file for the geometry.
//
// One data vector of the DATA file is one readout along kx; its echo and cardiac-phase
// numbers give its time index t on the spectral axis. Vectors of even t are read in one
// direction and those of odd t in the other, the odd ones half a spectral dwell later,
// so the two are kept in separate buffers (point t / 2 of each) and combined in the
// spectral domain after correcting, for every kx sample, the time it was taken within
// the readout. The combined k-space grid is then transformed to voxel space.
//
// The k-space records inherited from TPhilipsReader hold (kz index, time index, ky index)
// in this reader: location = kz, k1 = t, k2 = ky.
#include <cstdint>
#include <memory>
#include <string>

#include "model/TSpectrum.h"
#include "readers/TPhilipsCSIReader.h"

class TPhilipsEPCSIReader : public TPhilipsCSIReader {
public:
    explicit TPhilipsEPCSIReader(const TCSIReadParams* pParams);
    ~TPhilipsEPCSIReader() override;

    TCSISet* Read(std::string path) override;
    // The DATA file: one vector of Nx points per k-space record, from the record's offset,
    // summed into the even or odd buffer and divided by the signal averages. Reports a
    // file that cannot be opened; a short file, a record outside the final sizes or a
    // grid far larger than the file fills fails silently.
    bool ReadRawData(const std::string& path) override;
    // Spatial transform of the reconstructed k-space grid, spectra to the frequency
    // domain, and the flips that bring the grid into the program's orientation.
    bool PostRead() override;
    // The combined buffer into fresh voxels; the buffers are released.
    bool FillCSISet() override;
    // Patient and exam texts, preparation direction, angulation, field of view,
    // off-centre, slice thickness and gap, and the slice axis from the first image line
    // that gives one. False (no message, set unchanged) when the file cannot be read, a
    // general-information line comes before the version line or no image line gives the
    // slice axis.
    bool ParsePAR(std::string path) override;
    // Sizes along kx, ky and kz (placed by m_nAxisOrder), echoes, cardiac phases,
    // averages and oversampling, and one record per standard data vector of the first
    // mix; then the point count and the readout dwell. Reports a file that cannot be
    // read; false without a message for a short data-vector line or a vector outside
    // the sizes.
    bool ParseLIST(std::string path) override;
    // Combines the two buffers into the even one (time domain, P points per grid
    // position) on the worker threads; false when a transform fails. The point count
    // must have been checked with TMixedRadixFFT::CheckFFTLength.
    bool Reconstruct();

    // Time in seconds between two kx samples for a spectral width (Hz), the kx size and
    // the field of view along kx (mm, before oversampling): what remains of half the
    // spectral dwell after the gradient ramps, spread over the samples. 0 when an
    // argument is not positive.
    static float ReadoutDwell(int spectralWidth, int nx, float fovX);
    // Set axes (kx, ky) of the slice axis and the PAR preparation direction; false for a
    // slice axis outside 0..2.
    static bool ReadoutAxes(int sliceAxis, const std::string& prepDirection, int& kx, int& ky);

    int32_t m_nSignalAverages = 1;
    int32_t m_nEchoes = 1;
    int32_t m_nCardiacPhases = 1;
    float m_fReadoutDwell = 0.0f;                  // s
    float m_fOversample[3] = {1.0f, 1.0f, 1.0f};  // along kx, ky, kz
    std::string m_strPrepDirection;                // "Right-Left", "Feet-Head", ...

protected:
    // Time indices per vector: echoes times cardiac phases, 64-bit so that no pair of
    // header values overflows.
    int64_t TimeIndexCount() const { return int64_t(m_nEchoes) * int64_t(m_nCardiacPhases); }
    // Grid positions of the set (Nx * Ny * Nz).
    size_t GridPositions() const;
    void ReleaseBuffers();

    // P complex samples per grid position each, in the set's voxel order.
    std::unique_ptr<TComplex[]> m_pEvenData;
    std::unique_ptr<TComplex[]> m_pOddData;
    size_t m_nBufferSamples = 0;  // complex samples in each buffer
};
