#pragma once
// The records of the spectrum view's tools. The view holds exactly one record at a time
// (CVoxelWndView::m_tool), whose kind follows the tool mode: the read-out record between
// tools, the tool's own record while a tool is open. Positions are spectral point indices.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/TMapParams.h"

class TSpectrum;

struct TToolRecord {
    virtual ~TToolRecord() = default;
};

// Mode 0: the vertical read-out line under the pointer.
struct TReadoutTool : TToolRecord {
    uint8_t m_bValid = 0;  // the pointer is over the plots
    int m_nPoint = 0;
};

// Mode 1: the PPM-centre pick.
struct TPPMCentreTool : TToolRecord {
    float m_fChosen = 0.0f;   // position picked by a click
    float m_fPointer = 0.0f;  // position under the pointer (the chosen one outside the plot)
    float m_fTyped = 0.0f;    // point of the reference ppm typed in the control panel
};

// Mode 2: phase correction on copies of the window's spectra.
struct TPhaseTool : TToolRecord {
    float m_fPhase0 = 0.0f;       // constant (zero-order) phase, radians
    float m_fPhase1 = 0.0f;       // linear (first-order) phase, radians
    float m_fPhase1Origin = 0.0f;  // linear phase at the vertical bar's position 0, radians
    int m_nPivot = 0;
    // One pair of copies per voxel of the window, owned: the copy shown (both phases) and
    // the copy with the constant phase only, from which the shown one is rebuilt when the
    // linear phase or the pivot changes.
    std::vector<std::unique_ptr<TSpectrum>> m_display;
    std::vector<std::unique_ptr<TSpectrum>> m_base;
    // With live phasing: every voxel of the work set as it was when the tool opened, in
    // x, y, z order, so that ending the tool unapplied restores it exactly.
    std::vector<std::unique_ptr<TSpectrum>> m_setBefore;
    uint8_t m_bApplied = 0;  // Apply has recorded the phase
    uint8_t m_bHover = 0;
    int m_nHoverPoint = 0;
};

// Mode 3: the zoom box, dragged with the mouse or typed in the panel.
struct TZoomTool : TToolRecord {
    uint8_t m_bDragging = 0;
    uint8_t m_bTyped = 0;
    int m_nAnchorX = 0, m_nAnchorY = 0;  // pixels
    int m_nCornerX = 0, m_nCornerY = 0;
    float m_fXFirst = 0.0f, m_fXLast = 0.0f;  // data units
    float m_fYBottom = 0.0f, m_fYTop = 0.0f;
};

// Modes 4 (Gaussian), 5 (Lorentzian), 6 (Lorentz-Gauss) and 9 (convolution difference):
// a filter previewed on a copy.
struct TLineWidthTool : TToolRecord {
    std::unique_ptr<TSpectrum> m_pSource;   // the current voxel in the time domain
    std::unique_ptr<TSpectrum> m_pDisplay;  // the filtered preview
    float m_fWidth = 0.0f;   // Hz; the Lorentzian width in mode 6
    float m_fWidth2 = 0.0f;  // Hz; the Gaussian width in mode 6
    float m_fFactor = 0.0f;  // mode 9: the depth of the convolution difference
};

// Mode 7: the peak area map. One peak (selector 0) takes the first interval; two peaks
// (selector 1) take a second one, the map's denominator. The parameters come from the
// map dialog: the peak name (the map is named after it), the size to enlarge the map to,
// and the quantification settings.
struct TMapTool : TToolRecord {
    int m_nSelector = 0;
    int m_bounds[4] = {};  // first start, first end, second start, second end
    uint8_t m_bSet[4] = {};
    TMapParams m_params;
    // A map of the same name the user chose to replace: it goes only once the new one
    // has been made.
    std::string m_strReplace;
};

// Modes 10 and 11 (baseline fit of order 0 or 1): up to 50 peaks picked one boundary per
// click; the pair at m_nCount is the one being picked.
struct TPeakListTool : TToolRecord {
    static constexpr int kMaxPeaks = 50;
    int m_nOrder = 0;
    int m_nCursor = 0;
    uint8_t m_bStartFixed = 0;  // the current pair's start is picked
    uint8_t m_bFull = 0;        // its end is picked (both set: no more pairs)
    int m_peaks[kMaxPeaks][2] = {};  // start, end
    int m_nCount = 0;
};

// Modes 12 (PCA) and 13 (NMF): the peaks the analysis covers and its settings.
struct TAnalysisPeakTool : TPeakListTool {
    int m_nStart = 0, m_nEnd = 0;
    int m_nComponents = 0;
    int m_nRuns = 0;
    uint8_t m_bSelectedOnly = 0;
    float m_fErrorThreshold = 0.0f;
};

// Mode 15: a peak region and a noise region.
struct TPeakFindTool : TToolRecord {
    int m_nStart = 0, m_nEnd = 0;
    int m_nCursor = 0;
    uint8_t m_bStartSet = 0, m_bEndSet = 0;
    int m_nNoiseStart = 0, m_nNoiseEnd = 0;
    uint8_t m_bNoiseStartSet = 0, m_bNoiseEndSet = 0;
    float m_fNoiseFactor = 0.0f;  // standard deviations above the noise mean
};

// Modes 14, 17, 18, 19 and 20: one region (or two positions).
struct TRegionTool : TToolRecord {
    int m_nStart = 0, m_nEnd = 0;
    int m_nCursor = 0;
    int m_nComponents = 0;      // mode 18
    int m_nPeaks = 0;           // modes 19 and 20
    float m_fAlignRange = 0.0f;  // mode 19, ppm
    uint8_t m_bStartSet = 0, m_bEndSet = 0;
    uint8_t m_bSelectedOnly = 0;  // modes 19 and 20
};

// Mode 16: an integral region with a baseline (offset and slope) moved by the bars and the
// keys, and the curve's vertical scale.
struct TIntegralTool : TToolRecord {
    int m_nStart = 0, m_nEnd = 0;
    int m_nCursor = 0;
    uint8_t m_bStartSet = 0, m_bEndSet = 0;
    float m_fOffset = 0.0f, m_fSlope = 0.0f;
    float m_fScale = 1.0f, m_fDefaultScale = 1.0f;
    float m_fOffsetStep = 0.0f, m_fSlopeStep = 0.0f;  // per 1000 bar positions
    float m_fCoarseOffset = 0.0f, m_fCoarseSlope = 0.0f;  // moved by the keys
    // The running integral times the scale, one value per point shown when it was drawn
    // (the first at the plot's first point); rebuilt at every drawing.
    std::vector<float> m_curve;
};
