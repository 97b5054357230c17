#include "hlsvd/THankelProduct.h"

#include <numbers>
#include <utility>

namespace vx::hlsvd {

namespace {

int PowerOfTwoAtLeast(int n)
{
    int nf = 1;
    while (nf < n)
        nf *= 2;
    return nf;
}

}  // namespace

long THankelProduct::WorkSize(int n)
{
    const long nf = PowerOfTwoAtLeast(n);
    return 2 * nf + nf / 2 + 1;
}

THankelProduct::THankelProduct(const cplx* x, int n, cplx* work)
    : m_n(n), m_nf(PowerOfTwoAtLeast(n)), m_x(work), m_buffer(work + m_nf), m_twiddle(work + 2 * m_nf)
{
    for (int k = 0; k < m_nf / 2; ++k)
        m_twiddle[k] = std::polar(1.0, -2.0 * std::numbers::pi * k / m_nf);
    for (int i = 0; i < m_nf; ++i)
        m_x[i] = i < n ? x[i] : cplx(0);
    Forward(m_x);
}

void THankelProduct::Forward(cplx* a) const
{
    const int nf = m_nf;
    for (int i = 1, j = 0; i < nf; ++i) {
        int bit = nf >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    // Butterflies in plain double arithmetic: the operands are finite, so the NaN
    // recovery of std::complex multiplication is not needed.
    double* d = reinterpret_cast<double*>(a);
    const double* tw = reinterpret_cast<const double*>(m_twiddle);
    for (int len = 2; len <= nf; len *= 2) {
        const int half = len / 2;
        const int step = nf / len;
        for (int k = 0; k < half; ++k) {
            const double wr = tw[2 * k * step], wi = tw[2 * k * step + 1];
            for (int s = k; s < nf; s += len) {
                double* u = d + 2 * s;
                double* v = d + 2 * (s + half);
                const double vr = v[0] * wr - v[1] * wi, vi = v[0] * wi + v[1] * wr;
                v[0] = u[0] - vr;
                v[1] = u[1] - vi;
                u[0] += vr;
                u[1] += vi;
            }
        }
    }
}

void THankelProduct::Correlate(const cplx* v, int lenV, bool conjugate)
{
    // With w[k] = v[-k mod nf], the circular convolution (x * w)[i] is
    // sum_j x[(i + j) mod nf] v[j]; i + j < n <= nf, so nothing wraps. The inverse
    // transform is taken as conj(Forward(conj(.))) / nf; the final conjugation and the
    // scaling are left to the caller.
    cplx* b = m_buffer;
    for (int k = 0; k < m_nf; ++k)
        b[k] = 0;
    b[0] = conjugate ? std::conj(v[0]) : v[0];
    for (int j = 1; j < lenV; ++j)
        b[m_nf - j] = conjugate ? std::conj(v[j]) : v[j];
    Forward(b);
    for (int k = 0; k < m_nf; ++k)
        b[k] = std::conj(b[k] * m_x[k]);
    Forward(b);
}

void THankelProduct::Apply(const cplx* v, int lenV, cplx* out, int lenOut)
{
    Correlate(v, lenV, false);
    const double scale = 1.0 / m_nf;
    for (int i = 0; i < lenOut; ++i)
        out[i] = std::conj(m_buffer[i]) * scale;
}

void THankelProduct::ApplyAdjoint(const cplx* p, int lenP, cplx* out, int lenOut)
{
    // sum_i conj(x[i + j]) p[i] = conj(sum_i x[i + j] conj(p[i])), and H^T has the same
    // Hankel form as H: correlate with conj(p) and skip the final conjugation.
    Correlate(p, lenP, true);
    const double scale = 1.0 / m_nf;
    for (int j = 0; j < lenOut; ++j)
        out[j] = m_buffer[j] * scale;
}

}  // namespace vx::hlsvd
