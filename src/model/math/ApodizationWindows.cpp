#include "model/math/ApodizationWindows.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

std::vector<float> TimeWindowWeights(const TTimeWindow& window, int points, float spectralWidth, int echo)
{
    if (points < 1 || !(spectralWidth > 0.0f))
        return {};
    const double pi = std::numbers::pi;
    const double sw = spectralWidth;
    std::vector<float> w(static_cast<size_t>(points));
    for (int k = 0; k < points; ++k) {
        const double t = static_cast<double>(k) - echo;
        const double decay = std::exp(-std::fabs(t) * window.lorentzWidth * pi / sw * 0.5);
        const double x = t * window.gaussWidth * pi / sw * 0.5;
        const double gauss = std::exp(-x * x / std::numbers::ln2);
        double value = 1.0;
        switch (window.kind) {
        case TTimeWindow::Exponential:
            value = decay;
            break;
        case TTimeWindow::Gaussian:
            value = gauss;
            break;
        case TTimeWindow::LorentzGauss:
            value = decay * gauss;
            break;
        case TTimeWindow::ConvolutionDifference:
            value = 1.0 - window.factor * decay;
            break;
        }
        w[static_cast<size_t>(k)] = static_cast<float>(value);
    }
    return w;
}

std::vector<double> SpatialWindowWeights(int type, int n, float radius, float width)
{
    if (n < 1 || type < kHammingWindow || type > kFermiWindow)
        return {};
    const double pi = std::numbers::pi;
    std::vector<double> w(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int m = (i + n / 2) % n;
        const int d = m - n / 2;
        double value = 1.0;
        if (type == kHammingWindow) {
            // A single point has no window: 0/0 in the formula.
            value = n > 1 ? 0.54 - 0.46 * std::cos(2.0 * pi * m / (n - 1)) : 1.0;
        } else if (type == kCosineWindow) {
            value = std::cos(pi * d / n);
        } else {
            const double beyond = std::abs(d) - static_cast<double>(radius);
            if (width != 0.0f)
                value = 1.0 / (1.0 + std::exp(beyond / width));
            else
                value = beyond < 0 ? 1.0 : beyond > 0 ? 0.0 : 0.5;
        }
        w[static_cast<size_t>(i)] = value;
    }
    return w;
}
