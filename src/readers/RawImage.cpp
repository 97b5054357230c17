#include "readers/RawImage.h"

std::vector<int16_t> DecodeRawSamples(const unsigned char* data, size_t count, bool bigEndian)
{
    std::vector<int16_t> samples(count);
    for (size_t k = 0; k < count; ++k) {
        const unsigned first = data[2 * k];
        const unsigned second = data[2 * k + 1];
        const unsigned value = bigEndian ? (first << 8) | second : (second << 8) | first;
        samples[k] = static_cast<int16_t>(static_cast<uint16_t>(value));
    }
    return samples;
}
