#include "views/TPainterCanvas.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPen>
#include <QPolygon>

#include <algorithm>

namespace vx {

QColor ToQColor(TColor colour) { return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour)); }

TColor FromQColor(const QColor& colour) { return MakeColor(colour.red(), colour.green(), colour.blue()); }

namespace {

Qt::PenStyle QtPenStyle(PenStyle style)
{
    switch (style) {
    case PenStyle::Dot: return Qt::DotLine;
    case PenStyle::Dash: return Qt::DashLine;
    case PenStyle::Null: return Qt::NoPen;
    case PenStyle::Solid: break;
    }
    return Qt::SolidLine;
}

QPolygon ToPolygon(const std::vector<TPointI>& points)
{
    QPolygon polygon;
    polygon.reserve(static_cast<int>(points.size()));
    for (const TPointI& p : points)
        polygon.append(QPoint(p.x, p.y));
    return polygon;
}

}  // namespace

TPainterCanvas::TPainterCanvas(QPainter& painter) : m_painter(&painter) { Init(); }

TPainterCanvas::TPainterCanvas(QPaintDevice* device)
    : m_ownPainter(std::make_unique<QPainter>(device)), m_painter(m_ownPainter.get())
{
    Init();
}

TPainterCanvas::~TPainterCanvas()
{
    Flush();
    if (m_ownPainter)
        m_ownPainter->end();
}

void TPainterCanvas::Init()
{
    if (QPaintDevice* device = m_painter->device())
        m_device = QRect(0, 0, device->width(), device->height());
    // Device-context drawing is aliased: one pixel wide lines on whole pixels.
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    m_painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    m_painter->setBackgroundMode(Qt::OpaqueMode);
    m_painter->setBackground(Qt::white);
    m_painter->setBrush(Qt::white);
    if (m_painter->hasClipping()) {
        m_clipped = true;
        m_clip = m_painter->clipBoundingRect().toAlignedRect();
    }
    ApplyPen();
}

QPainter& TPainterCanvas::Painter()
{
    Flush();
    return *m_painter;
}

void TPainterCanvas::Flush()
{
    if (m_path.size() >= 2)
        m_painter->drawPolyline(m_path.constData(), static_cast<int>(m_path.size()));
    m_path.clear();
}

void TPainterCanvas::ApplyPen()
{
    QPen pen(m_penColour);
    pen.setStyle(QtPenStyle(m_penStyle));
    // Width 0 is Qt's one-pixel cosmetic pen; a flat cap leaves out a line's last pixel.
    pen.setWidth(m_penWidth <= 1 ? 0 : m_penWidth);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    m_painter->setPen(pen);
}

void TPainterCanvas::SetPen(TColor color, int width, PenStyle style)
{
    Flush();
    m_penColour = ToQColor(color);
    m_penWidth = std::clamp(width, 0, 1000);
    m_penStyle = style;
    ApplyPen();
}

void TPainterCanvas::SetBrush(TColor color)
{
    Flush();
    m_painter->setBrush(ToQColor(color));
}

void TPainterCanvas::SetNullBrush()
{
    Flush();
    m_painter->setBrush(Qt::NoBrush);
}

void TPainterCanvas::SetTextColor(TColor color) { m_textColour = ToQColor(color); }

void TPainterCanvas::SetBackground(TColor color, bool transparent)
{
    Flush();
    m_painter->setBackground(ToQColor(color));
    m_painter->setBackgroundMode(transparent ? Qt::TransparentMode : Qt::OpaqueMode);
}

void TPainterCanvas::SetFont(int heightPx, bool bold, const std::string& face)
{
    Flush();
    QFont font = face.empty() ? m_painter->font() : QFont(QString::fromStdString(face));
    font.setPixelSize(std::clamp(heightPx, 1, 1000));
    font.setBold(bold);
    m_painter->setFont(font);
}

void TPainterCanvas::MoveTo(int x, int y)
{
    Flush();
    m_position = QPoint(x, y);
}

void TPainterCanvas::LineTo(int x, int y)
{
    if (m_path.isEmpty())
        m_path.append(m_position);
    m_position = QPoint(x, y);
    m_path.append(m_position);
}

void TPainterCanvas::Polyline(const std::vector<TPointI>& points)
{
    Flush();
    if (points.size() >= 2)
        m_painter->drawPolyline(ToPolygon(points));
}

void TPainterCanvas::Polygon(const std::vector<TPointI>& points)
{
    Flush();
    if (points.size() >= 2)
        m_painter->drawPolygon(ToPolygon(points));
}

void TPainterCanvas::Rectangle(int left, int top, int right, int bottom)
{
    Flush();
    if (right <= left || bottom <= top)
        return;
    if (m_penStyle == PenStyle::Null) {
        if (m_painter->brush().style() != Qt::NoBrush)
            m_painter->fillRect(QRect(left, top, right - left, bottom - top), m_painter->brush());
        return;
    }
    // A cosmetic outline of QRect(x, y, w, h) covers x..x+w: one less than the edges.
    m_painter->drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
}

void TPainterCanvas::Ellipse(int left, int top, int right, int bottom)
{
    Flush();
    if (right <= left || bottom <= top)
        return;
    m_painter->drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1));
}

void TPainterCanvas::FillRect(int left, int top, int right, int bottom, TColor color)
{
    Flush();
    if (right > left && bottom > top)
        m_painter->fillRect(QRect(left, top, right - left, bottom - top), ToQColor(color));
}

void TPainterCanvas::SetPixel(int x, int y, TColor color)
{
    Flush();
    m_painter->fillRect(QRect(x, y, 1, 1), ToQColor(color));
}

void TPainterCanvas::Text(int x, int y, const std::string& text, unsigned align)
{
    Flush();
    const QString s = QString::fromStdString(text);
    const QFontMetrics metrics(m_painter->font());
    const int width = metrics.horizontalAdvance(s);
    int left = x;
    if (align & AlignCenter)
        left = x - width / 2;
    else if (align & AlignRight)
        left = x - width;
    int baseline = y + metrics.ascent();
    if (align & AlignBaseline)
        baseline = y;
    else if (align & AlignBottom)
        baseline = y - metrics.descent();
    else if (align & AlignVCenter)
        baseline = y + (metrics.ascent() - metrics.descent()) / 2;
    if (m_painter->backgroundMode() == Qt::OpaqueMode)
        m_painter->fillRect(QRect(left, baseline - metrics.ascent(), width, metrics.height()), m_painter->background());
    const QPen shapes = m_painter->pen();
    m_painter->setPen(m_textColour);
    m_painter->drawText(QPoint(left, baseline), s);
    m_painter->setPen(shapes);
}

TSizeI TPainterCanvas::TextExtent(const std::string& text)
{
    const QFontMetrics metrics(m_painter->font());
    return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

void TPainterCanvas::SetClip(int left, int top, int right, int bottom)
{
    Flush();
    m_clip = QRect(left, top, std::max(right - left, 0), std::max(bottom - top, 0));
    m_clipped = true;
    m_painter->setClipRect(m_clip);
}

void TPainterCanvas::ResetClip()
{
    Flush();
    m_clipped = false;
    m_painter->setClipping(false);
}

bool TPainterCanvas::RectVisible(int left, int top, int right, int bottom) const
{
    if (right <= left || bottom <= top)
        return false;
    const QRect r(left, top, right - left, bottom - top);
    const QRect mapped = m_painter->transform().mapRect(r);
    if (!m_device.isEmpty() && !mapped.intersects(m_device))
        return false;
    return !m_clipped || r.intersects(m_clip);
}

void TPainterCanvas::Blit(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth,
                          int srcHeight, int stride)
{
    Flush();
    if (!pixels || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0 || stride < srcWidth)
        return;
    // The words carry no alpha; the picture is opaque.
    QImage picture(srcWidth, srcHeight, QImage::Format_RGB32);
    for (int row = 0; row < srcHeight; ++row) {
        const uint32_t* from = pixels + static_cast<size_t>(row) * static_cast<size_t>(stride);
        auto* to = reinterpret_cast<uint32_t*>(picture.scanLine(row));
        for (int column = 0; column < srcWidth; ++column)
            to[column] = 0xff000000u | from[column];
    }
    m_painter->drawImage(QRect(x, y, width, height), picture);
}

}  // namespace vx
