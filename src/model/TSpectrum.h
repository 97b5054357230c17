#pragma once
// The samples of one voxel of a CSI set, with the voxel's place in the grid, its
// geometry, its value ranges and the display flags the views colour it by. The set
// owns one spectrum per voxel; voxel windows and region estimates make free-standing
// spectra of the same class.
#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/math/MatrixHelpers.h"
#include "model/math/TMixedRadixFFT.h"
#include "model/TPeakSNRParams.h"

class TCSISet;
struct TPoint2D;
struct TTimeWindow;

using TComplex = std::complex<float>;  // real then imaginary, two IEEE floats

// The 17 parameter words of a spectrum, in field order (voxel index, shown flag,
// centre, size, points, the five ranges, owning set), as SetParameters takes them.
struct TSpectrumParams {
    int m_nX = 0, m_nY = 0, m_nZ = 0;
    int m_bShown = 0;
    float m_fCentre[3] = {0, 0, 0};  // mm
    float m_fSize[3] = {0, 0, 0};    // mm
    int m_nPoints = 0;
    float m_fRealMax = 0, m_fRealMin = 0;
    float m_fImagMax = 0, m_fImagMin = 0;
    float m_fMagnitudeMax = 0;
    TCSISet* m_pDataSet = nullptr;
};

// An FFT object and the double work arrays of the spectral transforms, reused for
// every spectrum a thread transforms (one per thread: the FFT writes its tables).
struct TSpectralWork {
    TMixedRadixFFT fft;
    std::vector<double> reIn, imIn, reOut, imOut;
};

class TSpectrum {
public:
    TSpectrum();
    virtual ~TSpectrum();
    // Copies as operator= does: parameters and owned samples, not the selected,
    // mark and averaged flags.
    TSpectrum(const TSpectrum& other);
    TSpectrum& operator=(const TSpectrum& other);

    // Stores the 17 words, then recomputes centre and size from the owning set.
    void SetParameters(const TSpectrumParams& params);
    TSpectrumParams GetParameters() const;
    void SetVoxelIndex(int x, int y, int z);
    // Voxel size = FOV / n and centre = (index + 0.5) * size - FOV / 2 + voxel shift,
    // per axis, from the owning set; nothing without one.
    void UpdateVoxelGeometry();

    // Replaces the samples by n zeros owned by this spectrum; the point count stays.
    void AllocateZeroed(int n);
    // Copies m_nPoints samples, given as interleaved (real, imaginary) floats.
    void SetData(const float* interleaved);
    void SetComplexData(const TComplex* data);
    void FreeData();
    bool HasData() const { return m_bOwned && m_pData != nullptr; }
    // Samples the loops can use: min(N, entries of the array); 0 without samples.
    int SampleCount() const;
    TComplex* Data() { return HasData() ? m_pData : nullptr; }
    const TComplex* Data() const { return HasData() ? m_pData : nullptr; }

    // Parts of sample i; 0 without samples or outside 0..N-1.
    float GetReal(int i) const;
    float GetImag(int i) const;
    float GetMagnitude(int i) const;
    // |sample i| in double precision; the caller guarantees a sample i exists.
    float Magnitude(int i) const;
    // Points first..last of one part (caller passes first <= last); null without samples.
    std::unique_ptr<float[]> GetRealRange(int first, int last) const;
    std::unique_ptr<float[]> GetImagRange(int first, int last) const;
    std::unique_ptr<float[]> GetMagnitudeRange(int first, int last) const;
    // Largest magnitude over all points; 0 without samples.
    float GetMaxMagnitude() const;
    // Recomputes the five range values over all points (all 0 without samples).
    void UpdateRange();
    // Mean of samples first..last.
    TComplex AverageRange(int first, int last) const;

    // --- peaks (integration and voxel selection) ----------------------------------
    // The point of largest magnitude in first..last (the earlier one of equal
    // magnitudes), the window limited to the samples; -1 when none of it is held.
    int LargestMagnitudePoint(int first, int last) const;
    // Sums over first..last in double precision; points outside the samples count as absent.
    TComplex SumRange(int first, int last) const;
    double MagnitudeSum(int first, int last) const;
    // Peak-to-noise test of a selected voxel: true when it stays selected. The peak of
    // the peak window must lie inside it (not on an end) and reach the noise window's
    // mean magnitude plus k standard deviations; otherwise the voxel is deselected.
    // Both windows are ordered and limited to the samples; a window wholly outside
    // them (or a voxel without samples) gives false and deselects the voxel, as every
    // false does: the result is always the flag.
    bool TestPeakSNR(const TPeakSNRParams& params);

    // Adds the other's samples point by point (voxel averaging); a spectrum without
    // samples starts from zeros.
    void Add(const TSpectrum& other);
    void Subtract(TComplex c);
    void Multiply(TComplex c);
    // n samples: the old ones first, zeros after; N becomes n. A smaller n truncates.
    void ZeroFill(int n);
    // Swaps sample i with i + N/2 for i < N/2; for odd N the last sample stays.
    void FFTShift();
    // new[i] = old[(i + k) mod N], for any k.
    void CircularShift(int k);
    // Per-voxel domain transforms with the owning set's echo position; false, samples
    // unchanged, when the FFT refuses the length.
    bool ToTimeDomain();
    bool ToFrequencyDomain();
    // The transforms on reused work arrays, with the echo shift folded into the copies:
    // time -> frequency takes sample `echo` first (new[i] = old[(i + echo) mod N]), then
    // the inverse FFT times N; frequency -> time is the forward FFT over N, then the
    // shift back. One undoes the other. False, samples unchanged, for a refused length.
    bool TimeToFrequency(TSpectralWork& work, int echo = 0);
    bool FrequencyToTime(TSpectralWork& work, int echo = 0);
    // Multiplies sample i by exp(j (phase0 + (i - pivot) phase1 / N)); radians.
    void Phase(float phase0, float phase1, int pivot);
    // Linear phase of an in-plane shift (mm) of the grid, for k-space samples in FFT
    // order: per in-plane axis d, theta = 2 pi k' offset_d / (n voxel size_d) with k'
    // the signed k-space index, and the samples times exp(-i (theta_a + theta_b)).
    void ApplyShiftPhase(const TPoint2D& offset, int sliceAxis);

    // --- windows, baseline fit and water removal (TSpectrumFilters.cpp) ---------------
    // Time-domain windows (see TTimeWindow) about the owning set's echo position, with
    // its spectral width, on the N samples as they are: the caller hands time-domain
    // data and transforms back itself. False, nothing changed, without an owning set,
    // without samples or when the spectral width is not above 0.
    bool ApodizeExponential(float lorentzWidth);
    bool ApodizeGaussian(float gaussWidth);
    bool ApodizeLorentzGauss(float lorentzWidth, float gaussWidth);
    bool ApplyConvolutionDifference(float lineWidth, float factor);
    bool ApplyTimeWindow(const TTimeWindow& window);
    // Sample k times weights[k], real and imaginary part alike, for the first
    // min(N, weights) samples.
    void MultiplyWeights(const std::vector<float>& weights);

    // Baseline of a frequency-domain spectrum, fitted in sliding windows of 21 points
    // (mode 0 straight lines, 1 quadratics, each part separately) after every region
    // (pairs first, last of regionCount pairs) has been bridged by the straight line
    // between its end points, and subtracted from points 10..N-11. A spectrum of 20
    // points or fewer, or another mode, is left as it is. A window whose fit fails (or
    // is not a finite number) leaves its point alone; false then, with "Not all the
    // points are fitted." unless the caller reports for itself.
    bool FitBaseline(int mode, int regionCount, const int32_t* regions,
                     FailureMessage message = FailureMessage::Show);
    static constexpr const char* kNotAllFitted = "Not all the points are fitted.";
    // Weighted least squares of y[1..n] against the basis 1, x, x^2 with the weights
    // 1 / sig[i]^2, for the coefficients a[1..3] whose flag free[1..3] is set (the others
    // are kept and taken off y). covar[1..3][1..3] is work space. False, a unchanged,
    // when the normal equations are singular or no coefficient is free.
    static bool FitLinearModel(const double x[], const double y[], const double sig[], int n, double a[],
                               const int free[], double** covar);
    // Moves the largest magnitude within +/- range ppm of the middle point (frequency
    // domain, halves swapped) to point N/2: new[i] = old[i - N/2 + peak], 0 where that
    // falls outside the spectrum. The search stays inside the spectrum however wide
    // the range. False without an owning set or samples.
    bool CentrePeak(float range);
    // Time-domain samples minus their convolution with kernel / normaliser, moved h
    // points toward the start; the last 2h + 1 points become 0. The kernel has 2h + 1
    // weights, h = ceil((length - 1) / 2). False, nothing changed, when the kernel does
    // not match the length or is wider than the spectrum, or the normaliser is 0.
    bool SubtractConvolved(int length, const std::vector<float>& kernel, float normaliser);

    // Colour (0x00bbggrr) of the voxel drawn in its state: marked yellow, shown teal,
    // averaged purple, selected green, any other red.
    uint32_t StateColour() const;
    static uint32_t StateColour(bool selected, bool averaged, bool shown, bool mark);

    int m_nX = 0, m_nY = 0, m_nZ = 0;  // voxel index in the set's grid
    int m_bShown = 0;                  // shown in a voxel window (low byte)
    float m_fCentre[3] = {0, 0, 0};    // voxel centre, mm
    float m_fSize[3] = {0, 0, 0};      // voxel edge lengths, mm
    int m_nPoints = 0;                 // N
    float m_fRealMax = 0, m_fRealMin = 0;
    float m_fImagMax = 0, m_fImagMin = 0;
    float m_fMagnitudeMax = 0;
    TCSISet* m_pDataSet = nullptr;  // not owned
    uint8_t m_bSelected = 0;        // in the user's voxel selection
    uint8_t m_bMark = 0;            // in the active voxel window
    uint8_t m_bAveraged = 0;        // in an averaging voxel window

private:
    bool Transform(TSpectralWork& work, bool forward, int echo);

    int Usable() const { return SampleCount(); }

    TComplex* m_pData = nullptr;
    int m_nCapacity = 0;   // entries of m_pData
    uint8_t m_bOwned = 0;  // m_pData is ours and freed by this object
};
