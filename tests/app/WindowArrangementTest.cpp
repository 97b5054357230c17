// Where Tile, Cascade and a new window put the MDI child windows: every window at least
// its usable minimum and inside the area as far as its size allows; tiles side by side
// whenever the area can hold them so.
#include <gtest/gtest.h>

#include <vector>

#include "app/WindowArrangement.h"

using vx::app::CascadeRects;
using vx::app::FitInside;
using vx::app::KeepInside;
using vx::app::TileRects;

namespace {

// Inside the area on each axis, or at its edge when larger.
bool Reachable(const QRect& r, const QSize& area)
{
    return r.left() >= 0 && r.top() >= 0 && (r.right() < area.width() || r.left() == 0) &&
           (r.bottom() < area.height() || r.top() == 0);
}

bool AnyOverlap(const std::vector<QRect>& rects)
{
    for (size_t a = 0; a < rects.size(); ++a)
        for (size_t b = a + 1; b < rects.size(); ++b)
            if (rects[a].intersects(rects[b]))
                return true;
    return false;
}

}  // namespace

TEST(WindowArrangement, NewWindowsStayInsideTheArea)
{
    const QSize area(600, 400);
    EXPECT_EQ(KeepInside(QRect(500, 350, 200, 100), area), QRect(400, 300, 200, 100));
    EXPECT_EQ(KeepInside(QRect(-20, -5, 200, 100), area), QRect(0, 0, 200, 100));
    EXPECT_EQ(KeepInside(QRect(300, 100, 700, 100), area), QRect(0, 100, 700, 100)) << "wider: at the left edge";
    // Made to fit, but never below the minimum.
    EXPECT_EQ(FitInside(QRect(495, 161, 700, 440), QSize(692, 350), area), QRect(0, 0, 692, 400));
    EXPECT_EQ(FitInside(QRect(495, 161, 700, 440), QSize(100, 100), area), QRect(0, 0, 600, 400));
    EXPECT_EQ(FitInside(QRect(10, 20, 300, 200), QSize(100, 100), area), QRect(10, 20, 300, 200));
}

TEST(WindowArrangement, TilesSideBySideWheneverTheMinimumsAllowIt)
{
    const QSize image(120, 96), voxels(692, 350);
    const struct {
        const char* name;
        std::vector<QSize> minimums;
        QSize area;
        bool sideBySide;
    } cases[] = {
        {"four images", {image, image, image, image}, {1000, 600}, true},
        {"images and a voxel window", {image, image, image, image, voxels}, {1240, 681}, true},
        {"two voxel windows stacked", {voxels, voxels}, {800, 720}, true},
        {"three voxel windows, too little room", {voxels, voxels, voxels}, {1000, 600}, false},
        {"a window larger than the area", {QSize(900, 700)}, {600, 400}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<QRect> rects = TileRects(c.minimums, c.area);
        ASSERT_EQ(rects.size(), c.minimums.size());
        long covered = 0;
        for (size_t k = 0; k < rects.size(); ++k) {
            EXPECT_GE(rects[k].width(), c.minimums[k].width()) << k;
            EXPECT_GE(rects[k].height(), c.minimums[k].height()) << k;
            EXPECT_TRUE(Reachable(rects[k], c.area)) << k;
            covered += long(rects[k].width()) * rects[k].height();
        }
        EXPECT_EQ(!AnyOverlap(rects), c.sideBySide);
        if (c.sideBySide && c.minimums.size() > 1) {
            EXPECT_EQ(covered, long(c.area.width()) * c.area.height()) << "the tiles fill the area";
        }
    }
    // Equal windows tile as a square grid, as the desktop's own tiling does.
    EXPECT_EQ(TileRects({image, image, image, image}, {1000, 600}),
              (std::vector<QRect>{{0, 0, 500, 300}, {500, 0, 500, 300}, {0, 300, 500, 300}, {500, 300, 500, 300}}));
}

// Windows that keep their size (the explorer) take their place in the rows at it and leave
// the rest of the row to the others; a row is as high as its tallest window needs.
TEST(WindowArrangement, TileLeavesTheExplorerAtItsSizeAndGivesEachRowTheHeightItNeeds)
{
    const QSize explorer(195, 197), image(238, 168), voxels(692, 350);
    EXPECT_EQ(TileRects({image, explorer}, {false, true}, {600, 400}),
              (std::vector<QRect>{{0, 0, 405, 400}, {405, 0, 195, 197}}));
    // The explorer first, three image windows and a voxel window: three in the first row,
    // the voxel window beside an image below, the rows as high as they need and no higher.
    const std::vector<QRect> rects =
        TileRects({explorer, image, image, image, voxels}, {true, false, false, false, false}, {984, 650});
    ASSERT_EQ(rects.size(), 5u);
    EXPECT_EQ(rects[0], QRect(0, 0, 195, 197));
    EXPECT_FALSE(AnyOverlap(rects));
    for (size_t k = 1; k < 4; ++k)
        EXPECT_GE(rects[k].width(), image.width()) << k;
    EXPECT_GE(rects[4].height(), voxels.height());
    EXPECT_EQ(rects[1].height() + rects[4].height(), 650);
}

TEST(WindowArrangement, CascadeShowsEveryTitleAndWrapsInsideTheArea)
{
    const QSize area(800, 360), minimum(300, 300);
    const std::vector<QSize> sizes(5, QSize(500, 340)), minimums(5, minimum);
    const std::vector<QRect> rects = CascadeRects(sizes, minimums, area, 25);
    ASSERT_EQ(rects.size(), 5u);
    for (size_t k = 0; k < rects.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(QRect(QPoint(0, 0), area).contains(rects[k]));
        EXPECT_GE(rects[k].width(), minimum.width());
        EXPECT_GE(rects[k].height(), minimum.height());
        for (size_t j = 0; j < k; ++j)
            EXPECT_NE(rects[j].topLeft(), rects[k].topLeft()) << "no title hidden under another";
    }
    // Three windows fit one run from the top (300 + 2 * 25 <= 360); the fourth starts a new
    // run at the top, further right.
    EXPECT_EQ(rects[1].topLeft() - rects[0].topLeft(), QPoint(25, 25));
    EXPECT_EQ(rects[3].top(), 0);
    EXPECT_GT(rects[3].left(), rects[0].left());
}
