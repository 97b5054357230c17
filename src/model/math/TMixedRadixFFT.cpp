#include "model/math/TMixedRadixFFT.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <type_traits>

#include "platform/Report.h"

// The pass loops run over consecutive groups so that they vectorise; on x86-64 they are
// also compiled for AVX-512 (32 vector registers hold a radix-8 group of eight lanes)
// and for AVX2, and an object runs the widest copy the processor has. The passes run
// in arrays that start on a cache line (all but a last one that writes the caller's
// output), so that their vectors of eight lanes do not straddle two lines, which costs
// two accesses each time. The file is compiled without contraction into fused
// multiply-adds (src/CMakeLists.txt), so that every copy rounds each product and sum on
// its own and all copies give the same bits.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VX_FFT_HAS_COPIES 1
#else
#define VX_FFT_HAS_COPIES 0
#endif

namespace {

#define VX_INLINE inline __attribute__((always_inline))
// A lambda inside a pass function is a function of its own, compiled without the
// copy's instruction set unless it is inlined into it.
#define VX_INLINE_LAMBDA __attribute__((always_inline))

// Up to eight consecutive groups are transformed at once as one vector of doubles
// per value; the compiler maps it onto the processor's vector registers. Twiddles
// are stored in blocks of eight groups, so a pass reads them as one stream.
constexpr size_t kLanes = 8;
// (An alias template would drop the vector attribute; member typedefs keep it.)
// TVecOf<W>::unaligned reads and writes the arrays' doubles in place.
template <size_t W>
struct TVecOf {
    typedef double type __attribute__((vector_size(W * sizeof(double))));
    typedef double unaligned __attribute__((vector_size(W * sizeof(double)), aligned(alignof(double)), may_alias));
};
template <size_t W>
using TVec = typename TVecOf<W>::type;
static_assert(sizeof(TVec<4>) == 4 * sizeof(double));

template <typename T>
VX_INLINE void Load(T& v, const double* p)
{
    if constexpr (std::is_same_v<T, double>)
        v = *p;
    else
        v = *reinterpret_cast<const typename TVecOf<sizeof(T) / sizeof(double)>::unaligned*>(p);
}

template <typename T>
VX_INLINE void Store(double* p, const T& v)
{
    if constexpr (std::is_same_v<T, double>)
        *p = v;
    else
        *reinterpret_cast<typename TVecOf<sizeof(T) / sizeof(double)>::unaligned*>(p) = v;
}

// Index of the twiddle of value k (1 .. radix-1) of group g in a pass's table.
VX_INLINE size_t TwiddleIndex(size_t g, int k, int radix)
{
    return ((g / kLanes) * static_cast<size_t>(radix - 1) + static_cast<size_t>(k - 1)) * kLanes + g % kLanes;
}

// ---- Radix butterflies on one group of values (already multiplied by twiddles) ----
// Forward sign: y[j] = sum_k x[k] exp(-2 pi i jk/r). T is double or TLanes.

template <typename T>
VX_INLINE void Butterfly2(T* xr, T* xi)
{
    const T r = xr[0] - xr[1], i = xi[0] - xi[1];
    xr[0] += xr[1];
    xi[0] += xi[1];
    xr[1] = r;
    xi[1] = i;
}

template <typename T>
VX_INLINE void Butterfly3(T* xr, T* xi)
{
    constexpr double s = 0.86602540378443864676;  // sin(2 pi / 3)
    const T tr = xr[1] + xr[2], ti = xi[1] + xi[2];
    const T dr = xr[1] - xr[2], di = xi[1] - xi[2];
    const T mr = xr[0] - 0.5 * tr, mi = xi[0] - 0.5 * ti;
    xr[0] += tr;
    xi[0] += ti;
    xr[1] = mr + s * di;
    xi[1] = mi - s * dr;
    xr[2] = mr - s * di;
    xi[2] = mi + s * dr;
}

// Radix4 on values x[0], x[s], x[2s], x[3s].
template <typename T>
VX_INLINE void Radix4(T* xr, T* xi, int s = 1)
{
    const T ar = xr[0] + xr[2 * s], ai = xi[0] + xi[2 * s];
    const T br = xr[0] - xr[2 * s], bi = xi[0] - xi[2 * s];
    const T cr = xr[s] + xr[3 * s], ci = xi[s] + xi[3 * s];
    const T dr = xr[s] - xr[3 * s], di = xi[s] - xi[3 * s];
    xr[0] = ar + cr;
    xi[0] = ai + ci;
    xr[2 * s] = ar - cr;
    xi[2 * s] = ai - ci;
    xr[s] = br + di;  // b - i d
    xi[s] = bi - dr;
    xr[3 * s] = br - di;  // b + i d
    xi[3 * s] = bi + dr;
}

// Five points. With t1 = x1 + x4 and t2 = x2 + x3, the cosine parts x0 + c1 t1 + c2 t2
// and x0 + c2 t1 + c1 t2 are x0 - (t1 + t2)/4 +/- h (t1 - t2), since c1 + c2 = -1/2:
// two products where the plain sums take four.
template <typename T>
VX_INLINE void Radix5(T* xr, T* xi)
{
    constexpr double h = 0.55901699437494742410;   // (cos(2 pi / 5) - cos(4 pi / 5)) / 2
    constexpr double s1 = 0.95105651629515357212;  // sin(2 pi / 5)
    constexpr double s2 = 0.58778525229247312917;  // sin(4 pi / 5)
    const T t1r = xr[1] + xr[4], t1i = xi[1] + xi[4];
    const T t2r = xr[2] + xr[3], t2i = xi[2] + xi[3];
    const T t3r = xr[1] - xr[4], t3i = xi[1] - xi[4];
    const T t4r = xr[2] - xr[3], t4i = xi[2] - xi[3];
    const T sr = t1r + t2r, si = t1i + t2i;
    const T mr = xr[0] - 0.25 * sr, mi = xi[0] - 0.25 * si;
    const T dr = h * (t1r - t2r), di = h * (t1i - t2i);
    const T a1r = mr + dr, a1i = mi + di;  // x0 + c1 t1 + c2 t2
    const T a2r = mr - dr, a2i = mi - di;  // x0 + c2 t1 + c1 t2
    const T b1r = s1 * t3r + s2 * t4r, b1i = s1 * t3i + s2 * t4i;
    const T b2r = s2 * t3r - s1 * t4r, b2i = s2 * t3i - s1 * t4i;
    xr[0] += sr;
    xi[0] += si;
    xr[1] = a1r + b1i;  // a1 - i b1
    xi[1] = a1i - b1r;
    xr[4] = a1r - b1i;
    xi[4] = a1i + b1r;
    xr[2] = a2r + b2i;  // a2 - i b2
    xi[2] = a2i - b2r;
    xr[3] = a2r - b2i;
    xi[3] = a2i + b2r;
}

// Eight points as two radix-4 transforms of the even and odd values, joined by
// the eighth roots of unity.
template <typename T>
VX_INLINE void Radix8(T* xr, T* xi)
{
    constexpr double h = 0.70710678118654752440;  // sqrt(2) / 2
    Radix4(xr, xi, 2);
    Radix4(xr + 1, xi + 1, 2);
    // The odd transform's outputs O[j] sit at x[2j + 1]; O[j] is multiplied by exp(-2 pi i j / 8).
    const T o1r = h * (xr[3] + xi[3]), o1i = h * (xi[3] - xr[3]);
    const T o2r = xi[5], o2i = -xr[5];
    const T o3r = h * (xi[7] - xr[7]), o3i = -h * (xr[7] + xi[7]);
    const T e0r = xr[0], e0i = xi[0], o0r = xr[1], o0i = xi[1];
    const T e1r = xr[2], e1i = xi[2], e2r = xr[4], e2i = xi[4], e3r = xr[6], e3i = xi[6];
    xr[0] = e0r + o0r;
    xi[0] = e0i + o0i;
    xr[4] = e0r - o0r;
    xi[4] = e0i - o0i;
    xr[1] = e1r + o1r;
    xi[1] = e1i + o1i;
    xr[5] = e1r - o1r;
    xi[5] = e1i - o1i;
    xr[2] = e2r + o2r;
    xi[2] = e2i + o2i;
    xr[6] = e2r - o2r;
    xi[6] = e2i - o2i;
    xr[3] = e3r + o3r;
    xi[3] = e3i + o3i;
    xr[7] = e3r - o3r;
    xi[7] = e3i - o3i;
}

// Ten points as 2 x 5 by the prime-factor mapping (2 and 5 share no factor), which
// needs no twiddles between the two: input (5 a + 2 b) mod 10 is value b of 5-point
// transform a, and output (5 c + 6 d) mod 10 is value d of the first transform plus
// (c = 0) or minus (c = 1) value d of the second.
template <typename T>
VX_INLINE void Radix10(T* xr, T* xi)
{
    constexpr int kIn[2][5] = {{0, 2, 4, 6, 8}, {5, 7, 9, 1, 3}};
    constexpr int kOut[5] = {0, 6, 2, 8, 4};
    T er[5], ei[5], orr[5], oi[5];
    for (int b = 0; b < 5; ++b) {
        er[b] = xr[kIn[0][b]];
        ei[b] = xi[kIn[0][b]];
        orr[b] = xr[kIn[1][b]];
        oi[b] = xi[kIn[1][b]];
    }
    Radix5(er, ei);
    Radix5(orr, oi);
    for (int d = 0; d < 5; ++d) {
        xr[kOut[d]] = er[d] + orr[d];
        xi[kOut[d]] = ei[d] + oi[d];
        xr[(kOut[d] + 5) % 10] = er[d] - orr[d];
        xi[(kOut[d] + 5) % 10] = ei[d] - oi[d];
    }
}

// x * exp(-2 pi i m/16) for m = 1 .. 9, with the products the root needs: none for
// m = 4 (-i), two for m = 2 and 6 ((1 - i) and (-1 - i) times sqrt(2)/2), four else.
template <int M, typename T>
VX_INLINE void Rotate16(T& r, T& i)
{
    constexpr double c = 0.92387953251128675613;  // cos(pi / 8)
    constexpr double s = 0.38268343236508977173;  // sin(pi / 8)
    constexpr double h = 0.70710678118654752440;  // sqrt(2) / 2
    const T a = r, b = i;
    if constexpr (M == 1) {
        r = c * a + s * b;
        i = c * b - s * a;
    } else if constexpr (M == 2) {
        r = h * (a + b);
        i = h * (b - a);
    } else if constexpr (M == 3) {
        r = s * a + c * b;
        i = s * b - c * a;
    } else if constexpr (M == 4) {
        r = b;
        i = -a;
    } else if constexpr (M == 6) {
        r = h * (b - a);
        i = -h * (a + b);
    } else {
        static_assert(M == 9);
        r = -(c * a + s * b);
        i = s * a - c * b;
    }
}

// Sixteen points as 4 x 4: radix-4 transforms of the values j, j + 4, j + 8, j + 12,
// each output k1 of transform j turned by exp(-2 pi i j k1/16), then radix-4
// transforms across j, whose output k2 is value k1 + 4 k2.
template <typename T>
VX_INLINE void Radix16(T* xr, T* xi)
{
    for (int j = 0; j < 4; ++j)
        Radix4(xr + j, xi + j, 4);
    // Value j + 4 k1 is output k1 of transform j.
    Rotate16<1>(xr[5], xi[5]);
    Rotate16<2>(xr[9], xi[9]);
    Rotate16<3>(xr[13], xi[13]);
    Rotate16<2>(xr[6], xi[6]);
    Rotate16<4>(xr[10], xi[10]);
    Rotate16<6>(xr[14], xi[14]);
    Rotate16<3>(xr[7], xi[7]);
    Rotate16<6>(xr[11], xi[11]);
    Rotate16<9>(xr[15], xi[15]);
    for (int k1 = 0; k1 < 4; ++k1)
        Radix4(xr + 4 * k1, xi + 4 * k1, 1);
    // Output k2 of transform k1 sits at 4 k1 + k2 and is value k1 + 4 k2.
    T yr[16], yi[16];
    for (int k1 = 0; k1 < 4; ++k1)
        for (int k2 = 0; k2 < 4; ++k2) {
            yr[k1 + 4 * k2] = xr[4 * k1 + k2];
            yi[k1 + 4 * k2] = xi[4 * k1 + k2];
        }
    for (int k = 0; k < 16; ++k) {
        xr[k] = yr[k];
        xi[k] = yi[k];
    }
}

template <int R, typename T>
VX_INLINE void Butterfly(T* xr, T* xi)
{
    if constexpr (R == 2)
        Butterfly2(xr, xi);
    else if constexpr (R == 3)
        Butterfly3(xr, xi);
    else if constexpr (R == 4)
        Radix4(xr, xi);
    else if constexpr (R == 5)
        Radix5(xr, xi);
    else if constexpr (R == 8)
        Radix8(xr, xi);
    else if constexpr (R == 16)
        Radix16(xr, xi);
    else
        Radix10(xr, xi);
}

// General odd prime p: pairs k and p - k share cosines and have opposite sines, so
// y[j] = x0 + sum_k cos(2 pi jk/p)(x[k] + x[p-k]) -/+ i sum_k sin(2 pi jk/p)(x[k] - x[p-k]).
// cosTab and sinTab hold cos(2 pi k/p) and -sin(2 pi k/p).
template <typename T>
VX_INLINE void OddPrimePlain(T* xr, T* xi, int p, const double* cosTab, const double* sinTab)
{
    constexpr int kMax = TMixedRadixFFT::maxPrimeFactor;
    const int half = (p - 1) / 2;
    T ar[kMax / 2 + 1], ai[kMax / 2 + 1], br[kMax / 2 + 1], bi[kMax / 2 + 1];
    T sumR = xr[0], sumI = xi[0];
    for (int k = 1; k <= half; ++k) {
        ar[k] = xr[k] + xr[p - k];
        ai[k] = xi[k] + xi[p - k];
        br[k] = xr[k] - xr[p - k];
        bi[k] = xi[k] - xi[p - k];
        sumR += ar[k];
        sumI += ai[k];
    }
    for (int j = 1; j <= half; ++j) {
        T cr = xr[0], ci = xi[0], sr{}, si{};
        int jk = 0;
        for (int k = 1; k <= half; ++k) {
            jk += j;
            if (jk >= p)
                jk -= p;
            cr += cosTab[jk] * ar[k];
            ci += cosTab[jk] * ai[k];
            sr += sinTab[jk] * br[k];
            si += sinTab[jk] * bi[k];
        }
        // (sr, si) is -S, so y[j] = C - i S and y[p-j] = C + i S.
        xr[j] = cr - si;
        xi[j] = ci + sr;
        xr[p - j] = cr + si;
        xi[p - j] = ci - sr;
    }
    xr[0] = sumR;
    xi[0] = sumI;
}

// One group (or W consecutive groups for T = TVec<W>) of a pass: the values g,
// g + s, ... of (sr, si), each multiplied by its twiddle, then transformed into the
// same places of (dr, di), which may be the source. tr, ti point at the twiddle of
// value 1; the twiddles of value k follow kLanes apart. R = 0 stands for the odd prime p.
template <int R, typename T>
VX_INLINE void TwiddleGroup(const double* sr, const double* si, double* dr, double* di, size_t s, const double* tr,
                            const double* ti, int p, const double* cosTab, const double* sinTab)
{
    constexpr int kSize = R > 0 ? R : TMixedRadixFFT::maxPrimeFactor;
    const int radix = R > 0 ? R : p;
    T xr[kSize], xi[kSize];
    Load(xr[0], sr);
    Load(xi[0], si);
    for (int k = 1; k < radix; ++k) {
        T vr, vi, wr, wi;
        Load(vr, sr + k * s);
        Load(vi, si + k * s);
        Load(wr, tr + (k - 1) * kLanes);
        Load(wi, ti + (k - 1) * kLanes);
        xr[k] = vr * wr - vi * wi;
        xi[k] = vr * wi + vi * wr;
    }
    if constexpr (R > 0)
        Butterfly<R>(xr, xi);
    else
        OddPrimePlain(xr, xi, p, cosTab, sinTab);
    for (int k = 0; k < radix; ++k) {
        Store(dr + k * s, xr[k]);
        Store(di + k * s, xi[k]);
    }
}

// Calls group(g, width) over the groups 0 .. s-1 with vectors of eight (with eights),
// then four, then one two and one single group. The width changes no result: every
// lane computes alone.
template <size_t MaxWidth, typename F>
VX_INLINE void ForGroups(size_t s, bool eights, F&& group)
{
    size_t g = 0;
    if constexpr (MaxWidth >= 8)
        if (eights)
            for (; g + 8 <= s; g += 8)
                group(g, std::integral_constant<size_t, 8>());
    for (; g + 4 <= s; g += 4)
        group(g, std::integral_constant<size_t, 4>());
    if (g + 2 <= s) {
        group(g, std::integral_constant<size_t, 2>());
        g += 2;
    }
    if (g < s)
        group(g, std::integral_constant<size_t, 1>());
}

template <size_t W>
using TLane = std::conditional_t<W == 1, double, TVec<W>>;

template <typename T>
VX_INLINE double Lane(const T& v, size_t l)
{
    if constexpr (std::is_same_v<T, double>)
        return v;
    else
        return v[l];
}

// out[l] = lane l of v[0], v[1], v[2], v[3].
VX_INLINE void Transpose4(const TVec<4>* v, TVec<4>* out)
{
    const TVec<4> t0 = __builtin_shufflevector(v[0], v[1], 0, 4, 2, 6);  // v0[0] v1[0] v0[2] v1[2]
    const TVec<4> t1 = __builtin_shufflevector(v[0], v[1], 1, 5, 3, 7);  // v0[1] v1[1] v0[3] v1[3]
    const TVec<4> t2 = __builtin_shufflevector(v[2], v[3], 0, 4, 2, 6);
    const TVec<4> t3 = __builtin_shufflevector(v[2], v[3], 1, 5, 3, 7);
    out[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    out[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    out[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    out[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// out[l] = lane l of v[0], ..., v[7]: pairs, then pairs of pairs, then halves swapped.
VX_INLINE void Transpose8(const TVec<8>* v, TVec<8>* out)
{
    TVec<8> t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = __builtin_shufflevector(v[i], v[i + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        t[i + 1] = __builtin_shufflevector(v[i], v[i + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int i = 0; i < 8; i += 4)
        for (int j = 0; j < 2; ++j) {
            u[i + j] = __builtin_shufflevector(t[i + j], t[i + j + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[i + j + 2] = __builtin_shufflevector(t[i + j], t[i + j + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    for (int j = 0; j < 4; ++j) {
        out[j] = __builtin_shufflevector(u[j], u[j + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        out[j + 4] = __builtin_shufflevector(u[j], u[j + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// Runs body(sr, si, dr, di) with the source and destination arrays; in place with one
// pair of pointers for both, so that the pass loops hold half as many in registers.
template <typename F>
VX_INLINE void InPlaceOrNot(const double* reIn, const double* imIn, double* re, double* im, F&& body)
{
    if (reIn == re && imIn == im)
        body(re, im, re, im);
    else
        body(reIn, imIn, re, im);
}

// One pass after the first, from (reIn, imIn) to the same places of (re, im), which
// may be the same arrays: in every block of sofar * radix values, group g takes the
// values g, g + sofar, ..., multiplies value k by the twiddle
// exp(-2 pi i gk/(sofar radix)) and transforms them. R = 0 stands for the odd prime p.
template <int R>
VX_INLINE void RadixPass(const double* reIn, const double* imIn, double* re, double* im, int sofar, int remain,
                         bool wide, const double* twr, const double* twi, int p, const double* cosTab,
                         const double* sinTab)
{
    const int radix = R > 0 ? R : p;
    const size_t s = static_cast<size_t>(sofar);
    const size_t block = s * static_cast<size_t>(radix);
    // When the values of a group lie a multiple of 2 KiB apart they share a few cache
    // sets and evict each other between two groups of four, so there groups of eight
    // use whole cache lines at once; with wide (a processor whose 32 vector registers
    // hold them) groups of eight are taken wherever they fit.
    const bool eights = s % 256 == 0 || (wide && s % 8 == 0);
    InPlaceOrNot(reIn, imIn, re, im, [&](const double* sr, const double* si, double* dr, double* di) VX_INLINE_LAMBDA {
        for (int b = 0; b < remain; ++b) {
            const size_t at = static_cast<size_t>(b) * block;
            ForGroups<(R > 0 ? 8 : 4)>(s, eights, [&](size_t g, auto width) VX_INLINE_LAMBDA {
                const size_t t = TwiddleIndex(g, 1, radix);
                TwiddleGroup<R, TLane<decltype(width)::value>>(sr + at + g, si + at + g, dr + at + g, di + at + g, s,
                                                               twr + t, twi + t, p, cosTab, sinTab);
            });
        }
    });
}

// The first pass fused with the digit-reversed copy. Block b of the first radix R
// takes the inputs src + k * (n / R), k = 0 .. R-1, where src is the block's first
// source index; blocks are visited in the order of src, so W consecutive sources
// are read as vectors and each lane's R results are written to its own block.
// sign -1 conjugates the input (for the inverse transform).
template <int R, size_t W>
VX_INLINE void FirstGroup(const double* reIn, const double* imIn, double* re, double* im, size_t src,
                          size_t stride, const int* blockOf, double sign, int p, const double* cosTab,
                          const double* sinTab)
{
    using T = TLane<W>;
    constexpr int kSize = R > 0 ? R : TMixedRadixFFT::maxPrimeFactor;
    const int radix = R > 0 ? R : p;
    T xr[kSize], xi[kSize];
    Load(xr[0], reIn + src);
    Load(xi[0], imIn + src);
    xi[0] = xi[0] * sign;
    for (int k = 1; k < radix; ++k) {
        Load(xr[k], reIn + src + static_cast<size_t>(k) * stride);
        Load(xi[k], imIn + src + static_cast<size_t>(k) * stride);
        xi[k] = xi[k] * sign;
    }
    if constexpr (R > 0)
        Butterfly<R>(xr, xi);
    else
        OddPrimePlain(xr, xi, p, cosTab, sinTab);
    if constexpr ((W == 4 || W == 8) && R > 0 && R % W == 0) {
        // W values of W lanes at a time: a W x W transpose turns them into each lane's W
        // consecutive outputs, stored as one vector.
        for (int k = 0; k < R; k += static_cast<int>(W)) {
            TVec<W> r[W], i[W];
            if constexpr (W == 4) {
                Transpose4(xr + k, r);
                Transpose4(xi + k, i);
            } else {
                Transpose8(xr + k, r);
                Transpose8(xi + k, i);
            }
            for (size_t l = 0; l < W; ++l) {
                const size_t at = static_cast<size_t>(blockOf[src + l]) * R + static_cast<size_t>(k);
                Store(re + at, r[l]);
                Store(im + at, i[l]);
            }
        }
    } else {
        for (size_t l = 0; l < W; ++l) {
            const size_t at = static_cast<size_t>(blockOf[src + l]) * static_cast<size_t>(radix);
            for (int k = 0; k < radix; ++k) {
                re[at + static_cast<size_t>(k)] = Lane(xr[k], l);
                im[at + static_cast<size_t>(k)] = Lane(xi[k], l);
            }
        }
    }
}

// With wide, a radix that is a multiple of 8 takes groups of eight, whose results
// are stored as whole vectors of eight.
template <int R>
VX_INLINE void FirstPass(const double* reIn, const double* imIn, double* re, double* im, int remain, bool wide,
                         const int* blockOf, double sign, int p, const double* cosTab, const double* sinTab)
{
    const size_t stride = static_cast<size_t>(remain);
    constexpr bool kEights = R > 0 && R % 8 == 0;
    ForGroups<(kEights ? 8 : 4)>(stride, kEights && wide, [&](size_t src, auto width) VX_INLINE_LAMBDA {
        FirstGroup<R, decltype(width)::value>(reIn, imIn, re, im, src, stride, blockOf, sign, p, cosTab, sinTab);
    });
}

struct TPassArgs {
    int radix, sofar, remain;
    bool wide;  // groups of eight wherever they fit (the AVX-512 copy)
    const double *twr, *twi, *cosTab, *sinTab;
};

// Calls pass(std::integral_constant<int, R>()) with R the radix that has its own
// butterfly, or R = 0 (the general odd prime, which also copies for a length of 1).
template <typename F>
VX_INLINE void ForRadix(int radix, F&& pass)
{
    switch (radix) {
    case 2: pass(std::integral_constant<int, 2>()); break;
    case 3: pass(std::integral_constant<int, 3>()); break;
    case 4: pass(std::integral_constant<int, 4>()); break;
    case 5: pass(std::integral_constant<int, 5>()); break;
    case 8: pass(std::integral_constant<int, 8>()); break;
    case 10: pass(std::integral_constant<int, 10>()); break;
    case 16: pass(std::integral_constant<int, 16>()); break;
    default: pass(std::integral_constant<int, 0>()); break;
    }
}

// ---- Batches: kBatch transforms interleaved, value j of transform b at j * kBatch + b ----
// Every value is a vector of the kBatch transforms' values (four doubles, one AVX2
// register; wider vectors spill), so the passes are those of a single transform
// taken one group at a time, with every twiddle shared by the lanes.
constexpr size_t kBatchSize = TMixedRadixFFT::kBatch;
using TBatch = TVec<kBatchSize>;

template <int R>
VX_INLINE void BatchFirstPass(const double* reIn, const double* imIn, double* re, double* im, int remain,
                              const int* blockOf, double sign, int p, const double* cosTab, const double* sinTab)
{
    constexpr int kSize = R > 0 ? R : TMixedRadixFFT::maxPrimeFactor;
    const int radix = R > 0 ? R : p;
    const size_t stride = static_cast<size_t>(remain);
    for (size_t src = 0; src < stride; ++src) {
        TBatch xr[kSize], xi[kSize];
        for (int k = 0; k < radix; ++k) {
            Load(xr[k], reIn + (src + static_cast<size_t>(k) * stride) * kBatchSize);
            Load(xi[k], imIn + (src + static_cast<size_t>(k) * stride) * kBatchSize);
            xi[k] = xi[k] * sign;
        }
        if constexpr (R > 0)
            Butterfly<R>(xr, xi);
        else
            OddPrimePlain(xr, xi, p, cosTab, sinTab);
        const size_t at = static_cast<size_t>(blockOf[src]) * static_cast<size_t>(radix);
        for (int k = 0; k < radix; ++k) {
            Store(re + (at + static_cast<size_t>(k)) * kBatchSize, xr[k]);
            Store(im + (at + static_cast<size_t>(k)) * kBatchSize, xi[k]);
        }
    }
}

template <int R>
VX_INLINE void BatchPass(const double* reIn, const double* imIn, double* re, double* im, int sofar, int remain,
                         const double* twr, const double* twi, int p, const double* cosTab, const double* sinTab)
{
    constexpr int kSize = R > 0 ? R : TMixedRadixFFT::maxPrimeFactor;
    const int radix = R > 0 ? R : p;
    const size_t s = static_cast<size_t>(sofar);
    const size_t block = s * static_cast<size_t>(radix);
    InPlaceOrNot(reIn, imIn, re, im, [&](const double* sr, const double* si, double* dr, double* di) VX_INLINE_LAMBDA {
        for (int b = 0; b < remain; ++b)
            for (size_t g = 0; g < s; ++g) {
                const size_t at = (static_cast<size_t>(b) * block + g) * kBatchSize;
                TBatch xr[kSize], xi[kSize];
                Load(xr[0], sr + at);
                Load(xi[0], si + at);
                for (int k = 1; k < radix; ++k) {
                    TBatch vr, vi;
                    Load(vr, sr + at + static_cast<size_t>(k) * s * kBatchSize);
                    Load(vi, si + at + static_cast<size_t>(k) * s * kBatchSize);
                    const size_t t = TwiddleIndex(g, k, radix);
                    xr[k] = vr * twr[t] - vi * twi[t];
                    xi[k] = vr * twi[t] + vi * twr[t];
                }
                if constexpr (R > 0)
                    Butterfly<R>(xr, xi);
                else
                    OddPrimePlain(xr, xi, p, cosTab, sinTab);
                for (int k = 0; k < radix; ++k) {
                    Store(dr + at + static_cast<size_t>(k) * s * kBatchSize, xr[k]);
                    Store(di + at + static_cast<size_t>(k) * s * kBatchSize, xi[k]);
                }
            }
    });
}

// One pass over a single transform or, with batch, over kBatch interleaved ones.
VX_INLINE void FirstPassOf(const double* reIn, const double* imIn, double* re, double* im, const TPassArgs& a,
                           const int* blockOf, double sign, bool batch)
{
    ForRadix(a.radix, [&](auto r) VX_INLINE_LAMBDA {
        if (batch)
            BatchFirstPass<r.value>(reIn, imIn, re, im, a.remain, blockOf, sign, a.radix, a.cosTab, a.sinTab);
        else
            FirstPass<r.value>(reIn, imIn, re, im, a.remain, a.wide, blockOf, sign, a.radix, a.cosTab, a.sinTab);
    });
}

VX_INLINE void PassOf(const double* reIn, const double* imIn, double* re, double* im, const TPassArgs& a, bool batch)
{
    ForRadix(a.radix, [&](auto r) VX_INLINE_LAMBDA {
        if (batch)
            BatchPass<r.value>(reIn, imIn, re, im, a.sofar, a.remain, a.twr, a.twi, a.radix, a.cosTab, a.sinTab);
        else
            RadixPass<r.value>(reIn, imIn, re, im, a.sofar, a.remain, a.wide, a.twr, a.twi, a.radix, a.cosTab,
                               a.sinTab);
    });
}

// reOut = re * reScale, imOut = im * imScale for `values` values (which may be in place):
// the passes' results written to the output, with the inverse's scales.
VX_INLINE void CopyOutOf(const double* re, const double* im, double* reOut, double* imOut, size_t values,
                         double reScale, double imScale)
{
    size_t j = 0;
    for (; j + kLanes <= values; j += kLanes) {
        TVec<kLanes> r, i;
        Load(r, re + j);
        Load(i, im + j);
        Store(reOut + j, r * reScale);
        Store(imOut + j, i * imScale);
    }
    for (; j < values; ++j) {
        reOut[j] = re[j] * reScale;
        imOut[j] = im[j] * imScale;
    }
}

// The pass functions compiled for one instruction set.
struct TPassCopy {
    void (*firstPass)(const double*, const double*, double*, double*, const TPassArgs&, const int*, double, bool);
    void (*pass)(const double*, const double*, double*, double*, const TPassArgs&, bool);
    void (*copyOut)(const double*, const double*, double*, double*, size_t, double, double);
};

// Name##FirstPass, Name##Pass and Name##CopyOut compiled with the attributes Target, as
// k##Name##Copy.
#define VX_FFT_COPY(Name, Target)                                                                   \
    Target void Name##FirstPass(const double* reIn, const double* imIn, double* re, double* im,    \
                                const TPassArgs& a, const int* blockOf, double sign, bool batch)   \
    {                                                                                               \
        FirstPassOf(reIn, imIn, re, im, a, blockOf, sign, batch);                                   \
    }                                                                                               \
    Target void Name##Pass(const double* reIn, const double* imIn, double* re, double* im,         \
                           const TPassArgs& a, bool batch)                                          \
    {                                                                                               \
        PassOf(reIn, imIn, re, im, a, batch);                                                       \
    }                                                                                               \
    Target void Name##CopyOut(const double* re, const double* im, double* reOut, double* imOut,    \
                              size_t values, double reScale, double imScale)                       \
    {                                                                                               \
        CopyOutOf(re, im, reOut, imOut, values, reScale, imScale);                                  \
    }                                                                                               \
    constexpr TPassCopy k##Name##Copy{Name##FirstPass, Name##Pass, Name##CopyOut};

VX_FFT_COPY(Plain, )
#if VX_FFT_HAS_COPIES
VX_FFT_COPY(AVX2, __attribute__((target("avx2"))))
VX_FFT_COPY(AVX512, __attribute__((target("arch=x86-64-v4"))))
#endif
#undef VX_FFT_COPY

const TPassCopy& PassCopy(TMixedRadixFFT::TInstructionSet set)
{
#if VX_FFT_HAS_COPIES
    if (set == TMixedRadixFFT::TInstructionSet::AVX512)
        return kAVX512Copy;
    if (set == TMixedRadixFFT::TInstructionSet::AVX2)
        return kAVX2Copy;
#endif
    (void)set;
    return kPlainCopy;
}

// re = cos(2 pi m/n) and im = -sin(2 pi m/n) for 0 <= m < n, the factors of every
// table. They are computed in extended precision and rounded once, because the math
// library's double cosine and sine run other code on processors with fused
// multiply-add and differ from it in the last bit now and then, which would change the
// tables, and so every transform, by processor. The extended ones run the same code
// everywhere.
static_assert(std::numeric_limits<long double>::digits >= 64, "the tables need extended precision");
void RootOfUnity(long long m, long long n, double& re, double& im)
{
    const long double angle = 2 * std::numbers::pi_v<long double> * static_cast<long double>(m) / n;
    re = static_cast<double>(std::cos(angle));
    im = static_cast<double>(-std::sin(angle));
}

// True when [a, a + n) and [b, b + n) share an element.
bool Overlap(const double* a, const double* b, size_t n)
{
    std::less<const double*> less;
    return less(a, b + n) && less(b, a + n);
}

}  // namespace

std::vector<int> TMixedRadixFFT::Factorize(int n)
{
    std::vector<int> factors;
    if (n < 1)
        return factors;
    if (n == 1)
        return {1};
    // The usual spectrum lengths take the order of passes measured fastest. A first
    // pass (which also puts the values in order) whose radix is a multiple of 4 stores
    // its results as whole vectors, and later passes whose groups come in eights run
    // eight at a time; the longest lengths go over their values in fewest passes.
    switch (n) {
    case 256: return {8, 8, 4};
    case 1000: return {8, 5, 5, 5};
    case 1024: return {16, 8, 8};
    case 2048: return {8, 8, 4, 8};
    case 4096: return {16, 16, 16};
    default: break;
    }
    int rest = n;
    for (int radix : {10, 8, 5, 4, 3, 2}) {
        while (rest > 1 && rest % radix == 0) {
            factors.push_back(radix);
            rest /= radix;
        }
    }
    // A last 2 after an 8 makes two 4s: a radix-4 pass is cheaper than radix 2.
    if (!factors.empty() && factors.back() == 2) {
        for (size_t i = factors.size() - 1; i-- > 0;)
            if (factors[i] == 8) {
                factors[i] = 4;
                factors.back() = 4;
                break;
            }
    }
    if (rest > 1) {
        for (int j = 2; j <= static_cast<int>(std::sqrt(static_cast<double>(rest))) + 1; ++j)
            while (rest % j == 0) {
                factors.push_back(j);
                rest /= j;
            }
        if (rest > 1)
            factors.push_back(rest);
    }
    std::reverse(factors.begin(), factors.end());
    return factors;
}

bool TMixedRadixFFT::IsFFTLength(int n)
{
    const std::vector<int> f = Factorize(n);
    return !f.empty() && f.front() <= maxPrimeFactor;
}

bool TMixedRadixFFT::CheckFFTLength(int n)
{
    if (IsFFTLength(n))
        return true;
    vx::Report(kPrimeFactorTooLarge, vx::ReportIcon::Error);
    return false;
}

bool TMixedRadixFFT::CanRun(TInstructionSet set)
{
#if VX_FFT_HAS_COPIES
    // The AVX-512 copy may use every instruction of that level (FMA, BMI2...), so the
    // whole level is asked for.
    static const bool avx512 = __builtin_cpu_supports("x86-64-v4");
    static const bool avx2 = __builtin_cpu_supports("avx2");
    switch (set) {
    case TInstructionSet::Plain: return true;
    case TInstructionSet::AVX2: return avx2;
    case TInstructionSet::AVX512: return avx512;
    }
    return false;
#else
    return set == TInstructionSet::Plain;
#endif
}

TMixedRadixFFT::TInstructionSet TMixedRadixFFT::WidestInstructionSet()
{
    for (TInstructionSet set : {TInstructionSet::AVX512, TInstructionSet::AVX2})
        if (CanRun(set))
            return set;
    return TInstructionSet::Plain;
}

bool TMixedRadixFFT::UseInstructionSet(TInstructionSet set)
{
    if (!CanRun(set))
        return false;
    m_instructionSet = set;
    return true;
}

bool TMixedRadixFFT::SetupTables(int n)
{
    if (n == m_n && n > 0)
        return true;
    const std::vector<int> factors = Factorize(n);
    if (factors.empty() || factors.front() > maxPrimeFactor)
        return false;

    m_passes.clear();
    m_twiddleRe.clear();
    m_twiddleIm.clear();
    m_trigCos.clear();
    m_trigSin.clear();
    int sofar = 1;
    for (int radix : factors) {
        TPass pass{radix, sofar, n / (sofar * radix), m_twiddleRe.size(), m_trigCos.size()};
        // Twiddles exp(-2 pi i gk/(sofar radix)) for k = 1 .. radix-1, g = 0 .. sofar-1,
        // in blocks of kLanes groups (the last block padded).
        const long long span = static_cast<long long>(sofar) * radix;
        const size_t groups = (static_cast<size_t>(sofar) + kLanes - 1) / kLanes * kLanes;
        const size_t size = groups * static_cast<size_t>(radix - 1);
        m_twiddleRe.resize(pass.twiddle + size, 1.0);
        m_twiddleIm.resize(pass.twiddle + size, 0.0);
        for (int k = 1; k < radix; ++k)
            for (int g = 0; g < sofar; ++g) {
                const size_t at = pass.twiddle + TwiddleIndex(static_cast<size_t>(g), k, radix);
                RootOfUnity(static_cast<long long>(g) * k, span, m_twiddleRe[at], m_twiddleIm[at]);
            }
        if (radix > 5 && radix != 8 && radix != 10 && radix != 16)
            for (int k = 0; k < radix; ++k)
                RootOfUnity(k, radix, m_trigCos.emplace_back(), m_trigSin.emplace_back());
        m_passes.push_back(pass);
        sofar *= radix;
    }

    // Mixed-radix digit reversal: output j = d0 + f0 (d1 + f1 (d2 + ...)) takes input
    // sum_i d_i * remain_i, remain_i being n over the factors up to and including i.
    // The first pass reads its blocks in source order, so only the block of each
    // first source index (d0 = 0) is kept.
    const size_t count = factors.size();
    std::vector<int> digit(count, 0), remain(count);
    int product = 1;
    for (size_t i = 0; i < count; ++i) {
        product *= factors[i];
        remain[i] = n / product;
    }
    m_blockOf.assign(static_cast<size_t>(n / factors[0]), 0);
    int source = 0;
    for (int block = 0; block < n / factors[0]; ++block) {
        m_blockOf[static_cast<size_t>(source)] = block;
        for (size_t i = 1; i < count; ++i) {
            source += remain[i];
            if (++digit[i] < factors[i])
                break;
            source -= factors[i] * remain[i];
            digit[i] = 0;
        }
    }
    m_n = n;
    return true;
}

void TMixedRadixFFT::Transform(const double* reIn, const double* imIn, double* reOut, double* imOut,
                               bool inverse, bool batch)
{
    const int n = m_n;
    const size_t values = static_cast<size_t>(n) * (batch ? kBatch : 1);
    // The passes run in the output when it starts on a cache line and lies apart from the
    // input. Else they run in arrays of their own that do, and the last pass writes the
    // output, in groups of four (a vector of eight off a cache line straddles two at every
    // store, one of four at every other); a single pass's results are copied.
    auto onLine = [](const double* p) { return reinterpret_cast<uintptr_t>(p) % kAlignment == 0; };
    const bool inOutput = onLine(reOut) && onLine(imOut) && !Overlap(reIn, reOut, values) &&
                          !Overlap(reIn, imOut, values) && !Overlap(imIn, reOut, values) &&
                          !Overlap(imIn, imOut, values);
    double* re = reOut;
    double* im = imOut;
    if (!inOutput) {
        m_passRe.resize(values);
        m_passIm.resize(values);
        re = m_passRe.data();
        im = m_passIm.data();
    }
    // The inverse is the conjugate of the forward transform of the conjugate, / n.
    const double sign = inverse ? -1.0 : 1.0;
    const TPassCopy& copy = PassCopy(m_instructionSet);
    for (size_t i = 0; i < m_passes.size(); ++i) {
        const TPass& pass = m_passes[i];
        const bool toOutput = re != reOut && i > 0 && i + 1 == m_passes.size();
        const TPassArgs args{pass.radix,
                             pass.sofar,
                             pass.remain,
                             m_instructionSet == TInstructionSet::AVX512 && !toOutput,
                             m_twiddleRe.data() + pass.twiddle,
                             m_twiddleIm.data() + pass.twiddle,
                             m_trigCos.data() + pass.trig,
                             m_trigSin.data() + pass.trig};
        if (i == 0) {
            copy.firstPass(reIn, imIn, re, im, args, m_blockOf.data(), sign, batch);
        } else if (toOutput) {
            copy.pass(re, im, reOut, imOut, args, batch);
            re = reOut;
            im = imOut;
        } else {
            copy.pass(re, im, re, im, args, batch);
        }
    }
    // The inverse's results are scaled, a single pass's copied (times 1).
    if (inverse)
        copy.copyOut(re, im, reOut, imOut, values, 1.0 / n, -1.0 / n);
    else if (re != reOut)
        copy.copyOut(re, im, reOut, imOut, values, 1.0, 1.0);
}

bool TMixedRadixFFT::Run(int n, const double* reIn, const double* imIn, double* reOut, double* imOut, bool inverse,
                         bool batch)
{
    if (!reIn || !imIn || !reOut || !imOut || !SetupTables(n))
        return false;
    Transform(reIn, imIn, reOut, imOut, inverse, batch);
    return true;
}

bool TMixedRadixFFT::Forward(int n, const double* reIn, const double* imIn, double* reOut, double* imOut)
{
    return Run(n, reIn, imIn, reOut, imOut, false);
}

bool TMixedRadixFFT::Inverse(int n, const double* reIn, const double* imIn, double* reOut, double* imOut)
{
    return Run(n, reIn, imIn, reOut, imOut, true);
}

bool TMixedRadixFFT::ForwardBatch(int n, const double* reIn, const double* imIn, double* reOut, double* imOut)
{
    return Run(n, reIn, imIn, reOut, imOut, false, true);
}

bool TMixedRadixFFT::InverseBatch(int n, const double* reIn, const double* imIn, double* reOut, double* imOut)
{
    return Run(n, reIn, imIn, reOut, imOut, true, true);
}

template <typename T>
bool TMixedRadixFFT::ComplexWrapper(T* data, int n, bool inverse)
{
    if (!data || !SetupTables(n))
        return false;
    const size_t count = static_cast<size_t>(n);
    for (auto& w : m_work)
        w.resize(count);
    float* f = reinterpret_cast<float*>(data);
    for (size_t j = 0; j < count; ++j) {
        m_work[0][j] = f[2 * j];
        m_work[1][j] = f[2 * j + 1];
    }
    Transform(m_work[0].data(), m_work[1].data(), m_work[2].data(), m_work[3].data(), inverse);
    for (size_t j = 0; j < count; ++j) {
        f[2 * j] = static_cast<float>(m_work[2][j]);
        f[2 * j + 1] = static_cast<float>(m_work[3][j]);
    }
    return true;
}

bool TMixedRadixFFT::ForwardComplex(float* data, int n) { return ComplexWrapper(data, n, false); }
bool TMixedRadixFFT::InverseComplex(float* data, int n) { return ComplexWrapper(data, n, true); }
bool TMixedRadixFFT::ForwardComplex(std::complex<float>* data, int n) { return ComplexWrapper(data, n, false); }
bool TMixedRadixFFT::InverseComplex(std::complex<float>* data, int n) { return ComplexWrapper(data, n, true); }
