#include "processing/TRadix2FFT.h"

#include <cmath>
#include <new>
#include <numbers>
#include <stdexcept>
#include <utility>

TRadix2FFT::TRadix2FFT(int n)
{
    if (n < 1 || n > kMaxLength || (n & (n - 1)) != 0)
        throw std::runtime_error("cfft: size not power of 2");
    m_nLength = n;
    try {
        // Doubling: the reversal of i within s entries gives 2i and 2i + 1 within 2s.
        m_bitReversed.assign(static_cast<size_t>(n), 0);
        for (int s = 1; s < n; s *= 2)
            for (int i = 0; i < s; ++i) {
                m_bitReversed[static_cast<size_t>(i)] *= 2;
                m_bitReversed[static_cast<size_t>(i + s)] = m_bitReversed[static_cast<size_t>(i)] + 1;
            }
        const int half = n / 2;
        m_twiddles.resize(static_cast<size_t>(half));
        for (int k = 0; k < half; ++k)
            m_twiddles[static_cast<size_t>(k)] =
                std::polar(1.0, -std::numbers::pi * m_bitReversed[static_cast<size_t>(2 * k)] / half);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("cfft: out of memory");
    }
}

void TRadix2FFT::Transform(std::complex<double>* data, bool inverse) const
{
    const int n = m_nLength;
    const double scale = inverse ? 1.0 : 0.5;
    for (int span = n / 2, blocks = 1; span >= 1; span /= 2, blocks *= 2)
        for (int b = 0; b < blocks; ++b) {
            const std::complex<double> w =
                inverse ? std::conj(m_twiddles[static_cast<size_t>(b)]) : m_twiddles[static_cast<size_t>(b)];
            std::complex<double>* u = data + static_cast<size_t>(2 * b * span);
            std::complex<double>* v = u + span;
            for (int j = 0; j < span; ++j) {
                const std::complex<double> t = w * v[j];
                const std::complex<double> a = u[j];
                u[j] = (a + t) * scale;
                v[j] = (a - t) * scale;
            }
        }
    for (int i = 0; i < n; ++i) {
        const int r = m_bitReversed[static_cast<size_t>(i)];
        if (i < r)
            std::swap(data[i], data[r]);
    }
}
