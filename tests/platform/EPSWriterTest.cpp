#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>

#include "platform/Files.h"
#include "platform/TEPSWriter.h"
#include "support/TestFiles.h"

using namespace vx;
using vx::test::RunShell;
using vx::test::TTempFolder;

namespace {

bool HaveGhostscript() { return RunShell("gs --version").first == 0; }

}  // namespace

TEST(EPSWriter, WritesHeaderDefaultsAndArrayLines)
{
    TTempFolder dir;
    const std::string path = dir.File("plot.eps");
    const float values[4] = {-1.0f, 0.0f, 2.5f, 1.0f};
    const float dx = 0.5f, offset = 2.0f, scale = 3.0f;
    {
        TEPSWriter eps(path, 400, 300);
        eps.PlotArray(values, 1, dx, offset, scale, 0);  // too short: nothing
        eps.PlotArray(values, 4, dx, offset, scale, 0);
        EXPECT_TRUE(eps.Close());
    }
    const std::vector<std::string> lines = vx::test::ReadCrLfLines(path);
    ASSERT_EQ(lines.size(), 17u);
    const std::vector<std::string> head = {"%!PS-Adobe-3.0 EPSF-3.0", "%%Title: " + path, "%%BoundingBox: 0 0 400 300",
                                           "%%Creator: Kolvo version 1.0, Tarnwell"};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), head);
    EXPECT_TRUE(std::regex_match(lines[4], std::regex(R"(%%CreationDate: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d \d{4})")))
        << lines[4];
    const std::vector<std::string> rest = {"%%EndComments", "", "% initialize default parameters", "0 setgray",
                                           "1 setlinewidth", "/Times-Roman findfont 10 scalefont setfont", "",
                                           "% plot a one-dimension array of 4 points", "newpath"};
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.begin() + 14), rest);
    EXPECT_EQ(lines[15], "stroke closepath");
    EXPECT_EQ(lines[16], "showpage");

    // The path line, read back as numbers against the formula.
    std::istringstream path_line(lines[14]);
    std::string x, y, op;
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(path_line >> x >> y >> op);
        EXPECT_EQ(op, i == 0 ? "moveto" : "lineto");
        EXPECT_EQ(std::stod(x), i * 0.5);
        EXPECT_FLOAT_EQ(std::stof(y), (offset + values[i]) * scale);
    }
    EXPECT_FALSE(path_line >> x);
    EXPECT_EQ(lines[14].substr(0, 14), "0 3 moveto 0.5") << "integers and halves as %g writes them";
}

TEST(EPSWriter, SettersWriteOnlyValuesInRange)
{
    struct Case {
        float gray;
        unsigned width;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {1.5f, 11, {"showpage"}},
        {-0.1f, 10, {"10 setlinewidth", "showpage"}},
        {1.0f, 0, {"1 setgray", "0 setlinewidth", "showpage"}},
        {0.25f, 3, {"0.25 setgray", "3 setlinewidth", "showpage"}},
    };
    TTempFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gray);
        const std::string path = dir.File("s.eps");
        TEPSWriter eps(path, 10, 10);
        eps.Comment("mark");
        eps.SetGray(c.gray);
        eps.SetLineWidth(c.width);
        ASSERT_TRUE(eps.Close());
        const std::vector<std::string> lines = vx::test::ReadCrLfLines(path);
        const auto mark = std::find(lines.begin(), lines.end(), "% mark");
        ASSERT_NE(mark, lines.end());
        EXPECT_EQ(std::vector<std::string>(mark + 1, lines.end()), c.lines);
    }
}

TEST(EPSWriter, UnwritablePathLeavesNoFileAndSkipsWrites)
{
    TTempFolder dir;
    const std::string path = dir.File("missing/plot.eps");
    TEPSWriter eps(path, 100, 100);
    EXPECT_TRUE(eps.Failed());
    const float values[2] = {0, 1};
    eps.PlotArray(values, 2, 1, 0, 1, 0);
    EXPECT_FALSE(eps.Close());
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(vx::test::ListedEntries(dir.Path()).empty()) << "no temporary left behind";
}

// Ghostscript reads both the plot and everything the canvas draws, and what it draws
// lies inside the declared bounding box.
TEST(EPSWriter, GhostscriptRendersInsideTheBoundingBox)
{
    ASSERT_TRUE(HaveGhostscript()) << "ghostscript (gs) is missing: run scripts/deps";
    TTempFolder dir;
    const std::string path = dir.File("canvas (1).eps");
    const int w = 200, h = 120;
    {
        TEPSWriter eps(path, w, h);
        std::vector<float> curve(64);
        for (size_t i = 0; i < curve.size(); ++i)
            curve[i] = std::sin(0.2f * i);
        eps.PlotArray(curve.data(), 64, (w - 41) / 64.0f, 1.0f, (h - 30) / 2.0f, 0);
        TCanvas& c = eps;
        c.SetPen(MakeColor(255, 0, 0), 2, PenStyle::Dash);
        c.MoveTo(10, 10);
        c.LineTo(150, 100);
        c.SetBrush(MakeColor(0, 128, 0));
        c.Rectangle(20, 20, 60, 50);
        c.SetNullBrush();
        c.Ellipse(100, 10, 140, 40);
        c.SetClip(0, 0, 100, 60);
        c.FillRect(5, 5, 30, 30, MakeColor(0, 0, 255));
        c.ResetClip();
        c.SetFont(12, true);
        c.SetTextColor(MakeColor(0, 0, 0));
        c.Text(100, 60, "peak (NAA) \\ 2.0", AlignCenter | AlignVCenter);
        const uint32_t pixels[6] = {0xff0000, 0x00ff00, 0x0000ff, 0, 0xffffff, 0x808080};
        c.Blit(150, 80, 30, 20, pixels, 3, 2, 3);
        c.SetPixel(190, 110, MakeColor(1, 2, 3));
        ASSERT_TRUE(eps.Close());
    }
    const auto [rc, out] = RunShell("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=nullpage '" + path + "'");
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;

    const auto [brc, bbox] = RunShell("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=bbox '" + path + "'");
    ASSERT_EQ(brc, 0) << bbox;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(bbox, m, std::regex(R"(%%BoundingBox: (-?\d+) (-?\d+) (-?\d+) (-?\d+))"))) << bbox;
    EXPECT_GE(std::stoi(m[1]), 0);
    EXPECT_GE(std::stoi(m[2]), 0);
    EXPECT_LE(std::stoi(m[3]), w);
    EXPECT_LE(std::stoi(m[4]), h);
    EXPECT_GT(std::stoi(m[3]), w / 2) << "the drawing reaches across the box";
}
