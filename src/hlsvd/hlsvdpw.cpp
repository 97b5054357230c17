#include "hlsvd/hlsvdpw.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "hlsvd/LanczosSVD.h"
#include "hlsvd/TArena.h"
#include "hlsvd/THankelProduct.h"
#include "platform/Lapack.h"

namespace vx::hlsvd {

namespace {

// Singular values below this fraction of the largest count as zero in the least-squares
// solutions (rank-deficient systems get the minimum-norm answer, never huge values).
constexpr double kRcond = 1e-12;
// A pole whose power over the signal grows beyond exp(kMaxGrowth) cannot be fitted.
constexpr double kMaxGrowth = 500.0;
// Poles closer to 0 than this have no finite damping.
constexpr double kMinPole = 1e-30;
// Longest signal taken (the FFT length doubles up to the next power of two).
constexpr int kMaxSamples = 1 << 24;

struct TBuffers {
    cplx* hankel = nullptr;  // THankelProduct::WorkSize
    TLanczosBuffers lanczos;
    cplx* u = nullptr;       // rows x k left singular vectors
    cplx* top = nullptr;     // (rows - 1) x k
    cplx* bottom = nullptr;  // (rows - 1) x k, then Z in its first k rows
    cplx* poles = nullptr;   // k
    cplx* vandermonde = nullptr;  // n x k
    cplx* rhs = nullptr;     // n
    cplx* lsWork = nullptr;  // least squares and eigenvalues
    double* lsSingular = nullptr;
    double* lsReal = nullptr;
};

long LeastSquaresWork(int m, int n) { return 2L * std::min(m, n) + std::max(m, n) + 1; }

// Lays out every buffer of one call in the two work arrays (or only counts, with
// counting arenas).
void TakeBuffers(TArena<cplx>& z, TArena<double>& r, int n, int rows, int cols, int k, int maxSteps,
                 TBuffers& b)
{
    b.hankel = z.Take(THankelProduct::WorkSize(rows + cols - 1));
    TakeLanczosBuffers(z, r, rows, cols, k, maxSteps, b.lanczos);
    b.u = z.Take(static_cast<long>(rows) * k);
    b.top = z.Take(static_cast<long>(rows - 1) * k);
    b.bottom = z.Take(static_cast<long>(rows - 1) * k);
    b.poles = z.Take(k);
    b.vandermonde = z.Take(static_cast<long>(n) * k);
    b.rhs = z.Take(n);
    b.lsWork = z.Take(std::max(LeastSquaresWork(std::max(rows - 1, n), k), 2L * k + 1));
    b.lsSingular = r.Take(k);
    b.lsReal = r.Take(5L * k + 1);
}

// Least squares a x = b (m x n, nrhs columns) through the SVD; false when LAPACK fails.
bool SolveLeastSquares(int m, int n, int nrhs, cplx* a, cplx* rhs, int ldb, const TBuffers& b)
{
    const int lwork = static_cast<int>(LeastSquaresWork(m, n));
    int rank = 0, info = 0;
    zgelss_(&m, &n, &nrhs, a, &m, rhs, &ldb, b.lsSingular, &kRcond, &rank, b.lsWork, &lwork, b.lsReal, &info);
    return info == 0;
}

// The components of x: returns how many were written to the output arrays.
int Decompose(const cplx* x, int n, int rows, int cols, int k, int maxSteps, const TBuffers& b, double* sigma,
              double* amplitudes, double* phases, double* dampings, double* frequencies)
{
    THankelProduct hankel(x, rows + cols - 1, b.hankel);
    const int found = LeadingLeftSingularVectors(hankel, rows, cols, k, maxSteps, b.lanczos, sigma, b.u);
    if (found == 0)
        return 0;

    // Shift invariance: the signal subspace moved down by one sample is the same
    // subspace, U_bottom = U_top Z, and the eigenvalues of Z are the signal poles.
    const int shifted = rows - 1;
    for (long c = 0; c < found; ++c)
        for (long i = 0; i < shifted; ++i) {
            b.top[c * shifted + i] = b.u[c * rows + i];
            b.bottom[c * shifted + i] = b.u[c * rows + i + 1];
        }
    if (!SolveLeastSquares(shifted, found, found, b.top, b.bottom, shifted, b))
        return 0;
    {
        const int lwork = 2 * found + 1, one = 1;
        int info = 0;
        cplx dummy;
        zgeev_("N", "N", &found, b.bottom, &shifted, b.poles, &dummy, &one, &dummy, &one, b.lsWork, &lwork,
               b.lsReal, &info, 1, 1);
        if (info != 0)
            return 0;
    }
    int kept = 0;
    for (int c = 0; c < found; ++c) {
        const cplx z = b.poles[c];
        const double magnitude = std::abs(z);
        if (std::isfinite(magnitude) && magnitude > kMinPole && std::log(magnitude) * (n - 1) < kMaxGrowth)
            b.poles[kept++] = z;
    }
    if (kept == 0)
        return 0;

    // Amplitudes and phases: x[t] = sum_c a_c z_c^t in the least-squares sense.
    for (long c = 0; c < kept; ++c) {
        cplx power = 1.0;
        for (long t = 0; t < n; ++t) {
            b.vandermonde[c * n + t] = power;
            power *= b.poles[c];
        }
    }
    std::copy(x, x + n, b.rhs);
    if (!SolveLeastSquares(n, kept, 1, b.vandermonde, b.rhs, n, b))
        return 0;
    int written = 0;
    for (int c = 0; c < kept; ++c) {
        const cplx a = b.rhs[c], z = b.poles[c];
        const double values[4] = {std::abs(a), std::arg(a), std::log(std::abs(z)),
                                  std::arg(z) / (2 * std::numbers::pi)};
        if (!std::all_of(values, values + 4, [](double v) { return std::isfinite(v); }))
            continue;
        amplitudes[written] = values[0];
        phases[written] = values[1];
        dampings[written] = values[2];
        frequencies[written] = values[3];
        ++written;
    }
    return written;
}

}  // namespace

}  // namespace vx::hlsvd

extern "C" void hlsvdpw_(const double* signal, const int* ndata, const int* nrows, const int* ncols,
                         const int* kuser, int* kfit, const int* kmax, double* sigma, double* amplitudes,
                         double* phases, double* dampings, double* frequencies, double* rwork,
                         const int* lrwork, double* zwork, const int* lzwork)
{
    using namespace vx::hlsvd;
    if (!kfit)
        return;
    *kfit = 0;
    if (!signal || !ndata || !nrows || !ncols || !kuser || !kmax || !sigma || !amplitudes || !phases ||
        !dampings || !frequencies || !rwork || !lrwork || !zwork || !lzwork)
        return;
    const int n = *ndata, rows = *nrows, cols = *ncols, kUser = *kuser;
    if (n > kMaxSamples || rows < 2 || cols < 1 || static_cast<long>(rows) + cols - 1 > n || kUser < 1 ||
        *kmax < kUser)
        return;
    std::fill(sigma, sigma + rows, 0.0);
    for (double* out : {amplitudes, phases, dampings, frequencies})
        std::fill(out, out + kUser, 0.0);

    // The samples come as (real, imaginary) pairs, the layout of std::complex<double>.
    const cplx* x = reinterpret_cast<const cplx*>(signal);
    if (!std::all_of(x, x + n, [](cplx v) { return std::isfinite(v.real()) && std::isfinite(v.imag()); }))
        return;

    // Shift invariance needs one row more than the components sought.
    const int k = std::min({kUser, rows - 1, cols});
    // Lanczos steps: room for k triplets to converge, fewer when the work arrays are
    // short (never fewer than k).
    const int rank = std::min(rows, cols);
    int maxSteps = std::min(rank, k + std::max(k, 30));
    auto fits = [&](int steps) {
        TArena<cplx> z;
        TArena<double> r;
        TBuffers counted;
        TakeBuffers(z, r, n, rows, cols, k, steps, counted);
        return z.Fits(*lzwork) && r.Fits(*lrwork);
    };
    while (maxSteps > k && !fits(maxSteps))
        --maxSteps;
    if (!fits(maxSteps))
        return;
    TArena<cplx> z(reinterpret_cast<cplx*>(zwork), *lzwork);
    TArena<double> r(rwork, *lrwork);
    TBuffers buffers;
    TakeBuffers(z, r, n, rows, cols, k, maxSteps, buffers);
    *kfit = Decompose(x, n, rows, cols, k, maxSteps, buffers, sigma, amplitudes, phases, dampings, frequencies);
}
