#include "model/math/MatrixHelpers.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/Report.h"

namespace {

constexpr const char* kInversionFailed = "Matrix inversion failed.";
// A 3x3 pivot below this, scaled by its row's largest element, means dependent rows.
constexpr double kSingularPivot = 1e-6;

void Fail(const char* text, FailureMessage message)
{
    if (message == FailureMessage::Show)
        vx::Report(text, vx::ReportIcon::Exclamation);
}

// The decomposition behind LUDecompose. False (a untouched) on a row of zeros;
// smallestPivot gets the smallest pivot scaled by its row's largest element.
bool Decompose(float** a, int n, int* indx, float* parity, double* smallestPivot)
{
    // Implicit scaling: every row is compared by its elements over its largest one.
    std::vector<double> scale(static_cast<size_t>(n) + 1);
    for (int i = 1; i <= n; ++i) {
        double largest = 0.0;
        for (int j = 1; j <= n; ++j)
            largest = std::max(largest, std::fabs(static_cast<double>(a[i][j])));
        if (largest == 0.0)
            return false;
        scale[static_cast<size_t>(i)] = 1.0 / largest;
    }
    double smallest = HUGE_VAL;
    float sign = 1.0f;
    for (int j = 1; j <= n; ++j) {
        // Crout: the upper part of column j, then the rest of it, picking the pivot.
        for (int i = 1; i < j; ++i) {
            double sum = a[i][j];
            for (int k = 1; k < i; ++k)
                sum -= static_cast<double>(a[i][k]) * a[k][j];
            a[i][j] = static_cast<float>(sum);
        }
        double best = -1.0;
        int pivotRow = j;
        for (int i = j; i <= n; ++i) {
            double sum = a[i][j];
            for (int k = 1; k < j; ++k)
                sum -= static_cast<double>(a[i][k]) * a[k][j];
            a[i][j] = static_cast<float>(sum);
            const double merit = scale[static_cast<size_t>(i)] * std::fabs(sum);
            if (merit >= best) {
                best = merit;
                pivotRow = i;
            }
        }
        if (pivotRow != j) {
            // Rows swap their contents, not the caller's row pointers.
            for (int k = 1; k <= n; ++k)
                std::swap(a[pivotRow][k], a[j][k]);
            sign = -sign;
            scale[static_cast<size_t>(pivotRow)] = scale[static_cast<size_t>(j)];
        }
        indx[j] = pivotRow;
        smallest = std::min(smallest, best);
        if (a[j][j] == 0.0f)
            a[j][j] = 1.0e-20f;
        if (j != n) {
            const double inverse = 1.0 / a[j][j];
            for (int i = j + 1; i <= n; ++i)
                a[i][j] = static_cast<float>(a[i][j] * inverse);
        }
    }
    *parity = sign;
    if (smallestPivot)
        *smallestPivot = smallest;
    return true;
}

// LU-decomposes the 3x3 matrix held in rows[1..3][1..3]; false for a singular or
// non-finite one.
bool Decompose3x3(float rows[4][4], float* a[4], int indx[4], FailureMessage message)
{
    bool finite = true;
    for (int i = 0; i < 4; ++i) {
        a[i] = rows[i];
        for (int j = 1; j < 4; ++j)
            finite = finite && std::isfinite(rows[i][j]);
    }
    float parity = 0.0f;
    double smallest = 0.0;
    if (!finite || !Decompose(a, 3, indx, &parity, &smallest) || !(smallest >= kSingularPivot)) {
        Fail(kInversionFailed, message);
        return false;
    }
    return true;
}

}  // namespace

bool LUDecompose(float** a, int n, int* indx, float* parity, FailureMessage message)
{
    if (!Decompose(a, n, indx, parity, nullptr)) {
        Fail(kInversionFailed, message);
        return false;
    }
    return true;
}

void LUBackSubstitute(float** a, int n, const int* indx, float* b)
{
    // Forward substitution, undoing the row interchanges on the way; leading zeros of
    // b are skipped.
    int first = 0;
    for (int i = 1; i <= n; ++i) {
        const int p = indx[i];
        double sum = b[p];
        b[p] = b[i];
        if (first)
            for (int j = first; j < i; ++j)
                sum -= static_cast<double>(a[i][j]) * b[j];
        else if (sum != 0.0)
            first = i;
        b[i] = static_cast<float>(sum);
    }
    for (int i = n; i >= 1; --i) {
        double sum = b[i];
        for (int j = i + 1; j <= n; ++j)
            sum -= static_cast<double>(a[i][j]) * b[j];
        b[i] = static_cast<float>(sum / a[i][i]);
    }
}

bool InvertMatrix3x3(const float m[9], float out[9], FailureMessage message)
{
    float rows[4][4] = {};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rows[r + 1][c + 1] = m[3 * r + c];
    float* a[4];
    int indx[4] = {};
    if (!Decompose3x3(rows, a, indx, message))
        return false;
    float inverse[9];
    for (int j = 0; j < 3; ++j) {
        float col[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        col[j + 1] = 1.0f;
        LUBackSubstitute(a, 3, indx, col);
        for (int r = 0; r < 3; ++r)
            inverse[3 * r + j] = col[r + 1];
    }
    for (int k = 0; k < 9; ++k)
        out[k] = inverse[k];
    return true;
}

bool SolveTransposed3x3(const float m[9], const float b[9], float x[9], FailureMessage message)
{
    float rows[4][4] = {};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rows[r + 1][c + 1] = m[3 * c + r];  // the transpose
    float* a[4];
    int indx[4] = {};
    if (!Decompose3x3(rows, a, indx, message))
        return false;
    float solution[9];
    for (int k = 0; k < 3; ++k) {
        float v[4] = {0.0f, b[3 * k], b[3 * k + 1], b[3 * k + 2]};
        LUBackSubstitute(a, 3, indx, v);
        for (int c = 0; c < 3; ++c)
            solution[3 * k + c] = v[c + 1];
    }
    for (int k = 0; k < 9; ++k)
        x[k] = solution[k];
    return true;
}

double Pythag(double a, double b)
{
    const double absA = std::fabs(a), absB = std::fabs(b);
    if (absA > absB) {
        const float ratio = static_cast<float>(absB / absA);
        return absA * std::sqrt(1.0 + ratio * ratio);
    }
    if (absB == 0.0)
        return 0.0;
    const float ratio = static_cast<float>(absA / absB);
    return absB * std::sqrt(1.0 + ratio * ratio);
}

void TridiagonalizeSymmetric(double** a, int n, double* d, double* e)
{
    // Row by row from the last, a Householder reflection zeroes row i left of the
    // subdiagonal; its vector is kept in row i (scaled by h in column i) so that the
    // product of the reflections can be built afterwards.
    for (int i = n; i >= 2; --i) {
        const int l = i - 1;
        double h = 0.0;
        if (l > 1) {
            double scale = 0.0;
            for (int k = 1; k <= l; ++k)
                scale += std::fabs(a[i][k]);
            if (scale == 0.0) {
                e[i] = a[i][l];  // nothing to reflect
            } else {
                for (int k = 1; k <= l; ++k) {
                    a[i][k] /= scale;
                    h += a[i][k] * a[i][k];
                }
                double f = a[i][l];
                double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
                e[i] = scale * g;
                h -= f * g;
                a[i][l] = f - g;
                f = 0.0;
                for (int j = 1; j <= l; ++j) {
                    a[j][i] = a[i][j] / h;
                    g = 0.0;
                    for (int k = 1; k <= j; ++k)
                        g += a[j][k] * a[i][k];
                    for (int k = j + 1; k <= l; ++k)
                        g += a[k][j] * a[i][k];
                    e[j] = g / h;
                    f += e[j] * a[i][j];
                }
                const double hh = f / (h + h);
                for (int j = 1; j <= l; ++j) {
                    f = a[i][j];
                    e[j] = g = e[j] - hh * f;
                    for (int k = 1; k <= j; ++k)
                        a[j][k] -= f * e[k] + g * a[i][k];
                }
            }
        } else {
            e[i] = a[i][l];
        }
        d[i] = h;
    }
    d[1] = 0.0;
    e[1] = 0.0;
    // Accumulate the reflections into a, and take the diagonal.
    for (int i = 1; i <= n; ++i) {
        const int l = i - 1;
        if (d[i] != 0.0) {
            for (int j = 1; j <= l; ++j) {
                double g = 0.0;
                for (int k = 1; k <= l; ++k)
                    g += a[i][k] * a[k][j];
                for (int k = 1; k <= l; ++k)
                    a[k][j] -= g * a[k][i];
            }
        }
        d[i] = a[i][i];
        a[i][i] = 1.0;
        for (int j = 1; j <= l; ++j)
            a[j][i] = a[i][j] = 0.0;
    }
}

bool TridiagonalEigen(double* d, double* e, int n, double** z, FailureMessage message)
{
    for (int i = 2; i <= n; ++i)
        e[i - 1] = e[i];
    if (n >= 1)
        e[n] = 0.0;
    for (int l = 1; l <= n; ++l) {
        int iterations = 0;
        int m;
        do {
            // A negligible off-diagonal element splits the matrix at m.
            for (m = l; m <= n - 1; ++m) {
                const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
                if (std::fabs(e[m]) + dd == dd)
                    break;
            }
            if (m == l)
                break;
            if (iterations++ == 50) {
                Fail(kEigenFailedText, message);
                return false;
            }
            // Shift from the leading 2x2 block, then one implicit QL sweep of plane
            // rotations from m - 1 up to l.
            double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
            double r = Pythag(g, 1.0);
            g = d[m] - d[l] + e[l] / (g + (g >= 0.0 ? std::fabs(r) : -std::fabs(r)));
            double s = 1.0, c = 1.0, p = 0.0;
            bool underflow = false;
            for (int i = m - 1; i >= l; --i) {
                const double f = s * e[i];
                const double b = c * e[i];
                e[i + 1] = r = Pythag(f, g);
                if (r == 0.0) {
                    // The rotation vanished: deflate and start the sweep again.
                    d[i + 1] -= p;
                    e[m] = 0.0;
                    underflow = true;
                    break;
                }
                s = f / r;
                c = g / r;
                g = d[i + 1] - p;
                r = (d[i] - g) * s + 2.0 * c * b;
                p = s * r;
                d[i + 1] = g + p;
                g = c * r - b;
                for (int k = 1; k <= n; ++k) {
                    const double t = z[k][i + 1];
                    z[k][i + 1] = s * z[k][i] + c * t;
                    z[k][i] = c * z[k][i] - s * t;
                }
            }
            if (underflow)
                continue;
            d[l] -= p;
            e[l] = g;
            e[m] = 0.0;
        } while (m != l);
    }
    return true;
}

void SortEigenpairs(double* d, double** v, int n)
{
    for (int i = 1; i < n; ++i) {
        int k = i;
        double largest = d[i];
        for (int j = i + 1; j <= n; ++j)
            if (d[j] >= largest) {
                k = j;
                largest = d[j];
            }
        if (k != i) {
            d[k] = d[i];
            d[i] = largest;
            for (int row = 1; row <= n; ++row)
                std::swap(v[row][i], v[row][k]);
        }
    }
}

bool SolveGaussJordan(double** a, int m, double** b, int k)
{
    if (m < 1)
        return false;
    double largest = 0.0;
    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= m; ++j) {
            if (!std::isfinite(a[i][j]))
                return false;
            largest = std::max(largest, std::fabs(a[i][j]));
        }
    // Rounding leaves a pivot of a singular matrix near, not at, zero.
    const double tiny = largest * 1e-13 * m;
    // The bookkeeping lives on the stack for the small systems of the sliding fits,
    // which solve one per point of every spectrum.
    constexpr int kSmall = 16;
    const size_t size = static_cast<size_t>(m) + 1;
    int smallStore[3][kSmall + 1] = {};
    std::vector<int> largeStore(m > kSmall ? 3 * size : 0, 0);
    int* indexRow = m > kSmall ? largeStore.data() : smallStore[0];
    int* indexCol = m > kSmall ? largeStore.data() + size : smallStore[1];
    int* pivoted = m > kSmall ? largeStore.data() + 2 * size : smallStore[2];
    for (int step = 1; step <= m; ++step) {
        double big = -1.0;
        int row = 0, col = 0;
        for (int j = 1; j <= m; ++j) {
            if (pivoted[j])
                continue;
            for (int c = 1; c <= m; ++c)
                if (!pivoted[c] && std::fabs(a[j][c]) > big) {
                    big = std::fabs(a[j][c]);
                    row = j;
                    col = c;
                }
        }
        if (big <= tiny)
            return false;
        pivoted[col] = 1;
        if (row != col) {
            for (int l = 1; l <= m; ++l)
                std::swap(a[row][l], a[col][l]);
            for (int l = 1; l <= k; ++l)
                std::swap(b[row][l], b[col][l]);
        }
        indexRow[step] = row;
        indexCol[step] = col;
        const double inverse = 1.0 / a[col][col];
        a[col][col] = 1.0;
        for (int l = 1; l <= m; ++l)
            a[col][l] *= inverse;
        for (int l = 1; l <= k; ++l)
            b[col][l] *= inverse;
        for (int r = 1; r <= m; ++r) {
            if (r == col)
                continue;
            const double f = a[r][col];
            a[r][col] = 0.0;
            for (int l = 1; l <= m; ++l)
                a[r][l] -= a[col][l] * f;
            for (int l = 1; l <= k; ++l)
                b[r][l] -= b[col][l] * f;
        }
    }
    // Undo the column interchanges of the inverse, last first.
    for (int step = m; step >= 1; --step) {
        const int row = indexRow[step];
        const int col = indexCol[step];
        if (row != col)
            for (int r = 1; r <= m; ++r)
                std::swap(a[r][row], a[r][col]);
    }
    return true;
}

bool FitStraightLine(const double x[], const double y[], int n, const double sig[], bool weighted,
                     TStraightLineFit& fit)
{
    if (n < 2)
        return false;
    double ss = 0, sx = 0, sy = 0;
    for (int i = 1; i <= n; ++i) {
        const double w = weighted ? 1.0 / (sig[i] * sig[i]) : 1.0;
        ss += w;
        sx += x[i] * w;
        sy += y[i] * w;
    }
    // Centred abscissae keep the sums small and the slope exact for large x.
    const double mean = sx / ss;
    double st2 = 0, b = 0;
    for (int i = 1; i <= n; ++i) {
        const double s = weighted ? sig[i] : 1.0;
        const double t = (x[i] - mean) / s;
        st2 += t * t;
        b += t * y[i] / s;
    }
    if (!(st2 > 0))
        return false;
    b /= st2;
    TStraightLineFit out;
    out.b = b;
    out.a = (sy - sx * b) / ss;
    out.sigA = std::sqrt((1.0 + sx * sx / (ss * st2)) / ss);
    out.sigB = std::sqrt(1.0 / st2);
    for (int i = 1; i <= n; ++i) {
        const double r = (y[i] - out.a - out.b * x[i]) / (weighted ? sig[i] : 1.0);
        out.chi2 += r * r;
    }
    if (!weighted && n > 2) {
        const double scatter = std::sqrt(out.chi2 / (n - 2));
        out.sigA *= scatter;
        out.sigB *= scatter;
    }
    out.q = 1.0;
    fit = out;
    return true;
}
