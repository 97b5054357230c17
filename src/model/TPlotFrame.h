#pragma once
// Maps a data window (a range of point indices across, a value range upwards) onto
// a pixel rectangle and draws into it: curves, spectra, a zero line, axes with
// ticks and labels, and colour maps with their colour scale.
#include <string>
#include <vector>

#include "model/math/TPoint2D.h"
#include "platform/TCanvas.h"

class TFloatMatrix;
class TSpectrum;

// A pixel rectangle; right and bottom are the far edges.
struct TPixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class TPlotFrame {
public:
    // Axis units of the x labels.
    enum { kUnitPoints = 0, kUnitHz = 1, kUnitPPM = 2, kUnitMs = 3 };
    // Parts of a spectrum, tested in this order.
    enum { kPartReal = 8, kPartImaginary = 4, kPartMagnitude = 2 };

    TPlotFrame() = default;
    virtual ~TPlotFrame() = default;

    void SetXRange(float x0, float x1, int pointCount, bool showAxis);
    void SetYRange(float top, float bottom, bool showAxis);
    void SetPixelRect(int left, int top, int right, int bottom);
    TPixelRect GetPixelRect() const { return {m_nLeft, m_nTop, m_nRight, m_nBottom}; }
    void SetXUnit(int unit, float spectralWidth, float frequency, float ppmCentre);

    // Pixel under a data point (x: point index, y: value), and the data point under
    // a pixel. A range of zero width maps to the middle of the rectangle.
    vx::TPointI DataToPixel(const TPoint2D& data) const;
    TPoint2D PixelToData(int px, int py) const;

    // The values of points trunc(x0)..trunc(x1) as a curve in the curve colour;
    // the zero line first when it is switched on. A null array draws nothing.
    void DrawCurve(vx::TCanvas& dc, const float* values, bool markers) const;
    // The same for `count` values, the first at the left edge.
    void DrawValues(vx::TCanvas& dc, const float* values, int count, bool markers) const;
    // A vector of values over x0..x1 (as many of them as the range holds).
    void DrawVector(vx::TCanvas& dc, const std::vector<float>& values) const;
    // The part chosen by the part flags (real, else imaginary, else magnitude; nothing
    // when none is set) of points trunc(x0)..trunc(x1), in the spectrum's state
    // colour or in the given one.
    void DrawSpectrum(vx::TCanvas& dc, const TSpectrum* spectrum) const;
    void DrawSpectrumInColour(vx::TCanvas& dc, const TSpectrum* spectrum, vx::TColor colour) const;
    void DrawZeroLine(vx::TCanvas& dc) const;
    void DrawAxes(vx::TCanvas& dc) const;
    // Pixels left of the plot that the y axis's ticks and labels take on `dc` (0 when it has
    // none), for the y range and pixel height set: the room a caller leaves for them.
    int YAxisWidth(vx::TCanvas& dc) const;
    // Pixels the x axis's labels reach right of the plot on `dc` (0 when none does), for the
    // x range, unit and pixel width set.
    int XAxisOverhang(vx::TCanvas& dc) const;
    // Columns c0..c1 and rows r0..r1 of the matrix as square cells coloured through
    // the frame's colour table over the y range, with a colour scale to the right.
    void DrawColourMap(vx::TCanvas& dc, const TFloatMatrix* matrix, int c0, int c1, int r0, int r1) const;
    // A colour bar in (x0, y0)-(x1, y1) with the bottom and top values written at
    // labelX and, unless tickInterval is -1, a tick every tickInterval pixels with its
    // value centred on it. No two labels read alike: they have `digits` significant
    // digits, more where labels would otherwise read alike, fewer where they would not fit
    // the frame; when no count of digits does both, only every second (third...) tick is
    // labelled, and a tick next to an end that reads like it is not. A value that is 0
    // within rounding reads 0. A constant map (bottom equal to top), or a bar too low for
    // two labels one label spacing apart, has its top value written once; a bar lower than
    // one label has none.
    void DrawColourScale(vx::TCanvas& dc, int x0, int y0, int x1, int y1, int labelX, int tickInterval,
                         int digits) const;
    // A colour scale's label: `digits` significant digits, an exponent without its plus
    // sign and leading zeros (1.5e4, 2e-5).
    static std::string ScaleLabel(float value, int digits);
    void FillBackground(vx::TCanvas& dc, vx::TColor colour) const;

    // The smallest step of the form {0.25, 0.5, 1, 1.5, 2} x 10^k whose spacing on
    // pixelLength pixels over a..b is at least minSpacing pixels; 0 when the range
    // or the pixel length is empty.
    static float TickStep(float a, float b, int pixelLength, int minSpacing);
    // Writes a lone tick label in a box: alignment 0 left, 1 centred, 2 right. Small and
    // large round values get a short exponent form (0.0005 as 5e-4, 5000 as 5e3). The
    // value is rounded to `decimals` places (see TickDecimals).
    static void DrawTickLabel(vx::TCanvas& dc, float value, const TPixelRect& box, int alignment,
                              int decimals = 4);
    // The labels of one axis's ticks (multiples of `step`), all in one notation: written
    // out with the decimals the step needs when each fits `width` pixels on `dc`, else as
    // whole mantissas of one shared power of ten (20e4, 15e4, 10e4) when those are narrower.
    static std::vector<std::string> TickLabels(vx::TCanvas& dc, const std::vector<double>& values, double step,
                                               int width);
    // Writes `text` in a box as DrawTickLabel places its label.
    static void DrawLabelInBox(vx::TCanvas& dc, const std::string& text, const TPixelRect& box, int alignment);
    // The decimals that write every multiple of a tick step exactly, 4 at least, so that
    // the labels of a small step neither read alike nor lose the values they mark.
    static int TickDecimals(double step);

    float m_fBottom = 0.0f;  // data value at the bottom edge
    float m_fTop = 1.0f;     // data value at the top edge
    int m_nLeft = 0;
    int m_nTop = 0;
    int m_nRight = 1;
    int m_nBottom = 1;
    bool m_bShowXAxis = false;
    bool m_bShowYAxis = false;
    bool m_bShowZeroLine = false;
    bool m_bWholeXTicks = false;  // the x axis counts things (runs, updates): whole ticks only
    float m_fX0 = 0.0f;  // point index at the left edge
    float m_fX1 = 1.0f;  // point index at the right edge
    float m_fSpectralWidth = 1.0f;  // Hz
    float m_fFrequency = 1.0f;      // MHz
    float m_fPointCount = 2.0f;     // points of the spectrum, for the axis labels
    float m_fPPMCentre = 0.0f;      // point position of 0 ppm
    int m_nUnit = kUnitPoints;
    int m_nPartFlags = kPartReal;
    vx::TColor m_crCurve = 0x0000ff;
    vx::TColor m_crAxis = 0x0000ff;
    vx::TColor m_crZeroLine = 0xff0000;
    int m_nColourTable = 0;  // 0 gray, 1 hot, 2 cool, 3 jet

private:
    // A colour scale's label texts; an empty text leaves its tick unlabelled.
    struct ScaleLabels {
        std::string bottom, top;
        std::vector<std::string> ticks;
    };
    // Labels of the ends and of the tick values (ascending from the bottom) that are told
    // apart and, where they can be, fit `room` pixels on `dc` (any width when room <= 0).
    static ScaleLabels ChooseScaleLabels(vx::TCanvas& dc, float bottom, float top,
                                         const std::vector<float>& ticks, int digits, int room);
    void DrawValuesInColour(vx::TCanvas& dc, const float* values, int count, bool markers,
                            vx::TColor colour) const;
    // Points trunc(x0)..trunc(x1); 0 when the range is empty or absurdly long.
    int CurvePointCount() const;
    void DrawYAxis(vx::TCanvas& dc) const;
    // The rows and labels of the y axis's ticks; false when the range gives no ticks.
    bool YTicks(vx::TCanvas& dc, std::vector<int>& rows, std::vector<std::string>& labels) const;
    void DrawXAxis(vx::TCanvas& dc) const;
    // The columns and labels of the x axis's ticks; false when the range gives no ticks.
    bool XTicks(vx::TCanvas& dc, std::vector<int>& columns, std::vector<std::string>& labels) const;
    // The x-axis value of a point index in the frame's unit.
    double PointToUnit(float point) const;
};
