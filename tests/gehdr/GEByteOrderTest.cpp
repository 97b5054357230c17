#include <gtest/gtest.h>

#include "gehdr/GEByteOrder.h"

#include <bit>
#include <cstring>

namespace {

std::array<unsigned char, 4> BytesOf(std::uint32_t word)
{
    std::array<unsigned char, 4> b{};
    std::memcpy(b.data(), &word, 4);
    return b;
}

}  // namespace

TEST(GEByteOrder, SwapsReverseTheBytesOnlyWhenFlagged)
{
    EXPECT_EQ(GEswap16(0x1234, 1), 0x3412);
    EXPECT_EQ(GEswap16(0x1234, 0), 0x1234);
    EXPECT_EQ(GEswap16(0x00FF, 7), 0xFF00);  // any nonzero flag swaps

    const unsigned char in[4] = {0x11, 0x22, 0x33, 0x44};
    std::int32_t value;
    std::memcpy(&value, in, 4);
    const auto swapped = BytesOf(std::uint32_t(GEswap32(value, 1)));
    EXPECT_EQ(swapped, (std::array<unsigned char, 4>{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(GEswap32(value, 0), value);
    EXPECT_EQ(GEswap32(GEswap32(-123456789, 1), 1), -123456789);
}

TEST(GEByteOrder, FloatSwapReversesTheBitPatternNotTheValue)
{
    const unsigned char in[4] = {0x00, 0x00, 0x80, 0x3F};
    float value;
    std::memcpy(&value, in, 4);
    const auto swapped = BytesOf(std::bit_cast<std::uint32_t>(GEswapfloat(value, 1)));
    EXPECT_EQ(swapped, (std::array<unsigned char, 4>{0x3F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(GEswapfloat(value, 0)), std::bit_cast<std::uint32_t>(value));
}

TEST(GEByteOrder, SwapFlagFollowsTheHost)
{
    const std::uint32_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    const bool little = first == 1;
    EXPECT_EQ(GEHostIsLittleEndian(), little);
    EXPECT_EQ(GESwapFlag(0), little ? 1 : 0);
    EXPECT_EQ(GESwapFlag(1), little ? 0 : 1);
    EXPECT_EQ(GESwapFlag(2), 0);
    EXPECT_EQ(GESwapFlag(-1), 0);
    const GEByteOrder order;
    EXPECT_EQ(order.host_little, little ? 1 : 0);
    EXPECT_EQ(order.swap, 0);
}
