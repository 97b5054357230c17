#include "platform/TRecordingCanvas.h"

namespace vx {

void TRecordingCanvas::SetPen(TColor color, int width, PenStyle style)
{
    pen = color;
    penWidth = width;
    penStyle = style;
    ops.push_back({"pen", {width, static_cast<int>(style)}, color, {}});
}
void TRecordingCanvas::SetBrush(TColor color)
{
    brush = color;
    ops.push_back({"brush", {}, color, {}});
}
void TRecordingCanvas::SetNullBrush() { ops.push_back({"nullbrush", {}, 0, {}}); }
void TRecordingCanvas::SetTextColor(TColor color) { ops.push_back({"textcolor", {}, color, {}}); }
void TRecordingCanvas::SetBackground(TColor color, bool transparent)
{
    background = {color, transparent};
    ops.push_back({"background", {transparent ? 1 : 0}, color, {}});
}
void TRecordingCanvas::SetFont(int heightPx, bool bold, const std::string& face)
{
    ops.push_back({"font", {heightPx, bold ? 1 : 0}, 0, face});
}
void TRecordingCanvas::MoveTo(int x, int y)
{
    position = {x, y};
    ops.push_back({"move", {x, y}, pen, {}});
}
void TRecordingCanvas::LineTo(int x, int y)
{
    ops.push_back({"line", {position.x, position.y, x, y}, pen, {}});
    position = {x, y};
}
void TRecordingCanvas::Polyline(const std::vector<TPointI>& points)
{
    TCanvasOp op{"polyline", {}, pen, {}};
    for (const auto& p : points) {
        op.args.push_back(p.x);
        op.args.push_back(p.y);
    }
    ops.push_back(op);
}
void TRecordingCanvas::Polygon(const std::vector<TPointI>& points)
{
    TCanvasOp op{"polygon", {}, pen, {}};
    for (const auto& p : points) {
        op.args.push_back(p.x);
        op.args.push_back(p.y);
    }
    ops.push_back(op);
}
void TRecordingCanvas::Rectangle(int left, int top, int right, int bottom)
{
    ops.push_back({"rect", {left, top, right, bottom}, pen, {}});
}
void TRecordingCanvas::Ellipse(int left, int top, int right, int bottom)
{
    ops.push_back({"ellipse", {left, top, right, bottom}, pen, {}});
}
void TRecordingCanvas::FillRect(int left, int top, int right, int bottom, TColor color)
{
    ops.push_back({"fill", {left, top, right, bottom}, color, {}});
}
void TRecordingCanvas::SetPixel(int x, int y, TColor color) { ops.push_back({"pixel", {x, y}, color, {}}); }
void TRecordingCanvas::Text(int x, int y, const std::string& text, unsigned align)
{
    ops.push_back({"text", {x, y, static_cast<int>(align)}, 0, text});
}
TSizeI TRecordingCanvas::TextExtent(const std::string& text)
{
    return {static_cast<int>(text.size()) * charWidth, charHeight};
}
void TRecordingCanvas::SetClip(int left, int top, int right, int bottom)
{
    ops.push_back({"clip", {left, top, right, bottom}, 0, {}});
}
void TRecordingCanvas::ResetClip() { ops.push_back({"noclip", {}, 0, {}}); }
void TRecordingCanvas::Blit(int x, int y, int width, int height, const uint32_t*, int srcWidth,
                            int srcHeight, int)
{
    ops.push_back({"blit", {x, y, width, height, srcWidth, srcHeight}, 0, {}});
}

std::vector<TCanvasOp> TRecordingCanvas::OpsOf(const std::string& kind) const
{
    std::vector<TCanvasOp> out;
    for (const auto& op : ops)
        if (op.kind == kind)
            out.push_back(op);
    return out;
}

std::vector<std::string> TRecordingCanvas::Texts() const
{
    std::vector<std::string> out;
    for (const auto& op : ops)
        if (op.kind == "text")
            out.push_back(op.text);
    return out;
}

}  // namespace vx
