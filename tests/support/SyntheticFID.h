#pragma once
// Synthetic FIDs made of known damped complex exponentials.
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace vx::test {

struct TExpComponent {
    double amplitude;
    double phase;      // radians
    double damping;    // per sample (negative: decaying)
    double frequency;  // cycles per sample
};

// sum_c A_c exp(d_c t) exp(i (2 pi f_c t + phi_c)) for t < n, plus complex Gaussian
// noise of standard deviation `noise` in each part (fixed seed).
inline std::vector<std::complex<double>> SynthesizeFID(const std::vector<TExpComponent>& components, int n,
                                                       double noise = 0, unsigned seed = 7)
{
    std::vector<std::complex<double>> x(static_cast<size_t>(n));
    for (const TExpComponent& c : components)
        for (int t = 0; t < n; ++t)
            x[static_cast<size_t>(t)] +=
                c.amplitude * std::exp(c.damping * t) *
                std::polar(1.0, 2 * std::numbers::pi * c.frequency * t + c.phase);
    if (noise > 0) {
        std::mt19937 engine(seed);
        std::normal_distribution<double> normal(0.0, noise);
        for (auto& v : x)
            v += std::complex<double>(normal(engine), normal(engine));
    }
    return x;
}

}  // namespace vx::test
