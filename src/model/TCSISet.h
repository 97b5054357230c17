#pragma once
// One chemical shift imaging data set: a grid of voxels (x fastest, then y, then z),
// each owning one spectrum of complex single-precision samples, with the acquisition
// and geometry parameters, the domain state, the k-space sampling mask and its maps.
//
// Only the project's work set keeps its samples in memory; every other set holds its
// parameters alone and reads the samples back from its data-set file (LoadData).
//
// The parameter block is a public base so that readers, steps and views reach the
// fields directly (set->m_nDim[0]); copying the block copies every parameter.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSIParams.h"
#include "model/TPeakSNRParams.h"
#include "model/TSampleShape.h"
#include "model/TSpectrum.h"
#include "platform/Files.h"

namespace vx {
class TFile;
class TFileTransaction;
class TFolder;
}

struct TKeptRecord;
class TMap;
class TMapList;
struct TPoint2D;
class TProject;
struct TWaterSuppressionParams;
struct TTimeWindow;
class TCSISet;

// One worker of a domain transform: the set, the operation code, the number of
// workers and this worker's index.
struct TVoxelWorkerRow {
    TCSISet* set;
    int code;  // kTransformToTime, kTransformToFrequency or kSwapHalves
    int workers;
    int index;
};
// Worker operation codes; the names follow the FFT's sign: the forward FFT takes
// spectra to the time domain.
enum : int { kTransformToTime = 0, kTransformToFrequency = 2, kSwapHalves = 4 };

// Axis units of a spectrum.
enum : int { kUnitPoints = 0, kUnitHz = 1, kUnitPPM = 2, kUnitMs = 3 };

class TCSISet : public TCSIParams {
public:
    TCSISet();
    explicit TCSISet(TProject* project);
    virtual ~TCSISet();
    TCSISet(const TCSISet&) = delete;
    TCSISet& operator=(const TCSISet&) = delete;

    // --- lifetime -------------------------------------------------------------
    // Every parameter to its default, no maps, no voxels, no mask, flags clear.
    // Meant for new objects; anything the set owns is released first all the same.
    void Reset();
    // One new empty spectrum per grid point. False (nothing allocated) when a matrix
    // size is below 1 or the grid exceeds kMaxVoxels.
    bool AllocateVoxels();
    // Hands every spectrum its indices, the point count and this set; the selection
    // flags survive while the set is loaded, else they are cleared.
    void InitVoxels();
    // Deletes every spectrum and the voxel array; clears the loaded and allocated flags.
    void FreeSpectra();
    // Reads the samples back from the data-set file (DataFileToRead, in the layout of
    // the owning project's file version) under the wait cursor; on success the
    // display range becomes +/- the magnitude maximum.
    bool LoadData();
    // The parameters as the set's data-set file holds them, from the set's last load or
    // save; null while it was neither loaded nor saved in this run (its record's then
    // stand for the file's). The project file records these, not unsaved changes of the
    // set, so that a record always agrees with its file.
    const std::shared_ptr<const TCSIParams>& FileParams() const { return m_fileParams; }
    // The set's parameters and samples now are those of its data-set file (it was just read
    // or written).
    void ParamsAreInFile()
    {
        m_fileParams = std::make_shared<const TCSIParams>(static_cast<const TCSIParams&>(*this));
        m_nFileSamples = m_nSamples;
    }
    // Which samples the set holds in memory, and which its data-set file holds: a number
    // for each state of them, the same while the set holds its file's samples (or holds
    // none). Processing gives the samples a new number; a load takes the file's. The
    // analyses tell by it whether they were made from samples no file holds.
    uint64_t SamplesState() const { return m_nSamples; }
    uint64_t FileSamplesState() const { return m_nFileSamples; }
    // The samples in memory changed (a processing step applied, undone or redone).
    void SamplesChanged();
    // The samples in memory are those of the data-set file again (every step undone).
    void SamplesAsInFile() { m_nSamples = m_nFileSamples; }
    // What the set's data-set file holds, as FileParams and FileSamplesState say; a save
    // that failed gives it back.
    struct TFileState {
        std::shared_ptr<const TCSIParams> params;
        uint64_t samples = 0;
    };
    TFileState FileState() const { return {m_fileParams, m_nFileSamples}; }
    void SetFileState(TFileState state)
    {
        m_fileParams = std::move(state.params);
        m_nFileSamples = state.samples;
    }

    // --- the CSI data-set file (TCSISetFile.cpp) -------------------------------
    // Layout version that WriteDataFile writes and a read expects outside a project load.
    static constexpr int kDataFileVersion = 9;
    // Reads parameters and samples; `fileVersion` is the version of the project file
    // being loaded, which decides the layout (below 2: bare samples, sizes from this
    // set). With `expected`, a file of another grid or point count is refused. Reports
    // its failures; a failed read leaves the set as it was.
    bool ReadDataFile(const std::string& path, int fileVersion = kDataFileVersion,
                      const TSampleShape* expected = nullptr);
    // The same for the file `name` in `folder`, never through a link at its name.
    bool ReadDataFile(const vx::TFolder& folder, const std::string& name, int fileVersion = kDataFileVersion,
                      const TSampleShape* expected = nullptr);
    // The grid sizes and point count of the set as it is now.
    TSampleShape SampleShape() const;
    // Writes the newest layout to a temporary file renamed over `path`; reports and
    // returns false on any failure, leaving an existing file untouched; the note's
    // sentence follows the report. A file that only this run reads back (an undo
    // state) need not wait for the disk: durable false. In a transaction the file is
    // put in place with the transaction's others.
    bool WriteDataFile(const std::string& path, bool durable = true, vx::TFileTransaction* transaction = nullptr,
                       const vx::TWriteFailureNote& note = {});
    // The same into `file`, a new file open for writing that nothing reads before it is
    // complete (an undo state, made for it): written as it stands, not waiting for the
    // disk; a failure is reported, and the caller removes the file.
    bool WriteDataFile(vx::TFile& file, const vx::TWriteFailureNote& note = {});
    // What a project open learns of a set's data-set file at `path` with one open of it:
    // whether it opens, and why it cannot hold the samples of the set `record` describes:
    // something other than a file stands there; for a project file of the newest version
    // (`projectVersion`), its header disagrees with the record in a field both hold (every
    // field but the applied broadenings); for one of versions 2 to 8, it begins with the
    // newest layout's version word, so it was not converted with the project (which reads
    // it as the project's version). The disagreement is empty when they agree and when the
    // file has no header of the newest layout to compare (a missing, headerless or damaged
    // file is found when it is read). A negative version (a set of no project) compares
    // nothing.
    struct TDataFileCheck {
        bool opens = false;
        int error = 0;  // why it did not open (TFile::LastError)
        std::string disagreement;
    };
    // `file` is the data-set file at `path`, opened for it where `opened` is set.
    static TDataFileCheck CheckDataFile(const TCSIParams& record, vx::TFile& file, bool opened,
                                        const std::string& path, int projectVersion);
    // Copies the parameters a data-set file holds in its header from `from` to `to`.
    static void CopyFileParams(const TCSIParams& from, TCSIParams& to);

    // --- copy, arithmetic and sample operations (TCSISetOps.cpp) ----------------
    // Parameters and mask of `other`, without samples, maps or flags.
    void CopyHeader(const TCSISet& other);
    // Samples of the loaded `other`, which must have this set's grid and points.
    bool CopyDataFrom(const TCSISet& other);
    // Sample by sample with a loaded set of the same grid and points; the callers
    // recompute the data range.
    bool Add(const TCSISet& other);
    bool Subtract(const TCSISet& other);
    // Every sample becomes (100 * other.real / this.real, 0); 0 where |this.real| < 1e-10.
    bool RatioPercent(const TCSISet& other);
    void Scale(float factor);
    // Scales so that the largest magnitude becomes `value`.
    void NormalizeTo(float value);
    // Subtracts the mean, over all voxels, of each spectrum's mean over its last eighth.
    void RemoveDCOffset();
    // Sample k times exp(i (ph0 + (k - pivot) ph1 / N)): every voxel, the selected ones,
    // or with perSlice 1 the voxels of one slice along the slice axis.
    void Phase(float ph0, float ph1, int pivot, int perSlice, int slice, bool selectedOnly);
    // Grows every spectrum to newPoints in the time domain; the set ends in the
    // frequency domain with the halves swapped. False, nothing changed, when refused.
    bool ZeroFill(int newPoints);
    // Patient name and birth date become "Anonymized".
    void Anonymize();

    // --- the set's record in the project file (TCSISetRecord.cpp) ---------------
    // Writes the record in the newest layout; false when a write failed.
    bool WriteToProject(vx::TFile& file) const;
    // Reads a record of the owning project's file version; false (set unchanged) on a
    // short or invalid record. A whole record that cannot be used also gives false, and
    // with `unusable` its bytes, name, reason and files go there (untouched otherwise).
    // A set whose data-set file cannot be opened keeps its entry (DataFileMissing) so
    // that it loads again once the file is back.
    bool ReadFromProject(vx::TFile& file, TKeptRecord* unusable = nullptr);
    // Reads over a record of the given version; false on a short or corrupt record.
    static bool SkipProjectEntry(vx::TFile& file, int32_t version);

    // --- project, names, paths ----------------------------------------------------
    void SetProject(TProject* project) { m_pProject = project; }
    TProject* GetProject() const { return m_pProject; }
    // Marks the owning project modified, when there is one.
    void SetModified();
    // The data-set file becomes folder + "\" + name.
    void SetFolder(const std::string& folder);
    const std::string& GetFilePath() const { return m_strFilePath; }
    // The file the samples are read from: the data-set file, or the file staged for it
    // while no project file in the folder lists the set yet (TProject::PathToRead).
    std::string DataFileToRead() const;
    // Opens that file to read (TProject::OpenToRead).
    bool OpenDataFile(vx::TFile& file) const;
    std::string GetName() const { return m_strName; }
    // True when the data-set file opens for reading now; otherwise, with `report`, says so.
    bool CanOpenDataFile(bool report) const;
    // The data-set file could not be opened when the project was read, and why (errno).
    bool DataFileMissing() const { return m_bDataFileMissing; }
    int DataFileError() const { return m_nDataFileError; }
    // The last read of the data-set file (ReadDataFile) failed because the system did not
    // give it: its open was refused (but for a missing file or something other than a file),
    // or its size or a read failed; not because the file is missing or damaged.
    bool DataFileNotGiven() const { return m_bDataFileNotGiven; }

    // --- voxels ----------------------------------------------------------------
    // nx*ny*nz as given by the matrix sizes (0 when a size is below 1).
    size_t GridSize() const;
    // Spectra in the voxel array (0 when not allocated).
    size_t VoxelCount() const { return m_voxels.size(); }
    size_t VoxelIndex(int x, int y, int z) const;
    // Null when not allocated or out of range.
    TSpectrum* GetVoxel(size_t index) const;
    TSpectrum* GetVoxel(int x, int y, int z) const;
    bool IsAllocated() const { return m_bAllocated; }
    bool IsLoaded() const { return m_bLoaded; }

    // --- queries and setters ------------------------------------------------------
    bool HasSelectedVoxels() const;
    void GetPointRange(int& first, int& last) const;
    void SetPointRange(int first, int last);
    // Slices along the slice axis.
    int SliceCount() const;
    // Phases of a slice of a multi-slice set, else of the whole set.
    void GetPhase(int slice, float& phase0, float& phase1, int& pivot) const;
    void SetPhase0(float phase0, int perSlice, int slice);
    void SetPhase1(float phase1, int pivot, int perSlice, int slice);
    void SetPPMCentre(float centre, float reference);
    bool IsValid() const;
    // Why the set is not valid, as a phrase; empty when it is.
    std::string WhyInvalid() const;
    // Whether a project file can list the set and read it back: valid sizes, frequency,
    // sweep width and field of view, a slice axis, a grid within kMaxVoxels and a rotation
    // that can be inverted. A set without them would make its project unreadable.
    bool CanBeListed() const;
    static bool CanBeListed(const TCSIParams& params);
    // Why the set cannot be listed, as a phrase ("its frequency is not above 0"); empty
    // when it can.
    std::string WhyNotListable() const;
    static std::string WhyNotListable(const TCSIParams& params);
    void SetOffCentre(const float offCentre[3]);
    void ClearVoxelShift();
    void GetRotation(float rotation[3][3]) const;

    // Point position <-> axis unit (kUnitPoints, kUnitHz, kUnitPPM, kUnitMs); a value goes
    // to the nearest point.
    float PointToUnit(float point, int unit) const;
    int UnitToPoint(float value, int unit) const;
    // The unit the set's data are plotted against for a chosen one: Hz and PPM describe a
    // spectrum, so a set in the time domain is plotted against time (kUnitMs) instead.
    int AxisUnit(int unit) const;
    // The point of a ppm value, trunc(index + 0.5) (toward zero, so that a position just
    // below point 0 still counts as 0); false when that is no point of the spectrum, or
    // when the axis is undefined (no width or frequency).
    bool PointOfPPM(float ppm, int& point) const;
    // The position in the unit with 2 decimals and the unit's suffix.
    std::string FormatAxisValue(float point, int unit) const;
    // Mode 0 patient -> CSI, 1 CSI -> patient, 2 and 3 the same with z negated
    // (after for 2, before for 3); any other mode leaves the point alone.
    void TransformPoint(float point[3], int mode) const;
    // Every spectrum's ranges, then the set's five range fields over all of them.
    void UpdateDataRange();
    // The set's five range fields over the spectra's ranges as they are.
    void CombineDataRanges();

    // --- grid algorithms (TCSISetGrid.cpp) -------------------------------------------
    // The grid operations need every voxel's samples; they return false (changing
    // nothing) without them or when the FFT refuses an axis length (reported once).
    //
    // Rebuilds the k-space sampling mask: all 1, or with fromData 1 where the k-space
    // spectrum reaches 1e-5 (a voxel-space set is converted there and back).
    bool BuildKSpaceMask(bool fromData);
    // Voxel space <-> k-space over the in-plane axes and, unless multi-slice, the slice axis.
    bool ToKSpace();
    bool ToVoxelSpace();
    // The axes that ToKSpace transforms: the in-plane axes, then the slice axis unless
    // multi-slice.
    std::vector<int> SpatialAxes() const;
    // Circular shift of every line along the axis by half its length:
    // new[i] = old[(i + m) mod n] with m = ceil(n/2) for direction 1 (the usual fftshift)
    // and floor(n/2) for direction 0 (its inverse).
    void ShiftGridAxis(int axis, int direction);
    // FFT across the voxels of every line along the axis, for every sample index:
    // forward (exp(-i...)) scaled by 1/n; inverse (exp(+i...)) unscaled.
    bool ForwardFFTAxis(int axis);
    bool InverseFFTAxis(int axis);
    // ForwardFFTAxis, then ShiftGridAxis(axis, 1).
    bool SpatialFFTAxis(int axis);
    // ShiftGridAxis(axis, 0), then InverseFFTAxis.
    bool InverseSpatialFFTAxis(int axis);
    // Every odd grid point along the axis times -1.
    void AlternateSignAlongAxis(int axis);
    // Every grid point times exp(-i pi k sum_d c_d / n_d), c the centred index (i below
    // ceil(n/2), else i - n); odd axes add nothing. The Axis form: in-plane axes only.
    void ApplySpatialPhaseRamp(int k);
    void ApplySpatialPhaseRampAxis(int sliceAxis, int k);
    // exp(-i pi sum i_d / n_d) over the in-plane axes (2-D sets) or all axes (3-D sets).
    void ApplyHalfVoxelShift();
    // Negates every imaginary part (reverses the frequency axis).
    void ConjugateAll();
    // Exchanges the two in-plane axes of the slice axis: their sizes and the order of
    // the voxels and of the mask.
    void TransposeInPlane(int sliceAxis);
    // Reverses the order of the voxels and of the mask along the axis.
    void FlipAxis(int axis);
    // Moves the grid to the in-plane shift `target` (mm) by a k-space phase ramp of the
    // difference to the recorded shift; nothing below 1e-6 mm.
    bool ShiftVoxels(const TPoint2D& target, int sliceAxis);

    // --- domain transforms (TCSISetTransforms.cpp) -----------------------------------
    // Time -> frequency (echo shift, inverse FFT times N) and back, on ProcessorCount()
    // workers when it is 2 or more. False, with one report, when the FFT refuses the
    // point count; the samples and the domain flag are then unchanged.
    bool ToFrequencyDomain();
    bool ToTimeDomain();
    // Swaps the halves of every spectrum, on the workers.
    void FFTShiftSpectra();
    bool RunThreadsToFrequency(int n);
    bool RunThreadsToTime(int n);
    static int VoxelThreadProc(const TVoxelWorkerRow& row);
    // Worker k of n's block of voxels: frequency -> time (forward FFT, then the echo shift back)
    // and time -> frequency (echo shift, then inverse FFT).
    bool ForwardFFTPart(int n, int k);
    bool InverseFFTPart(int n, int k);
    void FFTShiftPart(int n, int k);
    // Moving-average water suppression of worker k of n's voxels, on time-domain samples.
    // False, nothing changed, when the kernel (2h + 1 points) is wider than the spectrum.
    bool SuppressWaterPart(const TWaterSuppressionParams& params, int n, int k);

    // --- HLSVD removal (TCSISetHLSVD.cpp) ------------------------------------------
    // On time-domain samples: fits `peaks` damped complex exponentials to the first
    // min(N, 512) samples of every voxel (the selected ones when selectedOnly) with the
    // HLSVD library and subtracts, over all N samples, the components inside the band
    // waterEnd < f < waterStart (Hz) and those that decay to a tenth within 4 samples.
    // False, set unchanged, when the library or its routine cannot be had (reported).
    bool RunHLSVD(int peaks, float waterStart, float waterEnd, bool selectedOnly);
    // The same on frequency-domain spectra in display order: swaps the halves, goes to
    // the time domain, runs RunHLSVD, comes back and swaps again; then the data range.
    bool RemovePeaksHLSVD(int peaks, float waterStart, float waterEnd, bool selectedOnly);

    // --- kernels across voxels (TCSISetAcrossVoxels.cpp) ------------------------------
    // All need the samples; none changes the domain except the lipid suppression.
    //
    // Moves the largest-magnitude point of first..last of every selected spectrum to
    // the mean of those points (integer division) by a circular shift. False without a
    // selected voxel, or for a window that is not 0 <= first <= last < N.
    bool AlignPeaks(int first, int last);
    // Circular shift of every selected spectrum by a - b: what was at point a comes to
    // point b. False without a selected voxel.
    bool ShiftSelectedSpectra(int a, int b);
    // Extrapolates k-space beyond the sampled points (the k-space mask) from the lipid
    // region (the selected voxels), so that the lipid signal no longer rings into the
    // other voxels: per time point, `iterations` times, the grid is taken to voxel
    // space, kept only in the lipid region, taken back, and the sampled points are put
    // back. The set ends in voxel space and in the frequency domain with its halves
    // swapped. False, nothing changed, without a k-space mask of the grid's size or
    // when a length cannot be transformed (reported).
    bool SuppressLipids(int iterations);
    // Signal-space projection: removes from every sample of every voxel its part in
    // the n spatial patterns (left singular vectors) that dominate points first..last.
    // False, nothing changed, for n outside 0..min(voxels, window points), a window
    // that is not 0 <= first <= last < N, a matrix too large for the linear algebra
    // routines (reported) or a failed decomposition (reported).
    bool SSPFilter(int n, int first, int last);

    // --- line broadening, windows, baseline and water (TCSISetFilters.cpp) -------------
    // The time-domain windows of TTimeWindow on every voxel, selected or not: a set in
    // the frequency domain is half-swapped and taken to the time domain first, and every
    // set ends in the frequency domain with its halves swapped and its data range
    // updated. The Lorentz and Gauss filters add to the applied broadenings (Lorentzian:
    // the sum of the widths; Gaussian: the root of the sum of their squares). False,
    // nothing changed, without samples, for a point count the FFT refuses or a spectral
    // width not above 0 (both reported).
    bool LorentzFilter(float lorentzWidth);
    bool GaussFilter(float gaussWidth);
    bool LorentzGaussFilter(float lorentzWidth, float gaussWidth);
    bool BaselineCorrection(float lineWidth, float factor);
    // The exponential window on worker k of n's block of voxels, on time-domain samples:
    // no domain change, no range update, no total. False for a spectral width not above 0.
    bool LorentzFilterPart(float lorentzWidth, int n, int k);
    // The k-space window `type` (kHammingWindow, kCosineWindow or kFermiWindow, with p1
    // and p2 the Fermi radius and width) across the voxels along `axis`, for every
    // spectral point in any spectral domain: the grid is taken to k-space along the axis,
    // weighted and taken back. An axis of one voxel is left alone; another type writes
    // "Unknown spatial filter type!" to the standard output and changes nothing (false).
    bool SpatialFilter(int axis, int type, float p1, float p2);
    // TSpectrum::FitBaseline on every voxel, then the data range. "Not all the points are
    // fitted." is reported once per call, however many voxels failed; false then.
    bool FitBaselineAll(int mode, int regionCount, const int32_t* regions);
    // Water removal: every voxel taken (all, or the selected ones) has its largest peak
    // within the alignment range moved to the middle point, then in the time domain the
    // moving-average subtraction with the phase of its shift taken back (method 0) or
    // RunHLSVD (method 1). The set ends in the frequency domain with its halves swapped;
    // its range is updated and the project marked modified. False, nothing changed, for
    // another method, without samples, for a refused point count or a window that does
    // not fit the spectrum (reported); false after the centring when the HLSVD library
    // cannot be had (reported by RunHLSVD).
    bool SuppressWater(const TWaterSuppressionParams& params);
    // The same with the moving-average subtraction (method 0) done by `subtract` on the
    // time-domain samples, for a caller that runs it on workers of its own. Its false
    // fails the suppression; the set still goes back to the frequency domain.
    bool SuppressWater(const TWaterSuppressionParams& params, const std::function<bool()>& subtract);

    static constexpr const char* kNoSpectralWidth = "The spectral width of the CSI set must be above 0 Hz.";

    // --- peaks, voxel selection, maps and parameters by number ---------------------
    //     (TCSISetPeaks.cpp, TCSISetMaps.cpp)
    // The integrators and the selection by area need the samples (the loaded flag);
    // without them they do nothing. Their point window is ordered and limited to
    // 0..N-1; they run on the workers, each voxel on its own.
    //
    // out (VoxelCount() values): per voxel the complex sum of samples first..last, or,
    // centred, of a window as wide around the voxel's largest-magnitude point in
    // first..last (points beyond the spectrum count as absent). With selectedOnly the
    // unselected voxels get 0.
    void IntegrateArea(TComplex* out, bool selectedOnly, int first, int last, bool centred) const;
    // out (VoxelCount() values): per voxel the area under the rank-one approximation of
    // the real parts of first..last by the leading eigenvector of their uncentred
    // second-moment matrix, imaginary part 0. False, out unchanged, without out or
    // samples, for a window of more than kMaxPCAPoints points or when the eigen
    // decomposition fails (both reported).
    bool FitPeakMapValues(TComplex* out, bool selectedOnly, int first, int last) const;
    static constexpr int kMaxPCAPoints = 256;
    // Selects, slice by slice along the slice axis, the voxels whose magnitude area over
    // first..last reaches `fraction` of the largest; with useImage and an image of the
    // project at the slice, only those under its bright half.
    void SelectVoxelsByArea(float fraction, int first, int last, bool useImage);
    // TSpectrum::TestPeakSNR on every voxel; true when at least one stays selected.
    bool TestPeakSNRAll(const TPeakSNRParams& params);

    // The first map of that name (exact), or null.
    TMap* FindMap(const std::string& name) const;
    bool HasMaps() const;
    // The map names the project file gives for the set: the maps that have a map file, in
    // list order, then the maps whose file did not read when the project was opened
    // (their entries stay until a map of that name takes their place).
    std::vector<std::string> ListedMapNames() const;
    // The maps of the record whose file the system did not give when the project was read
    // (TMap::FileNotGiven), while they stay unread.
    const std::vector<std::string>& MapsNotGiven() const { return m_mapsNotGiven; }
    // Recomputes every map from the current samples.
    void UpdateMaps();
    // The PPM centre (the point where the ppm axis is 0) moved from oldCentre to
    // newCentre: every ppm bound of every map is moved so that it keeps its point.
    // Nothing changes without a frequency, spectral width or points to convert with.
    void RereferenceMaps(float oldCentre, float newCentre);
    // The set takes the map (null: nothing), replacing a map of the same name (also one
    // whose file did not read); the map belongs to this set from then on.
    void AddMap(TMap* pMap);
    // --- map files and the zero-filled grid (TCSISetMapFiles.cpp, TCSISetZeroFill.cpp) ---
    // The map file of the set's map of that name: the data-set file path, "_", the name.
    std::string MapFilePath(const std::string& mapName) const;
    // Opens the map file at `path` (MapFilePath) to read, as OpenDataFile opens the data-set file.
    bool OpenMapFile(const std::string& path, vx::TFile& file) const;
    // Writes every map to its map file in the transaction and marks it saved (state 0);
    // the caller puts the states back when the transaction fails. False when one could
    // not be written (reported with the note; the others are written all the same).
    bool WriteMapFiles(vx::TFileTransaction& transaction, const vx::TWriteFailureNote& note = {});
    // New maps of this set read from the map files of the names; a map whose file does
    // not read (reported) is left out, its name kept for the project file.
    void ReadMapFiles(const std::vector<std::string>& names);
    // A new set of matrix nx x ny x nz, owned by the caller: this set's parameters,
    // named and pathed with "_nx_ny_nz" appended, and its grid interpolated by zero
    // filling the centred k-space (this set's k-space samples keep their values at
    // the centre of the larger k-space; the mask too). This set ends in voxel space.
    // Null without this set's samples, or when a size is smaller than the current one,
    // the new set too large or an axis length one the FFT does not take (reported).
    std::unique_ptr<TCSISet> CreateZeroFilledSet(int nx, int ny, int nz);

    // Volume of one voxel in millilitres: the in-plane voxel sizes times the slice thickness.
    float GetVoxelVolume() const;
    // Parameters by number: 0 coil quality factor, 1 receiver gain (dB), 2 frequency (MHz),
    // 3 spectral width (Hz, truncated), 4 points (truncated); vectors 5 field of view,
    // 6 off-centre, 7 angulation, 8 matrix size (truncated). A scalar get of another
    // index is 0; a set or vector get of another index does nothing. The points and the
    // matrix size of a set whose voxels exist stay as they are (reported): the spectra
    // are made for them. False when nothing was set.
    bool SetScalarParam(int index, float value);
    float GetScalarParam(int index) const;
    bool SetVectorParam(int index, const float value[3]);
    void GetVectorParam(int index, float value[3]) const;
    // Centre and size of every voxel from the current geometry.
    void UpdateVoxelGeometryAll();

    static constexpr size_t kMaxVoxels = size_t(1) << 24;

    TMapList* m_pMapList = nullptr;                   // owned; null until the first map
    std::vector<std::unique_ptr<TSpectrum>> m_voxels;  // index (z*ny + y)*nx + x
    bool m_bLoaded = false;     // samples present and valid
    bool m_bAllocated = false;  // voxel array and spectra exist
    int m_bWorkSet = 0;         // 1 while the project's work set
    std::vector<int32_t> m_kSpaceMask;  // 1 sampled, 0 not; same order; empty = none

private:
    bool m_bDataFileMissing = false;           // see DataFileMissing
    bool m_bDataFileNotGiven = false;          // see DataFileNotGiven
    int m_nDataFileError = 0;                  // see DataFileError
    std::shared_ptr<const TCSIParams> m_fileParams;  // see FileParams
    uint64_t m_nSamples = 0, m_nFileSamples = 0;     // see SamplesState
    std::vector<std::string> m_unreadMapNames;  // maps of the record whose file did not read
    std::vector<std::string> m_mapsNotGiven;    // see MapsNotGiven
    std::vector<std::string> m_recordMapNames;  // the map names of the record, in its order

    // The layout to read the data-set file in for a project of `projectVersion`: that
    // version, or the older layout of a file that was away while its project was
    // converted (TCSISetFile.cpp).
    int DataFileLayout(int projectVersion) const;
    // ReadDataFile of the file open in `file`; WriteDataFile's header and samples into it.
    bool ReadOpenDataFile(vx::TFile& file, int fileVersion, const TSampleShape* expected);
    // ReadDataFile of DataFileToRead, opened by OpenDataFile.
    bool ReadOwnDataFile(int fileVersion);
    // ReadDataFile of `file`, opened for `path` where `opened` is set.
    bool ReadDataFile(vx::TFile& file, bool opened, const std::string& path, int fileVersion,
                      const TSampleShape* expected);
    bool WriteDataFields(vx::TFile& file, bool durable) const;

    // Every grid point has a spectrum with at least m_nPoints samples.
    bool HasAllSamples() const;
    // Voxel indices and geometry after the voxel order changed.
    void RenumberVoxels();
    // Spatial FFT along each of the axes (forward scaled by 1/n per axis, inverse
    // unscaled), on the workers; false, nothing changed, for a refused length.
    // maxWorkers > 0 caps the worker count (1: on the calling thread, which cannot fail).
    bool TransformAxes(const std::vector<int>& axes, bool forward, int maxWorkers = 0);
    bool CheckSpatialLengths(const std::vector<int>& axes) const;
    // ToKSpace (kSpace) and ToVoxelSpace: the spatial transform of every spatial axis.
    bool ToGridSpace(bool kSpace);
    template <typename F>
    void MultiplyGrid(F factorOf);
    bool CanTransformSpectra() const;
    bool RunVoxelWorkers(int n, int code);
    // Worker k of n's voxels to the time domain (toTime) or the frequency domain.
    bool SpectralTransformPart(int n, int k, bool toTime);
    // The time-domain window of every voxel on the workers (see LorentzFilter).
    bool ApplyTimeWindow(const TTimeWindow& window);
    // The moving-average subtraction of the voxels begin..end-1 taken by the parameters.
    void SubtractConvolvedBlock(const TWaterSuppressionParams& params, const std::vector<float>& kernel,
                                float normaliser, size_t begin, size_t end);
};
