#pragma once
// Leading singular values and left singular vectors of a Hankel matrix by Golub-Kahan-
// Lanczos bidiagonalisation: every step costs two FFT products with the matrix and a
// reorthogonalisation against the vectors so far, so only the few triplets wanted are
// computed, never the full decomposition.
#include "hlsvd/TArena.h"
#include "hlsvd/THankelProduct.h"

namespace vx::hlsvd {

// Work space of one run with at most maxSteps steps on a rows x cols matrix, k vectors.
struct TLanczosBuffers {
    cplx* p = nullptr;      // rows x maxSteps: left Lanczos vectors
    cplx* q = nullptr;      // cols x (maxSteps + 1): right Lanczos vectors
    cplx* coeff = nullptr;  // maxSteps + 1 projections
    cplx* ubc = nullptr;    // maxSteps x k: left vectors of the bidiagonal, complex
    double* alpha = nullptr;
    double* beta = nullptr;
    double* d = nullptr;
    double* e = nullptr;
    double* ub = nullptr;   // maxSteps x maxSteps
    double* work = nullptr; // 4 maxSteps
};
void TakeLanczosBuffers(TArena<cplx>& z, TArena<double>& r, int rows, int cols, int k, int maxSteps,
                        TLanczosBuffers& b);

// Fills sigma[0..m) with the singular values of the bidiagonal after m steps (m <= maxSteps)
// and u (rows x k, leading dimension rows) with the left singular vectors of the
// largest ones. Returns how many vectors were found: k, or fewer when the matrix has
// lower rank (the bidiagonalisation then ends early), 0 for a zero matrix.
int LeadingLeftSingularVectors(THankelProduct& h, int rows, int cols, int k, int maxSteps,
                               const TLanczosBuffers& b, double* sigma, cplx* u);

}  // namespace vx::hlsvd
