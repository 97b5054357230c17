#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <vector>

#include "model/drawing/BitmapHelpers.h"
#include "platform/TFile.h"
#include "support/JpegDecoder.h"
#include "support/TestFiles.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) { return os << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

Rgb Table(int table, int v)
{
    unsigned char r = 0, g = 0, b = 0;
    GreyToRGB(static_cast<unsigned char>(v), table, r, g, b);
    return {r, g, b};
}

// The tables again in integer arithmetic: 2.65625 = 85/32 and 3.984375 = 255/64, and
// integer division of non-negative numbers truncates like the float conversion.
Rgb Reference(int table, int v)
{
    switch (table) {
    case 0: return {v, v, v};
    case 1:
        if (v < 96) return {v * 85 / 32, 0, 0};
        if (v < 192) return {255, (v - 96) * 85 / 32, 0};
        return {255, 255, (v - 192) * 255 / 64};
    case 2: return {v, 255 - v, 255};
    default:
        if (v < 32) return {0, 0, 4 * v + 128};
        if (v < 96) return {0, (v - 32) * 255 / 64, 255};
        if (v < 160) return {(v - 96) * 255 / 64, 255, (255 * 64 - (v - 96) * 255) / 64};
        if (v < 224) return {255, (255 * 64 - (v - 160) * 255) / 64, 0};
        return {255 - 4 * (v - 224), 0, 0};
    }
}

}  // namespace

TEST(ColourTables, EveryGreyLevelMatchesTheIntegerReference)
{
    for (int table = 0; table < 4; ++table)
        for (int v = 0; v < 256; ++v)
            ASSERT_EQ(Table(table, v), Reference(table, v)) << "table " << table << " grey " << v;
}

TEST(ColourTables, EndPointsAndMidPoints)
{
    struct Case {
        int table, grey;
        Rgb expected;
    };
    const Case cases[] = {
        {0, 0, {0, 0, 0}},       {0, 128, {128, 128, 128}}, {0, 255, {255, 255, 255}},
        {1, 0, {0, 0, 0}},       {1, 95, {252, 0, 0}},      {1, 96, {255, 0, 0}},
        {1, 128, {255, 85, 0}},  {1, 191, {255, 252, 0}},   {1, 192, {255, 255, 0}},
        {1, 255, {255, 255, 251}},
        {2, 0, {0, 255, 255}},   {2, 128, {128, 127, 255}}, {2, 255, {255, 0, 255}},
        {3, 0, {0, 0, 128}},     {3, 31, {0, 0, 252}},      {3, 32, {0, 0, 255}},
        {3, 128, {127, 255, 127}}, {3, 160, {255, 255, 0}}, {3, 223, {255, 3, 0}},
        {3, 224, {255, 0, 0}},   {3, 255, {131, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Table(c.table, c.grey), c.expected) << "table " << c.table << " grey " << c.grey;
}

TEST(ColourTables, UnknownTableLeavesTheColourAlone)
{
    for (int table : {-1, 4, 100}) {
        unsigned char r = 7, g = 8, b = 9;
        GreyToRGB(200, table, r, g, b);
        EXPECT_EQ(Rgb(r, g, b), Rgb(7, 8, 9)) << table;
    }
}

TEST(ColourTables, GreyLevelIsClampedAndSafe)
{
    EXPECT_EQ(GreyLevel(0.0, 0.0, 10.0), 0);
    EXPECT_EQ(GreyLevel(5.0, 0.0, 10.0), 127);
    EXPECT_EQ(GreyLevel(10.0, 0.0, 10.0), 255);
    EXPECT_EQ(GreyLevel(-3.0, 0.0, 10.0), 0);
    EXPECT_EQ(GreyLevel(1e30, 0.0, 10.0), 255);
    EXPECT_EQ(GreyLevel(5.0, 10.0, 0.0), 127);  // inverted scale
    EXPECT_EQ(GreyLevel(5.0, 3.0, 3.0), 0);     // empty scale
    EXPECT_EQ(GreyLevel(std::nan(""), 0.0, 10.0), 0);
    EXPECT_EQ(GreyLevel(std::numeric_limits<double>::infinity(), 0.0, 10.0), 255);
}

namespace {

// A 64 x 48 picture: red, green, blue and white quadrants, pixels 0x00rrggbb.
std::vector<uint32_t> Quadrants(int w, int h)
{
    std::vector<uint32_t> pixels(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool right = x >= w / 2, lower = y >= h / 2;
            uint32_t p = !right && !lower ? 0xff0000u : right && !lower ? 0x00ff00u : !right ? 0x0000ffu : 0xffffffu;
            pixels[size_t(y) * w + x] = p;
        }
    return pixels;
}

}  // namespace

TEST(Jpeg, WritesAnRgbPictureThatDecodesToTheSameColours)
{
    vx::test::TTempFolder folder;
    const std::string path = folder.File("plot.jpg");
    const int w = 64, h = 48;
    const auto pixels = Quadrants(w, h);
    ASSERT_TRUE(SaveBitmapAsJPEG(w, h, pixels.data(), path));

    const std::string bytes = vx::test::ReadBytes(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xff);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xd8);
    EXPECT_NE(bytes.find("\xff\xc0", 0, 2), std::string::npos) << "baseline frame expected";

    const vx::test::TDecodedJpeg d = vx::test::DecodeJpeg(path);
    ASSERT_EQ(d.width, w);
    ASSERT_EQ(d.height, h);
    ASSERT_EQ(d.components, 3);
    EXPECT_FALSE(d.progressive);
    EXPECT_TRUE(d.allQuantOnes) << "quality 100 gives quantisation tables of ones";

    // Quadrant interiors (away from the colour edges, where chroma subsampling blurs).
    struct Probe {
        int x, y;
        Rgb expected;
    };
    const Probe probes[] = {{8, 8, {255, 0, 0}}, {56, 8, {0, 255, 0}}, {8, 40, {0, 0, 255}}, {56, 40, {255, 255, 255}}};
    for (const auto& p : probes) {
        const unsigned char* px = &d.rgb[(size_t(p.y) * w + p.x) * 3];
        EXPECT_NEAR(px[0], p.expected.r, 6) << p.x << "," << p.y;
        EXPECT_NEAR(px[1], p.expected.g, 6) << p.x << "," << p.y;
        EXPECT_NEAR(px[2], p.expected.b, 6) << p.x << "," << p.y;
    }
}

TEST(Jpeg, GreyRampKeepsEveryPixelWithinJpegError)
{
    vx::test::TTempFolder folder;
    const std::string path = folder.File("ramp.jpg");
    const int w = 256, h = 8;
    std::vector<uint32_t> pixels(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels[size_t(y) * w + x] = uint32_t(x) << 16 | uint32_t(x) << 8 | uint32_t(x);
    ASSERT_TRUE(SaveBitmapAsJPEG(w, h, pixels.data(), path));
    const vx::test::TDecodedJpeg d = vx::test::DecodeJpeg(path);
    ASSERT_EQ(d.width, w);
    ASSERT_EQ(d.height, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(d.rgb[(size_t(y) * w + x) * 3 + c], x, 3) << x << "," << y;
}

TEST(Jpeg, RefusesPicturesItCannotWriteAndLeavesNoFile)
{
    vx::test::TTempFolder folder;
    const std::string path = folder.File("bad.jpg");
    const std::vector<uint32_t> one(4, 0x123456u);
    EXPECT_FALSE(SaveBitmapAsJPEG(0, 2, one.data(), path));
    EXPECT_FALSE(SaveBitmapAsJPEG(2, -1, one.data(), path));
    EXPECT_FALSE(SaveBitmapAsJPEG(2, 2, nullptr, path));
    EXPECT_FALSE(SaveBitmapAsJPEG(70000, 1, one.data(), path));  // beyond the JPEG limit, before any read
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(SaveBitmapAsJPEG(2, 2, one.data(), folder.File("missing/folder/x.jpg")));
}

TEST(Jpeg, FailedWriteKeepsTheOldFile)
{
    vx::test::TTempFolder folder;
    const std::string path = folder.File("old.jpg");
    vx::test::WriteBytes(path, "previous picture");
    const auto pixels = Quadrants(32, 32);
    vx::TFile::FailWritesAfter(10);
    const bool ok = SaveBitmapAsJPEG(32, 32, pixels.data(), path);
    vx::TFile::FailWritesAfter(-1);
    EXPECT_FALSE(ok);
    EXPECT_EQ(vx::test::ReadBytes(path), "previous picture");
    // Nothing but the old file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        ++files;
    EXPECT_EQ(files, 1);
}
