#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "platform/TRecordingCanvas.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedReport.h"

namespace {

using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// An oblique set: every axis of its own size, field of view and grid shift, rotated
// 30 degrees about z and 20 degrees about x, off the magnet centre.
void MakeObliqueSet(TCSISet& set, int points = 2)
{
    vx::test::FillGrid(set, 8, 6, 4, points, [](int x, int y, int z, int i) {
        return TComplex(static_cast<float>(100 * z + 10 * y + x), static_cast<float>(i));
    });
    const float fov[3] = {160, 120, 80}, shift[3] = {3, -4, 2}, off[3] = {5, -7, 11};
    const double a = 30 * kPi / 180, b = 20 * kPi / 180;
    // M = Rx(b) Rz(a), written out; its inverse is its transpose.
    const double rz[3][3] = {{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}};
    const double rx[3][3] = {{1, 0, 0}, {0, std::cos(b), std::sin(b)}, {0, -std::sin(b), std::cos(b)}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double m = 0;
            for (int k = 0; k < 3; ++k)
                m += rx[r][k] * rz[k][c];
            set.m_fRotation[r][c] = static_cast<float>(m);
            set.m_fRotationInverse[c][r] = static_cast<float>(m);
        }
    for (int d = 0; d < 3; ++d) {
        set.m_fFOV[d] = fov[d];
        set.m_fVoxelShift[d] = shift[d];
        set.m_fOffCentre[d] = off[d];
    }
    set.InitVoxels();
}

// Centre (mm, the set's frame) of voxel i along an axis.
float VoxelCentre(const TCSISet& set, int axis, int i)
{
    const float size = set.m_fFOV[axis] / static_cast<float>(set.m_nDim[axis]);
    return (static_cast<float>(i) + 0.5f) * size - set.m_fFOV[axis] / 2 + set.m_fVoxelShift[axis];
}

void InPlane(int axis, int& a, int& b)
{
    a = axis == 0 ? 1 : 0;
    b = axis == 2 ? 1 : 2;
}

}  // namespace

// ---- placing the plane and converting positions ----

TEST(CSISlice, EveryCellOfEveryPlaneOfAnObliqueSetRoundTrips)
{
    TCSISet set;
    MakeObliqueSet(set);
    const char* standard[3] = {"AH", "RH", "RA"};
    for (int axis = 0; axis < 3; ++axis) {
        int a, b;
        InPlane(axis, a, b);
        for (int k = 0; k < set.m_nDim[axis]; ++k) {
            SCOPED_TRACE("axis " + std::to_string(axis) + " plane " + std::to_string(k));
            TCSISlice slice;
            ASSERT_TRUE(slice.SetByIndex(&set, axis, k));
            EXPECT_EQ(slice.GetColumns(), set.m_nDim[a]);
            EXPECT_EQ(slice.GetRows(), set.m_nDim[b]);
            EXPECT_FLOAT_EQ(slice.GetSlicePosition(), VoxelCentre(set, axis, k));
            EXPECT_FLOAT_EQ(slice.GetThickness(), set.m_fFOV[axis] / set.m_nDim[axis]);
            EXPECT_EQ(slice.GetDirectionCode(), standard[axis]);

            TCSISlice byPosition;
            ASSERT_TRUE(byPosition.SetByPosition(&set, axis, slice.GetSlicePosition()));
            EXPECT_EQ(byPosition.GetSliceIndex(), k);

            for (int row = 0; row < slice.GetRows(); ++row)
                for (int column = 0; column < slice.GetColumns(); ++column) {
                    const TPoint2D p(VoxelCentre(set, a, column), VoxelCentre(set, b, row));
                    const vx::TPointI cell = slice.GetVoxelIndexAt(p);
                    EXPECT_EQ(cell.x, column);
                    EXPECT_EQ(cell.y, row);
                    int index[3];
                    index[axis] = k;
                    index[a] = column;
                    index[b] = row;
                    EXPECT_EQ(slice.GetSpectrumAt(p), set.GetVoxel(index[0], index[1], index[2]));
                    // Whole millimetres from the corner come back unchanged.
                    const vx::TPointI local = slice.ToLocal(p);
                    const vx::TPointI again = slice.ToLocal(slice.ToWorld(TPoint2D(static_cast<float>(local.x),
                                                                                   static_cast<float>(local.y))));
                    EXPECT_EQ(again.x, local.x);
                    EXPECT_EQ(again.y, local.y);
                }
        }
    }
}

TEST(CSISlice, AVoxelAtAKnownPatientPositionLandsInItsCell)
{
    TCSISet set;
    MakeObliqueSet(set);
    const int voxel[3] = {5, 2, 1};
    float csi[3];
    for (int d = 0; d < 3; ++d)
        csi[d] = VoxelCentre(set, d, voxel[d]);
    // Patient position of the voxel, by the frame's definition: z negated, then the
    // inverse rotation and the off-centre.
    const float v[3] = {csi[0], csi[1], -csi[2]};
    float patient[3];
    for (int r = 0; r < 3; ++r)
        patient[r] = set.m_fRotationInverse[r][0] * v[0] + set.m_fRotationInverse[r][1] * v[1] +
                     set.m_fRotationInverse[r][2] * v[2] + set.m_fOffCentre[r];

    float back[3] = {patient[0], patient[1], patient[2]};
    set.TransformPoint(back, 2);
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE("axis " + std::to_string(axis));
        int a, b;
        InPlane(axis, a, b);
        TCSISlice slice;
        ASSERT_TRUE(slice.SetByPosition(&set, axis, back[axis]));
        EXPECT_EQ(slice.GetSpectrumAt(TPoint2D(back[a], back[b])), set.GetVoxel(voxel[0], voxel[1], voxel[2]));
        // The plane's centre in patient coordinates, computed the same way.
        float centre[3];
        slice.GetCentre3D(centre);
        EXPECT_FLOAT_EQ(centre[axis], csi[axis]);
        EXPECT_FLOAT_EQ(centre[a], set.m_fVoxelShift[a]);
        EXPECT_FLOAT_EQ(centre[b], set.m_fVoxelShift[b]);
        const float w[3] = {centre[0], centre[1], -centre[2]};
        float patientCentre[3];
        slice.GetPatientCentre(patientCentre);
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(patientCentre[r],
                        set.m_fRotationInverse[r][0] * w[0] + set.m_fRotationInverse[r][1] * w[1] +
                            set.m_fRotationInverse[r][2] * w[2] + set.m_fOffCentre[r],
                        1e-4);
    }
}

TEST(CSISlice, GridEdgesAndTheTruncatedContainsTest)
{
    TCSISet set;
    MakeObliqueSet(set);
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
    const TPoint2D topLeft = slice.GetTopLeft(), bottomRight = slice.GetBottomRight();
    EXPECT_FLOAT_EQ(topLeft.x, 3 - 80.0f);
    EXPECT_FLOAT_EQ(bottomRight.y, -4 + 60.0f);
    EXPECT_EQ(slice.GetFOVSize().cx, 160);
    EXPECT_EQ(slice.GetFOVSize().cy, 120);

    // The lower edge belongs to voxel 0, the upper edge lies outside.
    EXPECT_EQ(slice.GetSpectrumAt(topLeft), set.GetVoxel(0, 0, 0));
    EXPECT_EQ(slice.GetSpectrumAt(bottomRight), nullptr);
    EXPECT_EQ(slice.GetSpectrumAt(TPoint2D(topLeft.x, bottomRight.y)), nullptr);
    EXPECT_EQ(slice.GetSpectrumAt(TPoint2D(std::nanf(""), 0)), nullptr);

    struct Case {
        float dx, dy;
        bool inside;
    } cases[] = {
        {0, 0, true},        {-0.4f, 0, true},   // truncation: just below the edge still counts
        {0, -0.4f, true},    {-1.2f, 0, false}, {0, -1.2f, false},
        {159.5f, 0, true},   {160, 0, false},   {0, 119.9f, true}, {0, 120, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(slice.ContainsPoint(TPoint2D(topLeft.x + c.dx, topLeft.y + c.dy)), c.inside)
            << c.dx << ", " << c.dy;
}

TEST(CSISlice, MultiSliceStacksAreSpacedByThicknessAndGap)
{
    TCSISet set;
    vx::test::FillGrid(set, 4, 4, 3, 2, [](int, int, int, int) { return TComplex(1, 0); });
    set.m_bMultiSlice = 1;
    set.m_nSliceAxis = 2;
    set.m_fSliceThickness = 6;
    set.m_fSliceGap = 2;
    set.m_fVoxelShift[2] = 1;
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
    EXPECT_FLOAT_EQ(slice.GetSlicePosition(), (0 - 1.5f + 0.5f) * 8 + 1);
    EXPECT_FLOAT_EQ(slice.GetThickness(), 6);
    // Cut across the stack, the plane is an ordinary one.
    ASSERT_TRUE(slice.SetByIndex(&set, 0, 3));
    EXPECT_FLOAT_EQ(slice.GetSlicePosition(), (3 - 2 + 0.5f) * 60);
    EXPECT_FLOAT_EQ(slice.GetThickness(), 60);
}

TEST(CSISlice, RefusalsAndTheirMessages)
{
    vx::test::TScriptedReport report;
    TCSISet set;
    MakeObliqueSet(set);
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 1));

    EXPECT_FALSE(slice.SetByPosition(nullptr, 1, 0));
    EXPECT_FALSE(slice.SetByIndex(&set, 2, -1));
    EXPECT_FALSE(slice.SetByIndex(&set, 2, 4));
    EXPECT_FALSE(slice.SetByPosition(&set, 0, 3 + 80.0f));  // the upper edge
    EXPECT_FALSE(slice.SetByPosition(&set, 0, 1e30f));
    EXPECT_FALSE(slice.SetByPosition(&set, 0, std::nanf("")));
    EXPECT_EQ(report.Count(), 0u);

    EXPECT_FALSE(slice.SetByPosition(&set, 3, 0));
    EXPECT_FALSE(slice.SetByIndex(&set, -1, 0));
    TMRImage image(nullptr);
    image.SetOrientation(3, false);
    EXPECT_FALSE(slice.SetFromImage(&set, &image));
    EXPECT_FALSE(slice.SetFromImage(&set, nullptr));
    EXPECT_EQ(report.Messages(), (std::vector<std::string>{"Slice dimension is not valid.",
                                                           "Slice dimension is not valid.",
                                                           "Image dimension is not valid."}));
    // The refusals left the plane as it was.
    EXPECT_EQ(slice.GetSliceAxis(), 2);
    EXPECT_EQ(slice.GetSliceIndex(), 1);

    // A zero field of view places nothing.
    set.m_fFOV[1] = 0;
    EXPECT_FALSE(slice.SetByIndex(&set, 2, 0));

    set.m_fFOV[1] = 120;
    image.SetOrientation(1, false);
    image.SetParameter(VoxelCentre(set, 1, 4), TMRImage::ParamSlicePosition, false);
    ASSERT_TRUE(slice.SetFromImage(&set, &image));
    EXPECT_EQ(slice.GetSliceAxis(), 1);
    EXPECT_EQ(slice.GetSliceIndex(), 4);
}

// ---- shifting the grid ----

namespace {

// The samples of the plane z = 0 of an nx x ny x 1 set whose only signal is a point
// source at (sx, sy) with values depending on the point.
void MakePointSource(TCSISet& set, int nx, int ny, int sx, int sy, int points)
{
    vx::test::FillGrid(set, nx, ny, 1, points, [=](int x, int y, int, int i) {
        return x == sx && y == sy ? TComplex(1.0f + 0.5f * static_cast<float>(i), -0.25f * static_cast<float>(i))
                                  : TComplex(0, 0);
    });
    set.m_fFOV[0] = 10.0f * static_cast<float>(nx);  // 10 mm voxels
    set.m_fFOV[1] = 10.0f * static_cast<float>(ny);
    set.InitVoxels();
}

// The signed frequency of k-space index i of n, as the shift phase counts it.
double Signed(int i, int n) { return i >= n * 0.5 ? i - n : i; }

// What shifting the grid by (dx, dy) mm gives: the 2-D DFT of the plane, the phase
// ramp exp(-i 2 pi (k dx / Lx + l dy / Ly)), and back, written out as sums.
std::vector<cd> ExpectedShift(const std::vector<cd>& plane, int nx, int ny, double dx, double dy)
{
    const double lx = 10.0 * nx, ly = 10.0 * ny;
    std::vector<cd> out(plane.size());
    for (int my = 0; my < ny; ++my)
        for (int mx = 0; mx < nx; ++mx) {
            cd sum = 0;
            for (int k = 0; k < nx; ++k)
                for (int l = 0; l < ny; ++l) {
                    cd spectrum = 0;
                    for (int jy = 0; jy < ny; ++jy)
                        for (int jx = 0; jx < nx; ++jx)
                            spectrum += plane[static_cast<size_t>(jy * nx + jx)] *
                                        std::polar(1.0, 2 * kPi * (static_cast<double>(k) * jx / nx +
                                                                   static_cast<double>(l) * jy / ny));
                    const double ramp = 2 * kPi * (Signed(k, nx) * dx / lx + Signed(l, ny) * dy / ly);
                    sum += spectrum * std::polar(1.0, -ramp) *
                           std::polar(1.0, -2 * kPi * (static_cast<double>(k) * mx / nx + static_cast<double>(l) * my / ny));
                }
            out[static_cast<size_t>(my * nx + mx)] = sum / static_cast<double>(nx * ny);
        }
    return out;
}

}  // namespace

TEST(CSISlice, GridShiftMovesAPointSourceByTheRequestedFraction)
{
    struct Case {
        int nx, ny, sx, sy;
        float dx, dy;  // mm; voxels are 10 mm
    } cases[] = {
        {8, 8, 3, 4, 3.0f, -4.5f},  // fractions of a voxel on even sides
        {5, 6, 2, 1, -7.0f, 2.5f},  // odd and even sides
        {7, 5, 0, 4, 12.5f, 0.0f},  // more than a voxel, near the edges
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nx) + "x" + std::to_string(c.ny));
        const int points = 3;
        TCSISet set;
        MakePointSource(set, c.nx, c.ny, c.sx, c.sy, points);
        TCSISlice slice;
        ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
        const TPoint2D centre = slice.GetCentre();
        ASSERT_TRUE(slice.ShiftVoxels(TPoint2D(centre.x + c.dx, centre.y + c.dy)));
        EXPECT_FLOAT_EQ(slice.GetCentre().x, centre.x + c.dx);
        EXPECT_FLOAT_EQ(slice.GetCentre().y, centre.y + c.dy);

        for (int i = 0; i < points; ++i) {
            std::vector<cd> plane(static_cast<size_t>(c.nx * c.ny));
            plane[static_cast<size_t>(c.sy * c.nx + c.sx)] = cd(1.0 + 0.5 * i, -0.25 * i);
            const std::vector<cd> expected = ExpectedShift(plane, c.nx, c.ny, c.dx, c.dy);
            double worst = 0;
            for (int y = 0; y < c.ny; ++y)
                for (int x = 0; x < c.nx; ++x) {
                    const TSpectrum* s = set.GetVoxel(x, y, 0);
                    // The voxels are back in their places with their own indices.
                    EXPECT_EQ(s->m_nX, x);
                    EXPECT_EQ(s->m_nY, y);
                    EXPECT_EQ(slice.GetVoxel(x, y), s);
                    worst = std::max(worst, std::abs(cd(s->GetReal(i), s->GetImag(i)) -
                                                     expected[static_cast<size_t>(y * c.nx + x)]));
                }
            EXPECT_LT(worst, 1e-5) << "point " << i;
        }
    }
}

TEST(CSISlice, WholeVoxelShiftsMoveSpectraAndZeroShiftChangesNothing)
{
    for (int n : {6, 5}) {
        SCOPED_TRACE(n);
        TCSISet set;
        vx::test::FillGrid(set, n, 4, 2, 4, [](int x, int y, int z, int i) {
            return TComplex(static_cast<float>(100 * z + 10 * y + x), 0.5f * static_cast<float>(i));
        });
        set.m_fFOV[0] = 10.0f * static_cast<float>(n);
        set.InitVoxels();
        const std::vector<TComplex> before = vx::test::AllSamples(set);
        TCSISlice slice;
        ASSERT_TRUE(slice.SetByIndex(&set, 2, 1));
        ASSERT_TRUE(slice.ApplyVoxelShift(TPoint2D(0, 0)));
        const std::vector<TComplex> same = vx::test::AllSamples(set);
        for (size_t k = 0; k < before.size(); ++k)
            ASSERT_LT(std::abs(same[k] - before[k]), 1e-4f) << k;

        // One voxel to the right: every column shows what the next one held, wrapping.
        ASSERT_TRUE(slice.ApplyVoxelShift(TPoint2D(10.0f, 0)));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < n; ++x) {
                const TSpectrum* s = set.GetVoxel(x, y, 1);
                EXPECT_NEAR(s->GetReal(2), 100 + 10 * y + (x + 1) % n, 1e-3) << x << "," << y;
                EXPECT_NEAR(s->GetImag(2), 1.0, 1e-4);
                // The other plane is untouched.
                EXPECT_EQ(set.GetVoxel(x, y, 0)->GetReal(2), static_cast<float>(10 * y + x));
            }
    }
}

TEST(CSISlice, KSpaceRoundTripsAndRefusals)
{
    vx::test::TScriptedReport report;
    TCSISet set;
    vx::test::FillGrid(set, 5, 3, 1, 4, [](int x, int y, int, int i) {
        return TComplex(static_cast<float>(std::sin(x + 2.0 * y + i)), static_cast<float>(x - y));
    });
    const std::vector<TComplex> before = vx::test::AllSamples(set);
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
    ASSERT_TRUE(slice.ToKSpace());
    ASSERT_TRUE(slice.FromKSpace());
    const std::vector<TComplex> after = vx::test::AllSamples(set);
    for (size_t k = 0; k < before.size(); ++k)
        EXPECT_LT(std::abs(after[k] - before[k]), 1e-5f) << k;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(slice.GetVoxel(x, y)->m_nX, x);
    EXPECT_EQ(report.Count(), 0u);

    // A side with a prime factor above 37 is refused once, with the samples unchanged.
    TCSISet prime;
    vx::test::FillGrid(prime, 41, 2, 1, 2, [](int x, int, int, int) { return TComplex(static_cast<float>(x), 0); });
    ASSERT_TRUE(slice.SetByIndex(&prime, 2, 0));
    EXPECT_FALSE(slice.ShiftVoxels(TPoint2D(5, 0)));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{TMixedRadixFFT::kPrimeFactorTooLarge});
    EXPECT_FLOAT_EQ(slice.GetCentre().x, 0);
    EXPECT_EQ(prime.GetVoxel(7, 1, 0)->GetReal(0), 7.0f);
    EXPECT_EQ(slice.GetVoxel(7, 1), prime.GetVoxel(7, 1, 0));

    // A set without samples cannot be shifted.
    TCSISet empty;
    empty.m_nDim[0] = empty.m_nDim[1] = 4;
    empty.m_nPoints = 8;
    ASSERT_TRUE(slice.SetByIndex(&empty, 2, 0));
    EXPECT_EQ(slice.GetVoxel(1, 1), nullptr);
    EXPECT_FALSE(slice.ApplyVoxelShift(TPoint2D(5, 5)));
}

// ---- drawing ----

namespace {

// A recording canvas on which chosen rectangles do not show.
class TClippedCanvas : public vx::TRecordingCanvas {
public:
    int hiddenLeft = -1;
    bool RectVisible(int left, int top, int right, int bottom) const override
    {
        return left != hiddenLeft && vx::TRecordingCanvas::RectVisible(left, top, right, bottom);
    }
};

// The drawing after the grid, cut at every pen change: one run per spectrum (a pen
// that draws nothing, as the caller's put back at the end, makes none).
struct TCurve {
    vx::TColor colour;
    int minX, maxX, minY, maxY;
};
std::vector<TCurve> Curves(const vx::TRecordingCanvas& dc, size_t from)
{
    std::vector<TCurve> curves;
    for (size_t k = from; k < dc.ops.size(); ++k) {
        const vx::TCanvasOp& op = dc.ops[k];
        if (op.kind == "pen") {
            curves.push_back({op.color, 1 << 30, -(1 << 30), 1 << 30, -(1 << 30)});
        } else if ((op.kind == "move" || op.kind == "line") && !curves.empty()) {
            TCurve& c = curves.back();
            for (size_t p = 0; p + 1 < op.args.size(); p += 2) {
                c.minX = std::min(c.minX, op.args[p]);
                c.maxX = std::max(c.maxX, op.args[p]);
                c.minY = std::min(c.minY, op.args[p + 1]);
                c.maxY = std::max(c.maxY, op.args[p + 1]);
            }
        }
    }
    std::erase_if(curves, [](const TCurve& c) { return c.minX > c.maxX; });
    return curves;
}

// Index of the first op after the grid lines and outline.
size_t AfterGrid(const vx::TRecordingCanvas& dc)
{
    size_t k = 1;  // the grid pen
    while (k < dc.ops.size() && dc.ops[k].kind != "pen")
        ++k;
    return k;
}

// A 4 x 3 plane whose voxel (x, y) holds the constant real value x + 4 y.
void MakeLevels(TCSISet& set)
{
    vx::test::FillGrid(set, 4, 3, 1, 16, [](int x, int y, int, int) {
        return TComplex(static_cast<float>(x + 4 * y), 0);
    });
}

TSpectrumDisplayParams Display(int flags)
{
    TSpectrumDisplayParams d;
    d.m_nFlags = flags;
    d.m_fYMax = 12;
    d.m_fYMin = 0;
    d.m_nXStart = 0;
    d.m_nXEnd = 15;
    return d;
}

}  // namespace

TEST(CSISliceDrawing, GridLinesFollowTheCellsAndTheDisplayFlag)
{
    TCSISet set;
    MakeLevels(set);
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
    const TPixelRect rect{10, 20, 410, 320};  // 100 x 100 pixel cells
    for (bool dotted : {false, true}) {
        vx::TRecordingCanvas dc;
        slice.DrawSpectraGrid(dc, rect, Display(TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kReal),
                              dotted, false);
        ASSERT_FALSE(dc.ops.empty());
        EXPECT_EQ(dc.ops[0].kind, "pen");
        EXPECT_EQ(dc.ops[0].color, 0xff0000u);
        EXPECT_EQ(dc.ops[0].args[1], static_cast<int>(dotted ? vx::PenStyle::Dot : vx::PenStyle::Solid));
        std::vector<std::vector<int>> lines;
        for (size_t k = 0; k < AfterGrid(dc); ++k)
            if (dc.ops[k].kind == "line")
                lines.push_back(dc.ops[k].args);
        std::vector<std::vector<int>> expected;
        for (int i = 0; i <= 4; ++i)
            expected.push_back({10 + 100 * i, 20, 10 + 100 * i, 320});
        for (int j = 0; j <= 3; ++j)
            expected.push_back({10, 20 + 100 * j, 410, 20 + 100 * j});
        EXPECT_EQ(lines, expected);
    }
    // Without the grid flag only the outline.
    vx::TRecordingCanvas dc;
    slice.DrawSpectraGrid(dc, rect, Display(TSpectrumDisplayParams::kReal), false, false);
    const size_t end = AfterGrid(dc);
    int rects = 0, lines = 0;
    for (size_t k = 0; k < end; ++k) {
        rects += dc.ops[k].kind == "rect";
        lines += dc.ops[k].kind == "line";
        if (dc.ops[k].kind == "rect") {
            EXPECT_EQ(dc.ops[k].args, (std::vector<int>{10, 20, 410, 320}));
        }
    }
    EXPECT_EQ(rects, 1);
    EXPECT_EQ(lines, 0);
}

TEST(CSISliceDrawing, OneSpectrumPerCellAtItsLevelAndInItsColour)
{
    TCSISet set;
    MakeLevels(set);
    set.GetVoxel(2, 1, 0)->m_bSelected = 1;
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
    const TPixelRect rect{0, 0, 400, 300};
    for (bool all : {false, true}) {
        SCOPED_TRACE(all);
        vx::TRecordingCanvas dc;
        slice.DrawSpectraGrid(dc, rect, Display(TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kReal), false,
                              all);
        const std::vector<TCurve> curves = Curves(dc, AfterGrid(dc));
        ASSERT_EQ(curves.size(), 12u);
        std::vector<int> seen(12, 0);
        for (const TCurve& c : curves) {
            // Each curve stays in one 100 x 100 cell and is flat at its voxel's level.
            const int column = c.minX / 100, row = (c.minY - 1) / 100;  // level 0 lies on the bottom edge
            ASSERT_TRUE(column >= 0 && column < 4 && row >= 0 && row < 3);
            EXPECT_LE(c.maxX, 100 * (column + 1));
            const int level = column + 4 * row;
            ++seen[static_cast<size_t>(level)];
            const int y = 100 * (row + 1) - level * 100 / 12;  // bottom less the level's height
            EXPECT_NEAR(c.minY, y, 1) << level;
            EXPECT_NEAR(c.maxY, y, 1) << level;
            EXPECT_EQ(c.minX, 100 * column);
            const bool selected = column == 2 && row == 1;
            EXPECT_EQ(c.colour, selected ? 0x00ff00u : all ? 0x0000ffu : 0u) << level;
        }
        EXPECT_EQ(seen, std::vector<int>(12, 1));
    }

    // Cells that cannot show are skipped.
    TClippedCanvas clipped;
    clipped.hiddenLeft = 100;
    slice.DrawSpectraGrid(clipped, rect, Display(TSpectrumDisplayParams::kReal), false, false);
    EXPECT_EQ(Curves(clipped, AfterGrid(clipped)).size(), 9u);
}

TEST(CSISliceDrawing, PrintingASubRangeAndRedrawingOneVoxel)
{
    TCSISet set;
    MakeLevels(set);
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
    const TSpectrumDisplayParams display = Display(TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kReal);

    vx::TRecordingCanvas printed;
    slice.PrintSpectraGrid(printed, {0, 0, 200, 100}, display, 2, 5, 1, 1, false);  // columns 2..3 of row 1
    EXPECT_EQ(printed.ops[0].args[1], static_cast<int>(vx::PenStyle::Solid));
    const std::vector<TCurve> curves = Curves(printed, AfterGrid(printed));
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_EQ(curves[0].minX, 0);
    EXPECT_NEAR(curves[0].minY, 100 - 6 * 100 / 12, 1);  // voxel (2, 1)
    EXPECT_EQ(curves[1].minX, 100);
    EXPECT_NEAR(curves[1].minY, 100 - 7 * 100 / 12, 1);  // voxel (3, 1)
    vx::TRecordingCanvas none;
    slice.PrintSpectraGrid(none, {0, 0, 200, 100}, display, 3, 2, 0, 2, false);
    EXPECT_TRUE(none.ops.empty());

    vx::TRecordingCanvas one;
    slice.DrawVoxel(one, {0, 0, 400, 300}, display, 1, 2, 0, true);
    ASSERT_EQ(Curves(one, 0).size(), 1u);
    EXPECT_EQ(Curves(one, 0)[0].minX, 100);
    EXPECT_EQ(Curves(one, 0)[0].colour, 0x0000ffu);
    vx::TRecordingCanvas elsewhere;
    slice.DrawVoxel(elsewhere, {0, 0, 400, 300}, display, 1, 2, 1, true);  // another plane
    slice.DrawVoxel(elsewhere, {0, 0, 400, 300}, display, 4, 0, 0, true);  // outside the grid
    EXPECT_TRUE(elsewhere.ops.empty());
}

TEST(CSISliceDrawing, ImageLinesWhereImagesCutThePlane)
{
    TCSISet set;
    MakeLevels(set);  // 240 mm field of view, identity geometry
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));  // axial: columns along x, rows along y
    const TPixelRect grid{20, 10, 500, 490};    // 2 pixels per mm

    struct Case {
        int orientation;
        float position[3];
        int expectLine;  // 0 none, 1 vertical, 2 horizontal
        int at;
    } cases[] = {
        {0, {30, 0, 0}, 1, 20 + (30 + 120) * 2},    // sagittal: x = 30 mm
        {1, {0, -60, 0}, 2, 10 + (-60 + 120) * 2},  // coronal: y = -60 mm
        {2, {0, 0, 0}, 0, 0},                       // parallel to the plane
    };
    std::vector<TMRImage*> images;
    std::vector<std::unique_ptr<TMRImage>> owned;
    for (const Case& c : cases) {
        owned.push_back(std::make_unique<TMRImage>(nullptr));
        owned.back()->SetOrientation(c.orientation, false);
        owned.back()->SetPosition(c.position);
        images.push_back(owned.back().get());
    }
    images.push_back(nullptr);
    vx::TRecordingCanvas dc;
    slice.DrawImageLocations(dc, 640, 480, grid, images);
    std::vector<vx::TCanvasOp> lines = dc.OpsOf("line"), pens = dc.OpsOf("pen");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].args, (std::vector<int>{cases[0].at, 0, cases[0].at, 480}));
    EXPECT_EQ(lines[0].color, 0xffff00u);
    EXPECT_EQ(lines[1].args, (std::vector<int>{0, cases[1].at, 640, cases[1].at}));
    EXPECT_EQ(lines[1].color, 0xff00ffu);
    for (size_t k = 0; k + 1 < pens.size(); ++k)  // the last puts the caller's pen back
        EXPECT_EQ(pens[k].args[1], static_cast<int>(vx::PenStyle::Dot));
    ASSERT_FALSE(dc.OpsOf("background").empty());
    EXPECT_EQ(dc.OpsOf("background")[0].args[0], 1);  // transparent

    // The colours cycle through eight.
    std::vector<TMRImage*> many(10, owned[0].get());
    vx::TRecordingCanvas cycle;
    slice.DrawImageLocations(cycle, 640, 480, grid, many);
    ASSERT_EQ(cycle.OpsOf("line").size(), 10u);
    EXPECT_EQ(cycle.OpsOf("line")[7].color, 0x8000ffu);
    EXPECT_EQ(cycle.OpsOf("line")[8].color, 0xffff00u);
}

// The view draws its own things after the slice's with the pen and background it set:
// every drawing call of the slice puts both back.
TEST(CSISliceDrawing, EveryDrawingCallLeavesThePenAndBackgroundAsItFoundThem)
{
    TCSISet set;
    MakeLevels(set);
    set.m_nVolumes = 1;
    set.m_fVolSize[0][0] = set.m_fVolSize[1][0] = set.m_fVolSize[2][0] = 100;
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
    const TPixelRect grid{20, 10, 500, 490};
    TMRImage sagittal(nullptr);
    sagittal.SetOrientation(0, false);
    const std::vector<TMRImage*> images = {&sagittal};
    const TSpectrumDisplayParams display = Display(TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kReal);
    const std::vector<std::pair<const char*, std::function<void(vx::TCanvas&)>>> calls = {
        {"grid", [&](vx::TCanvas& dc) { slice.DrawSpectraGrid(dc, grid, display, true, false); }},
        {"printed grid", [&](vx::TCanvas& dc) { slice.PrintSpectraGrid(dc, grid, display, 0, 2, 0, 2, false); }},
        {"one voxel", [&](vx::TCanvas& dc) { slice.DrawVoxel(dc, grid, display, 1, 1, 0, true); }},
        {"image lines", [&](vx::TCanvas& dc) { slice.DrawImageLocations(dc, 640, 480, grid, images); }},
        {"localisation box", [&](vx::TCanvas& dc) { slice.DrawVOI(dc, grid); }},
    };
    for (const auto& [what, draw] : calls) {
        SCOPED_TRACE(what);
        vx::TRecordingCanvas dc;
        dc.SetPen(0x123456, 3, vx::PenStyle::Dash);
        dc.SetBackground(0xabcdef, false);
        const size_t before = dc.ops.size();
        draw(dc);
        ASSERT_GT(dc.OpsOf("line").size() + dc.OpsOf("polyline").size(), 0u);  // it did draw
        ASSERT_GT(dc.ops.size(), before);
        const std::vector<vx::TCanvasOp> pens = dc.OpsOf("pen"), backgrounds = dc.OpsOf("background");
        EXPECT_EQ(pens.back().color, 0x123456u);
        EXPECT_EQ(pens.back().args, (std::vector<int>{3, static_cast<int>(vx::PenStyle::Dash)}));
        EXPECT_EQ(backgrounds.back().color, 0xabcdefu);
        EXPECT_EQ(backgrounds.back().args, std::vector<int>{0});
    }
}

TEST(CSISliceDrawing, LocalisationBoxOutlineWhereItCutsThePlane)
{
    TCSISet set;
    vx::test::FillGrid(set, 4, 4, 4, 2, [](int, int, int, int) { return TComplex(0, 0); });
    set.m_fFOV[0] = set.m_fFOV[1] = 160;
    set.m_fFOV[2] = 40;  // planes at z = -15, -5, 5, 15
    set.m_nVolumes = 1;
    const float centre[3] = {10, -20, 5}, size[3] = {40, 20, 30};
    for (int d = 0; d < 3; ++d) {
        set.m_fVolOffCentre[d][0] = centre[d];
        set.m_fVolSize[d][0] = size[d];
    }
    TCSISlice slice;
    const TPixelRect grid{0, 0, 320, 320};  // 2 pixels per mm, (0, 0) mm at (160, 160)
    auto pixel = [](float x, float y) { return std::vector<int>{160 + 2 * static_cast<int>(x), 160 + 2 * static_cast<int>(y)}; };
    auto outline = [&](const vx::TRecordingCanvas& dc) {
        std::vector<std::vector<int>> corners;
        for (const vx::TCanvasOp& op : dc.OpsOf("polyline")) {
            EXPECT_EQ(op.color, 0x00ffffu);
            for (size_t p = 0; p + 1 < op.args.size(); p += 2)
                corners.push_back({op.args[p], op.args[p + 1]});
        }
        return corners;
    };

    // The set's frame negates z: the box spans z = -20..10 there, so the plane at
    // -5 cuts it and the one at 15 does not.
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 1));
    vx::TRecordingCanvas dc;
    slice.DrawVOI(dc, grid);
    std::vector<std::vector<int>> corners = outline(dc);
    ASSERT_EQ(corners.size(), 5u);  // four corners, closed
    EXPECT_EQ(corners.front(), corners.back());
    std::vector<std::vector<int>> expected = {pixel(-10, -30), pixel(30, -30), pixel(30, -10), pixel(-10, -10)};
    for (const auto& e : expected)
        EXPECT_NE(std::find(corners.begin(), corners.end(), e), corners.end()) << e[0] << "," << e[1];

    ASSERT_TRUE(slice.SetByIndex(&set, 2, 3));
    vx::TRecordingCanvas outside;
    slice.DrawVOI(outside, grid);
    EXPECT_TRUE(outline(outside).empty());

    // Turned by 45 degrees about the slice axis, a square box cuts a diamond.
    set.m_fVolSize[0][0] = set.m_fVolSize[1][0] = 40;
    set.m_fVolAngulation[2][0] = 45;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 1));
    vx::TRecordingCanvas diamond;
    slice.DrawVOI(diamond, grid);
    corners = outline(diamond);
    ASSERT_EQ(corners.size(), 5u);
    const float r = 20 * std::sqrt(2.0f);
    int onAxis = 0;
    for (size_t k = 0; k + 1 < corners.size(); ++k) {
        const double dx = (corners[k][0] - 160) / 2.0 - 10, dy = (corners[k][1] - 160) / 2.0 + 20;
        EXPECT_NEAR(std::hypot(dx, dy), r, 1.0);
        onAxis += std::fabs(dx) < 1 || std::fabs(dy) < 1;
    }
    EXPECT_EQ(onAxis, 4);
}
