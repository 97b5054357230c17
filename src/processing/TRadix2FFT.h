#pragma once
// A complex FFT of a power-of-two length 2^m, 0 <= m <= 15, in place. The forward
// transform divides by the length and the inverse does not scale, so that a forward
// transform followed by an inverse one returns the input. The tables of a length are
// made once, at construction.
//
// Each transform runs m butterfly stages on blocks that halve from stage to stage, the
// twiddle factors taken in bit-reversed order, and ends by putting the bit-reversed
// output into natural order.
#include <complex>
#include <vector>

class TRadix2FFT {
public:
    static constexpr int kMaxLength = 1 << 15;

    // Throws std::runtime_error("cfft: size not power of 2") for a length that is not a
    // power of two or above kMaxLength, and "cfft: out of memory" when the tables cannot
    // be allocated.
    explicit TRadix2FFT(int n);

    int Length() const { return m_nLength; }
    // data holds Length() values.
    void Forward(std::complex<double>* data) const { Transform(data, false); }
    void Inverse(std::complex<double>* data) const { Transform(data, true); }

private:
    void Transform(std::complex<double>* data, bool inverse) const;

    int m_nLength = 1;
    std::vector<int> m_bitReversed;                // index -> its bits reversed
    std::vector<std::complex<double>> m_twiddles;  // n/2 factors, bit-reversed order
};
