#pragma once
// Non-negative least squares: min |A x - b| subject to x >= 0, by the active-set method of
// Lawson and Hanson (Householder triangularisation of the columns taken into the
// solution, Givens rotations when a column leaves it). Every working value lives in the
// caller's arrays and on the stack, so that solves may run side by side.
//
// Matrices are column-major: element (i, j) of A at a[i + j * mda].

// Mode of a finished solve.
enum : int { kNNLSSolved = 1, kNNLSBadDimensions = 2, kNNLSIterationLimit = 3 };

// A: m x n with leading dimension mda >= m, overwritten by its triangularisation; b: m
// values, overwritten; x: n values, the solution; residualNorm: |A x - b|; w: n values,
// the dual vector at the end; zz: m values and index: n values of work. mode: 1 solved,
// 2 for m or n below 1, 3 when the iteration limit of 3n was reached (the solver then
// writes "\n NNLS quitting on iteration count.\n" to the standard output).
void SolveNNLS(double* a, int mda, int m, int n, double* b, double* x, double& residualNorm, double* w, double* zz,
               int* index, int& mode);

// The Givens rotation that takes (a, b) to (sig, 0): c a + s b = sig, -s a + c b = 0.
void NnlsGivens(double a, double b, double& c, double& s, double& sig);

// The Householder transformation of elements lpivot and l1..m-1 of the vector u (stride
// iue, indices from 0): mode 1 builds it (u and up then hold it) and applies it to the
// ncv vectors c; mode 2 only applies it. Vector v of c starts at c[v * icv], its
// elements ice apart. Nothing for an index outside 0 <= lpivot < l1 < m.
void NnlsHouseholder(int mode, int lpivot, int l1, int m, double* u, int iue, double& up, double* c, int ice,
                     int icv, int ncv);

// |a| with the sign of b: -|a| when b < 0, else |a|.
double CopySign(double a, double b);
