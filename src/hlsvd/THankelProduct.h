#pragma once
// Products of a Hankel matrix H[i][j] = x[i + j] and of its adjoint with vectors,
// through FFTs: y = H v is a correlation of x with v, so one transform of v, a
// product with the stored transform of x and one inverse transform give it in
// O(n log n) instead of the O(n^2) of the dense product.
#include <complex>

namespace vx::hlsvd {

using cplx = std::complex<double>;

class THankelProduct {
public:
    // Complex values of work space the object needs for a signal of n samples.
    static long WorkSize(int n);

    // x: the n samples; work: WorkSize(n) values that the object uses until it is gone.
    THankelProduct(const cplx* x, int n, cplx* work);

    // out[i] = sum_{j < lenV} x[i + j] v[j] for i < lenOut; lenOut + lenV - 1 <= n.
    void Apply(const cplx* v, int lenV, cplx* out, int lenOut);
    // out[j] = sum_{i < lenP} conj(x[i + j]) p[i] for j < lenOut (the adjoint of Apply).
    void ApplyAdjoint(const cplx* p, int lenP, cplx* out, int lenOut);

    // FFT length used (the power of two at or above n).
    int Length() const { return m_nf; }

private:
    // In-place radix-2 transform of m_nf values, exp(-2 pi i jk / nf) (unscaled).
    void Forward(cplx* a) const;
    // m_buffer = Forward(conj(X W)), W the transform of v (of conj(v) when `conjugate`)
    // laid out reversed for a correlation.
    void Correlate(const cplx* v, int lenV, bool conjugate);

    int m_n;
    int m_nf;
    cplx* m_x;        // transform of the zero-padded signal
    cplx* m_buffer;   // one padded vector
    cplx* m_twiddle;  // exp(-2 pi i k / nf), k < nf/2
};

}  // namespace vx::hlsvd
