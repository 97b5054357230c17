#pragma once
// Discrete Fourier transform of any length whose prime factors are at most 37, by
// mixed-radix decimation in time: a digit-reversed copy, then one pass per factor.
//
//   Forward:  X[k] = sum_j x[j] exp(-2 pi i jk/n)            (unscaled)
//   Inverse:  x[j] = (1/n) sum_k X[k] exp(+2 pi i jk/n)
//
// An object keeps the tables of the last length it transformed, so one object
// reused for many spectra of one length sets them up once. The tables are written
// during a transform: use one object per thread.
//
// The results are the same to the bit on every x86-64 processor, whichever copy of
// the passes it runs: the same spectra transformed on two machines give the same values.
//
// A refused length (n < 1 or a prime factor above maxPrimeFactor) makes every
// transform return false without touching its output and without a message, so
// that worker threads never raise one box per voxel. Whoever starts a transform
// run checks the length once on its own thread with CheckFFTLength, which reports
// the refusal.
#include <complex>
#include <cstddef>
#include <new>
#include <vector>

class TMixedRadixFFT {
public:
    static constexpr int maxPrimeFactor = 37;
    static constexpr const char* kPrimeFactorTooLarge =
        "Prime factor of FFT length too large. Please modify the value of maxPrimeFactor.";

    TMixedRadixFFT() = default;
    virtual ~TMixedRadixFFT() = default;
    TMixedRadixFFT(const TMixedRadixFFT&) = delete;
    TMixedRadixFFT& operator=(const TMixedRadixFFT&) = delete;

    // Input and output may be the same arrays.
    bool Forward(int n, const double* reIn, const double* imIn, double* reOut, double* imOut);
    bool Inverse(int n, const double* reIn, const double* imIn, double* reOut, double* imOut);

    // kBatch transforms of one length at once, each one's values kBatch apart: value j
    // of transform b at [j * kBatch + b] (n * kBatch doubles per array). The same
    // factors and passes as the single transforms, the kBatch transforms sharing the
    // vector lanes. Input and output may be the same arrays.
    static constexpr int kBatch = 4;
    bool ForwardBatch(int n, const double* reIn, const double* imIn, double* reOut, double* imOut);
    bool InverseBatch(int n, const double* reIn, const double* imIn, double* reOut, double* imOut);

    // In place on n interleaved complex floats (real, imaginary), computed in double
    // precision. On failure the data is unchanged.
    bool ForwardComplex(float* data, int n);
    bool InverseComplex(float* data, int n);
    bool ForwardComplex(std::complex<float>* data, int n);
    bool InverseComplex(std::complex<float>* data, int n);

    // The instruction sets the passes are compiled for (on x86-64 with GCC; elsewhere
    // only Plain). Every copy gives the same bits; a new object runs the widest one the
    // processor has.
    enum class TInstructionSet { Plain, AVX2, AVX512 };
    // True when this program has the copy and the processor can run it.
    static bool CanRun(TInstructionSet set);
    // Runs the passes with the copy for `set` from now on, to compare the copies. False,
    // and no change, when CanRun(set) is not.
    bool UseInstructionSet(TInstructionSet set);

    // The factors in the order the passes use them (16 -> 4, 4; 1 -> 1; 0 -> none).
    static std::vector<int> Factorize(int n);
    // True when the transforms accept the length. Silent.
    static bool IsFFTLength(int n);
    // As IsFFTLength, but a refused length is reported (error icon). Call it on the
    // thread that starts a transform run, once per run.
    static bool CheckFFTLength(int n);

private:
    // Arrays on whole cache lines: the passes read and write them in vectors of up to
    // 64 bytes, and a vector that straddles two lines costs two accesses.
    static constexpr size_t kAlignment = 64;
    template <typename T>
    struct TAlignedAllocator {
        using value_type = T;
        TAlignedAllocator() = default;
        template <typename U>
        TAlignedAllocator(const TAlignedAllocator<U>&) {}
        T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(kAlignment))); }
        void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t(kAlignment)); }
        bool operator==(const TAlignedAllocator&) const { return true; }
    };
    using TAlignedVector = std::vector<double, TAlignedAllocator<double>>;

    struct TPass {
        int radix;
        int sofar;       // product of the factors of the earlier passes
        int remain;      // n / (sofar * radix): blocks of this pass
        size_t twiddle;  // offset of this pass's twiddles (radix - 1 rows of sofar)
        size_t trig;     // offset of the odd-prime tables (radix entries)
    };

    bool SetupTables(int n);
    // batch: kBatch interleaved transforms (ForwardBatch) instead of one.
    bool Run(int n, const double* reIn, const double* imIn, double* reOut, double* imOut, bool inverse,
             bool batch = false);
    void Transform(const double* reIn, const double* imIn, double* reOut, double* imOut, bool inverse,
                   bool batch = false);
    template <typename T>
    bool ComplexWrapper(T* data, int n, bool inverse);

    static TInstructionSet WidestInstructionSet();

    int m_n = 0;
    TInstructionSet m_instructionSet = WidestInstructionSet();
    std::vector<TPass> m_passes;
    std::vector<int> m_blockOf;  // first-pass block of each first source index
    TAlignedVector m_twiddleRe, m_twiddleIm;
    std::vector<double> m_trigCos, m_trigSin;
    TAlignedVector m_passRe, m_passIm;  // the passes' values when the output cannot hold them
    TAlignedVector m_work[4];           // the complex wrappers' double arrays
};
