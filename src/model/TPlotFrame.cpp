#include "model/TPlotFrame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/drawing/BitmapHelpers.h"
#include "model/math/TFloatMatrix.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"

using vx::TCanvas;
using vx::TPointI;

namespace {

// Device coordinates stay far inside the int range, whatever the data holds.
constexpr double kPixelLimit = 1.0e7;

// Truncates a pixel position towards zero; NaN gives 0 and huge values are clamped
// so that the conversion to int is always defined.
int ToPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -kPixelLimit, kPixelLimit));
}

// Points of one curve at most: far more than any spectrum holds, and a bound on the
// array a spectrum's part is copied into.
constexpr double kMaxCurvePoints = 1 << 24;

// Ticks per axis at most, so that odd ranges cannot make the loops run away.
constexpr int kMaxTicks = 1000;

// Decimals of a tick label at most: beyond the smallest float.
constexpr int kMaxTickDecimals = 50;

// Significant digits of a colour scale's labels at most: more than a float holds.
constexpr int kMaxScaleDigits = 9;

// Widths (pixels) a tick label may take: the y axis's label box, and on the x axis the
// least spacing of two ticks less a gap.
constexpr int kYLabelWidth = 30;
// Length of a y tick, left of the axis, and the least gap between a label and its tick.
constexpr int kYTickLength = 5;
constexpr int kYLabelGap = 3;
constexpr int kXLabelWidth = 44;

// Least spacing (pixels) of two labels stacked on the y axis or a colour scale: a label
// closer to the one before is left out rather than written over it.
constexpr int kYLabelSpacing = 17;
// Rows a colour scale's label takes below the row it is written at.
constexpr int kScaleLabelHeight = 15;

}  // namespace

void TPlotFrame::SetXRange(float x0, float x1, int pointCount, bool showAxis)
{
    m_fX0 = x0;
    m_fX1 = x1;
    m_fPointCount = static_cast<float>(pointCount);
    m_bShowXAxis = showAxis;
}

void TPlotFrame::SetYRange(float top, float bottom, bool showAxis)
{
    m_fTop = top;
    m_fBottom = bottom;
    m_bShowYAxis = showAxis;
}

void TPlotFrame::SetPixelRect(int left, int top, int right, int bottom)
{
    m_nLeft = left;
    m_nTop = top;
    m_nRight = right;
    m_nBottom = bottom;
}

void TPlotFrame::SetXUnit(int unit, float spectralWidth, float frequency, float ppmCentre)
{
    m_nUnit = unit;
    m_fSpectralWidth = spectralWidth;
    m_fFrequency = frequency;
    m_fPPMCentre = ppmCentre;
}

TPointI TPlotFrame::DataToPixel(const TPoint2D& data) const
{
    const int w = m_nRight - m_nLeft;
    const int h = m_nBottom - m_nTop;
    const double dx = double(m_fX1) - m_fX0;
    const double dy = double(m_fTop) - m_fBottom;
    TPointI p;
    p.x = dx != 0.0 ? ToPixel((data.x - double(m_fX0)) * w / dx + m_nLeft) : m_nLeft + w / 2;
    p.y = dy != 0.0 ? ToPixel((double(m_fTop) - data.y) * h / dy + m_nTop) : m_nTop + h / 2;
    return p;
}

TPoint2D TPlotFrame::PixelToData(int px, int py) const
{
    const int w = m_nRight - m_nLeft;
    const int h = m_nBottom - m_nTop;
    TPoint2D d;
    d.x = w != 0 ? static_cast<float>((double(m_fX1) - m_fX0) * (px - m_nLeft) / w + m_fX0)
                 : static_cast<float>((double(m_fX0) + m_fX1) / 2);
    d.y = h != 0 ? static_cast<float>(m_fTop - (double(m_fTop) - m_fBottom) * (py - m_nTop) / h)
                 : static_cast<float>((double(m_fTop) + m_fBottom) / 2);
    return d;
}

int TPlotFrame::CurvePointCount() const
{
    const double count = std::trunc(double(m_fX1)) - std::trunc(double(m_fX0)) + 1;
    return count >= 1 && count <= kMaxCurvePoints ? static_cast<int>(count) : 0;
}

void TPlotFrame::DrawCurve(TCanvas& dc, const float* values, bool markers) const
{
    DrawValuesInColour(dc, values, CurvePointCount(), markers, m_crCurve);
}

void TPlotFrame::DrawValues(TCanvas& dc, const float* values, int count, bool markers) const
{
    DrawValuesInColour(dc, values, count, markers, m_crCurve);
}

void TPlotFrame::DrawValuesInColour(TCanvas& dc, const float* values, int count, bool markers,
                                    vx::TColor colour) const
{
    if (values == nullptr || count < 1)
        return;
    if (m_bShowZeroLine)
        DrawZeroLine(dc);

    const int w = m_nRight - m_nLeft;
    const int h = m_nBottom - m_nTop;
    const double dx = double(m_fX1) - m_fX0;
    const double dy = double(m_fTop) - m_fBottom;
    auto column = [&](int k) { return dx != 0.0 ? ToPixel(k * double(w) / dx) + m_nLeft : m_nLeft + w / 2; };
    auto row = [&](float v) {
        return dy != 0.0 ? ToPixel((double(m_fBottom) - v) * h / dy) + m_nBottom : m_nTop + h / 2;
    };
    auto marker = [&](int x, int y) {
        if (markers)
            dc.Rectangle(x - 3, y - 3, x + 4, y + 4);
    };

    dc.SetPen(colour, 1, vx::PenStyle::Solid);
    if (markers)
        dc.SetNullBrush();
    int lastColumn = column(0);
    int highest = row(values[0]);  // smallest row drawn in the current column
    int lowest = highest;          // largest row drawn in the current column
    dc.MoveTo(lastColumn, highest);
    marker(lastColumn, highest);
    // Many values per pixel column draw only their vertical extent.
    for (int k = 1; k < count; ++k) {
        const int x = column(k);
        const int y = row(values[k]);
        if (x != lastColumn) {
            dc.LineTo(x, y);
            marker(x, y);
            lastColumn = x;
            highest = lowest = y;
        } else if (y > lowest) {
            dc.LineTo(x, y);
            lowest = y;
        } else if (y < highest) {
            dc.LineTo(x, y);
            highest = y;
        }
    }
}

void TPlotFrame::DrawVector(TCanvas& dc, const std::vector<float>& values) const
{
    const size_t count = std::min(values.size(), static_cast<size_t>(CurvePointCount()));
    DrawValues(dc, values.data(), static_cast<int>(count), false);
}

void TPlotFrame::DrawSpectrum(TCanvas& dc, const TSpectrum* spectrum) const
{
    if (spectrum != nullptr)
        DrawSpectrumInColour(dc, spectrum, spectrum->StateColour());
}

void TPlotFrame::DrawSpectrumInColour(TCanvas& dc, const TSpectrum* spectrum, vx::TColor colour) const
{
    const int count = CurvePointCount();
    if (spectrum == nullptr || count < 1 || !(std::fabs(m_fX0) < 1.0e9f))
        return;
    const int first = static_cast<int>(m_fX0);
    const int last = first + (count - 1);
    std::unique_ptr<float[]> values;
    if (m_nPartFlags & kPartReal)
        values = spectrum->GetRealRange(first, last);
    else if (m_nPartFlags & kPartImaginary)
        values = spectrum->GetImagRange(first, last);
    else if (m_nPartFlags & kPartMagnitude)
        values = spectrum->GetMagnitudeRange(first, last);
    DrawValuesInColour(dc, values.get(), count, false, colour);
}

void TPlotFrame::DrawZeroLine(TCanvas& dc) const
{
    if (!(m_fTop >= 0.0f && m_fBottom <= 0.0f))
        return;
    const int h = m_nBottom - m_nTop;
    const double dy = double(m_fTop) - m_fBottom;
    const int y = dy != 0.0 ? ToPixel(double(m_fBottom) * h / dy) + m_nBottom : m_nTop + h / 2;
    dc.SetPen(m_crZeroLine, 1, vx::PenStyle::Solid);
    dc.MoveTo(m_nLeft, y);
    dc.LineTo(m_nRight, y);
}

void TPlotFrame::DrawAxes(TCanvas& dc) const
{
    dc.SetPen(m_crAxis, 1, vx::PenStyle::Solid);
    dc.SetTextColor(m_crAxis);
    dc.SetBackground(0xffffff, true);
    if (m_bShowYAxis)
        DrawYAxis(dc);
    if (m_bShowXAxis)
        DrawXAxis(dc);
}

bool TPlotFrame::YTicks(TCanvas& dc, std::vector<int>& rows, std::vector<std::string>& labels) const
{
    const float step = TickStep(m_fBottom, m_fTop, m_nBottom - m_nTop, kYLabelSpacing);
    if (!(step > 0.0f) || !std::isfinite(m_fBottom) || !std::isfinite(m_fTop))
        return false;
    // Ticks at multiples of the step, from the bottom edge upwards.
    const double signedStep = m_fTop >= m_fBottom ? step : -double(step);
    const double first = std::trunc(m_fBottom / signedStep) * signedStep;
    std::vector<double> values;
    for (int i = 0; i < kMaxTicks; ++i) {
        double value = first + i * signedStep;
        if (std::fabs(value) < std::fabs(signedStep) * 1e-6)
            value = 0.0;
        const int y = DataToPixel(TPoint2D(0.0f, static_cast<float>(value))).y;
        if (y < m_nTop)
            break;
        if (y > m_nBottom)
            continue;
        values.push_back(value);
        rows.push_back(y);
    }
    labels = TickLabels(dc, values, step, kYLabelWidth);
    return true;
}

namespace {

// How far left of the axis a y label starts: its box, or further left for a label too wide
// to end a gap before the tick, so that the tick neither runs through it nor reads as a
// trailing minus.
int YLabelReach(TCanvas& dc, const std::string& label)
{
    return std::max(kYLabelWidth, kYTickLength + kYLabelGap + dc.TextExtent(label).cx);
}

}  // namespace

int TPlotFrame::YAxisWidth(TCanvas& dc) const
{
    std::vector<int> rows;
    std::vector<std::string> labels;
    int width = 0;
    if (YTicks(dc, rows, labels))
        for (const std::string& label : labels)
            width = std::max(width, YLabelReach(dc, label));
    return width;
}

void TPlotFrame::DrawYAxis(TCanvas& dc) const
{
    dc.MoveTo(m_nLeft, m_nTop);
    dc.LineTo(m_nLeft, m_nBottom);
    std::vector<int> rows;
    std::vector<std::string> labels;
    if (!YTicks(dc, rows, labels))
        return;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int y = rows[i];
        dc.MoveTo(m_nLeft - kYTickLength, y);
        dc.LineTo(m_nLeft, y);
        DrawLabelInBox(dc, labels[i], {m_nLeft - YLabelReach(dc, labels[i]), y - 5, m_nLeft, y + 5}, 0);
    }
}

double TPlotFrame::PointToUnit(float point) const
{
    const int n = static_cast<int>(std::clamp(double(m_fPointCount), -2.0e9, 2.0e9));
    switch (m_nUnit) {
    case kUnitHz:
        return IndexToHz(point, m_fSpectralWidth, n);
    case kUnitPPM:
        return IndexToPPM(point, m_fSpectralWidth, m_fFrequency, m_fPPMCentre, n);
    case kUnitMs:
        return IndexToMs(point, m_fSpectralWidth);
    default:
        return point;
    }
}

bool TPlotFrame::XTicks(TCanvas& dc, std::vector<int>& columns, std::vector<std::string>& labels) const
{
    if (std::fabs(m_fX0 - m_fX1) < 1e-6f)
        return false;
    const int w = m_nRight - m_nLeft;
    const double u0 = PointToUnit(m_fX0);
    const double u1 = PointToUnit(m_fX1);
    if (!std::isfinite(u0) || !std::isfinite(u1) || u0 == u1)
        return false;
    float step = TickStep(static_cast<float>(u0), static_cast<float>(u1), w, 50);
    if (!(step > 0.0f))
        return false;
    // Counted things and point indices have no halves: the step is at least one and whole.
    if (m_bWholeXTicks || m_nUnit == kUnitPoints)
        step = std::max(1.0f, std::ceil(step));
    // With a falling scale (ppm, Hz) the value step is negative so that the
    // pixels still advance to the right.
    const double signedStep = u0 > u1 ? -double(step) : double(step);
    const double first = std::trunc(u0 / signedStep) * signedStep;
    std::vector<double> values;
    for (int i = 0; i < kMaxTicks; ++i) {
        double value = first + i * signedStep;
        if (std::fabs(value) < std::fabs(signedStep) * 1e-6)
            value = 0.0;
        const int x = ToPixel((value - u0) * w / (u1 - u0) + m_nLeft);
        if (x > m_nRight)
            break;
        // The first multiple of the step can lie just before the range.
        if (x < m_nLeft)
            continue;
        values.push_back(value);
        columns.push_back(x);
    }
    labels = TickLabels(dc, values, step, kXLabelWidth);
    return true;
}

int TPlotFrame::XAxisOverhang(TCanvas& dc) const
{
    std::vector<int> columns;
    std::vector<std::string> labels;
    int overhang = 0;
    if (XTicks(dc, columns, labels))
        for (size_t i = 0; i < columns.size(); ++i) {
            // A centred label starts half its width left of its tick.
            const int width = dc.TextExtent(labels[i]).cx;
            overhang = std::max(overhang, columns[i] - width / 2 + width - m_nRight);
        }
    return overhang;
}

void TPlotFrame::DrawXAxis(TCanvas& dc) const
{
    dc.MoveTo(m_nLeft, m_nBottom);
    dc.LineTo(m_nRight, m_nBottom);
    std::vector<int> columns;
    std::vector<std::string> labels;
    if (!XTicks(dc, columns, labels))
        return;
    for (size_t i = 0; i < columns.size(); ++i) {
        const int x = columns[i];
        dc.MoveTo(x, m_nBottom);
        dc.LineTo(x, m_nBottom + 5);
        DrawLabelInBox(dc, labels[i], {x - 15, m_nBottom + 5, x + 15, m_nBottom + 20}, 1);
    }
}

void TPlotFrame::DrawColourMap(TCanvas& dc, const TFloatMatrix* matrix, int c0, int c1, int r0, int r1) const
{
    if (matrix == nullptr || !matrix->HasData() || c0 < 0 || r0 < 0 || c1 < c0 || r1 < r0 ||
        static_cast<unsigned>(c1) >= matrix->Columns() || static_cast<unsigned>(r1) >= matrix->Rows())
        return;
    const int columns = c1 - c0 + 1;
    const int rows = r1 - r0 + 1;
    const int w = m_nRight - m_nLeft;
    const int h = m_nBottom - m_nTop;
    const int cell = std::min(static_cast<int>(w * 0.7 / columns), h / rows);
    if (cell < 1)
        return;

    // Centred in the left 70% of the rectangle and vertically.
    const int mapLeft = static_cast<int>(m_nLeft + 0.35 * w - cell * columns / 2.0);
    const int mapTop = m_nTop + (h - cell * rows) / 2;
    const int mapRight = mapLeft + cell * columns;
    const int mapBottom = mapTop + cell * rows;
    const float* data = matrix->Data();
    for (int i = 0; i < rows; ++i) {
        const float* line = data + size_t(r0 + i) * matrix->Columns();
        for (int j = 0; j < columns; ++j) {
            const unsigned char grey = GreyLevel(line[c0 + j], m_fBottom, m_fTop);
            unsigned char r = 0, g = 0, b = 0;
            GreyToRGB(grey, m_nColourTable, r, g, b);
            const int x = mapLeft + j * cell;
            const int y = mapTop + i * cell;
            dc.FillRect(x, y, x + cell, y + cell, vx::MakeColor(r, g, b));
        }
    }
    DrawColourScale(dc, mapRight + 10, mapTop, mapRight + 20, mapBottom, mapRight + 22, -1, 1);
}

void TPlotFrame::DrawColourScale(TCanvas& dc, int x0, int y0, int x1, int y1, int labelX, int tickInterval,
                                 int digits) const
{
    const int h = y1 - y0;
    if (h < 1)
        return;
    // Row i from the bottom shows grey level i * 256 / h, so the bar always spans
    // the whole table whatever its height.
    for (int i = 0; i < h; ++i) {
        const int level = std::min(static_cast<int>(i * 256.0 / h), 255);
        unsigned char r = 0, g = 0, b = 0;
        GreyToRGB(static_cast<unsigned char>(level), m_nColourTable, r, g, b);
        const int y = y1 - 1 - i;
        dc.FillRect(x0, y, x1, y + 1, vx::MakeColor(r, g, b));
    }

    dc.SetBackground(0xffffff, true);
    // A bar lower than one label has none; one too low for both ends, as a constant map
    // (whose one value is written once), has the top label alone.
    if (h < kScaleLabelHeight)
        return;
    if (m_fBottom == m_fTop || h - kScaleLabelHeight < kYLabelSpacing) {
        dc.Text(labelX, y0, ScaleLabel(m_fTop, digits));
        return;
    }
    // The values written: the bottom, the ticks upwards, the top. A value within the float
    // rounding of the scale's ends is 0 (a map of non-negative values whose least is 2e-27
    // starts at 0).
    const float zeroWithin =
        4.0f * std::numeric_limits<float>::epsilon() * std::max(std::fabs(m_fBottom), std::fabs(m_fTop));
    const auto shown = [zeroWithin](float value) { return std::fabs(value) <= zeroWithin ? 0.0f : value; };
    std::vector<int> tickRows;  // pixels above the bottom
    std::vector<float> tickValues;
    for (int k = 1; tickInterval >= 1 && k <= h / tickInterval; ++k) {
        const int p = k * tickInterval;
        if (p >= h - 40)
            break;
        tickRows.push_back(p);
        tickValues.push_back(
            shown(m_fBottom + (m_fTop - m_fBottom) * static_cast<float>(int64_t(p) * 255 / h) / 255.0f));
    }
    // The labels stay inside the frame: those right of the bar up to its right edge, those
    // left of it up to the bar.
    const int room = labelX >= x1 ? m_nRight - labelX : x0 - labelX;
    const ScaleLabels labels = ChooseScaleLabels(dc, shown(m_fBottom), shown(m_fTop), tickValues, digits, room);
    dc.Text(labelX, y1 - kScaleLabelHeight, labels.bottom);
    dc.Text(labelX, y0, labels.top);
    if (tickRows.empty())
        return;
    dc.SetPen(m_crAxis, 1, vx::PenStyle::Solid);
    for (size_t k = 0; k < tickRows.size(); ++k) {
        const int y = y1 - tickRows[k];
        // Each label is centred on its tick.
        if (!labels.ticks[k].empty())
            dc.Text(labelX, y, labels.ticks[k], vx::AlignLeft | vx::AlignVCenter);
        dc.MoveTo(x0 - 5, y);
        dc.LineTo(x0 + 5, y);
    }
}

TPlotFrame::ScaleLabels TPlotFrame::ChooseScaleLabels(TCanvas& dc, float bottom, float top,
                                                      const std::vector<float>& ticks, int digits, int room)
{
    // Every stride-th tick labelled with n digits, but for the one next to an end when it
    // reads like that end (the ends' values lie anywhere between two ticks).
    const auto labelled = [&](size_t stride, int n) {
        ScaleLabels out{ScaleLabel(bottom, n), ScaleLabel(top, n), std::vector<std::string>(ticks.size())};
        for (size_t k = stride; k <= ticks.size(); k += stride)
            out.ticks[k - 1] = ScaleLabel(ticks[k - 1], n);
        if (stride <= ticks.size()) {
            if (std::string& first = out.ticks[stride - 1]; first == out.bottom)
                first.clear();
            if (std::string& last = out.ticks[ticks.size() / stride * stride - 1]; last == out.top)
                last.clear();
        }
        return out;
    };
    // Rounding keeps the order of the values, so labels alike would stand side by side.
    const auto distinct = [](const ScaleLabels& labels) {
        std::vector<std::string> texts{labels.bottom};
        std::copy_if(labels.ticks.begin(), labels.ticks.end(), std::back_inserter(texts),
                     [](const std::string& t) { return !t.empty(); });
        texts.push_back(labels.top);
        return std::adjacent_find(texts.begin(), texts.end()) == texts.end();
    };
    const auto fit = [&dc, room](const ScaleLabels& labels) {
        const auto fits = [&](const std::string& t) { return t.empty() || dc.TextExtent(t).cx <= room; };
        return room <= 0 || (fits(labels.bottom) && fits(labels.top) &&
                             std::all_of(labels.ticks.begin(), labels.ticks.end(), fits));
    };
    // Every tick if some count of digits tells the labels apart and fits, else every second,
    // third... tick. The most digits up to `digits` that do, at least the fewest that tell
    // the labels apart; failing those, the fewest beyond that fit (an exponent written out,
    // as 14064 for 1.406e4, can be the narrower). Ends alone that fit with no count are
    // written with the fewest digits that tell them apart.
    for (size_t stride = 1;; ++stride) {
        const bool endsOnly = stride > ticks.size();
        int fewest = 1;
        while (fewest < kMaxScaleDigits && !distinct(labelled(stride, fewest)))
            ++fewest;
        if (!distinct(labelled(stride, fewest))) {
            if (endsOnly)
                return labelled(stride, fewest);
            continue;  // ticks of one value: only fewer of them can differ
        }
        const int most = std::max(fewest, digits);
        for (int n = most; n >= fewest; --n)
            if (ScaleLabels labels = labelled(stride, n); distinct(labels) && fit(labels))
                return labels;
        for (int n = most + 1; n <= kMaxScaleDigits; ++n)
            if (ScaleLabels labels = labelled(stride, n); distinct(labels) && fit(labels))
                return labels;
        if (endsOnly)
            return labelled(stride, fewest);
    }
}

std::string TPlotFrame::ScaleLabel(float value, int digits)
{
    // FloatToStringG with its exponent written short: "1.5e+04" takes room a scale lacks.
    std::string text = FloatToStringG(value, digits);
    const size_t e = text.find('e');
    if (e == std::string::npos)
        return text;
    std::string exponent = text.substr(e + 1);
    const bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-'))
        exponent.erase(0, 1);
    const size_t firstDigit = exponent.find_first_not_of('0');
    exponent = firstDigit == std::string::npos ? "0" : exponent.substr(firstDigit);
    return text.substr(0, e + 1) + (negative ? "-" : "") + exponent;
}

void TPlotFrame::FillBackground(TCanvas& dc, vx::TColor colour) const
{
    dc.FillRect(m_nLeft, m_nTop, m_nRight, m_nBottom, colour);
}

float TPlotFrame::TickStep(float a, float b, int pixelLength, int minSpacing)
{
    const double range = std::fabs(double(b) - a);
    const double perUnit = pixelLength / range;  // pixels per unit
    if (!(range > 0.0) || !std::isfinite(perUnit) || !(perUnit > 0.0) || minSpacing < 1)
        return 0.0f;
    // The answer lies in the decade of the smallest admissible step or just around
    // it; the candidates below ascend across the three decades.
    static const double kFactors[] = {0.25, 0.5, 1.0, 1.5, 2.0};
    const int decade = static_cast<int>(std::floor(std::log10(minSpacing / perUnit)));
    for (int k = decade - 1; k <= decade + 1; ++k) {
        const double scale = std::pow(10.0, k);
        for (double f : kFactors) {
            const double step = f * scale;
            if (perUnit * step >= minSpacing)
                return static_cast<float>(step);
        }
    }
    return static_cast<float>(2.5 * std::pow(10.0, decade + 1));
}

namespace {

// The label of a lone tick value: FloatToString with the given decimals (4 unless the step
// needs more), with long runs of zeros written as a power of ten.
std::string TickLabel(float value, int decimals)
{
    std::string text = FloatToString(std::fabs(value), decimals);
    if (text.size() > 4 && text[0] == '.') {
        const std::string digits = text.substr(1);
        const size_t firstNonZero = digits.find_first_not_of('0');
        const std::string mantissa = firstNonZero == std::string::npos ? "0" : digits.substr(firstNonZero);
        text = mantissa + "e-" + std::to_string(digits.size());
    } else {
        const size_t lastNonZero = text.find_last_not_of('0');
        const size_t zeros = lastNonZero == std::string::npos ? 0 : text.size() - 1 - lastNonZero;
        if (zeros >= 3)
            text = text.substr(0, lastNonZero + 1) + "e" + std::to_string(zeros);
    }
    return value < 0.0f && text != "0" ? "-" + text : text;
}

// A tick value written out: FloatToString with the given decimals (values below 1 begin
// with the point), the sign in front.
std::string PlainTickLabel(double value, int decimals)
{
    const std::string text = FloatToString(static_cast<float>(std::fabs(value)), decimals);
    return value < 0.0 && text != "0" ? "-" + text : text;
}

// A tick value as a whole mantissa and the given power of ten ("15e3"); 0 as "0".
std::string PowerTickLabel(double value, int exponent)
{
    const long long mantissa = std::llround(value / std::pow(10.0, exponent));
    return mantissa == 0 ? "0" : std::to_string(mantissa) + "e" + std::to_string(exponent);
}

}  // namespace

std::vector<std::string> TPlotFrame::TickLabels(TCanvas& dc, const std::vector<double>& values, double step,
                                                int width)
{
    std::vector<std::string> labels;
    step = std::fabs(step);
    if (!(step > 0.0) || !std::isfinite(step))
        return std::vector<std::string>(values.size(), "0");
    const auto widest = [&dc](const std::vector<std::string>& texts) {
        int most = 0;
        for (const std::string& text : texts)
            most = std::max(most, dc.TextExtent(text).cx);
        return most;
    };
    const int decimals = TickDecimals(step);
    for (double value : values)
        labels.push_back(PlainTickLabel(value, decimals));
    if (widest(labels) <= width)
        return labels;
    // One power of ten for the whole axis: the step's own, lowered until the step is a
    // whole number of it (1.5e3 is 15e2), so that every tick is a whole mantissa.
    int exponent = static_cast<int>(std::floor(std::log10(step)));
    for (int k = 0; k < 3; ++k) {
        const double scaled = step / std::pow(10.0, exponent);
        if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * scaled)
            break;
        --exponent;
    }
    std::vector<std::string> powers;
    for (double value : values)
        powers.push_back(PowerTickLabel(value, exponent));
    // Written out they read more easily: the powers only where they are narrower.
    return widest(powers) < widest(labels) ? powers : labels;
}

int TPlotFrame::TickDecimals(double step)
{
    step = std::fabs(step);
    int decimals = 4;
    if (!(step > 0.0) || !std::isfinite(step))
        return decimals;
    // The step is a float: its multiples are whole in the last decimal within its precision.
    for (; decimals < kMaxTickDecimals; ++decimals) {
        const double scaled = step * std::pow(10.0, decimals);
        if (std::fabs(scaled - std::round(scaled)) <= 1e-5 * scaled)
            break;
    }
    return decimals;
}

void TPlotFrame::DrawTickLabel(TCanvas& dc, float value, const TPixelRect& box, int alignment, int decimals)
{
    DrawLabelInBox(dc, TickLabel(value, decimals), box, alignment);
}

void TPlotFrame::DrawLabelInBox(TCanvas& dc, const std::string& text, const TPixelRect& box, int alignment)
{
    const int y = (box.top + box.bottom) / 2;
    switch (alignment) {
    case 1:
        dc.Text((box.left + box.right) / 2, y, text, vx::AlignCenter | vx::AlignVCenter);
        break;
    case 2:
        dc.Text(box.right, y, text, vx::AlignRight | vx::AlignVCenter);
        break;
    default:
        dc.Text(box.left, y, text, vx::AlignLeft | vx::AlignVCenter);
        break;
    }
}
