#include "processing/TNMFSolver.h"

#include <algorithm>
#include <cmath>

#include "platform/Lapack.h"

namespace {

// Below this share of |X|^2 the squared error is summed over X - W H itself: the
// cheaper expansion |X|^2 - 2 <W'X, H> + <W'W, H H'> keeps its terms to some 1e-14 of
// |X|^2, too coarse for errors smaller than this.
constexpr double kExpansionLimit = 1e-4;

// c := alpha op(a) op(b) + beta c, column-major, c m x n with inner dimension k.
void Gemm(const char* ta, const char* tb, int m, int n, int k, double alpha, const double* a, int lda,
          const double* b, int ldb, double beta, double* c, int ldc)
{
    dgemm_(ta, tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc, 1, 1);
}

// v := v .* numerator ./ (eps + denominator); a value that is not >= 0 becomes eps.
void MultiplicativeStep(std::vector<double>& v, const std::vector<double>& numerator,
                        const std::vector<double>& denominator)
{
    for (size_t i = 0; i < v.size(); ++i) {
        const double next = v[i] * numerator[i] / (TNMFSolver::kEpsilon + denominator[i]);
        v[i] = next >= 0.0 ? next : TNMFSolver::kEpsilon;
    }
}

double Dot(const std::vector<double>& a, const std::vector<double>& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += a[i] * b[i];
    return sum;
}

}  // namespace

TNMFSolver::TNMFSolver(const double* x, int n, int p, int k)
    : m_x(x),
      m_n(n),
      m_p(p),
      m_k(k),
      m_w(size_t(n) * k),
      m_h(size_t(k) * p),
      m_xht(size_t(n) * k),
      m_whht(size_t(n) * k),
      m_wtx(size_t(k) * p),
      m_wtwh(size_t(k) * p),
      m_hht(size_t(k) * k),
      m_wtw(size_t(k) * k)
{
    for (size_t i = 0; i < size_t(n) * p; ++i)
        m_xx += x[i] * x[i];
}

double TNMFSolver::Start(const double* w, const double* h)
{
    std::copy(w, w + m_w.size(), m_w.begin());
    std::copy(h, h + m_h.size(), m_h.begin());
    return std::sqrt(DirectSquaredError());
}

double TNMFSolver::Update()
{
    const int n = m_n, p = m_p, k = m_k;
    Gemm("N", "T", k, k, p, 1.0, m_h.data(), k, m_h.data(), k, 0.0, m_hht.data(), k);
    Gemm("N", "T", n, k, p, 1.0, m_x, n, m_h.data(), k, 0.0, m_xht.data(), n);
    Gemm("N", "N", n, k, k, 1.0, m_w.data(), n, m_hht.data(), k, 0.0, m_whht.data(), n);
    MultiplicativeStep(m_w, m_xht, m_whht);

    Gemm("T", "N", k, p, n, 1.0, m_w.data(), n, m_x, n, 0.0, m_wtx.data(), k);
    Gemm("T", "N", k, k, n, 1.0, m_w.data(), n, m_w.data(), n, 0.0, m_wtw.data(), k);
    Gemm("N", "N", k, p, k, 1.0, m_wtw.data(), k, m_h.data(), k, 0.0, m_wtwh.data(), k);
    MultiplicativeStep(m_h, m_wtx, m_wtwh);

    // |X - W H|^2 = |X|^2 - 2 <W'X, H> + <W'W, H H'>, from the products at hand.
    Gemm("N", "T", k, k, p, 1.0, m_h.data(), k, m_h.data(), k, 0.0, m_hht.data(), k);
    double squared = m_xx - 2.0 * Dot(m_wtx, m_h) + Dot(m_wtw, m_hht);
    Normalise();
    if (!(squared >= kExpansionLimit * m_xx))
        squared = DirectSquaredError();
    return std::sqrt(std::max(squared, 0.0));
}

void TNMFSolver::Normalise()
{
    for (int c = 0; c < m_k; ++c) {
        double sum = 0.0;
        for (int j = 0; j < m_p; ++j)
            sum += m_h[c + size_t(j) * m_k];
        if (!std::isfinite(sum))
            continue;
        // A component whose row died (all zero) has nothing to divide; its column goes to 0.
        if (sum != 0.0)
            for (int j = 0; j < m_p; ++j)
                m_h[c + size_t(j) * m_k] /= sum;
        for (int i = 0; i < m_n; ++i)
            m_w[i + size_t(c) * m_n] *= sum;
    }
}

double TNMFSolver::DirectSquaredError()
{
    m_residual.assign(m_x, m_x + size_t(m_n) * m_p);
    Gemm("N", "N", m_n, m_p, m_k, -1.0, m_w.data(), m_n, m_h.data(), m_k, 1.0, m_residual.data(), m_n);
    double sum = 0.0;
    for (double r : m_residual)
        sum += r * r;
    return sum;
}
