#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "model/math/TMixedRadixFFT.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using Complex = std::complex<double>;

// The plain O(n^2) sum, with angles reduced exactly (jk mod n) and the n roots of
// unity evaluated in long double, as the reference for every length.
std::vector<Complex> NaiveDFT(const std::vector<Complex>& x, int sign)
{
    const size_t n = x.size();
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<long double> c(n), s(n);
    for (size_t m = 0; m < n; ++m) {
        const long double a = sign * 2.0L * pi * static_cast<long double>(m) / static_cast<long double>(n);
        c[m] = std::cos(a);
        s[m] = std::sin(a);
    }
    std::vector<Complex> y(n);
    for (size_t k = 0; k < n; ++k) {
        long double sr = 0, si = 0;
        for (size_t j = 0; j < n; ++j) {
            const size_t m = (j * k) % n;
            sr += x[j].real() * c[m] - x[j].imag() * s[m];
            si += x[j].real() * s[m] + x[j].imag() * c[m];
        }
        y[k] = Complex(static_cast<double>(sr), static_cast<double>(si));
    }
    return y;
}

std::vector<Complex> RandomSignal(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Complex> x(static_cast<size_t>(n));
    for (auto& v : x)
        v = Complex(u(rng), u(rng));
    return x;
}

// Largest error relative to the largest reference magnitude.
double RelativeError(const std::vector<double>& re, const std::vector<double>& im, const std::vector<Complex>& ref)
{
    double err = 0, mag = 0;
    for (size_t k = 0; k < ref.size(); ++k) {
        err = std::max(err, std::abs(Complex(re[k], im[k]) - ref[k]));
        mag = std::max(mag, std::abs(ref[k]));
    }
    return mag > 0 ? err / mag : err;
}

struct Split {
    std::vector<double> re, im;
    explicit Split(const std::vector<Complex>& x)
    {
        for (const Complex& c : x) {
            re.push_back(c.real());
            im.push_back(c.imag());
        }
    }
    explicit Split(size_t n, double fill = 0.0) : re(n, fill), im(n, fill) {}
};

void CheckAgainstNaive(TMixedRadixFFT& fft, int n)
{
    const std::vector<Complex> x = RandomSignal(n, static_cast<unsigned>(n));
    const Split in(x);
    Split out(static_cast<size_t>(n));
    ASSERT_TRUE(fft.Forward(n, in.re.data(), in.im.data(), out.re.data(), out.im.data())) << n;
    EXPECT_LT(RelativeError(out.re, out.im, NaiveDFT(x, -1)), 1e-9) << "forward, n = " << n;

    std::vector<Complex> inverseRef = NaiveDFT(x, +1);
    for (Complex& c : inverseRef)
        c /= static_cast<double>(n);
    ASSERT_TRUE(fft.Inverse(n, in.re.data(), in.im.data(), out.re.data(), out.im.data())) << n;
    EXPECT_LT(RelativeError(out.re, out.im, inverseRef), 1e-9) << "inverse, n = " << n;
}

}  // namespace

TEST(TMixedRadixFFT, MatchesTheNaiveDFTForEveryLengthUpTo200)
{
    TMixedRadixFFT fft;  // one object for all lengths: its tables follow the length
    for (int n = 1; n <= 200; ++n) {
        int largestPrime = 1, rest = n;
        for (int d = 2; d <= rest; ++d)
            while (rest % d == 0) {
                largestPrime = d;
                rest /= d;
            }
        ASSERT_EQ(TMixedRadixFFT::IsFFTLength(n), largestPrime <= 37) << n;
        if (largestPrime <= 37)
            CheckAgainstNaive(fft, n);
    }
}

TEST(TMixedRadixFFT, MatchesTheNaiveDFTForLongMixedLengths)
{
    for (int n : {999, 1000, 1023, 1024, 2 * 37 * 27, 37 * 37, 7 * 11 * 13}) {
        TMixedRadixFFT fft;
        CheckAgainstNaive(fft, n);
    }
}

// Every power of two a spectrum has, whatever order of radix-2, 4 and 8 passes it
// takes and whether its first pass stores through transposes (radix 4 and 8) or lane
// by lane, against the direct sum, forward and inverse.
TEST(TMixedRadixFFT, MatchesTheNaiveDFTForEveryPowerOfTwoTo4096)
{
    TMixedRadixFFT fft;
    for (int n = 2; n <= 4096; n *= 2)
        CheckAgainstNaive(fft, n);
}

TEST(TMixedRadixFFT, FactorsInProcessingOrder)
{
    using V = std::vector<int>;
    EXPECT_EQ(TMixedRadixFFT::Factorize(1), V{1});
    EXPECT_EQ(TMixedRadixFFT::Factorize(16), (V{4, 4}));       // 8, 2 -> 4, 4
    EXPECT_EQ(TMixedRadixFFT::Factorize(128), (V{4, 4, 8}));   // 8, 8, 2 -> 8, 4, 4
    EXPECT_EQ(TMixedRadixFFT::Factorize(2), V{2});
    EXPECT_EQ(TMixedRadixFFT::Factorize(100), (V{10, 10}));
    // The usual spectrum lengths take their own measured orders.
    EXPECT_EQ(TMixedRadixFFT::Factorize(1000), (V{8, 5, 5, 5}));
    EXPECT_EQ(TMixedRadixFFT::Factorize(1024), (V{16, 8, 8}));
    EXPECT_EQ(TMixedRadixFFT::Factorize(4096), (V{16, 16, 16}));
    EXPECT_EQ(TMixedRadixFFT::Factorize(999), (V{37, 3, 3, 3}));
    EXPECT_EQ(TMixedRadixFFT::Factorize(1023), (V{31, 11, 3}));
    EXPECT_EQ(TMixedRadixFFT::Factorize(74), (V{37, 2}));
    EXPECT_EQ(TMixedRadixFFT::Factorize(82), (V{41, 2}));
    EXPECT_EQ(TMixedRadixFFT::Factorize(49), (V{7, 7}));
    EXPECT_TRUE(TMixedRadixFFT::Factorize(0).empty());
    EXPECT_TRUE(TMixedRadixFFT::Factorize(-8).empty());

    EXPECT_TRUE(TMixedRadixFFT::IsFFTLength(74));
    EXPECT_TRUE(TMixedRadixFFT::IsFFTLength(37 * 37));
    for (int n : {82, 41, 43 * 2, 41 * 41, 0, -1})
        EXPECT_FALSE(TMixedRadixFFT::IsFFTLength(n)) << n;
}

TEST(TMixedRadixFFT, ImpulsesGiveConstantAndRotatingSpectra)
{
    TMixedRadixFFT fft;
    for (int n : {1, 12, 74, 96, 1000}) {
        Split x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
        x.re[0] = 1.0;
        ASSERT_TRUE(fft.Forward(n, x.re.data(), x.im.data(), y.re.data(), y.im.data()));
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(y.re[k], 1.0, 1e-12);
            EXPECT_NEAR(y.im[k], 0.0, 1e-12);
        }
        if (n == 1)
            continue;
        x.re[0] = 0.0;
        x.re[1] = 1.0;
        ASSERT_TRUE(fft.Forward(n, x.re.data(), x.im.data(), y.re.data(), y.im.data()));
        for (int k = 0; k < n; ++k) {
            const double a = -2.0 * std::numbers::pi * k / n;
            EXPECT_NEAR(y.re[k], std::cos(a), 1e-12) << n << " " << k;
            EXPECT_NEAR(y.im[k], std::sin(a), 1e-12) << n << " " << k;
        }
    }
}

TEST(TMixedRadixFFT, LengthOneCopiesTheInput)
{
    TMixedRadixFFT fft;
    const double re = 2.5, im = -1.25;
    double outRe = 0, outIm = 0;
    ASSERT_TRUE(fft.Forward(1, &re, &im, &outRe, &outIm));
    EXPECT_EQ(outRe, 2.5);
    EXPECT_EQ(outIm, -1.25);
    ASSERT_TRUE(fft.Inverse(1, &re, &im, &outRe, &outIm));
    EXPECT_EQ(outRe, 2.5);
    EXPECT_EQ(outIm, -1.25);
}

TEST(TMixedRadixFFT, RoundTripsReturnTheInput)
{
    TMixedRadixFFT fft;
    for (int n : {1000, 1024, 1023, 999}) {
        const Split x(RandomSignal(n, 99u + static_cast<unsigned>(n)));
        Split y(static_cast<size_t>(n)), z(static_cast<size_t>(n));
        ASSERT_TRUE(fft.Forward(n, x.re.data(), x.im.data(), y.re.data(), y.im.data()));
        ASSERT_TRUE(fft.Inverse(n, y.re.data(), y.im.data(), z.re.data(), z.im.data()));
        for (int j = 0; j < n; ++j) {
            EXPECT_NEAR(z.re[j], x.re[j], 1e-12) << n;
            EXPECT_NEAR(z.im[j], x.im[j], 1e-12) << n;
        }
    }
}

TEST(TMixedRadixFFT, InPlaceCallsGiveTheSameResult)
{
    TMixedRadixFFT fft;
    const int n = 360;
    const Split x(RandomSignal(n, 5));
    Split separate(static_cast<size_t>(n));
    ASSERT_TRUE(fft.Forward(n, x.re.data(), x.im.data(), separate.re.data(), separate.im.data()));
    Split same = x;
    ASSERT_TRUE(fft.Forward(n, same.re.data(), same.im.data(), same.re.data(), same.im.data()));
    EXPECT_EQ(same.re, separate.re);
    EXPECT_EQ(same.im, separate.im);
    // Real and imaginary outputs written over the other input array.
    Split crossed = x;
    ASSERT_TRUE(fft.Forward(n, crossed.re.data(), crossed.im.data(), crossed.im.data(), crossed.re.data()));
    EXPECT_EQ(crossed.im, separate.re);
    EXPECT_EQ(crossed.re, separate.im);
}

TEST(TMixedRadixFFT, RefusedLengthsTouchNothingAndReportOnlyWhenChecked)
{
    vx::test::TScriptedReport report;
    TMixedRadixFFT fft;
    Split in(82, 1.0), out(82, 7.0);
    EXPECT_FALSE(fft.Forward(82, in.re.data(), in.im.data(), out.re.data(), out.im.data()));
    EXPECT_FALSE(fft.Inverse(82, in.re.data(), in.im.data(), out.re.data(), out.im.data()));
    EXPECT_FALSE(fft.Forward(0, in.re.data(), in.im.data(), out.re.data(), out.im.data()));
    EXPECT_FALSE(fft.Forward(-3, in.re.data(), in.im.data(), out.re.data(), out.im.data()));
    EXPECT_EQ(out.re, std::vector<double>(82, 7.0));
    EXPECT_EQ(out.im, std::vector<double>(82, 7.0));

    std::vector<float> data(2 * 82);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<float>(i);
    const std::vector<float> before = data;
    EXPECT_FALSE(fft.ForwardComplex(data.data(), 82));
    EXPECT_FALSE(fft.InverseComplex(reinterpret_cast<std::complex<float>*>(data.data()), 82));
    EXPECT_EQ(data, before);
    EXPECT_EQ(report.Count(), 0u);  // the transforms themselves never ask or tell

    EXPECT_TRUE(TMixedRadixFFT::CheckFFTLength(74));
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_FALSE(TMixedRadixFFT::CheckFFTLength(82));
    ASSERT_EQ(report.Count(), 1u);
    EXPECT_EQ(report.Entries()[0].text,
              "Prime factor of FFT length too large. Please modify the value of maxPrimeFactor.");
    EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::Error);

    // A refused length does not spoil the tables of the next accepted one.
    Split x(RandomSignal(74, 3)), y(74);
    ASSERT_TRUE(fft.Forward(74, x.re.data(), x.im.data(), y.re.data(), y.im.data()));
    EXPECT_LT(RelativeError(y.re, y.im, NaiveDFT(RandomSignal(74, 3), -1)), 1e-9);
}

TEST(TMixedRadixFFT, ComplexWrappersTransformInterleavedFloats)
{
    TMixedRadixFFT fft;
    for (int n : {1, 30, 256, 1000}) {
        const std::vector<Complex> x = RandomSignal(n, 11u * static_cast<unsigned>(n));
        std::vector<float> data;
        std::vector<Complex> rounded;
        for (const Complex& c : x) {
            data.push_back(static_cast<float>(c.real()));
            data.push_back(static_cast<float>(c.imag()));
            rounded.emplace_back(data[data.size() - 2], data.back());
        }
        std::vector<float> original = data;
        ASSERT_TRUE(fft.ForwardComplex(data.data(), n));
        const std::vector<Complex> ref = NaiveDFT(rounded, -1);
        double scale = 0;
        for (const Complex& c : ref)
            scale = std::max(scale, std::abs(c));
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(data[2 * k], ref[k].real(), 1e-6 * scale) << n;
            EXPECT_NEAR(data[2 * k + 1], ref[k].imag(), 1e-6 * scale) << n;
        }
        auto* asComplex = reinterpret_cast<std::complex<float>*>(data.data());
        ASSERT_TRUE(fft.InverseComplex(asComplex, n));
        for (size_t i = 0; i < data.size(); ++i)
            EXPECT_NEAR(data[i], original[i], 1e-6) << n;
    }
}

// kBatch different signals interleaved: every one must come out as the naive DFT of
// its own input, in place and out of place, for lengths of every kind of pass.
TEST(TMixedRadixFFT, BatchesTransformEachInterleavedSignalAsTheNaiveDFT)
{
    constexpr size_t kB = TMixedRadixFFT::kBatch;
    TMixedRadixFFT fft;
    for (int n : {1, 2, 3, 7, 12, 16, 37, 60, 64, 74, 100, 1000}) {
        const size_t count = static_cast<size_t>(n);
        std::vector<std::vector<Complex>> signals;
        Split in(count * kB);
        for (size_t b = 0; b < kB; ++b) {
            signals.push_back(RandomSignal(n, static_cast<unsigned>(1000 * n + b)));
            for (size_t j = 0; j < count; ++j) {
                in.re[j * kB + b] = signals[b][j].real();
                in.im[j * kB + b] = signals[b][j].imag();
            }
        }
        for (bool inverse : {false, true}) {
            for (bool inPlace : {false, true}) {
                Split out = inPlace ? in : Split(count * kB, 7.0);
                const double* re = inPlace ? out.re.data() : in.re.data();
                const double* im = inPlace ? out.im.data() : in.im.data();
                ASSERT_TRUE(inverse ? fft.InverseBatch(n, re, im, out.re.data(), out.im.data())
                                    : fft.ForwardBatch(n, re, im, out.re.data(), out.im.data()))
                    << n;
                for (size_t b = 0; b < kB; ++b) {
                    std::vector<Complex> ref = NaiveDFT(signals[b], inverse ? +1 : -1);
                    if (inverse)
                        for (Complex& c : ref)
                            c /= static_cast<double>(n);
                    std::vector<double> re1(count), im1(count);
                    for (size_t j = 0; j < count; ++j) {
                        re1[j] = out.re[j * kB + b];
                        im1[j] = out.im[j * kB + b];
                    }
                    EXPECT_LT(RelativeError(re1, im1, ref), 1e-9)
                        << "n = " << n << ", signal " << b << (inverse ? ", inverse" : ", forward")
                        << (inPlace ? ", in place" : "");
                }
            }
        }
    }
    std::vector<double> none(2 * 41 * kB, 3.0);
    EXPECT_FALSE(fft.ForwardBatch(82, none.data(), none.data(), none.data(), none.data()));
    EXPECT_EQ(none[0], 3.0);
}

// Each interleaved signal of a batch comes out with the bits of its own single
// transform, at the lengths whose passes include radix 16 (the batch tests above stop
// below them, where the naive sums stay quick).
TEST(TMixedRadixFFT, BatchesGiveEachSignalTheBitsOfItsSingleTransform)
{
    constexpr size_t kB = TMixedRadixFFT::kBatch;
    TMixedRadixFFT fft;
    for (int n : {1024, 4096}) {
        const size_t count = static_cast<size_t>(n);
        const Split in(RandomSignal(n * static_cast<int>(kB), static_cast<unsigned>(n)));
        for (bool inverse : {false, true}) {
            Split batch(count * kB);
            ASSERT_TRUE(inverse ? fft.InverseBatch(n, in.re.data(), in.im.data(), batch.re.data(), batch.im.data())
                                : fft.ForwardBatch(n, in.re.data(), in.im.data(), batch.re.data(), batch.im.data()));
            for (size_t b = 0; b < kB; ++b) {
                Split one(count), single(count), fromBatch(count);
                for (size_t j = 0; j < count; ++j) {
                    one.re[j] = in.re[j * kB + b];
                    one.im[j] = in.im[j * kB + b];
                    fromBatch.re[j] = batch.re[j * kB + b];
                    fromBatch.im[j] = batch.im[j * kB + b];
                }
                ASSERT_TRUE(inverse ? fft.Inverse(n, one.re.data(), one.im.data(), single.re.data(), single.im.data())
                                    : fft.Forward(n, one.re.data(), one.im.data(), single.re.data(), single.im.data()));
                EXPECT_EQ(fromBatch.re, single.re) << "n = " << n << ", signal " << b << (inverse ? ", inverse" : "");
                EXPECT_EQ(fromBatch.im, single.im) << "n = " << n << ", signal " << b << (inverse ? ", inverse" : "");
            }
        }
    }
}

namespace {

// Room for n values at `offset` doubles past a cache line, guarded on both sides by a
// value of its own (a stray copy from an earlier array's guards would not pass).
struct TPlaced {
    static constexpr size_t kLine = 64 / sizeof(double), kGuard = 16;
    static inline int count = 0;
    double guard = -1000.0 - count++;
    std::vector<double> storage;
    double* at;
    TPlaced(size_t n, size_t offset) : storage(n + 2 * kGuard + 2 * kLine, guard)
    {
        double* p = storage.data() + kGuard;
        while (reinterpret_cast<uintptr_t>(p) % 64 != 0)
            ++p;
        at = p + offset;
    }
    bool GuardsUntouched(size_t n) const
    {
        for (size_t i = 0; i < storage.size(); ++i) {
            const double* p = storage.data() + i;
            if ((p < at || p >= at + n) && storage[i] != guard)
                return false;
        }
        return true;
    }
};

}  // namespace

// The passes run in the output when it starts on a cache line and lies apart from the
// input, else in the object's own arrays and are copied out: wherever the caller's
// arrays lie, the results have the same bits, and nothing beyond the output is written.
TEST(TMixedRadixFFT, ResultsDoNotDependOnWhereTheArraysLie)
{
    TMixedRadixFFT fft;
    for (int n : {1, 12, 256, 1000, 1023, 4096}) {
        for (bool batch : {false, true}) {
            for (bool inverse : {false, true}) {
                const size_t values = static_cast<size_t>(n) * (batch ? TMixedRadixFFT::kBatch : 1);
                const Split x(RandomSignal(static_cast<int>(values), 17u + static_cast<unsigned>(n)));
                auto run = [&](const double* re, const double* im, double* reOut, double* imOut) {
                    if (batch)
                        return inverse ? fft.InverseBatch(n, re, im, reOut, imOut)
                                       : fft.ForwardBatch(n, re, im, reOut, imOut);
                    return inverse ? fft.Inverse(n, re, im, reOut, imOut) : fft.Forward(n, re, im, reOut, imOut);
                };
                const std::string what = "n = " + std::to_string(n) + (batch ? ", batch" : "") +
                                         (inverse ? ", inverse" : ", forward");
                Split expected(values);
                ASSERT_TRUE(run(x.re.data(), x.im.data(), expected.re.data(), expected.im.data())) << what;
                for (size_t inOffset : {size_t{0}, size_t{3}})
                    for (size_t outOffset : {size_t{0}, size_t{1}, size_t{2}, size_t{4}, size_t{7}}) {
                        TPlaced reIn(values, inOffset), imIn(values, inOffset);
                        // The imaginary output elsewhere on its line than the real one, but for 0.
                        const size_t imOffset = outOffset * 3 % 8;
                        TPlaced reOut(values, outOffset), imOut(values, imOffset);
                        std::copy(x.re.begin(), x.re.end(), reIn.at);
                        std::copy(x.im.begin(), x.im.end(), imIn.at);
                        ASSERT_TRUE(run(reIn.at, imIn.at, reOut.at, imOut.at)) << what;
                        const std::string where = what + ", input at +" + std::to_string(inOffset) +
                                                  ", output at +" + std::to_string(outOffset) + " and +" +
                                                  std::to_string(imOffset);
                        EXPECT_EQ(std::vector<double>(reOut.at, reOut.at + values), expected.re) << where;
                        EXPECT_EQ(std::vector<double>(imOut.at, imOut.at + values), expected.im) << where;
                        EXPECT_TRUE(reOut.GuardsUntouched(values) && imOut.GuardsUntouched(values)) << where;
                        // The same arrays as input and output.
                        ASSERT_TRUE(run(reIn.at, imIn.at, reIn.at, imIn.at)) << where;
                        EXPECT_EQ(std::vector<double>(reIn.at, reIn.at + values), expected.re) << where << ", in place";
                        EXPECT_EQ(std::vector<double>(imIn.at, imIn.at + values), expected.im) << where << ", in place";
                        EXPECT_TRUE(reIn.GuardsUntouched(values) && imIn.GuardsUntouched(values)) << where;
                    }
            }
        }
    }
}

// ---- The same bits on every processor ----

namespace {

using TSet = TMixedRadixFFT::TInstructionSet;

// Values whose bits differ between a and b, with the first such index.
std::string BitDifferences(const std::vector<double>& a, const std::vector<double>& b)
{
    if (a.size() != b.size())
        return "sizes differ";
    size_t count = 0, first = 0;
    for (size_t i = a.size(); i-- > 0;)
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) {
            ++count;
            first = i;
        }
    if (count == 0)
        return "";
    std::ostringstream s;
    s.precision(17);
    s << count << " of " << a.size() << " values differ, first at " << first << ": " << a[first] << " against "
      << b[first];
    return s.str();
}

// Forward and inverse transforms, single and batched, of pseudo-random values.
struct TAllTransforms {
    Split forward, inverse, forwardBatch, inverseBatch;

    TAllTransforms(TMixedRadixFFT& fft, int n)
        : forward(static_cast<size_t>(n)),
          inverse(static_cast<size_t>(n)),
          forwardBatch(static_cast<size_t>(n) * TMixedRadixFFT::kBatch),
          inverseBatch(static_cast<size_t>(n) * TMixedRadixFFT::kBatch)
    {
        const Split x(RandomSignal(n, 7u * static_cast<unsigned>(n)));
        const Split xb(RandomSignal(n * TMixedRadixFFT::kBatch, 3u * static_cast<unsigned>(n)));
        EXPECT_TRUE(fft.Forward(n, x.re.data(), x.im.data(), forward.re.data(), forward.im.data()));
        EXPECT_TRUE(fft.Inverse(n, x.re.data(), x.im.data(), inverse.re.data(), inverse.im.data()));
        EXPECT_TRUE(fft.ForwardBatch(n, xb.re.data(), xb.im.data(), forwardBatch.re.data(), forwardBatch.im.data()));
        EXPECT_TRUE(fft.InverseBatch(n, xb.re.data(), xb.im.data(), inverseBatch.re.data(), inverseBatch.im.data()));
    }

    std::vector<const Split*> All() const { return {&forward, &inverse, &forwardBatch, &inverseBatch}; }
};

const char* const kTransformNames[] = {"forward", "inverse", "forward batch", "inverse batch"};

class TMixedRadixFFTInstructionSets : public testing::TestWithParam<TSet> {};

}  // namespace

// The passes are also compiled for wider instruction sets that the processor chooses
// between; each must give exactly the plain copy's bits (a fused multiply-add in one
// of them rounds differently), for radix 2, 3, 4, 5, 8 and 10 passes, first passes with
// and without transposes, groups of eight, odd primes up to the largest accepted.
TEST_P(TMixedRadixFFTInstructionSets, GiveThePlainCopysBits)
{
    const TSet set = GetParam();
    if (!TMixedRadixFFT::CanRun(set))
        GTEST_SKIP() << "this processor (or this build) has no " << (set == TSet::AVX512 ? "AVX-512" : "AVX2")
                     << " copy of the passes to compare";
    TMixedRadixFFT plain, wide;
    ASSERT_TRUE(plain.UseInstructionSet(TSet::Plain));
    ASSERT_TRUE(wide.UseInstructionSet(set));
    for (int n : {960, 1000, 1024, 2048, 4096, 256, 512, 1023, 999, 2 * 37 * 27, 37 * 37, 23 * 29, 17 * 19 * 2,
                  7 * 11 * 13, 3 * 5 * 8, 1, 2, 6}) {
        const TAllTransforms expected(plain, n), actual(wide, n);
        for (size_t t = 0; t < expected.All().size(); ++t) {
            EXPECT_EQ(BitDifferences(actual.All()[t]->re, expected.All()[t]->re), "")
                << "real part, n = " << n << ", " << kTransformNames[t];
            EXPECT_EQ(BitDifferences(actual.All()[t]->im, expected.All()[t]->im), "")
                << "imaginary part, n = " << n << ", " << kTransformNames[t];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Wider, TMixedRadixFFTInstructionSets, testing::Values(TSet::AVX2, TSet::AVX512),
                         [](const testing::TestParamInfo<TSet>& info) {
                             return info.param == TSet::AVX512 ? "AVX512" : "AVX2";
                         });

namespace {

// 64-bit FNV-1a over the bits of the values.
struct TBitsDigest {
    uint64_t value = 1469598103934665603ull;
    void Add(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        value = (value ^ bits) * 1099511628211ull;
    }
};

// Digests of the math library's double cosines and sines of 2 pi m/n for n up to 1024,
// and of every transform at a few lengths, as "<hex> <hex>".
std::string MathAndTransformDigests()
{
    TBitsDigest math, transforms;
    for (int n = 2; n <= 1024; ++n)
        for (int m = 1; m < n; ++m) {
            const double angle = 2.0 * std::numbers::pi * m / n;
            math.Add(std::cos(angle));
            math.Add(std::sin(angle));
        }
    TMixedRadixFFT fft;
    for (int n : {960, 1000, 1024, 4096, 999, 7 * 11 * 13}) {
        const TAllTransforms all(fft, n);
        for (const Split* s : all.All())
            for (const std::vector<double>* v : {&s->re, &s->im})
                for (double d : *v)
                    transforms.Add(d);
    }
    std::ostringstream out;
    out << std::hex << math.value << " " << transforms.value;
    return out.str();
}

}  // namespace

// The math library picks its cosine and sine by processor (with fused multiply-add or
// without), and the two differ in the last bit now and then. The transforms must not
// follow: this program is run again with the library told that the processor lacks
// FMA and AVX2, and its transforms must give the same bits.
TEST(TMixedRadixFFT, ResultsDoNotDependOnTheMathLibrarysChoiceOfCode)
{
    std::istringstream here(MathAndTransformDigests());
    if (std::getenv("VX_FFT_PRINT_DIGESTS")) {
        std::printf("digests: %s\n", here.str().c_str());
        return;
    }
    std::error_code ec;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    ASSERT_FALSE(ec) << ec.message();
    const auto [status, output] = vx::test::RunShell(
        "env -u GTEST_OUTPUT VX_FFT_PRINT_DIGESTS=1 GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-FMA4 '" + self +
        "' --gtest_filter=TMixedRadixFFT.ResultsDoNotDependOnTheMathLibrarysChoiceOfCode");
    const size_t at = output.find("digests: ");
    ASSERT_TRUE(status == 0 && at != std::string::npos) << output;
    std::istringstream there(output.substr(at + 9));
    std::string mathHere, mathThere, fftHere, fftThere;
    here >> mathHere >> fftHere;
    there >> mathThere >> fftThere;
    if (mathThere == mathHere)
        GTEST_SKIP() << "the math library gives the same cosines and sines here when told the processor lacks FMA "
                        "(no FMA, or a library that does not choose by processor)";
    EXPECT_EQ(fftThere, fftHere);
}
