#include "processing/SolveNNLS.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// A candidate column is taken only when this share of its new diagonal element still
// changes the norm of its part above the diagonal (it is not nearly dependent on the
// columns already taken).
constexpr double kIndependence = 0.01;

// Solves the triangular system of the columns in the solution for zz (in their order).
void SolveTriangular(const double* a, int mda, int nsetp, const int* index, double* zz)
{
    int jj = 0;
    for (int l = 0; l < nsetp; ++l) {
        const int ip = nsetp - 1 - l;
        if (l != 0)
            for (int ii = 0; ii <= ip; ++ii)
                zz[ii] -= a[ii + size_t(jj) * mda] * zz[ip + 1];
        jj = index[ip];
        zz[ip] /= a[ip + size_t(jj) * mda];
    }
}

}  // namespace

double CopySign(double a, double b)
{
    return b < 0.0 ? -std::fabs(a) : std::fabs(a);
}

void NnlsGivens(double a, double b, double& c, double& s, double& sig)
{
    if (std::fabs(a) > std::fabs(b)) {
        const double xr = b / a;
        const double yr = std::sqrt(1.0 + xr * xr);
        c = CopySign(1.0 / yr, a);
        s = c * xr;
        sig = std::fabs(a) * yr;
    } else if (b != 0.0) {
        const double xr = a / b;
        const double yr = std::sqrt(1.0 + xr * xr);
        s = CopySign(1.0 / yr, b);
        c = s * xr;
        sig = std::fabs(b) * yr;
    } else {
        sig = 0.0;
        c = 0.0;
        s = 1.0;
    }
}

void NnlsHouseholder(int mode, int lpivot, int l1, int m, double* u, int iue, double& up, double* c, int ice,
                     int icv, int ncv)
{
    if (lpivot < 0 || lpivot >= l1 || l1 >= m)
        return;
    const auto at = [&](int i) -> double& { return u[size_t(i) * iue]; };
    double cl = std::fabs(at(lpivot));
    if (mode != 2) {
        for (int j = l1; j < m; ++j)
            cl = std::max(std::fabs(at(j)), cl);
        if (cl <= 0.0)
            return;
        // Scaled by the largest element so that the squares neither overflow nor vanish.
        const double clinv = 1.0 / cl;
        double sm = (at(lpivot) * clinv) * (at(lpivot) * clinv);
        for (int j = l1; j < m; ++j)
            sm += (at(j) * clinv) * (at(j) * clinv);
        cl *= std::sqrt(sm);
        if (at(lpivot) > 0.0)
            cl = -cl;
        up = at(lpivot) - cl;
        at(lpivot) = cl;
    } else if (cl <= 0.0) {
        return;
    }
    if (ncv <= 0)
        return;
    double b = up * at(lpivot);
    // b is not positive; zero means the transformation is the identity.
    if (b >= 0.0)
        return;
    b = 1.0 / b;
    for (int v = 0; v < ncv; ++v) {
        double* vector = c + size_t(v) * icv;
        double& pivot = vector[size_t(lpivot) * ice];
        double sm = pivot * up;
        for (int i = l1; i < m; ++i)
            sm += vector[size_t(i) * ice] * at(i);
        if (sm == 0.0)
            continue;
        sm *= b;
        pivot += sm * up;
        for (int i = l1; i < m; ++i)
            vector[size_t(i) * ice] += sm * at(i);
    }
}

void SolveNNLS(double* a, int mda, int m, int n, double* b, double* x, double& residualNorm, double* w, double* zz,
               int* index, int& mode)
{
    mode = kNNLSSolved;
    if (m <= 0 || n <= 0) {
        mode = kNNLSBadDimensions;
        return;
    }
    const auto col = [&](int j) { return a + size_t(j) * mda; };
    int iter = 0;
    const int itmax = 3 * n;
    for (int i = 0; i < n; ++i) {
        x[i] = 0.0;
        index[i] = i;
    }
    // index[0..iz1-1]: the columns in the solution (set P, in triangularisation order);
    // index[iz1..iz2]: the others (set Z). npp1: the first row below the triangle.
    const int iz2 = n - 1;
    int iz1 = 0, nsetp = 0, npp1 = 0;
    bool limited = false;

    while (!limited && iz1 <= iz2 && nsetp < m) {
        // The dual vector w = A'(b - A x) over set Z.
        for (int iz = iz1; iz <= iz2; ++iz) {
            const int j = index[iz];
            double sm = 0.0;
            for (int l = npp1; l < m; ++l)
                sm += col(j)[l] * b[l];
            w[j] = sm;
        }
        // The column with the largest positive dual value that is independent enough of
        // set P and whose coefficient comes out positive moves to P.
        int iz = -1, j = -1;
        double up = 0.0;
        for (;;) {
            double wmax = 0.0;
            int izmax = -1;
            for (int k = iz1; k <= iz2; ++k)
                if (w[index[k]] > wmax) {
                    wmax = w[index[k]];
                    izmax = k;
                }
            if (izmax < 0)
                break;
            iz = izmax;
            j = index[iz];
            const double asave = col(j)[npp1];
            NnlsHouseholder(1, npp1, npp1 + 1, m, col(j), 1, up, nullptr, 1, 1, 0);
            double unorm = 0.0;
            for (int l = 0; l < nsetp; ++l)
                unorm += col(j)[l] * col(j)[l];
            unorm = std::sqrt(unorm);
            if ((unorm + std::fabs(col(j)[npp1]) * kIndependence) - unorm > 0.0) {
                std::copy(b, b + m, zz);
                NnlsHouseholder(2, npp1, npp1 + 1, m, col(j), 1, up, zz, 1, 1, 1);
                if (zz[npp1] / col(j)[npp1] > 0.0)
                    break;
            }
            col(j)[npp1] = asave;
            w[j] = 0.0;
            iz = j = -1;
        }
        if (j < 0)
            break;

        std::copy(zz, zz + m, b);
        index[iz] = index[iz1];
        index[iz1] = j;
        ++iz1;
        nsetp = npp1 + 1;
        ++npp1;
        for (int jz = iz1; jz <= iz2; ++jz)
            NnlsHouseholder(2, nsetp - 1, npp1, m, col(j), 1, up, col(index[jz]), 1, mda, 1);
        for (int l = npp1; l < m; ++l)
            col(j)[l] = 0.0;
        w[j] = 0.0;
        SolveTriangular(a, mda, nsetp, index, zz);

        // Keep the coefficients of P positive: step from x towards zz as far as they
        // stay so, move the columns whose coefficient reached 0 back to Z, solve again.
        for (;;) {
            if (++iter > itmax) {
                mode = kNNLSIterationLimit;
                std::fputs("\n NNLS quitting on iteration count.\n", stdout);
                std::fflush(stdout);
                limited = true;
                break;
            }
            double alpha = 2.0;
            int jj = -1;
            for (int ip = 0; ip < nsetp; ++ip) {
                const int l = index[ip];
                if (zz[ip] <= 0.0) {
                    const double t = -x[l] / (zz[ip] - x[l]);
                    if (alpha > t) {
                        alpha = t;
                        jj = ip;
                    }
                }
            }
            if (alpha == 2.0)
                break;
            for (int ip = 0; ip < nsetp; ++ip) {
                const int l = index[ip];
                x[l] += alpha * (zz[ip] - x[l]);
            }
            int i = index[jj];
            for (;;) {
                x[i] = 0.0;
                if (jj != nsetp - 1) {
                    for (int p = jj + 1; p < nsetp; ++p) {
                        const int ii = index[p];
                        index[p - 1] = ii;
                        double cc = 0.0, ss = 0.0, sig = 0.0;
                        NnlsGivens(col(ii)[p - 1], col(ii)[p], cc, ss, sig);
                        col(ii)[p - 1] = sig;
                        col(ii)[p] = 0.0;
                        for (int l = 0; l < n; ++l)
                            if (l != ii) {
                                const double t = col(l)[p - 1];
                                col(l)[p - 1] = cc * t + ss * col(l)[p];
                                col(l)[p] = -ss * t + cc * col(l)[p];
                            }
                        const double t = b[p - 1];
                        b[p - 1] = cc * t + ss * b[p];
                        b[p] = -ss * t + cc * b[p];
                    }
                }
                npp1 = nsetp - 1;
                --nsetp;
                --iz1;
                index[iz1] = i;
                // Round-off may leave other coefficients of P at or below 0: they go too.
                jj = -1;
                for (int p = 0; p < nsetp; ++p)
                    if (x[index[p]] <= 0.0) {
                        jj = p;
                        break;
                    }
                if (jj < 0)
                    break;
                i = index[jj];
            }
            std::copy(b, b + m, zz);
            SolveTriangular(a, mda, nsetp, index, zz);
        }
        if (limited)
            break;
        for (int ip = 0; ip < nsetp; ++ip)
            x[index[ip]] = zz[ip];
    }

    double sm = 0.0;
    if (npp1 < m) {
        for (int i = npp1; i < m; ++i)
            sm += b[i] * b[i];
    } else {
        std::fill(w, w + n, 0.0);
    }
    residualNorm = std::sqrt(sm);
}
