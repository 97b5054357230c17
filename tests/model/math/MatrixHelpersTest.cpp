#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/math/MatrixHelpers.h"
#include "platform/Globals.h"
#include "support/ScriptedReport.h"

namespace {

const char* const kInversionFailed = "Matrix inversion failed.";

// The inverse by cofactors over the determinant, in double: a method independent
// of the LU decomposition.
bool CofactorInverse(const float m[9], double out[9])
{
    auto at = [&](int r, int c) { return static_cast<double>(m[3 * r + c]); };
    double cof[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[3 * r + c] = at(r1, c1) * at(r2, c2) - at(r1, c2) * at(r2, c1);
        }
    const double det = at(0, 0) * cof[0] + at(0, 1) * cof[1] + at(0, 2) * cof[2];
    if (det == 0.0)
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[3 * r + c] = cof[3 * c + r] / det;
    return true;
}

// A 1-based n x n matrix of doubles with row pointers, as the eigen routines take.
struct OneBased {
    std::vector<std::vector<double>> rows;
    std::vector<double*> ptr;
    explicit OneBased(int n) : rows(static_cast<size_t>(n) + 1, std::vector<double>(static_cast<size_t>(n) + 1, 0.0))
    {
        for (auto& r : rows)
            ptr.push_back(r.data());
    }
    double** get() { return ptr.data(); }
};

}  // namespace

TEST(MatrixHelpers, InvertsHandSolvedMatrices)
{
    // det = -1; the inverse worked out by cofactors on paper.
    const float a[9] = {2, 1, 1, 1, 3, 2, 1, 0, 0};
    const float expected[9] = {0, 0, 1, -2, 1, 3, 3, -1, -5};
    float inv[9];
    ASSERT_TRUE(InvertMatrix3x3(a, inv));
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(inv[k], expected[k], 1e-5) << k;

    // A zero first pivot needs a row interchange.
    const float b[9] = {0, 1, 2, 1, 0, 3, 4, -3, 8};
    double ref[9];
    ASSERT_TRUE(CofactorInverse(b, ref));
    ASSERT_TRUE(InvertMatrix3x3(b, inv));
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(inv[k], ref[k], 1e-5) << k;

    // In place, and through the [3][3] form.
    float c[3][3] = {{2, 1, 1}, {1, 3, 2}, {1, 0, 0}};
    ASSERT_TRUE(InvertMatrix3x3(c, c));
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(c[k / 3][k % 3], expected[k], 1e-5) << k;
}

TEST(MatrixHelpers, InversionMatchesCofactorsForRandomMatrices)
{
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> u(-10.0f, 10.0f);
    int checked = 0;
    for (int t = 0; t < 500; ++t) {
        float m[9];
        for (float& v : m)
            v = u(rng);
        double ref[9];
        if (!CofactorInverse(m, ref))
            continue;
        double largest = 0;
        for (double v : ref)
            largest = std::max(largest, std::fabs(v));
        if (largest > 10.0)  // badly conditioned: float LU may drift
            continue;
        float inv[9];
        ASSERT_TRUE(InvertMatrix3x3(m, inv, FailureMessage::None));
        for (int k = 0; k < 9; ++k)
            EXPECT_NEAR(inv[k], ref[k], 1e-4 * largest) << t;
        ++checked;
    }
    EXPECT_GT(checked, 300);
}

TEST(MatrixHelpers, SolvesTheTransposedSystemRowByRow)
{
    // X M = B with M, X chosen and B = X M multiplied out by hand.
    const float m[9] = {2, 1, 1, 1, 3, 2, 1, 0, 0};
    const float x[9] = {1, 2, 3, 0, 1, 0, -1, 0, 2};
    const float b[9] = {7, 7, 5, 1, 3, 2, 0, -1, -1};
    float solved[9];
    ASSERT_TRUE(SolveTransposed3x3(m, b, solved));
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(solved[k], x[k], 1e-5) << k;
}

TEST(MatrixHelpers, SingularMatricesFailWithTheMessageAndChangeNothing)
{
    vx::ResetGlobals();
    vx::test::TScriptedReport report;
    const float zeroRow[9] = {1, 2, 3, 0, 0, 0, 4, 5, 6};
    const float dependent[9] = {1, 2, 3, 2, 4, 6, 1, 0, 1};
    const float rankTwo[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const float notFinite[9] = {1, NAN, 0, 0, 1, 0, 0, 0, 1};
    const float b[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (const float* m : {zeroRow, dependent, rankTwo, notFinite}) {
        float out[9] = {7, 7, 7, 7, 7, 7, 7, 7, 7};
        EXPECT_FALSE(InvertMatrix3x3(m, out));
        EXPECT_FALSE(SolveTransposed3x3(m, b, out));
        for (float v : out)
            EXPECT_EQ(v, 7.0f);
    }
    ASSERT_EQ(report.Count(), 8u);
    for (const auto& entry : report.Entries()) {
        EXPECT_EQ(entry.text, kInversionFailed);
        EXPECT_EQ(entry.icon, vx::ReportIcon::Exclamation);
    }

    // The silent variant leaves the telling to the caller.
    float out[9];
    EXPECT_FALSE(InvertMatrix3x3(dependent, out, FailureMessage::None));
    EXPECT_FALSE(SolveTransposed3x3(zeroRow, b, out, FailureMessage::None));
    EXPECT_EQ(report.Count(), 8u);
}

TEST(MatrixHelpers, InversionFailureGoesToTheBatchLogInBatchMode)
{
    vx::ResetGlobals();
    vx::test::TScriptedReport report;
    g_bBatchMode = true;
    const float zeroRow[9] = {0, 0, 0, 1, 2, 3, 4, 5, 6};
    float out[9];
    EXPECT_FALSE(InvertMatrix3x3(zeroRow, out));
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_EQ(g_batchLog, "Matrix inversion failed.\r\n");
    EXPECT_TRUE(g_bBatchError);
    vx::ResetGlobals();
}

TEST(MatrixHelpers, LUDecomposeAndBackSubstituteOnOneBasedArrays)
{
    vx::test::TScriptedReport report;
    // 4 x 4 system with a known solution; row 0 and column 0 hold sentinels that
    // must stay untouched.
    const float A[4][4] = {{0, 2, 0, 1}, {1, 1, -1, 2}, {3, 0, 4, 0}, {2, 1, 1, 5}};
    const float x[4] = {1, -2, 0.5f, 3};
    float rows[5][5];
    float* a[5];
    for (int i = 0; i < 5; ++i) {
        a[i] = rows[i];
        for (int j = 0; j < 5; ++j)
            rows[i][j] = (i == 0 || j == 0) ? 99.0f : A[i - 1][j - 1];
    }
    float b[5] = {99.0f, 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            b[i + 1] += A[i][j] * x[j];
    int indx[5] = {99, 0, 0, 0, 0};
    float parity = 0;
    ASSERT_TRUE(LUDecompose(a, 4, indx, &parity));
    EXPECT_TRUE(parity == 1.0f || parity == -1.0f);
    LUBackSubstitute(a, 4, indx, b);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(b[i + 1], x[i], 1e-5) << i;
    EXPECT_EQ(b[0], 99.0f);
    EXPECT_EQ(indx[0], 99);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rows[i][0], 99.0f);
        EXPECT_EQ(rows[0][i], 99.0f);
    }
    // The row pointers are the caller's own: the decomposition moves contents only.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(a[i], rows[i]);
    EXPECT_EQ(report.Count(), 0u);

    // A zero row fails with the message and leaves the matrix as it was.
    rows[2][1] = rows[2][2] = rows[2][3] = rows[2][4] = 0.0f;
    rows[1][1] = 5.0f;
    EXPECT_FALSE(LUDecompose(a, 4, indx, &parity));
    EXPECT_EQ(rows[1][1], 5.0f);
    ASSERT_EQ(report.Count(), 1u);
    EXPECT_EQ(report.Entries()[0].text, kInversionFailed);
    EXPECT_FALSE(LUDecompose(a, 4, indx, &parity, FailureMessage::None));
    EXPECT_EQ(report.Count(), 1u);
}

TEST(MatrixHelpers, PythagAvoidsOverflow)
{
    EXPECT_DOUBLE_EQ(Pythag(0.0, 0.0), 0.0);
    EXPECT_NEAR(Pythag(3.0, 4.0), 5.0, 1e-12);
    EXPECT_NEAR(Pythag(-4.0, 3.0), 5.0, 1e-12);
    EXPECT_NEAR(Pythag(0.0, -2.0), 2.0, 1e-12);
    EXPECT_NEAR(Pythag(3e200, 4e200) / 5e200, 1.0, 1e-7);
    // The ratio is squared in single precision: 1/3 is not exact there.
    const float third = 1.0f / 3.0f;
    EXPECT_DOUBLE_EQ(Pythag(3.0, 1.0), 3.0 * std::sqrt(1.0 + third * third));
}

TEST(MatrixHelpers, EigenDecompositionOfRandomSymmetricMatrices)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {1, 2, 3, 4, 7, 12, 25}) {
        OneBased a(n), original(n);
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= i; ++j)
                a.rows[i][j] = a.rows[j][i] = original.rows[i][j] = original.rows[j][i] = u(rng);
        std::vector<double> d(static_cast<size_t>(n) + 1), e(static_cast<size_t>(n) + 1);
        TridiagonalizeSymmetric(a.get(), n, d.data(), e.data());
        ASSERT_TRUE(TridiagonalEigen(d.data(), e.data(), n, a.get())) << n;
        SortEigenpairs(d.data(), a.get(), n);
        for (int k = 2; k <= n; ++k)
            EXPECT_GE(d[k - 1], d[k]) << n;
        // A = V D V' and V'V = I.
        double err = 0, orth = 0;
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j) {
                double sum = 0, dot = 0;
                for (int k = 1; k <= n; ++k) {
                    sum += a.rows[i][k] * d[k] * a.rows[j][k];
                    dot += a.rows[k][i] * a.rows[k][j];
                }
                err = std::max(err, std::fabs(sum - original.rows[i][j]));
                orth = std::max(orth, std::fabs(dot - (i == j ? 1.0 : 0.0)));
            }
        EXPECT_LT(err, 1e-5) << n;
        EXPECT_LT(orth, 1e-5) << n;
    }
}

TEST(MatrixHelpers, EigenvaluesOfKnownMatrices)
{
    // [[2, 1], [1, 2]]: eigenvalues 3 and 1 with vectors (1, 1) and (1, -1) / sqrt 2.
    OneBased a(2);
    a.rows[1][1] = 2;
    a.rows[1][2] = 1;
    a.rows[2][1] = 1;
    a.rows[2][2] = 2;
    double d[3], e[3];
    TridiagonalizeSymmetric(a.get(), 2, d, e);
    ASSERT_TRUE(TridiagonalEigen(d, e, 2, a.get()));
    SortEigenpairs(d, a.get(), 2);
    EXPECT_NEAR(d[1], 3.0, 1e-9);
    EXPECT_NEAR(d[2], 1.0, 1e-9);
    EXPECT_NEAR(std::fabs(a.rows[1][1]), std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(a.rows[1][1], a.rows[2][1], 1e-6);
    EXPECT_NEAR(a.rows[1][2], -a.rows[2][2], 1e-6);

    // A diagonal matrix keeps its values, sorted descending.
    OneBased g(3);
    g.rows[1][1] = -1;
    g.rows[2][2] = 5;
    g.rows[3][3] = 2;
    double gd[4], ge[4];
    TridiagonalizeSymmetric(g.get(), 3, gd, ge);
    ASSERT_TRUE(TridiagonalEigen(gd, ge, 3, g.get()));
    SortEigenpairs(gd, g.get(), 3);
    EXPECT_NEAR(gd[1], 5, 1e-12);
    EXPECT_NEAR(gd[2], 2, 1e-12);
    EXPECT_NEAR(gd[3], -1, 1e-12);
    EXPECT_NEAR(std::fabs(g.rows[2][1]), 1.0, 1e-12);  // the 5 came from axis 2
}

TEST(MatrixHelpers, SortTakesTheLaterOfEqualEigenvalues)
{
    OneBased v(3);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            v.rows[i][j] = 10 * i + j;  // column j is recognisable by its units digit
    double d[4] = {0, 2.0, 2.0, 5.0};
    SortEigenpairs(d, v.get(), 3);
    EXPECT_EQ(d[1], 5.0);
    EXPECT_EQ(d[2], 2.0);
    EXPECT_EQ(d[3], 2.0);
    // Column 3 first; then the two 2s: the later one (now at 3, once column 1) is taken.
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(v.rows[i][1], 10 * i + 3);
        EXPECT_EQ(v.rows[i][2], 10 * i + 1);
        EXPECT_EQ(v.rows[i][3], 10 * i + 2);
    }
}

TEST(MatrixHelpers, EigenSolverGivesUpWithTheMessage)
{
    vx::ResetGlobals();
    vx::test::TScriptedReport report;
    // A NaN never converges.
    OneBased z(3);
    for (int i = 1; i <= 3; ++i)
        z.rows[i][i] = 1;
    double d[4] = {0, 1, NAN, 2}, e[4] = {0, 0, 0.5, 0.5};
    EXPECT_FALSE(TridiagonalEigen(d, e, 3, z.get()));
    ASSERT_EQ(report.Count(), 1u);
    EXPECT_EQ(report.Entries()[0].text,
              "Failed finding the eigenvalues and eigenvectors in the PCA routine.Please reselect the start and end "
              "points of the peak.");
    EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::Exclamation);
    double d2[4] = {0, 1, NAN, 2}, e2[4] = {0, 0, 0.5, 0.5};
    EXPECT_FALSE(TridiagonalEigen(d2, e2, 3, z.get(), FailureMessage::None));
    EXPECT_EQ(report.Count(), 1u);
}

namespace {
// Rows of a 1-based matrix kept in one block, for the routines that take row pointers.
struct TOneBased {
    std::vector<std::vector<double>> store;
    std::vector<double*> rows;
    TOneBased(int r, int c) : store(static_cast<size_t>(r) + 1, std::vector<double>(static_cast<size_t>(c) + 1))
    {
        for (auto& row : store)
            rows.push_back(row.data());
    }
    double** get() { return rows.data(); }
};
}  // namespace

TEST(GaussJordan, InvertsAndSolvesWithFullPivoting)
{
    // The matrices need row and column interchanges (zeros on the diagonal, small
    // leading elements); A x = b and A A^-1 = I are checked with the original matrix.
    const std::vector<std::vector<double>> matrices = {
        {0, 2, 1, 3},
        {0, 1, 2, 1, 0, 3, 4, -1, 0},
        {1e-3, 4, -2, 1, 3, 0, 5, 2, -1, 2, 0, 7, 6, -3, 1, 0},
        {2, -1, 0, -1, 2, -1, 0, -1, 2},
    };
    for (const std::vector<double>& values : matrices) {
        const int m = static_cast<int>(std::lround(std::sqrt(values.size())));
        TOneBased a(m, m), b(m, 2);
        for (int i = 1; i <= m; ++i) {
            for (int j = 1; j <= m; ++j)
                a.rows[static_cast<size_t>(i)][j] = values[static_cast<size_t>((i - 1) * m + j - 1)];
            b.rows[static_cast<size_t>(i)][1] = i;
            b.rows[static_cast<size_t>(i)][2] = 1.0 / (i + 1);
        }
        const TOneBased original = a, rhs = b;
        ASSERT_TRUE(SolveGaussJordan(a.get(), m, b.get(), 2)) << m << "x" << m;
        auto at = [&](const TOneBased& x, int r, int c) { return x.store[static_cast<size_t>(r)][static_cast<size_t>(c)]; };
        for (int i = 1; i <= m; ++i) {
            for (int col = 1; col <= 2; ++col) {
                double sum = 0;
                for (int j = 1; j <= m; ++j)
                    sum += at(original, i, j) * at(b, j, col);
                EXPECT_NEAR(sum, at(rhs, i, col), 1e-12) << m << "x" << m << " row " << i;
            }
            for (int j = 1; j <= m; ++j) {
                double sum = 0;
                for (int k = 1; k <= m; ++k)
                    sum += at(original, i, k) * at(a, k, j);
                EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-12) << m << "x" << m << " (" << i << ", " << j << ")";
            }
        }
    }
    // Dependent rows, a zero matrix and a NaN are refused.
    for (const std::vector<double>& values :
         {std::vector<double>{1, 2, 3, 2, 4, 6, 0, 1, 1}, std::vector<double>{0, 0, 0, 0},
          std::vector<double>{1, NAN, 0, 1}}) {
        const int m = static_cast<int>(std::lround(std::sqrt(values.size())));
        TOneBased a(m, m);
        for (int i = 1; i <= m; ++i)
            for (int j = 1; j <= m; ++j)
                a.rows[static_cast<size_t>(i)][j] = values[static_cast<size_t>((i - 1) * m + j - 1)];
        EXPECT_FALSE(SolveGaussJordan(a.get(), m, nullptr, 0)) << m << "x" << m;
    }
}

TEST(StraightLineFit, MatchesTheClosedForms)
{
    const int n = 12;
    double x[n + 1], y[n + 1], sig[n + 1];
    for (int i = 1; i <= n; ++i) {
        x[i] = 100.0 + 0.5 * i;  // far from 0: the centred sums must keep the slope exact
        y[i] = 3.0 - 1.5 * x[i] + std::sin(1.7 * i);
        sig[i] = 1.0;
    }
    // b = Sxy / Sxx about the means, a = ybar - b xbar, sigma_b^2 = chi2 / (n - 2) / Sxx.
    double xbar = 0, ybar = 0, sxx = 0, sxy = 0, chi2 = 0;
    for (int i = 1; i <= n; ++i) {
        xbar += x[i] / n;
        ybar += y[i] / n;
    }
    for (int i = 1; i <= n; ++i) {
        sxx += (x[i] - xbar) * (x[i] - xbar);
        sxy += (x[i] - xbar) * (y[i] - ybar);
    }
    const double b = sxy / sxx, a = ybar - b * xbar;
    for (int i = 1; i <= n; ++i)
        chi2 += (y[i] - a - b * x[i]) * (y[i] - a - b * x[i]);
    for (bool weighted : {false, true}) {  // unit weights: the same line
        TStraightLineFit fit;
        ASSERT_TRUE(FitStraightLine(x, y, n, sig, weighted, fit));
        EXPECT_NEAR(fit.b, b, 1e-9);
        EXPECT_NEAR(fit.a, a, 1e-7);
        EXPECT_NEAR(fit.chi2, chi2, 1e-9);
        EXPECT_NEAR(fit.sigB, std::sqrt((weighted ? 1.0 : chi2 / (n - 2)) / sxx), 1e-9);
    }
    // No line through one abscissa or one point.
    for (int i = 1; i <= n; ++i)
        x[i] = 4.0;
    TStraightLineFit fit;
    EXPECT_FALSE(FitStraightLine(x, y, n, sig, false, fit));
    EXPECT_FALSE(FitStraightLine(x, y, 1, sig, false, fit));
}
