#pragma once
// Writes a plot as an Encapsulated PostScript file (EPSF 3.0): the comment header,
// the default graphics state, then the drawing. Besides PlotArray (one polyline from
// an array of values in PostScript coordinates, y up) it is a TCanvas, so the plot
// drawing code can draw into it in client pixels (y down, flipped over the height).
//
// Lines end with "\r\n". The file is written to a temporary beside the target and put
// in place by Close; a file that cannot be created leaves the writer failed and every
// later write is skipped, so nothing half-written is ever left.
#include <string>
#include <vector>

#include "platform/TCanvas.h"
#include "platform/TFile.h"

namespace vx {

class TEPSWriter : public TCanvas {
public:
    TEPSWriter(const std::string& path, unsigned width, unsigned height);
    // Closes the file when still open.
    ~TEPSWriter() override;
    TEPSWriter(const TEPSWriter&) = delete;
    TEPSWriter& operator=(const TEPSWriter&) = delete;

    void WriteEPSHeader(const std::string& title, unsigned width, unsigned height);
    void Comment(const std::string& text);
    // Written only for 0 <= g <= 1.
    void SetGray(float g);
    // Written only for w <= 10.
    void SetLineWidth(unsigned w);
    void SetFont(const std::string& fontName, unsigned size);
    // One polyline: point i at (i * dx + x0, (yOffset + values[i]) * yScale); nothing
    // for n < 2.
    void PlotArray(const float* values, int n, float dx, float yOffset, float yScale, unsigned x0);
    // Ends the page with showpage and puts the file in place; false when it could not be
    // created or written.
    bool Close();
    // True once creating or writing the file failed.
    bool Failed() const { return m_failed; }

    // TCanvas, in client pixels with y down.
    TPenSpec GetPen() const override { return {m_penColor, m_penWidth, m_penStyle}; }
    TBackgroundSpec GetBackground() const override { return {0xffffff, true}; }
    void SetPen(TColor color, int width = 1, PenStyle style = PenStyle::Solid) override;
    void SetBrush(TColor color) override;
    void SetNullBrush() override;
    void SetTextColor(TColor color) override { m_textColor = color; }
    void SetBackground(TColor, bool) override {}  // text is always drawn without a box
    void SetFont(int heightPx, bool bold = false, const std::string& face = {}) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Polyline(const std::vector<TPointI>& points) override;
    void Polygon(const std::vector<TPointI>& points) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void FillRect(int left, int top, int right, int bottom, TColor color) override;
    void SetPixel(int x, int y, TColor color) override;
    void Text(int x, int y, const std::string& text, unsigned align = AlignLeft | AlignTop) override;
    // An estimate from the font size (the printer measures the real text).
    TSizeI TextExtent(const std::string& text) override;
    void SetClip(int left, int top, int right, int bottom) override;
    void ResetClip() override;
    void Blit(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth, int srcHeight,
              int stride) override;

    float m_gray = 0;
    unsigned m_lineWidth = 1;
    std::string m_fontName = "Times-Roman";
    unsigned m_fontSize = 10;

private:
    bool Ok() const { return m_open && !m_failed; }
    void Line(const std::string& text);
    // The one path writer: "newpath", the points on one line, then `end`.
    void WritePath(const std::string& first, const std::vector<float>& xy, const std::string& end);
    std::vector<float> Flip(const std::vector<TPointI>& points) const;
    void SetColor(TColor color);
    // Writes the pen and font again (after a grestore).
    void RestoreState();

    TAtomicFile m_file;
    std::string m_text;
    bool m_open = false;
    bool m_failed = false;
    unsigned m_height = 0;
    TColor m_penColor = 0;
    int m_penWidth = 1;
    PenStyle m_penStyle = PenStyle::Solid;
    bool m_hasBrush = false;
    TColor m_brushColor = 0;
    TColor m_textColor = 0;
    bool m_clipped = false;
    TPointI m_pos;
};

}  // namespace vx
