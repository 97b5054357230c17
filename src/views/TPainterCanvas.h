#pragma once
// The drawing canvas of every view: the core's drawing calls carried out on a
// QPainter, usually over a QImage layer (where Windows would use a memory device
// context). Shapes follow the device-context conventions the drawing code is written
// for: right and bottom edges are exclusive, a line leaves out its last pixel, a
// dotted pen shows the background between its dots unless the background is
// transparent, and text is placed by its alignment flags.
//
// Consecutive MoveTo/LineTo calls are gathered into one polyline and drawn when
// anything else is drawn or the state changes (or Flush is called), so that curves of
// thousands of segments cost one painter call.
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QVector>

#include <memory>

#include "platform/TCanvas.h"

class QImage;
class QPaintDevice;

namespace vx {

// 0x00bbggrr -> QColor and back.
QColor ToQColor(TColor colour);
TColor FromQColor(const QColor& colour);

class TPainterCanvas : public TCanvas {
public:
    // Draws with a painter that the caller keeps active for the canvas's lifetime.
    explicit TPainterCanvas(QPainter& painter);
    // Opens its own painter on a paint device (a QImage layer, a printer) and ends it
    // when destroyed.
    explicit TPainterCanvas(QPaintDevice* device);
    ~TPainterCanvas() override;
    TPainterCanvas(const TPainterCanvas&) = delete;
    TPainterCanvas& operator=(const TPainterCanvas&) = delete;

    // Draws the gathered line segments.
    void Flush();
    QPainter& Painter();

    TPenSpec GetPen() const override { return {FromQColor(m_penColour), m_penWidth, m_penStyle}; }
    TBackgroundSpec GetBackground() const override
    {
        return {FromQColor(m_painter->background().color()), m_painter->backgroundMode() == Qt::TransparentMode};
    }
    void SetPen(TColor color, int width, PenStyle style) override;
    void SetBrush(TColor color) override;
    void SetNullBrush() override;
    void SetTextColor(TColor color) override;
    void SetBackground(TColor color, bool transparent) override;
    void SetFont(int heightPx, bool bold, const std::string& face) override;

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Polyline(const std::vector<TPointI>& points) override;
    void Polygon(const std::vector<TPointI>& points) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void FillRect(int left, int top, int right, int bottom, TColor color) override;
    void SetPixel(int x, int y, TColor color) override;

    void Text(int x, int y, const std::string& text, unsigned align) override;
    TSizeI TextExtent(const std::string& text) override;

    void SetClip(int left, int top, int right, int bottom) override;
    void ResetClip() override;
    bool RectVisible(int left, int top, int right, int bottom) const override;

    void Blit(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth, int srcHeight,
              int stride) override;

private:
    void Init();
    // The pen and brush of shapes; text is drawn with the text colour.
    void ApplyPen();

    std::unique_ptr<QPainter> m_ownPainter;
    QPainter* m_painter;
    QRect m_device;      // the surface's rectangle
    QRect m_clip;        // valid while m_clipped
    bool m_clipped = false;
    QColor m_penColour{Qt::black};
    int m_penWidth = 1;
    PenStyle m_penStyle = PenStyle::Solid;
    QColor m_textColour{Qt::black};
    QPoint m_position;
    QVector<QPoint> m_path;  // gathered LineTo points, the first the MoveTo point
};

}  // namespace vx
