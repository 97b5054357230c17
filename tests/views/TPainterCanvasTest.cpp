// The QPainter canvas on a QImage: colours, the exclusive right and bottom edges,
// pens, brushes, background, clipping, text and pictures, checked at sampled pixels.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "support/CSISetBuilders.h"
#include "views/TPainterCanvas.h"

using vx::TPainterCanvas;

namespace {

constexpr vx::TColor kRed = 0x0000ff, kBlue = 0xff0000, kGreen = 0x00ff00, kWhite = 0xffffff, kBlack = 0;

// A 100 x 100 picture, black.
QImage Picture()
{
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

vx::TColor At(const QImage& image, int x, int y) { return vx::FromQColor(image.pixelColor(x, y)); }

}  // namespace

TEST(PainterCanvas, ColourWordsAreBlueGreenRed)
{
    const struct {
        vx::TColor word;
        int r, g, b;
    } cases[] = {{0x0000ff, 255, 0, 0}, {0x00ff00, 0, 255, 0}, {0xff0000, 0, 0, 255}, {0x4080c0, 0xc0, 0x80, 0x40}};
    for (const auto& c : cases) {
        const QColor q = vx::ToQColor(c.word);
        EXPECT_EQ(q.red(), c.r);
        EXPECT_EQ(q.green(), c.g);
        EXPECT_EQ(q.blue(), c.b);
        EXPECT_EQ(vx::FromQColor(q), c.word);
    }
}

TEST(PainterCanvas, FillsAndOutlinesStopBeforeTheRightAndBottomEdges)
{
    QImage image = Picture();
    {
        TPainterCanvas dc(&image);
        dc.FillRect(10, 10, 20, 20, kRed);
        dc.SetPen(kBlue, 1, vx::PenStyle::Solid);
        dc.SetBrush(kGreen);
        dc.Rectangle(40, 40, 50, 46);
        dc.SetPixel(70, 5, kWhite);
        dc.FillRect(5, 80, 5, 90, kWhite);  // empty
        dc.SetBrush(kRed);
        dc.Polygon({{60, 60}, {90, 60}, {90, 90}});
        dc.SetNullBrush();
        dc.Rectangle(10, 60, 40, 90);
    }
    EXPECT_EQ(At(image, 10, 10), kRed);
    EXPECT_EQ(At(image, 19, 19), kRed);
    EXPECT_EQ(At(image, 20, 19), kBlack);
    EXPECT_EQ(At(image, 19, 20), kBlack);
    // Outline on the first and last pixels inside, the brush within.
    EXPECT_EQ(At(image, 40, 40), kBlue);
    EXPECT_EQ(At(image, 49, 45), kBlue);
    EXPECT_EQ(At(image, 49, 42), kBlue);
    EXPECT_EQ(At(image, 45, 43), kGreen);
    EXPECT_EQ(At(image, 50, 43), kBlack);
    EXPECT_EQ(At(image, 45, 46), kBlack);
    EXPECT_EQ(At(image, 70, 5), kWhite);
    EXPECT_EQ(At(image, 71, 5), kBlack);
    EXPECT_EQ(At(image, 5, 85), kBlack);
    EXPECT_EQ(At(image, 85, 65), kRed);    // inside the triangle
    EXPECT_EQ(At(image, 65, 85), kBlack);  // beyond its diagonal
    EXPECT_EQ(At(image, 10, 75), kBlue);
    EXPECT_EQ(At(image, 25, 75), kBlack);  // no brush: the inside stays
}

TEST(PainterCanvas, LinesPensAndBackground)
{
    QImage image = Picture();
    {
        TPainterCanvas dc(&image);
        dc.SetPen(kRed, 1, vx::PenStyle::Solid);
        dc.MoveTo(10, 10);
        dc.LineTo(30, 10);  // gathered with the next segment
        dc.LineTo(30, 20);
        // Dotted over a white background, then over a transparent one.
        dc.SetPen(kBlue, 1, vx::PenStyle::Dot);
        dc.SetBackground(kWhite, false);
        dc.MoveTo(10, 50);
        dc.LineTo(60, 50);
        dc.SetBackground(kWhite, true);
        dc.MoveTo(10, 60);
        dc.LineTo(60, 60);
        dc.SetPen(kGreen, 1, vx::PenStyle::Null);
        dc.MoveTo(10, 70);
        dc.LineTo(60, 70);
        dc.SetPen(kGreen, 3, vx::PenStyle::Solid);
        dc.Polyline({{10, 90}, {60, 90}});
    }
    EXPECT_EQ(At(image, 10, 10), kRed);
    EXPECT_EQ(At(image, 20, 10), kRed);
    EXPECT_EQ(At(image, 30, 15), kRed);
    EXPECT_EQ(At(image, 30, 20), kBlack);  // the last pixel of a line is left out
    EXPECT_EQ(At(image, 20, 11), kBlack);

    int blue = 0, white = 0, black = 0;
    for (int x = 12; x < 58; ++x) {
        blue += At(image, x, 50) == kBlue;
        white += At(image, x, 50) == kWhite;
        EXPECT_NE(At(image, x, 60), kWhite) << x;
        black += At(image, x, 60) == kBlack;
        EXPECT_EQ(At(image, x, 70), kBlack) << x;
    }
    EXPECT_GT(blue, 10);
    EXPECT_GT(white, 10);  // the gaps between the dots
    EXPECT_GT(black, 10);
    EXPECT_EQ(blue + white, 46);
    // A wide pen covers the rows around the line.
    EXPECT_EQ(At(image, 30, 89), kGreen);
    EXPECT_EQ(At(image, 30, 91), kGreen);
    EXPECT_EQ(At(image, 30, 93), kBlack);
}

TEST(PainterCanvas, ClippingAndVisibility)
{
    QImage image = Picture();
    {
        TPainterCanvas dc(&image);
        EXPECT_TRUE(dc.RectVisible(90, 90, 120, 120));
        EXPECT_FALSE(dc.RectVisible(100, 0, 120, 10));  // beyond the picture
        EXPECT_FALSE(dc.RectVisible(10, 10, 10, 20));   // empty
        dc.SetClip(20, 20, 40, 40);
        EXPECT_TRUE(dc.RectVisible(35, 35, 60, 60));
        EXPECT_FALSE(dc.RectVisible(40, 0, 60, 60));
        dc.FillRect(0, 0, 100, 100, kRed);
        dc.ResetClip();
        EXPECT_TRUE(dc.RectVisible(40, 0, 60, 60));
        dc.FillRect(0, 90, 10, 100, kGreen);
    }
    EXPECT_EQ(At(image, 20, 20), kRed);
    EXPECT_EQ(At(image, 39, 39), kRed);
    EXPECT_EQ(At(image, 40, 40), kBlack);
    EXPECT_EQ(At(image, 19, 30), kBlack);
    EXPECT_EQ(At(image, 5, 95), kGreen);
}

TEST(PainterCanvas, PicturesAreScaledPixelForPixel)
{
    // 2 x 2 words 0x00rrggbb, one spare word per row, drawn at 4 x 4 at (10, 20).
    const std::vector<uint32_t> words = {0xff0000, 0x00ff00, 0xdead, 0x0000ff, 0xffffff, 0xbeef};
    QImage image = Picture();
    {
        TPainterCanvas dc(&image);
        dc.Blit(10, 20, 4, 4, words.data(), 2, 2, 3);
        dc.Blit(50, 50, 4, 4, nullptr, 2, 2, 3);
        dc.Blit(50, 50, 4, 4, words.data(), 2, 2, 1);  // a stride shorter than a row
    }
    EXPECT_EQ(At(image, 10, 20), kRed);
    EXPECT_EQ(At(image, 11, 21), kRed);
    EXPECT_EQ(At(image, 12, 20), kGreen);
    EXPECT_EQ(At(image, 13, 23), kWhite);
    EXPECT_EQ(At(image, 10, 22), kBlue);
    EXPECT_EQ(At(image, 14, 20), kBlack);
    EXPECT_EQ(At(image, 51, 51), kBlack);
}

TEST(PainterCanvas, TextIsPlacedByItsAlignmentInTheTextColour)
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::black);
    vx::TSizeI extent;
    {
        TPainterCanvas dc(&image);
        dc.SetFont(20, true, {});
        dc.SetTextColor(kRed);
        dc.SetBackground(kBlue, false);
        extent = dc.TextExtent("MMMM");
        dc.Text(100, 10, "MMMM", vx::AlignRight | vx::AlignTop);  // on an opaque box
        dc.SetBackground(kBlue, true);
        dc.Text(100, 90, "MMMM", vx::AlignLeft | vx::AlignBottom);
    }
    ASSERT_GT(extent.cx, 10);
    ASSERT_GT(extent.cy, 10);
    // Count the colours left and right of x = 100, above and below the two anchors.
    int redLeftTop = 0, blueLeftTop = 0, redRightBottom = 0, misplaced = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            const vx::TColor c = At(image, x, y);
            const bool top = y >= 10 && y < 10 + extent.cy;
            const bool bottom = y >= 90 - extent.cy && y < 90;
            redLeftTop += c == kRed && x < 100 && top;
            blueLeftTop += c == kBlue && x < 100 && top;
            redRightBottom += c == kRed && x >= 100 && bottom;
            // Edge pixels of the glyphs may be blended, but nothing lies outside the boxes.
            misplaced += c != kBlack && !(x < 100 && top) && !(x >= 100 && bottom);
        }
    EXPECT_GT(redLeftTop, 20);
    EXPECT_GT(blueLeftTop, 20);
    EXPECT_GT(redRightBottom, 20);
    EXPECT_EQ(misplaced, 0);
}

TEST(PainterCanvas, SliceGridOnAnImageLayer)
{
    // A 4 x 4 plane whose spectra are flat at half the amplitude range, drawn at 100
    // pixels a cell on black.
    TCSISet set;
    vx::test::FillGrid(set, 4, 4, 1, 64, [](int, int, int, int) { return TComplex(0.5f, 0); });
    set.GetVoxel(1, 2, 0)->m_bSelected = 1;
    TCSISlice slice;
    ASSERT_TRUE(slice.SetByIndex(&set, 2, 0));
    TSpectrumDisplayParams display;
    display.m_nFlags = TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kReal;
    display.m_fYMax = 1;
    display.m_fYMin = 0;
    display.m_nXEnd = 63;
    QImage image(401, 401, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        TPainterCanvas dc(&image);
        slice.DrawSpectraGrid(dc, {0, 0, 400, 400}, display, false, true);
    }
    QDir().mkpath(QString::fromUtf8(VX_BINARY_ROOT) + "/screenshots");
    image.save(QString::fromUtf8(VX_BINARY_ROOT) + "/screenshots/slice_grid.png");
    // Blue grid lines, red spectra of unselected voxels, green for the selected one.
    EXPECT_EQ(At(image, 100, 37), kBlue);
    EXPECT_EQ(At(image, 250, 300), kBlue);
    EXPECT_EQ(At(image, 50, 50), kRed);
    EXPECT_EQ(At(image, 350, 350), kRed);
    EXPECT_EQ(At(image, 150, 250), kGreen);
    EXPECT_EQ(At(image, 50, 30), kBlack);
}
