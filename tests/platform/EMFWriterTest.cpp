// The metafile writer: the bytes of a small picture against the format's layout packed
// here field by field, a reading by a converter of the format, and refused input.
#include <gtest/gtest.h>

#include <regex>

#include "platform/Files.h"
#include "platform/TEMFWriter.h"
#include "support/Bytes.h"
#include "support/TestFiles.h"

using namespace vx;
using namespace vx::test;

namespace {

// A 5 x 3 picture inside rows of 7 pixels; the two extra pixels of each row and the top
// bytes must not reach the file.
constexpr int kW = 5, kH = 3, kStride = 7;
std::vector<uint32_t> Picture()
{
    std::vector<uint32_t> pixels(kStride * kH, 0xdeadbeef);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            pixels[y * kStride + x] = 0xff000000u | uint32_t(0x10 * y) << 16 | uint32_t(0x20 + x) << 8 | (0x40 + x * y);
    return pixels;
}

std::string Utf16(const std::string& ascii)
{
    std::string out;
    for (char c : ascii)
        out += std::string{c, '\0'};
    return out;
}

}  // namespace

TEST(EMFWriter, SmallPictureHasTheFormatsBytes)
{
    TTempFolder dir;
    const std::string path = dir.File("picture.emf");
    const std::vector<uint32_t> pixels = Picture();
    {
        TEMFWriter emf(path, kW, kH, u"Kolvo Program");
        emf.StretchDIBits(0, 0, kW, kH, pixels.data(), kW, kH, kStride);
        ASSERT_TRUE(emf.Close());
    }
    const std::string bytes = ReadBytes(path);

    // Header: bounds in pixels and frame in 0.01 mm (both inclusive) at 96 dpi, signature,
    // version, total bytes and records, one handle, then the description's length (text,
    // terminator, empty picture name) and offset, no palette, the reference device in
    // pixels and millimetres, no pixel format or OpenGL, the size in micrometres.
    const int32_t fileSize = 140 + 180 + 20;
    std::string header = Int32LE({1, 140, 0, 0, kW - 1, kH - 1, 0, 0, 132 - 1, 79 - 1, 0x464D4520, 0x10000, fileSize, 3}) +
                         Int16LE({1, 0}) +
                         Int32LE({15, 108, 0, kW, kH, 1, 1, 0, 0, 0, 1323, 794}) + Utf16("Kolvo Program") +
                         std::string(4 + 2, '\0');
    // Stretch-DIB: destination bounds and origin, the whole source, bitmap info at 80 (40
    // bytes), the pixels at 120, RGB colours, source copy, destination size; then a
    // bottom-up 32-bit uncompressed bitmap at 96 dpi (3780 pixels a metre).
    std::string stretch = Int32LE({81, 180, 0, 0, kW - 1, kH - 1, 0, 0, 0, 0, kW, kH, 80, 40, 120, 60, 0,
                                   0x00CC0020, kW, kH, 40, kW, kH}) +
                          Int16LE({1, 32}) + Int32LE({0, 60, 3780, 3780, 0, 0});
    for (int y = kH - 1; y >= 0; --y)
        for (int x = 0; x < kW; ++x)
            stretch += Int32LE({static_cast<int32_t>(pixels[y * kStride + x] & 0xffffff)});
    const std::string end = Int32LE({14, 20, 0, 16, 20});
    EXPECT_EQ(bytes, header + stretch + end);

    // A converter of the format reads it and finds the picture.
    if (RunShell("emf2svg-conv --version").first != 0)
        GTEST_SKIP() << "emf2svg-conv is missing (scripts/deps installs it)";
    const std::string svg = dir.File("picture.svg");
    const auto [rc, out] = RunShell("emf2svg-conv -i '" + path + "' -o '" + svg + "'");
    EXPECT_EQ(rc, 0) << out;
    const std::string converted = ReadBytes(svg);
    EXPECT_TRUE(std::regex_search(converted, std::regex(R"(<image width="5(\.0+)?" height="3(\.0+)?")"))) << converted;
}

TEST(EMFWriter, RefusedInputLeavesNoFileAndKeepsAnOldOne)
{
    TTempFolder dir;
    const std::vector<uint32_t> pixels = Picture();
    const std::string old = dir.File("old.emf");
    WriteBytes(old, "previous");
    const struct {
        const char* what;
        std::string path;
        int width, height;  // of the picture
        int srcWidth, srcHeight, stride;
    } cases[] = {
        {"missing folder", dir.File("no/such/p.emf"), kW, kH, kW, kH, kStride},
        {"empty picture", dir.File("a.emf"), 0, kH, kW, kH, kStride},
        {"empty source", dir.File("b.emf"), kW, kH, kW, 0, kStride},
        {"stride shorter than a row", dir.File("c.emf"), kW, kH, kW, kH, kW - 1},
        {"beyond 32-bit sizes", dir.File("d.emf"), kW, kH, 40000, 40000, 40000},
        {"over an old file", old, kW, 0, kW, kH, kStride},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TEMFWriter emf(c.path, c.width, c.height, u"Kolvo Program");
        emf.StretchDIBits(0, 0, kW, kH, pixels.data(), c.srcWidth, c.srcHeight, c.stride);
        EXPECT_FALSE(emf.Close());
        EXPECT_TRUE(emf.Failed());
    }
    const std::vector<TFolderEntry> left = vx::test::ListedEntries(dir.Path(), "*");
    ASSERT_EQ(left.size(), 1u) << "no temporary or partial file";
    EXPECT_EQ(ReadBytes(old), "previous");
}
