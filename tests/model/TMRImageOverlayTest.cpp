// An MR image with other images (maps made into images) fused over it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "model/drawing/BitmapHelpers.h"
#include "model/TMRImage.h"
#include "platform/TRecordingCanvas.h"
#include "support/TestFiles.h"

namespace {

// An image of w x h pixels over fov x fov mm with pixel (x, y) = f(x, y) and the window.
template <typename F>
std::unique_ptr<TMRImage> MakeImage(int w, int h, float fov, int low, int high, F f)
{
    auto image = std::make_unique<TMRImage>(nullptr);
    image->SetWidth(w, false);
    image->SetHeight(h, false);
    image->SetParameter(fov, TMRImage::ParamFOVX, false);
    image->SetParameter(fov, TMRImage::ParamFOVY, false);
    std::vector<int16_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels.push_back(static_cast<int16_t>(f(x, y)));
    EXPECT_TRUE(image->SetPixels(pixels));
    image->SetStoredWindow(low, high);
    return image;
}

// The "Hot" table written out: red rises first, then green, then blue.
void Hot(int v, int rgb[3])
{
    rgb[0] = v < 96 ? static_cast<int>(v * 2.65625) : 255;
    rgb[1] = v < 96 ? 0 : v < 192 ? static_cast<int>((v - 96) * 2.65625) : 255;
    rgb[2] = v < 192 ? 0 : static_cast<int>((v - 192) * 255 * 0.015625);
}

int Grey(int v, int low, int high) { return v < low ? 0 : v > high ? 255 : (v - low) * 255 / (high - low); }

int RedOf(uint32_t c) { return static_cast<int>(c >> 16 & 0xff); }
int GreenOf(uint32_t c) { return static_cast<int>(c >> 8 & 0xff); }
int BlueOf(uint32_t c) { return static_cast<int>(c & 0xff); }

}  // namespace

TEST(MRImageOverlay, OneMapOverAnImageGivesTheBlendedColours)
{
    // A 64 x 64 image (a ramp along x) under an 8 x 8 map of values 0..1000 over
    // the same 240 mm.
    auto image = MakeImage(64, 64, 240, 0, 630, [](int x, int y) { return 10 * x + (y % 2); });
    auto map = MakeImage(8, 8, 240, 0, 1000, [](int x, int y) { return 1000 * (x + 8 * y) / 63; });
    const float baseWeight = 0.6f, mapWeight = 0.7f;
    const std::vector<uint32_t> picture = image->RenderMapOverlay({map.get()}, baseWeight, mapWeight, kColourHot);
    ASSERT_EQ(picture.size(), 64u * 64u);
    const int samples[][2] = {{0, 0}, {5, 9}, {17, 40}, {32, 32}, {63, 0}, {40, 63}, {63, 63}, {9, 55}};
    for (const auto& s : samples) {
        const int x = s[0], y = s[1];
        const int base = static_cast<int>(Grey(10 * x + (y % 2), 0, 630) * double{baseWeight});
        int hot[3];
        Hot(Grey(1000 * (x / 8 + 8 * (y / 8)) / 63, 0, 1000), hot);
        const uint32_t c = picture[static_cast<size_t>(y * 64 + x)];
        EXPECT_EQ(RedOf(c), std::min(255, static_cast<int>(hot[0] * double{mapWeight} + base))) << x << "," << y;
        EXPECT_EQ(GreenOf(c), std::min(255, static_cast<int>(hot[1] * double{mapWeight} + base))) << x << "," << y;
        EXPECT_EQ(BlueOf(c), std::min(255, static_cast<int>(hot[2] * double{mapWeight} + base))) << x << "," << y;
    }

    // Drawn, the same picture goes to the canvas at one pixel per image pixel.
    vx::TRecordingCanvas dc;
    image->DrawMapOverlay(dc, {map.get()}, baseWeight, mapWeight, kColourHot);
    ASSERT_EQ(dc.OpsOf("blit").size(), 1u);
    EXPECT_EQ(dc.OpsOf("blit")[0].args, (std::vector<int>{0, 0, 64, 64, 64, 64}));

    // Without overlays the picture is the weighted grey image.
    const std::vector<uint32_t> plain = image->RenderMapOverlay({}, 1.0f, mapWeight, kColourHot);
    EXPECT_EQ(plain, image->RenderPixels(kColourGray));
}

TEST(MRImageOverlay, SaturatesOutsideAndUnreadableOverlaysAddNothing)
{
    auto image = MakeImage(16, 16, 160, 0, 100, [](int, int) { return 100; });  // white
    // A map covering only the middle 80 mm, at full value.
    auto map = MakeImage(4, 4, 80, 0, 10, [](int, int) { return 10; });
    const std::vector<uint32_t> picture = image->RenderMapOverlay({map.get()}, 1.0f, 1.0f, kColourHot);
    // In the middle white plus white stays white instead of wrapping to dark.
    EXPECT_EQ(picture[8 * 16 + 8], 0xffffffu);
    // Outside the map its colour of 0 (black in "Hot") adds nothing.
    const std::vector<uint32_t> half = image->RenderMapOverlay({map.get()}, 0.5f, 1.0f, kColourHot);
    EXPECT_EQ(half[1 * 16 + 1], 0x7f7f7fu);
    EXPECT_EQ(half[8 * 16 + 8], 0xffffffu);

    // An overlay without pixels (its file is missing) is left out.
    auto missing = std::make_unique<TMRImage>(nullptr);
    missing->SetWidth(4, false);
    missing->SetHeight(4, false);
    missing->SetPath(vx::test::TTempFolder().File("absent"));
    EXPECT_EQ(image->RenderMapOverlay({missing.get(), nullptr}, 0.5f, 1.0f, kColourHot),
              image->RenderMapOverlay({}, 0.5f, 1.0f, kColourHot));

    // An image without pixels draws nothing.
    TMRImage empty(nullptr);
    vx::TRecordingCanvas dc;
    empty.DrawMapOverlay(dc, {map.get()}, 1.0f, 1.0f, kColourHot);
    EXPECT_TRUE(dc.ops.empty());
}

// Added at another resolution, a map's cells fall where its world geometry puts them, not
// on the base image's pixels: 3 picture pixels per 2 mm put the edge of the first 30 mm
// cell between pixels 44 (centre 29.67 mm) and 45 (30.33 mm).
TEST(MRImageOverlay, OverlaysAddedAtAnyResolutionKeepTheirCellEdges)
{
    auto map = MakeImage(8, 8, 240, 0, 1000, [](int x, int y) { return 1000 * (x + 8 * y) / 63; });
    const int width = 360, height = 6, stride = 400;
    std::vector<uint32_t> picture(static_cast<size_t>(stride) * height, 0xff101010u);
    const TPoint2D origin(-120.0f, -120.0f), step(2.0f / 3.0f, 2.0f / 3.0f);
    TMRImage::AddMapOverlays(picture.data(), width, height, stride, {map.get()}, 0.5f, kColourHot, origin, step);
    for (int x = 0; x < width; ++x) {
        const int column = static_cast<int>((x + 0.5) * 2.0 / 3.0) / 30;
        int hot[3];
        Hot(Grey(1000 * column / 63, 0, 1000), hot);
        const uint32_t c = picture[static_cast<size_t>(2 * stride + x)];
        ASSERT_EQ(c >> 24, 0xffu) << x;
        const int channel[3] = {RedOf(c), GreenOf(c), BlueOf(c)};
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(channel[k], std::min(255, static_cast<int>(hot[k] * 0.5 + 16))) << x << " channel " << k;
    }
    EXPECT_NE(picture[2 * stride + 44], picture[2 * stride + 45]);
    EXPECT_EQ(picture[2 * stride + width], 0xff101010u) << "nothing beyond the width";
}
