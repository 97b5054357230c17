#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/TRecordingCanvas.h"
#include "processing/IRegionView.h"
#include "processing/TDrawnRegionEllipse.h"
#include "processing/TDrawnRegionGroup.h"
#include "processing/TDrawnRegionPolygon.h"
#include "processing/TDrawnRegionRect.h"
#include "RegionScene.h"

namespace {

using vx::TPointI;
using vx::test::TRegionScene;

// Even-odd rule by a ray toward +y, written apart from the grid's rays along the cell
// sides: an edge counts when it straddles x and crosses above the point.
bool InsideByVerticalRay(const std::vector<TPointD>& v, double x, double y)
{
    bool inside = false;
    for (size_t k = 0; k < v.size(); ++k) {
        const TPointD& a = v[k];
        const TPointD& b = v[(k + 1) % v.size()];
        if ((a.x > x) != (b.x > x) && y < a.y + (x - a.x) * (b.y - a.y) / (b.x - a.x))
            inside = !inside;
    }
    return inside;
}

// True when the point lies on the segment a-b (integer coordinates, exact).
bool OnEdge(const TPointD& a, const TPointD& b, double x, double y)
{
    return (b.x - a.x) * (y - a.y) == (b.y - a.y) * (x - a.x) && x >= std::min(a.x, b.x) &&
           x <= std::max(a.x, b.x) && y >= std::min(a.y, b.y) && y <= std::max(a.y, b.y);
}

std::vector<TPointD> Vertices(const std::vector<TPointI>& outline)
{
    std::vector<TPointD> vertices;
    for (const TPointI& p : outline)
        vertices.push_back({static_cast<double>(p.x), static_cast<double>(p.y)});
    return vertices;
}

std::vector<TPointD> Star(int tips, double inner, double outer)
{
    std::vector<TPointD> v;
    for (int k = 0; k < 2 * tips; ++k) {
        const double r = k % 2 ? inner : outer, a = k * 3.14159265358979 / tips + 0.1;
        v.push_back({5 + r * std::cos(a), 5 + r * std::sin(a)});
    }
    return v;
}

// A vertex exactly on the interior grid corner (5, 5) of a 10 x 10 grid over the box
// 0..10 (widened by 1e-5 of the extent on each side, lines at min + k * size).
std::vector<TPointD> VertexOnGridCorner()
{
    const double lo = 0.0 - 1e-5 * 10, hi = 10.0 + 1e-5 * 10, size = (hi - lo) / 10;
    const double c = lo + 5 * size;
    return {{0, 0}, {10, 0}, {10, 10}, {c, c}, {0, 10}};
}

struct TPolygonCase {
    const char* name;
    std::vector<TPointD> vertices;
    bool restarts;  // the grid must move off an edge first
};

TEST(PolygonGrid, InsideTestAgreesWithAnIndependentRayCastAtEveryResolution)
{
    const std::vector<TPolygonCase> cases = {
        {"triangle", {{0, 0}, {10, 1}, {3, 9}}, false},
        {"concave U", {{0, 0}, {9, 0}, {9, 9}, {6, 9}, {6, 3}, {3, 3}, {3, 9}, {0, 9}}, false},
        {"bow tie", {{0, 0}, {10, 10}, {10, 0}, {0, 10}}, false},
        {"star", Star(11, 1.5, 5), false},
        {"repeated vertex", {{1, 1}, {8, 2}, {8, 2}, {7, 8}, {2, 6}}, false},
        {"vertex on a grid corner", VertexOnGridCorner(), true},
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<double> at(-1.0, 11.0);
    for (const TPolygonCase& c : cases)
        for (int resolution : {1, 3, 10}) {
            SCOPED_TRACE(std::string(c.name) + ", resolution " + std::to_string(resolution));
            TPolygonGridSet grid;
            ASSERT_TRUE(TDrawnRegionPolygon::BuildEdgeTable(c.vertices.data(), static_cast<int>(c.vertices.size()),
                                                            resolution, grid));
            if (c.restarts && resolution == 10) {
                EXPECT_GT(grid.restarts, 0);
            }
            int mismatches = 0;
            for (int k = 0; k < 4000; ++k) {
                const double x = at(random), y = at(random);
                mismatches += PolygonEdgeTableContains(grid, {x, y}) != (InsideByVerticalRay(c.vertices, x, y) ? 1 : 0);
            }
            EXPECT_EQ(mismatches, 0);
        }
}

TEST(PolygonGrid, RefusesWhatIsNoPolygonAndContainsNothingWithoutArea)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<TPointD> two = {{0, 0}, {1, 1}}, withNaN = {{0, 0}, {1, nan}, {2, 0}};
    const std::vector<TPointD> triangle = {{0, 0}, {4, 0}, {0, 4}}, line = {{0, 0}, {2, 2}, {4, 4}};
    TPolygonGridSet grid;
    EXPECT_FALSE(TDrawnRegionPolygon::BuildEdgeTable(two.data(), 2, 10, grid));
    EXPECT_FALSE(TDrawnRegionPolygon::BuildEdgeTable(withNaN.data(), 3, 10, grid));
    EXPECT_FALSE(TDrawnRegionPolygon::BuildEdgeTable(triangle.data(), 3, 0, grid));
    ASSERT_TRUE(TDrawnRegionPolygon::BuildEdgeTable(line.data(), 3, 10, grid));
    for (double t = 0; t <= 4; t += 0.25)
        EXPECT_EQ(PolygonEdgeTableContains(grid, {t, t}), 0);
}

// ---- masks over the work set's plane: an 8 x 8 grid of 10 mm voxels ----

class DrawnRegionMask : public testing::Test {
protected:
    void SetUp() override
    {
        m_scene.MakeSet(8, 8, 1, 1, 80, 10, [](int, int, int, int) { return TComplex(1, 0); });
        m_pixelPerVoxel = m_scene.AddImage(8, 8, 80);
        m_fine = m_scene.AddImage(64, 64, 80);
    }

    // The cells of a mask that are 1, as (column, row).
    static std::vector<std::pair<int, int>> Cells(const std::vector<uint8_t>& mask, int width)
    {
        std::vector<std::pair<int, int>> cells;
        for (size_t k = 0; k < mask.size(); ++k)
            if (mask[k])
                cells.emplace_back(static_cast<int>(k) % width, static_cast<int>(k) / width);
        return cells;
    }

    static std::vector<uint8_t> Mask(const TDrawnRegion& region, int width, int height, bool* ok = nullptr)
    {
        std::vector<uint8_t> mask(static_cast<size_t>(width) * height, 7);
        const bool made = region.MakeVoxelMask(mask.data(), width, height);
        if (ok)
            *ok = made;
        else
            EXPECT_TRUE(made);
        return mask;
    }

    TRegionScene m_scene;
    TMRImage* m_pixelPerVoxel = nullptr;
    TMRImage* m_fine = nullptr;
};

TEST_F(DrawnRegionMask, RectangleTakesTheCellsFromCornerToCornerBothIncluded)
{
    std::unique_ptr<TDrawnRegion> square(TRegionScene::Draw<TDrawnRegionRect>(m_pixelPerVoxel, {{3, 3}, {2, 2}}));
    const std::vector<std::pair<int, int>> fourVoxels = {{2, 2}, {3, 2}, {2, 3}, {3, 3}};
    EXPECT_EQ(Cells(Mask(*square, 8, 8), 8), fourVoxels);

    // On an image of eight pixels per voxel, a small rectangle stays inside its voxel.
    std::unique_ptr<TDrawnRegion> small(TRegionScene::Draw<TDrawnRegionRect>(m_fine, {{42, 10}, {45, 13}}));
    const auto smallCells = Cells(Mask(*small, 64, 64), 64);
    EXPECT_EQ(smallCells.size(), 16u);
    for (const auto& [i, j] : smallCells)
        EXPECT_TRUE(i / 8 == 5 && j / 8 == 1);
}

// An image whose field of view is below zero along x maps its columns onto the cells
// mirrored, so the rectangle's first corner lands after its second: no cell lies between
// them on that axis, and nothing may be written outside the mask. The ellipse and
// polygon order their cells.
TEST_F(DrawnRegionMask, ReversedCornerCellsSetNothingAndWriteOnlyInsideTheMask)
{
    TMRImage* mirrored = m_scene.AddImage(8, 8, -80);
    mirrored->SetParameter(80.0f, TMRImage::ParamFOVY, false);
    std::unique_ptr<TDrawnRegion> rect(TRegionScene::Draw<TDrawnRegionRect>(mirrored, {{1, 1}, {3, 4}}));
    EXPECT_EQ(Cells(Mask(*rect, 8, 8), 8), (std::vector<std::pair<int, int>>{}));

    std::unique_ptr<TDrawnRegion> ellipse(TRegionScene::Draw<TDrawnRegionEllipse>(mirrored, {{1, 1}, {6, 5}}));
    std::unique_ptr<TDrawnRegion> polygon(
        TRegionScene::Draw<TDrawnRegionPolygon>(mirrored, {{1, 1}, {6, 1}, {6, 6}, {1, 6}}));
    for (const TDrawnRegion* region : {ellipse.get(), polygon.get()}) {
        const std::vector<uint8_t> mask = Mask(*region, 8, 8);
        EXPECT_TRUE(std::all_of(mask.begin(), mask.end(), [](uint8_t m) { return m <= 1; }));
        EXPECT_FALSE(Cells(mask, 8).empty());
    }
}

TEST_F(DrawnRegionMask, ConcavePolygonTakesTheCellsWhoseCentresAreInside)
{
    // Pixels of the 8 x 8 image are the voxels; the notch at (4, 3) cuts the top side in.
    const std::vector<TPointI> outline = {{1, 1}, {7, 1}, {7, 7}, {4, 3}, {1, 7}};
    const std::vector<TPointD> vertices = Vertices(outline);
    std::unique_ptr<TDrawnRegion> polygon(TRegionScene::Draw<TDrawnRegionPolygon>(m_pixelPerVoxel, outline));
    const std::vector<uint8_t> mask = Mask(*polygon, 8, 8);
    int inside = 0;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const bool expected = InsideByVerticalRay(vertices, i + 0.5, j + 0.5);
            inside += expected;
            EXPECT_EQ(mask[static_cast<size_t>(j) * 8 + i], expected ? 1 : 0) << "cell " << i << ", " << j;
        }
    EXPECT_GT(inside, 10);
    EXPECT_EQ(mask[4 * 8 + 4], 0);  // under the notch
}

TEST_F(DrawnRegionMask, RegionsThatCannotBeMappedFail)
{
    TMRImage* wide = m_scene.AddImage(64, 64, 160);       // twice the grid's field of view
    TMRImage* offPlane = m_scene.AddImage(8, 8, 80, 50);  // above the one-slice set
    auto* unplaced = new TDrawnRegionRect;
    unplaced->AddPoint(1, 1);
    unplaced->AddPoint(2, 2);
    const std::pair<const char*, TDrawnRegion*> cases[] = {
        {"polygon of two points", TRegionScene::Draw<TDrawnRegionPolygon>(m_pixelPerVoxel, {{1, 1}, {5, 5}})},
        {"vertex on the border column",
         TRegionScene::Draw<TDrawnRegionPolygon>(m_pixelPerVoxel, {{1, 1}, {8, 2}, {3, 6}})},
        {"rectangle of one point", TRegionScene::Draw<TDrawnRegionRect>(m_pixelPerVoxel, {{1, 1}})},
        {"ellipse of three points",
         TRegionScene::Draw<TDrawnRegionEllipse>(m_pixelPerVoxel, {{1, 1}, {3, 3}, {5, 5}})},
        {"corner outside the CSI slice, other corner inside",
         TRegionScene::Draw<TDrawnRegionRect>(wide, {{8, 8}, {30, 30}})},
        {"image plane outside the set", TRegionScene::Draw<TDrawnRegionRect>(offPlane, {{1, 1}, {2, 2}})},
        {"no image", unplaced},
    };
    for (const auto& [name, region] : cases) {
        SCOPED_TRACE(name);
        bool ok = true;
        Mask(*region, 8, 8, &ok);
        EXPECT_FALSE(ok);
        delete region;
    }
    // The same rectangle inside the slice on the wide image maps.
    std::unique_ptr<TDrawnRegion> inside(TRegionScene::Draw<TDrawnRegionRect>(wide, {{20, 20}, {30, 30}}));
    bool ok = false;
    Mask(*inside, 64, 64, &ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(inside->MakeVoxelMask(nullptr, 8, 8));
}

TEST_F(DrawnRegionMask, FlatEllipseIsEmptyAndGroupsTakeTheUnionOfTheirMembers)
{
    std::unique_ptr<TDrawnRegion> line(TRegionScene::Draw<TDrawnRegionEllipse>(m_pixelPerVoxel, {{1, 4}, {6, 4}}));
    EXPECT_TRUE(Cells(Mask(*line, 8, 8), 8).empty());

    TDrawnRegionGroup group;
    EXPECT_TRUE(Cells(Mask(group, 8, 8), 8).empty());
    group.AddRegion(TRegionScene::Draw<TDrawnRegionRect>(m_pixelPerVoxel, {{0, 0}, {2, 1}}));
    group.AddRegion(TRegionScene::Draw<TDrawnRegionRect>(m_pixelPerVoxel, {{2, 1}, {3, 1}}));
    const std::vector<uint8_t> mask = Mask(group, 8, 8);
    EXPECT_EQ(Cells(mask, 8).size(), 7u);
    EXPECT_EQ(mask[1 * 8 + 2], 1);  // in both members

    group.AddRegion(TRegionScene::Draw<TDrawnRegionPolygon>(m_pixelPerVoxel, {{1, 1}, {2, 2}}));
    bool ok = true;
    Mask(group, 8, 8, &ok);
    EXPECT_FALSE(ok);
}

TEST_F(DrawnRegionMask, VoxelSelectionTakesTheCellsInsideAndOnTheOutline)
{
    const std::vector<TPointI> outline = {{1, 1}, {6, 1}, {6, 6}, {3, 3}, {1, 6}};
    const std::vector<TPointD> vertices = Vertices(outline);
    TDrawnRegionPolygon polygon;
    for (const TPointI& p : outline)
        polygon.AddPoint(p.x, p.y);
    std::vector<int32_t> mask(64, 7);
    ASSERT_TRUE(polygon.MakePixelMask(mask.data(), 8, 8));
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            bool expected = InsideByVerticalRay(vertices, i, j);
            for (size_t k = 0; k < vertices.size(); ++k)
                expected = expected || OnEdge(vertices[k], vertices[(k + 1) % vertices.size()], i, j);
            EXPECT_EQ(mask[static_cast<size_t>(j) * 8 + i], expected ? 1 : 0) << "cell " << i << ", " << j;
        }
    polygon.AddPoint(8, 0);
    EXPECT_FALSE(polygon.MakePixelMask(mask.data(), 8, 8));
}

// ---- drawing ----

class TZoomView : public IRegionView {
public:
    explicit TZoomView(const TMRImage* image) : m_image(image) {}
    const TMRImage* GetImage() const override { return m_image; }
    int ZoomLength(int length) const override { return static_cast<int>(length * 1.5); }
    vx::TCanvas& GetRegionLayer() override { return canvas; }
    vx::TRecordingCanvas canvas;

private:
    const TMRImage* m_image;
};

TEST_F(DrawnRegionMask, RegionsDrawTheirOutlineOnlyOverTheirOwnImage)
{
    TDrawnRegionGroup group;
    group.AddRegion(TRegionScene::Draw<TDrawnRegionRect>(m_fine, {{9, 7}, {3, 5}}));
    group.AddRegion(TRegionScene::Draw<TDrawnRegionEllipse>(m_fine, {{1, 1}, {5, 3}}));
    group.AddRegion(TRegionScene::Draw<TDrawnRegionPolygon>(m_fine, {{1, 1}, {5, 3}, {2, 7}}));
    group.AddRegion(TRegionScene::Draw<TDrawnRegionEllipse>(m_fine, {{1, 1}}));  // too few to draw
    group.AddRegion(TRegionScene::Draw<TDrawnRegionRect>(m_pixelPerVoxel, {{0, 0}, {4, 4}}));

    TZoomView view(m_fine);
    group.Draw(view);
    ASSERT_EQ(view.canvas.ops.size(), 3u);
    EXPECT_EQ(view.canvas.ops[0].kind, "rect");
    EXPECT_EQ(view.canvas.ops[0].args, (std::vector<int>{4, 7, 13, 10}));
    EXPECT_EQ(view.canvas.ops[1].kind, "ellipse");
    EXPECT_EQ(view.canvas.ops[1].args, (std::vector<int>{1, 1, 7, 4}));
    EXPECT_EQ(view.canvas.ops[2].kind, "polygon");
    EXPECT_EQ(view.canvas.ops[2].args, (std::vector<int>{1, 1, 7, 4, 3, 10}));

    TZoomView other(m_scene.AddImage(64, 64, 80));
    group.Draw(other);
    EXPECT_TRUE(other.canvas.ops.empty());
}

}  // namespace
