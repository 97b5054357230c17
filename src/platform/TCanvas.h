#pragma once
// The drawing surface the core drawing code uses (plots, grids, maps, regions).
// The views implement it on QPainter; tests record the calls.
// Colours are 32-bit words 0x00bbggrr (0x0000ff is red).
#include <cstdint>
#include <string>
#include <vector>

namespace vx {

using TColor = uint32_t;

constexpr TColor MakeColor(int r, int g, int b)
{
    return static_cast<TColor>((r & 0xff) | ((g & 0xff) << 8) | ((b & 0xff) << 16));
}
constexpr int RedOf(TColor c) { return static_cast<int>(c & 0xff); }
constexpr int GreenOf(TColor c) { return static_cast<int>((c >> 8) & 0xff); }
constexpr int BlueOf(TColor c) { return static_cast<int>((c >> 16) & 0xff); }

struct TPointI {
    int x = 0;
    int y = 0;
};

struct TSizeI {
    int cx = 0;
    int cy = 0;
};

enum class PenStyle { Solid, Dot, Dash, Null };

// Text alignment: one horizontal and one vertical flag, or-ed.
enum TextAlign : unsigned {
    AlignLeft = 0x0,
    AlignCenter = 0x1,
    AlignRight = 0x2,
    AlignTop = 0x00,
    AlignVCenter = 0x10,
    AlignBottom = 0x20,
    AlignBaseline = 0x40,
};

// A pen as SetPen takes it, and a background as SetBackground takes it.
struct TPenSpec {
    TColor color = 0;
    int width = 1;
    PenStyle style = PenStyle::Solid;
};
struct TBackgroundSpec {
    TColor color = 0xffffff;
    bool transparent = false;
};

class TCanvas {
public:
    virtual ~TCanvas() = default;

    // The pen and background in force (as last set, or the canvas's own before any
    // call), so that drawing code can leave the canvas as it found it.
    virtual TPenSpec GetPen() const = 0;
    virtual TBackgroundSpec GetBackground() const = 0;

    virtual void SetPen(TColor color, int width = 1, PenStyle style = PenStyle::Solid) = 0;
    virtual void SetBrush(TColor color) = 0;
    virtual void SetNullBrush() = 0;
    virtual void SetTextColor(TColor color) = 0;
    // Transparent: text is drawn without a background box.
    virtual void SetBackground(TColor color, bool transparent) = 0;
    // Font height in pixels; an empty face is the default sans-serif face.
    virtual void SetFont(int heightPx, bool bold = false, const std::string& face = {}) = 0;

    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    virtual void Polyline(const std::vector<TPointI>& points) = 0;
    // Closed outline with the pen, filled with the brush.
    virtual void Polygon(const std::vector<TPointI>& points) = 0;
    // Outline with the pen, inside with the brush; right and bottom are exclusive.
    virtual void Rectangle(int left, int top, int right, int bottom) = 0;
    virtual void Ellipse(int left, int top, int right, int bottom) = 0;
    // Fills without an outline.
    virtual void FillRect(int left, int top, int right, int bottom, TColor color) = 0;
    virtual void SetPixel(int x, int y, TColor color) = 0;

    virtual void Text(int x, int y, const std::string& text, unsigned align = AlignLeft | AlignTop) = 0;
    virtual TSizeI TextExtent(const std::string& text) = 0;

    virtual void SetClip(int left, int top, int right, int bottom) = 0;
    virtual void ResetClip() = 0;
    // True when some of the rectangle (right and bottom exclusive) can be drawn on:
    // it meets the surface and the clip. Drawing code skips what cannot show.
    virtual bool RectVisible(int left, int top, int right, int bottom) const
    {
        return right > left && bottom > top;
    }

    // Copies a block of 32-bit pixels 0x00rrggbb (row by row, `stride` pixels a row)
    // to (x, y), scaled to width x height.
    virtual void Blit(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth,
                      int srcHeight, int stride) = 0;
};

// Puts a canvas's pen and background back, when it goes, as they were when it was made.
class TKeepPenAndBackground {
public:
    explicit TKeepPenAndBackground(TCanvas& dc) : m_dc(dc), m_pen(dc.GetPen()), m_background(dc.GetBackground()) {}
    ~TKeepPenAndBackground()
    {
        m_dc.SetPen(m_pen.color, m_pen.width, m_pen.style);
        m_dc.SetBackground(m_background.color, m_background.transparent);
    }
    TKeepPenAndBackground(const TKeepPenAndBackground&) = delete;
    TKeepPenAndBackground& operator=(const TKeepPenAndBackground&) = delete;

private:
    TCanvas& m_dc;
    TPenSpec m_pen;
    TBackgroundSpec m_background;
};

}  // namespace vx
