#include "gehdr/GEByteOrder.h"

#include <bit>

bool GEHostIsLittleEndian()
{
    return std::endian::native == std::endian::little;
}

int GESwapFlag(int order)
{
    const bool little = GEHostIsLittleEndian();
    return (order == 0 && little) || (order == 1 && !little) ? 1 : 0;
}

GEByteOrder::GEByteOrder() : host_little(GEHostIsLittleEndian() ? 1 : 0), swap(0) {}

std::uint16_t GEswap16(std::uint16_t value, const int& swap)
{
    return swap ? std::uint16_t((value >> 8) | (value << 8)) : value;
}

std::int32_t GEswap32(std::int32_t value, const int& swap)
{
    if (!swap)
        return value;
    const auto u = std::uint32_t(value);
    return std::int32_t((u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24));
}

float GEswapfloat(float value, const int& swap)
{
    if (!swap)
        return value;
    return std::bit_cast<float>(GEswap32(std::bit_cast<std::int32_t>(value), swap));
}
