#include "platform/TEPSWriter.h"

#include <algorithm>
#include <ctime>

#include "platform/Numbers.h"

namespace vx {

namespace {

std::string G(double v) { return FormatGeneral(v); }

// A PostScript string literal: parentheses and backslashes escaped.
std::string Literal(const std::string& text)
{
    std::string out = "(";
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + ")";
}

}  // namespace

TEPSWriter::TEPSWriter(const std::string& path, unsigned width, unsigned height) : m_height(height)
{
    m_open = m_file.Begin(path);
    m_failed = !m_open;
    if (!Ok())
        return;
    WriteEPSHeader(path, width, height);
    Comment("initialize default parameters");
    SetGray(m_gray);
    SetLineWidth(m_lineWidth);
    SetFont(m_fontName, m_fontSize);
}

TEPSWriter::~TEPSWriter()
{
    if (m_open)
        Close();
}

void TEPSWriter::Line(const std::string& text)
{
    if (Ok())
        m_text += text + "\r\n";
}

void TEPSWriter::WriteEPSHeader(const std::string& title, unsigned width, unsigned height)
{
    Line("%!PS-Adobe-3.0 EPSF-3.0");
    Line("%%Title: " + title);
    Line("%%BoundingBox: 0 0 " + std::to_string(width) + " " + std::to_string(height));
    Line("%%Creator: Kolvo version 1.0, Tarnwell");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char stamp[64] = "";
    if (localtime_r(&now, &local) && asctime_r(&local, stamp)) {
        std::string date(stamp);
        if (!date.empty() && date.back() == '\n')
            date.pop_back();
        Line("%%CreationDate: " + date);
    } else {
        Line("%%CreationDate: ");
    }
    Line("%%EndComments");
    Line("");
}

void TEPSWriter::Comment(const std::string& text) { Line("% " + text); }

void TEPSWriter::SetGray(float g)
{
    if (g >= 0.0f && g <= 1.0f)
        Line(G(g) + " setgray");
}

void TEPSWriter::SetLineWidth(unsigned w)
{
    if (w <= 10)
        Line(std::to_string(w) + " setlinewidth");
}

void TEPSWriter::SetFont(const std::string& fontName, unsigned size)
{
    Line("/" + fontName + " findfont " + std::to_string(size) + " scalefont setfont");
}

void TEPSWriter::WritePath(const std::string& first, const std::vector<float>& xy, const std::string& end)
{
    if (!Ok())
        return;
    std::string path = first + " moveto ";
    for (size_t i = 0; i + 1 < xy.size(); i += 2)
        path += G(xy[i]) + " " + G(xy[i + 1]) + " lineto ";
    Line("newpath");
    Line(path);
    Line(end);
}

void TEPSWriter::PlotArray(const float* values, int n, float dx, float yOffset, float yScale, unsigned x0)
{
    if (n < 2 || !values || !Ok())
        return;
    Line("");
    Line("% plot a one-dimension array of " + std::to_string(n) + " points");
    std::vector<float> xy;
    xy.reserve(2 * static_cast<size_t>(n - 1));
    for (int i = 1; i < n; ++i) {
        xy.push_back(static_cast<float>(static_cast<double>(i) * dx + x0));
        xy.push_back((yOffset + values[i]) * yScale);
    }
    WritePath(std::to_string(x0) + " " + G((yOffset + values[0]) * yScale), xy, "stroke closepath");
}

bool TEPSWriter::Close()
{
    if (!m_open)
        return !m_failed;
    // A standalone viewer shows the page only on showpage; programs that place the
    // file in a page of their own disable it.
    if (m_clipped)
        Line("grestore");
    m_clipped = false;
    Line("showpage");
    m_open = false;
    if (m_failed || !m_file.File().WriteText(m_text) || !m_file.Commit()) {
        m_file.Abort();
        m_failed = true;
    }
    m_text.clear();
    return !m_failed;
}

// ---- TCanvas: client pixels, y down ----------------------------------------------

std::vector<float> TEPSWriter::Flip(const std::vector<TPointI>& points) const
{
    std::vector<float> xy;
    for (const TPointI& p : points) {
        xy.push_back(static_cast<float>(p.x));
        xy.push_back(static_cast<float>(static_cast<int>(m_height) - p.y));
    }
    return xy;
}

void TEPSWriter::SetColor(TColor color)
{
    Line(G(RedOf(color) / 255.0) + " " + G(GreenOf(color) / 255.0) + " " + G(BlueOf(color) / 255.0) +
         " setrgbcolor");
}

void TEPSWriter::SetPen(TColor color, int width, PenStyle style)
{
    m_penColor = color;
    m_penWidth = std::max(width, 1);
    m_penStyle = style;
    SetColor(color);
    Line(std::to_string(m_penWidth) + " setlinewidth");
    switch (style) {
    case PenStyle::Dot: Line("[1 2] 0 setdash"); break;
    case PenStyle::Dash: Line("[4 2] 0 setdash"); break;
    default: Line("[] 0 setdash"); break;
    }
}

void TEPSWriter::SetBrush(TColor color)
{
    m_hasBrush = true;
    m_brushColor = color;
}

void TEPSWriter::SetNullBrush() { m_hasBrush = false; }

void TEPSWriter::SetFont(int heightPx, bool bold, const std::string&)
{
    m_fontName = bold ? "Helvetica-Bold" : "Helvetica";
    m_fontSize = static_cast<unsigned>(std::max(heightPx, 1));
    SetFont(m_fontName, m_fontSize);
}

void TEPSWriter::RestoreState()
{
    SetPen(m_penColor, m_penWidth, m_penStyle);
    SetFont(m_fontName, m_fontSize);
}

void TEPSWriter::MoveTo(int x, int y) { m_pos = {x, y}; }

void TEPSWriter::LineTo(int x, int y)
{
    Polyline({m_pos, {x, y}});
    m_pos = {x, y};
}

void TEPSWriter::Polyline(const std::vector<TPointI>& points)
{
    if (points.size() < 2 || m_penStyle == PenStyle::Null)
        return;
    const std::vector<float> xy = Flip(points);
    WritePath(G(xy[0]) + " " + G(xy[1]), std::vector<float>(xy.begin() + 2, xy.end()), "stroke");
}

void TEPSWriter::Polygon(const std::vector<TPointI>& points)
{
    if (points.size() < 2)
        return;
    const std::vector<float> xy = Flip(points);
    std::string end = "closepath";
    if (m_hasBrush) {
        end += " gsave " + G(RedOf(m_brushColor) / 255.0) + " " + G(GreenOf(m_brushColor) / 255.0) + " " +
               G(BlueOf(m_brushColor) / 255.0) + " setrgbcolor fill grestore";
    }
    end += m_penStyle == PenStyle::Null ? " newpath" : " stroke";
    WritePath(G(xy[0]) + " " + G(xy[1]), std::vector<float>(xy.begin() + 2, xy.end()), end);
}

void TEPSWriter::Rectangle(int left, int top, int right, int bottom)
{
    Polygon({{left, top}, {right - 1, top}, {right - 1, bottom - 1}, {left, bottom - 1}});
}

void TEPSWriter::Ellipse(int left, int top, int right, int bottom)
{
    if (right <= left || bottom <= top)
        return;
    const double rx = (right - left) / 2.0, ry = (bottom - top) / 2.0;
    Line("gsave " + G(left + rx) + " " + G(static_cast<int>(m_height) - (top + ry)) + " translate " + G(rx) +
         " " + G(ry) + " scale newpath 0 0 1 0 360 arc closepath grestore");
    if (m_hasBrush) {
        Line("gsave");
        SetColor(m_brushColor);
        Line("fill grestore");
    }
    Line(m_penStyle == PenStyle::Null ? "newpath" : "stroke");
}

void TEPSWriter::FillRect(int left, int top, int right, int bottom, TColor color)
{
    if (right <= left || bottom <= top)
        return;
    Line("gsave");
    SetColor(color);
    Line(std::to_string(left) + " " + std::to_string(static_cast<int>(m_height) - bottom) + " " +
         std::to_string(right - left) + " " + std::to_string(bottom - top) + " rectfill grestore");
}

void TEPSWriter::SetPixel(int x, int y, TColor color) { FillRect(x, y, x + 1, y + 1, color); }

void TEPSWriter::Text(int x, int y, const std::string& text, unsigned align)
{
    if (text.empty())
        return;
    const double size = m_fontSize;
    double baseline = y;
    if (align & AlignBottom)
        baseline = y - 0.2 * size;
    else if (align & AlignVCenter)
        baseline = y + 0.35 * size;
    else if (!(align & AlignBaseline))
        baseline = y + 0.8 * size;
    std::string shift;
    if (align & AlignCenter)
        shift = " dup stringwidth pop 2 div neg 0 rmoveto";
    else if (align & AlignRight)
        shift = " dup stringwidth pop neg 0 rmoveto";
    Line("gsave");
    SetColor(m_textColor);
    Line(std::to_string(x) + " " + G(static_cast<int>(m_height) - baseline) + " moveto " + Literal(text) + shift +
         " show grestore");
}

TSizeI TEPSWriter::TextExtent(const std::string& text)
{
    return {static_cast<int>(text.size() * m_fontSize * 6 / 10), static_cast<int>(m_fontSize)};
}

void TEPSWriter::SetClip(int left, int top, int right, int bottom)
{
    ResetClip();
    Line("gsave " + std::to_string(left) + " " + std::to_string(static_cast<int>(m_height) - bottom) + " " +
         std::to_string(std::max(right - left, 0)) + " " + std::to_string(std::max(bottom - top, 0)) +
         " rectclip");
    m_clipped = true;
}

void TEPSWriter::ResetClip()
{
    if (!m_clipped)
        return;
    Line("grestore");
    m_clipped = false;
    RestoreState();
}

void TEPSWriter::Blit(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth, int srcHeight,
                      int stride)
{
    if (!pixels || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0 || stride < srcWidth || !Ok())
        return;
    const std::string w = std::to_string(srcWidth), h = std::to_string(srcHeight);
    Line("gsave " + std::to_string(x) + " " + std::to_string(static_cast<int>(m_height) - y - height) +
         " translate " + std::to_string(width) + " " + std::to_string(height) + " scale");
    Line("/pix " + w + " 3 mul string def");
    Line(w + " " + h + " 8 [" + w + " 0 0 -" + h + " 0 " + h + "] {currentfile pix readhexstring pop} false 3 colorimage");
    static const char* hex = "0123456789abcdef";
    std::string line;
    for (int row = 0; row < srcHeight; ++row) {
        for (int col = 0; col < srcWidth; ++col) {
            const uint32_t p = pixels[static_cast<size_t>(row) * stride + col];
            for (int shift : {16, 8, 0}) {
                const unsigned byte = (p >> shift) & 0xff;
                line += hex[byte >> 4];
                line += hex[byte & 15];
            }
            if (line.size() >= 72) {  // short lines, as EPS readers expect
                Line(line);
                line.clear();
            }
        }
    }
    if (!line.empty())
        Line(line);
    Line("grestore");
}

}  // namespace vx
