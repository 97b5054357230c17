#pragma once
// The LAPACK and BLAS routines the program calls (Fortran interface: every argument
// by reference, column-major arrays, hidden string lengths after the arguments).
#include <complex>
#include <cstddef>

extern "C" {
void zgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, std::complex<double>* a,
             const int* lda, double* s, std::complex<double>* u, const int* ldu, std::complex<double>* vt,
             const int* ldvt, std::complex<double>* work, const int* lwork, double* rwork, int* info,
             size_t jobuLen, size_t jobvtLen);
void cgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const std::complex<float>* alpha, const std::complex<float>* a, const int* lda,
            const std::complex<float>* b, const int* ldb, const std::complex<float>* beta,
            std::complex<float>* c, const int* ldc, size_t transaLen, size_t transbLen);
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
            const double* beta, double* c, const int* ldc, size_t transaLen, size_t transbLen);
void zgesdd_(const char* jobz, const int* m, const int* n, std::complex<double>* a, const int* lda, double* s,
             std::complex<double>* u, const int* ldu, std::complex<double>* vt, const int* ldvt,
             std::complex<double>* work, const int* lwork, double* rwork, int* iwork, int* info,
             size_t jobzLen);
}
