// Direction matrices of angulation angles, 3 x 3 inversion and comparison.
#include <gtest/gtest.h>

#include <cmath>

#include "model/GeometryHelpers.h"

namespace {

// Rotation about one axis by t radians, rows as the readers' scanners define them.
void AxisRotation(int axis, double t, double m[9])
{
    const double c = std::cos(t), s = std::sin(t);
    const double rx[9] = {1, 0, 0, 0, c, s, 0, -s, c};
    const double ry[9] = {c, 0, -s, 0, 1, 0, s, 0, c};
    const double rz[9] = {c, s, 0, -s, c, 0, 0, 0, 1};
    const double* r = axis == 0 ? rx : axis == 1 ? ry : rz;
    for (int i = 0; i < 9; ++i)
        m[i] = r[i];
}

void Multiply(const double a[9], const double b[9], double out[9])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r * 3 + c] = a[r * 3] * b[c] + a[r * 3 + 1] * b[3 + c] + a[r * 3 + 2] * b[6 + c];
}

}  // namespace

TEST(GeometryHelpers, ConventionZeroIsRotationAboutXThenYThenZ)
{
    const float deg[3] = {10.0f, -20.0f, 35.0f};
    const double k = 3.14159265358979323846 / 180.0;
    double rx[9], ry[9], rz[9], zy[9], expected[9];
    AxisRotation(0, deg[0] * k, rx);
    AxisRotation(1, deg[1] * k, ry);
    AxisRotation(2, deg[2] * k, rz);
    Multiply(rz, ry, zy);
    Multiply(zy, rx, expected);
    float m[9], inverse[9];
    AngulationMatrix(deg[0], deg[1], deg[2], m, 0);
    AngulationMatrixInverse(deg[0], deg[1], deg[2], inverse, 0);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(m[i], expected[i], 1e-6) << i;
        EXPECT_EQ(inverse[(i % 3) * 3 + i / 3], m[i]) << i;  // the transpose
    }
}

TEST(GeometryHelpers, ConventionOneIsOrthonormalAndOtherConventionsWriteNothing)
{
    float m[9];
    AngulationMatrix(12.0f, 34.0f, -56.0f, m, 1);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const double dot = double(m[r * 3]) * m[c * 3] + double(m[r * 3 + 1]) * m[c * 3 + 1] +
                               double(m[r * 3 + 2]) * m[c * 3 + 2];
            EXPECT_NEAR(dot, r == c ? 1.0 : 0.0, 1e-6);
        }
    float untouched[9] = {7, 7, 7, 7, 7, 7, 7, 7, 7};
    AngulationMatrix(1, 2, 3, untouched, 2);
    AngulationMatrixInverse(1, 2, 3, untouched, -1);
    for (float v : untouched)
        EXPECT_EQ(v, 7.0f);
}

TEST(GeometryHelpers, InversionOfAHandSolvedMatrix)
{
    // [[2, 0, 0], [0, 4, 0], [1, 0, 1]] has the inverse [[0.5, 0, 0], [0, 0.25, 0], [-0.5, 0, 1]].
    const float m[9] = {2, 0, 0, 0, 4, 0, 1, 0, 1};
    const float expected[9] = {0.5f, 0, 0, 0, 0.25f, 0, -0.5f, 0, 1};
    float inverse[9];
    ASSERT_TRUE(InvertMatrix3x3(m, inverse));
    for (int i = 0; i < 9; ++i)
        EXPECT_FLOAT_EQ(inverse[i], expected[i]) << i;
    const float singular[9] = {1, 2, 3, 2, 4, 6, 0, 1, 1};
    float out[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(InvertMatrix3x3(singular, out));
    EXPECT_EQ(out[0], 9.0f);
    const float nan[9] = {NAN, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_FALSE(InvertMatrix3x3(nan, out));
}

TEST(GeometryHelpers, MatricesAgreeBelowFiveThousandths)
{
    const float a[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float b[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    b[4] = 1.0049f;
    EXPECT_TRUE(MatricesEqual3x3(a, b));
    b[4] = 1.0051f;
    EXPECT_FALSE(MatricesEqual3x3(a, b));
    b[4] = 1;
    b[7] = -0.006f;
    EXPECT_FALSE(MatricesEqual3x3(a, b));
}
