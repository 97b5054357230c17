#pragma once
// A canvas that records every call, for tests of drawing code.
#include <string>
#include <vector>

#include "platform/TCanvas.h"

namespace vx {

struct TCanvasOp {
    std::string kind;        // "pen", "brush", "line", "rect", "text", ...
    std::vector<int> args;   // coordinates and sizes in call order
    TColor color = 0;        // the colour argument, or the current pen colour for shapes
    std::string text;        // text of "text" and face of "font"
};

class TRecordingCanvas : public TCanvas {
public:
    std::vector<TCanvasOp> ops;
    TColor pen = 0;
    int penWidth = 1;
    PenStyle penStyle = PenStyle::Solid;
    TBackgroundSpec background;
    TColor brush = 0;
    TPointI position;
    // Width in pixels of one character for TextExtent.
    int charWidth = 6;
    int charHeight = 12;

    TPenSpec GetPen() const override { return {pen, penWidth, penStyle}; }
    TBackgroundSpec GetBackground() const override { return background; }
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
    void Blit(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth,
              int srcHeight, int stride) override;

    // Recorded operations of one kind.
    std::vector<TCanvasOp> OpsOf(const std::string& kind) const;
    // Texts drawn, in order.
    std::vector<std::string> Texts() const;
};

}  // namespace vx
