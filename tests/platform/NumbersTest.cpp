#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/Numbers.h"
#include "support/GermanLocale.h"

using namespace vx;

namespace {
void CheckParsing()
{
    double d = 0;
    EXPECT_TRUE(ParseDouble("12.5", d));
    EXPECT_DOUBLE_EQ(d, 12.5);
    EXPECT_TRUE(ParseDouble("  -1.5e3\r\n", d));
    EXPECT_DOUBLE_EQ(d, -1500.0);
    EXPECT_TRUE(ParseDouble("+2", d));
    EXPECT_DOUBLE_EQ(d, 2.0);
    EXPECT_FALSE(ParseDouble("12,5", d));
    EXPECT_FALSE(ParseDouble("", d));
    EXPECT_FALSE(ParseDouble("1.5x", d));
    EXPECT_DOUBLE_EQ(LeadingDouble("127786142.000000 MHz"), 127786142.0);
    EXPECT_DOUBLE_EQ(LeadingDouble("abc"), 0.0);
    int i = 0;
    EXPECT_TRUE(ParseInt(" 42 ", i));
    EXPECT_EQ(i, 42);
    EXPECT_FALSE(ParseInt("4.2", i));
    EXPECT_FALSE(ParseInt("99999999999", i));
    EXPECT_EQ(LeadingInt("2048 points"), 2048);
    EXPECT_EQ(FormatFixed(1.5, 5), "1.50000");
    EXPECT_EQ(FormatFixed(-0.125, 2), "-0.12");
    EXPECT_EQ(FormatDouble(0.1), "0.1");
    float f = 0;
    EXPECT_TRUE(ParseFloat(" -1.5e3 ", f));
    EXPECT_FLOAT_EQ(f, -1500.0f);
}
}  // namespace

TEST(Numbers, ParseAndFormatInTheCLocale) { CheckParsing(); }

TEST(Numbers, ParseAndFormatIgnoreAGermanLocale)
{
    vx::test::TGermanLocale german;
    if (!german.ok())
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/deps generates it)";
    // The runtime's own conversion is fooled by the locale ...
    EXPECT_DOUBLE_EQ(std::strtod("12.5", nullptr), 12.0);
    // ... ours is not.
    CheckParsing();
}

TEST(Numbers, SignedFormsMatchTheCRuntimesShowSignAndPointForm)
{
    // The C runtime in the "C" locale is the reference: "%+#g" is what a stream with the
    // show-sign and show-point flags writes.
    const double values[] = {0.0, -0.0, 1.5, -0.00123, 1e20, 123456.7, 1e6, 0.0001, 1e-5, -2.5e-7,
                             100000.0, 3.14159265, -1.0 / 3.0, 9.999996, 1e300, 7.0};
    for (double v : values) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%+#g", v);
        EXPECT_EQ(FormatSignedFloat(v), expected) << v;
    }
    EXPECT_EQ(FormatSignedFloat(static_cast<float>(0.1)), "+0.100000");
    EXPECT_EQ(FormatSignedInt(0), "+0");
    EXPECT_EQ(FormatSignedInt(-3), "-3");
    EXPECT_EQ(FormatSignedInt(256), "+256");
}

// Typed numbers become floats only when a float holds them: what lies beyond the largest
// float is refused, never read as 0 or as its leading digits; what lies below its smallest
// reads as 0; the limits the refusals show, and the largest float itself, read.
TEST(Numbers, TypedFloatsAreTakenWholeAndOnlyWithinAFloatsRange)
{
    const struct {
        const char* text;
        bool taken;
        float value;
    } cases[] = {
        {"2.5", true, 2.5f},        {"+7", true, 7.0f},        {"-.5", true, -0.5f},
        {"1e-5", true, 1e-5f},      {" 30 ", true, 30.0f},      {"1e-400", true, 0.0f},
        {"1e400", false, 0},        {"-1e39", false, 0},        {"3.5e38", false, 0},
        {"1e", false, 0},           {"1e4x", false, 0},         {"", false, 0},
        {"-", false, 0},            {".", false, 0},            {"inf", false, 0},
        {"nan", false, 0},          {"0x10", false, 0},         {"1 2", false, 0},
        {"340283000000000000000000000000000000000", false, 0},
        // The limits the refusals show can be typed back.
        {"-3.40282e+38", true, -3.40282e38f}, {"3.40282e+38", true, 3.40282e38f},
        {"99999999999999999999999999999999999999", true, 1e38f},
    };
    for (const auto& c : cases) {
        float value = -99.0f;
        EXPECT_EQ(ParseFloat(c.text, value), c.taken) << c.text;
        EXPECT_FLOAT_EQ(value, c.taken ? c.value : -99.0f) << c.text << ": a refusal changes nothing";
    }
    std::string digits(400, '9');
    float value = 0;
    EXPECT_FALSE(ParseFloat(digits, value));

    // The largest float written out in digits.
    const std::string largest = "340282346638528859811704183484516925440";
    for (const std::string& text : {largest, "-" + largest}) {
        ASSERT_TRUE(ParseFloat(text, value)) << text;
        EXPECT_EQ(std::fabs(value), std::numeric_limits<float>::max());
    }
}

