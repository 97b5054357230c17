#include "views/picture/CMainPicView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include "app/CChildFrame.h"
#include "app/TImageFrameList.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "views/TPainterCanvas.h"

namespace {

constexpr QRgb kBlack = 0xff000000;
const QColor kMargin(128, 128, 128);
const QColor kLabelColour(250, 250, 250);
const QColor kStatusColour(255, 255, 0);
constexpr vx::TColor kRegionPen = 0xc0c000;     // RGB(0, 192, 192)
constexpr vx::TColor kHighlightPen = 0x00ffff;  // yellow
// Each failed layer shrinks the zoom by this factor; after this many tries any picture
// has shrunk below one pixel.
constexpr float kShrink = 0.8f;
constexpr int kMaxShrinks = 120;
// A scroll bar's line and page steps, in screen pixels.
constexpr int kLineStep = 1;
constexpr int kPageStep = 10;

int64_t g_maxLayerPixels = int64_t(1) << 25;  // 32 M pixels, 128 MB a layer

CMainPicView::TRegionPainters& RegionPainters()
{
    static CMainPicView::TRegionPainters painters;
    return painters;
}

// The image and map weights of the project's map opacity (0 high, 1 medium, 2 low).
void OpacityWeights(int opacity, float& image, float& map)
{
    switch (opacity) {
    case 0: image = 0.3f; map = 0.7f; break;
    case 1: image = 0.5f; map = 0.5f; break;
    case 2: image = 0.7f; map = 0.3f; break;
    default: image = 0.0f; map = 0.0f; break;
    }
}

// The layer's new picture, black (transparent in the composition); null when the
// display would not give one that large.
QImage NewLayer(int width, int height)
{
    if (width < 1 || height < 1 || int64_t(width) * height > g_maxLayerPixels)
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (!image.isNull())
        image.fill(kBlack);
    return image;
}

}  // namespace

CMainPicView::CMainPicView(CChildFrame* frame) : m_pFrame(frame)
{
    setFrameShape(QFrame::NoFrame);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    horizontalScrollBar()->setSingleStep(kLineStep);
    horizontalScrollBar()->setPageStep(kPageStep);
    verticalScrollBar()->setSingleStep(kLineStep);
    verticalScrollBar()->setPageStep(kPageStep);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The work modes see every move, and the right button as plain clicks: the context
    // menu comes only from the right button's release in Select voxel mode.
    viewport()->setMouseTracking(true);
    viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
}

CMainPicView::~CMainPicView()
{
    ForgetMouseState();
}

void CMainPicView::SetMaxLayerPixels(int64_t pixels)
{
    g_maxLayerPixels = std::max<int64_t>(pixels, 1);
}

int64_t CMainPicView::MaxLayerPixels()
{
    return g_maxLayerPixels;
}

CMainPicView::TRegionPainters CMainPicView::SetRegionPainters(TRegionPainters painters)
{
    TRegionPainters old = std::move(RegionPainters());
    RegionPainters() = std::move(painters);
    return old;
}

TMRImage* CMainPicView::FrameImage() const
{
    return m_pFrame ? m_pFrame->GetImage() : nullptr;
}

TCSISlice* CMainPicView::FrameSlice() const
{
    return m_pFrame ? m_pFrame->GetSlice() : nullptr;
}

const QImage& CMainPicView::LayerImage(Layer layer) const
{
    switch (layer) {
    case CSILayer: return m_dcCSI;
    case RegionLayer: return m_dcRegions;
    case VOILayer: return m_dcVOI;
    case LocationLayer: return m_dcLayer5;
    default: return m_dcImage;
    }
}

// ---- lifetime ------------------------------------------------------------------------

void CMainPicView::OnCreate()
{
    const TMRImage* image = FrameImage();
    const TCSISlice* slice = FrameSlice();
    m_bShowImage = image != nullptr;
    m_bShowRegions = image != nullptr;
    m_bShowCSISlice = slice != nullptr;
    m_bShowVOI = slice != nullptr;
    m_bShowUnselected = slice != nullptr;
    if (m_pFrame && m_pFrame->m_nKind == CChildFrame::kSliceFrame)
        m_strOrientLabels = slice ? slice->GetDirectionCode() : std::string();
    else
        m_strOrientLabels = image ? image->GetInfoText(TMRImage::InfoDirectionCode) : std::string();
    PaintImageLayer();
    UpdateScrollBars();
    PaintCSILayer();
    PaintRegionLayer();
    PaintVOILayer();
    PaintLayer5();
    ComposeLayers();
}

void CMainPicView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    ComposeLayers();
}

// ---- sizes and coordinates -----------------------------------------------------------

bool CMainPicView::PictureSize(int& w, int& h)
{
    const TMRImage* image = FrameImage();
    const TCSISlice* slice = FrameSlice();
    int width = 0, height = 0;
    if (image) {
        const vx::TSizeI size = image->GetDisplaySize();
        width = size.cx;
        height = size.cy;
        m_fMmPerPixelX = width > 0 ? image->GetFOVX() / static_cast<float>(width) : 1.0f;
        m_fMmPerPixelY = height > 0 ? image->GetFOVY() / static_cast<float>(height) : 1.0f;
    } else if (slice) {
        const vx::TSizeI size = slice->GetFOVSize();
        width = size.cx;
        height = size.cy;
        m_fMmPerPixelX = 1.0f;
        m_fMmPerPixelY = 1.0f;
    } else {
        return false;
    }
    w = ZoomLength(width);
    h = ZoomLength(height);
    return true;
}

int CMainPicView::ZoomLength(int length) const
{
    return vx::TruncateToInt(static_cast<double>(length) * m_fZoom);
}

TPoint2D CMainPicView::ClientToMm(int x, int y) const
{
    const TPoint2D display((static_cast<float>(x) + m_ptScroll.x) / m_fZoom,
                           (static_cast<float>(y) + m_ptScroll.y) / m_fZoom);
    if (const TMRImage* image = FrameImage())
        return image->ConvertPoint(TPoint2D(display.x * m_fMmPerPixelX, display.y * m_fMmPerPixelY), 0);
    if (const TCSISlice* slice = FrameSlice())
        return slice->ToWorld(display);
    return display;
}

vx::TPointI CMainPicView::MmToClient(const TPoint2D& mm) const
{
    int dx = 0, dy = 0;
    if (const TMRImage* image = FrameImage()) {
        const TPoint2D corner = image->ConvertPoint(mm, 1);
        dx = vx::TruncateToInt(std::floor(corner.x / m_fMmPerPixelX));
        dy = vx::TruncateToInt(std::floor(corner.y / m_fMmPerPixelY));
    } else if (const TCSISlice* slice = FrameSlice()) {
        const vx::TPointI local = slice->ToLocal(mm);
        dx = local.x;
        dy = local.y;
    }
    return {vx::TruncateToInt(ZoomLength(dx) - static_cast<double>(m_ptScroll.x)),
            vx::TruncateToInt(ZoomLength(dy) - static_cast<double>(m_ptScroll.y))};
}

TPixelRect CMainPicView::GetSliceRect() const
{
    const TCSISlice* slice = FrameSlice();
    if (!slice)
        return {};
    const vx::TPointI topLeft = MmToClient(slice->GetTopLeft());
    const vx::TPointI bottomRight = MmToClient(slice->GetBottomRight());
    const int sx = vx::TruncateToInt(m_ptScroll.x);
    const int sy = vx::TruncateToInt(m_ptScroll.y);
    return {topLeft.x + sx, topLeft.y + sy, bottomRight.x + sx, bottomRight.y + sy};
}

TPoint2D CMainPicView::ClientToSliceCentred(int x, int y) const
{
    const TCSISlice* slice = FrameSlice();
    const float fovX = slice ? slice->GetFOVX() : 0.0f;
    const float fovY = slice ? slice->GetFOVY() : 0.0f;
    return {(static_cast<float>(x) + m_ptScroll.x) / m_fZoom - fovX / 2,
            (static_cast<float>(y) + m_ptScroll.y) / m_fZoom - fovY / 2};
}

void CMainPicView::CentreOn(const TPoint2D& mm, bool redraw)
{
    int px = 0, py = 0;
    if (const TMRImage* image = FrameImage()) {
        int w = 0, h = 0;
        PictureSize(w, h);
        // The display pixel of the point (an image pixel when the image's pixels are square).
        const TPoint2D corner = image->ConvertPoint(mm, 1);
        px = vx::TruncateToInt(std::floor(corner.x / m_fMmPerPixelX));
        py = vx::TruncateToInt(std::floor(corner.y / m_fMmPerPixelY));
    } else if (const TCSISlice* slice = FrameSlice()) {
        const vx::TPointI local = slice->ToLocal(mm);
        px = local.x;
        py = local.y;
    } else {
        return;
    }
    const QSize client = viewport()->size();
    const int x = vx::TruncateToInt(px - client.width() / 2.0 / m_fZoom);
    const int y = vx::TruncateToInt(py - client.height() / 2.0 / m_fZoom);
    m_ptScroll = TPoint2D(static_cast<float>(ZoomLength(x)), static_cast<float>(ZoomLength(y)));
    if (redraw) {
        UpdateScrollBars();
        ComposeLayers();
        ShowPicture();
    }
}

// ---- scroll bars -----------------------------------------------------------------------

namespace {

// One bar for a picture `size` pixels long in a window `client` pixels long: shown with the
// range of the overhang and the offset clamped into it, or hidden with the offset that
// centres the picture (negative).
void SetBar(QScrollBar* bar, int size, int client, float& scroll)
{
    if (size > client) {
        const int range = size - client;
        const int at = std::clamp(vx::TruncateToInt(scroll), 0, range);
        scroll = static_cast<float>(at);
        bar->setRange(0, range);
        bar->setValue(at);
    } else {
        bar->setRange(0, 0);
        scroll = static_cast<float>((size - client) / 2);
    }
}

}  // namespace

void CMainPicView::UpdateScrollBars()
{
    int w = 0, h = 0;
    const QSize client = viewport()->size();
    if (client.isEmpty() || !PictureSize(w, h))
        return;
    m_bSettingBars = true;
    // The scale column scrolls with the picture.
    SetBar(horizontalScrollBar(), w + kScaleWidth, client.width(), m_ptScroll.x);
    SetBar(verticalScrollBar(), h, client.height(), m_ptScroll.y);
    m_bSettingBars = false;
}

void CMainPicView::scrollContentsBy(int dx, int dy)
{
    // Bars set from m_ptScroll need no answer; a bar the user moved gives the offset.
    if (m_bSettingBars)
        return;
    if (dx != 0)
        m_ptScroll.x = static_cast<float>(horizontalScrollBar()->value());
    if (dy != 0)
        m_ptScroll.y = static_cast<float>(verticalScrollBar()->value());
    ComposeLayers();
    viewport()->update();
}

// ---- layers ----------------------------------------------------------------------------

bool CMainPicView::PrepareLayer(QImage& layer, int extraWidth, bool reducesZoom)
{
    int w = 0, h = 0;
    if (!PictureSize(w, h))
        return false;
    QImage picture = NewLayer(w + extraWidth, h);
    for (int tries = 0; picture.isNull() && w >= 1 && h >= 1 && tries < kMaxShrinks; ++tries) {
        m_fZoom *= kShrink;
        PictureSize(w, h);
        CentreOn(m_ptCenter, false);
        if (reducesZoom)
            m_bZoomReduced = true;
        picture = NewLayer(w + extraWidth, h);
    }
    UpdateScrollBars();
    // A picture shrunk to nothing has nothing to paint.
    layer = picture;
    return !layer.isNull();
}

QImage CMainPicView::ColourScale(float top, float bottom, int colourTable, int h) const
{
    QImage scale(kScaleWidth, std::max(h, 1), QImage::Format_RGB32);
    if (scale.isNull())
        return scale;
    scale.fill(kMargin);
    TPlotFrame frame;
    frame.SetYRange(top, bottom, false);
    frame.SetPixelRect(0, 0, kScaleWidth, h);
    frame.m_nColourTable = colourTable;
    vx::TPainterCanvas dc(&scale);
    frame.FillBackground(dc, kMarginColour);
    frame.DrawColourScale(dc, 45, 0, 67, h, 11, 60, 3);
    return scale;
}

void CMainPicView::PaintImageLayer()
{
    TMRImage* image = FrameImage();
    if (!image && !FrameSlice()) {
        m_dcImage = QImage();
        return;
    }
    if (!PrepareLayer(m_dcImage, kScaleWidth, false))
        return;
    ++m_nLayerPaints[ImageLayer];
    int w = 0, h = 0;
    PictureSize(w, h);
    const std::vector<TMRImage*> overlays = m_pFrame->GetMapOverlays();
    const TProject* project = m_pFrame->Project();
    const int colourTable = project ? project->m_nMapColormap : 1;
    QPainter layer(&m_dcImage);

    if (m_bShowImage && image) {
        // Pixels that load only now (their file could not be read before) give the image
        // its stored range, which the windowing toolbar shows.
        const bool loadedBefore = image->IsLoaded();
        float imageWeight = 1.0f, mapWeight = 0.0f;
        // Without a map the image keeps its full grey range, which its colour scale shows.
        if (!overlays.empty())
            OpacityWeights(project ? project->m_nMapOpacity : 1, imageWeight, mapWeight);
        QImage own(std::max(image->GetWidth(), 1), std::max(image->GetHeight(), 1), QImage::Format_RGB32);
        if (!own.isNull()) {
            own.fill(kBlack);
            {
                vx::TPainterCanvas dc(&own);
                image->DrawMapOverlay(dc, {}, imageWeight, 0.0f, colourTable);
            }
            layer.drawImage(QRect(0, 0, w, h), own);
        }
        if (!overlays.empty()) {
            layer.end();
            AddMapOverlays(QRect(0, 0, w, h), overlays, mapWeight, colourTable);
            layer.begin(&m_dcImage);
        }
        const QImage scale = overlays.empty()
                                 ? ColourScale(image->GetWindowHigh(), image->GetWindowLow(), 0, h)
                                 : ColourScale(m_pFrame->GetMapDisplayMax(), m_pFrame->GetMapDisplayMin(),
                                               colourTable, h);
        layer.drawImage(QPoint(w, 0), scale);
        if (!loadedBefore && image->IsLoaded())
            m_pFrame->RefreshWindowingBar();
    } else if (!overlays.empty()) {
        // The maps alone, at full strength over black, fill the grid.
        const TPixelRect grid = GetSliceRect();
        const QRect cells(grid.left, grid.top, grid.right - grid.left, grid.bottom - grid.top);
        layer.fillRect(cells, kBlack);
        layer.end();
        AddMapOverlays(cells, overlays, 1.0f, colourTable);
        layer.begin(&m_dcImage);
        layer.drawImage(QPoint(w, 0), ColourScale(m_pFrame->GetMapDisplayMax(), m_pFrame->GetMapDisplayMin(),
                                                   colourTable, h));
    } else {
        layer.fillRect(QRect(w, 0, kScaleWidth, h), kMargin);
    }
}

void CMainPicView::AddMapOverlays(const QRect& area, const std::vector<TMRImage*>& overlays, float weight,
                                  int colourTable)
{
    const QRect part = area.intersected(m_dcImage.rect());
    if (part.isEmpty())
        return;
    // The world point of a picture pixel: through the CSI grid's own placement when there
    // is a grid, so that the map cells meet its lines at any zoom; else through the image.
    TPoint2D origin, step;
    const TCSISlice* slice = FrameSlice();
    const TPixelRect grid = slice ? GetSliceRect() : TPixelRect{};
    if (slice && grid.right > grid.left && grid.bottom > grid.top) {
        const TPoint2D topLeft = slice->GetTopLeft(), bottomRight = slice->GetBottomRight();
        step = TPoint2D((bottomRight.x - topLeft.x) / static_cast<float>(grid.right - grid.left),
                        (bottomRight.y - topLeft.y) / static_cast<float>(grid.bottom - grid.top));
        origin = TPoint2D(topLeft.x - static_cast<float>(grid.left) * step.x,
                          topLeft.y - static_cast<float>(grid.top) * step.y);
    } else if (const TMRImage* image = FrameImage()) {
        step = TPoint2D(m_fMmPerPixelX / m_fZoom, m_fMmPerPixelY / m_fZoom);
        origin = image->ConvertPoint(TPoint2D(0.0f, 0.0f), 0);
    } else {
        return;
    }
    origin = TPoint2D(origin.x + static_cast<float>(part.left()) * step.x, origin.y + static_cast<float>(part.top()) * step.y);
    auto* pixels = reinterpret_cast<uint32_t*>(m_dcImage.scanLine(part.top())) + part.left();
    TMRImage::AddMapOverlays(pixels, part.width(), part.height(), static_cast<int>(m_dcImage.bytesPerLine() / 4),
                             overlays, weight, colourTable, origin, step);
}

bool CMainPicView::IsGridActive() const
{
    const TMRImage* image = FrameImage();
    const TCSISlice* slice = FrameSlice();
    if (!image || !slice)
        return true;
    return std::fabs(static_cast<double>(slice->GetSlicePosition()) - image->GetSlicePosition()) < 0.5;
}

void CMainPicView::PaintCSILayer()
{
    const TCSISlice* slice = FrameSlice();
    if (!slice) {
        m_dcCSI = QImage();
        return;
    }
    if (!PrepareLayer(m_dcCSI, 0, true))
        return;
    ++m_nLayerPaints[CSILayer];
    const TProject* project = m_pFrame->Project();
    const TSpectrumDisplayParams display = project ? project->m_display : TSpectrumDisplayParams();
    vx::TPainterCanvas dc(&m_dcCSI);
    slice->DrawSpectraGrid(dc, GetSliceRect(), display, !IsGridActive(), m_bShowUnselected);
}

void CMainPicView::PaintRegionLayer()
{
    if (!FrameImage() || !FrameSlice()) {
        m_dcRegions = QImage();
        return;
    }
    if (!PrepareLayer(m_dcRegions, 0, true))
        return;
    ++m_nLayerPaints[RegionLayer];
    TProject* project = m_pFrame->Project();
    const TRegionPainters& painters = RegionPainters();
    if (!project)
        return;
    vx::TPainterCanvas dc(&m_dcRegions);
    TRegionEstimate* highlighted = nullptr;
    if (painters.drawEstimate)
        for (TRegionEstimate* estimate : project->m_regionEstimates) {
            const bool lit = painters.isHighlighted && painters.isHighlighted(estimate);
            if (lit)
                highlighted = estimate;
            painters.drawEstimate(estimate, dc, *this, lit ? kHighlightPen : kRegionPen);
        }
    if (painters.drawRegion)
        for (const auto& [key, region] : project->m_drawnRegions)
            painters.drawRegion(region, dc, *this, kRegionPen);
    // The highlighted estimate lies on top of everything else.
    if (highlighted)
        painters.drawEstimate(highlighted, dc, *this, kHighlightPen);
}

void CMainPicView::PaintVOILayer()
{
    const TCSISlice* slice = FrameSlice();
    if (!slice) {
        m_bShowVOI = false;
        m_dcVOI = QImage();
        return;
    }
    if (!PrepareLayer(m_dcVOI, 0, false))
        return;
    ++m_nLayerPaints[VOILayer];
    vx::TPainterCanvas dc(&m_dcVOI);
    slice->DrawVOI(dc, GetSliceRect());
}

void CMainPicView::PaintLayer5()
{
    const TCSISlice* slice = FrameSlice();
    if (!slice) {
        m_bShowLayer5 = false;
        m_dcLayer5 = QImage();
        return;
    }
    m_bShowLayer5 = true;
    if (!PrepareLayer(m_dcLayer5, 0, false))
        return;
    ++m_nLayerPaints[LocationLayer];
    const TImageFrameList* list = m_pFrame->Owner();
    if (!list)
        return;
    int others[2];
    if (!TMRImage::InPlaneAxes(slice->GetSliceAxis(), others[0], others[1]))
        return;
    vx::TPainterCanvas dc(&m_dcLayer5);
    const TPixelRect grid = GetSliceRect();
    for (int other : others)
        slice->DrawImageLocations(dc, m_dcLayer5.width(), m_dcLayer5.height(), grid,
                                  list->GetImagesOfOrientation(other));
}

void CMainPicView::RepaintAllLayers()
{
    // A layer that had to shrink the zoom leaves the others at the old one: repeat until
    // a whole round passes at one zoom.
    for (int round = 0; round < kMaxShrinks; ++round) {
        m_bZoomReduced = false;
        PaintImageLayer();
        PaintCSILayer();
        PaintRegionLayer();
        PaintVOILayer();
        PaintLayer5();
        if (!m_bZoomReduced)
            break;
    }
}

// ---- composition and painting ----------------------------------------------------------

void CMainPicView::ComposeLayers()
{
    // Scroll bars that appear or vanish resize the window while it composes; the
    // composition then runs once more at the new size.
    if (m_bComposing) {
        m_bComposeAgain = true;
        return;
    }
    m_bComposing = true;
    for (int pass = 0; pass < 4; ++pass) {
        m_bComposeAgain = false;
        int w = 0, h = 0;
        const QSize client = viewport()->size();
        if (!PictureSize(w, h) || client.isEmpty())
            break;
        QImage picture = NewLayer(client.width(), client.height());
        if (picture.isNull())
            break;
        m_dcPicture = picture;
        UpdateScrollBars();
        if (m_bComposeAgain)
            continue;

        QPainter p(&m_dcPicture);
        const int cw = client.width(), ch = client.height();
        const int width = w + kScaleWidth;
        QRect target(0, 0, cw, ch);
        int sx = 0, sy = 0;
        if (width < cw || h < ch)
            p.fillRect(target, kMargin);
        if (width < cw) {
            const int left = (cw - width) / 2;
            target.setLeft(left);
            target.setRight((cw + width) / 2 - 1);
            m_ptScroll.x = static_cast<float>(-left);
        } else {
            sx = vx::TruncateToInt(m_ptScroll.x);
        }
        if (h < ch) {
            const int top = (ch - h) / 2;
            target.setTop(top);
            target.setBottom((ch + h) / 2 - 1);
            m_ptScroll.y = static_cast<float>(-top);
        } else {
            sy = vx::TruncateToInt(m_ptScroll.y);
        }
        p.fillRect(target, Qt::black);
        // Black is transparent: every layer is OR-ed over the ones below.
        p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        const QRect source(sx, sy, target.width(), target.height());
        const struct {
            const QImage* layer;
            bool shown;
        } layers[] = {{&m_dcImage, true},
                      {&m_dcCSI, m_bShowCSISlice},
                      {&m_dcRegions, m_bShowRegions},
                      {&m_dcVOI, m_bShowVOI},
                      {&m_dcLayer5, m_bShowLayer5}};
        for (const auto& l : layers)
            if (l.shown && !l.layer->isNull())
                p.drawImage(target.topLeft(), *l.layer, source);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (m_strOrientLabels.size() == 2) {
            p.setPen(kLabelColour);
            p.drawText(QPoint(cw / 2 - 15, 0) + QPoint(0, p.fontMetrics().ascent()),
                       QString(QChar::fromLatin1(m_strOrientLabels[1])));
            p.drawText(QPoint(0, ch / 2 - 15) + QPoint(0, p.fontMetrics().ascent()),
                       QString(QChar::fromLatin1(m_strOrientLabels[0])));
        }
        break;
    }
    m_bComposing = false;
}

void CMainPicView::ShowPicture()
{
    viewport()->update();
}

void CMainPicView::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    const QRect dirty = event->rect();
    if (!m_dcPicture.isNull())
        p.drawImage(dirty.topLeft(), m_dcPicture, dirty);
    // Beyond a picture not yet composed at this size: the margin grey.
    const QRegion rest = QRegion(dirty) - QRegion(m_dcPicture.rect());
    for (const QRect& r : rest)
        p.fillRect(r, kMargin);
    if (m_nRubber != NoRubber && !m_rubberPoints.isEmpty()) {
        p.setPen(QPen(m_rubberColour, 1));
        p.setBrush(Qt::NoBrush);
        const QRect box = QRect(m_rubberPoints.first(), m_rubberPoints.last()).normalized();
        if (m_nRubber == RubberRect)
            p.drawRect(box);
        else if (m_nRubber == RubberEllipse)
            p.drawEllipse(box);
        else
            p.drawPolyline(m_rubberPoints);
    }
    if (!m_strStatus.isEmpty()) {
        p.setPen(kStatusColour);
        p.drawText(QRect(0, 0, kStatusWidth, kStatusHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   m_strStatus);
    }
}

void CMainPicView::Redraw(bool csi, bool image, bool regions, bool voi, bool layer5)
{
    if (image)
        PaintImageLayer();
    if (csi)
        PaintCSILayer();
    if (regions)
        PaintRegionLayer();
    if (voi)
        PaintVOILayer();
    if (layer5)
        PaintLayer5();
    ComposeLayers();
    ShowPicture();
}

void CMainPicView::DrawCells(const std::vector<TSpectrum*>* voxels, int x, int y, int z)
{
    const TCSISlice* slice = FrameSlice();
    if (!slice || m_dcCSI.isNull())
        return;
    const TProject* project = m_pFrame->Project();
    const TSpectrumDisplayParams display = project ? project->m_display : TSpectrumDisplayParams();
    {
        vx::TPainterCanvas dc(&m_dcCSI);
        if (voxels)
            slice->DrawVoxelList(dc, GetSliceRect(), display, *voxels, m_bShowUnselected);
        else
            slice->DrawVoxel(dc, GetSliceRect(), display, x, y, z, m_bShowUnselected);
    }
    ComposeLayers();
    ShowPicture();
}

void CMainPicView::RedrawVoxel(int x, int y, int z)
{
    DrawCells(nullptr, x, y, z);
}

void CMainPicView::RedrawVoxelSet(const std::vector<TSpectrum*>& voxels)
{
    DrawCells(&voxels, 0, 0, 0);
}

void CMainPicView::SetStatusText(const QString& text)
{
    m_strStatus = text;
    viewport()->update(QRect(0, 0, kStatusWidth, kStatusHeight));
}
