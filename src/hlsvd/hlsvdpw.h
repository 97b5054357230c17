#pragma once
// The HLSVD routine of the run-time library libhlsvdpro.so: it decomposes the first
// `ndata` samples of a signal into damped complex exponentials
//
//   x[t] ~ sum_c A_c exp(d_c t) exp(i (2 pi f_c t + phi_c)),   t = 0..ndata-1,
//
// through the leading singular vectors of the nrows x ncols Hankel matrix
// H[i][j] = x[i + j] (nrows + ncols - 1 = ndata). Every argument is passed by address
// so that the routine can be called as a Fortran routine is.
//
//   signal       ndata complex values as (real, imaginary) doubles; not changed
//   ndata        samples used
//   nrows, ncols Hankel matrix size; nrows >= 2 and nrows + ncols - 1 <= ndata
//   kuser        components asked for (>= 1)
//   kfit         out: components returned, 0..kuser; 0 on any failure
//   kmax         the caller's bound on kuser that sized the work arrays (>= kuser)
//   sigma        out: the leading singular values of H (nrows doubles; the unused end is 0)
//   amplitudes, phases (radians), dampings (per sample), frequencies (cycles per
//                sample): out, kuser doubles each, the first kfit filled
//   rwork, lrwork  real work array and its length in doubles
//   zwork, lzwork  complex work array as (real, imaginary) doubles and its length in
//                  complex values
//
// Nothing is kept between calls, so calls on several threads at once are safe.
#ifdef __cplusplus
extern "C" {
#endif

__attribute__((visibility("default"))) void hlsvdpw_(const double* signal, const int* ndata, const int* nrows,
                                                     const int* ncols, const int* kuser, int* kfit,
                                                     const int* kmax, double* sigma, double* amplitudes,
                                                     double* phases, double* dampings, double* frequencies,
                                                     double* rwork, const int* lrwork, double* zwork,
                                                     const int* lzwork);

#ifdef __cplusplus
}
#endif
