#include "hlsvd/LanczosSVD.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/Lapack.h"

namespace vx::hlsvd {

namespace {

// Steps between convergence checks once the first k + kExtraSteps steps are done.
constexpr int kExtraSteps = 10;
// A Lanczos vector shorter than this, relative to the matrix norm seen so far, means
// the matrix has no further range: the bidiagonalisation ends there.
constexpr double kBreakdown = 1e-11;
// A singular triplet counts as converged when its residual is below this times the
// largest singular value.
constexpr double kConverged = 1e-9;

// Removes from v (length len) its components along the first `count` columns of the
// basis (leading dimension len); a second pass when the first cancelled most of v.
// Returns the norm of what is left.
double Reorthogonalise(const cplx* basis, int len, int count, cplx* v, cplx* coeff)
{
    const int one = 1;
    const cplx unit = 1.0, none = -1.0, zero = 0.0;
    double norm = dznrm2_(&len, v, &one);
    for (int pass = 0; pass < 2 && count > 0; ++pass) {
        zgemv_("C", &len, &count, &unit, basis, &len, v, &one, &zero, coeff, &one, 1);
        zgemv_("N", &len, &count, &none, basis, &len, coeff, &one, &unit, v, &one, 1);
        const double after = dznrm2_(&len, v, &one);
        const bool cancelled = after < 0.7071 * norm;
        norm = after;
        if (!cancelled)
            break;
    }
    return norm;
}

// The same start vector for every call, so results never depend on which thread or
// which earlier call ran: a fixed-seed linear congruential sequence.
void StartVector(cplx* q, int len)
{
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    };
    for (int i = 0; i < len; ++i) {
        const double re = next();
        q[i] = cplx(re, next());
    }
}

// Singular values (descending, into d) and left singular vectors (ub, m x m) of the
// m x m upper bidiagonal matrix with diagonal alpha and superdiagonal beta, or with
// `extended` of the m x (m + 1) matrix that has beta[m - 1] in its last column. The
// extended matrix is P_m^H H itself after m steps, so its left vectors are the best the
// m Lanczos vectors hold; rotations of its columns, which leave the left vectors alone,
// chase that last entry up and out and leave an m x m bidiagonal matrix.
bool SolveBidiagonal(int m, bool extended, const TLanczosBuffers& b)
{
    std::copy(b.alpha, b.alpha + m, b.d);
    std::copy(b.beta, b.beta + m, b.e);
    if (extended) {
        double fill = b.beta[m - 1];
        for (int i = m - 1; i >= 0 && fill != 0; --i) {
            const double r = std::hypot(b.d[i], fill);
            const double c = b.d[i] / r, s = fill / r;
            b.d[i] = r;
            if (i > 0) {
                fill = -s * b.e[i - 1];
                b.e[i - 1] *= c;
            }
        }
    }
    std::fill(b.ub, b.ub + static_cast<long>(m) * m, 0.0);
    for (int i = 0; i < m; ++i)
        b.ub[static_cast<long>(i) * m + i] = 1.0;
    const int zero = 0, one = 1;
    int info = 0;
    double dummy = 0;
    dbdsqr_("U", &m, &zero, &m, &zero, b.d, b.e, &dummy, &one, b.ub, &m, &dummy, &one, b.work, &info, 1);
    return info == 0;
}

}  // namespace

void TakeLanczosBuffers(TArena<cplx>& z, TArena<double>& r, int rows, int cols, int k, int maxSteps,
                        TLanczosBuffers& b)
{
    const long steps = maxSteps;
    b.p = z.Take(rows * steps);
    b.q = z.Take(cols * (steps + 1));
    b.coeff = z.Take(steps + 1);
    b.ubc = z.Take(steps * k);
    b.alpha = r.Take(steps);
    b.beta = r.Take(steps);
    b.d = r.Take(steps);
    b.e = r.Take(steps);
    b.ub = r.Take(steps * steps);
    b.work = r.Take(4 * steps);
}

int LeadingLeftSingularVectors(THankelProduct& h, int rows, int cols, int k, int maxSteps,
                               const TLanczosBuffers& b, double* sigma, cplx* u)
{
    cplx* const p = b.p;
    cplx* const q = b.q;
    StartVector(q, cols);
    {
        const int one = 1;
        const double norm = dznrm2_(&cols, q, &one);
        for (int i = 0; i < cols; ++i)
            q[i] /= norm;
    }
    double normEstimate = 0;
    int m = 0;  // completed steps
    int nextCheck = std::min(maxSteps, std::max(2 * k, k + kExtraSteps));
    while (m < maxSteps) {
        const int j = m;
        cplx* pj = p + static_cast<long>(j) * rows;
        cplx* qj = q + static_cast<long>(j) * cols;
        // p_j = H q_j - beta_{j-1} p_{j-1}, made orthogonal to p_0..p_{j-1}.
        h.Apply(qj, cols, pj, rows);
        if (j > 0)
            for (int i = 0; i < rows; ++i)
                pj[i] -= b.beta[j - 1] * pj[i - rows];
        const double alpha = Reorthogonalise(p, rows, j, pj, b.coeff);
        normEstimate = std::max(normEstimate, alpha);
        if (!(alpha > kBreakdown * normEstimate))
            break;  // the range of H is spanned: H Q_{m+1} = P_m [B_m | beta_{m-1} e_m]
        for (int i = 0; i < rows; ++i)
            pj[i] /= alpha;
        b.alpha[j] = alpha;
        // q_{j+1} = H^H p_j - alpha_j q_j, made orthogonal to q_0..q_j.
        cplx* qn = qj + cols;
        h.ApplyAdjoint(pj, rows, qn, cols);
        for (int i = 0; i < cols; ++i)
            qn[i] -= alpha * qj[i];
        const double beta = Reorthogonalise(q, cols, j + 1, qn, b.coeff);
        normEstimate = std::max(normEstimate, std::hypot(alpha, beta));
        m = j + 1;
        if (!(beta > kBreakdown * normEstimate)) {
            b.beta[j] = 0;  // span(Q_m) is invariant: B_m holds every triplet found
            break;
        }
        for (int i = 0; i < cols; ++i)
            qn[i] /= beta;
        b.beta[j] = beta;
        if (m >= nextCheck && m < maxSteps) {
            if (!SolveBidiagonal(m, false, b))
                return 0;
            // Ritz triplet i of B_m has the residual |beta_{m-1}| |last entry of its left vector|.
            bool converged = true;
            for (int i = 0; i < std::min(k, m) && converged; ++i)
                converged = std::abs(beta * b.ub[static_cast<long>(i) * m + m - 1]) <= kConverged * b.d[0];
            if (converged)
                break;
            nextCheck = std::min(maxSteps, m + kExtraSteps);
        }
    }
    if (m == 0 || !SolveBidiagonal(m, true, b))
        return 0;
    for (int i = 0; i < m; ++i)
        sigma[i] = b.d[i];
    int found = std::min(k, m);
    while (found > 0 && !(b.d[found - 1] > kBreakdown * b.d[0]))
        --found;
    if (found == 0)
        return 0;
    // u = P_m * (leading left vectors of the bidiagonal).
    for (long c = 0; c < found; ++c)
        for (long i = 0; i < m; ++i)
            b.ubc[c * m + i] = b.ub[c * m + i];
    const cplx unit = 1.0, zero = 0.0;
    zgemm_("N", "N", &rows, &found, &m, &unit, p, &rows, b.ubc, &m, &zero, u, &rows, 1, 1);
    return found;
}

}  // namespace vx::hlsvd
