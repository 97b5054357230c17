#pragma once
// A metabolite map: one complex value per voxel of a CSI set, the integral (or the
// principal-component estimate) of a peak interval of every voxel's spectrum, optionally
// divided by a second interval, corrected for relaxation, receiver gain and coil
// quality, and optionally scaled to an absolute concentration. The map's grid can be
// resampled to a finer or coarser matrix through its spatial frequencies.
//
// Values are stored x fastest: index (z*ny + y)*nx + x. A map belongs to the map list of
// its set, which deletes it.
#include <cstddef>
#include <string>
#include <vector>

#include "model/TMapParams.h"
#include "model/TSpectrum.h"
#include "platform/Files.h"

namespace vx {
class TFileTransaction;
}

class TMap : public TMapParams {
public:
    // The state word: whether the map file holds the map.
    enum : int32_t { kSaved = 0, kChanged = 1, kNeverSaved = 2 };

    TMap();
    explicit TMap(TCSISet* set);
    virtual ~TMap();
    TMap(const TMap&) = delete;
    TMap& operator=(const TMap&) = delete;

    // Recomputes the values from the set with the stored parameters, keeping the grid
    // size and the display range. Nothing without a set, for a map imported from an
    // analysis, or while the set's samples are not in memory; an interval outside the
    // spectrum is reported and the map stays as it was.
    virtual void Update();

    // Clears the parameters (name " ", no set, zero intervals, flags, geometry and
    // statistics, quantScale and aux4 1); keeps voxelByVoxel, referenceVoxel, aux5,
    // aux6 and the reference names.
    void Reset();

    // Makes the map from the set's samples at the set's matrix size ("_map" is appended
    // to the name). False with a message when an interval lies outside the spectrum or
    // no voxel is selected for a selected-only map; false without one for a null set, a
    // set whose samples are not in memory, an unknown method or a failed
    // principal-component evaluation. The caller resamples to the size it wants.
    bool Create(TCSISet* set, TMapParams params);

    // Resampling by zero filling (Enlarge) or cropping (Shrink) the centred spatial
    // frequencies, with the half-voxel phase of even axes, so that the grid keeps its
    // extent. Equal size does nothing; a new size smaller (Enlarge) or larger (Shrink)
    // on any axis is refused with a message outside batch runs, as is a size below 1,
    // a grid beyond kMaxValues, or an axis length the FFT does not take.
    void EnlargeTo(int nx, int ny, int nz);
    void ShrinkTo(int nx, int ny, int nz);

    // In this order: relaxation correction, division by the receiver gain and the coil
    // quality factor, then internal-reference or reference-map scaling. A step that
    // cannot be applied is reported and skipped; the steps before it stay applied.
    void ApplyQuantitation();

    // The six extremes over the values (0 without values).
    void UpdateStatistics();
    float GetMaxMagnitude() const;
    float GetMinMagnitude() const;
    float GetMaxReal() const;
    float GetMinReal() const;
    float GetMaxImag() const;
    float GetMinImag() const;

    // Per-axis transforms of the values (axis 0 x, 1 y, 2 z): the forward FFT
    // (exp(-i...), unscaled) and the inverse (exp(+i...), scaled by 1/n) of every line,
    // false (nothing changed) for a length the FFT does not take or without values;
    // and the half swap of every line (direction 1 the usual fftshift, 0 its inverse).
    bool ForwardFFTAxis(int axis);
    bool InverseFFTAxis(int axis);
    void ShiftGridAxis(int axis, int direction);

    // Largest grid a map holds.
    static constexpr size_t kMaxValues = size_t(1) << 24;
    // Zeroed values for the grid `size`; false (no values) when a size is below 1 or
    // the grid is larger than kMaxValues.
    bool AllocateValues();
    // The grid `dim` with its values (dim[0]*dim[1]*dim[2] of them); false, nothing
    // changed, for another count.
    bool SetGrid(const int dim[3], std::vector<TComplex> values);
    void FreeValues();
    bool HasValues() const { return !m_values.empty(); }
    size_t ValueCount() const { return m_values.size(); }
    // Index of (x, y, z) in the values; the caller keeps it inside the grid.
    size_t ValueIndex(int x, int y, int z) const;
    TComplex* Values() { return m_values.empty() ? nullptr : m_values.data(); }
    const TComplex* Values() const { return m_values.empty() ? nullptr : m_values.data(); }

    std::string GetName() const { return name; }
    TCSISet* GetCSISet() const { return csiSet; }
    // The set's name; empty without a set.
    std::string GetCSISetName() const;
    // The stored names, or "n/a" when the map does not use a reference map.
    std::string GetReferenceSetName() const;
    std::string GetReferenceMapName() const;
    int32_t GetState() const { return m_nState; }
    void SetState(int32_t state) { m_nState = state; }

    // The map file (TMapFile.cpp). WriteFile writes the newest layout through a
    // temporary file renamed over `path` (in a transaction: with its other files); false
    // (reported, an old file kept) when the map has no values or a write failed; `note`
    // adds to the message what that meant for the caller, and why.
    // ReadFile reads the layout of `fileVersion` (by default the version of the project
    // file being loaded) and refuses, with a message and the map unchanged, another
    // version word or a file that does not hold what its sizes claim; a map read is
    // saved (state 0) with the display range of its real parts.
    bool WriteFile(const std::string& path, vx::TFileTransaction* transaction = nullptr,
                   const vx::TWriteFailureNote& note = {});
    bool ReadFile(const std::string& path);
    bool ReadFile(const std::string& path, int fileVersion);
    // The last ReadFile failed because the system did not give the file: its open was
    // refused (but for a missing file or something other than a file), or a read failed.
    bool FileNotGiven() const { return m_bFileNotGiven; }

protected:
    // Resamples to `dim`: enlarges when no axis shrinks, else shrinks when no axis grows.
    void ResampleTo(const int dim[3]);
    // A changed map of a saved file becomes "changed".
    void MarkChanged();
    // Size, field of view, voxel shift, angulation and off-centre of the set.
    void CopySetGeometry(const TCSISet& set);

private:
    // Values of the set by `method` over the point intervals, divided by the second
    // interval for a ratio map; false for an unknown method or a failed evaluation.
    bool Evaluate(const TCSISet& set, const int peak[2], const int reference[2], std::vector<TComplex>& out) const;
    void Resample(const int dim[3], bool enlarge);
    // Every value times the product over the even axes of exp(sign i pi k/n), k the
    // centred index; times `scale`.
    void HalfVoxelPhase(int sign, double scale);
    bool TransformAxis(int axis, bool forward);
    void Multiply(double factor);

    std::vector<TComplex> m_values;
    int32_t m_nState = kNeverSaved;
    bool m_bFileNotGiven = false;  // see FileNotGiven
};
