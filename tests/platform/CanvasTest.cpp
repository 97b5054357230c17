#include <gtest/gtest.h>

#include "platform/TCanvas.h"
#include "platform/TRecordingCanvas.h"

using namespace vx;

TEST(Canvas, ColoursAreBgrWords)
{
    EXPECT_EQ(MakeColor(255, 0, 0), 0x0000ffu);
    EXPECT_EQ(MakeColor(0, 0, 255), 0xff0000u);
    EXPECT_EQ(RedOf(0x123456), 0x56);
    EXPECT_EQ(GreenOf(0x123456), 0x34);
    EXPECT_EQ(BlueOf(0x123456), 0x12);
}

TEST(Canvas, RecordingKeepsLinesWithPenColourAndTexts)
{
    TRecordingCanvas c;
    TCanvas& canvas = c;
    canvas.SetPen(MakeColor(255, 0, 0));
    canvas.MoveTo(1, 2);
    canvas.LineTo(10, 20);
    canvas.LineTo(30, 40);
    canvas.Text(5, 6, "1.5 PPM", AlignCenter | AlignTop);
    const auto lines = c.OpsOf("line");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].args, (std::vector<int>{1, 2, 10, 20}));
    EXPECT_EQ(lines[1].args, (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(lines[1].color, 0x0000ffu);
    EXPECT_EQ(c.Texts(), std::vector<std::string>{"1.5 PPM"});
    EXPECT_EQ(canvas.TextExtent("abc").cx, 3 * c.charWidth);
}
