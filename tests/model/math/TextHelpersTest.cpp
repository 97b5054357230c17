#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "support/GermanLocale.h"
#include "support/TestFiles.h"

namespace {

struct FormatCase {
    float value;
    int decimals;
    const char* text;
};

const FormatCase kFormatCases[] = {
    {0.25f, 2, ".25"},      {-0.5f, 1, "-.5"},      {100.0f, 2, "100"},      {12.3456f, 2, "12.35"},
    {0.0f, 3, "0"},         {0.0f, 0, "0"},         {1.5f, 0, "2"},          {2.5f, 0, "3"},
    {-2.5f, 0, "-3"},       {0.125f, 2, ".13"},     {-0.125f, 2, "-.13"},    {100.0f, 0, "100"},
    {1.0f, 3, "1"},         {10.5f, 3, "10.5"},     {-12.75f, 1, "-12.8"},   {0.001f, 2, "0"},
    {-0.001f, 2, "0"},      {-0.0f, 2, "0"},        {0.995f, 2, "1"},      {9.996f, 2, "10"},
    {99.5f, 0, "100"},      {0.05f, 1, ".1"},       {123456.0f, 1, "123456"}, {0.0625f, 4, ".0625"},
    {0.0625f, 3, ".063"},   {-7.0f, 2, "-7"},       {1e-6f, 6, ".000001"},   {0.1f, 10, ".1000000015"},
    {16777216.0f, 2, "16777216"},
};

void CheckFormatTable()
{
    for (const FormatCase& c : kFormatCases)
        EXPECT_EQ(FloatToString(c.value, c.decimals), c.text) << c.value << " with " << c.decimals;
}

// Independent check of any value: at most `decimals` decimals, no trailing zero or
// point, no 0 before the point, and within half a unit of the last place.
void CheckFormatProperties(float value, int decimals)
{
    const std::string text = FloatToString(value, decimals);
    ASSERT_FALSE(text.empty());
    const size_t point = text.find('.');
    if (point != std::string::npos) {
        EXPECT_LE(text.size() - point - 1, static_cast<size_t>(decimals)) << text;
        EXPECT_NE(text.back(), '0') << text;
        EXPECT_NE(text.back(), '.') << text;
        const std::string before = text.substr(text[0] == '-' ? 1 : 0, point - (text[0] == '-' ? 1 : 0));
        EXPECT_TRUE(before.empty() || before[0] != '0') << text;
    }
    double back = 0;
    std::string parseable = text;
    if (parseable.starts_with("-."))
        parseable.insert(1, "0");
    else if (parseable.starts_with("."))
        parseable.insert(0, "0");
    ASSERT_TRUE(vx::ParseDouble(parseable, back)) << text;
    const double unit = std::pow(10.0, -decimals);
    EXPECT_LE(std::fabs(back - static_cast<double>(value)), 0.5 * unit + 1e-15 * std::fabs(back)) << value << " -> " << text;
}

}  // namespace

TEST(FloatToString, DecimalsRoundingAndTrailingZeros) { CheckFormatTable(); }

TEST(FloatToString, RandomValuesStayWithinHalfAUnit)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> mag(-6.0f, 6.0f);
    std::uniform_int_distribution<int> dec(0, 6);
    for (int k = 0; k < 3000; ++k) {
        const float v = (k % 2 ? -1.0f : 1.0f) * std::pow(10.0f, mag(rng));
        CheckFormatProperties(v, dec(rng));
    }
}

TEST(FloatToString, SpecialValuesAndOddDecimals)
{
    EXPECT_EQ(FloatToString(NAN, 2), "nan");
    EXPECT_EQ(FloatToString(INFINITY, 2), "inf");
    EXPECT_EQ(FloatToString(-INFINITY, 2), "-inf");
    EXPECT_EQ(FloatToString(3.7f, -2), "4");  // negative decimals count as none
    // The exact value of the float nearest 3.4e38 (0.995f lies just above 0.995).
    EXPECT_EQ(FloatToString(3.4e38f, 2), "339999995214436424907732413799364296704");
    EXPECT_EQ(FloatToString(1.4e-45f, 200).size(), 150u);  // the exact smallest float, ".000...0014..."
}

TEST(FloatToString, SameTextUnderAGermanLocale)
{
    vx::test::TGermanLocale german;
    if (!german.ok())
        GTEST_SKIP() << "no German locale installed (scripts/deps generates de_DE.UTF-8)";
    CheckFormatTable();
    EXPECT_EQ(FloatToStringG(1234.5f, 6), "1234.5");
    EXPECT_EQ(FloatToStringG(1.5e-7f, 3), "1.5e-07");
}

TEST(FloatToStringG, SignificantDigitsAndExponentForm)
{
    EXPECT_EQ(FloatToStringG(1234.5f, 6), "1234.5");
    EXPECT_EQ(FloatToStringG(1234.5f, 3), "1.23e+03");
    EXPECT_EQ(FloatToStringG(-0.000125f, 2), "-0.00013");
    EXPECT_EQ(FloatToStringG(1.5e-7f, 3), "1.5e-07");
    EXPECT_EQ(FloatToStringG(1e20f, 6), "1e+20");
    EXPECT_EQ(FloatToStringG(0.0f, 4), "0");
    EXPECT_EQ(FloatToStringG(2.0f, 0), "2");
    double back = 0;
    ASSERT_TRUE(vx::ParseDouble(FloatToStringG(123.456f, 9), back));
    EXPECT_NEAR(back, 123.456, 1e-5);
}

TEST(TextHelpers, OrientationNames)
{
    EXPECT_EQ(OrientationName(0), "Sagittal");
    EXPECT_EQ(OrientationName(1), "Coronal");
    EXPECT_EQ(OrientationName(2), "Axial");
    EXPECT_EQ(OrientationName(3), "Unknown");
    EXPECT_EQ(OrientationName(-1), "Unknown");
}

TEST(TextHelpers, IsNumberAcceptsNumbersAndTheirPrefixes)
{
    for (const char* t : {"-", ".", "-.", "12.5", "-0.25", "0", "12.", ".5", "007"})
        EXPECT_TRUE(IsNumber(t)) << t;
    for (const char* t : {"", "1-2", "1.2.3", "+1", "1e5", " 1", "1 ", "--1", "a", "-.-", "1,5"})
        EXPECT_FALSE(IsNumber(t)) << t;
}

TEST(TextHelpers, PointConversionsRoundTrip)
{
    // Spectrum of 512 points, 2000 Hz wide, 63.87 MHz, 0 ppm at point 300.
    const float bw = 2000.0f, mhz = 63.87f, ref = 300.0f;
    EXPECT_DOUBLE_EQ(IndexToHz(256.0f, bw, 512), 0.0);
    EXPECT_DOUBLE_EQ(IndexToHz(2.0f, 1000.0f, 5), 0.0);  // h = 5 / 2 = 2
    EXPECT_NEAR(IndexToHz(0.0f, bw, 512), 1000.0, 1e-9);   // high frequencies first
    EXPECT_NEAR(IndexToHz(512.0f, bw, 512), -1000.0, 1e-9);
    EXPECT_NEAR(IndexToPPM(ref, bw, mhz, ref, 512), 0.0, 1e-12);
    EXPECT_NEAR(IndexToPPM(ref - 100.0f, bw, mhz, ref, 512), 100.0 * 2000.0 / (512.0 * 63.87), 1e-4);
    EXPECT_NEAR(IndexToMs(250.0f, 1000.0f), 250.0, 1e-9);
    for (float i : {0.0f, 17.25f, 256.0f, 399.5f, 511.0f}) {
        EXPECT_NEAR(HzToIndex(static_cast<float>(IndexToHz(i, bw, 512)), bw, 512), i, 1e-3);
        EXPECT_NEAR(PPMToIndex(static_cast<float>(IndexToPPM(i, bw, mhz, ref, 512)), bw, mhz, ref, 512), i, 1e-3);
        EXPECT_NEAR(MsToIndex(static_cast<float>(IndexToMs(i, bw)), bw), i, 1e-3);
    }
}

TEST(TextHelpers, TokenizeAtBlanks)
{
    EXPECT_EQ(TokenizeString("  a\tb  c "), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(TokenizeString("").empty());
    EXPECT_TRUE(TokenizeString(" \t ").empty());
    EXPECT_EQ(TokenizeString("one"), (std::vector<std::string>{"one"}));
    EXPECT_EQ(TokenizeString("x=1,y"), (std::vector<std::string>{"x=1,y"}));
}

TEST(TextHelpers, SplitAtAnyDelimiterAndClearFirst)
{
    std::vector<std::string> t{"old"};
    SplitString(",,a,b;;c,", t, ",;");
    EXPECT_EQ(t, (std::vector<std::string>{"a", "b", "c"}));
    SplitString("", t, ",");
    EXPECT_TRUE(t.empty());
    SplitString("abc", t, "");
    EXPECT_EQ(t, (std::vector<std::string>{"abc"}));
    SplitString("key = value", t, " =");
    EXPECT_EQ(t, (std::vector<std::string>{"key", "value"}));
}

TEST(TextHelpers, FolderPart)
{
    EXPECT_EQ(GetFolderPart("D:\\data\\set1"), "D:\\data");
    EXPECT_EQ(GetFolderPart("D:set1"), "D");
    EXPECT_EQ(GetFolderPart("set1"), "set1");
    EXPECT_EQ(GetFolderPart("/home/u/p.tpj"), "/home/u");
    EXPECT_EQ(GetFolderPart("C:\\a/b\\c"), "C:\\a/b");
    EXPECT_EQ(GetFolderPart(""), "");
}

TEST(TextHelpers, VaxFloatsAgainstHandPackedWords)
{
    // VAX F words packed by hand: 1.0, -1.0, 3.5, 0, 0.15625 (= 0.625 * 2^-2),
    // and a word with exponent 0 but fraction bits, which is zero on a VAX.
    const unsigned char vax[] = {0x80, 0x40, 0x00, 0x00, 0x80, 0xC0, 0x00, 0x00, 0x60, 0x41, 0x00, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0x20, 0x3F, 0x00, 0x00, 0x12, 0x00, 0x34, 0x56,
                                 0xAA, 0xBB};
    unsigned char buf[sizeof vax];
    std::memcpy(buf, vax, sizeof vax);
    EXPECT_EQ(VaxToIEEEFloats(buf, static_cast<int>(sizeof buf)), 24);
    float f[6];
    std::memcpy(f, buf, 24);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[1], -1.0f);
    EXPECT_EQ(f[2], 3.5f);
    EXPECT_EQ(f[3], 0.0f);
    EXPECT_EQ(f[4], 0.15625f);
    EXPECT_EQ(f[5], 0.0f);
    EXPECT_EQ(buf[24], 0xAA);  // the two bytes past the last whole word stay
    EXPECT_EQ(buf[25], 0xBB);
    EXPECT_EQ(VaxToIEEEFloats(buf, 3), 0);
    EXPECT_EQ(VaxToIEEEFloats(buf, -4), 0);
    EXPECT_EQ(VaxToIEEEFloats(nullptr, 8), 0);
}

TEST(TextHelpers, VaxSmallestExponentBecomesATinyNumberNotNaN)
{
    // Exponent 1, fraction 0: 0.5 * 2^(1 - 128) = 2^-128.
    unsigned char w[] = {0x80, 0x00, 0x00, 0x00, 0x80, 0x80, 0x00, 0x00};
    EXPECT_EQ(VaxToIEEEFloats(w, 8), 8);
    float f[2];
    std::memcpy(f, w, 8);
    EXPECT_EQ(f[0], std::ldexp(1.0f, -128));
    EXPECT_EQ(f[1], -std::ldexp(1.0f, -128));
}

TEST(TextHelpers, ExactReadsAndZeroTerminatedTexts)
{
    vx::test::TTempFolder tmp;
    const std::string path = tmp.File("c.bin");
    {
        vx::TFile f;
        ASSERT_TRUE(f.Open(path, vx::TFile::Mode::Write));
        EXPECT_TRUE(WriteCString(f, "abc"));
        EXPECT_TRUE(WriteCString(f, ""));
        EXPECT_TRUE(WriteCString(f, std::string("x\0y", 3)));
        ASSERT_TRUE(f.Close());
    }
    EXPECT_EQ(vx::test::ReadBytes(path), std::string("abc\0\0xy\0", 8));

    vx::TFile f;
    ASSERT_TRUE(f.Open(path, vx::TFile::Mode::Read));
    EXPECT_EQ(ReadCString(f), "abc");
    EXPECT_EQ(ReadCString(f), "");
    char two[2] = {'-', '-'};
    ASSERT_TRUE(ReadExact(f, two, 2));
    EXPECT_EQ(std::string(two, 2), "xy");
    // One byte left: a read of 4 fails and leaves the buffer as it was.
    char four[4] = {'1', '2', '3', '4'};
    EXPECT_FALSE(ReadExact(f, four, 4));
    EXPECT_EQ(std::string(four, 4), "1234");
    EXPECT_TRUE(ReadExact(f, four, 0));
    EXPECT_TRUE(ReadExact(f, four, 1));
    EXPECT_EQ(four[0], '\0');
    EXPECT_FALSE(ReadExact(f, four, 1));
    EXPECT_EQ(ReadCString(f), "");  // at the end of the file: nothing read
}

TEST(TextHelpers, ReadCStringStopsAtTheEndAndAtTheCap)
{
    vx::test::TTempFolder tmp;
    vx::test::WriteBytes(tmp.File("tail.bin"), "no zero here");
    vx::TFile f;
    ASSERT_TRUE(f.Open(tmp.File("tail.bin"), vx::TFile::Mode::Read));
    EXPECT_EQ(ReadCString(f), "no zero here");

    // A corrupt file without a zero byte for megabytes yields at most the cap.
    vx::test::WriteBytes(tmp.File("long.bin"), std::string(kMaxCStringLength + 1000, 'q'));
    vx::TFile g;
    ASSERT_TRUE(g.Open(tmp.File("long.bin"), vx::TFile::Mode::Read));
    EXPECT_EQ(ReadCString(g).size(), kMaxCStringLength);

    vx::TFile closed;
    char c = 'k';
    EXPECT_FALSE(ReadExact(closed, &c, 1));
    EXPECT_EQ(c, 'k');
    EXPECT_EQ(ReadCString(closed), "");
}

TEST(TextHelpers, WriteCStringReportsAFailedWrite)
{
    vx::test::TTempFolder tmp;
    vx::TFile f;
    ASSERT_TRUE(f.Open(tmp.File("full.bin"), vx::TFile::Mode::Write));
    vx::TFile::FailWritesAfter(2);
    const bool ok = WriteCString(f, "abcdef");
    vx::TFile::FailWritesAfter(-1);
    EXPECT_FALSE(ok);
}
