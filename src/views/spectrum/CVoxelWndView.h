#pragma once
// The spectrum view: the upper pane of a voxel window. It plots the spectra of the voxels
// picked in the image windows, one strip per voxel with the first at the top, and hosts
// the interactive tools of the control panel as numbered tool modes (0 the read-out line,
// 1 to 20 the tools), each with its record in m_tool.
//
// All drawing goes into an off-screen picture (Draw); painting only copies it. Colours are
// 0x00bbggrr words; the scheme follows the "SpecBgColor" setting (1: black on white).
#include <QImage>
#include <QWidget>

#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "model/TPlotFrame.h"
#include "model/TSpectrumDisplayParams.h"
#include "platform/TCanvas.h"
#include "views/spectrum/TToolRecords.h"

class CVoxelWindow;
class QMouseEvent;
class QScrollBar;
class TCSISet;
class TIntegralRegion;
class TProcessStep;
class TSpectrum;

class CVoxelWndView : public QWidget {
    Q_OBJECT
public:
    // Space kept free around the read-out strips for the axes and their labels; the left
    // and right ones grow where the labels need more (PlotLeft, PlotRight).
    static constexpr int kLeftMargin = 36;
    static constexpr int kRightMargin = 5;
    static constexpr int kBottomMargin = 25;
    static constexpr int kTopMargin = 10;
    // Strips lower than this are not drawn at all.
    static constexpr int kMinStripHeight = 15;
    static constexpr float kRadiansPerDegree = std::numbers::pi_v<float> / 180.0f;

    // "PhaseMode" 1: the phase tool phases the work set while the user moves it.
    static bool LivePhasing();
    // The index of a voxel along its set's slice axis.
    static int SliceOf(const TSpectrum* voxel);

    explicit CVoxelWndView(QWidget* parent = nullptr);
    ~CVoxelWndView() override;

    // Appends a voxel and returns the new count.
    virtual int AddVoxel(TSpectrum* voxel);
    // Recomputes what the view derives from its voxels; nothing here (the averaged view
    // recomputes its average).
    virtual void Recompute() {}
    // Sets or clears the window mark of every voxel.
    virtual void SetVoxelsMark(bool mark);
    // Clears every voxel's window flag and mark, has the image windows repaint them,
    // and empties the list.
    virtual void ClearVoxels();
    virtual std::vector<TSpectrum*> GetVoxels() const { return m_voxels; }
    // The first voxel, or null.
    TSpectrum* GetCurrentVoxel() const { return m_voxels.empty() ? nullptr : m_voxels.front(); }

    void SetFrame(CVoxelWindow* frame) { m_pFrame = frame; }
    CVoxelWindow* GetFrame() const { return m_pFrame; }
    // Copies the display block (no redraw).
    void SetDisplayParams(const TSpectrumDisplayParams& display) { m_display = display; }
    const TSpectrumDisplayParams& GetDisplayParams() const { return m_display; }
    // x-axis unit 0 points, 1 Hz, 2 PPM, 3 ms; redraws.
    void SetUnit(int unit);
    int GetUnit() const { return m_nUnit; }
    int GetToolMode() const { return m_nToolMode; }

    // Colour scheme, drawing, then an immediate repaint.
    void Refresh();
    // Takes the colours from the "SpecBgColor" setting.
    void SetColourScheme();
    // Draws into the off-screen picture, which takes the view's size; nothing when the
    // view is empty or has no voxel.
    void Draw();
    // Draws the current tool mode's picture on any canvas over a client rectangle.
    void DrawOn(vx::TCanvas& dc, const TPixelRect& client);
    // The off-screen picture (what the window shows).
    const QImage& Picture() const { return m_pMemDC; }

    // The control panel's values for the current tool (their meaning depends on the
    // mode); ends with Refresh.
    void SetToolValues(float a, float b, float c, float d);

    // Home, End, Page Up and Page Down move the integral tool's baseline; every other key
    // goes to the frame, which walks the voxel with the arrow keys. Keys are Qt::Key values.
    virtual void OnKeyDown(int key);

    // ---- one-click commands of the control panel (CVoxelWndViewOneClick.cpp) -----------
    // Each acts at once on the current voxel's set and does nothing without a current
    // voxel or an open project. All but the transform are undoable steps; a step that
    // fails is dropped (the step or the set reports).
    // Time domain <-> frequency domain (halves swapped); the display range is reset.
    void OnFT();
    // Every spectrum zero-filled to twice its points; the display shows the new range.
    void OnZeroFill();
    // The k-space windows of the voxel grid, on the frequency domain.
    void OnSpatialCosine();
    void OnSpatialHamming();
    void OnSpatialFermi();
    // Lipid suppression by k-space extrapolation from the selected voxels, after the
    // user confirms; refused with a message when no voxel is selected.
    void OnLipidKSpace();
    // Water suppression with the parameters dialog (the filter length checked against
    // the points): the moving-average subtraction as an undoable step, or the HLSVD fit's
    // water-region tool.
    void OnWater();
    // The peak-removal dialog (a positive number of peaks), then the peak-removal tool.
    void OnPeakRemoval();
    // The integral tool's region as a new integral region of the work set (ppm bounds,
    // baseline, the integral up to the region's end, the middle point as its name);
    // null outside the integral tool, without both ends or without a work set.
    TIntegralRegion* MakeIntegral() const;
    // VoxApply: the phase, zoom or peak move of the open tool for this window's voxels
    // only (phase and move as one undoable step, the zoom for this view alone); then the
    // tool ends.
    void ApplyToVoxels();

    // ---- exports of the Output popup (CVoxelWndViewExport.cpp) --------------------------
    // Each asks for the target file ("Export..."), appends the extension when the name
    // has none, and reports a file that cannot be written.
    // The current voxel's displayed points as a text table (empty without a voxel).
    void OnOutputTXTFile();
    // The current voxel's displayed part as an EPS polyline over the client size.
    void OnOutputEPSFile();
    // What the window shows, as one bitmap in an enhanced metafile.
    void OnOutputEMFFile();
    // What the window shows, on the clipboard as an image.
    void OnEditCopy();
    // The off-screen picture (tool overlays included), or the background over the client
    // area when nothing is drawn; always 32-bit RGB.
    QImage ShownPicture() const;
    // The lines of the text table, each ending in CR LF.
    static std::string ExportText(const TSpectrum& voxel, const TSpectrumDisplayParams& display);

    // --- tools (CVoxelWndViewTools.cpp) ---
    // Opens the tool of `mode` with up to four panel values (the mode decides their
    // meaning); asking for the current mode changes nothing. Tools that work on spectra
    // first bring a time-domain work set to the frequency domain.
    void SetTool(int mode, float a = 0.0f, float b = 0.0f, float c = 0.0f, float d = 0.0f);
    // The map dialog's check of a peak name: letters, digits and '_' only (else a message),
    // and a map of that peak already in the set only when the user agrees to replace it
    // (its name in `replace`). False: the dialog shows again.
    bool AcceptMapName(const std::string& peak, std::string& replace) const;
    // The map tool with the map dialog's settings (the peak name, the map size and the
    // quantification) and the name of a map the new one replaces, or "".
    void OpenMapTool(const TMapParams& params, const std::string& replace);
    // Ends the current tool: its copies go, its bars hide, a live phase that was not
    // applied is taken back from the work set, and the read-out record returns. The
    // caller sets the mode.
    void EndTool();
    // EndTool, back to the read-out, and a redraw.
    void CancelTool();
    // EndTool and back to the read-out without a redraw: the window is closing.
    void CloseTool();
    // Turns the tool's picks into a processing step, a display range or an analysis, then
    // ends the tool; a missing pick is reported and ends it too.
    void Apply();

    // --- mouse and bars (CVoxelWndViewInput.cpp); positions are client pixels ---
    void OnMouseMove(int x, int y, bool leftButton);
    void OnLButtonDown(int x, int y);
    void OnLButtonUp();
    void OnRButtonDown();
    // The user moved one of the tool bars; its range has clamped the position.
    void OnScroll(QScrollBar* bar, int position);

    // One spectrum over a pixel rectangle with the display block's ranges, the part the
    // display flags choose, and the axes asked for in the view's unit.
    void DrawPlotInRect(vx::TCanvas& dc, const TSpectrum* spectrum, const TPixelRect& rect, bool showXAxis,
                        bool showYAxis);
    // The same over a given point range and value range.
    void DrawPlotOverRange(vx::TCanvas& dc, const TSpectrum* spectrum, const TPixelRect& rect, float x0, float x1,
                           float yTop, float yBottom, bool showXAxis, bool showYAxis);
    // The current voxel over the client area less the axis margins, both axes shown.
    void DrawFullPlot(vx::TCanvas& dc, const TSpectrum* spectrum, const TPixelRect& client);
    // The left edge of a plot with a y axis over the rows top..bottom and the values
    // yTop..yBottom: kLeftMargin into the client area, or further where the axis's widest
    // label needs the room, so that every label lies whole in the window.
    static int PlotLeft(vx::TCanvas& dc, const TPixelRect& client, int top, int bottom, float yTop, float yBottom);
    // The right edge of a plot of the spectrum's display range from `left`: kRightMargin into
    // the client area, or further in where the last x label needs the room.
    int PlotRight(vx::TCanvas& dc, const TSpectrum* spectrum, const TPixelRect& client, int left) const;
    // The x unit of a frame that plots the spectrum, with its set's acquisition (points
    // without a set).
    void SetPlotUnit(TPlotFrame& frame, const TSpectrum* spectrum) const;
    // The unit of a plot's x axis: the view's, or time where the spectrum's set holds the
    // time-domain signal; a line-width tool's preview is a spectrum whatever its set holds.
    int PlotUnit(const TSpectrum* spectrum) const;
    // The value that the display flags choose at a point (magnitude, else real, else
    // imaginary part; 0 when no part flag is set).
    float DisplayedValue(const TSpectrum* spectrum, int point) const;

    // Scroll bars of the tools, created hidden. The program sets their ranges and
    // positions; only the user's actions on them reach the tools.
    QScrollBar* m_scrollV = nullptr;
    QScrollBar* m_scrollH1 = nullptr;
    QScrollBar* m_scrollH2 = nullptr;

    std::vector<TSpectrum*> m_voxels;  // not owned; the first is the current voxel
    std::unique_ptr<TToolRecord> m_tool;  // the record of m_nToolMode, always present
    TPlotFrame m_plot;
    int m_nUnit = 0;
    int m_nToolMode = 0;
    CVoxelWindow* m_pFrame = nullptr;
    vx::TColor m_crBackground = 0;
    vx::TColor m_crCurve = 0;
    vx::TColor m_crAxis = 0;
    vx::TColor m_crText = 0;
    vx::TColor m_crMark2 = 0;  // zero lines, the phase pivot
    vx::TColor m_crMark = 0;   // cursor, region ends, zoom box, filter windows
    vx::TColor m_crMark3 = 0;  // integral curve
    TSpectrumDisplayParams m_display;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    // Mode 0: one strip per voxel with the read-out line and texts.
    void DrawReadout(vx::TCanvas& dc, const TPixelRect& client);

    QImage m_pMemDC;  // the off-screen picture

private:
    // The record of the current mode when it is of type T, else null.
    template <class T>
    T* ToolAs() const
    {
        return dynamic_cast<T*>(m_tool.get());
    }
    void SetPhaseValues(TPhaseTool& tool, float phase0Degrees, float phase1Degrees, float pivot);
    // The constant phase of the copies becomes phase0 (radians); with live phasing the
    // work set (only the current voxel's slice of a multi-slice set) follows.
    void MoveConstantPhase(TPhaseTool& tool, float phase0);
    // The shown copies are rebuilt from their bases with the linear phase and pivot; with
    // live phasing the work set follows.
    void MoveLinearPhase(TPhaseTool& tool, float phase1, int pivot);
    // The spectrum a tool shows: its preview copy, else the current voxel.
    const TSpectrum* ToolSpectrum() const;
    // The spectral point under a client pixel, and whether the pixel lies on the plot.
    int PointAt(int x, int y) const;
    bool InPlot(int x, int y) const;
    // Integral tool: the second boundary picked; the baseline steps and the scale follow
    // the region's sum.
    void StartIntegralRegion(TIntegralTool& tool);
    // The convolution-difference preview: the time-domain copy weighted, then shown as a
    // spectrum.
    static void ConvolutionDifference(TSpectrum& spectrum, float width, float factor);
    // The map dialog until it is cancelled or gives a name the set can take; then the map
    // tool opens with its settings.
    void RunMapDialog();
    // A value the user set with a bar, shown in the panel's edit of that id.
    void ShowPanelValue(int id, float value);
    // Preparations of SetTool per mode.
    void PrepareTool(int mode, float a, float b, float c, float d);
    void PreparePhase(TPhaseTool& tool);
    std::unique_ptr<TLineWidthTool> MakeLineWidthTool() const;
    void RangeBar(QScrollBar* bar, int low, int high, int position);
    // The work set brought to the frequency domain with its halves swapped (nothing when
    // it already is); false when it cannot be transformed.
    bool EnsureFrequencyDomain();
    // Apply per mode.
    void ApplyPPMCentre(const TPPMCentreTool& tool);
    void ApplyPhase(TPhaseTool& tool);
    // Mode 7: the map of the picked intervals, enlarged to the asked size, added to the
    // set and shown over the image window's image (replacing a map of that name).
    void ApplyMap(const TMapTool& tool);
    void ApplyZoom(const TZoomTool& tool);
    // The display block of this view from the zoom box (the whole spectrum without one).
    void ZoomDisplay(const TZoomTool& tool);
    void ApplyBaselineFit(const TPeakListTool& tool);
    void ApplyAnalysis(TAnalysisPeakTool& tool);
    // Modes 14 and 17 to 20: alignment, lipid, water and peak-removal steps over the region.
    void ApplyRegion(TRegionTool& tool);
    // Mode 15: selected voxels without a clear peak in the peak region are deselected.
    void ApplyPeakFind(TPeakFindTool& tool);
    // What every data-changing tool does after its step: the project is modified, the
    // analyses, maps, image windows and region estimates follow.
    void AfterDataChange();
    void SetScrollPosition(QScrollBar* bar, float value);

    // ---- overlays of the position tools (CVoxelWndViewRegionTools.cpp) -----------------
    // One interval or two positions (modes 14, 17 to 20), the peak finding (mode 15) and
    // the up to 50 peaks of a baseline fit (modes 10, 11) or an analysis (modes 12, 13).
    void DrawRegionTool(vx::TCanvas& dc, const TPixelRect& client);
    void DrawPeakFindTool(vx::TCanvas& dc, const TPixelRect& client);
    void DrawPeakListTool(vx::TCanvas& dc, const TPixelRect& client);
    // The ends of one or two map peaks (mode 7); Apply and Cancel open once all are picked.
    void DrawMapTool(vx::TCanvas& dc, const TPixelRect& client);
    // ---- overlays of the display tools (CVoxelWndViewDisplayTools.cpp) -----------------
    // The PPM-centre pick (mode 1); the phase copies in strips with their texts, pivot
    // and scroll bars (mode 2); the zoom box, whose outline while it is dragged also sets
    // the record's range in data units (mode 3).
    void DrawPPMCentreTool(vx::TCanvas& dc, const TPixelRect& client);
    void DrawPhaseTool(vx::TCanvas& dc, const TPixelRect& client);
    void DrawZoomTool(vx::TCanvas& dc, const TPixelRect& client);
    // The line-width tools (modes 4 to 6): the time-domain data with the filter's window
    // at half their largest magnitude above, the filtered preview below.
    void DrawLineWidthTool(vx::TCanvas& dc, const TPixelRect& client);
    // The convolution-difference preview of the baseline line width (mode 9).
    void DrawBaselineWidthTool(vx::TCanvas& dc, const TPixelRect& client);
    // The integral region with its running integral, baseline and scroll bars (mode 16).
    void DrawIntegralTool(vx::TCanvas& dc, const TPixelRect& client);
    // Values from the plot's left edge on as a curve in a colour other than the curve's.
    void DrawCurveInColour(vx::TCanvas& dc, const std::vector<float>& values, vx::TColor colour);
    // The mark pen and the text colour on a transparent background.
    void BeginMarks(vx::TCanvas& dc) const;
    // A vertical line over the plot at a point position.
    void MarkPoint(vx::TCanvas& dc, float point) const;
    // A point index in the view's unit.
    std::string PositionText(int point) const;
    // A position being picked: the prompt on a text line, the line following the pointer
    // and its position on the next text line.
    void PickPrompt(vx::TCanvas& dc, const std::string& prompt, int point, int line) const;

    // The set the one-click commands work on: the current voxel's, when a project is open.
    TCSISet* CommandSet() const;
    void ApplySpatialWindow(std::unique_ptr<TProcessStep> step);
    // After a one-click step: AfterDataChange, then the voxel and region windows redrawn.
    void AfterCommand();
    // The commands that change the set under every tool end the current one first.
    void EndToolForCommand();
};
