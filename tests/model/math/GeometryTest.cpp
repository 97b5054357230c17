#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include "model/math/Geometry.h"

namespace {

using M3 = std::array<double, 9>;

// Elementary rotations as the test knows them: Rx (1,0,0),(0,c,s),(0,-s,c);
// Ry (c,0,-s),(0,1,0),(s,0,c); Rz (c,s,0),(-s,c,0),(0,0,1).
M3 Rx(double deg)
{
    const double t = deg * std::numbers::pi / 180, c = std::cos(t), s = std::sin(t);
    return {1, 0, 0, 0, c, s, 0, -s, c};
}
M3 Ry(double deg)
{
    const double t = deg * std::numbers::pi / 180, c = std::cos(t), s = std::sin(t);
    return {c, 0, -s, 0, 1, 0, s, 0, c};
}
M3 Rz(double deg)
{
    const double t = deg * std::numbers::pi / 180, c = std::cos(t), s = std::sin(t);
    return {c, s, 0, -s, c, 0, 0, 0, 1};
}
M3 Mul(const M3& a, const M3& b)
{
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r[3 * i + j] += a[3 * i + k] * b[3 * k + j];
    return r;
}

void ExpectMatrixNear(const float* m, const M3& ref, double tol, const std::string& what)
{
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(m[k], ref[k], tol) << what << " element " << k;
}

const float kAngleSets[][3] = {
    {0, 0, 0}, {30, 0, 0}, {0, -45, 0}, {0, 0, 90}, {12.5f, -33, 71}, {-170, 85, 3}, {90, 90, 90},
};

}  // namespace

TEST(Geometry, AngulationMatricesAreTheProductsOfTheElementaryRotations)
{
    for (const auto& a : kAngleSets) {
        float m0[9], m1[9], i0[9], i1[9];
        AngulationMatrix(a[0], a[1], a[2], m0, 0);
        AngulationMatrix(a[0], a[1], a[2], m1, 1);
        AngulationMatrixInverse(a[0], a[1], a[2], i0, 0);
        AngulationMatrixInverse(a[0], a[1], a[2], i1, 1);
        const M3 ref0 = Mul(Rz(a[2]), Mul(Ry(a[1]), Rx(a[0])));
        const M3 ref1 = Mul(Rz(a[2]), Mul(Rx(a[0]), Ry(a[1])));
        ExpectMatrixNear(m0, ref0, 1e-6, "convention 0");
        ExpectMatrixNear(m1, ref1, 1e-6, "convention 1");
        // Orthonormal, and the inverse is the transpose: M Minv = I.
        for (const auto& [m, inv] : {std::pair{m0, i0}, std::pair{m1, i1}})
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0, gram = 0;
                    for (int k = 0; k < 3; ++k) {
                        sum += double(m[3 * r + k]) * inv[3 * k + c];
                        gram += double(m[3 * r + k]) * m[3 * c + k];
                    }
                    EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 1e-6);
                    EXPECT_NEAR(gram, r == c ? 1.0 : 0.0, 1e-6);
                    EXPECT_EQ(inv[3 * r + c], m[3 * c + r]);
                }
    }
}

TEST(Geometry, AngulationMatrixEdgeCases)
{
    float m[9];
    AngulationMatrix(0, 0, 0, m, 0);
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(m[k], k % 4 == 0 ? 1.0f : 0.0f);
    AngulationMatrix(0, 0, 90, m, 0);
    EXPECT_NEAR(m[3], -1.0f, 1e-7);
    float untouched[9] = {5, 5, 5, 5, 5, 5, 5, 5, 5};
    EXPECT_EQ(AngulationMatrix(10, 20, 30, untouched, 2), untouched);
    AngulationMatrixInverse(10, 20, 30, untouched, -1);
    for (float v : untouched)
        EXPECT_EQ(v, 5.0f);
    float two[3][3];
    AngulationMatrix(10, 20, 30, two, 1);
    AngulationMatrix(10, 20, 30, m, 1);
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(two[k / 3][k % 3], m[k]);
}

TEST(Geometry, RotatePointAgreesWithTheAngulationMatrixAndRoundTrips)
{
    const float origin[3] = {10, -20, 5};
    for (const auto& a : kAngleSets) {
        float m[9];
        AngulationMatrix(a[0], a[1], a[2], m, 0);
        const float p[3] = {3, 40, -7};
        float q[3] = {p[0], p[1], p[2]};
        RotatePoint(a, origin, q, 0);
        for (int r = 0; r < 3; ++r) {
            const double ref = m[3 * r] * (p[0] - origin[0]) + m[3 * r + 1] * (p[1] - origin[1]) +
                               m[3 * r + 2] * (p[2] - origin[2]);
            EXPECT_NEAR(q[r], ref, 1e-4);
        }
        RotatePoint(a, origin, q, 1);
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(q[r], p[r], 1e-4);
        float s[3] = {p[0], p[1], p[2]};
        RotatePoint(a, origin, s, 2);
        float t[3] = {p[0], p[1], p[2]};
        RotatePoint(a, origin, t, 0);
        EXPECT_FLOAT_EQ(s[2], -t[2]);
        RotatePoint(a, origin, s, 3);
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(s[r], p[r], 1e-4);
    }
}

TEST(Geometry, RotatePointEdgeCases)
{
    const float zero[3] = {0, 0, 0}, origin[3] = {1, 2, 3};
    float p[3] = {5, 5, 5};
    RotatePoint(zero, origin, p, 0);
    EXPECT_EQ(p[0], 4.0f);
    EXPECT_EQ(p[1], 3.0f);
    EXPECT_EQ(p[2], 2.0f);
    float q[3] = {5, 5, 5};
    RotatePoint(zero, origin, q, 1);
    EXPECT_EQ(q[0], 6.0f);
    EXPECT_EQ(q[2], 8.0f);
    // 0.0005 degrees is below 0.001 rad: skipped, the point stays exactly.
    const float tiny[3] = {0.0005f, 0.0005f, 0.0005f};
    float r[3] = {1.5f, -2.5f, 3.5f};
    RotatePoint(tiny, zero, r, 0);
    EXPECT_EQ(r[0], 1.5f);
    EXPECT_EQ(r[1], -2.5f);
    EXPECT_EQ(r[2], 3.5f);
    // 0.06 degrees is above it and moves the point.
    const float small[3] = {0, 0, 0.06f};
    RotatePoint(small, zero, r, 0);
    EXPECT_NE(r[0], 1.5f);
    float s[3] = {1, 2, 3};
    RotatePoint(kAngleSets[4], origin, s, 4);
    RotatePoint(kAngleSets[4], origin, s, -1);
    EXPECT_EQ(s[0], 1.0f);
    EXPECT_EQ(s[1], 2.0f);
    EXPECT_EQ(s[2], 3.0f);
}

TEST(Geometry, TransformPointScannerLocalScannerRoundTrips)
{
    const float origin[3] = {-12, 7.5f, 30};
    for (const auto& a : kAngleSets)
        for (int convention : {0, 1}) {
            float m[3][3], inv[3][3];
            AngulationMatrix(a[0], a[1], a[2], m, convention);
            AngulationMatrixInverse(a[0], a[1], a[2], inv, convention);
            const float p[3] = {100, -50, 25};
            float q[3] = {p[0], p[1], p[2]};
            TransformPoint(m, inv, origin, q, 0);
            // Local coordinates: M (p - o), checked by hand.
            for (int r = 0; r < 3; ++r)
                EXPECT_NEAR(q[r],
                            m[r][0] * (p[0] - origin[0]) + m[r][1] * (p[1] - origin[1]) +
                                m[r][2] * (p[2] - origin[2]),
                            1e-3);
            TransformPoint(m, inv, origin, q, 1);
            for (int r = 0; r < 3; ++r)
                EXPECT_NEAR(q[r], p[r], 1e-3);
            float s[3] = {p[0], p[1], p[2]};
            TransformPoint(m, inv, origin, s, 2);
            TransformPoint(m, inv, origin, s, 3);
            for (int r = 0; r < 3; ++r)
                EXPECT_NEAR(s[r], p[r], 1e-3);
            float keep[3] = {p[0], p[1], p[2]};
            TransformPoint(m, inv, origin, keep, 7);
            EXPECT_EQ(keep[0], p[0]);
        }
}

TEST(Geometry, VectorsAndMatrixComparison)
{
    const float x[3] = {1, 0, 0}, y[3] = {0, 1, 0};
    float z[3];
    CrossProduct(x, y, z);
    EXPECT_EQ(z[0], 0.0f);
    EXPECT_EQ(z[1], 0.0f);
    EXPECT_EQ(z[2], 1.0f);
    float a[3] = {2, 3, 4};
    const float b[3] = {-1, 5, 0.5f};
    CrossProduct(a, b, a);  // output over an input
    EXPECT_FLOAT_EQ(a[0], 3 * 0.5f - 4 * 5);
    EXPECT_FLOAT_EQ(a[1], 4 * -1 - 2 * 0.5f);
    EXPECT_FLOAT_EQ(a[2], 2 * 5 - 3 * -1);

    float v[3] = {3, 0, -4};
    NormalizeVector(v);
    EXPECT_FLOAT_EQ(v[0], 0.6f);
    EXPECT_FLOAT_EQ(v[2], -0.8f);
    float zero[3] = {0, 0, 0};
    NormalizeVector(zero);
    EXPECT_EQ(zero[0], 0.0f);
    EXPECT_FALSE(std::isnan(zero[1]));

    const float p[3] = {1, 2, 3}, q[3] = {4, 6, 3};
    EXPECT_DOUBLE_EQ(Distance3D(p, q), 5.0);

    float m1[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, m2[9];
    std::copy(m1, m1 + 9, m2);
    EXPECT_TRUE(MatricesEqual3x3(m1, m2));
    m2[4] = 1.0049f;
    EXPECT_TRUE(MatricesEqual3x3(m1, m2));
    m2[4] = 1.0f;
    m2[5] = 0.005f;  // exactly 0.005 apart: not equal
    EXPECT_FALSE(MatricesEqual3x3(m1, m2));
    m2[5] = -0.006f;
    EXPECT_FALSE(MatricesEqual3x3(m1, m2));
}

TEST(Geometry, PatientPositionCodesAndAxisLabels)
{
    EXPECT_EQ(PatientPositionCode("Supine", "HF", 0), 0);
    EXPECT_EQ(PatientPositionCode("Prone", "FF", 2), 112);
    EXPECT_EQ(PatientPositionCode("Right-D", "HF", 1), 301);
    EXPECT_EQ(PatientPositionCode("n/a", "HF", 1), -1);
    EXPECT_EQ(PatientPositionCode("Supine", "n/a", 1), -1);

    EXPECT_EQ(PatientAxisLabels("Prone", "FF", 2, 12), "LP");
    EXPECT_EQ(PatientAxisLabels("Prone", "FF", 2, 3), "RA");
    struct Case {
        const char* position;
        const char* axial;
    };
    for (const Case& c : {Case{"Supine", "RA"}, Case{"Prone", "LP"}, Case{"Left-D", "PR"}, Case{"Right-D", "AL"}})
        for (const char* hf : {"HF", "FF"})
            for (int code : {12, 15}) {
                EXPECT_EQ(PatientAxisLabels(c.position, hf, 0, code), "AH");
                EXPECT_EQ(PatientAxisLabels(c.position, hf, 1, code), "RH");
                EXPECT_EQ(PatientAxisLabels(c.position, hf, 2, code), c.axial);
                EXPECT_EQ(PatientAxisLabels(c.position, hf, 3, code), "BAD_ORIT");
            }
    EXPECT_EQ(PatientAxisLabels("n/a", "n/a", 2, 15), "BAD_ORIT");
    EXPECT_EQ(PatientAxisLabels("n/a", "n/a", 0, 2), "AH");
    EXPECT_EQ(PatientAxisLabels("Prone", "FF", 1, 2), "RH");
    EXPECT_EQ(PatientAxisLabels("Supine", "HF", 5, 2), "BAD_ORIT");
    EXPECT_EQ(PatientAxisLabels("Supine", "HF", -1, 15), "BAD_ORIT");
    // Orientations outside 0..2 must not borrow the label of another position's code.
    EXPECT_EQ(PatientAxisLabels("Supine", "HF", 10, 12), "BAD_ORIT");   // code 10: "Supine", "FF", sagittal
    EXPECT_EQ(PatientAxisLabels("Supine", "HF", 102, 15), "BAD_ORIT");  // code 102: "Prone", "HF", axial
    EXPECT_EQ(PatientAxisLabels("Prone", "FF", -8, 12), "BAD_ORIT");    // code 102 again
}

TEST(Geometry, OrientToStandardViewFlipsAndSwaps)
{
    struct Case {
        const char* labels[3];  // sagittal, coronal, axial
        float x, y;             // result for the point (2, 5)
        float reverseX, reverseY;
    };
    const Case cases[] = {
        {{"AH", "RH", "RA"}, 2, 5, 2, 5},   {{"PF", "LF", "LP"}, -2, -5, -2, -5}, {{"PH", "LH", "LA"}, -2, 5, -2, 5},
        {{"AF", "RF", "RP"}, 2, -5, 2, -5}, {{"HA", "HR", "AR"}, 5, 2, 5, 2},     {{"FP", "FL", "PL"}, -5, -2, -5, -2},
        {{"HP", "HL", "AL"}, 5, -2, -5, 2}, {{"FA", "FR", "PR"}, -5, 2, 5, -2},
    };
    for (const Case& c : cases)
        for (int o = 0; o < 3; ++o) {
            float x = 2, y = 5;
            OrientToStandardView(c.labels[o], o, &x, &y, 0);
            EXPECT_EQ(x, c.x) << c.labels[o] << " " << o;
            EXPECT_EQ(y, c.y) << c.labels[o] << " " << o;
            x = 2;
            y = 5;
            OrientToStandardView(c.labels[o], o, &x, &y, 1);
            EXPECT_EQ(x, c.reverseX) << c.labels[o] << " " << o << " reverse";
            EXPECT_EQ(y, c.reverseY) << c.labels[o] << " " << o << " reverse";
        }
    // A label of another orientation, empty labels, other orientations: unchanged.
    for (const auto& [labels, o] : {std::pair{"RA", 0}, std::pair{"", 2}, std::pair{"XY", 1}, std::pair{"LP", 3},
                                    std::pair{"LP", -1}}) {
        float x = 2, y = 5;
        OrientToStandardView(labels, o, &x, &y, 1);
        EXPECT_EQ(x, 2.0f) << labels << " " << o;
        EXPECT_EQ(y, 5.0f) << labels << " " << o;
    }
    // A quarter turn and its reverse undo each other.
    float x = 2, y = 5;
    OrientToStandardView("AL", 2, &x, &y, 0);
    OrientToStandardView("AL", 2, &x, &y, 1);
    EXPECT_EQ(x, 2.0f);
    EXPECT_EQ(y, 5.0f);
}
