#pragma once
// The multiplicative updates of one non-negative factorisation X ~ W H in the Frobenius
// norm, on column-major double matrices: X n x p (leading dimension n), W n x k, H k x p.
// Every product goes through dgemm_; the element-wise updates work in place.
//
// One update: W := W .* (X H') ./ (eps + W (H H')), then H := H .* (W' X) ./ (eps + (W' W) H),
// a value that is not >= 0 becoming eps; then every row of H is scaled to sum 1 and the
// column of W by the same sum, which leaves W H as it was.
#include <vector>

class TNMFSolver {
public:
    static constexpr double kEpsilon = 2.220446049250313e-16;

    // x: n x p values, column-major; kept by reference, it must outlive the solver.
    TNMFSolver(const double* x, int n, int p, int k);

    // w: n x k and h: k x p values, column-major. Returns |X - W H| (Frobenius).
    double Start(const double* w, const double* h);
    // One update; returns |X - W H| of the new W and H.
    double Update();

    const std::vector<double>& W() const { return m_w; }
    const std::vector<double>& H() const { return m_h; }

private:
    // |X - W H|^2 from a product of W and H.
    double DirectSquaredError();
    void Normalise();

    const double* m_x;
    int m_n, m_p, m_k;
    double m_xx = 0.0;  // |X|^2
    std::vector<double> m_w, m_h;
    std::vector<double> m_xht, m_whht, m_wtx, m_wtwh;  // n x k, n x k, k x p, k x p
    std::vector<double> m_hht, m_wtw;                  // k x k
    std::vector<double> m_residual;                    // n x p, made when first needed
};
