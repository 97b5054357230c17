#pragma once
// The picture inside every image window: the frame's MR image with its map overlays, the
// CSI grid of the frame's slice with a spectrum in every cell, the user-drawn regions, the
// localisation box and the lines where the images of the other open windows cut this plane.
//
// Each of these is painted into a layer of its own (a QImage; black is transparent); the
// layers are OR-ed into one picture of the window's size, and painting only copies that
// picture and writes the status text over it. A layer is repainted only when what it
// shows has changed: scrolling recomposes, a status text repaints a strip of the window,
// and a voxel's cell is repainted by itself.
//
// Coordinate spaces: client pixel (the viewport); layer pixel = client + m_ptScroll;
// display pixel = layer / m_fZoom; corner millimetres = display x mm per display pixel,
// from the plane's top-left corner; in-plane millimetres through the image
// (TMRImage::ConvertPoint) or, without an image, the slice (one display pixel per mm).
#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QPolygon>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/TMouseEvent.h"
#include "model/TPlotFrame.h"
#include "model/math/TPoint2D.h"
#include "platform/TCanvas.h"
#include "views/ReportPage.h"

class CChildFrame;
class CWindowingToolBar;
class QMenu;
class QPainter;
class TCSISlice;
class TDrawnRegion;
class TMRImage;
class TRegionEstimate;
class TSpectrum;

class CMainPicView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Width of the colour-scale column right of the picture.
    static constexpr int kScaleWidth = 90;
    // Grey of the margins and the colour-scale column.
    static constexpr vx::TColor kMarginColour = 0x808080;
    // The status text's strip in the top-left corner.
    static constexpr int kStatusWidth = 700;
    static constexpr int kStatusHeight = 25;

    enum Layer { ImageLayer = 0, CSILayer, RegionLayer, VOILayer, LocationLayer, LayerCount };

    explicit CMainPicView(CChildFrame* frame);
    ~CMainPicView() override;

    // Sets the layer switches by the frame's kind and content, then paints every layer
    // and composes. The frame calls it once its content is in place.
    void OnCreate();

    // Repaints the chosen layers (in the order image, CSI, regions, VOI, image locations),
    // composes and shows the picture.
    void Redraw(bool csi, bool image, bool regions, bool voi, bool layer5);
    // Repaints one voxel's cell (grid indices) or a list of them in the CSI layer, then
    // composes and shows. Nothing without a slice or before the CSI layer exists.
    void RedrawVoxel(int x, int y, int z);
    void RedrawVoxelSet(const std::vector<TSpectrum*>& voxels);
    // Repaints every layer at one zoom: a layer that had to reduce the zoom makes all of
    // them paint again, so that they end with the same zoom.
    void RepaintAllLayers();
    // Shows a text over the picture's top-left corner; only that strip is repainted.
    void SetStatusText(const QString& text);
    const QString& StatusText() const { return m_strStatus; }
    // Scrolls so that the in-plane point (mm) lies at the centre of the window; with
    // `redraw` the scroll bars follow and the picture is composed and shown.
    void CentreOn(const TPoint2D& mm, bool redraw);
    void UpdateScrollBars();
    void ComposeLayers();

    // Conversions between client pixels and in-plane millimetres.
    TPoint2D ClientToMm(int x, int y) const;
    vx::TPointI MmToClient(const TPoint2D& mm) const;
    // The CSI grid's rectangle in layer pixels.
    TPixelRect GetSliceRect() const;
    // A client point relative to the centre of the CSI grid (mm without an image).
    TPoint2D ClientToSliceCentred(int x, int y) const;
    // A length in display pixels times the zoom, truncated toward zero.
    int ZoomLength(int length) const;

    void PaintImageLayer();
    void PaintCSILayer();
    void PaintRegionLayer();
    void PaintVOILayer();
    void PaintLayer5();

    // The composed picture (the size of the viewport once composed) and the layers.
    const QImage& Picture() const { return m_dcPicture; }
    const QImage& LayerImage(Layer layer) const;
    // How often each layer has been painted (whole layers; single cells do not count).
    int LayerPaintCount(Layer layer) const { return m_nLayerPaints[layer]; }

    // Layers larger than this many pixels count as a bitmap that cannot be made (as the
    // display's memory would refuse it), so the zoom shrinks until they fit.
    static void SetMaxLayerPixels(int64_t pixels);
    static int64_t MaxLayerPixels();

    // Drawing of the user-drawn regions and region estimates, installed by the classes
    // that own them; without it the region layer stays empty.
    struct TRegionPainters {
        // Draws an estimate's regions / a drawn region with the given pen colour.
        std::function<void(TRegionEstimate*, vx::TCanvas&, const CMainPicView&, vx::TColor)> drawEstimate;
        std::function<void(TDrawnRegion*, vx::TCanvas&, const CMainPicView&, vx::TColor)> drawRegion;
        // The estimate is highlighted (while a report takes its pictures).
        std::function<bool(TRegionEstimate*)> isHighlighted;
    };
    static TRegionPainters SetRegionPainters(TRegionPainters painters);

    CChildFrame* Frame() const { return m_pFrame; }

    // ---- work modes and the mouse (CMainPicViewMouse.cpp) ---------------------------------
    // Every mouse message becomes a TMouseEvent for the handler of the project's work mode.
    // The handlers keep their drag state between events in one state per handler, shared
    // by every view; a state tied to a view goes with it.
    void DispatchMouseEvent(TMouseEvent* event);
    void OnMouseSelectVoxel(TMouseEvent* event);
    void OnMouseMultiSelect(TMouseEvent* event);
    void OnMousePolygonSelect(TMouseEvent* event);
    void OnMouseZoomIn(TMouseEvent* event);
    void OnMouseZoomOut(TMouseEvent* event);
    void OnMouseMoveCenter(TMouseEvent* event);
    void OnMouseVoxelShift(TMouseEvent* event);
    void OnMouseAverageVoxels(TMouseEvent* event);
    void OnMouseSpectraRange(TMouseEvent* event);
    void OnMouseUserRegion(TMouseEvent* event);
    // True while a band, drag or shape begun in the view is under way.
    static bool HasMouseState(const CMainPicView* view);
    // Rubber bands and outlines of a drag, drawn over the picture (never into a layer)
    // until the handler takes them away. Points are client pixels: a rectangle's or an
    // ellipse's two corners, or the vertices of an open polyline.
    enum RubberKind { NoRubber, RubberRect, RubberEllipse, RubberPolyline };
    void SetRubber(RubberKind kind, const QPolygon& points, const QColor& colour);
    void ClearRubber() { SetRubber(NoRubber, {}, {}); }
    RubberKind Rubber() const { return m_nRubber; }
    const QPolygon& RubberPoints() const { return m_rubberPoints; }

    // ---- commands of the image window (CMainPicViewCommands.cpp) --------------------------
    // The right button's popup: the report entries, the layer switches checked as they are
    // shown, then one entry per map of the work set (at most kMaxMapItems), checked while
    // the window overlays it. Each entry's data is its command number.
    static constexpr int kMaxMapItems = 50;
    std::unique_ptr<QMenu> MakeContextMenu();
    // A command of the popup by its number: a layer switch or a map entry.
    void OnCommand(int command);
    // Layer switches: each needs what its layer draws, else does nothing.
    void OnImgWndImage();
    void OnImgWndCSISlice();
    void OnImgWndVOI();
    void OnImgWndUserDrawRegions();
    void OnImgWndUnselectedVoxels();
    // The map of entry `command` goes on or off the window.
    void OnMapSwitch(int command);
    // The frame's image steps through the images of its orientation.
    void OnFirstImage();
    void OnLastImage();
    void OnNextImage();
    void OnPreviousImage();
    // The one overlaid map's display range becomes the range of the part the spectra show.
    void OnResetMapScale();
    // The picture, without the status text, to the clipboard.
    void OnEditCopy();
    // One page per slice of the work set along the frame slice's axis, through the print
    // dialog.
    void OnFilePrint();
    // The number of pages; 0, with a message, when the frame has no slice to print.
    int OnPreparePrinting();
    // Page `page` (from 1) over `paper` (device pixels) at `dpi` dots per inch.
    void OnPrint(QPainter& painter, const QRect& paper, int dpi, int page);

    // ---- HTML report (CMainPicViewReport.cpp) -----------------------------------------------
    // Each asks for the page's path and writes the page with one section for this window,
    // for every image window, or for every region-estimate window; the pictures go to the
    // page's folder "<title>_files" as JPEG files.
    void OnReportCurrentWindow();
    void OnReportAllWindows();
    void OnReportSpectralEstimation();
    // This window's section of the report at `path` as section `n`: its picture, the plots
    // of its single-voxel windows and the parameter tables. Nothing when `out` has failed.
    void WriteReportSection(std::ostream& out, const std::string& path, int n);
    // The parameter tables of the window's image, CSI slice and first map overlay.
    vx::report::TParamTables ReportTables() const;
    // A picture as a report JPEG at `file`; false when it cannot be written.
    static bool SaveReportPicture(const QImage& picture, const std::string& file);
    // A section's main picture saved as title + `name` in the report's picture folder (made
    // first); the report's paths, or none with `failure` + the report's path reported.
    static std::optional<vx::report::TReportPaths> SaveSectionPicture(const std::string& path, const QImage& picture,
                                                                      const std::string& name,
                                                                      const std::string& failure);

    // Layer switches; the frame and the image-window commands set them.
    bool m_bShowImage = false;
    bool m_bShowCSISlice = false;
    bool m_bShowVOI = false;
    bool m_bShowRegions = false;
    bool m_bShowUnselected = true;
    bool m_bShowLayer5 = true;
    // Two letters written at the top and left edges of the picture.
    std::string m_strOrientLabels;
    TPoint2D m_ptScroll;  // screen pixels; negative while the picture is centred in the window
    TPoint2D m_ptCenter;  // in-plane point (mm) kept at the centre when the zoom changes
    float m_fZoom = 1.0f;           // screen pixels per display pixel
    float m_fMmPerPixelX = 1.0f;    // mm per display pixel
    float m_fMmPerPixelY = 1.0f;
    bool m_bZoomReduced = false;    // the CSI or region layer had to reduce the zoom

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // A layer switch: flips `flag` when the frame has what the layer draws, then repaints.
    void ToggleLayer(bool& flag, bool available, void (CMainPicView::*paint)());
    // The main frame's windowing toolbar, which shows the map range; null without one.
    CWindowingToolBar* WindowingBar() const;
    // The frame's image becomes `image` (of the frame's orientation), with the slice,
    // overlays and pictures that follow it.
    void ShowOtherImage(TMRImage* image);
    // The report commands' frame: the path, the page's head, `sections`, the closing tags.
    void WriteReport(bool estimation, const std::function<void(std::ostream&, const std::string&)>& sections);
    // The Select voxel status text at a client point: position, voxel and map values.
    QString SelectVoxelText(int x, int y) const;
    // The handlers' drag states that belong to this view are dropped (it is going).
    void ForgetMouseState();
    void PostMouseEvent(QMouseEvent* event, int kind);

    // Picture size of the frame's content: (W, H) in display pixels and the millimetre
    // scales; w x h = (W, H) times the zoom. False with neither image nor slice.
    bool PictureSize(int& w, int& h);
    // Replaces `layer` by a black image of the layer's size: (w + extra) x h. While the
    // image cannot be made the zoom shrinks by 0.8 (a bounded number of times). False,
    // layer emptied, when there is nothing to paint (a side of 0 pixels).
    bool PrepareLayer(QImage& layer, int extraWidth, bool reducesZoom);
    TMRImage* FrameImage() const;
    TCSISlice* FrameSlice() const;
    // The grid is drawn solid when the frame has no image or the image lies within
    // 0.5 mm of the slice.
    bool IsGridActive() const;
    // Adds the map overlays, times `weight`, to the image layer's pixels inside `area` at
    // the layer's own resolution, placed by the CSI grid (by the image without a grid).
    void AddMapOverlays(const QRect& area, const std::vector<TMRImage*>& overlays, float weight, int colourTable);
    // Draws the colour-scale column (kScaleWidth x h) of a value range.
    QImage ColourScale(float top, float bottom, int colourTable, int h) const;
    void DrawCells(const std::vector<TSpectrum*>* voxels, int x, int y, int z);
    void ShowPicture();

    CChildFrame* m_pFrame;
    QImage m_dcImage;
    QImage m_dcCSI;
    QImage m_dcRegions;
    QImage m_dcVOI;
    QImage m_dcLayer5;
    QImage m_dcPicture;
    QString m_strStatus;
    int m_nLayerPaints[LayerCount] = {};
    bool m_bComposing = false;     // ComposeLayers is running
    bool m_bComposeAgain = false;  // the window changed size while composing
    bool m_bSettingBars = false;   // the bars are being set from m_ptScroll
    RubberKind m_nRubber = NoRubber;
    QPolygon m_rubberPoints;
    QColor m_rubberColour;
};
