#pragma once
// Small helpers every CSI reader shares.
#include <cstdint>

// A header value as a 32-bit integer, truncated toward zero; 0 when it is not finite or
// lies outside the int32 range (the set's check then refuses it where 0 is invalid).
int32_t CheckedFloatToInt(double value);
