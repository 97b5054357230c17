#pragma once
// A call of the HLSVD routine with the work arrays sized as the program sizes them.
#include <algorithm>
#include <complex>
#include <vector>

#include "hlsvd/hlsvdpw.h"
#include "support/SyntheticFID.h"

namespace vx::test {

struct THLSVDResult {
    int found = 0;
    std::vector<double> sigma;
    std::vector<TExpComponent> components;
};

// Calls the routine on the first n samples with K components and the program's work
// array sizes (kmax = K above 100, else 100). zworkScale < 1 shortens the complex work array.
inline THLSVDResult RunRoutine(const std::vector<std::complex<double>>& x, int n, int k, double zworkScale = 1)
{
    const int rows = n / 2, cols = n - n / 2 + 1;
    const int kmax = k > 100 ? k : 100;
    int lrw = (n + 8 * kmax + 13) * kmax + 20 * n;
    int lzw = static_cast<int>(((5 * kmax + 100 + 4 * n) * kmax + 84 * n + 20) * zworkScale);
    std::vector<double> signal;
    for (int t = 0; t < n; ++t) {
        signal.push_back(x[static_cast<size_t>(t)].real());
        signal.push_back(x[static_cast<size_t>(t)].imag());
    }
    THLSVDResult r;
    r.sigma.assign(static_cast<size_t>(rows), 0);
    std::vector<double> a(static_cast<size_t>(k)), ph(a), d(a), f(a);
    std::vector<double> rwork(static_cast<size_t>(lrw));
    std::vector<double> zwork(2 * static_cast<size_t>(lzw));
    hlsvdpw_(signal.data(), &n, &rows, &cols, &k, &r.found, &kmax, r.sigma.data(), a.data(), ph.data(), d.data(),
             f.data(), rwork.data(), &lrw, zwork.data(), &lzw);
    for (int c = 0; c < std::clamp(r.found, 0, k); ++c) {
        const auto i = static_cast<size_t>(c);
        r.components.push_back({a[i], ph[i], d[i], f[i]});
    }
    return r;
}

}  // namespace vx::test
