#pragma once
// The common base of the multivariate analyses of a CSI set. An analysis takes the real
// parts of chosen point intervals of the voxel spectra as a data matrix (one row per
// analysed voxel, one column per point of first..last), factorises it into component
// spectra and per-voxel scores, and offers the scores as images per slice and
// component, as component maps of the set and as a residual set.
//
// Rows of the data and score matrices: without a selection the set's own voxel index
// (z*ny + y)*nx + x; with one, the position of the voxel in the voxel list. A voxel of
// the list is (slice index along the slice axis, index along the first in-plane axis,
// index along the second in-plane axis); the in-plane axes of slice axis 0 are 1 and 2,
// of 1 are 0 and 2, of 2 are 0 and 1.
//
// The project owns its analyses. The set is not owned: the project deletes the analyses
// of a set before the set goes. The base lives with the data model, whose component maps
// and project read it; the analyses themselves are in the processing library.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/math/TFloatMatrix.h"

namespace vx {
class TFile;
class TRecordReader;
}  // namespace vx

class TCSISet;
class TComponentMap;

// One analysed voxel: slice, first and second in-plane index.
struct TAnalysisVoxel {
    int32_t slice = 0;
    int32_t first = 0;
    int32_t second = 0;
    bool operator==(const TAnalysisVoxel&) const = default;
};

// The analysed voxels and whether they are a selection (false: every voxel of the set,
// the list then empty).
struct TAnalysisVoxelList {
    std::vector<TAnalysisVoxel> voxels;
    bool selection = false;
};

class TAnalysis {
public:
    static constexpr int kMaxIntervals = 50;

    TAnalysis();
    virtual ~TAnalysis();
    TAnalysis(const TAnalysis&) = delete;
    TAnalysis& operator=(const TAnalysis&) = delete;

    // The factorisation of the data matrix; false when it cannot be made.
    virtual bool Compute() = 0;
    // Takes the set and the voxels to analyse: all of them, or with useSelection the
    // selected ones. False when the set is absent or its samples are not in memory, or
    // when a selection is asked for and no voxel is selected.
    virtual bool Prepare(TCSISet* set, bool useSelection);
    // With prepare: Prepare again with the stored set and flag, then Compute. Without:
    // true at once when the results are up to date, else Compute. The computed flag is
    // set on success.
    bool Run(bool prepare);
    // Peak-alignment corrections applied with this analysis (0 where there are none).
    virtual int GetCorrectionCount() const = 0;
    // The residual of the analysed voxels: real part minus the reconstruction from the
    // components, over first..last. A new set for the caller, or null without a loaded
    // set or up-to-date matrices.
    virtual std::unique_ptr<TCSISet> CreateResidualSet() const;
    // Curves the analysis window plots; null where an analysis has none.
    virtual std::unique_ptr<TFloatMatrix> GetPhaseCorrection(int index) const;
    virtual std::unique_ptr<TFloatMatrix> GetFrequencyCorrection(int index) const;
    virtual std::unique_ptr<TFloatMatrix> GetErrorConvergence() const;
    virtual std::unique_ptr<TFloatMatrix> GetChiSquarePerRun() const;

    std::string GetName() const { return m_strName; }
    TAnalysisVoxelList GetVoxelList() const { return {m_voxels, m_bSelection}; }
    // Image of (slice, component): rows along the second in-plane axis, columns along
    // the first. Null outside the images.
    const TFloatMatrix* GetScoreImage(int slice, int component) const;
    void ClearScoreImages();
    // Images of the scores per slice and component (with a selection, of the rectangle
    // around the selected voxels, 0 at the others).
    void BuildScoreImages();
    // One component map per component, added to the analysed set's map list and
    // remembered; done only while that set is the project's work set (otherwise said so).
    // Returns the number of maps made.
    int CreateComponentMaps();
    // Recomputes the remembered maps still in the set's map list; maps the user removed
    // are skipped.
    void UpdateComponentMaps();
    // Negates component 0 and its scores, then rebuilds the images.
    void InvertFirstComponent();

    // --- what the views, the component maps and the steps read -----------------------
    int FirstPoint() const { return m_nFirstPoint; }
    int LastPoint() const { return m_nLastPoint; }
    // Columns of the data matrix: last - first + 1.
    int PointCount() const { return m_nLastPoint - m_nFirstPoint + 1; }
    int ComponentCount() const { return m_nComponents; }
    int SliceCount() const { return m_nSlices; }
    int SliceAxis() const { return m_nSliceAxis; }
    bool UsesSelection() const { return m_bSelection; }
    const std::vector<TAnalysisVoxel>& Voxels() const { return m_voxels; }
    TCSISet* GetCSISet() const { return m_pSet; }
    bool IsComputed() const { return m_bComputed; }
    void SetComputed(bool computed) { m_bComputed = computed; }
    const TFloatMatrix& Components() const { return m_components; }
    const TFloatMatrix& Weights() const { return m_weights; }
    const TFloatMatrix& Data() const { return m_data; }
    const TFloatMatrix& Scores() const { return m_scores; }
    // Bounds of the analysed voxels in the two in-plane axes.
    int RectXMin() const { return m_nXMin; }
    int RectXMax() const { return m_nXMax; }
    int RectYMin() const { return m_nYMin; }
    int RectYMax() const { return m_nYMax; }
    // The analysis refers to this set (a set about to be deleted takes the analysis with it).
    bool UsesSet(const TCSISet* set) const { return m_pSet == set; }

    // --- the analysis record of the project file (TAnalysisRecord.cpp) ----------------
    // Kind of the record: which analysis it holds.
    virtual int32_t RecordKind() const = 0;
    // The fields of the base, then those of the kind. False when a write failed.
    bool WriteRecord(vx::TFile& file) const;
    // Reads a record written by WriteRecord for the set; false (this analysis as it was)
    // for a short or inconsistent record or one that does not fit the set's grid.
    bool ReadRecord(vx::TRecordReader& in, TCSISet* set);

    // --- what the project file holds of it --------------------------------------------
    // True when the data matrix was taken from samples of the set that no data-set file
    // held then, nor holds now (the work set's unsaved processing), or when the set holds
    // such samples in memory now, which leave it not computed: the analysis reaches the
    // project file with the save of its set, which makes them the file's. Until then a
    // write of the project file writes again the record it last wrote (SavedRecord).
    bool WaitsForSetSave() const;
    // The set's samples the analysis was made from are saved now (the set's save is done).
    void SamplesSaved();
    // The whole record (kind, length and body) as the project file last read or written
    // holds it; empty when none did. A record written from samples not saved before waits
    // for the save of its set (SamplesSaved) to become this one.
    const std::string& SavedRecord() const { return m_savedRecord; }
    void RecordInFile(std::string record);

protected:
    // Stores first and last point, K and the intervals (at most kMaxIntervals pairs).
    TAnalysis(int first, int last, int components, const int32_t* intervals, int intervalCount);

    // Sizes the matrices for the voxels and points (components K x P, weights 1 x K, data
    // N x P, scores N x K, all zero) and fills the data with the real parts of the interval
    // points. False, nothing changed, without a loaded set, for K below 1, no interval, an
    // interval outside first..last or a range outside the spectrum.
    bool BuildDataMatrix();
    // Voxel index in the set of data row `row`; the caller keeps row below the row count.
    size_t VoxelIndexOfRow(size_t row) const;
    // Number of data rows: the list's length with a selection, else the set's voxels.
    size_t AnalysedVoxelCount() const;
    // The fields a kind adds to the record. A reader is told the shape of the record's
    // matrices (analysed voxels N, points P, components K) and changes nothing unless it
    // returns true.
    virtual bool WriteKindFields(vx::TFile&) const { return true; }
    virtual bool ReadKindFields(vx::TRecordReader&, uint32_t /*voxels*/, uint32_t /*points*/,
                                uint32_t /*components*/)
    {
        return true;
    }
    // A matrix field of the record: rows, columns (uint32), then the values row by row.
    static bool WriteMatrix(vx::TFile& file, const TFloatMatrix& m);
    // Exactly rows x columns; false for any other size or a short record.
    static bool ReadMatrix(vx::TRecordReader& in, uint32_t rows, uint32_t columns, TFloatMatrix& m);

    int32_t m_nFirstPoint = 0;
    int32_t m_nLastPoint = 0;
    int32_t m_nComponents = 0;
    int32_t m_nSlices = 0;
    int32_t m_nSliceAxis = 0;
    int32_t m_intervals[kMaxIntervals][2] = {};
    int32_t m_nIntervals = 0;
    TFloatMatrix m_components;  // K x P: component k in row k
    TFloatMatrix m_weights;     // 1 x K: percentage per component
    TFloatMatrix m_data;        // N x P
    TFloatMatrix m_scores;      // N x K
    std::vector<std::unique_ptr<TFloatMatrix>> m_scoreImages;  // (slice s, component k) at s*K + k
    bool m_bSelection = false;
    std::vector<TAnalysisVoxel> m_voxels;  // slice, then second, then first in-plane index
    TCSISet* m_pSet = nullptr;             // not owned
    std::string m_strName;
    // Made by CreateComponentMaps; owned by the set's map list and only ever compared,
    // never followed: a map the user deleted leaves its address here.
    std::vector<const TComponentMap*> m_componentMaps;
    bool m_bComputed = true;
    int32_t m_nXMin = 0, m_nXMax = 0, m_nYMin = 0, m_nYMax = 0;

private:
    // The set's samples the data matrix was taken from (TCSISet::SamplesState), and
    // whether its data-set file held other samples then.
    uint64_t m_nSamples = 0;
    bool m_bUnsavedSamples = false;
    std::string m_savedRecord;    // see SavedRecord
    std::string m_pendingRecord;  // written from unsaved samples, until their save
};
