#include "model/TCSISlice.h"

#include <algorithm>
#include <cmath>

#include "model/math/Geometry.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/math/TMixedRadixFFT.h"
#include "model/TSpectrum.h"
#include "platform/Report.h"

namespace {

constexpr vx::TColor kGridColour = 0xff0000;  // blue
constexpr vx::TColor kVOIColour = 0x00ffff;   // yellow
// Colours of the image lines, by the image's place in the list.
constexpr vx::TColor kImageLineColours[8] = {0xffff00, 0xff00ff, 0x00ffff, 0x00c000,
                                             0xff0080, 0xff8000, 0x4080ff, 0x8000ff};
// Pixel coordinates are kept far inside int so that lines of absurd geometry
// (a zero field of view, a far-away image) never overflow.
constexpr double kPixelLimit = 1.0e7;
// A crossing point of the localisation box lies on an edge when the detour through
// it is shorter than this (mm).
constexpr double kOnEdgeTolerance = 0.001;

int TruncPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -kPixelLimit, kPixelLimit));
}

// The voxel along an axis (field of view f, n voxels, grid centre c) that holds p;
// -1 when it is not a number or lies far outside.
int VoxelOf(double p, double f, int n, double c)
{
    const double v = std::floor(((p - c) / f + 0.5) * n);
    if (!(v >= -1.0 && v <= static_cast<double>(n)))
        return -1;
    return static_cast<int>(v);
}

// Usable plane geometry: every side at least one voxel, a sane table size and
// positive fields of view.
bool IsUsableGrid(const TCSISet& set)
{
    size_t voxels = 1;
    for (int d = 0; d < 3; ++d) {
        if (set.m_nDim[d] < 1 || !(set.m_fFOV[d] > 0.0f) || !std::isfinite(set.m_fFOV[d]))
            return false;
        voxels *= static_cast<size_t>(set.m_nDim[d]);
        if (voxels > TCSISet::kMaxVoxels)
            return false;
    }
    return true;
}

bool IsAxis(int axis) { return axis >= 0 && axis < 3; }

}  // namespace

// ---- placing the plane ----

namespace {

// A set that can be cut along the axis; a bad axis is reported with `message`.
bool CanCut(const TCSISet* set, int axis, const char* message)
{
    if (!set)
        return false;
    if (!IsAxis(axis)) {
        vx::Report(message, vx::ReportIcon::Exclamation, vx::BatchPolicy::AlwaysBox);
        return false;
    }
    return IsUsableGrid(*set);
}

}  // namespace

bool TCSISlice::SetByPosition(TCSISet* set, int axis, float position)
{
    if (!CanCut(set, axis, "Slice dimension is not valid."))
        return false;
    const int n = set->m_nDim[axis];
    const int k = VoxelOf(position, set->m_fFOV[axis], n, set->m_fVoxelShift[axis]);
    if (k < 0 || k >= n)
        return false;
    SetPlane(set, axis, k);
    return true;
}

bool TCSISlice::SetByIndex(TCSISet* set, int axis, int index)
{
    if (!CanCut(set, axis, "Slice dimension is not valid.") || index < 0 || index >= set->m_nDim[axis])
        return false;
    SetPlane(set, axis, index);
    return true;
}

bool TCSISlice::SetFromImage(TCSISet* set, const TMRImage* image)
{
    return image && CanCut(set, image->GetOrientation(), "Image dimension is not valid.") &&
           SetByPosition(set, image->GetOrientation(), image->GetSlicePosition());
}

void TCSISlice::SetPlane(TCSISet* set, int axis, int k)
{
    int a, b;
    TMRImage::InPlaneAxes(axis, a, b);
    const int n = set->m_nDim[axis];
    const float f = set->m_fFOV[axis];
    const float c = set->m_fVoxelShift[axis];
    // A multi-slice stack cut along its slices is spaced by thickness and gap.
    const bool stacked = set->m_bMultiSlice == 1 && axis == set->m_nSliceAxis;
    const float offset = static_cast<float>(k) - static_cast<float>(n) * 0.5f + 0.5f;

    m_pSet = set;
    m_nSliceAxis = axis;
    m_nSliceIndex = k;
    m_fSlicePosition = stacked ? offset * (set->m_fSliceThickness + set->m_fSliceGap) + c : offset * f / n + c;
    m_fThickness = stacked ? set->m_fSliceThickness : f / n;
    m_centre = TPoint2D(set->m_fVoxelShift[a], set->m_fVoxelShift[b]);
    GetCentre3D(m_fPatientCentre);
    set->TransformPoint(m_fPatientCentre, 3);
    m_nPoints = set->m_nPoints;
    m_nColumns = set->m_nDim[a];
    m_nRows = set->m_nDim[b];
    m_fFOV[0] = set->m_fFOV[a];
    m_fFOV[1] = set->m_fFOV[b];
    m_strDirectionCode = PatientAxisLabels(set->m_strPatientPosition, set->m_strPatientOrientation, axis,
                                           set->m_nFormat);
    m_voxels.assign(static_cast<size_t>(m_nColumns) * static_cast<size_t>(m_nRows), nullptr);
    int index[3];
    index[axis] = k;
    for (int row = 0; row < m_nRows; ++row)
        for (int column = 0; column < m_nColumns; ++column) {
            index[a] = column;
            index[b] = row;
            m_voxels[static_cast<size_t>(row) * m_nColumns + column] = set->GetVoxel(index[0], index[1], index[2]);
        }
}

// ---- positions ----

TSpectrum* TCSISlice::GetSpectrumAt(const TPoint2D& point) const
{
    const vx::TPointI v = GetVoxelIndexAt(point);
    return GetVoxel(v.x, v.y);
}

vx::TPointI TCSISlice::GetVoxelIndexAt(const TPoint2D& point) const
{
    return {VoxelOf(point.x, m_fFOV[0], m_nColumns, m_centre.x), VoxelOf(point.y, m_fFOV[1], m_nRows, m_centre.y)};
}

TSpectrum* TCSISlice::GetVoxel(int column, int row) const
{
    if (column < 0 || column >= m_nColumns || row < 0 || row >= m_nRows || m_voxels.empty())
        return nullptr;
    return m_voxels[static_cast<size_t>(row) * m_nColumns + column];
}

void TCSISlice::GetCentre3D(float centre[3]) const
{
    int a, b;
    TMRImage::InPlaneAxes(m_nSliceAxis, a, b);
    centre[m_nSliceAxis] = m_fSlicePosition;
    centre[a] = m_centre.x;
    centre[b] = m_centre.y;
}

void TCSISlice::GetPatientCentre(float centre[3]) const { std::copy(m_fPatientCentre, m_fPatientCentre + 3, centre); }

TPoint2D TCSISlice::GetTopLeft() const { return {m_centre.x - m_fFOV[0] / 2, m_centre.y - m_fFOV[1] / 2}; }

TPoint2D TCSISlice::GetBottomRight() const { return {m_centre.x + m_fFOV[0] / 2, m_centre.y + m_fFOV[1] / 2}; }

vx::TPointI TCSISlice::ToLocal(const TPoint2D& point) const
{
    return {TruncPixel(m_fFOV[0] / 2 + point.x - m_centre.x), TruncPixel(m_fFOV[1] / 2 + point.y - m_centre.y)};
}

TPoint2D TCSISlice::ToWorld(const TPoint2D& local) const
{
    return {local.x - m_fFOV[0] / 2 + m_centre.x, local.y - m_fFOV[1] / 2 + m_centre.y};
}

vx::TSizeI TCSISlice::GetFOVSize() const { return {TruncPixel(m_fFOV[0]), TruncPixel(m_fFOV[1])}; }

bool TCSISlice::ContainsPoint(const TPoint2D& point) const
{
    const vx::TPointI local = ToLocal(point);
    return local.x >= 0 && static_cast<float>(local.x) < m_fFOV[0] && local.y >= 0 &&
           static_cast<float>(local.y) < m_fFOV[1];
}

// ---- drawing ----

TPlotFrame TCSISlice::CellFrame(const TSpectrumDisplayParams& display, int points)
{
    TPlotFrame frame;
    frame.SetXRange(static_cast<float>(display.m_nXStart), static_cast<float>(display.m_nXEnd), points, false);
    frame.SetYRange(display.m_fYMax, display.m_fYMin, false);
    frame.m_nPartFlags = display.m_nFlags & TSpectrumDisplayParams::kPartBits;
    return frame;
}

void TCSISlice::DrawCell(vx::TCanvas& dc, const TPlotFrame& frame, const TPixelRect& rect, float cw, float ch, int i,
                         int j, const TSpectrum* spectrum, bool stateColourForAll) const
{
    if (!spectrum)
        return;
    const float x = static_cast<float>(rect.left) + static_cast<float>(i) * cw;
    const float y = static_cast<float>(rect.top) + static_cast<float>(j) * ch;
    const int left = TruncPixel(x), top = TruncPixel(y);
    const int right = TruncPixel(x + cw), bottom = TruncPixel(y + ch);
    if (!dc.RectVisible(left, top, right, bottom))
        return;
    TPlotFrame cell = frame;
    cell.SetPixelRect(left, top, right, bottom);
    const vx::TColor colour = stateColourForAll || spectrum->m_bSelected ? spectrum->StateColour() : 0;
    cell.DrawSpectrumInColour(dc, spectrum, colour);
}

void TCSISlice::DrawSpectraGrid(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display,
                                bool dotted, bool stateColourForAll) const
{
    DrawGridRange(dc, rect, display, 0, m_nColumns - 1, 0, m_nRows - 1,
                  dotted ? vx::PenStyle::Dot : vx::PenStyle::Solid, stateColourForAll);
}

void TCSISlice::PrintSpectraGrid(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display,
                                 int c0, int c1, int r0, int r1, bool stateColourForAll) const
{
    DrawGridRange(dc, rect, display, std::max(c0, 0), std::min(c1, m_nColumns - 1), std::max(r0, 0),
                  std::min(r1, m_nRows - 1), vx::PenStyle::Solid, stateColourForAll);
}

void TCSISlice::DrawGridRange(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display,
                              int c0, int c1, int r0, int r1, vx::PenStyle style, bool stateColourForAll) const
{
    if (c1 < c0 || r1 < r0)
        return;
    const int columns = c1 - c0 + 1, rows = r1 - r0 + 1;
    const float cw = static_cast<float>(rect.right - rect.left) / static_cast<float>(columns);
    const float ch = static_cast<float>(rect.bottom - rect.top) / static_cast<float>(rows);
    const vx::TKeepPenAndBackground keep(dc);
    dc.SetPen(kGridColour, 1, style);
    dc.SetBackground(0xffffff, true);
    if (display.m_nFlags & TSpectrumDisplayParams::kGrid) {
        for (int i = 0; i <= columns; ++i) {
            const int x = TruncPixel(rect.left + static_cast<float>(i) * cw);
            dc.MoveTo(x, rect.top);
            dc.LineTo(x, rect.bottom);
        }
        for (int j = 0; j <= rows; ++j) {
            const int y = TruncPixel(rect.top + static_cast<float>(j) * ch);
            dc.MoveTo(rect.left, y);
            dc.LineTo(rect.right, y);
        }
    } else {
        dc.SetNullBrush();
        dc.Rectangle(rect.left, rect.top, rect.right, rect.bottom);
    }
    const TPlotFrame frame = CellFrame(display, m_nPoints);
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j)
            DrawCell(dc, frame, rect, cw, ch, i, j, GetVoxel(c0 + i, r0 + j), stateColourForAll);
}

void TCSISlice::DrawVoxel(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display, int x,
                          int y, int z, bool stateColourForAll) const
{
    if (m_nColumns < 1 || m_nRows < 1)
        return;
    const int index[3] = {x, y, z};
    if (index[m_nSliceAxis] != m_nSliceIndex)
        return;
    int a, b;
    TMRImage::InPlaneAxes(m_nSliceAxis, a, b);
    const TSpectrum* spectrum = GetVoxel(index[a], index[b]);
    if (!spectrum)
        return;
    const float cw = static_cast<float>(rect.right - rect.left) / static_cast<float>(m_nColumns);
    const float ch = static_cast<float>(rect.bottom - rect.top) / static_cast<float>(m_nRows);
    const vx::TKeepPenAndBackground keep(dc);
    DrawCell(dc, CellFrame(display, m_nPoints), rect, cw, ch, index[a], index[b], spectrum, stateColourForAll);
}

void TCSISlice::DrawVoxelList(vx::TCanvas& dc, const TPixelRect& rect, const TSpectrumDisplayParams& display,
                              const std::vector<TSpectrum*>& voxels, bool stateColourForAll) const
{
    for (const TSpectrum* s : voxels)
        if (s)
            DrawVoxel(dc, rect, display, s->m_nX, s->m_nY, s->m_nZ, stateColourForAll);
}

vx::TPointI TCSISlice::GridPixel(const TPixelRect& grid, float x, float y) const
{
    return {TruncPixel(((static_cast<double>(x) - m_centre.x) / m_fFOV[0] + 0.5) * (grid.right - grid.left) + grid.left),
            TruncPixel(((static_cast<double>(y) - m_centre.y) / m_fFOV[1] + 0.5) * (grid.bottom - grid.top) + grid.top)};
}

void TCSISlice::DrawImageLocations(vx::TCanvas& dc, int deviceWidth, int deviceHeight, const TPixelRect& grid,
                                   const std::vector<TMRImage*>& images) const
{
    if (!m_pSet)
        return;
    int a, b;
    TMRImage::InPlaneAxes(m_nSliceAxis, a, b);
    const vx::TKeepPenAndBackground keep(dc);
    dc.SetBackground(0xffffff, true);
    for (size_t i = 0; i < images.size(); ++i) {
        const TMRImage* image = images[i];
        if (!image || (image->GetOrientation() != a && image->GetOrientation() != b))
            continue;
        // The image's plane in this set's frame, seen in the plane's display orientation.
        float p[3];
        image->GetPosition(p);
        m_pSet->TransformPoint(p, 2);
        float x = p[a], y = p[b];
        OrientToStandardView(m_strDirectionCode, m_nSliceAxis, &x, &y, 0);
        const vx::TPointI pixel = GridPixel(grid, x, y);
        dc.SetPen(kImageLineColours[i % 8], 1, vx::PenStyle::Dot);
        if (image->GetOrientation() == a) {
            dc.MoveTo(pixel.x, 0);
            dc.LineTo(pixel.x, deviceHeight);
        } else {
            dc.MoveTo(0, pixel.y);
            dc.LineTo(deviceWidth, pixel.y);
        }
    }
}

void TCSISlice::DrawVOI(vx::TCanvas& dc, const TPixelRect& grid) const
{
    if (!m_pSet)
        return;
    int a, b;
    TMRImage::InPlaneAxes(m_nSliceAxis, a, b);
    const vx::TKeepPenAndBackground keep(dc);
    const int boxes = std::clamp(m_pSet->m_nVolumes, 0, 2);
    for (int box = 0; box < boxes; ++box) {
        float centre[3], angles[3], half[3];
        for (int d = 0; d < 3; ++d) {
            centre[d] = m_pSet->m_fVolOffCentre[d][box];
            angles[d] = m_pSet->m_fVolAngulation[d][box] - m_pSet->m_fAngulation[d];
            half[d] = m_pSet->m_fVolSize[d][box] / 2;
        }
        m_pSet->TransformPoint(centre, 2);
        // Corner c has the sign of axis d in bit d.
        float corners[8][3];
        for (int c = 0; c < 8; ++c) {
            for (int d = 0; d < 3; ++d)
                corners[c][d] = (c >> d & 1) ? half[d] : -half[d];
            RotatePoint(angles, centre, corners[c], 1);
        }
        // Where the twelve edges (corners differing in one bit) cross the plane.
        std::vector<TPoint2D> crossings;
        for (int c = 0; c < 8; ++c)
            for (int d = 0; d < 3; ++d) {
                if (c >> d & 1)
                    continue;
                const float* u = corners[c];
                const float* v = corners[c | 1 << d];
                const double du = static_cast<double>(v[m_nSliceAxis]) - u[m_nSliceAxis];
                if (du == 0.0)
                    continue;  // parallel to the plane
                const double t = (m_fSlicePosition - u[m_nSliceAxis]) / du;
                float q[3];
                for (int e = 0; e < 3; ++e)
                    q[e] = static_cast<float>(u[e] + t * (static_cast<double>(v[e]) - u[e]));
                if (Distance3D(q, u) + Distance3D(q, v) - Distance3D(u, v) >= kOnEdgeTolerance)
                    continue;
                const TPoint2D p(q[a], q[b]);
                // A corner on the plane is found by each of its edges: keep it once.
                const bool seen = std::any_of(crossings.begin(), crossings.end(), [&](const TPoint2D& o) {
                    return std::fabs(o.x - p.x) < kOnEdgeTolerance && std::fabs(o.y - p.y) < kOnEdgeTolerance;
                });
                if (!seen)
                    crossings.push_back(p);
            }
        if (crossings.size() < 2)
            continue;
        // The cut of a box by a plane is convex: joined in the order of their angle
        // around the middle, the points give its outline.
        TPoint2D mid(0.0f, 0.0f);
        for (const TPoint2D& p : crossings)
            mid = mid + p;
        mid.x /= static_cast<float>(crossings.size());
        mid.y /= static_cast<float>(crossings.size());
        std::sort(crossings.begin(), crossings.end(), [&](const TPoint2D& p, const TPoint2D& q) {
            return std::atan2(p.y - mid.y, p.x - mid.x) < std::atan2(q.y - mid.y, q.x - mid.x);
        });
        std::vector<vx::TPointI> outline;
        for (const TPoint2D& p : crossings) {
            float x = p.x, y = p.y;
            OrientToStandardView(m_strDirectionCode, m_nSliceAxis, &x, &y, 0);
            outline.push_back(GridPixel(grid, x, y));
        }
        if (outline.size() > 2)
            outline.push_back(outline.front());
        dc.SetPen(kVOIColour, 1, vx::PenStyle::Solid);
        dc.Polyline(outline);
    }
}

// ---- shifting the grid ----

void TCSISlice::SpatialShift(int direction)
{
    if (m_nColumns < 1 || m_nRows < 1 || m_voxels.size() != static_cast<size_t>(m_nColumns) * m_nRows)
        return;
    const int mc = direction == 1 ? (m_nColumns + 1) / 2 : m_nColumns / 2;
    const int mr = direction == 1 ? (m_nRows + 1) / 2 : m_nRows / 2;
    int a, b;
    TMRImage::InPlaneAxes(m_nSliceAxis, a, b);
    std::vector<TSpectrum*> moved(m_voxels.size());
    for (int row = 0; row < m_nRows; ++row)
        for (int column = 0; column < m_nColumns; ++column) {
            TSpectrum* s = m_voxels[static_cast<size_t>((row + mr) % m_nRows) * m_nColumns + (column + mc) % m_nColumns];
            moved[static_cast<size_t>(row) * m_nColumns + column] = s;
            if (!s)
                continue;
            int index[3] = {s->m_nX, s->m_nY, s->m_nZ};
            index[a] = column;
            index[b] = row;
            s->m_nX = index[0];
            s->m_nY = index[1];
            s->m_nZ = index[2];
        }
    m_voxels = std::move(moved);
}

bool TCSISlice::HasAllSamples() const
{
    if (m_nColumns < 1 || m_nRows < 1 || m_voxels.size() != static_cast<size_t>(m_nColumns) * m_nRows)
        return false;
    return std::all_of(m_voxels.begin(), m_voxels.end(),
                       [&](const TSpectrum* s) { return s && s->SampleCount() >= m_nPoints; });
}

bool TCSISlice::TransformTable(bool inverse)
{
    const int n[2] = {m_nRows, m_nColumns};
    TMixedRadixFFT fft;
    std::vector<double> re, im;
    // Pass 0 transforms every column (rows entries), pass 1 every row.
    for (int pass = 0; pass < 2; ++pass) {
        const int length = n[pass], lines = n[1 - pass];
        if (length < 2)
            continue;  // a transform of length 1 is the identity
        re.resize(static_cast<size_t>(length));
        im.resize(static_cast<size_t>(length));
        std::vector<TComplex*> line(static_cast<size_t>(length));
        for (int l = 0; l < lines; ++l) {
            for (int e = 0; e < length; ++e) {
                const size_t cell = pass == 0 ? static_cast<size_t>(e) * m_nColumns + l
                                              : static_cast<size_t>(l) * m_nColumns + e;
                line[static_cast<size_t>(e)] = m_voxels[cell]->Data();
            }
            for (int k = 0; k < m_nPoints; ++k) {
                for (int e = 0; e < length; ++e) {
                    re[static_cast<size_t>(e)] = line[static_cast<size_t>(e)][k].real();
                    im[static_cast<size_t>(e)] = line[static_cast<size_t>(e)][k].imag();
                }
                const bool ok = inverse ? fft.Inverse(length, re.data(), im.data(), re.data(), im.data())
                                        : fft.Forward(length, re.data(), im.data(), re.data(), im.data());
                if (!ok)
                    return false;  // lengths are checked before; not reached
                for (int e = 0; e < length; ++e)
                    line[static_cast<size_t>(e)][k] =
                        TComplex(static_cast<float>(re[static_cast<size_t>(e)]), static_cast<float>(im[static_cast<size_t>(e)]));
            }
        }
    }
    return true;
}

namespace {

bool CheckSides(int columns, int rows)
{
    return (columns < 2 || TMixedRadixFFT::CheckFFTLength(columns)) && (rows < 2 || TMixedRadixFFT::CheckFFTLength(rows));
}

}  // namespace

bool TCSISlice::ToKSpace()
{
    if (!HasAllSamples() || !CheckSides(m_nColumns, m_nRows))
        return false;
    SpatialShift(0);
    return TransformTable(true);
}

bool TCSISlice::FromKSpace()
{
    if (!HasAllSamples() || !CheckSides(m_nColumns, m_nRows))
        return false;
    if (!TransformTable(false))
        return false;
    SpatialShift(1);
    return true;
}

bool TCSISlice::ApplyVoxelShift(const TPoint2D& offset)
{
    if (!ToKSpace())
        return false;
    for (TSpectrum* s : m_voxels)
        s->ApplyShiftPhase(offset, m_nSliceAxis);
    return FromKSpace();
}

bool TCSISlice::ShiftVoxels(const TPoint2D& newCentre)
{
    if (!ApplyVoxelShift(newCentre - m_centre))
        return false;
    m_centre = newCentre;
    return true;
}
