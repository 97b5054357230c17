#pragma once
// Weights of the time-domain windows (line broadening, convolution difference) and of
// the k-space windows along one grid axis.
#include <vector>

// A time-domain window. Line widths in Hz; factor: the convolution difference's depth.
//  Exponential:            exp(-|t| L pi / SW / 2)
//  Gaussian:               exp(-x^2 / ln 2), x = t G pi / SW / 2
//  LorentzGauss:           the product of the two
//  ConvolutionDifference:  1 - factor * exp(-|t| L pi / SW / 2)
// with t = k - echo, so that the window peaks at the echo top. The exponential window
// broadens a Lorentzian line by L/2 Hz (FWHM); the Gaussian gives a Gaussian line of
// FWHM G.
struct TTimeWindow {
    enum Kind { Exponential, Gaussian, LorentzGauss, ConvolutionDifference };
    Kind kind = Exponential;
    float lorentzWidth = 0.0f;  // L, Hz
    float gaussWidth = 0.0f;    // G, Hz
    float factor = 0.0f;
};

// w(k), k = 0..points-1, computed in double and kept as floats. Empty when points < 1
// or the spectral width (Hz) is not above 0.
std::vector<float> TimeWindowWeights(const TTimeWindow& window, int points, float spectralWidth, int echo);

// The k-space window of a grid axis of n voxels, for the k-space index i in transform
// order (i = 0 is the centre): with m = (i + n/2) mod n and d = m - n/2,
//   type 0 Hamming  0.54 - 0.46 cos(2 pi m / (n - 1))
//   type 1 cosine   cos(pi d / n)
//   type 2 Fermi    1 / (1 + exp((|d| - radius) / width)), radius and width in k-space
//                   points; a width of 0 is the limit, a step at the radius.
// Empty for another type or n < 1.
enum : int { kHammingWindow = 0, kCosineWindow = 1, kFermiWindow = 2 };
std::vector<double> SpatialWindowWeights(int type, int n, float radius, float width);
