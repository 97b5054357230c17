#pragma once
// Peak alignment by a principal component analysis: every analysed voxel's spectrum is
// shifted in frequency (and, for spectra whose echo lies at the first time point,
// turned in zero-order phase) so that its peak lines up with the first component.
//
// The voxel's reconstruction from the analysis' components is fitted by least squares
// onto a basis made from component 0: the normalised component T, its first difference,
// a line-broadened copy and, with the echo at the first point, its dispersion. With
// coefficients a0..a3 the voxel is close to a0 T shifted left by a1 / a0 points, and
// its phase is atan(a3 / a0). The shifts (points) and phases (degrees) are kept in one
// map per slice for the analysis window.
//
// Undoable (the whole set is the state), never part of a macro. The creator calls
// TAnalysisPCA::PushCorrection after the first Apply; undo and redo take the step off the
// analysis' list and put it back.
#include <cstdint>
#include <memory>
#include <vector>

#include "model/TAnalysis.h"
#include "model/math/TFloatMatrix.h"
#include "processing/TPCACorrection.h"
#include "processing/TWholeSetStep.h"

class TAnalysisPCA;

// What the analysis window hands the step.
struct TPCAAlignParams {
    int32_t m_nFirstPoint = 0;  // the analysis' window, inclusive
    int32_t m_nLastPoint = 0;
    int32_t m_nComponents = 0;  // components of the reconstruction
    float m_fThreshold = 0.0f;  // voxels whose |first score| is below this fraction of the largest stay as they are
};

class TPCAPeakAlignStep : public TWholeSetStep, public TPCACorrection {
public:
    static constexpr int kKind = 15;

    TPCAPeakAlignStep(const TPCAAlignParams& params, TAnalysisPCA* analysis, TCSISet* pSet);
    ~TPCAPeakAlignStep() override;

    // False, the set unchanged, without a data set, without the analysis, when the
    // analysis is of another set (reported), when it does not describe this set as the
    // parameters say, for a spectrum length
    // the FFT refuses, or when the basis is degenerate ("Matrix inversion failed.").
    bool Apply() override;
    // Exchange the set with the state file, then take the step off the analysis' list
    // (undo) or put it back (redo). False, nothing changed, when the exchange failed.
    bool Undo() override;
    bool Redo() override;
    bool ReadMacro(vx::TTextFile&) override { return false; }
    void WriteMacro(vx::TTextFile&) override {}
    std::string GetDisplayName() const override { return "PCA peak align"; }

    // Rows along the second in-plane axis, columns along the first; null for a slice
    // the step has no map of (before Apply, or past the last slice).
    const TFloatMatrix* GetPhaseCorrectionMap(int slice) const override;      // degrees
    const TFloatMatrix* GetFrequencyCorrectionMap(int slice) const override;  // points

    // The basis (window points x Q) and the fitted coefficients (analysed voxels x Q) of
    // the last Apply; Q is 4 with the echo at the first point, else 3.
    const TFloatMatrix& Template() const { return m_template; }
    const TFloatMatrix& Coefficients() const { return m_coefficients; }

private:
    // The analysis' matrices are those of this set and window.
    bool AnalysisFits(const TAnalysisPCA& analysis) const;
    void BuildTemplate(const TAnalysisPCA& analysis);
    bool FitCoefficients(const TAnalysisPCA& analysis);
    bool ApplyCorrections(const TAnalysisPCA& analysis);
    // Slice and in-plane place of data row `row`, and the voxel's index in the set.
    TAnalysisVoxel PlaceOfRow(size_t row, size_t& voxel) const;

    TPCAAlignParams m_params;
    TAnalysisVoxelList m_voxelList;  // the analysis' voxels when the step was made
    TFloatMatrix m_coefficients;
    TFloatMatrix m_template;
    std::vector<std::unique_ptr<TFloatMatrix>> m_phaseMaps;
    std::vector<std::unique_ptr<TFloatMatrix>> m_frequencyMaps;
};
