#pragma once
// Byte order of GE files and the byte reversal of 2- and 4-byte values.
#include <cstdint>

// True when the host stores integers least significant byte first.
bool GEHostIsLittleEndian();

// 1 when numbers of a file in byte order `order` (0 big-endian, 1
// little-endian) must be byte-reversed on this host; any other code gives 0.
int GESwapFlag(int order);

// The host's byte order and whether values read from a file must be reversed.
struct GEByteOrder {
    GEByteOrder();
    int host_little;  // 1 on a little-endian host
    int swap;         // 1 when values read from the file must be byte-reversed
};

// Each returns its argument with the bytes in reverse order when `swap` is
// nonzero and unchanged otherwise. The float form reverses the bit pattern,
// never a converted value.
std::uint16_t GEswap16(std::uint16_t value, const int& swap);
std::int32_t GEswap32(std::int32_t value, const int& swap);
float GEswapfloat(float value, const int& swap);
