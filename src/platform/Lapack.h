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
void zgelss_(const int* m, const int* n, const int* nrhs, std::complex<double>* a, const int* lda,
             std::complex<double>* b, const int* ldb, double* s, const double* rcond, int* rank,
             std::complex<double>* work, const int* lwork, double* rwork, int* info);
void zgeev_(const char* jobvl, const char* jobvr, const int* n, std::complex<double>* a, const int* lda,
            std::complex<double>* w, std::complex<double>* vl, const int* ldvl, std::complex<double>* vr,
            const int* ldvr, std::complex<double>* work, const int* lwork, double* rwork, int* info,
            size_t jobvlLen, size_t jobvrLen);
void dbdsqr_(const char* uplo, const int* n, const int* ncvt, const int* nru, const int* ncc, double* d, double* e,
             double* vt, const int* ldvt, double* u, const int* ldu, double* c, const int* ldc, double* work,
             int* info, size_t uploLen);
void zgemv_(const char* trans, const int* m, const int* n, const std::complex<double>* alpha,
            const std::complex<double>* a, const int* lda, const std::complex<double>* x, const int* incx,
            const std::complex<double>* beta, std::complex<double>* y, const int* incy, size_t transLen);
void zgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const std::complex<double>* alpha, const std::complex<double>* a, const int* lda,
            const std::complex<double>* b, const int* ldb, const std::complex<double>* beta,
            std::complex<double>* c, const int* ldc, size_t transaLen, size_t transbLen);
void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha, const double* a,
            const int* lda, const double* beta, double* c, const int* ldc, size_t uploLen, size_t transLen);
void dsyevr_(const char* jobz, const char* range, const char* uplo, const int* n, double* a, const int* lda,
             const double* vl, const double* vu, const int* il, const int* iu, const double* abstol, int* m,
             double* w, double* z, const int* ldz, int* isuppz, double* work, const int* lwork, int* iwork,
             const int* liwork, int* info, size_t jobzLen, size_t rangeLen, size_t uploLen);
double dznrm2_(const int* n, const std::complex<double>* x, const int* incx);
}
