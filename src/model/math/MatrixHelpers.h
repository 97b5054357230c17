#pragma once
// Small linear algebra: 3x3 inversion and solving through LU decomposition, and the
// symmetric eigen decomposition (Householder tridiagonalisation, then QL with
// implicit shifts).
//
// The LU and eigen routines take matrices and vectors indexed from 1 to n: a matrix
// is an array of row pointers a[1..n], each row holding elements a[i][1..n]; index 0
// of rows and vectors is never touched. Floats for LU, doubles for the eigen routines.
// 3x3 matrices are nine floats, row-major.

// Whether a failure shows its message (through the report service, so it follows
// batch routing) or stays silent for a caller that reports in its own way.
enum class FailureMessage { Show, None };

// Crout's method with partial pivoting and implicit scaling. a is replaced by its
// LU decomposition, indx[1..n] records the row interchanges and parity is +1 or -1
// by their number. A row of zeros fails with "Matrix inversion failed."; a pivot
// that is exactly zero is replaced by 1.0e-20.
bool LUDecompose(float** a, int n, int* indx, float* parity, FailureMessage message = FailureMessage::Show);
// Solves A x = b with the decomposition of LUDecompose; b[1..n] becomes x.
void LUBackSubstitute(float** a, int n, const int* indx, float* b);

// The inverse of m in out (out may be m). False, out unchanged, when m is singular:
// a zero row, or a pivot that vanishes against the matrix's size (a matrix whose
// rows are dependent has no inverse, even if the decomposition would go on), or
// when m holds a NaN or an infinity.
bool InvertMatrix3x3(const float m[9], float out[9], FailureMessage message = FailureMessage::Show);
inline bool InvertMatrix3x3(const float (&m)[3][3], float (&out)[3][3], FailureMessage message = FailureMessage::Show)
{
    return InvertMatrix3x3(&m[0][0], &out[0][0], message);
}
// Solves m' x_k = b_k for the rows b_k of b into the rows x_k of x, that is X M = B.
// False, x unchanged, when m is singular (as above).
bool SolveTransposed3x3(const float m[9], const float b[9], float x[9], FailureMessage message = FailureMessage::Show);

// sqrt(a^2 + b^2) without overflow; the ratio of the smaller to the larger value is
// rounded to single precision before it is squared.
double Pythag(double a, double b);

// What a failed eigen decomposition reports (here and in the principal component analysis).
inline constexpr const char* kEigenFailedText =
    "Failed finding the eigenvalues and eigenvectors in the PCA routine.Please reselect the start and end "
    "points of the peak.";

// Householder reduction of the symmetric a[1..n][1..n] to tridiagonal form: d gets
// the diagonal, e the off-diagonal (e[1] = 0), and a is replaced by the orthogonal
// matrix of the transformation.
void TridiagonalizeSymmetric(double** a, int n, double* d, double* e);
// QL with implicit shifts on the tridiagonal d, e (as TridiagonalizeSymmetric leaves
// them). z enters as the transformation of TridiagonalizeSymmetric and leaves with
// the eigenvectors in its columns; d leaves with the eigenvalues. False when an
// eigenvalue needs more than 50 iterations ("Failed finding the eigenvalues ...").
bool TridiagonalEigen(double* d, double* e, int n, double** z, FailureMessage message = FailureMessage::Show);
// Sorts the eigenvalues into descending order, moving the columns of v with them.
void SortEigenpairs(double* d, double** v, int n);

// Gauss-Jordan elimination with full pivoting on a[1..m][1..m] and the k right-hand
// sides b[1..m][1..k] (k may be 0, b then unused): a becomes its inverse and b the
// solutions. False when a is singular (a pivot that vanishes against the matrix's
// largest element, or a value that is not finite); a and b may then hold partial results.
bool SolveGaussJordan(double** a, int m, double** b, int k);

// The least-squares straight line y = a + b x through x[1..n], y[1..n]. Unweighted, the
// standard errors are scaled by sqrt(chi2 / (n - 2)) (for n above 2); weighted, the
// weights are 1 / sig[i]^2. q, the goodness of fit, is always 1. False (fit unchanged)
// when n < 2 or all x are equal.
struct TStraightLineFit {
    double a = 0, b = 0;        // intercept and slope
    double sigA = 0, sigB = 0;  // their standard errors
    double chi2 = 0;
    double q = 1;
};
bool FitStraightLine(const double x[], const double y[], int n, const double sig[], bool weighted,
                     TStraightLineFit& fit);
